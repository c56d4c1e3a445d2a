// The application object, forms (top-level windows) and the scroll box.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Controls.h"

class QApplication;

namespace ond {

// Message box buttons and answers, by the original's numbers.
constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_OKCANCEL = 0x01;
constexpr unsigned MB_YESNOCANCEL = 0x03;
constexpr unsigned MB_YESNO = 0x04;
constexpr unsigned MB_ICONERROR = 0x10;
constexpr unsigned MB_ICONQUESTION = 0x20;
constexpr unsigned MB_ICONWARNING = 0x30;
constexpr unsigned MB_ICONINFORMATION = 0x40;
constexpr unsigned MB_ICONASTERISK = MB_ICONINFORMATION;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

class TForm;
class TAction;

using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;
using TMessageBoxHook = std::function<int(const std::string& Text, const std::string& Caption, unsigned Flags)>;

class TApplication : public TComponent {
 public:
  // Creates the Qt application when the process has none yet.
  TApplication(int& argc, char** argv);
  ~TApplication() override;

  std::string Title = "Ondrel";
  // The program file (full path, UTF-8) and its folder with a trailing "/".
  std::string ExeName() const;
  std::string ProgramFolder() const;
  // The program's version, four numbers joined by dots.
  static std::string Version();
  // Command-line arguments after the program name (UTF-8).
  int ParamCount() const { return static_cast<int>(FParams.size()); }
  std::string ParamStr(int i) const;  // 0 is the program file
  void SetParams(std::vector<std::string> params) { FParams = std::move(params); }

  // Every exception escaping an event handler arrives here: at OnException
  // when assigned, else in a message box.
  TExceptionEvent OnException;
  void HandleException(TObject* sender, const std::exception& e);
  void ShowException(const std::exception& e);

  // A modal message box; MessageBoxHook, when set, answers instead (tests).
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags);
  TMessageBoxHook MessageBoxHook;
  // The system sound of a message-box kind (MB_ICONASTERISK and so on);
  // BeepHook, when set, hears it instead (tests).
  void MessageBeep(unsigned type);
  std::function<void(unsigned Type)> BeepHook;

  // Hides the hint (tool tip) that shows now.
  void CancelHint();
  void ProcessMessages();
  // The same, but keys and mouse clicks stay queued until later: long work
  // shows its progress this way without the user changing what it works on.
  void ProcessMessagesExceptInput();
  // For work on this thread that the user may stop: the windows repaint,
  // keys and clicks are dropped (nothing the user does runs in the middle of
  // the work), and the result says whether Esc was pressed meanwhile.
  bool ProcessMessagesWatchingEscape();
  // Runs the call on this (the window) thread once its loop gets to it;
  // callable from any thread. What the call throws is handled like an
  // event handler's exception.
  void Queue(std::function<void()> call);
  // Runs the event loop until the main form closes.
  void Run();
  void Terminate();
  TForm* MainForm = nullptr;

  // Action update handlers run when the application goes idle.
  void RegisterAction(TAction* action);
  void UnregisterAction(TAction* action);
  void UpdateActions();
  // Runs the visible action of form whose shortcut this is (when enabled
  // after its update); true when form has such an action.
  bool ExecuteShortCut(const TForm* form, TShortCut shortCut);
  // Schedules UpdateActions on a short single-shot timer.
  void IdleUpdateSoon();

 private:
  struct Private;
  std::unique_ptr<Private> p;
  std::vector<std::string> FParams;
  std::vector<TAction*> FActions;
};

// The program-wide application object; created on first use when main did
// not create one (tests).
TApplication* Application();

enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };

// The buttons of a window's title bar.
enum TBorderIcon : unsigned { biSystemMenu = 0x01, biMinimize = 0x02, biMaximize = 0x04 };

using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* owner);
  ~TForm() override;

  std::string GetCaption() const;
  void SetCaption(const std::string& caption);
  TWindowState GetWindowState() const;
  void SetWindowState(TWindowState state);
  void SetMinimumSize(int width, int height);
  // The title bar's buttons, a set of TBorderIcon (all by default).
  void SetBorderIcons(unsigned icons);
  // Centres the window on its screen, fitting it into the screen's available
  // area where that is smaller than the window (see PlaceWindowOnScreen).
  void CenterOnScreen();
  // Shows the window; OnShow runs before it first appears.
  void ShowForm();
  void Close();
  // Asks OnCloseQuery; true when the window may close.
  bool CloseQuery();
  int ShowModal();
  void SetModalResult(int result);

  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  TCloseQueryEvent OnCloseQuery;
  TCloseEvent OnClose;
  TNotifyEvent OnDestroy;

  // The window's first look at every wheel turn inside it; true when
  // handled (the control under the pointer then gets nothing).
  virtual bool FormMouseWheel(TShiftState shift, int wheelDelta, TPoint mousePos);

  // With KeyPreview the window's KeyDown sees every key pressed inside it
  // before the control with the focus does.
  bool KeyPreview = false;
  // The window's actions own their shortcuts: the key runs the action (when
  // its update handler leaves it enabled) and reaches no control.
  bool RouteKey(std::uint16_t key, TShiftState shift) override;

  bool WidgetEvent(QObject* target, QEvent* event) override;

 private:
  bool FShown = false;
  bool FClosing = false;
  // Placed by CenterOnScreen, at these bounds.
  bool FCentred = false;
  TRect FCentredBounds;
  int FModalResult = 0;
};

// Where a window goes on a screen: Size is the window's own area (width and
// height), Frame the thickness of the frame the window manager puts around
// it on each side, Area the screen's available area. Where the area has room
// the window keeps its size and is centred (frame included); in a direction
// where it has not, the window shrinks so that its frame fills the area
// there. The result is the window's own area.
TRect PlaceWindowOnScreen(TPoint size, const TRect& frame, const TRect& area);

// A plain area whose children can be scrolled by a number of pixels.
class TScrollBox : public TWinControl {
 public:
  explicit TScrollBox(TComponent* owner);
  void SetBorderStyle(TBorderStyle style);
  // Moves every child control by dx, dy and repaints.
  void ScrollBy(int dx, int dy);
  void SetColor(TColor color) override;
};

}  // namespace ond
