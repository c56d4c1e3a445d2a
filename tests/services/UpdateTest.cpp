// The update check and the self-replacement against a small HTTP server on a
// loopback port: what each answer of the server leads to, which message is
// shown, and what happens to the program's file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/core/FileSystem.h"
#include "platform/core/HttpClient.h"
#include "services/ULocalization.h"
#include "services/UThCheckUpdate.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/LocalHttpServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSigningKeys.h"
#include "tests/support/ElfBuilder.h"

namespace ond {
namespace {

using namespace test;  // the local server and its answers

const std::string Program = "#!/bin/sh\nold program\n";

// A program for this machine as the server offers it: build 101 in its mark.
std::string ProgramOfBuild(std::uint16_t build) {
  return BuildElf(ElfOfKind(ET_DYN, true, TFileVersion{1, 0, 0, build})).Bytes;
}
std::string NewProgram() { return ProgramOfBuild(101); }

// --- HTTP client ---------------------------------------------------------

TEST(HttpClient, FollowsRedirectsAndSendsNoUserAgent) {
  TLocalServer server;
  server.Set("/a", Redirect("/b"));
  server.Set("/b", Ok("the body"));
  THttpClient http;
  EXPECT_EQ(http.Get(server.Url("/a"), 1 << 20), "the body");
  EXPECT_EQ(http.LastStatus(), 200);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& r : requests) EXPECT_EQ(r.find("User-Agent"), std::string::npos) << r;
}

TEST(HttpClient, FailuresAreErrors) {
  TLocalServer server;
  server.Set("/truncated", Truncated("only part"));
  THttpClient http;
  EXPECT_THROW(http.Get(server.Url("/missing"), 1 << 20), EHttpError);
  EXPECT_EQ(http.LastStatus(), 404);
  EXPECT_THROW(http.Get(server.Url("/truncated"), 1 << 20), EHttpError);
  EXPECT_THROW(http.Get("http://127.0.0.1:1/none", 1 << 20), EHttpError);
  EXPECT_THROW(http.Get("not a url at all", 1 << 20), EHttpError);
}

TEST(HttpClient, NoAnswerAndAnAnswerThatCannotBeUsedAreTold) {
  TLocalServer server;
  server.Set("/ftp", Redirect(server.Url("/elsewhere").replace(0, 4, "ftp")));
  server.Set("/file", Redirect("file:///bin/true"));
  server.Set("/garbage", {{"this is no HTTP at all\r\n\r\n"}});
  server.Set("/missing", {{"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found"}});
  server.Set("/long", Ok(std::string(1001, 'x')));
  server.Set("/truncated", Truncated("only part"));
  const struct {
    const char* Name;
    std::string Url;
    bool Answered;  // EHttpBadAnswer rather than only EHttpError
  } cases[] = {
      {"redirect to ftp", server.Url("/ftp"), true},
      {"redirect to a file", server.Url("/file"), true},
      {"no HTTP", server.Url("/garbage"), true},
      {"error status", server.Url("/missing"), true},
      {"longer than its cap", server.Url("/long"), true},
      {"cut off", server.Url("/truncated"), false},
      {"nobody listening", "http://127.0.0.1:1/none", false},
      {"an ftp address", "ftp://127.0.0.1/x", false},
  };
  for (const auto& c : cases) {
    THttpClient http;
    try {
      http.Get(c.Url, 1000);
      ADD_FAILURE() << c.Name << ": no failure";
    } catch (const EHttpBadAnswer&) {
      EXPECT_TRUE(c.Answered) << c.Name;
    } catch (const EHttpError&) {
      EXPECT_FALSE(c.Answered) << c.Name;
    }
  }
  // The refused redirect was not followed, on any port.
  for (const auto& r : server.Requests()) EXPECT_EQ(r.find("/elsewhere"), std::string::npos) << r;
  THttpClient http;
  EXPECT_EQ(http.Get(server.Url("/long"), 1001), std::string(1001, 'x'));
}

// A port that listens and never answers: whoever connects stays in its
// queue, where the test finds them.
class TSilentPort {
 public:
  TSilentPort() {
    FSocket = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(FSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(::listen(FSocket, 4), 0);
    socklen_t len = sizeof addr;
    ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&addr), &len);
    FPort = ntohs(addr.sin_port);
  }
  ~TSilentPort() { ::close(FSocket); }
  int Port() const { return FPort; }
  bool Contacted() {
    const int conn = ::accept(FSocket, nullptr, nullptr);
    if (conn < 0) return false;
    ::close(conn);
    return true;
  }

 private:
  int FSocket = -1;
  int FPort = 0;
};

TEST(HttpClient, RedirectsGoOnlyToHttpAndHttps) {
  for (const char* scheme : {"ftp", "ftps", "gopher", "dict", "telnet", "smtp"}) {
    TSilentPort elsewhere;
    TLocalServer server;
    server.Set("/f", Redirect(std::string(scheme) + "://127.0.0.1:" + std::to_string(elsewhere.Port()) + "/Ondrel.exe"));
    THttpClient http;
    http.Limits.TransferTimeout = 2;  // bounds a wrongly followed redirect
    EXPECT_THROW(http.Get(server.Url("/f"), 1000), EHttpBadAnswer) << scheme;
    EXPECT_FALSE(elsewhere.Contacted()) << scheme;
  }
}

