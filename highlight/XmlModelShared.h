// What the implementation files of the XML model share: the messages of its
// errors, their formatting, the name character test and the mark that opens the
// binary form. Not part of the model's interface; XmlModel.h is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "highlight/XmlModel.h"

namespace ond::xmlmodel {

// Messages are kept as the program has always shown them (question marks
// included); the source holds them in UTF-8 and they are used in code page 1251.
struct Texts {
  std::string ListIndex, NoChild, NotSupported, AttrNotSet, BadEnum, NoAttr;
  std::string ElementUnfinished, BadNameChar, AttrValueExpected, StringExpected, LessInAttr;
  std::string ExpectedS, ExpectedC, NameStart, RefExpected, NumberExpected, HexExpected, BadEntity;
  std::string BinWriteNode, BinReadNode, BinWriteValue, BinReadValue, BinReadData, BinBadNames;
  std::string TooDeep, NulChar, BadCharCode, StrayEndTag, OwnSubtree, BadBase64, BadDate, BadNumber;
};

const Texts& T();

// The pattern with its first "%s" or "%c" replaced by Arg.
std::string Fmt(const std::string& pattern, std::string_view arg);
// The pattern with its three "%s" replaced in order.
std::string Fmt2(const std::string& pattern, std::string_view a1, std::string_view a2, std::string_view a3);
[[noreturn]] void Fail(const std::string& msg);

inline bool IsBlankOrControl(unsigned char c) { return c <= ' '; }

// The name classes of the 256 codes: bit 1 a name start, bit 2 a name
// character. For loops that test every character of a name.
const std::uint8_t* NameClassTable() noexcept;
constexpr std::uint8_t kNameStartBit = 1;
constexpr std::uint8_t kNameCharBit = 2;

// A name made of name characters only, starting with a name start.
bool IsPlainName(std::string_view s);

inline constexpr std::string_view kBinaryMagic = "< binary-xml >";

}  // namespace ond::xmlmodel
