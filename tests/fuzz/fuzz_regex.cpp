// Pattern and subject from one input: byte 0 toggles modifiers i r s g m x
// (bits 0..5) against the defaults, the pattern runs to the first LF, the
// subject is the rest. Every failure must be an ERegex, and every reported
// position must lie inside the subject. The matcher with its shortcuts must
// answer as the plain one that tries every start and every repeat count
// wherever that one answers, also after the line separators changed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "search/OndRegex.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckPositions(const ond::TRegex& r, std::size_t size) {
  for (int g = 0; g < ond::TRegex::SubExpressionCount; ++g) {
    const int pos = r.MatchPos(g);
    const int len = r.MatchLen(g);
    Check((pos == -1) == (len == -1));
    if (pos != -1) Check(pos >= 1 && len >= 0 && static_cast<std::size_t>(pos - 1 + len) <= size);
  }
  Check(r.MatchPos(0) != -1);
}

// Matching without shortcuts.
class PlainRegex : public ond::TRegex {
 public:
  PlainRegex() { fPlainMatching = true; }
};

void Configure(ond::TRegex& r, std::uint8_t flags, std::string_view pattern) {
  for (int m = 0; m < 6; ++m) {
    if (flags & (1u << m)) r.SetModifier(m + 1, !r.GetModifier(m + 1));
  }
  if (flags & 0x40) r.SetLinePairedSeparator("");
  if (flags & 0x80) r.LineSeparators = "\n;";
  r.SetExpression(pattern);
}

constexpr int kMaxMatches = 16;

// Positions of every sub-expression of up to kMaxMatches matches, and the
// error that stopped the search (0: none).
struct Outcome {
  std::vector<int> positions;
  int error = 0;
};

Outcome Search(ond::TRegex& r, std::string_view subject) {
  Outcome out;
  try {
    int matches = 0;
    for (bool ok = r.Exec(subject); ok && matches < kMaxMatches; ok = r.ExecNext(), ++matches) {
      for (int g = 0; g < ond::TRegex::SubExpressionCount; ++g) {
        out.positions.push_back(r.MatchPos(g));
        out.positions.push_back(r.MatchLen(g));
      }
    }
  } catch (const ond::ERegex& e) {
    out.error = e.ErrorCode;
  }
  return out;
}

bool OutOfBudget(int error) {
  return error == ond::TRegex::ErrorTooComplex || error == ond::TRegex::ErrorBacktrackMemory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view all(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t lf = all.find('\n');
  const std::string_view pattern = all.substr(0, std::min<std::size_t>(lf, 256));
  const std::string_view subject = lf == std::string_view::npos ? std::string_view() : all.substr(lf + 1, 256);

  ond::TRegex r;
  Configure(r, data[0], pattern);
  try {
    int matches = 0;
    for (bool ok = r.Exec(subject); ok && matches < kMaxMatches; ok = r.ExecNext(), ++matches) {
      CheckPositions(r, subject.size());
      r.Substitute("[$&|$1|${2}|\\$|$14]");
    }
    const std::string replaced = r.Replace(subject, "<$0>", true);
    Check(replaced.size() >= subject.size());
  } catch (const ond::ERegex& e) {
    Check(e.ErrorCode != 0 && !e.Message.empty());
  }

  // A search that ran out of its budget has nothing to compare.
  ond::TRegex fast;
  Configure(fast, data[0], pattern);
  const Outcome quick = Search(fast, subject);
  if (OutOfBudget(quick.error)) return 0;
  PlainRegex plain;
  Configure(plain, data[0], pattern);
  const Outcome slow = Search(plain, subject);
  // The plain matcher tries starts the shortcuts rule out, so it may stop
  // with an error where they answer; where it answers, they answer alike.
  if (slow.error != 0) return 0;
  Check(quick.error == 0);
  Check(quick.positions == slow.positions);

  // Other line separators after the program was compiled answer as a plain
  // matcher set up with them from the start.
  fast.LineSeparators = fast.LineSeparators == "\n;" ? "\r\n" : "\n;";
  const Outcome again = Search(fast, subject);
  if (OutOfBudget(again.error)) return 0;
  PlainRegex fresh;
  Configure(fresh, data[0], pattern);
  fresh.LineSeparators = fast.LineSeparators;
  const Outcome want = Search(fresh, subject);
  if (want.error != 0) return 0;
  Check(again.error == 0);
  Check(again.positions == want.positions);
  return 0;
}
