#include "editor/OndTextDrawer.h"

#include <algorithm>

namespace ond {

namespace {
const char* const kNoValue = "SetBaseFont: 'Value' must be specified.";
}

std::string FontComparisonKey(const TFont& Font) {
  return Font.GetName() + '\x01' + IntToStr(Font.GetHeight()) + '\x01' + ((Font.GetStyle() & fsBold) ? "700" : "400") +
         '\x01' + IntToStr(static_cast<int>(Font.GetPitch())) + '\x01' + IntToStr(Font.Charset);
}

// ---- manager --------------------------------------------------------------------

TheFontsInfoManager::~TheFontsInfoManager() = default;

TSharedFontInfo* TheFontsInfoManager::AcquireFontInfo(const TFont* BaseFont) {
  OND_ASSERT(BaseFont != nullptr);
  const std::string key = FontComparisonKey(*BaseFont);
  for (const auto& info : FList) {
    if (info->BaseLogicalFont == key) {
      ++info->RefCount;
      return info.get();
    }
  }
  auto info = std::make_unique<TSharedFontInfo>();
  info->BaseFont.Assign(*BaseFont);
  info->BaseLogicalFont = key;
  // Code page 1251 fonts are single-byte; every font drawn here is scalable.
  info->IsDoubleByteFont = false;
  info->IsTrueType = true;
  info->RefCount = 1;
  FList.push_back(std::move(info));
  return FList.back().get();
}

void TheFontsInfoManager::ReleaseFontInfo(TSharedFontInfo* Info) {
  OND_ASSERT(Info != nullptr);
  if (Info->LockCount >= Info->RefCount && Info->LockCount > 0)
    throw EAssertionFailed("Call DeactivateFontsInfo before calling this.");
  if (Info->RefCount < 2) {
    std::erase_if(FList, [Info](const std::unique_ptr<TSharedFontInfo>& p) { return p.get() == Info; });
  } else {
    --Info->RefCount;
  }
}

void TheFontsInfoManager::LockFontInfo(TSharedFontInfo* Info) { ++Info->LockCount; }

void TheFontsInfoManager::UnlockFontInfo(TSharedFontInfo* Info) {
  if (--Info->LockCount > 0) return;
  Info->LockCount = 0;
  for (THeStyleEntry& e : Info->StyleEntries) e = THeStyleEntry{};
}

TheFontsInfoManager* GetFontsInfoManager() {
  static TheFontsInfoManager manager;
  return &manager;
}

// ---- font stock -----------------------------------------------------------------

namespace {
// The measuring surface shared by every stock.
TBitmap& ScreenBitmap() {
  static TBitmap* bitmap = new TBitmap(1, 1);  // lives to the end of the program
  return *bitmap;
}
}  // namespace

TheFontStock::TheFontStock(const TFont* InitialFont) { SetBaseFont(InitialFont); }

TheFontStock::~TheFontStock() {
  ReleaseFontInfo();
  OND_ASSERT(FDCRefCount == 0);
}

void TheFontStock::ReleaseFontInfo() {
  if (!FInfo) return;
  if (FUsingFontHandles) {
    GetFontsInfoManager()->UnlockFontInfo(FInfo);
    FUsingFontHandles = false;
  }
  GetFontsInfoManager()->ReleaseFontInfo(FInfo);
  FInfo = nullptr;
  FCurrentEntry = nullptr;
  FCurrentFont = nullptr;
}

TCanvas* TheFontStock::AcquireScreenDC() {
  ++FDCRefCount;
  return ScreenBitmap().Canvas();
}

void TheFontStock::ReleaseScreenDC(TCanvas*) {
  if (FDCRefCount > 0) --FDCRefCount;
}

void TheFontStock::SetBaseFont(const TFont* Value) {
  if (!Value) throw EheFontStockException(kNoValue);
  TSharedFontInfo* info = GetFontsInfoManager()->AcquireFontInfo(Value);
  if (info == FInfo) {
    GetFontsInfoManager()->ReleaseFontInfo(info);
    return;
  }
  ReleaseFontInfo();
  FInfo = info;
  FBaseLF.Assign(info->BaseFont);
  SetStyle(Value->GetStyle());
}

std::unique_ptr<TFont> TheFontStock::CreateStyleFont(TFontStyles Style) {
  auto font = std::make_unique<TFont>();
  font->Assign(FBaseLF);
  font->SetStyle(Style & (fsBold | fsItalic | fsUnderline | fsStrikeOut));
  return font;
}

int TheFontStock::MeasureFont(TCanvas* DC, int& Height, int* DoubleByteAdvance) {
  TTextMetric tm;
  DC->GetTextMetrics(tm);
  int advance = DC->CharWidth('M') + tm.tmOverhang;
  if (advance <= 0) advance = tm.tmAveCharWidth;
  Height = std::abs(tm.tmHeight);
  if (DoubleByteAdvance) *DoubleByteAdvance = 0x7FFFFFFF;
  return advance;
}

THeStyleEntry* TheFontStock::StyleEntry(TFontStyles Style) {
  if (!FInfo) return nullptr;
  return &FInfo->StyleEntries[Style & 0x0F];
}

void TheFontStock::SetStyle(TFontStyles Style) {
  Style &= 0x0F;
  if (!FInfo) return;
  if (!FUsingFontHandles) {
    GetFontsInfoManager()->LockFontInfo(FInfo);
    FUsingFontHandles = true;
  }
  THeStyleEntry* entry = StyleEntry(Style);
  if (!entry->Handle) {
    entry->Handle = CreateStyleFont(Style);
    TCanvas* dc = AcquireScreenDC();
    dc->Font.Assign(*entry->Handle);
    int height = 0, dbAdvance = 0;
    entry->Advance = MeasureFont(dc, height, FInfo->IsDoubleByteFont ? &dbAdvance : nullptr);
    entry->Height = height;
    entry->DoubleByteAdvance = FInfo->IsDoubleByteFont ? dbAdvance : 0;
    ReleaseScreenDC(dc);
  }
  FStyle = Style;
  FCurrentEntry = entry;
  FCurrentFont = entry->Handle.get();
  FCurrentAdvance = entry->Advance;
}

void TheFontStock::UnlockHandles() {
  if (!FUsingFontHandles || !FInfo) return;
  GetFontsInfoManager()->UnlockFontInfo(FInfo);
  FUsingFontHandles = false;
  FCurrentEntry = nullptr;
  FCurrentFont = nullptr;
}

// ---- drawer ---------------------------------------------------------------------

TheTextDrawer::TheTextDrawer(TFontStyles BaseStyle, const TFont* BaseFont) {
  if (!BaseFont) throw EheTextDrawerException(kNoValue);
  FFontStock = std::make_unique<TheFontStock>(BaseFont);
  FBaseStyle = BaseStyle & 0x0F;
  SetBaseFont(BaseFont);
}

TheTextDrawer::~TheTextDrawer() {
  if (FDC) {
    FDrawingCount = 1;
    EndDraw();
  }
}

int TheTextDrawer::StyleAdvance(TFontStyles Style) {
  const TFontStyles keep = FFontStock->GetStyle();
  FFontStock->SetStyle(Style);
  const int a = FFontStock->GetAdvance();
  FFontStock->SetStyle(keep);
  FCurrentFont = FFontStock->GetFontHandle();
  return a;
}

int TheTextDrawer::StyleHeight(TFontStyles Style) {
  const TFontStyles keep = FFontStock->GetStyle();
  FFontStock->SetStyle(Style);
  const int h = FFontStock->GetHeight();
  FFontStock->SetStyle(keep);
  FCurrentFont = FFontStock->GetFontHandle();
  return h;
}

void TheTextDrawer::SetBaseFont(const TFont* Value) {
  if (!Value) throw EheTextDrawerException(kNoValue);
  FreeAdvanceArray();
  FFontStock->SetBaseFont(Value);
  FFontStock->SetStyle(FBaseStyle);
  FCellWidth = std::max(1, FFontStock->GetAdvance());
  FCellHeight = std::max(1, FFontStock->GetHeight());
  SetStyle(Value->GetStyle());
}

void TheTextDrawer::SetBaseStyle(TFontStyles Value) {
  Value &= 0x0F;
  if (FBaseStyle == Value) return;
  FBaseStyle = Value;
  FreeAdvanceArray();
  const TFontStyles keep = FFontStock->GetStyle();
  FFontStock->SetStyle(FBaseStyle);
  FCellWidth = std::max(1, FFontStock->GetAdvance());
  FCellHeight = std::max(1, FFontStock->GetHeight());
  FFontStock->SetStyle(keep);
  FCurrentFont = FFontStock->GetFontHandle();
}

void TheTextDrawer::SetStyle(TFontStyles Value) {
  Value &= 0x0F;
  FStyle = Value;
  FFontStock->SetStyle(Value);
  FCurrentFont = FFontStock->GetFontHandle();
  if (FDC) SelectCurrentFont();
}

void TheTextDrawer::SelectCurrentFont() {
  if (!FDC || !FCurrentFont) return;
  FDC->Font.Assign(*FCurrentFont);
  FDC->Font.SetColor(FColor);
}

void TheTextDrawer::ApplyColors() {
  if (!FDC) return;
  FDC->Font.SetColor(FColor);
  FDC->Brush.Color = FBkColor;
  FDC->Brush.Style = TBrushStyle::bsSolid;
}

void TheTextDrawer::BeginDraw(TCanvas* DC) {
  OND_ASSERT(DC != nullptr);
  if (FDC == DC) {
    ++FDrawingCount;
    return;
  }
  OND_ASSERT(FDC == nullptr && FDrawingCount == 0);
  FDC = DC;
  FSavedFont.Assign(DC->Font);
  FSavedBrush = DC->Brush;
  if (!FCurrentFont) SetStyle(FStyle);
  SelectCurrentFont();
  ApplyColors();
  ++FDrawingCount;
}

void TheTextDrawer::EndDraw() {
  OND_ASSERT(FDrawingCount >= 1);
  if (--FDrawingCount > 0) return;
  if (FDC) {
    FDC->Font.Assign(FSavedFont);
    FDC->Brush = FSavedBrush;
  }
  FDC = nullptr;
}

void TheTextDrawer::SetForegroundColor(TColor Value) {
  if (FColor == Value) return;
  FColor = Value;
  if (FDC) FDC->Font.SetColor(Value);
}

void TheTextDrawer::SetBackgroundColor(TColor Value) {
  if (FBkColor == Value) return;
  FBkColor = Value;
  if (FDC) FDC->Brush.Color = Value;
}

void TheTextDrawer::SetExtraSpacing(int Value) {
  if (FExtraSpacing == Value) return;
  FExtraSpacing = Value;
  FreeAdvanceArray();
}

void TheTextDrawer::TextOut(int X, int Y, std::string_view Text) {
  if (!FDC) return;
  FDC->TextOut(X, Y, Text);
}

void TheTextDrawer::ExtTextOut(int X, int Y, unsigned Options, const TRect& Rect, std::string_view Text) {
  if (!FDC) return;
  const std::size_t len = Text.size();
  if (len > FETODist.size()) FETODist.assign((len & ~std::size_t{63}) + 64, FCellWidth + FExtraSpacing);
  FDC->Brush.Style = TBrushStyle::bsSolid;
  FDC->ExtTextOut(X, Y, Options, &Rect, Text, FETODist.data());
}

void TheTextDrawer::ReleaseHandles() {
  FFontStock->UnlockHandles();
  FCurrentFont = nullptr;
}

}  // namespace ond
