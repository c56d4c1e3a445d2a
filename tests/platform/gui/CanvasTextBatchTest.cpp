// Opaque text whose right side is painted over later is kept back by the
// canvas and drawn with the text after it on its row: the pixels must be
// those of every piece drawn at once in its own clip, and a row of tokens
// must cost one fill per stretch of a background and one glyph run per font
// and colour.
#include <gtest/gtest.h>

#include <QImage>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <random>
#include <string>
#include <vector>

#include "platform/Graphics.h"

namespace ond {
namespace {

struct TPiece {
  std::string Text;
  TFontStyles Style;
  TColor Foreground, Background;
};

constexpr int kCell = 8;   // advance of every character
constexpr int kBand = 17;  // height of a row

// A row of pieces from left to right on the band at Top, then the rest of
// the row filled, as the editor paints a row; Later says the pieces are
// painted over on their right (and may be kept back), else each is clipped
// to its cells and drawn at once.
void PaintRow(TCanvas& C, const std::vector<TPiece>& Row, int Top, int Width, bool Later) {
  int x = 2;
  std::vector<int> advances(256, kCell);
  for (const TPiece& p : Row) {
    C.Font.SetName("Courier New");
    C.Font.SetHeight(-13);
    C.Font.SetStyle(p.Style);
    C.Font.SetColor(p.Foreground);
    C.Brush.Color = p.Background;
    C.Brush.Style = TBrushStyle::bsSolid;
    const TRect r = Rect(x, Top, x + static_cast<int>(p.Text.size()) * kCell, Top + kBand);
    C.ExtTextOut(x, Top + 1, ETO_OPAQUE | ETO_CLIPPED | (Later ? ETO_RIGHT_PAINTED_LATER : 0), &r, p.Text,
                 advances.data());
    x = r.Right;
  }
  C.Brush.Color = clWhite;
  C.FillRect(Rect(x, Top, Width, Top + kBand));
}

// Rows of random pieces: bytes 32 to 255 and blanks, the five styles the
// editor uses, few colours so that pieces share runs, backgrounds changing
// as a selection changes them.
std::vector<std::vector<TPiece>> RandomRows(unsigned Seed, int Rows) {
  std::mt19937 rng(Seed);
  const TFontStyles styles[] = {0, fsBold, fsItalic, fsBold | fsItalic, fsUnderline};
  const TColor fgs[] = {clBlack, clNavy, clMaroon, clGreen};
  const TColor bgs[] = {clWhite, clWhite, clWhite, clYellow};
  std::vector<std::vector<TPiece>> out(static_cast<std::size_t>(Rows));
  for (auto& row : out) {
    const int pieces = 1 + static_cast<int>(rng() % 10);
    for (int i = 0; i < pieces; ++i) {
      TPiece p;
      const int n = 1 + static_cast<int>(rng() % 5);
      for (int k = 0; k < n; ++k) p.Text += rng() % 4 == 0 ? ' ' : static_cast<char>(32 + rng() % 224);
      p.Style = styles[rng() % 5];
      p.Foreground = fgs[rng() % 4];
      p.Background = bgs[rng() % 4];
      row.push_back(p);
    }
  }
  return out;
}

bool SamePixels(const TBitmap& A, const TBitmap& B) {
  return A.Image().convertToFormat(QImage::Format_ARGB32) == B.Image().convertToFormat(QImage::Format_ARGB32);
}

TEST(CanvasTextBatch, KeptBackRowsDrawWhatEachPieceDrawsInItsOwnClip) {
  constexpr int kW = 420, kRows = 24;
  for (unsigned seed = 1; seed <= 40; ++seed) {
    const auto rows = RandomRows(seed, kRows);
    TBitmap kept(kW, kRows * kBand), alone(kW, kRows * kBand);
    for (TBitmap* b : {&kept, &alone}) {
      TCanvas& c = *b->Canvas();
      c.Brush.Color = clSilver;
      c.FillRect(Rect(0, 0, kW, kRows * kBand));
      // A canvas clip that cuts rows on every side, for odd seeds.
      if (seed % 2) c.SetClipRect(Rect(13, 5, kW - 31, kRows * kBand - 9));
      for (int i = 0; i < kRows; ++i) PaintRow(c, rows[static_cast<std::size_t>(i)], i * kBand, kW, b == &kept);
      c.ResetClip();
    }
    ASSERT_TRUE(SamePixels(kept, alone)) << "seed " << seed;
  }
}

// Every byte beside every other sort of neighbour: its ink is clipped to its
// own cells exactly as when drawn alone, in each style.
TEST(CanvasTextBatch, EveryByteBesideOtherColoursStaysInItsCells) {
  const TFontStyles styles[] = {0, fsBold, fsItalic, fsBold | fsItalic, fsUnderline};
  for (TFontStyles style : styles) {
    std::vector<std::vector<TPiece>> rows;
    for (int ch = 33; ch < 256; ch += 8) {
      std::vector<TPiece> row;
      for (int k = ch; k < std::min(256, ch + 8); ++k) {
        row.push_back({std::string(1, static_cast<char>(k)), style, clBlack, clWhite});
        row.push_back({std::string(2, static_cast<char>(k)), style, clNavy, clWhite});
        row.push_back({std::string(1, static_cast<char>(k)), style, clBlack, clYellow});
      }
      rows.push_back(row);
    }
    const int h = static_cast<int>(rows.size()) * kBand;
    TBitmap kept(600, h), alone(600, h);
    for (TBitmap* b : {&kept, &alone}) {
      for (std::size_t i = 0; i < rows.size(); ++i)
        PaintRow(*b->Canvas(), rows[i], static_cast<int>(i) * kBand, 600, b == &kept);
    }
    ASSERT_TRUE(SamePixels(kept, alone)) << "style " << int(style);
  }
}

// A paint device that counts what reaches its engine.
class TCountingEngine : public QPaintEngine {
 public:
  TCountingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}
  int Fills = 0, TextItems = 0, ClipChanges = 0;
  bool begin(QPaintDevice*) override { return true; }
  bool end() override { return true; }
  void updateState(const QPaintEngineState& state) override {
    if (state.state() & (QPaintEngine::DirtyClipRegion | QPaintEngine::DirtyClipEnabled | QPaintEngine::DirtyClipPath))
      ++ClipChanges;
  }
  void drawRects(const QRect*, int count) override { Fills += count; }
  void drawRects(const QRectF*, int count) override { Fills += count; }
  void drawTextItem(const QPointF&, const QTextItem&) override { ++TextItems; }
  void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
  Type type() const override { return QPaintEngine::User; }
};

class TCountingDevice : public QPaintDevice {
 public:
  TCountingEngine Engine;
  QPaintEngine* paintEngine() const override { return const_cast<TCountingEngine*>(&Engine); }

