// Commands that act on the text itself reach the whole of lines longer than
// the widest column the caret may stand in past a line's end: search, replace,
// select all and the clipboard, block indent, case, tab, paste, undo and drop
// give the text a plain string gives, whether the caret may go past line ends
// or not, with word wrap or without.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "editor/OndEdit.h"
#include "platform/Clipbrd.h"
#include "search/OndEditSearch.h"

namespace ond {
namespace {

struct Case {
  bool PastEol;
  bool Wrap;
  int Length;  // of the long line
};

std::string Describe(const Case& S) {
  return std::string(S.PastEol ? "past line ends" : "to line ends") + (S.Wrap ? ", wrapped" : ", unwrapped") +
         ", line of " + std::to_string(S.Length);
}

// Either side of the widest column past a line's end (1,024 + 1), and far
// beyond it.
std::vector<Case> AllCases() {
  std::vector<Case> all;
  for (bool pastEol : {true, false})
    for (bool wrap : {false, true})
      for (int length : {1025, 1026, 100000}) all.push_back(Case{pastEol, wrap, length});
  return all;
}

// Runs Body for every case; a failed assertion ends only its own case.
template <typename F>
void ForEachCase(F Body) {
  for (const Case& s : AllCases()) {
    SCOPED_TRACE(Describe(s));
    Body(s);
  }
}

// "xa" over and over up to a little beyond the widest column, then an "a"
// now and then, and one as the last character: every "a" near the limit is
// there, and a 100,000-character line still has few.
std::string LongLine(int Length) {
  std::string s(static_cast<std::size_t>(Length), 'x');
  for (int i = 1; i < Length; i += i < 2100 ? 2 : 997) s[static_cast<std::size_t>(i)] = 'a';
  s.back() = 'a';
  return s;
}

std::unique_ptr<TOndEdit> MakeEditor(const Case& S, const std::string& Text) {
  auto ed = std::make_unique<TOndEdit>(nullptr);
  ed->SetBounds(0, 0, 400, 300);
  ed->SetMaxUndo(100000);
  ed->SetOptions(S.PastEol ? ed->GetOptions() | eoScrollPastEol : ed->GetOptions() & ~eoScrollPastEol);
  ed->Lines()->SetText(Text);
  ed->WordWrap().SetEnabled(S.Wrap);
  return ed;
}

std::string Text(const TCustomOndEdit& ed) { return ed.Lines()->GetText(); }

// Where two long texts part, shortly: empty when they are equal.
std::string Difference(const std::string& Got, const std::string& Wanted) {
  if (Got == Wanted) return std::string();
  std::size_t i = 0;
  while (i < Got.size() && i < Wanted.size() && Got[i] == Wanted[i]) ++i;
  const std::size_t from = i < 8 ? 0 : i - 8;
  return "sizes " + std::to_string(Got.size()) + " and " + std::to_string(Wanted.size()) + ", from index " +
         std::to_string(i) + ": \"" + Got.substr(from, 24) + "\" against \"" + Wanted.substr(from, 24) + "\"";
}

// Every "from" in Text replaced by "to", as a string does it.
std::string ReplacedAll(std::string Text, const std::string& From, const std::string& To) {
  for (std::size_t at = Text.find(From); at != std::string::npos; at = Text.find(From, at + To.size()))
    Text.replace(at, From.size(), To);
  return Text;
}

std::size_t Count(const std::string& Text, char C) {
  return static_cast<std::size_t>(std::count(Text.begin(), Text.end(), C));
}

// The 1-based chars of every "a" of Line.
std::vector<int> Matches(const std::string& Line) {
  std::vector<int> at;
  for (std::size_t i = Line.find('a'); i != std::string::npos; i = Line.find('a', i + 1))
    at.push_back(static_cast<int>(i) + 1);
  return at;
}

TEST(LongLineCommands, ReplaceAllGivesTheStringsText) {
  ForEachCase([](const Case& s) {
    const std::string text = "{a\r\n" + LongLine(s.Length) + "\r\nxa}";
    auto ed = MakeEditor(s, text);
    TOndEditSearch engine;
    ed->SetSearchEngine(&engine);
    const std::string wanted = ReplacedAll(text, "a", "bb");
    EXPECT_EQ(ed->SearchReplace("a", "bb", ssoEntireScope | ssoReplace | ssoReplaceAll),
              static_cast<int>(Count(text, 'a')));
    ASSERT_EQ(Difference(Text(*ed), wanted), "");
    // Shrinking the text back, and one undo for each call.
    EXPECT_EQ(ed->SearchReplace("bb", "a", ssoEntireScope | ssoReplace | ssoReplaceAll),
              static_cast<int>(Count(text, 'a')));
    ASSERT_EQ(Difference(Text(*ed), text), "");
    ed->Undo();
    ASSERT_EQ(Difference(Text(*ed), wanted), "");
    ed->Undo();
    ASSERT_EQ(Difference(Text(*ed), text), "");
  });
}

// Each confirmed replacement is asked for at the match's own place, with the
// match selected.
TEST(LongLineCommands, ConfirmedReplacementsAreAskedAtTheMatch) {
  ForEachCase([](const Case& s) {
    const std::string line = LongLine(s.Length);
    auto ed = MakeEditor(s, "{\r\n" + line);
    TOndEditSearch engine;
    ed->SetSearchEngine(&engine);
    std::vector<int> asked;
    int wrongSelections = 0;
    ed->OnReplaceText = [&](TObject*, const std::string&, const std::string&, int Line, int Column,
                            TOndReplaceAction& Action) {
      asked.push_back(Line == 2 ? Column : -Line);
      if (ed->GetSelText() != "a") ++wrongSelections;
      Action = raReplace;
    };
    const int n = ed->SearchReplace("a", "bb", ssoEntireScope | ssoReplace | ssoReplaceAll | ssoPrompt);
    // The k-th match has moved right by one for each replacement before it.
    std::vector<int> wanted = Matches(line);
    for (std::size_t k = 0; k < wanted.size(); ++k) wanted[k] += static_cast<int>(k);
    EXPECT_EQ(n, static_cast<int>(wanted.size()));
    EXPECT_EQ(asked, wanted);
    EXPECT_EQ(wrongSelections, 0);
    ASSERT_EQ(Difference(Text(*ed), "{\r\n" + ReplacedAll(line, "a", "bb")), "");
  });
}

// Find next from the caret walks every match in turn, selecting it where it
// stands, backwards too; the caret is in view at each.
TEST(LongLineCommands, FindSelectsEachMatchWhereItStands) {
  ForEachCase([](const Case& s) {
    const std::string line = LongLine(s.Length);
    auto ed = MakeEditor(s, line);
    TOndEditSearch engine;
    ed->SetSearchEngine(&engine);
    ed->SetCaretXY(BufferCoord(1, 1));
    const std::vector<int> matches = Matches(line);
    int wrong = 0, hidden = 0;
    for (int at : matches) {
      if (ed->SearchReplace("a", "", 0) != 1 || ed->GetBlockBegin() != BufferCoord(at, 1) ||
          ed->GetBlockEnd() != BufferCoord(at + 1, 1) || ed->GetCaretXY() != BufferCoord(at + 1, 1) ||
          ed->GetSelText() != "a")
        ++wrong;
      if (!ed->IsCaretInView()) ++hidden;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(hidden, 0);
    EXPECT_EQ(ed->SearchReplace("a", "", 0), 0);
    for (auto it = matches.rbegin(); it != matches.rend(); ++it)
      if (ed->SearchReplace("a", "", ssoBackwards) != 1 || ed->GetBlockBegin() != BufferCoord(*it, 1) ||
          ed->GetCaretXY() != BufferCoord(*it, 1))
        ++wrong;
    EXPECT_EQ(wrong, 0);
  });
}

// Select all takes the whole text; copy and cut of it take it all, and typing
// over it leaves only what was typed.
TEST(LongLineCommands, SelectAllTakesTheWholeText) {
  ForEachCase([](const Case& s) {
    const std::string text = "{\r\n" + LongLine(s.Length);
    auto ed = MakeEditor(s, text);
    ed->SetCaretXY(BufferCoord(1, 2));
    ed->SelectAll();
    EXPECT_EQ(ed->GetCaretXY(), BufferCoord(1, 2));
    EXPECT_EQ(ed->GetBlockEnd(), BufferCoord(s.Length + 1, 2));
    EXPECT_EQ(ed->GetSelLength(), static_cast<int>(text.size()));
    ASSERT_EQ(Difference(ed->GetSelText(), text), "");
    Clipboard()->Clear();
    ed->CopyToClipboard();
    ASSERT_EQ(Difference(Clipboard()->GetAsText(), text), "");
    ed->CommandProcessor(ecChar, 'Q', nullptr);
    ASSERT_EQ(Difference(Text(*ed), "Q"), "");
    ed->Undo();
    ASSERT_EQ(Difference(Text(*ed), text), "");
    ed->CommandProcessor(ecSelectAll, '\0', nullptr);
    Clipboard()->Clear();
    ed->CutToClipboard();
    ASSERT_EQ(Difference(Text(*ed), ""), "");
    ASSERT_EQ(Difference(Clipboard()->GetAsText(), text), "");
  });
}

// The ends block indent and unindent leave follow the text they shifted.
TEST(LongLineCommands, BlockIndentKeepsTheWholeLinesSelected) {
  ForEachCase([](const Case& s) {
    const std::string line = LongLine(s.Length);
    const std::string text = line + "\r\n" + line + "\r\n" + line;
    auto ed = MakeEditor(s, text);
    const TBufferCoord end = BufferCoord(s.Length + 1, 3);
    ed->PlaceCaretAndSelection(end, BufferCoord(1, 1), end);
    ed->CommandProcessor(ecBlockIndent, '\0', nullptr);
    const std::string indented = "  " + line + "\r\n  " + line + "\r\n  " + line;
    ASSERT_EQ(Difference(Text(*ed), indented), "");
    EXPECT_EQ(ed->GetBlockBegin(), BufferCoord(3, 1));
    EXPECT_EQ(ed->GetBlockEnd(), BufferCoord(s.Length + 3, 3));
    EXPECT_EQ(ed->GetCaretXY(), BufferCoord(s.Length + 3, 3));
    EXPECT_EQ(Difference(ed->GetSelText(), indented.substr(2)), "");
    ed->CommandProcessor(ecBlockUnindent, '\0', nullptr);
    ASSERT_EQ(Difference(Text(*ed), text), "");
    EXPECT_EQ(ed->GetBlockBegin(), BufferCoord(1, 1));
    EXPECT_EQ(ed->GetBlockEnd(), end);
    EXPECT_EQ(Difference(ed->GetSelText(), text), "");
    // Typing over the selection replaces all of it.
    ed->CommandProcessor(ecChar, 'Q', nullptr);
    ASSERT_EQ(Difference(Text(*ed), "Q"), "");
  });
}

// A case command keeps the selection it changed, at the line's end too.
TEST(LongLineCommands, CaseCommandsChangeAndKeepTheSelection) {
  ForEachCase([](const Case& s) {
    const std::string line = LongLine(s.Length);
    auto ed = MakeEditor(s, line);
    const TBufferCoord from = BufferCoord(s.Length - 20, 1), to = BufferCoord(s.Length + 1, 1);
    ed->PlaceCaretAndSelection(to, from, to);
    ed->CommandProcessor(ecUpperCaseBlock, '\0', nullptr);
    std::string upper = line;
    for (std::size_t i = static_cast<std::size_t>(from.Char - 1); i < upper.size(); ++i)
      upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[i])));
    ASSERT_EQ(Difference(Text(*ed), upper), "");
    EXPECT_EQ(ed->GetBlockBegin(), from);
    EXPECT_EQ(ed->GetBlockEnd(), to);
    ed->Undo();
    ASSERT_EQ(Difference(Text(*ed), line), "");
    EXPECT_EQ(ed->GetBlockBegin(), from);
    EXPECT_EQ(ed->GetBlockEnd(), to);
  });
}

