// Components with owners, and the controls of the window layer: parent,
// bounds, alignment, visibility, input events and the custom-painted control
// that the program's own controls derive from.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Graphics.h"
#include "platform/core/Types.h"

class QWidget;
class QPainter;
class QRect;
class QTimer;
class QEvent;
class QKeyEvent;
class QObject;

namespace ond {

class TObject {
 public:
  virtual ~TObject() = default;
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

enum class TOperation { opInsert, opRemove };

// A component is freed by its owner, after every component it owns (newest
// first). Components that asked for a free notification hear of its end.
class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  TComponent* GetOwner() const { return FOwner; }
  int ComponentCount() const { return static_cast<int>(FComponents.size()); }
  TComponent* GetComponent(int i) const { return FComponents.at(static_cast<std::size_t>(i)); }
  void FreeNotification(TComponent* other);
  void RemoveFreeNotification(TComponent* other);
  bool Destroying() const { return FDestroying; }

  std::string Name;
  std::intptr_t Tag = 0;

 protected:
  virtual void Notification(TComponent* component, TOperation operation);
  // Derived destructors call this first so that notifications see a component
  // that is going.
  void BeginDestroy() { FDestroying = true; }

 private:
  TComponent* FOwner;
  std::vector<TComponent*> FComponents;
  std::vector<TComponent*> FFreeNotifies;
  bool FDestroying = false;
};

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TBorderStyle { bsNone, bsSingle };

enum class TScrollBarKind { sbHorizontal, sbVertical };
enum class TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };

// The range, page and position of a window's own scroll bar as the window
// system keeps them: the position runs from Min to Max - Page + 1 (to Max
// without a page).
struct TScrollInfo {
  int Min = 0;
  int Max = 0;
  int Page = 0;
  int Pos = 0;
  // Where the thumb is while the user drags it (else Pos); read only.
  int TrackPos = 0;
};

