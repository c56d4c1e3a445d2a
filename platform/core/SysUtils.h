// The runtime basics the rest of the program is written against: the common
// exception root, assertions that throw in every build, and string and file
// name helpers with the Windows semantics stored config sets were written for.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "platform/core/CallStack.h"

namespace ond {

// Root of every exception of the program. Message is code page 1251 text.
// Each one keeps the call stack of the place that made it (the throw site
// and its callers), which the error log turns into names, files and lines.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message);
  const char* what() const noexcept override { return Message.c_str(); }
  std::string Message;
  // The reason as a number, so that it can be told again later in another
  // language: a system error number, one of the reasons below, or 0 when
  // there is none to tell apart.
  int ErrorNumber = 0;
  // Shared, so that copying an exception never allocates; null only when
  // there was no memory for it.
  std::shared_ptr<const TCallStack> CallStack;
};

#define OND_DECLARE_EXCEPTION(Name, Base)            \
  class Name : public Base {                         \
   public:                                           \
    using Base::Base;                                \
  }

OND_DECLARE_EXCEPTION(EListError, Exception);
OND_DECLARE_EXCEPTION(EConvertError, Exception);
OND_DECLARE_EXCEPTION(EAssertionFailed, Exception);
OND_DECLARE_EXCEPTION(EOutOfMemory, Exception);
OND_DECLARE_EXCEPTION(EInOutError, Exception);

// Reasons of the program's own for not reading a file, beside the system's
// error numbers (which are positive).
constexpr int ErrNotRegularFile = -1;
constexpr int ErrFileTooLarge = -2;
constexpr int ErrNulInName = -3;

// Throws e with its reason number set.
template <class E>
[[noreturn]] void ThrowWithErrorNumber(E e, int errorNumber) {
  e.ErrorNumber = errorNumber;
  throw e;
}

// Assertion failures name the source unit and line and throw in every build.
[[noreturn]] void AssertFailed(const char* expr, const char* file, int line);
#define OND_ASSERT(cond) \
  ((cond) ? static_cast<void>(0) : ::ond::AssertFailed(#cond, __FILE__, __LINE__))

// The text for an error number, as program text, in the interface language.
// The language lives above this layer: the unit that holds the language
// table installs a source of texts, asked on every call so that a switch of
// the language counts at once. Without a source (or when it has no text for
// an error) the system's own text is given.
std::string SystemErrorText(int err);
// The system's own text for an error number, whatever the interface language.
std::string SystemErrorTextOfSystem(int err);
// Fills Text with the interface language's text for Err; false leaves the
// choice to the system's text.
using TErrorTextSource = bool (*)(int Err, std::string& Text);
void SetErrorTextSource(TErrorTextSource source);

// Number formatting without the locale.
std::string IntToStr(std::int64_t v);
// The locale the user reads messages in: LC_ALL, then LC_MESSAGES, then LANG
// (the first that is set and not empty), else "C".
std::string MessagesLocale();
std::string IntToHex(std::uint64_t v, int digits);
// Parses a whole decimal integer (optional sign); false on anything else.
bool TryStrToInt(std::string_view s, std::int64_t& v);
int StrToIntDef(std::string_view s, int def);
// Round half to even, as the original runtime's Round.
std::int64_t Round(double v);
// a * b / c with a 64-bit intermediate, halves rounded away from zero; -1 when c is 0.
int MulDiv(int a, int b, int c);

// Trim characters with codes up to 32.
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
// ASCII case-insensitive comparison.
int CompareText(std::string_view a, std::string_view b) noexcept;
bool SameText(std::string_view a, std::string_view b) noexcept;
std::string StringReplaceAll(std::string_view s, std::string_view from, std::string_view to);
// 1-based position of sub in s (0 when absent), as the original's Pos.
std::size_t Pos(std::string_view sub, std::string_view s) noexcept;
// 1-based copy that tolerates any index and count: past the end gives short text.
std::string Copy(std::string_view s, std::int64_t index, std::int64_t count);

// File names. Both "\" and "/" separate parts; results keep the caller's
// separators. A drive ("C:") counts as a path prefix.
bool IsPathDelimiter(char c) noexcept;
std::string ExtractFilePath(std::string_view name);   // up to and including the last separator
std::string ExtractFileDir(std::string_view name);    // the same without the trailing separator
std::string ExtractFileName(std::string_view name);
std::string ExtractFileExt(std::string_view name);    // with the dot, "" when none
std::string ChangeFileExt(std::string_view name, std::string_view ext);
std::string IncludeTrailingPathDelimiter(std::string_view name);
std::string ExcludeTrailingPathDelimiter(std::string_view name);
// Turns every "\" into "/" (names inside config sets are written on Windows).
std::string ToNativeSeparators(std::string_view name);

}  // namespace ond
