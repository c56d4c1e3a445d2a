// Compiler: program shapes, settings, and every compile error with its position.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "tests/search/RegexTestUtil.h"

namespace ond {
namespace {

using regex_test::A;
using regex_test::CompileError;

std::int32_t Int(const std::vector<std::uint8_t>& p, std::size_t at) {
  std::int32_t v;
  std::memcpy(&v, &p[at], 4);
  return v;
}

// The nodes of a program in storage order, with their operands.
std::string Dump(const std::vector<std::uint8_t>& p) {
  std::string out;
  std::size_t at = 1;
  while (at < p.size()) {
    const int op = p[at];
    std::string name;
    std::size_t operand = 0;
    switch (op) {
      case 0: name = "EEND"; break;
      case 1: name = "BOL"; break;
      case 2: name = "EOL"; break;
      case 3: name = "ANY"; break;
      case 6: name = "BRANCH"; break;
      case 7: name = "BACK"; break;
      case 8:
      case 20: {
        const auto len = static_cast<std::size_t>(Int(p, at + 5));
        name = std::string(op == 8 ? "EXACTLY(" : "EXACTLYCI(") + std::string(p.begin() + static_cast<long>(at) + 9,
                                                                             p.begin() + static_cast<long>(at + 9 + len)) + ")";
        operand = 4 + len;
        break;
      }
      case 9: name = "NOTHING"; break;
      case 10: name = "STAR"; break;
      case 11: name = "PLUS"; break;
      case 12: name = "ANYDIGIT"; break;
      case 13: name = "NOTDIGIT"; break;
      case 18:
      case 32:
        name = std::string(op == 18 ? "BRACES{" : "BRACESNG{") + std::to_string(Int(p, at + 5)) + "," +
               std::to_string(Int(p, at + 9)) + "}";
        operand = 8;
        break;
      case 19: name = "COMMENT"; break;
      case 23: name = "LOOPENTRY"; break;
      case 24:
      case 33:
        name = std::string(op == 24 ? "LOOP{" : "LOOPNG{") + std::to_string(Int(p, at + 5)) + "," +
               std::to_string(Int(p, at + 9)) + "}";
        operand = 12;
        break;
      case 25:
      case 26:
        name = std::string(op == 25 ? "ANYOFTINYSET(" : "ANYBUTTINYSET(") + std::string(p.begin() + static_cast<long>(at) + 5,
                                                                                     p.begin() + static_cast<long>(at) + 8) + ")";
        operand = 3;
        break;
      case 27: name = "ANYOFFULLSET"; operand = 32; break;
      case 28: name = "BSUBEXP" + std::to_string(p[at + 5]); operand = 1; break;
      case 29: name = "BSUBEXPCI" + std::to_string(p[at + 5]); operand = 1; break;
      case 30: name = "STARNG"; break;
      case 31: name = "PLUSNG"; break;
      case 34: name = "BOLML"; break;
      case 35: name = "EOLML"; break;
      case 36: name = "ANYML"; break;
      case 37: name = "BOUND"; break;
      case 38: name = "NOTBOUND"; break;
      default:
        if (op >= 40 && op <= 53) name = "OPEN" + std::to_string(op - 39);
        else if (op >= 55 && op <= 68) name = "CLOSE" + std::to_string(op - 54);
        else name = "?" + std::to_string(op);
    }
    if (!out.empty()) out += ' ';
    out += name;
    at += 5 + operand;
  }
  return out;
}

std::string Program(std::string_view pattern, int modifierOff = 0) {
  TRegex r;
  if (modifierOff != 0) r.SetModifier(modifierOff, false);
  r.SetExpression(pattern);
  r.Compile();
  EXPECT_EQ(r.GetProgram().at(0), 216);
  return Dump(r.GetProgram());
}

TEST(RegexCompile, ProgramShapes) {
  EXPECT_EQ(Program("a{2,3}"), "BRANCH BRACES{2,3} EXACTLY(a) EEND");
  EXPECT_EQ(Program("a{,3}"), "BRANCH EXACTLY(a) EXACTLY({,3}) EEND");
  EXPECT_EQ(Program("a{x}"), "BRANCH EXACTLY(a) EXACTLY({x}) EEND");
  EXPECT_EQ(Program("abc*"), "BRANCH EXACTLY(ab) STAR EXACTLY(c) EEND");
  EXPECT_EQ(Program("(ab)*"), "BRANCH BRANCH OPEN1 BRANCH EXACTLY(ab) CLOSE1 BACK BRANCH NOTHING EEND");
  EXPECT_EQ(Program("(ab)*?"), "BRANCH LOOPENTRY OPEN1 BRANCH EXACTLY(ab) CLOSE1 LOOPNG{0,2147483646} EEND");
  EXPECT_EQ(Program("(ab)+"), "BRANCH OPEN1 BRANCH EXACTLY(ab) CLOSE1 BRANCH BACK BRANCH NOTHING EEND");
  EXPECT_EQ(Program("(ab){2,5}"), "BRANCH LOOPENTRY OPEN1 BRANCH EXACTLY(ab) CLOSE1 LOOP{2,5} EEND");
  EXPECT_EQ(Program("(ab)??"), "BRANCH LOOPENTRY OPEN1 BRANCH EXACTLY(ab) CLOSE1 LOOPNG{0,1} EEND");
  // A group wide only through back references can pass empty: its greedy
  // loops are counted loops, which stop at an empty pass.
  EXPECT_EQ(Program("()(\\1)+"),
            "BRANCH OPEN1 BRANCH NOTHING CLOSE1 LOOPENTRY OPEN2 BRANCH BSUBEXP1 CLOSE2 LOOP{1,2147483646} EEND");
  EXPECT_EQ(Program("(a)(b|\\1)*"),
            "BRANCH OPEN1 BRANCH EXACTLY(a) CLOSE1 LOOPENTRY OPEN2 BRANCH EXACTLY(b) BRANCH BSUBEXP1 CLOSE2 "
            "LOOP{0,2147483646} EEND");
  // One solid character in the group keeps the plain loop.
  EXPECT_EQ(Program("(a)(\\1b)+"),
            "BRANCH OPEN1 BRANCH EXACTLY(a) CLOSE1 OPEN2 BRANCH BSUBEXP1 EXACTLY(b) CLOSE2 BRANCH BACK BRANCH NOTHING EEND");
  EXPECT_EQ(Program("a?"), "BRANCH BRANCH EXACTLY(a) BRANCH NOTHING EEND");
  EXPECT_EQ(Program("a??"), "BRANCH BRACESNG{0,1} EXACTLY(a) EEND");
  EXPECT_EQ(Program("a+?b*?"), "BRANCH PLUSNG EXACTLY(a) STARNG EXACTLY(b) EEND");
  EXPECT_EQ(Program("a{3}"), "BRANCH BRACES{3,3} EXACTLY(a) EEND");
  EXPECT_EQ(Program("a{3,}"), "BRANCH BRACES{3,2147483646} EXACTLY(a) EEND");
  EXPECT_EQ(Program("a|b"), "BRANCH EXACTLY(a) BRANCH EXACTLY(b) EEND");
  EXPECT_EQ(Program("|"), "BRANCH NOTHING BRANCH NOTHING EEND");
  EXPECT_EQ(Program("^.$"), "BRANCH BOL ANY EOL EEND");
  EXPECT_EQ(Program("\\A\\Z\\b\\B\\d\\D"), "BRANCH BOL EOL BOUND NOTBOUND ANYDIGIT NOTDIGIT EEND");
  EXPECT_EQ(Program("(a)\\1"), "BRANCH OPEN1 BRANCH EXACTLY(a) CLOSE1 BSUBEXP1 EEND");
  EXPECT_EQ(Program("(?#note)a"), "BRANCH COMMENT EXACTLY(a) EEND");
  // Modifier g off makes every repeat non-greedy; s off makes "." a complex atom.
  EXPECT_EQ(Program("a*b+", TRegex::ModifierG), "BRANCH STARNG EXACTLY(a) PLUSNG EXACTLY(b) EEND");
  EXPECT_EQ(Program(".*", TRegex::ModifierS), "BRANCH BRANCH ANYML BACK BRANCH NOTHING EEND");
  // Sets: up to three members make a tiny set padded with the highest.
  EXPECT_EQ(Program("[ba]"), "BRANCH ANYOFTINYSET(abb) EEND");
  EXPECT_EQ(Program("[^x]"), "BRANCH ANYBUTTINYSET(xxx) EEND");
  EXPECT_EQ(Program("[a-d]"), "BRANCH ANYOFFULLSET EEND");
  EXPECT_EQ(Program("(?i)ab[c]"), "BRANCH COMMENT EXACTLYCI(ab) ANYOFTINYSET(Ccc) EEND");
}

TEST(RegexCompile, ExtendedSyntaxSkipsSpaceAndComments) {
  EXPECT_EQ(Program("(?x)a b c # note\n d"), "BRANCH COMMENT EXACTLY(abc) COMMENT COMMENT EXACTLY(d) EEND");
  // A repeat after spaced-out letters still takes only the last one.
  EXPECT_EQ(Program("(?x)a b c *"), "BRANCH COMMENT EXACTLY(ab) STAR EXACTLY(c) EEND");
  EXPECT_EQ(Program("(?x)  a"), "BRANCH COMMENT COMMENT EXACTLY(a) EEND");
}

TEST(RegexCompile, DefaultsAndModifiers) {
  TRegex r;
  EXPECT_FALSE(r.GetModifier(TRegex::ModifierI));
  EXPECT_TRUE(r.GetModifier(TRegex::ModifierR));
  EXPECT_TRUE(r.GetModifier(TRegex::ModifierS));
  EXPECT_TRUE(r.GetModifier(TRegex::ModifierG));
  EXPECT_FALSE(r.GetModifier(TRegex::ModifierM));
  EXPECT_FALSE(r.GetModifier(TRegex::ModifierX));
  EXPECT_EQ(r.SpaceChars, std::string(" \t\n\r\f"));
  EXPECT_EQ(r.WordChars, "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_");
  EXPECT_EQ(r.LineSeparators, "\r\n");
  EXPECT_EQ(r.GetLinePairedSeparator(), "\r\n");
  try {
    r.SetModifier(7, true);
    FAIL();
  } catch (const ERegex& e) {
    EXPECT_EQ(e.ErrorCode, 1013);
    EXPECT_EQ(e.Message, "Unknown error");
  }
  EXPECT_THROW(r.GetModifier(0), ERegex);

  // Changing a modifier recompiles at the next match.
  r.SetExpression("abc");
  EXPECT_FALSE(r.Exec("ABC"));
  r.SetModifier(TRegex::ModifierI, true);
  EXPECT_TRUE(r.Exec("ABC"));

  // The paired separator: two different characters or nothing.
  for (const char* bad : {"\n\n", "x", "abc"}) {
    try {
      r.SetLinePairedSeparator(bad);
      FAIL() << bad;
    } catch (const ERegex& e) {
      EXPECT_EQ(e.ErrorCode, 128);
      EXPECT_EQ(e.Message,
                "TRegex(comp): LinePairedSeparator must countain two different chars or no chars at all (pos 0)");
    }
  }
  EXPECT_EQ(r.GetLinePairedSeparator(), "\r\n");
  r.SetLinePairedSeparator("");
  EXPECT_EQ(r.GetLinePairedSeparator(), "");
  r.SetLinePairedSeparator("ab");
  EXPECT_EQ(r.GetLinePairedSeparator(), "ab");

  // Invert case follows the code page 1251 tables, Cyrillic and Yo included.
  EXPECT_EQ(RegexInvertCaseAnsi('a'), 'A');
  EXPECT_EQ(RegexInvertCaseAnsi('Q'), 'q');
  EXPECT_EQ(RegexInvertCaseAnsi('5'), '5');
  EXPECT_EQ(RegexInvertCaseAnsi(0xE0), 0xC0);  // а -> А
  EXPECT_EQ(RegexInvertCaseAnsi(0xDF), 0xFF);  // Я -> я
  EXPECT_EQ(RegexInvertCaseAnsi(0xB8), 0xA8);  // ё -> Ё
  EXPECT_EQ(RegexInvertCaseAnsi(0xA8), 0xB8);
}

TEST(RegexCompile, ExpressionPropertyAndCompileState) {
  TRegex r;
  EXPECT_EQ(CompileError(""), std::make_pair(100, 0));
  try {
    r.Exec("x");
    FAIL();
  } catch (const ERegex& e) {
    EXPECT_EQ(e.ErrorCode, 1003);
    EXPECT_EQ(e.Message, "TRegex(exec): Not Assigned Expression Property");
  }
  r.SetExpression("a(");
  EXPECT_THROW(r.Compile(), ERegex);
  EXPECT_FALSE(r.IsCompiled());
  EXPECT_TRUE(r.GetProgram().empty());
  EXPECT_EQ(r.GetLastError(), 103);
  r.SetExpression("ab");
  r.Compile();
  EXPECT_TRUE(r.IsCompiled());
  EXPECT_EQ(r.GetLastError(), 0);
  const auto program = r.GetProgram();
  r.SetExpression("ab");  // the same text: nothing happens
  EXPECT_TRUE(r.IsCompiled());
  EXPECT_EQ(r.GetProgram(), program);
  r.SetExpression("abc");
  EXPECT_FALSE(r.IsCompiled());
  EXPECT_EQ(r.GetExpression(), "abc");
  EXPECT_EQ(r.ErrorMsg(0), "No errors");
  EXPECT_EQ(r.ErrorMsg(99), "Unknown error");
  EXPECT_EQ(r.CompilerErrorPos(), 0);
}

TEST(RegexCompile, ErrorCodesAndPositions) {
  struct Case {
    const char* pattern;
    int code;
    int pos;
  };
  const Case cases[] = {
      {"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)(m)(n)(o)", 102, 43},
      {"(a", 103, 2},
      {"((a)", 103, 4},
      {"a)", 104, 1},
      {"()*", 106, 2},
      {"(a?)+", 106, 4},
      {"\\b*", 106, 2},
      {"(?i){2}", 106, 4},
      {"a**", 107, 2},
      {"a*?+", 107, 3},
      {"a{2}{3}", 107, 4},
      {"\\xg1", 108, 2},
      {"\\x{4g}", 108, 4},
      {"[z-a]", 109, 4},
      {"[\\x41-\\x40]", 109, 10},
      {"[" "\xFF" "-" "\xE0" "]", 109, 4},
      {"[a\\", 110, 3},
      {"[a-\\", 110, 4},
      {"\\x4", 111, 3},
      {"\\x", 111, 2},
      {"\\x{41", 111, 5},
      {"\\x{}", 111, 3},
      {"\\x{123}", 112, 5},
      {"[a", 113, 2},
      {"[", 113, 1},
      {"[]", 113, 2},
      {"*a", 115, 0},
      {"a|+", 115, 2},
      {"(?", 127, 2},
      {"a\\", 116, 2},
      {"a{123456789}", 122, 12},
      {"a{1,123456789}", 122, 14},
      {"a{3,2}", 124, 6},
      {"(?#abc", 125, 6},
      {"(?q)a", 127, 2},
      {"(?i", 127, 3},
      {"(?:a)", 127, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CompileError(c.pattern), std::make_pair(c.code, c.pos)) << c.pattern;
  }
  // The message carries the position.
  TRegex r;
  r.SetExpression("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)(m)(n)(o)");
  try {
    r.Compile();
    FAIL();
  } catch (const ERegex& e) {
    EXPECT_EQ(e.Message, "TRegex(comp): ParseReg Too Many () (pos 43)");
    EXPECT_EQ(r.GetLastError(), 102);
  }
  // Fourteen groups are fine; braces up to the limit are fine.
  EXPECT_EQ(CompileError("(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)(l)(m)(n)"), std::make_pair(0, 0));
  EXPECT_EQ(CompileError("a{99999999}"), std::make_pair(0, 0));
  EXPECT_EQ(CompileError("(ab){0,99999999}"), std::make_pair(0, 0));
  EXPECT_EQ(CompileError("[]a]"), std::make_pair(0, 0));
  EXPECT_EQ(CompileError("\\x{0041}"), std::make_pair(0, 0));
}

// Loops nested deeper than the loop stack compile; the search that enters
// the eleventh one stops with the loop stack error.
TEST(RegexCompile, NestedCountedLoopsBeyondTheLoopStackFailWhenMatched) {
  std::string ten = "a";
  for (int i = 0; i < 10; ++i) ten = "(" + ten + ")+?";
  EXPECT_EQ(CompileError(ten), std::make_pair(0, 0));
  const std::string eleven = "(" + ten + ")+?";
  EXPECT_EQ(CompileError(eleven), std::make_pair(0, 0));
  TRegex r;
  r.SetExpression(eleven);
  try {
    r.Exec("xaa");
    FAIL();
  } catch (const ERegex& e) {
    EXPECT_EQ(e.ErrorCode, 1014);
    EXPECT_EQ(e.Message, "TRegex(exec): Loop Stack Exceeded");
  }
  EXPECT_EQ(r.GetLastError(), 1014);
  EXPECT_EQ(r.MatchPos(0), -1);
  // Sequential loops do not add up.
  std::string many;
  for (int i = 0; i < 12; ++i) many += "(a|b){1,2}";
  EXPECT_EQ(CompileError(many), std::make_pair(0, 0));
  // Ten nested loops match.
  TRegex t;
  t.SetExpression(ten);
  ASSERT_TRUE(t.Exec("xaa"));
  EXPECT_EQ(t.MatchPos(0), 2);
  EXPECT_EQ(t.MatchLen(0), 1);
}

TEST(RegexCompile, CyrillicRangesFollowModifierR) {
  const std::string lowerRange = A("[а-я]");
  const std::string yo = A("ё");
  TRegex r;
  r.SetExpression(lowerRange);
  EXPECT_TRUE(r.Exec(yo));
  EXPECT_TRUE(r.Exec(A("ж")));
  EXPECT_FALSE(r.Exec(A("Ж")));
  r.SetModifier(TRegex::ModifierR, false);
  EXPECT_FALSE(r.Exec(yo));
  EXPECT_TRUE(r.Exec(A("я")));

  TRegex upper;
  upper.SetExpression(A("^[А-Я]+$"));
  EXPECT_TRUE(upper.Exec(A("ЁЛКА")));
  EXPECT_FALSE(upper.Exec(A("ёлка")));

  // From "а" to "Я" runs backwards in the code page: valid only with r.
  TRegex both;
  both.SetExpression(A("^[а-Я]+$"));
  EXPECT_TRUE(both.Exec(A("ЁлкА")));
  EXPECT_FALSE(both.Exec("abc"));
  EXPECT_EQ(CompileError(A("(?-r)[а-Я]")).first, 109);
}

}  // namespace
}  // namespace ond
