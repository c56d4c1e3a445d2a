#include "editor/OndEditWordWrap.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/core/SysUtils.h"

namespace ond {

TOndWordWrapPlugin::TOndWordWrapPlugin(IOndWordWrapOwner* Owner) : FOwner(Owner) {
  if (Owner == nullptr) throw Exception("TOndWordWrapPlugin must be owned by TCustomOndEdit");
  Reset();
}

// Rows hold at most 255 columns; a width below 1 (a panel squeezed to
// nothing) still wraps at one column instead of emptying the tables.
std::int32_t TOndWordWrapPlugin::ClampWidth(std::int32_t Width) noexcept { return std::clamp(Width, 1, 255); }

void TOndWordWrapPlugin::Reset() {
  FMaxRowLength = ClampWidth(FOwner->WrapWidth());
  FMinRowLength = std::max(1, FMaxRowLength - FMaxRowLength / 3);
  const TSysCharSet ident = FOwner->WrapIdentChars();
  FBreakChars = TSysCharSet();
  for (int c = 0; c < 256; ++c)
    if (!ident.Contains(static_cast<char>(c))) FBreakChars.Include(static_cast<char>(c));
  FLineOffsets.clear();
  FRowLengths.clear();
  Relayout(0, 0, FOwner->WrapLines().GetCount());
}

void TOndWordWrapPlugin::DisplayChanged() {
  if (ClampWidth(FOwner->WrapWidth()) != FMaxRowLength) Reset();
}

void TOndWordWrapPlugin::WrapLine(std::string_view Text, std::vector<std::uint8_t>& Rows) const {
  const std::size_t n = Text.size();
  const std::size_t maxLen = static_cast<std::size_t>(FMaxRowLength);
  const std::size_t minLen = static_cast<std::size_t>(FMinRowLength);
  std::size_t start = 0;
  while (start + maxLen < n) {
    std::size_t end = start + maxLen;
    // The row ends before a break character in its last third; the break
    // character begins the next row. Without one the word is cut.
    for (std::size_t p = end; p > start + minLen; --p) {
      if (FBreakChars.Contains(Text[p])) {
        end = p;
        break;
      }
    }
    Rows.push_back(static_cast<std::uint8_t>(end - start));
    start = end;
  }
  Rows.push_back(static_cast<std::uint8_t>(n - start));
}

std::int32_t TOndWordWrapPlugin::Relayout(std::int32_t First, std::int32_t OldCount, std::int32_t NewCount) {
  TOndEditStringList& lines = FOwner->WrapLines();
  const std::int32_t rowStart = FirstRowOf(First);
  const std::int32_t oldRowEnd = FirstRowOf(First + OldCount);
  // Scratch tables kept between calls: a typed character costs no allocation.
  std::vector<std::uint8_t>& rows = FNewRows;
  std::vector<std::int32_t>& offsets = FNewOffsets;
  rows.clear();
  offsets.clear();
  std::int64_t total = rowStart;
  for (std::int32_t i = First; i < First + NewCount; ++i) {
    std::string_view text = lines.GetView(i);
    if (!text.empty() && std::memchr(text.data(), '\t', text.size()) != nullptr) {
      FExpanded = lines.GetExpandedText(i);
      text = FExpanded;
    }
    const std::size_t before = rows.size();
    WrapLine(text, rows);
    total += static_cast<std::int64_t>(rows.size() - before);
    if (total > INT32_MAX) throw EOutOfMemory("Too many display rows");
    offsets.push_back(static_cast<std::int32_t>(total));
  }
  const std::int32_t delta = static_cast<std::int32_t>(rows.size()) - (oldRowEnd - rowStart);
  // Rows: replace the old lines' rows by the new ones.
  const auto rowAt = FRowLengths.begin() + rowStart;
  const std::size_t common = std::min(rows.size(), static_cast<std::size_t>(oldRowEnd - rowStart));
  std::copy(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(common), rowAt);
  if (rows.size() > common)
    FRowLengths.insert(rowAt + static_cast<std::ptrdiff_t>(common), rows.begin() + static_cast<std::ptrdiff_t>(common),
                       rows.end());
  else
    FRowLengths.erase(rowAt + static_cast<std::ptrdiff_t>(common), FRowLengths.begin() + oldRowEnd);
  // Offsets: the same for the lines, then every following line moves.
  const auto lineAt = FLineOffsets.begin() + First;
  const std::size_t commonLines = static_cast<std::size_t>(std::min(OldCount, NewCount));
  std::copy(offsets.begin(), offsets.begin() + static_cast<std::ptrdiff_t>(commonLines), lineAt);
  if (NewCount > OldCount)
    FLineOffsets.insert(lineAt + static_cast<std::ptrdiff_t>(commonLines),
                        offsets.begin() + static_cast<std::ptrdiff_t>(commonLines), offsets.end());
  else
    FLineOffsets.erase(lineAt + static_cast<std::ptrdiff_t>(commonLines), lineAt + OldCount);
  if (delta != 0)
    for (auto it = FLineOffsets.begin() + First + NewCount; it != FLineOffsets.end(); ++it) *it += delta;
  // A layout of the whole text leaves no big scratch tables behind.
  if (rows.capacity() > 65536) {
    std::vector<std::uint8_t>().swap(FNewRows);
    std::vector<std::int32_t>().swap(FNewOffsets);
  }
  return delta;
}

std::int32_t TOndWordWrapPlugin::LinesInserted(std::int32_t FirstLine, std::int32_t Count) {
  const std::int32_t bufferCount = FOwner->WrapLines().GetCount();
  if (Count <= 0 || FirstLine < 0 || FirstLine > LineCount() || Count > bufferCount - FirstLine) return 0;
  return Relayout(FirstLine, 0, Count);
}

std::int32_t TOndWordWrapPlugin::LinesDeleted(std::int32_t FirstLine, std::int32_t Count) {
  if (Count <= 0 || FirstLine < 0 || FirstLine >= LineCount()) return 0;
  return Relayout(FirstLine, std::min(Count, LineCount() - FirstLine), 0);
}

std::int32_t TOndWordWrapPlugin::LinesChanged(std::int32_t FirstLine, std::int32_t Count) {
  const std::int32_t limit = std::min(LineCount(), FOwner->WrapLines().GetCount());
  if (Count <= 0 || FirstLine < 0 || FirstLine >= limit) return 0;
  const std::int32_t n = std::min(Count, limit - FirstLine);
  return Relayout(FirstLine, n, n);
}

std::int32_t TOndWordWrapPlugin::RowLength(std::int32_t Row) const {
  if (Row < 1 || Row > RowCount()) throw EListError("List index out of bounds (" + std::to_string(Row) + ")");
  return FRowLengths[static_cast<std::size_t>(Row - 1)];
}

TDisplayCoord TOndWordWrapPlugin::BufferPosToDisplayPos(const TBufferCoord& Pos) const {
  const std::int32_t chr = std::max(Pos.Char, 1);
  const std::int32_t line = std::max(Pos.Line, 1);
  if (line > LineCount()) {
    const std::int64_t row = static_cast<std::int64_t>(RowCount()) + (line - LineCount());
    return DisplayCoord(chr, static_cast<std::int32_t>(std::min<std::int64_t>(row, INT32_MAX)));
  }
  const std::int32_t first = FirstRowOf(line - 1);
  const std::int32_t last = FLineOffsets[static_cast<std::size_t>(line - 1)];
  std::int64_t sum = 0;
  for (std::int32_t r = first; r < last; ++r) {
    const std::int32_t len = FRowLengths[static_cast<std::size_t>(r)];
    sum += len;
    // A character at the very end of a row stays on that row.
    if (sum >= chr) return DisplayCoord(static_cast<std::int32_t>(len - (sum - chr)), r + 1);
  }
  const std::int32_t lastLen = FRowLengths[static_cast<std::size_t>(last - 1)];
  return DisplayCoord(static_cast<std::int32_t>(lastLen + (chr - sum)), last);
}

TBufferCoord TOndWordWrapPlugin::DisplayPosToBufferPos(const TDisplayCoord& Pos) const {
  const std::int32_t column = std::max(Pos.Column, 1);
  const std::int32_t row = std::max(Pos.Row, 1);
  if (row > RowCount()) {
    const std::int64_t line = static_cast<std::int64_t>(LineCount()) + (row - RowCount());
    return BufferCoord(column, static_cast<std::int32_t>(std::min<std::int64_t>(line, INT32_MAX)));
  }
  const auto it = std::lower_bound(FLineOffsets.begin(), FLineOffsets.end(), row);
  const auto lineIndex = static_cast<std::int32_t>(it - FLineOffsets.begin());
  const std::int32_t first = FirstRowOf(lineIndex);
  const bool lastRow = row == *it;
  const std::int32_t len = FRowLengths[static_cast<std::size_t>(row - 1)];
  const std::int32_t limited = std::min(column, (lastRow ? FMaxRowLength : len) + 1);
  std::int64_t before = 0;
  for (std::int32_t r = first; r < row - 1; ++r) before += FRowLengths[static_cast<std::size_t>(r)];
  return BufferCoord(static_cast<std::int32_t>(std::min<std::int64_t>(limited + before, INT32_MAX)), lineIndex + 1);
}

}  // namespace ond
