// Searching the text and replacing what is found, through the search engine
// the control is given.
#include "editor/OndEdit.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "editor/OndEditLineRuns.h"
#include "platform/core/ScopeGuard.h"
#include "search/OndEditSearch.h"

namespace ond {

namespace {

// How much joined text the engine looks through at once: first a little,
// as the next match is often near (and lines that changed are looked at
// one by one to join them), then twice as much after each stretch without
// one, up to enough that each look costs little beside the scan.
constexpr std::size_t kFirstJoinedBytes = 4096;
constexpr std::size_t kJoinedSearchBytes = 64 * 1024;
// Going up, the last place of a stretch is looked for in pieces from its
// end, the first this long and each further one twice as long.
constexpr std::size_t kFirstPieceBytes = 256;

// The last place in Text where a match may begin, or Text.size().
std::size_t LastCandidate(TOndEditSearchCustom& Engine, std::string_view Text) {
  std::size_t end = Text.size();  // the places from here on are looked at
  for (std::size_t piece = kFirstPieceBytes; end > 0; piece *= 2) {
    const std::size_t from = end > piece ? end - piece : 0;
    // A place of this piece whose match runs on into the next one counts.
    std::size_t last = Text.size();
    for (std::size_t at = Engine.FirstCandidate(Text, from); at < end; at = Engine.FirstCandidate(Text, at + 1))
      last = at;
    if (last < Text.size()) return last;
    end = from;
  }
  return Text.size();
}

// The first line from Line towards Last (1-based, either way) that the
// engine cannot rule out, or 0 when it rules out all of them. Lines that
// stand one after another in the text the file was read into are looked
// through together, so most lines of a long search cost the engine
// nothing of their own.
int NextLineWorthSearching(const TOndEditStringList& Lines, TOndEditSearchCustom& Engine, int Line, int Last,
                           std::size_t FirstBytes = kFirstJoinedBytes) {
  const bool up = Last < Line;
  std::size_t bytes = FirstBytes;
  while (up ? Line >= Last : Line <= Last) {
    std::string_view text;
    const int reached = Lines.GetJoinedLines(Line - 1, Last - 1, bytes, text) + 1;
    bytes = std::min(2 * bytes, kJoinedSearchBytes);
    // Going down the first place that may match counts, going up the last.
    const std::size_t at = up ? LastCandidate(Engine, text) : Engine.FirstCandidate(text, 0);
    if (at < text.size()) {
      // The line the place lies in (or, between two lines, the one before
      // it): found from the side the walk comes from.
      const char* place = text.data() + at;
      for (int l = Line;; l += up ? -1 : 1) {
        const std::string_view t = Lines.GetView(l - 1);
        if (l == reached || (!t.empty() && (up ? place >= t.data() : place < t.data() + t.size()))) return l;
      }
    }
    Line = reached + (up ? -1 : 1);
  }
  return 0;
}

// A line's text as a search sees it: the header of a collapsed fold ends in
// a marker that is not text of the file, and is never found. Whether any
// fold is collapsed is asked once rather than for every line (the fold
// index answers it without a walk over the ranges), and only then each
// line's own header: a long search reads each line only for the engine.
template <class VisibleLength>
class TSearchedText {
 public:
  TSearchedText(const TOndEditStringList& Lines, const TOndEditAllFoldRanges& Folds, VisibleLength Visible)
      : FLines(Lines), FFolds(Folds), FVisible(Visible) {}
  std::string_view operator()(int Line) {
    const std::string_view text = FLines.GetView(Line - 1);
    if (!AnyCollapsed() || !FFolds.Index().CollapsedBetween(Line, Line)) return text;
    return text.substr(0, static_cast<std::size_t>(FVisible(Line)));
  }
  // Whatever ran meanwhile (an edit, a handler) may have folded or unfolded.
  void Forget() noexcept { FKnown = false; }
  // Whether any header is collapsed, asked again after Forget.
  bool AnyCollapsed() {
    if (!FKnown) {
      // A fold scan still to come has collapsed nothing: no need to run it.
      FAnyCollapsed = !FFolds.ScanPending() && FFolds.Index().CollapsedBetween(1, FLines.GetCount());
      FKnown = true;
    }
    return FAnyCollapsed;
  }

