// The error log's name is the program's own: whatever is planted there (a
// link to a file of the user's, a dangling link, a link to a folder, a second
// name of another file, a pipe) is replaced by a log of its own, never
// appended to.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/core/Classes.h"
#include "services/UErrorLog.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

enum class TPlant { LinkToFile, DanglingLink, LinkToFolder, SecondName, Pipe };

std::string PlantName(const ::testing::TestParamInfo<TPlant>& info) {
  static const char* const names[] = {"LinkToFile", "DanglingLink", "LinkToFolder", "SecondName", "Pipe"};
  return names[static_cast<int>(info.param)];
}

class ErrorLogPlanted : public ::testing::TestWithParam<TPlant> {};

TEST_P(ErrorLogPlanted, IsReplacedAndTheTargetLeftAlone) {
  test::TempDir dir;
  const std::string target = dir / "home/.bashrc";
  const std::string log = dir / "bin/Ondrel_error.log";
  std::filesystem::create_directories(dir / "home");
  std::filesystem::create_directories(dir / "bin");
  switch (GetParam()) {
    case TPlant::LinkToFile:
      dir.Write("home/.bashrc", "user's own");
      ASSERT_EQ(::symlink(target.c_str(), log.c_str()), 0);
      break;
    case TPlant::DanglingLink:
      ASSERT_EQ(::symlink(target.c_str(), log.c_str()), 0);
      break;
    case TPlant::LinkToFolder:
      std::filesystem::create_directories(target);
      ASSERT_EQ(::symlink(target.c_str(), log.c_str()), 0);
      break;
    case TPlant::SecondName:
      dir.Write("home/.bashrc", "user's own");
      ASSERT_EQ(::link(target.c_str(), log.c_str()), 0);
      break;
    case TPlant::Pipe:
      ASSERT_EQ(::mkfifo(log.c_str(), 0600), 0);
      break;
  }
  TStringList lines;
  lines.Add("record");
  AppendLogToFile(lines, log);
  struct stat st {};
  ASSERT_EQ(::lstat(log.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_nlink, 1u);
  EXPECT_EQ(test::TempDir::Read(log), "record\r\n");
  switch (GetParam()) {
    case TPlant::LinkToFile:
    case TPlant::SecondName:
      EXPECT_EQ(test::TempDir::Read(target), "user's own");
      break;
    case TPlant::DanglingLink:
      EXPECT_FALSE(std::filesystem::exists(target));
      break;
    case TPlant::LinkToFolder:
      EXPECT_TRUE(std::filesystem::is_empty(target));
      break;
    case TPlant::Pipe:
      break;
  }
  // The log of its own is appended to as before.
  AppendLogToFile(lines, log);
  EXPECT_EQ(test::TempDir::Read(log), "record\r\nrecord\r\n");
}

INSTANTIATE_TEST_SUITE_P(ErrorLog, ErrorLogPlanted,
                         ::testing::Values(TPlant::LinkToFile, TPlant::DanglingLink, TPlant::LinkToFolder,
                                           TPlant::SecondName, TPlant::Pipe),
                         PlantName);

}  // namespace
}  // namespace ond
