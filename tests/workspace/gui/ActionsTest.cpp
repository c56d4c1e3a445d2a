// The main window's actions: every action's caption in both languages, its
// keys and when it is enabled; toggles, radio groups, the language switch,
// the save dialog's filter and keys pressed in an editor of the real window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QAbstractButton>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <fstream>
#include <map>

#include "editor/OndEditKeyCmds.h"
#include "platform/Clipbrd.h"
#include "platform/QtBridge.h"
#include "platform/core/CodePage.h"
#include "platform/core/Keys.h"
#include "services/UAbout.h"
#include "services/UErrorHandler.h"
#include "services/ULocalization.h"
#include "services/USystem.h"
#include "tests/support/DebugInfoFiles.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSigningKeys.h"
#include "workspace/StatusPanels.h"
#include "workspace/UMain.h"

namespace ond {
namespace {

// The situations an action's enabled state is checked in, in the order of
// the columns of the table below.
enum TSituation { NoSet, OnePanel, SeveralPanels, ModifiedPanel, ReadOnlyPanel, SituationCount };

struct TActionCase {
  const char* Name;
  const char* English;  // the caption in English
  TShortCut Keys;
  const char* Enabled;  // '1' or '0' per situation
};

// Every action of the menus in menu order.
const TActionCase kActions[] = {
      {"aFile", "File", 0, "11111"},
      {"aOpen", "Open...", ShortCut('O', ssCtrl), "11111"},
      {"aSave", "Save", ShortCut('S', ssCtrl), "00010"},
      {"aSaveWithRecovery", "Save with backup", 0, "00010"},
      {"aSaveAs", "Save as...", 0, "01111"},
      {"aSaveAsCopy", "Save as copy...", 0, "01111"},
      {"aReOpen", "Reopen", ShortCut(VK_F1 + 4, 0), "01111"},
      {"aRecovery", "Recovery from backup", ShortCut(VK_F1 + 11, 0), "00000"},
      {"aSaveAll", "Save all", ShortCut('S', ssCtrl | ssShift), "00010"},
      {"aSaveAllWithRecovery", "Save all with backup", 0, "00010"},
      {"aCloseAll", "Close all", 0, "01111"},
      {"aLoadActiveConfig", "Load the current config", 0, "00000"},  // the game is not here
      {"aExit", "Quit", ShortCut('W', ssCtrl), "11111"},
      {"aEdit", "Edit", 0, "11111"},
      {"aUndo", "Undo", ShortCut('Z', ssCtrl), "00010"},
      {"aRedo", "Redo", ShortCut('Z', ssCtrl | ssShift), "00000"},
      {"aCut", "Cut", ShortCut('X', ssCtrl), "00010"},
      {"aCopy", "Copy", ShortCut('C', ssCtrl), "00011"},
      {"aPaste", "Paste", ShortCut('V', ssCtrl), "01110"},
      {"aDelete", "Delete", 0, "00010"},
      {"aSelectAll", "Select all", ShortCut('A', ssCtrl), "01111"},
      {"aSearch", "Search", 0, "11111"},
      {"aFind", "Find...", ShortCut('F', ssCtrl), "01111"},
      {"aFindReplace", "Replace...", ShortCut('R', ssCtrl), "01111"},
      {"aFindDown", "Find down", ShortCut(VK_F1 + 2, 0), "00010"},
      {"aFindUp", "Find up", ShortCut(VK_F1 + 2, ssShift), "00010"},
      {"aView", "View", 0, "11111"},
      {"aEditorSetting", "Editor", 0, "11111"},
      {"aGutter", "Gutter", 0, "11111"},
      {"aGutterVisible", "Visible", 0, "11111"},
      {"aGutterNumber", "Line numbering", 0, "11111"},
      {"aGutterWWGlyph", "Word wrap glyph", 0, "11111"},
      {"aLineModVisible", "Mark changed lines", 0, "11111"},
      {"aHeaderFont", "Font headlines...", 0, "00000"},
      {"aEditorFont", "Main text font...", 0, "00000"},
      {"aWordWrap", "Word wrap", 0, "11111"},
      {"aDisplaySpecChar", "Display special characters", 0, "11111"},
      {"aFreeCaretMovement", "Free caret movement", 0, "11111"},
      {"aFilesTree", "Files tree", 0, "11111"},
      {"aFilesListVisible", "Visible", 0, "11111"},
      {"aFilesListPosition", "Panel location", 0, "11111"},
      {"aFilesListRight", "Right", 0, "11111"},
      {"aFilesListLeft", "Left", 0, "11111"},
      {"aMainScroll", "Main scroll", 0, "11111"},
      {"aMainScrollBarVisible", "Show scrollbar", 0, "11111"},
      {"aMainScrollActivation", "Activation method", 0, "11111"},
      {"aMainScrollActivationShift", "Shift key", 0, "11111"},
      {"aMainScrollActivationCtrl", "Ctrl key", 0, "11111"},
      {"aMainScrollActivationCursor", "Cursor moving", 0, "11111"},
      {"aCodePage", "Code page", 0, "11111"},
      {"aLoadFileAsANSI", "Open file in ANSI", 0, "01111"},
      {"aLoadFileAsUnicode", "Open file in Unicode", 0, "01111"},
      {"aLoadFileAsUTF8", "Open file in UTF-8", 0, "01111"},
      {"aLoadAllFilesAsANSI", "Open config in ANSI", 0, "01111"},
      {"aLoadAllFilesAsUnicode", "Open config in Unicode", 0, "01111"},
      {"aLoadAllFilesAsUTF8", "Open config in UTF-8", 0, "01111"},
      {"aSyntaxHighlighting", "Syntax Highlighting", 0, "11111"},
      {"aOndScheme", "Scheme", 0, "11111"},
      {"aSyntaxNone", "None", 0, "11111"},
      {"aSyntaxOndrel", "&Ondrel", 0, "11111"},
      {"aSyntaxJavaScript", "&JavaScript", 0, "11111"},
      {"aSyntaxPython", "&Python", 0, "11111"},
      {"aPairedBrackets", "Paired brackets", 0, "11111"},
      {"aCodeFolding", "Code folding", 0, "11111"},
      {"aLang", "Language", 0, "11111"},
      {"aENGLang", "&English", 0, "11111"},
      {"aRUSLang", "\xD0\xF3\xF1\xF1\xEA\xE8\xE9", 0, "11111"},
      {"aCollapseEditors", "Collapse editors", 0, "11111"},
      {"aCollapseAllEditor", "All", 0, "00111"},
      {"aCollapseAboveActiveEditor", "Above active editor", 0, "00111"},
      {"aCollapseBelowActiveEditor", "Below active editor", 0, "00111"},
      {"aExpandEditors", "Expand editors", 0, "11111"},
      {"aExpandAllEditors", "All", 0, "00111"},
      {"aExpandAboveActiveEditor", "Above active editor", 0, "00111"},
      {"aExpandBelowActiveEditor", "Below active editor", 0, "00111"},
      {"aHideEditors", "Hide editors", 0, "11111"},
      {"aHideAllEditor", "All", 0, "00111"},
      {"aHideAboveActiveEditor", "Above active editor", 0, "00111"},
      {"aHideBelowActiveEditor", "Below active editor", 0, "00111"},
      {"aShowEditors", "Show editors", 0, "11111"},
      {"aShowAllEditors", "All", 0, "00111"},
      {"aShowAboveActiveEditor", "Above active editor", 0, "00111"},
      {"aShowBelowActiveEditor", "Below active editor", 0, "00111"},
      {"aAlignHeightEditors", "Align editors height", 0, "11111"},
      {"aSetHeightAsActiveEditor", "As active editor", 0, "00111"},
      {"aSetHeightAsMain", "As main window", 0, "00111"},
      {"aHelp", "Help", 0, "11111"},
      {"aSettings", "Settings", 0, "11111"},
      {"aDebugMod", "Test mod", 0, "11111"},
      {"aAutoCheckUpdate", "Automatically check for updates", 0, "11111"},
      {"aFullScreenDefault", "Opening window to fullscreen", 0, "11111"},
      {"aSearchOptionsRemember", "Remember search options", 0, "11111"},
      {"aRestoreDefSettings", "Restore default settings", 0, "11111"},
      {"aWebSite", "Website...", 0, "11111"},
      {"aCheckUpdate", "Check of updates...", 0, "11111"},
      {"aAbout", "About", 0, "11111"},
};

class MainActions : public ::testing::Test {
 protected:
  void SetUp() override {
    Application()->MessageBoxHook = [this](const std::string& text, const std::string&, unsigned) {
      messages.push_back(text);
      return answer;
    };
    Application()->BeepHook = [this](unsigned) { ++beeps; };
    root = dir.Write("@quarn.zu", "{ \"a\": ${\"a.zu\":\"x\"}, \"b\": ${\"b.zu\":\"y\"} }");
    a = dir.Write("a.zu", "{ \"x\": \"needle\" }");
    b = dir.Write("b.zu", "{ \"y\": 2 }\r\nhay needle\r\n");
    single = dir.Write("single.zu", "{ \"alone\": 1 }");
    main = std::make_unique<TMain>(nullptr);
    main->SetBounds(0, 0, 1130, 675);
    main->ShowForm();
    QApplication::processEvents();
    // The start-up update check meets no server; the actions are looked at after it.
    while (main->UpdateCheckRunning()) QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  void TearDown() override {
    main.reset();
    Settings = saved;
    Application()->MessageBoxHook = nullptr;
    Application()->BeepHook = nullptr;
  }

  TEditor* Active() const { return main->Editors()->Active(); }
  void Enter(TSituation s) {
    Clipboard()->SetAsText("clip");
    if (s == NoSet) return;
    main->OpenConfig(s == OnePanel ? single : root);
    main->SetActiveIndex(0);
    TOndEditor* e = Active()->Editor;
    if (s == ModifiedPanel) {
      e->CommandProcessor(ecChar, 'x', nullptr);
      e->CommandProcessor(ecSelectAll, 0, nullptr);
      Settings.search.find.text = "needle";
    }
    if (s == ReadOnlyPanel) {
      e->SetReadOnly(true);
      e->CommandProcessor(ecSelectAll, 0, nullptr);
    }
  }
  bool Enabled(const char* name) {
    TAction* a = main->Action(name);
    a->Update();
    return a->GetEnabled();
  }
  // A key pressed in the active editor of the real window.
  void Press(int qtKey, Qt::KeyboardModifiers mods, const QString& text = QString()) {
    QWidget* w = Active()->Editor->Widget();
    QKeyEvent down(QEvent::KeyPress, qtKey, mods, text);
    QApplication::sendEvent(w, &down);
    QKeyEvent up(QEvent::KeyRelease, qtKey, mods, text);
    QApplication::sendEvent(w, &up);
  }

  TSettingsVariables saved = Settings;
  test::TempDir dir;
  std::string root, a, b, single;
  std::unique_ptr<TMain> main;
  std::vector<std::string> messages;
  int answer = IDYES;
  int beeps = 0;
};

TEST_F(MainActions, EveryActionIsInTheTableInMenuOrder) {
  const auto& actions = main->Actions();
  ASSERT_EQ(actions.size(), std::size(kActions));
  for (std::size_t i = 0; i < actions.size(); ++i) EXPECT_EQ(actions[i]->Name, kActions[i].Name) << i;
}

TEST_F(MainActions, CaptionsInBothLanguagesAndKeys) {
  for (const TActionCase& c : kActions) {
    TAction* a = main->Action(c.Name);
    ASSERT_NE(a, nullptr) << c.Name;
    SetCurrentLanguage(LangEnglish);
    a->Update();
    EXPECT_EQ(a->GetCaption(), c.English) << c.Name;
    EXPECT_EQ(a->GetShortCut(), c.Keys) << c.Name;
    SetCurrentLanguage(LangRussian);
    a->Update();
    EXPECT_FALSE(a->GetCaption().empty()) << c.Name;
    // Only the form's own captions (the schemes, the languages) stay as they are.
    const bool fixed = c.English[0] == '&' || std::string_view(c.Name) == "aRUSLang";
    EXPECT_EQ(a->GetCaption() == c.English, fixed) << c.Name;
  }
  EXPECT_EQ(main->Action("aFile")->GetCaption(), Utf8ToAnsi("Файл"));
  EXPECT_EQ(main->Action("aOpen")->GetCaption(), Utf8ToAnsi("Открыть…"));
  EXPECT_EQ(main->Action("aRUSLang")->GetCaption(), Utf8ToAnsi("Русский"));
}

class MainActionsEnabled : public MainActions, public ::testing::WithParamInterface<int> {};

TEST_P(MainActionsEnabled, InEverySituation) {
  const auto s = static_cast<TSituation>(GetParam());
  Enter(s);
  for (const TActionCase& c : kActions) EXPECT_EQ(Enabled(c.Name), c.Enabled[s] == '1') << c.Name << " in situation " << s;
}

INSTANTIATE_TEST_SUITE_P(Situations, MainActionsEnabled, ::testing::Range(0, static_cast<int>(SituationCount)));

TEST_F(MainActions, RedoAfterUndoAndSearchTextEnableTheirActions) {
  Enter(SeveralPanels);
  EXPECT_FALSE(Enabled("aFindDown"));  // no search text entered yet
  Settings.search.find.text = "needle";
  EXPECT_TRUE(Enabled("aFindDown"));
  EXPECT_TRUE(Enabled("aFindUp"));
  Active()->Editor->CommandProcessor(ecChar, 'x', nullptr);
  EXPECT_FALSE(Enabled("aRedo"));
  EXPECT_TRUE(main->Action("aUndo")->Execute());
  EXPECT_TRUE(Enabled("aRedo"));
  EXPECT_FALSE(Enabled("aUndo"));
}

TEST_F(MainActions, TogglesWriteTheirSettingAndChangeEveryPanel) {
  struct Case {
    const char* Action;
    bool& (*Setting)();
    bool (*Panel)(TOndEditor*);
  };
  const Case cases[] = {
      {"aGutterVisible", []() -> bool& { return Settings.interface.view.editors.gutter.visible; },
       [](TOndEditor* e) { return e->Gutter().GetVisible(); }},
      {"aGutterNumber", []() -> bool& { return Settings.interface.view.editors.gutter.number; },
       [](TOndEditor* e) { return e->Gutter().GetShowLineNumbers(); }},
      {"aLineModVisible", []() -> bool& { return Settings.interface.view.editors.gutter.linemodified; },
       [](TOndEditor* e) { return e->Gutter().GetShowLineModified(); }},
      {"aGutterWWGlyph", []() -> bool& { return Settings.interface.view.editors.gutter.wwglyph; },
       [](TOndEditor* e) { return e->WordWrap().Indicator().GetVisible(); }},
      {"aWordWrap", []() -> bool& { return Settings.interface.view.editors.wordwrap; },
       [](TOndEditor* e) { return e->WordWrap().GetEnabled(); }},
      {"aDisplaySpecChar", []() -> bool& { return Settings.interface.view.editors.specialcharacters; },
       [](TOndEditor* e) { return (e->GetOptions() & eoShowSpecialChars) != 0; }},
      {"aFreeCaretMovement", []() -> bool& { return Settings.interface.view.editors.freecaretmovement; },
       [](TOndEditor* e) { return (e->GetOptions() & eoScrollPastEol) != 0; }},
      {"aCodeFolding", []() -> bool& { return Settings.interface.view.syntax.codefolding; },
       [](TOndEditor* e) { return e->CodeFolding().GetEnabled(); }},
      {"aPairedBrackets", []() -> bool& { return Settings.interface.view.syntax.pairedbrackets; }, nullptr},
      {"aAutoCheckUpdate", []() -> bool& { return Settings.system.options.autocheckupdate; }, nullptr},
      {"aFullScreenDefault", []() -> bool& { return Settings.system.options.fullscreendefault; }, nullptr},
      {"aSearchOptionsRemember", []() -> bool& { return Settings.system.options.searchoptionsremember; }, nullptr},
  };
  Enter(SeveralPanels);
  for (const Case& c : cases) {
    TAction* a = main->Action(c.Action);
    for (int round = 0; round < 2; ++round) {
      // The check mark shows the setting, from start-up on.
      EXPECT_EQ(a->GetChecked(), c.Setting()) << c.Action;
      const bool before = c.Setting();
      ASSERT_TRUE(a->Execute()) << c.Action;
      EXPECT_EQ(c.Setting(), !before) << c.Action;
      EXPECT_EQ(a->GetChecked(), !before) << c.Action;
      if (!c.Panel) continue;
      for (auto& panel : main->Editors()->Items) EXPECT_EQ(c.Panel(panel->Editor), !before) << c.Action;
    }
  }
}

TEST_F(MainActions, TheFilesTreeAndTheScrollBarFollowTheirSettings) {
  Enter(SeveralPanels);
  main->Action("aFilesListLeft")->Execute();
  EXPECT_EQ(Settings.interface.view.fileslist.position, 1);
  EXPECT_EQ(main->tvOpenFiles->GetAlign(), TAlign::alLeft);
  EXPECT_EQ(main->VMainSplitter->GetAlign(), TAlign::alLeft);
  EXPECT_LT(main->tvOpenFiles->Left(), main->pExternal->Left());
  main->Action("aFilesListRight")->Execute();
  EXPECT_EQ(main->tvOpenFiles->GetAlign(), TAlign::alRight);
  EXPECT_GT(main->tvOpenFiles->Left(), main->pExternal->Left());
  main->Action("aFilesListVisible")->Execute();
  EXPECT_FALSE(main->tvOpenFiles->GetVisible());
  EXPECT_FALSE(main->VMainSplitter->GetVisible());
  main->Action("aFilesListVisible")->Execute();
  EXPECT_TRUE(main->tvOpenFiles->GetVisible());
  main->Action("aMainScrollBarVisible")->Execute();
  EXPECT_FALSE(main->VSBMain->GetVisible());
  main->Action("aMainScrollBarVisible")->Execute();
  EXPECT_TRUE(main->VSBMain->GetVisible());
}

TEST_F(MainActions, RadioGroupsNeverEndWithNoneChecked) {
  const std::vector<std::vector<std::string>> groups = {
      {"aENGLang", "aRUSLang"},
      {"aSyntaxNone", "aSyntaxOndrel", "aSyntaxJavaScript", "aSyntaxPython"},
      {"aFilesListRight", "aFilesListLeft"},
      {"aMainScrollActivationShift", "aMainScrollActivationCtrl", "aMainScrollActivationCursor"}};
  for (const auto& group : groups) {
    for (const std::string& chosen : group) {
      for (int again = 0; again < 2; ++again) {  // a checked item chosen again stays checked
        main->Action(chosen)->Execute();
        int checked = 0;
        for (const std::string& other : group) checked += main->Action(other)->GetChecked() ? 1 : 0;
        EXPECT_EQ(checked, 1) << chosen;
        EXPECT_TRUE(main->Action(chosen)->GetChecked()) << chosen;
      }
    }
  }
  main->Action("aMainScrollActivationCtrl")->Execute();
  EXPECT_EQ(Settings.interface.view.mainscroll.activationmethod, 1);
  main->Action("aSyntaxNone")->Execute();
  EXPECT_EQ(Settings.interface.view.syntax.scheme, -1);
}

TEST_F(MainActions, SchemeItemsSwitchEveryPanelsScheme) {
  Enter(SeveralPanels);
  for (const auto& [action, index] : {std::pair{"aSyntaxPython", 2}, {"aSyntaxNone", -1}, {"aSyntaxOndrel", 0}}) {
    main->Action(action)->Execute();
    EXPECT_EQ(Settings.interface.view.syntax.scheme, index) << action;
    for (auto& panel : main->Editors()->Items) EXPECT_EQ(panel->SchemeIndex, index) << action;
  }
}

TEST_F(MainActions, LanguageSwitchChangesTheWindowAtOnce) {
  main->Action("aRUSLang")->Execute();
  EXPECT_EQ(CurrentLanguage(), LangRussian);
  EXPECT_EQ(main->lMainHelp->GetCaption(), LangText(leMainHelp, LangRussian));
  EXPECT_EQ(main->Action("aExit")->GetCaption(), Utf8ToAnsi("Выход"));
  main->Action("aENGLang")->Execute();
  EXPECT_EQ(main->lMainHelp->GetCaption(), LangText(leMainHelp, LangEnglish));
  EXPECT_EQ(main->Action("aExit")->GetCaption(), "Quit");
}

TEST_F(MainActions, ReopeningAskFirstWhenModifiedAndFollowTheEncoding) {
  Enter(ModifiedPanel);
  TEditor* panel = Active();
  answer = IDNO;
  main->Action("aReOpen")->Execute();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], Lang(leChangesLost));
  EXPECT_TRUE(panel->Modified);  // No keeps the edits
  answer = IDYES;
  main->Action("aLoadFileAsANSI")->Execute();
  EXPECT_EQ(messages.size(), 2u);
  EXPECT_FALSE(panel->Modified);
  EXPECT_EQ(panel->Encoding, 0);
  EXPECT_EQ(main->SBar->Panels()->Items(spEncoding)->GetText(), panel->EncodingName());
  // Unmodified panels are reloaded without a question.
  main->Action("aLoadAllFilesAsUTF8")->Execute();
  EXPECT_EQ(messages.size(), 2u);
  for (auto& p : main->Editors()->Items) EXPECT_EQ(p->Encoding, 2);
}

TEST_F(MainActions, TheWindowStartsInTheSystemsLanguage) {
  test::TEnvGuard all("LC_ALL", nullptr);
  test::TEnvGuard messages("LC_MESSAGES", nullptr);
  const std::string before = std::getenv("LANG") ? std::getenv("LANG") : "";
  for (const char* lang : {"ru_RU.UTF-8", "en_US.UTF-8"}) {
    setenv("LANG", lang, 1);
    TMain window(nullptr);
    window.FormShow();
    EXPECT_EQ(CurrentLanguage(), lang[0] == 'r' ? LangRussian : LangEnglish) << lang;
    EXPECT_EQ(window.lMainHelp->GetCaption(), LangText(leMainHelp, CurrentLanguage()));
    EXPECT_TRUE(window.Action(lang[0] == 'r' ? "aRUSLang" : "aENGLang")->GetChecked());
  }
  setenv("LANG", before.c_str(), 1);
}

TEST_F(MainActions, LoadingAnActiveConfigThatIsGoneOpensNothing) {
  Enter(SeveralPanels);
  EXPECT_FALSE(Enabled("aLoadActiveConfig"));
  ActiveConfigExists = true;  // found at start-up, gone since
  EXPECT_TRUE(Enabled("aLoadActiveConfig"));
  const char* prefix = std::getenv("WINEPREFIX");
  const std::string savedPrefix = prefix ? prefix : "";
  setenv("WINEPREFIX", (dir / "no-prefix").c_str(), 1);  // no game there
  main->Action("aLoadActiveConfig")->Execute();
  if (prefix)
    setenv("WINEPREFIX", savedPrefix.c_str(), 1);
  else
    unsetenv("WINEPREFIX");
  ActiveConfigExists = false;
  EXPECT_TRUE(main->ConfigOpen());
  EXPECT_EQ(main->Config()->Files[0]->FileName, root);
  EXPECT_EQ(main->SBar->Panels()->Items(spMessage)->GetText().rfind(Lang(leFileNotFound), 0), 0u);
}

// A right click on a panel that is not the active one makes it the active
// one before its menu shows, so the menu's entries are not all greyed.
TEST_F(MainActions, ARightClickMakesItsPanelActiveBeforeTheMenu) {
  Enter(SeveralPanels);
  TEditor* other = main->Editors()->Item(1);
  ASSERT_FALSE(other->Active);
  std::map<QString, bool> entries;
  QTimer::singleShot(0, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return;
    for (QAction* action : menu->actions())
      if (!action->isSeparator()) entries[action->text().section(QLatin1Char('\t'), 0, 0)] = action->isEnabled();
    menu->close();
  });
  QWidget* w = other->Editor->Widget();
  QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(40, 20), w->mapToGlobal(QPoint(40, 20)));
  QApplication::sendEvent(w, &menuEvent);
  EXPECT_TRUE(other->Active);
  EXPECT_EQ(main->ActiveIndex(), 1);
  EXPECT_EQ(main->SBar->Panels()->Items(spMessage)->GetText(), a);
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_TRUE(entries[AnsiToQString(Lang(leSelectAll))]);
  EXPECT_TRUE(entries[AnsiToQString(Lang(lePaste))]);
  EXPECT_FALSE(entries[AnsiToQString(Lang(leCut))]);  // nothing selected there
}

