// The fold tree's own bookkeeping: the ordered lists of ranges, a range's
// lines and fold state, and the whole tree with its flat list, postponed
// scan, index by line, and the ranges it retires and frees in pieces.
#include <algorithm>
#include <chrono>
#include <unordered_set>
#include <utility>

#include "editor/OndEditCodeFolding.h"
#include "platform/core/ScopeGuard.h"
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
  Range->TreeChanged();
}

void TOndEditFoldRanges::Delete(int Index) {
  TOndEditFoldRange* r = Items(Index);
  FRanges.erase(FRanges.begin() + Index);
  r->FContainer = nullptr;
  r->TreeChanged();
}

int TOndEditFoldRanges::Remove(TOndEditFoldRange* Range) noexcept {
  const int i = IndexOf(Range);
  if (i < 0) return -1;
  FRanges.erase(FRanges.begin() + i);
  Range->FContainer = nullptr;
  Range->TreeChanged();
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

namespace {
// The first entry of a list in line order starting on Line or below.
std::vector<TOndEditFoldRange*>::const_iterator FirstOnOrBelow(const std::vector<TOndEditFoldRange*>& List,
                                                                std::int32_t Line) {
  return std::partition_point(List.begin(), List.end(),
                              [Line](const TOndEditFoldRange* r) { return r->FromLine < Line; });
}
}  // namespace

std::vector<TOndEditFoldRange*> TOndEditFoldRanges::RangesOnLines(std::int32_t First, std::int32_t Until) const {
  return {FirstOnOrBelow(FRanges, First), FirstOnOrBelow(FRanges, Until)};
}

TOndEditFoldRange* TOndEditFoldRanges::LastAbove(std::int32_t Line) const noexcept {
  const auto it = FirstOnOrBelow(FRanges, Line);
  return it == FRanges.begin() ? nullptr : *(it - 1);
}

void TOndEditFoldRanges::ReplaceLines(std::int32_t First, std::int32_t Until,
                                      const std::vector<TOndEditFoldRange*>& Ranges) {
  const auto from = FirstOnOrBelow(FRanges, First) - FRanges.begin();
  const auto to = FirstOnOrBelow(FRanges, Until) - FRanges.begin();
  for (auto i = from; i < to; ++i) {
    TOndEditFoldRange* r = FRanges[static_cast<std::size_t>(i)];
    if (r->FContainer == this) r->FContainer = nullptr;
  }
  FRanges.erase(FRanges.begin() + from, FRanges.begin() + to);
  FRanges.insert(FRanges.begin() + from, Ranges.begin(), Ranges.end());
  for (TOndEditFoldRange* r : Ranges) {
    r->FContainer = this;
    r->TreeChanged();
  }
}

void TOndEditFoldRanges::TakeFrom(TOndEditFoldRanges& Source, std::int32_t First) {
  const auto from = FirstOnOrBelow(Source.FRanges, First);
  const std::size_t at = FRanges.size();
  FRanges.insert(FRanges.end(), from, Source.FRanges.cend());
  Source.FRanges.erase(from, Source.FRanges.cend());
  for (std::size_t i = at; i < FRanges.size(); ++i) {
    FRanges[i]->FContainer = this;
    FRanges[i]->TreeChanged();
  }
}

// ------------------------------------------------------------ ranges

TOndEditFoldRange::~TOndEditFoldRange() {
  if (FContainer != nullptr) FContainer->Unlink(this);
}

void TOndEditFoldRange::TreeChanged() const noexcept {
  if (AllFoldRanges != nullptr) AllFoldRanges->IndexChanged();
}

void TOndEditFoldRange::Move(std::int32_t Count) noexcept {
  FromLine = Clamp32(static_cast<std::int64_t>(FromLine) + Count);
  ToLine = Clamp32(static_cast<std::int64_t>(ToLine) + Count);
  TreeChanged();
}

void TOndEditFoldRange::Widen(std::int32_t Count) noexcept {
  ToLine = Clamp32(static_cast<std::int64_t>(ToLine) + Count);
  TreeChanged();
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
  TreeChanged();
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

TOndEditAllFoldRanges::~TOndEditAllFoldRanges() {
  FreeAllRanges();
  UnlinkRetiring(std::chrono::steady_clock::time_point::max());
}

void TOndEditAllFoldRanges::CheckAllIndex(int Index, bool ForInsert) const {
  if (Index < 0 || Index > AllCount() || (!ForInsert && Index == AllCount())) ListIndexError(Index);
}

TOndEditFoldRange* TOndEditAllFoldRanges::AllRanges(int Index) const {
  CheckAllIndex(Index, false);
  return FAllRanges[static_cast<std::size_t>(Index)].get();
}

int TOndEditAllFoldRanges::AllIndexOf(const TOndEditFoldRange* Range) const {
  Settle();
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
  IndexChanged();
  return FAllRanges[static_cast<std::size_t>(Index)].get();
}

std::unique_ptr<TOndEditFoldRange> TOndEditAllFoldRanges::AllExtract(int Index) {
  Settle();
  CheckAllIndex(Index, false);
  std::unique_ptr<TOndEditFoldRange> r = std::move(FAllRanges[static_cast<std::size_t>(Index)]);
  FAllRanges.erase(FAllRanges.begin() + Index);
  // Out of the flat list it belongs to no tree (an undo record may keep it
  // longer than the tree lives).
  r->AllFoldRanges = nullptr;
  ++FRemovals;
  IndexChanged();
  return r;
}

void TOndEditAllFoldRanges::AllDelete(int Index) { AllExtract(Index).reset(); }

void TOndEditAllFoldRanges::FreeAllRanges() noexcept {
  // Unlink the lists that go away first so that freeing costs no searches;
  // a range in the sub list of a detached range (held by an undo record)
  // leaves that list as it is freed.
  DropAll();
  for (auto& r : FAllRanges) r->SubFoldRanges.DropAll();
  FRangesWalked += FAllRanges.size();
  FAllRanges.clear();
  FPendingScan = nullptr;
  FStateCrossesLines = false;
  FAdoptNamed = 0;
  FAdoptIndex.reset();
  ++FRemovals;
  IndexChanged();
}

void TOndEditAllFoldRanges::UnlinkGone(const std::vector<TOndEditFoldRange*>& Gone,
                                       const std::unordered_set<const TOndEditFoldRange*>& GoneSet) {
  // Out of their lists first, each list walked once, so that freeing them
  // searches no list (a list may hold a million ranges).
  for (TOndEditFoldRange* r : Gone) r->SubFoldRanges.DropAll();
  std::unordered_set<TOndEditFoldRanges*> lists;
  for (TOndEditFoldRange* r : Gone)
    if (r->FContainer != nullptr) {
      lists.insert(r->FContainer);
      r->FContainer = nullptr;
    }
  for (TOndEditFoldRanges* l : lists)
    std::erase_if(l->FRanges, [&GoneSet](const TOndEditFoldRange* r) { return GoneSet.count(r) != 0; });
}

void TOndEditAllFoldRanges::SpliceRanges(const std::vector<TOndEditFoldRange*>& Gone, std::int32_t First,
                                         TOndEditAllFoldRanges& From) {
  Settle();
  NoteWholeWalk();
  const std::unordered_set<const TOndEditFoldRange*> gone(Gone.begin(), Gone.end());
  UnlinkGone(Gone, gone);
  std::vector<std::unique_ptr<TOndEditFoldRange>> all;
  all.reserve(FAllRanges.size() - std::min(FAllRanges.size(), Gone.size()) + From.FAllRanges.size());
  bool placed = false;
  auto place = [&] {
    for (auto& r : From.FAllRanges) {
      r->AllFoldRanges = this;
      all.push_back(std::move(r));
    }
    From.FAllRanges.clear();
    placed = true;
  };
  for (auto& r : FAllRanges) {
    if (gone.count(r.get()) != 0) {
      r->AllFoldRanges = nullptr;
      r.reset();
      continue;
    }
    if (!placed && !r->ParentCollapsed && r->FromLine >= First) place();
    all.push_back(std::move(r));
  }
  if (!placed) place();
  FAllRanges = std::move(all);
  From.IndexChanged();
  ++FRemovals;
  IndexChanged();
}

bool TOndEditAllFoldRanges::SpliceRangesAt(std::size_t At, const std::vector<TOndEditFoldRange*>& Gone,
                                           TOndEditAllFoldRanges& From) {
  if (FPendingScan || At > FAllRanges.size() || Gone.size() > FAllRanges.size() - At) return false;
  const std::unordered_set<const TOndEditFoldRange*> gone(Gone.begin(), Gone.end());
  if (gone.size() != Gone.size()) return false;
  for (std::size_t i = At; i < At + Gone.size(); ++i)
    if (gone.count(FAllRanges[i].get()) == 0) return false;
  UnlinkGone(Gone, gone);
  const std::size_t g = Gone.size(), m = From.FAllRanges.size();
  const auto at = [this](std::size_t I) { return FAllRanges.begin() + static_cast<std::ptrdiff_t>(I); };
  for (std::size_t i = At; i < At + g; ++i) {
    FAllRanges[i]->AllFoldRanges = nullptr;
    FAllRanges[i].reset();
  }
  // The entries after the stretch move once.
  if (m > g) {
    const std::size_t size = FAllRanges.size();
    FAllRanges.resize(size + m - g);
    std::move_backward(at(At + g), at(size), FAllRanges.end());
  } else if (m < g) {
    FAllRanges.erase(at(At + m), at(At + g));
  }
  for (std::size_t k = 0; k < m; ++k) {
    From.FAllRanges[k]->AllFoldRanges = this;
    FAllRanges[At + k] = std::move(From.FAllRanges[k]);
  }
  From.FAllRanges.clear();
  From.IndexChanged();
  ++FRemovals;
  IndexChanged();
  return true;
}

void TOndEditAllFoldRanges::RetireFrom(TOndEditAllFoldRanges& Other) noexcept {
  // The top level is let go whole, without a visit to its ranges: they
  // still name it as their list until UnlinkRetiring clears that. Ranges
  // of an earlier retiring still in lists stay where they are in the walk:
  // no list holds ranges of two retired trees.
  Other.FRanges.clear();
  if (std::find(FRetiredFrom.begin(), FRetiredFrom.end(), &Other) == FRetiredFrom.end())
    FRetiredFrom.push_back(&Other);
  if (FRetiring.empty()) {
    FRetiring = std::move(Other.FAllRanges);
  } else {
    for (auto& r : Other.FAllRanges) FRetiring.push_back(std::move(r));
  }
  Other.FAllRanges.clear();
  Other.FPendingScan = nullptr;
  Other.FStateCrossesLines = false;
  Other.FAdoptNamed = 0;
  Other.FAdoptIndex.reset();
  // This tree changes only when it is Other.
  ++Other.FRemovals;
  Other.IndexChanged();
}

namespace {
// Ranges visited between two looks at the clock by the walks over a whole
// tree that run in idle-time pieces.
constexpr std::size_t kRangesAtOnce = 4096;
}  // namespace

bool TOndEditAllFoldRanges::UnlinkRetiring(std::chrono::steady_clock::time_point Until) noexcept {
  const std::size_t n = FRetiring.size();
  // Every sub list is let go: its ranges name no list then. A list of a
  // million ranges (the root object's) is let go over several pieces.
  while (FRetiringDropped < n) {
    std::size_t done = 0;
    while (done < kRangesAtOnce && FRetiringDropped < n) {
      TOndEditFoldRanges& list = FRetiring[FRetiringDropped]->SubFoldRanges;
      const std::size_t stop = std::min(list.FRanges.size(), FRetiringChild + (kRangesAtOnce - done));
      for (; FRetiringChild < stop; ++FRetiringChild, ++done) {
        TOndEditFoldRange* r = list.FRanges[FRetiringChild];
        if (r->FContainer == &list) r->FContainer = nullptr;
      }
      if (FRetiringChild < list.FRanges.size()) break;
      list.FRanges.clear();
      FRetiringChild = 0;
      ++FRetiringDropped;
      ++done;
    }
    FRangesWalked += done;
    if (FRetiringDropped < n && std::chrono::steady_clock::now() >= Until) return false;
  }
  // Then the ranges still naming a list: the top level of the tree they
  // came from, which let them go already, or a list outside it (a detached
  // range's), which they leave.
  while (FRetiringOut < n) {
    const std::size_t stop = std::min(n, FRetiringOut + kRangesAtOnce);
    FRangesWalked += stop - FRetiringOut;
    for (; FRetiringOut < stop; ++FRetiringOut) {
      TOndEditFoldRange* r = FRetiring[FRetiringOut].get();
      if (r->FContainer != nullptr &&
          std::find(FRetiredFrom.begin(), FRetiredFrom.end(), r->FContainer) == FRetiredFrom.end())
        r->FContainer->Unlink(r);
      r->FContainer = nullptr;
      r->AllFoldRanges = nullptr;
    }
    if (FRetiringOut < n && std::chrono::steady_clock::now() >= Until) return false;
  }
  if (FRetired.empty()) {
    FRetired = std::move(FRetiring);
  } else {
    for (auto& r : FRetiring) FRetired.push_back(std::move(r));
  }
  FRetiring.clear();
  FRetiredFrom.clear();
  FRetiringDropped = FRetiringOut = FRetiringChild = 0;
  return true;
}

bool TOndEditAllFoldRanges::FreeRetired(std::chrono::steady_clock::time_point Until) noexcept {
  if (!FRetiring.empty() && !UnlinkRetiring(Until)) return false;
  while (!FRetired.empty()) {
    const std::size_t n = std::min(kRangesAtOnce, FRetired.size());
    FRetired.resize(FRetired.size() - n);
    FRangesWalked += n;
    if (!FRetired.empty() && std::chrono::steady_clock::now() >= Until) return false;
  }
  FRetired.shrink_to_fit();
  return true;
}

bool TOndEditAllFoldRanges::PrepareAdoption(TOndEditAllFoldRanges& Into, std::chrono::steady_clock::time_point Until) {
  Settle();
  const std::size_t n = FAllRanges.size();
  while (FAdoptNamed < n) {
    const std::size_t stop = std::min(n, FAdoptNamed + kRangesAtOnce);
    Into.FRangesWalked += stop - FAdoptNamed;
    for (; FAdoptNamed < stop; ++FAdoptNamed) FAllRanges[FAdoptNamed]->AllFoldRanges = &Into;
    if (FAdoptNamed < n && std::chrono::steady_clock::now() >= Until) return false;
  }
  if (!FAdoptIndex) FAdoptIndex = std::make_unique<TOndFoldIndex::TPieces>();
  const std::size_t before = FAdoptIndex->RangesRead();
  const bool read = FAdoptIndex->Read(FAllRanges, Until);
  Into.FRangesWalked += FAdoptIndex->RangesRead() - before;
  return read;
}

void TOndEditAllFoldRanges::Adopt(TOndEditAllFoldRanges& Fresh) {
  Settle();
  // Whatever preparing is left runs now.
  Fresh.PrepareAdoption(*this, std::chrono::steady_clock::time_point::max());
  if (!FAllRanges.empty()) throw EListError("A fold tree takes another over only when empty");
  FRangesWalked += Fresh.FRanges.size();
  TakeFrom(Fresh, INT32_MIN);
  FAllRanges = std::move(Fresh.FAllRanges);
  Fresh.FAllRanges.clear();
  FStateCrossesLines = Fresh.FStateCrossesLines;
  Fresh.FStateCrossesLines = false;
  ++FRemovals;
  Fresh.FAdoptIndex->Finish(FIndex);
  Fresh.FAdoptIndex.reset();
  Fresh.FAdoptNamed = 0;
  Fresh.IndexChanged();
  FIndexStale = false;
  ++FIndexBuilds;
}

void TOndEditAllFoldRanges::Settle() const {
  if (!FPendingScan) return;
  // Taken out first: the scan fills this tree through the calls that settle.
  const TScanPiece scan = std::move(FPendingScan);
  FPendingScan = nullptr;
  scan(std::chrono::steady_clock::time_point::max());
}

bool TOndEditAllFoldRanges::ScanSome(std::chrono::steady_clock::time_point Until) {
  if (!FPendingScan) return true;
  TScanPiece scan = std::move(FPendingScan);
  FPendingScan = nullptr;
  // A piece that fails leaves no half tree behind.
  bool ran = false;
  const TScopeExit drop([&] {
    if (!ran) FreeAllRanges();
  });
  const bool complete = scan(Until);
  ran = true;
  if (complete) return true;
  FPendingScan = std::move(scan);
  return false;
}

const TOndFoldIndex& TOndEditAllFoldRanges::Index() const {
  Settle();
  if (FIndexStale) {
    FIndex.Build(FAllRanges);
    FRangesWalked += FAllRanges.size();
    FIndexStale = false;
    ++FIndexBuilds;
  }
  return FIndex;
}

bool TOndEditAllFoldRanges::IndexSome(std::chrono::steady_clock::time_point Until) {
  if (!FIndexStale) return true;
  if (!FIndexPieces) FIndexPieces = std::make_unique<TOndFoldIndex::TPieces>();
  const std::size_t before = FIndexPieces->RangesRead();
  const bool read = FIndexPieces->Read(FAllRanges, Until);
  FRangesWalked += FIndexPieces->RangesRead() - before;
  if (!read) return false;
  FIndexPieces->Finish(FIndex);
  FIndexPieces.reset();
  FIndexStale = false;
  ++FIndexBuilds;
  return true;
}

void TOndEditAllFoldRanges::Assign(const TOndEditAllFoldRanges& Source) {
  if (&Source == this) return;
  Source.Settle();
  FreeAllRanges();
  // Tree order: a range, then its sub ranges, then its next sibling.
  std::vector<std::pair<const TOndEditFoldRange*, TOndEditFoldRanges*>> stack;
  for (auto it = Source.FRanges.rbegin(); it != Source.FRanges.rend(); ++it) stack.emplace_back(*it, this);
  while (!stack.empty()) {
    auto [s, parent] = stack.back();
    stack.pop_back();
    TOndEditFoldRange* d = CopyFoldRange(*s, parent, this, 0);
    for (auto it = s->SubFoldRanges.FRanges.rbegin(); it != s->SubFoldRanges.FRanges.rend(); ++it)
      stack.emplace_back(*it, &d->SubFoldRanges);
  }
  FStateCrossesLines = Source.FStateCrossesLines;
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

TOndEditFoldRange* CopyFoldRange(const TOndEditFoldRange& Source, TOndEditFoldRanges* Parent,
                                 TOndEditAllFoldRanges* All, std::int64_t Delta) {
  TOndEditFoldRange* d =
      AddFoldRange(Parent, All, Clamp32(static_cast<std::int64_t>(Source.FromLine) + Delta),
                   Clamp32(static_cast<std::int64_t>(Source.ToLine) + Delta), Source.FoldRegion, Source.Level,
                   Source.IndentLevel);
  d->EndingRegion = Source.EndingRegion;
  d->ClosingBelow = Source.ClosingBelow;
  d->LinesCollapsed = Source.LinesCollapsed;
  d->CollapsingLevel = Source.CollapsingLevel;
  d->Collapsed = Source.Collapsed;
  d->ParentCollapsed = Source.ParentCollapsed;
  d->CollapsedLines.Assign(Source.CollapsedLines);
  return d;
}

}  // namespace ond
