// Fonts, pens, brushes, the canvas that draws with them, and off-screen
// bitmaps. Text is code page 1251; every character has an integer advance, so
// text drawn with explicit advances lines up exactly with measured text.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Types.h"

class QPainter;
class QImage;
class QFont;

namespace ond {

enum class TFontPitch { fpDefault, fpVariable, fpFixed };

// Screen resolution the point sizes of the original are converted with.
constexpr int ScreenPixelsPerInch = 96;

class TFont {
 public:
  TFont();
  // Height in pixels: negative is the character height (without internal
  // leading), as the original's font heights.
  std::string GetName() const { return FName; }
  void SetName(const std::string& name);
  int GetHeight() const { return FHeight; }
  void SetHeight(int height);
  int GetSize() const;  // points
  void SetSize(int points);
  TFontStyles GetStyle() const { return FStyle; }
  void SetStyle(TFontStyles style);
  TColor GetColor() const { return FColor; }
  void SetColor(TColor color);
  TFontPitch GetPitch() const { return FPitch; }
  void SetPitch(TFontPitch pitch);
  int Charset = 1;  // DEFAULT_CHARSET; kept for the callers that copy it
  void Assign(const TFont& other);
  bool SameAs(const TFont& other) const;
  std::function<void(TFont*)> OnChange;

  // The installed family that draws this font: the Windows monospace names
  // become Liberation Mono, or DejaVu Sans Mono when that is missing.
  static std::string ResolveFamily(const std::string& name);

 private:
  void Changed();
  std::string FName = "Tahoma";
  int FHeight = -11;
  TFontStyles FStyle = 0;
  TColor FColor = clWindowText;
  TFontPitch FPitch = TFontPitch::fpDefault;
};

enum class TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear };
enum class TPenMode { pmCopy, pmXor, pmNot };

struct TPen {
  TColor Color = clBlack;
  int Width = 1;
  TPenStyle Style = TPenStyle::psSolid;
  TPenMode Mode = TPenMode::pmCopy;
};

enum class TBrushStyle { bsSolid, bsClear };

struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = TBrushStyle::bsSolid;
};

struct TTextMetric {
  int tmHeight = 0;
  int tmAscent = 0;
  int tmDescent = 0;
  int tmInternalLeading = 0;
  int tmExternalLeading = 0;
  int tmAveCharWidth = 0;
  int tmMaxCharWidth = 0;
  int tmOverhang = 0;
};

// Options of ExtTextOut.
constexpr unsigned ETO_OPAQUE = 0x0002;
constexpr unsigned ETO_CLIPPED = 0x0004;
// With ETO_CLIPPED: whatever lies right of the rectangle is painted over
// afterwards, so ink reaching there needs no clip. With ETO_OPAQUE too, the
// canvas may keep the text back and draw it together with the text that
// follows it on the same band (what else is drawn draws after it).
constexpr unsigned ETO_RIGHT_PAINTED_LATER = 0x10000;

class TBitmap;

class TCanvas {
 public:
  TCanvas();
  virtual ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  TFont Font;
  TPen Pen;
  TBrush Brush;

  // True while the canvas has a surface to draw on (a bitmap always; a
  // control during its painting).
  bool HandleAllocated() const;

  void FillRect(const TRect& r);
  void FrameRect(const TRect& r);
  // Outline with the pen, inside filled with the brush; right and bottom are
  // exclusive.
  void Rectangle(int l, int t, int r, int b);
  void Rectangle(const TRect& r) { Rectangle(r.Left, r.Top, r.Right, r.Bottom); }
  void MoveTo(int x, int y);
  // Draws to (x, y) without its end point.
  void LineTo(int x, int y);
  TPoint PenPos() const { return FPenPos; }
  void Polyline(const std::vector<TPoint>& points);
  void Polygon(const std::vector<TPoint>& points);
  void Ellipse(int l, int t, int r, int b);

