// The edit-control messages of the memo and the document editor's commands.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "editor/OndEditor.h"

namespace ond {
namespace {

std::string Text(const TCustomOndEdit& ed) { return ed.Lines()->GetText(); }

TEST(Memo, EditControlMessages) {
  auto m = std::make_unique<TOndMemo>(nullptr);
  m->SetBounds(0, 0, 400, 300);
  m->Lines()->SetText("ab\ncdef\ng");
  m->SetCaretXY(BufferCoord(2, 2));
  int s = -5, e = -5;
  const std::intptr_t r = m->Perform(EM_GETSEL, reinterpret_cast<std::uintptr_t>(&s), reinterpret_cast<std::intptr_t>(&e));
  EXPECT_EQ(s, 5);
  EXPECT_EQ(e, 5);
  EXPECT_EQ(r, 5 | (5 << 16));
  m->Perform(EM_SETSEL, 4, 6);
  EXPECT_EQ(m->GetSelText(), "cd");
  m->Perform(EM_SETSEL, static_cast<std::uintptr_t>(-1), 0);
  EXPECT_FALSE(m->SelAvail());
  m->Perform(EM_SETSEL, 0, -1);
  EXPECT_EQ(m->GetSelText(), "ab\r\ncdef\r\ng");
  m->Perform(EM_SETSEL, static_cast<std::uintptr_t>(-7), 2);
  EXPECT_EQ(m->GetSelText(), "ab");
  EXPECT_EQ(m->Perform(EM_GETLINECOUNT, 0, 0), 3);
  char buf[32] = {};
  EXPECT_EQ(m->Perform(EM_GETSELTEXT, 0, reinterpret_cast<std::intptr_t>(buf), sizeof buf), 2);
  EXPECT_STREQ(buf, "ab");
  // A buffer too small for the selection gets what fits and its zero, and
  // not a byte more; without its size nothing is written.
  m->Perform(EM_SETSEL, 0, 9);
  std::memset(buf, 'z', sizeof buf);
  EXPECT_EQ(m->Perform(EM_GETSELTEXT, 0, reinterpret_cast<std::intptr_t>(buf), 4), 3);
  EXPECT_STREQ(buf, "ab\r");
  EXPECT_EQ(buf[4], 'z');
  std::memset(buf, 'z', sizeof buf);
  EXPECT_EQ(m->Perform(EM_GETSELTEXT, 0, reinterpret_cast<std::intptr_t>(buf)), 0);
  EXPECT_EQ(buf[0], 'z');

  // EM_GETLINE: the buffer's first word limits the characters, and so does
  // the buffer's own size; an index past the end answers 0.
  char line[8] = {};
  const std::uint16_t size = 3;
  std::memcpy(line, &size, sizeof size);
  EXPECT_EQ(m->Perform(EM_GETLINE, 1, reinterpret_cast<std::intptr_t>(line), sizeof line), 3);
  EXPECT_EQ(std::string(line, 3), "cde");
  const std::uint16_t claimed = 60000;
  std::memset(line, 'z', sizeof line);
  std::memcpy(line, &claimed, sizeof claimed);
  EXPECT_EQ(m->Perform(EM_GETLINE, 1, reinterpret_cast<std::intptr_t>(line), 3), 3);
  EXPECT_EQ(std::string(line, 4), "cdez");
  EXPECT_EQ(m->Perform(EM_GETLINE, 1, reinterpret_cast<std::intptr_t>(line), 1), 0);
  std::memset(line, 'z', sizeof line);
  EXPECT_EQ(m->Perform(EM_GETLINE, 3, reinterpret_cast<std::intptr_t>(line), sizeof line), 0);
  EXPECT_EQ(line[0], 'z');

  // EM_REPLACESEL with and without undo.
  m->Perform(EM_SETSEL, 0, 2);
  m->Perform(EM_REPLACESEL, 1, reinterpret_cast<std::intptr_t>("XY"));
  EXPECT_EQ(Text(*m), "XY\r\ncdef\r\ng");
  EXPECT_EQ(m->Perform(EM_CANUNDO, 0, 0), 1);
  EXPECT_EQ(m->Perform(EM_UNDO, 0, 0), 1);
  EXPECT_EQ(Text(*m), "ab\r\ncdef\r\ng");
  m->Perform(EM_SETSEL, 0, 1);
  m->Perform(EM_REPLACESEL, 0, reinterpret_cast<std::intptr_t>("Q"));
  EXPECT_EQ(Text(*m), "Qb\r\ncdef\r\ng");
  EXPECT_EQ(m->Perform(EM_CANUNDO, 0, 0), 0);
  EXPECT_FALSE(m->RedoList()->HasRecords());

  m->Perform(EM_SETMODIFY, 0, 0);
  EXPECT_EQ(m->Perform(EM_GETMODIFY, 0, 0), 0);
  m->Perform(EM_SETMODIFY, 1, 0);
  EXPECT_EQ(m->Perform(EM_GETMODIFY, 0, 0), 1);
  EXPECT_EQ(m->Perform(EM_GETFIRSTVISIBLELINE, 0, 0), 0);

  // EM_CHARFROMPOS right of the end of line 2 gives that line's end.
  const TPoint p = m->RowColumnToPixels(DisplayCoord(30, 2));
  const std::intptr_t cp = m->Perform(EM_CHARFROMPOS, 0, (p.X & 0xFFFF) | ((p.Y + 1) << 16));
  EXPECT_EQ(cp & 0xFFFF, 8);
  EXPECT_EQ((cp >> 16) & 0xFFFF, 1);

  // Text messages.
  char text[6] = {};
  EXPECT_EQ(m->Perform(WM_GETTEXT, sizeof text, reinterpret_cast<std::intptr_t>(text)), 5);
  EXPECT_STREQ(text, "Qb\r\nc");
  EXPECT_EQ(m->Perform(WM_GETTEXTLENGTH, 0, 0), 11);
  EXPECT_EQ(m->Perform(WM_SETTEXT, 0, reinterpret_cast<std::intptr_t>("new")), -1);
  EXPECT_EQ(Text(*m), "new");
  m->Undo();
  EXPECT_EQ(Text(*m), "Qb\r\ncdef\r\ng");
}

TEST(DocumentEditor, Commands) {
  auto ed = std::make_unique<TOndEditor>(nullptr);
  ed->SetBounds(0, 0, 400, 300);
  ed->Lines()->SetText("one two three\nfour\nfive");
  EXPECT_EQ(ed->LastChangePos(), BufferCoord(0, 0));
  int statusCalls = 0;
  ed->OnStatusChange = [&](TObject*, TOndStatusChanges) { ++statusCalls; };
  ed->LockPaint();
  ed->SetDocumentName("a.json");
  ed->UnlockPaint();
  EXPECT_GE(statusCalls, 1);
  EXPECT_EQ(ed->GetDocumentName(), "a.json");
  ed->SetDocumentFormat(sffUnix);
  EXPECT_EQ(ed->Lines()->FileFormat, sffUnix);

  // 905 on a selection: one undoable change raising each word's first letter.
  ed->SelectAll();
  ed->SetModified(false);
  ed->ExecuteCommand(ecTitleCaseAuto, 0, nullptr);
  EXPECT_EQ(Text(*ed), "One Two Three\r\nFour\r\nFive");
  EXPECT_TRUE(ed->GetModified());
  EXPECT_EQ(ed->GetSelText(), "One Two Three\r\nFour\r\nFive");
  ed->Undo();
  EXPECT_EQ(Text(*ed), "one two three\r\nfour\r\nfive");

  // 902 without a selection upper-cases the word at the caret.
  ed->SetCaretXY(BufferCoord(6, 1));
  ed->ExecuteCommand(ecUpperCaseAuto, 0, nullptr);
  EXPECT_EQ(Text(*ed), "one TWO three\r\nfour\r\nfive");
  ed->SetCaretXY(BufferCoord(2, 2));
  ed->CommandProcessor(ecChar, 'x', nullptr);
  ed->SetCaretXY(BufferCoord(1, 1));
  ed->ExecuteCommand(ecGotoLastChange, 0, nullptr);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(3, 2));

