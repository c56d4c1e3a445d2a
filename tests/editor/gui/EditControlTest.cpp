// The editor control: defaults, the paint lock, caret and selection, and what
// it paints. Cell sizes are read from the control, never assumed.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QWidget>
#include <memory>

#include "editor/OndEdit.h"
#include "platform/ExtCtrls.h"
#include "platform/ImgList.h"

namespace ond {
namespace {

std::unique_ptr<TOndEdit> MakeEditor(int width = 400, int height = 200) {
  auto ed = std::make_unique<TOndEdit>(nullptr);
  ed->SetBounds(0, 0, width, height);
  return ed;
}

void SetText(TCustomOndEdit& ed, std::string_view text) { ed.Lines()->SetText(text); }

TEST(EditControl, DefaultsOfANewEditor) {
  auto ed = MakeEditor();
  EXPECT_EQ(ed->GetTopLine(), 1);
  EXPECT_EQ(ed->GetLeftColumn(), 1);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(1, 1));
  EXPECT_FALSE(ed->SelAvail());
  EXPECT_EQ(ed->GetOptions(), OND_DEFAULT_OPTIONS);
  EXPECT_TRUE(ed->GetInsertMode());
  EXPECT_EQ(ed->GetInsertCaret(), ctVerticalLine);
  EXPECT_EQ(ed->GetOverwriteCaret(), ctBlock);
  EXPECT_EQ(ed->GetTabWidth(), 8);
  EXPECT_EQ(ed->GetBlockWidth(), 2);
  EXPECT_EQ(ed->GetMaxScrollWidth(), 1024);
  EXPECT_EQ(ed->GetSelectionMode(), smNormal);
  EXPECT_FALSE(ed->GetReadOnly());
  EXPECT_TRUE(ed->WantReturns);
  EXPECT_FALSE(ed->WantTabs);
  EXPECT_EQ(ed->GetGutterWidth(), 30);
  EXPECT_EQ(ed->GetTextOffset(), 32);
  EXPECT_GE(ed->GetCharWidth(), 1);
  EXPECT_EQ(ed->GetLineHeight(), ed->GetTextHeight() + 2);
  // The scroll bars take their room from the client area.
  EXPECT_TRUE(ed->ScrollBarVisible(TScrollBarKind::sbVertical));
  EXPECT_EQ(ed->GetCharsInWindow(), (ed->ClientWidth() - 32) / ed->GetCharWidth());
  EXPECT_EQ(ed->GetLinesInWindow(), ed->ClientHeight() / ed->GetLineHeight());
  EXPECT_EQ(ed->GetColor(), clWindow);
  EXPECT_EQ(ed->DrawingFont().GetName(), "Courier New");
  EXPECT_GT(ed->Keystrokes()->Count(), 0);
  EXPECT_EQ(ed->DisplayRowCount(), 0);
}

TEST(EditControl, StatusChangesGatheredUnderThePaintLock) {
  auto ed = MakeEditor();
  SetText(*ed, "hello\nworld");
  std::vector<TOndStatusChanges> calls;
  ed->UnlockPaint();  // unlocked: nothing happens
  EXPECT_EQ(ed->GetPaintLock(), 0);
  ed->OnStatusChange = [&](TObject*, TOndStatusChanges c) { calls.push_back(c); };
  ed->LockPaint();
  ed->LockPaint();
  ed->SetCaretXY(BufferCoord(3, 2));
  ed->SetInsertMode(false);
  ed->SetReadOnly(true);
  EXPECT_TRUE(calls.empty());
  ed->UnlockPaint();
  EXPECT_TRUE(calls.empty());
  ed->UnlockPaint();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], StatusCaretChar | StatusCaretLine | StatusSelection | StatusInsertMode | StatusReadOnly);

  // Without a handler, changes wait for the first call after one is assigned.
  ed->OnStatusChange = nullptr;
  ed->SetInsertMode(true);
  ed->SetModified(true);
  calls.clear();
  ed->OnStatusChange = [&](TObject*, TOndStatusChanges c) { calls.push_back(c); };
  ed->SetReadOnly(false);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], StatusInsertMode | StatusModified | StatusReadOnly);
}

