// The error log's texts and file: message markers, the place of an
// exception, the header, records and footer, and where the log is written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/SysUtils.h"
#include "services/UErrorLog.h"
#include "services/ULocalization.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

const std::string kDate = "01.02.2026 03:04:05";

std::vector<std::string> Lines(const TStrings& log) {
  std::vector<std::string> lines;
  for (int i = 0; i < log.GetCount(); ++i) lines.push_back(log.Get(i));
  return lines;
}

TEST(ErrorLogMarkers, SplitsIdentifierFlagAndText) {
  struct Case {
    const char* message;
    const char* id;
    bool hasFlag;
    bool flag;
    const char* text;
  };
  const Case cases[] = {
      {"!ABCDEFG?0boom", "ABCDEFG", true, false, "boom"},
      {"!ABCDEFG?7boom", "ABCDEFG", true, true, "boom"},
      {"!ABCDEFGboom", "ABCDEFG", false, false, "boom"},
      {"?1boom", "", true, true, "boom"},
      {"plain text", "", false, false, "plain text"},
      {"", "", false, false, ""},
      // A "?" without a digit after it is ordinary text, never a failure.
      {"?xboom", "", false, false, "?xboom"},
      {"!ABCDEFG?", "ABCDEFG", false, false, "?"},
      {"?", "", false, false, "?"},
      // A short identifier takes what there is.
      {"!AB", "AB", false, false, ""},
      {"!", "", false, false, ""},
      {"!ABCDEFG!HIJ", "ABCDEFG", false, false, "!HIJ"},
  };
  for (const Case& c : cases) {
    const TExceptionMessage m = SplitExceptionMessage(c.message);
    EXPECT_EQ(m.ID, c.id) << c.message;
    EXPECT_EQ(m.HasFlag, c.hasFlag) << c.message;
    EXPECT_EQ(m.Flag, c.flag) << c.message;
    EXPECT_EQ(m.Text, c.text) << c.message;
  }
}

TEST(ErrorLogPlace, MapAddressIsTheOffsetFromTheModuleBase) {
  const std::uintptr_t base = 0x7f0000400000;
  EXPECT_EQ(MapAddress(base + 0x1234, base), 0x1234u);
  EXPECT_EQ(IntToHex(MapAddress(base + 0x1234, base), 8), "00001234");
  EXPECT_EQ(MapAddress(0x1234, 0), 0u);  // no module known
}

// A stand-in for the library: places by map address.
class TTablePlaces final : public TPlaceSource {
 public:
  explicit TTablePlaces(std::map<std::uint32_t, TLibraryPlace> places, bool available = true)
      : FPlaces(std::move(places)), FAvailable(available) {}
  bool Available() const override { return FAvailable; }
  TLibraryPlace PlaceOf(std::uint32_t map) const override {
    if (!FAvailable) return {"DebugInfo.so not found", "DebugInfo.so not found", "DebugInfo.so not found", 0};
    const auto it = FPlaces.find(map);
    return it == FPlaces.end() ? TLibraryPlace{} : it->second;
  }

 private:
  std::map<std::uint32_t, TLibraryPlace> FPlaces;
  bool FAvailable;
};

TStackFrame Frame(std::uintptr_t address, bool inProgram = true) {
  TStackFrame f;
  f.Address = address;
  f.Module.Base = inProgram ? 0x400000 : 0x7f0000000000;
  f.Module.File = inProgram ? "/opt/ondrel/ondrel" : "/usr/lib/libQt6Core.so.6";
  f.Module.IsProgram = inProgram;
  return f;
}

