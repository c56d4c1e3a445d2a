// The call stack of a place in the program, kept as return addresses. The
// program's exceptions take one when they are made, so that an error report
// can still say where a failure started after the stack has unwound.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ond {

// Return addresses, innermost first.
using TCallStack = std::vector<void*>;

// The stack of the caller of this function, leaving out `skip` further
// frames above it. At most 64 frames are kept.
TCallStack CaptureCallStack(int skip = 0);

// The module (the program or a shared library) that holds an address.
struct TCodeModule {
  std::uintptr_t Base = 0;  // its load address, 0 when no module holds the address
  std::string File;         // its full path, UTF-8; "" when unknown
  bool IsProgram = false;   // the running program itself
};
TCodeModule ModuleOfAddress(const void* address);

}  // namespace ond
