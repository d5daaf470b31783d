#include "engine/LiveMix.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tamboro::engine {

// What a recording or a playback starts from. Made by the owner, read by the
// audio thread, freed by the owner once a later take command was applied.
struct LiveMix::Setup {
    MixLevels levels;              // recording: levels at time 0; playback: at `from`
    std::vector<MixEvent> events;  // playback: the merged mix
    std::size_t start = 0;         // playback: the first event at or after `from`
    std::uint32_t from = 0;
    std::array<bool, kChannelCount> on{};               // playback: on at `from`
    std::array<std::uint32_t, kChannelCount> onTime{};  // ... since
};

// The voice operations of the mix rules, on the channels' slots.
class LiveMix::Voices {
  public:
    Voices(LiveMix& mix, audio::VoiceControl& voices) : m_mix(mix), m_voices(voices) {}
    bool IsEffect(int ch) const { return m_mix.m_channels[Index(ch)].effect; }
    std::uint32_t LoopFrames(int ch) const {
        const int slot = m_mix.m_channels[Index(ch)].slot;
        return slot < 0 ? 0 : m_voices.VoiceFrames(slot);
    }
    void Start(int ch, std::uint32_t start, int attenuation, int pan) {
        const int slot = m_mix.m_channels[Index(ch)].slot;
        if (slot >= 0) m_voices.StartVoice(slot, start, attenuation, pan);
    }
    void Stop(int ch) {
        const int slot = m_mix.m_channels[Index(ch)].slot;
        if (slot >= 0) m_voices.StopVoice(slot);
    }
    void Levels(int ch, int attenuation, int pan) {
        const int slot = m_mix.m_channels[Index(ch)].slot;
        if (slot >= 0) m_voices.SetVoiceLevels(slot, attenuation, pan);
    }

  private:
    static std::size_t Index(int ch) { return static_cast<std::size_t>(ch); }
    LiveMix& m_mix;
    audio::VoiceControl& m_voices;
};

namespace {

constexpr std::uint32_t kNoticeReserve = 1024;  // kept free for the end of a take
constexpr std::uint64_t kClockRunningBit = std::uint64_t{1} << 63;

std::uint64_t PackMinMax(const LevelMeter& m) {
    const auto u = [](std::int16_t v) { return std::uint64_t{static_cast<std::uint16_t>(v)}; };
    return u(m.minLeft) | u(m.maxLeft) << 16 | u(m.minRight) << 32 | u(m.maxRight) << 48;
}

LevelMeter Unpack(std::uint64_t minMax, std::uint32_t rms) {
    const auto s = [&](int shift) {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(minMax >> shift));
    };
    return {s(0),
            s(16),
            s(32),
            s(48),
            static_cast<std::uint16_t>(rms),
            static_cast<std::uint16_t>(rms >> 16)};
}

std::int16_t Clamp16(int v) {
    return static_cast<std::int16_t>(std::clamp(v, -32768, 32767));
}

std::uint16_t Rms(double sumSquares, std::uint32_t frames) {
    if (frames == 0) return 0;
    return static_cast<std::uint16_t>(
        std::min(32768.0, std::sqrt(sumSquares / static_cast<double>(frames))));
}

// Frames of the master meter's window at `rate`.
std::uint32_t MeterFrames(std::uint32_t rate) {
    return std::max<std::uint32_t>(1, rate * LiveMix::kMeterWindowMs / 1000);
}

}  // namespace

LiveMix::LiveMix(SongDocument& document)
    : m_document(document), m_commands(kCommandCapacity), m_notices(kNoticeCapacity) {
    m_slots.fill(-1);
}

LiveMix::~LiveMix() {
    Detach();
}

// --- Binding --------------------------------------------------------------------------

bool LiveMix::Attach(audio::OutputDeviceInterface& device,
                     const std::array<int, kChannelCount>& slots) {
    Detach();
    m_slots = slots;
    // Not yet seen by the audio thread: installing the sequencer publishes
    // these through the device's command ring.
    for (int ch = 0; ch < kChannelCount; ++ch) {
        m_channels[static_cast<std::size_t>(ch)] = Channel{};
        m_channels[static_cast<std::size_t>(ch)].slot = slots[static_cast<std::size_t>(ch)];
    }
    m_mode = Mode::Idle;
    m_levels = MixLevels{};
    m_heldMaster = false;
    m_clockRunning = false;
    m_play = nullptr;
    m_actionCount = 0;
    m_cmdHead.store(m_cmdTail.load());
    m_masterWindow.Reset(MeterWindowFrames());
    std::uint64_t metered = 0;
    for (const int slot : slots) {
        if (slot >= 0 && slot < 64) metered |= std::uint64_t{1} << slot;
    }
    if (!device.SetSequencer(this, metered)) return false;
    m_device = &device;
    return true;
}

void LiveMix::Detach() {
    if (m_device == nullptr) return;
    m_device->SetSequencer(nullptr, 0);
    m_device = nullptr;
    m_setups.clear();
    // What the audio thread left in the notice queue still counts.
    Poll(nullptr);
}

