#include "workspace/UWorldOfTanksInfo.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "platform/core/SysUtils.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/PeBuilder.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

using test::BuildPe;
using test::TPeLayout;

constexpr const char* Bom = "\xEF\xBB\xBF";
// The default icon of the game's replay files as the game's installer writes it.
constexpr const char* UsualIcon = R"(@="\"C:\\Games\\WoT\\WorldOfTanks.exe\",0")";

// A Wine prefix in a temporary folder, made the one in use for the test.
class TGamePrefix {
 public:
  TGamePrefix() : FEnv("WINEPREFIX", FDir.Path().c_str()) {
    std::filesystem::create_directories(FDir / "dosdevices");
    std::filesystem::create_directory_symlink("../drive_c", FDir / "dosdevices/c:");
    std::filesystem::create_directory_symlink("/", FDir / "dosdevices/z:");
  }
  const test::TempDir& Dir() const { return FDir; }
  // The game's folder as it lies on disk, in another letter case than the registry's.
  std::string GameDir() const { return FDir / "drive_c/games/wot"; }

  void Hive(const char* file, const std::string& iconLine) const {
    FDir.Write(file, std::string("WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n") +
                         "[Software\\\\Classes\\\\.wotreplay\\\\DefaultIcon] 1700000000\n#time=1da\n" + iconLine +
                         "\n");
  }
  std::string Exe(const TPeLayout& layout = {}) const {
    return FDir.Write("drive_c/games/wot/WorldOfTanks.exe", BuildPe(layout).Bytes);
  }
  std::string StartFile(const std::string& bytes) const {
    return FDir.Write("drive_c/games/wot/res_mods/quarn/quarn.zu", bytes);
  }
  std::string Config(const std::string& name) const { return FDir.Write("drive_c/games/wot/res_mods/quarn/" + name, "{}"); }

 private:
  test::TempDir FDir;
  test::TEnvGuard FEnv;
};

TEST(WorldOfTanksInfo, FullChainFromTheRegistryToTheActiveConfig) {
  TGamePrefix p;
  p.Hive("system.reg", UsualIcon);
  const std::string exe = p.Exe();
  p.StartFile(std::string(Bom) + "// Quarn start file\r\n\t ${ \"configs/default/root.zu\": \"main\" }\r\n$\"other.zu\"\r\n");
  const std::string root = p.Config("configs/default/root.zu");

  EXPECT_EQ(GetGameExeName(), exe);
  EXPECT_TRUE(IsGameInstalled());
  EXPECT_EQ(GetGameFolder(), p.GameDir() + "/");
  EXPECT_EQ(GetFileVersionText(exe), "1.10.0.4");
  EXPECT_EQ(GetFileBuild(exe), 4);
  EXPECT_EQ(GetGameVersion(), "1.10.");
  EXPECT_EQ(GetResModsFolder(), p.GameDir() + "/res_mods/1.10./");
  EXPECT_EQ(GetActiveConfigFile(), root);
  EXPECT_TRUE(IsActiveConfigAvailable());
}

TEST(WorldOfTanksInfo, FoldersInTheGameAreFoundWithoutCase) {
  TGamePrefix p;
  p.Hive("system.reg", UsualIcon);
  p.Exe();
  p.Dir().Write("drive_c/games/wot/Res_Mods/Quarn/Quarn.ZU", "$\"Configs\\\\Default\\\\..\\\\Default\\\\Root.zu\"\n");
  const std::string root = p.Dir().Write("drive_c/games/wot/Res_Mods/Quarn/configs/default/root.zu", "{}");
  std::filesystem::create_directories(p.GameDir() + "/Res_Mods/1.10.");
  EXPECT_EQ(GetResModsFolder(), p.GameDir() + "/Res_Mods/1.10./");
  EXPECT_EQ(GetActiveConfigFile(), root);
}

