// Changing the text: the edit primitives every command goes through,
// replacing the selection, and the clipboard.
#include "editor/OndEdit.h"

#include <algorithm>
#include <climits>

#include "editor/OndEditImpl.h"
#include "platform/core/ScopeGuard.h"

namespace ond {

// ---- edit primitives ------------------------------------------------------------------

namespace {

class LinesUpdateScope {
 public:
  explicit LinesUpdateScope(TOndEditStringList* L) : FList(L) { FList->BeginUpdate(); }
  ~LinesUpdateScope() { FList->EndUpdate(); }
  LinesUpdateScope(const LinesUpdateScope&) = delete;
  LinesUpdateScope& operator=(const LinesUpdateScope&) = delete;

 private:
  TOndEditStringList* FList;
};

}  // namespace

int TCustomOndEdit::LineLength(int Line) const {
  return Line >= 1 && Line <= FLines->GetCount() ? static_cast<int>(FLines->GetView(Line - 1).size()) : 0;
}

TBufferCoord TCustomOndEdit::ClampToText(TBufferCoord P) const {
  P.Line = MinMax(P.Line, 1, std::max(1, FLines->GetCount()));
  P.Char = MinMax(P.Char, 1, LineLength(P.Line) + 1);
  return P;
}

namespace {

std::string TextRangeIn(const TOndEditStringList& Lines, TBufferCoord B, TBufferCoord E) {
  const int count = Lines.GetCount();
  if (count == 0) return std::string();
  auto clamp = [&](TBufferCoord P) {
    P.Line = MinMax(P.Line, 1, count);
    P.Char = MinMax(P.Char, 1, static_cast<int>(Lines.GetView(P.Line - 1).size()) + 1);
    return P;
  };
  B = clamp(B);
  E = clamp(E);
  if (PosBefore(E, B)) std::swap(B, E);
  if (B.Line == E.Line) return Copy(Lines.GetView(B.Line - 1), B.Char, E.Char - B.Char);
  std::string out = Copy(Lines.GetView(B.Line - 1), B.Char, INT_MAX);
  for (int l = B.Line + 1; l < E.Line; ++l) {
    out += "\r\n";
    out.append(Lines.GetView(l - 1));
  }
  out += "\r\n";
  out += Copy(Lines.GetView(E.Line - 1), 1, E.Char - 1);
  return out;
}

}  // namespace

std::string TCustomOndEdit::TextRange(TBufferCoord B, TBufferCoord E) const { return TextRangeIn(*FLines, B, E); }

int TCustomOndEdit::VisibleLineLength(int Line) const {
  const int len = LineLength(Line);
  // A fold scan still to come has collapsed nothing (and is not run here).
  if (FAllFoldRanges->ScanPending() || FAllFoldRanges->AllCount() == 0 || Line < 1 || Line > FLines->GetCount())
    return len;
  const std::string_view line = FLines->GetView(Line - 1);
  // Only a line ending in the marker's blanks can head a collapsed fold.
  if (line.find("     ") == std::string_view::npos) return len;
  const TOndEditFoldRange* r = CollapsedFoldAt(Line);
  if (!r) return len;
  const std::string marker = CollapsedMarker(r);
  if (line.size() < marker.size() || line.substr(line.size() - marker.size()) != marker) return len;
  return len - static_cast<int>(marker.size());
}

TOndEditFoldRange* TCustomOndEdit::CollapsedFoldAt(int Line) const {
  if (FAllFoldRanges->ScanPending() || FAllFoldRanges->AllCount() == 0) return nullptr;
  const TOndFoldIndex& index = FAllFoldRanges->Index();
  if (!index.CollapsedBetween(Line, Line)) return nullptr;
  // Not only the first range on the line: another range may start there
  // too, expanded, before the collapsed one.
  for (TOndEditFoldRange* r : index.Over(Line, Line))
    if (r->FromLine == Line && r->Collapsed && !r->ParentCollapsed) return r;
  return nullptr;
}

std::string TCustomOndEdit::SpanText(TBufferCoord B, TBufferCoord E) const {
  if (PosBefore(E, B)) std::swap(B, E);
  if (B.Line == E.Line) {
    // Within one line a collapsed header's marker is never part of the text.
    const int end = VisibleLineLength(B.Line) + 1;
    B.Char = std::min(B.Char, end);
    E.Char = std::min(E.Char, end);
    return TextRange(B, E);
  }
  if (!FAllFoldRanges->Index().CollapsedBetween(B.Line, E.Line)) return TextRange(B, E);
  // The deletion of the span expands these folds first; the text comes from
  // copies of the span's lines and folds expanded the same way, so that it
  // holds every hidden line.
  TOndEditStringList lines;
  TOndEditAllFoldRanges tree;
  FCodeFolder->CopyLinesWithFolds(B.Line, E.Line, lines, tree);
  const int offset = std::max(B.Line, 1) - 1;
  B.Line -= offset;
  E.Line -= offset;
  TOndCodeFolder folder(lines, tree);
  ExpandFoldsBetween(lines, tree, B, E, [&folder](TOndEditFoldRange* R) { return folder.ExpandFoldRange(R); });
  return TextRangeIn(lines, B, E);
}

void TCustomOndEdit::ShiftMarks(int FromLine, int Delta) {
  if (Delta == 0) return;
  for (int i = 0; i < FMarkList->Count(); ++i) {
    TOndEditMark* m = FMarkList->Items(i);
    if (!m) continue;
    if (Delta > 0) {
      if (m->GetLine() >= FromLine) m->SetLine(m->GetLine() + Delta);
    } else {
      // Lines FromLine .. FromLine - Delta - 1 went away.
      if (m->GetLine() >= FromLine - Delta)
        m->SetLine(m->GetLine() + Delta);
      else if (m->GetLine() >= FromLine)
        m->SetLine(std::max(1, FromLine - 1));
    }
  }
}

TBufferCoord TCustomOndEdit::InsertRaw(TBufferCoord P, std::string_view Text, TBufferCoord& Start) {
  if (FLines->GetCount() == 0) FLines->Add(std::string());
  P.Line = MinMax(P.Line, 1, FLines->GetCount());
  P.Char = std::max(1, P.Char);
  Start = P;
  if (Text.empty()) return P;
  const std::string line = FLines->Get(P.Line - 1);
  const int len = static_cast<int>(line.size());
  std::string left = line.substr(0, static_cast<std::size_t>(std::min(len, P.Char - 1)));
  if (P.Char - 1 > len) {
    left.append(static_cast<std::size_t>(P.Char - 1 - len), ' ');
    Start = BufferCoord(len + 1, P.Line);
  }
  const std::string right = P.Char - 1 < len ? line.substr(static_cast<std::size_t>(P.Char - 1)) : std::string();
  const std::vector<std::string_view> pieces = SplitTextLines(Text);
  if (pieces.size() == 1) {
    FLines->Put(P.Line - 1, left + std::string(pieces[0]) + right);
    return BufferCoord(static_cast<int>(left.size() + pieces[0].size()) + 1, P.Line);
  }
  const int added = static_cast<int>(pieces.size()) - 1;
  // The line holding the rest of the split line comes first, so that a fold
  // header whose token went down with it is seen moving; then the lines
  // between.
  FLines->InsertLines(P.Line, {std::string(pieces.back()) + right});
  FLines->Put(P.Line - 1, left + std::string(pieces[0]));
  if (added > 1) {
    std::vector<std::string> middle;
    for (int i = 1; i < added; ++i) middle.emplace_back(pieces[static_cast<std::size_t>(i)]);
    FLines->InsertLines(P.Line, middle);
  }
  // Marks on the line move with its text when the insertion began at char 1.
  ShiftMarks(Start.Char == 1 ? P.Line : P.Line + 1, added);
  return BufferCoord(static_cast<int>(pieces.back().size()) + 1, P.Line + added);
}

std::string TCustomOndEdit::DeleteRaw(TBufferCoord B, TBufferCoord E) {
  std::string removed = TextRange(B, E);
  if (removed.empty()) return removed;
  B = ClampToText(B);
  E = ClampToText(E);
  if (PosBefore(E, B)) std::swap(B, E);
  if (B.Line == E.Line) {
    std::string line = FLines->Get(B.Line - 1);
    line.erase(static_cast<std::size_t>(B.Char - 1), static_cast<std::size_t>(E.Char - B.Char));
    FLines->Put(B.Line - 1, line);
  } else {
    const std::string first = FLines->Get(B.Line - 1).substr(0, static_cast<std::size_t>(B.Char - 1));
    const std::string last = FLines->Get(E.Line - 1).substr(static_cast<std::size_t>(E.Char - 1));
    FLines->Put(B.Line - 1, first + last);
    FLines->DeleteLineRange(B.Line, E.Line - B.Line);
    ShiftMarks(B.Line + 1, -(E.Line - B.Line));
  }
  return removed;
}

TBufferCoord TCustomOndEdit::ReplaceRange(TBufferCoord B, TBufferCoord E, std::string_view Text,
                                          TOndUndoReason DelReason, TOndUndoReason InsReason, bool Record) {
  if (PosBefore(E, B)) std::swap(B, E);
  if (FLines->GetCount() == 0 && Text.empty()) return BufferCoord(1, 1);
  PaintLockScope lock(*this);
  LinesUpdateScope update(FLines);
  struct MarksScope {  // the edit moves the marks itself
    int& N;
    explicit MarksScope(int& C) : N(C) { ++N; }
    ~MarksScope() { --N; }
  } marks(FEditShiftsMarks);
  std::unique_ptr<UndoBlockScope> block;
  if (Record) block = std::make_unique<UndoBlockScope>(FUndoList);
  TBufferCoord at = B;
  if (FLines->GetCount() > 0) {
    // Joining or deleting lines: hidden lines of a collapsed fold among them
    // come back first, so that they are neither lost nor left out of undo.
    if (B.Line < E.Line) {
      ExpandFoldsForEdit(B, E);
    } else if (const int visible = VisibleLineLength(B.Line); visible != LineLength(B.Line)) {
      // A collapsed header: its marker is drawing, not text. A line break
      // that splits the header from its marker opens the fold first, as
      // Enter does, so that the marker never lands in a line; lines put
      // before the whole header take it down with its marker.
      const bool breaks = Text.find_first_of("\r\n") != std::string_view::npos;
      if (breaks && !(B.Char == 1 && E.Char == 1)) {
        ExpandFoldsForEdit(B, E);
      } else {
        // Nothing is taken from the marker, nor put into it.
        B.Char = std::min(B.Char, visible + 1);
        E.Char = std::min(E.Char, visible + 1);
      }
    }
    at = B;
    const TBufferCoord bc = ClampToText(B), ec = ClampToText(E);
    if (PosBefore(bc, ec)) {
      const std::string removed = DeleteRaw(bc, ec);
      if (Record) FUndoList->AddChange(DelReason, bc, ec, removed, smNormal);
      at = bc;
    }
  }
  if (Text.empty()) return ClampToText(at);
  const bool wasEmpty = FLines->GetCount() == 0;
  TBufferCoord start;
  const TBufferCoord end = InsertRaw(at, Text, start);
  if (Record) {
    FUndoList->AddChange(InsReason, start, end, std::string_view(), smNormal);
    // The first line of an empty buffer came with the text: undo takes it
    // away again.
    if (wasEmpty)
      if (TOndEditUndoItem* top = FUndoList->PeekItem(); top && top->Reason == InsReason) top->Extra2 = 1;
  }
  return end;
}

TBufferCoord TCustomOndEdit::OverwriteRange(TBufferCoord B, TBufferCoord E, std::string_view Text) {
  if (PosBefore(E, B)) std::swap(B, E);
  if (FLines->GetCount() == 0) FLines->Add(std::string());
  B.Line = MinMax(B.Line, 1, FLines->GetCount());
  B.Char = std::max(1, B.Char);
  E.Line = B.Line;
  // A collapsed header's marker is no text to overwrite.
  E.Char = std::max(B.Char, std::min(E.Char, VisibleLineLength(B.Line) + 1));
  std::string overwritten = TextRange(B, E);
  // Past the line's end the blanks that fill it up to B are inserted too.
  const TBufferCoord start = BufferCoord(std::min(B.Char, LineLength(B.Line) + 1), B.Line);
  const TBufferCoord end = ReplaceRange(B, E, Text, urSilentDeleteAfterCursor, urInsert, false);
  FUndoList->AddChange(urInsert, start, end, overwritten, smNormal);
  return end;
}

void TCustomOndEdit::PutLineText(int Index, const std::string& Text) { StoreLine(Index + 1, Text, true); }

void TCustomOndEdit::StoreLine(int Line, std::string_view Text, bool Record) {
  if (Line < 1 || Line > FLines->GetCount()) return;
  const std::string text = (FOptions & eoTrimTrailingSpaces) ? TrimRightBlanks(Text) : std::string(Text);
  const std::string_view old = FLines->GetView(Line - 1);
  // Only the part that differs is replaced: undo then takes back just that,
  // and marks and folds on the line stay where they are.
  std::size_t head = 0;
  while (head < old.size() && head < text.size() && old[head] == text[head]) ++head;
  std::size_t tail = 0;
  while (tail < old.size() - head && tail < text.size() - head &&
         old[old.size() - 1 - tail] == text[text.size() - 1 - tail])
    ++tail;
  if (head + tail == old.size() && head + tail == text.size()) return;
  const int from = static_cast<int>(head) + 1, to = static_cast<int>(old.size() - tail) + 1;
  ReplaceRange(BufferCoord(from, Line), BufferCoord(to, Line),
               std::string_view(text).substr(head, text.size() - tail - head), urSilentDeleteAfterCursor, urInsert,
               Record);
}

void TCustomOndEdit::TrimLineEnd(int Line, bool Record) {
  if (!(FOptions & eoTrimTrailingSpaces) || Line < 1 || Line > FLines->GetCount()) return;
  // A collapsed fold's header ends in its marker, which is no text to trim.
  if (VisibleLineLength(Line) != LineLength(Line)) return;
  StoreLine(Line, FLines->Get(Line - 1), Record);
}

// ---- replacing the selection ------------------------------------------------------------

void TCustomOndEdit::DeleteSelectionEx(bool Record, TOndUndoReason Reason) {
  const TBufferCoord b = GetBlockBegin(), e = GetBlockEnd();
  switch (FSelectionMode) {
    case smNormal: {
      const TBufferCoord at = ReplaceRange(b, e, std::string_view(), Reason, urInsert, Record);
      if (FOptions & eoScrollPastEol) TrimLineEnd(at.Line, Record);
      FBlockBegin = FBlockEnd = at;
      InternalSetCaretXY(at);
      break;
    }
    case smLine: {
      const int count = FLines->GetCount();
      if (count == 0) break;
      const int last = std::min(e.Line, count);
      // Whole lines; the last line of the text leaves an empty line behind.
      const TBufferCoord to = last < count ? BufferCoord(1, last + 1) : BufferCoord(LineLength(last) + 1, last);
      ReplaceRange(BufferCoord(1, b.Line), to, std::string_view(), Reason, urInsert, Record);
      FBlockBegin = FBlockEnd = BufferCoord(1, b.Line);
      InternalSetCaretXY(BufferCoord(1, b.Line));
      break;
    }
    case smColumn: {
      int c1 = BufferToDisplayPos(b).Column, c2 = BufferToDisplayPos(e).Column;
      if (c1 > c2) std::swap(c1, c2);
      const int count = FLines->GetCount();
      for (int l = b.Line; l <= std::min(e.Line, count); ++l) {
        const std::string_view line = FLines->GetView(l - 1).substr(0, static_cast<std::size_t>(VisibleLineLength(l)));
        const int ch1 = LineColumnToChar(line, c1, FTabWidth), ch2 = LineColumnToChar(line, c2, FTabWidth);
        const int len = static_cast<int>(line.size());
        if (ch1 > len || ch2 <= ch1) continue;
        ReplaceRange(BufferCoord(ch1, l), BufferCoord(std::min(ch2, len + 1), l), std::string_view(), Reason,
                     urInsert, Record);
        TrimLineEnd(l, Record);
      }
      const int line = MinMax(FBlockEnd.Line, 1, std::max(1, count));
      const TBufferCoord at =
          BufferCoord(line <= count ? LineColumnToChar(FLines->GetView(line - 1), c1, FTabWidth) : c1, line);
      FBlockBegin = FBlockEnd = at;
      InternalSetCaretXY(at);
      break;
    }
  }
}

TBufferCoord TCustomOndEdit::InsertColumnText(TBufferCoord At, std::string_view Text, bool Record,
                                              TOndUndoReason Reason) {
  if (FLines->GetCount() == 0) FLines->Add(std::string());
  At.Line = MinMax(At.Line, 1, FLines->GetCount());
  At.Char = std::max(1, At.Char);
  const int col = At.Line <= FLines->GetCount()
                      ? LineCharToColumn(FLines->GetView(At.Line - 1), At.Char, FTabWidth)
                      : At.Char;
  const std::vector<std::string_view> rows = SplitTextLines(Text);
  TBufferCoord caret = At;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const int l = At.Line + static_cast<int>(i);
    const std::string_view seg = rows[i];
    if (l > FLines->GetCount()) {
      // Below the last line: a new line starting at the block's column.
      const int prev = FLines->GetCount();
      std::string add = "\r\n";
      add.append(static_cast<std::size_t>(col - 1), ' ');
      add.append(seg);
      ReplaceRange(BufferCoord(LineLength(prev) + 1, prev), BufferCoord(LineLength(prev) + 1, prev), add, urDelete,
                   Reason, Record);
      TrimLineEnd(l, Record);
      caret = BufferCoord(col + static_cast<int>(seg.size()), l);
      continue;
    }
    const std::string_view line = FLines->GetView(l - 1);
    const int ch = LineColumnToChar(line, col, FTabWidth);
    if (!seg.empty()) ReplaceRange(BufferCoord(ch, l), BufferCoord(ch, l), seg, urDelete, Reason, Record);
    TrimLineEnd(l, Record);
    caret = BufferCoord(ch + static_cast<int>(seg.size()), l);
  }
  return caret;
}

