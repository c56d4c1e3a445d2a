// Panels, splitters and timers.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Controls.h"

namespace ond {

enum class TBevelCut { bvNone, bvLowered, bvRaised };

class TPanel : public TCustomControl {
 public:
  explicit TPanel(TComponent* owner);
  std::string Caption;
  TBevelCut BevelOuter = TBevelCut::bvRaised;
  TBevelCut BevelInner = TBevelCut::bvNone;
  TAlignment Alignment = TAlignment::taCenter;

 protected:
  void Paint() override;
};

// Draws a 3-D frame: raised has the light side top-left.
void Frame3D(TCanvas& canvas, TRect& rect, TColor topColor, TColor bottomColor, int width);

using TCanResizeEvent = std::function<void(TObject* Sender, int& NewSize, bool& Accept)>;

// Resizes the aligned control beside it as the mouse drags it; the new size
// passes the minimum, the room the other aligned controls need, and then
// OnCanResize, which may refuse it.
class TSplitter : public TCustomControl {
 public:
  explicit TSplitter(TComponent* owner);
  int MinSize = 30;
  TCanResizeEvent OnCanResize;
  TNotifyEvent OnMoved;
  // The control the splitter resizes (the neighbour on its aligned side).
  TControl* FindControl() const;
  // Asks for a new size of that control as a drag would; true when applied.
  bool ResizeControl(int newSize);

 protected:
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void Paint() override;

 private:
  int MaxSize(TControl* control) const;
  TControl* FControl = nullptr;
  TPoint FDownPos;
  int FOldSize = 0;
  bool FSizing = false;
};

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  bool GetEnabled() const { return FEnabled; }
  void SetEnabled(bool enabled);
  int GetInterval() const { return FInterval; }
  void SetInterval(int interval);
  TNotifyEvent OnTimer;
  // Runs the handler as a tick would (tests).
  void Tick();

 private:
  void UpdateTimer();
  struct Private;
  std::unique_ptr<Private> p;
  bool FEnabled = true;
  int FInterval = 1000;
};

}  // namespace ond
