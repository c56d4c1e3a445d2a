// The stacked editor panels and the open config set, on real files in a
// temporary folder, under the offscreen platform.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QScrollBar>
#include <cerrno>

#include "editor/OndEditKeyCmds.h"
#include "platform/core/CodePage.h"
#include "platform/core/Keys.h"
#include "services/ULocalization.h"
#include "services/USystem.h"
#include "tests/support/TempDir.h"
#include "tests/workspace/gui/PanelHost.h"
#include "workspace/StatusPanels.h"
#include "workspace/Compatibility.h"
#include "workspace/UConfirmReplaceDialog.h"
#include "workspace/UMain.h"
#include "workspace/UZuConfigs.h"

namespace ond {
namespace {

const std::string kBom = "\xEF\xBB\xBF";

// Answers every message box with the queued answers (Cancel when none is
// left) and records the texts.
struct Boxes {
  std::vector<int> answers;
  std::vector<std::string> texts;
  Boxes() {
    Application()->MessageBoxHook = [this](const std::string& text, const std::string&, unsigned) {
      texts.push_back(text);
      if (answers.empty()) return IDCANCEL;
      const int a = answers.front();
      answers.erase(answers.begin());
      return a;
    };
  }
  ~Boxes() { Application()->MessageBoxHook = nullptr; }
};

using Host = test::PanelHost;

// An edit as the editor records it: the line changes and the undo list
// holds a record.
void Edit(TEditor* e, int line, const std::string& text) {
  e->Editor->Lines()->Put(line - 1, text);
  e->Editor->UndoList()->AddChange(TOndUndoReason(0), BufferCoord(1, line), BufferCoord(1, line), "", smNormal);
  e->EditorChange();
}

// The vertical bar window of a panel's editor, if it has one yet.
QScrollBar* VerticalBarOf(const TEditor& e) {
  for (QScrollBar* bar : e.Editor->Widget()->findChildren<QScrollBar*>())
    if (bar->orientation() == Qt::Vertical) return bar;
  return nullptr;
}

// The panels of a set that open out of view make their editors' bar windows
// only once they are painted; until then, and after, the panel stands as if
// they had been there all along.
TEST(Panels, APanelOutOfViewMakesItsBarsWhenItComesIntoView) {
  Boxes boxes;
  test::TempDir dir;
  std::string rootText = "{";
  std::string body;
  for (int line = 1; line <= 120; ++line) body += "  \"k" + std::to_string(line) + "\": " + std::to_string(line) + ",\r\n";
  for (int i = 1; i <= 6; ++i) {
    rootText += " \"p" + std::to_string(i) + "\": ${\"p" + std::to_string(i) + ".zu\":\"x\"},";
    dir.Write("p" + std::to_string(i) + ".zu", "{\r\n" + body + "  \"end" + std::to_string(i) + "\": 0\r\n}");
  }
  const std::string root = dir.Write("@quarn.zu", rootText + " \"end\": 0 }");
  Host host{600};
  host.form.Show();
  {
    TZuConfig config;
    ASSERT_TRUE(config.LoadConfig(root, host.box, host.popup, host.bar, host.status, host.tree));
    TEditors& ed = *config.Editors;
    ASSERT_EQ(ed.Count, 7);
    Application()->ProcessMessages();
    TEditor* first = ed.Item(1);
    TEditor* last = ed.Item(6);
    ASSERT_LT(first->Panel->Top(), host.box->ClientHeight());
    ASSERT_GE(last->Panel->Top(), host.box->ClientHeight());
    ASSERT_NE(VerticalBarOf(*first), nullptr);
    EXPECT_TRUE(VerticalBarOf(*first)->isVisible());
    // Out of view: the panel's window is hidden and its editor has no bar
    // window, yet the panel counts as visible and the text keeps clear of
    // the bar.
    EXPECT_TRUE(last->Panel->GetVisible());
    EXPECT_TRUE(last->Panel->Widget()->isHidden());
    EXPECT_FALSE(first->Panel->Widget()->isHidden());
    EXPECT_EQ(VerticalBarOf(*last), nullptr);
    EXPECT_TRUE(last->Editor->ScrollBarVisible(TScrollBarKind::sbVertical));
    EXPECT_EQ(last->Editor->ClientWidth(), first->Editor->ClientWidth());
    const TScrollInfo range = last->Editor->GetScrollInfo(TScrollBarKind::sbVertical);
    EXPECT_GT(range.Max, range.Page);

    // Scrolled into view, it paints with its bar, its text and its caret.
    TStackLayout layout = ed.Layout();
    layout.Shift(layout.ScrollToShift(6));
    ed.ApplyLayout(layout);
    Application()->ProcessMessages();
    ASSERT_LT(last->Panel->Top(), host.box->ClientHeight());
    EXPECT_FALSE(last->Panel->Widget()->isHidden());
    EXPECT_TRUE(first->Panel->Widget()->isHidden());
    QScrollBar* bar = VerticalBarOf(*last);
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->geometry().left(), last->Editor->ClientWidth());
    EXPECT_EQ(bar->maximum(), range.Max - range.Page + 1);
    EXPECT_EQ(last->Editor->Lines()->GetCount(), 123);
    EXPECT_EQ(last->Editor->Lines()->Get(121), "  \"end6\": 0");
    last->Editor->SetFocus();
    EXPECT_TRUE(last->Editor->Focused());
    // The focus stays with a panel scrolled out of view.
    TStackLayout back = ed.Layout();
    back.Shift(back.ScrollToShift(1));
    ed.ApplyLayout(back);
    EXPECT_FALSE(last->Panel->Widget()->isHidden());
    EXPECT_TRUE(last->Editor->Focused());
    ed.ApplyLayout(layout);
    last->Editor->SetCaretXY(BufferCoord(3, 100));
    EXPECT_GT(last->Editor->GetTopLine(), 1);
    EXPECT_GT(bar->value(), 0);
    EXPECT_EQ(bar->value(), last->Editor->GetScrollPos(TScrollBarKind::sbVertical));

    // A search walks into panels that were never in view and selects there.
    EXPECT_EQ(VerticalBarOf(*ed.Item(4)), nullptr);
    const auto savedSearch = Settings.search;
    Settings.search.find.text = "end4";
    Settings.search.options.inallconfig = true;
    last->SetActive(false);
    ed.Item(3)->SetActive(true);
    EXPECT_EQ(config.SearchInConfig(false, false), 1);
    Settings.search = savedSearch;
    EXPECT_EQ(ed.ActiveIndex, 4);
    EXPECT_EQ(ed.Item(4)->Editor->GetSelText(), "end4");
    // It took the keyboard focus, out of view as it is here (no main window
    // scrolls to it).
    EXPECT_TRUE(ed.Item(4)->Editor->Focused());
    EXPECT_FALSE(ed.Item(4)->Panel->Widget()->isHidden());
  }
  // The set closed with panels that never came into view.
  Application()->ProcessMessages();
  EXPECT_TRUE(boxes.texts.empty());
}

TEST(Panels, StackHeightsHideShowCollapseAndHeaderDrag) {
  Host h(900);
  TEditors editors(nullptr, h.popup, h.bar, h.status, h.tree, h.box);
  for (int i = 0; i < 3; ++i) editors.AddEditor(i, "f" + IntToStr(i) + ".zu", true);
  ASSERT_EQ(editors.VisibleCount, 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(editors.Item(i)->Panel->Height(), 502);
    EXPECT_EQ(editors.Item(i)->Panel->Top(), 502 * i);
  }
  EXPECT_TRUE(h.bar->GetVisible());
  EXPECT_EQ(h.bar->GetMax(), 3 * 502 - 900);
  const int hh = editors.Item(0)->HeaderHeight();
  EXPECT_GT(hh, 5);
  EXPECT_EQ(editors.Item(0)->Header->GetCaption(), std::string(200, '-') + " f0.zu " + std::string(200, '-'));
  EXPECT_EQ(editors.Item(2)->Panel->Name, "pPanel2");
  EXPECT_EQ(editors.Item(2)->Editor->Name, "sEdit2");
  EXPECT_EQ(editors.Item(0)->CollapseButton->Left(), editors.Item(0)->Panel->Width() - hh);

  // Scrolled to the end, hiding the last panel pulls the stack back.
  TStackLayout l = editors.Layout();
  l.Shift(-606);
  editors.ApplyLayout(l);
  EXPECT_EQ(h.bar->GetPosition(), 606);
  editors.Item(2)->SetShown(false);
  EXPECT_EQ(editors.VisibleCount, 2);
  EXPECT_EQ(h.bar->GetPosition(), 104);
  EXPECT_EQ(h.bar->GetMax(), 104);
  EXPECT_EQ(editors.Item(0)->Panel->Top(), -104);
  EXPECT_EQ(editors.Item(1)->Panel->Top(), 398);

  // Collapsing the first panel: the rest moves up, the stack fits, the last
  // panel fills the view.
  editors.Item(0)->SetCollapsed(true);
  EXPECT_TRUE(editors.Item(0)->Collapsed);
  EXPECT_EQ(editors.Item(0)->CollapseButton->ImageIndex, 1);
  EXPECT_EQ(editors.Item(0)->Panel->Height(), hh);
  EXPECT_EQ(editors.Item(0)->SavedHeight, 502);
  EXPECT_EQ(h.bar->GetPosition(), 0);
  EXPECT_EQ(editors.Item(0)->Panel->Top(), 0);
  EXPECT_EQ(editors.Item(1)->Panel->Top(), hh);
  EXPECT_EQ(editors.Item(1)->Panel->Height(), 900 - hh);
  EXPECT_EQ(h.bar->GetMax(), 0);
  editors.Item(0)->SetCollapsed(false);
  EXPECT_EQ(editors.Item(0)->Panel->Height(), 502);
  EXPECT_EQ(editors.Item(1)->Panel->Top(), 502);
  EXPECT_EQ(editors.Item(0)->CollapseButton->ImageIndex, 0);
  EXPECT_EQ(h.bar->GetMax(), 502 - hh);

  // Shown again at the end of the stack.
  editors.Item(2)->SetShown(true);
  EXPECT_EQ(editors.VisibleCount, 3);
  EXPECT_EQ(editors.Item(2)->Panel->Top(), 502 + 900 - hh);
  EXPECT_EQ(h.bar->GetMax(), 502 + 900 - hh + 502 - 900);

  // Dragging the second header down by 20 makes the first panel taller.
  editors.HeaderMouseDown(editors.Item(1), TMouseButton::mbLeft, 5);
  editors.HeaderMouseMove(editors.Item(1), 25);
  editors.HeaderMouseUp(editors.Item(1));
  EXPECT_EQ(editors.Item(0)->Panel->Height(), 522);
  EXPECT_EQ(editors.Item(1)->Panel->Top(), 522);
  EXPECT_EQ(editors.Item(2)->Panel->Top(), 522 + 900 - hh);
  EXPECT_FALSE(editors.Resizing);
  // Never below the previous panel's header.
  editors.HeaderMouseDown(editors.Item(1), TMouseButton::mbLeft, 5);
  editors.HeaderMouseMove(editors.Item(1), -1000);
  editors.HeaderMouseUp(editors.Item(1));
  EXPECT_EQ(editors.Item(0)->Panel->Height(), 522);

  // Hiding down to one panel: it fills the box and the scroll bar goes.
  editors.Item(2)->SetShown(false);
  editors.Item(1)->SetShown(false);
  editors.Item(0)->SetShown(false);  // the only visible panel stays
  EXPECT_TRUE(editors.Item(0)->Shown);
  EXPECT_EQ(editors.Item(0)->Panel->GetAlign(), TAlign::alClient);
  EXPECT_FALSE(h.bar->GetVisible());
  editors.Item(0)->SetCollapsed(true);  // nor collapses
  EXPECT_FALSE(editors.Item(0)->Collapsed);

  // One panel in 1200 pixels fills them.
  Host big(1200);
  TEditors one(nullptr, big.popup, big.bar, big.status, big.tree, big.box);
  one.AddEditor(0, "only.zu", true);
  one.AddEditor(1, "gone.zu", false);
  EXPECT_EQ(one.Item(0)->Panel->Height(), 1200);
  EXPECT_EQ(one.VisibleCount, 1);
  EXPECT_FALSE(big.bar->GetVisible());
}

TEST(Panels, EditorSettingsKeysStatusAndReplaceAnswers) {
  Host h(900);
  TEditors editors(nullptr, h.popup, h.bar, h.status, h.tree, h.box);
  TEditor* e = editors.AddEditor(0, "a.zu", true);
  TOndEditor* ed = e->Editor;
  EXPECT_EQ(ed->Keystrokes()->Count(), 34);
  auto command = [&](std::uint16_t key, TShiftState shift) {
    const int i = ed->Keystrokes()->FindKeyBinding(key, shift);
    return i < 0 ? TOndEditorCommand(0) : ed->Keystrokes()->Items(i).GetCommand();
  };
  EXPECT_EQ(command(VK_LEFT, ssCtrl | ssShift), ecSelWordLeft);
  EXPECT_EQ(command(VK_INSERT, ssShift), ecPaste);
  EXPECT_EQ(command(VK_RETURN, ssShift), ecLineBreak);
  EXPECT_EQ(command('C', ssCtrl), TOndEditorCommand(0));  // through the main window's actions
  EXPECT_EQ(ed->ActiveLine().GetBackground(), TColor(0xF5F5F5));
  EXPECT_FALSE(ed->ActiveLine().Indicator().GetVisible());
  EXPECT_EQ(ed->Gutter().GetGradientSteps(), 60);
  EXPECT_EQ(ed->Gutter().GetRightOffset(), 4);
  EXPECT_EQ(ed->Gutter().GetDigitCount(), 3);
  EXPECT_TRUE(ed->Gutter().GetShowLineModified());
  EXPECT_EQ(ed->Gutter().GetLineModifiedColor(), clLime);
  EXPECT_EQ(ed->CodeFolding().GetCollapsedLineColor(), TColor(0xF0CAA6));
  EXPECT_EQ(ed->ScrollBars().GetScrollBars(), ssVertical);
  EXPECT_EQ(ed->GetOptions() & eoScrollPastEof, 0u);
  EXPECT_NE(ed->GetOptions() & eoRightMouseMovesCursor, 0u);
  EXPECT_EQ(ed->WordWrap().GetEnabled(), Settings.interface.view.editors.wordwrap);
  EXPECT_EQ(ed->GetSearchEngine(), e->SearchEngine.get());
  // Every panel has a rule-driven highlighter with the scheme of the scheme
  // setting (the config files' scheme by default).
  ASSERT_NE(e->Highlighter, nullptr);
  EXPECT_EQ(ed->GetHighlighter(), e->Highlighter.get());
  EXPECT_EQ(e->SchemeIndex, Settings.interface.view.syntax.scheme);
  EXPECT_EQ(e->Highlighter->Info().General.Name, "JSON Default");

  ed->Lines()->SetText("\xC0\xE1");  // "Аб"
  ed->SetCaretXY(BufferCoord(2, 1));
  e->EditorStatusChange(StatusCaretChar);
  EXPECT_EQ(h.status->Panels()->Items(spCaret)->GetText(), "  1:  2");
  EXPECT_EQ(h.status->Panels()->Items(spCharCode)->GetText(), "431");
  EXPECT_EQ(e->CharCodeText(), "431");
  ed->SetCaretXY(BufferCoord(3, 1));
  EXPECT_EQ(e->CharCodeText(), "");
  e->EditorClick();
  EXPECT_EQ(editors.ActiveIndex, 0);
  EXPECT_EQ(e->Header->Font.GetColor(), clBlue);
  EXPECT_EQ(h.status->Panels()->Items(spEncoding)->GetText(), "UTF-8");
  EXPECT_EQ(h.status->Panels()->Items(spEditMode)->GetText(), "Insert");

  // Overwrite mode selects the character under the caret before typing.
  ed->SetInsertMode(false);
  ed->SetCaretXY(BufferCoord(1, 1));
  char key = 'x';
  e->EditorKeyPress(key);
  EXPECT_EQ(ed->GetSelLength(), 1);
  ed->SetCaretXY(BufferCoord(3, 1));
  e->EditorKeyPress(key);
  EXPECT_FALSE(ed->SelAvail());  // at the line's end it inserts
  ed->SetInsertMode(true);

  // Modified while the undo list holds records, or dropped some.
  Edit(e, 1, "x");
  EXPECT_TRUE(e->Modified);
  EXPECT_TRUE(editors.Modified);
  EXPECT_EQ(e->Header->Font.GetStyle(), fsBold);
  EXPECT_EQ(h.status->Panels()->Items(spFileState)->GetText(), "Modified");
  ed->UndoList()->PopItem();
  e->EditorChange();
  EXPECT_FALSE(e->Modified);
  EXPECT_FALSE(editors.Modified);
  EXPECT_EQ(e->Header->Font.GetStyle(), 0);
  // Typing through the editor marks the panel; undoing every change clears it.
  ed->SetCaretXY(BufferCoord(1, 1));
  ed->CommandProcessor(ecChar, 'q', nullptr);
  EXPECT_TRUE(e->Modified);
  EXPECT_EQ(ed->Lines()->Get(0), "qx");
  ed->Undo();
  EXPECT_EQ(ed->Lines()->Get(0), "x");
  EXPECT_FALSE(e->Modified);
  EXPECT_EQ(e->Header->Font.GetStyle(), 0);
  ed->UndoList()->SetMaxUndo(2);
  for (int i = 0; i < 3; ++i) Edit(e, 1, "y" + IntToStr(i));
  while (ed->UndoList()->HasRecords()) ed->UndoList()->PopItem();
  e->EditorChange();
  EXPECT_TRUE(e->Modified);  // a dropped record keeps the changed text marked
  e->SetModified(false);
  EXPECT_FALSE(ed->UndoList()->GetRecordsDropped());

  // Replace answers: a text replaced by itself is never replaced; a carried
  // replace-all or cancel holds without asking; otherwise the question is
  // asked and a skip takes one from the count.
  int asked = 0;
  TOndReplaceAction answer = raSkip;
  editors.OnAskReplace = [&](TEditor*, const TRect&) {
    ++asked;
    return answer;
  };
  TOndReplaceAction a = raReplace;
  e->EditorReplaceText("ab", "ab", 1, 1, a);
  EXPECT_EQ(a, raCancel);
  editors.ReplaceAnswer = raReplaceAll;
  e->EditorReplaceText("ab", "cd", 1, 1, a);
  EXPECT_EQ(a, raReplaceAll);
  EXPECT_EQ(asked, 0);
  editors.ReplaceAnswer = raReplace;
  editors.ReplaceCount = 5;
  e->EditorReplaceText("ab", "cd", 1, 1, a);
  EXPECT_EQ(a, raSkip);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(editors.ReplaceCount, 4);
  answer = raReplace;
  e->EditorReplaceText("ab", "cd", 1, 1, a);
  EXPECT_EQ(a, raReplace);
  EXPECT_EQ(editors.ReplaceCount, 4);
}

TEST(Panels, SwitchingTheSchemeReloadsTheHighlighterAndRescansFolds) {
  Host h(900);
  TEditors editors(nullptr, h.popup, h.bar, h.status, h.tree, h.box);
  TEditor* e = editors.AddEditor(0, "a.zu", true);
  TOndEditor* ed = e->Editor;
  ed->Lines()->SetText("{\r\n  \"a\": \"}\"\r\n}\r\n");
  auto& syntax = Settings.interface.view.syntax;
  const auto saved = syntax;
  syntax.codefolding = true;
  syntax.scheme = 0;
  e->SetSyntaxScheme(-1);
  EXPECT_EQ(e->SchemeIndex, -1);
  EXPECT_EQ(e->Highlighter->MainRules().RangeCount(), 0);
  EXPECT_EQ(ed->GetHighlighter(), e->Highlighter.get());

  e->SetSyntaxScheme(0);
  EXPECT_EQ(e->Highlighter->Info().General.Name, "JSON Default");
  ASSERT_TRUE(ed->CodeFolding().GetEnabled());
  // The brace inside the string is skipped: one fold over the whole object.
  ASSERT_EQ(ed->FoldRegionsInUse(), &e->Highlighter->FoldRegions());
  ASSERT_EQ(ed->AllFoldRanges().Count(), 1);
  EXPECT_EQ(ed->AllFoldRanges().Items(0)->ToLine, 3);

  syntax.scheme = 2;
  e->SetSyntaxScheme(2);
  EXPECT_EQ(e->Highlighter->Info().General.Name, "Python Default");
  EXPECT_EQ(e->SchemeIndex, 2);

  // Folding stays off while the scheme setting is "none".
  syntax.scheme = -1;
  e->SetSyntaxScheme(-1);
  EXPECT_FALSE(ed->CodeFolding().GetEnabled());
  syntax = saved;
}

// The panels of a set share the highlighter of each scheme; one panel
// switching leaves the others as they are.
TEST(Panels, PanelsOfASetShareEachScheme) {
  Host h(900);
  TEditors editors(nullptr, h.popup, h.bar, h.status, h.tree, h.box);
  TEditor* a = editors.AddEditor(0, "a.zu", true);
  TEditor* b = editors.AddEditor(1, "b.zu", true);
  ASSERT_EQ(a->SchemeIndex, 0);
  EXPECT_EQ(a->Highlighter, b->Highlighter);
  b->SetSyntaxScheme(1);
  EXPECT_EQ(b->Editor->GetHighlighter(), b->Highlighter.get());
  EXPECT_EQ(b->Highlighter->Info().General.Name, "JavaScript Default");
  EXPECT_EQ(a->Highlighter->Info().General.Name, "JSON Default");
  EXPECT_EQ(a->Editor->GetHighlighter(), a->Highlighter.get());
  b->SetSyntaxScheme(0);
  EXPECT_EQ(a->Highlighter, b->Highlighter);
}

// Right after a long file is loaded, and after an edit near its top, a late
// line has the colour and the fold marks a scan of the whole file gives.
TEST(Panels, LateLinesAreRightAfterLoadingAndAfterAnEditNearTheTop) {
  Host h(900);
  test::TempDir dir;
  TEditors editors(nullptr, h.popup, h.bar, h.status, h.tree, h.box);
  TEditor* e = editors.AddEditor(0, "long.zu", true);
  auto& syntax = Settings.interface.view.syntax;
  const auto saved = syntax;
  syntax.codefolding = true;
  std::string text = "{\r\n  \"a\": 1,\r\n";
  for (int i = 0; i < 3000; ++i) text += "  \"k" + std::to_string(i) + "\": \"v\",\r\n";
  const int late = 3000 + 4;  // the line of "x"
  text += "  \"late\": {\r\n    \"x\": 1\r\n  },\r\n  \"end\": 0 // */\r\n}\r\n";
  ASSERT_TRUE(e->LoadFromFile(dir.Write("long.zu", text), 2));
  TOndEditor* ed = e->Editor;
  auto nameAt = [&](int line, int chr) {
    std::string token;
    TOndHighlighterAttributes* attr = nullptr;
    return ed->GetHighlighterAttriAtRowCol(BufferCoord(chr, line), token, attr) && attr ? attr->Name() : "";
  };
  ASSERT_TRUE(ed->CodeFolding().GetEnabled());
  EXPECT_EQ(ed->AllFoldRanges().AllCount(), 2);
  ASSERT_NE(ed->FoldRangeStartingAt(late - 1), nullptr);
  EXPECT_EQ(ed->FoldRangeStartingAt(late - 1)->ToLine, late + 1);
  const std::string key = nameAt(late, 5);
  EXPECT_EQ(key.rfind("Strings", 0), 0u) << key;

  // A comment opened on line 2 runs to the "*/" near the end.
  ed->SetCaretXY(BufferCoord(1, 2));
  ed->CommandProcessor(ecChar, '/', nullptr);
  ed->CommandProcessor(ecChar, '*', nullptr);
  const std::string remark = nameAt(late, 5);
  EXPECT_EQ(remark.rfind("Remarks", 0), 0u) << remark;
  ed->RescanFoldRanges();
  EXPECT_EQ(ed->AllFoldRanges().AllCount(), 1);
  EXPECT_EQ(ed->FoldRangeStartingAt(late - 1), nullptr);
  syntax = saved;
}

TEST(Panels, AFileThatCouldNotBeReadIsNeverSavedOver) {
  Host h(900);
  test::TempDir dir;
  TEditors editors(nullptr, h.popup, h.bar, h.status, h.tree, h.box);
  TEditor* e = editors.AddEditor(0, "big.zu", true);
  // Too big to read: sparse, so it costs no disk.
  const std::string big = dir / "big.zu";
  ASSERT_EQ(::truncate(dir.Write("big.zu", "{}").c_str(), static_cast<off_t>(MaxTextFileSize) + 1), 0);
  EXPECT_FALSE(e->LoadFromFile(big, 2));
  Edit(e, 1, "{ \"typed\": 1 }");
  EXPECT_FALSE(e->SaveToFile(big, false));
  EXPECT_NE(e->LastError.find("could not be read"), std::string::npos) << e->LastError;
  struct stat st {};
  ASSERT_EQ(::stat(big.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, static_cast<off_t>(MaxTextFileSize) + 1);
  // Nor elsewhere: the panel does not hold the file's text, and a copy or a
  // new name would pass whatever it shows for it. A successful load lifts
  // the refusal.
  const std::string other = dir.Write("other.zu", "{ \"other\": 1 }");
  EXPECT_FALSE(e->SaveToFile(other, true));
  EXPECT_NE(e->LastError.find("could not be read"), std::string::npos) << e->LastError;
  EXPECT_EQ(test::TempDir::Read(other), "{ \"other\": 1 }");
  EXPECT_TRUE(e->LoadFromFile(other, 2));
  EXPECT_TRUE(e->SaveToFile(other, false));
}

TEST(Panels, ConfirmDialogPlacement) {
  const TRect main = Rect(100, 50, 1100, 650);  // 1000 x 600
  // Beside the match, 20 pixels below its line in the upper two thirds.
  EXPECT_EQ(TConfirmReplaceDialog::Placement(main, 300, 200, 185, 473, 94), (TPoint{300, 220}));
  // Above it in the lower third.
  EXPECT_EQ(TConfirmReplaceDialog::Placement(main, 300, 500, 485, 473, 94), (TPoint{300, 485 - 94 - 20}));
  // Pulled left to stay inside the window's right edge.
  EXPECT_EQ(TConfirmReplaceDialog::Placement(main, 900, 200, 185, 473, 94).X, 1100 - 473);
  // Centred over a window not wider than the dialog.
  EXPECT_EQ(TConfirmReplaceDialog::Placement(Rect(100, 0, 500, 600), 300, 200, 185, 473, 94).X, 100 - 36);
  TConfirmReplaceDialog dlg(nullptr);
  EXPECT_EQ(dlg.lConfirm->GetCaption(), "Replace the text?");
  EXPECT_EQ(dlg.bReplaceAll->ModalResult, TConfirmReplaceDialog::mrYesToAll);
  dlg.PrepareShow(main, 300, 200, 185);
  EXPECT_EQ(dlg.Top(), 220);
}

TEST(ConfigSet, ReadFailuresAreToldWhenTheSetOpens) {
  test::TempDir dir;
  Host host{900};
  Boxes boxes;
  // A pipe stops discovery: it is marked, told with its reason, and the
  // files listed before it still open.
  ASSERT_EQ(::mkfifo((dir / "pipe.zu").c_str(), 0600), 0);
  dir.Write("a.zu", "{}");
  const std::string root = dir.Write("root.zu", "[${\"a.zu\":\"x\"}, ${\"pipe.zu\":\"y\"}]");
  {
    TZuConfig config;
    EXPECT_FALSE(config.LoadConfig(root, host.box, host.popup, host.bar, host.status, host.tree));
    EXPECT_FALSE(config.RootUnreadable());
    EXPECT_TRUE(config.Information->Files[2]->ReadError);
    ASSERT_EQ(boxes.texts.size(), 1u);
    EXPECT_NE(boxes.texts[0].find(Lang(leReadFailed)), std::string::npos);
    EXPECT_NE(boxes.texts[0].find("pipe.zu"), std::string::npos);
    EXPECT_NE(boxes.texts[0].find("Not a regular file"), std::string::npos) << boxes.texts[0];
    EXPECT_EQ(config.Editors->Count, 3);
  }
  // A root that is a folder is no file: discovery lists it as missing and
  // succeeds, nothing was read to fail; the window tells the user.
  boxes.texts.clear();
  ASSERT_TRUE(ForceFolders(dir / "folder.zu"));
  TZuConfig folder;
  EXPECT_TRUE(folder.LoadConfig(dir / "folder.zu", host.box, host.popup, host.bar, host.status, host.tree));
  EXPECT_FALSE(folder.RootUnreadable());
  EXPECT_TRUE(folder.Information->Files[0]->Missing);
  EXPECT_EQ(folder.Editors->Count, 1);
  EXPECT_TRUE(boxes.texts.empty());
}

class ConfigSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = dir.Write("@quarn.zu", "{ \"a\": ${\"sub/a.zu\":\"x\"}, \"b\": ${\"b.zu\":\"y\"}, \"c\": ${\"new/c.zu\":\"z\"} }\r\n");
    a = dir.Write("sub/a.zu", kBom + "{\r\n  \"x\": 1\r\n}\r\n");
    b = dir.Write("b.zu", "{ \"y\": \"\xD0\x90\" }");  // UTF-8 without a mark
  }
  std::string Text(int i) const { return config.Panel(i)->Editor->Lines()->GetText(); }
  test::TempDir dir;
  std::string root, a, b;
  Host host{900};
  TZuConfig config;
};

