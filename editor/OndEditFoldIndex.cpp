#include "editor/OndEditFoldIndex.h"

#include <algorithm>
#include <numeric>
#include <unordered_set>

#include "editor/OndEditCodeFolding.h"

namespace ond {

// What the index keeps of a visible range, read from it once: a million
// ranges lie all over the heap, and every visit to one is a cache miss.
struct TOndFoldIndex::TIndexed {
  TOndEditFoldRange* Range;
  std::int32_t From, To;
  std::int64_t Hidden;  // collapsed: its hidden lines plus one; else none
  bool Collapsed, Lines;
};

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

// Puts [First, Last) in place of V[Lo, Hi), the entries after moving once.
template <class T, class It>
void ReplaceSpan(std::vector<T>& V, std::size_t Lo, std::size_t Hi, It First, It Last) {
  const auto m = static_cast<std::size_t>(std::distance(First, Last)), g = Hi - Lo;
  const auto at = [&V](std::size_t I) { return V.begin() + static_cast<std::ptrdiff_t>(I); };
  if (m > g)
    V.insert(at(Hi), m - g, T{});
  else if (m < g)
    V.erase(at(Lo + m), at(Hi));
  std::copy(First, Last, at(Lo));
}

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

namespace {

// Ranges read between two looks at the clock in a build in pieces.
constexpr std::size_t kReadAtOnce = 4096;

}  // namespace

struct TOndFoldIndex::TPieces::Impl {
  std::vector<TIndexed> Ranges;
  std::size_t Next = 0;
  // The steps after the reading, each a pass over the ranges read: done
  // so far, the keys sorted, and the index they make.
  int Steps = 0;
  std::vector<TLineKey> ByFrom, ByTo;
  TOndFoldIndex Made;

