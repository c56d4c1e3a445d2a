// The editor's search and replace through the plain search engine.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <utility>
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

// Replacing in line or column selection mode puts each replacement where its
// match was, as plain text: the mode only decides the scope and stays the
// user's afterwards.
TEST(SearchReplace, LineAndColumnModesReplaceOnlyTheMatch) {
  struct Case {
    TOndSelectionMode mode;
    bool selectAll;  // search the selection only, after selecting everything
    const char* text;
    const char* search;
    const char* replace;
    const char* expected;
  };
  const Case cases[] = {
      {smLine, false, "keep X here\nsecond X line", "X", "Y", "keep Y here\r\nsecond Y line"},
      {smLine, true, "keep X here\nsecond X line", "X", "Y", "keep Y here\r\nsecond Y line"},
      {smColumn, false, "ab\ncd", "b", "\r\nb", "a\r\nb\r\ncd"},
      {smColumn, false, "ab\ncd", "ab", "a\r\nb", "a\r\nb\r\ncd"},
      {smColumn, false, "xa\nxa", "a", "", "x\r\nx"},
  };
  for (const Case& c : cases) {
    auto ed = std::make_unique<TOndEdit>(nullptr);
    ed->SetBounds(0, 0, 400, 300);
    TOndEditSearch engine;
    ed->SetSearchEngine(&engine);
    ed->Lines()->SetText(c.text);
    const std::string before = ed->Lines()->GetText();
    ed->SetSelectionMode(c.mode);
    std::uint8_t options = ssoEntireScope | ssoReplace | ssoReplaceAll;
    if (c.selectAll) {
      ed->SelectAll();
      options |= ssoSelectedOnly;
    }
    ed->SearchReplace(c.search, c.replace, options);
    EXPECT_EQ(ed->Lines()->GetText(), c.expected) << c.text << " / " << c.replace;
    EXPECT_EQ(ed->GetSelectionMode(), c.mode);
    ed->Undo();
    EXPECT_EQ(ed->Lines()->GetText(), before) << c.text << " / " << c.replace;
    ed->SetSearchEngine(nullptr);
  }
  // The issue's column case: a replacement holding a line break.
  auto ed = std::make_unique<TOndEdit>(nullptr);
  TOndEditSearch engine;
  ed->SetSearchEngine(&engine);
  ed->Lines()->SetText("ab\ncd");
  ed->SetSelectionMode(smColumn);
  ed->SearchReplace("b", "\r\nb", ssoEntireScope | ssoReplace | ssoReplaceAll);
  ed->SearchReplace("d", "\r\nd", ssoEntireScope | ssoReplace | ssoReplaceAll);
  EXPECT_EQ(ed->Lines()->GetText(), "a\r\nb\r\nc\r\nd");
  ed->SetSearchEngine(nullptr);
}

// A replace-all makes far more replacements than the undo list keeps
// records; one undo still restores exactly the text before it, and redo
// makes it again. Each case runs over 3,000 lines of two matches each.
TEST(SearchReplace, OneUndoRestoresAReplaceAllBeyondTheUndoCap) {
  struct Case {
    const char* name;
    std::uint8_t options;
    const char* replace;
    int prompted;  // answers "replace" before "replace all"
  };
  const Case cases[] = {
      {"forward", ssoEntireScope, "xx", 0},
      {"backwards", ssoEntireScope | ssoBackwards, "xx", 0},
      {"line breaks", ssoEntireScope, "x\r\ny", 0},
      {"shorter", ssoEntireScope, "", 0},
      {"prompted first", ssoEntireScope | ssoPrompt, "xx", 3},
  };
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "a b a " + std::to_string(i) + "\r\n";
  text += "end";
  for (const Case& c : cases) {
    auto ed = std::make_unique<TOndEdit>(nullptr);
    ed->SetBounds(0, 0, 400, 300);
    TOndEditSearch engine;
    ed->SetSearchEngine(&engine);
    ed->Lines()->SetText(text);
    ed->SetCaretXY(BufferCoord(1, 2));
    ed->CommandProcessor(ecChar, 'q', nullptr);  // an edit before: undone only by a second undo
    const std::string before = ed->Lines()->GetText();
    // Prompted replacements are undone one by one; what "replace all" then
    // did is one step.
    std::string atAll = before;
    int asked = 0;
    ed->OnReplaceText = [&](TObject*, const std::string&, const std::string&, int, int, TOndReplaceAction& a) {
      a = asked++ < c.prompted ? raReplace : raReplaceAll;
      if (a == raReplaceAll) atAll = ed->Lines()->GetText();
    };
    EXPECT_EQ(ed->SearchReplace("a", c.replace, c.options | ssoReplace | ssoReplaceAll), 6000) << c.name;
    const std::string after = ed->Lines()->GetText();
    EXPECT_EQ(after.find("a "), std::string::npos) << c.name;
    EXPECT_LE(ed->UndoList()->ItemCount(), 1024) << c.name;
    ed->Undo();
    EXPECT_EQ(ed->Lines()->GetText(), atAll) << c.name;
    ed->Redo();
    EXPECT_EQ(ed->Lines()->GetText(), after) << c.name;
    for (int i = 0; i <= c.prompted; ++i) ed->Undo();
    EXPECT_EQ(ed->Lines()->GetText(), before) << c.name;
    ed->Undo();
    EXPECT_EQ(ed->Lines()->GetText(), text) << c.name;
    ed->SetSearchEngine(nullptr);
  }
}

