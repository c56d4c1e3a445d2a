// Scroll limits, scroll-bar ranges, thumb positions, the wheel accumulator and
// the auto-scroll deltas, without a window.
#include <gtest/gtest.h>

#include "editor/OndEditGeometry.h"
#include "platform/core/SysUtils.h"

namespace ond {
namespace {

TEST(ScrollGeometry, TopLineClampedWithAndWithoutScrollPastEof) {
  // 30 rows, 20 fit: the last full window starts at row 11.
  EXPECT_EQ(ClampTopLine(25, 30, 20, false), 11);
  EXPECT_EQ(ClampTopLine(25, 30, 20, true), 25);
  EXPECT_EQ(ClampTopLine(40, 30, 20, true), 30);
  EXPECT_EQ(ClampTopLine(0, 30, 20, false), 1);
  EXPECT_EQ(ClampTopLine(-5, 30, 20, true), 1);
  // Fewer rows than fit, or none at all: always 1.
  EXPECT_EQ(ClampTopLine(3, 5, 20, false), 1);
  EXPECT_EQ(ClampTopLine(3, 0, 20, true), 1);
}

TEST(ScrollGeometry, LeftColumnLimits) {
  TOndScrollState s;
  s.CharsInWindow = 40;
  s.LongestLine = 100;
  EXPECT_EQ(MaxLeftColumn(s), 61);
  EXPECT_EQ(ClampLeftColumn(500, s), 61);
  EXPECT_EQ(ClampLeftColumn(-3, s), 1);
  s.LongestLine = 40;  // fits: no scrolling
  EXPECT_EQ(MaxLeftColumn(s), 1);
  s.ScrollPastEol = true;
  s.MaxScrollWidth = 1024;
  EXPECT_EQ(MaxLeftColumn(s), 985);
  s.AutoSizeMaxScrollWidth = true;
  EXPECT_EQ(MaxLeftColumn(s), 2147483647 - 40);
  // Word wrap narrower than the window never scrolls sideways; a wider one
  // scrolls to its own width.
  s = TOndScrollState{};
  s.CharsInWindow = 40;
  s.LongestLine = 300;
  s.WrapWidth = 30;
  s.ScrollPastEol = true;
  EXPECT_EQ(MaxLeftColumn(s), 1);
  s.ScrollPastEol = false;
  s.WrapWidth = 50;
  EXPECT_EQ(MaxLeftColumn(s), 11);
}

TEST(ScrollGeometry, ScrollBarRangesScaledAboveAShort) {
  TOndScrollState s;
  s.RowCount = 40000;
  s.LinesInWindow = 20;
  s.CharsInWindow = 50;
  s.LongestLine = 10;
  s.TopLine = 20000;
  TOndScrollBarPlan h, v;
  PlanScrollBars(s, h, v);
  EXPECT_TRUE(v.Show);
  EXPECT_EQ(v.Min, 0);
  EXPECT_EQ(v.Max, 32767);
  EXPECT_EQ(v.Page, MulDiv(32767, 20, 40000));
  EXPECT_EQ(v.Pos, MulDiv(32767, 20000, 40000));
  // The thumb maps back to about the same row (within a window).
  EXPECT_NEAR(VertThumbToRow(40000, 20, v.Pos), 20000, 20);
  EXPECT_EQ(VertThumbToRow(100, 20, 37), 37);

  // Small ranges are unscaled; the page is the window.
  EXPECT_EQ(h.Min, 1);
  EXPECT_EQ(h.Max, 10);
  EXPECT_EQ(h.Page, 50);
  EXPECT_TRUE(h.Show);  // kept, disabled, without eoHideShowScrollbars
  EXPECT_TRUE(h.DisableNoScroll);
  EXPECT_FALSE(h.ArrowEnabled[0]);
  EXPECT_FALSE(h.ArrowEnabled[1]);
  s.HideShowScrollbars = true;
  PlanScrollBars(s, h, v);
  EXPECT_FALSE(h.Show);
  EXPECT_TRUE(v.Show);

  // Past the end of the text the range grows by a window less one row.
  s = TOndScrollState{};
  s.RowCount = 30;
  s.LinesInWindow = 20;
  s.ScrollPastEof = true;
  s.ScrollPastEol = true;
  s.MaxScrollWidth = 100000;
  s.CharsInWindow = 50;
  s.LeftColumn = 50000;
  PlanScrollBars(s, h, v);
  EXPECT_EQ(v.Max, 49);
  EXPECT_EQ(h.Max, 32767);
  EXPECT_EQ(HorzThumbToColumn(h.Maximum, h.Pos), MulDiv(100000, MulDiv(32767, 50000, 100000), 32767));
  // A style that leaves a bar out hides it.
  s.WantHorizontal = false;
  PlanScrollBars(s, h, v);
  EXPECT_FALSE(h.Show);
  // A wrap width that fits hides the horizontal bar.
  s.WantHorizontal = true;
  s.WrapWidth = 40;
  PlanScrollBars(s, h, v);
  EXPECT_FALSE(h.Show);
}

TEST(ScrollGeometry, ArrowsWithDisableScrollArrows) {
  TOndScrollState s;
  s.DisableScrollArrows = true;
  s.RowCount = 30;
  s.LinesInWindow = 20;
  s.TopLine = 1;
  TOndScrollBarPlan h, v;
  PlanScrollBars(s, h, v);
  EXPECT_FALSE(v.ArrowEnabled[0]);
  EXPECT_TRUE(v.ArrowEnabled[1]);
  s.TopLine = 11;  // at the bottom
  PlanScrollBars(s, h, v);
  EXPECT_TRUE(v.ArrowEnabled[0]);
  EXPECT_FALSE(v.ArrowEnabled[1]);
  s.TopLine = 5;
  PlanScrollBars(s, h, v);
  EXPECT_TRUE(v.ArrowEnabled[0]);
  EXPECT_TRUE(v.ArrowEnabled[1]);
}

TEST(ScrollGeometry, WheelAccumulatesNotchesAndTheCtrlRules) {
  TOndWheel w;
  EXPECT_EQ(w.LinesToScroll(60, false, false, 20), 0);
  EXPECT_EQ(w.LinesToScroll(60, false, false, 20), -3);  // one notch up
  EXPECT_EQ(w.Accumulator, 0);
  EXPECT_EQ(w.LinesToScroll(-240, false, false, 20), 6);
  EXPECT_EQ(w.LinesToScroll(-120, true, false, 20), 20);
  EXPECT_EQ(w.LinesToScroll(-120, true, true, 20), 10);
  EXPECT_EQ(w.LinesToScroll(120, true, true, 21), -10);
  // High-resolution wheels: a remainder carries over in either direction.
  EXPECT_EQ(w.LinesToScroll(100, false, false, 20), 0);
  EXPECT_EQ(w.LinesToScroll(-30, false, false, 20), 0);
  EXPECT_EQ(w.Accumulator, 70);
  EXPECT_EQ(w.LinesToScroll(50, false, false, 20), -3);
  EXPECT_EQ(w.Accumulator, 0);
}

TEST(ScrollGeometry, AutoScrollDeltasOutsideTheTextRectangle) {
  const TRect r = Rect(30, 0, 30 + 10 * 8, 5 * 16);
  int dx = 9, dy = 9;
  AutoScrollDeltas(r, 50, 20, 8, 16, dx, dy);
  EXPECT_EQ(dx, 0);
  EXPECT_EQ(dy, 0);
  AutoScrollDeltas(r, 29, -1, 8, 16, dx, dy);
  EXPECT_EQ(dx, -1);
  EXPECT_EQ(dy, -1);
  AutoScrollDeltas(r, 10, -40, 8, 16, dx, dy);
  EXPECT_EQ(dx, -3);
  EXPECT_EQ(dy, -3);
  AutoScrollDeltas(r, 110, 80, 8, 16, dx, dy);
  EXPECT_EQ(dx, 1);
  EXPECT_EQ(dy, 1);
  AutoScrollDeltas(r, 130, 120, 8, 16, dx, dy);
  EXPECT_EQ(dx, 3);
  EXPECT_EQ(dy, 3);
}

}  // namespace
}  // namespace ond
