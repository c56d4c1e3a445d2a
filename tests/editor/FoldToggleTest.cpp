// Collapse and expand keep the index by line in step without building it
// again, and a span of lines is expanded from a copy of its own lines and
// folds exactly as from a copy of the whole text.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "editor/OndEditCodeFolding.h"
#include "editor/OndEditImpl.h"
#include "editor/OndEditTextBuffer.h"
#include "tests/editor/FoldIndexAnswers.h"

namespace ond {
namespace {

using Doc = test::FoldDoc;

// The index as it stands against one built afresh from the ranges.
void ExpectLikeABuild(Doc& D, const std::string& Where) {
  const std::vector<std::intptr_t> kept = test::IndexAnswers(D.Ranges, D.Lines.GetCount());
  // Edits take the index's word that it stands for the flat list: it may
  // be kept back after a fold, never given wrongly.
  const bool keptFlat = D.Ranges.Index().IsFlatList();
  D.Ranges.IndexChanged();
  const std::vector<std::intptr_t> built = test::IndexAnswers(D.Ranges, D.Lines.GetCount());
  EXPECT_TRUE(kept == built) << Where;
  EXPECT_TRUE(!keptFlat || D.Ranges.Index().IsFlatList()) << Where;
}

std::string RandomText(std::mt19937& Rng, int Lines) {
  static const char* const kLines[] = {"a {", "}", "[", "]", "x", "b { [", "] }", "c { }", "word", "{"};
  std::string text;
  for (int i = 0; i < Lines; ++i) text += std::string(kLines[Rng() % 10]) + "\r\n";
  return text;
}

TEST(FoldToggle, TheIndexFollowsCollapseAndExpandWithoutABuild) {
  Doc d;
  std::string text = "{\r\n";
  for (int i = 0; i < 40; ++i) text += "  \"o\": {\r\n    \"a\": [\r\n      1\r\n    ]\r\n  },\r\n";
  d.Lines.SetText(text + "}");
  d.Folder.RescanFoldRanges();
  d.Ranges.Index();
  TOndEditFoldRange* const object1 = d.Folder.FoldRangeAtLine(2);
  TOndEditFoldRange* const array1 = d.Folder.FoldRangeAtLine(3);
  TOndEditFoldRange* const object2 = d.Folder.FoldRangeAtLine(7);
  TOndEditFoldRange* const array2 = d.Folder.FoldRangeAtLine(8);
  TOndEditFoldRange* const object3 = d.Folder.FoldRangeAtLine(12);
  ASSERT_TRUE(object1 && array1 && object2 && array2 && object3);
  // Inner first, then the objects holding them, then back out: each toggle
  // hides or shows lines under ranges already hidden or shown.
  const struct {
    TOndEditFoldRange* Range;
    bool Collapse;
  } steps[] = {{array1, true},  {array2, true},  {object1, true}, {object2, true},
               {object3, true}, {object1, false}, {array1, false}, {array1, true}};
  int n = 0;
  for (const auto& s : steps) {
    const std::string where = (s.Collapse ? "collapse, step " : "expand, step ") + std::to_string(n++);
    const std::uint64_t builds = d.Ranges.IndexBuilds();
    ASSERT_TRUE(s.Collapse ? d.Folder.CollapseFoldRange(s.Range) : d.Folder.ExpandFoldRange(s.Range)) << where;
    EXPECT_TRUE(d.Ranges.IndexCurrent()) << where;
    ExpectLikeABuild(d, where);
    EXPECT_EQ(d.Ranges.IndexBuilds(), builds + 1) << where << ": only the build of the check";
  }
}

TEST(FoldToggle, RandomTogglesLeaveTheIndexAsABuildWould) {
  std::mt19937 rng(47);
  int inPlace = 0, toggles = 0;
  for (int round = 0; round < 40; ++round) {
    Doc d;
    d.Lines.SetText(RandomText(rng, 40));
    d.Folder.RescanFoldRanges();
    for (int step = 0; step < 40; ++step) {
      const int line = 1 + static_cast<int>(rng() % static_cast<unsigned>(d.Lines.GetCount()));
      TOndEditFoldRange* r = d.Folder.FoldRangeAtLine(line);
      if (r == nullptr) continue;
      const bool done = r->Collapsed ? d.Folder.ExpandFoldRange(r) : d.Folder.CollapseFoldRange(r);
      if (!done) continue;
      ++toggles;
      if (d.Ranges.IndexCurrent()) ++inPlace;
      ExpectLikeABuild(d, "round " + std::to_string(round) + ", step " + std::to_string(step));
      if (HasFailure()) return;
    }
  }
  // Many follow in place; ties and ranges edited out of shape (plenty in
  // random text) are left to a build.
  EXPECT_GT(inPlace * 4, toggles);
}

// The text a cut takes: the span's lines with every fold whose header is
// among them expanded, from a copy of the span alone and from a copy of
// the whole text.
TEST(FoldToggle, ASpanExpandsFromItsOwnLinesAsFromTheWholeText) {
  std::mt19937 rng(4747);
  for (int round = 0; round < 60; ++round) {
    Doc d;
    d.Lines.SetText(RandomText(rng, 50));
    d.Folder.RescanFoldRanges();
    for (int k = 0; k < 12; ++k)
      d.Folder.CollapseFoldRange(
          d.Folder.FoldRangeAtLine(1 + static_cast<int>(rng() % static_cast<unsigned>(d.Lines.GetCount()))));
    const int count = d.Lines.GetCount();
    int first = 1 + static_cast<int>(rng() % static_cast<unsigned>(count));
    int last = 1 + static_cast<int>(rng() % static_cast<unsigned>(count));
    if (first > last) std::swap(first, last);
    const TBufferCoord b = BufferCoord(1 + static_cast<int>(rng() % 3), first);
    const TBufferCoord e = BufferCoord(1 + static_cast<int>(rng() % 12), last);

    TOndEditStringList wholeLines;
    wholeLines.Assign(d.Lines);
    TOndEditAllFoldRanges wholeTree;
    wholeTree.Assign(d.Ranges);
    TOndCodeFolder whole(wholeLines, wholeTree);
    TBufferCoord wb = b, we = e;
    ExpandFoldsBetween(wholeLines, wholeTree, wb, we, [&](TOndEditFoldRange* R) { return whole.ExpandFoldRange(R); });

    TOndEditStringList spanLines;
    TOndEditAllFoldRanges spanTree;
    d.Folder.CopyLinesWithFolds(first, last, spanLines, spanTree);
    // Bounded by the span: its lines, and the folds with a header there.
    ASSERT_EQ(spanLines.GetCount(), last - first + 1);
    for (const auto& r : spanTree.AllRangeList()) ASSERT_GE(r->FromLine, 1);
    TOndCodeFolder span(spanLines, spanTree);
    TBufferCoord sb = BufferCoord(b.Char, 1), se = BufferCoord(e.Char, last - first + 1);
    ExpandFoldsBetween(spanLines, spanTree, sb, se, [&](TOndEditFoldRange* R) { return span.ExpandFoldRange(R); });

    SCOPED_TRACE("round " + std::to_string(round));
    ASSERT_EQ(se.Line - sb.Line, we.Line - wb.Line);
    ASSERT_EQ(sb.Char, wb.Char);
    ASSERT_EQ(se.Char, we.Char);
    for (int l = 0; l <= se.Line - sb.Line; ++l)
      ASSERT_EQ(spanLines.GetView(sb.Line - 1 + l), wholeLines.GetView(wb.Line - 1 + l)) << "line " << l;
  }
}

}  // namespace
}  // namespace ond
