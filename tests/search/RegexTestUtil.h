// Helpers shared by the regular-expression tests.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core/CodePage.h"
#include "search/OndRegex.h"

namespace ond::regex_test {

// Code page 1251 bytes of UTF-8 source text.
inline std::string A(std::string_view utf8) { return Utf8ToAnsi(utf8); }

using Spans = std::vector<std::pair<int, int>>;

// Every match of Exec / ExecNext as (1-based position, length).
inline Spans AllMatches(TRegex& r, std::string_view subject) {
  Spans out;
  for (bool ok = r.Exec(subject); ok; ok = r.ExecNext()) out.emplace_back(r.MatchPos(0), r.MatchLen(0));
  return out;
}

inline Spans AllMatches(std::string_view pattern, std::string_view subject) {
  TRegex r;
  r.SetExpression(pattern);
  return AllMatches(r, subject);
}

// (position, length) of sub-expressions 0 .. n-1 of the first match; empty when none.
inline Spans Groups(std::string_view pattern, std::string_view subject, int n) {
  TRegex r;
  r.SetExpression(pattern);
  Spans out;
  if (!r.Exec(subject)) return out;
  for (int g = 0; g < n; ++g) out.emplace_back(r.MatchPos(g), r.MatchLen(g));
  return out;
}

// Error code and position of compiling the pattern, or (0, 0).
inline std::pair<int, int> CompileError(std::string_view pattern) {
  TRegex r;
  r.SetExpression(pattern);
  try {
    r.Compile();
  } catch (const ERegex& e) {
    return {e.ErrorCode, e.CompilerErrorPos};
  }
  return {0, 0};
}

}  // namespace ond::regex_test
