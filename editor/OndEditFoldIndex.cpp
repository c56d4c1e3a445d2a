#include "editor/OndEditFoldIndex.h"

#include <algorithm>
#include <numeric>

#include "editor/OndEditCodeFolding.h"

namespace ond {

namespace {

// Entries per block of the closing-line maxima: a range reaching down into
// the painted lines from far above is found by skipping whole blocks.
constexpr std::size_t kBlock = 64;

// The half-open stretch of Keys (sorted) equal to Key.
std::pair<std::size_t, std::size_t> EqualStretch(const std::vector<std::int32_t>& Keys, std::int32_t Key) noexcept {
  const auto [lo, hi] = std::equal_range(Keys.begin(), Keys.end(), Key);
  return {static_cast<std::size_t>(lo - Keys.begin()), static_cast<std::size_t>(hi - Keys.begin())};
}

std::size_t CountBelow(const std::vector<std::int32_t>& Keys, std::int32_t Key) noexcept {
  return static_cast<std::size_t>(std::lower_bound(Keys.begin(), Keys.end(), Key) - Keys.begin());
}

}  // namespace

namespace {

// What the index keeps of a visible range, read from it once: a million
// ranges lie all over the heap, and every visit to one is a cache miss.
struct TIndexed {
  TOndEditFoldRange* Range;
  std::int32_t From, To;
  std::int64_t Hidden;  // collapsed: its hidden lines plus one; else none
  bool Collapsed, Lines;
};

using TLineKey = std::pair<std::int32_t, std::uint32_t>;  // a line, then the flat place

// Sorts keys that mostly come in order already (ranges are found in line
// order; only the ends of nested ranges come before those of their sub
// ranges): the stretches in order are found and merged, a pass for each
// halving of their number.
void SortByStretches(std::vector<TLineKey>& Keys) {
  std::vector<std::size_t> bounds{0};
  for (std::size_t i = 1; i < Keys.size(); ++i)
    if (Keys[i] < Keys[i - 1]) bounds.push_back(i);
  bounds.push_back(Keys.size());
  while (bounds.size() > 2) {
    std::vector<std::size_t> next{0};
    for (std::size_t k = 0; k + 2 < bounds.size(); k += 2) {
      std::inplace_merge(Keys.begin() + static_cast<std::ptrdiff_t>(bounds[k]),
                         Keys.begin() + static_cast<std::ptrdiff_t>(bounds[k + 1]),
                         Keys.begin() + static_cast<std::ptrdiff_t>(bounds[k + 2]));
      next.push_back(bounds[k + 2]);
    }
    if (next.back() != bounds.back()) next.push_back(bounds.back());
    bounds = std::move(next);
  }
}

}  // namespace

void TOndFoldIndex::Build(const std::vector<std::unique_ptr<TOndEditFoldRange>>& Flat) {
  std::vector<TIndexed> ranges;
  ranges.reserve(Flat.size());
  for (const auto& owned : Flat) {
    TOndEditFoldRange* r = owned.get();
    if (r->ParentCollapsed) continue;
    ranges.push_back({r, r->FromLine, r->ToLine, r->Collapsed ? static_cast<std::int64_t>(r->HiddenLineCount()) + 1 : 0,
                      r->Collapsed, r->HasLines()});
  }
  // Keyed by the flat place too: ranges on one line stay in flat order,
  // which the queries keep.
  std::vector<TLineKey> byFrom(ranges.size()), byTo;
  for (std::size_t i = 0; i < ranges.size(); ++i) {
    byFrom[i] = {ranges[i].From, static_cast<std::uint32_t>(i)};
    if (!ranges[i].Collapsed) byTo.emplace_back(ranges[i].To, static_cast<std::uint32_t>(i));
  }
  SortByStretches(byFrom);
  SortByStretches(byTo);

  const std::size_t n = ranges.size();
  FByFrom.resize(n);
  FFrom.resize(n);
  FTo.resize(n);
  FHiddenBefore.assign(n + 1, 0);
  FCollapsedBefore.assign(n + 1, 0);
  FExpandedMaxTo.assign(n + 1, INT32_MIN);
  FBlockMaxTo.assign((n + kBlock - 1) / kBlock, INT32_MIN);
  for (std::size_t i = 0; i < n; ++i) {
    const TIndexed& r = ranges[byFrom[i].second];
    FByFrom[i] = r.Range;
    FFrom[i] = r.From;
    FTo[i] = r.To;
    FBlockMaxTo[i / kBlock] = std::max(FBlockMaxTo[i / kBlock], r.To);
    FHiddenBefore[i + 1] = FHiddenBefore[i] + r.Hidden;
    FCollapsedBefore[i + 1] = FCollapsedBefore[i] + (r.Collapsed ? 1 : 0);
    FExpandedMaxTo[i + 1] = r.Collapsed || !r.Lines ? FExpandedMaxTo[i] : std::max(FExpandedMaxTo[i], r.To);
  }
  FExpandedByTo.resize(byTo.size());
  FExpandedTo.resize(byTo.size());
  FExpandedWithLines.resize(byTo.size());
  for (std::size_t i = 0; i < byTo.size(); ++i) {
    const TIndexed& r = ranges[byTo[i].second];
    FExpandedByTo[i] = r.Range;
    FExpandedTo[i] = r.To;
    FExpandedWithLines[i] = r.Lines;
  }
}

void TOndFoldIndex::Shift(std::int32_t Line, std::int32_t Delta) noexcept {
  // Monotone on the lines the ranges have, so every sorted list stays sorted
  // and ranges on one line stay together in their order.
  const auto moved = [Line, Delta](std::int32_t& V) {
    if (V > Line) V += Delta;
  };
  for (auto it = std::upper_bound(FFrom.begin(), FFrom.end(), Line); it != FFrom.end(); ++it) *it += Delta;
  for (auto it = std::upper_bound(FExpandedTo.begin(), FExpandedTo.end(), Line); it != FExpandedTo.end(); ++it)
    *it += Delta;
  for (std::int32_t& v : FTo) moved(v);
  for (std::int32_t& v : FBlockMaxTo) moved(v);
  for (std::int32_t& v : FExpandedMaxTo) moved(v);
}

TOndEditFoldRange* TOndFoldIndex::StartingAt(std::int32_t Line) const noexcept {
  const auto [lo, hi] = EqualStretch(FFrom, Line);
  return lo < hi ? FByFrom[lo] : nullptr;
}

TOndEditFoldRange* TOndFoldIndex::WithLinesAt(std::int32_t Line, std::int32_t* Position,
                                              const TOndEditFoldRange* Other) const noexcept {
  const auto [lo, hi] = EqualStretch(FFrom, Line);
  for (std::size_t i = lo; i < hi; ++i) {
    if (!FByFrom[i]->HasLines() || FByFrom[i] == Other) continue;
    if (Position != nullptr) *Position = static_cast<std::int32_t>(i - lo) + 1;
    return FByFrom[i];
  }
  return nullptr;
}

TOndEditFoldRange* TOndFoldIndex::ExpandedEndingAt(std::int32_t Line) const noexcept {
  const auto [lo, hi] = EqualStretch(FExpandedTo, Line);
  return lo < hi ? FExpandedByTo[lo] : nullptr;
}

bool TOndFoldIndex::ExpandedWithLinesEndsAt(std::int32_t Line) const noexcept {
  const auto [lo, hi] = EqualStretch(FExpandedTo, Line);
  for (std::size_t i = lo; i < hi; ++i)
    if (FExpandedWithLines[i]) return true;
  return false;
}

bool TOndFoldIndex::InsideExpanded(std::int32_t Line) const noexcept {
  return FExpandedMaxTo[CountBelow(FFrom, Line)] > Line;
}

std::int64_t TOndFoldIndex::HiddenAbove(std::int32_t Line) const noexcept {
  return FHiddenBefore[CountBelow(FFrom, Line)];
}

bool TOndFoldIndex::CollapsedBetween(std::int32_t First, std::int32_t Last) const noexcept {
  if (First > Last) return false;
  const auto end = static_cast<std::size_t>(std::upper_bound(FFrom.begin(), FFrom.end(), Last) - FFrom.begin());
  return FCollapsedBefore[end] > FCollapsedBefore[CountBelow(FFrom, First)];
}

std::vector<TOndEditFoldRange*> TOndFoldIndex::Over(std::int32_t First, std::int32_t Last) const {
  std::vector<TOndEditFoldRange*> out;
  const std::size_t above = CountBelow(FFrom, First);
  for (std::size_t b = 0; b * kBlock < above; ++b) {
    if (FBlockMaxTo[b] < First) continue;
    for (std::size_t i = b * kBlock; i < std::min(above, (b + 1) * kBlock); ++i)
      if (FTo[i] >= First) out.push_back(FByFrom[i]);
  }
  for (std::size_t i = above; i < FByFrom.size() && FFrom[i] <= Last; ++i)
    if (FTo[i] >= First) out.push_back(FByFrom[i]);
  return out;
}

}  // namespace ond
