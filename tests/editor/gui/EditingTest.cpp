// Editing in the editor control: selection replacement in the three modes,
// the clipboard with the private block format, commands and keys, undo and
// redo (random sequences undone and redone exactly), bookmarks, tab, indent
// and case commands.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "editor/OndEdit.h"
#include "platform/Clipbrd.h"

namespace ond {
namespace {

std::unique_ptr<TOndEdit> MakeEditor() {
  auto ed = std::make_unique<TOndEdit>(nullptr);
  ed->SetBounds(0, 0, 400, 300);
  ed->SetMaxUndo(100000);
  return ed;
}

std::string Text(const TCustomOndEdit& ed) { return ed.Lines()->GetText(); }

void Type(TCustomOndEdit& ed, std::string_view s) {
  for (char c : s) {
    if (c == '\n')
      ed.CommandProcessor(ecLineBreak, '\r', nullptr);
    else
      ed.CommandProcessor(ecChar, c, nullptr);
  }
}

void UndoAll(TCustomOndEdit& ed) {
  for (int guard = 0; ed.UndoList()->HasRecords() && guard < 100000; ++guard) ed.Undo();
}
void RedoAll(TCustomOndEdit& ed) {
  for (int guard = 0; ed.RedoList()->HasRecords() && guard < 100000; ++guard) ed.Redo();
}

TEST(Editing, ReplaceSelectionInTheThreeModes) {
  auto ed = MakeEditor();
  ed->Lines()->SetText("abcdef\nghijkl\nmnopqr");
  // Normal: a two-line text in the middle of a line splits it.
  ed->SetCaretXY(BufferCoord(3, 1));
  ed->SetSelText("XY\r\nZ");
  EXPECT_EQ(Text(*ed), "abXY\r\nZcdef\r\nghijkl\r\nmnopqr");
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(2, 2));
  ed->Undo();
  EXPECT_EQ(Text(*ed), "abcdef\r\nghijkl\r\nmnopqr");

  // Column block: columns 2..4 on lines 1..3 deleted, then undone.
  ed->SetSelectionMode(smColumn);
  ed->PlaceCaretAndSelection(BufferCoord(4, 3), BufferCoord(2, 1), BufferCoord(4, 3));
  EXPECT_EQ(ed->GetSelText(), "bc\r\nhi\r\nno");
  ed->SetSelText("");
  EXPECT_EQ(Text(*ed), "adef\r\ngjkl\r\nmpqr");
  ed->Undo();
  EXPECT_EQ(Text(*ed), "abcdef\r\nghijkl\r\nmnopqr");

  // A column insert below the last line appends lines starting at the column.
  ed->SetCaretXY(BufferCoord(3, 3));
  ed->ReplaceSelection(smColumn, "1\n2\n3", true);
  EXPECT_EQ(Text(*ed), "abcdef\r\nghijkl\r\nmn1opqr\r\n  2\r\n  3");
  ed->Undo();
  EXPECT_EQ(Text(*ed), "abcdef\r\nghijkl\r\nmnopqr");

