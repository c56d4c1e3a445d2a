// Builds small ELF files for this machine in memory, for the tests of what a
// download must be: a header, program headers (a loadable segment, an
// interpreter when asked, a note segment with the program's build mark when
// asked) and filler. The files are never run; only their shape counts. The
// offsets of the parts come back so that tests can spoil exactly one.
#pragma once

#include <elf.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/core/DownloadCheck.h"

namespace ond::test {

using TElfEhdr = std::conditional_t<sizeof(void*) == 8, Elf64_Ehdr, Elf32_Ehdr>;
using TElfPhdr = std::conditional_t<sizeof(void*) == 8, Elf64_Phdr, Elf32_Phdr>;
using TElfNhdr = std::conditional_t<sizeof(void*) == 8, Elf64_Nhdr, Elf32_Nhdr>;

struct TElfLayout {
  std::uint16_t Type = ET_DYN;
  bool Interpreter = true;  // with the position-independent type: a program
  std::optional<TFileVersion> Build;  // the build mark, when any
  std::size_t Filler = 4096;  // bytes of code after the headers
  std::uint64_t Entry = 0x1000;
};

inline TElfLayout ElfOfKind(std::uint16_t type, bool interpreter, std::optional<TFileVersion> build = std::nullopt) {
  TElfLayout layout;
  layout.Type = type;
  layout.Interpreter = interpreter;
  layout.Build = build;
  return layout;
}

struct TElfFile {
  std::string Bytes;
  std::size_t ProgramHeaders = 0;
  std::size_t Note = 0;  // the build mark's note header, 0 without one
};

inline std::uint16_t ThisElfMachine() {
  // The machine of the test program itself is the machine the checks want.
  static const std::uint16_t machine = [] {
    TElfEhdr h{};
    if (FILE* f = std::fopen("/proc/self/exe", "rb")) {
      if (std::fread(&h, sizeof h, 1, f) != 1) h.e_machine = 0;
      std::fclose(f);
    }
    return h.e_machine;
  }();
  return machine;
}

inline TElfFile BuildElf(const TElfLayout& layout = {}) {
  TElfFile out;
  std::vector<TElfPhdr> headers;
  const char interp[] = "/lib/ld-linux.so";
  std::string notes;
  if (layout.Build) {
    TElfNhdr n{};
    n.n_namesz = sizeof BuildNoteOwner;
    n.n_descsz = 8;
    n.n_type = BuildNoteType;
    notes.append(reinterpret_cast<const char*>(&n), sizeof n);
    notes.append(BuildNoteOwner, sizeof BuildNoteOwner);
    notes.resize((notes.size() + 3) / 4 * 4, '\0');
    const std::uint16_t parts[4] = {layout.Build->Major, layout.Build->Minor, layout.Build->Release,
                                    layout.Build->Build};
    notes.append(reinterpret_cast<const char*>(parts), sizeof parts);
  }
  const std::size_t count = 1 + (layout.Interpreter ? 1 : 0) + (notes.empty() ? 0 : 1);
  const std::size_t dataStart = sizeof(TElfEhdr) + count * sizeof(TElfPhdr);
  std::string data;
  const auto place = [&](const std::string& bytes) {
    const std::size_t at = dataStart + data.size();
    data += bytes;
    data.resize((data.size() + 7) / 8 * 8, '\0');
    return at;
  };
  if (layout.Interpreter) {
    TElfPhdr p{};
    p.p_type = PT_INTERP;
    p.p_offset = place(std::string(interp, sizeof interp));
    p.p_filesz = p.p_memsz = sizeof interp;
    p.p_align = 1;
    headers.push_back(p);
  }
  if (!notes.empty()) {
    TElfPhdr p{};
    p.p_type = PT_NOTE;
    p.p_offset = place(notes);
    out.Note = p.p_offset;
    p.p_filesz = p.p_memsz = notes.size();
    p.p_align = 4;
    headers.push_back(p);
  }
  std::string code(layout.Filler, '\0');
  for (std::size_t i = 0; i < code.size(); ++i) code[i] = static_cast<char>(i * 7 + 1);
  TElfPhdr load{};
  load.p_type = PT_LOAD;
  load.p_offset = 0;
  load.p_filesz = load.p_memsz = dataStart + data.size() + code.size();
  load.p_flags = PF_R | PF_X;
  load.p_align = 0x1000;
  headers.insert(headers.begin(), load);

  TElfEhdr h{};
  std::memcpy(h.e_ident, ELFMAG, SELFMAG);
  h.e_ident[EI_CLASS] = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
  h.e_ident[EI_DATA] = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? ELFDATA2LSB : ELFDATA2MSB;
  h.e_ident[EI_VERSION] = EV_CURRENT;
  h.e_type = layout.Type;
  h.e_machine = ThisElfMachine();
  h.e_version = EV_CURRENT;
  h.e_entry = layout.Entry;
  h.e_phoff = sizeof(TElfEhdr);
  h.e_ehsize = sizeof(TElfEhdr);
  h.e_phentsize = sizeof(TElfPhdr);
  h.e_phnum = static_cast<std::uint16_t>(headers.size());
  out.Bytes.append(reinterpret_cast<const char*>(&h), sizeof h);
  out.ProgramHeaders = out.Bytes.size();
  for (const TElfPhdr& p : headers) out.Bytes.append(reinterpret_cast<const char*>(&p), sizeof p);
  out.Bytes += data;
  out.Bytes += code;
  return out;
}

}  // namespace ond::test
