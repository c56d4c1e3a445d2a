// Code folding in the editor control (collapse and expand with edits and
// undo around them), the buffer notifications (marks, range rescans, fold
// changes), bracket matching, word wrap through the editor and the gutter's
// line numbers beside the fold strip.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "editor/OndEdit.h"
#include "highlight/OndEditHighlighter.h"
#include "platform/Graphics.h"
#include "tests/editor/gui/LoadedEditor.h"

namespace ond {
namespace {

std::unique_ptr<TOndEdit> MakeEditor() {
  auto ed = std::make_unique<TOndEdit>(nullptr);
  ed->SetBounds(0, 0, 500, 400);
  ed->SetMaxUndo(100000);
  ed->CodeFolding().FoldRegions().Add(frtChar, false, false, false, "{", "}");
  ed->CodeFolding().SetEnabled(true);
  return ed;
}

void UndoAll(TCustomOndEdit& ed) {
  for (int guard = 0; ed.UndoList()->HasRecords() && guard < 100000; ++guard) ed.Undo();
}
void RedoAll(TCustomOndEdit& ed) {
  for (int guard = 0; ed.RedoList()->HasRecords() && guard < 100000; ++guard) ed.Redo();
}

// Twelve levels of braces, each with a body line before the next level.
std::string Nested(int Depth) {
  std::string s = "top\r\n";
  for (int d = 0; d < Depth; ++d) s += std::string(static_cast<std::size_t>(d), ' ') + "level" + std::to_string(d) + " {\r\n";
  s += "core\r\n";
  for (int d = Depth - 1; d >= 0; --d) s += std::string(static_cast<std::size_t>(d), ' ') + "}\r\n";
  return s + "bottom";
}

// A highlighter with one multi-line state: "/*" to "*/" is a comment, "..."
// a string; it counts the lines it is given.
class CommentHighlighter : public TOndCustomHighlighter {
 public:
  CommentHighlighter() {
    AddAttribute(FComment = new TOndHighlighterAttributes("Comment"));
    AddAttribute(FString = new TOndHighlighterAttributes("String"));
    AddAttribute(FIdent = new TOndHighlighterAttributes("Identifier"));
  }
  TOndHighlighterAttributes* GetDefaultAttribute(int Kind) const override {
    return Kind == OND_ATTR_COMMENT ? FComment : Kind == OND_ATTR_STRING ? FString : FIdent;
  }
  bool GetEol() const override { return FPos >= static_cast<int>(FLine.size()); }
  TOndRangeState GetRange() const override { return FInComment ? 1 : 0; }
  void SetRange(TOndRangeState R) override { FInComment = R == 1; }
  void ResetRange() override { FInComment = false; }
  std::string GetToken() const override { return std::string(FLine.substr(static_cast<std::size_t>(FPos), static_cast<std::size_t>(FEnd - FPos))); }
  TOndHighlighterAttributes* GetTokenAttribute() const override { return FAttr; }
  int GetTokenKind() const override { return 0; }
  int GetTokenPos() const override { return FPos; }
  void Next() override {
    FPos = FEnd;
    Scan();
  }
  void SetLine(std::string_view Text, int) override {
    ++LinesScanned;
    FLine = Text;
    FEnd = 0;
    Next();
  }
  int LinesScanned = 0;

