// Sixteen bytes of a line at once, for the scans that look for where a
// match can start: loading them, comparing each, and turning the lanes that
// compared true into the bits of a number.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ond::bytes16 {

// The compiler maps this to the machine's vector registers where it has them.
using Bytes16 = unsigned char __attribute__((vector_size(16)));

inline Bytes16 Load(const unsigned char* p) {
  Bytes16 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline Bytes16 Splat(unsigned char c) { return Bytes16{} + c; }

// Bit k set when lane k of a comparison result (each lane 0 or 0xFF) is set.
inline std::uint32_t LaneMask(Bytes16 lanes) {
#if defined(__SSE2__)
  return static_cast<std::uint32_t>(_mm_movemask_epi8(reinterpret_cast<__m128i>(lanes)));
#else
  std::uint32_t mask = 0;
  for (int k = 0; k < 16; ++k) mask |= static_cast<std::uint32_t>(lanes[k] & 1) << k;
  return mask;
#endif
}

}  // namespace ond::bytes16
