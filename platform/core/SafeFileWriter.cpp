#include "platform/core/SafeFileWriter.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "platform/core/ProgramTexts.h"
#include "platform/core/SysUtils.h"

namespace ond {

namespace {

constexpr int kMaxLinkHops = 40;
constexpr std::size_t kCopyPiece = std::size_t{1} << 20;
constexpr std::string_view kTempSuffix = ".tmp";
constexpr std::string_view kCopySuffix = "copy";
// The longest "<pid>-<serial>" a temporary name carries: two 32-bit numbers.
constexpr std::size_t kLongestSerial = 10 + 1 + 10;
// A copy's name keeps this much of the file's own name, enough to tell it.
constexpr std::size_t kCopyNameKept = 120;

// How a name appears in a message: program text, a zero byte shown as "?".
std::string NameText(const std::string& fileName) {
  std::string shown = Utf8ToAnsi(fileName);
  for (char& c : shown)
    if (c == '\0') c = '?';
  return shown;
}

std::string ShownName(const std::string& fileName) { return "\"" + NameText(fileName) + "\""; }

// A native path's folder and own name, split at the last "/" only: on this
// system "\" and ":" are letters of a name.
struct TSplitName {
  std::string Folder;  // "." for a bare name
  std::string Name;
};

TSplitName SplitName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {".", path};
  return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

std::uint64_t HashOfName(std::string_view s) {
  std::uint64_t h = 14695981039346656037ull;
  for (const char c : s) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h;
}

// The first `keep` bytes of a name, not cutting a UTF-8 character in two.
std::string_view NameStart(std::string_view name, std::size_t keep) {
  if (name.size() <= keep) return name;
  while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  return name.substr(0, keep);
}

// ".<name>." before "<pid>-<serial>.tmp": a name too long for the whole to
// fit the system's limit on a name keeps its start and gets a hash of itself,
// so that each file still has temporary names of its own.
std::string TempPrefix(std::string_view name) {
  constexpr std::size_t room = NAME_MAX - 2 - kLongestSerial - kTempSuffix.size();
  if (name.size() <= room) return "." + std::string(name) + ".";
  return "." + std::string(NameStart(name, room - 9)) + "~" + IntToHex(HashOfName(name) & 0xFFFFFFFFu, 8) + ".";
}

class TFd {
 public:
  explicit TFd(int fd = -1) : FFd(fd) {}
  ~TFd() { Close(); }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const { return FFd; }
  void Reset(int fd) {
    Close();
    FFd = fd;
  }
  bool Valid() const { return FFd >= 0; }
  // Closes now; false (errno set) when the close reported a failed write.
  bool Close() {
    if (FFd < 0) return true;
    const int r = ::close(FFd);
    FFd = -1;
    return r == 0;
  }

