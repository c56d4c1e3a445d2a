#include "highlight/XmlModel.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/core/CodePage.h"

namespace ond {

namespace {

// Messages are kept as the program has always shown them (question marks
// included); the source holds them in UTF-8 and they are used in code page 1251.
struct Texts {
  std::string ListIndex, NoChild, NotSupported, AttrNotSet, BadEnum, NoAttr;
  std::string ElementUnfinished, BadNameChar, AttrValueExpected, StringExpected, LessInAttr;
  std::string ExpectedS, ExpectedC, NameStart, RefExpected, NumberExpected, HexExpected, BadEntity;
  std::string BinWriteNode, BinReadNode, BinWriteValue, BinReadValue, BinReadData, BinBadNames;
  std::string TooDeep, NulChar, BadCharCode, StrayEndTag, OwnSubtree, BadBase64, BadDate, BadNumber;
};

const Texts& T() {
  static const Texts t = [] {
    Texts r;
    auto a = [](const char* s) { return Utf8ToAnsi(s); };
    r.ListIndex = a("Ошибка получения элемента списка: индекс выходи?за предел?");
    r.NoChild = a("Ошибка: не найден дочерний элемен?\"%s\".");
    r.NotSupported = a("Данн? возможност?не поддерживает? XmlModel");
    r.AttrNotSet = a("Не зада?атрибу?\"%s\"");
    r.BadEnum = a("Неверное значение атрибута \"%s\" элемента \"%s\".\r\nДопустимые значен?:\r\n%s");
    r.NoAttr = a("Не найден атрибу?\"%s\"");
    r.ElementUnfinished = a("Не завершен?определени?элемента");
    r.BadNameChar = a("Некорретны?символ ?имен?элемента");
    r.AttrValueExpected = a("Ожидается значение атрибута");
    r.StringExpected = a("Ожидается строковая констант?");
    r.LessInAttr = a("Символ \"<\" не може?использовать? ?значен??атрибуто?");
    r.ExpectedS = a("Ожидается \"%s\"");
    r.ExpectedC = a("Ожидается \"%c\"");
    r.NameStart = a("Имя должно начинать? ?букв?ил?\"_\"");
    r.RefExpected = a("Ожидается \"#\" ил?имя упрамляющег?символ?");
    r.NumberExpected = a("Ожидается числ?");
    r.HexExpected = a("Ожидается шестнадцатерично?числ?");
    r.BadEntity = a("Некорректное имя управляющег?символ?");
    r.BinWriteNode = a("Ошибка записи двоичног?XML: некорректный ти?узла");
    r.BinReadNode = a("Ошибка чтен? двоичног?XML: некорректный ти?узла");
    r.BinWriteValue = a("Ошибка записи значен?: некорректный ти?");
    r.BinReadValue = a("Ошибка чтен? значен?: некорректный ти?");
    r.BinReadData = a("Ошибка чтен? данных.");
    r.BinBadNames = a("Ошибка чтения двоичного XML: некорректная таблица имён");
    r.TooDeep = a("Слишком глубокая вложенность элементов (больше 512 уровней)");
    r.NulChar = a("Недопустимый символ с кодом 0");
    r.BadCharCode = a("Недопустимый код символа");
    r.StrayEndTag = a("Закрывающий тег без открывающего");
    r.OwnSubtree = a("Узел нельзя вставить в его собственное поддерево");
    r.BadBase64 = a("Некорректные данные base64");
    r.BadDate = a("Некорректная дата \"%s\"");
    r.BadNumber = a("\"%s\" не является числом");
    return r;
  }();
  return t;
}

std::string Fmt(const std::string& pattern, std::string_view arg) {
  std::string r;
  r.reserve(pattern.size() + arg.size());
  bool done = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (!done && pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'c')) {
      r += arg;
      ++i;
      done = true;
    } else {
      r += pattern[i];
    }
  }
  return r;
}

std::string Fmt2(const std::string& pattern, std::string_view a1, std::string_view a2, std::string_view a3) {
  // Three "%s" in order.
  std::string r;
  const std::string_view args[3] = {a1, a2, a3};
  int k = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (k < 3 && pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's') {
      r += args[k++];
      ++i;
    } else {
      r += pattern[i];
    }
  }
  return r;
}

[[noreturn]] void Fail(const std::string& msg) { throw Exception(msg); }

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

bool IsBlankOrControl(unsigned char c) { return c <= ' '; }

// Name character classes from the code page 1251 letter tables.
struct NameClasses {
  std::array<std::uint8_t, 256> f{};
  NameClasses() {
    for (int c = 1; c < 256; ++c) {
      const auto u = static_cast<unsigned char>(c);
      if (IsAnsiAlpha(u) || c == '_') f[u] |= 1;
      if (IsAnsiAlphaNumeric(u) || c == '-' || c == '.' || c == ':' || c == '_') f[u] |= 2;
    }
  }
};
const NameClasses& Names() {
  static const NameClasses n;
  return n;
}

bool IsPlainName(std::string_view s) {
  if (s.empty() || !IsXmlNameStart(static_cast<unsigned char>(s[0]))) return false;
  for (unsigned char c : s)
    if (!IsXmlNameChar(c)) return false;
  return true;
}

constexpr std::string_view kBinaryMagic = "< binary-xml >";

bool PreserveDefault = false;

XmlResourceLookup& ResourceLookup() {
  static XmlResourceLookup lookup;
  return lookup;
}

}  // namespace

const char* const XmlDefaultEncoding = "windows-1251";
const char* const XmlIndentUnit = "\t";
bool GetXmlDefaultPreserveWhiteSpace() noexcept { return PreserveDefault; }
void SetXmlDefaultPreserveWhiteSpace(bool v) noexcept { PreserveDefault = v; }
void SetXmlResourceLookup(XmlResourceLookup lookup) { ResourceLookup() = std::move(lookup); }

bool IsXmlNameStart(unsigned char c) noexcept { return (Names().f[c] & 1) != 0; }
bool IsXmlNameChar(unsigned char c) noexcept { return (Names().f[c] & 2) != 0; }

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

// ---------------------------------------------------------------------------
// Name table

TXmlNameTable::TXmlNameTable(int bucketCount) : FBuckets(static_cast<std::size_t>(std::max(bucketCount, 1))) {
  for (const char* n : {"#text", "#cdata-section", "#comment", "#document", "xml"}) GetID(n);
}

std::uint32_t TXmlNameTable::Hash(std::string_view name) noexcept {
  std::uint32_t h = 0;
  for (unsigned char c : name) h = h * 33 + c;
  return h;
}

int TXmlNameTable::GetID(std::string_view name) {
  if (name.empty()) return -1;
  auto& bucket = FBuckets[Hash(name) % FBuckets.size()];
  for (int id : bucket)
    if (FNames[static_cast<std::size_t>(id)] == name) return id;
  const int id = static_cast<int>(FNames.size());
  FNames.emplace_back(name);
  bucket.push_back(id);
  return id;
}

const std::string& TXmlNameTable::GetName(int id) const noexcept {
  static const std::string empty;
  if (id < 0 || static_cast<std::size_t>(id) >= FNames.size()) return empty;
  return FNames[static_cast<std::size_t>(id)];
}

IXmlNameTable XmlDefaultNameTable() {
  static const IXmlNameTable table = std::make_shared<TXmlNameTable>(4096);
  return table;
}

// ---------------------------------------------------------------------------
// Node list

IXmlNode TXmlNodeList::GetItem(int index) const {
  if (index < 0 || index >= GetCount()) throw EListError(T().ListIndex);
  return FItems[static_cast<std::size_t>(index)];
}

std::string TXmlNodeList::GetXML() const {
  std::string r;
  for (const auto& n : FItems) r += n->GetXML();
  return r;
}

namespace {
// Takes a node out of its parent's list without the parent's other rules.
void Detach(TXmlNode& node, TXmlNodeList* parentList) {
  if (parentList) parentList->Remove(&node);
}
}  // namespace

