// A loaded text's fold scan put off until the folds are wanted: whatever
// comes first (a question about the ranges, a fold command, an edit, a
// change of highlighter or tab width), the editor must then hold exactly
// the ranges a scan made right after loading would have given it.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "editor/OndEdit.h"
#include "editor/OndEditKeyCmds.h"
#include "highlight/OndBuiltinSchemes.h"
#include "highlight/OndGenHighlighter.h"
#include "search/OndEditSearch.h"
#include "tests/editor/gui/LoadedEditor.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

// Braces inside strings and comments do not fold; the last lines close the
// outer block, so the scan needs the highlighter's states down to the end.
const char* const kText =
    "{\r\n"
    "  \"name\": \"a { b\",\r\n"
    "  // a comment with } inside\r\n"
    "  \"list\": [\r\n"
    "    { \"x\": 1 },\r\n"
    "    {\r\n"
    "\t\"y\": \"}\"\r\n"
    "    }\r\n"
    "  ],\r\n"
    "  /* {\r\n"
    "  } */\r\n"
    "  \"deep\": { \"a\": {\r\n"
    "      \"b\": 2\r\n"
    "    }\r\n"
    "  }\r\n"
    "}\r\n";

std::string ReadSample(const std::string& Relative) {
  std::ifstream in(test::SourceDir() + "/" + Relative, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

using test::OpenLoaded;

using test::FoldTreeDump;


std::string Line(const TOndEditFoldRange* R) {
  return R ? std::to_string(R->FromLine) + "-" + std::to_string(R->ToLine) : "none";
}

// The first thing asked of the editor after loading; its answer too must
// match the eager editor's.
struct FirstQuestion {
  const char* Name;
  std::function<std::string(TCustomOndEdit&)> Ask;
};

std::string EachLine(TCustomOndEdit& Ed, const std::function<std::string(int)>& Ask) {
  std::string out;
  for (int line = 1; line <= Ed.Lines()->GetCount() + 1; ++line) out += Ask(line) + ";";
  return out;
}

// A first step with nothing to answer.
std::function<std::string(TCustomOndEdit&)> Act(std::function<void(TCustomOndEdit&)> Step) {
  return [Step](TCustomOndEdit& E) {
    Step(E);
    return std::string();
  };
}

const FirstQuestion kQuestions[] = {
    {"AllCount", [](TCustomOndEdit& E) { return std::to_string(E.AllFoldRanges().AllCount()); }},
    {"TopLevel", [](TCustomOndEdit& E) { return std::to_string(E.AllFoldRanges().Count()); }},
    {"IndexOver",
     [](TCustomOndEdit& E) { return std::to_string(E.AllFoldRanges().Index().Over(1, 1000).size()); }},
    {"RangeAtLine",
     [](TCustomOndEdit& E) { return EachLine(E, [&](int L) { return Line(E.FoldRangeAtLine(L)); }); }},
    {"RangeStartingAt",
     [](TCustomOndEdit& E) { return EachLine(E, [&](int L) { return Line(E.FoldRangeStartingAt(L)); }); }},
    {"RangeEndingAt",
     [](TCustomOndEdit& E) { return EachLine(E, [&](int L) { return Line(E.FoldRangeEndingAt(L)); }); }},
    {"IsRangeEnd",
     [](TCustomOndEdit& E) { return EachLine(E, [&](int L) { return std::to_string(E.IsRangeEnd(L)); }); }},
    {"IsInsideRange",
     [](TCustomOndEdit& E) { return EachLine(E, [&](int L) { return std::to_string(E.IsInsideRange(L)); }); }},
    {"UncollapsedLine",
     [](TCustomOndEdit& E) { return EachLine(E, [&](int L) { return std::to_string(E.UncollapsedLine(L)); }); }},
    {"CaretRange",
     [](TCustomOndEdit& E) {
       E.SetCaretXY(BufferCoord(1, 6));
       return Line(E.HighlightedFoldRange());
     }},
    {"ExpandedText", [](TCustomOndEdit& E) { return E.TextWithFoldsExpanded(); }},
    {"Toggle", [](TCustomOndEdit& E) { return std::to_string(E.ToggleFoldAtLine(12)) + E.Lines()->GetText(); }},
    {"ExpandAll", Act([](TCustomOndEdit& E) { E.ExpandAll(); })},
    {"Rescan", Act([](TCustomOndEdit& E) { E.RescanFoldRanges(); })},
    {"FoldingOffAndOn",
     [](TCustomOndEdit& E) {
       E.CodeFolding().SetEnabled(false);
       E.CodeFolding().SetEnabled(true);
       return std::to_string(E.FoldRangeAtLine(1) != nullptr);
     }},
    {"CaseSensitive", Act([](TCustomOndEdit& E) { E.CodeFolding().SetCaseSensitive(true); })},
    {"TabWidth", Act([](TCustomOndEdit& E) { E.SetTabWidth(2); })},
    {"NoHighlighter", Act([](TCustomOndEdit& E) { E.SetHighlighter(nullptr); })},
    {"InsertLine", Act([](TCustomOndEdit& E) { E.Lines()->Insert(3, "  \"new\": {"); })},
    {"DeleteLines", Act([](TCustomOndEdit& E) { E.Lines()->DeleteLineRange(4, 3); })},
    {"ReplaceLine", Act([](TCustomOndEdit& E) { E.Lines()->Put(10, "  } */ {"); })},
    {"TypeQuote",
     Act([](TCustomOndEdit& E) { E.SetCaretXY(BufferCoord(3, 3)); E.ExecuteCommand(ecChar, '"', nullptr); })},
    {"TypeLineBreakAndUndo",
     [](TCustomOndEdit& E) {
       E.SetCaretXY(BufferCoord(2, 1));
       E.ExecuteCommand(ecLineBreak, 0, nullptr);
       const std::string after = FoldTreeDump(E);
       E.Undo();
       return after;
     }},
};

class PostponedFoldScan : public ::testing::TestWithParam<FirstQuestion> {};

TEST_P(PostponedFoldScan, AnswersAndRangesMatchAScanAtLoading) {
  for (const std::string& text :
       {std::string(kText), ReadSample("samples/@quarn.zu"), ReadSample("samples/quarn/colors/colors.zu")}) {
    auto eager = OpenLoaded(text, true);
    auto lazy = OpenLoaded(text, false);
    ASSERT_TRUE(lazy->Edit->AllFoldRanges().ScanPending());
    EXPECT_EQ(GetParam().Ask(*lazy->Edit), GetParam().Ask(*eager->Edit));
    EXPECT_EQ(FoldTreeDump(*lazy->Edit), FoldTreeDump(*eager->Edit));
  }
}

INSTANTIATE_TEST_SUITE_P(FirstQuestions, PostponedFoldScan, ::testing::ValuesIn(kQuestions),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(PostponedFoldScanLoad, NothingBeforeTheFirstQuestionScans) {
  auto lazy = OpenLoaded(kText, false);
  // The folding switch and moving the caret leave the scan to come; the
  // caret's range is the one on the line it was moved to.
  lazy->Edit->CodeFolding().SetEnabled(false);
  lazy->Edit->CodeFolding().SetEnabled(true);
  lazy->Edit->SetCaretXY(BufferCoord(1, 8));
  lazy->Edit->SetCaretXY(BufferCoord(1, 9));
  lazy->Edit->SetCaretXY(BufferCoord(1, 8));
  EXPECT_TRUE(lazy->Edit->AllFoldRanges().ScanPending());
  EXPECT_EQ(Line(lazy->Edit->HighlightedFoldRange()), "6-8");
}

TEST(PostponedFoldScanLoad, SearchingLeavesTheScanToCome) {
  auto lazy = OpenLoaded(kText, false);
  TOndEditSearch engine;
  lazy->Edit->SetSearchEngine(&engine);
  EXPECT_EQ(lazy->Edit->SearchReplace("deep", "", ssoEntireScope), 1);
  EXPECT_TRUE(lazy->Edit->AllFoldRanges().ScanPending());
}

TEST(PostponedFoldScanLoad, ClearingTheTextDropsTheScan) {
  auto lazy = OpenLoaded(kText, false);
  lazy->Edit->Lines()->Clear();
  EXPECT_FALSE(lazy->Edit->AllFoldRanges().ScanPending());
  EXPECT_EQ(lazy->Edit->AllFoldRanges().AllCount(), 0);
}

}  // namespace
}  // namespace ond
