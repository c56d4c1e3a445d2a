#include "editor/OndEditMiscProcs.h"

#include <cstring>
#include <utility>

#include "platform/core/SysUtils.h"

namespace ond {

bool LineHasTabs(std::string_view Line, std::int32_t& CharsBefore) noexcept {
  const std::size_t p = Line.find('\t');
  if (p == std::string_view::npos) {
    CharsBefore = static_cast<std::int32_t>(Line.size());
    return false;
  }
  CharsBefore = static_cast<std::int32_t>(p);
  return true;
}

bool IsPowerOfTwo(std::int32_t Value) noexcept {
  return Value >= 2 && Value <= 65536 && (Value & (Value - 1)) == 0;
}

namespace {

// Expands the tabs from the first one on; Before is the text before it.
// NextStop gives the column a tab at column c advances to.
template <typename NextStop>
std::string ExpandFrom(std::string_view Line, std::size_t FirstTab, char Fill, NextStop next) {
  std::string r;
  r.reserve(Line.size() + 16);
  r.append(Line.data(), FirstTab);
  std::int64_t col = static_cast<std::int64_t>(FirstTab);
  for (std::size_t i = FirstTab; i < Line.size(); ++i) {
    const char c = Line[i];
    if (c == '\t') {
      const std::int64_t to = next(col);
      r.append(static_cast<std::size_t>(to - col), Fill);
      col = to;
    } else {
      r.push_back(c);
      ++col;
    }
  }
  return r;
}

}  // namespace

std::string ConvertTabs1Ex(std::string_view Line, std::int32_t, bool& HasTabs) {
  const std::size_t first = Line.find('\t');
  HasTabs = first != std::string_view::npos;
  if (!HasTabs) return std::string(Line);
  std::string r(Line);
  for (std::size_t i = first; i < r.size(); ++i)
    if (r[i] == '\t') r[i] = ' ';
  return r;
}

std::string ConvertTabs1(std::string_view Line, std::int32_t TabWidth) {
  bool dummy;
  return ConvertTabs1Ex(Line, TabWidth, dummy);
}

std::string ConvertTabs2nEx(std::string_view Line, std::int32_t TabWidth, bool& HasTabs) {
  const std::size_t first = Line.find('\t');
  HasTabs = first != std::string_view::npos;
  if (!HasTabs) return std::string(Line);
  const std::int64_t w = TabWidth;
  return ExpandFrom(Line, first, '\t', [w](std::int64_t c) { return (c + w) & ~(w - 1); });
}

std::string ConvertTabs2n(std::string_view Line, std::int32_t TabWidth) {
  bool dummy;
  return ConvertTabs2nEx(Line, TabWidth, dummy);
}

std::string ConvertTabsEx(std::string_view Line, std::int32_t TabWidth, bool& HasTabs) {
  const std::size_t first = Line.find('\t');
  HasTabs = first != std::string_view::npos;
  if (!HasTabs) return std::string(Line);
  // A width below 1 would divide by zero; one column per tab is the only
  // sensible reading of it.
  const std::int64_t w = TabWidth < 1 ? 1 : TabWidth;
  return ExpandFrom(Line, first, '\t', [w](std::int64_t c) { return c + w - (c % w); });
}

std::string ConvertTabs(std::string_view Line, std::int32_t TabWidth) {
  bool dummy;
  return ConvertTabsEx(Line, TabWidth, dummy);
}

TConvertTabsProcEx GetExpandTabsProc(std::int32_t TabWidth) noexcept {
  if (TabWidth < 2) return &ConvertTabs1Ex;
  if (IsPowerOfTwo(TabWidth)) return &ConvertTabs2nEx;
  return &ConvertTabsEx;
}

TConvertTabsProc SelectTabConverter(std::int32_t TabWidth) noexcept {
  if (TabWidth < 2) return &ConvertTabs1;
  if (IsPowerOfTwo(TabWidth)) return &ConvertTabs2n;
  return &ConvertTabs;
}

std::int32_t GetExpandedLength(std::string_view Text, std::int32_t TabWidth) noexcept {
  const std::int64_t w = TabWidth < 1 ? 1 : TabWidth;
  std::int64_t col = 0;
  for (char c : Text) {
    if (c == '\t')
      col += w - (col % w);
    else
      ++col;
  }
  return col > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(col);
}

std::int32_t CharIndexToColumn(std::int32_t Index, std::int32_t TabWidth, std::string_view Line) noexcept {
  if (Index < 2) return 1;
  if (TabWidth < 2) return Index;
  std::int32_t before;
  if (!LineHasTabs(Line, before) || Index <= before + 1) return Index;
  std::int64_t col = before;
  std::int64_t todo = static_cast<std::int64_t>(Index) - 1 - before;
  for (std::size_t i = static_cast<std::size_t>(before); todo > 0 && i < Line.size(); ++i, --todo) {
    if (Line[i] == '\t')
      col += TabWidth - (col % TabWidth);
    else
      ++col;
  }
  col += todo;  // characters past the end of the line take one column each
  col += 1;
  return col > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(col);
}

const TOndDbcsInfo& SystemDbcsInfo() noexcept {
  // The system's text is code page 1251: no lead bytes, not a far-east locale.
  static const TOndDbcsInfo info{};
  return info;
}

namespace {

bool IsLead(const TOndDbcsInfo& Dbcs, char c) noexcept { return Dbcs.LeadBytes.Contains(c); }

// True when the 0-based byte Pos is the trail byte of a double-byte character
// (found by walking characters from the start).
bool IsTrailByte(std::string_view Text, std::size_t Pos, const TOndDbcsInfo& Dbcs) noexcept {
  if (Dbcs.LeadBytes.Empty()) return false;
  std::size_t i = 0;
  while (i < Pos) i += IsLead(Dbcs, Text[i]) ? 2 : 1;
  return i > Pos;
}

}  // namespace

std::int32_t FindCharInSet(std::string_view Text, std::int32_t Start, const TSysCharSet& Chars,
                           const TOndDbcsInfo& Dbcs) noexcept {
  const std::int64_t len = static_cast<std::int64_t>(Text.size());
  if (Start < 1 || Start > len) return 0;
  std::size_t i = static_cast<std::size_t>(Start - 1);
  if (IsTrailByte(Text, i, Dbcs)) {
    ++i;
    if (i >= Text.size()) return 0;
  }
  while (i < Text.size()) {
    const char c = Text[i];
    if (IsLead(Dbcs, c)) {
      i += 2;
      continue;
    }
    if (Chars.Contains(c)) return static_cast<std::int32_t>(i + 1);
    ++i;
  }
  return 0;
}

std::int32_t FindCharInSetBackward(std::string_view Text, std::int32_t Start, const TSysCharSet& Chars,
                                   const TOndDbcsInfo& Dbcs) noexcept {
  const std::int64_t len = static_cast<std::int64_t>(Text.size());
  if (Start < 1 || Start > len) return 0;
  const std::size_t last = static_cast<std::size_t>(Start - 1);
  if (Dbcs.FarEast) {
    std::int32_t found = 0;
    std::size_t i = 0;
    while (i <= last) {
      const char c = Text[i];
      if (IsLead(Dbcs, c)) {
        i += 2;
        continue;
      }
      if (Chars.Contains(c)) found = static_cast<std::int32_t>(i + 1);
      ++i;
    }
    return found;
  }
  for (std::size_t i = last + 1; i-- > 0;)
    if (Chars.Contains(Text[i])) return static_cast<std::int32_t>(i + 1);
  return 0;
}

std::int32_t FindLeadByte(std::string_view Text, std::int32_t Start, const TOndDbcsInfo& Dbcs) noexcept {
  const std::int64_t len = static_cast<std::int64_t>(Text.size());
  if (!Dbcs.FarEast || Start < 1 || Start > len) return 0;
  std::size_t i = static_cast<std::size_t>(Start - 1);
  if (IsTrailByte(Text, i, Dbcs)) ++i;
  for (; i < Text.size(); ++i)
    if (IsLead(Dbcs, Text[i])) return static_cast<std::int32_t>(i + 1);
  return 0;
}

std::int32_t FindLastLeadByte(std::string_view Text, std::int32_t Start, const TOndDbcsInfo& Dbcs) noexcept {
  const std::int64_t len = static_cast<std::int64_t>(Text.size());
  if (!Dbcs.FarEast || Start < 1 || Start > len) return 0;
  const std::size_t last = static_cast<std::size_t>(Start - 1);
  std::int32_t found = 0;
  std::size_t i = 0;
  while (i <= last) {
    if (IsLead(Dbcs, Text[i])) {
      found = static_cast<std::int32_t>(i + 1);
      i += 2;
    } else {
      ++i;
    }
  }
  return found;
}

const char* GetEOL(const char* P, const char* End) noexcept {
  if (P == nullptr) return nullptr;
  while (P < End && *P != '\r' && *P != '\n') ++P;
  return P;
}

void DrawGradient(const TFillRectProc& FillRect, TColor FromColor, TColor ToColor, bool Horizontal,
                  const TRect& Rect, std::int32_t Steps) {
  if (!FillRect) return;
  Steps = MinMax(Steps, 2, 256);
  const TColor from = ColorToRGB(FromColor);
  const TColor to = ColorToRGB(ToColor);
  int fromC[3], diff[3];
  for (int k = 0; k < 3; ++k) {
    fromC[k] = static_cast<int>((from >> (8 * k)) & 0xFF);
    diff[k] = static_cast<int>((to >> (8 * k)) & 0xFF) - fromC[k];
  }
  const std::int32_t origin = Horizontal ? Rect.Left : Rect.Top;
  const std::int32_t extent = Horizontal ? Rect.Right - Rect.Left : Rect.Bottom - Rect.Top;
  for (std::int32_t i = 0; i < Steps; ++i) {
    TRect band = Rect;
    const std::int32_t a = origin + MulDiv(i, extent, Steps);
    const std::int32_t b = origin + MulDiv(i + 1, extent, Steps);
    if (Horizontal) {
      band.Left = a;
      band.Right = b;
    } else {
      band.Top = a;
      band.Bottom = b;
    }
    TColor c = 0;
    for (int k = 0; k < 3; ++k) {
      const int v = fromC[k] + MulDiv(i, diff[k], Steps - 1);
      c |= static_cast<TColor>(v & 0xFF) << (8 * k);
    }
    FillRect(band, c);
  }
}

}  // namespace ond
