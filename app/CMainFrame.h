#pragma once
// The program's one top-level window. It owns, from creation to
// destruction: the graphics system, the output device, the song, the
// twenty channel previews, the background texture and exactly one console
// (the main console or the mix editor). It routes the channel keys to the
// console, carries out the channel commands, applies preferences, swaps
// the console form, shares the sound device and asks before the song's
// unsaved changes are lost.
//
// User-interface thread only, except where a member says otherwise.
#include <QPointer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "app/PanelWnd.h"
#include "app/core/ChannelCommands.h"
#include "app/core/DeviceSharing.h"
#include "app/core/Preferences.h"
#include "audio/output/OutputBackend.h"
#include "audio/output/OutputDevice.h"
#include "audio/wave/Wave.h"
#include "console/logic/SongUndo.h"
#include "engine/Song.h"
#include "gfx/DibSurface.h"
#include "gfx/GfxSystem.h"
#include "platform/Messages.h"

class QMenu;

namespace tamboro::dialogs {
class ProgressDialog;
}

namespace tamboro::engine {}

namespace tamboro::app {

class Autosave;
class ProgressDialog;

// Frame messages.
inline constexpr std::uint32_t kMsgSwapConsole = 1124;  // WM_USER+100: w 1 mix editor, 0 console

enum class Sibling { Drum = 0, Audio = 1 };  // buttons 110 and 111

// What the frame is made with: where its services come from.
struct FrameSetup {
    platform::MessageLoop* loop = nullptr;  // the UI thread's loop; required
    SettingsStore* settings = nullptr;      // required
    PanelFactory panels;                    // null: the plain panel
    // The output device's backend; null gives the program's SDL backend.
    std::function<std::unique_ptr<audio::OutputBackend>()> backend;
    std::string exePath;  // folder of the sibling programs, ending in '/' or empty
    int scale = 0;        // 1..4, or 0: the setting or the screen's choice
    int theme = -1;       // 0..3 overrides the setting for this run
    bool splash = false;  // show the splash window at creation
    // Answers a question box instead of asking the user (tests): given the
    // text id, returns the button (QMessageBox::StandardButton).
    std::function<int(unsigned textId)> answer;
    // Shows an information notice (title id, text id) unless it is switched
    // off; answers whether it was shown. Null: the modal notice dialog.
    std::function<bool(unsigned titleId, unsigned textId)> notice;
};

class CMainFrame final : public QWidget {
    Q_OBJECT
  public:
    explicit CMainFrame(FrameSetup setup);
    ~CMainFrame() override;

    // --- Offered to the consoles and dialogs --------------------------------------
    void SetCurrentChannel(int channel);  // ignores values outside 0..19
    int CurrentChannel() const { return m_currentChannel; }
    std::string ChannelName(int channel) const;
    double Tempo() const;
    // Stops the song, shows the Files dialog, then redraws and reloads.
    void OpenFilesDialog();
    // Stops the song and starts the sibling program, detached.
    bool LaunchSibling(Sibling which);
    // Whether the sibling program is installed (its button is enabled).
    bool SiblingAvailable(Sibling which) const;
    // The tooltip of a missing sibling's button; empty when it is installed.
    std::string SiblingTooltip(Sibling which) const;
    // Opens a song file as the Files dialog would, with progress and
    // Cancel; reports failures. `ask` asks first when the song is modified.
    // True when the song was opened.
    bool OpenSong(const std::string& path, bool ask = true);
    // The same with the Files dialog's choice: `mixOnly` takes only the mix
    // onto the song and keeps the song path.
    bool OpenSongFile(const std::string& path, bool ask, bool mixOnly);
    // Loads a sound file into a channel as the load-loop command does (same
    // checks, same messages; a loaded channel is replaced). With `stretch`
    // (never for an effect) the loop is time-stretched to the song's tempo
    // on a worker under a progress dialog whose Cancel leaves the channel as
    // it was. True on success.
    bool LoadLoopFile(int channel, const std::string& path, bool effect, bool stretch);
    // After the dialogs replaced or saved the song: previews and pads
    // rebuilt; `saved` clears the modified mark, otherwise it is set.
    void SongChanged(bool saved);
    void SetSongPath(std::string path) { m_songPath = std::move(path); }
    // The output settings of the preferences applied again (after a
    // mixdown), with the progress dialog.
    void ReapplyOutputFormat();
    // The output device switched off and on again.
    void RestartDevice();
    void RefreshTitle();
    // Sets the palette the console shows with; returns the previous one.
    gfx::Palette* SetPalette(gfx::Palette* palette);

