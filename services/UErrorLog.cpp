#include "services/UErrorLog.h"

#include <cxxabi.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <typeinfo>

#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "platform/core/SysUtils.h"
#include "services/ULocalization.h"

namespace ond {

namespace {

constexpr const char* kBullet = " \x95 ";
constexpr int kMaxStackLines = 32;

bool IsExceptionClassName(std::string_view name) {
  return name == "Exception" || (name.size() > 1 && name[0] == 'E' && name[1] >= 'A' && name[1] <= 'Z');
}

// The parts of a qualified function name, parameters left out.
std::vector<std::string_view> NameParts(std::string_view function) {
  int depth = 0;
  std::size_t end = function.size();
  for (std::size_t i = 0; i < function.size(); ++i) {
    if (function[i] == '<') ++depth;
    if (function[i] == '>') --depth;
    if (function[i] == '(' && depth == 0) {
      end = i;
      break;
    }
  }
  std::vector<std::string_view> parts;
  std::string_view rest = function.substr(0, end);
  for (std::size_t sep; (sep = rest.find("::")) != std::string_view::npos; rest.remove_prefix(sep + 2))
    parts.push_back(rest.substr(0, sep));
  parts.push_back(rest);
  return parts;
}

// A constructor of one of the exception classes: the frames that stand
// between the capture of the stack and the throw site.
bool IsExceptionConstructor(const std::string& function) {
  const auto parts = NameParts(function);
  if (parts.size() < 2) return false;
  const std::string_view cls = parts[parts.size() - 2];
  const std::string_view fn = parts.back();
  return IsExceptionClassName(cls) && (fn == cls || IsExceptionClassName(fn));
}

std::string Hex8(std::uintptr_t v) { return IntToHex(v, 8); }

std::string StackLine(const TStackFrame& frame, std::uintptr_t map, const TLibraryPlace* place) {
  std::string line = "  " + Hex8(map);
  if (!frame.Module.File.empty()) line += " " + Utf8ToAnsi(ExtractFileName(frame.Module.File));
  if (!place) return line;
  if (!place->ProcedureName.empty()) line += " " + place->ProcedureName;
  if (!place->UnitName.empty())
    line += " (" + place->UnitName + (place->LineNumber > 0 ? ":" + IntToStr(place->LineNumber) : "") + ")";
  return line;
}

// The source answers only for the program's own code, at map addresses
// that fit its 32 bits.
bool SourceKnows(const TStackFrame& frame, std::uintptr_t map) {
  return frame.Module.IsProgram && map <= 0xFFFFFFFFu;
}

}  // namespace

TExceptionMessage SplitExceptionMessage(std::string_view message) {
  TExceptionMessage result;
  if (!message.empty() && message[0] == '!') {
    result.ID = std::string(message.substr(1, 7));
    message.remove_prefix(std::min<std::size_t>(8, message.size()));
  }
  // Only a digit makes a flag; anything else after "?" is ordinary text.
  if (message.size() >= 2 && message[0] == '?' && message[1] >= '0' && message[1] <= '9') {
    result.HasFlag = true;
    result.Flag = message[1] != '0';
    message.remove_prefix(2);
  }
  result.Text = std::string(message);
  return result;
}

std::uintptr_t MapAddress(std::uintptr_t address, std::uintptr_t moduleBase) {
  return moduleBase == 0 || address < moduleBase ? 0 : address - moduleBase;
}

std::vector<TStackFrame> FramesOfStack(const TCallStack& stack) {
  std::vector<TStackFrame> frames;
  frames.reserve(stack.size());
  for (void* returnAddress : stack) {
    const auto address = reinterpret_cast<std::uintptr_t>(returnAddress);
    if (address == 0) continue;
    frames.push_back({address - 1, ModuleOfAddress(reinterpret_cast<const void*>(address - 1))});
  }
  return frames;
}

TExceptionPlace PlaceOfStack(const std::vector<TStackFrame>& frames, const TPlaceSource& source) {
  TExceptionPlace place;
  const bool named = source.Available();
  std::vector<std::optional<TLibraryPlace>> places(frames.size());
  const auto placeOf = [&](std::size_t i) -> const std::optional<TLibraryPlace>& {
    const std::uintptr_t map = MapAddress(frames[i].Address, frames[i].Module.Base);
    if (!places[i] && named && SourceKnows(frames[i], map)) places[i] = source.PlaceOf(static_cast<std::uint32_t>(map));
    return places[i];
  };
  std::size_t site = 0;
  while (named && site < frames.size() && placeOf(site) && IsExceptionConstructor(placeOf(site)->ProcedureName)) ++site;
  if (site >= frames.size()) return place;
  const TStackFrame& at = frames[site];
  place.HasAddress = true;
  place.Address = at.Address;
  place.MapAddress = MapAddress(at.Address, at.Module.Base);
  if (SourceKnows(at, place.MapAddress)) {
    // Without the library this gives its "not found" texts.
    const TLibraryPlace found = named ? *placeOf(site) : source.PlaceOf(static_cast<std::uint32_t>(place.MapAddress));
    place.ModuleName = found.ModuleName;
    place.ProcedureName = found.ProcedureName;
    place.UnitName = found.UnitName;
    place.LineNumber = found.LineNumber;
  } else {
    place.ModuleName = Utf8ToAnsi(ExtractFileName(at.Module.File));
  }
  for (std::size_t i = site; i < frames.size() && place.CallStack.size() < kMaxStackLines; ++i) {
    const auto& known = placeOf(i);
    place.CallStack.push_back(StackLine(frames[i], MapAddress(frames[i].Address, frames[i].Module.Base),
                                        known ? &*known : nullptr));
  }
  return place;
}

std::string LogDateText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char buf[32];
  std::strftime(buf, sizeof buf, "%d.%m.%Y %H:%M:%S", &local);
  return buf;
}

