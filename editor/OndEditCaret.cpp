// The caret and the selection: the caret's shape, conversions between buffer
// and display positions, moving the caret, selecting, words and highlighter
// attributes under a position, and matching brackets.
#include "editor/OndEdit.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "highlight/OndEditHighlighter.h"
#include "platform/core/CodePage.h"
#include "platform/core/ScopeGuard.h"

namespace ond {

// ---- caret shape -----------------------------------------------------------------------

void TCustomOndEdit::ComputeCaret(int& W, int& H, TPoint& Offset) const {
  const TOndEditCaretType ct = FInsertMode ? FInsertCaret : FOverwriteCaret;
  // Half the extra line spacing lies above the text.
  const int cw = FView.CharWidth, th = FTextHeight, h = (FView.LineHeight - FTextHeight) / 2;
  switch (ct) {
    case ctHorizontalLine: W = cw; H = 2; Offset = TPoint{0, th - 2 + h}; break;
    case ctHalfBlock: W = cw; H = (th - 2) / 2; Offset = TPoint{0, h + (th - 2) / 2}; break;
    case ctBlock: W = cw; H = th - 2; Offset = TPoint{0, h}; break;
    default: W = 2; H = th - 2; Offset = TPoint{-1, h}; break;
  }
}

void TCustomOndEdit::InitializeCaret() {
  if (!(FFocused || FAlwaysShowCaret) || (FOptions & eoNoCaret)) return;
  int w, h;
  ComputeCaret(w, h, FCaretOffset);
  FStateFlags &= static_cast<TOndStateFlags>(~sfCaretVisible);
  CreateCaret(w, h);
  FStateFlags |= sfCaretChanged;
  UpdateCaret();
}

void TCustomOndEdit::HideEditorCaret() {
  if (!(FStateFlags & sfCaretVisible)) return;
  HideCaret();
  FStateFlags &= static_cast<TOndStateFlags>(~sfCaretVisible);
}

void TCustomOndEdit::ShowEditorCaret() {
  if ((FStateFlags & sfCaretVisible) || (FOptions & eoNoCaret)) return;
  if (!(FFocused || FAlwaysShowCaret)) return;
  ShowCaret();
  FStateFlags |= sfCaretVisible;
}

void TCustomOndEdit::UpdateCaret() {
  if (FPaintLock > 0) {
    FStateFlags |= sfCaretChanged;
    return;
  }
  FStateFlags &= static_cast<TOndStateFlags>(~sfCaretChanged);
  TDisplayCoord at = GetDisplayXY();
  // With word wrap the caret is drawn no further right than just past the
  // wrap width.
  if (FWordWrapPlugin) at.Column = std::min(at.Column, FWordWrapPlugin->WrapWidth() + 1);
  const TPoint p = RowColumnToPixels(at);
  const int x = p.X + FCaretOffset.X, y = p.Y + FCaretOffset.Y + 1;
  const bool inText = p.X >= FView.GutterWidth + 2 - 1 && p.X < Width() && p.Y >= 0 && p.Y < Height();
  if (inText) {
    SetCaretPos(x, y);
    ShowEditorCaret();
  } else {
    HideEditorCaret();
  }
  SetCompositionPoint(p.X, p.Y);
}

void TCustomOndEdit::DoEnter() {
  FFocused = true;
  CommandProcessor(ecGotFocus, '\0', nullptr);
  InitializeCaret();
  if (FHideSelection && SelAvail()) InvalidateSelection();
  TCustomControl::DoEnter();
}

void TCustomOndEdit::DoExit() {
  FFocused = false;
  CommandProcessor(ecLostFocus, '\0', nullptr);
  FScrollTimer->SetEnabled(false);
  if (!FAlwaysShowCaret) {
    HideEditorCaret();
    DestroyCaret();
  }
  if (FHideSelection && SelAvail()) InvalidateSelection();
  TCustomControl::DoExit();
}

// ---- coordinates -----------------------------------------------------------------------

TDisplayCoord TCustomOndEdit::BufferToDisplayPos(const TBufferCoord& P) const {
  TDisplayCoord d = DisplayCoord(P.Char, P.Line);
  if (P.Line >= 1 && P.Line <= FLines->GetCount())
    d.Column = LineCharToColumn(FLines->GetView(P.Line - 1), P.Char, FTabWidth);
  if (FWordWrapPlugin && d.Column >= 1 && d.Row >= 1)
    d = FWordWrapPlugin->BufferPosToDisplayPos(BufferCoord(d.Column, d.Row));
  return d;
}

TBufferCoord TCustomOndEdit::DisplayToBufferPos(const TDisplayCoord& D) const {
  TBufferCoord p = BufferCoord(D.Column, D.Row);
  if (FWordWrapPlugin && D.Column >= 1 && D.Row >= 1) {
    const TBufferCoord w = FWordWrapPlugin->DisplayPosToBufferPos(D);
    p = BufferCoord(w.Char, w.Line);  // Char is a display column of the line here
  }
  if (p.Line >= 1 && p.Line <= FLines->GetCount())
    p.Char = LineColumnToChar(FLines->GetView(p.Line - 1), p.Char, FTabWidth);
  return p;
}

int TCustomOndEdit::LineToRow(int Line) const {
  if (!FWordWrapPlugin) return Line;
  return BufferToDisplayPos(BufferCoord(1, Line)).Row;
}

int TCustomOndEdit::RowToLine(int Row) const {
  if (!FWordWrapPlugin) return Row;
  return DisplayToBufferPos(DisplayCoord(1, Row)).Line;
}

int TCustomOndEdit::DisplayRowCount() const {
  if (!FWordWrapPlugin) return FLines->GetCount();
  return FLines->GetCount() == 0 ? 0 : FWordWrapPlugin->RowCount();
}

TDisplayCoord TCustomOndEdit::GetDisplayXY() const {
  TDisplayCoord d = BufferToDisplayPos(GetCaretXY());
  if (FWordWrapPlugin && FWrapEndFlag && d.Column == 1 && d.Row > 1) {
    d.Row -= 1;
    d.Column = FWordWrapPlugin->RowLength(d.Row) + 1;
  }
  return d;
}

void TCustomOndEdit::PlaceCaretAtPixel(int X, int Y) {
  TDisplayCoord d = PixelsToRowColumn(X, Y);
  d.Row = MinMax(d.Row, 1, std::max(1, DisplayRowCount()));
  SetCaretDisplayPos(d);
}

// ---- caret ---------------------------------------------------------------------------

int TCustomOndEdit::ClampedChar(int Char, int Line) const {
  if ((FOptions & eoScrollPastEol) && !FWordWrapPlugin) {
    // The scroll width bounds the room past a line's end, never the text:
    // a longer line is reached to its end.
    return MinMax(Char, 1, std::max(FMaxScrollWidth + 1, LineLength(Line) + 1));
  }
  return std::max(1, Char);
}

void TCustomOndEdit::SetCaretXYEx(bool EnsureVisible, TBufferCoord Value) {
  FWrapEndFlag = false;
  DoOnPaintTransientEx(ttBefore, true);
  int maxChar = FWordWrapPlugin ? INT_MAX : FMaxScrollWidth + 1;
  int line = std::min(Value.Line, FLines->GetCount());
  if (line < 1) {
    line = 1;
    if (!(FOptions & eoScrollPastEol)) maxChar = 1;
  } else if (!(FOptions & eoScrollPastEol)) {
    maxChar = LineLength(line) + 1;
  } else {
    // Search, select all, indent, undo and a drop put the caret anywhere in
    // the text; a line longer than the scroll width is reached to its end.
    maxChar = std::max(maxChar, LineLength(line) + 1);
  }
  int ch = Value.Char;
  if (ch > maxChar && (!(FOptions & eoScrollPastEol) || !(FOptions & eoAutoSizeMaxScrollWidth))) ch = maxChar;
  ch = std::max(ch, 1);
  if (ch == FCaretX && line == FCaretY) {
    FLastCaretX = GetDisplayXY().Column;
    FLastCaretDbcs = false;
    DoOnPaintTransientEx(ttAfter, true);
    HideFoldHintAtCaret();
    return;
  }
  LockPaint();
  {
    const TScopeExit unlock([&] { UnlockPaint(); });
    if (ch != FCaretX) StatusChanged(StatusCaretChar);
    if (line != FCaretY) StatusChanged(StatusCaretLine);
    const int oldRow = GetDisplayXY().Row;
    FCaretX = ch;
    FCaretY = line;
    // A bracket search for a place the caret left is of no use any more.
    if (FBracketWalk && !(FBracketWalk->From.Line == line &&
                          (FBracketWalk->From.Char == ch || FBracketWalk->From.Char == ch - 1)))
      FBracketWalk.reset();
    const int newRow = GetDisplayXY().Row;
    if (oldRow != newRow && FActiveLine->GetVisible()) {
      const bool withGutter = FActiveLine->Indicator().GetVisible() && FActiveLine->Indicator().Width() > 0;
      for (int row : {oldRow, newRow}) {
        int top, bottom;
        if (FView.RowsSpan(row, row, Height(), top, bottom))
          InvalidateRect(Rect(withGutter ? 0 : FView.GutterWidth, top, Width(), bottom), false);
      }
    }
    FLastCaretX = GetDisplayXY().Column;
    if (EnsureVisible) MakeCaretVisible();
    FStateFlags |= sfCaretChanged | sfScrollBarsChanged;
  }
  DoOnPaintTransientEx(ttAfter, true);
  HideFoldHintAtCaret();
}

void TCustomOndEdit::HideFoldHintAtCaret() {
  // The hint shows a fold's hidden lines; a caret coming onto a fold header
  // is about to work there, and the hint would cover it.
  if (!FFoldHintShowing || !FCodeFolding->GetEnabled() || !FCodeFolding->GetCollapsedCodeHint()) return;
  if (FCodeFolder->FoldRangeStartingAt(FCaretY)) HideFoldHint();
}

void TCustomOndEdit::SetCaretAndCollapse(const TBufferCoord& Value) {
  LockPaint();
  const TScopeExit unlock([&] { UnlockPaint(); });
  StatusChanged(StatusSelection);
  InternalSetCaretXY(Value);
  if (SelAvail()) InvalidateSelection();
  FBlockBegin = FBlockEnd = GetCaretXY();
}

void TCustomOndEdit::SetCaretDisplayPos(const TDisplayCoord& D) {
  LockPaint();
  {
    const TScopeExit unlock([&] { UnlockPaint(); });
    InternalSetCaretXY(DisplayToBufferPos(D));
    if (FWordWrapPlugin) {
      const int rows = FWordWrapPlugin->RowCount();
      FWrapEndFlag = D.Row <= rows && FWordWrapPlugin->RowLength(D.Row) < D.Column &&
                     BufferToDisplayPos(GetCaretXY()).Row != D.Row;
      if (FWordWrapPlugin->WrapWidth() > FView.CharsInWindow) MakeCaretVisible();
    }
  }
  FLastCaretX = GetDisplayXY().Column;
}

bool TCustomOndEdit::IsCaretInView() const {
  const TDisplayCoord d = GetDisplayXY();
  return d.Column >= FView.LeftColumn && d.Column <= FView.LeftColumn + FView.CharsInWindow &&
         d.Row >= FView.TopLine && d.Row <= FView.TopLine + FView.LinesInWindow;
}

void TCustomOndEdit::MakeCaretVisibleEx(bool Centre) {
  LockPaint();
  const TScopeExit unlock([&] { UnlockPaint(); });
  int left, top;
  FView.ScrollToShow(GetDisplayXY(), Centre, left, top);
  SetLeftColumn(left);
  SetTopLine(top);
}

// ---- selection ----------------------------------------------------------------------

TBufferCoord TCustomOndEdit::GetBlockBegin() const noexcept {
  return MinPosition(FBlockBegin, FBlockEnd) == FBlockEnd && !(FBlockBegin == FBlockEnd) ? FBlockEnd : FBlockBegin;
}

TBufferCoord TCustomOndEdit::GetBlockEnd() const noexcept {
  return MinPosition(FBlockBegin, FBlockEnd) == FBlockEnd && !(FBlockBegin == FBlockEnd) ? FBlockBegin : FBlockEnd;
}

bool TCustomOndEdit::SelAvail() const noexcept {
  if (FBlockBegin.Char == FBlockEnd.Char && FBlockBegin.Line == FBlockEnd.Line) return false;
  if (FSelectionMode == smColumn && FBlockBegin.Char == FBlockEnd.Char) return false;
  return true;
}

bool TCustomOndEdit::SelTabBlock() const noexcept {
  return FBlockBegin.Line != FBlockEnd.Line && FSelectionMode != smColumn;
}

bool TCustomOndEdit::SelTabLine() const {
  const TBufferCoord b = GetBlockBegin(), e = GetBlockEnd();
  const int len = FCaretY >= 1 && FCaretY <= FLines->GetCount() ? static_cast<int>(FLines->GetView(FCaretY - 1).size()) : 0;
  return b.Char == 1 && len < e.Char && SelAvail();
}

void TCustomOndEdit::SetBlockBegin(TBufferCoord Value) {
  Value.Line = MinMax(Value.Line, 1, std::max(1, FLines->GetCount()));
  Value.Char = ClampedChar(Value.Char, Value.Line);
  if (FSelectionMode == smNormal) {
    if (Value.Line <= FLines->GetCount())
      Value.Char = std::min(Value.Char, static_cast<int>(FLines->GetView(Value.Line - 1).size()) + 1);
    else
      Value.Char = 1;
  }
  if (SelAvail()) {
    const int first = std::min({Value.Line, FBlockBegin.Line, FBlockEnd.Line});
    const int last = std::max({Value.Line, FBlockBegin.Line, FBlockEnd.Line});
    FBlockBegin = FBlockEnd = Value;
    InvalidateLines(first, last);
    StatusChanged(StatusSelection);
  } else {
    const bool moved = !(FBlockBegin == Value) || !(FBlockEnd == Value);
    FBlockBegin = FBlockEnd = Value;
    if (moved) StatusChanged(StatusSelection);
  }
}

void TCustomOndEdit::SetBlockEnd(TBufferCoord Value) {
  if (FOptions & eoNoSelection) return;
  Value.Line = MinMax(Value.Line, 1, std::max(1, FLines->GetCount()));
  Value.Char = ClampedChar(Value.Char, Value.Line);
  if (FSelectionMode == smNormal) {
    if (Value.Line <= FLines->GetCount())
      Value.Char = std::min(Value.Char, static_cast<int>(FLines->GetView(Value.Line - 1).size()) + 1);
    else
      Value.Char = 1;
  }
  if (Value == FBlockEnd) return;
  const TBufferCoord old = FBlockEnd;
  FBlockEnd = Value;
  if (FSelectionMode == smColumn)
    InvalidateLines(std::min({FBlockBegin.Line, old.Line, Value.Line}),
                    std::max({FBlockBegin.Line, old.Line, Value.Line}));
  else
    InvalidateLines(old.Line, Value.Line);
  StatusChanged(StatusSelection);
}

std::string TCustomOndEdit::GetSelText() const {
  if (!SelAvail()) return std::string();
  const TBufferCoord b = GetBlockBegin(), e = GetBlockEnd();
  const int count = FLines->GetCount();
  std::string out;
  switch (FSelectionMode) {
    case smNormal:
      return SpanText(b, e);
    case smColumn: {
      int c1 = BufferToDisplayPos(b).Column, c2 = BufferToDisplayPos(e).Column;
      if (c1 > c2) std::swap(c1, c2);
      for (int l = b.Line; l <= e.Line; ++l) {
        std::string_view line = l <= count ? FLines->GetView(l - 1) : std::string_view();
        line = line.substr(0, static_cast<std::size_t>(VisibleLineLength(l)));
        const int ch1 = LineColumnToChar(line, c1, FTabWidth), ch2 = LineColumnToChar(line, c2, FTabWidth);
        std::string part = Copy(line, ch1, ch2 - ch1);
        if (!(FOptions & eoTrimTrailingSpaces)) {
          const int width = LineCharToColumn(line, ch1 + static_cast<int>(part.size()), FTabWidth) -
                            LineCharToColumn(line, ch1, FTabWidth);
          if (width < c2 - c1) part.append(static_cast<std::size_t>(c2 - c1 - width), ' ');
        }
        if (l > b.Line) out += "\r\n";
        out += part;
      }
      return out;
    }
    case smLine: {
      // Whole lines, as deleting them would take them.
      const int last = std::min(e.Line, count);
      if (b.Line > last) return out;
      const TBufferCoord to = last < count ? BufferCoord(1, last + 1) : BufferCoord(LineLength(last) + 1, last);
      return SpanText(BufferCoord(1, b.Line), to);
    }
  }
  return out;
}

int TCustomOndEdit::PosToTextIndex(const TBufferCoord& P) const {
  const int upto = std::min(P.Line, FLines->GetCount());
  std::int64_t index = 0;
  for (int l = 1; l < upto; ++l) index += static_cast<std::int64_t>(FLines->GetView(l - 1).size()) + 2;
  index += P.Char - 1;
  return static_cast<int>(std::min<std::int64_t>(index, INT_MAX));
}

TBufferCoord TCustomOndEdit::TextIndexToPos(int Index) const {
  const int count = FLines->GetCount();
  if (Index <= 0 || count == 0) return BufferCoord(1, 1);
  int rest = Index;
  for (int l = 1; l <= count; ++l) {
    const int len = static_cast<int>(FLines->GetView(l - 1).size());
    if (rest <= len) return BufferCoord(rest + 1, l);
    if (l == count) break;
    rest -= len + 2;
    if (rest < 0) return BufferCoord(len + 1, l);  // inside the line break
  }
  // Past the end of the text: its end.
  return BufferCoord(static_cast<int>(FLines->GetView(count - 1).size()) + 1, count);
}

int TCustomOndEdit::GetSelStart() const { return PosToTextIndex(GetBlockBegin()); }

int TCustomOndEdit::GetSelLength() const {
  if (!SelAvail()) return 0;
  return PosToTextIndex(GetBlockEnd()) - PosToTextIndex(GetBlockBegin());
}

void TCustomOndEdit::SetSelStart(int Value) {
  const TBufferCoord p = TextIndexToPos(Value);
  PlaceCaretAndSelection(p, p, p);
}

void TCustomOndEdit::SetSelLength(int Value) {
  const int start = GetSelStart();
  const TBufferCoord begin = GetBlockBegin();
  // A length reaching before the text stops at its start.
  const TBufferCoord target = TextIndexToPos(std::max(0, start + Value));
  // The selection runs from its start to the target either way; the caret
  // and the moving end are at the target.
  PlaceCaretAndSelection(target, begin, target);
}

void TCustomOndEdit::SelectAll() {
  LockPaint();
  const TScopeExit unlock([&] { UnlockPaint(); });
  const int count = FLines->GetCount();
  const TBufferCoord last =
      count == 0 ? BufferCoord(1, 1) : BufferCoord(static_cast<int>(FLines->GetView(count - 1).size()) + 1, count);
  InternalSetCaretXY(GetCaretXY());
  SetBlockBegin(BufferCoord(1, 1));
  SetBlockEnd(last);
  StatusChanged(StatusSelection);
}

void TCustomOndEdit::SelectWordAt(TBufferCoord P) {
  P.Line = MinMax(P.Line, 1, std::max(1, FLines->GetCount()));
  P.Char = ClampedChar(P.Char, P.Line);
  const std::string_view line = P.Line <= FLines->GetCount() ? FLines->GetView(P.Line - 1) : std::string_view();
  const int len = static_cast<int>(line.size());
  if (P.Char <= len + 1) {
    const TBufferCoord s = WordStartEx(P), e = WordEndEx(P);
    if (s.Line == e.Line && s.Char < e.Char) {
      PlaceCaretAndSelection(e, s, e);
      return;
    }
  }
  SetCaretAndCollapse(BufferCoord(len + 1, P.Line));
}

void TCustomOndEdit::PlaceCaretAndSelection(const TBufferCoord& Caret, const TBufferCoord& Begin,
                                            const TBufferCoord& End) {
  LockPaint();
  const TScopeExit unlock([&] { UnlockPaint(); });
  InternalSetCaretXY(Caret);
  SetBlockBegin(Begin);
  SetBlockEnd(End);
}

void TCustomOndEdit::MoveCaretAndSelect(const TBufferCoord& From, const TBufferCoord& To, bool Extend) {
  if ((FOptions & eoGroupUndo) && FUndoList->HasRecords()) FUndoList->AddGroupBreak();
  LockPaint();
  const TScopeExit unlock([&] { UnlockPaint(); });
  if (Extend) {
    if (!SelAvail()) SetBlockBegin(From);
    SetBlockEnd(To);
  } else {
    SetBlockBegin(To);
  }
  InternalSetCaretXY(To);
}

void TCustomOndEdit::MoveCaretByChars(int DX, bool Extend) {
  const TBufferCoord from = GetCaretXY();
  // With word wrap the char where a row breaks has two places: the end of
  // the row before and the start of the next. A line caret visits both.
  const bool lineCaret = (FInsertMode ? FInsertCaret : FOverwriteCaret) == ctVerticalLine;
  const auto keepVisible = [this] {
    if (FWordWrapPlugin && FWordWrapPlugin->WrapWidth() > FView.CharsInWindow) MakeCaretVisible();
  };
  if (FWordWrapPlugin && DX > 0 && FWrapEndFlag) {
    FWrapEndFlag = false;  // from the row's end to the next row's start
    FStateFlags |= sfCaretChanged;
    UpdateCaret();
    keepVisible();
    return;
  }
  if (FWordWrapPlugin && DX < 0 && !FWrapEndFlag && from.Char >= 2 && BufferToDisplayPos(from).Column == 1 &&
      BufferToDisplayPos(from).Row > LineToRow(from.Line)) {
    FWrapEndFlag = true;  // to the end of the row before
    FStateFlags |= sfCaretChanged;
    UpdateCaret();
    if (lineCaret) {
      keepVisible();
      return;
    }
  }
  TBufferCoord to = from;
  const bool lineChange = !(FOptions & eoScrollPastEol);
  const int count = FLines->GetCount();
  const int len = from.Line >= 1 && from.Line <= count ? static_cast<int>(FLines->GetView(from.Line - 1).size()) : 0;
  if (lineChange && DX == -1 && from.Char == 1 && from.Line > 1) {
    to = BufferCoord(static_cast<int>(FLines->GetView(from.Line - 2).size()) + 1, from.Line - 1);
  } else if (lineChange && DX == 1 && from.Char > len && from.Line < count) {
    to = BufferCoord(1, from.Line + 1);
  } else {
    to.Char = std::max(1, from.Char + DX);
    if (DX > 0 && lineChange) to.Char = std::min(to.Char, len + 1);
  }
  // The caret is never shown beyond one column past the wrap width: a right
  // move that would go there goes to the start of the next row, the next
  // line's first; on the last line it stays where it is.
  if (FWordWrapPlugin && DX > 0 && to.Line == from.Line &&
      BufferToDisplayPos(to).Column > FWordWrapPlugin->WrapWidth() + 1)
    to = from.Line < count ? BufferCoord(1, from.Line + 1) : from;
  MoveCaretAndSelect(from, to, Extend);
  if (FWordWrapPlugin && DX > 0 && lineCaret && to.Line == from.Line) {
    const TDisplayCoord d = BufferToDisplayPos(GetCaretXY());
    if (d.Column == 1 && d.Row > LineToRow(GetCaretXY().Line)) {
      FWrapEndFlag = true;  // a right move that reached a row's start stays at the end of the row before
      FStateFlags |= sfCaretChanged;
      UpdateCaret();
    }
  }
  keepVisible();
}

void TCustomOndEdit::MoveCaretByRows(int DY, bool Extend) {
  const TBufferCoord from = GetCaretXY();
  TDisplayCoord d = GetDisplayXY();
  const int wanted = d.Row + DY;
  d.Row = wanted;
  const int rows = std::max(1, DisplayRowCount());
  if (d.Row > rows) d.Row = rows;
  if (d.Row < 1) d.Row = 1;
  if (d.Row != GetDisplayXY().Row && (FOptions & eoKeepCaretX)) d.Column = FLastCaretX;
  const TBufferCoord to = DisplayToBufferPos(d);
  const int keep = FLastCaretX;
  MoveCaretAndSelect(from, to, Extend);
  if (FWordWrapPlugin) FWrapEndFlag = to.Char > 1 && BufferToDisplayPos(to).Column == 1 && BufferToDisplayPos(to).Row != wanted;
  FLastCaretX = keep;
}

void TCustomOndEdit::MoveCaretToLineStart(bool Extend) {
  const TBufferCoord from = GetCaretXY();
  int target = 1;
  if (FWordWrapPlugin) {
    target = DisplayToBufferPos(DisplayCoord(1, GetDisplayXY().Row)).Char;
  }
  if ((FOptions & eoEnhanceHomeKey) && from.Line <= FLines->GetCount() &&
      (!FWordWrapPlugin || GetDisplayXY().Row == LineToRow(from.Line))) {
    const std::string_view line = FLines->GetView(from.Line - 1);
    const std::size_t first = line.find_first_not_of(" \t");
    const int firstChar = first == std::string_view::npos ? static_cast<int>(line.size()) + 1 : static_cast<int>(first) + 1;
    target = (from.Char <= firstChar && from.Char != 1) ? 1 : firstChar;
  }
  MoveCaretAndSelect(from, BufferCoord(target, from.Line), Extend);
}

void TCustomOndEdit::MoveCaretToLineEnd(bool Extend) {
  const TBufferCoord from = GetCaretXY();
  const std::string_view line = from.Line >= 1 && from.Line <= FLines->GetCount() ? FLines->GetView(from.Line - 1)
                                                                                  : std::string_view();
  int target = static_cast<int>(line.size()) + 1;
  if (FWordWrapPlugin) {
    const int row = GetDisplayXY().Row;
    target = DisplayToBufferPos(DisplayCoord(FWordWrapPlugin->RowLength(row) + 1, row)).Char;
  }
  const bool lastRow = !FWordWrapPlugin || GetDisplayXY().Row == LineToRow(from.Line + 1) - 1;
  if ((FOptions & eoEnhanceEndKey) && lastRow) {
    const std::size_t last = line.find_last_not_of(" \t");
    const int afterLast = last == std::string_view::npos ? 1 : static_cast<int>(last) + 2;
    target = from.Char == afterLast ? static_cast<int>(line.size()) + 1 : afterLast;
  }
  MoveCaretAndSelect(from, BufferCoord(target, from.Line), Extend);
}

// ---- words and attributes ------------------------------------------------------------

void TCustomOndEdit::GetWordChars(TSysCharSet& IdentChars, TSysCharSet& WhiteChars) const {
  IdentChars = TSysCharSet();
  if (FHighlighter) {
    const TSysCharSet ident = FHighlighter->GetIdentChars();
    const TSysCharSet& brk = FHighlighter->GetWordBreakChars();
    for (int c = 1; c < 256; ++c)
      if (ident.Contains(static_cast<char>(c)) && !brk.Contains(static_cast<char>(c))) IdentChars.Include(static_cast<char>(c));
  } else {
    for (int c = 1; c < 256; ++c)
      if (IsDefaultIdentChar(static_cast<unsigned char>(c))) IdentChars.Include(static_cast<char>(c));
  }
  WhiteChars = TSysCharSet();
  for (int c = 1; c < 256; ++c)
    if (!IdentChars.Contains(static_cast<char>(c))) WhiteChars.Include(static_cast<char>(c));
}

bool TCustomOndEdit::IsIdentChar(char C) const {
  TSysCharSet ident, white;
  GetWordChars(ident, white);
  return ident.Contains(C);
}

TBufferCoord TCustomOndEdit::WordStartEx(const TBufferCoord& P) const {
  if (P.Line < 1 || P.Line > FLines->GetCount()) return P;
  TSysCharSet ident, white;
  GetWordChars(ident, white);
  const std::string_view line = FLines->GetView(P.Line - 1);
  int x = std::min(P.Char, static_cast<int>(line.size()) + 1);
  if (x > 1 && !white.Contains(line[static_cast<std::size_t>(x - 2)])) {
    const int w = FindCharInSetBackward(line, x - 1, white);
    x = w + 1;
  }
  return BufferCoord(std::max(1, x), P.Line);
}

TBufferCoord TCustomOndEdit::WordEndEx(const TBufferCoord& P) const {
  if (P.Line < 1 || P.Line > FLines->GetCount()) return P;
  TSysCharSet ident, white;
  GetWordChars(ident, white);
  const std::string_view line = FLines->GetView(P.Line - 1);
  const int x = FindCharInSet(line, std::max(1, P.Char), white);
  return BufferCoord(x > 0 ? x : static_cast<int>(line.size()) + 1, P.Line);
}

std::string TCustomOndEdit::WordAtPos(const TBufferCoord& P) const {
  const TBufferCoord s = WordStartEx(P), e = WordEndEx(P);
  if (s.Line == P.Line && e.Line == P.Line && s.Char < e.Char && P.Line >= 1 && P.Line <= FLines->GetCount())
    return Copy(FLines->GetView(P.Line - 1), s.Char, e.Char - s.Char);
  return std::string();
}

bool TCustomOndEdit::GetHighlighterAttriAtRowCol(const TBufferCoord& P, std::string& Token,
                                                 TOndHighlighterAttributes*& Attri) const {
  int kind, start;
  return GetHighlighterAttriAtRowColEx(P, Token, kind, start, Attri);
}

bool TCustomOndEdit::GetHighlighterAttriAtRowColEx(const TBufferCoord& P, std::string& Token, int& TokenType,
                                                   int& Start, TOndHighlighterAttributes*& Attri) const {
  Token.clear();
  Attri = nullptr;
  TokenType = 0;
  Start = 0;
  if (!FHighlighter || P.Line < 1 || P.Line > FLines->GetCount()) return false;
  std::string buffer;
  const std::string_view text = ExpandedLine(P.Line - 1, buffer);
  // Tokens are positioned on the expanded text: look for the display column.
  const int col = LineCharToColumn(FLines->GetView(P.Line - 1), P.Char, FTabWidth);
  if (P.Char < 1 || P.Char > static_cast<int>(FLines->GetView(P.Line - 1).size())) return false;
  ScanRangesThrough(P.Line - 2);
  if (P.Line == 1)
    FHighlighter->ResetRange();
  else
    FHighlighter->SetRange(FLines->GetRange(P.Line - 2));
  FHighlighter->SetLine(text, P.Line - 1);
  while (!FHighlighter->GetEol()) {
    const int start = FHighlighter->GetTokenPos() + 1;
    const std::string token = FHighlighter->GetToken();
    if (col >= start && col < start + static_cast<int>(token.size())) {
      Token = token;
      Attri = FHighlighter->GetTokenAttribute();
      TokenType = FHighlighter->GetTokenKind();
      Start = start;
      return true;
    }
    FHighlighter->Next();
  }
  return false;
}

// ---- brackets and word wrap -------------------------------------------------------------

namespace {

// Lines walked between two looks at the clock.
constexpr int kBracketWalkLines = 4096;

// The 1-based place of the next Open or Close in Text from Char on (Char
// itself included) in the walk's direction; outside 1..size when none.
int NextBracketChar(std::string_view Text, int Char, bool Forward, char Open, char Close) noexcept {
  const int n = static_cast<int>(Text.size());
  if (Forward) {
    for (int c = std::max(Char, 1); c <= n; ++c) {
      const char ch = Text[static_cast<std::size_t>(c - 1)];
      if (ch == Open || ch == Close) return c;
    }
    return n + 1;
  }
  for (int c = std::min(Char, n); c >= 1; --c) {
    const char ch = Text[static_cast<std::size_t>(c - 1)];
    if (ch == Open || ch == Close) return c;
  }
  return 0;
}

bool HoldsEither(std::string_view Text, char Open, char Close) noexcept {
  // An empty line's text may be no pointer at all, which memchr must not get.
  return !Text.empty() &&
         (std::memchr(Text.data(), Open, Text.size()) || std::memchr(Text.data(), Close, Text.size()));
}

}  // namespace

bool TCustomOndEdit::StartBracketWalk(const TBufferCoord& P, TBracketWalk& W) const {
  static constexpr char kBrackets[] = "()[]{}<>";
  if (P.Line < 1 || P.Line > FLines->GetCount()) return false;
  const std::string_view line = FLines->GetView(P.Line - 1);
  if (P.Char < 1 || P.Char > static_cast<int>(line.size())) return false;
  const char* at = std::strchr(kBrackets, line[static_cast<std::size_t>(P.Char - 1)]);
  if (!at || *at == '\0') return false;
  const int index = static_cast<int>(at - kBrackets);
  W = TBracketWalk{};
  W.From = P;
  W.Open = kBrackets[index];
  W.Close = kBrackets[index ^ 1];
  W.Forward = (index & 1) == 0;
  W.Line = P.Line;
  W.Char = P.Char;
  return true;
}

bool TCustomOndEdit::WalkBracket(TBracketWalk& W, std::chrono::steady_clock::time_point Until) const {
  using Clock = std::chrono::steady_clock;
  const int count = FLines->GetCount();
  const int step = W.Forward ? 1 : -1;
  int l = W.Line, c = W.Char;
  std::string_view text = l >= 1 && l <= count ? FLines->GetView(l - 1) : std::string_view();
  // Lines passed or scanned for their states before the clock is looked at
  // again: whatever the time, a walk goes that far.
  int budget = kBracketWalkLines;
  // Brackets of one line looked at before the clock is: a long line is
  // walked in pieces too.
  int brackets = kBracketWalkLines;
  auto spent = [&](int Lines) {
    budget -= Lines;
    if (budget > 0) return false;
    budget = kBracketWalkLines;
    return Clock::now() >= Until;
  };
  // Stops with (l, c) the last place looked at.
  auto pause = [&] {
    W.Line = l;
    W.Char = c;
    return false;
  };
  for (;;) {
    c = NextBracketChar(text, c + step, W.Forward, W.Open, W.Close);
    while (c < 1 || c > static_cast<int>(text.size())) {
      l += step;
      if (l < 1 || l > count) {
        W.Found = BufferCoord(0, 0);
        return true;
      }
      text = FLines->GetView(l - 1);
      c = W.Forward ? 0 : static_cast<int>(text.size()) + 1;
      if (spent(1)) return pause();
      // Most lines hold neither bracket.
      if (HoldsEither(text, W.Open, W.Close)) c = NextBracketChar(text, c + step, W.Forward, W.Open, W.Close);
    }
    if (--brackets == 0) {
      brackets = kBracketWalkLines;
      if (Clock::now() >= Until) {
        c -= step;  // this bracket again
        return pause();
      }
    }
    // Inside a string or a comment a bracket does not count. The token's
    // attribute says so by its name, as for the fold scanner: a
    // highlighter's tokens carry their rule's own attributes, not its
    // default ones.
    if (FHighlighter) {
      if (l - 2 >= FRangesKnown) {
        // The states down to here are scanned a piece at a time, so that a
        // walk in idle time stops soon enough.
        const int from = FRangesKnown;
        ScanRangesThrough(std::min(l - 2, from + kBracketWalkLines - 1));
        c -= step;  // this bracket again
        if (spent(FRangesKnown - from)) return pause();
        continue;
      }
      if (NonCodeAt(l, c)) continue;
    }
    const char ch = text[static_cast<std::size_t>(c - 1)];
    W.Depth += ch == W.Open ? 1 : -1;
    if (W.Depth == 0) {
      W.Found = BufferCoord(c, l);
      return true;
    }
  }
}

TBufferCoord TCustomOndEdit::GetMatchingBracketEx(const TBufferCoord& P) const {
  TBracketWalk w;
  if (!StartBracketWalk(P, w)) return BufferCoord(0, 0);
  WalkBracket(w, std::chrono::steady_clock::time_point::max());
  return w.Found;
}

TBufferCoord TCustomOndEdit::MatchingBracketSoon(const TBufferCoord& P, bool& Known) {
  Known = true;
  TBracketWalk w;
  if (!StartBracketWalk(P, w)) return BufferCoord(0, 0);
  if (!LongText()) {
    WalkBracket(w, std::chrono::steady_clock::time_point::max());
    return w.Found;
  }
  for (const auto& [from, found] : FBracketsFound)
    if (from == P) return found;
  if (FBracketWalk && FBracketWalk->From == P) {
    Known = false;
    return BufferCoord(0, 0);
  }
  // A near partner is found at once: one stretch of lines.
  if (WalkBracket(w, std::chrono::steady_clock::time_point::min())) {
    RememberBracketPartner(P, w.Found);
    return w.Found;
  }
  FBracketWalk = std::make_unique<TBracketWalk>(w);
  StartIdleWork();
  Known = false;
  return BufferCoord(0, 0);
}

void TCustomOndEdit::FindMatchingBracket() {
  const TBufferCoord p = GetMatchingBracket();
  if (p.Char > 0 && p.Line > 0) SetCaretXY(p);
}

}  // namespace ond
