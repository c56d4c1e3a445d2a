// The error handler as the application's exception hook: records, markers,
// the halt message, debug mode with its box, the log file at the end, and
// failures inside the hook itself.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Forms.h"
#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "platform/core/SysUtils.h"
#include "platform/core/Symbolizer.h"
#include "services/UErrorHandler.h"
#include "services/ULocalization.h"
#include "tests/support/TempDir.h"
#include "tests/support/ThrowDeep.h"

namespace ond {
namespace {

const std::string kDate = "01.02.2026 03:04:05";

struct Box {
  std::string Text;
  std::string Caption;
  unsigned Flags;
};

// A handler with a fixed date and system, its log in a temporary folder,
// message boxes answered by `Answer` and halts counted instead of made.
class ErrorHandlerTest : public testing::Test {
 protected:
  void SetUp() override {
    Handler.LogFileName = Dir / "ondrel_error.log";
    Handler.DateText = [] { return kDate; };
    Handler.Halt = [this] { ++Halts; };
    Application()->MessageBoxHook = [this](const std::string& text, const std::string& caption, unsigned flags) {
      Boxes.push_back({text, caption, flags});
      if (BoxThrows) throw EListError("box failed");
      return Answer;
    };
  }
  void TearDown() override {
    Application()->MessageBoxHook = nullptr;
    Application()->OnException = nullptr;
  }
  static TErrorLogSystemInfo System() {
    TErrorLogSystemInfo s;
    s.Name = "Linux";
    s.Version = "6.1";
    s.Language = "English";
    s.Keyboard = "Английская (67699721)";
    s.DisplayMode = "800x600";
    return s;
  }
  bool LogHas(const std::string& line) const {
    for (int i = 0; i < Handler.Log().GetCount(); ++i)
      if (Handler.Log().Get(i) == line) return true;
    return false;
  }
  int LogIndexOf(const std::string& line) const {
    for (int i = 0; i < Handler.Log().GetCount(); ++i)
      if (Handler.Log().Get(i) == line) return i;
    return -1;
  }
  bool LogFileExists() const { return test::TempDir::Read(Handler.LogFileName) != ""; }
  // Handles one exception in debug mode, which must halt the program; true
  // when the log file was written by the time it halted.
  bool HandleInDebugModeUntilHalt() {
    Handler.SetActive(true);
    Handler.SetDebugMode(true);
    bool saved = false;
    Handler.PreHalt = [&] { saved = LogFileExists(); };
    EXPECT_NO_THROW(Handler.HandleException(nullptr, EListError("boom")));
    EXPECT_EQ(Halts, 1);
    return saved;
  }

