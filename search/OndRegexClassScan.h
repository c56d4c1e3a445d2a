// Finding where a run of a character class begins or ends in a line: the
// first byte from a position on that is in the class, or that is not. Most
// classes a user writes are a few ranges of byte values (digits, word
// characters, white space, a negated quote): those are looked at sixteen
// bytes at a time, each range one subtraction and one unsigned comparison;
// any other class goes a byte at a time through a table.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "search/OndRegexBytes16.h"

namespace ond {

class TByteClassScan {
 public:
  TByteClassScan() = default;
  explicit TByteClassScan(const std::array<bool, 256>& members) : fTable(members) {
    int ranges = 0;
    for (int c = 0; c < 256;) {
      if (!members[c]) {
        ++c;
        continue;
      }
      int last = c;
      while (last + 1 < 256 && members[last + 1]) ++last;
      if (ranges == kMaxRanges) {
        ranges = 0;  // too many: the table alone
        break;
      }
      fLow[ranges] = static_cast<unsigned char>(c);
      fWidth[ranges] = static_cast<unsigned char>(last - c);
      ++ranges;
      c = last + 1;
    }
    fRanges = ranges;
  }

  bool Contains(unsigned char c) const { return fTable[c]; }

  // The first position in [from, to) whose byte is in the class, else to.
  std::size_t FindIn(const unsigned char* text, std::size_t from, std::size_t to) const {
    return Find<true>(text, from, to);
  }
  // The first position in [from, to) whose byte is not in the class, else to.
  std::size_t FindOut(const unsigned char* text, std::size_t from, std::size_t to) const {
    return Find<false>(text, from, to);
  }

  // The first position p in [from, to) whose byte is in the class and whose
  // next byte (at p + 1, at most at `to`) is in `next`, else to.
  std::size_t FindPairIn(const unsigned char* text, std::size_t from, std::size_t to,
                         const TByteClassScan& next) const {
    if (fRanges > 0 && next.fRanges > 0) {
      switch (fRanges * 8 + next.fRanges) {
#define OND_PAIR(a, b) \
  case a * 8 + b: return FindPairInRanges<a, b>(text, from, to, next);
        OND_PAIR(1, 1) OND_PAIR(1, 2) OND_PAIR(1, 3) OND_PAIR(1, 4)
        OND_PAIR(2, 1) OND_PAIR(2, 2) OND_PAIR(2, 3) OND_PAIR(2, 4)
        OND_PAIR(3, 1) OND_PAIR(3, 2) OND_PAIR(3, 3) OND_PAIR(3, 4)
        OND_PAIR(4, 1) OND_PAIR(4, 2) OND_PAIR(4, 3) OND_PAIR(4, 4)
#undef OND_PAIR
        default: break;
      }
    }
    return FindPairInTable(text, from, to, next);
  }

  // The first position p in [from, to) whose byte is in the class and where
  // the bytes at p + a and p + b differ in no bit outside `fold` (are equal,
  // with fold 0), else to. The text holds p + max(a, b) for every p < to.
  std::size_t FindEchoIn(const unsigned char* text, std::size_t from, std::size_t to, std::size_t a, std::size_t b,
                         unsigned char fold) const {
    switch (fRanges) {
      case 1: return FindEchoInRanges<1>(text, from, to, a, b, fold);
      case 2: return FindEchoInRanges<2>(text, from, to, a, b, fold);
      case 3: return FindEchoInRanges<3>(text, from, to, a, b, fold);
      case 4: return FindEchoInRanges<4>(text, from, to, a, b, fold);
      default: return FindEchoInRanges<0>(text, from, to, a, b, fold);
    }
  }