 private:
  void Scan() {
    const int n = static_cast<int>(FLine.size());
    if (FPos >= n) return;
    auto at = [&](int i, std::string_view t) { return FLine.substr(static_cast<std::size_t>(i), t.size()) == t; };
    if (FInComment || at(FPos, "/*")) {
      FAttr = FComment;
      int i = FInComment ? FPos : FPos + 2;
      FInComment = true;
      while (i < n && !at(i, "*/")) ++i;
      if (i < n) {
        FInComment = false;
        i += 2;
      }
      FEnd = i;
    } else if (FLine[static_cast<std::size_t>(FPos)] == '"') {
      FAttr = FString;
      int i = FPos + 1;
      while (i < n && FLine[static_cast<std::size_t>(i)] != '"') ++i;
      FEnd = std::min(n, i + 1);
    } else {
      FAttr = FIdent;
      FEnd = FPos + 1;
    }
  }
  TOndHighlighterAttributes* FComment;
  TOndHighlighterAttributes* FString;
  TOndHighlighterAttributes* FIdent;
  TOndHighlighterAttributes* FAttr = nullptr;
  std::string_view FLine;
  int FPos = 0, FEnd = 0;
  bool FInComment = false;
};

TEST(EditorFolding, DeepRoundTripsWithEditsKeepTheText) {
  auto ed = MakeEditor();
  const std::string text = Nested(12);
  ed->Lines()->SetText(text);
  ed->RescanFoldRanges();
  ASSERT_EQ(ed->AllFoldRanges().AllCount(), 12);
  std::vector<std::string> expected;
  for (int i = 0; i < ed->Lines()->GetCount(); ++i) expected.push_back(ed->Lines()->Get(i));
  auto join = [&] {
    std::string s;
    for (std::size_t i = 0; i < expected.size(); ++i) s += (i ? "\r\n" : "") + expected[i];
    return s;
  };

  std::mt19937 rng(12);
  for (int round = 0; round < 40; ++round) {
    // Collapse from the innermost level outwards (every depth), or expand one.
    const int header = 2 + static_cast<int>(rng() % 12);
    if (TOndEditFoldRange* r = ed->FoldRangeAtLine(header)) {
      if (r->Collapsed)
        ed->ExpandFoldRange(r);
      else
        ed->CollapseFoldRange(r);
    }
    // Typing on the first and last lines, around the folds.
    ed->SetCaretXY(BufferCoord(1, 1));
    ed->CommandProcessor(ecChar, 'a', nullptr);
    expected[0] = "a" + expected[0];
    const int last = ed->Lines()->GetCount();
    ed->SetCaretXY(BufferCoord(ed->Lines()->Get(last - 1).size() + 1, last));
    ed->CommandProcessor(ecChar, 'z', nullptr);
    expected.back() += "z";
    ASSERT_EQ(ed->TextWithFoldsExpanded(), join()) << round;
    ASSERT_EQ(ed->GetEditorText(), join()) << round;
  }
  // Collapse every level, innermost first, so that levels beyond ten hide
  // others; expanding everything gives the whole text back.
  for (int header = 13; header >= 2; --header)
    if (TOndEditFoldRange* r = ed->FoldRangeAtLine(header); r && !r->Collapsed) ed->CollapseFoldRange(r);
  EXPECT_EQ(ed->Lines()->GetCount(), 3);
  EXPECT_EQ(ed->UncollapsedLine(3), static_cast<int>(expected.size()));
  EXPECT_EQ(ed->GetEditorText(), join());
  ed->ExpandAll();
  EXPECT_EQ(ed->Lines()->GetText(), join());
  for (int j = 0; j < ed->AllFoldRanges().AllCount(); ++j) EXPECT_FALSE(ed->AllFoldRanges().AllRanges(j)->Collapsed);
  // Switching folding off expands whatever is collapsed.
  ed->ToggleFoldAtLine(2);
  EXPECT_LT(ed->Lines()->GetCount(), static_cast<int>(expected.size()));
  ed->CodeFolding().SetEnabled(false);
  EXPECT_EQ(ed->Lines()->GetText(), join());
}

TEST(EditorFolding, UndoAcrossCollapseExpandAndDeletionsAtAHeader) {
  auto ed = MakeEditor();
  ed->Lines()->SetText("a\r\nb {\r\n c\r\n d {\r\n  e\r\n }\r\n}\r\nf\r\ng");
  ed->RescanFoldRanges();
  const std::string original = ed->Lines()->GetText();
  ed->SetCaretXY(BufferCoord(2, 9));
  ed->CommandProcessor(ecChar, 'X', nullptr);  // "gX"
  ASSERT_TRUE(ed->CollapseFoldRange(ed->FoldRangeAtLine(2)));
  ASSERT_EQ(ed->Lines()->GetCount(), 4);
  EXPECT_FALSE(ed->GetModified() && false);
  // Typing after the collapse, below the fold: line 4 ("gX") is line 9 of the whole text.
  ed->SetCaretXY(BufferCoord(3, 4));
  ed->CommandProcessor(ecChar, 'Y', nullptr);
  // The header does not take edits while collapsed.
  ed->SetCaretXY(BufferCoord(2, 2));
  ed->CommandProcessor(ecChar, 'Q', nullptr);
  EXPECT_EQ(ed->Lines()->Get(1), "b {     ");
  // Backspace at the start of the line after the header joins it: the fold
  // opens first, so no hidden line is lost.
  ed->SetCaretXY(BufferCoord(1, 3));
  ed->CommandProcessor(ecDeleteLastChar, '\0', nullptr);
  EXPECT_EQ(ed->Lines()->GetText(), "a\r\nb {\r\n c\r\n d {\r\n  e\r\n }\r\n}f\r\ngXY");
  // Deleting the header line of a collapsed range takes its hidden lines with
  // it; the header itself refuses edits while collapsed.
  ed->ToggleFoldAtLine(4);
  ASSERT_EQ(ed->Lines()->Get(3), " d {     ");
  ed->SetCaretXY(BufferCoord(1, 4));
  ed->CommandProcessor(ecDeleteLine, '\0', nullptr);
  EXPECT_EQ(ed->Lines()->Get(3), " d {     ");
  ed->PlaceCaretAndSelection(BufferCoord(1, 5), BufferCoord(1, 4), BufferCoord(1, 5));
  ed->CommandProcessor(ecDeleteChar, '\0', nullptr);
  EXPECT_EQ(ed->Lines()->GetText(), "a\r\nb {\r\n c\r\n}f\r\ngXY");
  const std::string after = ed->GetEditorText();
  UndoAll(*ed);
  EXPECT_EQ(ed->GetEditorText(), original);
  EXPECT_EQ(ed->Lines()->GetText(), original);
  RedoAll(*ed);
  EXPECT_EQ(ed->GetEditorText(), after);
  UndoAll(*ed);
  EXPECT_EQ(ed->GetEditorText(), original);
}

// A selection from the line above across a collapsed header, deleted and
// undone: the fold comes back collapsed, and its header shows the region's
// ending after the box as a collapse shows it.
TEST(EditorFolding, UndoOfADeletionAcrossACollapsedHeaderKeepsItsEnding) {
  const std::string text =
      "{\r\n  \"group2\": 1,\r\n  \"group3\": {\r\n    \"a\": 1,\r\n    \"b\": 2\r\n  },\r\n  \"group4\": 2\r\n}";
  // Where the selection ends: inside the header, at its end, on the line
  // after the fold, at that line's end.
  const TBufferCoord ends[] = {BufferCoord(6, 3), BufferCoord(14, 3), BufferCoord(1, 4), BufferCoord(14, 4)};
  for (const TBufferCoord end : ends) {
    SCOPED_TRACE(std::to_string(end.Char) + ", " + std::to_string(end.Line));
    auto p = test::OpenLoaded(text, true);
    TOndEdit& ed = *p->Edit;
    ASSERT_TRUE(ed.CollapseFoldRange(ed.FoldRangeAtLine(3)));
    const std::string collapsed = ed.Lines()->Get(2);
    ASSERT_EQ(collapsed, "  \"group3\": {     }");
    ed.PlaceCaretAndSelection(end, BufferCoord(1, 2), end);
    ed.CommandProcessor(ecDeleteChar, '\0', nullptr);
    ed.CommandProcessor(ecUndo, '\0', nullptr);
    EXPECT_EQ(ed.GetEditorText(), text);
    const TOndEditFoldRange* r = ed.FoldRangeAtLine(3);
    ASSERT_NE(r, nullptr);
    EXPECT_TRUE(r->Collapsed);
    // The header as painted: its text, the box over the blanks, the ending.
    EXPECT_EQ(ed.Lines()->Get(2), collapsed);
    ASSERT_TRUE(ed.ExpandFoldRange(ed.FoldRangeAtLine(3)));
    EXPECT_EQ(ed.Lines()->GetText(), text);
  }
}

TEST(EditorFolding, CollapseKeepsTheSavedStateAndUndoPutsTheFoldBack) {
  auto ed = MakeEditor();
  ed->Lines()->SetText("x {\r\n1\r\n2\r\n}\r\ny");
  ed->RescanFoldRanges();
  ed->SetCaretXY(BufferCoord(2, 5));
  ed->CommandProcessor(ecChar, '!', nullptr);
  ed->SetModified(false);
  ASSERT_TRUE(ed->ToggleFoldAtLine(1));
  EXPECT_FALSE(ed->GetModified());
  EXPECT_EQ(ed->Lines()->GetCount(), 2);
  ed->Undo();  // the fold opens again with the typing undone
  EXPECT_EQ(ed->Lines()->GetText(), "x {\r\n1\r\n2\r\n}\r\ny");
  ed->Redo();
  EXPECT_EQ(ed->Lines()->GetText(), "x {     \r\ny!");
  EXPECT_EQ(ed->GetEditorText(), "x {\r\n1\r\n2\r\n}\r\ny!");
}

TEST(EditorNotifications, MarksFollowInsertedAndDeletedLines) {
  auto ed = MakeEditor();
  std::string text;
  for (int i = 1; i <= 12; ++i) text += "line" + std::to_string(i) + "\r\n";
  ed->Lines()->SetText(text);
  ed->SetBookMark(1, 1, 9);
  ed->SetBookMark(2, 1, 6);
  ed->SetBookMark(3, 1, 5);
  ed->SetBookMark(4, 1, 2);
  // Deleting lines 5 to 7.
  ed->Lines()->DeleteLineRange(4, 3);
  int x, y;
  ASSERT_TRUE(ed->GetBookMark(1, x, y));
  EXPECT_EQ(y, 6);
  ASSERT_TRUE(ed->GetBookMark(2, x, y));
  EXPECT_EQ(y, 5);
  ASSERT_TRUE(ed->GetBookMark(3, x, y));
  EXPECT_EQ(y, 5);
  ASSERT_TRUE(ed->GetBookMark(4, x, y));
  EXPECT_EQ(y, 2);
  // Two lines inserted at line 2: marks from line 2 on move down.
  ed->Lines()->InsertLines(1, {"n1", "n2"});
  ASSERT_TRUE(ed->GetBookMark(4, x, y));
  EXPECT_EQ(y, 4);
  ASSERT_TRUE(ed->GetBookMark(1, x, y));
  EXPECT_EQ(y, 8);
  // An edit through the editor moves them once, not twice.
  ed->SetCaretXY(BufferCoord(1, 1));
  ed->CommandProcessor(ecLineBreak, '\r', nullptr);
  ASSERT_TRUE(ed->GetBookMark(1, x, y));
  EXPECT_EQ(y, 9);
}

TEST(EditorNotifications, RescanStopsAtTheFirstUnchangedState) {
  auto ed = MakeEditor();
  CommentHighlighter hl;
  std::string text;
  for (int i = 1; i <= 1000; ++i) text += (i == 10 ? "/* open" : i == 20 ? "close */" : "code " + std::to_string(i)) + "\r\n";
  ed->Lines()->SetText(text);
  ed->SetHighlighter(&hl);
  EXPECT_EQ(ed->Lines()->GetRange(9), 1);
  EXPECT_EQ(ed->Lines()->GetRange(18), 1);
  EXPECT_EQ(ed->Lines()->GetRange(19), 0);
  // Typing inside a line whose end state stays rescans only that line (and
  // the next, which shows the state is unchanged).
  hl.LinesScanned = 0;
  ed->SetCaretXY(BufferCoord(3, 500));
  ed->CommandProcessor(ecChar, 'q', nullptr);
  EXPECT_LE(hl.LinesScanned, 2);
  // Closing the comment early on line 12: lines 12 to 19 change, line 20
  // ends as before, and the rescan stops there.
  hl.LinesScanned = 0;
  ed->SetCaretXY(BufferCoord(1, 12));
  ed->CommandProcessor(ecChar, '*', nullptr);
  ed->CommandProcessor(ecChar, '/', nullptr);
  EXPECT_GE(hl.LinesScanned, 9);
  EXPECT_LE(hl.LinesScanned, 12);
  EXPECT_EQ(ed->Lines()->GetRange(10), 1);
  EXPECT_EQ(ed->Lines()->GetRange(11), 0);
  EXPECT_EQ(ed->Lines()->GetRange(18), 0);
  // Opening a comment near the top rescans until the end.
  hl.LinesScanned = 0;
  ed->SetCaretXY(BufferCoord(1, 30));
  ed->CommandProcessor(ecChar, '/', nullptr);
  ed->CommandProcessor(ecChar, '*', nullptr);
  EXPECT_GE(hl.LinesScanned, 970);
  EXPECT_EQ(ed->Lines()->GetRange(999), 1);
  ed->SetHighlighter(nullptr);
}

std::string AttributeAt(const TCustomOndEdit& ed, int Line) {
  std::string token;
  TOndHighlighterAttributes* a = nullptr;
  if (!ed.GetHighlighterAttriAtRowCol(BufferCoord(1, Line), token, a) || !a) return "";
  return a->Name();
}

// Text loaded under a highlighter is scanned only as far as something needs
// its states: painting the lines in view, a token look-up, a fold scan, an
// edit among the scanned lines. Whatever asks sees the states a scan of the
// whole text gives.
TEST(EditorNotifications, LoadedTextIsScannedOnlyAsFarAsItIsNeeded) {
  auto ed = MakeEditor();
  CommentHighlighter hl;
  // Folds { }; a "{" in a comment does not count.
  hl.FoldRegions().Add(frtChar, false, false, false, "{", "}");
  hl.GetDefaultAttribute(OND_ATTR_COMMENT)->SetBackground(0x00C000);
  hl.GetDefaultAttribute(OND_ATTR_IDENTIFIER)->SetBackground(0xFFE0E0);
  ed->SetHighlighter(&hl);
  std::string text;
  for (int i = 1; i <= 1000; ++i) {
    const char* special = i == 10 ? "/* open" : i == 500 ? "inner {" : i == 510 ? "}" : i == 900 ? "close */"
                        : i == 950 ? "block {" : i == 960 ? "}" : nullptr;
    text += (special ? std::string(special) : "code " + std::to_string(i)) + "\r\n";
  }
  hl.LinesScanned = 0;
  ed->Lines()->SetText(text);
  EXPECT_EQ(hl.LinesScanned, 0);

  // A late line right after loading: its token, and its colour when painted.
  EXPECT_EQ(AttributeAt(*ed, 600), "Comment");
  EXPECT_LE(hl.LinesScanned, 601);
  EXPECT_EQ(AttributeAt(*ed, 950), "Identifier");
  ed->SetTopLine(895);
  TBitmap shot;
  ed->PaintTo(shot);
  const int x = ed->GetTextOffset() + ed->GetCharWidth() / 2;
  EXPECT_EQ(shot.Canvas()->GetPixel(x, ed->GetLineHeight() / 2), static_cast<TColor>(0x00C000));  // line 895
  EXPECT_EQ(shot.Canvas()->GetPixel(x, 6 * ed->GetLineHeight() + 1), static_cast<TColor>(0xFFE0E0));  // line 901
  // Fold marks: the block after the comment folds, the brace inside it not.
  ed->RescanFoldRanges();
  EXPECT_EQ(ed->AllFoldRanges().AllCount(), 1);
  ASSERT_NE(ed->FoldRangeStartingAt(950), nullptr);
  EXPECT_EQ(ed->FoldRangeStartingAt(950)->ToLine, 960);

  // Closing the comment near the top: the lines after it turn to code as far
  // as they were scanned, and the rest follows when it is needed.
  ed->SetCaretXY(BufferCoord(1, 12));
  ed->CommandProcessor(ecChar, '*', nullptr);
  ed->CommandProcessor(ecChar, '/', nullptr);
  EXPECT_EQ(AttributeAt(*ed, 600), "Identifier");
  EXPECT_EQ(AttributeAt(*ed, 999), "Identifier");
  ed->RescanFoldRanges();
  EXPECT_EQ(ed->AllFoldRanges().AllCount(), 2);
  EXPECT_NE(ed->FoldRangeStartingAt(500), nullptr);
  ed->SetHighlighter(nullptr);
}

// The same after loading with nothing scanned yet (folding off, so that
// nothing looks at tokens): an edit near the top scans nothing, the lines
// below are scanned from the new state when first needed.
TEST(EditorNotifications, AnEditBeforeAnyScanLeavesTheStatesToTheFirstLookUp) {
  auto ed = MakeEditor();
  ed->CodeFolding().SetEnabled(false);
  CommentHighlighter hl;
  hl.FoldRegions().Add(frtChar, false, false, false, "{", "}");
  ed->SetHighlighter(&hl);
  std::string text = "a\r\nopen\r\n";
  for (int i = 0; i < 200; ++i) text += "x {\r\n}\r\n";
  hl.LinesScanned = 0;
  ed->Lines()->SetText(text + "close */\r\nend {\r\n}");
  ed->SetCaretXY(BufferCoord(1, 1));
  ed->CommandProcessor(ecChar, '/', nullptr);  // "/a": no comment yet
  ed->CommandProcessor(ecChar, '*', nullptr);  // "/*a": a comment from line 1 to "close */"
  EXPECT_EQ(hl.LinesScanned, 0);
  EXPECT_EQ(AttributeAt(*ed, 2), "Comment");
  EXPECT_EQ(AttributeAt(*ed, 300), "Comment");
  EXPECT_EQ(AttributeAt(*ed, 404), "Identifier");
  ed->CodeFolding().SetEnabled(true);
  ed->RescanFoldRanges();
  EXPECT_EQ(ed->AllFoldRanges().AllCount(), 1);
  EXPECT_NE(ed->FoldRangeStartingAt(404), nullptr);
  ed->SetHighlighter(nullptr);
}

// Random edits, look-ups and loads: the states asked for are always those a
// fresh scan of the same text gives.
TEST(EditorNotifications, LazyStatesAgreeWithAFullScanAfterRandomEdits) {
  auto ed = MakeEditor();
  CommentHighlighter hl;
  ed->SetHighlighter(&hl);
  std::mt19937 rng(26);
  const char* pieces[] = {"/*", "*/", "x", "{", "}", "\"s\"", " "};
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  std::string text;
  for (int i = 0; i < 120; ++i) text += std::string(pieces[pick(7)]) + pieces[pick(7)] + "\r\n";
  ed->Lines()->SetText(text);
  for (int step = 0; step < 300; ++step) {
    const int count = ed->Lines()->GetCount();
    switch (pick(5)) {
      case 0:  // a look-up anywhere
        AttributeAt(*ed, 1 + pick(count));
        break;
      case 1:  // typing a piece
        ed->SetCaretXY(BufferCoord(1, 1 + pick(count)));
        for (const char* c = pieces[pick(7)]; *c; ++c) ed->CommandProcessor(ecChar, *c, nullptr);
        break;
      case 2:  // a line break
        ed->SetCaretXY(BufferCoord(1 + pick(3), 1 + pick(count)));
        ed->CommandProcessor(ecLineBreak, '\r', nullptr);
        break;
      case 3:  // joining two lines
        ed->SetCaretXY(BufferCoord(1, 1 + pick(count)));
        ed->CommandProcessor(ecDeleteLastChar, 0, nullptr);
        break;
      default:  // undo
        ed->Undo();
        break;
    }
    if (step % 50 == 49) {
      // Every line's first token against a fresh editor's full scan.
      auto fresh = MakeEditor();
      CommentHighlighter full;
      fresh->Lines()->SetText(ed->Lines()->GetText());
      fresh->SetHighlighter(&full);
      for (int line = 1; line <= ed->Lines()->GetCount(); ++line)
        ASSERT_EQ(AttributeAt(*ed, line), AttributeAt(*fresh, line)) << "step " << step << ", line " << line;
      fresh->SetHighlighter(nullptr);
    }
  }
  ed->SetHighlighter(nullptr);
}

TEST(EditorNotifications, BracketsSkipStringsAndMissingPartnersKeepTheCaret) {
  auto ed = MakeEditor();
  CommentHighlighter hl;
  ed->Lines()->SetText("f(a[1], \"(\")\r\n{ x\r\n  (y) }\r\n)");
  ed->SetHighlighter(&hl);
  EXPECT_EQ(ed->GetMatchingBracketEx(BufferCoord(2, 1)), BufferCoord(12, 1));
  EXPECT_EQ(ed->GetMatchingBracketEx(BufferCoord(12, 1)), BufferCoord(2, 1));
  EXPECT_EQ(ed->GetMatchingBracketEx(BufferCoord(4, 1)), BufferCoord(6, 1));
  EXPECT_EQ(ed->GetMatchingBracketEx(BufferCoord(1, 2)), BufferCoord(7, 3));
  EXPECT_EQ(ed->GetMatchingBracketEx(BufferCoord(7, 3)), BufferCoord(1, 2));
  EXPECT_EQ(ed->GetMatchingBracketEx(BufferCoord(1, 4)), BufferCoord(0, 0));
  EXPECT_EQ(ed->GetMatchingBracketEx(BufferCoord(2, 2)), BufferCoord(0, 0));  // not a bracket
  ed->SetCaretXY(BufferCoord(1, 2));
  ed->CommandProcessor(ecMatchBracket, '\0', nullptr);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(7, 3));
  ed->SetCaretXY(BufferCoord(1, 4));
  ed->CommandProcessor(ecMatchBracket, '\0', nullptr);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(1, 4));
  ed->SetHighlighter(nullptr);
}