TEST(EditControl, CaretPlacementAndConversions) {
  auto ed = MakeEditor();
  SetText(*ed, "12345\n\tab\nx");
  ed->SetCaretXY(BufferCoord(100, 1));
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(100, 1));  // free caret past the end
  ed->SetCaretXY(BufferCoord(5000, 1));
  EXPECT_EQ(ed->GetCaretXY().Char, 1025);
  ed->SetOptions(ed->GetOptions() & ~eoScrollPastEol);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(6, 1));  // re-placed when the option went
  ed->SetCaretXY(BufferCoord(100, 1));
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(6, 1));
  ed->SetCaretXY(BufferCoord(3, 0));
  EXPECT_EQ(ed->GetCaretXY().Line, 1);
  ed->SetCaretXY(BufferCoord(1, -5));
  EXPECT_EQ(ed->GetCaretXY().Line, 1);
  ed->SetCaretXY(BufferCoord(1, 99));
  EXPECT_EQ(ed->GetCaretXY().Line, 3);

  EXPECT_EQ(ed->BufferToDisplayPos(BufferCoord(3, 2)), DisplayCoord(10, 2));
  EXPECT_EQ(ed->BufferToDisplayPos(BufferCoord(6, 2)), DisplayCoord(13, 2));
  EXPECT_EQ(ed->BufferToDisplayPos(BufferCoord(7, 9)), DisplayCoord(7, 9));  // beyond the text
  EXPECT_EQ(ed->DisplayToBufferPos(DisplayCoord(5, 2)), BufferCoord(2, 2));
  EXPECT_EQ(ed->DisplayToBufferPos(DisplayCoord(12, 2)), BufferCoord(5, 2));
  ed->SetTabWidth(4);
  EXPECT_EQ(ed->BufferToDisplayPos(BufferCoord(3, 2)), DisplayCoord(6, 2));

  const int cw = ed->GetCharWidth(), lh = ed->GetLineHeight();
  EXPECT_EQ(ed->PixelsToRowColumn(5, 5), DisplayCoord(1, 1));
  EXPECT_EQ(ed->PixelsToRowColumn(32 + 2 * cw, lh + 1), DisplayCoord(3, 2));
  EXPECT_EQ(ed->RowColumnToPixels(DisplayCoord(3, 2)), (TPoint{32 + 2 * cw, lh}));
  ed->PlaceCaretAtPixel(32 + 2 * cw + 1, 2 * lh + 1);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(2, 3));
}

TEST(EditControl, CaretMovesAndScrolling) {
  auto ed = MakeEditor(32 + 40 * 8, 200);  // about 40 columns wide, whatever the font
  SetText(*ed, "first line\n  indented\nend");
  ed->MoveCaretByChars(1, false);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(2, 1));
  ed->MoveCaretByChars(1, true);
  EXPECT_EQ(ed->GetSelText(), "i");
  ed->MoveCaretByRows(1, false);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(3, 2));
  EXPECT_FALSE(ed->SelAvail());
  ed->SetOptions(ed->GetOptions() | eoEnhanceHomeKey);
  ed->SetCaretXY(BufferCoord(6, 2));
  ed->MoveCaretToLineStart(false);
  EXPECT_EQ(ed->GetCaretXY().Char, 3);
  ed->MoveCaretToLineStart(false);
  EXPECT_EQ(ed->GetCaretXY().Char, 1);
  ed->MoveCaretToLineEnd(false);
  EXPECT_EQ(ed->GetCaretXY().Char, 11);

  const int ciw = ed->GetCharsInWindow();
  ASSERT_GT(ciw, 0);
  ed->SetCaretXY(BufferCoord(ciw + 5, 1));
  EXPECT_EQ(ed->GetLeftColumn(), ciw + 5 - ciw + std::min(24, ciw));
  EXPECT_TRUE(ed->IsCaretInView());
  ed->SetCaretXY(BufferCoord(1, 1));
  EXPECT_EQ(ed->GetLeftColumn(), 1);
}

