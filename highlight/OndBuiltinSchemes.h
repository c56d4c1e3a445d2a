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

}  // namespace ond
