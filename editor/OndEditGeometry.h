// The editor's geometry without a window: conversions between characters of
// a line and display columns, between display positions and client pixels,
// the rows and columns a clip rectangle covers, the caret-visibility scroll,
// the part of a row a selection covers, the gutter's intensity marks and the
// accumulator that merges highlighter tokens into painted runs. The control
// owns one TOndEditView and paints from these plans.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "editor/OndEditTypes.h"
#include "platform/core/Types.h"

namespace ond {

// 1 + the display width of the first Char - 1 characters of Line, a tab
// advancing to the next multiple of TabWidth (counted from 0); characters
// past the end of the line count one column each.
int LineCharToColumn(std::string_view Line, int Char, int TabWidth) noexcept;
// The character whose display column is Column: characters are counted while
// the running width stays below Column - 1; past the end of the line each
// further column counts one character.
int LineColumnToChar(std::string_view Line, int Column, int TabWidth) noexcept;

struct TOndPaintRange {
  int FirstColumn = 1;
  int LastColumn = 1;
  int FirstRow = 1;
  int LastRow = 0;  // below FirstRow when no row is painted
};

// Where the text area lies: cell size, gutter width, scroll position and the
// whole columns and rows that fit the client area.
struct TOndEditView {
  int CharWidth = 1;   // at least 1
  int LineHeight = 1;  // at least 1
  int GutterWidth = 0;
  int LeftColumn = 1;
  int TopLine = 1;
  int CharsInWindow = 0;
  int LinesInWindow = 0;

