// Keys become commands and commands run: caret moves, word positions, editing
// commands, tabs, block indent and case changes.
#include "editor/OndEdit.h"

#include <algorithm>

#include "editor/OndEditImpl.h"
#include "platform/ImgList.h"
#include "platform/core/CodePage.h"
#include "platform/core/ScopeGuard.h"

namespace ond {

// ---- key translation and command processing ------------------------------------------------

TOndEditorCommand TCustomOndEdit::KeyToCommand(std::uint16_t Code, TShiftState Shift, void*& Data) {
  (void)Data;
  TOndEditorCommand result = ecNone;
  int i = -1;
  if (FLastKey != 0) i = FKeystrokes->FindTwoKeyBinding(FLastKey, FLastShift, Code, Shift);
  if (i < 0) i = FKeystrokes->FindKeyBinding(Code, Shift);
  if (i >= 0) result = FKeystrokes->Items(i).GetCommand();
  if (result == ecNone && Code >= 30 && Code < 146) {
    FLastKey = Code;
    FLastShift = Shift;
  } else {
    FLastKey = 0;
    FLastShift = 0;
  }
  return result;
}

void TCustomOndEdit::KeyDown(std::uint16_t& Key, TShiftState Shift) {
  // A command from an earlier key that typed no character must not swallow
  // the character of this one.
  FStateFlags &= static_cast<TOndStateFlags>(~sfKeyHandled);
  TCustomControl::KeyDown(Key, Shift);
  if (Key == 0) return;
  FKbdHandler.RunKeyDownChain(this, Key, Shift);
  if (Key == 0) return;
  void* data = nullptr;
  const TOndEditorCommand cmd = KeyToCommand(Key, Shift & (ssShift | ssAlt | ssCtrl), data);
  if (cmd == ecNone) return;
  Key = 0;
  FStateFlags |= sfKeyHandled;
  CommandProcessor(cmd, '\0', data);
}

void TCustomOndEdit::KeyPress(char& Key) {
  if (FStateFlags & sfKeyHandled) {
    FStateFlags &= static_cast<TOndStateFlags>(~sfKeyHandled);
    Key = 0;
    return;
  }
  TCustomControl::KeyPress(Key);
  if (Key == 0) return;
  FKbdHandler.RunKeyPressChain(this, Key);
  if (Key == 0) return;
  CommandProcessor(ecChar, Key, nullptr);
  Key = 0;
}

void TCustomOndEdit::ImeComposition(const std::string& Text) {
  if (Text.empty()) return;
  std::string s = Text;
  CommandProcessor(ecImeStr, '\0', s.data());
}

void TCustomOndEdit::CommandProcessor(TOndEditorCommand Command, char AChar, void* Data) {
  DoOnProcessCommand(Command, AChar, Data);
  if (Command != ecNone) {
    NotifyHookedCommandHandlers(false, Command, AChar, Data);
    if (Command != ecNone && Command < ecUserFirst) ExecuteCommand(Command, AChar, Data);
    if (Command != ecNone) NotifyHookedCommandHandlers(true, Command, AChar, Data);
  }
  if (FFoldChangeCount != 0 && FCodeFolding->GetEnabled())
    UpdateFoldRanges();
  else if (FFoldChangeCount == 0 && !FoldUpdatePending())
    ForgetFoldChanges(false);  // the ranges fit the changed lines as they were kept
  DoOnCommandProcessed(Command, AChar, Data);
}

// ---- word positions ---------------------------------------------------------------------------

TBufferCoord TCustomOndEdit::NextWordPosEx(const TBufferCoord& P) const {
  const int count = FLines->GetCount();
  if (P.Line < 1 || P.Line > count) return P;
  TSysCharSet ident, white;
  GetWordChars(ident, white);
  const std::string_view line = FLines->GetView(P.Line - 1);
  const int len = static_cast<int>(line.size());
  if (P.Char >= 1 && P.Char < len) {
    int x = P.Char;
    if (ident.Contains(line[static_cast<std::size_t>(x - 1)])) x = FindCharInSet(line, x, white);
    if (x > 0) x = FindCharInSet(line, x, ident);
    return BufferCoord(x > 0 ? x : len + 1, P.Line);
  }
  if (P.Char < 1) return BufferCoord(1, P.Line);
  if (P.Line == count) return P;
  const std::string_view next = FLines->GetView(P.Line);
  const int x = FindCharInSet(next, 1, ident);
  return BufferCoord(x > 0 ? x : 1, P.Line + 1);
}

TBufferCoord TCustomOndEdit::PrevWordPosEx(const TBufferCoord& P) const {
  const int count = FLines->GetCount();
  if (P.Line < 1 || P.Line > count) return P;
  TSysCharSet ident, white;
  GetWordChars(ident, white);
  const std::string_view line = FLines->GetView(P.Line - 1);
  const int X = std::min(P.Char, static_cast<int>(line.size()) + 1);
  auto previousLineEnd = [&]() {
    return P.Line > 1 ? BufferCoord(LineLength(P.Line - 1) + 1, P.Line - 1) : BufferCoord(1, 1);
  };
  if (X <= 1) return P.Line > 1 ? previousLineEnd() : BufferCoord(std::max(1, X), 1);
  int x = X - 1;  // the character before X
  if (white.Contains(line[static_cast<std::size_t>(x - 1)])) {
    x = FindCharInSetBackward(line, x, ident);
    if (x <= 0) return previousLineEnd();
  }
  return BufferCoord(FindCharInSetBackward(line, x, white) + 1, P.Line);
}

std::string TCustomOndEdit::GetIndentString(int Width, bool WantTabsHere) const {
  if (Width <= 0) return std::string();
  if (WantTabsHere && !(FOptions & eoTabsToSpaces) && Width >= FTabWidth)
    return std::string(static_cast<std::size_t>(Width / FTabWidth), '\t') +
           std::string(static_cast<std::size_t>(Width % FTabWidth), ' ');
  return std::string(static_cast<std::size_t>(Width), ' ');
}

int TCustomOndEdit::LeadingWhite(std::string_view Line, bool TabsAsWidth) const {
  if (!(FOptions & eoAutoIndent)) return 0;
  int n = 0;
  for (char c : Line) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 1 || u > 32) break;
    n += (c == '\t' && TabsAsWidth) ? FTabWidth : 1;
  }
  return n;
}

