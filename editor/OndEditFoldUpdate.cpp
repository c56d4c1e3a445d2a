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

std::int32_t TOndExpandedText::FoldHeaderOf(std::int32_t Line) const noexcept {
  if (Line < 1 || static_cast<std::size_t>(Line) > Hidden.size() || Hidden[static_cast<std::size_t>(Line) - 1] == 0)
    return 0;
  return BufferLine[static_cast<std::size_t>(Line) - 1];
}

TOndExpandedText TOndCodeFolder::ExpandedText() const {
  TOndExpandedText t;
  std::vector<TOndEditFoldRange*> inSight;
  for (const auto& r : FRanges.AllRangeList())
    if (r->Collapsed && !r->ParentCollapsed) inSight.push_back(r.get());
  std::stable_sort(inSight.begin(), inSight.end(),
                   [](const TOndEditFoldRange* A, const TOndEditFoldRange* B) { return A->FromLine < B->FromLine; });
  const auto add = [&t](std::string_view Text, std::int32_t Line, bool Hidden) {
    t.Lines.push_back(Text);
    t.BufferLine.push_back(Line);
    t.Hidden.push_back(Hidden ? 1 : 0);
  };
  // A collapsed header without its marker, then the lines it hides, each
  // collapsed header among them expanded the same way; every line seen on
  // buffer line Line.
  const auto expand = [&](auto& Self, const TOndEditFoldRange* Range, std::string_view Header, std::int32_t Line,
                          bool Hidden) -> void {
    const std::string marker = CollapsedMarker(Range);
    if (Header.size() >= marker.size() && Header.substr(Header.size() - marker.size()) == marker)
      Header.remove_suffix(marker.size());
    add(Header, Line, Hidden);
    const std::vector<const TOndEditFoldRange*> below = CollapsedBelow(Range);
    std::size_t next = 0;
    const int count = Range->CollapsedLines.GetCount();
    for (int j = count - 1; j >= 0; --j) {
      const std::string_view text = t.Owned.emplace_back(Range->CollapsedLines.Get(j));
      const std::int64_t at = static_cast<std::int64_t>(Range->FromLine) + (count - j);
      while (next < below.size() && below[next]->FromLine < at) ++next;
      if (next < below.size() && below[next]->FromLine == at)
        Self(Self, below[next++], text, Line, true);
      else
        add(text, Line, true);
    }
  };
  std::size_t k = 0;
  for (int i = 0; i < FLines.GetCount(); ++i) {
    const std::int32_t line = i + 1;
    while (k < inSight.size() && inSight[k]->FromLine < line) ++k;
    if (k == inSight.size() || inSight[k]->FromLine != line) {
      add(FLines.GetView(i), line, false);
      continue;
    }
    TOndEditFoldRange* r = inSight[k++];
    const auto header = static_cast<std::int32_t>(t.Lines.size()) + 1;
    expand(expand, r, FLines.GetView(i), line, false);
    // Where its closing line is here: as far below the header as in the
    // range's own lines, plus what collapsed ranges among them hide.
    std::int64_t closing = static_cast<std::int64_t>(header) + r->ToLine - r->FromLine + r->ClosingBelow;
    for (const TOndEditFoldRange* d : CollapsedBelow(r))
      if (d->FromLine < r->ToLine) closing += static_cast<std::int64_t>(d->HiddenLineCount()) + 1;
    t.Folds.push_back({r, header, static_cast<std::int32_t>(std::clamp<std::int64_t>(closing, header, INT32_MAX))});
  }
  return t;
}