TEST_F(ConfigSetTest, LoadsSavesWithBackupsAndSavesOnlyEditedFiles) {
  Boxes boxes;
  ASSERT_TRUE(config.LoadConfig(root, host.box, host.popup, host.bar, host.status, host.tree));
  TEditors& ed = *config.Editors;
  ASSERT_EQ(ed.Count, 4);
  EXPECT_EQ(ed.VisibleCount, 3);
  EXPECT_FALSE(ed.Item(3)->Shown);  // new/c.zu is missing
  EXPECT_EQ(host.tree->Items()->Count(), 4);
  EXPECT_EQ(host.tree->Items()->Item(3)->GetStateIndex(), 1);
  EXPECT_EQ(Text(1), "{\r\n  \"x\": 1\r\n}\r\n");
  EXPECT_EQ(Text(2), "{ \"y\": \"\xC0\" }");
  EXPECT_FALSE(ed.Modified);
  // Loaded lines carry no change marks.
  for (int i = 0; i < config.Panel(1)->Editor->Lines()->GetCount(); ++i)
    EXPECT_EQ(config.Panel(1)->Editor->Lines()->GetLineExtra(i)->ModifiedState, 0) << i;

  // Only the edited file is written; the others and their backups stay.
  const std::string rootBefore = test::TempDir::Read(root);
  Edit(config.Panel(1), 2, "  \"x\": 2");
  EXPECT_TRUE(config.SaveAll(true));
  EXPECT_EQ(test::TempDir::Read(a), kBom + "{\r\n  \"x\": 2\r\n}");  // one trailing break dropped
  EXPECT_EQ(test::TempDir::Read(a + ".backup"), kBom + "{\r\n  \"x\": 1\r\n}\r\n");
  EXPECT_EQ(test::TempDir::Read(root), rootBefore);
  EXPECT_FALSE(FileExistsEx(root + ".backup"));
  EXPECT_FALSE(FileExistsEx(b + ".backup"));
  EXPECT_FALSE(FileExistsEx(dir / "new/c.zu"));
  EXPECT_FALSE(config.Panel(1)->Modified);
  EXPECT_FALSE(ed.Modified);

  // A second backup replaces the first.
  Edit(config.Panel(1), 2, "  \"x\": 3");
  EXPECT_TRUE(config.SaveFile(1, "", false, true));
  EXPECT_EQ(test::TempDir::Read(a + ".backup"), kBom + "{\r\n  \"x\": 2\r\n}");
  EXPECT_EQ(test::TempDir::Read(a), kBom + "{\r\n  \"x\": 3\r\n}");

  // Line ends become CR LF; a text ending with two breaks keeps one.
  config.Panel(0)->Editor->Lines()->SetText("a\nb\n\n");
  EXPECT_TRUE(config.SaveFile(0, "", false, false));
  EXPECT_EQ(test::TempDir::Read(root), kBom + "a\r\nb\r\n");

  // An edited missing file is written with its folders.
  Edit(config.Panel(3), 1, "{}");
  EXPECT_TRUE(config.SaveAll(false));
  EXPECT_EQ(test::TempDir::Read(dir / "new/c.zu"), kBom + "{}");
  EXPECT_FALSE(config.Information->Files[3]->Missing);

  // Save as a copy leaves the entry and the modified state; save as moves both.
  Edit(config.Panel(1), 1, "[");
  EXPECT_TRUE(config.SaveFile(1, dir / "copy.zu", true, false));
  EXPECT_TRUE(config.Panel(1)->Modified);
  EXPECT_EQ(config.Information->Files[1]->FileName, a);
  EXPECT_TRUE(config.SaveFile(1, dir / "moved.zu", false, false));
  EXPECT_FALSE(config.Panel(1)->Modified);
  EXPECT_EQ(config.Information->Files[1]->FileName, dir / "moved.zu");
  EXPECT_EQ(host.tree->Items()->Item(1)->GetText(), "moved.zu");
  EXPECT_NE(config.Panel(1)->Header->GetCaption().find(" moved.zu "), std::string::npos);
  // Another file of the set is never overwritten by "save as".
  Edit(config.Panel(1), 1, "{");
  EXPECT_FALSE(config.SaveFile(1, b, false, false));
  EXPECT_NE(boxes.texts.back().find("b.zu"), std::string::npos);
  EXPECT_EQ(test::TempDir::Read(b), "{ \"y\": \"\xD0\x90\" }");
  // The same name in other letter case is another file on this system: it
  // is made, and the old one stays as it was.
  const std::string movedBefore = test::TempDir::Read(dir / "moved.zu");
  EXPECT_TRUE(config.SaveFile(1, dir / "MOVED.zu", false, false));
  EXPECT_EQ(config.Information->Files[1]->FileName, dir / "MOVED.zu");
  EXPECT_EQ(test::TempDir::Read(dir / "MOVED.zu"), kBom + "{\r\n  \"x\": 3\r\n}");
  EXPECT_EQ(test::TempDir::Read(dir / "moved.zu"), movedBefore);
  // The same file by another path is the file itself.
  Edit(config.Panel(1), 1, "[");
  EXPECT_TRUE(config.SaveFile(1, dir.Path() + "/sub/../MOVED.zu", false, false));
  EXPECT_EQ(config.Information->Files[1]->FileName, dir / "MOVED.zu");
  EXPECT_EQ(test::TempDir::Read(dir / "MOVED.zu"), kBom + "[\r\n  \"x\": 3\r\n}");
  // A name with a zero byte never reaches the disk (it would write "b.zu").
  const std::size_t boxesBefore = boxes.texts.size();
  EXPECT_FALSE(config.SaveFile(1, b + std::string(1, '\0') + "x", false, false));
  EXPECT_EQ(test::TempDir::Read(b), "{ \"y\": \"\xD0\x90\" }");
  EXPECT_EQ(boxes.texts.size(), boxesBefore + 1);
  EXPECT_EQ(config.Information->Files[1]->FileName, dir / "MOVED.zu");

  // Indexes outside the set are refused.
  EXPECT_FALSE(config.SaveFile(4, "", false, false));
  EXPECT_FALSE(config.MakeBackup(-1));
  EXPECT_FALSE(config.ReloadFile(99, false));
  EXPECT_FALSE(config.SaveActive("", false, false));  // no active panel
}

