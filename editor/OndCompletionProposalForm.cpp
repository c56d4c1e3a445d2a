#include "editor/OndCompletionProposalForm.h"

#include <algorithm>

#include "editor/OndCompletionProposal.h"
#include "platform/ImgList.h"
#include "platform/core/ScopeGuard.h"

namespace ond {

int TCanvasFormatSurface::ImageCount() const { return FImages ? FImages->Count() : 0; }
int TCanvasFormatSurface::ImageWidth() const { return FImages ? FImages->Width() : 0; }
void TCanvasFormatSurface::DrawImage(int X, int Y, int Index) {
  if (FImages) FImages->Draw(&FCanvas, X, Y, Index);
}

TOndBaseCompletionProposalForm::TOndBaseCompletionProposalForm(TOndBaseCompletionProposal& Proposal)
    : TPopupWindow(nullptr), FProposal(Proposal) {}

void TOndBaseCompletionProposalForm::Paint() {
  // Painted off screen first, so a repaint never flickers through the frame.
  TBitmap picture(std::max(1, ClientWidth()), std::max(1, ClientHeight()));
  PaintContent(*picture.Canvas(), ClientWidth(), ClientHeight());
  Canvas()->Draw(0, 0, picture);
}

void TOndBaseCompletionProposalForm::ShowFramed(const TRect& R, int Frame) {
  // Sized by the proposal already: nothing to snap.
  FSnapping = true;
  const TScopeExit done([this] { FSnapping = false; });
  SetFrameWidth(Frame);
  ShowAt(R);
  SyncScrollBar();
}

void TOndBaseCompletionProposalForm::SyncScrollBar() {
  if (FProposal.GetDisplayType() != ctCode) {
    if (ScrollBarVisible(TScrollBarKind::sbVertical)) ShowScrollBar(TScrollBarKind::sbVertical, false);
    return;
  }
  const TProposalList& list = FProposal.List();
  const int count = static_cast<int>(list.Shown().size());
  const int lines = std::max(1, FProposal.NbLinesInWindow);
  TScrollInfo info;
  info.Min = 0;
  info.Max = std::max(0, count - 1);
  info.Page = lines;
  info.Pos = list.TopItem();
  SetScrollInfo(TScrollBarKind::sbVertical, info);
  EnableScrollBar(TScrollBarKind::sbVertical, count > lines);
  if (!ScrollBarVisible(TScrollBarKind::sbVertical)) ShowScrollBar(TScrollBarKind::sbVertical, true);
}

void TOndBaseCompletionProposalForm::Scroll(TScrollBarKind Kind, TScrollCode Code, int Pos) {
  TPopupWindow::Scroll(Kind, Code, Pos);
  if (Kind != TScrollBarKind::sbVertical || FProposal.GetDisplayType() != ctCode) return;
  const int top = FProposal.List().TopItem();
  const int page = std::max(1, FProposal.NbLinesInWindow);
  switch (Code) {
    case TScrollCode::scLineUp: FProposal.ScrollListTo(top - 1); break;
    case TScrollCode::scLineDown: FProposal.ScrollListTo(top + 1); break;
    case TScrollCode::scPageUp: FProposal.ScrollListTo(top - page); break;
    case TScrollCode::scPageDown: FProposal.ScrollListTo(top + page); break;
    case TScrollCode::scTop: FProposal.ScrollListTo(0); break;
    case TScrollCode::scBottom: FProposal.ScrollListTo(static_cast<int>(FProposal.List().Shown().size())); break;
    case TScrollCode::scTrack:
    case TScrollCode::scPosition: FProposal.ScrollListTo(Pos); break;
    case TScrollCode::scEndScroll: break;
  }
}

void TOndBaseCompletionProposalForm::Resize() {
  TPopupWindow::Resize();
  if (FProposal.GetDisplayType() != ctCode || FSnapping) return;
  const int item = FProposal.EffectiveItemHeight(), title = FProposal.TitleHeight(), frame = GetFrameWidth();
  const int lines = CodeListLines(Height(), item, title, frame);
  FProposal.NbLinesInWindow = lines;
  const int height = CodeListHeight(lines, item, title, frame);
  if (height != Height()) {
    FSnapping = true;
    SetBounds(Left(), Top(), Width(), height);
    FSnapping = false;
  }
  FProposal.ScrollListTo(FProposal.List().TopItem());
}

int TOndBaseCompletionProposalForm::SizingEdgesAt(int X, int Y) const {
  if (FProposal.GetDisplayType() != ctCode || !FProposal.Resizeable) return 0;
  // Client points: the frame lies left of and above 0 and past the client
  // area (and the scroll bar) on the right and at the bottom.
  const int f = GetFrameWidth();
  int edges = 0;
  if (X + f >= Width() - f) edges |= 1;
  if (Y + f >= Height() - f) edges |= 2;
  return edges;
}

void TOndBaseCompletionProposalForm::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TPopupWindow::MouseDown(Button, Shift, X, Y);
  FSizing = Button == TMouseButton::mbLeft ? SizingEdgesAt(X, Y) : 0;
  if (!FSizing) return;
  FSizeFrom = ClientToScreen(TPoint{X, Y});
  FSizeStart = TSize{Width(), Height()};
  SetMouseCapture(true);
}

