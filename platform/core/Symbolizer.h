// Names, source files and lines for code addresses of this process, read
// from the program's own DWARF debug information (through libdw) so that the
// error log can say where a failure happened without any extra download.
// Modules and their load addresses come from the dynamic loader (dladdr);
// addresses are reported relative to the module's load address, which is
// what the debug information and the linker's map speak of.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/CallStack.h"

namespace ond {

// One place of the code. A call stack frame whose callee was inlined gives
// several places (innermost first), all with the frame's address.
struct TSourceLocation {
  const void* Address = nullptr;   // as captured (a return address for frames)
  std::uintptr_t ModuleBase = 0;   // load address of the module, 0 when unknown
  std::string ModuleFile;          // full path of the module, UTF-8; "" when unknown
  std::string Function;            // demangled, "" when unknown
  std::string SourceFile;          // as the debug information names it, "" when unknown
  int Line = 0;                    // 0 when unknown
  bool Inlined = false;            // the function was inlined into the next entry's

  // Offset of the address from the module's load address (0 without a module).
  std::uintptr_t RelativeAddress() const;
};

// The places of one address. `returnAddress` says the address follows a
// call (a stack frame), so the call instruction itself is looked up.
// Never throws for a bad address: unknown parts stay empty.
std::vector<TSourceLocation> Symbolize(const void* address, bool returnAddress);

// Every frame of a captured stack, in order, inlined callees expanded.
std::vector<TSourceLocation> SymbolizeStack(const TCallStack& stack);

// True when the running program file carries debug information with line
// tables that this symbolizer can read.
bool ProgramHasDebugInfo();

// The name and version of the library that reads the debug information.
std::string SymbolizerVersion();

}  // namespace ond
