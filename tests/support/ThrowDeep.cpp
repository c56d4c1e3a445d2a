#include "tests/support/ThrowDeep.h"

#include "platform/core/SysUtils.h"

namespace ond::test {

namespace {
// Writes after each call keep the compiler from turning the calls into
// jumps, so every level keeps a frame of its own.
volatile int gDepth = 0;
}  // namespace

__attribute__((noinline)) void ThrowingLevelThree() {
  if (gDepth >= 0) throw EListError("three calls deep");
  gDepth = gDepth + 1;
}

__attribute__((noinline)) void ThrowingLevelTwo() {
  ThrowingLevelThree();
  gDepth = gDepth + 1;
}

__attribute__((noinline)) void ThrowingLevelOne() {
  ThrowingLevelTwo();
  gDepth = gDepth + 1;
}

}  // namespace ond::test