void TCustomOndEdit::ReplaceSelectionEx(TOndSelectionMode Mode, std::string_view Text, bool AddToUndo,
                                        TOndUndoReason DelReason, TOndUndoReason InsReason) {
  PaintLockScope lock(*this);
  LinesUpdateScope update(FLines);
  std::unique_ptr<UndoBlockScope> block;
  if (AddToUndo) block = std::make_unique<UndoBlockScope>(FUndoList);
  if (SelAvail()) DeleteSelectionEx(AddToUndo, DelReason);
  if (!Text.empty()) {
    TBufferCoord caret = GetCaretXY();
    switch (Mode) {
      case smNormal:
        caret = ReplaceRange(caret, caret, Text, DelReason, InsReason, AddToUndo);
        break;
      case smColumn:
        caret = InsertColumnText(caret, Text, AddToUndo, InsReason);
        break;
      case smLine: {
        std::vector<std::string_view> pieces = SplitTextLines(Text);
        if (pieces.size() > 1 && pieces.back().empty()) pieces.pop_back();
        if (FLines->GetCount() == 0) FLines->Add(std::string());
        const int c = MinMax(caret.Line, 1, FLines->GetCount());
        const int count = FLines->GetCount();
        const int p = static_cast<int>(pieces.size());
        // In overwrite mode the lines before the last one are overwritten.
        const int k = FInsertMode ? 0 : std::max(0, std::min(p, count - c));
        std::string joined;
        for (const auto& piece : pieces) {
          joined.append(piece);
          joined += "\r\n";
        }
        // An empty last line takes the lines in its place.
        if (c == count && LineLength(c) == 0) joined.resize(joined.size() - 2);
        ReplaceRange(BufferCoord(1, c), BufferCoord(1, c + k), joined, DelReason, InsReason, AddToUndo);
        for (int l = c; l < c + p; ++l) TrimLineEnd(l, AddToUndo);
        caret = BufferCoord(1, std::min(c + p, FLines->GetCount()));
        StatusChanged(StatusCaretChar);
        break;
      }
    }
    InternalSetCaretXY(caret);
    // The caret may have been kept inside a line that lost its trailing
    // blanks: the collapsed selection stands where the caret came to rest.
    FBlockBegin = FBlockEnd = GetCaretXY();
  }
  if (FCaretY < 1) InternalSetCaretXY(BufferCoord(FCaretX, 1));
}