TEST(EditorNotifications, FoldChangesAreCountedAndUpdateTheRanges) {
  auto ed = MakeEditor();
  ed->Lines()->SetText("a {\r\nb\r\n}\r\nc\r\nd");
  ed->RescanFoldRanges();
  ASSERT_EQ(ed->AllFoldRanges().AllCount(), 1);
  ed->SetCaretXY(BufferCoord(2, 4));
  ed->CommandProcessor(ecChar, 'x', nullptr);  // no token: nothing to do
  EXPECT_EQ(ed->FoldChangeCount(), 0);
  ed->CommandProcessor(ecChar, '{', nullptr);  // a new range opens; the command ends with an update
  EXPECT_EQ(ed->FoldChangeCount(), 0);
  ed->SetCaretXY(BufferCoord(2, 5));
  ed->CommandProcessor(ecChar, '}', nullptr);
  ASSERT_EQ(ed->AllFoldRanges().AllCount(), 2);
  ASSERT_NE(ed->FoldRangeAtLine(4), nullptr);
  EXPECT_EQ(ed->FoldRangeAtLine(4)->ToLine, 5);
  // The caret's range is the one its line opens or closes.
  ed->SetCaretXY(BufferCoord(1, 3));
  EXPECT_EQ(ed->HighlightedFoldRange(), ed->FoldRangeAtLine(1));
  ed->SetCaretXY(BufferCoord(1, 2));
  EXPECT_EQ(ed->HighlightedFoldRange(), nullptr);
}

