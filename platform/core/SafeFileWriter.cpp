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

// Flushes a file's bytes and size to the disk; false with errno set.
bool Flush(int fd) {
  const auto fsyncFn = FileWriteHooks().FSync ? FileWriteHooks().FSync : &::fsync;
  return fsyncFn(fd) == 0;
}

// How long a save waits for another save of the same file to end, in steps.
constexpr int kLockSteps = 500;
constexpr long kLockStepNs = 20'000'000;

// Takes the exclusive lock on the file itself that every save holds while it
// checks and replaces the file, so that two programs saving one file never
// write it at once: the second waits for the first and then finds the file
// changed. 0, or EAGAIN when the file stayed locked for long. A file system
// without such locks is written as before.
int LockFile(int fd) {
  const auto flockFn = FileWriteHooks().Flock ? FileWriteHooks().Flock : &::flock;
  for (int step = 0;;) {
    if (flockFn(fd, LOCK_EX | LOCK_NB) == 0) return 0;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return 0;
    if (++step >= kLockSteps) return EAGAIN;
    const timespec pause{0, kLockStepNs};
    ::nanosleep(&pause, nullptr);
  }
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
  Flush(fd);
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
  if ((keepOwnerAndMode && !TakeOverMode(temp.Fd.Get(), st)) || !Flush(temp.Fd.Get()) || !temp.Fd.Close())
    return errno;
  if (::renameat(folder, temp.Name.c_str(), folder, name.c_str()) != 0) return errno;
  temp.Name.clear();
  FlushFolder(folder);
  return 0;
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

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (const char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

// Every name in `folder` that begins with `prefix`, whatever stands there,
// sorted: a copy never takes a name that is in use.
std::vector<std::string> NamesIn(const std::string& folder, const std::string& prefix) {
  std::vector<std::string> found;
  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(folder.c_str()), ::closedir);
  if (!d) return found;
  while (const dirent* e = ::readdir(d.get())) {
    const std::string_view n = e->d_name;
    if (n.size() > prefix.size() && n.starts_with(prefix)) found.emplace_back(n);
  }
  std::sort(found.begin(), found.end());
  return found;
}

// The number of a copy's name after the file's prefix: "copy" is the first,
// "<n>.copy" the n-th; 0 for any other name.
int CopyNumber(std::string_view rest) {
  if (rest == kCopySuffix) return 1;
  if (!rest.ends_with(kCopySuffix) || rest.size() < kCopySuffix.size() + 2) return 0;
  const std::string_view digits = rest.substr(0, rest.size() - kCopySuffix.size() - 1);
  if (rest[digits.size()] != '.' || !AllDigits(digits) || digits[0] == '0' || digits.size() > 3) return 0;
  std::int64_t n = 0;
  return TryStrToInt(digits, n) && n >= 2 ? static_cast<int>(n) : 0;
}

constexpr int kMostCopies = 999;

std::string CopyName(const std::string& prefix, int n) {
  return prefix + (n == 1 ? std::string() : IntToStr(n) + ".") + std::string(kCopySuffix);
}

// The copies of one file that interrupted saves left in `folder`, among
// `names` (names in the folder that begin with the file's prefix), the
// newest first. Only what the program makes counts: a regular file of this
// user with one name, under a copy's name, that no save running now holds.
std::vector<std::string> LeftCopiesAmong(const std::string& folder, const std::string& prefix,
                                         const std::vector<std::string>& names) {
  struct TFound {
    std::string Name;
    std::int64_t ModifiedNs;
    int Number;
  };
  std::vector<TFound> found;
  for (const std::string& name : names) {
    if (!name.starts_with(prefix)) continue;
    const int number = CopyNumber(std::string_view(name).substr(prefix.size()));
    if (number == 0) continue;
    const std::string full = folder + name;
    // Looked at before anything is opened: a device or a pipe there is
    // never opened at all.
    struct stat st {};
    if (::lstat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    const TFd copy(::open(full.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!copy.Valid() || ::fstat(copy.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() ||
        st.st_nlink != 1)
      continue;
    // A copy locked by a save running now is that save's, not a left one.
    if (::flock(copy.Get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) continue;
    found.push_back({full, CopyOfStat(st).ModifiedNs, number});
  }
  // A copy's time is when it was made; a later number breaks a tie.
  std::sort(found.begin(), found.end(), [](const TFound& a, const TFound& b) {
    return a.ModifiedNs != b.ModifiedNs ? a.ModifiedNs > b.ModifiedNs : a.Number > b.Number;
  });
  std::vector<std::string> newestFirst;
  newestFirst.reserve(found.size());
  for (TFound& f : found) newestFirst.push_back(std::move(f.Name));
  return newestFirst;
}

// Keeps a complete, flushed copy of the file's current bytes in the
// safety-copy folder under a name of its own; 0 (and its full name) or the
// system's error number. Hold keeps a lock on the copy while the save that
// needs it runs: another copy of the program saving the same file meanwhile
// does not take it for one a killed run left.
int MakeSafetyCopy(const std::string& target, std::string& copyName, TFd& hold) {
  const std::string folder = SafetyCopyFolder();
  if (folder.empty()) return ENOENT;
  if (const int err = MakePrivateFolders(folder, true)) return err;
  TFd in(::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!in.Valid()) return errno;
  struct stat st {};
  if (::fstat(in.Get(), &st) != 0) return errno;
  const TFolder at(folder);
  if (!at.Fd.Valid()) return errno;
  // A copy an earlier save left is never replaced, nor anything else that
  // stands at a copy's name: it may hold the only whole text of the file.
  const std::string prefix = CopyPrefix(target);
  const std::vector<std::string> taken = NamesIn(folder, prefix);
  std::string name;
  for (int n = 1; n <= kMostCopies && name.empty(); ++n) {
    std::string candidate = CopyName(prefix, n);
    if (!std::binary_search(taken.begin(), taken.end(), candidate)) name = std::move(candidate);
  }
  if (name.empty()) return EEXIST;
  RemoveStaleTempFiles(folder + name);
  if (const int err = CopyInto(in.Get(), st, at.Fd.Get(), name, false, &hold)) return err;
  copyName = folder + name;
  return 0;
}

// What putting the old bytes back achieved.
enum class TPutBack { Done, NotFlushed, Failed };

// Puts the bytes of a copy back into the open file and flushes them.
TPutBack PutBack(const std::string& copyName, int fd) {
  TFd in(::open(copyName.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (!in.Valid() || ::fstat(in.Get(), &st) != 0 || !CopyBytes(in.Get(), fd) || ::ftruncate(fd, st.st_size) != 0)
    return TPutBack::Failed;
  return Flush(fd) ? TPutBack::Done : TPutBack::NotFlushed;
}

// How far a write in place got.
enum class TInPlaceStep {
  Untouched,  // nothing changed (the room could not be reserved)
  Written,    // the bytes are in the file, but the flush failed
  Partly,     // the file may hold part of the new text
  Done,       // written and flushed
};

// Writes the whole data into an open file from its start, cuts it to the
// data's length and flushes it. The room is reserved first where the file
// system can, so that a full disk or a size limit mostly stops the write
// before any byte changes. errno is set unless Done.
TInPlaceStep WriteInPlace(int fd, std::string_view data, const struct stat& old) {
  if (!data.empty() && ::fallocate(fd, 0, 0, static_cast<off_t>(data.size())) != 0) {
    const int err = errno;
    struct stat now {};
    const bool touched = ::fstat(fd, &now) != 0 || now.st_size != old.st_size;
    if (err != EOPNOTSUPP && err != ENOSYS) {
      errno = err;
      return touched ? TInPlaceStep::Partly : TInPlaceStep::Untouched;
    }
  }
  if (!WriteAllAt(fd, data, 0) || ::ftruncate(fd, static_cast<off_t>(data.size())) != 0) return TInPlaceStep::Partly;
  return Flush(fd) ? TInPlaceStep::Done : TInPlaceStep::Written;
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

std::string SafetyCopyFolder() { return StateFolder(); }

std::vector<std::vector<std::string>> LeftSafetyCopies(const std::vector<std::string>& fileNames) {
  std::vector<std::vector<std::string>> left(fileNames.size());
  const std::string folder = SafetyCopyFolder();
  if (folder.empty()) return left;
  // One listing for all the files: mostly the folder holds no copy at all.
  const std::vector<std::string> names = NamesIn(folder, "");
  if (std::none_of(names.begin(), names.end(), [](const std::string& n) { return n.ends_with(kCopySuffix); }))
    return left;
  for (std::size_t i = 0; i < fileNames.size(); ++i) {
    const std::string& fileName = fileNames[i];
    if (fileName.empty() || PathHasNul(fileName)) continue;
    left[i] = LeftCopiesAmong(folder, CopyPrefix(FollowLinks(fileName)), names);
  }
  return left;
}

std::vector<std::string> LeftSafetyCopies(const std::string& fileName) {
  return std::move(LeftSafetyCopies(std::vector<std::string>{fileName})[0]);
}

std::string LeftSafetyCopy(const std::string& fileName) {
  std::vector<std::string> left = LeftSafetyCopies(fileName);
  return left.empty() ? std::string() : std::move(left[0]);
}

std::string InPlaceRestoreText(const TWriteResult& result) {
  switch (result.Restore) {
    case TInPlaceRestore::None:
      break;
    case TInPlaceRestore::PutBack:
      return ProgramText(TProgramText::OldTextPutBack);
    case TInPlaceRestore::PutBackNotFlushed:
      return ProgramText(TProgramText::OldTextPutBackNotFlushed, {NameText(result.SafetyCopy)});
    case TInPlaceRestore::KeptInCopy:
      return ProgramText(TProgramText::OldTextKeptIn, {NameText(result.SafetyCopy)});
    case TInPlaceRestore::NewTextNotFlushed:
      return ProgramText(TProgramText::NewTextNotFlushed);
    case TInPlaceRestore::Damaged:
      return ProgramText(TProgramText::FileWrittenInPart);
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
  // The disk copy the name reaches now, as the check compares it.
  auto now = [&](struct stat& at) {
    return (request.UserFile ? ::stat(target.c_str(), &at) : ::lstat(target.c_str(), &at)) == 0;
  };
  auto changed = [&] {
    struct stat at {};
    const bool there = now(at);
    return !((there ? CopyOfStat(at) : TDiskCopy{}) == *request.Expected);
  };
  if (request.Expected && changed()) {
    result.Outcome = TWriteOutcome::ChangedOnDisk;
    return result;
  }
  // Only a file the user may write is written: the rename below needs no
  // right on the file itself.
  TFd own;
  if (existed) {
    own.Reset(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | (request.UserFile ? 0 : O_NOFOLLOW)));
    if (!own.Valid() || ::fstat(own.Get(), &st) != 0) return fail(errno);
    if (!S_ISREG(st.st_mode)) return fail(EINVAL);
    // Held until the file is replaced: another program's save of the file
    // waits, and this one compares again once the lock is its own, so the
    // second of two saves finds the file changed instead of writing into the
    // first one's text.
    if (const int err = LockFile(own.Get())) return fail(err);
    struct stat at {};
    const bool sameFile = now(at) && at.st_dev == st.st_dev && at.st_ino == st.st_ino;
    if (request.Expected && (!sameFile || changed())) {
      result.Outcome = TWriteOutcome::ChangedOnDisk;
      return result;
    }
    // Another file was put under the name meanwhile: writing this one would
    // write a file that no name reaches any more.
    if (!sameFile) return fail(EAGAIN);
    st = at;
  }
  const TFolder folder(split.Folder);
  if (!folder.Fd.Valid()) return fail(errno);
  RemoveStaleTempFiles(target);
  if (request.UserFile && existed) {
    result.LeftCopies = LeftSafetyCopies(target);
    if (!result.LeftCopies.empty()) result.LeftCopy = result.LeftCopies[0];
  }

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
                    (!existed || ::fchmod(temp.Fd.Get(), st.st_mode & 07777) == 0) && Flush(temp.Fd.Get());
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
      if (folderName.empty()) {
        // No folder to try: no system error says why.
        result.Reason = ProgramText(TProgramText::NoStateFolder, {NameText(target)});
      } else {
        result.Error = copyError;
        result.Reason = ProgramText(TProgramText::CannotKeepCopy, {NameText(target), ShownName(folderName)}) + " " +
                        SystemErrorText(copyError);
      }
      return result;
    }
    const TInPlaceStep step = WriteInPlace(own.Get(), request.Data, st);
    if (step != TInPlaceStep::Done) {
      const int err = errno;
      if (step == TInPlaceStep::Untouched) {
        if (!copy.empty()) ::unlink(copy.c_str());
      } else {
        result.Touched = true;
        if (guard.empty()) {
          result.Restore =
              step == TInPlaceStep::Written ? TInPlaceRestore::NewTextNotFlushed : TInPlaceRestore::Damaged;
        } else {
          switch (PutBack(guard, own.Get())) {
            case TPutBack::Done:
              result.Restore = TInPlaceRestore::PutBack;
              if (!copy.empty()) ::unlink(copy.c_str());
              break;
            case TPutBack::NotFlushed:
              // The old bytes are back but the disk did not take them: the
              // copy stays, it is the one sure place of the old text.
              result.Restore = TInPlaceRestore::PutBackNotFlushed;
              result.SafetyCopy = guard;
              break;
            case TPutBack::Failed:
              result.Restore = TInPlaceRestore::KeptInCopy;
              result.SafetyCopy = guard;
              break;
          }
        }
        result.Written = DiskCopyOfHandle(own.Get());
      }
      result.InPlace = true;
      fail(err);
      const std::string restored = InPlaceRestoreText(result);
      if (!restored.empty()) result.Reason += " " + restored;
      return result;
    }
    result.Written = DiskCopyOfHandle(own.Get());
    // The new text is flushed: the copy has done its work.
    if (!copy.empty()) ::unlink(copy.c_str());
    result.InPlace = true;
    if (!own.Close()) return fail(errno);
  } else {
    // The old file stays open, and so locked, until the new one has its name.
    if (::renameat(folder.Fd.Get(), temp.Name.c_str(), folder.Fd.Get(), split.Name.c_str()) != 0) return fail(errno);
    temp.Name.clear();
    own.Close();
    // Taken after the rename, which some file systems count as a change of
    // the file: the next save compares with exactly this.
    result.Written = DiskCopyOfHandle(written.Get());
    FlushFolder(folder.Fd.Get());
  }
  result.Outcome = TWriteOutcome::Written;
  return result;
}

}  // namespace ond
