#include "platform/Controls.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <QWheelEvent>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "platform/Forms.h"
#include "platform/Menus.h"
#include "platform/QtBridge.h"
#include "platform/core/CodePage.h"
#include "platform/core/ScopeGuard.h"

namespace ond {

// ---- components -------------------------------------------------------------

TComponent::TComponent(TComponent* owner) : FOwner(owner) {
  if (FOwner) FOwner->FComponents.push_back(this);
}

TComponent::~TComponent() {
  FDestroying = true;
  // Those that asked hear of the end first, while this is still whole.
  while (!FFreeNotifies.empty()) {
    TComponent* other = FFreeNotifies.back();
    FFreeNotifies.pop_back();
    auto& back = other->FFreeNotifies;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
    other->Notification(this, TOperation::opRemove);
  }
  while (!FComponents.empty()) delete FComponents.back();
  if (FOwner) {
    auto& list = FOwner->FComponents;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    FOwner->Notification(this, TOperation::opRemove);
  }
}

void TComponent::FreeNotification(TComponent* other) {
  if (!other || other == this) return;
  if (std::find(FFreeNotifies.begin(), FFreeNotifies.end(), other) == FFreeNotifies.end()) {
    FFreeNotifies.push_back(other);
    other->FFreeNotifies.push_back(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent* other) {
  if (!other) return;
  FFreeNotifies.erase(std::remove(FFreeNotifies.begin(), FFreeNotifies.end(), other), FFreeNotifies.end());
  auto& back = other->FFreeNotifies;
  back.erase(std::remove(back.begin(), back.end(), this), back.end());
}

void TComponent::Notification(TComponent*, TOperation) {}

// ---- controls ---------------------------------------------------------------

namespace {
class ControlEventFilter : public QObject {
 public:
  explicit ControlEventFilter(TControl* control) : FControl(control) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    bool consumed = false;
    Guarded([&] { consumed = FControl->WidgetEvent(watched, event); });
    return consumed;
  }

 private:
  TControl* FControl;
};

TMouseButton ButtonFromQt(Qt::MouseButton b) {
  if (b == Qt::RightButton) return TMouseButton::mbRight;
  if (b == Qt::MiddleButton) return TMouseButton::mbMiddle;
  return TMouseButton::mbLeft;
}

Qt::CursorShape CursorToQt(TCursor c) {
  switch (c) {
    case crIBeam: return Qt::IBeamCursor;
    case crSizeWE: return Qt::SizeHorCursor;
    case crSizeNS: return Qt::SizeVerCursor;
    case crSizeNWSE: return Qt::SizeFDiagCursor;
    case crHSplit: return Qt::SplitHCursor;
    case crVSplit: return Qt::SplitVCursor;
    case crDrag: return Qt::DragMoveCursor;
    case crMultiDrag: return Qt::DragCopyCursor;
    case crHandPoint: return Qt::PointingHandCursor;
    case crHelp: return Qt::WhatsThisCursor;
    default: return Qt::ArrowCursor;
  }
}

// The virtual key of a key event; keys Qt names by a letter of another
// alphabet are known by their place on the keyboard.
std::uint16_t KeyOfEvent(const QKeyEvent* e) {
  const std::uint16_t key = VirtualKeyFromQt(e->key(), e->modifiers() & Qt::KeypadModifier);
  return key != 0 ? key : VirtualKeyFromScanCode(e->nativeScanCode());
}

const char* const kControlDragMime = "application/x-ondrel-control-drag";
TObject* gDragSource = nullptr;
}  // namespace

struct TControlPrivate {
  QPointer<QWidget> widget;
  std::unique_ptr<ControlEventFilter> filter;
  int lastWidth = -1;
  int lastHeight = -1;
};

TControl::TControl(TComponent* owner, QWidget* widget) : TComponent(owner), d(std::make_unique<TControlPrivate>()) {
  d->widget = widget;
  d->filter = std::make_unique<ControlEventFilter>(this);
  widget->installEventFilter(d->filter.get());
  d->lastWidth = widget->width();
  d->lastHeight = widget->height();
  Font.OnChange = [this](TFont*) { FontChanged(); };
}

TControl::~TControl() {
  BeginDestroy();
  if (FParent) {
    auto& list = FParent->FControls;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  if (QWidget* w = d->widget) {
    w->removeEventFilter(d->filter.get());
    delete w;
  }
  if (FPopupMenu) FPopupMenu->RemoveFreeNotification(this);
  // Only aligned children move when one goes; a hand-placed one leaves
  // them where they are.
  if (FParent && !FParent->Destroying() && FAlign != TAlign::alNone) FParent->Realign();
}

QWidget* TControl::Widget() const { return d->widget; }
QWidget* TControl::ClientWidget() const { return d->widget; }

void TControl::WatchWidget(QWidget* widget) { widget->installEventFilter(d->filter.get()); }

void TControl::SetParent(TWinControl* parent) {
  if (parent == FParent) return;
  TWinControl* old = FParent;
  if (old) {
    auto& list = old->FControls;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  FParent = parent;
  // The child inherits the parent's palette and font: they must be there.
  if (parent) parent->GiveLook();
  const QRect g = Widget()->geometry();
  Widget()->setParent(parent ? parent->Widget() : nullptr);
  Widget()->setGeometry(g);
  FOutOfView = parent && parent->ChildOutOfView(this);
  if (parent) {
    parent->FControls.push_back(this);
    // A child of a window not on the screen shows when that window shows
    // (unless it was hidden): shown now, it would be polished at once, for
    // a panel out of view perhaps never seen.
    const bool visible = FVisible && !FOutOfView;
    if (!visible || Widget()->isHidden() || parent->Widget()->isVisible()) Widget()->setVisible(visible);
    parent->Realign();
  }
  if (old) old->Realign();
}

int TControl::Left() const { return Widget()->x(); }
int TControl::Top() const { return Widget()->y(); }
int TControl::Width() const { return Widget()->width(); }
int TControl::Height() const { return Widget()->height(); }

void TControl::SetBounds(int left, int top, int width, int height) {
  width = std::max(0, width);
  height = std::max(0, height);
  if (QRect(left, top, width, height) == Widget()->geometry() && width == d->lastWidth && height == d->lastHeight)
    return;
  if (Widget()->isWindow())
    Widget()->resize(width, height), Widget()->move(left, top);
  else
    Widget()->setGeometry(left, top, width, height);
  SizeChanged();
  if (FParent && FAlign != TAlign::alNone && !FParent->FAligning) FParent->Realign();
  if (FParent) FParent->UpdateChildView(this);
}

void TControl::SizeChanged() {
  const int w = Width(), h = Height();
  if (w == d->lastWidth && h == d->lastHeight) return;
  d->lastWidth = w;
  d->lastHeight = h;
  if (auto* custom = dynamic_cast<TCustomControl*>(this)) custom->LayoutScrollBars();
  if (auto* win = dynamic_cast<TWinControl*>(this)) {
    win->Realign();
    if (win->FHideOutOfView)
      for (TControl* child : win->FControls) win->UpdateChildView(child);
  }
  Resize();
}

void TControl::SetAlign(TAlign align) {
  if (align == FAlign) return;
  FAlign = align;
  if (FParent) FParent->Realign();
}

void TControl::SetVisible(bool visible) {
  const bool show = visible && !FOutOfView;
  if (visible == FVisible && Widget()->isHidden() == !show) return;
  FVisible = visible;
  if (FParent || Widget()->isWindow()) Widget()->setVisible(show);
  if (FParent) FParent->Realign();
}

bool TControl::Showing() const { return Widget()->isVisible(); }
bool TControl::GetEnabled() const { return Widget()->isEnabled(); }
void TControl::SetEnabled(bool enabled) { Widget()->setEnabled(enabled); }

namespace {
// Gives the widget its own palette with two roles in one colour. A palette
// the widget already holds in just these colours is left alone: setting it
// again would resolve it anew through the whole subtree for nothing.
// Returns whether it changed.
bool SetPaletteColors(QWidget* w, QPalette::ColorRole a, QPalette::ColorRole b, const QColor& color) {
  const QPalette old = w->palette();
  QPalette pal = old;
  pal.setColor(a, color);
  pal.setColor(b, color);
  if (w->testAttribute(Qt::WA_SetPalette) && pal.isCopyOf(old)) return false;
  w->setPalette(pal);
  return true;
}
}  // namespace

void TControl::SetColor(TColor color) {
  FColor = color;
  // Never painted yet: nothing to paint again either.
  if (FLookDeferred) {
    FColorDue = true;
    return;
  }
  if (SetPaletteColors(Widget(), QPalette::Window, QPalette::Base, ToQColor(color))) Invalidate();
}

void TControl::FontChanged() {
  if (FLookDeferred) {
    FFontDue = true;
    return;
  }
  const QFont font = MakeQFont(Font);
  if (!Widget()->testAttribute(Qt::WA_SetFont) || Widget()->font() != font) Widget()->setFont(font);
  SetPaletteColors(Widget(), QPalette::WindowText, QPalette::Text, ToQColor(Font.GetColor()));
}

void TControl::GiveLook() {
  if (!FLookDeferred) return;
  FLookDeferred = false;
  if (FColorDue) SetPaletteColors(Widget(), QPalette::Window, QPalette::Base, ToQColor(FColor));
  // The font through the base class only: what a control does more on a new
  // font it did when the font changed.
  if (FFontDue) TControl::FontChanged();
  FColorDue = FFontDue = false;
}

void TControl::SetShowHint(bool show) {
  Widget()->setToolTip(show ? AnsiToQString(Hint) : QString());
}

void TControl::SetPopupMenu(TPopupMenu* menu) {
  if (menu == FPopupMenu) return;
  if (FPopupMenu) FPopupMenu->RemoveFreeNotification(this);
  FPopupMenu = menu;
  if (menu) menu->FreeNotification(this);
}

void TControl::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && component == FPopupMenu) FPopupMenu = nullptr;
}

void TControl::SetCursor(TCursor cursor) {
  FCursor = cursor;
  QWidget* w = ClientWidget();
  if (cursor == crDefault)
    w->unsetCursor();
  else
    w->setCursor(CursorToQt(cursor));
}

void TControl::ShowCursorShape(TCursor cursor) {
  QWidget* w = ClientWidget();
  const Qt::CursorShape shape = CursorToQt(cursor);
  if (cursor == crDefault)
    w->unsetCursor();
  else if (!w->testAttribute(Qt::WA_SetCursor) || w->cursor().shape() != shape)
    w->setCursor(shape);
}

void TControl::Invalidate() { ClientWidget()->update(); }
void TControl::InvalidateRect(const TRect& r) { ClientWidget()->update(ToQRect(r).translated(ToQPoint(ClientOrigin()))); }
void TControl::Update() {
  if (ClientWidget()->isVisible()) ClientWidget()->repaint();
}
void TControl::Repaint() { Update(); }
void TControl::BringToFront() { Widget()->raise(); }
void TControl::SendToBack() { Widget()->lower(); }
TPoint TControl::ClientToScreen(TPoint p) const {
  return FromQPoint(ClientWidget()->mapToGlobal(ToQPoint(p) + ToQPoint(ClientOrigin())));
}
TPoint TControl::ScreenToClient(TPoint p) const {
  return FromQPoint(ClientWidget()->mapFromGlobal(ToQPoint(p)) - ToQPoint(ClientOrigin()));
}
TPoint TControl::CursorPos() { return FromQPoint(QCursor::pos()); }
TShiftState TControl::KeyboardState() { return ShiftFromQt(QGuiApplication::queryKeyboardModifiers()); }
int TControl::DragThreshold() { return std::max(1, QApplication::startDragDistance()); }
void TControl::ShowHintText(TPoint screenPos, const std::string& text, TColor color) {
  QPalette palette = QToolTip::palette();
  palette.setColor(QPalette::ToolTipBase, ToQColor(color));
  QToolTip::setPalette(palette);
  QToolTip::showText(ToQPoint(screenPos), AnsiToQString(text));
}
void TControl::HideHintText() { QToolTip::hideText(); }

void TControl::Resize() {
  if (OnResize) OnResize(this);
}
void TControl::Click() {
  if (OnClick) OnClick(this);
}
void TControl::DblClick() {
  if (OnDblClick) OnDblClick(this);
}
void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, shift, x, y);
}
void TControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}
void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (OnMouseUp) OnMouseUp(this, button, shift, x, y);
}
bool TControl::DoMouseWheel(TShiftState shift, int wheelDelta, TPoint mousePos) {
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(this, shift, wheelDelta, mousePos, handled);
  return handled;
}
bool TControl::DoContextPopup(TPoint clientPos) {
  bool handled = false;
  if (OnContextPopup) OnContextPopup(this, clientPos, handled);
  if (handled) return true;
  if (FPopupMenu) {
    const TPoint s = ClientToScreen(clientPos);
    FPopupMenu->PopupComponent = this;
    FPopupMenu->Popup(s.X, s.Y);
    return true;
  }
  return false;
}

