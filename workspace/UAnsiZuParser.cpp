#include "workspace/UAnsiZuParser.h"

#include <algorithm>
#include <cstddef>

#include "platform/core/CodePage.h"

namespace ond {

namespace {

constexpr std::size_t npos = std::string::npos;

// The text with every line break removed, and where each line starts in it.
// Searching this one string is the same as searching "a line joined with
// every line after it" for any line, without building those strings.
struct JoinedLines {
  std::string Text;
  std::vector<std::size_t> Starts;  // one per line, then Text.size()

  explicit JoinedLines(std::string_view raw) {
    Text.reserve(raw.size());
    Starts.push_back(0);
    // The next CR and the next LF, each searched again only once passed.
    std::size_t cr = raw.find('\r');
    std::size_t lf = raw.find('\n');
    std::size_t i = 0;
    while (i < raw.size()) {
      if (cr < i) cr = raw.find('\r', i);
      if (lf < i) lf = raw.find('\n', i);
      const std::size_t j = std::min(cr, lf);
      if (j == npos) {
        Text.append(raw.data() + i, raw.size() - i);
        break;
      }
      Text.append(raw.data() + i, j - i);
      // CR LF is one line end; a lone CR or LF is one too.
      i = (j == cr && lf == j + 1) ? j + 2 : j + 1;
      Starts.push_back(Text.size());
    }
    Starts.push_back(Text.size());
  }

  std::size_t LineCount() const { return Starts.size() - 1; }
};

inline char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Finds the first occurrence of a needle at or after a position. Queries
// must come with positions that never decrease, so an answer that still lies
// ahead is reused and the whole text is scanned at most once per needle.
class ForwardFinder {
 public:
  // With ignoreCase the needle must be given upper-cased (ASCII).
  ForwardFinder(std::string_view hay, std::string needle, bool ignoreCase)
      : FHay(hay), FNeedle(std::move(needle)), FIgnoreCase(ignoreCase) {}

  std::size_t Next(std::size_t from) {
    if (FValid && from >= FFrom && (FAt == npos || FAt >= from)) return FAt;
    FValid = true;
    FFrom = from;
    FAt = Search(from);
    return FAt;
  }

 private:
  std::size_t Search(std::size_t from) const {
    if (!FIgnoreCase) return FHay.find(FNeedle, from);
    const std::size_t n = FNeedle.size();
    const char first = FNeedle[0];
    const bool firstIsLetter = first >= 'A' && first <= 'Z';
    for (std::size_t p = from; p + n <= FHay.size(); ++p) {
      if (!firstIsLetter) {
        p = FHay.find(first, p);
        if (p == npos || p + n > FHay.size()) return npos;
      } else if (UpperAscii(FHay[p]) != first) {
        continue;
      }
      std::size_t k = 1;
      while (k < n && UpperAscii(FHay[p + k]) == FNeedle[k]) ++k;
      if (k == n) return p;
    }
    return npos;
  }

  std::string_view FHay;
  std::string FNeedle;
  bool FIgnoreCase;
  bool FValid = false;
  std::size_t FFrom = 0;
  std::size_t FAt = npos;
};

// Whether an occurrence found at `at` lies wholly inside a line ending at `end`.
inline bool Inside(std::size_t at, std::size_t length, std::size_t end) { return at != npos && at + length <= end; }

// A line whose first characters after blanks and control codes are "//".
bool IsCommentLine(const std::string& text, std::size_t start, std::size_t end) {
  while (start < end && static_cast<unsigned char>(text[start]) <= 32) ++start;
  return end - start >= 2 && text[start] == '/' && text[start + 1] == '/';
}

}  // namespace

std::string GetKeyValue(std::string_view text, std::string_view key) {
  if (text.empty() || key.empty()) return {};
  const JoinedLines lines(text);
  const std::string& j = lines.Text;
  const std::string quoted = "\"" + AsciiUpperCase(key) + "\"";
  ForwardFinder keyFinder(j, quoted, true);
  for (std::size_t i = 0; i < lines.LineCount(); ++i) {
    const std::size_t start = lines.Starts[i];
    const std::size_t end = lines.Starts[i + 1];
    // The first occurrence from the line start is inside the line whenever
    // the line holds one at all, and it is the one the value follows.
    const std::size_t at = keyFinder.Next(start);
    if (at == npos) return {};
    if (!Inside(at, quoted.size(), end) || IsCommentLine(j, start, end)) continue;
    const std::size_t open = j.find('"', at + quoted.size());
    if (open == npos) return {};
    const std::size_t close = j.find('"', open + 1);
    if (close == npos) return {};
    return j.substr(open + 1, close - open - 1);
  }
  return {};
}

std::vector<std::string> ScanReferences(std::string_view text) {
  std::vector<std::string> result;
  if (text.empty() || (text.find("${") == npos && text.find("$ref") == npos)) return result;
  const JoinedLines lines(text);
  const std::string& j = lines.Text;

  ForwardFinder inlineRef(j, "${", false);
  ForwardFinder objectRef(j, "$ref", false);
  // Inline form: the quote opening the name, the closing brace, a colon and
  // the quote ending the name.
  ForwardFinder inlineOpen(j, "\"", false);
  ForwardFinder inlineBrace(j, "}", false);
  ForwardFinder inlineColon(j, ":", false);
  ForwardFinder inlineClose(j, "\"", false);
  // Object form: the "file" and "path" keys and the quotes of the file value.
  ForwardFinder fileKey(j, "\"FILE\"", true);
  ForwardFinder pathKey(j, "\"PATH\"", true);
  ForwardFinder fileOpen(j, "\"", false);
  ForwardFinder fileClose(j, "\"", false);

  auto add = [&result](std::string name) {
    if (name.empty()) return;
    for (char& c : name) c = c == '/' ? '\\' : LowerAscii(c);
    result.push_back(std::move(name));
  };

  for (std::size_t i = 0; i < lines.LineCount(); ++i) {
    const std::size_t start = lines.Starts[i];
    const std::size_t end = lines.Starts[i + 1];
    if (!Inside(inlineRef.Next(start), 2, end) && !Inside(objectRef.Next(start), 4, end)) continue;
    if (IsCommentLine(j, start, end)) continue;
    std::size_t cur = start;
    for (;;) {
      const std::size_t a = inlineRef.Next(cur);
      const std::size_t b = objectRef.Next(cur);
      const bool hasA = Inside(a, 2, end);
      const bool hasB = Inside(b, 4, end);
      if (!hasA && !hasB) break;
      if (hasA && (!hasB || a < b)) {
        cur = a + 1;
        const std::size_t open = inlineOpen.Next(a + 1);
        if (open == npos) continue;
        const std::size_t w = open + 1;
        const std::size_t brace = inlineBrace.Next(w);
        if (brace == npos) continue;
        // Without a colon the reference is a path into the same file.
        if (inlineColon.Next(w) >= brace) continue;
        const std::size_t close = inlineClose.Next(w);
        if (close < brace) add(j.substr(w, close - w));
      } else {
        cur = b + 1;
        const std::size_t f = fileKey.Next(b + 1);
        const std::size_t p = pathKey.Next(b + 1);
        if (f == npos || p == npos || p < f) continue;
        const std::size_t open = fileOpen.Next(f + 6);
        if (open == npos) continue;
        const std::size_t close = fileClose.Next(open + 1);
        if (close != npos) add(j.substr(open + 1, close - open - 1));
      }
    }
  }
  return result;
}

}  // namespace ond
