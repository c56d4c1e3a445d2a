// Saves that must write into the existing file (a file with several names, a
// writable file in a folder that refuses new files, another user's file):
// the old bytes are kept whole beside the write, a failed write puts them
// back, a killed one leaves them where the next save finds them, and without
// any such copy the caller is asked first.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/ProgramTexts.h"
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

// Two saves of one file at once: the first is held at its first flush (its
// copy of the old bytes, after its checks and before the file changes) until
// the second has met the lock on the file or has ended.
struct THold {
  std::mutex Mutex;
  std::condition_variable Changed;
  bool FirstHeld = false, Released = false, SecondWaits = false, SecondDone = false;
} gHold;

int HoldTheFirstFlush(int fd) {
  std::unique_lock<std::mutex> lock(gHold.Mutex);
  if (!gHold.FirstHeld) {
    gHold.FirstHeld = true;
    gHold.Changed.notify_all();
    gHold.Changed.wait(lock, [] { return gHold.Released; });
  }
  return ::fsync(fd);
}

int NoteAWaitForTheLock(int fd, int operation) {
  const int r = ::flock(fd, operation);
  const int err = errno;
  if (r != 0 && err == EWOULDBLOCK) {
    const std::lock_guard<std::mutex> lock(gHold.Mutex);
    gHold.SecondWaits = true;
    gHold.Changed.notify_all();
  }
  errno = err;
  return r;
}

// What the file itself went through, in order: writes, and flushes with
// whether a copy of its old bytes still stood then.
std::vector<std::string> gEvents;
std::string gCopies;  // the folder whose copies count
bool CopyThere() {
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(gCopies, ec))
    if (!e.path().filename().string().starts_with(".")) return true;
  return false;
}
ssize_t NoteWrites(int fd, const void* data, std::size_t size, off_t offset) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_ino == gFailInode) {
    if (!gFailed && gWrittenToIt > 0) {
      gFailed = true;
      gEvents.push_back("write fails");
      errno = EIO;
      return -1;
    }
    gEvents.push_back("write");
    // Pieces of 16 KB, so that a failure falls after the first.
    size = std::min<std::size_t>(size, 16 * 1024);
    gWrittenToIt += size;
  }
  return ::pwrite(fd, data, size, offset);
}
int NoteFlushes(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_ino == gFailInode)
    gEvents.push_back(CopyThere() ? "flush, copy there" : "flush, no copy");
  return ::fsync(fd);
}
int FailFlushes(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_ino == gFailInode) {
    errno = EIO;
    return -1;
  }
  return ::fsync(fd);
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

TEST_P(InPlaceSave, OfTwoSavesAtOnceTheSecondWaitsAndFindsTheFileChanged) {
  ASSERT_TRUE(Save(Text('o', 256 * 1024, 0)).Ok());
  // Both read this; the first writes a shorter text, so that nothing about
  // the file changes before the first byte of it does.
  const TDiskCopy read = DiskCopyOf(file);
  const std::string first = Text('f', 128 * 1024, 1), second = Text('s', 64 * 1024, 2);
  gHold.FirstHeld = gHold.Released = gHold.SecondWaits = gHold.SecondDone = false;
  FileWriteHooks().FSync = HoldTheFirstFlush;
  FileWriteHooks().Flock = NoteAWaitForTheLock;
  TWriteResult r1, r2;
  std::thread one([&] { r1 = Save(first, false, "", &read); });
  {
    std::unique_lock<std::mutex> lock(gHold.Mutex);
    gHold.Changed.wait(lock, [] { return gHold.FirstHeld; });
  }
  std::thread two([&] {
    r2 = Save(second, false, "", &read);
    const std::lock_guard<std::mutex> lock(gHold.Mutex);
    gHold.SecondDone = true;
    gHold.Changed.notify_all();
  });
  {
    std::unique_lock<std::mutex> lock(gHold.Mutex);
    gHold.Changed.wait(lock, [] { return gHold.SecondWaits || gHold.SecondDone; });
    gHold.Released = true;
    gHold.Changed.notify_all();
  }
  one.join();
  two.join();
  FileWriteHooks().FSync = nullptr;
  FileWriteHooks().Flock = nullptr;
  ASSERT_TRUE(r1.Ok()) << r1.Reason;
  EXPECT_EQ(r2.Outcome, TWriteOutcome::ChangedOnDisk) << "the second save wrote while the first did";
  EXPECT_TRUE(TempDir::Read(file) == first);
  EXPECT_TRUE(Copies().empty());
  // Asked and answered, the second save writes its text whole.
  const TWriteResult again = Save(second);
  ASSERT_TRUE(again.Ok()) << again.Reason;
  EXPECT_TRUE(TempDir::Read(file) == second);
}

