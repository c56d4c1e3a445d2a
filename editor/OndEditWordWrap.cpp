#include "editor/OndEditWordWrap.h"

#include <algorithm>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
  // An editor resets its layout many times while it is made and loaded,
  // nearly always with the same identifier characters.
  const TSysCharSet ident = FOwner->WrapIdentChars();
  if (!FIdentRead || !(ident == FIdentChars)) {
    FIdentChars = ident;
    FIdentRead = true;
    for (int c = 0; c < 256; ++c) FBreakChars[static_cast<std::size_t>(c)] = !ident.Contains(static_cast<char>(c));
    FBreakBelow = 0;
    while (FBreakBelow < 128 && FBreakChars[FBreakBelow]) ++FBreakBelow;
    if (std::find(FBreakChars.begin() + FBreakBelow, FBreakChars.end(), true) != FBreakChars.end()) FBreakBelow = 0;
    FBreakLimit.fill(static_cast<std::uint8_t>(FBreakBelow > 0 ? FBreakBelow - 1 : 0));
  }
  FLineOffsets.clear();
  FRowLengths.clear();
  FLineGapAt = FLineGapLen = 0;
  FTailDelta = 0;
  FGapAt = FGapLen = 0;
  // Laid out when first asked: a load, the gutter growing with it and the
  // width settling cost one layout between them, and a panel that closes
  // right after a reset costs none.
  FStale = true;
  FCountedRowCount = -1;
  FCounted = false;
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
    FLineGapAt = FLineGapLen = 0;
    FTailDelta = 0;
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
  FLineGapAt = FLineGapLen = 0;
  FTailDelta = 0;
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
  FLinesWrapped += count;
  FLineGapAt = FLineOffsets.size();
  FGapAt = FRowLengths.size();
  FGapLen = 0;
}

std::int64_t TOndWordWrapPlugin::RowsOfLines(std::int32_t Count) const {
  TOndEditStringList& lines = FOwner->WrapLines();
  const auto max = static_cast<std::size_t>(FMaxRowLength);
  std::int64_t rows = 0;
  for (std::int32_t i = 0; i < Count; ++i) {
    // A line that fits takes one row; only longer ones are wrapped.
    if (!lines.LineHasTabs(i) && lines.GetView(i).size() <= max) {
      ++rows;
      continue;
    }
    const std::string_view text = ExpandedLine(lines, i);
    std::size_t start = 0;
    do {
      start = RowEnd(text, start);
      ++rows;
    } while (start < text.size());
  }
  return rows;
}

std::int32_t TOndWordWrapPlugin::CountedRows() const {
  if (FCountedRowCount < 0) {
    const std::int64_t rows = RowsOfLines(FOwner->WrapLines().GetCount());
    if (rows > INT32_MAX) throw EOutOfMemory("Too many display rows");
    FCountedRowCount = static_cast<std::int32_t>(rows);
    FCounted = true;
  }
  return FCountedRowCount;
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
#if defined(__SSE2__)
    // Sixteen bytes at a time from the row's end back: the highest byte
    // below the limit in a block is the break, unless it lies before the
    // shortest row, when there is none.
    const __m128i limit = _mm_load_si128(reinterpret_cast<const __m128i*>(FBreakLimit.data()));
    while (p > stop && p >= 15) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Text.data() + p - 15));
      const auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(x, limit), x)));
      if (hits != 0) {
        const std::size_t at = p - 15 + static_cast<std::size_t>(31 - __builtin_clz(hits));
        return at > stop ? at : end;
      }
      if (p - 15 <= stop + 1) return end;  // the block held every column left
      p -= 16;
    }
#else
    // Whole words of eight bytes none of which is below the limit are
    // skipped (a byte below it sets its top bit in the test).
    const std::uint64_t below = 0x0101010101010101ULL * FBreakBelow, tops = 0x8080808080808080ULL;
    while (p >= stop + 8) {
      std::uint64_t x;
      std::memcpy(&x, Text.data() + p - 7, sizeof x);
      if (((x - below) & ~x & tops) != 0) break;
      p -= 8;
    }
    // Fewer than eight columns left: one more word ending at p covers them
    // (and some before the shortest row, which cannot end it anyway).
    if (p > stop && p - stop < 8 && p >= 7) {
      std::uint64_t x;
      std::memcpy(&x, Text.data() + p - 7, sizeof x);
      if (((x - below) & ~x & tops) == 0) return end;
    }
