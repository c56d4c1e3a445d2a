// Printing to PDF files at 300 dpi through the platform's printer, read back
// with poppler's tools: page counts with pdfinfo, text with pdftotext and
// colours with pdftoppm. Also the editor's print command end to end.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "editor/OndEditPrint.h"
#include "editor/OndEditPrintEditor.h"
#include "editor/OndEditor.h"
#include "highlight/OndBuiltinSchemes.h"
#include "highlight/OndGenHighlighter.h"
#include "platform/Printers.h"
#include "tests/support/PdfTools.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

// How many pixels of page 1, rendered at 50 dpi, are clearly blue.
int BluePixels(const std::string& pdf, const std::string& dir) {
  test::CommandOutput("pdftoppm -r 50 -f 1 -l 1 '" + pdf + "' '" + dir + "/page' 2>/dev/null");
  std::string file;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().extension() == ".ppm") file = e.path().string();
  std::ifstream in(file, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, max = 0;
  in >> magic >> w >> h >> max;
  in.get();
  if (magic != "P6" || w <= 0 || h <= 0) return -1;
  std::string pixels(static_cast<std::size_t>(w) * h * 3, '\0');
  in.read(pixels.data(), static_cast<std::streamsize>(pixels.size()));
  int blue = 0;
  for (std::size_t i = 0; i + 2 < pixels.size(); i += 3) {
    const auto r = static_cast<unsigned char>(pixels[i]), g = static_cast<unsigned char>(pixels[i + 1]),
               b = static_cast<unsigned char>(pixels[i + 2]);
    if (b > 150 && r < 110 && g < 110) ++blue;
  }
  std::filesystem::remove(file);
  return blue;
}

struct PrintPdf : ::testing::Test {
  test::TempDir dir;
  std::string pdf = dir / "out.pdf";
  TQtPrinter printer{pdf};
  TOndEditPrint print{printer};
  PrintPdf() {
    print.Title = "sample.zu";
    print.DateText = "06.12.2026";
    print.TimeText = "23:59";
    SetDefaultHeaderFooter(print);
    print.Highlight = false;
  }
  // Numbered lines until the text fills exactly `pages` pages.
  void FillPages(int pages) {
    std::vector<std::string> lines;
    for (int i = 1;; ++i) {
      lines.push_back("line " + std::to_string(i) + " of the sample text");
      print.SetLines(lines);
      if (print.GetPageCount() > pages) {
        lines.pop_back();
        print.SetLines(lines);
        return;
      }
    }
  }
};

TEST_F(PrintPdf, ARangeFromPageTwoPrintsTheRestWithOffsetPageNumbers) {
  FillPages(3);
  ASSERT_EQ(print.GetPageCount(), 3);
  print.PageOffset = 10;
  print.Header.Add("page $PAGENUM$ of $PAGECOUNT$", {}, TOndHFAlignment::hfaLeft, 2);
  ASSERT_EQ(print.PrintRange(2, -1), 2);
  EXPECT_EQ(test::PdfPages(pdf), 2);
  const std::string first = test::PdfText(pdf, 1), second = test::PdfText(pdf, 2);
  EXPECT_TRUE(test::PdfHas(first, "sample.zu")) << first;
  EXPECT_TRUE(test::PdfHas(first, "06.12.2026 23:59")) << first;
  EXPECT_TRUE(test::PdfHas(first, "page 12 of 3")) << first;
  EXPECT_TRUE(test::PdfHas(first, "12 / 3")) << first;
  EXPECT_TRUE(test::PdfHas(second, "page 13 of 3")) << second;
  EXPECT_TRUE(test::PdfHas(second, "13 / 3")) << second;
  EXPECT_FALSE(test::PdfHas(first, "line 1 of")) << "page 1 was printed";
  EXPECT_EQ(second.find("$"), std::string::npos) << second;
}

