// An update of a long text's whole fold tree in idle time, after an edit
// that changes the nesting of everything after it: no piece of it walks the
// whole tree (putting the new tree in place and letting the old one go run
// in pieces too), the ranges of the old tree stay what painting and
// clicks see until the new ones come over at once, and the tree it leaves
// is the one a scan of the edited text finds, whether the update ran
// through or started over on a later edit.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <sstream>
#include <string>

#include "editor/OndEdit.h"
#include "editor/OndEditKeyCmds.h"
#include "platform/Graphics.h"
#include "tests/editor/gui/LoadedEditor.h"

namespace ond {
namespace {

using namespace std::chrono_literals;

// Small objects inside one root object: four ranges a block.
const char* const kBlock =
    "  \"o\": {\r\n"
    "    \"list\": [\r\n"
    "      { \"x\": 1 },\r\n"
    "      { \"y\": \"}\" }\r\n"
    "    ],\r\n"
    "    \"deep\": { \"a\": {\r\n"
    "        \"b\": 2\r\n"
    "      }\r\n"
    "    }\r\n"
    "  },\r\n";
constexpr int kBlockLines = 10;

std::string Text(int Blocks) {
  std::string text = "{\r\n";
  for (int n = 0; n < Blocks; ++n) text += kBlock;
  return text + "}\r\n";
}

// Enough ranges that a walk over all of them is several times what a piece
// may walk.
constexpr int kBlocks = 12000;
// The most ranges one piece may walk: a few stretches of the walks that go
// on from one piece to the next, never a share of the tree.
constexpr std::uint64_t kMostPerPiece = 4 * 4096;

// The ranges of Ed and their answers by line equal those of a scan of its
// text at once.
void ExpectAsAScanAtOnce(TOndEdit& Ed) {
  auto full = test::OpenLoaded(Ed.TextWithFoldsExpanded(), true);
  TOndEdit& f = *full->Edit;
  ASSERT_EQ(test::FoldRangeList(Ed.AllFoldRanges(), true), test::FoldRangeList(f.AllFoldRanges(), true));
  for (int line = 1; line <= Ed.Lines()->GetCount(); ++line) {
    const TOndEditFoldRange* a = Ed.FoldRangeAtLine(line);
    const TOndEditFoldRange* b = f.FoldRangeAtLine(line);
    ASSERT_EQ(a != nullptr, b != nullptr) << line;
    if (a) {
      ASSERT_EQ(a->ToLine, b->ToLine) << line;
    }
    ASSERT_EQ(Ed.IsInsideRange(line), f.IsInsideRange(line)) << line;
  }
}

// Runs idle pieces to the end; the most ranges one walked, and how many
// pieces walked any; the most lines one scanned, and how many scanned any.
struct Pieces {
  std::uint64_t Most = 0;
  int Walking = 0;
  std::int64_t MostLines = 0;
  int Scanning = 0;
};
Pieces RunPieces(TOndEdit& Ed) {
  Pieces p;
  for (bool done = false; !done;) {
    const std::uint64_t before = Ed.AllFoldRanges().RangesWalked();
    const std::int64_t linesBefore = Ed.FoldLinesRescanned();
    done = Ed.RunIdleWork(0ms);
    const std::uint64_t walked = Ed.AllFoldRanges().RangesWalked() - before;
    const std::int64_t scanned = Ed.FoldLinesRescanned() - linesBefore;
    p.Most = std::max(p.Most, walked);
    if (walked > 0) ++p.Walking;
    p.MostLines = std::max(p.MostLines, scanned);
    if (scanned > 0) ++p.Scanning;
  }
  return p;
}

}  // namespace

TEST(FoldUpdateIdleSteps, ABraceLeftOpenPutsTheNewTreeInPlaceInBoundedPieces) {
  auto p = test::OpenLoaded(Text(kBlocks), true);
  TOndEdit& ed = *p->Edit;
  ASSERT_GT(ed.AllFoldRanges().AllCount(), static_cast<int>(3 * kMostPerPiece));
  ed.SetCaretXY(BufferCoord(5, 2 + kBlockLines * 100 + 1));
  ed.CommandProcessor(ecChar, '{', nullptr);
  ASSERT_TRUE(ed.FoldUpdatePending());
  const Pieces pieces = RunPieces(ed);
  EXPECT_LE(pieces.Most, kMostPerPiece);
  // The headers looked for, the new tree made ready, the old one let go:
  // each over several pieces.
  EXPECT_GT(pieces.Walking, 6);
  EXPECT_FALSE(ed.FoldUpdatePending());
  EXPECT_FALSE(ed.AllFoldRanges().RetiredPending());
  ExpectAsAScanAtOnce(ed);
}

// While the new tree is made ready, the old one is still what the window
// asks: an edit then starts the update over, and the tree made ready
// for the text of before goes without a trace.
TEST(FoldUpdateIdleSteps, AnEditWhileTheNewTreeIsMadeReadyStartsTheUpdateOver) {
  auto p = test::OpenLoaded(Text(kBlocks), true);
  TOndEdit& ed = *p->Edit;
  const int line = 2 + kBlockLines * 100 + 1;
  ed.SetCaretXY(BufferCoord(5, line));
  ed.CommandProcessor(ecChar, '{', nullptr);
  // Pieces until one walks ranges after the scan (pieces that walk
  // none): the new tree is being made ready then.
  bool scanned = false, readying = false;
  while (!readying) {
    const std::uint64_t before = ed.AllFoldRanges().RangesWalked();
    ASSERT_FALSE(ed.RunIdleWork(0ms));
    const std::uint64_t walked = ed.AllFoldRanges().RangesWalked() - before;
    if (walked == 0) scanned = true;
    readying = scanned && walked > 0;
  }
  ASSERT_TRUE(ed.FoldUpdatePending());
  // The old ranges still answer for the lines above the edit.
  const TOndEditFoldRange* above = ed.FoldRangeAtLine(2);
  ASSERT_NE(above, nullptr);
  EXPECT_EQ(above->ToLine, 1 + kBlockLines);
  ed.CommandProcessor(ecChar, 'x', nullptr);
  RunPieces(ed);
  EXPECT_FALSE(ed.FoldUpdatePending());
  ExpectAsAScanAtOnce(ed);
  // And the brace closed again: the nesting of before.
  ed.CommandProcessor(ecChar, '}', nullptr);
  RunPieces(ed);
  ExpectAsAScanAtOnce(ed);
}

// A key typed while the update scans: the ranges its scan found so far go
// in idle-time pieces too, not with the key.
TEST(FoldUpdateIdleSteps, AKeyTypedDuringTheScanLeavesTheRangesFoundToIdleTime) {
  auto p = test::OpenLoaded(Text(kBlocks), true);
  TOndEdit& ed = *p->Edit;
  ed.SetCaretXY(BufferCoord(5, 2 + kBlockLines * 100 + 1));
  ed.CommandProcessor(ecChar, '{', nullptr);
  // Most of the text scanned: pieces that walk no range of a tree.
  for (int scanning = 0; scanning < 60;) {
    const std::uint64_t before = ed.AllFoldRanges().RangesWalked();
    ASSERT_FALSE(ed.RunIdleWork(0ms));
    if (ed.AllFoldRanges().RangesWalked() == before) ++scanning;
  }
  const std::uint64_t before = ed.AllFoldRanges().RangesWalked();
  ed.CommandProcessor(ecChar, 'x', nullptr);
  EXPECT_LE(ed.AllFoldRanges().RangesWalked() - before, kMostPerPiece);
  EXPECT_TRUE(ed.AllFoldRanges().RetiredPending());
  const Pieces pieces = RunPieces(ed);
  EXPECT_LE(pieces.Most, kMostPerPiece);
  EXPECT_FALSE(ed.AllFoldRanges().RetiredPending());
  ExpectAsAScanAtOnce(ed);
}

// The first scan of a long text, put off until painting wants the marks:
// the index of its ranges is read in pieces too before the tree is seen.
TEST(FoldUpdateIdleSteps, TheFirstScanOfALongTextWalksItsRangesInBoundedPieces) {
  const std::string text = Text(kBlocks);
  auto lazy = test::OpenLoaded(text, false);
  auto eager = test::OpenLoaded(text, true);
  TOndEdit& ed = *lazy->Edit;
  ed.SetCaretXY(BufferCoord(3, 2));
  eager->Edit->SetCaretXY(BufferCoord(3, 2));
  TBitmap bmp;
  ed.PaintTo(bmp);
  ASSERT_TRUE(ed.IdleWorkPending());
  const Pieces pieces = RunPieces(ed);
  EXPECT_LE(pieces.Most, kMostPerPiece);
  EXPECT_GT(pieces.Walking, 1);
  EXPECT_EQ(test::FoldTreeDump(ed), test::FoldTreeDump(*eager->Edit));
  EXPECT_NE(ed.HighlightedFoldRange(), nullptr);
}

// A key typed during the first scan starts it over: the ranges it found
// so far go in pieces too.
TEST(FoldUpdateIdleSteps, AKeyTypedDuringTheFirstScanLeavesTheRangesFoundToIdleTime) {
  auto p = test::OpenLoaded(Text(kBlocks), false);
  TOndEdit& ed = *p->Edit;
  ed.SetCaretXY(BufferCoord(5, 2 + kBlockLines * 100 + 1));
  TBitmap bmp;
  ed.PaintTo(bmp);
  for (int i = 0; i < 60; ++i) ASSERT_FALSE(ed.RunIdleWork(0ms));
  ed.CommandProcessor(ecChar, 'x', nullptr);
  const Pieces pieces = RunPieces(ed);
  EXPECT_LE(pieces.Most, kMostPerPiece);
  EXPECT_FALSE(ed.AllFoldRanges().RetiredPending());
  ExpectAsAScanAtOnce(ed);
}

}  // namespace ond

