// A panel holding a long file: its first paint shows the text without
// waiting for the fold scan or the far partner of the bracket at the caret;
// both come in idle time, and closing the panel meanwhile leaves nothing
// behind.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/Graphics.h"
#include "services/USystem.h"
#include "tests/support/TempDir.h"
#include "tests/workspace/gui/PanelHost.h"
#include "workspace/UEditors.h"

namespace ond {
namespace {

using Host = test::PanelHost;

// Folding and paired brackets on for the test, as they were after it.
struct SyntaxOn {
  decltype(Settings.interface.view.syntax) saved = Settings.interface.view.syntax;
  SyntaxOn() {
    Settings.interface.view.syntax.codefolding = true;
    Settings.interface.view.syntax.pairedbrackets = true;
  }
  ~SyntaxOn() { Settings.interface.view.syntax = saved; }
};

// An outer pair around more lines than the editor does at once.
std::string LongFile() {
  std::string text = "{\r\n";
  for (int i = 0; i < TCustomOndEdit::kIdleWorkLines; ++i) text += "  \"k" + std::to_string(i) + "\": [1, 2],\r\n";
  return text + "  \"end\": 0\r\n}\r\n";
}

// One panel of a set holding the long file, with folding and paired
// brackets on.
struct LongPanel {
  SyntaxOn On;
  Host H{600};
  test::TempDir Dir;
  std::unique_ptr<TEditors> Editors =
      std::make_unique<TEditors>(nullptr, H.popup, H.bar, H.status, H.tree, H.box);
  TEditor* Panel = Editors->AddEditor(0, "long.zu", true);
  bool Loaded = Panel->LoadFromFile(Dir.Write("long.zu", LongFile()), 2);
};

// A paint of the editor, its transient part as the shown editor calls it.
void Paint(TEditor& e) {
  TBitmap bmp;
  e.Editor->PaintTo(bmp);
  e.EditorPaintTransient(bmp.Canvas(), ttAfter);
}

bool RunUntilIdle(TEditor& e) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (e.Editor->IdleWorkPending() && std::chrono::steady_clock::now() < limit) Application()->ProcessMessages();
  return !e.Editor->IdleWorkPending();
}

TEST(LongTextPanel, TheBracketPairAndTheFoldsComeAfterTheFirstPaint) {
  LongPanel p;
  TEditor* e = p.Panel;
  ASSERT_TRUE(p.Loaded);
  // The closing brace (a panel keeps the empty line after the last break).
  const TOndEditStringList& lines = *e->Editor->Lines();
  const int last = lines.GetCount() - (lines.GetView(lines.GetCount() - 1).empty() ? 1 : 0);
  Paint(*e);
  EXPECT_EQ(e->BracketPartner, BufferCoord(0, 0));
  EXPECT_TRUE(e->Editor->AllFoldRanges().ScanPending());
  ASSERT_TRUE(RunUntilIdle(*e));
  Paint(*e);
  EXPECT_EQ(e->BracketAt, BufferCoord(1, 1));
  EXPECT_EQ(e->BracketPartner, BufferCoord(1, last));
  EXPECT_FALSE(e->Editor->AllFoldRanges().ScanPending());
  EXPECT_EQ(e->Editor->AllFoldRanges().AllCount(), 1);

  // A caret moved away takes the pair away; back on the brace it is known.
  e->Editor->SetCaretXY(BufferCoord(3, 2));
  Paint(*e);
  EXPECT_EQ(e->BracketPartner, BufferCoord(0, 0));
  e->Editor->SetCaretXY(BufferCoord(1, 1));
  Paint(*e);
  EXPECT_EQ(e->BracketPartner, BufferCoord(1, last));
}

TEST(LongTextPanel, ACaretMoveOrAnEditCancelsTheSearch) {
  LongPanel p;
  TEditor* e = p.Panel;
  ASSERT_TRUE(p.Loaded);
  Paint(*e);
  e->Editor->AllFoldRanges().Settle();
  ASSERT_TRUE(e->Editor->IdleWorkPending());
  e->Editor->SetCaretXY(BufferCoord(2, 3));
  EXPECT_FALSE(e->Editor->IdleWorkPending());

  e->Editor->SetCaretXY(BufferCoord(1, 1));
  Paint(*e);
  ASSERT_TRUE(e->Editor->IdleWorkPending());
  e->Editor->Lines()->Put(2, "  \"changed\": 1,");
  EXPECT_FALSE(e->Editor->IdleWorkPending());
  Paint(*e);
  EXPECT_EQ(e->BracketPartner, BufferCoord(0, 0));
}

TEST(LongTextPanel, APanelClosedWhileItsWorkWaitsLeavesNothingBehind) {
  LongPanel p;
  TEditor* e = p.Panel;
  ASSERT_TRUE(p.Loaded);
  Paint(*e);
  ASSERT_FALSE(e->Editor->RunIdleWork(std::chrono::milliseconds(0)));
  ASSERT_TRUE(e->Editor->AllFoldRanges().ScanPending());
  p.Editors.reset();
  // No piece runs for a panel that is gone.
  for (int i = 0; i < 5; ++i) Application()->ProcessMessages();
}

}  // namespace
}  // namespace ond
