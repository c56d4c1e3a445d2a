// A rule set with depth: a range inside a range inside a range, a range
// entered by either of two couples, a second range with the same symbols at
// the root, and operators that are prefixes of each other. The longest
// operator wins at every position, a line state restored with SetRange goes
// on exactly as the scan from the top did (the enclosing ranges' close tokens
// included), and two different nestings never end in one state.
#include <gtest/gtest.h>

#include <map>

#include "tests/highlight/HighlightTestRules.h"

namespace ond {
namespace {

// Root: "Op" (= == ===), "Outer" entered by << (closed by >>) or by [[
// (closed by ]]) holding "OuterOp" (the same words) and "Inner" (* .. *) which holds "Str"
// " .. "; and at the root "Paren", another range opened by (* .. *).
void BuildNestedRules(TOndGenHighlighter& H) {
  H.Clear();
  TOndRange& root = H.MainRules();
  root.Name = "Root";
  root.SetCaseSensitive(true);
  TOndRange* outer = test::AddRange(root, "Outer", "<<", ">>");
  outer->AddCoupleTags("[[", "]]");
  TOndRange* inner = test::AddRange(*outer, "Inner", "(*", "*)");
  test::AddRange(*inner, "Str", "\"", "\"");
  test::AddKeys(*outer, "OuterOp", "=\n==\n===");
  test::AddRange(root, "Paren", "(*", "*)");
  test::AddKeys(root, "Op", "=\n==\n===");
  H.Reset();
}

// Tokens as text@attribute, blanks left out.
std::string Tokens(const std::vector<test::TTok>& Toks) {
  std::string s;
  for (const test::TTok& t : Toks) {
    if (t.Text.empty() || t.Text == " ") continue;
    if (!s.empty()) s += " ";
    s += t.Text + "@" + t.Attr;
  }
  return s;
}

TEST(NestedRules, TheLongestOperatorWinsAtEveryPosition) {
  TOndGenHighlighter h;
  BuildNestedRules(h);
  struct Case {
    const char* Line;
    const char* Expected;
  };
  const Case cases[] = {
      {"=", "=@Op"},
      {"==", "==@Op"},
      {"===", "===@Op"},
      {"====", "===@Op =@Op"},
      {"=====", "===@Op ==@Op"},
      {"======", "===@Op ===@Op"},
      {"=======", "===@Op ===@Op =@Op"},
      {"a==b", "a@Root ==@Op b@Root"},
      {"a=b==c===d====e", "a@Root =@Op b@Root ==@Op c@Root ===@Op d@Root ===@Op =@Op e@Root"},
      {"= == === ==", "=@Op ==@Op ===@Op ==@Op"},
      {"x==", "x@Root ==@Op"},
      // The same inside a range one level down.
      {"<< ==== >>", "<<@Outer ===@OuterOp =@OuterOp >>@Outer"},
      {"[[a=====b]]", "[[@Outer a@Outer ===@OuterOp ==@OuterOp b@Outer ]]@Outer"},
  };
  for (const Case& c : cases) {
    TOndRangeState end = -1;
    EXPECT_EQ(Tokens(test::ScanLine(h, c.Line, 0, &end)), c.Expected) << c.Line;
    EXPECT_EQ(end, 0) << c.Line;
  }
}

// Lines of a text and, for each, the nesting it ends in: the ranges from the
// root in, each with the close symbol it was entered for.
struct NestedLine {
  const char* Text;
  const char* Nesting;
};

const NestedLine kLines[] = {
    {"a = b << c == d (* e", "Outer>> Inner*)"},
    {"f === g \"h", "Outer>> Inner*) Str\""},
    {"i\" *) j >> k [[ l (* m", "Outer]] Inner*)"},
    {"n *) o ]] p (* q", "Paren*)"},
    {"r *) s [[ t", "Outer]]"},
    {"u ]] v << w", "Outer>>"},
    {"x >> y", ""},
    {"<< (*", "Outer>> Inner*)"},
    {"*) >> [[ (* \"", "Outer]] Inner*) Str\""},
    {"\" >> ]] ==== *) (*", "Outer]] Inner*)"},
    {"*) ]] == ===", ""},
};

class NestedStates : public ::testing::Test {
 protected:
  void SetUp() override {
    BuildNestedRules(h);
    TOndRangeState state = 0;
    for (const NestedLine& l : kLines) {
      const TOndRangeState from = state;
      Reference.push_back(test::ScanLine(h, l.Text, from, &state));
      Starts.push_back(from);
      Ends.push_back(state);
    }
  }
  TOndGenHighlighter h;
  std::vector<std::vector<test::TTok>> Reference;
  std::vector<TOndRangeState> Starts, Ends;
};

TEST_F(NestedStates, TheScanFromTheTopClosesEachRangeWithItsOwnToken) {
  EXPECT_EQ(Tokens(Reference[2]),
            "i@Str \"@Str *)@Inner j@Outer >>@Outer k@Root [[@Outer l@Outer (*@Inner m@Inner");
  // Entered by [[, the outer range ignores >> and closes at ]].
  EXPECT_EQ(Tokens(Reference[3]), "n@Inner *)@Inner o@Outer ]]@Outer p@Root (*@Paren q@Paren");
  // Inside the inner range the outer one's symbols and the operators are
  // plain delimiters.
  EXPECT_EQ(Tokens(Reference[9]),
            "\"@Str >@Inner >@Inner ]@Inner ]@Inner =@Inner =@Inner =@Inner =@Inner *)@Inner (*@Inner");
  EXPECT_EQ(Tokens(Reference[10]), "*)@Inner ]]@Outer ==@Op ===@Op");
  EXPECT_EQ(Ends.back(), 0);
}

// From the state a line starts in, whatever line was scanned just before.
TEST_F(NestedStates, ARestoredStateGoesOnAsTheScanFromTheTop) {
  for (std::size_t before = 0; before < std::size(kLines); ++before) {
    for (std::size_t i = 0; i < std::size(kLines); ++i) {
      test::ScanLine(h, kLines[before].Text, Starts[before]);
      TOndRangeState end = -1;
      EXPECT_EQ(test::ScanLine(h, kLines[i].Text, Starts[i], &end), Reference[i])
          << "line " << i + 1 << " after line " << before + 1;
      EXPECT_EQ(end, Ends[i]) << "line " << i + 1 << " after line " << before + 1;
    }
  }
  // A highlighter that scanned nothing else since its rules were prepared.
  for (std::size_t i = 0; i < std::size(kLines); ++i) {
    TOndGenHighlighter fresh;
    BuildNestedRules(fresh);
    TOndRangeState state = 0;
    for (std::size_t k = 0; k < i; ++k) test::ScanLine(fresh, kLines[k].Text, state, &state);
    EXPECT_EQ(test::ScanLine(fresh, kLines[i].Text, Starts[i]), Reference[i]) << "line " << i + 1;
  }
}

TEST_F(NestedStates, TwoNestingsShareAStateExactlyWhenTheyAreOne) {
  std::map<std::string, TOndRangeState> byNesting;
  std::map<TOndRangeState, std::string> byState;
  for (std::size_t i = 0; i < std::size(kLines); ++i) {
    const std::string nesting = kLines[i].Nesting;
    const auto [n, newNesting] = byNesting.emplace(nesting, Ends[i]);
    EXPECT_EQ(n->second, Ends[i]) << "line " << i + 1 << " ends in " << nesting;
    const auto [s, newState] = byState.emplace(Ends[i], nesting);
    EXPECT_EQ(s->second, nesting) << "line " << i + 1 << " shares state " << Ends[i];
  }
  EXPECT_EQ(byNesting.size(), 8u);
  EXPECT_EQ(byNesting[""], 0);
}

}  // namespace
}  // namespace ond