void TCustomOndEdit::ReplaceSelection(TOndSelectionMode Mode, std::string_view Text, bool AddToUndo) {
  ReplaceSelectionEx(Mode, Text, AddToUndo, urDelete, urPaste);
}

void TCustomOndEdit::InsertColumnBlock(const TBufferCoord& Begin, const TBufferCoord& End, std::string_view Text,
                                       bool AddToUndo) {
  PaintLockScope lock(*this);
  InternalSetCaretXY(Begin);
  FBlockBegin = Begin;
  FBlockEnd = End;
  const TOndSelectionMode keep = FSelectionMode;
  FSelectionMode = smColumn;
  ReplaceSelection(smColumn, Text, AddToUndo);
  FSelectionMode = keep;
  StatusChanged(StatusSelection);
}

void TCustomOndEdit::SetSelText(std::string_view Value) {
  PaintLockScope lock(*this);
  UndoBlockScope block(FUndoList);
  ReplaceSelectionEx(FSelectionMode, Value, true, urDelete, urInsert);
}

void TCustomOndEdit::ClearSelection() {
  if (SelAvail()) SetSelText(std::string_view());
}

void TCustomOndEdit::ClearAll() {
  FLines->Clear();
  FMarkList->Clear();
  ClearUndo();
  SetModified(false);
}

