// Search and replace across the panels of an open config set, on real files
// in a temporary folder, under the offscreen platform.
#include <gtest/gtest.h>

#include <deque>

#include <QApplication>

#include "platform/Graphics.h"
#include "platform/core/SysUtils.h"
#include "services/USystem.h"
#include "tests/support/TempDir.h"
#include "tests/workspace/gui/PanelHost.h"
#include "workspace/StatusPanels.h"
#include "workspace/UMain.h"
#include "workspace/UZuConfigs.h"

namespace ond {
namespace {

using SearchHost = test::PanelHost;

// Message boxes and system sounds are recorded, never shown or played.
struct Quiet {
  std::vector<std::string> boxes;
  std::vector<unsigned> beeps;
  Quiet() {
    Application()->MessageBoxHook = [this](const std::string& text, const std::string&, unsigned) {
      boxes.push_back(text);
      return IDOK;
    };
    Application()->BeepHook = [this](unsigned type) { beeps.push_back(type); };
  }
  ~Quiet() {
    Application()->MessageBoxHook = nullptr;
    Application()->BeepHook = nullptr;
  }
};

// Panels: 0 the root, 1 a.zu (one match), 2 b.zu (none), 3 c.zu (three).
class SearchWalkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = Settings.search;
    Settings.search = decltype(Settings.search){};
    root = dir.Write("@quarn.zu", "{ \"a\": ${\"a.zu\":\"x\"}, \"b\": ${\"b.zu\":\"y\"}, \"c\": ${\"c.zu\":\"z\"} }");
    dir.Write("a.zu", "one needle\r\nx");
    dir.Write("b.zu", "no match here");
    dir.Write("c.zu", "needle Needle\r\nneedle");
    ASSERT_TRUE(config.LoadConfig(root, host.box, nullptr, host.bar, host.status, host.tree));
    ASSERT_EQ(config.Editors->Count, 4);
    ASSERT_EQ(config.Information->Files[3]->ExtractFileName(), "c.zu");
    config.Editors->OnAskReplace = [this](TEditor* e, const TRect&) {
      asked.push_back(e->Index);
      if (answers.empty()) return raCancel;
      const TOndReplaceAction a = answers.front();
      answers.pop_front();
      return a;
    };
    Settings.search.find.text = "needle";
  }
  void TearDown() override { Settings.search = saved; }

  TEditor* P(int i) const { return config.Panel(i); }
  std::string Text(int i) const { return P(i)->Editor->Lines()->GetText(); }
  // The selection as "line:begin-end" with the active panel in front.
  std::string At() const {
    TEditor* e = config.Editors->Active();
    if (!e) return "none";
    const TBufferCoord b = e->Editor->GetBlockBegin(), en = e->Editor->GetBlockEnd();
    return IntToStr(e->Index) + "@" + IntToStr(b.Line) + ":" + IntToStr(b.Char) + "-" + IntToStr(en.Char);
  }
  std::string Status5() const { return host.status->Panels()->Items(spMessage)->GetText(); }

  decltype(Settings.search) saved;
  test::TempDir dir;
  std::string root;
  SearchHost host{900};
  TZuConfig config;
  Quiet quiet;
  std::deque<TOndReplaceAction> answers;
  std::vector<int> asked;
};

TEST_F(SearchWalkTest, OptionBitsFollowTheSettings) {
  EXPECT_EQ(config.SearchOptions(false, false), 0);
  EXPECT_EQ(config.SearchOptions(true, false), ssoReplace | ssoReplaceAll | ssoPrompt);
  EXPECT_EQ(config.SearchOptions(false, true), ssoBackwards);
  Settings.search.options.backwards = true;
  EXPECT_EQ(config.SearchOptions(false, true), 0);  // find up turns the stored direction round
  Settings.search.options.casesensitive = true;
  Settings.search.options.wholewords = true;
  Settings.search.options.selectiononly = true;
  config.SearchContinues = false;
  EXPECT_EQ(config.SearchOptions(false, false), ssoBackwards | ssoMatchCase | ssoWholeWord | ssoSelectedOnly |
                                                    ssoEntireScope);
}

