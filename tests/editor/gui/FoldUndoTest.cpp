// Undo to the start through folds collapsed and expanded on the way: each
// undo gives back the text of one step, the text as loaded at the start
// (or it stops short where a fold can no longer be put back, never giving
// other text), redo to the end the newest text, and the modified state
// follows. The cases are short sessions where undo goes on past a
// fold record into older edits after the edits undone just before left the
// ranges behind the text.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "editor/OndEdit.h"
#include "editor/OndEditKeyCmds.h"
#include "tests/editor/gui/LoadedEditor.h"

namespace ond {
namespace {

struct UndoSession {
  const char* Text;
  // Steps by blanks: "t3" toggles the fold on line 3, "x" expands every fold,
  // "c4.2" puts the caret at char 4 of line 2 (the last line when there are
  // fewer), "k{" types a character, "e" breaks the line.
  const char* Steps;
  // False where a fold the undo collapses again can no longer hide the
  // lines it hid: the older edits would land on other lines, so undo stops
  // there instead.
  bool ReachesStart = true;
};

const UndoSession kSessions[] = {
    {"{\r\n\r\n}, {\r\n\"\"", "t1 c3.16 k} x c1.2 k{ k{"},
    {"{\r\n\"/* { */\r\n\r\n\r\n\"x\": 1,\"\r\n\r\n\"\r\n\r\n/* { */{\r\n\r\n\r\n\r\n\"\r\n  \"\r\n/* { */\"",
     "c1.3 e c2.15 k} t1 c1.5 e x k{ c8.3 k\""},
    {"{\r\n  {}\r\n  {}\"x\": 1,", "c3.6 k} t1 e x c3.2 k{ e"},
    {"{\r\n\r\n\r\n\r\n\r\n{\r\n\r\n\r\n  }\r\n}, {{}\r\n\"/* { */\r\n{}", "t1 c9.12 k} x c3.9 k\""},
    {"{\r\n\r\n{{}", "c1.2 k} t1 c4.6 k\" x c2.2 k{"},
    {"{\r\n{\r\n}\r\n\"x\": 1,}\r\n\"x\": 1,{", "t1 c6.3 k{ c1.1 x e k{"},
    {"\r\n\r\n\r\n\r\n\r\n{{\r\n\r\n  }, {{", "t6 c2.11 k{ x c7.7 k{"},
    {"\r\n\r\n\r\n\r\n\r\n\r\n{\"x\": 1,\r\n\"\r\n/* { */}, {\r\n{}\"\r\n}, {\r\n\r\n}, {\r\n}\r\n{",
     "c1.27 k\" t7 t10 c1.4 k\" t7", false},
    {"{\r\n\r\n\"\r\n\r\n}, {\"\r\n/* { */}, {\r\n/* { */{\r\n\r\n\r\n\r\n\r\n\"\r\n\r\n\r\n\"}\r\n{}{}\r\n}",
     "t1 c1.11 k} x c3.2 k\" t5 k\" c3.10 k\" x", false},
    {"{\r\n\r\n\r\n\r\n\r\n{}}, {\r\n\"}, {\r\n\"\r\n}, {\"\r\n/* { */", "c3.5 e t7 k\" t1 c2.3 k{ x", false},
};

// Runs the steps with the idle work done after each, as between keystrokes;
// every text the session went through, the loaded one first.
std::vector<std::string> RunSession(TOndEdit& Ed, const std::string& Text, const std::string& Steps) {
  std::vector<std::string> texts{Text};
  std::istringstream in(Steps);
  std::string step;
  while (in >> step) {
    if (step[0] == 't') {
      Ed.ToggleFoldAtLine(std::stoi(step.substr(1)));
    } else if (step == "x") {
      Ed.ExpandAll();
    } else if (step[0] == 'c') {
      const std::size_t dot = step.find('.');
      const int line = std::min(std::stoi(step.substr(dot + 1)), Ed.Lines()->GetCount());
      Ed.SetCaretXY(BufferCoord(std::stoi(step.substr(1, dot - 1)), line));
    } else if (step[0] == 'k') {
      Ed.CommandProcessor(ecChar, step[1], nullptr);
    } else if (step == "e") {
      Ed.CommandProcessor(ecLineBreak, '\0', nullptr);
    }
    test::RunEventLoopUntilIdle(Ed);
    texts.push_back(Ed.TextWithFoldsExpanded());
  }
  return texts;
}

class FoldUndo : public ::testing::TestWithParam<UndoSession> {};

// Undoes (or redoes) as far as it goes, by key or by call; each step must
// give back a text the session went through, and the modified state must
// say so while the text is not the loaded one.
void StepAll(TOndEdit& Ed, bool Redo, bool ByKey, const std::vector<std::string>& Texts) {
  for (int i = 0; i < 100 && (Redo ? Ed.CanRedo() : Ed.CanUndo()); ++i) {
    if (ByKey)
      Ed.CommandProcessor(Redo ? ecRedo : ecUndo, '\0', nullptr);
    else if (Redo)
      Ed.Redo();
    else
      Ed.Undo();
    const std::string now = Ed.TextWithFoldsExpanded();
    ASSERT_NE(std::find(Texts.begin(), Texts.end(), now), Texts.end()) << (Redo ? "redo " : "undo ") << i << " gave\n"
                                                                       << now;
    if (now != Texts.front()) {
      EXPECT_TRUE(Ed.GetModified()) << i;
    }
  }
}

void UndoToStartAndRedoToEnd(bool ByKey) {
  const UndoSession& s = FoldUndo::GetParam();
  auto p = test::OpenLoaded(s.Text, true);
  TOndEdit& ed = *p->Edit;
  const std::vector<std::string> texts = RunSession(ed, s.Text, s.Steps);
  const std::string newest = ed.TextWithFoldsExpanded();
  ASSERT_TRUE(ed.GetModified());
  ASSERT_NO_FATAL_FAILURE(StepAll(ed, false, ByKey, texts));
  if (s.ReachesStart) {
    EXPECT_EQ(ed.TextWithFoldsExpanded(), s.Text);
  }
  EXPECT_EQ(ed.GetModified(), ed.TextWithFoldsExpanded() != s.Text);
  ASSERT_NO_FATAL_FAILURE(StepAll(ed, true, ByKey, texts));
  EXPECT_EQ(ed.TextWithFoldsExpanded(), newest);
  EXPECT_TRUE(ed.GetModified());
}

TEST_P(FoldUndo, UndoToStartAndRedoToEnd) { UndoToStartAndRedoToEnd(false); }
TEST_P(FoldUndo, ByKeyUndoToStartAndRedoToEnd) { UndoToStartAndRedoToEnd(true); }

// A quote typed on the closing line a collapsed fold keeps in sight makes
// its header open a longer range beside the collapsed one; the toggle on
// the header then opens the collapsed fold instead of collapsing the other
// over it, which took the first fold's lines along and put them back at the
// end of the text.
bool CollapsedOn(TOndEdit& Ed, int Line) {
  for (const auto& r : Ed.AllFoldRanges().AllRangeList())
    if (r->FromLine == Line && r->Collapsed && !r->ParentCollapsed) return true;
  return false;
}

TEST(FoldToggleOnCollapsedHeader, OpensTheCollapsedFoldAndKeepsTheText) {
  const std::string text = "\r\n}, {\r\n\r\n\r\n\r\n\r\n\r\n  }, {}, {\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\"// }\r\n}";
  auto p = test::OpenLoaded(text, true);
  TOndEdit& ed = *p->Edit;
  RunSession(ed, text, "t2 c2.3 k\"");
  ASSERT_EQ(ed.Lines()->GetCount(), 12);
  ASSERT_TRUE(CollapsedOn(ed, 2));
  // The other range on the header does not collapse over the folded one.
  TOndEditFoldRange* first = ed.FoldRangeAtLine(2);
  ASSERT_NE(first, nullptr);
  if (!first->Collapsed) {
    EXPECT_FALSE(ed.CollapseFoldRange(first));
  }
  EXPECT_TRUE(ed.ToggleFoldAtLine(2));
  EXPECT_FALSE(CollapsedOn(ed, 2));
  ed.ExpandAll();
  std::string typed = text;
  typed.replace(typed.find("  }, {}, {"), 2, " \" ");
  EXPECT_EQ(ed.TextWithFoldsExpanded(), typed);
  EXPECT_EQ(ed.Lines()->GetText(), typed);
}

INSTANTIATE_TEST_SUITE_P(Sessions, FoldUndo, ::testing::ValuesIn(kSessions),
                         [](const ::testing::TestParamInfo<UndoSession>& Info) {
                           return "Session" + std::to_string(Info.index);
                         });

}  // namespace
}  // namespace ond
