// Which rows of a word-wrapped line a replacement of its text changed. A key
// typed into a line of many rows changes the rows from the one it reaches
// on; the rows before it keep their text, their breaks and their colours,
// and are not painted again.
#include <algorithm>
#include <string_view>
#include <vector>

#include "editor/OndEdit.h"
#include "editor/OndEditGeometry.h"
#include "editor/OndEditWordWrap.h"
#include "highlight/OndEditHighlighter.h"

namespace ond {

namespace {

// A token the highlighter cut from a line: where it starts, how long it is
// and how it is shown.
struct TCutToken {
  int Pos = 0;
  int Len = 0;
  const TOndHighlighterAttributes* Attr = nullptr;
  bool operator==(const TCutToken&) const = default;
};

// The tokens of Text that start before Limit, cut off there: the columns
// from Limit on are painted again anyway.
void CutBefore(TOndCustomHighlighter& H, std::string_view Text, int LineIndex, TOndRangeState Start, int Limit,
               std::vector<TCutToken>& Out) {
  Out.clear();
  if (LineIndex == 0)
    H.ResetRange();
  else
    H.SetRange(Start);
  H.SetLine(Text, LineIndex);
  while (!H.GetEol()) {
    const int pos = H.GetTokenPos();
    if (pos >= Limit) break;
    const int len = std::min(static_cast<int>(H.GetToken().size()), Limit - pos);
    Out.push_back({pos, len, H.GetTokenAttribute()});
    H.Next();
  }
}

}  // namespace

int TCustomOndEdit::WrappedRowChangedFrom(int Index) {
  const int lineRow = LineToRow(Index + 1);
  // Colours chosen by the program for the line as a whole may follow its text.
  if (OnSpecialLineColors) return lineRow;
  const std::string_view was = FWrapTextBeforePut;
  const std::string_view now = FLines->GetView(Index);
  const auto differ = std::mismatch(was.begin(), was.end(), now.begin(), now.end());
  int changed = static_cast<int>(differ.first - was.begin());
  if (FHighlighter && FHighlighter->GetEnabled()) {
    // A token before the change can be shown otherwise for what follows it
    // (a word that became a keyword): the first character whose token
    // differs between the two texts counts as changed.
    ScanRangesThrough(Index - 1);
    const TOndRangeState start = Index > 0 ? FLines->GetRange(Index - 1) : 0;
    static thread_local std::vector<TCutToken> before, after;
    CutBefore(*FHighlighter, was, Index, start, changed, before);
    CutBefore(*FHighlighter, now, Index, start, changed, after);
    const auto first = std::mismatch(before.begin(), before.end(), after.begin(), after.end());
    if (first.first != before.end()) changed = std::min(changed, first.first->Pos);
    if (first.second != after.end()) changed = std::min(changed, first.second->Pos);
  }
  // The text before the change is the same in both, so are its columns.
  const int column = LineCharToColumn(now, changed + 1, FTabWidth) - 1;
  const int row = FWordWrapPlugin->FirstRowReaching(Index, column);
  return row > 0 ? row : lineRow;
}

}  // namespace ond
