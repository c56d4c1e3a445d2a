#include "highlight/OndRegistryFile.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/core/Classes.h"
#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "platform/core/SafeFileWriter.h"
#include "platform/core/SysUtils.h"

namespace ond {

namespace {

constexpr std::string_view kFileName = "registry.ondrel";
constexpr std::string_view kHeader = "ONDREL REGISTRY 1";
constexpr std::string_view kDword = "dword:";
// A file larger than this is no registry the program wrote.
constexpr std::int64_t kMaxFileSize = 16 << 20;

std::string Fold(std::string_view S) { return AnsiUpperCase(S); }

std::string Quote(std::string_view S) {
  std::string out = "\"";
  for (char c : S) {
    if (c == '\\' || c == '"') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    if (c == '\r') {
      out += "\\r";
      continue;
    }
    out += c;
  }
  return out + "\"";
}

// A quoted text at From; on success From moves past the closing quote.
std::optional<std::string> Unquote(std::string_view Line, std::size_t& From) {
  if (From >= Line.size() || Line[From] != '"') return std::nullopt;
  std::string out;
  for (std::size_t i = From + 1; i < Line.size(); ++i) {
    char c = Line[i];
    if (c == '"') {
      From = i + 1;
      return out;
    }
    if (c == '\\') {
      if (++i >= Line.size()) return std::nullopt;
      c = Line[i] == 'n' ? '\n' : Line[i] == 'r' ? '\r' : Line[i];
    }
    out += c;
  }
  return std::nullopt;
}

std::optional<int> ParseDword(std::string_view Hex) {
  if (Hex.empty() || Hex.size() > 8) return std::nullopt;
  std::uint32_t v = 0;
  for (char c : Hex) {
    const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return std::nullopt;
    v = v * 16 + static_cast<std::uint32_t>(d);
  }
  return static_cast<int>(v);
}

std::string Hex8(int V) {
  static const char digits[] = "0123456789abcdef";
  std::string s(8, '0');
  auto u = static_cast<std::uint32_t>(V);
  for (int i = 7; i >= 0; --i, u >>= 4) s[static_cast<std::size_t>(i)] = digits[u & 15];
  return s;
}

bool IsRootName(std::string_view Name) {
  for (std::uintptr_t root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_CURRENT_CONFIG})
    if (RootKeyName(root) == Name) return true;
  return false;
}

// A key's section line: "[ROOT\path]" as the path is spelt, or, when the
// path holds a line break, the whole path quoted like a value's text,
// "["ROOT\\path"]". No plain section begins with a quote, as every path
// begins with its root's name, so older files read as they always did.
std::string SectionLine(std::string_view FullPath) {
  if (FullPath.find_first_of("\r\n") == std::string_view::npos) return "[" + std::string(FullPath) + "]";
  return "[" + Quote(FullPath) + "]";
}

// The path of a section line; none when the line is no whole section.
std::optional<std::string> SectionPath(std::string_view Line) {
  if (Line.starts_with("[\"")) {
    std::size_t at = 1;
    std::optional<std::string> path = Unquote(Line, at);
    if (!path || at + 1 != Line.size() || Line[at] != ']') return std::nullopt;
    return path;
  }
  const std::size_t close = Line.rfind(']');
  if (close == std::string_view::npos || close < 2) return std::nullopt;
  return std::string(Line.substr(1, close - 1));
}

std::string ParentPath(std::string_view FullPath) {
  const std::size_t slash = FullPath.rfind('\\');
  return slash == std::string_view::npos ? std::string() : std::string(FullPath.substr(0, slash));
}

}  // namespace

std::string DefaultRegistryFileName() {
  namespace fs = std::filesystem;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  fs::path base;
  if (xdg && xdg[0] == '/')
    base = xdg;
  else if (home && home[0] != '\0')
    base = fs::path(home) / ".config";
  else
    return {};
  return (base / "ondrel" / kFileName).string();
}