TEST_F(SearchWalkTest, ForwardAndBackwardAcrossTheSet) {
  Settings.search.options.inallconfig = true;
  // No active panel: the walk starts at the first visible one.
  EXPECT_EQ(config.SearchInConfig(false, false), 1);
  EXPECT_EQ(At(), "1@1:5-11");
  EXPECT_EQ(config.Editors->ActiveIndex, 1);
  EXPECT_EQ(host.status->Panels()->Items(spEncoding)->GetText(), "UTF-8");  // activated as by a click
  const char* forward[] = {"3@1:1-7", "3@1:8-14", "3@2:1-7"};
  for (const char* where : forward) {
    EXPECT_EQ(config.SearchInConfig(false, false), 1);
    EXPECT_EQ(At(), where);
  }
  EXPECT_TRUE(quiet.beeps.empty());
  // Past the last match of the last panel: not found, told and heard.
  EXPECT_EQ(config.SearchInConfig(false, false), 0);
  EXPECT_EQ(Status5(), "\"needle\" not found");
  EXPECT_EQ(quiet.beeps, std::vector<unsigned>{MB_ICONASTERISK});
  EXPECT_EQ(config.Editors->ActiveIndex, 3);
  EXPECT_EQ(P(3)->Editor->GetCaretXY(), BufferCoord(7, 2));  // the selection collapsed to its end

  // Find up from there walks back through the set.
  const char* backward[] = {"3@2:1-7", "3@1:8-14", "3@1:1-7", "1@1:5-11"};
  for (const char* where : backward) {
    EXPECT_EQ(config.SearchInConfig(false, true), 1);
    EXPECT_EQ(At(), where);
  }
  EXPECT_EQ(config.SearchInConfig(false, true), 0);
  EXPECT_EQ(quiet.beeps.size(), 2u);

  // Stored direction up: no active panel starts at the last visible one.
  P(1)->SetActive(false);
  Settings.search.options.backwards = true;
  EXPECT_EQ(config.SearchInConfig(false, false), 1);
  EXPECT_EQ(At(), "3@2:1-7");

  // Match case narrows the matches.
  Settings.search.options.backwards = false;
  Settings.search.options.casesensitive = true;
  Settings.search.find.text = "Needle";
  P(3)->SetActive(false);
  EXPECT_EQ(config.SearchInConfig(false, false), 1);
  EXPECT_EQ(At(), "3@1:8-14");
}

// A walk moves the caret of every panel it passes, onto the first brace of
// a file whose partner is the last one: a panel out of view leaves its pair
// to its next paint instead of walking the whole file for it.
TEST_F(SearchWalkTest, PanelsOutOfViewLeaveTheirBracketPairToTheirPaint) {
  Settings.search.options.inallconfig = true;
  ASSERT_TRUE(Settings.interface.view.syntax.pairedbrackets);
  ASSERT_FALSE(P(0)->Editor->Showing());
  EXPECT_EQ(config.SearchInConfig(false, false), 1);
  EXPECT_EQ(P(0)->Editor->GetCaretXY(), BufferCoord(1, 1));  // before the root's opening brace
  EXPECT_EQ(P(0)->BracketPartner, BufferCoord(0, 0));
  TBitmap bmp;
  P(0)->Editor->PaintTo(bmp);
  P(0)->EditorPaintTransient(bmp.Canvas(), ttAfter);
  EXPECT_EQ(P(0)->BracketAt, BufferCoord(1, 1));
  EXPECT_EQ(P(0)->BracketPartner, BufferCoord(static_cast<int>(Text(0).size()), 1));
}

