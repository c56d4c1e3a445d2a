// The one place where the program replaces a file on disk. A crash or a kill
// at any instant leaves the old or the new bytes under the file's name, and a
// save with a backup never loses the previous backup before the new one is
// whole:
//   1. the new bytes go to a hidden temporary file in the same folder
//      (".<name>.<pid>-<n>.tmp", made exclusively; a name too long for that
//      is shortened and given a hash of the whole name) and are flushed;
//   2. the backup is copied from the current file, which stays where it is,
//      flushed, and renamed over the old backup;
//   3. the temporary file is renamed over the file and the folder is flushed.
//
// Only the user's own file (one the user opened or named) is followed through
// a symbolic link; every name the program makes up itself (the backup, the
// temporary files, settings, logs, exported files) is replaced as it stands,
// so that a link planted there is replaced and never written through.
//
// Where a rename would break what the user set up, the user's file is written
// in place instead (the whole text ready in memory, the room reserved first):
// a file with several hard links, a writable file in a folder that refuses
// new files, and a file whose owner or group a new file could not keep. A
// complete, flushed copy of the file's current bytes is made first (in the
// user's state folder, "$XDG_STATE_HOME/ondrel/"); a failed write puts the old
// bytes back from it, and it is removed once the new text is flushed. A copy
// that a killed run left stays: the writer never removes a copy but its own,
// and tells the caller of those it finds. A file the user may not write is
// never replaced.
//
// Before anything is written, the file on disk can be compared with the copy
// the text was read from, so that changes made by another program are not
// overwritten unasked. A save holds an exclusive lock on the file itself
// from that comparison until the file is replaced, and compares again once
// it holds it: of two programs saving one file at once, the second waits and
// then finds the file changed. Temporary files that killed runs left behind
// for a file are removed on its next save.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ond {

// What tells one disk copy of a file from another: the file (device and
// inode), its size and the times of its last change of bytes and of any
// change at all (a program that writes in place and puts the modification
// time back still moves the latter). A file that is not there has Exists
// false and nothing else.
struct TDiskCopy {
  bool Exists = false;
  std::uint64_t Device = 0;
  std::uint64_t Inode = 0;
  std::int64_t Size = 0;
  std::int64_t ModifiedNs = 0;  // nanoseconds since the epoch
  std::int64_t ChangedNs = 0;   // the status change time, likewise
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
  // no backup. No backup is made of a file that does not exist. The backup's
  // name is one the program makes up: a link there is replaced, not followed.
  std::string BackupName;
  // The disk copy the text was read from: when the file on disk is another
  // now (changed, made or deleted by someone else), nothing is written.
  // Null: no check.
  const TDiskCopy* Expected = nullptr;
  // The user's own file, opened or named by the user: a symbolic link there
  // is followed to the file it names, and the file may be written in place.
  // False for every name the program makes up: a link or a second name there
  // is replaced itself, and nothing is ever written through it.
  bool UserFile = false;
  // The user agreed to write the file in place although no copy of its
  // current bytes could be made (see TWriteOutcome::NoSafetyCopy).
  bool InPlaceWithoutCopy = false;
};

enum class TWriteOutcome {
  Written,
  ChangedOnDisk,  // the disk copy is not the expected one; nothing was touched
  BackupFailed,   // no backup could be made; nothing was touched
  // The file can only be written in place and no copy of its current bytes
  // could be made; nothing was touched. Asking the user comes next.
  NoSafetyCopy,
  Failed,  // the file could not be written (see Restore for what it holds)
};

// Which name a failure concerns.
enum class TWriteSubject { File, Backup, SafetyCopy };

// What a failed in-place write left in the file.
enum class TInPlaceRestore {
  None,        // the file was not touched, or not written in place
  PutBack,     // the old bytes were put back from their copy
  KeptInCopy,  // the file holds part of the new text; the old bytes are in SafetyCopy
  Damaged,     // the file holds part of the new text and there was no copy
  // The old bytes were put back, but the disk did not confirm them (the
  // flush failed); they stay whole in SafetyCopy too.
  PutBackNotFlushed,
  // No copy: the whole new text is in the file, but the flush failed.
  NewTextNotFlushed,
};

