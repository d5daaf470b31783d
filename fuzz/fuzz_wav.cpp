// The RIFF WAVE parser over arbitrary bytes. The first byte picks what is
// done with a parsed file: nothing more, or decode its samples to PCM 16-bit
// through the chain at the file's own rate (bounded, so that a run stays
// quick; rate conversion has its own harness).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/convert/FormatAdapter.h"
#include "audio/files/SoundFile.h"
#include "audio/files/SoundFileInternal.h"
#include "audio/wave/MemoryStream.h"

using namespace tamboro::audio;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t mode = data[0];
    std::vector<std::uint8_t> image(data + 1, data + size);
    Wave wave;
    if (ParseRiffWave(wave, image.data(), image.size()) != 1) return 0;
    // The samples lie inside the image.
    if (wave.Data() < image.data() || wave.Data() + wave.DataBytes() > image.data() + image.size())
        __builtin_trap();
    if ((mode & 1) && wave.DataBytes() <= 65536) {
        WAVEFORMATEX pcm;
        MakePcmFormat(pcm, wave.Format()->nSamplesPerSec, 16, (mode & 4) ? 2 : 1);
        FormatAdapter chain(
            *wave.Format(), pcm,
            std::make_unique<MemoryStream>(
                std::make_unique<tamboro::base::BorrowedStorage>(wave.Data(), wave.DataBytes())));
        std::uint8_t buffer[4096];
        std::size_t total = 0;
        while (chain.CanConvert() && total < (8u << 20)) {
            const std::uint32_t n = chain.Read(buffer, sizeof buffer);
            if (n == 0) break;
            total += n;
        }
    }
    return 0;
}
