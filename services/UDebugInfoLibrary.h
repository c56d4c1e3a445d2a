// The program's side of the debug-information library (DebugInfo.so beside
// the program): it loads the library, asks its three functions where a map
// address of the program lies, copies the answers and unloads the library
// again. A missing library or function gives fixed texts in place of the
// answers, so a record always says why it has no location.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/core/SharedLibrary.h"

namespace ond {

// The library's file name, beside the program and on the update server.
inline constexpr const char* DebugInfoFileName = "DebugInfo.so";

// The names of the library's functions.
inline constexpr const char* GetExceptModuleNameSymbol = "GetExceptModuleName";
inline constexpr const char* GetExceptProcedureNameSymbol = "GetExceptProcedureName";
inline constexpr const char* GetExceptLineSymbol = "GetExceptLine";

// The texts shown in place of the library's answers.
std::string DebugInfoNotFoundText();        // the library cannot be loaded
std::string ModuleNameNotFoundText();       // it has no module-name function
std::string ProcedureNameNotFoundText();    // no procedure-name function
std::string CodeLineNotFoundText();         // no line function (the unit's text)

// Where a map address lies, as the record and the box show it (code page 1251).
struct TLibraryPlace {
  std::string ModuleName;
  std::string ProcedureName;
  std::string UnitName;
  int LineNumber = 0;
  bool operator==(const TLibraryPlace&) const = default;
};

// Who answers for the map addresses of the program: the library, or a stand-in in tests.
class TPlaceSource {
 public:
  virtual ~TPlaceSource() = default;
  // False when the source cannot answer at all (the library is missing).
  virtual bool Available() const = 0;
  virtual TLibraryPlace PlaceOf(std::uint32_t mapAddress) const = 0;
};

// The library, loaded for as long as the object lives.
class TDebugInfoLibrary final : public TPlaceSource {
 public:
  explicit TDebugInfoLibrary(const std::string& fileName);
  bool Available() const override { return FLibrary.Loaded(); }
  TLibraryPlace PlaceOf(std::uint32_t mapAddress) const override;

 private:
  using TNameFunction = const char* (*)(std::uint32_t);
  using TLineFunction = std::int32_t (*)(std::uint32_t, std::int32_t*, const char**);
  TSharedLibrary FLibrary;
  TNameFunction FModuleName = nullptr;
  TNameFunction FProcedureName = nullptr;
  TLineFunction FLine = nullptr;
};

}  // namespace ond