TEST_F(PrintPdf, AnEmptyTextPrintsOnePage) {
  print.SetLines({});
  ASSERT_EQ(print.Print(), 1);
  EXPECT_EQ(test::PdfPages(pdf), 1);
  EXPECT_TRUE(test::PdfHas(test::PdfText(pdf), "1 / 1"));
}

TEST_F(PrintPdf, WrappedRowsAllReachThePaper) {
  const std::string longLine = [] {
    std::string s;
    for (int i = 0; i < 60; ++i) s += "w" + std::to_string(i) + " ";
    return s;
  }();
  print.SetLines({longLine, "end"});
  ASSERT_EQ(print.Print(), 1);
  const std::string text = test::PdfText(pdf);
  for (const char* word : {"w0", "w30", "w59", "end"}) EXPECT_TRUE(test::PdfHas(text, word)) << word;
}

TEST_F(PrintPdf, AnAbortedJobLeavesNoFile) {
  FillPages(3);
  print.OnPrintStatus = [](TOndEditPrint*, TOndPrintStatus s, int page, bool& abort) {
    abort = s == TOndPrintStatus::psNewPage && page == 2;
  };
  EXPECT_EQ(print.Print(), 0);
  EXPECT_FALSE(std::filesystem::exists(pdf));
}

// A PDF that cannot be written starts no job: the print object keeps the
// system's reason with the file's name, and the print command hands it on.
TEST_F(PrintPdf, APdfThatCannotBeWrittenIsToldWithTheSystemsReason) {
  const std::string bad = dir.Path() + "/missing/out.pdf";
  printer.SetPdfFile(bad);
  print.SetLines({"text"});
  EXPECT_EQ(print.Print(), 0);
  EXPECT_NE(print.Failure().find(bad), std::string::npos) << print.Failure();
  EXPECT_NE(print.Failure().find("No such file or directory"), std::string::npos) << print.Failure();
  EXPECT_FALSE(std::filesystem::exists(bad));
  // A file name that is a folder refuses writing too.
  printer.SetPdfFile(dir.Path());
  EXPECT_EQ(print.Print(), 0);
  EXPECT_FALSE(print.Failure().empty());
  printer.SetPdfFile(pdf);
  EXPECT_EQ(print.Print(), 1);
  EXPECT_EQ(print.Failure(), "");

  TOndEditor editor(nullptr);
  editor.Lines()->SetText("text");
  TQtPrinter::DialogHook = [&](TQtPrinter& p, const TOndPrintDialogRequest&) {
    p.SetPdfFile(bad);
    return std::optional<TOndPrintDialogAnswer>(TOndPrintDialogAnswer{});
  };
  std::string failure;
  EXPECT_EQ(PrintEditorCommand(editor, '1', nullptr, "panel.zu", &failure), 0);
  TQtPrinter::DialogHook = nullptr;
  EXPECT_NE(failure.find("No such file or directory"), std::string::npos) << failure;
}

// A job that starts but whose document cannot be written prints no page and
// is told with the reason, as a job that cannot start is. A file that was
// there before a job that does not end whole is left as it was.
TEST_F(PrintPdf, APdfThatCannotBeWrittenAtTheEndIsNoPagePrinted) {
  print.SetLines({"text"});
  printer.SetPdfFile("/dev/full");
  EXPECT_EQ(print.Print(), 0);
  EXPECT_NE(print.Failure().find("/dev/full"), std::string::npos) << print.Failure();

  std::ofstream(pdf, std::ios::binary) << "old";
  print.OnPrintStatus = [](TOndEditPrint*, TOndPrintStatus s, int, bool& abort) {
    abort = s == TOndPrintStatus::psNewPage;
  };
  printer.SetPdfFile(pdf);
  EXPECT_EQ(print.Print(), 0);
  EXPECT_EQ(test::TempDir::Read(pdf), "old");
  print.OnPrintStatus = nullptr;
  EXPECT_EQ(print.Print(), 1);
  EXPECT_EQ(print.Failure(), "");
  EXPECT_NE(test::TempDir::Read(pdf), "old");
}

