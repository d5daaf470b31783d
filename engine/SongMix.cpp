// Live mix on the song: levels, switches, recording and playback, carried
// out by the live mix in the audio thread (engine/LiveMix.h).
#include <algorithm>

#include "engine/LoopFitting.h"
#include "engine/Song.h"

namespace tamboro::engine {
namespace {

int ClampVolume(int v) {
    return std::clamp(v, -10000, 0);
}
int ClampPan(int p) {
    return std::clamp(p, -10000, 10000);
}

}  // namespace

// --- Levels --------------------------------------------------------------------------

void Song::SetChannelVolume(int ch, int volume) {
    if (!ValidChannel(ch) || m_device == nullptr) return;
    m_volume[ch] = ClampVolume(volume);
    m_live->SetVolume(ch, m_volume[ch]);
}

int Song::GetChannelVolume(int ch) const {
    return ValidChannel(ch) && m_device != nullptr ? m_volume[ch] : 0;
}

void Song::SetChannelPan(int ch, int pan) {
    if (!ValidChannel(ch) || m_device == nullptr) return;
    m_pan[ch] = ClampPan(pan);
    m_live->SetPan(ch, m_pan[ch]);
}

int Song::GetChannelPan(int ch) const {
    return ValidChannel(ch) && m_device != nullptr ? m_pan[ch] : 0;
}

void Song::SetMasterVolume(int volume) {
    if (m_device == nullptr) return;
    m_masterVolume = ClampVolume(volume);
    m_live->SetMaster(m_masterVolume);
}

void Song::SetInitialVolume(int ch, int volume) {
    if (ValidChannel(ch)) m_doc.channels[ch].initialVolume = ClampVolume(volume);
}

int Song::GetInitialVolume(int ch) const {
    return ValidChannel(ch) && m_device != nullptr ? m_doc.channels[ch].initialVolume : 0;
}

void Song::SetInitialPan(int ch, int pan) {
    if (ValidChannel(ch)) m_doc.channels[ch].initialPan = ClampPan(pan);
}

int Song::GetInitialPan(int ch) const {
    return ValidChannel(ch) && m_device != nullptr ? m_doc.channels[ch].initialPan : 0;
}

void Song::SetInitialMasterVolume(int volume) {
    m_doc.initialMasterVolume = ClampVolume(volume);
}

void Song::SetVolumeHeld(int ch, bool held) {
    if (!ValidChannel(ch)) return;
    m_volumeHeld[ch] = held;
    m_live->SetVolumeHeld(ch, held);
}
bool Song::IsVolumeHeld(int ch) const {
    return ValidChannel(ch) && m_volumeHeld[ch];
}
void Song::SetPanHeld(int ch, bool held) {
    if (!ValidChannel(ch)) return;
    m_panHeld[ch] = held;
    m_live->SetPanHeld(ch, held);
}
bool Song::IsPanHeld(int ch) const {
    return ValidChannel(ch) && m_panHeld[ch];
}
void Song::SetMasterHeld(bool held) {
    m_masterHeld = held;
    m_live->SetMasterHeld(held);
}

// --- Switching ---------------------------------------------------------------------------

bool Song::LiveReady(int ch) const {
    return m_device != nullptr && m_live->Attached() && m_voice[ch] != kNoVoice &&
           m_device->IsLoaded(static_cast<int>(m_voice[ch])) != 0;
}

SongResult Song::SwitchChannelOn(int ch) {
    if (!ValidChannel(ch)) return SongResult::BadArgument;
    if (!LiveReady(ch) || !m_live->SwitchOn(ch)) return SongResult::NoDevice;
    return SongResult::Ok;
}

SongResult Song::SwitchChannelOff(int ch) {
    if (m_device == nullptr) return SongResult::NoDevice;
    if (!ValidChannel(ch)) return SongResult::BadArgument;
    if (!m_live->Attached()) return SongResult::NoDevice;
    m_live->SwitchOff(ch);
    return SongResult::Ok;
}

SongResult Song::SwitchChannelInTime(int ch, bool on) {
    if (!ValidChannel(ch)) return SongResult::BadArgument;
    if (!LiveReady(ch) || !m_live->SwitchInTime(ch, on)) return SongResult::NoDevice;
    return SongResult::Ok;
}

SongResult Song::CancelChannelInTime(int ch) {
    if (!ValidChannel(ch)) return SongResult::BadArgument;
    if (m_device == nullptr || !m_live->CancelInTime(ch)) return SongResult::NoDevice;
    return SongResult::Ok;
}

SongResult Song::SwitchEffectOn(int ch) {
    if (!ValidChannel(ch)) return SongResult::BadArgument;
    if (!LiveReady(ch) || !m_live->SwitchEffectOn(ch)) return SongResult::NoDevice;
    return SongResult::Ok;
}

bool Song::IsChannelPlaying(int ch) const {
    return ValidChannel(ch) && m_device != nullptr && m_live->IsChannelOn(ch);
}

bool Song::IsSwitchPending(int ch) const {
    return ValidChannel(ch) && m_device != nullptr && m_live->IsPending(ch);
}

int Song::PlayingCount() const {
    return m_device != nullptr ? m_live->OnCount() : 0;
}

std::uint32_t Song::ChannelPosition(int ch) const {
    if (!ValidChannel(ch) || m_device == nullptr || m_voice[ch] == kNoVoice) return 0;
    const int slot = static_cast<int>(m_voice[ch]);
    const std::uint32_t bytesPerFrame = m_device->GetBytesPerFrame(slot);
    return bytesPerFrame < 1 ? 0 : m_device->GetPosition(slot) / bytesPerFrame;
}

std::uint32_t Song::TimeToLoopStart(int ch) const {
    if (!ValidChannel(ch) || m_device == nullptr || m_voice[ch] == kNoVoice ||
        !m_live->ClockRunning()) {
        return 0;
    }
    const int slot = static_cast<int>(m_voice[ch]);
    const std::uint32_t frames = m_device->GetFrameCount(slot);
    const std::uint32_t rate = m_live->Rate();
    if (m_device->IsLoaded(slot) == 0 || frames == 0 || rate == 0) return 0;
    std::uint64_t r = ClockPosition().count % frames;
    if (r != 0) r = frames - r;
    return static_cast<std::uint32_t>(r * 1000 / rate);
}

Frames Song::ClockPeriod() const {
    return m_clockPeriod;
}

Frames Song::ClockPosition() const {
    return m_live->ClockPosition();
}

MeterSnapshot Song::Meters() const {
    return m_live->Meters();
}

// --- Recording and playback ----------------------------------------------------------

SongResult Song::StartRecording() {
    if (m_mixMode != MixMode::Ready) return SongResult::WrongMode;
    if (m_device == nullptr || !m_live->Attached()) return SongResult::NoDevice;
    for (ChannelDoc& c : m_doc.channels)
        c.events.clear();
    InsertEvent(m_doc.channels[0].events,
                {0, kMasterVolume, 0, static_cast<std::uint32_t>(m_doc.initialMasterVolume), 0});
    // The live levels become the ones recorded at time 0.
    MixLevels levels;
    levels.master = m_doc.initialMasterVolume;
    m_masterVolume = levels.master;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        ChannelDoc& c = m_doc.channels[ch];
        levels.volume[ch] = c.initialVolume;
        levels.pan[ch] = c.initialPan;
        m_volume[ch] = c.initialVolume;
        m_pan[ch] = c.initialPan;
        if (!c.IsLoaded()) continue;
        const auto channel = static_cast<std::uint32_t>(ch);
        InsertEvent(c.events,
                    {0, kVolume, channel, static_cast<std::uint32_t>(c.initialVolume), 0});
        InsertEvent(c.events, {0, kPan, channel, static_cast<std::uint32_t>(c.initialPan), 0});
    }
    if (!m_live->StartRecording(levels)) return SongResult::NoDevice;
    m_mixMode = MixMode::Recording;
    m_takeToSettle = true;
    return SongResult::Ok;
}

