// Live mix: switching channels in phase with the tempo clock, levels, and
// recording and playing back the mix as timed events.
#include <algorithm>

#include "engine/Song.h"

namespace tamboro::engine {
namespace {

constexpr int kUnchanged = audio::OutputDeviceInterface::kUnchanged;

int ClampVolume(int v) {
    return std::clamp(v, -10000, 0);
}
int ClampPan(int p) {
    return std::clamp(p, -10000, 10000);
}

}  // namespace

// --- Levels --------------------------------------------------------------------------

int Song::EffectiveLevel(int ch) const {
    const int level = m_volume[ch] + m_masterVolume;
    return level < -9999 ? -10000 : level;
}

std::uint32_t Song::MixClock() const {
    // Before the first channel of a recording starts, the mix clock has not
    // started either: what the user does then counts as time 0.
    if (m_mixMode == MixMode::Recording && !m_recordingStarted) return 0;
    return m_scheduler->Elapsed(m_mixClock);
}

void Song::Record(int ch, std::uint32_t kind, std::uint32_t channel, std::uint32_t value) {
    const auto node = InsertEvent(m_events[ch], {MixClock(), kind, channel, value, 0});
    if (m_mixMode == MixMode::Playing) m_handRecorded[ch].push_back(&*node);
}

void Song::SetChannelVolume(int ch, int volume) {
    if (!ValidChannel(ch) || m_device == nullptr) return;
    m_volume[ch] = ClampVolume(volume);
    if (m_mixMode == MixMode::Recording || (m_mixMode == MixMode::Playing && m_volumeHeld[ch])) {
        Record(ch, kVolume, static_cast<std::uint32_t>(ch),
               static_cast<std::uint32_t>(m_volume[ch]));
    }
    if (m_voice[ch] != kNoVoice)
        m_device->SetVolume(static_cast<int>(m_voice[ch]), EffectiveLevel(ch));
}

int Song::GetChannelVolume(int ch) const {
    return ValidChannel(ch) && m_device != nullptr ? m_volume[ch] : 0;
}

void Song::SetChannelPan(int ch, int pan) {
    if (!ValidChannel(ch) || m_device == nullptr) return;
    m_pan[ch] = ClampPan(pan);
    if (m_mixMode == MixMode::Recording || (m_mixMode == MixMode::Playing && m_panHeld[ch])) {
        Record(ch, kPan, static_cast<std::uint32_t>(ch), static_cast<std::uint32_t>(m_pan[ch]));
    }
    if (m_voice[ch] != kNoVoice) m_device->SetPan(static_cast<int>(m_voice[ch]), m_pan[ch]);
}

int Song::GetChannelPan(int ch) const {
    return ValidChannel(ch) && m_device != nullptr ? m_pan[ch] : 0;
}

void Song::SetMasterVolume(int volume) {
    if (m_device == nullptr) return;
    m_masterVolume = ClampVolume(volume);
    if (m_mixMode == MixMode::Recording || (m_mixMode == MixMode::Playing && m_masterHeld)) {
        Record(0, kMasterVolume, 0, static_cast<std::uint32_t>(m_masterVolume));
    }
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if (m_voice[ch] != kNoVoice) {
            m_device->SetVolume(static_cast<int>(m_voice[ch]), EffectiveLevel(ch));
        }
    }
}

void Song::SetInitialVolume(int ch, int volume) {
    if (ValidChannel(ch)) m_initialVolume[ch] = ClampVolume(volume);
}

int Song::GetInitialVolume(int ch) const {
    return ValidChannel(ch) && m_device != nullptr ? m_initialVolume[ch] : 0;
}

void Song::SetInitialPan(int ch, int pan) {
    if (ValidChannel(ch)) m_initialPan[ch] = ClampPan(pan);
}

int Song::GetInitialPan(int ch) const {
    return ValidChannel(ch) && m_device != nullptr ? m_initialPan[ch] : 0;
}

void Song::SetInitialMasterVolume(int volume) {
    m_initialMasterVolume = ClampVolume(volume);
}

void Song::SetVolumeHeld(int ch, bool held) {
    if (ValidChannel(ch)) m_volumeHeld[ch] = held;
}
bool Song::IsVolumeHeld(int ch) const {
    return ValidChannel(ch) && m_volumeHeld[ch];
}
void Song::SetPanHeld(int ch, bool held) {
    if (ValidChannel(ch)) m_panHeld[ch] = held;
}
bool Song::IsPanHeld(int ch) const {
    return ValidChannel(ch) && m_panHeld[ch];
}

