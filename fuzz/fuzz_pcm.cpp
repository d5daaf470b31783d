// The PCM and IEEE float decoders; the byte after the header picks the width.
#include "fuzz/FuzzCodec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using tamboro::audio::codecs::Coding;
    if (size < 1) return 0;
    static constexpr Coding kCodings[] = {Coding::PcmU8,  Coding::PcmS16,  Coding::PcmS24,
                                          Coding::PcmS32, Coding::Float32, Coding::Float64};
    FuzzCodec(kCodings[data[0] % 6], data + 1, size - 1);
    return 0;
}