  test::TempDir Dir;
  TErrorHandler Handler{&ErrorHandlerTest::System};
  std::vector<Box> Boxes;
  int Answer = IDNO;
  bool BoxThrows = false;
  int Halts = 0;
};

TEST_F(ErrorHandlerTest, ActivationInstallsTheHookAndWritesTheHeader) {
  EXPECT_EQ(ErrorHandler, &Handler);
  Handler.SetActive(true);
  ASSERT_TRUE(Application()->OnException);
  EXPECT_EQ(Handler.Log().Get(0), "=== Error handler is running " + kDate + " ===");
  EXPECT_TRUE(LogHas(" \x95 Keyboard: Английская (67699721)"));
  EXPECT_TRUE(LogHas(" \x95 Name: " + Utf8ToAnsi(ProgramFileName())));
  EXPECT_TRUE(LogHas(" \x95 Version: " + TApplication::Version()));
  EXPECT_TRUE(LogHas(" \x95 DebugMod: False"));
  EXPECT_TRUE(LogHas(">DebugInfo"));  // the test binary carries debug information
  EXPECT_FALSE(LogHas(">WorldOfTanks"));
  Handler.SetActive(false);
  EXPECT_FALSE(Application()->OnException);
  EXPECT_EQ(Handler.Log().Get(Handler.Log().GetCount() - 2), "=== Error handler is stopped " + kDate + " ===");
}

TEST_F(ErrorHandlerTest, MarkersGiveTheIdentifierAndTheText) {
  Handler.SetActive(true);
  Application()->HandleException(nullptr, std::runtime_error("!ABCDEFG?0boom"));
  EXPECT_TRUE(Handler.HasError());
  EXPECT_TRUE(LogHas(" Exception ID: ABCDEFG"));
  EXPECT_TRUE(LogHas(" Exception Class: runtime_error"));
  EXPECT_TRUE(LogHas(" Exception Original Message: boom"));
  EXPECT_TRUE(Boxes.empty());  // outside debug mode nothing is shown
  EXPECT_EQ(Halts, 0);
}

TEST_F(ErrorHandlerTest, AssertionsHaveTheirFixedClassLine) {
  Handler.SetActive(true);
  Application()->HandleException(nullptr, EAssertException("x"));
  EXPECT_TRUE(LogHas(" Exception Class: EAssertException"));
}

TEST_F(ErrorHandlerTest, AMalformedMarkerIsPlainText) {
  Handler.SetActive(true);
  Application()->HandleException(nullptr, EListError("?xboom"));
  Application()->HandleException(nullptr, EListError("!AB"));
  EXPECT_TRUE(LogHas(" Exception Original Message: ?xboom"));
  EXPECT_TRUE(LogHas(" Exception ID: AB"));
  EXPECT_FALSE(LogHas("*** Raise in Error handler ***"));
  EXPECT_EQ(Halts, 0);
}

TEST_F(ErrorHandlerTest, HaltMessageHaltsWithoutARecord) {
  Handler.SetActive(true);
  Application()->HandleException(nullptr, EListError("#^Halt"));
  EXPECT_EQ(Halts, 1);
  EXPECT_FALSE(LogHas(">Error"));
  EXPECT_FALSE(Handler.HasError());
  EXPECT_TRUE(Boxes.empty());
  EXPECT_FALSE(LogFileExists());  // no error, so nothing to keep
}

TEST_F(ErrorHandlerTest, DebugModeAppendsTheLogAtTheEnd) {
  Handler.SetActive(true);
  Handler.SetDebugMode(true);
  ASSERT_TRUE(Handler.DebugMode());
  Application()->HandleException(nullptr, std::runtime_error("!ABCDEFG?1boom"));
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Caption, "Ondrel");
  EXPECT_EQ(Boxes[0].Flags & 0x0F, MB_YESNO);
  EXPECT_NE(Boxes[0].Text.find("\n\rID: ABCDEFG\n\r"), std::string::npos);
  EXPECT_EQ(Halts, 0);  // the user answered No
  EXPECT_FALSE(LogFileExists());
  Handler.SetActive(false);

