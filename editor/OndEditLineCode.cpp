#include "editor/OndEditLineCode.h"

#include <algorithm>
#include <climits>

#include "editor/OndEditCodeFolding.h"

namespace ond {

namespace {
// Columns cut at least per step of the pass: questions about the next
// braces of a line are mostly answered without coming back.
constexpr int kColumnsPerStep = 4096;
}  // namespace

void TOndLineCodeMap::Clear() noexcept {
  FHighlighter = nullptr;
  FLine = -1;
  FRaw = FText = std::string_view();
  FExpanded.clear();
  FColumns.clear();
  FSpans.clear();
  FStarted = FEol = false;
}

void TOndLineCodeMap::Start(TOndCustomHighlighter& Highlighter, int LineIndex, std::string_view Raw,
                            std::string Expanded, int TabWidth, bool ResetRange, TOndRangeState StartRange) {
  Clear();
  FHighlighter = &Highlighter;
  FLine = LineIndex;
  FTabWidth = std::max(1, TabWidth);
  FRaw = Raw;
  FResetRange = ResetRange;
  FStartRange = StartRange;
  FResumePos = 0;
  FExpanded = std::move(Expanded);
  if (FRaw.find('\t') == std::string_view::npos) {
    FText = FRaw;
    return;
  }
  FText = FExpanded;
  FColumns.resize(FRaw.size());
  int width = 0;
  for (std::size_t i = 0; i < FRaw.size(); ++i) {
    FColumns[i] = width + 1;
    width = FRaw[i] == '\t' ? width + FTabWidth - (width % FTabWidth) : width + 1;
  }
}

bool TOndLineCodeMap::NonCodeAttribute(TOndHighlighterAttributes* Attr) {
  if (!Attr) return false;
  for (const auto& [a, verdict] : FVerdicts)
    if (a == Attr) return verdict;
  const bool verdict = IsNonCodeAttributeName(Attr->Name());
  FVerdicts.emplace_back(Attr, verdict);
  return verdict;
}

void TOndLineCodeMap::Extend(int Col) {
  if (FEol || !FHighlighter) return;
  TOndCustomHighlighter& h = *FHighlighter;
  if (!FStarted) {
    if (FResetRange)
      h.ResetRange();
    else
      h.SetRange(FStartRange);
    h.SetLine(FText, FLine);
    FStarted = true;
  } else if (!h.ResumeLine(FText, FLine, FResumePos, FResumeRange)) {
    // A highlighter that cannot go on cuts the line again up to here.
    if (FResetRange)
      h.ResetRange();
    else
      h.SetRange(FStartRange);
    h.SetLine(FText, FLine);
    while (!h.GetEol() && h.GetTokenPos() < FResumePos) h.Next();
  }
  const int until = std::max(Col, FResumePos + kColumnsPerStep);
  while (!h.GetEol()) {
    const int p = h.GetTokenPos();
    const int n = static_cast<int>(h.GetToken().size());
    if (n > 0 && NonCodeAttribute(h.GetTokenAttribute())) {
      if (!FSpans.empty() && FSpans.back().second == p + 1)
        FSpans.back().second = p + 1 + n;
      else
        FSpans.emplace_back(p + 1, p + 1 + n);
    }
    FResumePos = p + n;
    FResumeRange = h.GetRange();
    // Stops between two tokens, once past the column asked about.
    if (FResumePos + 1 > until) return;
    h.Next();
  }
  FEol = true;
  FEndRange = h.GetRange();
}

bool TOndLineCodeMap::NonCode(int Char) {
  if (Char < 1 || Char > static_cast<int>(FRaw.size())) return false;
  const int col = FColumns.empty() ? Char : FColumns[static_cast<std::size_t>(Char - 1)];
  if (col > FResumePos && !FEol) Extend(col);
  const auto after = std::upper_bound(FSpans.begin(), FSpans.end(), col,
                                      [](int c, const std::pair<int, int>& s) { return c < s.first; });
  return after != FSpans.begin() && col < std::prev(after)->second;
}

TOndRangeState TOndLineCodeMap::Finish() {
  Extend(INT_MAX);
  return FEndRange;
}

}  // namespace ond
