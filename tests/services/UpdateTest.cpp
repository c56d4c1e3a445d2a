// The update check and the self-replacement against a small HTTP server on a
// loopback port: what each answer of the server leads to, which message is
// shown, and what happens to the program's file.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/core/FileSystem.h"
#include "platform/core/HttpClient.h"
#include "services/ULocalization.h"
#include "services/UThCheckUpdate.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

// One answer: raw bytes sent in pieces, with a pause between pieces.
struct TAnswer {
  std::vector<std::string> Pieces;
  int PauseMs = 0;
};

TAnswer Ok(const std::string& body) {
  return {{"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body}};
}
TAnswer Redirect(const std::string& to) {
  return {{"HTTP/1.1 302 Found\r\nLocation: " + to + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"}};
}
TAnswer Truncated(const std::string& body) {
  return {{"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size() + 100) +
           "\r\nConnection: close\r\n\r\n" + body}};
}
TAnswer Chunked(const std::vector<std::string>& chunks, int pauseMs = 0) {
  TAnswer a{{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"}, pauseMs};
  for (const auto& c : chunks) {
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", c.size());
    a.Pieces.push_back(size + c + "\r\n");
  }
  a.Pieces.push_back("0\r\n\r\n");
  return a;
}

class TLocalServer {
 public:
  TLocalServer() {
    FSocket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(FSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(FSocket, 8) != 0)
      throw std::runtime_error("local server cannot listen");
    socklen_t len = sizeof addr;
    ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&addr), &len);
    FPort = ntohs(addr.sin_port);
    FThread = std::thread([this] { Serve(); });
  }
  ~TLocalServer() {
    FStop = true;
    FThread.join();
    ::close(FSocket);
  }
  std::string Url(const std::string& path = "/pub/ONDREL/") const {
    return "http://127.0.0.1:" + std::to_string(FPort) + path;
  }
  void Set(const std::string& path, TAnswer answer) {
    std::lock_guard lock(FMutex);
    FAnswers[path] = std::move(answer);
  }
  std::vector<std::string> Requests() {
    std::lock_guard lock(FMutex);
    return FRequests;
  }

 private:
  void Serve() {
    while (!FStop) {
      pollfd p{FSocket, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int conn = ::accept(FSocket, nullptr, nullptr);
      if (conn < 0) continue;
      std::string request;
      char buf[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(conn, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, static_cast<size_t>(n));
      }
      const size_t sp = request.find(' ');
      const std::string path = sp == std::string::npos ? "" : request.substr(sp + 1, request.find(' ', sp + 1) - sp - 1);
      TAnswer answer{{"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found"}};
      {
        std::lock_guard lock(FMutex);
        FRequests.push_back(request);
        if (auto it = FAnswers.find(path); it != FAnswers.end()) answer = it->second;
      }
      for (size_t i = 0; i < answer.Pieces.size(); ++i) {
        if (i && answer.PauseMs) std::this_thread::sleep_for(std::chrono::milliseconds(answer.PauseMs));
        ::send(conn, answer.Pieces[i].data(), answer.Pieces[i].size(), MSG_NOSIGNAL);
      }
      ::shutdown(conn, SHUT_WR);
      while (::recv(conn, buf, sizeof buf, 0) > 0) {
      }
      ::close(conn);
    }
  }

  int FSocket = -1;
  int FPort = 0;
  std::atomic<bool> FStop{false};
  std::mutex FMutex;
  std::map<std::string, TAnswer> FAnswers;
  std::vector<std::string> FRequests;
  std::thread FThread;
};

const std::string Program = "#!/bin/sh\nold program\n";

std::string NewProgram() { return ReadRegularFile("/bin/true"); }

// --- HTTP client ---------------------------------------------------------

TEST(HttpClient, FollowsRedirectsAndSendsNoUserAgent) {
  TLocalServer server;
  server.Set("/a", Redirect("/b"));
  server.Set("/b", Ok("the body"));
  THttpClient http;
  EXPECT_EQ(http.Get(server.Url("/a")), "the body");
  EXPECT_EQ(http.LastStatus(), 200);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  for (const auto& r : requests) EXPECT_EQ(r.find("User-Agent"), std::string::npos) << r;
}

TEST(HttpClient, FailuresAreErrors) {
  TLocalServer server;
  server.Set("/truncated", Truncated("only part"));
  THttpClient http;
  EXPECT_THROW(http.Get(server.Url("/missing")), EHttpError);
  EXPECT_EQ(http.LastStatus(), 404);
  EXPECT_THROW(http.Get(server.Url("/truncated")), EHttpError);
  EXPECT_THROW(http.Get("http://127.0.0.1:1/none"), EHttpError);
  EXPECT_THROW(http.Get("not a url at all"), EHttpError);
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
  EXPECT_EQ(http.Get(server.Url("/slow")), "abcdefghi");
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
  http.Get(server.Url("/f"));
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
      {"one line, loud", "101", false, TCheckResult::Failed, leUpdateCheckFailed},
      {"one line, silent", "101", true, TCheckResult::Failed, -1},
      {"not a number, loud", "new\r\n1.0\r\n", false, TCheckResult::Failed, leUpdateCheckFailed},
      {"no Build.upd, loud", "", false, TCheckResult::Failed, leUpdateCheckFailed},
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
  EXPECT_TRUE(IsElfForThisMachine(NewProgram()));
  EXPECT_FALSE(IsElfForThisMachine(""));
  EXPECT_FALSE(IsElfForThisMachine("\x7f" "ELF"));
  std::string other = NewProgram();
  other[18] = static_cast<char>(other[18] ^ 0x40);  // another machine
  EXPECT_FALSE(IsElfForThisMachine(other));
  std::string wrongClass = NewProgram();
  wrongClass[4] = sizeof(void*) == 8 ? 1 : 2;
  EXPECT_FALSE(IsElfForThisMachine(wrongClass));
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

TEST(UpdateReplace, BadDownloadsRenameNothing) {
  const std::string elf = NewProgram();
  const std::pair<const char*, TAnswer> cases[] = {
      {"empty", Ok("")},
      {"not found", {{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"}}},
      {"truncated", Truncated(elf.substr(0, elf.size() / 2))},
      {"not a program", Ok("MZ this is a Windows program" + std::string(100, '\0'))},
  };
  for (const auto& [name, answer] : cases) {
    TLocalServer server;
    server.Set("/pub/ONDREL/Ondrel.exe", answer);
    test::TempDir dir;
    const std::string program = dir.Write("Ondrel", Program);
    THttpClient http;
    EXPECT_EQ(DownloadAndReplace(http, server.Url(), program), leUpdateFailed) << name;
    EXPECT_EQ(test::TempDir::Read(program), Program) << name;
    EXPECT_FALSE(Exists(dir / "Ondrel.oldupdate")) << name;
    EXPECT_FALSE(Exists(dir / "Ondrel.newupdate")) << name;
  }
}

TEST(UpdateReplace, GoodProgramTakesThePlaceOfTheOldOne) {
  TLocalServer server;
  server.Set("/pub/ONDREL/Ondrel.exe", Redirect("/files/new"));
  server.Set("/files/new", Chunked({NewProgram().substr(0, 1000), NewProgram().substr(1000)}, 10));
  test::TempDir dir;
  const std::string program = dir.Write("Ondrel", Program);
  THttpClient http;
  EXPECT_EQ(DownloadAndReplace(http, server.Url(), program), -1);
  EXPECT_EQ(test::TempDir::Read(program), NewProgram());
  EXPECT_EQ(test::TempDir::Read(dir / "Ondrel.oldupdate"), Program);
  EXPECT_FALSE(Exists(dir / "Ondrel.newupdate"));
  struct stat st;
  ASSERT_EQ(::stat(program.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IXUSR, 0u);
}

TEST(UpdateReplace, FailedSecondRenamePutsTheOldProgramBack) {
  TLocalServer server;
  server.Set("/pub/ONDREL/Ondrel.exe", Ok(NewProgram()));
  test::TempDir dir;
  const std::string program = dir.Write("Ondrel", Program);
  TReplaceOps ops = DefaultReplaceOps();
  int calls = 0;
  const auto real = ops.Rename;
  ops.Rename = [&](const std::string& from, const std::string& to) { return ++calls == 1 && real(from, to); };
  THttpClient http;
  EXPECT_EQ(DownloadAndReplace(http, server.Url(), program, ops), leUpdateFailed);
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(test::TempDir::Read(program), Program);
  EXPECT_FALSE(Exists(dir / "Ondrel.oldupdate"));
  EXPECT_FALSE(Exists(dir / "Ondrel.newupdate"));
}

}  // namespace
}  // namespace ond
