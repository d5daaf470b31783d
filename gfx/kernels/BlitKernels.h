#pragma once
// Pixel kernels of the blitter. Each kernel family has a plain version
// (BlitKernels_Scalar.cpp) and, where it pays, SSE2 and AVX2 twins that draw
// exactly the same pixels. The blitter validates and clips everything first;
// kernels have no error paths.
//
// Frame common to all kernels: the destination is walked top to bottom from
// (dx, dy), w × h pixels. The source starts at (sx, sy) (mirror: at the last
// pixel of the span, stepping left; flip: at the last row, stepping up); the
// mask image is walked exactly like the source. Scaled kernels step the
// source by nearest neighbour: an accumulator adds sw per destination pixel
// and advances one source pixel per w it passes (rows alike with sh and h).
#include <cstddef>
#include <cstdint>

namespace tamboro::gfx::kernels {

struct BlitJob {
    std::uint8_t* dst = nullptr;
    std::ptrdiff_t dstPitch = 0;
    int dx = 0, dy = 0, w = 0, h = 0;  // destination rectangle (already clipped)
    const std::uint8_t* src = nullptr;
    std::ptrdiff_t srcPitch = 0;
    int sx = 0, sy = 0, sw = 0, sh = 0;  // source span (sw = w, sh = h unscaled)
    std::uint32_t flags = 0;
    std::uint32_t srcKey = 0;  // already cut to the pixel width
    std::uint32_t dstKey = 0;
    int level = 0;  // 0..256
    const std::uint8_t* mask = nullptr;
    std::ptrdiff_t maskPitch = 0;
};

using BlitKernel = void (*)(const BlitJob&);

enum class Op : std::uint8_t { Copy, Keyed, Dissolve, MaskDissolve, Blend, MaskBlend };

// The 8×8 ordered-dither matrix (values 1..64), each row twice so that eight
// values from any column can be read without wrapping. Indexed by
// destination coordinates: (y & 7, x & 7).
extern const std::uint8_t kDither[8][16];
// entry[r][c] = c × r × 8 for a level row r (level ÷ 8) and a 5-bit channel c.
struct BlendTable {
    std::uint32_t entry[33][32];
};
constexpr BlendTable MakeBlendTable() {
    BlendTable t{};
    for (std::uint32_t r = 0; r < 33; ++r) {
        for (std::uint32_t c = 0; c < 32; ++c)
            t.entry[r][c] = c * r * 8;
    }
    return t;
}
inline constexpr BlendTable kBlendTable = MakeBlendTable();

// The plain kernel for bytes per pixel (1..4), an operation, scaling, the
// 5-6-5 layout (16 bits), and the flags (keys, mirror, flip).
BlitKernel ScalarKernel(int bytesPerPixel, Op op, bool scaled, bool is565, std::uint32_t flags);
// Fast twins for unscaled blits without mirror; null when there is none.
BlitKernel Sse2Kernel(int bytesPerPixel, Op op, bool is565, std::uint32_t flags);
BlitKernel Avx2Kernel(int bytesPerPixel, Op op, bool is565, std::uint32_t flags);

}  // namespace tamboro::gfx::kernels
