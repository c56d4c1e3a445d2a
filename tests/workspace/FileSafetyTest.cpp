// The file helpers' guards: names that cannot be file names, files that
// must not be read whole, the mode of written files, and what a write leaves
// of files the user may not write, links, size limits and killed runs.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/NoFileOverride.h"
#include "tests/support/LanguageGuard.h"
#include "tests/support/TempDir.h"
#include "workspace/Compatibility.h"

// Every call of umask in this program comes here and is counted, so a test
// can tell that writing a file never changes the process-wide mask (another
// thread creating a file meanwhile would get the wrong mode).
namespace {
std::atomic<int> gUmaskCalls{0};
}
extern "C" mode_t umask(mode_t mask) __THROW {
  ++gUmaskCalls;
  return static_cast<mode_t>(::syscall(SYS_umask, mask));
}

namespace ond {
namespace {

using test::ErrorOf;
using test::TempDir;

TEST(FileSafety, NamesWithAZeroByteAreRefusedByEveryHelper) {
  const test::TLanguageGuard english(LangEnglish);  // the texts looked for are English
  TempDir dir;
  const std::string a = dir.Write("a.zu", "keep");
  const std::string cut = a + std::string(1, '\0') + "x";  // the system would see "a.zu"

  EXPECT_FALSE(FileExistsEx(cut));
  EXPECT_FALSE(DirectoryExists(dir.Path() + std::string(1, '\0')));
  EXPECT_EQ(ReadFileHead(cut, 10), "");
  EXPECT_NE(ErrorOf([&] { ReadFileText(cut); }).find("zero byte"), std::string::npos);
  const std::string message = ErrorOf([&] { WriteFileText(cut, "lost"); });
  EXPECT_NE(message.find("zero byte"), std::string::npos);
  EXPECT_NE(message.find("a.zu?x"), std::string::npos) << message;
  EXPECT_THROW(WriteFileText(cut, "lost", true), EWriteError);
  EXPECT_NE(TryWriteFileText(cut, "lost"), "");

  errno = 0;
  EXPECT_FALSE(ForceFolders(dir / ("d" + std::string(1, '\0') + "/e")));
  EXPECT_EQ(errno, EINVAL);
  EXPECT_FALSE(DirectoryExists(dir / "d"));
  EXPECT_FALSE(RenameFile(cut, dir / "b.zu"));
  EXPECT_FALSE(RenameFile(dir / "none.zu", cut));
  EXPECT_FALSE(DeleteFile(cut));
  EXPECT_EQ(TempDir::Read(a), "keep");
  EXPECT_FALSE(FileExistsEx(dir / "b.zu"));

  // The plain forms still work.
  EXPECT_TRUE(RenameFile(a, dir / "b.zu"));
  EXPECT_TRUE(DeleteFile(dir / "b.zu"));
  EXPECT_FALSE(DeleteFile(dir / "b.zu"));
  EXPECT_EQ(errno, ENOENT);
}

TEST(FileSafety, OnlyRegularFilesUpToTheLimitAreRead) {
  const test::TLanguageGuard english(LangEnglish);  // the texts looked for are English
  TempDir dir;
  // Exactly at the limit is read; one byte more is a read error naming the limit.
  const std::string f = dir.Write("ten.zu", "0123456789");
  EXPECT_EQ(ReadFileText(f, 10), "0123456789");
  EXPECT_THROW(ReadFileText(f, 9), EReadError);

  // A sparse file larger than the limit is refused before anything is read
  // or allocated.
  const std::string big = dir.Write("big.zu", "");
  ASSERT_EQ(::truncate(big.c_str(), MaxTextFileSize + 1), 0);
  const std::string tooLarge = ErrorOf([&] { ReadFileText(big); });
  EXPECT_NE(tooLarge.find("big.zu"), std::string::npos);
  EXPECT_NE(tooLarge.find("512 MB"), std::string::npos) << tooLarge;

  // A file of the system reports no size and goes on: reading stops at the limit.
  if (::access("/proc/self/pagemap", R_OK) == 0) {
    EXPECT_THROW(ReadFileText("/proc/self/pagemap", 64 * 1024), EReadError);
  }
  // One that ends is read whole, beyond the size it reported.
  EXPECT_NE(ReadFileText("/proc/self/status").find("\nPid:"), std::string::npos);
  // Files of every size around the read buffer's edges come back whole.
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{4095}, std::size_t{4096},
                                 std::size_t{65537}}) {
    std::string bytes(size, 'x');
    for (std::size_t i = 0; i < size; i += 7) bytes[i] = static_cast<char>(i % 251);
    EXPECT_EQ(ReadFileText(dir.Write("sized.zu", bytes)), bytes) << size;
  }

