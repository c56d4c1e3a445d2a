// Where Wine keeps the Windows world of a user and how a Windows path of that
// world becomes a path of this system. A prefix is a folder with the registry
// hives and "dosdevices", whose entries ("c:", "z:", ...) are links to the
// folders that the drive letters stand for.
#pragma once

#include <string>
#include <string_view>

namespace ond {

// The prefix in use: $WINEPREFIX when set and not empty, else ~/.wine.
// No trailing separator.
std::string WinePrefixFolder();

// The native path (UTF-8) of a Windows path ("C:\Games\x.exe") in a prefix:
// the drive through dosdevices (c: to drive_c and z: to "/" when the link is
// missing), the rest normalised without climbing above the drive, then found
// on disk without regard to letter case. Empty for a path without a drive
// letter or with a drive the prefix does not have.
std::string WindowsPathToNative(const std::string& prefix, std::u16string_view windowsPath);

}  // namespace ond
