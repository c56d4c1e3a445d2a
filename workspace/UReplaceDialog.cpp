#include "workspace/UReplaceDialog.h"

#include "services/ULocalization.h"

namespace ond {

TTextReplaceDialog::TTextReplaceDialog(TComponent* owner) : TTextSearchDialog(owner) {
  Name = "TextReplaceDialog";
  SetCaption(Lang(leReplaceCaption));
  SetBounds(0, 0, 409, 280);
  CenterOnScreen();
  lToReplace = new TLabel(this);
  lToReplace->SetCaption(Lang(leReplaceWith));
  lToReplace->SetBounds(8, 44, 100, 16);
  lToReplace->SetParent(this);
  cbxReplaceText = new TComboBox(this);
  cbxReplaceText->Name = "cbxReplaceText";
  cbxReplaceText->SetBounds(110, 40, 291, 24);
  cbxReplaceText->SetParent(this);
  DropDownOnDownKey(cbxReplaceText);
  // Tab goes from the search text to the replacement, as the fields stand.
  cbxReplaceText->SetTabOrderAfter(cbxSearchText);
  PlaceOptions(78);
}

std::string TTextReplaceDialog::GetReplaceTextHistory() const {
  return JoinHistory(cbxReplaceText->GetItems(), ReplaceHistoryLimit);
}

void TTextReplaceDialog::SetReplaceTextHistory(const std::string& v) { cbxReplaceText->SetItems(SplitHistory(v)); }

void TTextReplaceDialog::AcceptTexts() {
  TTextSearchDialog::AcceptTexts();
  MoveToFront(cbxReplaceText);
}

}  // namespace ond