    // The working copy of the settings; the console reads tooltip, level
    // meter and right-click start from it whenever it needs them.
    const Preferences& Settings() const { return m_settings; }
    SettingsStore& Store() { return *m_setup.settings; }
    engine::Song& Song() { return *m_song; }
    audio::OutputDevice* Device() { return m_device.get(); }
    platform::MessageLoop& Loop() { return *m_setup.loop; }
    // The channel's loop at 2000 Hz, 8 bits, stereo; null when none.
    const audio::Wave* Preview(int channel) const;
    // The frame's background texture (for the dialogs); may be empty.
    gfx::DibSurface* BackgroundTexture() { return m_backTexture.get(); }
    PanelWnd* Console() const { return m_console.get(); }
    int ProMode() const { return m_proMode; }
    int Scale() const { return m_scale; }

    // The channel commands (32773..32776, 32837) on the current channel.
    CommandState ChannelCommand(int command) const;
    void ExecuteChannelCommand(int command);
    // The channel menu with its enabling, for the console's pop-up.
    QMenu* CreateChannelMenu(QWidget* parent);
    // Routes a command: channel keys go to the console at once (answers
    // true); channel commands run. False for commands nobody takes.
    bool OnCommand(int command);

    // Posts the console swap (1124).
    void RequestConsole(int proMode);
    // A change the song file keeps was made (the title then starts with
    // "*"); Saved() clears it.
    // A change the undo steps do not cover: they are forgotten too.
    void MarkModified();
    void Saved();
    // After a change recorded in History() or an undo or redo: the mark
    // follows the history (clean again at the saved state).
    void HistoryChanged();
    // Takes back the song's last recorded change, or makes it again (Ctrl+Z,
    // Ctrl+Shift+Z and the channel menu's last two items); refused (Busy)
    // while a take records or the mix plays back. The console repaints.
    console::HistoryResult Undo();
    console::HistoryResult Redo();
    bool IsModified() const { return m_modified; }
    // Marks the song modified when its recorded mix or its levels at rest
    // differ from those last saved or opened: a recording or a level set
    // at rest is a change the file keeps.
    void NoteDocumentChanges();

    // Start-up, after a run that did not end: offers the automatic snapshot
    // (question 2030); Yes opens it as modified with its original path.
    // No removes it. True when the snapshot was opened.
    bool OfferRecovery();
    // Starts the automatic snapshots of the modified song (see Autosave);
    // the frame's end removes them.
    void StartAutosave();
    Autosave* AutosaveWriter() const { return m_autosave.get(); }
    // The song's undo and redo steps: lane edits (the mix editor records
    // them), the channel commands and whole recordings (made through it).
    // Cleared when another song is opened; the saved state follows Saved().
    console::SongUndo& Steps() { return *m_undo; }
    console::MixHistory& History() { return m_undo->History(); }
    // Asks the question before the song goes away; false when the user
    // cancels. Saving is offered through the Files dialog's save.
    bool ConfirmDiscard(bool quitting);

    // Applies preferences as the preferences dialog's OK does.
    void ApplyPreferences(const Preferences& next);
    // The shell's menu (preferences, about) at a global position.
    void ShowShellMenu(const QPoint& globalPos);
    // Preferences (119) and About (121).
    void ShowPreferences();
    void ShowAbout();

    // Device sharing: the RELEASE request and the return to the window.
    int OnReleaseDevice();
    void OnActivateApp(bool active);
    const DeviceSharing& Sharing() const { return *m_sharing; }

    // Renders the window as it looks now (for --screenshot).
    QImage Grab();
    // The question box, or the test's answer.
    int Ask(unsigned textId, int buttons, int defaultButton);
    // The stop-icon message box with caption 128 (skipped when empty).
    void ShowError(const std::string& text);
    // The information notice (INFORMATION/<text id>) unless it is switched
    // off; answers whether it was shown.
    bool Notice(unsigned titleId, unsigned textId);

