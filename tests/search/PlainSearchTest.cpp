#include <gtest/gtest.h>

#include <random>

#include "platform/core/CodePage.h"
#include "search/OndEditSearch.h"

namespace ond {
namespace {

std::vector<int> FindAll(TOndEditSearch& s, std::string_view line) {
  std::vector<int> r;
  const int n = s.FindAll(line);
  for (int i = 0; i < n; ++i) r.push_back(s.GetResult(i));
  return r;
}

TEST(PlainSearch, NonOverlappingMatchesLeftToRight) {
  TOndEditSearch s;
  s.SetPattern("aa");
  EXPECT_EQ(FindAll(s, "aaaa"), (std::vector<int>{1, 3}));
  EXPECT_EQ(s.GetLength(5), 2);
  EXPECT_EQ(s.GetResult(2), 0);
  EXPECT_EQ(s.GetResult(-1), 0);
  EXPECT_EQ(FindAll(s, "a"), std::vector<int>{});
  EXPECT_EQ(s.Replace("aa", "b"), "b");
}

TEST(PlainSearch, CaseFoldingFollowsCodePage1251) {
  TOndEditSearch s;
  s.SetPattern("\xA8\xCB\xCA\xC0");  // "ЁЛКА"
  EXPECT_EQ(FindAll(s, "x \xB8\xEB\xEA\xE0"), std::vector<int>{3});
  s.SetOptions(ssoMatchCase);
  EXPECT_EQ(FindAll(s, "x \xB8\xEB\xEA\xE0"), std::vector<int>{});
  EXPECT_EQ(FindAll(s, "\xA8\xCB\xCA\xC0"), std::vector<int>{1});
}

TEST(PlainSearch, WholeWords) {
  TOndEditSearch s;
  s.SetPattern("ab");
  s.SetOptions(ssoWholeWord);
  EXPECT_EQ(FindAll(s, "ab cd"), std::vector<int>{1});
  EXPECT_EQ(FindAll(s, "x ab"), std::vector<int>{3});
  EXPECT_EQ(FindAll(s, "abc"), std::vector<int>{});
  EXPECT_EQ(FindAll(s, "_ab"), std::vector<int>{});
  EXPECT_EQ(FindAll(s, "ab_ab ab"), std::vector<int>{7});
  // Cyrillic letters are word characters.
  EXPECT_EQ(FindAll(s, "\xE6" "ab"), std::vector<int>{});
  for (char c : {'\xD7', '\xF7', '\xA8', '\xB8'})  // Ch ch Yo yo
    EXPECT_EQ(FindAll(s, "ab" + std::string(1, c)), std::vector<int>{}) << int(c);
  EXPECT_EQ(FindAll(s, "\xAB" "ab\xBB"), std::vector<int>{2});  // between quotation marks
  // So are the code page's letters outside ASCII and Russian, the micro sign too.
  EXPECT_EQ(FindAll(s, "ab\xB5"), std::vector<int>{});  // "abµ"
  for (char c : {'\x80', '\x81', '\x83', '\x8A', '\x90', '\x9A', '\x9F', '\xA1', '\xA3', '\xA5', '\xAA', '\xAF', '\xB2',
                 '\xB3', '\xB4', '\xBA', '\xBC', '\xBD', '\xBE', '\xBF'}) {
    EXPECT_EQ(FindAll(s, std::string(1, c) + "ab"), std::vector<int>{}) << int(c);
    EXPECT_EQ(FindAll(s, "ab" + std::string(1, c)), std::vector<int>{}) << int(c);
  }
  // Signs of the upper half still part words.
  for (char c : {'\x82', '\x84', '\x96', '\xA0', '\xA6', '\xA9', '\xB0', '\xB9'})
    EXPECT_EQ(FindAll(s, "ab" + std::string(1, c)), std::vector<int>{1}) << int(c);
  TOndEditSearch hedgehog;
  hedgehog.SetOptions(ssoWholeWord);
  hedgehog.SetPattern("\xE6\xE0\xEA");                                      // "жак"
  EXPECT_EQ(FindAll(hedgehog, "\xBF\xE6\xE0\xEA"), std::vector<int>{});     // inside "їжак"
  EXPECT_EQ(FindAll(hedgehog, "\xBF \xE6\xE0\xEA"), std::vector<int>{3});
}

TEST(PlainSearch, PatternLimits) {
  TOndEditSearch s;
  EXPECT_THROW(s.FindAll("x"), EOndEditSearchError);
  try {
    s.FindAll("x");
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "Pattern is empty");
  }
  s.SetPattern(std::string(255, 'a'));
  EXPECT_EQ(s.FindAll(std::string(255, 'a')), 1);
  s.SetPattern(std::string(256, 'a'));
  try {
    s.FindAll("x");
    ADD_FAILURE() << "no range error";
  } catch (const ERangeError& e) {
    EXPECT_EQ(e.Message, "Range check error");
  }
}

// Short and long lines and patterns: a line long enough is looked at sixteen
// starts at a time, the rest one start at a time.
TEST(PlainSearch, AgreesWithBruteForceOnRandomText) {
  struct Shape {
    std::size_t maxPattern, maxLine;
  };
  std::mt19937 rng(7);
  const std::string alphabet = "abAB_ \xE0\xC0\x00";
  auto pick = [&](std::size_t n) {
    std::string r;
    for (std::size_t i = 0; i < n; ++i) r.push_back(alphabet[rng() % 9]);
    return r;
  };
  TOndEditSearch s;
  for (const Shape shape : {Shape{4, 30}, Shape{6, 120}, Shape{24, 200}}) {
    for (int round = 0; round < 4000; ++round) {
      const bool sensitive = rng() % 2, whole = rng() % 2;
      const std::string pat = pick(1 + rng() % shape.maxPattern), line = pick(rng() % shape.maxLine);
      s.SetOptions(static_cast<TOndSearchOptions>((sensitive ? ssoMatchCase : 0) | (whole ? ssoWholeWord : 0)));
      s.SetPattern(pat);
      std::vector<int> expected;
      auto same = [&](char a, char b) {
        return sensitive ? a == b
                         : AnsiLowerChar(static_cast<unsigned char>(a)) == AnsiLowerChar(static_cast<unsigned char>(b));
      };
      auto delim = [](char c) { return !IsAnsiAlphaNumeric(static_cast<unsigned char>(c)) && c != '_'; };
      for (std::size_t i = 0; i + pat.size() <= line.size();) {
        bool eq = true;
        for (std::size_t k = 0; k < pat.size() && eq; ++k) eq = same(pat[k], line[i + k]);
        if (eq && whole)
          eq = (i == 0 || delim(line[i - 1])) && (i + pat.size() == line.size() || delim(line[i + pat.size()]));
        if (eq) {
          expected.push_back(static_cast<int>(i + 1));
          i += pat.size();
        } else {
          ++i;
        }
      }
      ASSERT_EQ(FindAll(s, line), expected) << "pattern '" << pat << "' line '" << line << "'";
    }
  }
}

// Every byte value, in both cases, at the first and the last position of the
// pattern, in a line long enough for the sixteen-at-a-time look.
TEST(PlainSearch, EveryByteFoldsAtBothEnds) {
  TOndEditSearch s;
  for (int c = 1; c < 256; ++c) {
    if (c == '.') continue;  // the filler
    const char upper = static_cast<char>(c), lower = static_cast<char>(AnsiLowerChar(static_cast<unsigned char>(c)));
    const std::string pattern = std::string(1, upper) + "-" + std::string(1, upper);
    const std::string line = std::string(20, '.') + lower + "-" + lower + std::string(20, '.') + upper + "-" + upper;
    s.SetOptions(0);
    s.SetPattern(pattern);
    EXPECT_EQ(FindAll(s, line), (std::vector<int>{21, 44})) << c;
    s.SetOptions(ssoMatchCase);
    EXPECT_EQ(FindAll(s, line), upper == lower ? (std::vector<int>{21, 44}) : std::vector<int>{44}) << c;
  }
}

// Where a match may begin in a stretch of text, as a search looks through
// many lines at once before it hands one to FindAll: the first place at or
// after `from` where the pattern's characters stand (case folded when match
// case is off), whatever the whole-word setting, or the text's length.
std::size_t FirstPlace(const std::string& pattern, const std::string& text, std::size_t from, bool sensitive) {
  auto same = [&](char a, char b) {
    return sensitive ? a == b
                     : AnsiLowerChar(static_cast<unsigned char>(a)) == AnsiLowerChar(static_cast<unsigned char>(b));
  };
  for (std::size_t i = from; i + pattern.size() <= text.size(); ++i) {
    bool eq = true;
    for (std::size_t k = 0; k < pattern.size() && eq; ++k) eq = same(pattern[k], text[i + k]);
    if (eq) return i;
  }
  return text.size();
}

TEST(PlainSearch, FirstCandidateIsTheFirstPlaceThePatternStands) {
  struct Case {
    const char* name;
    std::string pattern, text;
    std::size_t from;
    TOndSearchOptions options;
    std::size_t expected;
  };
  const std::string filler(70, '.');  // long enough for the many-at-a-time look
  const Case cases[] = {
      {"at the start", "ab", "ab...", 0, 0, 0},
      {"at the end", "ab", "...ab", 0, 0, 3},
      {"at the end of a long text", "ab", filler + "ab", 0, 0, 70},
      {"at the start of a long text", "zq", "zq" + filler, 0, 0, 0},
      {"from after a place", "ab", "ab.ab", 1, 0, 3},
      {"from the last start", "ab", "...ab", 3, 0, 3},
      {"from past the last start", "ab", "...ab", 4, 0, 5},
      {"overlapping places", "aa", "aaaa", 1, 0, 1},
      {"caseless", "AB", filler + "aB", 0, 0, 70},
      {"matching case", "AB", filler + "aB" + filler + "AB", 0, ssoMatchCase, 142},
      {"whole words left to FindAll", "ab", filler + "abc", 0, ssoWholeWord, 70},
      {"1251 letters caseless", "\xA8\xCB\xCA\xC0", filler + "\xB8\xEB\xEA\xE0", 0, 0, 70},
      {"1251 letters matching case", "\xA8\xCB", filler + "\xB8\xEB\xA8\xCB", 0, ssoMatchCase, 72},
      {"across a line break", "b\r\nc", filler + "ab\r\ncd", 0, 0, 71},
      {"empty text", "ab", "", 0, 0, 0},
      {"pattern longer than the text", "abcdef", "abc", 0, 0, 3},
      {"pattern as long as the text", "abc", "abc", 0, 0, 0},
      {"only its rare characters stand", "qzq", filler + "q.q" + filler + "qz." + filler, 0, 0, 216},
      {"one character", "z", filler + "Z", 0, 0, 70},
  };
  TOndEditSearch s;
  for (const Case& c : cases) {
    s.SetOptions(c.options);
    s.SetPattern(c.pattern);
    EXPECT_TRUE(s.CanSkipText()) << c.name;
    EXPECT_EQ(s.FirstCandidate(c.text, c.from), c.expected) << c.name;
  }
}

// Random stretches of lines joined by their breaks, short and long enough
// for the many-at-a-time look, against the plain walk: the first place from
// every start, and every match FindAll finds in one of the lines lies at a
// place.
TEST(PlainSearch, FirstCandidateAgreesWithThePlainWalk) {
  std::mt19937 rng(11);
  const std::string alphabet = "abzqAZ_ e\xE0\xC0\r\n";
  auto pick = [&](std::size_t n) {
    std::string r;
    for (std::size_t i = 0; i < n; ++i) r.push_back(alphabet[rng() % alphabet.size()]);
    return r;
  };
  TOndEditSearch s;
  for (int round = 0; round < 3000; ++round) {
    const bool sensitive = rng() % 2, whole = rng() % 2;
    const std::string pattern = pick(1 + rng() % 5), text = pick(rng() % 300);
    if (pattern.find_first_of("\r\n") != std::string::npos) continue;
    s.SetOptions(static_cast<TOndSearchOptions>((sensitive ? ssoMatchCase : 0) | (whole ? ssoWholeWord : 0)));
    s.SetPattern(pattern);
    for (std::size_t from = 0; from <= text.size(); ++from)
      ASSERT_EQ(s.FirstCandidate(text, from), FirstPlace(pattern, text, from, sensitive))
          << "pattern '" << pattern << "' text '" << text << "' from " << from;
    std::size_t lineStart = 0;
    while (lineStart <= text.size()) {
      std::size_t lineEnd = text.find_first_of("\r\n", lineStart);
      if (lineEnd == std::string::npos) lineEnd = text.size();
      const int n = s.FindAll(std::string_view(text).substr(lineStart, lineEnd - lineStart));
      for (int i = 0; i < n; ++i) {
        const std::size_t place = lineStart + static_cast<std::size_t>(s.GetResult(i) - 1);
        ASSERT_EQ(s.FirstCandidate(text, place), place) << "pattern '" << pattern << "' text '" << text << "'";
      }
      lineStart = lineEnd + 1;
    }
  }
}

}  // namespace
}  // namespace ond
