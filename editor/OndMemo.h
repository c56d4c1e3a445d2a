// The editor answering the standard multi-line edit-control messages, so that
// code written against an edit control can drive it: as methods and through
// Perform with the window system's message numbers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "editor/OndEdit.h"

namespace ond {

// Message numbers.
enum : unsigned {
  WM_SETTEXT = 0x000C,
  WM_GETTEXT = 0x000D,
  WM_GETTEXTLENGTH = 0x000E,
  WM_CUT = 0x0300,
  WM_COPY = 0x0301,
  WM_PASTE = 0x0302,
  WM_CLEAR = 0x0303,
  WM_UNDO = 0x0304,
  EM_GETSEL = 0x00B0,
  EM_SETSEL = 0x00B1,
  EM_GETMODIFY = 0x00B8,
  EM_SETMODIFY = 0x00B9,
  EM_GETLINECOUNT = 0x00BA,
  EM_REPLACESEL = 0x00C2,
  EM_GETLINE = 0x00C4,
  EM_CANUNDO = 0x00C6,
  EM_UNDO = 0x00C7,
  EM_GETFIRSTVISIBLELINE = 0x00CE,
  EM_CHARFROMPOS = 0x00D7,
  EM_GETSELTEXT = 0x043E,
};

class TOndMemo : public TCustomOndEdit {
 public:
  explicit TOndMemo(TComponent* AOwner) : TCustomOndEdit(AOwner) { AfterConstruction(); }

  // Dispatches a message; unknown messages answer 0. BufferSize is the size
  // in bytes of the buffer LParam points to for the messages that write into
  // one they do not size themselves (EM_GETSELTEXT, EM_GETLINE): nothing is
  // ever written past it, and without it nothing is written at all.
  std::intptr_t Perform(unsigned Msg, std::uintptr_t WParam, std::intptr_t LParam, std::size_t BufferSize = 0);

  // Start in the low word and end in the high word; full values through the pointers.
  std::intptr_t EMGetSel(int* Start, int* End) const;
  // Start -1 removes the selection; End -1 is the end of the text; other
  // negative indexes count as 0.
  void EMSetSel(int Start, int End);
  // With CanUndo the change is one undo step; without, the text changes
  // unrecorded and both undo lists are cleared, so no later undo can apply
  // records to text they no longer describe.
  void EMReplaceSel(bool CanUndo, const std::string& Text);
  // The line (0-based) into Buffer, at most MaxChars characters; the copied length.
  int EMGetLine(int Index, char* Buffer, int MaxChars) const;
  // The selected text into Buffer of BufferSize bytes, cut to fit with its
  // terminating zero; the copied length.
  int EMGetSelText(char* Buffer, std::size_t BufferSize) const;
  // Character index in the low word, line index in the high word.
  std::intptr_t EMCharFromPos(int X, int Y, int* CharIndex = nullptr, int* LineIndex = nullptr) const;
  int GetTextLength() const { return static_cast<int>(GetEditorText().size()); }
  void SetEditorText(const std::string& Value);

 protected:
  explicit TOndMemo(TComponent* AOwner, bool) : TCustomOndEdit(AOwner) {}
};

}  // namespace ond
