// An edit made while a fold is collapsed finds the ranges again as if the
// fold were open: the other tokens of the collapsed header's line count,
// and so do those the fold hides, so the marks fit the text, a click folds
// the lines it should, and once every fold is open the tree is the one a
// scan of the text finds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/OndEdit.h"
#include "editor/OndEditKeyCmds.h"
#include "tests/editor/gui/LoadedEditor.h"

namespace ond {
namespace {

// The tree a scan of Ed's text finds, with the folds Ed has collapsed at
// Headers (outermost last) collapsed as well.
std::string TreeOfAScan(TOndEdit& Ed, const std::vector<int>& Headers) {
  auto fresh = test::OpenLoaded(Ed.TextWithFoldsExpanded(), true);
  for (int header : Headers) {
    TOndEditFoldRange* r = fresh->Edit->FoldRangeAtLine(header);
    EXPECT_TRUE(r && fresh->Edit->CollapseFoldRange(r)) << header;
  }
  return test::FoldRangeList(fresh->Edit->AllFoldRanges(), true);
}

void Type(TOndEdit& Ed, int Line, const std::string& Text) {
  Ed.SetCaretXY(BufferCoord(Ed.Lines()->GetView(Line - 1).size() + 1, Line));
  for (char c : Text) Ed.CommandProcessor(ecChar, c, nullptr);
}

const char* const kList =
    "{\r\n"
    "  \"list\": [\r\n"
    "    {\r\n"
    "      \"a\": 1,\r\n"
    "      \"x\": 2\r\n"
    "    }, {\r\n"
    "      \"b\": 2,\r\n"
    "      \"y\": 3\r\n"
    "    }\r\n"
    "  ],\r\n"
    "  \"c\": 3,\r\n"
    "  \"d\": 4\r\n"
    "}";

// A fold on a "}, {" line: the brace that closes the range above it stays
// seen while the fold is collapsed.
TEST(FoldUpdateCollapsed, TheOtherTokensOfACollapsedHeaderCount) {
  auto p = test::OpenLoaded(kList, true);
  TOndEdit& ed = *p->Edit;
  ASSERT_TRUE(ed.CollapseFoldRange(ed.FoldRangeAtLine(6)));
  Type(ed, 9, ", \"e\": {}");
  EXPECT_EQ(test::FoldRangeList(ed.AllFoldRanges(), true), TreeOfAScan(ed, {6}));
  ASSERT_TRUE(ed.ExpandFoldRange(ed.FoldRangeAtLine(6)));
  EXPECT_EQ(test::FoldRangeList(ed.AllFoldRanges(), true), TreeOfAScan(ed, {}));
  // Line 3's fold hides its two lines and its closing line, no more.
  ASSERT_TRUE(ed.CollapseFoldRange(ed.FoldRangeAtLine(3)));
  EXPECT_EQ(ed.Lines()->Get(3), "    }, {");
}

struct Case {
  const char* Name;
  const char* Text;
  std::vector<int> Folds;  // collapsed in this order
  int EditLine;
  const char* Typed;
};

const Case kCases[] = {
    {"a closing line that stays in sight", kList, {3}, 12, ", \"e\": {"},
    {"a brace closing an outer range hidden with the fold",
     "{\r\n  \"a\": [ {\r\n    \"x\": 1\r\n  }},\r\n  \"b\": 2\r\n}", {2}, 5, " {"},
    {"braces in a comment and a string the fold hides",
     "{\r\n  \"a\": {\r\n    // } not a brace\r\n    \"s\": \"}\"\r\n  },\r\n  \"b\": 2\r\n}", {2}, 6, ", \"c\": {}"},
    {"a header still open before the fold", "{ \"o\": {\r\n  \"a\": {\r\n    \"x\": 1\r\n  }\r\n}", {2}, 5, "}"},
    {"folds inside folds",
     "{\r\n  \"a\": {\r\n    \"b\": {\r\n      \"x\": 1\r\n    }\r\n  },\r\n  \"c\": 2\r\n}", {3, 2}, 7, ", \"d\": {"},
    {"a quote the fold hides left open",
     "{\r\n  \"}, {{\r\n  /* { */{}\r\n  // }\r\n  /* { */\"x\": 1,\r\n  {} \r\n  }\r\n  // }\r\n  }\r\n"
     " /* { */ {}}\r\n  \"\r\n  }}, \"\r\n\"  {\r\n  }{}\r\n}{\r\n  {\r\n  }\r\n}",
     {1}, 18, "{}"},
};

// Each edit below a collapsed fold, then every fold opened again.
TEST(FoldUpdateCollapsed, TheTreeIsTheOneAScanFindsWithTheSameFolds) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.Name);
    auto p = test::OpenLoaded(c.Text, true);
    TOndEdit& ed = *p->Edit;
    for (int header : c.Folds) ASSERT_TRUE(ed.CollapseFoldRange(ed.FoldRangeAtLine(header))) << header;
    // The edit line is below every fold: its number less the lines hidden.
    const int lines = ed.Lines()->GetCount();
    const std::string before = test::FoldRangeList(ed.AllFoldRanges(), true);
    Type(ed, c.EditLine - (ed.UncollapsedLine(lines) - lines), c.Typed);
    const std::string after = test::FoldRangeList(ed.AllFoldRanges(), true);
    EXPECT_NE(after, before);
    EXPECT_EQ(after, TreeOfAScan(ed, c.Folds));
    ed.ExpandAll();
    EXPECT_EQ(test::FoldRangeList(ed.AllFoldRanges(), true), TreeOfAScan(ed, {}));
  }
}

// A quote typed above a collapsed fold turns what it hides into other
// tokens: the fold stays as it was until it is opened, and opening it
// reads its lines again.
TEST(FoldUpdateCollapsed, AFoldAnEditNoLongerPairsIsReadAgainWhenOpened) {
  auto p = test::OpenLoaded(kList, true);
  TOndEdit& ed = *p->Edit;
  ASSERT_TRUE(ed.CollapseFoldRange(ed.FoldRangeAtLine(6)));
  Type(ed, 4, "\"");
  EXPECT_TRUE(ed.FoldRangeAtLine(6)->Collapsed);
  ed.ExpandAll();
  EXPECT_EQ(test::FoldRangeList(ed.AllFoldRanges(), true), TreeOfAScan(ed, {}));
}

}  // namespace
}  // namespace ond