TEST(ErrorLogPlace, TheThrowSiteFollowsTheExceptionsConstructors) {
  const TTablePlaces places({
      {0x1010, {"ondrel", "ond::EListError::Exception(std::string)", "SysUtils.h", 35}},
      {0x1020, {"ondrel", "ond::ERegex::ERegex(std::string, int)", "Regex.h", 12}},
      {0x1234, {"ondrel", "ond::TStringList::Get(int) const", "Classes.cpp", 77}},
      {0x5000, {"ondrel", "main", "main.cpp", 9}},
      {0x1100, {"ondrel", "ond::TMain::TMain(ond::TComponent*)", "UMain.cpp", 3}},
  });
  const std::vector<TStackFrame> frames = {Frame(0x401010), Frame(0x401020), Frame(0x401234), Frame(0x405000),
                                           Frame(0x7f0000001000, false)};
  const TExceptionPlace p = PlaceOfStack(frames, places);
  ASSERT_TRUE(p.HasAddress);
  EXPECT_EQ(p.Address, 0x401234u);
  EXPECT_EQ(p.MapAddress, 0x1234u);
  EXPECT_EQ(p.ModuleName, "ondrel");
  EXPECT_EQ(p.ProcedureName, "ond::TStringList::Get(int) const");
  EXPECT_EQ(p.UnitName, "Classes.cpp");
  EXPECT_EQ(p.LineNumber, 77);
  // A frame outside the program is named by its module alone.
  EXPECT_EQ(p.CallStack, (std::vector<std::string>{
                             "  00001234 ondrel ond::TStringList::Get(int) const (Classes.cpp:77)",
                             "  00005000 ondrel main (main.cpp:9)", "  00001000 libQt6Core.so.6"}));
  // A constructor of an ordinary class that throws is the throw site itself.
  EXPECT_EQ(PlaceOfStack({Frame(0x401100)}, places).LineNumber, 3);
  EXPECT_FALSE(PlaceOfStack({}, places).HasAddress);
  // An address the library does not know is the place, with nothing named.
  const TExceptionPlace bare = PlaceOfStack({Frame(0x401300)}, places);
  ASSERT_TRUE(bare.HasAddress);
  EXPECT_EQ(bare.MapAddress, 0x1300u);
  EXPECT_EQ(bare.ProcedureName, "");
  EXPECT_EQ(bare.CallStack, std::vector<std::string>{"  00001300 ondrel"});
  // Without the library the first frame is the place, and its texts say why.
  const TExceptionPlace missing = PlaceOfStack(frames, TTablePlaces({}, false));
  EXPECT_EQ(missing.MapAddress, 0x1010u);
  EXPECT_EQ(missing.ModuleName, "DebugInfo.so not found");
  EXPECT_EQ(missing.ProcedureName, "DebugInfo.so not found");
  EXPECT_EQ(missing.UnitName, "DebugInfo.so not found");
  EXPECT_EQ(missing.LineNumber, 0);
  EXPECT_EQ(missing.CallStack.front(), "  00001010 ondrel");
  // A site outside the program: its module's name, no question asked.
  const TExceptionPlace foreign = PlaceOfStack({Frame(0x7f0000002000, false)}, places);
  EXPECT_EQ(foreign.ModuleName, "libQt6Core.so.6");
  EXPECT_EQ(foreign.ProcedureName, "");
}