TEST(EditControl, SelectionTextInTheThreeModes) {
  auto ed = MakeEditor();
  SetText(*ed, "abcdef\nghijkl\nmn\nopqrst");
  ed->SetBlockBegin(BufferCoord(2, 1));
  ed->SetBlockEnd(BufferCoord(3, 3));
  EXPECT_EQ(ed->GetSelText(), "bcdef\r\nghijkl\r\nmn");
  EXPECT_EQ(ed->GetSelStart(), 1);
  EXPECT_EQ(ed->GetSelLength(), 5 + 2 + 6 + 2 + 2);
  // Backwards: the same text.
  ed->SetBlockBegin(BufferCoord(3, 3));
  ed->SetBlockEnd(BufferCoord(2, 1));
  EXPECT_EQ(ed->GetBlockBegin(), BufferCoord(2, 1));
  EXPECT_EQ(ed->GetSelText(), "bcdef\r\nghijkl\r\nmn");

  ed->SetSelectionMode(smColumn);
  ed->SetBlockBegin(BufferCoord(2, 1));
  ed->SetBlockEnd(BufferCoord(5, 3));
  EXPECT_EQ(ed->GetSelText(), "bcd\r\nhij\r\nn  ");  // a short line padded to the column width
  ed->SetOptions(ed->GetOptions() | eoTrimTrailingSpaces);
  EXPECT_EQ(ed->GetSelText(), "bcd\r\nhij\r\nn");
  ed->SetBlockEnd(BufferCoord(2, 4));
  EXPECT_FALSE(ed->SelAvail());  // same column on every line: empty

  ed->SetSelectionMode(smLine);
  ed->SetBlockBegin(BufferCoord(3, 2));
  ed->SetBlockEnd(BufferCoord(1, 3));
  EXPECT_EQ(ed->GetSelText(), "ghijkl\r\nmn\r\n");
  ed->SetBlockEnd(BufferCoord(2, 4));
  EXPECT_EQ(ed->GetSelText(), "ghijkl\r\nmn\r\nopqrst");  // no line break after the last line

  ed->SetSelectionMode(smNormal);
  EXPECT_EQ(ed->TextIndexToPos(8), BufferCoord(1, 2));
  EXPECT_EQ(ed->PosToTextIndex(BufferCoord(1, 2)), 8);
  EXPECT_EQ(ed->TextIndexToPos(1000), BufferCoord(7, 4));  // clamped to the end
  ed->SetSelStart(9);
  ed->SetSelLength(3);
  EXPECT_EQ(ed->GetSelText(), "hij");
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(5, 2));
  ed->SelectWordAt(BufferCoord(3, 4));
  EXPECT_EQ(ed->GetSelText(), "opqrst");
  EXPECT_EQ(ed->WordAtPos(BufferCoord(2, 1)), "abcdef");
}

TEST(EditControl, SelectAllKeepsTheCaret) {
  auto ed = MakeEditor();
  ed->SelectAll();
  EXPECT_EQ(ed->GetBlockBegin(), BufferCoord(1, 1));
  EXPECT_EQ(ed->GetBlockEnd(), BufferCoord(1, 1));
  EXPECT_FALSE(ed->SelAvail());
  SetText(*ed, "one\ntwo");
  ed->SetCaretXY(BufferCoord(2, 1));
  ed->SelectAll();
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(2, 1));
  EXPECT_EQ(ed->GetSelText(), "one\r\ntwo");
}

