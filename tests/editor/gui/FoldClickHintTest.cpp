// The gutter's fold strip toggles folds on a click, resting the pointer on a
// collapsed fold's marker shows its hidden lines, and dragging the scroll
// thumb shows the line hint; all through synthetic Qt events on offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QThread>
#include <QToolTip>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "editor/OndCompletionProposal.h"
#include "editor/OndEdit.h"

namespace ond {
namespace {

class TestEdit : public TOndEdit {
 public:
  using TOndEdit::TOndEdit;
  using TCustomOndEdit::Scroll;
};

// Records what the editor asks of its fold hint.
struct HintLog {
  std::vector<std::string> Items;
  int Shown = 0, Cancelled = 0;
  TPoint At{};
  bool Visible = false;
};

class FakeHint : public TOndCompletionProposal {
 public:
  explicit FakeHint(HintLog& Log) : FLog(Log) {}
  void SetDisplayType(OndCompletionType) override {}
  void SetTimerInterval(int) override {}
  void SetClBackground(TColor) override {}
  TStrings& ItemList() override { return FItems; }
  void SetFont(const TFont&) override {}
  void SetEditor(TCustomOndEdit*) override {}
  void ExecuteEx(const std::string&, int X, int Y, OndCompletionType Kind) override {
    EXPECT_EQ(Kind, ctHint);
    FLog.Items.clear();
    for (int i = 0; i < FItems.GetCount(); ++i) FLog.Items.push_back(FItems.Get(i));
    FLog.At = TPoint{X, Y};
    ++FLog.Shown;
    FLog.Visible = true;
  }
  void CancelCompletion() override {
    ++FLog.Cancelled;
    FLog.Visible = false;
  }
  bool Visible() const override { return FLog.Visible; }