 protected:
  int metric(PaintDeviceMetric m) const override {
    switch (m) {
      case PdmWidth: return 800;
      case PdmHeight: return 100;
      case PdmDpiX: case PdmDpiY: case PdmPhysicalDpiX: case PdmPhysicalDpiY: return 96;
      case PdmDepth: return 32;
      case PdmDevicePixelRatio: return 1;
      case PdmDevicePixelRatioScaled: return static_cast<int>(devicePixelRatioFScale());
      default: return 0;
    }
  }
};

TEST(CanvasTextBatch, ARowCostsAFillPerBackgroundAndARunPerColour) {
  TCountingDevice device;
  QPainter painter(&device);
  TCanvas c;
  c.BeginPainting(&painter, Rect(0, 0, 800, 100));
  // Twelve tokens in three colours on one background, then a selected
  // stretch and the row's end: a fill of the white, one of the navy and one
  // of the white again; three runs for the unselected colours and one for
  // the selected. (Narrow glyphs, whose ink stays in their cells.)
  std::vector<TPiece> row;
  const TColor colours[] = {clNavy, clMaroon, clGreen};
  for (int i = 0; i < 12; ++i) row.push_back({i % 2 ? std::string(" ") + ":." : "',", 0, colours[i % 3], clWhite});
  row.push_back({".:", 0, clWhite, clNavy});
  PaintRow(c, row, 17, 800, true);
  c.EndPainting();
  EXPECT_EQ(device.Engine.Fills, 3);
  EXPECT_EQ(device.Engine.TextItems, 4);
  painter.end();
}

TEST(CanvasTextBatch, TheClipIsSetOnlyWhenItChanges) {
  TCountingDevice device;
  QPainter painter(&device);
  TCanvas c;
  c.BeginPainting(&painter, Rect(0, 0, 800, 100));
  const int before = device.Engine.ClipChanges;
  c.SetClipRect(Rect(0, 0, 400, 50));
  c.Brush.Color = clRed;
  c.FillRect(Rect(0, 0, 10, 10));
  c.ResetClip();
  c.FillRect(Rect(0, 0, 10, 10));
  c.ResetClip();
  c.SetClipRect(Rect(0, 0, 400, 50));
  c.FillRect(Rect(0, 0, 10, 10));
  c.SetClipRect(Rect(0, 0, 400, 50));  // the same clip again
  c.FillRect(Rect(0, 0, 10, 10));
  c.EndPainting();
  painter.end();
  // Set, reset, set: the second reset and the repeated rectangle change nothing.
  EXPECT_EQ(device.Engine.ClipChanges - before, 3);
}

// Whoever takes the painter draws after the text kept back, and the canvas
// no longer trusts the clip it set.
TEST(CanvasTextBatch, ThePainterTakenDrawsAfterTheTextKeptBack) {
  TBitmap b(200, 40);
  TCanvas& c = *b.Canvas();
  c.Brush.Color = clWhite;
  c.FillRect(Rect(0, 0, 200, 40));
  c.Font.SetName("Courier New");
  c.Font.SetHeight(-13);
  c.Font.SetColor(clBlack);
  c.Brush.Color = clYellow;
  const TRect r = Rect(0, 0, 80, 17);
  c.ExtTextOut(0, 1, ETO_OPAQUE | ETO_CLIPPED | ETO_RIGHT_PAINTED_LATER, &r, "WWWW", nullptr);
  c.Painter()->fillRect(QRect(0, 0, 5, 5), Qt::blue);
  EXPECT_EQ(c.GetPixel(1, 1), clBlue);
  EXPECT_EQ(c.GetPixel(79, 16), clYellow);
  c.SetClipRect(Rect(0, 0, 100, 40));
  c.Painter()->setClipRect(QRect(0, 0, 1, 1));
  c.SetClipRect(Rect(0, 0, 100, 40));  // must be set again: the painter's clip changed
  c.Brush.Color = clRed;
  c.FillRect(Rect(50, 20, 60, 30));
  EXPECT_EQ(c.GetPixel(55, 25), clRed);
}

}  // namespace
}  // namespace ond
