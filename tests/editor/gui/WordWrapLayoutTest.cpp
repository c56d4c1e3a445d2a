// Word wrap in the control lays a loaded text out once, for the width it
// keeps once the gutter has grown with the text, and not at all for text
// that goes away unseen.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "editor/OndEdit.h"
#include "editor/OndEditKeyCmds.h"
#include "highlight/OndEditHighlighter.h"
#include "platform/Graphics.h"

namespace ond {
namespace {

std::string Text(int Lines) {
  std::string s;
  for (int i = 0; i < Lines; ++i)
    s += "line " + std::to_string(i) + " with words enough to wrap in any panel of this width, and more { here } " +
         "and yet more words\r\n";
  return s;
}

// An editor as a panel has it: line numbers sized to the text, fold marks,
// word wrap at the window's width.
std::unique_ptr<TOndEdit> PanelEditor() {
  auto ed = std::make_unique<TOndEdit>(nullptr);
  ed->SetBounds(0, 0, 500, 300);
  ed->Gutter().SetShowLineNumbers(true);
  ed->Gutter().SetAutoSize(true);
  ed->CodeFolding().FoldRegions().Add(frtChar, false, false, false, "{", "}");
  ed->CodeFolding().SetEnabled(true);
  ed->WordWrap().SetEnabled(true);
  return ed;
}

void ExpectLaidOutAsFresh(TOndEdit& Ed) {
  TOndWordWrapPlugin* wrap = Ed.WordWrapPlugin();
  TOndWordWrapPlugin fresh(&Ed);
  EXPECT_EQ(wrap->WrapWidth(), fresh.WrapWidth());
  EXPECT_EQ(wrap->LineOffsets(), fresh.LineOffsets());
  EXPECT_EQ(wrap->RowLengths(), fresh.RowLengths());
}

TEST(WordWrapLayout, ALoadedTextIsLaidOutOnce) {
  auto ed = PanelEditor();
  TOndWordWrapPlugin* wrap = ed->WordWrapPlugin();
  ASSERT_NE(wrap, nullptr);
  // A plain load: the gutter grows to five digits before the rows are asked for.
  int before = wrap->Layouts();
  ed->Lines()->LoadFromString(Text(20000));
  EXPECT_GT(ed->DisplayRowCount(), 20000);
  EXPECT_EQ(wrap->Layouts() - before, 1);
  ExpectLaidOutAsFresh(*ed);

  // A panel's load under one update, folding off while the text comes and
  // on again with a rescan after it (the fold marks widen the gutter once
  // more).
  before = wrap->Layouts();
  ed->BeginUpdate();
  ed->CodeFolding().SetEnabled(false);
  ed->Lines()->LoadFromString(Text(30000));
  ed->CodeFolding().SetEnabled(true);
  ed->RescanFoldRanges();
  ed->EndUpdate();
  ed->SetCaretXY(BufferCoord(1, 1));
  EXPECT_EQ(wrap->Layouts() - before, 1);
  ExpectLaidOutAsFresh(*ed);
}

TEST(WordWrapLayout, TextThatGoesUnseenIsNotLaidOut) {
  auto ed = PanelEditor();
  ed->Lines()->LoadFromString(Text(1000));
  TOndWordWrapPlugin* wrap = ed->WordWrapPlugin();
  EXPECT_GT(ed->DisplayRowCount(), 1000);
  const int before = wrap->Layouts();
  // Emptied, then a new width: nothing is asked, nothing is laid out.
  ed->Lines()->Clear();
  ed->WordWrap().SetStyle(wwsSpecified);
  ed->WordWrap().SetPosition(30);
  EXPECT_EQ(wrap->Layouts(), before);
  // Edits while the layout waits change nothing it will not see.
  ed->Lines()->Add("a line long enough to wrap at thirty columns, twice over");
  EXPECT_EQ(ed->DisplayRowCount(), 2);
  EXPECT_EQ(wrap->Layouts(), before + 1);
  ExpectLaidOutAsFresh(*ed);
}

// Words of an even length are shown in another colour than words of an odd
// length: a key typed at the end of a word recolours all of it, on the rows
// before the key too when the word is cut over rows.
class WordLengthHighlighter : public TOndCustomHighlighter {
 public:
  WordLengthHighlighter() {
    AddAttribute(FEven = new TOndHighlighterAttributes("Even"));
    AddAttribute(FOdd = new TOndHighlighterAttributes("Odd"));
    FEven->SetForeground(0x0000C0);
    FOdd->SetForeground(0x008000);
  }
  TOndHighlighterAttributes* GetDefaultAttribute(int) const override { return FOdd; }
  bool GetEol() const override { return FPos >= static_cast<int>(FLine.size()); }
  std::string GetToken() const override {
    return std::string(FLine.substr(static_cast<std::size_t>(FPos), static_cast<std::size_t>(FEnd - FPos)));
  }
  TOndHighlighterAttributes* GetTokenAttribute() const override { return FAttr; }
  int GetTokenKind() const override { return 0; }
  int GetTokenPos() const override { return FPos; }
  void Next() override {
    FPos = FEnd;
    const int n = static_cast<int>(FLine.size());
    if (FPos >= n) return;
    FEnd = FPos + 1;
    if (FLine[static_cast<std::size_t>(FPos)] != ' ')
      while (FEnd < n && FLine[static_cast<std::size_t>(FEnd)] != ' ') ++FEnd;
    FAttr = (FEnd - FPos) % 2 == 0 ? FEven : FOdd;
  }
  void SetLine(std::string_view Text, int) override {
    FLine = Text;
    FEnd = 0;
    Next();
  }

