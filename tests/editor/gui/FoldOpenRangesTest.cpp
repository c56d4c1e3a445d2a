// Collapsing and expanding a fold while another range is still open (a
// header being typed, a file missing its last brace) or closes on the same
// line as the fold: the open range keeps its end, a range whose closing
// line goes out of sight gets it back on the expand, and undo gives back
// the text and its saved state.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>
#include <string>
#include <vector>

#include "editor/OndEdit.h"
#include "tests/editor/gui/LoadedEditor.h"

namespace ond {
namespace {

void Key(QWidget* W, int K, Qt::KeyboardModifiers Mods = Qt::NoModifier, const QString& Text = {}) {
  QKeyEvent down(QEvent::KeyPress, K, Mods, Text);
  QApplication::sendEvent(W, &down);
  QKeyEvent up(QEvent::KeyRelease, K, Mods, Text);
  QApplication::sendEvent(W, &up);
}

void Type(QWidget* W, const std::string& Text) {
  for (char c : Text) Key(W, c == ' ' ? Qt::Key_Space : Qt::Key_unknown, Qt::NoModifier, QString(QChar(c)));
}

void Click(QWidget* W, QPoint P) {
  QMouseEvent press(QEvent::MouseButtonPress, QPointF(P), QPointF(W->mapToGlobal(P)), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(W, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, QPointF(P), QPointF(W->mapToGlobal(P)), Qt::LeftButton,
                      Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(W, &release);
}

// Every range starts no later than it ends; a range in sight lies inside
// the text (a collapsed one's closing line is one of those it hides).
void ExpectRangesInside(TCustomOndEdit& Ed) {
  const int count = Ed.Lines()->GetCount();
  for (const auto& r : Ed.AllFoldRanges().AllRangeList()) {
    EXPECT_LE(r->FromLine, r->ToLine) << test::FoldRangeList(Ed.AllFoldRanges(), true);
    if (r->ParentCollapsed) continue;
    EXPECT_GE(r->FromLine, 1);
    EXPECT_LE(r->FromLine, count);
    if (!r->Collapsed) {
      EXPECT_LE(r->ToLine, count) << test::FoldRangeList(Ed.AllFoldRanges(), true);
    }
  }
}

// A header typed on the first line while its brace is left open, then
// folded by its mark: undo takes the fold, the typing and the cut back.
TEST(FoldOpenRanges, UndoAfterFoldingUnderAHeaderStillOpenGivesBackTheText) {
  const std::string text = "{\r\n\"k0\": 1,\r\n\"k1\": 2,\r\n\"k2\": 3\r\n}";
  auto p = test::OpenLoaded(text, true);
  TOndEdit& ed = *p->Edit;
  ed.SetBorderStyle(TBorderStyle::bsNone);
  ed.Show();
  QWidget* w = ed.Widget();
  ed.SetCaretXY(BufferCoord(1, 4));
  Key(w, Qt::Key_Down, Qt::ShiftModifier);
  Key(w, Qt::Key_Delete, Qt::ShiftModifier);
  ASSERT_EQ(ed.Lines()->GetText(), "{\r\n\"k0\": 1,\r\n\"k1\": 2,\r\n}");
  ed.SetCaretXY(BufferCoord(1, 1));
  Key(w, Qt::Key_End);
  Type(w, " \"a\": {");
  ASSERT_EQ(ed.Lines()->Get(0), "{ \"a\": {");
  Click(w, QPoint(ed.GetGutterWidth() - 5, ed.GetLineHeight() / 2));
  ASSERT_EQ(ed.Lines()->GetCount(), 1);
  ExpectRangesInside(ed);
  // The open range has no lines and no mark; the fold has.
  const TOndEditFoldRange* fold = ed.FoldRangeAtLine(1);
  ASSERT_NE(fold, nullptr);
  EXPECT_TRUE(fold->Collapsed);
  const std::string folded = ed.TextWithFoldsExpanded();
  for (int i = 0; i < 3; ++i) Key(w, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(ed.Lines()->GetText(), text);
  EXPECT_FALSE(ed.GetModified());
  ExpectRangesInside(ed);
  // Redo to the end gives the newest text back.
  while (ed.CanRedo()) ed.Redo();
  EXPECT_EQ(ed.TextWithFoldsExpanded(), folded);
  EXPECT_TRUE(ed.GetModified());
  ExpectRangesInside(ed);
}

struct FoldCase {
  const char* Name;
  const char* Text;
};

const FoldCase kCases[] = {
    {"open on the header line", "{ \"a\": {\r\n  \"x\": 1\r\n}\r\n\"y\": 2"},
    {"open on an earlier line", "{\r\n  \"a\": {\r\n    \"x\": 1\r\n  }\r\n  \"y\": 2"},
    {"closing on the fold's closing line", "{{\r\n  \"x\": 1\r\n}}\r\n"},
    {"closing deep in the fold", "{ \"a\": { \"b\": {\r\n  \"c\": {\r\n    \"x\": 1\r\n  }}}}\r\n\"z\": 0"},
    {"a header on the closing line", "{\r\n  \"a\": {\r\n    \"x\": 1\r\n  }, \"b\": {\r\n    \"y\": 2\r\n  }\r\n}"},
    {"an open range inside a closed one", "{\r\n  \"a\": { {\r\n    \"x\": 1\r\n  }\r\n}"},
    {"a range of one line on the closing line", "{\r\n  \"a\": {\r\n    \"x\": 1\r\n  }, {}\r\n}"},
};

// Each fold by itself, and two folds one inside the other, collapsed and
// expanded again: the tree ends as it was, and no range ever ends before
// it starts or outside the text.
TEST(FoldOpenRanges, FoldingAndUnfoldingKeepsEveryRangeInPlace) {
  for (const FoldCase& c : kCases) {
    SCOPED_TRACE(c.Name);
    auto p = test::OpenLoaded(c.Text, true);
    TOndEdit& ed = *p->Edit;
    const std::string before = test::FoldTreeDump(ed);
    const int lines = ed.Lines()->GetCount();
    for (int line = 1; line <= lines; ++line) {
      TOndEditFoldRange* r = ed.FoldRangeAtLine(line);
      if (!r || !ed.CollapseFoldRange(r)) continue;
      SCOPED_TRACE(line);
      ExpectRangesInside(ed);
      // A fold around it too, when there is one with a mark.
      bool outer = false;
      for (int above = line - 1; above >= 1 && !outer; --above)
        if (TOndEditFoldRange* o = ed.FoldRangeAtLine(above)) outer = ed.CollapseFoldRange(o);
      ExpectRangesInside(ed);
      ed.ExpandAll();
      ExpectRangesInside(ed);
      EXPECT_EQ(test::FoldTreeDump(ed), before) << "outer " << outer;
    }
  }
}

}  // namespace
}  // namespace ond
