#include "platform/core/WineRegistry.h"

#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"

namespace ond {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Lines of the hive, with a CR before the LF dropped.
class TLines {
 public:
  explicit TLines(std::string_view text) : FText(text) {}
  bool Next(std::string_view& line) {
    if (FPos >= FText.size()) return false;
    std::size_t end = FText.find('\n', FPos);
    if (end == std::string_view::npos) end = FText.size();
    line = FText.substr(FPos, end - FPos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    FPos = end + 1;
    return true;
  }

 private:
  std::string_view FText;
  std::size_t FPos = 0;
};

std::string_view SkipBlanks(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

// Reads an escaped string of the hive from s[i] up to the unescaped `close`
// character, which it passes. Raw bytes are UTF-8; escapes are the C ones,
// "\x" with up to four hexadecimal digits (one UTF-16 unit) and up to three
// octal digits; any other escaped character stands for itself. False when
// the closing character is missing.
bool ReadEscaped(std::string_view s, std::size_t& i, char close, std::u16string& out) {
  std::string raw;
  const auto flush = [&] {
    if (!raw.empty()) out += Utf8ToUtf16(raw);
    raw.clear();
  };
  while (i < s.size()) {
    const char c = s[i++];
    if (c == close) {
      flush();
      return true;
    }
    if (c != '\\') {
      raw += c;
      continue;
    }
    if (i >= s.size()) return false;
    const char e = s[i++];
    char16_t unit = 0;
    switch (e) {
      case 'a': unit = 7; break;
      case 'b': unit = 8; break;
      case 'e': unit = 27; break;
      case 'f': unit = 12; break;
      case 'n': unit = 10; break;
      case 'r': unit = 13; break;
      case 't': unit = 9; break;
      case 'v': unit = 11; break;
      case 'x': {
        int digits = 0;
        unsigned v = 0;
        for (; digits < 4 && i < s.size() && HexDigit(s[i]) >= 0; ++digits)
          v = v * 16 + static_cast<unsigned>(HexDigit(s[i++]));
        unit = digits ? static_cast<char16_t>(v) : u'x';
        break;
      }
      default:
        if (e >= '0' && e <= '7') {
          unsigned v = static_cast<unsigned>(e - '0');
          for (int digits = 1; digits < 3 && i < s.size() && s[i] >= '0' && s[i] <= '7'; ++digits)
            v = v * 8 + static_cast<unsigned>(s[i++] - '0');
          unit = static_cast<char16_t>(v & 0xFFFF);
        } else {
          raw += e;  // "\\", "\"", "\]" and every other character as itself
          continue;
        }
    }
    flush();
    out += unit;
  }
  return false;
}

void AppendUtf16(std::vector<std::uint8_t>& data, std::u16string_view s) {
  for (const char16_t u : s) {
    data.push_back(static_cast<std::uint8_t>(u & 0xFF));
    data.push_back(static_cast<std::uint8_t>(u >> 8));
  }
}

// A hexadecimal number of at most eight digits at s[i].
bool ReadHexNumber(std::string_view s, std::size_t& i, std::uint32_t& v) {
  int digits = 0;
  v = 0;
  while (i < s.size() && HexDigit(s[i]) >= 0) {
    if (++digits > 8) return false;
    v = v * 16 + static_cast<std::uint32_t>(HexDigit(s[i++]));
  }
  return digits > 0;
}

bool AtLineEnd(std::string_view s, std::size_t i) { return SkipBlanks(s.substr(i)).empty(); }

// The comma-separated bytes of a "hex" value, its continuation lines already joined.
bool ReadHexBytes(std::string_view s, std::vector<std::uint8_t>& data) {
  std::size_t i = 0;
  for (;;) {
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (i >= s.size()) return true;
    const int hi = HexDigit(s[i++]);
    if (hi < 0) return false;
    int v = hi;
    if (i < s.size() && HexDigit(s[i]) >= 0) v = v * 16 + HexDigit(s[i++]);
    data.push_back(static_cast<std::uint8_t>(v));
    while (i < s.size() && IsBlank(s[i])) ++i;
    if (i >= s.size()) return true;
    if (s[i++] != ',') return false;
  }
}

// The data of a value line: a "hex" value whose line ends with "" goes on
// in the next line, and so on. The lines are taken whether or not the value
// is wanted, so every reader of the hive sees the same lines as key lines.
// False when the hive ends inside the value.
bool JoinValueData(std::string_view first, TLines& lines, std::string& data) {
  data.assign(first);
  if (!first.starts_with("hex")) return true;
  for (;;) {
    while (!data.empty() && IsBlank(data.back())) data.pop_back();
    if (data.empty() || data.back() != '\\') return true;
    data.pop_back();
    std::string_view next;
    if (!lines.Next(next)) return false;
    data += next;
  }
}

// The data part of a value line, after "=".
bool ReadValueData(std::string_view s, TRegValue& value) {
  std::size_t i = 0;
  std::uint32_t type = REG_SZ;
  bool isString = false;
  if (s.starts_with("\"")) {
    isString = true;
  } else if (s.starts_with("str:\"")) {
    isString = true;
    i = 4;
  } else if (s.starts_with("str(")) {
    i = 4;
    if (!ReadHexNumber(s, i, type) || s.substr(i, 3) != "):\"") return false;
    isString = true;
    i += 2;
  } else if (s.starts_with("dword:")) {
    i = 6;
    std::uint32_t v = 0;
    if (!ReadHexNumber(s, i, v) || !AtLineEnd(s, i)) return false;
    value.Type = REG_DWORD;
    for (int k = 0; k < 4; ++k) value.Data.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
    return true;
  } else if (s.starts_with("hex:")) {
    value.Type = REG_BINARY;
    return ReadHexBytes(s.substr(4), value.Data);
  } else if (s.starts_with("hex(")) {
    i = 4;
    if (!ReadHexNumber(s, i, value.Type) || s.substr(i, 2) != "):") return false;
    return ReadHexBytes(s.substr(i + 2), value.Data);
  }
  if (!isString) return false;
  ++i;  // the opening quote
  std::u16string text;
  if (!ReadEscaped(s, i, '"', text) || !AtLineEnd(s, i)) return false;
  value.Type = type;
  AppendUtf16(value.Data, text);
  AppendUtf16(value.Data, std::u16string_view(u"\0", 1));
  return true;
}

// Walks a hive's text: OnKey(name) for every key line, answering whether the
// key's values are wanted; OnValue(name, value) for each wanted value.
template <class KeyFn, class ValueFn>
void ScanHive(std::string_view text, KeyFn&& onKey, ValueFn&& onValue) {
  TLines lines(text);
  std::string_view line;
  if (!lines.Next(line)) return;
  if (line.starts_with("\xEF\xBB\xBF")) line.remove_prefix(3);
  while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
  if (line != WineHiveHeader) return;
  bool wanted = false;
  std::string data;
  while (lines.Next(line)) {
    line = SkipBlanks(line);
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      std::size_t i = 1;
      std::u16string key;
      wanted = ReadEscaped(line, i, ']', key) && onKey(key);
      continue;
    }
    if (line[0] != '@' && line[0] != '"') continue;
    std::size_t i = 1;
    std::u16string name;
    if (line[0] == '"' && !ReadEscaped(line, i, '"', name)) continue;
    if (i >= line.size() || line[i] != '=') continue;
    const bool complete = JoinValueData(line.substr(i + 1), lines, data);
    TRegValue value;
    if (wanted && complete && ReadValueData(data, value)) onValue(name, std::move(value));
  }
}

}  // namespace

std::u16string FoldRegistryName(std::u16string_view name) {
  std::u16string r(name);
  for (char16_t& u : r) {
    if (u < 0x80) {
      if (u >= u'a' && u <= u'z') u = static_cast<char16_t>(u - 32);
    } else if (const int b = WideToAnsi(u); b >= 0) {
      u = AnsiToWide(AnsiUpperChar(static_cast<unsigned char>(b)));
    }
  }
  return r;
}

std::optional<std::u16string> TRegValue::AsString() const {
  if (Type != REG_SZ && Type != REG_EXPAND_SZ) return std::nullopt;
  std::u16string s;
  for (std::size_t i = 0; i + 1 < Data.size(); i += 2) {
    const char16_t u = static_cast<char16_t>(Data[i] | (Data[i + 1] << 8));
    if (u == 0) break;
    s += u;
  }
  return s;
}

TWineHive TWineHive::Parse(std::string_view text) {
  TWineHive hive;
  std::map<std::u16string, TRegValue>* current = nullptr;
  ScanHive(
      text,
      [&](const std::u16string& key) {
        current = &hive.FKeys[FoldRegistryName(key)];
        return true;
      },
      [&](const std::u16string& name, TRegValue value) { (*current)[FoldRegistryName(name)] = std::move(value); });
  return hive;
}

TWineHive TWineHive::Load(const std::string& fileName) { return Parse(ReadRegularFile(fileName)); }

const TRegValue* TWineHive::Find(std::u16string_view key, std::u16string_view name) const {
  const auto k = FKeys.find(FoldRegistryName(key));
  if (k == FKeys.end()) return nullptr;
  const auto v = k->second.find(FoldRegistryName(name));
  return v == k->second.end() ? nullptr : &v->second;
}

bool TWineHive::HasKey(std::u16string_view key) const { return FKeys.count(FoldRegistryName(key)) != 0; }

std::optional<TRegValue> FindHiveValue(std::string_view text, std::u16string_view key, std::u16string_view name,
                                       bool* keyFound) {
  const std::u16string wantKey = FoldRegistryName(key);
  const std::u16string wantName = FoldRegistryName(name);
  std::optional<TRegValue> found;
  if (keyFound) *keyFound = false;
  ScanHive(
      text,
      [&](const std::u16string& k) {
        const bool same = FoldRegistryName(k) == wantKey;
        if (same && keyFound) *keyFound = true;
        return same;
      },
      [&](const std::u16string& n, TRegValue value) {
        if (FoldRegistryName(n) == wantName) found = std::move(value);
      });
  return found;
}

std::optional<TRegValue> TWineRegistry::ReadValue(THiveRoot root, std::u16string_view key,
                                                  std::u16string_view name) const {
  const std::string system = FPrefix + "/system.reg";
  const std::string user = FPrefix + "/user.reg";
  switch (root) {
    case THiveRoot::HKEY_LOCAL_MACHINE: return FindHiveValue(ReadRegularFile(system), key, name);
    case THiveRoot::HKEY_CURRENT_USER: return FindHiveValue(ReadRegularFile(user), key, name);
    case THiveRoot::HKEY_CLASSES_ROOT: {
      const std::u16string classes = std::u16string(u"Software\\Classes\\") + std::u16string(key);
      // As on Windows, a class key of the user hides the machine's whole key.
      bool userKey = false;
      auto v = FindHiveValue(ReadRegularFile(user), classes, name, &userKey);
      if (userKey) return v;
      return FindHiveValue(ReadRegularFile(system), classes, name);
    }
  }
  return std::nullopt;
}

std::optional<std::u16string> TWineRegistry::ReadString(THiveRoot root, std::u16string_view key,
                                                        std::u16string_view name) const {
  const auto v = ReadValue(root, key, name);
  return v ? v->AsString() : std::nullopt;
}

}  // namespace ond
