// The completion pop-up's window: it paints the proposal's items (a hint's
// formatted lines in a 3D frame, or the code list with its selection and
// title) into an off-screen picture and copies that to the screen. It holds
// no data of its own; everything it shows is the proposal's.
#pragma once

#include "editor/OndEditGeometry.h"
#include "editor/OndProposalFormat.h"
#include "platform/PopupWindow.h"

namespace ond {

class TOndBaseCompletionProposal;
class TImageList;

// The formatting language's walk on a canvas: text in the canvas's font,
// images from an image list (none without one).
class TCanvasFormatSurface : public TFormatSurface {
 public:
  TCanvasFormatSurface(TCanvas& Canvas, const TImageList* Images) : FCanvas(Canvas), FImages(Images) {}
  int TextWidth(std::string_view Text) override { return FCanvas.TextWidth(Text); }
  TFontStyles GetStyle() const override { return FCanvas.Font.GetStyle(); }
  void SetStyle(TFontStyles Style) override { FCanvas.Font.SetStyle(Style); }
  TColor GetColor() const override { return FCanvas.Font.GetColor(); }
  void SetColor(TColor Color) override { FCanvas.Font.SetColor(Color); }
  int ImageCount() const override;
  int ImageWidth() const override;
  void DrawText(int X, int Y, std::string_view Text) override { FCanvas.TextOut(X, Y, Text); }
  void DrawImage(int X, int Y, int Index) override;

 private:
  TCanvas& FCanvas;
  const TImageList* FImages;
};

class TOndBaseCompletionProposalForm : public TPopupWindow {
 public:
  explicit TOndBaseCompletionProposalForm(TOndBaseCompletionProposal& Proposal);

  // Paints what the window shows onto Canvas, Width x Height pixels.
  void PaintContent(TCanvas& Canvas, int Width, int Height) const;
  // Shows the pop-up at screen bounds R inside a frame Frame pixels wide, as
  // the proposal sized it.
  void ShowFramed(const TRect& R, int Frame);
  // The code list's vertical scroll bar follows its first visible item; a
  // hint has none.
  void SyncScrollBar();
  // Where the border sizes the list from a client point: bit 0 the right
  // edge, bit 1 the bottom edge; 0 inside it or without a sizing border.
  int SizingEdgesAt(int X, int Y) const;

 protected:
  void Paint() override;
  bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override;
  void Scroll(TScrollBarKind Kind, TScrollCode Code, int Pos) override;
  // A code list keeps a whole number of items, at least one.
  void Resize() override;
  // Dragging the sizing border resizes the code list.
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  int FSizing = 0;  // the edges being dragged
  TPoint FSizeFrom;
  TSize FSizeStart;
  bool FSnapping = false;
  TOndWheel FWheel;
  void PaintHint(TCanvas& Canvas, int Width, int Height) const;
  void PaintCodeList(TCanvas& Canvas, int Width, int Height) const;
  TOndBaseCompletionProposal& FProposal;
};

}  // namespace ond
