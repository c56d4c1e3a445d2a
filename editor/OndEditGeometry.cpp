#include "editor/OndEditGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "editor/OndEditMiscProcs.h"
#include "platform/core/SysUtils.h"

namespace ond {

namespace {
int NextTabStop(int col0, int tabWidth) noexcept {
  // col0: 0-based column of the tab; the next multiple of the width beyond it.
  return col0 + tabWidth - (col0 % tabWidth);
}
}  // namespace

// Both conversions step over tab-free stretches at once: a typed line can be
// thousands of characters long, and the caret asks for its column after
// every key.
int LineCharToColumn(std::string_view Line, int Char, int TabWidth) noexcept {
  if (TabWidth < 1) TabWidth = 1;
  const int n = static_cast<int>(Line.size());
  const int walk = std::min(std::max(0, Char - 1), n);
  const char* p = Line.data();
  const char* const end = p + walk;
  int col = 0;
  while (p < end) {
    const char* tab = static_cast<const char*>(std::memchr(p, '\t', static_cast<std::size_t>(end - p)));
    if (!tab) {
      col += static_cast<int>(end - p);
      break;
    }
    col = NextTabStop(col + static_cast<int>(tab - p), TabWidth);
    p = tab + 1;
  }
  if (Char - 1 > n) col += Char - 1 - n;
  return col + 1;
}

int LineColumnToChar(std::string_view Line, int Column, int TabWidth) noexcept {
  if (TabWidth < 1) TabWidth = 1;
  const int n = static_cast<int>(Line.size());
  int width = 0, i = 0;
  while (i < n && width < Column - 1) {
    // Plain characters up to the next tab, or as many as the column needs.
    const int room = std::min(n - i, Column - 1 - width);
    const void* tab = std::memchr(Line.data() + i, '\t', static_cast<std::size_t>(room));
    const int plain = tab ? static_cast<int>(static_cast<const char*>(tab) - (Line.data() + i)) : room;
    width += plain;
    i += plain;
    if (tab) {
      width = NextTabStop(width, TabWidth);
      ++i;
    }
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
  // The last row whose top lies above the clip's bottom (which is exclusive).
  r.LastRow = TopLine + std::max(0, Clip.Bottom + LineHeight - 1) / LineHeight - 1;
  r.LastRow = RowCount < 1 ? 0 : MinMax(r.LastRow, 1, RowCount);
  return r;
}

void TOndEditView::FitClient(int ClientWidth, int ClientHeight) noexcept {
  CharsInWindow = std::max(0, ClientWidth - GutterWidth - 2) / CharWidth;
  LinesInWindow = std::max(0, ClientHeight) / LineHeight;
}

bool TOndEditView::RowsSpan(int FirstRow, int LastRow, int ClientHeight, int& Top, int& Bottom) const noexcept {
  if (FirstRow > LastRow) std::swap(FirstRow, LastRow);
  const int visibleLast = TopLine + LinesInWindow;  // a partly shown row counts
  FirstRow = std::max(FirstRow, TopLine);
  if (FirstRow > visibleLast) return false;
  Top = (FirstRow - TopLine) * LineHeight;
  Bottom = LastRow >= visibleLast ? ClientHeight : (LastRow - TopLine + 1) * LineHeight;
  return Bottom > Top;
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

bool GutterNumbersFillTheirCells(std::string_view NumberText, bool LeadingZeros) noexcept {
  return !LeadingZeros && !NumberText.empty() && NumberText.front() != ' ';
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

// ---- scrolling

int MaxTopLine(int RowCount, int LinesInWindow, bool ScrollPastEof) noexcept {
  return ScrollPastEof ? RowCount : RowCount - LinesInWindow + 1;
}

int ClampTopLine(int Value, int RowCount, int LinesInWindow, bool ScrollPastEof) noexcept {
  return std::max(1, std::min(Value, MaxTopLine(RowCount, LinesInWindow, ScrollPastEof)));
}

int MaxLeftColumn(const TOndScrollState& S) noexcept {
  const int chars = S.CharsInWindow;
  if (S.WrapWidth > 0 && S.WrapWidth <= chars) return 1;
  int result;
  if (!S.ScrollPastEol) {
    const int length = S.WrapWidth > 0 ? S.WrapWidth : S.LongestLine;
    result = length > chars ? length - chars + 1 : 1;
  } else if (S.AutoSizeMaxScrollWidth) {
    result = 2147483647 - chars;
  } else {
    result = S.MaxScrollWidth - chars + 1;
  }
  return std::max(1, result);
}

int ClampLeftColumn(int Value, const TOndScrollState& S) noexcept {
  return std::clamp(Value, 1, MaxLeftColumn(S));
}

namespace {
// Range, page and position of one bar; maximum is the unscaled extent.
void ScaleBar(TOndScrollBarPlan& B, int Maximum, int Window, int Position, bool AtLeastOne) noexcept {
  B.Maximum = Maximum;
  if (Maximum > 32767) {
    B.Min = 0;
    B.Max = 32767;
    B.Page = MulDiv(32767, Window, Maximum);
    B.Pos = MulDiv(32767, Position, Maximum);
  } else {
    B.Min = 1;
    B.Max = AtLeastOne ? std::max(1, Maximum) : Maximum;
    B.Page = Window;
    B.Pos = Position;
  }
}
}  // namespace

void PlanScrollBars(const TOndScrollState& S, TOndScrollBarPlan& H, TOndScrollBarPlan& V) noexcept {
  H = TOndScrollBarPlan{};
  V = TOndScrollBarPlan{};
  H.DisableNoScroll = V.DisableNoScroll = !S.HideShowScrollbars;
  const int chars = S.CharsInWindow, lines = S.LinesInWindow;
  if (S.WantHorizontal && (S.WrapWidth <= 0 || S.WrapWidth > chars)) {
    int maximum;
    if (S.ScrollPastEol)
      maximum = S.MaxScrollWidth;
    else if (S.WrapWidth > 0)
      maximum = S.WrapWidth;
    else
      maximum = std::max(1, S.LongestLine);
    ScaleBar(H, maximum, chars, S.LeftColumn, false);
    H.Show = !(S.HideShowScrollbars && H.Min == 1 && H.Max <= chars);
    const int left = S.LeftColumn;
    if (!S.DisableScrollArrows && maximum > chars) {
      H.ArrowEnabled[0] = H.ArrowEnabled[1] = true;
    } else if (left <= 1 && maximum <= left + chars - 1) {
      H.ArrowEnabled[0] = H.ArrowEnabled[1] = false;
    } else {
      H.ArrowEnabled[0] = H.ArrowEnabled[1] = true;
      if (left > 1 && maximum <= left + chars - 1)
        H.ArrowEnabled[1] = false;
      else if (left <= 1)
        H.ArrowEnabled[0] = false;
    }
  }
  if (S.WantVertical) {
    int maximum = S.RowCount;
    if (S.ScrollPastEof) maximum += lines - 1;
    ScaleBar(V, maximum, lines, S.TopLine, true);
    V.Show = !(S.HideShowScrollbars && V.Min == 1 && V.Max <= lines);
    const int top = S.TopLine;
    if (!S.DisableScrollArrows && maximum > lines) {
      V.ArrowEnabled[0] = V.ArrowEnabled[1] = true;
    } else if (top <= 1 && maximum <= lines) {
      V.ArrowEnabled[0] = V.ArrowEnabled[1] = false;
    } else {
      V.ArrowEnabled[0] = V.ArrowEnabled[1] = true;
      if (top > 1 && S.RowCount - top - lines + 1 == 0)
        V.ArrowEnabled[1] = false;
      else if (top <= 1)
        V.ArrowEnabled[0] = false;
    }
  }
}

int HorzThumbToColumn(int Maximum, int Pos) noexcept {
  if (Maximum >= 32768) return MulDiv(Maximum, Pos, 32767);
  return static_cast<std::int16_t>(Pos & 0xFFFF);
}

int VertThumbToRow(int RowCount, int LinesInWindow, int Pos) noexcept {
  if (RowCount > 32767) return MulDiv(RowCount + LinesInWindow - 1, Pos, 32767);
  return static_cast<std::int16_t>(Pos & 0xFFFF);
}

int TOndWheel::Notches(int WheelDelta) noexcept {
  Accumulator += WheelDelta;
  const int notches = Accumulator / 120;
  Accumulator %= 120;
  return notches;
}

int TOndWheel::LinesToScroll(int WheelDelta, bool Ctrl, bool HalfPage, int LinesInWindow) noexcept {
  int perNotch = 3;
  if (Ctrl) perNotch = HalfPage ? LinesInWindow / 2 : LinesInWindow;
  return -Notches(WheelDelta) * perNotch;
}

void AutoScrollDeltas(const TRect& R, int X, int Y, int CharWidth, int LineHeight, int& DX, int& DY) noexcept {
  CharWidth = std::max(1, CharWidth);
  LineHeight = std::max(1, LineHeight);
  if (X < R.Left)
    DX = (X - R.Left) / CharWidth - 1;
  else if (X >= R.Right)
    DX = (X - R.Right) / CharWidth + 1;
  else
    DX = 0;
  if (Y < R.Top)
    DY = (Y - R.Top) / LineHeight - 1;
  else if (Y >= R.Bottom)
    DY = (Y - R.Bottom) / LineHeight + 1;
  else
    DY = 0;
}

}  // namespace ond
