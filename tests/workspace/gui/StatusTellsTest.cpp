// What the status bar and the panels tell matches the file and the chosen
// language: the caret's line is the file's line whatever folds hide, a
// message is told again in a newly chosen language (or cleared when it cannot
// be), and a name that no file can take is a file that could not be read, not
// a missing one.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "editor/OndEditKeyCmds.h"
#include "platform/core/CodePage.h"
#include "platform/core/SysUtils.h"
#include "services/ULocalization.h"
#include "services/USystem.h"
#include "tests/support/TempDir.h"
#include "workspace/StatusBarEx.h"
#include "workspace/StatusPanels.h"
#include "workspace/UMain.h"

namespace ond {
namespace {

// Eight lines under the root's block; "colors" holds lines 3 to 5.
const char* const kColors =
    "{\r\n"
    "  \"colors\": {\r\n"
    "    \"red\": 1,\r\n"
    "    \"green\": 2,\r\n"
    "    \"blue\": 3\r\n"
    "  },\r\n"
    "  \"size\": 10,\r\n"
    "  \"name\": \"a line to put the caret into\"\r\n"
    "}";

class StatusTells : public ::testing::Test {
 protected:
  void SetUp() override {
    Settings.interface.view.syntax.codefolding = true;
    Settings.interface.view.syntax.scheme = 0;
    Application()->MessageBoxHook = [this](const std::string& text, const std::string&, unsigned) {
      messages.push_back(text);
      return IDYES;
    };
    root = dir.Write("@quarn.zu", "{ \"a\": ${\"a.zu\":\"x\"}, \"b\": ${\"b.zu\":\"y\"} }");
    dir.Write("a.zu", kColors);
    dir.Write("b.zu", "{ \"y\": \"needle needle\" }");
    main = std::make_unique<TMain>(nullptr);
    main->SetBounds(0, 0, 1130, 675);
    main->ShowForm();
    QApplication::processEvents();
    while (main->UpdateCheckRunning()) QApplication::processEvents(QEventLoop::AllEvents, 5);
    messages.clear();
  }
  void TearDown() override {
    main.reset();
    Settings = saved;
    Application()->MessageBoxHook = nullptr;
  }
  void Language(int language) { main->Action(language == LangRussian ? "aRUSLang" : "aENGLang")->Execute(); }
  std::string Status(int panel) const { return main->SBar->Panels()->Items(panel)->GetText(); }
  TEditor* Panel(int index) const { return main->Editors()->Item(index); }
  // The buffer line that holds Text, 0 when none does.
  static int BufferLineOf(TEditor& panel, const std::string& text) {
    TOndEditStringList& lines = *panel.Editor->Lines();
    for (int i = 0; i < lines.GetCount(); ++i)
      if (lines.Get(i).find(text) != std::string::npos) return i + 1;
    return 0;
  }