int TCustomOndEdit::SmartIndentTarget(int Line, int Count, bool TabsAsWidth) const {
  for (int l = Line - 1; l >= 1; --l) {
    const int w = LeadingWhite(FLines->GetView(l - 1), TabsAsWidth);
    if (w < Count) return w;
  }
  return 0;
}

// ---- commands ---------------------------------------------------------------------------------

int TCustomOndEdit::EditingCommand(TOndEditorCommand C) const {
  return (C >= ecDeleteLastChar && C <= ecImeStr) || (C >= ecUndo && C <= ecToggleCaseBlock);
}

void TCustomOndEdit::ExecuteCommand(TOndEditorCommand Command, char AChar, void* Data) {
  // The command is looked at before the caret's line: moving the caret is
  // never held back, and most commands move it.
  if (((Command >= 501 && Command <= 600) || Command == ecTab || Command == ecShiftTab || Command == ecString ||
       Command == ecAutoCompletion) &&
      !FDestroying && CaretOnCollapsedFoldHeader())
    return;
  const bool editing = EditingCommand(Command);
  if (editing && GetReadOnly()) return;
  PaintLockScope lock(*this);
  if (editing) DoOnPaintTransient(ttBefore);
  struct AfterScope {
    TCustomOndEdit* E;
    bool On;
    ~AfterScope() {
      if (On) try {
          E->DoOnPaintTransient(ttAfter);
        } catch (...) {
        }
    }
  } after{this, editing};
  const bool sel = (Command >= ecSelLeft && Command <= ecSelGotoXY);
  const TOndEditorCommand base = sel ? static_cast<TOndEditorCommand>(Command - 100) : Command;
  const TBufferCoord caret = GetCaretXY();
  switch (base) {
    case ecLeft: MoveCaretByChars(-1, sel); return;
    case ecRight: MoveCaretByChars(1, sel); return;
    case ecUp: MoveCaretByRows(-1, sel); return;
    case ecDown: MoveCaretByRows(1, sel); return;
    case ecWordLeft: MoveCaretAndSelect(caret, PrevWordPos(), sel); return;
    case ecWordRight: MoveCaretAndSelect(caret, NextWordPos(), sel); return;
    case ecLineStart: MoveCaretToLineStart(sel); return;
    case ecLineEnd: MoveCaretToLineEnd(sel); return;
    case ecPageUp:
    case ecPageDown: {
      int n = FView.LinesInWindow;
      if (FOptions & eoHalfPageScroll) n >>= 1;
      if (FOptions & eoScrollByOneLess) --n;
      if (base == ecPageUp) n = -n;
      SetTopLine(FView.TopLine + n);
      MoveCaretByRows(n, sel);
      return;
    }
    case ecPageLeft: MoveCaretByChars(-FView.CharsInWindow, sel); return;
    case ecPageRight: MoveCaretByChars(FView.CharsInWindow, sel); return;
    case ecPageTop:
    case ecPageBottom: {
      TDisplayCoord d = GetDisplayXY();
      d.Row = base == ecPageTop ? FView.TopLine : FView.TopLine + FView.LinesInWindow - 1;
      d.Row = MinMax(d.Row, 1, std::max(1, DisplayRowCount()));
      MoveCaretAndSelect(caret, DisplayToBufferPos(d), sel);
      return;
    }
    case ecEditorTop: MoveCaretAndSelect(caret, BufferCoord(1, 1), sel); return;
    case ecEditorBottom: {
      const int count = std::max(1, FLines->GetCount());
      MoveCaretAndSelect(caret, BufferCoord(LineLength(count) + 1, count), sel);
      return;
    }
    case ecGotoXY:
      if (Data) MoveCaretAndSelect(caret, *static_cast<const TBufferCoord*>(Data), sel);
      return;
    default: break;
  }
  switch (Command) {
    case ecSelWord: SetSelWord(); break;
    case ecSelectAll: SelectAll(); break;
    case ecCopy: CopyToClipboard(); break;
    case ecScrollUp:
    case ecScrollDown: {
      const int row = GetDisplayXY().Row;
      if (row < FView.TopLine || row >= FView.TopLine + FView.LinesInWindow) {
        MakeCaretVisible();
        break;
      }
      SetTopLine(FView.TopLine + (Command == ecScrollUp ? -1 : 1));
      const int r = GetDisplayXY().Row;
      if (r < FView.TopLine)
        MoveCaretByRows(1, false);
      else if (r >= FView.TopLine + FView.LinesInWindow)
        MoveCaretByRows(-1, false);
      MakeCaretVisible();
      break;
    }
    case ecScrollLeft: SetLeftColumn(FView.LeftColumn - 1); break;
    case ecScrollRight: SetLeftColumn(FView.LeftColumn + 1); break;
    case ecInsertMode: SetInsertMode(true); break;
    case ecOverwriteMode: SetInsertMode(false); break;
    case ecToggleMode: SetInsertMode(!FInsertMode); break;
    case ecNormalSelect: SetSelectionMode(smNormal); break;
    case ecColumnSelect: SetSelectionMode(smColumn); break;
    case ecLineSelect: SetSelectionMode(smLine); break;
    case ecMatchBracket: FindMatchingBracket(); break;
    case ecContextHelp:
      if (OnContextHelp) OnContextHelp(this, WordAtCursor());
      break;
    case ecDeleteLastChar: DoBackspace(); break;
    case ecDeleteChar: DoDeleteChar(); break;
    case ecDeleteWord:
    case ecDeleteLastWord:
    case ecDeleteBOL:
    case ecDeleteEOL: DoDeleteRange(Command); break;
    case ecDeleteLine: DoDeleteLine(); break;
    case ecClearAll: ClearAll(); break;
    case ecLineBreak: DoLineBreak(true); break;
    case ecInsertLine: DoLineBreak(false); break;
    case ecChar: DoTypeChar(AChar); break;
    case ecImeStr:
      if (Data) DoImeStr(static_cast<const char*>(Data));
      break;
    case ecUndo: Undo(); break;
    case ecRedo: Redo(); break;
    case ecCut: CutToClipboard(); break;
    case ecPaste: PasteFromClipboard(); break;
    case ecBlockIndent: DoBlockIndent(); break;
    case ecBlockUnindent: DoBlockUnindent(); break;
    case ecTab: DoTabKey(); break;
    case ecShiftTab: DoShiftTabKey(); break;
    case ecUpperCase:
    case ecLowerCase:
    case ecToggleCase:
    case ecTitleCase:
    case ecUpperCaseBlock:
    case ecLowerCaseBlock:
    case ecToggleCaseBlock: DoCaseChange(Command); break;
    default:
      if (Command >= ecGotoMarker0 && Command <= ecGotoMarker9) {
        if (FBookMarkOpt->EnableKeys) GotoBookMark(Command - ecGotoMarker0);
      } else if (Command >= ecSetMarker0 && Command <= ecSetMarker9) {
        if (FBookMarkOpt->EnableKeys) DoSetMarker(Command - ecSetMarker0, Data);
      }
      break;
  }
}

