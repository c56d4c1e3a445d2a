// Streams at their edges: positions outside the data, empty reads and writes,
// sizes that shrink under the position, copies, files that cannot be opened.
#include <gtest/gtest.h>

#include <string>

#include "platform/core/Classes.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

TEST(MemoryStream, PositionsOutsideTheData) {
  TMemoryStream m;
  EXPECT_EQ(m.Seek(-5, TSeekOrigin::soBeginning), 0);  // never before the start
  char c = 'x';
  EXPECT_EQ(m.Read(&c, 1), 0);
  EXPECT_EQ(m.Seek(3, TSeekOrigin::soEnd), 3);        // past the end: writing fills the gap with zeros
  m.WriteBuffer("ab", 2);
  EXPECT_EQ(m.Data(), std::string("\0\0\0ab", 5));
  EXPECT_EQ(m.Seek(-1, TSeekOrigin::soCurrent), 4);
  EXPECT_EQ(m.ReadAll(), "b");
  EXPECT_EQ(m.Read(&c, 1), 0);                         // at the end
  EXPECT_EQ(m.Read(&c, 0), 0);
  EXPECT_EQ(m.Read(&c, -1), 0);
  EXPECT_EQ(m.Write("z", 0), 0);
  EXPECT_EQ(m.Write("z", -3), 0);
  EXPECT_EQ(m.GetSize(), 5);
}

TEST(MemoryStream, SizeShrinksUnderThePosition) {
  TMemoryStream m;
  m.WriteBuffer("hello", 5);
  m.SetSize(2);
  EXPECT_EQ(m.GetPosition(), 2);
  m.WriteBuffer("y", 1);
  EXPECT_EQ(m.Data(), "hey");
  m.SetSize(-1);  // a negative size is an empty stream, with the position at its start
  m.WriteBuffer("ok", 2);
  EXPECT_EQ(m.Data(), "ok");
  m.SetSize(4);  // growing keeps the position
  EXPECT_EQ(m.GetPosition(), 2);
  EXPECT_EQ(m.Data(), std::string("ok\0\0", 4));
  m.Clear();
  EXPECT_EQ(m.GetSize(), 0);
  EXPECT_EQ(m.GetPosition(), 0);
}

TEST(MemoryStream, ExactReadsAndCopies) {
  TStringStream src("0123456789");
  char buf[4];
  src.ReadBuffer(buf, 0);  // nothing asked, nothing read, no error
  EXPECT_EQ(src.GetPosition(), 0);
  src.SetPosition(8);
  EXPECT_EQ(test::ErrorOf([&] { src.ReadBuffer(buf, 3); }), "Stream read error");
  TMemoryStream dst;
  EXPECT_EQ(dst.CopyFrom(src, 0), 10);  // 0: all of it, from its start
  EXPECT_EQ(dst.Data(), "0123456789");
  src.SetPosition(2);
  dst.Clear();
  EXPECT_EQ(dst.CopyFrom(src, 3), 3);
  EXPECT_EQ(dst.Data(), "234");
  EXPECT_THROW(dst.CopyFrom(src, 100), EReadError);
  TStringStream copy;
  dst.SaveToStream(copy);
  EXPECT_EQ(copy.DataString(), "234");
  TMemoryStream loaded;
  loaded.LoadFromStream(copy);  // from the source's start, whatever its position
  EXPECT_EQ(loaded.Data(), "234");
  EXPECT_EQ(loaded.GetPosition(), 0);
}

TEST(FileStream, OpeningFailuresNameTheFile) {
  test::TempDir dir;
  const std::string missing = dir / "none.zu";
  EXPECT_EQ(test::ErrorOf([&] { TFileStream f(missing, fmOpenRead); }),
            "Cannot open file \"" + missing + "\". No such file or directory");
  EXPECT_EQ(test::ErrorOf([&] { TFileStream f(dir.Path(), fmOpenRead); }),
            "Cannot open file \"" + dir.Path() + "\". Is a directory");
  const std::string nowhere = dir / "no/such/folder.zu";
  EXPECT_EQ(test::ErrorOf([&] { TFileStream f(nowhere, fmCreate); }),
            "Cannot create file \"" + nowhere + "\". No such file or directory");
  EXPECT_THROW(TFileStream(missing, fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream(nowhere, fmCreate), EFCreateError);
}

TEST(FileStream, SizesAndModes) {
  test::TempDir dir;
  const std::string name = dir / "f.bin";
  {
    TFileStream f(name, fmCreate);
    EXPECT_EQ(f.GetSize(), 0);
    f.WriteBuffer("abcdef", 6);
    f.SetSize(3);
    EXPECT_EQ(f.GetSize(), 3);
    EXPECT_EQ(f.GetFileName(), name);
  }
  {
    TFileStream f(name, fmOpenReadWrite);
    f.Seek(0, TSeekOrigin::soEnd);
    f.WriteBuffer("Z", 1);
    f.SetPosition(0);
    EXPECT_EQ(f.ReadAll(), "abcZ");
  }
  {
    TFileStream f(name, fmOpenRead);
    EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);  // opened for reading only
    char c;
    f.Seek(10, TSeekOrigin::soBeginning);
    EXPECT_EQ(f.Read(&c, 1), 0);
  }
  {
    TFileStream f(name, fmCreate);  // creating truncates
    EXPECT_EQ(f.GetSize(), 0);
  }
}

}  // namespace
}  // namespace ond
