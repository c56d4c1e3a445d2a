#include "services/UDebugInfoLibrary.h"

#include "platform/core/CodePage.h"

namespace ond {

namespace {
// The library answers in UTF-8; the log and the box are code page 1251.
std::string Copy(const char* text) { return text ? Utf8ToAnsi(text) : std::string(); }
}  // namespace

std::string DebugInfoNotFoundText() { return std::string(DebugInfoFileName) + " not found"; }
std::string ModuleNameNotFoundText() { return std::string("Module name not found in ") + DebugInfoFileName; }
std::string ProcedureNameNotFoundText() { return std::string("Procedure name not found in ") + DebugInfoFileName; }
std::string CodeLineNotFoundText() { return std::string("Code line not found in ") + DebugInfoFileName; }

TDebugInfoLibrary::TDebugInfoLibrary(const std::string& fileName) : FLibrary(fileName) {
  FModuleName = reinterpret_cast<TNameFunction>(FLibrary.Symbol(GetExceptModuleNameSymbol));
  FProcedureName = reinterpret_cast<TNameFunction>(FLibrary.Symbol(GetExceptProcedureNameSymbol));
  FLine = reinterpret_cast<TLineFunction>(FLibrary.Symbol(GetExceptLineSymbol));
}

TLibraryPlace TDebugInfoLibrary::PlaceOf(std::uint32_t mapAddress) const {
  TLibraryPlace place;
  if (!Available()) {
    place.ModuleName = place.ProcedureName = place.UnitName = DebugInfoNotFoundText();
    return place;
  }
  place.ModuleName = FModuleName ? Copy(FModuleName(mapAddress)) : ModuleNameNotFoundText();
  place.ProcedureName = FProcedureName ? Copy(FProcedureName(mapAddress)) : ProcedureNameNotFoundText();
  if (FLine) {
    std::int32_t line = 0;
    const char* unit = nullptr;
    FLine(mapAddress, &line, &unit);
    place.LineNumber = line;
    place.UnitName = Copy(unit);
  } else {
    place.UnitName = CodeLineNotFoundText();
  }
  return place;
}

}  // namespace ond
