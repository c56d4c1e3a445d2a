#include "platform/Printers.h"

#include <QBuffer>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTime>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "platform/Graphics.h"
#include "platform/QtBridge.h"
#include "platform/core/ProgramTexts.h"
#include "platform/core/SafeFileWriter.h"
#include "platform/core/SysUtils.h"

namespace ond {

std::function<std::optional<TOndPrintDialogAnswer>(TQtPrinter&, const TOndPrintDialogRequest&)>
    TQtPrinter::DialogHook;

namespace {

// Pages at this resolution keep a PDF small and match the metrics a missing
// printer is assumed to have.
constexpr int kPdfResolution = 300;

QFont DeviceFont(const TOndPrintFont& f) {
  QFont q(QString::fromStdString(TFont::ResolveFamily(f.Name)));
  const double pixels = static_cast<double>(f.Size) * std::max(1, f.PixelsPerInch) / 72.0;
  q.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
  q.setBold(f.Style & fsBold);
  q.setItalic(f.Style & fsItalic);
  q.setUnderline(f.Style & fsUnderline);
  q.setStrikeOut(f.Style & fsStrikeOut);
  q.setKerning(false);
  return q;
}

}  // namespace

// Measures with the printer as the font's device both before and during a
// job, so a layout made for the dialog holds for the printed pages.
class TQtPrinter::TCanvas : public TOndPrintCanvas {
 public:
  explicit TCanvas(TQtPrinter& Owner) : FOwner(Owner) {}

  int TextWidth(const TOndPrintFont& font, std::string_view text) const override {
    return Metrics(font).horizontalAdvance(AnsiToQString(text));
  }
  int TextHeight(const TOndPrintFont& font, std::string_view) const override { return Metrics(font).height(); }
  int Descent(const TOndPrintFont& font) const override { return Metrics(font).descent(); }
  int AverageCharWidth(const TOndPrintFont& font) const override { return Metrics(font).averageCharWidth(); }
  int LineHeight(const TOndPrintFont& font) const override {
    const QFontMetrics m = Metrics(font);
    return m.height() + std::max(0, m.leading());
  }

  void FillRect(const TRect& r, TColor color) override {
    if (QPainter* p = Painter()) p->fillRect(ToQRect(r), ToQColor(color));
  }
  void FrameRect(const TRect& r, TColor color) override {
    if (QPainter* p = Painter()) {
      p->setPen(ToQColor(color));
      p->setBrush(Qt::NoBrush);
      p->drawRect(QRect(r.Left, r.Top, r.Right - r.Left - 1, r.Bottom - r.Top - 1));
    }
  }
  void HorizontalLine(int left, int right, int y, TColor color) override {
    if (QPainter* p = Painter()) {
      p->setPen(ToQColor(color));
      p->drawLine(left, y, right, y);
    }
  }
  void FixedText(int x, int top, std::string_view text, const TOndPrintFont& font, TColor background,
                 int advance) override {
    QPainter* p = Painter();
    if (!p || text.empty()) return;
    const QFont qfont = DeviceFont(font);
    const QFontMetrics m(qfont, &FOwner.Native());
    const QString s = AnsiToQString(text);
    const int count = static_cast<int>(s.size());
    const int width = advance > 0 ? advance * count : m.horizontalAdvance(s);
    if (background != clNone) p->fillRect(QRect(x, top, width, m.height()), ToQColor(background));
    p->setFont(qfont);
    p->setPen(ToQColor(font.Color));
    const int baseline = top + m.ascent();
    // A font whose own advance is the cell width draws the run at once, which
    // keeps words whole for text extraction; any other goes cell by cell.
    if (advance <= 0 || m.horizontalAdvance(s) == width) {
      p->drawText(QPoint(x, baseline), s);
      return;
    }
    for (int i = 0; i < count; ++i) p->drawText(QPoint(x + i * advance, baseline), QString(s[i]));
  }
  void BaselineText(int x, int baseline, std::string_view text, const TOndPrintFont& font) override {
    QPainter* p = Painter();
    if (!p) return;
    p->setFont(DeviceFont(font));
    p->setPen(ToQColor(font.Color));
    p->drawText(QPoint(x, baseline), AnsiToQString(text));
  }