void TCustomOndEdit::DoSetMarker(int Index, void* Data) {
  const TBufferCoord p = Data ? *static_cast<const TBufferCoord*>(Data) : GetCaretXY();
  const TOndEditMark* m = Bookmark(Index);
  if (!m) {
    SetBookMark(Index, p.Char, p.Line);
  } else if (m->GetLine() != p.Line) {
    ClearBookMark(Index);
    SetBookMark(Index, p.Char, p.Line);
  } else {
    ClearBookMark(Index);
  }
}

void TCustomOndEdit::DoBackspace() {
  if (SelAvail()) {
    const bool forwards = !PosBefore(FBlockEnd, FBlockBegin);
    ReplaceSelectionEx(FSelectionMode, std::string_view(), true, forwards ? urDeleteAfterCursor : urDelete, urInsert);
    return;
  }
  const int X = FCaretX, Y = FCaretY;
  if (FLines->GetCount() == 0) return;
  const std::string line = FLines->Get(Y - 1);
  const int len = static_cast<int>(line.size());
  if (X > len + 1) {
    int to = X - 1;
    if (FOptions & eoSmartTabDelete)
      to = len > 0 ? len + 1 : SmartIndentTarget(Y, X - 1, (FOptions & eoTrimTrailingSpaces) != 0) + 1;
    // Nothing is deleted, yet the move is one step of undo like any other
    // Backspace, so undo brings the caret back.
    PaintLockScope lock(*this);
    UndoBlockScope block(FUndoList);
    if (to != X) FUndoList->AddChange(urSilentDelete, BufferCoord(to, Y), BufferCoord(X, Y), std::string_view(), smNormal);
    TrimLineEnd(Y, true);
    InternalSetCaretXY(BufferCoord(to, Y));
    return;
  }
  if (X == 1) {
    if (Y == 1) return;
    const TBufferCoord join = BufferCoord(LineLength(Y - 1) + 1, Y - 1);
    ReplaceRange(join, BufferCoord(1, Y), std::string_view(), urSilentDelete, urInsert, true);
    SetCaretAndCollapse(join);
    MakeCaretVisible();
    return;
  }
  const unsigned char before = static_cast<unsigned char>(line[static_cast<std::size_t>(X - 2)]);
  const int lw = LeadingWhite(line, false);
  int from = X - 1, to = X;  // the characters removed, [from, to)
  if (before <= 32 && (FOptions & eoAutoIndent) && lw == X - 1) {
    if (FOptions & eoSmartTabDelete) {
      const int target = SmartIndentTarget(Y, lw, false);
      from = 1;
      to = 1 + std::max(1, lw - target);
    } else {
      const int col = LineCharToColumn(line, X, FTabWidth);
      int n = (col - 1) % FTabWidth;
      if (n == 0) n = FTabWidth;
      int k = 0, i = X - 1;
      while (k < n && i >= 1) {
        const char c = line[static_cast<std::size_t>(i - 1)];
        if (c == '\t') {
          ++k;
          break;
        }
        if (c != ' ') break;
        ++k;
        --i;
      }
      from = X - std::max(1, k);
    }
  }
  PaintLockScope lock(*this);
  UndoBlockScope block(FUndoList);
  ReplaceRange(BufferCoord(from, Y), BufferCoord(to, Y), std::string_view(), urSilentDelete, urInsert, true);
  TrimLineEnd(Y, true);
  SetCaretAndCollapse(BufferCoord(X - (to - from), Y));
  MakeCaretVisible();
}

