// What the main window shows follows the file and the chosen language: the
// status panels after a switch of the language and after a reload, the
// caret's line as the gutter numbers it, messages told again in a newly
// chosen language, the marks in the panels' captions, the toolkit's locale,
// the reasons of failures, the read-only panel of a file that could not be
// read (a name no file can take among them), and the window's place on a
// small screen.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractProxyModel>
#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLocale>
#include <QScreen>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "editor/OndEditKeyCmds.h"
#include "platform/ToolkitLanguage.h"
#include "platform/core/CodePage.h"
#include "platform/core/SysUtils.h"
#include "services/ULocalization.h"
#include "services/USystem.h"
#include "tests/support/TempDir.h"
#include "tests/support/gui/FileDialogModel.h"
#include "workspace/StatusBarEx.h"
#include "workspace/StatusPanels.h"
#include "workspace/UMain.h"

namespace ond {
namespace {

class WindowLanguage : public ::testing::Test {
 protected:
  void SetUp() override {
    Application()->MessageBoxHook = [this](const std::string& text, const std::string&, unsigned) {
      messages.push_back(text);
      return IDYES;
    };
    root = dir.Write("@quarn.zu", "{ \"a\": ${\"a.zu\":\"x\"}, \"b\": ${\"b.zu\":\"y\"} }");
    a = dir.Write("a.zu", "{\r\n  \"x\": 1,\r\n  \"y\": 2,\r\n  \"z\": 3,\r\n  \"w\": 4,\r\n  \"v\": 5,\r\n"
                          "  \"u\": 6,\r\n  \"t\": 7,\r\n  \"s\": \"a long line to put the caret into\"\r\n}\r\n");
    dir.Write("b.zu", "{ \"y\": 2 }");
    main = std::make_unique<TMain>(nullptr);
    main->SetBounds(0, 0, 1130, 675);
    main->ShowForm();
    QApplication::processEvents();
    // The start-up update check meets no server; it ends before the test looks.
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

  TSettingsVariables saved = Settings;
  test::TempDir dir;
  std::string root, a;
  std::unique_ptr<TMain> main;
  std::vector<std::string> messages;
};

TEST_F(WindowLanguage, TheFileStateFollowsASwitchOfTheLanguage) {
  Language(LangRussian);
  main->OpenConfig(root);
  main->SetActiveIndex(1);
  TEditor* panel = Panel(1);
  panel->EditorClick();
  panel->Editor->CommandProcessor(ecChar, 'q', nullptr);
  ASSERT_EQ(Status(spFileState), Lang(leModified));
  EXPECT_EQ(Status(spFileState), Utf8ToAnsi("Изменён"));
  // The caret does not move: the switch alone tells the state again.
  Language(LangEnglish);
  EXPECT_EQ(Status(spFileState), "Modified");
  Language(LangRussian);
  EXPECT_EQ(Status(spFileState), Utf8ToAnsi("Изменён"));
  // An empty panel stays empty.
  panel->Editor->CommandProcessor(ecUndo, 0, nullptr);
  ASSERT_EQ(Status(spFileState), "");
  Language(LangEnglish);
  EXPECT_EQ(Status(spFileState), "");
}

TEST_F(WindowLanguage, AReloadTellsTheCaretOfTheNewText) {
  main->OpenConfig(root);
  main->SetActiveIndex(1);
  TEditor* panel = Panel(1);
  panel->EditorClick();
  panel->Editor->SetCaretXY(BufferCoord(23, 9));
  ASSERT_EQ(Status(spCaret), "  9: 23");
  // The file shrank on disk meanwhile; F5 reads it again.
  dir.Write("a.zu", "{\r\n  \"x\": 1,\r\n  \"y\": 2,\r\n  \"z\": 3,\r\n  \"w\": 4\r\n}");
  ASSERT_TRUE(main->Action("aReOpen")->Execute());
  ASSERT_EQ(panel->Editor->Lines()->GetCount(), 6);
  EXPECT_EQ(Status(spCaret), "  1:  1");
  EXPECT_EQ(Status(spCharCode), "7B");  // "{"
}

TEST_F(WindowLanguage, TheMarkOfCharactersLostInReadingFollowsTheLanguage) {
  // Two characters code page 1251 has no form for.
  dir.Write("b.zu", "{ \"y\": \"\xE2\x9C\x93\xE2\x9C\x93\" }");
  Language(LangRussian);
  main->OpenConfig(root);
  TEditor* panel = Panel(2);
  ASSERT_EQ(panel->LossyCount, 2u);
  EXPECT_NE(panel->Header->GetCaption().find("[2 " + Utf8ToAnsi("символов заменено на \"?\" при чтении") + "]"),
            std::string::npos)
      << panel->Header->GetCaption();
  main->SetActiveIndex(2);
  panel->EditorClick();
  EXPECT_NE(Status(spMessage).find(": 2 " + Utf8ToAnsi("символов заменено на \"?\" при чтении")), std::string::npos)
      << Status(spMessage);
  Language(LangEnglish);
  EXPECT_NE(panel->Header->GetCaption().find("[2 characters replaced by \"?\" when read]"), std::string::npos)
      << panel->Header->GetCaption();
  // The status bar's message tells it again too, with the caret still.
  EXPECT_NE(Status(spMessage).find(": 2 characters replaced by \"?\" when read"), std::string::npos)
      << Status(spMessage);
  // A message told since stays as it is.
  main->SBar->Panels()->Items(spMessage)->SetText("other");
  Language(LangRussian);
  EXPECT_EQ(Status(spMessage), "other");
}

TEST_F(WindowLanguage, TheToolkitsLocaleIsTheInterfaceLanguage) {
  Language(LangEnglish);
  EXPECT_EQ(QLocale().language(), QLocale::English);
  EXPECT_EQ(QLocale().formattedDataSize(728), QStringLiteral("728 bytes"));
  EXPECT_EQ(main->Widget()->locale().language(), QLocale::English);
  Language(LangRussian);
  EXPECT_EQ(QLocale().language(), QLocale::Russian);
  EXPECT_EQ(main->Widget()->locale().language(), QLocale::Russian);
  Language(LangEnglish);
  EXPECT_EQ(QLocale().language(), QLocale::English);
}

// The file dialog tells sizes in the interface language, not in the system's.
TEST_F(WindowLanguage, TheFileDialogTellsSizesInTheInterfaceLanguage) {
  const std::string file = dir.Write("sized.zu", std::string(728, ' '));
  for (const int language : {LangRussian, LangEnglish}) {
    Language(language);
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    FollowInterfaceLocale(dialog);
    dialog.setDirectory(QString::fromStdString(dir.Path()));
    auto* files = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(files, nullptr);
    auto* view = qobject_cast<QAbstractProxyModel*>(dialog.proxyModel());
    ASSERT_NE(view, nullptr);
    const QModelIndex size = test::WaitForFileSize(*files, file, 728);
    ASSERT_TRUE(size.isValid());
    const QString shown = view->mapFromSource(size).data().toString();
    const QString expected = language == LangRussian ? QLocale(QLocale::Russian).formattedDataSize(728)
                                                     : QStringLiteral("728 bytes");
    EXPECT_EQ(shown, expected) << language;
  }
}

TEST_F(WindowLanguage, WhatCouldNotBeReadIsToldInTheInterfaceLanguage) {
  ::unlink((dir / "b.zu").c_str());
  ASSERT_EQ(::mkfifo((dir / "b.zu").c_str(), 0644), 0);
  Language(LangRussian);
  main->OpenConfig(root);
  ASSERT_FALSE(messages.empty());
  const std::string& told = messages.back();
  EXPECT_NE(told.find(Utf8ToAnsi("Не удалось открыть файл \"") + (dir / "b.zu") + "\". " +
                      Utf8ToAnsi("Это не обычный файл")),
            std::string::npos)
      << told;
  EXPECT_EQ(told.find("Cannot"), std::string::npos) << told;
  main->CloseConfig();
  messages.clear();
  Language(LangEnglish);
  main->OpenConfig(root);
  ASSERT_FALSE(messages.empty());
  EXPECT_NE(messages.back().find("Cannot open file \"" + (dir / "b.zu") + "\". Not a regular file"),
            std::string::npos)
      << messages.back();
}

TEST_F(WindowLanguage, APanelWhoseFileCouldNotBeReadIsReadOnlyAndSaysWhy) {
  // A pipe, and a folder where a file of the set should be.
  const std::string fifo = dir / "b.zu";
  ::unlink(fifo.c_str());
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  dir.Write("@quarn.zu", "{ \"a\": ${\"a.zu\":\"x\"}, \"b\": ${\"b.zu\":\"y\"}, \"c\": ${\"c.zu\":\"z\"} }");
  ASSERT_EQ(::mkdir((dir / "c.zu").c_str(), 0755), 0);
  Language(LangRussian);
  main->OpenConfig(root);
  ASSERT_TRUE(main->ConfigOpen());

  struct Case {
    int Index;
    const char* Russian;
    const char* English;
  };
  const Case cases[] = {{2, "Это не обычный файл", "Not a regular file"}, {3, "Это каталог", "Is a directory"}};
  for (const Case& c : cases) {
    TEditor* panel = Panel(c.Index);
    ASSERT_NE(panel, nullptr) << c.Index;
    EXPECT_TRUE(panel->Editor->GetReadOnly()) << c.Index;
    Language(LangRussian);
    const std::string russian =
        "[" + Utf8ToAnsi("не удалось прочитать: ") + Utf8ToAnsi(c.Russian) + Utf8ToAnsi("; только чтение") + "]";
    EXPECT_NE(panel->Header->GetCaption().find(russian), std::string::npos) << panel->Header->GetCaption();
    Language(LangEnglish);
    const std::string english = std::string("[could not be read: ") + c.English + "; read-only]";
    EXPECT_NE(panel->Header->GetCaption().find(english), std::string::npos) << panel->Header->GetCaption();
    // Typing does nothing; the status bar says why when the panel is clicked.
    main->SetActiveIndex(c.Index);
    panel->EditorClick();
    EXPECT_NE(Status(spMessage).find(english.substr(1, english.size() - 2)), std::string::npos) << Status(spMessage);
    panel->Editor->CommandProcessor(ecChar, 'q', nullptr);
    EXPECT_EQ(panel->Editor->Lines()->GetCount() > 0 ? panel->Editor->Lines()->Get(0) : std::string(), "");
    EXPECT_FALSE(panel->Modified) << c.Index;
  }
  // A readable panel beside them takes typing.
  EXPECT_FALSE(Panel(1)->Editor->GetReadOnly());

  // Once the file can be read, a reload lifts the mark.
  ::unlink(fifo.c_str());
  dir.Write("b.zu", "{ \"y\": 3 }");
  ASSERT_TRUE(Panel(2)->LoadFromFile(fifo, 2));
  EXPECT_FALSE(Panel(2)->Editor->GetReadOnly());
  EXPECT_EQ(Panel(2)->Header->GetCaption().find("read-only"), std::string::npos);
}

TEST_F(WindowLanguage, AFileWithoutPermissionGivesAReadOnlyPanel) {
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser reads every file";
  ASSERT_EQ(::chmod((dir / "b.zu").c_str(), 0), 0);
  Language(LangRussian);
  main->OpenConfig(root);
  TEditor* panel = Panel(2);
  EXPECT_TRUE(panel->Editor->GetReadOnly());
  EXPECT_NE(panel->Header->GetCaption().find(Utf8ToAnsi("Отказано в доступе")), std::string::npos)
      << panel->Header->GetCaption();
  ::chmod((dir / "b.zu").c_str(), 0644);
}

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

// The status bar's texts with folding on, over a file with a block to fold.
class StatusTells : public WindowLanguage {
 protected:
  void SetUp() override {
    WindowLanguage::SetUp();
    Settings.interface.view.syntax.codefolding = true;
    Settings.interface.view.syntax.scheme = 0;
    dir.Write("a.zu", kColors);
    dir.Write("b.zu", "{ \"y\": \"needle needle\" }");
  }
  // The buffer line that holds Text, 0 when none does.
  static int BufferLineOf(TEditor& panel, const std::string& text) {
    TOndEditStringList& lines = *panel.Editor->Lines();
    for (int i = 0; i < lines.GetCount(); ++i)
      if (lines.Get(i).find(text) != std::string::npos) return i + 1;
    return 0;
  }
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

// The window keeps its size and is centred where the screen has room; on a
// smaller screen it fits into the screen's available area.
TEST(WindowPlacement, CentredWhereThereIsRoomElseFittedToTheArea) {
  struct Case {
    TPoint Size;
    TRect Frame;
    TRect Area;
    TRect Placed;
  };
  const Case cases[] = {
      {{1130, 675}, {0, 0, 0, 0}, {0, 0, 1280, 800}, {75, 62, 1205, 737}},
      {{1130, 675}, {0, 0, 0, 0}, {0, 0, 800, 600}, {0, 0, 800, 600}},
      // The frame counts: the title bar and borders stay on the screen too.
      {{1130, 675}, {4, 30, 4, 4}, {0, 0, 800, 600}, {4, 30, 796, 596}},
      {{1130, 675}, {4, 30, 4, 4}, {0, 0, 1920, 1080}, {395, 215, 1525, 890}},
      // A screen right of another one, with a panel along its top: wide
      // enough, but too low.
      {{1130, 675}, {0, 0, 0, 0}, {1280, 24, 2560, 624}, {1355, 24, 2485, 624}},
      {{800, 300}, {0, 0, 0, 0}, {0, 0, 800, 600}, {0, 150, 800, 450}},
  };
  for (const Case& c : cases) {
    const TRect r = PlaceWindowOnScreen(c.Size, c.Frame, c.Area);
    EXPECT_EQ(r, c.Placed) << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom;
  }
}

// The offscreen platform's screen (800 x 800) is narrower than the window.
TEST(WindowPlacement, TheMainWindowOpensInsideASmallScreen) {
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  const QRect avail = screen->availableGeometry();
  TMain main(nullptr);
  const QRect placed = main.Widget()->frameGeometry();
  if (avail.width() >= 1130 && avail.height() >= 675) {
    EXPECT_EQ(main.Width(), 1130);
    EXPECT_EQ(main.Height(), 675);
  }
  EXPECT_TRUE(avail.contains(placed)) << placed.x() << "," << placed.y() << " " << placed.width() << "x"
                                      << placed.height() << " on " << avail.width() << "x" << avail.height();
  main.ShowForm();
  QApplication::processEvents();
  const QRect shown = main.Widget()->frameGeometry();
  EXPECT_TRUE(avail.contains(shown)) << shown.x() << "," << shown.y() << " " << shown.width() << "x" << shown.height()
                                     << " inner " << main.Widget()->geometry().x() << ","
                                     << main.Widget()->geometry().y() << " " << main.Width() << "x" << main.Height()
                                     << " on " << avail.width() << "x" << avail.height();
}

}  // namespace
}  // namespace ond