void TXmlNodeList::Insert(int index, const IXmlNode& node) {
  OND_ASSERT(node != nullptr);
  const IXmlNode keep = node;  // node may refer into a list we change below
  if (index < -1 || index > GetCount()) throw EListError(T().ListIndex);
  if (FOwner) {
    for (const TXmlNode* p = FOwner; p; p = p->FParent)
      if (p == keep.get()) Fail(T().OwnSubtree);
    if (keep->FParent == FOwner) {
      const int old = IndexOf(keep.get());
      if (old >= 0) {
        FItems.erase(FItems.begin() + old);
        if (index > old) --index;
      }
    } else if (keep->FParent) {
      Detach(*keep, keep->FParent->FChilds.get());
    }
  }
  if (index < 0 || index > GetCount()) index = GetCount();
  FItems.insert(FItems.begin() + index, keep);
  if (FOwner) {
    keep->FParent = FOwner;
    if (keep->FNameTable != FOwner->FNameTable) keep->SetNameTable(FOwner->FNameTable);
  }
}

int TXmlNodeList::Add(const IXmlNode& node) {
  Insert(-1, node);
  return IndexOf(node.get());
}

void TXmlNodeList::Delete(int index) {
  if (index < 0 || index >= GetCount()) throw EListError(T().ListIndex);
  const IXmlNode node = FItems[static_cast<std::size_t>(index)];
  FItems.erase(FItems.begin() + index);
  if (FOwner && node->FParent == FOwner) node->FParent = nullptr;
}

int TXmlNodeList::IndexOf(const TXmlNode* node) const noexcept {
  for (std::size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].get() == node) return static_cast<int>(i);
  return -1;
}

void TXmlNodeList::Remove(const TXmlNode* node) {
  const int i = IndexOf(node);
  if (i >= 0) Delete(i);
}

void TXmlNodeList::Replace(int index, const IXmlNode& node) {
  OND_ASSERT(node != nullptr);
  const IXmlNode keep = node;
  if (index < 0 || index >= GetCount()) throw EListError(T().ListIndex);
  if (FItems[static_cast<std::size_t>(index)] == keep) return;
  if (FOwner) {
    for (const TXmlNode* p = FOwner; p; p = p->FParent)
      if (p == keep.get()) Fail(T().OwnSubtree);
    if (keep->FParent == FOwner) {
      const int old = IndexOf(keep.get());
      if (old >= 0) {
        FItems.erase(FItems.begin() + old);
        if (index > old) --index;
      }
    } else if (keep->FParent) {
      Detach(*keep, keep->FParent->FChilds.get());
    }
  }
  IXmlNode& slot = FItems[static_cast<std::size_t>(index)];
  if (FOwner && slot->FParent == FOwner) slot->FParent = nullptr;
  slot = keep;
  if (FOwner) {
    keep->FParent = FOwner;
    if (keep->FNameTable != FOwner->FNameTable) keep->SetNameTable(FOwner->FNameTable);
  }
}

void TXmlNodeList::Clear() {
  if (FOwner)
    for (auto& n : FItems)
      if (n->FParent == FOwner) n->FParent = nullptr;
  FItems.clear();
}

// ---------------------------------------------------------------------------
// Nodes

TXmlNode::TXmlNode(IXmlNameTable nameTable)
    : FNameTable(nameTable ? std::move(nameTable) : XmlDefaultNameTable()) {}

TXmlNode::~TXmlNode() {
  if (FChilds) {
    for (auto& n : FChilds->FItems)
      if (n->FParent == this) n->FParent = nullptr;
    FChilds->FOwner = nullptr;
  }
}

std::string TXmlNode::GetNodeName() const { return FNameTable->GetName(GetNodeNameID()); }

std::string TXmlNode::GetText() { return {}; }
void TXmlNode::SetText(std::string_view) {}
XmlVariant TXmlNode::GetValue() { return XmlVariant(GetText()); }
void TXmlNode::SetValue(const XmlVariant& value) { SetText(value.ToText()); }

TXmlNodeList& TXmlNode::MakeChildList() {
  if (!FChilds) FChilds = std::make_shared<TXmlNodeList>(this);
  return *FChilds;
}

IXmlNodeList TXmlNode::GetChildNodes() {
  MakeChildList();
  return FChilds;
}

IXmlNode TXmlNode::GetParentNode() const { return FParent ? FParent->shared_from_this() : nullptr; }

IXmlDocument TXmlNode::GetOwnerDocument() {
  for (TXmlNode* p = this; p; p = p->FParent)
    if (p->GetNodeType() == XML_DOCUMENT_NODE) return std::static_pointer_cast<TXmlDocument>(p->shared_from_this());
  return nullptr;
}

bool TXmlNode::PreservesWhiteSpace() {
  for (TXmlNode* p = this; p; p = p->FParent)
    if (p->GetNodeType() == XML_DOCUMENT_NODE) return static_cast<TXmlDocument*>(p)->GetPreserveWhiteSpace();
  return PreserveDefault;
}

std::string TXmlNode::ConcatChildTexts() {
  std::string r;
  if (FChilds)
    for (auto& n : FChilds->FItems) {
      const int t = n->GetNodeType();
      if (t == XML_ELEMENT_NODE || t == XML_TEXT_NODE || t == XML_CDATA_SECTION_NODE) r += n->GetText();
    }
  return r;
}

void TXmlNode::SetNameTable(const IXmlNameTable& table) {
  if (FNameTable == table) return;
  const int id = GetNodeNameID();
  const int t = GetNodeType();
  if (t == XML_ELEMENT_NODE || t == XML_PROCESSING_INSTRUCTION_NODE) SetNodeNameID(table->GetID(FNameTable->GetName(id)));
  for (auto& a : FAttrs) a.NameID = table->GetID(FNameTable->GetName(a.NameID));
  if (FChilds)
    for (auto& n : FChilds->FItems) n->SetNameTable(table);
  FNameTable = table;
}

void TXmlNode::CopyAttrsAndChildren(TXmlNode& to, bool deep) {
  to.FAttrs = FAttrs;
  if (deep) {
    auto& list = MakeChildList();
    for (std::size_t i = 0; i < list.FItems.size(); ++i) to.AppendChild(list.FItems[i]->CloneNode(true));
  }
}

IXmlNode TXmlNode::CloneNode(bool deep) {
  IXmlNode n = NewSameKind();
  CopyAttrsAndChildren(*n, deep);
  return n;
}

IXmlNode TXmlNode::AppendChild(const IXmlNode& node) {
  MakeChildList().Insert(-1, node);
  return node;
}

IXmlNode TXmlNode::InsertBefore(const IXmlNode& node, const IXmlNode& before) {
  auto& list = MakeChildList();
  const int i = before ? list.IndexOf(before.get()) : -1;
  list.Insert(i, node);
  return node;
}

IXmlNode TXmlNode::ReplaceChild(const IXmlNode& newNode, const IXmlNode& oldNode) {
  auto& list = MakeChildList();
  const int i = list.IndexOf(oldNode.get());
  if (i >= 0) list.Replace(i, newNode);
  return oldNode;
}

IXmlNode TXmlNode::RemoveChild(const IXmlNode& node) {
  if (FChilds) FChilds->Remove(node.get());
  return node;
}

IXmlElement TXmlNode::AppendElement(int nameID) {
  auto e = std::make_shared<TXmlElement>(FNameTable, nameID);
  AppendChild(e);
  return e;
}

IXmlElement TXmlNode::AppendElement(std::string_view name) { return AppendElement(FNameTable->GetID(name)); }

IXmlText TXmlNode::AppendText(const XmlVariant& value) {
  auto t = std::make_shared<TXmlText>(FNameTable, value);
  AppendChild(t);
  return t;
}

IXmlCDATASection TXmlNode::AppendCDATA(std::string_view text) {
  auto t = std::make_shared<TXmlCDATASection>(FNameTable, std::string(text));
  AppendChild(t);
  return t;
}

IXmlComment TXmlNode::AppendComment(std::string_view text) {
  auto t = std::make_shared<TXmlComment>(FNameTable, std::string(text));
  AppendChild(t);
  return t;
}

IXmlProcessingInstruction TXmlNode::AppendProcessingInstruction(int targetID, std::string_view data) {
  auto t = std::make_shared<TXmlProcessingInstruction>(FNameTable, targetID, std::string(data));
  AppendChild(t);
  return t;
}

IXmlProcessingInstruction TXmlNode::AppendProcessingInstruction(std::string_view target, std::string_view data) {
  return AppendProcessingInstruction(FNameTable->GetID(target), data);
}

