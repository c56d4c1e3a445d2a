#include "search/OndEditSearch.h"

#include <algorithm>
#include <string_view>

#include "platform/core/CodePage.h"

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
  std::size_t found = aText.size();
  FScan.Scan(text + FScanFirst, aFrom, lastStart, [&](std::size_t start) {
    if (!EqualsAt(text + start)) return false;
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