bool TControl::WidgetEvent(QObject* target, QEvent* event) {
  const bool onClient = target == ClientWidget();
  switch (event->type()) {
    case QEvent::Resize:
      if (target == Widget()) SizeChanged();
      return false;
    case QEvent::Show:
      // A control that paints through its widget shows with its look.
      if (target == Widget()) GiveLook();
      return false;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
      if (!onClient) return false;
      auto* e = static_cast<QMouseEvent*>(event);
      TShiftState shift = ShiftFromQt(e->modifiers(), e->buttons());
      if (event->type() == QEvent::MouseButtonDblClick) shift |= ssDouble;
      const QPoint p = e->position().toPoint() - ToQPoint(ClientOrigin());
      if (e->button() == Qt::LeftButton) FClicked = true;
      MouseDown(ButtonFromQt(e->button()), shift, p.x(), p.y());
      if (event->type() == QEvent::MouseButtonDblClick && e->button() == Qt::LeftButton) DblClick();
      return false;
    }
    case QEvent::MouseMove: {
      if (!onClient) return false;
      auto* e = static_cast<QMouseEvent*>(event);
      const QPoint p = e->position().toPoint() - ToQPoint(ClientOrigin());
      MouseMove(ShiftFromQt(e->modifiers(), e->buttons()), p.x(), p.y());
      return false;
    }
    case QEvent::MouseButtonRelease: {
      if (!onClient) return false;
      auto* e = static_cast<QMouseEvent*>(event);
      const QPoint p = e->position().toPoint() - ToQPoint(ClientOrigin());
      const bool clicked =
          FClicked && e->button() == Qt::LeftButton && ClientWidget()->rect().contains(p + ToQPoint(ClientOrigin()));
      if (e->button() == Qt::LeftButton) FClicked = false;
      MouseUp(ButtonFromQt(e->button()), ShiftFromQt(e->modifiers(), e->buttons()), p.x(), p.y());
      if (clicked) Click();
      return false;
    }
    case QEvent::Enter:
      if (target == Widget() && OnMouseEnter) OnMouseEnter(this);
      return false;
    case QEvent::Leave:
      if (target == Widget() && OnMouseLeave) OnMouseLeave(this);
      return false;
    case QEvent::Wheel: {
      if (!onClient && target != Widget()) return false;
      auto* e = static_cast<QWheelEvent*>(event);
      const TShiftState shift = ShiftFromQt(e->modifiers(), e->buttons());
      const int delta = e->angleDelta().y();
      const TPoint screen = FromQPoint(e->globalPosition().toPoint());
      if (delta == 0) return false;
      // The window sees every wheel first, as the original's forms do.
      TControl* top = this;
      while (top->GetParent()) top = top->GetParent();
      if (auto* form = dynamic_cast<TForm*>(top); form && form != this && form->FormMouseWheel(shift, delta, screen))
        return true;
      return DoMouseWheel(shift, delta, screen);
    }
    case QEvent::ContextMenu: {
      if (!onClient) return false;
      auto* e = static_cast<QContextMenuEvent*>(event);
      return DoContextPopup(FromQPoint(e->pos() - ToQPoint(ClientOrigin())));
    }
    default:
      return false;
  }
}