TEST(EditControl, HooksFontsAndMarks) {
  auto ed = MakeEditor();
  struct Hook {
    int calls = 0;
    void Handle(TObject*, bool, bool& handled, TOndEditorCommand&, char&, void*, void*) {
      ++calls;
      handled = true;
    }
  } hook;
  const THookedCommandEvent h(&hook, &Hook::Handle);
  ed->RegisterCommandHandler(h, nullptr);
  try {
    ed->RegisterCommandHandler(h, nullptr);
    FAIL();
  } catch (const EOndEditError& e) {
    EXPECT_NE(std::string(e.what()).find("already registered"), std::string::npos);
    EXPECT_EQ(std::string(e.what()).rfind("Event handler (", 0), 0u);
  }
  EXPECT_THROW(ed->RegisterCommandHandler(THookedCommandEvent(), nullptr), EOndEditError);
  ed->UnregisterCommandHandler(h);
  EXPECT_THROW(ed->UnregisterCommandHandler(h), EOndEditError);

  TFont prop;
  prop.SetName("DejaVu Sans");
  prop.SetSize(12);
  prop.SetStyle(fsBold);
  ed->SetFont(prop);
  EXPECT_EQ(ed->DrawingFont().GetName(), "DejaVu Sans");
  EXPECT_EQ(ed->DrawingFont().GetSize(), 12);
  EXPECT_EQ(ed->DrawingFont().GetStyle(), fsBold);
  EXPECT_EQ(ed->DrawingFont().GetPitch(), TFontPitch::fpFixed);

  ed->SetLineSpacingRule(lsSpecified);
  ed->SetLineSpacing(-1000);
  EXPECT_EQ(ed->GetLineHeight(), 1);  // never below a pixel

  // A freed mark leaves no bookmark slot pointing at it.
  SetText(*ed, "a\nb");
  auto* m = new TOndEditMark(ed.get());
  m->SetBookmarkIndex(3);
  m->SetLine(2);
  ed->Marks().Add(std::unique_ptr<TOndEditMark>(m));
  ed->SetBookmarkSlot(3, m);
  ed->Marks().Remove(m);
  EXPECT_EQ(ed->Bookmark(3), nullptr);
}

// A bookmark image list freed while the editor shows bookmarks is let go of:
// the editor paints its gutter on without it.
TEST(EditControl, AFreedBookmarkImageListIsLetGoOf) {
  auto ed = std::make_unique<TOndEdit>(nullptr);
  ed->SetBounds(0, 0, 300, 200);
  ed->Lines()->SetText("one\ntwo");
  auto images = std::make_unique<TImageList>(nullptr);
  ed->BookMarkOptions().SetBookmarkImages(images.get());
  ed->SetBookMark(1, 1, 2);
  images.reset();
  EXPECT_EQ(ed->BookMarkOptions().GetBookmarkImages(), nullptr);
  ed->Show();
  ed->Repaint();
  // A list that outlives the editor has nobody left to tell.
  images = std::make_unique<TImageList>(nullptr);
  ed->BookMarkOptions().SetBookmarkImages(images.get());
  ed.reset();
  images.reset();
}

TEST(EditControl, InvalidationWaitsForTheEndOfABufferChange) {
  auto ed = MakeEditor();
  SetText(*ed, "a\nb\nc");
  ed->Lines()->BeginUpdate();
  ed->Lines()->Put(1, "changed");
  EXPECT_FALSE(ed->PendingInvalidRect().IsEmpty());
  ed->Lines()->Add("more");
  ed->Lines()->EndUpdate();
  EXPECT_TRUE(ed->PendingInvalidRect().IsEmpty());
}

// ---- pixels -----------------------------------------------------------------------

TColor PixelAt(TCustomOndEdit& ed, int x, int y) {
  TBitmap bmp;
  ed.PaintTo(bmp);
  return bmp.Canvas()->GetPixel(x, y);
}

