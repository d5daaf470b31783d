#pragma once
// What the output device engine needs from a sound output: a list of output
// devices, and a device opened in one PCM format that asks for blocks of
// sound by calling a render function.
//
// Two backends exist: the SDL2 one (audio/output/sdl/, calls render on SDL's audio
// thread) and ManualBackend below (calls render only when a test asks for N
// frames; no threads), so the whole engine can be checked sample by sample.
#include <cstdint>
#include <string>
#include <vector>

#include "audio/wave/WaveFormat.h"

namespace tamboro::audio {

class OutputBackend {
  public:
    // Fills `bytes` bytes of `out` in the opened format. Called on the
    // backend's audio thread; must not allocate, lock or wait.
    using RenderFn = void (*)(void* context, std::uint8_t* out, std::uint32_t bytes);

    virtual ~OutputBackend() = default;
    // The output devices in the order the system reports them.
    virtual std::vector<std::string> Devices() = 0;
    // Opens device `index` (-1 = the default device) for `format` (one of the
    // four PCM layouts) asking for blocks of about `wantFrames`; render calls
    // start at once. On success stores the block size granted and returns
    // true; returns false without calling render otherwise.
    virtual bool Open(int index, const WAVEFORMATEX& format, std::uint32_t wantFrames,
                      RenderFn render, void* context, std::uint32_t& grantedFrames) = 0;
    // Ends render calls (the running one finishes first) and closes. Nothing
    // when not open.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // True when the open device went away (unplugged, server gone).
    virtual bool Lost() = 0;
    // Capability summary (OutputDevice::GetCaps) for device `index`; 0 when
    // no device can be had.
    virtual std::uint32_t Caps(int index) = 0;
    // True when render runs on a thread of the backend's own; false when the
    // owner's thread drives it (then commands may also be applied there).
    virtual bool Threaded() const = 0;
};

// Capability bits of GetCaps.
inline constexpr std::uint32_t kCapsPrimaryMono = 1u << 0;
inline constexpr std::uint32_t kCapsPrimaryStereo = 1u << 1;
inline constexpr std::uint32_t kCapsPrimary8Bit = 1u << 2;
inline constexpr std::uint32_t kCapsPrimary16Bit = 1u << 3;
inline constexpr std::uint32_t kCapsSecondaryMono = 1u << 4;
inline constexpr std::uint32_t kCapsSecondaryStereo = 1u << 5;
inline constexpr std::uint32_t kCapsSecondary8Bit = 1u << 6;
inline constexpr std::uint32_t kCapsSecondary16Bit = 1u << 7;
inline constexpr std::uint32_t kCapsEmulated = 1u << 16;
inline constexpr std::uint32_t kCapsAlwaysSet = 1u << 29;
// Every layout on both buffer kinds, and bit 29.
inline constexpr std::uint32_t kCapsAllFormats = 0xFFu | kCapsAlwaysSet;

// Renders only on request, on the caller's thread.
class ManualBackend final : public OutputBackend {
  public:
    explicit ManualBackend(std::vector<std::string> devices = {"Manual output"});

    std::vector<std::string> Devices() override { return m_devices; }
    bool Open(int index, const WAVEFORMATEX& format, std::uint32_t wantFrames, RenderFn render,
              void* context, std::uint32_t& grantedFrames) override;
    void Close() override;
    bool IsOpen() const override { return m_render != nullptr; }
    bool Lost() override { return IsOpen() && m_lost; }
    std::uint32_t Caps(int index) override;
    bool Threaded() const override { return false; }

    // Renders `frames` frames of the open format into `out` and returns the
    // bytes written; 0 (and nothing written) when not open or lost.
    std::uint32_t Render(void* out, std::uint32_t frames);
    // The same into a new vector.
    std::vector<std::uint8_t> Render(std::uint32_t frames);

    // Test controls: the device vanishes; opening fails.
    void SetLost(bool lost) { m_lost = lost; }
    void SetOpenFails(bool fails) { m_openFails = fails; }
    int OpenCount() const { return m_openCount; }
    int OpenedIndex() const { return m_index; }
    const WAVEFORMATEX& OpenedFormat() const { return m_format; }

  private:
    std::vector<std::string> m_devices;
    RenderFn m_render = nullptr;
    void* m_context = nullptr;
    WAVEFORMATEX m_format;
    int m_index = -1;
    int m_openCount = 0;
    bool m_lost = false;
    bool m_openFails = false;
};

}  // namespace tamboro::audio
