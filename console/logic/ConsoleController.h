#pragma once
// What the main console does, without the toolkit: pads switched at once or
// in time, the knobs, the master slider, the mode switch, the transport and
// the text panel's state. The widget turns mouse and keyboard into these
// calls (in console pixels) and paints what the dirty flags name.
//
// In-time switches and effect self-stops are carried out by the live mix at
// the exact frame; the console keeps one pending request a channel, tracked
// by generation (PendingSwitches), and resolves its requests in order as the
// live mix reports each one switched or cancelled. A report that resolves a
// request the console already cancelled carries an old generation and
// changes nothing. The live mix's reports arrive through the song's
// PollLive, which Tick calls.
// User-interface thread only.
#include <array>
#include <cstdint>
#include <deque>
#include <memory>

#include "console/logic/ConsoleLayout.h"
#include "console/logic/Controls.h"
#include "console/logic/PendingSwitches.h"
#include "console/logic/TextDisplay.h"
#include "engine/LiveMix.h"

namespace tamboro::engine {
class Song;
}

namespace tamboro::console {

class SongUndo;

// The frame's settings the console reads.
struct ConsoleSettings {
    bool tooltips = true;
    bool levelMeter = true;
    bool rightClickDelayStart = true;
};

// Commands forwarded by the frame: a key switches a channel at once, the
// same key with Shift in time.
inline constexpr unsigned kCommandSwitchFirst = 32797;
inline constexpr unsigned kCommandTimedFirst = 32817;

class ConsoleController final : public engine::LiveListener {
  public:
    // Listens to the song's live mix while it exists.
    explicit ConsoleController(engine::Song& song);
    ~ConsoleController() override;
    ConsoleController(const ConsoleController&) = delete;
    ConsoleController& operator=(const ConsoleController&) = delete;

    engine::Song& GetSong() const { return m_song; }
    ConsoleSettings& Settings() { return m_settings; }
    const PendingSwitches& Pending() const { return m_pending; }

    int CurrentChannel() const { return m_current; }
    // Ignores values outside 0..19.
    void SetCurrentChannel(int ch);

    // --- Pads ------------------------------------------------------------------
    // Switches the channel at once; an effect that starts stops itself at
    // its end (a pending switch of the live mix). The channel becomes
    // current.
    void Toggle(int ch);
    // Switches the channel on its next loop boundary (at once when the
    // boundary is now). Nothing when the channel is already pending.
    void TimedSwitch(int ch);
    // Drops the channel's pending switch (or an effect's self-stop); false
    // when none was pending.
    bool Cancel(int ch);
    // Commands 32797..32836; ignored during mix playback. True when the
    // command is one of the console's.
    bool OnCommand(unsigned command);
    // A left click: the pads (unless a mix plays back), then the other areas
    // in order. Returns the area hit outside the pads (the caller asks the
    // power question).
    ConsoleArea OnLeftDown(int x, int y, bool shift);
    // Master drag in progress: pointer row `y`.
    void OnMasterDrag(int y);
    // Ends a master drag.
    void OnLeftUp();
    bool MasterDragging() const { return m_masterDragging; }
    // A right click: in-time switches or cancels when something sounds and
    // the setting allows it.
    void OnRightDown(int x, int y);
    // The channel menu's point: the pad under it becomes current; true when
    // the menu is to be shown (a pad was hit and nothing sounds).
    bool PrepareChannelMenu(int x, int y);
    PadPicture PictureOf(int ch) const;

    // --- Knobs and master ------------------------------------------------------
    KnobMode Mode() const { return m_mode; }
    void SetMode(KnobMode mode);
    // The position a channel's knob shows now.
    int KnobPositionOf(int ch) const;
    // Press: the channel becomes current and the song's held flag of the
    // mode is set; answers the position at press.
    int BeginKnobDrag(int ch);
    // Applies a new position (live value; the stored one too unless a mix is
    // recorded or played back).
    void ApplyKnob(int ch, int position);
    void EndKnobDrag(int ch);
    int MasterValue() const;
    void ApplyMaster(int value);

    // --- Transport ---------------------------------------------------------------
    void Play();
    // Stops the song, brings every live level back to the stored one and
    // forgets pending switches.
    void Stop();
    void Record();
    // The undo steps a recording is kept in (borrowed; null: none).
    void SetUndo(SongUndo* undo) { m_undo = undo; }

    // --- The 125 ms tick ------------------------------------------------------
    // Takes the live mix's news (PollLive), moves the blink on and marks
    // what changed.
    void Tick();
    // The meter's lit lengths from the output's extremes published by the
    // live mix.
    MeterLengths MeterNow() const;
    // The tempo clock's beat 0..3, or -1 while nothing sounds.
    int BeatNow() const;
    std::uint32_t BlinkCounter() const { return m_blink; }
    TextPanelState TextState() const;
    std::string TooltipOf(int ch) const;

    // --- What to repaint -----------------------------------------------------
    struct Dirty {
        std::array<bool, kChannels> pads{};
        std::array<bool, kChannels> knobs{};
        bool text = false;
        bool master = false;
        bool modes = false;
        bool all = false;  // the whole console (after Record's stop)
    };
    // What changed since the last call; clears the flags.
    Dirty TakeDirty();
    void MarkAllDirty();
    // A channel's pad and the text (-1: every channel).
    void MarkChannelDirty(int ch);
    void MarkTextDirty() { m_dirty.text = true; }

    // engine::LiveListener
    void OnLiveNotice(engine::LiveNotice notice) override;

  private:
    // Marks a request sent to the live mix as pending.
    void Track(int ch, std::uint32_t generation);
    // The live mix finished (or dropped) the channel's oldest request.
    void Resolve(int ch);
    // Requests the live mix let go without a report (a switch to the state
    // the channel already had): once a whole render call has passed since
    // the request and the live mix holds nothing pending for the channel.
    void ResolveSilentlyDropped();
    bool MixRuns() const;

    engine::Song& m_song;
    SongUndo* m_undo = nullptr;
    ConsoleSettings m_settings;
    PendingSwitches m_pending;
    int m_current = 0;
    std::uint32_t m_blink = 0;
    KnobMode m_mode = KnobMode::Balance;
    bool m_masterDragging = false;
    Dirty m_dirty;
    std::array<PadPicture, kChannels> m_shown{};  // pictures at the last tick
    // A request sent to the live mix: its generation and how many render
    // calls the live mix had made when it was sent.
    struct Request {
        std::uint32_t generation = 0;
        std::uint64_t blocks = 0;
    };
    // Per channel, the requests the live mix has not yet reported on,
    // oldest first.
    std::array<std::deque<Request>, kChannels> m_inflight;
};

}  // namespace tamboro::console
