// A program built the way a Release program is: its debug information is
// taken out of it after linking, and the DebugInfo.so it is given may carry
// it. It asks the library named by its argument where one of its functions
// lies and prints "procedure|unit|line".
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>

#include "debuginfo/DebugInfo.h"

__attribute__((noinline)) int ProbeTarget(int v) { return v * 3 + 1; }

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  void* library = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    std::printf("no library\n");
    return 1;
  }
  const auto procedureName =
      reinterpret_cast<decltype(&GetExceptProcedureName)>(::dlsym(library, "GetExceptProcedureName"));
  const auto lineOf = reinterpret_cast<decltype(&GetExceptLine)>(::dlsym(library, "GetExceptLine"));
  Dl_info dl{};
  const auto target = reinterpret_cast<const void*>(&ProbeTarget);
  if (!procedureName || !lineOf || ::dladdr(target, &dl) == 0) return 1;
  const auto map = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(target) -
                                              reinterpret_cast<std::uintptr_t>(dl.dli_fbase));
  std::int32_t line = 0;
  const char* unit = "";
  lineOf(map, &line, &unit);
  std::printf("%s|%s|%d\n", procedureName(map), unit, static_cast<int>(line));
  ::dlclose(library);
  return ProbeTarget(0) == 1 ? 0 : 1;
}