void LiveMix::Configure(const audio::WAVEFORMATEX& format, Frames clockPeriod) {
    const std::uint32_t frameBytes = format.nBlockAlign;
    m_rate = std::max<std::uint32_t>(1, format.nSamplesPerSec);
    m_blockFrames = frameBytes == 0 || frameBytes > 8 ? 1 : 8 / frameBytes;
    Command c;
    c.kind = Command::kConfigure;
    c.value = static_cast<std::int32_t>(m_rate);
    c.channel = static_cast<std::int8_t>(m_blockFrames);
    c.frames = clockPeriod.count;
    c.flag = format.wBitsPerSample == 8;
    c.outChannels = static_cast<std::uint8_t>(format.nChannels);
    c.outFrameBytes = static_cast<std::uint8_t>(frameBytes);
    Push(c);
}

void LiveMix::SetEffect(int ch, bool effect) {
    PushChannel(Command::kEffect, ch, 0, effect);
}

// --- Commands -------------------------------------------------------------------------

bool LiveMix::Push(Command c) {
    if (m_device == nullptr) return false;
    const std::uint32_t tail = m_cmdTail.load(std::memory_order_relaxed);
    if (tail - m_cmdHead.load(std::memory_order_acquire) >= kCommandCapacity) return false;
    if (++m_nextSeq == 0) m_nextSeq = 1;
    c.seq = m_nextSeq;
    m_commands[tail % kCommandCapacity] = c;
    m_cmdTail.store(tail + 1, std::memory_order_release);
    return true;
}

bool LiveMix::PushChannel(Command::Kind kind, int ch, std::int32_t value, bool flag) {
    if (!SongDocument::ValidChannel(ch)) return false;
    Command c;
    c.kind = kind;
    c.channel = static_cast<std::int8_t>(ch);
    c.value = value;
    c.flag = flag;
    return Push(c);
}

void LiveMix::RememberAsked(int ch, bool on) {
    m_asked[static_cast<std::size_t>(ch)] = {m_nextSeq, on};
}

bool LiveMix::SwitchOn(int ch) {
    if (!PushChannel(Command::kOn, ch)) return false;
    RememberAsked(ch, true);
    return true;
}
bool LiveMix::SwitchOff(int ch) {
    if (!PushChannel(Command::kOff, ch)) return false;
    RememberAsked(ch, false);
    return true;
}
bool LiveMix::SwitchInTime(int ch, bool on) {
    return PushChannel(Command::kInTime, ch, 0, on);
}
bool LiveMix::CancelInTime(int ch) {
    return PushChannel(Command::kCancel, ch);
}
bool LiveMix::SwitchEffectOn(int ch) {
    if (!PushChannel(Command::kEffectOn, ch)) return false;
    RememberAsked(ch, true);
    return true;
}
bool LiveMix::SetVolume(int ch, int volume) {
    return PushChannel(Command::kVolume, ch, volume);
}
bool LiveMix::SetPan(int ch, int pan) {
    return PushChannel(Command::kPan, ch, pan);
}
bool LiveMix::SetMaster(int volume) {
    return PushChannel(Command::kMaster, 0, volume);
}
bool LiveMix::SetVolumeHeld(int ch, bool held) {
    return PushChannel(Command::kHoldVolume, ch, 0, held);
}
bool LiveMix::SetPanHeld(int ch, bool held) {
    return PushChannel(Command::kHoldPan, ch, 0, held);
}
bool LiveMix::SetMasterHeld(bool held) {
    return PushChannel(Command::kHoldMaster, 0, 0, held);
}

bool LiveMix::PushSetup(Command::Kind kind, std::unique_ptr<Setup> setup) {
    Command c;
    c.kind = kind;
    c.setup = setup.get();
    if (!Push(c)) return false;
    // The setups before this one are let go once the audio thread took it.
    for (auto& s : m_setups) {
        if (s.first == 0) s.first = m_nextSeq;
    }
    m_setups.emplace_back(0, std::move(setup));
    return true;
}

bool LiveMix::StartRecording(const MixLevels& levels) {
    auto setup = std::make_unique<Setup>();
    setup->levels = levels;
    return PushSetup(Command::kRecord, std::move(setup));
}

bool LiveMix::StartPlayback(const SongDocument& document, Millis fromMs) {
    auto setup = std::make_unique<Setup>();
    setup->events = document.MergedEvents();
    setup->from = fromMs.count;
    const auto firstAtOrAfter =
        std::find_if(setup->events.begin(), setup->events.end(),
                     [&](const MixEvent& e) { return e.time >= fromMs.count; });
    setup->start = static_cast<std::size_t>(firstAtOrAfter - setup->events.begin());
    // Where the render stands at `from`: every earlier event applied.
    for (std::size_t i = 0; i < setup->start; ++i) {
        const MixEvent& e = setup->events[i];
        if (e.channel >= static_cast<std::uint32_t>(kChannelCount)) continue;
        const auto ch = static_cast<std::size_t>(e.channel);
        switch (e.kind) {
            case kChannelOn:
                setup->on[ch] = true;
                setup->onTime[ch] = e.time;
                break;
            case kChannelOff:
                setup->on[ch] = false;
                break;
            case kVolume:
                setup->levels.volume[ch] = static_cast<int>(e.value);
                break;
            case kPan:
                setup->levels.pan[ch] = static_cast<int>(e.value);
                break;
            case kMasterVolume:
                setup->levels.master = static_cast<int>(e.value);
                break;
            default:
                break;
        }
    }
    return PushSetup(Command::kPlay, std::move(setup));
}

