#include "tests/support/AudioSupport.h"

#include <gtest/gtest.h>

#include "base/ByteOrder.h"

namespace tamboro::test {

audio::WAVEFORMATEX Pcm(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels) {
    audio::WAVEFORMATEX f;
    audio::MakePcmFormat(f, rate, bits, channels);
    return f;
}

namespace {
std::unique_ptr<audio::Wave> MakeWave(const audio::WAVEFORMATEX& f, const void* data,
                                      std::size_t bytes) {
    auto w = std::make_unique<audio::Wave>();
    const auto frames = static_cast<std::uint32_t>(bytes / f.nBlockAlign);
    EXPECT_EQ(w->Create(f, frames), 1);
    if (bytes != 0) std::memcpy(w->Data(), data, bytes);
    return w;
}
}  // namespace

std::unique_ptr<audio::Wave> MakeWave16(const audio::WAVEFORMATEX& f,
                                        const std::vector<std::int16_t>& samples) {
    return MakeWave(f, samples.data(), samples.size() * 2);
}
std::unique_ptr<audio::Wave> MakeWave8(const audio::WAVEFORMATEX& f,
                                       const std::vector<std::uint8_t>& samples) {
    return MakeWave(f, samples.data(), samples.size());
}

void AppendId(Bytes& b, const char* id) {
    b.insert(b.end(), id, id + 4);
}

void AppendChunk(Bytes& b, const char* id, const Bytes& body, bool pad) {
    AppendId(b, id);
    base::AppendLe<32>(b, static_cast<std::uint32_t>(body.size()));
    b.insert(b.end(), body.begin(), body.end());
    if (pad && (body.size() & 1)) b.push_back(0);
}

Bytes RiffWave(const Bytes& chunks) {
    Bytes b;
    AppendId(b, "RIFF");
    base::AppendLe<32>(b, static_cast<std::uint32_t>(chunks.size() + 4));
    AppendId(b, "WAVE");
    b.insert(b.end(), chunks.begin(), chunks.end());
    return b;
}

Bytes WavFile(const audio::WAVEFORMATEX& f, const Bytes& data, const Bytes& before) {
    Bytes chunks;
    AppendChunk(chunks, "fmt ", audio::SerializeFormat(f));
    chunks.insert(chunks.end(), before.begin(), before.end());
    AppendChunk(chunks, "data", data);
    return RiffWave(chunks);
}

DeviceRig::DeviceRig(const audio::WAVEFORMATEX& format)
    : DeviceRig(std::make_unique<audio::ManualBackend>(
                    std::vector<std::string>{"First card", "Second card"}),
                format) {}

DeviceRig::DeviceRig(std::unique_ptr<audio::ManualBackend> b, const audio::WAVEFORMATEX& format)
    : backend(b.get()), device(std::move(b)) {
    device.SetWindowAndFormat(format, 0);
    device.Activate(1);
}

}  // namespace tamboro::test
