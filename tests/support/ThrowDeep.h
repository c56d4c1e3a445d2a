// A real exception thrown three calls deep, each call in a frame of its own,
// for the tests that read a throw site back from debug information.
#pragma once

namespace ond::test {

// Calls ThrowingLevelTwo, which calls ThrowingLevelThree, which throws
// EListError("three calls deep").
void ThrowingLevelOne();

// The source file the three functions are in, as its name ends.
inline constexpr const char* ThrowDeepSourceFile = "ThrowDeep.cpp";

}  // namespace ond::test
