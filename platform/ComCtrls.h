// The tree view: nodes with text, data, state and normal images, selection,
// expansion, hit-testing and owner colours per node.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Controls.h"

class QTreeWidgetItem;

namespace ond {

class TTreeView;
class TImageList;

class TTreeNode {
 public:
  ~TTreeNode();
  TTreeNode(const TTreeNode&) = delete;
  TTreeNode& operator=(const TTreeNode&) = delete;

  std::string GetText() const { return FText; }
  void SetText(const std::string& text);
  void* Data = nullptr;
  // State image index: -1 or 0 show none.
  int GetStateIndex() const { return FStateIndex; }
  void SetStateIndex(int index);
  int GetImageIndex() const { return FImageIndex; }
  void SetImageIndex(int index);

  TTreeNode* GetParent() const { return FParent; }
  int Count() const { return static_cast<int>(FChildren.size()); }
  TTreeNode* Item(int i) const { return FChildren.at(static_cast<std::size_t>(i)); }
  bool HasChildren() const { return !FChildren.empty(); }
  int Index() const;          // among its siblings
  int AbsoluteIndex() const;  // in the whole tree, depth first
  int Level() const;
  TTreeNode* GetFirstChild() const { return FChildren.empty() ? nullptr : FChildren.front(); }
  TTreeNode* GetNextSibling() const;
  // The next node depth first.
  TTreeNode* GetNext() const;

  bool GetExpanded() const;
  void SetExpanded(bool expanded);
  void Expand(bool recurse);
  void Collapse(bool recurse);
  bool GetSelected() const;
  void SetSelected(bool selected);
  // The node's row (textOnly: its text) in client coordinates.
  TRect DisplayRect(bool textOnly) const;
  TTreeView* TreeView() const { return FTree; }
  void Delete();
  void DeleteChildren();

  // Window layer only.
  QTreeWidgetItem* Item() const { return FItem; }

 private:
  friend class TTreeView;
  friend class TTreeNodes;
  TTreeNode(TTreeView* tree, TTreeNode* parent, QTreeWidgetItem* item);
  TTreeView* FTree;
  TTreeNode* FParent;
  QTreeWidgetItem* FItem;
  std::vector<TTreeNode*> FChildren;
  std::string FText;
  int FStateIndex = -1;
  int FImageIndex = -1;
};

class TTreeNodes {
 public:
  explicit TTreeNodes(TTreeView* tree) : FTree(tree) {}
  // A new last root node (the sibling argument only names the level: nullptr
  // or any root node adds at the top level).
  TTreeNode* Add(TTreeNode* sibling, const std::string& text);
  TTreeNode* AddObject(TTreeNode* sibling, const std::string& text, void* data);
  TTreeNode* AddChild(TTreeNode* parent, const std::string& text);
  TTreeNode* AddChildObject(TTreeNode* parent, const std::string& text, void* data);
  void Clear();
  int Count() const;  // every node
  TTreeNode* Item(int absoluteIndex) const;
  TTreeNode* GetFirstNode() const;
  void BeginUpdate();
  void EndUpdate();

 private:
  TTreeNode* Insert(TTreeNode* parent, const std::string& text, void* data);
  TTreeView* FTree;
};

using THitTests = std::uint16_t;
constexpr THitTests htAbove = 0x0001;
constexpr THitTests htBelow = 0x0002;
constexpr THitTests htNowhere = 0x0004;
constexpr THitTests htOnItem = 0x0008;
constexpr THitTests htOnButton = 0x0010;
constexpr THitTests htOnIcon = 0x0020;
constexpr THitTests htOnIndent = 0x0040;
constexpr THitTests htOnLabel = 0x0080;
constexpr THitTests htOnRight = 0x0100;
constexpr THitTests htOnStateIcon = 0x0200;
constexpr THitTests htToLeft = 0x0400;
constexpr THitTests htToRight = 0x0800;

using TCustomDrawState = std::uint16_t;
constexpr TCustomDrawState cdsSelected = 0x0001;
constexpr TCustomDrawState cdsFocused = 0x0010;

using TTVChangedEvent = std::function<void(TObject* Sender, TTreeNode* Node)>;
using TTVCustomDrawItemEvent =
    std::function<void(TObject* Sender, TTreeNode* Node, TCustomDrawState State, bool& DefaultDraw)>;

class TTreeView : public TWinControl {
 public:
  explicit TTreeView(TComponent* owner);
  ~TTreeView() override;

  TTreeNodes* Items() { return &FItems; }
  TTreeNode* GetSelected() const;
  void SetSelected(TTreeNode* node);
  void SetIndent(int indent);
  int GetIndent() const;
  void SetStateImages(TImageList* images);
  TImageList* GetStateImages() const { return FStateImages; }
  void SetImages(TImageList* images);
  void FullExpand();
  void FullCollapse();
  TTreeNode* GetNodeAt(int x, int y) const;
  THitTests GetHitTestInfoAt(int x, int y) const;
  bool IsEditing() const;
  void SetReadOnly(bool readOnly);

  // While OnCustomDrawItem runs, this canvas's font (colour and style) is the
  // one the node's text is drawn with.
  TCanvas* Canvas() { return &FCanvas; }
  TTVCustomDrawItemEvent OnCustomDrawItem;
  TTVChangedEvent OnChange;
  TTVChangedEvent OnExpanded;
  TTVChangedEvent OnCollapsed;

  // Window layer only.
  TTreeNode* NodeOfItem(QTreeWidgetItem* item) const;
  // Paints one node's row (called by the view's item painter).
  void PaintNode(TTreeNode* node, TCanvas& canvas, const TRect& rect, bool selected, bool focused);
  int RowHeight() const;

 protected:
  QWidget* ClientWidget() const override;
  // A node was just added.
  virtual void Added(TTreeNode* node);
  void Notification(TComponent* component, TOperation operation) override;
  void FontChanged() override;

 private:
  friend class TTreeNode;
  friend class TTreeNodes;
  void Forget(TTreeNode* node);
  TTreeNodes FItems;
  std::vector<TTreeNode*> FRoots;
  TImageList* FStateImages = nullptr;
  TImageList* FImages = nullptr;
  TCanvas FCanvas;
  bool FClearing = false;
  struct Private;
  std::unique_ptr<Private> p;
};

}  // namespace ond
