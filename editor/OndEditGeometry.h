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
#include "platform/Graphics.h"

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

// What the gutter shows for a line with intensified numbers: its number (every
// tenth line and the caret line), a dash (divisible by five) or a dot.
enum class TOndIntensMark { Number, Dash, Dot };
TOndIntensMark IntensMark(int Line, bool CaretLine, std::string_view NumberText) noexcept;

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
