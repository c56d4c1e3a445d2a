#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "platform/core/CodePage.h"
#include "tests/support/RandomText.h"

namespace ond {
namespace {

TEST(CodePage, EveryByteRoundTripsThroughUnicode) {
  for (int b = 0; b < 256; ++b) {
    const char16_t w = AnsiToWide(static_cast<unsigned char>(b));
    EXPECT_EQ(WideToAnsi(w), b) << "byte " << b;
  }
  EXPECT_EQ(AnsiToWide(0x98), u'\x0098');
  EXPECT_EQ(AnsiToWide(0xC0), u'\x0410');  // А
  EXPECT_EQ(AnsiToWide(0xA8), u'\x0401');  // Ё
  EXPECT_EQ(AnsiToWide(0xB9), u'\x2116');  // №
  EXPECT_EQ(WideToAnsi(u'\x4E00'), -1);
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
  EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(all)), all);
}

TEST(CodePage, CyrillicCaseTables) {
  EXPECT_EQ(AnsiUpperChar(0xE0), 0xC0);  // а -> А
  EXPECT_EQ(AnsiUpperChar(0xFF), 0xDF);  // я -> Я
  EXPECT_EQ(AnsiUpperChar(0xB8), 0xA8);  // ё -> Ё
  EXPECT_EQ(AnsiLowerChar(0xA8), 0xB8);
  EXPECT_EQ(AnsiLowerChar(0xD7), 0xF7);  // Ч -> ч
  EXPECT_EQ(AnsiUpperChar(0xB3), 0xB2);  // і -> І
  EXPECT_EQ(AnsiUpperChar(0xBF), 0xAF);  // ї -> Ї
  EXPECT_EQ(AnsiUpperChar(0xB5), 0xB5);  // µ has no upper form here
  EXPECT_EQ(AnsiUpperChar('z'), 'Z');
  EXPECT_EQ(AnsiUpperChar(0xB9), 0xB9);  // № is no letter
  for (int b = 0; b < 256; ++b) {
    const auto c = static_cast<unsigned char>(b);
    if (IsAnsiUpper(c)) {
      EXPECT_EQ(AnsiUpperChar(AnsiLowerChar(c)), c) << b;
    }
    if (IsAnsiLower(c)) {
      EXPECT_EQ(AnsiLowerChar(AnsiUpperChar(c)), c) << b;
    }
  }
  EXPECT_TRUE(IsAnsiAlpha(0xB8));
  EXPECT_TRUE(IsAnsiAlpha(0xD7));
  EXPECT_FALSE(IsAnsiAlpha('1'));
  EXPECT_TRUE(IsAnsiAlphaNumeric('1'));
  EXPECT_FALSE(IsAnsiAlphaNumeric(0xB9));
  EXPECT_EQ(AsciiUpperCase("ab\xE0"), "AB\xE0");
  EXPECT_EQ(AnsiUpperCase("ab\xE0\xB8"), "AB\xC0\xA8");
  EXPECT_TRUE(AnsiSameText("\xB8\xEB\xEA\xE0", "\xA8\xCB\xCA\xC0"));
}

TEST(CodePage, LossyConversionsCountReplacements) {
  std::size_t replaced = 0;
  // "A", CJK, Cyrillic "я", emoji (a surrogate pair counts once)
  EXPECT_EQ(Utf8ToAnsi("A\xE4\xB8\x80\xD1\x8F\xF0\x9F\x98\x80", &replaced), "A?\xFF?");
  EXPECT_EQ(replaced, 2u);
  replaced = 0;
  EXPECT_EQ(Utf16ToAnsi(u"x\U0001F600y", &replaced), "x?y");
  EXPECT_EQ(replaced, 1u);
  // Malformed UTF-8: every bad byte is one '?'.
  replaced = 0;
  EXPECT_EQ(Utf8ToAnsi("\xC0\xAF" "a\xE0\x80", &replaced), "??a??");
  EXPECT_EQ(replaced, 4u);
  std::size_t invalid = 0;
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80", &invalid), u"\xFFFD\xFFFD\xFFFD");
  EXPECT_EQ(invalid, 3u);
}

// Long texts are converted piece by piece; a piece must never end inside a
// character, whatever stands at its edge.
std::string LongMixedUtf8(std::size_t shift) {
  std::string s(shift, 'x');
  const std::string pieces[] = {"a", "\xD0\x9F", "\xE2\x84\x96", "\xF0\x9F\x98\x80", "\xC0", "\x80\x80", "\xE2\x84",
                                "\r\n"};
  unsigned seed = 7;
  while (s.size() < 70000) {
    seed = seed * 1103515245u + 12345u;
    s += pieces[(seed >> 16) % std::size(pieces)];
  }
  return s;
}

TEST(CodePage, DecodingInPlaceOrInPiecesEqualsDecodingAtOnce) {
  for (std::size_t shift = 0; shift < 4; ++shift) {
    const std::string utf8 = LongMixedUtf8(shift);
    // The reference: one character at a time through UTF-16.
    std::size_t refBad = 0;
    const std::string reference = Utf16ToAnsi(Utf8ToUtf16(utf8), &refBad);
    std::size_t bad = 0;
    EXPECT_EQ(Utf8ToAnsi(utf8, &bad), reference) << "shift " << shift;
    EXPECT_EQ(bad, refBad);
    // In place, after a mark that is dropped.
    std::string buffer = "\xEF\xBB\xBF" + utf8;
    std::size_t inPlaceBad = 0;
    EXPECT_EQ(Utf8ToAnsiInPlace(buffer, 3, &inPlaceBad), reference.size());
    EXPECT_EQ(buffer, reference);
    EXPECT_EQ(inPlaceBad, refBad);
  }
  std::string empty;
  EXPECT_EQ(Utf8ToAnsiInPlace(empty, 5), 0u);
}

