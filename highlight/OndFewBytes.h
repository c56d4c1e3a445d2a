// Looking through text for the next of a few bytes. The passes that want only
// what changes a line's state (the highlighter's range states, the fold
// scan's tokens and skip regions) stop at a handful of bytes (quotes, braces,
// comment starters) and pass over everything else; with at most eight such
// bytes, sixteen bytes of text are compared with all of them at once.
#pragma once

#include <emmintrin.h>

#include <array>
#include <cstddef>

namespace ond {

class TOndFewBytes {
 public:
  static constexpr int kMax = 8;

  TOndFewBytes() noexcept = default;
  explicit TOndFewBytes(const std::array<bool, 256>& Stops) noexcept { Build(Stops); }

  // Looks for the bytes Stops marks from now on; Stops must outlive this.
  // Few() is false when there are more than kMax (or none), and Find then
  // looks at one byte at a time.
  void Build(const std::array<bool, 256>& Stops) noexcept {
    FStops = &Stops;
    int n = 0;
    for (int c = 0; c < 256; ++c) {
      if (!Stops[static_cast<std::size_t>(c)]) continue;
      if (n == kMax) {
        n = 0;
        break;
      }
      FBytes[static_cast<std::size_t>(n++)] = static_cast<char>(c);
    }
    // Unused places repeat the first byte, so every compare is a real one.
    for (int i = n; i < kMax && n > 0; ++i) FBytes[static_cast<std::size_t>(i)] = FBytes[0];
    for (int i = 0; i < kMax; ++i) FVectors[i] = _mm_set1_epi8(FBytes[static_cast<std::size_t>(i)]);
    FCount = n;
  }

  bool Few() const noexcept { return FCount > 0; }
  bool Marks(char C) const noexcept { return (*FStops)[static_cast<unsigned char>(C)]; }

  // With Few(): bit i set when byte P[i] is one of the bytes, for the
  // sixteen bytes from P on.
  [[gnu::always_inline]] unsigned Mask16(const char* P) const noexcept {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
    // Compared with four, six or all eight places, as many as are in use.
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, FVectors[0]), _mm_cmpeq_epi8(v, FVectors[1])),
                               _mm_or_si128(_mm_cmpeq_epi8(v, FVectors[2]), _mm_cmpeq_epi8(v, FVectors[3])));
    if (FCount > 4) hit = _mm_or_si128(hit, _mm_or_si128(_mm_cmpeq_epi8(v, FVectors[4]), _mm_cmpeq_epi8(v, FVectors[5])));
    if (FCount > 6) hit = _mm_or_si128(hit, _mm_or_si128(_mm_cmpeq_epi8(v, FVectors[6]), _mm_cmpeq_epi8(v, FVectors[7])));
    return static_cast<unsigned>(_mm_movemask_epi8(hit));
  }

  // The first byte from P on (before End) that Stops marks, or End. Begin
  // (at most P) is where the text that may be read begins: the last
  // sixteen bytes are read from End back when they lie in it.
  const char* Find(const char* Begin, const char* P, const char* End) const noexcept {
    if (FCount > 0) {
      while (End - P >= 16) {
        if (const unsigned mask = Mask16(P)) return P + __builtin_ctz(mask);
        P += 16;
      }
      if (P < End && End - Begin >= 16) {
        const unsigned mask = Mask16(End - 16) >> (16 - (End - P));
        return mask ? P + __builtin_ctz(mask) : End;
      }
    }
    while (P < End && !Marks(*P)) ++P;
    return P;
  }
  const char* Find(const char* P, const char* End) const noexcept { return Find(P, P, End); }

 private:
  __m128i FVectors[kMax]{};
  static constexpr std::array<bool, 256> kNone{};
  const std::array<bool, 256>* FStops = &kNone;
  std::array<char, kMax> FBytes{};
  int FCount = 0;
};

// Whether an odd number of bits of Mask are set.
constexpr bool OddBits(unsigned Mask) noexcept {
  Mask ^= Mask >> 16;
  Mask ^= Mask >> 8;
  Mask ^= Mask >> 4;
  Mask ^= Mask >> 2;
  Mask ^= Mask >> 1;
  return (Mask & 1) != 0;
}

// The first C from P on (before End), or End; Begin as for
// TOndFewBytes::Find.
inline const char* FindByte(const char* Begin, const char* P, const char* End, char C) noexcept {
  const __m128i c = _mm_set1_epi8(C);
  while (End - P >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
    if (const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, c))))
      return P + __builtin_ctz(mask);
    P += 16;
  }
  if (P < End && End - Begin >= 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(End - 16));
    const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, c))) >> (16 - (End - P));
    return mask ? P + __builtin_ctz(mask) : End;
  }
  while (P < End && *P != C) ++P;
  return P;
}

}  // namespace ond
