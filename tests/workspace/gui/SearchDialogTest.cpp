// The search, replace and confirmation dialogs: their histories, their keys,
// how the set fills them and stores what was entered, and where the
// confirmation appears.
#include <gtest/gtest.h>

#include <QApplication>
#include <functional>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "editor/OndEditKeyCmds.h"
#include "platform/core/Keys.h"
#include "services/ULocalization.h"
#include "services/USystem.h"
#include "tests/support/TempDir.h"
#include "workspace/UConfirmReplaceDialog.h"
#include "workspace/UMain.h"
#include "workspace/UReplaceDialog.h"

namespace ond {
namespace {

std::string Lines(int from, int to) {
  std::string s;
  for (int i = from; i <= to; ++i) s += (i > from ? "\r\n" : "") + std::string("t") + std::to_string(i);
  return s;
}

TEST(SearchDialogHistory, ReadsBackAtMostTwentyOrTenLines) {
  TTextReplaceDialog d(nullptr);
  d.SetSearchTextHistory(Lines(1, 25));
  d.SetReplaceTextHistory(Lines(1, 25));
  EXPECT_EQ(d.GetSearchTextHistory(), Lines(1, 20));
  EXPECT_EQ(d.GetReplaceTextHistory(), Lines(1, 10));
}

TEST(SearchDialogHistory, EmptyLinesAndRepeatsAreNoHistory) {
  TTextSearchDialog d(nullptr);
  d.SetSearchTextHistory("a\r\n\r\nb\r\na\r\nc");
  EXPECT_EQ(d.GetSearchTextHistory(), "a\r\nb\r\nc");
}

TEST(SearchDialogHistory, AnEnteredTextMovesToTheFrontOnOkOnly) {
  TTextReplaceDialog d(nullptr);
  d.SetSearchTextHistory("one\r\ntwo\r\nthree");
  d.SetReplaceTextHistory("r1\r\nr2");
  TTextSearchDialog::ExecuteHook = [](TTextSearchDialog& dialog) {
    dialog.SetSearchText("three");
    static_cast<TTextReplaceDialog&>(dialog).SetReplaceText("r2");
    return IDOK;
  };
  EXPECT_EQ(d.Execute(), IDOK);
  EXPECT_EQ(d.GetSearchTextHistory(), "three\r\none\r\ntwo");
  EXPECT_EQ(d.GetReplaceTextHistory(), "r2\r\nr1");
  EXPECT_EQ(d.GetSearchText(), "three");
  // An empty text is not remembered; Cancel changes nothing.
  TTextSearchDialog::ExecuteHook = [](TTextSearchDialog& dialog) {
    dialog.SetSearchText("");
    return IDOK;
  };
  d.Execute();
  EXPECT_EQ(d.GetSearchTextHistory(), "three\r\none\r\ntwo");
  TTextSearchDialog::ExecuteHook = [](TTextSearchDialog& dialog) {
    dialog.SetSearchText("new");
    return IDCANCEL;
  };
  EXPECT_EQ(d.Execute(), IDCANCEL);
  EXPECT_EQ(d.GetSearchTextHistory(), "three\r\none\r\ntwo");
  TTextSearchDialog::ExecuteHook = nullptr;
}

TEST(SearchDialog, OptionBoxesFollowTheirRules) {
  TTextSearchDialog d(nullptr);
  EXPECT_EQ(d.GetCaption(), Lang(leSearchCaption));
  EXPECT_TRUE(d.GetSearchFromCursor());
  EXPECT_FALSE(d.cbSearchSelectedOnly->GetEnabled());
  d.SetSearchSelectionOnly(true);
  EXPECT_TRUE(d.cbSearchSelectedOnly->GetEnabled());
  d.SetSearchSelectionOnly(false);
  EXPECT_FALSE(d.cbSearchSelectedOnly->GetEnabled());
  d.SetSearchBackwards(true);
  EXPECT_EQ(d.rgSearchDirection->GetItemIndex(), 1);
  EXPECT_EQ(d.rgSearchDirection->ItemCaption(1), Lang(leUp));
  d.cbSearchWithoutHiddenFiles->SetEnabled(true);
  d.cbSearchInAllConfig->Toggle();  // a click of the user
  EXPECT_TRUE(d.GetSearchInAllConfig());
  EXPECT_FALSE(d.cbSearchWithoutHiddenFiles->GetEnabled());
  TTextReplaceDialog r(nullptr);
  EXPECT_EQ(r.Height(), 280);
  EXPECT_EQ(r.GetCaption(), Lang(leReplaceCaption));
  EXPECT_GT(r.cbSearchWholeWords->Top(), r.cbxReplaceText->Top() + r.cbxReplaceText->Height());
}

void SendKey(QWidget* w, int key) {
  QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
  QApplication::sendEvent(w, &down);
}

TEST(SearchDialog, EnterAndEscapeCloseTheRealDialogAndDownOpensTheList) {
  TTextSearchDialog d(nullptr);
  d.SetSearchTextHistory("a\r\nb");
  QTimer::singleShot(0, [&] {
    SendKey(d.cbxSearchText->Widget(), Qt::Key_Down);
    EXPECT_TRUE(d.cbxSearchText->GetDroppedDown());
    d.cbxSearchText->SetDroppedDown(false);
    SendKey(d.cbSearchCaseSensitive->Widget(), Qt::Key_Return);
  });
  EXPECT_EQ(d.Execute(), IDOK);
  QTimer::singleShot(0, [&] { SendKey(d.cbRegularExpression->Widget(), Qt::Key_Escape); });
  EXPECT_EQ(d.Execute(), IDCANCEL);
  TConfirmReplaceDialog confirm(nullptr);
  QTimer::singleShot(0, [&] { SendKey(confirm.bSkip->Widget(), Qt::Key_Escape); });
  EXPECT_EQ(confirm.ShowModal(), IDCANCEL);
}

QWidget* FocusedWidget() { return QApplication::focusWidget(); }

// Runs then once window is the active window (activation comes through the
// event loop), or after a second without it.
void WhenActive(QWidget* window, std::function<void()> then, int tries = 100) {
  QTimer::singleShot(10, [=] {
    if (QApplication::activeWindow() == window || tries <= 0)
      then();
    else
      WhenActive(window, then, tries - 1);
  });
}

void SendKeyUpAndDown(QWidget* w, int key) {
  QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_Space ? QStringLiteral(" ") : QString());
  QApplication::sendEvent(w, &down);
  QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, key == Qt::Key_Space ? QStringLiteral(" ") : QString());
  QApplication::sendEvent(w, &up);
}

