#include "platform/core/PeVersion.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "platform/core/ByteSources.h"

namespace ond {

namespace {

constexpr std::uint16_t DosSignature = 0x5A4D;        // "MZ"
constexpr std::uint32_t PeSignature = 0x00004550;     // "PE\0\0"
constexpr std::uint16_t Pe32Magic = 0x10B;
constexpr std::uint16_t Pe32PlusMagic = 0x20B;
constexpr std::uint32_t ResourceDirectoryIndex = 2;
constexpr std::uint32_t SubdirectoryFlag = 0x80000000;
constexpr std::uint32_t FixedFileInfoSize = 52;
constexpr std::u16string_view VersionInfoKey = u"VS_VERSION_INFO";
// Windows loads no image with more sections than this; a hostile count stops here.
constexpr std::uint16_t MaxSections = 96;

struct TSection {
  std::uint64_t Address = 0, Span = 0, RawPointer = 0;
};

// Little-endian reads at file offsets and, through the section table, at
// relative virtual addresses of the loaded image.
class TPeImage {
 public:
  explicit TPeImage(const TByteSource& src) : FSrc(src) {}

  bool U16(std::uint64_t offset, std::uint16_t& v) const {
    std::uint8_t b[2];
    if (!FSrc.Read(offset, b, 2)) return false;
    v = static_cast<std::uint16_t>(b[0] | b[1] << 8);
    return true;
  }
  bool U32(std::uint64_t offset, std::uint32_t& v) const {
    std::uint8_t b[4];
    if (!FSrc.Read(offset, b, 4)) return false;
    v = static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
        static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    return true;
  }

  bool ReadHeaders() {
    std::uint16_t mz = 0, sections = 0, optionalSize = 0, magic = 0;
    std::uint32_t peOffset = 0, pe = 0, dirCount = 0;
    if (!U16(0, mz) || mz != DosSignature || !U32(0x3C, peOffset)) return false;
    if (!U32(peOffset, pe) || pe != PeSignature) return false;
    const std::uint64_t coff = std::uint64_t{peOffset} + 4;
    if (!U16(coff + 2, sections) || !U16(coff + 16, optionalSize)) return false;
    const std::uint64_t optional = coff + 20;
    if (!U16(optional, magic)) return false;
    std::uint32_t countAt = 0, dirsAt = 0;
    if (magic == Pe32Magic) countAt = 92, dirsAt = 96;
    else if (magic == Pe32PlusMagic) countAt = 108, dirsAt = 112;
    else return false;
    const std::uint32_t resourceAt = dirsAt + 8 * ResourceDirectoryIndex;
    if (resourceAt + 8 > optionalSize || !U32(optional + countAt, dirCount) || dirCount <= ResourceDirectoryIndex)
      return false;
    std::uint32_t resourceRva = 0;
    if (!U32(optional + resourceAt, resourceRva) || resourceRva == 0) return false;
    FResourceRva = resourceRva;
    if (sections > MaxSections) return false;
    const std::uint64_t table = optional + optionalSize;
    for (std::uint32_t i = 0; i < sections; ++i) {
      const std::uint64_t s = table + 40ull * i;
      std::uint32_t virtualSize = 0, address = 0, rawSize = 0, rawPointer = 0;
      if (!U32(s + 8, virtualSize) || !U32(s + 12, address) || !U32(s + 16, rawSize) || !U32(s + 20, rawPointer))
        return false;
      // Bytes past the virtual size are not part of the loaded section.
      const std::uint32_t span = virtualSize != 0 && virtualSize < rawSize ? virtualSize : rawSize;
      FSections.push_back({address, span, rawPointer});
    }
    return true;
  }

  // The file offset of n bytes at a relative virtual address, when a
  // section holds all of them in the file.
  bool RvaToOffset(std::uint64_t rva, std::uint64_t n, std::uint64_t& offset) const {
    for (const TSection& s : FSections) {
      if (rva < s.Address || rva - s.Address > s.Span || n > s.Span - (rva - s.Address)) continue;
      offset = s.RawPointer + (rva - s.Address);
      return offset <= FSrc.Size() && n <= FSrc.Size() - offset;
    }
    return false;
  }
  bool RvaU16(std::uint64_t rva, std::uint16_t& v) const {
    std::uint64_t o = 0;
    return RvaToOffset(rva, 2, o) && U16(o, v);
  }
  bool RvaU32(std::uint64_t rva, std::uint64_t& v) const {
    std::uint64_t o = 0;
    std::uint32_t w = 0;
    if (!RvaToOffset(rva, 4, o) || !U32(o, w)) return false;
    v = w;
    return true;
  }

