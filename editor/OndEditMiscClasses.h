// Small classes the editor shares with its neighbours: the editor's option objects (colours, gutter, glyphs, right edge, active line,
// divider, word wrap, scroll bars, background, code folding), its marks and
// the shared strip of built-in gutter images.
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/OndEditCodeFolding.h"
#include "editor/OndEditKbdHandler.h"
#include "platform/Controls.h"
#include "platform/Graphics.h"
#include "platform/core/MethodChains.h"
#include "platform/core/SysUtils.h"

namespace ond {

// ---------------------------------------------------------------------------
// Option objects. Each fires OnChange when a setter really changes a value
// (the code-folding options fire on every set, with a change kind); Assign
// from an object of the same class copies every value and fires once.

class TCanvas;
class TImageList;

class TOndSelectedColor : public TObject {
 public:
  TColor GetBackground() const noexcept { return FBG; }
  void SetBackground(TColor Value);
  TColor GetForeground() const noexcept { return FFG; }
  void SetForeground(TColor Value);
  void Assign(const TOndSelectedColor& Source);
  TNotifyEvent OnChange;

 private:
  void Changed();
  TColor FBG = clHighlight;
  TColor FFG = clHighlightText;
};

enum TOndGutterBorderStyle : std::uint8_t { gbsNone, gbsMiddle, gbsRight };

class TOndGutter : public TObject {
 public:
  TOndGutter();
  TOndGutter(const TOndGutter&) = delete;
  TOndGutter& operator=(const TOndGutter&) = delete;

  // A change of the font fires OnChange.
  TFont& Font() noexcept { return FFont; }
  const TFont& Font() const noexcept { return FFont; }
  void SetFont(const TFont& Value) { FFont.Assign(Value); }
  TColor GetColor() const noexcept { return FColor; }
  void SetColor(TColor Value);
  TColor GetBorderColor() const noexcept { return FBorderColor; }
  void SetBorderColor(TColor Value);
  int GetWidth() const noexcept { return FWidth; }
  void SetWidth(int Value);  // negative becomes 0
  bool GetShowLineNumbers() const noexcept { return FShowLineNumbers; }
  void SetShowLineNumbers(bool Value);
  int GetDigitCount() const noexcept { return FDigitCount; }
  void SetDigitCount(int Value);  // 2..12; also the auto-size digit count
  bool GetLeadingZeros() const noexcept { return FLeadingZeros; }
  void SetLeadingZeros(bool Value);
  bool GetZeroStart() const noexcept { return FZeroStart; }
  void SetZeroStart(bool Value);
  int GetLeftOffset() const noexcept { return FLeftOffset; }
  void SetLeftOffset(int Value);
  int GetRightOffset() const noexcept { return FRightOffset; }
  void SetRightOffset(int Value);
  TCursor Cursor = crDefault;  // stored without notification
  bool GetVisible() const noexcept { return FVisible; }
  void SetVisible(bool Value);
  bool GetUseFontStyle() const noexcept { return FUseFontStyle; }
  void SetUseFontStyle(bool Value);
  bool GetAutoSize() const noexcept { return FAutoSize; }
  void SetAutoSize(bool Value);
  TOndGutterBorderStyle GetBorderStyle() const noexcept { return FBorderStyle; }
  void SetBorderStyle(TOndGutterBorderStyle Value);
  int GetLineNumberStart() const noexcept { return FLineNumberStart; }
  void SetLineNumberStart(int Value);  // negative becomes 0; ZeroStart follows
  bool GetGradient() const noexcept { return FGradient; }
  void SetGradient(bool Value);
  TColor GetGradientStartColor() const noexcept { return FGradientStartColor; }
  void SetGradientStartColor(TColor Value);
  TColor GetGradientEndColor() const noexcept { return FGradientEndColor; }
  void SetGradientEndColor(TColor Value);
  int GetGradientSteps() const noexcept { return FGradientSteps; }
  void SetGradientSteps(int Value);  // below 2 becomes 2
  bool GetIntens() const noexcept { return FIntens; }
  void SetIntens(bool Value);
  TColor GetLeftOffsetColor() const noexcept { return FLeftOffsetColor; }
  void SetLeftOffsetColor(TColor Value);
  TColor GetRightOffsetColor() const noexcept { return FRightOffsetColor; }
  void SetRightOffsetColor(TColor Value);
  TColor GetLineModifiedColor() const noexcept { return FLineModifiedColor; }
  void SetLineModifiedColor(TColor Value);
  bool GetShowLineModified() const noexcept { return FShowLineModified; }
  void SetShowLineModified(bool Value);
  TColor GetLineNormalColor() const noexcept { return FLineNormalColor; }
  void SetLineNormalColor(TColor Value);

