#include "platform/ComCtrls.h"

#include <QHeaderView>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <algorithm>

#include "platform/ImgList.h"
#include "platform/QtBridge.h"

namespace ond {

namespace {
constexpr int kNodeRole = Qt::UserRole + 1;

class NodeDelegate : public QStyledItemDelegate {
 public:
  explicit NodeDelegate(TTreeView* tree) : FTree(tree) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    auto* widget = static_cast<QTreeWidget*>(FTree->Widget());
    TTreeNode* node = FTree->NodeOfItem(widget->itemFromIndex(index));
    if (!node) return;
    TCanvas canvas;
    painter->save();
    canvas.BeginPainting(painter, FromQRect(option.rect));
    Guarded([&] {
      FTree->PaintNode(node, canvas, FromQRect(option.rect), option.state & QStyle::State_Selected,
                       option.state & QStyle::State_HasFocus);
    });
    canvas.EndPainting();
    painter->restore();
  }
  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const override {
    auto* widget = static_cast<QTreeWidget*>(FTree->Widget());
    TTreeNode* node = FTree->NodeOfItem(widget->itemFromIndex(index));
    int w = 0;
    if (node) {
      TCanvas c;
      c.Font.Assign(FTree->Font);
      w = c.TextWidth(node->GetText()) + 6;
      if (FTree->GetStateImages() && node->GetStateIndex() > 0) w += FTree->GetStateImages()->Width();
    }
    return QSize(w, FTree->RowHeight());
  }

 private:
  TTreeView* FTree;
};
}  // namespace

struct TTreeView::Private {
  std::unique_ptr<NodeDelegate> delegate;
  int updateLevel = 0;
};

// ---- nodes ------------------------------------------------------------------

TTreeNode::TTreeNode(TTreeView* tree, TTreeNode* parent, QTreeWidgetItem* item)
    : FTree(tree), FParent(parent), FItem(item) {
  item->setData(0, kNodeRole, QVariant::fromValue<quintptr>(reinterpret_cast<quintptr>(this)));
}

TTreeNode::~TTreeNode() {
  while (!FChildren.empty()) delete FChildren.back();
  FTree->Forget(this);
  auto& siblings = FParent ? FParent->FChildren : FTree->FRoots;
  siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  // A clearing tree has let go of every item at once already.
  if (FTree->FClearing) return;
  FItem->setData(0, kNodeRole, QVariant());
  delete FItem;
}

void TTreeNode::SetText(const std::string& text) {
  FText = text;
  FItem->setText(0, AnsiToQString(text));
}

void TTreeNode::SetStateIndex(int index) {
  if (index == FStateIndex) return;
  FStateIndex = index;
  FItem->setData(0, Qt::UserRole + 2, index);  // repaints the row
}

void TTreeNode::SetImageIndex(int index) {
  FImageIndex = index;
  FItem->setData(0, Qt::UserRole + 3, index);
}

int TTreeNode::Index() const {
  const auto& siblings = FParent ? FParent->FChildren : FTree->FRoots;
  return static_cast<int>(std::find(siblings.begin(), siblings.end(), this) - siblings.begin());
}

int TTreeNode::AbsoluteIndex() const {
  int i = 0;
  for (TTreeNode* n = FTree->Items()->GetFirstNode(); n; n = n->GetNext(), ++i)
    if (n == this) return i;
  return -1;
}

int TTreeNode::Level() const {
  int level = 0;
  for (TTreeNode* n = FParent; n; n = n->FParent) ++level;
  return level;
}

TTreeNode* TTreeNode::GetNextSibling() const {
  const auto& siblings = FParent ? FParent->FChildren : FTree->FRoots;
  const int i = Index();
  return i + 1 < static_cast<int>(siblings.size()) ? siblings[static_cast<std::size_t>(i + 1)] : nullptr;
}

TTreeNode* TTreeNode::GetNext() const {
  if (!FChildren.empty()) return FChildren.front();
  for (const TTreeNode* n = this; n; n = n->FParent)
    if (TTreeNode* s = n->GetNextSibling()) return s;
  return nullptr;
}

