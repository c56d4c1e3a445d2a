#include "platform/core/SysUtils.h"

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/core/CodePage.h"

namespace ond {

// Out of line, so that the frames of the constructors that lead here stand
// between the capture and the throw site on every build type.
__attribute__((noinline)) Exception::Exception(std::string message) : Message(std::move(message)) {
  try {
    CallStack = std::make_shared<const TCallStack>(CaptureCallStack(1));
  } catch (const std::bad_alloc&) {
    // Without memory the exception still carries its message.
  }
}

void AssertFailed(const char* expr, const char* file, int line) {
  std::string f(file);
  const auto slash = f.find_last_of("/\\");
  if (slash != std::string::npos) f.erase(0, slash + 1);
  throw EAssertionFailed("Assertion failed: " + std::string(expr) + " (" + f + ", line " +
                         std::to_string(line) + ")");
}

namespace {
std::atomic<TErrorTextSource> ErrorTextSource{nullptr};
}  // namespace

void SetErrorTextSource(TErrorTextSource source) { ErrorTextSource.store(source); }

std::string SystemErrorText(int err) {
  if (const TErrorTextSource source = ErrorTextSource.load()) {
    std::string text;
    if (source(err, text)) return text;
  }
  return SystemErrorTextOfSystem(err);
}

std::string SystemErrorTextOfSystem(int err) {
  char buf[256];
  // The GNU form returns the text, which need not be in buf.
  const char* text = ::strerror_r(err, buf, sizeof buf);
  return Utf8ToAnsi(text ? text : "");
}

std::string MessagesLocale() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
    if (const char* v = std::getenv(name); v && *v) return v;
  return "C";
}

std::string IntToStr(std::int64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string IntToHex(std::uint64_t v, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string r;
  do {
    r.insert(r.begin(), kDigits[v & 15]);
    v >>= 4;
  } while (v != 0);
  while (static_cast<int>(r.size()) < digits) r.insert(r.begin(), '0');
  return r;
}

bool TryStrToInt(std::string_view s, std::int64_t& v) {
  if (s.empty()) return false;
  const char* b = s.data();
  const char* e = s.data() + s.size();
  if (*b == '+') ++b;
  if (b == e) return false;
  auto r = std::from_chars(b, e, v);
  return r.ec == std::errc() && r.ptr == e;
}

int StrToIntDef(std::string_view s, int def) {
  std::int64_t v = 0;
  if (!TryStrToInt(s, v) || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
    return def;
  return static_cast<int>(v);
}

std::int64_t Round(double v) {
  if (!std::isfinite(v)) return 0;
  const double r = std::nearbyint(v);  // default rounding mode: ties to even
  if (r >= 9.2233720368547758e18) return std::numeric_limits<std::int64_t>::max();
  if (r <= -9.2233720368547758e18) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(r);
}

int MulDiv(int a, int b, int c) {
  if (c == 0) return -1;
  const std::int64_t p = static_cast<std::int64_t>(a) * b;
  std::int64_t q = p / c;
  const std::int64_t rem = p % c;
  // Round halves away from zero.
  if (rem != 0 && 2 * (rem < 0 ? -rem : rem) >= (c < 0 ? -static_cast<std::int64_t>(c) : c))
    q += ((p < 0) != (c < 0)) ? -1 : 1;
  if (q > std::numeric_limits<int>::max() || q < std::numeric_limits<int>::min()) return -1;
  return static_cast<int>(q);
}

std::string Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

std::string TrimLeft(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) <= 32) ++i;
  return std::string(s.substr(i));
}

std::string TrimRight(std::string_view s) {
  std::size_t n = s.size();
  while (n > 0 && static_cast<unsigned char>(s[n - 1]) <= 32) --n;
  return std::string(s.substr(0, n));
}

int CompareText(std::string_view a, std::string_view b) noexcept {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    int x = static_cast<unsigned char>(a[i]);
    int y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x -= 32;
    if (y >= 'a' && y <= 'z') y -= 32;
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool SameText(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

std::string StringReplaceAll(std::string_view s, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(s);
  std::string r;
  std::size_t i = 0;
  for (;;) {
    const std::size_t k = s.find(from, i);
    if (k == std::string_view::npos) break;
    r.append(s.substr(i, k - i));
    r.append(to);
    i = k + from.size();
  }
  r.append(s.substr(i));
  return r;
}

std::size_t Pos(std::string_view sub, std::string_view s) noexcept {
  if (sub.empty()) return 0;
  const std::size_t k = s.find(sub);
  return k == std::string_view::npos ? 0 : k + 1;
}

std::string Copy(std::string_view s, std::int64_t index, std::int64_t count) {
  if (index < 1) index = 1;
  if (count <= 0 || index > static_cast<std::int64_t>(s.size())) return {};
  const auto start = static_cast<std::size_t>(index - 1);
  return std::string(s.substr(start, static_cast<std::size_t>(count)));
}

bool IsPathDelimiter(char c) noexcept { return c == '\\' || c == '/'; }

namespace {
// Index just past the last separator or drive colon, 0 when none.
std::size_t NameStart(std::string_view name) {
  for (std::size_t i = name.size(); i > 0; --i) {
    const char c = name[i - 1];
    if (IsPathDelimiter(c) || (c == ':' && i == 2)) return i;
  }
  return 0;
}
}  // namespace

std::string ExtractFilePath(std::string_view name) { return std::string(name.substr(0, NameStart(name))); }

std::string ExtractFileDir(std::string_view name) {
  std::size_t i = NameStart(name);
  // Keep a lone root separator and "C:\" whole.
  if (i > 1 && IsPathDelimiter(name[i - 1]) && !(i == 3 && name[1] == ':')) --i;
  return std::string(name.substr(0, i));
}

std::string ExtractFileName(std::string_view name) { return std::string(name.substr(NameStart(name))); }

std::string ExtractFileExt(std::string_view name) {
  const std::size_t start = NameStart(name);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot < start) return {};
  return std::string(name.substr(dot));
}

std::string ChangeFileExt(std::string_view name, std::string_view ext) {
  const std::size_t start = NameStart(name);
  std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot < start) dot = name.size();
  return std::string(name.substr(0, dot)) + std::string(ext);
}

std::string IncludeTrailingPathDelimiter(std::string_view name) {
  std::string r(name);
  if (r.empty() || !IsPathDelimiter(r.back())) r.push_back('/');
  return r;
}

std::string ExcludeTrailingPathDelimiter(std::string_view name) {
  std::string r(name);
  if (r.size() > 1 && IsPathDelimiter(r.back())) r.pop_back();
  return r;
}

std::string ToNativeSeparators(std::string_view name) {
  std::string r(name);
  for (char& c : r)
    if (c == '\\') c = '/';
  return r;
}

}  // namespace ond