// The decoder takes ASCII and runs of Russian letters in blocks and the rest
// one character at a time; whatever stands where a block begins or ends, it
// must decode exactly as one character at a time through UTF-16 does, into
// a buffer of its own and in place after a shrink of any size.
void ExpectDecodesLikeReference(const std::string& utf8, const std::string& what) {
  std::size_t refBad = 0;
  const std::string reference = Utf16ToAnsi(Utf8ToUtf16(utf8), &refBad);
  std::string apart(utf8.size(), '\0');
  std::size_t bad = 0;
  apart.resize(Utf8ToAnsiInto(utf8.data(), utf8.size(), apart.data(), &bad));
  EXPECT_EQ(apart, reference) << what;
  EXPECT_EQ(bad, refBad) << what;
  for (const std::size_t skip : {0u, 1u, 7u, 15u, 16u, 17u}) {
    std::string buffer = std::string(skip, '#') + utf8;
    std::size_t inPlaceBad = 0;
    EXPECT_EQ(Utf8ToAnsiInPlace(buffer, skip, &inPlaceBad), reference.size()) << what << " skip " << skip;
    EXPECT_EQ(buffer, reference) << what << " skip " << skip;
    EXPECT_EQ(inPlaceBad, refBad) << what << " skip " << skip;
  }
}

TEST(CodePage, EveryByteAtEveryPlaceOfABlockDecodesLikeTheReference) {
  // A byte (with what may follow it) at each place of the first two blocks,
  // among ASCII and among Russian letters, which the decoder also takes
  // eight at a time.
  const std::string letters = "\xD0\x90\xD0\xBF\xD1\x80\xD1\x8F\xD0\x9F\xD1\x84\xD0\xB0\xD1\x8B";
  const std::string followers[] = {"", "\x80", "\xBF", "\x90\x80", "\x84\x96", "\x9F\x98\x80", "A", "\xC0"};
  for (int b = 0; b < 256; ++b) {
    for (const std::string& after : followers) {
      for (std::size_t at = 0; at < 34; ++at) {
        for (const std::string* around : {&letters, static_cast<const std::string*>(nullptr)}) {
          std::string text;
          while (text.size() < 48) text += around ? *around : std::string("abcdefgh");
          text.insert(at, std::string(1, static_cast<char>(b)) + after);
          ExpectDecodesLikeReference(text, "byte " + std::to_string(b) + " at " + std::to_string(at));
          // Cut short right after it: a sequence may end at the text's end.
          ExpectDecodesLikeReference(text.substr(0, at + 1 + after.size()), "cut byte " + std::to_string(b));
        }
      }
    }
  }
}

TEST(CodePage, RandomMixturesDecodeLikeTheReference) {
  const std::vector<std::string> pieces = {"\xD0\x97\xD0\xBD\xD0\xB0\xD1\x87\xD0\xB5\xD0\xBD\xD0\xB8\xD0\xB5",  // Значение
                                "\xD0\x81", "\xD1\x91", "\xD0\x8F", "\xD1\x9F", "\xD2\x90", "\xE2\x84\x96",
                                "\xF0\x9F\x98\x80", "\xC0\xAF", "\xED\xA0\x80", "\x80", "\xD0", "\xE2\x84", "\r\n"};
  std::mt19937 random(99);
  for (int round = 0; round < 300; ++round) {
    const std::string text = test::RandomText(random, pieces, random() % 200, 2, 40);
    ExpectDecodesLikeReference(text, "round " + std::to_string(round));
  }
}

TEST(CodePage, EncodingInPiecesEqualsEncodingEachByte) {
  std::string ansi;
  for (int i = 0; i < 20000; ++i) ansi.push_back(static_cast<char>((i * 37 + i / 300) % 256));
  std::string expected;
  for (char c : ansi) expected += Utf16ToUtf8(std::u16string(1, AnsiToWide(static_cast<unsigned char>(c))));
  EXPECT_EQ(AnsiToUtf8(ansi), expected);
  std::string appended = "head";
  AppendAnsiAsUtf8(ansi, appended);
  EXPECT_EQ(appended, "head" + expected);
}

TEST(CodePage, PlatformConversionsByCodePage) {
  std::u16string w;
  ASSERT_TRUE(MultiByteToWideChar(CP_UTF7, "Hi Mom -+Jjo--!", w));
  EXPECT_EQ(w, u"Hi Mom -\x263A-!");
  std::string out;
  ASSERT_TRUE(WideCharToMultiByte(CP_UTF7, u"\x0416", out));
  std::u16string back;
  ASSERT_TRUE(MultiByteToWideChar(CP_UTF7, out, back));
  EXPECT_EQ(back, u"\x0416");
  ASSERT_TRUE(WideCharToMultiByte(CP_UTF16BE, u"\x0416", out));
  EXPECT_EQ(out, std::string("\x04\x16", 2));
  EXPECT_FALSE(MultiByteToWideChar(437, "x", w));
  EXPECT_FALSE(IsValidCodePage(437));
}

}  // namespace
}  // namespace ond
