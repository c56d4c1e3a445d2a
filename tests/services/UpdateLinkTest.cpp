// The update's own names beside the program (".newupdate", ".oldupdate")
// with a link planted at them: to a file, to where a file could be made, to
// a folder. The update takes the program's place all the same, and what the
// link pointed to is left as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/core/HttpClient.h"
#include "services/UThCheckUpdate.h"
#include "tests/support/ElfBuilder.h"
#include "tests/support/LocalHttpServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSigningKeys.h"

namespace ond {
namespace {

struct TPlanted {
  const char* What;
  const char* Name;  // the update's name the link is planted at
  bool TargetExists;
  bool TargetIsFolder;
};

class UpdatePlantedLinks : public ::testing::TestWithParam<TPlanted> {};

TEST_P(UpdatePlantedLinks, AreReplacedAndTheirTargetsLeftAlone) {
  const TPlanted& p = GetParam();
  const std::string program = test::BuildElf(test::ElfOfKind(ET_DYN, true, TFileVersion{1, 0, 0, 101})).Bytes;
  const test::TTestKeys keys;
  test::TLocalServer server;
  server.Set("/pub/ONDREL/Ondrel.exe", test::Ok(program));
  server.Set("/pub/ONDREL/Ondrel.exe.sig", test::Ok(keys.Sign(program)));
  test::TempDir dir;
  const std::string exe = dir.Write("bin/Ondrel", "#!/bin/sh\nold program\n");
  ::chmod(exe.c_str(), 0755);
  const std::string target = dir / "home/target";
  std::filesystem::create_directories(dir / "home");
  if (p.TargetExists && p.TargetIsFolder) std::filesystem::create_directories(target);
  if (p.TargetExists && !p.TargetIsFolder) dir.Write("home/target", "user's own");
  ASSERT_EQ(::symlink(target.c_str(), (dir / "bin/Ondrel" + std::string(p.Name)).c_str()), 0);

  THttpClient http;
  const TDownloadResult result = DownloadAndReplace(http, server.Url(), exe, {101, keys.Public});
  EXPECT_EQ(result.Entry, -1) << result.Reason;
  EXPECT_EQ(test::TempDir::Read(exe), program);
  if (!p.TargetExists) {
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(target)));
  } else if (p.TargetIsFolder) {
    EXPECT_TRUE(std::filesystem::is_empty(target));
  } else {
    EXPECT_EQ(test::TempDir::Read(target), "user's own");
  }
}

INSTANTIATE_TEST_SUITE_P(
    UpdateReplace, UpdatePlantedLinks,
    ::testing::Values(TPlanted{"NewToAFile", ".newupdate", true, false},
                      TPlanted{"NewDangling", ".newupdate", false, false},
                      TPlanted{"NewToAFolder", ".newupdate", true, true},
                      TPlanted{"OldToAFile", ".oldupdate", true, false},
                      TPlanted{"OldDangling", ".oldupdate", false, false},
                      TPlanted{"OldToAFolder", ".oldupdate", true, true}),
    [](const auto& info) { return std::string(info.param.What); });

}  // namespace
}  // namespace ond