bool InkInCell(const TBitmap& bmp, int x0, int y0, int w, int h, TColor background) {
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x)
      if (bmp.Canvas()->GetPixel(x, y) != background) return true;
  return false;
}

TEST(EditPaint, SelectionAndActiveLineColours) {
  auto ed = MakeEditor();
  SetText(*ed, "first line\nsecond line\nthird");
  ed->SetColor(0xFFFFFF);
  ed->SelectedColor().SetBackground(0x00A000);
  ed->SelectedColor().SetForeground(0xFFFFFF);
  ed->ActiveLine().SetBackground(0x00E0FF);
  const int cw = ed->GetCharWidth(), lh = ed->GetLineHeight(), x0 = ed->GetTextOffset();
  ed->SetCaretXY(BufferCoord(1, 2));
  // The caret row beyond its text: active-line background; other rows: the window colour.
  EXPECT_EQ(PixelAt(*ed, x0 + 30 * cw, lh + lh / 2), 0x00E0FF);
  EXPECT_EQ(PixelAt(*ed, x0 + 30 * cw, 2 * lh + lh / 2), 0xFFFFFF);
  // A selection on the third row: the corner pixel of a selected cell is the
  // selection background.
  ed->PlaceCaretAndSelection(BufferCoord(4, 3), BufferCoord(2, 3), BufferCoord(4, 3));
  EXPECT_EQ(PixelAt(*ed, x0 + 1 * cw, 2 * lh), 0x00A000);
  EXPECT_EQ(PixelAt(*ed, x0 + 2 * cw + cw - 1, 2 * lh + lh - 1), 0x00A000);
  EXPECT_NE(PixelAt(*ed, x0 + 4 * cw, 2 * lh), 0x00A000);
  // A special line shows its selection with its own colours swapped.
  ed->OnSpecialLineColors = [](TObject*, int line, bool& special, TColor& fg, TColor& bg) {
    if (line != 3) return;
    special = true;
    fg = 0x0000FF;
    bg = 0xFFFF00;
  };
  EXPECT_EQ(PixelAt(*ed, x0 + 1 * cw, 2 * lh), 0x0000FF);
  EXPECT_EQ(PixelAt(*ed, x0 + 8 * cw, 2 * lh), 0xFFFF00);
  // The gutter in its own colour, the border in the border colour.
  ed->Gutter().SetColor(0x808080);
  ed->Gutter().SetBorderColor(0x000080);
  EXPECT_EQ(PixelAt(*ed, 5, 5), 0x808080);
  EXPECT_EQ(PixelAt(*ed, ed->GetGutterWidth() - 2, 5), 0x000080);
}

TEST(EditPaint, SpecialCharactersOnlyWhereAsked) {
  auto ed = MakeEditor();
  const int cw = ed->GetCharWidth(), lh = ed->GetLineHeight(), x0 = ed->GetTextOffset();
  std::string longLine(static_cast<std::size_t>(ed->GetCharsInWindow() + 10), 'x');
  SetText(*ed, "a b\n" + longLine);
  ed->SetColor(0xFFFFFF);
  ed->ActiveLine().SetVisible(false);
  ed->RightEdge().SetVisible(false);
  TBitmap plain, special;
  ed->PaintTo(plain);
  EXPECT_FALSE(InkInCell(plain, x0 + cw, 0, cw, lh, 0xFFFFFF));      // the blank
  EXPECT_FALSE(InkInCell(plain, x0 + 3 * cw, 0, cw, lh, 0xFFFFFF));  // after the end
  ed->SetOptions(ed->GetOptions() | eoShowSpecialChars);
  ed->PaintTo(special);
  EXPECT_TRUE(InkInCell(special, x0 + cw, 0, cw, lh, 0xFFFFFF));      // "·"
  EXPECT_TRUE(InkInCell(special, x0 + 3 * cw, 0, cw, lh, 0xFFFFFF));  // "¶"
  EXPECT_FALSE(InkInCell(special, x0 + 4 * cw, 0, cw, lh, 0xFFFFFF));
  // A line that runs past the window shows no end mark: the row is only "x"s.
  const int lastFull = x0 + (ed->GetCharsInWindow() - 1) * cw;
  TBitmap xs;
  ed->PaintTo(xs);
  bool same = true;
  for (int y = lh; y < 2 * lh; ++y)
    for (int x = 0; x < cw; ++x) same &= xs.Canvas()->GetPixel(lastFull + x, y) == xs.Canvas()->GetPixel(x0 + x, y);
  EXPECT_TRUE(same);
}

