// Finding where a literal may start in a line: the starts whose byte under
// the literal's first character and whose byte under its last character are
// each one of two given bytes (a letter's two cases, or one byte twice).
// Sixteen starts are looked at with a few vector operations, so a search
// spends its time only where a comparison can succeed; the caller then
// compares the whole literal (or runs its program) at each candidate.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "search/OndRegexBytes16.h"

namespace ond {

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
    if (lastStart - from >= 15) {
      if (FFirst[0] == FFirst[1] && FLast[0] == FLast[1]) return ScanBlocks<false>(text, from, lastStart, found);
      return ScanBlocks<true>(text, from, lastStart, found);
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