namespace {
IXmlElement FirstChildElement(TXmlNode& node, int nameID) {
  const TXmlNodeList* list = node.ChildListOrNull();
  if (!list || nameID < 0) return nullptr;
  for (int i = 0; i < list->GetCount(); ++i) {
    IXmlNode n = list->GetItem(i);
    if (n->GetNodeType() == XML_ELEMENT_NODE && n->GetNodeNameID() == nameID) return n->AsElement();
  }
  return nullptr;
}
}  // namespace

std::string TXmlNode::GetChildText(std::string_view name, std::string_view def) {
  return GetChildText(FNameTable->GetID(name), def);
}

std::string TXmlNode::GetChildText(int nameID, std::string_view def) {
  IXmlElement e = FirstChildElement(*this, nameID);
  return e ? e->GetText() : std::string(def);
}

void TXmlNode::SetChildText(std::string_view name, std::string_view text) { SetChildText(FNameTable->GetID(name), text); }
void TXmlNode::SetChildText(int nameID, std::string_view text) { ChildOrAppend(nameID)->SetText(text); }

IXmlElement TXmlNode::ChildOrError(std::string_view name) { return ChildOrError(FNameTable->GetID(name)); }

IXmlElement TXmlNode::ChildOrError(int nameID) {
  IXmlElement e = FirstChildElement(*this, nameID);
  if (!e) Fail(Fmt(T().NoChild, FNameTable->GetName(nameID)));
  return e;
}

IXmlElement TXmlNode::ChildOrAppend(std::string_view name) { return ChildOrAppend(FNameTable->GetID(name)); }

IXmlElement TXmlNode::ChildOrAppend(int nameID) {
  IXmlElement e = FirstChildElement(*this, nameID);
  return e ? e : AppendElement(nameID);
}

void TXmlNode::ClearChildren() {
  if (FChilds) FChilds->Clear();
}

IXmlNodeList TXmlNode::FindChildElements(std::string_view name) {
  if (!IsPlainName(name)) Fail(T().NotSupported);
  const int id = FNameTable->GetID(name);
  auto result = std::make_shared<TXmlNodeList>();
  if (FChilds)
    for (auto& n : FChilds->FItems)
      if (n->GetNodeType() == XML_ELEMENT_NODE && n->GetNodeNameID() == id) result->Insert(-1, n);
  return result;
}

IXmlElement TXmlNode::FindChildElement(std::string_view name) {
  if (!IsPlainName(name)) Fail(T().NotSupported);
  return FirstChildElement(*this, FNameTable->GetID(name));
}

IXmlElement TXmlNode::FindChildByAttr(std::string_view elementName, std::string_view attrName, std::string_view value) {
  const int id = FNameTable->GetID(elementName);
  const int attr = FNameTable->GetID(attrName);
  if (FChilds)
    for (auto& n : FChilds->FItems)
      if (n->GetNodeType() == XML_ELEMENT_NODE && n->GetNodeNameID() == id) {
        const TXmlAttr* a = n->FindAttr(attr);
        if (a && a->Value.ToText() == value) return n->AsElement();
      }
  return nullptr;
}

int TXmlNode::GetAttrNameID(int index) const {
  if (index < 0 || index >= GetAttrCount()) throw EListError(T().ListIndex);
  return FAttrs[static_cast<std::size_t>(index)].NameID;
}

std::string TXmlNode::GetAttrName(int index) const { return FNameTable->GetName(GetAttrNameID(index)); }

const TXmlAttr* TXmlNode::FindAttr(int nameID) const noexcept {
  for (const auto& a : FAttrs)
    if (a.NameID == nameID) return &a;
  return nullptr;
}

TXmlAttr* TXmlNode::FindAttr(int nameID) noexcept {
  for (auto& a : FAttrs)
    if (a.NameID == nameID) return &a;
  return nullptr;
}

void TXmlNode::RemoveAttr(std::string_view name) { RemoveAttr(FNameTable->GetID(name)); }

void TXmlNode::RemoveAttr(int nameID) {
  for (auto it = FAttrs.begin(); it != FAttrs.end(); ++it)
    if (it->NameID == nameID) {
      FAttrs.erase(it);
      return;
    }
}

bool TXmlNode::AttrExists(std::string_view name) { return AttrExists(FNameTable->GetID(name)); }
bool TXmlNode::AttrExists(int nameID) const noexcept { return FindAttr(nameID) != nullptr; }

XmlVarType TXmlNode::GetAttrType(int nameID) const {
  const TXmlAttr* a = FindAttr(nameID);
  return a ? a->Value.Type() : XmlVarType::String;
}
XmlVarType TXmlNode::GetAttrType(std::string_view name) { return GetAttrType(FNameTable->GetID(name)); }

XmlVariant TXmlNode::GetVariantAttr(int nameID, const XmlVariant& def) const {
  const TXmlAttr* a = FindAttr(nameID);
  return a ? a->Value : def;
}
XmlVariant TXmlNode::GetVariantAttr(std::string_view name, const XmlVariant& def) {
  return GetVariantAttr(FNameTable->GetID(name), def);
}

void TXmlNode::SetVariantAttr(int nameID, const XmlVariant& value) {
  if (TXmlAttr* a = FindAttr(nameID)) {
    a->Value = value;
  } else {
    FAttrs.push_back({nameID, value});
  }
}
void TXmlNode::SetVariantAttr(std::string_view name, const XmlVariant& value) {
  SetVariantAttr(FNameTable->GetID(name), value);
}

XmlVariant TXmlNode::AttrOrError(int nameID) const {
  const TXmlAttr* a = FindAttr(nameID);
  if (!a) Fail(Fmt(T().AttrNotSet, FNameTable->GetName(nameID)));
  return a->Value;
}
XmlVariant TXmlNode::AttrOrError(std::string_view name) { return AttrOrError(FNameTable->GetID(name)); }

std::string TXmlNode::GetAttr(int nameID, std::string_view def) const {
  const TXmlAttr* a = FindAttr(nameID);
  return a ? a->Value.ToText() : std::string(def);
}
std::string TXmlNode::GetAttr(std::string_view name, std::string_view def) {
  return GetAttr(FNameTable->GetID(name), def);
}
void TXmlNode::SetAttr(int nameID, std::string_view value) { SetVariantAttr(nameID, XmlVariant(value)); }
void TXmlNode::SetAttr(std::string_view name, std::string_view value) { SetAttr(FNameTable->GetID(name), value); }

bool TXmlNode::GetBoolAttr(int nameID, bool def) const {
  const TXmlAttr* a = FindAttr(nameID);
  return a ? a->Value.ToBool() : def;
}
bool TXmlNode::GetBoolAttr(std::string_view name, bool def) { return GetBoolAttr(FNameTable->GetID(name), def); }
void TXmlNode::SetBoolAttr(int nameID, bool value) { SetVariantAttr(nameID, XmlVariant(value)); }
void TXmlNode::SetBoolAttr(std::string_view name, bool value) { SetBoolAttr(FNameTable->GetID(name), value); }

int TXmlNode::GetIntAttr(int nameID, int def) const {
  const TXmlAttr* a = FindAttr(nameID);
  return a ? a->Value.ToInt() : def;
}
int TXmlNode::GetIntAttr(std::string_view name, int def) { return GetIntAttr(FNameTable->GetID(name), def); }
void TXmlNode::SetIntAttr(int nameID, int value) { SetVariantAttr(nameID, XmlVariant(value)); }
void TXmlNode::SetIntAttr(std::string_view name, int value) { SetIntAttr(FNameTable->GetID(name), value); }

TDateTime TXmlNode::GetDateTimeAttr(int nameID, TDateTime def) const {
  const TXmlAttr* a = FindAttr(nameID);
  return a ? a->Value.ToDate() : def;
}
TDateTime TXmlNode::GetDateTimeAttr(std::string_view name, TDateTime def) {
  return GetDateTimeAttr(FNameTable->GetID(name), def);
}
void TXmlNode::SetDateTimeAttr(int nameID, TDateTime value) { SetVariantAttr(nameID, XmlVariant::OfDate(value)); }
void TXmlNode::SetDateTimeAttr(std::string_view name, TDateTime value) {
  SetDateTimeAttr(FNameTable->GetID(name), value);
}

