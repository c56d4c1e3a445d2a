#include "workspace/Compatibility.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/core/Classes.h"
#include "platform/core/FileSystem.h"
#include "platform/core/SysUtils.h"

namespace ond {

bool FileExistsEx(const std::string& fileName) {
  if (fileName.empty()) return false;
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
  return !name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ForceFolders(const std::string& folder) {
  if (folder.empty()) return false;
  std::string dir = folder;
  if (dir.size() > 1 && IsPathDelimiter(dir.back())) dir.pop_back();
  if (dir.size() == 2 && dir[1] == ':') return true;
  if (DirectoryExists(dir)) return true;
  const std::string parent = ExtractFileDir(dir);
  if (!parent.empty() && parent != dir && !ForceFolders(parent)) return false;
  return ::mkdir(dir.c_str(), 0777) == 0 || (errno == EEXIST && DirectoryExists(dir));
}

std::string ReadFileText(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead);
  return f.ReadAll();
}

std::string ReadFileHead(const std::string& fileName, std::size_t limit) {
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::string r(limit, '\0');
  std::size_t got = 0;
  while (got < limit) {
    const ssize_t n = ::read(fd, r.data() + got, limit - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
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

std::string ErrorText(int err) { return std::strerror(err); }

}  // namespace

void WriteFileText(const std::string& fileName, std::string_view data, bool append) {
  if (append && FileExistsEx(fileName)) {
    const int fd = ::open(fileName.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) throw EFOpenError("Cannot open file \"" + fileName + "\". " + ErrorText(errno));
    const bool ok = WriteAll(fd, data);
    const int err = errno;
    ::close(fd);
    if (!ok) throw EWriteError("Cannot write file \"" + fileName + "\". " + ErrorText(err));
    return;
  }
  // Write through a symbolic link to the file it names, so the link survives.
  std::string target = fileName;
  if (const std::string real = RealPath(fileName); !real.empty()) target = real;
  mode_t mode = 0666;
  struct stat st {};
  const bool existed = ::stat(target.c_str(), &st) == 0;
  if (existed) {
    if (S_ISDIR(st.st_mode)) throw EFCreateError("Cannot create file \"" + fileName + "\". Is a directory");
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  std::string tmp = ExtractFilePath(target) + "." + ExtractFileName(target) + ".XXXXXX";
  const int fd = ::mkstemp(tmp.data());
  if (fd < 0) throw EFCreateError("Cannot create file \"" + fileName + "\". " + ErrorText(errno));
  bool ok = WriteAll(fd, data) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  int err = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(tmp.c_str(), target.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(tmp.c_str());
    throw EWriteError("Cannot write file \"" + fileName + "\". " + ErrorText(err));
  }
}

void FastMove(const void* source, void* dest, std::size_t count) noexcept {
  if (source == dest || count == 0) return;
  std::memmove(dest, source, count);
}

}  // namespace ond
