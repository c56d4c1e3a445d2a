// The update check and the self-replacement, without windows: the caller
// (the check thread and the offer window) supplies the program's build and
// full path, shows the message entry returned, and starts the new program.
//
// The server keeps "Build.upd" (the newest build on line 0, its version text
// on line 1), "UpdateInfo.txt" (release notes) and "Ondrel.exe" (the new
// program) under one address: a build option, overridden by the environment
// variable ONDREL_UPDATE_URL.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/core/HttpClient.h"
#include "platform/core/SysUtils.h"

namespace ond {

OND_DECLARE_EXCEPTION(EUpdateFormat, Exception);

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

// True when the bytes are an ELF executable for the machine this program
// runs on (class, byte order, type and architecture).
bool IsElfForThisMachine(const std::string& bytes);

// The file operations of the replacement, replaceable by tests.
struct TReplaceOps {
  std::function<bool(const std::string& from, const std::string& to)> Rename;
};
TReplaceOps DefaultReplaceOps();

// Downloads the new program and puts it in place of programPath (a full
// path): the download lies beside it as ".newupdate", the program becomes
// ".oldupdate", the download takes its name and gets the run bit. A body that
// is not whole or not a program for this machine renames nothing; a failed
// second rename puts the old program back. Returns -1 when the new program is
// in place (the caller starts it, then closes), else the entry to show.
int DownloadAndReplace(THttpClient& http, const std::string& serverUrl, const std::string& programPath,
                       const TReplaceOps& ops = DefaultReplaceOps());

}  // namespace ond
