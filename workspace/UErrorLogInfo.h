// The system and game texts of the error log's header. They are the
// workspace's to read (game and system information), so the main window
// hands this reader to the error handler, which sits on a lower floor.
#pragma once

#include "services/UErrorLog.h"

namespace ond {

// Reads the operating system's and, when it is installed, the game's details
// now (code page 1251 texts; file names converted from UTF-8).
TErrorLogSystemInfo ReadErrorLogSystemInfo();

}  // namespace ond
