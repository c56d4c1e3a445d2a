// A read-only reader of the registry that Wine keeps for a prefix as text
// hives: system.reg is HKEY_LOCAL_MACHINE, user.reg is HKEY_CURRENT_USER, and
// HKEY_CLASSES_ROOT is the classes of the user laid over those of the machine.
// A game installed under Wine registers itself there exactly as on Windows,
// so this is where the program finds it.
//
// The reader never writes and never throws on what it reads: a missing file,
// a wrong header or a malformed line only means fewer values. Values keep
// their registry type and bytes; strings are UTF-16, as Windows stores them.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ond {

// Registry value types by their Windows numbers.
constexpr std::uint32_t REG_NONE = 0;
constexpr std::uint32_t REG_SZ = 1;
constexpr std::uint32_t REG_EXPAND_SZ = 2;
constexpr std::uint32_t REG_BINARY = 3;
constexpr std::uint32_t REG_DWORD = 4;
constexpr std::uint32_t REG_MULTI_SZ = 7;

// The first line of every hive this reader accepts.
constexpr std::string_view WineHiveHeader = "WINE REGISTRY Version 2";

struct TRegValue {
  std::uint32_t Type = REG_NONE;
  std::vector<std::uint8_t> Data;  // as the registry stores it (strings UTF-16LE)

  // The text of a string value (REG_SZ or REG_EXPAND_SZ, in any of the
  // hive's notations) up to its first NUL; nothing for other types.
  std::optional<std::u16string> AsString() const;
  bool operator==(const TRegValue&) const = default;
};

// One hive file's keys and values. Key paths are relative to the hive's root
// ("Software\\Classes\\.wotreplay"); keys and value names compare without
// regard to letter case; the default value has the empty name.
class TWineHive {
 public:
  // Reads a hive's text. A text without the header line gives an empty hive.
  static TWineHive Parse(std::string_view text);
  // Reads a hive file; a missing or unreadable file gives an empty hive.
  static TWineHive Load(const std::string& fileName);

  const TRegValue* Find(std::u16string_view key, std::u16string_view name) const;
  bool HasKey(std::u16string_view key) const;
  std::size_t KeyCount() const { return FKeys.size(); }

  // Every value in key order (folded names), for checks that walk the whole hive.
  template <class F>
  void ForEach(F&& visit) const {
    for (const auto& [key, values] : FKeys)
      for (const auto& [name, value] : values) visit(key, name, value);
  }

 private:
  // Folded key path -> folded value name -> value.
  std::map<std::u16string, std::map<std::u16string, TRegValue>> FKeys;
};

// The case-folded form under which keys and value names are compared.
std::u16string FoldRegistryName(std::u16string_view name);

// A value looked up in one hive's text without keeping the others: the same
// answer as Parse(text).Find(key, name), for a single question. *keyFound,
// when given, tells whether the key itself is there.
std::optional<TRegValue> FindHiveValue(std::string_view text, std::u16string_view key,
                                       std::u16string_view name, bool* keyFound = nullptr);

enum class THiveRoot { HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE };

// The registry of one Wine prefix, read from its hive files at each question.
class TWineRegistry {
 public:
  explicit TWineRegistry(std::string prefix) : FPrefix(std::move(prefix)) {}
  const std::string& Prefix() const { return FPrefix; }

  std::optional<TRegValue> ReadValue(THiveRoot root, std::u16string_view key, std::u16string_view name) const;
  // A string value; nothing when the value is absent or not a string.
  std::optional<std::u16string> ReadString(THiveRoot root, std::u16string_view key,
                                           std::u16string_view name) const;

 private:
  std::string FPrefix;
};

}  // namespace ond