// ---- windowed controls ------------------------------------------------------

TWinControl::TWinControl(TComponent* owner, QWidget* widget) : TControl(owner, widget) {}

TWinControl::~TWinControl() {
  BeginDestroy();
  // Child controls go with their parent, newest first.
  while (!FControls.empty()) delete FControls.back();
}

void TWinControl::SetFocus() {
  // Whatever holds it out of view comes into view with the focus (and stays
  // while the focus is inside).
  for (TControl* c = this; c; c = c->FParent)
    if (c->FOutOfView) {
      c->FOutOfView = false;
      if (c->FVisible) c->Widget()->setVisible(true);
    }
  // The control's own widget: one with an inner client widget hands the
  // focus on to it by itself.
  QWidget* w = Widget();
  if (w->window()->isVisible()) w->activateWindow();
  w->setFocus(Qt::OtherFocusReason);
}

bool TWinControl::Focused() const { return Widget()->hasFocus() || (ClientWidget() != Widget() && ClientWidget()->hasFocus()); }
bool TWinControl::CanFocus() const {
  if (!Widget()->isEnabled()) return false;
  if (Widget()->isVisible()) return true;
  // Hidden only for being out of view: it would come into view.
  for (const TControl* c = this; c; c = c->FParent) {
    if (c->FOutOfView) return c->FVisible && c->FParent && c->FParent->Widget()->isVisible();
    if (c->Widget()->isHidden()) return false;
  }
  return false;
}

void TWinControl::SetHideChildrenOutOfView(bool hide) {
  if (hide == FHideOutOfView) return;
  FHideOutOfView = hide;
  for (TControl* child : FControls) UpdateChildView(child);
}

bool TWinControl::ChildOutOfView(const TControl* child) const {
  if (!FHideOutOfView) return false;
  const QRect r = child->Widget()->geometry();
  if (r.bottom() >= 0 && r.top() < ClientHeight() && r.right() >= 0 && r.left() < ClientWidth()) return false;
  // The keyboard focus never goes out with its control.
  const QWidget* focus = child->Widget()->window()->focusWidget();
  return !focus || (focus != child->Widget() && !child->Widget()->isAncestorOf(focus));
}

