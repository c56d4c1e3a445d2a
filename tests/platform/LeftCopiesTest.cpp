// The copies of old bytes that interrupted in-place saves leave in the state
// folder: only what the program made counts as one, the newest is named
// first, nothing found there is ever removed or replaced, and the folder is
// the user's alone. Without any state folder, the reason says so.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/FileSystem.h"
#include "platform/core/ProgramTexts.h"
#include "platform/core/SafeFileWriter.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/LaterCopies.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

using test::TempDir;

ino_t gInode = 0;
ssize_t FailOnTheFile(int fd, const void* data, std::size_t size, off_t offset) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_ino == gInode) {
    errno = EIO;
    return -1;
  }
  return ::pwrite(fd, data, size, offset);
}

mode_t ModeOf(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class LeftCopies : public ::testing::Test {
 protected:
  void SetUp() override {
    file = dir.Write("set/config.zu", "old");
    // A second name makes every save of it one in place.
    ASSERT_EQ(::link(file.c_str(), (dir / "set/other.zu").c_str()), 0);
  }
  void TearDown() override { FileWriteHooks() = TFileWriteHooks(); }

  TWriteResult Save(const std::string& text) {
    TFileWrite w;
    w.FileName = file;
    w.Data = text;
    w.UserFile = true;
    return WriteFileSafely(w);
  }
  // A copy as an interrupted save leaves it: the write fails and the old
  // bytes cannot be put back. Its full name.
  std::string LeaveACopy() {
    struct stat st {};
    ::stat(file.c_str(), &st);
    gInode = st.st_ino;
    FileWriteHooks().PWrite = FailOnTheFile;
    const TWriteResult r = Save("never written");
    FileWriteHooks().PWrite = nullptr;
    EXPECT_EQ(r.Restore, TInPlaceRestore::KeptInCopy) << r.Reason;
    return r.SafetyCopy;
  }

  TempDir dir;
  std::string file;
  std::string state = dir / "state";
  test::TEnvGuard stateHome{"XDG_STATE_HOME", state.c_str()};
};

TEST_F(LeftCopies, TheNewestIsNamedAndOnlyTheProgramsOwnCount) {
  const std::string first = LeaveACopy();
  ASSERT_TRUE(first.ends_with(".copy")) << first;
  const test::TLaterCopies later = test::PlantLaterCopies(first);
  const std::string &prefix = later.Prefix, &second = later.Second, &tenth = later.Tenth;
  // What the program never makes under a copy's name.
  const std::string elsewhere = dir.Write("elsewhere.txt", "not a copy");
  ASSERT_EQ(::symlink(elsewhere.c_str(), (prefix + "3.copy").c_str()), 0);
  ASSERT_EQ(::mkfifo((prefix + "4.copy").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir((prefix + "5.copy").c_str(), 0700), 0);
  dir.Write((prefix + "6.copy").substr(dir.Path().size() + 1), "two names");
  ASSERT_EQ(::link((prefix + "6.copy").c_str(), (dir / "second-name").c_str()), 0);
  dir.Write((prefix + "07.copy").substr(dir.Path().size() + 1), "a number the program never writes");
  for (const std::string& planted : {prefix + "3.copy", prefix + "4.copy", prefix + "5.copy"})
    ASSERT_TRUE(test::SetFileTime(planted, 1'300'000'000)) << planted;

  EXPECT_EQ(LeftSafetyCopy(file), second);
  EXPECT_EQ(LeftSafetyCopies(file), (std::vector<std::string>{second, tenth, first}));
  const std::vector<std::vector<std::string>> both = LeftSafetyCopies(std::vector<std::string>{file, elsewhere, ""});
  ASSERT_EQ(both.size(), 3u);
  EXPECT_EQ(both[0], (std::vector<std::string>{second, tenth, first}));
  EXPECT_TRUE(both[1].empty());
  EXPECT_TRUE(both[2].empty());

  // A save finds them all, names the newest, and takes none of the names.
  const TWriteResult r = Save("new");
  ASSERT_TRUE(r.Ok()) << r.Reason;
  EXPECT_EQ(r.LeftCopy, second);
  EXPECT_EQ(r.LeftCopies, (std::vector<std::string>{second, tenth, first}));
  EXPECT_EQ(TempDir::Read(second), "second");
  EXPECT_EQ(TempDir::Read(tenth), "tenth");
  EXPECT_EQ(TempDir::Read(first), "old");
  for (const std::string& planted : {prefix + "3.copy", prefix + "4.copy", prefix + "5.copy", prefix + "6.copy"})
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::symlink_status(planted))) << planted;
  EXPECT_EQ(TempDir::Read(elsewhere), "not a copy");
}

TEST_F(LeftCopies, NothingButWhatTheProgramMadeIsALeftCopy) {
  const std::string first = LeaveACopy();
  const std::string prefix = first.substr(0, first.size() - 4);
  ASSERT_EQ(::unlink(first.c_str()), 0);
  const std::string elsewhere = dir.Write("elsewhere.txt", "not a copy");
  ASSERT_EQ(::symlink(elsewhere.c_str(), first.c_str()), 0);
  ASSERT_EQ(::mkfifo((prefix + "2.copy").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir((prefix + "3.copy").c_str(), 0700), 0);
  EXPECT_EQ(LeftSafetyCopy(file), "");
  const TWriteResult r = Save("new");
  ASSERT_TRUE(r.Ok()) << r.Reason;
  EXPECT_EQ(r.LeftCopy, "");
  EXPECT_TRUE(r.LeftCopies.empty());
  // The link is no copy, and it is not replaced by one either.
  EXPECT_EQ(TempDir::Read(elsewhere), "not a copy");
  EXPECT_TRUE(std::filesystem::is_symlink(first));
}

TEST_F(LeftCopies, TheStateFolderIsTheUsersAlone) {
  const mode_t mask = ::umask(022);
  ASSERT_TRUE(Save("new").Ok());
  EXPECT_EQ(ModeOf(state + "/ondrel"), 0700u);
  // A folder an older run made open to others is closed again.
  ASSERT_EQ(::chmod((state + "/ondrel").c_str(), 0755), 0);
  ASSERT_TRUE(Save("newer").Ok());
  EXPECT_EQ(ModeOf(state + "/ondrel"), 0700u);
  ::umask(mask);
  EXPECT_EQ(StateFolder(), state + "/ondrel/");
  EXPECT_EQ(MakePrivateFolders(dir.Write("a-file", "x")), ENOTDIR);
}

TEST_F(LeftCopies, WithoutAnyStateFolderTheReasonSaysSo) {
  const test::TEnvGuard noState("XDG_STATE_HOME", nullptr);
  const test::TEnvGuard noHome("HOME", nullptr);
  EXPECT_EQ(StateFolder(), "");
  const TWriteResult r = Save("new");
  EXPECT_EQ(r.Outcome, TWriteOutcome::NoSafetyCopy);
  EXPECT_EQ(r.SubjectName, "");
  EXPECT_EQ(r.Error, 0);
  EXPECT_EQ(r.Reason, ProgramText(TProgramText::NoStateFolder, {file}));
  EXPECT_EQ(TempDir::Read(file), "old");
  // A relative HOME names no folder either.
  const test::TEnvGuard relative("HOME", "home");
  EXPECT_EQ(StateFolder(), "");
}

}  // namespace
}  // namespace ond
