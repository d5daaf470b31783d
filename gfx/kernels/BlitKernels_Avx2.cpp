// AVX2 twins of the copy and dissolve kernels (32 bytes per step): the
// width-free kernels of BlitKernels_Simd.h over 256-bit registers, with a
// 128-bit step for rows between 16 and 32 bytes. The blitter takes them only
// when the processor and system report AVX2; the other operations fall back
// to the SSE2 twins.
#include "gfx/kernels/BlitKernels.h"

#if defined(__AVX2__)
#include <immintrin.h>

#include "gfx/kernels/BlitKernels_Simd.h"

namespace tamboro::gfx::kernels {
namespace {

struct Avx2Tag {};
using K = simd::SimdBlitKernels<simd::Vec<32, Avx2Tag>>;

}  // namespace

BlitKernel Avx2Kernel(int bytesPerPixel, Op op, bool, std::uint32_t flags) {
    return K::Pick(bytesPerPixel, op, flags);
}

}  // namespace tamboro::gfx::kernels

#else

namespace tamboro::gfx::kernels {
BlitKernel Avx2Kernel(int, Op, bool, std::uint32_t) {
    return nullptr;
}
}  // namespace tamboro::gfx::kernels

#endif
