// The mouse: clicks that place the caret and select, the gutter, wheel, and
// dragging text within and between controls.
#include "editor/OndEdit.h"

#include <algorithm>

#include "editor/OndCompletionProposal.h"
#include "editor/OndEditImpl.h"
#include "platform/ImgList.h"
#include "platform/core/ScopeGuard.h"

namespace ond {

// ---- mouse and drag ------------------------------------------------------------------------

void TCustomOndEdit::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  const TBufferCoord savedBegin = FBlockBegin, savedEnd = FBlockEnd;
  FLastMousePos = TPoint{X, Y};
  FLastMouseShift = Shift;
  bool dragCandidate = false;
  if (Button == TMouseButton::mbLeft && SelAvail()) {
    FMouseDownPoint = TPoint{X, Y};
    dragCandidate = true;
  }
  TCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button == TMouseButton::mbLeft && (Shift & ssDouble)) return;  // DblClick does the rest
  FKbdHandler.RunMouseDownChain(this, Button, Shift, X, Y);

  if (FRightEdge->GetVisible() && Button == TMouseButton::mbLeft) {
    const int edgeX = RowColumnToPixels(DisplayCoord(FRightEdge->GetPosition() + 1, 1)).X;
    if (std::abs(X - edgeX) < 3) {
      FRightEdgeDrag = 1;
      FRightEdgeDragColumn = -1;
      SetMouseCapture(true);
      return;
    }
  }

  const bool inText = X >= FView.GutterWidth + 2;
  if (inText && Button == TMouseButton::mbLeft) {
    PlaceCaretAtPixel(X, Y);
  } else if (inText && Button == TMouseButton::mbRight && (FOptions & eoRightMouseMovesCursor)) {
    const TBufferCoord p = DisplayToBufferPos(PixelsToRowColumn(X, Y));
    if (!(SelAvail() && IsPointInSelection(p))) {
      InvalidateSelection();
      FBlockEnd = FBlockBegin;
      PlaceCaretAtPixel(X, Y);
      SetBlockBegin(GetCaretXY());
    }
  }

  if (Button == TMouseButton::mbLeft) {
    FBlockBegin = savedBegin;
    FBlockEnd = savedEnd;
    SetMouseCapture(true);
    FStateFlags &= static_cast<TOndStateFlags>(~sfWaitingForDrag);
    if (dragCandidate && (FOptions & eoDragDropEditing) && inText && FSelectionMode == smNormal &&
        IsPointInSelection(DisplayToBufferPos(PixelsToRowColumn(X, Y)))) {
      FStateFlags |= sfWaitingForDrag;
    } else if (!(FStateFlags & sfDoubleClicked)) {
      if (Shift & ssShift) {
        SetBlockEnd(GetCaretXY());
      } else {
        if (FOptions & eoAltSetsColumnMode) {
          if ((Shift & ssAlt) && !FAltColumnFlag) {
            FSavedSelectionMode = FSelectionMode;
            SetSelectionMode(smColumn);
            FAltColumnFlag = 1;
          } else if (!(Shift & ssAlt) && FAltColumnFlag) {
            SetSelectionMode(FSavedSelectionMode);
            FAltColumnFlag = 0;
          }
        }
        SetBlockBegin(GetCaretXY());
      }
    }
  }

  if (!inText) {
    if (Button == TMouseButton::mbRight)
      DoOnGutterClick(Button, X, Y);
    else
      FStateFlags |= sfPossibleGutterClick;
  }
  if (CanFocus()) SetFocus();
}

