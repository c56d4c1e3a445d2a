// A set's file that can only be written in place, as the user meets it: the
// question when no copy of its bytes can be kept, the word about a copy an
// interrupted save left, and a failed write told in the interface's language
// without the next save calling it a change by another program.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/Forms.h"
#include "platform/core/ProgramTexts.h"
#include "platform/core/SafeFileWriter.h"
#include "platform/core/SysUtils.h"
#include "services/ULocalization.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/LaterCopies.h"
#include "tests/support/TempDir.h"
#include "tests/workspace/gui/PanelHost.h"
#include "workspace/UZuConfigs.h"

namespace ond {
namespace {

const std::string kBom = "\xEF\xBB\xBF";

struct TAnswers : TConfigPrompter {
  bool WithoutCopy = false;
  std::vector<std::string> Asked;
  bool OverwriteChangedFile(const std::string& fileName, bool) override {
    Asked.push_back("changed " + ExtractFileName(fileName));
    return false;
  }
  bool SaveWithoutBackup(const std::string& backupName, const std::string&) override {
    Asked.push_back("backup " + ExtractFileName(backupName));
    return false;
  }
  bool SaveLossy(const std::string&, std::size_t) override { return true; }
  void ShowError(const std::string& message) override { Asked.push_back("error " + message); }
  bool WriteInPlaceWithoutCopy(const std::string& fileName, const std::string& folder,
                               const std::string& reason) override {
    Asked.push_back("without copy " + ExtractFileName(fileName) + " in " + folder + ": " + reason);
    return WithoutCopy;
  }
  void TellLeftCopy(const std::string& fileName, const std::string& copyName, std::size_t older) override {
    Asked.push_back("left " + ExtractFileName(fileName) + " " + copyName + (older ? " +" + IntToStr(older) : ""));
  }
};

void Edit(TEditor* e, const std::string& text) {
  e->Editor->Lines()->Put(0, text);
  e->Editor->UndoList()->AddChange(TOndUndoReason(0), BufferCoord(1, 1), BufferCoord(1, 1), "", smNormal);
  e->EditorChange();
}

ino_t gInode = 0;
ssize_t FailOnTheFile(int fd, const void* data, std::size_t size, off_t offset) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_ino == gInode && size > 0 && offset == 0 && size > 20) {
    // Half the text lands, then the disk fails.
    (void)!::pwrite(fd, data, size / 2, offset);
    errno = EIO;
    return -1;
  }
  return ::pwrite(fd, data, size, offset);
}

// Every write to the file fails: the old bytes cannot be put back either, so
// the save leaves its copy, as a kill would.
ssize_t FailEveryWrite(int fd, const void* data, std::size_t size, off_t offset) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_ino == gInode) {
    errno = EIO;
    return -1;
  }
  return ::pwrite(fd, data, size, offset);
}

class InPlaceSaving : public ::testing::Test {
 protected:
  void SetUp() override {
    root = dir.Write("@quarn.zu", "{ \"a\": ${\"a.zu\":\"x\"}, \"b\": ${\"b.zu\":\"y\"} }");
    a = dir.Write("a.zu", "{ \"a\": 1 }");
    dir.Write("b.zu", "{ \"b\": 1 }");
    // A second name makes every save of a.zu one in place.
    ASSERT_EQ(::link(a.c_str(), (dir / "shared.zu").c_str()), 0);
    config.Prompter = &answers;
    ASSERT_TRUE(config.LoadConfig(root, host.box, host.popup, host.bar, host.status, host.tree));
  }
  void TearDown() override {
    FileWriteHooks() = TFileWriteHooks();
    SetCurrentLanguage(language);
  }

  test::TempDir dir;
  std::string state = dir / "state";
  test::TEnvGuard stateHome{"XDG_STATE_HOME", state.c_str()};
  std::string root, a;
  test::PanelHost host{700};
  TAnswers answers;
  TZuConfig config;
  int language = CurrentLanguage();
};

TEST_F(InPlaceSaving, WithoutACopyTheUserIsAskedAndNoKeepsTheFile) {
  dir.Write("state", "a file where the folder would be");
  Edit(config.Panel(1), "{ \"a\": 2 }");
  EXPECT_FALSE(config.SaveFile(1, "", false, false));
  ASSERT_EQ(answers.Asked.size(), 1u);
  EXPECT_EQ(answers.Asked[0], "without copy a.zu in " + state + "/ondrel/: " + SystemErrorText(ENOTDIR));
  EXPECT_EQ(test::TempDir::Read(a), "{ \"a\": 1 }");
  EXPECT_TRUE(config.Panel(1)->Modified);

  answers.Asked.clear();
  answers.WithoutCopy = true;
  EXPECT_TRUE(config.SaveFile(1, "", false, false));
  EXPECT_EQ(answers.Asked.size(), 1u);
  EXPECT_EQ(test::TempDir::Read(dir / "shared.zu"), kBom + "{ \"a\": 2 }");
  EXPECT_FALSE(config.Panel(1)->Modified);
}