TEST_F(SearchWalkTest, StartPanelHiddenPanelsAndSelectionOnly) {
  // Without the entire-config option the walk stays in the start panel.
  P(1)->EditorClick();
  P(1)->Editor->SetCaretXY(BufferCoord(11, 1));
  EXPECT_EQ(config.SearchInConfig(false, false), 0);
  EXPECT_EQ(config.Editors->ActiveIndex, 1);
  EXPECT_FALSE(P(3)->Editor->SelAvail());
  // The entire scope of the start panel, not past it.
  config.SearchContinues = false;
  EXPECT_EQ(config.SearchInConfig(false, false), 1);
  EXPECT_EQ(At(), "1@1:5-11");
  config.SearchContinues = true;

  // Hidden panels are always skipped.
  Settings.search.options.inallconfig = true;
  P(3)->SetShown(false);
  EXPECT_EQ(config.SearchInConfig(false, false), 0);
  EXPECT_EQ(config.Editors->ActiveIndex, 1);
  P(3)->SetShown(true);

  // Selected only: nothing in the selection, and the walk never leaves it.
  Settings.search.options.selectiononly = true;
  P(1)->Editor->SetBlockBegin(BufferCoord(1, 1));
  P(1)->Editor->SetBlockEnd(BufferCoord(5, 1));
  EXPECT_EQ(config.SearchInConfig(false, false), 0);
  EXPECT_EQ(config.Editors->ActiveIndex, 1);
  EXPECT_FALSE(P(3)->Editor->SelAvail());
  // A selection holding the word finds it there.
  P(1)->Editor->SetBlockBegin(BufferCoord(2, 1));
  P(1)->Editor->SetBlockEnd(BufferCoord(11, 1));
  EXPECT_EQ(config.SearchInConfig(false, false), 1);
  EXPECT_EQ(At(), "1@1:5-11");

  // An empty search text does nothing at all.
  Settings.search.find.text.clear();
  EXPECT_EQ(config.SearchInConfig(false, false), 0);
  EXPECT_EQ(At(), "1@1:5-11");
}

// "Replace all" across the set with far more matches than a panel's undo
// list keeps records: one undo per panel restores its text exactly, and the
// progress handler is let go of when the walk ends.
TEST_F(SearchWalkTest, ReplaceAllBeyondTheUndoCapUndoesInOneStepPerPanel) {
  Settings.search.options.inallconfig = true;
  Settings.search.replace.text = "pin";
  std::string big;
  for (int i = 0; i < 2000; ++i) big += "needle and needle " + std::to_string(i) + "\r\n";
  big += "end";
  P(3)->Editor->Lines()->SetText(big);
  const std::string before1 = Text(1), before3 = Text(3);
  answers = {raReplaceAll};
  EXPECT_EQ(config.SearchInConfig(true, false), 4001);
  EXPECT_EQ(Text(3).find("needle"), std::string::npos);
  EXPECT_EQ(Status5(), "Subs used: 4001");
  for (int i : {1, 3}) EXPECT_FALSE(P(i)->Editor->OnReplaceProgress) << i;
  P(3)->Editor->Undo();
  EXPECT_EQ(Text(3), before3);
  P(1)->Editor->Undo();
  EXPECT_EQ(Text(1), before1);
}

TEST_F(SearchWalkTest, ReplaceAnswersCarryFromPanelToPanel) {
  Settings.search.options.inallconfig = true;
  Settings.search.replace.text = "pin";

  // Cancel in the first panel stops the walk.
  answers = {raCancel};
  EXPECT_EQ(config.SearchInConfig(true, false), 0);
  EXPECT_EQ(asked, std::vector<int>{1});
  EXPECT_EQ(Text(1), "one needle\r\nx");
  EXPECT_EQ(Text(3), "needle Needle\r\nneedle");
  EXPECT_EQ(Status5(), "Subs used: 0");
  EXPECT_EQ(config.Editors->ReplaceAnswer, raReplace);
  EXPECT_EQ(config.Editors->ReplaceCount, 0);
  EXPECT_FALSE(config.Editors->Modified);

  // Skip in the first panel; the next still asks: replace, then replace all
  // for the rest without asking.
  asked.clear();
  P(1)->SetActive(false);
  answers = {raSkip, raReplace, raReplaceAll};
  EXPECT_EQ(config.SearchInConfig(true, false), 3);
  EXPECT_EQ(asked, (std::vector<int>{1, 3, 3}));
  EXPECT_EQ(Text(1), "one needle\r\nx");
  EXPECT_EQ(Text(3), "pin pin\r\npin");
  EXPECT_EQ(Status5(), "Subs used: 3");
  EXPECT_TRUE(P(3)->Modified);
  EXPECT_FALSE(P(1)->Modified);
  EXPECT_EQ(quiet.beeps.size(), 2u);
  P(3)->Editor->Undo();
  P(3)->Editor->Undo();
  EXPECT_EQ(Text(3), "needle Needle\r\nneedle");  // every edit is undoable
  EXPECT_FALSE(P(3)->Modified);

  // Replace all in the first panel holds in the next.
  asked.clear();
  P(1)->SetActive(false);
  P(3)->SetActive(false);
  answers = {raReplaceAll};
  EXPECT_EQ(config.SearchInConfig(true, false), 4);
  EXPECT_EQ(asked, std::vector<int>{1});
  EXPECT_EQ(Text(1), "one pin\r\nx");
  EXPECT_EQ(Text(3), "pin pin\r\npin");
  EXPECT_EQ(config.Editors->ReplaceAnswer, raReplace);  // at rest again

  // Backwards from the last panel, entire-config off: only the start panel.
  for (int i : {1, 3}) P(i)->Editor->Lines()->SetText("needle needle");
  asked.clear();
  P(3)->EditorClick();
  P(3)->Editor->SetCaretXY(BufferCoord(14, 1));
  Settings.search.options.inallconfig = false;
  answers = {raReplace, raSkip};
  EXPECT_EQ(config.SearchInConfig(true, true), 1);
  EXPECT_EQ(asked, (std::vector<int>{3, 3}));
  EXPECT_EQ(Text(3), "needle pin");
  EXPECT_EQ(Text(1), "needle needle");
}

