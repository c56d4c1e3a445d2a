// The editor's search and replace through the plain search engine.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "editor/OndEdit.h"
#include "search/OndEditSearch.h"

namespace ond {
namespace {

TEST(SearchReplace, FindReplacePromptAndUndo) {
  auto ed = std::make_unique<TOndEdit>(nullptr);
  ed->SetBounds(0, 0, 400, 300);
  EXPECT_THROW(ed->SearchReplace("a", "", 0), EOndEditError);
  TOndEditSearch engine;
  ed->SetSearchEngine(&engine);
  ed->Lines()->SetText("xa ya\naaa\nza");
  EXPECT_EQ(ed->SearchReplace("", "", ssoEntireScope), 0);
  // A search selects only the first match.
  EXPECT_EQ(ed->SearchReplace("a", "", ssoEntireScope), 1);
  EXPECT_EQ(ed->GetBlockBegin(), BufferCoord(2, 1));
  EXPECT_EQ(ed->GetBlockEnd(), BufferCoord(3, 1));
  // From the caret it finds the next one; backwards from (1, 1) nothing.
  EXPECT_EQ(ed->SearchReplace("a", "", 0), 1);
  EXPECT_EQ(ed->GetBlockBegin(), BufferCoord(5, 1));
  ed->SetCaretXY(BufferCoord(1, 1));
  EXPECT_EQ(ed->SearchReplace("a", "", ssoBackwards), 0);

  // Every a by bb: matches on a line shift by one per replacement; one undo.
  EXPECT_EQ(ed->SearchReplace("a", "bb", ssoEntireScope | ssoReplace | ssoReplaceAll), 6);
  EXPECT_EQ(ed->Lines()->GetText(), "xbb ybb\r\nbbbbbb\r\nzbb");
  ed->Undo();
  EXPECT_EQ(ed->Lines()->GetText(), "xa ya\r\naaa\r\nza");

  // Prompted: skip, replace, then replace all.
  std::vector<TOndReplaceAction> answers = {raSkip, raReplace, raReplaceAll};
  std::size_t asked = 0;
  ed->OnReplaceText = [&](TObject*, const std::string&, const std::string&, int, int, TOndReplaceAction& a) {
    a = asked < answers.size() ? answers[asked] : raCancel;
    ++asked;
  };
  EXPECT_EQ(ed->SearchReplace("a", "Q", ssoEntireScope | ssoReplace | ssoReplaceAll | ssoPrompt), 6);
  EXPECT_EQ(asked, 3u);
  EXPECT_EQ(ed->Lines()->GetText(), "xa yQ\r\nQQQ\r\nzQ");
  // Replacing a text by itself is no replacement.
  ed->OnReplaceText = nullptr;
  EXPECT_EQ(ed->SearchReplace("Q", "Q", ssoEntireScope | ssoReplace | ssoReplaceAll), 0);
  // Prompting without a handler cancels.
  EXPECT_EQ(ed->SearchReplace("Q", "R", ssoEntireScope | ssoReplace | ssoPrompt), 1);
  EXPECT_EQ(ed->Lines()->GetText(), "xa yQ\r\nQQQ\r\nzQ");

  // Selected only in a column block: only matches wholly inside.
  ed->Lines()->SetText("xaax\naaxx");
  ed->SetSelectionMode(smColumn);
  ed->PlaceCaretAndSelection(BufferCoord(4, 2), BufferCoord(2, 1), BufferCoord(4, 2));
  EXPECT_EQ(ed->SearchReplace("aa", "b", ssoSelectedOnly | ssoReplace | ssoReplaceAll), 1);
  EXPECT_EQ(ed->Lines()->GetText(), "xbx\r\naaxx");
}

// An engine that goes before the editor is let go of; an editor that goes
// first takes back its request to hear of it.
TEST(SearchReplace, AnEngineThatGoesIsLetGoOf) {
  auto ed = std::make_unique<TOndEdit>(nullptr);
  auto engine = std::make_unique<TOndEditSearch>();
  ed->SetSearchEngine(engine.get());
  ed->Lines()->SetText("abc");
  engine.reset();
  EXPECT_EQ(ed->GetSearchEngine(), nullptr);
  EXPECT_THROW(ed->SearchReplace("a", "", ssoEntireScope), EOndEditError);
  engine = std::make_unique<TOndEditSearch>();
  ed->SetSearchEngine(engine.get());
  ed.reset();
  engine.reset();  // tells no one
}

// The scope's last line shifts its end by every replacement, as the other
// lines do: no match on it is left out, with or without "selected only".
TEST(SearchReplace, ReplaceAllReachesEveryMatchOnTheScopesLastLine) {
  struct Case {
    const char* text;
    std::uint8_t options;
    const char* expected;
    int count;
  };
  const Case cases[] = {
      {"aaa", ssoEntireScope, "bbbbbb", 3},
      {"x\naaa", ssoEntireScope, "x\r\nbbbbbb", 3},
      {"aaa\naaa", ssoEntireScope, "bbbbbb\r\nbbbbbb", 6},
      {"aaa", 0, "bbbbbb", 3},  // from the caret at (1, 1)
  };
  for (const Case& c : cases) {
    auto ed = std::make_unique<TOndEdit>(nullptr);
    ed->SetBounds(0, 0, 400, 300);
    TOndEditSearch engine;
    ed->SetSearchEngine(&engine);
    ed->Lines()->SetText(c.text);
    EXPECT_EQ(ed->SearchReplace("a", "bb", c.options | ssoReplace | ssoReplaceAll), c.count) << c.text;
    EXPECT_EQ(ed->Lines()->GetText(), c.expected) << c.text;
    ed->SetSearchEngine(nullptr);
  }
}

}  // namespace
}  // namespace ond
