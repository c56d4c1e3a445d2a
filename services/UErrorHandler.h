// The error handler: for the whole run it takes the place of the
// application's handler of unexpected exceptions. It keeps a log in memory
// whose header describes the system, the game, the program and its
// debug-information library, adds one record per exception (where it was
// thrown, as the library DebugInfo.so beside the program tells it), and in
// debug mode shows the details and asks whether to quit. The log goes to disk
// only when the handler stops in debug mode after an error, and before the
// program halts.
//
// Debug mode wants the library of this very build; when it is missing or
// another build's, the handler offers to download it from the update server,
// with the progress on the status panel it was given.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>

#include "platform/Forms.h"
#include "platform/core/DownloadCheck.h"
#include "platform/core/Classes.h"
#include "platform/core/HttpClient.h"
#include "platform/core/SysUtils.h"
#include "services/UErrorLog.h"

namespace ond {

// An assertion of the program's own that the log names by a fixed class line.
OND_DECLARE_EXCEPTION(EAssertException, Exception);

// The status bar panel the handler shows download progress on.
struct TStatusPanelText {
  std::function<std::string()> Get;
  std::function<void(const std::string&)> Set;
};

class TErrorHandler {
 public:
  // Gives the texts of the header's system and game blocks; the main window
  // supplies it, since they are the workspace's to read.
  using TSystemInfoProvider = std::function<TErrorLogSystemInfo()>;

  explicit TErrorHandler(TSystemInfoProvider systemInfo = {}, TStatusPanelText statusPanel = {});
  // Stops an active handler first (its log is then written as on
  // SetActive(false)); a log that cannot be written is told in a message box.
  ~TErrorHandler();
  TErrorHandler(const TErrorHandler&) = delete;
  TErrorHandler& operator=(const TErrorHandler&) = delete;

  bool Active() const { return FActive; }
  // True installs the handler as the application's exception hook and writes
  // the log header; false removes it, writes the footer and, in debug mode
  // after an error, saves the log (EInOutError when it cannot be written).
  void SetActive(bool value);
  bool DebugMode() const { return FDebugMode; }
  // Turning debug mode on needs the library of this build; without it the
  // user is offered its download, and debug mode is on only when it came.
  void SetDebugMode(bool value);
  bool HasError() const { return FHasError; }
  const TStringList& Log() const { return FLog; }

  // The application's exception hook. It never throws: a failure inside it
  // is logged as one line and halts the program.
  void HandleException(TObject* Sender, const std::exception& E) noexcept;
  // Appends the log to LogFileName.
  void SaveLog();

  // Where the library lies: DebugInfoPath.
  std::string GetDebugInfoPath() const { return DebugInfoPath; }
  // The library is there and its version text is the program's.
  bool IsDebugInfoCurrent() const;
  // Fetches the library of this build from the update server (signed by
  // SigningKey, a shared object for this machine, this build's version) and
  // puts it in place; true when the library is then current. Every failure
  // is told in a message box. Esc cancels the transfer (the library in place
  // stays, and the log says so).
  bool DownloadDebugInfo();

  // Where SaveLog writes: beside the program or in the user's state folder.
  std::string LogFileName;
  // The library: beside the program.
  std::string DebugInfoPath;
  // The update server's folder, ending in "/".
  std::string ServerUrl;
  // The key a downloaded library must be signed with (the release key).
  // Without one every download is refused, so none is offered.
  std::optional<TSigningKey> SigningKey;
  // The time limits of the download: the program update's.
  THttpLimits DownloadLimits;
  // The version text and build of a file, as the main window reads them.
  std::function<std::string(const std::string& file)> FileVersionText;
  std::function<std::uint16_t(const std::string& file)> FileBuild;
  // Called just before the program halts.
  std::function<void()> PreHalt;
  // Ends the process once the log is safe; tests put a recorder here.
  std::function<void()> Halt;
  // The date of log lines; tests fix it.
  std::function<std::string()> DateText = LogDateText;

 private:
  TExceptionPlace PlaceOf(const std::exception& E) const;
  void HaltProgram() noexcept;
  void HttpWorkBegin(std::int64_t expected);
  void HttpWork(std::int64_t received);
  // Lets the window answer, at most every so often, and notes an Esc.
  void PumpWatchingEscape();
  void HttpWorkEnd();
  TSystemInfoProvider FSystemInfo;
  TStatusPanelText FStatusPanel;
  bool FActive = false;
  bool FDebugMode = false;
  bool FHasError = false;
  TStringList FLog;
  // The download's progress.
  std::string FSavedPanelText;
  std::int64_t FExpected = 0;
  std::int64_t FReceived = 0;
  std::int64_t FLastPump = 0;
  // Set by Esc while the download runs.
  std::atomic<bool> FDownloadCancelled{false};
};

// The program's one handler while the main window lives (null otherwise).
extern TErrorHandler* ErrorHandler;

}  // namespace ond
