// DebugInfo.so: the library the error handler asks where in the program an
// address lies. It reads the running program's DWARF debug information: the
// program file's own, or, for a program built without it, the copy this
// library carries for exactly that build (same build id). The handler loads
// it for each exception and unloads it afterwards, so the library keeps
// nothing between exceptions that the program would have to pay for.
//
// Addresses are map addresses: the offset of the code from the program's
// load address. Texts are UTF-8, terminated by a zero byte, and stay valid
// until the next call of the same function or until the library is unloaded;
// the caller copies them. An address the debug information does not know
// gives empty texts and line 0.
#pragma once

#include <cstdint>

#define OND_DEBUGINFO_EXPORT extern "C" __attribute__((visibility("default")))

// The file name of the program module the address lies in.
OND_DEBUGINFO_EXPORT const char* GetExceptModuleName(std::uint32_t address);
// The function whose code holds the address, demangled with its scope and
// parameters. Code the compiler inlined into a function belongs to that
// function: its place is the line that called it.
OND_DEBUGINFO_EXPORT const char* GetExceptProcedureName(std::uint32_t address);
// The source line and the source file of the address within that function;
// the result is non-zero when the line is known.
OND_DEBUGINFO_EXPORT std::int32_t GetExceptLine(std::uint32_t address, std::int32_t* line, const char** unitName);

// The name of the section of DebugInfo.so that carries the program's debug
// file when the program was built without one inside it.
inline constexpr const char* EmbeddedDebugSection = ".ondrel.debuginfo";
