#pragma once
// Shared by the graphics codec harnesses. Input layout:
//   byte 0   width - 1 (1..256)
//   byte 1   height - 1 (1..64)
//   byte 2   bit count selector (TRLE only: 8, 16, 24, 32)
//   rest     the codec data, placed after a well-formed header whose image
//            size is the data's length
// so that the fuzzer spends its time inside the decoder, not in the header.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/ByteOrder.h"
#include "gfx/BitmapHeader.h"

namespace tamboro::gfx::fuzz {

inline std::vector<std::uint8_t> WrapCodecData(const std::uint8_t* data, std::size_t size,
                                               std::uint32_t compression, bool chooseBits) {
    if (size < 3) return {};
    const int width = data[0] + 1;
    const int height = (data[1] & 63) + 1;
    const int bitsChoice[4] = {8, 16, 24, 32};
    const int bits = chooseBits ? bitsChoice[data[2] & 3] : 8;
    const std::size_t header = 40 + (bits == 8 ? 1024 : 0);
    std::vector<std::uint8_t> out(header + size - 3);
    base::StoreLe<32>(out.data(), 40);
    base::StoreLe<32>(out.data() + 4, static_cast<std::uint32_t>(width));
    base::StoreLe<32>(out.data() + 8, static_cast<std::uint32_t>(height));
    base::StoreLe<16>(out.data() + 12, 1);
    base::StoreLe<16>(out.data() + 14, static_cast<std::uint16_t>(bits));
    base::StoreLe<32>(out.data() + 16, compression);
    base::StoreLe<32>(out.data() + 20, static_cast<std::uint32_t>(size - 3));
    for (std::size_t i = 3; i < size; ++i)
        out[header + i - 3] = data[i];
    return out;
}

// Stops the run when a decoded picture is not what its header promises.
inline void Require(bool condition) {
    if (!condition) std::abort();
}

// Stops the run unless `out` parses as a picture of the same size as the
// coded `input`; returns the decoded picture's header.
inline BitmapInfo RequireSamePicture(const std::vector<std::uint8_t>& input,
                                     const std::vector<std::uint8_t>& out) {
    BitmapInfo in, info;
    Require(ParseBitmap(input, in, false) == GfxResult::Ok);
    Require(ParseBitmap(out, info, false) == GfxResult::Ok);
    Require(info.width == in.width && info.height == in.height);
    return info;
}

}  // namespace tamboro::gfx::fuzz