// The toolkit's own texts follow View > Language: the buttons of a real
// message box and of the file dialog are Russian under the Russian interface
// and English again under the English one.
TEST_F(MainActions, TheToolkitsTextsFollowTheLanguage) {
  Application()->MessageBoxHook = nullptr;
  const auto sorted = [](QStringList texts) {
    for (QString& t : texts) t.remove('&');
    texts.sort();
    return texts;
  };
  const auto boxButtons = [&] {
    QStringList texts;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      for (QAbstractButton* b : box->buttons()) texts << b->text();
      box->reject();
    });
    Application()->MessageBox("?", "Ondrel", MB_YESNOCANCEL | MB_ICONQUESTION);
    return sorted(texts);
  };
  const auto dialogButtons = [&] {
    QStringList texts;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
      if (!dialog) return;
      for (QPushButton* b : dialog->findChildren<QPushButton*>())
        if (b->isVisible()) texts << b->text();
      dialog->reject();
    });
    TOpenDialog open(nullptr);
    open.InitialDir = dir.Path();
    open.Execute();
    return sorted(texts);
  };
  main->Action("aRUSLang")->Execute();
  EXPECT_EQ(boxButtons(), sorted({QString::fromUtf8("Да"), QString::fromUtf8("Нет"), QString::fromUtf8("Отмена")}));
  EXPECT_TRUE(dialogButtons().contains(QString::fromUtf8("Отмена")));
  main->Action("aENGLang")->Execute();
  EXPECT_EQ(boxButtons(), sorted({"Yes", "No", "Cancel"}));
  EXPECT_TRUE(dialogButtons().contains("Cancel"));
  main->Action("aRUSLang")->Execute();
  EXPECT_EQ(boxButtons(), sorted({QString::fromUtf8("Да"), QString::fromUtf8("Нет"), QString::fromUtf8("Отмена")}));
}