 private:
  HintLog& FLog;
  TStringList FItems;
};

void SendMouse(QWidget* w, QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent e(type, QPointF(p), QPointF(w->mapToGlobal(p)), button, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

void Click(QWidget* w, QPoint p) {
  SendMouse(w, QEvent::MouseButtonPress, p, Qt::LeftButton, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
}

std::unique_ptr<TestEdit> MakeFolding() {
  auto ed = std::make_unique<TestEdit>(nullptr);
  ed->SetBounds(0, 0, 500, 300);
  // The mouse goes to client points: no frame between them and the window's.
  ed->SetBorderStyle(TBorderStyle::bsNone);
  ed->CodeFolding().FoldRegions().Add(frtChar, false, false, false, "{", "}");
  ed->CodeFolding().SetEnabled(true);
  ed->Lines()->SetText("top\r\nblock {\r\n\tone\r\n  two\r\n}\r\nend");
  ed->RescanFoldRanges();
  ed->Show();
  return ed;
}

// The tool tip fades out on its own timer.
bool HintGone() {
  for (int i = 0; i < 300 && QToolTip::isVisible(); ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(10);
  }
  return !QToolTip::isVisible();
}

int RowY(TCustomOndEdit& ed, int Row) { return (Row - 1) * ed.GetLineHeight() + ed.GetLineHeight() / 2; }

TEST(FoldClickHint, ClickInTheFoldStripTogglesTheFoldOnItsHeader) {
  auto ed = MakeFolding();
  QWidget* w = ed->Widget();
  int gutterClicks = 0;
  ed->OnGutterClick = [&](TObject*, TMouseButton, int, int, int, TOndEditMark*, int) { ++gutterClicks; };
  const int strip = ed->GetGutterWidth() - 5;
  ASSERT_GT(strip, 0);
  Click(w, QPoint(strip, RowY(*ed, 2)));
  ASSERT_EQ(ed->Lines()->GetCount(), 3);
  EXPECT_TRUE(ed->FoldRangeAtLine(2)->Collapsed);
  EXPECT_EQ(ed->Lines()->Get(2), "end");
  // A line that heads no fold: nothing changes.
  Click(w, QPoint(strip, RowY(*ed, 3)));
  EXPECT_EQ(ed->Lines()->GetCount(), 3);
  Click(w, QPoint(strip, RowY(*ed, 2)));
  EXPECT_EQ(ed->Lines()->GetText(), "top\r\nblock {\r\n\tone\r\n  two\r\n}\r\nend");
  EXPECT_EQ(gutterClicks, 0);
  // Left of the strip the click is the gutter's own and folds nothing.
  Click(w, QPoint(1, RowY(*ed, 2)));
  EXPECT_EQ(gutterClicks, 1);
  EXPECT_EQ(ed->Lines()->GetCount(), 6);
}

TEST(FoldClickHint, PointerOnACollapsedMarkerShowsTheHiddenLines) {
  HintLog log;
  TOndCompletionProposal::SetFactory([&log] { return std::make_unique<FakeHint>(log); });
  auto ed = MakeFolding();
  TOndCompletionProposal::SetFactory(nullptr);
  ASSERT_NE(ed->FoldHint(), nullptr);
  QWidget* w = ed->Widget();
  ed->SetTabWidth(4);
  ASSERT_TRUE(ed->CollapseFoldRange(ed->FoldRangeAtLine(2)));
  const int len = static_cast<int>(ed->Lines()->GetView(1).size());  // "block {" and the marker
  // The marker's box begins one cell into its blanks.
  const int markerX = ed->RowColumnToPixels(DisplayCoord(len - 5 + 2, 2)).X + 1;
  SendMouse(w, QEvent::MouseMove, QPoint(markerX, RowY(*ed, 2)), Qt::NoButton, Qt::NoButton);
  ASSERT_EQ(log.Shown, 1);
  // Under the header's row, at the pointer.
  EXPECT_EQ(log.At.X, ed->ClientToScreen(TPoint{markerX, 0}).X);
  EXPECT_EQ(log.At.Y, ed->ClientToScreen(TPoint{0, 2 * ed->GetLineHeight()}).Y);
  // The header, then the hidden lines in order, tabs as blanks.
  EXPECT_EQ(log.Items, (std::vector<std::string>{"block {", "    one", "  two", "}"}));
  // Moving on over the marker keeps the one hint; leaving it hides it.
  SendMouse(w, QEvent::MouseMove, QPoint(markerX + 1, RowY(*ed, 2)), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(log.Shown, 1);
  SendMouse(w, QEvent::MouseMove, QPoint(markerX, RowY(*ed, 3)), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(log.Cancelled, 1);
  // Over the header's own text, or with the hint switched off: no hint.
  SendMouse(w, QEvent::MouseMove, QPoint(ed->RowColumnToPixels(DisplayCoord(2, 2)).X, RowY(*ed, 2)), Qt::NoButton,
            Qt::NoButton);
  EXPECT_EQ(log.Shown, 1);
  ed->CodeFolding().SetCollapsedCodeHint(false);
  SendMouse(w, QEvent::MouseMove, QPoint(markerX, RowY(*ed, 2)), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(log.Shown, 1);
  // An expanded fold has no marker to rest on.
  ed->CodeFolding().SetCollapsedCodeHint(true);
  ed->ToggleFoldAtLine(2);
  SendMouse(w, QEvent::MouseMove, QPoint(markerX, RowY(*ed, 2)), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(log.Shown, 1);
}

// A long fold lists its header and the first 41 hidden lines, then "...";
// the caret coming onto a fold header hides the hint.
TEST(FoldClickHint, LongFoldsAreCutAndTheCaretOnAHeaderHidesTheHint) {
  HintLog log;
  TOndCompletionProposal::SetFactory([&log] { return std::make_unique<FakeHint>(log); });
  auto ed = MakeFolding();
  TOndCompletionProposal::SetFactory(nullptr);
  QWidget* w = ed->Widget();
  for (const int hidden : {41, 42}) {
    std::string text = "head {";
    for (int i = 1; i < hidden; ++i) text += "\r\nline " + std::to_string(i);
    text += "\r\n}\r\nend";
    ed->Lines()->SetText(text);
    ed->RescanFoldRanges();
    ASSERT_TRUE(ed->CollapseFoldRange(ed->FoldRangeAtLine(1)));
    const int len = static_cast<int>(ed->Lines()->GetView(0).size());
    const int markerX = ed->RowColumnToPixels(DisplayCoord(len - 5 + 2, 1)).X + 1;
    SendMouse(w, QEvent::MouseMove, QPoint(markerX, RowY(*ed, 1)), Qt::NoButton, Qt::NoButton);
    ASSERT_TRUE(log.Visible) << hidden;
    ASSERT_EQ(log.Items.front(), "head {");
    if (hidden == 41) {
      EXPECT_EQ(log.Items.size(), 42u);
      EXPECT_EQ(log.Items.back(), "}");
    } else {
      EXPECT_EQ(log.Items.size(), 43u);
      EXPECT_EQ(log.Items[41], "line 41");
      EXPECT_EQ(log.Items.back(), "...");
    }
    // The caret moving within the text elsewhere leaves the hint; onto the
    // header it hides it.
    const int cancelled = log.Cancelled;
    ed->SetCaretXY(BufferCoord(1, 2));
    EXPECT_EQ(log.Cancelled, cancelled);
    ed->SetCaretXY(BufferCoord(2, 1));
    EXPECT_EQ(log.Cancelled, cancelled + 1);
    EXPECT_FALSE(log.Visible);
    ed->ExpandAll();
  }
}

TEST(FoldClickHint, DraggingTheThumbShowsTheLineHint) {
  auto ed = std::make_unique<TestEdit>(nullptr);
  ed->SetBounds(0, 0, 400, 200);
  std::string text;
  for (int i = 1; i <= 40000; ++i) text += "line " + std::to_string(i) + "\r\n";
  ed->Lines()->SetText(text);
  ed->Show();
  ASSERT_TRUE(ed->GetOptions() & eoShowScrollHint);
  ed->Scroll(TScrollBarKind::sbVertical, TScrollCode::scTrack, 8192);
  const int top = ed->GetTopLine();
  EXPECT_GT(top, 1);
  EXPECT_EQ(QToolTip::text().toStdString(), "Top Line: " + std::to_string(top));
  ed->ScrollBars().SetHintFormat(shfTopToBottom);
  ed->Scroll(TScrollBarKind::sbVertical, TScrollCode::scTrack, 4096);
  const int top2 = ed->GetTopLine();
  EXPECT_EQ(QToolTip::text().toStdString(),
            std::to_string(top2) + " - " + std::to_string(top2 + ed->GetLinesInWindow()));
  ed->Scroll(TScrollBarKind::sbVertical, TScrollCode::scEndScroll, 0);
  EXPECT_TRUE(HintGone());
  // Without the option the thumb shows nothing.
  ed->SetOptions(ed->GetOptions() & ~eoShowScrollHint);
  ed->Scroll(TScrollBarKind::sbVertical, TScrollCode::scTrack, 2048);
  EXPECT_GT(ed->GetTopLine(), 1);
  EXPECT_FALSE(QToolTip::isVisible());
}

}  // namespace
}  // namespace ond
