// Stateless helpers shared by the line buffer, the editor and printing:
// clamping and ordering, tab detection and expansion, character index to
// display column, character-set scans that respect double-byte text, the
// end-of-line scan and the gutter's colour gradient.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "editor/OndEditTypes.h"
#include "platform/core/Types.h"

namespace ond {

// max(min(Value, High), Low): when Low > High the result is Low.
constexpr std::int32_t MinMax(std::int32_t Value, std::int32_t Low, std::int32_t High) noexcept {
  if (Value > High) Value = High;
  if (Value < Low) Value = Low;
  return Value;
}

inline void SwapIntegers(std::int32_t& A, std::int32_t& B) noexcept {
  const std::int32_t t = A;
  A = B;
  B = t;
}

// The earlier position (smaller line, then smaller char); A when both are equal.
constexpr TBufferCoord MinPosition(const TBufferCoord& A, const TBufferCoord& B) noexcept {
  if (B.Line < A.Line || (B.Line == A.Line && B.Char < A.Char)) return B;
  return A;
}

// True when Line holds a tab; CharsBefore is the number of characters before
// the first tab, or the whole length when there is none.
bool LineHasTabs(std::string_view Line, std::int32_t& CharsBefore) noexcept;

// 2, 4, 8, ... 65536; false for everything else, 1 included.
bool IsPowerOfTwo(std::int32_t Value) noexcept;

// Tab expansion. Columns count from 0; a tab advances to the next multiple of
// the width strictly beyond its own column and the expanded text keeps one tab
// character per column it covers; only the width-1 routine turns each tab into
// one space. Text without a tab comes back unchanged.
using TConvertTabsProc = std::string (*)(std::string_view Line, std::int32_t TabWidth);
using TConvertTabsProcEx = std::string (*)(std::string_view Line, std::int32_t TabWidth, bool& HasTabs);

std::string ConvertTabs1(std::string_view Line, std::int32_t TabWidth);
std::string ConvertTabs1Ex(std::string_view Line, std::int32_t TabWidth, bool& HasTabs);
std::string ConvertTabs2n(std::string_view Line, std::int32_t TabWidth);
std::string ConvertTabs2nEx(std::string_view Line, std::int32_t TabWidth, bool& HasTabs);
std::string ConvertTabs(std::string_view Line, std::int32_t TabWidth);
std::string ConvertTabsEx(std::string_view Line, std::int32_t TabWidth, bool& HasTabs);

// The routine for a width: below 2 the width-1 one, a power of two the masked
// one, any other width the general one.
TConvertTabsProcEx GetExpandTabsProc(std::int32_t TabWidth) noexcept;
TConvertTabsProc SelectTabConverter(std::int32_t TabWidth) noexcept;

// Display columns the text occupies (a width below 1 counts as 1).
std::int32_t GetExpandedLength(std::string_view Text, std::int32_t TabWidth) noexcept;

// The 1-based display column of the 1-based character Index; positions past
// the end of the line take one column each.
std::int32_t CharIndexToColumn(std::int32_t Index, std::int32_t TabWidth, std::string_view Line) noexcept;

// Lead bytes of double-byte characters and whether the system's locale is a
// far-east one. Code page 1251 has no lead bytes; the scans take the
// description as a parameter so the rules hold for any single- or double-byte
// code page.
struct TOndDbcsInfo {
  TSysCharSet LeadBytes;
  bool FarEast = false;
};
const TOndDbcsInfo& SystemDbcsInfo() noexcept;

// 1-based position of the first byte of Chars at or after Start, or 0.
std::int32_t FindCharInSet(std::string_view Text, std::int32_t Start, const TSysCharSet& Chars,
                           const TOndDbcsInfo& Dbcs = SystemDbcsInfo()) noexcept;
// 1-based position of the last byte of Chars at or before Start, or 0.
std::int32_t FindCharInSetBackward(std::string_view Text, std::int32_t Start, const TSysCharSet& Chars,
                                   const TOndDbcsInfo& Dbcs = SystemDbcsInfo()) noexcept;
// 1-based position of the first lead byte at or after Start, or 0.
std::int32_t FindLeadByte(std::string_view Text, std::int32_t Start,
                          const TOndDbcsInfo& Dbcs = SystemDbcsInfo()) noexcept;
// 1-based position of the last lead byte that begins a character at or before
// Start, or 0.
std::int32_t FindLastLeadByte(std::string_view Text, std::int32_t Start,
                              const TOndDbcsInfo& Dbcs = SystemDbcsInfo()) noexcept;

// The first CR or LF in [P, End), End when there is none; nullptr for nullptr.
// NUL is an ordinary character.
const char* GetEOL(const char* P, const char* End) noexcept;

// The one drawing operation a gradient needs, provided by the canvas.
using TFillRectProc = std::function<void(const TRect& Rect, TColor Color)>;

// Fills Rect with Steps (2..256) bands running from FromColor to ToColor,
// top to bottom, or left to right when Horizontal.
void DrawGradient(const TFillRectProc& FillRect, TColor FromColor, TColor ToColor, bool Horizontal,
                  const TRect& Rect, std::int32_t Steps);

}  // namespace ond