  int GetAutoSizeDigitCount() const noexcept { return FAutoSizeDigitCount; }
  // Digits the line numbers need for LinesCount lines (auto size only).
  void UpdateAutoDigits(int LinesCount);
  // The number shown for a line, padded to the auto-size digit count.
  std::string LineNumberText(int Line) const;
  int GutterPixelWidth(int CharWidth) const;

  void Assign(const TOndGutter& Source);
  TNotifyEvent OnChange;

 private:
  void Changed();
  int ShownNumber(int Line) const;
  template <class T>
  void Set(T& Field, T Value) {
    if (Field == Value) return;
    Field = Value;
    Changed();
  }

  TFont FFont;
  TColor FColor = clBtnFace;
  TColor FBorderColor = clWindow;
  int FWidth = 30;
  bool FShowLineNumbers = false;
  int FDigitCount = 4;
  int FAutoSizeDigitCount = 4;
  bool FLeadingZeros = false;
  bool FZeroStart = false;
  int FLeftOffset = 16;
  int FRightOffset = 2;
  bool FVisible = true;
  bool FUseFontStyle = true;
  bool FAutoSize = false;
  TOndGutterBorderStyle FBorderStyle = gbsMiddle;
  int FLineNumberStart = 1;
  bool FGradient = false;
  TColor FGradientStartColor = clWindow;
  TColor FGradientEndColor = clBtnFace;
  int FGradientSteps = 48;
  bool FIntens = false;
  TColor FLeftOffsetColor = clNone;
  TColor FRightOffsetColor = clNone;
  TColor FLineModifiedColor = clYellow;
  bool FShowLineModified = false;
  TColor FLineNormalColor = clLime;
};

class TOndBookMarkOpt : public TObject {
 public:
  explicit TOndBookMarkOpt(TComponent* Owner) : FOwner(Owner) {}
  TComponent* GetOwner() const noexcept { return FOwner; }
  TImageList* GetBookmarkImages() const noexcept { return FBookmarkImages; }
  void SetBookmarkImages(TImageList* Value);
  bool GetDrawBookmarksFirst() const noexcept { return FDrawBookmarksFirst; }
  void SetDrawBookmarksFirst(bool Value);
  bool EnableKeys = true;  // stored without notification
  bool GetGlyphsVisible() const noexcept { return FGlyphsVisible; }
  void SetGlyphsVisible(bool Value);
  int GetLeftMargin() const noexcept { return FLeftMargin; }
  void SetLeftMargin(int Value);
  int GetXoffset() const noexcept { return FXoffset; }
  void SetXoffset(int Value);
  void Assign(const TOndBookMarkOpt& Source);
  TNotifyEvent OnChange;

 private:
  void Changed();
  TComponent* FOwner;
  TImageList* FBookmarkImages = nullptr;
  bool FDrawBookmarksFirst = true;
  bool FGlyphsVisible = true;
  int FLeftMargin = 2;
  int FXoffset = 12;
};

// A glyph drawn in the gutter: the user's bitmap, or an internal one loaded
// from a named image resource with its own transparent colour.
class TOndGlyph : public TObject {
 public:
  TOndGlyph();
  TOndGlyph(const std::string& ResourceName, TColor InternalMaskColor);
  ~TOndGlyph() override;
  TOndGlyph(const TOndGlyph&) = delete;
  TOndGlyph& operator=(const TOndGlyph&) = delete;

