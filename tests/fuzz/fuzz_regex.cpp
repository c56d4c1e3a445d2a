// Pattern and subject from one input: byte 0 toggles modifiers i r s g m x
// (bits 0..5) against the defaults, the pattern runs to the first LF, the
// subject is the rest. Every failure must be an ERegex, and every reported
// position must lie inside the subject.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view all(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t lf = all.find('\n');
  const std::string_view pattern = all.substr(0, std::min<std::size_t>(lf, 256));
  const std::string_view subject = lf == std::string_view::npos ? std::string_view() : all.substr(lf + 1, 256);

  ond::TRegex r;
  for (int m = 0; m < 6; ++m) {
    if (data[0] & (1u << m)) r.SetModifier(m + 1, !r.GetModifier(m + 1));
  }
  if (data[0] & 0x40) r.SetLinePairedSeparator("");
  if (data[0] & 0x80) r.LineSeparators = "\n;";
  r.SetExpression(pattern);
  try {
    int matches = 0;
    for (bool ok = r.Exec(subject); ok && matches < 16; ok = r.ExecNext(), ++matches) {
      CheckPositions(r, subject.size());
      r.Substitute("[$&|$1|${2}|\\$|$14]");
    }
    const std::string replaced = r.Replace(subject, "<$0>", true);
    Check(replaced.size() >= subject.size());
  } catch (const ond::ERegex& e) {
    Check(e.ErrorCode != 0 && !e.Message.empty());
  }
  return 0;
}
