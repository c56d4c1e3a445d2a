// The desktop's own handling of documents and addresses: what the shell's
// "Open" does for a web address on the user's system.
#pragma once

#include <functional>
#include <string>

namespace ond {

// Opens an address (UTF-8) in the user's browser; false when the desktop
// could not hand it to one.
bool ShellOpenURL(const std::string& url);

// How a window opens an address; tests put a recorder in its place.
using TUrlOpener = std::function<bool(const std::string& Url)>;

}  // namespace ond
