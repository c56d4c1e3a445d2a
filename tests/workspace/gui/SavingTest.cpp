// Saving and reopening a set's files as a user meets them: files changed by
// another program, a file read as ANSI and saved with a backup, files the
// user may not write, and sets that discovery could not list whole.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/core/CodePage.h"
#include "services/ULocalization.h"
#include "services/USystem.h"
#include "tests/support/NoFileOverride.h"
#include "tests/support/TempDir.h"
#include "tests/workspace/gui/PanelHost.h"
#include "workspace/Compatibility.h"
#include "workspace/Encodings.h"
#include "workspace/StatusPanels.h"
#include "workspace/UMain.h"
#include "workspace/UZuConfigs.h"

namespace ond {
namespace {

const std::string kBom = "\xEF\xBB\xBF";

// Answers the set's questions as queued and records what it was asked.
struct TAnswers : TConfigPrompter {
  bool Overwrite = false;
  bool WithoutBackup = false;
  std::vector<std::string> Asked;
  bool OverwriteChangedFile(const std::string& fileName, bool gone) override {
    Asked.push_back((gone ? "gone " : "changed ") + ExtractFileName(fileName));
    return Overwrite;
  }
  bool SaveWithoutBackup(const std::string& backupName, const std::string&) override {
    Asked.push_back("backup " + ExtractFileName(backupName));
    return WithoutBackup;
  }
  bool SaveLossy(const std::string& fileName, std::size_t) override {
    Asked.push_back("lossy " + ExtractFileName(fileName));
    return true;
  }
  void ShowError(const std::string& message) override { Asked.push_back("error " + message); }
};

// An edit as the editor records it.
void Edit(TEditor* e, int line, const std::string& text) {
  e->Editor->Lines()->Put(line - 1, text);
  e->Editor->UndoList()->AddChange(TOndUndoReason(0), BufferCoord(1, line), BufferCoord(1, line), "", smNormal);
  e->EditorChange();
}

class SavingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Application()->MessageBoxHook = [this](const std::string& text, const std::string&, unsigned) {
      boxes.push_back(text);
      return IDCANCEL;
    };
    root = dir.Write("@quarn.zu", "{ \"a\": ${\"a.zu\":\"x\"}, \"b\": ${\"b.zu\":\"y\"} }");
    a = dir.Write("a.zu", "{ \"a\": 1 }");
    b = dir.Write("b.zu", "{ \"b\": 1 }");
    config.Prompter = &answers;
  }
  void TearDown() override { Application()->MessageBoxHook = nullptr; }
  std::string Text(int i) const { return config.Panel(i)->Editor->Lines()->GetText(); }

  test::TempDir dir;
  std::string root, a, b;
  test::PanelHost host{700};
  TAnswers answers;
  TZuConfig config;
  std::vector<std::string> boxes;
};

