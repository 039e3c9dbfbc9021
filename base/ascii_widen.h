#pragma once

// Widening ASCII sixteen bytes at a time, shared by the text conversions and
// the markup reader. x86-64 only (SSE2).

#include <emmintrin.h>

namespace nbase {

// Sixteen ASCII bytes (zeros included) as sixteen wide units.
inline void WidenAscii16(__m128i bytes, wchar_t* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i lo = _mm_unpacklo_epi8(bytes, zero);
  const __m128i hi = _mm_unpackhi_epi8(bytes, zero);
  auto* d = reinterpret_cast<__m128i*>(out);
  if constexpr (sizeof(wchar_t) == 2) {
    _mm_storeu_si128(d + 0, lo);
    _mm_storeu_si128(d + 1, hi);
  } else {
    _mm_storeu_si128(d + 0, _mm_unpacklo_epi16(lo, zero));
    _mm_storeu_si128(d + 1, _mm_unpackhi_epi16(lo, zero));
    _mm_storeu_si128(d + 2, _mm_unpacklo_epi16(hi, zero));
    _mm_storeu_si128(d + 3, _mm_unpackhi_epi16(hi, zero));
  }
}

}  // namespace nbase
