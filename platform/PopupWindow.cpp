#include "platform/PopupWindow.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "platform/QtBridge.h"

namespace ond {

// Listens for the pointer leaving the watched widget and for the program
// going to the background.
struct TPopupWindow::Watch : QObject {
  explicit Watch(TPopupWindow& popup) : Popup(popup) {
    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
      if (state != Qt::ApplicationActive) Away();
    });
  }
  ~Watch() override {
    if (Watched) Watched->removeEventFilter(this);
  }
  bool eventFilter(QObject* target, QEvent* event) override {
    if (target == Watched && event->type() == QEvent::Leave) Away();
    return false;
  }
  void Away() {
    if (Popup.GetVisible() && Popup.OnAway) Guarded([this] { Popup.OnAway(&Popup); });
  }
  TPopupWindow& Popup;
  QPointer<QWidget> Watched;
};

TPopupWindow::TPopupWindow(TComponent* owner) : TCustomControl(owner), FWatch(std::make_unique<Watch>(*this)) {
  QWidget* w = Widget();
  // A tool tip's window: on top, without frame, never activated.
  w->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
  w->setAttribute(Qt::WA_ShowWithoutActivating);
  w->setFocusPolicy(Qt::NoFocus);
  Hide();
}

TPopupWindow::~TPopupWindow() { FWatch.reset(); }

void TPopupWindow::WatchAway(TControl* control) {
  QWidget* widget = control ? control->Widget() : nullptr;
  if (FWatch->Watched == widget) return;
  if (FWatch->Watched) FWatch->Watched->removeEventFilter(FWatch.get());
  FWatch->Watched = widget;
  if (widget) widget->installEventFilter(FWatch.get());
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

int TPopupWindow::WheelScrollLines() { return std::max(1, QApplication::wheelScrollLines()); }

}  // namespace ond
