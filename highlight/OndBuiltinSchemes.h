// The three schemes the program carries: the config files' own (index 0),
// JavaScript and Python. Each is a format-2.0 document stored byte for byte
// and is loaded through the same format detection as any scheme file.
#pragma once

#include <string_view>

namespace ond {

class TOndGenHighlighter;

constexpr int BuiltinSchemeCount = 3;
// "JSONDEF", "JAVASCRIPTDEF", "PYTHONDEF"; null outside 0..2.
const char* BuiltinSchemeResourceName(int Index) noexcept;
// The stored bytes of a scheme by its resource name; empty when unknown.
std::string_view BuiltinSchemeData(std::string_view ResourceName);
// Loads scheme Index into Highlighter; false for an index outside 0..2.
bool LoadBuiltinScheme(TOndGenHighlighter& Highlighter, int Index);

// The resource type the schemes are stored as: raw data.
constexpr const char* BuiltinSchemeResourceType = "RCDATA";
// Makes the schemes the program's XML resources, so that an XML document
// loads them by name and type ("JSONDEF", "RCDATA"). Names and types are
// matched without regard to case, as resource names are. The program's
// start-up installs it.
void InstallBuiltinResourceLookup();

}  // namespace ond