double TXmlNode::GetFloatAttr(int nameID, double def) const {
  const TXmlAttr* a = FindAttr(nameID);
  if (!a) return def;
  return a->Value.IsNumeric() ? a->Value.ToDouble() : XmlTextToFloat(a->Value.ToText());
}
double TXmlNode::GetFloatAttr(std::string_view name, double def) { return GetFloatAttr(FNameTable->GetID(name), def); }
void TXmlNode::SetFloatAttr(int nameID, double value) { SetVariantAttr(nameID, XmlVariant(value)); }
void TXmlNode::SetFloatAttr(std::string_view name, double value) { SetFloatAttr(FNameTable->GetID(name), value); }

int TXmlNode::GetHexAttr(int nameID, int def) const {
  const TXmlAttr* a = FindAttr(nameID);
  if (!a) return def;
  const std::string s = Trim(a->Value.ToText());
  std::uint64_t v = 0;
  auto res = std::from_chars(s.data(), s.data() + s.size(), v, 16);
  if (s.empty() || res.ec != std::errc() || res.ptr != s.data() + s.size() || v > 0xFFFFFFFFull)
    throw EConvertError("'" + s + "' is not a valid integer value");
  return static_cast<int>(static_cast<std::uint32_t>(v));
}
int TXmlNode::GetHexAttr(std::string_view name, int def) { return GetHexAttr(FNameTable->GetID(name), def); }
void TXmlNode::SetHexAttr(int nameID, int value, int digits) {
  SetAttr(nameID, IntToHex(static_cast<std::uint32_t>(value), digits));
}
void TXmlNode::SetHexAttr(std::string_view name, int value, int digits) {
  SetHexAttr(FNameTable->GetID(name), value, digits);
}

int TXmlNode::GetEnumAttr(std::string_view name, const std::vector<std::string>& values, int def) {
  return GetEnumAttr(FNameTable->GetID(name), values, def);
}

int TXmlNode::GetEnumAttr(int nameID, const std::vector<std::string>& values, int def) const {
  const TXmlAttr* a = FindAttr(nameID);
  if (!a) return def;
  const std::string text = a->Value.ToText();
  for (std::size_t i = 0; i < values.size(); ++i)
    if (AnsiSameText(values[i], text)) return static_cast<int>(i);
  std::string allowed;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) allowed += "\r\n";
    allowed += values[i];
  }
  Fail(Fmt2(T().BadEnum, FNameTable->GetName(nameID), GetNodeName(), allowed));
}

int TXmlNode::EnumAttrOrError(std::string_view name, const std::vector<std::string>& values) {
  return EnumAttrOrError(FNameTable->GetID(name), values);
}

int TXmlNode::EnumAttrOrError(int nameID, const std::vector<std::string>& values) const {
  if (!FindAttr(nameID)) Fail(Fmt(T().NoAttr, FNameTable->GetName(nameID)));
  return GetEnumAttr(nameID, values, -1);
}

XmlVariant TXmlNode::GetValueByPath(std::string_view path) {
  if (path.empty()) return GetValue();
  if (path[0] == '@') return GetVariantAttr(path.substr(1));
  IXmlElement e = FirstChildElement(*this, FNameTable->GetID(path));
  return e ? e->GetValue() : XmlVariant();
}

void TXmlNode::SetValueByPath(std::string_view path, const XmlVariant& value) {
  if (path.empty()) {
    SetValue(value);
  } else if (path[0] == '@') {
    SetVariantAttr(path.substr(1), value);
  } else {
    ChildOrAppend(path)->SetValue(value);
  }
}

// Element

TXmlNodeList& TXmlElement::MakeChildList() {
  TXmlNodeList& list = TXmlNode::MakeChildList();
  // A value held directly becomes a text child as soon as children are
  // touched, so it is neither hidden by nor lost behind later children.
  if (!FValue.IsEmpty() && !FValue.IsNull()) {
    auto t = std::make_shared<TXmlText>(FNameTable, std::move(FValue));
    FValue = XmlVariant();
    list.Insert(0, t);
  }
  return list;
}

std::string TXmlElement::GetText() {
  if (FChilds && FChilds->GetCount() > 0) return ConcatChildTexts();
  return FValue.ToText();
}

void TXmlElement::SetText(std::string_view text) {
  ClearChildren();
  FValue = XmlVariant(text);
}

XmlVariant TXmlElement::GetValue() {
  if (FChilds && FChilds->GetCount() > 0) return XmlVariant(ConcatChildTexts());
  return FValue;
}

void TXmlElement::SetValue(const XmlVariant& value) {
  ClearChildren();
  FValue = value;
}

IXmlElement TXmlElement::AsElement() { return std::static_pointer_cast<TXmlElement>(shared_from_this()); }

IXmlNode TXmlElement::NewSameKind() const { return std::make_shared<TXmlElement>(FNameTable, FNameID); }

void TXmlElement::RemoveTextChildren() {
  if (!FChilds) {
    FValue = XmlVariant();
    return;
  }
  MakeChildList();
  auto& items = FChilds->FItems;
  for (int i = static_cast<int>(items.size()) - 1; i >= 0; --i) {
    const int t = items[static_cast<std::size_t>(i)]->GetNodeType();
    if (t == XML_TEXT_NODE || t == XML_CDATA_SECTION_NODE) FChilds->Delete(i);
  }
}

void TXmlElement::SetCDATAText(std::string_view text) {
  RemoveTextChildren();
  for (;;) {
    const std::size_t at = text.find("]]>");
    if (at == std::string_view::npos) break;
    AppendCDATA(text.substr(0, at + 2));
    text.remove_prefix(at + 2);
  }
  AppendCDATA(text);
}

void TXmlElement::SetBinaryData(std::string_view data) {
  RemoveTextChildren();
  AppendText(XmlVariant(XmlEncodeBase64(data)));
}

std::string TXmlElement::GetBinaryData() { return XmlDecodeBase64(GetText()); }

// Text, character data, instructions

IXmlNode TXmlText::NewSameKind() const { return std::make_shared<TXmlText>(FNameTable, XmlVariant()); }
IXmlNode TXmlText::CloneNode(bool deep) {
  IXmlNode n = TXmlNode::CloneNode(deep);
  static_cast<TXmlText&>(*n).FValue = FValue;
  return n;
}
IXmlText TXmlText::AsText() { return std::static_pointer_cast<TXmlText>(shared_from_this()); }

std::string TXmlCharacterData::GetText() { return PreservesWhiteSpace() ? FData : Trim(FData); }
IXmlNode TXmlCharacterData::CloneNode(bool deep) {
  IXmlNode n = TXmlNode::CloneNode(deep);
  static_cast<TXmlCharacterData&>(*n).FData = FData;
  return n;
}

IXmlNode TXmlCDATASection::NewSameKind() const { return std::make_shared<TXmlCDATASection>(FNameTable, std::string()); }
IXmlCDATASection TXmlCDATASection::AsCDATASection() {
  return std::static_pointer_cast<TXmlCDATASection>(shared_from_this());
}
IXmlNode TXmlComment::NewSameKind() const { return std::make_shared<TXmlComment>(FNameTable, std::string()); }
IXmlComment TXmlComment::AsComment() { return std::static_pointer_cast<TXmlComment>(shared_from_this()); }

IXmlNode TXmlProcessingInstruction::NewSameKind() const {
  return std::make_shared<TXmlProcessingInstruction>(FNameTable, FNameID, std::string());
}
IXmlNode TXmlProcessingInstruction::CloneNode(bool deep) {
  IXmlNode n = TXmlNode::CloneNode(deep);
  static_cast<TXmlProcessingInstruction&>(*n).FData = FData;
  return n;
}
IXmlProcessingInstruction TXmlProcessingInstruction::AsProcessingInstruction() {
  return std::static_pointer_cast<TXmlProcessingInstruction>(shared_from_this());
}

// ---------------------------------------------------------------------------
// Writer

class TXmlWriter {
 public:
  TXmlWriter(std::string& out, bool preserve) : FOut(out), FPreserve(preserve) {}

  void Escape(std::string_view s) {
    std::size_t from = 0;
    for (;;) {
      const std::size_t at = s.find_first_of("\"&<>", from);
      if (at == std::string_view::npos) {
        FOut.append(s.data() + from, s.size() - from);
        return;
      }
      FOut.append(s.data() + from, at - from);
      switch (s[at]) {
        case '"': FOut += "&quot;"; break;
        case '&': FOut += "&amp;"; break;
        case '<': FOut += "&lt;"; break;
        default: FOut += "&gt;"; break;
      }
      from = at + 1;
    }
  }