// Typing, a tab, a paste and their undo and redo leave the caret where the
// text says, so the next key lands there.
TEST(LongLineCommands, TheCaretFollowsEditsNearALongLinesEnd) {
  ForEachCase([](const Case& s) {
    const std::string line = LongLine(s.Length);
    auto ed = MakeEditor(s, line);
    // A tab is one char, and each command is an undo step of its own.
    ed->SetOptions(ed->GetOptions() & ~(eoTabsToSpaces | eoGroupUndo));
    std::string model = line;
    const int at = s.Length - 3;
    ed->SetCaretXY(BufferCoord(at, 1));
    ASSERT_EQ(ed->GetCaretXY(), BufferCoord(at, 1));
    ed->CommandProcessor(ecChar, 'Q', nullptr);
    ed->CommandProcessor(ecTab, '\0', nullptr);
    ed->CommandProcessor(ecChar, 'R', nullptr);
    model.insert(static_cast<std::size_t>(at - 1), "Q\tR");
    ASSERT_EQ(Difference(Text(*ed), model), "");
    EXPECT_EQ(ed->GetCaretXY(), BufferCoord(at + 3, 1));

    // Undo puts the caret back where each piece went, redo after it.
    ed->Undo();  // R
    EXPECT_EQ(ed->GetCaretXY(), BufferCoord(at + 2, 1));
    ed->Undo();  // the tab
    EXPECT_EQ(ed->GetCaretXY(), BufferCoord(at + 1, 1));
    ed->Redo();
    EXPECT_EQ(ed->GetCaretXY(), BufferCoord(at + 2, 1));
    ed->Redo();
    EXPECT_EQ(ed->GetCaretXY(), BufferCoord(at + 3, 1));
    ed->CommandProcessor(ecChar, 'S', nullptr);
    model.insert(static_cast<std::size_t>(at + 2), "S");
    ASSERT_EQ(Difference(Text(*ed), model), "");

    // A deleted selection comes back selected.
    const TBufferCoord from = BufferCoord(at - 10, 1), to = BufferCoord(at + 2, 1);
    ed->PlaceCaretAndSelection(to, from, to);
    const std::string taken = ed->GetSelText();
    EXPECT_EQ(taken, model.substr(static_cast<std::size_t>(from.Char - 1), 12));
    ed->ClearSelection();
    ed->Undo();
    ASSERT_EQ(Difference(Text(*ed), model), "");
    EXPECT_EQ(ed->GetSelText(), taken);

    // A long line pasted after a brace: the caret stands at its end.
    ed->Lines()->SetText("{");
    ed->SetCaretXY(BufferCoord(2, 1));
    Clipboard()->SetAsText(line);
    ed->PasteFromClipboard();
    EXPECT_EQ(ed->GetCaretXY(), BufferCoord(s.Length + 2, 1));
    ed->CommandProcessor(ecChar, '}', nullptr);
    ASSERT_EQ(Difference(Text(*ed), "{" + line + "}"), "");
  });
}