  // A pipe would never end (or never answer); a folder is no file.
  ASSERT_EQ(::mkfifo((dir / "pipe.zu").c_str(), 0600), 0);
  EXPECT_NE(ErrorOf([&] { ReadFileText(dir / "pipe.zu"); }).find("Not a regular file"), std::string::npos);
  EXPECT_EQ(ReadFileHead(dir / "pipe.zu", 10), "");
  EXPECT_NE(ErrorOf([&] { ReadFileText(dir.Path()); }).find(SystemErrorText(EISDIR)), std::string::npos);
  EXPECT_NE(ErrorOf([&] { ReadFileText(dir / "none.zu"); }).find(SystemErrorText(ENOENT)), std::string::npos);
}

TEST(FileSafety, WrittenFilesKeepTheirModeAndTheMaskIsLeftAlone) {
  TempDir dir;
  const mode_t saved = ::umask(027);
  gUmaskCalls = 0;
  const std::string fresh = dir / "fresh.zu";
  WriteFileText(fresh, "new");
  const std::string old = dir.Write("old.zu", "old");
  ASSERT_EQ(::chmod(old.c_str(), 0604), 0);
  WriteFileText(old, "replaced");
  const int calls = gUmaskCalls;
  ::umask(saved);

  EXPECT_EQ(calls, 0);
  struct stat st {};
  ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);  // the usual mode under the mask
  ASSERT_EQ(::stat(old.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);  // the old file's own bits
  EXPECT_EQ(TempDir::Read(old), "replaced");
}

}  // namespace
}  // namespace ond