TEST(WorldOfTanksInfo, ActiveConfigMissingOrUnnamed) {
  TGamePrefix p;
  p.Hive("system.reg", UsualIcon);
  p.Exe();
  const struct {
    const char* What;
    std::optional<std::string> StartFile;
  } cases[] = {
      {"no start file", std::nullopt},
      {"empty start file", ""},
      {"only a byte-order mark", Bom},
      {"no \"$\" line", "{ \"a\": \"configs/default/root.zu\" }\n"},
      {"names a missing file", "$\"configs/default/missing.zu\"\n"},
      {"first \"$\" line has no quotes", "$ref\n$\"configs/default/root.zu\"\n"},
  };
  p.Config("configs/default/root.zu");
  for (const auto& c : cases) {
    std::filesystem::remove(p.GameDir() + "/res_mods/quarn/quarn.zu");
    if (c.StartFile) p.StartFile(*c.StartFile);
    EXPECT_EQ(GetActiveConfigFile(), "") << c.What;
    EXPECT_FALSE(IsActiveConfigAvailable()) << c.What;
  }
}

TEST(WorldOfTanksInfo, RegistryShapesOfTheIcon) {
  const struct {
    const char* Hive;
    std::string IconLine;
  } cases[] = {
      {"system.reg", UsualIcon},
      {"user.reg", UsualIcon},
      {"system.reg", R"(@="C:\\Games\\WoT\\WorldOfTanks.exe,12")"},
      {"system.reg", R"(@="\"C:\\Games\\WoT\\WorldOfTanks.exe\"")"},
      {"system.reg", R"(@=str(2):"\"c:\\games\\wot\\worldoftanks.exe\",-101")"},
      {"system.reg", "@=hex(2):43,00,3a,00,5c,00,67,00,61,00,6d,00,65,00,73,00,5c,00,77,00,6f,00,74,00,5c,00,\\\n"
                     "  57,00,6f,00,72,00,6c,00,64,00,4f,00,66,00,54,00,61,00,6e,00,6b,00,73,00,2e,00,65,00,\\\n"
                     "  78,00,65,00,00,00"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.IconLine);
    TGamePrefix p;
    p.Hive(c.Hive, c.IconLine);
    const std::string exe = p.Exe();
    EXPECT_EQ(GetGameExeName(), exe);
    EXPECT_EQ(GetGameVersion(), "1.10.");
  }
}

TEST(WorldOfTanksInfo, UserAssociationWinsOverTheMachine) {
  TGamePrefix p;
  p.Hive("system.reg", R"(@="\"C:\\Old\\WorldOfTanks.exe\",0")");
  p.Hive("user.reg", UsualIcon);
  EXPECT_EQ(GetGameExeName(), p.Exe());
}

TEST(WorldOfTanksInfo, GameOnADriveOfThisSystem) {
  TGamePrefix p;
  const std::string exe = p.Dir().Write("home/player/Games/WoT/WorldOfTanks.exe", BuildPe().Bytes);
  std::string windows = "Z:" + exe;
  for (char& c : windows)
    if (c == '/') c = '\\';
  p.Hive("user.reg", "@=\"\\\"" + StringReplaceAll(windows, "\\", "\\\\") + "\\\",0\"");
  EXPECT_EQ(GetGameExeName(), exe);
  EXPECT_EQ(GetGameFolder(), p.Dir().Path() + "/home/player/Games/WoT/");
}

TEST(WorldOfTanksInfo, NoGameGivesEmptyAnswers) {
  const struct {
    const char* What;
    const char* IconLine;  // nullptr: no hive at all
    bool Exe;
  } cases[] = {
      {"no prefix hives", nullptr, true},
      {"no association", "\"Other\"=\"x\"", true},
      {"empty icon", "@=\"\"", true},
      {"icon is a number", "@=dword:00000001", true},
      {"executable missing", UsualIcon, false},
      {"unmapped drive", R"(@="\"Q:\\Games\\WoT\\WorldOfTanks.exe\",0")", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.What);
    TGamePrefix p;
    if (c.IconLine) p.Hive("system.reg", c.IconLine);
    if (c.Exe) p.Exe();
    EXPECT_FALSE(IsGameInstalled());
    EXPECT_EQ(GetGameFolder(), "");
    EXPECT_EQ(GetGameVersion(), "");
    EXPECT_EQ(GetResModsFolder(), "");
    EXPECT_EQ(GetActiveConfigFile(), "");
    EXPECT_FALSE(IsActiveConfigAvailable());
  }
}

TEST(WorldOfTanksInfo, NoPrefixAtAllGivesNoGame) {
  test::TempDir home;
  test::TEnvGuard prefix("WINEPREFIX", nullptr);
  test::TEnvGuard homeEnv("HOME", home.Path().c_str());
  EXPECT_EQ(GetGameExeName(), "");
  EXPECT_FALSE(IsGameInstalled());
}

