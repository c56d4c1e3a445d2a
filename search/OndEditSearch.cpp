#include "search/OndEditSearch.h"

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
  for (int i = 0; i < 256; ++i)
    FDelimTable[static_cast<std::size_t>(i)] = !IsDefaultIdentChar(static_cast<unsigned char>(i));
}

void TOndEditSearch::SetPattern(const std::string& value) {
  if (value == FPattern) return;
  FPattern = value;
  FShiftInitialized = false;
}

void TOndEditSearch::SetOptions(TOndSearchOptions value) {
  const bool sensitive = (value & ssoMatchCase) != 0;
  FWhole = (value & ssoWholeWord) != 0;
  if (sensitive != FSensitive) {
    FSensitive = sensitive;
    MakeCaseTable();
    FShiftInitialized = false;
  }
}

void TOndEditSearch::InitShiftTable() {
  FPatLen = static_cast<int>(FPattern.size());
  if (FPatLen == 0) throw EOndEditSearchError("Pattern is empty");
  FPatLenSucc = FPatLen + 1;
  FLook = 1;
  FShift.fill(FPatLenSucc);
  if (FPatLen > MaxPatternLength) throw ERangeError("Range check error");
  for (int i = 1; i <= FPatLen; ++i)
    FShift[Fold(static_cast<unsigned char>(FPattern[static_cast<std::size_t>(i - 1)]))] = FPatLenSucc - i;
  const unsigned char last = Fold(static_cast<unsigned char>(FPattern[static_cast<std::size_t>(FPatLen - 1)]));
  while (FLook < FPatLen) {
    if (Fold(static_cast<unsigned char>(FPattern[static_cast<std::size_t>(FPatLen - 1 - FLook)])) == last) break;
    ++FLook;
  }
  FShiftInitialized = true;
}

bool TOndEditSearch::TestWholeWord(std::size_t windowStart) const {
  const std::size_t windowEnd = windowStart + static_cast<std::size_t>(FPatLen);
  const bool before = windowStart == 0 || FDelimTable[static_cast<unsigned char>(FText[windowStart - 1])];
  const bool after = windowEnd >= FText.size() || FDelimTable[static_cast<unsigned char>(FText[windowEnd])];
  return before && after;
}

int TOndEditSearch::Next() {
  const auto end = static_cast<std::int64_t>(FText.size());
  // The character past the line's end has the default shift, whatever the
  // pattern holds (the line may contain NUL bytes of its own).
  auto shiftAt = [&](std::int64_t at) {
    return at >= end ? FPatLenSucc : FShift[Fold(static_cast<unsigned char>(FText[static_cast<std::size_t>(at)]))];
  };
  const unsigned char last = Fold(static_cast<unsigned char>(FPattern[static_cast<std::size_t>(FPatLen - 1)]));
  FRun += FPatLen;
  while (FRun < end) {
    if (Fold(static_cast<unsigned char>(FText[static_cast<std::size_t>(FRun)])) == last) {
      const std::int64_t start = FRun - FPatLen + 1;
      int k = 0;
      while (k < FPatLen && Fold(static_cast<unsigned char>(FPattern[static_cast<std::size_t>(k)])) ==
                                Fold(static_cast<unsigned char>(FText[static_cast<std::size_t>(start + k)])))
        ++k;
      if (k == FPatLen && (!FWhole || TestWholeWord(static_cast<std::size_t>(start))))
        return static_cast<int>(start + 1);
      FRun += FLook;
      if (FRun >= end) return 0;
      FRun += shiftAt(FRun) - 1;
    } else {
      FRun += shiftAt(FRun + 1);
    }
  }
  return 0;
}

int TOndEditSearch::FindFirst(std::string_view text) {
  if (!FShiftInitialized) InitShiftTable();
  FText = text;
  if (static_cast<std::int64_t>(text.size()) < FPatLen) return 0;
  FRun = -1;
  return Next();
}

int TOndEditSearch::FindAll(std::string_view newText) {
  FResults.clear();
  int found = FindFirst(newText);
  while (found > 0) {
    FResults.push_back(found);
    found = Next();
  }
  FText = {};
  return static_cast<int>(FResults.size());
}

int TOndEditSearch::GetResult(int index) const {
  if (index < 0 || index >= GetResultCount()) return 0;
  return FResults[static_cast<std::size_t>(index)];
}

int TOndEditSearch::GetLength(int) const { return FPatLen; }

std::string TOndEditSearch::Replace(const std::string&, const std::string& aReplacement) { return aReplacement; }

}  // namespace ond
