#include "workspace/CheckTreeViewEx.h"

#include "platform/ImgList.h"

namespace ond {

TCustomCheckTreeView::TCustomCheckTreeView(TComponent* owner)
    : TTreeView(owner), FCheckImages(new TImageList(this, 16, 16)) {
  FCheckImages->AddResource("CheckImages");
  SetStateImages(FCheckImages);
  SetReadOnly(true);
}

void TCustomCheckTreeView::SetShowCheckImage(bool show) {
  if (show == FShowCheckImage) return;
  FShowCheckImage = show;
  if (!show)
    for (TTreeNode* n = Items()->GetFirstNode(); n; n = n->GetNext()) n->SetStateIndex(-1);
}

void TCustomCheckTreeView::Added(TTreeNode* node) {
  TTreeView::Added(node);
  if (FShowCheckImage) node->SetStateIndex(1);
}

void TCustomCheckTreeView::SetSubtree(TTreeNode* node, int state) {
  for (int i = 0; i < node->Count(); ++i) {
    node->Item(i)->SetStateIndex(state);
    SetSubtree(node->Item(i), state);
  }
}

void TCustomCheckTreeView::UpdateAncestors(TTreeNode* node) {
  for (TTreeNode* parent = node->GetParent(); parent; parent = parent->GetParent()) {
    bool differ = false, anyGrey = false, allChecked = true;
    const int first = parent->Item(0)->GetStateIndex();
    for (int i = 0; i < parent->Count(); ++i) {
      const int s = parent->Item(i)->GetStateIndex();
      differ |= s != first;
      anyGrey |= s == 3;
      allChecked &= s == 2;
    }
    parent->SetStateIndex(differ || anyGrey ? 3 : allChecked ? 2 : 1);
  }
}

bool TCustomCheckTreeView::ToggleNode(TTreeNode* node) {
  if (!node) return false;
  bool allow = true;
  if (OnStateChanging) OnStateChanging(this, node, allow);
  if (!allow) return false;
  const int state = node->GetStateIndex() == 2 ? 1 : 2;
  node->SetStateIndex(state);
  if (CascadeChecks) {
    SetSubtree(node, state);
    UpdateAncestors(node);
  }
  if (OnStateChange) OnStateChange(this, node);
  return true;
}

void TCustomCheckTreeView::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  FPressedNode = nullptr;
  if (button == TMouseButton::mbLeft && (GetHitTestInfoAt(x, y) & htOnStateIcon)) FPressedNode = GetNodeAt(x, y);
  TTreeView::MouseDown(button, shift, x, y);
}

void TCustomCheckTreeView::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TTreeNode* pressed = FPressedNode;
  FPressedNode = nullptr;
  if (button == TMouseButton::mbLeft && pressed && (GetHitTestInfoAt(x, y) & htOnStateIcon) &&
      GetNodeAt(x, y) == pressed)
    ToggleNode(pressed);
  TTreeView::MouseUp(button, shift, x, y);
}

void TCustomCheckTreeView::KeyDown(std::uint16_t& key, TShiftState shift) {
  TTreeView::KeyDown(key, shift);
  if (key == VK_SPACE && !IsEditing()) {
    ToggleNode(GetSelected());
    key = 0;
  }
}

void TCustomCheckTreeView::KeyPress(char& key) {
  TTreeView::KeyPress(key);
  if (key == ' ' && !IsEditing()) key = 0;
}

}  // namespace ond
