#include "editor/OndEditPrint.h"

#include <algorithm>
#include <ctime>

#include "editor/OndEditMiscProcs.h"
#include "platform/core/ProgramTexts.h"
#include "platform/core/ScopeGuard.h"

namespace ond {
namespace {

constexpr TFontStyles kAllStyles = fsBold | fsItalic | fsUnderline | fsStrikeOut;

std::string ClockText(const char* format) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[64] = {};
  std::strftime(buf, sizeof buf, format, &local);
  return buf;
}

}  // namespace

TOndEditPrint::TOndEditPrint(TOndPrinter& Printer)
    : FPrinter(Printer), FPrinterInfo([this] { return FPrinter.Caps(); }) {}

void TOndEditPrint::SetLines(const std::vector<std::string>& Lines) {
  const TConvertTabsProc expand = SelectTabConverter(FTabWidth);
  FLines.clear();
  FLines.reserve(Lines.size());
  for (const std::string& line : Lines) {
    std::string text = expand(line, FTabWidth);
    std::replace(text.begin(), text.end(), '\t', ' ');
    FLines.push_back(std::move(text));
  }
  FRangesScanned = false;
}

void TOndEditPrint::SetHighlighter(TOndCustomHighlighter* Value) {
  FHighlighter = Value;
  FRangesScanned = false;
}

void TOndEditPrint::SetSelection(bool Available, TBufferCoord Begin, TBufferCoord End,
                                 TOndSelectionMode Mode) {
  if (End.Line < Begin.Line || (End.Line == Begin.Line && End.Char < Begin.Char)) std::swap(Begin, End);
  FSelAvail = Available;
  FSelBegin = Begin;
  FSelEnd = End;
  FSelMode = Mode;
}

// The columns of a line that print: the whole line, or its selected part.
TOndEditPrint::TSpan TOndEditPrint::PrintedSpan(int Line) const {
  const int length = static_cast<int>(FLines[static_cast<std::size_t>(Line - 1)].size());
  TSpan span{0, length};
  if (!SelectedOnly || FSelMode == smLine) return span;
  auto clampCol = [length](int char1) { return std::clamp(char1 - 1, 0, length); };
  if (FSelMode == smColumn) {
    // A block dragged right to left has its begin column right of its end.
    span.Start = clampCol(std::min(FSelBegin.Char, FSelEnd.Char));
    span.End = clampCol(std::max(FSelBegin.Char, FSelEnd.Char));
  } else {
    if (Line == FSelBegin.Line) span.Start = clampCol(FSelBegin.Char);
    if (Line == FSelEnd.Line) span.End = clampCol(FSelEnd.Char);
  }
  span.End = std::max(span.End, span.Start);
  return span;
}

// The one place a printed line is cut into rows: layout counts these rows
// and printing draws exactly them. Every row holds at least one column, so
// no width of paper makes the cutting loop.
void TOndEditPrint::AppendPieces(int Line, std::vector<TSpan>& Out) const {
  const TSpan span = PrintedSpan(Line);
  const long long width = static_cast<long long>(span.End - span.Start) * FCharWidth;
  if (!Wrap || width <= FTextWidth) {
    Out.push_back(span);
    return;
  }
  for (int start = span.Start; start < span.End; start += FMaxCols)
    Out.push_back({start, std::min(span.End, start + FMaxCols)});
}

// The number the last printed line carries: the widest line number.
int TOndEditPrint::HighestLineNumber() const {
  const int last = SelectedOnly && FSelAvail ? FSelEnd.Line : static_cast<int>(FLines.size());
  return last + LineOffset;
}