void TOndCodeFolder::ApplyExpandedUpdate(TOndEditAllFoldRanges& Fresh, const TOndExpandedText& Text) {
  const auto& fresh = Fresh.AllRangeList();
  const auto hidden = [&Text](std::int32_t Line) { return Text.FoldHeaderOf(Line) != 0; };
  // Each collapsed range in sight stands for the range the scan found on
  // its header with its region and its closing line, and that one's sub
  // ranges, which it hides; ranges the scan found starting on hidden lines
  // are already among the ranges the collapsed ones hold.
  std::unordered_map<const TOndEditFoldRange*, TOndEditFoldRange*> standsFor;
  std::unordered_set<const TOndEditFoldRange*> dropped;
  std::vector<TOndEditFoldRange*> unmatched;
  std::size_t strays = 0;
  for (const TOndExpandedText::TFold& f : Text.Folds) {
    auto it = std::partition_point(fresh.begin(), fresh.end(),
                                   [&f](const std::unique_ptr<TOndEditFoldRange>& r) { return r->FromLine < f.Header; });
    TOndEditFoldRange* match = nullptr;
    for (; it != fresh.end() && (*it)->FromLine == f.Header && match == nullptr; ++it)
      if (f.Range->FoldRegion != nullptr && (*it)->FoldRegion == f.Range->FoldRegion && (*it)->ToLine == f.Closing &&
          dropped.count(it->get()) == 0)
        match = it->get();
    if (match == nullptr) {
      unmatched.push_back(f.Range);
      continue;
    }
    standsFor[match] = f.Range;
    dropped.insert(match);
    // Its sub ranges on its header and hidden lines are the collapsed
    // range's; one on its closing line in sight (typed there since) stays
    // in sight beside it until the fold is opened and read again.
    std::size_t held = 0, own = 0;
    ForEachDescendant(match, [&](TOndEditFoldRange* d) {
      if (d->FromLine == f.Header || hidden(d->FromLine)) {
        dropped.insert(d);
        ++held;
      } else {
        ++strays;
      }
    });
    // A range the scan found there that the collapsed one does not hold (an
    // opening token put into the header's text since) is read again once
    // the fold opens, as are the strays.
    ForEachDescendant(f.Range, [&own](TOndEditFoldRange*) { ++own; });
    if (held != own) ++strays;
  }
  std::size_t paired = dropped.size();
  for (const auto& r : fresh)
    if (hidden(r->FromLine)) dropped.insert(r.get());
  Unpaired = !unmatched.empty() || strays > 0 || dropped.size() != paired;
  // The range each kept range goes into: the nearest kept one holding it.
  const auto keptParent = [&](const TOndEditFoldRange* R) -> TOndEditFoldRange* {
    for (const TOndEditFoldRanges* l = R->Container(); l != nullptr && l->Owner() != nullptr;
         l = l->Owner()->Container())
      if (dropped.count(l->Owner()) == 0) return l->Owner();
    return nullptr;
  };
  std::unordered_map<const TOndEditFoldRange*, TOndEditFoldRange*> parentOf;
  for (const auto& r : fresh)
    if (dropped.count(r.get()) == 0) parentOf[r.get()] = keptParent(r.get());
  for (const auto& [match, range] : standsFor) parentOf[range] = keptParent(match);
  // A collapsed range the scan no longer pairs so goes into the innermost
  // range found around its lines, before the first range found below its
  // header.
  std::unordered_map<const TOndEditFoldRange*, std::int32_t> headerOf;
  for (const TOndExpandedText::TFold& f : Text.Folds) headerOf[f.Range] = f.Header;
  for (TOndEditFoldRange* u : unmatched) {
    const std::int32_t header = headerOf[u];
    TOndEditFoldRange* around = nullptr;
    for (const auto& r : fresh)
      if (dropped.count(r.get()) == 0 && r->FromLine < header && r->ToLine >= header &&
          (around == nullptr || r->FromLine > around->FromLine || r->Level > around->Level))
        around = r.get();
    parentOf[u] = around;
  }
  // The new flat list: the ranges found in their order, each collapsed
  // range with what it holds in place of the one it stands for.
  std::vector<TOndEditFoldRange*> order;
  order.reserve(fresh.size());
  std::size_t nextUnmatched = 0;
  const auto withBelow = [&order](TOndEditFoldRange* Range) {
    order.push_back(Range);
    ForEachDescendant(Range, [&order](TOndEditFoldRange* d) { order.push_back(d); });
  };
  for (const auto& r : fresh) {
    while (nextUnmatched < unmatched.size() && headerOf[unmatched[nextUnmatched]] < r->FromLine)
      withBelow(unmatched[nextUnmatched++]);
    const auto stand = standsFor.find(r.get());
    if (stand != standsFor.end())
      withBelow(stand->second);
    else if (dropped.count(r.get()) == 0)
      order.push_back(r.get());
  }
  while (nextUnmatched < unmatched.size()) withBelow(unmatched[nextUnmatched++]);
  // Out of every list first, so that the ranges that go leave none behind
  // and none is looked for in a long list.
  std::vector<std::unique_ptr<TOndEditFoldRange>> old, found;
  while (FRanges.AllCount() > 0) old.push_back(FRanges.AllExtract(FRanges.AllCount() - 1));
  while (Fresh.AllCount() > 0) found.push_back(Fresh.AllExtract(Fresh.AllCount() - 1));
  std::unordered_set<const TOndEditFoldRange*> keptOld;
  for (const TOndExpandedText::TFold& f : Text.Folds) {
    keptOld.insert(f.Range);
    ForEachDescendant(f.Range, [&keptOld](TOndEditFoldRange* d) { keptOld.insert(d); });
  }
  FRanges.TOndEditFoldRanges::Clear();
  Fresh.TOndEditFoldRanges::Clear();
  for (auto& r : old)
    if (keptOld.count(r.get()) == 0) r->SubFoldRanges.Clear();
  for (auto& r : found) r->SubFoldRanges.Clear();
  for (const TOndExpandedText::TFold& f : Text.Folds)
    if (f.Range->Container() != nullptr) f.Range->Container()->Remove(f.Range);
  std::unordered_map<const TOndEditFoldRange*, std::unique_ptr<TOndEditFoldRange>*> owner;
  for (auto& r : old) owner[r.get()] = &r;
  for (auto& r : found) owner[r.get()] = &r;
  // Numbered with buffer lines; an end on a hidden line becomes the
  // header hiding it, with how far below it the line lies.
  std::unordered_map<std::int32_t, std::int32_t> foldAt;
  for (const TOndExpandedText::TFold& f : Text.Folds) foldAt[f.Range->FromLine] = f.Header;
  const auto bufferLine = [&Text](std::int32_t Line) {
    return Text.BufferLine[static_cast<std::size_t>(std::clamp<std::int64_t>(Line, 1, static_cast<std::int64_t>(Text.BufferLine.size())) - 1)];
  };
  for (TOndEditFoldRange* r : order) {
    const bool top = parentOf.count(r) != 0;
    if (top && keptOld.count(r) == 0) {
      const std::int32_t to = r->ToLine;
      r->FromLine = bufferLine(r->FromLine);
      r->ToLine = bufferLine(to);
      r->ClosingBelow = hidden(to) ? to - foldAt[r->ToLine] : 0;
    }
    FRanges.AllAdd(std::move(*owner[r]));
    if (top) {
      TOndEditFoldRange* parent = parentOf[r];
      (parent != nullptr ? parent->SubFoldRanges : static_cast<TOndEditFoldRanges&>(FRanges)).Add(r);
    }
  }
  for (int i = 0; i < FRanges.TOndEditFoldRanges::Count(); ++i) FRanges.TOndEditFoldRanges::Items(i)->SetLevel(0);
  FRanges.SetStateCrossesLines(Fresh.StateCrossesLines());
  NormalizeParentCollapsed(FRanges);
  FRanges.NoteRangesWalked(4 * static_cast<std::uint64_t>(FRanges.AllCount()));
}

TFoldNonCodeFunc TOndCodeFolder::ExpandedScanNonCode(const TOndExpandedText& Text) const {
  if (ExpandedNonCode) return ExpandedNonCode(Text);
  TFoldNonCodeFunc asked = NonCode();
  if (!asked) return {};
  return [asked, &Text](std::int32_t L, std::int32_t C) {
    return Text.FoldHeaderOf(L) == 0 && asked(Text.BufferLine[static_cast<std::size_t>(L) - 1], C);
  };
}

void TOndCodeFolder::UpdateFoldRanges() {
  if (Regions != nullptr && !CollapsedHeaderLines().empty()) {
    // The text as it reads with every fold expanded is scanned, so that
    // what the folds hide counts as it would in sight.
    const TOndExpandedText text = ExpandedText();
    TOndEditAllFoldRanges fresh;
    const TOndFoldScanner scanner(*Regions, CaseSensitive);
    TOndFoldScan scan(scanner, fresh, FLines.GetTabWidth(), ExpandedScanNonCode(text));
    for (std::string_view line : text.Lines) scan.Line(line);
    scan.Finish();
    ApplyExpandedUpdate(fresh, text);
    return;
  }
  Unpaired = false;
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
