#pragma once
// The sound output on SDL2 audio: one SDL audio device per opening, whose
// callback (on SDL's audio thread) is the engine's render function. SDL
// chooses the system's sound server (PipeWire, PulseAudio, ALSA, JACK);
// SDL_AUDIODRIVER is honoured, so "dummy" and "disk" serve machines without
// sound. The device is opened in exactly the format asked for; SDL converts
// when the hardware wants another one.
//
// Owner thread only; the render function runs on SDL's thread.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/output/OutputBackend.h"

namespace tamboro::audio::sdl {

class SdlBackend final : public OutputBackend {
  public:
    // Starts SDL's audio subsystem; when that fails the backend lists no
    // devices and opens nothing.
    SdlBackend();
    ~SdlBackend() override;
    SdlBackend(const SdlBackend&) = delete;
    SdlBackend& operator=(const SdlBackend&) = delete;

    std::vector<std::string> Devices() override;
    bool Open(int index, const WAVEFORMATEX& format, std::uint32_t wantFrames, RenderFn render,
              void* context, std::uint32_t& grantedFrames) override;
    void Close() override;
    bool IsOpen() const override { return m_device != 0; }
    bool Lost() override;
    std::uint32_t Caps(int index) override;
    bool Threaded() const override { return true; }

    // The SDL audio driver in use ("pulseaudio", "disk", ...), empty when
    // SDL audio could not start.
    std::string Driver() const;

  private:
    static void Callback(void* self, std::uint8_t* stream, int len);

    bool m_initialised = false;
    std::uint32_t m_device = 0;   // SDL_AudioDeviceID, 0 when closed
    RenderFn m_render = nullptr;  // written: owner while closed; read: audio
    void* m_context = nullptr;
};

// The backend the program uses.
std::unique_ptr<OutputBackend> MakeSdlBackend();

}  // namespace tamboro::audio::sdl