// Text dragged to a place far along a long line lands there and stays
// selected.
TEST(LongLineCommands, DroppedTextLandsWhereItWasDropped) {
  ForEachCase([](const Case& s) {
    if (s.Wrap) return;  // a wrapped line shows its far end on rows of its own
    const std::string line = LongLine(s.Length);
    auto ed = MakeEditor(s, "QRS\r\n" + line);
    ed->PlaceCaretAndSelection(BufferCoord(4, 1), BufferCoord(1, 1), BufferCoord(4, 1));
    // The view scrolled to the far end of the long line: a drop there.
    const TBufferCoord drop = BufferCoord(s.Length - 2, 2);
    ed->SetLeftColumn(s.Length);
    ASSERT_LE(ed->GetLeftColumn(), drop.Char);
    ASSERT_LT(drop.Char, ed->GetLeftColumn() + ed->GetCharsInWindow());
    const TPoint p = ed->RowColumnToPixels(DisplayCoord(drop.Char, drop.Line));
    ed->DropText(ed.get(), p.X + 1, p.Y + 1, ssCtrl);  // a copy
    std::string model = line;
    model.insert(static_cast<std::size_t>(s.Length - 3), "QRS");
    ASSERT_EQ(Difference(Text(*ed), "QRS\r\n" + model), "");
    EXPECT_EQ(ed->GetBlockBegin(), BufferCoord(s.Length - 2, 2));
    EXPECT_EQ(ed->GetBlockEnd(), BufferCoord(s.Length + 1, 2));
    EXPECT_EQ(ed->GetSelText(), "QRS");
  });
}