namespace ond {
namespace {

// The first range where Ed's tree and that of a scan of its text with the
// fold on Header collapsed differ; empty when none does.
std::string DifferenceFromAScanFoldedAt(TOndEdit& Ed, int Header) {
  auto fresh = test::OpenLoaded(Ed.TextWithFoldsExpanded(), true);
  TOndEditFoldRange* r = fresh->Edit->FoldRangeAtLine(Header);
  EXPECT_TRUE(r && fresh->Edit->CollapseFoldRange(r));
  std::istringstream a(test::FoldRangeList(Ed.AllFoldRanges(), true)),
      b(test::FoldRangeList(fresh->Edit->AllFoldRanges(), true));
  std::string la, lb;
  for (int n = 1;; ++n) {
    const bool ga = static_cast<bool>(std::getline(a, la)), gb = static_cast<bool>(std::getline(b, lb));
    if (!ga && !gb) return {};
    if (!ga || !gb || la != lb) return "range " + std::to_string(n) + ": " + la + " | " + lb;
  }
}

// A fold collapsed far above the "list" line of block Block, then a brace
// left open there: the fold's header.
int BraceLeftOpenBelowAFold(TOndEdit& Ed, int Block) {
  const int header = 2 + kBlockLines * 50;
  EXPECT_TRUE(Ed.CollapseFoldRange(Ed.FoldRangeAtLine(header)));
  // The fold hides nine lines above the line.
  Ed.SetCaretXY(BufferCoord(5, 2 + kBlockLines * Block + 1 - 9));
  Ed.CommandProcessor(ecChar, '{', nullptr);
  EXPECT_TRUE(Ed.FoldUpdatePending());
  return header;
}

// The update done, the fold on Header is still collapsed, the ranges are
// those a scan finds with it collapsed, and opened those of a scan.
void ExpectFoldKeptAsAScanFinds(TOndEdit& Ed, int Header) {
  EXPECT_FALSE(Ed.FoldUpdatePending());
  const TOndEditFoldRange* fold = Ed.FoldRangeAtLine(Header);
  ASSERT_NE(fold, nullptr);
  EXPECT_TRUE(fold->Collapsed);
  EXPECT_EQ(DifferenceFromAScanFoldedAt(Ed, Header), "");
  Ed.ExpandAll();
  RunPieces(Ed);
  ExpectAsAScanAtOnce(Ed);
}

}  // namespace

// A line broken above a collapsed fold while the update of the whole text
// looks for the collapsed headers: the update starts over from the text
// as it is then, so the fold keeps its own range on its header, in the
// place a scan finds it, and opened the tree is that of a scan.
TEST(FoldUpdateIdleSteps, AnEditWhileTheCollapsedHeadersAreGatheredStartsFromTheNewText) {
  auto p = test::OpenLoaded(Text(kBlocks), true);
  TOndEdit& ed = *p->Edit;
  const int header = BraceLeftOpenBelowAFold(ed, 5000);
  // Pieces that walk ranges: the headers are being looked for.
  for (int i = 0; i < 3; ++i) {
    const std::uint64_t before = ed.AllFoldRanges().RangesWalked();
    ASSERT_FALSE(ed.RunIdleWork(0ms));
    ASSERT_GT(ed.AllFoldRanges().RangesWalked(), before);
  }
  ed.SetCaretXY(BufferCoord(1, 10));
  ed.CommandProcessor(ecLineBreak, '\0', nullptr);
  RunPieces(ed);
  ExpectFoldKeptAsAScanFinds(ed, header + 1);
}

// With a fold collapsed, the update of the whole text after a brace left
// open scans the text as it reads with the fold expanded a piece at a
// time, as with nothing collapsed; the fold keeps its range and what it
// hides, and the tree is the one a scan of the text finds.
TEST(FoldUpdateIdleSteps, WithAFoldCollapsedTheWholeTextIsScannedInPieces) {
  auto p = test::OpenLoaded(Text(kBlocks), true);
  TOndEdit& ed = *p->Edit;
  const int header = BraceLeftOpenBelowAFold(ed, 100);
  const Pieces pieces = RunPieces(ed);
  EXPECT_GT(pieces.Scanning, 4);
  EXPECT_LT(pieces.MostLines, ed.Lines()->GetCount() / 4);
  ExpectFoldKeptAsAScanFinds(ed, header);
}

// A change while that scan is under way, of the text or of the folds,
// starts it over from the text as it is then: what it read of the text
// of before is gone with it.
TEST(FoldUpdateIdleSteps, AChangeWhileTheTextWithFoldsExpandedIsScannedStartsOver) {
  for (const bool folding : {false, true}) {
    SCOPED_TRACE(folding ? "a fold collapsed" : "a line broken");
    auto p = test::OpenLoaded(Text(kBlocks), true);
    TOndEdit& ed = *p->Edit;
    const int header = BraceLeftOpenBelowAFold(ed, 100);
    for (int scanning = 0; scanning < 3;) {
      const std::int64_t before = ed.FoldLinesRescanned();
      ASSERT_FALSE(ed.RunIdleWork(0ms));
      if (ed.FoldLinesRescanned() > before) ++scanning;
    }
    ASSERT_TRUE(ed.FoldUpdatePending());
    if (folding) {
      // The first block's "deep" object, above the other fold.
      const int deep = 2 + 5;
      ASSERT_TRUE(ed.CollapseFoldRange(ed.FoldRangeAtLine(deep)));
      RunPieces(ed);
      EXPECT_FALSE(ed.FoldUpdatePending());
      const TOndEditFoldRange* fold = ed.FoldRangeAtLine(deep);
      ASSERT_NE(fold, nullptr);
      EXPECT_TRUE(fold->Collapsed);
      ed.ExpandAll();
      RunPieces(ed);
      ExpectAsAScanAtOnce(ed);
    } else {
      ed.SetCaretXY(BufferCoord(1, 10));
      ed.CommandProcessor(ecLineBreak, '\0', nullptr);
      RunPieces(ed);
      ExpectFoldKeptAsAScanFinds(ed, header + 1);
    }
  }
}

}  // namespace ond
