// The rule-driven highlighter in an editor: token runs painted in their
// attributes' colours, the rescan of line states after edits, brackets and
// fold tokens inside strings and comments, and words broken where the
// highlighter says.
#include <gtest/gtest.h>

#include <memory>

#include "editor/OndEdit.h"
#include "editor/OndEditKeyCmds.h"
#include "platform/Graphics.h"
#include "tests/highlight/HighlightTestRules.h"

namespace ond {
namespace {

using test::CountingHighlighter;

struct Fixture {
  std::unique_ptr<TOndEdit> Ed = std::make_unique<TOndEdit>(nullptr);
  std::unique_ptr<CountingHighlighter> H = std::make_unique<CountingHighlighter>();
  explicit Fixture(std::string_view Text) {
    Ed->SetBounds(0, 0, 600, 200);
    test::BuildJsonRules(*H);
    H->Reset();
    Ed->Lines()->SetText(Text);
    Ed->SetHighlighter(H.get());
  }
  ~Fixture() { Ed->SetHighlighter(nullptr); }
};

bool Near(TColor c, TColor want) {
  const auto d = [](int a, int b) { return a > b ? a - b : b - a; };
  return d(GetRValue(c), GetRValue(want)) < 90 && d(GetGValue(c), GetGValue(want)) < 90 &&
         d(GetBValue(c), GetBValue(want)) < 90;
}

// How many pixels of the cells [FromChar, ToChar) of the first row have
// colour Want (within a margin, for smoothed glyph edges).
int PixelsLike(const TBitmap& Bmp, const TCustomOndEdit& Ed, int FromChar, int ToChar, TColor Want) {
  const int cw = Ed.GetCharWidth(), lh = Ed.GetLineHeight(), x0 = Ed.GetTextOffset();
  int n = 0;
  for (int y = 0; y < lh; ++y)
    for (int x = x0 + (FromChar - 1) * cw; x < x0 + (ToChar - 1) * cw; ++x)
      if (Near(Bmp.Canvas()->GetPixel(x, y), Want)) ++n;
  return n;
}

TEST(HighlightEditor, TokensArePaintedInTheirAttributesColours) {
  Fixture f("true \"str\" xyz");
  TOndRange& root = f.H->MainRules();
  root.Attribs().SetForeground(clBlack);
  root.Attribs().SetBackground(clWhite);
  TOndKeyList* kw = root.KeyLists(0);
  ASSERT_EQ(kw->Name, "Keyword");
  kw->Attribs().SetForeground(clBlue);
  kw->Attribs().SetBackground(0xE0E0E0);
  TOndRange* str = root.Ranges(0);
  ASSERT_EQ(str->Name, "String");
  str->Attribs().SetForeground(clRed);
  str->Attribs().SetBackground(clYellow);
  f.H->Reset();  // the colours take effect, the editor rescans and repaints
  f.Ed->ActiveLine().SetVisible(false);
  TBitmap bmp;
  f.Ed->PaintTo(bmp);
  const int cw = f.Ed->GetCharWidth(), x0 = f.Ed->GetTextOffset();
  // Backgrounds: the corner pixel of each cell.
  EXPECT_EQ(bmp.Canvas()->GetPixel(x0 + 1, 1), TColor(0xE0E0E0));          // "t" of true
  EXPECT_EQ(bmp.Canvas()->GetPixel(x0 + 6 * cw + 1, 1), TColor(clYellow));  // "s" of "str"
  EXPECT_EQ(bmp.Canvas()->GetPixel(x0 + 12 * cw + 1, 1), TColor(clWhite));  // "y" of xyz
  // Ink: blue in the key word, red in the string, neither in the plain word.
  EXPECT_GT(PixelsLike(bmp, *f.Ed, 1, 5, clBlue), 0);
  EXPECT_EQ(PixelsLike(bmp, *f.Ed, 1, 5, clRed), 0);
  EXPECT_GT(PixelsLike(bmp, *f.Ed, 7, 10, clRed), 0);
  EXPECT_EQ(PixelsLike(bmp, *f.Ed, 7, 10, clBlue), 0);
  EXPECT_EQ(PixelsLike(bmp, *f.Ed, 12, 15, clRed) + PixelsLike(bmp, *f.Ed, 12, 15, clBlue), 0);
  EXPECT_GT(PixelsLike(bmp, *f.Ed, 12, 15, clBlack), 0);
}

TEST(HighlightEditor, TypingRescansOnlyTheLineWhoseEndStateStays) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "\"k\": [1, 2], // line\n";
  Fixture f(text);
  f.Ed->SetCaretXY(BufferCoord(3, 500));
  f.H->Lines = 0;
  f.Ed->CommandProcessor(ecChar, 'x', nullptr);
  EXPECT_EQ(f.Ed->Lines()->Get(499), "\"kx\": [1, 2], // line");
  EXPECT_EQ(f.H->Lines, 1);
}

TEST(HighlightEditor, OpeningACommentRescansUntilTheStateSettles) {
  std::string text;
  for (int i = 0; i < 1000; ++i) text += i == 600 ? "*/\n" : "1,\n";
  Fixture f(text);
  f.Ed->SetCaretXY(BufferCoord(1, 1));
  f.H->Lines = 0;
  f.Ed->CommandProcessor(ecChar, '/', nullptr);
  f.Ed->CommandProcessor(ecChar, '*', nullptr);
  // The "/" alone changes nothing after line 1; "/*" runs to the line that
  // closes the comment and one more.
  EXPECT_GE(f.H->Lines, 600);
  EXPECT_LE(f.H->Lines, 605);
  std::string token;
  TOndHighlighterAttributes* a = nullptr;
  ASSERT_TRUE(f.Ed->GetHighlighterAttriAtRowCol(BufferCoord(1, 300), token, a));
  EXPECT_EQ(a->Name(), "Block comment");
  ASSERT_TRUE(f.Ed->GetHighlighterAttriAtRowCol(BufferCoord(1, 700), token, a));
  EXPECT_EQ(a->Name(), "Number");
}

TEST(HighlightEditor, BracketsInStringsAndCommentsAreSkipped) {
  Fixture f("f(a[1], \"(\") // (\n)");
  // The rule names say what is a string or comment, whatever their case.
  EXPECT_EQ(f.Ed->GetMatchingBracketEx(BufferCoord(2, 1)), BufferCoord(12, 1));
  EXPECT_EQ(f.Ed->GetMatchingBracketEx(BufferCoord(12, 1)), BufferCoord(2, 1));
  EXPECT_EQ(f.Ed->GetMatchingBracketEx(BufferCoord(4, 1)), BufferCoord(6, 1));
  EXPECT_EQ(f.Ed->GetMatchingBracketEx(BufferCoord(1, 2)), BufferCoord(0, 0));  // its partner is in a comment
  // Without the highlighter every bracket counts: the outer one is left open.
  f.Ed->SetHighlighter(nullptr);
  EXPECT_EQ(f.Ed->GetMatchingBracketEx(BufferCoord(2, 1)), BufferCoord(0, 0));
  EXPECT_EQ(f.Ed->GetMatchingBracketEx(BufferCoord(1, 2)), BufferCoord(17, 1));
}

TEST(HighlightEditor, FoldRegionsComeFromTheHighlighterAndSkipStrings) {
  Fixture f("{\n  \"{\": 1,\n  \"a\": [\n    2\n  ]\n}\n");
  f.H->FoldRegions().Add(frtChar, false, false, false, "{", "}");
  f.H->FoldRegions().Add(frtChar, false, false, false, "[", "]");
  f.Ed->CodeFolding().SetHighlighterFoldRegions(true);
  f.Ed->CodeFolding().SetEnabled(true);
  f.Ed->RescanFoldRanges();
  TOndEditFoldRange* outer = f.Ed->FoldRangeAtLine(1);
  ASSERT_NE(outer, nullptr);
  EXPECT_EQ(outer->ToLine, 6);  // the brace in the string opened nothing
  TOndEditFoldRange* list = f.Ed->FoldRangeAtLine(3);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->ToLine, 5);
  // Switched to the editor's own (empty) regions: nothing folds.
  f.Ed->CodeFolding().SetHighlighterFoldRegions(false);
  f.Ed->RescanFoldRanges();
  EXPECT_EQ(f.Ed->FoldRangeAtLine(1), nullptr);
}