int TCustomOndEdit::GetSelEnd() const { return PosToTextIndex(SelAvail() ? GetBlockEnd() : GetCaretXY()); }

void TCustomOndEdit::SetSelEnd(int Value) {
  const TBufferCoord begin = FBlockBegin;
  const TBufferCoord target = TextIndexToPos(Value);
  PlaceCaretAndSelection(target, begin, target);
}

bool TCustomOndEdit::IsPointInSelection(const TBufferCoord& P) const {
  const TBufferCoord b = GetBlockBegin(), e = GetBlockEnd();
  if (P.Line < b.Line || P.Line > e.Line || b == e) return false;
  switch (FSelectionMode) {
    case smLine:
      return true;
    case smNormal: {
      const bool afterBegin = P.Line > b.Line || P.Char >= b.Char;
      const bool beforeEnd = P.Line < e.Line || P.Char < e.Char;
      return afterBegin && beforeEnd;
    }
    case smColumn: {
      if (e.Char > b.Char) return P.Char >= b.Char && P.Char < e.Char;
      if (e.Char < b.Char) return P.Char >= e.Char && P.Char < b.Char;
      return false;
    }
  }
  return false;
}

TCursor TCustomOndEdit::CursorAtPoint(int X, int Y) {
  if (X < FView.GutterWidth) return FGutter->Cursor;
  const TBufferCoord p = DisplayToBufferPos(PixelsToRowColumn(X, Y));
  TCursor c = GetCursor();
  if ((FOptions & eoDragDropEditing) && !GetMouseCapture() && IsPointInSelection(p)) c = crArrow;
  DoOnMouseCursor(p, c);
  FKbdHandler.RunMouseCursorChain(this, p, c);
  return c;
}

