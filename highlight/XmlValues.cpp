// The text forms of values (numbers, dates, base64) and the variant that holds
// an attribute's or a text node's typed value.
#include "highlight/XmlModel.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "highlight/XmlModelShared.h"
#include "platform/core/CodePage.h"

namespace ond {

using namespace xmlmodel;

namespace {

const char* VarTypeName(XmlVarType t) {
  switch (t) {
    case XmlVarType::Empty: return "Empty";
    case XmlVarType::Null: return "Null";
    case XmlVarType::Smallint: return "Smallint";
    case XmlVarType::Integer: return "Integer";
    case XmlVarType::Single: return "Single";
    case XmlVarType::Double: return "Double";
    case XmlVarType::Currency: return "Currency";
    case XmlVarType::Date: return "Date";
    case XmlVarType::OleStr: return "OleStr";
    case XmlVarType::Boolean: return "Boolean";
    case XmlVarType::ShortInt: return "ShortInt";
    case XmlVarType::Byte: return "Byte";
    case XmlVarType::Word: return "Word";
    case XmlVarType::LongWord: return "LongWord";
    case XmlVarType::Int64: return "Int64";
    case XmlVarType::String: return "String";
    case XmlVarType::ByteArray: return "Array Byte";
  }
  return "Unknown";
}

[[noreturn]] void CastError(XmlVarType from, const char* to) {
  throw EConvertError(std::string("Could not convert variant of type (") + VarTypeName(from) + ") into type (" + to +
                      ")");
}

bool IsIntegerType(XmlVarType t) {
  switch (t) {
    case XmlVarType::Smallint:
    case XmlVarType::Integer:
    case XmlVarType::ShortInt:
    case XmlVarType::Byte:
    case XmlVarType::Word:
    case XmlVarType::LongWord:
    case XmlVarType::Int64:
      return true;
    default:
      return false;
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Value text forms

std::string XmlFloatToText(double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  if (v == 0) return "0";
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
  std::string_view s(buf, static_cast<std::size_t>(res.ptr - buf));
  bool neg = false;
  if (s[0] == '-') {
    neg = true;
    s.remove_prefix(1);
  }
  const std::size_t e = s.find('e');
  std::string digits;
  for (char c : s.substr(0, e))
    if (c != '.') digits += c;
  int exp = 0;
  std::from_chars(s.data() + e + 1 + (s[e + 1] == '+' ? 1 : 0), s.data() + s.size(), exp);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  std::string r = neg ? "-" : "";
  if (exp >= 15 || exp < -5) {
    r += digits[0];
    if (digits.size() > 1) r += "." + digits.substr(1);
    r += "E" + std::to_string(exp);
  } else if (exp < 0) {
    r += "0." + std::string(static_cast<std::size_t>(-exp - 1), '0') + digits;
  } else {
    const auto intLen = static_cast<std::size_t>(exp) + 1;
    if (digits.size() <= intLen) {
      r += digits + std::string(intLen - digits.size(), '0');
    } else {
      r += digits.substr(0, intLen) + "." + digits.substr(intLen);
    }
  }
  return r;
}

double XmlTextToFloat(std::string_view text) {
  std::string s = Trim(text);
  const std::size_t comma = s.find(',');
  if (comma != std::string::npos) s[comma] = '.';
  std::string_view v = s;
  if (!v.empty() && v[0] == '+') v.remove_prefix(1);
  double d = 0;
  auto res = std::from_chars(v.data(), v.data() + v.size(), d);
  if (v.empty() || res.ec != std::errc() || res.ptr != v.data() + v.size())
    throw EConvertError(Fmt(T().BadNumber, text));
  return d;
}

namespace {

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

constexpr std::int64_t kUnixDateDelta = 25569;  // 1970-01-01 as a day number

bool IsLeap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

TDateTime EncodeXmlDateTime(int year, int month, int day, int hour, int minute, int second) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 ||
      day > kDays[month - 1] + (month == 2 && IsLeap(year) ? 1 : 0) || hour < 0 || hour > 23 || minute < 0 ||
      minute > 59 || second < 0 || second > 59)
    throw EConvertError(Fmt(T().BadDate, IntToStr(year) + "-" + IntToStr(month) + "-" + IntToStr(day) + "T" +
                                             IntToStr(hour) + "-" + IntToStr(minute) + "-" + IntToStr(second)));
  const double date = static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) +
                                          kUnixDateDelta);
  const double time = (hour * 3600.0 + minute * 60.0 + second) / 86400.0;
  return date < 0 ? date - time : date + time;
}

void DecodeXmlDateTime(TDateTime v, int& year, int& month, int& day, int& hour, int& minute, int& second) {
  if (!std::isfinite(v) || std::fabs(v) > 1e9) v = 0;
  const double whole = std::trunc(v);
  auto ms = static_cast<std::int64_t>(std::llround(std::fabs(v - whole) * 86400000.0));
  if (ms >= 86400000) ms = 86400000 - 1;
  CivilFromDays(static_cast<std::int64_t>(whole) - kUnixDateDelta, year, month, day);
  const std::int64_t secs = ms / 1000;
  hour = static_cast<int>(secs / 3600);
  minute = static_cast<int>(secs / 60 % 60);
  second = static_cast<int>(secs % 60);
}

std::string XmlDateToText(TDateTime v) {
  int y, m, d, h, n, s;
  DecodeXmlDateTime(v, y, m, d, h, n, s);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.4d-%.2d-%.2dT%.2d-%.2d-%.2d", y, m, d, h, n, s);
  return buf;
}

TDateTime XmlTextToDate(std::string_view s) {
  static const char kSeps[6] = {'-', '-', 'T', '-', '-', '\0'};
  int parts[6] = {0, 0, 0, 0, 0, 0};
  std::size_t pos = 0;
  for (int i = 0; i < 6; ++i) {
    std::size_t end = kSeps[i] ? s.find(kSeps[i], pos) : s.size();
    std::size_t next;
    if (end == std::string_view::npos) {
      end = s.size();
      next = s.size();
    } else {
      next = kSeps[i] ? end + 1 : end;
    }
    const std::string_view part = s.substr(pos, end - pos);
    std::int64_t v = 0;
    if (!part.empty() && (!TryStrToInt(part, v) || v < 0 || v > 65535)) throw EConvertError(Fmt(T().BadDate, s));
    parts[i] = static_cast<int>(v);
    pos = next;
  }
  try {
    return EncodeXmlDateTime(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]);
  } catch (const EConvertError&) {
    throw EConvertError(Fmt(T().BadDate, s));
  }
}