void TCustomOndEdit::DoDeleteChar() {
  if (SelAvail()) {
    const bool forwards = !PosBefore(FBlockEnd, FBlockBegin);
    ReplaceSelectionEx(FSelectionMode, std::string_view(), true, forwards ? urDeleteAfterCursor : urDelete, urInsert);
    return;
  }
  const int X = FCaretX, Y = FCaretY;
  if (FLines->GetCount() == 0) return;
  const int len = LineLength(Y);
  if (X <= len) {
    ReplaceRange(BufferCoord(X, Y), BufferCoord(X + 1, Y), std::string_view(), urSilentDeleteAfterCursor, urInsert,
                 true);
  } else if (Y < FLines->GetCount()) {
    // Joined at the caret: blanks fill the line up to it.
    ReplaceRange(BufferCoord(len + 1, Y), BufferCoord(1, Y + 1), std::string(static_cast<std::size_t>(X - 1 - len), ' '),
                 urSilentDeleteAfterCursor, urInsert, true);
  }
  SetCaretAndCollapse(BufferCoord(X, Y));
}

void TCustomOndEdit::DoDeleteRange(TOndEditorCommand Command) {
  if (FLines->GetCount() == 0) return;
  const TBufferCoord caret = GetCaretXY();
  const int len = LineLength(caret.Line);
  if (Command == ecDeleteWord || Command == ecDeleteEOL) {
    TBufferCoord end = BufferCoord(len + 1, caret.Line);
    if (Command == ecDeleteWord) {
      end = WordEndEx(caret);
      // At the last line's end there is nothing to take; among the blanks
      // before it they go up to the end, as on any other line.
      if (PosBefore(end, caret) || (end == caret && (caret.Line != FLines->GetCount() || caret.Char <= len))) {
        if (end.Char > len) {
          if (caret.Line < FLines->GetCount()) end = BufferCoord(1, caret.Line + 1);
        } else if (FLines->GetView(caret.Line - 1)[static_cast<std::size_t>(end.Char - 1)] != ' ') {
          ++end.Char;
        }
        const std::string_view l = FLines->GetView(end.Line - 1);
        while (end.Char <= static_cast<int>(l.size()) && l[static_cast<std::size_t>(end.Char - 1)] == ' ') ++end.Char;
      }
    }
    const TBufferCoord start = ClampToText(caret);
    if (!PosBefore(start, end)) return;
    const int pad = caret.Char - start.Char;
    ReplaceRange(start, end, std::string(static_cast<std::size_t>(std::max(0, pad)), ' '),
                 urSilentDeleteAfterCursor, urInsert, true);
    SetCaretAndCollapse(caret);
    return;
  }
  const TBufferCoord start = Command == ecDeleteLastWord ? PrevWordPos() : BufferCoord(1, caret.Line);
  const TBufferCoord to = ClampToText(caret);
  if (PosBefore(start, to)) ReplaceRange(start, to, std::string_view(), urSilentDelete, urInsert, true);
  SetCaretAndCollapse(start);
}