bool LiveMix::Stop() {
    Command c;
    c.kind = Command::kStop;
    if (!Push(c)) return false;
    for (auto& s : m_setups) {
        if (s.first == 0) s.first = m_nextSeq;
    }
    return true;
}

void LiveMix::RetireSetups() {
    const std::uint32_t applied = m_pubApplied.load(std::memory_order_acquire);
    std::erase_if(m_setups, [&](const auto& s) {
        return s.first != 0 && static_cast<std::int32_t>(applied - s.first) >= 0;
    });
}

// --- State ----------------------------------------------------------------------------

void LiveMix::Poll(LiveListener* listener) {
    m_polled.clear();
    std::uint32_t head = m_noteHead.load(std::memory_order_relaxed);
    const std::uint32_t tail = m_noteTail.load(std::memory_order_acquire);
    for (; head != tail; ++head)
        m_polled.push_back(m_notices[head % kNoticeCapacity]);
    m_noteHead.store(head, std::memory_order_release);
    RetireSetups();
    for (const LiveNotice& n : m_polled) {
        const int list = n.event.kind == kMasterVolume ? 0 : static_cast<int>(n.event.channel);
        if (n.kind == LiveNotice::kRecorded) {
            if (EventList* events = m_document.Events(list)) InsertEvent(*events, n.event);
        } else if (n.kind == LiveNotice::kDropped) {
            if (EventList* events = m_document.Events(list)) {
                const auto it = std::find(events->begin(), events->end(), n.event);
                if (it != events->end()) events->erase(it);
            }
        }
    }
    if (listener == nullptr) return;
    for (const LiveNotice& n : m_polled)
        listener->OnLiveNotice(n);
}

LiveMix::Mode LiveMix::GetMode() const {
    return static_cast<Mode>(m_pubMode.load(std::memory_order_acquire));
}

bool LiveMix::IsChannelOn(int ch) const {
    if (!SongDocument::ValidChannel(ch)) return false;
    // A switch the audio thread has not carried out yet counts as asked:
    // the pad lights at the click, not a block later.
    const Asked& asked = m_asked[static_cast<std::size_t>(ch)];
    const std::uint32_t applied = m_pubApplied.load(std::memory_order_acquire);
    if (asked.seq != 0 && static_cast<std::int32_t>(applied - asked.seq) < 0) return asked.on;
    return ((m_pubOn.load(std::memory_order_acquire) >> ch) & 1u) != 0;
}

int LiveMix::OnCount() const {
    int count = 0;
    for (int ch = 0; ch < kChannelCount; ++ch)
        count += IsChannelOn(ch) ? 1 : 0;
    return count;
}

bool LiveMix::IsPending(int ch) const {
    return SongDocument::ValidChannel(ch) &&
           ((m_pubPending.load(std::memory_order_acquire) >> ch) & 1u) != 0;
}

bool LiveMix::Settled() const {
    return m_cmdHead.load(std::memory_order_acquire) == m_cmdTail.load(std::memory_order_relaxed);
}

bool LiveMix::ClockRunning() const {
    return (m_pubClock.load(std::memory_order_acquire) & kClockRunningBit) != 0;
}

Frames LiveMix::ClockPosition() const {
    return Frames(m_pubClock.load(std::memory_order_acquire) & ~kClockRunningBit);
}

std::int64_t LiveMix::TakeStartFrame() const {
    return m_pubTakeStart.load(std::memory_order_acquire);
}

std::int64_t LiveMix::MixFrame() const {
    return m_pubMixFrame.load(std::memory_order_acquire);
}

Millis LiveMix::MixTime() const {
    const std::int64_t frame = MixFrame();
    return frame <= 0 ? Millis(0) : MillisOf(Frames(static_cast<std::uint64_t>(frame)), m_rate);
}

std::uint32_t LiveMix::MeterWindowFrames() const {
    return MeterFrames(m_rate);
}

std::uint32_t LiveMix::RampFrames() const {
    return std::max<std::uint32_t>(1, m_rate * kRampMs / 1000);
}

MeterSnapshot LiveMix::Meters() const {
    MeterSnapshot s;
    for (int i = 0; i <= kChannelCount; ++i) {
        const auto at = static_cast<std::size_t>(i);
        const LevelMeter m = Unpack(m_pubMinMax[at].load(std::memory_order_acquire),
                                    m_pubRms[at].load(std::memory_order_acquire));
        if (i < kChannelCount) {
            s.channels[at] = m;
        } else {
            s.master = m;
        }
    }
    s.blocks = m_pubBlocks.load(std::memory_order_acquire);
    return s;
}