SongResult Song::StartPlayback(Millis from) {
    if (m_mixMode != MixMode::Ready) return SongResult::WrongMode;
    const auto latest = m_doc.LatestEventTime();
    if (!latest || *latest < from) return SongResult::Ok;
    if (m_device == nullptr || !m_live->Attached()) return SongResult::NoDevice;
    m_masterHeld = false;
    m_volumeHeld.fill(false);
    m_panHeld.fill(false);
    if (!m_live->StartPlayback(m_doc, from)) return SongResult::NoDevice;
    m_mixMode = MixMode::Playing;
    m_takeToSettle = true;
    return SongResult::Ok;
}

SongResult Song::StopMix() {
    if (m_mixMode == MixMode::NoSong) return SongResult::Ok;
    if (m_live->Attached()) m_live->Stop();
    m_mixMode = MixMode::Ready;
    return SongResult::Ok;
}

void Song::PollLive() {
    struct Relay final : LiveListener {
        Song& song;
        explicit Relay(Song& s) : song(s) {}
        void OnLiveNotice(LiveNotice notice) override { song.OnLiveNotice(notice); }
    } relay(*this);
    // Seen idle before the poll: the poll delivers the last of the take.
    const bool settled = m_takeToSettle && !TakeRunning();
    m_live->Poll(&relay);
    if (settled) m_takeToSettle = false;
}

void Song::OnLiveNotice(const LiveNotice& notice) {
    const MixEvent& e = notice.event;
    // The controls follow what playback applies; what a stopped playback
    // applied before the stop reached the audio thread is left behind (the
    // levels set after the stop are the ones that sound).
    if (notice.kind == LiveNotice::kPlayed && m_mixMode == MixMode::Playing &&
        e.channel < static_cast<std::uint32_t>(kChannelCount)) {
        if (e.kind == kVolume) m_volume[e.channel] = static_cast<int>(e.value);
        if (e.kind == kPan) m_pan[e.channel] = static_cast<int>(e.value);
        if (e.kind == kMasterVolume) m_masterVolume = static_cast<int>(e.value);
    }
    if ((notice.kind == LiveNotice::kPlaybackEnded && m_mixMode == MixMode::Playing) ||
        (notice.kind == LiveNotice::kTakeEnded && m_mixMode == MixMode::Recording)) {
        m_mixMode = MixMode::Ready;
    }
    if (m_listener != nullptr) m_listener->OnLiveNotice(notice);
}

std::uint32_t Song::PlaybackTime() const {
    return m_mixMode == MixMode::Playing ? m_live->MixTime().count : 0;
}

std::uint32_t Song::RecordingTime() const {
    return m_mixMode == MixMode::Recording ? m_live->MixTime().count : 0;
}

SongResult Song::ClearEvents(int ch, std::uint32_t kindMask) {
    if (!ValidChannel(ch)) return SongResult::BadArgument;
    std::erase_if(m_doc.channels[ch].events,
                  [&](const MixEvent& e) { return (e.kind & kindMask) != 0; });
    return SongResult::Ok;
}

}  // namespace tamboro::engine
