// The panels of a set: each editor's keystroke table holds the panel's
// bindings as they have always been and changes apart from every other
// table; a wrapped panel out of view lays its text out only once it is
// needed, and then stands exactly as one laid out at load.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "editor/OndEditKeyCmds.h"
#include "services/USystem.h"
#include "tests/support/TempDir.h"
#include "tests/support/gui/PaintedPixels.h"
#include "tests/workspace/gui/PanelHost.h"
#include "workspace/UEditors.h"
#include "workspace/UZuConfigs.h"

namespace ond {
namespace {

using Host = test::PanelHost;

struct PanelBinding {
  std::uint16_t Key;
  TShiftState Shift;
  TOndEditorCommand Command;
};

// A panel's bindings as panels have always had them.
const std::vector<PanelBinding>& OldPanelBindings() {
  static const std::vector<PanelBinding> rows = {
      {VK_UP, 0, ecUp},
      {VK_UP, ssShift, ecSelUp},
      {VK_UP, ssCtrl, ecScrollUp},
      {VK_DOWN, 0, ecDown},
      {VK_DOWN, ssShift, ecSelDown},
      {VK_DOWN, ssCtrl, ecScrollDown},
      {VK_LEFT, 0, ecLeft},
      {VK_LEFT, ssShift, ecSelLeft},
      {VK_LEFT, ssCtrl, ecWordLeft},
      {VK_LEFT, ssCtrl | ssShift, ecSelWordLeft},
      {VK_RIGHT, 0, ecRight},
      {VK_RIGHT, ssShift, ecSelRight},
      {VK_RIGHT, ssCtrl, ecWordRight},
      {VK_RIGHT, ssCtrl | ssShift, ecSelWordRight},
      {VK_NEXT, 0, ecPageDown},
      {VK_NEXT, ssShift, ecSelPageDown},
      {VK_PRIOR, 0, ecPageUp},
      {VK_PRIOR, ssShift, ecSelPageUp},
      {VK_HOME, 0, ecLineStart},
      {VK_HOME, ssShift, ecSelLineStart},
      {VK_HOME, ssCtrl, ecEditorTop},
      {VK_END, 0, ecLineEnd},
      {VK_END, ssShift, ecSelLineEnd},
      {VK_END, ssCtrl, ecEditorBottom},
      {VK_INSERT, 0, ecToggleMode},
      {VK_INSERT, ssShift, ecPaste},
      {VK_INSERT, ssCtrl, ecCopy},
      {VK_DELETE, 0, ecDeleteChar},
      {VK_DELETE, ssShift, ecCut},
      {VK_BACK, 0, ecDeleteLastChar},
      {VK_RETURN, 0, ecLineBreak},
      {VK_RETURN, ssShift, ecLineBreak},
      {VK_TAB, 0, ecTab},
      {VK_TAB, ssShift, ecShiftTab},
  };
  return rows;
}

void ExpectPanelBindings(const TOndEditKeyStrokes& K) {
  const auto& rows = OldPanelBindings();
  ASSERT_EQ(K.Count(), static_cast<int>(rows.size()));
  for (int i = 0; i < K.Count(); ++i) {
    SCOPED_TRACE(i);
    const PanelBinding& r = rows[static_cast<std::size_t>(i)];
    EXPECT_EQ(K.FindKeyBinding(r.Key, r.Shift), i);
    const TOndEditKeyStroke& s = K.Items(i);
    EXPECT_EQ(s.GetCommand(), r.Command);
    EXPECT_EQ(s.Key, r.Key);
    EXPECT_EQ(s.Shift, r.Shift);
    EXPECT_EQ(s.Key2, 0);
    EXPECT_EQ(s.Shift2, 0);
  }
  EXPECT_EQ(K.FindKeyBinding('C', ssCtrl), -1);
}

// A set of Panels files of Lines lines each, some of them long enough to
// wrap in a panel.
std::string WriteSet(test::TempDir& Dir, int Panels, int Lines) {
  std::string rootText = "{";
  for (int i = 1; i <= Panels; ++i) {
    std::string body = "{\r\n";
    for (int line = 1; line <= Lines; ++line) {
      body += "  \"k" + std::to_string(line) + "\": \"value " + std::to_string(i) + "\",";
      if (line % 4 == 0) body += " // a remark long enough to be wrapped in a panel of this width, with more words";
      body += "\r\n";
    }
    rootText += " \"p" + std::to_string(i) + "\": ${\"p" + std::to_string(i) + ".zu\":\"x\"},";
    Dir.Write("p" + std::to_string(i) + ".zu", body + "  \"end\": 0\r\n}");
  }
  return Dir.Write("@quarn.zu", rootText + " \"end\": 0 }");
}

TEST(SetPanels, KeyTablesHoldThePanelBindingsAndChangeApart) {
  test::TempDir dir;
  const std::string root = WriteSet(dir, 3, 10);
  Host host{400};
  TZuConfig config;
  ASSERT_TRUE(config.LoadConfig(root, host.box, host.popup, host.bar, host.status, host.tree));
  TEditors& ed = *config.Editors;
  ASSERT_EQ(ed.Count, 4);
  for (int i = 0; i < ed.Count; ++i) {
    SCOPED_TRACE(i);
    ExpectPanelBindings(*ed.Item(i)->Editor->Keystrokes());
  }
  // One panel's change stays its own.
  TOndEditKeyStrokes& first = *ed.Item(1)->Editor->Keystrokes();
  first.Items(0).Key = VK_F24;
  first.AddKey(ecUndo, 'Z', ssCtrl);
  EXPECT_EQ(first.FindKeyBinding(VK_F24, 0), 0);
  EXPECT_EQ(first.FindKeyBinding('Z', ssCtrl), 34);
  ExpectPanelBindings(*ed.Item(2)->Editor->Keystrokes());
  ExpectPanelBindings(*ed.Item(0)->Editor->Keystrokes());
  // A set opened after holds the panel bindings still.
  Host host2{400};
  TZuConfig again;
  ASSERT_TRUE(again.LoadConfig(root, host2.box, host2.popup, host2.bar, host2.status, host2.tree));
  ExpectPanelBindings(*again.Editors->Item(1)->Editor->Keystrokes());

  // A bare editor keeps the default bindings, apart from the panels'.
  TOndEdit bare(nullptr);
  TOndEditKeyStrokes defaults;
  defaults.ResetDefaults();
  ASSERT_EQ(bare.Keystrokes()->Count(), 82);
  for (int i = 0; i < 82; ++i) {
    EXPECT_EQ(bare.Keystrokes()->Items(i).GetShortCut(), defaults.Items(i).GetShortCut());
    EXPECT_EQ(bare.Keystrokes()->Items(i).GetCommand(), defaults.Items(i).GetCommand());
  }
  EXPECT_EQ(bare.Keystrokes()->FindKeyBinding(VK_F24, 0), -1);
}

void ExpectSameBars(TOndEditor& A, TOndEditor& B) {
  for (const TScrollBarKind kind : {TScrollBarKind::sbVertical, TScrollBarKind::sbHorizontal}) {
    EXPECT_EQ(A.ScrollBarVisible(kind), B.ScrollBarVisible(kind));
    const TScrollInfo a = A.GetScrollInfo(kind), b = B.GetScrollInfo(kind);
    EXPECT_EQ(a.Max, b.Max);
    EXPECT_EQ(a.Page, b.Page);
    EXPECT_EQ(a.Pos, b.Pos);
  }
  EXPECT_EQ(A.ClientWidth(), B.ClientWidth());
  EXPECT_EQ(A.GetDisplayXY(), B.GetDisplayXY());
  EXPECT_EQ(A.GetTopLine(), B.GetTopLine());
}

// The same set in a short window, where the last panels open out of view,
// and in a tall one, where every panel opens in view and is painted.
TEST(SetPanels, AWrappedPanelOutOfViewIsLaidOutWhenNeeded) {
  const bool savedWrap = Settings.interface.view.editors.wordwrap;
  Settings.interface.view.editors.wordwrap = true;
  test::TempDir dir;
  const std::string root = WriteSet(dir, 5, 60);
  Host shortHost{300}, tallHost{3000};
  shortHost.form.Show();
  tallHost.form.Show();
  TZuConfig inShort, inTall;
  ASSERT_TRUE(inShort.LoadConfig(root, shortHost.box, shortHost.popup, shortHost.bar, shortHost.status,
                                 shortHost.tree));
  ASSERT_TRUE(inTall.LoadConfig(root, tallHost.box, tallHost.popup, tallHost.bar, tallHost.status, tallHost.tree));
  Application()->ProcessMessages();
  TEditors& s = *inShort.Editors;
  TEditors& t = *inTall.Editors;
  ASSERT_EQ(s.Count, 6);
  TEditor* hidden = s.Item(5);
  TEditor* twin = t.Item(5);
  ASSERT_GE(hidden->Panel->Top(), shortHost.box->ClientHeight());
  ASSERT_LT(twin->Panel->Top(), tallHost.box->ClientHeight());
  ASSERT_EQ(hidden->Panel->Width(), twin->Panel->Width());
  ASSERT_EQ(hidden->Panel->Height(), twin->Panel->Height());
  EXPECT_EQ(hidden->Editor->WordWrapPlugin()->Layouts(), 0);
  EXPECT_GE(twin->Editor->WordWrapPlugin()->Layouts(), 1);
  ExpectSameBars(*hidden->Editor, *twin->Editor);
  EXPECT_EQ(hidden->Editor->WordWrapPlugin()->Layouts(), 0);

  // A search into the hidden panel selects and scrolls as in the other.
  for (TEditor* e : {hidden, twin}) {
    e->Editor->SetSearchEngine(e->SearchEngine.get());
    EXPECT_EQ(e->Editor->SearchReplace("k57", "", ssoEntireScope), 1);
  }
  ExpectSameBars(*hidden->Editor, *twin->Editor);
  EXPECT_EQ(hidden->Editor->WordWrapPlugin()->LineOffsets(), twin->Editor->WordWrapPlugin()->LineOffsets());
  EXPECT_EQ(hidden->Editor->WordWrapPlugin()->RowLengths(), twin->Editor->WordWrapPlugin()->RowLengths());

  // Scrolled into view, it paints what the other paints.
  TStackLayout layout = s.Layout();
  layout.Shift(layout.ScrollToShift(5));
  s.ApplyLayout(layout);
  Application()->ProcessMessages();
  ASSERT_LT(hidden->Panel->Top(), shortHost.box->ClientHeight());
  ExpectSameBars(*hidden->Editor, *twin->Editor);
  EXPECT_EQ(test::DifferingPixels(*hidden->Editor, *twin->Editor), 0);
  Settings.interface.view.editors.wordwrap = savedWrap;
}

}  // namespace
}  // namespace ond
