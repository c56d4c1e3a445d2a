// Results of a match: sub-expression positions, substitution templates and
// replacing every match.
#include "search/OndRegex.h"
#include "search/OndRegexProgram.h"

namespace ond {

using namespace regexprog;

// Results and substitution

int TRegex::MatchPos(int n) const {
  if (n < 0 || n >= SubExpressionCount || !fHasInput) return -1;
  if (fStart[n] < 0 || fEnd[n] < fStart[n]) return -1;
  return static_cast<int>(fStart[n] + 1);
}

int TRegex::MatchLen(int n) const {
  if (n < 0 || n >= SubExpressionCount || !fHasInput) return -1;
  if (fStart[n] < 0 || fEnd[n] < fStart[n]) return -1;
  return static_cast<int>(fEnd[n] - fStart[n]);
}

std::string TRegex::Substitute(std::string_view templ) {
  PrepareRun();
  if (!fHasInput) Fail(1005);
  std::string out;
  if (templ.empty()) return out;
  out.reserve(templ.size());
  const std::size_t n = templ.size();
  auto appendGroup = [&](std::int64_t g) {
    if (g < 0 || g >= SubExpressionCount) return;
    if (fStart[g] < 0 || fEnd[g] < fStart[g]) return;
    out.append(fInput, static_cast<std::size_t>(fStart[g]), static_cast<std::size_t>(fEnd[g] - fStart[g]));
  };
  std::size_t i = 0;
  while (i < n) {
    const char c = templ[i];
    if (c == '\\' && i + 1 < n) {
      out += templ[i + 1];
      i += 2;
      continue;
    }
    if (c == '$' && i + 1 < n) {
      const char k = templ[i + 1];
      if (k == '&') {
        appendGroup(0);
        i += 2;
        continue;
      }
      if (IsDigit(static_cast<unsigned char>(k))) {
        std::size_t j = i + 1;
        std::int64_t g = 0;
        while (j < n && IsDigit(static_cast<unsigned char>(templ[j]))) {
          if (g < SubExpressionCount) g = g * 10 + (templ[j] - '0');
          ++j;
        }
        appendGroup(g);
        i = j;
        continue;
      }
      if (k == '{') {
        const std::size_t close = templ.find('}', i + 2);
        if (close != std::string_view::npos) {
          const std::string_view inner = templ.substr(i + 2, close - i - 2);
          bool digits = !inner.empty();
          for (char d : inner) digits = digits && IsDigit(static_cast<unsigned char>(d));
          if (inner.empty() || inner == "&" || digits) {
            std::int64_t g = 0;
            for (char d : inner) {
              if (d != '&' && g < SubExpressionCount) g = g * 10 + (d - '0');
            }
            appendGroup(g);
            i = close + 1;
            continue;
          }
        }
      }
    }
    out += c;
    ++i;
  }
  return out;
}

std::string TRegex::Replace(std::string_view input, std::string_view templ, bool useSubstitution) {
  std::string result;
  std::size_t previousEnd = 0;
  // The input is copied by Exec; later slices come from that copy.
  if (Exec(input)) {
    do {
      const auto start = static_cast<std::size_t>(fStart[0]);
      result.append(fInput, previousEnd, start - previousEnd);
      if (useSubstitution) {
        result += Substitute(templ);
      } else {
        result.append(templ);
      }
      previousEnd = static_cast<std::size_t>(fEnd[0]);
    } while (ExecNext());
  }
  result.append(fInput, previousEnd, std::string::npos);
  return result;
}

}  // namespace ond
