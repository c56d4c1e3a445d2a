#include "highlight/OndHighlighterSettings.h"

#include <array>
#include <optional>

#include "platform/core/Classes.h"
#include "platform/core/CodePage.h"
#include "highlight/OndRegistryWine.h"
#include "platform/core/FileSystem.h"
#include "platform/core/WinePrefix.h"

namespace ond {

std::string_view RootKeyName(std::uintptr_t RootKey) noexcept {
  switch (RootKey) {
    case HKEY_CLASSES_ROOT: return "HKEY_CLASSES_ROOT";
    case HKEY_CURRENT_USER: return "HKEY_CURRENT_USER";
    case HKEY_LOCAL_MACHINE: return "HKEY_LOCAL_MACHINE";
    case HKEY_USERS: return "HKEY_USERS";
    case HKEY_CURRENT_CONFIG: return "HKEY_CURRENT_CONFIG";
    default: return {};
  }
}

int TOndNoRegistry::ReadInteger(std::string_view Name) const {
  throw Exception("Invalid data type for '" + std::string(Name) + "'");
}
std::string TOndNoRegistry::ReadString(std::string_view Name) const {
  throw Exception("Invalid data type for '" + std::string(Name) + "'");
}

TOndMemIniFile::TOndMemIniFile(std::string FileName) : FFileName(std::move(FileName)) {
  TStringList lines;
  try {
    lines.LoadFromFile(FFileName);
  } catch (const Exception&) {
    return;  // a missing file reads as an empty ini
  }
  SetText(lines.GetText());
}

void TOndMemIniFile::SetText(std::string_view Text) {
  FSections.clear();
  TStringList lines;
  lines.SetText(Text);
  for (int i = 0; i < lines.GetCount(); ++i) {
    const std::string line = Trim(lines[i]);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      FSections.push_back({line.substr(1, line.size() - 2), {}});
      continue;
    }
    if (FSections.empty()) continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    FSections.back().Values.emplace_back(Trim(std::string_view(line).substr(0, eq)), line.substr(eq + 1));
  }
}

std::string TOndMemIniFile::GetText() const {
  std::string s;
  for (const TSection& sec : FSections) {
    s += "[" + sec.Name + "]\r\n";
    for (const auto& [name, value] : sec.Values) s += name + "=" + value + "\r\n";
    s += "\r\n";
  }
  return s;
}

void TOndMemIniFile::UpdateFile() const {
  TStringList lines;
  lines.SetText(GetText());
  lines.SaveToFile(FFileName);
}

const TOndMemIniFile::TSection* TOndMemIniFile::FindSection(std::string_view Section) const noexcept {
  for (const TSection& sec : FSections)
    if (SameText(sec.Name, Section)) return &sec;
  return nullptr;
}

std::vector<std::string> TOndMemIniFile::ReadSection(std::string_view Section) const {
  std::vector<std::string> names;
  if (const TSection* sec = FindSection(Section))
    for (const auto& v : sec->Values) names.push_back(v.first);
  return names;
}

bool TOndMemIniFile::ValueExists(std::string_view Section, std::string_view Name) const {
  if (const TSection* sec = FindSection(Section))
    for (const auto& v : sec->Values)
      if (SameText(v.first, Name)) return true;
  return false;
}

std::string TOndMemIniFile::ReadString(std::string_view Section, std::string_view Name,
                                       std::string_view Default) const {
  if (const TSection* sec = FindSection(Section))
    for (const auto& v : sec->Values)
      if (SameText(v.first, Name)) return v.second;
  return std::string(Default);
}

int TOndMemIniFile::ReadInteger(std::string_view Section, std::string_view Name, int Default) const {
  const std::string s = Trim(ReadString(Section, Name, {}));
  std::int64_t v = 0;
  if (s.size() > 1 && s[0] == '$') {
    try {
      return static_cast<int>(std::stoul(s.substr(1), nullptr, 16));
    } catch (const std::exception&) {
      return Default;
    }
  }
  return TryStrToInt(s, v) ? static_cast<int>(v) : Default;
}

void TOndMemIniFile::WriteInteger(std::string_view Section, std::string_view Name, int Value) {
  auto* sec = const_cast<TSection*>(FindSection(Section));
  if (!sec) {
    FSections.push_back({std::string(Section), {}});
    sec = &FSections.back();
  }
  for (auto& v : sec->Values)
    if (SameText(v.first, Name)) {
      v.second = IntToStr(Value);
      return;
    }
  sec->Values.emplace_back(std::string(Name), IntToStr(Value));
}

