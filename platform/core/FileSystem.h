// Native file-system helpers: lexical path normalisation and the resolver
// that finds a file whose name differs from the disk only in letter case
// (config sets written on Windows often do).
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace ond {

// Lexical normalisation of a native path: "\" becomes "/", repeated
// separators collapse, "." parts go, ".." removes the previous part and never
// climbs above the root. A relative path stays relative ("../x" keeps its
// leading ".." parts). A trailing separator is dropped.
std::string NormalizePath(std::string_view path);

// Joins a folder and a relative name; an absolute name is returned as is.
std::string JoinPath(std::string_view folder, std::string_view name);

// A zero byte ends a name in every system call, so a path holding one would
// reach a different file than it names; such a path is never used.
bool PathHasNul(std::string_view path) noexcept;

// Folder listings read while resolving names, kept for one pass over many
// names (one discovery, one lookup across a set) so that a folder is read once
// however many of its names are spelled unlike the disk. Changes on disk
// during the pass are not seen, which is why a listing lives no longer.
class TFolderListings {
 public:
  // The name in `folder` that equals `name` without regard to letter case, or
  // nullptr when there is none (or the folder cannot be read).
  const std::string* Find(const std::string& folder, const std::string& name);
  // How many folders were read from disk so far.
  int FolderReads() const noexcept { return FReads; }

 private:
  struct Listing {
    bool Readable = false;
    std::unordered_map<std::string, std::string> ByFold;  // folded name -> name on disk
  };
  std::unordered_map<std::string, Listing> FFolders;
  int FReads = 0;
};

// The existing path that matches `path` exactly, or else component by
// component without regard to letter case (the letters of code page 1251,
// also inside names with characters beyond it; a name that is not valid UTF-8
// only matches byte for byte; among several candidates the byte-wise smallest
// name wins, so the choice is deterministic). Returns `path` unchanged when no
// such file exists. Folders are read through `listings` when given, else afresh.
std::string ResolveFileCase(const std::string& path, TFolderListings* listings = nullptr);

// Whether two names reach one file: the same path after normalisation, or
// the same existing file (device and inode, so links agree). Names that differ
// only in letter case are two files unless the disk itself says otherwise.
bool SameFile(const std::string& a, const std::string& b);

// The canonical absolute path of an existing file (symbolic links resolved),
// or the empty string when it does not exist.
std::string RealPath(const std::string& path);

bool IsAbsolutePath(std::string_view path) noexcept;

// The bytes of a regular file; empty for a missing file or anything else
// (a device or a folder would never give a sensible end).
std::string ReadRegularFile(const std::string& path);

// Gives the whole pages of a string's unused capacity back to the system
// without moving its text: a file's bytes decoded where they were read leave
// the room they no longer need, which would otherwise stay in memory for as
// long as the text lives. The room stays the string's (it reads as zeros).
void ReleaseSpareCapacity(std::string& s) noexcept;

// Asks the system to back the whole large pages inside a block of memory not
// yet written with large pages: a file of hundreds of megabytes read into
// fresh memory then costs a few hundred page faults instead of a hundred
// thousand. Small blocks and systems without large pages are left alone.
void AdviseLargePages(void* block, std::size_t size) noexcept;

// The program's own state folder, where it keeps what is for the user alone
// (copies of files written in place, the error log when the program's folder
// is not writable): "$XDG_STATE_HOME/ondrel/" (an absolute XDG_STATE_HOME
// only), else "$HOME/.local/state/ondrel/" (an absolute HOME only); "" when
// neither is to be had.
std::string StateFolder();

// Makes a folder and those above it that are missing, for the user alone
// (0700). A folder already there that lets others in is closed to them when
// `closeToOthers` and it is the user's own. 0 or the system's error number
// (ENOTDIR when something else stands at the name).
int MakePrivateFolders(const std::string& folder, bool closeToOthers = false);

// Folder of the running executable, with a trailing "/".
std::string ProgramFolder();
// Full path of the running executable.
std::string ProgramFileName();

}  // namespace ond