TEST_F(ConfigSetTest, SavingWithCollapsedFoldsKeepsTheHiddenLines) {
  ASSERT_TRUE(config.LoadConfig(root, host.box, host.popup, host.bar, host.status, host.tree));
  TOndEditor* editor = config.Panel(1)->Editor;
  // Panels fold by their highlighter's regions.
  config.Panel(1)->Highlighter->FoldRegions().Add(frtChar, false, false, false, "{", "}");
  editor->RescanFoldRanges();
  TOndEditFoldRange* range = editor->FoldRangeAtLine(1);
  ASSERT_NE(range, nullptr);
  ASSERT_TRUE(editor->CollapseFoldRange(range));
  ASSERT_LT(editor->Lines()->GetCount(), 4);  // the body left the buffer
  Edit(config.Panel(1), 2, "");  // the blank last line, now the second visible one
  EXPECT_TRUE(config.SaveFile(1, "", false, false));
  EXPECT_EQ(test::TempDir::Read(a), kBom + "{\r\n  \"x\": 1\r\n}");
  EXPECT_TRUE(range->Collapsed);  // saving leaves the view as it was
}

TEST_F(ConfigSetTest, FailuresAreToldAndKeepTheEdits) {
  Boxes boxes;
  config.LoadConfig(root, host.box, host.popup, host.bar, host.status, host.tree);
  // The folder of the missing file cannot be made: a file stands there.
  dir.Write("new", "blocker");
  Edit(config.Panel(3), 1, "{}");
  EXPECT_FALSE(config.SaveAll(false));
  ASSERT_EQ(config.FailedFiles.size(), 1u);
  EXPECT_TRUE(config.Panel(3)->Modified);
  EXPECT_NE(boxes.texts.back().find("new/c.zu"), std::string::npos);
  // The reason is the system's.
  EXPECT_NE(boxes.texts.back().find(SystemErrorText(ENOTDIR)), std::string::npos) << boxes.texts.back();
  EXPECT_NE(host.status->Panels()->Items(spMessage)->GetText().find("new/c.zu"), std::string::npos);
  // A folder where the file should be.
  ASSERT_TRUE(ForceFolders(dir / "taken.zu"));
  EXPECT_FALSE(config.SaveFile(3, dir / "taken.zu", false, false));
  EXPECT_NE(boxes.texts.back().find("taken.zu"), std::string::npos);
  EXPECT_NE(boxes.texts.back().find(SystemErrorText(EISDIR)), std::string::npos) << boxes.texts.back();

  // A backup that cannot be made asks first; the default keeps the file.
  ASSERT_TRUE(ForceFolders(b + ".backup"));  // a folder in the backup's place
  dir.Write(b + ".backup/keep", "x");
  Edit(config.Panel(2), 1, "{}");
  const std::size_t before = boxes.texts.size();
  EXPECT_FALSE(config.SaveFile(2, "", false, true));
  EXPECT_EQ(boxes.texts.size(), before + 1);
  EXPECT_EQ(test::TempDir::Read(b), "{ \"y\": \"\xD0\x90\" }");
  EXPECT_TRUE(config.Panel(2)->Modified);
  boxes.answers = {IDYES};
  EXPECT_TRUE(config.SaveFile(2, "", false, true));
  EXPECT_EQ(test::TempDir::Read(b), kBom + "{}");
}