void TOndEditPrint::PrepareLayout(const TOndPrintMeasure& Measure) {
  const int ppi = FPrinterInfo.YPixPrInch();
  FPrintFont = FFont;
  FPrintFont.PixelsPerInch = ppi;
  Header.SetPixelsPerInch(ppi);
  Footer.SetPixelsPerInch(ppi);
  // Every style at once gives the widest and tallest cell any token can need.
  TOndPrintFont widest = FPrintFont;
  widest.Style = kAllStyles;
  FCharWidth = std::max(1, Measure.AverageCharWidth(widest));
  FLineHeight = std::max(1, Measure.LineHeight(widest));

  const int maxLineNum = HighestLineNumber();
  // With mirrored margins an even page may be narrower; rows are cut once,
  // so they are cut for the narrower of the two.
  Margins.InitPage(Measure, FPrintFont, 2, FPrinterInfo, LineNumbers, LineNumbersInMargin, maxLineNum);
  FTextWidth = Margins.PRight - Margins.PLeft;
  Margins.InitPage(Measure, FPrintFont, 1, FPrinterInfo, LineNumbers, LineNumbersInMargin, maxLineNum);
  FTextWidth = std::max(1, std::min(FTextWidth, Margins.PRight - Margins.PLeft));
  const int w = std::max(1, Measure.TextWidth(FPrintFont, "W"));
  FMaxCols = std::max(1, std::min(FTextWidth / w, FTextWidth / FCharWidth));

  if (DateText.empty()) DateText = ClockText("%d.%m.%Y");
  if (TimeText.empty()) TimeText = ClockText("%H:%M:%S");
  // Heights first; the page count follows from the layout below.
  Header.InitPrint(Measure, 0, Title, &Margins, DateText, TimeText);
  Footer.InitPrint(Measure, 0, Title, &Margins, DateText, TimeText);
  // Text keeps clear of the header's and the footer's bands.
  FTextTop = Margins.PTop;
  FTextBottom = Margins.PBottom;
  if (Header.GetHeight() > 0) FTextTop = std::max(FTextTop, Margins.PHeader);
  if (Footer.GetHeight() > 0) FTextBottom = std::min(FTextBottom, Margins.PFooter);
  LayOutPages();
  Header.InitPrint(Measure, FPageCount, Title, &Margins, DateText, TimeText);
  Footer.InitPrint(Measure, FPageCount, Title, &Margins, DateText, TimeText);
}

void TOndEditPrint::LayOutPages() {
  FPieces.clear();
  FPageStart.assign(1, 0);
  FPageCount = 1;
  int first = 1;
  int last = static_cast<int>(FLines.size());
  if (SelectedOnly && FSelAvail) {
    first = std::max(1, FSelBegin.Line);
    last = std::min(last, FSelEnd.Line);
  }
  const int room = FTextBottom - FTextTop;
  int y = FTextTop;
  auto newPage = [&] {
    ++FPageCount;
    FPageStart.push_back(FPieces.size());
    y = FTextTop;
  };
  std::vector<TSpan> rows;
  for (int line = first; line <= last; ++line) {
    rows.clear();
    AppendPieces(line, rows);
    const long long height = static_cast<long long>(rows.size()) * FLineHeight;
    // A wrapped line that fits on a page is kept together on the next one;
    // a line taller than a page breaks between its rows.
    if (y > FTextTop && y + height > FTextBottom && height <= room) newPage();
    for (std::size_t k = 0; k < rows.size(); ++k) {
      if (y > FTextTop && y + FLineHeight > FTextBottom) newPage();
      FPieces.push_back({FPageCount, line, rows[k].Start, rows[k].End, y, k == 0});
      y += FLineHeight;
    }
  }
}

int TOndEditPrint::GetPageCount() {
  PrepareLayout(FPrinter.Measure());
  return FPageCount;
}

void TOndEditPrint::ScanRanges() {
  if (FRangesScanned) return;
  FRanges.assign(FLines.size(), 0);
  if (FHighlighter && !FLines.empty()) {
    FHighlighter->ResetRange();
    FRanges[0] = FHighlighter->GetRange();
    for (std::size_t i = 1; i < FLines.size(); ++i) {
      FHighlighter->SetRange(FRanges[i - 1]);
      FHighlighter->SetLine(FLines[i - 1], static_cast<int>(i - 1));
      FHighlighter->SkipToEol();
      FRanges[i] = FHighlighter->GetRange();
    }
  }
  FRangesScanned = true;
}