    // Hook for the Files dialog (the dialogs add it); without one a plain
    // song file chooser stands in.
    std::function<void(CMainFrame&)> filesDialog;
    // Hook for the preferences dialog: fills `next` and answers whether OK
    // was pressed.
    std::function<bool(CMainFrame&, Preferences& next)> preferencesDialog;
    // Hooks for the wave open and save dialogs, the rename dialog and the
    // Files dialog's save; without them plain choosers stand in.
    std::function<bool(CMainFrame&, std::string& path, bool& effect)> waveOpenDialog;
    // Set by the wave open dialog's hook: the chosen loop is time-stretched.
    bool loadStretch = false;
    // Set by the wave save dialog's hook: the format the loop is written in
    // (its own when empty).
    std::optional<audio::WAVEFORMATEX> saveLoopFormat;
    std::function<bool(CMainFrame&, const std::string& name, std::string& path)> waveSaveDialog;
    std::function<bool(CMainFrame&, std::string& name)> renameDialog;
    std::function<bool(CMainFrame&)> saveSongDialog;
    // Called after each progress report of the frame's song loads and saves
    // has been shown, before the work goes on (tests press Cancel here).
    std::function<void(dialogs::ProgressDialog&)> progressReported;

    // The file the song was loaded from or saved to; empty for a new song.
    const std::string& SongPath() const { return m_songPath; }
    // Channel previews still being made on the worker.
    int PreviewsPending() const { return m_previewsPending; }
    // With a test's answers in place of the boxes: the last error text.
    std::string lastError;

  signals:
    void consoleChanged();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    platform::LParam OnMessage(std::uint32_t message, platform::WParam w, platform::LParam l);
    void CreateConsole();
    void DestroyConsole();
    void SwapConsole(int proMode);
    void LoadBackgroundTexture();
    void RebuildPreview(int channel);
    void RebuildAllPreviews();
    // Shows the progress dialog (string 171) while `job` stretches the
    // channel's loop on its worker; its Cancel stops the stretch.
    void OnPreviewMade(int channel, std::uint32_t generation, std::shared_ptr<audio::Wave> preview);
    void ApplyOutputSettings(const Preferences& next);
    bool HandleKey(QKeyEvent* key);
    console::HistoryResult StepHistory(bool redo);
    // The window's place on a screen of the console's size, or on screen.
    void FitToDisplay();
    bool SaveSongInteractive();
    std::string SiblingPath(Sibling which) const;
    void LoadLoopCommand();
    void SaveLoopCommand();
    void RemoveLoopCommand();
    void RenameLoopCommand();
    void EffectCommand();

    FrameSetup m_setup;
    bool m_destroying = false;
    Preferences m_settings;
    gfx::Palette* m_palette = nullptr;  // not owned
    int m_proMode = 0;
    int m_currentChannel = 0;
    int m_scale = 1;
    bool m_modified = false;
    // Counts the changes MarkModified was told of (the snapshots compare it).
    std::uint64_t m_changeSerial = 0;
    // The document as last saved or opened.
    engine::SongDocument m_cleanDoc;
    bool m_fitConnected = false;
    std::string m_songPath;
    std::array<std::uint32_t, engine::kChannelCount> m_previewGeneration{};
    int m_previewsPending = 0;
    // The workers' way back to the frame; cut when the frame goes, so a
    // conversion that ends later delivers nowhere.
    struct PreviewSink {
        std::mutex mutex;
        CMainFrame* frame = nullptr;
    };
    std::shared_ptr<PreviewSink> m_previewSink;

    // Destruction runs upwards from the last member: the console first,
    // then the background texture, the song (which lets go of the device),
    // the device, the graphics system, and the previews last.
    std::array<std::shared_ptr<audio::Wave>, engine::kChannelCount> m_previews;
    std::unique_ptr<gfx::GfxSystem> m_gfx;
    std::unique_ptr<audio::OutputDevice> m_device;
    std::unique_ptr<engine::Song> m_song;
    // Holds the song: goes before it.
    std::unique_ptr<console::SongUndo> m_undo;
    std::unique_ptr<gfx::DibSurface> m_backTexture;
    std::unique_ptr<platform::MessageTarget> m_target;
    std::unique_ptr<DeviceSharing> m_sharing;
    QPointer<QWidget> m_splash;
    std::unique_ptr<Autosave> m_autosave;
    // A child widget, deleted here first rather than by QWidget's
    // destructor, which would run after the song and the device are gone.
    std::unique_ptr<PanelWnd> m_console;
};

}  // namespace tamboro::app