class TWinControl;
class TPopupMenu;
struct TControlPrivate;

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = std::function<void(TObject* Sender, std::uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;
using TMouseWheelEvent =
    std::function<void(TObject* Sender, TShiftState Shift, int WheelDelta, TPoint MousePos, bool& Handled)>;
using TDropFilesEvent = std::function<void(TObject* Sender, const std::vector<std::string>& Files, TPoint At)>;
using TContextPopupEvent = std::function<void(TObject* Sender, TPoint MousePos, bool& Handled)>;
using TWindowScrollEvent = std::function<void(TObject* Sender, TScrollBarKind Kind, TScrollCode Code, int Pos)>;

class TControl : public TComponent {
 public:
  ~TControl() override;

  TWinControl* GetParent() const { return FParent; }
  virtual void SetParent(TWinControl* parent);

  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;
  void SetLeft(int v) { SetBounds(v, Top(), Width(), Height()); }
  void SetTop(int v) { SetBounds(Left(), v, Width(), Height()); }
  void SetWidth(int v) { SetBounds(Left(), Top(), v, Height()); }
  void SetHeight(int v) { SetBounds(Left(), Top(), Width(), v); }
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return Bounds(Left(), Top(), Width(), Height()); }
  // The client area leaves out a control's own scroll bars.
  virtual int ClientWidth() const { return Width(); }
  virtual int ClientHeight() const { return Height(); }
  TRect ClientRect() const { return Rect(0, 0, ClientWidth(), ClientHeight()); }

  TAlign GetAlign() const { return FAlign; }
  void SetAlign(TAlign align);
  // Size limits honoured by alignment and splitters (0 = none).
  int MinWidth = 0;
  int MinHeight = 0;

  bool GetVisible() const { return FVisible; }
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible here and in every parent, and the window shown.
  bool Showing() const;
  bool GetEnabled() const;
  void SetEnabled(bool enabled);
  TColor GetColor() const { return FColor; }
  virtual void SetColor(TColor color);
  TFont Font;
  std::string Hint;
  void SetShowHint(bool show);
  TPopupMenu* GetPopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TPopupMenu* menu);
  void SetCursor(TCursor cursor);
  TCursor GetCursor() const { return FCursor; }
  // Shows a cursor shape over the control for the moment, leaving Cursor as
  // it is (a control whose cursor depends on the place under the pointer).
  void ShowCursorShape(TCursor cursor);

  void Invalidate();
  void InvalidateRect(const TRect& r);
  // Paints what is pending at once.
  void Update();
  void Repaint();
  void BringToFront();
  void SendToBack();
  TPoint ClientToScreen(TPoint p) const;
  TPoint ScreenToClient(TPoint p) const;
  // The mouse pointer in screen coordinates.
  static TPoint CursorPos();
  // The modifier keys held now.
  static TShiftState KeyboardState();
  // How far the pointer moves with a button held before a drag begins.
  static int DragThreshold();
  // One small hint window shared by all controls: shows Text (code page
  // 1251) at a screen point on the given background, or hides it.
  static void ShowHintText(TPoint screenPos, const std::string& text, TColor color);
  static void HideHintText();

  TNotifyEvent OnResize;
  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TMouseWheelEvent OnMouseWheel;
  TContextPopupEvent OnContextPopup;
  // The pointer came over the control and left it again.
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

  // Window layer only.
  QWidget* Widget() const;
  // Window layer only: handles one event of the widget (or of its viewport);
  // true consumes it.
  virtual bool WidgetEvent(QObject* target, QEvent* event);

 protected:
  // Takes the widget; the control frees it.
  TControl(TComponent* owner, QWidget* widget);
  void Notification(TComponent* component, TOperation operation) override;
  // Listens to the events of another widget of this control too (a viewport).
  void WatchWidget(QWidget* widget);
  // The widget the mouse coordinates of this control are relative to.
  virtual QWidget* ClientWidget() const;
  // Where the client area's origin lies in the widget (inside a frame).
  virtual TPoint ClientOrigin() const { return TPoint{0, 0}; }
  virtual void Resize();
  virtual void Click();
  virtual void DblClick();
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  // True when the wheel was handled.
  virtual bool DoMouseWheel(TShiftState shift, int wheelDelta, TPoint mousePos);
  // Shows the pop-up menu; true when handled.
  virtual bool DoContextPopup(TPoint clientPos);
  virtual void FontChanged();
  // Called once the size changed, by the program or by the window system.
  void SizeChanged();
  // Records a visibility the window system changed (a window closed).
  void NoteVisible(bool visible) { FVisible = visible; }
  // While set, SetColor and FontChanged only note that the widget's palette
  // and font are due; GiveLook hands them over and ends this.
  bool FLookDeferred = false;
  virtual void GiveLook();

  TColor FColor = clBtnFace;

 private:
  friend class TWinControl;
  std::unique_ptr<TControlPrivate> d;
  TWinControl* FParent = nullptr;
  TAlign FAlign = TAlign::alNone;
  bool FVisible = true;
  TPopupMenu* FPopupMenu = nullptr;
  TCursor FCursor = crDefault;
  bool FClicked = false;
  bool FColorDue = false;
  bool FFontDue = false;
  // The parent hides this control's window while it is out of view.
  bool FOutOfView = false;
};

class TWinControl : public TControl {
 public:
  ~TWinControl() override;

  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* GetControl(int i) const { return FControls.at(static_cast<std::size_t>(i)); }
  // A control whose focus stands for another's may hand it on.
  virtual void SetFocus();
  bool Focused() const;
  bool CanFocus() const;
  void SetTabStop(bool tabStop);
  // Tab moves the focus from previous to this control (the order of a
  // dialog's fields follows their places, not the order they were made).
  void SetTabOrderAfter(TWinControl* previous);
  // Lays the aligned children out again.
  void Realign();
  // When set, a child wholly outside the client area keeps its window
  // hidden while the program still counts it visible, until it moves into
  // view or takes the keyboard focus; a child holding the focus stays shown.
  // A stack of many panels then shows, polishes and paints only those in
  // view.
  void SetHideChildrenOutOfView(bool hide);
  void DisableAlign() { ++FAlignLevel; }
  void EnableAlign();

  // Files dropped from other programs arrive in OnDropFiles.
  void DragAcceptFiles(bool accept);

