// The error handler's download of the debug-information library: the build
// check against the update server, the transfer with its progress on the
// handler's status panel, and putting the library in place.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "platform/core/HttpClient.h"
#include "platform/core/ScopeGuard.h"
#include "services/UDebugInfoLibrary.h"
#include "services/UErrorHandler.h"
#include "services/ULocalization.h"
#include "services/UThCheckUpdate.h"

namespace ond {

namespace {

const char* const kCaption = "Ondrel";
// The window is given its pending paints at most this often during a download.
constexpr std::int64_t kPumpIntervalMs = 100;

void Tell(int entry) { Application()->MessageBox(Lang(entry), kCaption, MB_OK | MB_ICONERROR); }

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Writes the bytes to a new temporary file beside `target`, flushed to the
// disk; its name, or "" when it could not be written (nothing is left then).
std::string WriteBeside(const std::string& target, const std::string& bytes) {
  std::string name = target + ".XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return {};
  bool ok = ::fchmod(fd, 0644) == 0;
  for (std::size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (!ok) {
    std::remove(name.c_str());
    return {};
  }
  return name;
}

}  // namespace

bool TErrorHandler::DownloadDebugInfo() {
  THttpClient http;
  http.OnWorkBegin = [this](std::int64_t expected) { HttpWorkBegin(expected); };
  http.OnWork = [this](std::int64_t received) { HttpWork(received); };
  http.OnWorkEnd = [this] { HttpWorkEnd(); };

  const std::string program = Application()->ExeName();
  TServerBuild server;
  try {
    server = ParseBuildFile(http.Get(ServerUrl + "Build.upd"));
  } catch (const Exception&) {
    // No answer, or none that names a build.
    Tell(leDebugLibraryFailed);
    return false;
  }
  if (server.Build != FileBuild(program)) {
    Tell(leDebugLibraryMismatch);
    return false;
  }

  std::string body;
  try {
    body = http.Get(ServerUrl + DebugInfoFileName);
  } catch (const Exception&) {
    Tell(leDebugLibraryUpgradeFailed);
    return false;
  }
  if (body.empty() || !IsElfForThisMachine(body)) {
    Tell(leDebugLibraryUpgradeFailed);
    return false;
  }
  const std::string library = GetDebugInfoPath();
  const std::string temporary = WriteBeside(library, body);
  if (temporary.empty()) {
    Tell(leDebugLibraryUpgradeFailed);
    return false;
  }
  TScopeExit dropTemporary([&] { std::remove(temporary.c_str()); });
  // A library of another version would answer with another build's lines;
  // the one in place stays.
  if (FileVersionText(temporary) != FileVersionText(program)) {
    Tell(leDebugLibraryMismatch);
    return false;
  }
  if (std::rename(temporary.c_str(), library.c_str()) != 0) {
    Tell(leDebugLibraryUpgradeFailed);
    return false;
  }
  const bool current = IsDebugInfoCurrent();
  if (current && FActive) {
    FLog.Add("*** Download " + Utf8ToAnsi(library) + " " + FileVersionText(library) + " " + DateText() + " ***");
    FLog.Add("");
  }
  return current;
}

void TErrorHandler::HttpWorkBegin(std::int64_t expected) {
  if (!FStatusPanel.Set) return;
  FSavedPanelText = FStatusPanel.Get ? FStatusPanel.Get() : std::string();
  FExpected = expected;
  FReceived = 0;
  FLastPump = NowMs();
  FStatusPanel.Set(DownloadProgressText(FExpected, 0));
}

void TErrorHandler::HttpWork(std::int64_t received) {
  if (!FStatusPanel.Set) return;
  FReceived = received;
  FStatusPanel.Set(DownloadProgressText(FExpected, FReceived));
  // The window shows the progress; keys and clicks wait, so nothing the
  // user does runs in the middle of the download.
  if (NowMs() - FLastPump >= kPumpIntervalMs) {
    FLastPump = NowMs();
    Application()->ProcessMessagesExceptInput();
  }
}

void TErrorHandler::HttpWorkEnd() {
  if (FStatusPanel.Set) FStatusPanel.Set(FSavedPanelText);
}

}  // namespace ond
