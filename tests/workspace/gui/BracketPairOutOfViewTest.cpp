// The bracket pair at a panel's caret is looked for when the panel is on the
// screen: a set's panels out of view do not look for it while the set opens,
// nor when their caret moves or their text changes, and they find it once
// they come into view and paint.
#include <gtest/gtest.h>

#include <string>

#include "editor/OndEditKeyCmds.h"
#include "services/USystem.h"
#include "tests/support/TempDir.h"
#include "tests/workspace/gui/PanelHost.h"
#include "workspace/UZuConfigs.h"

namespace ond {
namespace {

struct BracketsOn {
  decltype(Settings.interface.view.syntax) saved = Settings.interface.view.syntax;
  BracketsOn() {
    Settings.interface.view.syntax.scheme = 0;
    Settings.interface.view.syntax.pairedbrackets = true;
  }
  ~BracketsOn() { Settings.interface.view.syntax = saved; }
};

void Settle() {
  for (int i = 0; i < 5; ++i) Application()->ProcessMessages();
}

TEST(BracketPairOutOfView, OnlyThePanelsOnTheScreenLookForThePairAtTheirCaret) {
  BracketsOn on;
  test::TempDir dir;
  constexpr int kFiles = 8;
  constexpr int kLines = 60;
  std::string rootText = "{";
  std::string body;
  for (int line = 1; line <= kLines; ++line) body += "  \"k" + std::to_string(line) + "\": [" + std::to_string(line) + "],\r\n";
  for (int i = 1; i <= kFiles; ++i) {
    rootText += " \"p" + std::to_string(i) + "\": ${\"p" + std::to_string(i) + ".zu\":\"x\"},";
    dir.Write("p" + std::to_string(i) + ".zu", "{\r\n" + body + "  \"end\": 0\r\n}");
  }
  const std::string root = dir.Write("@quarn.zu", rootText + " \"end\": 0 }");
  test::PanelHost host{600};
  host.form.Show();
  TZuConfig config;
  ASSERT_TRUE(config.LoadConfig(root, host.box, host.popup, host.bar, host.status, host.tree));
  TEditors& ed = *config.Editors;
  ASSERT_EQ(ed.Count, kFiles + 1);
  Settle();

  // Each panel on the screen shows the pair at its caret (the opening brace
  // and the closing one); the panels out of view never looked for theirs.
  int onScreen = 0;
  for (int i = 1; i <= kFiles; ++i) {
    const TEditor& e = *ed.Item(i);
    if (e.Editor->Showing()) {
      ++onScreen;
      EXPECT_EQ(e.BracketAt, BufferCoord(1, 1)) << i;
      EXPECT_EQ(e.BracketPartner, BufferCoord(1, kLines + 3)) << i;
    } else {
      EXPECT_EQ(e.BracketPartner, BufferCoord(0, 0)) << i;
    }
  }
  ASSERT_GE(onScreen, 1);
  ASSERT_LE(onScreen, 3);

  // The caret moving and the text changing in a panel out of view ask
  // nothing of the panel's bracket-mark handler.
  TEditor& last = *ed.Item(kFiles);
  ASSERT_FALSE(last.Editor->Showing());
  int calls = 0;
  const TPaintTransient handler = last.Editor->OnPaintTransient;
  last.Editor->OnPaintTransient = [&](TObject* sender, TCanvas* canvas, TTransientType type) {
    ++calls;
    handler(sender, canvas, type);
  };
  last.Editor->SetCaretXY(BufferCoord(1, kLines + 3));
  last.Editor->SetCaretXY(BufferCoord(9, 2));
  last.Editor->CommandProcessor(ecChar, 'x', nullptr);
  last.Editor->CommandProcessor(ecDeleteLastChar, '\0', nullptr);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(last.BracketPartner, BufferCoord(0, 0));

  // Scrolled into view, it paints and marks the pair at its caret.
  TStackLayout layout = ed.Layout();
  layout.Shift(layout.ScrollToShift(kFiles));
  ed.ApplyLayout(layout);
  Settle();
  ASSERT_TRUE(last.Editor->Showing());
  EXPECT_GT(calls, 0);
  EXPECT_EQ(last.BracketAt, BufferCoord(9, 2));
  EXPECT_EQ(last.BracketPartner, BufferCoord(11, 2));
  // On the screen, a caret move finds the new pair at once.
  last.Editor->SetCaretXY(BufferCoord(1, kLines + 3));
  EXPECT_EQ(last.BracketAt, BufferCoord(1, kLines + 3));
  EXPECT_EQ(last.BracketPartner, BufferCoord(1, 1));
}

}  // namespace
}  // namespace ond
