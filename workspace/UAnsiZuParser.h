// Reads header values and file references out of the raw text of a config
// file without parsing it as JSON: plain substring searches, line by line.
// Nesting, escapes and block comments are not understood; a line whose first
// non-blank characters are "//" is ignored. Text is code page 1251 bytes;
// case folding is ASCII only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ond {

// The value of the first usable occurrence of "Key" (quoted, any ASCII letter
// case): the text between the next two double quotes after it. The value may
// begin on a later line than the key; line breaks inside it are dropped.
// Empty when the key is not found or no closed value follows.
std::string GetKeyValue(std::string_view text, std::string_view key);
// The values of several keys, in their order, found in one walk over the text.
std::vector<std::string> GetKeyValues(std::string_view text, const std::vector<std::string_view>& keys);

// The files the text references, in text order, duplicates included:
// ${"file":"path"} and "$ref": { "file": "...", "path": "..." }. Each name is
// lower-cased (ASCII) with every "/" turned into "\", relative to the folder
// of the file holding the text.
std::vector<std::string> ScanReferences(std::string_view text);

}  // namespace ond