void TCustomOndEdit::DoDeleteLine() {
  const int count = FLines->GetCount();
  if (count == 0) return;
  const int Y = FCaretY;
  if (Y == count && LineLength(Y) == 0) return;
  if (SelAvail()) SetBlockBegin(GetCaretXY());
  if (Y == count)
    ReplaceRange(BufferCoord(1, Y), BufferCoord(LineLength(Y) + 1, Y), std::string_view(), urSilentDeleteAfterCursor,
                 urInsert, true);
  else
    ReplaceRange(BufferCoord(1, Y), BufferCoord(1, Y + 1), std::string_view(), urSilentDeleteAfterCursor, urInsert,
                 true);
  SetCaretAndCollapse(BufferCoord(1, Y));
}

void TCustomOndEdit::DoLineBreak(bool MoveCaret) {
  UndoBlockScope block(FUndoList);
  if (SelAvail()) ReplaceSelectionEx(FSelectionMode, std::string_view(), true, urDelete, urInsert);
  if (FLines->GetCount() == 0) FLines->Add(std::string());
  const int X = FCaretX, Y = FCaretY;
  const std::string line = FLines->Get(Y - 1);
  const int L = static_cast<int>(line.size());
  TBufferCoord caret = GetCaretXY();
  if (L > 0 && X <= L && X > 1) {
    std::string kept = line.substr(0, static_cast<std::size_t>(X - 1));
    if (FOptions & eoTrimTrailingSpaces) kept = TrimRightBlanks(kept);
    const std::string indent = GetIndentString(LeadingWhite(kept, true), true);
    ReplaceRange(BufferCoord(static_cast<int>(kept.size()) + 1, Y), BufferCoord(X, Y), "\r\n" + indent, urSilentDelete,
                 urLineBreak, true);
    if (MoveCaret) caret = BufferCoord(static_cast<int>(indent.size()) + 1, Y + 1);
  } else if (L > 0 && X == 1) {
    ReplaceRange(BufferCoord(1, Y), BufferCoord(1, Y), "\r\n", urDelete, urLineBreak, true);
    if (MoveCaret) caret = BufferCoord(1, Y + 1);
  } else if (L > 0) {
    const int n = LeadingWhite(line, false);
    ReplaceRange(BufferCoord(L + 1, Y), BufferCoord(L + 1, Y), "\r\n" + line.substr(0, static_cast<std::size_t>(n)),
                 urDelete, urLineBreak, true);
    if (MoveCaret) caret = BufferCoord(n + 1, Y + 1);
  } else {
    ReplaceRange(BufferCoord(1, Y), BufferCoord(1, Y), "\r\n", urDelete, urLineBreak, true);
    if (MoveCaret) {
      int n = 0;
      for (int l = Y; l >= 1; --l)
        if (LineLength(l) > 0) {
          n = LeadingWhite(FLines->GetView(l - 1), true);
          break;
        }
      caret = BufferCoord(n + 1, Y + 1);
    }
  }
  // The indent may lie past an empty line's end: the caret goes there only
  // where the caret may stand past a line's end at all.
  SetCaretAndCollapse(caret);
  MakeCaretVisible();
  FLastCaretX = GetDisplayXY().Column;
}

void TCustomOndEdit::ColumnEdit(const std::string& Insert, bool Overwrite) {
  const TBufferCoord anchor = FBlockBegin, moving = FBlockEnd;
  int c1 = BufferToDisplayPos(anchor).Column, c2 = BufferToDisplayPos(moving).Column;
  const bool anchorLeft = c1 <= c2;
  if (c1 > c2) std::swap(c1, c2);
  const int l1 = std::min(anchor.Line, moving.Line), l2 = std::min(std::max(anchor.Line, moving.Line), FLines->GetCount());
  const int n = static_cast<int>(Insert.size());
  if (n == 0) return;
  UndoBlockScope block(FUndoList);
  int newC1 = c1 + n, newC2 = c2 + n;
  if (Overwrite && c1 < c2) {
    int longest = 0;
    for (int l = l1; l <= l2; ++l) {
      const std::string_view line = FLines->GetView(l - 1);
      const int ch1 = LineColumnToChar(line, c1, FTabWidth);
      const int ch2 = std::min(LineColumnToChar(line, c2, FTabWidth), static_cast<int>(line.size()) + 1);
      if (ch2 <= ch1) continue;
      std::string repl;
      for (int i = 0; i < ch2 - ch1; ++i) repl += Insert[static_cast<std::size_t>(i % n)];
      longest = std::max(longest, ch2 - ch1);
      ReplaceRange(BufferCoord(ch1, l), BufferCoord(ch2, l), repl, urSilentDeleteAfterCursor, urInsert, true);
    }
    newC1 = c1;
    newC2 = c1 + longest;
  } else {
    for (int l = l1; l <= l2; ++l) {
      const int ch = LineColumnToChar(FLines->GetView(l - 1), c1, FTabWidth);
      ReplaceRange(BufferCoord(ch, l), BufferCoord(ch, l), Insert, urDelete, urInsert, true);
    }
  }
  auto at = [this](int col, int line) {
    return BufferCoord(line <= FLines->GetCount() ? LineColumnToChar(FLines->GetView(line - 1), col, FTabWidth) : col,
                       line);
  };
  const TBufferCoord a = at(anchorLeft ? newC1 : newC2, anchor.Line);
  const TBufferCoord m = at(anchorLeft ? newC2 : newC1, moving.Line);
  FBlockBegin = a;
  FBlockEnd = m;
  InternalSetCaretXY(m);
  InvalidateLines(l1, l2);
  StatusChanged(StatusSelection);
}

