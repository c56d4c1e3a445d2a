# cmake -DOUT=<file.cpp> -DNAMESPACE=<ns> -DFUNCTION=<name> -P EmbedFiles.cmake <file>...
#
# Writes a C++ source that holds the bytes of each file, found by the file's
# name without extension: std::string_view FUNCTION(std::string_view name),
# empty for a name it does not hold. The bytes are kept exactly as stored.
set(body "")
set(table "")
set(i 0)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(a RANGE 0 ${last})
  set(arg "${CMAKE_ARGV${a}}")
  if(arg MATCHES "^-" OR arg MATCHES "EmbedFiles.cmake$" OR arg STREQUAL "${CMAKE_COMMAND}")
    continue()
  endif()
  get_filename_component(name "${arg}" NAME_WE)
  file(READ "${arg}" hex HEX)
  string(LENGTH "${hex}" hexlen)
  math(EXPR size "${hexlen} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(APPEND body "const char kData${i}[${size} + 1] = {${bytes} 0};\n")
  string(APPEND table "    {\"${name}\", std::string_view(kData${i}, ${size})},\n")
  math(EXPR i "${i} + 1")
endforeach()
file(WRITE "${OUT}.tmp" "// Generated from the files embedded in the program; do not edit.
#include <string_view>

namespace ${NAMESPACE} {
namespace {
${body}
struct Entry {
  std::string_view Name;
  std::string_view Data;
};
const Entry kEntries[] = {
${table}};
}  // namespace

std::string_view ${FUNCTION}(std::string_view name) {
  for (const Entry& e : kEntries)
    if (e.Name == name) return e.Data;
  return {};
}

}  // namespace ${NAMESPACE}
")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
