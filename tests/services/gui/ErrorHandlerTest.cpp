// The error handler as the application's exception hook: records, markers,
// the halt message, debug mode with its box, the log file at the end, and
// failures inside the hook itself; the debug-information library in the
// header and the records, and its offer and download when debug mode wants it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QKeyEvent>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Forms.h"
#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "platform/core/SysUtils.h"
#include "services/UAbout.h"
#include "services/UErrorHandler.h"
#include "services/ULocalization.h"
#include "services/UThCheckUpdate.h"
#include "tests/support/DebugInfoFiles.h"
#include "tests/support/LocalHttpServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSigningKeys.h"
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
    // The library of this build lies beside the "program".
    Handler.DebugInfoPath = Dir.Write("DebugInfo.so", test::TempDir::Read(test::BuiltDebugInfoLibrary()));
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
  EXPECT_TRUE(LogHas(">DebugInfo"));
  EXPECT_TRUE(LogHas(" \x95 Name: " + Utf8ToAnsi(Handler.DebugInfoPath)));
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
      ">DebugInfo\r\n \x95 Name: " + Utf8ToAnsi(Handler.DebugInfoPath) + "\r\n \x95 Version: " +
      TApplication::Version() + "\r\n\r\n"
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
    stopped.DebugInfoPath = Handler.DebugInfoPath;
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

TEST_F(ErrorHandlerTest, WithoutTheLibraryTheHeaderHasNoBlockAndRecordsSayWhy) {
  std::remove(Handler.DebugInfoPath.c_str());
  Handler.SetActive(true);
  EXPECT_FALSE(LogHas(">DebugInfo"));
  EXPECT_TRUE(LogHas(">Ondrel"));
  try {
    test::ThrowingLevelOne();
  } catch (const std::exception& e) {
    Application()->HandleException(nullptr, e);
  }
  EXPECT_TRUE(LogHas(" Module Name: DebugInfo.so not found"));
  EXPECT_TRUE(LogHas(" Procedure Name: DebugInfo.so not found"));
  EXPECT_TRUE(LogHas(" Unit Name: DebugInfo.so not found"));
  EXPECT_EQ(LogIndexOf(" Line Number: 0"), -1);  // a line 0 is left out
}

TEST_F(ErrorHandlerTest, ALibraryLackingAFunctionGivesItsFixedText) {
  Dir.Write("DebugInfo.so", test::TempDir::Read(test::FakeDebugInfoLibrary("NoProcedure")));
  Handler.SetActive(true);
  Handler.SetDebugMode(true);
  ASSERT_TRUE(Handler.DebugMode());  // the stand-in carries this build's version
  Application()->HandleException(nullptr, EListError("boom"));
  EXPECT_TRUE(LogHas(" Module Name: FakeModule"));
  EXPECT_TRUE(LogHas(" Procedure Name: Procedure name not found in DebugInfo.so"));
  EXPECT_TRUE(LogHas(" Unit Name: Fake.cpp"));
  EXPECT_TRUE(LogHas(" Line Number: 42"));
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_NE(Boxes[0].Text.find("\n\rProcedure name: Procedure name not found in DebugInfo.so\n\r"), std::string::npos);
}

TEST_F(ErrorHandlerTest, TheLibraryIsCurrentWhenItsVersionIsTheProgramsOwn) {
  EXPECT_EQ(Handler.GetDebugInfoPath(), Dir / "DebugInfo.so");
  EXPECT_TRUE(Handler.IsDebugInfoCurrent());
  Dir.Write("DebugInfo.so", test::TempDir::Read(test::FakeDebugInfoLibrary("Old")));
  EXPECT_FALSE(Handler.IsDebugInfoCurrent());
  Dir.Write("DebugInfo.so", "not a library");
  EXPECT_FALSE(Handler.IsDebugInfoCurrent());
  std::remove(Handler.DebugInfoPath.c_str());
  EXPECT_FALSE(Handler.IsDebugInfoCurrent());
  // Beside the program unless told otherwise.
  const TErrorHandler other;
  EXPECT_EQ(other.GetDebugInfoPath(), ProgramFolder() + "DebugInfo.so");
}

std::string BuildFileOf(int build) { return std::to_string(build) + "\r\n" + TApplication::Version() + "\r\n"; }

