#include "platform/Graphics.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QRawFont>
#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>
#include <mutex>

#include "platform/QtBridge.h"
#include "platform/Resources.h"
#include "platform/core/CodePage.h"
#include "platform/core/Types.h"
#include "platform/core/SysUtils.h"

namespace ond {

// ---- colours ----------------------------------------------------------------

// System colour n from the application's palette.
static TColor PaletteSysColor(std::int32_t index) {
  const QPalette pal = QApplication::palette();
  QColor c;
  switch (index) {
    case 0: c = pal.color(QPalette::Button); break;                  // scroll bar
    case 1: c = pal.color(QPalette::Dark); break;                    // desktop
    case 2: case 27: c = pal.color(QPalette::Active, QPalette::Highlight); break;
    case 3: case 28: c = pal.color(QPalette::Inactive, QPalette::Highlight); break;
    case 4: case 30: c = pal.color(QPalette::Window); break;         // menu
    case 5: c = pal.color(QPalette::Base); break;                    // window
    case 6: c = pal.color(QPalette::Shadow); break;                  // window frame
    case 7: case 8: c = pal.color(QPalette::Text); break;            // menu text, window text
    case 9: c = pal.color(QPalette::Active, QPalette::HighlightedText); break;
    case 10: case 11: c = pal.color(QPalette::Button); break;
    case 12: c = pal.color(QPalette::Mid); break;                    // application work space
    case 13: case 29: c = pal.color(QPalette::Highlight); break;
    case 14: c = pal.color(QPalette::HighlightedText); break;
    case 15: c = pal.color(QPalette::Button); break;                 // button face
    case 16: c = pal.color(QPalette::Mid); break;                    // button shadow
    case 17: c = pal.color(QPalette::Disabled, QPalette::Text); break;
    case 18: c = pal.color(QPalette::ButtonText); break;
    case 19: c = pal.color(QPalette::Inactive, QPalette::HighlightedText); break;
    case 20: c = pal.color(QPalette::Light); break;                  // button highlight
    case 21: c = pal.color(QPalette::Shadow); break;
    case 22: c = pal.color(QPalette::Midlight); break;
    case 23: c = pal.color(QPalette::ToolTipText); break;
    case 24: c = pal.color(QPalette::ToolTipBase); break;
    case 26: c = pal.color(QPalette::Link); break;
    default: c = QColor(0, 0, 0); break;
  }
  return RGB(c.red(), c.green(), c.blue());
}

void UsePaletteColors() {
  static std::once_flag once;
  std::call_once(once, [] { SetSysColorProc(PaletteSysColor); });
}

QColor ToQColor(TColor color) {
  UsePaletteColors();
  const TColor c = ColorToRGB(color);
  return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

// ---- fonts ------------------------------------------------------------------

TFont::TFont() = default;

void TFont::Changed() {
  if (OnChange) OnChange(this);
}
void TFont::SetName(const std::string& name) {
  if (name == FName) return;
  FName = name;
  Changed();
}
void TFont::SetHeight(int height) {
  if (height == FHeight) return;
  FHeight = height;
  Changed();
}
int TFont::GetSize() const { return -MulDiv(FHeight, 72, ScreenPixelsPerInch); }
void TFont::SetSize(int points) { SetHeight(-MulDiv(points, ScreenPixelsPerInch, 72)); }
void TFont::SetStyle(TFontStyles style) {
  if (style == FStyle) return;
  FStyle = style;
  Changed();
}
void TFont::SetColor(TColor color) {
  if (color == FColor) return;
  FColor = color;
  Changed();
}
void TFont::SetPitch(TFontPitch pitch) {
  if (pitch == FPitch) return;
  FPitch = pitch;
  Changed();
}
void TFont::Assign(const TFont& other) {
  if (SameAs(other) && Charset == other.Charset) return;
  FName = other.FName;
  FHeight = other.FHeight;
  FStyle = other.FStyle;
  FColor = other.FColor;
  FPitch = other.FPitch;
  Charset = other.Charset;
  Changed();
}
bool TFont::SameAs(const TFont& o) const {
  return FName == o.FName && FHeight == o.FHeight && FStyle == o.FStyle && FColor == o.FColor && FPitch == o.FPitch;
}

std::string TFont::ResolveFamily(const std::string& name) {
  static const char* const monospaceNames[] = {"Courier New", "Courier", "Lucida Console", "Consolas", "Fixedsys",
                                               "Terminal"};
  bool mono = false;
  for (const char* m : monospaceNames)
    if (SameText(name, m)) mono = true;
  if (!mono) return name;
  static std::string resolved;
  static std::once_flag once;
  std::call_once(once, [] {
    const QStringList families = QFontDatabase::families();
    for (const char* candidate : {"Liberation Mono", "DejaVu Sans Mono"}) {
      if (families.contains(QString::fromLatin1(candidate), Qt::CaseInsensitive)) {
        resolved = candidate;
        return;
      }
    }
    resolved = QFontDatabase::systemFont(QFontDatabase::FixedFont).family().toStdString();
  });
  return resolved;
}

QFont MakeQFont(const TFont& f) {
  QFont q(QString::fromStdString(TFont::ResolveFamily(f.GetName())));
  q.setPixelSize(std::max(1, std::abs(f.GetHeight())));
  q.setBold(f.GetStyle() & fsBold);
  q.setItalic(f.GetStyle() & fsItalic);
  q.setUnderline(f.GetStyle() & fsUnderline);
  q.setStrikeOut(f.GetStyle() & fsStrikeOut);
  q.setKerning(false);
  q.setHintingPreference(QFont::PreferFullHinting);
  if (f.GetPitch() == TFontPitch::fpFixed) {
    q.setFixedPitch(true);
    q.setStyleHint(QFont::Monospace);
  }
  return q;
}

// ---- canvas -----------------------------------------------------------------

namespace {
struct FontCacheEntry;
}  // namespace

// Opaque text whose right side is painted over afterwards, kept back while
// more of it follows to the right on the same band: a row of highlighted
// tokens then costs one fill per stretch of one background and one glyph
// run per font and colour, not a fill, a pen and a run for every token. The
// pieces do not overlap and each one's ink stays in its own rectangle (or is
// clipped to it), so the order they are drawn in changes no pixel.
// A piece whose ink may reach only sideways into the pieces beside it is
// drawn early instead, before their fills, which paint over what reached
// them as their fills did when each piece was drawn in turn.
struct TCanvas::TTextBatch {
  enum TPhase { Early, Inside, Clipped };
  struct Fill {
    QRect Rect;
    QColor Color;
    bool Early;
  };
  struct Run {
    const FontCacheEntry* Font = nullptr;
    QColor Color;
    // A clipped run is clipped to the rectangle of its one piece: a clip of
    // several rectangles would have Qt blend the glyphs another way.
    TPhase Phase = Inside;
    TRect Clip;
    QList<quint32> Glyphs;
    QList<QPointF> Positions;
  };
  std::vector<Fill> Fills;
  std::vector<Run> Runs;  // the first Used are pending; the others keep their buffers
  std::size_t Used = 0;
  int Top = 0, Bottom = 0, Right = 0;
  // The last piece: its left and whether it is drawn early.
  int LastLeft = 0;
  bool LastEarly = false;
  // The pieces drawn early and where their ink may fall.
  std::vector<QRect> EarlyRects, EarlyReaches;
  bool Empty() const { return Fills.empty() && Used == 0; }
};

QPainter* TCanvas::Painter() const {
  // Whoever draws with the painter draws after what the canvas kept back,
  // and may set its clip.
  FlushText();
  FPainterClipKnown = false;
  return FPainter;
}

bool TCanvas::HandleAllocated() const { return FPainter != nullptr; }

void TCanvas::BeginPainting(QPainter* painter, const TRect& surface) {
  FlushText();
  FPainter = painter;
  FSurface = surface;
  FClipped = false;
  FPainterClipKnown = false;
}
void TCanvas::EndPainting() {
  FlushText();
  FPainter = nullptr;
  FClipped = false;
  FPainterClipKnown = false;
}

void TCanvas::ApplyPen() {
  if (Pen.Style == TPenStyle::psClear) {
    FPainter->setPen(Qt::NoPen);
  } else {
    QPen p(ToQColor(Pen.Color));
    p.setWidth(std::max(1, Pen.Width));
    p.setCapStyle(Qt::FlatCap);
    p.setJoinStyle(Qt::MiterJoin);
    switch (Pen.Style) {
      case TPenStyle::psDash: p.setStyle(Qt::DashLine); break;
      case TPenStyle::psDot: p.setStyle(Qt::DotLine); break;
      case TPenStyle::psDashDot: p.setStyle(Qt::DashDotLine); break;
      case TPenStyle::psDashDotDot: p.setStyle(Qt::DashDotDotLine); break;
      default: p.setStyle(Qt::SolidLine); break;
    }
    FPainter->setPen(p);
  }
  switch (Pen.Mode) {
    case TPenMode::pmXor: FPainter->setCompositionMode(QPainter::RasterOp_SourceXorDestination); break;
    case TPenMode::pmNot: FPainter->setCompositionMode(QPainter::RasterOp_NotDestination); break;
    default: FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver); break;
  }
}

void TCanvas::ApplyBrush() {
  if (Brush.Style == TBrushStyle::bsClear)
    FPainter->setBrush(Qt::NoBrush);
  else
    FPainter->setBrush(ToQColor(Brush.Color));
}

void TCanvas::FillRect(const TRect& r) {
  if (!FPainter || IsRectEmpty(r) || Brush.Style == TBrushStyle::bsClear) return;
  // Right of text kept back on its band: filled with it.
  if (FBatch && !FBatch->Empty() && JoinBand(r)) {
    AddFill(r, false);
    return;
  }
  FlushText();
  FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  FPainter->fillRect(ToQRect(r), ToQColor(Brush.Color));
}

void TCanvas::FrameRect(const TRect& r) {
  FlushText();
  if (!FPainter || IsRectEmpty(r)) return;
  FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  const QColor c = ToQColor(Brush.Color);
  FPainter->fillRect(QRect(r.Left, r.Top, RectWidth(r), 1), c);
  FPainter->fillRect(QRect(r.Left, r.Bottom - 1, RectWidth(r), 1), c);
  FPainter->fillRect(QRect(r.Left, r.Top, 1, RectHeight(r)), c);
  FPainter->fillRect(QRect(r.Right - 1, r.Top, 1, RectHeight(r)), c);
}

void TCanvas::Rectangle(int l, int t, int r, int b) {
  FlushText();
  if (!FPainter || r <= l || b <= t) return;
  if (Brush.Style != TBrushStyle::bsClear) {
    FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    FPainter->fillRect(QRect(l, t, r - l, b - t), ToQColor(Brush.Color));
  }
  if (Pen.Style == TPenStyle::psClear) return;
  ApplyPen();
  FPainter->setBrush(Qt::NoBrush);
  // The outline lies on the outermost pixels of the rectangle.
  FPainter->drawRect(QRectF(l + 0.5, t + 0.5, r - l - 1, b - t - 1));
  FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TCanvas::MoveTo(int x, int y) { FPenPos = TPoint{x, y}; }

void TCanvas::LineTo(int x, int y) {
  FlushText();
  const TPoint from = FPenPos;
  FPenPos = TPoint{x, y};
  if (!FPainter || Pen.Style == TPenStyle::psClear || from == FPenPos) return;
  // Lines leave out their end point; pixel centres keep one-pixel lines crisp.
  const double dx = x - from.X, dy = y - from.Y;
  const double len = std::max(std::abs(dx), std::abs(dy));
  const double ex = x - dx / len, ey = y - dy / len;
  if (Pen.Width <= 1 && (dx == 0 || dy == 0)) {
    const int x0 = std::min(from.X, static_cast<int>(ex)), x1 = std::max(from.X, static_cast<int>(ex));
    const int y0 = std::min(from.Y, static_cast<int>(ey)), y1 = std::max(from.Y, static_cast<int>(ey));
    if (Pen.Style == TPenStyle::psSolid && Pen.Mode == TPenMode::pmCopy) {
      // A solid one-pixel line along an axis is a filled rectangle: no pen.
      FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
      FPainter->fillRect(QRect(x0, y0, x1 - x0 + 1, y1 - y0 + 1), ToQColor(Pen.Color));
      return;
    }
  }
  ApplyPen();
  FPainter->drawLine(QPointF(from.X + 0.5, from.Y + 0.5), QPointF(ex + 0.5, ey + 0.5));
  FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TCanvas::Polyline(const std::vector<TPoint>& points) {
  if (points.empty()) return;
  MoveTo(points[0].X, points[0].Y);
  for (std::size_t i = 1; i < points.size(); ++i) LineTo(points[i].X, points[i].Y);
}

void TCanvas::Polygon(const std::vector<TPoint>& points) {
  FlushText();
  if (!FPainter || points.empty()) return;
  QPolygon poly;
  for (const TPoint& p : points) poly << QPoint(p.X, p.Y);
  ApplyPen();
  ApplyBrush();
  FPainter->drawPolygon(poly);
  FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void TCanvas::Ellipse(int l, int t, int r, int b) {
  FlushText();
  if (!FPainter) return;
  ApplyPen();
  ApplyBrush();
  FPainter->drawEllipse(QRectF(l + 0.5, t + 0.5, r - l - 1, b - t - 1));
  FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

namespace {
struct FontCacheEntry {
  QFont font;
  std::unique_ptr<QFontMetrics> metrics;
  int ascent = 0, height = 0;  // the metrics' ascent, and ascent and descent
  QRawFont raw;
  int advances[256];
  // The raw font's glyph of every byte (a line break drawn as a blank) and
  // whether it has one; the bytes up to the blank need none.
  quint32 glyphs[256];
  bool drawable[256];
  // Whether a glyph has ink (a blank has none), and where its pixels may
  // fall around its pen position on the baseline, found when first asked.
  bool inked[256];
  const QRect& Ink(unsigned char c) const;

 private:
  mutable bool measured[256] = {};
  mutable QRect ink[256];
};

// The pixels glyph c covers when drawn on an image, around its pen position,
// and one more on every side: a screen that renders glyphs for its
// sub-pixels spreads them up to a pixel further. Its box and a pixel around
// it when it draws nothing there or reaches the image's border.
const QRect& FontCacheEntry::Ink(unsigned char c) const {
  if (measured[c]) return ink[c];
  measured[c] = true;
  const QRectF box = raw.boundingRect(glyphs[c]);
  const QRect boxInk(QPoint(static_cast<int>(std::floor(box.left())) - 1, static_cast<int>(std::floor(box.top())) - 1),
                     QPoint(static_cast<int>(std::ceil(box.right())), static_cast<int>(std::ceil(box.bottom()))));
  const int pen = 2 * (height + advances['W']) + 4;
  QImage image(2 * pen, 2 * pen, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    painter.setPen(Qt::black);
    QGlyphRun run;
    run.setRawFont(raw);
    run.setGlyphIndexes({glyphs[c]});
    run.setPositions({QPointF(pen, pen)});
    painter.drawGlyphRun(QPointF(0, 0), run);
  }
  int left = image.width(), top = image.height(), right = -1, bottom = -1;
  for (int y = 0; y < image.height(); ++y) {
    const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x)
      if (qAlpha(line[x]) != 0) {
        left = std::min(left, x);
        right = std::max(right, x);
        top = std::min(top, y);
        bottom = std::max(bottom, y);
      }
  }
  if (right < 0 || left == 0 || top == 0 || right == image.width() - 1 || bottom == image.height() - 1)
    ink[c] = boxInk;
  else
    ink[c] = QRect(QPoint(left - pen - 1, top - pen - 1), QPoint(right - pen + 1, bottom - pen + 1));
  return ink[c];
}

struct FontKey {
  std::string name;
  int height, style, pitch;
  bool operator<(const FontKey& o) const {
    return std::tie(name, height, style, pitch) < std::tie(o.name, o.height, o.style, o.pitch);
  }
  bool Is(const TFont& f) const {
    return height == f.GetHeight() && style == static_cast<int>(f.GetStyle()) &&
           pitch == static_cast<int>(f.GetPitch()) && name == f.GetName();
  }
};

FontCacheEntry& CachedFont(const TFont& f) {
  // Text is drawn run after run in the same font: the last one is checked
  // first, without building a key.
  thread_local std::map<FontKey, std::unique_ptr<FontCacheEntry>> cache;
  thread_local const std::pair<const FontKey, std::unique_ptr<FontCacheEntry>>* last = nullptr;
  if (last && last->first.Is(f)) return *last->second;
  FontKey key{f.GetName(), f.GetHeight(), static_cast<int>(f.GetStyle()), static_cast<int>(f.GetPitch())};
  auto it = cache.find(key);
  if (it == cache.end()) {
    auto e = std::make_unique<FontCacheEntry>();
    e->font = MakeQFont(f);
    e->metrics = std::make_unique<QFontMetrics>(e->font);
    e->ascent = e->metrics->ascent();
    e->height = e->ascent + e->metrics->descent();
    e->raw = QRawFont::fromFont(e->font);
    for (int c = 0; c < 256; ++c) {
      const QChar ch(AnsiToWide(static_cast<unsigned char>(c)));
      e->advances[c] = c < 32 ? e->metrics->horizontalAdvance(QChar(' ')) : e->metrics->horizontalAdvance(ch);
      const QList<quint32> g =
          e->raw.isValid() ? e->raw.glyphIndexesForString(QString(c == '\n' ? QChar(' ') : ch)) : QList<quint32>();
      e->glyphs[c] = g.size() == 1 ? g[0] : 0;
      e->drawable[c] = g.size() == 1 && (g[0] != 0 || c <= 32);
      e->inked[c] = e->drawable[c] && !e->raw.boundingRect(e->glyphs[c]).isEmpty();
    }
    it = cache.emplace(std::move(key), std::move(e)).first;
  }
  last = &*it;
  return *it->second;
}
}  // namespace

int TCanvas::CharWidth(unsigned char c) const { return CachedFont(Font).advances[c]; }

int TCanvas::TextWidth(std::string_view text) const {
  const FontCacheEntry& e = CachedFont(Font);
  int w = 0;
  for (unsigned char c : text) w += e.advances[c];
  return w;
}

int TCanvas::TextHeight(std::string_view) const {
  const FontCacheEntry& e = CachedFont(Font);
  return e.height;
}

TSize TCanvas::TextExtent(std::string_view text) const { return TSize{TextWidth(text), TextHeight(text)}; }

void TCanvas::GetTextMetrics(TTextMetric& tm) const {
  const FontCacheEntry& e = CachedFont(Font);
  tm.tmAscent = e.metrics->ascent();
  tm.tmDescent = e.metrics->descent();
  tm.tmHeight = tm.tmAscent + tm.tmDescent;
  tm.tmInternalLeading = std::max(0, tm.tmHeight - e.font.pixelSize());
  tm.tmExternalLeading = std::max(0, e.metrics->leading());
  tm.tmAveCharWidth = e.metrics->averageCharWidth();
  int maxw = 0;
  for (int c = 32; c < 256; ++c) maxw = std::max(maxw, e.advances[c]);
  tm.tmMaxCharWidth = maxw;
  tm.tmOverhang = 0;
}

namespace {
// The glyphs of text drawn from pen position x on the baseline, appended to
// glyphs and positions, and where their ink may fall; false, with nothing
// appended, when the font lacks a character. A glyph without ink is left
// out unless a line is drawn along the text.
bool AppendGlyphs(const FontCacheEntry& e, int x, int baseline, std::string_view text, const int* advances,
                  QList<quint32>& glyphs, QList<QPointF>& positions, QRect& reach) {
  if (text.empty()) return false;
  const bool lines = e.font.underline() || e.font.strikeOut();
  // The lists keep their room from run to run: no reserving here, which
  // would grow them by a piece at a time.
  const qsizetype had = glyphs.size();
  int pos = x;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (!e.drawable[c]) {
      glyphs.resize(had);
      positions.resize(had);
      return false;
    }
    if (lines || e.inked[c]) {
      glyphs.append(e.glyphs[c]);
      positions.append(QPointF(pos, baseline));
      if (e.inked[c]) reach |= e.Ink(c).translated(pos, baseline);
    }
    pos += advances ? advances[i] : e.advances[c];
  }
  return true;
}

void DrawGlyphs(QPainter& painter, const FontCacheEntry& e, const QList<quint32>& glyphs,
                const QList<QPointF>& positions) {
  QGlyphRun run;
  run.setRawFont(e.raw);
  run.setGlyphIndexes(glyphs);
  run.setPositions(positions);
  run.setUnderline(e.font.underline());
  run.setStrikeOut(e.font.strikeOut());
  painter.drawGlyphRun(QPointF(0, 0), run);
}
}  // namespace

bool TCanvas::JoinBand(const TRect& r) const {
  const TTextBatch& b = *FBatch;
  return r.Top == b.Top && r.Bottom == b.Bottom && r.Left >= b.Right;
}

void TCanvas::AddFill(const TRect& r, bool early) {
  TTextBatch& b = *FBatch;
  const QRect band = ToQRect(r);
  const QColor color = ToQColor(Brush.Color);
  if (!b.Fills.empty() && b.Fills.back().Color == color && b.Fills.back().Early == early &&
      b.Fills.back().Rect.right() + 1 == band.left())
    b.Fills.back().Rect.setRight(band.right());
  else
    b.Fills.push_back({band, color, early});
  b.LastLeft = r.Left;
  b.LastEarly = early;
  b.Top = r.Top;
  b.Bottom = r.Bottom;
  b.Right = r.Right;
}

bool TCanvas::DeferText(int x, int y, const TRect& r, std::string_view text, const int* advances) {
  if (!FBatch) FBatch = std::make_unique<TTextBatch>();
  TTextBatch& b = *FBatch;
  if (!b.Empty() && !JoinBand(r)) FlushText();
  const FontCacheEntry& e = CachedFont(Font);
  const QColor color = ToQColor(Font.GetColor());
  const bool lines = e.font.underline() || e.font.strikeOut();
  if (b.Used == b.Runs.size()) b.Runs.emplace_back();
  // Most text joins an unclipped run of its font and colour: its glyphs go
  // there at once, and move to a run of their own when they need a clip.
  TTextBatch::Run* target = &b.Runs[b.Used];
  target->Glyphs.clear();
  target->Positions.clear();
  for (std::size_t i = 0; i < b.Used && !lines; ++i)
    if (b.Runs[i].Phase == TTextBatch::Inside && b.Runs[i].Font == &e && b.Runs[i].Color == color)
      target = &b.Runs[i];
  const qsizetype had = target->Glyphs.size();
  QRect reach;
  if (!AppendGlyphs(e, x, y + e.ascent, text, advances, target->Glyphs, target->Positions, reach)) return false;
  const QRect band = ToQRect(r);
  // Early when its ink may reach only into the piece before it, which
  // touches it and is filled after it, or right of it, which is painted over
  // later; and no piece drawn early reaches it or is reached by it.
  bool early = !lines && target->Glyphs.size() > had && !band.contains(reach) && reach.top() >= band.top() &&
               reach.bottom() <= band.bottom() && !b.Fills.empty() && !b.LastEarly && b.Right == r.Left &&
               reach.left() >= b.LastLeft;
  for (std::size_t k = 0; k < b.EarlyRects.size() && early; ++k)
    early = !b.EarlyReaches[k].intersects(band) && !reach.intersects(b.EarlyRects[k]);
  AddFill(r, early);
  if (target->Glyphs.size() == had) return true;
  if (target != &b.Runs[b.Used]) {
    if (band.contains(reach)) return true;
    TTextBatch::Run& own = b.Runs[b.Used];
    own.Glyphs = target->Glyphs.mid(had);
    own.Positions = target->Positions.mid(had);
    target->Glyphs.resize(had);
    target->Positions.resize(had);
  }
  TTextBatch::Run& run = b.Runs[b.Used];
  run.Font = &e;
  run.Color = color;
  if (early) {
    b.EarlyRects.push_back(band);
    b.EarlyReaches.push_back(reach);
    for (std::size_t i = 0; i < b.Used; ++i) {
      TTextBatch::Run& joined = b.Runs[i];
      if (joined.Phase == TTextBatch::Early && joined.Font == &e && joined.Color == color) {
        joined.Glyphs.append(run.Glyphs);
        joined.Positions.append(run.Positions);
        return true;
      }
    }
    run.Phase = TTextBatch::Early;
    ++b.Used;
    return true;
  }
  // A line along the text, or ink that may leave the rectangle otherwise:
  // clipped to it on its own.
  run.Phase = lines || !band.contains(reach) ? TTextBatch::Clipped : TTextBatch::Inside;
  run.Clip = FClipped ? IntersectRect(FClip, r) : r;
  ++b.Used;
  return true;
}

void TCanvas::FlushText() const {
  if (!FBatch || FBatch->Empty()) return;
  TTextBatch& b = *FBatch;
  if (FPainter) {
    FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    auto fill = [&](bool early) {
      for (const TTextBatch::Fill& f : b.Fills)
        if (f.Early == early) FPainter->fillRect(f.Rect, f.Color);
    };
    auto draw = [&](TTextBatch::TPhase phase) {
      for (std::size_t i = 0; i < b.Used; ++i) {
        const TTextBatch::Run& run = b.Runs[i];
        if (run.Phase != phase) continue;
        FPainter->setPen(run.Color);
        if (phase == TTextBatch::Clipped) SetPainterClip(true, run.Clip);
        DrawGlyphs(*FPainter, *run.Font, run.Glyphs, run.Positions);
      }
    };
    // The runs in their own clips last, the canvas's clip put back once.
    fill(true);
    draw(TTextBatch::Early);
    fill(false);
    draw(TTextBatch::Inside);
    draw(TTextBatch::Clipped);
    if (std::any_of(b.Runs.begin(), b.Runs.begin() + static_cast<std::ptrdiff_t>(b.Used),
                    [](const TTextBatch::Run& run) { return run.Phase == TTextBatch::Clipped; }))
      RestoreClip();
  }
  b.Fills.clear();
  b.EarlyRects.clear();
  b.EarlyReaches.clear();
  b.Used = 0;
}

TCanvas::TCanvas() {
  Font.SetColor(clWindowText);
}
TCanvas::~TCanvas() = default;

void TCanvas::RestoreClip() const { SetPainterClip(FClipped, FClip); }

void TCanvas::SetPainterClip(bool clipped, const TRect& clip) const {
  // Setting the clip the painter has costs as much as a new one.
  if (FPainterClipKnown && FPainterClipped == clipped && (!clipped || FPainterClip == clip)) return;
  if (clipped)
    FPainter->setClipRect(ToQRect(clip));
  else
    FPainter->setClipping(false);
  FPainterClipKnown = true;
  FPainterClipped = clipped;
  FPainterClip = clip;
}

void TCanvas::DrawChars(int x, int y, std::string_view text, const int* advances, const TRect* clip,
                        bool rightPaintedLater) {
  const FontCacheEntry& e = CachedFont(Font);
  const int baseline = y + e.ascent;
  FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  FPainter->setPen(ToQColor(Font.GetColor()));
  // The run's own clip, set only where a glyph could reach out of it; the
  // canvas knows its clip and puts it back, cheaper than saving and
  // restoring the whole painter state.
  auto clipped = [&](auto draw) {
    if (!clip) return draw();
    SetPainterClip(true, FClipped ? IntersectRect(FClip, *clip) : *clip);
    draw();
    RestoreClip();
  };
  // The glyphs straight from the font's table, at their cells: no text
  // layout, and the buffers are kept from run to run.
  thread_local QList<quint32> glyphs;
  thread_local QList<QPointF> positions;
  glyphs.clear();
  positions.clear();
  QRect reach;
  if (AppendGlyphs(e, x, baseline, text, advances, glyphs, positions, reach)) {
    if (glyphs.isEmpty()) return;
    const bool lines = e.font.underline() || e.font.strikeOut();
    if (clip && !lines) {
      QRect bounds = ToQRect(*clip);
      if (rightPaintedLater && !bounds.isEmpty()) bounds.setRight(std::max(bounds.right(), reach.right()));
      if (bounds.contains(reach)) clip = nullptr;
    }
    clipped([&] { DrawGlyphs(*FPainter, e, glyphs, positions); });
    return;
  }
  // A character the font lacks: let Qt find a fallback font per character.
  const QString s = AnsiToQString(text).replace(QChar('\n'), QChar(' '));
  FPainter->setFont(e.font);
  clipped([&] {
    int pos = x;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (static_cast<unsigned char>(text[i]) > 32)
        FPainter->drawText(QPoint(pos, baseline), QString(s[static_cast<qsizetype>(i)]));
      pos += advances ? advances[i] : e.advances[static_cast<unsigned char>(text[i])];
    }
  });
}

void TCanvas::TextOut(int x, int y, std::string_view text) {
  FlushText();
  if (!FPainter || text.empty()) return;
  if (Brush.Style != TBrushStyle::bsClear)
    FPainter->fillRect(QRect(x, y, TextWidth(text), TextHeight(text)), ToQColor(Brush.Color));
  DrawChars(x, y, text, nullptr, nullptr, false);
}

void TCanvas::TextRect(const TRect& r, int x, int y, std::string_view text) {
  ExtTextOut(x, y, ETO_CLIPPED | (Brush.Style != TBrushStyle::bsClear ? ETO_OPAQUE : 0), &r, text, nullptr);
}

void TCanvas::ExtTextOut(int x, int y, unsigned options, const TRect* r, std::string_view text, const int* advances) {
  if (!FPainter) return;
  constexpr unsigned kDeferred = ETO_OPAQUE | ETO_CLIPPED | ETO_RIGHT_PAINTED_LATER;
  if (r && (options & kDeferred) == kDeferred) {
    if (IsRectEmpty(*r) || DeferText(x, y, *r, text, advances)) return;
  }
  FlushText();
  if (r && (options & ETO_OPAQUE)) {
    FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    FPainter->fillRect(ToQRect(*r), ToQColor(Brush.Color));
  }
  if (!text.empty())
    DrawChars(x, y, text, advances, r && (options & ETO_CLIPPED) ? r : nullptr, options & ETO_RIGHT_PAINTED_LATER);
}

void TCanvas::Draw(int x, int y, const TBitmap& bitmap) {
  FlushText();
  if (!FPainter || bitmap.Width() == 0) return;
  FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  FPainter->drawImage(QPoint(x, y), bitmap.Image());
}

void TCanvas::DrawPart(int x, int y, const TBitmap& bitmap, const TRect& src, TColor transparentColor) {
  FlushText();
  const TRect part = IntersectRect(src, Bounds(0, 0, bitmap.Width(), bitmap.Height()));
  if (!FPainter || part.IsEmpty()) return;
  FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  const int dx = x + part.Left - src.Left, dy = y + part.Top - src.Top;
  if (transparentColor == clNone) {
    FPainter->drawImage(QPoint(dx, dy), bitmap.Image(), ToQRect(part));
    return;
  }
  QImage img = bitmap.Image().copy(ToQRect(part)).convertToFormat(QImage::Format_ARGB32);
  const TColor m = ColorToRGB(transparentColor);
  const QRgb mask = qRgb(GetRValue(m), GetGValue(m), GetBValue(m)) & 0xFFFFFF;
  for (int py = 0; py < img.height(); ++py) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(py));
    for (int px = 0; px < img.width(); ++px)
      if ((line[px] & 0xFFFFFF) == mask) line[px] = 0;
  }
  FPainter->drawImage(QPoint(dx, dy), img);
}

