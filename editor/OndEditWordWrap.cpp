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
  for (int c = 0; c < 256; ++c) FBreakChars[static_cast<std::size_t>(c)] = !ident.Contains(static_cast<char>(c));
  FBreakBelow = 0;
  while (FBreakBelow < 128 && FBreakChars[FBreakBelow]) ++FBreakBelow;
  if (std::find(FBreakChars.begin() + FBreakBelow, FBreakChars.end(), true) != FBreakChars.end()) FBreakBelow = 0;
  FLineOffsets.clear();
  FRowLengths.clear();
  FPendingDelta = 0;
  FGapAt = FGapLen = 0;
  // Laid out when first asked: a load, the gutter growing with it and the
  // width settling cost one layout between them, and a panel that closes
  // right after a reset costs none.
  FStale = true;
}

void TOndWordWrapPlugin::LayOutNow() const {
  auto& self = const_cast<TOndWordWrapPlugin&>(*this);
  FStale = false;
  ++FLayouts;
  try {
    self.LayOutEveryLine();
  } catch (...) {
    FLineOffsets.clear();
    FRowLengths.clear();
    FGapAt = FGapLen = 0;
    FStale = true;
    throw;
  }
}

void TOndWordWrapPlugin::LayOutEveryLine() {
  // Straight into the tables, in one walk: no scratch tables to fill, copy
  // and free, which would leave a loaded file's worth of freed memory behind
  // in the heap. Nearly every line takes one row or a few.
  TOndEditStringList& lines = FOwner->WrapLines();
  const std::int32_t count = lines.GetCount();
  std::vector<std::int32_t>().swap(FLineOffsets);
  std::vector<std::uint8_t>().swap(FRowLengths);
  FPendingDelta = 0;
  FLineOffsets.reserve(static_cast<std::size_t>(count));
  FRowLengths.reserve(static_cast<std::size_t>(count) + static_cast<std::size_t>(count) / 8 + 4096);
  // Only the few lines longer than a row are read, each somewhere new in a
  // large text: where the break of the next such line is looked for is
  // fetched a few lines ahead.
  constexpr std::int32_t kAhead = 16;
  for (std::int32_t i = 0; i < count; ++i) {
    if (const std::string_view ahead = lines.GetView(i + kAhead); ahead.size() > static_cast<std::size_t>(FMaxRowLength))
      __builtin_prefetch(ahead.data() + FMaxRowLength);
    WrapLine(ExpandedLine(lines, i), FRowLengths);
    if (FRowLengths.size() > static_cast<std::size_t>(INT32_MAX)) throw EOutOfMemory("Too many display rows");
    FLineOffsets.push_back(static_cast<std::int32_t>(FRowLengths.size()));
  }
  FGapAt = FRowLengths.size();
  FGapLen = 0;
}

void TOndWordWrapPlugin::DisplayChanged() {
  if (ClampWidth(FOwner->WrapWidth()) != FMaxRowLength) Reset();
}

// Inline: a typed key lays out its line's rows through here, a few each.
inline std::size_t TOndWordWrapPlugin::RowEnd(std::string_view Text, std::size_t Start) const noexcept {
  const std::size_t end = Start + static_cast<std::size_t>(FMaxRowLength);
  if (end >= Text.size()) return Text.size();
  // The row ends before a break character in its last third; the break
  // character begins the next row. Without one the word is cut.
  const std::size_t stop = Start + static_cast<std::size_t>(FMinRowLength);
  std::size_t p = end;
  if (FBreakBelow > 0) {
    // Whole words of eight bytes none of which is below the limit are
    // skipped (a byte below it sets its top bit in the test).
    const std::uint64_t ones = 0x0101010101010101ULL, tops = 0x8080808080808080ULL;
    while (p >= stop + 8) {
      std::uint64_t x;
      std::memcpy(&x, Text.data() + p - 7, sizeof x);
      if (((x - ones * FBreakBelow) & ~x & tops) != 0) break;
      p -= 8;
    }
    // Fewer than eight columns left: one more word ending at p covers them
    // (and some before the shortest row, which cannot end it anyway).
    if (p > stop && p - stop < 8 && p >= 7) {
      std::uint64_t x;
      std::memcpy(&x, Text.data() + p - 7, sizeof x);
      if (((x - ones * FBreakBelow) & ~x & tops) == 0) return end;
    }
  }
  for (; p > stop; --p)
    if (FBreakChars[static_cast<unsigned char>(Text[p])]) return p;
  return end;
}

