#include "services/UThCheckUpdate.h"

#include <elf.h>
#include <spawn.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <type_traits>

#include "platform/core/GuardedThread.h"
#include "platform/core/ScopeGuard.h"
#include "services/ULocalization.h"

extern char** environ;

#ifndef ONDREL_UPDATE_URL
#define ONDREL_UPDATE_URL "http://ondrel.update/pub/ONDREL/"
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
      out.UpdateInfo = http.Get(serverUrl + "UpdateInfo.txt", MaxUpdateInfoBytes);
      out.Result = TCheckResult::Offer;
    } else {
      out.Result = TCheckResult::NoUpdate;
      if (!silent) out.Message = leLatestVersion;
    }
  } catch (const Exception&) {
    out = TCheckOutcome{};
    if (!silent) out.Message = leUpdateCheckFailed;
  }
  return out;
}

bool IsElfForThisMachine(const std::string& bytes) {
  using THeader = std::conditional_t<sizeof(void*) == 8, Elf64_Ehdr, Elf32_Ehdr>;
  if (bytes.size() < sizeof(THeader)) return false;
  THeader h;
  std::memcpy(&h, bytes.data(), sizeof h);
  if (std::memcmp(h.e_ident, ELFMAG, SELFMAG) != 0) return false;
  if (h.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32)) return false;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if (h.e_ident[EI_DATA] != ELFDATA2LSB) return false;
#else
  if (h.e_ident[EI_DATA] != ELFDATA2MSB) return false;
#endif
  if (h.e_type != ET_EXEC && h.e_type != ET_DYN) return false;
#if defined(__x86_64__)
  return h.e_machine == EM_X86_64;
#elif defined(__aarch64__)
  return h.e_machine == EM_AARCH64;
#elif defined(__i386__)
  return h.e_machine == EM_386;
#elif defined(__arm__)
  return h.e_machine == EM_ARM;
#elif defined(__riscv)
  return h.e_machine == EM_RISCV;
#else
  return false;
#endif
}

TReplaceOps DefaultReplaceOps() {
  return {[](const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }};
}

int DownloadAndReplace(THttpClient& http, const std::string& serverUrl, const std::string& programPath,
                       const TReplaceOps& ops) {
  std::string body;
  try {
    body = http.Get(serverUrl + "Ondrel.exe", MaxProgramBytes);
  } catch (const Exception&) {
    return leUpdateFailed;
  }
  if (!IsElfForThisMachine(body)) return leUpdateFailed;
  const std::string newFile = ChangeFileExt(programPath, ".newupdate");
  const std::string oldFile = ChangeFileExt(programPath, ".oldupdate");
  {
    std::ofstream out(newFile, std::ios::binary | std::ios::trunc);
    out.write(body.data(), static_cast<std::streamsize>(body.size()));
    out.close();
    if (!out) {
      std::remove(newFile.c_str());
      return leUpdateFailed;
    }
  }
  if (::chmod(newFile.c_str(), 0755) != 0) {
    std::remove(newFile.c_str());
    return leUpdateFailed;
  }
  if (!ops.Rename(programPath, oldFile)) {
    std::remove(newFile.c_str());
    return leUpdateFailed;
  }
  if (!ops.Rename(newFile, programPath)) {
    // There must always be a program to start: the old one goes back.
    std::rename(oldFile.c_str(), programPath.c_str());
    std::remove(newFile.c_str());
    return leUpdateFailed;
  }
  return -1;
}

std::string UpdateOfferText(const std::string& version) {
  std::string text = Lang(leUpdateOffer);
  const size_t at = text.find(UpdateVersionPlaceholder);
  if (at != std::string::npos) text.replace(at, std::string_view(UpdateVersionPlaceholder).size(), version);
  return text;
}

bool StartProgram(const std::string& file, std::string& error) {
  std::string name = file;
  char* argv[] = {name.data(), nullptr};
  pid_t pid = 0;
  // The spawn reports a file that cannot be run, so the caller learns it
  // before it closes itself.
  const int rc = ::posix_spawn(&pid, file.c_str(), nullptr, nullptr, argv, environ);
  if (rc == 0) return true;
  error = std::strerror(rc);
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
  http.Cancel = &shared.Cancel;
  const TCheckOutcome outcome = CheckForUpdate(http, target.ServerUrl, target.Build, silent);
  if (outcome.Message >= 0)
    Post([entry = outcome.Message](TShared& s) {
      if (s.Events.OnMessage) s.Events.OnMessage(entry);
    });
  if (outcome.Result != TCheckResult::Offer) return;

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
  const int result = DownloadAndReplace(http, target.ServerUrl, target.ProgramFile);
  Post([result](TShared& s) {
    if (s.Events.OnDownloaded) s.Events.OnDownloaded(result);
  });
}

}  // namespace ond
