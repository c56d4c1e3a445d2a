#include <gtest/gtest.h>

#include "platform/core/Classes.h"
#include "platform/core/FileSystem.h"
#include "platform/core/SysUtils.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

TEST(SysUtils, RoundingAndMulDiv) {
  EXPECT_EQ(Round(0.5), 0);
  EXPECT_EQ(Round(1.5), 2);
  EXPECT_EQ(Round(2.5), 2);
  EXPECT_EQ(Round(-2.5), -2);
  EXPECT_EQ(MulDiv(3, 1, 2), 2);    // 1.5 away from zero
  EXPECT_EQ(MulDiv(-3, 1, 2), -2);
  EXPECT_EQ(MulDiv(5, 1, 3), 2);
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
  EXPECT_EQ(MulDiv(2000000000, 3, 4), 1500000000);
}

TEST(SysUtils, CopyToleratesAnyRange) {
  EXPECT_EQ(Copy("abc", 2, 10), "bc");
  EXPECT_EQ(Copy("abc", 5, 1), "");
  EXPECT_EQ(Copy("abc", 0, 2), "ab");
  EXPECT_EQ(Copy("abc", 2, -1), "");
  EXPECT_EQ(Pos("c", "abc"), 3u);
  EXPECT_EQ(Pos("x", "abc"), 0u);
}

TEST(SysUtils, FileNamesWithBothSeparators) {
  EXPECT_EQ(ExtractFilePath("a\\b/c.zu"), "a\\b/");
  EXPECT_EQ(ExtractFileName("a\\b/c.zu"), "c.zu");
  EXPECT_EQ(ExtractFileExt("a.b\\c"), "");
  EXPECT_EQ(ExtractFileExt("dir/x.quarnconf"), ".quarnconf");
  EXPECT_EQ(ChangeFileExt("/p/ondrel", ".oldupdate"), "/p/ondrel.oldupdate");
  EXPECT_EQ(ChangeFileExt("/p.d/x.zu", ".bak"), "/p.d/x.bak");
  EXPECT_EQ(ExtractFileDir("C:\\x"), "C:\\");
  EXPECT_EQ(ExtractFileDir("/a/b"), "/a");
  EXPECT_EQ(ExtractFileDir("/a"), "/");
  EXPECT_EQ(ExtractFilePath("C:x"), "C:");
}

TEST(FileSystem, NormalizePathIsLexical) {
  EXPECT_EQ(NormalizePath("/a//b/./c/../d"), "/a/b/d");
  EXPECT_EQ(NormalizePath("/a/b\\..\\..\\..\\..\\x"), "/x");
  EXPECT_EQ(NormalizePath("../x/./y/"), "../x/y");
  EXPECT_EQ(NormalizePath("/"), "/");
  EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/a", "/b"), "/b");
}

TEST(FileSystem, ResolvesNamesThatDifferOnlyInCase) {
  test::TempDir dir;
  dir.Write("Sub/Colors.zu", "x");
  dir.Write("Sub/\xD0\x9F\xD1\x80\xD0\xB8\xD0\xBC\xD0\xB5\xD1\x80.zu", "y");  // "Пример.zu"
  EXPECT_EQ(ResolveFileCase(dir / "sub/colors.ZU"), dir / "Sub/Colors.zu");
  EXPECT_EQ(ResolveFileCase(dir / "Sub/Colors.zu"), dir / "Sub/Colors.zu");
  // Cyrillic letters fold too ("пример.zu").
  EXPECT_EQ(ResolveFileCase(dir / "sub/\xD0\xBF\xD1\x80\xD0\xB8\xD0\xBC\xD0\xB5\xD1\x80.zu"),
            dir / "Sub/\xD0\x9F\xD1\x80\xD0\xB8\xD0\xBC\xD0\xB5\xD1\x80.zu");
  EXPECT_EQ(ResolveFileCase(dir / "sub/missing.zu"), dir / "sub/missing.zu");
  // Two candidates: the choice is deterministic (byte-wise smallest).
  dir.Write("Sub/colors.zu", "z");
  EXPECT_EQ(ResolveFileCase(dir / "sub/COLORS.zu"), dir / "Sub/Colors.zu");
}

TEST(Classes, StringListTextAndUpdates) {
  TStringList l;
  int changes = 0;
  l.OnChange = [&](TStringList*) { ++changes; };
  l.SetText("a\r\nb\nc\rd\r\n");
  EXPECT_EQ(l.GetCount(), 4);
  EXPECT_EQ(changes, 1);  // one notification for the whole update
  EXPECT_EQ(l.GetText(), "a\r\nb\r\nc\r\nd\r\n");
  l.SetText("x\n\n");
  EXPECT_EQ(l.GetCount(), 2);
  EXPECT_THROW(l.Get(2), EListError);
  try {
    l.Delete(5);
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "List index out of bounds (5)");
  }
  l.SetText("c\nA\nb");
  l.SetSorted(true);
  EXPECT_EQ(l.GetText(), "A\r\nb\r\nc\r\n");
  int at = -1;
  EXPECT_TRUE(l.Find("B", at));
  EXPECT_EQ(at, 1);
}

TEST(Classes, StreamsReadWriteSeek) {
  test::TempDir dir;
  {
    TFileStream f(dir / "s.bin", fmCreate);
    f.WriteBuffer("hello", 5);
    EXPECT_EQ(f.GetSize(), 5);
  }
  TFileStream f(dir / "s.bin", fmOpenRead);
  char buf[8] = {};
  f.Seek(1, TSeekOrigin::soBeginning);
  f.ReadBuffer(buf, 3);
  EXPECT_EQ(std::string(buf, 3), "ell");
  EXPECT_THROW(f.ReadBuffer(buf, 5), EReadError);
  EXPECT_THROW(TFileStream(dir / "none", fmOpenRead), EFOpenError);
  TMemoryStream m;
  m.WriteBuffer("abc", 3);
  m.SetPosition(1);
  EXPECT_EQ(m.ReadAll(), "bc");
}

}  // namespace
}  // namespace ond