void TOndWordWrapPlugin::WrapLine(std::string_view Text, std::vector<std::uint8_t>& Rows) const {
  std::size_t start = 0;
  do {
    const std::size_t end = RowEnd(Text, start);
    Rows.push_back(static_cast<std::uint8_t>(end - start));
    start = end;
  } while (start < Text.size());
}

inline std::string_view TOndWordWrapPlugin::ExpandedLine(TOndEditStringList& Lines, std::int32_t Index) {
  // The buffer remembers whether a line holds tabs (once looked for, until
  // the line changes): nearly every line is read as it is, not searched.
  if (!Lines.LineHasTabs(Index)) return Lines.GetView(Index);
  FExpanded = Lines.GetExpandedText(Index);
  return FExpanded;
}

void TOndWordWrapPlugin::MoveGap(std::size_t To) const noexcept {
  std::uint8_t* const rows = FRowLengths.data();
  if (To < FGapAt)
    std::memmove(rows + To + FGapLen, rows + To, FGapAt - To);
  else if (To > FGapAt)
    std::memmove(rows + FGapAt, rows + FGapAt + FGapLen, To - FGapAt);
  FGapAt = To;
}

void TOndWordWrapPlugin::ApplyPending() const noexcept {
  if (FPendingDelta == 0) return;
  for (std::size_t i = FPendingFrom; i < FLineOffsets.size(); ++i) FLineOffsets[i] += FPendingDelta;
  FPendingDelta = 0;
}

void TOndWordWrapPlugin::Settle() const {
  LayOutAll();
  ApplyPending();
  FRowLengths.erase(FRowLengths.begin() + static_cast<std::ptrdiff_t>(FGapAt),
                    FRowLengths.begin() + static_cast<std::ptrdiff_t>(FGapAt + FGapLen));
  FGapAt = FRowLengths.size();
  FGapLen = 0;
}