namespace {
constexpr char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
}

std::string XmlEncodeBase64(std::string_view bytes) {
  std::string r;
  r.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    r += kB64[v >> 18];
    r += kB64[(v >> 12) & 63];
    r += kB64[(v >> 6) & 63];
    r += kB64[v & 63];
  }
  if (i < bytes.size()) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    r += kB64[v >> 18];
    r += kB64[(v >> 12) & 63];
    r += i + 1 < bytes.size() ? kB64[(v >> 6) & 63] : '=';
    r += '=';
  }
  return r;
}

std::string XmlDecodeBase64(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (char c : text)
    if (!IsBlankOrControl(static_cast<unsigned char>(c))) s += c;
  if (s.size() < 4) return {};
  if (s.size() % 4 != 0) throw EConvertError(T().BadBase64);
  static const std::array<int, 256> dec = [] {
    std::array<int, 256> d{};
    d.fill(-1);
    for (int i = 0; i < 64; ++i) d[static_cast<unsigned char>(kB64[i])] = i;
    return d;
  }();
  std::size_t pad = 0;
  if (s.back() == '=') ++pad;
  if (s.size() >= 2 && s[s.size() - 2] == '=') ++pad;
  std::string r;
  r.reserve(s.size() / 4 * 3);
  for (std::size_t i = 0; i < s.size(); i += 4) {
    unsigned v = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const std::size_t at = i + k;
      int d = dec[static_cast<unsigned char>(s[at])];
      if (d < 0) {
        if (s[at] == '=' && at >= s.size() - pad) {
          d = 0;
        } else {
          throw EConvertError(T().BadBase64);
        }
      }
      v = (v << 6) | static_cast<unsigned>(d);
    }
    r += static_cast<char>(v >> 16);
    r += static_cast<char>((v >> 8) & 0xFF);
    r += static_cast<char>(v & 0xFF);
  }
  r.resize(r.size() - pad);
  return r;
}