  void Attrs(const TXmlNode& n) {
    for (const auto& a : n.FAttrs) {
      FOut += ' ';
      FOut += n.FNameTable->GetName(a.NameID);
      FOut += "=\"";
      if (a.Value.Type() == XmlVarType::String) {
        Escape(a.Value.Bytes());
      } else {
        Escape(a.Value.ToText());
      }
      FOut += '"';
    }
  }

  void Indent(int level) {
    static const std::string_view unit = XmlIndentUnit;
    for (int i = 0; i < level; ++i) FOut += unit;
  }

  void Children(TXmlNode& n, int level, int depth) {
    if (n.FChilds)
      for (auto& c : n.FChilds->FItems) Node(*c, level, depth);
  }

  void Node(TXmlNode& n, int level, int depth) {
    if (depth > XmlMaxDepth) Fail(T().TooDeep);
    switch (n.GetNodeType()) {
      case XML_ELEMENT_NODE: Element(static_cast<TXmlElement&>(n), level, depth); break;
      case XML_TEXT_NODE: {
        const XmlVariant& v = static_cast<TXmlText&>(n).FValue;
        if (v.Type() == XmlVarType::String) {
          Escape(v.Bytes());
        } else {
          Escape(v.ToText());
        }
        break;
      }
      case XML_CDATA_SECTION_NODE: {
        std::string_view text = static_cast<TXmlCDATASection&>(n).FData;
        for (;;) {
          const std::size_t at = text.find("]]>");
          FOut += "<![CDATA[";
          if (at == std::string_view::npos) {
            FOut += text;
            FOut += "]]>";
            break;
          }
          FOut += text.substr(0, at + 2);
          FOut += "]]>";
          text.remove_prefix(at + 2);
        }
        break;
      }
      case XML_COMMENT_NODE:
        FOut += "<!--";
        FOut += static_cast<TXmlComment&>(n).FData;
        FOut += "-->";
        break;
      case XML_PROCESSING_INSTRUCTION_NODE: {
        auto& pi = static_cast<TXmlProcessingInstruction&>(n);
        FOut += "<?";
        FOut += pi.GetNodeName();
        if (!pi.FData.empty()) {
          FOut += ' ';
          FOut += pi.FData;
        } else {
          Attrs(pi);
        }
        FOut += "?>";
        break;
      }
      case XML_DOCUMENT_NODE: Children(n, level, depth + 1); break;
      default: break;
    }
  }

  void Element(TXmlElement& e, int level, int depth) {
    const std::string& name = e.FNameTable->GetName(e.FNameID);
    if (!FPreserve) {
      FOut += "\r\n";
      Indent(level);
    }
    FOut += '<';
    FOut += name;
    Attrs(e);
    const std::size_t mark = FOut.size();
    FOut += '>';
    if (e.FChilds && e.FChilds->GetCount() > 0) {
      Children(e, level + 1, depth + 1);
    } else if (e.FValue.Type() == XmlVarType::String) {
      Escape(e.FValue.Bytes());
    } else {
      Escape(e.FValue.ToText());
    }
    if (FOut.size() == mark + 1) {
      FOut.back() = '/';
      FOut += '>';
      return;
    }
    if (!FPreserve) {
      const std::string_view content(FOut.data() + mark + 1, FOut.size() - mark - 1);
      if (content.find_first_of("\r\n") != std::string_view::npos) {
        if (content.size() < 2 || content.substr(content.size() - 2) != "\r\n") FOut += "\r\n";
        Indent(level);
      }
    }
    FOut += "</";
    FOut += name;
    FOut += '>';
  }

 private:
  std::string& FOut;
  bool FPreserve;
};

std::string TXmlNode::GetXML() {
  std::string out;
  TXmlWriter w(out, PreservesWhiteSpace());
  w.Node(*this, 0, 0);
  return out;
}

// ---------------------------------------------------------------------------
// Text parser

namespace {

// Input of the parser: a window [P, E) over the bytes, refilled by the stream
// kind. A NUL byte ends the window early and is reported when reached.
class TXmlSource {
 public:
  virtual ~TXmlSource() = default;
  // The current byte, -1 at the end of input.
  int Cur() {
    if (P == E && !Underflow()) return -1;
    return static_cast<unsigned char>(*P);
  }
  bool Underflow() {
    if (FNulHit) Fail(T().NulChar);
    return Fill();
  }
  const char* P = nullptr;
  const char* E = nullptr;

 protected:
  virtual bool Fill() { return false; }
  void SetWindow(const char* b, std::size_t n) {
    P = b;
    const void* z = n ? std::memchr(b, 0, n) : nullptr;
    if (z) {
      E = static_cast<const char*>(z);
      FNulHit = true;
    } else {
      E = b + n;
    }
  }
  bool FNulHit = false;
};

class TXmlStrSource : public TXmlSource {
 public:
  explicit TXmlStrSource(std::string_view s) { SetWindow(s.data(), s.size()); }
};

class TXmlStmSource : public TXmlSource {
 public:
  explicit TXmlStmSource(TStream& s) : FStream(s), FBuf(65536, '\0') {}

 protected:
  bool Fill() override {
    const std::int64_t n = FStream.Read(FBuf.data(), static_cast<std::int64_t>(FBuf.size()));
    if (n <= 0) return false;
    SetWindow(FBuf.data(), static_cast<std::size_t>(n));
    return true;
  }

 private:
  TStream& FStream;
  std::string FBuf;
};

}  // namespace

class TXmlParser {
 public:
  TXmlParser(TXmlSource& src, bool preserve) : S(src), FPreserve(preserve) {}

  // Reads nodes into node's children until the input ends or an end tag
  // starts; true when stopped at the "/" of an end tag.
  bool Children(TXmlNode& node, int depth, bool top) {
    std::string text;
    bool blank = true;
    for (;;) {
      int c = S.Cur();
      if (c < 0) {
        FlushText(node, text, blank);
        return false;
      }
      if (c != '<') {
        if (c == '&') {
          Reference(text);
          blank = false;
          continue;
        }
        const char* from = S.P;
        const char* p = from;
        if (blank) {
          while (p < S.E && static_cast<unsigned char>(*p) <= ' ') ++p;
          if (p < S.E && *p != '<' && *p != '&') blank = false;
        }
        while (p < S.E && *p != '<' && *p != '&') ++p;
        text.append(from, p);
        S.P = p;
        continue;
      }
      FlushText(node, text, blank);
      ++S.P;
      c = S.Cur();
      if (c == '/') {
        if (top) Fail(T().StrayEndTag);
        return true;
      }
      if (c == '?') {
        ++S.P;
        Instruction(node);
      } else if (c == '!') {
        ++S.P;
        Bang(node);
      } else {
        Element(node, depth);
      }
    }
  }

 private:
  static void Add(TXmlNode& parent, IXmlNode node) {
    node->FParent = &parent;
    auto& items = parent.MakeChildList().FItems;
    if (items.empty()) items.reserve(4);
    items.push_back(std::move(node));
  }

  void FlushText(TXmlNode& node, std::string& text, bool& blank) {
    if (text.empty()) return;
    if (FPreserve || !blank) Add(node, std::make_shared<TXmlText>(node.FNameTable, XmlVariant(std::move(text))));
    text.clear();
    blank = true;
  }

  void SkipBlanks() {
    for (;;) {
      if (S.P == S.E && !S.Underflow()) return;
      if (!IsBlankOrControl(static_cast<unsigned char>(*S.P))) return;
      ++S.P;
    }
  }

  void ExpectChar(char ch) {
    if (S.Cur() != static_cast<unsigned char>(ch)) Fail(Fmt(T().ExpectedC, std::string(1, ch)));
    ++S.P;
  }

  void ExpectText(std::string_view s) {
    for (char ch : s) {
      if (S.Cur() != static_cast<unsigned char>(ch)) Fail(Fmt(T().ExpectedS, s));
      ++S.P;
    }
  }