// Whether a request was answered, and what the client handed on.
struct TRequestOutcome {
  bool Answered = false;  // EHttpBadAnswer rather than only EHttpError
  bool Failed = false;
  bool WorkBegun = false;
  std::int64_t BytesHandedOn = 0;
  std::string Body;
  std::string Message;
};

TRequestOutcome Request(THttpClient& http, const std::string& url) {
  TRequestOutcome out;
  http.OnWorkBegin = [&](std::int64_t) { out.WorkBegun = true; };
  http.OnWork = [&](std::int64_t received) { out.BytesHandedOn = received; };
  try {
    out.Body = http.Get(url, 1000);
  } catch (const EHttpBadAnswer& e) {
    out.Failed = out.Answered = true;
    out.Message = e.Message;
  } catch (const EHttpError& e) {
    out.Failed = true;
    out.Message = e.Message;
  }
  return out;
}

TEST(HttpClient, AddressesOfOtherSchemesAreNeverAsked) {
  // A file that would read as an update answer, and an ftp server that
  // would be contacted: neither is touched.
  TempDir dir;
  const std::string file = dir.Write("answer.txt", "1.0.0.999\n");
  TSilentPort ftp;
  const std::string addresses[] = {"file://" + file, "ftp://127.0.0.1:" + std::to_string(ftp.Port()) + "/answer.txt"};
  for (const std::string& address : addresses) {
    THttpClient http;
    http.Limits.TransferTimeout = 2;  // bounds a wrongly started transfer
    const TRequestOutcome out = Request(http, address);
    EXPECT_TRUE(out.Failed) << address;
    EXPECT_FALSE(out.Answered) << address << ": " << out.Message;
    EXPECT_FALSE(out.WorkBegun) << address;
    EXPECT_EQ(out.BytesHandedOn, 0) << address;
    EXPECT_EQ(out.Body, "") << address;
    EXPECT_EQ(http.LastStatus(), 0) << address;
  }
  EXPECT_FALSE(ftp.Contacted());
}

TEST(HttpClient, RedirectsStopAtTenInARow) {
  TLocalServer server;
  // A chain of `hops` redirects to a body.
  auto chain = [&](int hops) {
    const std::string name = "/chain" + std::to_string(hops) + "-";
    for (int i = 0; i < hops; ++i) server.Set(name + std::to_string(i), Redirect(name + std::to_string(i + 1)));
    server.Set(name + std::to_string(hops), Ok("after " + std::to_string(hops)));
    return server.Url(name + "0");
  };
  auto asked = [&](const std::string& prefix) {
    std::size_t n = 0;
    for (const auto& r : server.Requests()) n += r.rfind("GET " + prefix, 0) == 0;
    return n;
  };
  THttpClient http;
  http.Limits.TransferTimeout = 5;  // bounds an endless chain followed wrongly
  EXPECT_EQ(Request(http, chain(10)).Body, "after 10");
  EXPECT_EQ(asked("/chain10-"), 11u);

  TRequestOutcome out = Request(http, chain(11));
  EXPECT_TRUE(out.Answered) << out.Message;
  EXPECT_EQ(out.BytesHandedOn, 0);
  EXPECT_EQ(asked("/chain11-"), 11u);  // the eleventh redirect is not followed

  // A redirect to itself ends at the cap, not at the transfer's time limit.
  server.Set("/loop", Redirect("/loop"));
  out = Request(http, server.Url("/loop"));
  EXPECT_TRUE(out.Answered) << out.Message;
  EXPECT_EQ(asked("/loop"), 11u);
}

TEST(HttpClient, StalledAndEndlessTransfersEnd) {
  TLocalServer server;
  // Two bytes a tenth of a second: below any sensible speed, for a minute.
  server.Set("/trickle", Trickle(1200, 2, 100));
  // Fast enough, but never done within the time allowed.
  server.Set("/long", Trickle(1 << 20, 2048, 100));
  {
    THttpClient http;
    http.Limits.LowSpeedLimit = 1024;
    http.Limits.LowSpeedTime = 1;
    EXPECT_THROW(http.Get(server.Url("/trickle"), 1 << 20), EHttpError);
  }
  {
    THttpClient http;
    http.Limits.LowSpeedLimit = 1;
    http.Limits.TransferTimeout = 1;
    std::int64_t received = 0;
    http.OnWork = [&](std::int64_t n) { received = n; };
    try {
      http.Get(server.Url("/long"), 1 << 20);
      ADD_FAILURE() << "the transfer went on";
    } catch (const EHttpBadAnswer&) {
      ADD_FAILURE() << "a timeout is no answer";
    } catch (const EHttpError&) {
    }
    EXPECT_LT(received, 1 << 20);
  }
}