// Show all after Hide all lays the stack out again at once: the panels stand
// one below the other from the top of the view, each as wide as it, and the
// stack's scroll bar is there with the whole range, no tree click needed.
TEST_F(MainActions, ShowAllAfterHideAllLaysTheStackOutAgain) {
  Enter(SeveralPanels);
  QApplication::processEvents();
  TEditors* editors = main->Editors();
  main->Action("aHideAllEditor")->Execute();
  QApplication::processEvents();
  ASSERT_EQ(editors->VisibleCount, 1);
  EXPECT_FALSE(main->VSBMain->GetVisible());
  main->Action("aShowAllEditors")->Execute();
  QApplication::processEvents();
  ASSERT_EQ(editors->VisibleCount, 3);
  EXPECT_TRUE(main->VSBMain->GetVisible());
  const int view = main->pScrollBox->ClientHeight();
  EXPECT_GT(editors->TotalHeight(), view);
  EXPECT_EQ(main->VSBMain->GetMax(), editors->TotalHeight() - view);
  EXPECT_EQ(main->VSBMain->GetPosition(), 0);
  // The root, which filled the view alone, is as high as when the set opened.
  EXPECT_EQ(editors->Item(0)->Panel->Height(), TEditor::DefaultHeight);
  EXPECT_LT(TEditor::DefaultHeight, view);
  int top = 0;
  for (int i = 0; i < 3; ++i) {
    const TControl* panel = editors->Item(i)->Panel;
    EXPECT_EQ(panel->GetAlign(), TAlign::alNone) << i;
    EXPECT_EQ(panel->Top(), top) << i;
    EXPECT_EQ(panel->Width(), main->pScrollBox->ClientWidth()) << i;
    EXPECT_LT(panel->Height(), editors->TotalHeight()) << i;
    top += panel->Height();
  }
  // The wheel moves the stack at once.
  main->Action("aMainScrollActivationCursor")->Execute();
  const TPoint inside = main->pScrollBox->ClientToScreen(TPoint{40, 40});
  EXPECT_TRUE(main->FormMouseWheel(0, -120, inside));
  EXPECT_GT(main->VSBMain->GetPosition(), 0);
}