  // The keys a control takes for itself instead of leaving them to the
  // window: without dcWantTab, Tab and Shift+Tab move the focus and never
  // reach KeyDown.
  enum : unsigned { dcWantArrows = 0x01, dcWantTab = 0x02, dcWantAllKeys = 0x04, dcWantChars = 0x80 };
  virtual unsigned DialogCode() const { return dcWantArrows | dcWantTab | dcWantAllKeys | dcWantChars; }
  // A key pressed in this control or inside it, offered to the window first
  // (its shortcuts and its key preview); true when the window took it.
  virtual bool RouteKey(std::uint16_t key, TShiftState shift);

  TKeyEvent OnKeyDown;
  TKeyPressEvent OnKeyPress;
  TKeyEvent OnKeyUp;
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TDropFilesEvent OnDropFiles;

  bool WidgetEvent(QObject* target, QEvent* event) override;

 protected:
  TWinControl(TComponent* owner, QWidget* widget);
  // The original's alignment: top, bottom, left, right, then client controls,
  // each group in the order the controls joined the parent, each taking its
  // side of what the groups before it left.
  virtual void AlignControls(TRect& rect);
  virtual void KeyDown(std::uint16_t& key, TShiftState shift);
  virtual void KeyPress(char& key);
  virtual void KeyUp(std::uint16_t& key, TShiftState shift);
  virtual void DoEnter();
  virtual void DoExit();
  virtual void DropFiles(const std::vector<std::string>& files, TPoint at);

 private:
  friend class TControl;
  friend class TCustomControl;
  bool TabMovesFocus(const QKeyEvent* e) const;
  bool ChildOutOfView(const TControl* child) const;
  // Hides or shows the child's window as it left or entered the view.
  void UpdateChildView(TControl* child);
  std::vector<TControl*> FControls;
  bool FHideOutOfView = false;
  int FAlignLevel = 0;
  bool FAligning = false;
};

// While one lives, the custom controls and labels made are taken to be out
// of view: they keep their colour and font (a label its size from the text)
// as plain state until they show, and a custom control its scroll bars
// (range, layout, enabled state) until first painted. Controls built in
// numbers out of view (the panels of a big set) never pay for bar windows
// and palettes nobody sees. A control that gets a child hands its colour and
// font on at once, for the child to inherit.
class TDeferUntilPainted {
 public:
  TDeferUntilPainted();
  ~TDeferUntilPainted();
  TDeferUntilPainted(const TDeferUntilPainted&) = delete;
  TDeferUntilPainted& operator=(const TDeferUntilPainted&) = delete;
  // Whether one lives now.
  static bool Active();
};