  // Line mode: whole lines go, and come back with one undo.
  ed->SetSelectionMode(smLine);
  ed->PlaceCaretAndSelection(BufferCoord(1, 2), BufferCoord(2, 1), BufferCoord(1, 2));
  ed->SetSelText("");
  EXPECT_EQ(Text(*ed), "mnopqr");
  ed->Undo();
  EXPECT_EQ(Text(*ed), "abcdef\r\nghijkl\r\nmnopqr");
}

TEST(Editing, ClipboardBlockFormatAndPasteModes) {
  auto ed = MakeEditor();
  ed->Lines()->SetText("one\ntwo\nthree");
  ed->SetSelectionMode(smColumn);
  ed->PlaceCaretAndSelection(BufferCoord(3, 3), BufferCoord(1, 1), BufferCoord(3, 3));
  ed->CopyToClipboard();
  const std::string block = Clipboard()->GetFormatData(TCustomOndEdit::BlockClipboardFormat());
  ASSERT_EQ(block.size(), std::string("on\r\ntw\r\nth").size() + 2);
  EXPECT_EQ(block[0], 2);
  EXPECT_EQ(block.back(), '\0');
  EXPECT_EQ(Clipboard()->GetAsText(), "on\r\ntw\r\nth");

  // Pasted as a column wherever the editor's mode is.
  ed->SetSelectionMode(smNormal);
  ed->SetCaretXY(BufferCoord(4, 1));
  ed->PasteFromClipboard();
  EXPECT_EQ(Text(*ed), "oneon\r\ntwotw\r\nthrthee");
  ed->Undo();
  EXPECT_EQ(Text(*ed), "one\r\ntwo\r\nthree");

  // An untrusted block: an unknown mode is normal, the text ends at the first zero.
  Clipboard()->Open();
  Clipboard()->Clear();
  Clipboard()->SetAsText("plain");
  Clipboard()->SetFormatData(TCustomOndEdit::BlockClipboardFormat(), std::string("\x07xy\0zz", 6));
  Clipboard()->Close();
  ed->SetCaretXY(BufferCoord(1, 1));
  ed->PasteFromClipboard();
  EXPECT_EQ(Text(*ed), "xyone\r\ntwo\r\nthree");
  ed->Undo();

  // Line-mode paste in overwrite mode replaces lines, except the last one.
  Clipboard()->Open();
  Clipboard()->Clear();
  Clipboard()->SetFormatData(TCustomOndEdit::BlockClipboardFormat(), std::string("\x01" "A\r\nB\r\n\0", 8));
  Clipboard()->Close();
  ed->SetInsertMode(false);
  ed->SetCaretXY(BufferCoord(2, 1));
  ed->PasteFromClipboard();
  EXPECT_EQ(Text(*ed), "A\r\nB\r\nthree");
  ed->Undo();
  EXPECT_EQ(Text(*ed), "one\r\ntwo\r\nthree");
  ed->SetInsertMode(true);

  // Copying nothing leaves the clipboard as it is; read-only blocks cut and paste.
  ed->SetCaretXY(BufferCoord(1, 1));
  ed->CopyToClipboard();
  EXPECT_TRUE(Clipboard()->HasFormat(TCustomOndEdit::BlockClipboardFormat()));
  ed->SetReadOnly(true);
  EXPECT_FALSE(ed->CanPaste());
  ed->PasteFromClipboard();
  EXPECT_EQ(Text(*ed), "one\r\ntwo\r\nthree");
}

// The caret stands on a line of the text, inside it or (scrolling past the
// line end) up to the widest allowed column; the selection's two ends are on
// lines of the text and come out ordered.
void ExpectCaretAndSelectionInPlace(const TCustomOndEdit& ed, int round, int step, int cmd) {
  const int count = std::max(1, ed.Lines()->GetCount());
  const auto width = [&](int line) {
    return line <= ed.Lines()->GetCount() ? static_cast<int>(ed.Lines()->GetView(line - 1).size()) : 0;
  };
  const int maxChar = [&](int line) {
    return (ed.GetOptions() & eoScrollPastEol) ? ed.GetMaxScrollWidth() + 1 : width(line) + 1;
  }(ed.GetCaretXY().Line);
  const TBufferCoord caret = ed.GetCaretXY();
  ASSERT_GE(caret.Line, 1) << "round " << round << " step " << step << " command " << cmd;
  ASSERT_LE(caret.Line, count) << "round " << round << " step " << step << " command " << cmd;
  ASSERT_GE(caret.Char, 1) << "round " << round << " step " << step << " command " << cmd;
  ASSERT_LE(caret.Char, maxChar) << "round " << round << " step " << step << " command " << cmd;
  const TBufferCoord b = ed.GetBlockBegin(), e = ed.GetBlockEnd();
  ASSERT_TRUE(b.Line < e.Line || (b.Line == e.Line && b.Char <= e.Char)) << "round " << round << " step " << step << " command " << cmd;
  for (const TBufferCoord& p : {b, e}) {
    ASSERT_GE(p.Line, 1) << "round " << round << " step " << step << " command " << cmd;
    ASSERT_LE(p.Line, count) << "round " << round << " step " << step << " command " << cmd;
    ASSERT_GE(p.Char, 1) << "round " << round << " step " << step << " command " << cmd;
  }
}

TEST(Editing, RandomEditsUndoAndRedoExactly) {
  std::mt19937 rng(1234);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  const TOndEditorCommand commands[] = {ecChar, ecChar, ecChar, ecLineBreak, ecDeleteLastChar, ecDeleteChar,
                                        ecDeleteWord, ecDeleteLastWord, ecDeleteBOL, ecDeleteEOL, ecDeleteLine,
                                        ecTab, ecShiftTab, ecBlockIndent, ecBlockUnindent, ecUpperCase,
                                        ecLowerCaseBlock, ecToggleCaseBlock, ecTitleCase, ecPaste, ecCut,
                                        ecInsertLine, ecImeStr};
  for (int round = 0; round < 400; ++round) {
    auto ed = MakeEditor();
    std::string start;
    const int lines = 1 + pick(6);
    for (int l = 0; l < lines; ++l) {
      if (l) start += "\r\n";
      const int n = pick(12);
      for (int i = 0; i < n; ++i) start += "ab cD\t_\xE0\xC1."[pick(10)];
    }
    ed->Lines()->SetText(start);
    ed->SetOptions(ed->GetOptions() ^ (round % 2 ? TOndEditorOptions(eoTabsToSpaces) : 0u) ^
                   (round % 3 ? 0u : TOndEditorOptions(eoTabIndent)) ^
                   (round % 5 ? 0u : TOndEditorOptions(eoTrimTrailingSpaces)) ^
                   (round % 7 ? 0u : TOndEditorOptions(eoScrollPastEol)));
    ed->SetInsertMode(round % 4 != 0);
    const std::string original = Text(*ed);
    for (int step = 0; step < 40; ++step) {
      // A random caret or selection in a random mode.
      const int count = std::max(1, ed->Lines()->GetCount());
      ed->SetSelectionMode(static_cast<TOndSelectionMode>(pick(3)));
      const TBufferCoord a = BufferCoord(1 + pick(14), 1 + pick(count));
      const TBufferCoord b = pick(2) ? a : BufferCoord(1 + pick(14), 1 + pick(count));
      ed->PlaceCaretAndSelection(b, a, b);
      const TOndEditorCommand cmd = commands[pick(static_cast<int>(std::size(commands)))];
      if (cmd == ecPaste) {
        Clipboard()->Open();
        Clipboard()->Clear();
        std::string data(1, static_cast<char>(pick(3)));
        data += pick(2) ? "x\r\nyz" : "q";
        data += '\0';
        Clipboard()->SetFormatData(TCustomOndEdit::BlockClipboardFormat(), data);
        Clipboard()->Close();
      }
      std::string ime = "ime";
      ed->CommandProcessor(cmd, static_cast<char>('a' + pick(26)), cmd == ecImeStr ? ime.data() : nullptr);
      ExpectCaretAndSelectionInPlace(*ed, round, step, cmd);
    }
    const std::string final = Text(*ed);
    UndoAll(*ed);
    ASSERT_EQ(Text(*ed), original) << "round " << round;
    RedoAll(*ed);
    ASSERT_EQ(Text(*ed), final) << "round " << round;
  }
}

TEST(Editing, TypingGroupsAndModifiedFollowsTheSavedMark) {
  auto ed = MakeEditor();
  ed->Lines()->SetText("x");
  Type(*ed, "abc");
  EXPECT_EQ(Text(*ed), "abcx");
  EXPECT_TRUE(ed->GetModified());
  ed->Undo();  // one step with eoGroupUndo
  EXPECT_EQ(Text(*ed), "x");
  Type(*ed, "ab");
  ed->CommandProcessor(ecRight, 0, nullptr);  // a group break
  Type(*ed, "c");
  ed->Undo();
  EXPECT_EQ(Text(*ed), "abx");
  ed->Undo();
  EXPECT_EQ(Text(*ed), "x");
  ed->Redo();
  ed->Redo();
  EXPECT_EQ(Text(*ed), "abxc");

  ed->SetModified(false);
  Type(*ed, "z");
  EXPECT_TRUE(ed->GetModified());
  ed->Undo();
  EXPECT_FALSE(ed->GetModified());
  ed->Undo();
  EXPECT_TRUE(ed->GetModified());
  ed->Redo();
  EXPECT_FALSE(ed->GetModified());
  ed->Redo();
  EXPECT_TRUE(ed->GetModified());

  // A new change empties the redo list.
  ed->Undo();
  EXPECT_TRUE(ed->RedoList()->HasRecords());
  Type(*ed, "q");
  EXPECT_FALSE(ed->RedoList()->HasRecords());
}

// Typing over text in overwrite mode groups into one undo step as typing in
// insert mode does, with the overwritten characters coming back; redo types
// them over again. Input-method strings and a selected character (what the
// panel selects before a key in overwrite mode) overwrite the same way.
TEST(Editing, OverwriteTypingUndoesInOneStep) {
  struct Case {
    const char* name;
    bool selectFirst;  // select the character under the caret before each key
    bool ime;
  };
  for (const Case c : {Case{"typed", false, false}, Case{"selected", true, false}, Case{"ime", false, true}}) {
    auto ed = MakeEditor();
    ed->Lines()->SetText("hello world");
    ed->SetInsertMode(false);
    ed->SetCaretXY(BufferCoord(2, 1));
    for (char ch : std::string("XYZ")) {
      if (c.selectFirst) ed->SetSelLength(1);
      std::string s(1, ch);
      if (c.ime)
        ed->CommandProcessor(ecImeStr, 0, s.data());
      else
        ed->CommandProcessor(ecChar, ch, nullptr);
    }
    EXPECT_EQ(Text(*ed), "hXYZo world") << c.name;
    ed->Undo();
    EXPECT_EQ(Text(*ed), "hello world") << c.name;
    EXPECT_FALSE(ed->UndoList()->HasRecords()) << c.name;
    ed->Redo();
    EXPECT_EQ(Text(*ed), "hXYZo world") << c.name;
    ed->Undo();
    EXPECT_EQ(Text(*ed), "hello world") << c.name;
  }
  // Past the line's end overwrite mode appends, in the same step.
  auto ed = MakeEditor();
  ed->Lines()->SetText("ab");
  ed->SetInsertMode(false);
  ed->SetCaretXY(BufferCoord(2, 1));
  Type(*ed, "XYZ");
  EXPECT_EQ(Text(*ed), "aXYZ");
  ed->Undo();
  EXPECT_EQ(Text(*ed), "ab");
  ed->Redo();
  EXPECT_EQ(Text(*ed), "aXYZ");
}

// Delete word with the caret among the blanks that end a line removes every
// blank up to the line's end, wherever among them the caret stands.
TEST(Editing, DeleteWordRemovesTrailingBlanksToTheLineEnd) {
  struct Case {
    const char* text;
    TBufferCoord caret;
    const char* expected;
  };
  const Case cases[] = {
      {"abc   \nnext", BufferCoord(4, 1), "abc\r\nnext"},
      {"abc   \nnext", BufferCoord(5, 1), "abc \r\nnext"},
      {"abc   \nnext", BufferCoord(6, 1), "abc  \r\nnext"},
      {"abc   ", BufferCoord(4, 1), "abc"},
      {"   \nnext", BufferCoord(1, 1), "\r\nnext"},
  };
  for (const Case& c : cases) {
    auto ed = MakeEditor();
    ed->Lines()->SetText(c.text);
    const std::string before = Text(*ed);
    ed->SetCaretXY(c.caret);
    ed->CommandProcessor(ecDeleteWord, 0, nullptr);
    EXPECT_EQ(Text(*ed), c.expected) << c.text << " at " << c.caret.Char;
    EXPECT_EQ(ed->GetCaretXY(), c.caret) << c.text;
    ed->Undo();
    EXPECT_EQ(Text(*ed), before) << c.text;
  }
}

TEST(Editing, LineBreakAutoIndentBackspaceAndDelete) {
  auto ed = MakeEditor();
  ed->Lines()->SetText("    foo bar");
  ed->SetCaretXY(BufferCoord(9, 1));
  ed->CommandProcessor(ecLineBreak, '\r', nullptr);
  EXPECT_EQ(Text(*ed), "    foo \r\n    bar");
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(5, 2));
  ed->CommandProcessor(ecLineEnd, 0, nullptr);
  ed->CommandProcessor(ecLineBreak, '\r', nullptr);
  EXPECT_EQ(Text(*ed), "    foo \r\n    bar\r\n    ");
  ed->CommandProcessor(ecInsertLine, 0, nullptr);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(5, 3));
  UndoAll(*ed);
  EXPECT_EQ(Text(*ed), "    foo bar");

  // Backspace at column 1 joins; at column 1 of line 1 it does nothing.
  ed->Lines()->SetText("ab\ncd");
  ed->SetCaretXY(BufferCoord(1, 2));
  ed->CommandProcessor(ecDeleteLastChar, 0, nullptr);
  EXPECT_EQ(Text(*ed), "abcd");
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(3, 1));
  ed->SetCaretXY(BufferCoord(1, 1));
  ed->CommandProcessor(ecDeleteLastChar, 0, nullptr);
  EXPECT_EQ(Text(*ed), "abcd");
  // Delete past the line end pads and joins; undo takes the padding back too.
  ed->Lines()->SetText("ab\ncd");
  ed->SetCaretXY(BufferCoord(5, 1));
  ed->CommandProcessor(ecDeleteChar, 0, nullptr);
  EXPECT_EQ(Text(*ed), "ab  cd");
  ed->Undo();
  EXPECT_EQ(Text(*ed), "ab\r\ncd");
  // ecDeleteLine on an empty last line does nothing.
  ed->Lines()->SetText("a\n");
  ed->Lines()->Add("");
  ed->SetCaretXY(BufferCoord(1, ed->Lines()->GetCount()));
  const std::string before = Text(*ed);
  ed->CommandProcessor(ecDeleteLine, 0, nullptr);
  EXPECT_EQ(Text(*ed), before);

  // Overwrite mode replaces characters, and at the line end it appends.
  ed->Lines()->SetText("abc");
  ed->SetInsertMode(false);
  ed->SetCaretXY(BufferCoord(3, 1));
  Type(*ed, "XYZ");
  EXPECT_EQ(Text(*ed), "abXYZ");
  UndoAll(*ed);
  EXPECT_EQ(Text(*ed), "abc");
}

