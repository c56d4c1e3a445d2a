// The file version of a Windows executable or library, read from the fixed
// part of its version resource (VS_FIXEDFILEINFO). The game is a Windows
// program, so its version is found this way even on this system.
//
// The reader follows the file's own offsets (MZ header, PE header, section
// table, the three levels of the resource directory, the version block) and
// checks every one of them against the file before reading, so a truncated
// or hostile file only gives "no version". PE32 and PE32+ files are read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ond {

struct TFileVersion {
  std::uint16_t Major = 0, Minor = 0, Release = 0, Build = 0;
  bool operator==(const TFileVersion&) const = default;
};

// The resource type of version information.
constexpr std::uint32_t RT_VERSION = 16;
// The signature that opens VS_FIXEDFILEINFO.
constexpr std::uint32_t VS_FFI_SIGNATURE = 0xFEEF04BD;

// Random access to the bytes of a file or of a buffer.
class TByteSource {
 public:
  virtual ~TByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads exactly n bytes at offset; false when they are not all there.
  virtual bool Read(std::uint64_t offset, void* out, std::size_t n) const = 0;
};

std::optional<TFileVersion> ReadPeFileVersion(const TByteSource& bytes);
std::optional<TFileVersion> ReadPeFileVersion(std::string_view bytes);
// Nothing for a file that cannot be opened or is not a regular file.
std::optional<TFileVersion> ReadPeFileVersionOfFile(const std::string& fileName);

}  // namespace ond