TEST_F(InPlaceSaving, ACopyAnInterruptedSaveLeftIsToldAndKept) {
  // What a save killed halfway leaves: its copy of the old bytes.
  Edit(config.Panel(1), "{ \"a\": 2 }");
  ASSERT_TRUE(config.SaveFile(1, "", false, false));
  ASSERT_TRUE(answers.Asked.empty());
  Edit(config.Panel(1), "{ \"a\": 3 }");
  std::string copyName;
  {
    // A save whose in-place write fails and cannot put the old text back
    // leaves its copy, as a kill would.
    struct stat st {};
    ASSERT_EQ(::stat(a.c_str(), &st), 0);
    gInode = st.st_ino;
    FileWriteHooks().PWrite = FailEveryWrite;
    EXPECT_FALSE(config.SaveFile(1, "", false, false));
    FileWriteHooks().PWrite = nullptr;
    copyName = LeftSafetyCopy(a);
  }
  ASSERT_FALSE(copyName.empty());
  EXPECT_EQ(test::TempDir::Read(copyName), kBom + "{ \"a\": 2 }");
  ASSERT_EQ(answers.Asked.size(), 1u);
  EXPECT_NE(answers.Asked[0].find(copyName), std::string::npos) << answers.Asked[0];

  // The failure told where the copy is: the next save saves without saying
  // it again, and leaves the copy.
  answers.Asked.clear();
  EXPECT_TRUE(config.SaveFile(1, "", false, false));
  EXPECT_EQ(answers.Asked, std::vector<std::string>{});
  EXPECT_EQ(test::TempDir::Read(a), kBom + "{ \"a\": 3 }");
  EXPECT_EQ(test::TempDir::Read(copyName), kBom + "{ \"a\": 2 }");

  // Opened again, the set says it at once.
  TAnswers again;
  TZuConfig reopened;
  reopened.Prompter = &again;
  ASSERT_TRUE(reopened.LoadConfig(root, host.box, host.popup, host.bar, host.status, host.tree));
  EXPECT_EQ(again.Asked, std::vector<std::string>{"left a.zu " + copyName});
}

TEST_F(InPlaceSaving, LeftCopiesAreToldWhenTheSetOpensAndEachOnlyOnce) {
  // A save whose write fails and whose old bytes cannot be put back leaves
  // its copy, as a kill would; its message names it.
  struct stat st {};
  ASSERT_EQ(::stat(a.c_str(), &st), 0);
  gInode = st.st_ino;
  Edit(config.Panel(1), "{ \"a\": 2 }");
  FileWriteHooks().PWrite = FailEveryWrite;
  EXPECT_FALSE(config.SaveFile(1, "", false, false));
  FileWriteHooks().PWrite = nullptr;
  const std::string first = LeftSafetyCopy(a);
  ASSERT_TRUE(first.ends_with(".copy")) << first;
  // Two more interrupted saves; a link at a copy's name is no copy.
  const test::TLaterCopies later = test::PlantLaterCopies(first);
  const std::string &prefix = later.Prefix, &second = later.Second, &tenth = later.Tenth;
  ASSERT_EQ(::symlink(a.c_str(), (prefix + "3.copy").c_str()), 0);

  // Opened, the set says it at once: the newest copy, and how many more.
  TAnswers opened;
  TZuConfig set;
  set.Prompter = &opened;
  ASSERT_TRUE(set.LoadConfig(root, host.box, host.popup, host.bar, host.status, host.tree));
  EXPECT_EQ(opened.Asked, std::vector<std::string>{"left a.zu " + second + " +2"});

  // Saves do not say it again.
  opened.Asked.clear();
  for (const char* text : {"{ \"a\": 4 }", "{ \"a\": 5 }"}) {
    Edit(set.Panel(1), text);
    EXPECT_TRUE(set.SaveFile(1, "", false, false));
  }
  EXPECT_EQ(opened.Asked, std::vector<std::string>{});
  // A copy that another interrupted save left meanwhile is new: told once.
  const std::string fourth = prefix + "4.copy";
  dir.Write(fourth.substr(dir.Path().size() + 1), "fourth");
  for (const char* text : {"{ \"a\": 6 }", "{ \"a\": 7 }"}) {
    Edit(set.Panel(1), text);
    EXPECT_TRUE(set.SaveFile(1, "", false, false));
  }
  EXPECT_EQ(opened.Asked, std::vector<std::string>{"left a.zu " + fourth + " +3"});
  // None of them was touched.
  EXPECT_EQ(test::TempDir::Read(first), "{ \"a\": 1 }");
  EXPECT_EQ(test::TempDir::Read(second), "second");
  EXPECT_EQ(test::TempDir::Read(tenth), "tenth");
  EXPECT_EQ(test::TempDir::Read(fourth), "fourth");
}