void TCustomOndEdit::UpdateMouseCursor() {
  const TPoint p = ScreenToClient(CursorPos());
  FMouseCursor = CursorAtPoint(p.X, p.Y);
  ShowCursorShape(FMouseCursor);
}

// ---- clipboard -----------------------------------------------------------------------------

TClipboardFormat TCustomOndEdit::BlockClipboardFormat() {
  static const TClipboardFormat format = TClipboard::RegisterFormat("OndEdit Control Block Type");
  return format;
}

void TCustomOndEdit::SetClipboardText(const std::string& Text) {
  if (Text.empty()) return;
  TClipboard* clip = Clipboard();
  clip->Open();
  try {
    clip->Clear();
    clip->SetAsText(Text);
    std::string block;
    block.reserve(Text.size() + 2);
    block += static_cast<char>(FSelectionMode);
    block += Text;
    block += '\0';
    clip->SetFormatData(BlockClipboardFormat(), block);
  } catch (...) {
    clip->Close();
    throw EOndEditError("Clipboard copy operation failed");
  }
  clip->Close();
}

void TCustomOndEdit::CopyToClipboard() {
  if (!SelAvail()) return;
  const TOndEditorOptions keep = FOptions;
  if (FSelectionMode == smColumn) FOptions &= ~eoTrimTrailingSpaces;  // column copies keep their padding
  std::string text;
  {
    const TScopeExit restore([&] { FOptions = keep; });
    text = GetSelText();
  }
  SetClipboardText(text);
}