std::uint64_t LiveMix::EventFrame(std::uint32_t ms) const {
    const std::uint64_t f = std::uint64_t{ms} * m_rate / 1000;
    return f / m_blockFrames * m_blockFrames;
}

// --- Audio thread: time ---------------------------------------------------------------

std::uint64_t LiveMix::E(std::uint64_t t) const {
    const std::uint64_t f = t * m_rateA / 1000;
    return f / m_blockFramesA * m_blockFramesA;
}

std::uint32_t LiveMix::SmallestTimeAtOrAfter(std::int64_t mixFrame) const {
    if (mixFrame <= 0) return 0;
    const auto m = static_cast<std::uint64_t>(mixFrame);
    std::uint64_t t = m * 1000 / m_rateA;
    while (E(t) < m)
        ++t;
    while (t > 0 && E(t - 1) >= m)
        --t;
    return static_cast<std::uint32_t>(t);
}

std::uint32_t LiveMix::LargestTimeAtOrBefore(std::int64_t mixFrame) const {
    if (mixFrame <= 0) return 0;
    const auto m = static_cast<std::uint64_t>(mixFrame);
    std::uint64_t t = m * 1000 / m_rateA + 1;
    while (t > 0 && E(t) > m)
        --t;
    while (E(t + 1) <= m)
        ++t;
    return static_cast<std::uint32_t>(t);
}

std::uint64_t LiveMix::ClockAt(std::uint64_t frame) const {
    const std::uint64_t since = frame >= m_clockOrigin ? frame - m_clockOrigin : 0;
    return m_period != 0 ? since % m_period : since;
}

void LiveMix::When(std::uint64_t first, std::uint64_t& frame, std::uint32_t& time) const {
    if (InTake()) {
        time = SmallestTimeAtOrAfter(static_cast<std::int64_t>(first) - m_origin);
        frame = static_cast<std::uint64_t>(m_origin + static_cast<std::int64_t>(E(time)));
    } else {
        frame = first;
        time = 0;
    }
}

bool LiveMix::Boundary(int ch, std::uint64_t first, Pending& p, audio::VoiceControl& voices) const {
    const Channel& c = m_channels[static_cast<std::size_t>(ch)];
    const std::uint32_t n = c.slot < 0 ? 0 : voices.VoiceFrames(c.slot);
    if (n == 0) return false;
    const bool record = m_mode == Mode::Recording;
    if (!m_clockRunning) {
        // Nothing to keep in time with: at once.
        When(first, p.frame, p.time);
        p.record = record;
        return true;
    }
    // The next frame at or after `from` where the clock is a multiple of n
    // (the clock's wrap counts as one too).
    const auto next = [&](std::uint64_t from) {
        const std::uint64_t clock = ClockAt(from);
        std::uint64_t distance = (n - clock % n) % n;
        if (m_period != 0 && m_period - clock < distance) distance = m_period - clock;
        return from + distance;
    };
    std::uint64_t b = next(first);
    if (!InTake()) {
        p.frame = b;
        p.time = 0;
        p.record = false;
        return true;
    }
    for (;;) {
        const std::uint32_t t = LargestTimeAtOrBefore(static_cast<std::int64_t>(b) - m_origin);
        const auto f = static_cast<std::uint64_t>(m_origin + static_cast<std::int64_t>(E(t)));
        if (f >= first) {
            p.frame = f;
            p.time = t;
            p.record = record;
            return true;
        }
        // That frame is already rendered: the following boundary serves.
        b = next(b + 1);
    }
}

// --- Audio thread: commands -----------------------------------------------------------

void LiveMix::BeginBlock(std::uint64_t frame, std::uint32_t /*frames*/,
                         audio::VoiceControl& voices) {
    m_blockFirst = frame;
    std::uint32_t head = m_cmdHead.load(std::memory_order_relaxed);
    const std::uint32_t tail = m_cmdTail.load(std::memory_order_acquire);
    std::uint32_t last = 0;
    for (; head != tail; ++head) {
        const Command& c = m_commands[head % kCommandCapacity];
        Take(c, frame, voices);
        last = c.seq;
    }
    m_cmdHead.store(head, std::memory_order_release);
    // Reported with the state at the block's end (Rendered).
    if (last != 0) m_lastTaken = last;
}

void LiveMix::Queue(const Action& a) {
    if (m_actionCount == kActionCapacity) return;  // cannot happen: the command ring is smaller
    // Sorted by frame; equal frames keep the order they came in.
    std::uint32_t at = m_actionCount;
    while (at > 0 && m_actions[at - 1].frame > a.frame) {
        m_actions[at] = m_actions[at - 1];
        --at;
    }
    m_actions[at] = a;
    ++m_actionCount;
}

