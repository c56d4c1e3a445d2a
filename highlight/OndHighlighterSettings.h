// Where a highlighter's attribute colours can be kept outside a scheme: an ini
// file (one section per attribute) or a registry-like tree of keys, and the
// import of colour settings written in a foreign editor's registry layout.
// They are plain functions over two small store interfaces: the program's
// own registry is a file (OndRegistryFile.h), a foreign editor's is read from
// the Wine prefix it runs in (OndRegistryWine.h).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "highlight/OndEditHighlighter.h"

namespace ond {

// The root keys of a registry, by their Windows numbers.
constexpr std::uintptr_t HKEY_CLASSES_ROOT = 0x80000000u;
constexpr std::uintptr_t HKEY_CURRENT_USER = 0x80000001u;
constexpr std::uintptr_t HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr std::uintptr_t HKEY_USERS = 0x80000003u;
constexpr std::uintptr_t HKEY_CURRENT_CONFIG = 0x80000005u;
// "HKEY_CURRENT_USER" and the like; empty for any other number.
std::string_view RootKeyName(std::uintptr_t RootKey) noexcept;

// A tree of keys holding named integer and string values. Paths use "\"; a
// path that starts with "\" is taken from the root key, any other from the
// key that is open.
class TOndRegistry {
 public:
  virtual ~TOndRegistry() = default;
  // Closes the open key.
  virtual void SetRootKey(std::uintptr_t RootKey) = 0;
  virtual bool OpenKey(std::string_view Path, bool CanCreate) = 0;
  virtual bool OpenKeyReadOnly(std::string_view Path) = 0;
  virtual void CloseKey() = 0;
  // The open key's path from the root, without a leading "\".
  virtual std::string CurrentPath() const = 0;
  virtual bool ValueExists(std::string_view Name) const = 0;
  // Raise when the value is missing or of the other kind.
  virtual int ReadInteger(std::string_view Name) const = 0;
  virtual std::string ReadString(std::string_view Name) const = 0;
  virtual void WriteInteger(std::string_view Name, int Value) = 0;
};

// The registry of a system that has none: no key can be opened.
class TOndNoRegistry : public TOndRegistry {
 public:
  void SetRootKey(std::uintptr_t) override {}
  bool OpenKey(std::string_view, bool) override { return false; }
  bool OpenKeyReadOnly(std::string_view) override { return false; }
  void CloseKey() override {}
  std::string CurrentPath() const override { return {}; }
  bool ValueExists(std::string_view) const override { return false; }
  int ReadInteger(std::string_view Name) const override;
  std::string ReadString(std::string_view Name) const override;
  void WriteInteger(std::string_view, int) override {}
};

// An ini file held in memory: sections of "name=value" lines. Section and
// value names compare without regard to ASCII case.
class TOndMemIniFile {
 public:
  TOndMemIniFile() = default;
  // Reads FileName when it exists (a missing file is an empty ini).
  explicit TOndMemIniFile(std::string FileName);
  void SetText(std::string_view Text);
  std::string GetText() const;
  // Writes the text back to the file it was read from.
  void UpdateFile() const;

  std::vector<std::string> ReadSection(std::string_view Section) const;
  bool ValueExists(std::string_view Section, std::string_view Name) const;
  std::string ReadString(std::string_view Section, std::string_view Name, std::string_view Default) const;
  int ReadInteger(std::string_view Section, std::string_view Name, int Default) const;
  void WriteInteger(std::string_view Section, std::string_view Name, int Value);

 private:
  struct TSection {
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Values;
  };
  const TSection* FindSection(std::string_view Section) const noexcept;
  std::string FFileName;
  std::vector<TSection> FSections;
};

// One attribute in the sub-key (or section) named after it: "Background",
// "Foreground" and "Style" as integers.
bool LoadAttributeFromRegistry(TOndHighlighterAttributes& Attr, TOndRegistry& Registry);
bool SaveAttributeToRegistry(const TOndHighlighterAttributes& Attr, TOndRegistry& Registry);
bool LoadAttributeFromIniFile(TOndHighlighterAttributes& Attr, const TOndMemIniFile& IniFile);
bool SaveAttributeToIniFile(const TOndHighlighterAttributes& Attr, TOndMemIniFile& IniFile);

// Every attribute of a highlighter; true only when each one succeeded (all
// are visited regardless).
bool LoadHighlighterFromRegistry(TOndCustomHighlighter& Highlighter, TOndRegistry& Registry,
                                 std::uintptr_t RootKey, std::string_view Key);
bool SaveHighlighterToRegistry(const TOndCustomHighlighter& Highlighter, TOndRegistry& Registry,
                               std::uintptr_t RootKey, std::string_view Key);
bool LoadHighlighterFromIniFile(TOndCustomHighlighter& Highlighter, const TOndMemIniFile& IniFile);
bool SaveHighlighterToIniFile(const TOndCustomHighlighter& Highlighter, TOndMemIniFile& IniFile);

// Colour settings in a foreign editor's layout: with Compact, the value
// ValueName of Key is a comma-separated list of seven fields; else the key
// Key\ValueName holds one value per colour and flag. Colour indexes go
// through a 16-colour table. Any error, a missing value, a short list or an
// index outside the table gives false and leaves the attribute as it was.
bool ImportColorSettings(TOndHighlighterAttributes& Attr, TOndRegistry& Registry, std::uintptr_t RootKey,
                         std::string_view Key, std::string_view ValueName, bool Compact);

}  // namespace ond
