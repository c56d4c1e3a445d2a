// Native file-system helpers: lexical path normalisation and the resolver
// that finds a file whose name differs from the disk only in letter case
// (config sets written on Windows often do).
#pragma once

#include <string>
#include <string_view>

namespace ond {

// Lexical normalisation of a native path: "\" becomes "/", repeated
// separators collapse, "." parts go, ".." removes the previous part and never
// climbs above the root. A relative path stays relative ("../x" keeps its
// leading ".." parts). A trailing separator is dropped.
std::string NormalizePath(std::string_view path);

// Joins a folder and a relative name; an absolute name is returned as is.
std::string JoinPath(std::string_view folder, std::string_view name);

// The existing path that matches `path` exactly, or else component by
// component without regard to letter case (code page 1251 letters included;
// among several candidates the byte-wise smallest name wins, so the choice is
// deterministic). Returns `path` unchanged when no such file exists.
std::string ResolveFileCase(const std::string& path);

// The canonical absolute path of an existing file (symbolic links resolved),
// or the empty string when it does not exist.
std::string RealPath(const std::string& path);

bool IsAbsolutePath(std::string_view path) noexcept;

// The bytes of a regular file; empty for a missing file or anything else
// (a device or a folder would never give a sensible end).
std::string ReadRegularFile(const std::string& path);

// Folder of the running executable, with a trailing "/".
std::string ProgramFolder();
// Full path of the running executable.
std::string ProgramFileName();

}  // namespace ond
