// Replace-all, its undo and redo, and replacing the selection, on a text
// with folds collapsed and expanded: the text behind every fold stays the
// user's, a collapsed header's marker never becomes text, and the fold marks
// follow the replaced text at once.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "editor/OndEdit.h"
#include "editor/OndEditKeyCmds.h"
#include "search/OndEditSearch.h"
#include "tests/editor/gui/LoadedEditor.h"

namespace ond {
namespace {

constexpr std::uint8_t kReplaceAll = ssoEntireScope | ssoReplace | ssoReplaceAll;

// An editor under the config files' scheme, its folds scanned, with the
// plain search engine.
struct FoldedEditor {
  explicit FoldedEditor(const std::string& Text) : Loaded(test::OpenLoaded(Text, true)), Ed(*Loaded->Edit) {
    Ed.SetSearchEngine(&Engine);
  }
  ~FoldedEditor() { Ed.SetSearchEngine(nullptr); }
  FoldedEditor(const FoldedEditor&) = delete;
  FoldedEditor& operator=(const FoldedEditor&) = delete;

  // Char 0: the end of the line.
  void Type(int Line, int Char, const std::string& Text) {
    if (Char == 0) Char = static_cast<int>(Ed.Lines()->GetView(Line - 1).size()) + 1;
    Ed.SetCaretXY(BufferCoord(Char, Line));
    for (char c : Text) Ed.CommandProcessor(ecChar, c, nullptr);
  }
  bool Collapse(int Line) { return Ed.CollapseFoldRange(Ed.FoldRangeAtLine(Line)); }
  bool Expand(int Line) { return Ed.ExpandFoldRange(Ed.FoldRangeAtLine(Line)); }
  void Undo() { Ed.CommandProcessor(ecUndo, '\0', nullptr); }
  void Redo() { Ed.CommandProcessor(ecRedo, '\0', nullptr); }
  std::string Text() const { return Ed.TextWithFoldsExpanded(); }
  // The ranges as a fresh scan of the text finds them (with nothing
  // collapsed, the two compare whole).
  std::string Tree() const { return test::FoldRangeList(Ed.AllFoldRanges(), true); }
  std::string FreshTree() const { return test::FoldRangeList(test::OpenLoaded(Text(), true)->Edit->AllFoldRanges(), true); }

