// The error handler: for the whole run it takes the place of the
// application's handler of unexpected exceptions. It keeps a log in memory
// whose header describes the system, the game and the program, adds one
// record per exception (where it was thrown, read from the program's own
// debug information), and in debug mode shows the details and asks whether
// to quit. The log goes to disk only when the handler stops in debug mode
// after an error, and before the program halts.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "platform/Forms.h"
#include "platform/core/Classes.h"
#include "platform/core/SysUtils.h"
#include "services/UErrorLog.h"

namespace ond {

// An assertion of the program's own that the log names by a fixed class line.
OND_DECLARE_EXCEPTION(EAssertException, Exception);

class TErrorHandler {
 public:
  // Gives the texts of the header's system and game blocks; the main window
  // supplies it, since they are the workspace's to read.
  using TSystemInfoProvider = std::function<TErrorLogSystemInfo()>;

  explicit TErrorHandler(TSystemInfoProvider systemInfo = {});
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
  // Turning debug mode on needs the program's debug information; without it
  // the user is told so and debug mode stays off.
  void SetDebugMode(bool value);
  bool HasError() const { return FHasError; }
  const TStringList& Log() const { return FLog; }

  // The application's exception hook. It never throws: a failure inside it
  // is logged as one line and halts the program.
  void HandleException(TObject* Sender, const std::exception& E) noexcept;
  // Appends the log to LogFileName.
  void SaveLog();

  // Where SaveLog writes: beside the program or in the user's state folder.
  std::string LogFileName;
  // Called just before the program halts.
  std::function<void()> PreHalt;
  // Ends the process once the log is safe; tests put a recorder here.
  std::function<void()> Halt;
  // The date of log lines; tests fix it.
  std::function<std::string()> DateText = LogDateText;
  // Whether the program's debug information can be read; tests take it away.
  std::function<bool()> DebugInfoAvailable = ProgramHasDebugInfo;

 private:
  TExceptionPlace PlaceOf(const std::exception& E) const;
  void HaltProgram() noexcept;
  TSystemInfoProvider FSystemInfo;
  bool FActive = false;
  bool FDebugMode = false;
  bool FHasError = false;
  TStringList FLog;
};

// The program's one handler while the main window lives (null otherwise).
extern TErrorHandler* ErrorHandler;

}  // namespace ond