void TWinControl::UpdateChildView(TControl* child) {
  const bool out = ChildOutOfView(child);
  if (out == child->FOutOfView) return;
  child->FOutOfView = out;
  if (child->FVisible) child->Widget()->setVisible(!out);
}
void TWinControl::SetTabOrderAfter(TWinControl* previous) {
  if (previous) QWidget::setTabOrder(previous->Widget(), Widget());
}
void TWinControl::SetTabStop(bool tabStop) { Widget()->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus); }

void TWinControl::EnableAlign() {
  if (FAlignLevel > 0 && --FAlignLevel == 0) Realign();
}

void TWinControl::Realign() {
  if (FAlignLevel > 0 || FAligning || Destroying()) return;
  FAligning = true;
  TRect r = ClientRect();
  const TScopeExit restore([&] { FAligning = false; });
  AlignControls(r);
}

void TWinControl::AlignControls(TRect& rect) {
  // Children placed by hand (a scroll box full of panels) need no passes.
  const bool anyAligned = std::any_of(FControls.begin(), FControls.end(),
                                      [](const TControl* c) { return c->FAlign != TAlign::alNone && c->FVisible; });
  if (!anyAligned) return;
  for (TAlign align : {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight, TAlign::alClient}) {
    for (TControl* c : std::vector<TControl*>(FControls)) {
      if (c->FAlign != align || !c->FVisible) continue;
      const int w = c->Width(), h = c->Height();
      switch (align) {
        case TAlign::alTop:
          c->SetBounds(rect.Left, rect.Top, RectWidth(rect), h);
          rect.Top += c->Height();
          break;
        case TAlign::alBottom:
          c->SetBounds(rect.Left, rect.Bottom - h, RectWidth(rect), h);
          rect.Bottom -= c->Height();
          break;
        case TAlign::alLeft:
          c->SetBounds(rect.Left, rect.Top, w, RectHeight(rect));
          rect.Left += c->Width();
          break;
        case TAlign::alRight:
          c->SetBounds(rect.Right - w, rect.Top, w, RectHeight(rect));
          rect.Right -= c->Width();
          break;
        case TAlign::alClient:
          c->SetBounds(rect.Left, rect.Top, std::max(0, RectWidth(rect)), std::max(0, RectHeight(rect)));
          break;
        default:
          break;
      }
    }
  }
}

bool TWinControl::TabMovesFocus(const QKeyEvent* e) const {
  if (e->key() != Qt::Key_Tab && e->key() != Qt::Key_Backtab) return false;
  if (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
  return !(DialogCode() & dcWantTab);
}

void TWinControl::DragAcceptFiles(bool accept) { Widget()->setAcceptDrops(accept); }

bool TWinControl::RouteKey(std::uint16_t, TShiftState) { return false; }

void TWinControl::KeyDown(std::uint16_t& key, TShiftState shift) {
  if (OnKeyDown) OnKeyDown(this, key, shift);
}
void TWinControl::KeyPress(char& key) {
  if (OnKeyPress) OnKeyPress(this, key);
}
void TWinControl::KeyUp(std::uint16_t& key, TShiftState shift) {
  if (OnKeyUp) OnKeyUp(this, key, shift);
}
void TWinControl::DoEnter() {
  if (OnEnter) OnEnter(this);
}
void TWinControl::DoExit() {
  if (OnExit) OnExit(this);
}
void TWinControl::DropFiles(const std::vector<std::string>& files, TPoint at) {
  if (OnDropFiles) OnDropFiles(this, files, at);
}

bool TWinControl::WidgetEvent(QObject* target, QEvent* event) {
  const bool own = target == Widget() || target == ClientWidget();
  switch (event->type()) {
    case QEvent::KeyPress: {
      if (!own) return false;
      auto* e = static_cast<QKeyEvent*>(event);
      const std::uint16_t vk = KeyOfEvent(e);
      // The window's shortcuts win over every control inside it.
      TWinControl* top = this;
      while (top->GetParent()) top = top->GetParent();
      if (vk != 0 && top->RouteKey(vk, ShiftFromQt(e->modifiers()))) return true;
      if (TabMovesFocus(e)) return false;
      std::uint16_t key = vk;
      const TShiftState shift = ShiftFromQt(e->modifiers());
      bool consumed = false;
      if (key != 0) {
        KeyDown(key, shift);
        consumed = key == 0;
      }
      QString text = e->text();
      // Ctrl with a letter key types its control character, whatever the
      // layout's letter.
      if ((shift & (ssCtrl | ssAlt)) == ssCtrl && vk >= 'A' && vk <= 'Z' && text.size() == 1 &&
          text[0].unicode() >= 0x20)
        text = QString(QChar(vk - 'A' + 1));
      for (QChar qc : text) {
        const int a = WideToAnsi(qc.unicode());
        if (a < 0) continue;
        char ch = static_cast<char>(a);
        KeyPress(ch);
        if (ch == 0) consumed = true;
      }
      return consumed;
    }
    case QEvent::KeyRelease: {
      if (!own) return false;
      auto* e = static_cast<QKeyEvent*>(event);
      std::uint16_t key = KeyOfEvent(e);
      if (key == 0) return false;
      KeyUp(key, ShiftFromQt(e->modifiers()));
      return key == 0;
    }
    case QEvent::FocusIn:
      if (own) DoEnter();
      return false;
    case QEvent::FocusOut:
      if (own) DoExit();
      return false;
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* e = static_cast<QDragMoveEvent*>(event);
      if (target == Widget() && Widget()->acceptDrops() && e->mimeData()->hasUrls()) {
        e->acceptProposedAction();
        return true;
      }
      return TControl::WidgetEvent(target, event);
    }
    case QEvent::Drop: {
      auto* e = static_cast<QDropEvent*>(event);
      if (target == Widget() && Widget()->acceptDrops() && e->mimeData()->hasUrls()) {
        std::vector<std::string> files;
        for (const QUrl& url : e->mimeData()->urls())
          if (url.isLocalFile()) files.push_back(QStringToPath(url.toLocalFile()));
        e->acceptProposedAction();
        DropFiles(files, FromQPoint(e->position().toPoint()));
        return true;
      }
      return TControl::WidgetEvent(target, event);
    }
    default:
      return TControl::WidgetEvent(target, event);
  }
}

// ---- custom-painted controls -----------------------------------------------

