// The Wine hive reader on arbitrary bytes: it must end without fault, and
// the one-question lookup must agree with the full reading for every value
// the full reading found.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/core/WineRegistry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ond::TWineHive hive = ond::TWineHive::Parse(text);
  int checked = 0;
  hive.ForEach([&](const std::u16string& key, const std::u16string& name, const ond::TRegValue& value) {
    (void)value.AsString();
    if (checked++ >= 8) return;
    const auto one = ond::FindHiveValue(text, key, name);
    if (!one || !(*one == value)) std::abort();
  });
  return 0;
}
