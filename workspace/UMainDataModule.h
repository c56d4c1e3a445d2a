// Images shared by the main window's parts.
#pragma once

#include "platform/Controls.h"

namespace ond {

class TImageList;

class TDMMain : public TComponent {
 public:
  explicit TDMMain(TComponent* owner);
  // 12 x 12: image 0 the expanded, image 1 the collapsed state of a panel's
  // collapse button.
  TImageList* iListCollapsed;
};

extern TDMMain* DMMain;

}  // namespace ond