// A handler whose library is an older build's, with an update server on a
// loopback port and the status panel recorded.
class DebugInfoDownload : public ErrorHandlerTest {
 protected:
  void SetUp() override {
    ErrorHandlerTest::SetUp();
    Old = test::TempDir::Read(test::FakeDebugInfoLibrary("Old"));
    Dir.Write("DebugInfo.so", Old);
    Library = test::TempDir::Read(test::BuiltDebugInfoLibrary());
    Handler.ServerUrl = Server.Url();
    Handler.SigningKey = Keys.Public;
    Panel = "panel text";
    Handler.SetActive(true);
  }

 public:
  using ErrorHandlerTest::Handler;
  // A file of the server's folder, with its signature by the tests' key.
  void Publish(const std::string& name, const std::string& bytes) {
    Server.Set("/pub/ONDREL/" + name, test::Ok(bytes));
    Server.Set("/pub/ONDREL/" + name + ".sig", test::Ok(Keys.Sign(bytes)));
  }
  int ProgramBuild() const { return Handler.FileBuild(ProgramFileName()); }

  test::TTestKeys Keys;
  test::TLocalServer Server;
  std::string Old, Library, Panel;

 protected:
  TErrorHandler& PanelHandler() {
    Handler2 = std::make_unique<TErrorHandler>(
        &ErrorHandlerTest::System,
        TStatusPanelText{[this] { return Panel; }, [this](const std::string& t) {
                           Panel = t;
                           PanelTexts.push_back(t);
                         }});
    Handler2->DebugInfoPath = Handler.DebugInfoPath;
    Handler2->ServerUrl = Handler.ServerUrl;
    Handler2->SigningKey = Keys.Public;
    Handler2->DateText = [] { return kDate; };
    Handler2->SetActive(true);
    return *Handler2;
  }
  bool HandlerLogHas(const TErrorHandler& h, const std::string& line) const {
    for (int i = 0; i < h.Log().GetCount(); ++i)
      if (h.Log().Get(i) == line) return true;
    return false;
  }
  std::vector<std::string> RequestedPaths() {
    std::vector<std::string> paths;
    for (const std::string& r : Server.Requests()) paths.push_back(r.substr(4, r.find(' ', 4) - 4));
    return paths;
  }

  std::vector<std::string> PanelTexts;
  std::unique_ptr<TErrorHandler> Handler2;
};

TEST_F(DebugInfoDownload, DecliningTheOfferAsksNothingOfTheServer) {
  Answer = IDNO;
  Handler.SetDebugMode(true);
  EXPECT_FALSE(Handler.DebugMode());
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, Lang(leDebugLibraryOffer));
  EXPECT_EQ(Boxes[0].Caption, "Ondrel");
  EXPECT_EQ(Boxes[0].Flags & 0x0F, MB_YESNO);
  EXPECT_TRUE(Server.Requests().empty());
  EXPECT_TRUE(LogHas("*** Debug Mode False " + kDate + " ***"));
  EXPECT_EQ(test::TempDir::Read(Handler.DebugInfoPath), Old);
}

TEST_F(DebugInfoDownload, TakingTheOfferDownloadsTheLibraryWithProgressOnThePanel) {
  Server.Set("/pub/ONDREL/Build.upd", test::Ok(BuildFileOf(ProgramBuild())));
  Publish("DebugInfo.so", Library);
  Answer = IDYES;
  TErrorHandler& h = PanelHandler();
  h.SetDebugMode(true);
  EXPECT_TRUE(h.DebugMode());
  EXPECT_EQ(Boxes.size(), 1u);  // the offer only
  EXPECT_EQ(RequestedPaths(), (std::vector<std::string>{"/pub/ONDREL/Build.upd", "/pub/ONDREL/DebugInfo.so.sig",
                                                        "/pub/ONDREL/DebugInfo.so"}));
  EXPECT_EQ(test::TempDir::Read(h.DebugInfoPath), Library);
  EXPECT_TRUE(h.IsDebugInfoCurrent());
  // Each transfer shows its share in the panel and gives the panel back.
  const std::string word = Lang(leUpdateDownloaded);
  ASSERT_GE(PanelTexts.size(), 4u);
  EXPECT_EQ(PanelTexts.front(), word + ": 0%");
  EXPECT_NE(std::find(PanelTexts.begin(), PanelTexts.end(), word + ": 100%"), PanelTexts.end());
  EXPECT_EQ(Panel, "panel text");
  EXPECT_TRUE(HandlerLogHas(h, "*** Download " + Utf8ToAnsi(h.DebugInfoPath) + " " + TApplication::Version() + " " +
                                   kDate + " ***"));
  EXPECT_TRUE(HandlerLogHas(h, "*** Debug Mode True " + kDate + " ***"));
  // Nothing of the download is left beside the library.
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Dir.Path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 1);
}

