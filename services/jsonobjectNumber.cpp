// Number text of the JSON unit: reading the shape and value of a number,
// and the texts of currency and double values.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "services/jsonobjectDetail.h"

namespace ond::jsondetail {

namespace {

constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();

}  // namespace


NumberShape ReadNumberShape(const char16_t* s, std::size_t n) {
  NumberShape r;
  std::size_t i = 0;
  if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < n && s[i] == '.') {
    r.Point = true;
    ++i;
    while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++digits, ++r.FractionDigits;
  }
  if (digits == 0) return r;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    r.Exponent = true;
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++expDigits;
    if (expDigits == 0) return r;
  }
  r.Valid = i == n;
  return r;
}

bool DigitsToInt64(const char16_t* s, std::size_t n, std::int64_t& out) {
  bool neg = false;
  std::size_t i = 0;
  if (i < n && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  // Accumulate negatively so that the minimum fits.
  std::int64_t v = 0;
  for (; i < n; ++i) {
    if (s[i] == '.') continue;
    const int d = static_cast<int>(s[i] - '0');
    if (v < (kInt64Min + d) / 10) return false;
    v = v * 10 - d;
  }
  if (!neg) {
    if (v == kInt64Min) return false;
    v = -v;
  }
  out = v;
  return true;
}

bool TextToDouble(const char16_t* s, std::size_t n, double& out) {
  char local[128];
  std::string heap;
  char* buf = local;
  if (n >= sizeof local) {
    heap.resize(n + 1);
    buf = heap.data();
  }
  std::size_t k = 0;
  bool neg = false;
  std::size_t i = 0;
  if (i < n && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  if (neg) buf[k++] = '-';
  for (; i < n; ++i) buf[k++] = static_cast<char>(s[i]);
  double v = 0;
  const auto r = std::from_chars(buf, buf + k, v, std::chars_format::general);
  if (r.ec == std::errc()) {
    if (!std::isfinite(v)) return false;
    out = v;
    return true;
  }
  if (r.ec != std::errc::result_out_of_range) return false;
  // Too large or too small: tell them apart by the decimal magnitude.
  std::int64_t exp = 0;
  std::int64_t lead = 0;  // position of the first significant digit relative to the point
  bool seenPoint = false, seenDigit = false;
  std::int64_t intDigits = 0, zerosAfterPoint = 0;
  for (i = neg ? 1 : 0; i < k; ++i) {
    const char c = buf[i];
    if (c == '.') {
      seenPoint = true;
    } else if (c == 'e' || c == 'E') {
      bool eneg = false;
      ++i;
      if (i < k && (buf[i] == '+' || buf[i] == '-')) eneg = buf[i++] == '-';
      for (; i < k; ++i) exp = std::min<std::int64_t>(exp * 10 + (buf[i] - '0'), 1000000000);
      if (eneg) exp = -exp;
      break;
    } else if (!seenDigit && c == '0') {
      if (seenPoint) ++zerosAfterPoint;
    } else {
      if (!seenPoint) ++intDigits;
      seenDigit = true;
    }
  }
  lead = intDigits > 0 ? intDigits : -zerosAfterPoint;
  if (lead + exp > 0) return false;
  out = neg ? -0.0 : 0.0;
  return true;
}

std::int64_t SaturatingMul(std::int64_t a, std::int64_t b) {
  std::int64_t r = 0;
  if (__builtin_mul_overflow(a, b, &r)) return ((a < 0) != (b < 0)) ? kInt64Min : kInt64Max;
  return r;
}

std::int64_t CurrencyToInt(std::int64_t v) {
  std::int64_t q = v / 10000;
  const std::int64_t r = v % 10000;
  const std::int64_t ar = r < 0 ? -r : r;
  const std::int64_t step = v < 0 ? -1 : 1;
  if (ar > 5000 || (ar == 5000 && (q & 1) != 0)) q += step;
  return q;
}

std::string CurrencyText(std::int64_t v) {
  if (v == 0) return "0";
  const bool neg = v < 0;
  const std::uint64_t a = neg ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  std::string d = std::to_string(a);
  if (d.size() < 5) d.insert(0, 5 - d.size(), '0');
  std::string frac = d.substr(d.size() - 4);
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  std::string r = neg ? "-" : "";
  r += d.substr(0, d.size() - 4);
  r += '.';
  r += frac;
  return r;
}

std::string DoubleText(double d) {
  if (d == 0) return "0";  // also for -0, which would read back as the integer 0
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
  return std::string(buf, r.ptr);
}

bool StringToInt64(std::u16string_view s, std::int64_t& v) {
  std::size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
  if (i == s.size()) return false;
  for (std::size_t k = i; k < s.size(); ++k)
    if (s[k] < '0' || s[k] > '9') return false;
  return DigitsToInt64(s.data(), s.size(), v);
}

bool StringToDouble(std::u16string_view s, double& v) {
  if (!ReadNumberShape(s.data(), s.size()).Valid) return false;
  return TextToDouble(s.data(), s.size(), v);
}

}  // namespace ond::jsondetail
