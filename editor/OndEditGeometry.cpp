#include "editor/OndEditGeometry.h"

#include <algorithm>
#include <cmath>

#include "editor/OndEditMiscProcs.h"
#include "platform/core/SysUtils.h"

namespace ond {

namespace {
int NextTabStop(int col0, int tabWidth) noexcept {
  // col0: 0-based column of the tab; the next multiple of the width beyond it.
  return col0 + tabWidth - (col0 % tabWidth);
}
}  // namespace

int LineCharToColumn(std::string_view Line, int Char, int TabWidth) noexcept {
  if (TabWidth < 1) TabWidth = 1;
  const int n = static_cast<int>(Line.size());
  int col = 0;
  const int walk = std::min(std::max(0, Char - 1), n);
  for (int i = 0; i < walk; ++i) col = Line[static_cast<std::size_t>(i)] == '\t' ? NextTabStop(col, TabWidth) : col + 1;
  if (Char - 1 > n) col += Char - 1 - n;
  return col + 1;
}

int LineColumnToChar(std::string_view Line, int Column, int TabWidth) noexcept {
  if (TabWidth < 1) TabWidth = 1;
  const int n = static_cast<int>(Line.size());
  int width = 0, i = 0;
  while (i < n && width < Column - 1) {
    width = Line[static_cast<std::size_t>(i)] == '\t' ? NextTabStop(width, TabWidth) : width + 1;
    ++i;
  }
  int ch = i + 1;
  if (width < Column - 1) ch += Column - 1 - width;  // past the end of the line
  return std::max(1, ch);
}

TDisplayCoord TOndEditView::PixelToDisplayPos(int X, int Y) const noexcept {
  const int dx = X - GutterWidth - 2;
  const int col = (dx >= 0 ? dx / CharWidth : -((-dx + CharWidth - 1) / CharWidth)) + LeftColumn;
  const int row = (Y >= 0 ? Y / LineHeight : -((-Y + LineHeight - 1) / LineHeight)) + TopLine;
  return DisplayCoord(std::max(1, col), std::max(1, row));
}

TDisplayCoord TOndEditView::PixelToNearestDisplayPos(int X, int Y) const noexcept {
  const int bottom = LinesInWindow * LineHeight;
  if (Y >= bottom) Y = std::max(0, bottom - 1);
  const int col = static_cast<int>(Round(static_cast<double>(X - GutterWidth - 2) / CharWidth)) + LeftColumn;
  const int row = (Y >= 0 ? Y / LineHeight : -((-Y + LineHeight - 1) / LineHeight)) + TopLine;
  return DisplayCoord(std::max(1, col), std::max(1, row));
}

TPoint TOndEditView::DisplayPosToPixel(const TDisplayCoord& D) const noexcept {
  return TPoint{(D.Column - 1) * CharWidth + TextOffset(), LineHeight * (D.Row - TopLine)};
}

TOndPaintRange TOndEditView::PaintRange(const TRect& Clip, int RowCount) const noexcept {
  TOndPaintRange r;
  const int left = GutterWidth + 2;
  r.FirstColumn = LeftColumn + (Clip.Left > left ? (Clip.Left - left) / CharWidth : 0);
  r.LastColumn = LeftColumn + std::max(0, Clip.Right - left + CharWidth - 1) / CharWidth;
  r.FirstRow = std::max(TopLine + std::max(0, Clip.Top) / LineHeight, TopLine);
  r.LastRow = TopLine + std::max(0, Clip.Bottom + LineHeight - 1) / LineHeight;
  r.LastRow = RowCount < 1 ? 0 : MinMax(r.LastRow, 1, RowCount);
  return r;
}

void TOndEditView::FitClient(int ClientWidth, int ClientHeight) noexcept {
  CharsInWindow = std::max(0, ClientWidth - GutterWidth - 2) / CharWidth;
  LinesInWindow = std::max(0, ClientHeight) / LineHeight;
}

void TOndEditView::ScrollToShow(const TDisplayCoord& Caret, bool Centre, int& NewLeftColumn,
                                int& NewTopLine) const noexcept {
  NewLeftColumn = LeftColumn;
  NewTopLine = TopLine;
  if (CharsInWindow > 0) {
    if (Caret.Column < LeftColumn)
      NewLeftColumn = Caret.Column;
    else if (Caret.Column >= LeftColumn + CharsInWindow)
      NewLeftColumn = Caret.Column - CharsInWindow + std::min(24, CharsInWindow);
  }
  const int lines = std::max(1, LinesInWindow);
  if (Centre) {
    if (Caret.Row < TopLine - 1)
      NewTopLine = Caret.Row - LinesInWindow / 2 + 1;
    else if (Caret.Row > TopLine + LinesInWindow - 2)
      NewTopLine = Caret.Row - (LinesInWindow - 1) + LinesInWindow / 2;
  }
  // Without centring, or where centring left the row outside.
  if (Caret.Row < NewTopLine)
    NewTopLine = Caret.Row;
  else if (Caret.Row > NewTopLine + lines - 1)
    NewTopLine = Caret.Row - (lines - 1);
  NewLeftColumn = std::max(1, NewLeftColumn);
  NewTopLine = std::max(1, NewTopLine);
}

TOndRowSelection RowSelection(int Row, const TDisplayCoord& SelStart, const TDisplayCoord& SelEnd,
                              TOndSelectionMode Mode, int FirstColumn, int LastColumn) noexcept {
  TOndRowSelection s;
  if (Row < SelStart.Row || Row > SelEnd.Row) return s;
  int start, end;
  switch (Mode) {
    case smColumn:
      start = std::min(SelStart.Column, SelEnd.Column);
      end = std::max(SelStart.Column, SelEnd.Column);
      break;
    case smLine:
      start = FirstColumn;
      end = LastColumn + 1;
      break;
    default:
      start = Row == SelStart.Row ? SelStart.Column : FirstColumn;
      end = Row == SelEnd.Row ? SelEnd.Column : LastColumn + 1;
      break;
  }
  if (start >= end || start > LastColumn || end <= FirstColumn) return s;
  s.Any = true;
  s.Start = std::max(start, FirstColumn);
  s.End = std::min(end, LastColumn + 1);
  s.Whole = s.Start == FirstColumn && s.End == LastColumn + 1;
  return s;
}

TOndIntensMark IntensMark(int Line, bool CaretLine, std::string_view NumberText) noexcept {
  if (CaretLine || (!NumberText.empty() && NumberText.back() == '0')) return TOndIntensMark::Number;
  return Line % 5 == 0 ? TOndIntensMark::Dash : TOndIntensMark::Dot;
}

TOndTokenAccumulator::TOndTokenAccumulator(TColor RowFG, TColor RowBG, bool SpecialRow, bool SpecialLineDefaultFg,
                                           bool RowSelected, TEmit Emit)
    : FRowFG(RowFG),
      FRowBG(RowBG),
      FSpecialRow(SpecialRow),
      FSpecialLineDefaultFg(SpecialLineDefaultFg),
      FRowSelected(RowSelected),
      FEmit(std::move(Emit)) {}

void TOndTokenAccumulator::Add(std::string_view Token, int Column, TColor FG, TColor BG, TFontStyles Style) {
  if (Token.empty()) return;
  if (FG == clNone) FG = FRowFG;
  if (BG == clNone) BG = FRowBG;
  const bool blanks = Token.find_first_not_of(' ') == std::string_view::npos;
  if (!FRun.Text.empty()) {
    const bool styleFits =
        FRun.Style == Style || (!(FRun.Style & fsUnderline) && !(Style & fsUnderline) && blanks);
    const bool coloursFit = (FSpecialRow && !FSpecialLineDefaultFg) || FRowSelected ||
                            (FRun.Background == BG && (FRun.Foreground == FG || blanks));
    if (styleFits && coloursFit && FRun.Column + static_cast<int>(FRun.Text.size()) == Column) {
      FRun.Text.append(Token);
      return;
    }
    Flush();
  }
  FRun.Text.reserve(Token.size() + 32);
  FRun.Text.assign(Token);
  FRun.Column = Column;
  FRun.Foreground = FG;
  FRun.Background = BG;
  FRun.Style = Style;
}

void TOndTokenAccumulator::Flush() {
  if (FRun.Text.empty()) return;
  if (FEmit) FEmit(FRun);
  FRun.Text.clear();
}

}  // namespace ond
