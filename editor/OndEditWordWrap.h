// Word wrap: how many display rows each line takes and how long each row is,
// kept in step with the line buffer, and the mapping between buffer positions
// and display positions that the editor routes through it while wrapping.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "editor/OndEditTextBuffer.h"
#include "editor/OndEditTypes.h"

namespace ond {

// The layout of lines into display rows. Positions are display columns of the
// tab-expanded text; rows and lines are 1-based, line indexes of the change
// notifications 0-based as the line buffer reports them.
class IOndRowLayout {
 public:
  virtual ~IOndRowLayout() = default;
  virtual TDisplayCoord BufferPosToDisplayPos(const TBufferCoord& Pos) const = 0;
  virtual TBufferCoord DisplayPosToBufferPos(const TDisplayCoord& Pos) const = 0;
  virtual std::int32_t RowCount() const = 0;
  // RowCount, but while the layout waits to be made the rows may be counted
  // without making it.
  virtual std::int32_t RowCountWithoutLayout() const { return RowCount(); }
  // A row outside 1..RowCount raises EListError.
  virtual std::int32_t RowLength(std::int32_t Row) const = 0;
  // The change notifications answer how many rows the layout gained (or, when
  // negative, lost). Indexes outside the laid-out lines are ignored, and so
  // is everything while the layout waits to be made.
  virtual std::int32_t LinesInserted(std::int32_t FirstLine, std::int32_t Count) = 0;
  virtual std::int32_t LinesDeleted(std::int32_t FirstLine, std::int32_t Count) = 0;
  virtual std::int32_t LinesChanged(std::int32_t FirstLine, std::int32_t Count) = 0;
  // Re-reads the wrap width and lays everything out again when it changed.
  virtual void DisplayChanged() = 0;
  // Re-reads the width and the break characters; every line is laid out
  // again (when next needed).
  virtual void Reset() = 0;
  // The wrap width in columns the rows were laid out for.
  virtual std::int32_t WrapWidth() const = 0;
  // False while the layout waits to be made (after a reset): every row may
  // have moved, and asking where one is makes the layout.
  virtual bool LaidOut() const = 0;
  // The first row (1-based) of line LineIndex (0-based) that a change of its
  // text from column Column (0-based, of the tab-expanded text) on can
  // change, when the line keeps its row count: the rows before it end where
  // they ended, at breaks chosen from the unchanged columns alone, and show
  // the same text. 0 for a line outside the layout.
  virtual std::int32_t FirstRowReaching(std::int32_t LineIndex, std::int32_t Column) const = 0;
};

// What the word-wrap plug-in reads from the editor that owns it.
class IOndWordWrapOwner {
 public:
  virtual ~IOndWordWrapOwner() = default;
  // The line buffer; the plug-in reads its tab-expanded text.
  virtual TOndEditStringList& WrapLines() = 0;
  // The wrap width in columns for the word-wrap style: the character columns
  // of the text area, the right edge's position or the specified width.
  virtual std::int32_t WrapWidth() = 0;
  // The highlighter's identifier characters (without a highlighter 33..255):
  // a row never breaks before one of them except inside an over-long word.
  virtual TSysCharSet WrapIdentChars() = 0;
};

class TOndWordWrapPlugin : public IOndRowLayout {
 public:
  // The lines are laid out when first needed.
  explicit TOndWordWrapPlugin(IOndWordWrapOwner* Owner);
  TOndWordWrapPlugin(const TOndWordWrapPlugin&) = delete;
  TOndWordWrapPlugin& operator=(const TOndWordWrapPlugin&) = delete;

  TDisplayCoord BufferPosToDisplayPos(const TBufferCoord& Pos) const override;
  TBufferCoord DisplayPosToBufferPos(const TDisplayCoord& Pos) const override;
  std::int32_t RowCount() const override {
    LayOutAll();
    const std::size_t lines = FLineOffsets.size() - FLineGapLen;
    return lines == 0 ? 0 : Offset(lines - 1);
  }
  std::int32_t RowLength(std::int32_t Row) const override;
  // Counted once after a reset; asked again after a change, the layout is
  // made. An editor out of view settles its scroll range with it and lays
  // nothing out until its rows are needed.
  std::int32_t RowCountWithoutLayout() const override {
    if (FStale && (FCountedRowCount >= 0 || !FCounted)) return CountedRows();
    return RowCount();
  }
  std::int32_t LinesInserted(std::int32_t FirstLine, std::int32_t Count) override;
  std::int32_t LinesDeleted(std::int32_t FirstLine, std::int32_t Count) override;
  std::int32_t LinesChanged(std::int32_t FirstLine, std::int32_t Count) override;
  void DisplayChanged() override;
  void Reset() override;
  std::int32_t WrapWidth() const override { return FMaxRowLength; }
  bool LaidOut() const override { return !FStale; }

  // Per line, the number of rows up to and including it.
  const std::vector<std::int32_t>& LineOffsets() const {
    Settle();
    return FLineOffsets;
  }
  // Per row, its length in columns.
  const std::vector<std::uint8_t>& RowLengths() const {
    Settle();
    return FRowLengths;
  }
  std::int32_t LineCount() const {
    LayOutAll();
    return static_cast<std::int32_t>(FLineOffsets.size() - FLineGapLen);
  }
  // The wrap width, 1..255, and the shortest row that may end at a break.
  std::int32_t MaxRowLength() const noexcept { return FMaxRowLength; }
  std::int32_t MinRowLength() const noexcept { return FMinRowLength; }
  std::int32_t FirstRowReaching(std::int32_t LineIndex, std::int32_t Column) const override;
  // How many times every line was laid out since the plug-in was made.
  std::int32_t Layouts() const noexcept { return FLayouts; }
  // How many lines were wrapped, and how many line offsets were moved or
  // rewritten to follow a change, since the plug-in was made: an edit should
  // cost the rows of the lines it changed, whatever the size of the text.
  std::int64_t LinesWrapped() const noexcept { return FLinesWrapped; }
  std::int64_t OffsetsMoved() const noexcept { return FOffsetsMoved; }

