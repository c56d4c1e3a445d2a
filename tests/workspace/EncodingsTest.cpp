#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>

#include "platform/core/Classes.h"
#include "platform/core/CodePage.h"
#include "tests/support/TempDir.h"
#include "workspace/Compatibility.h"
#include "workspace/Encodings.h"

namespace ond {
namespace {

const std::string kPrivet = "\xCF\xF0\xE8\xE2\xE5\xF2";  // "Привет" in code page 1251

TEST(Encodings, ByteOrderMarkDetectionOrder) {
  TEncoding* e = nullptr;
  EXPECT_EQ(GetBufferEncoding("\xFF\xFE\x41\x00", e), 2);
  EXPECT_EQ(e, TEncoding::Unicode());
  e = nullptr;
  EXPECT_EQ(GetBufferEncoding("\xFE\xFF\x00\x41", e), 2);
  EXPECT_EQ(e, TEncoding::BigEndianUnicode());
  e = nullptr;
  EXPECT_EQ(GetBufferEncoding("\xEF\xBB\xBFx", e), 3);
  EXPECT_EQ(e, TEncoding::UTF8());
  e = nullptr;
  EXPECT_EQ(GetBufferEncoding("", e), 0);
  EXPECT_EQ(e, TEncoding::Default());
  // With an encoding given, only its own mark counts and it is kept.
  e = TEncoding::UTF8();
  EXPECT_EQ(GetBufferEncoding("\xFF\xFE\x41\x00", e), 0);
  EXPECT_EQ(e, TEncoding::UTF8());
}

TEST(Encodings, DecodeAndEncodeInEveryEncoding) {
  const std::string text = "a:" + kPrivet + "\r\n";
  for (TEncoding* e : {TEncoding::Default(), TEncoding::UTF8(), TEncoding::Unicode(), TEncoding::BigEndianUnicode(),
                       TEncoding::UTF7()}) {
    const std::string bytes = EncodeText(text, e);
    EXPECT_EQ(bytes.substr(0, e->GetPreamble().size()), e->GetPreamble());
    std::size_t replaced = 0;
    EXPECT_EQ(DecodeText(bytes, e, &replaced), text) << e->GetEncodingName();
    EXPECT_EQ(replaced, 0u);
  }
  EXPECT_EQ(EncodeText(kPrivet, TEncoding::UTF8()), "\xEF\xBB\xBF\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
  EXPECT_EQ(EncodeText("A", nullptr), "A");
}

TEST(Encodings, MarksBelongToTheirEncoding) {
  // A UTF-8 file with a mark read as ANSI keeps the three bytes as characters.
  EXPECT_EQ(DecodeText("\xEF\xBB\xBFx", TEncoding::Default()), "\xEF\xBB\xBFx");
  EXPECT_EQ(DecodeText("\xEF\xBB\xBFx", TEncoding::UTF8()), "x");
  // A UTF-16 file read as UTF-8 is not taken for UTF-16.
  std::size_t replaced = 0;
  EXPECT_EQ(DecodeText(std::string("\xFF\xFE" "A\0", 4), TEncoding::UTF8(), &replaced), std::string("??A\0", 4));
  EXPECT_EQ(replaced, 2u);
}

TEST(Encodings, LossyAndDegenerateInputs) {
  std::size_t replaced = 0;
  EXPECT_EQ(DecodeText("\xE4\xB8\x80z", TEncoding::UTF8(), &replaced), "?z");
  EXPECT_EQ(replaced, 1u);
  replaced = 0;
  EXPECT_EQ(DecodeText(std::string("A\0B", 3), TEncoding::Unicode(), &replaced), "A?");
  EXPECT_EQ(replaced, 1u);
  EXPECT_EQ(DecodeText("\xFF\xFE", TEncoding::Unicode()), "");
  EXPECT_EQ(DecodeText("", TEncoding::UTF8()), "");
}

TEST(Encodings, DecodingTheReadBufferEqualsDecodingACopy) {
  const std::string inputs[] = {"",
                                "plain",
                                "\xEF\xBB\xBF" "a:\xD0\x9F\xD1\x80\xD0\xB8",
                                "\xEF\xBB\xBF",
                                "\xFF\xFE" "a\0b\0",
                                "\xFE\xFF\0a\0b",
                                "\xC0\xAF\xE2\x84\x96\xE6\x97\xA5 " + kPrivet,
                                std::string(3000, '\xD0') + "end"};
  for (TEncoding* e : {TEncoding::Default(), TEncoding::UTF8(), TEncoding::Unicode(), TEncoding::BigEndianUnicode(),
                       TEncoding::UTF7(), static_cast<TEncoding*>(nullptr)}) {
    for (const std::string& bytes : inputs) {
      std::size_t copied = 0, inPlace = 0;
      const std::string expected = DecodeText(bytes, e, &copied);
      EXPECT_EQ(DecodeBuffer(bytes, e, &inPlace), expected) << (e ? e->GetEncodingName() : "detected");
      EXPECT_EQ(inPlace, copied);
    }
  }
}

TEST(Encodings, FilesDecodedPieceByPieceAsReadEqualDecodingTheWhole) {
  // Pieces as small as one byte put a piece's end inside every kind of
  // sequence, whole or broken, and inside the mark.
  test::TempDir dir;
  const std::string pieces[] = {"a", "\xD0\x9F", "\xD1\x8F", "\xE2\x84\x96", "\xF0\x9F\x98\x80", "\xC0", "\x80\x80",
                                "\xE2\x84", "\xF0\x9F", "\r\n", "\xEF\xBB\xBF", "0123456789abcdef0123"};
  unsigned seed = 5;
  auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 16;
  };
  for (int round = 0; round < 60; ++round) {
    std::string bytes = round % 3 == 0 ? "\xEF\xBB\xBF" : "";
    const unsigned length = round < 6 ? round : next() % 300;
    while (bytes.size() < length) bytes += pieces[next() % std::size(pieces)];
    const std::string file = dir.Write("f" + std::to_string(round) + ".zu", bytes);
    for (TEncoding* e : {TEncoding::UTF8(), TEncoding::Default(), static_cast<TEncoding*>(nullptr)}) {
      std::size_t wholeLoss = 0;
      const std::string whole = DecodeText(bytes, e, &wholeLoss);
      for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{5}, std::size_t{7},
                                      std::size_t{64}, std::size_t{1} << 20}) {
        std::size_t loss = 0;
        TByteFacts facts;
        EXPECT_EQ(LoadTextFile(file, e, &loss, piece, nullptr, &facts), whole) << "round " << round << " piece " << piece;
        EXPECT_EQ(loss, wholeLoss) << "round " << round << " piece " << piece;
        // The facts are those of the bytes as they lay in the file, however
        // the pieces fell and whatever decoding made of them meanwhile.
        const TByteFacts wholeFacts = FactsOfBytes(bytes);
        EXPECT_TRUE(facts.SameBytes(wholeFacts)) << "round " << round << " piece " << piece;
        EXPECT_EQ(facts.Hash, wholeFacts.Hash) << "round " << round << " piece " << piece;
      }
    }
  }
}

