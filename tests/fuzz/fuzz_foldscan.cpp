// The fold scan with the config scheme's highlighter on arbitrary text, most
// often one long line the way minified configs come: braces inside strings
// and comments must not fold, and the work must stay linear in the line's
// length (the options file gives each input a tight time limit, so a scan
// that cuts a line again for every brace shows up as a slow unit).
//
// Checked on every input: a scan fed in the smallest pieces, with another
// pass of the shared highlighter cutting in between pieces, finds exactly the
// tree of a scan fed whole lines. The pass that wants only the state a line
// ends in (it jumps over what cannot change the state) ends every line in
// the state of a walk token by token, for every built-in scheme, whether
// the lines are passed one at a time or in runs. On small inputs, every brace's verdict
// (string or comment, or code) equals that of a plain cut of the line from
// its start up to the brace.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "editor/OndEditCodeFolding.h"
#include "editor/OndEditLineCode.h"
#include "highlight/OndBuiltinSchemes.h"
#include "highlight/OndGenHighlighter.h"

namespace {

constexpr int kTabWidth = 4;
constexpr std::size_t kOracleSize = 512;

void Check(bool ok) {
  if (!ok) std::abort();
}

ond::TOndGenHighlighter& Highlighter(int Scheme = 0) {
  static ond::TOndGenHighlighter h[ond::BuiltinSchemeCount];
  static const bool loaded = [] {
    bool all = true;
    for (int i = 0; i < ond::BuiltinSchemeCount; ++i) all = all && ond::LoadBuiltinScheme(h[i], i);
    return all;
  }();
  Check(loaded);
  return h[Scheme];
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines(1);
  for (const char c : text) {
    if (c == '\n')
      lines.emplace_back();
    else if (c != '\r')
      lines.back() += c;
  }
  return lines;
}

std::string Expanded(std::string_view raw) {
  if (raw.find('\t') == std::string_view::npos) return {};
  std::string out;
  for (const char c : raw) {
    if (c == '\t')
      out.append(kTabWidth - out.size() % kTabWidth, ' ');
    else
      out += c;
  }
  return out;
}

// The range states each line starts in, from a plain pass over every line
// or from passes that want only the states (Jumps).
std::vector<ond::TOndRangeState> StartStates(const std::vector<std::string>& lines, int Scheme, bool Jumps) {
  ond::TOndGenHighlighter& h = Highlighter(Scheme);
  std::vector<ond::TOndRangeState> states;
  h.ResetRange();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    states.push_back(h.GetRange());
    const std::string expanded = Expanded(lines[i]);
    h.SetLine(expanded.empty() ? lines[i] : expanded, static_cast<int>(i));
    if (Jumps)
      h.SkipToEolForRange();
    else
      while (!h.GetEol()) h.Next();
  }
  return states;
}

// The same states from runs of lines handed to the highlighter at once,
// the runs of the given length.
std::vector<ond::TOndRangeState> StartStatesByRuns(const std::vector<std::string>& lines, int Scheme,
                                                   std::size_t Run) {
  ond::TOndGenHighlighter& h = Highlighter(Scheme);
  std::vector<std::string> texts;
  for (const std::string& l : lines) {
    std::string expanded = Expanded(l);
    texts.push_back(expanded.empty() ? l : expanded);
  }
  const std::vector<std::string_view> views(texts.begin(), texts.end());
  std::vector<ond::TOndRangeState> ends(lines.size());
  h.ResetRange();
  for (std::size_t i = 0; i < views.size(); i += Run) {
    const std::size_t n = std::min(Run, views.size() - i);
    h.RangesOfLines(views.data() + i, static_cast<int>(n), static_cast<int>(i), ends.data() + i);
  }
  std::vector<ond::TOndRangeState> states{0};
  states.insert(states.end(), ends.begin(), ends.end() - 1);
  return states;
}

