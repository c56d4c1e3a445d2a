// The gutter's line numbers when folds hide lines: the buffer holds fewer
// lines than the file, while the numbers shown are the file's.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "editor/OndEdit.h"
#include "editor/OndEditKeyCmds.h"
#include "platform/Graphics.h"
#include "tests/editor/gui/LoadedEditor.h"

namespace ond {
namespace {

// A brace block around Body lines, then a small block after it.
std::string BigBlock(int Body) {
  std::string text = "{\n";
  for (int i = 0; i < Body; ++i) text += "  \"k\": 1,\n";
  return text + "}\n{\n}";
}

// The leftmost gutter pixel on the row's line that is not the gutter's
// colour, left of the fold strip; -1 when the number left no ink.
int LeftmostInk(TBitmap& Bmp, TCustomOndEdit& Ed, int Row) {
  const int lh = Ed.GetLineHeight();
  for (int x = 0; x < Ed.GetGutterWidth() - 13; ++x)
    for (int y = (Row - 1) * lh; y < Row * lh; ++y)
      if (Bmp.Canvas()->GetPixel(x, y) != ColorToRGB(Ed.Gutter().GetColor())) return x;
  return -1;
}

TEST(GutterNumbers, AFoldHidingMostLinesKeepsEveryDigitOfTheNumbersAfterIt) {
  auto p = test::OpenLoaded(BigBlock(10000), true);
  TOndEdit& ed = *p->Edit;
  TOndGutter& g = ed.Gutter();
  g.SetDigitCount(2);
  g.SetAutoSize(true);
  g.SetLeftOffset(0);
  g.SetRightOffset(13);
  g.SetShowLineNumbers(true);
  const int wide = ed.GetGutterWidth();
  EXPECT_EQ(g.GetAutoSizeDigitCount(), 5);

  ASSERT_TRUE(ed.ToggleFoldAtLine(1));
  ASSERT_EQ(ed.Lines()->GetCount(), 3);
  ASSERT_EQ(ed.UncollapsedLine(2), 10003);
  // Sized for the file's lines, not the three the buffer keeps.
  EXPECT_EQ(g.GetAutoSizeDigitCount(), 5);
  EXPECT_EQ(ed.GetGutterWidth(), wide);

  // "10003" is painted whole: the "1" falls in the fifth digit cell from
  // the numbers' right edge, inside the gutter.
  TBitmap bmp;
  ed.PaintTo(bmp);
  const int cw = ed.GetCharWidth(), right = ed.GetGutterWidth() - 13 - 2;
  const int ink = LeftmostInk(bmp, ed, 2);
  EXPECT_GE(ink, right - 5 * cw);
  EXPECT_LT(ink, right - 4 * cw);

  // Typing beside the fold, opening it and undoing that keep the width.
  ed.SetCaretXY(BufferCoord(1, 3));
  ed.CommandProcessor(ecChar, 'x', nullptr);
  EXPECT_EQ(ed.GetGutterWidth(), wide);
  ASSERT_TRUE(ed.ToggleFoldAtLine(1));
  EXPECT_EQ(ed.Lines()->GetCount(), 10004);
  EXPECT_EQ(ed.GetGutterWidth(), wide);
  ed.Undo();  // closes the fold again
  ASSERT_EQ(ed.Lines()->GetCount(), 3);
  ed.SetCaretXY(BufferCoord(1, 3));
  ed.CommandProcessor(ecChar, 'y', nullptr);
  EXPECT_EQ(g.GetAutoSizeDigitCount(), 5);
  EXPECT_EQ(ed.GetGutterWidth(), wide);
}

// The numbers keep one blank digit cell before them however many digits
// the file's last line takes: the widest number has the margin a shorter one
// has, and does not touch the gutter's left edge. Each file's last number
// begins with "2", so that the digit's own ink starts alike.
TEST(GutterNumbers, TheWidestNumberKeepsTheMarginOfTheShorterOnes) {
  int margin = -1;
  for (const int lines : {21, 250, 20000, 2000000}) {
    std::string text;
    text.reserve(static_cast<std::size_t>(lines) * 2);
    for (int i = 1; i < lines; ++i) text += "x\n";
    text += "x";
    auto p = test::OpenLoaded(text, true);
    TOndEdit& ed = *p->Edit;
    TOndGutter& g = ed.Gutter();
    // As a panel sets it up.
    g.SetAutoSize(true);
    g.SetDigitCount(3);
    g.SetLeftOffset(0);
    g.SetRightOffset(4);
    g.SetGradient(false);
    TFont font;
    font.SetName("Courier New");
    font.SetSize(9);
    g.SetFont(font);
    g.SetShowLineNumbers(true);
    ASSERT_EQ(ed.Lines()->GetCount(), lines);
    ed.CommandProcessor(ecEditorBottom, 0, nullptr);
    // The last line's row; the caret then goes a line up, out of it.
    const int row = ed.GetDisplayXY().Row - ed.GetTopLine() + 1;
    ed.CommandProcessor(ecUp, 0, nullptr);
    ASSERT_EQ(ed.GetDisplayXY().Row - ed.GetTopLine() + 1, row - 1);
    TBitmap bmp;
    ed.PaintTo(bmp);
    const int ink = LeftmostInk(bmp, ed, row);
    ASSERT_GE(ink, 0) << lines;
    if (margin < 0) margin = ink;
    EXPECT_EQ(ink, margin) << lines << " lines";
  }
  EXPECT_GT(margin, 4);
}

}  // namespace
}  // namespace ond
