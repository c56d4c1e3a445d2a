// The completion pop-up's window: it paints the proposal's items (a hint's
// formatted lines in a 3D frame, or the code list with its selection and
// title) into an off-screen picture and copies that to the screen. It holds
// no data of its own; everything it shows is the proposal's.
#pragma once

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

 protected:
  void Paint() override;
  bool DoMouseWheel(TShiftState Shift, int WheelDelta, TPoint MousePos) override;

 private:
  void PaintHint(TCanvas& Canvas, int Width, int Height) const;
  void PaintCodeList(TCanvas& Canvas, int Width, int Height) const;
  TOndBaseCompletionProposal& FProposal;
};

}  // namespace ond
