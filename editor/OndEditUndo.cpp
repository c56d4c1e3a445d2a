// Undo and redo of the recorded changes, and the numbered bookmarks.
#include "editor/OndEdit.h"

#include <algorithm>

#include "editor/OndEditImpl.h"
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

TCustomOndEdit::TLinesSnapshot TCustomOndEdit::TakeLinesSnapshot(int FirstLine, int LastLine) const {
  TLinesSnapshot shot;
  const int count = FLines->GetCount();
  FirstLine = std::max(1, FirstLine);
  LastLine = std::min(LastLine, count);
  shot.First = FirstLine;
  shot.LinesAfter = count - std::max(LastLine, FirstLine - 1);
  std::size_t size = 0;
  for (int l = FirstLine; l <= LastLine; ++l) size += FLines->GetView(l - 1).size();
  shot.Text.reserve(size);
  shot.Starts.reserve(static_cast<std::size_t>(std::max(0, LastLine - FirstLine + 1)) + 1);
  for (int l = FirstLine; l <= LastLine; ++l) {
    shot.Starts.push_back(shot.Text.size());
    shot.Text.append(FLines->GetView(l - 1));
  }
  shot.Starts.push_back(shot.Text.size());
  return shot;
}

bool TCustomOndEdit::RecordChangedLines(const TLinesSnapshot& Before) {
  const int oldCount = Before.Count();
  const int newCount = FLines->GetCount() - Before.LinesAfter - (Before.First - 1);
  if (newCount < 0) return false;
  auto now = [&](int i) { return FLines->GetView(Before.First - 1 + i); };
  // The lines alike at both ends of the run stay out of the record.
  int head = 0;
  while (head < oldCount && head < newCount && Before.Line(head) == now(head)) ++head;
  int tail = 0;
  while (tail < oldCount - head && tail < newCount - head &&
         Before.Line(oldCount - 1 - tail) == now(newCount - 1 - tail))
    ++tail;
  if (head == oldCount && head == newCount) return false;
  // Each side keeps at least one line, so that a record never stands for no line.
  if (head + tail == oldCount || head + tail == newCount) {
    if (head > 0)
      --head;
    else
      --tail;
  }
  std::string old;
  for (int i = head; i < oldCount - tail; ++i) {
    if (i > head) old += "\r\n";
    old.append(Before.Line(i));
  }
  const int first = Before.First + head;
  FUndoList->AddChange(urReplaceLines, BufferCoord(1, first), BufferCoord(1, first + newCount - tail - head - 1), old,
                       smNormal);
  return true;
}

int TCustomOndEdit::PutLinesRaw(int First, int Count, std::string_view Text) {
  const std::vector<std::string_view> lines = SplitTextLines(Text);
  const int n = static_cast<int>(lines.size());
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
    std::string taken = TextRange(s, e);
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
    std::string taken = TextRange(BufferCoord(1, s.Line), BufferCoord(LineLength(e.Line) + 1, e.Line));
    const int put = PutLinesRaw(s.Line, e.Line - s.Line + 1, item->Text);
    FRedoList->PushItem(MakeItem(r, s, BufferCoord(1, s.Line + put - 1), std::move(taken), item->SelectionMode,
                                 item->GroupNumber));
    SetCaretAndCollapse(BufferCoord(1, s.Line));
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
    std::string replaced = TextRange(s, e);
    const bool wasEmpty = FLines->GetCount() == 0;
    const TBufferCoord end = ReplaceRange(s, e, item->Text, r, r, false);
    auto redone = MakeItem(r, s, end, std::move(replaced), item->SelectionMode, item->GroupNumber);
    if (wasEmpty) redone->Extra2 = 1;
    FUndoList->PushItem(std::move(redone));
    SetCaretAndCollapse(end);
  } else if (IsDeleteRecord(r)) {
    std::string taken = TextRange(s, e);
    ReplaceRange(s, e, std::string_view(), r, r, false);
    FUndoList->PushItem(MakeItem(r, s, e, std::move(taken), item->SelectionMode, item->GroupNumber));
    SetCaretAndCollapse(s);
  } else if (r == urReplaceLines) {
    std::string taken = TextRange(BufferCoord(1, s.Line), BufferCoord(LineLength(e.Line) + 1, e.Line));
    const int put = PutLinesRaw(s.Line, e.Line - s.Line + 1, item->Text);
    FUndoList->PushItem(MakeItem(r, s, BufferCoord(1, s.Line + put - 1), std::move(taken), item->SelectionMode,
                                 item->GroupNumber));
    SetCaretAndCollapse(BufferCoord(1, s.Line));
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
