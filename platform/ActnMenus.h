// The menu bar of a window, built from a tree of menu items that are linked
// to actions. It is fixed at the top of its window: it neither floats nor
// closes.
#pragma once

#include "platform/Controls.h"
#include "platform/Menus.h"

namespace ond {

class TActionMenuBar : public TWinControl {
 public:
  explicit TActionMenuBar(TComponent* owner);
  // The top-level entries; each one's sub-items form its drop-down menu.
  TMenuItem* Items() const { return FItems; }
  // Builds the bar again after the tree changed.
  void Rebuild();

 private:
  TMenuItem* FItems;
};

}  // namespace ond
