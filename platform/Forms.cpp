#include "platform/Forms.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <QWidget>
#include <algorithm>

#include "platform/ActnList.h"
#include "platform/QtBridge.h"
#include "platform/core/FileSystem.h"
#include "platform/core/GuardedThread.h"
#include "platform/core/SysUtils.h"

namespace ond {

namespace {
TApplication* gApplication = nullptr;

// Notices user input anywhere so that the action update handlers run soon
// after it, as they do when the original's message loop goes idle.
class IdleWatcher : public QObject {
 public:
  explicit IdleWatcher(TApplication* app) : FApp(app) {}
  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::Wheel:
      case QEvent::FocusIn:
      case QEvent::WindowActivate:
      case QEvent::Show:
        FApp->IdleUpdateSoon();
        break;
      default:
        break;
    }
    return false;
  }

 private:
  TApplication* FApp;
};

// Takes every key and click while work runs on the window's thread, and
// notes Esc (also when it would be a shortcut).
class EscapeWatcher : public QObject {
 public:
  bool Escape = false;
  bool eventFilter(QObject*, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
      case QEvent::ShortcutOverride:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) Escape = true;
        return true;
      case QEvent::KeyRelease:
      case QEvent::Shortcut:
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::ContextMenu:
      case QEvent::TouchBegin:
      case QEvent::TouchUpdate:
      case QEvent::TouchEnd:
        return true;
      default:
        return false;
    }
  }
};
}  // namespace

struct TApplication::Private {
  std::unique_ptr<QApplication> ownApp;
  std::unique_ptr<IdleWatcher> watcher;
  QTimer idleTimer;
  bool handling = false;
};

TApplication::TApplication(int& argc, char** argv) : TComponent(nullptr), p(std::make_unique<Private>()) {
  if (!QCoreApplication::instance()) p->ownApp = std::make_unique<QApplication>(argc, argv);
  UsePaletteColors();
  for (int i = 1; i < argc; ++i) FParams.emplace_back(argv[i]);
  p->watcher = std::make_unique<IdleWatcher>(this);
  qApp->installEventFilter(p->watcher.get());
  p->idleTimer.setSingleShot(true);
  p->idleTimer.setInterval(30);
  QObject::connect(&p->idleTimer, &QTimer::timeout, [this] { UpdateActions(); });
  if (!gApplication) {
    gApplication = this;
    // A worker thread's failure reaches the exception hook on this thread.
    SetThreadExceptionSink([](std::exception_ptr e) {
      QMetaObject::invokeMethod(
          qApp, [e] { Guarded([&] { std::rethrow_exception(e); }); }, Qt::QueuedConnection);
    });
  }
}

TApplication::~TApplication() {
  BeginDestroy();
  if (qApp) qApp->removeEventFilter(p->watcher.get());
  if (gApplication == this) {
    gApplication = nullptr;
    SetThreadExceptionSink(nullptr);
  }
  // Owned components (forms among them) go before the Qt application.
  while (ComponentCount() > 0) delete GetComponent(ComponentCount() - 1);
  p->idleTimer.stop();
  p->watcher.reset();
}

TApplication* Application() {
  if (!gApplication) {
    static int argc = 0;
    static TApplication* implicitApp = new TApplication(argc, nullptr);
    (void)implicitApp;
  }
  return gApplication;
}

std::string TApplication::ExeName() const { return ProgramFileName(); }
#ifndef ONDREL_VERSION
#define ONDREL_VERSION "0.0.0.0"
#endif
std::string TApplication::Version() { return ONDREL_VERSION; }

std::string TApplication::ProgramFolder() const { return ond::ProgramFolder(); }
std::string TApplication::ParamStr(int i) const {
  if (i == 0) return ExeName();
  if (i < 1 || i > ParamCount()) return std::string();
  return FParams[static_cast<std::size_t>(i - 1)];
}

void TApplication::HandleException(TObject* sender, const std::exception& e) {
  if (p->handling) return;  // an error while reporting an error is not reported again
  p->handling = true;
  try {
    if (OnException)
      OnException(sender, e);
    else
      ShowException(e);
  } catch (...) {
  }
  p->handling = false;
}

void TApplication::ShowException(const std::exception& e) {
  std::string msg = e.what();
  if (!msg.empty() && msg.back() != '.') msg += '.';
  MessageBox(msg, Title, MB_OK | MB_ICONERROR);
}

int TApplication::MessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  if (MessageBoxHook) return MessageBoxHook(text, caption, flags);
  QMessageBox box;
  box.setWindowTitle(AnsiToQString(caption));
  box.setText(AnsiToQString(text));
  switch (flags & 0xF0) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  switch (flags & 0x0F) {
    case MB_OKCANCEL: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
    case MB_YESNOCANCEL: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel); break;
    case MB_YESNO: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    default: box.setStandardButtons(QMessageBox::Ok); break;
  }
  switch (box.exec()) {
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Ok: return IDOK;
    default: return (flags & 0x0F) == MB_OK ? IDOK : ((flags & 0x0F) == MB_YESNO ? IDNO : IDCANCEL);
  }
}