  const TBitmap& GetGlyph() const noexcept { return *FGlyph; }
  void SetGlyph(const TBitmap& Value);
  TColor GetMaskColor() const noexcept { return FMaskColor; }
  void SetMaskColor(TColor Value);
  bool GetVisible() const noexcept { return FVisible; }
  void SetVisible(bool Value);
  // The user glyph's width, else the internal bitmap's, else 0.
  int Width() const;
  int Height() const;
  // Centred in a line at least as high as the glyph, else its middle rows.
  void Draw(TCanvas* Canvas, int X, int Y, int LineHeight) const;
  void Assign(const TOndGlyph& Source);
  TNotifyEvent OnChange;

 private:
  void Changed();
  std::unique_ptr<TBitmap> FGlyph;
  // Shared by every glyph made from the same resource: it never changes.
  std::shared_ptr<const TBitmap> FInternalGlyph;
  TColor FInternalMaskColor = clNone;
  TColor FMaskColor = clNone;
  bool FVisible = true;
};

class TOndRightEdge : public TObject {
 public:
  bool GetVisible() const noexcept { return FVisible; }
  void SetVisible(bool Value);
  int GetPosition() const noexcept { return FPosition; }
  void SetPosition(int Value);
  TColor GetColor() const noexcept { return FColor; }
  void SetColor(TColor Value);
  TPenStyle GetStyle() const noexcept { return FStyle; }
  void SetStyle(TPenStyle Value);
  bool MouseMove = false;  // stored without notification
  void Assign(const TOndRightEdge& Source);
  TNotifyEvent OnChange;

 private:
  void Changed();
  bool FVisible = true;
  int FPosition = 80;
  TColor FColor = clSilver;
  TPenStyle FStyle = TPenStyle::psSolid;
};

class TOndActiveLine : public TObject {
 public:
  TOndActiveLine();
  bool GetVisible() const noexcept { return FVisible; }
  void SetVisible(bool Value);
  TColor GetBackground() const noexcept { return FBackground; }
  void SetBackground(TColor Value);
  TColor GetForeground() const noexcept { return FForeground; }
  void SetForeground(TColor Value);
  // A change of the glyph fires OnChange with the glyph as sender.
  TOndGlyph& Indicator() noexcept { return FIndicator; }
  const TOndGlyph& Indicator() const noexcept { return FIndicator; }
  void Assign(const TOndActiveLine& Source);
  TNotifyEvent OnChange;

 private:
  void Changed();
  bool FVisible = true;
  TColor FBackground = clYellow;
  TColor FForeground = clNavy;
  TOndGlyph FIndicator;
};

class TOndLineDivider : public TObject {
 public:
  bool GetVisible() const noexcept { return FVisible; }
  void SetVisible(bool Value);
  TColor GetColor() const noexcept { return FColor; }
  void SetColor(TColor Value);
  TPenStyle GetStyle() const noexcept { return FStyle; }
  void SetStyle(TPenStyle Value);
  void Assign(const TOndLineDivider& Source);
  TNotifyEvent OnChange;

 private:
  void Changed();
  bool FVisible = false;
  TColor FColor = clRed;
  TPenStyle FStyle = TPenStyle::psSolid;
};

enum TOndWordWrapStyle : std::uint8_t { wwsClientWidth, wwsRightEdge, wwsSpecified };

class TOndWordWrap : public TObject {
 public:
  TOndWordWrap();
  bool GetEnabled() const noexcept { return FEnabled; }
  void SetEnabled(bool Value);
  int GetPosition() const noexcept { return FPosition; }
  void SetPosition(int Value);
  TOndWordWrapStyle GetStyle() const noexcept { return FStyle; }
  void SetStyle(TOndWordWrapStyle Value);
  // The glyph of continuation rows; a change fires OnChange with it as sender.
  TOndGlyph& Indicator() noexcept { return FIndicator; }
  const TOndGlyph& Indicator() const noexcept { return FIndicator; }
  void Assign(const TOndWordWrap& Source);
  TNotifyEvent OnChange;

