// The index by line of the fold ranges against a plain walk over every range,
// after every step of random edits, folds, rescans and undo.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "editor/OndEditCodeFolding.h"
#include "editor/OndEditTextBuffer.h"
#include "tests/editor/FoldIndexAnswers.h"

namespace ond {
namespace {

// What each query answers, found by looking at every range in flat order.
struct Walk {
  const TOndEditAllFoldRanges& All;

  TOndEditFoldRange* StartingAt(int Line) const {
    for (const auto& r : All.AllRangeList())
      if (!r->ParentCollapsed && r->FromLine == Line) return r.get();
    return nullptr;
  }
  TOndEditFoldRange* AtLine(int Line, int& Position) const {
    int before = 0;
    for (const auto& r : All.AllRangeList()) {
      if (r->ParentCollapsed || r->FromLine != Line) continue;
      if (r->HasLines()) {
        Position = before + 1;
        return r.get();
      }
      ++before;
    }
    return nullptr;
  }
  TOndEditFoldRange* EndingAt(int Line) const {
    for (const auto& r : All.AllRangeList())
      if (!r->ParentCollapsed && !r->Collapsed && r->ToLine == Line) return r.get();
    return nullptr;
  }
  bool RangeEnd(int Line) const {
    return std::any_of(All.AllRangeList().begin(), All.AllRangeList().end(), [Line](const auto& r) {
      return !r->ParentCollapsed && !r->Collapsed && r->HasLines() && r->ToLine == Line;
    });
  }
  bool Inside(int Line) const {
    return std::any_of(All.AllRangeList().begin(), All.AllRangeList().end(), [Line](const auto& r) {
      return !r->ParentCollapsed && !r->Collapsed && r->HasLines() && r->FromLine < Line && Line < r->ToLine;
    });
  }
  std::int64_t Uncollapsed(int Line) const {
    std::int64_t n = Line;
    for (const auto& r : All.AllRangeList())
      if (r->Collapsed && !r->ParentCollapsed && r->FromLine < Line) n += r->HiddenLineCount() + 1;
    return n;
  }
  bool CollapsedBetween(int First, int Last) const {
    return std::any_of(All.AllRangeList().begin(), All.AllRangeList().end(), [&](const auto& r) {
      return r->Collapsed && !r->ParentCollapsed && r->FromLine >= First && r->FromLine <= Last;
    });
  }
  std::set<const TOndEditFoldRange*> Over(int First, int Last) const {
    std::set<const TOndEditFoldRange*> out;
    for (const auto& r : All.AllRangeList())
      if (!r->ParentCollapsed && r->ToLine >= First && r->FromLine <= Last) out.insert(r.get());
    return out;
  }
};

using Doc = test::FoldDoc;

std::string RandomLine(std::mt19937& Rng, int N) {
  static const char* const kParts[] = {"{", "}", "[", "]", "{ }", "} {", "x", "[ {", "} ]", "word"};
  std::string s = "l" + std::to_string(N);
  for (unsigned k = Rng() % 3; k > 0; --k) s += std::string(" ") + kParts[Rng() % 10];
  return s;
}

// Every query of the folder and of the index for every line (and one beyond
// either end) gives what the walk gives.
void ExpectIndexMatchesWalk(const Doc& D, const std::string& Where) {
  const Walk walk{D.Ranges};
  const TOndFoldIndex& index = D.Ranges.Index();
  const int count = D.Lines.GetCount();
  for (int line = 0; line <= count + 1; ++line) {
    SCOPED_TRACE(Where + ", line " + std::to_string(line));
    ASSERT_EQ(D.Folder.FoldRangeStartingAt(line), walk.StartingAt(line));
    int expectedPos = -1, pos = -1;
    ASSERT_EQ(D.Folder.FoldRangeAtLine(line, &pos), walk.AtLine(line, expectedPos));
    ASSERT_EQ(pos, expectedPos);
    ASSERT_EQ(D.Folder.FoldRangeEndingAt(line), walk.EndingAt(line));
    ASSERT_EQ(D.Folder.IsRangeEnd(line), walk.RangeEnd(line));
    ASSERT_EQ(D.Folder.IsInsideRange(line), walk.Inside(line));
    ASSERT_EQ(D.Folder.UncollapsedLine(line), walk.Uncollapsed(line));
    for (int last : {line, line + 3, count}) {
      ASSERT_EQ(index.CollapsedBetween(line, last), walk.CollapsedBetween(line, last)) << "to " << last;
      const std::vector<TOndEditFoldRange*> over = index.Over(line, last);
      ASSERT_EQ(std::set<const TOndEditFoldRange*>(over.begin(), over.end()), walk.Over(line, last)) << "to " << last;
      ASSERT_TRUE(std::is_sorted(over.begin(), over.end(), [](const auto* A, const auto* B) {
        return A->FromLine < B->FromLine;
      }));
    }
  }
}

TEST(FoldIndex, AgreesWithAWalkOverEveryRangeThroughRandomEdits) {
  std::mt19937 rng(26);
  for (int round = 0; round < 12; ++round) {
    Doc d;
    int made = 0;
    for (int i = 0; i < 60; ++i) d.Lines.Add(RandomLine(rng, made++));
    d.Folder.RescanFoldRanges();
    TOndEditUndoList undo;
    for (int step = 0; step < 120; ++step) {
      const std::string where = "round " + std::to_string(round) + ", step " + std::to_string(step);
      const int count = d.Lines.GetCount();
      const int line = 1 + static_cast<int>(rng() % static_cast<unsigned>(count));
      switch (rng() % 9) {
        case 0:
        case 1:
          d.Folder.CollapseFoldRange(d.Folder.FoldRangeAtLine(line));
          break;
        case 2:
          d.Folder.ExpandFoldRange(d.Folder.FoldRangeAtLine(line));
          break;
        case 3: {
          // A typed line break somewhere in the line: what follows the caret
          // decides whether a header or closing line moves down.
          d.Lines.Insert(line - 1, RandomLine(rng, made++));
          d.Folder.LinesInserted(line - 1, 1, 1 + static_cast<int>(rng() % 4));
          break;
        }
        case 4:
          if (count > 1) {
            const int n = 1 + static_cast<int>(rng() % static_cast<unsigned>(std::min(3, count - line + 1)));
            d.Lines.DeleteLineRange(line - 1, n);
            d.Folder.LinesDeleted(line, n, &undo, smNormal, 1);
          }
          break;
        case 5:
          // Undo of a deleted header: its line comes back, then the range.
          if (auto item = undo.PopItem()) {
            const int at = std::clamp(item->StartPos.Line, 1, d.Lines.GetCount() + 1);
            d.Lines.Insert(at - 1, "back {");
            d.Folder.LinesInserted(at - 1, 1, 1);
            d.Folder.RestoreFoldRange(*item);
          }
          break;
        case 6:
          d.Lines.Put(line - 1, RandomLine(rng, made++));
          if (rng() % 2 == 0) d.Folder.UpdateFoldRanges();
          break;
        case 7:
          if (rng() % 4 == 0) d.Folder.RescanFoldRanges();
          else d.Folder.ExpandAll();
          break;
        default: {
          // A line changed and the ranges brought up around it only.
          const std::vector<TOndEditFoldRange*> open = d.Folder.OpenRangesAt(line);
          d.Lines.Put(line - 1, RandomLine(rng, made++));
          if (!d.Folder.UpdateFoldRangesBetween(line, line, open, 1000)) d.Folder.UpdateFoldRanges();
          break;
        }
      }
      ExpectIndexMatchesWalk(d, where);
      if (HasFatalFailure()) return;
    }
  }
}

// Lines inserted or deleted beside the ranges (none carried down with the
// caret, none among the deleted lines) move the index's lines in place: it
// is not built again, and it answers as a fresh one would; with a range
// collapsed, no walk over every range finds the ranges that move. So does
// a closing line deleted: its range ends a line higher, the rest moves up.
TEST(FoldIndex, ShiftsInsteadOfRebuildingWhenRangesFollowTheLines) {
  Doc d;
  std::string text = "{\r\n";
  for (int i = 0; i < 50; ++i) text += "  a {\r\n    b\r\n  }\r\n";
  d.Lines.SetText(text + "}");
  d.Folder.RescanFoldRanges();
  d.Folder.CollapseFoldRange(d.Folder.FoldRangeAtLine(2));
  ExpectIndexMatchesWalk(d, "before");
  const std::uint64_t builds = d.Ranges.IndexBuilds();
  // With a range collapsed too, the ranges that move are found through the
  // index, not by a walk over every range.
  const std::uint64_t walks = d.Ranges.WholeWalks();
  TOndEditUndoList undo;
  // Lines of plain text inserted, or deleted from the first line at or
  // after Line that is plain text.
  struct Step {
    int Line;
    int Count;  // lines inserted (> 0) or deleted (< 0)
  };
  const auto plainAtOrAfter = [&d](int Line, int Count) {
    for (int k = Line; k + Count - 1 <= d.Lines.GetCount(); ++k) {
      bool plain = true;
      for (int j = 0; j < Count && plain; ++j) plain = d.Lines.GetView(k - 1 + j).find_first_of("{}") == std::string_view::npos;
      if (plain) return k;
    }
    return 0;
  };
  for (const Step s : {Step{10, 1}, Step{100, 3}, Step{40, -1}, Step{95, -2}, Step{151, 1}}) {
    const std::string where = "change at " + std::to_string(s.Line) + " by " + std::to_string(s.Count);
    if (s.Count > 0) {
      for (int k = 0; k < s.Count; ++k) d.Lines.Insert(s.Line - 1, "    new");
      d.Folder.LinesInserted(s.Line - 1, s.Count, 1);
    } else {
      const int at = plainAtOrAfter(s.Line, -s.Count);
      ASSERT_GT(at, 0) << where;
      d.Lines.DeleteLineRange(at - 1, -s.Count);
      d.Folder.LinesDeleted(at, -s.Count, &undo, smNormal, 1);
    }
    ExpectIndexMatchesWalk(d, where);
    EXPECT_EQ(d.Ranges.IndexBuilds(), builds) << where;
    EXPECT_EQ(d.Ranges.WholeWalks(), walks) << where;
    if (HasFatalFailure()) return;
  }
  // The closing lines of two objects in a row deleted: each object now
  // ends on the line before, and everything below moves up alike.
  for (int k = 0; k < 2; ++k) {
    int closing = 60;
    while (closing <= d.Lines.GetCount() && d.Lines.GetView(closing - 1) != "  }") ++closing;
    const std::string where = "closing line " + std::to_string(closing);
    ASSERT_LE(closing, d.Lines.GetCount());
    d.Lines.DeleteLineRange(closing - 1, 1);
    d.Folder.LinesDeleted(closing, 1, &undo, smNormal, 1);
    ExpectIndexMatchesWalk(d, where);
    EXPECT_EQ(d.Ranges.IndexBuilds(), builds) << where;
    if (HasFatalFailure()) return;
  }
  // Lines whose ranges an update brings up around them: the index takes
  // the replaced ranges in place too.
  for (const char* text : {"    c { }", "    c", "    d { } { }"}) {
    const int at = plainAtOrAfter(120, 1);
    ASSERT_GT(at, 0);
    const std::vector<TOndEditFoldRange*> open = d.Folder.OpenRangesAt(at - 1);
    d.Lines.Put(at - 1, text);
    ASSERT_TRUE(d.Folder.UpdateFoldRangesBetween(at - 1, at, open, 1000)) << text;
    ExpectIndexMatchesWalk(d, text);
    EXPECT_EQ(d.Ranges.IndexBuilds(), builds) << text;
    if (HasFatalFailure()) return;
  }
  // A header carried down with the caret (line 6 broken before its brace)
  // moves unlike the lines: built again.
  ASSERT_EQ(d.Lines.GetView(5), "  a {");
  d.Lines.Put(5, "  a");
  d.Lines.Insert(6, "{");
  d.Folder.LinesInserted(6, 1, 1);
  ExpectIndexMatchesWalk(d, "header carried down");
  EXPECT_GT(d.Ranges.IndexBuilds(), builds);
}

TEST(FoldIndex, FollowsRangesChangedFromOutside) {
  Doc d;
  d.Lines.SetText("a {\r\nb\r\n}\r\nc {\r\nd\r\n}");
  d.Folder.RescanFoldRanges();
  ASSERT_EQ(d.Folder.FoldRangeAtLine(4), d.Ranges.AllRanges(1));
  // The ranges' own methods tell the tree.
  d.Ranges.AllRanges(1)->Move(1);
  EXPECT_EQ(d.Folder.FoldRangeAtLine(4), nullptr);
  EXPECT_EQ(d.Folder.FoldRangeAtLine(5), d.Ranges.AllRanges(1));
  d.Ranges.AllRanges(0)->Widen(2);
  EXPECT_EQ(d.Folder.FoldRangeEndingAt(5), d.Ranges.AllRanges(0));
  // A range taken out of the flat list leaves the index and its tree.
  std::unique_ptr<TOndEditFoldRange> out = d.Ranges.AllExtract(0);
  EXPECT_EQ(out->AllFoldRanges, nullptr);
  EXPECT_EQ(d.Folder.FoldRangeAtLine(1), nullptr);
  EXPECT_FALSE(d.Folder.CollapseFoldRange(out.get()));
  // Fields written directly count once the tree is told.
  d.Ranges.AllRanges(0)->FromLine = 2;
  d.Ranges.IndexChanged();
  EXPECT_EQ(d.Folder.FoldRangeAtLine(2), d.Ranges.AllRanges(0));
}

}  // namespace
}  // namespace ond

