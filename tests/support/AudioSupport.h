#pragma once
// Sound helpers shared by the test suites: formats, sample buffers, waves,
// RIFF/WAV file images and an output device driven by hand.
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/output/OutputDevice.h"
#include "audio/wave/Wave.h"
#include "audio/wave/WaveFormat.h"

namespace tamboro::test {

using Bytes = std::vector<std::uint8_t>;

// A PCM format record.
audio::WAVEFORMATEX Pcm(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels);

// The bytes of `values` in memory order, and back.
template <typename T>
Bytes AsBytes(const std::vector<T>& values) {
    Bytes out(values.size() * sizeof(T));
    if (!out.empty()) std::memcpy(out.data(), values.data(), out.size());
    return out;
}
template <typename T>
std::vector<T> As(const Bytes& bytes) {
    std::vector<T> out(bytes.size() / sizeof(T));
    if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * sizeof(T));
    return out;
}

// A wave of format `f` holding a copy of `samples` (16-bit or 8-bit as the
// format says); fails the test when the wave cannot be made.
std::unique_ptr<audio::Wave> MakeWave16(const audio::WAVEFORMATEX& f,
                                        const std::vector<std::int16_t>& samples);
std::unique_ptr<audio::Wave> MakeWave8(const audio::WAVEFORMATEX& f,
                                       const std::vector<std::uint8_t>& samples);

// Four characters of a chunk id.
void AppendId(Bytes& b, const char* id);
// A RIFF chunk: id, little-endian size, body and (when `pad`) the pad byte
// after an odd body.
void AppendChunk(Bytes& b, const char* id, const Bytes& body, bool pad = true);
// "RIFF", the size, "WAVE" and `chunks`.
Bytes RiffWave(const Bytes& chunks);
// A whole WAV file: "fmt " chunk of `f`, then `before` (more chunks, already
// laid out), then the "data" chunk.
Bytes WavFile(const audio::WAVEFORMATEX& f, const Bytes& data, const Bytes& before = {});

// An output device on a ManualBackend: nothing sounds until the test asks
// for frames, so the whole engine can be checked sample by sample.
struct DeviceRig {
    audio::ManualBackend* backend;
    audio::OutputDevice device;

    explicit DeviceRig(const audio::WAVEFORMATEX& format = Pcm(8000, 16, 2));
    DeviceRig(std::unique_ptr<audio::ManualBackend> b, const audio::WAVEFORMATEX& format);
    std::vector<std::int16_t> Render16(std::uint32_t frames) {
        return As<std::int16_t>(backend->Render(frames));
    }
};

}  // namespace tamboro::test
