// Pieces the implementation files of the JSON unit share: the guard against
// entering a value twice while walking it, and the conversions between number
// text and the stored number types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "services/jsonobject.h"

namespace ond::jsondetail {

// Sets a value's processing flag for a scope, so that a value met again
// inside itself is not entered twice.
class ProcessingGuard {
 public:
  explicit ProcessingGuard(TJsonObject& v) : FValue(v) { FValue.SetProcessing(true); }
  ~ProcessingGuard() { FValue.SetProcessing(false); }
  ProcessingGuard(const ProcessingGuard&) = delete;
  ProcessingGuard& operator=(const ProcessingGuard&) = delete;

 private:
  TJsonObject& FValue;
};

// The shape of a number: [+-] digits [. digits] [(e|E) [+-] digits], with at
// least one digit before the exponent. Anything else is malformed.
struct NumberShape {
  bool Valid = false;
  bool Point = false;
  bool Exponent = false;
  int FractionDigits = 0;
};

NumberShape ReadNumberShape(const char16_t* s, std::size_t n);
// Accumulates the digits of s (skipping sign and point) into a 64-bit value
// with the sign applied; false on overflow.
bool DigitsToInt64(const char16_t* s, std::size_t n, std::int64_t& out);
// A well-formed number text as a double; false when it is too large.
// Underflow gives a zero of the right sign.
bool TextToDouble(const char16_t* s, std::size_t n, double& out);
std::int64_t SaturatingMul(std::int64_t a, std::int64_t b);
// v / 10000 rounded to the nearest integer, halves to even.
std::int64_t CurrencyToInt(std::int64_t v);
// The currency text: at least five digits, trailing fraction zeros dropped,
// so 1.5, 0.25 and "2." for a whole value; zero is "0".
std::string CurrencyText(std::int64_t v);
std::string DoubleText(double d);
// A whole decimal integer ([+-]digits) or nothing.
bool StringToInt64(std::u16string_view s, std::int64_t& v);
bool StringToDouble(std::u16string_view s, double& v);

}  // namespace ond::jsondetail