void TApplication::MessageBeep(unsigned type) {
  if (BeepHook) {
    BeepHook(type);
    return;
  }
  QApplication::beep();
}

void TApplication::CancelHint() { QToolTip::hideText(); }

void TApplication::ProcessMessages() { QCoreApplication::processEvents(); }
void TApplication::ProcessMessagesExceptInput() {
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

bool TApplication::ProcessMessagesWatchingEscape() {
  EscapeWatcher watcher;
  qApp->installEventFilter(&watcher);
  QCoreApplication::processEvents();
  qApp->removeEventFilter(&watcher);
  return watcher.Escape;
}

void TApplication::Queue(std::function<void()> call) {
  QMetaObject::invokeMethod(
      qApp, [call = std::move(call)] { Guarded(call); }, Qt::QueuedConnection);
}

void TApplication::Run() {
  if (MainForm) MainForm->ShowForm();
  QApplication::exec();
}

void TApplication::Terminate() { QCoreApplication::quit(); }

void TApplication::RegisterAction(TAction* action) { FActions.push_back(action); }
void TApplication::UnregisterAction(TAction* action) {
  FActions.erase(std::remove(FActions.begin(), FActions.end(), action), FActions.end());
}

void TApplication::UpdateActions() {
  for (TAction* a : std::vector<TAction*>(FActions)) {
    if (std::find(FActions.begin(), FActions.end(), a) == FActions.end()) continue;  // freed by an earlier handler
    Guarded([a] { a->Update(); });
  }
}

bool TApplication::ExecuteShortCut(const TForm* form, TShortCut shortCut) {
  if (shortCut == 0) return false;
  for (TAction* a : std::vector<TAction*>(FActions)) {
    if (a->Form() != form || a->GetShortCut() != shortCut || !a->GetVisible()) continue;
    a->Execute();
    return true;
  }
  return false;
}

void TApplication::IdleUpdateSoon() {
  if (!FActions.empty() && !p->idleTimer.isActive()) p->idleTimer.start();
}

// ---- forms ------------------------------------------------------------------

TForm::TForm(TComponent* owner) : TWinControl(owner ? owner : Application(), new QWidget(nullptr, Qt::Window)) {
  SetVisible(false);
  Widget()->setAttribute(Qt::WA_DeleteOnClose, false);
  Widget()->setAutoFillBackground(true);
  SetColor(clBtnFace);
  SetCaption(Name.empty() ? "Form" : Name);
}

TForm::~TForm() {
  BeginDestroy();
  if (OnDestroy) Guarded([this] { OnDestroy(this); });
  if (Application()->MainForm == this) Application()->MainForm = nullptr;
}

std::string TForm::GetCaption() const { return QStringToAnsi(Widget()->windowTitle()); }
void TForm::SetCaption(const std::string& caption) { Widget()->setWindowTitle(AnsiToQString(caption)); }

TWindowState TForm::GetWindowState() const {
  const Qt::WindowStates s = Widget()->windowState();
  if (s & Qt::WindowMaximized) return TWindowState::wsMaximized;
  if (s & Qt::WindowMinimized) return TWindowState::wsMinimized;
  return TWindowState::wsNormal;
}

void TForm::SetWindowState(TWindowState state) {
  Qt::WindowStates s = Widget()->windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized);
  if (state == TWindowState::wsMaximized) s |= Qt::WindowMaximized;
  if (state == TWindowState::wsMinimized) s |= Qt::WindowMinimized;
  Widget()->setWindowState(s);
}

void TForm::SetMinimumSize(int width, int height) { Widget()->setMinimumSize(width, height); }