// Where a row breaks, a line caret moving right first stands at the end of
// the row, then at the start of the next; moving left it comes back the same
// way. Other caret shapes go straight on. The caret is drawn at most one
// column past the wrap width.
TEST(EditorWordWrap, CaretAtTheEndOfAWrappedRow) {
  auto ed = MakeEditor();
  ed->CodeFolding().SetEnabled(false);
  ed->WordWrap().SetStyle(wwsSpecified);
  ed->WordWrap().SetPosition(10);
  ed->Lines()->SetText(std::string(25, 'w'));
  ed->WordWrap().SetEnabled(true);
  ASSERT_EQ(ed->DisplayRowCount(), 3);
  ed->SetCaretXY(BufferCoord(10, 1));
  struct Step {
    TOndEditorCommand command;
    TBufferCoord caret;
    TDisplayCoord shown;
  };
  const Step steps[] = {
      {ecRight, BufferCoord(11, 1), DisplayCoord(11, 1)},  // the end of row 1
      {ecRight, BufferCoord(11, 1), DisplayCoord(1, 2)},   // the start of row 2
      {ecRight, BufferCoord(12, 1), DisplayCoord(2, 2)},
      {ecLeft, BufferCoord(11, 1), DisplayCoord(1, 2)},
      {ecLeft, BufferCoord(11, 1), DisplayCoord(11, 1)},  // back to the end of row 1
      {ecLeft, BufferCoord(10, 1), DisplayCoord(10, 1)},
  };
  for (const Step& s : steps) {
    ed->CommandProcessor(s.command, 0, nullptr);
    EXPECT_EQ(ed->GetCaretXY(), s.caret) << s.command;
    EXPECT_EQ(ed->GetDisplayXY(), s.shown) << s.command;
  }
  // A block caret (overwrite mode) has one place per char.
  ed->SetInsertMode(false);
  ed->SetCaretXY(BufferCoord(10, 1));
  ed->CommandProcessor(ecRight, 0, nullptr);
  EXPECT_EQ(ed->GetDisplayXY(), DisplayCoord(1, 2));
  ed->CommandProcessor(ecLeft, 0, nullptr);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(10, 1));
  EXPECT_EQ(ed->GetDisplayXY(), DisplayCoord(10, 1));
  // Far past a short line's end the caret is drawn just past the wrap width.
  ed->SetInsertMode(true);
  ed->Lines()->SetText("abc");
  ed->Show();
  ed->SetFocus();
  ed->SetAlwaysShowCaret(true);
  ed->SetCaretXY(BufferCoord(40, 1));
  ASSERT_GT(ed->GetDisplayXY().Column, 11);
  EXPECT_LE(ed->GetCaretPos().X, ed->RowColumnToPixels(DisplayCoord(11, 1)).X);
}