void TCanvas::StretchDraw(const TRect& dest, const TBitmap& bitmap) {
  FlushText();
  if (!FPainter || bitmap.Width() == 0) return;
  FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  FPainter->drawImage(ToQRect(dest), bitmap.Image());
}

void TCanvas::CopyRect(const TRect& dest, const TCanvas& source, const TRect& src) {
  FlushText();
  source.FlushText();
  if (!FPainter) return;
  QImage* img = source.Image();
  if (!img) return;
  FPainter->setCompositionMode(QPainter::CompositionMode_Source);
  FPainter->drawImage(ToQRect(dest), *img, ToQRect(src));
  FPainter->setCompositionMode(QPainter::CompositionMode_SourceOver);
}

TRect TCanvas::GetClipRect() const {
  if (!FPainter) return TRect{};
  return FClipped ? FClip : FSurface;
}

void TCanvas::SetClipRect(const TRect& r) {
  FlushText();
  if (!FPainter) return;
  FClip = IntersectRect(GetClipRect(), r);
  FClipped = true;
  SetPainterClip(true, FClip);
}

void TCanvas::ResetClip() {
  FlushText();
  if (!FPainter) return;
  FClipped = false;
  SetPainterClip(false, TRect{});
}

TColor TCanvas::GetPixel(int x, int y) const {
  FlushText();
  QImage* img = Image();
  if (!img || x < 0 || y < 0 || x >= img->width() || y >= img->height()) return clNone;
  const QRgb p = img->pixel(x, y);
  return RGB(qRed(p), qGreen(p), qBlue(p));
}