bool TCustomOndEdit::ColumnEditActive() const noexcept {
  // A block on one line is a block too; only a bare caret is typed into as usual.
  return (FOptions & eoColumnEditExtension) && FSelectionMode == smColumn && !(FBlockBegin == FBlockEnd);
}

void TCustomOndEdit::DoTypeChar(char AChar) {
  const unsigned char u = static_cast<unsigned char>(AChar);
  if (u < 32 || u == 127) return;
  if (ColumnEditActive()) {
    ColumnEdit(std::string(1, AChar), !FInsertMode);
    return;
  }
  if (!FInsertMode && !SelAvail() && FCaretX <= LineLength(FCaretY)) {
    // Overwrite mode: the typed character takes the place of the one at the caret.
    const TBufferCoord c = GetCaretXY();
    SetCaretAndCollapse(OverwriteRange(c, BufferCoord(c.Char + 1, c.Line), std::string(1, AChar)));
    return;
  }
  if (!FInsertMode && FSelectionMode == smNormal && SelAvail() && FBlockBegin.Line == FBlockEnd.Line) {
    // A character selected in overwrite mode (the panel selects the one under
    // the caret) is overwritten the same way.
    SetCaretAndCollapse(OverwriteRange(GetBlockBegin(), GetBlockEnd(), std::string(1, AChar)));
    return;
  }
  SetSelText(std::string(1, AChar));
}

void TCustomOndEdit::DoImeStr(const std::string& S) {
  if (S.empty()) return;
  if (ColumnEditActive()) {
    ColumnEdit(S, !FInsertMode);
    return;
  }
  if (SelAvail()) {
    SetSelText(S);
    return;
  }
  const TBufferCoord c = GetCaretXY();
  const int len = LineLength(c.Line);
  const int k = FInsertMode ? 0 : std::max(0, std::min(static_cast<int>(S.size()), len + 1 - c.Char));
  UndoBlockScope block(FUndoList);
  // One insertion record, carrying the overwritten characters in overwrite mode.
  const TBufferCoord end = OverwriteRange(c, BufferCoord(c.Char + k, c.Line), S);
  TrimLineEnd(c.Line, true);
  const TOndEditorOptions keep = FOptions;
  FOptions |= eoScrollPastEol;
  {
    const TScopeExit restore([&] { FOptions = keep; });
    SetCaretAndCollapse(end);
  }
  if (FWordWrapPlugin && GetDisplayXY().Column > FWordWrapPlugin->WrapWidth() + 1) SetLeftColumn(1);
  MakeCaretVisible();
}

// ---- tab, block indent and case commands -------------------------------------------------------

void TCustomOndEdit::DoBlockIndent() {
  if (!SelAvail()) return;
  const TBufferCoord b = GetBlockBegin(), e = GetBlockEnd();
  const bool caretAtEnd = GetCaretXY() == e;
  const int last = std::max(b.Line, e.Char == 1 ? e.Line - 1 : e.Line);
  const std::string indent = (FOptions & eoTabIndent) ? std::string("\t") : std::string(static_cast<std::size_t>(FBlockWidth), ' ');
  const int n = static_cast<int>(indent.size());
  int col = 1;
  if (FSelectionMode == smColumn) col = std::min(BufferToDisplayPos(b).Column, BufferToDisplayPos(e).Column);
  PaintLockScope lock(*this);
  {
    UndoBlockScope block(FUndoList);
    for (int l = b.Line; l <= std::min(last, FLines->GetCount()); ++l) {
      const int ch = FSelectionMode == smColumn ? LineColumnToChar(FLines->GetView(l - 1), col, FTabWidth) : 1;
      ReplaceRange(BufferCoord(ch, l), BufferCoord(ch, l), indent, urDelete, urIndent, true);
    }
  }
  const TBufferCoord nb = BufferCoord(b.Char + n, b.Line);
  const TBufferCoord ne = BufferCoord(e.Char > 1 ? e.Char + n : 1, e.Line);
  PlaceCaretAndSelection(caretAtEnd ? ne : nb, caretAtEnd ? nb : ne, caretAtEnd ? ne : nb);
}

