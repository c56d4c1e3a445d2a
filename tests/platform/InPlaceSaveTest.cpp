// Saves that must write into the existing file (a file with several names, a
// writable file in a folder that refuses new files, another user's file):
// the old bytes are kept whole beside the write, a failed write puts them
// back, a killed one leaves them where the next save finds them, and without
// any such copy the caller is asked first.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/SafeFileWriter.h"
#include "platform/core/SysUtils.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/NoFileOverride.h"
#include "tests/support/KilledChild.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

using test::TempDir;

// How a file comes to be written in place.
enum class TWhy { HardLink, ReadOnlyFolder, OwnerNotKept };

struct TCase {
  const char* What;
  TWhy Why;
};

std::string Text(char fill, std::size_t size, int round) {
  std::string t(size, fill);
  for (std::size_t i = 0; i < t.size(); i += 4096) t[i] = static_cast<char>('0' + round % 10);
  return t;
}

struct stat StatOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st;
}

int FailChown(int, uid_t, gid_t) {
  errno = EPERM;
  return -1;
}

// Fails one write to the file with this inode once 64 KB of it are written.
ino_t gFailInode = 0;
std::size_t gWrittenToIt = 0;
bool gFailed = false;
ssize_t FailHalfway(int fd, const void* data, std::size_t size, off_t offset) {
  struct stat st {};
  if (!gFailed && ::fstat(fd, &st) == 0 && st.st_ino == gFailInode) {
    if (gWrittenToIt >= 64 * 1024) {
      gFailed = true;
      errno = EIO;
      return -1;
    }
    size = std::min(size, 64 * 1024 - gWrittenToIt);
    gWrittenToIt += size;
  }
  return ::pwrite(fd, data, size, offset);
}

// What a second copy of the program, saving the same file while this write
// runs, would take for a copy a killed run left: asked once, halfway.
std::string gSeenFile, gSeenMeanwhile;
bool gAsked = false;
ssize_t AskForLeftCopyHalfway(int fd, const void* data, std::size_t size, off_t offset) {
  struct stat st {};
  if (!gAsked && offset > 0 && ::fstat(fd, &st) == 0 && st.st_ino == gFailInode) {
    gAsked = true;
    gSeenMeanwhile = LeftSafetyCopy(gSeenFile);
  }
  return ::pwrite(fd, data, std::min<std::size_t>(size, 64 * 1024), offset);
}

ssize_t InPieces(int fd, const void* data, std::size_t size, off_t offset) {
  ::usleep(100);
  return ::pwrite(fd, data, std::min<std::size_t>(size, 64 * 1024), offset);
}

class InPlaceSave : public ::testing::TestWithParam<TCase> {
 protected:
  void SetUp() override {
    file = dir.Write("game/config.zu", "old");
    if (GetParam().Why == TWhy::HardLink) {
      ASSERT_EQ(::link(file.c_str(), (dir / "other.zu").c_str()), 0);
    }
    if (GetParam().Why == TWhy::OwnerNotKept) {
      // Root can give the file away for real; anyone can make keeping the
      // owner fail.
      if (::geteuid() == 0) {
        ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
      }
      ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
      FileWriteHooks().FChown = FailChown;
    }
  }
  void TearDown() override {
    FileWriteHooks() = TFileWriteHooks();
    ::chmod((dir / "game").c_str(), 0755);
  }
  // Saves as the user (the folder's refusal holds for root too).
  TWriteResult Save(const std::string& data, bool withoutCopy = false, const std::string& backup = "",
                    const TDiskCopy* expected = nullptr) {
    TFileWrite w;
    w.FileName = file;
    w.Data = data;
    w.UserFile = true;
    w.InPlaceWithoutCopy = withoutCopy;
    w.BackupName = backup;
    w.Expected = expected;
    if (GetParam().Why == TWhy::ReadOnlyFolder) ::chmod((dir / "game").c_str(), 0555);
    const test::TNoFileOverride asUser;
    const TWriteResult r = WriteFileSafely(w);
    ::chmod((dir / "game").c_str(), 0755);
    return r;
  }
  std::vector<std::string> Copies() const {
    std::vector<std::string> found;
    if (!std::filesystem::exists(state + "/ondrel")) return found;
    // Hidden names are copies still being made (a kill leaves them, the next
    // save removes them).
    for (const auto& e : std::filesystem::directory_iterator(state + "/ondrel"))
      if (!e.path().filename().string().starts_with(".")) found.push_back(e.path().filename().string());
    return found;
  }

