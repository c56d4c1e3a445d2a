// The debug information of the running program, opened once per loading of
// the library: the DWARF inside the program file when it has any, else the
// debug file this library carries, taken only when its build id is the
// program's (another build's lines would be wrong ones).
#pragma once

#include <elfutils/libdw.h>
#include <libelf.h>

#include <cstdint>
#include <string>

namespace ond::debuginfo {

struct TPlace {
  std::string Procedure;  // demangled, "" when unknown
  std::string Unit;       // the source file as the debug information names it
  int Line = 0;
};

class TProgramDwarf {
 public:
  // `programFile` is the running program; `libraryFile` the file of this
  // library, which may carry the program's debug file.
  TProgramDwarf(const std::string& programFile, const std::string& libraryFile);
  ~TProgramDwarf();
  TProgramDwarf(const TProgramDwarf&) = delete;
  TProgramDwarf& operator=(const TProgramDwarf&) = delete;

  // True when the map address lies in the program's loaded code or data.
  bool Contains(std::uint64_t mapAddress) const;
  TPlace Lookup(std::uint64_t mapAddress) const;
  bool HasDwarf() const { return FDwarf != nullptr; }

 private:
  struct TElfFile {
    int Fd = -1;
    Elf* File = nullptr;
    void Close();
  };
  bool OpenEmbedded(const std::string& libraryFile, const std::string& buildId);
  std::string SymbolName(Elf* elf, std::uint64_t address) const;

  TElfFile FProgram;
  TElfFile FLibrary;
  void* FMapped = nullptr;   // the embedded debug file, mapped
  std::size_t FMappedSize = 0;
  Elf* FEmbedded = nullptr;  // the ELF view of the embedded debug file
  Dwarf* FDwarf = nullptr;
  Elf* FDwarfElf = nullptr;  // the file FDwarf reads (for its symbol table)
  std::uint64_t FBias = 0;   // link address of the program's first page
  std::uint64_t FEnd = 0;    // end of the highest loaded segment, from FBias
};

}  // namespace ond::debuginfo