TEST_F(MainActions, WebSiteOpensTheProgramsPage) {
  std::vector<std::string> opened;
  main->OpenUrl = [&](const std::string& url) {
    opened.push_back(url);
    return true;
  };
  main->Action("aWebSite")->Execute();
  EXPECT_EQ(opened, std::vector<std::string>{TAbout::SiteAddress()});
  EXPECT_TRUE(messages.empty());
}

// Without a browser opener the address is told instead of nothing happening,
// in the interface language.
TEST_F(MainActions, WebSiteWithoutABrowserTellsTheAddress) {
  main->OpenUrl = [](const std::string&) { return false; };
  for (const char* language : {"aENGLang", "aRUSLang"}) {
    messages.clear();
    main->Action(language)->Execute();
    main->Action("aWebSite")->Execute();
    ASSERT_EQ(messages.size(), 1u) << language;
    EXPECT_EQ(messages[0], TAbout::NoBrowserText(TAbout::SiteAddress()));
    EXPECT_NE(messages[0].find(TAbout::SiteAddress()), std::string::npos);
  }
  EXPECT_NE(TAbout::NoBrowserText("x").find("\xE1\xF0\xE0\xF3\xE7\xE5\xF0"), std::string::npos);  // Russian now
}

TEST_F(MainActions, DebugModeTakesTheStateTheErrorHandlerReports) {
  // The main window runs the program's error handler.
  ASSERT_NE(ErrorHandler, nullptr);
  TErrorHandler& handler = *ErrorHandler;
  TAction* debug = main->Action("aDebugMod");
  ASSERT_TRUE(Enabled("aDebugMod"));
  // No library: its download is offered (by a build with a release key),
  // and declined.
  handler.DebugInfoPath = dir / "DebugInfo.so";
  handler.SigningKey = test::TTestKeys().Public;
  answer = IDNO;
  debug->Execute();
  EXPECT_FALSE(Settings.system.options.debugmod);
  EXPECT_FALSE(debug->GetChecked());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], Lang(leDebugLibraryOffer));
  // The library of this build is there.
  dir.Write("DebugInfo.so", test::TempDir::Read(test::BuiltDebugInfoLibrary()));
  debug->Execute();
  EXPECT_TRUE(Settings.system.options.debugmod);
  EXPECT_TRUE(debug->GetChecked());
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_NE(main->GetCaption().find("[Test mod]"), std::string::npos);
  debug->Execute();
  EXPECT_FALSE(handler.DebugMode());
  EXPECT_EQ(main->GetCaption().find("[Test mod]"), std::string::npos);
}

