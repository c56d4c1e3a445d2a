// What the implementation files of the editor control share and nobody else
// needs: the kinds of undo records, position order, and scopes that keep the
// paint lock or an undo block over a block of code even when it throws. This
// header is not part of the unit's face; OndEdit.h is.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "editor/OndEdit.h"
#include "editor/OndEditCodeFolding.h"

namespace ond {

inline bool IsEndMarker(TOndUndoReason R) {
  return R == urCompound1End || R == urPasteEnd || R == urCompound2End || R == urCompound3End;
}
inline bool IsBeginMarker(TOndUndoReason R) {
  return R == urCompound1Begin || R == urPasteBegin || R == urCompound2Begin || R == urCompound3Begin;
}
// Records whose Start..End holds text the change inserted (Text: what it replaced).
inline bool IsInsertRecord(TOndUndoReason R) {
  return R == urInsert || R == urPaste || R == urDragDropInsert || R == urLineBreak || R == urIndent;
}
// Records whose Text was removed from Start..End.
inline bool IsDeleteRecord(TOndUndoReason R) {
  return R == urDeleteAfterCursor || R == urDelete || R == urUnindent || R == urSilentDelete ||
         R == urSilentDeleteAfterCursor || R == urDeleteAll;
}

// Kinds whose neighbouring records of the same kind eoGroupUndo does not join
// into one step. A fold record goes with the step it was made in, as its
// change number says: a step whose first record opened a fold is not joined
// to the folds of the step before.
inline bool NeverGrouped(TOndUndoReason R) {
  return R == urIndent || R == urUnindent || R == urGroupBreak || R == urReplaceLines || R == urFoldChange;
}

// The lines of a text: split at CR LF, LF or CR; an empty text is one empty line.
inline std::vector<std::string_view> SplitTextLines(std::string_view Text) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  for (std::size_t i = 0; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c != '\r' && c != '\n') continue;
    out.push_back(Text.substr(start, i - start));
    if (c == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  out.push_back(Text.substr(start));
  return out;
}

class TOndCustomHighlighter;

// Stores the range states of lines From .. Last of Lines, line From starting
// in the highlighter's current range: a stretch of lines at a time through
// the highlighter's RangesOfLines, lines with tabs expanded.
void ScanLineRanges(TOndCustomHighlighter& Highlighter, TOndEditStringList& Lines, int From, int Last);

inline bool PosBefore(const TBufferCoord& A, const TBufferCoord& B) {
  return A.Line < B.Line || (A.Line == B.Line && A.Char < B.Char);
}

// Counts a piece of work under way for as long as the scope lasts.
class CounterScope {
 public:
  explicit CounterScope(int& C) : FCount(C) { ++FCount; }
  ~CounterScope() { --FCount; }
  CounterScope(const CounterScope&) = delete;
  CounterScope& operator=(const CounterScope&) = delete;

 private:
  int& FCount;
};

inline std::string TrimRightBlanks(std::string_view S) {
  std::size_t n = S.size();
  while (n > 0 && (S[n - 1] == ' ' || S[n - 1] == '\t')) --n;
  return std::string(S.substr(0, n));
}

// Keeps the paint lock over a scope, released also by an exception.
class PaintLockScope {
 public:
  explicit PaintLockScope(TCustomOndEdit& E) : FEdit(E) { FEdit.LockPaint(); }
  ~PaintLockScope() {
    try {
      FEdit.UnlockPaint();
    } catch (...) {
    }
  }
  PaintLockScope(const PaintLockScope&) = delete;
  PaintLockScope& operator=(const PaintLockScope&) = delete;

 private:
  TCustomOndEdit& FEdit;
};

class UndoBlockScope {
 public:
  explicit UndoBlockScope(TOndEditUndoList* L) : FList(L) { FList->BeginBlock(); }
  ~UndoBlockScope() { FList->EndBlock(); }
  UndoBlockScope(const UndoBlockScope&) = delete;
  UndoBlockScope& operator=(const UndoBlockScope&) = delete;

 private:
  TOndEditUndoList* FList;
};

// Expands every collapsed fold whose header lies on the lines B to E (and the
// folds inside them as they come into view), moving B and E with the text: a
// position past the visible part of a header stands after the fold's last
// line. Expand does the expanding and answers whether it did.
template <class ExpandFunc>
void ExpandFoldsBetween(const TOndEditStringList& Lines, TOndEditAllFoldRanges& Ranges, TBufferCoord& B,
                        TBufferCoord& E, ExpandFunc Expand) {
  if (!Ranges.Index().CollapsedBetween(B.Line, E.Line)) return;
  auto length = [&Lines](int Line) {
    return Line >= 1 && Line <= Lines.GetCount() ? static_cast<int>(Lines.GetView(Line - 1).size()) : 0;
  };
  // Expands R when its header lies between B and E, moving them.
  auto expand = [&](TOndEditFoldRange* R) {
    const int header = R->FromLine, before = Lines.GetCount();
    const int visible = length(header) - static_cast<int>(CollapsedMarker(R).size());
    const bool bAtEnd = B.Line == header && B.Char > visible + 1;
    const bool eAtEnd = E.Line == header && E.Char > visible + 1;
    if (!Expand(R)) return false;
    const int shown = Lines.GetCount() - before;
    const TBufferCoord foldEnd = BufferCoord(length(header + shown) + 1, header + shown);
    if (E.Line > header)
      E.Line += shown;
    else if (eAtEnd)
      E = foldEnd;
    if (bAtEnd) B = foldEnd;
    return true;
  };
  const auto between = [&](const TOndEditFoldRange* R) {
    return R->Collapsed && !R->ParentCollapsed && R->FromLine >= B.Line && R->FromLine <= E.Line;
  };
  for (bool any = true; any;) {
    any = false;
    // They are expanded in flat order. A current index tells when none is
    // left, or names the only one, without a pass over every range.
    if (Ranges.IndexCurrent()) {
      const TOndFoldIndex& index = Ranges.Index();
      if (!index.CollapsedBetween(B.Line, E.Line)) break;
      TOndEditFoldRange* only = nullptr;
      int found = 0;
      for (TOndEditFoldRange* r : index.Over(B.Line, E.Line))
        if (between(r)) {
          only = r;
          ++found;
        }
      if (found == 1 && !index.CollapsedBetween(B.Line, only->FromLine - 1) &&
          !index.CollapsedBetween(only->FromLine + 1, E.Line)) {
        any = expand(only);
        continue;
      }
    }
    // A pass reads two fields of each range: the list may hold a million.
    const auto& all = Ranges.AllRangeList();
    for (std::size_t j = 0; j < all.size(); ++j) {
      TOndEditFoldRange* r = all[j].get();
      if (!between(r) || !expand(r)) continue;
      any = true;
      break;
    }
  }
}

}  // namespace ond
