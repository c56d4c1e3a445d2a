// Rules and text from one input. Byte 0 holds flags (bit 0 case-sensitive
// main rules, bits 1..3 close-on-eol, close-on-term and allow-pred-close of
// the sub-range, bit 4 a quantity of 2 for the set, bit 5 the sub-range's
// open token may start only after blanks). Line 1: key words separated by
// blanks. Line 2: the sub-range's open and close symbols and, after them, a
// nested range's. Line 3: the set's characters. The rest: text lines. Tokens
// must tile every line, each line must end, and scanning a line again from
// the stored state of the line before must give the same tokens and state.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "highlight/OndGenHighlighter.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

std::vector<std::string> Split(std::string_view s, char by) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = s.find(by, start);
    out.emplace_back(s.substr(start, at == std::string_view::npos ? std::string_view::npos : at - start));
    if (at == std::string_view::npos) return out;
    start = at + 1;
  }
}

struct Token {
  int Pos;
  int Len;
  ond::TOndHighlighterAttributes* Attr;
  bool operator==(const Token&) const = default;
};

std::vector<Token> Scan(ond::TOndGenHighlighter& h, const std::string& line, ond::TOndRangeState from,
                        ond::TOndRangeState& end) {
  h.SetRange(from);
  h.SetLine(line, 0);
  std::vector<Token> out;
  int pos = 0;
  while (!h.GetEol()) {
    Check(out.size() <= line.size() + 1);
    const int len = static_cast<int>(h.GetToken().size());
    Check(h.GetTokenPos() == pos);
    out.push_back({pos, len, h.GetTokenAttribute()});
    pos += len;
    h.Next();
  }
  Check(pos == static_cast<int>(line.size()));
  end = h.GetRange();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 4096) return 0;
  const unsigned flags = data[0];
  const std::vector<std::string> lines = Split(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), '\n');
  auto line = [&](std::size_t i) { return i < lines.size() ? lines[i] : std::string(); };

  ond::TOndGenHighlighter h;
  ond::TOndRange& root = h.MainRules();
  root.SetCaseSensitive(flags & 1);
  auto keys = std::make_unique<ond::TOndKeyList>();
  for (const std::string& w : Split(line(0), ' ')) keys->Words.push_back(w);
  root.AddKeyList(std::move(keys));
  const std::vector<std::string> syms = Split(line(1), ' ');
  auto sym = [&](std::size_t i) { return i < syms.size() ? syms[i] : std::string(); };
  auto sub = std::make_unique<ond::TOndRange>(sym(0), sym(1));
  sub->SetCloseOnEol(flags & 2);
  sub->SetCloseOnTerm(flags & 4);
  sub->SetAllowPredClose(flags & 8);
  if (flags & 32) sub->OpenToken().StartLine = ond::slFirstNonSpace;
  sub->AddRange(std::make_unique<ond::TOndRange>(sym(2), sym(3)));
  root.AddRange(std::move(sub));
  auto set = std::make_unique<ond::TOndSet>(ond::TSysCharSet(line(2)));
  set->Quantity = (flags & 16) ? 2 : 0;
  root.AddSet(std::move(set));
  h.Reset();

  std::vector<ond::TOndRangeState> states;
  std::vector<std::vector<Token>> tokens;
  ond::TOndRangeState state = 0;
  for (std::size_t i = 3; i < lines.size(); ++i) {
    tokens.push_back(Scan(h, lines[i], state, state));
    states.push_back(state);
  }
  for (std::size_t k = tokens.size(); k-- > 0;) {
    ond::TOndRangeState end = -1;
    Check(Scan(h, lines[k + 3], k == 0 ? 0 : states[k - 1], end) == tokens[k]);
    Check(end == states[k]);
  }
  return 0;
}