// The coloured runs of a whole line, in column order.
std::vector<TOndEditPrint::TRun> TOndEditPrint::Runs(int Line) {
  const std::string& text = FLines[static_cast<std::size_t>(Line - 1)];
  const int length = static_cast<int>(text.size());
  const TRun plain{0, length, FFont.Color, BackgroundColor, FFont.Style};
  if (!Highlight || !FHighlighter || FLines.empty()) return {plain};
  ScanRanges();
  std::vector<TRun> runs;
  if (Line == 1) FHighlighter->ResetRange();
  else FHighlighter->SetRange(FRanges[static_cast<std::size_t>(Line - 1)]);
  FHighlighter->SetLine(text, Line - 1);
  int covered = 0;
  while (!FHighlighter->GetEol()) {
    const int pos = std::clamp(FHighlighter->GetTokenPos(), covered, length);
    const int end = std::clamp(pos + static_cast<int>(FHighlighter->GetToken().size()), pos, length);
    if (pos > covered) runs.push_back({covered, pos, plain.Foreground, plain.Background, plain.Style});
    TRun run{pos, end, plain.Foreground, plain.Background, plain.Style};
    if (const TOndHighlighterAttributes* attr = FHighlighter->GetTokenAttribute()) {
      run.Style = attr->GetStyle();
      if (Colors) {
        if (attr->GetForeground() != clNone) run.Foreground = attr->GetForeground();
        if (attr->GetBackground() != clNone) run.Background = attr->GetBackground();
      }
    }
    if (end > pos) runs.push_back(run);
    covered = std::max(covered, end);
    FHighlighter->Next();
  }
  if (covered < length) runs.push_back({covered, length, plain.Foreground, plain.Background, plain.Style});
  return runs;
}

void TOndEditPrint::PrintPiece(TOndPrintCanvas& Canvas, const TOndPrintPiece& Piece) {
  const int left = Margins.PLeft;
  const int right = std::max(Margins.PRight, left + FCharWidth);
  if (LineNumbers && Piece.First) {
    const std::string number = std::to_string(Piece.Line + LineOffset) + ": ";
    TOndPrintFont font = FPrintFont;
    font.Style = 0;
    font.Color = clBlack;
    Canvas.FixedText(left - Canvas.TextWidth(font, number), Piece.Y, number, font, BackgroundColor, 0);
  }
  const std::string& text = FLines[static_cast<std::size_t>(Piece.Line - 1)];
  for (const TRun& run : Runs(Piece.Line)) {
    const int start = std::max(run.Start, Piece.Start);
    const int end = std::min(run.End, Piece.End);
    if (start >= end) continue;
    const int x = left + (start - Piece.Start) * FCharWidth;
    // Cut at the right margin by dropping characters from the run's end.
    const int fit = std::min(end - start, (right - x) / FCharWidth);
    if (fit <= 0) break;
    TOndPrintFont font = FPrintFont;
    font.Style = run.Style;
    font.Color = run.Foreground;
    Canvas.FixedText(x, Piece.Y, std::string_view(text).substr(static_cast<std::size_t>(start),
                                                              static_cast<std::size_t>(fit)),
                     font, run.Background, FCharWidth);
  }
}

void TOndEditPrint::PrintHeaderFooter(TOndPrintCanvas& Canvas, const THeaderFooter& Part, int Page) {
  const TOndHeaderFooterPlan plan = Part.Layout(Canvas, Page);
  if (!plan.Visible) return;
  if (plan.FillBand) Canvas.FillRect(plan.Band, plan.ShadedColor);
  if (plan.OutlineBand) Canvas.FrameRect(plan.Band, plan.LineColor);
  if (plan.DrawLine) Canvas.HorizontalLine(plan.Band.Left, plan.Band.Right, plan.LineY, plan.LineColor);
  for (const auto& text : plan.Texts) Canvas.BaselineText(text.X, text.BaselineY, text.Text, text.Font);
}

