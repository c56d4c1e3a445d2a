#include "platform/core/WinePrefix.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"

namespace ond {

std::string WinePrefixFolder() {
  std::string r;
  if (const char* p = std::getenv("WINEPREFIX"); p && *p) {
    r = p;
  } else {
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h) home = h;
    else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
    r = home + "/.wine";
  }
  while (r.size() > 1 && r.back() == '/') r.pop_back();
  return r;
}

namespace {

// The folder a drive letter stands for: the target of its dosdevices link,
// or the folders Wine itself gives C: and Z: when the link is missing.
std::string DriveFolder(const std::string& prefix, char letter) {
  const std::string devices = prefix + "/dosdevices/";
  const std::string link = devices + letter + ":";
  char buf[4096];
  const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf);
  if (n > 0 && static_cast<std::size_t>(n) < sizeof buf) {
    const std::string target(buf, static_cast<std::size_t>(n));
    return NormalizePath(IsAbsolutePath(target) ? target : devices + target);
  }
  struct stat st {};
  if (::stat(link.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return link;
  if (letter == 'c') return prefix + "/drive_c";
  if (letter == 'z') return "/";
  return {};
}

}  // namespace

std::string WindowsPathToNative(const std::string& prefix, std::u16string_view windowsPath) {
  std::string s = Utf16ToUtf8(windowsPath);
  const std::size_t first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  s = s.substr(first, s.find_last_not_of(" \t") + 1 - first);
  // The NT forms of a drive path ("\??\C:\", "\\?\C:\") name the same file.
  if (s.starts_with("\\??\\") || s.starts_with("\\\\?\\")) s.erase(0, 4);
  if (s.size() < 2 || s[1] != ':') return {};
  char letter = s[0];
  if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
  if (letter < 'a' || letter > 'z') return {};
  const std::string drive = DriveFolder(prefix, letter);
  if (drive.empty()) return {};
  // Normalised as if the drive were the root, so ".." never leaves it.
  const std::string rest = NormalizePath("/" + s.substr(2));
  std::string native = drive == "/" ? rest : rest == "/" ? drive : drive + rest;
  return ResolveFileCase(native);
}

}  // namespace ond
