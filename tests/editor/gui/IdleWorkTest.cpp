// The work a long text's painting leaves for idle time: the postponed fold
// scan in pieces and the far partner of a bracket. Run by the event loop or
// a piece at a time, the scan must give exactly the ranges of a scan made at
// once; whatever needs the folds meanwhile finishes it; a search for a
// bracket the caret left or in a text that changed is dropped.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "editor/OndEdit.h"
#include "editor/OndEditKeyCmds.h"
#include "highlight/OndBuiltinSchemes.h"
#include "highlight/OndGenHighlighter.h"
#include "platform/Forms.h"
#include "platform/Graphics.h"
#include "search/OndEditSearch.h"
#include "tests/editor/gui/LoadedEditor.h"
#include "tests/highlight/HighlightTestRules.h"

namespace ond {
namespace {

using namespace std::chrono_literals;

// Braces and brackets inside strings and comments, nested blocks, a comment
// running over lines: one block of 16 lines, repeated inside one outer pair.
const char* const kBlock =
    "  \"b\": {\r\n"
    "    \"name\": \"a { b\",\r\n"
    "    // a comment with } inside\r\n"
    "    \"list\": [\r\n"
    "      { \"x\": 1 },\r\n"
    "      {\r\n"
    "\t\"y\": \"}\"\r\n"
    "      }\r\n"
    "    ],\r\n"
    "    /* {\r\n"
    "    } */\r\n"
    "    \"deep\": { \"a\": {\r\n"
    "        \"b\": [2, 3]\r\n"
    "      }\r\n"
    "    }\r\n"
    "  },\r\n";

// A text of at least Lines lines.
std::string LongText(int Lines) {
  std::string text = "{\r\n";
  for (int n = 1; n < Lines; n += 16) text += kBlock;
  return text + "}\r\n";
}

const int kLong = TCustomOndEdit::kIdleWorkLines + 2000;

using test::OpenLoaded;

using test::FoldTreeDump;

void Paint(TOndEdit& Ed) {
  TBitmap bmp;
  Ed.PaintTo(bmp);
}


using test::RunEventLoopUntilIdle;

TEST(IdleFoldScan, TheEventLoopFinishesTheScanOfALongTextAsAScanAtOnce) {
  const std::string text = LongText(kLong);
  auto eager = OpenLoaded(text, true);
  auto lazy = OpenLoaded(text, false);
  Paint(*lazy->Edit);
  // Painted without marks: the scan waits for idle time.
  EXPECT_TRUE(lazy->Edit->AllFoldRanges().ScanPending());
  EXPECT_TRUE(lazy->Edit->IdleWorkPending());
  ASSERT_TRUE(RunEventLoopUntilIdle(*lazy->Edit));
  EXPECT_FALSE(lazy->Edit->AllFoldRanges().ScanPending());
  EXPECT_EQ(FoldTreeDump(*lazy->Edit), FoldTreeDump(*eager->Edit));
}

TEST(IdleFoldScan, PiecesOneAfterAnotherGiveTheRangesOfAScanAtOnce) {
  const std::string text = LongText(kLong);
  auto eager = OpenLoaded(text, true);
  auto lazy = OpenLoaded(text, false);
  // The caret's line opens a range, found once the scan is complete.
  lazy->Edit->SetCaretXY(BufferCoord(3, 7));
  eager->Edit->SetCaretXY(BufferCoord(3, 7));
  Paint(*lazy->Edit);
  int pieces = 0;
  while (!lazy->Edit->RunIdleWork(0ms)) ++pieces;
  // A piece with no time walks one stretch of lines.
  EXPECT_GT(pieces, 5);
  EXPECT_FALSE(lazy->Edit->IdleWorkPending());
  EXPECT_EQ(FoldTreeDump(*lazy->Edit), FoldTreeDump(*eager->Edit));
  EXPECT_NE(lazy->Edit->HighlightedFoldRange(), nullptr);
}

using test::CountingHighlighter;

TEST(IdleFoldScan, NoPieceScansTheHighlighterStatesFarAhead) {
  // The closing brace's look-up at the end needs the states of every line.
  std::string text = "{\r\n";
  for (int i = 0; i < kLong; ++i) text += "  \"k\": 1,\r\n";
  text += "}\r\n";
  CountingHighlighter h;
  ASSERT_TRUE(LoadBuiltinScheme(h, 0));
  TOndEdit ed(nullptr);
  ed.SetBounds(0, 0, 500, 400);
  ed.SetHighlighter(&h);
  ed.CodeFolding().SetHighlighterFoldRegions(true);
  ed.Lines()->LoadFromString(std::move(text));
  ed.CodeFolding().SetEnabled(true);
  ed.RescanFoldRangesLater();
  TBitmap bmp;
  ed.PaintTo(bmp);
  int most = 0;
  for (bool done = false; !done;) {
    h.Lines = 0;
    done = ed.RunIdleWork(0ms);
    most = std::max(most, h.Lines);
  }
  EXPECT_LT(most, 4000);
  ASSERT_EQ(ed.AllFoldRanges().AllCount(), 1);
  EXPECT_EQ(ed.AllFoldRanges().AllRanges(0)->ToLine, kLong + 2);
  ed.SetHighlighter(nullptr);
}

TEST(IdleFoldScan, AKeyTypedDuringTheFirstScanLeavesTheScanToIdleTime) {
  std::string text = "{\r\n";
  for (int i = 0; i < kLong; ++i) text += "  \"k\": {\"a\": 1},\r\n";
  text += "}\r\n";
  struct Counted {
    CountingHighlighter H;
    TOndEdit Ed{nullptr};
  };
  auto open = [&](bool Eager) {
    auto p = std::make_unique<Counted>();
    EXPECT_TRUE(LoadBuiltinScheme(p->H, 0));
    p->Ed.SetBounds(0, 0, 500, 400);
    p->Ed.SetHighlighter(&p->H);
    p->Ed.CodeFolding().SetHighlighterFoldRegions(true);
    p->Ed.Lines()->LoadFromString(std::string(text));
    p->Ed.CodeFolding().SetEnabled(true);
    if (Eager)
      p->Ed.RescanFoldRanges();
    else
      p->Ed.RescanFoldRangesLater();
    return p;
  };
  auto eager = open(true);
  auto lazy = open(false);
  TBitmap bmp;
  lazy->Ed.PaintTo(bmp);
  for (int i = 0; i < 3; ++i) ASSERT_FALSE(lazy->Ed.RunIdleWork(0ms));
  for (Counted* p : {eager.get(), lazy.get()}) {
    p->Ed.SetCaretXY(BufferCoord(2, 1));
    p->H.Lines = 0;
    p->Ed.CommandProcessor(ecChar, '{', nullptr);
  }
  // The key cut its own line and a few around it, not the text after it.
  EXPECT_LT(lazy->H.Lines, 100);
  EXPECT_TRUE(lazy->Ed.AllFoldRanges().ScanPending());
  while (!lazy->Ed.RunIdleWork(0ms)) {
  }
  while (!eager->Ed.RunIdleWork(0ms)) {
  }
  EXPECT_EQ(FoldTreeDump(lazy->Ed), FoldTreeDump(eager->Ed));
  EXPECT_EQ(lazy->Ed.Lines()->GetText(), eager->Ed.Lines()->GetText());
  for (Counted* p : {eager.get(), lazy.get()}) p->Ed.SetHighlighter(nullptr);
}

TEST(IdleFoldScan, AShortTextGetsItsFoldsOnItsFirstPaint) {
  const std::string text = LongText(TCustomOndEdit::kIdleWorkLines - 100);
  auto eager = OpenLoaded(text, true);
  auto lazy = OpenLoaded(text, false);
  Paint(*lazy->Edit);
  EXPECT_FALSE(lazy->Edit->AllFoldRanges().ScanPending());
  EXPECT_FALSE(lazy->Edit->IdleWorkPending());
  EXPECT_EQ(FoldTreeDump(*lazy->Edit), FoldTreeDump(*eager->Edit));
}

// Whatever needs the folds while pieces of the scan have run finishes it,
// and then answers as the editor scanned at once does; an edit of the text
// leaves the scan to idle time, which settles the ranges of the edited text.
struct Step {
  const char* Name;
  std::function<std::string(TCustomOndEdit&)> Do;
  bool Edits = false;
};

const Step kSteps[] = {
    {"AllCount", [](TCustomOndEdit& E) { return std::to_string(E.AllFoldRanges().AllCount()); }},
    {"RangeAtLateLine", [](TCustomOndEdit& E) {
       const TOndEditFoldRange* r = E.FoldRangeAtLine(kLong - 30);
       return r ? std::to_string(r->FromLine) + "-" + std::to_string(r->ToLine) : std::string("none");
     }},
    {"ToggleLateFold", [](TCustomOndEdit& E) { return std::to_string(E.ToggleFoldAtLine(kLong - 40)); }},
    {"TypeOnTheFirstLine",
     [](TCustomOndEdit& E) {
       E.SetCaretXY(BufferCoord(2, 1));
       E.ExecuteCommand(ecChar, '{', nullptr);
       return std::string();
     },
     true},
    {"DeleteLines",
     [](TCustomOndEdit& E) {
       E.Lines()->DeleteLineRange(2, 16);
       return std::string();
     },
     true},
    {"TabWidth",
     [](TCustomOndEdit& E) {
       E.SetTabWidth(2);
       return std::string();
     }},
    {"NoHighlighter",
     [](TCustomOndEdit& E) {
       E.SetHighlighter(nullptr);
       return std::string();
     }},
};

class IdleFoldScanInterrupted : public ::testing::TestWithParam<Step> {};

TEST_P(IdleFoldScanInterrupted, FinishesFirstAndAnswersAsAScanAtOnce) {
  const std::string text = LongText(kLong);
  auto eager = OpenLoaded(text, true);
  auto lazy = OpenLoaded(text, false);
  Paint(*lazy->Edit);
  for (int i = 0; i < 3; ++i) ASSERT_FALSE(lazy->Edit->RunIdleWork(0ms));
  ASSERT_TRUE(lazy->Edit->AllFoldRanges().ScanPending());
  EXPECT_EQ(GetParam().Do(*lazy->Edit), GetParam().Do(*eager->Edit));
  EXPECT_EQ(lazy->Edit->AllFoldRanges().ScanPending(), GetParam().Edits);
  EXPECT_EQ(lazy->Edit->Lines()->GetText(), eager->Edit->Lines()->GetText());
  // An edit leaves the scan to idle time; the settled tree is that of a
  // scan of the edited text at once.
  while (!lazy->Edit->RunIdleWork(0ms)) {
  }
  if (GetParam().Edits) {
    eager = OpenLoaded(lazy->Edit->Lines()->GetText(), true);
    eager->Edit->SetCaretXY(lazy->Edit->GetCaretXY());
  }
  EXPECT_EQ(FoldTreeDump(*lazy->Edit), FoldTreeDump(*eager->Edit));
}

INSTANTIATE_TEST_SUITE_P(Steps, IdleFoldScanInterrupted, ::testing::ValuesIn(kSteps),
                         [](const auto& Info) { return std::string(Info.param.Name); });

TEST(IdleFoldScan, SearchingAndMovingTheCaretLeaveTheScanToCome) {
  auto lazy = OpenLoaded(LongText(kLong), false);
  TOndEditSearch engine;
  lazy->Edit->SetSearchEngine(&engine);
  Paint(*lazy->Edit);
  ASSERT_FALSE(lazy->Edit->RunIdleWork(0ms));
  lazy->Edit->SetCaretXY(BufferCoord(1, 100));
  EXPECT_EQ(lazy->Edit->SearchReplace("deep", "", ssoEntireScope), 1);
  EXPECT_TRUE(lazy->Edit->AllFoldRanges().ScanPending());
  EXPECT_TRUE(lazy->Edit->IdleWorkPending());
}

TEST(IdleFoldScan, AnEditorClosedMidScanLeavesNothingBehind) {
  auto lazy = OpenLoaded(LongText(kLong), false);
  Paint(*lazy->Edit);
  ASSERT_FALSE(lazy->Edit->RunIdleWork(0ms));
  lazy->Edit.reset();
  // The timer went with the editor.
  for (int i = 0; i < 5; ++i) Application()->ProcessMessages();
}

TEST(IdleFoldScan, ReloadingMidScanStartsAfresh) {
  const std::string text = LongText(kLong);
  auto eager = OpenLoaded(text, true);
  auto lazy = OpenLoaded(text + text, false);
  Paint(*lazy->Edit);
  ASSERT_FALSE(lazy->Edit->RunIdleWork(0ms));
  // Loading drops the ranges (and the scan) of the text before.
  lazy->Edit->Lines()->LoadFromString(std::string(text));
  EXPECT_FALSE(lazy->Edit->AllFoldRanges().ScanPending());
  lazy->Edit->RescanFoldRangesLater();
  Paint(*lazy->Edit);
  ASSERT_TRUE(RunEventLoopUntilIdle(*lazy->Edit));
  EXPECT_EQ(FoldTreeDump(*lazy->Edit), FoldTreeDump(*eager->Edit));
}

// ---- updates of the ranges after edits

// Two edits in a row in a long text, each through the command processor as
// keys send them: the ranges are updated at once from the changed lines and
// the lines after them until the scan stands as before, never from the whole
// text, and come out as a scan of the whole edited text finds them.
TEST(FoldUpdateAfterEdits, TwoEditsInALongTextScanTheLinesAroundThem) {
  struct Key {
    TOndEditorCommand Command;
    char Char;
  };
  struct Case {
    const char* Name;
    int Line, Char;  // in the block at the middle of the text
    std::vector<Key> Keys;
  };
  // A block of kBlock starts on line 2 + 16k: its header is line 1 of it.
  const Case cases[] = {
      {"a line break before the header's brace, then a letter", 1, 8, {{ecLineBreak, 0}, {ecChar, 'x'}}},
      {"a pair of braces typed into a value", 2, 5, {{ecChar, '{'}, {ecChar, '}'}}},
      {"a closing bracket's line deleted, then a letter", 9, 1, {{ecDeleteLine, 0}, {ecChar, 'q'}}},
      {"a comment opened and closed", 5, 7, {{ecChar, '/'}, {ecChar, '*'}}},
      {"a line break inside a nested object, then a letter", 12, 18, {{ecLineBreak, 0}, {ecChar, 'z'}}},
      {"a brace left open, then closed", 12, 5, {{ecChar, '{'}, {ecChar, '}'}}},
  };
  const std::string text = LongText(kLong);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto p = OpenLoaded(text, true);
    TOndEdit& ed = *p->Edit;
    const int block = 2 + 16 * (kLong / 32);
    ed.SetCaretXY(BufferCoord(c.Char, block + c.Line - 1));
    const std::int64_t before = ed.FoldLinesRescanned();
    for (const Key& k : c.Keys) ed.CommandProcessor(k.Command, k.Char, nullptr);
    EXPECT_FALSE(ed.FoldUpdatePending());
    ASSERT_TRUE(RunEventLoopUntilIdle(ed));
    EXPECT_LE(ed.FoldLinesRescanned() - before, 64);
    auto full = OpenLoaded(ed.TextWithFoldsExpanded(), true);
    EXPECT_EQ(test::FoldRangeList(ed.AllFoldRanges(), true), test::FoldRangeList(full->Edit->AllFoldRanges(), true));
  }
}

// A brace that stays open changes the nesting of everything after it: the
// update is the whole text's, in idle time, and gives the same tree.
TEST(FoldUpdateAfterEdits, ABraceLeftOpenUpdatesTheWholeTextInIdleTime) {
  auto p = OpenLoaded(LongText(kLong), true);
  TOndEdit& ed = *p->Edit;
  ed.SetCaretXY(BufferCoord(5, 2 + 16 * 100 + 1));
  ed.CommandProcessor(ecChar, '{', nullptr);
  EXPECT_TRUE(ed.FoldUpdatePending());
  ASSERT_TRUE(RunEventLoopUntilIdle(ed));
  auto full = OpenLoaded(ed.TextWithFoldsExpanded(), true);
  EXPECT_EQ(test::FoldRangeList(ed.AllFoldRanges(), true), test::FoldRangeList(full->Edit->AllFoldRanges(), true));
}

// ---- the partner of a bracket

// The partner by the plainest walk: character after character, every
// bracket asked of the highlighter.
TBufferCoord PlainPartner(TCustomOndEdit& Ed, TBufferCoord P) {
  static const std::string kPairs = "()[]{}<>";
  auto at = [&](TBufferCoord Q) { return Ed.Lines()->GetView(Q.Line - 1)[static_cast<std::size_t>(Q.Char - 1)]; };
  if (P.Line < 1 || P.Line > Ed.Lines()->GetCount() || P.Char < 1 ||
      P.Char > static_cast<int>(Ed.Lines()->GetView(P.Line - 1).size()))
    return BufferCoord(0, 0);
  const std::size_t k = kPairs.find(at(P));
  if (k == std::string::npos) return BufferCoord(0, 0);
  const char open = kPairs[k], close = kPairs[k ^ 1];
  const int step = (k & 1) == 0 ? 1 : -1;
  // The bracket at P counts wherever it stands.
  int depth = 1;
  for (TBufferCoord q = P;;) {
    const std::string_view line = Ed.Lines()->GetView(q.Line - 1);
    if (!(q == P) && q.Char >= 1 && q.Char <= static_cast<int>(line.size())) {
      const char c = at(q);
      std::string token;
      TOndHighlighterAttributes* a = nullptr;
      if ((c == open || c == close) &&
          !(Ed.GetHighlighterAttriAtRowCol(q, token, a) && a && IsNonCodeAttributeName(a->Name()))) {
        depth += c == open ? 1 : -1;
        if (depth == 0) return q;
      }
    }
    q.Char += step;
    if (q.Char < 1 || q.Char > static_cast<int>(line.size())) {
      q.Line += step;
      if (q.Line < 1 || q.Line > Ed.Lines()->GetCount()) return BufferCoord(0, 0);
      q.Char = step > 0 ? 0 : static_cast<int>(Ed.Lines()->GetView(q.Line - 1).size()) + 1;
    }
  }
}

TEST(BracketPartner, EveryBracketOfAShortTextAsThePlainWalkFindsIt) {
  auto p = OpenLoaded(LongText(60), true);
  TOndEdit& ed = *p->Edit;
  int brackets = 0;
  for (int l = 1; l <= ed.Lines()->GetCount(); ++l)
    for (int c = 1; c <= static_cast<int>(ed.Lines()->GetView(l - 1).size()) + 1; ++c) {
      const TBufferCoord at = BufferCoord(c, l);
      const TBufferCoord plain = PlainPartner(ed, at);
      bool known = false;
      const TBufferCoord soon = ed.MatchingBracketSoon(at, known);
      EXPECT_TRUE(known);
      EXPECT_EQ(ed.GetMatchingBracketEx(at), plain) << l << ":" << c;
      EXPECT_EQ(soon, plain) << l << ":" << c;
      brackets += plain.Line > 0;
    }
  EXPECT_GT(brackets, 40);
}

TEST(BracketPartner, AFarPartnerInALongTextComesInIdleTime) {
  auto p = OpenLoaded(LongText(kLong), true);
  TOndEdit& ed = *p->Edit;
  const int last = ed.Lines()->GetCount();  // the closing brace
  bool known = true;
  EXPECT_EQ(ed.MatchingBracketSoon(BufferCoord(1, 1), known), BufferCoord(0, 0));
  EXPECT_FALSE(known);
  EXPECT_TRUE(ed.IdleWorkPending());
  // Asking again goes on with the same search.
  ed.MatchingBracketSoon(BufferCoord(1, 1), known);
  EXPECT_FALSE(known);
  ASSERT_TRUE(RunEventLoopUntilIdle(ed));
  EXPECT_EQ(ed.MatchingBracketSoon(BufferCoord(1, 1), known), BufferCoord(1, last));
  EXPECT_TRUE(known);
  EXPECT_EQ(ed.GetMatchingBracketEx(BufferCoord(1, 1)), BufferCoord(1, last));
  // And backwards, a piece at a time.
  EXPECT_EQ(ed.MatchingBracketSoon(BufferCoord(1, last), known), BufferCoord(0, 0));
  EXPECT_FALSE(known);
  while (!ed.RunIdleWork(0ms)) {
  }
  EXPECT_EQ(ed.MatchingBracketSoon(BufferCoord(1, last), known), BufferCoord(1, 1));
  EXPECT_TRUE(known);
  // Both answers are kept while the text stays as it is.
  EXPECT_EQ(ed.MatchingBracketSoon(BufferCoord(1, 1), known), BufferCoord(1, last));
  EXPECT_TRUE(known);
}

TEST(BracketPartner, ANearPartnerInALongTextIsKnownAtOnce) {
  // Scanned or not: the states the walk needs are scanned on the way.
  for (bool scanned : {true, false}) {
    auto p = OpenLoaded(LongText(kLong), scanned);
    TOndEdit& ed = *p->Edit;
    bool known = false;
    // Line 2 opens "b", closed on line 17.
    EXPECT_EQ(ed.MatchingBracketSoon(BufferCoord(8, 2), known), BufferCoord(3, 17));
    EXPECT_TRUE(known);
    EXPECT_FALSE(ed.IdleWorkPending());
  }
}

TEST(BracketPartner, ACaretMoveOrAnEditDropsTheSearch) {
  auto p = OpenLoaded(LongText(kLong), true);
  TOndEdit& ed = *p->Edit;
  bool known = true;
  ed.MatchingBracketSoon(BufferCoord(1, 1), known);
  ASSERT_TRUE(ed.IdleWorkPending());
  // Right after the bracket the search still serves.
  ed.SetCaretXY(BufferCoord(2, 1));
  EXPECT_TRUE(ed.IdleWorkPending());
  ed.SetCaretXY(BufferCoord(1, 5));
  EXPECT_FALSE(ed.IdleWorkPending());

  ed.SetCaretXY(BufferCoord(1, 1));
  ed.MatchingBracketSoon(BufferCoord(1, 1), known);
  ASSERT_TRUE(RunEventLoopUntilIdle(ed));
  ed.MatchingBracketSoon(BufferCoord(1, 1), known);
  ASSERT_TRUE(known);
  // An edit drops the answers found and a search under way.
  ed.Lines()->Insert(1, "  \"new\": 1,");
  EXPECT_EQ(ed.MatchingBracketSoon(BufferCoord(1, 1), known), BufferCoord(0, 0));
  EXPECT_FALSE(known);
  ed.Lines()->Insert(1, "  \"newer\": 1,");
  EXPECT_FALSE(ed.IdleWorkPending());
  ed.MatchingBracketSoon(BufferCoord(1, 1), known);
  ASSERT_TRUE(RunEventLoopUntilIdle(ed));
  EXPECT_EQ(ed.MatchingBracketSoon(BufferCoord(1, 1), known), BufferCoord(1, ed.Lines()->GetCount()));
  EXPECT_TRUE(known);
}

}  // namespace
}  // namespace ond