  // Text with its top-left at (x, y); the background is filled with the brush
  // unless the brush is clear.
  void TextOut(int x, int y, std::string_view text);
  // Text clipped to r.
  void TextRect(const TRect& r, int x, int y, std::string_view text);
  // Text with optional background rectangle and clipping and, when advances is
  // not null, the given advance of every character.
  void ExtTextOut(int x, int y, unsigned options, const TRect* r, std::string_view text, const int* advances);
  int TextWidth(std::string_view text) const;
  int TextHeight(std::string_view text) const;
  TSize TextExtent(std::string_view text) const;
  int CharWidth(unsigned char c) const;
  void GetTextMetrics(TTextMetric& tm) const;

  void Draw(int x, int y, const TBitmap& bitmap);
  void CopyRect(const TRect& dest, const TCanvas& source, const TRect& src);
  void StretchDraw(const TRect& dest, const TBitmap& bitmap);
  // Draws the part src of the bitmap with its top-left at (x, y); pixels of
  // transparentColor (unless it is clNone) are left out.
  void DrawPart(int x, int y, const TBitmap& bitmap, const TRect& src, TColor transparentColor = clNone);

  // Clipping: the current clip rectangle (the whole surface when none is set).
  TRect GetClipRect() const;
  void SetClipRect(const TRect& r);  // intersects with the current clip
  void ResetClip();

  // Pixel access of bitmap canvases (0x00BBGGRR); controls answer clNone.
  TColor GetPixel(int x, int y) const;
  void SetPixel(int x, int y, TColor color);

  // Window layer only: the painter while a surface is bound.
  QPainter* Painter() const;
  void BeginPainting(QPainter* painter, const TRect& surface);
  void EndPainting();
  // Draws the text kept back.
  void FlushText() const;

 protected:
  virtual QImage* Image() const { return nullptr; }
  TRect FSurface;

 private:
  void ApplyPen();
  void ApplyBrush();
  // Clipped to clip when it is given and a glyph could reach out of it (out
  // of its left, top or bottom only, when rightPaintedLater).
  void DrawChars(int x, int y, std::string_view text, const int* advances, const TRect* clip, bool rightPaintedLater);
  // Keeps opaque text back (false when it cannot be: a character the font
  // lacks); r is its rectangle, not empty.
  bool DeferText(int x, int y, const TRect& r, std::string_view text, const int* advances);
  // Whether r lies on the band of the text kept back, right of it all.
  bool JoinBand(const TRect& r) const;
  // The brush's fill of r, kept back with the text (filled first when early).
  void AddFill(const TRect& r, bool early);
  // Puts the canvas's clip back on the painter.
  void RestoreClip() const;
  void SetPainterClip(bool clipped, const TRect& clip) const;
  struct TTextBatch;
  mutable std::unique_ptr<TTextBatch> FBatch;
  QPainter* FPainter = nullptr;
  TPoint FPenPos;
  bool FClipped = false;
  TRect FClip;
  // The clip last set on the painter, while no one else may have set one.
  mutable bool FPainterClipKnown = false;
  mutable bool FPainterClipped = false;
  mutable TRect FPainterClip;
};

// Off-screen picture with its own canvas.
class TBitmap {
 public:
  TBitmap();
  TBitmap(int width, int height);
  ~TBitmap();
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;

  int Width() const;
  int Height() const;
  void SetSize(int width, int height);
  void SetWidth(int w) { SetSize(w, Height()); }
  void SetHeight(int h) { SetSize(Width(), h); }
  TCanvas* Canvas();
  const TCanvas* Canvas() const;
  // Loads an image of the program's resources by name ("CheckImages").
  bool LoadFromResourceName(const std::string& name);
  bool LoadFromFile(const std::string& fileName);
  bool SaveToFile(const std::string& fileName) const;
  void Assign(const TBitmap& other);
  bool Transparent = false;

  // Window layer only.
  QImage& Image() const;

 private:
  class TBitmapCanvas;
  void Rebind();
  std::unique_ptr<QImage> FImage;
  std::unique_ptr<TBitmapCanvas> FCanvas;
};

}  // namespace ond