TEST(WorldOfTanksInfo, ExecutableWithoutVersion) {
  TGamePrefix p;
  p.Hive("system.reg", UsualIcon);
  TPeLayout layout;
  layout.WithVersion = false;
  const std::string exe = p.Exe(layout);
  EXPECT_TRUE(IsGameInstalled());
  EXPECT_EQ(GetFileVersionText(exe), "0.0.0.0");
  EXPECT_EQ(GetFileBuild(exe), 0);
  EXPECT_EQ(GetGameVersion(), "0.0.0");
}

TEST(FileVersion, HostileOrMissingFilesGiveZeros) {
  test::TempDir dir;
  const test::TPeFile pe = BuildPe();
  const std::string cut = pe.Bytes.substr(0, pe.FixedInfo + 8);
  for (const std::string& file : {dir / "missing.exe", dir.Path(), dir.Write("empty.exe", ""),
                                  dir.Write("text.exe", "MZ this is not a program"), dir.Write("cut.exe", cut),
                                  std::string()}) {
    EXPECT_EQ(GetFileVersionText(file), "0.0.0.0") << file;
    EXPECT_EQ(GetFileBuild(file), 0) << file;
  }
}

TEST(FileVersion, TheProgramsOwnFileGivesTheCompiledVersion) {
  const std::string version = GetProgramVersionText();
  EXPECT_NE(version, "0.0.0.0");
  EXPECT_EQ(std::count(version.begin(), version.end(), '.'), 3);
  EXPECT_EQ(IntToStr(GetProgramBuild()), version.substr(version.rfind('.') + 1));
  EXPECT_EQ(GetFileVersionText(ProgramFileName()), version);
  EXPECT_EQ(GetFileBuild(ProgramFileName()), GetProgramBuild());
  // A bare name is looked for in the program's folder first.
  EXPECT_EQ(GetFileVersionText(ExtractFileName(ProgramFileName())), version);
}

TEST(FileVersion, BareNameFallsBackToTheCurrentFolder) {
  test::TempDir dir;
  TPeLayout layout;
  layout.Version[3] = 77;
  dir.Write("OndrelTestOnly.dll", BuildPe(layout).Bytes);
  const std::string old = std::filesystem::current_path().string();
  std::filesystem::current_path(dir.Path());
  const std::string text = GetFileVersionText("OndrelTestOnly.dll");
  const std::uint16_t build = GetFileBuild("OndrelTestOnly.dll");
  std::filesystem::current_path(old);
  EXPECT_EQ(text, "1.10.0.77");
  EXPECT_EQ(build, 77);
}