  // 912 on the last line selects line 1; 913 on line 1 the last line.
  ed->SetCaretXY(BufferCoord(1, 3));
  ed->ExecuteCommand(ecSelectNextLine, 0, nullptr);
  EXPECT_EQ(ed->GetSelText(), "one TWO three");
  ed->SetCaretXY(BufferCoord(1, 1));
  ed->ExecuteCommand(ecSelectPrevLine, 0, nullptr);
  EXPECT_EQ(ed->GetSelText(), "five");

  // 910 / 911 step over words, and stop at the text's end.
  ed->SetCaretXY(BufferCoord(1, 1));
  ed->ExecuteCommand(ecSelectNextWord, 0, nullptr);
  EXPECT_EQ(ed->GetSelText(), "TWO");
  ed->ExecuteCommand(ecSelectPrevWord, 0, nullptr);
  EXPECT_EQ(ed->GetSelText(), "one");
  ed->SetCaretXY(BufferCoord(5, 3));
  ed->ExecuteCommand(ecSelectNextWord, 0, nullptr);
  EXPECT_FALSE(ed->SelAvail());
  // 908 removes the word around the caret in one step.
  ed->SetCaretXY(BufferCoord(6, 1));
  ed->ExecuteCommand(ecDeleteWholeWord, 0, nullptr);
  EXPECT_EQ(ed->Lines()->Get(0), "one  three");
  ed->Undo();
  EXPECT_EQ(ed->Lines()->Get(0), "one TWO three");
  // 907 clears every bookmark.
  ed->SetBookMark(1, 1, 1);
  ed->SetBookMark(2, 1, 2);
  ed->ExecuteCommand(ecClearBookmarks, 0, nullptr);
  EXPECT_EQ(ed->Marks().Count(), 0);
}

// The document hooks raise their events with what they are given, and do
// nothing without a handler.
TEST(DocumentEditor, DocumentHooksRaiseTheirEvents) {
  struct Editor : TOndEditor {
    using TOndEditor::TOndEditor;
    using TCustomOndEditor::DoCloseDocument;
    using TCustomOndEditor::DoLoadDocument;
    using TCustomOndEditor::DoSaveDocument;
  };
  auto ed = std::make_unique<Editor>(nullptr);
  TStringStream stream;
  ed->DoLoadDocument(&stream, 1);  // no handlers: nothing happens
  ed->DoSaveDocument(&stream, 1);
  ed->DoCloseDocument();
  std::vector<std::string> heard;
  auto record = [&](const char* what) {
    return [&heard, what, &stream, &ed](TObject* sender, TStream* s, TOndDocumentOptions o) {
      EXPECT_EQ(sender, ed.get());
      EXPECT_EQ(s, &stream);
      heard.push_back(std::string(what) + std::to_string(o));
    };
  };
  ed->OnLoadDocument = record("load");
  ed->OnSaveDocument = record("save");
  ed->OnCloseDocument = [&](TObject* sender) {
    EXPECT_EQ(sender, ed.get());
    heard.push_back("close");
  };
  ed->DoLoadDocument(&stream, 3);
  ed->DoSaveDocument(&stream, 5);
  ed->DoCloseDocument();
  EXPECT_EQ(heard, (std::vector<std::string>{"load3", "save5", "close"}));
}

}  // namespace
}  // namespace ond
