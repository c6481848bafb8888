// SanitizerScale: how much slower the programs of the sanitizer tree run,
// for the few end-to-end tests whose strength lies in numbers (many rounds
// of a race). They divide their counts by kSanitizerSlowdown, so that the
// sanitizer tree runs them well inside their time-out, checking the same
// code for memory faults, while the normal tree runs them in full.
#pragma once

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VU_TEST_UNDER_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VU_TEST_UNDER_SANITIZER 1
#endif

namespace VUTest {

#ifdef VU_TEST_UNDER_SANITIZER
inline constexpr int kSanitizerSlowdown = 10;
#else
inline constexpr int kSanitizerSlowdown = 1;
#endif

}  // namespace VUTest