// A replace-all records the lines it changed, not the lines between its
// matches: in a long text with a match on its first and its last line and a
// few between, the record and what its undo and redo put back follow the
// changed lines, whichever way the search runs and whether a replacement
// breaks lines.
TEST(SearchReplace, AReplaceAllRecordsOnlyTheLinesItChanged) {
  std::string text;
  const int lines = 20000;
  for (int i = 1; i <= lines; ++i)
    text += (i == 1 || i == lines || i % 4000 == 0 ? "mark " : "item ") + std::to_string(i) + "\r\n";
  text += "end";
  const struct {
    const char* name;
    std::uint8_t options;
    const char* replace;
  } cases[] = {
      {"down", ssoEntireScope, "MARK"},
      {"up", ssoEntireScope | ssoBackwards, "MARK"},
      {"line breaks", ssoEntireScope, "M\r\nK"},
      {"line breaks, up", ssoEntireScope | ssoBackwards, "M\r\nK"},
  };
  for (const auto& c : cases) {
    TOndEdit ed(nullptr);
    TOndEditSearch engine;
    ed.SetSearchEngine(&engine);
    ed.Lines()->SetText(text);
    const std::string before = ed.Lines()->GetText();
    if (c.options & ssoBackwards) ed.SetCaretXY(BufferCoord(4, lines + 1));
    EXPECT_EQ(ed.SearchReplace("mark", c.replace, c.options | ssoReplace | ssoReplaceAll), 6) << c.name;
    const std::string after = ed.Lines()->GetText();
    ASSERT_EQ(ed.UndoList()->ItemCount(), 1) << c.name;
    // Six lines of some twelve bytes, and a few bytes to place each.
    EXPECT_LT(ed.UndoList()->PeekItem()->Text.size(), 6u * 40) << c.name;
    ed.Undo();
    EXPECT_EQ(ed.Lines()->GetText(), before) << c.name;
    EXPECT_EQ(ed.GetCaretXY(), BufferCoord(1, 1)) << c.name;
    ASSERT_EQ(ed.RedoList()->ItemCount(), 1) << c.name;
    EXPECT_LT(ed.RedoList()->PeekItem()->Text.size(), 6u * 40) << c.name;
    ed.Redo();
    EXPECT_EQ(ed.Lines()->GetText(), after) << c.name;
    ed.Undo();
    EXPECT_EQ(ed.Lines()->GetText(), before) << c.name;
    ed.SetSearchEngine(nullptr);
  }
}