namespace ond {
namespace {

using test::TempDir;

struct stat StatOf(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st;
}

// The hidden temporary files in a folder.
std::vector<std::string> TempFilesIn(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    const std::string n = e.path().filename().string();
    if (n.starts_with(".") && n.ends_with(".tmp")) found.push_back(n);
  }
  return found;
}

// Runs `body` in a child process and gives how it ended: its exit code, or
// 1000 + the signal that ended it.
template <typename F>
int InChild(F&& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
}

TEST(FileSafety, AFileWithoutWritePermissionIsNotReplaced) {
  TempDir dir;
  const std::string f = dir.Write("ro.zu", "keep");
  ASSERT_EQ(::chmod(f.c_str(), 0444), 0);
  const test::TNoFileOverride asUser;
  // The folder would allow a rename; the file itself says no.
  EXPECT_EQ(TryWriteFileText(f, "lost"), SystemErrorText(EACCES));
  EXPECT_EQ(TempDir::Read(f), "keep");
  EXPECT_EQ(StatOf(f).st_mode & 07777, 0444u);
  EXPECT_TRUE(TempFilesIn(dir.Path()).empty());
}

TEST(FileSafety, AWritableFileInAReadOnlyFolderIsWrittenInPlace) {
  TempDir dir;
  const std::string folder = dir / "game";
  ASSERT_TRUE(ForceFolders(folder));
  const std::string f = dir.Write("game/a.zu", "a longer old text");
  const ino_t inode = StatOf(f).st_ino;
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  {
    const test::TNoFileOverride asUser;
    EXPECT_EQ(TryWriteFileText(f, "new"), "");
    // A file that cannot be made there is still told with the reason.
    EXPECT_EQ(TryWriteFileText(folder + "/b.zu", "x"), SystemErrorText(EACCES));
  }
  ::chmod(folder.c_str(), 0755);
  EXPECT_EQ(TempDir::Read(f), "new");  // cut to the new length
  EXPECT_EQ(StatOf(f).st_ino, inode);
  EXPECT_TRUE(TempFilesIn(folder).empty());
}

TEST(FileSafety, HardLinksAndSymbolicLinksStayWhatTheUserMade) {
  TempDir dir;
  const std::string f = dir.Write("a.zu", "old");
  const std::string other = dir / "linked.zu";
  ASSERT_EQ(::link(f.c_str(), other.c_str()), 0);
  EXPECT_EQ(TryWriteFileText(f, "new text"), "");
  // Both names still reach one file, which holds the new text.
  EXPECT_EQ(StatOf(f).st_ino, StatOf(other).st_ino);
  EXPECT_EQ(TempDir::Read(other), "new text");

  const std::string target = dir.Write("real/t.zu", "old");
  const std::string link = dir / "link.zu";
  ASSERT_EQ(::symlink("real/t.zu", link.c_str()), 0);
  EXPECT_EQ(TryWriteFileText(link, "through"), "");
  EXPECT_TRUE(S_ISLNK(StatOf(link).st_mode));
  EXPECT_EQ(TempDir::Read(target), "through");
  // A link to a file not yet there makes the file it names.
  ASSERT_EQ(::symlink("real/later.zu", (dir / "dangling.zu").c_str()), 0);
  EXPECT_EQ(TryWriteFileText(dir / "dangling.zu", "made"), "");
  EXPECT_TRUE(S_ISLNK(StatOf(dir / "dangling.zu").st_mode));
  EXPECT_EQ(TempDir::Read(dir / "real/later.zu"), "made");
  EXPECT_TRUE(TempFilesIn(dir.Path()).empty());
}

TEST(FileSafety, AFileSizeLimitFailsTheWriteInsteadOfEndingTheProgram) {
  TempDir dir;
  const std::string f = dir.Write("big.zu", "old");
  const int ended = test::UnderFileSizeLimit(64 * 1024, [&] {
    const std::string reason = TryWriteFileText(f, std::string(1 << 20, 'x'));
    return reason == SystemErrorText(EFBIG) ? 0 : 3;
  });
  EXPECT_EQ(ended, 0) << "1000 + n: ended by signal n";
  EXPECT_EQ(TempDir::Read(f), "old");
  // The failed write took its temporary file with it.
  EXPECT_TRUE(TempFilesIn(dir.Path()).empty());
}

TEST(FileSafety, TemporaryFilesOfEndedRunsGoOnTheNextSave) {
  TempDir dir;
  const std::string f = dir.Write("a.zu", "old");
  // A process id that is surely gone: a child that has ended and been reaped.
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const std::string dead = "." + std::string("a.zu.") + std::to_string(gone) + "-7.tmp";
  const std::string deadBackup = ".a.zu.backup." + std::to_string(gone) + "-8.tmp";
  const std::string alive = ".a.zu." + std::to_string(::getppid()) + "-1.tmp";  // a running process's
  const std::string other = ".b.zu." + std::to_string(gone) + "-1.tmp";         // another file's
  const std::string odd = ".a.zu.x-1.tmp";                                        // not ours
  for (const std::string& n : {dead, deadBackup, alive, other, odd}) dir.Write(n, std::string(1000, 't'));

  EXPECT_EQ(TryWriteFileText(f, "new"), "");
  std::vector<std::string> left = TempFilesIn(dir.Path());
  std::sort(left.begin(), left.end());
  std::vector<std::string> expected{deadBackup, alive, other, odd};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(left, expected);
  // A save with a backup clears the backup's leftovers too.
  EXPECT_EQ(MakeBackupCopy(f, f + ".backup"), "");
  EXPECT_FALSE(FileExistsEx(dir / deadBackup));
  EXPECT_EQ(TempDir::Read(f + ".backup"), "new");
}

TEST(FileSafety, AFileThatReportsNoSizeIsReadInPiecesUpToTheLimit) {
  if (::access("/proc/self/pagemap", R_OK) != 0) GTEST_SKIP() << "no page map to read";
  // The page map reports size 0 and is far longer than the limit: the read
  // ends with the limit's error, holding no more than about the limit on
  // its way there (doubling a buffer held twice the limit at the end).
  constexpr std::int64_t kLimit = std::int64_t{64} << 20;
  const int ended = InChild([&] {
    rusage before {};
    ::getrusage(RUSAGE_SELF, &before);
    try {
      ReadFileText("/proc/self/pagemap", kLimit);
      return 2;
    } catch (const EReadError&) {
    }
    rusage after {};
    ::getrusage(RUSAGE_SELF, &after);
    const long grownKb = after.ru_maxrss - before.ru_maxrss;
    return grownKb < kLimit / 1024 * 3 / 2 ? 0 : 3;
  });
  EXPECT_EQ(ended, 0) << "3: the peak memory grew past one and a half times the limit";
}

}  // namespace
}  // namespace ond