  TSettingsVariables saved = Settings;
  test::TempDir dir;
  std::string root;
  std::unique_ptr<TMain> main;
  std::vector<std::string> messages;
};

TEST_F(StatusTells, TheCaretsLineIsTheFilesLineAsTheGutterNumbersIt) {
  Language(LangEnglish);
  main->OpenConfig(root);
  TEditor& panel = *Panel(1);
  main->SetActiveIndex(1);
  panel.EditorClick();
  TOndEditor& ed = *panel.Editor;
  ed.RescanFoldRanges();
  ed.SetCaretXY(BufferCoord(3, BufferLineOf(panel, "\"name\"")));
  ASSERT_EQ(Status(spCaret), "  8:  3");

  // "colors" collapsed above the caret: the buffer loses three lines, the
  // file does not.
  ASSERT_TRUE(ed.ToggleFoldAtLine(2));
  ASSERT_LT(ed.Lines()->GetCount(), 9);
  EXPECT_EQ(Status(spCaret), "  8:  3");
  // Moving within the folded buffer tells the file's lines, as the gutter.
  ed.SetCaretXY(BufferCoord(5, BufferLineOf(panel, "\"size\"")));
  EXPECT_EQ(Status(spCaret), "  7:  5");
  EXPECT_EQ(ed.FileLine(ed.GetCaretXY().Line), 7);
  ed.CommandProcessor(ecEditorBottom, 0, nullptr);
  EXPECT_EQ(Status(spCaret), "  9:  2");
  // The root collapsed too: its last line is still the file's ninth.
  ASSERT_TRUE(ed.ToggleFoldAtLine(1));
  ed.CommandProcessor(ecEditorTop, 0, nullptr);
  EXPECT_EQ(Status(spCaret), "  1:  1");
  ed.CommandProcessor(ecEditorBottom, 0, nullptr);
  EXPECT_EQ(ed.GetCaretXY().Line, 1);
  ASSERT_TRUE(ed.ToggleFoldAtLine(1));
  ed.CommandProcessor(ecEditorBottom, 0, nullptr);
  EXPECT_EQ(Status(spCaret), "  9:  2");
  // Expanded again, buffer and file agree.
  ASSERT_TRUE(ed.ToggleFoldAtLine(2));
  ed.SetCaretXY(BufferCoord(5, 7));
  EXPECT_EQ(Status(spCaret), "  7:  5");
}

TEST_F(StatusTells, AMessageIsToldAgainInTheNewLanguage) {
  Language(LangEnglish);
  main->OpenConfig(root);
  TZuConfig& config = *main->ZuConfig();
  Settings.search.find.text = "needle";
  Settings.search.replace.text = "pin";
  Settings.search.options.inallconfig = true;
  Settings.search.options.regex = false;
  main->Editors()->ReplaceAnswer = raReplaceAll;
  ASSERT_EQ(config.SearchInConfig(true, false), 2);
  ASSERT_EQ(Status(spMessage), "Subs used: 2");
  Language(LangRussian);
  EXPECT_EQ(Status(spMessage), LangText(leSubsUsed, LangRussian) + " 2");
  Language(LangEnglish);
  EXPECT_EQ(Status(spMessage), "Subs used: 2");

  // A search that finds nothing, told in Russian, then in English.
  Language(LangRussian);
  Settings.search.find.text = "absent";
  ASSERT_EQ(config.SearchInConfig(false, false), 0);
  ASSERT_EQ(Status(spMessage), "\"absent\" " + LangText(leNotFound, LangRussian));
  Language(LangEnglish);
  EXPECT_EQ(Status(spMessage), "\"absent\" " + LangText(leNotFound, LangEnglish));

  // A save that failed holds the system's words: it is not left in the
  // language the user switched away from, and does not come back later.
  ASSERT_EQ(::mkdir((dir / "taken.zu").c_str(), 0755), 0);
  Panel(1)->Editor->CommandProcessor(ecChar, 'q', nullptr);
  EXPECT_FALSE(config.SaveFile(1, dir / "taken.zu", false, false));
  ASSERT_NE(Status(spMessage).find(LangText(leSaveFailed, LangEnglish)), std::string::npos) << Status(spMessage);
  Language(LangRussian);
  EXPECT_EQ(Status(spMessage), "");
  Language(LangEnglish);
  EXPECT_EQ(Status(spMessage), "");
}

TEST_F(StatusTells, ARootThatIsNoFileIsToldAgainInTheNewLanguage) {
  Language(LangEnglish);
  ASSERT_EQ(::mkdir((dir / "folder.zu").c_str(), 0755), 0);
  main->OpenConfig(dir / "folder.zu");
  ASSERT_FALSE(main->ConfigOpen());
  const std::string english = Status(spMessage);
  ASSERT_NE(english.find("Is a directory"), std::string::npos) << english;
  Language(LangRussian);
  EXPECT_NE(Status(spMessage).find(Utf8ToAnsi("Это каталог")), std::string::npos) << Status(spMessage);
  EXPECT_NE(Status(spMessage).find(LangText(leFileNotFound, LangRussian)), std::string::npos) << Status(spMessage);
  EXPECT_EQ(Status(spMessage).find("Is a directory"), std::string::npos) << Status(spMessage);
}

// A folder, and a name longer than the file system takes, where files of the
// set should be: each is a file that could not be read, with its reason, as a
// pipe is; neither is missing (no file could ever be made there).
TEST_F(StatusTells, ANameNoFileCanTakeIsAFileThatCouldNotBeRead) {
  const std::string longName(300, 'n');
  dir.Write("@quarn.zu", "{ \"a\": ${\"a.zu\":\"x\"}, \"c\": ${\"c.zu\":\"z\"}, \"d\": ${\"" + longName +
                             ".zu\":\"w\"} }");
  ASSERT_EQ(::mkdir((dir / "c.zu").c_str(), 0755), 0);
  Language(LangEnglish);
  main->OpenConfig(root);
  ASSERT_TRUE(main->ConfigOpen());
  ASSERT_FALSE(messages.empty());
  EXPECT_NE(messages.back().find("Is a directory"), std::string::npos) << messages.back();
  EXPECT_NE(messages.back().find("File name too long"), std::string::npos) << messages.back();

  struct Case {
    int Index;
    const char* English;
  };
  for (const Case c : {Case{2, "Is a directory"}, Case{3, "File name too long"}}) {
    const TZuFileInformation& f = *main->Config()->Files[static_cast<std::size_t>(c.Index)];
    EXPECT_FALSE(f.Missing) << c.Index;
    TEditor* panel = Panel(c.Index);
    ASSERT_NE(panel, nullptr);
    // Its panel is in the stack, read-only, and says why.
    EXPECT_TRUE(panel->Shown) << c.Index;
    EXPECT_TRUE(main->FileShown(c.Index)) << c.Index;
    EXPECT_TRUE(panel->Editor->GetReadOnly()) << c.Index;
    EXPECT_NE(panel->Header->GetCaption().find(std::string("[could not be read: ") + c.English + "; read-only]"),
              std::string::npos)
        << panel->Header->GetCaption();
    // The tree checks it as shown, as for the other files.
    EXPECT_EQ(main->tvOpenFiles->Items()->Item(c.Index)->GetStateIndex(), 2) << c.Index;
    // Clicked in the tree: no "File not found".
    TTreeNode* node = main->tvOpenFiles->Items()->Item(c.Index);
    const TRect r = node->DisplayRect(true);
    ASSERT_EQ(main->tvOpenFiles->GetNodeAt(r.Left + 2, r.Top + 2), node);
    main->tvOpenFiles->OnMouseDown(nullptr, TMouseButton::mbLeft, TShiftState{}, r.Left + 2, r.Top + 2);
    EXPECT_EQ(Status(spFileState), "") << c.Index;
    // Clicked in its panel: the reason.
    main->SetActiveIndex(c.Index);
    panel->EditorClick();
    EXPECT_NE(Status(spMessage).find(c.English), std::string::npos) << Status(spMessage);
    EXPECT_EQ(Status(spFileState), "") << c.Index;
  }
}

}  // namespace
}  // namespace ond