namespace {

constexpr std::string_view kBackground = "Background";
constexpr std::string_view kForeground = "Foreground";
constexpr std::string_view kStyle = "Style";

// The foreign editor's 16 colours, by index.
constexpr std::array<TColor, 16> kColorTable = {clBlack, clMaroon, clGreen, clOlive, clNavy, clPurple,
                                                 clTeal,  clSilver, clGray,  clRed,   clLime, clYellow,
                                                 clBlue,  clFuchsia, clAqua, clWhite};
constexpr std::array<std::string_view, 16> kColorNames = {
    "clBlack", "clMaroon", "clGreen", "clOlive", "clNavy", "clPurple", "clTeal", "clSilver",
    "clGray",  "clRed",    "clLime",  "clYellow", "clBlue", "clFuchsia", "clAqua", "clWhite"};

std::optional<TColor> TableColor(std::string_view IndexText) {
  std::int64_t i = 0;
  if (!TryStrToInt(Trim(IndexText), i) || i < 0 || i >= static_cast<std::int64_t>(kColorTable.size()))
    return std::nullopt;
  return kColorTable[static_cast<std::size_t>(i)];
}

// A colour written as one of the table's names or as a number.
std::optional<TColor> NamedColor(std::string_view Text) {
  const std::string t = Trim(Text);
  for (std::size_t i = 0; i < kColorNames.size(); ++i)
    if (SameText(t, kColorNames[i])) return kColorTable[i];
  if (t.size() > 1 && t[0] == '$') {
    std::uint64_t v = 0;
    for (char c : std::string_view(t).substr(1)) {
      const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (d < 0 || v > 0xFFFFFFFu) return std::nullopt;
      v = v * 16 + static_cast<unsigned>(d);
    }
    return static_cast<TColor>(static_cast<std::uint32_t>(v));
  }
  std::int64_t v = 0;
  if (TryStrToInt(t, v) && v >= INT32_MIN && v <= UINT32_MAX) return static_cast<TColor>(static_cast<std::uint32_t>(v));
  return std::nullopt;
}

bool FlagText(std::string_view Text) { return AnsiUpperCase(Text) != "FALSE" && Text != "0"; }

// The remembered key is opened again from the root when Body is done.
template <typename Body>
bool InSubKey(TOndRegistry& Registry, std::string_view SubKey, bool CanCreate, Body&& body) {
  const std::string old = Registry.CurrentPath();
  if (!(CanCreate ? Registry.OpenKey(SubKey, true) : Registry.OpenKeyReadOnly(SubKey))) return false;
  body();
  Registry.OpenKey("\\" + old, false);
  return true;
}

void ApplyColors(TOndHighlighterAttributes& Attr, TColor Background, TColor Foreground, bool Bold, bool Italic,
                 bool Underline) {
  Attr.SetBackground(Background);
  Attr.SetForeground(Foreground);
  TFontStyles style = 0;
  if (Bold) style |= fsBold;
  if (Italic) style |= fsItalic;
  if (Underline) style |= fsUnderline;
  Attr.SetStyle(style);
}

bool ImportCompact(TOndHighlighterAttributes& Attr, TOndRegistry& Registry, std::string_view ValueName) {
  if (!Registry.ValueExists(ValueName)) return false;
  const std::string text = Registry.ReadString(ValueName);
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    fields.push_back(std::string_view(text).substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (fields.size() < 7) return false;
  const bool defaultFg = fields[3] == "1";
  const bool defaultBg = fields[4] == "1";
  const std::optional<TColor> fg = defaultFg ? std::optional<TColor>(clWindowText) : TableColor(fields[5]);
  const std::optional<TColor> bg = defaultBg ? std::optional<TColor>(clWindow) : TableColor(fields[6]);
  if (!fg || !bg) return false;
  const std::string_view style = fields[2];
  ApplyColors(Attr, *bg, *fg, style.find('B') != std::string_view::npos, style.find('I') != std::string_view::npos,
              style.find('U') != std::string_view::npos);
  return true;
}

std::optional<TColor> KeyColor(const TOndRegistry& Registry, std::string_view IndexName, std::string_view NewName) {
  if (Registry.ValueExists(IndexName)) return TableColor(Registry.ReadString(IndexName));
  if (Registry.ValueExists(NewName)) return NamedColor(Registry.ReadString(NewName));
  return std::nullopt;
}

bool ImportKeyForm(TOndHighlighterAttributes& Attr, TOndRegistry& Registry) {
  const std::optional<TColor> fg = KeyColor(Registry, "Foreground Color", "Foreground Color New");
  const std::optional<TColor> bg = KeyColor(Registry, "Background Color", "Background Color New");
  if (!fg || !bg) return false;
  static constexpr std::string_view kFlags[] = {"Bold", "Italic", "Underline", "Default Foreground",
                                                "Default Background"};
  bool flags[5] = {};
  for (int i = 0; i < 5; ++i) {
    if (!Registry.ValueExists(kFlags[i])) return false;
    flags[i] = FlagText(Registry.ReadString(kFlags[i]));
  }
  ApplyColors(Attr, flags[4] ? clWindow : *bg, flags[3] ? clWindowText : *fg, flags[0], flags[1], flags[2]);
  return true;
}

}  // namespace

bool LoadAttributeFromRegistry(TOndHighlighterAttributes& Attr, TOndRegistry& Registry) {
  return InSubKey(Registry, Attr.Name(), false, [&] {
    if (Registry.ValueExists(kBackground)) Attr.SetBackground(Registry.ReadInteger(kBackground));
    if (Registry.ValueExists(kForeground)) Attr.SetForeground(Registry.ReadInteger(kForeground));
    if (Registry.ValueExists(kStyle)) Attr.SetIntegerStyle(Registry.ReadInteger(kStyle));
  });
}

bool SaveAttributeToRegistry(const TOndHighlighterAttributes& Attr, TOndRegistry& Registry) {
  return InSubKey(Registry, Attr.Name(), true, [&] {
    Registry.WriteInteger(kBackground, Attr.GetBackground());
    Registry.WriteInteger(kForeground, Attr.GetForeground());
    Registry.WriteInteger(kStyle, Attr.GetIntegerStyle());
  });
}

bool LoadAttributeFromIniFile(TOndHighlighterAttributes& Attr, const TOndMemIniFile& IniFile) {
  if (IniFile.ReadSection(Attr.Name()).empty()) return false;
  if (IniFile.ValueExists(Attr.Name(), kBackground))
    Attr.SetBackground(IniFile.ReadInteger(Attr.Name(), kBackground, Attr.GetBackground()));
  if (IniFile.ValueExists(Attr.Name(), kForeground))
    Attr.SetForeground(IniFile.ReadInteger(Attr.Name(), kForeground, Attr.GetForeground()));
  if (IniFile.ValueExists(Attr.Name(), kStyle))
    Attr.SetIntegerStyle(IniFile.ReadInteger(Attr.Name(), kStyle, Attr.GetIntegerStyle()));
  return true;
}

bool SaveAttributeToIniFile(const TOndHighlighterAttributes& Attr, TOndMemIniFile& IniFile) {
  IniFile.WriteInteger(Attr.Name(), kBackground, Attr.GetBackground());
  IniFile.WriteInteger(Attr.Name(), kForeground, Attr.GetForeground());
  IniFile.WriteInteger(Attr.Name(), kStyle, Attr.GetIntegerStyle());
  return true;
}

namespace {
template <typename Each>
bool EveryAttribute(const TOndCustomHighlighter& Highlighter, Each&& each) {
  bool ok = true;
  for (int i = 0; i < Highlighter.GetAttribCount(); ++i)
    if (TOndHighlighterAttributes* a = Highlighter.GetAttribute(i)) ok = each(*a) && ok;
  return ok;
}
}  // namespace

bool LoadHighlighterFromRegistry(TOndCustomHighlighter& Highlighter, TOndRegistry& Registry,
                                 std::uintptr_t RootKey, std::string_view Key) {
  Registry.SetRootKey(RootKey);
  if (!Registry.OpenKeyReadOnly(Key)) return false;
  return EveryAttribute(Highlighter, [&](TOndHighlighterAttributes& a) { return LoadAttributeFromRegistry(a, Registry); });
}

bool SaveHighlighterToRegistry(const TOndCustomHighlighter& Highlighter, TOndRegistry& Registry,
                               std::uintptr_t RootKey, std::string_view Key) {
  Registry.SetRootKey(RootKey);
  if (!Registry.OpenKey(Key, true)) return false;
  return EveryAttribute(Highlighter, [&](TOndHighlighterAttributes& a) { return SaveAttributeToRegistry(a, Registry); });
}

bool LoadHighlighterFromIniFile(TOndCustomHighlighter& Highlighter, const TOndMemIniFile& IniFile) {
  return EveryAttribute(Highlighter, [&](TOndHighlighterAttributes& a) { return LoadAttributeFromIniFile(a, IniFile); });
}

bool SaveHighlighterToIniFile(const TOndCustomHighlighter& Highlighter, TOndMemIniFile& IniFile) {
  return EveryAttribute(Highlighter, [&](TOndHighlighterAttributes& a) { return SaveAttributeToIniFile(a, IniFile); });
}

bool ImportColorSettings(TOndHighlighterAttributes& Attr, TOndRegistry& Registry, std::uintptr_t RootKey,
                         std::string_view Key, std::string_view ValueName, bool Compact) {
  try {
    Registry.SetRootKey(RootKey);
    if (Compact) {
      if (!Registry.OpenKeyReadOnly(Key)) return false;
      return ImportCompact(Attr, Registry, ValueName);
    }
    if (!Registry.OpenKeyReadOnly(std::string(Key) + "\\" + std::string(ValueName))) return false;
    return ImportKeyForm(Attr, Registry);
  } catch (const std::exception&) {
    return false;
  }
}

bool TOndHighlighterAttributes::ImportColorSettings(std::uintptr_t RootKey, std::string_view Key,
                                                    std::string_view ValueName, bool Compact) {
  TOndWineRegistry registry(WinePrefixFolder());
  return ond::ImportColorSettings(*this, registry, RootKey, Key, ValueName, Compact);
}

}  // namespace ond
