// A collapsed fold whose header line is shared with another range starting
// there first: the one left when the line closing the fold goes. The line
// takes no editing command, shows one mark, the collapsed one's, and a
// toggle opens that fold rather than folding the other range too.
#include <gtest/gtest.h>

#include <string>

#include "editor/OndEdit.h"
#include "editor/OndEditKeyCmds.h"
#include "platform/Clipbrd.h"
#include "tests/editor/gui/LoadedEditor.h"

namespace ond {
namespace {

const char* const kText =
    "{\r\n"
    "  \"a\": [\r\n"
    "    {\r\n"
    "      \"x\": 1\r\n"
    "    }, {\r\n"
    "      \"y\": 2\r\n"
    "    }\r\n"
    "  ]\r\n"
    "}";

// Line 3 collapsed (it hides line 4: the "}, {" line closing it stays in
// sight), then that closing line deleted: the "{" of line 3 now pairs with
// a later "}", and a range of its own starts on line 3 beside the fold.
struct SharedHeader {
  std::unique_ptr<test::LoadedEditor> Loaded = test::OpenLoaded(kText, true);
  TOndEdit& Ed = *Loaded->Edit;
  std::string Text;

  SharedHeader() {
    EXPECT_TRUE(Ed.ToggleFoldAtLine(3));
    Ed.SetCaretXY(BufferCoord(1, 4));
    Ed.CommandProcessor(ecDeleteLine, 0, nullptr);
    EXPECT_TRUE(test::RunEventLoopUntilIdle(Ed));
    Text = Ed.GetEditorText();
  }
  // The ranges starting on the line, and how many of them are collapsed.
  int Heading(int Line, int* Collapsed) const {
    int n = 0;
    *Collapsed = 0;
    for (const auto& r : Ed.AllFoldRanges().AllRangeList())
      if (!r->ParentCollapsed && r->FromLine == Line && r->HasLines()) {
        ++n;
        if (r->Collapsed) ++*Collapsed;
      }
    return n;
  }
};

TEST(FoldHeaderShared, TheStateHasAnotherRangeFirstOnTheCollapsedHeader) {
  SharedHeader s;
  EXPECT_EQ(s.Text, "{\r\n  \"a\": [\r\n    {\r\n      \"x\": 1\r\n      \"y\": 2\r\n    }\r\n  ]\r\n}");
  int collapsed = 0;
  EXPECT_EQ(s.Heading(3, &collapsed), 2) << test::FoldRangeList(s.Ed.AllFoldRanges(), true);
  EXPECT_EQ(collapsed, 1);
  EXPECT_TRUE(s.Ed.FoldRangeAtLine(3) != nullptr && s.Ed.FoldRangeAtLine(3)->Collapsed);
}

struct HeaderEdit {
  const char* Name;
  TOndEditorCommand Command;
  char Char;
  int X;  // the caret's column on the header; 0 for the end of its text
};

void PrintTo(const HeaderEdit& E, std::ostream* Out) { *Out << E.Name; }

class FoldHeaderSharedEdit : public ::testing::TestWithParam<HeaderEdit> {};

// None of these changes the text behind the fold, nor puts anything beside
// its marker.
TEST_P(FoldHeaderSharedEdit, TakesNoEditingCommand) {
  const HeaderEdit& e = GetParam();
  SharedHeader s;
  Clipboard()->SetAsText("\"p\": 1,");
  const int textEnd = static_cast<int>(std::string("    {").size()) + 1;
  s.Ed.SetCaretXY(BufferCoord(e.X == 0 ? textEnd : e.X, 3));
  s.Ed.CommandProcessor(e.Command, e.Char, nullptr);
  EXPECT_TRUE(test::RunEventLoopUntilIdle(s.Ed));
  EXPECT_EQ(s.Ed.GetEditorText(), s.Text);
  int collapsed = 0;
  s.Heading(3, &collapsed);
  EXPECT_EQ(collapsed, 1);
}

INSTANTIATE_TEST_SUITE_P(Commands, FoldHeaderSharedEdit,
                         ::testing::Values(HeaderEdit{"TypingAtTheEndOfItsText", ecChar, ',', 0},
                                           HeaderEdit{"TypingBeyondTheMarker", ecChar, ',', 40},
                                           HeaderEdit{"TypingInItsText", ecChar, 'x', 3},
                                           HeaderEdit{"BackspaceAtTheMarker", ecDeleteLastChar, 0, 0},
                                           HeaderEdit{"BackspaceAtTheFirstColumn", ecDeleteLastChar, 0, 1},
                                           HeaderEdit{"DeleteAtTheMarker", ecDeleteChar, 0, 0},
                                           HeaderEdit{"Paste", ecPaste, 0, 0},
                                           HeaderEdit{"LineBreakAtTheMarker", ecLineBreak, 0, 0},
                                           HeaderEdit{"LineBreakInItsText", ecLineBreak, 0, 3}),
                         [](const ::testing::TestParamInfo<HeaderEdit>& I) { return std::string(I.param.Name); });

// The mark opens the collapsed fold; nothing else on the line folds with it,
// and once open the ranges are a fresh scan's.
TEST(FoldHeaderShared, AToggleOpensTheCollapsedFold) {
  SharedHeader s;
  const int before = s.Ed.Lines()->GetCount();
  EXPECT_TRUE(s.Ed.ToggleFoldAtLine(3));
  EXPECT_TRUE(test::RunEventLoopUntilIdle(s.Ed));
  EXPECT_EQ(s.Ed.Lines()->GetCount(), before + 1);
  EXPECT_EQ(s.Ed.GetEditorText(), s.Text);
  const auto fresh = test::OpenLoaded(s.Text, true);
  EXPECT_EQ(test::FoldRangeList(s.Ed.AllFoldRanges(), true), test::FoldRangeList(fresh->Edit->AllFoldRanges(), true));
}

}  // namespace
}  // namespace ond
