#include <gtest/gtest.h>

#include "platform/core/Classes.h"
#include "search/OndEditRegexSearch.h"

namespace ond {
namespace {

std::vector<std::pair<int, int>> Matches(TOndEditRegexSearch& s, std::string_view line) {
  std::vector<std::pair<int, int>> r;
  const int n = s.FindAll(line);
  for (int i = 0; i < n; ++i) r.emplace_back(s.GetResult(i), s.GetLength(i));
  return r;
}

TEST(RegexSearch, FindsEveryMatchOfALine) {
  TOndEditRegexSearch s;
  s.SetPattern("a*");
  EXPECT_EQ(Matches(s, "baa"), (std::vector<std::pair<int, int>>{{1, 0}, {2, 2}, {4, 0}}));
  EXPECT_EQ(s.GetPattern(), "a*");
  EXPECT_THROW(s.GetResult(3), EListError);
  EXPECT_THROW(s.GetLength(-1), EListError);
  s.SetPattern("^x$");
  EXPECT_EQ(Matches(s, "x"), (std::vector<std::pair<int, int>>{{1, 1}}));
  EXPECT_EQ(Matches(s, "xx"), (std::vector<std::pair<int, int>>{}));
}

TEST(RegexSearch, CaseFollowsTheMatchCaseBitOnly) {
  TOndEditRegexSearch s;
  s.SetPattern("\xA8\xC6");  // "ЁЖ"
  s.SetOptions(0);
  EXPECT_EQ(Matches(s, "a\xB8\xE6"), (std::vector<std::pair<int, int>>{{2, 2}}));
  s.SetOptions(ssoMatchCase);
  EXPECT_TRUE(Matches(s, "a\xB8\xE6").empty());
  s.SetOptions(ssoMatchCase | ssoWholeWord);  // whole word changes nothing here
  EXPECT_EQ(Matches(s, "x\xA8\xC6y"), (std::vector<std::pair<int, int>>{{2, 2}}));
}

TEST(RegexSearch, ErrorsSurfaceAtTheFirstSearch) {
  TOndEditRegexSearch s;
  s.SetPattern("(a");
  try {
    s.FindAll("a");
    ADD_FAILURE() << "no error";
  } catch (const ERegex& e) {
    EXPECT_EQ(e.Message.rfind("TRegex(comp): ", 0), 0u) << e.Message;
    EXPECT_NE(e.Message.find(" (pos "), std::string::npos) << e.Message;
  }
  EXPECT_EQ(s.GetResultCount(), 0);
  s.SetPattern("");
  try {
    s.FindAll("a");
    ADD_FAILURE() << "no error";
  } catch (const ERegex& e) {
    EXPECT_EQ(e.Message, "TRegex(exec): Not Assigned Expression Property");
  }
}

TEST(RegexSearch, ReplacementUsesTheCapturesOfTheMatchInItsLine) {
  TOndEditRegexSearch s;
  s.SetPattern("(a)(b)");
  ASSERT_EQ(s.FindAll("xab"), 1);
  EXPECT_EQ(s.Replace("ab", "$2$1"), "ba");
  EXPECT_EQ(s.Replace("ab", "\\$1"), "$1");
  // A word-boundary pattern keeps the context of the line: matched alone,
  // "\bb" would match inside the occurrence "b" and expand differently.
  s.SetPattern("\\b(\\w)(\\w*)");
  ASSERT_EQ(s.FindAll("one two"), 2);
  EXPECT_EQ(s.Replace("one", "$2$1"), "neo");
  EXPECT_EQ(s.Replace("two", "<${1}>"), "<t>");
  // The template is expanded once, even where the occurrence alone would
  // match several times.
  s.SetPattern("a*");
  ASSERT_EQ(s.FindAll("baa"), 3);
  EXPECT_EQ(s.Replace("aa", "[$0]"), "[aa]");
  // An occurrence that no match of the line has: the first match inside it.
  s.SetPattern("(\\d+)");
  s.FindAll("none");
  EXPECT_EQ(s.Replace("x12y34", "<$1>"), "x<12>y34");
  EXPECT_EQ(s.Replace("xy", "<$1>"), "xy");
}

}  // namespace
}  // namespace ond
