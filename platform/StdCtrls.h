// Labels and scroll bars.
#pragma once

#include <functional>
#include <string>

#include "platform/Controls.h"

namespace ond {

enum class TTextLayout { tlTop, tlCenter, tlBottom };

class TLabel : public TControl {
 public:
  explicit TLabel(TComponent* owner);
  std::string GetCaption() const { return FCaption; }
  void SetCaption(const std::string& caption);
  // With AutoSize the label takes the size of its text.
  void SetAutoSize(bool autoSize);
  void SetTransparent(bool transparent);
  void SetAlignment(TAlignment alignment);
  void SetLayout(TTextLayout layout);
  void SetWordWrap(bool wrap);
  // The height the caption needs at this width, wrapped when word wrap is on.
  int HeightForWidth(int width);
  void SetColor(TColor color) override;

 protected:
  void FontChanged() override;
  void GiveLook() override;

 private:
  void AdjustSize();
  std::string FCaption;
  bool FAutoSize = true;
  bool FTransparent = false;
  // Made under TDeferUntilPainted: its size from the text waits for the
  // look, unless something asks for it first.
  bool FSizeDue = false;
};

using TScrollEvent = std::function<void(TObject* Sender, TScrollCode ScrollCode, int& ScrollPos)>;

class TScrollBar : public TWinControl {
 public:
  explicit TScrollBar(TComponent* owner, TScrollBarKind kind = TScrollBarKind::sbHorizontal);
  TScrollBarKind GetKind() const { return FKind; }
  void SetKind(TScrollBarKind kind);
  int GetPosition() const { return FPosition; }
  void SetPosition(int position);
  int GetMin() const { return FMin; }
  void SetMin(int v) { SetParams(FPosition, v, FMax); }
  int GetMax() const { return FMax; }
  void SetMax(int v) { SetParams(FPosition, FMin, v); }
  void SetParams(int position, int min, int max);
  int GetPageSize() const { return FPageSize; }
  void SetPageSize(int pageSize);
  int SmallChange = 1;
  int LargeChange = 1;
  void SetSmallChange(int v);
  void SetLargeChange(int v);
  // Fires for every change of the position; OnScroll only for the user's.
  TNotifyEvent OnChange;
  TScrollEvent OnScroll;

  // Acts as the user would (arrows, page areas, thumb); tests use it too.
  void UserScroll(TScrollCode code, int trackPos = 0);

 private:
  void Apply();
  TScrollBarKind FKind;
  int FPosition = 0;
  int FMin = 0;
  int FMax = 100;
  int FPageSize = 0;
  bool FApplying = false;
};

}  // namespace ond
