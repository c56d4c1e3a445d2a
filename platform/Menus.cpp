#include "platform/Menus.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <algorithm>

#include "platform/ActnList.h"
#include "platform/Forms.h"
#include "platform/QtBridge.h"

namespace ond {

QKeySequence ShortCutToKeySequence(TShortCut sc) {
  if (sc == 0) return QKeySequence();
  const int key = QtKeyFromVirtualKey(sc & 0xFF);
  if (key == 0) return QKeySequence();
  Qt::KeyboardModifiers m;
  if (sc & scShift) m |= Qt::ShiftModifier;
  if (sc & scCtrl) m |= Qt::ControlModifier;
  if (sc & scAlt) m |= Qt::AltModifier;
  return QKeySequence(QKeyCombination(m, static_cast<Qt::Key>(key)));
}


TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {}

TMenuItem::~TMenuItem() {
  BeginDestroy();
  if (FParent) FParent->Remove(this);
  for (TMenuItem* item : std::vector<TMenuItem*>(FItems)) item->FParent = nullptr;
  FItems.clear();
  FSubMenu.reset();
  FQAction.reset();
}

void TMenuItem::SetAction(TAction* action) {
  if (action == FAction) return;
  if (FAction) FAction->RemoveFreeNotification(this);
  FAction = action;
  if (action) action->FreeNotification(this);
}

void TMenuItem::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && component == FAction) FAction = nullptr;
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
  if (!item || item == this) return;
  if (item->FParent) item->FParent->Remove(item);
  index = std::clamp(index, 0, Count());
  FItems.insert(FItems.begin() + index, item);
  item->FParent = this;
}

void TMenuItem::Remove(TMenuItem* item) {
  auto it = std::find(FItems.begin(), FItems.end(), item);
  if (it == FItems.end()) return;
  FItems.erase(it);
  item->FParent = nullptr;
}

void TMenuItem::Clear() {
  while (!FItems.empty()) delete FItems.back();
}

void TMenuItem::Click() {
  if (FAction) {
    FAction->Execute();
    return;
  }
  if (OnClick) OnClick(this);
}

QAction* TMenuItem::ItemAction() {
  if (FAction) return FAction->Handle();
  if (!FQAction) {
    FQAction = std::make_unique<QAction>();
    QObject::connect(FQAction.get(), &QAction::triggered, [this] {
      Guarded([this] { Click(); });
      if (FQAction) FQAction->setChecked(Checked);
    });
  }
  FQAction->setText(AnsiToQString(Caption));
  FQAction->setEnabled(Enabled);
  FQAction->setCheckable(Checked || RadioItem);
  FQAction->setChecked(Checked);
  FQAction->setShortcut(ShortCutToKeySequence(ShortCut));
  return FQAction.get();
}

void TMenuItem::BuildMenu(QWidget* target) {
  auto* menu = qobject_cast<QMenu*>(target);
  auto* bar = qobject_cast<QMenuBar*>(target);
  if (menu) menu->clear();
  if (bar) bar->clear();
  for (TMenuItem* item : FItems)
    if (item->FAction) item->FAction->Update();
  for (TMenuItem* item : FItems) {
    if (item->FAction ? !item->FAction->GetVisible() : !item->Visible) continue;
    if (item->Caption == "-") {
      if (menu) menu->addSeparator();
      continue;
    }
    if (item->Count() > 0) {
      if (!item->FSubMenu) {
        item->FSubMenu = std::make_unique<QMenu>();
        QMenu* sub = item->FSubMenu.get();
        QObject::connect(sub, &QMenu::aboutToShow, [item, sub] { Guarded([&] { item->BuildMenu(sub); }); });
      }
      const std::string caption = item->FAction ? item->FAction->GetCaption() : item->Caption;
      item->FSubMenu->setTitle(AnsiToQString(caption));
      item->FSubMenu->setEnabled(item->FAction ? item->FAction->GetEnabled() : item->Enabled);
      if (menu) menu->addMenu(item->FSubMenu.get());
      if (bar) bar->addMenu(item->FSubMenu.get());
      continue;
    }
    target->addAction(item->ItemAction());
  }
}

TPopupMenu::TPopupMenu(TComponent* owner) : TComponent(owner), FItems(new TMenuItem(this)) {}

TPopupMenu::~TPopupMenu() {
  BeginDestroy();
  FMenu.reset();
}

void TPopupMenu::Popup(int x, int y) {
  if (OnPopup) OnPopup(this);
  if (!FMenu) FMenu = std::make_unique<QMenu>();
  FItems->BuildMenu(FMenu.get());
  if (FMenu->isEmpty()) return;
  FMenu->exec(QPoint(x, y));
}

}  // namespace ond
