// The version of a library of the program, read from its ELF file without
// loading it: the library carries a note of owner "Ondrel" and type 1 whose
// description is the four version parts as 16-bit numbers in this machine's
// byte order (major, minor, release, build): the program's own version for
// the same build. Only files for this machine's word size and byte order are read;
// every offset is checked against the file, so a truncated or hostile file
// only gives "no version".
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/core/PeVersion.h"

namespace ond {

inline constexpr const char* VersionNoteName = "Ondrel";
inline constexpr std::uint32_t VersionNoteType = 1;

std::optional<TFileVersion> ReadElfFileVersion(const TByteSource& bytes);
std::optional<TFileVersion> ReadElfFileVersion(std::string_view bytes);
// Nothing for a file that cannot be opened or is not a regular file.
std::optional<TFileVersion> ReadElfFileVersionOfFile(const std::string& fileName);

// "1.2.3.4" read as four 16-bit parts; nothing for any other text.
std::optional<TFileVersion> ParseVersionText(std::string_view text);

}  // namespace ond
