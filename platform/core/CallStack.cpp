#include "platform/core/CallStack.h"

#include <execinfo.h>

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

}  // namespace ond
