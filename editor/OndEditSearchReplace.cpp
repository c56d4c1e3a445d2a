// Searching the text and replacing what is found, through the search engine
// the control is given.
#include "editor/OndEdit.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/core/ScopeGuard.h"
#include "search/OndEditSearch.h"

namespace ond {

// ---- search and replace -------------------------------------------------------------------

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
  // Replacing all without prompting records no replacement on its own: the
  // lines it reaches are kept as they were, and one record of the lines that
  // changed lets one undo restore them, however many matches there were.
  std::unique_ptr<TLinesSnapshot> before;
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
    before = std::make_unique<TLinesSnapshot>(
        TakeLinesSnapshot(backwards ? 1 : line, backwards ? line : FLines->GetCount()));
    FUndoList->Lock();
    progressFirst = line;
  };
  if (replaceAll && !prompt) goUnprompted(backwards ? end.Line : start.Line);
  auto finish = [&]() {
    FSelectionMode = userMode;
    if (userMode != smNormal) InvalidateSelection();
    if (before) {
      FUndoList->Unlock();
      RecordChangedLines(*before);
    }
    if (locked) UnlockPaint();
    if (blockOpen) FUndoList->EndBlock();
    DoOnPaintTransient(ttAfter);
  };
  // The headers of collapsed folds, the only lines whose stored text ends in
  // a marker that is not text of the file. Found once rather than asking for
  // every line: a long search then reads each line only for the engine.
  std::vector<int> collapsedHeaders;
  bool headersKnown = false;
  auto searchedText = [&](int line) {
    if (!headersKnown) {
      collapsedHeaders.clear();
      // A fold scan still to come has collapsed nothing: no need to run it.
      for (int j = 0; !FAllFoldRanges->ScanPending() && j < FAllFoldRanges->AllCount(); ++j) {
        const TOndEditFoldRange* r = FAllFoldRanges->AllRanges(j);
        if (r->Collapsed && !r->ParentCollapsed) collapsedHeaders.push_back(r->FromLine);
      }
      std::sort(collapsedHeaders.begin(), collapsedHeaders.end());
      headersKnown = true;
    }
    const std::string_view text = FLines->GetView(line - 1);
    if (!std::binary_search(collapsedHeaders.begin(), collapsedHeaders.end(), line)) return text;
    return text.substr(0, static_cast<std::size_t>(VisibleLineLength(line)));
  };
  FSelectionMode = smNormal;
  {
    const TScopeExit restore([&] { finish(); });
    const int scopeLines = end.Line - start.Line + 1;
    int replaceLen = 0;
    bool done = false;
    for (int line = backwards ? end.Line : start.Line;
         !done && (backwards ? line >= start.Line : line <= end.Line) && line <= count; line += backwards ? -1 : 1) {
      if (before && OnReplaceProgress) {
        OnReplaceProgress(this, std::abs(line - progressFirst), scopeLines, result);
        headersKnown = false;  // whatever ran meanwhile may have folded
      }
      // A collapsed header's marker is not text of the file: it is never found.
      const int n = FSearchEngine->FindAll(searchedText(line));
      int offset = 0;
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
          headersKnown = false;  // the handler may have folded or unfolded
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
          if (repl == found) {
            --result;  // replacing a text by itself is no replacement
            replaceLen = len;
          } else {
            SetSelText(repl);
            replaceLen = FCaretX - p;
            // An edit never collapses a fold, but may move or open one.
            if (!collapsedHeaders.empty()) headersKnown = false;
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
    }
  }
  return result;
}

}  // namespace ond