 private:
  // Ranges 0: the class is looked up in the table for each lane that echoes.
  template <int ranges>
  std::size_t FindEchoInRanges(const unsigned char* text, std::size_t from, std::size_t to, std::size_t a,
                               std::size_t b, unsigned char fold) const {
    const auto keep = static_cast<unsigned char>(~fold);
    std::size_t at = from;
    for (; to - at >= 16; at += 16) {
      const Bytes16 diff = (bytes16::Load(text + at + a) ^ bytes16::Load(text + at + b)) & keep;
      Bytes16 hit = reinterpret_cast<Bytes16>(diff == 0);
      if constexpr (ranges > 0) hit &= Members<ranges>(bytes16::Load(text + at));
      for (std::uint32_t lanes = bytes16::LaneMask(hit); lanes != 0; lanes &= lanes - 1) {
        const std::size_t p = at + static_cast<std::size_t>(std::countr_zero(lanes));
        if (ranges > 0 || fTable[text[p]]) return p;
      }
    }
    while (at < to && !(fTable[text[at]] && ((text[at + a] ^ text[at + b]) & keep) == 0)) ++at;
    return at;
  }

  template <int ranges, int nextRanges>
  std::size_t FindPairInRanges(const unsigned char* text, std::size_t from, std::size_t to,
                               const TByteClassScan& next) const {
    std::size_t at = from;
    for (; to - at >= 16; at += 16) {
      const std::uint32_t lanes = bytes16::LaneMask(Members<ranges>(bytes16::Load(text + at)) &
                                                    next.Members<nextRanges>(bytes16::Load(text + at + 1)));
      if (lanes != 0) return at + static_cast<std::size_t>(std::countr_zero(lanes));
    }
    return FindPairInTable(text, at, to, next);
  }

  std::size_t FindPairInTable(const unsigned char* text, std::size_t at, std::size_t to,
                              const TByteClassScan& next) const {
    while (at < to && !(fTable[text[at]] && next.fTable[text[at + 1]])) ++at;
    return at;
  }

  static constexpr int kMaxRanges = 4;
  using Bytes16 = bytes16::Bytes16;

  // 0xFF in each lane whose byte is in the class.
  template <int ranges>
  Bytes16 Members(Bytes16 v) const {
    Bytes16 in{};
    for (int r = 0; r < ranges; ++r) {
      const Bytes16 offset = v - fLow[r];
      in |= reinterpret_cast<Bytes16>(offset <= fWidth[r]);
    }
    return in;
  }

  template <bool wanted>
  std::size_t Find(const unsigned char* text, std::size_t from, std::size_t to) const {
    switch (fRanges) {
      case 1: return FindInRanges<wanted, 1>(text, from, to);
      case 2: return FindInRanges<wanted, 2>(text, from, to);
      case 3: return FindInRanges<wanted, 3>(text, from, to);
      case 4: return FindInRanges<wanted, 4>(text, from, to);
      default: return FindInTable<wanted>(text, from, to);
    }
  }

  template <bool wanted, int ranges>
  std::size_t FindInRanges(const unsigned char* text, std::size_t from, std::size_t to) const {
    std::size_t at = from;
    for (; to - at >= 16; at += 16) {
      std::uint32_t lanes = bytes16::LaneMask(Members<ranges>(bytes16::Load(text + at)));
      if (!wanted) lanes ^= 0xFFFF;
      if (lanes != 0) return at + static_cast<std::size_t>(std::countr_zero(lanes));
    }
    if (at == to || to - from < 16) return FindInTable<wanted>(text, at, to);
    // The rest in one block ending at `to`, its lanes before `at` dropped.
    const std::size_t block = to - 16;
    std::uint32_t lanes = bytes16::LaneMask(Members<ranges>(bytes16::Load(text + block)));
    if (!wanted) lanes ^= 0xFFFF;
    lanes &= 0xFFFFu << (at - block);
    return lanes != 0 ? block + static_cast<std::size_t>(std::countr_zero(lanes)) : to;
  }

  template <bool wanted>
  std::size_t FindInTable(const unsigned char* text, std::size_t at, std::size_t to) const {
    while (at < to && fTable[text[at]] != wanted) ++at;
    return at;
  }

  std::array<bool, 256> fTable{};
  int fRanges = 0;  // 0: not a few ranges (or empty), the table alone
  unsigned char fLow[kMaxRanges]{};
  unsigned char fWidth[kMaxRanges]{};
};

}  // namespace ond