// Two replace-alls in a row are two undo steps; a replace-all that changes
// nothing leaves no record; the progress of an unprompted replace-all is
// told line by line.
TEST(SearchReplace, ReplaceAllsAreSeparateStepsAndReportProgress) {
  auto ed = std::make_unique<TOndEdit>(nullptr);
  TOndEditSearch engine;
  ed->SetSearchEngine(&engine);
  ed->Lines()->SetText("a1\na2\nb3");
  int reports = 0, lastDone = -1;
  ed->OnReplaceProgress = [&](TObject*, int done, int lines, int) {
    ++reports;
    EXPECT_GT(done, lastDone);
    EXPECT_EQ(lines, 3);
    lastDone = done;
  };
  ed->SearchReplace("a", "b", ssoEntireScope | ssoReplace | ssoReplaceAll);
  EXPECT_EQ(reports, 3);
  ed->OnReplaceProgress = nullptr;
  ed->SearchReplace("b", "c", ssoEntireScope | ssoReplace | ssoReplaceAll);
  EXPECT_EQ(ed->Lines()->GetText(), "c1\r\nc2\r\nc3");
  const int records = ed->UndoList()->ItemCount();
  EXPECT_EQ(ed->SearchReplace("z", "y", ssoEntireScope | ssoReplace | ssoReplaceAll), 0);
  EXPECT_EQ(ed->UndoList()->ItemCount(), records);
  ed->Undo();
  EXPECT_EQ(ed->Lines()->GetText(), "b1\r\nb2\r\nb3");
  ed->Undo();
  EXPECT_EQ(ed->Lines()->GetText(), "a1\r\na2\r\nb3");
  ed->SetSearchEngine(nullptr);
}

// The plain engine made to answer every line through FindAll, as the
// search did before it looked through many lines at once.
struct LineByLineSearch : TOndEditSearch {
  bool CanSkipText() override { return false; }
};

// In a long text read at once, with lines changed, empty lines and matches
// in both cases, a search that passes over lines finds what the line by
// line one finds: each find next forward and backward, and replace all.
TEST(SearchReplace, PassingOverLinesFindsWhatTheLineByLineSearchFinds) {
  std::mt19937 rng(3);
  const char* words[] = {"needle", "Needle", "hay", "ne", "edle", "", "needles", "_needle"};
  std::string text;
  for (int i = 0; i < 6000; ++i) {
    for (int w = rng() % 4; w > 0; --w) text += std::string(words[rng() % 8]) + (rng() % 3 ? " " : "");
    // Most lines hold no match, as in a real search.
    if (rng() % 3) text += std::string(20 + rng() % 60, '.');
    text += rng() % 2 ? "\r\n" : "\n";
  }
  for (const TOndSearchOptions options : {TOndSearchOptions{0}, TOndSearchOptions{ssoMatchCase},
                                          TOndSearchOptions{ssoWholeWord}}) {
    TOndEditSearch skipping;
    LineByLineSearch lineByLine;
    TOndEdit fast(nullptr), plain(nullptr);
    fast.SetSearchEngine(&skipping);
    plain.SetSearchEngine(&lineByLine);
    for (TOndEdit* ed : {&fast, &plain}) {
      ed->Lines()->SetText(text);
      ed->Lines()->Put(10, "a needle of its own");
      ed->Lines()->Put(5000, "Needle");
    }
    auto walk = [&](TOndEdit& ed, bool backwards) {
      std::vector<std::pair<int, int>> found;
      const int last = ed.Lines()->GetCount();
      ed.SetCaretXY(backwards ? BufferCoord(static_cast<int>(ed.Lines()->GetView(last - 1).size()) + 1, last)
                              : BufferCoord(1, 1));
      while (ed.SearchReplace("needle", "", static_cast<TOndSearchOptions>(options | (backwards ? ssoBackwards : 0))) ==
             1) {
        found.emplace_back(ed.GetBlockBegin().Line, ed.GetBlockBegin().Char);
        ed.SetCaretXY(backwards ? ed.GetBlockBegin() : ed.GetBlockEnd());
      }
      return found;
    };
    for (const bool backwards : {false, true}) {
      const auto expected = walk(plain, backwards);
      EXPECT_GT(expected.size(), 100u);
      EXPECT_EQ(walk(fast, backwards), expected) << int(options) << (backwards ? " up" : " down");
    }
    const int replaced = plain.SearchReplace("needle", "pin", options | ssoEntireScope | ssoReplace | ssoReplaceAll);
    EXPECT_EQ(fast.SearchReplace("needle", "pin", options | ssoEntireScope | ssoReplace | ssoReplaceAll), replaced);
    EXPECT_EQ(fast.Lines()->GetText(), plain.Lines()->GetText());
    fast.SetSearchEngine(nullptr);
    plain.SetSearchEngine(nullptr);
  }
}

}  // namespace
}  // namespace ond