  // Reads up to the terminator, which is consumed; out (if given) gets the text.
  void Until(std::string_view term, std::string* out) {
    std::string local;
    std::string& buf = out ? *out : local;
    const char last = term.back();
    for (;;) {
      if (S.Cur() < 0) Fail(Fmt(T().ExpectedS, term));
      const char* from = S.P;
      const void* hit = std::memchr(from, last, static_cast<std::size_t>(S.E - from));
      if (!hit) {
        buf.append(from, S.E);
        S.P = S.E;
        continue;
      }
      const char* p = static_cast<const char*>(hit) + 1;
      buf.append(from, p);
      S.P = p;
      if (buf.size() >= term.size() && std::string_view(buf).substr(buf.size() - term.size()) == term) {
        buf.resize(buf.size() - term.size());
        return;
      }
      if (!out && buf.size() > term.size()) buf.erase(0, buf.size() - term.size());
    }
  }

  void Name(std::string& name) {
    const int c = S.Cur();
    if (c < 0 || !IsXmlNameStart(static_cast<unsigned char>(c))) Fail(T().NameStart);
    name.clear();
    for (;;) {
      if (S.P == S.E && !S.Underflow()) return;
      const char* from = S.P;
      const char* p = from;
      while (p < S.E && IsXmlNameChar(static_cast<unsigned char>(*p))) ++p;
      name.append(from, p);
      S.P = p;
      if (p < S.E) return;
    }
  }

  void Reference(std::string& out) {
    ++S.P;  // '&'
    int c = S.Cur();
    if (c < 0) Fail(T().RefExpected);
    if (c == '#') {
      ++S.P;
      c = S.Cur();
      std::uint32_t code = 0;
      int digits = 0;
      if (c == 'x') {
        ++S.P;
        for (;;) {
          c = S.Cur();
          int d;
          if (c >= '0' && c <= '9') d = c - '0';
          else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
          else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
          else break;
          if (++digits > 8) Fail(T().BadCharCode);
          code = code * 16 + static_cast<std::uint32_t>(d);
          ++S.P;
        }
        if (!digits) Fail(T().HexExpected);
      } else {
        while ((c = S.Cur()) >= '0' && c <= '9') {
          if (++digits > 8) Fail(T().BadCharCode);
          code = code * 10 + static_cast<std::uint32_t>(c - '0');
          ++S.P;
        }
        if (!digits) Fail(T().NumberExpected);
      }
      ExpectChar(';');
      if (code == 0) Fail(T().BadCharCode);
      if (code <= 255) {
        out += static_cast<char>(code);
      } else {
        const int b = code <= 0xFFFF ? WideToAnsi(static_cast<char16_t>(code)) : -1;
        if (b < 0) Fail(T().BadCharCode);
        out += static_cast<char>(b);
      }
      return;
    }
    char name[8];
    int n = 0;
    while (n < 5 && (c = S.Cur()) >= 0 && IsXmlNameChar(static_cast<unsigned char>(c))) {
      name[n++] = static_cast<char>(c);
      ++S.P;
    }
    const std::string_view nm(name, static_cast<std::size_t>(n));
    char ch;
    if (nm == "amp") ch = '&';
    else if (nm == "quot") ch = '"';
    else if (nm == "lt") ch = '<';
    else if (nm == "gt") ch = '>';
    else if (nm == "apos") ch = '\'';
    else Fail(T().BadEntity);
    ExpectChar(';');
    out += ch;
  }

  void Attributes(TXmlNode& node) {
    std::string value;
    for (;;) {
      SkipBlanks();
      int c = S.Cur();
      if (c < 0 || !IsXmlNameStart(static_cast<unsigned char>(c))) return;
      Name(FName);
      const int id = node.FNameTable->GetID(FName);
      SkipBlanks();
      ExpectChar('=');
      SkipBlanks();
      c = S.Cur();
      if (c < 0) Fail(T().AttrValueExpected);
      if (c != '"' && c != '\'') Fail(T().StringExpected);
      const char quote = static_cast<char>(c);
      ++S.P;
      value.clear();
      for (;;) {
        c = S.Cur();
        if (c < 0) Fail(Fmt(T().ExpectedS, std::string(1, quote)));
        if (c == quote) {
          ++S.P;
          break;
        }
        if (c == '<') Fail(T().LessInAttr);
        if (c == '&') {
          Reference(value);
          continue;
        }
        const char* from = S.P;
        const char* p = from;
        while (p < S.E && *p != quote && *p != '<' && *p != '&') ++p;
        value.append(from, p);
        S.P = p;
      }
      if (TXmlAttr* a = node.FindAttr(id)) {
        a->Value = XmlVariant(value);
      } else {
        if (node.FAttrs.empty()) node.FAttrs.reserve(4);
        node.FAttrs.push_back({id, XmlVariant(value)});
      }
    }
  }

  void Element(TXmlNode& parent, int depth) {
    if (depth >= XmlMaxDepth) Fail(T().TooDeep);
    Name(FName);
    const int c = S.Cur();
    if (c < 0) Fail(T().ElementUnfinished);
    if (!(IsBlankOrControl(static_cast<unsigned char>(c)) || c == '/' || c == '>')) Fail(T().BadNameChar);
    auto el = std::make_shared<TXmlElement>(parent.FNameTable, parent.FNameTable->GetID(FName));
    TXmlElement& e = *el;
    Add(parent, std::move(el));
    Attributes(e);
    if (S.Cur() == '/') {
      ExpectText("/>");
      return;
    }
    ExpectChar('>');
    Children(e, depth + 1, false);
    // At the "/" of the end tag, or at the end of input.
    const std::string& name = e.FNameTable->GetName(e.FNameID);
    if (S.Cur() != '/') Fail(Fmt(T().ExpectedS, name));
    ++S.P;
    for (char ch : name) {
      if (S.Cur() != static_cast<unsigned char>(ch)) Fail(Fmt(T().ExpectedS, name));
      ++S.P;
    }
    SkipBlanks();
    ExpectChar('>');
  }

  void Instruction(TXmlNode& parent) {
    Name(FName);
    const int id = parent.FNameTable->GetID(FName);
    auto pi = std::make_shared<TXmlProcessingInstruction>(parent.FNameTable, id, std::string());
    TXmlProcessingInstruction& p = *pi;
    Add(parent, std::move(pi));
    if (id == XmlXmlID) {
      Attributes(p);
      ExpectText("?>");
    } else {
      SkipBlanks();
      Until("?>", &p.FData);
    }
  }

  void Bang(TXmlNode& parent) {
    const int c = S.Cur();
    if (c == '-') {
      ExpectText("--");
      std::string text;
      Until("-->", &text);
      Add(parent, std::make_shared<TXmlComment>(parent.FNameTable, std::move(text)));
    } else if (c == '[') {
      ExpectText("[CDATA[");
      std::string text;
      Until("]]>", &text);
      Add(parent, std::make_shared<TXmlCDATASection>(parent.FNameTable, std::move(text)));
    } else {
      ExpectText("DOCTYPE");
      Until(">", nullptr);
    }
  }

  TXmlSource& S;
  bool FPreserve;
  std::string FName;
};

// ---------------------------------------------------------------------------
// Binary form

class TXmlBinaryWriter {
 public:
  explicit TXmlBinaryWriter(std::string& out) : FOut(out) {}

