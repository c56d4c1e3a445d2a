// Word wrap: how many display rows each line takes and how long each row is,
// kept in step with the line buffer, and the mapping between buffer positions
// and display positions that the editor routes through it while wrapping.
#pragma once

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
  // A row outside 1..RowCount raises EListError.
  virtual std::int32_t RowLength(std::int32_t Row) const = 0;
  // The change notifications answer how many rows the layout gained (or, when
  // negative, lost). Indexes outside the laid-out lines are ignored.
  virtual std::int32_t LinesInserted(std::int32_t FirstLine, std::int32_t Count) = 0;
  virtual std::int32_t LinesDeleted(std::int32_t FirstLine, std::int32_t Count) = 0;
  virtual std::int32_t LinesChanged(std::int32_t FirstLine, std::int32_t Count) = 0;
  // Re-reads the wrap width and lays everything out again when it changed.
  virtual void DisplayChanged() = 0;
  // Re-reads the width and the break characters and lays out every line.
  virtual void Reset() = 0;
  // The wrap width in columns the rows were laid out for.
  virtual std::int32_t WrapWidth() const = 0;
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
  // Lays out every line at once.
  explicit TOndWordWrapPlugin(IOndWordWrapOwner* Owner);
  TOndWordWrapPlugin(const TOndWordWrapPlugin&) = delete;
  TOndWordWrapPlugin& operator=(const TOndWordWrapPlugin&) = delete;

  TDisplayCoord BufferPosToDisplayPos(const TBufferCoord& Pos) const override;
  TBufferCoord DisplayPosToBufferPos(const TDisplayCoord& Pos) const override;
  std::int32_t RowCount() const override { return FLineOffsets.empty() ? 0 : FLineOffsets.back(); }
  std::int32_t RowLength(std::int32_t Row) const override;
  std::int32_t LinesInserted(std::int32_t FirstLine, std::int32_t Count) override;
  std::int32_t LinesDeleted(std::int32_t FirstLine, std::int32_t Count) override;
  std::int32_t LinesChanged(std::int32_t FirstLine, std::int32_t Count) override;
  void DisplayChanged() override;
  void Reset() override;
  std::int32_t WrapWidth() const override { return FMaxRowLength; }

  // Per line, the number of rows up to and including it.
  const std::vector<std::int32_t>& LineOffsets() const noexcept { return FLineOffsets; }
  // Per row, its length in columns.
  const std::vector<std::uint8_t>& RowLengths() const noexcept { return FRowLengths; }
  std::int32_t LineCount() const noexcept { return static_cast<std::int32_t>(FLineOffsets.size()); }
  // The wrap width, 1..255, and the shortest row that may end at a break.
  std::int32_t MaxRowLength() const noexcept { return FMaxRowLength; }
  std::int32_t MinRowLength() const noexcept { return FMinRowLength; }

 private:
  static std::int32_t ClampWidth(std::int32_t Width) noexcept;
  // Appends the row lengths of one expanded line.
  void WrapLine(std::string_view Text, std::vector<std::uint8_t>& Rows) const;
  // Lays out buffer lines First .. First + NewCount - 1 in place of the
  // OldCount laid-out lines at First; the change in rows.
  std::int32_t Relayout(std::int32_t First, std::int32_t OldCount, std::int32_t NewCount);
  std::int32_t FirstRowOf(std::int32_t LineIndex) const noexcept {
    return LineIndex > 0 ? FLineOffsets[static_cast<std::size_t>(LineIndex - 1)] : 0;
  }

  std::vector<std::int32_t> FLineOffsets;
  std::vector<std::uint8_t> FRowLengths;
  IOndWordWrapOwner* FOwner;
  std::int32_t FMinRowLength = 1;
  std::int32_t FMaxRowLength = 1;
  TSysCharSet FBreakChars;
  std::string FExpanded;  // reused for lines with tabs
  std::vector<std::uint8_t> FNewRows;
  std::vector<std::int32_t> FNewOffsets;
};

}  // namespace ond