void TCanvas::SetPixel(int x, int y, TColor color) {
  FlushText();
  QImage* img = Image();
  if (!img || x < 0 || y < 0 || x >= img->width() || y >= img->height()) return;
  const TColor c = ColorToRGB(color);
  img->setPixel(x, y, qRgb(GetRValue(c), GetGValue(c), GetBValue(c)));
}

// ---- bitmaps ----------------------------------------------------------------

class TBitmap::TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap* owner) : FOwner(owner) {}
  ~TBitmapCanvas() override { Unbind(); }
  void Bind() {
    Unbind();
    QImage& img = *FOwner->FImage;
    if (img.isNull()) return;
    FQPainter = std::make_unique<QPainter>(&img);
    BeginPainting(FQPainter.get(), Bounds(0, 0, img.width(), img.height()));
  }
  void Unbind() {
    if (!FQPainter) return;
    EndPainting();
    FQPainter->end();
    FQPainter.reset();
  }

 protected:
  QImage* Image() const override { return FOwner->FImage.get(); }

 private:
  TBitmap* FOwner;
  std::unique_ptr<QPainter> FQPainter;
};

TBitmap::TBitmap() : FImage(std::make_unique<QImage>()), FCanvas(std::make_unique<TBitmapCanvas>(this)) {}
TBitmap::TBitmap(int width, int height) : TBitmap() { SetSize(width, height); }
TBitmap::~TBitmap() { FCanvas.reset(); }

