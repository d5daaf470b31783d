// The AU/SND reader over arbitrary bytes; the first byte picks the load
// flags (format only or samples).
#include <cstddef>
#include <cstdint>

#include "audio/files/SoundFileInternal.h"

using namespace tamboro::audio;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint32_t flags = (data[0] & 1) ? std::uint32_t{kLoadFormatOnly} : 0u;
    Wave wave;
    const SoundResult r = detail::ReadAuImage(wave, data + 1, size - 1, flags, nullptr, nullptr);
    if (r == SoundResult::Ok && wave.HasSamples()) {
        // u-law/A-law double the bytes; nothing else may grow.
        if (wave.DataBytes() > (size - 1) * 2) __builtin_trap();
        volatile std::uint32_t sink = wave.GetFrame(wave.FrameCount() - 1);
        (void)sink;
    }
    return 0;
}
