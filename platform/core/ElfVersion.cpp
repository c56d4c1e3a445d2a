#include "platform/core/ElfVersion.h"

#include <elf.h>

#include <cstring>
#include <type_traits>

#include "platform/core/ByteSources.h"

namespace ond {

namespace {

using TEhdr = std::conditional_t<sizeof(void*) == 8, Elf64_Ehdr, Elf32_Ehdr>;
using TShdr = std::conditional_t<sizeof(void*) == 8, Elf64_Shdr, Elf32_Shdr>;
constexpr unsigned char NativeClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
constexpr unsigned char NativeData = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;
// More sections than a linker ever writes for the program; a hostile count stops here.
constexpr std::uint64_t MaxSections = 1u << 16;
// A version text is a few characters; a note section is never large.
constexpr std::uint64_t MaxNoteSection = 1u << 16;

std::uint64_t Align4(std::uint64_t v) { return (v + 3) & ~std::uint64_t{3}; }

// The version notes of one note section's bytes.
std::optional<TFileVersion> VersionInNotes(std::string_view notes) {
  std::uint64_t at = 0;
  while (notes.size() - at >= 12) {
    std::uint32_t head[3];
    std::memcpy(head, notes.data() + at, sizeof head);
    const std::uint64_t nameAt = at + 12;
    const std::uint64_t descAt = nameAt + Align4(head[0]);
    const std::uint64_t next = descAt + Align4(head[1]);
    if (Align4(head[0]) > notes.size() || Align4(head[1]) > notes.size() || next > notes.size()) return std::nullopt;
    const std::string_view name = notes.substr(nameAt, head[0]);
    std::uint16_t parts[4];
    if (head[2] == VersionNoteType && head[1] == sizeof parts &&
        name == std::string_view(VersionNoteName, std::strlen(VersionNoteName) + 1)) {
      std::memcpy(parts, notes.data() + descAt, sizeof parts);
      return TFileVersion{parts[0], parts[1], parts[2], parts[3]};
    }
    at = next;
  }
  return std::nullopt;
}

}  // namespace

std::optional<TFileVersion> ParseVersionText(std::string_view text) {
  TFileVersion v;
  std::uint16_t* parts[] = {&v.Major, &v.Minor, &v.Release, &v.Build};
  for (std::size_t i = 0; i < 4; ++i) {
    const std::size_t dot = i < 3 ? text.find('.') : text.size();
    if (dot == std::string_view::npos || dot == 0 || dot > 5) return std::nullopt;
    std::uint32_t n = 0;
    for (const char c : text.substr(0, dot)) {
      if (c < '0' || c > '9') return std::nullopt;
      n = n * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (n > 0xFFFF) return std::nullopt;
    *parts[i] = static_cast<std::uint16_t>(n);
    text.remove_prefix(i < 3 ? dot + 1 : dot);
  }
  return v;
}

std::optional<TFileVersion> ReadElfFileVersion(const TByteSource& bytes) {
  TEhdr h;
  if (!bytes.Read(0, &h, sizeof h)) return std::nullopt;
  if (std::memcmp(h.e_ident, ELFMAG, SELFMAG) != 0 || h.e_ident[EI_CLASS] != NativeClass ||
      h.e_ident[EI_DATA] != NativeData || h.e_shentsize != sizeof(TShdr))
    return std::nullopt;
  const std::uint64_t count = h.e_shnum;
  if (count == 0 || count > MaxSections || h.e_shoff > bytes.Size()) return std::nullopt;
  for (std::uint64_t i = 0; i < count; ++i) {
    TShdr s;
    if (!bytes.Read(h.e_shoff + i * sizeof s, &s, sizeof s)) return std::nullopt;
    if (s.sh_type != SHT_NOTE || s.sh_size > MaxNoteSection) continue;
    std::string notes(static_cast<std::size_t>(s.sh_size), '\0');
    if (!bytes.Read(s.sh_offset, notes.data(), notes.size())) continue;
    if (const auto v = VersionInNotes(notes)) return v;
  }
  return std::nullopt;
}

std::optional<TFileVersion> ReadElfFileVersion(std::string_view bytes) {
  return ReadElfFileVersion(TMemorySource(bytes));
}

std::optional<TFileVersion> ReadElfFileVersionOfFile(const std::string& fileName) {
  const TFileSource file(fileName);
  if (!file.IsOpen()) return std::nullopt;
  return ReadElfFileVersion(file);
}

}  // namespace ond