TEST(Editing, ChordsHooksAndUserCommands) {
  auto ed = MakeEditor();
  ed->Lines()->SetText("hello world");
  void* data = nullptr;
  // A chord: an unbound key starts it, the second key completes it.
  TOndEditKeyStroke& k = ed->Keystrokes()->Add();
  k.Key = 'K';
  k.Shift = ssCtrl;
  k.Key2 = 'U';
  k.Shift2 = ssCtrl;
  k.SetCommand(ecUpperCase);
  EXPECT_EQ(ed->KeyToCommand('K', ssCtrl, data), ecNone);
  EXPECT_EQ(ed->KeyToCommand('U', ssCtrl, data), ecUpperCase);
  // A key below 30 never starts a chord.
  EXPECT_EQ(ed->KeyToCommand(VK_BACK, ssCtrl | ssShift, data), ecNone);
  const int single = ed->Keystrokes()->FindKeyBinding('U', ssCtrl);
  const TOndEditorCommand singleCmd = single >= 0 ? ed->Keystrokes()->Items(single).GetCommand() : TOndEditorCommand(ecNone);
  EXPECT_EQ(ed->KeyToCommand('U', ssCtrl, data), singleCmd);

  std::vector<TOndEditorCommand> user, processed;
  ed->OnProcessUserCommand = [&](TObject*, TOndEditorCommand& c, char&, void*) { user.push_back(c); };
  ed->OnCommandProcessed = [&](TObject*, TOndEditorCommand& c, char&, void*) { processed.push_back(c); };
  ed->CommandProcessor(1001, 0, nullptr);
  EXPECT_EQ(user, std::vector<TOndEditorCommand>{1001});
  ed->OnProcessCommand = [](TObject*, TOndEditorCommand& c, char&, void*) {
    if (c == ecChar) c = ecNone;
  };
  ed->CommandProcessor(ecChar, 'x', nullptr);
  EXPECT_EQ(Text(*ed), "hello world");
  ASSERT_EQ(processed.size(), 2u);
  EXPECT_EQ(processed[1], ecNone);
  ed->OnProcessCommand = nullptr;

  // Keys: a command key consumes the character that follows it.
  std::uint16_t key = VK_END;
  ed->SetCaretXY(BufferCoord(1, 1));
  ed->CommandProcessor(ecLineEnd, 0, nullptr);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(12, 1));
  (void)key;

  // Read-only skips editing commands.
  ed->SetReadOnly(true);
  ed->CommandProcessor(ecChar, 'x', nullptr);
  ed->CommandProcessor(ecDeleteLastChar, 0, nullptr);
  EXPECT_EQ(Text(*ed), "hello world");

  // Column editing: a letter typed in a zero-width block goes into every line.
  ed->SetReadOnly(false);
  ed->Lines()->SetText("abc\ndef\nghi");
  ed->SetSelectionMode(smColumn);
  ed->PlaceCaretAndSelection(BufferCoord(2, 3), BufferCoord(2, 1), BufferCoord(2, 3));
  ed->CommandProcessor(ecChar, 'X', nullptr);
  EXPECT_EQ(Text(*ed), "aXbc\r\ndXef\r\ngXhi");
  EXPECT_EQ(ed->SelectionAnchor(), BufferCoord(3, 1));
  EXPECT_EQ(ed->SelectionMovingEnd(), BufferCoord(3, 3));
  ed->Undo();
  EXPECT_EQ(Text(*ed), "abc\r\ndef\r\nghi");
}

