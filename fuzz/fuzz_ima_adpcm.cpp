// The ImaAdpcm decoder (and encoder) over arbitrary blocks.
#include "fuzz/FuzzCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzCodec(tamboro::audio::codecs::Coding::ImaAdpcm, data, size);
    return 0;
}
