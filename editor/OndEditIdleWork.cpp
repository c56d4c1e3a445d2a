// Work the editor leaves for idle time in a long text: the postponed fold
// scan once painting wants fold marks, and the far partner of the bracket at
// the caret. A timer runs it in short pieces on the GUI thread (the
// highlighter a scan asks is shared by every panel of its scheme, so it
// never runs on a thread of its own); whatever needs a result before then
// finishes the work at once.
#include <algorithm>

#include "editor/OndEdit.h"

#include <array>

#include "editor/OndEditImpl.h"
#include "highlight/OndEditHighlighter.h"

namespace ond {

void ScanLineRanges(TOndCustomHighlighter& Highlighter, TOndEditStringList& Lines, int From, int Last) {
  // Lines handed over at once: few enough that their records and texts
  // are still at hand when the states are written.
  constexpr int kStretch = 512;
  std::array<std::string_view, kStretch> texts;
  std::array<TOndRangeState, kStretch> ends;
  std::vector<std::string> expanded;  // the lines with tabs of a stretch
  expanded.reserve(kStretch);  // never moves: the views point into it
  for (int i = From; i <= Last;) {
    const int n = std::min(Last - i + 1, kStretch);
    expanded.clear();
    for (int k = 0; k < n; ++k) {
      if (Lines.LineHasTabs(i + k)) {
        expanded.push_back(Lines.GetExpandedText(i + k));
        texts[static_cast<std::size_t>(k)] = expanded.back();
      } else {
        texts[static_cast<std::size_t>(k)] = Lines.GetView(i + k);
      }
    }
    Highlighter.RangesOfLines(texts.data(), n, i, ends.data());
    Lines.PutRanges(i, ends.data(), n);
    i += n;
  }
}

namespace {

// Bytes of joined lines looked through for a bracket between two looks at
// the clock.
constexpr std::size_t kBracketlessBytes = 256 * 1024;

// Moves a walk for the partner of a bracket (standing at 1-based Line and
// Char, the last place it looked at) over the lines after it that hold
// neither Open nor Close, whole runs of joined lines at a time: such lines
// change nothing in the walk. It then stands at the end of the last of
// them. False when Until passed first.
bool PassBracketlessLines(const TOndEditStringList& Lines, bool Forward, char Open, char Close, int& Line, int& Char,
                          std::chrono::steady_clock::time_point Until) {
  const int count = Lines.GetCount();
  if (Line < 1 || Line > count) return true;
  const std::string_view own = Lines.GetView(Line - 1);
  // The rest of its own line: what it looks at next, from Char + 1 on or
  // from Char - 1 back.
  const int size = static_cast<int>(own.size());
  const std::string_view rest = Forward ? own.substr(static_cast<std::size_t>(std::clamp(Char, 0, size)))
                                        : own.substr(0, static_cast<std::size_t>(std::clamp(Char - 1, 0, size)));
  if (rest.find(Open) != std::string_view::npos || rest.find(Close) != std::string_view::npos) return true;
  const int step = Forward ? 1 : -1;
  const int last = Forward ? count - 1 : 0;
  for (int next = Line - 1 + step;;) {
    if (next < 0 || next >= count || Lines.LineHoldingEither(next, last, Open, Close, kBracketlessBytes, next)) {
      // The walk stands at the end of the line before, in its direction.
      Line = next - step + 1;
      Char = Forward ? static_cast<int>(Lines.GetView(Line - 1).size()) : 1;
      return true;
    }
    if (std::chrono::steady_clock::now() >= Until) {
      Line = next - step + 1;
      Char = Forward ? static_cast<int>(Lines.GetView(Line - 1).size()) : 1;
      return false;
    }
  }
}

}  // namespace

bool TCustomOndEdit::IdleWorkPending() const noexcept {
  return (FFoldScanInIdle && FAllFoldRanges->ScanPending()) || FFoldUpdate != nullptr || FBracketWalk != nullptr ||
         FAllFoldRanges->RetiredPending();
}

void TCustomOndEdit::StartIdleWork() {
  if (!FIdleTimer) {
    FIdleTimer = std::make_unique<TTimer>(nullptr);
    FIdleTimer->SetEnabled(false);
    FIdleTimer->SetInterval(1);
    FIdleTimer->OnTimer = [this](TObject*) {
      if (RunIdleWork(std::chrono::milliseconds(kIdleSliceMs))) FIdleTimer->SetEnabled(false);
    };
  }
  FIdleTimer->SetEnabled(true);
}

bool TCustomOndEdit::RunIdleWork(std::chrono::milliseconds Budget) {
  const auto until = std::chrono::steady_clock::now() + Budget;
  if (FFoldScanInIdle && FAllFoldRanges->ScanPending()) {
    // The marks are painted once the scan is complete (the scan repaints).
    if (!FAllFoldRanges->ScanSome(until)) return false;
  }
  FFoldScanInIdle = false;
  if (FFoldUpdate && !RunFoldUpdate(until)) return false;
  // The ranges an update replaced are freed in pieces of their own.
  if (FAllFoldRanges->RetiredPending() && !FAllFoldRanges->FreeRetired(until)) return false;
  if (FBracketWalk) {
    TBracketWalk& w = *FBracketWalk;
    if (!PassBracketlessLines(*FLines, w.Forward, w.Open, w.Close, w.Line, w.Char, until)) return false;
    if (!WalkBracket(w, until)) return false;
    const TBracketWalk done = *FBracketWalk;
    FBracketWalk.reset();
    RememberBracketPartner(done.From, done.Found);
    // The painting that asked for it gets its answer.
    InvalidateLine(done.From.Line);
    if (done.Found.Line > 0) InvalidateLine(done.Found.Line);
  }
  return true;
}

void TCustomOndEdit::RememberBracketPartner(const TBufferCoord& From, const TBufferCoord& Found) {
  std::rotate(FBracketsFound.rbegin(), FBracketsFound.rbegin() + 1, FBracketsFound.rend());
  FBracketsFound[0] = {From, Found};
}

void TCustomOndEdit::DropBracketSearch() noexcept {
  FBracketWalk.reset();
  FBracketsFound.fill({});
  FCodeMap.Clear();
}

bool TCustomOndEdit::LongText() const {
  const int count = FLines->GetCount();
  if (count >= kIdleWorkLines) return true;
  std::size_t chars = 0;
  for (int i = 0; i < count; ++i) {
    chars += FLines->GetView(i).size();
    if (chars >= kIdleWorkChars) return true;
  }
  return false;
}

bool TCustomOndEdit::NonCodeAt(int Line, int Char) const {
  if (!FHighlighter || Line < 1 || Line > FLines->GetCount()) return false;
  const std::string_view raw = FLines->GetView(Line - 1);
  if (Char < 1 || Char > static_cast<int>(raw.size())) return false;
  if (FCodeMap.LineIndex() != Line - 1 || FCodeMap.Highlighter() != FHighlighter || FCodeMap.TabWidth() != FTabWidth) {
    // The line starts where the one before ended.
    ScanRangesThrough(Line - 2);
    FCodeMap.Start(*FHighlighter, Line - 1, raw, FLines->LineHasTabs(Line - 1) ? FLines->GetExpandedText(Line - 1) : "",
                   FTabWidth, Line == 1, Line > 1 ? FLines->GetRange(Line - 2) : 0);
  }
  return FCodeMap.NonCode(Char);
}

}  // namespace ond