void LiveMix::Take(const Command& c, std::uint64_t first, audio::VoiceControl& voices) {
    const int ch = c.channel;
    Channel& chan = m_channels[static_cast<std::size_t>(ch)];
    Action a;
    a.channel = c.channel;
    a.value = c.value;
    switch (c.kind) {
        case Command::kConfigure: {
            // A new rate or layout starts the meter afresh; a new tempo does not.
            const bool restart = m_rateA != static_cast<std::uint32_t>(c.value) ||
                                 m_outEightBit != c.flag || m_outChannels != c.outChannels ||
                                 m_outFrameBytes != c.outFrameBytes;
            m_rateA = static_cast<std::uint32_t>(c.value);
            m_blockFramesA = static_cast<std::uint32_t>(c.channel);
            m_period = c.frames;
            m_outEightBit = c.flag;
            m_outChannels = c.outChannels;
            m_outFrameBytes = c.outFrameBytes;
            if (restart) m_masterWindow.Reset(MeterFrames(m_rateA));
            return;
        }
        case Command::kEffect:
            chan.effect = c.flag;
            return;
        case Command::kHoldVolume:
            chan.heldVolume = c.flag;
            return;
        case Command::kHoldPan:
            chan.heldPan = c.flag;
            return;
        case Command::kHoldMaster:
            m_heldMaster = c.flag;
            return;
        case Command::kOn:
        case Command::kEffectOn:
        case Command::kOff:
            a.kind = c.kind == Command::kOff ? kChannelOff : kChannelOn;
            a.selfStop = c.kind == Command::kEffectOn;
            if (m_mode == Mode::Armed && a.kind == kChannelOn) {
                // The first switch-on of a recording: mix time 0.
                m_mode = Mode::Recording;
                m_origin = static_cast<std::int64_t>(first);
                m_takeStart = m_origin;
                m_clockRunning = true;
                m_clockOrigin = first;
            }
            When(first, a.frame, a.time);
            a.record = m_mode == Mode::Recording;
            Queue(a);
            return;
        case Command::kVolume:
        case Command::kPan:
        case Command::kMaster: {
            a.kind = c.kind == Command::kVolume ? kVolume
                     : c.kind == Command::kPan  ? kPan
                                                : kMasterVolume;
            const bool held = c.kind == Command::kVolume ? chan.heldVolume
                              : c.kind == Command::kPan  ? chan.heldPan
                                                         : m_heldMaster;
            When(first, a.frame, a.time);
            a.record = m_mode == Mode::Recording || m_mode == Mode::Armed ||
                       (m_mode == Mode::Playing && held);
            Queue(a);
            return;
        }
        case Command::kInTime: {
            if (chan.pending.active || chan.on == c.flag) return;
            Pending p;
            if (!Boundary(ch, first, p, voices)) return;
            p.active = true;
            p.on = c.flag;
            chan.pending = p;
            return;
        }
        case Command::kCancel:
            if (chan.pending.active) {
                chan.pending.active = false;
                LiveNotice n;
                n.kind = LiveNotice::kCancelled;
                n.channel = ch;
                Notify(n);
            }
            return;
        case Command::kRecord:
            StopEverything(first, 0, false, voices);
            m_mode = Mode::Armed;
            m_levels = c.setup->levels;
            for (int other = 0; other < kChannelCount; ++other) {
                const int slot = m_channels[static_cast<std::size_t>(other)].slot;
                if (slot >= 0) {
                    voices.SetVoiceLevels(slot, m_levels.Attenuation(other),
                                          m_levels.pan[static_cast<std::size_t>(other)]);
                }
            }
            return;
        case Command::kPlay: {
            const Setup& s = *c.setup;
            const bool fromStart = s.from == 0;
            // Channels sounding before a playback from the start stay on.
            if (!fromStart) StopEverything(first, 0, false, voices);
            m_actionCount = 0;
            m_mode = Mode::Playing;
            m_play = &s;
            m_takeStart = static_cast<std::int64_t>(first);
            m_cursor = s.start;
            m_origin = static_cast<std::int64_t>(first) - static_cast<std::int64_t>(E(s.from));
            m_clockRunning = true;
            m_clockOrigin = static_cast<std::uint64_t>(m_origin);
            m_heldMaster = false;
            for (Channel& other : m_channels) {
                other.heldVolume = false;
                other.heldPan = false;
            }
            if (fromStart) return;
            m_levels = s.levels;
            Voices v(*this, voices);
            for (int other = 0; other < kChannelCount; ++other) {
                const auto at = static_cast<std::size_t>(other);
                Channel& oc = m_channels[at];
                v.Levels(other, m_levels.Attenuation(other), m_levels.pan[at]);
                if (!s.on[at] || oc.slot < 0) continue;
                const std::uint32_t n = v.LoopFrames(other);
                if (n == 0) continue;
                // A loop in phase with the clock; an effect where it would
                // be since it started.
                const std::uint64_t here = E(s.from);
                const std::uint64_t start = oc.effect ? (here - E(s.onTime[at])) % n : here % n;
                voices.StartVoice(oc.slot, static_cast<std::uint32_t>(start),
                                  m_levels.Attenuation(other), m_levels.pan[at]);
                oc.on = true;
                LiveNotice note;
                note.kind = LiveNotice::kSwitched;
                note.channel = other;
                note.on = true;
                note.mixFrame = static_cast<std::int64_t>(here);
                Notify(note);
            }
            return;
        }
        case Command::kStop:
            if (InTake()) {
                a.kind = kStopTake;
                When(first, a.frame, a.time);
                a.record = m_mode == Mode::Recording;
                Queue(a);
            } else {
                StopEverything(first, 0, false, voices);
            }
            return;
    }
}