  TempDir dir;
  std::string file;
  std::string state = dir / "state";
  test::TEnvGuard stateHome{"XDG_STATE_HOME", state.c_str()};
};

TEST_P(InPlaceSave, WritesIntoTheFileAndLeavesNoCopy) {
  const ino_t inode = StatOf(file).st_ino;
  const uid_t owner = StatOf(file).st_uid;
  const TWriteResult r = Save("new text");
  ASSERT_TRUE(r.Ok()) << r.Reason;
  EXPECT_TRUE(r.InPlace);
  EXPECT_EQ(StatOf(file).st_ino, inode);
  EXPECT_EQ(StatOf(file).st_uid, owner);
  EXPECT_EQ(TempDir::Read(file), "new text");
  EXPECT_EQ(r.Written, DiskCopyOf(file));
  EXPECT_TRUE(r.LeftCopy.empty());
  EXPECT_TRUE(Copies().empty());
}

TEST_P(InPlaceSave, AWriteErrorHalfwayPutsTheOldBytesBack) {
  const std::string old = Text('o', 1 << 20, 1);
  ASSERT_TRUE(Save(old).Ok());
  gFailInode = StatOf(file).st_ino;
  gWrittenToIt = 0;
  gFailed = false;
  FileWriteHooks().PWrite = FailHalfway;
  const TWriteResult r = Save(Text('n', 3 << 20, 2));
  FileWriteHooks().PWrite = nullptr;
  ASSERT_TRUE(gFailed);
  EXPECT_EQ(r.Outcome, TWriteOutcome::Failed);
  EXPECT_EQ(r.Error, EIO);
  EXPECT_EQ(r.Restore, TInPlaceRestore::PutBack);
  EXPECT_NE(r.Reason.find("put back"), std::string::npos) << r.Reason;
  EXPECT_TRUE(TempDir::Read(file) == old) << "the file holds neither its old bytes";
  EXPECT_TRUE(Copies().empty());
  // What the failed write left is what the next save expects: our own
  // write is not "changed by another program".
  ASSERT_TRUE(r.Touched);
  EXPECT_EQ(r.Written, DiskCopyOf(file));
  const TWriteResult next = Save("after", false, "", &r.Written);
  EXPECT_TRUE(next.Ok()) << next.Reason;
}

TEST_P(InPlaceSave, ACopyInUseByARunningSaveIsNotTakenForALeftOne) {
  ASSERT_TRUE(Save(Text('o', 1 << 20, 1)).Ok());
  gSeenFile = file;
  gFailInode = StatOf(file).st_ino;
  gSeenMeanwhile = "not asked";
  gAsked = false;
  FileWriteHooks().PWrite = AskForLeftCopyHalfway;
  const TWriteResult r = Save(Text('n', 1 << 20, 2));
  FileWriteHooks().PWrite = nullptr;
  ASSERT_TRUE(r.Ok()) << r.Reason;
  ASSERT_TRUE(gAsked);
  // The running save's own copy stood there meanwhile; a killed run's copy
  // is told (see the kill loop below).
  EXPECT_EQ(gSeenMeanwhile, "");
  EXPECT_TRUE(Copies().empty());
}