// --- Switching ---------------------------------------------------------------------------

int Song::StartTempoClock(std::uint32_t ms) {
    if (m_device == nullptr || m_clockVoice == kNoVoice) return ToInt(SongResult::NoDevice);
    const int clock = static_cast<int>(m_clockVoice);
    const std::uint64_t bytesPerSecond =
        std::uint64_t{m_device->GetBytesPerFrame(clock)} * m_device->GetRate(clock);
    const std::uint32_t length = m_device->GetDataBytes(clock);
    std::uint64_t position = bytesPerSecond * ms / 1000;
    if (length != 0) position %= length;
    m_device->Play(clock, static_cast<std::int32_t>(position), kUnchanged, kUnchanged, kUnchanged,
                   1);
    return ToInt(SongResult::Ok);
}

void Song::StopTempoClock() {
    if (m_device != nullptr && m_clockVoice != kNoVoice) {
        m_device->Stop(static_cast<int>(m_clockVoice));
    }
}

int Song::SwitchChannelOn(int ch) {
    if (!ValidChannel(ch)) return ToInt(SongResult::BadArgument);
    if (m_device == nullptr || m_voice[ch] == kNoVoice ||
        !m_device->IsLoaded(static_cast<int>(m_voice[ch]))) {
        return ToInt(SongResult::NoDevice);
    }
    if (m_mixMode == MixMode::Recording) {
        if (!m_recordingStarted) {
            StartTempoClock(0);
            m_recordingStarted = true;
            m_scheduler->Restart(m_mixClock);
        }
        Record(ch, kChannelOn, static_cast<std::uint32_t>(ch), 0);
    } else if (m_mixMode != MixMode::Playing && PlayingCount() == 0) {
        StartTempoClock(0);
    }
    const int slot = static_cast<int>(m_voice[ch]);
    std::uint32_t start = 0;
    if ((m_flags[ch] & kEffect) == 0) {
        const std::uint32_t length = m_device->GetDataBytes(slot);
        const std::uint32_t clock = m_device->GetPosition(static_cast<int>(m_clockVoice));
        start = length != 0 ? clock % length : 0;
    }
    m_device->Play(slot, static_cast<std::int32_t>(start), m_pan[ch], EffectiveLevel(ch),
                   kUnchanged, 1);
    return ToInt(SongResult::Ok);
}

int Song::SwitchChannelOff(int ch) {
    if (m_device == nullptr) return ToInt(SongResult::NoDevice);
    if (!ValidChannel(ch)) return ToInt(SongResult::BadArgument);
    if (!IsChannelPlaying(ch)) return ToInt(SongResult::Ok);
    m_device->Stop(static_cast<int>(m_voice[ch]));
    if (m_mixMode == MixMode::Recording) {
        Record(ch, kChannelOff, static_cast<std::uint32_t>(ch), 0);
        return ToInt(SongResult::Ok);
    }
    if (m_mixMode == MixMode::Playing) return ToInt(SongResult::Ok);
    if (PlayingCount() == 0) StopTempoClock();
    return ToInt(SongResult::Ok);
}

int Song::IsChannelPlaying(int ch) const {
    if (!ValidChannel(ch) || m_device == nullptr || m_voice[ch] == kNoVoice) return 0;
    return m_device->IsPlaying(static_cast<int>(m_voice[ch])) ? 1 : 0;
}

int Song::PlayingCount() const {
    int count = 0;
    for (int ch = 0; ch < kChannelCount; ++ch)
        count += IsChannelPlaying(ch);
    return count;
}

std::uint32_t Song::ChannelPosition(int ch) const {
    if (!ValidChannel(ch) || m_device == nullptr || m_voice[ch] == kNoVoice) return 0;
    const int slot = static_cast<int>(m_voice[ch]);
    const std::uint32_t bytesPerFrame = m_device->GetBytesPerFrame(slot);
    return bytesPerFrame < 1 ? 0 : m_device->GetPosition(slot) / bytesPerFrame;
}