// --- Audio thread: sequencing ----------------------------------------------------------

std::uint32_t LiveMix::Sequence(std::uint64_t frame, std::uint32_t left,
                                audio::VoiceControl& voices) {
    Due(frame, voices);
    std::uint64_t next = frame + left;
    if (m_actionCount > 0) next = std::min(next, m_actions[0].frame);
    if (m_mode == Mode::Playing && m_play != nullptr && m_cursor < m_play->events.size()) {
        const std::int64_t at =
            m_origin + static_cast<std::int64_t>(E(m_play->events[m_cursor].time));
        next = std::min(next, static_cast<std::uint64_t>(std::max<std::int64_t>(at, 0)));
    }
    for (const Channel& c : m_channels) {
        if (c.pending.active) next = std::min(next, c.pending.frame);
    }
    return next > frame ? static_cast<std::uint32_t>(next - frame) : left;
}

void LiveMix::Due(std::uint64_t frame, audio::VoiceControl& voices) {
    // A recording that could not report what it records ends here, with
    // room left for its last switch-offs.
    if (m_mode == Mode::Recording) {
        const std::uint32_t used =
            m_noteTail.load(std::memory_order_relaxed) - m_noteHead.load(std::memory_order_acquire);
        if (kNoticeCapacity - used < kNoticeReserve) {
            std::uint64_t f;
            std::uint32_t t;
            When(frame, f, t);
            StopEverything(frame, t, true, voices);
            EndTake();
            LiveNotice n;
            n.kind = LiveNotice::kTakeEnded;
            Notify(n);
        }
    }
    // The commands' actions and the recorded events due now: levels first,
    // then switches, each in its own order.
    std::uint32_t due = 0;
    while (due < m_actionCount && m_actions[due].frame <= frame)
        ++due;
    std::size_t from = m_cursor;
    std::size_t to = from;
    if (m_mode == Mode::Playing && m_play != nullptr) {
        const auto& events = m_play->events;
        while (to < events.size() && m_origin + static_cast<std::int64_t>(E(events[to].time)) <=
                                         static_cast<std::int64_t>(frame)) {
            ++to;
        }
    }
    if (due > 0 || to > from) {
        // Taken off the queue first: an action may empty it (a take's stop).
        std::copy(m_actions.begin(), m_actions.begin() + due, m_firing.begin());
        std::copy(m_actions.begin() + due, m_actions.begin() + m_actionCount, m_actions.begin());
        m_actionCount -= due;
        const Setup* play = m_play;
        m_cursor = to;
        for (int pass = 0; pass < 2; ++pass) {
            const bool levels = pass == 0;
            m_quiet = true;  // the recorded events are reported below, in their order
            for (std::size_t i = from; i < to && play != nullptr; ++i) {
                if (IsLevelKind(play->events[i].kind) == levels) {
                    ApplyEvent(play->events[i], frame, voices);
                }
            }
            m_quiet = false;
            for (std::uint32_t i = 0; i < due; ++i) {
                if (IsLevelKind(m_firing[i].kind) == levels) ApplyAction(m_firing[i], voices);
            }
        }
        for (std::size_t i = from; i < to && play != nullptr; ++i)
            ReportEvent(play->events[i], frame);
    }
    // In-time switches and effects' self-stops.
    for (int ch = 0; ch < kChannelCount; ++ch) {
        Pending& p = m_channels[static_cast<std::size_t>(ch)].pending;
        if (!p.active || p.frame > frame) continue;
        const Pending fire = p;
        p.active = false;
        if (fire.on) {
            SwitchOnAt(ch, fire.frame, fire.time, fire.record, false, true, voices);
        } else {
            SwitchOffAt(ch, fire.frame, fire.time, fire.record, true, voices);
        }
    }
    if (m_mode == Mode::Playing && m_play != nullptr && m_cursor >= m_play->events.size()) {
        StopEverything(frame, 0, false, voices);
        EndTake();
        LiveNotice n;
        n.kind = LiveNotice::kPlaybackEnded;
        Notify(n);
    }
}

void LiveMix::ApplyAction(const Action& a, audio::VoiceControl& voices) {
    switch (a.kind) {
        case kChannelOn:
            SwitchOnAt(a.channel, a.frame, a.time, a.record, a.selfStop, false, voices);
            break;
        case kChannelOff:
            SwitchOffAt(a.channel, a.frame, a.time, a.record, false, voices);
            break;
        case kVolume:
        case kPan:
        case kMasterVolume:
            Level(a.kind, a.channel, a.value, a.frame, a.time, a.record, voices);
            break;
        case kStopTake:
            StopEverything(a.frame, a.time, a.record, voices);
            EndTake();
            break;
        default:
            break;
    }
}

