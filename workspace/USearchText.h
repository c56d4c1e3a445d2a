// The search dialog: a search text with its recent texts, the search
// options, the direction and the scope. The replace dialog builds on it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/DialogControls.h"
#include "platform/Forms.h"
#include "platform/StdCtrls.h"

namespace ond {

// Recent texts of a combo box as stored: lines joined by CR LF.
std::vector<std::string> SplitHistory(const std::string& lines);
std::string JoinHistory(const std::vector<std::string>& items, std::size_t limit);
// A text entered again moves to the front of the list; an empty text
// changes nothing.
void MoveToFront(TComboBox* box);
// The down-arrow key drops the box's list down.
void DropDownOnDownKey(TComboBox* box);

class TTextSearchDialog : public TForm {
 public:
  static constexpr std::size_t SearchHistoryLimit = 20;

  explicit TTextSearchDialog(TComponent* owner);

  TLabel* lWathSearch;
  TComboBox* cbxSearchText;
  TCheckBox* cbSearchWholeWords;
  TCheckBox* cbSearchCaseSensitive;
  TCheckBox* cbSearchFromCursor;
  TCheckBox* cbSearchSelectedOnly;
  TCheckBox* cbRegularExpression;
  TRadioGroup* rgSearchDirection;
  TCheckBox* cbSearchInAllConfig;
  TCheckBox* cbSearchWithoutHiddenFiles;
  TButton* bOK;
  TButton* bCancel;

  bool GetSearchBackwards() const { return rgSearchDirection->GetItemIndex() == 1; }
  void SetSearchBackwards(bool v) { rgSearchDirection->SetItemIndex(v ? 1 : 0); }
  bool GetSearchCaseSensitive() const { return cbSearchCaseSensitive->GetChecked(); }
  void SetSearchCaseSensitive(bool v) { cbSearchCaseSensitive->SetChecked(v); }
  bool GetSearchFromCursor() const { return cbSearchFromCursor->GetChecked(); }
  void SetSearchFromCursor(bool v) { cbSearchFromCursor->SetChecked(v); }
  bool GetSearchSelectionOnly() const { return cbSearchSelectedOnly->GetChecked(); }
  // The box is enabled exactly while it is checked.
  void SetSearchSelectionOnly(bool v);
  bool GetSearchWholeWords() const { return cbSearchWholeWords->GetChecked(); }
  void SetSearchWholeWords(bool v) { cbSearchWholeWords->SetChecked(v); }
  bool GetSearchRegularExpression() const { return cbRegularExpression->GetChecked(); }
  void SetSearchRegularExpression(bool v) { cbRegularExpression->SetChecked(v); }
  bool GetSearchInAllConfig() const { return cbSearchInAllConfig->GetChecked(); }
  // Also disables the without-hidden-files box.
  void SetSearchInAllConfig(bool v);
  bool GetSearchWithoutHiddenFiles() const { return cbSearchWithoutHiddenFiles->GetChecked(); }
  void SetSearchWithoutHiddenFiles(bool v) { cbSearchWithoutHiddenFiles->SetChecked(v); }
  std::string GetSearchText() const { return cbxSearchText->GetText(); }
  void SetSearchText(const std::string& v) { cbxSearchText->SetText(v); }
  // Lines joined by CR LF; read back as at most the first 20.
  std::string GetSearchTextHistory() const;
  void SetSearchTextHistory(const std::string& v);

  // Shows the dialog modally; on OK the entered texts move to the front of
  // their lists. Returns the modal result.
  int Execute();
  // Answers in place of the modal loop when set (tests): gets the filled
  // dialog, may change it, and returns the modal result.
  static std::function<int(TTextSearchDialog&)> ExecuteHook;

 protected:
  // Places the controls below the search text starting at top.
  void PlaceOptions(int top);
  virtual void AcceptTexts();
  void KeyDown(std::uint16_t& key, TShiftState shift) override;
};

}  // namespace ond
