#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "editor/OndEditTextBuffer.h"
#include "editor/OndEditWordWrap.h"
#include "platform/core/SysUtils.h"
#include "tests/editor/WrapTestOwner.h"

namespace ond {
namespace {

using FakeOwner = test::WrapOwner;

std::vector<int> RowsOf(const TOndWordWrapPlugin& Wrap) {
  return std::vector<int>(Wrap.RowLengths().begin(), Wrap.RowLengths().end());
}

TEST(WordWrap, BreaksInTheLastThirdOfARow) {
  FakeOwner owner;
  owner.Lines.Add(std::string(50, 'a'));
  TOndWordWrapPlugin wrap(&owner);
  EXPECT_EQ(wrap.MaxRowLength(), 20);
  EXPECT_EQ(wrap.MinRowLength(), 14);
  EXPECT_EQ(RowsOf(wrap), (std::vector<int>{20, 20, 10}));

  // A blank 15 characters after the row start ends the row before it; one
  // 14 characters after is too early, so the word is cut at 20; a blank
  // exactly 20 after gives a full row.
  owner.Lines.Clear();
  owner.Lines.Add(std::string(15, 'a') + " " + std::string(19, 'b'));
  owner.Lines.Add(std::string(14, 'a') + " " + std::string(20, 'b'));
  owner.Lines.Add(std::string(20, 'a') + " " + std::string(5, 'b'));
  owner.Lines.Add(std::string(20, 'a'));  // exactly the width: one row
  wrap.Reset();
  EXPECT_EQ(RowsOf(wrap), (std::vector<int>{15, 20, 20, 15, 20, 6, 20}));
  EXPECT_EQ(wrap.LineOffsets(), (std::vector<std::int32_t>{2, 4, 6, 7}));
}

// The rows of random lines of long words and short gaps, for every width,
// against a plain column-by-column search for the last break in the row's
// last third.
TEST(WordWrap, RowsMatchAPlainSearchAtEveryWidth) {
  FakeOwner owner;
  std::mt19937 rng(11);
  for (int i = 0; i < 60; ++i) {
    std::string s;
    const int words = static_cast<int>(rng() % 12);
    for (int w = 0; w < words; ++w) {
      s.append(rng() % 40, static_cast<char>('a' + rng() % 26));
      s.append(1 + rng() % 3, rng() % 6 == 0 ? '\t' : ' ');
    }
    owner.Lines.Add(s);
  }
  TOndWordWrapPlugin wrap(&owner);
  for (int width = 1; width <= 90; ++width) {
    owner.Width = width;
    wrap.DisplayChanged();
    const int min = std::max(1, width - width / 3);
    std::vector<int> expected;
    for (int i = 0; i < owner.Lines.GetCount(); ++i) {
      const std::string text = owner.Lines.GetExpandedText(i);
      std::size_t start = 0;
      do {
        std::size_t end = start + static_cast<std::size_t>(width);
        if (end >= text.size()) {
          end = text.size();
        } else {
          for (std::size_t p = end; p > start + static_cast<std::size_t>(min); --p)
            if (static_cast<unsigned char>(text[p]) <= ' ') {
              end = p;
              break;
            }
        }
        expected.push_back(static_cast<int>(end - start));
        start = end;
      } while (start < text.size());
    }
    ASSERT_EQ(RowsOf(wrap), expected) << "width " << width;
  }
}

TEST(WordWrap, EmptyLinesTabsAndBreakCharacters) {
  FakeOwner owner;
  owner.Lines.Add("");
  owner.Lines.Add("");
  owner.Lines.Add("");
  TOndWordWrapPlugin wrap(&owner);
  EXPECT_EQ(wrap.RowCount(), 3);
  EXPECT_EQ(RowsOf(wrap), (std::vector<int>{0, 0, 0}));

  // Rows count display columns of the tab-expanded text.
  owner.Lines.Clear();
  owner.Lines.SetTabWidth(8);
  owner.Lines.Add("\t\t\tabcd");  // 28 columns
  wrap.Reset();
  EXPECT_EQ(RowsOf(wrap), (std::vector<int>{20, 8}));

  // A highlighter whose identifier characters leave out "-" breaks there.
  owner.Lines.Clear();
  owner.Lines.Add(std::string(16, 'a') + "-" + std::string(10, 'b'));
  owner.Ident.Exclude('-');
  wrap.Reset();
  EXPECT_EQ(RowsOf(wrap), (std::vector<int>{16, 11}));
}

TEST(WordWrap, MapsBufferAndDisplayPositions) {
  FakeOwner owner;
  owner.Lines.Add(std::string(25, 'x'));  // rows 20 and 5
  owner.Lines.Add("short");
  TOndWordWrapPlugin wrap(&owner);
  ASSERT_EQ(RowsOf(wrap), (std::vector<int>{20, 5, 5}));
  EXPECT_EQ(wrap.BufferPosToDisplayPos(BufferCoord(20, 1)), DisplayCoord(20, 1));
  EXPECT_EQ(wrap.BufferPosToDisplayPos(BufferCoord(21, 1)), DisplayCoord(1, 2));
  EXPECT_EQ(wrap.BufferPosToDisplayPos(BufferCoord(26, 1)), DisplayCoord(6, 2));  // just after the text
  EXPECT_EQ(wrap.BufferPosToDisplayPos(BufferCoord(40, 1)), DisplayCoord(20, 2));
  EXPECT_EQ(wrap.BufferPosToDisplayPos(BufferCoord(3, 2)), DisplayCoord(3, 3));
  EXPECT_EQ(wrap.DisplayPosToBufferPos(DisplayCoord(30, 1)), BufferCoord(21, 1));
  EXPECT_EQ(wrap.DisplayPosToBufferPos(DisplayCoord(30, 2)), BufferCoord(41, 1));
  EXPECT_EQ(wrap.DisplayPosToBufferPos(DisplayCoord(4, 2)), BufferCoord(24, 1));
  EXPECT_EQ(wrap.DisplayPosToBufferPos(DisplayCoord(2, 3)), BufferCoord(2, 2));
  // Past the laid-out lines rows and lines map one to one.
  EXPECT_EQ(wrap.BufferPosToDisplayPos(BufferCoord(7, 4)), DisplayCoord(7, 5));
  EXPECT_EQ(wrap.DisplayPosToBufferPos(DisplayCoord(7, 5)), BufferCoord(7, 4));
  // Positions below 1 are taken as 1.
  EXPECT_EQ(wrap.BufferPosToDisplayPos(BufferCoord(0, 0)), DisplayCoord(1, 1));
  EXPECT_EQ(wrap.RowLength(2), 5);
  EXPECT_THROW(wrap.RowLength(0), EListError);
  EXPECT_THROW(wrap.RowLength(4), EListError);
}

TEST(WordWrap, NeedsAnOwnerAndClampsTheWidth) {
  try {
    TOndWordWrapPlugin wrap(nullptr);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "TOndWordWrapPlugin must be owned by TCustomOndEdit");
  }
  FakeOwner owner;
  owner.Lines.Add("abcdef");
  owner.Width = 0;  // a panel squeezed to nothing
  TOndWordWrapPlugin wrap(&owner);
  EXPECT_EQ(wrap.MaxRowLength(), 1);
  EXPECT_EQ(wrap.MinRowLength(), 1);
  EXPECT_EQ(wrap.RowCount(), 6);
  owner.Width = -5;
  wrap.DisplayChanged();
  EXPECT_EQ(wrap.RowCount(), 6);
  owner.Width = 1000;
  wrap.DisplayChanged();
  EXPECT_EQ(wrap.MaxRowLength(), 255);
  EXPECT_EQ(wrap.RowCount(), 1);
  owner.Lines.Add(std::string(600, 'z'));
  wrap.LinesInserted(1, 1);
  EXPECT_EQ(RowsOf(wrap), (std::vector<int>{6, 255, 255, 90}));
}

// Asks a fresh layout of the same buffer and Wrap the same questions, without
// looking at Wrap's tables (which would set them straight first).
void ExpectAnswersAsFresh(FakeOwner& Owner, const TOndWordWrapPlugin& Wrap) {
  TOndWordWrapPlugin fresh(&Owner);
  ASSERT_EQ(Wrap.RowCount(), fresh.RowCount());
  for (int row = 1; row <= fresh.RowCount(); ++row) {
    ASSERT_EQ(Wrap.RowLength(row), fresh.RowLength(row)) << "row " << row;
    for (int column : {1, 5, 13})
      ASSERT_EQ(Wrap.DisplayPosToBufferPos(DisplayCoord(column, row)),
                fresh.DisplayPosToBufferPos(DisplayCoord(column, row)))
          << "row " << row << ", column " << column;
  }
  for (int line = 1; line <= Owner.Lines.GetCount() + 1; ++line)
    for (int chr : {1, 12, 13, 30})
      ASSERT_EQ(Wrap.BufferPosToDisplayPos(BufferCoord(chr, line)), fresh.BufferPosToDisplayPos(BufferCoord(chr, line)))
          << "line " << line << ", char " << chr;
}

// Builds a fresh layout of the same buffer and compares.
void ExpectSameAsFresh(FakeOwner& Owner, const TOndWordWrapPlugin& Wrap) {
  TOndWordWrapPlugin fresh(&Owner);
  ASSERT_EQ(Wrap.LineOffsets(), fresh.LineOffsets());
  ASSERT_EQ(Wrap.RowLengths(), fresh.RowLengths());
}

TEST(WordWrap, FollowsInsertsDeletesAndChanges) {
  FakeOwner owner;
  owner.Width = 12;
  std::mt19937 rng(7);
  auto randomLine = [&rng] {
    std::string s;
    const int n = static_cast<int>(rng() % 60);
    for (int i = 0; i < n; ++i) s.push_back(rng() % 5 == 0 ? ' ' : static_cast<char>('a' + rng() % 26));
    // Some lines gain a tab, so typing turns lines with and without tabs
    // into one another.
    if (n > 0 && rng() % 4 == 0) s[rng() % static_cast<unsigned>(n)] = '\t';
    return s;
  };
  for (int i = 0; i < 30; ++i) owner.Lines.Add(randomLine());
  TOndWordWrapPlugin wrap(&owner);
  int typedAt = 0;
  for (int step = 0; step < 600; ++step) {
    const int count = owner.Lines.GetCount();
    switch (rng() % 5) {
      case 0: {
        const int at = static_cast<int>(rng() % static_cast<unsigned>(count + 1));
        const int n = 1 + static_cast<int>(rng() % 3);
        for (int k = 0; k < n; ++k) owner.Lines.Insert(at, randomLine());
        wrap.LinesInserted(at, n);
        break;
      }
      case 1:
        if (count > 0) {
          const int at = static_cast<int>(rng() % static_cast<unsigned>(count));
          const int n = 1 + static_cast<int>(rng() % 3);
          const int removed = std::min(n, count - at);
          owner.Lines.DeleteLineRange(at, n);
          const std::int32_t rowsBefore = wrap.RowCount();
          const std::int32_t delta = wrap.LinesDeleted(at, n);
          EXPECT_EQ(wrap.RowCount(), rowsBefore + delta);
          EXPECT_EQ(wrap.LineCount(), owner.Lines.GetCount());
          (void)removed;
        }
        break;
      case 2:
        if (count > 0) {
          const int at = static_cast<int>(rng() % static_cast<unsigned>(count));
          owner.Lines.Put(at, randomLine());
          wrap.LinesChanged(at, 1);
        }
        break;
      default:
        // Typing: the same line changes again and again, its row count
        // going up and down.
        if (count > 0) {
          typedAt = std::min(typedAt, count - 1);
          for (unsigned k = rng() % 4; k > 0; --k) {
            owner.Lines.Put(typedAt, randomLine());
            wrap.LinesChanged(typedAt, 1);
          }
          if (rng() % 3 == 0) typedAt = static_cast<int>(rng() % static_cast<unsigned>(count));
        }
    }
    ExpectAnswersAsFresh(owner, wrap);
    if (step % 8 == 0) ExpectSameAsFresh(owner, wrap);
    if (HasFatalFailure()) return;
  }
  // Notifications outside the laid-out lines change nothing.
  const auto offsets = wrap.LineOffsets();
  EXPECT_EQ(wrap.LinesChanged(-1, 1), 0);
  EXPECT_EQ(wrap.LinesChanged(owner.Lines.GetCount(), 1), 0);
  EXPECT_EQ(wrap.LinesDeleted(owner.Lines.GetCount() + 3, 1), 0);
  EXPECT_EQ(wrap.LinesInserted(owner.Lines.GetCount() + 1, 1), 0);
  EXPECT_EQ(wrap.LinesInserted(0, 0), 0);
  EXPECT_EQ(wrap.LineOffsets(), offsets);
}

// Typing and line breaks in the middle of a long text: each edit wraps the
// lines it changed, once, and moves no line offsets but a handful, however
// many lines follow.
TEST(WordWrap, AnEditCostsOnlyItsOwnLines) {
  FakeOwner owner;
  owner.Width = 30;
  constexpr int kLines = 20000, kAt = kLines / 2;
  for (int i = 0; i < kLines; ++i) owner.Lines.Add(i % 3 == 0 ? "a line that takes two rows at thirty columns" : "short");
  TOndWordWrapPlugin wrap(&owner);
  ASSERT_GT(wrap.RowCount(), kLines);
  // The first edit here brings the gaps of the tables to it.
  owner.Lines.Insert(kAt, "x");
  wrap.LinesInserted(kAt, 1);
  const std::int64_t moved = wrap.OffsetsMoved(), wrapped = wrap.LinesWrapped();
  constexpr int kEdits = 50;
  for (int k = 0; k < kEdits; ++k) {
    // A key that adds a row to the line, one that takes it away again, one
    // that keeps the count, then a line break and its undoing.
    owner.Lines.Put(kAt, std::string(40, 'w'));
    EXPECT_EQ(wrap.LinesChanged(kAt, 1), 1);
    owner.Lines.Put(kAt, "x");
    EXPECT_EQ(wrap.LinesChanged(kAt, 1), -1);
    owner.Lines.Put(kAt, "y");
    EXPECT_EQ(wrap.LinesChanged(kAt, 1), 0);
    owner.Lines.Insert(kAt + 1, std::string(70, 'n'));
    EXPECT_EQ(wrap.LinesInserted(kAt + 1, 1), 3);
    owner.Lines.Delete(kAt + 1);
    EXPECT_EQ(wrap.LinesDeleted(kAt + 1, 1), -3);
  }
  EXPECT_EQ(wrap.LinesWrapped() - wrapped, 4 * kEdits);
  EXPECT_LE(wrap.OffsetsMoved() - moved, 8 * kEdits);
  ExpectSameAsFresh(owner, wrap);
}

// A change from a column on leaves the rows whose breaks were looked for
// before it: a row of width 20 looks up to 20 columns after its start.
TEST(WordWrap, FirstRowAChangeReaches) {
  FakeOwner owner;
  owner.Lines.Add("x");
  owner.Lines.Add(std::string(50, 'a'));  // rows of 20, 20 and 10
  TOndWordWrapPlugin wrap(&owner);
  const std::pair<int, int> cases[] = {{0, 2}, {20, 2}, {21, 3}, {40, 3}, {41, 4}, {50, 4}, {70, 4}};
  for (const auto& [column, row] : cases) EXPECT_EQ(wrap.FirstRowReaching(1, column), row) << column;
  EXPECT_EQ(wrap.FirstRowReaching(0, 5), 1);
  EXPECT_EQ(wrap.FirstRowReaching(2, 0), 0);
  EXPECT_EQ(wrap.FirstRowReaching(-1, 0), 0);
}

TEST(WordWrap, ChangeReportsRowDifference) {
  FakeOwner owner;
  owner.Lines.Add("one");
  owner.Lines.Add("two");
  TOndWordWrapPlugin wrap(&owner);
  // Until the layout is made there is nothing to change: it is made from the
  // buffer as it is when first asked.
  owner.Lines.Put(1, std::string(25, 't'));
  EXPECT_FALSE(wrap.LaidOut());
  EXPECT_EQ(wrap.LinesChanged(1, 1), 0);
  EXPECT_EQ(wrap.RowCount(), 3);
  EXPECT_TRUE(wrap.LaidOut());
  owner.Lines.Put(1, "two");
  EXPECT_EQ(wrap.LinesChanged(1, 1), -1);
  owner.Lines.Put(0, std::string(45, 'q'));
  EXPECT_EQ(wrap.LinesChanged(0, 1), 2);
  EXPECT_EQ(wrap.LineOffsets(), (std::vector<std::int32_t>{3, 4}));
  owner.Lines.Put(0, "x");
  EXPECT_EQ(wrap.LinesChanged(0, 1), -2);
  EXPECT_EQ(wrap.LinesChanged(1, 1), 0);
  owner.Lines.Clear();
  wrap.Reset();
  EXPECT_EQ(wrap.RowCount(), 0);
  EXPECT_EQ(wrap.BufferPosToDisplayPos(BufferCoord(4, 2)), DisplayCoord(4, 2));
}

}  // namespace
}  // namespace ond
