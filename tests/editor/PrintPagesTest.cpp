// The print object without a window: a printer of fixed metrics records what
// is painted, so page counts, rows, clamps and the job's course can be read
// back exactly.
#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "editor/OndEditPrint.h"
#include "tests/editor/PrintTestPrinter.h"
#include "highlight/OndBuiltinSchemes.h"
#include "highlight/OndGenHighlighter.h"

namespace ond {
namespace {

std::vector<std::string> Numbered(int count, const std::string& prefix = "line ") {
  std::vector<std::string> lines;
  for (int i = 1; i <= count; ++i) lines.push_back(prefix + std::to_string(i));
  return lines;
}

// Margins of 10 mm all round: text from 100 to 900 both ways, 40 columns of
// 20 pixels and 8 rows of 100 pixels a page.
struct PrintPages : ::testing::Test {
  test::TRecordingPrinter printer;
  TOndEditPrint print{printer};
  PrintPages() {
    print.Margins.Left = print.Margins.Right = print.Margins.Top = print.Margins.Bottom = 10;
    print.Margins.Header = print.Margins.Footer = 5;
    print.Highlight = false;
  }
  std::vector<std::pair<int, int>> Spans() const {  // (start, end) of every row
    std::vector<std::pair<int, int>> out;
    for (const auto& p : print.Pieces()) out.emplace_back(p.Start, p.End);
    return out;
  }
};

TEST_F(PrintPages, PageCountsFollowRowsPerPage) {
  const struct { int lines; int pages; } cases[] = {{0, 1}, {1, 1}, {8, 1}, {9, 2}, {16, 2}, {17, 3}, {20, 3}};
  for (const auto& c : cases) {
    print.SetLines(Numbered(c.lines));
    EXPECT_EQ(print.GetPageCount(), c.pages) << c.lines << " lines";
  }
}

TEST_F(PrintPages, WrapCutsRowsOfTheColumnsThatFitAndClipsWithoutIt) {
  print.SetLines({std::string(100, 'x'), "short"});
  EXPECT_EQ(print.GetPageCount(), 1);
  EXPECT_EQ(Spans(), (std::vector<std::pair<int, int>>{{0, 40}, {40, 80}, {80, 100}, {0, 5}}));
  print.Wrap = false;
  print.GetPageCount();
  EXPECT_EQ(Spans(), (std::vector<std::pair<int, int>>{{0, 100}, {0, 5}}));
  ASSERT_EQ(print.Print(), 1);
  // The unwrapped line is cut at the right margin, the short one is whole.
  ASSERT_EQ(printer.Texts.size(), 2u);
  EXPECT_EQ(printer.Texts[0].Text, std::string(40, 'x'));
  EXPECT_EQ(printer.Texts[1].Text, "short");
}

TEST_F(PrintPages, WrapWithNoColumnThatFitsStillEnds) {
  // A character wider than the whole text area: every row holds one.
  printer.CharWidth = 5000;
  print.SetLines({"abcde"});
  const int pages = print.GetPageCount();
  EXPECT_EQ(print.Pieces().size(), 5u);
  EXPECT_GE(pages, 1);
  EXPECT_EQ(print.Print(), pages);
}

TEST_F(PrintPages, TabsAreExpandedAndNoneSurvives) {
  print.SetTabWidth(4);
  print.SetLines({"a\tb", "\t\tc", "x\ty\tz"});
  EXPECT_EQ(print.Lines(), (std::vector<std::string>{"a   b", "        c", "x   y   z"}));
}

TEST_F(PrintPages, AWrappedLineThatWouldPassTheBottomMovesToTheNextPage) {
  auto lines = Numbered(7);
  lines.push_back(std::string(100, 'w'));  // three rows
  print.SetLines(lines);
  EXPECT_EQ(print.GetPageCount(), 2);
  const auto& pieces = print.Pieces();
  ASSERT_EQ(pieces.size(), 10u);
  EXPECT_EQ(pieces[7].Page, 2);
  EXPECT_EQ(pieces[7].Y, 100);
  EXPECT_TRUE(pieces[7].First);
}

TEST_F(PrintPages, ALineTallerThanAPageBreaksBetweenRows) {
  print.SetLines({"before", std::string(40 * 20, 'z'), "after"});
  EXPECT_EQ(print.GetPageCount(), 3);
  int firsts = 0;
  for (const auto& p : print.Pieces()) {
    EXPECT_LE(p.Y + 100, 900) << "row of line " << p.Line << " passes the bottom";
    if (p.Line == 2 && p.First) ++firsts;
  }
  EXPECT_EQ(firsts, 1);
  EXPECT_EQ(print.Pieces()[1].Page, 1);  // the tall line starts at once
}

TEST_F(PrintPages, NoRowPrintsOverTheFooterOrUnderTheHeader) {
  // Header and footer bands reach into the text area: text keeps clear of both.
  print.Margins.Header = 25;  // header band ends at 250
  print.Margins.Footer = 20;  // footer band starts at 800
  print.Header.Add("$TITLE$", {}, TOndHFAlignment::hfaLeft, 1);
  print.Footer.Add("$PAGENUM$", {}, TOndHFAlignment::hfaCenter, 1);
  print.SetLines(Numbered(20));
  const int pages = print.GetPageCount();
  EXPECT_EQ(pages, 4);  // rows from 250 to 800: five a page
  for (const auto& p : print.Pieces()) {
    EXPECT_GE(p.Y, 250);
    EXPECT_LE(p.Y + 100, 800);
  }
}

TEST_F(PrintPages, SelectedOnlyPrintsTheSelectedPartOfEachLine) {
  const std::vector<std::string> text{"0123456789", "abcdefghij", "ab", "ABCDEFGHIJ", "last"};
  struct TCase {
    const char* name;
    TBufferCoord begin, end;
    TOndSelectionMode mode;
    std::vector<std::pair<int, int>> spans;
    int firstLine;
  };
  const TCase cases[] = {
      {"normal", {4, 2}, {3, 4}, smNormal, {{3, 10}, {0, 2}, {0, 2}}, 2},
      {"normal, ends given backwards", {3, 4}, {4, 2}, smNormal, {{3, 10}, {0, 2}, {0, 2}}, 2},
      {"line", {4, 2}, {3, 4}, smLine, {{0, 10}, {0, 2}, {0, 10}}, 2},
      {"column", {3, 1}, {6, 4}, smColumn, {{2, 5}, {2, 5}, {2, 2}, {2, 5}}, 1},
      // Dragged right to left: the block's begin column is right of its end.
      {"column right to left", {9, 2}, {3, 4}, smColumn, {{2, 8}, {2, 2}, {2, 8}}, 2},
      {"column past short lines", {4, 3}, {8, 5}, smColumn, {{2, 2}, {3, 7}, {3, 4}}, 3},
  };
  for (const TCase& c : cases) {
    print.SetLines(text);
    print.SelectedOnly = true;
    print.SetSelection(true, c.begin, c.end, c.mode);
    EXPECT_EQ(print.GetPageCount(), 1) << c.name;
    EXPECT_EQ(Spans(), c.spans) << c.name;
    ASSERT_FALSE(print.Pieces().empty());
    EXPECT_EQ(print.Pieces().front().Line, c.firstLine) << c.name;
  }
}

TEST_F(PrintPages, SelectedOnlyWithoutASelectionPrintsNothing) {
  print.SetLines(Numbered(3));
  print.SelectedOnly = true;
  EXPECT_EQ(print.Print(), 0);
  EXPECT_EQ(printer.Begun, 0);
}

TEST_F(PrintPages, RangesAreClampedToTheRealPageCount) {
  print.SetLines(Numbered(20));  // three pages
  const struct { int first, last, printed; } cases[] = {
      {1, -1, 3}, {2, -1, 2}, {0, 99, 3}, {-5, 2, 2}, {3, 3, 1}, {4, -1, 0}, {3, 2, 0}, {2, 1, 0}};
  for (const auto& c : cases) {
    printer.Begun = printer.Ended = 0;
    EXPECT_EQ(print.PrintRange(c.first, c.last), c.printed) << c.first << ".." << c.last;
    // An empty range starts no job; any other ends the job it started.
    EXPECT_EQ(printer.Begun, c.printed > 0 ? 1 : 0) << c.first << ".." << c.last;
    EXPECT_EQ(printer.Ended, printer.Begun);
    EXPECT_FALSE(print.Printing());
  }
}

TEST_F(PrintPages, HeaderAndFooterCarryTheOffsetPageNumbers) {
  print.SetLines(Numbered(20));
  print.PageOffset = 10;
  print.Title = "root.txt";
  print.Header.Add("$TITLE$ page $PAGENUM$", {}, TOndHFAlignment::hfaLeft, 1);
  print.Footer.Add("$PAGENUM$ of $PAGECOUNT$", {}, TOndHFAlignment::hfaCenter, 1);
  ASSERT_EQ(print.PrintRange(2, -1), 2);
  EXPECT_EQ(printer.Pages, 2);
  std::vector<std::string> labels;
  for (const auto& l : printer.Labels) labels.push_back(std::to_string(l.Page) + ":" + l.Text);
  EXPECT_EQ(labels, (std::vector<std::string>{"1:root.txt page 12", "1:12 of 3", "2:root.txt page 13",
                                              "2:13 of 3"}));
  EXPECT_EQ(printer.JobTitle, "root.txt");
  print.DocTitle = "Document";
  print.Print();
  EXPECT_EQ(printer.JobTitle, "Document");
}

TEST_F(PrintPages, CopiesRepeatTheRange) {
  print.SetLines(Numbered(20));
  print.Copies = 2;
  EXPECT_EQ(print.PrintRange(2, 3), 4);
  EXPECT_EQ(printer.Pages, 4);
  std::vector<std::string> firstRows;
  for (const auto& t : printer.Texts)
    if (t.Y == 100) firstRows.push_back(t.Text);
  EXPECT_EQ(firstRows, (std::vector<std::string>{"line 9", "line 17", "line 9", "line 17"}));
}

TEST_F(PrintPages, NotificationsFollowTheJobAndAnAbortEndsIt) {
  print.SetLines(Numbered(20));
  std::vector<std::string> events;
  int abortAt = 0;
  print.OnPrintStatus = [&](TOndEditPrint*, TOndPrintStatus s, int page, bool& abort) {
    const char* names[] = {"begin", "page", "end"};
    events.push_back(std::string(names[static_cast<int>(s)]) + std::to_string(page));
    if (s == TOndPrintStatus::psNewPage && page == abortAt) abort = true;
  };
  int lines = 0;
  print.OnPrintLine = [&](TOndEditPrint*, int, int) { ++lines; };
  EXPECT_EQ(print.Print(), 3);
  EXPECT_EQ(events, (std::vector<std::string>{"begin1", "page1", "page2", "page3", "end3"}));
  EXPECT_EQ(lines, 20);

  events.clear();
  abortAt = 2;
  EXPECT_EQ(print.Print(), 0);
  EXPECT_EQ(events, (std::vector<std::string>{"begin1", "page1", "page2"}));
  EXPECT_EQ(printer.Aborted, 1);
  EXPECT_EQ(printer.Ended, 1);  // only the first job ended
  EXPECT_FALSE(print.Printing());
}

TEST_F(PrintPages, AHandlerThatThrowsLeavesTheJobAborted) {
  print.SetLines(Numbered(20));
  print.OnPrintLine = [](TOndEditPrint*, int line, int) {
    if (line == 12) throw std::runtime_error("line handler");
  };
  EXPECT_THROW(print.Print(), std::runtime_error);
  EXPECT_EQ(printer.Aborted, 1);
  EXPECT_EQ(printer.Ended, 0);
  EXPECT_FALSE(print.Printing());
}

TEST_F(PrintPages, ThePageCountShownIsThePageCountPrinted) {
  std::vector<std::string> text;
  for (int i = 0; i < 60; ++i) text.push_back(std::string(static_cast<std::size_t>((i * 37) % 130), 'a' + i % 26));
  for (int mask = 0; mask < 16; ++mask) {
    print.Wrap = mask & 1;
    print.LineNumbers = mask & 2;
    print.SelectedOnly = mask & 4;
    print.Margins.MirrorMargins = mask & 8;
    print.Margins.Gutter = mask & 8 ? 12 : 0;
    print.SetLines(text);
    print.SetSelection(true, {5, 7}, {30, 41}, smColumn);
    const int shown = print.GetPageCount();
    printer.Pages = 0;
    EXPECT_EQ(print.Print(), shown) << "options " << mask;
    EXPECT_EQ(printer.Pages, shown) << "options " << mask;
    for (const auto& t : printer.Texts)
      EXPECT_LE(t.Y + 100, 900) << "options " << mask;
    printer.Texts.clear();
  }
}

TEST_F(PrintPages, LineNumbersEndAtTheLeftMarginAndNarrowTheText) {
  print.SetLines(Numbered(12));
  print.LineNumbers = true;
  print.LineOffset = 90;
  print.Print();
  // "102: " is 5 characters: the text starts 100 pixels further right.
  ASSERT_GE(printer.Texts.size(), 2u);
  EXPECT_EQ(printer.Texts[0].Text, "91: ");
  EXPECT_EQ(printer.Texts[0].X + 4 * 20, 200);
  EXPECT_EQ(printer.Texts[1].Text, "line 1");
  EXPECT_EQ(printer.Texts[1].X, 200);
}

TEST_F(PrintPages, HighlightedTokensGoInTheirColoursAtTheirColumns) {
  TOndGenHighlighter highlighter;
  ASSERT_TRUE(LoadBuiltinScheme(highlighter, 1));  // JavaScript
  print.Highlight = true;
  print.SetHighlighter(&highlighter);
  // The comment opened on line 1 still holds on line 3: the states are scanned.
  print.SetLines({"/* open", "still", "comment */ var x", "if (a) return;"});
  ASSERT_EQ(print.Print(), 1);
  auto find = [&](const std::string& text) -> const test::TRecordingPrinter::TText* {
    for (const auto& t : printer.Texts)
      if (t.Text == text) return &t;
    return nullptr;
  };
  const auto* still = find("still");
  const auto* var = find("var");
  const auto* ret = find("return");
  ASSERT_TRUE(still && var && ret);
  EXPECT_EQ(still->Color, static_cast<TColor>(0x00A00000));  // comment colour
  EXPECT_EQ(var->Color, clBlue);                             // reserved word
  EXPECT_EQ(var->X, 100 + 11 * 20);
  EXPECT_EQ(ret->X, 100 + 7 * 20);
  // Without colours everything takes the font's colour; the style stays.
  print.Colors = false;
  printer.Texts.clear();
  print.Print();
  for (const auto& t : printer.Texts) EXPECT_EQ(t.Color, print.GetFont().Color) << t.Text;
}

TEST_F(PrintPages, ThePrintCommandAsksTheDialogAndFollowsTheAnswer) {
  print.SetLines(Numbered(20));
  print.SetSelection(true, {1, 2}, {3, 3}, smNormal);
  // Cancelled: nothing prints.
  EXPECT_EQ(RunPrintCommand(print, true), 0);
  EXPECT_EQ(printer.Begun, 0);
  ASSERT_TRUE(printer.Asked);
  EXPECT_EQ(printer.Asked->MaxPage, 3);
  EXPECT_EQ(printer.Asked->ToPage, 3);
  EXPECT_TRUE(printer.Asked->AllowSelection);

  printer.Answer = TOndPrintDialogAnswer{2, TOndPrintRange::prPageNums, 3, 7};
  EXPECT_EQ(RunPrintCommand(print, true), 2);  // page 3, twice
  printer.Answer = TOndPrintDialogAnswer{1, TOndPrintRange::prSelection, 1, 1};
  EXPECT_EQ(RunPrintCommand(print, true), 1);
  EXPECT_TRUE(print.SelectedOnly);
  print.SelectedOnly = false;
  print.Copies = 1;
  printer.Asked.reset();
  EXPECT_EQ(RunPrintCommand(print, false), 3);
  EXPECT_FALSE(printer.Asked);
}

// A job the printer refuses prints nothing and keeps the printer's reason;
// the next job that starts clears it.
TEST_F(PrintPages, AJobThatCannotStartKeepsThePrintersReason) {
  print.SetLines(Numbered(20));
  printer.Refusal = "/nowhere/out.pdf: No such file or directory";
  EXPECT_EQ(print.Print(), 0);
  EXPECT_EQ(print.Failure(), printer.Refusal);
  EXPECT_EQ(printer.Begun, 0);
  EXPECT_EQ(printer.Aborted, 0);
  printer.Refusal.clear();
  EXPECT_EQ(print.Print(), 3);
  EXPECT_EQ(print.Failure(), "");
}

// A job that starts but cannot be finished (its file not written) is told
// like one that could not start: no page counts as printed.
TEST_F(PrintPages, AJobThatCannotBeFinishedPrintsNothingAndKeepsTheReason) {
  print.SetLines(Numbered(20));
  printer.EndFailure = "Cannot write file /dev/full. No space left on device";
  EXPECT_EQ(print.Print(), 0);
  EXPECT_EQ(print.Failure(), printer.EndFailure);
  EXPECT_EQ(printer.Begun, 1);
  EXPECT_EQ(printer.Ended, 1);
  printer.EndFailure.clear();
  EXPECT_EQ(print.Print(), 3);
  EXPECT_EQ(print.Failure(), "");
}

}  // namespace
}  // namespace ond