TEST_F(MainActions, SaveDialogFilterIndexFollowsTheExtension) {
  EXPECT_EQ(main->SaveFilterIndex("/x/a.quarnconf"), 2);
  EXPECT_EQ(main->SaveFilterIndex("/x/A.ZU"), 1);
  EXPECT_EQ(main->SaveFilterIndex("/x/a.txt"), 0);
  EXPECT_EQ(main->SaveFilterIndex("/x/noext"), 0);
}

TEST_F(MainActions, CopyOntoItselfIsRefusedAndWritesNothing) {
  Enter(ModifiedPanel);
  const std::string before = test::TempDir::Read(root);
  main->dlgZuSave->ExecuteHook = [&](TOpenDialog* d) {
    EXPECT_EQ(d->FilterIndex, 1);
    d->FileName = dir.Path() + "/./@quarn.zu";
    return true;
  };
  main->Action("aSaveAsCopy")->Execute();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], Lang(leCopyOverOriginal));
  EXPECT_EQ(test::TempDir::Read(root), before);
  // A copy under another name is written and the panel stays modified.
  main->dlgZuSave->ExecuteHook = [&](TOpenDialog* d) {
    d->FileName = dir / "copy.zu";
    return true;
  };
  main->Action("aSaveAsCopy")->Execute();
  EXPECT_NE(test::TempDir::Read(dir / "copy.zu").find("x{"), std::string::npos);
  EXPECT_TRUE(Active()->Modified);
}