  // The data field of a directory entry: the one with identifier `id`, or
  // the first entry when id is empty. Named entries come before the others.
  bool FindEntry(std::uint64_t directory, std::optional<std::uint32_t> id, std::uint64_t& data) const {
    std::uint16_t named = 0, ids = 0;
    if (!RvaU16(directory + 12, named) || !RvaU16(directory + 14, ids)) return false;
    const std::uint32_t first = id ? named : 0;
    const std::uint32_t end = std::uint32_t{named} + ids;
    // The directory's whole entry table must lie in the file.
    std::uint64_t tableOffset = 0;
    if (!RvaToOffset(directory, 16 + 8ull * end, tableOffset)) return false;
    for (std::uint32_t i = first; i < end; ++i) {
      const std::uint64_t entry = directory + 16 + 8ull * i;
      std::uint64_t name = 0;
      if (!RvaU32(entry, name)) return false;
      if (id && name != *id) continue;
      return RvaU32(entry + 4, data);
    }
    return false;
  }

  // Follows type, name and language down to the data of the version resource.
  bool FindVersionData(std::uint64_t& rva, std::uint64_t& size) const {
    std::uint64_t directory = FResourceRva, data = 0;
    const std::optional<std::uint32_t> wanted[] = {RT_VERSION, std::nullopt, std::nullopt};
    for (int level = 0; level < 3; ++level) {
      if (!FindEntry(directory, wanted[level], data)) return false;
      const bool subdirectory = (data & SubdirectoryFlag) != 0;
      if (subdirectory != (level < 2)) return false;
      directory = FResourceRva + (data & ~std::uint64_t{SubdirectoryFlag});
    }
    // The whole block must lie in the file, whatever part of it is read.
    std::uint64_t offset = 0;
    return RvaU32(directory, rva) && RvaU32(directory + 4, size) && RvaToOffset(rva, size, offset);
  }

  std::optional<TFileVersion> ReadVersionBlock(std::uint64_t rva, std::uint64_t size) const {
    std::uint16_t length = 0, valueLength = 0;
    if (!RvaU16(rva, length) || !RvaU16(rva + 2, valueLength)) return std::nullopt;
    const std::uint64_t block = length < size ? length : size;
    std::uint64_t at = 6;
    for (const char16_t want : VersionInfoKey) {
      std::uint16_t c = 0;
      if (at + 2 > block || !RvaU16(rva + at, c) || c != want) return std::nullopt;
      at += 2;
    }
    std::uint16_t nul = 1;
    if (at + 2 > block || !RvaU16(rva + at, nul) || nul != 0) return std::nullopt;
    at = (at + 2 + 3) & ~std::uint64_t{3};
    if (valueLength < FixedFileInfoSize || at + FixedFileInfoSize > block) return std::nullopt;
    std::uint64_t signature = 0, ms = 0, ls = 0;
    if (!RvaU32(rva + at, signature) || signature != VS_FFI_SIGNATURE) return std::nullopt;
    if (!RvaU32(rva + at + 8, ms) || !RvaU32(rva + at + 12, ls)) return std::nullopt;
    return TFileVersion{static_cast<std::uint16_t>(ms >> 16), static_cast<std::uint16_t>(ms & 0xFFFF),
                        static_cast<std::uint16_t>(ls >> 16), static_cast<std::uint16_t>(ls & 0xFFFF)};
  }

 private:
  const TByteSource& FSrc;
  std::uint64_t FResourceRva = 0;
  std::vector<TSection> FSections;
};

}  // namespace

std::optional<TFileVersion> ReadPeFileVersion(const TByteSource& bytes) {
  TPeImage image(bytes);
  std::uint64_t rva = 0, size = 0;
  if (!image.ReadHeaders() || !image.FindVersionData(rva, size)) return std::nullopt;
  return image.ReadVersionBlock(rva, size);
}

std::optional<TFileVersion> ReadPeFileVersion(std::string_view bytes) { return ReadPeFileVersion(TMemorySource(bytes)); }

std::optional<TFileVersion> ReadPeFileVersionOfFile(const std::string& fileName) {
  const TFileSource file(fileName);
  if (!file.IsOpen()) return std::nullopt;
  return ReadPeFileVersion(file);
}

}  // namespace ond