void TOndBaseCompletionProposalForm::MouseMove(TShiftState Shift, int X, int Y) {
  TPopupWindow::MouseMove(Shift, X, Y);
  if (!FSizing) {
    const int edges = SizingEdgesAt(X, Y);
    ShowCursorShape(edges == 3 ? crSizeNWSE : edges == 2 ? crSizeNS : edges == 1 ? crSizeWE : crDefault);
    return;
  }
  const TPoint at = ClientToScreen(TPoint{X, Y});
  const int f = GetFrameWidth();
  int width = FSizeStart.cx, height = FSizeStart.cy;
  // Never narrower than the frame, the scroll bar and a little text.
  if (FSizing & 1) width = std::max(2 * f + 40, FSizeStart.cx + at.X - FSizeFrom.X);
  if (FSizing & 2) height = FSizeStart.cy + at.Y - FSizeFrom.Y;
  SetBounds(Left(), Top(), width, height);
}

void TOndBaseCompletionProposalForm::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TPopupWindow::MouseUp(Button, Shift, X, Y);
  if (!FSizing) return;
  FSizing = 0;
  SetMouseCapture(false);
  FProposal.Width = Width();
}

void TOndBaseCompletionProposalForm::PaintContent(TCanvas& Canvas, int Width, int Height) const {
  Canvas.Font.Assign(FProposal.GetFont());
  if (FProposal.GetDisplayType() == ctCode)
    PaintCodeList(Canvas, Width, Height);
  else
    PaintHint(Canvas, Width, Height);
}

void TOndBaseCompletionProposalForm::PaintHint(TCanvas& Canvas, int Width, int Height) const {
  Canvas.Brush.Style = TBrushStyle::bsSolid;
  Canvas.Brush.Color = FProposal.GetClBackground();
  Canvas.FillRect(Rect(0, 0, Width, Height));
  // A raised frame: light along the top and left, dark along the bottom and right.
  Canvas.Pen = TPen{};
  Canvas.Pen.Color = cl3DLight;
  Canvas.MoveTo(0, Height - 1);
  Canvas.LineTo(0, 0);
  Canvas.LineTo(Width - 1, 0);
  Canvas.Pen.Color = cl3DDkShadow;
  Canvas.LineTo(Width - 1, Height - 1);
  Canvas.LineTo(-1, Height - 1);

  Canvas.Brush.Style = TBrushStyle::bsClear;
  const int itemHeight = FProposal.EffectiveItemHeight();
  const int offset = (itemHeight - FProposal.FontHeight()) / 2;
  const int margin = FProposal.Margin;
  TCanvasFormatSurface surface(Canvas, FProposal.Images);
  const TStrings& items = FProposal.Items();
  for (int i = 0; i < items.GetCount(); ++i) {
    const int top = margin + i * itemHeight + offset;
    if (top >= Height) break;
    const TRect r = Rect(margin + 1, top, Width - 1, top + itemHeight);
    if (FProposal.OnPaintItem &&
        FProposal.OnPaintItem(&FProposal, i, Canvas, r))
      continue;
    TFormatChunkList chunks;
    ParseFormatLine(FProposal.DisplayLine(i), chunks);
    WalkFormatChunks(chunks, surface, FProposal.Columns, r.Left, r.Top, r.Right, true);
  }
}

