// The print object: it copies an editor's lines with their tabs expanded, lays
// them out on pages between the margins, header and footer, optionally wraps
// long lines, numbers lines, prints only the selection, and colours the text
// with the editor's highlighter in fixed-advance runs. Layout and printing walk
// the same list of placed pieces, so the page count a dialog shows is the page
// count that comes out of the printer. The printer is reached only through the
// narrow interfaces of platform/core/PrintDevice.h.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/OndEditTypes.h"
#include "highlight/OndEditHighlighter.h"
#include "platform/core/PrintDevice.h"
#include "search/OndEditHeaderFooter.h"
#include "search/OndEditPrintMetrics.h"

namespace ond {

class TCustomOndEdit;
class TOndEditPrint;

enum class TOndPrintStatus { psBegin, psNewPage, psEnd };

using TOndPrintStatusEvent =
    std::function<void(TOndEditPrint* Sender, TOndPrintStatus Status, int PageNumber, bool& Abort)>;
using TOndPrintLineEvent = std::function<void(TOndEditPrint* Sender, int LineNumber, int PageNumber)>;

// One row of printed text: columns [Start, End) of the expanded line Line
// (1-based), drawn with its top at Y on page Page (1-based). First marks the
// row that carries the line number.
struct TOndPrintPiece {
  int Page = 0;
  int Line = 0;
  int Start = 0;
  int End = 0;
  int Y = 0;
  bool First = false;
  friend bool operator==(const TOndPrintPiece&, const TOndPrintPiece&) = default;
};

class TOndEditPrint {
 public:
  explicit TOndEditPrint(TOndPrinter& Printer);
  TOndEditPrint(const TOndEditPrint&) = delete;
  TOndEditPrint& operator=(const TOndEditPrint&) = delete;

  // Takes the editor's highlighter, font, tab width, lines and selection.
  // The selection's ends become display columns of their lines.
  void SetOndEdit(TCustomOndEdit& Editor);

  // Copies the lines with tabs expanded to the tab width; no tab survives.
  void SetLines(const std::vector<std::string>& Lines);
  const std::vector<std::string>& Lines() const noexcept { return FLines; }
  void SetTabWidth(int Value) { FTabWidth = Value < 1 ? 1 : Value; }
  int GetTabWidth() const noexcept { return FTabWidth; }
  void SetFont(const TOndPrintFont& Value) { FFont = Value; }
  const TOndPrintFont& GetFont() const noexcept { return FFont; }
  void SetHighlighter(TOndCustomHighlighter* Value);
  TOndCustomHighlighter* GetHighlighter() const noexcept { return FHighlighter; }
  // Begin and end are (1-based display column, 1-based line); their order
  // does not matter, and a column selection may run right to left.
  void SetSelection(bool Available, TBufferCoord Begin, TBufferCoord End, TOndSelectionMode Mode);
  bool SelAvail() const noexcept { return FSelAvail; }

  // The options; each is read when the pages are laid out.
  int Copies = 1;
  THeaderFooter Header{THeaderFooterType::hftHeader};
  THeaderFooter Footer{THeaderFooterType::hftFooter};
  TOndEditPrintMargins Margins;
  std::string Title;
  std::string DocTitle;  // the job's title when not empty, else Title
  bool Wrap = true;
  bool Highlight = true;
  bool Colors = true;
  bool LineNumbers = false;
  bool LineNumbersInMargin = false;
  int LineOffset = 0;
  int PageOffset = 0;
  bool SelectedOnly = false;
  TColor BackgroundColor = clWhite;
  // The header's and footer's date and time; empty ones are filled from the
  // clock when a job lays out its pages.
  std::string DateText;
  std::string TimeText;

  TOndPrintStatusEvent OnPrintStatus;
  TOndPrintLineEvent OnPrintLine;

  TOndEditPrinterInfo& PrinterInfo() noexcept { return FPrinterInfo; }
  TOndPrinter& Printer() noexcept { return FPrinter; }

  // Lays the pages out with the printer's current metrics.
  int GetPageCount();
  // Every placed row in page order, as the last layout left them.
  const std::vector<TOndPrintPiece>& Pieces() const noexcept { return FPieces; }

  // Prints pages First..Last (Last -1: the last page), clamped to the real
  // page count; the number of pages sent to the printer, copies counted.
  int Print() { return PrintRange(1, -1); }
  int PrintRange(int First, int Last);
  // Why the last PrintRange printed nothing because the job could not start
  // (the printer's reason); empty after a job that started.
  const std::string& Failure() const noexcept { return FFailure; }
  // Ends the job at the next page boundary.
  void Abort() noexcept { FAbort = true; }
  bool Aborted() const noexcept { return FAbort; }
  bool Printing() const noexcept { return FPrinting; }

 private:
  struct TSpan {
    int Start = 0;
    int End = 0;
  };
  struct TRun {
    int Start = 0;
    int End = 0;
    TColor Foreground = clBlack;
    TColor Background = clNone;
    TFontStyles Style = 0;
  };

  void PrepareLayout(const TOndPrintMeasure& Measure);
  void LayOutPages();
  int HighestLineNumber() const;
  TSpan PrintedSpan(int Line) const;
  void AppendPieces(int Line, std::vector<TSpan>& Out) const;
  void ScanRanges();
  std::vector<TRun> Runs(int Line);
  void PrintPage(TOndPrintCanvas& Canvas, int Page);
  void PrintPiece(TOndPrintCanvas& Canvas, const TOndPrintPiece& Piece);
  void PrintHeaderFooter(TOndPrintCanvas& Canvas, const THeaderFooter& Part, int Page);
  bool Notify(TOndPrintStatus Status, int Page);

  TOndPrinter& FPrinter;
  TOndEditPrinterInfo FPrinterInfo;
  std::vector<std::string> FLines;
  std::vector<TOndRangeState> FRanges;
  bool FRangesScanned = false;
  int FTabWidth = 8;
  TOndPrintFont FFont;
  TOndCustomHighlighter* FHighlighter = nullptr;
  bool FSelAvail = false;
  TBufferCoord FSelBegin{1, 1};
  TBufferCoord FSelEnd{1, 1};
  TOndSelectionMode FSelMode = smNormal;

  // The current layout.
  TOndPrintFont FPrintFont;
  int FCharWidth = 1;
  int FLineHeight = 1;
  int FTextWidth = 1;
  int FMaxCols = 1;
  int FTextTop = 0;
  int FTextBottom = 1;
  int FPageCount = 0;
  std::vector<TOndPrintPiece> FPieces;
  std::vector<std::size_t> FPageStart;  // index of each page's first piece
  bool FAbort = false;
  bool FPrinting = false;
  std::string FFailure;
};

// The document editor's print command, once the print object holds the
// editor's text: with the dialog the user picks the copies and all pages, the
// selection or a page range, and cancelling prints nothing; without it every
// page prints. The number of pages sent to the printer.
int RunPrintCommand(TOndEditPrint& Print, bool ShowDialog);

// The header and footer a panel prints with when nobody chose others: the
// title and the date above, "page of pages" below.
void SetDefaultHeaderFooter(TOndEditPrint& Print);

}  // namespace ond
