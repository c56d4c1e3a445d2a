#include "workspace/USearchText.h"

#include <algorithm>

#include "platform/core/Keys.h"
#include "services/ULocalization.h"

namespace ond {

std::function<int(TTextSearchDialog&)> TTextSearchDialog::ExecuteHook;

std::vector<std::string> SplitHistory(const std::string& lines) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start <= lines.size()) {
    std::size_t end = lines.find_first_of("\r\n", start);
    if (end == std::string::npos) end = lines.size();
    std::string item = lines.substr(start, end - start);
    // Empty lines and repeats are no history.
    if (!item.empty() && std::find(items.begin(), items.end(), item) == items.end()) items.push_back(item);
    if (end < lines.size() && lines[end] == '\r' && end + 1 < lines.size() && lines[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return items;
}

std::string JoinHistory(const std::vector<std::string>& items, std::size_t limit) {
  std::string out;
  for (std::size_t i = 0; i < items.size() && i < limit; ++i) {
    if (i > 0) out += "\r\n";
    out += items[i];
  }
  return out;
}

void MoveToFront(TComboBox* box) {
  const std::string text = box->GetText();
  if (text.empty()) return;
  if (const int at = box->IndexOf(text); at >= 0) box->DeleteItem(at);
  box->InsertItem(0, text);
  box->SetText(text);
}

void DropDownOnDownKey(TComboBox* box) {
  box->OnKeyDown = [box](TObject*, std::uint16_t& key, TShiftState shift) {
    if (key == VK_DOWN && shift == 0) {
      box->SetDroppedDown(true);
      key = 0;
    }
  };
}

TTextSearchDialog::TTextSearchDialog(TComponent* owner) : TForm(owner) {
  Name = "TextSearchDialog";
  KeyPreview = true;
  SetCaption(Lang(leSearchCaption));
  SetBounds(0, 0, 409, 242);
  CenterOnScreen();

  lWathSearch = new TLabel(this);
  lWathSearch->SetCaption(Lang(leSearchFor));
  lWathSearch->SetBounds(8, 12, 100, 16);
  lWathSearch->SetParent(this);
  cbxSearchText = new TComboBox(this);
  cbxSearchText->Name = "cbxSearchText";
  cbxSearchText->SetBounds(110, 8, 291, 24);
  cbxSearchText->SetParent(this);
  DropDownOnDownKey(cbxSearchText);

  const auto check = [this](const char* name, int entry) {
    auto* box = new TCheckBox(this);
    box->Name = name;
    box->SetCaption(Lang(entry));
    box->SetParent(this);
    return box;
  };
  cbSearchWholeWords = check("cbSearchWholeWords", leWholeWords);
  cbSearchCaseSensitive = check("cbSearchCaseSensitive", leCaseSensitive);
  cbSearchFromCursor = check("cbSearchFromCursor", leFromCaret);
  cbSearchFromCursor->SetChecked(true);
  cbSearchSelectedOnly = check("cbSearchSelectedOnly", leSelectedOnly);
  cbSearchSelectedOnly->SetEnabled(false);
  cbRegularExpression = check("cbRegularExpression", leRegularExpression);

  rgSearchDirection = new TRadioGroup(this);
  rgSearchDirection->Name = "rgSearchDirection";
  rgSearchDirection->SetCaption(Lang(leDirection));
  rgSearchDirection->SetItems({Lang(leDown), Lang(leUp)});
  rgSearchDirection->SetItemIndex(0);
  rgSearchDirection->SetParent(this);

  cbSearchInAllConfig = check("cbSearchInAllConfig", leEntireConfig);
  cbSearchInAllConfig->OnClick = [this](TObject*) { cbSearchWithoutHiddenFiles->SetEnabled(false); };
  cbSearchWithoutHiddenFiles = check("cbSearchWithoutHiddenFiles", leWithoutHidden);
  cbSearchWithoutHiddenFiles->SetChecked(true);
  cbSearchWithoutHiddenFiles->SetEnabled(false);

  bOK = new TButton(this);
  bOK->Name = "bOK";
  bOK->SetCaption(Lang(leOK));
  bOK->ModalResult = IDOK;
  bOK->SetParent(this);
  bCancel = new TButton(this);
  bCancel->Name = "bCancel";
  bCancel->SetCaption(Lang(leCancel));
  bCancel->ModalResult = IDCANCEL;
  bCancel->SetParent(this);
  PlaceOptions(40);
}

void TTextSearchDialog::PlaceOptions(int top) {
  int y = top;
  for (TCheckBox* box : {cbSearchWholeWords, cbSearchCaseSensitive, cbSearchFromCursor, cbSearchSelectedOnly,
                         cbRegularExpression}) {
    box->SetBounds(12, y + 4, 190, 22);
    y += 26;
  }
  rgSearchDirection->SetBounds(212, top, 189, 76);
  cbSearchInAllConfig->SetBounds(216, top + 84, 185, 22);
  cbSearchWithoutHiddenFiles->SetBounds(232, top + 108, 169, 22);
  bOK->SetBounds(Width() - 176, Height() - 34, 80, 26);
  bCancel->SetBounds(Width() - 88, Height() - 34, 80, 26);
}

void TTextSearchDialog::SetSearchSelectionOnly(bool v) {
  cbSearchSelectedOnly->SetChecked(v);
  cbSearchSelectedOnly->SetEnabled(v);
}

void TTextSearchDialog::SetSearchInAllConfig(bool v) {
  cbSearchInAllConfig->SetChecked(v);
  cbSearchWithoutHiddenFiles->SetEnabled(false);
}

std::string TTextSearchDialog::GetSearchTextHistory() const {
  return JoinHistory(cbxSearchText->GetItems(), SearchHistoryLimit);
}

void TTextSearchDialog::SetSearchTextHistory(const std::string& v) {
  cbxSearchText->SetItems(SplitHistory(v));
}

void TTextSearchDialog::AcceptTexts() { MoveToFront(cbxSearchText); }

int TTextSearchDialog::Execute() {
  const int result = ExecuteHook ? ExecuteHook(*this) : ShowModal();
  if (result == IDOK) AcceptTexts();
  return result;
}

void TTextSearchDialog::KeyDown(std::uint16_t& key, TShiftState shift) {
  if (key == VK_RETURN) {
    SetModalResult(IDOK);
    key = 0;
  } else if (key == VK_ESCAPE) {
    SetModalResult(IDCANCEL);
    key = 0;
  } else {
    TForm::KeyDown(key, shift);
  }
}

}  // namespace ond