// With the caret free past the line ends, a right move that would leave the
// caret beyond one column past the wrap width takes it to the start of the
// next row instead, selecting on the way when asked; the last line has no
// next row and the caret stays.
TEST(EditorWordWrap, ARightMovePastTheWrapWidthGoesToTheNextRow) {
  auto ed = MakeEditor();
  ed->CodeFolding().SetEnabled(false);
  ed->SetOptions(ed->GetOptions() | eoScrollPastEol);
  ed->WordWrap().SetStyle(wwsSpecified);
  ed->WordWrap().SetPosition(10);
  ed->Lines()->SetText("abc\r\nsecond\r\nlast");
  ed->WordWrap().SetEnabled(true);
  ASSERT_EQ(ed->DisplayRowCount(), 3);
  ed->SetCaretXY(BufferCoord(10, 1));
  ed->CommandProcessor(ecRight, 0, nullptr);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(11, 1));  // one past the wrap width: still allowed
  EXPECT_EQ(ed->GetDisplayXY(), DisplayCoord(11, 1));
  ed->CommandProcessor(ecRight, 0, nullptr);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(1, 2));
  EXPECT_EQ(ed->GetDisplayXY(), DisplayCoord(1, 2));
  EXPECT_FALSE(ed->SelAvail());

  ed->SetCaretXY(BufferCoord(11, 1));
  ed->CommandProcessor(ecSelRight, 0, nullptr);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(1, 2));
  EXPECT_EQ(ed->GetBlockEnd(), BufferCoord(1, 2));
  EXPECT_EQ(ed->GetSelText(), "\r\n");  // the selection begins at the line's end

  ed->SetCaretXY(BufferCoord(11, 3));
  ed->CommandProcessor(ecRight, 0, nullptr);
  EXPECT_EQ(ed->GetCaretXY(), BufferCoord(11, 3));
  EXPECT_EQ(ed->GetDisplayXY(), DisplayCoord(11, 3));
}

