// Replacing a file with and without a backup: what is under the file's name
// and the backup's name when a save is killed at any instant, fails after
// the backup was made, or finds the disk copy changed by someone else.
#include "platform/core/SafeFileWriter.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/SysUtils.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/NoFileOverride.h"
#include "tests/support/KilledChild.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

using test::TempDir;

std::vector<std::string> TempFilesIn(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    const std::string n = e.path().filename().string();
    if (n.starts_with(".") && n.ends_with(".tmp")) found.push_back(n);
  }
  return found;
}

struct stat LStat(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st;
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

TWriteResult Save(const std::string& file, const std::string& data, const std::string& backup = "",
                  const TDiskCopy* expected = nullptr) {
  TFileWrite w;
  w.FileName = file;
  w.Data = data;
  w.BackupName = backup;
  w.Expected = expected;
  w.UserFile = true;
  return WriteFileSafely(w);
}

// A write of a name the program makes up (settings, logs, exported files).
TWriteResult SaveMadeUp(const std::string& file, const std::string& data) {
  TFileWrite w;
  w.FileName = file;
  w.Data = data;
  return WriteFileSafely(w);
}

// A text of a few megabytes that differs from its neighbours everywhere.
std::string Text(char fill, int round) {
  std::string t(3 << 20, fill);
  for (std::size_t i = 0; i < t.size(); i += 4096) t[i] = static_cast<char>('0' + round % 10);
  return t;
}

TEST(SafeFileWriter, AKilledSaveWithBackupLeavesTheOldOrTheNewFileAndAWholeBackup) {
  TempDir dir;
  const std::string file = dir / "big.zu";
  const std::string backup = file + ".backup";
  std::mt19937 random(20261207);

  // Runs one save with backup in a child; kills it `delay` after it starts
  // (never when delay is negative) and gives how long it ran unkilled.
  auto saveInChild = [&](const std::string& text, std::chrono::microseconds delay) {
    return test::RunInKilledChild([&] { return Save(file, text, backup).Ok(); }, delay);
  };

  // The kills are spread over the length of one whole save.
  ASSERT_TRUE(Save(file, Text('a', 0)).Ok());
  ASSERT_TRUE(Save(backup, Text('b', 0)).Ok());
  const auto whole = saveInChild(Text('c', 0), std::chrono::microseconds(-1));
  std::uniform_int_distribution<long> when(0, whole.count() * 5 / 4 + 1);

  constexpr int kRounds = 30;
  for (int round = 1; round <= kRounds; ++round) {
    const std::string previous = Text('p', round), old = Text('o', round), fresh = Text('n', round);
    ASSERT_TRUE(Save(backup, previous).Ok());
    ASSERT_TRUE(Save(file, old).Ok());
    saveInChild(fresh, std::chrono::microseconds(when(random)));

    ASSERT_TRUE(Exists(file)) << "round " << round << ": no file under its name";
    const std::string now = TempDir::Read(file);
    const std::string kept = TempDir::Read(backup);
    ASSERT_TRUE(now == old || now == fresh) << "round " << round << ": the file holds neither text";
    // The backup is the previous one until the new one is whole; the new
    // text never stands without the old one in the backup.
    ASSERT_TRUE(kept == previous || kept == old) << "round " << round << ": the backup is garbled";
    if (now == fresh) {
      ASSERT_EQ(kept, old) << "round " << round;
    }
  }
  // What the killed runs left is cleared by the next save.
  ASSERT_TRUE(Save(file, "done", backup).Ok());
  EXPECT_TRUE(TempFilesIn(dir.Path()).empty());
}

TEST(SafeFileWriter, ASaveWithBackupKeepsTheOldTextAsTheBackupAndTheModeOfTheFile) {
  TempDir dir;
  const std::string file = dir.Write("a.zu", "one");
  const std::string backup = file + ".backup";
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  dir.Write("a.zu.backup", "zero");
  const TWriteResult r = Save(file, "two", backup);
  ASSERT_TRUE(r.Ok()) << r.Reason;
  EXPECT_FALSE(r.InPlace);
  EXPECT_EQ(TempDir::Read(file), "two");
  EXPECT_EQ(TempDir::Read(backup), "one");
  EXPECT_EQ(LStat(file).st_mode & 07777, 0640u);
  EXPECT_EQ(LStat(backup).st_mode & 07777, 0640u);
  EXPECT_EQ(r.Written, DiskCopyOf(file));
  // No backup of a file that is not there yet.
  ASSERT_TRUE(Save(dir / "new.zu", "x", dir / "new.zu.backup").Ok());
  EXPECT_FALSE(Exists(dir / "new.zu.backup"));
  EXPECT_TRUE(TempFilesIn(dir.Path()).empty());
}

TEST(SafeFileWriter, ABackupThatCannotBeMadeTouchesNothing) {
  TempDir dir;
  const std::string file = dir.Write("a.zu", "one");
  const std::string backup = file + ".backup";
  dir.Write("a.zu.backup/inside", "x");  // a folder stands in the backup's place
  const TWriteResult r = Save(file, "two", backup);
  EXPECT_EQ(r.Outcome, TWriteOutcome::BackupFailed);
  EXPECT_NE(r.Reason.find("a.zu.backup"), std::string::npos) << r.Reason;
  EXPECT_NE(r.Reason.find(SystemErrorText(EISDIR)), std::string::npos) << r.Reason;
  EXPECT_EQ(TempDir::Read(file), "one");
  EXPECT_EQ(TempDir::Read(backup + "/inside"), "x");
  EXPECT_TRUE(TempFilesIn(dir.Path()).empty());
}

TEST(SafeFileWriter, ASaveWithBackupThatFailsAfterTheBackupWasMadeLeavesTheFileWithItsOldText) {
  TempDir dir;
  // Copies kept while a file is written in place go here, not to the home folder.
  const test::TEnvGuard state("XDG_STATE_HOME", (dir / "state").c_str());
  const std::string file = dir.Write("a.zu", "old text");
  const std::string backup = file + ".backup";
  dir.Write("a.zu.backup", "previous");
  // A second name makes the save write in place, after the backup; a size
  // limit then stops the write.
  ASSERT_EQ(::link(file.c_str(), (dir / "other.zu").c_str()), 0);
  const int ended = test::UnderFileSizeLimit(64 * 1024, [&] {
    const TWriteResult r = Save(file, std::string(1 << 20, 'x'), backup);
    return r.Outcome == TWriteOutcome::Failed && r.Reason.find(SystemErrorText(EFBIG)) != std::string::npos ? 0 : 3;
  });
  EXPECT_EQ(ended, 0) << "1000 + n: ended by signal n";
  EXPECT_EQ(TempDir::Read(file), "old text");
  EXPECT_EQ(TempDir::Read(dir / "other.zu"), "old text");
  EXPECT_EQ(TempDir::Read(backup), "old text");
  EXPECT_TRUE(TempFilesIn(dir.Path()).empty());
}

TEST(SafeFileWriter, LinksAreFollowedWithAndWithoutBackup) {
  TempDir dir;
  // Copies kept while a file is written in place go here, not to the home folder.
  const test::TEnvGuard state("XDG_STATE_HOME", (dir / "state").c_str());
  const std::string target = dir.Write("real/a.zu", "one");
  const std::string link = dir / "a.zu";
  ASSERT_EQ(::symlink("real/a.zu", link.c_str()), 0);
  ASSERT_TRUE(Save(link, "two", link + ".backup").Ok());
  EXPECT_TRUE(S_ISLNK(LStat(link).st_mode));
  EXPECT_EQ(TempDir::Read(target), "two");
  EXPECT_TRUE(S_ISREG(LStat(link + ".backup").st_mode));
  EXPECT_EQ(TempDir::Read(link + ".backup"), "one");

  // A hard-linked file is written in place, its backup is a copy.
  const std::string file = dir.Write("h.zu", "first");
  ASSERT_EQ(::link(file.c_str(), (dir / "h2.zu").c_str()), 0);
  const TWriteResult r = Save(file, "second", file + ".backup");
  ASSERT_TRUE(r.Ok()) << r.Reason;
  EXPECT_TRUE(r.InPlace);
  EXPECT_EQ(TempDir::Read(dir / "h2.zu"), "second");
  EXPECT_EQ(TempDir::Read(file + ".backup"), "first");
  EXPECT_EQ(LStat(file).st_nlink, 2u);
  EXPECT_EQ(r.Written, DiskCopyOf(file));
}

TEST(SafeFileWriter, AFileInAReadOnlyFolderIsWrittenInPlaceAndItsBackupIsRefused) {
  TempDir dir;
  // Copies kept while a file is written in place go here, not to the home folder.
  const test::TEnvGuard state("XDG_STATE_HOME", (dir / "state").c_str());
  const std::string folder = dir / "game";
  const std::string file = dir.Write("game/a.zu", "one");
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  TWriteResult withBackup, plain;
  {
    const test::TNoFileOverride asUser;
    withBackup = Save(file, "two", file + ".backup");
    plain = Save(file, "two");
  }
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(withBackup.Outcome, TWriteOutcome::BackupFailed);
  EXPECT_NE(withBackup.Reason.find(SystemErrorText(EACCES)), std::string::npos) << withBackup.Reason;
  ASSERT_TRUE(plain.Ok()) << plain.Reason;
  EXPECT_TRUE(plain.InPlace);
  EXPECT_EQ(TempDir::Read(file), "two");
}

TEST(SafeFileWriter, ADiskCopyChangedSinceItWasReadIsNotOverwritten) {
  TempDir dir;
  const std::string file = dir.Write("a.zu", "read");
  const TDiskCopy read = DiskCopyOf(file);
  ASSERT_TRUE(read.Exists);
  EXPECT_EQ(read, DiskCopyOf(file));

  // Another program writes the file (same size, so only the time or the file tells).
  ASSERT_TRUE(Save(file, "READ").Ok());
  EXPECT_EQ(Save(file, "mine", file + ".backup", &read).Outcome, TWriteOutcome::ChangedOnDisk);
  EXPECT_EQ(TempDir::Read(file), "READ");
  EXPECT_FALSE(Exists(file + ".backup"));

  // One that is gone, and one made where none was.
  const TDiskCopy now = DiskCopyOf(file);
  ASSERT_EQ(::unlink(file.c_str()), 0);
  EXPECT_EQ(Save(file, "mine", "", &now).Outcome, TWriteOutcome::ChangedOnDisk);
  EXPECT_FALSE(Exists(file));
  const TDiskCopy none = DiskCopyOf(dir / "b.zu");
  EXPECT_FALSE(none.Exists);
  dir.Write("b.zu", "theirs");
  EXPECT_EQ(Save(dir / "b.zu", "mine", "", &none).Outcome, TWriteOutcome::ChangedOnDisk);
  EXPECT_EQ(TempDir::Read(dir / "b.zu"), "theirs");

  // The copy the last save wrote is the one the next save expects.
  const TWriteResult first = Save(dir / "b.zu", "mine");
  ASSERT_TRUE(first.Ok());
  const TWriteResult second = Save(dir / "b.zu", "mine again", "", &first.Written);
  EXPECT_TRUE(second.Ok()) << second.Reason;
  EXPECT_EQ(TempDir::Read(dir / "b.zu"), "mine again");
}

// What an attacker can plant at a name the program makes up, in a set
// unpacked from an archive: a link to a file of the user's, a link to where a
// file could be made, a link to a folder.
struct TPlantedLink {
  const char* What;
  bool TargetExists;
  bool TargetIsFolder;
};

class PlantedLinks : public ::testing::TestWithParam<TPlantedLink> {
 protected:
  // Plants a link at `name` to a target outside the set; gives the target.
  std::string Plant(const std::string& name) {
    const TPlantedLink& p = GetParam();
    const std::string target = dir / ("home/" + ExtractFileName(name) + ".target");
    ::mkdir((dir / "home").c_str(), 0755);
    if (p.TargetExists && p.TargetIsFolder) ::mkdir(target.c_str(), 0755);
    if (p.TargetExists && !p.TargetIsFolder) dir.Write("home/" + ExtractFileName(name) + ".target", "user's own");
    EXPECT_EQ(::symlink(target.c_str(), name.c_str()), 0);
    return target;
  }
  // The target is as it was (or still absent) and the name holds a file of
  // its own with `text`.
  void ExpectReplaced(const std::string& name, const std::string& target, const std::string& text) {
    const TPlantedLink& p = GetParam();
    EXPECT_TRUE(S_ISREG(LStat(name).st_mode)) << name;
    EXPECT_EQ(TempDir::Read(name), text);
    if (!p.TargetExists) {
      EXPECT_FALSE(Exists(target));
    } else if (p.TargetIsFolder) {
      EXPECT_TRUE(std::filesystem::is_empty(target));
    } else {
      EXPECT_EQ(TempDir::Read(target), "user's own");
    }
  }
  TempDir dir;
};

TEST_P(PlantedLinks, AtTheBackupNameTheLinkIsReplacedAndTheUsersFileSaved) {
  const std::string file = dir.Write("set/sub.zu", "old");
  const std::string backup = file + ".backup";
  const std::string target = Plant(backup);
  const TWriteResult r = Save(file, "new", backup);
  ASSERT_TRUE(r.Ok()) << r.Reason;
  EXPECT_EQ(TempDir::Read(file), "new");
  ExpectReplaced(backup, target, "old");
  // The backup the set offers alone (before a reload from it) does the same.
  ASSERT_EQ(::unlink(backup.c_str()), 0);
  const std::string again = Plant(backup);
  EXPECT_EQ(MakeBackupCopy(file, backup), "");
  ExpectReplaced(backup, again, "new");
}

TEST_P(PlantedLinks, AtANameTheProgramMakesUpTheLinkIsReplaced) {
  for (const char* name : {"settings.json", "registry.ondrel", "scheme.xml", "Ondrel_error.log.x"}) {
    const std::string file = dir / name;
    const std::string target = Plant(file);
    const TWriteResult r = SaveMadeUp(file, "ours");
    ASSERT_TRUE(r.Ok()) << name << ": " << r.Reason;
    ExpectReplaced(file, target, "ours");
  }
  EXPECT_TRUE(TempFilesIn(dir.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(SafeFileWriter, PlantedLinks,
                         ::testing::Values(TPlantedLink{"ToAFile", true, false}, TPlantedLink{"Dangling", false, false},
                                           TPlantedLink{"ToAFolder", true, true}),
                         [](const auto& info) { return std::string(info.param.What); });

TEST(SafeFileWriter, ASecondNameAtANameTheProgramMakesUpIsReplacedNotWrittenThrough) {
  TempDir dir;
  const std::string users = dir.Write("home/.bashrc", "user's own");
  const std::string made = dir / "settings.json";
  ASSERT_EQ(::link(users.c_str(), made.c_str()), 0);
  ASSERT_TRUE(SaveMadeUp(made, "ours").Ok());
  EXPECT_EQ(TempDir::Read(users), "user's own");
  EXPECT_EQ(TempDir::Read(made), "ours");
  EXPECT_EQ(LStat(users).st_nlink, 1u);
}

// Names and paths as long as the system lets a file have: the temporary
// file beside them is shortened, and what a killed save left is still found.
struct TLongName {
  const char* What;
  std::size_t NameBytes;
  std::size_t PathBytes;  // 0: as the name makes it
};

class LongNames : public ::testing::TestWithParam<TLongName> {};

TEST_P(LongNames, AFileThatOpensCanBeSaved) {
  TempDir dir;
  const TLongName& p = GetParam();
  std::string folder = dir.Path();
  if (p.PathBytes > 0) {
    // Folders of 200 bytes down to the length asked for.
    std::size_t room = p.PathBytes - folder.size() - 1 - p.NameBytes;  // for "/<folder>" parts
    while (room > 202) {
      folder += "/" + std::string(200, 'd');
      ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0) << folder.size();
      room -= 201;
    }
    folder += "/" + std::string(room - 1, 'e');
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  }
  std::string name(p.NameBytes - 3, 'n');
  name += ".zu";
  const std::string file = folder + "/" + name;
  if (p.PathBytes > 0) {
    ASSERT_EQ(file.size(), p.PathBytes);
  }
  {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    ASSERT_GE(fd, 0) << SystemErrorText(errno);
    ASSERT_EQ(::write(fd, "old", 3), 3);
    ::close(fd);
  }
  const TWriteResult r = Save(file, "new");
  ASSERT_TRUE(r.Ok()) << r.Reason;
  EXPECT_FALSE(r.InPlace);
  EXPECT_EQ(TempDir::Read(file), "new");

  // A save killed while it writes leaves its temporary file; the next save
  // removes it.
  const pid_t child = ::fork();
  if (child == 0) {
    FileWriteHooks().PWrite = [](int, const void*, std::size_t, off_t) -> ssize_t {
      for (;;) ::pause();
    };
    ::_exit(Save(file, "never").Ok() ? 0 : 1);
  }
  auto temps = [&] {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(std::filesystem::path(folder)))
      if (e.path().filename().string().ends_with(".tmp")) ++n;
    return n;
  };
  while (temps() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_EQ(temps(), 1);
  ASSERT_TRUE(Save(file, "newer").Ok());
  EXPECT_EQ(temps(), 0);
  EXPECT_EQ(TempDir::Read(file), "newer");
}

INSTANTIATE_TEST_SUITE_P(SafeFileWriter, LongNames,
                         ::testing::Values(TLongName{"Name250", 250, 0}, TLongName{"Name255", 255, 0},
                                           TLongName{"Path4080", 40, 4080}, TLongName{"Path4095", 60, 4095}),
                         [](const auto& info) { return std::string(info.param.What); });

TEST(SafeFileWriter, ASameSizeChangeInPlaceWithItsTimePutBackIsNoticed) {
  TempDir dir;
  const std::string file = dir.Write("a.zu", "read");
  const TDiskCopy read = DiskCopyOf(file);
  struct stat before = LStat(file);
  // Another program writes in place and puts the modification time back.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  {
    const int fd = ::open(file.c_str(), O_WRONLY);
    ASSERT_EQ(::pwrite(fd, "RE", 2, 0), 2);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::futimens(fd, times), 0);
    ::close(fd);
  }
  ASSERT_EQ(LStat(file).st_size, before.st_size);
  ASSERT_EQ(LStat(file).st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_EQ(Save(file, "mine", "", &read).Outcome, TWriteOutcome::ChangedOnDisk);
  EXPECT_EQ(TempDir::Read(file), "REad");

  // Our own saves, renamed or in place, are the copies the next save expects.
  TDiskCopy now = DiskCopyOf(file);
  for (int round = 0; round < 3; ++round) {
    const TWriteResult r = Save(file, "mine " + std::to_string(round), "", &now);
    ASSERT_TRUE(r.Ok()) << round << ": " << r.Reason;
    now = r.Written;
  }
  ASSERT_EQ(::link(file.c_str(), (dir / "second.zu").c_str()), 0);
  now = DiskCopyOf(file);
  const test::TEnvGuard state("XDG_STATE_HOME", (dir.Path() + "/state").c_str());
  for (int round = 0; round < 3; ++round) {
    const TWriteResult r = Save(file, "in place " + std::to_string(round), "", &now);
    ASSERT_TRUE(r.Ok()) << round << ": " << r.Reason;
    EXPECT_TRUE(r.InPlace);
    now = r.Written;
  }
}

TEST(SafeFileWriter, ABackslashIsALetterOfAName) {
  TempDir dir;
  const std::string file = dir.Write("a\\b.zu", "old");
  const TWriteResult r = Save(file, "new", file + ".backup");
  ASSERT_TRUE(r.Ok()) << r.Reason;
  EXPECT_EQ(TempDir::Read(file), "new");
  EXPECT_EQ(TempDir::Read(file + ".backup"), "old");
  // A link of such a name to a file beside it.
  const std::string link = dir / "l\\k.zu";
  ASSERT_EQ(::symlink("a\\b.zu", link.c_str()), 0);
  ASSERT_TRUE(Save(link, "through").Ok());
  EXPECT_TRUE(S_ISLNK(LStat(link).st_mode));
  EXPECT_EQ(TempDir::Read(file), "through");
  EXPECT_TRUE(TempFilesIn(dir.Path()).empty());
}

}  // namespace
}  // namespace ond
