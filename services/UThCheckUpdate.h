// The update check and the self-replacement, without windows: the check
// thread asks the server on a thread of its own and hands every answer to the
// window's thread through the calls the window gives it; the window shows the
// messages and the offer, and starts the new program.
//
// The server keeps "Build.upd" (the newest build on line 0, its version text
// on line 1), "UpdateInfo.txt" (release notes), "Ondrel.exe" (the new
// program) and "Ondrel.exe.sig" (its signature by the release key) under
// one address: a build option, overridden by the environment variable
// ONDREL_UPDATE_URL.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/core/DownloadCheck.h"
#include "platform/core/HttpClient.h"
#include "platform/core/SysUtils.h"

namespace ond {

OND_DECLARE_EXCEPTION(EUpdateFormat, Exception);

// What each file of the server can be at most; a longer body is cut off as
// it arrives and counts as an answer that cannot be read.
inline constexpr std::int64_t MaxBuildFileBytes = 4 * 1024;
inline constexpr std::int64_t MaxUpdateInfoBytes = 1024 * 1024;
inline constexpr std::int64_t MaxProgramBytes = 256 * 1024 * 1024;

// The server folder, ending in "/".
std::string UpdateServerUrl();

struct TServerBuild {
  std::uint16_t Build = 0;
  std::string Version;
};

// Line 0 a decimal number (its low 16 bits count), line 1 the version text.
TServerBuild ParseBuildFile(const std::string& text);

enum class TCheckResult { NoUpdate, Failed, Offer };

struct TCheckOutcome {
  TCheckResult Result = TCheckResult::Failed;
  TServerBuild Server;
  std::string UpdateInfo;
  // A language entry to show, or -1 for none (a silent check says nothing).
  int Message = -1;
};

// Never throws for a network or format failure: that is TCheckResult::Failed.
TCheckOutcome CheckForUpdate(THttpClient& http, const std::string& serverUrl, std::uint16_t localBuild,
                             bool silent);

// The release notes as code page 1251 text: valid UTF-8 (with or without a
// byte-order mark) is decoded, anything else is taken as code page 1251.
std::string DecodeReleaseNotes(const std::string& bytes);

// The file operations of the replacement, replaceable by tests.
struct TReplaceOps {
  // Puts the file from in place of the file to in one step.
  std::function<bool(const std::string& from, const std::string& to)> Rename;
};
TReplaceOps DefaultReplaceOps();

// How a download ended: Entry -1 when the new program is in place, else the
// language entry to show and the reason behind it (program text, in the
// interface language).
struct TDownloadResult {
  int Entry = -1;
  std::string Reason;
};

// What the downloaded program is checked against.
struct TDownloadRule {
  std::uint16_t Build = 0;  // the offered build: the program must carry it
  std::optional<TSigningKey> Key;  // the release key
};

// Downloads the new program and puts it in place of programPath (a full
// path). The download goes to a new ".newupdate" file beside it and must
// carry a valid signature ("Ondrel.exe.sig"), be a program for this machine
// and carry the offered build. Then ".oldupdate" becomes a second name (or a
// copy) of the running program, and one rename puts the new file in its
// place, so that at every instant a program lies under its name. A refused
// download or a failed step leaves the program as it was.
TDownloadResult DownloadAndReplace(THttpClient& http, const std::string& serverUrl, const std::string& programPath,
                                   const TDownloadRule& rule, const TReplaceOps& ops = DefaultReplaceOps());

// The offer's question: the language entry with its placeholder's first
// occurrence replaced by the version text (once, whatever the version holds).
std::string UpdateOfferText(const std::string& version);
// What a build without a release key says in place of the offer: the build
// and version that are out, and the website to get them from.
std::string UpdateNotInstallableText(const TServerBuild& server, const std::string& site);

// Starts the program file (a full path) as a process of its own, with no
// arguments; false and the system's reason (program text) when it could not
// be started.
bool StartProgram(const std::string& file, std::string& error);

// The status text of a download: the entry's word and the share received,
// or the bytes received when the server announced no size (expected < 1).
std::string DownloadProgressText(std::int64_t expected, std::int64_t received);

// The time limits of every transfer from the update server: a stalled
// transfer ends after half a minute, any transfer after half an hour.
inline constexpr THttpLimits UpdateTransferLimits{15, 30 * 60, 1024, 30};

// What one check works on; the window fills it in, tests point it elsewhere.
struct TUpdateTarget {
  std::string ServerUrl;    // the server folder, ending in "/"
  std::string ProgramFile;  // the program's file: a full path
  std::uint16_t Build = 0;  // the build of that file
  // Without a key every download is refused, so none is offered.
  std::optional<TSigningKey> Key = ReleaseSigningKey();
  THttpLimits Limits = UpdateTransferLimits;
};

// The update check on a worker thread, one at a time. Every call of the
// events runs on the window's thread, through Queue; the worker waits for the
// answer to the offer, then downloads, posting its progress. An object that
// goes away stops a running check (the transfer is abandoned) and waits for
// its thread; calls still queued for it then do nothing.
class TThCheckUpd {
 public:
  struct TEvents {
    // Runs a call on the window's thread later; callable from any thread.
    std::function<void(std::function<void()>)> Queue;
    // A message box of a language entry.
    std::function<void(int entry)> OnMessage;
    // The offer of a newer build; true when the user took it and the program
    // may be replaced now.
    std::function<bool(const TCheckOutcome& outcome)> OnOffer;
    // In place of the offer when the target has no release key: a newer
    // build is out, but this one cannot install it.
    std::function<void(const TCheckOutcome& outcome)> OnCannotInstall;
    // The download's progress: the announced size (-1 none), the bytes so
    // far, the end.
    std::function<void(std::int64_t expected)> OnWorkBegin;
    std::function<void(std::int64_t received)> OnWork;
    std::function<void()> OnWorkEnd;
    // The download ended: the new program is in place, or what to say.
    std::function<void(const TDownloadResult& result)> OnDownloaded;
    // True while the window is inside work that runs queued calls from within
    // (a set being opened) and must not be interrupted by a message or the
    // offer; the calls then wait, in order, for ResumeHeld.
    std::function<bool()> Busy;
  };

  explicit TThCheckUpd(TEvents events);
  ~TThCheckUpd();
  TThCheckUpd(const TThCheckUpd&) = delete;
  TThCheckUpd& operator=(const TThCheckUpd&) = delete;

  // Starts a check; false when one is running still.
  bool Start(bool silent, TUpdateTarget target);
  // True from Start until the worker's last call was queued.
  bool Running() const { return FRunning.load(); }
  // Lets the calls that waited while the window was busy run, in order, once
  // the window's loop gets to them. Window thread only.
  void ResumeHeld();

 private:
  struct TShared;
  void Execute(bool silent, const TUpdateTarget& target);
  void Post(std::function<void(TShared&)> call);
  static void Deliver(const std::weak_ptr<TShared>& weak, std::function<void(TShared&)> call);

  std::shared_ptr<TShared> FShared;
  std::atomic<bool> FRunning{false};
  std::thread FThread;
};

}  // namespace ond
