// Bringing the song back to an earlier state: an undo step's document, and
// the levels at rest after a stop.
#include "engine/Song.h"

namespace tamboro::engine {

bool Song::TakeRunning() const {
    if (m_mixMode == MixMode::Playing || m_mixMode == MixMode::Recording) return true;
    if (!m_takeToSettle || m_device == nullptr || !m_live->Attached()) return false;
    // A stop is carried out by the audio thread (at the frame it falls on);
    // until then a recording may still add its last switch-offs. Other
    // commands waiting for the audio thread (a device that is not rendering
    // holds them) record nothing and hold nothing up.
    return !m_live->Settled() || m_live->GetMode() != LiveMix::Mode::Idle;
}

SongResult Song::RestoreDocument(const SongDocument& snapshot) {
    if (TakeRunning()) return SongResult::WrongMode;
    // What the audio thread reported about the last take goes into the
    // document it belongs to, not into the restored one.
    PollLive();
    m_takeToSettle = false;

    const bool tempoChanged = snapshot.tempo != m_doc.tempo;
    std::array<bool, kChannelCount> prepare{};
    std::array<bool, kChannelCount> effectChanged{};
    std::array<bool, kChannelCount> volumeChanged{};
    std::array<bool, kChannelCount> panChanged{};
    std::array<std::uint32_t, kChannelCount> preparedLength{};
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const ChannelDoc& now = m_doc.channels[ch];
        const ChannelDoc& then = snapshot.channels[ch];
        effectChanged[ch] = now.IsEffect() != then.IsEffect();
        volumeChanged[ch] = now.initialVolume != then.initialVolume;
        panChanged[ch] = now.initialPan != then.initialPan;
        preparedLength[ch] = now.preparedLength;
        const bool loopChanged = now.loop != then.loop || now.IsLoaded() != then.IsLoaded();
        if (!loopChanged && !effectChanged[ch] && !(tempoChanged && then.IsLoaded())) continue;
        prepare[ch] = then.IsLoaded();
        // The channel's sound goes, as when its loop is replaced.
        if (m_device != nullptr && m_live->Attached()) m_live->SwitchOff(ch);
        if (m_device != nullptr && m_voice[ch] != kNoVoice) {
            m_device->Unload(static_cast<int>(m_voice[ch]));
        }
        ClearFile(m_preparedFile[ch]);
        preparedLength[ch] = 0;
    }
    const bool masterChanged = m_doc.initialMasterVolume != snapshot.initialMasterVolume;

    m_doc = snapshot;
    // The prepared files of unchanged channels stay: they are made in the
    // current output format, which the snapshot's lengths may predate.
    for (int ch = 0; ch < kChannelCount; ++ch)
        m_doc.channels[ch].preparedLength = preparedLength[ch];
    if (tempoChanged) RebuildTempoClock();

    SongResult result = SongResult::Ok;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if (effectChanged[ch]) m_live->SetEffect(ch, m_doc.channels[ch].IsEffect());
        // Without a device the loop waits, as after a load: attaching one
        // prepares it.
        if (!prepare[ch] || m_device == nullptr) continue;
        const SongResult prepared = PrepareChannel(ch, nullptr);
        if (result == SongResult::Ok) result = prepared;
    }
    // The live levels follow the levels at rest that change, as the
    // consoles set both while nothing runs.
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if (volumeChanged[ch]) SetChannelVolume(ch, m_doc.channels[ch].initialVolume);
        if (panChanged[ch]) SetChannelPan(ch, m_doc.channels[ch].initialPan);
    }
    if (masterChanged) SetMasterVolume(m_doc.initialMasterVolume);
    return result;
}

SongResult Song::StopMixAtRest() {
    StopMix();
    for (int ch = 0; ch < kChannelCount; ++ch) {
        SetChannelVolume(ch, m_doc.channels[ch].initialVolume);
        SetChannelPan(ch, m_doc.channels[ch].initialPan);
    }
    SetMasterVolume(m_doc.initialMasterVolume);
    return SongResult::Ok;
}

}  // namespace tamboro::engine
