// Option objects, marks, shared image strips and the text drawer.
#include <gtest/gtest.h>

#include "editor/OndEditMiscClasses.h"
#include "editor/OndTextDrawer.h"

namespace ond {
namespace {

TEST(EditOptions, GutterClampsAndNotifiesOnlyOnChange) {
  TOndGutter g;
  int changes = 0;
  g.OnChange = [&](TObject*) { ++changes; };
  EXPECT_EQ(g.GetWidth(), 30);
  EXPECT_EQ(g.GetColor(), clBtnFace);
  EXPECT_EQ(g.GetBorderStyle(), gbsMiddle);
  EXPECT_EQ(g.Font().GetName(), "Courier New");
  EXPECT_EQ(g.Font().GetSize(), 8);
  g.SetDigitCount(20);
  EXPECT_EQ(g.GetDigitCount(), 12);
  g.SetDigitCount(0);
  EXPECT_EQ(g.GetDigitCount(), 2);
  g.SetGradientSteps(1);
  EXPECT_EQ(g.GetGradientSteps(), 2);
  g.SetLeftOffset(-3);
  EXPECT_EQ(g.GetLeftOffset(), 0);
  g.SetWidth(-1);
  EXPECT_EQ(g.GetWidth(), 0);
  changes = 0;
  g.SetWidth(0);
  g.SetColor(clBtnFace);
  EXPECT_EQ(changes, 0);
  g.Font().SetSize(10);
  EXPECT_EQ(changes, 1);
  g.Cursor = crArrow;  // silent
  EXPECT_EQ(changes, 1);
  TOndGutter copy;
  int copyChanges = 0;
  copy.OnChange = [&](TObject*) { ++copyChanges; };
  copy.Assign(g);
  EXPECT_EQ(copyChanges, 1);
  EXPECT_EQ(copy.GetDigitCount(), 2);
  EXPECT_EQ(copy.Font().GetSize(), 10);
}

TEST(EditOptions, GutterLineNumbers) {
  TOndGutter g;
  g.SetLineNumberStart(0);
  EXPECT_TRUE(g.GetZeroStart());
  EXPECT_EQ(g.LineNumberText(1), "   0");
  g.SetLineNumberStart(5);
  EXPECT_FALSE(g.GetZeroStart());
  EXPECT_EQ(g.LineNumberText(1), "   5");
  g.SetLineNumberStart(1);

  g.SetShowLineNumbers(true);
  g.SetAutoSize(true);
  g.SetDigitCount(2);
  int changes = 0;
  g.OnChange = [&](TObject*) { ++changes; };
  g.UpdateAutoDigits(12345);
  EXPECT_EQ(g.GetAutoSizeDigitCount(), 5);
  EXPECT_EQ(changes, 1);
  g.UpdateAutoDigits(12345);
  EXPECT_EQ(changes, 1);
  g.SetLeadingZeros(true);
  EXPECT_EQ(g.LineNumberText(7), "00007");
  EXPECT_EQ(g.GutterPixelWidth(8), 16 + 2 + 5 * 8 + 4);
  g.SetAutoSize(false);
  g.UpdateAutoDigits(12345);  // silently back to the digit count
  EXPECT_EQ(g.GetAutoSizeDigitCount(), 2);
  g.SetShowLineNumbers(false);
  EXPECT_EQ(g.GutterPixelWidth(8), 30);
  g.SetVisible(false);
  EXPECT_EQ(g.GutterPixelWidth(8), 0);
}

TEST(EditOptions, CodeFoldingNotifiesEverySetWithItsKind) {
  TOndCodeFolding cf;
  std::vector<int> kinds;
  cf.OnChange = [&](TObject*, int kind) { kinds.push_back(kind); };
  EXPECT_FALSE(cf.GetEnabled());
  EXPECT_EQ(cf.GetFolderBarColor(), clFolderBarDerived);
  const TColor lines = cf.GetFolderBarLinesColor();
  EXPECT_EQ(lines & ~0xFFFFFF, 0);  // derived into a plain colour
  cf.SetEnabled(false);
  cf.SetIndentGuides(true);
  cf.SetCaseSensitive(false);
  EXPECT_EQ(kinds, (std::vector<int>{fccEnabled, fccRepaint, fccRescan}));
  cf.SetFolderBarColor(clFolderBarDerived);
  EXPECT_EQ(cf.GetFolderBarColor() & ~0xFFFFFF, 0);
  // Lightness + 5 of the button face is never darker than the face itself.
  const TColor face = ColorToRGB(clBtnFace);
  EXPECT_GE(GetGValue(cf.GetFolderBarColor()) + 2, GetGValue(face));
  // Clamped at the ends of the lightness scale.
  EXPECT_EQ(DeriveFolderBarColor(200), 0xFFFFFF);
  EXPECT_EQ(DeriveFolderBarColor(-200), 0x000000);
}

TEST(EditOptions, OtherDefaults) {
  TOndSelectedColor sc;
  EXPECT_EQ(sc.GetBackground(), clHighlight);
  EXPECT_EQ(sc.GetForeground(), clHighlightText);
  TOndRightEdge re;
  EXPECT_TRUE(re.GetVisible());
  EXPECT_EQ(re.GetPosition(), 80);
  EXPECT_EQ(re.GetColor(), 0xC0C0C0);
  TOndActiveLine al;
  EXPECT_EQ(al.GetBackground(), 0x00FFFF);
  EXPECT_EQ(al.GetForeground(), 0x800000);
  int alChanges = 0;
  al.OnChange = [&](TObject*) { ++alChanges; };
  al.Indicator().SetVisible(false);
  EXPECT_EQ(alChanges, 1);
  TOndLineDivider ld;
  EXPECT_FALSE(ld.GetVisible());
  EXPECT_EQ(ld.GetColor(), 0x0000FF);
  TOndWordWrap ww;
  EXPECT_FALSE(ww.GetEnabled());
  EXPECT_EQ(ww.GetStyle(), wwsClientWidth);
  EXPECT_GT(ww.Indicator().Width(), 0);  // the built-in wrap glyph
  TOndScrollBars sb;
  EXPECT_EQ(sb.GetScrollBars(), ssBoth);
  EXPECT_EQ(sb.GetHintColor(), clInfoBk);
  TOndBookMarkOpt bo(nullptr);
  EXPECT_TRUE(bo.GetDrawBookmarksFirst());
  EXPECT_EQ(bo.GetLeftMargin(), 2);
  EXPECT_EQ(bo.GetXoffset(), 12);
  TOndEditBackground bg;
  EXPECT_FALSE(bg.Shows());
}

class TestOwner : public TOndEditMarkOwner {
 public:
  std::vector<int> Lines;
  std::vector<TOndEditMark*> Freed;
  void InvalidateGutterLine(int Line) override { Lines.push_back(Line); }
  void MarkFreed(TOndEditMark* Mark) override { Freed.push_back(Mark); }
};

TEST(EditMarks, NotificationsListAndLineQuery) {
  TestOwner owner;
  TOndEditMarkList list;
  int changes = 0;
  list.OnChange = [&](TOndEditMarkList*) { ++changes; };
  auto* m = new TOndEditMark(&owner);
  list.Add(std::unique_ptr<TOndEditMark>(m));
  EXPECT_EQ(changes, 1);
  m->SetLine(3);  // invisible: silent
  EXPECT_TRUE(owner.Lines.empty());
  m->SetVisible(true);
  m->SetLine(5);
  EXPECT_EQ(owner.Lines, (std::vector<int>{3, 3, 5}));
  m->SetChar(9);
  EXPECT_EQ(owner.Lines.size(), 3u);
  EXPECT_FALSE(m->IsBookmark());

  for (int i = 0; i < 20; ++i) {
    auto mk = std::make_unique<TOndEditMark>(&owner);
    mk->SetLine(7);
    mk->SetImage(i);
    list.Add(std::move(mk));
  }
  TOndEditMarks onLine;
  list.MarksOnLine(7, onLine);
  for (int i = 0; i < MaxMarksOnLine; ++i) {
    ASSERT_NE(onLine[static_cast<std::size_t>(i)], nullptr);
    EXPECT_EQ(onLine[static_cast<std::size_t>(i)]->GetImage(), i);
  }
  list.MarksOnLine(5, onLine);
  EXPECT_EQ(onLine[0], m);
  EXPECT_EQ(onLine[1], nullptr);
  EXPECT_EQ(list.Remove(m), 0);
  EXPECT_EQ(owner.Freed, (std::vector<TOndEditMark*>{m}));
  EXPECT_EQ(list.Remove(m), -1);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(owner.Freed.size(), 21u);
}

TEST(EditImages, StripSharedByNameAndDrawnCentred) {
  EXPECT_EQ(TOndInternalImage::UseCount("OndEditInternalImages"), 0);
  {
    TOndInternalImage a("OndEditInternalImages", 10);
    TOndInternalImage b("ondeditinternalimages", 10);
    EXPECT_EQ(TOndInternalImage::UseCount("OndEditInternalImages"), 2);
    EXPECT_EQ(a.Bitmap(), b.Bitmap());
    EXPECT_EQ(a.Width(), (a.Bitmap()->Width() + 5) / 10);
    ASSERT_GT(a.Height(), 0);

    TBitmap canvas(40, a.Height() + 10);
    canvas.Canvas()->Brush.Color = clWhite;
    canvas.Canvas()->FillRect(Rect(0, 0, 40, a.Height() + 10));
    a.Draw(canvas.Canvas(), 3, 0, 0, a.Height() + 10);
    // Centred: the five rows above the image stay white.
    for (int x = 0; x < a.Width(); ++x) EXPECT_EQ(canvas.Canvas()->GetPixel(x, 4), 0xFFFFFF);
    bool drawn = false;
    for (int x = 0; x < a.Width(); ++x) drawn |= canvas.Canvas()->GetPixel(x, 5 + a.Height() / 2) != 0xFFFFFF;
    EXPECT_TRUE(drawn);
    a.Draw(canvas.Canvas(), 10, 20, 0, 5);  // out of range: nothing
  }
  EXPECT_EQ(TOndInternalImage::UseCount("OndEditInternalImages"), 0);
}

TEST(EditImages, GlyphLeavesItsMaskColourOut) {
  TOndWordWrap ww;
  const TOndGlyph& g = ww.Indicator();
  TBitmap bmp(20, 20);
  bmp.Canvas()->Brush.Color = clWhite;
  bmp.Canvas()->FillRect(Rect(0, 0, 20, 20));
  g.Draw(bmp.Canvas(), 0, 0, 20);
  bool black = false;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      EXPECT_NE(bmp.Canvas()->GetPixel(x, y), 0x00FF00);
      black |= bmp.Canvas()->GetPixel(x, y) == 0;
    }
  EXPECT_TRUE(black);
}

TEST(TextDrawer, FontRecordsAreSharedAndStylesMadeOnce) {
  TheFontsInfoManager* mgr = GetFontsInfoManager();
  const int before = mgr->Count();
  TFont f1;
  f1.SetName("Courier New");
  f1.SetSize(10);
  TFont f2;
  f2.Assign(f1);
  f2.SetStyle(fsItalic | fsUnderline);
  TFont f3;
  f3.Assign(f1);
  f3.SetSize(14);
  {
    TheFontStock s1(&f1), s2(&f2);
    EXPECT_EQ(s1.FontInfo(), s2.FontInfo());
    EXPECT_EQ(mgr->Count(), before + 1);
    TheFontStock s3(&f3);
    EXPECT_NE(s3.FontInfo(), s1.FontInfo());
    EXPECT_EQ(mgr->Count(), before + 2);

    EXPECT_EQ(s1.StyleEntry(5)->Handle, nullptr);
    s1.SetStyle(fsBold | fsUnderline);
    const TFont* handle = s1.GetFontHandle();
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(handle->GetStyle(), fsBold | fsUnderline);
    s2.SetStyle(fsBold | fsUnderline);
    EXPECT_EQ(s2.GetFontHandle(), handle);
    EXPECT_GT(s1.GetAdvance(), 0);
    EXPECT_GT(s1.GetHeight(), 0);

    EXPECT_THROW(
        {
          try {
            s1.SetBaseFont(nullptr);
          } catch (const EheFontStockException& e) {
            EXPECT_STREQ(e.what(), "SetBaseFont: 'Value' must be specified.");
            throw;
          }
        },
        EheFontStockException);
    EXPECT_EQ(s1.GetFontHandle(), handle);  // unchanged
  }
  EXPECT_EQ(mgr->Count(), before);
}

TEST(TextDrawer, GridAdvanceAndArrayGrowth) {
  TFont f;
  f.SetName("Courier New");
  f.SetSize(10);
  TheTextDrawer d(0, &f);
  const int cw = d.CellWidth(), ch = d.CellHeight();
  ASSERT_GE(cw, 1);
  ASSERT_GE(ch, 1);
  EXPECT_THROW(d.SetBaseFont(nullptr), EheTextDrawerException);

  TBitmap bmp(cw * 12, ch);
  d.BeginDraw(bmp.Canvas());
  d.BeginDraw(bmp.Canvas());  // nests
  d.SetForegroundColor(clBlack);
  d.SetBackgroundColor(clWhite);
  d.ExtTextOut(0, 0, ETO_OPAQUE | ETO_CLIPPED, Rect(0, 0, cw * 12, ch), "MMMMMMMMMM");
  EXPECT_EQ(d.AdvanceArrayLength(), 64);
  std::string hundred(100, ' ');
  d.ExtTextOut(0, 0, ETO_CLIPPED, Rect(0, 0, 0, 0), hundred);
  EXPECT_EQ(d.AdvanceArrayLength(), 128);
  d.EndDraw();
  EXPECT_TRUE(d.Drawing());
  d.EndDraw();
  EXPECT_FALSE(d.Drawing());
  // Ten Ms fill ten cells: something is drawn in the tenth, nothing in the
  // eleventh.
  auto inkIn = [&](int cell) {
    for (int y = 0; y < ch; ++y)
      for (int x = cell * cw; x < (cell + 1) * cw; ++x)
        if (bmp.Canvas()->GetPixel(x, y) != 0xFFFFFF) return true;
    return false;
  };
  EXPECT_TRUE(inkIn(9));
  EXPECT_FALSE(inkIn(10));
}

}  // namespace
}  // namespace ond
