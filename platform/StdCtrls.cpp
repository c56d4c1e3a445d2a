#include "platform/StdCtrls.h"

#include <QLabel>
#include <QScrollBar>
#include <algorithm>

#include "platform/QtBridge.h"

namespace ond {

// ---- label ------------------------------------------------------------------

TLabel::TLabel(TComponent* owner) : TControl(owner, new QLabel) {
  auto* l = static_cast<QLabel*>(Widget());
  l->setTextFormat(Qt::PlainText);
  l->setAutoFillBackground(true);
  // Out of view, the label keeps its colour, font and size for when it
  // shows (or is measured).
  FLookDeferred = TDeferUntilPainted::Active();
  TControl::SetColor(clBtnFace);
  if (FLookDeferred)
    FSizeDue = true;
  else
    FontChanged();
}

void TLabel::GiveLook() {
  if (!FLookDeferred) return;
  // The font is due as the label was made.
  TControl::FontChanged();
  TControl::GiveLook();
  if (FSizeDue) AdjustSize();
}

void TLabel::SetCaption(const std::string& caption) {
  // The same text again changes nothing: a panel's header is set to its
  // caption more than once while its file loads.
  if (caption == FCaption) return;
  FCaption = caption;
  static_cast<QLabel*>(Widget())->setText(AnsiToQString(caption));
  AdjustSize();
}

void TLabel::SetAutoSize(bool autoSize) {
  FAutoSize = autoSize;
  if (!autoSize) FSizeDue = false;
  AdjustSize();
}

void TLabel::SetTransparent(bool transparent) {
  FTransparent = transparent;
  Widget()->setAutoFillBackground(!transparent);
  Widget()->setAttribute(Qt::WA_TranslucentBackground, transparent);
}

void TLabel::SetColor(TColor color) {
  TControl::SetColor(color);
  Widget()->setAutoFillBackground(!FTransparent);
}

void TLabel::SetAlignment(TAlignment alignment) {
  auto* l = static_cast<QLabel*>(Widget());
  Qt::Alignment v = l->alignment() & Qt::AlignVertical_Mask;
  Qt::Alignment h = alignment == TAlignment::taCenter        ? Qt::AlignHCenter
                    : alignment == TAlignment::taRightJustify ? Qt::AlignRight
                                                              : Qt::AlignLeft;
  l->setAlignment(h | v);
}

void TLabel::SetLayout(TTextLayout layout) {
  auto* l = static_cast<QLabel*>(Widget());
  Qt::Alignment h = l->alignment() & Qt::AlignHorizontal_Mask;
  Qt::Alignment v = layout == TTextLayout::tlCenter ? Qt::AlignVCenter
                    : layout == TTextLayout::tlBottom ? Qt::AlignBottom
                                                      : Qt::AlignTop;
  l->setAlignment(h | v);
}

void TLabel::SetWordWrap(bool wrap) {
  static_cast<QLabel*>(Widget())->setWordWrap(wrap);
  AdjustSize();
}

int TLabel::HeightForWidth(int width) {
  // Measured in the label's own font, which may still be due.
  if (FLookDeferred) GiveLook();
  const int height = Widget()->heightForWidth(width);
  return height >= 0 ? height : Widget()->sizeHint().height();
}

void TLabel::FontChanged() {
  TControl::FontChanged();
  AdjustSize();
}

void TLabel::AdjustSize() {
  if (!FAutoSize) return;
  if (FLookDeferred) {
    // Measured in its own font: the look comes first, the size with it.
    FSizeDue = true;
    GiveLook();
    return;
  }
  FSizeDue = false;
  const QSize s = Widget()->sizeHint();
  SetBounds(Left(), Top(), s.width(), s.height());
}

// ---- scroll bar -------------------------------------------------------------

TScrollBar::TScrollBar(TComponent* owner, TScrollBarKind kind)
    : TWinControl(owner, new QScrollBar(kind == TScrollBarKind::sbVertical ? Qt::Vertical : Qt::Horizontal)),
      FKind(kind) {
  auto* bar = static_cast<QScrollBar*>(Widget());
  bar->setFocusPolicy(Qt::NoFocus);
  Apply();
  QObject::connect(bar, &QAbstractSlider::actionTriggered, [this, bar](int action) {
    TScrollCode code;
    if (!ScrollCodeFromSliderAction(action, code)) return;
    const int target = bar->sliderPosition();
    bar->setSliderPosition(FPosition);  // the scroll handler sees the old position
    Guarded([&] { UserScroll(code, target); });
  });
  QObject::connect(bar, &QAbstractSlider::valueChanged, [this](int value) {
    if (FApplying || value == FPosition) return;
    Guarded([&] { SetPosition(value); });
  });
}

void TScrollBar::SetKind(TScrollBarKind kind) {
  FKind = kind;
  static_cast<QScrollBar*>(Widget())->setOrientation(kind == TScrollBarKind::sbVertical ? Qt::Vertical
                                                                                        : Qt::Horizontal);
}

void TScrollBar::Apply() {
  auto* bar = static_cast<QScrollBar*>(Widget());
  FApplying = true;
  const int top = FPageSize > 0 ? std::max(FMin, FMax - FPageSize + 1) : FMax;
  bar->setRange(FMin, top);
  bar->setSingleStep(SmallChange);
  bar->setPageStep(FPageSize > 0 ? FPageSize : std::max(1, LargeChange));
  bar->setValue(FPosition);
  FApplying = false;
}

void TScrollBar::SetParams(int position, int min, int max) {
  if (max < min) max = min;
  const int top = FPageSize > 0 ? std::max(min, max - FPageSize + 1) : max;
  position = std::clamp(position, min, top);
  const bool changed = position != FPosition;
  FMin = min;
  FMax = max;
  FPosition = position;
  Apply();
  if (changed && OnChange) OnChange(this);
}

void TScrollBar::SetPosition(int position) { SetParams(position, FMin, FMax); }

void TScrollBar::SetPageSize(int pageSize) {
  FPageSize = std::max(0, pageSize);
  SetParams(FPosition, FMin, FMax);
}

void TScrollBar::SetSmallChange(int v) {
  SmallChange = v;
  Apply();
}
void TScrollBar::SetLargeChange(int v) {
  LargeChange = v;
  Apply();
}

void TScrollBar::UserScroll(TScrollCode code, int trackPos) {
  int pos = FPosition;
  switch (code) {
    case TScrollCode::scLineUp: pos -= SmallChange; break;
    case TScrollCode::scLineDown: pos += SmallChange; break;
    case TScrollCode::scPageUp: pos -= LargeChange; break;
    case TScrollCode::scPageDown: pos += LargeChange; break;
    case TScrollCode::scTop: pos = FMin; break;
    case TScrollCode::scBottom: pos = FMax; break;
    case TScrollCode::scPosition:
    case TScrollCode::scTrack: pos = trackPos; break;
    default: break;
  }
  const int top = FPageSize > 0 ? std::max(FMin, FMax - FPageSize + 1) : FMax;
  pos = std::clamp(pos, FMin, top);
  if (OnScroll) OnScroll(this, code, pos);
  SetPosition(pos);
}

}  // namespace ond
