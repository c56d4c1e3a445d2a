#include "editor/OndEditor.h"

#include <algorithm>

#include "platform/core/ScopeGuard.h"

namespace ond {

namespace {
TCustomOndEditor* gLastFocused = nullptr;
}

TCustomOndEditor::TCustomOndEditor(TComponent* AOwner) : TOndMemo(AOwner, true) {}

TCustomOndEditor::~TCustomOndEditor() {
  if (gLastFocused == this) gLastFocused = nullptr;
}

TCustomOndEditor* TCustomOndEditor::LastFocused() noexcept { return gLastFocused; }

void TCustomOndEditor::SetDocumentName(const std::string& Value) {
  if (Value == FDocumentName) return;
  FDocumentName = Value;
  if (OnStatusChange) DoOnStatusChange(PendingStatusChanges());
}

void TCustomOndEditor::SetDocumentFormat(TOndEditFileFormat Value) {
  if (Value == Lines()->FileFormat) return;
  Lines()->FileFormat = Value;
  if (OnStatusChange) DoOnStatusChange(PendingStatusChanges());
}

void TCustomOndEditor::DoLoadDocument(TStream* Stream, TOndDocumentOptions Options) {
  if (OnLoadDocument) OnLoadDocument(this, Stream, Options);
}
void TCustomOndEditor::DoSaveDocument(TStream* Stream, TOndDocumentOptions Options) {
  if (OnSaveDocument) OnSaveDocument(this, Stream, Options);
}
void TCustomOndEditor::DoCloseDocument() {
  if (OnCloseDocument) OnCloseDocument(this);
}

void TCustomOndEditor::DoChange() {
  FLastChange = GetCaretXY();
  TOndMemo::DoChange();
}

void TCustomOndEditor::DoEnter() {
  TOndMemo::DoEnter();
  gLastFocused = this;
}

void TCustomOndEditor::TitleCaseSelection() {
  const TBufferCoord b = GetBlockBegin(), e = GetBlockEnd();
  const TBufferCoord anchor = SelectionAnchor(), moving = SelectionMovingEnd();
  const TBufferCoord caret = GetCaretXY();
  const TOndSelectionMode mode = GetSelectionMode();
  TSysCharSet ident, white;
  GetWordChars(ident, white);
  const int last = std::min(e.Line, Lines()->GetCount());
  LockPaint();
  const TScopeExit unlock([&] { UnlockPaint(); });
  BeginUndoBlock();
  {
    const TScopeExit endBlock([&] { EndUndoBlock(); });
    for (int l = b.Line; l <= last; ++l) {
      std::string line = Lines()->Get(l - 1);
      const int len = static_cast<int>(line.size());
      int from = 1, to = len;  // 1-based, inclusive
      if (mode == smColumn) {
        int c1 = BufferToDisplayPos(b).Column, c2 = BufferToDisplayPos(e).Column;
        if (c1 > c2) std::swap(c1, c2);
        from = WordStartEx(BufferCoord(LineColumnToChar(line, c1, GetTabWidth()), l)).Char;
        to = WordEndEx(BufferCoord(LineColumnToChar(line, c2, GetTabWidth()), l)).Char - 1;
      } else {
        if (l == b.Line) from = WordStartEx(BufferCoord(b.Char, l)).Char;
        if (l == e.Line) to = std::min(len, WordStartEx(BufferCoord(e.Char, l)).Char);
      }
      bool changed = false;
      bool inWord = from > 1 && from - 1 <= len && ident.Contains(line[static_cast<std::size_t>(from - 2)]);
      for (int i = from; i <= std::min(to, len); ++i) {
        char& c = line[static_cast<std::size_t>(i - 1)];
        const bool isIdent = ident.Contains(c);
        if (isIdent && !inWord && c >= 'a' && c <= 'z') {
          c = static_cast<char>(c - 'a' + 'A');
          changed = true;
        }
        inWord = isIdent;
      }
      if (changed) ReplaceRange(BufferCoord(1, l), BufferCoord(len + 1, l), line, urDelete, urInsert, true);
    }
  }
  PlaceCaretAndSelection(caret, anchor, moving);
}

void TCustomOndEditor::SelectWordStep(bool Forward) {
  // Blank words are stepped over in a loop, never by recursion; every step
  // moves on, and the text's first or last position ends it.
  for (int guard = 0; guard < 10000000; ++guard) {
    const bool sel = SelAvail();
    const TBufferCoord from = Forward ? (sel ? GetBlockEnd() : GetCaretXY()) : (sel ? GetBlockBegin() : GetCaretXY());
    SetCaretAndCollapse(from);
    const TBufferCoord p = Forward ? NextWordPosEx(from) : PrevWordPosEx(from);
    if (p == from) return;
    PlaceCaretAndSelection(p, p, WordEndEx(p));
    std::string text = GetSelText();
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    if (!text.empty()) return;
    SetCaretAndCollapse(p);
  }
}

void TCustomOndEditor::ExecuteCommand(TOndEditorCommand Command, char AChar, void* Data) {
  auto base = [&](TOndEditorCommand c) { TOndMemo::ExecuteCommand(c, AChar, Data); };
  switch (Command) {
    case ecGotoLastChange:
      SetCaretAndCollapse(FLastChange);
      break;
    case ecUpperCaseAuto: base(SelAvail() ? ecUpperCaseBlock : ecUpperCase); break;
    case ecLowerCaseAuto: base(SelAvail() ? ecLowerCaseBlock : ecLowerCase); break;
    case ecToggleCaseAuto: base(SelAvail() ? ecToggleCaseBlock : ecToggleCase); break;
    case ecTitleCaseAuto:
      if (!SelAvail())
        base(ecTitleCase);
      else if (!GetReadOnly())
        TitleCaseSelection();
      break;
    case ecPrint:
      if (OnPrint) OnPrint(this, AChar, Data);
      break;
    case ecClearBookmarks:
      for (int i = 0; i <= 9; ++i) ClearBookMark(i);
      break;
    case ecDeleteWholeWord:
      BeginUndoBlock();
      {
        const TScopeExit endBlock([&] { EndUndoBlock(); });
        base(ecDeleteWord);
        base(ecDeleteLastWord);
      }
      break;
    case ecSelectLine:
      BeginUndoBlock();
      {
        const TScopeExit endBlock([&] { EndUndoBlock(); });
        base(ecLineStart);
        base(ecSelLineEnd);
      }
      break;
    case ecSelectNextWord: SelectWordStep(true); break;
    case ecSelectPrevWord: SelectWordStep(false); break;
    case ecSelectNextLine:
    case ecSelectPrevLine: {
      const int count = std::max(1, Lines()->GetCount());
      int line = GetCaretXY().Line + (Command == ecSelectNextLine ? 1 : -1);
      if (line > count) line = 1;
      if (line < 1) line = count;
      SetCaretAndCollapse(BufferCoord(1, line));
      ExecuteCommand(ecSelectLine, AChar, Data);
      break;
    }
    default:
      TOndMemo::ExecuteCommand(Command, AChar, Data);
      break;
  }
}

}  // namespace ond
