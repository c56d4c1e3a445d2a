// Matcher: positions of whole matches and groups for each feature, the
// search loop of Exec / ExecNext, and the limits that keep a search safe.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tests/search/RegexTestUtil.h"

namespace ond {
namespace {

using regex_test::A;
using regex_test::AllMatches;
using regex_test::Groups;
using regex_test::Outcome;
using regex_test::Search;
using regex_test::Spans;
using regex_test::TPlainRegex;

// Line mode ("m") with these separators and the given paired one.
void SetLineMode(TRegex& r, std::string_view separators, std::string_view pair) {
  r.SetModifier(TRegex::ModifierM, true);
  r.LineSeparators = separators;
  r.SetLinePairedSeparator(pair);
}

TEST(RegexMatch, ExecNextWalksEveryMatchOnce) {
  EXPECT_EQ(AllMatches("a*", "baa"), (Spans{{1, 0}, {2, 2}, {4, 0}}));
  EXPECT_EQ(AllMatches("x*", "abc"), (Spans{{1, 0}, {2, 0}, {3, 0}, {4, 0}}));
  EXPECT_EQ(AllMatches("abc", "xxabcabc"), (Spans{{3, 3}, {6, 3}}));
  EXPECT_EQ(AllMatches("aa", "aaaaa"), (Spans{{1, 2}, {3, 2}}));

  TRegex r;
  r.SetExpression("b");
  try {
    r.ExecNext();
    FAIL();
  } catch (const ERegex& e) {
    EXPECT_EQ(e.ErrorCode, 1007);
    EXPECT_EQ(e.Message, "TRegex(exec): ExecNext Without Exec[Pos]");
  }
  try {
    r.ExecPos(1);
    FAIL();
  } catch (const ERegex& e) {
    EXPECT_EQ(e.Message, "TRegex(exec): No Input String Specified");
  }
  ASSERT_TRUE(r.Exec("abcb"));
  EXPECT_EQ(r.MatchPos(0), 2);
  EXPECT_TRUE(r.ExecPos(3));
  EXPECT_EQ(r.MatchPos(0), 4);
  EXPECT_FALSE(r.ExecPos(5));
  EXPECT_FALSE(r.ExecPos(6));
  EXPECT_THROW(r.ExecPos(0), ERegex);
  EXPECT_EQ(r.GetLastError(), 1006);
  // A failed search clears the positions.
  EXPECT_EQ(r.MatchPos(0), -1);
  EXPECT_THROW(r.ExecNext(), ERegex);
}

TEST(RegexMatch, MatchPosAndLenOfGroupsThatDidNotTakePart) {
  TRegex r;
  EXPECT_EQ(r.MatchPos(0), -1);  // no input
  r.SetExpression("(a)|b");
  ASSERT_TRUE(r.Exec("b"));
  EXPECT_EQ(r.MatchPos(0), 1);
  EXPECT_EQ(r.MatchLen(0), 1);
  EXPECT_EQ(r.MatchPos(1), -1);
  EXPECT_EQ(r.MatchLen(1), -1);
  EXPECT_EQ(r.MatchPos(15), -1);
  EXPECT_EQ(r.MatchLen(-1), -1);
}

TEST(RegexMatch, LiteralsEscapesAndNul) {
  EXPECT_EQ(AllMatches("a\\.b", "axb a.b"), (Spans{{5, 3}}));
  EXPECT_EQ(AllMatches("\\t\\n\\r\\f\\a\\e", "x\t\n\r\f\a\x1b"), (Spans{{2, 6}}));
  EXPECT_EQ(AllMatches("\\x41\\x{42}\\x{0043}", "zABC"), (Spans{{2, 3}}));
  EXPECT_EQ(AllMatches("\\{\\}\\(\\)\\[\\]\\\\\\$\\^", "{}()[]\\$^"), (Spans{{1, 9}}));
  EXPECT_EQ(AllMatches("a{b", "a{b"), (Spans{{1, 3}}));
  // NUL is an ordinary byte in patterns and subjects.
  const std::string withNul("a\0b\0", 4);
  EXPECT_EQ(AllMatches("\\x00", withNul), (Spans{{2, 1}, {4, 1}}));
  EXPECT_EQ(AllMatches(std::string("b\0", 2), withNul), (Spans{{3, 2}}));
  EXPECT_EQ(AllMatches("b.$", withNul), (Spans{{3, 2}}));
  EXPECT_EQ(AllMatches("[^a]+", withNul), (Spans{{2, 3}}));
  EXPECT_EQ(AllMatches(".*", withNul), (Spans{{1, 4}, {5, 0}}));
  // An empty line is valid input.
  EXPECT_EQ(AllMatches("^$", ""), (Spans{{1, 0}}));
  EXPECT_EQ(AllMatches("a", ""), Spans{});
}

TEST(RegexMatch, ClassesAndSets) {
  EXPECT_EQ(AllMatches("\\d+", "ab12cd345"), (Spans{{3, 2}, {7, 3}}));
  EXPECT_EQ(AllMatches("\\D+", "ab12cd345"), (Spans{{1, 2}, {5, 2}}));
  EXPECT_EQ(AllMatches("\\w+", "hi, _x9!"), (Spans{{1, 2}, {5, 3}}));
  EXPECT_EQ(AllMatches("\\W+", "hi, _x9!"), (Spans{{3, 2}, {8, 1}}));
  EXPECT_EQ(AllMatches("\\s+", "a \t\r\nb\fc"), (Spans{{2, 4}, {7, 1}}));
  EXPECT_EQ(AllMatches("\\S+", "a \t\r\nb\fc"), (Spans{{1, 1}, {6, 1}, {8, 1}}));
  EXPECT_EQ(AllMatches("[a-c]+", "xxabccbayy"), (Spans{{3, 6}}));
  EXPECT_EQ(AllMatches("[^a-c]+", "xxabccbayy"), (Spans{{1, 2}, {9, 2}}));
  EXPECT_EQ(AllMatches("[]a]+", "a]]ab"), (Spans{{1, 4}}));
  EXPECT_EQ(AllMatches("[a-]+", "a--ab"), (Spans{{1, 4}}));
  EXPECT_EQ(AllMatches("[-a]+", "a--ab"), (Spans{{1, 4}}));
  EXPECT_EQ(AllMatches("[a-c-e]+", "dbe-f"), (Spans{{1, 3}}));
  EXPECT_EQ(AllMatches("[\\d.]+", "v1.25x"), (Spans{{2, 4}}));
  EXPECT_EQ(AllMatches("[a-\\d]+", "a-5b"), (Spans{{1, 3}}));
  EXPECT_EQ(AllMatches("[\\x30-\\x32]+", "0123"), (Spans{{1, 3}}));
  EXPECT_EQ(AllMatches("[\\t\\n]+", "a\t\nb"), (Spans{{2, 2}}));
  EXPECT_EQ(AllMatches("[\\W\\d]+", "ab1-2cd"), (Spans{{3, 3}}));
  EXPECT_EQ(AllMatches("[^\\s]+", "ab cd"), (Spans{{1, 2}, {4, 2}}));
  EXPECT_EQ(AllMatches("[abc]", "xcx"), (Spans{{2, 1}}));
  EXPECT_EQ(AllMatches("[^abc]", "abxc"), (Spans{{3, 1}}));
  // \w and \s follow WordChars and SpaceChars; they ignore modifier i.
  TRegex r;
  r.WordChars = "ab";
  r.SetExpression("(?i)\\w+");
  EXPECT_EQ(AllMatches(r, "abAB"), (Spans{{1, 2}}));
  r.SpaceChars = "_";
  r.SetExpression("\\s");
  EXPECT_EQ(AllMatches(r, "a b_c"), (Spans{{4, 1}}));
}

TEST(RegexMatch, CaseInsensitiveCyrillic) {
  TRegex r;
  r.SetExpression(A("ёж"));
  EXPECT_FALSE(r.Exec(A("ЁЖ")));
  r.SetModifier(TRegex::ModifierI, true);
  EXPECT_TRUE(r.Exec(A("xЁЖ")));
  EXPECT_EQ(r.MatchPos(0), 2);
  EXPECT_TRUE(r.Exec(A("Ёж")));
  r.SetExpression(A("[а-е]+"));
  EXPECT_EQ(AllMatches(r, A("ГДЕЖ")), (Spans{{1, 3}}));
  r.SetExpression(A("[^Ж]"));
  EXPECT_EQ(AllMatches(r, A("жЖz")), (Spans{{3, 1}}));
  r.SetExpression(A("(ё)\\1"));
  EXPECT_EQ(AllMatches(r, A("ёЁ")), (Spans{{1, 2}}));
  r.SetExpression(A("(ё)\\1+"));
  EXPECT_EQ(AllMatches(r, A("ёЁёx")), (Spans{{1, 3}}));
  r.SetExpression(A("я*"));
  EXPECT_EQ(AllMatches(r, A("ЯяЯ")), (Spans{{1, 3}, {4, 0}}));
  // Inline modifiers switch case-insensitivity on and off.
  EXPECT_EQ(AllMatches(A("(?i)привет"), A("ПРИВЕТ")), (Spans{{1, 6}}));
  EXPECT_EQ(AllMatches(A("(?i)п(?-i)р"), A("Пр ПР")), (Spans{{1, 2}}));
}

// An expression that begins with a literal is searched for only where the
// literal's first and last characters are; written with its first character
// as a set it is searched for everywhere. Both must find the same matches,
// in short lines and in lines long enough to be looked at in blocks.
TEST(RegexMatch, LeadingLiteralsFindWhatTheFullSearchFinds) {
  std::mt19937 rng(11);
  const std::string letters = A("abAB1 ёЁ");
  auto pick = [&](std::size_t n) {
    std::string r;
    for (std::size_t i = 0; i < n; ++i) r.push_back(letters[rng() % letters.size()]);
    return r;
  };
  // The quantifiers among them apply to the literal's last character.
  const char* const tails[] = {"", "\\w*", "[0-9]?", "(a|b)", "*", "+", "?", "{0,2}"};
  for (int round = 0; round < 3000; ++round) {
    const std::string literal = pick(1 + rng() % 5);
    if (literal[0] == ' ') continue;
    const std::string modifier = rng() % 2 ? "(?i)" : "";
    const std::string tail = tails[rng() % 8];
    const std::string line = pick(rng() % (round % 2 ? 120 : 20));
    const std::string fast = modifier + literal + tail;
    const std::string full = modifier + "[" + literal.substr(0, 1) + "]" + literal.substr(1) + tail;
    ASSERT_EQ(AllMatches(fast, line), AllMatches(full, line)) << fast << " in '" << line << "'";
  }
}

TEST(RegexMatch, AnchorsAndLineSeparators) {
  EXPECT_EQ(AllMatches("^abc", "abcabc"), (Spans{{1, 3}}));
  EXPECT_EQ(AllMatches("abc$", "abcabc"), (Spans{{4, 3}}));
  EXPECT_EQ(AllMatches("\\Aa|b\\Z", "aab"), (Spans{{1, 1}, {3, 1}}));
  EXPECT_EQ(AllMatches("^", "ab"), (Spans{{1, 0}}));
  EXPECT_EQ(AllMatches("$", "ab"), (Spans{{3, 0}}));

  TRegex r;
  r.SetExpression("^b");
  EXPECT_FALSE(r.Exec("a\r\nb"));
  r.SetModifier(TRegex::ModifierM, true);
  ASSERT_TRUE(r.Exec("a\r\nb"));
  EXPECT_EQ(r.MatchPos(0), 4);
  r.SetExpression("^");
  // Between CR and LF of the pair is no line start.
  EXPECT_EQ(AllMatches(r, "a\r\nb\nc\rd"), (Spans{{1, 0}, {4, 0}, {6, 0}, {8, 0}}));
  r.SetExpression("$");
  EXPECT_EQ(AllMatches(r, "a\r\nb\nc\rd"), (Spans{{2, 0}, {5, 0}, {7, 0}, {9, 0}}));
  r.SetExpression("^$");
  EXPECT_EQ(AllMatches(r, "\r\n\r\n"), (Spans{{1, 0}, {3, 0}, {5, 0}}));
  r.SetExpression("^\\n");  // a line start before a lone LF
  EXPECT_EQ(AllMatches(r, "\n\n"), (Spans{{1, 1}, {2, 1}}));

  // Other separators, and the paired separator alone.
  TRegex s;
  SetLineMode(s, ";", "");
  s.SetExpression("^\\w");
  EXPECT_EQ(AllMatches(s, "a;b\r\nc"), (Spans{{1, 1}, {3, 1}}));
  s.SetExpression("\\w$");
  EXPECT_EQ(AllMatches(s, "a;b\r\nc"), (Spans{{1, 1}, {6, 1}}));
  TRegex p;
  SetLineMode(p, "", "<>");
  p.SetExpression("\\w$");
  EXPECT_EQ(AllMatches(p, "a<>b<c<>"), (Spans{{1, 1}, {6, 1}}));
  p.SetExpression("^\\w");
  EXPECT_EQ(AllMatches(p, "a<>b<c<>"), (Spans{{1, 1}, {4, 1}}));
  // Without separators, m changes nothing.
  TRegex none;
  SetLineMode(none, "", "");
  none.SetExpression("^\\w");
  EXPECT_EQ(AllMatches(none, "a\nb"), (Spans{{1, 1}}));

  // Modifier s off: "." stops at separators and at the head of the pair.
  TRegex d;
  d.SetModifier(TRegex::ModifierS, false);
  d.SetExpression(".+");
  EXPECT_EQ(AllMatches(d, "ab\r\ncd\re"), (Spans{{1, 2}, {5, 2}, {8, 1}}));
  d.LineSeparators = "";
  EXPECT_EQ(AllMatches(d, "ab\r\ncd\re"), (Spans{{1, 2}, {4, 5}}));
  d.SetExpression(".");
  d.LineSeparators = "\r\n";
  EXPECT_EQ(AllMatches(d, "\r\n"), Spans{});
}

// A change of the line separators after a search takes effect at the next
// one: where a line ends and begins, what a match can begin with, and which
// anchor a line mode "^" or "$" is.
TEST(RegexMatch, LineSeparatorsChangedAfterCompiling) {
  struct Case {
    std::string pattern;
    std::string subject;
    std::vector<std::pair<std::string, Spans>> steps;  // separators, then every match with them
  };
  const Case cases[] = {
      {"$", "ab;c", {{"\r\n", {{5, 0}}}, {";", {{3, 0}, {5, 0}}}}},
      {"\\s*$", "a \t;b", {{"\r\n", {{6, 0}}}, {";", {{2, 2}, {4, 0}, {6, 0}}}}},
      {"^\\w", "a;b", {{"", {{1, 1}}}, {";", {{1, 1}, {3, 1}}}, {"", {{1, 1}}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    TRegex r;
    SetLineMode(r, c.steps.front().first, "");
    r.SetExpression(c.pattern);
    for (const auto& [separators, matches] : c.steps) {
      r.LineSeparators = separators;
      EXPECT_EQ(AllMatches(r, c.subject), matches) << separators.size() << " separators";
    }
  }
}

TEST(RegexMatch, WordBoundaries) {
  EXPECT_EQ(AllMatches("\\bab\\b", "x ab"), (Spans{{3, 2}}));
  EXPECT_EQ(AllMatches("\\bab\\b", "xab"), Spans{});
  EXPECT_EQ(AllMatches("\\Bb", "ab b"), (Spans{{2, 1}}));
  EXPECT_EQ(AllMatches("\\b", "ab cd"), (Spans{{1, 0}, {3, 0}, {4, 0}, {6, 0}}));
  EXPECT_EQ(AllMatches("\\B", "ab"), (Spans{{2, 0}}));
  EXPECT_EQ(AllMatches("\\b", ""), Spans{});
  EXPECT_EQ(AllMatches("\\B", ""), (Spans{{1, 0}}));
}

TEST(RegexMatch, GreedyAndLazyQuantifiers) {
  EXPECT_EQ(AllMatches("a+", "baaab"), (Spans{{2, 3}}));
  EXPECT_EQ(AllMatches("a+?", "aaa"), (Spans{{1, 1}, {2, 1}, {3, 1}}));
  EXPECT_EQ(AllMatches("a*?b", "aab"), (Spans{{1, 3}}));
  EXPECT_EQ(AllMatches("a??b", "aab"), (Spans{{2, 2}}));
  EXPECT_EQ(AllMatches("ab?c", "ac abc abbc"), (Spans{{1, 2}, {4, 3}}));
  EXPECT_EQ(AllMatches(".*?x", "abxcdx"), (Spans{{1, 3}, {4, 3}}));
  EXPECT_EQ(AllMatches(".*x", "abxcdx"), (Spans{{1, 6}}));
  EXPECT_EQ(AllMatches("<.+>", "<a><b>"), (Spans{{1, 6}}));
  EXPECT_EQ(AllMatches("<.+?>", "<a><b>"), (Spans{{1, 3}, {4, 3}}));
  EXPECT_EQ(AllMatches("abc*", "abccc ab"), (Spans{{1, 5}, {7, 2}}));
  EXPECT_EQ(AllMatches("(ab)*", "ababab"), (Spans{{1, 6}, {7, 0}}));
  EXPECT_EQ(AllMatches("(ab)*?c", "ababc"), (Spans{{1, 5}}));
  EXPECT_EQ(AllMatches("(ab)+?", "ababab"), (Spans{{1, 2}, {3, 2}, {5, 2}}));
  EXPECT_EQ(AllMatches("(a|b)*?c", "abbac"), (Spans{{1, 5}}));
  // Modifier g off turns every repeat non-greedy, "?" after it greedy again is not offered.
  TRegex r;
  r.SetModifier(TRegex::ModifierG, false);
  r.SetExpression("a+");
  EXPECT_EQ(AllMatches(r, "aaa"), (Spans{{1, 1}, {2, 1}, {3, 1}}));
  r.SetExpression("(ab)+");
  EXPECT_EQ(AllMatches(r, "abab"), (Spans{{1, 2}, {3, 2}}));
  // Modifier s off: "." as a complex repeat operand.
  TRegex d;
  d.SetModifier(TRegex::ModifierS, false);
  d.SetExpression("a.*b");
  EXPECT_EQ(AllMatches(d, "axxb\r\nab"), (Spans{{1, 4}, {7, 2}}));
  d.SetExpression("a.*?b");
  EXPECT_EQ(AllMatches(d, "axbxb"), (Spans{{1, 3}}));
}

TEST(RegexMatch, CountedRepeats) {
  EXPECT_EQ(AllMatches("a{2,3}", "aaaaaaa"), (Spans{{1, 3}, {4, 3}}));
  EXPECT_EQ(AllMatches("a{2}", "aaaaa"), (Spans{{1, 2}, {3, 2}}));
  EXPECT_EQ(AllMatches("a{2,}", "aaaaa a"), (Spans{{1, 5}}));
  EXPECT_EQ(AllMatches("a{2,3}?", "aaaaa"), (Spans{{1, 2}, {3, 2}}));
  EXPECT_EQ(AllMatches("a{0}b", "ab"), (Spans{{2, 1}}));
  EXPECT_EQ(AllMatches("a{,3}", "a{,3}"), (Spans{{1, 5}}));
  EXPECT_EQ(AllMatches("(ab){2,3}", "abababababab"), (Spans{{1, 6}, {7, 6}}));
  EXPECT_EQ(AllMatches("(ab){2,3}?", "abababababab"), (Spans{{1, 4}, {5, 4}, {9, 4}}));
  EXPECT_EQ(AllMatches("(a|b){2,}?c", "ababc"), (Spans{{1, 5}}));
  EXPECT_EQ(AllMatches("(ab){2}", "ab abab"), (Spans{{4, 4}}));
  EXPECT_EQ(AllMatches("[ab]{3}", "abxbab"), (Spans{{4, 3}}));
  EXPECT_EQ(AllMatches("\\d{2,4}", "1 12 12345"), (Spans{{3, 2}, {6, 4}}));
  EXPECT_EQ(AllMatches("x{99999999}", "xx"), Spans{});
}

TEST(RegexMatch, AlternationAndGroups) {
  EXPECT_EQ(AllMatches("cat|dog|bird", "dog cat bird"), (Spans{{1, 3}, {5, 3}, {9, 4}}));
  EXPECT_EQ(Groups("(a|ab)(c|bcd)(d*)", "abcd", 4), (Spans{{1, 4}, {1, 1}, {2, 3}, {5, 0}}));
  EXPECT_EQ(Groups("(ab|a)(bc|c)", "abc", 3), (Spans{{1, 3}, {1, 2}, {3, 1}}));
  EXPECT_EQ(Groups("((a)(b))?c", "abc", 4), (Spans{{1, 3}, {1, 2}, {1, 1}, {2, 1}}));
  EXPECT_EQ(Groups("(a)?(b)", "b", 3), (Spans{{1, 1}, {-1, -1}, {1, 1}}));
  // A repeated group keeps its last pass.
  EXPECT_EQ(Groups("((a|b)c)+", "acbcac", 3), (Spans{{1, 6}, {5, 2}, {5, 1}}));
  EXPECT_EQ(Groups("(a|b)*c", "abbac", 2), (Spans{{1, 5}, {4, 1}}));
  EXPECT_EQ(Groups("(x(a|b)*?y)+", "xaybbyxy", 3), (Spans{{1, 3}, {1, 3}, {2, 1}}));
  EXPECT_EQ(Groups("(a+|b+)*c", "aabbaac", 2), (Spans{{1, 7}, {5, 2}}));
  EXPECT_EQ(Groups("((a)|b)+", "ab", 3), (Spans{{1, 2}, {2, 1}, {1, 1}}));
  // Inline modifiers last to the end of their group.
  EXPECT_EQ(AllMatches("(?i)abc", "ABCabc"), (Spans{{1, 3}, {4, 3}}));
  EXPECT_EQ(AllMatches("a(?i)b", "aB"), (Spans{{1, 2}}));
  EXPECT_EQ(AllMatches("a(?i)b|c", "C"), (Spans{{1, 1}}));
  EXPECT_EQ(AllMatches("(a(?i)b)c", "aBc"), (Spans{{1, 3}}));
  EXPECT_EQ(AllMatches("(a(?i)b)c", "aBC"), Spans{});
  EXPECT_EQ(AllMatches("(?i-s).", "\n"), Spans{});
  EXPECT_EQ(AllMatches("(?g-g)a+", "aa"), (Spans{{1, 1}, {2, 1}}));
}

TEST(RegexMatch, BackReferences) {
  EXPECT_EQ(AllMatches("(\\w+)\\s+\\1", "hello hello world"), (Spans{{1, 11}}));
  EXPECT_EQ(AllMatches("(a)\\1*", "aaaa"), (Spans{{1, 4}}));
  EXPECT_EQ(AllMatches("(ab)\\1+", "abababx"), (Spans{{1, 6}}));
  EXPECT_EQ(AllMatches("([ab])\\1{2}", "aaabbbab"), (Spans{{1, 3}, {4, 3}}));
  // Repeats of a back reference step by whole copies.
  EXPECT_EQ(AllMatches("(ab)\\1*?b", "abababb"), (Spans{{1, 7}}));
  EXPECT_EQ(AllMatches("(ab)\\1*a", "ababa"), (Spans{{1, 5}}));
  EXPECT_EQ(AllMatches("(ab)\\1*b", "ababb"), (Spans{{1, 5}}));
  EXPECT_EQ(AllMatches("(ab)\\1{2}", "abababa"), (Spans{{1, 6}}));
  // An empty capture repeats without moving.
  EXPECT_EQ(AllMatches("(a?)\\1+b", "b"), (Spans{{1, 1}}));
  EXPECT_EQ(AllMatches("(a?)\\1{3,5}b", "b"), (Spans{{1, 1}}));
  EXPECT_EQ(AllMatches("(a?)(\\1)*?b", "b"), (Spans{{1, 1}}));
  // A group that has not matched makes the reference fail.
  EXPECT_EQ(AllMatches("(a)|\\1x", "x"), Spans{});
  EXPECT_EQ(AllMatches("\\2(a)", "a"), Spans{});
  // Inside its own group the reference sees the previous pass.
  EXPECT_EQ(Groups("(b|\\1+\\1){1,2}", "b", 2), (Spans{{1, 1}, {1, 1}}));
  EXPECT_EQ(Groups("(a|b\\1)+", "aba", 2), (Spans{{1, 3}, {2, 2}}));
  // The capture must fit before the end of the input.
  EXPECT_EQ(AllMatches("(abc)x\\1", "abcxab"), Spans{});
}

// Results checked against Perl for loops whose bookkeeping must survive
// backtracking: nested and non-greedy counted loops.
TEST(RegexMatch, LoopBookkeepingAgreesWithPerl) {
  EXPECT_EQ(Groups("((ab)*?c){2}", "abcc", 2), (Spans{{1, 4}, {4, 1}}));
  EXPECT_EQ(AllMatches("((a|b)+?c)+?d", "abcbacd"), (Spans{{1, 7}}));
  EXPECT_EQ(AllMatches("((a|b){2}?c){2,}", "abcbac abc"), (Spans{{1, 6}}));
  EXPECT_EQ(AllMatches("((x|y){1,2}?z){2}", "xzxyzyyyz"), (Spans{{1, 5}}));
  EXPECT_EQ(AllMatches("(([ab])*?c)+", "abcbc"), (Spans{{1, 5}}));
  EXPECT_EQ(AllMatches("(a|ab)*?b", "abab"), (Spans{{1, 2}, {3, 2}}));
  EXPECT_EQ(AllMatches("((a|b)+?){2}c", "abac"), (Spans{{1, 4}}));
  EXPECT_EQ(AllMatches("(((a|b)+?x){2}?y)+", "axbxyaxaxy"), (Spans{{1, 10}}));
  EXPECT_EQ(AllMatches("((a)+?|b){3}c", "abac bbb"), (Spans{{1, 4}}));
  EXPECT_EQ(AllMatches("(x(a|b){1,2}?y)*?z", "xayxabyz"), (Spans{{1, 8}}));
  EXPECT_EQ(Groups("(a(b)*?)+?c", "abbac", 2), (Spans{{1, 5}, {4, 1}}));
}

// A greedy loop over a group that is wide only through back references
// passes through it empty when the referenced groups captured nothing; it
// stops at the first empty pass, as the lazy and counted loops do. Every
// answer (all matches, with their groups) checked against Perl and PCRE2.
TEST(RegexMatch, GreedyLoopsStopAtAnEmptyPassAsPerlDoes) {
  const struct {
    const char* Pattern;
    const char* Subject;
    std::vector<Spans> Matches;  // groups 0 .. 3 of every match
  } cases[] = {
      {"()(\\1)+", "ab",
       {{{1, 0}, {1, 0}, {1, 0}, {-1, -1}}, {{2, 0}, {2, 0}, {2, 0}, {-1, -1}}, {{3, 0}, {3, 0}, {3, 0}, {-1, -1}}}},
      {"()(\\1)*", "ab",
       {{{1, 0}, {1, 0}, {1, 0}, {-1, -1}}, {{2, 0}, {2, 0}, {2, 0}, {-1, -1}}, {{3, 0}, {3, 0}, {3, 0}, {-1, -1}}}},
      {"(x*)(\\1)+y", "xxxy", {{{1, 4}, {1, 1}, {3, 1}, {-1, -1}}}},
      {"(x*)(\\1)+y", "xxy xxxxy", {{{1, 3}, {1, 1}, {2, 1}, {-1, -1}}, {{5, 5}, {5, 2}, {7, 2}, {-1, -1}}}},
      {"(x*)(\\1)*y", "xxxy", {{{1, 4}, {1, 3}, {-1, -1}, {-1, -1}}}},
      {"(a|\\1)*b", "aab", {{{1, 3}, {2, 1}, {-1, -1}, {-1, -1}}}},
      {"(a*)(\\1\\1)+b", "aaaab", {{{2, 4}, {2, 1}, {3, 2}, {-1, -1}}}},
      {"(a?)((\\1))+b", "ab", {{{2, 1}, {2, 0}, {2, 0}, {2, 0}}}},
      {"(a?)(\\1c?)+d", "acd", {{{2, 2}, {2, 0}, {3, 0}, {-1, -1}}}},
      {"(a|b)(\\1)+c", "aabbbc", {{{3, 4}, {3, 1}, {5, 1}, {-1, -1}}}},
      {"()(\\1|\\1)*x", "yx", {{{2, 1}, {2, 0}, {2, 0}, {-1, -1}}}},
      {"(a*)(b|\\1)+c", "aabac", {{{1, 5}, {1, 1}, {4, 1}, {-1, -1}}}},
      {"(a*)(\\1+)+b", "aaab", {{{1, 4}, {1, 1}, {2, 2}, {-1, -1}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Pattern) + " / " + c.Subject);
    for (const bool plain : {false, true}) {
      TRegex fast;
      TPlainRegex slow;
      TRegex& r = plain ? static_cast<TRegex&>(slow) : fast;
      r.SetExpression(c.Pattern);
      Outcome got = Search(r, c.Subject);
      EXPECT_EQ(got.error, 0);
      for (Spans& m : got.matches) m.resize(4);
      EXPECT_EQ(got.matches, c.Matches);
    }
  }
  // A long line answers at once too: an empty match at its start.
  TRegex r;
  r.SetExpression("()(\\1)+");
  ASSERT_TRUE(r.Exec(std::string(100000, 'a')));
  EXPECT_EQ(r.MatchPos(0), 1);
  EXPECT_EQ(r.MatchLen(0), 0);
}

TEST(RegexMatch, CatastrophicSearchesFailWithAnError) {
  TRegex slow;
  slow.SetExpression("(x+x+)+y");
  try {
    slow.Exec(std::string(40, 'x'));
    FAIL();
  } catch (const ERegex& e) {
    EXPECT_EQ(e.ErrorCode, TRegex::ErrorTooComplex);
    EXPECT_EQ(e.Message, "TRegex(exec): Expression Too Complex");
  }
  EXPECT_EQ(slow.MatchPos(0), -1);
  // Quadratic scans of simple repeats count against the budget too.
  TRegex scan;
  scan.SetExpression("w\\w*\\d");
  EXPECT_THROW(scan.Exec(std::string(200000, 'w')), ERegex);
  // ... unless they lead the expression: one pass over the line answers.
  scan.SetExpression("\\w*\\d");
  EXPECT_FALSE(scan.Exec(std::string(200000, 'w')));
  // The same object keeps working afterwards.
  slow.SetExpression("x+y");
  EXPECT_TRUE(slow.Exec("xxy"));
}

}  // namespace
}  // namespace ond