TEST(EditorWordWrap, MappingAndUpdatesThroughTheEditor) {
  auto ed = MakeEditor();
  ed->CodeFolding().SetEnabled(false);
  ed->WordWrap().SetStyle(wwsSpecified);
  ed->WordWrap().SetPosition(20);
  ed->Lines()->SetText(std::string(50, 'w') + "\r\nshort\r\n\r\nalpha beta gamma delta epsilon");
  ed->WordWrap().SetEnabled(true);
  TOndWordWrapPlugin* wrap = ed->WordWrapPlugin();
  ASSERT_NE(wrap, nullptr);
  EXPECT_EQ(wrap->WrapWidth(), 20);
  EXPECT_EQ(ed->DisplayRowCount(), 3 + 1 + 1 + 2);
  EXPECT_EQ(ed->BufferToDisplayPos(BufferCoord(20, 1)), DisplayCoord(20, 1));
  EXPECT_EQ(ed->BufferToDisplayPos(BufferCoord(21, 1)), DisplayCoord(1, 2));
  EXPECT_EQ(ed->BufferToDisplayPos(BufferCoord(3, 2)), DisplayCoord(3, 4));
  EXPECT_EQ(ed->DisplayToBufferPos(DisplayCoord(1, 7)), BufferCoord(17, 4));  // broken at the blank
  EXPECT_EQ(ed->LineToRow(4), 6);
  EXPECT_EQ(ed->RowToLine(7), 4);

  // Edits keep the tables as a fresh layout would have them.
  auto same = [&](const char* what) {
    TOndWordWrapPlugin fresh(ed.get());
    EXPECT_EQ(wrap->LineOffsets(), fresh.LineOffsets()) << what;
    EXPECT_EQ(wrap->RowLengths(), fresh.RowLengths()) << what;
  };
  ed->SetCaretXY(BufferCoord(6, 2));
  for (char c : std::string(" grows past the width")) ed->CommandProcessor(ecChar, c, nullptr);
  same("typing");
  ed->SetCaretXY(BufferCoord(10, 1));
  ed->CommandProcessor(ecLineBreak, '\r', nullptr);
  same("line break");
  ed->SelectAll();
  ed->SetCaretXY(BufferCoord(1, 3));
  ed->CommandProcessor(ecDeleteLine, '\0', nullptr);
  same("line deleted");
  UndoAll(*ed);
  same("undone");
  EXPECT_EQ(ed->Lines()->Get(0), std::string(50, 'w'));
  // A width of 0 is clamped, and switching off gives one row per line.
  ed->WordWrap().SetPosition(0);
  EXPECT_GE(ed->WordWrapPlugin()->WrapWidth(), 1);
  ed->WordWrap().SetEnabled(false);
  EXPECT_EQ(ed->WordWrapPlugin(), nullptr);
  EXPECT_EQ(ed->DisplayRowCount(), ed->Lines()->GetCount());
}