class TCustomWidget : public QWidget {
 public:
  explicit TCustomWidget(TCustomControl* control) : FControl(control) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_InputMethodEnabled);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
  }
  TCustomControl* FControl = nullptr;

 protected:
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override {
    if (FControl) {
      switch (query) {
        case Qt::ImCursorRectangle:
          return QRect(FControl->FCompositionPoint.X + FControl->FFrameWidth,
                       FControl->FCompositionPoint.Y + FControl->FFrameWidth, 1,
                       std::max(1, FControl->FCaretSize.cy));
        case Qt::ImFont:
          return MakeQFont(FControl->Font);
        case Qt::ImEnabled:
          return true;
        default:
          break;
      }
    }
    return QWidget::inputMethodQuery(query);
  }
};

struct TCustomControl::CaretTimer {
  QTimer timer;
};

struct TCustomControl::ScrollBars {
  // Children of the control's widget, made when first needed; index 0 the
  // horizontal, 1 the vertical bar. Until a bar is made, its range, its
  // place in the layout and its enabled state are kept here alone.
  QScrollBar* bar[2] = {nullptr, nullptr};
  TScrollInfo info[2];
  bool shown[2] = {false, false};
  bool enabled[2] = {true, true};
  bool pressed[2] = {false, false};
  bool flat = false;
};

namespace {
// The closest look Qt gives to the window system's flat scroll bars.
const char* const kFlatScrollBarSheet =
    "QScrollBar { background: palette(window); border: none; }"
    "QScrollBar::handle { background: palette(mid); border: none; min-width: 12px; min-height: 12px; }"
    "QScrollBar::add-line, QScrollBar::sub-line { background: palette(button); border: none; }"
    "QScrollBar::add-page, QScrollBar::sub-page { background: none; }";
}  // namespace

namespace {
// How many TDeferUntilPainted live now; the window layer runs on one
// thread.
int gDeferUntilPainted = 0;
}  // namespace

TDeferUntilPainted::TDeferUntilPainted() { ++gDeferUntilPainted; }
TDeferUntilPainted::~TDeferUntilPainted() { --gDeferUntilPainted; }
bool TDeferUntilPainted::Active() { return gDeferUntilPainted > 0; }

namespace {
int BarIndex(TScrollBarKind kind) { return kind == TScrollBarKind::sbVertical ? 1 : 0; }
TScrollBarKind BarKind(int i) { return i == 1 ? TScrollBarKind::sbVertical : TScrollBarKind::sbHorizontal; }
// The last position the thumb can take.
int TopPosition(const TScrollInfo& info) {
  return info.Page > 0 ? std::max(info.Min, info.Max - info.Page + 1) : info.Max;
}

// Watches the mouse on a scroll bar of a custom control: the wheel goes to
// the control, a released button ends the scrolling.
class ScrollBarFilter : public QObject {
 public:
  ScrollBarFilter(std::function<bool(QEvent*)> wheel, std::function<void(QEvent*)> mouse)
      : FWheel(std::move(wheel)), FMouse(std::move(mouse)) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Wheel) {
      Guarded([&] { FWheel(event); });
      return true;
    }
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)
      Guarded([&] { FMouse(event); });
    return false;
  }

 private:
  std::function<bool(QEvent*)> FWheel;
  std::function<void(QEvent*)> FMouse;
};
}  // namespace

namespace {
// The custom control that holds the mouse capture, told when another takes it.
TCustomControl* gCaptureHolder = nullptr;
}  // namespace

TCustomControl::TCustomControl(TComponent* owner)
    : TWinControl(owner, new TCustomWidget(this)), FDeferBarWidgets(gDeferUntilPainted > 0) {
  FLookDeferred = FDeferBarWidgets;
}

TCustomControl::~TCustomControl() {
  BeginDestroy();
  if (gCaptureHolder == this) gCaptureHolder = nullptr;
  if (auto* w = static_cast<TCustomWidget*>(Widget())) w->FControl = nullptr;
  if (FScrollBars) {
    for (QScrollBar* bar : FScrollBars->bar)
      if (bar) QObject::disconnect(bar, nullptr, nullptr, nullptr);
  }
  FCaretTimer.reset();
}

int TCustomControl::ScrollBarExtent() const {
  if (FScrollBarExtent < 0) FScrollBarExtent = Widget()->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  return FScrollBarExtent;
}

int TCustomControl::ClientWidth() const {
  const bool shown = FScrollBars && FScrollBars->shown[1];
  return std::max(0, Width() - 2 * FFrameWidth - (shown ? ScrollBarExtent() : 0));
}

int TCustomControl::ClientHeight() const {
  const bool shown = FScrollBars && FScrollBars->shown[0];
  return std::max(0, Height() - 2 * FFrameWidth - (shown ? ScrollBarExtent() : 0));
}

void TCustomControl::LayoutScrollBars() {
  if (!FScrollBars) return;
  const int ext = ScrollBarExtent();
  const int f = FFrameWidth, w = std::max(0, Width() - 2 * f), h0 = std::max(0, Height() - 2 * f);
  const bool h = FScrollBars->shown[0], v = FScrollBars->shown[1];
  if (QScrollBar* bar = FScrollBars->bar[0]) {
    if (h) bar->setGeometry(f, f + h0 - ext, std::max(0, w - (v ? ext : 0)), ext);
    bar->setVisible(h);
  }
  if (QScrollBar* bar = FScrollBars->bar[1]) {
    if (v) bar->setGeometry(f + w - ext, f, ext, std::max(0, h0 - (h ? ext : 0)));
    bar->setVisible(v);
  }
}

void TCustomControl::SetFrameWidth(int width) {
  width = std::max(0, width);
  if (width == FFrameWidth) return;
  FFrameWidth = width;
  LayoutScrollBars();
  Widget()->update();
  Resize();
}

QRect TCustomControl::CaretRect() const {
  return QRect(FCaretPos.X + FFrameWidth, FCaretPos.Y + FFrameWidth, FCaretSize.cx, FCaretSize.cy);
}