TEST(Encodings, ByteFactsTellEveryChangeTheSizeZerosAndTheUtf16Mark) {
  std::string base(200, 'x');
  for (std::size_t i = 0; i < base.size(); ++i) base[i] = static_cast<char>('a' + i % 26);
  const TByteFacts facts = FactsOfBytes(base);
  EXPECT_EQ(facts.Size, 200);
  EXPECT_FALSE(facts.ZeroBytes);
  EXPECT_EQ(facts.Utf16Mark, 0);
  EXPECT_TRUE(facts.SameBytes(FactsOfBytes(base)));
  // One byte changed anywhere, in any block and in the unfinished one.
  for (std::size_t at = 0; at < base.size(); ++at) {
    std::string changed = base;
    changed[at] = static_cast<char>(changed[at] ^ 0x20);
    EXPECT_FALSE(facts.SameBytes(FactsOfBytes(changed))) << at;
  }
  // Trailing zero bytes, which pad the last block, still count.
  for (std::size_t size = 0; size < 70; ++size) {
    const std::string bytes = base.substr(0, size);
    EXPECT_FALSE(FactsOfBytes(bytes).SameBytes(FactsOfBytes(bytes + std::string(1, '\0')))) << size;
    EXPECT_TRUE(FactsOfBytes(bytes + std::string(1, '\0')).ZeroBytes) << size;
    // Given in runs of every length, the facts are the same.
    for (std::size_t run = 1; run <= size; run += 5) {
      TByteFactsReader reader;
      for (std::size_t at = 0; at < size; at += run) reader.Add(std::string_view(bytes).substr(at, run));
      EXPECT_EQ(reader.Facts().Hash, FactsOfBytes(bytes).Hash) << size << " " << run;
    }
  }
  EXPECT_EQ(FactsOfBytes("\xFF\xFE{\0").Utf16Mark, 1);
  EXPECT_EQ(FactsOfBytes("\xFE\xFF\0{").Utf16Mark, 2);
  EXPECT_EQ(FactsOfBytes("\xFF").Utf16Mark, 0);
  EXPECT_EQ(FactsOfBytes("").Size, 0);
  EXPECT_FALSE(TByteFacts().SameBytes(TByteFacts()));  // nothing read is no bytes to match
}

