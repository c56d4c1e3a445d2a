// The bound on the matcher's backtracking memory: a search whose choice
// points outgrow it ends with a clear error, leaves no match behind and
// leaves the matcher fit for the next search. The bound is lowered here so
// that a line of a few hundred kilobytes reaches it at once.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "search/OndRegex.h"

namespace ond {
namespace {

constexpr std::size_t kSmallCap = 64 * 1024;

std::string Repeat(std::string_view unit, std::size_t bytes) {
  std::string s;
  while (s.size() < bytes) s += unit;
  return s;
}

struct CapCase {
  const char* pattern;
  const char* unit;  // repeated to the line
};

const CapCase kCapCases[] = {
    {"(ab)*", "ab"},
    {"(\"[^\"]*\",?)*", "\"key\",\"some value\","},
    {"(\\w+\\s?)*$", "word "},
    {"(ab|cd)*$", "abcd"},
    {"(a|b)+$", "ab"},
};

TEST(RegexMemoryCap, ASearchBeyondTheBoundFailsWithItsError) {
  for (const CapCase& c : kCapCases) {
    SCOPED_TRACE(c.pattern);
    const std::string line = Repeat(c.unit, 200'000);
    TRegex r;
    r.SetExpression(c.pattern);
    r.MaxBacktrackMemory = kSmallCap;
    std::string message;
    try {
      r.Exec(line);
    } catch (const ERegex& e) {
      message = e.Message;
      EXPECT_EQ(e.ErrorCode, TRegex::ErrorBacktrackMemory);
    }
    EXPECT_EQ(message, "TRegex(exec): Backtracking Memory Exhausted");
    EXPECT_EQ(r.GetLastError(), TRegex::ErrorBacktrackMemory);
    EXPECT_EQ(r.MatchPos(0), -1);

    // The same matcher still serves a search within the bound ...
    EXPECT_TRUE(r.Exec(c.unit));
    // ... and, with the bound it has by default, the long line.
    r.MaxBacktrackMemory = TRegex::BacktrackMemory;
    ASSERT_TRUE(r.Exec(line));
    EXPECT_EQ(r.MatchLen(0), static_cast<int>(line.size()));
  }
}

}  // namespace
}  // namespace ond
