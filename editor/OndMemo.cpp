#include "editor/OndMemo.h"

#include <algorithm>
#include <cstring>

#include "platform/core/ScopeGuard.h"

namespace ond {

namespace {
std::intptr_t MakeLong(int Low, int High) {
  return static_cast<std::intptr_t>((static_cast<std::uint32_t>(Low) & 0xFFFFu) |
                                    ((static_cast<std::uint32_t>(High) & 0xFFFFu) << 16));
}
}  // namespace

std::intptr_t TOndMemo::EMGetSel(int* Start, int* End) const {
  const int s = SelAvail() ? GetSelStart() : PosToTextIndex(GetCaretXY());
  const int e = SelAvail() ? GetSelEnd() : s;
  if (Start) *Start = s;
  if (End) *End = e;
  return MakeLong(s, e);
}

void TOndMemo::EMSetSel(int Start, int End) {
  if (Start == -1) {
    SetCaretAndCollapse(GetCaretXY());
    return;
  }
  Start = std::max(0, Start);
  if (End == -1) End = GetTextLength();
  End = std::max(0, End);
  SetSelStart(Start);
  SetSelEnd(End);
}

void TOndMemo::EMReplaceSel(bool CanUndo, const std::string& Text) {
  if (GetReadOnly()) return;
  DoOnPaintTransient(ttBefore);
  if (CanUndo) {
    SetSelText(Text);
  } else {
    LockUndo();
    const TScopeExit restore([&] {
      UnlockUndo();
      ClearUndo();
    });
    ReplaceSelection(GetSelectionMode(), Text, false);
  }
  MakeCaretVisible();
  StatusChanged(StatusSelection);
  DoOnPaintTransient(ttAfter);
}

int TOndMemo::EMGetLine(int Index, char* Buffer, int MaxChars) const {
  if (Index < 0 || Index >= Lines()->GetCount() || !Buffer || MaxChars <= 0) return 0;
  // A collapsed header's marker is not part of the line's text.
  const std::string_view line = Lines()->GetView(Index).substr(0, static_cast<std::size_t>(VisibleLineLength(Index + 1)));
  const int n = std::min(MaxChars, static_cast<int>(line.size()));
  std::memcpy(Buffer, line.data(), static_cast<std::size_t>(n));
  return n;
}

int TOndMemo::EMGetSelText(char* Buffer, std::size_t BufferSize) const {
  if (!Buffer || BufferSize == 0) return 0;
  const std::string s = GetSelText();
  const std::size_t n = std::min(s.size(), BufferSize - 1);
  std::memcpy(Buffer, s.data(), n);
  Buffer[n] = '\0';
  return static_cast<int>(n);
}

std::intptr_t TOndMemo::EMCharFromPos(int X, int Y, int* CharIndex, int* LineIndex) const {
  const TBufferCoord p = DisplayToBufferPos(PixelsToRowColumn(X, Y));
  const int lineIndex = p.Line - 1;
  int ch = p.Char;
  if (lineIndex >= 0 && lineIndex < Lines()->GetCount()) {
    const int len = static_cast<int>(Lines()->GetView(lineIndex).size());
    if (len < ch) ch = len + 1;
  } else {
    ch = 1;
  }
  std::int64_t index = ch - 1;
  for (int l = 0; l < std::min(lineIndex, Lines()->GetCount()); ++l)
    index += static_cast<std::int64_t>(Lines()->GetView(l).size()) + 2;
  const int idx = static_cast<int>(std::min<std::int64_t>(index, INT32_MAX));
  if (CharIndex) *CharIndex = idx;
  if (LineIndex) *LineIndex = lineIndex;
  return MakeLong(idx, lineIndex);
}

void TOndMemo::SetEditorText(const std::string& Value) {
  LockPaint();
  const TScopeExit unlock([&] { UnlockPaint(); });
  BeginUndoBlock();
  const TScopeExit endBlock([&] { EndUndoBlock(); });
  SelectAll();
  SetSelText(Value);
}

std::intptr_t TOndMemo::Perform(unsigned Msg, std::uintptr_t WParam, std::intptr_t LParam, std::size_t BufferSize) {
  switch (Msg) {
    case EM_GETSEL:
      return EMGetSel(reinterpret_cast<int*>(WParam), reinterpret_cast<int*>(LParam));
    case EM_SETSEL:
      EMSetSel(static_cast<int>(static_cast<std::intptr_t>(WParam)), static_cast<int>(LParam));
      return 0;
    case EM_SETMODIFY:
      SetModified(WParam != 0);
      return 0;
    case EM_GETMODIFY:
      return GetModified() ? 1 : 0;
    case EM_GETLINECOUNT:
      return Lines()->GetCount();
    case EM_GETSELTEXT:
      return EMGetSelText(reinterpret_cast<char*>(LParam), BufferSize);
    case EM_REPLACESEL:
      EMReplaceSel(WParam != 0, LParam ? std::string(reinterpret_cast<const char*>(LParam)) : std::string());
      return 0;
    case EM_GETLINE: {
      // The buffer's first word asks for at most that many characters; the
      // buffer's own size has the last word.
      std::uint16_t max = 0;
      if (!LParam || BufferSize < sizeof max) return 0;
      char* buffer = reinterpret_cast<char*>(LParam);
      std::memcpy(&max, buffer, sizeof max);
      return EMGetLine(static_cast<int>(WParam), buffer, static_cast<int>(std::min<std::size_t>(max, BufferSize)));
    }
    case EM_CANUNDO:
      return CanUndo() ? 1 : 0;
    case EM_UNDO:
    case WM_UNDO: {
      const bool can = CanUndo();
      Undo();
      return can ? 1 : 0;
    }
    case EM_GETFIRSTVISIBLELINE:
      return GetTopLine() - 1;
    case EM_CHARFROMPOS:
      return EMCharFromPos(static_cast<std::int16_t>(LParam & 0xFFFF), static_cast<std::int16_t>((LParam >> 16) & 0xFFFF));
    case WM_GETTEXT: {
      if (WParam == 0 || !LParam) return 0;
      const std::string s = GetEditorText();
      const std::size_t n = std::min<std::size_t>(s.size(), WParam - 1);
      char* buffer = reinterpret_cast<char*>(LParam);
      std::memcpy(buffer, s.data(), n);
      buffer[n] = '\0';
      return static_cast<std::intptr_t>(n);
    }
    case WM_GETTEXTLENGTH:
      return GetTextLength();
    case WM_SETTEXT:
      SetEditorText(LParam ? std::string(reinterpret_cast<const char*>(LParam)) : std::string());
      return -1;
    case WM_COPY:
      CopyToClipboard();
      return 1;
    case WM_CUT:
      if (!GetReadOnly()) CutToClipboard();
      return 1;
    case WM_PASTE:
      if (!GetReadOnly()) PasteFromClipboard();
      return 1;
    case WM_CLEAR:
      if (!GetReadOnly()) SetSelText(std::string());
      return 0;
    default:
      return 0;
  }
}

}  // namespace ond