TEST_F(ConfigSetTest, ReloadInEncodingsAndLossyFiles) {
  Boxes boxes;
  // UTF-16 with its mark, code page 1251 and a UTF-8 character 1251 lacks.
  const std::string u16 = dir.Write("u16.zu", std::string("\xFF\xFE\x10\x04\x0D\x00\x0A\x00x\x00", 10));
  const std::string ansi = dir.Write("ansi.zu", "\xC0\xE1\xE2");
  const std::string lossy = dir.Write("lossy.zu", "a\xE6\x97\xA5z");  // "a日z"
  dir.Write("@quarn.zu", "${\"u16.zu\":\"\"} ${\"ansi.zu\":\"\"} ${\"lossy.zu\":\"\"}");
  config.LoadConfig(root, host.box, host.popup, host.bar, host.status, host.tree);
  TEditor* pu = config.Panel(1);
  TEditor* pa = config.Panel(2);
  TEditor* pl = config.Panel(3);
  ASSERT_TRUE(pu && pa && pl);
  EXPECT_EQ(pu->EncodingName(), "UTF-8");

  pu->Encoding = 1;
  EXPECT_TRUE(config.ReloadFile(1, false));
  EXPECT_EQ(pu->Editor->Lines()->GetText(), "\xC0\r\nx");
  EXPECT_EQ(pu->EncodingName(), "Unicode");
  pa->Encoding = 0;
  EXPECT_TRUE(config.ReloadFile(2, false));
  EXPECT_EQ(pa->Editor->Lines()->GetText(), "\xC0\xE1\xE2");
  EXPECT_EQ(pa->EncodingName(), "ANSI");
  EXPECT_EQ(pa->LossyCount, 0u);
  pa->Encoding = 2;
  EXPECT_TRUE(config.ReloadFile(2, false));
  EXPECT_GT(pa->LossyCount, 0u);  // not UTF-8

  // From the backup: the panel is modified, its text differs from the file.
  Edit(pa, 1, "new");
  pa->Encoding = 0;
  boxes.answers = {IDYES};
  EXPECT_TRUE(config.SaveFile(2, "", false, true));
  EXPECT_TRUE(config.ReloadFile(2, true));
  EXPECT_EQ(pa->Editor->Lines()->GetText(), "\xC0\xE1\xE2");
  EXPECT_TRUE(pa->Modified);
  EXPECT_TRUE(config.ReloadFile(2, false));
  EXPECT_EQ(pa->Editor->Lines()->GetText(), "new");  // the file is read as the UTF-8 it was saved in
  EXPECT_EQ(pa->EncodingName(), "UTF-8");
  EXPECT_FALSE(pa->Modified);

  // The lossy file is marked and saving over it asks; the default keeps it.
  EXPECT_EQ(pl->LossyCount, 1u);
  EXPECT_EQ(pl->Editor->Lines()->GetText(), "a?z");
  EXPECT_NE(pl->Header->GetCaption().find("[1 characters replaced"), std::string::npos);
  pl->EditorClick();
  EXPECT_NE(host.status->Panels()->Items(spMessage)->GetText().find("1 characters replaced"), std::string::npos);
  Edit(pl, 1, "b?z");
  const std::size_t before = boxes.texts.size();
  EXPECT_FALSE(config.SaveAll(false));
  EXPECT_EQ(boxes.texts.size(), before + 1);
  EXPECT_NE(boxes.texts.back().find("1 characters"), std::string::npos);
  EXPECT_EQ(test::TempDir::Read(lossy), "a\xE6\x97\xA5z");
  EXPECT_TRUE(pl->Modified);
  // A copy elsewhere loses nothing on disk and does not ask.
  EXPECT_TRUE(config.SaveFile(3, dir / "elsewhere.zu", true, false));
  EXPECT_EQ(boxes.texts.size(), before + 1);
  boxes.answers = {IDYES};
  EXPECT_TRUE(config.SaveFile(3, "", false, false));
  EXPECT_EQ(test::TempDir::Read(lossy), kBom + "b?z");
  EXPECT_EQ(pl->LossyCount, 0u);
}

