// File and memory helpers that behave the same everywhere: a file-existence
// test, creation of a folder chain, whole-file reading and writing, and an
// overlap-safe memory move.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace ond {

// True for an existing file that is not a folder. Errors that mean "not
// there" (no such file, a part of the path is not a folder, a name too long)
// give false; any other error falls back to a search of the parent folder.
bool FileExistsEx(const std::string& fileName);
bool DirectoryExists(const std::string& name);
// Creates the folder and every missing parent. A drive name ("C:") is true.
bool ForceFolders(const std::string& folder);
// The whole file as bytes; EFOpenError / EReadError on failure.
std::string ReadFileText(const std::string& fileName);
// At most `limit` bytes from the start of a file ("" when it cannot be read).
std::string ReadFileHead(const std::string& fileName, std::size_t limit);
// Writes a whole file. Without append the data goes to a temporary file in the
// same folder, is flushed, and then replaces the target in one rename (keeping
// the old file's permission bits), so a failure never leaves a truncated file:
// the old content stays and EFCreateError / EWriteError is raised. With append
// and an existing file the data is added at its end.
void WriteFileText(const std::string& fileName, std::string_view data, bool append = false);
// Copies count bytes; correct when the areas overlap.
void FastMove(const void* source, void* dest, std::size_t count) noexcept;

}  // namespace ond