  void Int(std::int64_t n) {
    if (n >= 0 && n <= 127) {
      FOut += static_cast<char>(n);
    } else if (n >= 128 && n <= 32511) {
      FOut += static_cast<char>((n >> 8) | 0x80);
      FOut += static_cast<char>(n & 0xFF);
    } else {
      FOut += static_cast<char>(0xFF);
      Raw(static_cast<std::uint32_t>(n), 4);
    }
  }
  void Raw(std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) FOut += static_cast<char>((v >> (8 * i)) & 0xFF);
  }
  void Str(std::string_view s) {
    Int(static_cast<std::int64_t>(s.size()));
    FOut += s;
  }
  void Double(double d) {
    std::uint64_t v;
    std::memcpy(&v, &d, 8);
    Raw(v, 8);
  }

  void Value(const XmlVariant& v) {
    Int(static_cast<int>(v.Type()));
    switch (v.Type()) {
      case XmlVarType::Empty:
      case XmlVarType::Null: break;
      case XmlVarType::Smallint:
      case XmlVarType::Word: Raw(static_cast<std::uint64_t>(v.RawInt()), 2); break;
      case XmlVarType::Integer:
      case XmlVarType::LongWord: Raw(static_cast<std::uint64_t>(v.RawInt()), 4); break;
      case XmlVarType::Single: {
        const float f = static_cast<float>(v.RawDouble());
        std::uint32_t u;
        std::memcpy(&u, &f, 4);
        Raw(u, 4);
        break;
      }
      case XmlVarType::Double:
      case XmlVarType::Date: Double(v.RawDouble()); break;
      case XmlVarType::Currency:
      case XmlVarType::Int64: Raw(static_cast<std::uint64_t>(v.RawInt()), 8); break;
      case XmlVarType::OleStr: Str(v.ToText()); break;
      case XmlVarType::Boolean: Raw(v.RawInt() ? 0xFFFF : 0, 2); break;
      case XmlVarType::ShortInt:
      case XmlVarType::Byte: Raw(static_cast<std::uint64_t>(v.RawInt()), 1); break;
      case XmlVarType::String:
      case XmlVarType::ByteArray: Str(v.Bytes()); break;
      default: Fail(T().BinWriteValue);
    }
  }

  void NameTable(const TXmlNameTable& t) {
    Int(t.GetNameCount());
    for (int i = 0; i < t.GetNameCount(); ++i) Str(t.GetName(i));
    Int(t.GetBucketCount());
    int used = 0;
    for (int i = 0; i < t.GetBucketCount(); ++i) used += !t.GetBucket(i).empty();
    Int(used);
    for (int i = 0; i < t.GetBucketCount(); ++i) {
      const auto& b = t.GetBucket(i);
      if (b.empty()) continue;
      Int(i);
      Int(static_cast<std::int64_t>(b.size()));
      for (int id : b) Raw(static_cast<std::uint32_t>(id), 4);
    }
  }

  void Node(TXmlNode& n, int depth) {
    if (depth > XmlMaxDepth) Fail(T().TooDeep);
    Int(n.GetAttrCount());
    for (const auto& a : n.Attrs()) {
      Int(a.NameID);
      Value(a.Value);
    }
    const TXmlNodeList* list = n.ChildListOrNull();
    const int count = list ? list->GetCount() : 0;
    Int(count);
    for (int i = 0; i < count; ++i) {
      IXmlNode c = list->GetItem(i);
      const int type = c->GetNodeType();
      switch (type) {
        case XML_ELEMENT_NODE: {
          auto& e = static_cast<TXmlElement&>(*c);
          FOut += static_cast<char>(type);
          Int(e.GetNodeNameID());
          Value(e.OwnValue());
          Node(e, depth + 1);
          break;
        }
        case XML_TEXT_NODE:
          FOut += static_cast<char>(type);
          Value(static_cast<TXmlText&>(*c).FValue);
          break;
        case XML_CDATA_SECTION_NODE:
        case XML_COMMENT_NODE:
          FOut += static_cast<char>(type);
          Str(static_cast<TXmlCharacterData&>(*c).FData);
          break;
        case XML_PROCESSING_INSTRUCTION_NODE: {
          auto& p = static_cast<TXmlProcessingInstruction&>(*c);
          FOut += static_cast<char>(type);
          Int(p.GetNodeNameID());
          Str(p.FData);
          Node(p, depth + 1);
          break;
        }
        default: Fail(T().BinWriteNode);
      }
    }
  }

 private:
  std::string& FOut;
};

class TXmlBinaryReader {
 public:
  explicit TXmlBinaryReader(std::string_view data) : FData(data) {}

  std::uint32_t Options = 0;

  void Need(std::size_t n) {
    if (FData.size() - FPos < n) Fail(T().BinReadData);
  }
  std::size_t Left() const { return FData.size() - FPos; }
  std::uint8_t Byte() {
    Need(1);
    return static_cast<std::uint8_t>(FData[FPos++]);
  }
  std::uint64_t Raw(int bytes) {
    Need(static_cast<std::size_t>(bytes));
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<std::uint64_t>(static_cast<std::uint8_t>(FData[FPos + i])) << (8 * i);
    FPos += static_cast<std::size_t>(bytes);
    return v;
  }
  std::int32_t Int() {
    const std::uint8_t b = Byte();
    if (b < 0x80) return b;
    if (b == 0xFF) return static_cast<std::int32_t>(static_cast<std::uint32_t>(Raw(4)));
    return ((b & 0x7F) << 8) | Byte();
  }
  // A count or length that must fit in what is left, each item taking at least
  // minItemSize bytes.
  std::size_t Count(std::size_t minItemSize) {
    const std::int32_t n = Int();
    if (n < 0 || static_cast<std::size_t>(n) > Left() / minItemSize) Fail(T().BinReadData);
    return static_cast<std::size_t>(n);
  }
  std::string Str() {
    const std::size_t n = Count(1);
    std::string s(FData.substr(FPos, n));
    FPos += n;
    return s;
  }
  double Double() {
    const std::uint64_t v = Raw(8);
    double d;
    std::memcpy(&d, &v, 8);
    return d;
  }

  XmlVariant Value() {
    const std::int32_t code = Int();
    if (code < 0 || code > 0xFFFF) Fail(T().BinReadValue);
    switch (static_cast<XmlVarType>(code)) {
      case XmlVarType::Empty: return {};
      case XmlVarType::Null: return XmlVariant::Null();
      case XmlVarType::Smallint: return XmlVariant::OfInteger(XmlVarType::Smallint, static_cast<std::int16_t>(Raw(2)));
      case XmlVarType::Word: return XmlVariant::OfInteger(XmlVarType::Word, static_cast<std::int64_t>(Raw(2)));
      case XmlVarType::Integer: return XmlVariant::OfInteger(XmlVarType::Integer, static_cast<std::int32_t>(Raw(4)));
      case XmlVarType::LongWord: return XmlVariant::OfInteger(XmlVarType::LongWord, static_cast<std::int64_t>(Raw(4)));
      case XmlVarType::Single: {
        const auto u = static_cast<std::uint32_t>(Raw(4));
        float f;
        std::memcpy(&f, &u, 4);
        return XmlVariant::OfSingle(f);
      }
      case XmlVarType::Double: return XmlVariant(Double());
      case XmlVarType::Date: return XmlVariant::OfDate(Double());
      case XmlVarType::Currency: return XmlVariant::OfCurrency(static_cast<std::int64_t>(Raw(8)));
      case XmlVarType::Int64: return XmlVariant::OfInteger(XmlVarType::Int64, static_cast<std::int64_t>(Raw(8)));
      case XmlVarType::OleStr: return XmlVariant(std::u16string_view(AnsiToUtf16(Str())));
      case XmlVarType::Boolean: return XmlVariant(Raw(2) != 0);
      case XmlVarType::ShortInt: return XmlVariant::OfInteger(XmlVarType::ShortInt, static_cast<std::int8_t>(Raw(1)));
      case XmlVarType::Byte: return XmlVariant::OfInteger(XmlVarType::Byte, static_cast<std::int64_t>(Raw(1)));
      case XmlVarType::String: return XmlVariant(Str());
      case XmlVarType::ByteArray: return XmlVariant::OfBytes(Str());
    }
    Fail(T().BinReadValue);
  }

  IXmlNameTable NameTable() {
    const std::size_t count = Count(1);
    std::vector<std::string> names;
    names.reserve(count);
    for (std::size_t i = 0; i < count; ++i) names.push_back(Str());
    const std::int32_t buckets = Int();
    if (buckets < 1 || buckets > 65536) Fail(T().BinBadNames);
    auto table = std::make_shared<TXmlNameTable>(buckets);
    if (names.size() < 5) Fail(T().BinBadNames);
    for (std::size_t i = 0; i < names.size(); ++i)
      if (table->GetID(names[i]) != static_cast<int>(i)) Fail(T().BinBadNames);  // empty, reordered or repeated
    // The stored buckets must be exactly the ones the names hash to.
    const std::size_t used = Count(1);
    std::vector<bool> seen(names.size(), false);
    std::size_t ids = 0;
    for (std::size_t i = 0; i < used; ++i) {
      const std::int32_t index = Int();
      if (index < 0 || index >= buckets) Fail(T().BinBadNames);
      const std::size_t n = Count(4);
      for (std::size_t k = 0; k < n; ++k) {
        const auto id = static_cast<std::int32_t>(static_cast<std::uint32_t>(Raw(4)));
        if (id < 0 || static_cast<std::size_t>(id) >= names.size() || seen[static_cast<std::size_t>(id)] ||
            TXmlNameTable::Hash(names[static_cast<std::size_t>(id)]) % static_cast<std::uint32_t>(buckets) !=
                static_cast<std::uint32_t>(index))
          Fail(T().BinBadNames);
        seen[static_cast<std::size_t>(id)] = true;
        ++ids;
      }
    }
    if (ids != names.size()) Fail(T().BinBadNames);
    return table;
  }

