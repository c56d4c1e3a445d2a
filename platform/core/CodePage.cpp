#include "platform/core/CodePage.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ond {
namespace {

// Upper half of code page 1251 (bytes 0x80..0xFF).
constexpr char16_t kHigh[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F,
    0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F,
    0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

// Upper/lower pairs outside the A-Z and А-Я blocks.
constexpr unsigned char kCasePairs[][2] = {
    {0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C}, {0x8D, 0x9D}, {0x8E, 0x9E},
    {0x8F, 0x9F}, {0xA1, 0xA2}, {0xA3, 0xBC}, {0xA5, 0xB4}, {0xA8, 0xB8}, {0xAA, 0xBA},
    {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE},
};

struct Tables {
  std::array<unsigned char, 256> upper{};
  std::array<unsigned char, 256> lower{};
  std::array<std::uint8_t, 256> flags{};  // 1 upper, 2 lower, 4 other letter, 8 digit
  std::array<std::int16_t, 0x2200> fromWide{};  // enough for every 1251 character

  Tables() {
    for (int i = 0; i < 256; ++i) upper[i] = lower[i] = static_cast<unsigned char>(i);
    for (int c = 'a'; c <= 'z'; ++c) {
      upper[c] = static_cast<unsigned char>(c - 32);
      lower[c - 32] = static_cast<unsigned char>(c);
      flags[c] |= 2;
      flags[c - 32] |= 1;
    }
    for (int c = 0xE0; c <= 0xFF; ++c) {
      upper[c] = static_cast<unsigned char>(c - 32);
      lower[c - 32] = static_cast<unsigned char>(c);
      flags[c] |= 2;
      flags[c - 32] |= 1;
    }
    for (auto& p : kCasePairs) {
      upper[p[1]] = p[0];
      lower[p[0]] = p[1];
      flags[p[0]] |= 1;
      flags[p[1]] |= 2;
    }
    flags[0xB5] |= 2;  // micro sign: a small letter whose capital this code page lacks
    for (int c = '0'; c <= '9'; ++c) flags[c] |= 8;
    fromWide.fill(-1);
    for (int i = 0; i < 128; ++i) fromWide[i] = static_cast<std::int16_t>(i);
    for (int i = 0; i < 128; ++i) fromWide[kHigh[i]] = static_cast<std::int16_t>(0x80 + i);
  }
};

const Tables& T() {
  static const Tables t;
  return t;
}

}  // namespace

char16_t AnsiToWide(unsigned char c) noexcept { return c < 0x80 ? c : kHigh[c - 0x80]; }

int WideToAnsi(char16_t w) noexcept {
  const auto& t = T();
  return w < t.fromWide.size() ? t.fromWide[w] : -1;
}

unsigned char AnsiUpperChar(unsigned char c) noexcept { return T().upper[c]; }
unsigned char AnsiLowerChar(unsigned char c) noexcept { return T().lower[c]; }
bool IsAnsiAlpha(unsigned char c) noexcept { return (T().flags[c] & 7) != 0; }
bool IsAnsiAlphaNumeric(unsigned char c) noexcept { return T().flags[c] != 0; }
bool IsDefaultIdentChar(unsigned char c) noexcept {
  constexpr unsigned char kUpperYo = 0xA8, kLowerYo = 0xB8, kUpperA = 0xC0;
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= kUpperA ||
         c == kUpperYo || c == kLowerYo;
}
bool IsAnsiUpper(unsigned char c) noexcept { return (T().flags[c] & 1) != 0; }
bool IsAnsiLower(unsigned char c) noexcept { return (T().flags[c] & 2) != 0; }

void AnsiUpperBuff(char* p, std::size_t n) noexcept {
  const auto& up = T().upper;
  for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<char>(up[static_cast<unsigned char>(p[i])]);
}

void AnsiLowerBuff(char* p, std::size_t n) noexcept {
  const auto& lo = T().lower;
  for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<char>(lo[static_cast<unsigned char>(p[i])]);
}

std::string AnsiUpperCase(std::string_view s) {
  std::string r(s);
  AnsiUpperBuff(r.data(), r.size());
  return r;
}

std::string AnsiLowerCase(std::string_view s) {
  std::string r(s);
  AnsiLowerBuff(r.data(), r.size());
  return r;
}

std::string AsciiUpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return r;
}

