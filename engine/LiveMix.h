#pragma once
// The live mix: the song's channels as they sound, switched and levelled by
// the user, recorded as a take and played back, all on one clock: the frames
// the output engine renders.
//
// The owner (user-interface) thread sends commands; the audio thread, inside
// the output engine's render call (audio::BlockSequencer), carries them out
// at exact frames and sends back what happened through a lock-free queue,
// which Poll() on the owner thread delivers, in order and by value, to the
// document (recorded events) and to a listener (the console).
//
// Time. While a take runs (recording or playback) the mix has one frame axis
// whose frame 0 is mix time 0. An event of time t ms belongs at frame
//   E(t) = k x floor(floor(t x R / 1000) / k),  R the device rate, k = 8 /
// bytes per frame (the mixdown mixes whole 8-byte blocks). A command taken
// from the queue by the render call that starts at mix frame F takes effect
// at E(t) for the smallest whole t with E(t) >= F and is recorded with that
// t. Outside a take a command takes effect at F.
//
// The tempo clock is a frame counter of period 8 x SamplesPerBar; a take
// starts it at mix frame 0. A loop starts at (clock mod its frames), an
// effect at its first frame. A switch "in time" waits for the next frame B
// where the clock is a multiple of the channel's loop frames N; during a take
// it takes effect at E(t) for the largest t with E(t) <= B (the loop then
// starts at E(t) mod N, so its first frame sounds at B).
//
// Level changes reach a sounding voice over a ramp of RampFrames() =
// max(1, R x 4 / 1000) frames (4 ms); a voice that starts takes its levels at
// once, and the levels of one frame are applied before its switches.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/output/BlockSequencer.h"
#include "audio/output/OutputDeviceInterface.h"
#include "audio/wave/WaveFormat.h"
#include "engine/MeterWindow.h"
#include "engine/MixRules.h"
#include "engine/SongDocument.h"
#include "engine/Units.h"

namespace tamboro::engine {

// The level of one channel or of the master output: smallest and largest
// sample of each side (16-bit scale; a mono output repeats the left side)
// and the RMS of each side.
struct LevelMeter {
    std::int16_t minLeft = 0;
    std::int16_t maxLeft = 0;
    std::int16_t minRight = 0;
    std::int16_t maxRight = 0;
    std::uint16_t rmsLeft = 0;
    std::uint16_t rmsRight = 0;
    friend bool operator==(const LevelMeter&, const LevelMeter&) = default;
};

struct MeterSnapshot {
    // Each channel over the last render call (the output engine measures
    // a slot per call).
    std::array<LevelMeter, kChannelCount> channels;
    // The device's output over its last kMeterWindowMs, frame-exact: what
    // the console's meter shows, whatever size the render calls have.
    LevelMeter master;
    std::uint64_t blocks = 0;  // render calls measured so far
};

// What the live mix reports to the owner thread.
struct LiveNotice {
    enum Kind : std::uint8_t {
        kSwitched,       // channel on or off (any cause); `on`, `inTime`
        kCancelled,      // a pending in-time switch was cancelled
        kRecorded,       // `event` was recorded into the document
        kPlayed,         // playback applied `event` (recorded mix)
        kDropped,        // playback passed over `event` of a held control; removed
        kPlaybackEnded,  // the recorded mix has run out; the mix is stopped
        kTakeEnded,      // a take ended on its own: the notice queue was full
    };
    Kind kind = kSwitched;
    int channel = 0;
    bool on = false;
    bool inTime = false;        // kSwitched: an in-time switch or an effect's self-stop
    MixEvent event;             // kRecorded, kPlayed, kDropped
    std::int64_t mixFrame = 0;  // where it took effect on the mix axis
    friend bool operator==(const LiveNotice&, const LiveNotice&) = default;
};

class LiveListener {
  public:
    virtual ~LiveListener() = default;
    // Owner thread, from Poll, in the order things happened.
    virtual void OnLiveNotice(LiveNotice notice) = 0;
};

class LiveMix final : public audio::BlockSequencer {
  public:
    enum class Mode : std::uint8_t { Idle, Armed, Recording, Playing };
    static constexpr std::uint32_t kCommandCapacity = 1024;
    static constexpr std::uint32_t kNoticeCapacity = 8192;
    static constexpr std::uint32_t kRampMs = 4;
    static constexpr std::uint32_t kMeterWindowMs = 60;

