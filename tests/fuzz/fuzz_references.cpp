// The reference scanner and the header-value reader on arbitrary bytes: they
// must end without fault, and on small inputs give exactly what a plain
// line-by-line reading of the rules gives (re-joining the following lines for
// every reference, which is slow but obviously right).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "workspace/UAnsiZuParser.h"

namespace {

constexpr std::size_t npos = std::string::npos;

std::vector<std::string> SplitLines(std::string_view t) {
  std::vector<std::string> lines;
  std::string cur;
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (t[i] == '\r' || t[i] == '\n') {
      if (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n') ++i;
      lines.push_back(cur);
      cur.clear();
    } else {
      cur += t[i];
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

bool IsComment(const std::string& line) {
  std::size_t k = 0;
  while (k < line.size() && static_cast<unsigned char>(line[k]) <= 32) ++k;
  return line.compare(k, 2, "//") == 0;
}

std::string JoinFrom(const std::vector<std::string>& lines, std::size_t first) {
  std::string s;
  for (std::size_t i = first; i < lines.size(); ++i) s += lines[i];
  return s;
}

std::string ModelKeyValue(std::string_view text, std::string_view key) {
  if (text.empty() || key.empty()) return {};
  const std::string q = "\"" + Upper(std::string(key)) + "\"";
  const auto lines = SplitLines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (Upper(lines[i]).find(q) == npos || IsComment(lines[i])) continue;
    std::string w = JoinFrom(lines, i);
    w = w.substr(Upper(w).find(q) + q.size());
    const std::size_t open = w.find('"');
    if (open == npos) return {};
    w = w.substr(open + 1);
    const std::size_t close = w.find('"');
    return close == npos ? std::string() : w.substr(0, close);
  }
  return {};
}

std::vector<std::string> ModelScan(std::string_view text) {
  std::vector<std::string> result;
  const auto lines = SplitLines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string cur = lines[i];
    if ((cur.find("${") == npos && cur.find("$ref") == npos) || IsComment(cur)) continue;
    const std::string rest = JoinFrom(lines, i + 1);
    for (;;) {
      const std::size_t a = cur.find("${");
      const std::size_t b = cur.find("$ref");
      if (a == npos && b == npos) break;
      std::string name;
      if (a != npos && (b == npos || a < b)) {
        cur = cur.substr(a + 1);
        std::string w = cur + rest;
        const std::size_t open = w.find('"');
        if (open != npos) {
          w = w.substr(open + 1);
          const std::size_t brace = w.find('}');
          if (brace != npos) {
            w = w.substr(0, brace);
            const std::size_t close = w.find('"');
            if (w.find(':') != npos && close != npos) name = w.substr(0, close);
          }
        }
      } else {
        cur = cur.substr(b + 1);
        std::string w = cur + rest;
        const std::size_t f = Upper(w).find("\"FILE\"");
        const std::size_t p = Upper(w).find("\"PATH\"");
        if (f != npos && p != npos && p > f) {
          w = w.substr(f + 6);
          const std::size_t open = w.find('"');
          if (open != npos) {
            w = w.substr(open + 1);
            const std::size_t close = w.find('"');
            if (close != npos) name = w.substr(0, close);
          }
        }
      }
      if (!name.empty()) {
        for (char& c : name) c = c == '/' ? '\\' : (c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c);
        result.push_back(name);
      }
    }
  }
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto refs = ond::ScanReferences(text);
  // A key taken from the input itself, so odd keys are tried too.
  const std::string_view ownKey = text.substr(0, std::min<std::size_t>(text.find('\n'), 8));
  const std::string_view keys[] = {"author", "configVersion", ownKey};
  std::string values[3];
  for (int k = 0; k < 3; ++k) values[k] = ond::GetKeyValue(text, keys[k]);
  if (size <= 4096) {
    if (refs != ModelScan(text)) std::abort();
    for (int k = 0; k < 3; ++k)
      if (values[k] != ModelKeyValue(text, keys[k])) std::abort();
  }
  return 0;
}
