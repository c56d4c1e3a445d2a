// A panel of the open sample set prints through the editor's print command:
// the dialog's answer sends it to a PDF file, whose text pdftotext reads back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "editor/OndEditor.h"
#include "platform/Forms.h"
#include "platform/Printers.h"
#include "tests/support/PdfTools.h"
#include "tests/support/TempDir.h"
#include "workspace/UEditors.h"
#include "workspace/UMain.h"

namespace ond {
namespace {

TEST(PrintPanel, TheRootPanelOfTheSampleSetPrintsToPdf) {
  Application()->MessageBoxHook = [](const std::string&, const std::string&, unsigned) { return IDCANCEL; };
  test::TempDir dir;
  const std::string pdf = dir / "root.pdf";
  TQtPrinter::DialogHook = [&](TQtPrinter& printer, const TOndPrintDialogRequest& request) {
    EXPECT_GE(request.MaxPage, 1);
    printer.SetPdfFile(pdf);
    return std::optional<TOndPrintDialogAnswer>(TOndPrintDialogAnswer{});
  };
  {
    TMain main(nullptr);
    main.SetBounds(0, 0, 1130, 675);
    main.OpenConfig(test::SourceDir() + "/samples/@quarn.zu");
    ASSERT_NE(main.Editors(), nullptr);
    TEditor* root = main.Editors()->Item(0);
    root->Editor->ExecuteCommand(ecPrint, '1', nullptr);
  }
  TQtPrinter::DialogHook = nullptr;
  Application()->MessageBoxHook = nullptr;
  ASSERT_TRUE(std::filesystem::exists(pdf));
  EXPECT_NE(test::CommandOutput("pdfinfo '" + pdf + "'").find("Pages:"), std::string::npos);
  const std::string text = test::CommandOutput("pdftotext -layout '" + pdf + "' -");
  EXPECT_NE(text.find("@quarn.zu"), std::string::npos) << text;
  EXPECT_NE(text.find("Quarn sample config set"), std::string::npos) << text;
  EXPECT_NE(text.find("\"configVersion\": \"7.2.0\""), std::string::npos) << text;
  if (const char* keep = std::getenv("ONDREL_KEEP_PRINT")) std::filesystem::copy_file(pdf, keep);
}

// A print job that cannot start is told to the user with the reason, in a
// message box and in the status bar.
TEST(PrintPanel, AJobThatCannotStartIsToldWithTheReason) {
  std::string told;
  Application()->MessageBoxHook = [&](const std::string& text, const std::string&, unsigned) {
    told = text;
    return IDOK;
  };
  test::TempDir dir;
  const std::string bad = dir.Path() + "/missing/root.pdf";
  TQtPrinter::DialogHook = [&](TQtPrinter& printer, const TOndPrintDialogRequest&) {
    printer.SetPdfFile(bad);
    return std::optional<TOndPrintDialogAnswer>(TOndPrintDialogAnswer{});
  };
  {
    TMain main(nullptr);
    main.SetBounds(0, 0, 1130, 675);
    main.OpenConfig(test::SourceDir() + "/samples/@quarn.zu");
    ASSERT_NE(main.Editors(), nullptr);
    told.clear();
    main.Editors()->Item(0)->Editor->ExecuteCommand(ecPrint, '1', nullptr);
  }
  TQtPrinter::DialogHook = nullptr;
  Application()->MessageBoxHook = nullptr;
  EXPECT_NE(told.find(bad), std::string::npos) << told;
  EXPECT_NE(told.find("No such file or directory"), std::string::npos) << told;
  EXPECT_FALSE(std::filesystem::exists(bad));
}

}  // namespace
}  // namespace ond