std::uint32_t Song::TimeToLoopStart(int ch) const {
    if (!ValidChannel(ch) || m_device == nullptr || m_voice[ch] == kNoVoice ||
        m_clockVoice == kNoVoice) {
        return 0;
    }
    const int slot = static_cast<int>(m_voice[ch]);
    const int clock = static_cast<int>(m_clockVoice);
    const std::uint32_t length = m_device->GetDataBytes(slot);
    const std::uint32_t rate = m_device->GetRate(slot);
    const std::uint32_t bytesPerFrame = m_device->GetBytesPerFrame(slot);
    if (!m_device->IsLoaded(slot) || length == 0 || rate == 0 || bytesPerFrame == 0 ||
        !m_device->IsPlaying(clock)) {
        return 0;
    }
    std::uint32_t r = m_device->GetPosition(clock) % length;
    if (r != 0) r = length - r;
    return static_cast<std::uint32_t>(std::uint64_t{r} * 1000 / rate / bytesPerFrame);
}

// --- Recording and playback ----------------------------------------------------------

int Song::StartRecording() {
    if (m_mixMode != MixMode::Ready) return ToInt(SongResult::WrongMode);
    StopMix();
    m_mixMode = MixMode::Recording;
    m_recordingStarted = false;
    for (auto& list : m_events)
        list.clear();
    InsertEvent(m_events[0],
                {0, kMasterVolume, 0, static_cast<std::uint32_t>(m_initialMasterVolume), 0});
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if ((m_flags[ch] & kLoaded) == 0) continue;
        const auto channel = static_cast<std::uint32_t>(ch);
        InsertEvent(m_events[ch],
                    {0, kVolume, channel, static_cast<std::uint32_t>(m_initialVolume[ch]), 0});
        InsertEvent(m_events[ch],
                    {0, kPan, channel, static_cast<std::uint32_t>(m_initialPan[ch]), 0});
    }
    return ToInt(SongResult::Ok);
}

int Song::StopMix() {
    if (m_mixMode == MixMode::NoSong) return ToInt(SongResult::Ok);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        SwitchChannelOff(ch);
        m_cursor[ch] = m_events[ch].end();
        m_handRecorded[ch].clear();
    }
    m_scheduler->CancelAll();
    m_callback->RemovePosted(kMsgApplyEvents, kMsgApplyEvents);
    m_mixMode = MixMode::Ready;
    m_recordingStarted = false;
    StopTempoClock();
    return ToInt(SongResult::Ok);
}

std::uint32_t Song::PlaybackTime() const {
    return m_mixMode == MixMode::Playing ? m_scheduler->Elapsed(m_mixClock) : 0;
}

std::uint32_t Song::RecordingTime() const {
    return m_mixMode == MixMode::Recording && m_recordingStarted ? m_scheduler->Elapsed(m_mixClock)
                                                                 : 0;
}

int Song::ClearEvents(int ch, std::uint32_t kindMask) {
    if (!ValidChannel(ch)) return ToInt(SongResult::BadArgument);
    auto& list = m_events[ch];
    for (auto it = list.begin(); it != list.end();) {
        if ((it->kind & kindMask) == 0) {
            ++it;
            continue;
        }
        if (m_cursor[ch] == it) ++m_cursor[ch];
        std::erase(m_handRecorded[ch], &*it);
        it = list.erase(it);
    }
    return ToInt(SongResult::Ok);
}

