// Word wrap in the control lays a loaded text out once, for the width it
// keeps once the gutter has grown with the text, and not at all for text
// that goes away unseen.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "editor/OndEdit.h"

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

}  // namespace
}  // namespace ond