void TCustomOndEdit::MouseMove(TShiftState Shift, int X, int Y) {
  TCustomControl::MouseMove(Shift, X, Y);
  FLastMousePos = TPoint{X, Y};
  FLastMouseShift = Shift;
  if (FRightEdgeDrag) {
    MoveRightEdgeGuide(X);
    FRightEdgeDragColumn = PixelsToRowColumn(X, Y).Column;
    ShowCursorShape(crHSplit);
    return;
  }
  if (FRightEdge->GetVisible() && !GetMouseCapture()) {
    const int edgeX = RowColumnToPixels(DisplayCoord(FRightEdge->GetPosition() + 1, 1)).X;
    if (std::abs(X - edgeX) < 3) {
      ShowCursorShape(crHSplit);
      return;
    }
  }
  if (FCodeFolding->GetEnabled() && FCodeFolding->GetCollapsedCodeHint()) {
    std::vector<std::string> lines;
    if (CollapsedMarkerAt(X, Y, lines)) {
      ShowCursorShape(crHelp);
      if (FFoldHint && !FFoldHint->Visible()) {
        TStrings& items = FFoldHint->ItemList();
        items.Clear();
        const std::string blanks(static_cast<std::size_t>(std::max(0, FTabWidth)), ' ');
        const std::size_t shown = std::min<std::size_t>(lines.size(), 42);  // the header and 41 folded lines
        for (std::size_t i = 0; i < shown; ++i) {
          std::string line;
          for (char c : lines[i]) {
            if (c == '\t')
              line += blanks;
            else
              line += c;
          }
          // The file's text is shown as it is, never read as formatting.
          items.Add(EscapeFormatText(line));
        }
        if (lines.size() > shown) items.Add("...");
        FFoldHint->SetFont(Font);
        FFoldHint->SetEditor(this);
        // Just under the header's row, so neither the header nor the
        // pointer is covered and the pointer stays over the editor.
        const int lineHeight = std::max(1, FView.LineHeight);
        const TPoint at = ClientToScreen(TPoint{X, (Y / lineHeight + 1) * lineHeight});
        FFoldHint->ExecuteEx("", at.X, at.Y, ctHint);
        FFoldHintShowing = true;
      }
      return;
    }
    HideFoldHint();
  }

  if (GetMouseCapture() && (FStateFlags & sfWaitingForDrag)) {
    const int threshold = DragThreshold();
    if (std::abs(X - FMouseDownPoint.X) >= threshold || std::abs(Y - FMouseDownPoint.Y) >= threshold) {
      FStateFlags &= static_cast<TOndStateFlags>(~sfWaitingForDrag);
      BeginDrag();
    }
  } else if ((Shift & ssLeft) && GetMouseCapture()) {
    ComputeScroll(X, Y);
    TDisplayCoord target = PixelsToNearestRowColumn(X, Y);
    target.Row = MinMax(target.Row, 1, std::max(1, DisplayRowCount()));
    const TDisplayCoord caret = GetDisplayXY();
    if (FScrollDeltaX != 0) target.Column = caret.Column;
    if (FScrollDeltaY != 0) target.Row = caret.Row;
    LockPaint();
    {
      const TScopeExit unlock([&] { UnlockPaint(); });
      InternalSetCaretXY(DisplayToBufferPos(target));
      SetBlockEnd(GetCaretXY());
    }
    if ((FStateFlags & sfPossibleGutterClick) && FBlockBegin.Line != FCaretY) FStateFlags |= sfGutterDragging;
  }
  UpdateMouseCursor();
}

void TCustomOndEdit::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCustomControl::MouseUp(Button, Shift, X, Y);
  FKbdHandler.RunMouseUpChain(this, Button, Shift, X, Y);
  if (FRightEdgeDrag) {
    FRightEdgeDrag = 0;
    MoveRightEdgeGuide(-1);
    SetMouseCapture(false);
    int column = PixelsToRowColumn(X, Y).Column;
    if (FRightEdge->GetPosition() > column) --column;
    // The edge never goes left of the first column.
    FRightEdge->SetPosition(std::max(1, column));
    return;
  }
  HideFoldHint();
  FScrollTimer->SetEnabled(false);
  if (Button == TMouseButton::mbRight && (Shift & (ssLeft | ssRight | ssMiddle)) == 0 && GetPopupMenu()) return;
  SetMouseCapture(false);
  if ((FStateFlags & sfPossibleGutterClick) && X < FView.GutterWidth && !(FStateFlags & sfGutterDragging) &&
      Button != TMouseButton::mbRight) {
    DoOnGutterClick(Button, X, Y);
  } else if ((FStateFlags & sfWaitingForDrag) && !(FStateFlags & sfDoubleClicked)) {
    PlaceCaretAtPixel(X, Y);
    if (!(Shift & ssShift)) SetBlockBegin(GetCaretXY());
    SetBlockEnd(GetCaretXY());
  }
  FStateFlags &= static_cast<TOndStateFlags>(~(sfDoubleClicked | sfPossibleGutterClick | sfGutterDragging |
                                                sfWaitingForDrag));
}

