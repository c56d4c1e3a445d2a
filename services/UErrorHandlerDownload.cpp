// The error handler's download of the debug-information library: the build
// check against the update server, the transfer with its progress on the
// handler's status panel, and putting the library in place.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "platform/core/CodePage.h"
#include "platform/core/DownloadCheck.h"
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
// Appended to the library's name for the file a download arrives in.
constexpr const char* DownloadSuffix = ".download";
// The window is given its pending paints at most this often during a download.
constexpr std::int64_t kPumpIntervalMs = 100;

// A message box of the entry, with the reason below it when there is one.
// A file's name and the system's reason for its failure, as program text.
std::string SystemReason(const std::string& fileName, int err) {
  return Utf8ToAnsi(fileName) + ": " + SystemErrorText(err);
}

// Reason is program text.
void Tell(int entry, const std::string& reason = {}) {
  std::string text = Lang(entry);
  if (!reason.empty()) text += "\n\n" + reason;
  Application()->MessageBox(text, kCaption, MB_OK | MB_ICONERROR);
}

std::int64_t NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

bool TErrorHandler::DownloadDebugInfo() {
  THttpClient http;
  // The transfer runs on the window's thread: a slow server may keep it no
  // longer than an update's, and Esc ends it at once.
  http.Limits = DownloadLimits;
  FDownloadCancelled = false;
  http.Cancel = &FDownloadCancelled;
  http.OnWorkBegin = [this](std::int64_t expected) { HttpWorkBegin(expected); };
  http.OnWork = [this](std::int64_t received) { HttpWork(received); };
  http.OnWorkEnd = [this] { HttpWorkEnd(); };
  // A silent server sends no data to pump the window by: the wait does.
  FLastPump = NowMs();
  http.OnWait = [this] { PumpWatchingEscape(); };

  const std::string program = Application()->ExeName();
  const std::string library = GetDebugInfoPath();
  // The user stopped it and knows; the log keeps it, the old library stays.
  const auto cancelled = [&] {
    if (!FDownloadCancelled) return false;
    if (FActive) {
      FLog.Add("*** Download " + Utf8ToAnsi(library) + " cancelled " + DateText() + " ***");
      FLog.Add("");
    }
    return true;
  };
  TServerBuild server;
  try {
    server = ParseBuildFile(http.Get(ServerUrl + "Build.upd", MaxBuildFileBytes));
  } catch (const Exception& e) {
    if (cancelled()) return false;
    // "No connection" only when no answer came; an answer that is no build
    // file is said as such.
    const bool answered = dynamic_cast<const EHttpBadAnswer*>(&e) || dynamic_cast<const EUpdateFormat*>(&e);
    Tell(answered ? static_cast<int>(leDebugLibraryAnswerUnreadable) : static_cast<int>(leDebugLibraryFailed));
    return false;
  }
  if (server.Build != FileBuild(program)) {
    Tell(leDebugLibraryMismatch);
    return false;
  }

  // The library arrives in a file of its own beside the old one, is checked
  // there (signature, kind, build) and only then takes the library's name.
  const std::string temporary = library + DownloadSuffix;
  if (::unlink(temporary.c_str()) != 0 && errno != ENOENT) {
    Tell(leDebugLibraryUpgradeFailed, SystemReason(temporary, errno));
    return false;
  }
  try {
    DownloadVerifiedFile(http, ServerUrl + DebugInfoFileName, temporary, TElfKind::Library, SigningKey,
                         MaxDebugInfoBytes);
  } catch (const Exception& e) {
    if (cancelled()) return false;
    Tell(leDebugLibraryUpgradeFailed, e.Message);
    return false;
  }
  const TScopeExit dropTemporary([&] { ::unlink(temporary.c_str()); });
  // A signed library of another build would answer with another build's
  // lines; the one in place stays.
  if (FileVersionText(temporary) != FileVersionText(program)) {
    Tell(leDebugLibraryMismatch);
    return false;
  }
  if (::chmod(temporary.c_str(), 0644) != 0 || std::rename(temporary.c_str(), library.c_str()) != 0) {
    Tell(leDebugLibraryUpgradeFailed, SystemReason(library, errno));
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
  PumpWatchingEscape();
}

void TErrorHandler::PumpWatchingEscape() {
  // The window shows the progress; keys and clicks do nothing, so nothing
  // the user does runs in the middle of the download, but Esc stops it.
  if (NowMs() - FLastPump >= kPumpIntervalMs) {
    FLastPump = NowMs();
    if (Application()->ProcessMessagesWatchingEscape()) FDownloadCancelled = true;
  }
}

void TErrorHandler::HttpWorkEnd() {
  if (FStatusPanel.Set) FStatusPanel.Set(FSavedPanelText);
}

}  // namespace ond
