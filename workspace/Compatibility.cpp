#include "workspace/Compatibility.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "platform/core/SysUtils.h"
#include "services/ULocalization.h"

namespace ond {

namespace {

// How a name appears in a message: program text, a zero byte shown as "?".
std::string NameText(const std::string& fileName) {
  std::string shown = Utf8ToAnsi(fileName);
  for (char& c : shown)
    if (c == '\0') c = '?';
  return shown;
}

std::string ShownName(const std::string& fileName) { return "\"" + NameText(fileName) + "\""; }

// Closes a file descriptor when the scope ends, however it ends.
struct TFileHandle {
  int Fd;
  ~TFileHandle() { ::close(Fd); }
};

// The pieces a file that reports no size is read in.
constexpr std::size_t kUnsizedPiece = std::size_t{1} << 20;

}  // namespace

bool FileExistsEx(const std::string& fileName) {
  if (fileName.empty() || PathHasNul(fileName)) return false;
  struct stat st {};
  if (::stat(fileName.c_str(), &st) == 0) return !S_ISDIR(st.st_mode);
  if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG) return false;
  // Another failure (no permission on the file itself, for example): look the
  // name up in its folder instead.
  const std::string dir = ExtractFileDir(fileName);
  const std::string name = ExtractFileName(fileName);
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  bool found = false;
  while (dirent* e = ::readdir(d)) {
    if (name == e->d_name) {
      found = e->d_type != DT_DIR;
      break;
    }
  }
  ::closedir(d);
  return found;
}

bool DirectoryExists(const std::string& name) {
  struct stat st {};
  return !name.empty() && !PathHasNul(name) && ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceFolders(const std::string& folder) {
  if (folder.empty()) return false;
  if (PathHasNul(folder)) {
    errno = EINVAL;
    return false;
  }
  std::string dir = folder;
  if (dir.size() > 1 && IsPathDelimiter(dir.back())) dir.pop_back();
  if (dir.size() == 2 && dir[1] == ':') return true;
  if (DirectoryExists(dir)) return true;
  const std::string parent = ExtractFileDir(dir);
  if (!parent.empty() && parent != dir && !ForceFolders(parent)) return false;
  if (::mkdir(dir.c_str(), 0777) == 0) return true;
  if (errno != EEXIST) return false;
  if (DirectoryExists(dir)) return true;
  errno = ENOTDIR;  // a file stands where the folder should be
  return false;
}

std::string ReadFileText(const std::string& fileName, std::int64_t limit, TDiskCopy* copy) {
  return ReadFileText(fileName, limit, static_cast<std::size_t>(-1), {}, copy);
}

std::string ReadFileText(const std::string& fileName, std::int64_t limit, std::size_t piece,
                         const std::function<void(char* bytes, std::size_t got)>& onRead, TDiskCopy* copy) {
  if (PathHasNul(fileName))
    ThrowWithErrorNumber(EFOpenError(LangFill(leCannotOpenFile, {ShownName(fileName), Lang(leNulInName)})),
                         ErrNulInName);
  // Opened without blocking and checked on the open file: a pipe or a device
  // would never end or never answer.
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    ThrowWithErrorNumber(EFOpenError(LangFill(leCannotOpenFile, {ShownName(fileName), SystemErrorText(err)})), err);
  }
  const TFileHandle guard{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ThrowWithErrorNumber(EFOpenError(LangFill(leCannotOpenFile, {ShownName(fileName), SystemErrorText(err)})), err);
  }
  if (S_ISDIR(st.st_mode))
    ThrowWithErrorNumber(EFOpenError(LangFill(leCannotOpenFile, {ShownName(fileName), SystemErrorText(EISDIR)})), EISDIR);
  if (!S_ISREG(st.st_mode))
    ThrowWithErrorNumber(EFOpenError(LangFill(leCannotOpenFile, {ShownName(fileName), Lang(leNotRegularFile)})),
                         ErrNotRegularFile);
  auto tooLarge = [&] {
    ThrowWithErrorNumber(
        EReadError(LangFill(leCannotReadFile,
                            {ShownName(fileName), LangFill(leFileTooLarge, {IntToStr(limit / (1024 * 1024))})})),
        ErrFileTooLarge);
  };
  if (st.st_size > limit) tooLarge();
  // The copy as it was before reading: a change made meanwhile counts as a
  // change when the text is saved.
  if (copy) *copy = DiskCopyOfHandle(fd);
  // The size is a hint only: a file of the system reports 0 and may go on
  // without end, and a file may grow while it is read. One byte past the
  // limit tells a file that is too large.
  const std::size_t cap = static_cast<std::size_t>(limit) + 1;
  auto readSome = [&](char* to, std::size_t room) {
    for (;;) {
      const ssize_t n = ::read(fd, to, room);
      if (n >= 0) return static_cast<std::size_t>(n);
      const int err = errno;
      if (err != EINTR)
        ThrowWithErrorNumber(EReadError(LangFill(leCannotReadFile, {ShownName(fileName), SystemErrorText(err)})), err);
    }
  };
  if (st.st_size == 0) {
    // No size to go by: fixed pieces, joined once at the end, so that a file
    // that never ends costs no more than the limit on its way to the error.
    std::vector<std::string> pieces;
    std::size_t total = 0;
    for (;;) {
      const std::size_t room = std::min(kUnsizedPiece, cap - total);
      std::string p(room, '\0');
      std::size_t filled = 0;
      while (filled < room) {
        const std::size_t n = readSome(p.data() + filled, room - filled);
        if (n == 0) break;
        filled += n;
      }
      p.resize(filled);
      total += filled;
      if (filled) pieces.push_back(std::move(p));
      if (total >= cap) tooLarge();
      if (filled < room) break;
    }
    std::string bytes;
    bytes.reserve(total);
    for (std::string& p : pieces) {
      bytes += p;
      std::string().swap(p);
    }
    if (onRead && !bytes.empty()) onRead(bytes.data(), bytes.size());
    return bytes;
  }
  std::string bytes;
  {
    // Fresh memory of a large file is backed by large pages: far fewer page
    // faults on the way in.
    const std::size_t size = std::min(static_cast<std::size_t>(st.st_size), cap);
    bytes.reserve(size);
    AdviseLargePages(bytes.data(), size);
    bytes.resize(size);
  }
  std::size_t got = 0;
  for (;;) {
    if (got == bytes.size()) {
      if (got >= cap) tooLarge();
      // The buffer is full: a small read tells the end of the file from more
      // to come, so a file of the size it reported never grows the buffer.
      char probe[4096];
      const std::size_t more = readSome(probe, sizeof probe);
      if (more == 0) break;
      // A file that grew: by its reported size again, not by doubling.
      bytes.resize(std::min(cap, got + std::max({static_cast<std::size_t>(st.st_size), more, kUnsizedPiece})));
      const std::size_t kept = std::min(more, bytes.size() - got);
      std::memcpy(bytes.data() + got, probe, kept);
      got += kept;
      if (onRead) onRead(bytes.data(), got);
      if (kept < more) tooLarge();
      continue;
    }
    const std::size_t n = readSome(bytes.data() + got, std::min(piece, bytes.size() - got));
    if (n == 0) break;
    got += n;
    if (onRead) onRead(bytes.data(), got);
  }
  bytes.resize(got);
  return bytes;
}

