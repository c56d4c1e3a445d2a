// The matcher's shortcuts (start positions ruled out in advance, repeats that
// never give back, runs of a class found sixteen bytes at a time, a required
// end of the input, an expression that is one repeat of a class) answer
// exactly as the plain matcher that tries every start and every repeat
// count: the same matches, the same groups.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/search/RegexTestUtil.h"

namespace ond {
namespace {

using regex_test::A;
using regex_test::Spans;

// Subjects of the bytes the patterns below look for, with runs long enough
// to cross the sixteen-byte blocks of the class scans.
std::vector<std::string> Subjects() {
  const std::string alphabet = A("0123456789 ,}{abcxyz\"_!\r\nЖжАяё") + "AB\x80\xff";
  std::mt19937 rng(1251);
  std::vector<std::string> out = {"", ",", "}", "a", "\r\n", "1,", "x", "ab,\r\n", A("ЖжЖ")};
  for (int i = 0; i < 150; ++i) {
    std::string s;
    const std::size_t len = rng() % 72;
    while (s.size() < len) {
      const char c = alphabet[rng() % alphabet.size()];
      s.append(1 + (rng() % 4 == 0 ? rng() % 20 : 0), c);  // now and then a run
    }
    out.push_back(s);
  }
  return out;
}

TEST(RegexShortcut, EverySearchAnswersAsThePlainMatcher) {
  const char* patterns[] = {
      // A required end of the input.
      ".*,$", ",$", "x+,$", "(a,)$", "a\\Z", "(?i)\xE6$", "(?i)ab$", "[0-9, ]*$", "b?$", "(,)(?#c)$", "a|b$",
      "(?m)a$", "(?m).*,$", "(?m-s).*,$", "(a|ab)$", "a*$", "(?-s).*,$", "\\r\\n$", "(?i)\xC6\xE6+$",
      // Repeats of a class whatever follows, and those that cannot give back.
      "[0-9, ]+\\}", "\\d+x", "\\d+\\d", "[a-c]+[c-e]", "[^\"]*\"", "(\\d+)\\s", "((\\d)+)x", "\\w+\\s+\\1",
      "(\\w)\\1", "(\\w+)\\s+\\1", "a{1,2}b", "[ab]{2,3}c", "\\d+?x", "[ab]*?c", "(?i)[\xE0-\xFF]+!", "(?i)a+b",
      "a+", "[^,]+", "[^,]*,", "\\s+\\S", "x*", "[0-9]+", "[0-9]{3}", "(?i)[a-c\xE6]+[d\xC6]",
      "[\\x80-\\xff]+z", "\\D+1", "[0-9a-fA-F_xyz]+!", "[aeiouy]+b", "[^a-z]{2,}", "\\S+$", "(?-g)\\d+,",
      "(x|y)+[0-9]", "[\"{]\\w*\\b", "(?r)[\xE0-\xFF]+", "(?-r)[\xE0-\xFF]+",
      // One repeat of a class and nothing more: the run is the match.
      "\\d+?", "[ab]{2,3}", "[ab]{2,3}?", "[ab]{0}", "(?i)a+", ".*", ".+", "\\w{2,}?", "[^,]*", "a{3,}", "x{2}",
      "(?i)[\xE6\xC6]*", "[^\\x00-\\xff]+", "[^\\x00-\\xff]*", "(?#c)\\s+(?#d)",
      // Leading characters found by a scan.
      "[,}]x?", "\\d\\d", "[xy]+a", "ab", "(?i)ab", "alpha|ab|x", "^\\s*\"\\w+", "\\bx", "[^0-9]",
      "ab|bc|cx", "(?i)ab|\xE6\xC6", "ab|(?i)Bc", "a,|}x|12", "xy|y", "\\Ax|ab", "ab|cd+", "a,|a,b|}x",
  };
  regex_test::ExpectSameAsPlain(patterns, Subjects());
}

// Known answers where the shortcuts decide: the input end after the literal,
// line ends that are not the input end, groups inside a repeat that cannot
// give back, and letters of both cases.
TEST(RegexShortcut, KnownAnswersAtTheEdges) {
  const regex_test::KnownAnswer cases[] = {
      {".*,$", "", {}},
      {".*,$", ",", {{1, 1}}},
      {".*,$", "a,b", {}},
      {".*,$", "a,\r\n", {}},
      {"(?m-s).*,$", "a,\r\nb,", {{1, 2}, {5, 2}}},
      {"ab,$", "b,", {}},
      {"(?i)" + A("ж+$"), A("аЖжЖ"), {{2, 3}}},
      {"[0-9, ]+\\}", "", {}},
      {"[0-9, ]+\\}", "1, 2}", {{1, 5}}},
      {"[0-9, ]+\\}", "1, 2]}", {}},
      {"[0-9, ]+\\}", std::string(40, '7') + "}", {{1, 41}}},
      {"\\d+x", "12 345x", {{4, 4}}},
      {"a{1,2}b", "aaab", {{2, 3}}},
      {"[a-c]+", std::string(33, 'b'), {{1, 33}}},
      {"[a-c]+", std::string(16, 'q') + "c", {{17, 1}}},
      {"al|alpha", "alpha al", {{1, 2}, {7, 2}}},
      {"alpha|al", "alpha al", {{1, 5}, {7, 2}}},
      {"(?i)ab|" + A("жЖ"), A("xAbЖж"), {{2, 2}, {4, 2}}},
  };
  regex_test::ExpectKnownAnswers(cases);
  EXPECT_EQ(regex_test::Groups("(\\d+)x", "12 345x", 2), (Spans{{4, 4}, {4, 3}}));
  EXPECT_EQ(regex_test::Groups("((\\d)+)x", "12 345x", 3), (Spans{{4, 4}, {4, 3}, {6, 1}}));
  EXPECT_EQ(regex_test::Groups("(,)$", "a,", 2), (Spans{{2, 1}, {2, 1}}));
}

// The class scan against a byte-at-a-time look, for classes of one to six
// ranges (with the ends of the byte range), for every start and end around
// the sixteen-byte blocks; alone, and as the first of two characters.
TEST(RegexShortcut, ClassScanFindsWhatAByteWalkFinds) {
  const std::vector<std::vector<std::pair<int, int>>> classes = {
      {{'0', '9'}},
      {{0, 0}},
      {{255, 255}},
      {{0, 255}},
      {{' ', ' '}, {',', ','}, {'0', '9'}},
      {{'0', '9'}, {'A', 'Z'}, {'_', '_'}, {'a', 'z'}},
      {{0, '!'}, {'#', 255}},
      {{'a', 'a'}, {'e', 'e'}, {'i', 'i'}, {'o', 'o'}, {'u', 'u'}},
      {{9, 10}, {12, 13}, {' ', ' '}, {0x80, 0xBF}, {0xE0, 0xFF}, {'x', 'x'}},
      {},
  };
  std::mt19937 rng(7);
  auto membersOf = [&](std::size_t k) {
    std::array<bool, 256> members{};
    for (auto [lo, hi] : classes[k % classes.size()]) {
      for (int c = lo; c <= hi; ++c) members[c] = true;
    }
    return members;
  };
  for (std::size_t k = 0; k < classes.size(); ++k) {
    SCOPED_TRACE(k);
    const std::array<bool, 256> members = membersOf(k);
    const TByteClassScan scan(members);
    // The pairs: this class, then the next one in the list.
    const std::array<bool, 256> seconds = membersOf(k + 1);
    const TByteClassScan second(seconds);
    std::vector<unsigned char> ins, outs;
    for (int c = 0; c < 256; ++c) (members[c] ? ins : outs).push_back(static_cast<unsigned char>(c));
    for (int trial = 0; trial < 200; ++trial) {
      // Mostly members with the odd other byte, or the other way round.
      const bool mostlyIn = trial % 2 == 0;
      std::vector<unsigned char> text(rng() % 70);
      for (auto& b : text) {
        const auto& pool = (rng() % 23 == 0) == mostlyIn ? outs : ins;
        b = pool.empty() ? static_cast<unsigned char>(rng()) : pool[rng() % pool.size()];
      }
      for (std::size_t from = 0; from <= text.size(); ++from) {
        for (std::size_t to = from; to <= text.size(); to += 1 + to % 5) {
          std::size_t in = from, out = from;
          while (in < to && !members[text[in]]) ++in;
          while (out < to && members[text[out]]) ++out;
          ASSERT_EQ(scan.FindIn(text.data(), from, to), in) << from << " " << to;
          ASSERT_EQ(scan.FindOut(text.data(), from, to), out) << from << " " << to;
          if (to < text.size()) {
            std::size_t pair = from;
            while (pair < to && !(members[text[pair]] && seconds[text[pair + 1]])) ++pair;
            ASSERT_EQ(scan.FindPairIn(text.data(), from, to, second), pair) << from << " " << to;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace ond