TEST(Editing, BookmarksAndMarkers) {
  auto ed = MakeEditor();
  std::string text;
  for (int i = 0; i < 1000; ++i) text += "line\n";
  ed->Lines()->SetText(text);
  ed->SetBookMark(3, 1, 0);
  ed->SetBookMark(10, 1, 5);
  EXPECT_EQ(ed->Marks().Count(), 0);
  ed->SetBookMark(3, 2, 500);
  ed->SetBookMark(3, 2, 600);
  EXPECT_EQ(ed->Marks().Count(), 1);
  ed->GotoBookMark(3);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(2, 600));
  const int top = ed->GetTopLine();
  EXPECT_LE(top, 600);
  EXPECT_GE(top + ed->GetLinesInWindow(), 600);
  ed->ClearBookMark(3);
  EXPECT_EQ(ed->Marks().Count(), 0);
  EXPECT_FALSE(ed->IsBookmark(3));
  // ecSetMarker toggles on the same line.
  ed->SetCaretXY(BufferCoord(1, 7));
  ed->CommandProcessor(ecSetMarker3, 0, nullptr);
  EXPECT_TRUE(ed->IsBookmark(3));
  ed->CommandProcessor(ecSetMarker3, 0, nullptr);
  EXPECT_FALSE(ed->IsBookmark(3));
  // Marks follow inserted lines.
  ed->SetBookMark(1, 1, 10);
  ed->SetCaretXY(BufferCoord(1, 2));
  ed->CommandProcessor(ecLineBreak, '\r', nullptr);
  int x = 0, y = 0;
  ASSERT_TRUE(ed->GetBookMark(1, x, y));
  EXPECT_EQ(y, 11);
}

