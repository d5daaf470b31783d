// The AVX2 family of the mixing kernels: MixKernels_Simd.h over 256-bit
// registers, the same bytes as the plain kernels for every input. Built with -mavx2
// (tamboro_target_defaults); only called when the processor has it.
#include "audio/mixer/MixKernels.h"

#if defined(__AVX2__)
#include "audio/mixer/MixKernels_Simd.h"

namespace tamboro::audio {
namespace {
struct Avx2Width {};
using Kernels = simd::SimdMixKernels<simd::Vec<32, Avx2Width>>;
}  // namespace

const MixKernels& Avx2MixKernels() {
    return Kernels::Table("Avx2");
}
}  // namespace tamboro::audio

#else

namespace tamboro::audio {
const MixKernels& Avx2MixKernels() {
    return PlainMixKernels();
}
}  // namespace tamboro::audio

#endif
