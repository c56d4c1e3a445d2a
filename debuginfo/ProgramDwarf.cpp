#include "debuginfo/ProgramDwarf.h"

#include <cxxabi.h>
#include <dwarf.h>
#include <elfutils/libdwelf.h>
#include <fcntl.h>
#include <gelf.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "debuginfo/DebugInfo.h"

namespace ond::debuginfo {

namespace {

std::uint64_t PageSize() { return static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE)); }

std::string BuildId(Elf* elf) {
  const void* id = nullptr;
  const ssize_t n = elf ? dwelf_elf_gnu_build_id(elf, &id) : -1;
  return n > 0 ? std::string(static_cast<const char*>(id), static_cast<std::size_t>(n)) : std::string();
}

// The source-level name of a symbol: demangled, without the symbol version
// ("@@GLIBC_2.34") and without the compiler's clone marks ("[clone .cold]"),
// which name pieces of one function.
std::string Demangle(const char* name) {
  if (!name) return {};
  std::string symbol(name);
  if (const auto at = symbol.find('@'); at != std::string::npos && at > 0) symbol.erase(at);
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> out(abi::__cxa_demangle(symbol.c_str(), nullptr, nullptr, &status),
                                             std::free);
  std::string result = status == 0 && out ? std::string(out.get()) : symbol;
  if (const auto clone = result.find(" [clone "); clone != std::string::npos) result.erase(clone);
  return result;
}

const char* StringAttribute(Dwarf_Die* die, unsigned name) {
  Dwarf_Attribute attr;
  return dwarf_formstring(dwarf_attr_integrate(die, name, &attr));
}

// The function a scope stands for: its mangled name demangled when it has
// one (fully qualified, with its parameters), else its plain name.
std::string FunctionName(Dwarf_Die* die) {
  if (const char* linkage = StringAttribute(die, DW_AT_linkage_name)) return Demangle(linkage);
  if (const char* linkage = StringAttribute(die, DW_AT_MIPS_linkage_name)) return Demangle(linkage);
  const char* name = StringAttribute(die, DW_AT_name);
  return name ? std::string(name) : std::string();
}

bool UnsignedAttribute(Dwarf_Die* die, unsigned name, Dwarf_Word& value) {
  Dwarf_Attribute attr;
  return dwarf_formudata(dwarf_attr(die, name, &attr), &value) == 0;
}

// Where an inlined call was made: the file and line of the code it was
// inlined into.
void CallSite(Dwarf_Die* cu, Dwarf_Die* inlined, std::string& file, int& line) {
  Dwarf_Word fileIndex = 0;
  Dwarf_Word lineNumber = 0;
  Dwarf_Files* files = nullptr;
  std::size_t count = 0;
  if (!UnsignedAttribute(inlined, DW_AT_call_line, lineNumber) ||
      !UnsignedAttribute(inlined, DW_AT_call_file, fileIndex) || dwarf_getsrcfiles(cu, &files, &count) != 0 ||
      fileIndex >= count)
    return;
  const char* name = dwarf_filesrc(files, fileIndex, nullptr, nullptr);
  if (!name) return;
  file = name;
  line = static_cast<int>(lineNumber);
}

// The compilation unit whose code holds the address. The address table
// answers quickly where the compiler wrote one; otherwise every unit's
// ranges are asked.
bool UnitOf(Dwarf* dwarf, Dwarf_Addr address, Dwarf_Die& unit) {
  if (dwarf_addrdie(dwarf, address, &unit)) return true;
  Dwarf_CU* cu = nullptr;
  std::uint8_t unitType = 0;
  Dwarf_Die cudie;
  while (dwarf_get_units(dwarf, cu, &cu, nullptr, &unitType, &cudie, nullptr) == 0) {
    if (dwarf_haspc(&cudie, address) > 0) {
      unit = cudie;
      return true;
    }
  }
  return false;
}

}  // namespace

void TProgramDwarf::TElfFile::Close() {
  if (File) elf_end(File);
  if (Fd >= 0) ::close(Fd);
  File = nullptr;
  Fd = -1;
}

TProgramDwarf::TProgramDwarf(const std::string& programFile, const std::string& libraryFile) {
  elf_version(EV_CURRENT);
  FProgram.Fd = ::open(programFile.c_str(), O_RDONLY | O_CLOEXEC);
  if (FProgram.Fd < 0) return;
  FProgram.File = elf_begin(FProgram.Fd, ELF_C_READ_MMAP, nullptr);
  if (!FProgram.File) return;
  // Map addresses count from the program's first loaded page.
  std::size_t count = 0;
  bool first = true;
  std::uint64_t end = 0;
  if (elf_getphdrnum(FProgram.File, &count) == 0) {
    for (std::size_t i = 0; i < count; ++i) {
      GElf_Phdr ph;
      if (!gelf_getphdr(FProgram.File, static_cast<int>(i), &ph) || ph.p_type != PT_LOAD) continue;
      if (first) FBias = ph.p_vaddr & ~(PageSize() - 1);
      first = false;
      end = std::max<std::uint64_t>(end, ph.p_vaddr + ph.p_memsz);
    }
  }
  if (!first) FEnd = end - FBias;
  // The carried copy is the whole of the build's information; a program
  // file may hold only scraps of it (a library compiled with -g).
  const std::string id = BuildId(FProgram.File);
  if (!id.empty() && OpenEmbedded(libraryFile, id)) return;
  FDwarf = dwarf_begin_elf(FProgram.File, DWARF_C_READ, nullptr);
  if (FDwarf) FDwarfElf = FProgram.File;
}