// A control that paints itself on its canvas and gets every input event
// through virtual handlers: the base of the program's own controls.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* owner);
  ~TCustomControl() override;

  TCanvas* Canvas() { return &FCanvas; }
  // Paints the control instead of the plain fill of its colour. Named apart
  // from the paint events of the controls built on this one.
  TNotifyEvent OnWindowPaint;

  // Mouse capture: while set, mouse events keep coming here. A capture taken
  // away (another control captures, a pop-up grabs, the focus or the window
  // goes, the control hides) ends in MouseCaptureLost.
  bool GetMouseCapture() const;
  void SetMouseCapture(bool capture);
  // Moves the painted content (and child controls) by dx, dy inside r (the
  // whole client area when r is null); the uncovered part is repainted.
  void ScrollWindow(int dx, int dy, const TRect* r = nullptr);

  // The control's own scroll bars, along its right (vertical) and bottom
  // (horizontal) edges; the client area leaves room for those shown. As with
  // the window system's, the position moves only when the program sets it:
  // the user's actions arrive in Scroll / OnWindowScroll, which answer by
  // setting the new position. A bar shows only when ShowScrollBar asks.
  void SetScrollInfo(TScrollBarKind kind, const TScrollInfo& info);
  TScrollInfo GetScrollInfo(TScrollBarKind kind) const;
  void SetScrollPos(TScrollBarKind kind, int pos);
  int GetScrollPos(TScrollBarKind kind) const { return GetScrollInfo(kind).Pos; }
  void ShowScrollBar(TScrollBarKind kind, bool show);
  bool ScrollBarVisible(TScrollBarKind kind) const;
  void EnableScrollBar(TScrollBarKind kind, bool enable);
  bool ScrollBarEnabled(TScrollBarKind kind) const;
  // Flat bars: no bevels, a plain thumb on a plain groove (a style sheet).
  void SetFlatScrollBars(bool flat);
  bool FlatScrollBars() const;
  // Makes the bar windows and gives the colour and font that a control made
  // under TDeferUntilPainted has put off (painting does it too); from then
  // on they go to its windows at once.
  void EndDeferral();
  int ClientWidth() const override;
  int ClientHeight() const override;
  TWindowScrollEvent OnWindowScroll;

  // A frame drawn around the client area, which shrinks by it on every side:
  // 0 none, 1 a single line, wider a raised border one can size by. The
  // scroll bars, the painting, the caret and the mouse all stay inside it.
  int GetFrameWidth() const { return FFrameWidth; }
  void SetFrameWidth(int width);
  TPoint ClientOrigin() const override { return TPoint{FFrameWidth, FFrameWidth}; }

  // A blinking caret drawn over the painting (inverting the pixels).
  void CreateCaret(int width, int height);
  void DestroyCaret();
  void SetCaretPos(int x, int y);
  TPoint GetCaretPos() const { return FCaretPos; }
  void ShowCaret();
  void HideCaret();
  bool CaretShowing() const { return FCaretCreated && FCaretShown > 0; }
  // Where the input method puts its composition window, and its font.
  void SetCompositionPoint(int x, int y);

  // In-program drag and drop of controls: BeginDrag starts it; the target's
  // DragOver decides acceptance and DragDrop receives it.
  void BeginDrag();
  bool Dragging() const { return FDragging; }

  bool WidgetEvent(QObject* target, QEvent* event) override;

  // Window layer only: paints the control onto an image (tests, screenshots):
  // what lies inside its frame (client area and scroll bars), or all of it.
  void PaintTo(TBitmap& bitmap, bool withFrame = false);

 protected:
  virtual void Paint();
  // The input method committed text (code page 1251).
  virtual void ImeComposition(const std::string& text);
  virtual void DragOver(TObject* source, int x, int y, bool& accept);
  virtual void DragDrop(TObject* source, int x, int y);
  // The drag of source left the control without a drop here.
  virtual void DragLeave(TObject* source);
  virtual void DragEnd(bool dropped);
  // The user scrolled with one of the control's own scroll bars: a line or a
  // page (Pos the current position), to the top or bottom, the thumb dragged
  // (scTrack with the thumb's position, then scPosition where it was let go),
  // and scEndScroll when the mouse button is released.
  virtual void Scroll(TScrollBarKind kind, TScrollCode code, int pos);
  virtual void DoEnter() override;
  virtual void DoExit() override;
  // The mouse capture this control held was taken away; not called when the
  // control releases it itself.
  virtual void MouseCaptureLost();

 private:
  friend class TCustomWidget;
  void LoseMouseCapture();
  bool FCaptureHeld = false;
  int FFrameWidth = 0;
  QRect CaretRect() const;
  void PaintFrame(QPainter& painter);
  friend class TControl;
  struct ScrollBars;
  void LayoutScrollBars();
  void MakeScrollBarWidget(int index);
  int ScrollBarExtent() const;
  // The style's bar width, asked for by every client measure: kept until
  // the style changes (-1 when not known).
  mutable int FScrollBarExtent = -1;
  void PaintCaret(QPainter& p);
  void BlinkCaret();
  QTimer& BlinkTimer();
  TCanvas FCanvas;
  bool FCaretCreated = false;
  int FCaretShown = 0;
  bool FCaretOn = false;
  TPoint FCaretPos;
  TSize FCaretSize;
  TPoint FCompositionPoint;
  bool FDragging = false;
  struct CaretTimer;
  std::unique_ptr<CaretTimer> FCaretTimer;
  std::unique_ptr<ScrollBars> FScrollBars;
  bool FDeferBarWidgets = false;
};

}  // namespace ond
