#include "render/meshes/HighestIndex.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// With SSE2 eight at a time: flipping the top bit orders the unsigned
// words as signed ones.
uint32_t HighestIndex(const uint16_t* index, uint32_t count) {
  uint32_t high = 0, i = 0;
#if defined(__SSE2__)
  const __m128i flip = _mm_set1_epi16(int16_t(0x8000));
  __m128i highs = _mm_set1_epi16(int16_t(0x8000));
  for (; i + 8 <= count; i += 8) {
    const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(index + i));
    highs = _mm_max_epi16(highs, _mm_xor_si128(words, flip));
  }
  alignas(16) uint16_t lanes[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), _mm_xor_si128(highs, flip));
  for (uint16_t lane : lanes) high = std::max<uint32_t>(high, lane);
#endif
  for (; i < count; ++i) high = std::max<uint32_t>(high, index[i]);
  return high;
}