TEST_F(SavingTest, AFileChangedOrDeletedByAnotherProgramIsOverwrittenOnlyWhenTheUserSaysSo) {
  ASSERT_TRUE(config.LoadConfig(root, host.box, host.popup, host.bar, host.status, host.tree));
  Edit(config.Panel(1), 1, "{ \"a\": 2 }");
  Edit(config.Panel(2), 1, "{ \"b\": 2 }");
  dir.Write("a.zu", "{ \"a\": \"theirs\" }");

  // Save all asks once for the changed file and writes the other one.
  EXPECT_FALSE(config.SaveAll(false));
  EXPECT_EQ(answers.Asked, std::vector<std::string>{"changed a.zu"});
  EXPECT_EQ(config.FailedFiles, std::vector<std::string>{a});
  EXPECT_EQ(test::TempDir::Read(a), "{ \"a\": \"theirs\" }");
  EXPECT_TRUE(config.Panel(1)->Modified);
  EXPECT_EQ(Text(1), "{ \"a\": 2 }");
  EXPECT_EQ(test::TempDir::Read(b), kBom + "{ \"b\": 2 }");
  EXPECT_FALSE(config.Panel(2)->Modified);

  // Asked again, the user overwrites; the next save asks nothing.
  answers.Asked.clear();
  answers.Overwrite = true;
  EXPECT_TRUE(config.SaveAll(true));
  EXPECT_EQ(answers.Asked, std::vector<std::string>{"changed a.zu"});
  EXPECT_EQ(test::TempDir::Read(a), kBom + "{ \"a\": 2 }");
  EXPECT_EQ(test::TempDir::Read(a + ".backup"), "{ \"a\": \"theirs\" }");
  answers.Asked.clear();
  Edit(config.Panel(1), 1, "{ \"a\": 3 }");
  EXPECT_TRUE(config.SaveFile(1, "", false, true));
  EXPECT_TRUE(answers.Asked.empty());

  // A deleted file: No keeps the text unsaved, Yes makes the file again.
  ASSERT_EQ(::unlink(b.c_str()), 0);
  Edit(config.Panel(2), 1, "{ \"b\": 3 }");
  answers.Overwrite = false;
  EXPECT_FALSE(config.SaveFile(2, "", false, false));
  EXPECT_EQ(answers.Asked, std::vector<std::string>{"gone b.zu"});
  EXPECT_FALSE(FileExistsEx(b));
  EXPECT_TRUE(config.Panel(2)->Modified);
  answers.Overwrite = true;
  EXPECT_TRUE(config.SaveFile(2, "", false, false));
  EXPECT_EQ(test::TempDir::Read(b), kBom + "{ \"b\": 3 }");

  // Reopening takes the disk copy as it is now: saving after it asks nothing.
  answers.Asked.clear();
  dir.Write("b.zu", "{ \"b\": \"theirs again\" }");
  ASSERT_TRUE(config.ReloadFile(2, false));
  Edit(config.Panel(2), 1, "{ \"b\": 4 }");
  EXPECT_TRUE(config.SaveFile(2, "", false, false));
  EXPECT_TRUE(answers.Asked.empty());
  // Nothing of this went through a message box: the prompter was asked.
  EXPECT_TRUE(boxes.empty());
}

TEST_F(SavingTest, TheQuestionsNameTheFileInBothLanguages) {
  const int language = CurrentLanguage();
  TMessageBoxPrompter prompter;
  std::vector<std::string> texts;
  for (const int lang : {LangRussian, LangEnglish}) {
    SetCurrentLanguage(lang);
    for (const bool gone : {false, true}) {
      boxes.clear();
      EXPECT_FALSE(prompter.OverwriteChangedFile(a, gone));  // Cancel is no
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_NE(boxes[0].find(a), std::string::npos) << boxes[0];
      EXPECT_EQ(boxes[0], LangFill(gone ? leDeletedOnDisk : leChangedOnDisk, {a}));
      texts.push_back(boxes[0]);
    }
  }
  SetCurrentLanguage(language);
  for (std::size_t i = 0; i < texts.size(); ++i)
    for (std::size_t j = i + 1; j < texts.size(); ++j) EXPECT_NE(texts[i], texts[j]);
  Application()->MessageBoxHook = [](const std::string&, const std::string&, unsigned) { return IDYES; };
  EXPECT_TRUE(prompter.OverwriteChangedFile(a, false));
}

TEST_F(SavingTest, AReadOnlyFileIsNotReplacedAndThePanelKeepsItsEdits) {
  // Read-only when it is read (a change of mode later is a change on disk).
  ASSERT_EQ(::chmod(a.c_str(), 0444), 0);
  ASSERT_TRUE(config.LoadConfig(root, host.box, host.popup, host.bar, host.status, host.tree));
  Edit(config.Panel(1), 1, "{ \"a\": 2 }");
  bool saved;
  {
    const test::TNoFileOverride asUser;
    saved = config.SaveFile(1, "", false, false);
  }
  EXPECT_FALSE(saved);
  ASSERT_EQ(answers.Asked.size(), 1u);
  EXPECT_NE(answers.Asked[0].find("a.zu"), std::string::npos) << answers.Asked[0];
  EXPECT_NE(answers.Asked[0].find(SystemErrorText(EACCES)), std::string::npos) << answers.Asked[0];
  EXPECT_EQ(test::TempDir::Read(a), "{ \"a\": 1 }");
  EXPECT_TRUE(config.Panel(1)->Modified);
}