void TCustomOndEdit::MouseCaptureLost() {
  FScrollTimer->SetEnabled(false);
  FScrollDeltaX = FScrollDeltaY = 0;
  if (FRightEdgeDrag) {
    FRightEdgeDrag = 0;
    MoveRightEdgeGuide(-1);
  }
  FStateFlags &= static_cast<TOndStateFlags>(~(sfDoubleClicked | sfPossibleGutterClick | sfGutterDragging |
                                                sfWaitingForDrag));
}

void TCustomOndEdit::DblClick() {
  if (FLastMousePos.X >= FView.GutterWidth + 2) {
    if (!(FOptions & eoNoSelection)) SelectWordAt(GetCaretXY());
    TCustomControl::DblClick();
    FStateFlags |= sfDoubleClicked;
    SetMouseCapture(false);
  } else {
    TCustomControl::DblClick();
  }
}

void TCustomOndEdit::KeyUp(std::uint16_t& Key, TShiftState Shift) {
  TCustomControl::KeyUp(Key, Shift);
  if (FCodeFolding->GetEnabled()) {
    std::vector<std::string> lines;
    const TPoint p = ScreenToClient(CursorPos());
    if (!CollapsedMarkerAt(p.X, p.Y, lines)) HideFoldHint();
  }
  FKbdHandler.RunKeyUpChain(this, Key, Shift);
}

void TCustomOndEdit::HideFoldHint() {
  if (FFoldHint && FFoldHintShowing && FFoldHint->Visible()) FFoldHint->CancelCompletion();
  FFoldHintShowing = false;
}

void TCustomOndEdit::DoOnGutterClick(TMouseButton Button, int X, int Y) {
  const int row = PixelsToRowColumn(X, Y).Row;
  const int line = RowToLine(row);
  const int foldZone = FView.GutterWidth - 12;
  if (FCodeFolding->GetEnabled() && FLines->GetCount() > 0 && X >= foldZone) {
    ToggleFoldAtLine(line);
    Invalidate();
    return;
  }
  if (!OnGutterClick || line < 1 || line > FLines->GetCount()) return;
  TOndEditMarks marks{};
  FMarkList->MarksOnLine(line, marks);
  TOndEditMark* clicked = nullptr;
  int x = 0;
  for (TOndEditMark* m : marks) {
    if (!m) break;
    x += FBookMarkOpt->GetXoffset();
    if (x > X) {
      clicked = m;
      break;
    }
  }
  OnGutterClick(this, Button, X, Y, line, clicked, X < foldZone ? 1 : 0);
}

void TCustomOndEdit::ComputeScroll(int X, int Y) {
  TRect r = Rect(FView.GutterWidth, 0, FView.GutterWidth + FView.CharsInWindow * FView.CharWidth,
                 FView.LinesInWindow * FView.LineHeight);
  if (FBorderStyle == TBorderStyle::bsNone) r = Rect(r.Left + 2, r.Top + 2, r.Right - 2, r.Bottom - 2);
  AutoScrollDeltas(r, X, Y, FView.CharWidth, FView.LineHeight, FScrollDeltaX, FScrollDeltaY);
  FScrollTimer->SetEnabled((FScrollDeltaX != 0 || FScrollDeltaY != 0) && (FFocused || GetMouseCapture() || Dragging()));
}

