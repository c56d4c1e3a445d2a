// A config minified onto one line: its fold scan finds the tree the same
// text spread over lines has, cuts the line into tokens once however many
// braces it asks about, and runs in idle-time pieces that stop inside the
// line, so the text is painted before its folds are known.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "editor/OndEdit.h"
#include "highlight/OndBuiltinSchemes.h"
#include "highlight/OndGenHighlighter.h"
#include "platform/Forms.h"
#include "platform/Graphics.h"
#include "tests/editor/gui/LoadedEditor.h"

namespace ond {
namespace {

using namespace std::chrono_literals;
using test::FoldTreeDump;
using test::OpenLoaded;

// The pieces of a config: objects with strings, comments and arrays that
// hold braces of their own, five ranges to an object. Joined with nothing
// they make one line, with line breaks a text over lines; no piece is cut.
std::vector<std::string> ConfigPieces(int Objects) {
  std::vector<std::string> p{"{"};
  for (int i = 0; i < Objects; ++i) {
    p.push_back("\"o" + std::to_string(i) + "\": {");
    for (const char* s : {"\"name\": \"a { b\",", "/* } */", "\"list\": [", "{ \"x\": \"}\" },", "{", "\"y\": [1, 2]",
                          "}", "],", "\"deep\": { \"a\": { \"b\": 3 } }"})
      p.emplace_back(s);
    p.emplace_back(i + 1 < Objects ? "}," : "}");
  }
  p.emplace_back("}");
  return p;
}

std::string Join(const std::vector<std::string>& Pieces, const char* Between) {
  std::string out;
  for (const std::string& s : Pieces) (out += s) += Between;
  return out;
}

// The tree without its line numbers: the range each sits in, depth and
// region, in flat order.
std::string TreeShape(TCustomOndEdit& Ed) { return test::FoldRangeList(Ed.AllFoldRanges(), false); }

void Paint(TCustomOndEdit& Ed) {
  TBitmap bmp;
  Ed.PaintTo(bmp);
}

TEST(LongLineFoldScan, OneLineHasTheTreeOfTheSameTextOverLinesAlsoWhenScannedInPieces) {
  const std::vector<std::string> pieces = ConfigPieces(3000);
  const std::string oneLine = Join(pieces, "");
  ASSERT_GE(oneLine.size(), TCustomOndEdit::kIdleWorkChars);
  auto spread = OpenLoaded(Join(pieces, "\r\n"), true);
  auto eager = OpenLoaded(oneLine, true);
  ASSERT_EQ(eager->Edit->Lines()->GetCount(), 1);
  EXPECT_EQ(eager->Edit->AllFoldRanges().AllCount(), 1 + 3000 * 5);
  EXPECT_EQ(TreeShape(*eager->Edit), TreeShape(*spread->Edit));

  // In pieces with no time to spare: each stops inside the line.
  auto lazy = OpenLoaded(oneLine, false);
  Paint(*lazy->Edit);
  int runs = 0;
  while (!lazy->Edit->RunIdleWork(0ms)) ++runs;
  EXPECT_GT(runs, 3);
  EXPECT_EQ(FoldTreeDump(*lazy->Edit), FoldTreeDump(*eager->Edit));
}

class PassCounter : public TOndGenHighlighter {
 public:
  void SetLine(std::string_view Text, int LineIndex) override {
    ++Passes[LineIndex];
    TOndGenHighlighter::SetLine(Text, LineIndex);
  }
  int Most() const {
    int most = 0;
    for (const auto& [line, n] : Passes) most = std::max(most, n);
    return most;
  }
  std::map<int, int> Passes;
};

TEST(LongLineFoldScan, AScanAndABracketSearchCutEachLineOnce) {
  PassCounter h;
  ASSERT_TRUE(LoadBuiltinScheme(h, 0));
  TOndEdit ed(nullptr);
  ed.SetBounds(0, 0, 500, 400);
  ed.SetHighlighter(&h);
  ed.CodeFolding().SetHighlighterFoldRegions(true);
  // Short lines over a comment that runs across lines, then a long line.
  const std::vector<std::string> pieces = ConfigPieces(40);
  ed.Lines()->LoadFromString("/* { \r\n } */\r\n" + Join(pieces, "\r\n") + Join(pieces, "") + "\r\n");
  ed.CodeFolding().SetEnabled(true);
  const int longLine = ed.Lines()->GetCount() - 1;
  h.Passes.clear();
  ed.RescanFoldRanges();
  EXPECT_EQ(h.Most(), 1);
  EXPECT_EQ(h.Passes[longLine], 1);
  const int found = ed.AllFoldRanges().AllCount();
  EXPECT_EQ(found, 2 * (1 + 40 * 5));

  // The partner of the long line's first brace is its last character.
  h.Passes.clear();
  const TBufferCoord partner = ed.GetMatchingBracketEx(BufferCoord(1, longLine + 1));
  EXPECT_EQ(partner, BufferCoord(static_cast<int>(ed.Lines()->GetView(longLine).size()), longLine + 1));
  EXPECT_LE(h.Passes[longLine], 1);

  // The same scan put off and run as its pieces are.
  h.Passes.clear();
  ed.RescanFoldRangesLater();
  ed.AllFoldRanges().Settle();
  EXPECT_EQ(ed.AllFoldRanges().AllCount(), found);
  EXPECT_EQ(h.Most(), 1);
  ed.SetHighlighter(nullptr);
}

TEST(LongLineFoldScan, AHalfMegabyteOneLineConfigIsPaintedBeforeItsFoldsAreFound) {
  const std::string text = Join(ConfigPieces(5500), "");
  ASSERT_GE(text.size(), 500u * 1000);
  auto p = OpenLoaded(text, false);
  TCustomOndEdit& ed = *p->Edit;
  ed.SetCaretXY(BufferCoord(1, 1));
  Paint(ed);
  // Painted; the scan and the far bracket partner wait for idle time.
  EXPECT_TRUE(ed.AllFoldRanges().ScanPending());
  bool known = true;
  EXPECT_EQ(ed.MatchingBracketSoon(BufferCoord(1, 1), known), BufferCoord(0, 0));
  EXPECT_FALSE(known);
  EXPECT_TRUE(ed.IdleWorkPending());
  ASSERT_TRUE(test::RunEventLoopUntilIdle(ed));
  EXPECT_EQ(ed.AllFoldRanges().AllCount(), 1 + 5500 * 5);
  EXPECT_EQ(ed.MatchingBracketSoon(BufferCoord(1, 1), known), BufferCoord(static_cast<int>(text.size()), 1));
  EXPECT_TRUE(known);
}

}  // namespace
}  // namespace ond