#endif
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

std::size_t TOndWordWrapPlugin::WrapInto(std::string_view Text, std::size_t Start, std::size_t At) {
  // Every row but the last is at least the shortest row long (and at least
  // one column: a line of ordinary length needs no division to know).
  const std::size_t left = Text.size() - Start;
  if (FNewRows.size() < At + left + 1) {
    const std::size_t most = At + left / static_cast<std::size_t>(FMinRowLength) + 1;
    if (FNewRows.size() < most) FNewRows.resize(std::max({most, 2 * FNewRows.size(), std::size_t{1024}}));
  }
  std::uint8_t* const rows = FNewRows.data();
  do {
    const std::size_t end = RowEnd(Text, Start);
    rows[At++] = static_cast<std::uint8_t>(end - Start);
    Start = end;
  } while (Start < Text.size());
  return At;
}

inline std::string_view TOndWordWrapPlugin::ExpandedLine(TOndEditStringList& Lines, std::int32_t Index) const {
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

void TOndWordWrapPlugin::MoveLineGap(std::size_t To) const noexcept {
  if (To == FLineGapAt) return;
  std::int32_t* const offset = FLineOffsets.data();
  const std::size_t gap = FLineGapLen;
  const std::int32_t shift = FTailDelta;
  if (To < FLineGapAt) {
    for (std::size_t i = FLineGapAt; i-- > To;) offset[i + gap] = offset[i] - shift;
    FOffsetsMoved += static_cast<std::int64_t>(FLineGapAt - To);
  } else {
    for (std::size_t i = FLineGapAt; i < To; ++i) offset[i] = offset[i + gap] + shift;
    FOffsetsMoved += static_cast<std::int64_t>(To - FLineGapAt);
  }
  FLineGapAt = To;
  // With no line after the gap there is no shift to keep.
  if (FLineGapAt + FLineGapLen == FLineOffsets.size()) FTailDelta = 0;
}

void TOndWordWrapPlugin::Settle() const {
  LayOutAll();
  MoveLineGap(FLineOffsets.size() - FLineGapLen);
  FLineOffsets.resize(FLineGapAt);
  FLineGapLen = 0;
  FRowLengths.erase(FRowLengths.begin() + static_cast<std::ptrdiff_t>(FGapAt),
                    FRowLengths.begin() + static_cast<std::ptrdiff_t>(FGapAt + FGapLen));
  FGapAt = FRowLengths.size();
  FGapLen = 0;
}

void TOndWordWrapPlugin::ReplaceRows(std::size_t At, std::size_t Count, const std::uint8_t* Rows,
                                     std::size_t NewCount) {
  MoveGap(At + Count);
  FGapAt = At;
  FGapLen += Count;
  if (FGapLen < NewCount) {
    // Room for this change and for many more to come, in proportion to the
    // text so that growing costs little over a long session.
    const std::size_t grow = NewCount - FGapLen + std::max<std::size_t>(4096, FRowLengths.size() / 16);
    FRowLengths.insert(FRowLengths.begin() + static_cast<std::ptrdiff_t>(FGapAt), grow, 0);
    FGapLen += grow;
  }
  if (NewCount > 0) std::memcpy(FRowLengths.data() + FGapAt, Rows, NewCount);
  FGapAt += NewCount;
  FGapLen -= NewCount;
}

void TOndWordWrapPlugin::WrapLines(std::int32_t First, std::int32_t Count) {
  TOndEditStringList& lines = FOwner->WrapLines();
  // Scratch tables kept between calls: a typed character costs no allocation.
  FNewRowCount = 0;
  FNewOffsets.clear();
  for (std::int32_t i = First; i < First + Count; ++i) {
    FNewRowCount = WrapInto(ExpandedLine(lines, i), 0, FNewRowCount);
    if (FNewRowCount > static_cast<std::size_t>(INT32_MAX)) throw EOutOfMemory("Too many display rows");
    FNewOffsets.push_back(static_cast<std::int32_t>(FNewRowCount));
  }
  FLinesWrapped += Count;
}

std::int32_t TOndWordWrapPlugin::Replace(std::int32_t First, std::int32_t OldCount) {
  const auto newCount = static_cast<std::int32_t>(FNewOffsets.size());
  const std::int32_t rowStart = FirstRowOf(First);
  const std::int32_t oldRowEnd = FirstRowOf(First + OldCount);
  const std::int64_t delta = static_cast<std::int64_t>(FNewRowCount) - (oldRowEnd - rowStart);
  if (static_cast<std::int64_t>(RowCount()) + delta > INT32_MAX) throw EOutOfMemory("Too many display rows");
  ReplaceRows(static_cast<std::size_t>(rowStart), static_cast<std::size_t>(oldRowEnd - rowStart), FNewRows.data(),
              FNewRowCount);
  // The old lines leave through the gap and the new ones come in before it;
  // the lines after it move by the change in rows without being touched.
  MoveLineGap(static_cast<std::size_t>(First + OldCount));
  FLineGapAt = static_cast<std::size_t>(First);
  FLineGapLen += static_cast<std::size_t>(OldCount);
  if (FLineGapLen < static_cast<std::size_t>(newCount)) {
    const std::size_t grow =
        static_cast<std::size_t>(newCount) - FLineGapLen + std::max<std::size_t>(1024, FLineOffsets.size() / 16);
    FLineOffsets.insert(FLineOffsets.begin() + static_cast<std::ptrdiff_t>(FLineGapAt), grow, 0);
    FLineGapLen += grow;
    FOffsetsMoved += static_cast<std::int64_t>(FLineOffsets.size() - FLineGapAt - FLineGapLen);
  }
  std::int32_t* const offset = FLineOffsets.data() + FLineGapAt;
  for (std::int32_t i = 0; i < newCount; ++i) offset[i] = rowStart + FNewOffsets[static_cast<std::size_t>(i)];
  FOffsetsMoved += newCount;
  FLineGapAt += static_cast<std::size_t>(newCount);
  FLineGapLen -= static_cast<std::size_t>(newCount);
  if (FLineGapAt + FLineGapLen == FLineOffsets.size())
    FTailDelta = 0;
  else
    FTailDelta += static_cast<std::int32_t>(delta);
  // A layout of the whole text leaves no big scratch tables behind.
  if (FNewRows.size() > 65536) {
    std::vector<std::uint8_t>().swap(FNewRows);
    std::vector<std::int32_t>().swap(FNewOffsets);
  }
  return static_cast<std::int32_t>(delta);
}

// While the layout waits to be made, the changes need no following: it is
// made from the buffer as it is then. Rows counted meanwhile are forgotten.

std::int32_t TOndWordWrapPlugin::LinesInserted(std::int32_t FirstLine, std::int32_t Count) {
  if (FStale) {
    ForgetCount();
    return 0;
  }
  const std::int32_t bufferCount = FOwner->WrapLines().GetCount();
  if (Count <= 0 || FirstLine < 0 || FirstLine > LineCount() || Count > bufferCount - FirstLine) return 0;
  WrapLines(FirstLine, Count);
  return Replace(FirstLine, 0);
}

std::int32_t TOndWordWrapPlugin::LinesDeleted(std::int32_t FirstLine, std::int32_t Count) {
  if (FStale) {
    ForgetCount();
    return 0;
  }
  if (Count <= 0 || FirstLine < 0 || FirstLine >= LineCount()) return 0;
  FNewRowCount = 0;
  FNewOffsets.clear();
  return Replace(FirstLine, std::min(Count, LineCount() - FirstLine));
}

std::int32_t TOndWordWrapPlugin::LinesChanged(std::int32_t FirstLine, std::int32_t Count) {
  if (FStale) {
    ForgetCount();
    return 0;
  }
  TOndEditStringList& lines = FOwner->WrapLines();
  const std::int32_t limit = std::min(LineCount(), lines.GetCount());
  if (Count <= 0 || FirstLine < 0 || FirstLine >= limit) return 0;
  const std::int32_t n = std::min(Count, limit - FirstLine);
  if (n > 1) {
    WrapLines(FirstLine, n);
    return Replace(FirstLine, n);
  }
  // A typed key changes one line, mostly without changing its row count:
  // its rows are written over the old ones in place (a line's rows lie all
  // before the row gap or all after it), and no other line moves. Rows
  // beyond the old count go to the scratch table.
  const std::string_view text = ExpandedLine(lines, FirstLine);
  ++FLinesWrapped;
  const auto first = static_cast<std::size_t>(FirstRowOf(FirstLine));
  const auto count = static_cast<std::size_t>(Offset(static_cast<std::size_t>(FirstLine))) - first;
  std::uint8_t* const rows = FRowLengths.data() + RowSlot(first);
  std::size_t made = 0, start = 0;
  do {
    const std::size_t end = RowEnd(text, start);
    rows[made++] = static_cast<std::uint8_t>(end - start);
    start = end;
  } while (start < text.size() && made < count);
  if (start < text.size())
    made = WrapInto(text, start, made);
  else if (made == count)
    return 0;
  // The row count changed: the line's rows are put in anew, those written
  // in place first.
  if (FNewRows.size() < made) FNewRows.resize(made);
  std::memcpy(FNewRows.data(), rows, std::min(made, count));
  FNewRowCount = made;
  FNewOffsets.assign(1, static_cast<std::int32_t>(made));
  return Replace(FirstLine, 1);
}

std::int32_t TOndWordWrapPlugin::FirstRowReaching(std::int32_t LineIndex, std::int32_t Column) const {
  LayOutAll();
  if (LineIndex < 0 || LineIndex >= LineCount()) return 0;
  const std::int32_t first = FirstRowOf(LineIndex);
  const std::int32_t last = Offset(static_cast<std::size_t>(LineIndex)) - 1;  // 0-based
  // A row's break is looked for up to the column after its widest end.
  std::int64_t start = 0;
  for (std::int32_t r = first; r < last; ++r) {
    if (start + FMaxRowLength >= Column) return r + 1;
    start += FRowLengths[RowSlot(static_cast<std::size_t>(r))];
  }
  return last + 1;
}

std::int32_t TOndWordWrapPlugin::RowLength(std::int32_t Row) const {
  if (Row < 1 || Row > RowCount()) throw EListError("List index out of bounds (" + std::to_string(Row) + ")");
  return FRowLengths[RowSlot(static_cast<std::size_t>(Row - 1))];
}

TDisplayCoord TOndWordWrapPlugin::BufferPosToDisplayPos(const TBufferCoord& Pos) const {
  const std::int32_t chr = std::max(Pos.Char, 1);
  const std::int32_t line = std::max(Pos.Line, 1);
  // The character's place among the rows of its line, which start at row
  // First (0-based) and whose lengths Len gives.
  const auto place = [chr](std::int32_t first, std::int32_t last, auto len) {
    std::int64_t sum = 0;
    for (std::int32_t r = first; r < last; ++r) {
      const std::int32_t n = len(r);
      sum += n;
      // A character at the very end of a row stays on that row.
      if (sum >= chr) return DisplayCoord(static_cast<std::int32_t>(n - (sum - chr)), r + 1);
    }
    return DisplayCoord(static_cast<std::int32_t>(len(last - 1) + (chr - sum)), last);
  };
  // A caret near the top (where a loaded text puts it) is placed from the
  // lines above it alone while the layout waits to be made.
  constexpr std::int32_t kLinesWithoutLayout = 64;
  if (FStale && line <= kLinesWithoutLayout) {
    TOndEditStringList& lines = FOwner->WrapLines();
    const std::int32_t count = lines.GetCount();
    if (line > count) return DisplayCoord(chr, static_cast<std::int32_t>(RowsOfLines(count)) + (line - count));
    const auto first = static_cast<std::int32_t>(RowsOfLines(line - 1));
    FLineRows.clear();
    WrapLine(ExpandedLine(lines, line - 1), FLineRows);
    const auto last = first + static_cast<std::int32_t>(FLineRows.size());
    return place(first, last, [&](std::int32_t r) { return FLineRows[static_cast<std::size_t>(r - first)]; });
  }
  LayOutAll();
  if (line > LineCount()) {
    const std::int64_t row = static_cast<std::int64_t>(RowCount()) + (line - LineCount());
    return DisplayCoord(chr, static_cast<std::int32_t>(std::min<std::int64_t>(row, INT32_MAX)));
  }
  return place(FirstRowOf(line - 1), Offset(static_cast<std::size_t>(line - 1)),
               [this](std::int32_t r) { return static_cast<std::int32_t>(FRowLengths[RowSlot(static_cast<std::size_t>(r))]); });
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
  std::size_t lo = 0, hi = static_cast<std::size_t>(LineCount());
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