// In the shown main window, scrolling the stack brings the panels in view to
// the screen and takes those it leaves off.
TEST(MainWindowPanels, TheShownWindowHoldsWindowsForThePanelsInView) {
  Boxes boxes;
  TMain main(nullptr);
  main.SetBounds(0, 0, 1130, 675);
  main.Show();
  main.OpenConfig(test::SourceDir() + "/samples/@quarn.zu");
  Application()->ProcessMessages();
  TEditors* editors = main.Editors();
  ASSERT_NE(editors, nullptr);
  const int first = editors->FirstVisible();
  const int last = editors->LastVisible();
  ASSERT_GE(editors->VisibleCount, 3);
  auto inView = [&](int i) {
    const TEditor* e = editors->Item(i);
    return e->Panel->Top() < main.pScrollBox->ClientHeight() && e->Panel->Top() + e->Panel->Height() > 0;
  };
  ASSERT_TRUE(inView(first));
  ASSERT_FALSE(inView(last));
  EXPECT_FALSE(editors->Item(first)->Panel->Widget()->isHidden());
  EXPECT_TRUE(editors->Item(last)->Panel->Widget()->isHidden());

  main.ScrollToLast();
  Application()->ProcessMessages();
  ASSERT_TRUE(inView(last));
  EXPECT_FALSE(editors->Item(last)->Panel->Widget()->isHidden());
  EXPECT_EQ(editors->Item(first)->Panel->Widget()->isHidden(), !inView(first));
  EXPECT_TRUE(editors->Item(last)->Header->Widget()->isVisible());
  EXPECT_TRUE(editors->Item(last)->Editor->Widget()->isVisible());

  // A panel out of view that takes the keyboard focus shows for it.
  TEditor* away = editors->Item(first);
  ASSERT_FALSE(inView(first));
  EXPECT_TRUE(away->Panel->Widget()->isHidden());
  ASSERT_TRUE(away->Editor->CanFocus());
  away->Editor->SetFocus();
  EXPECT_TRUE(away->Editor->Focused());
  EXPECT_FALSE(away->Panel->Widget()->isHidden());
  boxes.answers = {IDNO};
  EXPECT_TRUE(main.CloseConfig());
}