  // The x of display column 1.
  int TextOffset() const noexcept { return GutterWidth + 2 - (LeftColumn - 1) * CharWidth; }
  TDisplayCoord PixelToDisplayPos(int X, int Y) const noexcept;
  TDisplayCoord PixelToNearestDisplayPos(int X, int Y) const noexcept;
  TPoint DisplayPosToPixel(const TDisplayCoord& D) const noexcept;
  // The columns and rows a clip rectangle touches, rows limited to RowCount.
  TOndPaintRange PaintRange(const TRect& Clip, int RowCount) const noexcept;
  // Columns and rows that fit a client area of the given size.
  void FitClient(int ClientWidth, int ClientHeight) noexcept;
  // The pixels Top..Bottom (Bottom excluded) of display rows FirstRow..LastRow,
  // given in either order, clipped to a client area ClientHeight high; a row
  // shown only in part counts. False when none of the rows shows.
  bool RowsSpan(int FirstRow, int LastRow, int ClientHeight, int& Top, int& Bottom) const noexcept;
  // LeftColumn and TopLine that bring a display position into view, scrolling
  // a column beyond the right edge so that it lands 24 columns in (never out
  // of view again when fewer columns fit); Centre puts a row brought into view
  // in the middle.
  void ScrollToShow(const TDisplayCoord& Caret, bool Centre, int& NewLeftColumn, int& NewTopLine) const noexcept;
};

// The part of one row a selection covers, in display columns [Start, End).
struct TOndRowSelection {
  bool Any = false;
  bool Whole = false;  // the whole painted width
  int Start = 0;
  int End = 0;
};

// The selection of display row Row, given the ordered display ends, the mode
// and the painted columns.
TOndRowSelection RowSelection(int Row, const TDisplayCoord& SelStart, const TDisplayCoord& SelEnd,
                              TOndSelectionMode Mode, int FirstColumn, int LastColumn) noexcept;

// Whether a line number as the gutter writes it (padded with blanks to the
// digit cells) leaves no blank cell before it; numbers with leading zeros
// fill their cells by design, every one of them alike.
bool GutterNumbersFillTheirCells(std::string_view NumberText, bool LeadingZeros) noexcept;

// What the gutter shows for a line with intensified numbers: its number (every
// tenth line and the caret line), a dash (divisible by five) or a dot.
enum class TOndIntensMark { Number, Dash, Dot };
TOndIntensMark IntensMark(int Line, bool CaretLine, std::string_view NumberText) noexcept;

// ---- scrolling

// The greatest top row: the last row may reach the top of the window when
// scrolling past the end of the text, else the last full window ends there.
int MaxTopLine(int RowCount, int LinesInWindow, bool ScrollPastEof) noexcept;
// TopLine clamped to 1..MaxTopLine.
int ClampTopLine(int Value, int RowCount, int LinesInWindow, bool ScrollPastEof) noexcept;

// What decides how far the view scrolls sideways and what the scroll bars
// show. WrapWidth is 0 without word wrap.
struct TOndScrollState {
  int RowCount = 0;
  int LongestLine = 0;
  int MaxScrollWidth = 1024;
  int WrapWidth = 0;
  int CharsInWindow = 0;
  int LinesInWindow = 0;
  int LeftColumn = 1;
  int TopLine = 1;
  bool ScrollPastEol = false;
  bool ScrollPastEof = false;
  bool AutoSizeMaxScrollWidth = false;
  bool HideShowScrollbars = false;
  bool DisableScrollArrows = false;
  bool WantHorizontal = true;  // the bar's style is selected
  bool WantVertical = true;
};

// The greatest left column (at least 1).
int MaxLeftColumn(const TOndScrollState& S) noexcept;
int ClampLeftColumn(int Value, const TOndScrollState& S) noexcept;

// One scroll bar as the editor wants it. Positions beyond 32767 are scaled to
// 0..32767. DisableNoScroll keeps a bar that has nothing to scroll on the
// screen, disabled. The arrows are [0] left or up, [1] right or down.
struct TOndScrollBarPlan {
  bool Show = false;
  int Min = 0;
  int Max = 0;
  int Page = 0;
  int Pos = 0;
  bool DisableNoScroll = true;
  bool ArrowEnabled[2] = {true, true};
  // The unscaled maximum the thumb position is scaled against.
  int Maximum = 0;
};

void PlanScrollBars(const TOndScrollState& S, TOndScrollBarPlan& Horizontal, TOndScrollBarPlan& Vertical) noexcept;

// The column a horizontal thumb position stands for, given the bar's maximum.
int HorzThumbToColumn(int Maximum, int Pos) noexcept;
// The top row a vertical thumb position stands for.
int VertThumbToRow(int RowCount, int LinesInWindow, int Pos) noexcept;

// The lines one wheel message scrolls: the accumulator keeps what is left of
// a notch (120 units) for the next message, so that a high-resolution wheel's
// small steps add up to the notches they make. Positive results scroll down.
struct TOndWheel {
  int Accumulator = 0;
  // The whole notches the message completes, positive away from the user.
  int Notches(int WheelDelta) noexcept;
  int LinesToScroll(int WheelDelta, bool Ctrl, bool HalfPage, int LinesInWindow) noexcept;
};

// How far auto-scroll moves while the pointer is beyond the text rectangle:
// in columns sideways and rows down (negative: left or up), 0 inside.
void AutoScrollDeltas(const TRect& TextRect, int X, int Y, int CharWidth, int LineHeight, int& DX,
                      int& DY) noexcept;

// One run of text painted with one set of colours and one style; Column is the
// display column of its first character.
struct TOndPaintRun {
  std::string Text;
  int Column = 1;
  TColor Foreground = clNone;
  TColor Background = clNone;
  TFontStyles Style = 0;
};

// Merges consecutive tokens that paint alike into runs.
class TOndTokenAccumulator {
 public:
  using TEmit = std::function<void(const TOndPaintRun& Run)>;

  // Row colours and what makes a whole row paint alike.
  TOndTokenAccumulator(TColor RowFG, TColor RowBG, bool SpecialRow, bool SpecialLineDefaultFg, bool RowSelected,
                       TEmit Emit);
  // A token whose colours are clNone or equal the row's defaults takes the
  // row colours.
  void Add(std::string_view Token, int Column, TColor FG, TColor BG, TFontStyles Style);
  // Paints the pending run.
  void Flush();
  bool Empty() const noexcept { return FRun.Text.empty(); }

 private:
  TOndPaintRun FRun;
  TColor FRowFG, FRowBG;
  bool FSpecialRow, FSpecialLineDefaultFg, FRowSelected;
  TEmit FEmit;
};

}  // namespace ond
