// An editor made out of view (as the panels of a big set are) lays its
// wrapped text out only when its rows are first needed; until then, and
// after, it stands exactly as an editor laid out at load: scroll range, bars,
// caret, rows, searches and painted pixels.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "editor/OndEdit.h"
#include "platform/Controls.h"
#include "platform/Graphics.h"
#include "search/OndEditSearch.h"
#include "tests/support/gui/PaintedPixels.h"

namespace ond {
namespace {

std::string Text(int Lines) {
  std::string s;
  for (int i = 0; i < Lines; ++i) {
    s += "  \"key" + std::to_string(i) + "\": \"value with words\",";
    if (i % 3 == 0) s += " // a comment long enough to wrap at the width of this editor, and then some more words";
    if (i % 7 == 0) s += "\t{ \"nested\": [1, 2, 3] }";
    s += "\r\n";
  }
  return s;
}

// An editor set up and loaded as a panel's: line numbers sized to the text,
// word wrap at the window's width, the text loaded under one update with
// the caret put back at the start.
std::unique_ptr<TOndEdit> LoadedEditor(bool OutOfView, int Lines, TOndEditSearch* Engine) {
  std::unique_ptr<TOndEdit> ed;
  {
    std::unique_ptr<TDeferUntilPainted> defer;
    if (OutOfView) defer = std::make_unique<TDeferUntilPainted>();
    ed = std::make_unique<TOndEdit>(nullptr);
  }
  ed->SetBounds(0, 0, 420, 260);
  ed->Gutter().SetShowLineNumbers(true);
  ed->Gutter().SetAutoSize(true);
  ed->WordWrap().SetEnabled(true);
  ed->SetSearchEngine(Engine);
  ed->BeginUpdate();
  ed->Lines()->LoadFromString(Text(Lines));
  ed->EndUpdate();
  ed->SetCaretXY(BufferCoord(1, 1));
  return ed;
}

void ExpectSameBar(TOndEdit& A, TOndEdit& B, TScrollBarKind Kind) {
  EXPECT_EQ(A.ScrollBarVisible(Kind), B.ScrollBarVisible(Kind));
  const TScrollInfo a = A.GetScrollInfo(Kind), b = B.GetScrollInfo(Kind);
  EXPECT_EQ(a.Min, b.Min);
  EXPECT_EQ(a.Max, b.Max);
  EXPECT_EQ(a.Page, b.Page);
  EXPECT_EQ(a.Pos, b.Pos);
}

// What a view shows of its text, without asking for rows.
void ExpectSameView(TOndEdit& A, TOndEdit& B) {
  EXPECT_EQ(A.ClientWidth(), B.ClientWidth());
  EXPECT_EQ(A.ClientHeight(), B.ClientHeight());
  EXPECT_EQ(A.GetGutterWidth(), B.GetGutterWidth());
  EXPECT_EQ(A.WordWrapPlugin()->WrapWidth(), B.WordWrapPlugin()->WrapWidth());
  ExpectSameBar(A, B, TScrollBarKind::sbVertical);
  ExpectSameBar(A, B, TScrollBarKind::sbHorizontal);
  EXPECT_EQ(A.GetCaretXY(), B.GetCaretXY());
  EXPECT_EQ(A.GetDisplayXY(), B.GetDisplayXY());
  EXPECT_EQ(A.GetTopLine(), B.GetTopLine());
}

void ExpectSameRows(TOndEdit& A, TOndEdit& B) {
  EXPECT_EQ(A.DisplayRowCount(), B.DisplayRowCount());
  EXPECT_EQ(A.WordWrapPlugin()->LineOffsets(), B.WordWrapPlugin()->LineOffsets());
  EXPECT_EQ(A.WordWrapPlugin()->RowLengths(), B.WordWrapPlugin()->RowLengths());
}

void ExpectSamePixels(TOndEdit& A, TOndEdit& B) { EXPECT_EQ(test::DifferingPixels(A, B), 0); }

TEST(OutOfViewWrap, NothingIsLaidOutUntilTheRowsAreNeeded) {
  TOndEditSearch engine;
  for (const int lines : {3, 400}) {
    SCOPED_TRACE(lines);
    auto hidden = LoadedEditor(true, lines, &engine);
    auto shown = LoadedEditor(false, lines, &engine);
    EXPECT_EQ(hidden->WordWrapPlugin()->Layouts(), 0);
    EXPECT_GE(shown->WordWrapPlugin()->Layouts(), 1);
    ExpectSameView(*hidden, *shown);
    EXPECT_EQ(hidden->WordWrapPlugin()->Layouts(), 0);
    // Asked for its rows, it lays them out as the other did.
    ExpectSameRows(*hidden, *shown);
    EXPECT_EQ(hidden->WordWrapPlugin()->Layouts(), 1);
    ExpectSameView(*hidden, *shown);
    hidden->Show();
    shown->Show();
    ExpectSamePixels(*hidden, *shown);
  }
}

// Shown first, the editor lays out for the paint and paints what the other
// paints; moved down the text, both keep showing the same.
TEST(OutOfViewWrap, ShownLaterItPaintsAsIfLaidOutAtLoad) {
  TOndEditSearch engine;
  auto hidden = LoadedEditor(true, 300, &engine);
  auto shown = LoadedEditor(false, 300, &engine);
  shown->Show();
  ExpectSamePixels(*hidden, *shown);
  hidden->Show();
  ExpectSameView(*hidden, *shown);
  ExpectSameRows(*hidden, *shown);
  for (const int line : {120, 299, 7}) {
    hidden->SetCaretXY(BufferCoord(30, line));
    shown->SetCaretXY(BufferCoord(30, line));
    ExpectSameView(*hidden, *shown);
    ExpectSamePixels(*hidden, *shown);
  }
}

// Searching and replacing in an editor that was never laid out finds,
// selects and scrolls as in one laid out at load.
TEST(OutOfViewWrap, SearchesAndReplacesAsALaidOutEditor) {
  TOndEditSearch engine;
  auto hidden = LoadedEditor(true, 300, &engine);
  auto shown = LoadedEditor(false, 300, &engine);
  for (TOndEdit* ed : {hidden.get(), shown.get()}) {
    EXPECT_EQ(ed->SearchReplace("key250", "", ssoEntireScope), 1);
    // From the match on: the lines 250 to 299 whose number divides by three.
    EXPECT_EQ(ed->SearchReplace("comment", "remark", ssoReplace | ssoReplaceAll), 16);
  }
  EXPECT_EQ(hidden->Lines()->GetText(), shown->Lines()->GetText());
  EXPECT_EQ(hidden->GetBlockBegin(), shown->GetBlockBegin());
  EXPECT_EQ(hidden->GetBlockEnd(), shown->GetBlockEnd());
  ExpectSameView(*hidden, *shown);
  ExpectSameRows(*hidden, *shown);

  // The same in an editor asked for nothing before the replacement.
  auto hidden2 = LoadedEditor(true, 300, &engine);
  auto shown2 = LoadedEditor(false, 300, &engine);
  for (TOndEdit* ed : {hidden2.get(), shown2.get()})
    EXPECT_EQ(ed->SearchReplace("value with", "value WITH many more words than before", ssoEntireScope | ssoReplace |
                                                                                          ssoReplaceAll),
              300);
  ExpectSameView(*hidden2, *shown2);
  ExpectSameRows(*hidden2, *shown2);
  hidden2->Show();
  shown2->Show();
  ExpectSamePixels(*hidden2, *shown2);
}

}  // namespace
}  // namespace ond
