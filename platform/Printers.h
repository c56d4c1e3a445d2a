// The platform's printer: measuring and painting on a Qt printer, the job
// control around a print run and the print dialog. With no printer installed
// the job goes to a PDF file the user can choose in the dialog. A PDF job is
// written to its file only when it ends whole, so that one aborted or failed
// leaves the file as it was, and a write that fails is told.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/PrintDevice.h"

class QBuffer;
class QPdfWriter;
class QPrinter;
class QPainter;

namespace ond {

class TQtPrinter : public TOndPrinter {
 public:
  // The PDF file a job goes to when no printer is installed, until the user
  // picks another in the dialog.
  explicit TQtPrinter(const std::string& PdfFileName = {});
  ~TQtPrinter() override;

  std::optional<TOndPrinterCaps> Caps() override;
  const TOndPrintMeasure& Measure() override;
  std::optional<TOndPrintDialogAnswer> ShowDialog(const TOndPrintDialogRequest& Request) override;
  bool BeginDoc(const std::string& Title) override;
  std::string FailureText() const override { return FFailure; }
  TOndPrintCanvas& Canvas() override;
  void NewPage() override;
  bool EndDoc() override;
  void Abort() override;

  // Print to this PDF file (UTF-8 path) instead of a printer.
  void SetPdfFile(const std::string& FileName);
  std::string PdfFile() const;
  QPrinter& Native() noexcept { return *FPrinter; }

  // Answers the dialog instead of the user (tests).
  static std::function<std::optional<TOndPrintDialogAnswer>(TQtPrinter&, const TOndPrintDialogRequest&)>
      DialogHook;

 private:
  class TCanvas;
  std::unique_ptr<QPrinter> FPrinter;
  std::unique_ptr<QPainter> FPainter;
  std::unique_ptr<TCanvas> FCanvas;
  // A PDF job's document while it is made, written to the file at its end.
  std::unique_ptr<QBuffer> FPdfBuffer;
  std::unique_ptr<QPdfWriter> FPdfWriter;
  std::string FFailure;
  void DropPdf();
};

// Today's date and the time now, in the system's short formats.
std::string LocalDateText();
std::string LocalTimeText();

}  // namespace ond
