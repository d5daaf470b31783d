#pragma once
// The base of both console forms (the main console and the mix editor).
// A console is a DisplayWidget: it draws into its back buffer and shows it.
// The frame owns exactly one console and calls the five operations below.
#include <functional>
#include <string>

#include "app/DisplayWidget.h"
#include "console/logic/DropTarget.h"

namespace tamboro::app {

class CMainFrame;

class PanelWnd : public DisplayWidget {
    Q_OBJECT
  public:
    PanelWnd(CMainFrame& frame, QWidget* parent);
    ~PanelWnd() override;

    // Deletes every skin image.
    virtual void FreeSkin() = 0;
    // Loads the images of the current theme (the frame's settings copy).
    virtual void LoadSkin() = 0;
    // Rebuilds the meter voices of `channel` (-1: all) from the frame's
    // channel previews, then UpdateChannels(channel).
    virtual void ReloadChannels(int channel) = 0;
    // Repaints the pad, texts and tooltip of `channel` (-1: all).
    virtual void UpdateChannels(int channel) = 0;
    // Repaints the whole console from its background.
    virtual void Redraw() = 0;

    // A command the frame forwards at once: the channel keys 32797..32836.
    // True when the console carried it out.
    virtual bool OnCommand(int command);
    // Whether (panel coordinates, scaled) a control that takes the right
    // button lies at `pos` (a pad, a knob). Elsewhere a right click opens
    // the frame's menu with Preferences and About.
    virtual bool IsControlAt(const QPoint& pos) const;
    // A line of the console's text display for a notice from the frame
    // (empty: remove it), such as running without sound.
    virtual void ShowNotice(const std::string& text);
    // Whether this is the mix editor.
    virtual bool IsPro() const { return false; }
    // Whether pads waiting for an in-time switch show their second picture
    // now (DX for a stop, U for a start) rather than their state's own.
    virtual bool BlinkShowsSecond() const { return false; }
    // Whether an edit of the song's events is under way (a lane drag holds
    // places in them): undo and redo wait for it.
    virtual bool Editing() const { return false; }
    // Ends an edit under way (a lane drag keeps its last shape and becomes
    // an undo step) before the song is replaced under it.
    virtual void EndEdits() {}
    // The channel whose pad lies at `pos` (panel coordinates, scaled), or
    // -1; files dropped there load into that channel.
    virtual int PadAtPoint(const QPoint& pos) const;

    CMainFrame& Frame() const { return m_frame; }

  protected:
    // Files from the file manager: a song file opens anywhere on the
    // console, a sound file loads into the pad it is let go on while
    // nothing sounds. The work runs after the drop has returned to the
    // window system.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    // What letting go at the event's point would do; a loop only while the
    // channel menu would offer loading (nothing sounds, no mix runs).
    console::DropAction DropAt(const QDropEvent& event) const;

    CMainFrame& m_frame;
};

// Makes the console of a form (0 the main console, 1 the mix editor) as a
// child of `parent`. The program registers the real consoles; without one,
// the frame shows a plain panel (the background and the channels' names).
using PanelFactory = std::function<PanelWnd*(CMainFrame& frame, int proMode, QWidget* parent)>;

}  // namespace tamboro::app