TEST_F(SearchWalkTest, ReplacingATextByItselfIsNoReplacement) {
  Settings.search.options.inallconfig = true;
  // The same text: nothing asked, nothing touched.
  Settings.search.replace.text = "needle";
  EXPECT_EQ(config.SearchInConfig(true, false), 0);
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(Status5(), "Subs used: 0");
  EXPECT_FALSE(config.Editors->Modified);
  // A replacement equal to the found text only (case folded) changes nothing
  // and is not counted; the others are.
  Settings.search.replace.text = "Needle";
  answers = {raReplaceAll};
  EXPECT_EQ(config.SearchInConfig(true, false), 3);
  EXPECT_EQ(Text(3), "Needle Needle\r\nNeedle");
  EXPECT_EQ(Status5(), "Subs used: 3");
}

TEST_F(SearchWalkTest, RegexEngineAndEmptyMatches) {
  Settings.search.options.inallconfig = true;
  Settings.search.find.text = "ne+dle$";
  // The plain engine takes the pattern literally.
  EXPECT_EQ(config.SearchInConfig(false, false), 0);
  EXPECT_EQ(P(1)->Editor->GetSearchEngine(), P(1)->SearchEngine.get());
  Settings.search.options.regex = true;
  EXPECT_EQ(config.SearchInConfig(false, false), 1);
  EXPECT_EQ(P(1)->Editor->GetSearchEngine(), P(1)->RegexSearchEngine.get());
  EXPECT_EQ(At(), "1@1:5-11");
  EXPECT_EQ(config.SearchInConfig(false, false), 1);
  EXPECT_EQ(At(), "3@1:8-14");  // only a word at the end of its line
  EXPECT_EQ(P(0)->Editor->GetSearchEngine(), P(0)->RegexSearchEngine.get());
  EXPECT_EQ(P(3)->Editor->GetSearchEngine(), P(3)->RegexSearchEngine.get());

  // A regular-expression replacement through the expression's template.
  Settings.search.find.text = "(o)ne";
  Settings.search.replace.text = "$1$1";
  P(3)->SetActive(false);
  answers = {raReplaceAll};
  config.SearchInConfig(true, false);
  EXPECT_EQ(Text(1), "oo needle\r\nx");

  // A pattern the engine cannot take is told; nothing breaks.
  Settings.search.find.text = "(ne";
  const std::size_t boxes = quiet.boxes.size();
  EXPECT_EQ(config.SearchInConfig(false, false), 0);
  EXPECT_EQ(quiet.boxes.size(), boxes + 1);
  EXPECT_EQ(Status5().rfind("TRegex", 0), 0u);
  answers = {raReplaceAll};
  EXPECT_EQ(config.SearchInConfig(true, false), 0);
  EXPECT_EQ(config.Editors->ReplaceAnswer, raReplace);
  EXPECT_EQ(config.Editors->ReplaceCount, 0);

  // Back to the plain engine.
  Settings.search.options.regex = false;
  Settings.search.find.text = "needle";
  for (auto& e : config.Editors->Items) e->SetActive(false);
  EXPECT_EQ(config.SearchInConfig(false, false), 1);
  EXPECT_EQ(P(1)->Editor->GetSearchEngine(), P(1)->SearchEngine.get());

  // Find next never stays on an empty match at the caret.
  Settings.search.options.regex = true;
  Settings.search.options.inallconfig = false;
  Settings.search.find.text = "^$";
  P(2)->Editor->Lines()->SetText("a\r\n\r\n\r\nb");
  P(2)->EditorClick();
  P(2)->Editor->SetCaretXY(BufferCoord(1, 1));
  EXPECT_EQ(config.SearchInConfig(false, false), 1);
  EXPECT_EQ(P(2)->Editor->GetCaretXY(), BufferCoord(1, 2));
  EXPECT_EQ(config.SearchInConfig(false, false), 1);
  EXPECT_EQ(P(2)->Editor->GetCaretXY(), BufferCoord(1, 3));
  EXPECT_EQ(config.SearchInConfig(false, false), 0);
  EXPECT_EQ(P(2)->Editor->GetCaretXY(), BufferCoord(1, 3));
  // Up from there: the caret's own empty match is passed over as well.
  EXPECT_EQ(config.SearchInConfig(false, true), 1);
  EXPECT_EQ(P(2)->Editor->GetCaretXY(), BufferCoord(1, 2));
  // A panel the walk enters is searched from its very start.
  Settings.search.options.inallconfig = true;
  P(3)->Editor->Lines()->SetText("\r\nz");
  P(2)->Editor->SetCaretXY(BufferCoord(2, 4));
  EXPECT_EQ(config.SearchInConfig(false, false), 1);
  EXPECT_EQ(config.Editors->ActiveIndex, 3);
  EXPECT_EQ(P(3)->Editor->GetCaretXY(), BufferCoord(1, 1));
}