TEST(Editing, TabIndentAndCase) {
  auto ed = MakeEditor();
  ed->Lines()->SetText("ab");
  ed->SetCaretXY(BufferCoord(3, 1));
  ed->CommandProcessor(ecTab, 0, nullptr);
  EXPECT_EQ(Text(*ed), "ab      ");
  ed->Lines()->SetText("        x");
  ed->SetCaretXY(BufferCoord(9, 1));
  ed->CommandProcessor(ecShiftTab, 0, nullptr);
  EXPECT_EQ(Text(*ed), "x");
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(1, 1));
  ed->Undo();
  EXPECT_EQ(Text(*ed), "        x");

  // Block indent of lines 2..4 with the end at char 1 of line 5.
  ed->Lines()->SetText("a\nb\nc\nd\ne");
  ed->PlaceCaretAndSelection(BufferCoord(1, 5), BufferCoord(1, 2), BufferCoord(1, 5));
  ed->CommandProcessor(ecBlockIndent, 0, nullptr);
  EXPECT_EQ(Text(*ed), "a\r\n  b\r\n  c\r\n  d\r\ne");
  ed->CommandProcessor(ecBlockUnindent, 0, nullptr);
  EXPECT_EQ(Text(*ed), "a\r\nb\r\nc\r\nd\r\ne");
  ed->Undo();
  ed->Undo();
  EXPECT_EQ(Text(*ed), "a\r\nb\r\nc\r\nd\r\ne");

  // Toggle changes only ASCII letters; title case raises the first letter.
  ed->Lines()->SetText("a\xC1" "c");
  ed->SetCaretXY(BufferCoord(2, 1));
  ed->CommandProcessor(ecToggleCase, 0, nullptr);
  EXPECT_EQ(Text(*ed), "A\xC1" "C");
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(2, 1));
  ed->Lines()->SetText("hELLO");
  ed->CommandProcessor(ecTitleCase, 0, nullptr);
  EXPECT_EQ(Text(*ed), "Hello");
  ed->Lines()->SetText("\xE0\xE1 x");
  ed->SetCaretXY(BufferCoord(1, 1));
  ed->CommandProcessor(ecUpperCase, 0, nullptr);
  EXPECT_EQ(Text(*ed), "\xC0\xC1 x");
  ed->Undo();
  EXPECT_EQ(Text(*ed), "\xE0\xE1 x");
  EXPECT_THROW(ed->DoCaseChange(ecChar), EAssertionFailed);
}

