#include "workspace/StatusBarEx.h"

#include <algorithm>

#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/ImgList.h"
#include "platform/Menus.h"

namespace ond {

// ---- panels -----------------------------------------------------------------

void TStatusPanelEx::Changed(bool relayout) { FBar->PanelChanged(this, relayout); }

void TStatusPanelEx::SetText(const std::string& text) {
  // Another text is no longer the one told: it is not made again.
  if (FCompose && text != FTold) FCompose = nullptr;
  if (text == FText) return;
  FText = text;
  FBar->PanelTextChanged(this);
}
void TStatusPanelEx::Tell(std::function<std::string()> compose) {
  FCompose = std::move(compose);
  FTold = FCompose ? FCompose() : std::string();
  SetText(FTold);
}

bool TStatusPanelEx::Retell() {
  if (!FCompose) return false;
  FTold = FCompose();
  // Once cleared, an old text must not come back with a later switch.
  if (FTold.empty()) FCompose = nullptr;
  SetText(FTold);
  return true;
}

void TStatusPanelEx::SetHint(const std::string& hint) {
  if (hint == FHint) return;
  FHint = hint;
  Changed(false);
}
void TStatusPanelEx::SetImageIndex(int index) {
  if (index == FImageIndex) return;
  FImageIndex = index;
  Changed(false);
}
void TStatusPanelEx::SetPopupMenu(TPopupMenu* menu) {
  if (menu == FPopupMenu) return;
  FPopupMenu = menu;
  if (menu) menu->FreeNotification(FBar);
  Changed(false);
}
void TStatusPanelEx::SetWidth(int width) {
  if (width == FWidth) return;
  FWidth = width;
  Changed(true);
}
void TStatusPanelEx::SetColor(TColor color) {
  if (color == FColor) return;
  FColor = color;
  Changed(true);
}
void TStatusPanelEx::SetAlignment(TAlignment alignment) {
  if (alignment == FAlignment) return;
  FAlignment = alignment;
  Changed(false);
}
void TStatusPanelEx::SetBevel(TStatusPanelBevel bevel) {
  if (bevel == FBevel) return;
  FBevel = bevel;
  Changed(false);
}
void TStatusPanelEx::SetBiDiMode(TBiDiMode mode) {
  if (mode == FBiDiMode && !FParentBiDiMode) return;
  FBiDiMode = mode;
  FParentBiDiMode = false;
  Changed(false);
}
void TStatusPanelEx::SetParentBiDiMode(bool parent) {
  if (parent == FParentBiDiMode) return;
  FParentBiDiMode = parent;
  Changed(false);
}
void TStatusPanelEx::SetStyle(TStatusPanelStyle style) {
  if (style == FStyle) return;
  FStyle = style;
  Changed(false);
}

int TStatusPanelEx::Index() const {
  for (int i = 0; i < FBar->FPanels.Count(); ++i)
    if (FBar->FPanels.Items(i) == this) return i;
  return -1;
}

TStatusPanelEx* TStatusPanelsEx::Add() {
  FItems.push_back(std::make_unique<TStatusPanelEx>(FBar));
  FBar->Invalidate();
  return FItems.back().get();
}

void TStatusPanelsEx::Clear() {
  FItems.clear();
  FBar->Invalidate();
}

// ---- bar --------------------------------------------------------------------

TStatusBarEx::TStatusBarEx(TComponent* owner) : TCustomControl(owner), FPanels(this) {
  SetTabStop(false);
  SetColor(clBtnFace);
  SetAlign(TAlign::alBottom);
  SetBounds(0, 0, 200, 19);
}

TStatusBarEx::~TStatusBarEx() { BeginDestroy(); }

void TStatusBarEx::SetImages(TImageList* images) {
  if (images == FImages) return;
  if (FImages) FImages->RemoveFreeNotification(this);
  FImages = images;
  if (images) images->FreeNotification(this);
  Invalidate();
}

void TStatusBarEx::Notification(TComponent* component, TOperation operation) {
  TCustomControl::Notification(component, operation);
  if (operation != TOperation::opRemove) return;
  if (component == FImages) FImages = nullptr;
  for (int i = 0; i < FPanels.Count(); ++i)
    if (FPanels.Items(i)->FPopupMenu == component) FPanels.Items(i)->FPopupMenu = nullptr;
}

void TStatusBarEx::SetSimplePanel(bool simple) {
  if (simple == FSimplePanel) return;
  FSimplePanel = simple;
  Invalidate();
}

void TStatusBarEx::SetSimpleText(const std::string& text) {
  if (text == FSimpleText) return;
  FSimpleText = text;
  if (FSimplePanel) Invalidate();
}

void TStatusBarEx::ClearTexts() {
  for (int i = 0; i < FPanels.Count(); ++i) FPanels.Items(i)->SetText(std::string());
}

void TStatusBarEx::PanelChanged(TStatusPanelEx* panel, bool relayout) {
  if (relayout || FSimplePanel) {
    Invalidate();
    return;
  }
  const int i = panel->Index();
  if (i >= 0) InvalidateRect(PanelRect(i));
}

void TStatusBarEx::PanelTextChanged(TStatusPanelEx* panel) {
  if (FSimplePanel) {
    Invalidate();
    return;
  }
  // Within the panel's bevel: the bevel stays as it is.
  const int i = panel->Index();
  if (i >= 0) InvalidateRect(PanelFace(i));
}

TRect TStatusBarEx::PanelFace(int index) const {
  TRect r = PanelRect(index);
  if (!IsRectEmpty(r) && FPanels.Items(index)->FBevel != TStatusPanelBevel::pbNone)
    r = Rect(r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1);
  return r;
}

bool TStatusBarEx::RightToLeft(const TStatusPanelEx* panel) const {
  const TBiDiMode mode = panel->FParentBiDiMode ? BiDiMode : panel->FBiDiMode;
  return mode == TBiDiMode::bdRightToLeft;
}

TRect TStatusBarEx::PanelRect(int index) const {
  const int count = std::min(FPanels.Count(), MaxPanels);
  if (index < 0 || index >= count) return TRect{};
  int left = 0;
  for (int i = 0; i < index; ++i) left += FPanels.Items(i)->FWidth;
  int right = index == count - 1 ? Width() : left + FPanels.Items(index)->FWidth;
  right = std::min(right, Width());
  TRect r = Rect(left, 2, std::max(left, right - 2), Height());
  if (BiDiMode == TBiDiMode::bdRightToLeft) r = Rect(Width() - r.Right, r.Top, Width() - r.Left, r.Bottom);
  return r;
}

int TStatusBarEx::PanelAt(int x, int y) const {
  if (FSimplePanel) return -1;
  const int count = std::min(FPanels.Count(), MaxPanels);
  for (int i = 0; i < count; ++i) {
    TRect r = PanelRect(i);
    r.Right += 2;  // the gap belongs to the panel before it
    r.Top = 0;
    if (PtInRect(r, TPoint{x, y})) return i;
  }
  return -1;
}

void TStatusBarEx::Paint() {
  TCanvas& c = *Canvas();
  // Usually one panel's text changed: what lies outside the clip is left
  // alone instead of being drawn only to be clipped away.
  const TRect clip = IntersectRect(c.GetClipRect(), ClientRect());
  c.Font.Assign(Font);
  // A panel's new text paints only the face within its bevel, which its own
  // colour fills whole: the bar's colour under it would only be painted over.
  const int count = std::min(FPanels.Count(), MaxPanels);
  int face = -1;
  for (int i = 0; !FSimplePanel && i < count && face < 0; ++i) {
    const TRect f = PanelFace(i);
    if (!IsRectEmpty(f) && IntersectRect(f, clip) == clip) face = i;
  }
  if (face < 0) {
    c.Brush.Style = TBrushStyle::bsSolid;
    c.Brush.Color = FColor;
    c.FillRect(clip);
  }
  if (FSimplePanel) {
    c.Brush.Style = TBrushStyle::bsClear;
    c.TextOut(4, (Height() - c.TextHeight(FSimpleText)) / 2 + 1, FSimpleText);
    return;
  }
  for (int i = 0; i < count; ++i) {
    const TStatusPanelEx& p = *FPanels.Items(i);
    TRect r = PanelRect(i);
    if (IsRectEmpty(r) || IntersectRect(r, clip).IsEmpty()) continue;
    if (i == face) {
      r = PanelFace(i);
    } else if (p.FBevel != TStatusPanelBevel::pbNone) {
      const bool raised = p.FBevel == TStatusPanelBevel::pbRaised;
      TRect frame = r;
      Frame3D(c, frame, raised ? clBtnHighlight : clBtnShadow, raised ? clBtnShadow : clBtnHighlight, 1);
      r = frame;
    }
    c.Brush.Style = TBrushStyle::bsSolid;
    c.Brush.Color = p.FColor;
    c.FillRect(r);
    const bool rtl = RightToLeft(&p);
    int x = rtl ? r.Right - 2 : r.Left + 2;
    if (FImages && p.FImageIndex >= 0 && p.FImageIndex < FImages->Count()) {
      const int y = r.Top + (RectHeight(r) - FImages->Height()) / 2;
      if (rtl) {
        x -= FImages->Width();
        FImages->Draw(&c, x, y, p.FImageIndex);
        x -= 2;
      } else {
        FImages->Draw(&c, x, y, p.FImageIndex);
        x += FImages->Width() + 2;
      }
    }
    if (p.FText.empty()) continue;
    TAlignment align = p.FAlignment;
    if (rtl && align == TAlignment::taLeftJustify) align = TAlignment::taRightJustify;
    else if (rtl && align == TAlignment::taRightJustify) align = TAlignment::taLeftJustify;
    const int tw = c.TextWidth(p.FText);
    const TRect textArea = rtl ? Rect(r.Left + 2, r.Top, x, r.Bottom) : Rect(x, r.Top, r.Right - 2, r.Bottom);
    int tx = textArea.Left;
    if (align == TAlignment::taCenter) tx = textArea.Left + (RectWidth(textArea) - tw) / 2;
    if (align == TAlignment::taRightJustify) tx = textArea.Right - tw;
    c.Brush.Style = TBrushStyle::bsClear;
    c.TextRect(r, tx, r.Top + (RectHeight(r) - c.TextHeight(p.FText)) / 2, p.FText);
  }
}

void TStatusBarEx::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == TMouseButton::mbLeft || button == TMouseButton::mbRight) FClickedPanel = PanelAt(x, y);
  TCustomControl::MouseDown(button, shift, x, y);
}

void TStatusBarEx::MouseMove(TShiftState shift, int x, int y) {
  const int panel = PanelAt(x, y);
  if (panel != FHintPanel) {
    // A new panel shows its own hint: the old one is cancelled.
    FHintPanel = panel;
    Application()->CancelHint();
    Hint = panel >= 0 ? FPanels.Items(panel)->FHint : std::string();
    SetShowHint(!Hint.empty());
  }
  TCustomControl::MouseMove(shift, x, y);
}

bool TStatusBarEx::DoContextPopup(TPoint clientPos) {
  const int panel = FClickedPanel >= 0 ? FClickedPanel : PanelAt(clientPos.X, clientPos.Y);
  TPopupMenu* menu = panel >= 0 && panel < FPanels.Count() ? FPanels.Items(panel)->FPopupMenu : nullptr;
  if (!menu) return TCustomControl::DoContextPopup(clientPos);
  const TPoint s = ClientToScreen(clientPos);
  menu->PopupComponent = this;
  menu->Popup(s.X, s.Y);
  return true;
}

}  // namespace ond
