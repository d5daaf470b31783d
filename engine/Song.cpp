#include "engine/Song.h"

#include <cstring>

#include "engine/LoopFitting.h"
#include "platform/TempFiles.h"

namespace tamboro::engine {
namespace {

constexpr int kResetVolume = SongDocument::kResetVolume;

}  // namespace

Song::Song(platform::MessageLoop& /*loop*/, platform::MessageTarget* mainWindow)
    : m_mainWindow(mainWindow), m_live(std::make_unique<LiveMix>(m_doc)) {
    m_voice.fill(kNoVoice);
}

Song::~Song() {
    StopMix();
    Reset();
    DetachDevice();
}

// --- The device ---------------------------------------------------------------

SongResult Song::AttachDevice(audio::OutputDeviceInterface* device) {
    if (device == nullptr) return SongResult::BadArgument;
    if (m_device != nullptr) DetachDevice();
    return BindDevice(device);
}

SongResult Song::AttachDevice(std::unique_ptr<audio::OutputDeviceInterface> device) {
    if (!device) return SongResult::BadArgument;
    if (m_device != nullptr) DetachDevice();
    m_ownedDevice = std::move(device);
    return BindDevice(m_ownedDevice.get());
}

SongResult Song::BindDevice(audio::OutputDeviceInterface* device) {
    m_device = device;
    for (auto& voice : m_voice) {
        const int slot = m_device->AllocSlot();
        voice = slot < 0 ? kNoVoice : static_cast<std::uint32_t>(slot);
    }
    std::array<int, kChannelCount> slots{};
    for (int ch = 0; ch < kChannelCount; ++ch)
        slots[ch] = m_voice[ch] == kNoVoice ? -1 : static_cast<int>(m_voice[ch]);
    m_live->Attach(*m_device, slots);
    SetOutputFormat(m_outputDeviceIndex, m_device->GetFormat(), m_monoSources, m_softwareMixing);
    return SongResult::Ok;
}

audio::OutputDeviceInterface* Song::DetachDevice() {
    if (m_device == nullptr) return nullptr;
    // The live mix lets go of the device first: nothing sequences the slots
    // once they are freed.
    m_live->Detach();
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if (m_voice[ch] != kNoVoice) {
            m_device->Unload(static_cast<int>(m_voice[ch]));
            m_device->FreeSlot(static_cast<int>(m_voice[ch]));
            m_voice[ch] = kNoVoice;
        }
        ClearFile(m_preparedFile[ch]);
    }
    audio::OutputDeviceInterface* borrowed = m_ownedDevice ? nullptr : m_device;
    m_ownedDevice.reset();
    m_device = nullptr;
    return borrowed;
}

SongResult Song::SetOutputFormat(int deviceIndex, const audio::WAVEFORMATEX& format,
                                 bool monoSources, bool softwareMixing,
                                 const ProgressFn& progress) {
    if (m_device == nullptr) return SongResult::Ok;
    // A format that enters here is divided by when clocks and lengths are
    // computed; refuse one that would divide by zero.
    if (!audio::IsUsableFormat(format)) return SongResult::BadArgument;

    const bool wasActive = m_device->IsActive() != 0;
    if (wasActive) m_device->Activate(0);
    m_device->SelectDevice(deviceIndex);
    m_device->SetWindowAndFormat(format, 0);
    m_outputDeviceIndex = deviceIndex;
    m_monoSources = monoSources;
    m_softwareMixing = softwareMixing;
    for (const std::uint32_t voice : m_voice) {
        if (voice != kNoVoice) m_device->Unload(static_cast<int>(voice));
    }
    if (wasActive) m_device->Activate(1);

    SongResult result = SongResult::Ok;
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if ((m_doc.channels[ch].flags & kLoaded) == 0) continue;
        if (progress) progress(2, ch, ch * 5);
        const SongResult prepared = PrepareChannel(ch, nullptr);
        if (result == SongResult::Ok) result = prepared;
    }
    RebuildTempoClock();
    return result;
}