// A build without the release key would refuse whatever came: it offers no
// download and says where the library is to be had.
TEST_F(DebugInfoDownload, WithoutAKeyNothingIsOfferedOrAskedOfTheServer) {
  Server.Set("/pub/ONDREL/Build.upd", test::Ok(BuildFileOf(ProgramBuild())));
  Publish("DebugInfo.so", Library);
  Handler.SigningKey.reset();
  Answer = IDYES;
  Handler.SetDebugMode(true);
  EXPECT_FALSE(Handler.DebugMode());
  ASSERT_EQ(Boxes.size(), 1u);
  EXPECT_EQ(Boxes[0].Text, LangFill(leDebugLibraryNotInstallable, {AboutSiteAddress}));
  EXPECT_EQ(Boxes[0].Flags & 0x0F, MB_OK);
  EXPECT_TRUE(Server.Requests().empty());
  EXPECT_EQ(test::TempDir::Read(Handler.DebugInfoPath), Old);
  EXPECT_TRUE(LogHas("*** Debug Mode False " + kDate + " ***"));
}

// A server that trickles the library just fast enough never to count as
// stalled: the download ends at its whole-transfer limit (a second here).
TEST_F(DebugInfoDownload, ATricklingServerEndsAtTheTransferLimit) {
  Server.Set("/pub/ONDREL/Build.upd", test::Ok(BuildFileOf(ProgramBuild())));
  Publish("DebugInfo.so", Library);
  const std::size_t length = 11000;  // ten seconds at 1,100 bytes a second
  Server.Set("/pub/ONDREL/DebugInfo.so", test::Trickle(length, 110, 100));
  EXPECT_EQ(Handler.DownloadLimits.TransferTimeout, UpdateTransferLimits.TransferTimeout);
  Handler.DownloadLimits.TransferTimeout = 1;
  Answer = IDYES;
  Handler.SetDebugMode(true);
  EXPECT_FALSE(Handler.DebugMode());
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[1].Text.rfind(Lang(leDebugLibraryUpgradeFailed) + "\n\n", 0), 0u) << Boxes[1].Text;
  EXPECT_NE(Boxes[1].Text.find(ProgramText(TProgramText::HttpTimedOut)), std::string::npos) << Boxes[1].Text;
  EXPECT_LT(Server.BytesSent(), length);
  EXPECT_EQ(test::TempDir::Read(Handler.DebugInfoPath), Old);
}

// Esc while the library arrives ends the download: no message (the user
// asked for it), the old library stays, and the log says it was cancelled.
TEST_F(DebugInfoDownload, EscCancelsTheDownloadAndKeepsTheOldLibrary) {
  Server.Set("/pub/ONDREL/Build.upd", test::Ok(BuildFileOf(ProgramBuild())));
  Publish("DebugInfo.so", Library);
  const std::size_t length = 11000;
  Server.Set("/pub/ONDREL/DebugInfo.so", test::Trickle(length, 110, 100));
  Answer = IDYES;
  // The key reaches the window's loop as the user's would, once the
  // library has begun to arrive (only it arrives in pieces: a share between
  // none and all).
  QObject window;
  const auto partly = [](const std::string& text) {
    const std::string word = Lang(leUpdateDownloaded) + ": ";
    if (text.rfind(word, 0) != 0 || text.back() != '%') return false;
    const int share = std::atoi(text.c_str() + word.size());
    return share > 0 && share < 100;
  };
  bool pressed = false;
  Handler2 = std::make_unique<TErrorHandler>(
      &ErrorHandlerTest::System, TStatusPanelText{[this] { return Panel; }, [&](const std::string& t) {
                                                    Panel = t;
                                                    if (partly(t) && !pressed) {
                                                      pressed = true;
                                                      QCoreApplication::postEvent(
                                                          &window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape,
                                                                                 Qt::NoModifier));
                                                    }
                                                  }});
  TErrorHandler& h = *Handler2;
  h.DebugInfoPath = Handler.DebugInfoPath;
  h.ServerUrl = Handler.ServerUrl;
  h.SigningKey = Keys.Public;
  h.DateText = [] { return kDate; };
  h.SetActive(true);
  h.SetDebugMode(true);
  EXPECT_TRUE(pressed);
  EXPECT_FALSE(h.DebugMode());
  EXPECT_EQ(Boxes.size(), 1u);  // the offer only
  EXPECT_LT(Server.BytesSent(), length);
  EXPECT_EQ(test::TempDir::Read(h.DebugInfoPath), Old);
  EXPECT_TRUE(HandlerLogHas(h, "*** Download " + Utf8ToAnsi(h.DebugInfoPath) + " cancelled " + kDate + " ***"));
  EXPECT_TRUE(HandlerLogHas(h, "*** Debug Mode False " + kDate + " ***"));
  EXPECT_EQ(Panel, "panel text");
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Dir.Path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 1);
}

