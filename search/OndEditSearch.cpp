#include "search/OndEditSearch.h"

#include <algorithm>
#include <string_view>

#include "platform/core/CodePage.h"

#if defined(__x86_64__)
#include <immintrin.h>
#define OND_SCAN_AVX2 1
#endif

namespace ond {

TOndEditSearchCustom::~TOndEditSearchCustom() {
  auto notifies = std::move(FFreeNotifies);
  for (auto& n : notifies)
    if (n.second) n.second();
}

void TOndEditSearchCustom::FreeNotification(void* Client, std::function<void()> Gone) {
  RemoveFreeNotification(Client);
  FFreeNotifies.emplace_back(Client, std::move(Gone));
}

void TOndEditSearchCustom::RemoveFreeNotification(void* Client) {
  std::erase_if(FFreeNotifies, [Client](const auto& n) { return n.first == Client; });
}

TOndEditSearch::TOndEditSearch() {
  FCaseTableBuiltFor = true;
  MakeCaseTable();
  MakeDelimiterTable();
}

void TOndEditSearch::MakeCaseTable() {
  if (FCaseTableBuiltFor == FSensitive) return;
  for (int i = 0; i < 256; ++i) FTrans[static_cast<std::size_t>(i)] = static_cast<unsigned char>(i);
  if (!FSensitive)
    for (auto& c : FTrans) c = AnsiLowerChar(c);
  FCaseTableBuiltFor = FSensitive;
}

void TOndEditSearch::MakeDelimiterTable() {
  // Every letter and digit of the code page is part of a word, not only the
  // Latin and Russian ones: "жак" is no whole word inside "їжак".
  for (int i = 0; i < 256; ++i) {
    const auto c = static_cast<unsigned char>(i);
    FDelimTable[static_cast<std::size_t>(i)] = !IsAnsiAlphaNumeric(c) && c != '_';
  }
}

void TOndEditSearch::SetPattern(const std::string& value) {
  if (value == FPattern) return;
  FPattern = value;
  FScanReady = false;
}

void TOndEditSearch::SetOptions(TOndSearchOptions value) {
  const bool sensitive = (value & ssoMatchCase) != 0;
  FWhole = (value & ssoWholeWord) != 0;
  if (sensitive != FSensitive) {
    FSensitive = sensitive;
    MakeCaseTable();
    FScanReady = false;
  }
}

namespace {

// How common a (lower-case) character is in config texts, most common
// last: the scan looks for the pattern's two rarest, so that it stops
// seldom where the pattern does not stand. Other characters count as rarest.
constexpr std::string_view kCommonLast = "qjzxwykvb][}{.f_ghm-p987u6d45c3l2srni0o1at:,\t\"e ";

int Commonness(unsigned char c) {
  const std::size_t at = kCommonLast.find(static_cast<char>(c));
  return at == std::string_view::npos ? 0 : static_cast<int>(at) + 1;
}

#if OND_SCAN_AVX2
// Bit k set where the start `start + k` (k < 32) has one of the first bytes
// (v[0], v[1]) at its first scanned place and one of the second bytes
// (v[2], v[3]) at its second.
template <bool TwoCases>
__attribute__((target("avx2"), always_inline)) inline std::uint32_t PairMaskAvx2(const unsigned char* at,
                                                                              std::size_t distance,
                                                                              const __m256i* v) {
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
// out, offered to found() in order: the first it takes, or lastStart + 1.
template <bool TwoCases, class Found>
__attribute__((target("avx2"), always_inline)) inline std::size_t OfferBlockAvx2(
    const unsigned char* at, std::size_t block, std::size_t start, std::size_t lastStart, std::size_t distance,
    const __m256i* v, Found& found) {
  std::uint64_t mask = PairMaskAvx2<TwoCases>(at + block, distance, v) |
                       static_cast<std::uint64_t>(PairMaskAvx2<TwoCases>(at + block + 32, distance, v)) << 32;
  mask &= ~std::uint64_t{0} << (start - block);
  for (; mask != 0; mask &= mask - 1) {
    const std::size_t k = block + static_cast<std::size_t>(__builtin_ctzll(mask));
    if (found(k)) return k;
  }
  return lastStart + 1;
}

// The first start from `from` to `lastStart` whose byte at the pattern's
// first scanned place (at[start]) is one of bytes[0], bytes[1] and whose
// byte at the second (at[start + distance]) is one of bytes[2], bytes[3],
// and that found() takes; lastStart + 1 when none. 64 starts are looked at
// with a few AVX2 instructions; the two bytes of a character that has one
// case only are compared once.
template <bool TwoCases, class Found>
__attribute__((target("avx2"))) std::size_t ScanPairsAvx2(const unsigned char* at, std::size_t from,
                                                          std::size_t lastStart, std::size_t distance,
                                                          const std::array<unsigned char, 4>& bytes, Found& found) {
  __m256i v[4];
  for (int i = 0; i < 4; ++i) v[i] = _mm256_set1_epi8(static_cast<char>(bytes[static_cast<std::size_t>(i)]));
  std::size_t start = from;
  for (; start <= lastStart && lastStart - start >= 63; start += 64)
    if (const std::size_t k = OfferBlockAvx2<TwoCases>(at, start, start, lastStart, distance, v, found); k <= lastStart)
      return k;
  // The last starts: a block moved back to end at the last one, when the
  // stretch is long enough.
  if (start <= lastStart && lastStart - from >= 63)
    return OfferBlockAvx2<TwoCases>(at, lastStart - 63, start, lastStart, distance, v, found);
  for (; start <= lastStart; ++start) {
    const unsigned char a = at[start], b = at[start + distance];
    if ((a == bytes[0] || a == bytes[1]) && (b == bytes[2] || b == bytes[3]) && found(start)) return start;
  }
  return lastStart + 1;
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

}  // namespace

void TOndEditSearch::PrepareScan() {
  FPatLen = static_cast<int>(FPattern.size());
  if (FPatLen == 0) throw EOndEditSearchError("Pattern is empty");
  if (FPatLen > MaxPatternLength) throw ERangeError("Range check error");
  FFolded.resize(FPattern.size());
  for (std::size_t i = 0; i < FPattern.size(); ++i) FFolded[i] = static_cast<char>(Fold(FPattern[i]));
  // The raw bytes that fold to a character: a letter's two cases, or the
  // one byte. A fold table that ever joined more leaves the search to
  // compare at every start.
  auto bytesFoldingTo = [this](char folded, std::array<unsigned char, 2>& out) {
    int found = 0;
    for (int c = 0; c < 256; ++c)
      if (FTrans[static_cast<std::size_t>(c)] == static_cast<unsigned char>(folded)) {
        if (found < 2) out[static_cast<std::size_t>(found)] = static_cast<unsigned char>(c);
        ++found;
      }
    if (found == 1) out[1] = out[0];
    return found <= 2;
  };
  // The two rarest characters of the pattern (one, for a one-character
  // pattern), in their order in it.
  auto rarest = [this](std::size_t skip) {
    std::size_t best = skip == 0 && FFolded.size() > 1 ? 1 : 0;
    for (std::size_t i = 0; i < FFolded.size(); ++i)
      if (i != skip && Commonness(static_cast<unsigned char>(FFolded[i])) <
                           Commonness(static_cast<unsigned char>(FFolded[best])))
        best = i;
    return best;
  };
  const std::size_t one = rarest(FFolded.size()), other = FFolded.size() > 1 ? rarest(one) : one;
  FScanFirst = std::min(one, other);
  const std::size_t second = std::max(one, other);
  std::array<unsigned char, 2> first{}, last{};
  FUseScan = bytesFoldingTo(FFolded[FScanFirst], first) && bytesFoldingTo(FFolded[second], last);
  FScan = TLiteralScan(first, last, second - FScanFirst);
  FScanDistance = second - FScanFirst;
  FScanBytes = {first[0], first[1], last[0], last[1]};
  FScanReady = true;
}

bool TOndEditSearch::TestWholeWord(std::string_view text, std::size_t start) const {
  const std::size_t end = start + static_cast<std::size_t>(FPatLen);
  const bool before = start == 0 || FDelimTable[static_cast<unsigned char>(text[start - 1])];
  const bool after = end >= text.size() || FDelimTable[static_cast<unsigned char>(text[end])];
  return before && after;
}

bool TOndEditSearch::EqualsAt(const unsigned char* text) const {
  const auto* p = reinterpret_cast<const unsigned char*>(FFolded.data());
  for (std::size_t k = 0; k < FFolded.size(); ++k)
    if (FTrans[text[k]] != p[k]) return false;
  return true;
}

bool TOndEditSearch::MatchesAt(std::string_view text, std::size_t start) const {
  return EqualsAt(reinterpret_cast<const unsigned char*>(text.data()) + start) && (!FWhole || TestWholeWord(text, start));
}

int TOndEditSearch::FindAll(std::string_view newText) {
  FResults.clear();
  if (!FScanReady) PrepareScan();
  const auto m = static_cast<std::size_t>(FPatLen);
  if (newText.size() < m) return 0;
  // Matches do not overlap: after one, the next may start only past its end.
  std::size_t next = 0;
  auto take = [&](std::size_t start) {
    if (start >= next && MatchesAt(newText, start)) {
      FResults.push_back(static_cast<int>(start + 1));
      next = start + m;
    }
    return false;
  };
  const std::size_t lastStart = newText.size() - m;
  const auto* text = reinterpret_cast<const unsigned char*>(newText.data());
  if (FUseScan) {
    FScan.Scan(text + FScanFirst, 0, lastStart, take);
  } else {
    for (std::size_t start = 0; start <= lastStart; ++start) take(start);
  }
  return static_cast<int>(FResults.size());
}

bool TOndEditSearch::CanSkipText() {
  if (!FScanReady) PrepareScan();
  return FUseScan;
}

std::size_t TOndEditSearch::FirstCandidate(std::string_view aText, std::size_t aFrom) {
  if (!FScanReady) PrepareScan();
  const auto m = static_cast<std::size_t>(FPatLen);
  if (aText.size() < m || aFrom > aText.size() - m) return aText.size();
  if (!FUseScan) return aFrom;
  const auto* text = reinterpret_cast<const unsigned char*>(aText.data());
  const std::size_t lastStart = aText.size() - m;
  auto equal = [&](std::size_t start) { return EqualsAt(text + start); };
#if OND_SCAN_AVX2
  if (HasAvx2()) {
    const bool twoCases = FScanBytes[0] != FScanBytes[1] || FScanBytes[2] != FScanBytes[3];
    const std::size_t at =
        twoCases ? ScanPairsAvx2<true>(text + FScanFirst, aFrom, lastStart, FScanDistance, FScanBytes, equal)
                 : ScanPairsAvx2<false>(text + FScanFirst, aFrom, lastStart, FScanDistance, FScanBytes, equal);
    return at <= lastStart ? at : aText.size();
  }
#endif
  std::size_t found = aText.size();
  FScan.Scan(text + FScanFirst, aFrom, lastStart, [&](std::size_t start) {
    if (!equal(start)) return false;
    found = start;
    return true;
  });
  return found;
}

int TOndEditSearch::GetResult(int index) const {
  if (index < 0 || index >= GetResultCount()) return 0;
  return FResults[static_cast<std::size_t>(index)];
}

int TOndEditSearch::GetLength(int) const { return FPatLen; }

std::string TOndEditSearch::Replace(const std::string&, const std::string& aReplacement) { return aReplacement; }

}  // namespace ond
