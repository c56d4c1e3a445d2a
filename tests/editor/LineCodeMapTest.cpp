// The one pass of the highlighter over a line that answers every question
// about its strings and comments: the answers are those of the tokens, the
// line is set once however the questions come and whoever cuts other lines
// with the same highlighter in between, and the state the line ends in is
// the one a cut straight to its end gives.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "editor/OndEditCodeFolding.h"
#include "editor/OndEditLineCode.h"
#include "highlight/OndBuiltinSchemes.h"
#include "highlight/OndGenHighlighter.h"

namespace ond {
namespace {

class PassCounter : public TOndGenHighlighter {
 public:
  void SetLine(std::string_view Text, int LineIndex) override {
    ++Passes[LineIndex];
    TOndGenHighlighter::SetLine(Text, LineIndex);
  }
  std::map<int, int> Passes;
};

// Per character of Text (no tabs): whether its token is a string, comment
// or remark, from one straight cut; and the state the line ends in.
std::vector<bool> StraightAnswers(TOndGenHighlighter& H, std::string_view Text, TOndRangeState Start, bool Reset,
                                  TOndRangeState& End) {
  std::vector<bool> out(Text.size(), false);
  if (Reset)
    H.ResetRange();
  else
    H.SetRange(Start);
  H.SetLine(Text, 0);
  while (!H.GetEol()) {
    const int p = H.GetTokenPos();
    const int n = static_cast<int>(H.GetToken().size());
    const bool nonCode = H.GetTokenAttribute() && IsNonCodeAttributeName(H.GetTokenAttribute()->Name());
    for (int i = p; i < p + n && i < static_cast<int>(out.size()); ++i) out[static_cast<std::size_t>(i)] = nonCode;
    H.Next();
  }
  End = H.GetRange();
  return out;
}

std::string LongLine() {
  std::string line;
  for (int i = 0; i < 3000; ++i)
    line += "{\"k" + std::to_string(i) + "\": \"a { b } [\", /* } */ \"n\": [1, {\"x\": '}'}]},";
  return line + " /* open";
}

TEST(LineCodeMap, AnswersAsTheTokensDoFromOnePassWhateverCutsInBetween) {
  PassCounter h;
  ASSERT_TRUE(LoadBuiltinScheme(h, 0));
  TOndGenHighlighter reference;
  ASSERT_TRUE(LoadBuiltinScheme(reference, 0));
  const std::string line = LongLine();
  TOndRangeState endStraight = 0;
  const std::vector<bool> expected = StraightAnswers(reference, line, 0, true, endStraight);
  // A line that starts inside the comment the first one left open.
  const std::string next = "still comment */ {\"s\": \"}\"}";
  TOndRangeState endNext = 0;
  const std::vector<bool> expectedNext = StraightAnswers(reference, next, endStraight, false, endNext);
  ASSERT_TRUE(expectedNext[0]);

  for (const bool backwards : {false, true}) {
    SCOPED_TRACE(backwards ? "backwards" : "forwards");
    h.Passes.clear();
    TOndLineCodeMap map;
    map.Start(h, 0, line, "", 4, true, 0);
    const std::string other = "\"another line\" { }";
    for (std::size_t k = 0; k < line.size(); ++k) {
      const std::size_t i = backwards ? line.size() - 1 - k : k;
      ASSERT_EQ(map.NonCode(static_cast<int>(i) + 1), expected[i]) << "at " << i;
      // Another editor paints a line with the same highlighter now and then.
      if (k % 5000 == 0) h.SetLine(other, 7);
    }
    EXPECT_EQ(map.Finish(), endStraight);
    EXPECT_EQ(h.Passes[0], 1);

    map.Start(h, 1, next, "", 4, false, endStraight);
    for (std::size_t i = 0; i < next.size(); ++i) EXPECT_EQ(map.NonCode(static_cast<int>(i) + 1), expectedNext[i]);
    EXPECT_EQ(map.Finish(), endNext);
    EXPECT_EQ(h.Passes[1], 1);
  }
}

TEST(LineCodeMap, CharactersOfALineWithTabsAreAskedByTheirColumns) {
  TOndGenHighlighter h;
  ASSERT_TRUE(LoadBuiltinScheme(h, 0));
  const std::string raw = "\t\"a\tb\" {\t}";
  // Tab width 4: the characters stand at these columns of the expanded text.
  const std::string expanded = "    \"a  b\" {    }";
  const int column[] = {1, 5, 6, 7, 9, 10, 11, 12, 13, 17};
  TOndRangeState end = 0;
  const std::vector<bool> straight = StraightAnswers(h, expanded, 0, true, end);
  ASSERT_TRUE(straight[5]);
  ASSERT_FALSE(straight[11]);
  TOndLineCodeMap map;
  map.Start(h, 0, raw, expanded, 4, true, 0);
  for (int c = 1; c <= static_cast<int>(raw.size()); ++c)
    EXPECT_EQ(map.NonCode(c), straight[static_cast<std::size_t>(column[c - 1] - 1)]) << "char " << c;
}

}  // namespace
}  // namespace ond
