// The game and file versions; the system's texts are in UWorldOfTanksInfoSystem.cpp.
#include "workspace/UWorldOfTanksInfo.h"

#include <sys/stat.h>

#include <optional>

#include "platform/core/CodePage.h"
#include "platform/core/ElfVersion.h"
#include "platform/core/FileSystem.h"
#include "platform/core/PeVersion.h"
#include "platform/core/SysUtils.h"
#include "platform/core/WinePrefix.h"
#include "platform/core/WineRegistry.h"

#ifndef ONDREL_VERSION
#define ONDREL_VERSION "0.0.0.0"
#endif

namespace ond {

namespace {

constexpr std::u16string_view ReplayIconKey = u".wotreplay\\DefaultIcon";
constexpr std::string_view NoVersionText = "0.0.0.0";
constexpr std::size_t GameVersionLength = 5;

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

TFileVersion ProgramVersion() {
  TFileVersion v;
  std::uint16_t* parts[] = {&v.Major, &v.Minor, &v.Release, &v.Build};
  std::string_view text = ONDREL_VERSION;
  for (std::uint16_t* part : parts) {
    const std::size_t dot = text.find('.');
    *part = static_cast<std::uint16_t>(StrToIntDef(text.substr(0, dot), 0));
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  return v;
}

std::string VersionText(const TFileVersion& v) {
  return IntToStr(v.Major) + "." + IntToStr(v.Minor) + "." + IntToStr(v.Release) + "." + IntToStr(v.Build);
}

// The file a name stands for: a name with a folder as it is, a bare name in
// the program's folder first and then in the current folder.
std::string LocateFile(const std::string& fileName) {
  if (fileName.find('/') != std::string::npos) return fileName;
  for (const std::string& candidate : {ProgramFolder() + fileName, "./" + fileName})
    if (IsRegularFile(candidate)) return candidate;
  return {};
}

std::optional<TFileVersion> FileVersionOf(const std::string& fileName) {
  if (fileName.empty()) return std::nullopt;
  const std::string path = LocateFile(fileName);
  if (!IsRegularFile(path)) return std::nullopt;
  if (SameFile(path, ProgramFileName())) return ProgramVersion();
  if (auto v = ReadPeFileVersionOfFile(path)) return v;
  // A library of the program carries its version in a note of its own.
  return ReadElfFileVersionOfFile(path);
}

// An existing file's or folder's name as it is on disk, found without regard
// to letter case; the names inside the game's folder come from Windows.
std::string OnDisk(const std::string& path) { return ResolveFileCase(NormalizePath(path)); }

}  // namespace

std::string GetFileVersionText(const std::string& fileName) {
  const auto v = FileVersionOf(fileName);
  return v ? VersionText(*v) : std::string(NoVersionText);
}

std::uint16_t GetFileBuild(const std::string& fileName) {
  const auto v = FileVersionOf(fileName);
  return v ? v->Build : 0;
}

std::string GetProgramVersionText() { return VersionText(ProgramVersion()); }
std::uint16_t GetProgramBuild() { return ProgramVersion().Build; }

std::u16string ExeNameOfDefaultIcon(std::u16string_view value) {
  const auto blank = [](char16_t c) { return c == u' ' || c == u'\t'; };
  while (!value.empty() && blank(value.front())) value.remove_prefix(1);
  while (!value.empty() && blank(value.back())) value.remove_suffix(1);
  if (!value.empty() && value.front() == u'"') {
    const std::size_t close = value.find(u'"', 1);
    return std::u16string(value.substr(1, close == std::u16string_view::npos ? close : close - 1));
  }
  // Unquoted: a trailing ",<integer>" is the icon index.
  const std::size_t comma = value.rfind(u',');
  if (comma != std::u16string_view::npos) {
    std::u16string_view index = value.substr(comma + 1);
    while (!index.empty() && blank(index.front())) index.remove_prefix(1);
    if (!index.empty() && index.front() == u'-') index.remove_prefix(1);
    bool digits = !index.empty();
    for (const char16_t c : index) digits = digits && c >= u'0' && c <= u'9';
    if (digits) {
      value = value.substr(0, comma);
      while (!value.empty() && blank(value.back())) value.remove_suffix(1);
    }
  }
  return std::u16string(value);
}

std::string GetGameExeName() {
  const TWineRegistry registry(WinePrefixFolder());
  const auto icon = registry.ReadString(THiveRoot::HKEY_CLASSES_ROOT, ReplayIconKey, u"");
  if (!icon) return {};
  const std::u16string exe = ExeNameOfDefaultIcon(*icon);
  if (exe.empty()) return {};
  return WindowsPathToNative(registry.Prefix(), exe);
}

bool IsGameInstalled() { return IsRegularFile(GetGameExeName()); }

std::string GetGameFolder() {
  const std::string exe = GetGameExeName();
  return IsRegularFile(exe) ? ExtractFilePath(exe) : std::string();
}

std::string GetGameVersion() {
  const std::string exe = GetGameExeName();
  return IsRegularFile(exe) ? GetFileVersionText(exe).substr(0, GameVersionLength) : std::string();
}

std::string GetResModsFolder() {
  const std::string exe = GetGameExeName();
  if (!IsRegularFile(exe)) return {};
  const std::string version = GetFileVersionText(exe).substr(0, GameVersionLength);
  return OnDisk(ExtractFilePath(exe) + "res_mods/" + version) + "/";
}

std::string ActiveConfigName(std::string_view startFile) {
  if (startFile.starts_with("\xEF\xBB\xBF")) startFile.remove_prefix(3);
  std::size_t invalid = 0;
  Utf8ToUtf16(startFile, &invalid);
  // A start file saved in the single-byte code page is read as such.
  const std::string text = invalid ? AnsiToUtf8(startFile) : std::string(startFile);
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find_first_of("\r\n", at);
    if (end == std::string::npos) end = text.size();
    const std::string_view line = std::string_view(text).substr(at, end - at);
    at = end + 1;
    std::size_t k = 0;
    while (k < line.size() && static_cast<unsigned char>(line[k]) <= 32) ++k;
    if (k >= line.size() || line[k] != '$') continue;
    const std::size_t open = line.find('"');
    if (open == std::string_view::npos) return {};
    const std::size_t close = line.find('"', open + 1);
    std::string name(line.substr(open + 1, close == std::string_view::npos ? close : close - open - 1));
    for (char& c : name)
      if (c == '\\') c = '/';
    return name;
  }
  return {};
}

std::string GetActiveConfigFile() {
  const std::string folder = GetGameFolder();
  if (folder.empty()) return {};
  const std::string modFolder = OnDisk(folder + "res_mods/quarn") + "/";
  const std::string startFile = OnDisk(modFolder + "quarn.zu");
  if (!IsRegularFile(startFile)) return {};
  const std::string name = ActiveConfigName(ReadRegularFile(startFile));
  if (name.empty()) return {};
  const std::string config = OnDisk(modFolder + name);
  return IsRegularFile(config) ? config : std::string();
}

bool IsActiveConfigAvailable() { return IsRegularFile(GetActiveConfigFile()); }

}  // namespace ond
