#include "platform/PopupWindow.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "platform/QtBridge.h"

namespace ond {

TPopupWindow::TPopupWindow(TComponent* owner) : TCustomControl(owner) {
  QWidget* w = Widget();
  // A tool tip's window: on top, without frame, never activated.
  w->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
  w->setAttribute(Qt::WA_ShowWithoutActivating);
  w->setFocusPolicy(Qt::NoFocus);
  Hide();
}

void TPopupWindow::ShowAt(const TRect& r) {
  SetBounds(r.Left, r.Top, r.Width(), r.Height());
  Show();
  Widget()->raise();
  Invalidate();
}

TRect TPopupWindow::ScreenRectAt(TPoint p) {
  QScreen* screen = QGuiApplication::screenAt(ToQPoint(p));
  if (!screen) {
    // Off every screen: the one whose area lies nearest.
    long best = -1;
    for (QScreen* s : QGuiApplication::screens()) {
      const QRect g = s->geometry();
      const long dx = p.X < g.left() ? g.left() - p.X : (p.X > g.right() ? p.X - g.right() : 0);
      const long dy = p.Y < g.top() ? g.top() - p.Y : (p.Y > g.bottom() ? p.Y - g.bottom() : 0);
      if (best < 0 || dx * dx + dy * dy < best) best = dx * dx + dy * dy, screen = s;
    }
  }
  return screen ? FromQRect(screen->geometry()) : TRect{};
}

}  // namespace ond
