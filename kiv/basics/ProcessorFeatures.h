// What the processor the program runs on can do, asked on first use.
//
// The answers come from the cpuid and xgetbv instructions when a caller
// first asks, not from a start-up probe: on a virtual machine each cpuid
// leaves to the host and costs microseconds, which a short command that
// never needs the answer should not pay at every start. Once asked, the
// answer is kept for the process. Thread-safe; nothing fails (an answer
// that cannot be found out is false).
#pragma once

namespace Kiv {

// True when the processor has AVX and the operating system saves the AVX
// registers across switches (what the compiler's target("avx") code needs).
// False on other architectures.
bool ProcessorHasAvx();
// True when ProcessorHasAvx() is and the processor has AVX2 too (what
// target("avx2") code needs).
bool ProcessorHasAvx2();

}  // namespace Kiv