void TCustomControl::PaintFrame(QPainter& painter) {
  const int f = FFrameWidth;
  if (f <= 0) return;
  const QRect all = Widget()->rect();
  if (f == 1) {
    painter.setPen(ToQColor(clBtnShadow));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(all.adjusted(0, 0, -1, -1));
    return;
  }
  // A raised border to size by: face colour between a light and a dark edge.
  const QRegion ring = QRegion(all).subtracted(QRegion(all.adjusted(f, f, -f, -f)));
  painter.save();
  painter.setClipRegion(ring, Qt::IntersectClip);
  painter.fillRect(all, ToQColor(clBtnFace));
  painter.restore();
  painter.setBrush(Qt::NoBrush);
  painter.setPen(ToQColor(cl3DDkShadow));
  painter.drawRect(all.adjusted(0, 0, -1, -1));
  painter.setPen(ToQColor(clBtnHighlight));
  painter.drawLine(all.left() + 1, all.top() + 1, all.right() - 1, all.top() + 1);
  painter.drawLine(all.left() + 1, all.top() + 1, all.left() + 1, all.bottom() - 1);
  painter.setPen(ToQColor(clBtnShadow));
  painter.drawLine(all.left() + 1, all.bottom() - 1, all.right() - 1, all.bottom() - 1);
  painter.drawLine(all.right() - 1, all.top() + 1, all.right() - 1, all.bottom() - 1);
}

static void ApplyScrollInfo(QScrollBar* bar, const TScrollInfo& info) {
  const QSignalBlocker block(bar);
  // Each setting repaints the bar, changed or not: only changes are set.
  if (bar->minimum() != info.Min || bar->maximum() != TopPosition(info)) bar->setRange(info.Min, TopPosition(info));
  if (bar->singleStep() != 1) bar->setSingleStep(1);
  if (bar->pageStep() != std::max(1, info.Page)) bar->setPageStep(std::max(1, info.Page));
  // The thumb follows the mouse while it is dragged.
  if (!bar->isSliderDown() && bar->value() != info.Pos) bar->setValue(info.Pos);
}

void TCustomControl::SetScrollInfo(TScrollBarKind kind, const TScrollInfo& info) {
  if (!FScrollBars) FScrollBars = std::make_unique<ScrollBars>();
  const int i = BarIndex(kind);
  TScrollInfo& own = FScrollBars->info[i];
  own.Min = info.Min;
  own.Max = std::max(info.Min, info.Max);
  own.Page = std::clamp(info.Page, 0, own.Max - own.Min + 1);
  own.Pos = std::clamp(info.Pos, own.Min, TopPosition(own));
  if (QScrollBar* bar = FScrollBars->bar[i]) ApplyScrollInfo(bar, own);
}

TScrollInfo TCustomControl::GetScrollInfo(TScrollBarKind kind) const {
  if (!FScrollBars) return TScrollInfo{};
  const int i = BarIndex(kind);
  TScrollInfo info = FScrollBars->info[i];
  const QScrollBar* bar = FScrollBars->bar[i];
  info.TrackPos = bar && bar->isSliderDown() ? bar->sliderPosition() : info.Pos;
  return info;
}

void TCustomControl::SetScrollPos(TScrollBarKind kind, int pos) {
  TScrollInfo info = GetScrollInfo(kind);
  info.Pos = pos;
  SetScrollInfo(kind, info);
}

void TCustomControl::MakeScrollBarWidget(int i) {
  GiveLook();  // the bar inherits the control's palette
  auto* bar = new QScrollBar(i == 1 ? Qt::Vertical : Qt::Horizontal, Widget());
  bar->setFocusPolicy(Qt::NoFocus);
  if (FScrollBars->flat) bar->setStyleSheet(kFlatScrollBarSheet);
  bar->hide();
  bar->setEnabled(FScrollBars->enabled[i]);
  FScrollBars->bar[i] = bar;
  ApplyScrollInfo(bar, FScrollBars->info[i]);
  const TScrollBarKind k = BarKind(i);
  QObject::connect(bar, &QAbstractSlider::actionTriggered, [this, bar, i, k](int action) {
    const int target = bar->sliderPosition();
    TScrollCode code;
    if (!ScrollCodeFromSliderAction(action, code)) return;
    if (code == TScrollCode::scTrack) {
      if (bar->isSliderDown()) {
        Guarded([&] { Scroll(k, TScrollCode::scTrack, target); });
        return;
      }
      code = TScrollCode::scPosition;  // "scroll here"
    }
    // The program moves the thumb itself in answer.
    bar->setSliderPosition(FScrollBars->info[i].Pos);
    Guarded([&] { Scroll(k, code, code == TScrollCode::scPosition ? target : FScrollBars->info[i].Pos); });
  });
  QObject::connect(bar, &QAbstractSlider::sliderReleased, [this, bar, i, k] {
    const int target = bar->sliderPosition();
    Guarded([&] { Scroll(k, TScrollCode::scPosition, target); });
    // Where the program did not follow, the thumb goes back.
    ApplyScrollInfo(bar, FScrollBars->info[i]);
  });
  auto* filter = new ScrollBarFilter(
      [this](QEvent* e) { return TControl::WidgetEvent(Widget(), e); },
      [this, i, k](QEvent* e) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() != Qt::LeftButton) return;
        if (e->type() == QEvent::MouseButtonPress) {
          FScrollBars->pressed[i] = true;
        } else if (FScrollBars->pressed[i]) {
          FScrollBars->pressed[i] = false;
          // After the thumb's release (sliderReleased) has been told.
          QTimer::singleShot(0, Widget(), [this, k] { Guarded([&] { Scroll(k, TScrollCode::scEndScroll, GetScrollPos(k)); }); });
        }
      });
  filter->setParent(bar);
  bar->installEventFilter(filter);
}

void TCustomControl::EndDeferral() {
  GiveLook();
  if (!FDeferBarWidgets) return;
  FDeferBarWidgets = false;
  if (!FScrollBars) return;
  bool made = false;
  for (int i = 0; i < 2; ++i)
    if (FScrollBars->shown[i] && !FScrollBars->bar[i]) {
      MakeScrollBarWidget(i);
      made = true;
    }
  if (made) LayoutScrollBars();
}

void TCustomControl::ShowScrollBar(TScrollBarKind kind, bool show) {
  if (!FScrollBars) FScrollBars = std::make_unique<ScrollBars>();
  const int i = BarIndex(kind);
  if (show && !FScrollBars->bar[i] && !FDeferBarWidgets) MakeScrollBarWidget(i);
  if (FScrollBars->shown[i] == show) return;
  FScrollBars->shown[i] = show;
  LayoutScrollBars();
  // The client area changed size.
  Realign();
  Resize();
}