    // `document` receives what a recording records; it must outlive the
    // live mix.
    explicit LiveMix(SongDocument& document);
    ~LiveMix() override;
    LiveMix(const LiveMix&) = delete;
    LiveMix& operator=(const LiveMix&) = delete;

    // --- Binding (owner thread) -----------------------------------------------
    // Installs the live mix as the device's sequencer with the channels'
    // slots (-1 for none). False when the device has no real-time engine.
    bool Attach(audio::OutputDeviceInterface& device, const std::array<int, kChannelCount>& slots);
    // Removes it; returns once the audio thread has let go.
    void Detach();
    bool Attached() const { return m_device != nullptr; }
    // The device format's facts and the clock period (8 x SamplesPerBar);
    // call after Attach and whenever the format or the tempo changes.
    void Configure(const audio::WAVEFORMATEX& format, Frames clockPeriod);
    void SetEffect(int ch, bool effect);

    // --- Commands (owner thread) ----------------------------------------------
    // Each returns false when it was not queued (bad channel, not attached,
    // queue full).
    bool SwitchOn(int ch);
    bool SwitchOff(int ch);
    // At the channel's next loop boundary. At most one is pending per
    // channel: another request while one is pending is ignored.
    bool SwitchInTime(int ch, bool on);
    // Cancels the pending in-time switch (or effect self-stop) of a channel.
    bool CancelInTime(int ch);
    // Switches an effect on now and arms its self-stop at the end of its
    // prepared length (pending like an in-time switch, cancellable).
    bool SwitchEffectOn(int ch);
    bool SetVolume(int ch, int volume);
    bool SetPan(int ch, int pan);
    bool SetMaster(int volume);
    // Hand takeover: while held, playback leaves the control to the user and
    // the values the user sets are recorded.
    bool SetVolumeHeld(int ch, bool held);
    bool SetPanHeld(int ch, bool held);
    bool SetMasterHeld(bool held);
    // A recording: every channel stops, the levels become `levels` (what the
    // document records at time 0) and the take starts with the first switch
    // on.
    bool StartRecording(const MixLevels& levels);
    // Plays `document`'s mix from `fromMs` (a snapshot is taken now).
    bool StartPlayback(const SongDocument& document, Millis fromMs);
    // Stops a take (a recording records the switch-off of every sounding
    // channel) and every channel.
    bool Stop();

    // --- State (owner thread; what the audio thread published) ---------------
    // Delivers the queued notices: recorded events go into the document,
    // dropped ones leave it, then the listener (may be null) hears each.
    void Poll(LiveListener* listener);
    Mode GetMode() const;
    bool IsChannelOn(int ch) const;
    int OnCount() const;
    bool IsPending(int ch) const;
    // Whether every command sent so far has been carried out.
    bool Settled() const;
    bool ClockRunning() const;
    // The tempo clock's position: frames since its start, modulo its period.
    Frames ClockPosition() const;
    // The device frame (frames the engine has rendered) where the last take
    // began: a recording's first switch-on, a playback's first frame; -1
    // before any.
    std::int64_t TakeStartFrame() const;
    // The current mix frame of a take (0 outside one).
    std::int64_t MixFrame() const;
    Millis MixTime() const;
    std::uint32_t Rate() const { return m_rate; }
    std::uint32_t RampFrames() const;
    // The meters as of the last render call; lock-free.
    MeterSnapshot Meters() const;
    // Frames of the master meter's window at the configured rate.
    std::uint32_t MeterWindowFrames() const;
    // E(t) on the device's axis, and the inverse rules.
    std::uint64_t EventFrame(std::uint32_t ms) const;

