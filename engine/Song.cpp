#include "engine/Song.h"

#include <cstring>

#include "platform/TempFiles.h"

namespace tamboro::engine {
namespace {

constexpr int kResetVolume = -500;
constexpr unsigned kSchedulerResolutionMs = 5;

}  // namespace

Song::Song(platform::MessageLoop& loop, platform::MessageTarget* mainWindow)
    : m_mainWindow(mainWindow) {
    m_voice.fill(kNoVoice);
    for (int ch = 0; ch < kChannelCount; ++ch)
        m_cursor[ch] = m_events[ch].end();
    m_callback =
        loop.CreateTarget([this](std::uint32_t message, platform::WParam w, platform::LParam l) {
            return OnCallbackMessage(message, w, l);
        });
    m_scheduler = std::make_unique<audio::TempoTimer>(kSchedulerResolutionMs);
    m_mixClock = m_scheduler->AllocSlot();
}

Song::~Song() {
    StopMix();
    if (m_device != nullptr && m_clockVoice != kNoVoice) {
        m_device->Stop(static_cast<int>(m_clockVoice));
    }
    DestroyClock();
    Reset();
    DetachDevice();
    m_scheduler->FreeSlot(m_mixClock);
}

// --- The device ---------------------------------------------------------------

int Song::AttachDevice(audio::OutputDeviceInterface* device) {
    if (device == nullptr) return ToInt(SongResult::BadArgument);
    if (m_device != nullptr) DetachDevice();
    return BindDevice(device);
}

int Song::AttachDevice(std::unique_ptr<audio::OutputDeviceInterface> device) {
    if (!device) return ToInt(SongResult::BadArgument);
    if (m_device != nullptr) DetachDevice();
    m_ownedDevice = std::move(device);
    return BindDevice(m_ownedDevice.get());
}

int Song::BindDevice(audio::OutputDeviceInterface* device) {
    m_device = device;
    for (auto& voice : m_voice) {
        const int slot = m_device->AllocSlot();
        voice = slot < 0 ? kNoVoice : static_cast<std::uint32_t>(slot);
    }
    const int clock = m_device->AllocSlot();
    m_clockVoice = clock < 0 ? kNoVoice : static_cast<std::uint32_t>(clock);
    SetOutputFormat(m_outputDeviceIndex, m_device->GetFormat(), m_monoSources, m_softwareMixing);
    return ToInt(SongResult::Ok);
}

audio::OutputDeviceInterface* Song::DetachDevice() {
    if (m_device == nullptr) return nullptr;
    if (m_clockVoice != kNoVoice) m_device->Stop(static_cast<int>(m_clockVoice));
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if (m_voice[ch] != kNoVoice) {
            m_device->Unload(static_cast<int>(m_voice[ch]));
            m_device->FreeSlot(static_cast<int>(m_voice[ch]));
            m_voice[ch] = kNoVoice;
        }
        ClearFile(m_preparedFile[ch]);
    }
    if (m_clockVoice != kNoVoice) {
        m_device->FreeSlot(static_cast<int>(m_clockVoice));
        m_clockVoice = kNoVoice;
    }
    // The clock buffer was only useful in the device's slot.
    m_clockBuffer.reset();
    audio::OutputDeviceInterface* borrowed = m_ownedDevice ? nullptr : m_device;
    m_ownedDevice.reset();
    m_device = nullptr;
    return borrowed;
}

int Song::SetOutputFormat(int deviceIndex, const audio::WAVEFORMATEX& format, bool monoSources,
                          bool softwareMixing, const ProgressFn& progress) {
    if (m_device == nullptr) return ToInt(SongResult::Ok);
    // A format that enters here is divided by when clocks and lengths are
    // computed; refuse one that would divide by zero.
    if (!audio::IsUsableFormat(format)) return ToInt(SongResult::BadArgument);

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
    DestroyClock();
    if (wasActive) m_device->Activate(1);

    int result = ToInt(SongResult::Ok);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if ((m_flags[ch] & kLoaded) == 0) continue;
        if (progress) progress(2, ch, ch * 5);
        const int prepared = PrepareChannel(ch, nullptr);
        if (result == 0) result = prepared;
    }
    RebuildTempoClock();
    return result;
}

void Song::DestroyClock() {
    if (m_device != nullptr && m_clockVoice != kNoVoice) {
        m_device->Unload(static_cast<int>(m_clockVoice));
    }
    m_clockBuffer.reset();
}

