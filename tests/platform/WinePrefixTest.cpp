#include "platform/core/WinePrefix.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/core/CodePage.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

using test::TEnvGuard;

TEST(WinePrefix, FolderFromTheEnvironment) {
  {
    TEnvGuard prefix("WINEPREFIX", "/games/wot-prefix/");
    EXPECT_EQ(WinePrefixFolder(), "/games/wot-prefix");
  }
  TEnvGuard home("HOME", "/home/player");
  for (const char* unset : {static_cast<const char*>(nullptr), ""}) {
    TEnvGuard prefix("WINEPREFIX", unset);
    EXPECT_EQ(WinePrefixFolder(), "/home/player/.wine");
  }
}

std::string Native(const std::string& prefix, std::u16string_view windows) { return WindowsPathToNative(prefix, windows); }

TEST(WinePrefix, DrivesThroughDosdevices) {
  test::TempDir dir;
  const std::string prefix = dir.Path();
  const std::string exe = dir.Write("drive_c/games/wot/WorldOfTanks.exe", "x");
  dir.Write("elsewhere/data.bin", "x");
  std::filesystem::create_directories(dir / "dosdevices");
  std::filesystem::create_directory_symlink("../drive_c", dir / "dosdevices/c:");
  std::filesystem::create_directory_symlink("/", dir / "dosdevices/z:");
  std::filesystem::create_directory_symlink(dir / "elsewhere", dir / "dosdevices/d:");

  struct TCase {
    std::u16string Windows;
    std::string Expected;
  } cases[] = {
      {u"C:\\Games\\WoT\\WorldOfTanks.exe", exe},
      {u"c:/GAMES/wot/worldoftanks.EXE", exe},
      {u"  \"\"C:\\Games\\WoT\\WorldOfTanks.exe  ", ""},  // quotes are the caller's to remove
      {u"\\??\\C:\\Games\\WoT\\WorldOfTanks.exe", exe},
      {u"\\\\?\\C:\\Games\\WoT\\WorldOfTanks.exe", exe},
      {u"C:\\Games\\..\\..\\..\\..\\Games\\.\\WoT\\\\WorldOfTanks.exe", exe},
      {u"C:\\", prefix + "/drive_c"},
      {u"C:", prefix + "/drive_c"},
      {u"D:\\DATA.BIN", prefix + "/elsewhere/data.bin"},
      {u"C:\\Games\\Missing\\x.exe", prefix + "/drive_c/Games/Missing/x.exe"},
      {u"E:\\x.exe", ""},
      {u"Games\\WoT\\WorldOfTanks.exe", ""},
      {u"\\\\server\\share\\x.exe", ""},
      {u"1:\\x", ""},
      {u"", ""},
  };
  for (const TCase& c : cases) EXPECT_EQ(Native(prefix, c.Windows), c.Expected) << Utf16ToUtf8(c.Windows);

  // Z: is the root of this system; a Windows spelling of a home path finds it.
  std::u16string home = u"Z:" + Utf8ToUtf16(exe);
  for (char16_t& u : home)
    if (u == u'/') u = u'\\';
  EXPECT_EQ(Native(prefix, home), exe);
}

TEST(WinePrefix, WithoutDosdevicesCAndZStillWork) {
  test::TempDir dir;
  const std::string exe = dir.Write("drive_c/Program Files/Game/game.exe", "x");
  EXPECT_EQ(Native(dir.Path(), u"C:\\PROGRAM FILES\\game\\GAME.exe"), exe);
  std::u16string z = u"z:" + Utf8ToUtf16(exe);
  EXPECT_EQ(Native(dir.Path(), z), exe);
  EXPECT_EQ(Native(dir.Path(), u"D:\\game.exe"), "");
  EXPECT_EQ(Native(dir / "no-such-prefix", u"C:\\x"), dir / "no-such-prefix/drive_c/x");
}

}  // namespace
}  // namespace ond
