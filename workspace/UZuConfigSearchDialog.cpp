// The set's search and replace dialog: filled from the search settings and
// the active editor, and stored back when the user confirms.
#include <memory>

#include "platform/core/CodePage.h"
#include "services/USystem.h"
#include "workspace/UReplaceDialog.h"
#include "workspace/UZuConfigs.h"

namespace ond {

void TZuConfig::ShowSearchDialog(bool replace) {
  if (!Editors) return;
  auto& search = Settings.search;
  auto& o = search.options;
  std::unique_ptr<TTextSearchDialog> dialog;
  TTextReplaceDialog* replaceDialog = nullptr;
  if (replace) {
    auto d = std::make_unique<TTextReplaceDialog>(nullptr);
    replaceDialog = d.get();
    dialog = std::move(d);
  } else {
    dialog = std::make_unique<TTextSearchDialog>(nullptr);
  }
  TTextSearchDialog& d = *dialog;
  d.SetSearchBackwards(o.backwards);
  d.SetSearchCaseSensitive(o.casesensitive);
  d.SetSearchFromCursor(o.fromcaret);
  d.SetSearchText(search.find.text);

  TEditor* active = Editors->Active();
  TOndEditor* editor = active ? active->Editor : nullptr;
  if (editor && o.fromcaret) {
    if (editor->SelAvail() && editor->GetBlockBegin().Line == editor->GetBlockEnd().Line)
      d.SetSearchText(editor->GetSelText());
    else if (const std::string word = editor->WordAtCursor(); !word.empty())
      d.SetSearchText(word);
  }
  d.SetSearchSelectionOnly(editor && editor->SelAvail() && !AnsiSameText(editor->GetSelText(), d.GetSearchText()));
  d.SetSearchWholeWords(o.wholewords);
  d.SetSearchRegularExpression(o.regex);
  d.SetSearchInAllConfig(o.inallconfig);
  if (!active) {
    d.SetSearchInAllConfig(true);
    d.cbSearchInAllConfig->SetEnabled(false);
  }
  d.SetSearchWithoutHiddenFiles(o.withouthiddenfiles);
  d.SetSearchTextHistory(search.find.history);
  if (replaceDialog) {
    replaceDialog->SetReplaceText(search.replace.text);
    replaceDialog->SetReplaceTextHistory(search.replace.history);
  }

  if (d.Execute() != IDOK) return;
  o.backwards = d.GetSearchBackwards();
  o.casesensitive = d.GetSearchCaseSensitive();
  o.fromcaret = d.GetSearchFromCursor();
  o.selectiononly = d.GetSearchSelectionOnly();
  o.wholewords = d.GetSearchWholeWords();
  o.regex = d.GetSearchRegularExpression();
  o.inallconfig = d.GetSearchInAllConfig();
  o.withouthiddenfiles = d.GetSearchWithoutHiddenFiles();
  SearchContinues = o.fromcaret;
  search.find.text = d.GetSearchText();
  search.find.history = d.GetSearchTextHistory();
  if (replaceDialog) {
    search.replace.text = replaceDialog->GetReplaceText();
    search.replace.history = replaceDialog->GetReplaceTextHistory();
  }
  dialog.reset();
  if (search.find.text.empty()) return;
  SearchInConfig(replace, false);
  SearchContinues = true;
}

}  // namespace ond