 private:
  void Changed();
  bool FEnabled = false;
  int FPosition = 80;
  TOndWordWrapStyle FStyle = wwsClientWidth;
  TOndGlyph FIndicator;
};

enum TScrollStyle : std::uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TScrollBarsStyle : std::uint8_t { sbsRegular, sbsEncarta, sbsFlat, sbsCustom };
enum TScrollHintFormat : std::uint8_t { shfTopLineOnly, shfTopToBottom };

// Scroll-bar state as the editor reads and writes it.
struct TOndScrollInfo {
  std::uint32_t Mask = 0;
  int Min = 0;
  int Max = 0;
  unsigned Page = 0;
  int Pos = 0;
  int TrackPos = 0;
};

// Hooks through which a custom scroll bar replaces the window's own.
class TOndEditScrollBar : public TComponent {
 public:
  explicit TOndEditScrollBar(TComponent* Owner) : TComponent(Owner) {}
  std::function<void(TObject* Sender, int Bar, TOndScrollInfo& Info)> OnGetScrollInfo;
  std::function<void(TObject* Sender, int Bar, const TOndScrollInfo& Info, bool Redraw)> OnSetScrollInfo;
  std::function<void(TObject* Sender, int Bar, bool Show)> OnShowScrollBar;
  std::function<void(TObject* Sender, int Bar, int Arrows)> OnEnabledScrollBar;
  void Assign(const TOndEditScrollBar& Source);
};

class TOndScrollBars : public TObject {
 public:
  TScrollStyle GetScrollBars() const noexcept { return FScrollBars; }
  void SetScrollBars(TScrollStyle Value);
  TScrollBarsStyle GetStyle() const noexcept { return FStyle; }
  void SetStyle(TScrollBarsStyle Value);
  TColor GetHintColor() const noexcept { return FHintColor; }
  void SetHintColor(TColor Value);
  TScrollHintFormat GetHintFormat() const noexcept { return FHintFormat; }
  void SetHintFormat(TScrollHintFormat Value);
  TOndEditScrollBar* GetHorizontal() const noexcept { return FHorizontal; }
  void SetHorizontal(TOndEditScrollBar* Value);
  TOndEditScrollBar* GetVertical() const noexcept { return FVertical; }
  void SetVertical(TOndEditScrollBar* Value);
  void Assign(const TOndScrollBars& Source);
  TNotifyEvent OnChange;

 private:
  void Changed();
  TScrollStyle FScrollBars = ssBoth;
  TScrollBarsStyle FStyle = sbsRegular;
  TColor FHintColor = clInfoBk;
  TScrollHintFormat FHintFormat = shfTopLineOnly;
  TOndEditScrollBar* FHorizontal = nullptr;
  TOndEditScrollBar* FVertical = nullptr;
};

enum TOndBackgroundRepeatMode : std::uint8_t { brmNone, brmVert, brmHori, brmAll };

class TOndEditBackground : public TObject {
 public:
  TOndEditBackground();
  ~TOndEditBackground() override;
  TOndEditBackground(const TOndEditBackground&) = delete;
  TOndEditBackground& operator=(const TOndEditBackground&) = delete;

  const TBitmap& GetBackground() const noexcept { return *FBackground; }
  void SetBackground(const TBitmap& Value);
  bool GetVisible() const noexcept { return FVisible; }
  void SetVisible(bool Value);
  TOndBackgroundRepeatMode GetRepeatMode() const noexcept { return FRepeatMode; }
  void SetRepeatMode(TOndBackgroundRepeatMode Value);
  // Visible with a picture.
  bool Shows() const;
  // Paints the picture into Rect, its origin at (OriginX, OriginY) and
  // repeated by the repeat mode, and fills the rest with FillColor.
  void Draw(TCanvas* Canvas, const TRect& Rect, int OriginX, int OriginY, TColor FillColor) const;
  void Assign(const TOndEditBackground& Source);
  TNotifyEvent OnChange;

