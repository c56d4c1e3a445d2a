// Finding where a literal may start in a line: the starts whose byte under
// the literal's first character and whose byte under its last character are
// each one of two given bytes (a letter's two cases, or one byte twice).
// Sixteen starts (sixty-four where the processor has AVX2) are looked at
// with a few vector operations, so a search spends its time only where a
// comparison can succeed; the caller then compares the whole literal (or
// runs its program) at each candidate.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "search/OndRegexBytes16.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define OND_LITERAL_SCAN_AVX2 1
#endif

namespace ond {

#if OND_LITERAL_SCAN_AVX2
namespace literal_scan {

inline bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

// Bit k set where the start `at + k` (k < 32) has one of the first bytes
// (v[0], v[1]) and, distance further, one of the last bytes (v[2], v[3]).
template <bool TwoCases>
__attribute__((target("avx2"), always_inline)) inline std::uint32_t PairMask(const unsigned char* at,
                                                                          std::size_t distance, const __m256i* v) {
  const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
  const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + distance));
  __m256i ha = _mm256_cmpeq_epi8(a, v[0]), hb = _mm256_cmpeq_epi8(b, v[2]);
  if constexpr (TwoCases) {
    ha = _mm256_or_si256(ha, _mm256_cmpeq_epi8(a, v[1]));
    hb = _mm256_or_si256(hb, _mm256_cmpeq_epi8(b, v[3]));
  }
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_and_si256(ha, hb)));
}

// The starts of the block of 64 from `block` on, those before `start` left
// out, offered to found() in order: whether it took one.
template <bool TwoCases, class Found>
__attribute__((target("avx2"), always_inline)) inline bool OfferBlock(const unsigned char* text, std::size_t block,
                                                                    std::size_t start, std::size_t distance,
                                                                    const __m256i* v, Found& found) {
  std::uint64_t mask = PairMask<TwoCases>(text + block, distance, v) |
                       static_cast<std::uint64_t>(PairMask<TwoCases>(text + block + 32, distance, v)) << 32;
  mask &= ~std::uint64_t{0} << (start - block);
  for (; mask != 0; mask &= mask - 1)
    if (found(block + static_cast<std::size_t>(__builtin_ctzll(mask)))) return true;
  return false;
}

// Over at least 64 starts, from `from` to `lastStart`.
template <bool TwoCases, class Found>
__attribute__((target("avx2"))) bool ScanWide(const unsigned char* text, std::size_t from, std::size_t lastStart,
                                              std::size_t distance, std::array<unsigned char, 4> bytes,
                                              Found& found) {
  __m256i v[4];
  for (std::size_t i = 0; i < 4; ++i) v[i] = _mm256_set1_epi8(static_cast<char>(bytes[i]));
  std::size_t start = from;
  for (; start <= lastStart && lastStart - start >= 63; start += 64)
    if (OfferBlock<TwoCases>(text, start, start, distance, v, found)) return true;
  // The last starts: a block moved back to end at the last one; the starts
  // it covers again were offered already.
  return start <= lastStart && OfferBlock<TwoCases>(text, lastStart - 63, start, distance, v, found);
}

}  // namespace literal_scan
#endif

class TLiteralScan {
 public:
  TLiteralScan() = default;
  // distance: from the first character to the last (the literal's length
  // minus one).
  TLiteralScan(std::array<unsigned char, 2> first, std::array<unsigned char, 2> last, std::size_t distance)
      : FFirst(first), FLast(last), FDistance(distance) {}

  // Calls found(start) for each candidate start from `from` to `lastStart`
  // (both included, lastStart + distance inside the text) in increasing
  // order, until found returns true; returns whether it did.
  template <class Found>
  bool Scan(const unsigned char* text, std::size_t from, std::size_t lastStart, Found&& found) const {
    if (from > lastStart) return false;
    const bool twoCases = FFirst[0] != FFirst[1] || FLast[0] != FLast[1];
#if OND_LITERAL_SCAN_AVX2
    if (lastStart - from >= 63 && literal_scan::HasAvx2()) {
      const std::array<unsigned char, 4> bytes{FFirst[0], FFirst[1], FLast[0], FLast[1]};
      return twoCases ? literal_scan::ScanWide<true>(text, from, lastStart, FDistance, bytes, found)
                      : literal_scan::ScanWide<false>(text, from, lastStart, FDistance, bytes, found);
    }
#endif
    if (lastStart - from >= 15) {
      return twoCases ? ScanBlocks<true>(text, from, lastStart, found) : ScanBlocks<false>(text, from, lastStart, found);
    }
    for (std::size_t start = from; start <= lastStart; ++start) {
      const unsigned char a = text[start], b = text[start + FDistance];
      if ((a == FFirst[0] || a == FFirst[1]) && (b == FLast[0] || b == FLast[1]) && found(start)) return true;
    }
    return false;
  }

 private:
  using Bytes16 = bytes16::Bytes16;
  static Bytes16 Load(const unsigned char* p) { return bytes16::Load(p); }
  static Bytes16 Splat(unsigned char c) { return bytes16::Splat(c); }

  // Scan over at least sixteen starts; twoCases: each end has two bytes.
  template <bool twoCases, class Found>
  bool ScanBlocks(const unsigned char* text, std::size_t from, std::size_t lastStart, Found& found) const {
    const Bytes16 first1 = Splat(FFirst[0]), first2 = Splat(FFirst[1]);
    const Bytes16 last1 = Splat(FLast[0]), last2 = Splat(FLast[1]);
    // The last block is moved back to end at lastStart; the starts it
    // covers again were looked at already.
    std::size_t seen = from;
    for (std::size_t block = from; seen <= lastStart; block += 16) {
      if (block + 15 > lastStart) block = lastStart - 15;
      const Bytes16 a = Load(text + block), b = Load(text + block + FDistance);
      Bytes16 hit = reinterpret_cast<Bytes16>(a == first1) & reinterpret_cast<Bytes16>(b == last1);
      if (twoCases) {
        hit = reinterpret_cast<Bytes16>((a == first1) | (a == first2)) &
              reinterpret_cast<Bytes16>((b == last1) | (b == last2));
      }
      for (std::uint32_t lanes = bytes16::LaneMask(hit); lanes != 0; lanes &= lanes - 1) {
        const std::size_t start = block + static_cast<std::size_t>(std::countr_zero(lanes));
        if (start >= seen && found(start)) return true;
      }
      seen = block + 16;
    }
    return false;
  }

  std::array<unsigned char, 2> FFirst{};
  std::array<unsigned char, 2> FLast{};
  std::size_t FDistance = 0;
};

}  // namespace ond
