#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "editor/OndEditCodeFolding.h"
#include "editor/OndEditTextBuffer.h"

namespace ond {
namespace {

std::string Join(const std::vector<std::string>& Lines) {
  std::string s;
  for (std::size_t i = 0; i < Lines.size(); ++i) {
    if (i > 0) s += "\r\n";
    s += Lines[i];
  }
  return s;
}

struct Fixture {
  explicit Fixture(const std::vector<std::string>& Text) : Folder(Lines, Ranges) {
    Braces = Regions.Add(frtChar, false, false, false, "{", "}");
    Regions.SkipRegions().Add("\"", "\"", srtCloseChar, "\\");
    Folder.Regions = &Regions;
    for (const auto& l : Text) Lines.Add(l);
    for (int i = 0; i < Lines.GetCount(); ++i) Lines.SetModifiedState(i, 0);
    Folder.RescanFoldRanges();
  }
  std::vector<std::string> Text() const {
    std::vector<std::string> v;
    for (int i = 0; i < Lines.GetCount(); ++i) v.push_back(Lines.Get(i));
    return v;
  }
  // (FromLine, ToLine, Level) of every range in flat order.
  std::vector<std::vector<int>> Shape() const {
    std::vector<std::vector<int>> v;
    for (int i = 0; i < Ranges.AllCount(); ++i) {
      const TOndEditFoldRange* r = Ranges.AllRanges(i);
      v.push_back({r->FromLine, r->ToLine, r->Level});
    }
    return v;
  }