// Past the end of a short line the caret still stops at the widest column;
// a long line is reached to its own end, by keys, by the mouse and by the
// view.
TEST(LongLineCommands, TheCaretIsHeldPastLineEndsOnly) {
  const Case s{true, false, 3000};
  const std::string line = LongLine(3000);
  auto ed = MakeEditor(s, "short\r\n" + line);
  const int widest = ed->GetMaxScrollWidth() + 1;
  ed->SetCaretXY(BufferCoord(5000, 1));
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(widest, 1));
  ed->SetCaretXY(BufferCoord(5000, 2));
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(3001, 2));
  ed->SetSelectionMode(smColumn);
  ed->PlaceCaretAndSelection(BufferCoord(1, 1), BufferCoord(5000, 1), BufferCoord(5000, 2));
  EXPECT_EQ(ed->GetBlockBegin(), BufferCoord(widest, 1));
  EXPECT_EQ(ed->GetBlockEnd(), BufferCoord(3001, 2));
  ed->SetSelectionMode(smNormal);

  // End goes to the long line's end, in view; further right it stays; a
  // short line below holds the caret at the widest column.
  ed->SetCaretXY(BufferCoord(1, 2));
  ed->CommandProcessor(ecLineEnd, '\0', nullptr);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(3001, 2));
  EXPECT_TRUE(ed->IsCaretInView());
  ed->CommandProcessor(ecRight, '\0', nullptr);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(3001, 2));
  ed->CommandProcessor(ecChar, '}', nullptr);
  EXPECT_EQ(Difference(Text(*ed), "short\r\n" + line + "}"), "");
  ed->CommandProcessor(ecUp, '\0', nullptr);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(widest, 1));

  // The view reaches as far as the longest line, and a click there puts the
  // caret where it points.
  ed->SetLeftColumn(100000);
  EXPECT_EQ(ed->GetLeftColumn(), 3001 - ed->GetCharsInWindow() + 1);
  const TPoint p = ed->RowColumnToPixels(DisplayCoord(2990, 2));
  ed->PlaceCaretAtPixel(p.X + 1, p.Y + 1);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(2990, 2));
}

}  // namespace
}  // namespace ond