bool TProgramDwarf::OpenEmbedded(const std::string& libraryFile, const std::string& buildId) {
  FLibrary.Fd = ::open(libraryFile.c_str(), O_RDONLY | O_CLOEXEC);
  if (FLibrary.Fd < 0) return false;
  struct stat st {};
  if (::fstat(FLibrary.Fd, &st) != 0) return false;
  FLibrary.File = elf_begin(FLibrary.Fd, ELF_C_READ_MMAP, nullptr);
  std::size_t names = 0;
  if (!FLibrary.File || elf_getshdrstrndx(FLibrary.File, &names) != 0) return false;
  for (Elf_Scn* scn = nullptr; (scn = elf_nextscn(FLibrary.File, scn)) != nullptr;) {
    GElf_Shdr sh;
    if (!gelf_getshdr(scn, &sh)) continue;
    const char* name = elf_strptr(FLibrary.File, names, sh.sh_name);
    if (!name || std::strcmp(name, EmbeddedDebugSection) != 0 || sh.sh_type == SHT_NOBITS) continue;
    const auto fileSize = static_cast<std::uint64_t>(st.st_size);
    if (sh.sh_offset > fileSize || sh.sh_size > fileSize - sh.sh_offset || sh.sh_size == 0) return false;
    const std::uint64_t start = sh.sh_offset & ~(PageSize() - 1);
    const std::uint64_t skip = sh.sh_offset - start;
    FMappedSize = static_cast<std::size_t>(skip + sh.sh_size);
    // A private writable view: libelf may convert data in place, and the
    // file must never change.
    void* p = ::mmap(nullptr, FMappedSize, PROT_READ | PROT_WRITE, MAP_PRIVATE, FLibrary.Fd,
                     static_cast<off_t>(start));
    if (p == MAP_FAILED) {
      FMappedSize = 0;
      return false;
    }
    FMapped = p;
    FEmbedded = elf_memory(static_cast<char*>(p) + skip, static_cast<std::size_t>(sh.sh_size));
    if (!FEmbedded || BuildId(FEmbedded) != buildId) return false;
    FDwarf = dwarf_begin_elf(FEmbedded, DWARF_C_READ, nullptr);
    FDwarfElf = FEmbedded;
    return FDwarf != nullptr;
  }
  return false;
}

TProgramDwarf::~TProgramDwarf() {
  if (FDwarf) dwarf_end(FDwarf);
  if (FEmbedded) elf_end(FEmbedded);
  if (FMapped) ::munmap(FMapped, FMappedSize);
  FLibrary.Close();
  FProgram.Close();
}

bool TProgramDwarf::Contains(std::uint64_t mapAddress) const { return FProgram.File && mapAddress < FEnd; }

std::string TProgramDwarf::SymbolName(Elf* elf, std::uint64_t address) const {
  if (!elf) return {};
  for (Elf_Scn* scn = nullptr; (scn = elf_nextscn(elf, scn)) != nullptr;) {
    GElf_Shdr sh;
    if (!gelf_getshdr(scn, &sh) || (sh.sh_type != SHT_SYMTAB && sh.sh_type != SHT_DYNSYM) || sh.sh_entsize == 0)
      continue;
    Elf_Data* data = elf_getdata(scn, nullptr);
    if (!data) continue;
    const std::size_t count = sh.sh_size / sh.sh_entsize;
    for (std::size_t i = 0; i < count; ++i) {
      GElf_Sym sym;
      if (!gelf_getsym(data, static_cast<int>(i), &sym) || GELF_ST_TYPE(sym.st_info) != STT_FUNC) continue;
      if (address >= sym.st_value && address - sym.st_value < std::max<std::uint64_t>(sym.st_size, 1))
        return Demangle(elf_strptr(elf, sh.sh_link, sym.st_name));
    }
  }
  return {};
}

TPlace TProgramDwarf::Lookup(std::uint64_t mapAddress) const {
  TPlace place;
  if (!Contains(mapAddress)) return place;
  const Dwarf_Addr address = mapAddress + FBias;
  Dwarf_Die unit;
  if (FDwarf && UnitOf(FDwarf, address, unit)) {
    if (Dwarf_Line* line = dwarf_getsrc_die(&unit, address)) {
      if (const char* file = dwarf_linesrc(line, nullptr, nullptr)) place.Unit = file;
      int number = 0;
      if (dwarf_lineno(line, &number) == 0) place.Line = number;
    }
    // The function whose code holds the address, and the line within it:
    // code inlined into it counts as the line that called it, so that a
    // procedure, its unit and its line always belong together (and an
    // exception's constructor inlined at a throw is the throw's line).
    // The innermost scope of the address, then every scope that physically
    // holds it (an inlined call stands inside the function it was inlined
    // into, not inside its abstract definition).
    Dwarf_Die* innermost = nullptr;
    Dwarf_Die* scopes = nullptr;
    int n = 0;
    if (dwarf_getscopes(&unit, address, &innermost) > 0) n = dwarf_getscopes_die(&innermost[0], &scopes);
    std::free(innermost);
    Dwarf_Die* outermostInlined = nullptr;
    for (int i = 0; i < n; ++i) {
      const int tag = dwarf_tag(&scopes[i]);
      if (tag == DW_TAG_inlined_subroutine) outermostInlined = &scopes[i];
      if (tag != DW_TAG_subprogram) continue;
      place.Procedure = FunctionName(&scopes[i]);
      if (outermostInlined) CallSite(&unit, outermostInlined, place.Unit, place.Line);
      break;
    }
    std::free(scopes);
  }
  // Code without debug information still has its name in the symbol table.
  if (place.Procedure.empty()) place.Procedure = SymbolName(FDwarfElf ? FDwarfElf : FProgram.File, address);
  return place;
}

}  // namespace ond::debuginfo
