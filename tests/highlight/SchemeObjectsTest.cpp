#include <gtest/gtest.h>

#include "highlight/OndSchemeObjects.h"
#include "tests/support/ErrorOf.h"

namespace ond {
namespace {

using test::ErrorOf;

TEST(SchemeObjects, GenSchemesStartWithDefaultAndClearToNone) {
  TOndGenSchemes s;
  ASSERT_EQ(s.SchemeCount(), 1);
  EXPECT_EQ(s.Schemes(0)->Name, "Default");
  TOndScheme* dark = s.AddScheme("Dark");
  EXPECT_EQ(s.GetScheme("Dark"), dark);
  EXPECT_EQ(s.GetScheme("dark"), nullptr);
  s.Clear();
  EXPECT_EQ(s.SchemeCount(), 0);
  EXPECT_EQ(s.GetScheme("Default"), nullptr);
}

TEST(SchemeObjects, SchemeStylesAreFoundByExactName) {
  TOndScheme sc("X");
  EXPECT_EQ(sc.GetStyle("Key"), nullptr);
  TOndAttributes* a = sc.AddStyle("Key", clRed, fsBold | fsItalic, clWhite);
  EXPECT_EQ(a->GetForeground(), clRed);
  EXPECT_EQ(a->GetBackground(), clWhite);
  EXPECT_EQ(a->GetStyle(), fsBold | fsItalic);
  EXPECT_FALSE(a->ParentForeground);
  EXPECT_EQ(sc.GetStyle("Key"), a);
  EXPECT_EQ(sc.GetStyle("key"), nullptr);
  sc.ClearStyles();
  EXPECT_EQ(sc.StyleCount(), 0);
  EXPECT_EQ(sc.EditorProperties.ActiveLineColor, clNone);
  EXPECT_EQ(sc.EditorProperties.SelectedForeground, static_cast<TColor>(0x8000000E));
  EXPECT_EQ(sc.EditorProperties.SelectedBackground, static_cast<TColor>(0x8000000D));
}

TEST(SchemeObjects, InfoClearKeepsHistoryAndRemark) {
  TOndInfo i;
  i.General = {"N", "js", 3, 4, "hist", "sample"};
  i.Author = {"a", "m", "w", "c", "co", "remark"};
  i.Clear();
  EXPECT_EQ(i.General.Name, "");
  EXPECT_EQ(i.General.Extensions, "");
  EXPECT_EQ(i.General.Sample, "");
  EXPECT_EQ(i.General.Version, 0);
  EXPECT_EQ(i.General.Revision, 0);
  EXPECT_EQ(i.General.History, "hist");
  EXPECT_EQ(i.Author.Name, "");
  EXPECT_EQ(i.Author.Company, "");
  EXPECT_EQ(i.Author.Remark, "remark");
}

TEST(SchemeObjects, TokensCopyRulesButNotEndOfLineOrRange) {
  TOndMultiToken m;
  EXPECT_EQ(m.LeftBreak, bkAny);
  EXPECT_EQ(m.RightBreak, bkAny);
  EXPECT_EQ(m.AddSymbol("<"), 0);
  EXPECT_EQ(m.AddSymbol("<<"), 1);
  m.StartLine = slFirstNonSpace;
  m.FinishOnEol = true;
  TOndToken t(m, 1);
  EXPECT_EQ(t.Symbol, "<<");
  EXPECT_EQ(t.StartLine, slFirstNonSpace);
  EXPECT_FALSE(t.FinishOnEol);
  EXPECT_EQ(ErrorOf([&] { TOndToken bad(m, 2); }), "TOndMultiToken.GetSymbol: Index out of bounds");
  EXPECT_EQ(ErrorOf([&] { (void)m.GetSymbol(-1); }), "TOndMultiToken.GetSymbol: Index out of bounds");

  TOndToken eol(nullptr, "x");
  eol.FinishOnEol = true;
  EXPECT_EQ(eol.GetSymbol(), std::string("x\0", 2));
  auto copy = TOndToken::CopyOf(eol);
  EXPECT_EQ(copy->Symbol, std::string("x\0", 2));
  EXPECT_FALSE(copy->FinishOnEol);
}

TEST(SchemeObjects, NodesTakeTheLeftBreakOfTheirToken) {
  TOndToken t;
  t.LeftBreak = bkTerm;
  TTokenNode n('a', bkAny, &t);
  EXPECT_EQ(n.LeftBreak, bkTerm);
  EXPECT_EQ(n.BreakKind, bkAny);
  n.NextNodes.AddNode(std::make_unique<TTokenNode>('b'));
  n.NextNodes.AddNode(std::make_unique<TTokenNode>('B'));
  EXPECT_EQ(n.NextNodes.FindNode('B'), n.NextNodes.Nodes(1));
  EXPECT_EQ(n.NextNodes.FindNode('c'), nullptr);
}

struct StyleCase {
  TFontStyles Style;
  const char* Text;
};

class StyleText : public ::testing::TestWithParam<StyleCase> {};

TEST_P(StyleText, RoundTrips) {
  EXPECT_EQ(FontStyleToStr(GetParam().Style), GetParam().Text);
  EXPECT_EQ(StrToFontStyle(GetParam().Text), GetParam().Style);
}

INSTANTIATE_TEST_SUITE_P(Cases, StyleText,
                         ::testing::Values(StyleCase{0, ""}, StyleCase{fsBold | fsUnderline, "BU"},
                                           StyleCase{fsBold | fsItalic | fsUnderline | fsStrikeOut, "BIUS"},
                                           StyleCase{fsStrikeOut, "S"}));

TEST(SchemeObjects, StyleLettersCountOnlyInUpperCaseAnywhere) {
  EXPECT_EQ(StrToFontStyle("bu"), 0);
  EXPECT_EQ(StrToFontStyle("xUyB"), fsBold | fsUnderline);
}

TEST(SchemeObjects, CharacterSetTextLeavesOutBlanksAndLineEnds) {
  TSysCharSet s("a \tb\r\n\x01\xFF");
  s.Include('\0');
  EXPECT_EQ(SetToStr(s), "\x01" "ab\xFF");
  const TSysCharSet back = StrToSet(SetToStr(s));
  EXPECT_FALSE(back.Contains(' '));
  EXPECT_FALSE(back.Contains('\t'));
  EXPECT_TRUE(back.Contains('\xFF'));
}

TEST(SchemeObjects, StartLineAndPartOfTermTexts) {
  EXPECT_EQ(StartLineToStr(slAnywhere), "");
  EXPECT_EQ(StartLineToStr(slFirstColumn), "True");
  EXPECT_EQ(StartLineToStr(slFirstNonSpace), "NonSpace");
  const std::pair<const char*, TOndStartLine> starts[] = {
      {"True", slFirstColumn}, {"First", slFirstColumn}, {"NonSpace", slFirstNonSpace},
      {"False", slAnywhere},   {"", slAnywhere},         {"true", slAnywhere}};
  for (const auto& [text, v] : starts) EXPECT_EQ(StrToStartLine(text), v) << text;
  const std::tuple<const char*, TOndBreakKind, TOndBreakKind> terms[] = {
      {"True", bkAny, bkAny},   {"", bkAny, bkAny},      {"Left", bkAny, bkTerm},
      {"Right", bkTerm, bkAny}, {"False", bkTerm, bkTerm}, {"maybe", bkUnspecified, bkUnspecified}};
  for (const auto& [text, left, right] : terms) {
    EXPECT_EQ(StrToLeftBreak(text), left) << text;
    EXPECT_EQ(StrToRightBreak(text), right) << text;
  }
}

}  // namespace
}  // namespace ond