// The confirmation answers from the keyboard alone: "Yes" has the focus and
// is the default, Tab walks the answers, Enter or Space gives the focused one.
TEST(ConfirmDialogKeys, EveryAnswerIsReachableFromTheKeyboard) {
  struct TCase {
    int Tabs;
    int Key;
    int Expected;
  };
  const TCase cases[] = {{0, Qt::Key_Return, IDYES},
                         {0, Qt::Key_Enter, IDYES},
                         {1, Qt::Key_Return, IDNO},
                         {2, Qt::Key_Space, TConfirmReplaceDialog::mrYesToAll},
                         {3, Qt::Key_Return, IDCANCEL},
                         {1, Qt::Key_Escape, IDCANCEL}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Tabs);
    SCOPED_TRACE(c.Key);
    TConfirmReplaceDialog confirm(nullptr);
    EXPECT_TRUE(confirm.bReplace->GetDefault());
    bool startedOnYes = false;
    // The keys go where the focus is once the window is active.
    WhenActive(confirm.Widget(), [&] {
      startedOnYes = confirm.bReplace->Focused();
      for (int i = 0; i < c.Tabs && FocusedWidget(); ++i) SendKeyUpAndDown(FocusedWidget(), Qt::Key_Tab);
      if (FocusedWidget())
        SendKeyUpAndDown(FocusedWidget(), c.Key);
      // A key that answered nothing leaves the dialog open: it is closed with
      // a result no answer has, so the test fails instead of waiting forever.
      QPointer<QWidget> window = confirm.Widget();
      TConfirmReplaceDialog* dialog = &confirm;
      QTimer::singleShot(500, [window, dialog] {
        if (window && window->isVisible()) dialog->SetModalResult(-1);
      });
    });
    EXPECT_EQ(confirm.ShowModal(), c.Expected);
    EXPECT_TRUE(startedOnYes);
  }
}

// Tab walks the replace dialog's fields as they stand: from the search text
// to the replacement below it, not past the options to the end.
TEST(ReplaceDialogKeys, TabGoesFromTheSearchTextToTheReplacement) {
  TTextReplaceDialog d(nullptr);
  bool inReplacement = false;
  WhenActive(d.Widget(), [&] {
    d.cbxSearchText->SetFocus();
    if (FocusedWidget()) SendKeyUpAndDown(FocusedWidget(), Qt::Key_Tab);
    inReplacement = d.cbxReplaceText->Focused();
    d.SetModalResult(IDCANCEL);
  });
  d.ShowModal();
  EXPECT_TRUE(inReplacement);
}

