#include "editor/OndEditCodeFolding.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "editor/OndEditMiscProcs.h"
#include "platform/core/CodePage.h"
#include "platform/core/SysUtils.h"

namespace ond {

namespace {

[[noreturn]] void ListIndexError(int Index) {
  throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

std::int32_t Clamp32(std::int64_t V) noexcept {
  return V > INT32_MAX ? INT32_MAX : (V < INT32_MIN ? INT32_MIN : static_cast<std::int32_t>(V));
}

}  // namespace

// ------------------------------------------------------------ regions

TFoldRegionItem::TFoldRegionItem() : FSubFoldRegions(std::make_unique<TFoldRegions>()) {}

TFoldRegionItem::~TFoldRegionItem() = default;

TSkipRegionItem* TSkipRegions::Add(std::string_view Open, std::string_view Close, TSkipRegionItemType RegionType,
                                   std::string_view Escape) {
  auto item = std::make_unique<TSkipRegionItem>();
  item->Open = std::string(Open);
  item->Close = std::string(Close);
  item->RegionType = RegionType;
  item->Escape = std::string(Escape);
  FItems.push_back(std::move(item));
  return FItems.back().get();
}

TSkipRegionItem* TSkipRegions::Items(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return FItems[static_cast<std::size_t>(Index)].get();
}

TFoldRegionItem* TFoldRegions::Add(TFoldRegionType RegionType, bool AddEnding, bool AllowNoSubs, bool WholeWords,
                                   std::string_view Open, std::string_view Close) {
  auto item = std::make_unique<TFoldRegionItem>();
  item->RegionType = RegionType;
  item->AddEnding = AddEnding;
  item->AllowNoSubs = AllowNoSubs;
  item->WholeWords = WholeWords;
  item->Open = std::string(Open);
  item->Close = std::string(Close);
  FItems.push_back(std::move(item));
  return FItems.back().get();
}

TFoldRegionItem* TFoldRegions::Items(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return FItems[static_cast<std::size_t>(Index)].get();
}

bool IsFoldWordChar(char C) noexcept {
  const auto u = static_cast<unsigned char>(C);
  return C == '_' || (u >= '0' && u <= '9') || IsAnsiAlpha(u);
}

bool FoldTokenAt(std::string_view Text, std::size_t Pos, std::string_view Token, TFoldRegionType RegionType,
                 bool WholeWords) noexcept {
  if (Token.empty() || Pos >= Text.size()) return false;
  const std::size_t len = RegionType == frtChar ? 1 : Token.size();
  if (len > Text.size() - Pos) return false;
  if (Text.compare(Pos, len, Token.substr(0, len)) != 0) return false;
  if (WholeWords) {
    if (Pos > 0 && IsFoldWordChar(Text[Pos - 1])) return false;
    if (Pos + len < Text.size() && IsFoldWordChar(Text[Pos + len])) return false;
  }
  return true;
}

// ------------------------------------------------------------ range lists

TOndEditFoldRanges::~TOndEditFoldRanges() { DropAll(); }

void TOndEditFoldRanges::DropAll() noexcept {
  for (TOndEditFoldRange* r : FRanges)
    if (r->FContainer == this) r->FContainer = nullptr;
  FRanges.clear();
}

TOndEditFoldRange* TOndEditFoldRanges::Items(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return FRanges[static_cast<std::size_t>(Index)];
}

int TOndEditFoldRanges::Add(TOndEditFoldRange* Range) {
  Insert(Count(), Range);
  return Count() - 1;
}

void TOndEditFoldRanges::Insert(int Index, TOndEditFoldRange* Range) {
  if (Range == nullptr) return;
  if (TOndEditFoldRanges* holder = Range->FContainer) {
    const int old = holder->Remove(Range);
    if (holder == this && old >= 0 && old < Index) --Index;
  }
  if (Index < 0 || Index > Count()) ListIndexError(Index);
  FRanges.insert(FRanges.begin() + Index, Range);
  Range->FContainer = this;
}

void TOndEditFoldRanges::Delete(int Index) {
  TOndEditFoldRange* r = Items(Index);
  FRanges.erase(FRanges.begin() + Index);
  r->FContainer = nullptr;
}

int TOndEditFoldRanges::Remove(TOndEditFoldRange* Range) noexcept {
  const int i = IndexOf(Range);
  if (i < 0) return -1;
  FRanges.erase(FRanges.begin() + i);
  Range->FContainer = nullptr;
  return i;
}

void TOndEditFoldRanges::Unlink(TOndEditFoldRange* Range) noexcept {
  const auto it = std::find(FRanges.begin(), FRanges.end(), Range);
  if (it != FRanges.end()) FRanges.erase(it);
}

int TOndEditFoldRanges::IndexOf(const TOndEditFoldRange* Range) const noexcept {
  const auto it = std::find(FRanges.begin(), FRanges.end(), Range);
  return it == FRanges.end() ? -1 : static_cast<int>(it - FRanges.begin());
}

void TOndEditFoldRanges::Clear() noexcept { DropAll(); }

// ------------------------------------------------------------ ranges

TOndEditFoldRange::~TOndEditFoldRange() {
  if (FContainer != nullptr) FContainer->Unlink(this);
}

void TOndEditFoldRange::Move(std::int32_t Count) noexcept {
  FromLine = Clamp32(static_cast<std::int64_t>(FromLine) + Count);
  ToLine = Clamp32(static_cast<std::int64_t>(ToLine) + Count);
}

void TOndEditFoldRange::Widen(std::int32_t Count) noexcept {
  ToLine = Clamp32(static_cast<std::int64_t>(ToLine) + Count);
}

// The walks below use an explicit stack: deeply nested text (thousands of
// open brackets) must not exhaust the call stack.

std::int32_t TOndEditFoldRange::HiddenInSubRanges() const noexcept {
  std::int64_t sum = 0;
  std::vector<const TOndEditFoldRange*> stack(SubFoldRanges.FRanges.begin(), SubFoldRanges.FRanges.end());
  while (!stack.empty()) {
    const TOndEditFoldRange* r = stack.back();
    stack.pop_back();
    if (r->Collapsed) sum += static_cast<std::int64_t>(r->LinesCollapsed) + 1;
    stack.insert(stack.end(), r->SubFoldRanges.FRanges.begin(), r->SubFoldRanges.FRanges.end());
  }
  return Clamp32(sum);
}

std::int32_t TOndEditFoldRange::HiddenLineCount() const noexcept {
  return Clamp32(static_cast<std::int64_t>(HiddenInSubRanges()) + LinesCollapsed);
}

void TOndEditFoldRange::SetParentCollapsed(bool Value, std::int32_t ALevel) noexcept {
  std::vector<TOndEditFoldRange*> stack(SubFoldRanges.FRanges.rbegin(), SubFoldRanges.FRanges.rend());
  while (!stack.empty()) {
    TOndEditFoldRange* r = stack.back();
    stack.pop_back();
    if (r->CollapsingLevel == -1 || r->CollapsingLevel == ALevel) {
      r->ParentCollapsed = Value;
      r->CollapsingLevel = Value ? ALevel : -1;
    }
    stack.insert(stack.end(), r->SubFoldRanges.FRanges.rbegin(), r->SubFoldRanges.FRanges.rend());
  }
}

void TOndEditFoldRange::SetLevel(std::int32_t ALevel) noexcept {
  std::vector<std::pair<TOndEditFoldRange*, std::int32_t>> stack{{this, ALevel}};
  while (!stack.empty()) {
    auto [r, level] = stack.back();
    stack.pop_back();
    r->Level = level;
    if (r->ParentCollapsed) r->CollapsingLevel = level - 1;
    for (auto it = r->SubFoldRanges.FRanges.rbegin(); it != r->SubFoldRanges.FRanges.rend(); ++it)
      stack.emplace_back(*it, level + 1);
  }
}

// ------------------------------------------------------------ the whole tree

TOndEditAllFoldRanges::~TOndEditAllFoldRanges() { FreeAllRanges(); }

void TOndEditAllFoldRanges::CheckAllIndex(int Index, bool ForInsert) const {
  if (Index < 0 || Index > AllCount() || (!ForInsert && Index == AllCount())) ListIndexError(Index);
}

TOndEditFoldRange* TOndEditAllFoldRanges::AllRanges(int Index) const {
  CheckAllIndex(Index, false);
  return FAllRanges[static_cast<std::size_t>(Index)].get();
}

int TOndEditAllFoldRanges::AllIndexOf(const TOndEditFoldRange* Range) const noexcept {
  for (std::size_t i = 0; i < FAllRanges.size(); ++i)
    if (FAllRanges[i].get() == Range) return static_cast<int>(i);
  return -1;
}

TOndEditFoldRange* TOndEditAllFoldRanges::AllAdd(std::unique_ptr<TOndEditFoldRange> Range) {
  return AllInsert(AllCount(), std::move(Range));
}

TOndEditFoldRange* TOndEditAllFoldRanges::AllInsert(int Index, std::unique_ptr<TOndEditFoldRange> Range) {
  if (!Range) return nullptr;
  CheckAllIndex(Index, true);
  Range->AllFoldRanges = this;
  FAllRanges.insert(FAllRanges.begin() + Index, std::move(Range));
  return FAllRanges[static_cast<std::size_t>(Index)].get();
}

std::unique_ptr<TOndEditFoldRange> TOndEditAllFoldRanges::AllExtract(int Index) {
  CheckAllIndex(Index, false);
  std::unique_ptr<TOndEditFoldRange> r = std::move(FAllRanges[static_cast<std::size_t>(Index)]);
  FAllRanges.erase(FAllRanges.begin() + Index);
  return r;
}

void TOndEditAllFoldRanges::AllDelete(int Index) { AllExtract(Index).reset(); }

void TOndEditAllFoldRanges::FreeAllRanges() noexcept {
  // Unlink the lists that go away first so that freeing costs no searches;
  // a range in the sub list of a detached range (held by an undo record)
  // leaves that list as it is freed.
  DropAll();
  for (auto& r : FAllRanges) r->SubFoldRanges.DropAll();
  FAllRanges.clear();
}

void TOndEditAllFoldRanges::Assign(const TOndEditAllFoldRanges& Source) {
  if (&Source == this) return;
  FreeAllRanges();
  // Tree order: a range, then its sub ranges, then its next sibling.
  std::vector<std::pair<const TOndEditFoldRange*, TOndEditFoldRanges*>> stack;
  for (auto it = Source.FRanges.rbegin(); it != Source.FRanges.rend(); ++it) stack.emplace_back(*it, this);
  while (!stack.empty()) {
    auto [s, parent] = stack.back();
    stack.pop_back();
    TOndEditFoldRange* d = AddFoldRange(parent, this, s->FromLine, s->ToLine, s->FoldRegion, s->Level, s->IndentLevel);
    d->LinesCollapsed = s->LinesCollapsed;
    d->CollapsingLevel = s->CollapsingLevel;
    d->Collapsed = s->Collapsed;
    d->ParentCollapsed = s->ParentCollapsed;
    d->CollapsedLines.Assign(s->CollapsedLines);
    for (auto it = s->SubFoldRanges.FRanges.rbegin(); it != s->SubFoldRanges.FRanges.rend(); ++it)
      stack.emplace_back(*it, &d->SubFoldRanges);
  }
}

TOndEditFoldRange* AddFoldRange(TOndEditFoldRanges* Parent, TOndEditAllFoldRanges* All, std::int32_t FromLine,
                                std::int32_t ToLine, TFoldRegionItem* FoldRegion, std::int32_t Level,
                                std::int32_t IndentLevel) {
  if (All == nullptr) throw EListError("A fold range needs its tree");
  auto range = std::make_unique<TOndEditFoldRange>();
  range->FromLine = FromLine;
  range->ToLine = ToLine;
  range->FoldRegion = FoldRegion;
  range->Level = Level;
  range->IndentLevel = IndentLevel;
  TOndEditFoldRange* r = All->AllAdd(std::move(range));
  if (Parent != nullptr) Parent->Add(r);
  return r;
}

// ------------------------------------------------------------ colours

void RGBToHSL(TColor Color, std::int32_t& H, std::int32_t& S, std::int32_t& L) {
  const TColor c = ColorToRGB(Color);
  const int r = static_cast<int>(c & 0xFF);
  const int g = static_cast<int>((c >> 8) & 0xFF);
  const int b = static_cast<int>((c >> 16) & 0xFF);
  const int mx = std::max({r, g, b});
  const int mn = std::min({r, g, b});
  L = (mx + mn) * 100 / 510;
  if (mx == mn) {
    H = 0;
    S = 0;
    return;
  }
  const int delta = mx - mn;
  S = L > 50 ? delta * 100 / (510 - (mx + mn)) : delta * 100 / (mx + mn);
  const double f = 60.0 / delta;
  double h;
  if (r == mx)
    h = (g - b) * f + (b > g ? 360 : 0);
  else if (g == mx)
    h = (b - r) * f + 120;
  else
    h = (r - g) * f + 240;
  H = static_cast<std::int32_t>(Round(h));
}

TColor HSLToRGB(std::int32_t H, std::int32_t S, std::int32_t L) {
  auto byte = [](double v) -> TColor {
    const double c = std::ceil(v * 255.0);
    return static_cast<TColor>(c < 0 ? 0 : (c > 255 ? 255 : c));
  };
  if (S == 0) {
    const std::int64_t g = Round(L * 2.55);
    const TColor v = static_cast<TColor>(g < 0 ? 0 : (g > 255 ? 255 : g));
    return v | (v << 8) | (v << 16);
  }
  const double l = L / 100.0;
  const double s = S / 100.0;
  const double m1 = l < 0.5 ? (1 - s) * l : l - (1 - l) * s;
  const double m2 = 2 * l - m1;
  const double h = H / 60.0;
  const double d = m2 - m1;
  int sector = H / 60;
  if (sector > 4) sector = 5;
  if (sector < 0) sector = 0;
  double r, g, b;
  switch (sector) {
    case 0: r = m2; g = m1 + h * d; b = m1; break;
    case 1: r = m1 + (2 - h) * d; g = m2; b = m1; break;
    case 2: r = m1; g = m2; b = m1 + (h - 2) * d; break;
    case 3: r = m1; g = m1 + (4 - h) * d; b = m2; break;
    case 4: r = m1 + (h - 4) * d; g = m1; b = m2; break;
    default: r = m2; g = m1; b = m1 + (6 - h) * d; break;
  }
  return byte(r) | (byte(g) << 8) | (byte(b) << 16);
}

}  // namespace ond