TEST_F(PrintPdf, HighlightedTextKeepsItsColours) {
  TOndGenHighlighter highlighter;
  ASSERT_TRUE(LoadBuiltinScheme(highlighter, 1));  // JavaScript: reserved words blue
  print.Highlight = true;
  print.SetHighlighter(&highlighter);
  std::vector<std::string> lines(20, "var var var var var var var var");
  print.SetLines(lines);
  ASSERT_EQ(print.Print(), 1);
  EXPECT_GT(BluePixels(pdf, dir.Path()), 100);
  print.Colors = false;
  ASSERT_EQ(print.Print(), 1);
  EXPECT_EQ(BluePixels(pdf, dir.Path()), 0);
}

struct EditorPrint : PrintPdf {
  std::unique_ptr<TOndEditor> editor = std::make_unique<TOndEditor>(nullptr);
  EditorPrint() {
    editor->SetBounds(0, 0, 400, 300);
    editor->OnPrint = [](TCustomOndEditor* Sender, char AChar, void* Data) {
      PrintEditorCommand(*Sender, AChar, Data, "panel.zu");
    };
  }
  ~EditorPrint() override { TQtPrinter::DialogHook = nullptr; }
  void Answer(std::optional<TOndPrintDialogAnswer> answer) {
    TQtPrinter::DialogHook = [this, answer](TQtPrinter& p, const TOndPrintDialogRequest&) {
      p.SetPdfFile(pdf);
      return answer;
    };
  }
};

TEST_F(EditorPrint, ThePrintCommandPrintsThePanelUnderItsTitle) {
  editor->Lines()->SetText("first\n\tindented\nlast");
  Answer(TOndPrintDialogAnswer{});
  editor->ExecuteCommand(ecPrint, '1', nullptr);
  ASSERT_EQ(test::PdfPages(pdf), 1);
  const std::string text = test::PdfText(pdf);
  EXPECT_TRUE(test::PdfHas(text, "panel.zu")) << text;
  EXPECT_TRUE(test::PdfHas(text, "indented")) << text;
  EXPECT_TRUE(test::PdfHas(text, "1 / 1")) << text;
}

TEST_F(EditorPrint, ACancelledDialogPrintsNothing) {
  editor->Lines()->SetText("text");
  Answer(std::nullopt);
  editor->ExecuteCommand(ecPrint, '1', nullptr);
  EXPECT_FALSE(std::filesystem::exists(pdf));
}

TEST_F(EditorPrint, AColumnSelectionPrintsItsColumnsOfShortLinesToo) {
  editor->Lines()->SetText("abcdefgh\nAB\n12345678");
  editor->SetSelectionMode(smColumn);
  // Dragged from right to left: the anchor is right of the caret.
  editor->SetBlockBegin(BufferCoord(7, 1));
  editor->SetBlockEnd(BufferCoord(3, 3));
  Answer(TOndPrintDialogAnswer{1, TOndPrintRange::prSelection, 1, 1});
  editor->ExecuteCommand(ecPrint, '1', nullptr);
  ASSERT_EQ(test::PdfPages(pdf), 1);
  const std::string text = test::PdfText(pdf);
  EXPECT_TRUE(test::PdfHas(text, "cdef")) << text;
  EXPECT_TRUE(test::PdfHas(text, "3456")) << text;
  EXPECT_FALSE(test::PdfHas(text, "abc")) << text;
  EXPECT_FALSE(test::PdfHas(text, "AB")) << text;
}

TEST_F(EditorPrint, APrintObjectInDataTakesTheEditor) {
  editor->Lines()->SetText("one\ntwo");
  print.Title = "given";
  editor->ExecuteCommand(ecPrint, '0', &print);
  ASSERT_EQ(test::PdfPages(pdf), 1);
  const std::string text = test::PdfText(pdf);
  EXPECT_TRUE(test::PdfHas(text, "given")) << text;
  EXPECT_TRUE(test::PdfHas(text, "two")) << text;
}

}  // namespace
}  // namespace ond
