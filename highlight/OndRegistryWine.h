// A foreign Windows editor's registry as it lives in a Wine prefix, seen
// through the program's registry interface, so that colour settings kept
// there can be imported (ImportColorSettings). The prefix is only read:
// opening a key never creates it and writing fails.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "highlight/OndHighlighterSettings.h"
#include "platform/core/WineRegistry.h"

namespace ond {

class TOndWineRegistry : public TOndRegistry {
 public:
  // The prefix folder (WinePrefixFolder() for the one in use); its hives are
  // read when a root key is chosen.
  explicit TOndWineRegistry(std::string Prefix);

  void SetRootKey(std::uintptr_t RootKey) override;
  bool OpenKey(std::string_view Path, bool CanCreate) override;
  bool OpenKeyReadOnly(std::string_view Path) override;
  void CloseKey() override { FCurrent.reset(); }
  std::string CurrentPath() const override { return FCurrent.value_or(std::string()); }
  bool ValueExists(std::string_view Name) const override;
  // A DWORD value; a string value that holds a number reads as that number.
  int ReadInteger(std::string_view Name) const override;
  // A string value, in code page 1251.
  std::string ReadString(std::string_view Name) const override;
  void WriteInteger(std::string_view Name, int Value) override;

 private:
  const TRegValue* Find(std::string_view Name) const;
  // The hive holding Key under the root, or null.
  const TWineHive* HiveOf(std::u16string_view Key) const;

  std::string FPrefix;
  std::optional<THiveRoot> FRoot;
  TWineHive FUser, FSystem;
  std::optional<std::string> FCurrent;  // path below the root, no leading "\"
};

}  // namespace ond