int TBitmap::Width() const { return FImage->width(); }
int TBitmap::Height() const { return FImage->height(); }
QImage& TBitmap::Image() const {
  FCanvas->FlushText();
  return *FImage;
}

void TBitmap::Rebind() {
  FCanvas->Bind();
}

void TBitmap::SetSize(int width, int height) {
  width = std::max(0, width);
  height = std::max(0, height);
  if (width == Width() && height == Height()) return;
  FCanvas->Unbind();
  QImage img(width, height, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::white);
  if (!FImage->isNull()) {
    QPainter p(&img);
    p.drawImage(0, 0, *FImage);
  }
  *FImage = std::move(img);
  if (width > 0 && height > 0) Rebind();
}

TCanvas* TBitmap::Canvas() { return FCanvas.get(); }
const TCanvas* TBitmap::Canvas() const { return FCanvas.get(); }

bool TBitmap::LoadFromResourceName(const std::string& name) {
  InitResources();
  QImage img;
  for (const char* ext : {".png", ".xpm", ""}) {
    if (img.load(QString::fromStdString(":/images/" + name + ext))) break;
  }
  if (img.isNull()) return false;
  FCanvas->Unbind();
  *FImage = img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  Rebind();
  return true;
}

bool TBitmap::LoadFromFile(const std::string& fileName) {
  QImage img;
  if (!img.load(PathToQString(fileName))) return false;
  FCanvas->Unbind();
  *FImage = img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  Rebind();
  return true;
}

bool TBitmap::SaveToFile(const std::string& fileName) const { return FImage->save(PathToQString(fileName)); }

void TBitmap::Assign(const TBitmap& other) {
  if (&other == this) return;
  FCanvas->Unbind();
  *FImage = other.FImage->copy();
  Transparent = other.Transparent;
  if (!FImage->isNull()) Rebind();
}

}  // namespace ond