bool TTreeNode::GetExpanded() const { return FItem->isExpanded(); }
void TTreeNode::SetExpanded(bool expanded) { FItem->setExpanded(expanded); }
void TTreeNode::Expand(bool recurse) {
  SetExpanded(true);
  if (recurse)
    for (TTreeNode* c : FChildren) c->Expand(true);
}
void TTreeNode::Collapse(bool recurse) {
  SetExpanded(false);
  if (recurse)
    for (TTreeNode* c : FChildren) c->Collapse(true);
}

bool TTreeNode::GetSelected() const { return FTree->GetSelected() == this; }
void TTreeNode::SetSelected(bool selected) {
  if (selected)
    FTree->SetSelected(this);
  else if (GetSelected())
    FTree->SetSelected(nullptr);
}

TRect TTreeNode::DisplayRect(bool textOnly) const {
  auto* widget = static_cast<QTreeWidget*>(FTree->Widget());
  TRect r = FromQRect(widget->visualItemRect(FItem));
  if (!textOnly) return Rect(0, r.Top, widget->viewport()->width(), r.Bottom);
  if (FTree->GetStateImages() && FStateIndex > 0) r.Left += FTree->GetStateImages()->Width();
  TCanvas c;
  c.Font.Assign(FTree->Font);
  r.Right = r.Left + c.TextWidth(FText) + 4;
  return r;
}

void TTreeNode::Delete() { delete this; }
void TTreeNode::DeleteChildren() {
  while (!FChildren.empty()) delete FChildren.back();
}

// ---- node list --------------------------------------------------------------

TTreeNode* TTreeNodes::Insert(TTreeNode* parent, const std::string& text, void* data) {
  auto* item = new QTreeWidgetItem;
  auto* node = new TTreeNode(FTree, parent, item);
  node->Data = data;
  node->SetText(text);
  if (parent) {
    parent->FChildren.push_back(node);
    parent->FItem->addChild(item);
  } else {
    FTree->FRoots.push_back(node);
    static_cast<QTreeWidget*>(FTree->Widget())->addTopLevelItem(item);
  }
  FTree->Added(node);
  return node;
}

TTreeNode* TTreeNodes::Add(TTreeNode* sibling, const std::string& text) { return AddObject(sibling, text, nullptr); }
TTreeNode* TTreeNodes::AddObject(TTreeNode* sibling, const std::string& text, void* data) {
  return Insert(sibling ? sibling->GetParent() : nullptr, text, data);
}
TTreeNode* TTreeNodes::AddChild(TTreeNode* parent, const std::string& text) {
  return AddChildObject(parent, text, nullptr);
}
TTreeNode* TTreeNodes::AddChildObject(TTreeNode* parent, const std::string& text, void* data) {
  return Insert(parent, text, data);
}

void TTreeNodes::Clear() {
  FTree->FClearing = true;
  // One reset of the view's model: item by item, every removal would walk
  // the view's rows and indexes again.
  static_cast<QTreeWidget*>(FTree->Widget())->clear();
  while (!FTree->FRoots.empty()) delete FTree->FRoots.back();
  FTree->FClearing = false;
}

int TTreeNodes::Count() const {
  int n = 0;
  for (TTreeNode* node = GetFirstNode(); node; node = node->GetNext()) ++n;
  return n;
}

TTreeNode* TTreeNodes::Item(int absoluteIndex) const {
  if (absoluteIndex < 0) return nullptr;
  TTreeNode* node = GetFirstNode();
  for (int i = 0; node && i < absoluteIndex; ++i) node = node->GetNext();
  return node;
}

TTreeNode* TTreeNodes::GetFirstNode() const { return FTree->FRoots.empty() ? nullptr : FTree->FRoots.front(); }

void TTreeNodes::BeginUpdate() {
  if (FTree->p->updateLevel++ == 0) FTree->Widget()->setUpdatesEnabled(false);
}
void TTreeNodes::EndUpdate() {
  if (FTree->p->updateLevel > 0 && --FTree->p->updateLevel == 0) FTree->Widget()->setUpdatesEnabled(true);
}

// ---- tree view --------------------------------------------------------------

