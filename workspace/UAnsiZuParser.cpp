#include "workspace/UAnsiZuParser.h"

#include <algorithm>
#include <array>
#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/core/CodePage.h"

namespace ond {

namespace {

constexpr std::size_t npos = std::string::npos;

// The rules read a line "joined with every line after it", with no
// separators. Working on the raw text gives the same answers without building
// those strings: single-character searches cannot stop on a line break, the
// longer case-insensitive keys are matched skipping line breaks, and every
// piece taken out has its line breaks dropped.
inline bool IsBreak(char c) { return c == '\r' || c == '\n'; }
inline char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
inline char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string WithoutBreaks(std::string_view text, std::size_t from, std::size_t to) {
  std::string r;
  r.reserve(to - from);
  for (std::size_t i = from; i < to; ++i)
    if (!IsBreak(text[i])) r += text[i];
  return r;
}

struct Match {
  std::size_t Start = npos;
  std::size_t End = npos;  // just past the last matched character
  bool Found() const { return Start != npos; }
};

// Finds the first occurrence of a needle at or after a position. Queries
// must come with positions that never decrease, so an answer that still lies
// ahead is reused and the whole text is scanned about once per needle.
class ForwardFinder {
 public:
  // A plain needle is matched as it stands. A joined one (given upper-cased)
  // is matched without regard to ASCII letter case and may run across line
  // breaks; its first character must not be a letter or a line break.
  ForwardFinder(std::string_view hay, std::string needle, bool joined)
      : FHay(hay), FNeedle(std::move(needle)), FJoined(joined) {}

  Match Next(std::size_t from) {
    if (FValid && from >= FFrom && (!FAt.Found() || FAt.Start >= from)) return FAt;
    FValid = true;
    FFrom = from;
    FAt = Search(from);
    return FAt;
  }
  std::size_t NextStart(std::size_t from) { return Next(from).Start; }

 private:
  Match Search(std::size_t from) const {
    if (!FJoined) {
      const std::size_t at = FHay.find(FNeedle, from);
      return at == npos ? Match{} : Match{at, at + FNeedle.size()};
    }
    for (std::size_t p = FHay.find(FNeedle[0], from); p != npos; p = FHay.find(FNeedle[0], p + 1)) {
      std::size_t h = p + 1;
      std::size_t k = 1;
      while (k < FNeedle.size() && h < FHay.size()) {
        if (IsBreak(FHay[h])) {
          ++h;
        } else if (UpperAscii(FHay[h]) == FNeedle[k]) {
          ++h;
          ++k;
        } else {
          break;
        }
      }
      if (k == FNeedle.size()) return Match{p, h};
      if (h >= FHay.size()) return {};  // the text ended inside a possible match
    }
    return {};
  }

  std::string_view FHay;
  std::string FNeedle;
  bool FJoined;
  bool FValid = false;
  std::size_t FFrom = 0;
  Match FAt;
};

// The next line break at or after a position, also with positions that
// never decrease.
class BreakFinder {
 public:
  explicit BreakFinder(std::string_view text)
      : FText(text), FCr(text.find('\r')), FLf(text.find('\n')) {}
  std::size_t Next(std::size_t from) {
    if (FCr < from) FCr = FText.find('\r', from);
    if (FLf < from) FLf = FText.find('\n', from);
    const std::size_t at = std::min(FCr, FLf);
    return at == npos ? FText.size() : at;
  }

 private:
  std::string_view FText;
  std::size_t FCr;
  std::size_t FLf;
};

// Finds the quotes that may open a wanted key: those followed by a byte that
// is the first character of one (in either ASCII case). Keys are rare in a
// large text and quotes are not, so the text is read sixteen bytes at a time
// and only those few quotes are looked at closely.
class QuoteFinder {
 public:
  explicit QuoteFinder(std::string_view text) : FText(text) {}
  void Clear() noexcept {
    FFirst.fill(false);
    FCount = 0;
  }
  // The first character of a key, upper-cased.
  void Want(char first) noexcept {
    // Setting bit 5 makes both cases of a letter one byte (and keeps every
    // byte that matches in this test or the exact one).
    const auto folded = static_cast<unsigned char>(first | 0x20);
    if (FFirst[folded]) return;
    FFirst[folded] = true;
    if (FCount < kVectors) FFolded[FCount] = folded;
    ++FCount;
  }
  // The first such quote at or after `from`, or npos.
  std::size_t Next(std::size_t from) const noexcept {
    const auto* p = reinterpret_cast<const unsigned char*>(FText.data());
    const std::size_t n = FText.size();
    std::size_t i = from;
#if defined(__SSE2__)
    if (FCount > 0 && FCount <= kVectors) {
      const __m128i quote = _mm_set1_epi8('"');
      const __m128i bit5 = _mm_set1_epi8(0x20);
      __m128i firsts[kVectors];
      for (int k = 0; k < FCount; ++k) firsts[k] = _mm_set1_epi8(static_cast<char>(FFolded[k]));
      for (; i + 17 <= n; i += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i after = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1)), bit5);
        __m128i first = _mm_cmpeq_epi8(after, firsts[0]);
        for (int k = 1; k < FCount; ++k) first = _mm_or_si128(first, _mm_cmpeq_epi8(after, firsts[k]));
        const int hits = _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, quote), first));
        if (hits != 0) return i + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(hits)));
      }
    }
#endif
    for (; i + 1 < n; ++i)
      if (p[i] == '"' && FFirst[p[i + 1] | 0x20u]) return i;
    return npos;
  }

 private:
  static constexpr int kVectors = 4;
  std::string_view FText;
  std::array<bool, 256> FFirst{};
  unsigned char FFolded[kVectors] = {};
  int FCount = 0;
};

