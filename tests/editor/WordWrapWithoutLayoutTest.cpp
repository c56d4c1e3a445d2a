// What word wrap answers while its layout waits to be made (a panel out of
// view): the rows counted for a scroll range, and the place of a caret near
// the top, are those of the layout it would make, and making none.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "editor/OndEditTextBuffer.h"
#include "editor/OndEditWordWrap.h"
#include "tests/editor/WrapTestOwner.h"

namespace ond {
namespace {

using Owner = test::WrapOwner;

// Lines of words of every length, blanks and tabs, some empty, some one
// long word.
void FillRandom(Owner& O, std::mt19937& Rng, int Count) {
  for (int i = 0; i < Count; ++i) {
    std::string s;
    const unsigned kind = Rng() % 8;
    if (kind == 0) {
      O.Lines.Add(s);
      continue;
    }
    if (kind == 1) {
      O.Lines.Add(std::string(Rng() % 300, 'w'));
      continue;
    }
    const int words = static_cast<int>(Rng() % 14);
    for (int w = 0; w < words; ++w) {
      s.append(Rng() % 30, static_cast<char>('a' + Rng() % 26));
      s.append(1 + Rng() % 2, Rng() % 5 == 0 ? '\t' : (Rng() % 3 == 0 ? ',' : ' '));
    }
    O.Lines.Add(s);
  }
}

// Identifier characters without a highlighter, and a highlighter's that
// make the comma and the braces delimiters too.
TSysCharSet SchemeIdent() {
  TSysCharSet s;
  s.IncludeRange(33, 255);
  for (char c : std::string(",{}:\"")) s.Exclude(c);
  return s;
}

TEST(WordWrapWithoutLayout, CountedRowsAreTheLaidOutRows) {
  std::mt19937 rng(5);
  for (const bool scheme : {false, true}) {
    Owner owner;
    if (scheme) owner.Ident = SchemeIdent();
    FillRandom(owner, rng, 400);
    for (int width = 1; width <= 120; width += (width < 20 ? 1 : 7)) {
      SCOPED_TRACE(std::to_string(width) + (scheme ? " scheme" : " plain"));
      owner.Width = width;
      TOndWordWrapPlugin counted(&owner);
      TOndWordWrapPlugin laidOut(&owner);
      ASSERT_EQ(counted.RowCountWithoutLayout(), laidOut.RowCount());
      EXPECT_FALSE(counted.LaidOut());
      EXPECT_EQ(counted.Layouts(), 0);
      // Counted once: asked again, the count is kept.
      EXPECT_EQ(counted.RowCountWithoutLayout(), laidOut.RowCount());
      EXPECT_EQ(counted.Layouts(), 0);
    }
  }
}

// A change while the layout waits drops the count; asked again, the layout
// is made. A reset allows one count more.
TEST(WordWrapWithoutLayout, AfterAChangeTheLayoutIsMade) {
  std::mt19937 rng(9);
  Owner owner;
  FillRandom(owner, rng, 200);
  TOndWordWrapPlugin wrap(&owner);
  const std::int32_t before = wrap.RowCountWithoutLayout();
  owner.Lines.Put(3, std::string(95, 'x'));
  EXPECT_EQ(wrap.LinesChanged(3, 1), 0);
  owner.Lines.Insert(7, std::string(45, 'y'));
  EXPECT_EQ(wrap.LinesInserted(7, 1), 0);
  const std::int32_t after = wrap.RowCountWithoutLayout();
  EXPECT_EQ(wrap.Layouts(), 1);
  EXPECT_TRUE(wrap.LaidOut());
  EXPECT_NE(after, before);
  TOndWordWrapPlugin fresh(&owner);
  EXPECT_EQ(after, fresh.RowCount());
  EXPECT_EQ(wrap.LineOffsets(), fresh.LineOffsets());

  owner.Width = 33;
  wrap.DisplayChanged();
  EXPECT_FALSE(wrap.LaidOut());
  owner.Lines.Delete(0);
  EXPECT_EQ(wrap.LinesDeleted(0, 1), 0);
  TOndWordWrapPlugin fresh33(&owner);
  EXPECT_EQ(wrap.RowCountWithoutLayout(), fresh33.RowCount());
  EXPECT_EQ(wrap.Layouts(), 1);
  // Laid out now, the counting path gives the laid-out count.
  EXPECT_EQ(wrap.RowCount(), fresh33.RowCount());
  EXPECT_EQ(wrap.RowCountWithoutLayout(), fresh33.RowCount());
  EXPECT_EQ(wrap.Layouts(), 2);
}

// Every position of the first lines, and past the last line of a short
// text, placed while the layout waits against the laid-out place.
TEST(WordWrapWithoutLayout, ACaretNearTheTopIsPlacedWithoutALayout) {
  std::mt19937 rng(3);
  for (const int lines : {0, 1, 10, 80}) {
    Owner owner;
    owner.Width = 17;
    FillRandom(owner, rng, lines);
    TOndWordWrapPlugin laidOut(&owner);
    laidOut.RowCount();
    for (int line = 1; line <= 70; ++line) {
      const int length = line <= lines ? owner.Lines.GetExpandedTextLength(line - 1) : 0;
      for (int chr = 1; chr <= length + 3; chr += (length > 60 ? 5 : 1)) {
        TOndWordWrapPlugin waiting(&owner);
        const TBufferCoord at = BufferCoord(chr, line);
        ASSERT_EQ(waiting.BufferPosToDisplayPos(at), laidOut.BufferPosToDisplayPos(at))
            << lines << " lines, line " << line << " char " << chr;
        if (line <= 64) {
          ASSERT_EQ(waiting.Layouts(), 0);
        }
      }
    }
  }
}

// A reset reads the identifier characters again: a change of them changes
// where rows break, and an unchanged set breaks as before.
TEST(WordWrapWithoutLayout, AResetFollowsTheIdentifierCharacters) {
  Owner owner;
  owner.Lines.Add("alpha,beta,gamma,delta,epsilon,zeta,eta,theta");
  TOndWordWrapPlugin wrap(&owner);
  const std::vector<std::uint8_t> plain = wrap.RowLengths();
  owner.Ident = SchemeIdent();
  wrap.Reset();
  TOndWordWrapPlugin fresh(&owner);
  EXPECT_EQ(wrap.RowLengths(), fresh.RowLengths());
  EXPECT_NE(wrap.RowLengths(), plain);
  owner.Ident.IncludeRange(33, 255);
  wrap.Reset();
  wrap.Reset();
  EXPECT_EQ(wrap.RowLengths(), plain);
}

}  // namespace
}  // namespace ond