void TForm::SetBorderIcons(unsigned icons) {
  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  if (icons & biSystemMenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (icons & biMinimize) flags |= Qt::WindowMinimizeButtonHint;
  if (icons & biMaximize) flags |= Qt::WindowMaximizeButtonHint;
  const bool visible = Widget()->isVisible();
  Widget()->setWindowFlags(flags);
  // New flags hide a window; it stays as it was.
  if (visible) Widget()->show();
}

TRect PlaceWindowOnScreen(TPoint size, const TRect& frame, const TRect& area) {
  // One direction at a time: the window's extent, the frame before and after
  // it, and the area's start and extent.
  auto place = [](int extent, int before, int after, int start, int room, int& at, int& placed) {
    const int outer = extent + before + after;
    if (outer <= room) {
      at = start + (room - outer) / 2 + before;
      placed = extent;
    } else {
      at = start + before;
      placed = std::max(1, room - before - after);
    }
  };
  int left = 0, width = 0, top = 0, height = 0;
  place(size.X, frame.Left, frame.Right, area.Left, area.Width(), left, width);
  place(size.Y, frame.Top, frame.Bottom, area.Top, area.Height(), top, height);
  return TRect{left, top, left + width, top + height};
}

void TForm::CenterOnScreen() {
  FCentred = true;
  QWidget* w = Widget();
  QScreen* screen = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect avail = screen->availableGeometry();
  // The frame is known once the window manager has framed the window; until
  // then it counts as none.
  const QRect inner = w->geometry();
  const QRect outer = w->frameGeometry();
  const TRect frame{inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                    outer.bottom() - inner.bottom()};
  const TRect placed = PlaceWindowOnScreen(TPoint{Width(), Height()}, frame,
                                           TRect{avail.left(), avail.top(), avail.left() + avail.width(),
                                                 avail.top() + avail.height()});
  // A screen smaller than the window's least size lowers that size: the
  // window must fit, menus and status bar included.
  const QSize least = w->minimumSize();
  if (least.width() > placed.Width() || least.height() > placed.Height())
    w->setMinimumSize(std::min(least.width(), placed.Width()), std::min(least.height(), placed.Height()));
  // A window is moved by its frame's corner.
  SetBounds(placed.Left - frame.Left, placed.Top - frame.Top, placed.Width(), placed.Height());
  const QRect now = w->geometry();
  FCentredBounds = TRect{now.left(), now.top(), now.left() + now.width(), now.top() + now.height()};
}

void TForm::ShowForm() {
  bool first = false;
  if (!FShown) {
    FShown = true;
    first = true;
    if (OnShow) OnShow(this);
  }
  // Placed where CenterOnScreen put it, not moved or resized since.
  const QRect now = Widget()->geometry();
  const bool centred =
      FCentred && TRect{now.left(), now.top(), now.left() + now.width(), now.top() + now.height()} == FCentredBounds;
  SetVisible(true);
  // The frame is known once the window shows: a window placed on its screen
  // before that is placed again when its frame would leave the screen.
  if (first && centred && GetWindowState() == TWindowState::wsNormal) {
    QWidget* w = Widget();
    QScreen* screen = w->screen();
    if (screen && !screen->availableGeometry().contains(w->frameGeometry())) CenterOnScreen();
  }
  Widget()->raise();
  Widget()->activateWindow();
}

void TForm::Close() { Widget()->close(); }

bool TForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  return canClose;
}

int TForm::ShowModal() {
  FModalResult = 0;
  Widget()->setWindowModality(Qt::ApplicationModal);
  ShowForm();
  QEventLoop loop;
  while (FModalResult == 0 && Widget()->isVisible()) loop.processEvents(QEventLoop::WaitForMoreEvents);
  Hide();
  Widget()->setWindowModality(Qt::NonModal);
  return FModalResult == 0 ? IDCANCEL : FModalResult;
}

void TForm::SetModalResult(int result) { FModalResult = result; }

bool TForm::FormMouseWheel(TShiftState shift, int wheelDelta, TPoint mousePos) {
  bool handled = false;
  if (OnMouseWheel) OnMouseWheel(this, shift, wheelDelta, mousePos, handled);
  return handled;
}

bool TForm::RouteKey(std::uint16_t key, TShiftState shift) {
  if (Application()->ExecuteShortCut(this, ShortCut(key, shift))) return true;
  if (!KeyPreview) return false;
  std::uint16_t k = key;
  KeyDown(k, shift);
  return k == 0;
}

bool TForm::WidgetEvent(QObject* target, QEvent* event) {
  if (target == Widget() && event->type() == QEvent::Close) {
    auto* e = static_cast<QCloseEvent*>(event);
    bool allowed = false;
    Guarded([&] {
      if (!CloseQuery()) return;
      TCloseAction action = TCloseAction::caHide;
      if (OnClose) OnClose(this, action);
      allowed = action != TCloseAction::caNone;
    });
    if (allowed) {
      e->accept();
    } else {
      e->ignore();
    }
    return true;
  }
  if (target == Widget() && event->type() == QEvent::Hide) NoteVisible(false);
  if (target == Widget() && event->type() == QEvent::Show) NoteVisible(true);
  return TWinControl::WidgetEvent(target, event);
}

// ---- scroll box -------------------------------------------------------------

TScrollBox::TScrollBox(TComponent* owner) : TWinControl(owner, new QWidget) {
  Widget()->setAutoFillBackground(true);
  SetColor(clWindow);
}

void TScrollBox::SetBorderStyle(TBorderStyle) {}

void TScrollBox::ScrollBy(int dx, int dy) {
  if (dx == 0 && dy == 0) return;
  for (int i = 0; i < ControlCount(); ++i) {
    TControl* c = GetControl(i);
    c->SetBounds(c->Left() + dx, c->Top() + dy, c->Width(), c->Height());
  }
  Invalidate();
}

void TScrollBox::SetColor(TColor color) { TWinControl::SetColor(color); }

}  // namespace ond