  const std::string program = Utf8ToAnsi(ProgramFileName());
  const std::string expected =
      "=== Error handler is running " + kDate + " ===\r\n\r\n"
      ">Operation System\r\n \x95 Name: Linux\r\n \x95 Version: 6.1\r\n \x95 Language: English\r\n"
      " \x95 Keyboard: Английская (67699721)\r\n \x95 DisplayMode: 800x600\r\n\r\n"
      ">Ondrel\r\n \x95 Name: " + program + "\r\n \x95 Version: " + TApplication::Version() +
      "\r\n \x95 DebugMod: False\r\n\r\n"
      ">DebugInfo\r\n \x95 Name: " + program + "\r\n \x95 Version: " + SymbolizerVersion() + "\r\n\r\n"
      "*** Debug Mode True " + kDate + " ***\r\n\r\n"
      ">Error\r\n Data Time: " + kDate + "\r\n Exception ID: ABCDEFG\r\n Exception Class: runtime_error\r\n"
      " Exception Original Message: boom\r\n\r\n"
      "=== Error handler is stopped " + kDate + " ===\r\n\r\n";
  EXPECT_EQ(test::TempDir::Read(Handler.LogFileName), expected);
  // A second stop after a restart appends.
  Handler.SetActive(true);
  Handler.SetActive(false);
  EXPECT_EQ(test::TempDir::Read(Handler.LogFileName).substr(0, expected.size() * 2), expected + expected);
}

TEST_F(ErrorHandlerTest, WithoutDebugModeNothingIsWritten) {
  Handler.SetActive(true);
  Application()->HandleException(nullptr, EListError("boom"));
  Handler.SetActive(false);
  EXPECT_TRUE(LogHas(">Error"));
  EXPECT_FALSE(LogFileExists());
}

TEST_F(ErrorHandlerTest, AStopThatCannotWriteTheLogTellsWhy) {
  {
    TErrorHandler stopped(&ErrorHandlerTest::System);
    stopped.LogFileName = Dir.Write("file", "x") + "/under-a-file.log";
    stopped.SetActive(true);
    stopped.SetDebugMode(true);
    Application()->HandleException(nullptr, EListError("boom"));
    EXPECT_THROW(stopped.SetActive(false), EInOutError);
    stopped.SetActive(true);
  }
  ASSERT_EQ(Boxes.size(), 2u);  // the error's own box, then the one of the stop
  EXPECT_NE(Boxes[1].Text.find("Cannot write the error log "), std::string::npos) << Boxes[1].Text;
}

TEST_F(ErrorHandlerTest, DebugModeYesHaltsAfterSavingTheLog) {
  Answer = IDYES;
  EXPECT_TRUE(HandleInDebugModeUntilHalt());
  EXPECT_FALSE(Handler.Active());
}

TEST_F(ErrorHandlerTest, AFailureInsideTheHookIsOneLineAndHaltsWithTheLogSaved) {
  BoxThrows = true;
  EXPECT_TRUE(HandleInDebugModeUntilHalt());
  const std::string file = test::TempDir::Read(Handler.LogFileName);
  EXPECT_NE(file.find(" Exception Original Message: boom\r\n"), std::string::npos);
  EXPECT_NE(file.find("\r\n\r\n*** Raise in Error handler ***\r\n\r\n=== Error handler is stopped "), std::string::npos);
}

TEST_F(ErrorHandlerTest, DebugModeNeedsDebugInformation) {
  Handler.SetActive(true);
  Handler.DebugInfoAvailable = [] { return false; };
  Handler.SetDebugMode(true);
  EXPECT_FALSE(Handler.DebugMode());
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, Lang(leDebugLibraryFailed));
  EXPECT_EQ(Boxes[0].Caption, "Ondrel");
  EXPECT_TRUE(LogHas("*** Debug Mode False " + kDate + " ***"));
  Handler.DebugInfoAvailable = [] { return true; };
  Handler.SetDebugMode(true);
  EXPECT_TRUE(Handler.DebugMode());
  EXPECT_EQ(Boxes.size(), 1u);
  EXPECT_TRUE(LogHas("*** Debug Mode True " + kDate + " ***"));
}

TEST_F(ErrorHandlerTest, ARealExceptionIsLocatedThreeCallsDeep) {
  Handler.SetActive(true);
  try {
    test::ThrowingLevelOne();
  } catch (const std::exception& e) {
    Application()->HandleException(nullptr, e);
  }
  EXPECT_TRUE(LogHas(" Exception Class: EListError"));
  const int procedure = LogIndexOf(" Procedure Name: ond::test::ThrowingLevelThree()");
  ASSERT_GE(procedure, 0) << Handler.Log().GetText();
  const std::string unit = Handler.Log().Get(procedure + 1);
  EXPECT_EQ(unit.rfind(" Unit Name: ", 0), 0u);
  EXPECT_NE(unit.find(test::ThrowDeepSourceFile), std::string::npos);
  EXPECT_EQ(Handler.Log().Get(procedure - 1), " Module Name: " + ExtractFileName(ProgramFileName()));
  const int stack = LogIndexOf(" Call Stack:");
  ASSERT_GT(stack, procedure);
  const char* const levels[] = {"ThrowingLevelThree()", "ThrowingLevelTwo()", "ThrowingLevelOne()"};
  for (int i = 0; i < 3; ++i) {
    const std::string line = Handler.Log().Get(stack + 1 + i);
    EXPECT_NE(line.find(levels[i]), std::string::npos) << line;
    EXPECT_NE(line.find(std::string(test::ThrowDeepSourceFile) + ":"), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace ond