void TCustomOndEdit::DoBlockUnindent() {
  if (!SelAvail()) return;
  const TBufferCoord b = GetBlockBegin(), e = GetBlockEnd();
  const bool caretAtEnd = GetCaretXY() == e;
  const int last = std::min(std::max(b.Line, e.Char == 1 ? e.Line - 1 : e.Line), FLines->GetCount());
  int col = 1;
  if (FSelectionMode == smColumn) col = std::min(BufferToDisplayPos(b).Column, BufferToDisplayPos(e).Column);
  std::vector<std::pair<int, int>> cuts;  // per line: position and count
  bool any = false;
  for (int l = b.Line; l <= last; ++l) {
    const std::string_view line = FLines->GetView(l - 1);
    const int pos = FSelectionMode == smColumn ? LineColumnToChar(line, col, FTabWidth) : 1;
    int k = 0;
    const auto at = [&](int i) { return pos - 1 + i < static_cast<int>(line.size()) ? line[static_cast<std::size_t>(pos - 1 + i)] : '\0'; };
    if (at(0) == '\t') {
      k = 1;
    } else {
      while (k < FBlockWidth && at(k) == ' ') ++k;
      if (k < FTabWidth && at(k) == '\t') ++k;
    }
    cuts.emplace_back(pos, k);
    any = any || k > 0;
  }
  if (!any) return;
  PaintLockScope lock(*this);
  {
    UndoBlockScope block(FUndoList);
    for (int l = b.Line; l <= last; ++l) {
      const auto [pos, k] = cuts[static_cast<std::size_t>(l - b.Line)];
      if (k > 0) ReplaceRange(BufferCoord(pos, l), BufferCoord(pos + k, l), std::string_view(), urUnindent, urInsert, true);
    }
  }
  if (FSelectionMode == smColumn) {
    PlaceCaretAndSelection(caretAtEnd ? e : b, caretAtEnd ? b : e, caretAtEnd ? e : b);
    return;
  }
  const int firstCut = cuts.front().second;
  const int lastCut = e.Line <= last ? cuts.back().second : 0;
  const TBufferCoord nb = BufferCoord(std::max(1, b.Char - firstCut), b.Line);
  const TBufferCoord ne = BufferCoord(e.Char > 1 ? std::max(1, e.Char - lastCut) : 1, e.Line);
  PlaceCaretAndSelection(caretAtEnd ? ne : nb, caretAtEnd ? nb : ne, caretAtEnd ? ne : nb);
}

void TCustomOndEdit::DoTabKey() {
  if ((FOptions & eoTabIndent) && SelAvail() && FSelectionMode != smColumn && (SelTabBlock() || SelTabLine())) {
    const bool tabLine = !SelTabBlock();
    DoBlockIndent();
    if (tabLine) {
      // Whole lines stay selected.
      if (FBlockEnd.Char > FBlockBegin.Char)
        FBlockEnd.Char = 1;
      else
        FBlockBegin.Char = 1;
      Invalidate();
    }
    return;
  }
  const TBufferCoord caret = GetCaretXY();
  const int caretCol = CaretDisplay().Column;
  int width = 0;
  const bool smart = (FOptions & eoSmartTabs) != 0;
  if (smart) {
    for (int l = caret.Line - 1; l >= 1; --l) {
      const std::string_view line = FLines->GetView(l - 1);
      if (GetExpandedLength(line, FTabWidth) < caretCol) continue;
      int i = LineColumnToChar(line, caretCol, FTabWidth);
      const int len = static_cast<int>(line.size());
      const int start = i;
      while (i <= len && line[static_cast<std::size_t>(i - 1)] != ' ' && line[static_cast<std::size_t>(i - 1)] != '\t') ++i;
      while (i <= len && (line[static_cast<std::size_t>(i - 1)] == ' ' || line[static_cast<std::size_t>(i - 1)] == '\t')) ++i;
      width = LineCharToColumn(line, i, FTabWidth) - LineCharToColumn(line, start, FTabWidth);
      break;
    }
  }
  PaintLockScope lock(*this);
  UndoBlockScope block(FUndoList);
  if (SelAvail()) ReplaceSelectionEx(FSelectionMode, std::string_view(), true, urDelete, urInsert);
  const TBufferCoord at = GetCaretXY();
  const int col = CaretDisplay().Column;
  const bool smartWidth = width > 0;
  if (width == 0) width = (FOptions & eoTabsToSpaces) ? FTabWidth - (col - 1) % FTabWidth : FTabWidth;
  std::string text;
  if (FOptions & eoTabsToSpaces) {
    text.assign(static_cast<std::size_t>(width), ' ');
  } else if (smart && smartWidth) {
    const int target = col + width;
    int c = col;
    const int nextStop = ((c - 1) / FTabWidth + 1) * FTabWidth + 1;
    if (nextStop <= target) {
      text += '\t';
      c = nextStop;
      while (c + FTabWidth <= target) {
        text += '\t';
        c += FTabWidth;
      }
    }
    text.append(static_cast<std::size_t>(target - c), ' ');
  } else {
    text = "\t";
  }
  const TBufferCoord end = ReplaceRange(at, at, text, urDelete, urInsert, true);
  const TOndEditorOptions keep = FOptions;
  FOptions |= eoScrollPastEol;
  {
    const TScopeExit restore([&] { FOptions = keep; });
    SetCaretAndCollapse(end);
  }
  MakeCaretVisible();
}

