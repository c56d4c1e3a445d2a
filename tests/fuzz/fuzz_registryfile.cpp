// The program's registry file on arbitrary bytes: reading must end without
// fault, and what it kept must write out as a text that reads back the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "highlight/OndRegistryFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ond::TOndFileRegistry r("");
  r.SetText(text);
  const std::string written = r.GetText();
  ond::TOndFileRegistry back("");
  back.SetText(written);
  if (back.GetText() != written) std::abort();
  return 0;
}