void TCustomOndEdit::ScrollTimerHandler() {
  if (!(FFocused || GetMouseCapture() || Dragging())) {
    FScrollTimer->SetEnabled(false);
    return;
  }
  const TPoint p = FLastMousePos;
  TDisplayCoord target = PixelsToRowColumn(p.X, p.Y);
  target.Row = MinMax(target.Row, 1, std::max(1, DisplayRowCount()));
  if (FScrollDeltaX != 0) {
    SetLeftColumn(FView.LeftColumn + FScrollDeltaX);
    target.Column = FScrollDeltaX > 0 ? FView.LeftColumn + FView.CharsInWindow : FView.LeftColumn;
  }
  if (FScrollDeltaY != 0) {
    const int by = (TControl::KeyboardState() & ssShift) ? FScrollDeltaY * FView.LinesInWindow : FScrollDeltaY;
    SetTopLine(FView.TopLine + by);
    target.Row = FScrollDeltaY > 0 ? FView.TopLine + FView.LinesInWindow - 1 : FView.TopLine;
    target.Row = MinMax(target.Row, 1, std::max(1, DisplayRowCount()));
  }
  if (!(target == GetDisplayXY())) {
    LockPaint();
    const TScopeExit unlock([&] { UnlockPaint(); });
    InternalSetCaretXY(DisplayToBufferPos(target));
    if (GetMouseCapture()) SetBlockEnd(GetCaretXY());
  }
  ComputeScroll(p.X, p.Y);
}

void TCustomOndEdit::MoveRightEdgeGuide(int X) {
  // The guide is painted over the text; the old and the new pixel column
  // are painted again.
  const int h = ClientHeight();
  if (FRightEdgeGuideX >= 0) TControl::InvalidateRect(Rect(FRightEdgeGuideX, 0, FRightEdgeGuideX + 1, h));
  FRightEdgeGuideX = X;
  if (X >= 0) TControl::InvalidateRect(Rect(X, 0, X + 1, h));
}

void TCustomOndEdit::PaintRightEdgeGuide() {
  if (!FRightEdgeDrag || FRightEdgeGuideX < 0) return;
  TCanvas* c = Canvas();
  const TPen saved = c->Pen;
  c->Pen.Width = 1;
  c->Pen.Style = TPenStyle::psDot;
  c->Pen.Color = clBlack;
  c->MoveTo(FRightEdgeGuideX, 0);
  c->LineTo(FRightEdgeGuideX, ClientHeight());
  c->Pen = saved;
}

void TCustomOndEdit::DragOver(TObject* Source, int X, int Y, bool& Accept) {
  auto* source = dynamic_cast<TCustomOndEdit*>(Source);
  Accept = source != nullptr && !GetReadOnly();
  if (!Accept) return;
  FLastMousePos = TPoint{X, Y};
  if (!Dragging()) {
    PlaceCaretAtPixel(X, Y);
    return;
  }
  TDisplayCoord d = PixelsToNearestRowColumn(X, Y);
  d.Column = MinMax(d.Column, FView.LeftColumn, FView.LeftColumn + std::max(0, FView.CharsInWindow - 1));
  d.Row = MinMax(d.Row, FView.TopLine, FView.TopLine + std::max(0, FView.LinesInWindow - 1));
  d.Row = MinMax(d.Row, 1, std::max(1, DisplayRowCount()));
  InternalSetCaretXY(DisplayToBufferPos(d));
  ComputeScroll(X, Y);
}

void TCustomOndEdit::DragDrop(TObject* Source, int X, int Y) {
  if (auto* source = dynamic_cast<TCustomOndEdit*>(Source)) DropText(source, X, Y, TControl::KeyboardState());
}

void TCustomOndEdit::DragLeave(TObject* Source) {
  TCustomControl::DragLeave(Source);
  if (Source != this) return;
  FScrollTimer->SetEnabled(false);
  PlaceCaretAtPixel(FMouseDownPoint.X, FMouseDownPoint.Y);
}