TEST(EditorBuffer, EmptyBufferAndLoadedText) {
  auto ed = MakeEditor();
  ed->Lines()->SetText("");
  ASSERT_EQ(ed->Lines()->GetCount(), 0);
  ed->CommandProcessor(ecChar, 'a', nullptr);
  EXPECT_EQ(ed->Lines()->GetCount(), 1);
  ed->Undo();
  EXPECT_EQ(ed->Lines()->GetCount(), 0);
  ed->Redo();
  EXPECT_EQ(ed->Lines()->GetText(), "a");
  ed->Undo();
  EXPECT_EQ(ed->Lines()->GetCount(), 0);

  // Loaded text reaches the editor as one insertion and lays out once.
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + "\r\n";
  int inserted = 0;
  ed->Lines()->SetText("x");
  const auto keep = ed->Lines()->OnBeforeLinesInserted;
  ed->Lines()->OnBeforeLinesInserted = [&](TOndEditStringList*, int, int) { ++inserted; };
  ed->Lines()->SetText(text);
  ed->Lines()->OnBeforeLinesInserted = keep;
  EXPECT_LE(inserted, 2);
  EXPECT_EQ(ed->Lines()->GetCount(), 3001);
}

TEST(EditorPainting, LineNumbersStayClearOfTheFoldStrip) {
  // The panels' gutter: auto size, three digits, offsets 0 and 4, folding
  // switched on last.
  auto ed = std::make_unique<TOndEdit>(nullptr);
  ed->SetBounds(0, 0, 400, 300);
  TOndGutter& g = ed->Gutter();
  g.SetAutoSize(true);
  g.SetLeftOffset(0);
  g.SetRightOffset(4);
  g.SetDigitCount(3);
  g.SetShowLineNumbers(true);
  g.SetShowLineModified(true);
  ed->CodeFolding().SetEnabled(true);
  std::string text;
  for (int i = 0; i < 20; ++i) text += "x\r\n";
  ed->Lines()->SetText(text);
  const int gw = ed->GetGutterWidth();
  // Three digit cells, the offsets reserve room for the bars and the strip.
  EXPECT_GE(gw, 3 * ed->GetCharWidth() + 13 + 4);
  TBitmap bmp;
  ed->PaintTo(bmp);
  // Line 1's digit "1" stands left of the modified bars and the fold strip:
  // some pixel of its row in the number area differs from the gutter colour.
  const int lh = ed->GetLineHeight();
  bool ink = false;
  for (int x = gw - 17 - 2 - ed->GetCharWidth(); x < gw - 17 - 1 && !ink; ++x)
    for (int y = 0; y < lh && !ink; ++y) ink = bmp.Canvas()->GetPixel(x, y) != g.GetColor();
  EXPECT_TRUE(ink);
}

}  // namespace
}  // namespace ond
