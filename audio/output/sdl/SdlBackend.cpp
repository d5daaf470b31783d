#include "audio/output/sdl/SdlBackend.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>

namespace tamboro::audio::sdl {

namespace {

// The power of two nearest to `frames` from above, at least 64: SDL2 wants
// its block sizes as powers of two on several drivers.
Uint16 BlockFrames(std::uint32_t frames) {
    std::uint32_t n = 64;
    while (n < frames && n < 16384)
        n <<= 1;
    return static_cast<Uint16>(n);
}

}  // namespace

SdlBackend::SdlBackend() : m_initialised(SDL_InitSubSystem(SDL_INIT_AUDIO) == 0) {}

SdlBackend::~SdlBackend() {
    Close();
    if (m_initialised) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

std::vector<std::string> SdlBackend::Devices() {
    std::vector<std::string> names;
    if (!m_initialised) return names;
    const int count = SDL_GetNumAudioDevices(0);
    for (int i = 0; i < count; ++i) {
        const char* name = SDL_GetAudioDeviceName(i, 0);
        names.emplace_back(name ? name : "");
    }
    return names;
}

bool SdlBackend::Open(int index, const WAVEFORMATEX& format, std::uint32_t wantFrames,
                      RenderFn render, void* context, std::uint32_t& grantedFrames) {
    Close();
    const PcmLayout layout = LayoutOf(format);
    if (!m_initialised || !render || layout == PcmLayout::None) return false;
    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = static_cast<int>(format.nSamplesPerSec);
    want.format = format.wBitsPerSample == 8 ? AUDIO_U8 : AUDIO_S16LSB;
    want.channels = static_cast<Uint8>(format.nChannels);
    want.samples = BlockFrames(wantFrames);
    want.callback = &SdlBackend::Callback;
    want.userdata = this;
    m_render = render;
    m_context = context;
    const char* name = nullptr;
    if (index >= 0 && index < SDL_GetNumAudioDevices(0)) name = SDL_GetAudioDeviceName(index, 0);
    SDL_AudioSpec have;
    SDL_zero(have);
    // No changes allowed: SDL converts to whatever the hardware takes, so the
    // callback always sees our format.
    m_device = SDL_OpenAudioDevice(name, 0, &want, &have, 0);
    if (m_device == 0) {
        m_render = nullptr;
        m_context = nullptr;
        return false;
    }
    grantedFrames = have.samples;
    SDL_PauseAudioDevice(m_device, 0);
    return true;
}

void SdlBackend::Close() {
    if (m_device == 0) return;
    // Returns after the running callback has finished.
    SDL_CloseAudioDevice(m_device);
    m_device = 0;
    m_render = nullptr;
    m_context = nullptr;
}

bool SdlBackend::Lost() {
    // SDL stops a device that disappeared (unplugged, server gone).
    return m_device != 0 && SDL_GetAudioDeviceStatus(m_device) == SDL_AUDIO_STOPPED;
}

std::uint32_t SdlBackend::Caps(int /*index*/) {
    if (!m_initialised) return 0;
    std::uint32_t caps = kCapsAllFormats;
    const std::string driver = Driver();
    if (driver == "dummy" || driver == "disk") caps |= kCapsEmulated;
    return caps;
}

std::string SdlBackend::Driver() const {
    if (!m_initialised) return {};
    const char* name = SDL_GetCurrentAudioDriver();
    return name ? name : "";
}

void SdlBackend::Callback(void* self, std::uint8_t* stream, int len) {
    auto* backend = static_cast<SdlBackend*>(self);
    backend->m_render(backend->m_context, stream, static_cast<std::uint32_t>(len));
}

std::unique_ptr<OutputBackend> MakeSdlBackend() {
    return std::make_unique<SdlBackend>();
}

}  // namespace tamboro::audio::sdl
