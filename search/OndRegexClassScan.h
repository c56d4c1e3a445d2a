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
#include <cstring>

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

 private:
  static constexpr int kMaxRanges = 4;
  // The compiler maps this to the machine's vector registers where it has them.
  using Bytes16 = unsigned char __attribute__((vector_size(16)));

  static Bytes16 Load(const unsigned char* p) {
    Bytes16 v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }

  // 0xFF in each lane whose byte is in the class.
  template <int ranges>
  Bytes16 Members(Bytes16 v) const {
    Bytes16 in{};
    for (int r = 0; r < ranges; ++r) {
      const Bytes16 offset = v - fLow[r];
      in |= (Bytes16)(offset <= fWidth[r]);
    }
    return in;
  }

  // Index of the first lane holding 0xFF, or 16 when none does.
  static std::size_t FirstLane(Bytes16 mask) {
    std::uint64_t half[2];
    std::memcpy(half, &mask, sizeof half);
    for (int h = 0; h < 2; ++h) {
      if (half[h] != 0) {
        const int bit = std::endian::native == std::endian::little ? std::countr_zero(half[h])
                                                                   : std::countl_zero(half[h]);
        return static_cast<std::size_t>(h * 8 + bit / 8);
      }
    }
    return 16;
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
      Bytes16 hit = Members<ranges>(Load(text + at));
      if (!wanted) hit = ~hit;
      const std::size_t lane = FirstLane(hit);
      if (lane < 16) return at + lane;
    }
    return FindInTable<wanted>(text, at, to);
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