void TCustomControl::SetFlatScrollBars(bool flat) {
  if (!FScrollBars) FScrollBars = std::make_unique<ScrollBars>();
  if (FScrollBars->flat == flat) return;
  FScrollBars->flat = flat;
  for (QScrollBar* bar : FScrollBars->bar)
    if (bar) bar->setStyleSheet(flat ? kFlatScrollBarSheet : "");
}

bool TCustomControl::FlatScrollBars() const { return FScrollBars && FScrollBars->flat; }

bool TCustomControl::ScrollBarVisible(TScrollBarKind kind) const {
  return FScrollBars && FScrollBars->shown[BarIndex(kind)];
}

void TCustomControl::EnableScrollBar(TScrollBarKind kind, bool enable) {
  if (!FScrollBars) FScrollBars = std::make_unique<ScrollBars>();
  const int i = BarIndex(kind);
  FScrollBars->enabled[i] = enable;
  if (QScrollBar* bar = FScrollBars->bar[i]) bar->setEnabled(enable);
}

bool TCustomControl::ScrollBarEnabled(TScrollBarKind kind) const {
  if (!FScrollBars) return true;
  const int i = BarIndex(kind);
  const QScrollBar* bar = FScrollBars->bar[i];
  return bar ? bar->isEnabled() : FScrollBars->enabled[i];
}

void TCustomControl::Scroll(TScrollBarKind kind, TScrollCode code, int pos) {
  if (OnWindowScroll) OnWindowScroll(this, kind, code, pos);
}

void TCustomControl::Paint() {
  if (OnWindowPaint) {
    OnWindowPaint(this);
  } else {
    FCanvas.Brush.Color = FColor;
    FCanvas.Brush.Style = TBrushStyle::bsSolid;
    FCanvas.FillRect(ClientRect());
  }
}

void TCustomControl::PaintTo(TBitmap& bitmap, bool withFrame) {
  const int f = withFrame ? 0 : FFrameWidth;
  bitmap.SetSize(std::max(0, Width() - 2 * f), std::max(0, Height() - 2 * f));
  bitmap.Canvas();  // the bitmap keeps its painter; render through a separate one
  QImage& img = bitmap.Image();
  QImage copy(img.size(), QImage::Format_ARGB32_Premultiplied);
  copy.fill(Qt::white);
  Widget()->render(&copy, QPoint(), QRegion(QRect(f, f, copy.width(), copy.height())), QWidget::DrawChildren);
  QPainter* p = bitmap.Canvas()->Painter();
  if (p) {
    p->setCompositionMode(QPainter::CompositionMode_Source);
    p->drawImage(0, 0, copy);
    p->setCompositionMode(QPainter::CompositionMode_SourceOver);
  }
}

bool TCustomControl::GetMouseCapture() const { return QWidget::mouseGrabber() == Widget(); }
void TCustomControl::SetMouseCapture(bool capture) {
  if (capture && Widget()->isVisible()) {
    if (gCaptureHolder && gCaptureHolder != this) gCaptureHolder->LoseMouseCapture();
    Widget()->grabMouse();
    FCaptureHeld = true;
    gCaptureHolder = this;
  } else if (!capture) {
    if (GetMouseCapture()) Widget()->releaseMouse();
    FCaptureHeld = false;
    if (gCaptureHolder == this) gCaptureHolder = nullptr;
  }
}

void TCustomControl::LoseMouseCapture() {
  if (!FCaptureHeld) return;
  FCaptureHeld = false;
  if (gCaptureHolder == this) gCaptureHolder = nullptr;
  if (GetMouseCapture()) Widget()->releaseMouse();
  MouseCaptureLost();
}

void TCustomControl::MouseCaptureLost() {}

void TCustomControl::ScrollWindow(int dx, int dy, const TRect* r) {
  const QRect caret = CaretRect();
  const QPoint origin = ToQPoint(ClientOrigin());
  if (r) {
    Widget()->scroll(dx, dy, ToQRect(*r).translated(origin));
  } else if (ScrollBarVisible(TScrollBarKind::sbHorizontal) || ScrollBarVisible(TScrollBarKind::sbVertical) ||
             FFrameWidth > 0) {
    // The own scroll bars and the frame stay where they are; child controls move.
    Widget()->scroll(dx, dy, ToQRect(ClientRect()).translated(origin));
    for (int i = 0; i < ControlCount(); ++i) {
      TControl* c = GetControl(i);
      c->SetBounds(c->Left() + dx, c->Top() + dy, c->Width(), c->Height());
    }
  } else {
    Widget()->scroll(dx, dy);
    if (FHideOutOfView)
      for (TControl* child : FControls) UpdateChildView(child);
  }
  // The caret is drawn over the content; where it moved with it, paint again.
  if (CaretShowing()) {
    Widget()->update(caret.translated(dx, dy));
    Widget()->update(caret);
  }
}

QTimer& TCustomControl::BlinkTimer() {
  // Made with the first caret shown: most controls never show one.
  if (!FCaretTimer) {
    FCaretTimer = std::make_unique<CaretTimer>();
    FCaretTimer->timer.setInterval(QApplication::cursorFlashTime() > 0 ? QApplication::cursorFlashTime() / 2 : 500);
    QObject::connect(&FCaretTimer->timer, &QTimer::timeout, [this] { Guarded([this] { BlinkCaret(); }); });
  }
  return FCaretTimer->timer;
}

void TCustomControl::CreateCaret(int width, int height) {
  DestroyCaret();
  FCaretCreated = true;
  FCaretShown = 0;
  FCaretSize = TSize{std::max(1, width), std::max(1, height)};
}

void TCustomControl::DestroyCaret() {
  if (!FCaretCreated) return;
  Widget()->update(CaretRect());
  FCaretCreated = false;
  FCaretShown = 0;
  if (FCaretTimer) FCaretTimer->timer.stop();
}

void TCustomControl::SetCaretPos(int x, int y) {
  if (FCaretPos == TPoint{x, y}) return;
  if (CaretShowing()) Widget()->update(CaretRect());
  FCaretPos = TPoint{x, y};
  FCaretOn = true;
  if (CaretShowing()) {
    Widget()->update(CaretRect());
    BlinkTimer().start();
  }
}

