// The one place where the program replaces a file on disk. A crash or a kill
// at any instant leaves the old or the new bytes under the file's name, and a
// save with a backup never loses the previous backup before the new one is
// whole:
//   1. the new bytes go to a hidden temporary file in the same folder
//      (".<name>.<pid>-<n>.tmp", made exclusively) and are flushed;
//   2. the backup is copied from the current file, which stays where it is,
//      flushed, and renamed over the old backup;
//   3. the temporary file is renamed over the file and the folder is flushed.
// Where a rename would break what the user set up, the file is written in
// place instead (the whole text ready in memory, the room reserved first):
// a file with several hard links, and a writable file in a folder that
// refuses new files. A symbolic link is followed to the file it names, and
// the link stays. A file the user may not write is never replaced.
//
// Before anything is written, the file on disk can be compared with the copy
// the text was read from, so that changes made by another program are not
// overwritten unasked. Temporary files that killed runs left behind for a
// file are removed on its next save.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ond {

// What tells one disk copy of a file from another: the file (device and
// inode), its size and the time of its last change. A file that is not there
// has Exists false and nothing else.
struct TDiskCopy {
  bool Exists = false;
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::int64_t Size = 0;
  std::int64_t ModifiedNs = 0;  // nanoseconds since the epoch
  friend bool operator==(const TDiskCopy&, const TDiskCopy&) = default;
};

// The disk copy a name reaches now (symbolic links followed), and the copy
// an open file is.
TDiskCopy DiskCopyOf(const std::string& fileName);
TDiskCopy DiskCopyOfHandle(int fd);

struct TFileWrite {
  std::string FileName;  // native path
  std::string_view Data;
  // Where the file's current bytes are kept before it is replaced; empty for
  // no backup. No backup is made of a file that does not exist.
  std::string BackupName;
  // The disk copy the text was read from: when the file on disk is another
  // now (changed, made or deleted by someone else), nothing is written.
  // Null: no check.
  const TDiskCopy* Expected = nullptr;
};

enum class TWriteOutcome {
  Written,
  ChangedOnDisk,  // the disk copy is not the expected one; nothing was touched
  BackupFailed,   // no backup could be made; nothing was touched
  Failed,         // the file could not be written; it is as it was
};

struct TWriteResult {
  TWriteOutcome Outcome = TWriteOutcome::Failed;
  // For BackupFailed and Failed: the file (or backup) and the system's reason,
  // as program text.
  std::string Reason;
  // For Written: the disk copy now under the name.
  TDiskCopy Written;
  bool InPlace = false;  // written into the existing file rather than renamed over it
  bool Ok() const { return Outcome == TWriteOutcome::Written; }
};

TWriteResult WriteFileSafely(const TFileWrite& request);

// Copies a file to its backup the way a save does (a flushed copy renamed
// over the old backup; the file stays). "" or the reason (program text naming
// the backup).
std::string MakeBackupCopy(const std::string& fileName, const std::string& backupName);

// The name a write reaches: symbolic links followed (a link to a file not yet
// there gives the name it points at).
std::string FollowLinks(const std::string& fileName);

// Removes the temporary files of fileName (".<name>.<pid>-<n>.tmp" beside it)
// whose process is gone; gives how many were removed.
int RemoveStaleTempFiles(const std::string& fileName);

// A write past the file-size limit of the process then fails with EFBIG
// instead of ending the program. Done by every write; callable at start.
void IgnoreFileSizeSignal() noexcept;

}  // namespace ond