 private:
  void Changed();
  std::unique_ptr<TBitmap> FBackground;
  bool FVisible = false;
  TOndBackgroundRepeatMode FRepeatMode = brmNone;
};

enum TOndCollapsingMarkStyle : std::uint8_t { msSquare, msEllipse };

// Change kinds of the code-folding options.
enum : int { fccEnabled = 0, fccRepaint = 1, fccRescan = 2 };
using TCodeFoldingChangeEvent = std::function<void(TObject* Sender, int Event)>;

// The colour value that asks for a folder-bar colour derived from the button
// face.
constexpr TColor clFolderBarDerived = clDefault;

// The button-face colour with its lightness moved by Delta (clamped to the
// valid range).
TColor DeriveFolderBarColor(int Delta);

class TOndCodeFolding : public TObject {
 public:
  TOndCodeFolding();
  bool GetEnabled() const noexcept { return FEnabled; }
  void SetEnabled(bool Value);
  bool GetCollapsedCodeHint() const noexcept { return FCollapsedCodeHint; }
  void SetCollapsedCodeHint(bool Value);
  // May hold clFolderBarDerived; painting resolves it.
  TColor GetCollapsedLineColor() const noexcept { return FCollapsedLineColor; }
  void SetCollapsedLineColor(TColor Value);
  TOndCollapsingMarkStyle GetCollapsingMarkStyle() const noexcept { return FCollapsingMarkStyle; }
  void SetCollapsingMarkStyle(TOndCollapsingMarkStyle Value);
  // May hold clFolderBarDerived; painting resolves it.
  TColor GetFolderBarColor() const noexcept { return FFolderBarColor; }
  void SetFolderBarColor(TColor Value);
  TColor GetFolderBarLinesColor() const noexcept { return FFolderBarLinesColor; }
  void SetFolderBarLinesColor(TColor Value);
  bool GetHighlighterFoldRegions() const noexcept { return FHighlighterFoldRegions; }
  void SetHighlighterFoldRegions(bool Value);
  bool GetHighlightIndentGuides() const noexcept { return FHighlightIndentGuides; }
  void SetHighlightIndentGuides(bool Value);
  bool GetIndentGuides() const noexcept { return FIndentGuides; }
  void SetIndentGuides(bool Value);
  bool GetShowCollapsedLine() const noexcept { return FShowCollapsedLine; }
  void SetShowCollapsedLine(bool Value);
  bool GetCaseSensitive() const noexcept { return FCaseSensitive; }
  void SetCaseSensitive(bool Value);
  // The editor's own fold regions, used when the highlighter offers none.
  TFoldRegions& FoldRegions() noexcept { return *FFoldRegions; }
  const TFoldRegions& FoldRegions() const noexcept { return *FFoldRegions; }
  void Assign(const TOndCodeFolding& Source);
  TCodeFoldingChangeEvent OnChange;

 private:
  void Changed(int Event);
  std::unique_ptr<TFoldRegions> FFoldRegions = std::make_unique<TFoldRegions>();
  bool FEnabled = false;
  bool FCollapsedCodeHint = true;
  TColor FCollapsedLineColor = clFolderBarDerived;
  TOndCollapsingMarkStyle FCollapsingMarkStyle = msSquare;
  TColor FFolderBarColor = clFolderBarDerived;
  TColor FFolderBarLinesColor = clFolderBarDerived;
  bool FHighlighterFoldRegions = true;
  bool FHighlightIndentGuides = true;
  bool FIndentGuides = true;
  bool FShowCollapsedLine = true;
  bool FCaseSensitive = false;
};

// ---------------------------------------------------------------------------
// Marks

class TOndEditMark;

// What a mark tells its editor.
class TOndEditMarkOwner {
 public:
  virtual void InvalidateGutterLine(int Line) = 0;
  // The mark is being freed; the editor forgets every reference to it.
  virtual void MarkFreed(TOndEditMark* Mark) = 0;