TEST_P(InPlaceSave, WithoutAnyCopyTheCallerIsAskedFirst) {
  // The state folder cannot be made: a file stands where it would go.
  dir.Write("state", "a file");
  const TWriteResult refused = Save("new");
  EXPECT_EQ(refused.Outcome, TWriteOutcome::NoSafetyCopy);
  EXPECT_EQ(refused.Subject, TWriteSubject::SafetyCopy);
  EXPECT_EQ(refused.Error, ENOTDIR);
  EXPECT_EQ(TempDir::Read(file), "old");
  // A backup the user asked for is such a copy.
  if (GetParam().Why != TWhy::ReadOnlyFolder) {
    const TWriteResult backed = Save("with backup", false, file + ".backup");
    ASSERT_TRUE(backed.Ok()) << backed.Reason;
    EXPECT_EQ(TempDir::Read(file + ".backup"), "old");
  }
  // The user said yes.
  const TWriteResult agreed = Save("new", true);
  ASSERT_TRUE(agreed.Ok()) << agreed.Reason;
  EXPECT_TRUE(agreed.InPlace);
  EXPECT_EQ(TempDir::Read(file), "new");
}

// Kills a save in place at random points: the file holds the old or the new
// bytes, or else the old bytes are whole in the copy the next save reports.
TEST_P(InPlaceSave, AKilledSaveLeavesTheOldOrTheNewBytesOrAReportedCopy) {
  std::mt19937 random(20261207);
  auto saveInChild = [&](const std::string& text, std::chrono::microseconds delay) {
    return test::RunInKilledChild(
        [&] {
          // Writes go in pieces, so that the kills fall inside them too.
          FileWriteHooks().PWrite = InPieces;
          return Save(text).Ok();
        },
        delay);
  };
  constexpr std::size_t kSize = 1 << 20;
  ASSERT_TRUE(Save(Text('a', kSize, 0)).Ok());
  const auto whole = saveInChild(Text('b', kSize, 0), std::chrono::microseconds(-1));
  std::uniform_int_distribution<long> when(0, whole.count() * 5 / 4 + 1);

  int torn = 0, left = 0;
  constexpr int kRounds = 16;
  for (int round = 1; round <= kRounds; ++round) {
    const std::string old = Text('o', kSize, round), fresh = Text('n', kSize - 4096, round);
    const TWriteResult before = Save(old);
    ASSERT_TRUE(before.Ok()) << before.Reason;
    saveInChild(fresh, std::chrono::microseconds(when(random)));
    const std::string now = TempDir::Read(file);
    if (now == old || now == fresh) {
      // A copy may stay from a kill after the write; it holds the old bytes.
      for (const std::string& c : Copies()) EXPECT_EQ(TempDir::Read(state + "/ondrel/" + c), old) << round;
    } else {
      ++torn;
      const std::vector<std::string> copies = Copies();
      ASSERT_EQ(copies.size(), 1u) << "round " << round << ": a torn file without its copy";
      EXPECT_EQ(TempDir::Read(state + "/ondrel/" + copies[0]), old) << round;
    }
    if (!Copies().empty()) {
      ++left;
      // The next save tells of it and leaves it.
      const std::string kept = Copies()[0];
      const TWriteResult next = Save(old);
      ASSERT_TRUE(next.Ok()) << next.Reason;
      EXPECT_EQ(next.LeftCopy, state + "/ondrel/" + kept) << round;
      EXPECT_EQ(Copies(), std::vector<std::string>{kept});
      ASSERT_EQ(::unlink((state + "/ondrel/" + kept).c_str()), 0);
    }
  }
  std::printf("torn %d, copies left %d of %d kills\n", torn, left, kRounds);
}

INSTANTIATE_TEST_SUITE_P(SafeFileWriter, InPlaceSave,
                         ::testing::Values(TCase{"HardLink", TWhy::HardLink},
                                           TCase{"ReadOnlyFolder", TWhy::ReadOnlyFolder},
                                           TCase{"OwnerNotKept", TWhy::OwnerNotKept}),
                         [](const auto& info) { return std::string(info.param.What); });

}  // namespace
}  // namespace ond
