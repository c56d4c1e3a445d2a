#include "platform/ExtCtrls.h"

#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "platform/QtBridge.h"

namespace ond {

// ---- panel ------------------------------------------------------------------

void Frame3D(TCanvas& canvas, TRect& rect, TColor topColor, TColor bottomColor, int width) {
  for (int i = 0; i < width; ++i) {
    rect.Right -= 1;
    rect.Bottom -= 1;
    canvas.Pen.Color = topColor;
    canvas.Pen.Style = TPenStyle::psSolid;
    canvas.Pen.Width = 1;
    canvas.MoveTo(rect.Left, rect.Bottom);
    canvas.LineTo(rect.Left, rect.Top);
    canvas.LineTo(rect.Right, rect.Top);
    canvas.Pen.Color = bottomColor;
    canvas.LineTo(rect.Right, rect.Bottom);
    canvas.LineTo(rect.Left - 1, rect.Bottom);
    rect.Left += 1;
    rect.Top += 1;
  }
}

TPanel::TPanel(TComponent* owner) : TCustomControl(owner) {
  SetTabStop(false);
  SetBounds(0, 0, 185, 41);
}

void TPanel::Paint() {
  TCanvas& c = *Canvas();
  TRect r = ClientRect();
  c.Brush.Color = FColor;
  c.Brush.Style = TBrushStyle::bsSolid;
  c.FillRect(r);
  for (TBevelCut bevel : {BevelOuter, BevelInner}) {
    if (bevel == TBevelCut::bvNone) continue;
    const bool raised = bevel == TBevelCut::bvRaised;
    Frame3D(c, r, raised ? clBtnHighlight : clBtnShadow, raised ? clBtnShadow : clBtnHighlight, 1);
  }
  if (!Caption.empty()) {
    c.Font.Assign(Font);
    c.Brush.Style = TBrushStyle::bsClear;
    const int w = c.TextWidth(Caption), h = c.TextHeight(Caption);
    int x = r.Left + 2;
    if (Alignment == TAlignment::taCenter) x = r.Left + (RectWidth(r) - w) / 2;
    if (Alignment == TAlignment::taRightJustify) x = r.Right - w - 2;
    c.TextOut(x, r.Top + (RectHeight(r) - h) / 2, Caption);
    c.Brush.Style = TBrushStyle::bsSolid;
  }
}

// ---- splitter ---------------------------------------------------------------

TSplitter::TSplitter(TComponent* owner) : TCustomControl(owner) {
  SetTabStop(false);
  SetAlign(TAlign::alLeft);
  SetBounds(0, 0, 3, 100);
  SetCursor(crHSplit);
}

TControl* TSplitter::FindControl() const {
  TWinControl* parent = GetParent();
  if (!parent) return nullptr;
  TPoint p{Left(), Top()};
  switch (GetAlign()) {
    case TAlign::alLeft: p.X -= 1; break;
    case TAlign::alRight: p.X += Width(); break;
    case TAlign::alTop: p.Y -= 1; break;
    case TAlign::alBottom: p.Y += Height(); break;
    default: return nullptr;
  }
  for (int i = 0; i < parent->ControlCount(); ++i) {
    TControl* c = parent->GetControl(i);
    if (c == this || !c->GetVisible() || !c->GetEnabled()) continue;
    TRect r = c->BoundsRect();
    if (RectWidth(r) == 0) {
      if (GetAlign() == TAlign::alLeft || GetAlign() == TAlign::alRight) r.Left -= 1; else r.Right += 1;
    }
    if (RectHeight(r) == 0) {
      if (GetAlign() == TAlign::alTop || GetAlign() == TAlign::alBottom) r.Top -= 1; else r.Bottom += 1;
    }
    if (PtInRect(r, p)) return c;
  }
  return nullptr;
}

int TSplitter::MaxSize(TControl* control) const {
  TWinControl* parent = GetParent();
  const bool horizontal = GetAlign() == TAlign::alLeft || GetAlign() == TAlign::alRight;
  int max = (horizontal ? parent->ClientWidth() : parent->ClientHeight()) - MinSize;
  for (int i = 0; i < parent->ControlCount(); ++i) {
    TControl* c = parent->GetControl(i);
    if (!c->GetVisible()) continue;
    if (horizontal && (c->GetAlign() == TAlign::alLeft || c->GetAlign() == TAlign::alRight)) max -= c->Width();
    if (!horizontal && (c->GetAlign() == TAlign::alTop || c->GetAlign() == TAlign::alBottom)) max -= c->Height();
  }
  return max + (horizontal ? control->Width() : control->Height());
}

bool TSplitter::ResizeControl(int newSize) {
  TControl* c = FControl ? FControl : FindControl();
  if (!c) return false;
  newSize = std::clamp(newSize, MinSize, std::max(MinSize, MaxSize(c)));
  bool accept = true;
  if (OnCanResize) OnCanResize(this, newSize, accept);
  if (!accept) return false;
  const bool horizontal = GetAlign() == TAlign::alLeft || GetAlign() == TAlign::alRight;
  if ((horizontal ? c->Width() : c->Height()) == newSize) return false;
  if (horizontal)
    c->SetWidth(newSize);
  else
    c->SetHeight(newSize);
  if (GetAlign() == TAlign::alLeft || GetAlign() == TAlign::alTop) {
    // The splitter follows a left or top neighbour.
    if (GetParent()) GetParent()->Realign();
  }
  if (OnMoved) OnMoved(this);
  return true;
}

void TSplitter::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseDown(button, shift, x, y);
  if (button != TMouseButton::mbLeft) return;
  FControl = FindControl();
  if (!FControl) return;
  FSizing = true;
  FDownPos = ClientToScreen(TPoint{x, y});
  const bool horizontal = GetAlign() == TAlign::alLeft || GetAlign() == TAlign::alRight;
  FOldSize = horizontal ? FControl->Width() : FControl->Height();
}

