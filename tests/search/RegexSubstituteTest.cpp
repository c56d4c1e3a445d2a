// Replacement templates and Replace over a whole input.
#include <gtest/gtest.h>

#include <string>

#include "tests/search/RegexTestUtil.h"

namespace ond {
namespace {

std::string Sub(std::string_view pattern, std::string_view subject, std::string_view templ) {
  TRegex r;
  r.SetExpression(pattern);
  EXPECT_TRUE(r.Exec(subject));
  return r.Substitute(templ);
}

TEST(RegexSubstitute, TemplateReferencesAndEscapes) {
  EXPECT_EQ(Sub("(a)(b)", "xab", "$2$1"), "ba");
  EXPECT_EQ(Sub("(a)(b)", "xab", "[$&|$0|${0}|${&}|${}]"), "[ab|ab|ab|ab|ab]");
  EXPECT_EQ(Sub("(a)(b)", "xab", "\\$1"), "$1");
  EXPECT_EQ(Sub("(a)(b)", "xab", "\\\\$1"), "\\a");
  EXPECT_EQ(Sub("(a)(b)", "xab", "${1}0"), "a0");
  EXPECT_EQ(Sub("(a)(b)", "xab", "$10"), "");  // group 10 did not match
  EXPECT_EQ(Sub("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "abcdefghij", "$10|${10}|$1${2}3"), "j|j|ab3");
  EXPECT_EQ(Sub("(a)(b)", "xab", "$15$99999999999999999999$"), "$");
  EXPECT_EQ(Sub("(a)(b)", "xab", "${1"), "${1");  // no closing brace: not a reference
  EXPECT_EQ(Sub("(a)(b)", "xab", "${x}$x"), "${x}$x");
  EXPECT_EQ(Sub("(a)(b)", "xab", "end\\"), "end\\");
  EXPECT_EQ(Sub("(a)(b)", "xab", "\\n\\t"), "nt");  // "\" takes the next character as it is
  EXPECT_EQ(Sub("(a)|b", "b", "<$1>"), "<>");
  EXPECT_EQ(Sub("(a)(b)", "xab", ""), "");
  EXPECT_EQ(Sub("x*", "abc", "[$&]"), "[]");

  TRegex r;
  r.SetExpression("a");
  try {
    r.Substitute("$0");
    FAIL();
  } catch (const ERegex& e) {
    EXPECT_EQ(e.ErrorCode, 1005);
  }
}

TEST(RegexSubstitute, ReplaceEveryMatch) {
  TRegex r;
  r.SetExpression("x*");
  EXPECT_EQ(r.Replace("abc", "-", true), "-a-b-c-");
  r.SetExpression("(\\w+)=(\\w+)");
  EXPECT_EQ(r.Replace("a=1, bb=22;", "$2=$1", true), "1=a, 22=bb;");
  EXPECT_EQ(r.Replace("a=1, bb=22;", "$2=$1", false), "$2=$1, $2=$1;");
  EXPECT_EQ(r.Replace("no pairs", "$2", true), "no pairs");
  EXPECT_EQ(r.Replace("", "$2", true), "");
  r.SetExpression("^");
  EXPECT_EQ(r.Replace("ab", "> ", true), "> ab");
  r.SetExpression("$");
  EXPECT_EQ(r.Replace("ab", ";", true), "ab;");
  r.SetExpression("\\bo");
  EXPECT_EQ(r.Replace("oo oo", "0", true), "0o 0o");
  // Bytes outside ASCII and NUL pass through untouched.
  r.SetExpression("b");
  const std::string input("\xE0" "b\0b", 4);
  EXPECT_EQ(r.Replace(input, "\xFF", true), std::string("\xE0\xFF\0\xFF", 4));
}

}  // namespace
}  // namespace ond
