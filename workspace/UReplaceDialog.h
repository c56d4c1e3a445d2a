// The replace dialog: the search dialog with a replacement text and its own
// list of recent replacements.
#pragma once

#include "workspace/USearchText.h"

namespace ond {

class TTextReplaceDialog : public TTextSearchDialog {
 public:
  static constexpr std::size_t ReplaceHistoryLimit = 10;

  explicit TTextReplaceDialog(TComponent* owner);

  TLabel* lToReplace;
  TComboBox* cbxReplaceText;

  std::string GetReplaceText() const { return cbxReplaceText->GetText(); }
  void SetReplaceText(const std::string& v) { cbxReplaceText->SetText(v); }
  // Lines joined by CR LF; read back as at most the first 10.
  std::string GetReplaceTextHistory() const;
  void SetReplaceTextHistory(const std::string& v);

 protected:
  void AcceptTexts() override;
};

}  // namespace ond
