// What a keystroke in a panel paints again: the caret's line, and the lines
// of a bracket pair that comes or goes; no other row of the editor and not
// the whole control. Checked on the paints the window system delivers.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/Forms.h"
#include "services/USystem.h"
#include "tests/support/TempDir.h"
#include "tests/workspace/gui/PanelHost.h"
#include "workspace/UEditors.h"

namespace ond {
namespace {

struct BracketsOn {
  decltype(Settings.interface.view.syntax) saved = Settings.interface.view.syntax;
  BracketsOn() {
    Settings.interface.view.syntax.codefolding = true;
    Settings.interface.view.syntax.pairedbrackets = true;
  }
  ~BracketsOn() { Settings.interface.view.syntax = saved; }
};

// One shown panel holding a small config, with the rows each paint covers
// written down.
struct ShownPanel {
  BracketsOn On;
  test::PanelHost H{500};
  test::TempDir Dir;
  std::unique_ptr<TEditors> Editors = std::make_unique<TEditors>(nullptr, H.popup, H.bar, H.status, H.tree, H.box);
  TEditor* Panel = Editors->AddEditor(0, "small.zu", true);
  std::set<int> Rows;
  std::vector<TRect> Clips;   // of every paint
  std::vector<int> Painted;  // lines whose text was painted, in order

  ShownPanel() {
    const std::string text = "{\r\n  \"a\": [\r\n    1,\r\n    2\r\n  ],\r\n  \"b\": 3\r\n}\r\n";
    EXPECT_TRUE(Panel->LoadFromFile(Dir.Write("small.zu", text), 2));
    H.form.ShowForm();
    Settle();
    Panel->Editor->OnPaint = [this](TObject*, TCanvas* C) {
      const TRect r = C->GetClipRect();
      const int lh = Panel->Editor->GetLineHeight();
      for (int y = r.Top; y < r.Bottom; y += lh) Rows.insert(Panel->Editor->GetTopLine() + y / lh);
      Rows.insert(Panel->Editor->GetTopLine() + (r.Bottom - 1) / lh);
      Clips.push_back(r);
    };
    // Asked once for every line whose text a paint draws.
    Panel->Editor->OnSpecialLineColors = [this](TObject*, int Line, bool&, TColor&, TColor&) {
      Painted.push_back(Line);
    };
  }
  // Lets every pending paint happen.
  void Settle() {
    for (int i = 0; i < 5; ++i) Application()->ProcessMessages();
  }
  std::set<int> Key(TOndEditorCommand Command, char C = '\0') {
    Settle();
    Rows.clear();
    Clips.clear();
    Painted.clear();
    Panel->Editor->CommandProcessor(Command, C, nullptr);
    Settle();
    return Rows;
  }
};

TEST(KeystrokeRepaint, TypingPaintsTheCaretsLineAndTheLinesOfABracketPair) {
  ShownPanel p;
  TCustomOndEdit& ed = *p.Panel->Editor;
  ASSERT_GT(ed.GetLinesInWindow(), 8);
  // A character at the end of a line with no bracket near the caret.
  ed.SetCaretXY(BufferCoord(9, 6));
  EXPECT_EQ(p.Key(ecChar, 'x'), (std::set<int>{6}));
  EXPECT_EQ(p.Key(ecDeleteLastChar), (std::set<int>{6}));
  // The caret onto the bracket of line 2: its partner on line 5 is marked.
  p.Rows.clear();
  ed.SetCaretXY(BufferCoord(8, 2));
  p.Settle();
  ASSERT_EQ(p.Panel->BracketPartner, BufferCoord(3, 5));
  EXPECT_TRUE(p.Rows.count(2) && p.Rows.count(5));
  for (int row : p.Rows) EXPECT_TRUE(row == 2 || row == 5 || row == 6) << row;
  // Typing before the bracket moves one mark of the pair: its two lines,
  // not the two between them.
  EXPECT_EQ(p.Key(ecChar, 'y'), (std::set<int>{2, 5}));
  EXPECT_EQ(p.Panel->BracketAt, BufferCoord(9, 2));
  EXPECT_EQ(p.Key(ecDeleteLastChar), (std::set<int>{2, 5}));
}

// The gutter shows line numbers, fold marks and the modified-line bar: a
// keystroke repaints its row there only when the line's bar changes, on the
// first change of a line since it was loaded or saved, not on every key.
TEST(KeystrokeRepaint, TheGutterIsPaintedAgainOnlyWhenTheModifiedBarChanges) {
  ShownPanel p;
  TCustomOndEdit& ed = *p.Panel->Editor;
  ASSERT_TRUE(ed.Gutter().GetShowLineModified());
  const int gw = ed.GetGutterWidth();
  auto reachesGutter = [&] {
    for (const TRect& r : p.Clips)
      if (r.Left < gw) return true;
    return false;
  };
  ed.SetCaretXY(BufferCoord(9, 6));
  p.Key(ecChar, 'x');
  EXPECT_TRUE(reachesGutter()) << "the first change of line 6 shows its bar";
  for (TOndEditorCommand c : {ecChar, ecDeleteLastChar, ecChar, ecDeleteLastChar}) {
    EXPECT_EQ(p.Key(c, 'x'), (std::set<int>{6}));
    EXPECT_FALSE(p.Clips.empty());
    EXPECT_FALSE(reachesGutter()) << "the bar of line 6 is already shown";
  }
}

// A paint draws the text of the rows its clip covers, not of the row after
// them as well (the clip's bottom is where that row starts).
TEST(KeystrokeRepaint, APaintDrawsOnlyTheRowsOfItsClip) {
  ShownPanel p;
  TCustomOndEdit& ed = *p.Panel->Editor;
  ed.SetCaretXY(BufferCoord(9, 6));
  p.Key(ecChar, 'x');
  EXPECT_EQ(p.Key(ecChar, 'x'), (std::set<int>{6}));
  EXPECT_EQ(p.Painted, (std::vector<int>{6}));
  EXPECT_EQ(p.Key(ecDeleteLastChar), (std::set<int>{6}));
  EXPECT_EQ(p.Painted, (std::vector<int>{6}));
}

}  // namespace
}  // namespace ond
