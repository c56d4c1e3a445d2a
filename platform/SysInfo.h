// What the window system knows about the machine: the primary screen's mode
// and the locale of the keyboard's input method. The system information of
// the error log's header asks here.
#pragma once

#include <string>

namespace ond {

struct TDisplayMode {
  int Width = 0;
  int Height = 0;
  int BitsPerPixel = 0;
  int Frequency = 0;  // Hz, rounded
};

// The primary screen; all zero when there is none.
TDisplayMode PrimaryDisplayMode();
// The input method's locale name ("ru_RU"); the system locale's before the
// application object exists.
std::string InputMethodLocaleName();

}  // namespace ond