TEST(HighlightEditor, WordsBreakAtTheHighlightersDelimiters) {
  Fixture f("foo_bar.baz qux");
  EXPECT_EQ(f.Ed->WordAtPos(BufferCoord(2, 1)), "foo_bar");
  EXPECT_EQ(f.Ed->WordAtPos(BufferCoord(10, 1)), "baz");
  TSysCharSet ident, white;
  f.Ed->GetWordChars(ident, white);
  for (char c : {'\0', '\t', ' ', '.', ','}) EXPECT_FALSE(ident.Contains(c)) << int(c);
  EXPECT_TRUE(ident.Contains('_'));
  EXPECT_TRUE(ident.Contains('\xE6'));
}

TEST(HighlightEditor, WordWrapBreaksAtTheHighlightersDelimiters) {
  Fixture f("aaaaaaaaaaaaaaa.bbbbbbbbbbbbbbbbbbbbbbbbb");
  f.Ed->WordWrap().SetStyle(wwsSpecified);
  f.Ed->WordWrap().SetPosition(20);
  f.Ed->WordWrap().SetEnabled(true);
  // The full stop is a delimiter of the rules: the first row ends before it.
  EXPECT_EQ(f.Ed->BufferToDisplayPos(BufferCoord(16, 1)), DisplayCoord(1, 2));
  // Without a highlighter every printable character is part of a word: a hard break at 20.
  f.Ed->SetHighlighter(nullptr);
  f.Ed->WordWrap().SetEnabled(false);
  f.Ed->WordWrap().SetEnabled(true);
  EXPECT_EQ(f.Ed->BufferToDisplayPos(BufferCoord(16, 1)), DisplayCoord(16, 1));
}

TEST(HighlightEditor, ReloadingTheRulesRescansEveryEditor) {
  Fixture f("/* a\nb\nc */ 1");
  std::string token;
  TOndHighlighterAttributes* a = nullptr;
  ASSERT_TRUE(f.Ed->GetHighlighterAttriAtRowCol(BufferCoord(1, 2), token, a));
  EXPECT_EQ(a->Name(), "Block comment");
  // A new scheme where "/*" means nothing: the old states name no range of it.
  test::BuildScriptRules(*f.H);
  f.H->Reset();
  ASSERT_TRUE(f.Ed->GetHighlighterAttriAtRowCol(BufferCoord(1, 2), token, a));
  EXPECT_EQ(a->Name(), "Block comment");  // the script rules have one too
  f.H->Clear();
  f.H->MainRules().Name = "Plain";
  f.H->Reset();
  ASSERT_TRUE(f.Ed->GetHighlighterAttriAtRowCol(BufferCoord(1, 2), token, a));
  EXPECT_EQ(a->Name(), "Plain");
}

}  // namespace
}  // namespace ond
