#include "services/UThCheckUpdate.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

#include "platform/core/CodePage.h"
#include "platform/core/GuardedThread.h"
#include "platform/core/ScopeGuard.h"
#include "services/ULocalization.h"

extern char** environ;

#ifndef ONDREL_UPDATE_URL
#define ONDREL_UPDATE_URL "https://ondrel.update/pub/ONDREL/"
#endif

namespace ond {

std::string UpdateServerUrl() {
  std::string url = ONDREL_UPDATE_URL;
  if (const char* env = std::getenv("ONDREL_UPDATE_URL"); env && *env) url = env;
  if (url.empty() || url.back() != '/') url += '/';
  return url;
}

namespace {

std::string Line(const std::string& text, size_t& pos) {
  const size_t end = text.find_first_of("\r\n", pos);
  std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
  if (end == std::string::npos) {
    pos = text.size();
  } else {
    pos = end + 1;
    if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
  }
  return line;
}

}  // namespace

TServerBuild ParseBuildFile(const std::string& text) {
  size_t pos = 0;
  const std::string first = Line(text, pos);
  if (pos >= text.size()) throw EUpdateFormat("Build.upd has fewer than two lines");
  const std::string second = Line(text, pos);
  size_t i = 0;
  bool negative = false;
  if (i < first.size() && (first[i] == '-' || first[i] == '+')) negative = first[i++] == '-';
  if (i == first.size()) throw EUpdateFormat("Build.upd: '" + first + "' is not a number");
  std::uint64_t value = 0;
  for (; i < first.size(); ++i) {
    if (first[i] < '0' || first[i] > '9' || value > 0xFFFFFFFFull)
      throw EUpdateFormat("Build.upd: '" + first + "' is not a number");
    value = value * 10 + static_cast<unsigned>(first[i] - '0');
  }
  if (value > 0x80000000ull || (!negative && value > 0x7FFFFFFFull))
    throw EUpdateFormat("Build.upd: '" + first + "' is not a number");
  const auto number = static_cast<std::uint32_t>(negative ? 0u - value : value);
  return {static_cast<std::uint16_t>(number & 0xFFFFu), second};
}

TCheckOutcome CheckForUpdate(THttpClient& http, const std::string& serverUrl, std::uint16_t localBuild,
                             bool silent) {
  TCheckOutcome out;
  try {
    out.Server = ParseBuildFile(http.Get(serverUrl + "Build.upd", MaxBuildFileBytes));
    if (localBuild < out.Server.Build) {
      out.UpdateInfo = DecodeReleaseNotes(http.Get(serverUrl + "UpdateInfo.txt", MaxUpdateInfoBytes));
      out.Result = TCheckResult::Offer;
    } else {
      out.Result = TCheckResult::NoUpdate;
      if (!silent) out.Message = leLatestVersion;
    }
  } catch (const Exception& e) {
    // No answer at all is "no connection"; an answer that is not what the
    // server should give is said as such, so that nobody looks for a fault
    // in the network.
    const bool answered = dynamic_cast<const EHttpBadAnswer*>(&e) || dynamic_cast<const EUpdateFormat*>(&e);
    out = TCheckOutcome{};
    if (!silent) out.Message = answered ? static_cast<int>(leUpdateAnswerUnreadable) : static_cast<int>(leUpdateCheckFailed);
  }
  return out;
}

std::string DecodeReleaseNotes(const std::string& bytes) {
  std::string_view text = bytes;
  constexpr std::string_view bom = "\xEF\xBB\xBF";
  const bool marked = text.substr(0, bom.size()) == bom;
  if (marked) text.remove_prefix(bom.size());
  std::size_t invalid = 0;
  Utf8ToUtf16(text, &invalid);
  if (invalid == 0) return Utf8ToAnsi(text);
  // Not UTF-8: the notes are code page 1251 as they stand (a mark that only
  // looked like one included).
  return bytes;
}

TReplaceOps DefaultReplaceOps() {
  return {[](const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }};
}

namespace {

std::string SystemReason(const std::string& what, int error) { return Utf8ToAnsi(what) + ": " + SystemErrorText(error); }

// Makes to a second name of the file from (or, where the file system has no
// second names, a copy written and flushed); to must not exist.
std::string LinkOrCopy(const std::string& from, const std::string& to) {
  if (::link(from.c_str(), to.c_str()) == 0) return {};
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return SystemReason(from, errno);
  const TScopeExit closeIn([in] { ::close(in); });
  struct stat st {};
  if (::fstat(in, &st) != 0) return SystemReason(from, errno);
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, st.st_mode & 0777);
  if (out < 0) return SystemReason(to, errno);
  bool ok = true;
  char buf[64 * 1024];
  for (;;) {
    const ssize_t n = ::read(in, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t done = 0; ok && done < n;) {
      const ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      ok = w > 0;
      if (ok) done += w;
    }
    if (!ok) break;
  }
  const int error = errno;
  ok = ok && ::fsync(out) == 0;
  ok = ::close(out) == 0 && ok;
  if (ok) return {};
  ::unlink(to.c_str());
  return SystemReason(to, error ? error : EIO);
}

// Makes the rename of a file in folder last across a crash of the system.
void FlushFolderOf(const std::string& path) {
  const int dir = ::open(ExtractFilePath(path).empty() ? "." : ExtractFilePath(path).c_str(),
                         O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  ::fsync(dir);
  ::close(dir);
}

}  // namespace

TDownloadResult DownloadAndReplace(THttpClient& http, const std::string& serverUrl, const std::string& programPath,
                                   const TDownloadRule& rule, const TReplaceOps& ops) {
  const auto failed = [](std::string reason) { return TDownloadResult{leUpdateFailed, std::move(reason)}; };
  const std::string newFile = ChangeFileExt(programPath, ".newupdate");
  const std::string oldFile = ChangeFileExt(programPath, ".oldupdate");
  // What an earlier failed update left goes first: the download is written
  // only into a file of its own making.
  if (::unlink(newFile.c_str()) != 0 && errno != ENOENT) return failed(SystemReason(newFile, errno));
  try {
    DownloadVerifiedFile(http, serverUrl + "Ondrel.exe", newFile, TElfKind::Program, rule.Key, MaxProgramBytes);
  } catch (const Exception& e) {
    return failed(e.Message);
  }
  bool placed = false;
  const TScopeExit removeNew([&] {
    if (!placed) ::unlink(newFile.c_str());
  });
  // A signed older release is still not this offer.
  const std::optional<TFileVersion> build = ReadElfBuildNoteOfFile(newFile);
  if (!build) return failed(Lang(leDownloadNoBuild));
  if (build->Build != rule.Build)
    return failed(LangFill(leDownloadWrongBuild, {std::to_string(build->Build), std::to_string(rule.Build)}));
  struct stat st {};
  const mode_t mode = ::stat(programPath.c_str(), &st) == 0 ? (st.st_mode & 0777) | 0100 : 0755;
  if (::chmod(newFile.c_str(), mode) != 0) return failed(SystemReason(newFile, errno));
  if (::unlink(oldFile.c_str()) != 0 && errno != ENOENT) return failed(SystemReason(oldFile, errno));
  if (std::string reason = LinkOrCopy(programPath, oldFile); !reason.empty()) return failed(reason);
  if (!ops.Rename(newFile, programPath)) {
    const int error = errno;
    // The program never left its name; its second name is not needed.
    ::unlink(oldFile.c_str());
    return failed(SystemReason(programPath, error ? error : EIO));
  }
  placed = true;
  FlushFolderOf(programPath);
  return {};
}

std::string UpdateOfferText(const std::string& version) {
  std::string text = Lang(leUpdateOffer);
  const size_t at = text.find(UpdateVersionPlaceholder);
  if (at != std::string::npos) text.replace(at, std::string_view(UpdateVersionPlaceholder).size(), version);
  return text;
}

std::string UpdateNotInstallableText(const TServerBuild& server, const std::string& site) {
  return LangFill(leUpdateNotInstallable, {std::to_string(server.Build), server.Version, site});
}

bool StartProgram(const std::string& file, std::string& error) {
  std::string name = file;
  char* argv[] = {name.data(), nullptr};
  pid_t pid = 0;
  // The spawn reports a file that cannot be run, so the caller learns it
  // before it closes itself.
  const int rc = ::posix_spawn(&pid, file.c_str(), nullptr, nullptr, argv, environ);
  if (rc == 0) return true;
  error = SystemErrorText(rc);
  return false;
}

std::string DownloadProgressText(std::int64_t expected, std::int64_t received) {
  std::string text = Lang(leUpdateDownloaded) + ": ";
  if (expected < 1) return text + LangFill(leBytesReceived, {std::to_string(received)});
  // Halves go to the even neighbour, as the default rounding does.
  const double share = std::nearbyint(static_cast<double>(received) * 100.0 / static_cast<double>(expected));
  return text + std::to_string(static_cast<long long>(share)) + "%";
}

// ---- the check thread --------------------------------------------------------

struct TThCheckUpd::TShared {
  TEvents Events;
  // Set when the object goes: the transfer stops, the wait ends, and queued
  // calls do nothing.
  std::atomic<bool> Cancel{false};
  std::mutex Lock;
  std::condition_variable Answered;
  int Answer = -1;  // -1 not yet, 0 declined, 1 taken
  // Calls that arrived while the window was busy; window thread only.
  std::deque<std::function<void(TShared&)>> Held;
};

TThCheckUpd::TThCheckUpd(TEvents events) : FShared(std::make_shared<TShared>()) {
  OND_ASSERT(events.Queue != nullptr);
  FShared->Events = std::move(events);
}

TThCheckUpd::~TThCheckUpd() {
  {
    std::lock_guard lock(FShared->Lock);
    FShared->Cancel = true;
  }
  FShared->Answered.notify_all();
  if (FThread.joinable()) FThread.join();
}

bool TThCheckUpd::Start(bool silent, TUpdateTarget target) {
  bool idle = false;
  if (!FRunning.compare_exchange_strong(idle, true)) return false;
  // The last worker has queued its last call; only its ending is left.
  if (FThread.joinable()) FThread.join();
  {
    std::lock_guard lock(FShared->Lock);
    FShared->Answer = -1;
  }
  FThread = StartGuardedThread([this, silent, target = std::move(target)] { Execute(silent, target); });
  return true;
}

void TThCheckUpd::Post(std::function<void(TShared&)> call) {
  std::weak_ptr<TShared> weak = FShared;
  FShared->Events.Queue([weak, call = std::move(call)] { Deliver(weak, call); });
}

void TThCheckUpd::Deliver(const std::weak_ptr<TShared>& weak, std::function<void(TShared&)> call) {
  const auto shared = weak.lock();
  if (!shared || shared->Cancel) return;
  // Behind a held call, a call waits too, so that the order stays.
  if (!shared->Held.empty() || (shared->Events.Busy && shared->Events.Busy())) {
    shared->Held.push_back(std::move(call));
    return;
  }
  call(*shared);
}

void TThCheckUpd::ResumeHeld() {
  std::weak_ptr<TShared> weak = FShared;
  FShared->Events.Queue([weak] {
    const auto shared = weak.lock();
    while (shared && !shared->Cancel && !shared->Held.empty() && !(shared->Events.Busy && shared->Events.Busy())) {
      const auto call = std::move(shared->Held.front());
      shared->Held.pop_front();
      call(*shared);
    }
  });
}

void TThCheckUpd::Execute(bool silent, const TUpdateTarget& target) {
  const TScopeExit done([this] { FRunning = false; });
  TShared& shared = *FShared;
  THttpClient http;
  http.Limits = target.Limits;
  http.Cancel = &shared.Cancel;
  const TCheckOutcome outcome = CheckForUpdate(http, target.ServerUrl, target.Build, silent);
  if (outcome.Message >= 0)
    Post([entry = outcome.Message](TShared& s) {
      if (s.Events.OnMessage) s.Events.OnMessage(entry);
    });
  if (outcome.Result != TCheckResult::Offer) return;
  if (!target.Key) {
    // The download would be refused once the user had closed the set for
    // it: the user hears where to get the build instead.
    Post([outcome](TShared& s) {
      if (s.Events.OnCannotInstall) s.Events.OnCannotInstall(outcome);
    });
    return;
  }

  // The user answers on the window's thread; this thread waits for it.
  Post([outcome](TShared& s) {
    bool taken = false;
    // However the offer ends, the worker hears an answer.
    const TScopeExit answer([&] {
      {
        std::lock_guard lock(s.Lock);
        s.Answer = taken ? 1 : 0;
      }
      s.Answered.notify_all();
    });
    taken = s.Events.OnOffer && s.Events.OnOffer(outcome);
  });
  {
    std::unique_lock lock(shared.Lock);
    shared.Answered.wait(lock, [&] { return shared.Answer >= 0 || shared.Cancel; });
    if (shared.Answer != 1 || shared.Cancel) return;
  }

  // Progress reaches the window as queued calls, never from inside the
  // transfer, so the window's thread runs its own loop undisturbed.
  http.OnWorkBegin = [this](std::int64_t expected) {
    Post([expected](TShared& s) {
      if (s.Events.OnWorkBegin) s.Events.OnWorkBegin(expected);
    });
  };
  http.OnWork = [this](std::int64_t received) {
    Post([received](TShared& s) {
      if (s.Events.OnWork) s.Events.OnWork(received);
    });
  };
  http.OnWorkEnd = [this] {
    Post([](TShared& s) {
      if (s.Events.OnWorkEnd) s.Events.OnWorkEnd();
    });
  };
  const TDownloadResult result =
      DownloadAndReplace(http, target.ServerUrl, target.ProgramFile, {outcome.Server.Build, target.Key});
  Post([result](TShared& s) {
    if (s.Events.OnDownloaded) s.Events.OnDownloaded(result);
  });
}

}  // namespace ond
