#include "highlight/OndBuiltinSchemes.h"

#include "highlight/OndGenHighlighter.h"
#include "highlight/XmlModel.h"
#include "platform/core/CodePage.h"

namespace ond {

const char* BuiltinSchemeResourceName(int Index) noexcept {
  static const char* const names[BuiltinSchemeCount] = {"JSONDEF", "JAVASCRIPTDEF", "PYTHONDEF"};
  return Index >= 0 && Index < BuiltinSchemeCount ? names[Index] : nullptr;
}

bool LoadBuiltinScheme(TOndGenHighlighter& Highlighter, int Index) {
  const char* name = BuiltinSchemeResourceName(Index);
  if (!name) return false;
  const std::string_view data = BuiltinSchemeData(name);
  if (data.empty()) return false;
  TStringStream stream{std::string(data)};
  return Highlighter.LoadFromStream(stream);
}

void InstallBuiltinResourceLookup() {
  SetXmlResourceLookup([](std::string_view Name, std::string_view Type) -> std::optional<std::string> {
    if (AsciiUpperCase(Type) != BuiltinSchemeResourceType) return std::nullopt;
    const std::string_view data = BuiltinSchemeData(AsciiUpperCase(Name));
    if (data.empty()) return std::nullopt;
    return std::string(data);
  });
}

}  // namespace ond