 private:
  const TOndEditStringList& FLines;
  const TOndEditAllFoldRanges& FFolds;
  VisibleLength FVisible;
  bool FAnyCollapsed = false;
  bool FKnown = false;
};

}  // namespace

// ---- search and replace -------------------------------------------------------------------

bool TCustomOndEdit::HasMatch(TOndEditSearchCustom& Engine, const std::string& ASearch, std::uint8_t AOptions) const {
  if (ASearch.empty()) return false;
  Engine.SetOptions(AOptions);
  Engine.SetPattern(ASearch);
  TSearchedText searchedText(*FLines, *FAllFoldRanges, [this](int Line) { return VisibleLineLength(Line); });
  const int count = FLines->GetCount();
  if (count < 1) return false;
  // No caret to start near: the whole text goes to the engine in its
  // longest stretches from the first.
  const bool skipping = Engine.CanSkipText();
  for (int line = 1; line <= count; ++line) {
    if (skipping) {
      line = NextLineWorthSearching(*FLines, Engine, line, count, kJoinedSearchBytes);
      if (line == 0) return false;
    }
    if (Engine.FindAll(searchedText(line)) > 0) return true;
  }
  return false;
}

int TCustomOndEdit::SearchReplace(const std::string& ASearch, const std::string& AReplace, std::uint8_t AOptions) {
  if (!FSearchEngine) throw EOndEditError("No search engine has been assigned");
  if (ASearch.empty()) return 0;
  if (!SelAvail()) AOptions &= static_cast<std::uint8_t>(~ssoSelectedOnly);
  const bool backwards = AOptions & ssoBackwards;
  const bool selOnly = AOptions & ssoSelectedOnly;
  const bool fromCaret = !(AOptions & ssoEntireScope);
  const bool replace = AOptions & ssoReplace;
  bool prompt = AOptions & ssoPrompt;
  bool replaceAll = AOptions & ssoReplaceAll;
  int count = FLines->GetCount();
  // The user's selection mode decides the scope; each match is selected and
  // replaced as plain text, so that neither whole lines (line mode) nor a
  // block (column mode) take the replacement's place.
  const TOndSelectionMode userMode = FSelectionMode;
  TBufferCoord start, end;
  if (selOnly) {
    start = GetBlockBegin();
    end = GetBlockEnd();
    if (userMode == smLine) {
      start.Char = 1;
      end.Char = LineLength(end.Line) + 1;
    } else if (userMode == smColumn && start.Char > end.Char) {
      std::swap(start.Char, end.Char);
    }
  } else {
    start = BufferCoord(1, 1);
    end = BufferCoord(LineLength(count) + 1, std::max(1, count));
    if (fromCaret) (backwards ? end : start) = GetCaretXY();
  }
  FSearchEngine->SetOptions(AOptions);
  FSearchEngine->SetPattern(ASearch);
  DoOnPaintTransient(ttBefore);
  int result = 0;
  bool locked = false, blockOpen = false;
  // Replacing all without prompting records no replacement on its own: each
  // line is kept as it was before its first replacement, and one record of
  // the lines that changed lets one undo restore them, however many matches
  // there were. Lines without a match are neither copied nor compared.
  std::optional<TOndLineRunsRecorder> kept;
  int progressFirst = 0;
  auto goUnprompted = [&](int line) {
    if (!locked) {
      LockPaint();
      locked = true;
    }
    if (!blockOpen) {
      FUndoList->BeginBlock();
      blockOpen = true;
    }
    kept.emplace(backwards);
    FUndoList->Lock();
    progressFirst = line;
  };
  if (replaceAll && !prompt) goUnprompted(backwards ? end.Line : start.Line);
  auto finish = [&]() {
    FSelectionMode = userMode;
    if (userMode != smNormal) InvalidateSelection();
    if (kept) {
      FUndoList->Unlock();
      RecordLineRuns(*kept);
    }
    if (locked) UnlockPaint();
    if (blockOpen) FUndoList->EndBlock();
    DoOnPaintTransient(ttAfter);
  };
  TSearchedText searchedText(*FLines, *FAllFoldRanges, [this](int Line) { return VisibleLineLength(Line); });
  FSelectionMode = smNormal;
  {
    const TScopeExit restore([&] { finish(); });
    const int scopeLines = end.Line - start.Line + 1;
    int replaceLen = 0;
    bool done = false;
    std::optional<bool> skipping;  // whether the engine passes over lines, asked at the first line
    for (int line = backwards ? end.Line : start.Line;
         !done && (backwards ? line >= start.Line : line <= end.Line) && line <= count; line += backwards ? -1 : 1) {
      if (!skipping) skipping = FSearchEngine->CanSkipText();
      if (*skipping) {
        const int last = backwards ? std::max(start.Line, 1) : std::min(end.Line, count);
        line = NextLineWorthSearching(*FLines, *FSearchEngine, line, last);
        if (line == 0) {
          // The lines passed over are done too: the progress reaches the end.
          if (kept && OnReplaceProgress) OnReplaceProgress(this, std::abs(last - progressFirst), scopeLines, result);
          break;
        }
      }
      if (kept && OnReplaceProgress) {
        OnReplaceProgress(this, std::abs(line - progressFirst), scopeLines, result);
        searchedText.Forget();  // whatever ran meanwhile may have folded
      }
      // A collapsed header's marker is not text of the file: it is never found.
      const int n = FSearchEngine->FindAll(searchedText(line));
      int offset = 0;
      int shownBelow = 0;
      for (int k = 0; k < n && !done; ++k) {
        const int i = backwards ? FSearchEngine->GetResultCount() - 1 - k : k;
        const int p = FSearchEngine->GetResult(i) + offset, len = FSearchEngine->GetLength(i);
        bool inside = true;
        if (userMode != smColumn || !selOnly) {
          if ((line == start.Line && p < start.Char) || (line == end.Line && p + len > end.Char)) inside = false;
        } else if (end.Char - start.Char >= 1) {
          inside = p >= start.Char && p + len <= end.Char;
        }
        if (!inside) continue;
        // Find next never stays on an empty match at the caret.
        if (fromCaret && !selOnly && len == 0 &&
            ((!backwards && line == start.Line && p == start.Char) || (backwards && line == end.Line && p == end.Char)))
          continue;
        ++result;
        SetBlockBegin(BufferCoord(p, line));
        SetCaretXYEx(false, BufferCoord(1, line));
        MakeCaretVisibleEx(true);
        SetBlockEnd(BufferCoord(p + len, line));
        InternalSetCaretXY(BufferCoord(backwards ? p : p + len, line));
        if (!replace && !replaceAll) {
          done = true;
          break;
        }
        TOndReplaceAction action = raReplace;
        if (prompt) {
          DoOnReplaceText(ASearch, AReplace, line, p, action);
          searchedText.Forget();  // the handler may have folded or unfolded
        }
        if (action == raCancel) {
          done = true;
          break;
        }
        if (action == raReplaceAll) {
          prompt = false;
          replaceAll = true;
          goUnprompted(line);
        }
        if (action == raReplace || action == raReplaceAll) {
          const std::string found = GetSelText();
          const std::string repl = FSearchEngine->Replace(found, AReplace);
          const int beforeOpen = FLines->GetCount();
          if (repl == found) {
            --result;  // replacing a text by itself is no replacement
            replaceLen = len;
          } else if (searchedText.AnyCollapsed() && repl.find_first_of("\r\n") != std::string::npos &&
                     !OpenFoldForLineBreak(line, kept)) {
            --result;  // the header stays whole: its marker never becomes text
            replaceLen = len;
          } else {
            // The lines a fold just showed below this one were hidden from
            // the search: it goes on after them.
            if (const int shown = FLines->GetCount() - beforeOpen; shown > 0) {
              count += shown;
              if (end.Line > line) end.Line += shown;
              if (!backwards) shownBelow += shown;
              searchedText.Forget();
            }
            const int linesBefore = FLines->GetCount();
            // A collapsed header is kept without its marker, and its hidden
            // lines end the run it stands in.
            const int visible = searchedText.AnyCollapsed() ? VisibleLineLength(line) : LineLength(line);
            if (kept)
              kept->Keep(line, FLines->GetView(line - 1).substr(0, static_cast<std::size_t>(visible)),
                         visible != LineLength(line));
            SetSelText(repl);
            if (kept) kept->Grew(FLines->GetCount() - linesBefore);
            replaceLen = FCaretX - p;
            // An edit never collapses a fold, but may move or open one.
            if (searchedText.AnyCollapsed()) searchedText.Forget();
            const int added = FCaretY - line;
            if (!backwards && added > 0) {
              // The replacement broke the line: the rest of it, with the
              // matches still to come, now stands on the last new line after
              // the caret, and the lines below moved down. The search goes
              // on there and never into the text just put in.
              count += added;
              if (line == end.Line && (userMode != smColumn || !selOnly)) end.Char += FCaretX - (p + len);
              if (end.Line >= line) end.Line += added;
              if (selOnly && userMode != smColumn) SetBlockEnd(end);
              offset = FCaretX - (FSearchEngine->GetResult(i) + len);
              line += added;
              if (!replaceAll) done = true;
              continue;
            }
          }
        }
        if (!backwards) {
          InternalSetCaretXY(BufferCoord(p + replaceLen, line));
          if (replaceLen != len && action != raSkip) {
            offset += replaceLen - len;
            // The scope's end on its last line moves with the text, so the
            // matches after this one on that line stay inside it.
            if ((userMode != smColumn || !selOnly) && line == end.Line) {
              end.Char += replaceLen - len;
              if (selOnly) SetBlockEnd(end);
            }
          }
        }
        if (!replaceAll) done = true;
      }
      line += shownBelow;
    }
  }
  // The ranges follow the replaced text now, not at the next key edit.
  UpdateFoldsAfterLinesPut();
  return result;
}

bool TCustomOndEdit::OpenFoldForLineBreak(int Line, std::optional<TOndLineRunsRecorder>& Kept) {
  if (VisibleLineLength(Line) == LineLength(Line)) return true;
  if (Kept) {
    // The opening is recorded before the record of the lines, on the
    // header's line in the text as it stood before the replace-all: undo
    // takes the lines back first, and then closes the fold on the text and
    // ranges it was opened from. Recorded in between, it would be undone on
    // a text half replaced, whose ranges need not hide the same lines.
    // Going down, the lines kept so far stand above the header; going up,
    // below it, moved down by the lines the fold shows.
    const int header = Kept->Upwards() ? Line : Line - Kept->Gained();
    const int before = FLines->GetCount();
    ExpandFoldRange(CollapsedFoldAt(Line));
    const int shown = FLines->GetCount() - before;
    if (shown > 0) {
      if (Kept->Upwards()) Kept->Moved(shown);
      FUndoList->Unlock();
      const TScopeExit relock([&] { FUndoList->Lock(); });
      RecordFoldToggle(header, false, shown);
    }
  } else {
    ExpandFoldRange(CollapsedFoldAt(Line));
  }
  return VisibleLineLength(Line) == LineLength(Line);
}

}  // namespace ond
