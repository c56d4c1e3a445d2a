// Helpers shared by the regular-expression tests.
#pragma once

#include <gtest/gtest.h>

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

// A TRegex that matches without shortcuts: every start, every repeat count.
class TPlainRegex : public TRegex {
 public:
  TPlainRegex() { fPlainMatching = true; }
};

// What a search of every match answers: per match the (position, length)
// of every sub-expression, or the error code that stopped it (then the
// matches found before it).
struct Outcome {
  std::vector<Spans> matches;
  int error = 0;
  bool operator==(const Outcome&) const = default;
};

inline Outcome Search(TRegex& r, std::string_view subject, int maxMatches = 1000) {
  Outcome out;
  try {
    for (bool ok = r.Exec(subject); ok && static_cast<int>(out.matches.size()) < maxMatches; ok = r.ExecNext()) {
      Spans groups;
      for (int g = 0; g < TRegex::SubExpressionCount; ++g) groups.emplace_back(r.MatchPos(g), r.MatchLen(g));
      out.matches.push_back(std::move(groups));
    }
  } catch (const ERegex& e) {
    out.error = e.ErrorCode;
  }
  return out;
}

// Every search of each pattern in each subject answers as the plain matcher
// does, wherever that one does not run out of its budget (the shortcuts
// may answer where it stops, never the other way round).
template <class Patterns>
void ExpectSameAsPlain(const Patterns& patterns, const std::vector<std::string>& subjects) {
  for (const auto& pattern : patterns) {
    SCOPED_TRACE(pattern);
    TRegex fast;
    TPlainRegex plain;
    fast.SetExpression(pattern);
    plain.SetExpression(pattern);
    for (const std::string& subject : subjects) {
      SCOPED_TRACE(subject);
      const Outcome want = Search(plain, subject);
      if (want.error == TRegex::ErrorTooComplex || want.error == TRegex::ErrorBacktrackMemory) continue;
      EXPECT_EQ(Search(fast, subject), want);
    }
  }
}

// A pattern, a subject and every match of it.
struct KnownAnswer {
  std::string pattern;
  std::string subject;
  Spans matches;
};

template <class Answers>
void ExpectKnownAnswers(const Answers& answers) {
  for (const KnownAnswer& a : answers) {
    SCOPED_TRACE(a.pattern + " / " + a.subject);
    EXPECT_EQ(AllMatches(a.pattern, a.subject), a.matches);
  }
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