  TOndEditStringList Lines;
  TOndEditAllFoldRanges Ranges;
  TFoldRegions Regions;
  TFoldRegionItem* Braces = nullptr;
  TOndCodeFolder Folder;
};

using Shape = std::vector<std::vector<int>>;

TEST(FoldScanner, FindsNestedRangesAndSkipsStringsAndComments) {
  Fixture f({"root {", "  a {", "\t\tb { }", "  }", "  \"str { \\\" {\"", "}", "}"});
  // The extra "}" closes nothing; a one-line range stays one line.
  EXPECT_EQ(f.Shape(), (Shape{{1, 6, 0}, {2, 4, 1}, {3, 3, 2}}));
  EXPECT_EQ(f.Ranges.AllRanges(1)->IndentLevel, 0);  // two blanks of a tab width of 8
  EXPECT_EQ(f.Ranges.AllRanges(2)->IndentLevel, 2);
  ASSERT_EQ(f.Ranges.Count(), 1);
  EXPECT_EQ(f.Ranges.Items(0)->SubFoldRanges.Count(), 1);

  // Block comments across lines and line comments hide tokens.
  f.Regions.SkipRegions().Add("/*", "*/", srtCloseText, "");
  f.Regions.SkipRegions().Add("//", "", srtEndOfLine, "");
  f.Lines.SetText("a { /* {\r\n } */ // }\r\nb\r\n}");
  f.Folder.RescanFoldRanges();
  EXPECT_EQ(f.Shape(), (Shape{{1, 4, 0}}));
  // An escape escapes exactly one character: "\\" before the quote ends it.
  f.Lines.SetText("x = \"\\\\\" {\r\n}");
  f.Folder.RescanFoldRanges();
  EXPECT_EQ(f.Shape(), (Shape{{1, 2, 0}}));
  // An escaped quote does not end the string, wherever the escapes stand.
  f.Lines.SetText("a = \"\\\" {\" {\r\nb = \"}\\\\\\\"}\"\r\n  \"x\" {\r\n  }\r\n}");
  f.Folder.RescanFoldRanges();
  EXPECT_EQ(f.Shape(), (Shape{{1, 5, 0}, {3, 4, 1}}));

  // A highlighter's string attribute hides single-character tokens.
  f.Lines.SetText("s = '{'\r\nt {\r\n}");
  f.Folder.AttributeNameAt = [](std::int32_t Line, std::int32_t Char) {
    return Line == 1 && Char >= 5 ? std::string("String") : std::string("Identifier");
  };
  f.Folder.RescanFoldRanges();
  EXPECT_EQ(f.Shape(), (Shape{{2, 3, 0}}));
}

TEST(FoldScanner, WordTokensCaseAndSubRegions) {
  Fixture f({});
  f.Regions.Clear();
  TFoldRegionItem* block = f.Regions.Add(frtText, true, false, true, "begin", "end");
  block->SubFoldRegions().Add(frtChar, false, false, false, "(", ")");
  TFoldRegionItem* note = f.Regions.Add(frtText, false, true, false, "<#", "#>");
  f.Lines.SetText("BEGIN\r\n  beginner ( x\r\n  )\r\nEnd\r\n<# begin\r\nend #>");
  f.Folder.RescanFoldRanges();
  // "beginner" is no token; "(" counts inside the block only; the note
  // region sees nothing but its own end.
  EXPECT_EQ(f.Shape(), (Shape{{1, 4, 0}, {2, 3, 1}, {5, 6, 0}}));
  EXPECT_EQ(f.Ranges.AllRanges(2)->FoldRegion, note);
  // The scanner upper-cased its own copies only.
  EXPECT_EQ(block->Open, "begin");
  EXPECT_EQ(block->Close, "end");
  f.Folder.CaseSensitive = true;
  f.Folder.RescanFoldRanges();
  EXPECT_EQ(f.Shape(), (Shape{{5, 6, 0}}));

  // The closing token of an outer range closes the inner ones left open.
  f.Folder.CaseSensitive = false;
  f.Lines.SetText("begin\r\n  (\r\n  {\r\nend\r\n)");
  f.Regions.Add(frtChar, false, false, false, "{", "}");
  f.Folder.RescanFoldRanges();
  EXPECT_EQ(f.Shape(), (Shape{{1, 4, 0}, {2, 4, 1}}));

  EXPECT_TRUE(f.Folder.FoldTokenInLine("x ( y"));
  EXPECT_EQ(f.Folder.FoldTokenKindInLine("x END"), TFoldTokenKind::Close);
  EXPECT_EQ(f.Folder.FoldTokenKindInLine("the ending"), TFoldTokenKind::None);
}

TEST(CodeFolding, CollapseAndExpandMoveTheHiddenLines) {
  Fixture f({"a", "b", "c {", "d", "e", "f", "}", "g {", "h", "}"});
  ASSERT_EQ(f.Shape(), (Shape{{3, 7, 0}, {8, 10, 0}}));
  f.Lines.SetModifiedState(4, 1);
  const std::vector<std::string> original = f.Text();
  TOndEditFoldRange* r = f.Folder.FoldRangeAtLine(3);
  ASSERT_TRUE(f.Folder.CollapseFoldRange(r));
  EXPECT_EQ(f.Text(), (std::vector<std::string>{"a", "b", "c {     ", "g {", "h", "}"}));
  EXPECT_EQ(r->LinesCollapsed, 3);
  EXPECT_EQ(r->CollapsedLines.GetCount(), 4);
  EXPECT_EQ(f.Lines.GetLineExtra(2)->ModifiedState, 0);  // the marker does not count as a change
  EXPECT_EQ(f.Shape(), (Shape{{3, 7, 0}, {4, 6, 0}}));
  EXPECT_FALSE(f.Folder.CollapseFoldRange(r));  // already collapsed
  EXPECT_EQ(f.Folder.UncollapsedLine(4), 8);
  EXPECT_EQ(f.Folder.UncollapsedLine(3), 3);
  EXPECT_EQ(f.Folder.TextWithFoldsExpanded(), Join(original));
  ASSERT_TRUE(f.Folder.ExpandFoldRange(r));
  EXPECT_EQ(f.Text(), original);
  EXPECT_EQ(f.Lines.GetLineExtra(4)->ModifiedState, 1);
  EXPECT_EQ(f.Lines.GetLineExtra(5)->ModifiedState, 0);
  EXPECT_EQ(f.Shape(), (Shape{{3, 7, 0}, {8, 10, 0}}));
  EXPECT_FALSE(f.Folder.ExpandFoldRange(r));

  // "} else {": the closing line of the first range starts the next one and
  // stays visible.
  Fixture g({"if {", "a", "b", "} else {", "c", "}"});
  ASSERT_TRUE(g.Folder.CollapseFoldRange(g.Folder.FoldRangeAtLine(1)));
  EXPECT_EQ(g.Text(), (std::vector<std::string>{"if {     ", "} else {", "c", "}"}));
  EXPECT_EQ(g.Folder.FoldRangeAtLine(2)->ToLine, 4);

  // A collapse that would hide nothing is refused.
  Fixture h({"a {", "} b {", "}"});
  EXPECT_FALSE(h.Folder.CollapseFoldRange(h.Folder.FoldRangeAtLine(1)));
  EXPECT_EQ(h.Text(), (std::vector<std::string>{"a {", "} b {", "}"}));
}

TEST(CodeFolding, MarkerWithTheClosingTokenIsStrippedOnlyWhenStillThere) {
  Fixture f({});
  f.Regions.Clear();
  TFoldRegionItem* block = f.Regions.Add(frtText, true, false, true, "BEGIN", "END");
  f.Lines.SetText("BEGIN\r\nx\r\nEND");
  f.Folder.RescanFoldRanges();
  TOndEditFoldRange* r = f.Folder.FoldRangeAtLine(1);
  ASSERT_TRUE(f.Folder.CollapseFoldRange(r));
  EXPECT_EQ(f.Lines.Get(0), "BEGIN     end");
  EXPECT_EQ(block->Close, "END");
  f.Lines.Put(0, "BEGIN changed");
  ASSERT_TRUE(f.Folder.ExpandFoldRange(r));
  EXPECT_EQ(f.Lines.GetText(), "BEGIN changed\r\nx\r\nEND");
}

TEST(CodeFolding, QueriesForPaintingAndTheGutter) {
  Fixture f({"a {", "\t  b {", "c", "  }", "}", "d { }"});
  EXPECT_EQ(f.Folder.FoldRangeStartingAt(6)->ToLine, 6);
  EXPECT_EQ(f.Folder.FoldRangeAtLine(6), nullptr);  // one line only
  std::int32_t pos = 0;
  EXPECT_EQ(f.Folder.FoldRangeAtLine(2, &pos)->ToLine, 4);
  EXPECT_EQ(pos, 1);
  EXPECT_EQ(f.Folder.FoldRangeEndingAt(4)->FromLine, 2);
  EXPECT_TRUE(f.Folder.IsRangeEnd(5));
  EXPECT_FALSE(f.Folder.IsRangeEnd(6));
  EXPECT_TRUE(f.Folder.IsInsideRange(3));
  EXPECT_TRUE(f.Folder.IsInsideRange(2));  // inside the outer one
  EXPECT_FALSE(f.Folder.IsInsideRange(5));
  EXPECT_EQ(f.Folder.LineIndentColumns(2), 10);
  EXPECT_EQ(f.Folder.LineIndentColumns(99), 0);
  EXPECT_EQ(f.Folder.LineIndentColumns(0), 0);
  EXPECT_EQ(f.Folder.LineIndentColumns(-5), 0);
  EXPECT_EQ(f.Folder.CaretFoldRange(2), f.Folder.FoldRangeAtLine(2));
  EXPECT_EQ(f.Folder.CaretFoldRange(4), f.Folder.FoldRangeAtLine(2));
  EXPECT_EQ(f.Folder.CaretFoldRange(3), nullptr);

  // Collapsed and hidden ranges are no longer painted as open ones.
  ASSERT_TRUE(f.Folder.CollapseFoldRange(f.Folder.FoldRangeAtLine(2)));
  ASSERT_TRUE(f.Folder.CollapseFoldRange(f.Folder.FoldRangeAtLine(1)));
  EXPECT_EQ(f.Lines.GetCount(), 2);
  EXPECT_FALSE(f.Folder.IsInsideRange(2));
  ASSERT_NE(f.Folder.FoldRangeStartingAt(2), nullptr);  // the "d" range moved up
  EXPECT_EQ(f.Folder.FoldRangeStartingAt(2)->ToLine, 2);
  EXPECT_EQ(f.Folder.UncollapsedLine(2), 6);
}

// A text nested Depth levels deep with a few body lines on every level.
std::vector<std::string> NestedText(int Depth) {
  std::vector<std::string> v;
  for (int d = 0; d < Depth; ++d) {
    v.push_back(std::string(static_cast<std::size_t>(d), ' ') + "level" + std::to_string(d) + " {");
    v.push_back(std::string(static_cast<std::size_t>(d), ' ') + "body" + std::to_string(d));
  }
  for (int d = Depth - 1; d >= 0; --d) {
    v.push_back(std::string(static_cast<std::size_t>(d), ' ') + "tail" + std::to_string(d));
    v.push_back(std::string(static_cast<std::size_t>(d), ' ') + "}");
  }
  return v;
}

TEST(CodeFolding, DeepFoldsRoundTripWithEditsAround) {
  std::vector<std::string> text{"head"};
  for (const auto& l : NestedText(12)) text.push_back(l);
  text.push_back("after");
  Fixture f(text);
  ASSERT_EQ(f.Ranges.AllCount(), 12);
  std::vector<std::string> expected = text;
  // Collapse from the innermost out: the ranges at levels 11 .. 0.
  for (int i = f.Ranges.AllCount() - 1; i >= 0; --i)
    ASSERT_TRUE(f.Folder.CollapseFoldRange(f.Ranges.AllRanges(i))) << i;
  EXPECT_EQ(f.Text(), (std::vector<std::string>{"head", "level0 {     ", "after"}));
  EXPECT_EQ(f.Folder.TextWithFoldsExpanded(), Join(expected));

  // Lines inserted above and below, one removed above, with the plug-in told.
  f.Lines.Insert(0, "new first");
  f.Folder.LinesInserted(0, 1, 1);
  expected.insert(expected.begin(), "new first");
  f.Lines.Add("new last");
  f.Folder.LinesInserted(f.Lines.GetCount() - 1, 1, 1);
  expected.push_back("new last");
  f.Lines.Delete(1);  // "head"
  f.Folder.LinesDeleted(2, 1, nullptr, smNormal, 1);
  expected.erase(expected.begin() + 1);
  EXPECT_EQ(f.Folder.UncollapsedLine(3), 50);
  EXPECT_EQ(f.Folder.TextWithFoldsExpanded(), Join(expected));

  // Expand the outer three again, edit inside, and collapse it once more.
  TOndEditFoldRange* outer = f.Folder.FoldRangeAtLine(2);
  ASSERT_TRUE(f.Folder.ExpandFoldRange(outer));
  ASSERT_TRUE(f.Folder.ExpandFoldRange(f.Folder.FoldRangeAtLine(4)));
  // Line 5 gets new text, right below the level-1 header.
  f.Lines.Insert(4, "inserted in level 1");
  f.Folder.LinesInserted(4, 1, 1);
  expected.insert(expected.begin() + 4, "inserted in level 1");
  EXPECT_EQ(f.Folder.TextWithFoldsExpanded(), Join(expected));
  ASSERT_TRUE(f.Folder.CollapseFoldRange(outer));
  EXPECT_EQ(f.Folder.TextWithFoldsExpanded(), Join(expected));

  // Every level comes back, also those deeper than 9.
  f.Folder.ExpandAll();
  EXPECT_EQ(f.Text(), expected);
  for (int i = 0; i < f.Ranges.AllCount(); ++i) {
    EXPECT_FALSE(f.Ranges.AllRanges(i)->Collapsed);
    EXPECT_FALSE(f.Ranges.AllRanges(i)->ParentCollapsed);
  }
  // The ranges still describe the text.
  const Shape before = f.Shape();
  f.Folder.RescanFoldRanges();
  EXPECT_EQ(f.Shape(), before);
}

TEST(CodeFolding, RescanNeverLosesHiddenLines) {
  Fixture f(NestedText(14));
  const std::vector<std::string> original = f.Text();
  // Only the deep ranges collapsed: levels 13, 12 and 10.
  ASSERT_TRUE(f.Folder.CollapseFoldRange(f.Ranges.AllRanges(13)));
  ASSERT_TRUE(f.Folder.CollapseFoldRange(f.Ranges.AllRanges(12)));
  ASSERT_TRUE(f.Folder.CollapseFoldRange(f.Ranges.AllRanges(10)));
  f.Folder.RescanFoldRanges();
  EXPECT_EQ(f.Text(), original);
  EXPECT_EQ(f.Ranges.AllCount(), 14);
}

TEST(CodeFolding, RandomCollapseExpandAndEditsKeepTheText) {
  std::mt19937 rng(11);
  for (int round = 0; round < 20; ++round) {
    // A random brace text, up to 12 deep.
    std::vector<std::string> text;
    int depth = 0;
    for (int i = 0; i < 80; ++i) {
      const unsigned k = rng() % 4;
      if (k == 0 && depth < 12) {
        text.push_back("open" + std::to_string(i) + " {");
        ++depth;
      } else if (k == 1 && depth > 0) {
        text.push_back(rng() % 3 == 0 ? "} mid" + std::to_string(i) + " {" : "}");
        if (text.back() == "}") --depth;
      } else {
        text.push_back("line" + std::to_string(i));
      }
    }
    Fixture f(text);
    std::vector<std::string> expected = text;
    int inserted = 0;
    for (int step = 0; step < 150; ++step) {
      const unsigned op = rng() % 4;
      if (op == 0 && f.Ranges.AllCount() > 0) {
        f.Folder.CollapseFoldRange(f.Ranges.AllRanges(static_cast<int>(rng() % f.Ranges.AllCount())));
      } else if (op == 1 && f.Ranges.AllCount() > 0) {
        f.Folder.ExpandFoldRange(f.Ranges.AllRanges(static_cast<int>(rng() % f.Ranges.AllCount())));
      } else if (op == 2) {
        // A plain line before visible line L.
        const int L = 1 + static_cast<int>(rng() % static_cast<unsigned>(f.Lines.GetCount() + 1));
        const int at = f.Folder.UncollapsedLine(L) - 1;
        const std::string s = "ins" + std::to_string(inserted++);
        f.Lines.Insert(L - 1, s);
        f.Folder.LinesInserted(L - 1, 1, 1);
        expected.insert(expected.begin() + at, s);
      } else if (f.Lines.GetCount() > 1) {
        // Remove a visible line that heads no collapsed range.
        const int L = 1 + static_cast<int>(rng() % static_cast<unsigned>(f.Lines.GetCount()));
        bool header = false;
        for (int j = 0; j < f.Ranges.AllCount(); ++j) {
          const TOndEditFoldRange* x = f.Ranges.AllRanges(j);
          if (x->Collapsed && !x->ParentCollapsed && x->FromLine == L) header = true;
        }
        if (header) continue;
        const int at = f.Folder.UncollapsedLine(L) - 1;
        f.Lines.Delete(L - 1);
        f.Folder.LinesDeleted(L, 1, nullptr, smNormal, 1);
        expected.erase(expected.begin() + at);
      }
      ASSERT_EQ(f.Folder.TextWithFoldsExpanded(), Join(expected)) << "round " << round << " step " << step;
    }
    f.Folder.UpdateFoldRanges();
    ASSERT_EQ(f.Folder.TextWithFoldsExpanded(), Join(expected)) << "round " << round;
    f.Folder.ExpandAll();
    ASSERT_EQ(f.Text(), expected) << "round " << round;
  }
}

TEST(CodeFolding, UndoBringsBackACollapsedRangeWhoseHeaderWasDeleted) {
  Fixture f({"a", "outer {", "  inner {", "    x", "  }", "  y", "}", "b {", "z", "}"});
  const std::vector<std::string> original = f.Text();
  ASSERT_TRUE(f.Folder.CollapseFoldRange(f.Folder.FoldRangeAtLine(3)));
  ASSERT_TRUE(f.Folder.CollapseFoldRange(f.Folder.FoldRangeAtLine(2)));
  ASSERT_EQ(f.Text(), (std::vector<std::string>{"a", "outer {     ", "b {", "z", "}"}));
  TOndEditUndoList undo;
  // The header line goes, with it what it hides.
  const std::string header = f.Lines.Get(1);
  f.Lines.Delete(1);
  f.Folder.LinesDeleted(2, 1, &undo, smNormal, 1);
  EXPECT_EQ(f.Ranges.AllCount(), 1);
  EXPECT_EQ(f.Shape(), (Shape{{2, 4, 0}}));
  EXPECT_EQ(f.Folder.TextWithFoldsExpanded(), "a\r\nb {\r\nz\r\n}");
  ASSERT_EQ(undo.ItemCount(), 1);
  ASSERT_EQ(undo.PeekItem()->Reason, urFoldChange);
  EXPECT_EQ(undo.PeekItem()->Extra2, 0);
  EXPECT_EQ(undo.PeekItem()->StartPos, BufferCoord(1, 2));

  // Undo: the line comes back (shifting the ranges below), then the range.
  std::unique_ptr<TOndEditUndoItem> item = undo.PopItem();
  f.Lines.Insert(1, header);
  f.Folder.LinesInserted(1, 1, 1);
  TOndEditFoldRange* back = f.Folder.RestoreFoldRange(*item);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(item->Extra1, nullptr);
  EXPECT_TRUE(back->Collapsed);
  EXPECT_EQ(f.Ranges.AllCount(), 3);
  EXPECT_EQ(f.Folder.FoldRangeAtLine(2), back);
  EXPECT_EQ(f.Folder.FoldRangeAtLine(3)->FromLine, 3);  // "b {" moved down
  EXPECT_EQ(f.Folder.TextWithFoldsExpanded(), Join(original));
  EXPECT_EQ(f.Folder.RestoreFoldRange(*item), nullptr);

  // The nested collapsed range came back too.
  ASSERT_TRUE(f.Folder.ExpandFoldRange(back));
  TOndEditFoldRange* inner = f.Folder.FoldRangeAtLine(3);
  ASSERT_NE(inner, nullptr);
  EXPECT_TRUE(inner->Collapsed);
  EXPECT_EQ(f.Text(), (std::vector<std::string>{"a", "outer {", "  inner {     ", "  y", "}", "b {", "z", "}"}));
  f.Folder.ExpandAll();
  EXPECT_EQ(f.Text(), original);
}

TEST(CodeFolding, PluginShiftsRangesOnEdits) {
  Fixture f({"a {", "b", "}", "c {", "d", "}"});
  // Enter before the "{" of line 4: the header goes down with the text.
  f.Lines.Put(3, "c ");
  f.Lines.Insert(4, "{");
  f.Folder.LinesInserted(4, 1, 1);
  EXPECT_EQ(f.Shape(), (Shape{{1, 3, 0}, {5, 7, 0}}));
  // A line inside the first range widens it.
  f.Lines.Insert(1, "new");
  f.Folder.LinesInserted(1, 1, 1);
  EXPECT_EQ(f.Shape(), (Shape{{1, 4, 0}, {6, 8, 0}}));
  // Removing lines 3 to 6 (the end of the first and the second header).
  f.Lines.DeleteLineRange(2, 4);
  f.Folder.LinesDeleted(3, 4, nullptr, smNormal, 1);
  EXPECT_EQ(f.Shape(), (Shape{{1, 2, 0}, {3, 4, 0}}));
  // Counts of 0 or less change nothing.
  f.Folder.LinesInserted(1, 0, 1);
  f.Folder.LinesDeleted(1, -2, nullptr, smNormal, 1);
  EXPECT_EQ(f.Shape(), (Shape{{1, 2, 0}, {3, 4, 0}}));
}

TEST(CodeFolding, UpdateKeepsCollapsedRanges) {
  Fixture f({"a {", "  b {", "  x", "  }", "}", "c"});
  TOndEditFoldRange* b = f.Folder.FoldRangeAtLine(2);
  ASSERT_TRUE(f.Folder.CollapseFoldRange(b));
  // New brace text around the collapsed one; the old outer range is gone.
  f.Lines.Put(0, "a");
  f.Lines.Put(2, "}");
  f.Lines.Put(3, "c {");
  f.Lines.Add("}");
  f.Lines.Insert(0, "top {");
  f.Folder.LinesInserted(0, 1, 1);
  f.Folder.UpdateFoldRanges();
  // The new range "top" holds the collapsed b.
  ASSERT_EQ(f.Folder.FoldRangeAtLine(3), b);
  EXPECT_TRUE(b->Collapsed);
  TOndEditFoldRange* top = f.Folder.FoldRangeAtLine(1);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(b->Level, 1);
  EXPECT_EQ(top->SubFoldRanges.IndexOf(b), 0);
  EXPECT_EQ(f.Folder.TextWithFoldsExpanded(), "top {\r\na\r\n  b {\r\n  x\r\n  }\r\n}\r\nc {\r\n}");
}


// Every range in flat order: the range it sits in, its lines, depth and
// indentation.
std::string Tree(const TOndEditAllFoldRanges& All) {
  std::map<const TOndEditFoldRanges*, int> index;
  for (int j = 0; j < All.AllCount(); ++j) index[&All.AllRanges(j)->SubFoldRanges] = j;
  std::ostringstream s;
  for (const auto& r : All.AllRangeList()) {
    const auto parent = index.find(r->Container());
    s << (parent == index.end() ? -1 : parent->second) << ' ' << r->FromLine << '-' << r->ToLine << " L" << r->Level
      << " I" << r->IndentLevel << '\n';
  }
  return s.str();
}

// An update bounded by the changed lines gives the tree a scan of the whole
// changed text gives, or declines and leaves the tree as it was; it scans
// no more lines than it needs to find the scan standing as before.
TEST(FoldUpdateBetween, GivesTheTreeOfAFullScanOrDeclines) {
  const std::vector<std::string> pool = {"a {", "}", "  x", "\"s { \\\" }\" {", "{ }", "} {", "b { c {", "} }", "",
                                         "\t{", "  },", "\"}\""};
  std::mt19937 rng(4711);
  int bounded = 0, declined = 0;
  for (int round = 0; round < 40; ++round) {
    std::vector<std::string> text;
    // Balanced blocks, so that most edits leave the rest of the tree alone.
    for (int b = 0; b < 30; ++b) {
      text.push_back("k" + std::to_string(b) + " {");
      for (unsigned n = rng() % 4; n-- > 0;) text.push_back(rng() % 2 ? "  y" : "  i { z }");
      if (rng() % 3 == 0) text.insert(text.end(), {"  in {", "    w", "  }"});
      text.push_back("}");
    }
    Fixture f(text);
    for (int step = 0; step < 30; ++step) {
      const int count = f.Lines.GetCount();
      const int first = 1 + static_cast<int>(rng() % static_cast<unsigned>(count));
      // From the line before: inserted lines may carry the end of a range on
      // it down with them.
      const int from = std::max(1, first - 1);
      const std::vector<TOndEditFoldRange*> open = f.Folder.OpenRangesAt(from);
      const std::string line = pool[rng() % pool.size()];
      int last = first;
      switch (rng() % 3) {
        case 0:
          f.Lines.Put(first - 1, line);
          break;
        case 1: {
          const int n = 1 + static_cast<int>(rng() % 3);
          for (int k = 0; k < n; ++k) f.Lines.Insert(first - 1 + k, pool[rng() % pool.size()]);
          f.Folder.LinesInserted(first - 1, n, 1);
          last = first + n - 1;
          break;
        }
        default:
          if (count < 2) continue;
          f.Lines.Delete(first - 1);
          f.Folder.LinesDeleted(first, 1, nullptr, smNormal, 1);
          break;
      }
      const std::string before = Tree(f.Ranges);
      std::int64_t visited = 0;
      const bool done = f.Folder.UpdateFoldRangesBetween(from, last, open, 1000, &visited);
      if (!done) {
        ASSERT_EQ(Tree(f.Ranges), before) << "round " << round << " step " << step;
        ++declined;
        f.Folder.UpdateFoldRanges();
      } else {
        ++bounded;
      }
      Fixture full(f.Text());
      ASSERT_EQ(Tree(f.Ranges), Tree(full.Ranges)) << "round " << round << " step " << step << " bounded " << done << " first " << first << " last " << last << " line " << line << " open " << open.size() << " count " << count;
    }
  }
  // Many edits are bounded (a brace left open makes every later update of
  // its round a full one).
  EXPECT_GT(bounded, 100);
  EXPECT_GT(declined, 0);
}

// A line changed in the middle of a long text of blocks is scanned with the
// lines up to the end of its block, not the text.
TEST(FoldUpdateBetween, AChangeInsideABlockScansTheBlock) {
  std::vector<std::string> text{"{"};
  for (int b = 0; b < 2000; ++b) text.insert(text.end(), {"  \"o\": {", "    \"a\": 1,", "    \"b\": 2", "  },"});
  text.push_back("}");
  Fixture f(text);
  const int line = 4 * 1000 + 3;  // "a" of the thousandth block
  const std::vector<TOndEditFoldRange*> open = f.Folder.OpenRangesAt(line - 1);
  f.Lines.Put(line - 1, "    \"a\": { \"x\": 1 },");
  std::int64_t visited = 0;
  ASSERT_TRUE(f.Folder.UpdateFoldRangesBetween(line - 1, line, open, 1000, &visited));
  EXPECT_LE(visited, 4);
  Fixture full(f.Text());
  EXPECT_EQ(Tree(f.Ranges), Tree(full.Ranges));
  // A brace opened and never closed changes the nesting of every block
  // after it: no bound holds.
  const std::vector<TOndEditFoldRange*> open2 = f.Folder.OpenRangesAt(line - 1);
  f.Lines.Put(line - 1, "    \"a\": {");
  EXPECT_FALSE(f.Folder.UpdateFoldRangesBetween(line - 1, line, open2, 1000, &visited));
}

}  // namespace
}  // namespace ond
