// Menu items and pop-up menus. Items may be linked to actions, which then
// give them caption, state and shortcut and run when the item is chosen.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Controls.h"

class QMenu;
class QAction;
class QActionGroup;

namespace ond {

class TAction;

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;

  std::string Caption;  // "-" is a separator
  bool Checked = false;
  bool Enabled = true;
  bool Visible = true;
  bool RadioItem = false;
  int GroupIndex = 0;
  TShortCut ShortCut = 0;
  TNotifyEvent OnClick;
  TAction* GetAction() const { return FAction; }
  void SetAction(TAction* action);

  int Count() const { return static_cast<int>(FItems.size()); }
  TMenuItem* Items(int i) const { return FItems.at(static_cast<std::size_t>(i)); }
  TMenuItem* GetParent() const { return FParent; }
  // Takes the item into this menu (its owner stays).
  void Add(TMenuItem* item);
  void Insert(int index, TMenuItem* item);
  void Remove(TMenuItem* item);
  void Clear();  // frees the sub-items
  // Runs the action, or OnClick.
  virtual void Click();

  // Window layer only: fills a Qt menu or menu bar with the sub-items,
  // running the update handlers of their actions first.
  void BuildMenu(QWidget* menu);

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  QAction* ItemAction();
  TAction* FAction = nullptr;
  TMenuItem* FParent = nullptr;
  std::vector<TMenuItem*> FItems;
  std::unique_ptr<QAction> FQAction;
  std::unique_ptr<QActionGroup> FRadioGroup;
  std::unique_ptr<QMenu> FSubMenu;
};

class TPopupMenu : public TComponent {
 public:
  explicit TPopupMenu(TComponent* owner);
  ~TPopupMenu() override;
  TMenuItem* Items() const { return FItems; }
  // Shows the menu at a screen point and returns once it closed.
  void Popup(int x, int y);
  TNotifyEvent OnPopup;
  // The control whose context menu opened it.
  TComponent* PopupComponent = nullptr;

 private:
  TMenuItem* FItems;
  std::unique_ptr<QMenu> FMenu;
};

}  // namespace ond
