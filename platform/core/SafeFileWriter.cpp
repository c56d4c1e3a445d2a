#include "platform/core/SafeFileWriter.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "platform/core/SysUtils.h"

namespace ond {

namespace {

constexpr int kMaxLinkHops = 40;
constexpr std::size_t kCopyPiece = std::size_t{1} << 20;
constexpr const char* kTempSuffix = ".tmp";

// How a name appears in a message: program text, a zero byte shown as "?".
std::string ShownName(const std::string& fileName) {
  std::string shown = Utf8ToAnsi(fileName);
  for (char& c : shown)
    if (c == '\0') c = '?';
  return "\"" + shown + "\"";
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

// A temporary file that is removed unless it was renamed into place.
class TTempFile {
 public:
  ~TTempFile() {
    if (!Name.empty()) ::unlink(Name.c_str());
  }
  std::string Name;
  TFd Fd;
};

TDiskCopy CopyOfStat(const struct stat& st) {
  TDiskCopy c;
  c.Exists = true;
  c.Device = static_cast<std::uint64_t>(st.st_dev);
  c.Inode = static_cast<std::uint64_t>(st.st_ino);
  c.Size = static_cast<std::int64_t>(st.st_size);
  c.ModifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return c;
}

bool WriteAllAt(int fd, std::string_view data, off_t offset) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::pwrite(fd, data.data() + done, data.size() - done, offset + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Opens a new hidden temporary file beside `name`; false with errno set.
bool MakeTempFile(const std::string& name, mode_t mode, TTempFile& temp) {
  static std::atomic<unsigned> serial{0};
  const std::string base = ExtractFilePath(name) + "." + ExtractFileName(name) + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = base + IntToStr(::getpid()) + "-" + IntToStr(serial.fetch_add(1)) + kTempSuffix;
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) {
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
void FlushFolder(const std::string& fileName) {
  const std::string dir = ExtractFileDir(fileName);
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// The owner and permission bits of the file it replaces, for a new file.
bool TakeOverMode(int fd, const struct stat& old) {
  // Another owner can only be kept by a privileged process; the group often
  // can. Neither failure stops the save: the bits below still apply.
  if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) (void)!::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
  }
  return ::fchmod(fd, old.st_mode & 07777) == 0;
}

// Copies the current file to its backup: a flushed copy under a temporary
// name, renamed over the old backup. The file itself stays. "" or the
// system's reason.
std::string CopyToBackup(const std::string& source, const std::string& backup) {
  TFd in(::open(source.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (!in.Valid()) return SystemErrorText(errno);
  struct stat st {};
  if (::fstat(in.Get(), &st) != 0) return SystemErrorText(errno);
  TTempFile temp;
  if (!MakeTempFile(backup, 0600, temp)) return SystemErrorText(errno);
  std::vector<char> buffer(kCopyPiece);
  off_t at = 0;
  for (;;) {
    const ssize_t n = ::read(in.Get(), buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return SystemErrorText(errno);
    if (n == 0) break;
    if (!WriteAllAt(temp.Fd.Get(), std::string_view(buffer.data(), static_cast<std::size_t>(n)), at))
      return SystemErrorText(errno);
    at += n;
  }
  if (!TakeOverMode(temp.Fd.Get(), st) || ::fsync(temp.Fd.Get()) != 0 || !temp.Fd.Close())
    return SystemErrorText(errno);
  if (::rename(temp.Name.c_str(), backup.c_str()) != 0) return SystemErrorText(errno);
  temp.Name.clear();
  FlushFolder(backup);
  return {};
}

// Writes the whole data into an open file from its start and cuts it to the
// data's length. The room is reserved first where the file system can, so
// that a full disk or a size limit stops the write before any byte changes.
bool WriteInPlace(int fd, std::string_view data) {
  if (!data.empty() && ::fallocate(fd, 0, 0, static_cast<off_t>(data.size())) != 0 && errno != EOPNOTSUPP &&
      errno != ENOSYS)
    return false;
  return WriteAllAt(fd, data, 0) && ::ftruncate(fd, static_cast<off_t>(data.size())) == 0 && ::fsync(fd) == 0;
}

bool AllDigits(std::string_view s) {
  if (s.empty()) return false;
  for (const char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

}  // namespace

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
    const std::string target(buf, static_cast<std::size_t>(n));
    name = IsAbsolutePath(target) ? target : ExtractFilePath(name) + target;
  }
  return name;
}

int RemoveStaleTempFiles(const std::string& fileName) {
  const std::string dir = ExtractFileDir(fileName);
  const std::string prefix = "." + ExtractFileName(fileName) + ".";
  std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.empty() ? "." : dir.c_str()), ::closedir);
  if (!d) return 0;
  std::vector<std::string> stale;
  while (const dirent* e = ::readdir(d.get())) {
    const std::string_view n = e->d_name;
    const std::string_view suffix = kTempSuffix;
    if (n.size() <= prefix.size() + suffix.size() || !n.starts_with(prefix) || !n.ends_with(suffix)) continue;
    // "<pid>-<serial>" between the two.
    const std::string_view middle = n.substr(prefix.size(), n.size() - prefix.size() - suffix.size());
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
  const std::string folder = dir.empty() ? std::string() : dir + "/";
  for (const std::string& n : stale)
    if (::unlink((folder + n).c_str()) == 0) ++removed;
  return removed;
}

std::string MakeBackupCopy(const std::string& fileName, const std::string& backupName) {
  IgnoreFileSizeSignal();
  const std::string cannot = "Cannot make the backup " + ShownName(backupName) + ". ";
  if (fileName.empty() || backupName.empty() || PathHasNul(fileName) || PathHasNul(backupName))
    return cannot + SystemErrorText(EINVAL);
  const std::string backup = FollowLinks(backupName);
  RemoveStaleTempFiles(backup);
  const std::string reason = CopyToBackup(fileName, backup);
  return reason.empty() ? reason : cannot + reason;
}

TWriteResult WriteFileSafely(const TFileWrite& request) {
  IgnoreFileSizeSignal();
  TWriteResult result;
  const std::string cannot = "Cannot write file " + ShownName(request.FileName) + ". ";
  auto fail = [&](int err) {
    result.Outcome = TWriteOutcome::Failed;
    result.Reason = cannot + SystemErrorText(err);
    return result;
  };
  if (request.FileName.empty() || PathHasNul(request.FileName) || PathHasNul(request.BackupName)) {
    result.Reason = cannot + (request.FileName.empty() ? SystemErrorText(ENOENT) : "The name contains a zero byte");
    return result;
  }
  const std::string target = FollowLinks(request.FileName);
  struct stat st {};
  const bool existed = ::stat(target.c_str(), &st) == 0;
  if (!existed && errno != ENOENT) return fail(errno);
  if (existed && S_ISDIR(st.st_mode)) return fail(EISDIR);
  if (existed && !S_ISREG(st.st_mode)) {
    result.Reason = cannot + "Not a regular file";
    return result;
  }
  if (request.Expected && !(DiskCopyOf(target) == *request.Expected)) {
    result.Outcome = TWriteOutcome::ChangedOnDisk;
    return result;
  }
  // Only a file the user may write is written: the rename below needs no
  // right on the file itself.
  TFd own;
  if (existed) {
    own.Reset(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (!own.Valid()) return fail(errno);
  }
  RemoveStaleTempFiles(target);

  TTempFile temp;
  bool inPlace = existed && st.st_nlink > 1;
  if (!inPlace && !MakeTempFile(target, existed ? 0600 : 0666, temp)) {
    const int err = errno;
    // A folder that refuses new files may still hold a file the user can write.
    if (!existed || (err != EACCES && err != EPERM)) return fail(err);
    inPlace = true;
  }

  if (!inPlace) {
    const bool ok = WriteAllAt(temp.Fd.Get(), request.Data, 0) && (!existed || TakeOverMode(temp.Fd.Get(), st)) &&
                    ::fsync(temp.Fd.Get()) == 0;
    if (!ok) return fail(errno);
    result.Written = DiskCopyOfHandle(temp.Fd.Get());
    if (!temp.Fd.Close()) return fail(errno);
  }

  if (existed && !request.BackupName.empty()) {
    const std::string reason = MakeBackupCopy(target, request.BackupName);
    if (!reason.empty()) {
      result.Outcome = TWriteOutcome::BackupFailed;
      result.Reason = reason;
      return result;
    }
  }

  if (inPlace) {
    if (!WriteInPlace(own.Get(), request.Data)) return fail(errno);
    result.Written = DiskCopyOfHandle(own.Get());
    if (!own.Close()) return fail(errno);
    result.InPlace = true;
  } else {
    own.Close();
    if (::rename(temp.Name.c_str(), target.c_str()) != 0) return fail(errno);
    temp.Name.clear();
    FlushFolder(target);
  }
  result.Outcome = TWriteOutcome::Written;
  return result;
}

}  // namespace ond