bool LiveMix::Held(const MixEvent& e) const {
    if (e.channel >= static_cast<std::uint32_t>(kChannelCount)) return false;
    const Channel& c = m_channels[e.channel];
    return (e.kind == kVolume && c.heldVolume) || (e.kind == kPan && c.heldPan) ||
           (e.kind == kMasterVolume && m_heldMaster);
}

void LiveMix::ApplyEvent(const MixEvent& e, std::uint64_t frame, audio::VoiceControl& voices) {
    // A held control is the user's: the recorded value gives way.
    if (e.channel >= static_cast<std::uint32_t>(kChannelCount) || Held(e)) return;
    const int ch = static_cast<int>(e.channel);
    if (e.kind == kChannelOn) {
        SwitchOnAt(ch, frame, e.time, false, false, false, voices);
    } else if (e.kind == kChannelOff) {
        SwitchOffAt(ch, frame, e.time, false, false, voices);
    } else {
        Voices v(*this, voices);
        ApplyMixEvent(e, ClockAt(frame), m_levels, v);
    }
}

void LiveMix::ReportEvent(const MixEvent& e, std::uint64_t frame) {
    if (e.channel >= static_cast<std::uint32_t>(kChannelCount)) return;
    LiveNotice n;
    n.channel = static_cast<int>(e.channel);
    n.event = e;
    n.mixFrame = static_cast<std::int64_t>(frame) - m_origin;
    n.kind = Held(e) ? LiveNotice::kDropped : LiveNotice::kPlayed;
    Notify(n);
    if (n.kind == LiveNotice::kPlayed && (e.kind == kChannelOn || e.kind == kChannelOff)) {
        n.kind = LiveNotice::kSwitched;
        n.on = e.kind == kChannelOn;
        Notify(n);
    }
}

void LiveMix::ReportSwitch(const MixEvent& e, std::uint64_t frame, bool record, bool inTime) {
    LiveNotice note;
    note.channel = static_cast<int>(e.channel);
    note.event = e;
    note.mixFrame = static_cast<std::int64_t>(frame) - (InTake() ? m_origin : 0);
    if (record) {
        note.kind = LiveNotice::kRecorded;
        Notify(note);
    }
    note.kind = LiveNotice::kSwitched;
    note.on = e.kind == kChannelOn;
    note.inTime = inTime;
    if (!m_quiet) Notify(note);
}

void LiveMix::SwitchOnAt(int ch, std::uint64_t frame, std::uint32_t time, bool record,
                         bool selfStop, bool inTime, audio::VoiceControl& voices) {
    Channel& c = m_channels[static_cast<std::size_t>(ch)];
    Voices v(*this, voices);
    const std::uint32_t n = v.LoopFrames(ch);
    if (n == 0) return;
    if (!m_clockRunning) {
        m_clockRunning = true;
        m_clockOrigin = frame;
    }
    const MixEvent e{time, kChannelOn, static_cast<std::uint32_t>(ch), 0, 0};
    ApplyMixEvent(e, ClockAt(frame), m_levels, v);
    c.on = true;
    ReportSwitch(e, frame, record, inTime);
    if (selfStop) {
        // The effect stops itself when its prepared length has played.
        Pending p;
        p.active = true;
        p.on = false;
        p.selfStop = true;
        p.frame = frame + n;
        p.record = m_mode == Mode::Recording;
        if (InTake()) {
            p.time = LargestTimeAtOrBefore(static_cast<std::int64_t>(p.frame) - m_origin);
            p.frame = static_cast<std::uint64_t>(m_origin + static_cast<std::int64_t>(E(p.time)));
        }
        c.pending = p;
    }
}

void LiveMix::SwitchOffAt(int ch, std::uint64_t frame, std::uint32_t time, bool record, bool inTime,
                          audio::VoiceControl& voices) {
    Channel& c = m_channels[static_cast<std::size_t>(ch)];
    if (!c.on) return;
    Voices v(*this, voices);
    const MixEvent e{time, kChannelOff, static_cast<std::uint32_t>(ch), 0, 0};
    ApplyMixEvent(e, ClockAt(frame), m_levels, v);
    c.on = false;
    ReportSwitch(e, frame, record, inTime);
    if (c.pending.active && c.pending.selfStop) {
        // Switched off by hand before its self-stop: nothing is left to stop.
        c.pending.active = false;
        LiveNotice cancelled;
        cancelled.kind = LiveNotice::kCancelled;
        cancelled.channel = ch;
        Notify(cancelled);
    }
    if (m_mode == Mode::Idle) {
        bool any = false;
        for (const Channel& other : m_channels)
            any = any || other.on;
        if (!any) m_clockRunning = false;
    }
}