void TOndEditPrint::PrintPage(TOndPrintCanvas& Canvas, int Page) {
  if (!Notify(TOndPrintStatus::psNewPage, Page)) return;
  Margins.InitPage(Canvas, FPrintFont, Page, FPrinterInfo, LineNumbers, LineNumbersInMargin, HighestLineNumber());
  if (BackgroundColor != clWhite && BackgroundColor != clNone)
    Canvas.FillRect({Margins.PLeft, FTextTop, Margins.PRight, FTextBottom}, BackgroundColor);
  PrintHeaderFooter(Canvas, Header, Page + PageOffset);
  const std::size_t begin = FPageStart[static_cast<std::size_t>(Page - 1)];
  const std::size_t end = static_cast<std::size_t>(Page) < FPageStart.size()
                              ? FPageStart[static_cast<std::size_t>(Page)]
                              : FPieces.size();
  for (std::size_t i = begin; i < end; ++i) {
    PrintPiece(Canvas, FPieces[i]);
    const bool lineDone = i + 1 == end || FPieces[i + 1].Line != FPieces[i].Line;
    if (lineDone && OnPrintLine) OnPrintLine(this, FPieces[i].Line, Page);
  }
  PrintHeaderFooter(Canvas, Footer, Page + PageOffset);
}

bool TOndEditPrint::Notify(TOndPrintStatus Status, int Page) {
  if (OnPrintStatus) {
    bool abort = false;
    OnPrintStatus(this, Status, Page, abort);
    if (abort) FAbort = true;
  }
  return !FAbort;
}

int TOndEditPrint::PrintRange(int First, int Last) {
  FFailure.clear();
  if (SelectedOnly && !FSelAvail) return 0;
  FPrinting = true;
  FAbort = false;
  const TScopeExit done([this] { FPrinting = false; });
  FPrinterInfo.Invalidate();
  PrepareLayout(FPrinter.Measure());
  First = std::max(First, 1);
  if (Last < 0 || Last > FPageCount) Last = FPageCount;
  // An empty range starts no job at all.
  if (First > Last) return 0;
  if (!FPrinter.BeginDoc(DocTitle.empty() ? Title : DocTitle)) {
    // Said by whoever started the printing, with the printer's reason.
    FFailure = FPrinter.FailureText();
    if (FFailure.empty()) FFailure = ProgramText(TProgramText::PrintNotStarted);
    return 0;
  }
  // A job that a throwing handler leaves halfway is aborted, never left open.
  bool closed = false;
  const TScopeExit close([&] {
    if (!closed) FPrinter.Abort();
  });
  int printed = 0;
  TOndPrintCanvas& canvas = FPrinter.Canvas();
  const int copies = std::max(1, Copies);
  if (Notify(TOndPrintStatus::psBegin, First)) {
    for (int copy = 1; copy <= copies && !FAbort; ++copy) {
      for (int page = First; page <= Last && !FAbort; ++page) {
        if (printed > 0) FPrinter.NewPage();
        PrintPage(canvas, page);
        if (!FAbort) ++printed;
      }
    }
  }
  if (FAbort) return 0;  // the guard aborts the job
  Notify(TOndPrintStatus::psEnd, Last);
  closed = true;
  if (!FPrinter.EndDoc()) {
    // Pages that never reached the paper or the file are no pages printed.
    FFailure = FPrinter.FailureText();
    if (FFailure.empty()) FFailure = ProgramText(TProgramText::PrintNotFinished);
    return 0;
  }
  return printed;
}

int RunPrintCommand(TOndEditPrint& Print, bool ShowDialog) {
  if (!ShowDialog) return Print.Print();
  const int count = Print.GetPageCount();
  const auto answer = Print.Printer().ShowDialog({1, count, 1, count, Print.SelAvail()});
  if (!answer) return 0;
  Print.Copies = answer->Copies;
  switch (answer->Range) {
    case TOndPrintRange::prAllPages:
      return Print.Print();
    case TOndPrintRange::prSelection:
      Print.SelectedOnly = true;
      return Print.Print();
    case TOndPrintRange::prPageNums:
      return Print.PrintRange(answer->FromPage, answer->ToPage);
  }
  return 0;
}

void SetDefaultHeaderFooter(TOndEditPrint& Print) {
  TOndPrintFont font;
  font.Name = "Arial";
  font.Size = 8;
  Print.Header.Clear();
  Print.Footer.Clear();
  Print.Header.Add("$TITLE$", font, TOndHFAlignment::hfaLeft, 1);
  Print.Header.Add("$DATE$ $TIME$", font, TOndHFAlignment::hfaRight, 1);
  Print.Footer.Add("$PAGENUM$ / $PAGECOUNT$", font, TOndHFAlignment::hfaCenter, 1);
}

}  // namespace ond