void Song::RebuildTempoClock() {
    if (m_device == nullptr || !(m_tempo > 0.0) || m_clockVoice == kNoVoice) return;
    DestroyClock();
    const audio::WAVEFORMATEX device = m_device->GetFormat();
    const std::uint16_t channels = m_monoSources ? 1 : device.nChannels;
    audio::MakePcmFormat(m_clockFormat, device.nSamplesPerSec, device.wBitsPerSample, channels);
    // One bar in bytes, formed in floating point and truncated, then eight
    // bars.
    const auto bar = static_cast<std::uint64_t>(m_clockFormat.nAvgBytesPerSec * 240.0 / m_tempo);
    const std::uint64_t bytes = 8 * bar;
    if (bytes == 0 || bytes > UINT32_MAX) return;
    m_clockBuffer = std::make_unique<base::GlobalStorage>(static_cast<std::size_t>(bytes), true);
    void* data = m_clockBuffer->Data();
    if (data == nullptr) {
        m_clockBuffer.reset();
        return;
    }
    std::memset(data, m_clockFormat.wBitsPerSample == 8 ? 0x80 : 0,
                static_cast<std::size_t>(bytes));
    m_device->LoadMemory(static_cast<int>(m_clockVoice), 0, &m_clockFormat, data,
                         static_cast<std::uint32_t>(bytes), 1, 0);
}

// --- The song as a whole ----------------------------------------------------------

void Song::ClearFile(std::string& path) {
    if (path.empty()) return;
    platform::DeleteFile(path);
    path.clear();
}

void Song::Reset() {
    if (m_device != nullptr) m_device->StopAll();
    for (int ch = 0; ch < kChannelCount; ++ch) {
        if (m_device != nullptr && m_voice[ch] != kNoVoice) {
            m_device->Unload(static_cast<int>(m_voice[ch]));
        }
        ClearFile(m_sourceFile[ch]);
        ClearFile(m_preparedFile[ch]);
        m_name[ch].clear();
        m_events[ch].clear();
        m_cursor[ch] = m_events[ch].end();
        m_handRecorded[ch].clear();
        m_flags[ch] = 0;
        m_sourceLength[ch] = 0;
        m_preparedLength[ch] = 0;
        m_initialVolume[ch] = kResetVolume;
        m_volume[ch] = kResetVolume;
        m_initialPan[ch] = 0;
        m_pan[ch] = 0;
        m_volumeHeld[ch] = false;
        m_panHeld[ch] = false;
    }
    m_archive.reset();
    m_archivePath.clear();
    m_initialMasterVolume = 0;
    m_masterVolume = 0;
    m_masterHeld = false;
    m_author.clear();
    m_title.clear();
    m_mixedBy.clear();
    m_notes.clear();
    m_recordingStarted = false;
    m_mixMode = MixMode::NoSong;
}

void Song::NewSong(double tempo) {
    Reset();
    m_tempo = tempo;
    m_mixMode = MixMode::Ready;
    RebuildTempoClock();
}

// --- Channels ---------------------------------------------------------------------

int Song::IsChannelEmpty(int ch) const {
    return !ValidChannel(ch) || (m_flags[ch] & kLoaded) == 0 ? 1 : 0;
}

std::string Song::GetChannelName(int ch) const {
    return ValidChannel(ch) ? m_name[ch] : "";
}

int Song::SetChannelName(int ch, std::string name) {
    if (!ValidChannel(ch)) return ToInt(SongResult::BadArgument);
    m_name[ch] = std::move(name);
    return ToInt(SongResult::Ok);
}

int Song::IsEffect(int ch) const {
    return ValidChannel(ch) && (m_flags[ch] & kEffect) != 0 ? 1 : 0;
}

int Song::SetEffect(int ch, bool on) {
    if (IsChannelEmpty(ch)) return ToInt(SongResult::BadArgument);
    if (on) {
        m_flags[ch] |= kEffect;
    } else {
        m_flags[ch] &= ~std::uint32_t{kEffect};
    }
    return PrepareChannel(ch, nullptr);
}

std::uint32_t Song::GetPreparedLength(int ch) const {
    return ValidChannel(ch) ? m_preparedLength[ch] : 0;
}

std::uint32_t Song::GetSourceLength(int ch) const {
    return ValidChannel(ch) ? m_sourceLength[ch] : 0;
}

std::uint32_t Song::GetChannelFlags(int ch) const {
    return ValidChannel(ch) ? m_flags[ch] : 0;
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
    return ValidChannel(ch) ? m_sourceFile[ch] : empty;
}

const EventList& Song::GetEvents(int ch) const {
    static const EventList empty;
    return ValidChannel(ch) ? m_events[ch] : empty;
}

EventList& Song::Events(int ch) {
    return m_events[ValidChannel(ch) ? ch : 0];
}

}  // namespace tamboro::engine
