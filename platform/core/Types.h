// Plain value types shared by the window layer, the editor and their users: points,
// rectangles, shift states, mouse buttons, virtual-key codes, colours in the
// 0x00BBGGRR form, font styles and sets of byte values. Nothing here needs Qt.
#pragma once

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string_view>

#include "platform/core/Keys.h"

namespace ond {

struct TPoint {
  int X = 0;
  int Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSize {
  int cx = 0;
  int cy = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

// Right and Bottom are exclusive, as the original's rectangles.
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  int Width() const noexcept { return Right - Left; }
  int Height() const noexcept { return Bottom - Top; }
  bool IsEmpty() const noexcept { return Right <= Left || Bottom <= Top; }
  bool Contains(TPoint p) const noexcept { return p.X >= Left && p.X < Right && p.Y >= Top && p.Y < Bottom; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

inline int RectWidth(const TRect& r) noexcept { return r.Right - r.Left; }
inline int RectHeight(const TRect& r) noexcept { return r.Bottom - r.Top; }
inline bool IsRectEmpty(const TRect& r) noexcept { return r.IsEmpty(); }
inline bool PtInRect(const TRect& r, TPoint p) noexcept { return r.Contains(p); }
inline TRect Rect(int l, int t, int r, int b) { return TRect{l, t, r, b}; }
inline TRect Bounds(int l, int t, int w, int h) { return TRect{l, t, l + w, t + h}; }
inline TPoint Point(int x, int y) { return TPoint{x, y}; }
inline TRect IntersectRect(const TRect& a, const TRect& b) {
  TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
  if (r.IsEmpty()) r = TRect{};
  return r;
}
inline TRect UnionRect(const TRect& a, const TRect& b) {
  if (a.IsEmpty()) return b;
  if (b.IsEmpty()) return a;
  return TRect{std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right), std::max(a.Bottom, b.Bottom)};
}

enum class TMouseButton { mbLeft, mbRight, mbMiddle };

// Mouse cursors by the original's numbers.
using TCursor = int;
constexpr TCursor crDefault = 0;
constexpr TCursor crArrow = -2;
constexpr TCursor crIBeam = -4;
constexpr TCursor crSizeNS = -7;
constexpr TCursor crSizeNWSE = -8;
constexpr TCursor crSizeWE = -9;
constexpr TCursor crDrag = -12;
constexpr TCursor crHSplit = -14;
constexpr TCursor crVSplit = -15;
constexpr TCursor crMultiDrag = -16;
constexpr TCursor crHandPoint = -21;
constexpr TCursor crHelp = -20;

// Colours: 0x00BBGGRR; 0x80000000 + n is system colour n, resolved through
// the palette when drawn.
using TColor = std::int32_t;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clSystemColor = static_cast<TColor>(0x80000000u);
constexpr TColor clScrollBar = clSystemColor | 0;
constexpr TColor clBackground = clSystemColor | 1;
constexpr TColor clMenu = clSystemColor | 4;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowFrame = clSystemColor | 6;
constexpr TColor clMenuText = clSystemColor | 7;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clAppWorkSpace = clSystemColor | 12;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor cl3DDkShadow = clSystemColor | 21;
constexpr TColor cl3DLight = clSystemColor | 22;
constexpr TColor clInfoText = clSystemColor | 23;
constexpr TColor clInfoBk = clSystemColor | 24;

inline std::uint8_t GetRValue(std::uint32_t c) { return c & 0xFF; }
inline std::uint8_t GetGValue(std::uint32_t c) { return (c >> 8) & 0xFF; }
inline std::uint8_t GetBValue(std::uint32_t c) { return (c >> 16) & 0xFF; }
inline TColor RGB(int r, int g, int b) {
  return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}

// The plain 0x00BBGGRR value of a colour. System colours come from the
// provider the window layer installs (its palette), else from classic
// defaults, so that std-only code and tests resolve them too.
using TSysColorProc = std::function<TColor(std::int32_t Index)>;
void SetSysColorProc(TSysColorProc Proc);
TColor ColorToRGB(TColor color);

// Font styles: bold, italic, underline and strike-out bits.
using TFontStyles = std::uint8_t;
constexpr TFontStyles fsBold = 0x01;
constexpr TFontStyles fsItalic = 0x02;
constexpr TFontStyles fsUnderline = 0x04;
constexpr TFontStyles fsStrikeOut = 0x08;

// A set of byte values.
class TSysCharSet {
 public:
  TSysCharSet() = default;
  TSysCharSet(std::initializer_list<char> chars) {
    for (char c : chars) Include(c);
  }
  // Every byte of the text is a member.
  explicit TSysCharSet(std::string_view chars) {
    for (char c : chars) Include(c);
  }
  bool Contains(char c) const noexcept { return FBits.test(static_cast<unsigned char>(c)); }
  void Include(char c) noexcept { FBits.set(static_cast<unsigned char>(c)); }
  void IncludeRange(unsigned char first, unsigned char last) noexcept {
    for (unsigned c = first; c <= last; ++c) FBits.set(c);
  }
  void Exclude(char c) noexcept { FBits.reset(static_cast<unsigned char>(c)); }
  bool Empty() const noexcept { return FBits.none(); }
  friend bool operator==(const TSysCharSet&, const TSysCharSet&) = default;

 private:
  std::bitset<256> FBits;
};

}  // namespace ond