// Shift+Tab takes away blanks and tabs only: the stop found on a line above
// moves the caret left over white space of its own line, never over letters.
TEST(Editing, ShiftTabRemovesOnlyWhiteSpace) {
  struct Case {
    const char* above;
    const char* line;
    int caret;
    const char* expected;
    int expectedCaret;
  };
  const Case cases[] = {
      {"ab cdefghijklmnop", "abcdefghijkl", 13, "abcdefghijkl", 13},  // letters stay
      {"ab cdefghijklmnop", "abcd    ", 9, "abcd", 5},                  // only the blanks go
      {"ab cdefghijklmnop", "x \t", 4, "x", 2},                        // blanks and a tab
      {"ab cdefghijklmnop", "ab    cd", 7, "ab cd", 4},                 // back to the stop above
      {"", "x\tyz", 3, "xyz", 2},                                      // the tab before the caret
      {"", "abc", 4, "abc", 4},                                         // nothing white: nothing moves
  };
  for (const Case& c : cases) {
    auto ed = MakeEditor();
    ed->Lines()->SetText(std::string(c.above) + "\n" + c.line);
    ed->SetCaretXY(BufferCoord(c.caret, 2));
    ed->CommandProcessor(ecShiftTab, 0, nullptr);
    EXPECT_EQ(ed->Lines()->Get(1), c.expected) << c.line;
    EXPECT_EQ(ed->GetCaretXY(), BufferCoord(c.expectedCaret, 2)) << c.line;
  }
}

