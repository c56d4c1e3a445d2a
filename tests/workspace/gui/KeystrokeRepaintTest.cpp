// What a keystroke in a panel paints again: the caret's line, and the lines
// of a bracket pair that comes or goes; no other row of the editor and not
// the whole control. Checked on the paints the window system delivers.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

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
    };
  }
  // Lets every pending paint happen.
  void Settle() {
    for (int i = 0; i < 5; ++i) Application()->ProcessMessages();
  }
  std::set<int> Key(TOndEditorCommand Command, char C = '\0') {
    Settle();
    Rows.clear();
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

}  // namespace
}  // namespace ond