TEST(MainWindowPanels, OpensTheSampleSetAndFollowsTheTree) {
  Boxes boxes;
  TMain main(nullptr);
  main.SetBounds(0, 0, 1130, 675);
  main.OpenConfig(test::SourceDir() + "/samples/@quarn.zu");
  TEditors* editors = main.Editors();
  ASSERT_NE(editors, nullptr);
  ASSERT_GT(editors->Count, 2);
  EXPECT_EQ(main.tvOpenFiles->Items()->Count(), editors->Count);
  for (int i = 0; i < editors->Count; ++i) {
    TEditor* e = editors->Item(i);
    EXPECT_EQ(e->Shown, !main.Config()->Files[static_cast<std::size_t>(i)]->Missing);
    if (e->Shown) {
      EXPECT_GT(e->Editor->Lines()->GetCount(), 0) << i;
      // Every file of the sample is an object: its braces fold as soon as it
      // is loaded.
      if (Settings.interface.view.syntax.codefolding) {
        EXPECT_GT(e->Editor->AllFoldRanges().Count(), 0) << i;
      }
    }
  }
  EXPECT_TRUE(main.pScrollBox->GetVisible());
  EXPECT_TRUE(main.VSBMain->GetVisible());

  // Unchecking a node hides its panel; checking shows it again.
  TTreeNode* node = main.tvOpenFiles->Items()->Item(1);
  const int visible = editors->VisibleCount;
  main.tvOpenFiles->ToggleNode(node);
  EXPECT_FALSE(editors->Item(1)->Shown);
  EXPECT_EQ(editors->VisibleCount, visible - 1);
  main.tvOpenFiles->ToggleNode(node);
  EXPECT_TRUE(editors->Item(1)->Shown);

  // Scrolling to the last panel brings its top to the view's top or the
  // stack's end to the view's bottom.
  main.ScrollToLast();
  const TEditor* last = editors->Item(editors->LastVisible());
  EXPECT_TRUE(last->Panel->Top() == 0 || main.VSBMain->GetPosition() == main.VSBMain->GetMax());

  // A click on a panel's editor makes it active and fills the status bar.
  editors->Item(1)->EditorClick();
  EXPECT_EQ(main.ActiveIndex(), 1);
  EXPECT_EQ(main.SBar->Panels()->Items(spEncoding)->GetText(), "UTF-8");
  Edit(editors->Item(1), 1, "x");
  EXPECT_TRUE(main.IsModified());
  boxes.answers = {IDNO};
  EXPECT_TRUE(main.CloseConfig());
  EXPECT_EQ(main.Editors(), nullptr);
  EXPECT_FALSE(main.pScrollBox->GetVisible());
}

}  // namespace
}  // namespace ond