int Song::StartPlayback(platform::MessageTarget* notify, std::uint32_t notifyMessage,
                        std::uint32_t startMs) {
    if (m_mixMode != MixMode::Ready) return ToInt(SongResult::WrongMode);

    // Where each channel stands at startMs: the next event to apply, the
    // levels last set before it, and whether the channel is on then.
    struct Found {
        const MixEvent* master = nullptr;
        const MixEvent* volume = nullptr;
        const MixEvent* pan = nullptr;
        bool onAtStart = false;
    };
    std::array<Found, kChannelCount> found;
    bool any = false;
    for (auto& hand : m_handRecorded)
        hand.clear();
    for (int ch = 0; ch < kChannelCount; ++ch) {
        auto& list = m_events[ch];
        auto cursor = std::find_if(list.begin(), list.end(),
                                   [&](const MixEvent& e) { return e.time >= startMs; });
        m_cursor[ch] = cursor;
        if (cursor == list.end()) continue;
        any = true;
        if (startMs == 0) continue;
        for (auto it = cursor; it != list.begin();) {
            --it;
            if (it->kind == kMasterVolume && found[ch].master == nullptr) found[ch].master = &*it;
            if (it->kind == kVolume && found[ch].volume == nullptr) found[ch].volume = &*it;
            if (it->kind == kPan && found[ch].pan == nullptr) found[ch].pan = &*it;
        }
        auto onOff = std::find_if(cursor, list.end(),
                                  [](const MixEvent& e) { return (e.kind & kOnOffKinds) != 0; });
        found[ch].onAtStart = onOff != list.end() && onOff->kind == kChannelOff;
    }
    if (!any) {
        for (int ch = 0; ch < kChannelCount; ++ch)
            m_cursor[ch] = m_events[ch].end();
        return ToInt(SongResult::Ok);
    }

    m_mixMode = MixMode::Playing;
    StartTempoClock(startMs);
    m_scheduler->SetElapsed(m_mixClock, startMs);
    m_masterHeld = false;
    m_notify = notify;
    m_notifyMessage = notifyMessage;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        m_volumeHeld[ch] = false;
        m_panHeld[ch] = false;
        if (startMs > 0) {
            if (found[ch].master) SetMasterVolume(static_cast<int>(found[ch].master->value));
            if (found[ch].volume) SetChannelVolume(ch, static_cast<int>(found[ch].volume->value));
            if (found[ch].pan) SetChannelPan(ch, static_cast<int>(found[ch].pan->value));
            if (found[ch].onAtStart) SwitchChannelOn(ch);
        }
        if (HasCursor(ch)) ScheduleApply(ch);
    }
    return ToInt(SongResult::Ok);
}

void Song::ScheduleApply(int ch) {
    const std::uint32_t now = m_scheduler->Elapsed(m_mixClock);
    const std::uint32_t due = m_cursor[ch]->time;
    if (due <= now) {
        m_callback->Post(kMsgApplyEvents, static_cast<platform::WParam>(ch), 0);
    } else {
        m_scheduler->PostAfter(m_callback.get(), kMsgApplyEvents, static_cast<platform::WParam>(ch),
                               0, due - now);
    }
}

platform::LParam Song::OnCallbackMessage(std::uint32_t message, platform::WParam w,
                                         platform::LParam /*l*/) {
    if (message != kMsgApplyEvents || w >= static_cast<platform::WParam>(kChannelCount)) return 0;
    ApplyDueEvents(static_cast<int>(w));
    return 0;
}

void Song::ApplyDueEvents(int ch) {
    if (m_mixMode != MixMode::Playing || !HasCursor(ch)) return;
    auto& list = m_events[ch];
    for (;;) {
        const auto node = m_cursor[ch];
        const MixEvent event = *node;
        bool held = false;
        switch (event.kind) {
            case kChannelOn:
                SwitchChannelOn(ch);
                break;
            case kChannelOff:
                SwitchChannelOff(ch);
                break;
            case kVolume:
                held = m_volumeHeld[ch];
                if (!held) SetChannelVolume(ch, static_cast<int>(event.value));
                break;
            case kPan:
                held = m_panHeld[ch];
                if (!held) SetChannelPan(ch, static_cast<int>(event.value));
                break;
            case kMasterVolume:
                held = m_masterHeld;
                if (!held) SetMasterVolume(static_cast<int>(event.value));
                break;
            default:
                break;
        }
        if (m_notify != nullptr) {
            m_notify->Send(m_notifyMessage, static_cast<platform::WParam>(ch),
                           reinterpret_cast<platform::LParam>(&*node));
            // The receiver may have stopped the mix.
            if (m_mixMode != MixMode::Playing) return;
        }
        ++m_cursor[ch];
        // A held control's recorded value gives way to what the user sets;
        // the setter records that in its place (and that one stays).
        const auto& hand = m_handRecorded[ch];
        if (held && std::find(hand.begin(), hand.end(), &*node) == hand.end()) list.erase(node);
        if (!HasCursor(ch) || m_cursor[ch]->time > m_scheduler->Elapsed(m_mixClock)) break;
    }
    if (HasCursor(ch)) {
        ScheduleApply(ch);
        return;
    }
    for (int other = 0; other < kChannelCount; ++other) {
        if (HasCursor(other)) return;
    }
    platform::MessageTarget* notify = m_notify;
    const std::uint32_t notifyMessage = m_notifyMessage;
    StopMix();
    m_notify = nullptr;
    if (notify != nullptr) notify->Send(notifyMessage, 0, 0);
}

}  // namespace tamboro::engine