TEST(ErrorLogTexts, HeaderWithAndWithoutTheGame) {
  TErrorLogSystemInfo system{"Debian GNU/Linux 12", "6.1.0", "Russian", "Русская (68748313)", "1920x1080", false,
                             "", "", "", ""};
  TErrorLogProgramInfo program{"/opt/ondrel/ondrel", "1.0.0.1", false, true, "/opt/ondrel/DebugInfo.so", "1.0.0.1"};
  TStringList log;
  AddLogHeader(log, kDate, system, program);
  EXPECT_EQ(Lines(log), (std::vector<std::string>{
                            "=== Error handler is running 01.02.2026 03:04:05 ===", "", ">Operation System",
                            " \x95 Name: Debian GNU/Linux 12", " \x95 Version: 6.1.0", " \x95 Language: Russian",
                            " \x95 Keyboard: Русская (68748313)", " \x95 DisplayMode: 1920x1080", "", ">Ondrel",
                            " \x95 Name: /opt/ondrel/ondrel", " \x95 Version: 1.0.0.1", " \x95 DebugMod: False", "",
                            ">DebugInfo", " \x95 Name: /opt/ondrel/DebugInfo.so", " \x95 Version: 1.0.0.1", ""}));
  system.GameInstalled = true;
  system.GameVersion = "1.10.";
  system.GamePath = "/games/wot/";
  system.ModsPath = "/games/wot/res_mods/1.10./";
  system.QuarnConfig = "/games/wot/res_mods/quarn/configs/a.zu";
  program.DebugMode = true;
  program.HasDebugInfo = false;
  log.Clear();
  AddLogHeader(log, kDate, system, program);
  const auto lines = Lines(log);
  ASSERT_EQ(lines.size(), 20u);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 9, lines.begin() + 15),
            (std::vector<std::string>{">WorldOfTanks", " \x95 Version: 1.10.", " \x95 Path: /games/wot/",
                                      " \x95 ModsPath: /games/wot/res_mods/1.10./",
                                      " \x95 QuarnConfig: /games/wot/res_mods/quarn/configs/a.zu", ""}));
  EXPECT_EQ(lines[18], " \x95 DebugMod: True");
  EXPECT_EQ(lines.back(), "");
}

TEST(ErrorLogTexts, RecordsLeaveOutWhatIsUnknown) {
  TExceptionPlace place;
  place.HasAddress = true;
  place.Address = 0x55550001234;
  place.MapAddress = 0x1234;
  place.ModuleName = "ondrel";
  place.ProcedureName = "Load()";
  place.UnitName = "a.cpp";
  place.LineNumber = 12;
  place.CallStack = {"  00001234 ondrel Load() (a.cpp:12)"};
  TStringList log;
  AddLogRecord(log, kDate, SplitExceptionMessage("!ABCDEFG?0boom"), "EListError", place);
  EXPECT_EQ(Lines(log), (std::vector<std::string>{
                            ">Error", " Data Time: 01.02.2026 03:04:05", " Exception ID: ABCDEFG",
                            " Exception Class: EListError", " Exception Original Message: boom",
                            " Exception Address: 55550001234", " Exception MAP-Address: 00001234",
                            " Module Name: ondrel", " Procedure Name: Load()", " Unit Name: a.cpp",
                            " Line Number: 12", " Call Stack:", "  00001234 ondrel Load() (a.cpp:12)", ""}));
  log.Clear();
  AddLogRecord(log, kDate, SplitExceptionMessage(""), "bad_alloc", TExceptionPlace{});
  EXPECT_EQ(Lines(log), (std::vector<std::string>{">Error", " Data Time: 01.02.2026 03:04:05",
                                                  " Exception Class: bad_alloc", ""}));
  log.Clear();
  AddLogFooter(log, kDate);
  EXPECT_EQ(Lines(log), (std::vector<std::string>{"=== Error handler is stopped 01.02.2026 03:04:05 ===", ""}));
}

TEST(ErrorLogTexts, BoxShowsNotAvailableForMissingParts) {
  TExceptionPlace place;
  place.ModuleName = "ondrel";
  EXPECT_EQ(ErrorBoxText(SplitExceptionMessage(""), place),
            "An unexpected error occurred. Error information is given below.\n\r\n\rID: N/A\n\r"
            "Module name: ondrel\n\rProcedure name: \n\rUnit name: \n\rLine number: 0\n\rMessage: N/A\n\r"
            "Original message: N/A\n\r\n\rExit from the program?");
  const std::string withId = ErrorBoxText(SplitExceptionMessage("!ABCDEFG?1boom"), place);
  EXPECT_NE(withId.find("\n\rID: ABCDEFG\n\r"), std::string::npos);
  EXPECT_NE(withId.find("\n\rOriginal message: boom\n\r"), std::string::npos);
}