TTreeView::TTreeView(TComponent* owner)
    : TWinControl(owner, new QTreeWidget), FItems(this), p(std::make_unique<Private>()) {
  auto* w = static_cast<QTreeWidget*>(Widget());
  w->setColumnCount(1);
  w->header()->hide();
  w->setRootIsDecorated(true);
  w->setUniformRowHeights(true);
  w->setSelectionMode(QAbstractItemView::SingleSelection);
  w->setEditTriggers(QAbstractItemView::NoEditTriggers);
  w->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  w->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  w->header()->setStretchLastSection(false);
  p->delegate = std::make_unique<NodeDelegate>(this);
  w->setItemDelegate(p->delegate.get());
  WatchWidget(w->viewport());
  SetColor(clWindow);
  Font.SetColor(clWindowText);
  QObject::connect(w, &QTreeWidget::currentItemChanged, [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
    if (FClearing || Destroying()) return;
    TTreeNode* node = NodeOfItem(current);
    Guarded([&] {
      if (OnChange) OnChange(this, node);
    });
  });
  QObject::connect(w, &QTreeWidget::itemExpanded, [this](QTreeWidgetItem* item) {
    Guarded([&] {
      if (OnExpanded) OnExpanded(this, NodeOfItem(item));
    });
  });
  QObject::connect(w, &QTreeWidget::itemCollapsed, [this](QTreeWidgetItem* item) {
    Guarded([&] {
      if (OnCollapsed) OnCollapsed(this, NodeOfItem(item));
    });
  });
}

TTreeView::~TTreeView() {
  BeginDestroy();
  FItems.Clear();
  if (QWidget* w = Widget()) static_cast<QTreeWidget*>(w)->setItemDelegate(nullptr);
  p->delegate.reset();
}

QWidget* TTreeView::ClientWidget() const { return static_cast<QTreeWidget*>(Widget())->viewport(); }

TTreeNode* TTreeView::NodeOfItem(QTreeWidgetItem* item) const {
  if (!item) return nullptr;
  return reinterpret_cast<TTreeNode*>(item->data(0, kNodeRole).value<quintptr>());
}

void TTreeView::Forget(TTreeNode*) {}
void TTreeView::Added(TTreeNode*) {}

TTreeNode* TTreeView::GetSelected() const {
  return NodeOfItem(static_cast<QTreeWidget*>(Widget())->currentItem());
}

void TTreeView::SetSelected(TTreeNode* node) {
  auto* w = static_cast<QTreeWidget*>(Widget());
  if (node) {
    w->setCurrentItem(node->FItem);
  } else {
    w->clearSelection();
    w->setCurrentItem(nullptr);
  }
}

void TTreeView::SetIndent(int indent) { static_cast<QTreeWidget*>(Widget())->setIndentation(indent); }
int TTreeView::GetIndent() const { return static_cast<QTreeWidget*>(Widget())->indentation(); }

void TTreeView::SetStateImages(TImageList* images) {
  if (FStateImages) FStateImages->RemoveFreeNotification(this);
  FStateImages = images;
  if (images) images->FreeNotification(this);
  static_cast<QTreeWidget*>(Widget())->doItemsLayout();
}

void TTreeView::SetImages(TImageList* images) {
  if (FImages) FImages->RemoveFreeNotification(this);
  FImages = images;
  if (images) images->FreeNotification(this);
  static_cast<QTreeWidget*>(Widget())->doItemsLayout();
}

void TTreeView::Notification(TComponent* component, TOperation operation) {
  TWinControl::Notification(component, operation);
  if (operation != TOperation::opRemove) return;
  if (component == FStateImages) FStateImages = nullptr;
  if (component == FImages) FImages = nullptr;
}

void TTreeView::FontChanged() {
  TWinControl::FontChanged();
  static_cast<QTreeWidget*>(Widget())->doItemsLayout();
}

void TTreeView::FullExpand() {
  for (TTreeNode* n : FRoots) n->Expand(true);
}
void TTreeView::FullCollapse() {
  for (TTreeNode* n : FRoots) n->Collapse(true);
}

bool TTreeView::IsEditing() const {
  auto* w = static_cast<QTreeWidget*>(Widget());
  return w->currentItem() && w->isPersistentEditorOpen(w->currentItem());
}