// ---------------------------------------------------------------------------
// XmlVariant

XmlVariant::XmlVariant(std::u16string_view w) : FType(XmlVarType::OleStr) {
  FStr.resize(w.size() * 2);
  for (std::size_t i = 0; i < w.size(); ++i) {
    FStr[2 * i] = static_cast<char>(w[i] & 0xFF);
    FStr[2 * i + 1] = static_cast<char>(w[i] >> 8);
  }
}

XmlVariant XmlVariant::Null() {
  XmlVariant v;
  v.FType = XmlVarType::Null;
  return v;
}

XmlVariant XmlVariant::OfInteger(XmlVarType type, std::int64_t value) {
  XmlVariant v;
  v.FType = type;
  switch (type) {
    case XmlVarType::Smallint: value = static_cast<std::int16_t>(value); break;
    case XmlVarType::Integer: value = static_cast<std::int32_t>(value); break;
    case XmlVarType::ShortInt: value = static_cast<std::int8_t>(value); break;
    case XmlVarType::Byte: value = static_cast<std::uint8_t>(value); break;
    case XmlVarType::Word: value = static_cast<std::uint16_t>(value); break;
    case XmlVarType::LongWord: value = static_cast<std::uint32_t>(value); break;
    case XmlVarType::Int64: break;
    default: OND_ASSERT(IsIntegerType(type));
  }
  v.FNum.I = value;
  return v;
}

XmlVariant XmlVariant::OfSingle(float value) {
  XmlVariant v;
  v.FType = XmlVarType::Single;
  v.FNum.D = value;
  return v;
}

XmlVariant XmlVariant::OfCurrency(std::int64_t fixed) {
  XmlVariant v;
  v.FType = XmlVarType::Currency;
  v.FNum.I = fixed;
  return v;
}

XmlVariant XmlVariant::OfDate(TDateTime value) {
  XmlVariant v;
  v.FType = XmlVarType::Date;
  v.FNum.D = value;
  return v;
}

XmlVariant XmlVariant::OfBytes(std::string_view bytes) {
  XmlVariant v;
  v.FType = XmlVarType::ByteArray;
  v.FStr = bytes;
  return v;
}

bool XmlVariant::IsNumeric() const noexcept {
  return IsIntegerType(FType) || FType == XmlVarType::Single || FType == XmlVarType::Double ||
         FType == XmlVarType::Currency || FType == XmlVarType::Boolean;
}

std::u16string XmlVariant::Wide() const {
  if (FType != XmlVarType::OleStr) return AnsiToUtf16(ToText());
  std::u16string w(FStr.size() / 2, u'\0');
  for (std::size_t i = 0; i < w.size(); ++i)
    w[i] = static_cast<char16_t>(static_cast<unsigned char>(FStr[2 * i]) |
                                 (static_cast<unsigned char>(FStr[2 * i + 1]) << 8));
  return w;
}

std::string XmlVariant::ToText() const {
  switch (FType) {
    case XmlVarType::Empty: return {};
    case XmlVarType::Null: return "{{null}}";
    case XmlVarType::Boolean: return FNum.I ? "1" : "0";
    case XmlVarType::Single:
    case XmlVarType::Double: return XmlFloatToText(FNum.D);
    case XmlVarType::Currency: return XmlFloatToText(static_cast<double>(FNum.I) / 10000.0);
    case XmlVarType::Date: return XmlDateToText(FNum.D);
    case XmlVarType::OleStr: return Utf16ToAnsi(Wide());
    case XmlVarType::String: return FStr;
    case XmlVarType::ByteArray: return XmlEncodeBase64(FStr);
    default: return IntToStr(FNum.I);
  }
}

