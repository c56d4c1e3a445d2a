// The editor's side of word wrap for tests that drive the plug-in alone: a
// line buffer, a width and the identifier characters, all set by the test.
#pragma once

#include "editor/OndEditTextBuffer.h"
#include "editor/OndEditWordWrap.h"

namespace ond::test {

class WrapOwner : public IOndWordWrapOwner {
 public:
  WrapOwner() { Ident.IncludeRange(33, 255); }
  TOndEditStringList& WrapLines() override { return Lines; }
  std::int32_t WrapWidth() override { return Width; }
  TSysCharSet WrapIdentChars() override { return Ident; }

  TOndEditStringList Lines;
  std::int32_t Width = 20;
  TSysCharSet Ident;
};

}  // namespace ond::test
