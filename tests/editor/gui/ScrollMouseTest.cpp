// Scrolling, the wheel, the scroll bars, mouse selection through synthetic Qt
// events, gutter clicks, the right-edge drag, dropping text, Tab and the
// input method, on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <memory>

#include "editor/OndEdit.h"

namespace ond {
namespace {

class TestEdit : public TOndEdit {
 public:
  using TOndEdit::TOndEdit;
  using TCustomOndEdit::DoMouseWheel;
  using TCustomOndEdit::Scroll;
  using TCustomOndEdit::DragLeave;
  using TCustomOndEdit::DragOver;
};

std::unique_ptr<TestEdit> MakeEditor(int width = 400, int height = 200) {
  auto ed = std::make_unique<TestEdit>(nullptr);
  ed->SetBounds(0, 0, width, height);
  return ed;
}

std::string Lines(int n, const std::string& prefix = "line ") {
  std::string s;
  for (int i = 1; i <= n; ++i) s += prefix + std::to_string(i) + (i < n ? "\n" : "");
  return s;
}

void SendMouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QMouseEvent e(type, QPointF(p), QPointF(w->mapToGlobal(p)), button, buttons, mods);
  QApplication::sendEvent(w, &e);
}

QPoint PixelOf(TCustomOndEdit& ed, int column, int row) {
  const TPoint p = ed.RowColumnToPixels(DisplayCoord(column, row));
  return QPoint(p.X + 1, p.Y + ed.GetLineHeight() / 2);
}

TEST(ScrollMouse, TopLineAndLeftColumnClampedWithAndWithoutScrollPast) {
  auto ed = MakeEditor();
  ed->Lines()->SetText(Lines(100));
  const int lines = ed->GetLinesInWindow();
  ASSERT_GT(lines, 2);
  ed->SetOptions(ed->GetOptions() & ~eoScrollPastEof);
  ed->SetTopLine(1000);
  EXPECT_EQ(ed->GetTopLine(), 100 - lines + 1);
  ed->SetTopLine(-4);
  EXPECT_EQ(ed->GetTopLine(), 1);
  ed->SetOptions(ed->GetOptions() | eoScrollPastEof);
  ed->SetTopLine(1000);
  EXPECT_EQ(ed->GetTopLine(), 100);
  // Switching the option off brings the view back.
  ed->SetOptions(ed->GetOptions() & ~eoScrollPastEof);
  EXPECT_EQ(ed->GetTopLine(), 100 - lines + 1);

  ed->SetOptions(ed->GetOptions() & ~eoScrollPastEol);
  ed->Lines()->SetText(std::string(200, 'x'));
  const int chars = ed->GetCharsInWindow();
  ed->SetLeftColumn(10000);
  EXPECT_EQ(ed->GetLeftColumn(), 200 - chars + 1);
  ed->SetOptions(ed->GetOptions() | eoScrollPastEol);
  ed->SetLeftColumn(10000);
  EXPECT_EQ(ed->GetLeftColumn(), ed->GetMaxScrollWidth() - chars + 1);
  // With automatic width the scroll width grows with the view.
  ed->SetOptions(ed->GetOptions() | eoAutoSizeMaxScrollWidth);
  ed->SetLeftColumn(5000);
  EXPECT_EQ(ed->GetLeftColumn(), 5000);
  EXPECT_EQ(ed->GetMaxScrollWidth(), 5000 + chars);
}

TEST(ScrollMouse, WheelNotchesAndCtrlHalfPage) {
  auto ed = MakeEditor();
  ed->Lines()->SetText(Lines(200));
  ed->SetTopLine(50);
  int scrolls = 0;
  ed->OnScroll = [&](TObject*, TScrollBarKind k) {
    EXPECT_EQ(k, TScrollBarKind::sbVertical);
    ++scrolls;
  };
  EXPECT_TRUE(ed->DoMouseWheel(0, 60, TPoint{}));
  EXPECT_EQ(ed->GetTopLine(), 50);
  EXPECT_TRUE(ed->DoMouseWheel(0, 60, TPoint{}));
  EXPECT_EQ(ed->GetTopLine(), 47);
  EXPECT_EQ(scrolls, 2);
  ed->DoMouseWheel(0, -240, TPoint{});
  EXPECT_EQ(ed->GetTopLine(), 53);
  const int lines = ed->GetLinesInWindow();
  ed->DoMouseWheel(ssCtrl, -120, TPoint{});
  EXPECT_EQ(ed->GetTopLine(), 53 + lines);
  ed->SetOptions(ed->GetOptions() | eoHalfPageScroll);
  ed->DoMouseWheel(ssCtrl, 120, TPoint{});
  EXPECT_EQ(ed->GetTopLine(), 53 + lines - lines / 2);
}

TEST(ScrollMouse, ScrollBarsFollowTheViewAndScrollCodesMoveIt) {
  auto ed = MakeEditor();
  ed->Lines()->SetText(Lines(40000));
  ASSERT_TRUE(ed->ScrollBarVisible(TScrollBarKind::sbVertical));
  TScrollInfo v = ed->GetScrollInfo(TScrollBarKind::sbVertical);
  EXPECT_EQ(v.Min, 0);
  EXPECT_EQ(v.Max, 32767);
  EXPECT_LT(v.Page, 100);
  ed->Scroll(TScrollBarKind::sbVertical, TScrollCode::scLineDown, 0);
  EXPECT_EQ(ed->GetTopLine(), 2);
  ed->Scroll(TScrollBarKind::sbVertical, TScrollCode::scPageDown, 0);
  EXPECT_EQ(ed->GetTopLine(), 2 + ed->GetLinesInWindow());
  ed->Scroll(TScrollBarKind::sbVertical, TScrollCode::scTrack, 16384);
  EXPECT_TRUE(ed->Scrolling());
  EXPECT_NEAR(ed->GetTopLine(), 20000, ed->GetLinesInWindow() + 2);
  ed->Scroll(TScrollBarKind::sbVertical, TScrollCode::scEndScroll, 0);
  EXPECT_FALSE(ed->Scrolling());
  v = ed->GetScrollInfo(TScrollBarKind::sbVertical);
  EXPECT_EQ(v.Pos, MulDiv(32767, ed->GetTopLine(), 40000));
  ed->Scroll(TScrollBarKind::sbVertical, TScrollCode::scTop, 0);
  EXPECT_EQ(ed->GetTopLine(), 1);

  // A short text: an unscaled range, and the horizontal bar disabled.
  ed->SetOptions(ed->GetOptions() & ~eoScrollPastEol);
  ed->Lines()->SetText("ab\ncd");
  v = ed->GetScrollInfo(TScrollBarKind::sbVertical);
  EXPECT_EQ(v.Min, 1);
  EXPECT_FALSE(ed->ScrollBarEnabled(TScrollBarKind::sbHorizontal));
  ed->SetOptions(ed->GetOptions() | eoHideShowScrollbars);
  EXPECT_FALSE(ed->ScrollBarVisible(TScrollBarKind::sbHorizontal));
  // Flat styles use the same bars; none hides both.
  ed->ScrollBars().SetStyle(sbsFlat);
  ed->SetOptions(ed->GetOptions() & ~eoHideShowScrollbars);
  EXPECT_TRUE(ed->ScrollBarVisible(TScrollBarKind::sbHorizontal));
  ed->ScrollBars().SetScrollBars(ssNone);
  EXPECT_FALSE(ed->ScrollBarVisible(TScrollBarKind::sbHorizontal));
  EXPECT_FALSE(ed->ScrollBarVisible(TScrollBarKind::sbVertical));
}

TEST(ScrollMouse, SelectionByPressDragAndReleaseAndDoubleClick) {
  auto ed = MakeEditor();
  ed->Lines()->SetText("alpha beta gamma\nsecond line here\nthird");
  ed->Show();
  QWidget* w = ed->Widget();
  SendMouse(w, QEvent::MouseButtonPress, PixelOf(*ed, 3, 1), Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(3, 1));
  EXPECT_FALSE(ed->SelAvail());
  SendMouse(w, QEvent::MouseMove, PixelOf(*ed, 8, 2), Qt::NoButton, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, PixelOf(*ed, 8, 2), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(ed->GetBlockBegin(), BufferCoord(3, 1));
  EXPECT_EQ(ed->GetBlockEnd(), BufferCoord(8, 2));
  EXPECT_EQ(ed->GetSelText(), "pha beta gamma\r\nsecond ");

  // Shift extends from the anchor.
  SendMouse(w, QEvent::MouseButtonPress, PixelOf(*ed, 2, 3), Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
  SendMouse(w, QEvent::MouseButtonRelease, PixelOf(*ed, 2, 3), Qt::LeftButton, Qt::NoButton, Qt::ShiftModifier);
  EXPECT_EQ(ed->GetBlockBegin(), BufferCoord(3, 1));
  EXPECT_EQ(ed->GetBlockEnd(), BufferCoord(2, 3));

  // A click inside the selection waits for a drag; released without moving
  // it places the caret there.
  SendMouse(w, QEvent::MouseButtonPress, PixelOf(*ed, 4, 2), Qt::LeftButton, Qt::LeftButton);
  EXPECT_TRUE(ed->StateFlags() & sfWaitingForDrag);
  EXPECT_TRUE(ed->SelAvail());
  SendMouse(w, QEvent::MouseButtonRelease, PixelOf(*ed, 4, 2), Qt::LeftButton, Qt::NoButton);
  EXPECT_FALSE(ed->SelAvail());
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(4, 2));

  // A double click selects the word.
  SendMouse(w, QEvent::MouseButtonPress, PixelOf(*ed, 8, 1), Qt::LeftButton, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, PixelOf(*ed, 8, 1), Qt::LeftButton, Qt::NoButton);
  SendMouse(w, QEvent::MouseButtonDblClick, PixelOf(*ed, 8, 1), Qt::LeftButton, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, PixelOf(*ed, 8, 1), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(ed->GetSelText(), "beta");
  EXPECT_FALSE(ed->StateFlags() & sfDoubleClicked);

  // Alt switches to column mode, a later press without Alt switches back.
  ed->SetOptions(ed->GetOptions() | eoAltSetsColumnMode);
  SendMouse(w, QEvent::MouseButtonPress, PixelOf(*ed, 2, 1), Qt::LeftButton, Qt::LeftButton, Qt::AltModifier);
  SendMouse(w, QEvent::MouseMove, PixelOf(*ed, 4, 2), Qt::NoButton, Qt::LeftButton, Qt::AltModifier);
  SendMouse(w, QEvent::MouseButtonRelease, PixelOf(*ed, 4, 2), Qt::LeftButton, Qt::NoButton, Qt::AltModifier);
  EXPECT_EQ(ed->GetSelectionMode(), smColumn);
  EXPECT_EQ(ed->GetSelText(), "lp\r\nec");
  SendMouse(w, QEvent::MouseButtonPress, PixelOf(*ed, 1, 3), Qt::LeftButton, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, PixelOf(*ed, 1, 3), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(ed->GetSelectionMode(), smNormal);
}

TEST(ScrollMouse, RightClickMovesTheCaretOnlyWithTheOption) {
  auto ed = MakeEditor();
  ed->Lines()->SetText("one two three\nfour");
  ed->Show();
  QWidget* w = ed->Widget();
  ed->SetBlockBegin(BufferCoord(1, 1));
  ed->SetBlockEnd(BufferCoord(4, 1));
  ed->SetOptions(ed->GetOptions() & ~eoRightMouseMovesCursor);
  SendMouse(w, QEvent::MouseButtonPress, PixelOf(*ed, 3, 2), Qt::RightButton, Qt::RightButton);
  SendMouse(w, QEvent::MouseButtonRelease, PixelOf(*ed, 3, 2), Qt::RightButton, Qt::NoButton);
  EXPECT_TRUE(ed->SelAvail());
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(1, 1));
  ed->SetOptions(ed->GetOptions() | eoRightMouseMovesCursor);
  // Inside the selection everything stays.
  SendMouse(w, QEvent::MouseButtonPress, PixelOf(*ed, 2, 1), Qt::RightButton, Qt::RightButton);
  SendMouse(w, QEvent::MouseButtonRelease, PixelOf(*ed, 2, 1), Qt::RightButton, Qt::NoButton);
  EXPECT_TRUE(ed->SelAvail());
  SendMouse(w, QEvent::MouseButtonPress, PixelOf(*ed, 3, 2), Qt::RightButton, Qt::RightButton);
  SendMouse(w, QEvent::MouseButtonRelease, PixelOf(*ed, 3, 2), Qt::RightButton, Qt::NoButton);
  EXPECT_FALSE(ed->SelAvail());
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(3, 2));
}

TEST(ScrollMouse, GutterClickFiresOnReleaseAndRightEdgeDragStaysPositive) {
  auto ed = MakeEditor();
  ed->Lines()->SetText(Lines(5));
  ed->Show();
  QWidget* w = ed->Widget();
  int clickedLine = 0, clicks = 0;
  ed->OnGutterClick = [&](TObject*, TMouseButton, int, int, int Line, TOndEditMark*, int) {
    clickedLine = Line;
    ++clicks;
  };
  const QPoint g(5, ed->GetLineHeight() * 2 + 2);
  SendMouse(w, QEvent::MouseButtonPress, g, Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(clicks, 0);
  SendMouse(w, QEvent::MouseButtonRelease, g, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(clickedLine, 3);
  // The right button fires at once.
  SendMouse(w, QEvent::MouseButtonPress, g, Qt::RightButton, Qt::RightButton);
  EXPECT_EQ(clicks, 2);
  SendMouse(w, QEvent::MouseButtonRelease, g, Qt::RightButton, Qt::NoButton);
  EXPECT_EQ(clicks, 2);

  ed->RightEdge().SetVisible(true);
  ed->RightEdge().SetPosition(10);
  const int edgeX = ed->RowColumnToPixels(DisplayCoord(11, 1)).X;
  SendMouse(w, QEvent::MouseButtonPress, QPoint(edgeX + 1, 5), Qt::LeftButton, Qt::LeftButton);
  EXPECT_TRUE(ed->RightEdgeDragging());
  SendMouse(w, QEvent::MouseMove, QPoint(0, 5), Qt::NoButton, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, QPoint(0, 5), Qt::LeftButton, Qt::NoButton);
  EXPECT_FALSE(ed->RightEdgeDragging());
  EXPECT_EQ(ed->RightEdge().GetPosition(), 1);
  const int x30 = ed->RowColumnToPixels(DisplayCoord(30, 1)).X;
  SendMouse(w, QEvent::MouseButtonPress, QPoint(ed->RowColumnToPixels(DisplayCoord(2, 1)).X, 5), Qt::LeftButton,
            Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, QPoint(x30 + 1, 5), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(ed->RightEdge().GetPosition(), 30);
}

TEST(ScrollMouse, AutoScrollWhileSelectingBeyondTheWindow) {
  auto ed = MakeEditor();
  ed->Lines()->SetText(Lines(100));
  ed->Show();
  QWidget* w = ed->Widget();
  SendMouse(w, QEvent::MouseButtonPress, PixelOf(*ed, 1, 1), Qt::LeftButton, Qt::LeftButton);
  const int below = ed->GetLinesInWindow() * ed->GetLineHeight() + 3;
  SendMouse(w, QEvent::MouseMove, QPoint(50, below), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(ed->ScrollDeltaY(), 1);
  EXPECT_TRUE(ed->ScrollTimer()->GetEnabled());
  ed->ScrollTimer()->Tick();
  ed->ScrollTimer()->Tick();
  EXPECT_EQ(ed->GetTopLine(), 3);
  EXPECT_EQ(ed->GetCaretXY().Line, 2 + ed->GetLinesInWindow());
  EXPECT_EQ(ed->GetBlockBegin(), BufferCoord(1, 1));
  SendMouse(w, QEvent::MouseButtonRelease, QPoint(50, below), Qt::LeftButton, Qt::NoButton);
  EXPECT_FALSE(ed->ScrollTimer()->GetEnabled());
}

// A mouse capture taken away while selecting (another control captures, or
// the focus goes) stops the auto-scroll and the selecting: later moves with
// the button still down neither scroll nor move the selection.
TEST(ScrollMouse, ALostCaptureStopsAutoScrollAndSelecting) {
  for (int way = 0; way < 3; ++way) {
    auto ed = MakeEditor();
    ed->Show();
    ed->Lines()->SetText(Lines(100));
    QWidget* w = ed->Widget();
    SendMouse(w, QEvent::MouseButtonPress, PixelOf(*ed, 1, 1), Qt::LeftButton, Qt::LeftButton);
    const int below = ed->GetLinesInWindow() * ed->GetLineHeight() + 3;
    SendMouse(w, QEvent::MouseMove, QPoint(50, below), Qt::NoButton, Qt::LeftButton);
    ASSERT_TRUE(ed->ScrollTimer()->GetEnabled());
    ASSERT_TRUE(ed->GetMouseCapture());
    auto other = MakeEditor();
    other->Show();
    if (way == 0) {
      other->SetMouseCapture(true);  // another control captures
    } else if (way == 1) {
      QFocusEvent out(QEvent::FocusOut, Qt::PopupFocusReason);
      QApplication::sendEvent(w, &out);
    } else {
      ed->Hide();
    }
    EXPECT_FALSE(ed->ScrollTimer()->GetEnabled()) << way;
    EXPECT_EQ(ed->ScrollDeltaY(), 0) << way;
    EXPECT_FALSE(ed->GetMouseCapture()) << way;
    const TBufferCoord end = ed->GetBlockEnd();
    const int top = ed->GetTopLine();
    SendMouse(w, QEvent::MouseMove, QPoint(50, below + 40), Qt::NoButton, Qt::LeftButton);
    EXPECT_FALSE(ed->ScrollTimer()->GetEnabled()) << way;
    EXPECT_EQ(ed->GetBlockEnd(), end) << way;
    EXPECT_EQ(ed->GetTopLine(), top) << way;
    other->SetMouseCapture(false);
  }
}

// The editor's own drag leaving it puts the caret back at the press; another
// editor's drag leaving it leaves the caret where the drag had put it.
TEST(ScrollMouse, OwnDragLeavingPutsTheCaretBackAtThePress) {
  auto ed = MakeEditor();
  ed->Show();
  ed->Lines()->SetText("first line\nsecond line\nthird");
  ed->PlaceCaretAndSelection(BufferCoord(7, 1), BufferCoord(1, 1), BufferCoord(7, 1));
  QWidget* w = ed->Widget();
  const QPoint press = PixelOf(*ed, 3, 1);
  SendMouse(w, QEvent::MouseButtonPress, press, Qt::LeftButton, Qt::LeftButton);
  const TBufferCoord pressed = ed->GetCaretXY();
  EXPECT_EQ(pressed, BufferCoord(3, 1));
  bool accept = false;
  const QPoint over = PixelOf(*ed, 4, 3);
  ed->DragOver(ed.get(), over.x(), over.y(), accept);
  ASSERT_TRUE(accept);
  ASSERT_EQ(ed->GetCaretXY(), BufferCoord(4, 3));
  auto other = MakeEditor();
  ed->DragLeave(other.get());
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(4, 3));
  ed->DragLeave(ed.get());
  EXPECT_EQ(ed->GetCaretXY(), pressed);
  SendMouse(w, QEvent::MouseButtonRelease, press, Qt::LeftButton, Qt::NoButton);
}

TEST(ScrollMouse, DroppedTextMovesAsOneUndoStep) {
  auto ed = MakeEditor();
  const std::string text = "first line\nsecond line\nthird";
  ed->Lines()->SetText(text);
  const std::string before = ed->GetEditorText();
  ed->SetBlockBegin(BufferCoord(1, 1));
  ed->SetBlockEnd(BufferCoord(7, 1));  // "first "
  const QPoint at = PixelOf(*ed, 8, 2);  // before "line" of line 2
  ed->DropText(ed.get(), at.x(), at.y(), 0);
  EXPECT_EQ(ed->Lines()->GetText(), "line\r\nsecond first line\r\nthird");
  EXPECT_EQ(ed->GetSelText(), "first ");
  ed->Undo();
  EXPECT_EQ(ed->GetEditorText(), before);
  ed->Redo();
  EXPECT_EQ(ed->Lines()->GetText(), "line\r\nsecond first line\r\nthird");
  ed->Undo();

  // Ctrl copies; a drop inside the selection does nothing.
  ed->SetBlockBegin(BufferCoord(1, 2));
  ed->SetBlockEnd(BufferCoord(7, 2));
  const QPoint inside = PixelOf(*ed, 3, 2);
  ed->DropText(ed.get(), inside.x(), inside.y(), 0);
  EXPECT_EQ(ed->GetEditorText(), before);
  const QPoint end3 = PixelOf(*ed, 6, 3);
  ed->DropText(ed.get(), end3.x(), end3.y(), ssCtrl);
  EXPECT_EQ(ed->Lines()->GetText(), "first line\r\nsecond line\r\nthirdsecond");
  ed->Undo();
  EXPECT_EQ(ed->GetEditorText(), before);

  // Between editors: copied, or moved with Shift and recorded in both.
  auto other = MakeEditor();
  other->Lines()->SetText("xyz");
  ed->SetBlockBegin(BufferCoord(1, 3));
  ed->SetBlockEnd(BufferCoord(6, 3));
  const QPoint o = PixelOf(*other, 2, 1);
  other->DropText(ed.get(), o.x(), o.y(), 0);
  EXPECT_EQ(other->Lines()->GetText(), "xthirdyz");
  EXPECT_EQ(ed->GetEditorText(), before);
  other->Undo();
  other->DropText(ed.get(), o.x(), o.y(), ssShift);
  EXPECT_EQ(other->Lines()->GetText(), "xthirdyz");
  EXPECT_EQ(ed->Lines()->GetText(), "first line\r\nsecond line\r\n");
  ed->Undo();
  EXPECT_EQ(ed->GetEditorText(), before);
  other->Undo();
  EXPECT_EQ(other->GetEditorText(), "xyz");
  // A read-only source keeps its text.
  ed->SetBlockBegin(BufferCoord(1, 3));
  ed->SetBlockEnd(BufferCoord(6, 3));
  ed->SetReadOnly(true);
  other->DropText(ed.get(), o.x(), o.y(), ssShift);
  EXPECT_EQ(other->Lines()->GetText(), "xthirdyz");
  EXPECT_EQ(ed->GetEditorText(), before);
  // Nothing drops into a read-only editor.
  other->SetReadOnly(true);
  other->Undo();
  other->DropText(ed.get(), o.x(), o.y(), 0);
  EXPECT_EQ(other->Lines()->GetText(), "xthirdyz");
}

TEST(ScrollMouse, TabReachesTheEditorOnlyWhenItWantsTabs) {
  QWidget window;
  window.resize(500, 300);
  auto ed = std::make_unique<TestEdit>(nullptr);
  ed->Widget()->setParent(&window);
  ed->SetBounds(0, 0, 300, 200);
  QWidget next(&window);
  next.setFocusPolicy(Qt::StrongFocus);
  next.setGeometry(310, 0, 50, 50);
  window.show();
  window.activateWindow();
  QApplication::processEvents();
  ed->Lines()->SetText("ab");
  ed->SetOptions(ed->GetOptions() & ~eoTabsToSpaces);
  ed->Widget()->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), ed->Widget());

  ed->WantTabs = true;
  QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, "\t");
  QApplication::sendEvent(ed->Widget(), &tab);
  EXPECT_EQ(ed->Lines()->GetText(), "\tab");
  EXPECT_EQ(QApplication::focusWidget(), ed->Widget());
  QKeyEvent back(QEvent::KeyPress, Qt::Key_Backtab, Qt::ShiftModifier);
  QApplication::sendEvent(ed->Widget(), &back);
  EXPECT_EQ(QApplication::focusWidget(), ed->Widget());

  ed->WantTabs = false;
  const std::string before = ed->GetEditorText();
  QKeyEvent tab2(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, "\t");
  QApplication::sendEvent(ed->Widget(), &tab2);
  EXPECT_EQ(ed->GetEditorText(), before);
  EXPECT_EQ(QApplication::focusWidget(), &next);
  ed->Widget()->setParent(nullptr);
}

TEST(ScrollMouse, InputMethodCommitAndCaretRectangle) {
  auto ed = MakeEditor();
  ed->Lines()->SetText("abc");
  ed->Show();
  ed->SetCaretXY(BufferCoord(2, 1));
  QInputMethodEvent e;
  e.setCommitString(QString::fromUtf8("\xD0\xB4\xD0\xB0"));  // two Cyrillic letters
  QApplication::sendEvent(ed->Widget(), &e);
  EXPECT_EQ(ed->Lines()->GetText(), "a\xE4\xE0" "bc");
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(4, 1));
  const QRect r = ed->Widget()->inputMethodQuery(Qt::ImCursorRectangle).toRect();
  // In the window's coordinates: the client area lies inside the frame.
  const TPoint p = ed->RowColumnToPixels(DisplayCoord(4, 1));
  EXPECT_EQ(r.x(), p.X + ed->ClientOrigin().X);
  EXPECT_EQ(r.y(), p.Y + ed->ClientOrigin().Y);
}

}  // namespace
}  // namespace ond