TEST_F(MainActions, HideAndShowRangesKeepTheRootAndMissingFiles) {
  dir.Write("@quarn.zu", "{ \"a\": ${\"a.zu\":\"x\"}, \"b\": ${\"b.zu\":\"y\"}, \"m\": ${\"gone.zu\":\"z\"} }");
  main->OpenConfig(root);
  main->SetActiveIndex(1);
  TEditors* editors = main->Editors();
  ASSERT_EQ(editors->Count, 4);
  main->Action("aHideAllEditor")->Execute();
  EXPECT_TRUE(editors->Item(0)->Shown);
  EXPECT_EQ(editors->VisibleCount, 1);
  EXPECT_EQ(main->tvOpenFiles->Items()->Item(2)->GetStateIndex(), 1);
  main->Action("aShowAllEditors")->Execute();
  EXPECT_TRUE(editors->Item(1)->Shown);
  EXPECT_TRUE(editors->Item(2)->Shown);
  EXPECT_FALSE(editors->Item(3)->Shown);  // missing and never edited
  EXPECT_EQ(main->tvOpenFiles->Items()->Item(2)->GetStateIndex(), 2);
  // The active panel went with the others; one is chosen again.
  main->SetActiveIndex(1);
  main->Action("aHideBelowActiveEditor")->Execute();
  EXPECT_TRUE(editors->Item(1)->Shown);
  EXPECT_FALSE(editors->Item(2)->Shown);
  main->Action("aCollapseAllEditor")->Execute();
  EXPECT_TRUE(editors->Item(0)->Collapsed);
  main->Action("aExpandAllEditors")->Execute();
  EXPECT_FALSE(editors->Item(0)->Collapsed);
}

