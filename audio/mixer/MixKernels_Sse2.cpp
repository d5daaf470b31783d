// The SSE2 family of the mixing kernels: MixKernels_Simd.h over 128-bit
// registers, the same bytes as the plain kernels for every input. SSE2 is baseline on x86-64, so
// this file needs no flag.
#include "audio/mixer/MixKernels.h"

#if defined(__SSE2__)
#include "audio/mixer/MixKernels_Simd.h"

namespace tamboro::audio {
namespace {
struct Sse2Width {};
using Kernels = simd::SimdMixKernels<simd::Vec<16, Sse2Width>>;
}  // namespace

const MixKernels& Sse2MixKernels() {
    return Kernels::Table("Sse2");
}
}  // namespace tamboro::audio

#else

namespace tamboro::audio {
const MixKernels& Sse2MixKernels() {
    return PlainMixKernels();
}
}  // namespace tamboro::audio

#endif
