// Text on a fixed cell grid. Every editor of the process shares one record per
// distinct base font, holding that font in all 16 combinations of bold,
// italic, underline and strike-out with their measured advance and height;
// a font stock is one client's view of such a record with a current style, and
// the text drawer puts text on a canvas with the grid advance for every
// character, whatever the style of the token.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Graphics.h"
#include "platform/core/SysUtils.h"

namespace ond {

OND_DECLARE_EXCEPTION(EheFontStockException, Exception);
OND_DECLARE_EXCEPTION(EheTextDrawerException, Exception);

// Style index: bit 0 bold, bit 1 italic, bit 2 underline, bit 3 strike-out,
// the same bits as TFontStyles.
constexpr int StyleCount = 16;

struct THeStyleEntry {
  std::unique_ptr<TFont> Handle;  // null until first used
  int Advance = 0;
  int DoubleByteAdvance = 0;
  int Height = 0;
};

class TSharedFontInfo {
 public:
  TSharedFontInfo() = default;
  TSharedFontInfo(const TSharedFontInfo&) = delete;
  TSharedFontInfo& operator=(const TSharedFontInfo&) = delete;

  int RefCount = 0;   // font stocks using the record
  int LockCount = 0;  // font stocks holding its fonts
  TFont BaseFont;
  // Compares equal exactly for fonts that differ at most in italic,
  // underline and strike-out.
  std::string BaseLogicalFont;
  bool IsDoubleByteFont = false;
  bool IsTrueType = true;
  std::array<THeStyleEntry, StyleCount> StyleEntries;
};

// The comparison key of a font (face, height, weight, pitch, character set).
std::string FontComparisonKey(const TFont& Font);

class TheFontsInfoManager {
 public:
  TheFontsInfoManager() = default;
  ~TheFontsInfoManager();
  TheFontsInfoManager(const TheFontsInfoManager&) = delete;
  TheFontsInfoManager& operator=(const TheFontsInfoManager&) = delete;

  TSharedFontInfo* AcquireFontInfo(const TFont* BaseFont);
  void ReleaseFontInfo(TSharedFontInfo* Info);
  void LockFontInfo(TSharedFontInfo* Info);
  // The last unlock frees the record's fonts; they are made again on next use.
  void UnlockFontInfo(TSharedFontInfo* Info);
  int Count() const noexcept { return static_cast<int>(FList.size()); }

 private:
  std::vector<std::unique_ptr<TSharedFontInfo>> FList;
};

// The process-wide manager, created on first request.
TheFontsInfoManager* GetFontsInfoManager();

class TheFontStock {
 public:
  explicit TheFontStock(const TFont* InitialFont);
  virtual ~TheFontStock();
  TheFontStock(const TheFontStock&) = delete;
  TheFontStock& operator=(const TheFontStock&) = delete;

  virtual void SetBaseFont(const TFont* Value);
  virtual void SetStyle(TFontStyles Style);
  TFontStyles GetStyle() const noexcept { return FStyle; }
  int GetAdvance() const noexcept { return FCurrentAdvance; }
  int GetHeight() const noexcept { return FCurrentEntry ? FCurrentEntry->Height : 0; }
  int GetDoubleByteAdvance() const noexcept { return FCurrentEntry ? FCurrentEntry->DoubleByteAdvance : 0; }
  // The font of the current style.
  const TFont* GetFontHandle() const noexcept { return FCurrentFont; }
  THeStyleEntry* StyleEntry(TFontStyles Style);
  TSharedFontInfo* FontInfo() const noexcept { return FInfo; }
  // Lets the shared record free its fonts when no other stock holds them.
  void UnlockHandles();

 protected:
  // The measuring surface, shared by all stocks and counted per stock.
  TCanvas* AcquireScreenDC();
  void ReleaseScreenDC(TCanvas* DC);
  virtual std::unique_ptr<TFont> CreateStyleFont(TFontStyles Style);
  // The advance of the font selected in DC; its height and, for a double-byte
  // font, the double-byte advance.
  virtual int MeasureFont(TCanvas* DC, int& Height, int* DoubleByteAdvance);

 private:
  void ReleaseFontInfo();
  int FDCRefCount = 0;
  TSharedFontInfo* FInfo = nullptr;
  bool FUsingFontHandles = false;
  const TFont* FCurrentFont = nullptr;
  int FCurrentAdvance = 0;
  THeStyleEntry* FCurrentEntry = nullptr;
  TFontStyles FStyle = 0;
  TFont FBaseLF;
};

class TheTextDrawer {
 public:
  TheTextDrawer(TFontStyles BaseStyle, const TFont* BaseFont);
  virtual ~TheTextDrawer();
  TheTextDrawer(const TheTextDrawer&) = delete;
  TheTextDrawer& operator=(const TheTextDrawer&) = delete;

  int CellWidth() const noexcept { return FCellWidth; }
  int CellHeight() const noexcept { return FCellHeight; }
  // The measured advance and height of the base font in a style.
  int StyleAdvance(TFontStyles Style);
  int StyleHeight(TFontStyles Style);

  // Drawing on the same canvas again only nests.
  void BeginDraw(TCanvas* DC);
  void EndDraw();
  bool Drawing() const noexcept { return FDrawingCount > 0; }
  void TextOut(int X, int Y, std::string_view Text);
  // Every character takes exactly CellWidth pixels.
  void ExtTextOut(int X, int Y, unsigned Options, const TRect& Rect, std::string_view Text);

  virtual void SetBaseFont(const TFont* Value);
  virtual void SetBaseStyle(TFontStyles Value);
  virtual void SetStyle(TFontStyles Value);
  TFontStyles GetStyle() const noexcept { return FStyle; }
  TFontStyles GetBaseStyle() const noexcept { return FBaseStyle; }
  void SetForegroundColor(TColor Value);
  void SetBackgroundColor(TColor Value);
  TColor GetForegroundColor() const noexcept { return FColor; }
  TColor GetBackgroundColor() const noexcept { return FBkColor; }
  void SetExtraSpacing(int Value);
  int GetExtraSpacing() const noexcept { return FExtraSpacing; }
  void ReleaseHandles();
  // Entries of the advance array (grows in steps of 64).
  int AdvanceArrayLength() const noexcept { return static_cast<int>(FETODist.size()); }
  TheFontStock* FontStock() const noexcept { return FFontStock.get(); }

 private:
  void FreeAdvanceArray() { FETODist.clear(); }
  void SelectCurrentFont();
  void ApplyColors();

  TCanvas* FDC = nullptr;
  TFont FSavedFont;
  TBrush FSavedBrush;
  std::unique_ptr<TheFontStock> FFontStock;
  TFontStyles FBaseStyle = 0;
  TFontStyles FStyle = 0;
  int FCellWidth = 1;
  int FCellHeight = 1;
  const TFont* FCurrentFont = nullptr;
  std::vector<int> FETODist;
  TColor FColor = clWindowText;
  TColor FBkColor = clWindow;
  int FExtraSpacing = 0;
  int FDrawingCount = 0;
};

}  // namespace ond