void TTreeView::SetReadOnly(bool readOnly) {
  static_cast<QTreeWidget*>(Widget())->setEditTriggers(readOnly ? QAbstractItemView::NoEditTriggers
                                                                : QAbstractItemView::EditKeyPressed);
}

int TTreeView::RowHeight() const {
  TCanvas c;
  c.Font.Assign(Font);
  int h = c.TextHeight("Wg") + 2;
  if (FStateImages) h = std::max(h, FStateImages->Height() + 2);
  if (FImages) h = std::max(h, FImages->Height() + 2);
  return h;
}

TTreeNode* TTreeView::GetNodeAt(int x, int y) const {
  auto* w = static_cast<QTreeWidget*>(Widget());
  QTreeWidgetItem* item = w->itemAt(QPoint(x, y));
  if (!item) return nullptr;
  // Like the original, only the row itself counts, not the area to its right.
  return NodeOfItem(item);
}

THitTests TTreeView::GetHitTestInfoAt(int x, int y) const {
  auto* w = static_cast<QTreeWidget*>(Widget());
  const QWidget* vp = w->viewport();
  THitTests r = 0;
  if (y < 0) r |= htAbove;
  if (y >= vp->height()) r |= htBelow;
  if (x < 0) r |= htToLeft;
  if (x >= vp->width()) r |= htToRight;
  if (r) return r;
  TTreeNode* node = GetNodeAt(x, y);
  if (!node) return htNowhere;
  const QRect rect = w->visualItemRect(node->FItem);
  if (x < rect.left()) {
    r |= htOnIndent;
    if (node->HasChildren() && x >= rect.left() - w->indentation()) r |= htOnButton;
    return r;
  }
  int left = rect.left();
  if (FStateImages && node->FStateIndex > 0) {
    if (x < left + FStateImages->Width()) return htOnStateIcon | htOnItem;
    left += FStateImages->Width();
  }
  if (FImages && node->FImageIndex >= 0) {
    if (x < left + FImages->Width()) return htOnIcon | htOnItem;
    left += FImages->Width();
  }
  TCanvas c;
  c.Font.Assign(Font);
  if (x < left + c.TextWidth(node->FText) + 4) return htOnLabel | htOnItem;
  return htOnRight;
}

void TTreeView::PaintNode(TTreeNode* node, TCanvas& canvas, const TRect& rect, bool selected, bool focused) {
  canvas.Brush.Color = FColor;
  canvas.Brush.Style = TBrushStyle::bsSolid;
  canvas.FillRect(rect);
  int x = rect.Left;
  if (FStateImages && node->FStateIndex > 0) {
    FStateImages->Draw(&canvas, x, rect.Top + (RectHeight(rect) - FStateImages->Height()) / 2, node->FStateIndex);
    x += FStateImages->Width();
  }
  if (FImages && node->FImageIndex >= 0) {
    FImages->Draw(&canvas, x, rect.Top + (RectHeight(rect) - FImages->Height()) / 2, node->FImageIndex);
    x += FImages->Width();
  }
  FCanvas.Font.Assign(Font);
  if (selected) FCanvas.Font.SetColor(focused || Focused() ? clHighlightText : clWindowText);
  bool defaultDraw = true;
  if (OnCustomDrawItem)
    OnCustomDrawItem(this, node, static_cast<TCustomDrawState>((selected ? cdsSelected : 0) | (focused ? cdsFocused : 0)),
                     defaultDraw);
  if (!defaultDraw) return;
  canvas.Font.Assign(FCanvas.Font);
  const int tw = canvas.TextWidth(node->FText);
  const TRect textRect = Rect(x, rect.Top, x + tw + 4, rect.Bottom);
  if (selected) {
    canvas.Brush.Color = Focused() ? clHighlight : clBtnFace;
    canvas.FillRect(textRect);
  }
  canvas.Brush.Style = TBrushStyle::bsClear;
  canvas.TextOut(x + 2, rect.Top + (RectHeight(rect) - canvas.TextHeight(node->FText)) / 2, node->FText);
}

}  // namespace ond