TEST_F(InPlaceSaving, WithoutAStateFolderTheQuestionNamesNoFolder) {
  const test::TEnvGuard noState("XDG_STATE_HOME", nullptr);
  const test::TEnvGuard noHome("HOME", nullptr);
  Edit(config.Panel(1), "{ \"a\": 2 }");
  EXPECT_FALSE(config.SaveFile(1, "", false, false));
  ASSERT_EQ(answers.Asked.size(), 1u);
  EXPECT_EQ(answers.Asked[0], "without copy a.zu in : " + ProgramText(TProgramText::NoStateFolder, {a}));
  EXPECT_EQ(test::TempDir::Read(a), "{ \"a\": 1 }");
}

TEST_F(InPlaceSaving, AFailedWriteIsToldInBothLanguagesAndTheNextSaveAsksNothing) {
  struct stat st {};
  ASSERT_EQ(::stat(a.c_str(), &st), 0);
  gInode = st.st_ino;
  std::vector<std::string> told;
  for (const int lang : {0, 1}) {
    SetCurrentLanguage(lang);
    Edit(config.Panel(1), "{ \"a\": \"a longer text than before\" }");
    answers.Asked.clear();
    FileWriteHooks().PWrite = FailOnTheFile;
    EXPECT_FALSE(config.SaveFile(1, "", false, false));
    FileWriteHooks().PWrite = nullptr;
    EXPECT_EQ(test::TempDir::Read(a), "{ \"a\": 1 }");
    ASSERT_EQ(answers.Asked.size(), 1u);
    const std::string& message = answers.Asked[0];
    EXPECT_NE(message.find(Lang(leOldTextPutBack)), std::string::npos) << message;
    EXPECT_NE(message.find(LangFill(leCannotWriteFile, {a})), std::string::npos) << message;
    EXPECT_NE(message.find(SystemErrorText(EIO)), std::string::npos) << message;
    told.push_back(message);
  }
  EXPECT_NE(told[0], told[1]);
  // The failed write touched the file; that is no change by another program.
  answers.Asked.clear();
  EXPECT_TRUE(config.SaveFile(1, "", false, false));
  EXPECT_TRUE(answers.Asked.empty()) << answers.Asked[0];
  EXPECT_EQ(test::TempDir::Read(a), kBom + "{ \"a\": \"a longer text than before\" }");
}

TEST(InPlacePrompter, TheMessageBoxesAskAndTellInBothLanguages) {
  const int language = CurrentLanguage();
  std::vector<std::string> boxes;
  int answer = IDNO;
  Application()->MessageBoxHook = [&](const std::string& text, const std::string&, unsigned) {
    boxes.push_back(text);
    return answer;
  };
  TMessageBoxPrompter prompter;
  for (const int lang : {0, 1}) {
    SetCurrentLanguage(lang);
    EXPECT_FALSE(prompter.WriteInPlaceWithoutCopy("/set/a.zu", "/state/ondrel/", "no room"));
    prompter.TellLeftCopy("/set/a.zu", "/state/ondrel/a.zu.0123.copy", 0);
    // No state folder: the question names none, and the left copy's word
    // counts the older copies.
    EXPECT_FALSE(prompter.WriteInPlaceWithoutCopy("/set/a.zu", "", "no folder"));
    prompter.TellLeftCopy("/set/a.zu", "/state/ondrel/a.zu.0123.2.copy", 2);
  }
  answer = IDYES;
  EXPECT_TRUE(prompter.WriteInPlaceWithoutCopy("/set/a.zu", "/state/ondrel/", "no room"));
  Application()->MessageBoxHook = nullptr;
  SetCurrentLanguage(language);
  ASSERT_EQ(boxes.size(), 9u);
  for (const std::string& box : boxes) EXPECT_NE(box.find("/set/a.zu"), std::string::npos) << box;
  EXPECT_NE(boxes[0].find("no room"), std::string::npos);
  EXPECT_NE(boxes[1].find("/state/ondrel/a.zu.0123.copy"), std::string::npos);
  EXPECT_NE(boxes[0], boxes[4]);
  EXPECT_NE(boxes[1], boxes[5]);
  for (const int lang : {0, 1}) {
    const std::string& noFolder = boxes[static_cast<std::size_t>(4 * lang + 2)];
    EXPECT_EQ(noFolder, FillPlaceholders(LangText(leInPlaceNoStateFolder, lang), {"/set/a.zu"}));
    EXPECT_EQ(noFolder.find("\n\r\n\r"), std::string::npos) << noFolder;
    const std::string& older = boxes[static_cast<std::size_t>(4 * lang + 3)];
    EXPECT_NE(older.find(FillPlaceholders(LangText(leLeftCopiesOlder, lang), {"2"})), std::string::npos) << older;
  }
  EXPECT_NE(boxes[2], boxes[6]);
}

}  // namespace
}  // namespace ond