TEST(WorldOfTanksInfoRules, DefaultIconValues) {
  const std::u16string exe = u"C:\\Games\\WoT\\WorldOfTanks.exe";
  const struct {
    std::u16string Value, Exe;
  } cases[] = {
      {u"\"" + exe + u"\",0", exe},
      {u"\"" + exe + u"\",12", exe},
      {u"\"" + exe + u"\"", exe},
      {exe + u",0", exe},
      {exe + u", -101", exe},
      {exe, exe},
      {u"  \"C:\\Wo,T 1\\WorldOfTanks.exe\" ,3 ", u"C:\\Wo,T 1\\WorldOfTanks.exe"},
      {u"C:\\Wo,T\\WorldOfTanks.exe", u"C:\\Wo,T\\WorldOfTanks.exe"},
      {u"\"C:\\unclosed.exe,0", u"C:\\unclosed.exe,0"},
      {u"", u""},
      {u"\"\"", u""},
      {u",0", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExeNameOfDefaultIcon(c.Value), c.Exe) << Utf16ToUtf8(c.Value);
}

TEST(WorldOfTanksInfoRules, StartFileLines) {
  const struct {
    std::string Bytes, Name;
  } cases[] = {
      {"$\"configs/default/root.zu\"", "configs/default/root.zu"},
      {std::string(Bom) + "$\"configs/default/root.zu\"\n", "configs/default/root.zu"},
      {"\r\n\t\x01 ${\"configs\\\\default\\\\root.zu\":\"x\"}\r\n", "configs//default//root.zu"},
      {"${\"configs\\default\\root.zu\":\"x\"}", "configs/default/root.zu"},
      {"x $\"not first\"\n$\"second.zu\"\n$\"third.zu\"", "second.zu"},
      {"$\"open.zu", "open.zu"},
      {"$\"\"", ""},
      {"$\"\xD0\xBA\xD0\xBE\xD0\xBD\xD1\x84\xD0\xB8\xD0\xB3.zu\"", "\xD0\xBA\xD0\xBE\xD0\xBD\xD1\x84\xD0\xB8\xD0\xB3.zu"},
      // Saved in the single-byte code page: read as such, given out as UTF-8.
      {"$\"\xEA\xEE\xED\xF4\xE8\xE3.zu\"", "\xD0\xBA\xD0\xBE\xD0\xBD\xD1\x84\xD0\xB8\xD0\xB3.zu"},
      {"", ""},
      {Bom, ""},
      {"no dollar line\n", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ActiveConfigName(c.Bytes), c.Name) << c.Bytes;
}

TEST(SystemInfo, OperatingSystemName) {
  const struct {
    const char* Text;
    const char* Name;
  } cases[] = {
      {"PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=\"Debian GNU/Linux\"\n", "Debian GNU/Linux 12 (bookworm)"},
      {"NAME=Fedora\nVERSION='39 (Workstation Edition)'\n", "Fedora 39 (Workstation Edition)"},
      {"NAME=\"Arch Linux\"\n# PRETTY_NAME=\"commented\"\n", "Arch Linux"},
      {"  PRETTY_NAME=\"Say \\\"hi\\\" \\$x\"  \n", "Say \"hi\" $x"},
      {"", "Linux"},
      {"garbage", "Linux"},
  };
  for (const auto& c : cases) EXPECT_EQ(OsReleaseProductName(c.Text), c.Name) << c.Text;
  EXPECT_FALSE(GetWindowsProductName().empty());
  EXPECT_FALSE(GetWindowsVersion().empty());
}

TEST(SystemInfo, LanguagesAndKeyboardLayouts) {
  const struct {
    const char* Locale;
    std::uint16_t Id;
    const char* Name;  // UTF-8
    std::uint32_t Layout;
    const char* LayoutText;  // UTF-8
  } cases[] = {
      {"ru_RU.UTF-8", 1049, "Русский", 0x04190419, "Русская (68748313)"},
      {"ru", 1049, "Русский", 0x04190419, "Русская (68748313)"},
      {"en_US.UTF-8", 1033, "Английский (США)", 0x04090409, "Английская (67699721)"},
      {"C", 1033, "Английский (США)", 0x04090409, "Английская (67699721)"},
      {"POSIX", 1033, "Английский (США)", 0x04090409, "Английская (67699721)"},
      {"", 1033, "Английский (США)", 0x04090409, "Английская (67699721)"},
      {"en_GB.UTF-8", 0x0809, "Английский (Великобритания)", 0x08090809, "134809609"},
      {"uk_UA.UTF-8@euro", 0x0422, "Украинский", 0x04220422, "69338146"},
      {"ja_JP.UTF-8", 0, "ja_JP", 0, "0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Locale);
    EXPECT_EQ(LanguageIdOfLocale(c.Locale), c.Id);
    EXPECT_EQ(LanguageNameOfLocale(c.Locale), Utf8ToAnsi(c.Name));
    EXPECT_EQ(KeyboardLayoutOfLocale(c.Locale), c.Layout);
    EXPECT_EQ(KeyboardLayoutText(c.Layout), Utf8ToAnsi(c.LayoutText));
  }
  test::TEnvGuard all("LC_ALL", nullptr);
  test::TEnvGuard messages("LC_MESSAGES", "ru_RU.UTF-8");
  test::TEnvGuard lang("LANG", "en_US.UTF-8");
  EXPECT_EQ(GetSystemDefaultLangID(), 1049);
  EXPECT_EQ(GetSystemLanguageName(), Utf8ToAnsi("Русский"));
}

TEST(SystemInfo, DisplayText) {
  EXPECT_EQ(DisplayInfoText(1920, 1080, 32, 60), Utf8ToAnsi("1920x1080 пик, 32 бит, 60 Гц"));
}

}  // namespace
}  // namespace ond