std::string ExceptionClassName(const std::exception& e) {
  const char* mangled = typeid(e).name();
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> out(abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
  const std::string full = status == 0 && out ? out.get() : mangled;
  return std::string(NameParts(full).back());
}

void AddLogHeader(TStrings& log, const std::string& date, const TErrorLogSystemInfo& system,
                  const TErrorLogProgramInfo& program) {
  const std::string b = kBullet;
  log.Add("=== Error handler is running " + date + " ===");
  log.Add("");
  log.Add(">Operation System");
  log.Add(b + "Name: " + system.Name);
  log.Add(b + "Version: " + system.Version);
  log.Add(b + "Language: " + system.Language);
  log.Add(b + "Keyboard: " + system.Keyboard);
  log.Add(b + "DisplayMode: " + system.DisplayMode);
  log.Add("");
  if (system.GameInstalled) {
    log.Add(">WorldOfTanks");
    log.Add(b + "Version: " + system.GameVersion);
    log.Add(b + "Path: " + system.GamePath);
    log.Add(b + "ModsPath: " + system.ModsPath);
    log.Add(b + "QuarnConfig: " + system.QuarnConfig);
    log.Add("");
  }
  log.Add(">Ondrel");
  log.Add(b + "Name: " + program.Name);
  log.Add(b + "Version: " + program.Version);
  log.Add(b + "DebugMod: " + std::string(program.DebugMode ? "True" : "False"));
  log.Add("");
  if (program.HasDebugInfo) {
    log.Add(">DebugInfo");
    log.Add(b + "Name: " + program.DebugInfoName);
    log.Add(b + "Version: " + program.DebugInfoVersion);
    log.Add("");
  }
}

void AddLogFooter(TStrings& log, const std::string& date) {
  log.Add("=== Error handler is stopped " + date + " ===");
  log.Add("");
}

void AddLogRecord(TStrings& log, const std::string& date, const TExceptionMessage& message,
                  const std::string& className, const TExceptionPlace& place) {
  log.Add(">Error");
  log.Add(" Data Time: " + date);
  if (!message.ID.empty()) log.Add(" Exception ID: " + message.ID);
  log.Add(" Exception Class: " + className);
  if (!message.Text.empty()) log.Add(" Exception Original Message: " + message.Text);
  if (place.HasAddress) {
    log.Add(" Exception Address: " + Hex8(place.Address));
    log.Add(" Exception MAP-Address: " + Hex8(place.MapAddress));
    if (!place.ModuleName.empty()) log.Add(" Module Name: " + place.ModuleName);
    if (!place.ProcedureName.empty()) log.Add(" Procedure Name: " + place.ProcedureName);
    if (!place.UnitName.empty()) log.Add(" Unit Name: " + place.UnitName);
    if (place.LineNumber != 0) log.Add(" Line Number: " + IntToStr(place.LineNumber));
    if (!place.CallStack.empty()) {
      log.Add(" Call Stack:");
      for (const std::string& line : place.CallStack) log.Add(line);
    }
  }
  log.Add("");
}

std::string ErrorBoxText(const TExceptionMessage& message, const TExceptionPlace& place) {
  const std::string br = "\n\r";
  return "An unexpected error occurred. Error information is given below." + br + br +
         "ID: " + (message.ID.empty() ? "N/A" : message.ID) + br +
         "Module name: " + place.ModuleName + br +
         "Procedure name: " + place.ProcedureName + br +
         "Unit name: " + place.UnitName + br +
         "Line number: " + IntToStr(place.LineNumber) + br +
         "Message: N/A" + br +
         "Original message: " + (message.Text.empty() ? "N/A" : message.Text) + br + br +
         "Exit from the program?";
}

std::string ErrorLogFileName(const std::string& programFile) {
  const std::string name = ExtractFileName(programFile) + "_error.log";
  const std::string folder = ExtractFilePath(programFile);
  if (!folder.empty() && ::access(folder.c_str(), W_OK) == 0) return folder + name;
  // Without a state folder the log stays beside the program, where the
  // failure to write it names a place that exists.
  const std::string state = StateFolder();
  return (state.empty() ? folder : state) + name;
}

void AppendLogToFile(const TStrings& log, const std::string& fileName) {
  std::string bytes;
  for (int i = 0; i < log.GetCount(); ++i) bytes += log.Get(i) + "\r\n";
  // The state folder is the user's alone, as the copies of files kept there
  // need; a failure here is told by the open below.
  const std::string folder = ExtractFilePath(fileName);
  if (!folder.empty()) (void)MakePrivateFolders(folder, folder == StateFolder());
  const auto fail = [&](int err) {
    throw EInOutError(LangFill(leCannotWriteErrorLog, {Utf8ToAnsi(fileName), SystemErrorText(err)}));
  };
  // The log's name is the program's own: a link or a second name planted
  // there is replaced by a new log, never appended to.
  int fd = ::open(fileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  struct stat st {};
  // ELOOP: a symbolic link; ENXIO: a pipe nobody reads.
  if (fd < 0 && errno != ELOOP && errno != ENXIO) fail(errno);
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink > 1) {
    if (fd >= 0) ::close(fd);
    if (::unlink(fileName.c_str()) != 0 && errno != ENOENT) fail(errno);
    fd = ::open(fileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) fail(errno);
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int err = n < 0 ? errno : EIO;
      ::close(fd);
      fail(err);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) fail(errno);
}

}  // namespace ond