 private:
  int FFd;
};

// A folder held open: the names inside it are reached by their own short
// names, so a file whose path is near the system's limit on a path still
// has room for a temporary file beside it.
class TFolder {
 public:
  explicit TFolder(const std::string& folder) : Fd(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {}
  TFd Fd;
};

// A temporary file that is removed unless it was renamed into place.
class TTempFile {
 public:
  ~TTempFile() {
    if (!Name.empty()) ::unlinkat(Folder, Name.c_str(), 0);
  }
  int Folder = AT_FDCWD;
  std::string Name;  // inside Folder
  TFd Fd;
};

TDiskCopy CopyOfStat(const struct stat& st) {
  TDiskCopy c;
  c.Exists = true;
  c.Device = static_cast<std::uint64_t>(st.st_dev);
  c.Inode = static_cast<std::uint64_t>(st.st_ino);
  c.Size = static_cast<std::int64_t>(st.st_size);
  c.ModifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  c.ChangedNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  return c;
}

bool WriteAllAt(int fd, std::string_view data, off_t offset) {
  const auto pwriteFn = FileWriteHooks().PWrite ? FileWriteHooks().PWrite : &::pwrite;
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = pwriteFn(fd, data.data() + done, data.size() - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Copies every byte of `in` from its start to `out` from its start; false
// with errno set.
bool CopyBytes(int in, int out) {
  std::vector<char> buffer(kCopyPiece);
  off_t at = 0;
  for (;;) {
    const ssize_t n = ::pread(in, buffer.data(), buffer.size(), at);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (!WriteAllAt(out, std::string_view(buffer.data(), static_cast<std::size_t>(n)), at)) return false;
    at += n;
  }
}

// Opens a new hidden temporary file for `name` in a folder; false with errno
// set. Made exclusively: whatever stands at a name it tries (a planted link
// too) is left alone and the next name is tried.
bool MakeTempFile(int folder, const std::string& name, mode_t mode, TTempFile& temp) {
  static std::atomic<unsigned> serial{0};
  const std::string prefix = TempPrefix(name);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate =
        prefix + IntToStr(::getpid()) + "-" + IntToStr(serial.fetch_add(1)) + std::string(kTempSuffix);
    const int fd = ::openat(folder, candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0) {
      temp.Folder = folder;
      temp.Name = std::move(candidate);
      temp.Fd.Reset(fd);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

// Flushes a folder, so that a rename inside it survives a crash. Folders
// that cannot be opened or flushed (some file systems) are left as they are.
void FlushFolder(int folder) {
  const int fd = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

int Chown(int fd, uid_t owner, gid_t group) {
  return FileWriteHooks().FChown ? FileWriteHooks().FChown(fd, owner, group) : ::fchown(fd, owner, group);
}

// Gives a new file the owner and group of the file it replaces; false when
// either cannot be kept (another owner can only be kept by a privileged
// process; the group often can).
bool KeepOwner(int fd, const struct stat& old) { return Chown(fd, old.st_uid, old.st_gid) == 0; }

// The owner and permission bits of the file it replaces, for a copy of it.
// An owner that cannot be kept does not stop the copy: the bits still apply.
bool TakeOverMode(int fd, const struct stat& old) {
  if (!KeepOwner(fd, old)) (void)!Chown(fd, static_cast<uid_t>(-1), old.st_gid);
  return ::fchmod(fd, old.st_mode & 07777) == 0;
}

// Copies the bytes of an open file to `name` in a folder: a flushed copy
// under a temporary name, renamed over whatever stands at the name (a link
// there is replaced, never followed). 0 or the system's error number.
int CopyInto(int in, const struct stat& st, int folder, const std::string& name, bool keepOwnerAndMode,
             TFd* hold = nullptr) {
  TTempFile temp;
  if (!MakeTempFile(folder, name, 0600, temp)) return errno;
  if (!CopyBytes(in, temp.Fd.Get())) return errno;
  // Held before the copy takes its name, so that no other program ever
  // sees it under that name unlocked while this one still needs it.
  if (hold != nullptr) {
    hold->Reset(::dup(temp.Fd.Get()));
    if (hold->Valid()) (void)::flock(hold->Get(), LOCK_EX | LOCK_NB);
  }
  if ((keepOwnerAndMode && !TakeOverMode(temp.Fd.Get(), st)) || ::fsync(temp.Fd.Get()) != 0 || !temp.Fd.Close())
    return errno;
  if (::renameat(folder, temp.Name.c_str(), folder, name.c_str()) != 0) return errno;
  temp.Name.clear();
  FlushFolder(folder);
  return 0;
}

// Makes a folder and those above it that are missing, for the user alone.
int MakeFolders(const std::string& folder) {
  for (std::size_t at = 1; at <= folder.size(); ++at) {
    if (at < folder.size() && folder[at] != '/') continue;
    const std::string part = folder.substr(0, at);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return errno;
  return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// "<start of the name>.<hash of the whole path>." that begins the names of
// the copies of one file in the safety-copy folder, so that each copy can be
// matched to its file and a file's copies are found again.
std::string CopyPrefix(const std::string& target) {
  std::string whole = RealPath(target);
  if (whole.empty()) whole = target;
  const std::string name = SplitName(whole).Name;
  return std::string(NameStart(name, kCopyNameKept)) + "." + IntToHex(HashOfName(whole), 16) + ".";
}

// The copies in `folder` whose names begin with `prefix`, sorted.
std::vector<std::string> CopiesIn(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> found;
  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(folder.c_str()), ::closedir);
  if (!d) return found;
  while (const dirent* e = ::readdir(d.get())) {
    const std::string_view n = e->d_name;
    if (n.size() > prefix.size() && n.starts_with(prefix) && n.ends_with(kCopySuffix)) found.emplace_back(n);
  }
  std::sort(found.begin(), found.end());
  return found;
}

// Keeps a complete, flushed copy of the file's current bytes in the
// safety-copy folder under a name of its own; 0 (and its full name) or the
// system's error number. Hold keeps a lock on the copy while the save that
// needs it runs: another copy of the program saving the same file meanwhile
// does not take it for one a killed run left.
int MakeSafetyCopy(const std::string& target, std::string& copyName, TFd& hold) {
  const std::string folder = SafetyCopyFolder();
  if (folder.empty()) return ENOENT;
  if (const int err = MakeFolders(folder.substr(0, folder.size() - 1))) return err;
  TFd in(::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!in.Valid()) return errno;
  struct stat st {};
  if (::fstat(in.Get(), &st) != 0) return errno;
  const TFolder at(folder);
  if (!at.Fd.Valid()) return errno;
  // A copy an earlier save left is never replaced: it may hold the only
  // whole text of the file.
  const std::string prefix = CopyPrefix(target);
  const std::vector<std::string> taken = CopiesIn(folder, prefix);
  std::string name;
  for (int n = 1; n < 1000 && name.empty(); ++n) {
    std::string candidate = prefix + (n == 1 ? std::string() : IntToStr(n) + ".") + std::string(kCopySuffix);
    if (!std::binary_search(taken.begin(), taken.end(), candidate)) name = std::move(candidate);
  }
  if (name.empty()) return EEXIST;
  RemoveStaleTempFiles(folder + name);
  if (const int err = CopyInto(in.Get(), st, at.Fd.Get(), name, false, &hold)) return err;
  copyName = folder + name;
  return 0;
}

// Puts the bytes of a copy back into the open file; false with errno set.
bool PutBack(const std::string& copyName, int fd) {
  TFd in(::open(copyName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  return in.Valid() && ::fstat(in.Get(), &st) == 0 && CopyBytes(in.Get(), fd) && ::ftruncate(fd, st.st_size) == 0 &&
         ::fsync(fd) == 0;
}

// Writes the whole data into an open file from its start and cuts it to the
// data's length. The room is reserved first where the file system can, so
// that a full disk or a size limit mostly stops the write before any byte
// changes. `touched` tells whether the file may have changed.
bool WriteInPlace(int fd, std::string_view data, const struct stat& old, bool& touched) {
  touched = false;
  if (!data.empty() && ::fallocate(fd, 0, 0, static_cast<off_t>(data.size())) != 0) {
    const int err = errno;
    struct stat now {};
    touched = ::fstat(fd, &now) != 0 || now.st_size != old.st_size;
    if (err != EOPNOTSUPP && err != ENOSYS) {
      errno = err;
      return false;
    }
  }
  touched = true;
  return WriteAllAt(fd, data, 0) && ::ftruncate(fd, static_cast<off_t>(data.size())) == 0 && ::fsync(fd) == 0;
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (const char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

TFileWriteHooks& FileWriteHooks() {
  static TFileWriteHooks hooks;
  return hooks;
}

void IgnoreFileSizeSignal() noexcept {
  static std::atomic<bool> done{false};
  if (done.exchange(true)) return;
  struct sigaction sa {};
  sa.sa_handler = SIG_IGN;
  ::sigemptyset(&sa.sa_mask);
  ::sigaction(SIGXFSZ, &sa, nullptr);
}

TDiskCopy DiskCopyOf(const std::string& fileName) {
  struct stat st {};
  if (fileName.empty() || PathHasNul(fileName) || ::stat(fileName.c_str(), &st) != 0) return {};
  return CopyOfStat(st);
}

TDiskCopy DiskCopyOfHandle(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return {};
  return CopyOfStat(st);
}

std::string FollowLinks(const std::string& fileName) {
  std::string name = fileName;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return name;
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(name.c_str(), buf, sizeof buf - 1);
    if (n <= 0) return name;
    // On this system only "/" parts a path: "\\" is a letter of a name.
    const std::string target(buf, static_cast<std::size_t>(n));
    name = target[0] == '/' ? target : name.substr(0, name.rfind('/') + 1) + target;
  }
  return name;
}

int RemoveStaleTempFiles(const std::string& fileName) {
  const TSplitName split = SplitName(fileName);
  const std::string prefix = TempPrefix(split.Name);
  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(split.Folder.c_str()), ::closedir);
  if (!d) return 0;
  std::vector<std::string> stale;
  while (const dirent* e = ::readdir(d.get())) {
    const std::string_view n = e->d_name;
    if (n.size() <= prefix.size() + kTempSuffix.size() || !n.starts_with(prefix) || !n.ends_with(kTempSuffix))
      continue;
    // "<pid>-<serial>" between the two.
    const std::string_view middle = n.substr(prefix.size(), n.size() - prefix.size() - kTempSuffix.size());
    const std::size_t dash = middle.find('-');
    if (dash == std::string_view::npos || !AllDigits(middle.substr(0, dash)) || !AllDigits(middle.substr(dash + 1)))
      continue;
    std::int64_t pid = 0;
    if (!TryStrToInt(middle.substr(0, dash), pid) || pid <= 0 || pid > INT_MAX || pid == ::getpid()) continue;
    // Only a process that is gone leaves its file for good.
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    stale.emplace_back(n);
  }
  int removed = 0;
  for (const std::string& n : stale)
    if (::unlinkat(::dirfd(d.get()), n.c_str(), 0) == 0) ++removed;
  return removed;
}

std::string SafetyCopyFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && state[0] == '/') return IncludeTrailingPathDelimiter(state) + "ondrel/";
  const char* home = std::getenv("HOME");
  if (!home || home[0] != '/') return {};
  return IncludeTrailingPathDelimiter(home) + ".local/state/ondrel/";
}

std::string LeftSafetyCopy(const std::string& fileName) {
  const std::string folder = SafetyCopyFolder();
  if (folder.empty() || fileName.empty() || PathHasNul(fileName)) return {};
  for (const std::string& name : CopiesIn(folder, CopyPrefix(FollowLinks(fileName)))) {
    // A copy locked by a save running now is that save's, not a left one.
    const TFd copy(::open((folder + name).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (copy.Valid() && ::flock(copy.Get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) continue;
    return folder + name;
  }
  return {};
}

std::string MakeBackupCopy(const std::string& fileName, const std::string& backupName, int* error) {
  IgnoreFileSizeSignal();
  int err = 0;
  const TSplitName split = SplitName(backupName);
  if (fileName.empty() || backupName.empty() || split.Name.empty() || PathHasNul(fileName) ||
      PathHasNul(backupName)) {
    err = EINVAL;
  } else {
    TFd in(::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (!in.Valid() || ::fstat(in.Get(), &st) != 0) {
      err = errno;
    } else {
      // The backup's name is made up from the file's: whatever stands there
      // (a link planted in an unpacked set too) is replaced, not written to.
      const TFolder folder(split.Folder);
      if (!folder.Fd.Valid()) {
        err = errno;
      } else {
        RemoveStaleTempFiles(backupName);
        err = CopyInto(in.Get(), st, folder.Fd.Get(), split.Name, true);
      }
    }
  }
  if (error) *error = err;
  return err == 0 ? std::string() : ProgramText(TProgramText::CannotMakeBackup, {NameText(backupName)}) + " " +
                                        SystemErrorText(err);
}

TWriteResult WriteFileSafely(const TFileWrite& request) {
  IgnoreFileSizeSignal();
  TWriteResult result;
  result.SubjectName = request.FileName;
  const std::string cannot = ProgramText(TProgramText::CannotWriteFile, {NameText(request.FileName)}) + " ";
  auto fail = [&](int err) {
    result.Outcome = TWriteOutcome::Failed;
    result.Error = err;
    result.Reason = cannot + SystemErrorText(err);
    return result;
  };
  if (request.FileName.empty() || PathHasNul(request.FileName) || PathHasNul(request.BackupName))
    return fail(request.FileName.empty() ? ENOENT : EINVAL);
  // Only the user's own file is followed through a link; a made-up name is
  // taken as it stands.
  const std::string target = request.UserFile ? FollowLinks(request.FileName) : request.FileName;
  const TSplitName split = SplitName(target);
  if (split.Name.empty()) return fail(EISDIR);
  struct stat st {};
  bool existed = (request.UserFile ? ::stat(target.c_str(), &st) : ::lstat(target.c_str(), &st)) == 0;
  if (!existed && errno != ENOENT) return fail(errno);
  // A link at a made-up name is replaced by the new file like a file that
  // was not there.
  if (existed && S_ISLNK(st.st_mode)) existed = false;
  if (existed && S_ISDIR(st.st_mode)) return fail(EISDIR);
  if (existed && !S_ISREG(st.st_mode)) {
    result.NotRegular = true;
    result.Reason = cannot + ProgramText(TProgramText::NotRegularFile);
    return result;
  }
  if (request.Expected) {
    struct stat now {};
    const bool there = (request.UserFile ? ::stat(target.c_str(), &now) : ::lstat(target.c_str(), &now)) == 0;
    if (!((there ? CopyOfStat(now) : TDiskCopy{}) == *request.Expected)) {
      result.Outcome = TWriteOutcome::ChangedOnDisk;
      return result;
    }
  }
  // Only a file the user may write is written: the rename below needs no
  // right on the file itself.
  TFd own;
  if (existed) {
    own.Reset(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | (request.UserFile ? 0 : O_NOFOLLOW)));
    if (!own.Valid() || ::fstat(own.Get(), &st) != 0) return fail(errno);
    if (!S_ISREG(st.st_mode)) return fail(EINVAL);
  }
  const TFolder folder(split.Folder);
  if (!folder.Fd.Valid()) return fail(errno);
  RemoveStaleTempFiles(target);
  if (request.UserFile && existed) result.LeftCopy = LeftSafetyCopy(target);

  TTempFile temp;
  TFd written;  // the new file, kept open to see it under its name
  bool inPlace = request.UserFile && existed && st.st_nlink > 1;
  if (!inPlace && !MakeTempFile(folder.Fd.Get(), split.Name, existed ? 0600 : 0666, temp)) {
    const int err = errno;
    // A folder that refuses new files may still hold a file the user can write.
    if (!request.UserFile || !existed || (err != EACCES && err != EPERM)) return fail(err);
    inPlace = true;
  }
  if (!inPlace && existed && !KeepOwner(temp.Fd.Get(), st)) {
    if (request.UserFile) {
      // A new file would take another user's file (or group) from them.
      temp.Fd.Close();
      ::unlinkat(temp.Folder, temp.Name.c_str(), 0);
      temp.Name.clear();
      inPlace = true;
    } else {
      // The program's own files keep what they can.
      (void)!Chown(temp.Fd.Get(), static_cast<uid_t>(-1), st.st_gid);
    }
  }
  if (!inPlace) {
    const bool ok = WriteAllAt(temp.Fd.Get(), request.Data, 0) &&
                    (!existed || ::fchmod(temp.Fd.Get(), st.st_mode & 07777) == 0) && ::fsync(temp.Fd.Get()) == 0;
    if (!ok) return fail(errno);
    written.Reset(::dup(temp.Fd.Get()));
    if (!written.Valid() || !temp.Fd.Close()) return fail(errno);
  }

  bool backupMade = false;
  if (existed && !request.BackupName.empty()) {
    int err = 0;
    const std::string reason = MakeBackupCopy(target, request.BackupName, &err);
    if (!reason.empty()) {
      result.Outcome = TWriteOutcome::BackupFailed;
      result.Reason = reason;
      result.Subject = TWriteSubject::Backup;
      result.SubjectName = request.BackupName;
      result.Error = err;
      return result;
    }
    backupMade = true;
  }

  if (inPlace) {
    // The old bytes are kept whole before the first one changes: a copy in
    // the state folder, else the backup just made, else only if the user
    // said so.
    std::string copy;
    TFd copyLock;
    const int copyError = MakeSafetyCopy(target, copy, copyLock);
    std::string guard = copy;
    if (copyError != 0 && backupMade) guard = request.BackupName;
    if (guard.empty() && !request.InPlaceWithoutCopy) {
      const std::string folderName = SafetyCopyFolder();
      result.Outcome = TWriteOutcome::NoSafetyCopy;
      result.Subject = TWriteSubject::SafetyCopy;
      result.SubjectName = folderName;
      result.Error = copyError;
      result.Reason = ProgramText(TProgramText::CannotKeepCopy,
                                  {NameText(target), folderName.empty() ? ProgramText(TProgramText::StateFolder)
                                                                        : ShownName(folderName)}) +
                      " " + SystemErrorText(copyError);
      return result;
    }
    bool touched = false;
    if (!WriteInPlace(own.Get(), request.Data, st, touched)) {
      const int err = errno;
      if (touched) {
        result.Touched = true;
        if (guard.empty()) {
          result.Restore = TInPlaceRestore::Damaged;
        } else if (PutBack(guard, own.Get())) {
          result.Restore = TInPlaceRestore::PutBack;
          if (!copy.empty()) ::unlink(copy.c_str());
        } else {
          result.Restore = TInPlaceRestore::KeptInCopy;
          result.SafetyCopy = guard;
        }
        result.Written = DiskCopyOfHandle(own.Get());
      } else if (!copy.empty()) {
        ::unlink(copy.c_str());
      }
      result.InPlace = true;
      fail(err);
      if (result.Restore == TInPlaceRestore::PutBack) result.Reason += " " + ProgramText(TProgramText::OldTextPutBack);
      if (result.Restore == TInPlaceRestore::KeptInCopy)
        result.Reason += " " + ProgramText(TProgramText::OldTextKeptIn, {NameText(guard)});
      if (result.Restore == TInPlaceRestore::Damaged)
        result.Reason += " " + ProgramText(TProgramText::FileWrittenInPart);
      return result;
    }
    result.Written = DiskCopyOfHandle(own.Get());
    // The new text is flushed: the copy has done its work.
    if (!copy.empty()) ::unlink(copy.c_str());
    result.InPlace = true;
    if (!own.Close()) return fail(errno);
  } else {
    own.Close();
    if (::renameat(folder.Fd.Get(), temp.Name.c_str(), folder.Fd.Get(), split.Name.c_str()) != 0) return fail(errno);
    temp.Name.clear();
    // Taken after the rename, which some file systems count as a change of
    // the file: the next save compares with exactly this.
    result.Written = DiskCopyOfHandle(written.Get());
    FlushFolder(folder.Fd.Get());
  }
  result.Outcome = TWriteOutcome::Written;
  return result;
}

}  // namespace ond