TEST(Encodings, BackupEncodingFromItsMarkWhatWasRememberedOrItsBytes) {
  const std::string text = "{ \"a\": \"" + kPrivet + "\" }";
  const std::string le = EncodeText(text, TEncoding::Unicode()).substr(2);
  const std::string be = EncodeText(text, TEncoding::BigEndianUnicode()).substr(2);
  TEncoding* const ansi = TEncoding::Default();
  TEncoding* const utf8 = TEncoding::UTF8();
  TEncoding* const unicode = TEncoding::Unicode();
  TEncoding* const bigEndian = TEncoding::BigEndianUnicode();
  // U+0100 ("\x00\x01" little-endian) puts a zero on the other side; a few
  // such characters do not hide the order.
  const std::string fewOthers = le + std::string("\x00\x01", 2);
  const struct {
    const char* Name;
    std::string Bytes;
    TEncoding* Remembered;
    TEncoding* Expected;  // null: cannot be told
  } cases[] = {
      {"mark over memory: FF FE", "\xFF\xFE" + le, ansi, unicode},
      {"mark over memory: FE FF", "\xFE\xFF" + be, utf8, bigEndian},
      {"mark over memory: EF BB BF", "\xEF\xBB\xBF" + text, unicode, utf8},
      {"remembered ANSI", text, ansi, ansi},
      {"remembered UTF-8", AnsiToUtf8(text), utf8, utf8},
      {"remembered UTF-16 without zeros", EncodeText(kPrivet, unicode).substr(2), unicode, unicode},
      {"remembered UTF-16 with zeros anywhere", std::string("a\0\0b", 4), unicode, unicode},
      {"remembered UTF-8, zeros of UTF-16LE", le, utf8, unicode},
      {"remembered ANSI, zeros of UTF-16BE", be, ansi, bigEndian},
      {"remembered UTF-8, zeros of no order", std::string("{\0\0\"", 4), utf8, nullptr},
      {"unknown: valid UTF-8", AnsiToUtf8(text), nullptr, utf8},
      {"unknown: ASCII", "{}", nullptr, utf8},
      {"unknown: empty", "", nullptr, utf8},
      {"unknown: code page 1251", text, nullptr, ansi},
      {"unknown: UTF-16LE", le, nullptr, unicode},
      {"unknown: UTF-16BE", be, nullptr, bigEndian},
      {"unknown: UTF-16LE with a few zeros on the other side", fewOthers, nullptr, unicode},
      {"unknown: zeros on both sides", std::string("{\0\0\"a\0\"\0", 8), nullptr, nullptr},
      {"unknown: odd length with zeros", le + "x", nullptr, nullptr},
  };
  for (const auto& c : cases) EXPECT_EQ(DetectBackupEncoding(c.Bytes, c.Remembered), c.Expected) << c.Name;
}

