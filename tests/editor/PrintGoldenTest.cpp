// The printed pages of a sample text against a checked-in reference: every
// call on the page (rows, colours, line numbers, header and footer) through a
// printer of fixed metrics, so a change in the layout shows as a diff to
// review. Run tools/update-print-golden.sh to write the reference again on
// purpose.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "editor/OndEditPrint.h"
#include "highlight/OndBuiltinSchemes.h"
#include "highlight/OndGenHighlighter.h"
#include "tests/editor/PrintTestPrinter.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

TEST(PrintGolden, TheSamplePagesMatchTheReference) {
  const std::string base = test::SourceDir() + "/tests/editor/data/print-sample.zu";
  std::vector<std::string> lines;
  std::istringstream in(test::TempDir::Read(base));
  for (std::string line; std::getline(in, line);) lines.push_back(line);

  TOndGenHighlighter highlighter;
  ASSERT_TRUE(LoadBuiltinScheme(highlighter, 0));
  test::TRecordingPrinter printer;
  TOndEditPrint print(printer);
  // 10 mm margins, 40 mm at the right: rows of 25 columns, wrapped.
  print.Margins.Left = print.Margins.Top = print.Margins.Bottom = 10;
  print.Margins.Right = 40;
  print.Margins.Header = 8;
  print.Margins.Footer = 8;
  print.Title = "@quarn.zu";
  print.DateText = "06.12.2026";
  print.TimeText = "23:59";
  SetDefaultHeaderFooter(print);
  print.LineNumbers = true;
  print.SetTabWidth(4);
  print.SetHighlighter(&highlighter);
  print.SetLines(lines);
  const int pages = print.GetPageCount();
  ASSERT_EQ(print.Print(), pages);
  const std::string dump = "pages " + std::to_string(pages) + "\n" + printer.Log;
  if (std::getenv("ONDREL_UPDATE_GOLDEN")) {
    std::ofstream(base + ".pages", std::ios::binary) << dump;
    GTEST_SKIP() << "wrote " << base << ".pages";
  }
  EXPECT_EQ(dump, test::TempDir::Read(base + ".pages"));
}

}  // namespace
}  // namespace ond