std::string AsciiLowerCase(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return r;
}

int AnsiCompareText(std::string_view a, std::string_view b) noexcept {
  const auto& up = T().upper;
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const int x = up[static_cast<unsigned char>(a[i])];
    const int y = up[static_cast<unsigned char>(b[i])];
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool AnsiSameText(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() && AnsiCompareText(a, b) == 0;
}

std::u16string AnsiToUtf16(std::string_view s) {
  std::u16string r(s.size(), u'\0');
  for (std::size_t i = 0; i < s.size(); ++i) r[i] = AnsiToWide(static_cast<unsigned char>(s[i]));
  return r;
}

std::string Utf16ToAnsi(std::u16string_view s, std::size_t* replaced) {
  std::string r(s.size(), '\0');
  std::size_t bad = 0;
  std::size_t o = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t w = s[i];
    // A surrogate pair is one character and becomes one '?'.
    if (w >= 0xD800 && w <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) ++i;
    const int b = WideToAnsi(w);
    if (b < 0) {
      ++bad;
      r[o++] = DefaultAnsiChar;
    } else {
      r[o++] = static_cast<char>(b);
    }
  }
  r.resize(o);
  if (replaced) *replaced += bad;
  return r;
}

namespace {

// Decodes one UTF-8 character at p[0..n). Returns its length, or 0 when the
// bytes there are not a well-formed, shortest-form sequence (the caller then
// takes one byte as U+FFFD).
std::size_t DecodeUtf8(const unsigned char* p, std::size_t n, std::uint32_t& cp) noexcept {
  const unsigned c = p[0];
  if (c < 0x80) {
    cp = c;
    return 1;
  }
  std::size_t len = 0;
  std::uint32_t min = 0;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2; cp = c & 0x1F; min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3; cp = c & 0x0F; min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4; cp = c & 0x07; min = 0x10000;
  } else {
    return 0;
  }
  if (len > n) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    if ((p[k] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[k] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view s, std::size_t* invalid) {
  std::u16string r;
  r.reserve(s.size());
  std::size_t bad = 0;
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  std::size_t i = 0;
  while (i < n) {
    std::uint32_t cp = 0;
    const std::size_t len = DecodeUtf8(p + i, n - i, cp);
    if (len == 0) {
      r.push_back(u'\xFFFD');
      ++bad;
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      r.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      r.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      r.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  if (invalid) *invalid += bad;
  return r;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string r;
  r.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    std::uint32_t cp = s[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x80) {
      r.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      r.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      r.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      r.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      r.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      r.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      r.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      r.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      r.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      r.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return r;
}

namespace {

// The UTF-8 form of every byte: its bytes in the low three bytes of a word
// and their count in the top one, so a byte converts without a branch.
struct Utf8Forms {
  std::array<std::uint32_t, 256> form{};
  Utf8Forms() {
    for (unsigned c = 0; c < 256; ++c) {
      const char16_t w = AnsiToWide(static_cast<unsigned char>(c));
      if (w < 0x80)
        form[c] = w | (1u << 24);
      else if (w < 0x800)
        form[c] = (0xC0u | (w >> 6)) | ((0x80u | (w & 0x3Fu)) << 8) | (2u << 24);
      else
        form[c] = (0xE0u | (w >> 12)) | ((0x80u | ((w >> 6) & 0x3Fu)) << 8) | ((0x80u | (w & 0x3Fu)) << 16) |
                  (3u << 24);
    }
  }
};

const Utf8Forms& U8() {
  static const Utf8Forms forms;
  return forms;
}

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

#if defined(__SSE2__)
constexpr bool kDecodeInBlocks = true;
#else
constexpr bool kDecodeInBlocks = false;
#endif

}  // namespace

void AppendAnsiAsUtf8(std::string_view s, std::string& out) {
  const auto& form = U8().form;
  // Converted through a small buffer in the cache and appended from there:
  // the result is written once, never zero-filled first. Every byte's form is
  // stored whole (four bytes) and the position moves by its length, so the
  // buffer has room for one more.
  constexpr std::size_t kChunk = 4096;
  char buf[kChunk * 3 + 1];
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  // Room for the longest result: only the pages written are ever used.
  out.reserve(out.size() + 3 * n);
  std::size_t i = 0;
  while (i < n) {
    const std::size_t stop = std::min(n, i + kChunk);
    std::size_t o = 0;
    // Runs of ASCII, the bulk of config text, go eight bytes at a time; a
    // word holding other bytes goes byte by byte.
    for (; i + 8 <= stop; i += 8) {
      std::uint64_t w;
      std::memcpy(&w, p + i, 8);
      if ((w & kHighBits) == 0) {
        std::memcpy(buf + o, &w, 8);
        o += 8;
        continue;
      }
      for (std::size_t k = 0; k < 8; ++k) {
        const std::uint32_t f = form[p[i + k]];
        std::memcpy(buf + o, &f, 4);
        o += f >> 24;
      }
    }
    for (; i < stop; ++i) {
      const std::uint32_t f = form[p[i]];
      std::memcpy(buf + o, &f, 4);
      o += f >> 24;
    }
    out.append(buf, o);
  }
}

std::string AnsiToUtf8(std::string_view s) {
  std::string r;
  AppendAnsiAsUtf8(s, r);
  return r;
}

std::size_t Utf8ToAnsiInto(const char* in, std::size_t n, char* out, std::size_t* replaced) noexcept {
  const auto* p = reinterpret_cast<const unsigned char*>(in);
  const auto& fw = T().fromWide;
  std::size_t i = 0, o = 0, bad = 0;
  // Every character read gives one byte and takes at least one, so the write
  // position never passes the read position: the output may be the input.
  // A block of sixteen bytes is stored whole, ASCII and not, and only its
  // ASCII start is kept; that is harmless where the block lies wholly before
  // the bytes still to read, which in place holds once the text has shrunk
  // by sixteen bytes (and at once in a buffer of its own).
  const auto inAt = reinterpret_cast<std::uintptr_t>(in);
  const auto outAt = reinterpret_cast<std::uintptr_t>(out);
  const bool apart = outAt + n <= inAt || outAt >= inAt + n;
  while (i < n) {
#if defined(__SSE2__)
    // Runs of ASCII, the bulk of config text, go sixteen bytes at a time.
    while (i + 16 <= n) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      const auto high = static_cast<unsigned>(_mm_movemask_epi8(v));
      if (high == 0) {
        // Loaded before it is stored: overlapping is harmless.
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), v);
        i += 16;
        o += 16;
        continue;
      }
      const auto plain = static_cast<std::size_t>(__builtin_ctz(high));
      if (apart || inAt + i + plain >= outAt + o + 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o), v);
      } else {
        for (std::size_t k = 0; k < plain; ++k) out[o + k] = static_cast<char>(p[i + k]);
      }
      i += plain;
      o += plain;
      break;
    }
#endif
    // The characters beyond ASCII, up to the next ASCII byte (or, near the
    // end, everything left one by one).
    while (i < n) {
      const unsigned c = p[i];
      if (c < 0x80) {
        if (kDecodeInBlocks && i + 16 <= n) break;
        out[o++] = static_cast<char>(c);
        ++i;
        continue;
      }
#if defined(__SSE2__)
      // Russian letters А..я (U+0410..U+044F) lie in code page 1251 in the
      // same order, from 0xC0: a run of eight of them is decoded at once.
      // The eight bytes stored lie before the sixteen read, so this is safe
      // in place too.
      if ((c & 0xFEu) == 0xD0 && i + 16 <= n) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        // Per pair (lead in the low byte): lead D0/D1, a continuation byte,
        // and the letter's place in U+0400..U+047F.
        const __m128i lead = _mm_and_si128(v, _mm_set1_epi16(0x00FE));
        const __m128i cont = _mm_and_si128(v, _mm_set1_epi16(static_cast<short>(0xC000)));
        const __m128i pairs = _mm_and_si128(_mm_cmpeq_epi16(lead, _mm_set1_epi16(0x00D0)),
                                            _mm_cmpeq_epi16(cont, _mm_set1_epi16(static_cast<short>(0x8000))));
        const __m128i index = _mm_or_si128(_mm_slli_epi16(_mm_and_si128(v, _mm_set1_epi16(1)), 6),
                                           _mm_and_si128(_mm_srli_epi16(v, 8), _mm_set1_epi16(0x3F)));
        // 0x10..0x4F lies in range exactly when index - 0x10 (as a signed
        // lane) is below 0x40.
        const __m128i inRange =
            _mm_cmplt_epi16(_mm_sub_epi16(index, _mm_set1_epi16(0x10)), _mm_set1_epi16(0x40));
        const __m128i letters = _mm_and_si128(pairs, _mm_and_si128(inRange, _mm_cmpgt_epi16(index, _mm_set1_epi16(0x0F))));
        if (_mm_movemask_epi8(letters) == 0xFFFF) {
          const __m128i bytes = _mm_add_epi16(index, _mm_set1_epi16(0xB0));
          _mm_storel_epi64(reinterpret_cast<__m128i*>(out + o), _mm_packus_epi16(bytes, bytes));
          i += 16;
          o += 8;
          continue;
        }
      }
#endif
      // Two-byte sequences (Cyrillic among them) straight through the table.
      if (c >= 0xC2 && c <= 0xDF && i + 1 < n && (p[i + 1] & 0xC0) == 0x80) {
        const int b = fw[((c & 0x1Fu) << 6) | (p[i + 1] & 0x3Fu)];
        bad += b < 0;
        out[o++] = b < 0 ? DefaultAnsiChar : static_cast<char>(b);
        i += 2;
        continue;
      }
      std::uint32_t cp = 0;
      const std::size_t len = DecodeUtf8(p + i, n - i, cp);
      const int b = len != 0 && cp < fw.size() ? fw[cp] : -1;
      bad += b < 0;
      out[o++] = b < 0 ? DefaultAnsiChar : static_cast<char>(b);
      i += len != 0 ? len : 1;
    }
  }
  if (replaced) *replaced += bad;
  return o;
}

