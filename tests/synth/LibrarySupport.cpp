#include "tests/synth/LibrarySupport.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "audio/files/SoundFile.h"
#include "tools/synth/Loops.h"

namespace tamboro::synth::test {

std::string LibraryFolder() {
    return std::string(TAMBORO_BINARY_DIR) + "/loops";
}

const std::vector<std::unique_ptr<audio::Wave>>& Library() {
    static const std::vector<std::unique_ptr<audio::Wave>> waves = [] {
        std::vector<std::unique_ptr<audio::Wave>> out;
        for (const LoopInfo& info : Catalogue()) {
            auto wave = std::make_unique<audio::Wave>();
            const std::string path = LibraryFolder() + "/" + info.file;
            EXPECT_EQ(audio::LoadWave(*wave, path, audio::kLoadCopy), audio::SoundResult::Ok)
                << path;
            out.push_back(std::move(wave));
        }
        return out;
    }();
    return waves;
}

std::vector<int> Side(const audio::Wave& wave, int side) {
    const audio::WAVEFORMATEX& f = *wave.Format();
    const std::size_t channels = f.nChannels;
    const auto frames = static_cast<std::size_t>(wave.FrameCount());
    std::vector<int> out(frames);
    const std::uint8_t* p = wave.Data();
    for (std::size_t i = 0; i < frames; ++i) {
        const std::size_t k = i * channels + static_cast<std::size_t>(side);
        if (f.wBitsPerSample == 8) {
            out[i] = static_cast<int>(p[k]) - 128;
        } else {
            out[i] = static_cast<std::int16_t>(p[2 * k] | (p[2 * k + 1] << 8));
        }
    }
    return out;
}

double FullScale(const audio::Wave& wave) {
    return wave.Format()->wBitsPerSample == 8 ? 128.0 : 32768.0;
}

}  // namespace tamboro::synth::test