void TCustomOndEdit::CutToClipboard() {
  if (GetReadOnly() || !SelAvail()) return;
  UndoBlockScope block(FUndoList);
  if (CaretOnCollapsedFoldHeader()) return;
  CopyToClipboard();
  ReplaceSelectionEx(FSelectionMode, std::string_view(), true, urDelete, urPaste);
}

bool TCustomOndEdit::CanPaste() const {
  if (GetReadOnly()) return false;
  return Clipboard()->HasFormat(CF_TEXT) || Clipboard()->HasFormat(BlockClipboardFormat());
}

void TCustomOndEdit::PasteFromClipboard() {
  if (CaretOnCollapsedFoldHeader() || !CanPaste()) return;
  TOndSelectionMode mode = FSelectionMode;
  std::string text;
  bool haveBlock = false;
  if (Clipboard()->HasFormat(BlockClipboardFormat())) {
    // The block may come from any program: its length bounds it, the first
    // zero ends the text, and an unknown mode counts as normal.
    const std::string data = Clipboard()->GetFormatData(BlockClipboardFormat());
    if (!data.empty()) {
      const unsigned char m = static_cast<unsigned char>(data[0]);
      mode = m == smLine ? smLine : m == smColumn ? smColumn : smNormal;
      const std::size_t zero = data.find('\0', 1);
      text = data.substr(1, zero == std::string::npos ? std::string::npos : zero - 1);
      haveBlock = true;
    }
  }
  if (!haveBlock) text = Clipboard()->GetAsText();
  DoOnPaintTransient(ttBefore);
  {
    PaintLockScope lock(*this);
    UndoBlockScope block(FUndoList);
    FUndoList->AddChange(urPasteBegin, GetBlockBegin(), GetBlockEnd(), std::string_view(), FSelectionMode);
    ReplaceSelectionEx(mode, text, true, urDelete, urPaste);
    FUndoList->AddChange(urPasteEnd, GetBlockBegin(), GetBlockEnd(), std::string_view(), FSelectionMode);
  }
  if (FOptions & eoHideShowScrollbars) UpdateScrollBars();
  MakeCaretVisible();
  StatusChanged(StatusSelection);
  DoOnPaintTransient(ttAfter);
}

}  // namespace ond
