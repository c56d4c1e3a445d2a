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

void TOndFoldIndex::Build(const std::vector<std::unique_ptr<TOndEditFoldRange>>& Flat) {
  FByFrom.clear();
  FExpandedByTo.clear();
  for (const auto& owned : Flat) {
    TOndEditFoldRange* r = owned.get();
    if (r->ParentCollapsed) continue;
    FByFrom.push_back(r);
    if (!r->Collapsed) FExpandedByTo.push_back(r);
  }
  // Stable: ranges on one line stay in flat order, which the queries keep.
  // The flat list is mostly in line order already; else the lines are
  // sorted with the places, not looked up through the ranges at each step.
  const auto byLine = [](std::vector<TOndEditFoldRange*>& Ranges, auto Line) {
    if (std::is_sorted(Ranges.begin(), Ranges.end(),
                       [&Line](const TOndEditFoldRange* A, const TOndEditFoldRange* B) { return Line(A) < Line(B); }))
      return;
    std::vector<std::pair<std::int32_t, std::uint32_t>> keys(Ranges.size());
    for (std::size_t i = 0; i < Ranges.size(); ++i) keys[i] = {Line(Ranges[i]), static_cast<std::uint32_t>(i)};
    std::sort(keys.begin(), keys.end());
    std::vector<TOndEditFoldRange*> sorted(Ranges.size());
    for (std::size_t i = 0; i < keys.size(); ++i) sorted[i] = Ranges[keys[i].second];
    Ranges = std::move(sorted);
  };
  byLine(FByFrom, [](const TOndEditFoldRange* R) { return R->FromLine; });
  byLine(FExpandedByTo, [](const TOndEditFoldRange* R) { return R->ToLine; });

  const std::size_t n = FByFrom.size();
  FFrom.resize(n);
  FTo.resize(n);
  FHiddenBefore.assign(n + 1, 0);
  FCollapsedBefore.assign(n + 1, 0);
  FExpandedMaxTo.assign(n + 1, INT32_MIN);
  FBlockMaxTo.assign((n + kBlock - 1) / kBlock, INT32_MIN);
  for (std::size_t i = 0; i < n; ++i) {
    const TOndEditFoldRange* r = FByFrom[i];
    FFrom[i] = r->FromLine;
    FTo[i] = r->ToLine;
    FBlockMaxTo[i / kBlock] = std::max(FBlockMaxTo[i / kBlock], r->ToLine);
    FHiddenBefore[i + 1] = FHiddenBefore[i] + (r->Collapsed ? static_cast<std::int64_t>(r->HiddenLineCount()) + 1 : 0);
    FCollapsedBefore[i + 1] = FCollapsedBefore[i] + (r->Collapsed ? 1 : 0);
    FExpandedMaxTo[i + 1] = r->Collapsed || !r->HasLines() ? FExpandedMaxTo[i] : std::max(FExpandedMaxTo[i], r->ToLine);
  }
  FExpandedTo.resize(FExpandedByTo.size());
  for (std::size_t i = 0; i < FExpandedByTo.size(); ++i) FExpandedTo[i] = FExpandedByTo[i]->ToLine;
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
    if (FExpandedByTo[i]->HasLines()) return true;
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
