// The question asked next to a match before it is replaced: replace, skip,
// replace all or cancel.
#pragma once

#include "platform/DialogControls.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/StdCtrls.h"

namespace ond {

class TConfirmReplaceDialog : public TForm {
 public:
  // The modal result of "Yes to all".
  static constexpr int mrYesToAll = 10;

  explicit TConfirmReplaceDialog(TComponent* owner);
  TPanel* pTop;
  TLabel* lConfirm;
  TPanel* pBottom;
  // Real push buttons: Tab walks them, Space presses the focused one, Enter
  // too ("Yes" when none has the focus); "Yes" has the focus when shown.
  TButton* bReplace;
  TButton* bSkip;
  TButton* bReplaceAll;
  TButton* bCancel;

  // Places the dialog beside the match (screen pixels; editorRect is the main
  // window's rectangle): centred over a rectangle not wider than the dialog,
  // else at x pulled left to keep inside the rectangle; above the match when
  // it lies in the lower third, else 20 pixels below it.
  void PrepareShow(const TRect& editorRect, int x, int matchBottom, int matchTop);
  // The place PrepareShow computes for a dialog of the given size.
  static TPoint Placement(const TRect& editorRect, int x, int matchBottom, int matchTop, int width, int height);

 protected:
  void KeyDown(std::uint16_t& key, TShiftState shift) override;
};

}  // namespace ond