void TCustomControl::ShowCaret() {
  if (!FCaretCreated) return;
  if (++FCaretShown == 1) {
    FCaretOn = true;
    BlinkTimer().start();
    Widget()->update(CaretRect());
  }
}

void TCustomControl::HideCaret() {
  if (!FCaretCreated || FCaretShown == 0) return;
  if (--FCaretShown == 0) {
    if (FCaretTimer) FCaretTimer->timer.stop();
    Widget()->update(CaretRect());
  }
}

void TCustomControl::BlinkCaret() {
  FCaretOn = !FCaretOn;
  Widget()->update(CaretRect());
}

void TCustomControl::PaintCaret(QPainter& p) {
  if (!CaretShowing() || !FCaretOn) return;
  p.resetTransform();
  p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  const QRect caret = CaretRect();
  p.setClipRect(QRect(FFrameWidth, FFrameWidth, Width() - 2 * FFrameWidth, Height() - 2 * FFrameWidth));
  p.fillRect(caret, Qt::white);
}

void TCustomControl::SetCompositionPoint(int x, int y) {
  FCompositionPoint = TPoint{x, y};
  if (Widget()->hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle);
}

void TCustomControl::ImeComposition(const std::string& text) {
  for (char c : text) {
    char ch = c;
    KeyPress(ch);
  }
}

void TCustomControl::BeginDrag() {
  if (FDragging) return;
  FDragging = true;
  SetMouseCapture(false);
  auto* drag = new QDrag(Widget());
  auto* mime = new QMimeData;
  mime->setData(kControlDragMime, QByteArray("1"));
  drag->setMimeData(mime);
  gDragSource = this;
  const Qt::DropAction result = drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
  gDragSource = nullptr;
  FDragging = false;
  DragEnd(result != Qt::IgnoreAction);
}

void TCustomControl::DragOver(TObject*, int, int, bool& accept) { accept = false; }
void TCustomControl::DragDrop(TObject*, int, int) {}
void TCustomControl::DragLeave(TObject*) {}
void TCustomControl::DragEnd(bool) {}

void TCustomControl::DoEnter() { TWinControl::DoEnter(); }
void TCustomControl::DoExit() { TWinControl::DoExit(); }

bool TCustomControl::WidgetEvent(QObject* target, QEvent* event) {
  if (target != Widget()) return TWinControl::WidgetEvent(target, event);
  if (event->type() == QEvent::StyleChange) FScrollBarExtent = -1;
  if (FCaptureHeld) {
    const QEvent::Type t = event->type();
    // Gone with the focus, the window or the control's showing, or grabbed
    // by someone else (a pop-up menu) meanwhile.
    if (t == QEvent::FocusOut || t == QEvent::WindowDeactivate || t == QEvent::Hide ||
        ((t == QEvent::MouseMove || t == QEvent::MouseButtonRelease) && !GetMouseCapture()))
      LoseMouseCapture();
  }
  switch (event->type()) {
    case QEvent::Paint: {
      auto* e = static_cast<QPaintEvent*>(event);
      // Painted means in view: what waited for it is needed now.
      EndDeferral();
      {
        // Qt clips the painter to the region to paint already.
        QPainter painter(Widget());
        PaintFrame(painter);
        const int f = FFrameWidth;
        painter.translate(f, f);
        if (ScrollBarVisible(TScrollBarKind::sbHorizontal) && ScrollBarVisible(TScrollBarKind::sbVertical))
          painter.fillRect(QRect(ClientWidth(), ClientHeight(), Width() - 2 * f - ClientWidth(),
                                 Height() - 2 * f - ClientHeight()),
                           ToQColor(clBtnFace));
        // The rectangles of the region one by one, so that two rows far
        // apart are painted without everything between them; a region cut
        // into many small pieces is painted whole.
        constexpr int kMostPieces = 8;
        const QRegion& region = e->region();
        std::vector<QRect> pieces(region.begin(), region.end());
        if (pieces.empty() || static_cast<int>(pieces.size()) > kMostPieces) pieces.assign(1, e->rect());
        for (const QRect& piece : pieces) {
          // The canvas clips the painter to the piece within the client area.
          const QRect clip = piece.translated(-f, -f);
          FCanvas.BeginPainting(&painter, ClientRect());
          FCanvas.SetClipRect(FromQRect(clip));
          const TScopeExit restore([&] { FCanvas.EndPainting(); });
          Paint();
        }
        // Over the content, with the painter that painted it.
        PaintCaret(painter);
      }
      return true;
    }
    case QEvent::InputMethod: {
      auto* e = static_cast<QInputMethodEvent*>(event);
      if (!e->commitString().isEmpty()) ImeComposition(QStringToAnsi(e->commitString()));
      e->accept();
      return true;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* e = static_cast<QDragMoveEvent*>(event);
      if (e->mimeData()->hasFormat(kControlDragMime) && gDragSource) {
        bool accept = false;
        const QPoint p = e->position().toPoint() - ToQPoint(ClientOrigin());
        DragOver(gDragSource, p.x(), p.y(), accept);
        if (accept) {
          e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
          e->accept();
        } else {
          e->ignore();
        }
        return true;
      }
      break;
    }
    case QEvent::DragLeave:
      if (gDragSource) {
        DragLeave(gDragSource);
        return true;
      }
      break;
    case QEvent::Drop: {
      auto* e = static_cast<QDropEvent*>(event);
      if (e->mimeData()->hasFormat(kControlDragMime) && gDragSource) {
        const QPoint p = e->position().toPoint() - ToQPoint(ClientOrigin());
        e->setDropAction((e->modifiers() & Qt::ControlModifier) ? Qt::CopyAction : Qt::MoveAction);
        e->accept();
        DragDrop(gDragSource, p.x(), p.y());
        return true;
      }
      break;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
      // A Tab the control does not want is left to Qt's focus chain.
      if (TabMovesFocus(static_cast<QKeyEvent*>(event))) return false;
      TWinControl::WidgetEvent(target, event);
      return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
      TWinControl::WidgetEvent(target, event);
      return true;
    default:
      break;
  }
  return TWinControl::WidgetEvent(target, event);
}

}  // namespace ond
