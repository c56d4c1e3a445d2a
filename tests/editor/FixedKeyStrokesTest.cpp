// Keystroke tables that hold a fixed list (the defaults every editor starts
// with, a panel's own) answer as the items they stand for: the same entries in
// the same order, the same lookups, and each table changes apart from every
// other.
#include <gtest/gtest.h>

#include <vector>

#include "editor/OndEditKeyCmds.h"

namespace ond {
namespace {

struct Row {
  TOndEditorCommand Command;
  std::uint16_t Key;
  TShiftState Shift;
};

// The default bindings as every editor has always had them.
const std::vector<Row>& OldDefaults() {
  static const std::vector<Row> rows = {
      {ecUp, VK_UP, 0},
      {ecSelUp, VK_UP, ssShift},
      {ecScrollUp, VK_UP, ssCtrl},
      {ecDown, VK_DOWN, 0},
      {ecSelDown, VK_DOWN, ssShift},
      {ecScrollDown, VK_DOWN, ssCtrl},
      {ecLeft, VK_LEFT, 0},
      {ecSelLeft, VK_LEFT, ssShift},
      {ecWordLeft, VK_LEFT, ssCtrl},
      {ecSelWordLeft, VK_LEFT, ssCtrl | ssShift},
      {ecRight, VK_RIGHT, 0},
      {ecSelRight, VK_RIGHT, ssShift},
      {ecWordRight, VK_RIGHT, ssCtrl},
      {ecSelWordRight, VK_RIGHT, ssCtrl | ssShift},
      {ecPageDown, VK_NEXT, 0},
      {ecSelPageDown, VK_NEXT, ssShift},
      {ecPageBottom, VK_NEXT, ssCtrl},
      {ecSelPageBottom, VK_NEXT, ssCtrl | ssShift},
      {ecPageUp, VK_PRIOR, 0},
      {ecSelPageUp, VK_PRIOR, ssShift},
      {ecPageTop, VK_PRIOR, ssCtrl},
      {ecSelPageTop, VK_PRIOR, ssCtrl | ssShift},
      {ecLineStart, VK_HOME, 0},
      {ecSelLineStart, VK_HOME, ssShift},
      {ecEditorTop, VK_HOME, ssCtrl},
      {ecSelEditorTop, VK_HOME, ssCtrl | ssShift},
      {ecLineEnd, VK_END, 0},
      {ecSelLineEnd, VK_END, ssShift},
      {ecEditorBottom, VK_END, ssCtrl},
      {ecSelEditorBottom, VK_END, ssCtrl | ssShift},
      {ecToggleMode, VK_INSERT, 0},
      {ecCopy, VK_INSERT, ssCtrl},
      {ecCut, VK_DELETE, ssShift},
      {ecPaste, VK_INSERT, ssShift},
      {ecDeleteChar, VK_DELETE, 0},
      {ecDeleteLastChar, VK_BACK, 0},
      {ecDeleteLastChar, VK_BACK, ssShift},
      {ecDeleteLastWord, VK_BACK, ssCtrl},
      {ecUndo, VK_BACK, ssAlt},
      {ecRedo, VK_BACK, ssAlt | ssShift},
      {ecLineBreak, VK_RETURN, 0},
      {ecLineBreak, VK_RETURN, ssShift},
      {ecTab, VK_TAB, 0},
      {ecShiftTab, VK_TAB, ssShift},
      {ecContextHelp, VK_F1, 0},
      {ecSelectAll, 'A', ssCtrl},
      {ecCopy, 'C', ssCtrl},
      {ecPaste, 'V', ssCtrl},
      {ecCut, 'X', ssCtrl},
      {ecBlockIndent, 'I', ssCtrl | ssShift},
      {ecBlockUnindent, 'U', ssCtrl | ssShift},
      {ecLineBreak, 'M', ssCtrl},
      {ecInsertLine, 'N', ssCtrl},
      {ecDeleteWord, 'T', ssCtrl},
      {ecDeleteLine, 'Y', ssCtrl},
      {ecDeleteEOL, 'Y', ssCtrl | ssShift},
      {ecUndo, 'Z', ssCtrl},
      {ecRedo, 'Z', ssCtrl | ssShift},
      {ecGotoMarker0, '0', ssCtrl},
      {ecGotoMarker1, '1', ssCtrl},
      {ecGotoMarker2, '2', ssCtrl},
      {ecGotoMarker3, '3', ssCtrl},
      {ecGotoMarker4, '4', ssCtrl},
      {ecGotoMarker5, '5', ssCtrl},
      {ecGotoMarker6, '6', ssCtrl},
      {ecGotoMarker7, '7', ssCtrl},
      {ecGotoMarker8, '8', ssCtrl},
      {ecGotoMarker9, '9', ssCtrl},
      {ecSetMarker0, '0', ssCtrl | ssShift},
      {ecSetMarker1, '1', ssCtrl | ssShift},
      {ecSetMarker2, '2', ssCtrl | ssShift},
      {ecSetMarker3, '3', ssCtrl | ssShift},
      {ecSetMarker4, '4', ssCtrl | ssShift},
      {ecSetMarker5, '5', ssCtrl | ssShift},
      {ecSetMarker6, '6', ssCtrl | ssShift},
      {ecSetMarker7, '7', ssCtrl | ssShift},
      {ecSetMarker8, '8', ssCtrl | ssShift},
      {ecSetMarker9, '9', ssCtrl | ssShift},
      {ecNormalSelect, 'N', ssCtrl | ssShift},
      {ecColumnSelect, 'C', ssCtrl | ssShift},
      {ecLineSelect, 'L', ssCtrl | ssShift},
      {ecMatchBracket, 'B', ssCtrl | ssShift},
  };
  return rows;
}

// A table of the same rows built item by item.
void BuildByItems(TOndEditKeyStrokes& K, const std::vector<Row>& Rows) {
  K.Clear();
  for (const Row& r : Rows) K.AddKey(r.Command, r.Key, r.Shift);
}

void ExpectRows(const TOndEditKeyStrokes& K, const std::vector<Row>& Rows) {
  ASSERT_EQ(K.Count(), static_cast<int>(Rows.size()));
  for (int i = 0; i < K.Count(); ++i) {
    SCOPED_TRACE(i);
    const TOndEditKeyStroke& s = K.Items(i);
    EXPECT_EQ(s.GetCommand(), Rows[static_cast<std::size_t>(i)].Command);
    EXPECT_EQ(s.Key, Rows[static_cast<std::size_t>(i)].Key);
    EXPECT_EQ(s.Shift, Rows[static_cast<std::size_t>(i)].Shift);
    EXPECT_EQ(s.Key2, 0);
    EXPECT_EQ(s.Shift2, 0);
    EXPECT_EQ(s.GetIndex(), i);
    EXPECT_EQ(s.GetCollection(), &K);
  }
}

// Every lookup of every key and modifier set, and of chords, answers as on
// a table built item by item.
void ExpectSameLookups(const TOndEditKeyStrokes& Fixed, const TOndEditKeyStrokes& Built) {
  ASSERT_EQ(Fixed.Count(), Built.Count());
  for (int key = 0; key < 256; ++key)
    for (TShiftState shift = 0; shift < 8; ++shift) {
      const auto k = static_cast<std::uint16_t>(key);
      ASSERT_EQ(Fixed.FindKeyBinding(k, shift), Built.FindKeyBinding(k, shift)) << key << " " << int(shift);
      ASSERT_EQ(Fixed.FindTwoKeyBinding(k, shift, 0, 0), Built.FindTwoKeyBinding(k, shift, 0, 0));
      ASSERT_EQ(Fixed.FindTwoKeyBinding(k, shift, 'B', 0), Built.FindTwoKeyBinding(k, shift, 'B', 0));
      ASSERT_EQ(Fixed.FindTwoKeyShortcut(ShortCut(k, shift), 0), Built.FindTwoKeyShortcut(ShortCut(k, shift), 0));
      ASSERT_EQ(Fixed.FindTwoKeyShortcut(ShortCut(k, shift), ShortCut('U', ssShift)),
                Built.FindTwoKeyShortcut(ShortCut(k, shift), ShortCut('U', ssShift)));
    }
}

TEST(FixedKeyStrokes, DefaultsAreTheBindingsEditorsHaveAlwaysHad) {
  TOndEditKeyStrokes fixed, built;
  fixed.AddKey(ecCopy, 'Q', 0);
  fixed.ResetDefaults();
  BuildByItems(built, OldDefaults());
  // Lookups first, while the table still answers from its fixed list.
  ExpectSameLookups(fixed, built);
  ExpectRows(fixed, OldDefaults());
  // Now made into items, it still answers the same.
  ExpectSameLookups(fixed, built);
}

// A list with a key bound twice (the first binding wins) and a chord key
// that is no binding of its own.
const TOndKeyBinding kTwice[] = {
    {ecCopy, 'C', ssCtrl}, {ecCut, 'X', ssCtrl}, {ecPaste, 'C', ssCtrl}, {ecUndo, 'Z', ssCtrl}, {ecNone, 0, 0},
};

TEST(FixedKeyStrokes, AFixedListAnswersAsItsItems) {
  std::vector<Row> rows;
  for (const TOndKeyBinding& b : kTwice) rows.push_back({b.Command, b.Key, b.Shift});
  TOndEditKeyStrokes fixed, built;
  fixed.AssignFixed(kTwice);
  BuildByItems(built, rows);
  ExpectSameLookups(fixed, built);
  EXPECT_EQ(fixed.FindKeyBinding('C', ssCtrl), 0);
  EXPECT_EQ(fixed.FindKeyBinding(0, 0), 4);
  ExpectRows(fixed, rows);
  ExpectSameLookups(fixed, built);

  // Assigned on, the list stays fixed in the copy too; an empty list is an
  // empty table.
  TOndEditKeyStrokes copy;
  copy.AddKey(ecRedo, 'R', 0);
  copy.Assign(fixed);
  ExpectRows(copy, rows);
  copy.AssignFixed({});
  EXPECT_EQ(copy.Count(), 0);
  EXPECT_EQ(copy.FindKeyBinding('C', ssCtrl), -1);
  EXPECT_THROW(copy.Items(0), EListError);
}

// Tables given the same list change apart: adding, deleting, rebinding or
// clearing one leaves the others and the list as they were.
TEST(FixedKeyStrokes, ChangingOneTableLeavesTheOthers) {
  TOndEditKeyStrokes a, b, c, d;
  a.ResetDefaults();
  b.ResetDefaults();
  c.Assign(a);
  a.Items(0).Key = VK_F24;
  EXPECT_EQ(a.FindKeyBinding(VK_F24, 0), 0);
  EXPECT_EQ(b.FindKeyBinding(VK_F24, 0), -1);
  EXPECT_EQ(c.FindKeyBinding(VK_UP, 0), 0);
  b.Delete(0);
  EXPECT_EQ(b.Count(), 81);
  EXPECT_EQ(b.FindKeyBinding(VK_UP, 0), -1);
  c.Add().SetCommand(ecUpperCase);
  EXPECT_EQ(c.Count(), 83);
  EXPECT_EQ(c.Items(82).GetCollection(), &c);
  // A duplicate is refused against the table's own bindings.
  EXPECT_THROW(c.Items(82).SetShortCut(ShortCut('C', ssCtrl)), EOndKeyError);
  EXPECT_NO_THROW(c.Items(82).SetShortCut(ShortCut(VK_F24, 0)));
  EXPECT_THROW(a.Add().SetShortCut(ShortCut(VK_F24, 0)), EOndKeyError);
  b.Clear();
  EXPECT_EQ(b.Count(), 0);
  d.ResetDefaults();
  ExpectRows(d, OldDefaults());
  TOndEditKeyStrokes e;
  e.Assign(a);  // copied item by item once made
  EXPECT_EQ(e.FindKeyBinding(VK_F24, 0), 0);
  EXPECT_EQ(e.Items(0).GetCollection(), &e);
}

}  // namespace
}  // namespace ond