TEST(ErrorLogTexts, ClassNamesWithoutNamespaces) {
  EXPECT_EQ(ExceptionClassName(EListError("x")), "EListError");
  EXPECT_EQ(ExceptionClassName(std::bad_alloc()), "bad_alloc");
  EXPECT_EQ(ExceptionClassName(std::runtime_error("x")), "runtime_error");
}

TEST(ErrorLogTexts, DateHasTheLogsLayout) {
  const std::string d = LogDateText();
  ASSERT_EQ(d.size(), 19u);
  for (std::size_t i : {2u, 5u}) EXPECT_EQ(d[i], '.');
  EXPECT_EQ(d[10], ' ');
  for (std::size_t i : {13u, 16u}) EXPECT_EQ(d[i], ':');
}

TEST(ErrorLogFile, BesideTheProgramWhenWritableElseInTheStateFolder) {
  test::TempDir dir;
  EXPECT_EQ(ErrorLogFileName(dir / "ondrel"), dir / "ondrel_error.log");
  {
    test::TEnvGuard state("XDG_STATE_HOME", "/var/state-of-test");
    EXPECT_EQ(ErrorLogFileName("/nonexistent-folder/ondrel"), "/var/state-of-test/ondrel/ondrel_error.log");
  }
  {
    test::TEnvGuard state("XDG_STATE_HOME", nullptr);
    test::TEnvGuard home("HOME", "/home/tester");
    EXPECT_EQ(ErrorLogFileName("/nonexistent-folder/ondrel"), "/home/tester/.local/state/ondrel/ondrel_error.log");
    // A relative state folder is not a valid one.
    test::TEnvGuard relative("XDG_STATE_HOME", "state");
    EXPECT_EQ(ErrorLogFileName("/nonexistent-folder/ondrel"), "/home/tester/.local/state/ondrel/ondrel_error.log");
  }  {
    // With no state folder at all the log stays beside the program, where a
    // failure to write it names a place that exists, not one under "/".
    test::TEnvGuard state("XDG_STATE_HOME", nullptr);
    test::TEnvGuard home("HOME", nullptr);
    EXPECT_EQ(ErrorLogFileName("/nonexistent-folder/ondrel"), "/nonexistent-folder/ondrel_error.log");
  }
}

TEST(ErrorLogFile, TheStateFolderItMakesIsTheUsersAlone) {
  test::TempDir dir;
  const std::string state = dir / "state";
  test::TEnvGuard stateHome("XDG_STATE_HOME", state.c_str());
  const mode_t mask = ::umask(022);
  TStringList log;
  log.Add("a line");
  AppendLogToFile(log, ErrorLogFileName("/nonexistent-folder/ondrel"));
  struct stat st {};
  ASSERT_EQ(::stat((state + "/ondrel").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  // One an older run made open to others is closed again.
  ASSERT_EQ(::chmod((state + "/ondrel").c_str(), 0755), 0);
  AppendLogToFile(log, ErrorLogFileName("/nonexistent-folder/ondrel"));
  ASSERT_EQ(::stat((state + "/ondrel").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ::umask(mask);
  EXPECT_EQ(test::TempDir::Read(state + "/ondrel/ondrel_error.log"), "a line\r\na line\r\n");
}

TEST(ErrorLogFile, AppendsWithCrLfAndCreatesTheFolder) {
  test::TempDir dir;
  const std::string name = dir / "state/ondrel/ondrel_error.log";
  TStringList log;
  log.Add("a \x95 b");
  log.Add("");
  AppendLogToFile(log, name);
  AppendLogToFile(log, name);
  EXPECT_EQ(test::TempDir::Read(name), "a \x95 b\r\n\r\na \x95 b\r\n\r\n");
  const std::string blocked = dir.Write("file", "x") + "/under-a-file.log";
  const std::string message = test::ErrorOf([&] { AppendLogToFile(log, blocked); });
  EXPECT_EQ(message, LangFill(leCannotWriteErrorLog, {blocked, SystemErrorText(ENOTDIR)}));
}

}  // namespace
}  // namespace ond
