#include "highlight/OndRegistryWine.h"

#include "platform/core/Classes.h"
#include "platform/core/CodePage.h"
#include "platform/core/SysUtils.h"

namespace ond {

namespace {

constexpr std::u16string_view kClasses = u"Software\\Classes";

std::u16string Below(std::u16string_view Parent, std::u16string_view Key) {
  std::u16string s(Parent);
  if (!Key.empty()) {
    s += u'\\';
    s += Key;
  }
  return s;
}

}  // namespace

TOndWineRegistry::TOndWineRegistry(std::string Prefix) : FPrefix(std::move(Prefix)) {}

void TOndWineRegistry::SetRootKey(std::uintptr_t RootKey) {
  FCurrent.reset();
  switch (RootKey) {
    case HKEY_CLASSES_ROOT: FRoot = THiveRoot::HKEY_CLASSES_ROOT; break;
    case HKEY_CURRENT_USER: FRoot = THiveRoot::HKEY_CURRENT_USER; break;
    case HKEY_LOCAL_MACHINE: FRoot = THiveRoot::HKEY_LOCAL_MACHINE; break;
    default: FRoot.reset(); return;
  }
  // Read once per root chosen: an import asks a handful of questions.
  if (*FRoot != THiveRoot::HKEY_LOCAL_MACHINE) FUser = TWineHive::Load(FPrefix + "/user.reg");
  if (*FRoot != THiveRoot::HKEY_CURRENT_USER) FSystem = TWineHive::Load(FPrefix + "/system.reg");
}

const TWineHive* TOndWineRegistry::HiveOf(std::u16string_view Key) const {
  if (!FRoot) return nullptr;
  switch (*FRoot) {
    case THiveRoot::HKEY_CURRENT_USER: return FUser.HasKey(Key) || Key.empty() ? &FUser : nullptr;
    case THiveRoot::HKEY_LOCAL_MACHINE: return FSystem.HasKey(Key) || Key.empty() ? &FSystem : nullptr;
    case THiveRoot::HKEY_CLASSES_ROOT: {
      // As on Windows, a class key of the user hides the machine's whole key.
      const std::u16string classes = Below(kClasses, Key);
      if (FUser.HasKey(classes)) return &FUser;
      if (FSystem.HasKey(classes) || Key.empty()) return &FSystem;
      return nullptr;
    }
  }
  return nullptr;
}

bool TOndWineRegistry::OpenKey(std::string_view Path, bool) { return OpenKeyReadOnly(Path); }

bool TOndWineRegistry::OpenKeyReadOnly(std::string_view Path) {
  if (!FRoot) return false;
  std::string full = Path.starts_with('\\') || !FCurrent ? std::string() : *FCurrent;
  if (Path.starts_with('\\')) Path.remove_prefix(1);
  while (Path.ends_with('\\')) Path.remove_suffix(1);
  if (!Path.empty()) full += (full.empty() ? "" : "\\") + std::string(Path);
  if (full.find("\\\\") != std::string::npos) return false;
  if (!HiveOf(AnsiToUtf16(full))) return false;
  FCurrent = full;
  return true;
}

const TRegValue* TOndWineRegistry::Find(std::string_view Name) const {
  if (!FCurrent) return nullptr;
  const std::u16string key = AnsiToUtf16(*FCurrent);
  const TWineHive* hive = HiveOf(key);
  if (!hive) return nullptr;
  const std::u16string path = FRoot == THiveRoot::HKEY_CLASSES_ROOT ? Below(kClasses, key) : key;
  return hive->Find(path, AnsiToUtf16(Name));
}

bool TOndWineRegistry::ValueExists(std::string_view Name) const { return Find(Name) != nullptr; }

int TOndWineRegistry::ReadInteger(std::string_view Name) const {
  if (const TRegValue* v = Find(Name)) {
    if (v->Type == REG_DWORD && v->Data.size() == 4)
      return static_cast<int>(static_cast<std::uint32_t>(v->Data[0]) | static_cast<std::uint32_t>(v->Data[1]) << 8 |
                              static_cast<std::uint32_t>(v->Data[2]) << 16 | static_cast<std::uint32_t>(v->Data[3]) << 24);
    std::int64_t n = 0;
    if (const auto s = v->AsString(); s && TryStrToInt(Utf16ToAnsi(*s), n) && n >= INT32_MIN && n <= UINT32_MAX)
      return static_cast<int>(static_cast<std::uint32_t>(n));
  }
  throw Exception("Invalid data type for '" + std::string(Name) + "'");
}

std::string TOndWineRegistry::ReadString(std::string_view Name) const {
  if (const TRegValue* v = Find(Name)) {
    if (const auto s = v->AsString()) return Utf16ToAnsi(*s);
    // The foreign editor's numbers as the text a string value would hold.
    if (v->Type == REG_DWORD && v->Data.size() == 4) return IntToStr(ReadInteger(Name));
  }
  throw Exception("Invalid data type for '" + std::string(Name) + "'");
}

void TOndWineRegistry::WriteInteger(std::string_view Name, int) {
  throw Exception("Failed to set data for '" + std::string(Name) + "'");
}

}  // namespace ond