TEST(HttpClient, ChunkedBodyWithoutLengthReportsBytesReceived) {
  TLocalServer server;
  server.Set("/slow", Chunked({"abc", "defg", "hi"}, 30));
  THttpClient http;
  std::int64_t expected = 0;
  std::vector<std::int64_t> received;
  int ends = 0;
  http.OnWorkBegin = [&](std::int64_t n) { expected = n; };
  http.OnWork = [&](std::int64_t n) { received.push_back(n); };
  http.OnWorkEnd = [&] { ++ends; };
  EXPECT_EQ(http.Get(server.Url("/slow"), 1 << 20), "abcdefghi");
  EXPECT_EQ(expected, -1);
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.back(), 9);
  EXPECT_GE(received.size(), 2u);  // the pauses split the body
  EXPECT_EQ(ends, 1);
}

TEST(HttpClient, AnnouncedLengthIsReported) {
  TLocalServer server;
  server.Set("/f", Ok("12345"));
  THttpClient http;
  std::int64_t expected = 0;
  http.OnWorkBegin = [&](std::int64_t n) { expected = n; };
  http.Get(server.Url("/f"), 1 << 20);
  EXPECT_EQ(expected, 5);
}

// --- Build.upd and the check -------------------------------------------

TEST(UpdateCheck, BuildFileTakesTheLowSixteenBits) {
  EXPECT_EQ(ParseBuildFile("120\r\n1.0.0.120\r\n").Build, 120);
  EXPECT_EQ(ParseBuildFile("120\r\n1.0.0.120\r\n").Version, "1.0.0.120");
  EXPECT_EQ(ParseBuildFile("65537\n1.2\n").Build, 1);
  EXPECT_EQ(ParseBuildFile("7\nv").Version, "v");
  for (const char* bad : {"", "120", "120\r\n", "x\n1.0", "12a\n1.0", "99999999999\n1.0", "-\n1.0"})
    EXPECT_THROW(ParseBuildFile(bad), EUpdateFormat) << bad;
}

struct TCheckCase {
  const char* Name;
  std::string BuildFile;  // empty: the server has none (404)
  bool Silent;
  TCheckResult Result;
  int Message;
};

TEST(UpdateCheck, ServerAnswersGiveTheirMessages) {
  const TCheckCase cases[] = {
      {"equal builds, loud", "100\r\n1.0.0.100\r\n", false, TCheckResult::NoUpdate, leLatestVersion},
      {"equal builds, silent", "100\r\n1.0.0.100\r\n", true, TCheckResult::NoUpdate, -1},
      {"older server, loud", "99\r\n1.0.0.99\r\n", false, TCheckResult::NoUpdate, leLatestVersion},
      {"one line, loud", "101", false, TCheckResult::Failed, leUpdateAnswerUnreadable},
      {"one line, silent", "101", true, TCheckResult::Failed, -1},
      {"not a number, loud", "new\r\n1.0\r\n", false, TCheckResult::Failed, leUpdateAnswerUnreadable},
      {"longer than a build file, loud", "101\r\n" + std::string(5000, '1'), false, TCheckResult::Failed, leUpdateAnswerUnreadable},
      {"no Build.upd, loud", "", false, TCheckResult::Failed, leUpdateAnswerUnreadable},
      {"no Build.upd, silent", "", true, TCheckResult::Failed, -1},
      {"newer, silent", "101\r\n1.0.0.101\r\n", true, TCheckResult::Offer, -1},
  };
  for (const auto& c : cases) {
    TLocalServer server;
    if (!c.BuildFile.empty()) server.Set("/pub/ONDREL/Build.upd", Ok(c.BuildFile));
    server.Set("/pub/ONDREL/UpdateInfo.txt", Ok("notes"));
    THttpClient http;
    const TCheckOutcome out = CheckForUpdate(http, server.Url(), 100, c.Silent);
    EXPECT_EQ(out.Result, c.Result) << c.Name;
    EXPECT_EQ(out.Message, c.Message) << c.Name;
    if (c.Result == TCheckResult::Offer) {
      EXPECT_EQ(out.UpdateInfo, "notes");
      EXPECT_EQ(out.Server.Version, "1.0.0.101");
    }
  }
}

TEST(UpdateCheck, NoServerIsNoConnection) {
  THttpClient http;
  for (const bool silent : {false, true}) {
    const TCheckOutcome out = CheckForUpdate(http, "http://127.0.0.1:1/pub/ONDREL/", 100, silent);
    EXPECT_EQ(out.Result, TCheckResult::Failed);
    EXPECT_EQ(out.Message, silent ? -1 : leUpdateCheckFailed);
  }
  EXPECT_EQ(leUpdateCheckFailed, 126);
  EXPECT_NE(leUpdateAnswerUnreadable, leUpdateCheckFailed);
  for (const int language : {LangRussian, LangEnglish}) {
    EXPECT_FALSE(LangText(leUpdateAnswerUnreadable, language).empty());
    EXPECT_NE(LangText(leUpdateAnswerUnreadable, language), LangText(leUpdateCheckFailed, language));
  }
}

