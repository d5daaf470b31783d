// Fuzzes the pkc decoder: whatever the data, it answers nothing or a
// plain picture of exactly the header's size, and never reads or writes
// outside its buffers.
#include <cstddef>
#include <cstdint>

#include "fuzz/GfxFuzzSupport.h"
#include "gfx/Codecs.h"

using namespace tamboro::gfx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = fuzz::WrapCodecData(data, size, kCodePkc1, false);
    if (input.empty()) return 0;
    auto out = DecodePkc(input);
    if (!out) return 0;
    const BitmapInfo info = fuzz::RequireSamePicture(input, *out);
    fuzz::Require(info.compression == kCompressionNone);
    fuzz::Require(out->size() == info.headerSize + info.imageSize);
    return 0;
}