void TSplitter::MouseMove(TShiftState shift, int x, int y) {
  TCustomControl::MouseMove(shift, x, y);
  if (!FSizing || !FControl) return;
  const TPoint s = ClientToScreen(TPoint{x, y});
  int delta = 0;
  switch (GetAlign()) {
    case TAlign::alLeft: delta = s.X - FDownPos.X; break;
    case TAlign::alRight: delta = FDownPos.X - s.X; break;
    case TAlign::alTop: delta = s.Y - FDownPos.Y; break;
    case TAlign::alBottom: delta = FDownPos.Y - s.Y; break;
    default: break;
  }
  ResizeControl(FOldSize + delta);
}

void TSplitter::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TCustomControl::MouseUp(button, shift, x, y);
  FSizing = false;
  FControl = nullptr;
}

void TSplitter::Paint() {
  Canvas()->Brush.Color = FColor;
  Canvas()->Brush.Style = TBrushStyle::bsSolid;
  Canvas()->FillRect(ClientRect());
}

// ---- timer ------------------------------------------------------------------

struct TTimer::Private {
  QTimer timer;
};

TTimer::TTimer(TComponent* owner) : TComponent(owner), p(std::make_unique<Private>()) {
  QObject::connect(&p->timer, &QTimer::timeout, [this] { Guarded([this] { Tick(); }); });
  UpdateTimer();
}

TTimer::~TTimer() {
  BeginDestroy();
  p->timer.stop();
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == FEnabled) return;
  FEnabled = enabled;
  UpdateTimer();
}

void TTimer::SetInterval(int interval) {
  if (interval == FInterval) return;
  FInterval = interval;
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  p->timer.stop();
  if (FEnabled && FInterval > 0) {
    p->timer.setInterval(FInterval);
    p->timer.start();
  }
}

void TTimer::Tick() {
  if (OnTimer) OnTimer(this);
}

}  // namespace ond