TEST_F(MainActions, KeysInTheEditorRunTheirActions) {
  Enter(SeveralPanels);
  TOndEditor* e = Active()->Editor;
  const std::string text = e->Lines()->GetText();

  // A disabled action's key does nothing, and never reaches the editor.
  Press(Qt::Key_S, Qt::ControlModifier, QString(QChar(0x13)));
  EXPECT_EQ(test::TempDir::Read(root), text);
  Press(Qt::Key_F3, Qt::NoModifier);
  EXPECT_EQ(beeps, 0);
  EXPECT_EQ(e->Lines()->GetText(), text);

  // Undo, select all, copy and paste.
  Press(Qt::Key_Q, Qt::NoModifier, "q");
  EXPECT_EQ(e->Lines()->GetText(), "q" + text);
  Press(Qt::Key_Z, Qt::ControlModifier, QString(QChar(0x1A)));
  EXPECT_EQ(e->Lines()->GetText(), text);
  Press(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, QString(QChar(0x1A)));
  EXPECT_EQ(e->Lines()->GetText(), "q" + text);
  Press(Qt::Key_A, Qt::ControlModifier, QString(QChar(0x01)));
  EXPECT_EQ(e->GetSelText(), "q" + text);
  Press(Qt::Key_C, Qt::ControlModifier, QString(QChar(0x03)));
  EXPECT_EQ(Clipboard()->GetAsText(), "q" + text);
  Press(Qt::Key_End, Qt::ControlModifier);
  Press(Qt::Key_V, Qt::ControlModifier, QString(QChar(0x16)));
  EXPECT_EQ(e->Lines()->GetText(), "q" + text + "q" + text);

  // Ctrl+S saves the modified panel.
  Press(Qt::Key_S, Qt::ControlModifier, QString(QChar(0x13)));
  EXPECT_FALSE(Active()->Modified);
  EXPECT_NE(test::TempDir::Read(root).find("q{"), std::string::npos);

  // F3 finds the next match across the set, Shift+F3 the one before.
  Settings.search.find.text = "needle";
  Settings.search.options.inallconfig = true;
  Press(Qt::Key_F3, Qt::NoModifier);
  EXPECT_EQ(main->ActiveIndex(), 1);
  EXPECT_EQ(Active()->Editor->GetSelText(), "needle");
  Press(Qt::Key_F3, Qt::NoModifier);
  EXPECT_EQ(main->ActiveIndex(), 2);
  EXPECT_EQ(Active()->Editor->GetSelText(), "needle");
  Press(Qt::Key_Home, Qt::ControlModifier);
  Press(Qt::Key_F3, Qt::ShiftModifier);
  EXPECT_EQ(main->ActiveIndex(), 1);
  EXPECT_EQ(Active()->Editor->GetSelText(), "needle");
}

}  // namespace
}  // namespace ond