void LiveMix::Level(std::uint32_t kind, int ch, std::int32_t value, std::uint64_t frame,
                    std::uint32_t time, bool record, audio::VoiceControl& voices) {
    const MixEvent e{time, kind, kind == kMasterVolume ? 0u : static_cast<std::uint32_t>(ch),
                     static_cast<std::uint32_t>(value), 0};
    Voices v(*this, voices);
    ApplyMixEvent(e, ClockAt(frame), m_levels, v);
    if (!record) return;
    LiveNotice n;
    n.kind = LiveNotice::kRecorded;
    n.channel = static_cast<int>(e.channel);
    n.event = e;
    n.mixFrame = static_cast<std::int64_t>(frame) - (InTake() ? m_origin : 0);
    Notify(n);
}

void LiveMix::StopEverything(std::uint64_t frame, std::uint32_t time, bool record,
                             audio::VoiceControl& voices) {
    for (int ch = 0; ch < kChannelCount; ++ch) {
        Channel& c = m_channels[static_cast<std::size_t>(ch)];
        if (c.pending.active) {
            c.pending.active = false;
            LiveNotice n;
            n.kind = LiveNotice::kCancelled;
            n.channel = ch;
            Notify(n);
        }
        SwitchOffAt(ch, frame, time, record, false, voices);
        // A voice started outside the live mix's knowledge stops too.
        if (c.slot >= 0) voices.StopVoice(c.slot);
    }
    m_actionCount = 0;
}

void LiveMix::EndTake() {
    m_mode = Mode::Idle;
    m_play = nullptr;
    m_clockRunning = false;
}

bool LiveMix::Notify(const LiveNotice& n) {
    const std::uint32_t tail = m_noteTail.load(std::memory_order_relaxed);
    if (tail - m_noteHead.load(std::memory_order_acquire) >= kNoticeCapacity) return false;
    m_notices[tail % kNoticeCapacity] = n;
    m_noteTail.store(tail + 1, std::memory_order_release);
    return true;
}

void LiveMix::Rendered(std::uint64_t frame, const std::uint8_t* out, std::uint32_t frames,
                       const audio::SlotMeter* meters) {
    // Channel meters from the engine's per-slot levels.
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const auto at = static_cast<std::size_t>(ch);
        const int slot = m_channels[at].slot;
        LevelMeter m;
        if (slot >= 0) {
            const audio::SlotMeter& s = meters[slot];
            m = {Clamp16(s.minLeft),
                 Clamp16(s.maxLeft),
                 Clamp16(s.minRight),
                 Clamp16(s.maxRight),
                 Rms(s.sumSquaresLeft, frames),
                 Rms(s.sumSquaresRight, frames)};
        }
        m_pubMinMax[at].store(PackMinMax(m), std::memory_order_release);
        m_pubRms[at].store(std::uint32_t{m.rmsLeft} | std::uint32_t{m.rmsRight} << 16,
                           std::memory_order_release);
    }
    // The master from the output itself, over the sliding window.
    if (out != nullptr && m_outFrameBytes != 0) {
        for (std::uint32_t k = 0; k < frames; ++k) {
            const std::uint8_t* f = out + std::size_t{k} * m_outFrameBytes;
            int v[2];
            for (std::uint32_t c = 0; c < 2; ++c) {
                const std::uint32_t src = m_outChannels == 2 ? c : 0;
                if (m_outEightBit) {
                    v[c] = (static_cast<int>(f[src]) - 128) * 256;
                } else {
                    std::int16_t s;
                    std::memcpy(&s, f + src * 2, 2);
                    v[c] = s;
                }
            }
            m_masterWindow.Add(v[0], v[1]);
        }
    }
    const MeterWindow& w = m_masterWindow;
    const LevelMeter master = {Clamp16(w.Min(0)), Clamp16(w.Max(0)), Clamp16(w.Min(1)),
                               Clamp16(w.Max(1)), w.Rms(0),          w.Rms(1)};
    m_pubMinMax[kChannelCount].store(PackMinMax(master), std::memory_order_release);
    m_pubRms[kChannelCount].store(
        std::uint32_t{master.rmsLeft} | std::uint32_t{master.rmsRight} << 16,
        std::memory_order_release);
    m_pubBlocks.fetch_add(1, std::memory_order_acq_rel);
    m_blockEnd = frame + frames;
    PublishState();
    m_pubApplied.store(m_lastTaken, std::memory_order_release);
}

void LiveMix::PublishState() {
    std::uint32_t on = 0;
    std::uint32_t pending = 0;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const Channel& c = m_channels[static_cast<std::size_t>(ch)];
        if (c.on) on |= 1u << ch;
        if (c.pending.active) pending |= 1u << ch;
    }
    m_pubOn.store(on, std::memory_order_release);
    m_pubPending.store(pending, std::memory_order_release);
    m_pubMode.store(static_cast<std::uint8_t>(m_mode), std::memory_order_release);
    // Positions as of the end of the block just rendered.
    const std::uint64_t end = m_blockEnd;
    m_pubClock.store(m_clockRunning ? (ClockAt(end) | kClockRunningBit) : 0,
                     std::memory_order_release);
    m_pubTakeStart.store(m_takeStart, std::memory_order_release);
    m_pubMixFrame.store(InTake() ? static_cast<std::int64_t>(end) - m_origin : 0,
                        std::memory_order_release);
}

}  // namespace tamboro::engine
