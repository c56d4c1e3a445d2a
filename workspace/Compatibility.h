// File and memory helpers that behave the same everywhere: a file-existence
// test, creation of a folder chain, whole-file reading and writing, renaming
// and deleting, and an overlap-safe memory move.
//
// A path holding a zero byte is refused by every helper here: the system
// would cut it short and reach another file than the one named. Failures
// carry the file's name and the system's reason (code page 1251 text), so the
// place that tells the user can say why.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/core/SafeFileWriter.h"
#include "platform/core/SysUtils.h"

namespace ond {

// The largest file that is read whole. A config file is far smaller; a larger
// one (or a file of the system that never ends) is a read error instead of
// memory growing until allocation fails.
constexpr std::int64_t MaxTextFileSize = std::int64_t{512} * 1024 * 1024;

// True for an existing file that is not a folder. Errors that mean "not
// there" (no such file, a part of the path is not a folder, a name too long)
// give false; any other error falls back to a search of the parent folder.
bool FileExistsEx(const std::string& fileName);
bool DirectoryExists(const std::string& name);
// Creates the folder and every missing parent. A drive name ("C:") is true.
// On failure errno holds the reason.
bool ForceFolders(const std::string& folder);
// The whole of a regular file as bytes, at most `limit` of them. A missing
// or unreadable file, a folder, a pipe or a device, and a file larger than
// the limit raise EFOpenError / EReadError naming the file and the reason.
// `copy`, when given, receives the disk copy that was read.
std::string ReadFileText(const std::string& fileName, std::int64_t limit = MaxTextFileSize,
                         TDiskCopy* copy = nullptr);
// The same, handing the buffer to `onRead` after every piece read (of at most
// `piece` bytes) with the number of bytes read so far, so that the caller
// can work on each piece while it is still in the cache. The bytes before
// that number are the caller's to rewrite; the buffer may move between calls.
std::string ReadFileText(const std::string& fileName, std::int64_t limit, std::size_t piece,
                         const std::function<void(char* bytes, std::size_t got)>& onRead,
                         TDiskCopy* copy = nullptr);
// At most `limit` bytes from the start of a file ("" when it cannot be read).
std::string ReadFileHead(const std::string& fileName, std::size_t limit);
// Writes a whole file through WriteFileSafely (no backup, no check of the disk
// copy), so a failure never leaves a truncated file: the old content stays and
// EWriteError is raised. The new file keeps the old one's permission bits; a
// file made anew gets the usual ones for new files (the process's
// file-creation mask applied by the system). With append and an existing file
// the data is added at its end. The name is the user's file: a symbolic link
// is followed, and a file that must be written in place is, with its old
// bytes kept aside meanwhile (a file for which no such copy can be made is
// left as it is, with the reason).
void WriteFileText(const std::string& fileName, std::string_view data, bool append = false);
// The same without raising: "" on success, else the reason.
std::string TryWriteFileText(const std::string& fileName, std::string_view data, bool append = false);
// Renaming and deleting; on failure errno holds the reason.
bool RenameFile(const std::string& oldName, const std::string& newName);
bool DeleteFile(const std::string& fileName);
// Copies count bytes; correct when the areas overlap.
void FastMove(const void* source, void* dest, std::size_t count) noexcept;

}  // namespace ond
