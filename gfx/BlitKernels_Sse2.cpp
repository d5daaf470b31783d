#include "gfx/BlitKernels.h"

namespace tamboro::gfx::kernels {
BlitKernel Sse2Kernel(int, Op, bool, std::uint32_t) {
    return nullptr;
}
}  // namespace tamboro::gfx::kernels
