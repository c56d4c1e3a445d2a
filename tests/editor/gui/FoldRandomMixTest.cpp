// Edits, folds and their undo mixed at random in a long text, with the idle
// work run out after each: every shortcut that keeps the fold tree and its
// index in step (a pass over the ranges below an edit, an index that follows
// a fold or a bounded update in place, a whole-text update in pieces) leaves
// them as a fresh look would find them, and undo gives the text back.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "editor/OndEdit.h"
#include "editor/OndEditKeyCmds.h"
#include "platform/Clipbrd.h"
#include "platform/Forms.h"
#include "tests/editor/gui/LoadedEditor.h"
#include "tests/editor/FoldIndexAnswers.h"

namespace ond {
namespace {

// Long enough for the idle-time paths of a long text.
const int kLines = TCustomOndEdit::kIdleWorkLines + 400;

std::string Objects(int Lines) {
  std::string text = "{\r\n";
  for (int i = 0; 4 * i + 2 < Lines; ++i)
    text += "  \"o" + std::to_string(i) + "\": {\r\n    \"list\": [ 1,\r\n      2 ],\r\n  },\r\n";
  return text + "  \"end\": 0\r\n}\r\n";
}

// Every range by its lines, depth, fold state and the lines of the range it
// sits in, sorted: the tree as a scan sees it, whatever order the ranges were
// made in. Ranges that undo made to hide lines again keep no region of their
// own, so regions are left out.
std::string TreeByLines(const TOndEditAllFoldRanges& All) {
  std::vector<std::string> lines;
  for (const auto& r : All.AllRangeList()) {
    const TOndEditFoldRange* parent = r->Container() != nullptr ? r->Container()->Owner() : nullptr;
    std::string line = std::to_string(r->FromLine) + "-" + std::to_string(r->ToLine) + " L" + std::to_string(r->Level) +
                       " C" + std::to_string(r->Collapsed) + std::to_string(r->ParentCollapsed) + " in ";
    line += parent == nullptr ? std::string("top")
                              : std::to_string(parent->FromLine) + "-" + std::to_string(parent->ToLine);
    lines.push_back(line);
  }
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

// The first line where two lists differ, with its number; empty when equal.
std::string FirstDifference(const std::string& A, const std::string& B) {
  std::size_t at = 0;
  for (int line = 1;; ++line) {
    const std::size_t ea = A.find('\n', at), eb = B.find('\n', at);
    const std::string la = A.substr(at, ea == std::string::npos ? std::string::npos : ea - at);
    const std::string lb = B.substr(at, eb == std::string::npos ? std::string::npos : eb - at);
    if (la != lb) return std::to_string(line) + ": " + la + " | " + lb;
    if (ea == std::string::npos || eb == std::string::npos) return ea == eb ? "" : "lengths differ";
    at = ea + 1;
  }
}

class FoldRandomMix : public ::testing::TestWithParam<unsigned> {};

TEST_P(FoldRandomMix, EditsFoldsAndUndoKeepTheTreeAndIndexAsAFreshLook) {
  const std::string original = Objects(kLines);
  const auto p = test::OpenLoaded(original, true);
  TOndEdit& ed = *p->Edit;
  std::mt19937 rng(GetParam());
  int collapsed = 0;
  const auto lineOf = [&] { return 1 + static_cast<int>(rng() % static_cast<unsigned>(ed.Lines()->GetCount())); };
  const auto caretAt = [&](int Line) {
    const int length = static_cast<int>(ed.Lines()->GetView(Line - 1).size());
    ed.SetCaretXY(BufferCoord(1 + static_cast<int>(rng() % static_cast<unsigned>(length + 1)), Line));
  };
  // Most work near one spot, as a user's does, some anywhere.
  int spot = kLines / 2;
  const auto nearSpot = [&] {
    if (rng() % 4 == 0) spot = lineOf();
    return std::clamp(spot + static_cast<int>(rng() % 40) - 20, 1, ed.Lines()->GetCount());
  };
  for (int step = 0; step < 150; ++step) {
    std::string what;
    switch (rng() % 11) {
      case 0:
      case 1: {
        what = "collapse";
        if (TOndEditFoldRange* r = ed.FoldRangeAtLine(nearSpot()); r && !r->Collapsed && ed.CollapseFoldRange(r))
          ++collapsed;
        break;
      }
      case 2: {
        what = "expand";
        if (TOndEditFoldRange* r = ed.FoldRangeAtLine(nearSpot()); r && r->Collapsed) ed.ExpandFoldRange(r);
        break;
      }
      case 3:
        what = "line break";
        caretAt(nearSpot());
        ed.CommandProcessor(ecLineBreak, 0, nullptr);
        break;
      case 4:
        what = "delete line";
        caretAt(nearSpot());
        ed.CommandProcessor(ecDeleteLine, 0, nullptr);
        break;
      case 5: {
        static const char kTyped[] = {'{', '}', '[', ']', '"', 'x'};
        what = std::string("type ") + kTyped[rng() % 6];
        caretAt(nearSpot());
        ed.CommandProcessor(ecChar, what.back(), nullptr);
        break;
      }
      case 6: {
        what = "cut";
        const int from = nearSpot();
        const int to = std::min(ed.Lines()->GetCount(), from + static_cast<int>(rng() % 9));
        ed.SetCaretXY(BufferCoord(1, from));
        ed.SetBlockBegin(BufferCoord(1 + static_cast<int>(rng() % 3), from));
        ed.SetBlockEnd(BufferCoord(1 + static_cast<int>(rng() % 3), to));
        ed.CommandProcessor(ecCut, 0, nullptr);
        break;
      }
      case 7:
        what = "paste";
        caretAt(nearSpot());
        ed.CommandProcessor(ecPaste, 0, nullptr);
        break;
      case 8:
      case 9:
        what = "undo";
        ed.CommandProcessor(ecUndo, 0, nullptr);
        break;
      default:
        what = "redo";
        ed.CommandProcessor(ecRedo, 0, nullptr);
        break;
    }
    SCOPED_TRACE("step " + std::to_string(step) + ": " + what);
    ASSERT_TRUE(test::RunEventLoopUntilIdle(ed));
    // The index as kept against one built afresh from the same ranges.
    const std::vector<std::intptr_t> kept = test::IndexAnswers(ed.AllFoldRanges(), ed.Lines()->GetCount());
    const bool keptFlat = ed.AllFoldRanges().Index().IsFlatList();
    ed.AllFoldRanges().IndexChanged();
    ASSERT_TRUE(kept == test::IndexAnswers(ed.AllFoldRanges(), ed.Lines()->GetCount()));
    // Edits take its word that it stands for the flat list: never wrongly.
    ASSERT_TRUE(!keptFlat || ed.AllFoldRanges().Index().IsFlatList());
  }
  EXPECT_GT(collapsed, 0);
  // Every fold open and the ranges found again (an update keeps collapsed
  // ranges as they were, whatever the text around them became), the tree is
  // what a fresh editor finds in the text.
  ed.ExpandAll();
  ed.UpdateFoldRanges();
  ASSERT_TRUE(test::RunEventLoopUntilIdle(ed));
  const auto fresh = test::OpenLoaded(ed.Lines()->GetText(), true);
  EXPECT_EQ(FirstDifference(TreeByLines(ed.AllFoldRanges()), TreeByLines(fresh->Edit->AllFoldRanges())), "");
  // And undo gives the text it started from back.
  while (ed.CanUndo()) ed.Undo();
  ASSERT_TRUE(test::RunEventLoopUntilIdle(ed));
  EXPECT_EQ(ed.GetEditorText() + "\r\n", original);
}

INSTANTIATE_TEST_SUITE_P(Seeds, FoldRandomMix, ::testing::Values(4711u, 12u, 2026u));

}  // namespace
}  // namespace ond

namespace ond {
namespace {

// A brace typed near the top of a long text changes the nesting of every
// range after it: once the idle work is done, the tree is the one a fresh
// scan finds.
TEST(FoldRandomMixCase, ABraceLeftOpenNearTheTopSettlesAsAFreshScan) {
  const auto p = test::OpenLoaded(Objects(kLines), true);
  TOndEdit& ed = *p->Edit;
  ed.SetCaretXY(BufferCoord(5, 3));
  ed.CommandProcessor(ecLineBreak, 0, nullptr);
  ed.CommandProcessor(ecChar, 'x', nullptr);
  ed.CommandProcessor(ecChar, '{', nullptr);
  ASSERT_TRUE(test::RunEventLoopUntilIdle(ed));
  const auto fresh = test::OpenLoaded(ed.Lines()->GetText(), true);
  EXPECT_EQ(FirstDifference(TreeByLines(ed.AllFoldRanges()), TreeByLines(fresh->Edit->AllFoldRanges())), "");
}

}  // namespace
}  // namespace ond
