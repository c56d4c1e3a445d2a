#include "editor/OndEditMiscClasses.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include "editor/OndEditCodeFolding.h"
#include "editor/OndEditMiscProcs.h"
#include "platform/ImgList.h"
#include "platform/core/CodePage.h"

namespace ond {

// ---- selection colours ------------------------------------------------------

void TOndSelectedColor::Changed() {
  if (OnChange) OnChange(this);
}
void TOndSelectedColor::SetBackground(TColor Value) {
  if (FBG == Value) return;
  FBG = Value;
  Changed();
}
void TOndSelectedColor::SetForeground(TColor Value) {
  if (FFG == Value) return;
  FFG = Value;
  Changed();
}
void TOndSelectedColor::Assign(const TOndSelectedColor& Source) {
  FBG = Source.FBG;
  FFG = Source.FFG;
  Changed();
}

// ---- gutter -----------------------------------------------------------------

TOndGutter::TOndGutter() {
  FFont.SetName("Courier New");
  FFont.SetSize(8);
  FFont.SetStyle(0);
  FFont.OnChange = [this](TFont*) { Changed(); };
}

void TOndGutter::Changed() {
  if (OnChange) OnChange(this);
}

void TOndGutter::SetColor(TColor Value) { Set(FColor, Value); }
void TOndGutter::SetBorderColor(TColor Value) { Set(FBorderColor, Value); }
void TOndGutter::SetWidth(int Value) { Set(FWidth, std::max(0, Value)); }
void TOndGutter::SetShowLineNumbers(bool Value) { Set(FShowLineNumbers, Value); }
void TOndGutter::SetDigitCount(int Value) {
  Value = MinMax(Value, 2, 12);
  if (FDigitCount == Value) return;
  FDigitCount = Value;
  FAutoSizeDigitCount = Value;
  Changed();
}
void TOndGutter::SetLeadingZeros(bool Value) { Set(FLeadingZeros, Value); }
void TOndGutter::SetZeroStart(bool Value) { Set(FZeroStart, Value); }
void TOndGutter::SetLeftOffset(int Value) { Set(FLeftOffset, std::max(0, Value)); }
void TOndGutter::SetRightOffset(int Value) { Set(FRightOffset, std::max(0, Value)); }
void TOndGutter::SetVisible(bool Value) { Set(FVisible, Value); }
void TOndGutter::SetUseFontStyle(bool Value) { Set(FUseFontStyle, Value); }
void TOndGutter::SetAutoSize(bool Value) { Set(FAutoSize, Value); }
void TOndGutter::SetBorderStyle(TOndGutterBorderStyle Value) { Set(FBorderStyle, Value); }
void TOndGutter::SetLineNumberStart(int Value) {
  Value = std::max(0, Value);
  if (FLineNumberStart == Value) return;
  FLineNumberStart = Value;
  FZeroStart = Value == 0;
  Changed();
}
void TOndGutter::SetGradient(bool Value) { Set(FGradient, Value); }
void TOndGutter::SetGradientStartColor(TColor Value) { Set(FGradientStartColor, Value); }
void TOndGutter::SetGradientEndColor(TColor Value) { Set(FGradientEndColor, Value); }
void TOndGutter::SetGradientSteps(int Value) { Set(FGradientSteps, std::max(2, Value)); }
void TOndGutter::SetIntens(bool Value) { Set(FIntens, Value); }
void TOndGutter::SetLeftOffsetColor(TColor Value) { Set(FLeftOffsetColor, Value); }
void TOndGutter::SetRightOffsetColor(TColor Value) { Set(FRightOffsetColor, Value); }
void TOndGutter::SetLineModifiedColor(TColor Value) { Set(FLineModifiedColor, Value); }
void TOndGutter::SetShowLineModified(bool Value) { Set(FShowLineModified, Value); }
void TOndGutter::SetLineNormalColor(TColor Value) { Set(FLineNormalColor, Value); }

int TOndGutter::ShownNumber(int Line) const {
  if (FZeroStart) return Line - 1;
  if (FLineNumberStart >= 2) return Line + FLineNumberStart - 1;
  return Line;
}

void TOndGutter::UpdateAutoDigits(int LinesCount) {
  if (FVisible && FAutoSize && FShowLineNumbers) {
    const int digits = std::max(static_cast<int>(IntToStr(ShownNumber(LinesCount)).size()), FDigitCount);
    if (digits != FAutoSizeDigitCount) {
      FAutoSizeDigitCount = digits;
      Changed();
    }
  } else {
    FAutoSizeDigitCount = FDigitCount;
  }
}

std::string TOndGutter::LineNumberText(int Line) const {
  std::string text = IntToStr(ShownNumber(Line));
  if (static_cast<int>(text.size()) < FAutoSizeDigitCount)
    text.insert(0, static_cast<std::size_t>(FAutoSizeDigitCount) - text.size(), ' ');
  if (FLeadingZeros) {
    // Every padding blank becomes "0"; the last position always keeps the digit.
    for (std::size_t i = 0; i + 1 < text.size() && text[i] == ' '; ++i) text[i] = '0';
  }
  return text;
}

int TOndGutter::GutterPixelWidth(int CharWidth) const {
  if (!FVisible) return 0;
  if (FShowLineNumbers) return FLeftOffset + FRightOffset + FAutoSizeDigitCount * CharWidth + 4;
  return FWidth;
}

void TOndGutter::Assign(const TOndGutter& Source) {
  if (&Source == this) return;
  const TNotifyEvent saved = std::move(OnChange);
  OnChange = nullptr;
  FFont.Assign(Source.FFont);
  OnChange = saved;
  FColor = Source.FColor;
  FBorderColor = Source.FBorderColor;
  FWidth = Source.FWidth;
  FShowLineNumbers = Source.FShowLineNumbers;
  FDigitCount = Source.FDigitCount;
  FAutoSizeDigitCount = Source.FAutoSizeDigitCount;
  FLeadingZeros = Source.FLeadingZeros;
  FZeroStart = Source.FZeroStart;
  FLeftOffset = Source.FLeftOffset;
  FRightOffset = Source.FRightOffset;
  Cursor = Source.Cursor;
  FVisible = Source.FVisible;
  FUseFontStyle = Source.FUseFontStyle;
  FAutoSize = Source.FAutoSize;
  FBorderStyle = Source.FBorderStyle;
  FLineNumberStart = Source.FLineNumberStart;
  FGradient = Source.FGradient;
  FGradientStartColor = Source.FGradientStartColor;
  FGradientEndColor = Source.FGradientEndColor;
  FGradientSteps = Source.FGradientSteps;
  FIntens = Source.FIntens;
  FLeftOffsetColor = Source.FLeftOffsetColor;
  FRightOffsetColor = Source.FRightOffsetColor;
  FLineModifiedColor = Source.FLineModifiedColor;
  FShowLineModified = Source.FShowLineModified;
  FLineNormalColor = Source.FLineNormalColor;
  Changed();
}

// ---- bookmark options -------------------------------------------------------

void TOndBookMarkOpt::Changed() {
  if (OnChange) OnChange(this);
}
void TOndBookMarkOpt::SetBookmarkImages(TImageList* Value) {
  if (FBookmarkImages == Value) return;
  FBookmarkImages = Value;
  if (Value && FOwner) Value->FreeNotification(FOwner);
  Changed();
}
void TOndBookMarkOpt::SetDrawBookmarksFirst(bool Value) {
  if (FDrawBookmarksFirst == Value) return;
  FDrawBookmarksFirst = Value;
  Changed();
}
void TOndBookMarkOpt::SetGlyphsVisible(bool Value) {
  if (FGlyphsVisible == Value) return;
  FGlyphsVisible = Value;
  Changed();
}
void TOndBookMarkOpt::SetLeftMargin(int Value) {
  if (FLeftMargin == Value) return;
  FLeftMargin = Value;
  Changed();
}
void TOndBookMarkOpt::SetXoffset(int Value) {
  if (FXoffset == Value) return;
  FXoffset = Value;
  Changed();
}
void TOndBookMarkOpt::Assign(const TOndBookMarkOpt& Source) {
  FBookmarkImages = Source.FBookmarkImages;
  FDrawBookmarksFirst = Source.FDrawBookmarksFirst;
  EnableKeys = Source.EnableKeys;
  FGlyphsVisible = Source.FGlyphsVisible;
  FLeftMargin = Source.FLeftMargin;
  FXoffset = Source.FXoffset;
  Changed();
}

// ---- glyphs -----------------------------------------------------------------

TOndGlyph::TOndGlyph() : FGlyph(std::make_unique<TBitmap>()) {}

TOndGlyph::TOndGlyph(const std::string& ResourceName, TColor InternalMaskColor) : TOndGlyph() {
  if (ResourceName.empty()) return;
  // Every editor makes its glyphs from the same few resources: decode each
  // once while any glyph still uses it.
  static std::map<std::string, std::weak_ptr<const TBitmap>> loaded;
  std::weak_ptr<const TBitmap>& slot = loaded[ResourceName];
  FInternalGlyph = slot.lock();
  if (!FInternalGlyph) {
    auto bitmap = std::make_shared<TBitmap>();
    if (bitmap->LoadFromResourceName(ResourceName)) {
      FInternalGlyph = bitmap;
      slot = FInternalGlyph;
    }
  }
  FInternalMaskColor = InternalMaskColor;
}

TOndGlyph::~TOndGlyph() = default;

void TOndGlyph::Changed() {
  if (OnChange) OnChange(this);
}
void TOndGlyph::SetGlyph(const TBitmap& Value) {
  if (&Value == FGlyph.get()) return;
  FGlyph->Assign(Value);
  Changed();
}
void TOndGlyph::SetMaskColor(TColor Value) {
  if (FMaskColor == Value) return;
  FMaskColor = Value;
  Changed();
}
void TOndGlyph::SetVisible(bool Value) {
  if (FVisible == Value) return;
  FVisible = Value;
  Changed();
}

int TOndGlyph::Width() const {
  if (FGlyph->Width() > 0) return FGlyph->Width();
  return FInternalGlyph ? FInternalGlyph->Width() : 0;
}
int TOndGlyph::Height() const {
  if (FGlyph->Width() > 0) return FGlyph->Height();
  return FInternalGlyph ? FInternalGlyph->Height() : 0;
}

namespace {
// Copies a W x H image to (X, Y): centred in the line when it is at least as
// high, else its middle LineHeight rows.
void DrawInLine(TCanvas* Canvas, const TBitmap& Bitmap, int SrcX, int W, int H, int X, int Y, int LineHeight,
                TColor Transparent) {
  if (LineHeight >= H) {
    Canvas->DrawPart(X, Y + (LineHeight - H) / 2, Bitmap, Bounds(SrcX, 0, W, H), Transparent);
  } else {
    const int top = (H - LineHeight) / 2;
    Canvas->DrawPart(X, Y, Bitmap, Bounds(SrcX, top, W, LineHeight), Transparent);
  }
}
}  // namespace

void TOndGlyph::Draw(TCanvas* Canvas, int X, int Y, int LineHeight) const {
  if (!Canvas) return;
  if (FGlyph->Width() > 0) {
    DrawInLine(Canvas, *FGlyph, 0, FGlyph->Width(), FGlyph->Height(), X, Y, LineHeight, FMaskColor);
  } else if (FInternalGlyph) {
    DrawInLine(Canvas, *FInternalGlyph, 0, FInternalGlyph->Width(), FInternalGlyph->Height(), X, Y, LineHeight,
               FInternalMaskColor);
  }
}

void TOndGlyph::Assign(const TOndGlyph& Source) {
  if (&Source == this) return;
  FGlyph->Assign(*Source.FGlyph);
  FMaskColor = Source.FMaskColor;
  FVisible = Source.FVisible;
  Changed();
}

// ---- right edge, active line, divider, word wrap ----------------------------

void TOndRightEdge::Changed() {
  if (OnChange) OnChange(this);
}
void TOndRightEdge::SetVisible(bool Value) {
  if (FVisible == Value) return;
  FVisible = Value;
  Changed();
}
void TOndRightEdge::SetPosition(int Value) {
  if (FPosition == Value) return;
  FPosition = Value;
  Changed();
}
void TOndRightEdge::SetColor(TColor Value) {
  if (FColor == Value) return;
  FColor = Value;
  Changed();
}
void TOndRightEdge::SetStyle(TPenStyle Value) {
  if (FStyle == Value) return;
  FStyle = Value;
  Changed();
}
void TOndRightEdge::Assign(const TOndRightEdge& Source) {
  FVisible = Source.FVisible;
  FPosition = Source.FPosition;
  FColor = Source.FColor;
  FStyle = Source.FStyle;
  MouseMove = Source.MouseMove;
  Changed();
}

TOndActiveLine::TOndActiveLine() {
  FIndicator.OnChange = [this](TObject* Sender) {
    if (OnChange) OnChange(Sender);
  };
}
void TOndActiveLine::Changed() {
  if (OnChange) OnChange(this);
}
void TOndActiveLine::SetVisible(bool Value) {
  if (FVisible == Value) return;
  FVisible = Value;
  Changed();
}
void TOndActiveLine::SetBackground(TColor Value) {
  if (FBackground == Value) return;
  FBackground = Value;
  Changed();
}
void TOndActiveLine::SetForeground(TColor Value) {
  if (FForeground == Value) return;
  FForeground = Value;
  Changed();
}
void TOndActiveLine::Assign(const TOndActiveLine& Source) {
  FVisible = Source.FVisible;
  FBackground = Source.FBackground;
  FForeground = Source.FForeground;
  const TNotifyEvent saved = std::move(FIndicator.OnChange);
  FIndicator.OnChange = nullptr;
  FIndicator.Assign(Source.FIndicator);
  FIndicator.OnChange = saved;
  Changed();
}

void TOndLineDivider::Changed() {
  if (OnChange) OnChange(this);
}
void TOndLineDivider::SetVisible(bool Value) {
  if (FVisible == Value) return;
  FVisible = Value;
  Changed();
}
void TOndLineDivider::SetColor(TColor Value) {
  if (FColor == Value) return;
  FColor = Value;
  Changed();
}
void TOndLineDivider::SetStyle(TPenStyle Value) {
  if (FStyle == Value) return;
  FStyle = Value;
  Changed();
}
void TOndLineDivider::Assign(const TOndLineDivider& Source) {
  FVisible = Source.FVisible;
  FColor = Source.FColor;
  FStyle = Source.FStyle;
  Changed();
}

TOndWordWrap::TOndWordWrap() : FIndicator("OndEditWrapped", clLime) {
  FIndicator.OnChange = [this](TObject* Sender) {
    if (OnChange) OnChange(Sender);
  };
}
void TOndWordWrap::Changed() {
  if (OnChange) OnChange(this);
}
void TOndWordWrap::SetEnabled(bool Value) {
  if (FEnabled == Value) return;
  FEnabled = Value;
  Changed();
}
void TOndWordWrap::SetPosition(int Value) {
  if (FPosition == Value) return;
  FPosition = Value;
  Changed();
}
void TOndWordWrap::SetStyle(TOndWordWrapStyle Value) {
  if (FStyle == Value) return;
  FStyle = Value;
  Changed();
}
void TOndWordWrap::Assign(const TOndWordWrap& Source) {
  FEnabled = Source.FEnabled;
  FPosition = Source.FPosition;
  FStyle = Source.FStyle;
  const TNotifyEvent saved = std::move(FIndicator.OnChange);
  FIndicator.OnChange = nullptr;
  FIndicator.Assign(Source.FIndicator);
  FIndicator.OnChange = saved;
  Changed();
}

// ---- scroll bars --------------------------------------------------------------

void TOndEditScrollBar::Assign(const TOndEditScrollBar& Source) {
  OnGetScrollInfo = Source.OnGetScrollInfo;
  OnSetScrollInfo = Source.OnSetScrollInfo;
  OnShowScrollBar = Source.OnShowScrollBar;
  OnEnabledScrollBar = Source.OnEnabledScrollBar;
}

void TOndScrollBars::Changed() {
  if (OnChange) OnChange(this);
}
void TOndScrollBars::SetScrollBars(TScrollStyle Value) {
  if (FScrollBars == Value) return;
  FScrollBars = Value;
  Changed();
}
void TOndScrollBars::SetStyle(TScrollBarsStyle Value) {
  if (FStyle == Value) return;
  FStyle = Value;
  Changed();
}
void TOndScrollBars::SetHintColor(TColor Value) {
  if (FHintColor == Value) return;
  FHintColor = Value;
  Changed();
}
void TOndScrollBars::SetHintFormat(TScrollHintFormat Value) {
  if (FHintFormat == Value) return;
  FHintFormat = Value;
  Changed();
}
void TOndScrollBars::SetHorizontal(TOndEditScrollBar* Value) {
  if (FHorizontal == Value) return;
  FHorizontal = Value;
  Changed();
}
void TOndScrollBars::SetVertical(TOndEditScrollBar* Value) {
  if (FVertical == Value) return;
  FVertical = Value;
  Changed();
}
void TOndScrollBars::Assign(const TOndScrollBars& Source) {
  FScrollBars = Source.FScrollBars;
  FStyle = Source.FStyle;
  FHintColor = Source.FHintColor;
  FHintFormat = Source.FHintFormat;
  FHorizontal = Source.FHorizontal;
  FVertical = Source.FVertical;
  Changed();
}

// ---- background picture -------------------------------------------------------

TOndEditBackground::TOndEditBackground() : FBackground(std::make_unique<TBitmap>()) {}
TOndEditBackground::~TOndEditBackground() = default;

void TOndEditBackground::Changed() {
  if (OnChange) OnChange(this);
}
void TOndEditBackground::SetBackground(const TBitmap& Value) {
  if (&Value == FBackground.get()) return;
  FBackground->Assign(Value);
  Changed();
}
void TOndEditBackground::SetVisible(bool Value) {
  if (FVisible == Value) return;
  FVisible = Value;
  Changed();
}
void TOndEditBackground::SetRepeatMode(TOndBackgroundRepeatMode Value) {
  if (FRepeatMode == Value) return;
  FRepeatMode = Value;
  Changed();
}
bool TOndEditBackground::Shows() const { return FVisible && FBackground->Width() > 0 && FBackground->Height() > 0; }

void TOndEditBackground::Draw(TCanvas* Canvas, const TRect& Rect, int OriginX, int OriginY, TColor FillColor) const {
  if (!Canvas || Rect.IsEmpty()) return;
  Canvas->Brush.Color = FillColor;
  Canvas->Brush.Style = TBrushStyle::bsSolid;
  Canvas->FillRect(Rect);
  if (!Shows()) return;
  const int w = FBackground->Width(), h = FBackground->Height();
  const bool across = FRepeatMode == brmHori || FRepeatMode == brmAll;
  const bool down = FRepeatMode == brmVert || FRepeatMode == brmAll;
  // Tiles are laid from the origin; only those meeting the rectangle are drawn.
  auto firstTile = [](int origin, int from, int size) {
    if (from <= origin) return origin;
    return origin + ((from - origin) / size) * size;
  };
  const int x0 = across ? firstTile(OriginX, Rect.Left, w) : OriginX;
  const int y0 = down ? firstTile(OriginY, Rect.Top, h) : OriginY;
  const TRect saved = Canvas->GetClipRect();
  Canvas->SetClipRect(Rect);
  for (int y = y0; y < Rect.Bottom; y += h) {
    for (int x = x0; x < Rect.Right; x += w) {
      if (x + w > Rect.Left && y + h > Rect.Top) Canvas->Draw(x, y, *FBackground);
      if (!across) break;
    }
    if (!down) break;
  }
  Canvas->ResetClip();
  Canvas->SetClipRect(saved);
}

void TOndEditBackground::Assign(const TOndEditBackground& Source) {
  if (&Source == this) return;
  FBackground->Assign(*Source.FBackground);
  FVisible = Source.FVisible;
  FRepeatMode = Source.FRepeatMode;
  Changed();
}

// ---- code folding -------------------------------------------------------------

TColor DeriveFolderBarColor(int Delta) {
  std::int32_t h, s, l;
  RGBToHSL(clBtnFace, h, s, l);
  return HSLToRGB(h, s, MinMax(l + Delta, 0, 100));
}

TOndCodeFolding::TOndCodeFolding() { FFolderBarLinesColor = DeriveFolderBarColor(-20); }

void TOndCodeFolding::Changed(int Event) {
  if (OnChange) OnChange(this, Event);
}
void TOndCodeFolding::SetEnabled(bool Value) {
  FEnabled = Value;
  Changed(fccEnabled);
}
void TOndCodeFolding::SetCollapsedCodeHint(bool Value) {
  FCollapsedCodeHint = Value;
  Changed(fccRepaint);
}
void TOndCodeFolding::SetCollapsedLineColor(TColor Value) {
  FCollapsedLineColor = Value;
  Changed(fccRepaint);
}
void TOndCodeFolding::SetCollapsingMarkStyle(TOndCollapsingMarkStyle Value) {
  FCollapsingMarkStyle = Value;
  Changed(fccRepaint);
}
void TOndCodeFolding::SetFolderBarColor(TColor Value) {
  FFolderBarColor = Value == clFolderBarDerived ? DeriveFolderBarColor(5) : Value;
  Changed(fccRepaint);
}
void TOndCodeFolding::SetFolderBarLinesColor(TColor Value) {
  FFolderBarLinesColor = Value == clFolderBarDerived ? DeriveFolderBarColor(-20) : Value;
  Changed(fccRepaint);
}
void TOndCodeFolding::SetHighlighterFoldRegions(bool Value) {
  FHighlighterFoldRegions = Value;
  Changed(fccRescan);
}
void TOndCodeFolding::SetHighlightIndentGuides(bool Value) {
  FHighlightIndentGuides = Value;
  Changed(fccRepaint);
}
void TOndCodeFolding::SetIndentGuides(bool Value) {
  FIndentGuides = Value;
  Changed(fccRepaint);
}
void TOndCodeFolding::SetShowCollapsedLine(bool Value) {
  FShowCollapsedLine = Value;
  Changed(fccRepaint);
}
void TOndCodeFolding::SetCaseSensitive(bool Value) {
  FCaseSensitive = Value;
  Changed(fccRescan);
}
namespace {
// Copies regions with their sub-regions and skip regions, breadth first.
void CopyFoldRegions(const TFoldRegions& From, TFoldRegions& To) {
  std::vector<std::pair<const TFoldRegions*, TFoldRegions*>> queue{{&From, &To}};
  for (std::size_t q = 0; q < queue.size(); ++q) {
    const TFoldRegions& src = *queue[q].first;
    TFoldRegions& dst = *queue[q].second;
    dst.Clear();
    dst.SkipRegions().Clear();
    for (int i = 0; i < src.SkipRegions().Count(); ++i) {
      const TSkipRegionItem* k = src.SkipRegions().Items(i);
      dst.SkipRegions().Add(k->Open, k->Close, k->RegionType, k->Escape);
    }
    for (int i = 0; i < src.Count(); ++i) {
      const TFoldRegionItem* r = src.Items(i);
      TFoldRegionItem* c = dst.Add(r->RegionType, r->AddEnding, r->AllowNoSubs, r->WholeWords, r->Open, r->Close);
      c->OpenRegex = r->OpenRegex;
      c->CloseRegex = r->CloseRegex;
      c->Name = r->Name;
      c->OpenUseRegex = r->OpenUseRegex;
      c->CloseUseRegex = r->CloseUseRegex;
      queue.emplace_back(&r->SubFoldRegions(), &c->SubFoldRegions());
    }
  }
}
}  // namespace

void TOndCodeFolding::Assign(const TOndCodeFolding& Source) {
  if (&Source != this) CopyFoldRegions(*Source.FFoldRegions, *FFoldRegions);
  FEnabled = Source.FEnabled;
  FCollapsedCodeHint = Source.FCollapsedCodeHint;
  FCollapsedLineColor = Source.FCollapsedLineColor;
  FCollapsingMarkStyle = Source.FCollapsingMarkStyle;
  FFolderBarColor = Source.FFolderBarColor;
  FFolderBarLinesColor = Source.FFolderBarLinesColor;
  FHighlighterFoldRegions = Source.FHighlighterFoldRegions;
  FHighlightIndentGuides = Source.FHighlightIndentGuides;
  FIndentGuides = Source.FIndentGuides;
  FShowCollapsedLine = Source.FShowCollapsedLine;
  FCaseSensitive = Source.FCaseSensitive;
  Changed(fccRescan);
}

// ---- marks --------------------------------------------------------------------

TOndEditMark::~TOndEditMark() {
  if (FOwner) FOwner->MarkFreed(this);
}

void TOndEditMark::Notify(int Line) {
  if (FOwner) FOwner->InvalidateGutterLine(Line);
}

void TOndEditMark::SetLine(int Value) {
  if (FVisible) {
    if (FLine > 0) Notify(FLine);
    FLine = Value;
    Notify(FLine);
  } else {
    FLine = Value;
  }
}
void TOndEditMark::SetImage(int Value) {
  FImage = Value;
  if (FVisible) Notify(FLine);
}
void TOndEditMark::SetUseInternalImage(bool Value) {
  FUseInternalImage = Value;
  if (FVisible) Notify(FLine);
}
void TOndEditMark::SetVisible(bool Value) {
  if (FVisible == Value) return;
  FVisible = Value;
  Notify(FLine);
}

TOndEditMarkList::~TOndEditMarkList() {
  // Marks tell their editor while they go; the list is already empty for them.
  std::vector<std::unique_ptr<TOndEditMark>> items = std::move(FItems);
  FItems.clear();
  while (!items.empty()) items.pop_back();
}

void TOndEditMarkList::Changed() {
  if (OnChange) OnChange(this);
}

int TOndEditMarkList::Add(std::unique_ptr<TOndEditMark> Mark) {
  if (!Mark) return -1;
  FItems.push_back(std::move(Mark));
  Changed();
  return Count() - 1;
}

void TOndEditMarkList::Delete(int Index) {
  if (Index < 0 || Index >= Count())
    throw EListError("List index out of bounds (" + IntToStr(Index) + ")");
  std::unique_ptr<TOndEditMark> m = std::move(FItems[static_cast<std::size_t>(Index)]);
  FItems.erase(FItems.begin() + Index);
  m.reset();
}

int TOndEditMarkList::Remove(TOndEditMark* Mark) {
  for (int i = 0; i < Count(); ++i) {
    if (FItems[static_cast<std::size_t>(i)].get() == Mark) {
      Delete(i);
      Changed();
      return i;
    }
  }
  return -1;
}

void TOndEditMarkList::Clear() {
  std::vector<std::unique_ptr<TOndEditMark>> items = std::move(FItems);
  FItems.clear();
  items.clear();
  Changed();
}

TOndEditMark* TOndEditMarkList::Items(int Index) const {
  if (Index < 0 || Index >= Count())
    throw EListError("List index out of bounds (" + IntToStr(Index) + ")");
  return FItems[static_cast<std::size_t>(Index)].get();
}

void TOndEditMarkList::MarksOnLine(int Line, TOndEditMarks& Marks) const {
  Marks.fill(nullptr);
  std::size_t n = 0;
  for (const auto& m : FItems) {
    if (m->GetLine() != Line) continue;
    Marks[n++] = m.get();
    if (n == Marks.size()) break;
  }
}

// ---- shared image strips ------------------------------------------------------

struct TOndInternalImageRecord {
  int UseCount = 0;
  std::string Name;
  std::unique_ptr<TBitmap> Bitmap;
};

namespace {
using TInternalResources = std::map<std::string, std::unique_ptr<TOndInternalImageRecord>>;
// Process-wide, by upper-case name; the list goes with its last record.
std::unique_ptr<TInternalResources>& InternalResources() {
  static std::unique_ptr<TInternalResources> list;
  return list;
}
}  // namespace

TOndInternalImage::TOndInternalImage(const std::string& Name, int Count) : FCount(std::max(1, Count)) {
  const std::string key = AsciiUpperCase(Name);
  auto& list = InternalResources();
  if (!list) list = std::make_unique<TInternalResources>();
  auto it = list->find(key);
  if (it == list->end()) {
    auto rec = std::make_unique<TOndInternalImageRecord>();
    rec->Name = key;
    rec->Bitmap = std::make_unique<TBitmap>();
    rec->Bitmap->LoadFromResourceName(Name);
    it = list->emplace(key, std::move(rec)).first;
  }
  FRecord = it->second.get();
  ++FRecord->UseCount;
  FWidth = (FRecord->Bitmap->Width() + FCount / 2) / FCount;
  FHeight = FRecord->Bitmap->Height();
}

TOndInternalImage::~TOndInternalImage() {
  auto& list = InternalResources();
  if (--FRecord->UseCount > 0 || !list) return;
  list->erase(FRecord->Name);
  if (list->empty()) list.reset();
}

const TBitmap* TOndInternalImage::Bitmap() const noexcept { return FRecord->Bitmap.get(); }

int TOndInternalImage::UseCount(const std::string& Name) {
  const auto& list = InternalResources();
  if (!list) return 0;
  auto it = list->find(AsciiUpperCase(Name));
  return it == list->end() ? 0 : it->second->UseCount;
}

void TOndInternalImage::Draw(TCanvas* Canvas, int Number, int X, int Y, int LineHeight) const {
  if (!Canvas || Number < 0 || Number >= FCount || FWidth <= 0) return;
  DrawInLine(Canvas, *FRecord->Bitmap, Number * FWidth, FWidth, FHeight, X, Y, LineHeight, clNone);
}

}  // namespace ond