TEST_F(SavingTest, ABackupThatCannotBeMadeIsAskedAboutAndALaterFailureKeepsThePreviousBackup) {
  ASSERT_TRUE(config.LoadConfig(root, host.box, host.popup, host.bar, host.status, host.tree));
  dir.Write("a.zu.backup/inside", "x");
  Edit(config.Panel(1), 1, "{ \"a\": 2 }");
  EXPECT_FALSE(config.SaveFile(1, "", false, true));
  EXPECT_EQ(answers.Asked, std::vector<std::string>{"backup a.zu.backup"});
  EXPECT_EQ(test::TempDir::Read(a), "{ \"a\": 1 }");
  answers.WithoutBackup = true;
  EXPECT_TRUE(config.SaveFile(1, "", false, true));
  EXPECT_EQ(test::TempDir::Read(a), kBom + "{ \"a\": 2 }");

  // The file cannot be written (no permission): the previous backup stays.
  dir.Write("b.zu.backup", "previous");
  ASSERT_EQ(::chmod(b.c_str(), 0444), 0);
  Edit(config.Panel(2), 1, "{ \"b\": 2 }");
  answers.Asked.clear();
  {
    const test::TNoFileOverride asUser;
    EXPECT_FALSE(config.SaveFile(2, "", false, true));
  }
  EXPECT_EQ(test::TempDir::Read(b + ".backup"), "previous");
  EXPECT_EQ(test::TempDir::Read(b), "{ \"b\": 1 }");
}

TEST_F(SavingTest, ASetOfMoreFilesThanTheCapOpensWhatWasListedAndSaysSo) {
  std::string many = "[";
  for (int i = 0; i < TZuConfigInformation::MaxFiles + 10; ++i) many += "${\"m" + std::to_string(i) + ".zu\":\"x\"},\n";
  const std::string big = dir.Write("big.zu", many + "]");
  config.LoadConfig(big, host.box, host.popup, host.bar, host.status, host.tree);
  EXPECT_FALSE(config.RootUnreadable());
  ASSERT_NE(config.Panel(0), nullptr);
  EXPECT_EQ(Text(0).substr(0, 3), "[${");
  ASSERT_EQ(answers.Asked.size(), 1u);
  EXPECT_NE(answers.Asked[0].find("4096"), std::string::npos) << answers.Asked[0];
}

TEST_F(SavingTest, AFolderNamedLikeAReferencedFileIsReportedWhenTheSetOpens) {
  ASSERT_EQ(::unlink(a.c_str()), 0);
  ASSERT_TRUE(ForceFolders(a));
  config.LoadConfig(root, host.box, host.popup, host.bar, host.status, host.tree);
  ASSERT_EQ(answers.Asked.size(), 1u);
  EXPECT_NE(answers.Asked[0].find("a.zu"), std::string::npos) << answers.Asked[0];
  EXPECT_NE(answers.Asked[0].find(SystemErrorText(EISDIR)), std::string::npos) << answers.Asked[0];
  EXPECT_EQ(Text(2), "{ \"b\": 1 }");
}

// The whole road of a code page 1251 file, through the main window's actions.
class AnsiRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    Application()->MessageBoxHook = [this](const std::string& text, const std::string&, unsigned) {
      boxes.push_back(text);
      return IDYES;
    };
    root = dir.Write("@quarn.zu", "{ \"r\": ${\"ru.zu\":\"x\"} }");
    ru = dir.Write("ru.zu", kPrivet);
    main = std::make_unique<TMain>(nullptr);
    main->SetBounds(0, 0, 1130, 675);
    main->ShowForm();
    QApplication::processEvents();
    while (main->UpdateCheckRunning()) QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  void TearDown() override {
    main.reset();
    Settings = saved;
    Application()->MessageBoxHook = nullptr;
  }
  // Runs an action as its menu entry would: only when it is enabled.
  bool Run(const char* action) { return main->Action(action)->Execute(); }
  TEditor* Active() const { return main->Editors()->Active(); }
  std::string ActiveText() const { return Active()->Editor->Lines()->GetText(); }

  const std::string kPrivet = "\xCF\xF0\xE8\xE2\xE5\xF2";  // "Привет" in code page 1251
  const std::string kWorld = "\xCF\xF0\xE8\xE2\xE5\xF2, \xEC\xE8\xF0";  // "Привет, мир"
  TSettingsVariables saved = Settings;
  test::TempDir dir;
  std::string root, ru;
  std::unique_ptr<TMain> main;
  std::vector<std::string> boxes;
};