 private:
  static std::int32_t ClampWidth(std::int32_t Width) noexcept;
  // The text of line Index with its tabs expanded (held in FExpanded when it
  // has tabs).
  std::string_view ExpandedLine(TOndEditStringList& Lines, std::int32_t Index) const;
  // Where the row of an expanded line that starts at Start ends.
  std::size_t RowEnd(std::string_view Text, std::size_t Start) const noexcept;
  // Appends the row lengths of one expanded line.
  void WrapLine(std::string_view Text, std::vector<std::uint8_t>& Rows) const;
  // The rows the first Count lines of the buffer take, without a layout.
  std::int64_t RowsOfLines(std::int32_t Count) const;
  // The rows of the whole buffer, counted without a layout and kept until a
  // change or a reset.
  std::int32_t CountedRows() const;
  // Drops the count kept for a layout still to be made.
  void ForgetCount() noexcept { FCountedRowCount = -1; }
  // Writes the lengths of the rows of an expanded line from column Start on
  // into FNewRows from entry At on, which it makes room for; the entry after
  // the last row.
  std::size_t WrapInto(std::string_view Text, std::size_t Start, std::size_t At);
  // Wraps buffer lines First .. First + Count - 1 into the first
  // FNewRowCount entries of FNewRows, and the rows up to and including each
  // of them (counted from the first) into FNewOffsets.
  void WrapLines(std::int32_t First, std::int32_t Count);
  // Puts the lines just wrapped in place of the OldCount laid-out lines at
  // First; the change in rows.
  std::int32_t Replace(std::int32_t First, std::int32_t OldCount);
  // The rows of lines .. LineIndex - 1.
  std::int32_t FirstRowOf(std::int32_t LineIndex) const noexcept {
    return LineIndex > 0 ? Offset(static_cast<std::size_t>(LineIndex - 1)) : 0;
  }
  // The rows up to and including line Line (0-based).
  std::int32_t Offset(std::size_t Line) const noexcept {
    return Line < FLineGapAt ? FLineOffsets[Line] : FLineOffsets[Line + FLineGapLen] + FTailDelta;
  }
  // Where row Row (0-based) is stored, past the gap.
  std::size_t RowSlot(std::size_t Row) const noexcept { return Row < FGapAt ? Row : Row + FGapLen; }
  // Puts the NewCount rows at Rows in place of the Count rows from row At.
  void ReplaceRows(std::size_t At, std::size_t Count, const std::uint8_t* Rows, std::size_t NewCount);
  void MoveGap(std::size_t To) const noexcept;
  // Moves the gap of the offsets before line To; the lines it passes take
  // or give back the shift of the lines after it.
  void MoveLineGap(std::size_t To) const noexcept;
  // Lays out every line when a reset left the layout to be made.
  void LayOutAll() const {
    if (FStale) LayOutNow();
  }
  void LayOutNow() const;
  void LayOutEveryLine();
  // Closes both gaps, so that the tables read plainly.
  void Settle() const;

  // Typing changes one line again and again, and a line break adds or takes
  // one. Both tables have a gap after the last line laid out, where entries
  // are taken out and put in without moving the rest: the row lengths, and
  // the offsets, where the lines after the gap are FTailDelta short (so a
  // change in rows costs no pass over them). A gap moves only when an edit
  // is made somewhere else, by the lines between.
  mutable std::vector<std::int32_t> FLineOffsets;
  mutable std::vector<std::uint8_t> FRowLengths;
  mutable std::size_t FLineGapAt = 0, FLineGapLen = 0;
  mutable std::int32_t FTailDelta = 0;
  mutable std::size_t FGapAt = 0, FGapLen = 0;
  mutable bool FStale = true;
  // While stale: the rows counted (-1 when not known), and whether they were
  // counted since the last reset.
  mutable std::int32_t FCountedRowCount = -1;
  mutable bool FCounted = false;
  mutable std::int32_t FLayouts = 0;
  mutable std::int64_t FLinesWrapped = 0;
  mutable std::int64_t FOffsetsMoved = 0;
  IOndWordWrapOwner* FOwner;
  std::int32_t FMinRowLength = 1;
  std::int32_t FMaxRowLength = 1;
  // Per byte, whether a row may end before it: a plain table, read for
  // every column searched on every keystroke.
  std::array<bool, 256> FBreakChars{};
  // When the break characters are exactly the bytes below some value (the
  // blanks and control characters, as without a highlighter), that value:
  // over-long words are then searched eight bytes at a time. Else 0.
  unsigned FBreakBelow = 0;
  // FBreakBelow - 1 in each of sixteen bytes, compared with sixteen columns
  // at a time.
  alignas(16) std::array<std::uint8_t, 16> FBreakLimit{};
  mutable std::string FExpanded;  // reused for lines with tabs
  // The break characters were read from these identifier characters.
  TSysCharSet FIdentChars;
  bool FIdentRead = false;
  // Rows of one line looked up while the layout waits to be made.
  mutable std::vector<std::uint8_t> FLineRows;
  // Scratch rows of the lines being laid out again; only the first
  // FNewRowCount entries are meant (the table only grows, so that filling
  // it costs no check per row).
  std::vector<std::uint8_t> FNewRows;
  std::size_t FNewRowCount = 0;
  std::vector<std::int32_t> FNewOffsets;
};

}  // namespace ond