    // --- audio::BlockSequencer (audio thread) ------------------------------------
    void BeginBlock(std::uint64_t frame, std::uint32_t frames,
                    audio::VoiceControl& voices) override;
    std::uint32_t Sequence(std::uint64_t frame, std::uint32_t left,
                           audio::VoiceControl& voices) override;
    void Rendered(std::uint64_t frame, const std::uint8_t* out, std::uint32_t frames,
                  const audio::SlotMeter* meters) override;

  private:
    struct Setup;  // what a recording or playback starts from
    struct Command {
        enum Kind : std::uint8_t {
            kOn,
            kOff,
            kInTime,
            kCancel,
            kEffectOn,
            kVolume,
            kPan,
            kMaster,
            kHoldVolume,
            kHoldPan,
            kHoldMaster,
            kRecord,
            kPlay,
            kStop,
            kConfigure,
            kEffect,
        };
        Kind kind = kOn;
        std::int8_t channel = 0;
        bool flag = false;
        std::int32_t value = 0;
        std::uint32_t seq = 0;
        std::uint8_t outChannels = 0;
        std::uint8_t outFrameBytes = 0;
        std::uint64_t frames = 0;
        const Setup* setup = nullptr;
    };
    // Something due at a frame: a switch or a level, from a command.
    struct Action {
        std::uint64_t frame = 0;
        std::uint32_t time = 0;  // ms, when recorded
        std::uint8_t kind = 0;   // a MixEventKind, or kStopTake
        std::int8_t channel = 0;
        bool record = false;
        bool selfStop = false;
        std::int32_t value = 0;
    };
    static constexpr std::uint8_t kStopTake = 64;
    static constexpr std::uint32_t kActionCapacity = 512;
    struct Pending {
        bool active = false;
        bool on = false;
        bool record = false;
        bool selfStop = false;
        std::uint64_t frame = 0;
        std::uint32_t time = 0;
    };
    // Audio-thread view of one channel.
    struct Channel {
        int slot = -1;
        bool effect = false;
        bool on = false;
        bool heldVolume = false;
        bool heldPan = false;
        Pending pending;
    };
    class Voices;

    struct Asked {
        std::uint32_t seq = 0;  // the command that asked, 0 none
        bool on = false;
    };
    void RememberAsked(int ch, bool on);
    bool Push(Command c);
    bool PushChannel(Command::Kind kind, int ch, std::int32_t value = 0, bool flag = false);
    bool PushSetup(Command::Kind kind, std::unique_ptr<Setup> setup);
    void RetireSetups();

    // Audio thread.
    void Take(const Command& c, std::uint64_t first, audio::VoiceControl& voices);
    void Queue(const Action& a);
    void Due(std::uint64_t frame, audio::VoiceControl& voices);
    void ApplyAction(const Action& a, audio::VoiceControl& voices);
    bool Held(const MixEvent& e) const;
    void ApplyEvent(const MixEvent& e, std::uint64_t frame, audio::VoiceControl& voices);
    void ReportEvent(const MixEvent& e, std::uint64_t frame);
    void SwitchOnAt(int ch, std::uint64_t frame, std::uint32_t time, bool record, bool selfStop,
                    bool inTime, audio::VoiceControl& voices);
    // The notices of a switch that took effect at `frame`.
    void ReportSwitch(const MixEvent& e, std::uint64_t frame, bool record, bool inTime);
    void SwitchOffAt(int ch, std::uint64_t frame, std::uint32_t time, bool record, bool inTime,
                     audio::VoiceControl& voices);
    void Level(std::uint32_t kind, int ch, std::int32_t value, std::uint64_t frame,
               std::uint32_t time, bool record, audio::VoiceControl& voices);
    void StopEverything(std::uint64_t frame, std::uint32_t time, bool record,
                        audio::VoiceControl& voices);
    void EndTake();
    bool InTake() const { return m_mode == Mode::Recording || m_mode == Mode::Playing; }
    // When a command taken at `first` takes effect, and its time.
    void When(std::uint64_t first, std::uint64_t& frame, std::uint32_t& time) const;
    bool Boundary(int ch, std::uint64_t first, Pending& p, audio::VoiceControl& voices) const;
    std::uint64_t ClockAt(std::uint64_t frame) const;
    std::uint64_t E(std::uint64_t t) const;
    std::uint32_t SmallestTimeAtOrAfter(std::int64_t mixFrame) const;
    std::uint32_t LargestTimeAtOrBefore(std::int64_t mixFrame) const;
    bool Notify(const LiveNotice& n);
    void PublishState();

