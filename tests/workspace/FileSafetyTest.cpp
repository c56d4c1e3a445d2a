// The file helpers' guards: names that cannot be file names, files that
// must not be read whole, and the mode of written files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <string>

#include "platform/core/Classes.h"
#include "tests/support/ErrorOf.h"
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