// A server that goes silent after its headers sends no data to pump the
// window by: Esc still ends the download, long before the server would.
TEST_F(DebugInfoDownload, EscCancelsADownloadFromASilentServer) {
  Server.Set("/pub/ONDREL/Build.upd", test::Ok(BuildFileOf(ProgramBuild())));
  Publish("DebugInfo.so", Library);
  // Headers, then three seconds without a byte.
  Server.Set("/pub/ONDREL/DebugInfo.so",
             test::TAnswer{{"HTTP/1.1 200 OK\r\nContent-Length: 11000\r\nConnection: close\r\n\r\n", ""}, 100, 30});
  // The user presses Esc as soon as the download is under way.
  QObject window;
  Application()->MessageBoxHook = [&](const std::string& text, const std::string& caption, unsigned flags) {
    Boxes.push_back({text, caption, flags});
    QCoreApplication::postEvent(&window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    return IDYES;
  };
  Handler.SetDebugMode(true);
  EXPECT_FALSE(Handler.DebugMode());
  EXPECT_EQ(Boxes.size(), 1u);  // the offer only: no failure told
  EXPECT_EQ(test::TempDir::Read(Handler.DebugInfoPath), Old);
  EXPECT_TRUE(LogHas("*** Download " + Utf8ToAnsi(Handler.DebugInfoPath) + " cancelled " + kDate + " ***"));
}

// What the server does wrong, the entry the user then reads, and the paths
// asked for until the download gave up.
struct TDownloadFailure {
  const char* Name;
  std::function<void(DebugInfoDownload&)> Serve;
  int Entry;
  std::vector<std::string> Requested;
};

void PrintTo(const TDownloadFailure& c, std::ostream* os) { *os << c.Name; }

const std::string kBuildPath = "/pub/ONDREL/Build.upd";
const std::string kLibraryPath = "/pub/ONDREL/DebugInfo.so";
const std::string kSignaturePath = "/pub/ONDREL/DebugInfo.so.sig";

class DebugInfoDownloadFailure : public DebugInfoDownload, public testing::WithParamInterface<TDownloadFailure> {};

TEST_P(DebugInfoDownloadFailure, IsToldAndKeepsTheLibraryInPlace) {
  const TDownloadFailure& c = GetParam();
  c.Serve(*this);
  Answer = IDYES;
  Handler.SetDebugMode(true);
  EXPECT_FALSE(Handler.DebugMode());
  ASSERT_EQ(Boxes.size(), 2u);
  EXPECT_EQ(Boxes[1].Text.substr(0, Lang(c.Entry).size()), Lang(c.Entry));
  EXPECT_EQ(Boxes[1].Caption, "Ondrel");
  EXPECT_EQ(RequestedPaths(), c.Requested);
  EXPECT_EQ(test::TempDir::Read(Handler.DebugInfoPath), Old);
  EXPECT_TRUE(LogHas("*** Debug Mode False " + kDate + " ***"));
  for (int i = 0; i < Handler.Log().GetCount(); ++i) EXPECT_EQ(Handler.Log().Get(i).rfind("*** Download ", 0), std::string::npos);
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Dir.Path())) files += entry.is_regular_file();
  EXPECT_EQ(files, 1);
}