    SongDocument& m_document;
    audio::OutputDeviceInterface* m_device = nullptr;
    std::array<int, kChannelCount> m_slots{};

    // Facts of the format. written: owner while detached or via kConfigure;
    // read: both.
    std::uint32_t m_rate = 44100;
    std::uint32_t m_blockFrames = 2;  // k: frames per 8-byte block

    // Owner side.
    std::uint32_t m_nextSeq = 0;
    std::vector<std::pair<std::uint32_t, std::unique_ptr<Setup>>> m_setups;
    std::vector<LiveNotice> m_polled;  // reused by Poll
    std::array<Asked, kChannelCount> m_asked{};

    // Command ring. m_cmdTail written: owner; m_cmdHead written: audio.
    std::vector<Command> m_commands;
    std::atomic<std::uint32_t> m_cmdHead{0};
    std::atomic<std::uint32_t> m_cmdTail{0};
    // Notice ring. m_noteTail written: audio; m_noteHead written: owner.
    std::vector<LiveNotice> m_notices;
    std::atomic<std::uint32_t> m_noteHead{0};
    std::atomic<std::uint32_t> m_noteTail{0};

    // Audio side (consumer only).
    Mode m_mode = Mode::Idle;
    std::array<Channel, kChannelCount> m_channels;
    MixLevels m_levels;
    bool m_heldMaster = false;
    std::uint32_t m_rateA = 44100;  // the configured facts as the audio thread has them
    std::uint32_t m_blockFramesA = 2;
    std::uint64_t m_period = 0;
    std::int64_t m_origin = 0;  // device frame of mix frame 0
    bool m_clockRunning = false;
    std::uint64_t m_clockOrigin = 0;
    const Setup* m_play = nullptr;  // playback: the snapshot
    std::size_t m_cursor = 0;
    std::array<Action, kActionCapacity> m_actions;
    std::uint32_t m_actionCount = 0;
    std::array<Action, kActionCapacity> m_firing;  // the actions due now
    std::uint64_t m_blockFirst = 0;
    std::uint64_t m_blockEnd = 0;
    std::uint32_t m_lastTaken = 0;
    bool m_outEightBit = false;
    std::uint32_t m_outChannels = 0;
    std::uint32_t m_outFrameBytes = 0;
    bool m_quiet = false;        // switches of recorded events are reported in their order
    MeterWindow m_masterWindow;  // written: owner before Attach installs, then audio

    // Published by the audio thread; read by the owner.
    std::atomic<std::uint32_t> m_pubApplied{0};
    std::atomic<std::uint8_t> m_pubMode{0};
    std::atomic<std::uint32_t> m_pubOn{0};       // bit per channel
    std::atomic<std::uint32_t> m_pubPending{0};  // bit per channel
    std::atomic<std::uint64_t> m_pubClock{0};    // bit 63: running
    std::atomic<std::int64_t> m_pubMixFrame{0};
    std::atomic<std::int64_t> m_pubTakeStart{-1};
    std::int64_t m_takeStart = -1;  // audio side
    std::array<std::atomic<std::uint64_t>, kChannelCount + 1> m_pubMinMax{};
    std::array<std::atomic<std::uint32_t>, kChannelCount + 1> m_pubRms{};
    std::atomic<std::uint64_t> m_pubBlocks{0};
    static_assert(std::atomic<std::uint64_t>::is_always_lock_free);
    static_assert(std::atomic<std::int64_t>::is_always_lock_free);
};

}  // namespace tamboro::engine
