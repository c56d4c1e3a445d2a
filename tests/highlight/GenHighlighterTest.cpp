#include <gtest/gtest.h>

#include "highlight/OndGenHighlighter.h"
#include "platform/core/CodePage.h"
#include "tests/highlight/HighlightTestRules.h"

namespace ond {
namespace {

using test::ScanLine;
using test::TTok;

// "text/Attribute" for each non-empty token, joined by "|".
std::string Described(const std::vector<TTok>& toks) {
  std::string s;
  for (const TTok& t : toks) {
    if (t.Text.empty()) continue;
    if (!s.empty()) s += "|";
    s += t.Text + "/" + t.Attr;
  }
  return s;
}

struct LineCase {
  const char* Line;
  const char* Expected;
};

class JsonLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(JsonLines, GiveExactTokensAndAttributes) {
  TOndGenHighlighter h;
  test::BuildJsonRules(h);
  h.Reset();
  EXPECT_EQ(Described(ScanLine(h, GetParam().Line, 0)), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JsonLines,
    ::testing::Values(
        LineCase{"\"a\": true, // x",
                 "\"/String|a/String|\"/String|:/Symbol| /Root|true/Keyword|,/Symbol| /Root|///Comment| /Comment|x/Comment"},
        // A key word followed directly by a letter is plain text.
        LineCase{"trueX true", "trueX/Root| /Root|true/Keyword"},
        LineCase{"[12,3]", "[/Symbol|12/Number|,/Symbol|3/Number|]/Symbol"},
        // An escaped quote does not close the string.
        LineCase{"\"a\\\"b\" x", "\"/String|a/String|\\\"/Escape|b/String|\"/String| /Root|x/Root"},
        LineCase{"/* a */ null", "/*/Block comment| /Block comment|a/Block comment| /Block comment|*//Block comment| /Root|null/Keyword"}));

class ScriptLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(ScriptLines, GiveExactTokensAndAttributes) {
  TOndGenHighlighter h;
  test::BuildScriptRules(h);
  h.Reset();
  EXPECT_EQ(Described(ScanLine(h, GetParam().Line, 0)), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ScriptLines,
    ::testing::Values(
        // The longest operator wins; "+a" is the plus and then the rest.
        LineCase{"a+=1", "a/Root|+=/Operator|1/Number"}, LineCase{"+a", "+/Operator|a/Root"},
        LineCase{"x == y", "x/Root| /Root|==/Operator| /Root|y/Root"},
        // Key words match in any letter case.
        LineCase{"IF else Function", "IF/Keyword| /Root|else/Keyword| /Root|Function/Keyword"},
        LineCase{"iffy", "iffy/Root"},
        // "e" sorts after "Else" without case and still is a symbol of its own.
        LineCase{"e E else", "e/Operator| /Root|E/Operator| /Root|else/Keyword"},
        // "__" may start inside a word and opens a range that ends at the term's end.
        LineCase{"abc__x y", "abc/Root|__/Dunder|x/Dunder| /Root|y/Root"},
        LineCase{"'it\\'s' \"q\"", "'/String|it/String|\\'/Escape|s/String|'/String| /Root|\"/String|q/String|\"/String"},
        LineCase{"# note", "#/Comment| /Comment|note/Comment"}));

TEST(GenHighlighter, SetWithQuantityMatchesOnlyThatManyCharacters) {
  TOndGenHighlighter h;
  h.MainRules().Name = "Root";
  test::AddSet(h.MainRules(), "Pair", "ab", 2);
  h.Reset();
  EXPECT_EQ(Described(ScanLine(h, "ab aba a ba", 0)), "ab/Pair| /Root|aba/Root| /Root|a/Root| /Root|ba/Pair");
}

TEST(GenHighlighter, EmptyLineGivesOneEmptyTokenThenEol) {
  TOndGenHighlighter h;
  test::BuildJsonRules(h);
  h.Reset();
  const auto toks = ScanLine(h, "", 0);
  ASSERT_EQ(toks.size(), 1u);
  EXPECT_EQ(toks[0], (TTok{"", 0, "Root"}));
}

TEST(GenHighlighter, TokensTileALineWithNulBytes) {
  TOndGenHighlighter h;
  test::BuildJsonRules(h);
  h.Reset();
  const std::string line("ab\0\"c\0d\"\0", 9);
  TOndRangeState end = -5;
  const auto toks = ScanLine(h, line, 0, &end);
  std::string joined;
  for (const TTok& t : toks) {
    EXPECT_EQ(t.Pos, static_cast<int>(joined.size()));
    joined += t.Text;
  }
  EXPECT_EQ(joined, line);
  EXPECT_EQ(end, 0);  // the string closed before the last NUL
}

TEST(GenHighlighter, StatesCarryOpenRangesToTheNextLine) {
  TOndGenHighlighter h;
  test::BuildJsonRules(h);
  h.Reset();
  TOndRangeState s1 = 0, s2 = 0, s3 = 0;
  ScanLine(h, "{\"open", 0, &s1);
  EXPECT_NE(s1, 0);  // inside the string
  EXPECT_EQ(Described(ScanLine(h, "still\" : 1", s1, &s2)), "still/String|\"/String| /Root|:/Symbol| /Root|1/Number");
  EXPECT_EQ(s2, 0);
  // A line comment ends with its line: the line's state is the main rules.
  ScanLine(h, "1 // c", 0, &s3);
  EXPECT_EQ(s3, 0);
  // A block comment spans lines.
  TOndRangeState b = 0;
  ScanLine(h, "/* a", 0, &b);
  EXPECT_NE(b, 0);
  EXPECT_EQ(Described(ScanLine(h, "b */ 2", b)), "b/Block comment| /Block comment|*//Block comment| /Root|2/Number");
}

TEST(GenHighlighter, ALineEndingInAStringThatClosesAtEolEndsInTheMainRules) {
  TOndGenHighlighter h;
  test::BuildScriptRules(h);
  h.Reset();
  TOndRangeState end = -1;
  ScanLine(h, "x = 'open", 0, &end);
  EXPECT_EQ(end, 0);
}

TEST(GenHighlighter, StateRemembersWhichQuoteClosesTheRange) {
  TOndGenHighlighter h;
  test::BuildScriptRules(h);
  h.Reset();
  TOndRangeState dq = 0, sq = 0;
  ScanLine(h, "x = \"\"\"doc", 0, &dq);
  ScanLine(h, "y = '''doc", 0, &sq);
  ASSERT_NE(dq, 0);
  ASSERT_NE(sq, 0);
  EXPECT_NE(dq, sq);
  // Scanning the second opened ''' last must not change how a line inside
  // the """ string ends.
  TOndRangeState after = 0;
  EXPECT_EQ(Described(ScanLine(h, "''' still\"\"\" out", dq, &after)),
            "'''/Doc string| /Doc string|still/Doc string|\"\"\"/Doc string| /Root|out/Root");
  EXPECT_EQ(after, 0);
  EXPECT_EQ(Described(ScanLine(h, "\"\"\" x''' y", sq, &after)),
            "\"\"\"/Doc string| /Doc string|x/Doc string|'''/Doc string| /Root|y/Root");
}

TEST(GenHighlighter, UnknownStatesMeanTheMainRules) {
  TOndGenHighlighter h;
  test::BuildJsonRules(h);
  h.Reset();
  for (TOndRangeState bad : {TOndRangeState(-1), TOndRangeState(1000), TOndRangeState(h.StateCount())}) {
    EXPECT_EQ(Described(ScanLine(h, "true", bad)), "true/Keyword");
    EXPECT_EQ(h.GetRange(), 0);
  }
}

TEST(GenHighlighter, ReloadWhileAnEditorHoldsOldStates) {
  TOndGenHighlighter h;
  test::BuildScriptRules(h);
  h.Reset();
  std::vector<TOndRangeState> held;
  for (const char* line : {"x = \"\"\"a", "b", "/* c", "d"}) {
    TOndRangeState s = 0;
    ScanLine(h, line, held.empty() ? 0 : held.back(), &s);
    held.push_back(s);
  }
  // A new scheme: the old ranges and tokens are freed.
  test::BuildJsonRules(h);
  int notified = 0;
  struct Counter {
    int* N;
    void Hit(void*) { ++*N; }
  } counter{&notified};
  h.AddAttributeChangeHandler(TOndNotifyEvent(&counter, &Counter::Hit));
  for (TOndRangeState s : held) {
    const auto toks = ScanLine(h, "\"x\" /* y", s);
    EXPECT_FALSE(toks.empty());
  }
  EXPECT_EQ(notified, 0);  // preparing lazily inside a scan tells nobody
  h.Reset();
  EXPECT_EQ(notified, 1);
  h.RemoveAttributeChangeHandler(TOndNotifyEvent(&counter, &Counter::Hit));
}

TEST(GenHighlighter, LazyPrepareKeepsTheCallersRange) {
  TOndGenHighlighter h;
  test::BuildJsonRules(h);
  // Not prepared yet: the first line opens a block comment, the second line
  // is scanned from that state.
  TOndRangeState s = 0;
  ScanLine(h, "/* a", 0, &s);
  EXPECT_EQ(Described(ScanLine(h, "b */", s)), "b/Block comment| /Block comment|*//Block comment");
}

TEST(GenHighlighter, SameNamedRulesGetNumberedAttributes) {
  TOndGenHighlighter h;
  h.MainRules().Name = "Root";
  test::AddKeys(h.MainRules(), "Word", "a");
  test::AddKeys(h.MainRules(), "Word", "b");
  test::AddKeys(h.MainRules(), "Word", "c");
  h.Reset();
  std::vector<std::string> names;
  for (int i = 0; i < h.GetAttribCount(); ++i) names.push_back(h.GetAttribute(i)->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"Root", "Word", "Word (2)", "Word (3)"}));
  EXPECT_EQ(h.UniqueAttributeName("Word"), "Word (4)");
  EXPECT_EQ(h.UniqueAttributeName("Other"), "Other");
}

TEST(GenHighlighter, DefaultAttributesAreTheCurrentRangesOwn) {
  TOndGenHighlighter h;
  test::BuildJsonRules(h);
  h.Reset();
  h.ResetRange();
  EXPECT_EQ(h.GetDefaultAttribute(OND_ATTR_STRING), &h.MainRules().Attribs());
  EXPECT_EQ(h.GetDefaultAttribute(5), nullptr);
  EXPECT_EQ(h.GetDefaultAttribute(-1), nullptr);
  h.SetLine("1", 0);
  EXPECT_EQ(h.GetTokenKind(), 1);
}

TEST(GenHighlighter, IdentCharsNeverHoldBlanksOrLineEnds) {
  TOndGenHighlighter h;
  // Not prepared, and a range whose delimiters lack the blanks.
  h.MainRules().Delimiters = TSysCharSet("+");
  const TSysCharSet ident = h.GetIdentChars();
  for (char c : {'\0', '\t', '\n', '\r', ' ', '+'}) EXPECT_FALSE(ident.Contains(c)) << int(c);
  EXPECT_TRUE(ident.Contains('a'));
  EXPECT_TRUE(ident.Contains('\xC0'));
}

TEST(GenHighlighter, ClimbingNeverLeavesTheRoot) {
  TOndGenHighlighter h;
  TOndRange& root = h.MainRules();
  root.Name = "Root";
  root.SetCloseOnEol(true);
  root.SetCloseOnTerm(true);
  root.SetAllowPredClose(true);
  root.Attribs().ParentForeground = true;  // the root is its own parent
  TOndRange* inner = test::AddRange(root, "Inner", "<", ">");
  inner->SetCloseOnEol(true);
  inner->SetCloseOnTerm(true);
  inner->SetAllowPredClose(true);
  h.Reset();
  TOndRangeState end = -1;
  EXPECT_EQ(test::Texts(ScanLine(h, "a <b c> d", 0, &end)), "a| |<|b| |c|>| |d");
  EXPECT_EQ(end, 0);
}

TEST(GenHighlighter, ClosingWithAllowPredCloseLeavesEnclosingRangesOfTheSameCloseSymbol) {
  TOndGenHighlighter h;
  TOndRange& root = h.MainRules();
  root.Name = "Root";
  TOndRange* outer = test::AddRange(root, "Outer", "(", ")");
  TOndRange* inner = test::AddRange(*outer, "Inner", "[", ")");
  inner->SetAllowPredClose(true);
  h.Reset();
  TOndRangeState end = -1;
  ScanLine(h, "([x) y", 0, &end);
  EXPECT_EQ(end, 0);
  ScanLine(h, "([x", 0, &end);
  EXPECT_NE(end, 0);
}

TEST(GenHighlighter, ClearForgetsRulesSchemesAndInformation) {
  TOndGenHighlighter h;
  test::BuildJsonRules(h);
  h.Info().General.Name = "JSON";
  h.Schemes().AddScheme("Dark");
  h.SetActiveScheme(h.Schemes().GetScheme("Dark"));
  h.Reset();
  EXPECT_GT(h.GetAttribCount(), 0);
  h.Clear();
  EXPECT_EQ(h.GetAttribCount(), 0);
  EXPECT_EQ(h.MainRules().RangeCount(), 0);
  EXPECT_EQ(h.Schemes().SchemeCount(), 0);
  EXPECT_EQ(h.Info().General.Name, "");
  EXPECT_EQ(h.GetActiveScheme(), nullptr);
  EXPECT_EQ(h.GetRange(), 0);
}

TEST(GenHighlighter, StartLineRulesRestrictWhereATokenStarts) {
  TOndGenHighlighter h;
  h.MainRules().Name = "Root";
  TOndRange* dir = test::AddRange(h.MainRules(), "Directive", "@", "");
  dir->OpenToken().StartLine = slFirstNonSpace;
  dir->SetCloseOnEol(true);
  h.Reset();
  EXPECT_EQ(Described(ScanLine(h, "\t @a", 0)), "\t/Root| /Root|@/Directive|a/Directive");
  // Refused, the symbol's first character starts plain text.
  EXPECT_EQ(Described(ScanLine(h, "x @a", 0)), "x/Root| /Root|@a/Root");
}

TEST(GenHighlighter, CyrillicKeywordsMatchInEitherCase) {
  TOndGenHighlighter h;
  h.MainRules().Name = "Root";
  test::AddKeys(h.MainRules(), "Word", Utf8ToAnsi("Если"));
  h.Reset();
  EXPECT_EQ(Described(ScanLine(h, Utf8ToAnsi("еСЛИ"), 0)), Utf8ToAnsi("еСЛИ") + "/Word");
}

}  // namespace
}  // namespace ond
