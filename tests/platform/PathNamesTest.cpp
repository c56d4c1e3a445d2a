// Paths as config sets and users write them: normalisation of odd names, and
// the resolver that finds a file whose name differs from the disk only in
// letter case.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "platform/core/FileSystem.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

TEST(FileSystem, NormalizePathOfOddNames) {
  struct Case {
    const char* In;
    const char* Out;
  };
  const Case cases[] = {
      {"", "."},                               // nothing left is the current folder
      {".", "."},
      {"./", "."},
      {"a/..", "."},
      {"..", ".."},
      {"../..", "../.."},
      {"a/../../b", "../b"},                   // a relative path may climb out of its start
      {"/..", "/"},                            // an absolute one stops at the root
      {"/../a/../../b", "/b"},
      {"\\\\server\\share\\x", "/server/share/x"},
      {"a\\b/c\\", "a/b/c"},
      {"a///b//", "a/b"},
      {"...", "..."},                          // three dots are a name
      {"a/.../b", "a/.../b"},
      {".hidden/./x", ".hidden/x"},
      {"a/..b/c", "a/..b/c"},
      {"name with spaces/ x ", "name with spaces/ x "},
      {"C:\\Games\\Quarn", "C:/Games/Quarn"},  // a drive is an ordinary first part here
      {"\xD0\x9F\xD1\x80\xD0\xB8/./\xD0\xBC\xD0\xB5\xD1\x80", "\xD0\x9F\xD1\x80\xD0\xB8/\xD0\xBC\xD0\xB5\xD1\x80"},
  };
  for (const Case& c : cases) EXPECT_EQ(NormalizePath(c.In), c.Out) << '"' << c.In << '"';
}

TEST(FileSystem, JoinPathKeepsAbsoluteNamesAndAddsOneSeparator) {
  EXPECT_EQ(JoinPath("", "x"), "x");
  EXPECT_EQ(JoinPath("a", ""), "a/");
  EXPECT_EQ(JoinPath("a\\", "x"), "a\\x");
  EXPECT_EQ(JoinPath("a", "\\x"), "\\x");
  EXPECT_EQ(JoinPath("a", "../x"), "a/../x");
}

TEST(FileSystem, ResolveFileCaseWithOddNames) {
  test::TempDir dir;
  dir.Write("Sets/My Set/Colors.zu", "1");
  dir.Write("Sets/.Hidden/File.ZU", "2");
  dir.Write("Sets/a.b.c/X", "3");
  dir.Write("Sets/\xD0\x81\xD0\xBB\xD0\xBA\xD0\xB0.zu", "4");             // "Ёлка.zu"
  dir.Write("Sets/\xE6\x97\xA5\xE6\x9C\xAC-Colors.zu", "5");            // CJK, then Latin
  dir.Write("Sets/raw-\xCF\xF0\xE8.zu", "6");                            // code page bytes, not UTF-8
  struct Case {
    const char* Ask;
    const char* Found;  // "" when the path comes back unchanged
  };
  const Case cases[] = {
      {"sets/my set/colors.zu", "Sets/My Set/Colors.zu"},
      {"SETS/.hidden/file.zu", "Sets/.Hidden/File.ZU"},
      {"sets/A.B.C/x", "Sets/a.b.c/X"},
      {"sets/./my set/../my set/COLORS.ZU", "Sets/./My Set/../My Set/Colors.zu"},
      {"sets/\xD1\x91\xD0\xBB\xD0\xBA\xD0\xB0.ZU", "Sets/\xD0\x81\xD0\xBB\xD0\xBA\xD0\xB0.zu"},  // "ёлка.ZU"
      {"sets/\xE6\x97\xA5\xE6\x9C\xAC-colors.zu", "Sets/\xE6\x97\xA5\xE6\x9C\xAC-Colors.zu"},
      {"sets/raw-\xCF\xF0\xE8.zu", "Sets/raw-\xCF\xF0\xE8.zu"},  // matched byte for byte
      {"sets/raw-\xEF\xF0\xE8.zu", ""},  // undecodable names are not folded: no match
      {"sets/my set/colors.zu/", "Sets/My Set/Colors.zu"},
      {"sets/missing/colors.zu", ""},
      {"sets/my set/colors.zu/more", ""},
  };
  for (const Case& c : cases) {
    const std::string ask = dir / c.Ask;
    EXPECT_EQ(ResolveFileCase(ask), *c.Found ? dir / c.Found : ask) << c.Ask;
  }
  EXPECT_EQ(ResolveFileCase(""), "");
}

TEST(FileSystem, ResolveFileCaseOfARelativePath) {
  test::TempDir dir;
  dir.Write("Rel/Name.zu", "x");
  const std::string here = RealPath(".");
  ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
  const std::string found = ResolveFileCase("rel/NAME.zu");
  ASSERT_EQ(::chdir(here.c_str()), 0);
  EXPECT_EQ(found, "Rel/Name.zu");
}

}  // namespace
}  // namespace ond
