// The file version reader on arbitrary bytes: it must end without fault and
// without reading outside the input (the memory source refuses such reads;
// the sanitizers watch the rest), and a version it finds must come from a
// file that at least starts like a Windows executable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/core/PeVersion.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto version = ond::ReadPeFileVersion(bytes);
  if (version && !bytes.starts_with("MZ")) std::abort();
  return 0;
}
