// Builds small Windows executables in memory for the tests of the file
// version reader: headers, a section table, a resource section with a
// version resource, laid out as a linker lays them out. The offsets of the
// parts are given back so that tests can spoil exactly one of them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ond::test {

struct TPeLayout {
  bool Pe32Plus = false;
  std::uint16_t Version[4] = {1, 10, 0, 4};
  bool WithVersion = true;   // false: only an icon resource
  bool WithIcon = true;      // an icon resource before the version
  std::uint32_t ResourceRva = 0x3000;
};

struct TPeFile {
  std::string Bytes;
  std::size_t PeHeader = 0;       // "PE\0\0"
  std::size_t OptionalHeader = 0;
  std::size_t ResourceDirEntry = 0;  // the resource entry of the data directories
  std::size_t SectionTable = 0;
  std::size_t ResourceSection = 0;   // file offset of the resource section
  std::size_t VersionDataEntry = 0;  // the leaf that points at the version block
  std::size_t VersionBlock = 0;
  std::size_t FixedInfo = 0;
  std::size_t VersionBlockEnd = 0;
};

namespace pe_detail {

inline void Put16(std::string& b, std::size_t at, std::uint32_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
inline void Put32(std::string& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}
inline std::size_t Align(std::size_t v, std::size_t a) { return (v + a - 1) / a * a; }

}  // namespace pe_detail

inline TPeFile BuildPe(const TPeLayout& layout = {}) {
  using namespace pe_detail;
  constexpr std::size_t FileAlignment = 0x200;
  TPeFile f;
  std::string& b = f.Bytes;
  b.assign(0x200, '\0');
  b[0] = 'M';
  b[1] = 'Z';
  f.PeHeader = 0x80;
  Put32(b, 0x3C, static_cast<std::uint32_t>(f.PeHeader));
  Put32(b, f.PeHeader, 0x00004550);
  const std::size_t coff = f.PeHeader + 4;
  const std::uint32_t optionalSize = layout.Pe32Plus ? 240 : 224;
  Put16(b, coff, layout.Pe32Plus ? 0x8664 : 0x14C);
  Put16(b, coff + 2, 2);  // sections
  Put16(b, coff + 16, optionalSize);
  Put16(b, coff + 18, 0x0102);
  f.OptionalHeader = coff + 20;
  Put16(b, f.OptionalHeader, layout.Pe32Plus ? 0x20B : 0x10B);
  Put32(b, f.OptionalHeader + (layout.Pe32Plus ? 108 : 92), 16);
  f.ResourceDirEntry = f.OptionalHeader + (layout.Pe32Plus ? 112 : 96) + 16;
  f.SectionTable = f.OptionalHeader + optionalSize;

  // The resource section: directories, leaves, then the version block.
  std::string r;
  const int types = (layout.WithIcon ? 1 : 0) + (layout.WithVersion ? 1 : 0);
  const auto directory = [&](std::size_t at, int entries) {
    if (r.size() < at + 16 + 8 * static_cast<std::size_t>(entries)) r.resize(at + 16 + 8 * entries);
    Put16(r, at + 14, static_cast<std::uint32_t>(entries));
  };
  const auto entry = [&](std::size_t dir, int index, std::uint32_t id, std::uint32_t data) {
    Put32(r, dir + 16 + 8 * static_cast<std::size_t>(index), id);
    Put32(r, dir + 16 + 8 * static_cast<std::size_t>(index) + 4, data);
  };
  directory(0, types);
  std::size_t next = 16 + 8 * static_cast<std::size_t>(types);
  std::size_t versionLeaf = 0;
  std::size_t blockAt = 0;
  int index = 0;
  for (const std::uint32_t type : {3u, 16u}) {
    if ((type == 3 && !layout.WithIcon) || (type == 16 && !layout.WithVersion)) continue;
    // The root lists types; a type's directory lists names; a name's, languages.
    const std::size_t nameDir = next, langDir = next + 24, leaf = next + 48;
    entry(0, index++, type, 0x80000000u | static_cast<std::uint32_t>(nameDir));
    directory(nameDir, 1);
    entry(nameDir, 0, 1, 0x80000000u | static_cast<std::uint32_t>(langDir));
    directory(langDir, 1);
    entry(langDir, 0, 0x409, static_cast<std::uint32_t>(leaf));
    r.resize(leaf + 16);
    next = leaf + 16;
    if (type == 16) versionLeaf = leaf;
    else Put32(r, leaf + 4, 0);  // an empty icon
  }
  if (layout.WithVersion) {
    blockAt = Align(next, 4);
    constexpr std::u16string_view key = u"VS_VERSION_INFO";
    r.resize(blockAt + 92);
    Put16(r, blockAt, 92);
    Put16(r, blockAt + 2, 52);
    for (std::size_t k = 0; k < key.size(); ++k) Put16(r, blockAt + 6 + 2 * k, key[k]);
    const std::size_t fixed = blockAt + 40;
    Put32(r, fixed, 0xFEEF04BD);
    Put32(r, fixed + 4, 0x00010000);
    Put32(r, fixed + 8, std::uint32_t{layout.Version[0]} << 16 | layout.Version[1]);
    Put32(r, fixed + 12, std::uint32_t{layout.Version[2]} << 16 | layout.Version[3]);
    Put32(r, fixed + 16, std::uint32_t{layout.Version[0]} << 16 | layout.Version[1]);
    Put32(r, fixed + 20, std::uint32_t{layout.Version[2]} << 16 | layout.Version[3]);
    Put32(r, versionLeaf, layout.ResourceRva + static_cast<std::uint32_t>(blockAt));
    Put32(r, versionLeaf + 4, 92);
  }
  const std::size_t resourceSize = r.size();
  r.resize(Align(r.size(), FileAlignment));

  // A code section first, so the resource section's offset differs from its address.
  f.ResourceSection = 0x400;
  const auto section = [&](int i, const char* name, std::uint32_t rva, std::size_t virtualSize, std::size_t rawSize,
                           std::size_t raw) {
    const std::size_t s = f.SectionTable + 40 * static_cast<std::size_t>(i);
    for (int k = 0; name[k]; ++k) b[s + k] = name[k];
    Put32(b, s + 8, static_cast<std::uint32_t>(virtualSize));
    Put32(b, s + 12, rva);
    Put32(b, s + 16, static_cast<std::uint32_t>(rawSize));
    Put32(b, s + 20, static_cast<std::uint32_t>(raw));
  };
  section(0, ".text", 0x1000, 0x10, FileAlignment, 0x200);
  section(1, ".rsrc", layout.ResourceRva, resourceSize, r.size(), f.ResourceSection);
  Put32(b, f.ResourceDirEntry, layout.ResourceRva);
  Put32(b, f.ResourceDirEntry + 4, static_cast<std::uint32_t>(resourceSize));
  b.resize(f.ResourceSection);
  b[0x200] = '\xC3';  // ret
  b += r;
  f.VersionDataEntry = f.ResourceSection + versionLeaf;
  f.VersionBlock = f.ResourceSection + blockAt;
  f.FixedInfo = f.VersionBlock + 40;
  f.VersionBlockEnd = f.VersionBlock + 92;
  return f;
}

}  // namespace ond::test