TEST_F(AnsiRoundTrip, ReadAsAnsiEditedSavedWithBackupReopenedAndRestoredShowsTheRightTextAtEveryStep) {
  main->OpenConfig(root);
  main->SetActiveIndex(1);
  ASSERT_NE(Active(), nullptr);
  ASSERT_TRUE(Run("aLoadFileAsANSI"));
  EXPECT_EQ(ActiveText(), kPrivet);
  EXPECT_EQ(Active()->EncodingName(), "ANSI");

  Edit(Active(), 1, kWorld);
  ASSERT_TRUE(Run("aSaveWithRecovery"));
  EXPECT_EQ(test::TempDir::Read(ru), kBom + AnsiToUtf8(kWorld));
  EXPECT_EQ(test::TempDir::Read(ru + ".backup"), kPrivet);
  // The panel holds what it wrote, in the encoding it wrote.
  EXPECT_EQ(Active()->EncodingName(), "UTF-8");
  EXPECT_EQ(main->SBar->Panels()->Items(spEncoding)->GetText(), "UTF-8");

  ASSERT_TRUE(Run("aReOpen"));
  EXPECT_EQ(ActiveText(), kWorld);
  EXPECT_FALSE(Active()->Modified);

  // The backup is read in the encoding its bytes are in; the file on disk
  // is still the UTF-8 one, and reopening reads it so.
  ASSERT_TRUE(Run("aRecovery"));
  EXPECT_EQ(ActiveText(), kPrivet);
  EXPECT_TRUE(Active()->Modified);
  EXPECT_EQ(Active()->EncodingName(), "UTF-8");
  ASSERT_TRUE(Run("aReOpen"));
  EXPECT_EQ(ActiveText(), kWorld);
  ASSERT_TRUE(Run("aRecovery"));
  EXPECT_EQ(ActiveText(), kPrivet);

  // Saving it again writes it once encoded, and the backup takes the UTF-8 file.
  ASSERT_TRUE(Run("aSaveWithRecovery"));
  EXPECT_EQ(test::TempDir::Read(ru), kBom + AnsiToUtf8(kPrivet));
  EXPECT_EQ(test::TempDir::Read(ru + ".backup"), kBom + AnsiToUtf8(kWorld));
  ASSERT_TRUE(Run("aRecovery"));
  EXPECT_EQ(ActiveText(), kWorld);
  EXPECT_EQ(Active()->EncodingName(), "UTF-8");
  ASSERT_TRUE(Run("aReOpen"));
  EXPECT_EQ(ActiveText(), kPrivet);
}