void TOndWordWrapPlugin::ReplaceRows(std::size_t At, std::size_t Count, const std::vector<std::uint8_t>& Rows) {
  MoveGap(At + Count);
  FGapAt = At;
  FGapLen += Count;
  if (FGapLen < Rows.size()) {
    // Room for this change and for many more to come, in proportion to the
    // text so that growing costs little over a long session.
    const std::size_t grow = Rows.size() - FGapLen + std::max<std::size_t>(4096, FRowLengths.size() / 16);
    FRowLengths.insert(FRowLengths.begin() + static_cast<std::ptrdiff_t>(FGapAt), grow, 0);
    FGapLen += grow;
  }
  std::copy(Rows.begin(), Rows.end(), FRowLengths.begin() + static_cast<std::ptrdiff_t>(FGapAt));
  FGapAt += Rows.size();
  FGapLen -= Rows.size();
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
    const std::size_t before = rows.size();
    WrapLine(ExpandedLine(lines, i), rows);
    total += static_cast<std::int64_t>(rows.size() - before);
    if (total > INT32_MAX) throw EOutOfMemory("Too many display rows");
    offsets.push_back(static_cast<std::int32_t>(total));
  }
  const std::int32_t delta = static_cast<std::int32_t>(rows.size()) - (oldRowEnd - rowStart);
  ReplaceRows(static_cast<std::size_t>(rowStart), static_cast<std::size_t>(oldRowEnd - rowStart), rows);
  const auto from = static_cast<std::size_t>(First + NewCount);
  if (OldCount == NewCount && !(delta != 0 && FPendingDelta != 0 && FPendingFrom != from)) {
    // The same lines: their offsets are written, the shift of the lines
    // after them joins the pending one.
    for (std::int32_t i = 0; i < NewCount; ++i) {
      const auto line = static_cast<std::size_t>(First + i);
      FLineOffsets[line] = offsets[static_cast<std::size_t>(i)] - (line >= FPendingFrom ? FPendingDelta : 0);
    }
    if (delta != 0) {
      if (FPendingDelta == 0) FPendingFrom = from;
      FPendingDelta += delta;
    }
  } else {
    // The lines after the change move to their new places and take the
    // change in rows on the way, in one pass; a pending shift that begins
    // among them is added after.
    const auto tailFrom = static_cast<std::size_t>(First + OldCount);
    if (FPendingDelta != 0 && FPendingFrom < tailFrom) ApplyPending();
    const std::int32_t pending = FPendingDelta;
    FPendingDelta = 0;
    const std::size_t oldSize = FLineOffsets.size();
    if (NewCount > OldCount) {
      const auto grow = static_cast<std::size_t>(NewCount - OldCount);
      FLineOffsets.resize(oldSize + grow);
      std::int32_t* const offset = FLineOffsets.data();
      for (std::size_t i = oldSize; i-- > tailFrom;) offset[i + grow] = offset[i] + delta;
    } else {
      const auto shrink = static_cast<std::size_t>(OldCount - NewCount);
      std::int32_t* const offset = FLineOffsets.data();
      for (std::size_t i = tailFrom; i < oldSize; ++i) offset[i - shrink] = offset[i] + delta;
      FLineOffsets.resize(oldSize - shrink);
    }
    std::copy(offsets.begin(), offsets.end(), FLineOffsets.begin() + First);
    if (pending != 0)
      for (std::size_t i = FPendingFrom + static_cast<std::size_t>(NewCount) - static_cast<std::size_t>(OldCount);
           i < FLineOffsets.size(); ++i)
        FLineOffsets[i] += pending;
  }
  // A layout of the whole text leaves no big scratch tables behind.
  if (rows.capacity() > 65536) {
    std::vector<std::uint8_t>().swap(FNewRows);
    std::vector<std::int32_t>().swap(FNewOffsets);
  }
  return delta;
}

// While the layout waits to be made, the changes need no following: it is
// made from the buffer as it is then.

std::int32_t TOndWordWrapPlugin::LinesInserted(std::int32_t FirstLine, std::int32_t Count) {
  if (FStale) return 0;
  const std::int32_t bufferCount = FOwner->WrapLines().GetCount();
  if (Count <= 0 || FirstLine < 0 || FirstLine > LineCount() || Count > bufferCount - FirstLine) return 0;
  return Relayout(FirstLine, 0, Count);
}

std::int32_t TOndWordWrapPlugin::LinesDeleted(std::int32_t FirstLine, std::int32_t Count) {
  if (FStale) return 0;
  if (Count <= 0 || FirstLine < 0 || FirstLine >= LineCount()) return 0;
  return Relayout(FirstLine, std::min(Count, LineCount() - FirstLine), 0);
}