TOndFileRegistry::TOndFileRegistry(std::string FileName) : FFileName(std::move(FileName)) {
  if (FFileName.empty()) return;
  // A missing or unreadable file is an empty registry.
  const std::string text = ReadRegularFile(FFileName);
  if (static_cast<std::int64_t>(text.size()) <= kMaxFileSize) SetText(text);
}

void TOndFileRegistry::SetRootKey(std::uintptr_t RootKey) {
  FRootName = std::string(RootKeyName(RootKey));
  FCurrent.reset();
}

std::optional<std::string> TOndFileRegistry::Resolve(std::string_view Path) const {
  if (FRootName.empty()) return std::nullopt;
  std::string full = Path.starts_with('\\') || !FCurrent ? FRootName : *FCurrent;
  if (Path.starts_with('\\')) Path.remove_prefix(1);
  while (Path.ends_with('\\')) Path.remove_suffix(1);
  if (Path.empty()) return full;
  std::size_t start = 0;
  for (;;) {
    const std::size_t slash = Path.find('\\', start);
    const std::string_view part = Path.substr(start, slash == std::string_view::npos ? slash : slash - start);
    if (part.empty()) return std::nullopt;
    full += '\\';
    full += part;
    if (slash == std::string_view::npos) return full;
    start = slash + 1;
  }
}

TOndFileRegistry::TKey* TOndFileRegistry::Find(std::string_view FullPath) {
  const auto it = FKeys.find(Fold(FullPath));
  return it == FKeys.end() ? nullptr : &it->second;
}

const TOndFileRegistry::TKey* TOndFileRegistry::Find(std::string_view FullPath) const {
  const auto it = FKeys.find(Fold(FullPath));
  return it == FKeys.end() ? nullptr : &it->second;
}

const TOndFileRegistry::TKey* TOndFileRegistry::Current() const { return FCurrent ? Find(*FCurrent) : nullptr; }

TOndFileRegistry::TKey& TOndFileRegistry::Create(const std::string& FullPath) {
  // Every key on the way exists too, as in a registry.
  if (TKey* k = Find(FullPath)) return *k;
  const std::string parent = ParentPath(FullPath);
  if (!parent.empty()) Create(parent);
  FModified = true;
  TKey& k = FKeys[Fold(FullPath)];
  k.Path = FullPath;
  return k;
}

bool TOndFileRegistry::OpenKey(std::string_view Path, bool CanCreate) {
  const std::optional<std::string> full = Resolve(Path);
  if (!full) return false;
  // The root itself is always there.
  const bool isRoot = full->find('\\') == std::string::npos;
  if (!isRoot && !Find(*full)) {
    if (!CanCreate) return false;
    Create(*full);
  }
  const TKey* key = Find(*full);
  FCurrent = key ? key->Path : *full;
  return true;
}

bool TOndFileRegistry::OpenKeyReadOnly(std::string_view Path) { return OpenKey(Path, false); }

void TOndFileRegistry::CloseKey() { FCurrent.reset(); }

bool TOndFileRegistry::KeyExists(std::string_view Path) const {
  const std::optional<std::string> full = Resolve(Path);
  return full && (full->find('\\') == std::string::npos || Find(*full));
}

std::string TOndFileRegistry::CurrentPath() const {
  if (!FCurrent) return {};
  const std::size_t slash = FCurrent->find('\\');
  return slash == std::string::npos ? std::string() : FCurrent->substr(slash + 1);
}

bool TOndFileRegistry::ValueExists(std::string_view Name) const {
  const TKey* k = Current();
  return k && k->Values.count(Fold(Name)) != 0;
}

int TOndFileRegistry::ReadInteger(std::string_view Name) const {
  if (const TKey* k = Current()) {
    const auto it = k->Values.find(Fold(Name));
    if (it != k->Values.end())
      if (const int* v = std::get_if<int>(&it->second.second)) return *v;
  }
  throw Exception("Invalid data type for '" + std::string(Name) + "'");
}

