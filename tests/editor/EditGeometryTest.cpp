// The editor's window-free geometry: tabs, pixels, paint ranges, scrolling
// the caret into view, row selections, gutter marks and token runs.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "editor/OndEditGeometry.h"

namespace ond {
namespace {

TEST(EditGeometry, ColumnsWithTabsAndPastTheEnd) {
  const std::string tabbed = "\tab";
  EXPECT_EQ(LineCharToColumn(tabbed, 1, 8), 1);
  EXPECT_EQ(LineCharToColumn(tabbed, 2, 8), 9);
  EXPECT_EQ(LineCharToColumn(tabbed, 3, 8), 10);
  EXPECT_EQ(LineCharToColumn(tabbed, 4, 8), 11);   // just after the text
  EXPECT_EQ(LineCharToColumn(tabbed, 10, 8), 17);  // free caret: one column per char
  EXPECT_EQ(LineCharToColumn("a\tb", 3, 4), 5);
  EXPECT_EQ(LineCharToColumn("", 5, 4), 5);
  // And back: a column inside a tab's stretch belongs to the character after it.
  EXPECT_EQ(LineColumnToChar(tabbed, 1, 8), 1);
  EXPECT_EQ(LineColumnToChar(tabbed, 5, 8), 2);
  EXPECT_EQ(LineColumnToChar(tabbed, 9, 8), 2);
  EXPECT_EQ(LineColumnToChar(tabbed, 10, 8), 3);
  EXPECT_EQ(LineColumnToChar(tabbed, 17, 8), 10);
  EXPECT_EQ(LineColumnToChar("", 7, 8), 7);
  for (int ch = 1; ch < 12; ++ch)
    EXPECT_EQ(LineColumnToChar("x\ty\t\tz", LineCharToColumn("x\ty\t\tz", ch, 3), 3), ch) << ch;
}

// The conversions step over tab-free stretches at once; a character-by-
// character walk is the reference, on random lines of tabs and letters.
TEST(EditGeometry, ColumnsAgreeWithACharacterWalk) {
  auto column = [](const std::string& line, int ch, int tab) {
    int col = 0;
    for (int i = 0; i < ch - 1; ++i)
      col = i < static_cast<int>(line.size()) && line[static_cast<std::size_t>(i)] == '\t' ? col + tab - col % tab
                                                                                          : col + 1;
    return col + 1;
  };
  auto character = [](const std::string& line, int col, int tab) {
    int width = 0, i = 0;
    const int n = static_cast<int>(line.size());
    for (; i < n && width < col - 1; ++i) width = line[static_cast<std::size_t>(i)] == '\t' ? width + tab - width % tab : width + 1;
    return std::max(1, i + 1 + std::max(0, col - 1 - width));
  };
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    std::string line(rng() % 70, 'a');
    for (char& c : line)
      if (rng() % 5 == 0) c = '\t';
    const int tab = 1 + static_cast<int>(rng() % 9);
    for (int at = -1; at <= static_cast<int>(line.size()) + 4; ++at) {
      ASSERT_EQ(LineCharToColumn(line, at, tab), column(line, at, tab)) << round << ' ' << at;
      ASSERT_EQ(LineColumnToChar(line, at, tab), character(line, at, tab)) << round << ' ' << at;
    }
  }
}

TEST(EditGeometry, PixelsAndPaintRange) {
  TOndEditView v;
  v.CharWidth = 7;
  v.LineHeight = 15;
  v.GutterWidth = 30;
  v.FitClient(30 + 2 + 7 * 10 + 3, 15 * 4 + 5);
  EXPECT_EQ(v.CharsInWindow, 10);
  EXPECT_EQ(v.LinesInWindow, 4);
  EXPECT_EQ(v.TextOffset(), 32);
  EXPECT_EQ(v.PixelToDisplayPos(0, 0), DisplayCoord(1, 1));  // left of the text area clamps
  EXPECT_EQ(v.PixelToDisplayPos(32 + 7 * 3 + 6, 15 * 2), DisplayCoord(4, 3));
  EXPECT_EQ(v.PixelToNearestDisplayPos(32 + 7 * 3 + 4, 0), DisplayCoord(5, 1));
  EXPECT_EQ(v.PixelToNearestDisplayPos(40, 1000).Row, 4);  // below the rows: the last visible one
  v.LeftColumn = 5;
  v.TopLine = 10;
  EXPECT_EQ(v.TextOffset(), 32 - 4 * 7);
  EXPECT_EQ(v.DisplayPosToPixel(DisplayCoord(5, 11)), (TPoint{32, 15}));
  EXPECT_EQ(v.PixelToDisplayPos(32, 15), DisplayCoord(5, 11));

  TOndPaintRange r = v.PaintRange(Rect(0, 0, 30, 60), 100);  // the gutter only
  EXPECT_EQ(r.FirstColumn, 5);
  EXPECT_EQ(r.FirstRow, 10);
  EXPECT_EQ(r.LastRow, 13);  // the clip's bottom (60) is where row 14 starts: not painted
  r = v.PaintRange(Rect(32 + 14, 16, 32 + 21, 29), 100);
  EXPECT_EQ(r.FirstColumn, 7);
  EXPECT_EQ(r.LastColumn, 8);
  EXPECT_EQ(r.FirstRow, 11);
  EXPECT_EQ(r.LastRow, 11);
  EXPECT_EQ(v.PaintRange(Rect(0, 15, 200, 31), 100).LastRow, 12);  // one pixel of row 12
  EXPECT_EQ(v.PaintRange(Rect(0, 0, 200, 60), 11).LastRow, 11);
  EXPECT_LT(v.PaintRange(Rect(0, 0, 200, 60), 0).LastRow, 1);
}

TEST(EditGeometry, PixelRowsOfARangeOfRows) {
  TOndEditView v;
  v.LineHeight = 10;
  v.TopLine = 5;
  v.LinesInWindow = 4;  // rows 5..8 whole, row 9 in part
  const int clientHeight = 45;
  struct Case {
    int First, Last;
    bool Shown;
    int Top, Bottom;
  };
  const Case cases[] = {
      {5, 5, true, 0, 10},              // the top row
      {7, 6, true, 10, 30},             // either order
      {1, 3, false, 0, 0},              // all above the window: clipped to an empty span
      {2, 6, true, 0, 20},              // starting above, clipped at the top
      {9, 9, true, 40, 45},             // the row shown in part reaches the client's bottom
      {8, 100, true, 30, 45},           // running past the window
      {10, 12, false, 0, 0},            // all below the window
  };
  for (const Case& c : cases) {
    int top = -1, bottom = -1;
    const bool shown = v.RowsSpan(c.First, c.Last, clientHeight, top, bottom);
    EXPECT_EQ(shown, c.Shown) << c.First << ".." << c.Last;
    if (shown && c.Shown) {
      EXPECT_EQ(top, c.Top) << c.First << ".." << c.Last;
      EXPECT_EQ(bottom, c.Bottom) << c.First << ".." << c.Last;
    }
  }
}

TEST(EditGeometry, ScrollingTheCaretIntoView) {
  TOndEditView v;
  v.CharsInWindow = 40;
  v.LinesInWindow = 10;
  int left, top;
  v.ScrollToShow(DisplayCoord(45, 1), false, left, top);
  EXPECT_EQ(left, 45 - 40 + 24);  // lands 24 columns from the left edge
  EXPECT_EQ(top, 1);
  v.LeftColumn = 30;
  v.ScrollToShow(DisplayCoord(3, 25), false, left, top);
  EXPECT_EQ(left, 3);
  EXPECT_EQ(top, 16);
  v.ScrollToShow(DisplayCoord(3, 25), true, left, top);
  EXPECT_EQ(top, 25 - 9 + 5);
  // Fewer than 24 columns: the caret stays in view.
  v.LeftColumn = 1;
  v.CharsInWindow = 10;
  v.ScrollToShow(DisplayCoord(30, 1), false, left, top);
  EXPECT_GE(30, left);
  EXPECT_LT(30, left + 10);
  v.LinesInWindow = 0;  // no room at all: still a valid position
  v.ScrollToShow(DisplayCoord(30, 7), false, left, top);
  EXPECT_EQ(top, 7);
}

TEST(EditGeometry, RowSelectionInTheThreeModes) {
  const TDisplayCoord b = DisplayCoord(5, 2), e = DisplayCoord(3, 4);
  EXPECT_FALSE(RowSelection(1, b, e, smNormal, 1, 20).Any);
  TOndRowSelection s = RowSelection(2, b, e, smNormal, 1, 20);
  EXPECT_TRUE(s.Any);
  EXPECT_FALSE(s.Whole);
  EXPECT_EQ(s.Start, 5);
  EXPECT_EQ(s.End, 21);
  EXPECT_TRUE(RowSelection(3, b, e, smNormal, 1, 20).Whole);
  s = RowSelection(4, b, e, smNormal, 1, 20);
  EXPECT_EQ(s.Start, 1);
  EXPECT_EQ(s.End, 3);
  EXPECT_FALSE(RowSelection(4, b, e, smNormal, 4, 20).Any);  // ends before the painted columns
  s = RowSelection(3, b, e, smColumn, 1, 20);
  EXPECT_EQ(s.Start, 3);
  EXPECT_EQ(s.End, 5);
  EXPECT_FALSE(RowSelection(3, DisplayCoord(4, 2), DisplayCoord(4, 4), smColumn, 1, 20).Any);
  EXPECT_TRUE(RowSelection(4, b, e, smLine, 1, 20).Whole);
  EXPECT_TRUE(RowSelection(2, b, e, smLine, 1, 20).Whole);
}

TEST(EditGeometry, IntensMarks) {
  EXPECT_EQ(IntensMark(10, false, "  10"), TOndIntensMark::Number);
  EXPECT_EQ(IntensMark(20, false, "  20"), TOndIntensMark::Number);
  EXPECT_EQ(IntensMark(7, true, "   7"), TOndIntensMark::Number);
  EXPECT_EQ(IntensMark(15, false, "  15"), TOndIntensMark::Dash);
  EXPECT_EQ(IntensMark(7, false, "   7"), TOndIntensMark::Dot);
}

TEST(EditGeometry, TokensMergeIntoRuns) {
  std::vector<TOndPaintRun> runs;
  auto emit = [&](const TOndPaintRun& r) { runs.push_back(r); };
  {
    TOndTokenAccumulator acc(clBlack, clWhite, false, false, false, emit);
    acc.Add("int", 1, clBlue, clNone, fsBold);
    acc.Add(" ", 4, clBlack, clNone, 0);  // blanks join whatever their colour or style
    acc.Add("x", 5, clBlack, clNone, 0);
    acc.Add("y", 6, clNone, clWhite, 0);  // none and the default both mean the row colour
    acc.Add("z", 7, clBlack, clRed, 0);
    acc.Flush();
  }
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].Text, "int ");
  EXPECT_EQ(runs[0].Style, fsBold);
  EXPECT_EQ(runs[1].Text, "xy");
  EXPECT_EQ(runs[1].Column, 5);
  EXPECT_EQ(runs[1].Background, clWhite);
  EXPECT_EQ(runs[2].Background, clRed);
  runs.clear();
  {
    // A selected row paints alike whatever the token colours.
    TOndTokenAccumulator acc(clBlack, clWhite, false, false, true, emit);
    acc.Add("a", 1, clBlue, clNone, 0);
    acc.Add("b", 2, clRed, clGreen, 0);
    acc.Add("c", 3, clRed, clGreen, fsItalic);
    acc.Flush();
  }
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].Text, "ab");
}

}  // namespace
}  // namespace ond