TEST(EditPaint, GutterNumbersAndModifiedBars) {
  auto ed = MakeEditor(400, 400);
  std::string text;
  for (int i = 1; i <= 20; ++i) text += "line\n";
  SetText(*ed, text);
  ed->Gutter().SetColor(0xFFFFFF);
  ed->Gutter().Font().SetColor(0x000000);
  ed->Gutter().SetShowLineNumbers(true);
  ed->Gutter().SetIntens(true);
  ed->Gutter().SetRightOffset(6);
  ed->Gutter().SetShowLineModified(true);
  ed->Gutter().SetLineModifiedColor(0x0000FF);
  ed->Gutter().SetLineNormalColor(0x00FF00);
  const int gw = ed->GetGutterWidth(), lh = ed->GetLineHeight();
  ASSERT_GT(gw, 30);
  ed->Lines()->SetModifiedState(0, 0);
  ed->Lines()->SetModifiedState(1, 1);
  ed->Lines()->SetModifiedState(2, 2);
  const int barX = gw - ed->Gutter().GetRightOffset() + 1;
  EXPECT_EQ(PixelAt(*ed, barX, lh / 2), 0xFFFFFF);
  EXPECT_EQ(PixelAt(*ed, barX, lh + lh / 2), 0x00FF00);
  EXPECT_EQ(PixelAt(*ed, barX, 2 * lh + lh / 2), 0x0000FF);
  // Intensified numbers: line 10 has digits (ink over more than one cell),
  // line 7 only a small dot.
  TBitmap bmp;
  ed->PaintTo(bmp);
  auto inkPixels = [&](int row) {
    int n = 0;
    for (int y = row * lh; y < (row + 1) * lh; ++y)
      for (int x = 0; x < gw - 8; ++x)
        if (bmp.Canvas()->GetPixel(x, y) != 0xFFFFFF) ++n;
    return n;
  };
  EXPECT_EQ(inkPixels(6), 2 * std::max(1, ed->GetCharWidth() - 2 * ((ed->GetCharWidth() - 2) / 2)));
  EXPECT_GT(inkPixels(9), inkPixels(6) * 2);
  EXPECT_GT(inkPixels(0), inkPixels(6));  // the caret line keeps its number
}

// While focus controls are listed, focusing the editor focuses the last one
// added; removed or destroyed ones leave the list, and with none the editor
// takes the focus itself.
TEST(EditControl, FocusGoesToTheLastFocusControl) {
  TPanel host(nullptr);
  host.SetBounds(0, 0, 600, 300);
  auto* ed = new TOndEdit(&host);
  ed->SetParent(&host);
  ed->SetBounds(0, 0, 200, 100);
  auto* first = new TOndEdit(&host);
  first->SetParent(&host);
  first->SetBounds(200, 0, 200, 100);
  auto* second = new TOndEdit(&host);
  second->SetParent(&host);
  second->SetBounds(400, 0, 200, 100);
  host.Show();
  host.Widget()->activateWindow();
  QApplication::processEvents();
  ed->AddFocusControl(first);
  ed->AddFocusControl(second);
  ed->AddFocusControl(first);  // listed once
  EXPECT_EQ(ed->FocusControls().size(), 2u);
  ed->SetFocus();
  EXPECT_TRUE(second->Focused());
  EXPECT_FALSE(ed->Focused());
  ed->RemoveFocusControl(second);
  ed->SetFocus();
  EXPECT_TRUE(first->Focused());
  delete first;  // a listed control that goes leaves the list
  EXPECT_TRUE(ed->FocusControls().empty());
  ed->SetFocus();
  EXPECT_TRUE(ed->Focused());
}