std::int32_t TOndWordWrapPlugin::LinesChanged(std::int32_t FirstLine, std::int32_t Count) {
  if (FStale) return 0;
  TOndEditStringList& lines = FOwner->WrapLines();
  const std::int32_t limit = std::min(static_cast<std::int32_t>(FLineOffsets.size()), lines.GetCount());
  if (Count <= 0 || FirstLine < 0 || FirstLine >= limit) return 0;
  const std::int32_t n = std::min(Count, limit - FirstLine);
  if (n == 1) {
    // A typed key changes one line, mostly without changing its row count:
    // its rows are overwritten in place and no other line moves. When the
    // count differs, the relayout below writes all of the line's rows anew.
    // A line's rows lie all before the gap or all after it.
    const std::string_view text = ExpandedLine(lines, FirstLine);
    const auto first = static_cast<std::size_t>(FirstRowOf(FirstLine));
    const auto count = static_cast<std::size_t>(Offset(static_cast<std::size_t>(FirstLine))) - first;
    std::uint8_t* row = FRowLengths.data() + RowSlot(first);
    std::uint8_t* const rowsEnd = row + count;
    std::size_t start = 0;
    do {
      const std::size_t end = RowEnd(text, start);
      if (row == rowsEnd) break;
      *row++ = static_cast<std::uint8_t>(end - start);
      start = end;
    } while (start < text.size());
    if (row == rowsEnd && start >= text.size()) return 0;
  }
  return Relayout(FirstLine, n, n);
}

std::int32_t TOndWordWrapPlugin::RowLength(std::int32_t Row) const {
  if (Row < 1 || Row > RowCount()) throw EListError("List index out of bounds (" + std::to_string(Row) + ")");
  return FRowLengths[RowSlot(static_cast<std::size_t>(Row - 1))];
}

TDisplayCoord TOndWordWrapPlugin::BufferPosToDisplayPos(const TBufferCoord& Pos) const {
  LayOutAll();
  const std::int32_t chr = std::max(Pos.Char, 1);
  const std::int32_t line = std::max(Pos.Line, 1);
  if (line > LineCount()) {
    const std::int64_t row = static_cast<std::int64_t>(RowCount()) + (line - LineCount());
    return DisplayCoord(chr, static_cast<std::int32_t>(std::min<std::int64_t>(row, INT32_MAX)));
  }
  const std::int32_t first = FirstRowOf(line - 1);
  const std::int32_t last = Offset(static_cast<std::size_t>(line - 1));
  std::int64_t sum = 0;
  for (std::int32_t r = first; r < last; ++r) {
    const std::int32_t len = FRowLengths[RowSlot(static_cast<std::size_t>(r))];
    sum += len;
    // A character at the very end of a row stays on that row.
    if (sum >= chr) return DisplayCoord(static_cast<std::int32_t>(len - (sum - chr)), r + 1);
  }
  const std::int32_t lastLen = FRowLengths[RowSlot(static_cast<std::size_t>(last - 1))];
  return DisplayCoord(static_cast<std::int32_t>(lastLen + (chr - sum)), last);
}

TBufferCoord TOndWordWrapPlugin::DisplayPosToBufferPos(const TDisplayCoord& Pos) const {
  LayOutAll();
  const std::int32_t column = std::max(Pos.Column, 1);
  const std::int32_t row = std::max(Pos.Row, 1);
  if (row > RowCount()) {
    const std::int64_t line = static_cast<std::int64_t>(LineCount()) + (row - RowCount());
    return BufferCoord(column, static_cast<std::int32_t>(std::min<std::int64_t>(line, INT32_MAX)));
  }
  // The first line whose offset reaches the row.
  std::size_t lo = 0, hi = FLineOffsets.size();
  while (lo < hi) {
    const std::size_t mid = lo + (hi - lo) / 2;
    if (Offset(mid) < row)
      lo = mid + 1;
    else
      hi = mid;
  }
  const auto lineIndex = static_cast<std::int32_t>(lo);
  const std::int32_t first = FirstRowOf(lineIndex);
  const bool lastRow = row == Offset(lo);
  const std::int32_t len = FRowLengths[RowSlot(static_cast<std::size_t>(row - 1))];
  const std::int32_t limited = std::min(column, (lastRow ? FMaxRowLength : len) + 1);
  std::int64_t before = 0;
  for (std::int32_t r = first; r < row - 1; ++r) before += FRowLengths[RowSlot(static_cast<std::size_t>(r))];
  return BufferCoord(static_cast<std::int32_t>(std::min<std::int64_t>(limited + before, INT32_MAX)), lineIndex + 1);
}

}  // namespace ond
