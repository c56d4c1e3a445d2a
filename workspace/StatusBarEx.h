// The status bar of the main window: panels that each have their own colour,
// image, hint and pop-up menu, all drawn by the bar itself.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Controls.h"

namespace ond {

class TImageList;
class TStatusBarEx;

enum class TStatusPanelBevel { pbNone, pbLowered, pbRaised };
enum class TStatusPanelStyle { psText, psOwnerDraw };
enum class TBiDiMode { bdLeftToRight, bdRightToLeft };

class TStatusPanelEx {
 public:
  explicit TStatusPanelEx(TStatusBarEx* bar) : FBar(bar) {}
  const std::string& GetText() const { return FText; }
  void SetText(const std::string& text);
  // Shows the text Compose makes, and keeps Compose so that the text can be
  // made again (in another interface language, say).
  void Tell(std::function<std::string()> compose);
  // Makes the text told by Tell again while the panel still shows it; false
  // when another text was set since. A text made empty is forgotten.
  bool Retell();
  const std::string& GetHint() const { return FHint; }
  void SetHint(const std::string& hint);
  int GetImageIndex() const { return FImageIndex; }
  void SetImageIndex(int index);
  TPopupMenu* GetPopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TPopupMenu* menu);
  int GetWidth() const { return FWidth; }
  void SetWidth(int width);
  TColor GetColor() const { return FColor; }
  void SetColor(TColor color);
  TAlignment GetAlignment() const { return FAlignment; }
  void SetAlignment(TAlignment alignment);
  TStatusPanelBevel GetBevel() const { return FBevel; }
  void SetBevel(TStatusPanelBevel bevel);
  TBiDiMode GetBiDiMode() const { return FBiDiMode; }
  void SetBiDiMode(TBiDiMode mode);
  bool GetParentBiDiMode() const { return FParentBiDiMode; }
  void SetParentBiDiMode(bool parent);
  TStatusPanelStyle GetStyle() const { return FStyle; }
  void SetStyle(TStatusPanelStyle style);
  int Index() const;

 private:
  friend class TStatusBarEx;
  void Changed(bool relayout);
  TStatusBarEx* FBar;
  std::string FText;
  std::function<std::string()> FCompose;
  std::string FTold;  // what FCompose made last
  std::string FHint;
  int FImageIndex = -1;
  TPopupMenu* FPopupMenu = nullptr;
  int FWidth = 50;
  TColor FColor = clBtnFace;
  TAlignment FAlignment = TAlignment::taLeftJustify;
  TStatusPanelBevel FBevel = TStatusPanelBevel::pbLowered;
  TBiDiMode FBiDiMode = TBiDiMode::bdLeftToRight;
  bool FParentBiDiMode = true;
  TStatusPanelStyle FStyle = TStatusPanelStyle::psOwnerDraw;
};

class TStatusPanelsEx {
 public:
  explicit TStatusPanelsEx(TStatusBarEx* bar) : FBar(bar) {}
  TStatusPanelEx* Add();
  void Clear();
  int Count() const { return static_cast<int>(FItems.size()); }
  TStatusPanelEx* Items(int i) const { return FItems.at(static_cast<std::size_t>(i)).get(); }
  TStatusPanelEx* operator[](int i) const { return Items(i); }

 private:
  friend class TStatusPanelEx;
  TStatusBarEx* FBar;
  std::vector<std::unique_ptr<TStatusPanelEx>> FItems;
};

class TStatusBarEx : public TCustomControl {
 public:
  // The bar hands at most this many panels to the window.
  static constexpr int MaxPanels = 128;

  explicit TStatusBarEx(TComponent* owner);
  ~TStatusBarEx() override;

  TStatusPanelsEx* Panels() { return &FPanels; }
  TImageList* GetImages() const { return FImages; }
  void SetImages(TImageList* images);
  bool GetSimplePanel() const { return FSimplePanel; }
  void SetSimplePanel(bool simple);
  const std::string& GetSimpleText() const { return FSimpleText; }
  void SetSimpleText(const std::string& text);
  bool SizeGrip = true;
  bool UseSystemFont = true;
  TBiDiMode BiDiMode = TBiDiMode::bdLeftToRight;
  // Clears the text of every panel.
  void ClearTexts();

  // The rectangle of panel i; the last panel reaches to the right end.
  TRect PanelRect(int index) const;
  // The panel at a client point, or -1.
  int PanelAt(int x, int y) const;
  // The panel the last left or right button press fell on, or -1.
  int ClickedPanel() const { return FClickedPanel; }

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  bool DoContextPopup(TPoint clientPos) override;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class TStatusPanelEx;
  void PanelChanged(TStatusPanelEx* panel, bool relayout);
  void PanelTextChanged(TStatusPanelEx* panel);
  // Panel i within its bevel (the whole panel without one).
  TRect PanelFace(int index) const;
  bool RightToLeft(const TStatusPanelEx* panel) const;
  TStatusPanelsEx FPanels;
  TImageList* FImages = nullptr;
  bool FSimplePanel = false;
  std::string FSimpleText;
  int FClickedPanel = -1;
  int FHintPanel = -1;
};

}  // namespace ond