std::string Utf8ToAnsi(std::string_view s, std::size_t* replaced) {
  // Decoded through a small buffer in the cache and appended from there: the
  // result is written once, never zero-filled first.
  constexpr std::size_t kChunk = 16384;
  char buf[kChunk];
  std::string r;
  r.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t stop = std::min(s.size(), i + kChunk);
    // A chunk ends before a character that would run past it (at most three
    // bytes back, or none when the bytes there are not UTF-8 anyway).
    if (stop < s.size()) {
      std::size_t k = stop;
      while (k > stop - 3 && (static_cast<unsigned char>(s[k]) & 0xC0) == 0x80) --k;
      if ((static_cast<unsigned char>(s[k]) & 0xC0) != 0x80) stop = k;
    }
    r.append(buf, Utf8ToAnsiInto(s.data() + i, stop - i, buf, replaced));
    i = stop;
  }
  return r;
}

std::size_t Utf8ToAnsiInPlace(std::string& bytes, std::size_t from, std::size_t* replaced) noexcept {
  if (from > bytes.size()) from = bytes.size();
  const std::size_t n = Utf8ToAnsiInto(bytes.data() + from, bytes.size() - from, bytes.data(), replaced);
  bytes.resize(n);
  return n;
}

bool IsValidCodePage(unsigned cp) noexcept {
  return cp == CP_ACP || cp == CP_1251 || cp == CP_UTF7 || cp == CP_UTF8 || cp == CP_UTF16LE ||
         cp == CP_UTF16BE;
}

