// The system's single-byte text is code page 1251 whatever the locale says.
// These fixed tables replace the platform's ANSI character functions and its
// MultiByteToWideChar / WideCharToMultiByte conversions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ond {

// Code page numbers understood by the conversions below.
constexpr unsigned CP_ACP = 0;        // the system's ANSI code page, i.e. 1251
constexpr unsigned CP_1251 = 1251;
constexpr unsigned CP_UTF7 = 65000;
constexpr unsigned CP_UTF8 = 65001;
constexpr unsigned CP_UTF16LE = 1200;
constexpr unsigned CP_UTF16BE = 1201;

// The byte a character with no form in code page 1251 becomes.
constexpr char DefaultAnsiChar = '?';

// Unicode of one code page 1251 byte. The one undefined byte, 0x98, maps to
// U+0098 so that every byte survives a round trip.
char16_t AnsiToWide(unsigned char c) noexcept;
// The code page 1251 byte of a UTF-16 unit, or -1 when it has none.
int WideToAnsi(char16_t w) noexcept;

unsigned char AnsiUpperChar(unsigned char c) noexcept;
unsigned char AnsiLowerChar(unsigned char c) noexcept;
bool IsAnsiAlpha(unsigned char c) noexcept;
bool IsAnsiAlphaNumeric(unsigned char c) noexcept;
// A character of a word in text no highlighter describes: the ASCII letters
// and digits, "_" and the Russian letters of code page 1251 (Yo and yo too).
// Word moves, word selection, whole-word matching and the fold scanner all
// ask this one question, so they agree on where a word ends.
bool IsDefaultIdentChar(unsigned char c) noexcept;
bool IsAnsiUpper(unsigned char c) noexcept;
bool IsAnsiLower(unsigned char c) noexcept;

std::string AnsiUpperCase(std::string_view s);
std::string AnsiLowerCase(std::string_view s);
void AnsiUpperBuff(char* p, std::size_t n) noexcept;
void AnsiLowerBuff(char* p, std::size_t n) noexcept;
// ASCII-only case folding (letters a-z and A-Z), bytes 128-255 unchanged.
std::string AsciiUpperCase(std::string_view s);
std::string AsciiLowerCase(std::string_view s);
// Case-insensitive comparison through the code page 1251 tables.
int AnsiCompareText(std::string_view a, std::string_view b) noexcept;
bool AnsiSameText(std::string_view a, std::string_view b) noexcept;

// Code page 1251 <-> UTF-16.
std::u16string AnsiToUtf16(std::string_view s);
// Units with no code page 1251 form become '?'; *replaced (when given) is
// increased by how many did.
std::string Utf16ToAnsi(std::u16string_view s, std::size_t* replaced = nullptr);

// UTF-8 <-> UTF-16. Malformed UTF-8 sequences decode to U+FFFD one byte at a
// time (and count in *invalid); unpaired surrogates encode as three bytes.
std::u16string Utf8ToUtf16(std::string_view s, std::size_t* invalid = nullptr);
std::string Utf16ToUtf8(std::u16string_view s);

// Direct paths between code page 1251 and UTF-8, used for file names and Qt.
std::string AnsiToUtf8(std::string_view s);
std::string Utf8ToAnsi(std::string_view s, std::size_t* replaced = nullptr);
// Appends the UTF-8 form of code page 1251 text to out.
void AppendAnsiAsUtf8(std::string_view s, std::string& out);
// Decodes n bytes of UTF-8 at in into code page 1251 at out and returns the
// length written. Decoding never makes text longer, so out may be in itself,
// or lie before it, in the same buffer.
std::size_t Utf8ToAnsiInto(const char* in, std::size_t n, char* out, std::size_t* replaced = nullptr) noexcept;
// Decodes the UTF-8 bytes from position `from` into code page 1251 text in
// the same buffer, from its start (what lies before `from`, a byte-order
// mark, is dropped). Returns the new length.
std::size_t Utf8ToAnsiInPlace(std::string& bytes, std::size_t from = 0, std::size_t* replaced = nullptr) noexcept;

// The platform conversions by code page number (CP_ACP/1251, UTF-7, UTF-8,
// UTF-16 LE/BE). Returns false for a code page it does not know.
bool IsValidCodePage(unsigned codePage) noexcept;
bool MultiByteToWideChar(unsigned codePage, std::string_view bytes, std::u16string& out);
bool WideCharToMultiByte(unsigned codePage, std::u16string_view text, std::string& out,
                         std::size_t* replaced = nullptr);

}  // namespace ond
