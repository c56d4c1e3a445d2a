// Back references and the starts a search passes over: a capture and its
// reference at fixed distances from the start (two bytes that must agree,
// found sixteen at a time), a reference reached at the same place from
// every start inside a leading repeat's run, and repeats that never give
// back before a reference whose group cannot be empty. Every search answers
// as the plain matcher that tries every start and every repeat count.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/search/RegexTestUtil.h"

namespace ond {
namespace {

using regex_test::A;
using regex_test::Spans;

// Words that repeat (whole, in part, in the other case, Cyrillic Ж/ж and
// Ё/ё among them) between separators of spaces, tabs, CR and punctuation,
// with runs of one byte now and then; long enough to cross the
// sixteen-byte blocks of the scans.
std::vector<std::string> Subjects() {
  const std::vector<std::string> words = {
      "a", "ab", "ba", "abc", "bc", "Ab", "AB", "x", "xx", "abx", "bx", "xxx", "aab", "1", "11", "12", "_",
      A("Жж"), A("жЖ"), A("ЖЖ"), A("ж"), A("Ж"), A("ё"), A("Ёё"), A("жук"), A("Жук")};
  const std::vector<std::string> gaps = {" ", "  ", "\t", "\r", "\r\n", ",", ", ", "", "-", " \t "};
  const std::string runs = A("ax \tЖ1");
  std::mt19937 rng(1251);
  std::vector<std::string> out = {"",      "a",      "aa",      "aA",   A("Жж"), A("жЖ"), "ab ab", "ab\tab",
                                  "ab\rab", "abc bc", "a  a",   "xxxx", "ab,ab", "a-a",   "abab",  "\t\t"};
  while (out.size() < 160) {
    std::string s;
    const std::size_t len = rng() % 80;
    while (s.size() < len) {
      if (rng() % 9 == 0) {
        s.append(1 + rng() % 20, runs[rng() % runs.size()]);  // a run of one byte
      } else {
        s += words[rng() % words.size()];
        s += gaps[rng() % gaps.size()];
      }
    }
    out.push_back(s);
  }
  return out;
}

TEST(RegexEcho, EverySearchAnswersAsThePlainMatcher) {
  const std::vector<std::string> patterns = {
      // A group of one fixed length and its reference at a fixed distance.
      "(\\w)\\1", "(.)\\1", "(\\w\\w)\\1", "(ab|cd)\\1", "(a|b)x\\1", "x(\\w)\\1", "(\\w)(\\w)\\2\\1", "(\\w)\\1\\1",
      "((\\w))\\2", "((\\w)\\2)\\1", "(\\w)\\s\\1", "\\b(\\w)\\1", "(\\w{2})\\1", "(\\w)\\1x", "(\\w)\\1\\w+",
      "(\\w)\\1$", "^(\\w)\\1", "(\\d|x)\\1", "(\\w)-\\1", "(a|\\d)(b|\\d)\\1\\2", "(\\w)(?#note)\\1",
      "()\\1(\\w)\\2", "(\\b)(\\w)\\1\\2",
      // Ignoring case, Cyrillic too.
      "(?i)(\\w)\\1", "(?i)(.)\\1", A("(?i)(Ж)\\1"), A("(?i)([жЖ])\\1"), A("(?i)(ж)\\1"), "(\\w)(?i)\\1",
      A("(?i)([а-яё])\\1"), "(?i)(ab)\\1",
      // Where the fixed distance does not hold: the rule must not apply.
      "(\\w)-?\\1", "()\\1a", "(a*)\\1", "(\\w)\\2(\\w)", "(\\w)|\\1", "(\\w)(x|\\1)", "(\\w)\\1+", "(\\w)(\\1)+",
      "((\\w)\\2)+", "(\\w)*\\1", "(a|bc)\\1", "(\\w+)\\1", "(\\w)\\s*\\1",
      // A leading repeat's run and a reference after it.
      "(\\w+)\\s+\\1", "(\\w+)\\s*\\1", "(\\w+)\\s+\\1\\b", "(\\w+) \\1", "(\\w+)\\t\\1", "(\\w+)[\\t\\r ]+\\1",
      "(?i)(\\w+)\\s+\\1", A("(?i)([а-яё]+)\\s+\\1"), A("(?i)(\\w+|[а-я]+)\\s+\\1"), "(\\w+)(\\s+)\\1",
      "(\\w+),\\s*\\1", "(\\w+\\s+)\\1", "(\\w+)\\s+\\1\\s+\\1", "(\\w{2,})\\s+\\1", "(\\w{1,3})\\s+\\1",
      "(\\w+?)\\s+\\1", "(\\w+)\\s+\\1x", "(\\w+)\\s+(\\1)", "(\\w+)\\W+\\1", "(\\d+)x\\1", "((\\w+))\\s+\\2",
      "((\\w+)\\s+)\\2", "(\\w+)-\\1", "([a-c]+)\\1", "(\\w+)\\r\\n?\\1", "\\b(\\w+)\\s+\\1\\b", "(\\w*)\\s+\\1",
      "([a-c]*x)\\s+\\1", "([a-c]*)x\\s+\\1",
      // Where the run's reference must not be used.
      "(\\w+)(\\s+)\\2", "(a|\\w+)\\s+\\1", "(\\w+)\\s+\\w*\\1", "(\\w+)\\d*\\1", "(\\w+)(\\s|,)+\\1",
      "(\\w+)\\s+\\1+", "(x?)\\s+\\1", "(\\w+)\\s+(a|b)\\1",
      // Repeats before a reference whose group cannot be empty.
      "(a+)b*\\1", "(a|)b*\\1", "([ab]+)a*\\1", "(?i)(a+)A*\\1", "(a)b+\\1", "(\\w)\\W*\\1", "(x)(?i)X*\\1",
  };
  regex_test::ExpectSameAsPlain(patterns, Subjects());
}

// Known answers where a shortcut decides: a later start inside a word that
// a failed try covered, the other case of a letter, Ж and ж, a reference
// whose copy would run past the end, tabs and CR between words.
TEST(RegexEcho, KnownAnswers) {
  const regex_test::KnownAnswer cases[] = {
      {"(\\w)\\1", "abba", {{2, 2}}},
      {"(\\w)\\1", "aaaa", {{1, 2}, {3, 2}}},
      {"(\\w)\\1", "aA", {}},
      {"(?i)(\\w)\\1", "aA bB", {{1, 2}, {4, 2}}},
      {A("(?i)(Ж)\\1"), A("Жж жЖ жж"), {{1, 2}, {4, 2}, {7, 2}}},
      {A("(Ж)\\1"), A("Жж ЖЖ"), {{4, 2}}},
      {"(\\w\\w)\\1", "xabab", {{2, 4}}},
      {"(\\w)x\\1", "axaxa", {{1, 3}}},
      {std::string("(\\w)\\1"), std::string(40, '-') + "zz", {{41, 2}}},
      {"(\\w+)\\s+\\1", "abc bc", {{2, 5}}},
      {"(\\w+)\\s+\\1", "abc\tabcd", {{1, 7}}},
      {"(\\w+)\\s+\\1", "ab\rb", {{2, 3}}},
      {"(\\w+)\\s+\\1", "ab  x", {}},
      {"(\\w+)\\s+\\1", "abcd cd", {{3, 5}}},
      {"(?i)(\\w+)\\s+\\1", "Ab aB", {{1, 5}}},
      {A("(?i)([а-я]+)\\s+\\1"), A("жук ЖУК"), {{1, 7}}},
      {"(\\w+)\\s+\\1\\b", "ab abc b b", {{8, 3}}},
      {"(\\w*)\\s+\\1", "ab  ab", {{1, 6}}},
      {"([a-c]*x)\\s+\\1", "abx x", {{3, 3}}},
  };
  regex_test::ExpectKnownAnswers(cases);
  EXPECT_EQ(regex_test::Groups("(\\w+)\\s+\\1", "xabc bc", 2), (Spans{{3, 5}, {3, 2}}));
  EXPECT_EQ(regex_test::Groups("((\\w)\\2)\\1", "xaaaa", 3), (Spans{{2, 4}, {2, 2}, {2, 1}}));
}

}  // namespace
}  // namespace ond