// Whether the token holding display column col (1-based) is a string or
// comment, from a cut of the line from its start.
bool NonCodeByPlainCut(std::string_view text, int lineIndex, ond::TOndRangeState start, int col) {
  ond::TOndGenHighlighter& h = Highlighter();
  if (lineIndex == 0)
    h.ResetRange();
  else
    h.SetRange(start);
  h.SetLine(text, lineIndex);
  for (; !h.GetEol(); h.Next()) {
    const int p = h.GetTokenPos();
    const int n = static_cast<int>(h.GetToken().size());
    if (col >= p + 1 && col < p + 1 + n) {
      ond::TOndHighlighterAttributes* a = h.GetTokenAttribute();
      return a && ond::IsNonCodeAttributeName(a->Name());
    }
  }
  return false;
}

// One scan over the lines. In pieces, each call of the scan gets a time
// limit already past, and the highlighter cuts another text between pieces,
// as another editor sharing it would.
void Scan(const ond::TOndFoldScanner& scanner, const std::vector<std::string>& lines,
          const std::vector<ond::TOndRangeState>& starts, ond::TOndEditAllFoldRanges& all, bool inPieces) {
  ond::TOndLineCodeMap map;
  ond::TOndFoldScan scan(scanner, all, kTabWidth, [&map](std::int32_t line, std::int32_t ch) {
    Check(line - 1 == map.LineIndex());
    return map.NonCode(ch);
  });
  ond::TOndGenHighlighter& h = Highlighter();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    map.Start(h, static_cast<int>(i), lines[i], Expanded(lines[i]), kTabWidth, i == 0, starts[i]);
    if (!inPieces) {
      scan.Line(lines[i]);
      continue;
    }
    std::size_t pieces = 0;
    while (!scan.LineSome(lines[i], std::chrono::steady_clock::time_point())) {
      Check(++pieces <= lines[i].size() + 1);
      h.ResetRange();
      h.SetLine("/* \"{", 0);
      h.Next();
    }
  }
  scan.Finish();
}

void Dump(const ond::TOndEditFoldRanges& ranges, std::string& out) {
  for (int i = 0; i < ranges.Count(); ++i) {
    const ond::TOndEditFoldRange* r = ranges.Items(i);
    out += std::to_string(r->FromLine) + '-' + std::to_string(r->ToLine) + ':' +
           std::to_string(reinterpret_cast<std::uintptr_t>(r->FoldRegion)) + '(';
    Dump(r->SubFoldRanges, out);
    out += ')';
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = SplitLines(text);
  const std::vector<ond::TOndRangeState> starts = StartStates(lines, 0, false);
  Check(StartStates(lines, 0, true) == starts);
  for (int scheme = 1; scheme < ond::BuiltinSchemeCount; ++scheme)
    Check(StartStates(lines, scheme, true) == StartStates(lines, scheme, false));
  for (int scheme = 0; scheme < ond::BuiltinSchemeCount; ++scheme) {
    const std::vector<ond::TOndRangeState> plain = StartStates(lines, scheme, false);
    for (const std::size_t run : {std::size_t{1}, std::size_t{3}, lines.size()})
      Check(StartStatesByRuns(lines, scheme, run) == plain);
  }
  ond::TOndFoldScanner scanner(Highlighter().FoldRegions(), false);

  ond::TOndEditAllFoldRanges whole, pieces;
  Scan(scanner, lines, starts, whole, false);
  Scan(scanner, lines, starts, pieces, true);
  std::string a, b;
  Dump(whole, a);
  Dump(pieces, b);
  Check(a == b);

  if (size <= kOracleSize) {
    ond::TOndLineCodeMap map;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const std::string expanded = Expanded(lines[i]);
      const std::string_view cut = expanded.empty() ? std::string_view(lines[i]) : std::string_view(expanded);
      map.Start(Highlighter(), static_cast<int>(i), lines[i], expanded, kTabWidth, i == 0, starts[i]);
      int col = 0;
      for (std::size_t c = 0; c < lines[i].size(); ++c) {
        const char ch = lines[i][c];
        const int here = col + 1;
        col = ch == '\t' ? col + kTabWidth - col % kTabWidth : col + 1;
        if (ch != '{' && ch != '}' && ch != '[' && ch != ']') continue;
        const bool fast = map.NonCode(static_cast<int>(c) + 1);
        Check(fast == NonCodeByPlainCut(cut, static_cast<int>(i), starts[i], here));
      }
    }
  }
  return 0;
}
