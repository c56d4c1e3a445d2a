// Which stretches of one line the highlighter calls strings, comments or
// remarks. The fold scan and the bracket search ask about every brace of a
// line; the line is cut into tokens once, as far as the questions reach,
// and every answer comes from what that one pass found. The pass may stop
// inside the line and go on later (the highlighter is shared by several
// editors and may cut other lines in between), so a long line costs one pass
// however it is asked and however it is split into pieces of work.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "highlight/OndEditHighlighter.h"

namespace ond {

class TOndLineCodeMap {
 public:
  // Forgets the line.
  void Clear() noexcept;
  // The 0-based line of the pass, or -1.
  int LineIndex() const noexcept { return FLine; }
  const TOndCustomHighlighter* Highlighter() const noexcept { return FHighlighter; }
  int TabWidth() const noexcept { return FTabWidth; }

  // Begins the pass over line LineIndex. Raw is its text and stays valid
  // and unchanged until the map is cleared or started again; Expanded is
  // its text with tabs expanded when it has any (the map keeps it), else
  // empty. The line starts in range state StartRange, or in a reset state.
  void Start(TOndCustomHighlighter& Highlighter, int LineIndex, std::string_view Raw, std::string Expanded,
             int TabWidth, bool ResetRange, TOndRangeState StartRange);
  // Whether the 1-based character Char of the line lies in a string,
  // comment or remark token; the pass goes on as far as needed.
  bool NonCode(int Char);
  // Goes on to the line's end; the range state the line ends in.
  TOndRangeState Finish();

 private:
  // Cuts on until the token holding display column Col (1-based) is known.
  void Extend(int Col);
  bool NonCodeAttribute(TOndHighlighterAttributes* Attr);

  TOndCustomHighlighter* FHighlighter = nullptr;
  int FLine = -1;
  int FTabWidth = 8;
  std::string_view FRaw;
  std::string FExpanded;  // the expanded text of a line with tabs
  std::string_view FText;  // what the highlighter cuts
  std::vector<int> FColumns;  // display column of each character of a line with tabs
  bool FResetRange = true;
  TOndRangeState FStartRange = 0;
  bool FStarted = false;
  bool FEol = false;
  // Where the pass stands: the end of the last token cut (0-based) and the
  // range state there.
  int FResumePos = 0;
  TOndRangeState FResumeRange = 0;
  TOndRangeState FEndRange = 0;
  // Non-code stretches found so far as [first, end) display columns, in
  // order, touching ones joined.
  std::vector<std::pair<int, int>> FSpans;
  std::vector<std::pair<TOndHighlighterAttributes*, bool>> FVerdicts;
};

}  // namespace ond
