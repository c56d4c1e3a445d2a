// The completion pop-up as a window on the offscreen screen: what it paints
// (colours, bold, frame), where it opens near the screen's edges, the keys it
// takes through the editor's chains, and the fold hint that shows a collapsed
// fold's text verbatim.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <QWidget>
#include <memory>
#include <string>

#include "editor/OndCompletionProposal.h"
#include "editor/OndCompletionProposalForm.h"
#include "editor/OndEdit.h"
#include "platform/ExtCtrls.h"

namespace ond {
namespace {

TFont HintFont() {
  TFont f;
  f.SetName("DejaVu Sans Mono");
  f.SetSize(12);
  return f;
}

std::unique_ptr<TOndCompletionProposal> MakeHint(std::initializer_list<const char*> items) {
  auto p = std::make_unique<TOndCompletionProposal>();
  p->SetDisplayType(ctHint);
  p->SetClBackground(clInfoBk);
  p->SetFont(HintFont());
  for (const char* s : items) p->ItemList().Add(s);
  return p;
}

// Pixels of colour c in the part r of the picture.
int CountPixels(const TBitmap& b, const TRect& r, TColor c) {
  int n = 0;
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x)
      if (b.Canvas()->GetPixel(x, y) == c) ++n;
  return n;
}

// Pixels clearly darker than the hint's background.
int CountInk(const TBitmap& b, const TRect& r) {
  int n = 0;
  for (int y = r.Top; y < r.Bottom; ++y)
    for (int x = r.Left; x < r.Right; ++x) {
      const TColor c = b.Canvas()->GetPixel(x, y);
      if ((c & 0xFF) + ((c >> 8) & 0xFF) + ((c >> 16) & 0xFF) < 3 * 128) ++n;
    }
  return n;
}

void Paint(TOndCompletionProposal& p, TBitmap& b) {
  ASSERT_NE(p.Form(), nullptr);
  b.SetSize(p.Form()->Width(), p.Form()->Height());
  p.Form()->PaintContent(*b.Canvas(), b.Width(), b.Height());
}

TEST(CompletionProposal, HintPaintsColourStyleAndFrame) {
  auto p = MakeHint({"\\color{clRed}MMMM", "MMMM", "\\style{+B}MMMM"});
  p->ExecuteEx("", 20, 20, ctHint);
  ASSERT_TRUE(p->Visible());
  TBitmap b;
  Paint(*p, b);
  const int h = p->EffectiveItemHeight();
  const int w = b.Width();
  const auto row = [&](int i) { return Rect(1, p->Margin + i * h, w - 1, p->Margin + (i + 1) * h); };
  // The first line is red, the second is not; the colour ends with its line.
  EXPECT_GT(CountPixels(b, row(0), ColorToRGB(clRed)), 10);
  EXPECT_EQ(CountPixels(b, row(1), ColorToRGB(clRed)), 0);
  // Bold letters put down more ink than plain ones.
  EXPECT_GT(CountInk(b, row(2)), CountInk(b, row(1)) * 11 / 10);
  // The background, and a raised frame: light top-left, dark bottom-right.
  EXPECT_EQ(b.Canvas()->GetPixel(w - 3, b.Height() - 3), ColorToRGB(clInfoBk));
  EXPECT_EQ(b.Canvas()->GetPixel(0, 0), ColorToRGB(cl3DLight));
  EXPECT_EQ(b.Canvas()->GetPixel(w - 1, b.Height() - 1), ColorToRGB(cl3DDkShadow));
  // The window paints the same through its own paint handler.
  TBitmap shown;
  p->Form()->PaintTo(shown);
  EXPECT_GT(CountPixels(shown, row(0), ColorToRGB(clRed)), 10);
}

TEST(CompletionProposal, HintIsAsLargeAsItsWidestLine) {
  auto p = MakeHint({"ab", "abcdef\\hspace{10}", "\\image{3}x"});
  p->ExecuteEx("", 20, 20, ctHint);
  TBitmap m(1, 1);
  m.Canvas()->Font.Assign(HintFont());
  const TSize size = HintSize(3, p->EffectiveItemHeight(), m.Canvas()->TextWidth("abcdef") + 10, p->Margin);
  EXPECT_EQ(p->Form()->Width(), size.cx);
  EXPECT_EQ(p->Form()->Height(), size.cy);
  EXPECT_EQ(p->EffectiveItemHeight(), m.Canvas()->TextHeight("CompletionProposal"));
  p->SetItemHeight(30);
  p->ExecuteEx("", 20, 20, ctHint);
  EXPECT_EQ(p->Form()->Height(), 3 * 30 + 2 + 2 * p->Margin);
}

TEST(CompletionProposal, OpensInsideTheScreenThatHoldsThePoint) {
  const TRect screen = TPopupWindow::ScreenRectAt(TPoint{1, 1});
  ASSERT_FALSE(screen.IsEmpty());
  auto p = MakeHint({"a line of some length"});
  p->ExecuteEx("", screen.Right - 10, 50, ctHint);
  EXPECT_EQ(p->Form()->Left(), screen.Right - p->Form()->Width() - 5);
  EXPECT_EQ(p->Form()->Top(), 50);
  // Forty lines near the bottom open above the point.
  auto tall = MakeHint({});
  for (int i = 0; i < 40; ++i) tall->ItemList().Add("line " + std::to_string(i));
  tall->SetFont([] {
    TFont f = HintFont();
    f.SetSize(8);
    return f;
  }());
  const int y = screen.Bottom - 20;
  tall->ExecuteEx("", 30, y, ctHint);
  EXPECT_EQ(tall->Form()->Top(), std::max(screen.Top, y - tall->Form()->Height() - 2));
  EXPECT_LE(tall->Form()->Top() + tall->Form()->Height(), screen.Bottom);
  // A line far wider than the screen is measured only up to its width.
  auto wide = MakeHint({});
  wide->ItemList().Add(std::string(200000, 'w'));
  wide->ExecuteEx("", 0, 0, ctHint);
  EXPECT_LE(wide->Form()->Width(), screen.Width() + 2 * wide->Margin + 2);
  EXPECT_EQ(wide->Form()->Left(), 0);
}

TEST(CompletionProposal, EmptyListOrRefusalShowsNothing) {
  auto p = MakeHint({});
  p->ExecuteEx("", 10, 10, ctHint);
  EXPECT_FALSE(p->Visible());
  p->ItemList().Add("x");
  int asked = 0;
  p->OnExecute = [&](OndCompletionType kind, TObject*, std::string&, int&, int&, bool& can) {
    EXPECT_EQ(kind, ctParams);
    ++asked;
    can = asked > 1;
  };
  p->ExecuteEx("", 10, 10, ctParams);
  EXPECT_FALSE(p->Visible());
  p->ExecuteEx("", 10, 10, ctParams);
  EXPECT_TRUE(p->Visible());
  // A shown parameter hint goes when its list empties.
  p->ItemList().Clear();
  p->ExecuteEx("", 10, 10, ctParams);
  EXPECT_FALSE(p->Visible());
}

void Key(QWidget* w, int key, const QString& text = {}, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent e(QEvent::KeyPress, key, mods, text);
  QApplication::sendEvent(w, &e);
}

std::unique_ptr<TOndEdit> MakeEditor(const std::string& text) {
  auto ed = std::make_unique<TOndEdit>(nullptr);
  ed->SetBounds(0, 0, 400, 200);
  ed->Lines()->SetText(text);
  ed->Show();
  return ed;
}

TEST(CompletionProposal, EscapeAndOtherKeysPutAHintAway) {
  auto ed = MakeEditor("one\r\ntwo");
  auto p = MakeHint({"hint"});
  p->SetEditor(ed.get());
  int cancels = 0;
  p->OnCancel = [&](TObject*) { ++cancels; };
  p->ExecuteEx("", 10, 10, ctHint);
  ASSERT_TRUE(p->Visible());
  Key(ed->Widget(), Qt::Key_Escape);
  EXPECT_FALSE(p->Visible());
  EXPECT_EQ(cancels, 1);
  // Any other key hides it too, and still reaches the editor.
  p->ExecuteEx("", 10, 10, ctHint);
  Key(ed->Widget(), Qt::Key_Down);
  EXPECT_FALSE(p->Visible());
  EXPECT_EQ(ed->GetCaretXY().Line, 2);
  // A parameter hint stays while typing; Escape puts it away.
  p->ExecuteEx("", 10, 10, ctParams);
  Key(ed->Widget(), Qt::Key_Right);
  EXPECT_TRUE(p->Visible());
  Key(ed->Widget(), Qt::Key_Escape);
  EXPECT_FALSE(p->Visible());
}

TEST(CompletionProposal, CodeListTakesItsKeysAndCompletesTheWord) {
  auto ed = MakeEditor("x = ap");
  ed->SetCaretXY(BufferCoord(7, 1));
  auto p = std::make_unique<TOndCompletionProposal>();
  p->SetEditor(ed.get());
  for (const char* s : {"apple", "apricot", "banana"}) p->ItemList().Add(s);
  int after = 0;
  p->OnAfterCodeCompletion = [&](TObject*) { ++after; };
  p->ExecuteEx("ap", 10, 10, ctCode);
  ASSERT_TRUE(p->Visible());
  EXPECT_EQ(p->List().Shown().size(), 2u);
  // Down moves the selection, not the caret.
  Key(ed->Widget(), Qt::Key_Down);
  EXPECT_EQ(p->List().Position(), 1);
  EXPECT_EQ(ed->GetCaretXY().Char, 7);
  // Typing narrows the list; Backspace widens it again.
  Key(ed->Widget(), Qt::Key_R, "r");
  EXPECT_EQ(p->CurrentString(), "apr");
  EXPECT_EQ(p->List().Shown().size(), 1u);
  Key(ed->Widget(), Qt::Key_Backspace);
  EXPECT_EQ(p->CurrentString(), "ap");
  Key(ed->Widget(), Qt::Key_Return);
  EXPECT_FALSE(p->Visible());
  EXPECT_EQ(ed->Lines()->Get(0), "x = apple");
  EXPECT_EQ(after, 1);
  // Escape cancels without completing.
  p->ExecuteEx("", 10, 10, ctCode);
  Key(ed->Widget(), Qt::Key_Escape);
  EXPECT_FALSE(p->Visible());
  EXPECT_EQ(ed->Lines()->Get(0), "x = apple");
}

TEST(CompletionProposal, EditorAndPopUpMayGoInEitherOrder) {
  {
    auto ed = MakeEditor("text");
    auto p = MakeHint({"hint"});
    p->SetEditor(ed.get());
    p->ExecuteEx("", 10, 10, ctHint);
    ed.reset();
    EXPECT_EQ(p->GetEditor(), nullptr);
    EXPECT_FALSE(p->Visible());
  }
  {
    auto ed = MakeEditor("text");
    auto p = MakeHint({"hint"});
    p->SetEditor(ed.get());
    p.reset();
    // The editor's chains no longer call the freed pop-up.
    Key(ed->Widget(), Qt::Key_Escape);
    Key(ed->Widget(), Qt::Key_A, "a");
    EXPECT_EQ(ed->Lines()->Get(0), "atext");
  }
}

TEST(CompletionProposal, TimerFollowsItsOption) {
  TOndCompletionProposal p;
  EXPECT_EQ(p.Timer(), nullptr);
  p.SetTimerInterval(500);
  p.SetOptions(p.GetOptions() | scoUseBuiltInTimer);
  ASSERT_NE(p.Timer(), nullptr);
  EXPECT_EQ(p.Timer()->GetInterval(), 500);
  EXPECT_FALSE(p.Timer()->GetEnabled());
  p.SetTimerInterval(300);
  EXPECT_EQ(p.Timer()->GetInterval(), 300);
  p.SetOptions(DefaultProposalOptions);
  EXPECT_EQ(p.Timer(), nullptr);
}

TEST(CompletionProposal, FoldHintShowsTheFileTextVerbatim) {
  auto ed = std::make_unique<TOndEdit>(nullptr);
  ed->SetBounds(0, 0, 500, 300);
  ed->CodeFolding().FoldRegions().Add(frtChar, false, false, false, "{", "}");
  ed->CodeFolding().SetEnabled(true);
  ed->Lines()->SetText("block {\r\n\tC:\\dir\\n{x}\r\n\\style{+B}\\\\\r\n}");
  ed->RescanFoldRanges();
  ed->Show();
  ed->SetTabWidth(2);
  ASSERT_TRUE(ed->CollapseFoldRange(ed->FoldRangeAtLine(1)));
  auto* hint = ed->FoldHint();
  ASSERT_NE(hint, nullptr);
  const int len = static_cast<int>(ed->Lines()->GetView(0).size());
  const TPoint marker = ed->RowColumnToPixels(DisplayCoord(len - 5 + 2, 1));
  QMouseEvent move(QEvent::MouseMove, QPointF(marker.X + 1, ed->GetLineHeight() / 2), QPointF(), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(ed->Widget(), &move);
  ASSERT_TRUE(hint->Visible());
  const TStrings& items = hint->ItemList();
  ASSERT_EQ(items.GetCount(), 4);
  // Every line reads back as the file's text, tabs as blanks.
  EXPECT_EQ(FormatPlainText(items.Get(1)), "  C:\\dir\\n{x}");
  EXPECT_EQ(FormatPlainText(items.Get(2)), "\\style{+B}\\\\");
  // And is as wide as that text: nothing was taken for a command.
  TBitmap m(1, 1);
  m.Canvas()->Font.Assign(ed->Font);
  const int widest = std::max(m.Canvas()->TextWidth("  C:\\dir\\n{x}"), m.Canvas()->TextWidth("\\style{+B}\\\\"));
  EXPECT_EQ(hint->Form()->Width(), HintSize(4, hint->EffectiveItemHeight(), widest, hint->Margin).cx);
  // Escape in the editor puts it away.
  Key(ed->Widget(), Qt::Key_Escape);
  EXPECT_FALSE(hint->Visible());
  // So does the pointer leaving the editor, even straight from the mark.
  QApplication::sendEvent(ed->Widget(), &move);
  ASSERT_TRUE(hint->Visible());
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(ed->Widget(), &leave);
  EXPECT_FALSE(hint->Visible());
}

std::unique_ptr<TOndCompletionProposal> MakeCodeList(int items) {
  auto p = std::make_unique<TOndCompletionProposal>();
  p->SetFont(HintFont());
  for (int i = 0; i < items; ++i) p->ItemList().Add("item" + std::to_string(i));
  return p;
}

// The code list's height counts its items, its title and its frame on both
// sides: a sizing border when resizeable, a thin one otherwise.
TEST(CompletionProposal, CodeListHeightCountsTheFrameOnBothSides) {
  for (bool resizeable : {true, false}) {
    for (const char* title : {"", "Title"}) {
      auto p = MakeCodeList(20);
      p->Resizeable = resizeable;
      p->Title = title;
      p->ExecuteEx("", 10, 10, ctCode);
      const int frame = resizeable ? ProposalSizingFrame : ProposalThinFrame;
      EXPECT_EQ(p->Form()->GetFrameWidth(), frame);
      EXPECT_EQ(p->Form()->Height(), 8 * p->EffectiveItemHeight() + p->TitleHeight() + 2 * frame) << title;
      EXPECT_EQ(p->Form()->ClientHeight(), 8 * p->EffectiveItemHeight() + p->TitleHeight()) << title;
      EXPECT_EQ(p->Form()->Width(), 260);
      // The frame is painted round the list.
      TBitmap shot;
      p->Form()->PaintTo(shot, true);
      const TColor edge = shot.Canvas()->GetPixel(0, p->Form()->Height() / 2);
      EXPECT_NE(edge, ColorToRGB(p->GetClBackground())) << resizeable;
    }
  }
  // A hint has no frame of the window's: it draws its own.
  auto h = MakeHint({"a", "b"});
  h->ExecuteEx("", 10, 10, ctHint);
  EXPECT_EQ(h->Form()->GetFrameWidth(), 0);
  EXPECT_FALSE(h->Form()->ScrollBarVisible(TScrollBarKind::sbVertical));
}

// The vertical scroll bar follows the first visible item, and moving it
// scrolls the list; the wheel scrolls by the system's wheel setting.
TEST(CompletionProposal, CodeListScrollBarAndWheel) {
  auto p = MakeCodeList(30);
  p->ExecuteEx("", 10, 10, ctCode);
  TOndBaseCompletionProposalForm* form = p->Form();
  ASSERT_TRUE(form->ScrollBarVisible(TScrollBarKind::sbVertical));
  TScrollInfo info = form->GetScrollInfo(TScrollBarKind::sbVertical);
  EXPECT_EQ(info.Min, 0);
  EXPECT_EQ(info.Max, 29);
  EXPECT_EQ(info.Page, 8);
  EXPECT_EQ(info.Pos, 0);
  p->ScrollListBy(5);
  EXPECT_EQ(form->GetScrollInfo(TScrollBarKind::sbVertical).Pos, 5);
  // The user's bar: a line down, a page down, the thumb dragged.
  form->Show();
  QScrollBar* bar = form->Widget()->findChild<QScrollBar*>();
  ASSERT_NE(bar, nullptr);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(p->List().TopItem(), 6);
  bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(p->List().TopItem(), 14);
  bar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(p->List().TopItem(), 22);  // the last page
  EXPECT_EQ(form->GetScrollInfo(TScrollBarKind::sbVertical).Pos, 22);
  // Keys move the selection and the bar with it.
  p->ScrollListBy(-100);
  EXPECT_EQ(form->GetScrollInfo(TScrollBarKind::sbVertical).Pos, 0);

  const int keep = QApplication::wheelScrollLines();
  QApplication::setWheelScrollLines(2);
  QWheelEvent down(QPointF(20, 20), form->Widget()->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, -120),
                   Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(form->Widget(), &down);
  EXPECT_EQ(p->List().TopItem(), 2);
  QWheelEvent page(QPointF(20, 20), form->Widget()->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, -120),
                   Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(form->Widget(), &page);
  EXPECT_EQ(p->List().TopItem(), 10);
  QApplication::setWheelScrollLines(keep);
  // Few items: the bar shows but cannot move.
  auto few = MakeCodeList(3);
  few->ExecuteEx("", 10, 10, ctCode);
  EXPECT_FALSE(few->Form()->ScrollBarEnabled(TScrollBarKind::sbVertical));
}

// A high-resolution wheel sends each notch as several small steps (15 units
// of the 120 a notch makes): they add up to the notch, in either direction,
// instead of each scrolling as much as a whole notch.
TEST(CompletionProposal, CodeListAddsUpSmallWheelSteps) {
  auto p = MakeCodeList(30);
  p->ExecuteEx("", 10, 10, ctCode);
  TOndBaseCompletionProposalForm* form = p->Form();
  form->Show();
  const int keep = QApplication::wheelScrollLines();
  QApplication::setWheelScrollLines(2);
  auto wheel = [&](int AngleDelta) {
    QWheelEvent e(QPointF(20, 20), form->Widget()->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, AngleDelta),
                  Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(form->Widget(), &e);
  };
  for (int i = 0; i < 7; ++i) wheel(-15);
  EXPECT_EQ(p->List().TopItem(), 0);  // not yet a notch
  wheel(-15);
  EXPECT_EQ(p->List().TopItem(), 2);  // one notch: the wheel setting's two items
  for (int i = 0; i < 16; ++i) wheel(-15);
  EXPECT_EQ(p->List().TopItem(), 6);
  for (int i = 0; i < 8; ++i) wheel(15);
  EXPECT_EQ(p->List().TopItem(), 4);
  QApplication::setWheelScrollLines(keep);
}

// Resizing the code list keeps a whole number of items, at least one; the
// sizing border resizes it when dragged, a thin border does not.
TEST(CompletionProposal, CodeListResizesToWholeItems) {
  auto p = MakeCodeList(30);
  p->ExecuteEx("", 10, 10, ctCode);
  TOndBaseCompletionProposalForm* form = p->Form();
  const int item = p->EffectiveItemHeight(), frame = form->GetFrameWidth();
  form->SetBounds(form->Left(), form->Top(), 260, 3 * item + item / 3 + 2 * frame);
  EXPECT_EQ(form->Height(), 3 * item + 2 * frame);
  EXPECT_EQ(p->NbLinesInWindow, 3);
  EXPECT_EQ(form->GetScrollInfo(TScrollBarKind::sbVertical).Page, 3);
  form->SetBounds(form->Left(), form->Top(), 260, 2);
  EXPECT_EQ(p->NbLinesInWindow, 1);
  EXPECT_EQ(form->Height(), item + 2 * frame);

  // Dragging the bottom right corner by two items and a bit.
  form->SetBounds(form->Left(), form->Top(), 260, 4 * item + 2 * frame);
  form->Show();
  QWidget* w = form->Widget();
  const QPoint corner(w->width() - 2, w->height() - 2);
  auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(at), QPointF(w->mapToGlobal(at)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
  };
  send(QEvent::MouseButtonPress, corner, Qt::LeftButton, Qt::LeftButton);
  send(QEvent::MouseMove, corner + QPoint(30, 2 * item + 2), Qt::NoButton, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, corner + QPoint(30, 2 * item + 2), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(p->NbLinesInWindow, 6);
  EXPECT_EQ(form->Height(), 6 * item + 2 * frame);
  EXPECT_EQ(form->Width(), 290);
  EXPECT_EQ(p->Width, 290);
  // The middle of the list sizes nothing.
  EXPECT_EQ(form->SizingEdgesAt(20, 20), 0);
  p->CancelCompletion();

  // Not resizeable: the thin border does not size.
  p->Resizeable = false;
  p->ExecuteEx("", 10, 10, ctCode);
  EXPECT_EQ(form->SizingEdgesAt(form->Width() - 2, form->Height() - 2), 0);
}

}  // namespace
}  // namespace ond
