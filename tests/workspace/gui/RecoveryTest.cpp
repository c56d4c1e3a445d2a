// Recovery from a backup as a user meets it when something else had a hand
// in the backup: a link or a pipe planted at its name, a backup that cannot
// be read, and a backup another program wrote (over the backup, or into the
// file just before it was copied), which must come back by its own bytes and
// not in the encoding the panel read its file in.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/CodePage.h"
#include "platform/core/SafeFileWriter.h"
#include "services/ULocalization.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/LanguageGuard.h"
#include "tests/support/NoFileOverride.h"
#include "tests/support/TempDir.h"
#include "tests/workspace/gui/PanelHost.h"
#include "workspace/Compatibility.h"
#include "workspace/Encodings.h"
#include "workspace/StatusPanels.h"
#include "workspace/UZuConfigs.h"

namespace ond {
namespace {

const std::string kPrivet = "{ \"w\": \"\xCF\xF0\xE8\xE2\xE5\xF2\" }";  // "Привет" in code page 1251
const std::string kMir = "{ \"w\": \"\xCC\xE8\xF0\" }";                 // "Мир", another program's text

struct TAnswers : TConfigPrompter {
  std::vector<std::string> Errors;
  bool OverwriteChangedFile(const std::string&, bool) override { return true; }
  bool SaveWithoutBackup(const std::string&, const std::string&) override { return false; }
  bool SaveLossy(const std::string&, std::size_t) override { return true; }
  void ShowError(const std::string& message) override { Errors.push_back(message); }
};

void Edit(TEditor* e, const std::string& text) {
  e->Editor->Lines()->Put(0, text);
  e->Editor->UndoList()->AddChange(TOndUndoReason(0), BufferCoord(1, 1), BufferCoord(1, 1), "", smNormal);
  e->EditorChange();
}

void WriteRaw(const std::string& path, const std::string& bytes, int flags) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | flags, 0644);
  ASSERT_GE(fd, 0) << path;
  ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(fd);
}

// How the panel read its file, and the bytes another program put where the
// backup's bytes come from.
struct TForeignCase {
  const char* Name;
  int Kind;  // the code page the panel read its file in
  std::string File;
  std::string Theirs;
};

std::vector<TForeignCase> ForeignCases() {
  const std::string privetLe = EncodeText(kPrivet, TEncoding::Unicode()).substr(2);
  return {
      {"ANSI file, UTF-8 theirs", 0, kPrivet, AnsiToUtf8(kMir)},
      {"UTF-8 file, ANSI theirs", 2, AnsiToUtf8(kPrivet), kMir},
      {"UTF-16 file, UTF-8 theirs", 1, privetLe, AnsiToUtf8(kMir)},
      {"UTF-16 file, ANSI theirs", 1, privetLe, kMir},
      {"UTF-16 file, big-endian theirs", 1, privetLe, EncodeText(kMir, TEncoding::BigEndianUnicode()).substr(2)},
      {"ANSI file, UTF-16 theirs", 0, kPrivet, EncodeText(kMir, TEncoding::Unicode()).substr(2)},
  };
}

// What a meddling program does from inside a save: the write hook runs it
// once, at the first write into the file itself (the backup is made then)
// or at the first write anywhere else (before the backup is copied).
struct TMeddler {
  std::string File;
  bool AtTheFile = false;
  std::function<void()> Act;
  bool Done = false;
};
TMeddler* gMeddler = nullptr;

ssize_t MeddlingPWrite(int fd, const void* data, std::size_t size, off_t offset) {
  if (gMeddler && !gMeddler->Done) {
    struct stat written {}, file {};
    const bool intoFile = ::fstat(fd, &written) == 0 && ::stat(gMeddler->File.c_str(), &file) == 0 &&
                          written.st_dev == file.st_dev && written.st_ino == file.st_ino;
    if (intoFile == gMeddler->AtTheFile) {
      gMeddler->Done = true;
      gMeddler->Act();
    }
  }
  return ::pwrite(fd, data, size, offset);
}