 protected:
  ~TOndEditMarkOwner() = default;
};

class TOndEditMark {
 public:
  explicit TOndEditMark(TOndEditMarkOwner* Owner = nullptr) : FOwner(Owner) {}
  virtual ~TOndEditMark();
  TOndEditMark(const TOndEditMark&) = delete;
  TOndEditMark& operator=(const TOndEditMark&) = delete;

  int GetLine() const noexcept { return FLine; }
  void SetLine(int Value);
  int GetChar() const noexcept { return FChar; }
  void SetChar(int Value) noexcept { FChar = Value; }
  int GetImage() const noexcept { return FImage; }
  void SetImage(int Value);
  bool GetVisible() const noexcept { return FVisible; }
  void SetVisible(bool Value);
  bool GetUseInternalImage() const noexcept { return FUseInternalImage; }
  void SetUseInternalImage(bool Value);
  int GetBookmarkIndex() const noexcept { return FBookmarkIndex; }
  void SetBookmarkIndex(int Value) noexcept { FBookmarkIndex = Value; }
  bool IsBookmark() const noexcept { return FBookmarkIndex >= 0; }
  bool HasBookmarkNumber() const noexcept { return FBookmarkIndex >= 0; }

 private:
  void Notify(int Line);
  TOndEditMarkOwner* FOwner;
  int FLine = 0;
  int FChar = 0;
  int FImage = 0;
  bool FVisible = false;
  bool FUseInternalImage = false;
  int FBookmarkIndex = -1;
};

constexpr int MaxMarksOnLine = 17;
using TOndEditMarks = std::array<TOndEditMark*, MaxMarksOnLine>;

// Owns its marks.
class TOndEditMarkList {
 public:
  TOndEditMarkList() = default;
  ~TOndEditMarkList();
  TOndEditMarkList(const TOndEditMarkList&) = delete;
  TOndEditMarkList& operator=(const TOndEditMarkList&) = delete;

  int Add(std::unique_ptr<TOndEditMark> Mark);
  void Delete(int Index);
  // Frees the mark; its former index, or -1 when it is not in the list.
  int Remove(TOndEditMark* Mark);
  void Clear();
  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  TOndEditMark* Items(int Index) const;
  // The first MaxMarksOnLine marks of Line in list order; the rest null.
  void MarksOnLine(int Line, TOndEditMarks& Marks) const;
  std::function<void(TOndEditMarkList* Sender)> OnChange;

 private:
  void Changed();
  std::vector<std::unique_ptr<TOndEditMark>> FItems;
};

struct TOndInternalImageRecord;

// A strip of equally wide images in one image resource, shared by name across
// every user in the process.
class TOndInternalImage {
 public:
  TOndInternalImage(const std::string& Name, int Count);
  ~TOndInternalImage();
  TOndInternalImage(const TOndInternalImage&) = delete;
  TOndInternalImage& operator=(const TOndInternalImage&) = delete;

  int Count() const noexcept { return FCount; }
  int Width() const noexcept { return FWidth; }
  int Height() const noexcept { return FHeight; }
  const TBitmap* Bitmap() const noexcept;
  // Image Number centred in a line at least as high as it, else its middle rows.
  void Draw(TCanvas* Canvas, int Number, int X, int Y, int LineHeight) const;
  // How many users share the named strip (0 when none is loaded).
  static int UseCount(const std::string& Name);

 private:
  TOndInternalImageRecord* FRecord = nullptr;
  int FCount;
  int FWidth = 0;
  int FHeight = 0;
};

}  // namespace ond
