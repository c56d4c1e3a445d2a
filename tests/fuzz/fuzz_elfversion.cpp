// The reader of a library's version note on arbitrary bytes: it must end
// without fault and without reading outside the input (the memory source
// refuses such reads; the sanitizers watch the rest), and a version it finds
// must come from a file that at least starts like an ELF file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/core/ElfVersion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto version = ond::ReadElfFileVersion(bytes);
  if (version && !bytes.starts_with("\x7F" "ELF")) std::abort();
  return 0;
}
