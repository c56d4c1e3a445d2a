// The version a library of the program carries in its build note, as the
// program reads it: the built library has this build's, the older stand-in
// its own, and files without a note none.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/core/DownloadCheck.h"
#include "platform/core/FileSystem.h"
#include "tests/support/DebugInfoFiles.h"

namespace ond {
namespace {

TEST(LibraryBuildNote, TheLibrariesCarryTheirVersions) {
  EXPECT_EQ(ReadElfBuildNoteOfFile(test::FakeDebugInfoLibrary("Old")), (TFileVersion{0, 9, 0, 0}));
  const auto built = ReadElfBuildNoteOfFile(test::BuiltDebugInfoLibrary());
  ASSERT_TRUE(built);
  EXPECT_EQ(built, ReadElfBuildNoteOfFile(test::FakeDebugInfoLibrary("NoLine")));
  EXPECT_NE(built, ReadElfBuildNoteOfFile(test::FakeDebugInfoLibrary("Old")));
  // The library carrying a program's debug information keeps its note.
  EXPECT_EQ(ReadElfBuildNoteOfFile(test::DebugInfoProbeLibrary()), built);
  // Files without the note: the test program, a system program, no file.
  EXPECT_EQ(ReadElfBuildNoteOfFile(ProgramFileName()), std::nullopt);
  EXPECT_EQ(ReadElfBuildNoteOfFile("/bin/true"), std::nullopt);
  EXPECT_EQ(ReadElfBuildNoteOfFile("/nonexistent-folder/DebugInfo.so"), std::nullopt);
}

}  // namespace
}  // namespace ond
