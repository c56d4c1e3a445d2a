// Selections that reach over collapsed folds: their text carries every hidden
// line and never the header's marker, so that copy, cut, paste, dragging and
// the memo's text messages neither lose nor invent text.
#include <gtest/gtest.h>

#include <QPoint>
#include <cstring>
#include <memory>
#include <string>

#include "editor/OndEdit.h"
#include "editor/OndMemo.h"
#include "platform/Clipbrd.h"
#include "search/OndEditSearch.h"

namespace ond {
namespace {

const char* const kText = "a\r\nb {\r\n c\r\n d {\r\n  e\r\n }\r\n}\r\nf\r\ng";
const char* const kFold = "b {\r\n c\r\n d {\r\n  e\r\n }\r\n}";

template <class T = TOndEdit>
std::unique_ptr<T> MakeFolded() {
  auto ed = std::make_unique<T>(nullptr);
  ed->SetBounds(0, 0, 500, 300);
  ed->SetMaxUndo(100000);
  ed->CodeFolding().FoldRegions().Add(frtChar, false, false, false, "{", "}");
  ed->CodeFolding().SetEnabled(true);
  ed->Lines()->SetText(kText);
  ed->RescanFoldRanges();
  // Inner fold first, then the outer one: visible "a", "b {     ", "f", "g".
  EXPECT_TRUE(ed->CollapseFoldRange(ed->FoldRangeAtLine(4)));
  EXPECT_TRUE(ed->CollapseFoldRange(ed->FoldRangeAtLine(2)));
  EXPECT_EQ(ed->Lines()->GetCount(), 4);
  return ed;
}

void Select(TCustomOndEdit& ed, TBufferCoord B, TBufferCoord E) {
  ed.SetCaretXY(B);
  ed.SetBlockBegin(B);
  ed.SetBlockEnd(E);
}

void UndoAllOf(TCustomOndEdit& ed) {
  for (int guard = 0; ed.UndoList()->HasRecords() && guard < 1000; ++guard) ed.Undo();
}

QPoint PixelOf(TCustomOndEdit& ed, int column, int row) {
  const TPoint p = ed.RowColumnToPixels(DisplayCoord(column, row));
  return QPoint(p.X + 1, p.Y + ed.GetLineHeight() / 2);
}

// Cuts the selection, pastes it back where it was, and checks the text at
// each step, then undoes and redoes the lot.
void CutPasteRoundTrip(TCustomOndEdit& ed, TBufferCoord B, TBufferCoord E, const std::string& Expected,
                       const std::string& AfterCut) {
  Select(ed, B, E);
  EXPECT_EQ(ed.GetSelText(), Expected);
  ed.CopyToClipboard();
  EXPECT_EQ(Clipboard()->GetAsText(), Expected);
  ed.CutToClipboard();
  EXPECT_EQ(ed.GetEditorText(), AfterCut);
  ed.PasteFromClipboard();
  EXPECT_EQ(ed.GetEditorText(), kText);
  ed.Undo();
  EXPECT_EQ(ed.GetEditorText(), AfterCut);
  ed.Undo();
  EXPECT_EQ(ed.GetEditorText(), kText);
  ed.Redo();
  EXPECT_EQ(ed.GetEditorText(), AfterCut);
  ed.Redo();
  EXPECT_EQ(ed.GetEditorText(), kText);
}

TEST(FoldSelection, CutAndPasteOverCollapsedFoldsKeepEveryHiddenLine) {
  {
    // From the first line into the line after the fold.
    auto ed = MakeFolded();
    CutPasteRoundTrip(*ed, BufferCoord(1, 1), BufferCoord(2, 3), std::string("a\r\n") + kFold + "\r\nf", "\r\ng");
  }
  {
    // Ending on the header after its marker: the whole fold, no blanks.
    auto ed = MakeFolded();
    const int end = static_cast<int>(ed->Lines()->GetView(1).size()) + 1;
    CutPasteRoundTrip(*ed, BufferCoord(1, 1), BufferCoord(end, 2), std::string("a\r\n") + kFold,
                      "\r\nf\r\ng");
  }
  {
    // Starting after the marker: the text after the fold only.
    auto ed = MakeFolded();
    const int end = static_cast<int>(ed->Lines()->GetView(1).size()) + 1;
    Select(*ed, BufferCoord(end, 2), BufferCoord(2, 3));
    EXPECT_EQ(ed->GetSelText(), "\r\nf");
    ed->SetSelText("");
    EXPECT_EQ(ed->GetEditorText(), std::string("a\r\n") + kFold + "\r\ng");
    ed->Undo();
    EXPECT_EQ(ed->GetEditorText(), kText);
  }
  {
    // Within the header line the marker is neither copied nor deleted.
    auto ed = MakeFolded();
    const std::string header(ed->Lines()->GetView(1));
    Select(*ed, BufferCoord(2, 2), BufferCoord(static_cast<int>(header.size()) + 1, 2));
    EXPECT_EQ(ed->GetSelText(), " {");
    ed->SetSelText("");
    EXPECT_EQ(ed->Lines()->Get(1), "b" + header.substr(3));
    ed->Undo();
    EXPECT_EQ(ed->Lines()->Get(1), header);
    EXPECT_EQ(ed->GetEditorText(), kText);
  }
  {
    // Whole lines: the header's line brings its fold along.
    auto ed = MakeFolded();
    ed->SetSelectionMode(smLine);
    CutPasteRoundTrip(*ed, BufferCoord(1, 1), BufferCoord(2, 2), std::string("a\r\n") + kFold + "\r\n", "f\r\ng");
  }
  {
    // A column block over the header takes its visible text only, and its
    // removal leaves the marker and the hidden lines in place.
    auto ed = MakeFolded();
    ed->SetSelectionMode(smColumn);
    Select(*ed, BufferCoord(1, 2), BufferCoord(9, 3));
    EXPECT_EQ(ed->GetSelText(), "b {     \r\nf       ");
    ed->SetSelText("");
    EXPECT_EQ(ed->GetEditorText(), "a\r\n\r\n c\r\n d {\r\n  e\r\n }\r\n}\r\n\r\ng");
    ed->Undo();
    EXPECT_EQ(ed->GetEditorText(), kText);
  }
}

TEST(FoldSelection, DraggingOverCollapsedFoldsMovesEveryHiddenLine) {
  const std::string moved = std::string("a\r\n") + kFold + "\r\nf";
  {
    auto ed = MakeFolded();
    Select(*ed, BufferCoord(1, 1), BufferCoord(2, 3));
    const QPoint at = PixelOf(*ed, 2, 4);  // after "g"
    ed->DropText(ed.get(), at.x(), at.y(), 0);
    EXPECT_EQ(ed->GetEditorText(), "\r\ng" + moved);
    ed->Undo();
    EXPECT_EQ(ed->GetEditorText(), kText);
    ed->Redo();
    EXPECT_EQ(ed->GetEditorText(), "\r\ng" + moved);
  }
  {
    // Moved into another editor with Shift: recorded in both.
    auto ed = MakeFolded();
    auto other = std::make_unique<TOndEdit>(nullptr);
    other->SetBounds(0, 0, 500, 300);
    other->Lines()->SetText("xyz");
    Select(*ed, BufferCoord(1, 1), BufferCoord(2, 3));
    const QPoint o = PixelOf(*other, 2, 1);
    other->DropText(ed.get(), o.x(), o.y(), ssShift);
    EXPECT_EQ(other->GetEditorText(), "x" + moved + "yz");
    EXPECT_EQ(ed->GetEditorText(), "\r\ng");
    ed->Undo();
    EXPECT_EQ(ed->GetEditorText(), kText);
    other->Undo();
    EXPECT_EQ(other->GetEditorText(), "xyz");
  }
}

TEST(FoldSelection, ReplaceAllLeavesCollapsedFoldsWhole) {
  auto ed = MakeFolded();
  TOndEditSearch engine;
  ed->SetSearchEngine(&engine);
  // The marker's blanks are no text of the file: nothing to find there.
  EXPECT_EQ(ed->SearchReplace("  ", "_", ssoReplaceAll | ssoEntireScope), 0);
  EXPECT_EQ(ed->GetEditorText(), kText);
  // Visible text is replaced; the hidden lines stay as they are, in place.
  EXPECT_GE(ed->SearchReplace("b", "B", ssoReplaceAll | ssoEntireScope), 1);
  EXPECT_EQ(ed->GetEditorText(), "a\r\nB {\r\n c\r\n d {\r\n  e\r\n }\r\n}\r\nf\r\ng");
  UndoAllOf(*ed);
  EXPECT_EQ(ed->GetEditorText(), kText);
  ed->SetSearchEngine(nullptr);
}

// A replacement that breaks a line moves the collapsed header down while the
// search goes on: its marker still is no text of the file at its new line.
TEST(FoldSelection, ReplaceAllFollowsACollapsedHeaderThatMoves) {
  auto ed = std::make_unique<TOndEdit>(nullptr);
  ed->SetBounds(0, 0, 500, 300);
  ed->CodeFolding().FoldRegions().Add(frtChar, false, false, false, "{", "}");
  ed->CodeFolding().SetEnabled(true);
  ed->Lines()->SetText("a  b\r\nc {\r\n d\r\n}\r\ne");
  ed->RescanFoldRanges();
  ASSERT_TRUE(ed->CollapseFoldRange(ed->FoldRangeAtLine(2)));
  TOndEditSearch engine;
  ed->SetSearchEngine(&engine);
  EXPECT_EQ(ed->SearchReplace("  ", "\r\n", ssoReplaceAll | ssoEntireScope), 1);
  EXPECT_EQ(ed->GetEditorText(), "a\r\nb\r\nc {\r\n d\r\n}\r\ne");
  ed->SetSearchEngine(nullptr);
}

TEST(FoldSelection, MemoMessagesSeeTheHiddenLines) {
  auto memo = MakeFolded<TOndMemo>();
  const std::string text = kText;
  EXPECT_EQ(memo->Perform(WM_GETTEXTLENGTH, 0, 0), static_cast<std::intptr_t>(text.size()));
  std::string buffer(text.size() + 1, '?');
  EXPECT_EQ(memo->Perform(WM_GETTEXT, buffer.size(), reinterpret_cast<std::intptr_t>(buffer.data())),
            static_cast<std::intptr_t>(text.size()));
  EXPECT_EQ(std::string(buffer.c_str()), text);

  // A line read back never carries the collapsed header's marker.
  char line[64] = {};
  const std::uint16_t room = sizeof line - 1;
  std::memcpy(line, &room, sizeof room);
  EXPECT_EQ(memo->Perform(EM_GETLINE, 1, reinterpret_cast<std::intptr_t>(line), sizeof line), 3);
  EXPECT_EQ(std::string(line, 3), "b {");

  memo->Perform(EM_SETSEL, 0, -1);
  std::string sel(text.size() + 1, '?');
  EXPECT_EQ(memo->Perform(EM_GETSELTEXT, 0, reinterpret_cast<std::intptr_t>(sel.data()), sel.size()),
            static_cast<std::intptr_t>(text.size()));
  EXPECT_EQ(std::string(sel.c_str()), text);

  // Replacing the whole text takes the hidden lines with it, and undo brings
  // back every one of them.
  const char replacement[] = "new\r\ntext";
  memo->Perform(WM_SETTEXT, 0, reinterpret_cast<std::intptr_t>(replacement));
  EXPECT_EQ(memo->GetEditorText(), replacement);
  memo->Undo();
  EXPECT_EQ(memo->GetEditorText(), text);
}

}  // namespace
}  // namespace ond
