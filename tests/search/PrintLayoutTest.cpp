#include <gtest/gtest.h>

#include "search/OndEditHeaderFooter.h"
#include "search/OndEditPrintMetrics.h"

namespace ond {
namespace {

// Every character is 20 pixels wide; a line is 40 high with a descent of 10.
class TFixedMeasure : public TOndPrintMeasure {
 public:
  int TextWidth(const TOndPrintFont&, std::string_view text) const override {
    return 20 * static_cast<int>(text.size());
  }
  int TextHeight(const TOndPrintFont& f, std::string_view) const override { return 4 * f.Size; }
  int Descent(const TOndPrintFont& f) const override { return f.Size; }
  int AverageCharWidth(const TOndPrintFont&) const override { return 20; }
  int LineHeight(const TOndPrintFont& f) const override { return 4 * f.Size; }
};

TEST(IntToRoman, GreedyWithSubtractivePairs) {
  const struct { int n; const char* roman; } cases[] = {
      {1984, "MCMLXXXIV"}, {4, "IV"}, {2024, "MMXXIV"}, {5000, "MMMMM"}, {3999, "MMMCMXCIX"},
      {0, ""}, {-7, ""}, {-2147483647 - 1, ""}};
  for (const auto& c : cases) EXPECT_EQ(IntToRoman(c.n), c.roman) << c.n;
}

TEST(PrinterInfo, DefaultsWithoutPrinter) {
  TOndEditPrinterInfo info;
  EXPECT_EQ(info.PhysicalWidth(), 2481);
  EXPECT_EQ(info.PrintableHeight(), 3407);
  EXPECT_EQ(info.RightGutter(), 58);
  EXPECT_EQ(info.PixFromLeft(10), 53);  // 10 * 300 / 25.4 - 65 = 53.11
  TOndEditPrinterInfo noPrinter([] { return std::optional<TOndPrinterCaps>(); });
  EXPECT_EQ(noPrinter.PixFromLeft(10), 53);
}

TEST(PrinterInfo, MetricsFromPrinterAndLazyUpdate) {
  int calls = 0;
  TOndEditPrinterInfo info([&] {
    ++calls;
    return std::optional<TOndPrinterCaps>(TOndPrinterCaps{1000, 2000, 900, 1800, 40, 60, 254, 508});
  });
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(info.RightGutter(), 60);    // 1000 - 900 - 40
  EXPECT_EQ(info.BottomGutter(), 140);  // 2000 - 1800 - 60
  EXPECT_DOUBLE_EQ(info.YPixPrmm(), 20);
  EXPECT_EQ(info.PixFromTop(10), 140);
  EXPECT_EQ(calls, 1);
  info.Invalidate();
  info.PixFromRight(1);
  EXPECT_EQ(calls, 2);
}

TEST(PrinterInfo, HalvesRoundToEven) {
  // 10 px per mm, gutters 0: 0.25 mm -> 2.5 px -> 2, 0.35 mm -> 3.5 px -> 4.
  TOndEditPrinterInfo info([] {
    return std::optional<TOndPrinterCaps>(TOndPrinterCaps{1000, 1000, 1000, 1000, 0, 0, 254, 254});
  });
  EXPECT_EQ(info.PixFromLeft(0.25), 2);
  EXPECT_EQ(info.PixFromLeft(0.35), 4);
}

struct TPageFixture : ::testing::Test {
  TFixedMeasure measure;
  TOndPrintFont font;
  TOndEditPrinterInfo printer;
  TOndEditPrintMargins margins;
};

TEST_F(TPageFixture, MirroredMarginsSwapOnEvenPagesOnly) {
  margins.Left = 30;
  margins.Right = 10;
  margins.Gutter = 5;
  margins.MirrorMargins = true;
  margins.InitPage(measure, font, 1, printer, false, false, 0);
  const int oddLeft = margins.PLeft, oddRight = margins.PRight;
  EXPECT_EQ(oddLeft, printer.PixFromLeft(35));
  EXPECT_EQ(oddRight, printer.PrintableWidth() - printer.PixFromRight(10));
  margins.InitPage(measure, font, 2, printer, false, false, 0);
  EXPECT_EQ(margins.PLeft, printer.PixFromLeft(10));
  EXPECT_EQ(margins.PRight, printer.PrintableWidth() - printer.PixFromRight(35));
  margins.InitPage(measure, font, 3, printer, false, false, 0);
  EXPECT_EQ(margins.PLeft, oddLeft);
  margins.MirrorMargins = false;
  margins.InitPage(measure, font, 2, printer, false, false, 0);
  EXPECT_EQ(margins.PLeft, oddLeft);
  EXPECT_EQ(margins.PRight, oddRight);
}

TEST_F(TPageFixture, LineNumbersOutsideTheMarginTakeTextRoom) {
  margins.InitPage(measure, font, 1, printer, false, false, 0);
  const int plain = margins.PLeft;
  margins.InitPage(measure, font, 1, printer, true, true, 1234);
  EXPECT_EQ(margins.PLeft, plain);
  margins.InitPage(measure, font, 1, printer, true, false, 1234);
  EXPECT_EQ(margins.PLeft, plain + 20 * 6);  // "1234: "
  EXPECT_EQ(margins.PLeftHFTextIndent, margins.PLeft + 24);  // 2 mm at 300 dpi
  EXPECT_EQ(margins.PRightHFTextIndent, margins.PRight - 24);
}

TEST_F(TPageFixture, MarginsWiderThanThePaperLeaveOneCharacter) {
  margins.Left = 200;
  margins.Right = 200;
  margins.Top = 200;
  margins.Bottom = 200;
  margins.InitPage(measure, font, 1, printer, false, false, 0);
  EXPECT_EQ(margins.PRight - margins.PLeft, 20);
  EXPECT_GE(margins.PLeft, 0);
  EXPECT_LE(margins.PRight, printer.PrintableWidth());
  EXPECT_EQ(margins.PBottom - margins.PTop, 40);
  EXPECT_GE(margins.PTop, 0);
  EXPECT_LE(margins.PBottom, printer.PrintableHeight());
}

TEST(HeaderFooterMacros, ExpandKnownNamesOnly) {
  THeaderFooter h(THeaderFooterType::hftHeader);
  TFixedMeasure measure;
  TOndEditPrintMargins margins;
  h.InitPrint(measure, 12, "cfg.txt", &margins, "06.12.2026", "23:00");
  const struct { const char* in; int page; const char* out; } cases[] = {
      {"$pagenum$", 3, "3"},
      {"$FOO$", 3, "$FOO$"},
      {"Cost $5, page $PAGENUM$", 7, "Cost $5, page 7"},
      {"$PageNum$ of $PAGECOUNT$", 2, "2 of 12"},
      {"$TITLE$ $DATETIME$|$TIMEDATE$", 1, "cfg.txt 06.12.2026 23:00|23:00 06.12.2026"},
      {"$DATE$$TIME$", 1, "06.12.202623:00"},
      {"$", 1, "$"},
      {"a$$b", 1, "a$$b"},
      {"tail $PAGENUM", 1, "tail $PAGENUM"},
      {"", 1, ""}};
  for (const auto& c : cases) EXPECT_EQ(h.ExpandMacros(c.in, c.page), c.out) << c.in;
  h.RomanNumbers = true;
  EXPECT_EQ(h.ExpandMacros("$PAGENUM$/$PAGECOUNT$", 4), "IV/XII");
}

struct THeaderLayout : TPageFixture {
  THeaderFooter header{THeaderFooterType::hftHeader};
  void SetUp() override {
    margins.InitPage(measure, font, 1, printer, false, false, 0);
  }
};

TEST_F(THeaderLayout, WithoutItemsNothingIsPrinted) {
  header.FrameTypes = ftLine | ftBox | ftShaded;
  header.InitPrint(measure, 1, "", &margins, "", "");
  EXPECT_EQ(header.GetHeight(), 0);
  EXPECT_FALSE(header.Layout(measure, 1).Visible);
}

TEST_F(THeaderLayout, LinesSortedMeasuredAndPlaced) {
  TOndPrintFont big = font;
  big.Size = 20;
  header.Add("right", font, TOndHFAlignment::hfaRight, 5);
  header.Add("L", big, TOndHFAlignment::hfaLeft, 2);
  header.Add("mid", font, TOndHFAlignment::hfaCenter, 2);
  header.FrameTypes = ftLine | ftShaded;
  header.InitPrint(measure, 1, "", &margins, "", "");
  ASSERT_EQ(header.LineCount(), 2);
  EXPECT_EQ(header.LineInfo()[0].LineHeight, 80);
  EXPECT_EQ(header.LineInfo()[0].MaxBaseDist, 60);
  EXPECT_EQ(header.LineInfo()[1].LineHeight, 40);
  EXPECT_EQ(header.GetHeight(), 120 + 2 * margins.PHFInternalMargin);

  const TOndHeaderFooterPlan plan = header.Layout(measure, 1);
  ASSERT_TRUE(plan.Visible);
  EXPECT_EQ(plan.Band.Bottom, margins.PHeader);
  EXPECT_EQ(plan.Band.Height(), header.GetHeight());
  EXPECT_TRUE(plan.DrawBand && plan.FillBand && !plan.OutlineBand && plan.DrawLine);
  EXPECT_EQ(plan.LineY, margins.PHeader);
  ASSERT_EQ(plan.Texts.size(), 3u);
  const int y0 = plan.Band.Top + margins.PHFInternalMargin;
  EXPECT_EQ(plan.Texts[0].X, margins.PLeftHFTextIndent);
  EXPECT_EQ(plan.Texts[0].BaselineY, y0 + 60);
  EXPECT_EQ(plan.Texts[1].X, (margins.PLeftHFTextIndent + margins.PRightHFTextIndent - 60) / 2);
  EXPECT_EQ(plan.Texts[2].X, margins.PRightHFTextIndent - 100);
  EXPECT_EQ(plan.Texts[2].BaselineY, y0 + 80 + 30);
}

TEST_F(THeaderLayout, MirrorPositionSwapsSidesOnEvenPages) {
  header.Add("p$PAGENUM$", font, TOndHFAlignment::hfaRight, 1);
  header.MirrorPosition = true;
  header.InitPrint(measure, 2, "", &margins, "", "");
  EXPECT_EQ(header.Layout(measure, 1).Texts[0].X, margins.PRightHFTextIndent - 40);
  EXPECT_EQ(header.Layout(measure, 2).Texts[0].X, margins.PLeftHFTextIndent);
  EXPECT_EQ(header.Layout(measure, 2).Texts[0].Text, "p2");
}

TEST_F(TPageFixture, FooterBandStartsAtTheFooterPosition) {
  THeaderFooter footer(THeaderFooterType::hftFooter);
  margins.InitPage(measure, font, 1, printer, false, false, 0);
  footer.Add("x", font, TOndHFAlignment::hfaLeft, 1);
  footer.SetPixelsPerInch(600);
  EXPECT_EQ(footer.Items()[0].Font.PixelsPerInch, 600);
  EXPECT_EQ(footer.Items()[0].Font.Size, font.Size);
  footer.InitPrint(measure, 1, "", &margins, "", "");
  const TOndHeaderFooterPlan plan = footer.Layout(measure, 1);
  EXPECT_EQ(plan.Band.Top, margins.PFooter);
  EXPECT_EQ(plan.LineY, margins.PFooter);
  EXPECT_FALSE(plan.DrawBand);
}

}  // namespace
}  // namespace ond