void TOndBaseCompletionProposalForm::PaintCodeList(TCanvas& Canvas, int Width, int Height) const {
  Canvas.Brush.Style = TBrushStyle::bsSolid;
  Canvas.Brush.Color = FProposal.GetClBackground();
  Canvas.FillRect(Rect(0, 0, Width, Height));
  int top = 0;
  if (!FProposal.Title.empty()) {
    Canvas.Font.Assign(FProposal.TitleFont());
    const int titleHeight = Canvas.TextHeight(FProposal.Title) + 2;
    Canvas.Brush.Color = FProposal.ClTitleBackground;
    Canvas.FillRect(Rect(0, 0, Width, titleHeight));
    const int x = (FProposal.GetOptions() & scoTitleIsCentered) ? (Width - Canvas.TextWidth(FProposal.Title)) / 2 : 2;
    Canvas.Brush.Style = TBrushStyle::bsClear;
    Canvas.TextOut(x, 1, FProposal.Title);
    Canvas.Font.Assign(FProposal.GetFont());
    top = titleHeight;
  }
  const TProposalList& list = FProposal.List();
  const int itemHeight = FProposal.EffectiveItemHeight();
  const TStrings& items = FProposal.Items();
  TCanvasFormatSurface surface(Canvas, FProposal.Images);
  const int shown = static_cast<int>(list.Shown().size());
  for (int row = 0; list.TopItem() + row < shown && top + row * itemHeight < Height; ++row) {
    const int index = list.TopItem() + row;
    const int item = list.Shown()[static_cast<std::size_t>(index)];
    const TRect r = Rect(0, top + row * itemHeight, Width, top + (row + 1) * itemHeight);
    const bool selected = index == list.Position();
    Canvas.Brush.Style = TBrushStyle::bsSolid;
    Canvas.Brush.Color = selected ? FProposal.ClSelect : FProposal.GetClBackground();
    Canvas.FillRect(r);
    Canvas.Font.SetColor(selected ? FProposal.ClSelectedText : FProposal.GetFont().GetColor());
    Canvas.Brush.Style = TBrushStyle::bsClear;
    if (FProposal.OnPaintItem && FProposal.OnPaintItem(&FProposal, item, Canvas, r))
      continue;
    if (FProposal.GetOptions() & scoUsePrettyText) {
      TFormatChunkList chunks;
      ParseFormatLine(items.Get(item), chunks);
      WalkFormatChunks(chunks, surface, FProposal.Columns, FProposal.Margin, r.Top, r.Right, true);
    } else {
      Canvas.TextOut(FProposal.Margin, r.Top, items.Get(item));
    }
  }
}

bool TOndBaseCompletionProposalForm::DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) {
  if (TPopupWindow::DoMouseWheel(Shift, WheelDelta, MousePos)) return true;
  if (FProposal.GetDisplayType() != ctCode) return false;
  // A notch scrolls as many items as the system's wheel setting says, or a
  // window's worth with Ctrl held.
  // A high-resolution wheel sends a notch in small steps; they add up.
  const int step = (Shift & ssCtrl) ? std::max(1, FProposal.NbLinesInWindow) : WheelScrollLines();
  const int notches = FWheel.Notches(WheelDelta);
  if (notches != 0) FProposal.ScrollListBy(-notches * step);
  return true;
}

}  // namespace ond
