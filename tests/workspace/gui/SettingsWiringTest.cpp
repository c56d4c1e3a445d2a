// The settings file on the real main window: start-up loads it through the
// actions, so every open panel follows; closing writes it (a failure is
// told); restoring the defaults goes through the actions too.
#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>

#include "platform/core/CodePage.h"
#include "services/ULocalization.h"
#include "services/USystem.h"
#include "tests/support/TempDir.h"
#include "workspace/UMain.h"

namespace ond {
namespace {

class SettingsWiring : public ::testing::Test {
 protected:
  void SetUp() override {
    Application()->MessageBoxHook = [this](const std::string& text, const std::string&, unsigned) {
      messages.push_back(text);
      return IDNO;
    };
    root = dir.Write("@quarn.zu", "{ \"a\": ${\"a.zu\":\"x\"}, \"b\": ${\"b.zu\":\"y\"} }");
    dir.Write("a.zu", "{ \"x\": \"a long line that wraps in a narrow panel, again and again and again\" }");
    dir.Write("b.zu", "{ \"y\": 2 }");
    main = std::make_unique<TMain>(nullptr);
    main->SetBounds(0, 0, 1130, 675);
    main->SettingsFile = file;
  }
  void TearDown() override {
    main.reset();
    Settings = saved;
    SetCurrentLanguage(LangEnglish);
    Application()->MessageBoxHook = nullptr;
  }
  // Opens the set, then shows the window, which loads the settings file.
  void Start() {
    main->OpenConfig(root);
    ASSERT_TRUE(main->ConfigOpen());
    main->ShowForm();
    QApplication::processEvents();
  }
  bool EveryPanelWraps(bool wraps) const {
    for (auto& panel : main->Editors()->Items)
      if (panel->Editor->WordWrap().GetEnabled() != wraps) return false;
    return true;
  }