// With the column-edit extension a column block on one line is edited like
// one over several lines: the text goes in front of it and the block moves.
TEST(Editing, TypingIntoAOneLineColumnBlockMovesTheBlock) {
  struct Case {
    bool ime;
    const char* typed;
    const char* expected;
    int shift;
  };
  const Case cases[] = {{false, "X", "aXbcde", 1}, {true, "XY", "aXYbcde", 2}};
  for (const Case& c : cases) {
    auto ed = MakeEditor();
    ed->Lines()->SetText("abcde");
    ed->SetSelectionMode(smColumn);
    ed->PlaceCaretAndSelection(BufferCoord(4, 1), BufferCoord(2, 1), BufferCoord(4, 1));
    std::string typed = c.typed;
    if (c.ime)
      ed->CommandProcessor(ecImeStr, 0, typed.data());
    else
      ed->CommandProcessor(ecChar, typed[0], nullptr);
    EXPECT_EQ(Text(*ed), c.expected);
    EXPECT_EQ(ed->SelectionAnchor(), BufferCoord(2 + c.shift, 1));
    EXPECT_EQ(ed->SelectionMovingEnd(), BufferCoord(4 + c.shift, 1));
    EXPECT_EQ(ed->GetCaretXY(), BufferCoord(4 + c.shift, 1));
    ed->Undo();
    EXPECT_EQ(Text(*ed), "abcde");
  }
}

// Without a highlighter the identifier characters are the ASCII letters and
// digits, "_" and the Russian letters of code page 1251, Ch and Yo included.
TEST(Editing, IdentifierCharactersWithoutAHighlighter) {
  auto ed = MakeEditor();
  const unsigned char ident[] = {'0', '9', 'A', 'Z', '_', 'a', 'z', 0xC0, 0xD6, 0xD7, 0xD8, 0xDF,
                                 0xE0, 0xF6, 0xF7, 0xF8, 0xFF, 0xA8, 0xB8};
  const unsigned char other[] = {' ', '.', '-', '"', '[', '{', 0x80, 0xAA, 0xAB, 0xB2, 0xB3, 0xBA, 0x01, 0x7F};
  for (unsigned char c : ident) {
    EXPECT_TRUE(ed->IsIdentChar(static_cast<char>(c))) << int(c);
    EXPECT_TRUE(IsFoldWordChar(static_cast<char>(c))) << int(c);
  }
  for (unsigned char c : other) {
    EXPECT_FALSE(ed->IsIdentChar(static_cast<char>(c))) << int(c);
    EXPECT_FALSE(IsFoldWordChar(static_cast<char>(c))) << int(c);
  }
  // Word selection and word navigation keep Ch and Yo inside their words.
  ed->Lines()->SetText("\xF7\xE0\xE9 \xB8\xE6 \xD7\xA8.x");
  ed->SelectWordAt(BufferCoord(2, 1));
  EXPECT_EQ(ed->GetSelText(), "\xF7\xE0\xE9");
  EXPECT_EQ(ed->WordAtPos(BufferCoord(6, 1)), "\xB8\xE6");
  EXPECT_EQ(ed->NextWordPosEx(BufferCoord(1, 1)), BufferCoord(5, 1));
  EXPECT_EQ(ed->NextWordPosEx(BufferCoord(5, 1)), BufferCoord(8, 1));
  EXPECT_EQ(ed->PrevWordPosEx(BufferCoord(10, 1)), BufferCoord(8, 1));
  EXPECT_EQ(ed->WordAtPos(BufferCoord(8, 1)), "\xD7\xA8");
}

// A negative length selects back from the selection's start: the caret and
// the moving end stand at the target, which stops at the start of the text.
TEST(Editing, SelectionLengthOfEitherSign) {
  struct Case {
    int length;
    TBufferCoord anchor, target;
    const char* text;
  };
  const Case cases[] = {
      {2, BufferCoord(3, 1), BufferCoord(5, 1), "cd"},
      {0, BufferCoord(3, 1), BufferCoord(3, 1), ""},
      {-2, BufferCoord(3, 1), BufferCoord(1, 1), "ab"},
      {-10, BufferCoord(3, 1), BufferCoord(1, 1), "ab"},
      {6, BufferCoord(3, 1), BufferCoord(1, 2), "cdef\r\n"},
  };
  for (const Case& c : cases) {
    auto ed = MakeEditor();
    ed->Lines()->SetText("abcdef\nxy");
    ed->SetSelStart(2);
    ed->SetSelLength(c.length);
    EXPECT_EQ(ed->GetCaretXY(), c.target) << c.length;
    EXPECT_EQ(ed->SelectionMovingEnd(), c.target) << c.length;
    EXPECT_EQ(ed->SelectionAnchor(), c.anchor) << c.length;
    EXPECT_EQ(ed->GetSelText(), c.text) << c.length;
    EXPECT_EQ(ed->GetSelLength(), static_cast<int>(std::string(c.text).size())) << c.length;
  }
}

