// The program's own registry: a small tree of keys with integer and string
// values, kept as text in one file of the user's configuration folder. It
// serves where the highlighter keeps its attributes "in the registry"
// (LoadFromRegistry / SaveToRegistry): the layout of keys, sub-keys and
// values is the one a Windows registry would hold, so a key written here
// reads back the same way. Keys and value names compare without regard to
// letter case, as a registry's do, and keep the spelling they were made with.
//
// The file holds one section per key, "[ROOT\path]", then one line per value,
// "name"=dword:8 hexadecimal digits or "name"="text" (with \\, \" and \n as
// escapes). A key path holding a line break is quoted the same way in its
// section, "["ROOT\\path"]". Lines that do not read are skipped: a damaged
// file costs values, never the program.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "highlight/OndHighlighterSettings.h"

namespace ond {

// $XDG_CONFIG_HOME/ondrel/registry.ondrel, or ~/.config/ondrel/ when the
// variable is not set to an absolute path; empty when neither is known.
std::string DefaultRegistryFileName();

class TOndFileRegistry : public TOndRegistry {
 public:
  // Reads FileName when it exists; a missing file is an empty registry.
  explicit TOndFileRegistry(std::string FileName);

  void SetRootKey(std::uintptr_t RootKey) override;
  bool OpenKey(std::string_view Path, bool CanCreate) override;
  bool OpenKeyReadOnly(std::string_view Path) override;
  void CloseKey() override;
  std::string CurrentPath() const override;
  bool ValueExists(std::string_view Name) const override;
  int ReadInteger(std::string_view Name) const override;
  std::string ReadString(std::string_view Name) const override;
  void WriteInteger(std::string_view Name, int Value) override;
  void WriteString(std::string_view Name, std::string_view Value);
  bool KeyExists(std::string_view Path) const;

  // The whole registry as the file holds it, and back.
  std::string GetText() const;
  void SetText(std::string_view Text);
  // Writes the file when something changed since it was read or written:
  // "" on success, else the reason. The folder is made when missing, and the
  // old file stays whole until the new one replaces it.
  std::string UpdateFile();

 private:
  using TValue = std::variant<int, std::string>;
  struct TKey {
    std::string Path;  // from the root's name on, as first spelt
    // Folded name -> (name as spelt, value), in the order of the names.
    std::map<std::string, std::pair<std::string, TValue>> Values;
  };
  // The full path ("ROOT\a\b") of Path, from the open key or the root; none
  // for an unknown root or a path with an empty part.
  std::optional<std::string> Resolve(std::string_view Path) const;
  TKey* Find(std::string_view FullPath);
  const TKey* Find(std::string_view FullPath) const;
  const TKey* Current() const;
  TKey& Create(const std::string& FullPath);

  std::string FFileName;
  std::string FRootName;  // empty for a root key this registry does not know
  std::optional<std::string> FCurrent;  // full path of the open key
  std::map<std::string, TKey> FKeys;  // by folded full path
  bool FModified = false;
};

}  // namespace ond
