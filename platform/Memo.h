// A box of several lines of text the user reads and scrolls, with or without
// the right to edit it.
#pragma once

#include <string>

#include "platform/Controls.h"

namespace ond {

class TMemo : public TWinControl {
 public:
  explicit TMemo(TComponent* owner);
  // The text, code page 1251; any line break (CR LF, LF or CR) starts a line.
  void SetText(const std::string& text);
  // The lines joined by CR LF.
  std::string GetText() const;
  int LineCount() const;
  void SetReadOnly(bool readOnly);
  bool GetReadOnly() const;
  void SetBorderStyle(TBorderStyle style);
  // Which scroll bars show always (the others never).
  void SetScrollBars(bool horizontal, bool vertical);
  // Long lines break at the box's edge (on by default).
  void SetWordWrap(bool wrap);
};

}  // namespace ond