void TCustomOndEdit::DoShiftTabKey() {
  if ((FOptions & eoTabIndent) && SelAvail() && FSelectionMode != smColumn && (SelTabBlock() || SelTabLine())) {
    DoBlockUnindent();
    return;
  }
  if (FLines->GetCount() == 0) return;
  const int X = FCaretX, Y = FCaretY;
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  int newX = X;
  if ((FOptions & eoSmartTabs) && X > 1 && Y > 1) {
    for (int l = Y - 1; l >= 1; --l) {
      const std::string_view line = FLines->GetView(l - 1);
      if (static_cast<int>(line.size()) < X - 1) continue;
      int i = X - 1;
      while (i >= 1 && blank(line[static_cast<std::size_t>(i - 1)])) --i;
      while (i >= 1 && !blank(line[static_cast<std::size_t>(i - 1)])) --i;
      newX = i + 1;
      break;
    }
  }
  const std::string_view line = FLines->GetView(Y - 1);
  const int len = static_cast<int>(line.size());
  // Shift+Tab takes away white space only: the stop found above can move the
  // caret left over blanks and tabs of its own line (or over the empty room
  // past its end), never over a letter.
  int whiteStart = X;
  while (whiteStart > 1 && (whiteStart - 1 > len || blank(line[static_cast<std::size_t>(whiteStart - 2)])))
    --whiteStart;
  newX = std::max(newX, whiteStart);
  if (newX == X && X > 1) {
    const int prevStop = ((X - 2) / FTabWidth) * FTabWidth + 1;
    if (X > len + 1) {
      newX = prevStop;
    } else if (line[static_cast<std::size_t>(X - 2)] == '\t') {
      newX = X - 1;
    } else {
      while (newX > prevStop && line[static_cast<std::size_t>(newX - 2)] == ' ') --newX;
    }
  }
  if (newX >= X) return;
  PaintLockScope lock(*this);
  const TBufferCoord from = BufferCoord(std::min(newX, len + 1), Y), to = BufferCoord(std::min(X, len + 1), Y);
  if (PosBefore(from, to)) ReplaceRange(from, to, std::string_view(), urDeleteAfterCursor, urInsert, true);
  const TOndEditorOptions keep = FOptions;
  FOptions |= eoScrollPastEol;
  const TScopeExit restore([&] { FOptions = keep; });
  SetCaretAndCollapse(BufferCoord(newX, Y));
}

void TCustomOndEdit::DoCaseChange(TOndEditorCommand Cmd) {
  OND_ASSERT(Cmd >= ecUpperCase && Cmd <= ecToggleCaseBlock && Cmd != 624);
  const bool hadSel = SelAvail();
  const TBufferCoord oldB = FBlockBegin, oldE = FBlockEnd, caret0 = GetCaretXY();
  const bool wordCmd = Cmd <= ecTitleCase;
  PaintLockScope lock(*this);
  if (wordCmd) {
    TBufferCoord p = caret0;
    for (int i = 0; i < 3; ++i) {
      const TBufferCoord s = WordStartEx(p), e = WordEndEx(p);
      if (s.Line == e.Line && s.Char < e.Char) {
        PlaceCaretAndSelection(e, s, e);
        break;
      }
      if (i == 2) break;
      p = WordStartEx(PrevWordPosEx(p));
    }
  } else if (!hadSel) {
    TBufferCoord p = caret0;
    if (p.Char > LineLength(p.Line) && p.Line < FLines->GetCount()) p = BufferCoord(1, p.Line + 1);
    PlaceCaretAndSelection(BufferCoord(p.Char + 1, p.Line), p, BufferCoord(p.Char + 1, p.Line));
  }
  const std::string w = SelAvail() ? GetSelText() : std::string();
  if (!w.empty()) {
    std::string out;
    switch (Cmd) {
      case ecUpperCase:
      case ecUpperCaseBlock: out = AnsiUpperCase(w); break;
      case ecLowerCase:
      case ecLowerCaseBlock: out = AnsiLowerCase(w); break;
      case ecToggleCase:
      case ecToggleCaseBlock:
        out = w;
        for (char& c : out) {
          if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
          else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        }
        break;
      default:
        out = AnsiLowerCase(w);
        out[0] = static_cast<char>(AnsiUpperChar(static_cast<unsigned char>(w[0])));
        break;
    }
    if (out != w) {
      UndoBlockScope block(FUndoList);
      FUndoList->AddChange(urSelection, hadSel ? oldB : caret0, hadSel ? oldE : caret0, std::string_view(),
                           FSelectionMode);
      FUndoList->AddChange(urCaret, caret0, caret0, std::string_view(), FSelectionMode);
      const TBufferCoord b = GetBlockBegin(), e = GetBlockEnd();
      SetSelText(out);
      if (hadSel || wordCmd) PlaceCaretAndSelection(e, b, e);
    }
  }
  if (!wordCmd) {
    if (hadSel) PlaceCaretAndSelection(caret0, oldB, oldE);
    return;
  }
  SetCaretAndCollapse(caret0);
}

}  // namespace ond