  std::unique_ptr<test::LoadedEditor> Loaded;
  TOndEdit& Ed;
  TOndEditSearch Engine;
};

// A fold collapsed after a replace-all moves the lines its record holds;
// undo and redo find them all the same, whatever the fold did to the
// ranges around it (here a brace left open on the header line).
TEST(ReplaceAllFolds, UndoAndRedoFindTheirLinesBehindAFoldCollapsedSince) {
  FoldedEditor e("{{\r\n  \"a\": 1,\r\n  \"b\": 2,\r\n  \"c\": 3,\r\n  \"d\": \"x\"\r\n}");
  const std::string before = e.Text();
  EXPECT_EQ(e.Ed.SearchReplace("x", "y", kReplaceAll), 1);
  const std::string after = e.Text();
  ASSERT_TRUE(e.Collapse(1));
  e.Undo();
  EXPECT_EQ(e.Text(), before);
  e.Redo();
  EXPECT_EQ(e.Text(), after);
  ASSERT_TRUE(e.Collapse(1) || true);
  e.Undo();
  EXPECT_EQ(e.Text(), before);
  e.Ed.ExpandAll();
  EXPECT_EQ(e.Ed.Lines()->GetText(), before);
}

// A replacement holding a line break in the visible text of a collapsed
// header opens its fold first: the header's tail goes to a line of its own
// above the lines the fold hid, and no marker goes with it. The lines the
// fold hid were not searched, and are not afterwards either.
TEST(ReplaceAllFolds, ALineBreakInACollapsedHeaderOpensItsFold) {
  const std::string text = "{\r\n\"b\": { \"x\": 1,\r\n\"x\": { 1\r\n},\r\n\"x\": 2\r\n}";
  for (const std::uint8_t way : {std::uint8_t{0}, std::uint8_t{ssoBackwards}}) {
    SCOPED_TRACE(way ? "up" : "down");
    FoldedEditor e(text);
    ASSERT_TRUE(e.Collapse(2));
    if (way) e.Ed.SetCaretXY(BufferCoord(2, 4));
    EXPECT_EQ(e.Ed.SearchReplace("{", "{\r\n", kReplaceAll | way), 2);
    const std::string replaced = "{\r\n\r\n\"b\": {\r\n \"x\": 1,\r\n\"x\": { 1\r\n},\r\n\"x\": 2\r\n}";
    EXPECT_EQ(e.Text(), replaced);
    e.Ed.ExpandAll();
    EXPECT_EQ(e.Ed.Lines()->GetText(), replaced);
    e.Undo();
    EXPECT_EQ(e.Text(), text);
    e.Redo();
    EXPECT_EQ(e.Text(), replaced);
    e.Undo();
    e.Ed.ExpandAll();
    EXPECT_EQ(e.Ed.Lines()->GetText(), text);
  }
}

// The record of a replace-all holds no marker: an undo after the fold was
// opened gives back the header as it was.
TEST(ReplaceAllFolds, UndoAfterTheFoldOpenedPutsNoMarkerIntoTheHeader) {
  const std::string text = "{\r\n\"a\": {\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}";
  FoldedEditor e(text);
  e.Type(5, 0, "3");
  const std::string typed = e.Text();
  ASSERT_TRUE(e.Collapse(2));
  EXPECT_EQ(e.Ed.SearchReplace("{", "(", kReplaceAll), 2);
  const std::string replaced = e.Text();
  EXPECT_EQ(replaced, "(\r\n\"a\": (\r\n\"x\": 1\r\n},\r\n\"b\": 23\r\n}");
  ASSERT_TRUE(e.Expand(2));
  e.Type(2, 0, "4");
  e.Undo();
  EXPECT_EQ(e.Text(), replaced);
  e.Undo();
  EXPECT_EQ(e.Text(), typed);
  e.Undo();
  EXPECT_EQ(e.Text(), text);
  e.Ed.ExpandAll();
  EXPECT_EQ(e.Ed.Lines()->GetText(), text);
  for (int i = 0; i < 3; ++i) e.Redo();
  EXPECT_EQ(e.Text(), "(\r\n\"a\": (4\r\n\"x\": 1\r\n},\r\n\"b\": 23\r\n}");
}

// A replace-all, and its undo and redo, leave the fold marks as a fresh
// scan of the new text finds them, without a key edit after them.
TEST(ReplaceAllFolds, TheFoldMarksFollowAReplaceAllAndItsUndoAtOnce) {
  const std::string text = "{\r\n  \"a\": {\r\n    \"x\": 1\r\n  },\r\n  \"b\": [ 2,\r\n    3 ]\r\n}";
  for (const bool direct : {false, true}) {
    SCOPED_TRACE(direct ? "Undo() called" : "undo by command");
    FoldedEditor e(text);
    const std::string before = e.Tree();
    EXPECT_EQ(e.Ed.SearchReplace("{", "(", kReplaceAll), 2);
    EXPECT_EQ(e.Tree(), e.FreshTree());
    EXPECT_EQ(e.Ed.FoldRangeAtLine(1), nullptr);
    if (direct)
      e.Ed.Undo();
    else
      e.Undo();
    EXPECT_EQ(e.Tree(), before);
    if (direct)
      e.Ed.Redo();
    else
      e.Redo();
    EXPECT_EQ(e.Tree(), e.FreshTree());
  }
}

// Replacing the selection on a collapsed header, every way: the marker is
// neither taken nor put into, a line break that would split the header
// from its marker opens the fold first, and lines put before the whole
// header take it down whole. Undo and redo give back each text.
TEST(ReplaceAllFolds, ReplacingTheSelectionOnACollapsedHeaderKeepsTheMarkerOutOfTheText) {
  const std::string text = "{\r\n\"a\": { \"k\": 1,\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}";
  struct Case {
    const char* name;
    TBufferCoord begin, end;
    const char* insert;
    const char* expected;
    bool stillCollapsed;
  };
  // The header "a": { "k": 1, has 14 characters; its marker follows.
  const Case cases[] = {
      {"insert inside", {5, 2}, {5, 2}, "Q", "{\r\n\"a\":Q { \"k\": 1,\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}", true},
      {"insert at the end", {15, 2}, {15, 2}, "Q", "{\r\n\"a\": { \"k\": 1,Q\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}", true},
      {"insert in the marker", {17, 2}, {17, 2}, "Q", "{\r\n\"a\": { \"k\": 1,Q\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}",
       true},
      {"selection into the marker", {8, 2}, {18, 2}, "Q", "{\r\n\"a\": { Q\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}", true},
      {"line break inside", {7, 2}, {7, 2}, "\r\n",
       "{\r\n\"a\": {\r\n \"k\": 1,\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}", false},
      {"line break at the end", {15, 2}, {15, 2}, "\r\nQ",
       "{\r\n\"a\": { \"k\": 1,\r\nQ\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}", false},
      {"marker replaced by a line break", {15, 2}, {20, 2}, "\r\n",
       "{\r\n\"a\": { \"k\": 1,\r\n\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}", false},
      {"lines before the header", {1, 2}, {1, 2}, "z\r\n",
       "{\r\nz\r\n\"a\": { \"k\": 1,\r\n\"x\": 1\r\n},\r\n\"b\": 2\r\n}", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FoldedEditor e(text);
    ASSERT_TRUE(e.Collapse(2));
    e.Ed.SetOptions(e.Ed.GetOptions() | eoScrollPastEol);
    e.Ed.PlaceCaretAndSelection(c.end, c.begin, c.end);
    e.Ed.SetSelText(c.insert);
    EXPECT_EQ(e.Text(), c.expected);
    bool collapsed = false;
    for (const auto& r : e.Ed.AllFoldRanges().AllRangeList()) collapsed = collapsed || r->Collapsed;
    EXPECT_EQ(collapsed, c.stillCollapsed);
    e.Undo();
    EXPECT_EQ(e.Text(), text);
    e.Redo();
    EXPECT_EQ(e.Text(), c.expected);
    e.Ed.ExpandAll();
    EXPECT_EQ(e.Ed.Lines()->GetText(), c.expected);
    e.Undo();
    e.Ed.ExpandAll();
    EXPECT_EQ(e.Ed.Lines()->GetText(), text);
  }
}

}  // namespace
}  // namespace ond
