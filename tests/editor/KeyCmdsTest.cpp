#include <gtest/gtest.h>

#include <set>

#include "editor/OndEditKeyCmds.h"

namespace ond {
namespace {

TOndEditorCommand CommandOf(const TOndEditKeyStrokes& k, int index) {
  return index < 0 ? ecNone : k.Items(index).GetCommand();
}

TEST(KeyCmds, IdentifierTableBothWays) {
  const auto& table = EditorCommandIdents();
  ASSERT_EQ(table.size(), 101u);
  EXPECT_EQ(table.front().Command, ecNone);
  EXPECT_STREQ(table.back().Ident, "ecString");
  // Every code and every identifier occurs once, and each maps back to itself.
  std::set<TOndEditorCommand> codes;
  std::set<std::string> idents;
  for (const auto& e : table) {
    codes.insert(e.Command);
    idents.insert(e.Ident);
    std::string ident;
    ASSERT_TRUE(CommandToIdent(e.Command, ident));
    EXPECT_EQ(ident, e.Ident);
    TOndEditorCommand back = 0xFFFF;
    ASSERT_TRUE(IdentToCommand(e.Ident, back));
    EXPECT_EQ(back, e.Command);
  }
  EXPECT_EQ(codes.size(), 101u);
  EXPECT_EQ(idents.size(), 101u);

  // Selecting twins are 100 above their moves.
  std::string ident;
  for (TOndEditorCommand c = ecLeft; c <= ecGotoXY; ++c) {
    ASSERT_TRUE(CommandToIdent(c + 100, ident));
    std::string plain;
    ASSERT_TRUE(CommandToIdent(c, plain));
    EXPECT_EQ(ident, "ecSel" + plain.substr(2));
  }

  EXPECT_EQ(CommandToCodeText(ecUserFirst), "ecUserFirst");
  EXPECT_EQ(CommandToCodeText(905), "905");
  EXPECT_EQ(CommandToCodeText(0), "ecNone");
  EXPECT_EQ(CommandToCodeText(65535), "65535");
  EXPECT_FALSE(CommandToIdent(624, ident));
  TOndEditorCommand c = 7;
  EXPECT_FALSE(IdentToCommand("ecNoSuchThing", c));
  EXPECT_FALSE(IdentToCommand("", c));
  EXPECT_EQ(c, 7);
  EXPECT_TRUE(IdentToCommand("ECCOPY", c));
  EXPECT_EQ(c, ecCopy);
}

TEST(KeyCmds, ShortCutPackingAndText) {
  EXPECT_EQ(ShortCut('C', ssCtrl), 0x4043);
  EXPECT_EQ(ShortCut(VK_DELETE, ssShift), 0x202E);
  EXPECT_EQ(ShortCut(VK_BACK, ssAlt | ssShift), 0xA008);
  EXPECT_EQ(ShortCut(0x100, 0), 0);
  std::uint16_t key = 0;
  TShiftState shift = 0;
  ShortCutToKey(0xE041, key, shift);
  EXPECT_EQ(key, 'A');
  EXPECT_EQ(shift, ssShift | ssCtrl | ssAlt);
  ShortCutToKey(0, key, shift);
  EXPECT_EQ(key, 0);
  EXPECT_EQ(shift, 0);

  EXPECT_EQ(ShortCutToText(ShortCut('C', ssCtrl)), "Ctrl+C");
  EXPECT_EQ(ShortCutToText(ShortCut(VK_INSERT, ssShift)), "Shift+Ins");
  EXPECT_EQ(ShortCutToText(ShortCut(VK_BACK, ssAlt | ssShift | ssCtrl)), "Shift+Ctrl+Alt+BkSp");
  EXPECT_EQ(ShortCutToText(ShortCut(VK_NEXT, 0)), "PgDn");
  EXPECT_EQ(ShortCutToText(ShortCut(VK_F1 + 11, 0)), "F12");
  EXPECT_EQ(ShortCutToText(ShortCut(0x63, 0)), "3");  // keypad digit
  EXPECT_EQ(ShortCutToText(0), "");
  EXPECT_EQ(ShortCutToText(ShortCut(0xBA, ssCtrl)), "");  // no name for it
}

TEST(KeyCmds, DefaultTableLookups) {
  TOndEditKeyStrokes k;
  k.AddKey(ecCopy, 'Q', 0);
  k.ResetDefaults();  // clears what was there
  ASSERT_EQ(k.Count(), 82);
  EXPECT_EQ(k.FindKeyBinding('Q', 0), -1);

  // First and last rows in table order.
  EXPECT_EQ(k.Items(0).GetCommand(), ecUp);
  EXPECT_EQ(k.Items(0).Key, VK_UP);
  EXPECT_EQ(k.Items(81).GetCommand(), ecMatchBracket);
  EXPECT_EQ(k.Items(81).Shift, ssCtrl | ssShift);
  for (int i = 0; i < k.Count(); ++i) {
    EXPECT_EQ(k.Items(i).Key2, 0);
    EXPECT_EQ(k.Items(i).Shift2, 0);
    // No row is shadowed by an earlier one with the same keys.
    EXPECT_EQ(k.FindKeyBinding(k.Items(i).Key, k.Items(i).Shift), i);
  }

  EXPECT_EQ(CommandOf(k, k.FindKeyBinding(VK_BACK, ssAlt)), ecUndo);
  EXPECT_EQ(CommandOf(k, k.FindKeyBinding(VK_BACK, ssAlt | ssShift)), ecRedo);
  EXPECT_EQ(CommandOf(k, k.FindKeyBinding('Z', ssCtrl | ssShift)), ecRedo);
  EXPECT_EQ(CommandOf(k, k.FindKeyBinding('Z', ssCtrl)), ecUndo);
  EXPECT_EQ(CommandOf(k, k.FindKeyBinding(VK_BACK, 0)), ecDeleteLastChar);
  EXPECT_EQ(CommandOf(k, k.FindKeyBinding(VK_BACK, ssShift)), ecDeleteLastChar);
  EXPECT_EQ(CommandOf(k, k.FindKeyBinding(VK_RETURN, 0)), ecLineBreak);
  EXPECT_EQ(CommandOf(k, k.FindKeyBinding(VK_RETURN, ssShift)), ecLineBreak);
  EXPECT_EQ(CommandOf(k, k.FindKeyBinding(VK_INSERT, ssCtrl)), ecCopy);
  EXPECT_EQ(CommandOf(k, k.FindKeyBinding(VK_DELETE, ssShift)), ecCut);
  EXPECT_EQ(CommandOf(k, k.FindKeyBinding(VK_NEXT, ssCtrl | ssShift)), ecSelPageBottom);
  EXPECT_EQ(CommandOf(k, k.FindKeyBinding(VK_PRIOR, ssCtrl)), ecPageTop);
  EXPECT_EQ(CommandOf(k, k.FindKeyBinding('0', ssCtrl)), ecGotoMarker0);
  EXPECT_EQ(CommandOf(k, k.FindKeyBinding('9', ssCtrl | ssShift)), ecSetMarker9);
  EXPECT_EQ(CommandOf(k, k.FindKeyBinding('C', ssCtrl | ssShift)), ecColumnSelect);
  EXPECT_EQ(CommandOf(k, k.FindKeyBinding(VK_F1, 0)), ecContextHelp);
  // Modifier sets must match exactly.
  EXPECT_EQ(k.FindKeyBinding('C', 0), -1);
  EXPECT_EQ(k.FindKeyBinding('C', ssCtrl | ssAlt), -1);

  EXPECT_EQ(k.Items(k.FindKeyBinding('C', ssCtrl)).GetDisplayName(), "ecCopy - Ctrl+C");
}

TEST(KeyCmds, ChordsVersusSingleKeys) {
  TOndEditKeyStrokes k;
  k.ResetDefaults();
  TOndEditKeyStroke& chord = k.Add();
  chord.SetCommand(ecMatchBracket);
  chord.SetShortCut(ShortCut('K', ssCtrl));
  chord.SetShortCut2(ShortCut('B', 0));
  const int chordIndex = k.Count() - 1;
  EXPECT_EQ(chord.GetIndex(), chordIndex);
  EXPECT_EQ(chord.Key, 'K');
  EXPECT_EQ(chord.Shift, ssCtrl);
  EXPECT_EQ(chord.Key2, 'B');

  // The single-key lookup never sees a chord, the chord lookups see it.
  EXPECT_EQ(k.FindKeyBinding('K', ssCtrl), -1);
  EXPECT_EQ(k.FindTwoKeyBinding('K', ssCtrl, 'B', 0), chordIndex);
  EXPECT_EQ(k.FindTwoKeyBinding('K', ssCtrl, 'B', ssShift), -1);
  EXPECT_EQ(k.FindTwoKeyShortcut(ShortCut('K', ssCtrl), ShortCut('B', 0)), chordIndex);
  // A single key is a "chord" with a zero second key.
  EXPECT_EQ(CommandOf(k, k.FindTwoKeyBinding('A', ssCtrl, 0, 0)), ecSelectAll);
  EXPECT_EQ(CommandOf(k, k.FindTwoKeyShortcut(ShortCut('A', ssCtrl), 0)), ecSelectAll);
  EXPECT_EQ(chord.GetDisplayName(), "ecMatchBracket - Ctrl+K B");

  // A chord whose first key is also a single binding does not hide it. Its
  // second key goes in first: Ctrl+C alone would duplicate ecCopy.
  TOndEditKeyStroke& chord2 = k.Add();
  chord2.SetCommand(ecUpperCase);
  EXPECT_THROW(chord2.SetShortCut(ShortCut('C', ssCtrl)), EOndKeyError);
  chord2.SetShortCut2(ShortCut('U', 0));
  chord2.SetShortCut(ShortCut('C', ssCtrl));
  EXPECT_EQ(CommandOf(k, k.FindKeyBinding('C', ssCtrl)), ecCopy);
  EXPECT_EQ(CommandOf(k, k.FindTwoKeyBinding('C', ssCtrl, 'U', 0)), ecUpperCase);

  // First match wins in collection order.
  k.AddKey(ecCut, 'A', ssCtrl);
  EXPECT_EQ(CommandOf(k, k.FindKeyBinding('A', ssCtrl)), ecSelectAll);
}

TEST(KeyCmds, DuplicateShortcutIsRefused) {
  TOndEditKeyStrokes k;
  TOndEditKeyStroke& first = k.Add();
  first.SetCommand(ecCopy);
  first.SetShortCut(ShortCut('C', ssCtrl));
  TOndEditKeyStroke& second = k.Add();
  second.SetCommand(ecPaste);
  second.SetShortCut(ShortCut('V', ssCtrl));

  try {
    second.SetShortCut(ShortCut('C', ssCtrl));
    FAIL() << "duplicate accepted";
  } catch (const EOndKeyError& e) {
    EXPECT_STREQ(e.what(), "Shortcut already exists");
  }
  EXPECT_EQ(second.Key, 'V');  // keeps its previous keys
  EXPECT_EQ(second.Shift, ssCtrl);

  // Setting the value a binding already holds is no duplicate.
  EXPECT_NO_THROW(first.SetShortCut(ShortCut('C', ssCtrl)));
  // Zero is never refused, even when it makes two bindings equal.
  EXPECT_NO_THROW(second.SetShortCut(0));
  TOndEditKeyStroke& third = k.Add();
  EXPECT_NO_THROW(third.SetShortCut(0));

  // The pair counts: Ctrl+C then X is not Ctrl+C alone.
  EXPECT_NO_THROW(second.SetShortCut2(ShortCut('X', 0)));
  EXPECT_NO_THROW(second.SetShortCut(ShortCut('C', ssCtrl)));
  EXPECT_EQ(second.Key, 'C');
  // Clearing a second key is not refused, though Ctrl+C alone is now there twice.
  EXPECT_NO_THROW(second.SetShortCut2(0));
  // A second key that completes another binding's chord is refused.
  TOndEditKeyStroke& fourth = k.Add();
  fourth.SetShortCut(ShortCut('K', ssCtrl));
  fourth.SetShortCut2(ShortCut('B', 0));
  TOndEditKeyStroke& fifth = k.Add();
  fifth.SetShortCut(ShortCut('K', ssCtrl));
  EXPECT_THROW(fifth.SetShortCut2(ShortCut('B', 0)), EOndKeyError);
  EXPECT_EQ(fifth.Key2, 0);

  // Direct field writes and AddKey skip the check.
  EXPECT_NO_THROW(k.AddKey(ecCut, 'C', ssCtrl));
  fifth.Key2 = 'B';
  EXPECT_EQ(k.FindTwoKeyBinding('K', ssCtrl, 'B', 0), fourth.GetIndex());
}

TEST(KeyCmds, AssignCopiesAndDetaches) {
  TOndEditKeyStrokes a;
  a.ResetDefaults();
  a.Add().SetCommand(ecUpperCase);
  a.Items(82).Key = 'K';
  a.Items(82).Shift = ssCtrl;
  a.Items(82).Key2 = 'U';
  a.Items(82).Shift2 = ssShift;

  TOndEditKeyStrokes b;
  b.AddKey(ecCut, 'Q', 0);
  b.Assign(a);
  ASSERT_EQ(b.Count(), 83);
  for (int i = 0; i < b.Count(); ++i) {
    EXPECT_EQ(b.Items(i).GetCommand(), a.Items(i).GetCommand());
    EXPECT_EQ(b.Items(i).GetShortCut(), a.Items(i).GetShortCut());
    EXPECT_EQ(b.Items(i).GetShortCut2(), a.Items(i).GetShortCut2());
    EXPECT_EQ(b.Items(i).GetCollection(), &b);
  }
  EXPECT_EQ(b.Items(82).Shift2, ssShift);
  // The copy is independent, and its duplicate checks look at its own items.
  b.Items(0).SetCommand(ecNone);
  EXPECT_EQ(a.Items(0).GetCommand(), ecUp);
  a.Clear();
  EXPECT_THROW(b.Items(1).SetShortCut(ShortCut(VK_UP, 0)), EOndKeyError);

  b.Assign(b);
  EXPECT_EQ(b.Count(), 83);
  b.Delete(0);
  EXPECT_EQ(b.Count(), 82);
  EXPECT_THROW(b.Items(82), EListError);
  EXPECT_THROW(b.Delete(-1), EListError);
}

}  // namespace
}  // namespace ond
