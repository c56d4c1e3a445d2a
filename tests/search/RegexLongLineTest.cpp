// The matcher on hostile input: group loops over lines of a megabyte on a
// thread with a small stack, counts the line cannot hold, and the skipping of
// repeat counts after which the rest of the pattern cannot start.
#include <gtest/gtest.h>

#include <string>

#include "search/OndEditRegexSearch.h"
#include "tests/search/RegexTestUtil.h"
#include "tests/support/ThreadStack.h"

namespace ond {
namespace {

using regex_test::AllMatches;
using regex_test::Spans;

// "0, 1, 2, ..." up to at least `bytes` characters.
std::string Numbers(std::size_t bytes) {
  std::string s = "0";
  for (int i = 1; s.size() < bytes; ++i) s += ", " + std::to_string(i);
  return s;
}

Spans FindAll(TOndEditRegexSearch& engine, std::string_view line) {
  Spans out;
  const int n = engine.FindAll(line);
  for (int i = 0; i < n; ++i) out.emplace_back(engine.GetResult(i), engine.GetLength(i));
  return out;
}

std::string Repeat(std::string_view unit, std::size_t bytes) {
  std::string s;
  s.reserve(bytes + unit.size());
  while (s.size() < bytes) s += unit;
  return s;
}

struct LongLine {
  const char* pattern;
  const char* unit;  // repeated to about a megabyte
  int lastGroupLen;  // length of group 1 (its last iteration)
};

const LongLine kLongLines[] = {
    {"(ab)*", "ab", 2},
    {"(\"[^\"]*\",?)*", "\"key\",\"some value\",", 13},
    {"(ab){2,99999999}", "ab", 2},
    {"(.)*", "xy", 1},
    {"(\\w+\\s?)*$", "word ", 5},
    {"(ab|cd)*$", "abcd", 2},
    {"(ab)*?$", "ab", 2},
    {"((x)|y)*", "xy", 1},
};

TEST(RegexLongLine, GroupLoopsOverAMegabyteMatchOnASmallStack) {
  for (const LongLine& c : kLongLines) {
    SCOPED_TRACE(c.pattern);
    const std::string line = Repeat(c.unit, 1 << 20);
    int pos = 0, len = 0, groupPos = 0, groupLen = 0;
    std::string error;
    test::RunOnStack(test::kSmallThreadStack, [&] {
      TRegex r;
      r.SetExpression(c.pattern);
      try {
        if (!r.Exec(line)) return;
        pos = r.MatchPos(0);
        len = r.MatchLen(0);
        groupPos = r.MatchPos(1);
        groupLen = r.MatchLen(1);
      } catch (const ERegex& e) {
        error = e.Message;
      }
    });
    EXPECT_EQ(error, "");
    EXPECT_EQ(pos, 1);
    EXPECT_EQ(len, static_cast<int>(line.size()));
    EXPECT_EQ(groupLen, c.lastGroupLen);
    EXPECT_EQ(groupPos + groupLen, static_cast<int>(line.size()) + 1);
  }
}

TEST(RegexLongLine, ACountTheLineCannotHoldIsNoMatch) {
  const std::string run(300'000, 'a');
  for (const char* pattern : {"a{12345678}", "a{300001}", "(?i)A{12345678}", "[ab]{12345678}", "\\w{12345678}x"}) {
    SCOPED_TRACE(pattern);
    TRegex r;
    r.SetExpression(pattern);
    EXPECT_FALSE(r.Exec(run));
  }
  TRegex fits;
  fits.SetExpression("a{300000}");
  ASSERT_TRUE(fits.Exec(run));
  EXPECT_EQ(fits.MatchLen(0), 300'000);
}

// Counts of a repeat after which the rest cannot start are skipped; these
// cases would go wrong if a count that can still lead to a match were
// skipped (results as Perl gives them).
TEST(RegexLongLine, SkippedRepeatCountsNeverHideAMatch) {
  struct Case {
    const char* pattern;
    const char* subject;
    Spans matches;
  };
  const Case cases[] = {
      {"(\\w+)\\s+\\1", "a bb bb c dd dd", {{3, 5}, {11, 5}}},
      {"(a+){2}b", "aaab", {{1, 4}}},
      {"(a|ab)(c|bcd)(d*)", "abcd", {{1, 4}}},
      {"a*ab", "aaab", {{1, 4}}},
      {"(\\w+\\s?)*$", "ab cd", {{1, 5}, {6, 0}}},
      {"\\w+\\b", "abc def", {{1, 3}, {5, 3}}},
      {"a+?b", "aaab", {{1, 4}}},
      {"(a)b*\\1", "abba", {{1, 4}}},
      {"x*(ab){2}", "xabab", {{1, 5}}},
      {"(a+,)+b", "a,aa,b", {{1, 6}}},
      {"(b*a){2}c", "baac", {{1, 4}}},
      {"[a-c]+[c-e]", "abcd", {{1, 4}}},
      {"\\d+\\d", "12345", {{1, 5}}},
      {"a{2,4}?a", "aaaaa", {{1, 3}}},
      {"(a|b)*?c", "abac", {{1, 4}}},
      {"[^,]*,?x", "ab,x", {{1, 4}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(AllMatches(c.pattern, c.subject), c.matches);
  }
}

// Expressions that begin with a repeat of a character class search a long
// line in one pass: a start inside a run the repeat already took from an
// earlier start cannot match either. The budget of visits grows with the
// line, so these answer on lines of a megabyte.
TEST(RegexLongLine, LeadingClassRepeatsAnswerOnLongLines) {
  struct Case {
    const char* pattern;
    std::string lines[2];  // searched one after the other, as the editor does
    Spans matches[2];
  };
  const std::string numbers = Numbers(4601);
  const std::string array = "{\"a\": [" + Numbers(7903) + "]}";
  const std::string mega = Numbers(1 << 20);
  const Case cases[] = {
      {".*,$", {numbers, numbers + ","}, {{}, {{1, static_cast<int>(numbers.size()) + 1}}}},
      {".*,$", {mega, mega + ","}, {{}, {{1, static_cast<int>(mega.size()) + 1}}}},
      {"[0-9, ]+\\}", {array, "  {1, 2}"}, {{}, {{4, 5}}}},
      {"[0-9, ]+\\}", {"[" + mega + "]}", mega + "}"}, {{}, {{1, static_cast<int>(mega.size()) + 1}}}},
      {"\\d+x", {mega, mega + "x"}, {{}, {{static_cast<int>(mega.rfind(' ')) + 2,
                                              static_cast<int>(mega.size() - mega.rfind(' '))}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    TOndEditRegexSearch engine;
    engine.SetPattern(c.pattern);
    for (int i = 0; i < 2; ++i) {
      SCOPED_TRACE(i);
      try {
        EXPECT_EQ(FindAll(engine, c.lines[i]), c.matches[i]);
      } catch (const ERegex& e) {
        ADD_FAILURE() << e.Message;
      }
    }
  }
}

// Starts passed over after a failed leading repeat never hide a match: where
// the repeat stopped at its maximum, where a back reference reads the group
// around it, and at the line end (results as Perl gives them).
TEST(RegexLongLine, PassedOverStartsNeverHideAMatch) {
  struct Case {
    const char* pattern;
    const char* subject;
    Spans matches;
  };
  const Case cases[] = {
      {"a{1,2}b", "aaab", {{2, 3}}},
      {"(a*)b\\1c", "aabac", {{2, 4}}},
      {"(\\d+)x", "12 34x", {{4, 3}}},
      {"[a-c]+d", "aaab aad", {{6, 3}}},
      {"\\d+?x", "12 3x", {{4, 2}}},
      {"\\w*\\d", "ab cd3", {{4, 3}}},
      {"a*$", "aab", {{4, 0}}},
      {"x*", "xxaxx", {{1, 2}, {3, 0}, {4, 2}, {6, 0}}},
      {"(?i)[a-c]*x", "ABd abX", {{5, 3}}},
      {"(\\w+)+;", "ab cd;", {{4, 3}}},
      {"[ab]*\\bb", "aab b", {{5, 1}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_EQ(AllMatches(c.pattern, c.subject), c.matches);
  }
}

// The guard stays for expressions that backtrack without end, on long lines
// as on short ones.
TEST(RegexLongLine, ExplosiveBacktrackingStillStopsWithAnError) {
  TRegex r;
  r.SetExpression("(x+x+)+y");
  try {
    r.Exec(std::string(1 << 16, 'x'));
    FAIL();
  } catch (const ERegex& e) {
    EXPECT_EQ(e.ErrorCode, TRegex::ErrorTooComplex);
  }
}

}  // namespace
}  // namespace ond