// The file is flushed before the copy of its old bytes goes, on success and
// when the old bytes are put back after a failed write.
TEST_P(InPlaceSave, TheFileIsFlushedBeforeItsCopyIsRemoved) {
  for (const bool failing : {false, true}) {
    SCOPED_TRACE(failing ? "a write fails" : "the write succeeds");
    const std::string old = Text('o', 64 * 1024, 1);
    ASSERT_TRUE(Save(old).Ok());
    gFailInode = StatOf(file).st_ino;
    gCopies = state + "/ondrel";
    gEvents.clear();
    gFailed = !failing;
    gWrittenToIt = 0;
    FileWriteHooks().PWrite = NoteWrites;
    FileWriteHooks().FSync = NoteFlushes;
    const TWriteResult r = Save(Text('n', 96 * 1024, 2));
    FileWriteHooks().PWrite = nullptr;
    FileWriteHooks().FSync = nullptr;
    EXPECT_EQ(r.Ok(), !failing) << r.Reason;
    ASSERT_FALSE(gEvents.empty());
    EXPECT_EQ(gEvents.back(), "flush, copy there");
    EXPECT_TRUE(Copies().empty());
    EXPECT_TRUE(TempDir::Read(file) == (failing ? old : Text('n', 96 * 1024, 2)));
  }
}

TEST_P(InPlaceSave, AFailedFlushSaysWhatTheFileHolds) {
  const std::string old = Text('o', 64 * 1024, 1), fresh = Text('n', 32 * 1024, 2);
  ASSERT_TRUE(Save(old).Ok());
  gFailInode = StatOf(file).st_ino;
  FileWriteHooks().FSync = FailFlushes;
  const TWriteResult r = Save(fresh);
  FileWriteHooks().FSync = nullptr;
  EXPECT_EQ(r.Outcome, TWriteOutcome::Failed);
  EXPECT_EQ(r.Error, EIO);
  // The old bytes are back in the file, though the disk did not confirm
  // them: the copy stays, and the message says both.
  EXPECT_EQ(r.Restore, TInPlaceRestore::PutBackNotFlushed);
  EXPECT_TRUE(TempDir::Read(file) == old);
  ASSERT_EQ(Copies().size(), 1u);
  EXPECT_EQ(r.SafetyCopy, state + "/ondrel/" + Copies()[0]);
  EXPECT_TRUE(TempDir::Read(r.SafetyCopy) == old);
  EXPECT_EQ(r.Reason.find("part of the new text"), std::string::npos) << r.Reason;
  EXPECT_NE(r.Reason.find(ProgramText(TProgramText::OldTextPutBackNotFlushed, {r.SafetyCopy})), std::string::npos)
      << r.Reason;
  ASSERT_EQ(::unlink(r.SafetyCopy.c_str()), 0);

  // Without any copy the whole new text is in the file, not part of it.
  std::filesystem::remove_all(state);
  dir.Write("state", "a file where the folder would be");
  FileWriteHooks().FSync = FailFlushes;
  const TWriteResult bare = Save(fresh, true);
  FileWriteHooks().FSync = nullptr;
  EXPECT_EQ(bare.Restore, TInPlaceRestore::NewTextNotFlushed);
  EXPECT_TRUE(TempDir::Read(file) == fresh);
  EXPECT_EQ(bare.Reason.find("part of the new text"), std::string::npos) << bare.Reason;
  EXPECT_NE(bare.Reason.find(ProgramText(TProgramText::NewTextNotFlushed)), std::string::npos) << bare.Reason;
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