std::int64_t XmlVariant::ToInt64() const {
  auto fromDouble = [this](double d) -> std::int64_t {
    if (!std::isfinite(d) || std::fabs(d) >= 9.2e18) CastError(FType, "Int64");
    return Round(d);
  };
  switch (FType) {
    case XmlVarType::Empty: return 0;
    case XmlVarType::Single:
    case XmlVarType::Double:
    case XmlVarType::Date: return fromDouble(FNum.D);
    case XmlVarType::Currency: return fromDouble(static_cast<double>(FNum.I) / 10000.0);
    case XmlVarType::String:
    case XmlVarType::OleStr: {
      const std::string s = Trim(ToText());
      std::int64_t v = 0;
      if (TryStrToInt(s, v)) return v;
      try {
        return fromDouble(XmlTextToFloat(s));
      } catch (const EConvertError&) {
        CastError(FType, "Integer");
      }
    }
    case XmlVarType::Null:
    case XmlVarType::ByteArray: CastError(FType, "Integer");
    default: return FNum.I;
  }
}

int XmlVariant::ToInt() const {
  const std::int64_t v = ToInt64();
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::uint32_t>::max())
    CastError(FType, "Integer");
  return static_cast<int>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
}

bool XmlVariant::ToBool() const {
  switch (FType) {
    case XmlVarType::Empty: return false;
    case XmlVarType::Single:
    case XmlVarType::Double:
    case XmlVarType::Date: return FNum.D != 0;
    case XmlVarType::String:
    case XmlVarType::OleStr: {
      const std::string s = Trim(ToText());
      if (SameText(s, "true")) return true;
      if (SameText(s, "false")) return false;
      std::int64_t v = 0;
      if (TryStrToInt(s, v)) return v != 0;
      try {
        return XmlTextToFloat(s) != 0;
      } catch (const EConvertError&) {
        CastError(FType, "Boolean");
      }
    }
    case XmlVarType::Null:
    case XmlVarType::ByteArray: CastError(FType, "Boolean");
    default: return FNum.I != 0;
  }
}

double XmlVariant::ToDouble() const {
  switch (FType) {
    case XmlVarType::Empty: return 0;
    case XmlVarType::Single:
    case XmlVarType::Double:
    case XmlVarType::Date: return FNum.D;
    case XmlVarType::Currency: return static_cast<double>(FNum.I) / 10000.0;
    case XmlVarType::String:
    case XmlVarType::OleStr:
      try {
        return XmlTextToFloat(ToText());
      } catch (const EConvertError&) {
        CastError(FType, "Double");
      }
    case XmlVarType::Null:
    case XmlVarType::ByteArray: CastError(FType, "Double");
    default: return static_cast<double>(FNum.I);
  }
}

TDateTime XmlVariant::ToDate() const {
  if (FType == XmlVarType::String || FType == XmlVarType::OleStr) return XmlTextToDate(ToText());
  if (FType == XmlVarType::Null || FType == XmlVarType::ByteArray) CastError(FType, "Date");
  return ToDouble();
}

bool XmlVariant::operator==(const XmlVariant& o) const noexcept {
  if (FType != o.FType) return false;
  switch (FType) {
    case XmlVarType::Empty:
    case XmlVarType::Null: return true;
    case XmlVarType::Single:
    case XmlVarType::Double:
    case XmlVarType::Date: return FNum.D == o.FNum.D;
    case XmlVarType::OleStr:
    case XmlVarType::String:
    case XmlVarType::ByteArray: return FStr == o.FStr;
    default: return FNum.I == o.FNum.I;
  }
}

}  // namespace ond