// A backup comes back in the encoding its file was read in, whatever the
// panel counts as after the save; the next save writes the text as UTF-8.
TEST_F(AnsiRoundTrip, EveryEncodingComesBackFromItsBackupAsItWas) {
  const std::string text = "{ \"name\": \"" + kWorld + "\" }";  // Cyrillic among ASCII
  const std::string le = EncodeText(text, TEncoding::Unicode()).substr(2);
  const std::string be = EncodeText(text, TEncoding::BigEndianUnicode()).substr(2);
  const struct {
    const char* Name;
    std::string Bytes;
    const char* ReadAs;  // the code page action the user reads it with
  } cases[] = {
      {"ansi.zu", text, "aLoadFileAsANSI"},
      {"utf8bom.zu", kBom + AnsiToUtf8(text), "aLoadFileAsUTF8"},
      {"utf8.zu", AnsiToUtf8(text), "aLoadFileAsUTF8"},
      {"le-bom.zu", "\xFF\xFE" + le, "aLoadFileAsUnicode"},
      {"le.zu", le, "aLoadFileAsUnicode"},
      // No code page action reads big-endian text: the user sees it wrong,
      // and the backup keeps it whole.
      {"be-bom.zu", "\xFE\xFF" + be, "aLoadFileAsUTF8"},
  };
  std::string set = "[";
  for (const auto& c : cases) set += "${\"" + std::string(c.Name) + "\":\"x\"},";
  root = dir.Write("@quarn.zu", set + "]");
  for (const auto& c : cases) dir.Write(c.Name, c.Bytes);
  main->OpenConfig(root);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    const std::string file = dir / c.Name;
    main->SetActiveIndex(static_cast<int>(i) + 1);
    ASSERT_NE(Active(), nullptr) << c.Name;
    ASSERT_TRUE(Run(c.ReadAs)) << c.Name;
    if (std::string_view(c.Name) != "be-bom.zu") {
      EXPECT_EQ(ActiveText(), text) << c.Name;
    }
    Edit(Active(), 1, "{}");
    ASSERT_TRUE(Run("aSaveWithRecovery")) << c.Name;
    EXPECT_EQ(test::TempDir::Read(file + ".backup"), c.Bytes) << c.Name;
    EXPECT_EQ(Active()->EncodingName(), "UTF-8") << c.Name;

    ASSERT_TRUE(Run("aRecovery")) << c.Name;
    EXPECT_EQ(ActiveText(), text) << c.Name;
    EXPECT_TRUE(Active()->Modified) << c.Name;
    EXPECT_EQ(Active()->LossyCount, 0u) << c.Name;
    ASSERT_TRUE(Run("aSave")) << c.Name;
    EXPECT_EQ(test::TempDir::Read(file), kBom + AnsiToUtf8(text)) << c.Name;
    ASSERT_TRUE(Run("aReOpen")) << c.Name;
    EXPECT_EQ(ActiveText(), text) << c.Name;
  }
}

// A backup nobody in this run made (an earlier run's, another program's):
// its bytes alone tell the encoding, and bytes with zeros in no order of
// UTF-16 are refused with a message rather than taken as text.
TEST_F(AnsiRoundTrip, ABackupOfAnEarlierRunIsReadByItsBytesOrRefused) {
  const std::string text = "{ \"name\": \"" + kWorld + "\" }";
  const struct {
    const char* Name;
    std::string Backup;
    bool Loaded;
  } cases[] = {
      {"ansi", text, true},
      {"utf-8", AnsiToUtf8(text), true},
      {"utf-16le", EncodeText(text, TEncoding::Unicode()).substr(2), true},
      {"utf-16be", EncodeText(text, TEncoding::BigEndianUnicode()).substr(2), true},
      {"zeros on both sides", std::string("{\0\0\"a\0\"\0\0:1}", 12), false},
      {"odd length", EncodeText(text, TEncoding::Unicode()).substr(2) + "x", false},
  };
  main->OpenConfig(root);
  main->SetActiveIndex(1);
  ASSERT_NE(Active(), nullptr);
  for (const auto& c : cases) {
    ASSERT_TRUE(Run("aReOpen")) << c.Name;
    const std::string before = ActiveText();
    boxes.clear();
    dir.Write("ru.zu.backup", c.Backup);
    ASSERT_TRUE(Run("aRecovery")) << c.Name;
    if (c.Loaded) {
      EXPECT_EQ(ActiveText(), text) << c.Name;
      EXPECT_TRUE(Active()->Modified) << c.Name;
      EXPECT_TRUE(boxes.empty()) << c.Name;
    } else {
      // The panel keeps the file's text, and the user hears why.
      EXPECT_EQ(ActiveText(), before) << c.Name;
      EXPECT_FALSE(Active()->Modified) << c.Name;
      ASSERT_EQ(boxes.size(), 1u) << c.Name;
      EXPECT_EQ(boxes[0], LangFill(leBackupUndecodable, {Utf8ToAnsi(ru + ".backup")})) << c.Name;
    }
  }
}

}  // namespace
}  // namespace ond
