#include "debuginfo/DebugInfo.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <mutex>
#include <string>

#include "debuginfo/ProgramDwarf.h"
#include "debuginfo/VersionNote.h"

// The library carries the version of the build it was made with; the program
// compares it with its own before it trusts the library.
OND_VERSION_NOTE(ONDREL_VERSION_MAJOR, ONDREL_VERSION_MINOR, ONDREL_VERSION_RELEASE, ONDREL_VERSION_BUILD);

namespace ond::debuginfo {
namespace {

std::string ProgramFile() {
  char path[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

std::string LibraryFile() {
  Dl_info dl{};
  if (::dladdr(reinterpret_cast<const void*>(&GetExceptLine), &dl) == 0 || !dl.dli_fname) return {};
  return dl.dli_fname;
}

std::string BaseName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Opened on the first question and closed when the library is unloaded.
struct TState {
  TState() : ProgramName(BaseName(ProgramFile())), Program(ProgramFile(), LibraryFile()) {}
  std::mutex Lock;
  std::string ProgramName;
  TProgramDwarf Program;
  // The answers handed out, one per function.
  std::string Module, Procedure, Unit;
};

TState& State() {
  static TState state;
  return state;
}

}  // namespace
}  // namespace ond::debuginfo

using ond::debuginfo::State;

const char* GetExceptModuleName(std::uint32_t address) {
  auto& s = State();
  std::lock_guard lock(s.Lock);
  s.Module = s.Program.Contains(address) ? s.ProgramName : std::string();
  return s.Module.c_str();
}

const char* GetExceptProcedureName(std::uint32_t address) {
  auto& s = State();
  std::lock_guard lock(s.Lock);
  s.Procedure = s.Program.Lookup(address).Procedure;
  return s.Procedure.c_str();
}

std::int32_t GetExceptLine(std::uint32_t address, std::int32_t* line, const char** unitName) {
  auto& s = State();
  std::lock_guard lock(s.Lock);
  const auto place = s.Program.Lookup(address);
  s.Unit = place.Unit;
  if (line) *line = place.Line;
  if (unitName) *unitName = s.Unit.c_str();
  return place.Line > 0 ? 1 : 0;
}
