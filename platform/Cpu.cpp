#include "platform/Cpu.h"

#include <atomic>
#include <cstdlib>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#define TAMBORO_X86 1
#endif

namespace tamboro::platform {
namespace {

std::atomic<int> g_forcePlain{-1};

}  // namespace

int HasMmx() {
#ifdef TAMBORO_X86
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return 0;
    return (d >> 23) & 1;
#else
    return 0;
#endif
}

bool HasSse2() {
#ifdef TAMBORO_X86
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    return (d >> 26) & 1;
#else
    return false;
#endif
}

bool HasAvx2() {
#ifdef TAMBORO_X86
    unsigned a, b, c, d;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool osxsave = (c >> 27) & 1;
    const bool avx = (c >> 28) & 1;
    if (!osxsave || !avx) return false;
    // XCR0 bits 1 and 2: the OS saves SSE and AVX state on context switches.
    unsigned lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    if ((lo & 6) != 6) return false;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    return (b >> 5) & 1;
#else
    return false;
#endif
}

bool ForcePlainKernels() {
    int v = g_forcePlain.load(std::memory_order_relaxed);
    if (v < 0) {
        v = std::getenv("TAMBORO_PLAIN_KERNELS") != nullptr ? 1 : 0;
        g_forcePlain.store(v, std::memory_order_relaxed);
    }
    return v != 0;
}

void SetForcePlainKernels(bool plain) {
    g_forcePlain.store(plain ? 1 : 0);
}

}  // namespace tamboro::platform
