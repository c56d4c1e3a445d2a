// A tree view whose nodes carry check boxes as state images: 1 unchecked,
// 2 checked, 3 partly checked. A change can be refused by OnStateChanging.
#pragma once

#include <functional>

#include "platform/ComCtrls.h"

namespace ond {

class TImageList;

using TNodeStateChangingEvent = std::function<void(TObject* Sender, TTreeNode* Node, bool& AllowChange)>;
using TNodeStateChangeEvent = std::function<void(TObject* Sender, TTreeNode* Node)>;

class TCustomCheckTreeView : public TTreeView {
 public:
  explicit TCustomCheckTreeView(TComponent* owner);

  bool GetShowCheckImage() const { return FShowCheckImage; }
  // Off removes every node's check box (state index -1).
  void SetShowCheckImage(bool show);
  bool CascadeChecks = true;
  TNodeStateChangingEvent OnStateChanging;
  TNodeStateChangeEvent OnStateChange;

  // Checked becomes unchecked, anything else checked, when OnStateChanging
  // allows it; with CascadeChecks the descendants follow and the ancestors
  // show what their children hold. True when the node changed.
  bool ToggleNode(TTreeNode* node);

 protected:
  void Added(TTreeNode* node) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void KeyDown(std::uint16_t& key, TShiftState shift) override;
  void KeyPress(char& key) override;

 private:
  void SetSubtree(TTreeNode* node, int state);
  void UpdateAncestors(TTreeNode* node);
  TImageList* FCheckImages;
  bool FShowCheckImage = true;
  TTreeNode* FPressedNode = nullptr;
};

class TCheckTreeViewEx : public TCustomCheckTreeView {
 public:
  using TCustomCheckTreeView::TCustomCheckTreeView;
};

}  // namespace ond