std::string ReadFileHead(const std::string& fileName, std::size_t limit) {
  if (PathHasNul(fileName)) return {};
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  const TFileHandle guard{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return {};
  std::string r(limit, '\0');
  std::size_t got = 0;
  while (got < limit) {
    const ssize_t n = ::read(fd, r.data() + got, limit - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  r.resize(got);
  return r;
}

namespace {

bool WriteAll(int fd, std::string_view data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string TryWriteFileText(const std::string& fileName, std::string_view data, bool append) {
  if (PathHasNul(fileName)) return Lang(leNulInName);
  if (append && FileExistsEx(fileName)) {
    IgnoreFileSizeSignal();
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return SystemErrorText(errno);
    const bool ok = WriteAll(fd, data);
    const int err = errno;
    ::close(fd);
    return ok ? std::string() : SystemErrorText(err);
  }
  TFileWrite request;
  request.FileName = fileName;
  request.Data = data;
  request.UserFile = true;
  const TWriteResult r = WriteFileSafely(request);
  if (r.Ok()) return {};
  // The writer's reason names the file; here only the reason is wanted.
  const std::string prefix = LangFill(leCannotWriteFile, {NameText(fileName)}) + " ";
  return r.Reason.starts_with(prefix) ? r.Reason.substr(prefix.size()) : r.Reason;
}

void WriteFileText(const std::string& fileName, std::string_view data, bool append) {
  const std::string reason = TryWriteFileText(fileName, data, append);
  if (!reason.empty()) throw EWriteError(LangFill(leCannotWriteFile, {NameText(fileName)}) + " " + reason);
}

bool RenameFile(const std::string& oldName, const std::string& newName) {
  if (oldName.empty() || newName.empty() || PathHasNul(oldName) || PathHasNul(newName)) {
    errno = EINVAL;
    return false;
  }
  return ::rename(oldName.c_str(), newName.c_str()) == 0;
}

bool DeleteFile(const std::string& fileName) {
  if (fileName.empty() || PathHasNul(fileName)) {
    errno = EINVAL;
    return false;
  }
  return ::unlink(fileName.c_str()) == 0;
}

void FastMove(const void* source, void* dest, std::size_t count) noexcept {
  if (source == dest || count == 0) return;
  std::memmove(dest, source, count);
}

}  // namespace ond