TEST(Encodings, RangeChecksRaiseTheirMessages) {
  TEncoding* e = TEncoding::UTF8();
  auto message = [](auto f) {
    try {
      f();
    } catch (const EEncodingError& x) {
      return std::string(x.what());
    }
    return std::string("no error");
  };
  std::string dest(10, ' ');
  EXPECT_EQ(message([&] { e->GetBytes("", 1, 1, dest, 0); }), "Invalid source array");
  EXPECT_EQ(message([&] { e->GetBytes("ab", 0, 1, dest, 0); }), "Character index out of bounds (0)");
  EXPECT_EQ(message([&] { e->GetBytes("ab", 2, 2, dest, 0); }), "Invalid count (2)");
  EXPECT_EQ(message([&] { e->GetBytes("ab", 1, 1, dest, 11); }), "Invalid destination index (11)");
  EXPECT_EQ(message([&] { e->GetBytes(kPrivet, 1, 6, dest, 0); }), "Invalid destination array");
  EXPECT_EQ(message([&] { e->GetCharCount("abc", -1, 1); }), "Start index out of bounds (-1)");
  EXPECT_EQ(message([&] { e->GetChars("abc", 1, 3); }), "Invalid count (3)");
  EXPECT_EQ(message([] { TMBCSEncoding bad(437); }), "Invalid code page");
  EXPECT_EQ(e->GetBytes("ab", 1, 2, dest, 8), 2);
  EXPECT_EQ(dest, "        ab");
}

TEST(FileHelpers, ExistenceAndFolders) {
  test::TempDir dir;
  const std::string f = dir.Write("a.zu", "x");
  EXPECT_TRUE(FileExistsEx(f));
  EXPECT_FALSE(FileExistsEx(dir.Path()));
  EXPECT_FALSE(FileExistsEx(dir / "none"));
  EXPECT_FALSE(FileExistsEx(f + "/inside"));  // a file used as a folder
  EXPECT_TRUE(ForceFolders(dir / "x/y/z/"));
  EXPECT_TRUE(DirectoryExists(dir / "x/y/z"));
  EXPECT_TRUE(ForceFolders("C:"));
  EXPECT_TRUE(ForceFolders("C:\\"));
  EXPECT_FALSE(ForceFolders(""));
  EXPECT_FALSE(ForceFolders(f + "/sub"));
}

TEST(FileHelpers, WriteReplacesWholeFileAtomically) {
  test::TempDir dir;
  const std::string f = dir.Write("a.zu", "a much longer old content");
  ::chmod(f.c_str(), 0640);
  WriteFileText(f, "new");
  EXPECT_EQ(ReadFileText(f), "new");
  struct stat st {};
  ASSERT_EQ(::stat(f.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  WriteFileText(f, "+more", true);
  EXPECT_EQ(ReadFileText(f), "new+more");
  // A write that cannot happen leaves the old file as it was.
  const std::string ro = dir.Write("ro/b.zu", "keep");
  ::chmod((dir / "ro").c_str(), 0500);
  if (::geteuid() != 0) {
    EXPECT_THROW(WriteFileText(ro, "lost"), Exception);
    EXPECT_EQ(ReadFileText(ro), "keep");
  }
  ::chmod((dir / "ro").c_str(), 0700);
  // A folder of that name is never replaced.
  ForceFolders(dir / "d");
  EXPECT_THROW(WriteFileText(dir / "d", "x"), Exception);
  EXPECT_TRUE(DirectoryExists(dir / "d"));
  EXPECT_THROW(ReadFileText(dir / "none"), EFOpenError);
}

TEST(FileHelpers, SaveAndLoadTextFiles) {
  test::TempDir dir;
  const std::string f = dir / "t.zu";
  SaveTextFile(f, kPrivet, TEncoding::UTF8());
  EXPECT_EQ(ReadFileText(f).substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_EQ(DetectFileEncoding(f), TEncoding::UTF8());
  EXPECT_EQ(LoadTextFile(f, TEncoding::UTF8()), kPrivet);
  // Appending keeps the file's own encoding.
  SaveTextFile(f, "!", TEncoding::Unicode(), true);
  EXPECT_EQ(LoadTextFile(f, TEncoding::UTF8()), kPrivet + "!");
  EXPECT_EQ(DetectFileEncoding(dir / "none"), TEncoding::Default());
}

TEST(FileHelpers, FastMoveHandlesOverlap) {
  char a[64], b[64];
  for (int i = 0; i < 64; ++i) a[i] = b[i] = static_cast<char>(i);
  FastMove(a, a + 1, 33);
  for (int i = 32; i >= 0; --i) b[i + 1] = b[i];
  EXPECT_EQ(std::memcmp(a, b, 64), 0);
  FastMove(a + 5, a, 20);
  for (int i = 0; i < 20; ++i) b[i] = b[i + 5];
  EXPECT_EQ(std::memcmp(a, b, 64), 0);
}

}  // namespace
}  // namespace ond