namespace ond {
namespace {

// Every range in flat order: the range it sits in, its lines and level.
std::string FlatList(const TOndEditAllFoldRanges& All) {
  std::string s;
  for (const auto& r : All.AllRangeList()) {
    int parent = -1;
    for (int j = 0; j < All.AllCount(); ++j)
      if (&All.AllRanges(j)->SubFoldRanges == r->Container()) parent = j;
    s += std::to_string(parent) + " " + std::to_string(r->FromLine) + "-" + std::to_string(r->ToLine) + " L" +
         std::to_string(r->Level) + "\n";
  }
  return s;
}

// Edits of a tree with nothing collapsed, made as the editor makes them
// (the ranges kept in step with the lines, then brought up around the
// change): no walk over every range, no index built again, and the tree,
// flat order too, is the one a scan of the edited text finds.
TEST(FoldIndex, EditsOfATreeWithNothingCollapsedWalkNoListOfEveryRange) {
  struct Edit {
    const char* Name;
    int Line;                        // 1-based
    int Deleted;                     // lines deleted there first
    std::vector<std::string> Added;  // then lines inserted there
    int CaretChar;
  };
  const Edit edits[] = {
      {"a line broken in a plain line", 41, 0, {"    x"}, 3},
      {"a plain line deleted", 80, 1, {}, 1},
      {"objects pasted before a plain line", 120, 0, {"  c {", "    d", "  }", "  e {", "  }"}, 1},
      {"two plain lines deleted", 200, 2, {"    y"}, 1},
      {"a plain line made an object", 300, 1, {"    z {", "    }"}, 1},
  };
  Doc d;
  std::string text = "{\r\n";
  for (int i = 0; i < 150; ++i) text += "  a {\r\n    b\r\n    b\r\n  }\r\n";
  d.Lines.SetText(text + "}");
  d.Folder.RescanFoldRanges();
  EXPECT_TRUE(d.Ranges.Index().IsFlatList());
  for (const Edit& e : edits) {
    SCOPED_TRACE(e.Name);
    // The edit stands on the first plain lines from Line on.
    int at = e.Line;
    const auto plain = [&d](int L) { return d.Lines.GetView(L - 1).find_first_of("{}") == std::string_view::npos; };
    while (!(plain(at) && plain(at + std::max(e.Deleted, 1) - 1))) ++at;
    const std::uint64_t walks = d.Ranges.WholeWalks(), builds = d.Ranges.IndexBuilds();
    const std::vector<TOndEditFoldRange*> open = d.Folder.OpenRangesAt(at - 1);
    TOndEditUndoList undo;
    if (e.Deleted > 0) {
      d.Lines.DeleteLineRange(at - 1, e.Deleted);
      d.Folder.LinesDeleted(at, e.Deleted, &undo, smNormal, 1);
    }
    for (std::size_t k = 0; k < e.Added.size(); ++k) {
      d.Lines.Insert(at - 1 + static_cast<int>(k), e.Added[k]);
      d.Folder.LinesInserted(at - 1 + static_cast<int>(k), 1, e.CaretChar);
    }
    const int last = at + std::max(0, static_cast<int>(e.Added.size()) - 1);
    ASSERT_TRUE(d.Folder.UpdateFoldRangesBetween(at - 1, last, open, 1000));
    EXPECT_EQ(d.Ranges.WholeWalks(), walks);
    EXPECT_EQ(d.Ranges.IndexBuilds(), builds);
    ExpectIndexMatchesWalk(d, e.Name);
    Doc fresh;
    fresh.Lines.SetText(d.Lines.GetText());
    fresh.Folder.RescanFoldRanges();
    EXPECT_EQ(FlatList(d.Ranges), FlatList(fresh.Ranges));
    if (HasFatalFailure()) return;
  }
}

// Random line breaks, deletions and changed lines in a tree with nothing
// collapsed, each followed by the update the editor makes (around the
// change, else of the whole text): the index, shifted instead of built
// again wherever it can be, answers as a walk does, says it lists the flat
// list only when it does, and the tree is the one a scan finds.
TEST(FoldIndex, AgreesWithAWalkThroughRandomEditsWithNothingCollapsed) {
  std::mt19937 rng(47);
  for (int round = 0; round < 40; ++round) {
    Doc d;
    int made = 0;
    for (int i = 0; i < 60; ++i) d.Lines.Add(RandomLine(rng, made++));
    d.Folder.RescanFoldRanges();
    TOndEditUndoList undo;
    for (int step = 0; step < 80; ++step) {
      const int count = d.Lines.GetCount();
      const int line = 1 + static_cast<int>(rng() % static_cast<unsigned>(count));
      const unsigned kind = rng() % 3;
      const std::string where = "round " + std::to_string(round) + ", step " + std::to_string(step) + ", kind " +
                                std::to_string(kind) + " at " + std::to_string(line);
      // The scan starts on the line before the changed ones.
      const int first = std::max(1, line - 1);
      const std::vector<TOndEditFoldRange*> open = d.Folder.OpenRangesAt(first);
      int last = line;
      switch (kind) {
        case 0:
          d.Lines.Insert(line - 1, RandomLine(rng, made++));
          d.Folder.LinesInserted(line - 1, 1, 1 + static_cast<int>(rng() % 4));
          break;
        case 1:
          if (count > 1) {
            // A line stays.
            const int n = 1 + static_cast<int>(rng() % static_cast<unsigned>(std::min(
                                  {3, count - line + 1, count - 1})));
            d.Lines.DeleteLineRange(line - 1, n);
            d.Folder.LinesDeleted(line, n, &undo, smNormal, 1);
          }
          break;
        default:
          d.Lines.Put(line - 1, RandomLine(rng, made++));
          break;
      }
      if (!d.Folder.UpdateFoldRangesBetween(first, std::min(last, d.Lines.GetCount()), open, 1000))
        d.Folder.UpdateFoldRanges();
      ExpectIndexMatchesWalk(d, where);
      if (d.Ranges.Index().IsFlatList()) {
        const auto& flat = d.Ranges.AllRangeList();
        EXPECT_TRUE(std::is_sorted(flat.begin(), flat.end(),
                                   [](const auto& A, const auto& B) { return A->FromLine < B->FromLine; }))
            << where;
      }
      Doc fresh;
      fresh.Lines.SetText(d.Lines.GetText());
      fresh.Folder.RescanFoldRanges();
      EXPECT_EQ(FlatList(d.Ranges), FlatList(fresh.Ranges)) << where;
      if (HasFatalFailure() || HasFailure()) return;
    }
  }
}

}  // namespace
}  // namespace ond
