// Fuzzes the arle decoder: whatever the data, it answers nothing or a
// plain picture of exactly the header's size, and never reads or writes
// outside its buffers.
#include <cstddef>
#include <cstdint>

#include "fuzz/GfxFuzzSupport.h"
#include "gfx/Codecs.h"

using namespace tamboro::gfx;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto input = fuzz::WrapCodecData(data, size, kCodeArle, false);
    if (input.empty()) return 0;
    auto out = DecodeArle(input);
    if (!out) return 0;
    const BitmapInfo info = fuzz::RequireSamePicture(input, *out);
    fuzz::Require(!info.Compressed());
    // Whatever decoded must survive a round trip unchanged.
    auto again = EncodeArle(*out);
    fuzz::Require(again.has_value());
    auto back = DecodeArle(*again);
    fuzz::Require(back.has_value() && *back == *out);
    return 0;
}
