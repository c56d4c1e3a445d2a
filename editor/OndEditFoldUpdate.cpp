// Updating the fold ranges after the text changed: the whole text scanned
// again (in idle-time pieces for a long text) and put in place of the old
// tree, or only the lines a change can reach, scanned until the scan is back
// in step with the ranges that were there.
#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "editor/OndEditCodeFolding.h"
#include "platform/core/ScopeGuard.h"

namespace ond {

TOndFoldUpdateLines::TOndFoldUpdateLines(std::vector<std::int32_t> Headers) : FHeaders(std::move(Headers)) {
  FBefore.reserve(FHeaders.size());
  for (std::size_t j = 0; j < FHeaders.size(); ++j)
    FBefore.push_back(FHeaders[j] - static_cast<std::int32_t>(j));
}

std::int32_t TOndFoldUpdateLines::RealLine(std::int32_t Scanned) const noexcept {
  // The k-th header is passed once Scanned reaches the lines before it
  // that are scanned (its line less the k headers above it).
  const auto k = std::upper_bound(FBefore.begin(), FBefore.end(), Scanned) - FBefore.begin();
  return Scanned + static_cast<std::int32_t>(k);
}

bool TOndFoldUpdateLines::Skipped(std::int32_t Line) const noexcept {
  return std::binary_search(FHeaders.begin(), FHeaders.end(), Line);
}

void TOndFoldUpdateLines::ToRealLines(TOndEditAllFoldRanges& Fresh) const {
  if (FHeaders.empty()) return;
  for (const auto& r : Fresh.AllRangeList()) {
    r->FromLine = RealLine(r->FromLine);
    r->ToLine = RealLine(r->ToLine);
  }
  Fresh.IndexChanged();
}

void TOndCodeFolder::UpdateFoldRanges() {
  // 2., 3. Scan every line but the headers of collapsed ranges, and number
  // the new ranges back.
  TOndEditAllFoldRanges fresh;
  if (Regions != nullptr) {
    const TOndFoldUpdateLines lines(CollapsedHeaderLines());
    TFoldNonCodeFunc nonCode;
    if (TFoldNonCodeFunc asked = NonCode())
      nonCode = [asked, &lines](std::int32_t L, std::int32_t C) { return asked(lines.RealLine(L), C); };
    const TOndFoldScanner scanner(*Regions, CaseSensitive);
    TOndFoldScan scan(scanner, fresh, FLines.GetTabWidth(), nonCode);
    for (int i = 0; i < FLines.GetCount(); ++i)
      if (!lines.Skipped(i + 1)) scan.Line(FLines.GetView(i));
    scan.Finish();
    lines.ToRealLines(fresh);
  }
  ApplyUpdate(fresh);
  FRanges.FreeRetired(std::chrono::steady_clock::time_point::max());
}

void TOndCodeFolder::ApplyUpdate(TOndEditAllFoldRanges& Fresh) {
  const bool crosses = Fresh.StateCrossesLines();
  // 1. Only the collapsed ranges (and what they hide) stay: the others go
  // at once, not one search of their list each.
  {
    std::vector<TOndEditFoldRange*> gone;
    FRanges.NoteRangesWalked(FRanges.AllRangeList().size());
    for (const auto& r : FRanges.AllRangeList())
      if (!r->Collapsed && !r->ParentCollapsed) gone.push_back(r.get());
    if (gone.size() == FRanges.AllRangeList().size()) {
      // Nothing collapsed: the tree empties without a search of any list,
      // and the old ranges are freed later, a piece at a time.
      FRanges.RetireAll();
    } else {
      TOndEditAllFoldRanges none;
      FRanges.SpliceRanges(gone, INT32_MAX, none);
    }
  }
  FRanges.SetStateCrossesLines(crosses);
  std::vector<TOndEditFoldRange*> collapsed;
  FRanges.NoteRangesWalked(static_cast<std::uint64_t>(FRanges.AllCount()));
  for (int j = 0; j < FRanges.AllCount(); ++j) {
    TOndEditFoldRange* r = FRanges.AllRanges(j);
    if (r->Collapsed && !r->ParentCollapsed) collapsed.push_back(r);
  }
  TOndEditAllFoldRanges& fresh = Fresh;
  // 4. The new top level; the new ranges join the flat list in line order.
  FRanges.Clear();
  FRanges.TakeFrom(fresh, INT32_MIN);
  if (FRanges.AllCount() == 0) {
    // Nothing kept to merge with: the new ranges come over in their order
    // at once.
    FRanges.SpliceRanges({}, INT32_MIN, fresh);
    NormalizeParentCollapsed(FRanges);
    FRanges.NoteRangesWalked(2 * static_cast<std::uint64_t>(FRanges.AllCount()));
    return;
  }
  std::vector<std::unique_ptr<TOndEditFoldRange>> kept, added;
  while (FRanges.AllCount() > 0) kept.push_back(FRanges.AllExtract(FRanges.AllCount() - 1));
  while (fresh.AllCount() > 0) added.push_back(fresh.AllExtract(fresh.AllCount() - 1));
  std::reverse(kept.begin(), kept.end());
  std::reverse(added.begin(), added.end());
  std::size_t ki = 0;
  for (auto& r : added) {
    while (ki < kept.size() && kept[ki]->FromLine <= r->FromLine) FRanges.AllAdd(std::move(kept[ki++]));
    FRanges.AllAdd(std::move(r));
  }
  while (ki < kept.size()) FRanges.AllAdd(std::move(kept[ki++]));
  // 5. Each collapsed range goes under the innermost expanded range around
  // its header, or to the top level, in line order.
  for (TOndEditFoldRange* c : collapsed) {
    TOndEditFoldRange* parent = nullptr;
    for (int j = 0; j < FRanges.AllCount(); ++j) {
      TOndEditFoldRange* r = FRanges.AllRanges(j);
      if (r->Collapsed || r->ParentCollapsed || r == c) continue;
      if (r->FromLine < c->FromLine && c->FromLine < r->ToLine &&
          (parent == nullptr || r->FromLine > parent->FromLine ||
           (r->FromLine == parent->FromLine && r->Level > parent->Level)))
        parent = r;
    }
    TOndEditFoldRanges& list = parent != nullptr ? parent->SubFoldRanges : static_cast<TOndEditFoldRanges&>(FRanges);
    list.Remove(c);
    int at = 0;
    while (at < list.Count() && list.Items(at)->FromLine <= c->FromLine) ++at;
    list.Insert(at, c);
    c->SetLevel(parent != nullptr ? parent->Level + 1 : 0);
  }
  NormalizeParentCollapsed(FRanges);
  FRanges.NoteRangesWalked((collapsed.size() + 2) * static_cast<std::uint64_t>(FRanges.AllCount()));
}

std::vector<TOndEditFoldRange*> TOndCodeFolder::OpenRangesAt(std::int32_t Line) const {
  std::vector<TOndEditFoldRange*> open;
  FRanges.Settle();
  // In each list only the last range starting above Line can reach it: a
  // range after it starts at or below where it ends.
  for (TOndEditFoldRange* r = FRanges.LastAbove(Line);
       r != nullptr && !r->Collapsed && !r->ParentCollapsed && r->ToLine >= Line; r = r->SubFoldRanges.LastAbove(Line))
    open.push_back(r);
  return open;
}

bool TOndCodeFolder::UpdateFoldRangesBetween(std::int32_t First, std::int32_t Last,
                                             const std::vector<TOndEditFoldRange*>& Open, std::int32_t MaxLines,
                                             std::int64_t* Visited) {
  const std::int32_t count = FLines.GetCount();
  if (Regions == nullptr || FRanges.ScanPending() || FRanges.StateCrossesLines() || count == 0) return false;
  First = std::clamp(First, 1, count);
  Last = std::clamp(Last, First, count);
  if (Last - First >= MaxLines) return false;
  // The ranges open at First: still in this tree, expanded, above it, each
  // in the one before.
  const bool indexCurrent = FRanges.IndexCurrent();
  // Where the ranges from First on start in the flat list, when the index
  // can tell it without a walk.
  const bool flatKnown = indexCurrent && FRanges.Index().IsFlatList();
  const std::size_t flatAt = flatKnown ? FRanges.Index().StartingAbove(First) : 0;
  const TOndEditFoldRanges* list = &FRanges;
  for (TOndEditFoldRange* r : Open) {
    if (r->AllFoldRanges != &FRanges || r->Collapsed || r->ParentCollapsed || r->FromLine >= First ||
        r->Container() != list)
      return false;
    list = &r->SubFoldRanges;
  }
  // The scan goes on from First with stand-ins of those ranges, in a tree
  // of its own: nothing of this tree changes before the scan is known to
  // fit.
  TOndEditAllFoldRanges fresh;
  std::vector<TOndEditFoldRange*> standIns;
  for (TOndEditFoldRange* r : Open)
    standIns.push_back(AddFoldRange(standIns.empty() ? nullptr : &standIns.back()->SubFoldRanges, &fresh, r->FromLine,
                                    r->ToLine, r->FoldRegion, r->Level, r->IndentLevel));
  const TOndFoldScanner scanner(*Regions, CaseSensitive);
  TOndFoldScan scan(scanner, fresh, FLines.GetTabWidth(), NonCode());
  if (!scan.Resume(First - 1, standIns)) return false;
  const std::unordered_map<const TOndEditFoldRange*, std::size_t> standInIndex = [&] {
    std::unordered_map<const TOndEditFoldRange*, std::size_t> m;
    for (std::size_t k = 0; k < standIns.size(); ++k) m[standIns[k]] = k;
    return m;
  }();
  // With one closing token for every region, each token closes the
  // innermost open range whatever the depth: a scan one range deeper or
  // shallower than before past the changed lines stays so to the end.
  std::vector<const TFoldRegions*> queue{Regions};
  std::vector<std::string> closes;
  for (std::size_t q = 0; q < queue.size(); ++q)
    for (int i = 0; i < queue[q]->Count(); ++i) {
      const TFoldRegionItem* r = queue[q]->Items(i);
      const std::string close = r->RegionType == frtChar ? r->Close.substr(0, 1) : r->Close;
      if (std::find(closes.begin(), closes.end(), close) == closes.end()) closes.push_back(close);
      if (r->SubFoldRegions().Count() > 0) queue.push_back(&r->SubFoldRegions());
    }
  const bool oneClose = closes.size() == 1;
  std::int32_t line = First;
  std::vector<TOndEditFoldRange*> now, before;
  for (;; ++line) {
    if (line > count || line - First >= MaxLines) return false;
    scan.Line(FLines.GetView(line - 1));
    if (Visited != nullptr) ++*Visited;
    if (scan.StateCrossesLine()) return false;
    if (line < Last || line == count) continue;
    // Past the changed lines: does the scan stand where the tree says the
    // scan that made it stood? Depth by depth the same regions, a stand-in
    // where the tree has its range, a new range where the tree has one that
    // started in the lines scanned.
    now = scan.OpenRanges();
    before = OpenRangesAt(line + 1);
    if (now.size() != before.size()) {
      if (oneClose) return false;
      continue;
    }
    std::size_t k = 0;
    for (; k < now.size(); ++k) {
      const auto standIn = standInIndex.find(now[k]);
      if (now[k]->FoldRegion != before[k]->FoldRegion ||
          !(standIn != standInIndex.end() ? Open[standIn->second] == before[k] : before[k]->FromLine >= First))
        break;
    }
    if (k == now.size()) break;
    // Depth by depth in step, the scans part at depth k until both close
    // the range there: not before the line the tree closes it on.
    if (oneClose && static_cast<std::int64_t>(before[k]->ToLine) - First >= MaxLines) return false;
  }
  const std::int32_t until = line + 1;  // the first line the old ranges hold from
  // The ranges of the tree that start in the lines scanned: every one of
  // them is replaced (those open past them hand their later sub ranges and
  // their end to the new ones). None may be collapsed, and none but those
  // may reach past them, or the tree did not fit the text.
  std::vector<TOndEditFoldRanges*> lists{&FRanges};
  for (TOndEditFoldRange* r : Open) lists.push_back(&r->SubFoldRanges);
  std::vector<TOndEditFoldRange*> gone;
  for (TOndEditFoldRanges* l : lists)
    for (TOndEditFoldRange* r : l->RangesOnLines(First, until)) gone.push_back(r);
  const std::unordered_set<const TOndEditFoldRange*> stillOpen(before.begin(), before.end());
  for (std::size_t i = 0; i < gone.size(); ++i) {
    TOndEditFoldRange* r = gone[i];
    if (r->Collapsed || r->ParentCollapsed || r->FromLine < First || r->FromLine >= until) return false;
    const bool open = stillOpen.count(r) != 0;
    if (!open && r->ToLine >= until) return false;
    for (int j = 0; j < r->SubFoldRanges.Count(); ++j) {
      TOndEditFoldRange* sub = r->SubFoldRanges.Items(j);
      if (sub->FromLine < until) gone.push_back(sub);
    }
  }
  // The new ranges still open take over from the ranges they stand for.
  for (std::size_t k = 0; k < now.size(); ++k) {
    if (standInIndex.count(now[k]) != 0) continue;
    now[k]->ToLine = before[k]->ToLine;
    now[k]->ClosingBelow = before[k]->ClosingBelow;
    now[k]->SubFoldRanges.TakeFrom(before[k]->SubFoldRanges, until);
  }
  // The ranges open at First get their new ends and sub ranges; so does the
  // top level.
  for (std::size_t k = 0; k < Open.size(); ++k) {
    const bool closed = std::find(now.begin(), now.end(), standIns[k]) == now.end();
    if (closed) {
      Open[k]->ToLine = standIns[k]->ToLine;
      Open[k]->ClosingBelow = 0;
    }
    const TOndEditFoldRanges& subs = standIns[k]->SubFoldRanges;
    std::vector<TOndEditFoldRange*> added;
    for (int j = 0; j < subs.Count(); ++j)
      if (standInIndex.count(subs.Items(j)) == 0) added.push_back(subs.Items(j));
    Open[k]->SubFoldRanges.ReplaceLines(First, until, added);
  }
  {
    std::vector<TOndEditFoldRange*> added;
    for (int j = 0; j < fresh.TOndEditFoldRanges::Count(); ++j) added.push_back(fresh.TOndEditFoldRanges::Items(j));
    FRanges.ReplaceLines(First, until, added);
  }
  // The stand-ins go; every other range found joins the flat list.
  for (std::size_t k = standIns.size(); k-- > 0;) {
    standIns[k]->SubFoldRanges.Clear();
    fresh.AllDelete(fresh.AllIndexOf(standIns[k]));
  }
  std::vector<TOndEditFoldRange*> added;
  for (const auto& r : fresh.AllRangeList()) added.push_back(r.get());
  if (!(flatKnown && FRanges.SpliceRangesAt(flatAt, gone, fresh))) FRanges.SpliceRanges(gone, First, fresh);
  // The index follows the replaced stretch instead of reading a million
  // ranges again.
  if (!(indexCurrent && FRanges.IndexReplaced(First, until, added, Open))) FRanges.IndexChanged();
  return true;
}

}  // namespace ond
