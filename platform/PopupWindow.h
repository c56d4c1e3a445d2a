// A window that floats over the others without a border, a caption or a
// place in the task bar, and that shows without taking the focus from the
// window the user types in: the completion pop-up and the fold hint paint
// into it. It also answers which screen holds a point, so a pop-up can stay
// on the screen the user looks at.
#pragma once

#include <memory>

#include "platform/Controls.h"

namespace ond {

class TPopupWindow : public TCustomControl {
 public:
  explicit TPopupWindow(TComponent* owner);
  ~TPopupWindow() override;
  // Places the window at screen bounds r and shows it, leaving the focus
  // where it is.
  void ShowAt(const TRect& r);

  // A window that floats over every other one must not outstay the reason it
  // was shown: OnAway fires while it shows and the pointer leaves control
  // (null: no control is watched) or the program stops being the active one.
  void WatchAway(TControl* control);
  TNotifyEvent OnAway;

  // The area of the screen that holds p (the nearest one when p lies on
  // none); an empty rectangle when there is no screen at all.
  static TRect ScreenRectAt(TPoint p);
  // How many lines one notch of the mouse wheel scrolls, as the system is set.
  static int WheelScrollLines();

 private:
  struct Watch;
  std::unique_ptr<Watch> FWatch;
};

}  // namespace ond
