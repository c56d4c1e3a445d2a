// The version a library of the program carries in its ELF file: read from
// the built libraries, absent from other files, and never a crash or a wrong
// answer for a cut or damaged file.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/ElfVersion.h"
#include "platform/core/FileSystem.h"
#include "tests/support/DebugInfoFiles.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

TEST(ElfVersion, VersionTexts) {
  struct Case {
    const char* text;
    std::optional<TFileVersion> version;
  };
  const Case cases[] = {
      {"1.0.0.1", TFileVersion{1, 0, 0, 1}},
      {"65535.2.30.400", TFileVersion{65535, 2, 30, 400}},
      {"65536.0.0.0", std::nullopt},
      {"1.0.0", std::nullopt},
      {"1.0.0.1.5", std::nullopt},
      {"1..0.1", std::nullopt},
      {"1.0.0.x", std::nullopt},
      {"", std::nullopt},
      {"000001.0.0.1", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseVersionText(c.text), c.version) << c.text;
}

TEST(ElfVersion, TheLibrariesCarryTheirVersions) {
  EXPECT_EQ(ReadElfFileVersionOfFile(test::FakeDebugInfoLibrary("Old")), (TFileVersion{0, 9, 0, 0}));
  const auto built = ReadElfFileVersionOfFile(test::BuiltDebugInfoLibrary());
  ASSERT_TRUE(built);
  EXPECT_EQ(built, ReadElfFileVersionOfFile(test::FakeDebugInfoLibrary("NoLine")));
  EXPECT_NE(built, ReadElfFileVersionOfFile(test::FakeDebugInfoLibrary("Old")));
  // Files without the note: the test program, a system program, no file.
  EXPECT_EQ(ReadElfFileVersionOfFile(ProgramFileName()), std::nullopt);
  EXPECT_EQ(ReadElfFileVersionOfFile("/bin/true"), std::nullopt);
  EXPECT_EQ(ReadElfFileVersionOfFile("/nonexistent-folder/DebugInfo.so"), std::nullopt);
  EXPECT_EQ(ReadElfFileVersionOfFile("/tmp"), std::nullopt);
}

TEST(ElfVersion, AFileMadeByHandIsReadAsItsBytesSay) {
  // Made without the toolchain (tests/fuzz/corpus/elfversion): a 64-bit
  // little-endian header and one note section.
  if (sizeof(void*) != 8 || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__) GTEST_SKIP();
  const std::string corpus = test::SourceDir() + "/tests/fuzz/corpus/elfversion/";
  EXPECT_EQ(ReadElfFileVersionOfFile(corpus + "note.so"), (TFileVersion{1, 0, 0, 1}));
  EXPECT_EQ(ReadElfFileVersionOfFile(corpus + "othernote.so"), std::nullopt);  // another owner's note
  EXPECT_EQ(ReadElfFileVersionOfFile(corpus + "nonote.so"), std::nullopt);
}

TEST(ElfVersion, CutOrDamagedFilesGiveNoVersionOrTheRightOne) {
  const std::string bytes = ReadRegularFile(test::FakeDebugInfoLibrary("Old"));
  const TFileVersion right{0, 9, 0, 0};
  ASSERT_EQ(ReadElfFileVersion(bytes), right);
  // Every cut: the section table sits at the end, so only the whole file answers.
  for (std::size_t cut = 0; cut < bytes.size(); cut += cut < 256 ? 1 : 97) {
    const auto v = ReadElfFileVersion(std::string_view(bytes).substr(0, cut));
    EXPECT_TRUE(!v || *v == right) << cut;
  }
  // Every byte of the header and of the section table set to its extremes:
  // the note's own bytes are elsewhere, so a version found is the right one.
  std::size_t tableAt = 0;
  std::memcpy(&tableAt, bytes.data() + (sizeof(void*) == 8 ? 0x28 : 0x20), sizeof(void*));
  std::vector<std::size_t> spots;
  for (std::size_t i = 0; i < 64; ++i) spots.push_back(i);
  for (std::size_t i = tableAt; i < bytes.size(); ++i) spots.push_back(i);
  for (const std::size_t at : spots) {
    for (const char value : {'\0', '\xFF', '\x7F'}) {
      std::string damaged = bytes;
      damaged[at] = value;
      const auto v = ReadElfFileVersion(damaged);
      EXPECT_TRUE(!v || *v == right) << at;
    }
  }
}

}  // namespace
}  // namespace ond