TEST(MainWindowSearch, FindNextExpandsScrollsToAndActivatesThePanel) {
  Quiet quiet;
  const auto saved = Settings.search;
  Settings.search = decltype(Settings.search){};
  test::TempDir dir;
  std::string rootText = "{";
  for (int i = 1; i <= 4; ++i) {
    const std::string name = "f" + IntToStr(i) + ".zu";
    rootText += " \"" + IntToStr(i) + "\": ${\"" + name + "\":\"x\"},";
    dir.Write(name, i == 4 ? "first\r\nlast word\r\n" : "nothing\r\n");
  }
  const std::string root = dir.Write("@quarn.zu", rootText + " \"end\": 0 }");
  TMain main(nullptr);
  main.SetBounds(0, 0, 1130, 675);
  main.OpenConfig(root);
  TEditors* editors = main.Editors();
  ASSERT_NE(editors, nullptr);
  ASSERT_EQ(editors->Count, 5);
  editors->Item(4)->SetCollapsed(true);
  ASSERT_TRUE(editors->Item(4)->Collapsed);

  EXPECT_FALSE(main.FindNext(false));  // no stored text yet
  Settings.search.find.text = "word";
  Settings.search.options.inallconfig = true;
  EXPECT_TRUE(main.FindNext(false));
  EXPECT_EQ(main.ActiveIndex(), 4);
  EXPECT_FALSE(editors->Item(4)->Collapsed);
  const TEditor* found = editors->Item(4);
  EXPECT_TRUE(found->Panel->Top() == 0 || main.VSBMain->GetPosition() == main.VSBMain->GetMax());
  EXPECT_EQ(found->Editor->GetSelText(), "word");
  EXPECT_FALSE(main.FindNext(false));
  EXPECT_NE(main.SBar->Panels()->Items(spMessage)->GetText().find("not found"), std::string::npos);
  EXPECT_TRUE(main.FindNext(true));
  EXPECT_EQ(found->Editor->GetSelText(), "word");
  Settings.search = saved;
}

}  // namespace
}  // namespace ond