 private:
  TOndHighlighterAttributes* FEven = nullptr;
  TOndHighlighterAttributes* FOdd = nullptr;
  TOndHighlighterAttributes* FAttr = nullptr;
  std::string_view FLine;
  int FPos = 0, FEnd = 0;
};

// A key typed into a line of many rows that keeps its row count repaints the
// rows from the one the key reaches to the line's end: every pixel that
// changed lies in what the key invalidated, and the rows before stay.
TEST(WordWrapRepaint, AKeyRepaintsTheRowsItReaches) {
  WordLengthHighlighter words;
  for (const bool highlighted : {false, true}) {
    SCOPED_TRACE(highlighted ? "highlighted" : "plain");
    auto ed = std::make_unique<TOndEdit>(nullptr);
    ed->SetBounds(0, 0, 400, 300);
    ed->SetColor(0xFFFFFF);
    // No gutter: its strip of the line is painted again whole (a changed
    // line may get a mark there), and would hide the text area's rows.
    ed->Gutter().SetVisible(false);
    ed->ActiveLine().SetVisible(true);
    ed->ActiveLine().SetBackground(0xE0FFFF);
    ed->WordWrap().SetStyle(wwsSpecified);
    ed->WordWrap().SetPosition(30);
    ed->WordWrap().SetEnabled(true);
    if (highlighted) ed->SetHighlighter(&words);
    // Line 2 takes six rows; its last word (45 letters) is cut over two.
    ed->Lines()->SetText(std::string("first\r\n") + "one two three four five six seven eight nine ten " +
                         "eleven twelve thirteen fourteen fifteen sixteen " + std::string(45, 'w') + " end\r\nlast");
    ed->Show();
    const int lh = ed->GetLineHeight();
    auto rowTop = [lh](int Row) { return (Row - 1) * lh; };  // the view shows row 1 at the top
    ASSERT_EQ(ed->LineToRow(2), 2);
    ASSERT_EQ(ed->LineToRow(3) - ed->LineToRow(2), 6);
    const int wordEnd = static_cast<int>(ed->Lines()->Get(1).size()) - 3;  // the char after the long word
    const int wordRow = ed->BufferToDisplayPos(BufferCoord(wordEnd - 45, 2)).Row;
    ASSERT_LT(wordRow, ed->BufferToDisplayPos(BufferCoord(wordEnd, 2)).Row);
    // Keys on the third row and later (two that recolour the word cut over
    // two rows among them), then one on the first.
    for (const int at : {60, 61, wordEnd, wordEnd + 1, 3}) {
      SCOPED_TRACE(at);
      ed->SetCaretXY(BufferCoord(at, 2));
      TBitmap before;
      ed->PaintTo(before);
      const int keyRow = ed->GetDisplayXY().Row;
      ed->Lines()->BeginUpdate();
      ed->CommandProcessor(ecChar, 'x', nullptr);
      const TRect invalid = ed->PendingInvalidRect();
      ed->Lines()->EndUpdate();
      ASSERT_EQ(ed->LineToRow(3) - ed->LineToRow(2), 6);
      TBitmap after;
      ed->PaintTo(after);
      int changed = 0, outside = 0;
      for (int y = 0; y < ed->ClientHeight(); ++y)
        for (int x = ed->GetGutterWidth(); x < ed->ClientWidth(); ++x)
          if (before.Canvas()->GetPixel(x, y) != after.Canvas()->GetPixel(x, y)) {
            ++changed;
            if (x < invalid.Left || x >= invalid.Right || y < invalid.Top || y >= invalid.Bottom) ++outside;
          }
      EXPECT_GT(changed, 0);
      EXPECT_EQ(outside, 0) << "pixels changed outside the invalidated rows";
      // Nothing above the row the key reaches (a row before it whose break
      // was looked for up to the key's column at most, or the cut word's
      // first row when the key recolours it), nothing below the line.
      const int firstRow = highlighted && at >= wordEnd ? wordRow : keyRow - 1;
      EXPECT_GE(invalid.Top, rowTop(std::max(firstRow, 2)));
      EXPECT_LE(invalid.Bottom, rowTop(8));
    }
    ed->SetHighlighter(nullptr);
  }
}

}  // namespace
}  // namespace ond
