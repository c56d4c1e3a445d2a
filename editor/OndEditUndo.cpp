// Undo and redo of the recorded changes, and the numbered bookmarks.
#include "editor/OndEdit.h"

#include <algorithm>
#include <cstdint>

#include "editor/OndEditImpl.h"
#include "editor/OndEditLineRuns.h"
#include "platform/ImgList.h"
#include "platform/core/ScopeGuard.h"

namespace ond {

// ---- undo and redo -------------------------------------------------------------------------

void TCustomOndEdit::RefreshModified() {
  const bool modified = !FUndoList->IsTopMarkedAsSaved();
  if (modified == FModified) return;
  FModified = modified;
  StatusChanged(StatusModified);
}

void TCustomOndEdit::UndoListChanged(TOndEditUndoList* Sender) {
  RefreshModified();
  if (Sender == FUndoList && !(FStateFlags & sfInsideRedo) && FUndoList->LastChangeReason() != urGroupBreak)
    FRedoList->Clear();
  if (Sender->GetBlockDepth() == 0) DoChange();
}

void TCustomOndEdit::SetModified(bool Value) {
  if (FModified == Value) return;
  if (!Value && (FOptions & eoGroupUndo) && FUndoList->HasRecords()) FUndoList->AddGroupBreak();
  FUndoList->MarkTopAsSaved(!Value);
  FModified = Value;
  StatusChanged(StatusModified);
  if (!Value) {
    FLines->MarkChangedLinesSaved();
    InvalidateGutter();
  }
}

namespace {
// Moves the top record of one list onto another, keeping its change number.
void MoveTopItem(TOndEditUndoList* From, TOndEditUndoList* To) {
  if (std::unique_ptr<TOndEditUndoItem> item = From->PopItem()) To->PushItem(std::move(item));
}

std::unique_ptr<TOndEditUndoItem> MakeItem(TOndUndoReason Reason, const TBufferCoord& S, const TBufferCoord& E,
                                           std::string Text, TOndSelectionMode Mode, std::int32_t Group) {
  auto item = std::make_unique<TOndEditUndoItem>();
  item->Reason = Reason;
  item->StartPos = S;
  item->EndPos = E;
  item->Text = std::move(Text);
  item->SelectionMode = Mode;
  item->GroupNumber = Group;
  return item;
}
}  // namespace

// ---- records of whole lines ---------------------------------------------------------------

// The record numbers its lines as the text stands with every fold expanded,
// and holds no collapse marker: it finds its lines whatever folds are
// collapsed when it is undone or redone, even when a fold hides other lines
// than it did when the record was made.
bool TCustomOndEdit::RecordLineRuns(TOndLineRunsRecorder& Kept) {
  const bool folded = AnyFoldCollapsed();
  std::vector<TOndLineRun> runs = Kept.Take([this, folded](int Line) {
    return folded ? VisibleLineView(Line) : FLines->GetView(Line - 1);
  });
  if (runs.empty()) return false;
  // A collapsed header is only ever the last line of a run (see
  // TOndLineRunsRecorder::Keep): each run's lines follow one another in the
  // expanded text too.
  if (folded)
    for (TOndLineRun& r : runs) r.First = UncollapsedLine(r.First);
  FUndoList->AddChange(urReplaceLines, BufferCoord(1, runs.front().First),
                       BufferCoord(1, runs.back().First + runs.back().Count - 1), EncodeLineRuns(runs), smNormal);
  return true;
}

bool TCustomOndEdit::AnyFoldCollapsed() const {
  return !FAllFoldRanges->ScanPending() && FAllFoldRanges->AllCount() > 0 &&
         FAllFoldRanges->Index().CollapsedBetween(1, INT32_MAX);
}

std::string_view TCustomOndEdit::VisibleLineView(int Line) const {
  if (Line < 1 || Line > FLines->GetCount()) return std::string_view();
  return FLines->GetView(Line - 1).substr(0, static_cast<std::size_t>(VisibleLineLength(Line)));
}

int TCustomOndEdit::LineOfUncollapsedLine(int FileLine) const {
  const int count = FLines->GetCount();
  if (FileLine <= 1 || count == 0 || !AnyFoldCollapsed()) return FileLine;
  // The line numbers of the expanded text grow with the lines: the last
  // line whose number there is at most FileLine.
  int lo = 1, hi = count;
  while (lo < hi) {
    const int mid = lo + (hi - lo + 1) / 2;
    if (UncollapsedLine(mid) <= FileLine)
      lo = mid;
    else
      hi = mid - 1;
  }
  return lo;
}

std::vector<std::pair<TOndEditFoldRange*, int>> TCustomOndEdit::OpenFoldsOver(int First, int Last) {
  std::vector<std::pair<TOndEditFoldRange*, int>> opened;
  auto expand = [&](TOndEditFoldRange* R) {
    CounterScope toggling(FFoldToggling);
    const int before = FLines->GetCount();
    // A header that lost its marker (its range moved away from it) would
    // get one put in by collapsing it again: such a range stays open.
    const std::string_view header = R->FromLine >= 1 && R->FromLine <= before ? FLines->GetView(R->FromLine - 1) : "";
    const std::string marker = CollapsedMarker(R);
    const bool marked = header.size() >= marker.size() && header.substr(header.size() - marker.size()) == marker;
    if (!Folder().ExpandFoldRange(R)) return false;
    opened.emplace_back(R, marked ? FLines->GetCount() - before : -1);
    return true;
  };
  // Each pass expands the folds whose headers stand on the lines; a fold
  // nested in one of them, or one whose header was the last line and hid
  // the rest, comes into view for the next pass.
  while (AnyFoldCollapsed()) {
    TBufferCoord b = BufferCoord(1, LineOfUncollapsedLine(First));
    TBufferCoord e = BufferCoord(1, LineOfUncollapsedLine(std::max(First, Last)));
    if (!FAllFoldRanges->Index().CollapsedBetween(b.Line, e.Line)) break;
    const std::size_t before = opened.size();
    ExpandFoldsBetween(*FLines, *FAllFoldRanges, b, e, expand);
    if (opened.size() == before) break;
  }
  if (!opened.empty()) {
    FHighlightedFoldRange = nullptr;
    FStateFlags |= sfScrollBarsChanged;
    Invalidate();
  }
  return opened;
}

void TCustomOndEdit::CloseFoldsAgain(const std::vector<std::pair<TOndEditFoldRange*, int>>& Opened) {
  if (Opened.empty()) return;
  // Only ranges still in the tree are touched (a change of lines moves the
  // ranges, but should none go, it is never read).
  std::vector<TOndEditFoldRange*> wanted;
  for (const auto& [range, shown] : Opened) wanted.push_back(range);
  std::sort(wanted.begin(), wanted.end());
  std::vector<TOndEditFoldRange*> present;
  for (const auto& r : FAllFoldRanges->AllRangeList())
    if (std::binary_search(wanted.begin(), wanted.end(), r.get())) present.push_back(r.get());
  std::sort(present.begin(), present.end());
  CounterScope toggling(FFoldToggling);
  for (auto it = Opened.rbegin(); it != Opened.rend(); ++it) {
    TOndEditFoldRange* r = it->first;
    if (it->second < 0 || !std::binary_search(present.begin(), present.end(), r) || r->Collapsed ||
        r->ParentCollapsed)
      continue;
    const int before = FLines->GetCount();
    if (Folder().CollapseFoldRange(r) && before - FLines->GetCount() != it->second) Folder().ExpandFoldRange(r);
  }
  FHighlightedFoldRange = nullptr;
  FStateFlags |= sfScrollBarsChanged;
  Invalidate();
}

void TCustomOndEdit::CloseFoldAgainAt(int Header, int Shown) {
  if (Header < 1 || Header > FLines->GetCount() || CollapsedFoldAt(Header) != nullptr) return;
  std::vector<TOndEditFoldRange*> candidates;
  for (const auto& r : FAllFoldRanges->AllRangeList())
    if (r->FromLine == Header && !r->Collapsed && !r->ParentCollapsed) candidates.push_back(r.get());
  CounterScope toggling(FFoldToggling);
  // Only a range that hides the very lines it showed: any other would move
  // the lines the records past it find.
  for (TOndEditFoldRange* r : candidates) {
    const int before = FLines->GetCount();
    if (!Folder().CollapseFoldRange(r)) continue;
    if (before - FLines->GetCount() == Shown) return;
    Folder().ExpandFoldRange(r);
  }
}

void TCustomOndEdit::UpdateFoldsAfterLinesPut() {
  // A key edit has its folds updated by the command that made it; lines put
  // by a replace-all, its undo or its redo have theirs updated here, so that
  // the marks fit the text at once.
  if (FFoldChangeCount != 0 && FCodeFolding->GetEnabled()) UpdateFoldRanges();
}

std::unique_ptr<TOndEditUndoItem> TCustomOndEdit::PutLineRuns(const TOndEditUndoItem& Item, int& CaretLine) {
  std::vector<TOndLineRun> runs = DecodeLineRuns(Item.Text);
  PaintLockScope lock(*this);
  FLines->BeginUpdate();
  const TScopeExit update([&] { FLines->EndUpdate(); });
  // Lines are numbered as in the text with every fold expanded, which
  // opening a fold leaves as they are: the folds over every run's lines
  // open first, and close again only once all the lines are put and the
  // ranges read from them. A fold closed while other runs still held the
  // text of the other side would find ranges of neither text and hide
  // other lines than it did; it would stay open, and the fold records past
  // it would no longer find their lines.
  struct TOpened {
    TOndEditFoldRange* Range;
    int Header;  // in the text with every fold expanded, before the runs are put
    int Shown;   // the lines it showed, or -1 for a range that stays open
  };
  std::vector<TOpened> opened;
  std::vector<std::pair<TOndEditFoldRange*, int>> ranges;
  for (std::size_t i = runs.size(); i-- > 0;)
    for (const auto& [range, shown] : OpenFoldsOver(runs[i].First, runs[i].First + runs[i].Count - 1)) {
      opened.push_back({range, UncollapsedLine(range->FromLine), shown});
      ranges.emplace_back(range, shown);
    }
  const std::vector<TOndLineRun> before = runs;
  // From the last run up, so that the runs above still stand where the
  // record says; each takes the lines it replaced.
  std::vector<int> added(runs.size());
  for (std::size_t i = runs.size(); i-- > 0;) {
    TOndLineRun& run = runs[i];
    const int count = FLines->GetCount();
    const int lines = AnyFoldCollapsed() ? UncollapsedLine(count + 1) - 1 : count;
    // A record that does not fit the text (it never should) replaces only
    // lines there are.
    const int first = std::clamp(run.First, 1, lines + 1);
    const int last = std::min(first + run.Count - 1, lines);
    const int at = first > lines ? count + 1 : LineOfUncollapsedLine(first);
    const int replaced = std::min(last - first + 1, count - at + 1);
    std::string taken;
    for (int l = at; l < at + replaced; ++l) {
      if (l > at) taken += "\r\n";
      taken.append(FLines->GetView(l - 1));
    }
    const int put = PutLinesRaw(at, replaced, run.Lines);
    added[i] = put - replaced;
    run.First = first;
    run.Count = put;
    run.Lines = std::move(taken);
  }
  // The runs below moved by what those above them gained.
  int moved = 0;
  for (std::size_t i = 0; i < runs.size(); ++i) {
    runs[i].First += moved;
    moved += added[i];
  }
  // Each fold opened closes again, inner ones first: the range it was, if
  // it still hides the lines it showed; else the range read from the lines
  // put on the line its header stands on now.
  CloseFoldsAgain(ranges);
  std::vector<TOndEditFoldRange*> present;
  for (const auto& r : FAllFoldRanges->AllRangeList()) present.push_back(r.get());
  std::sort(present.begin(), present.end());
  for (TOpened& o : opened)
    if (o.Shown >= 0 && std::binary_search(present.begin(), present.end(), o.Range) && o.Range->Collapsed)
      o.Shown = -1;
  UpdateFoldsAfterLinesPut();
  for (auto it = opened.rbegin(); it != opened.rend(); ++it) {
    if (it->Shown < 0) continue;
    int header = it->Header;
    for (std::size_t i = 0; i < before.size(); ++i) {
      if (before[i].First + before[i].Count - 1 < it->Header) {
        header += added[i];
      } else {
        if (before[i].First <= it->Header)
          header = runs[i].First + std::min(it->Header - before[i].First, runs[i].Count - 1);
        break;
      }
    }
    CloseFoldAgainAt(LineOfUncollapsedLine(header), it->Shown);
  }
  FHighlightedFoldRange = nullptr;
  FStateFlags |= sfScrollBarsChanged;
  Invalidate();
  auto item = std::make_unique<TOndEditUndoItem>();
  item->Reason = Item.Reason;
  item->SelectionMode = Item.SelectionMode;
  item->GroupNumber = Item.GroupNumber;
  CaretLine = 1;
  if (!runs.empty()) {
    item->StartPos = BufferCoord(1, runs.front().First);
    item->EndPos = BufferCoord(1, runs.back().First + runs.back().Count - 1);
    CaretLine = std::clamp(LineOfUncollapsedLine(runs.front().First), 1, std::max(1, FLines->GetCount()));
  }
  item->Text = EncodeLineRuns(runs);
  return item;
}

int TCustomOndEdit::PutLinesRaw(int First, int Count, std::string_view Text) {
  const std::vector<std::string_view> lines = SplitTextLines(Text);
  const int n = static_cast<int>(lines.size());
  // Only lines there are are replaced, whatever the caller asks.
  First = std::clamp(First, 1, FLines->GetCount() + 1);
  Count = std::clamp(Count, 0, FLines->GetCount() - First + 1);
  PaintLockScope lock(*this);
  FLines->BeginUpdate();
  const TScopeExit update([&] { FLines->EndUpdate(); });
  const int common = std::min(n, Count);
  for (int i = 0; i < common; ++i)
    if (FLines->GetView(First - 1 + i) != lines[static_cast<std::size_t>(i)])
      FLines->Put(First - 1 + i, std::string(lines[static_cast<std::size_t>(i)]));
  if (n > Count) {
    std::vector<std::string> added(lines.begin() + Count, lines.end());
    FLines->InsertLines(First - 1 + Count, added);
  } else if (Count > n) {
    FLines->DeleteLineRange(First - 1 + n, Count - n);
  }
  return n;
}

void TCustomOndEdit::UndoItem() {
  std::unique_ptr<TOndEditUndoItem> item = FUndoList->PopItem();
  if (!item) return;
  if (item->Reason == urFoldChange) {
    ReplayFoldRecord(std::move(item), true);
    return;
  }
  TOndEditUndoList* const keepTarget = FFoldUndoTarget;
  FFoldUndoTarget = FRedoList;
  FFoldUndoGroup = item->GroupNumber;
  const TOndSelectionMode keepMode = FSelectionMode;
  const TOndEditorOptions keepOptions = FOptions;
  PaintLockScope lock(*this);
  FSelectionMode = item->SelectionMode;
  FOptions |= eoScrollPastEol;  // positions beyond line ends survive
  const TScopeExit restore([&] {
    FSelectionMode = keepMode;
    FOptions = keepOptions;
    FFoldUndoTarget = keepTarget;
  });
  const TBufferCoord s = item->StartPos, e = item->EndPos;
  const TOndUndoReason r = item->Reason;
  if (IsInsertRecord(r)) {
    // What the replay takes away, as it takes it: the hidden lines of a fold
    // inside, never a collapsed header's marker.
    std::string taken = SpanText(s, e);
    // The text the insertion replaced (overwrite mode) comes back; redo
    // replaces it again, so its record reaches to the end of it.
    TBufferCoord restored = ReplaceRange(s, e, item->Text, r, r, false);
    const bool madeFirstLine = item->Extra2 == 1 && FLines->GetCount() == 1 && LineLength(1) == 0;
    if (madeFirstLine) FLines->Delete(0);
    if (item->Text.empty() || madeFirstLine) restored = s;
    FRedoList->PushItem(MakeItem(r, s, restored, std::move(taken), item->SelectionMode, item->GroupNumber));
    if (madeFirstLine) FRedoList->PeekItem()->Extra2 = 1;
    SetCaretAndCollapse(s);
  } else if (IsDeleteRecord(r)) {
    const TBufferCoord end = ReplaceRange(s, s, item->Text, r, r, false);
    FRedoList->PushItem(MakeItem(r, s, end, std::string(), item->SelectionMode, item->GroupNumber));
    if (r == urDeleteAfterCursor || r == urSilentDeleteAfterCursor)
      SetCaretAndCollapse(s);
    else if (r == urSilentDelete)
      SetCaretAndCollapse(end);
    else if (r == urDeleteAll)
      SetCaretAndCollapse(BufferCoord(1, 1));
    else
      PlaceCaretAndSelection(end, s, end);
    MakeCaretVisible();
  } else if (r == urReplaceLines) {
    int caretLine = 1;
    FRedoList->PushItem(PutLineRuns(*item, caretLine));
    // The records undone next (folds opened or collapsed before the change)
    // were made on the ranges as updated for the text these lines give back.
    UpdateFoldsAfterLinesPut();
    SetCaretAndCollapse(BufferCoord(1, caretLine));
    MakeCaretVisible();
  } else if (r == urCaret) {
    FRedoList->PushItem(MakeItem(r, GetCaretXY(), GetCaretXY(), std::string(), item->SelectionMode,
                                 item->GroupNumber));
    InternalSetCaretXY(s);
  } else if (r == urSelection) {
    FRedoList->PushItem(MakeItem(r, FBlockBegin, FBlockEnd, std::string(), item->SelectionMode, item->GroupNumber));
    SetBlockBegin(s);
    SetBlockEnd(e);
  }
}

void TCustomOndEdit::RedoItem() {
  std::unique_ptr<TOndEditUndoItem> item = FRedoList->PopItem();
  if (!item) return;
  if (item->Reason == urFoldChange) {
    ReplayFoldRecord(std::move(item), false);
    return;
  }
  TOndEditUndoList* const keepTarget = FFoldUndoTarget;
  FFoldUndoTarget = FUndoList;
  FFoldUndoGroup = item->GroupNumber;
  const TOndSelectionMode keepMode = FSelectionMode;
  const TOndEditorOptions keepOptions = FOptions;
  PaintLockScope lock(*this);
  FSelectionMode = item->SelectionMode;
  FOptions |= eoScrollPastEol;
  const TScopeExit restore([&] {
    FSelectionMode = keepMode;
    FOptions = keepOptions;
    FFoldUndoTarget = keepTarget;
  });
  const TBufferCoord s = item->StartPos, e = item->EndPos;
  const TOndUndoReason r = item->Reason;
  if (IsInsertRecord(r)) {
    std::string replaced = SpanText(s, e);
    const bool wasEmpty = FLines->GetCount() == 0;
    const TBufferCoord end = ReplaceRange(s, e, item->Text, r, r, false);
    auto redone = MakeItem(r, s, end, std::move(replaced), item->SelectionMode, item->GroupNumber);
    if (wasEmpty) redone->Extra2 = 1;
    FUndoList->PushItem(std::move(redone));
    SetCaretAndCollapse(end);
  } else if (IsDeleteRecord(r)) {
    std::string taken = SpanText(s, e);
    ReplaceRange(s, e, std::string_view(), r, r, false);
    FUndoList->PushItem(MakeItem(r, s, e, std::move(taken), item->SelectionMode, item->GroupNumber));
    SetCaretAndCollapse(s);
  } else if (r == urReplaceLines) {
    int caretLine = 1;
    FUndoList->PushItem(PutLineRuns(*item, caretLine));
    // The records redone next (folds opened or collapsed after the change)
    // were made on the ranges as updated after these lines changed.
    UpdateFoldsAfterLinesPut();
    SetCaretAndCollapse(BufferCoord(1, caretLine));
    MakeCaretVisible();
  } else if (r == urCaret) {
    FUndoList->PushItem(MakeItem(r, GetCaretXY(), GetCaretXY(), std::string(), item->SelectionMode,
                                 item->GroupNumber));
    InternalSetCaretXY(s);
  } else if (r == urSelection) {
    FUndoList->PushItem(MakeItem(r, FBlockBegin, FBlockEnd, std::string(), item->SelectionMode, item->GroupNumber));
    SetBlockBegin(s);
    SetBlockEnd(e);
  }
}

void TCustomOndEdit::Undo() {
  if (GetReadOnly()) return;
  PaintLockScope lock(*this);
  if (FUndoList->LastChangeReason() == urGroupBreak) MoveTopItem(FUndoList, FRedoList);
  const TOndEditUndoItem* top = FUndoList->PeekItem();
  if (!top) {
    RefreshModified();
    return;
  }
  const TOndUndoReason first = top->Reason;
  std::int32_t group = top->GroupNumber;
  const bool endMarker = IsEndMarker(first);
  TOndUndoReason last = first;
  for (;;) {
    UndoItem();
    const TOndEditUndoItem* t = FUndoList->PeekItem();
    if (!t) break;
    if (endMarker) {
      if (t->Reason == first - 1) {
        UndoItem();
        break;
      }
      continue;
    }
    if (t->GroupNumber == group) {
      last = t->Reason;
      continue;
    }
    if ((FOptions & eoGroupUndo) && t->Reason == last && !NeverGrouped(last)) {
      group = t->GroupNumber;
      continue;
    }
    break;
  }
  // A fold the replay opened whose ranges the text no longer pairs is read
  // again, as when it is opened by hand.
  ReadUnpairedFoldsAgain();
  RefreshModified();
  if (FUndoList->GetBlockDepth() == 0) DoChange();
}

void TCustomOndEdit::Redo() {
  if (GetReadOnly()) return;
  const TOndEditUndoItem* top = FRedoList->PeekItem();
  if (!top) return;
  PaintLockScope lock(*this);
  FStateFlags |= sfInsideRedo;
  {
    const TScopeExit restore([&] { FStateFlags &= static_cast<TOndStateFlags>(~sfInsideRedo); });
    const TOndUndoReason first = top->Reason;
    std::int32_t group = top->GroupNumber;
    const bool beginMarker = IsBeginMarker(first);
    TOndUndoReason last = first;
    for (;;) {
      RedoItem();
      const TOndEditUndoItem* t = FRedoList->PeekItem();
      if (!t) break;
      if (beginMarker) {
        if (t->Reason == first + 1) {
          RedoItem();
          break;
        }
        continue;
      }
      if (t->GroupNumber == group) {
        last = t->Reason;
        continue;
      }
      if ((FOptions & eoGroupUndo) && t->Reason == last && !NeverGrouped(last)) {
        group = t->GroupNumber;
        continue;
      }
      break;
    }
    if (FRedoList->LastChangeReason() == urGroupBreak) MoveTopItem(FRedoList, FUndoList);
  }
  ReadUnpairedFoldsAgain();
  RefreshModified();
  DoChange();
}

// ---- bookmarks -----------------------------------------------------------------------------

void TCustomOndEdit::SetBookMark(int BookMark, int X, int Y) {
  if (BookMark < 0 || BookMark > 9 || Y < 1 || Y > std::max(1, FLines->GetCount())) return;
  auto mark = std::make_unique<TOndEditMark>(this);
  mark->SetLine(Y);
  mark->SetChar(X);
  mark->SetImage(BookMark);
  mark->SetBookmarkIndex(BookMark);
  mark->SetVisible(true);
  mark->SetUseInternalImage(FBookMarkOpt->GetBookmarkImages() == nullptr);
  TOndEditMark* m = mark.get();
  DoOnPlaceMark(m);
  if (m != mark.get()) {
    // The handler cancelled the mark (null) or handed its own.
    mark.reset();
    if (!m) return;
    mark.reset(m);
  }
  ClearBookMark(BookMark);
  FBookMarks[static_cast<std::size_t>(BookMark)] = mark.get();
  FMarkList->Add(std::move(mark));
}

void TCustomOndEdit::ClearBookMark(int BookMark) {
  if (BookMark < 0 || BookMark > 9) return;
  TOndEditMark* m = FBookMarks[static_cast<std::size_t>(BookMark)];
  if (!m) return;
  TOndEditMark* shown = m;
  DoOnClearBookmark(shown);
  FBookMarks[static_cast<std::size_t>(BookMark)] = nullptr;
  FMarkList->Remove(m);
}

bool TCustomOndEdit::GetBookMark(int BookMark, int& X, int& Y) const {
  const TOndEditMark* m = Bookmark(BookMark);
  if (!m) return false;
  X = m->GetChar();
  Y = m->GetLine();
  return true;
}

void TCustomOndEdit::GotoBookMark(int BookMark) {
  const TOndEditMark* m = Bookmark(BookMark);
  if (!m || m->GetLine() < 1 || m->GetLine() > FLines->GetCount()) return;
  PaintLockScope lock(*this);
  SetCaretXYEx(false, BufferCoord(m->GetChar(), m->GetLine()));
  MakeCaretVisibleEx(true);
  if (SelAvail()) InvalidateSelection();
  FBlockBegin = FBlockEnd = GetCaretXY();
  StatusChanged(StatusSelection);
}

}  // namespace ond