TEST(UpdateCheck, ServerAddressFromTheEnvironment) {
  {
    test::TEnvGuard env("ONDREL_UPDATE_URL", "http://127.0.0.1:9/x");
    EXPECT_EQ(UpdateServerUrl(), "http://127.0.0.1:9/x/");
  }
  test::TEnvGuard env("ONDREL_UPDATE_URL", nullptr);
  EXPECT_NE(UpdateServerUrl().find("/pub/ONDREL/"), std::string::npos);
}

// --- The download and the replacement -----------------------------------

TEST(UpdateReplace, OnlyProgramsForThisMachineAreAccepted) {
  EXPECT_EQ(CheckElfForThisMachine(NewProgram(), TElfKind::Program), "");
  EXPECT_NE(CheckElfForThisMachine("", TElfKind::Program), "");
  EXPECT_NE(CheckElfForThisMachine("\x7f" "ELF", TElfKind::Program), "");
  std::string other = NewProgram();
  other[18] = static_cast<char>(other[18] ^ 0x40);  // another machine
  EXPECT_NE(CheckElfForThisMachine(other, TElfKind::Program), "");
  std::string wrongClass = NewProgram();
  wrongClass[4] = sizeof(void*) == 8 ? 1 : 2;
  EXPECT_NE(CheckElfForThisMachine(wrongClass, TElfKind::Program), "");
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

ino_t Inode(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_ino;
}

// The server of an offered build 101 with the program and its signature.
void Publish(TLocalServer& server, const std::string& program, const std::string& signature) {
  server.Set("/pub/ONDREL/Ondrel.exe", Ok(program));
  server.Set("/pub/ONDREL/Ondrel.exe.sig", Ok(signature));
}

TEST(UpdateReplace, BadDownloadsReplaceNothingAndSayWhy) {
  const TTestKeys keys;
  const TTestKeys stranger(9);
  const std::string elf = NewProgram();
  const std::string older = ProgramOfBuild(100);
  const std::string object = BuildElf(ElfOfKind(ET_REL, false, TFileVersion{1, 0, 0, 101})).Bytes;
  const std::string core = BuildElf(ElfOfKind(ET_CORE, false, TFileVersion{1, 0, 0, 101})).Bytes;
  const std::string unmarked = BuildElf().Bytes;
  const struct {
    const char* Name;
    TAnswer Program;
    std::optional<std::string> Signature;  // nothing: none on the server
  } cases[] = {
      {"empty", Ok(""), keys.Sign("")},
      {"not found", {{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"}}, keys.Sign(elf)},
      {"truncated", Truncated(elf.substr(0, elf.size() / 2)), keys.Sign(elf)},
      {"not a program", Ok("MZ this is a Windows program" + std::string(100, '\0')), std::nullopt},
      {"unsigned", Ok(elf), std::nullopt},
      {"signed by a stranger", Ok(elf), stranger.Sign(elf)},
      {"signature of other bytes", Ok(elf), keys.Sign(elf + "x")},
      {"signed older build", Ok(older), keys.Sign(older)},
      {"signed program without a build", Ok(unmarked), keys.Sign(unmarked)},
      {"signed relocatable object", Ok(object), keys.Sign(object)},
      {"signed core file", Ok(core), keys.Sign(core)},
  };
  for (const auto& c : cases) {
    TLocalServer server;
    server.Set("/pub/ONDREL/Ondrel.exe", c.Program);
    if (c.Signature) server.Set("/pub/ONDREL/Ondrel.exe.sig", Ok(*c.Signature));
    test::TempDir dir;
    const std::string program = dir.Write("Ondrel", Program);
    THttpClient http;
    const TDownloadResult result = DownloadAndReplace(http, server.Url(), program, {101, keys.Public});
    EXPECT_EQ(result.Entry, leUpdateFailed) << c.Name;
    EXPECT_FALSE(result.Reason.empty()) << c.Name;
    EXPECT_TRUE(test::TempDir::Read(program) == Program) << c.Name;  // no dump of a program on failure
    EXPECT_FALSE(Exists(dir / "Ondrel.oldupdate")) << c.Name;
    EXPECT_FALSE(Exists(dir / "Ondrel.newupdate")) << c.Name;
  }
}

TEST(UpdateReplace, ASignedProgramOfTheOfferedBuildTakesThePlaceOfTheOldOne) {
  const TTestKeys keys;
  TLocalServer server;
  server.Set("/pub/ONDREL/Ondrel.exe", Redirect("/files/new"));
  server.Set("/files/new", Chunked({NewProgram().substr(0, 1000), NewProgram().substr(1000)}, 10));
  server.Set("/pub/ONDREL/Ondrel.exe.sig", Ok(keys.Sign(NewProgram())));
  test::TempDir dir;
  const std::string program = dir.Write("Ondrel", Program);
  ::chmod(program.c_str(), 0750);
  const ino_t oldInode = Inode(program);
  // What a failed update left behind, a link to elsewhere among it, is
  // cleared away and never written through.
  const std::string elsewhere = dir.Write("elsewhere", "keep");
  ASSERT_EQ(::symlink(elsewhere.c_str(), (dir / "Ondrel.newupdate").c_str()), 0);
  dir.Write("Ondrel.oldupdate", "an old leftover");
  THttpClient http;
  const TDownloadResult result = DownloadAndReplace(http, server.Url(), program, {101, keys.Public});
  EXPECT_EQ(result.Entry, -1) << result.Reason;
  EXPECT_EQ(test::TempDir::Read(program), NewProgram());
  EXPECT_EQ(test::TempDir::Read(elsewhere), "keep");
  // The old program keeps its file under the second name.
  EXPECT_EQ(test::TempDir::Read(dir / "Ondrel.oldupdate"), Program);
  EXPECT_EQ(Inode(dir / "Ondrel.oldupdate"), oldInode);
  EXPECT_FALSE(Exists(dir / "Ondrel.newupdate"));
  struct stat st;
  ASSERT_EQ(::stat(program.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0750u);  // the old program's mode
}

TEST(UpdateReplace, AFailedRenameLeavesTheOldProgramRunnableUnderItsName) {
  const TTestKeys keys;
  TLocalServer server;
  Publish(server, NewProgram(), keys.Sign(NewProgram()));
  test::TempDir dir;
  const std::string program = dir.Write("Ondrel", Program);
  ::chmod(program.c_str(), 0755);
  TReplaceOps ops = DefaultReplaceOps();
  int calls = 0;
  bool programThere = false;
  ops.Rename = [&](const std::string&, const std::string& to) {
    ++calls;
    // The moment of the step: the program is still whole under its name.
    programThere = to == program && test::TempDir::Read(program) == Program;
    errno = EIO;
    return false;
  };
  THttpClient http;
  const TDownloadResult result = DownloadAndReplace(http, server.Url(), program, {101, keys.Public}, ops);
  EXPECT_EQ(result.Entry, leUpdateFailed);
  EXPECT_NE(result.Reason.find(SystemErrorText(EIO)), std::string::npos) << result.Reason;
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(programThere);
  EXPECT_EQ(test::TempDir::Read(program), Program);
  EXPECT_EQ(::access(program.c_str(), X_OK), 0);
  EXPECT_FALSE(Exists(dir / "Ondrel.oldupdate"));
  EXPECT_FALSE(Exists(dir / "Ondrel.newupdate"));
}

TEST(UpdateReplace, ReleaseNotesAreUtf8OrCodePage1251) {
  const struct {
    const char* Name;
    std::string Bytes, Text;
  } cases[] = {
      {"plain ASCII", "Fixes\r\n", "Fixes\r\n"},
      {"UTF-8", "\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD0\xB5", "\xCD\xEE\xE2\xEE\xE5"},
      {"UTF-8 with a mark", "\xEF\xBB\xBF\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD0\xB5 \xE2\x80\x94 1",
       "\xCD\xEE\xE2\xEE\xE5 \x97 1"},
      {"code page 1251", "\xCD\xEE\xE2\xEE\xE5", "\xCD\xEE\xE2\xEE\xE5"},
      {"code page 1251 that begins like a mark", "\xEF\xBB\xBF\xCD\xEE", "\xEF\xBB\xBF\xCD\xEE"},
      {"empty", "", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DecodeReleaseNotes(c.Bytes), c.Text) << c.Name;
  // The check hands the notes over decoded.
  TLocalServer server;
  server.Set("/pub/ONDREL/Build.upd", Ok("101\r\n1.0.0.101\r\n"));
  server.Set("/pub/ONDREL/UpdateInfo.txt", Ok("\xEF\xBB\xBF\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD0\xB5"));
  THttpClient http;
  EXPECT_EQ(CheckForUpdate(http, server.Url(), 100, true).UpdateInfo, "\xCD\xEE\xE2\xEE\xE5");
}

// --- Texts -------------------------------------------------------------------

TEST(UpdateTexts, VersionIsInsertedOnce) {
  SetCurrentLanguage(LangEnglish);
  const std::string text = UpdateOfferText("2.0 XXX build");
  EXPECT_EQ(text, "A new version of the program available \"2.0 XXX build\". Upgrade now?");
  EXPECT_EQ(UpdateOfferText(""), "A new version of the program available \"\". Upgrade now?");
}

TEST(UpdateTexts, ABuildWithoutAKeySaysWhichBuildIsOutAndWhereToGetIt) {
  for (const int language : {LangEnglish, LangRussian}) {
    SetCurrentLanguage(language);
    const std::string text = UpdateNotInstallableText({101, "1.0.0.101"}, "https://site.test/");
    EXPECT_NE(text.find("101 "), std::string::npos) << text;
    EXPECT_NE(text.find("1.0.0.101"), std::string::npos) << text;
    EXPECT_NE(text.find("https://site.test/"), std::string::npos) << text;
    EXPECT_EQ(text.find("%s"), std::string::npos) << text;
  }
  SetCurrentLanguage(LangEnglish);
}

TEST(UpdateTexts, ProgressIsAShareOrTheBytesReceived) {
  SetCurrentLanguage(LangEnglish);
  const struct {
    std::int64_t Expected, Received;
    const char* Text;
  } cases[] = {
      {1000, 0, "Download: 0%"},
      {1000, 500, "Download: 50%"},
      {200, 1, "Download: 0%"},  // a half goes to the even neighbour
      {200, 3, "Download: 2%"},
      {3, 3, "Download: 100%"},
      {-1, 0, "Download: 0 bytes"},  // no size announced
      {-1, 123456, "Download: 123456 bytes"},
      {0, 17, "Download: 17 bytes"},  // an announced size of 0 divides nothing
  };
  for (const auto& c : cases) EXPECT_EQ(DownloadProgressText(c.Expected, c.Received), c.Text) << c.Text;
}

TEST(UpdateStart, TheNewProgramStartsOrTheReasonIsGiven) {
  test::TempDir dir;
  std::string error;
  EXPECT_TRUE(StartProgram("/bin/true", error)) << error;
  const std::string notRunnable = dir.Write("Ondrel", NewProgram());
  ::chmod(notRunnable.c_str(), 0644);
  EXPECT_FALSE(StartProgram(notRunnable, error));
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_FALSE(StartProgram(dir / "missing", error));
  EXPECT_FALSE(error.empty());
}

// --- The check thread ---------------------------------------------------------

// The window's thread of these tests: calls queued from the worker wait here
// until the test's own thread runs them.
class TCallQueue {
 public:
  void Push(std::function<void()> call) {
    {
      std::lock_guard lock(FLock);
      FCalls.push_back(std::move(call));
      ++FPushed;
    }
    FReady.notify_all();
  }
  bool Empty() {
    std::lock_guard lock(FLock);
    return FCalls.empty();
  }
  int Pushed() {
    std::lock_guard lock(FLock);
    return FPushed;
  }
  // Runs queued calls, waiting for more, until done holds.
  void RunUntil(const std::function<bool()>& done) {
    while (!done()) {
      std::function<void()> call;
      {
        std::unique_lock lock(FLock);
        FReady.wait_for(lock, std::chrono::milliseconds(5), [this] { return !FCalls.empty(); });
        if (FCalls.empty()) continue;
        call = std::move(FCalls.front());
        FCalls.pop_front();
      }
      call();
    }
  }

 private:
  std::mutex FLock;
  std::condition_variable FReady;
  std::deque<std::function<void()>> FCalls;
  int FPushed = 0;
};

// What a check of build 100 works on, with the tests' key.
TUpdateTarget Target(TLocalServer& server, const std::string& program) {
  TUpdateTarget target;
  target.ServerUrl = server.Url();
  target.ProgramFile = program;
  target.Build = 100;
  target.Key = TTestKeys().Public;
  return target;
}

// A check with every event written to a log, each checked to arrive on the
// test's thread.
struct TCheckRig {
  TCallQueue Queue;
  std::vector<std::string> Log;
  const std::thread::id Window = std::this_thread::get_id();
  bool Take = true;  // the answer to an offer
  bool Busy = false;  // the window's state for held calls
  std::unique_ptr<TThCheckUpd> Check = std::make_unique<TThCheckUpd>(Events());

  void Note(const std::string& what) {
    EXPECT_EQ(std::this_thread::get_id(), Window) << what;
    Log.push_back(what);
  }
  TThCheckUpd::TEvents Events() {
    TThCheckUpd::TEvents e;
    e.Queue = [this](std::function<void()> call) { Queue.Push(std::move(call)); };
    e.OnMessage = [this](int entry) { Note("message " + std::to_string(entry)); };
    e.OnOffer = [this](const TCheckOutcome& o) {
      Note("offer " + o.Server.Version + " " + o.UpdateInfo);
      return Take;
    };
    e.OnCannotInstall = [this](const TCheckOutcome& o) {
      Note("cannot install " + std::to_string(o.Server.Build) + " " + o.Server.Version);
    };
    e.OnWorkBegin = [this](std::int64_t n) { Note("begin " + std::to_string(n)); };
    e.OnWork = [this](std::int64_t n) { Log.push_back("work " + std::to_string(n)); };
    e.OnWorkEnd = [this] { Note("end"); };
    e.OnDownloaded = [this](const TDownloadResult& result) { Note("downloaded " + std::to_string(result.Entry)); };
    e.Busy = [this] { return Busy; };
    return e;
  }
  void Run(bool silent, const TUpdateTarget& target) {
    ASSERT_TRUE(Check->Start(silent, target));
    Queue.RunUntil([this] { return !Check->Running() && Queue.Empty(); });
  }
  // The log without the work lines (their number depends on the transfer).
  std::vector<std::string> Steps() const {
    std::vector<std::string> out;
    for (const auto& l : Log)
      if (l.rfind("work ", 0) != 0) out.push_back(l);
    return out;
  }
};

using TLog = std::vector<std::string>;

TEST(UpdateThread, CheckAnswersReachTheWindowThread) {
  const struct {
    const char* Name;
    std::string BuildFile;  // empty: no such file on the server
    bool Silent;
    TLog Steps;
  } cases[] = {
      {"equal builds, loud", "100\r\n1.0.0.100\r\n", false, {"message 125"}},
      {"equal builds, silent", "100\r\n1.0.0.100\r\n", true, {}},
      {"one line, loud", "101\r\n", false, {"message " + std::to_string(leUpdateAnswerUnreadable)}},
      {"one line, silent", "101", true, {}},
      {"not a number, loud", "1O1\r\n1.0.0.101\r\n", false, {"message " + std::to_string(leUpdateAnswerUnreadable)}},
      {"not a number, silent", "1O1\r\n1.0.0.101\r\n", true, {}},
      {"no server file, loud", "", false, {"message " + std::to_string(leUpdateAnswerUnreadable)}},
      {"no server file, silent", "", true, {}},
  };
  for (const auto& c : cases) {
    TLocalServer server;
    if (!c.BuildFile.empty()) server.Set("/pub/ONDREL/Build.upd", Ok(c.BuildFile));
    TCheckRig rig;
    rig.Run(c.Silent, Target(server, "/nonexistent/Ondrel"));
    EXPECT_EQ(rig.Steps(), c.Steps) << c.Name;
  }
}

TEST(UpdateThread, DeclinedOfferDownloadsNothing) {
  TLocalServer server;
  server.Set("/pub/ONDREL/Build.upd", Ok("101\r\n1.0.0.101\r\n"));
  server.Set("/pub/ONDREL/UpdateInfo.txt", Ok("notes"));
  test::TempDir dir;
  const std::string program = dir.Write("Ondrel", Program);
  for (const bool silent : {false, true}) {
    TCheckRig rig;
    rig.Take = false;
    rig.Run(silent, Target(server, program));
    EXPECT_EQ(rig.Steps(), (TLog{"offer 1.0.0.101 notes"}));
  }
  for (const auto& r : server.Requests()) EXPECT_EQ(r.find("Ondrel.exe"), std::string::npos);
  EXPECT_EQ(test::TempDir::Read(program), Program);
}

TEST(UpdateThread, WithoutAKeyANewerBuildIsToldInsteadOfOffered) {
  TLocalServer server;
  server.Set("/pub/ONDREL/Build.upd", Ok("101\r\n1.0.0.101\r\n"));
  server.Set("/pub/ONDREL/UpdateInfo.txt", Ok("notes"));
  const std::string elf = NewProgram();
  server.Set("/pub/ONDREL/Ondrel.exe", Ok(elf));
  server.Set("/pub/ONDREL/Ondrel.exe.sig", Ok(TTestKeys().Sign(elf)));
  test::TempDir dir;
  const std::string program = dir.Write("Ondrel", Program);
  for (const bool silent : {false, true}) {
    TCheckRig rig;  // it would take the offer
    TUpdateTarget target = Target(server, program);
    target.Key.reset();
    rig.Run(silent, target);
    EXPECT_EQ(rig.Steps(), (TLog{"cannot install 101 1.0.0.101"})) << silent;
  }
  for (const auto& r : server.Requests()) EXPECT_EQ(r.find("Ondrel.exe"), std::string::npos) << r;
  EXPECT_EQ(test::TempDir::Read(program), Program);
  EXPECT_NE(::access((dir / "Ondrel.oldupdate").c_str(), F_OK), 0);
  EXPECT_NE(::access((dir / "Ondrel.newupdate").c_str(), F_OK), 0);
  // Nothing newer: a build without a key says what any build says.
  TCheckRig rig;
  TUpdateTarget target = Target(server, program);
  target.Key.reset();
  target.Build = 101;
  rig.Run(false, target);
  EXPECT_EQ(rig.Steps(), (TLog{"message " + std::to_string(leLatestVersion)}));
}

TEST(UpdateThread, TakenOfferReplacesTheProgramWithProgressOnTheWindowThread) {
  TLocalServer server;
  server.Set("/pub/ONDREL/Build.upd", Ok("101\r\n1.0.0.101\r\n"));
  server.Set("/pub/ONDREL/UpdateInfo.txt", Ok("notes"));
  server.Set("/pub/ONDREL/Ondrel.exe", Redirect("/files/Ondrel-101"));
  const std::string elf = NewProgram();
  server.Set("/files/Ondrel-101", Chunked({elf.substr(0, 1000), elf.substr(1000)}, 20));
  server.Set("/pub/ONDREL/Ondrel.exe.sig", Ok(TTestKeys().Sign(elf)));
  test::TempDir dir;
  const std::string program = dir.Write("Ondrel", Program);
  TCheckRig rig;
  rig.Run(true, Target(server, program));
  EXPECT_EQ(rig.Steps(), (TLog{"offer 1.0.0.101 notes", "begin -1", "end", "downloaded -1"}));
  ASSERT_GE(rig.Log.size(), 6u);
  EXPECT_EQ(rig.Log[rig.Log.size() - 3], "work " + std::to_string(elf.size()));
  EXPECT_EQ(test::TempDir::Read(program), elf);
  EXPECT_EQ(test::TempDir::Read(dir / "Ondrel.oldupdate"), Program);
}

TEST(UpdateThread, BadDownloadGivesItsMessageAndRenamesNothing) {
  const std::string elf = NewProgram();
  const std::pair<const char*, TAnswer> cases[] = {
      {"empty", Ok("")},
      {"truncated", Truncated(elf.substr(0, elf.size() / 2))},
      {"not a program", Ok("MZ" + std::string(200, '\x90'))},
  };
  for (const auto& [name, answer] : cases) {
    TLocalServer server;
    server.Set("/pub/ONDREL/Build.upd", Ok("101\r\n1.0.0.101\r\n"));
    server.Set("/pub/ONDREL/UpdateInfo.txt", Ok("notes"));
    server.Set("/pub/ONDREL/Ondrel.exe", answer);
    server.Set("/pub/ONDREL/Ondrel.exe.sig", Ok(TTestKeys().Sign(elf)));
    test::TempDir dir;
    const std::string program = dir.Write("Ondrel", Program);
    TCheckRig rig;
    rig.Run(false, Target(server, program));
    ASSERT_FALSE(rig.Log.empty()) << name;
    EXPECT_EQ(rig.Log.back(), "downloaded 127") << name;
    EXPECT_EQ(test::TempDir::Read(program), Program) << name;
    EXPECT_FALSE(Exists(dir / "Ondrel.oldupdate")) << name;
    EXPECT_FALSE(Exists(dir / "Ondrel.newupdate")) << name;
  }
}

TEST(UpdateThread, OneCheckAtATime) {
  TLocalServer server;
  TAnswer slow = Chunked({"100\r\n", "1.0.0.100\r\n"}, 150);
  server.Set("/pub/ONDREL/Build.upd", slow);
  TCheckRig rig;
  ASSERT_TRUE(rig.Check->Start(false, Target(server, "/nonexistent/Ondrel")));
  EXPECT_TRUE(rig.Check->Running());
  EXPECT_FALSE(rig.Check->Start(false, Target(server, "/nonexistent/Ondrel")));
  rig.Queue.RunUntil([&] { return !rig.Check->Running() && rig.Queue.Empty(); });
  EXPECT_EQ(rig.Steps(), (TLog{"message 125"}));
  // Once over, the next check may start.
  rig.Run(false, Target(server, "/nonexistent/Ondrel"));
  EXPECT_EQ(rig.Steps(), (TLog{"message 125", "message 125"}));
}

TEST(UpdateThread, GoingAwayAbandonsTheCheckAndItsQueuedCalls) {
  TLocalServer server;
  server.Set("/pub/ONDREL/Build.upd", Chunked({"100\r\n", "1.0.0.100\r\n"}, 300));
  TCheckRig rig;
  ASSERT_TRUE(rig.Check->Start(false, Target(server, "/nonexistent/Ondrel")));
  rig.Check.reset();  // stops the transfer and waits for the thread
  rig.Queue.RunUntil([&] { return rig.Queue.Empty(); });
  EXPECT_TRUE(rig.Log.empty());
}

TEST(UpdateThread, GoingAwayWhileTheOfferIsOpenEndsTheWait) {
  TLocalServer server;
  server.Set("/pub/ONDREL/Build.upd", Ok("101\r\n1.0.0.101\r\n"));
  server.Set("/pub/ONDREL/UpdateInfo.txt", Ok("notes"));
  TCheckRig rig;
  ASSERT_TRUE(rig.Check->Start(true, Target(server, "/nonexistent/Ondrel")));
  // The offer is queued; the worker waits for an answer that never comes.
  while (rig.Queue.Empty() && rig.Check->Running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_FALSE(rig.Queue.Empty());
  rig.Check.reset();
  rig.Queue.RunUntil([&] { return rig.Queue.Empty(); });
  EXPECT_TRUE(rig.Log.empty());
}

TEST(UpdateThread, CallsWaitWhileTheWindowIsBusyAndComeInOrder) {
  TLocalServer server;
  server.Set("/pub/ONDREL/Build.upd", Ok("101\r\n1.0.0.101\r\n"));
  server.Set("/pub/ONDREL/UpdateInfo.txt", Ok("notes"));
  TCheckRig rig;
  rig.Take = false;
  rig.Busy = true;
  ASSERT_TRUE(rig.Check->Start(false, Target(server, "/nonexistent/Ondrel")));
  // The offer arrives and is held; the worker waits for its answer.
  rig.Queue.RunUntil([&] { return rig.Queue.Pushed() == 1 && rig.Queue.Empty(); });
  EXPECT_TRUE(rig.Log.empty());
  EXPECT_TRUE(rig.Check->Running());
  // Still busy: resuming changes nothing.
  rig.Check->ResumeHeld();
  rig.Queue.RunUntil([&] { return rig.Queue.Empty(); });
  EXPECT_TRUE(rig.Log.empty());
  rig.Busy = false;
  rig.Check->ResumeHeld();
  rig.Queue.RunUntil([&] { return !rig.Check->Running() && rig.Queue.Empty(); });
  EXPECT_EQ(rig.Steps(), (TLog{"offer 1.0.0.101 notes"}));
}

}  // namespace
}  // namespace ond