// Start of the line holding position `at`, searching back no further than
// `floor` (a line start).
std::size_t LineStart(std::string_view text, std::size_t floor, std::size_t at) {
  while (at > floor && !IsBreak(text[at - 1])) --at;
  return at;
}

// A line whose first characters after blanks and control codes are "//".
bool IsCommentLine(std::string_view text, std::size_t start, std::size_t end) {
  while (start < end && static_cast<unsigned char>(text[start]) <= 32) ++start;
  return end - start >= 2 && text[start] == '/' && text[start + 1] == '/';
}

}  // namespace

std::vector<std::string> GetKeyValues(std::string_view text, const std::vector<std::string_view>& keys) {
  std::vector<std::string> values(keys.size());
  // The quoted, upper-cased keys still looked for.
  std::vector<std::pair<std::size_t, std::string>> wanted;
  for (std::size_t k = 0; k < keys.size(); ++k) {
    // A key is looked for on one line: one that holds a line break (a bare
    // CR included) can stand on none, so it has no value.
    if (keys[k].empty() || keys[k].find_first_of("\r\n") != std::string_view::npos) continue;
    std::string quoted(1, '"');
    quoted += AsciiUpperCase(keys[k]);
    quoted += '"';
    wanted.emplace_back(k, std::move(quoted));
  }
  // An occurrence broken by a line break is never usable, and no usable one
  // can follow it on its line, so the first occurrence without a break on a
  // line that is not a comment is the one: every key is found on one walk
  // over the quotes of the text, which ends when the last key is found.
  QuoteFinder quotes(text);
  for (const auto& w : wanted) quotes.Want(w.second[1]);
  for (std::size_t p = quotes.Next(0); p != npos && !wanted.empty(); p = quotes.Next(p + 1)) {
    for (auto w = wanted.begin(); w != wanted.end();) {
      const std::string& quoted = w->second;
      bool match = text.size() - p >= quoted.size();
      for (std::size_t j = 1; match && j < quoted.size(); ++j) match = UpperAscii(text[p + j]) == quoted[j];
      // A comment line is told by its first characters, all before the key.
      if (!match || IsCommentLine(text, LineStart(text, 0, p), p)) {
        ++w;
        continue;
      }
      const std::size_t open = text.find('"', p + quoted.size());
      const std::size_t close = open == npos ? npos : text.find('"', open + 1);
      if (close != npos) values[w->first] = WithoutBreaks(text, open + 1, close);
      w = wanted.erase(w);
      quotes.Clear();
      for (const auto& left : wanted) quotes.Want(left.second[1]);
    }
  }
  return values;
}

std::string GetKeyValue(std::string_view text, std::string_view key) {
  return std::move(GetKeyValues(text, {key})[0]);
}

std::vector<std::string> ScanReferences(std::string_view text) {
  std::vector<std::string> result;
  // Both forms begin with "$": a text without one (a large file of data, as
  // often as not) is passed over in one search rather than one per form.
  if (text.find('$') == npos) return result;

  ForwardFinder inlineRef(text, "${", false);
  ForwardFinder objectRef(text, "$ref", false);
  // Inline form: the quote opening the name, the closing brace, a colon and
  // the quote ending the name.
  ForwardFinder inlineOpen(text, "\"", false);
  ForwardFinder inlineBrace(text, "}", false);
  ForwardFinder inlineColon(text, ":", false);
  ForwardFinder inlineClose(text, "\"", false);
  // Object form: the "file" and "path" keys and the quotes of the file value.
  ForwardFinder fileKey(text, "\"FILE\"", true);
  ForwardFinder pathKey(text, "\"PATH\"", true);
  ForwardFinder fileOpen(text, "\"", false);
  ForwardFinder fileClose(text, "\"", false);
  BreakFinder breaks(text);

  auto add = [&](std::size_t from, std::size_t to) {
    std::string name = WithoutBreaks(text, from, to);
    if (name.empty()) return;
    for (char& c : name) c = c == '/' ? '\\' : LowerAscii(c);
    result.push_back(std::move(name));
  };

  std::size_t pos = 0;  // start of the first line not yet looked at
  while (pos < text.size()) {
    const std::size_t first = std::min(inlineRef.NextStart(pos), objectRef.NextStart(pos));
    if (first == npos) break;
    const std::size_t start = LineStart(text, pos, first);
    const std::size_t end = breaks.Next(first);
    pos = end + 1;
    if (IsCommentLine(text, start, end)) continue;
    std::size_t cur = start;
    for (;;) {
      const std::size_t a = inlineRef.NextStart(cur);
      const std::size_t b = objectRef.NextStart(cur);
      const bool hasA = a != npos && a + 2 <= end;
      const bool hasB = b != npos && b + 4 <= end;
      if (!hasA && !hasB) break;
      if (hasA && (!hasB || a < b)) {
        cur = a + 1;
        const std::size_t open = inlineOpen.NextStart(a + 1);
        if (open == npos) continue;
        const std::size_t w = open + 1;
        const std::size_t brace = inlineBrace.NextStart(w);
        if (brace == npos) continue;
        // Without a colon the reference is a path into the same file.
        if (inlineColon.NextStart(w) >= brace) continue;
        const std::size_t close = inlineClose.NextStart(w);
        if (close < brace) add(w, close);
      } else {
        cur = b + 1;
        const Match f = fileKey.Next(b + 1);
        const std::size_t p = pathKey.NextStart(b + 1);
        if (!f.Found() || p == npos || p < f.Start) continue;
        const std::size_t open = fileOpen.NextStart(f.End);
        if (open == npos) continue;
        const std::size_t close = fileClose.NextStart(open + 1);
        if (close != npos) add(open + 1, close);
      }
    }
  }
  return result;
}

}  // namespace ond
