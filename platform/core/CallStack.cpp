#include "platform/core/CallStack.h"

#include <dlfcn.h>
#include <execinfo.h>

#include "platform/core/FileSystem.h"

namespace ond {

namespace {
constexpr int kMaxFrames = 64;
}  // namespace

// Kept out of line so that its own frame is always the first one dropped.
__attribute__((noinline)) TCallStack CaptureCallStack(int skip) {
  void* frames[kMaxFrames];
  const int n = ::backtrace(frames, kMaxFrames);
  const int first = 1 + (skip > 0 ? skip : 0);
  if (n <= first) return {};
  return TCallStack(frames + first, frames + n);
}

TCodeModule ModuleOfAddress(const void* address) {
  TCodeModule module;
  Dl_info dl{};
  if (!address || ::dladdr(address, &dl) == 0) return module;
  module.Base = reinterpret_cast<std::uintptr_t>(dl.dli_fbase);
  // This code is linked into the program, so its module is the program's;
  // the loader names the program only as it was started, hence the full path.
  Dl_info own{};
  module.IsProgram = ::dladdr(reinterpret_cast<const void*>(&ModuleOfAddress), &own) != 0 &&
                     own.dli_fbase == dl.dli_fbase;
  module.File = module.IsProgram ? ProgramFileName() : std::string(dl.dli_fname ? dl.dli_fname : "");
  return module;
}

}  // namespace ond