TEST(ConfirmDialogPlacement, AtTheScreensRightAndBottomEdges) {
  const TRect screen = Rect(0, 0, 1280, 800);
  // A match near the right edge: the dialog ends at the edge.
  EXPECT_EQ(TConfirmReplaceDialog::Placement(screen, 1200, 300, 285, 473, 94), (TPoint{1280 - 473, 320}));
  // A match on the last line: above it.
  EXPECT_EQ(TConfirmReplaceDialog::Placement(screen, 100, 800, 785, 473, 94), (TPoint{100, 785 - 94 - 20}));
  // Exactly at two thirds still goes below.
  EXPECT_EQ(TConfirmReplaceDialog::Placement(screen, 100, 533, 518, 473, 94).Y, 553);
  EXPECT_EQ(TConfirmReplaceDialog::Placement(screen, 100, 534, 519, 473, 94).Y, 519 - 94 - 20);
}

class SetSearchDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    Application()->BeepHook = [](unsigned) {};
    root = dir.Write("@quarn.zu", "{ \"a\": ${\"a.zu\":\"x\"} }\r\nword here\r\n");
    dir.Write("a.zu", "{ \"x\": 1 }\r\nword there\r\n");
    main.SetBounds(0, 0, 1130, 675);
    main.OpenConfig(root);
  }
  void TearDown() override {
    TTextSearchDialog::ExecuteHook = nullptr;
    Application()->BeepHook = nullptr;
    Settings = saved;
  }
  TSettingsVariables saved = Settings;
  test::TempDir dir;
  std::string root;
  TMain main{nullptr};
};

TEST_F(SetSearchDialog, FilledFromTheSettingsAndTheCaretAndStoredOnOk) {
  Settings.search.find.text = "old";
  Settings.search.find.history = "old\r\nolder";
  Settings.search.options.casesensitive = true;
  main.SetActiveIndex(0);
  TOndEditor* e = main.Editors()->Active()->Editor;
  e->SetCaretXY(BufferCoord(2, 2));  // inside "word"
  bool seen = false;
  TTextSearchDialog::ExecuteHook = [&](TTextSearchDialog& d) {
    seen = true;
    EXPECT_EQ(d.GetSearchText(), "word");
    EXPECT_TRUE(d.GetSearchCaseSensitive());
    EXPECT_FALSE(d.cbSearchSelectedOnly->GetEnabled());
    EXPECT_TRUE(d.cbSearchInAllConfig->GetEnabled());
    EXPECT_EQ(d.GetSearchTextHistory(), "old\r\nolder");
    d.SetSearchCaseSensitive(false);
    d.SetSearchInAllConfig(true);
    return IDOK;
  };
  main.ZuConfig()->ShowSearchDialog(false);
  ASSERT_TRUE(seen);
  EXPECT_EQ(Settings.search.find.text, "word");
  EXPECT_EQ(Settings.search.find.history, "word\r\nold\r\nolder");
  EXPECT_FALSE(Settings.search.options.casesensitive);
  EXPECT_TRUE(Settings.search.options.inallconfig);
  EXPECT_TRUE(main.ZuConfig()->SearchContinues);
  // The search ran from the caret: the next "word" is in the next file.
  EXPECT_EQ(main.ActiveIndex(), 1);
  EXPECT_EQ(main.Editors()->Active()->Editor->GetSelText(), "word");
}

TEST_F(SetSearchDialog, WithoutAnActivePanelTheWholeSetIsSearched) {
  TTextSearchDialog::ExecuteHook = [&](TTextSearchDialog& d) {
    EXPECT_TRUE(d.GetSearchInAllConfig());
    EXPECT_FALSE(d.cbSearchInAllConfig->GetEnabled());
    EXPECT_FALSE(d.GetSearchSelectionOnly());
    return IDCANCEL;
  };
  main.ZuConfig()->ShowSearchDialog(false);
  EXPECT_TRUE(Settings.search.find.text.empty());  // Cancel stores nothing
}

TEST_F(SetSearchDialog, ReplaceDialogStoresTheReplacementAndReplaces) {
  main.SetActiveIndex(0);
  TOndEditor* e = main.Editors()->Active()->Editor;
  e->SetCaretXY(BufferCoord(1, 1));
  // A selection over two lines is no search text but can limit the search.
  e->CommandProcessor(ecSelectAll, 0, nullptr);
  main.Editors()->OnAskReplace = [](TEditor*, const TRect&) { return raReplaceAll; };
  TTextSearchDialog::ExecuteHook = [&](TTextSearchDialog& d) {
    auto& r = static_cast<TTextReplaceDialog&>(d);
    EXPECT_TRUE(d.cbSearchSelectedOnly->GetEnabled());
    d.SetSearchSelectionOnly(false);
    d.SetSearchText("word");
    d.SetSearchInAllConfig(true);
    r.SetReplaceText("WORD");
    return IDOK;
  };
  main.ZuConfig()->ShowSearchDialog(true);
  EXPECT_EQ(Settings.search.replace.text, "WORD");
  EXPECT_EQ(Settings.search.replace.history, "WORD");
  EXPECT_NE(main.Editors()->Item(0)->Editor->Lines()->GetText().find("WORD here"), std::string::npos);
}

}  // namespace
}  // namespace ond
