#include "tests/cli/CliFixture.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include "audio/files/SoundFile.h"

namespace tamboro::cli::test {

// `seconds` of 44100 Hz 16-bit stereo: two detuned sines.
bool WriteLoop(const std::string& path, double seconds, double hz) {
    const auto frames = static_cast<std::size_t>(44100 * seconds);
    std::vector<std::uint8_t> samples(frames * 4);
    for (std::size_t f = 0; f < frames; ++f) {
        const double t = static_cast<double>(f) / 44100.0;
        const auto l = static_cast<std::int16_t>(9000 * std::sin(2 * M_PI * hz * t));
        const auto r = static_cast<std::int16_t>(9000 * std::sin(2 * M_PI * hz * 1.01 * t));
        samples[f * 4] = static_cast<std::uint8_t>(l);
        samples[f * 4 + 1] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(l) >> 8);
        samples[f * 4 + 2] = static_cast<std::uint8_t>(r);
        samples[f * 4 + 3] = static_cast<std::uint8_t>(static_cast<std::uint16_t>(r) >> 8);
    }
    audio::Wave wave;
    audio::WAVEFORMATEX format;
    audio::MakePcmFormat(format, 44100, 16, 2);
    wave.AttachBorrowed(format, samples.data(), static_cast<std::uint32_t>(samples.size()));
    return audio::SaveWave(wave, path, 0) == audio::SoundResult::Ok;
}

}  // namespace tamboro::cli::test
