// A pass that wants only the range a line ends in jumps from one byte that
// may change the state to the next: it must end every line in exactly the
// state a walk token by token ends in, from every state a text can reach,
// whatever the rules (symbols that reach over such a byte, sets that hold
// one, ranges closed by a delimiter or the line end).
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "highlight/OndBuiltinSchemes.h"
#include "tests/highlight/HighlightTestRules.h"

namespace ond {
namespace {

using test::AddKeys;
using test::AddRange;
using test::AddSet;

// Rules where the naive jump goes wrong: a key word that runs over a quote,
// a set holding the comment mark, a range that ends at any delimiter, and a
// range whose close byte is no delimiter.
void BuildTrickyRules(TOndGenHighlighter& H) {
  H.Clear();
  TOndRange& root = H.MainRules();
  root.Name = "Root";
  root.SetCaseSensitive(false);
  TOndRange* str = AddRange(root, "String", "\"", "\"");
  AddRange(*str, "Tag", "<", ">");
  AddKeys(root, "Quoted", "a\"b\nx/y");
  AddSet(root, "Slashy", "q/");
  AddRange(root, "Comment", "/*", "*/");
  AddRange(root, "Word", "%", "")->SetCloseOnTerm(true);
  AddRange(root, "Letters", "k", "z");
  AddRange(root, "Line", "#", "")->SetCloseOnEol(true);
}

std::string RandomLine(std::mt19937& Rng, std::string_view Alphabet, int MaxLen) {
  std::uniform_int_distribution<int> len(0, MaxLen);
  std::uniform_int_distribution<std::size_t> pick(0, Alphabet.size() - 1);
  std::string s;
  for (int n = len(Rng); n > 0; --n) s += Alphabet[pick(Rng)];
  return s;
}

// Random lines from every state reached so far, both ways.
void ExpectSameEndStates(TOndGenHighlighter& H, std::string_view Alphabet, unsigned Seed) {
  std::mt19937 rng(Seed);
  std::set<TOndRangeState> states{0};
  for (int round = 0; round < 3000; ++round) {
    const std::string line = RandomLine(rng, Alphabet, 40);
    for (const TOndRangeState start : std::set<TOndRangeState>(states)) {
      TOndRangeState byToken = 0;
      test::ScanLine(H, line, start, &byToken);
      H.SetRange(start);
      if (H.GetRange() != start) continue;
      H.SetLine(line, 0);
      H.SkipToEolForRange();
      ASSERT_TRUE(H.GetEol());
      ASSERT_EQ(H.GetRange(), byToken) << "line \"" << line << "\" from state " << start;
      states.insert(byToken);
      if (states.size() > 40) states.erase(std::prev(states.end()));
    }
  }
}

// Runs of random lines (empty ones, short ones, lines longer than the
// sixteen bytes looked at together, with state bytes at their very ends)
// handed over at once, from every state reached so far: each line must end
// where the token walk of that line ends, from where the line before ended.
void ExpectSameRangesOfLines(TOndGenHighlighter& H, std::string_view Alphabet, unsigned Seed) {
  std::mt19937 rng(Seed);
  std::uniform_int_distribution<int> runLength(1, 12), maxLen(0, 3);
  const int maxLens[] = {0, 15, 40, 130};
  std::set<TOndRangeState> states{0};
  for (int round = 0; round < 600; ++round) {
    std::vector<std::string> lines(static_cast<std::size_t>(runLength(rng)));
    for (std::string& l : lines) l = RandomLine(rng, Alphabet, maxLens[maxLen(rng)]);
    const std::vector<std::string_view> views(lines.begin(), lines.end());
    for (const TOndRangeState start : std::set<TOndRangeState>(states)) {
      std::vector<TOndRangeState> expected;
      TOndRangeState at = start;
      for (const std::string& l : lines) {
        test::ScanLine(H, l, at, &at);
        expected.push_back(at);
      }
      H.SetRange(start);
      if (H.GetRange() != start) continue;
      std::vector<TOndRangeState> got(lines.size(), -1);
      H.RangesOfLines(views.data(), static_cast<int>(views.size()), 0, got.data());
      for (std::size_t i = 0; i < lines.size(); ++i)
        ASSERT_EQ(got[i], expected[i]) << "line " << i << " \"" << lines[i] << "\" of a run from state " << start;
      states.insert(expected.begin(), expected.end());
      while (states.size() > 40) states.erase(std::prev(states.end()));
    }
  }
}

TEST(StateSkip, RunsOfConfigLinesWithMostlyPlainBytes) {
  // Long stretches without a state byte between quotes, as in a config:
  // the bytes that matter fall in every place of a sixteen-byte block.
  TOndGenHighlighter h;
  ASSERT_TRUE(LoadBuiltinScheme(h, 0));
  ExpectSameRangesOfLines(h, "\"aaaaaaaaaaaaaaaaaaaaaaaaa    :,1/", 31);
  ExpectSameRangesOfLines(h, "\"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx<'>*/", 32);
}

TEST(StateSkip, EndsInTheStateOfATokenWalkForTheBuiltinSchemes) {
  // Line by line, and in runs of lines handed over at once.
  for (int scheme = 0; scheme < BuiltinSchemeCount; ++scheme) {
    SCOPED_TRACE(scheme);
    TOndGenHighlighter h;
    ASSERT_TRUE(LoadBuiltinScheme(h, scheme));
    ExpectSameEndStates(h, "\"'<>/*#{}[]:,. \t\\ab0123456789$ref\xC0\xE0", 7u + static_cast<unsigned>(scheme));
    ExpectSameRangesOfLines(h, "\"'<>/*#{}[]:,. \\ab0123456789$ref\xC0\xE0", 11u + static_cast<unsigned>(scheme));
  }
}

// The rules built by hand: a config's, a script's and the tricky ones.
struct HandBuiltRules {
  TOndGenHighlighter Json, Script, Tricky;
  HandBuiltRules() {
    test::BuildJsonRules(Json);
    test::BuildScriptRules(Script);
    BuildTrickyRules(Tricky);
  }
};

TEST(StateSkip, EndsInTheStateOfATokenWalkForRulesThatDefeatAPlainJump) {
  HandBuiltRules rules;
  TOndGenHighlighter &json = rules.Json, &script = rules.Script, &tricky = rules.Tricky;
  ExpectSameEndStates(json, "\"\\/*{}[]:, atrue0", 1);
  ExpectSameEndStates(script, "\"'#/*_ eE+=if\\\"", 2);
  ExpectSameEndStates(tricky, "\"<>/*%#kzaAbBxXyYqQ ", 3);
  ExpectSameRangesOfLines(json, "\"\\/*{}[]:, atrue0", 21);
  ExpectSameRangesOfLines(script, "\"'#/*_ eE+=if\\\"", 22);
  ExpectSameRangesOfLines(tricky, "\"<>/*%#kzaAbBxXyYqQ ", 23);
}

TEST(StateSkip, LinesWhoseOnlyStateBytesAreQuotes) {
  // Quotes taken in turn into and out of a string, and quotes the byte
  // after them keeps from being taken (or lets a longer symbol go on), on
  // lines with nothing else that changes a state: runs of such lines and of
  // lines that end inside a string.
  HandBuiltRules rules;
  ExpectSameRangesOfLines(rules.Json, "\"\"\"aaaa  :,1xk\xC7", 41);
  ExpectSameRangesOfLines(rules.Script, "\"\"\"aaaa  :,1xe=", 42);
  ExpectSameRangesOfLines(rules.Tricky, "\"\"\"aaaa  :,1xkzq", 43);
  // A keyword that begins with the quote: after it, only the parser knows.
  TOndGenHighlighter quoteKey;
  BuildTrickyRules(quoteKey);
  AddKeys(quoteKey.MainRules(), "QuoteKey", "\"q");
  ExpectSameRangesOfLines(quoteKey, "\"\"\"aaaa  :,1xqqq", 45);
  for (int scheme = 0; scheme < BuiltinSchemeCount; ++scheme) {
    SCOPED_TRACE(scheme);
    TOndGenHighlighter h;
    ASSERT_TRUE(LoadBuiltinScheme(h, scheme));
    ExpectSameRangesOfLines(h, "\"\"\"aaaaaaaa   :,1\xC7\xE0", 46u + static_cast<unsigned>(scheme));
  }
}

TEST(StateSkip, TheConfigSchemeJumpsOverPlainStretches) {
  TOndGenHighlighter h;
  ASSERT_TRUE(LoadBuiltinScheme(h, 0));
  h.ResetRange();
  h.SetLine("x", 0);
  // The main rules and the strings (the states nearly every line of a
  // config is in) let the pass jump; only quotes, comment marks and tags
  // stop it.
  const TOndRange& main = h.MainRules();
  ASSERT_TRUE(main.SkipsToStateChars());
  EXPECT_TRUE(main.StateChars()['"']);
  EXPECT_TRUE(main.StateChars()['/']);
  EXPECT_FALSE(main.StateChars()['{']);
  EXPECT_FALSE(main.StateChars()['a']);
  ASSERT_GT(main.RangeCount(), 0);
  EXPECT_TRUE(main.Ranges(0)->SkipsToStateChars());
}

TEST(StateSkip, RulesThatCouldSwallowAStateByteDoNotJump) {
  TOndGenHighlighter h;
  BuildTrickyRules(h);
  h.ResetRange();
  h.SetLine("x", 0);
  // "a\"b" reaches over a quote and the set holds the comment's slash.
  EXPECT_FALSE(h.MainRules().SkipsToStateChars());
  TOndGenHighlighter json;
  test::BuildJsonRules(json);
  json.ResetRange();
  json.SetLine("x", 0);
  // The escape "\"" of a string reaches over its closing quote.
  EXPECT_TRUE(json.MainRules().SkipsToStateChars());
  EXPECT_FALSE(json.MainRules().Ranges(0)->SkipsToStateChars());
}

}  // namespace
}  // namespace ond
