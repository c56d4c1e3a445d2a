#include "platform/core/Symbolizer.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <dwarf.h>
#include <elfutils/libdwfl.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <mutex>

namespace ond {

namespace {

// One view of the process's modules for the whole run; libdw's handles are
// not safe to share between threads, hence the lock around every use.
class TProcessDebugInfo {
 public:
  TProcessDebugInfo() {
    FCallbacks.find_elf = dwfl_linux_proc_find_elf;
    FCallbacks.find_debuginfo = dwfl_standard_find_debuginfo;
    FCallbacks.section_address = nullptr;
    FCallbacks.debuginfo_path = nullptr;
    FDwfl = dwfl_begin(&FCallbacks);
    Report();
  }
  ~TProcessDebugInfo() {
    if (FDwfl) dwfl_end(FDwfl);
  }
  TProcessDebugInfo(const TProcessDebugInfo&) = delete;
  TProcessDebugInfo& operator=(const TProcessDebugInfo&) = delete;

  // The module of an address; the list is read again once when a module
  // was loaded after the last reading.
  Dwfl_Module* ModuleOf(Dwarf_Addr address) {
    if (!FDwfl) return nullptr;
    Dwfl_Module* m = dwfl_addrmodule(FDwfl, address);
    if (!m) {
      Report();
      m = dwfl_addrmodule(FDwfl, address);
    }
    return m;
  }

  std::mutex Lock;

 private:
  void Report() {
    if (!FDwfl) return;
    dwfl_report_begin(FDwfl);
    dwfl_linux_proc_report(FDwfl, getpid());
    dwfl_report_end(FDwfl, nullptr, nullptr);
  }
  Dwfl_Callbacks FCallbacks{};
  Dwfl* FDwfl = nullptr;
};

TProcessDebugInfo& DebugInfo() {
  static TProcessDebugInfo info;
  return info;
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
// one, else its plain name.
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

// Where an inlined call was made: the file and line its caller shows.
void CallSite(Dwarf_Die* cu, Dwarf_Die* inlined, std::string& file, int& line) {
  file.clear();
  line = 0;
  Dwarf_Word fileIndex = 0;
  Dwarf_Word lineNumber = 0;
  if (UnsignedAttribute(inlined, DW_AT_call_line, lineNumber)) line = static_cast<int>(lineNumber);
  Dwarf_Files* files = nullptr;
  std::size_t count = 0;
  if (UnsignedAttribute(inlined, DW_AT_call_file, fileIndex) && dwarf_getsrcfiles(cu, &files, &count) == 0 &&
      fileIndex < count) {
    if (const char* name = dwarf_filesrc(files, fileIndex, nullptr, nullptr)) file = name;
  }
}

}  // namespace

std::uintptr_t TSourceLocation::RelativeAddress() const {
  return ModuleBase == 0 ? 0 : reinterpret_cast<std::uintptr_t>(Address) - ModuleBase;
}

std::vector<TSourceLocation> Symbolize(const void* address, bool returnAddress) {
  TSourceLocation base;
  base.Address = address;
  Dl_info dl{};
  if (address && ::dladdr(address, &dl) != 0) {
    base.ModuleBase = reinterpret_cast<std::uintptr_t>(dl.dli_fbase);
    if (dl.dli_fname) base.ModuleFile = dl.dli_fname;
  }
  const auto raw = reinterpret_cast<std::uintptr_t>(address);
  if (raw == 0) return {base};
  const Dwarf_Addr lookup = returnAddress ? raw - 1 : raw;

  TProcessDebugInfo& info = DebugInfo();
  std::lock_guard<std::mutex> guard(info.Lock);
  Dwfl_Module* module = info.ModuleOf(lookup);
  if (!module) return {base};
  const char* moduleName = nullptr;
  dwfl_module_info(module, nullptr, nullptr, nullptr, nullptr, nullptr, &moduleName, nullptr);
  if (moduleName && *moduleName) base.ModuleFile = moduleName;

  // The innermost line; the line table already speaks of inlined code.
  std::string file;
  int line = 0;
  if (Dwfl_Line* l = dwfl_module_getsrc(module, lookup)) {
    int column = 0;
    Dwarf_Addr lineAddress = 0;
    if (const char* name = dwfl_lineinfo(l, &lineAddress, &line, &column, nullptr, nullptr)) file = name;
  }

  std::vector<TSourceLocation> result;
  Dwarf_Addr bias = 0;
  Dwarf_Die* cu = dwfl_module_addrdie(module, lookup, &bias);
  // The innermost scope of the address, then every scope that physically
  // holds it: an inlined call stands inside the function it was inlined into.
  Dwarf_Die* innermost = nullptr;
  Dwarf_Die* scopes = nullptr;
  int count = 0;
  if (cu && dwarf_getscopes(cu, lookup - bias, &innermost) > 0) count = dwarf_getscopes_die(&innermost[0], &scopes);
  std::free(innermost);
  for (int i = 0; i < count; ++i) {
    const int tag = dwarf_tag(&scopes[i]);
    if (tag != DW_TAG_inlined_subroutine && tag != DW_TAG_subprogram) continue;
    TSourceLocation place = base;
    place.Function = FunctionName(&scopes[i]);
    if (tag == DW_TAG_subprogram) {
      // The symbol table names the function fully qualified even where the
      // debug information keeps only its short name.
      if (const char* symbol = dwfl_module_addrname(module, lookup)) place.Function = Demangle(symbol);
    }
    place.SourceFile = file;
    place.Line = line;
    place.Inlined = tag == DW_TAG_inlined_subroutine;
    result.push_back(std::move(place));
    if (tag == DW_TAG_subprogram) break;
    CallSite(cu, &scopes[i], file, line);
  }
  std::free(scopes);
  if (result.empty()) {
    // No debug information: the symbol table still names the function.
    base.Function = Demangle(dwfl_module_addrname(module, lookup));
    base.SourceFile = file;
    base.Line = line;
    result.push_back(std::move(base));
  }
  return result;
}

std::vector<TSourceLocation> SymbolizeStack(const TCallStack& stack) {
  std::vector<TSourceLocation> result;
  for (void* frame : stack) {
    auto places = Symbolize(frame, true);
    for (auto& p : places) result.push_back(std::move(p));
  }
  return result;
}

bool ProgramHasDebugInfo() {
  const auto places = Symbolize(reinterpret_cast<const void*>(&ProgramHasDebugInfo), false);
  return !places.empty() && places.back().Line > 0 && !places.back().SourceFile.empty();
}

std::string SymbolizerVersion() {
  const char* version = dwfl_version(nullptr);
  return std::string("libdw ") + (version ? version : "?");
}

}  // namespace ond