class Recovery : public ::testing::Test {
 protected:
  void SetUp() override {
    root = dir.Write("@quarn.zu", "{ \"a\": ${\"a.zu\":\"x\"}, \"b\": ${\"b.zu\":\"y\"} }");
    a = dir.Write("a.zu", AnsiToUtf8(kPrivet));
    dir.Write("b.zu", "{}");
    backup = a + ".backup";
    config.Prompter = &answers;
    ASSERT_TRUE(config.LoadConfig(root, host.box, host.popup, host.bar, host.status, host.tree));
  }
  void TearDown() override { FileWriteHooks() = TFileWriteHooks(); }
  TEditor* Panel() const { return config.Panel(1); }
  // Reads the case's file as the panel reads it, edits it and saves it with
  // a backup while `act` meddles; then recovery must bring another program's
  // text back from the backup as they wrote it.
  void SaveMeddledAndRecover(const TForeignCase& c, bool atTheFile, const std::function<void()>& act) {
    WriteRaw(a, c.File, O_TRUNC);
    ASSERT_TRUE(Panel()->LoadFromFile(a, c.Kind)) << c.Name;
    ASSERT_EQ(Text(), kPrivet) << c.Name;
    Edit(Panel(), "{}");
    TMeddler meddler{a, atTheFile, act};
    gMeddler = &meddler;
    FileWriteHooks().PWrite = MeddlingPWrite;
    const bool saved = config.SaveFile(1, "", false, true);
    FileWriteHooks() = TFileWriteHooks();
    gMeddler = nullptr;
    ASSERT_TRUE(saved) << c.Name;
    ASSERT_TRUE(meddler.Done) << c.Name;
    ASSERT_EQ(test::TempDir::Read(backup), c.Theirs) << c.Name;
    ASSERT_TRUE(config.ReloadFile(1, true)) << c.Name;
    EXPECT_EQ(Text(), kMir) << c.Name;
    EXPECT_EQ(Panel()->LossyCount, 0u) << c.Name;
    EXPECT_TRUE(Panel()->Modified) << c.Name;
  }
  std::string Text() const { return Panel()->Editor->Lines()->GetText(); }

  const test::TLanguageGuard english{LangEnglish};
  test::TempDir dir;
  test::TEnvGuard stateHome{"XDG_STATE_HOME", (dir / "state").c_str()};
  std::string root, a, backup;
  test::PanelHost host{700};
  TAnswers answers;
  TZuConfig config;
};

// Whatever is at the backup's name and is no backup the program could have
// made, or cannot be read, is told with its reason; the panel and the file
// stay as they were.
TEST_F(Recovery, ABackupThatIsNoRegularFileOrCannotBeReadIsToldAndNotLoaded) {
  const std::string secret = dir.Write("outside/secret.txt", "export SECRET=1");
  const std::string shown = "\"" + backup + "\"";
  const struct {
    const char* Name;
    std::function<void()> Plant;
    std::string Reason;
  } cases[] = {
      {"a link to a file", [&] { ASSERT_EQ(::symlink(secret.c_str(), backup.c_str()), 0); },
       LangFill(leBackupIsLink, {shown})},
      {"a link to nothing", [&] { ASSERT_EQ(::symlink("gone.zu", backup.c_str()), 0); },
       LangFill(leBackupIsLink, {shown})},
      {"a pipe", [&] { ASSERT_EQ(::mkfifo(backup.c_str(), 0600), 0); },
       LangFill(leCannotOpenFile, {shown, Lang(leNotRegularFile)})},
      {"a folder", [&] { ASSERT_TRUE(ForceFolders(backup)); },
       LangFill(leCannotOpenFile, {shown, SystemErrorText(EISDIR)})},
      {"no permission",
       [&] {
         dir.Write("a.zu.backup", "{}");
         ASSERT_EQ(::chmod(backup.c_str(), 0), 0);
       },
       LangFill(leCannotOpenFile, {shown, SystemErrorText(EACCES)})},
      {"too large",
       [&] { ASSERT_EQ(::truncate(dir.Write("a.zu.backup", "{}").c_str(), MaxTextFileSize + 1), 0); },
       LangFill(leCannotReadFile, {shown, LangFill(leFileTooLarge, {"512"})})},
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(backup);
    c.Plant();
    answers.Errors.clear();
    bool loaded;
    {
      const test::TNoFileOverride asUser;
      loaded = config.ReloadFile(1, true);
    }
    EXPECT_FALSE(loaded) << c.Name;
    EXPECT_EQ(Text(), kPrivet) << c.Name;
    EXPECT_FALSE(Panel()->Modified) << c.Name;
    ASSERT_EQ(answers.Errors.size(), 1u) << c.Name;
    EXPECT_EQ(answers.Errors[0], LangFill(leBackupNotLoaded, {c.Reason})) << c.Name;
    EXPECT_EQ(host.status->Panels()->Items(spMessage)->GetText(), answers.Errors[0]) << c.Name;
  }
  EXPECT_EQ(test::TempDir::Read(secret), "export SECRET=1");
  EXPECT_EQ(test::TempDir::Read(a), AnsiToUtf8(kPrivet));
  // The reason is the user's language's.
  const test::TLanguageGuard russian(LangRussian);
  EXPECT_NE(LangFill(leBackupIsLink, {shown}), LangText(leBackupIsLink, LangEnglish));
  EXPECT_NE(Lang(leBackupNotLoaded), LangText(leBackupNotLoaded, LangEnglish));
}