struct TWriteResult {
  TWriteOutcome Outcome = TWriteOutcome::Failed;
  // For BackupFailed, NoSafetyCopy and Failed: the name and the system's
  // reason, as program text in English (for logs and callers that pass it on).
  std::string Reason;
  // The same as a value, for a message in the user's language: the name it
  // concerns, the system's error number (0 when NotRegular is set: the name is
  // no regular file).
  TWriteSubject Subject = TWriteSubject::File;
  std::string SubjectName;
  int Error = 0;
  bool NotRegular = false;
  // For Written: the disk copy now under the name. For Failed with Touched:
  // the disk copy the failed write left, which the next save must not take
  // for a change made by another program.
  TDiskCopy Written;
  bool Touched = false;
  bool InPlace = false;  // written into the existing file rather than renamed over it
  TInPlaceRestore Restore = TInPlaceRestore::None;
  // The copy of the old bytes a failed in-place write left (KeptInCopy).
  std::string SafetyCopy;
  // The copies of the file's bytes that earlier, interrupted in-place saves
  // left in the state folder (full names, the newest first), found by this
  // save; they stay. LeftCopy is the newest of them.
  std::vector<std::string> LeftCopies;
  std::string LeftCopy;
  bool Ok() const { return Outcome == TWriteOutcome::Written; }
};

TWriteResult WriteFileSafely(const TFileWrite& request);

// Copies a file to its backup the way a save does (a flushed copy renamed
// over the old backup, never through a link there; the file stays). "" or
// the reason (program text naming the backup); `error` takes the system's
// error number when given.
std::string MakeBackupCopy(const std::string& fileName, const std::string& backupName, int* error = nullptr);

// The name a write reaches: symbolic links followed (a link to a file not yet
// there gives the name it points at).
std::string FollowLinks(const std::string& fileName);

// Removes the temporary files of fileName (".<name>.<pid>-<n>.tmp" beside it)
// whose process is gone; gives how many were removed.
int RemoveStaleTempFiles(const std::string& fileName);

// The folder where copies of files written in place are kept while they are
// written: the program's state folder (see StateFolder), "" when there is
// none. It is made for the user alone.
std::string SafetyCopyFolder();

// The copies of fileName's bytes that interrupted in-place saves left in the
// safety-copy folder (full names), the newest first. Only what the program
// makes counts: a regular file of this user, under a copy's name, that no
// save running now holds; a link, a pipe or a folder there is no copy.
std::vector<std::string> LeftSafetyCopies(const std::string& fileName);
// The same for several files at once (one list each, in their order), the
// folder read once.
std::vector<std::vector<std::string>> LeftSafetyCopies(const std::vector<std::string>& fileNames);
// The newest of them; "" when none.
std::string LeftSafetyCopy(const std::string& fileName);

// What a failed in-place write left in the file (result.Restore), as program
// text; "" for none.
std::string InPlaceRestoreText(const TWriteResult& result);

// A write past the file-size limit of the process then fails with EFBIG
// instead of ending the program. Done by every write; callable at start.
void IgnoreFileSizeSignal() noexcept;

// Seams for tests: the system calls a save makes that a test needs to fail,
// watch or hold on demand (a write error halfway, an owner that cannot be
// kept without root, a flush that fails or the order of flushes, a second
// save meeting the lock of the first). Null: the system's own. Not for the
// program itself.
struct TFileWriteHooks {
  ssize_t (*PWrite)(int fd, const void* data, std::size_t size, off_t offset) = nullptr;
  int (*FChown)(int fd, uid_t owner, gid_t group) = nullptr;
  int (*FSync)(int fd) = nullptr;
  int (*Flock)(int fd, int operation) = nullptr;
};
TFileWriteHooks& FileWriteHooks();

}  // namespace ond
