// The message of the program's own exception that a call raises, for tests
// that check message texts.
#pragma once

#include <string>

#include "platform/core/SysUtils.h"

namespace ond::test {

template <typename F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.Message;
  }
  return "<no error>";
}

}  // namespace ond::test
