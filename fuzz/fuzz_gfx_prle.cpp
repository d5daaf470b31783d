// Fuzzes the prle decoder: whatever the data, it answers nothing or a
// plain picture of exactly the header's size, and never reads or writes
// outside its buffers.
#include <cstddef>
#include <cstdint>

#include "fuzz/GfxFuzzSupport.h"
#include "gfx/Codecs.h"

using namespace tamboro::gfx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = fuzz::WrapCodecData(data, size, kCodePrle, false);
    if (input.empty()) return 0;
    auto out = DecodePrle(input);
    if (!out) return 0;
    const BitmapInfo info = fuzz::RequireSamePicture(input, *out);
    fuzz::Require(info.compression == kCodeArle);
    (void)DecodeArle(*out);
    return 0;
}