// The backup another program put in the place of the one the save made,
// while the save still ran (a second program saving with a backup too).
TEST_F(Recovery, ABackupReplacedByAnotherProgramIsReadByItsOwnBytes) {
  // A second name makes the save one in place: the file is written after
  // its backup is made.
  ASSERT_EQ(::link(a.c_str(), (dir / "shared.zu").c_str()), 0);
  for (const TForeignCase& c : ForeignCases())
    SaveMeddledAndRecover(c, true, [&] {
      WriteRaw(backup + ".theirs", c.Theirs, O_TRUNC);
      ASSERT_EQ(::rename((backup + ".theirs").c_str(), backup.c_str()), 0);
    });
  // A backup rewritten later, in place and to the same size, is no more
  // the one made either.
  WriteRaw(a, kPrivet, O_TRUNC);
  ASSERT_TRUE(Panel()->LoadFromFile(a, 0));
  Edit(Panel(), "{}");
  ASSERT_TRUE(config.SaveFile(1, "", false, true));
  const std::string sameSize = AnsiToUtf8(kMir);
  ASSERT_EQ(sameSize.size(), kPrivet.size());
  WriteRaw(backup, sameSize, O_TRUNC);
  ASSERT_TRUE(config.ReloadFile(1, true));
  EXPECT_EQ(Text(), Utf8ToAnsi(sameSize));
}

// The file another program wrote after the panel read it, in the moment
// between the save's check and the backup's copy: the backup holds their
// bytes, not the ones the panel read.
TEST_F(Recovery, ABackupOfAFileAnotherProgramWroteBeforeTheCopyIsReadByItsOwnBytes) {
  for (const TForeignCase& c : ForeignCases())
    SaveMeddledAndRecover(c, false, [&] { WriteRaw(a, c.Theirs, O_TRUNC); });
}

// Untouched, the backup still comes back in the encoding its file was read
// in, where its bytes alone would tell another.
TEST_F(Recovery, TheVeryBackupMadeComesBackInTheEncodingItsFileWasReadIn) {
  const std::string privet = "\xCF\xF0\xE8\xE2\xE5\xF2";
  const struct {
    const char* Name;
    int Kind;
    std::string File;
    std::string Text;
  } cases[] = {
      // Cyrillic alone has no zero byte in UTF-16, and reads as valid UTF-8.
      {"UTF-16 without ASCII", 1, EncodeText(privet, TEncoding::Unicode()).substr(2), privet},
      // "Р°" in code page 1251 is the UTF-8 form of "а".
      {"ANSI that is valid UTF-8", 0, "\xD0\xB0", "\xD0\xB0"},
      {"UTF-16", 1, EncodeText(kPrivet, TEncoding::Unicode()).substr(2), kPrivet},
      {"UTF-8", 2, AnsiToUtf8(kPrivet), kPrivet},
  };
  for (const auto& c : cases) {
    WriteRaw(a, c.File, O_TRUNC);
    ASSERT_TRUE(Panel()->LoadFromFile(a, c.Kind)) << c.Name;
    ASSERT_EQ(Text(), c.Text) << c.Name;
    Edit(Panel(), "{}");
    ASSERT_TRUE(config.SaveFile(1, "", false, true)) << c.Name;
    ASSERT_EQ(test::TempDir::Read(backup), c.File) << c.Name;
    ASSERT_TRUE(config.ReloadFile(1, true)) << c.Name;
    EXPECT_EQ(Text(), c.Text) << c.Name;
  }
}

}  // namespace
}  // namespace ond