void TCustomOndEdit::DragEnd(bool Dropped) {
  TCustomControl::DragEnd(Dropped);
  FScrollTimer->SetEnabled(false);
}

void TCustomOndEdit::DropText(TCustomOndEdit* Source, int X, int Y, TShiftState Shift) {
  if (!Source || !Source->SelAvail() || GetReadOnly()) return;
  PaintLockScope lock(*this);
  PlaceCaretAtPixel(X, Y);
  TBufferCoord drop = GetCaretXY();
  const bool same = Source == this;
  bool move;
  if (same) {
    move = !(Shift & ssCtrl);
    if (IsPointInSelection(drop) || (move && drop == GetBlockEnd())) return;
  } else {
    // The text stays where it is when its editor may not change.
    move = (Shift & ssShift) && !Source->GetReadOnly();
  }
  const std::string text = Source->GetSelText();
  const TBufferCoord bb = Source->GetBlockBegin(), be = Source->GetBlockEnd();
  const TOndEditorOptions savedOptions = FOptions;
  FOptions |= eoScrollPastEol;
  struct Restore {
    TCustomOndEdit* E;
    TOndEditorOptions O;
    ~Restore() { E->FOptions = O; }
  } restore{this, savedOptions};
  BeginUndoBlock();
  const TScopeExit endBlock([&] { EndUndoBlock(); });
  if (move) {
    if (same) {
      // The drop point after the selection moves with the text removed before it.
      if (drop.Line > be.Line || (drop.Line == be.Line && drop.Char >= be.Char)) {
        if (drop.Line == be.Line)
          drop = BufferCoord(bb.Char + drop.Char - be.Char, bb.Line);
        else
          drop.Line -= be.Line - bb.Line;
      }
      DeleteSelectionEx(true, urDelete);
    } else {
      PaintLockScope sourceLock(*Source);
      Source->BeginUndoBlock();
      const TScopeExit restore([&] { Source->EndUndoBlock(); });
      Source->DeleteSelectionEx(true, urDelete);
      Source->SetCaretAndCollapse(Source->GetBlockBegin());
    }
  }
  InternalSetCaretXY(drop);
  SetBlockBegin(drop);
  OND_ASSERT(!SelAvail());
  const TBufferCoord end =
      ReplaceRange(drop, drop, text, urDelete, same ? urDragDropInsert : urInsert, true);
  InternalSetCaretXY(end);
  SetBlockBegin(end);
  CommandProcessor(ecSelGotoXY, '\0', &drop);
}

bool TCustomOndEdit::CollapsedMarkerAt(int X, int Y, std::vector<std::string>& Lines) {
  if (!FCodeFolding->GetEnabled() || !FCodeFolding->GetCollapsedCodeHint() || FAllFoldRanges->AllCount() == 0) return false;
  if (X < FView.GutterWidth + 2 || Y < 0) return false;
  const int row = FView.TopLine + Y / std::max(1, FView.LineHeight);
  const int line = RowToLine(row);
  if (line < 1 || line > FLines->GetCount() || LineToRow(line + 1) - 1 != row) return false;
  const TOndEditFoldRange* r = CollapsedFoldAt(line);
  if (!r) return false;
  // The box painted behind the header's text.
  const int cw = FView.CharWidth;
  const int hintX = (FLines->GetExpandedTextLength(line - 1) - 5) * cw + FView.TextOffset();
  if (X < hintX + cw || X >= hintX + 4 * cw) return false;
  Lines.clear();
  Lines.emplace_back(FLines->GetView(line - 1).substr(0, static_cast<std::size_t>(VisibleLineLength(line))));
  for (int i = r->CollapsedLines.GetCount() - 1; i >= 0; --i) Lines.push_back(r->CollapsedLines.Get(i));
  return true;
}

}  // namespace ond
