// The call stack of a place in the program, kept as return addresses. The
// program's exceptions take one when they are made, so that an error report
// can still say where a failure started after the stack has unwound.
#pragma once

#include <memory>
#include <vector>

namespace ond {

// Return addresses, innermost first.
using TCallStack = std::vector<void*>;

// The stack of the caller of this function, leaving out `skip` further
// frames above it. At most 64 frames are kept.
TCallStack CaptureCallStack(int skip = 0);

}  // namespace ond