// bsSingle draws a one-pixel frame round the editor and the client area
// shrinks by it; bsNone draws none; a change lays the rows and columns out
// again, and the text keeps its place inside the frame.
TEST(EditPaint, BorderStyleFrameAndClientArea) {
  auto ed = MakeEditor(300, 160);
  SetText(*ed, "text");
  ed->SetColor(0xFFFFFF);
  ed->Gutter().SetVisible(false);
  EXPECT_EQ(ed->GetBorderStyle(), TBorderStyle::bsSingle);
  const int framedWidth = ed->ClientWidth(), framedHeight = ed->ClientHeight();
  const int cw = ed->GetCharWidth(), lh = ed->GetLineHeight();
  const int cols = ed->GetCharsInWindow(), rows = ed->GetLinesInWindow();
  TBitmap framed;
  ed->PaintTo(framed, true);
  const TColor frame = ColorToRGB(clBtnShadow);
  for (const TPoint p : {TPoint{0, 0}, TPoint{299, 0}, TPoint{0, 159}, TPoint{299, 159}, TPoint{150, 0},
                         TPoint{0, 80}, TPoint{150, 159}, TPoint{299, 80}})
    EXPECT_EQ(framed.Canvas()->GetPixel(p.X, p.Y), frame) << p.X << "," << p.Y;
  EXPECT_EQ(framed.Canvas()->GetPixel(1, 1 + 3 * lh), 0xFFFFFF);  // inside: the background
  const TPoint caretPixel = ed->ClientToScreen(TPoint{0, 0});
  const TPoint widgetPixel = ed->ClientToScreen(TPoint{-1, -1});
  EXPECT_EQ(caretPixel.X - widgetPixel.X, 1);

  ed->SetBorderStyle(TBorderStyle::bsNone);
  EXPECT_EQ(ed->ClientWidth(), framedWidth + 2);
  EXPECT_EQ(ed->ClientHeight(), framedHeight + 2);
  TBitmap plain;
  ed->PaintTo(plain, true);
  EXPECT_EQ(plain.Canvas()->GetPixel(0, 80), 0xFFFFFF);
  EXPECT_EQ(plain.Canvas()->GetPixel(150, 4 * lh), 0xFFFFFF);
  // Relaid out for the wider area.
  EXPECT_EQ(ed->GetCharsInWindow(), (ed->ClientWidth() - ed->GetGutterWidth() - 2) / cw);
  EXPECT_EQ(ed->GetLinesInWindow(), ed->ClientHeight() / lh);
  EXPECT_GE(ed->GetCharsInWindow(), cols);
  EXPECT_GE(ed->GetLinesInWindow(), rows);
  ed->SetBorderStyle(TBorderStyle::bsSingle);
  EXPECT_EQ(ed->GetCharsInWindow(), cols);
  EXPECT_EQ(ed->GetLinesInWindow(), rows);

  // The flat scroll-bar styles give the bars their flat look; regular ones not.
  SetText(*ed, std::string(200, 'x') + "\n" + std::string(40, '\n'));
  ed->Show();
  for (const TScrollBarsStyle style : {sbsFlat, sbsRegular, sbsEncarta, sbsRegular}) {
    ed->ScrollBars().SetStyle(style);
    const bool flat = style == sbsFlat || style == sbsEncarta;
    EXPECT_EQ(ed->FlatScrollBars(), flat);
    for (QScrollBar* bar : ed->Widget()->findChildren<QScrollBar*>())
      EXPECT_EQ(bar->styleSheet().isEmpty(), !flat);
  }
}

}  // namespace
}  // namespace ond
