#include "platform/core/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/core/CodePage.h"
#include "platform/core/SysUtils.h"

namespace ond {

bool IsAbsolutePath(std::string_view path) noexcept { return !path.empty() && (path[0] == '/' || path[0] == '\\'); }

std::string NormalizePath(std::string_view path) {
  const bool absolute = IsAbsolutePath(path);
  std::vector<std::string_view> parts;
  std::size_t i = 0;
  while (i <= path.size()) {
    std::size_t j = i;
    while (j < path.size() && path[j] != '/' && path[j] != '\\') ++j;
    const std::string_view part = path.substr(i, j - i);
    if (part.empty() || part == ".") {
      // nothing
    } else if (part == "..") {
      if (!parts.empty() && parts.back() != "..") parts.pop_back();
      else if (!absolute) parts.push_back(part);
    } else {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string r = absolute ? "/" : "";
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (k) r += '/';
    r += parts[k];
  }
  if (r.empty()) return std::string(1, '.');
  return r;
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  if (IsAbsolutePath(name) || folder.empty()) return std::string(name);
  std::string r(folder);
  if (r.back() != '/' && r.back() != '\\') r += '/';
  r += name;
  return r;
}

namespace {

bool Exists(const std::string& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0;
}

// Case-folded form of a UTF-8 name component for comparison: every character
// that code page 1251 has goes through its upper-case table, the others stay
// as they are. A name that is not valid UTF-8 stays byte for byte; its bytes
// can never equal the folded form of a valid name.
std::string FoldName(const std::string& name) {
  std::size_t invalid = 0;
  std::u16string wide = Utf8ToUtf16(name, &invalid);
  if (invalid != 0) return name;
  for (char16_t& w : wide)
    if (const int b = WideToAnsi(w); b >= 0) w = AnsiToWide(AnsiUpperChar(static_cast<unsigned char>(b)));
  return Utf16ToUtf8(wide);
}

}  // namespace

bool PathHasNul(std::string_view path) noexcept { return path.find('\0') != std::string_view::npos; }

const std::string* TFolderListings::Find(const std::string& folder, const std::string& name) {
  auto [it, fresh] = FFolders.try_emplace(folder);
  Listing& l = it->second;
  if (fresh) {
    ++FReads;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    l.Readable = dir != nullptr;
    while (dir) {
      const dirent* e = ::readdir(dir.get());
      if (!e) break;
      const std::string n = e->d_name;
      if (n == "." || n == "..") continue;
      auto [slot, added] = l.ByFold.try_emplace(FoldName(n), n);
      if (!added && n < slot->second) slot->second = n;
    }
  }
  if (!l.Readable) return nullptr;
  const auto found = l.ByFold.find(FoldName(name));
  return found == l.ByFold.end() ? nullptr : &found->second;
}

std::string ResolveFileCase(const std::string& path, TFolderListings* listings) {
  if (path.empty() || PathHasNul(path) || Exists(path)) return path;
  TFolderListings local;
  TFolderListings& folders = listings ? *listings : local;
  const bool absolute = IsAbsolutePath(path);
  std::string cur = absolute ? "/" : "";
  std::size_t i = absolute ? 1 : 0;
  while (i <= path.size()) {
    std::size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    const std::string part = path.substr(i, j - i);
    i = j + 1;
    if (part.empty()) continue;
    std::string next = cur.empty() || cur.back() == '/' ? cur + part : cur + "/" + part;
    if (part == "." || part == ".." || Exists(next)) {
      cur = next;
      continue;
    }
    const std::string* onDisk = folders.Find(cur.empty() ? "." : cur, part);
    if (!onDisk) return path;
    cur = cur.empty() || cur.back() == '/' ? cur + *onDisk : cur + "/" + *onDisk;
  }
  return cur;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (PathHasNul(a) || PathHasNul(b)) return a == b;
  if (NormalizePath(a) == NormalizePath(b)) return true;
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::string RealPath(const std::string& path) {
  char* r = ::realpath(path.c_str(), nullptr);
  if (!r) return {};
  std::string s(r);
  std::free(r);
  return s;
}

std::string StateFolder() {
  const char* state = std::getenv("XDG_STATE_HOME");
  if (state && state[0] == '/') return IncludeTrailingPathDelimiter(state) + "ondrel/";
  const char* home = std::getenv("HOME");
  if (!home || home[0] != '/') return {};
  return IncludeTrailingPathDelimiter(home) + ".local/state/ondrel/";
}

int MakePrivateFolders(const std::string& folder, bool closeToOthers) {
  if (folder.empty() || PathHasNul(folder)) return ENOENT;
  std::string whole = folder;
  while (whole.size() > 1 && whole.back() == '/') whole.pop_back();
  for (std::size_t at = 1; at <= whole.size(); ++at) {
    if (at < whole.size() && whole[at] != '/') continue;
    const std::string part = whole.substr(0, at);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  struct stat st {};
  if (::stat(whole.c_str(), &st) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  // A folder an earlier run made open to others (as the error log's once
  // was) holds the names of the user's files: it is closed again.
  if (closeToOthers && (st.st_mode & 077) != 0 && st.st_uid == ::geteuid()) ::chmod(whole.c_str(), st.st_mode & 07700);
  return 0;
}

std::string ReadRegularFile(const std::string& path) {
  // Opened without blocking and checked on the open file: a pipe would wait
  // for a writer for ever, and a name swapped between a check and the open
  // could not slip a pipe in.
  if (PathHasNul(path)) return {};
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  std::unique_ptr<int, void (*)(int*)> guard(new int(fd), [](int* f) {
    ::close(*f);
    delete f;
  });
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return {};
  std::string bytes;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return {};
    if (n == 0) break;
    bytes.append(buf, static_cast<std::size_t>(n));
  }
  return bytes;
}

void ReleaseSpareCapacity(std::string& s) noexcept {
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  if (page == 0 || s.capacity() - s.size() < page) return;
  // The terminator after the text stays; the allocation ends after the room
  // for the capacity's terminator.
  const auto used = reinterpret_cast<std::uintptr_t>(s.data() + s.size() + 1);
  const auto end = reinterpret_cast<std::uintptr_t>(s.data() + s.capacity() + 1);
  const std::uintptr_t from = (used + page - 1) / page * page;
  const std::uintptr_t to = end / page * page;
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

void AdviseLargePages(void* block, std::size_t size) noexcept {
#if defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kLarge = std::uintptr_t{2} << 20;
  if (size < 2 * kLarge) return;
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t from = (start + kLarge - 1) / kLarge * kLarge;
  const std::uintptr_t to = (start + size) / kLarge * kLarge;
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
  (void)block;
  (void)size;
#endif
}

std::string ProgramFileName() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<std::size_t>(n));
}

std::string ProgramFolder() {
  std::string f = ProgramFileName();
  const auto slash = f.rfind('/');
  return slash == std::string::npos ? std::string("./") : f.substr(0, slash + 1);
}

}  // namespace ond