 private:
  QFontMetrics Metrics(const TOndPrintFont& font) const { return QFontMetrics(DeviceFont(font), &FOwner.Native()); }
  QPainter* Painter() const { return FOwner.FPainter && FOwner.FPainter->isActive() ? FOwner.FPainter.get() : nullptr; }

  TQtPrinter& FOwner;
};

TQtPrinter::TQtPrinter(const std::string& PdfFileName)
    : FPrinter(std::make_unique<QPrinter>(QPrinter::HighResolution)),
      FPainter(std::make_unique<QPainter>()),
      FCanvas(std::make_unique<TCanvas>(*this)) {
  if (QPrinterInfo::availablePrinterNames().isEmpty() || !PdfFileName.empty()) {
    const std::string name = PdfFileName.empty() ? QStringToPath(QDir::homePath()) + "/Ondrel.pdf" : PdfFileName;
    SetPdfFile(name);
  }
}

TQtPrinter::~TQtPrinter() {
  if (FPainter->isActive()) Abort();
}

void TQtPrinter::SetPdfFile(const std::string& FileName) {
  FPrinter->setOutputFormat(QPrinter::PdfFormat);
  FPrinter->setResolution(kPdfResolution);
  FPrinter->setOutputFileName(PathToQString(FileName));
}

std::string TQtPrinter::PdfFile() const {
  return FPrinter->outputFormat() == QPrinter::PdfFormat ? QStringToPath(FPrinter->outputFileName()) : std::string();
}

std::optional<TOndPrinterCaps> TQtPrinter::Caps() {
  const QRect paper = FPrinter->paperRect(QPrinter::DevicePixel).toRect();
  const QRect page = FPrinter->pageRect(QPrinter::DevicePixel).toRect();
  const int ppi = FPrinter->resolution();
  if (ppi <= 0 || page.isEmpty()) return std::nullopt;
  return TOndPrinterCaps{paper.width(), paper.height(), page.width(), page.height(),
                         page.left() - paper.left(), page.top() - paper.top(), ppi, ppi};
}

const TOndPrintMeasure& TQtPrinter::Measure() { return *FCanvas; }

TOndPrintCanvas& TQtPrinter::Canvas() { return *FCanvas; }

std::optional<TOndPrintDialogAnswer> TQtPrinter::ShowDialog(const TOndPrintDialogRequest& Request) {
  if (DialogHook) return DialogHook(*this, Request);
  QPrintDialog dialog(FPrinter.get());
  dialog.setMinMax(Request.MinPage, Request.MaxPage);
  FPrinter->setFromTo(Request.FromPage, Request.ToPage);
  QAbstractPrintDialog::PrintDialogOptions options =
      QAbstractPrintDialog::PrintPageRange | QAbstractPrintDialog::PrintToFile;
  if (Request.AllowSelection) options |= QAbstractPrintDialog::PrintSelection;
  dialog.setOptions(options);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  TOndPrintDialogAnswer answer;
  // The print object makes the copies itself, so the printer makes one each.
  answer.Copies = std::max(1, FPrinter->copyCount());
  FPrinter->setCopyCount(1);
  switch (dialog.printRange()) {
    case QAbstractPrintDialog::Selection: answer.Range = TOndPrintRange::prSelection; break;
    case QAbstractPrintDialog::PageRange:
      answer.Range = TOndPrintRange::prPageNums;
      answer.FromPage = FPrinter->fromPage();
      answer.ToPage = FPrinter->toPage();
      break;
    default: answer.Range = TOndPrintRange::prAllPages; break;
  }
  if (FPrinter->outputFormat() == QPrinter::PdfFormat) FPrinter->setResolution(kPdfResolution);
  return answer;
}

bool TQtPrinter::BeginDoc(const std::string& Title) {
  FFailure.clear();
  FPrinter->setDocName(AnsiToQString(Title));
  FPrinter->setFromTo(0, 0);
  const bool pdf = FPrinter->outputFormat() == QPrinter::PdfFormat;
  if (pdf) {
    // Qt does not say why a PDF cannot be written: trying the file does.
    QFile file(FPrinter->outputFileName());
    const bool existed = file.exists();
    errno = 0;
    if (FPrinter->outputFileName().isEmpty() || !file.open(QIODevice::WriteOnly | QIODevice::Append)) {
      // Qt's own reason is English only; the system's says the same in the interface language.
      const int err = errno;
      FFailure = QStringToAnsi(FPrinter->outputFileName()) + ": " +
                 (FPrinter->outputFileName().isEmpty() ? ProgramText(TProgramText::NoFileNamed)
                                                       : SystemErrorText(err != 0 ? err : EIO));
      return false;
    }
    file.close();
    if (!existed) file.remove();
  }
  if (pdf) {
    // The document is made in memory and written at the end by the one unit
    // that writes files: Qt's own file output drops a failed write unsaid,
    // and a job that fails halfway leaves the old file as it was.
    FPdfBuffer = std::make_unique<QBuffer>();
    FPdfBuffer->open(QIODevice::WriteOnly);
    FPdfWriter = std::make_unique<QPdfWriter>(FPdfBuffer.get());
    FPdfWriter->setResolution(FPrinter->resolution());
    FPdfWriter->setPageLayout(FPrinter->pageLayout());
    FPdfWriter->setPdfVersion(FPrinter->pdfVersion());
    FPdfWriter->setTitle(FPrinter->docName());
    FPdfWriter->setCreator(FPrinter->creator());
    if (FPainter->begin(FPdfWriter.get())) return true;
    DropPdf();
  } else if (FPainter->begin(FPrinter.get())) {
    return true;
  }
  if (pdf)
    FFailure = QStringToAnsi(FPrinter->outputFileName()) + ": " + SystemErrorText(EIO);
  else
    FFailure = ProgramText(TProgramText::PrinterRefused, {QStringToAnsi(FPrinter->printerName())});
  return false;
}

void TQtPrinter::NewPage() {
  if (FPdfWriter)
    FPdfWriter->newPage();
  else
    FPrinter->newPage();
}

bool TQtPrinter::EndDoc() {
  const bool ended = !FPainter->isActive() || FPainter->end();
  if (FPdfWriter) {
    const QByteArray data = FPdfBuffer->data();
    DropPdf();
    TFileWrite write;
    write.FileName = QStringToPath(FPrinter->outputFileName());
    write.Data = std::string_view(data.constData(), static_cast<std::size_t>(data.size()));
    const TWriteResult written = WriteFileSafely(write);
    if (!written.Ok()) {
      FFailure = written.Reason;
      return false;
    }
    return true;
  }
  if (!ended || FPrinter->printerState() == QPrinter::Error) {
    FFailure = ProgramText(TProgramText::PrinterNotFinished, {QStringToAnsi(FPrinter->printerName())});
    return false;
  }
  return true;
}

void TQtPrinter::Abort() {
  if (!FPdfWriter) FPrinter->abort();
  if (FPainter->isActive()) FPainter->end();
  // Half a document is no document: an aborted PDF job writes nothing.
  DropPdf();
}

void TQtPrinter::DropPdf() {
  FPdfWriter.reset();
  FPdfBuffer.reset();
}

std::string LocalDateText() { return QStringToAnsi(QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat)); }

std::string LocalTimeText() { return QStringToAnsi(QLocale::system().toString(QTime::currentTime(), QLocale::ShortFormat)); }

}  // namespace ond