// Trailing blanks are trimmed where lines are stored under the option, and
// every trim is undone with the edit that caused it.
TEST(Editing, TrimTrailingSpacesWhereLinesAreStored) {
  auto ed = MakeEditor();
  ed->SetOptions(ed->GetOptions() | eoTrimTrailingSpaces | eoScrollPastEol);
  // A column block cut out of the middle of two lines.
  ed->Lines()->SetText("ab  cd\nxy  ef");
  ed->SetSelectionMode(smColumn);
  ed->PlaceCaretAndSelection(BufferCoord(7, 2), BufferCoord(5, 1), BufferCoord(7, 2));
  ed->CommandProcessor(ecDeleteChar, 0, nullptr);
  EXPECT_EQ(Text(*ed), "ab\r\nxy");
  ed->Undo();
  EXPECT_EQ(Text(*ed), "ab  cd\r\nxy  ef");
  // A column block inserted with blanks at its rows' ends.
  ed->Lines()->SetText("a\nb");
  ed->SetCaretXY(BufferCoord(2, 1));
  ed->ReplaceSelection(smColumn, "x  \ny  ", true);
  EXPECT_EQ(Text(*ed), "ax\r\nby");
  ed->Undo();
  EXPECT_EQ(Text(*ed), "a\r\nb");
  // A normal selection deleted with scrolling past the line end.
  ed->SetSelectionMode(smNormal);
  ed->Lines()->SetText("ab  cd");
  ed->PlaceCaretAndSelection(BufferCoord(7, 1), BufferCoord(5, 1), BufferCoord(7, 1));
  ed->CommandProcessor(ecDeleteChar, 0, nullptr);
  EXPECT_EQ(Text(*ed), "ab");
  ed->Undo();
  EXPECT_EQ(Text(*ed), "ab  cd");
  // Backspace past the line end only moves the caret and leaves a record.
  ed->SetOptions(ed->GetOptions() & ~eoSmartTabDelete);
  ed->Lines()->SetText("ab  ");
  ed->ClearUndo();
  ed->SetCaretXY(BufferCoord(7, 1));
  ed->CommandProcessor(ecDeleteLastChar, 0, nullptr);
  EXPECT_EQ(Text(*ed), "ab");
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(6, 1));
  EXPECT_TRUE(ed->CanUndo());
  UndoAll(*ed);
  EXPECT_EQ(Text(*ed), "ab  ");
  // Without scrolling past the line end a normal deletion keeps the blanks.
  ed->SetOptions(ed->GetOptions() & ~eoScrollPastEol);
  ed->Lines()->SetText("ab  cd");
  ed->PlaceCaretAndSelection(BufferCoord(7, 1), BufferCoord(5, 1), BufferCoord(7, 1));
  ed->CommandProcessor(ecDeleteChar, 0, nullptr);
  EXPECT_EQ(Text(*ed), "ab  ");
}

TEST(Editing, SelectionByIndexAndWords) {
  auto ed = MakeEditor();
  ed->Lines()->SetText("ab\ncdef");
  ed->SetSelStart(4);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(1, 2));
  ed->SetSelEnd(6);
  EXPECT_EQ(ed->GetSelText(), "cd");
  EXPECT_TRUE(ed->IsPointInSelection(BufferCoord(1, 2)));
  EXPECT_FALSE(ed->IsPointInSelection(BufferCoord(3, 2)));
  ed->SetSelectionMode(smColumn);
  ed->PlaceCaretAndSelection(BufferCoord(2, 2), BufferCoord(2, 1), BufferCoord(2, 2));
  EXPECT_FALSE(ed->IsPointInSelection(BufferCoord(2, 1)));
  ed->SetSelectionMode(smNormal);
  ed->Lines()->SetText("foo.bar_1 baz");
  EXPECT_EQ(ed->NextWordPosEx(BufferCoord(1, 1)), BufferCoord(5, 1));
  EXPECT_EQ(ed->NextWordPosEx(BufferCoord(5, 1)), BufferCoord(11, 1));
  EXPECT_EQ(ed->PrevWordPosEx(BufferCoord(11, 1)), BufferCoord(5, 1));
  ed->SetTabWidth(0);
  EXPECT_EQ(ed->GetTabWidth(), 1);
  ed->SetTabWidth(300);
  EXPECT_EQ(ed->GetTabWidth(), 256);
}

}  // namespace
}  // namespace ond