  int NameID(const TXmlNameTable& table) {
    const std::int32_t id = Int();
    if (id < 0 || id >= table.GetNameCount()) Fail(T().BinBadNames);
    return id;
  }

  void Node(TXmlNode& n, int depth) {
    if (depth > XmlMaxDepth) Fail(T().TooDeep);
    const TXmlNameTable& table = *n.FNameTable;
    const std::size_t attrs = Count(2);
    for (std::size_t i = 0; i < attrs; ++i) {
      const int id = NameID(table);
      XmlVariant v = Value();
      if (TXmlAttr* a = n.FindAttr(id)) {
        a->Value = std::move(v);
      } else {
        n.FAttrs.push_back({id, std::move(v)});
      }
    }
    const std::size_t children = Count(1);
    for (std::size_t i = 0; i < children; ++i) {
      const std::uint8_t type = Byte();
      switch (type) {
        case XML_ELEMENT_NODE: {
          auto e = std::make_shared<TXmlElement>(n.FNameTable, NameID(table));
          e->FValue = Value();
          Add(n, e);
          Node(*e, depth + 1);
          break;
        }
        case XML_TEXT_NODE: Add(n, std::make_shared<TXmlText>(n.FNameTable, Value())); break;
        case XML_CDATA_SECTION_NODE: Add(n, std::make_shared<TXmlCDATASection>(n.FNameTable, Str())); break;
        case XML_COMMENT_NODE: Add(n, std::make_shared<TXmlComment>(n.FNameTable, Str())); break;
        case XML_PROCESSING_INSTRUCTION_NODE: {
          const int id = NameID(table);
          auto p = std::make_shared<TXmlProcessingInstruction>(n.FNameTable, id, Str());
          Add(n, p);
          Node(*p, depth + 1);
          break;
        }
        default: Fail(T().BinReadNode);
      }
    }
  }

  static void Add(TXmlNode& parent, const IXmlNode& node) { parent.MakeChildList().Insert(-1, node); }

 private:
  std::string_view FData;
  std::size_t FPos = 0;
};

// ---------------------------------------------------------------------------
// Document

TXmlDocument::TXmlDocument(IXmlNameTable nameTable)
    : TXmlNode(std::move(nameTable)), FPreserveWhiteSpace(PreserveDefault) {}

std::string TXmlDocument::GetText() { return ConcatChildTexts(); }

void TXmlDocument::SetText(std::string_view text) {
  ClearChildren();
  AppendText(XmlVariant(text));
}

IXmlNode TXmlDocument::NewSameKind() const {
  auto d = std::make_shared<TXmlDocument>(FNameTable);
  d->FPreserveWhiteSpace = FPreserveWhiteSpace;
  return d;
}

IXmlNode TXmlDocument::CloneNode(bool deep) { return TXmlNode::CloneNode(deep); }

IXmlElement TXmlDocument::GetDocumentElement() {
  if (FChilds)
    for (int i = 0; i < FChilds->GetCount(); ++i) {
      IXmlNode n = FChilds->GetItem(i);
      if (n->GetNodeType() == XML_ELEMENT_NODE) return n->AsElement();
    }
  return nullptr;
}

IXmlElement TXmlDocument::ResetDocument(std::string_view version, std::string_view encoding, int rootID) {
  ClearChildren();
  const std::string enc = encoding.empty() ? std::string(XmlDefaultEncoding) : std::string(encoding);
  AppendProcessingInstruction(XmlXmlID, "version=\"" + std::string(version) + "\" encoding=\"" + enc + "\"");
  return AppendElement(rootID);
}

IXmlElement TXmlDocument::ResetDocument(std::string_view version, std::string_view encoding, std::string_view root) {
  return ResetDocument(version, encoding, FNameTable->GetID(root));
}

IXmlElement TXmlDocument::CreateElement(int nameID) { return std::make_shared<TXmlElement>(FNameTable, nameID); }
IXmlElement TXmlDocument::CreateElement(std::string_view name) { return CreateElement(FNameTable->GetID(name)); }
IXmlText TXmlDocument::CreateText(const XmlVariant& value) { return std::make_shared<TXmlText>(FNameTable, value); }
IXmlCDATASection TXmlDocument::CreateCDATASection(std::string_view text) {
  return std::make_shared<TXmlCDATASection>(FNameTable, std::string(text));
}
IXmlComment TXmlDocument::CreateComment(std::string_view text) {
  return std::make_shared<TXmlComment>(FNameTable, std::string(text));
}
IXmlProcessingInstruction TXmlDocument::CreateProcessingInstruction(std::string_view target, std::string_view data) {
  return CreateProcessingInstruction(FNameTable->GetID(target), data);
}
IXmlProcessingInstruction TXmlDocument::CreateProcessingInstruction(int targetID, std::string_view data) {
  return std::make_shared<TXmlProcessingInstruction>(FNameTable, targetID, std::string(data));
}

void TXmlDocument::Reset() {
  ClearChildren();
  RemoveAllAttrs();
}

void TXmlDocument::LoadXML(std::string_view text) {
  if (text.substr(0, kBinaryMagic.size()) == kBinaryMagic) {
    LoadBinaryFromString(text);
    return;
  }
  Reset();
  TXmlStrSource src(text);
  TXmlParser(src, FPreserveWhiteSpace).Children(*this, 0, true);
}

void TXmlDocument::LoadBinaryFromString(std::string_view data) {
  Reset();
  if (data.substr(0, kBinaryMagic.size()) != kBinaryMagic) Fail(T().BinReadData);
  TXmlBinaryReader r(data.substr(kBinaryMagic.size()));
  r.Options = static_cast<std::uint32_t>(r.Raw(4));
  FNameTable = r.NameTable();
  r.Node(*this, 0);
}

void TXmlDocument::LoadFromStream(TStream& stream) {
  Reset();
  const std::int64_t left = stream.GetSize() - stream.GetPosition();
  if (left > static_cast<std::int64_t>(kBinaryMagic.size())) {
    std::string head(kBinaryMagic.size(), '\0');
    stream.ReadBuffer(head.data(), static_cast<std::int64_t>(head.size()));
    if (head == kBinaryMagic) {
      LoadBinaryFromString(head + stream.ReadAll());
      return;
    }
    stream.Seek(-static_cast<std::int64_t>(kBinaryMagic.size()), TSeekOrigin::soCurrent);
  }
  TXmlStmSource src(stream);
  TXmlParser(src, FPreserveWhiteSpace).Children(*this, 0, true);
}

void TXmlDocument::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead);
  LoadFromStream(f);
}

void TXmlDocument::LoadResource(std::string_view name, std::string_view type) {
  const XmlResourceLookup& lookup = ResourceLookup();
  if (!lookup) return;
  const std::optional<std::string> bytes = lookup(name, type);
  if (!bytes || bytes->empty()) return;
  LoadXML(*bytes);
}

void TXmlDocument::SaveToStream(TStream& stream) {
  const std::string text = GetXML();
  stream.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
}

void TXmlDocument::SaveToFile(const std::string& fileName) {
  TFileStream f(fileName, fmCreate);
  SaveToStream(f);
}

std::string TXmlDocument::SaveBinaryToString(std::uint32_t options) {
  std::string out(kBinaryMagic);
  TXmlBinaryWriter w(out);
  w.Raw(options, 4);
  w.NameTable(*FNameTable);
  w.Node(*this, 0);
  return out;
}

void TXmlDocument::SaveBinary(TStream& stream, std::uint32_t options) {
  const std::string data = SaveBinaryToString(options);
  stream.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
}

void TXmlDocument::SaveBinaryToFile(const std::string& fileName, std::uint32_t options) {
  TFileStream f(fileName, fmCreate);
  SaveBinary(f, options);
}

IXmlDocument CreateXmlDocument(std::string_view rootName, std::string_view version, std::string_view encoding,
                               IXmlNameTable nameTable) {
  auto doc = std::make_shared<TXmlDocument>(nameTable ? std::move(nameTable) : XmlDefaultNameTable());
  if (!rootName.empty()) doc->ResetDocument(version, encoding, rootName);
  return doc;
}

}  // namespace ond
