#include <gtest/gtest.h>

#include "highlight/OndHighlighterRules.h"
#include "tests/highlight/HighlightTestRules.h"
#include "tests/support/ErrorOf.h"

namespace ond {
namespace {

using test::ErrorOf;

// The token a prepared range gives at Pos, and where it ends.
struct Found {
  bool Ok;
  int Run;
  TOndToken* Token;
};

Found TokenAt(const TOndRange& r, std::string_view line, int pos) {
  int run = pos;
  TOndToken* t = nullptr;
  const bool ok = r.ParserFor(line[static_cast<std::size_t>(pos)])->GetToken(r, line.data(), static_cast<int>(line.size()), run, t);
  return {ok, run, t};
}

TEST(HighlighterRules, NewRangeHasDefaultDelimitersAndOneEmptyCouple) {
  TOndRange r("<", ">");
  EXPECT_EQ(r.OpenToken().SymbolCount(), 1);
  for (char c : std::string_view("!\"#$%&'()*+,-./:;<=>?@[\\]^`{|}~")) EXPECT_TRUE(r.Delimiters.Contains(c)) << c;
  EXPECT_FALSE(r.Delimiters.Contains('_'));
  EXPECT_FALSE(r.Delimiters.Contains(' '));
  EXPECT_FALSE(r.GetCaseSensitive());
  EXPECT_EQ(r.Attribs().GetForeground(), clWindowText);
  EXPECT_EQ(r.Attribs().GetBackground(), clWindow);
  r.Prepare(&r);
  for (char c : {'\0', '\t', '\n', '\r', ' '}) EXPECT_TRUE(r.Delimiters.Contains(c));
  r.Clear();
  EXPECT_FALSE(r.Prepared());
  EXPECT_EQ(r.OpenToken().SymbolCount(), 1);
  EXPECT_EQ(r.OpenToken().GetSymbol(0), "");
}

TEST(HighlighterRules, CoupleCountsMustStayEqual) {
  TOndRange r;
  r.OpenToken().AddSymbol("x");
  EXPECT_EQ(ErrorOf([&] { r.AddCoupleTags("a", "b"); }), "TOndRange.AddCoupleTags: different multitags count");
}

TEST(HighlighterRules, PlusAndPlusEqualsShareOneTree) {
  TOndRange r;
  test::AddKeys(r, "Op", "+=\n+");
  r.Prepare(&r);
  const Found pe = TokenAt(r, "+=", 0);
  ASSERT_TRUE(pe.Ok);
  EXPECT_EQ(pe.Run, 2);
  EXPECT_EQ(pe.Token->Symbol, "+=");
  const Found p = TokenAt(r, "+a", 0);
  ASSERT_TRUE(p.Ok);
  EXPECT_EQ(p.Run, 1);
  EXPECT_EQ(p.Token->Symbol, "+");
}

TEST(HighlighterRules, LaterKeyListWinsAttributesOfTheSameWord) {
  TOndRange r;
  TOndKeyList* a = test::AddKeys(r, "A", "w");
  TOndKeyList* b = test::AddKeys(r, "B", "w");
  r.Prepare(&r);
  EXPECT_EQ(r.FindToken("w")->Attribs, b->GetAttribs());
  EXPECT_NE(r.FindToken("w")->Attribs, a->GetAttribs());
}

TEST(HighlighterRules, DisabledRulesGiveNoSymbols) {
  TOndRange r;
  TOndRange* sub = test::AddRange(r, "Sub", "<", ">");
  sub->Enabled = false;
  test::AddKeys(r, "K", "key")->Enabled = false;
  r.Prepare(&r);
  EXPECT_EQ(r.FindToken("<"), nullptr);
  EXPECT_EQ(r.FindToken("key"), nullptr);
  EXPECT_FALSE(TokenAt(r, "key", 0).Ok);

  TOndRange off;
  test::AddKeys(off, "K", "key");
  off.Enabled = false;
  off.Prepare(&off);
  EXPECT_FALSE(TokenAt(off, "key", 0).Ok);
  EXPECT_TRUE(TokenAt(off, " ", 0).Ok);  // delimiters still give their token
}

TEST(HighlighterRules, NulNeverEntersSetsOrTrees) {
  TOndRange r;
  TSysCharSet withNul("ab");
  withNul.Include('\0');
  r.AddSet(std::make_unique<TOndSet>(withNul));
  test::AddKeys(r, "K", std::string("x\0y", 3));
  r.Prepare(&r);
  // The NUL slot stays the delimiters' parser; a run stops at a NUL.
  const std::string line("ab\0b", 4);
  const Found f = TokenAt(r, line, 0);
  ASSERT_TRUE(f.Ok);
  EXPECT_EQ(f.Run, 2);
  const Found n = TokenAt(r, line, 2);
  EXPECT_TRUE(n.Ok);
  EXPECT_EQ(n.Run, 3);
  EXPECT_NE(n.Token, nullptr);
  EXPECT_FALSE(TokenAt(r, std::string("x\0y", 3), 0).Ok);
}

TEST(HighlighterRules, ParsersNeverRunPastTheLineEnd) {
  TOndRange r;
  test::AddKeys(r, "K", "abc\n+=");
  test::AddSet(r, "S", "z");
  r.Prepare(&r);
  // The text handed over ends before the rest of the buffer.
  const std::string buffer = "abc+=zzz";
  int run = 0;
  TOndToken* t = nullptr;
  r.ParserFor('a')->GetToken(r, buffer.data(), 2, run, t);
  EXPECT_LE(run, 2);
  run = 3;
  EXPECT_TRUE(r.ParserFor('+')->GetToken(r, buffer.data(), 4, run, t));
  EXPECT_EQ(run, 4);
  run = 5;
  EXPECT_TRUE(r.ParserFor('z')->GetToken(r, buffer.data(), 6, run, t));
  EXPECT_EQ(run, 6);
}

TEST(HighlighterRules, PreparingAloneTiesCloseSymbolsToTheParent) {
  TOndRange root;
  root.MakeRoot();
  TOndRange* sub = test::AddRange(root, "Sub", "<", ">");
  root.Prepare(&root);
  TOndToken* open = root.FindToken("<");
  ASSERT_NE(open, nullptr);
  EXPECT_EQ(open->OpenRange, sub);
  ASSERT_NE(open->ClosingToken, nullptr);
  EXPECT_EQ(open->ClosingToken->Symbol, ">");
  // A child prepared on its own needs its parent to know its close symbol.
  TOndRange* lone = test::AddRange(root, "Lone", "(", ")");
  EXPECT_EQ(ErrorOf([&] { lone->Prepare(nullptr); }), "TOndRange.Prepare: error preparing custom range");
}

TEST(HighlighterRules, DeepTreesAreRefusedWhenBuilt) {
  TOndRange root;
  root.MakeRoot();
  TOndRange* r = &root;
  for (int i = 0; i < MaxRuleDepth; ++i) r = test::AddRange(*r, "R", "(", ")");
  EXPECT_NE(ErrorOf([&] { test::AddRange(*r, "R", "(", ")"); }), "<no error>");
  // A chain built apart and then attached is measured too.
  auto chain = std::make_unique<TOndRange>();
  TOndRange* c = chain.get();
  for (int i = 0; i < 10; ++i) c = test::AddRange(*c, "C", "[", "]");
  TOndRange* deep = &root;
  for (int i = 0; i < MaxRuleDepth - 5; ++i) deep = deep->Ranges(0);
  EXPECT_NE(ErrorOf([&] { deep->AddRange(std::move(chain)); }), "<no error>");
  root.Prepare(&root);  // the tree that was accepted prepares
}

TEST(HighlighterRules, ParentFlagsTakeTheEnclosingColour) {
  TOndRange root;
  root.MakeRoot();
  root.Attribs().SetForeground(clRed);
  root.Attribs().SetBackground(clYellow);
  root.Attribs().ParentForeground = true;  // ignored at the root
  TOndRange* sub = test::AddRange(root, "Sub", "<", ">");
  sub->Attribs().ParentBackground = true;
  sub->Attribs().SetForeground(clBlue);
  EXPECT_EQ(root.GetAttribs()->GetForeground(), clRed);
  EXPECT_EQ(sub->GetAttribs()->GetBackground(), clYellow);
  EXPECT_EQ(sub->GetAttribs()->GetForeground(), clBlue);
  EXPECT_EQ(sub->GetAttribs(), sub->GetAttribs());  // one object every time
}

TEST(HighlighterRules, KeyListTextSplitsIntoLines) {
  TOndKeyList k("a\r\nb\nc\rd");
  EXPECT_EQ(k.Words, (std::vector<std::string>{"a", "b", "c", "d"}));
}

}  // namespace
}  // namespace ond