  TSettingsVariables saved = Settings;
  test::TempDir dir;
  std::string file = dir / "settings.ondrel";
  std::string root;
  std::unique_ptr<TMain> main;
  std::vector<std::string> messages;
};

TEST_F(SettingsWiring, StoredValuesTakeEffectThroughTheActions) {
  ASSERT_TRUE(Settings.interface.view.editors.wordwrap);
  dir.Write("settings.ondrel",
            "{\"interface\": {\"view\": {\"editors\": {\"wordwrap\": false}, \"language\": 0, "
            "\"fileslist\": {\"width\": 300, \"position\": 1}}}}");
  Start();
  ASSERT_EQ(main->Editors()->Items.size(), 3u);
  EXPECT_TRUE(EveryPanelWraps(false));
  EXPECT_FALSE(Settings.interface.view.editors.wordwrap);
  EXPECT_FALSE(main->Action("aWordWrap")->GetChecked());
  EXPECT_TRUE(main->Action("aRUSLang")->GetChecked());
  EXPECT_EQ(CurrentLanguage(), LangRussian);
  EXPECT_EQ(main->tvOpenFiles->Width(), 300);
  EXPECT_EQ(main->tvOpenFiles->GetAlign(), TAlign::alLeft);

  // Restoring the defaults brings them back the same way.
  ASSERT_TRUE(main->Action("aRestoreDefSettings")->Execute());
  EXPECT_TRUE(EveryPanelWraps(true));
  EXPECT_TRUE(main->Action("aWordWrap")->GetChecked());
  EXPECT_EQ(main->tvOpenFiles->Width(), 240);
  EXPECT_EQ(main->tvOpenFiles->GetAlign(), TAlign::alRight);
  // The default language is the system's, chosen before the settings.
  EXPECT_EQ(CurrentLanguage(), LangEnglish);
}

TEST_F(SettingsWiring, TheStoredWidthKeepsWithinTheSplittersLimits) {
  struct Case {
    int Stored;
    int Applied;  // 0: as wide as the window allows
    int Kept;     // what the setting holds afterwards
  } cases[] = {{10, 50, 50}, {-7, 50, 50}, {100000, 0, 100000}, {400, 400, 400}};
  for (const Case& c : cases) {
    main.reset();
    main = std::make_unique<TMain>(nullptr);
    main->SetBounds(0, 0, 1130, 675);
    main->SettingsFile = file;
    dir.Write("settings.ondrel",
              "{\"interface\": {\"view\": {\"fileslist\": {\"width\": " + std::to_string(c.Stored) + "}}}}");
    main->ShowForm();
    const int widest = main->ClientWidth() - main->VMainSplitter->Width() - 500;
    const int expected = c.Applied ? c.Applied : widest;
    EXPECT_EQ(main->tvOpenFiles->Width(), expected) << c.Stored;
    EXPECT_EQ(Settings.interface.view.fileslist.width, c.Kept) << c.Stored;
    EXPECT_TRUE(TMain::TreeWidthAllowed(expected, main->ClientWidth(), main->VMainSplitter->Width()));
  }
}

// A stored width wider than the window's first size comes back once the
// window has its final size, and is stored as it was after a run that never
// moved the splitter; a width the user sets is the one stored then.
TEST_F(SettingsWiring, TheStoredWidthSurvivesASmallFirstWindow) {
  dir.Write("settings.ondrel", "{\"system\": {\"options\": {\"fullscreendefault\": false}}, "
                               "\"interface\": {\"view\": {\"fileslist\": {\"width\": 800}}}}");
  main->ShowForm();
  QApplication::processEvents();
  const int splitter = main->VMainSplitter->Width();
  EXPECT_EQ(main->tvOpenFiles->Width(), main->ClientWidth() - splitter - 500);  // 1130 wide: 628
  EXPECT_EQ(Settings.interface.view.fileslist.width, 800);
  // The final size (maximised on a wide screen, or widened by the user).
  main->SetBounds(0, 0, 1600, 800);
  QApplication::processEvents();
  EXPECT_EQ(main->tvOpenFiles->Width(), 800);
  EXPECT_GE(main->pExternal->Width(), 500);
  // Narrower again: the list gives way, the wish stays.
  main->SetBounds(0, 0, 1200, 700);
  QApplication::processEvents();
  EXPECT_EQ(main->tvOpenFiles->Width(), main->ClientWidth() - splitter - 500);
  main->Close();
  QApplication::processEvents();
  EXPECT_NE(test::TempDir::Read(file).find("\"width\": 800"), std::string::npos) << test::TempDir::Read(file);

  // The user's own width is kept through later resizes and stored.
  main.reset();
  main = std::make_unique<TMain>(nullptr);
  main->SetBounds(0, 0, 1600, 800);
  main->SettingsFile = file;
  main->ShowForm();
  QApplication::processEvents();
  ASSERT_EQ(main->tvOpenFiles->Width(), 800);
  ASSERT_TRUE(main->VMainSplitter->ResizeControl(350));
  main->SetBounds(0, 0, 1700, 800);
  QApplication::processEvents();
  EXPECT_EQ(main->tvOpenFiles->Width(), 350);
  main->Close();
  QApplication::processEvents();
  EXPECT_NE(test::TempDir::Read(file).find("\"width\": 350"), std::string::npos) << test::TempDir::Read(file);
}

TEST_F(SettingsWiring, ClosingWritesTheFileAndTellsAFailure) {
  // A stored width stays stored through a run that never moved the splitter.
  dir.Write("settings.ondrel", "{\"interface\": {\"view\": {\"fileslist\": {\"width\": 300}}}}");
  Start();
  main->Action("aWordWrap")->Execute();
  main->Action("aCodeFolding")->Execute();
  main->Close();
  QApplication::processEvents();
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(main->OndrelSettings(), nullptr);
  const std::string text = test::TempDir::Read(file);
  EXPECT_NE(text.find("\"wordwrap\": false"), std::string::npos) << text;
  EXPECT_NE(text.find("\"codefolding\": false"), std::string::npos) << text;
  EXPECT_NE(text.find("\"width\": 300"), std::string::npos) << text;

  // A name that cannot be written is told, with the file's (or folder's)
  // name once, as the user reads it, whatever letters it has.
  const std::string blocker = dir.Write("blocker", "x");
  const std::string taken = dir / "\xD0\xB7\xD0\xB0\xD0\xBD\xD1\x8F\xD1\x82\xD0\xBE";  // "занято"
  const struct {
    std::string File;  // the settings file
    std::string Named;  // the name the message gives
  } cases[] = {
      {dir / "taken", dir / "taken"},
      {taken, taken},
      {blocker + "/settings.ondrel", blocker},
  };
  for (const auto& c : cases) {
    if (c.File == c.Named) std::filesystem::create_directory(c.File);
    main.reset();
    messages.clear();
    main = std::make_unique<TMain>(nullptr);
    main->SettingsFile = c.File;
    main->ShowForm();
    main->Close();
    QApplication::processEvents();
    ASSERT_EQ(messages.size(), 1u) << c.File;
    const std::string& box = messages[0];
    EXPECT_EQ(box.find(Lang(leSaveFailed)), 0u) << box;
    const std::string shown = "\"" + Utf8ToAnsi(c.Named) + "\"";
    const std::size_t named = box.find(shown);
    ASSERT_NE(named, std::string::npos) << box;
    EXPECT_EQ(box.find(Utf8ToAnsi(c.Named), named + shown.size()), std::string::npos) << box;
    EXPECT_EQ(box.find(Utf8ToAnsi(c.Named)), named + 1) << box;
  }
}

TEST_F(SettingsWiring, ADamagedFileIsKeptAndTheDefaultsStay) {
  const std::string bytes = "{interface: {view: {editors: {wordwrap: false}}}}";
  dir.Write("settings.ondrel", bytes);
  Start();
  EXPECT_TRUE(EveryPanelWraps(true));
  main->Close();
  QApplication::processEvents();
  EXPECT_EQ(test::TempDir::Read(file + ".bad"), bytes);
  EXPECT_NE(test::TempDir::Read(file).find("\"wordwrap\": true"), std::string::npos);
}

}  // namespace
}  // namespace ond
