// The settings loader on arbitrary file bytes: whatever it accepts applies
// without harm, and what is then saved reads back to the same settings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "services/USettings.h"
#include "services/USystem.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace ond;
  if (size > 1 << 16) return 0;
  const TSettingsVariables saved = Settings;
  Settings = TSettingsVariables{};
  // With no window the values go straight into the variables.
  TOndrelSettings settings("");
  const IJsonObject tree = TOndrelSettings::ParseSettings(
      std::string_view(reinterpret_cast<const char*>(data), size));
  settings.ApplySettings(tree);
  const IJsonObject built = TOndrelSettings::BuildSettingsJson();
  const std::u16string text = built->AsJsonText(true, true);
  std::string bytes(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] >= 0x80) __builtin_trap();  // the file is plain ASCII
    bytes[i] = static_cast<char>(text[i]);
  }
  // What we write we read back to the same variables.
  const IJsonObject back = TOndrelSettings::ParseSettings(bytes);
  if (!back) __builtin_trap();
  Settings = TSettingsVariables{};
  settings.ApplySettings(back);
  if (TOndrelSettings::BuildSettingsJson()->AsJsonText(true, true) != text) __builtin_trap();
  Settings = saved;
  return 0;
}
