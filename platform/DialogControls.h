// The controls of small dialog forms: check boxes, editable combo boxes with
// a list of recent entries, radio groups, push buttons and bevels.
#pragma once

#include <string>
#include <vector>

#include "platform/Controls.h"

namespace ond {

class TCheckBox : public TWinControl {
 public:
  explicit TCheckBox(TComponent* owner);
  void SetCaption(const std::string& caption);
  std::string GetCaption() const;
  bool GetChecked() const;
  // Changes the mark without OnClick, as the program's own writes do.
  void SetChecked(bool checked);
  // OnClick follows the user's clicks (and Toggle), after the mark changed.
  void Toggle();
};

// An editable combo box. The line editor's keys arrive in OnKeyDown too.
class TComboBox : public TWinControl {
 public:
  explicit TComboBox(TComponent* owner);
  std::string GetText() const;
  void SetText(const std::string& text);
  std::vector<std::string> GetItems() const;
  void SetItems(const std::vector<std::string>& items);
  void InsertItem(int index, const std::string& text);
  void DeleteItem(int index);
  int IndexOf(const std::string& text) const;
  bool GetDroppedDown() const;
  void SetDroppedDown(bool dropped);

 protected:
  QWidget* ClientWidget() const override;
};

class TRadioGroup : public TWinControl {
 public:
  explicit TRadioGroup(TComponent* owner);
  void SetCaption(const std::string& caption);
  std::string GetCaption() const;
  void SetItems(const std::vector<std::string>& items);
  int ItemCount() const;
  std::string ItemCaption(int index) const;
  void SetItemCaption(int index, const std::string& caption);
  int GetItemIndex() const;
  void SetItemIndex(int index);

 private:
  void LayoutItems();
};

// A push button; a click closes its form with ModalResult when that is not 0.
class TButton : public TWinControl {
 public:
  explicit TButton(TComponent* owner);
  void SetCaption(const std::string& caption);
  std::string GetCaption() const;
  int ModalResult = 0;
  // Acts as a click of the user.
  void Press();
  // Drawn as the window's default answer (the one Enter gives).
  void SetDefault(bool value);
  bool GetDefault() const;
};

enum class TBevelShape { bsBox, bsTopLine };

class TBevel : public TControl {
 public:
  explicit TBevel(TComponent* owner, TBevelShape shape = TBevelShape::bsBox);
};

}  // namespace ond