void ServeBuild(DebugInfoDownload& t, int build) { t.Server.Set(kBuildPath, test::Ok(BuildFileOf(build))); }

INSTANTIATE_TEST_SUITE_P(
    Cases, DebugInfoDownloadFailure,
    testing::Values(
        TDownloadFailure{"NoServer", [](DebugInfoDownload& t) { t.Handler.ServerUrl = "http://127.0.0.1:1/pub/ONDREL/"; },
                         leDebugLibraryFailed, {}},
        TDownloadFailure{"NoBuildFile", [](DebugInfoDownload&) {}, leDebugLibraryAnswerUnreadable, {kBuildPath}},
        TDownloadFailure{"BuildFileWithoutANumber",
                         [](DebugInfoDownload& t) { t.Server.Set(kBuildPath, test::Ok("new\r\n1.0.0.9\r\n")); },
                         leDebugLibraryAnswerUnreadable, {kBuildPath}},
        TDownloadFailure{"AnotherBuildOnTheServer",
                         [](DebugInfoDownload& t) { ServeBuild(t, t.ProgramBuild() + 1); }, leDebugLibraryMismatch,
                         {kBuildPath}},
        TDownloadFailure{"EmptyLibrary",
                         [](DebugInfoDownload& t) {
                           ServeBuild(t, t.ProgramBuild());
                           t.Publish("DebugInfo.so", "");
                         },
                         leDebugLibraryUpgradeFailed, {kBuildPath, kSignaturePath, kLibraryPath}},
        TDownloadFailure{"NoLibrary", [](DebugInfoDownload& t) { ServeBuild(t, t.ProgramBuild()); },
                         leDebugLibraryUpgradeFailed, {kBuildPath, kSignaturePath}},
        TDownloadFailure{"UnsignedLibrary",
                         [](DebugInfoDownload& t) {
                           ServeBuild(t, t.ProgramBuild());
                           t.Server.Set(kLibraryPath, test::Ok(t.Library));
                         },
                         leDebugLibraryUpgradeFailed, {kBuildPath, kSignaturePath}},
        TDownloadFailure{"SignedByAnotherKey",
                         [](DebugInfoDownload& t) {
                           ServeBuild(t, t.ProgramBuild());
                           t.Publish("DebugInfo.so", t.Library);
                           t.Server.Set(kSignaturePath, test::Ok(test::TTestKeys(9).Sign(t.Library)));
                         },
                         leDebugLibraryUpgradeFailed, {kBuildPath, kSignaturePath, kLibraryPath}},
        TDownloadFailure{"CutLibrary",
                         [](DebugInfoDownload& t) {
                           ServeBuild(t, t.ProgramBuild());
                           t.Publish("DebugInfo.so", t.Library);
                           t.Server.Set(kLibraryPath, test::Truncated(t.Library));
                         },
                         leDebugLibraryUpgradeFailed, {kBuildPath, kSignaturePath, kLibraryPath}},
        TDownloadFailure{"NotALibrary",
                         [](DebugInfoDownload& t) {
                           ServeBuild(t, t.ProgramBuild());
                           t.Publish("DebugInfo.so", "MZ a Windows library");
                         },
                         leDebugLibraryUpgradeFailed, {kBuildPath, kSignaturePath, kLibraryPath}},
        TDownloadFailure{"AProgramInsteadOfTheLibrary",
                         [](DebugInfoDownload& t) {
                           ServeBuild(t, t.ProgramBuild());
                           t.Publish("DebugInfo.so", test::TempDir::Read("/bin/true"));
                         },
                         leDebugLibraryUpgradeFailed, {kBuildPath, kSignaturePath, kLibraryPath}},
        TDownloadFailure{"AnotherVersionsLibrary",
                         [](DebugInfoDownload& t) {
                           ServeBuild(t, t.ProgramBuild());
                           t.Publish("DebugInfo.so", t.Old);
                         },
                         leDebugLibraryMismatch, {kBuildPath, kSignaturePath, kLibraryPath}}),
    [](const testing::TestParamInfo<TDownloadFailure>& info) { return std::string(info.param.Name); });

}  // namespace
}  // namespace ond
