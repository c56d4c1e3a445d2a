// The texts of the error log and the rules it is written by, apart from the
// error handler that fills it: the header that describes the system, the
// game and the program, one record per exception, the markers that a
// message may begin with, and where and how the log is written to disk.
// Nothing here needs a window, so the tests drive it directly.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/CallStack.h"
#include "platform/core/Classes.h"
#include "services/UDebugInfoLibrary.h"

namespace ond {

// The message that halts the program at once, without a record.
inline constexpr std::string_view HaltMessage = "#^Halt";

// A message split at its markers: "!" and seven characters of identifier,
// then "?" and one digit of flag, then the text. A marker that is not there,
// or a "?" without a digit after it, leaves the text as it is.
struct TExceptionMessage {
  std::string ID;          // "" when the message has none
  bool HasFlag = false;
  bool Flag = false;       // read and removed; it decides nothing
  std::string Text;
};
TExceptionMessage SplitExceptionMessage(std::string_view message);

// What the header tells about the system and the game; the workspace reads it.
struct TErrorLogSystemInfo {
  std::string Name;           // operating system
  std::string Version;
  std::string Language;
  std::string Keyboard;
  std::string DisplayMode;
  bool GameInstalled = false;
  std::string GameVersion;
  std::string GamePath;
  std::string ModsPath;
  std::string QuarnConfig;
};

// What the header tells about the program and its debug-information library.
struct TErrorLogProgramInfo {
  std::string Name;            // full program file name
  std::string Version;
  bool DebugMode = false;
  bool HasDebugInfo = false;   // the library exists: its block is written
  std::string DebugInfoName;   // the library's full file name
  std::string DebugInfoVersion;
};

// Where an exception happened, as the record and the debug-mode box show it.
struct TExceptionPlace {
  bool HasAddress = false;
  std::uintptr_t Address = 0;
  std::uintptr_t MapAddress = 0;   // relative to the module's load address
  std::string ModuleName;
  std::string ProcedureName;
  std::string UnitName;
  int LineNumber = 0;
  // The throw site and its callers, one line each, already formatted.
  std::vector<std::string> CallStack;
};

// The address relative to the module's load address, as the debug
// information and the linker's map count it.
std::uintptr_t MapAddress(std::uintptr_t address, std::uintptr_t moduleBase);

// One frame of a captured stack: an address inside the call instruction (a
// return address less one, so that it names the call and not what follows
// it) and the module that holds it.
struct TStackFrame {
  std::uintptr_t Address = 0;
  TCodeModule Module;
};
std::vector<TStackFrame> FramesOfStack(const TCallStack& stack);

// The place of an exception from the stack it recorded: the first frame that
// is not one of the exception's own constructors (which the source can name;
// without it the first frame is taken), located by the source, and the
// frames from there on as call stack lines. Frames outside the program are
// named by their module only.
TExceptionPlace PlaceOfStack(const std::vector<TStackFrame>& frames, const TPlaceSource& source);

// "dd.mm.yyyy hh:nn:ss" of the local time now.
std::string LogDateText();
// The class name of an exception as the record shows it (no namespaces).
std::string ExceptionClassName(const std::exception& e);

void AddLogHeader(TStrings& log, const std::string& date, const TErrorLogSystemInfo& system,
                  const TErrorLogProgramInfo& program);
void AddLogFooter(TStrings& log, const std::string& date);
void AddLogRecord(TStrings& log, const std::string& date, const TExceptionMessage& message,
                  const std::string& className, const TExceptionPlace& place);
// The text of the debug-mode box (lines separated by LF CR).
std::string ErrorBoxText(const TExceptionMessage& message, const TExceptionPlace& place);

// The log file of a program file: beside the program when its folder is
// writable, else in the program's state folder (StateFolder: by default
// ~/.local/state/ondrel/), and beside the program again when there is no
// state folder at all; named like the program file followed by "_error.log".
std::string ErrorLogFileName(const std::string& programFile);
// Appends every line as code page 1251 bytes and CR LF, creating the file
// and its folders when missing (for the user alone; the state folder is
// closed to others if an older run left it open). Throws EInOutError with
// the reason.
void AppendLogToFile(const TStrings& log, const std::string& fileName);

}  // namespace ond
