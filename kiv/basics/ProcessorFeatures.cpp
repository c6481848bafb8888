#include "kiv/basics/ProcessorFeatures.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#define KIV_PROBE_X86 1
#endif

namespace Kiv {

namespace {

#if defined(KIV_PROBE_X86)
// Leaf 1, ECX: the system enables xgetbv (OSXSAVE) and the processor has AVX.
constexpr unsigned kOsxsave = 1u << 27;
constexpr unsigned kAvx = 1u << 28;
// XCR0: the system saves the SSE (bit 1) and the AVX (bit 2) registers.
constexpr unsigned kSseAndAvxState = 0x6;

bool ProbeAvx() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
  if ((ecx & (kOsxsave | kAvx)) != (kOsxsave | kAvx)) return false;
  unsigned low = 0, high = 0;
  __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  return (low & kSseAndAvxState) == kSseAndAvxState;
}

// Leaf 7, sub-leaf 0, EBX: the processor has AVX2.
constexpr unsigned kAvx2 = 1u << 5;

bool ProbeAvx2() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!ProcessorHasAvx() || __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return false;
  return (ebx & kAvx2) != 0;
}
#else
bool ProbeAvx() {
  return false;
}

bool ProbeAvx2() {
  return false;
}
#endif

}  // namespace

bool ProcessorHasAvx() {
  static const bool has = ProbeAvx();
  return has;
}

bool ProcessorHasAvx2() {
  static const bool has = ProbeAvx2();
  return has;
}

}  // namespace Kiv