std::string TOndFileRegistry::ReadString(std::string_view Name) const {
  if (const TKey* k = Current()) {
    const auto it = k->Values.find(Fold(Name));
    if (it != k->Values.end())
      if (const std::string* v = std::get_if<std::string>(&it->second.second)) return *v;
  }
  throw Exception("Invalid data type for '" + std::string(Name) + "'");
}

void TOndFileRegistry::WriteInteger(std::string_view Name, int Value) {
  if (!FCurrent) throw Exception("Failed to set data for '" + std::string(Name) + "'");
  TKey& k = Create(*FCurrent);
  auto& slot = k.Values[Fold(Name)];
  if (slot.first.empty()) slot.first = std::string(Name);
  if (slot.second != TValue(Value)) FModified = true;
  slot.second = Value;
}

void TOndFileRegistry::WriteString(std::string_view Name, std::string_view Value) {
  if (!FCurrent) throw Exception("Failed to set data for '" + std::string(Name) + "'");
  TKey& k = Create(*FCurrent);
  auto& slot = k.Values[Fold(Name)];
  if (slot.first.empty()) slot.first = std::string(Name);
  if (slot.second != TValue(std::string(Value))) FModified = true;
  slot.second = std::string(Value);
}

std::string TOndFileRegistry::GetText() const {
  std::string out = std::string(kHeader) + "\n";
  for (const auto& [folded, key] : FKeys) {
    out += "\n" + SectionLine(key.Path) + "\n";
    for (const auto& [f, value] : key.Values) {
      out += Quote(value.first) + "=";
      if (const int* i = std::get_if<int>(&value.second))
        out += std::string(kDword) + Hex8(*i);
      else
        out += Quote(std::get<std::string>(value.second));
      out += "\n";
    }
  }
  return out;
}

void TOndFileRegistry::SetText(std::string_view Text) {
  FKeys.clear();
  FCurrent.reset();
  TKey* key = nullptr;
  bool first = true;
  std::size_t pos = 0;
  while (pos < Text.size()) {
    std::size_t end = Text.find('\n', pos);
    if (end == std::string_view::npos) end = Text.size();
    std::string_view line = Text.substr(pos, end - pos);
    pos = end + 1;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (first) {
      first = false;
      if (line != kHeader) return;  // not a registry this program wrote
      continue;
    }
    if (line.starts_with('[')) {
      key = nullptr;
      const std::optional<std::string> section = SectionPath(line);
      if (!section) continue;
      const std::string& path = *section;
      // A root's name, then parts that are not empty.
      const std::size_t slash = path.find('\\');
      if (!IsRootName(std::string_view(path).substr(0, slash)) || path.find("\\\\") != std::string::npos ||
          path.ends_with('\\'))
        continue;
      key = &Create(path);
      continue;
    }
    if (!key) continue;
    std::size_t at = 0;
    const std::optional<std::string> name = Unquote(line, at);
    if (!name || name->empty() || at >= line.size() || line[at] != '=') continue;
    ++at;
    std::optional<TValue> value;
    if (line.substr(at).starts_with(kDword)) {
      if (const std::optional<int> v = ParseDword(line.substr(at + kDword.size()))) value = *v;
    } else if (std::optional<std::string> v = Unquote(line, at); v && at == line.size()) {
      value = std::move(*v);
    }
    if (value) key->Values[Fold(*name)] = {*name, std::move(*value)};
  }
  FModified = false;
}

std::string TOndFileRegistry::UpdateFile() {
  if (!FModified) return {};
  if (FFileName.empty()) return "no configuration folder (neither XDG_CONFIG_HOME nor HOME is set)";
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::path(FFileName).parent_path();
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  if (ec) return FFileName + ": " + ec.message();
  const std::string text = GetText();
  TFileWrite request;
  request.FileName = FFileName;
  request.Data = text;
  const TWriteResult written = WriteFileSafely(request);
  if (!written.Ok()) return written.Reason;
  FModified = false;
  return {};
}

}  // namespace ond