namespace {

// UTF-7 is rare enough that glibc's converter serves; it is the only code page
// not done with our own tables.
bool IconvConvert(const char* to, const char* from, std::string_view in, std::string& out) {
  static std::mutex m;
  std::lock_guard<std::mutex> lock(m);
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.clear();
  char* ip = const_cast<char*>(in.data());
  std::size_t il = in.size();
  char buf[4096];
  while (il > 0) {
    char* op = buf;
    std::size_t ol = sizeof buf;
    const std::size_t rc = iconv(cd, &ip, &il, &op, &ol);
    out.append(buf, static_cast<std::size_t>(op - buf));
    if (rc == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // Skip one bad unit and go on, like the platform's lenient conversion.
      if (errno == EILSEQ || errno == EINVAL) {
        const std::size_t skip = std::string_view(from) == "UTF-16LE" ? 2 : 1;
        const std::size_t k = skip < il ? skip : il;
        ip += k;
        il -= k;
        continue;
      }
      break;
    }
  }
  char* op = buf;
  std::size_t ol = sizeof buf;
  iconv(cd, nullptr, nullptr, &op, &ol);
  out.append(buf, static_cast<std::size_t>(op - buf));
  iconv_close(cd);
  return true;
}

}  // namespace

bool MultiByteToWideChar(unsigned codePage, std::string_view bytes, std::u16string& out) {
  switch (codePage) {
    case CP_ACP:
    case CP_1251:
      out = AnsiToUtf16(bytes);
      return true;
    case CP_UTF8:
      out = Utf8ToUtf16(bytes);
      return true;
    case CP_UTF16LE:
    case CP_UTF16BE: {
      const bool be = codePage == CP_UTF16BE;
      out.resize(bytes.size() / 2);
      for (std::size_t i = 0; i < out.size(); ++i) {
        const auto a = static_cast<unsigned char>(bytes[2 * i]);
        const auto b = static_cast<unsigned char>(bytes[2 * i + 1]);
        out[i] = static_cast<char16_t>(be ? (a << 8) | b : (b << 8) | a);
      }
      return true;
    }
    case CP_UTF7: {
      std::string le;
      if (!IconvConvert("UTF-16LE", "UTF-7", bytes, le)) return false;
      return MultiByteToWideChar(CP_UTF16LE, le, out);
    }
    default:
      return false;
  }
}

bool WideCharToMultiByte(unsigned codePage, std::u16string_view text, std::string& out,
                         std::size_t* replaced) {
  switch (codePage) {
    case CP_ACP:
    case CP_1251:
      out = Utf16ToAnsi(text, replaced);
      return true;
    case CP_UTF8:
      out = Utf16ToUtf8(text);
      return true;
    case CP_UTF16LE:
    case CP_UTF16BE: {
      const bool be = codePage == CP_UTF16BE;
      out.resize(text.size() * 2);
      for (std::size_t i = 0; i < text.size(); ++i) {
        const auto hi = static_cast<char>(text[i] >> 8);
        const auto lo = static_cast<char>(text[i] & 0xFF);
        out[2 * i] = be ? hi : lo;
        out[2 * i + 1] = be ? lo : hi;
      }
      return true;
    }
    case CP_UTF7: {
      std::string le;
      WideCharToMultiByte(CP_UTF16LE, text, le);
      return IconvConvert("UTF-7", "UTF-16LE", le, out);
    }
    default:
      return false;
  }
}

}  // namespace ond