void Song::RebuildTempoClock() {
    if (m_device == nullptr) return;
    // Eight bars of whole frames at the device rate: every fitted loop
    // (1, 2, 4 or 8 bars) divides it.
    const audio::WAVEFORMATEX device = m_device->GetFormat();
    m_clockPeriod =
        m_doc.tempo > 0.0
            ? Frames(std::uint64_t{8} * SamplesPerBar(device.nSamplesPerSec, m_doc.tempo))
            : Frames(0);
    m_live->Configure(device, m_clockPeriod);
}

// --- The song as a whole ----------------------------------------------------------

void Song::ClearFile(std::string& path) {
    if (path.empty()) return;
    platform::DeleteFile(path);
    path.clear();
}

void Song::Reset() {
    StopMix();
    if (m_device != nullptr) m_device->StopAll();
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if (m_device != nullptr && m_voice[ch] != kNoVoice) {
            m_device->Unload(static_cast<int>(m_voice[ch]));
        }
        m_doc.channels[ch].loop.reset();
        ClearFile(m_preparedFile[ch]);
        m_doc.channels[ch].name.clear();
        m_doc.channels[ch].events.clear();
        m_doc.channels[ch].flags = 0;
        m_doc.channels[ch].sourceLength = 0;
        m_doc.channels[ch].preparedLength = 0;
        m_doc.channels[ch].initialVolume = kResetVolume;
        m_volume[ch] = kResetVolume;
        m_doc.channels[ch].initialPan = 0;
        m_pan[ch] = 0;
        m_volumeHeld[ch] = false;
        m_panHeld[ch] = false;
    }
    m_archive.reset();
    m_archivePath.clear();
    m_doc.initialMasterVolume = 0;
    m_masterVolume = 0;
    m_masterHeld = false;
    m_doc.author.clear();
    m_doc.title.clear();
    m_doc.mixedBy.clear();
    m_doc.notes.clear();
    m_mixMode = MixMode::NoSong;
}

void Song::NewSong(double tempo) {
    Reset();
    m_doc.tempo = tempo;
    m_mixMode = MixMode::Ready;
    RebuildTempoClock();
}

// --- Channels ---------------------------------------------------------------------

bool Song::IsChannelEmpty(int ch) const {
    return !ValidChannel(ch) || (m_doc.channels[ch].flags & kLoaded) == 0;
}

std::string Song::GetChannelName(int ch) const {
    return ValidChannel(ch) ? m_doc.channels[ch].name : "";
}

SongResult Song::SetChannelName(int ch, std::string name) {
    if (!ValidChannel(ch)) return SongResult::BadArgument;
    m_doc.channels[ch].name = std::move(name);
    return SongResult::Ok;
}

bool Song::IsEffect(int ch) const {
    return ValidChannel(ch) && (m_doc.channels[ch].flags & kEffect) != 0;
}

SongResult Song::SetEffect(int ch, bool on) {
    if (IsChannelEmpty(ch)) return SongResult::BadArgument;
    if (on) {
        m_doc.channels[ch].flags |= kEffect;
    } else {
        m_doc.channels[ch].flags &= ~std::uint32_t{kEffect};
    }
    return PrepareChannel(ch, nullptr);
}

std::uint32_t Song::GetPreparedLength(int ch) const {
    return ValidChannel(ch) ? m_doc.channels[ch].preparedLength : 0;
}

std::uint32_t Song::GetSourceLength(int ch) const {
    return ValidChannel(ch) ? m_doc.channels[ch].sourceLength : 0;
}

std::uint32_t Song::GetChannelFlags(int ch) const {
    return ValidChannel(ch) ? m_doc.channels[ch].flags : 0;
}

std::uint32_t Song::GetVoice(int ch) const {
    return ValidChannel(ch) ? m_voice[ch] : kNoVoice;
}

const std::string& Song::GetPreparedFile(int ch) const {
    static const std::string empty;
    return ValidChannel(ch) ? m_preparedFile[ch] : empty;
}

const std::string& Song::GetSourceFile(int ch) const {
    static const std::string empty;
    return ValidChannel(ch) && m_doc.channels[ch].loop ? m_doc.channels[ch].loop->SourceFile()
                                                       : empty;
}

}  // namespace tamboro::engine
