#include "editor/OndCompletionProposalForm.h"

#include <algorithm>

#include "editor/OndCompletionProposal.h"
#include "platform/ImgList.h"

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
  TBitmap picture(std::max(1, Width()), std::max(1, Height()));
  PaintContent(*picture.Canvas(), Width(), Height());
  Canvas()->Draw(0, 0, picture);
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
  // A notch scrolls three items, or a window's worth with Ctrl held.
  const int step = (Shift & ssCtrl) ? FProposal.NbLinesInWindow : 3;
  FProposal.ScrollListBy(WheelDelta > 0 ? -step : step);
  Invalidate();
  return true;
}

}  // namespace ond