  void Step();
  static constexpr int kSteps = 4;
};

void TOndFoldIndex::TPieces::Impl::Step() {
  const std::vector<TIndexed>& ranges = Ranges;
  TOndFoldIndex& x = Made;
  switch (Steps++) {
    case 0:
      // Keyed by the flat place too: ranges on one line stay in flat order,
      // which the queries keep.
      ByFrom.resize(ranges.size());
      for (std::size_t i = 0; i < ranges.size(); ++i) ByFrom[i] = {ranges[i].From, static_cast<std::uint32_t>(i)};
      // Every range visible, none collapsed, the flat list in line order:
      // a range's flat place is its place here.
      x.FIsFlatList = ranges.size() == Next && std::is_sorted(ByFrom.begin(), ByFrom.end()) &&
                      std::none_of(ranges.begin(), ranges.end(), [](const TIndexed& R) { return R.Collapsed; });
      SortByStretches(ByFrom);
      break;
    case 1:
      for (std::size_t i = 0; i < ranges.size(); ++i)
        if (!ranges[i].Collapsed) ByTo.emplace_back(ranges[i].To, static_cast<std::uint32_t>(i));
      SortByStretches(ByTo);
      break;
    case 2: {
      const std::size_t n = ranges.size();
      x.FByFrom.resize(n);
      x.FFrom.resize(n);
      x.FTo.resize(n);
      x.FOpenWithLines.resize(n);
      x.FHiddenBefore.assign(n + 1, 0);
      x.FCollapsedBefore.assign(n + 1, 0);
      x.FExpandedMaxTo.assign(n + 1, INT32_MIN);
      x.FBlockMaxTo.assign((n + kBlock - 1) / kBlock, INT32_MIN);
      for (std::size_t i = 0; i < n; ++i) {
        const TIndexed& r = ranges[ByFrom[i].second];
        x.FByFrom[i] = r.Range;
        x.FFrom[i] = r.From;
        x.FTo[i] = r.To;
        x.FOpenWithLines[i] = !r.Collapsed && r.Lines;
        x.FBlockMaxTo[i / kBlock] = std::max(x.FBlockMaxTo[i / kBlock], r.To);
        x.FHiddenBefore[i + 1] = x.FHiddenBefore[i] + r.Hidden;
        x.FCollapsedBefore[i + 1] = x.FCollapsedBefore[i] + (r.Collapsed ? 1 : 0);
        x.FExpandedMaxTo[i + 1] =
            r.Collapsed || !r.Lines ? x.FExpandedMaxTo[i] : std::max(x.FExpandedMaxTo[i], r.To);
      }
      break;
    }
    default:
      x.FExpandedByTo.resize(ByTo.size());
      x.FExpandedTo.resize(ByTo.size());
      x.FExpandedWithLines.resize(ByTo.size());
      for (std::size_t i = 0; i < ByTo.size(); ++i) {
        const TIndexed& r = ranges[ByTo[i].second];
        x.FExpandedByTo[i] = r.Range;
        x.FExpandedTo[i] = r.To;
        x.FExpandedWithLines[i] = r.Lines;
      }
      break;
  }
}

TOndFoldIndex::TPieces::TPieces() : FImpl(std::make_unique<Impl>()) {}
TOndFoldIndex::TPieces::~TPieces() = default;

bool TOndFoldIndex::TPieces::Read(const std::vector<std::unique_ptr<TOndEditFoldRange>>& Flat,
                                  std::chrono::steady_clock::time_point Until) {
  Impl& p = *FImpl;
  if (p.Next == 0) p.Ranges.reserve(Flat.size());
  while (p.Next < Flat.size()) {
    const std::size_t stop = std::min(Flat.size(), p.Next + kReadAtOnce);
    for (; p.Next < stop; ++p.Next) {
      TOndEditFoldRange* r = Flat[p.Next].get();
      if (r->ParentCollapsed) continue;
      p.Ranges.push_back({r, r->FromLine, r->ToLine,
                          r->Collapsed ? static_cast<std::int64_t>(r->HiddenLineCount()) + 1 : 0, r->Collapsed,
                          r->HasLines()});
    }
    if (p.Next < Flat.size() && std::chrono::steady_clock::now() >= Until) return false;
  }
  // Then the passes over what was read, one between two looks at the
  // clock: each is a straight walk over arrays, a few milliseconds for a
  // million ranges.
  while (p.Steps < Impl::kSteps) {
    p.Step();
    if (p.Steps < Impl::kSteps && std::chrono::steady_clock::now() >= Until) return false;
  }
  return true;
}

std::size_t TOndFoldIndex::TPieces::RangesRead() const noexcept { return FImpl->Next; }

void TOndFoldIndex::TPieces::Finish(TOndFoldIndex& Index) {
  Impl& p = *FImpl;
  while (p.Steps < Impl::kSteps) p.Step();
  Index = std::move(p.Made);
  FImpl = std::make_unique<Impl>();
}

void TOndFoldIndex::Build(const std::vector<std::unique_ptr<TOndEditFoldRange>>& Flat) {
  TPieces pieces;
  pieces.Read(Flat, std::chrono::steady_clock::time_point::max());
  pieces.Finish(*this);
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

bool TOndFoldIndex::Replace(std::int32_t First, std::int32_t Until, const std::vector<TOndEditFoldRange*>& Added,
                            const std::vector<TOndEditFoldRange*>& Changed) {
  const std::size_t lo = CountBelow(FFrom, First), hi = CountBelow(FFrom, Until);
  // The replaced ranges may be gone already: only what the index kept of
  // them is read.
  if (FCollapsedBefore[hi] != FCollapsedBefore[lo]) return false;
  std::vector<TOndEditFoldRange*> added(Added);
  for (const TOndEditFoldRange* r : added)
    if (r->Collapsed || r->ParentCollapsed || r->FromLine < First || r->FromLine >= Until) return false;
  const auto byHeader = [](const TOndEditFoldRange* A, const TOndEditFoldRange* B) { return A->FromLine < B->FromLine; };
  // Added in line order in the flat list keeps it in line order.
  const bool addedInOrder = std::is_sorted(added.begin(), added.end(), byHeader);
  std::stable_sort(added.begin(), added.end(), byHeader);
  // The ranges above whose closing line changed, with their places.
  std::vector<std::size_t> moved;
  for (TOndEditFoldRange* r : Changed) {
    const auto [a, b] = EqualStretch(FFrom, r->FromLine);
    std::size_t at = a;
    while (at < b && FByFrom[at] != r) ++at;
    if (at == b || at >= lo || r->Collapsed) return false;
    if (FTo[at] != r->ToLine) moved.push_back(at);
  }
  // The ranges by closing line: the replaced and the moved ones leave, the
  // added and the moved ones come in. A build orders ranges closing on one
  // line by their flat places, which only the added ones tell among
  // themselves: any other tie is left to a build.
  std::vector<std::pair<std::int32_t, std::size_t>> out;  // closing line, place in FByFrom
  for (std::size_t i = lo; i < hi; ++i) out.emplace_back(FTo[i], i);
  for (std::size_t at : moved) out.emplace_back(FTo[at], at);
  struct TComing {
    std::int32_t first;
    TOndEditFoldRange* second;
    bool Added;
  };
  std::vector<TComing> in;  // stable by closing line: the added ones keep their flat order
  for (TOndEditFoldRange* r : Added) in.push_back({r->ToLine, r, true});
  for (std::size_t at : moved) in.push_back({FByFrom[at]->ToLine, FByFrom[at], false});
  std::stable_sort(in.begin(), in.end(), [](const TComing& A, const TComing& B) { return A.first < B.first; });
  for (std::size_t k = 1; k < in.size(); ++k)
    if (in[k].first == in[k - 1].first && !(in[k].Added && in[k - 1].Added)) return false;
  std::unordered_set<const TOndEditFoldRange*> leaving;
  for (const auto& [to, at] : out) leaving.insert(FByFrom[at]);
  std::vector<std::size_t> leaveAt;  // places in FExpandedByTo
  for (const auto& [to, at] : out) {
    const auto [a, b] = EqualStretch(FExpandedTo, to);
    std::size_t j = a;
    while (j < b && FExpandedByTo[j] != FByFrom[at]) ++j;
    if (j == b) return false;
    leaveAt.push_back(j);
  }
  for (const TComing& c : in) {
    const auto [a, b] = EqualStretch(FExpandedTo, c.first);
    for (std::size_t j = a; j < b; ++j)
      if (leaving.count(FExpandedByTo[j]) == 0) return false;
  }
  // Known to fit: from here on nothing fails. By closing line first: only
  // the stretch from the first entry that leaves or comes to the last one
  // is merged again, the entries after it move once.
  std::sort(leaveAt.begin(), leaveAt.end());
  if (!leaveAt.empty() || !in.empty()) {
    const auto placeOf = [this](std::int32_t To) {
      return static_cast<std::size_t>(std::upper_bound(FExpandedTo.begin(), FExpandedTo.end(), To) -
                                       FExpandedTo.begin());
    };
    std::size_t a = FExpandedByTo.size(), b = 0;
    if (!leaveAt.empty()) {
      a = leaveAt.front();
      b = leaveAt.back() + 1;
    }
    if (!in.empty()) {
      a = std::min(a, placeOf(in.front().first));
      b = std::max(b, placeOf(in.back().first));
    }
    std::vector<TOndEditFoldRange*> byTo;
    std::vector<std::int32_t> to;
    std::vector<std::uint8_t> lines;
    std::size_t k = 0, l = 0;
    while (l < leaveAt.size() && leaveAt[l] < a) ++l;
    for (std::size_t j = a; j <= b; ++j) {
      const bool end = j == b;
      for (; k < in.size() && (end || in[k].first < FExpandedTo[j]); ++k) {
        byTo.push_back(in[k].second);
        to.push_back(in[k].first);
        lines.push_back(in[k].second->HasLines());
      }
      if (end) break;
      if (l < leaveAt.size() && leaveAt[l] == j) {
        ++l;
        continue;
      }
      byTo.push_back(FExpandedByTo[j]);
      to.push_back(FExpandedTo[j]);
      lines.push_back(FExpandedWithLines[j]);
    }
    ReplaceSpan(FExpandedByTo, a, b, byTo.begin(), byTo.end());
    ReplaceSpan(FExpandedTo, a, b, to.begin(), to.end());
    ReplaceSpan(FExpandedWithLines, a, b, lines.begin(), lines.end());
  }
  // By header line: the stretch of replaced ranges gives way to the added
  // ones; none of either is collapsed, so the hidden lines before each
  // place stay.
  for (std::size_t at : moved) {
    FTo[at] = FByFrom[at]->ToLine;
    FOpenWithLines[at] = FByFrom[at]->HasLines();
  }
  const std::size_t m = added.size();
  std::vector<std::int32_t> from(m), to(m);
  std::vector<std::uint8_t> lines(m);
  for (std::size_t i = 0; i < m; ++i) {
    from[i] = added[i]->FromLine;
    to[i] = added[i]->ToLine;
    lines[i] = added[i]->HasLines();
  }
  ReplaceSpan(FByFrom, lo, hi, added.begin(), added.end());
  ReplaceSpan(FFrom, lo, hi, from.begin(), from.end());
  ReplaceSpan(FTo, lo, hi, to.begin(), to.end());
  ReplaceSpan(FOpenWithLines, lo, hi, lines.begin(), lines.end());
  {
    const std::vector<std::int64_t> hidden(m, FHiddenBefore[lo]);
    ReplaceSpan(FHiddenBefore, lo + 1, hi + 1, hidden.begin(), hidden.end());
    const std::vector<std::int32_t> collapsed(m, FCollapsedBefore[lo]);
    ReplaceSpan(FCollapsedBefore, lo + 1, hi + 1, collapsed.begin(), collapsed.end());
    const std::vector<std::int32_t> open(m, INT32_MIN);
    ReplaceSpan(FExpandedMaxTo, lo + 1, hi + 1, open.begin(), open.end());
  }
  // The largest closing lines from the first place that changed on, until
  // they come out as before: the entries after the new ones are the old
  // ones, and so is every maximum from the first that is the same again.
  std::size_t start = lo;
  for (std::size_t at : moved) start = std::min(start, at);
  const std::size_t n = FByFrom.size();
  for (std::size_t i = start; i < n; ++i) {
    const std::int32_t top = FOpenWithLines[i] ? std::max(FExpandedMaxTo[i], FTo[i]) : FExpandedMaxTo[i];
    if (i >= lo + m && FExpandedMaxTo[i + 1] == top) break;
    FExpandedMaxTo[i + 1] = top;
  }
  // Block maxima: the blocks of the changed places, or, when the entries
  // after them moved to other places, every block from there on.
  const std::size_t lastChanged = m == hi - lo ? lo + m : n;
  FBlockMaxTo.resize((n + kBlock - 1) / kBlock);
  for (std::size_t b = start / kBlock; b < FBlockMaxTo.size() && b * kBlock <= lastChanged; ++b) {
    std::int32_t top = INT32_MIN;
    for (std::size_t i = b * kBlock; i < std::min(n, (b + 1) * kBlock); ++i) top = std::max(top, FTo[i]);
    FBlockMaxTo[b] = top;
  }
  FIsFlatList = FIsFlatList && addedInOrder;
  return true;
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

std::size_t TOndFoldIndex::StartingAbove(std::int32_t Line) const noexcept { return CountBelow(FFrom, Line); }

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

namespace ond {

namespace {

// A prefix array (sums over the first i entries) turned into the entries'
// own values and back, so that entries can be taken out or put in with a
// move of the arrays.
template <class T>
void PrefixToValues(std::vector<T>& P) noexcept {
  for (std::size_t i = 0; i + 1 < P.size(); ++i) P[i] = P[i + 1] - P[i];
  P.pop_back();
}

template <class T>
void ValuesToPrefix(std::vector<T>& V) {
  T sum = 0;
  for (T& v : V) {
    const T own = v;
    v = sum;
    sum += own;
  }
  V.push_back(sum);
}

}  // namespace

std::vector<TOndEditFoldRange*> TOndFoldIndex::StartingBelow(std::int32_t Line) const {
  const auto from = std::upper_bound(FFrom.begin(), FFrom.end(), Line) - FFrom.begin();
  return {FByFrom.begin() + from, FByFrom.end()};
}

bool TOndFoldIndex::Fold(TOndEditFoldRange* Range, std::int32_t Delta,
                         const std::vector<TOndEditFoldRange*>& Ancestors) {
  if (Delta == 0 || Range->ParentCollapsed || Range->Collapsed != (Delta < 0)) return false;
  const std::int32_t header = Range->FromLine;
  const std::int64_t boundary = static_cast<std::int64_t>(header) + (Delta < 0 ? -static_cast<std::int64_t>(Delta) : 0);
  if (boundary > INT32_MAX) return false;
  const auto [a, b] = EqualStretch(FFrom, header);
  std::size_t lo = a;
  while (lo < b && FByFrom[lo] != Range) ++lo;
  if (lo == b || FTo[lo] != Range->ToLine) return false;
  // A fold widens the ranges holding it whatever their ends; a build tells
  // the rest apart by ends below the boundary only.
  for (const TOndEditFoldRange* r : Ancestors)
    if (static_cast<std::int64_t>(r->ToLine) - Delta <= boundary) return false;
  const auto isCollapsed = [this](std::size_t i) { return FCollapsedBefore[i + 1] != FCollapsedBefore[i]; };
  // Ranges moved whole must keep their ends past the boundary too, so that
  // those by closing line that move are the tail past it (a range edited
  // into ending above its header would not).
  const std::size_t firstMoved = CountBelow(FFrom, static_cast<std::int32_t>(boundary) + 1);
  for (std::size_t i = firstMoved; i < FTo.size(); ++i)
    if (FTo[i] <= boundary) return false;
  // The entries that leave (a collapse: the ranges it hid, right after it)
  // or come (an expand: the ranges it shows, each a line of its own).
  std::size_t eraseTo = lo + 1;  // a collapse erases lo + 1 .. eraseTo - 1
  std::vector<TOndEditFoldRange*> shown;
  if (Delta < 0) {
    eraseTo = CountBelow(FFrom, static_cast<std::int32_t>(boundary) + 1);
    std::size_t found = 0;
    bool fits = true;
    ForEachDescendant(Range, [&](TOndEditFoldRange* d) {
      if (!d->ParentCollapsed || !fits) return;
      const auto [da, db] = EqualStretch(FFrom, d->FromLine);
      for (std::size_t p = da; p < db; ++p)
        if (FByFrom[p] == d) {
          if (p <= lo || p >= eraseTo) fits = false;
          ++found;
        }
    });
    if (!fits || found != eraseTo - lo - 1) return false;
  } else {
    ForEachDescendant(Range, [&](TOndEditFoldRange* d) {
      if (!d->ParentCollapsed) shown.push_back(d);
    });
    std::stable_sort(shown.begin(), shown.end(),
                     [](const TOndEditFoldRange* A, const TOndEditFoldRange* B) { return A->FromLine < B->FromLine; });
    for (std::size_t k = 0; k < shown.size(); ++k)
      if (shown[k]->FromLine <= header || shown[k]->FromLine > boundary + Delta ||
          (k > 0 && shown[k]->FromLine == shown[k - 1]->FromLine))
        return false;
  }
  // By closing line: the ranges that stop or start being expanded, the
  // others after the boundary move. Ties with the ranges that come are
  // ordered by flat places the index does not know: left to a build.
  std::vector<std::size_t> leaveAt;
  std::vector<TOndEditFoldRange*> comeTo;
  if (Delta < 0) {
    for (std::size_t p = lo; p < eraseTo; ++p) {
      if (p != lo && isCollapsed(p)) continue;
      const auto [ta, tb] = EqualStretch(FExpandedTo, FTo[p]);
      std::size_t j = ta;
      while (j < tb && FExpandedByTo[j] != FByFrom[p]) ++j;
      if (j == tb) return false;
      leaveAt.push_back(j);
    }
    std::sort(leaveAt.begin(), leaveAt.end());
    // What stays between the header and the boundary would meet the moved.
    const std::size_t from = CountBelow(FExpandedTo, header + 1);
    const std::size_t to = CountBelow(FExpandedTo, static_cast<std::int32_t>(boundary) + 1);
    const std::size_t leaving = static_cast<std::size_t>(
        std::count_if(leaveAt.begin(), leaveAt.end(), [&](std::size_t j) { return j >= from && j < to; }));
    if (to - from != leaving) return false;
  } else {
    comeTo.push_back(Range);
    for (TOndEditFoldRange* d : shown)
      if (!d->Collapsed) comeTo.push_back(d);
    std::stable_sort(comeTo.begin(), comeTo.end(),
                     [](const TOndEditFoldRange* A, const TOndEditFoldRange* B) { return A->ToLine < B->ToLine; });
    for (std::size_t k = 0; k < comeTo.size(); ++k) {
      if (k > 0 && comeTo[k]->ToLine == comeTo[k - 1]->ToLine) return false;
      // The closing line of an entry that would end up on the same line:
      // nothing moves into the lines the expand shows.
      const std::int64_t to = comeTo[k]->ToLine;
      std::int64_t before;
      if (to > static_cast<std::int64_t>(header) + Delta)
        before = to - Delta;
      else if (to <= header)
        before = to;
      else
        continue;
      if (std::binary_search(FExpandedTo.begin(), FExpandedTo.end(), static_cast<std::int32_t>(before))) return false;
    }
  }

  // Known to fit: from here on nothing fails. A fold hides ranges or
  // shows collapsed ones: the index no longer stands for the flat list.
  FIsFlatList = false;
  PrefixToValues(FHiddenBefore);
  PrefixToValues(FCollapsedBefore);
  const std::size_t n = FByFrom.size();
  // Lines: after the boundary everything moves; above it the expanded
  // ranges reaching past it widen.
  for (std::size_t i = 0; i < firstMoved; ++i)
    if (i != lo && FCollapsedBefore[i] == 0 && FTo[i] > boundary) FTo[i] += Delta;
  for (std::size_t i = firstMoved; i < n; ++i) {
    FFrom[i] += Delta;
    FTo[i] += Delta;
  }
  FOpenWithLines[lo] = !Range->Collapsed && Range->HasLines();
  FCollapsedBefore[lo] = Range->Collapsed ? 1 : 0;
  FHiddenBefore[lo] = Range->Collapsed ? static_cast<std::int64_t>(Range->HiddenLineCount()) + 1 : 0;
  const auto at = static_cast<std::ptrdiff_t>(lo + 1);
  if (Delta < 0) {
    const auto end = static_cast<std::ptrdiff_t>(eraseTo);
    FByFrom.erase(FByFrom.begin() + at, FByFrom.begin() + end);
    FFrom.erase(FFrom.begin() + at, FFrom.begin() + end);
    FTo.erase(FTo.begin() + at, FTo.begin() + end);
    FOpenWithLines.erase(FOpenWithLines.begin() + at, FOpenWithLines.begin() + end);
    FHiddenBefore.erase(FHiddenBefore.begin() + at, FHiddenBefore.begin() + end);
    FCollapsedBefore.erase(FCollapsedBefore.begin() + at, FCollapsedBefore.begin() + end);
  } else {
    // After the ranges on the header's line, which did not move.
    const auto place = static_cast<std::ptrdiff_t>(CountBelow(FFrom, header + 1));
    const std::size_t m = shown.size();
    std::vector<std::int32_t> from(m), to(m), collapsed(m);
    std::vector<std::int64_t> hidden(m);
    std::vector<bool> lines(m);
    for (std::size_t k = 0; k < m; ++k) {
      const TOndEditFoldRange* d = shown[k];
      from[k] = d->FromLine;
      to[k] = d->ToLine;
      lines[k] = !d->Collapsed && d->HasLines();
      collapsed[k] = d->Collapsed ? 1 : 0;
      hidden[k] = d->Collapsed ? static_cast<std::int64_t>(d->HiddenLineCount()) + 1 : 0;
    }
    FByFrom.insert(FByFrom.begin() + place, shown.begin(), shown.end());
    FFrom.insert(FFrom.begin() + place, from.begin(), from.end());
    FTo.insert(FTo.begin() + place, to.begin(), to.end());
    FOpenWithLines.insert(FOpenWithLines.begin() + place, lines.begin(), lines.end());
    FHiddenBefore.insert(FHiddenBefore.begin() + place, hidden.begin(), hidden.end());
    FCollapsedBefore.insert(FCollapsedBefore.begin() + place, collapsed.begin(), collapsed.end());
  }
  ValuesToPrefix(FHiddenBefore);
  ValuesToPrefix(FCollapsedBefore);
  // By closing line: the ranges that leave go, those after the boundary
  // move (a sorted tail), and those that come are merged in.
  for (auto it = leaveAt.rbegin(); it != leaveAt.rend(); ++it) {
    const auto j = static_cast<std::ptrdiff_t>(*it);
    FExpandedByTo.erase(FExpandedByTo.begin() + j);
    FExpandedTo.erase(FExpandedTo.begin() + j);
    FExpandedWithLines.erase(FExpandedWithLines.begin() + j);
  }
  for (auto it = std::upper_bound(FExpandedTo.begin(), FExpandedTo.end(), static_cast<std::int32_t>(boundary));
       it != FExpandedTo.end(); ++it)
    *it += Delta;
  // A few come: each goes in at its place (no ties, see above).
  for (TOndEditFoldRange* r : comeTo) {
    const auto j = std::upper_bound(FExpandedTo.begin(), FExpandedTo.end(), r->ToLine) - FExpandedTo.begin();
    FExpandedByTo.insert(FExpandedByTo.begin() + j, r);
    FExpandedTo.insert(FExpandedTo.begin() + j, r->ToLine);
    FExpandedWithLines.insert(FExpandedWithLines.begin() + j, r->HasLines());
  }
  const std::size_t size = FByFrom.size();
  FExpandedMaxTo.assign(size + 1, INT32_MIN);
  FBlockMaxTo.assign((size + kBlock - 1) / kBlock, INT32_MIN);
  for (std::size_t i = 0; i < size; ++i) {
    FBlockMaxTo[i / kBlock] = std::max(FBlockMaxTo[i / kBlock], FTo[i]);
    FExpandedMaxTo[i + 1] = FOpenWithLines[i] ? std::max(FExpandedMaxTo[i], FTo[i]) : FExpandedMaxTo[i];
  }
  return true;
}

}  // namespace ond
