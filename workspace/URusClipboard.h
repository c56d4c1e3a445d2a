// The program-wide clipboard. Other programs read the program's single-byte
// text correctly because it goes to them as Unicode; the clipboard also names
// the code page of the bytes in a text format of their own, the way a locale
// tag names it for programs that read single-byte text.
#pragma once

#include "platform/Clipbrd.h"

namespace ond {

class TRusClipboard : public TClipboard {
 public:
  // The MIME type that carries the text's code page 1251 bytes.
  static constexpr const char* AnsiTextMimeType = "text/plain;charset=windows-1251";

 protected:
  void Closing() override;
};

// Installs a TRusClipboard as the program-wide clipboard (at start-up).
void InstallRusClipboard();

}  // namespace ond
