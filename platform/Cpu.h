#pragma once
// Processor feature tests for choosing fast kernels at run time.

namespace tamboro::platform {

// Nonzero when the processor reports MMX (CPUID leaf 1, EDX bit 23); 0 when
// it does not or has no CPUID instruction (any processor that is not x86).
int HasMmx();
// SSE2 (leaf 1, EDX bit 26).
bool HasSse2();
// AVX2 (leaf 7, EBX bit 5) with the operating system saving the YMM state.
bool HasAvx2();

// Kernel families pick their fast variants only when this is false. It is set
// when TAMBORO_PLAIN_KERNELS is in the environment, or by tests.
bool ForcePlainKernels();
void SetForcePlainKernels(bool plain);

}  // namespace tamboro::platform
