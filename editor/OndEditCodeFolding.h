// The data of code folding: fold regions (pairs of opening and closing tokens)
// and skip regions (stretches where tokens do not count), the tree of fold
// ranges found in one editor's text, and the colour conversion between RGB
// and hue, saturation and lightness used for the folder bar.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "editor/OndEditFoldIndex.h"
#include "editor/OndEditTextBuffer.h"
#include "editor/OndEditTypes.h"
#include "highlight/OndFoldRegions.h"
#include "platform/core/Classes.h"

namespace ond {

class TOndEditAllFoldRanges;


class TOndEditFoldRange;

// An ordered list of fold ranges: the children of a range or the top level.
// It does not own them. A range sits in at most one such list; adding it to
// another takes it out of the first, and a range that is freed leaves its
// list, so no list ever holds a freed range.
class TOndEditFoldRanges {
 public:
  TOndEditFoldRanges() = default;
  TOndEditFoldRanges(const TOndEditFoldRanges&) = delete;
  TOndEditFoldRanges& operator=(const TOndEditFoldRanges&) = delete;
  virtual ~TOndEditFoldRanges();

  int Count() const noexcept { return static_cast<int>(FRanges.size()); }
  TOndEditFoldRange* Items(int Index) const;
  TOndEditFoldRange* operator[](int Index) const { return Items(Index); }
  int Add(TOndEditFoldRange* Range);
  void Insert(int Index, TOndEditFoldRange* Range);
  void Delete(int Index);
  // Takes Range out of the list; its former index, or -1.
  int Remove(TOndEditFoldRange* Range) noexcept;
  int IndexOf(const TOndEditFoldRange* Range) const noexcept;
  void Clear() noexcept;
  // In a list in line order: the ranges starting on lines First .. Until - 1
  // leave it, and Ranges (in line order) come in their place. The lists
  // Ranges were in still name them: the caller drops those lists.
  void ReplaceLines(std::int32_t First, std::int32_t Until, const std::vector<TOndEditFoldRange*>& Ranges);
  // The ranges starting on lines First .. Until - 1 of a list in line order.
  std::vector<TOndEditFoldRange*> RangesOnLines(std::int32_t First, std::int32_t Until) const;
  // The last range starting above Line in a list in line order, or null.
  TOndEditFoldRange* LastAbove(std::int32_t Line) const noexcept;
  // Moves the ranges of Source (in line order) starting on line First or
  // below to the end of this list.
  void TakeFrom(TOndEditFoldRanges& Source, std::int32_t First);
  // The range whose sub ranges this list holds; null for a top level.
  TOndEditFoldRange* Owner() const noexcept { return FOwner; }

 private:
  friend class TOndEditFoldRange;
  friend class TOndEditAllFoldRanges;
  void Unlink(TOndEditFoldRange* Range) noexcept;
  void DropAll() noexcept;

  std::vector<TOndEditFoldRange*> FRanges;
  TOndEditFoldRange* FOwner = nullptr;
};

class TOndEditFoldRange : public TOndEditUndoObject {
 public:
  TOndEditFoldRange() noexcept { SubFoldRanges.FOwner = this; }
  ~TOndEditFoldRange() override;

  std::int32_t FromLine = 0;  // header line, 1-based
  std::int32_t ToLine = 0;    // closing line, 1-based
  std::int32_t IndentLevel = 0;
  std::int32_t LinesCollapsed = 0;    // hidden lines minus one, set on collapse
  std::int32_t CollapsingLevel = -1;  // Level of the collapsed ancestor hiding it
  std::int32_t Level = 0;             // nesting depth, 0 at the top
  TOndEditFoldRanges SubFoldRanges;
  bool Collapsed = false;
  bool ParentCollapsed = false;
  // The hidden lines while collapsed, last line first, each with its modified
  // state as the object.
  TStringList CollapsedLines;
  TOndEditAllFoldRanges* AllFoldRanges = nullptr;
  TFoldRegionItem* FoldRegion = nullptr;
  // For a range without a region of its own (one that undo made to hide
  // lines again): the region whose ending its collapsed header shows.
  TFoldRegionItem* EndingRegion = nullptr;
  // When the closing line lies hidden in the collapsed range whose header
  // is ToLine: how many lines below that header it lies, every fold
  // expanded; 0 when it is in sight.
  std::int32_t ClosingBelow = 0;

  void Move(std::int32_t Count) noexcept;
  void Widen(std::int32_t Count) noexcept;
  bool HasLines() const noexcept { return FromLine != ToLine; }
  // Lines hidden by collapsed ranges anywhere below this one.
  std::int32_t HiddenInSubRanges() const noexcept;
  std::int32_t HiddenLineCount() const noexcept;
  void SetParentCollapsed(bool Value, std::int32_t ALevel) noexcept;
  void SetLevel(std::int32_t ALevel) noexcept;
  // The list holding this range (top level or a parent's SubFoldRanges).
  TOndEditFoldRanges* Container() const noexcept { return FContainer; }
  // Tells the tree (when the range has one) to index its ranges again.
  void TreeChanged() const noexcept;

 private:
  friend class TOndEditFoldRanges;
  friend class TOndEditAllFoldRanges;
  TOndEditFoldRanges* FContainer = nullptr;
};

// The top level of a fold tree plus the flat list of every range in creation
// order, which owns them.
class TOndEditAllFoldRanges : public TOndEditFoldRanges {
 public:
  TOndEditAllFoldRanges() = default;
  ~TOndEditAllFoldRanges() override;

  // The top level; these and every other question or change below settle a
  // postponed scan first.
  int Count() const {
    Settle();
    return TOndEditFoldRanges::Count();
  }
  TOndEditFoldRange* Items(int Index) const {
    Settle();
    return TOndEditFoldRanges::Items(Index);
  }
  TOndEditFoldRange* operator[](int Index) const { return Items(Index); }

  int AllCount() const {
    Settle();
    return static_cast<int>(FAllRanges.size());
  }
  TOndEditFoldRange* AllRanges(int Index) const;
  // Every range, for walks that must not throw once the tree is settled.
  const std::vector<std::unique_ptr<TOndEditFoldRange>>& AllRangeList() const {
    Settle();
    return FAllRanges;
  }
  int AllIndexOf(const TOndEditFoldRange* Range) const;
  TOndEditFoldRange* AllAdd(std::unique_ptr<TOndEditFoldRange> Range);
  TOndEditFoldRange* AllInsert(int Index, std::unique_ptr<TOndEditFoldRange> Range);
  // Takes a range out of the flat list without freeing it; it stays in its
  // tree list until it is freed.
  std::unique_ptr<TOndEditFoldRange> AllExtract(int Index);
  // Takes a range out of the flat list and frees it.
  void AllDelete(int Index);
  // Frees every range; the flat list and the top level end empty, and a
  // postponed scan is dropped.
  void FreeAllRanges() noexcept;
  // One piece of a postponed scan: it goes on where the last piece stopped,
  // does some work and stops once Until has passed; true when the tree is
  // complete. Until at its maximum: the whole rest at once.
  using TScanPiece = std::function<bool(std::chrono::steady_clock::time_point Until)>;
  // Puts the scan that fills an empty tree off until its ranges are first
  // wanted: the rest of it runs on the first question or change, so the
  // ranges of a text nobody looks at are never looked for. Pieces of it may
  // run before (ScanSome); what they found is seen by nobody until the scan
  // is complete. The scan must fill the tree exactly as running it at once
  // would.
  void PostponeScan(TScanPiece Scan) { FPendingScan = std::move(Scan); }
  bool ScanPending() const noexcept { return static_cast<bool>(FPendingScan); }
  // Runs the rest of the postponed scan, if there is one.
  void Settle() const;
  // Runs one piece of the postponed scan; true when none is left to run.
  bool ScanSome(std::chrono::steady_clock::time_point Until);
  // Rebuilds this tree as a deep copy of Source's tree (regions shared).
  void Assign(const TOndEditAllFoldRanges& Source);

  // The index by line of the visible ranges, built again on the first
  // question after a change.
  const TOndFoldIndex& Index() const;
  // Ranges moved, folded, came, went or changed places in the tree: the
  // index is built again when next asked. The tree's own operations and the
  // ranges' own methods say so themselves; code that writes a range's
  // fields directly must say so too.
  void IndexChanged() noexcept {
    FIndexStale = true;
    FIndexPieces.reset();
  }
  // Builds the index in idle-time pieces, for a tree nothing changes
  // meanwhile (a change drops what was read): true once it is current.
  bool IndexSome(std::chrono::steady_clock::time_point Until);
  // Whether the index is built and up to the ranges now.
  bool IndexCurrent() const noexcept { return !FIndexStale && !FPendingScan; }
  // After lines were inserted or deleted after Line: the index, current
  // before, shifts its lines as the ranges moved (see TOndFoldIndex::Shift)
  // and is current again, without being built again.
  void IndexShifted(std::int32_t Line, std::int32_t Delta) noexcept {
    FIndex.Shift(Line, Delta);
    FIndexStale = false;
  }
  // After a bounded update replaced the ranges starting on lines First ..
  // Until - 1 by Added and gave Changed new ends: the index, current
  // before, follows (see TOndFoldIndex::Replace); false when it must be
  // built again.
  bool IndexReplaced(std::int32_t First, std::int32_t Until, const std::vector<TOndEditFoldRange*>& Added,
                     const std::vector<TOndEditFoldRange*>& Changed) {
    if (!FIndex.Replace(First, Until, Added, Changed)) return false;
    FIndexStale = false;
    return true;
  }
  // The index as it stands, built or not: for a change that asked for it
  // current just before and reads it halfway.
  const TOndFoldIndex& IndexAsItWas() const noexcept { return FIndex; }
  // After Range folded or unfolded (see TOndFoldIndex::Fold): the index,
  // current before, follows; false when it must be built again.
  bool IndexFolded(TOndEditFoldRange* Range, std::int32_t Delta, const std::vector<TOndEditFoldRange*>& Ancestors) {
    if (!FIndex.Fold(Range, Delta, Ancestors)) return false;
    FIndexStale = false;
    return true;
  }
  // How many times the index was built, so that tests can tell an edit
  // that rebuilt it (a walk over every range) from one that shifted it.
  std::uint64_t IndexBuilds() const noexcept { return FIndexBuilds; }
  // Whether some line the scans that made this tree passed ended inside a
  // skip region or a range that holds no sub ranges, or a range was never
  // closed: the state a scan stands in at a line's start is then more than
  // the ranges the tree has open there, and a scan cannot be taken up again
  // at a line from the tree alone. Emptying the tree forgets it.
  bool StateCrossesLines() const noexcept { return FStateCrossesLines; }
  void SetStateCrossesLines(bool Value) noexcept { FStateCrossesLines = Value; }
  // Counts the ranges taken out of the flat list or freed, so that a holder
  // of pointers to ranges can tell whether they may have gone.
  std::uint64_t Removals() const noexcept { return FRemovals; }
  // Frees the ranges of Gone (none of them collapsed, or hidden) and puts
  // every range of From's flat list, in its order, before the first range
  // left that is not hidden and starts on First or below; From ends empty.
  // The ranges' lists are the caller's: it takes the ranges out of theirs.
  void SpliceRanges(const std::vector<TOndEditFoldRange*>& Gone, std::int32_t First, TOndEditAllFoldRanges& From);
  // The same when the caller knows that the flat list is in line order and
  // that At ranges of it start above First (see TOndFoldIndex::IsFlatList):
  // when the ranges of Gone are the ones at At on, From's take their place
  // without a walk over the list; false, with nothing changed, when not.
  bool SpliceRangesAt(std::size_t At, const std::vector<TOndEditFoldRange*>& Gone, TOndEditAllFoldRanges& From);
  // How many times an edit walked every range of the flat list, so that
  // tests can tell an edit whose work follows the text's length from one
  // whose work follows the change.
  std::uint64_t WholeWalks() const noexcept { return FWholeWalks; }
  void NoteWholeWalk() noexcept { ++FWholeWalks; }
  // Takes every range out of the tree at once (none of them may be
  // collapsed or hidden): the tree ends empty, and the ranges, no longer of
  // the tree, wait to be freed by FreeRetired, so that a million of them are
  // not freed in one go. Nor are they walked now: FreeRetired takes them out
  // of their lists (and of any list outside the tree) first, a piece at a
  // time.
  void RetireAll() noexcept { RetireFrom(*this); }
  // The same for every range of Other, a tree of its own (an update's new
  // tree, dropped): they wait here to be freed, and Other ends empty.
  void RetireFrom(TOndEditAllFoldRanges& Other) noexcept;
  bool RetiredPending() const noexcept { return !FRetiring.empty() || !FRetired.empty(); }
  // Frees retired ranges until Until has passed; true when none is left.
  bool FreeRetired(std::chrono::steady_clock::time_point Until) noexcept;
  // A whole tree made apart from this one (by an update's scan) taken over
  // without a walk over its ranges in one go. Called on Fresh, a tree
  // nothing changes from the first call on: makes its ranges name Into
  // (while they stay in Fresh) and reads them for Into's index, until
  // Until has passed; true once done. Emptying Fresh starts it over.
  bool PrepareAdoption(TOndEditAllFoldRanges& Into, std::chrono::steady_clock::time_point Until);
  // With this tree empty and Fresh prepared: every range of Fresh, its top
  // level, its state across lines and the index read come over at once;
  // Fresh ends empty.
  void Adopt(TOndEditAllFoldRanges& Fresh);
  // Counts the ranges walked by the steps that go over a whole tree
  // (building the index, retiring, freeing, taking a tree over, putting an
  // update in place), so that tests can tell a step bounded by a piece from
  // a walk over every range.
  std::uint64_t RangesWalked() const noexcept { return FRangesWalked; }
  void NoteRangesWalked(std::uint64_t Count) const noexcept { FRangesWalked += Count; }

 private:
  void CheckAllIndex(int Index, bool ForInsert) const;
  // Takes the ranges of Gone out of their lists and frees their sub lists.
  void UnlinkGone(const std::vector<TOndEditFoldRange*>& Gone,
                  const std::unordered_set<const TOndEditFoldRange*>& GoneSet);
  std::uint64_t FWholeWalks = 0;
  std::vector<std::unique_ptr<TOndEditFoldRange>> FAllRanges;
  mutable TOndFoldIndex FIndex;
  mutable bool FIndexStale = true;
  mutable std::uint64_t FIndexBuilds = 0;
  mutable TScanPiece FPendingScan;
  bool FStateCrossesLines = false;
  std::uint64_t FRemovals = 0;
  mutable std::uint64_t FRangesWalked = 0;
  // Retired ranges still in lists (FRetiring: the sub lists of the first
  // FRetiringDropped let go, and FRetiringChild ranges of the next one's;
  // the lists of the first FRetiringOut left), and ranges out of every
  // list, waiting to be freed (FRetired).
  std::vector<std::unique_ptr<TOndEditFoldRange>> FRetiring;
  std::size_t FRetiringDropped = 0, FRetiringOut = 0, FRetiringChild = 0;
  // The trees the retiring ranges came from, whose top levels let them go
  // already; only compared, never read (a tree may be gone).
  std::vector<const TOndEditFoldRanges*> FRetiredFrom;
  std::vector<std::unique_ptr<TOndEditFoldRange>> FRetired;
  // Lets the retiring ranges out of their lists, until Until has passed;
  // true when all are out (and in FRetired).
  bool UnlinkRetiring(std::chrono::steady_clock::time_point Until) noexcept;
  // A taking over prepared on this tree: the ranges that name the tree
  // they go to, and the index read of them.
  std::size_t FAdoptNamed = 0;
  std::unique_ptr<TOndFoldIndex::TPieces> FAdoptIndex;
  // The index being built in pieces (IndexSome).
  std::unique_ptr<TOndFoldIndex::TPieces> FIndexPieces;
};

// Creates a range, appends it to Parent (when given) and to All's flat list.
TOndEditFoldRange* AddFoldRange(TOndEditFoldRanges* Parent, TOndEditAllFoldRanges* All, std::int32_t FromLine,
                                std::int32_t ToLine, TFoldRegionItem* FoldRegion, std::int32_t Level,
                                std::int32_t IndentLevel);

// A copy of Source's own fields (lines moved by Delta, fold state and hidden
// lines; not its sub ranges), appended to Parent and to All's flat list.
TOndEditFoldRange* CopyFoldRange(const TOndEditFoldRange& Source, TOndEditFoldRanges* Parent,
                                 TOndEditAllFoldRanges* All, std::int64_t Delta);

// Calls Fn for every range below Range, each before its own sub ranges.
template <class F>
void ForEachDescendant(const TOndEditFoldRange* Range, F&& Fn) {
  std::vector<TOndEditFoldRange*> stack;
  for (int i = Range->SubFoldRanges.Count() - 1; i >= 0; --i) stack.push_back(Range->SubFoldRanges.Items(i));
  while (!stack.empty()) {
    TOndEditFoldRange* r = stack.back();
    stack.pop_back();
    Fn(r);
    for (int i = r->SubFoldRanges.Count() - 1; i >= 0; --i) stack.push_back(r->SubFoldRanges.Items(i));
  }
}

// ------------------------------------------------------------ folding in an editor

// The text appended to the header line of a collapsed range: five blanks, then,
// when the region asks for it, its closing token in lower case.
std::string CollapsedMarker(const TFoldRegionItem* Region);
// The text a collapsed range's header shows: by its region, else by the
// region whose ending it shows.
std::string CollapsedMarker(const TOndEditFoldRange* Range);

// The collapsed ranges below Range not inside another collapsed range
// below it, by header line: while Range is collapsed, the ranges it hides
// with lines of their own hidden.
std::vector<const TOndEditFoldRange*> CollapsedBelow(const TOndEditFoldRange* Range);

// Recomputes every range's ParentCollapsed and CollapsingLevel from the tree
// (after ranges were put in place or taken out).
void NormalizeParentCollapsed(TOndEditAllFoldRanges& All);

// Whether a highlighter attribute name (compared without regard to ASCII case)
// begins with "string", "comment" or "remark": single-character tokens inside
// such text do not count.
bool IsNonCodeAttributeName(std::string_view Name) noexcept;

// The name of the highlighter attribute at a 1-based line and character; empty
// when there is none.
using TFoldAttributeNameFunc = std::function<std::string(std::int32_t Line, std::int32_t Char)>;

// Whether the character at a 1-based line and character lies in a string,
// comment or remark of the highlighter: single-character tokens there do
// not count.
using TFoldNonCodeFunc = std::function<bool(std::int32_t Line, std::int32_t Char)>;

// The same question answered from attribute names, one look-up per
// character; empty when Names is.
TFoldNonCodeFunc NonCodeFromAttributeNames(TFoldAttributeNameFunc Names);

enum class TFoldTokenKind : std::uint8_t { None, Open, Close };

// Indentation of a line in tab stops: each tab one stop, spaces one stop per
// TabWidth of them.
std::int32_t FoldIndentLevel(std::string_view Text, int TabWidth) noexcept;

// Finds the fold ranges of a text. The scanner works on its own copies of the
// tokens (upper-cased, "a" to "z", unless case-sensitive), so the regions,
// which a highlighter may own, are never changed.
class TOndFoldScanner {
 public:
  TOndFoldScanner(const TFoldRegions& Regions, bool CaseSensitive);
  ~TOndFoldScanner();
  TOndFoldScanner(const TOndFoldScanner&) = delete;
  TOndFoldScanner& operator=(const TOndFoldScanner&) = delete;

  // Adds the ranges of Lines (line i is line number i + 1) to All; the caller
  // empties All first. NonCodeAt, when assigned, is asked about
  // single-character tokens with those line numbers.
  void Scan(const std::vector<std::string_view>& Lines, TOndEditAllFoldRanges& All, int TabWidth,
            const TFoldNonCodeFunc& NonCodeAt = {}) const;
  // Whether a scan asks for attribute names (some token is a single
  // character).
  bool AsksAttributes() const noexcept;

 private:
  friend class TOndFoldScan;
  struct Impl;
  std::unique_ptr<Impl> FImpl;
};

// One scan of a text fed line by line, so that it can stop between any two
// lines, or inside a long one, and go on later: the ranges found so far are
// in All, the open ones still waiting for their end. The scanner must
// outlive the scan.
class TOndFoldScan {
 public:
  TOndFoldScan(const TOndFoldScanner& Scanner, TOndEditAllFoldRanges& All, int TabWidth,
               TFoldNonCodeFunc NonCodeAt = {});
  ~TOndFoldScan();
  TOndFoldScan(const TOndFoldScan&) = delete;
  TOndFoldScan& operator=(const TOndFoldScan&) = delete;

  // Scans the next line; the first is line number 1.
  void Line(std::string_view Text);
  // Scans the next line, or goes on with the one it stopped inside (Text
  // is then that line again, unchanged), until the line is done (true) or
  // Until has passed (false).
  bool LineSome(std::string_view Text, std::chrono::steady_clock::time_point Until);
  // Lines scanned to their end.
  std::int32_t LinesScanned() const noexcept;
  // After the last line: a range still looking for its closing token ends
  // on the last line.
  void Finish();
  // Takes the scan up at the start of line LinesBefore + 1, with Open (ranges
  // of the scan's tree, outermost first, each nested in the one before) open
  // there, as the tree of an earlier scan tells it. Only for a fresh scan;
  // false when a range's region is not one this scanner's regions nest there.
  bool Resume(std::int32_t LinesBefore, const std::vector<TOndEditFoldRange*>& Open);
  // The ranges open now, outermost first (between lines: those open at the
  // next line's start).
  std::vector<TOndEditFoldRange*> OpenRanges() const;
  // Whether the last line scanned ended inside a skip region or a range
  // that holds no sub ranges.
  bool StateCrossesLine() const noexcept;

 private:
  struct State;
  std::unique_ptr<State> FState;
};

// The lines an update of the ranges scans: every line but the headers of
// collapsed, visible ranges (those keep their ranges). The scan numbers
// the lines it is fed 1, 2, ...; these are turned back into real lines.
class TOndFoldUpdateLines {
 public:
  // Headers: the real (1-based) header lines, ascending, each once.
  explicit TOndFoldUpdateLines(std::vector<std::int32_t> Headers);
  // Whether real line Line is left out of the scan.
  bool Skipped(std::int32_t Line) const noexcept;
  // The real line of the scan's line Scanned.
  std::int32_t RealLine(std::int32_t Scanned) const noexcept;
  // Numbers the ranges a scan found with real lines.
  void ToRealLines(TOndEditAllFoldRanges& Fresh) const;
  // Whether no line is left out.
  bool None() const noexcept { return FHeaders.empty(); }

 private:
  std::vector<std::int32_t> FHeaders;
  std::vector<std::int32_t> FBefore;  // FHeaders[k] - k
};

// The text with every fold expanded, as an update that keeps the collapsed
// ranges scans it: a fold changes nothing of what the scan finds, so the
// hidden lines and the tokens of a collapsed header's line count as they
// would with the fold open. Lines are numbered from 1 as the scan numbers
// them.
struct TOndExpandedText {
  // Each line's text; a collapsed header's without its marker.
  std::vector<std::string_view> Lines;
  // Per line (index Line - 1): its line in the buffer, or, for a line
  // hidden in a collapsed range, the header of the collapsed range in sight
  // that hides it; and whether it is hidden.
  std::vector<std::int32_t> BufferLine;
  std::vector<std::uint8_t> Hidden;
  // The collapsed ranges in sight, by header line, each with the lines of
  // its header and of its closing line here.
  struct TFold {
    TOndEditFoldRange* Range;
    std::int32_t Header, Closing;
  };
  std::vector<TFold> Folds;
  // The texts of hidden lines, which the buffer does not hold.
  std::deque<std::string> Owned;
  // The line of the header in sight whose collapsed range hides Line (a
  // hidden line), or 0.
  std::int32_t FoldHeaderOf(std::int32_t Line) const noexcept;
};

// A collapsed range taken out of the fold tree because its header line was
// deleted, with every range below it; an undo record of reason urFoldChange
// owns it until undo puts it back.
class TOndDetachedFoldRange : public TOndEditUndoObject {
 public:
  // The range itself first, then its descendants in their former flat order.
  std::vector<std::unique_ptr<TOndEditFoldRange>> Ranges;
  TOndEditFoldRange* Range() const noexcept { return Ranges.empty() ? nullptr : Ranges.front().get(); }
};

// Code folding over one editor's line buffer and fold tree: collapse and
// expand, the scanner runs, the queries painting and the mouse need, and the
// bookkeeping of the code-folding plug-in. The editor's methods of the same
// names call these. Line numbers are 1-based.
class TOndCodeFolder {
 public:
  TOndCodeFolder(TOndEditStringList& Lines, TOndEditAllFoldRanges& Ranges) noexcept
      : FLines(Lines), FRanges(Ranges) {}

  // The regions in use (the highlighter's or the editor's own); none: no
  // range is ever found.
  const TFoldRegions* Regions = nullptr;
  bool CaseSensitive = false;
  // The highlighter's attribute names, for single-character tokens.
  TFoldAttributeNameFunc AttributeNameAt;
  // The same question as a whole, from one pass over each line; asked
  // instead of AttributeNameAt when assigned.
  TFoldNonCodeFunc NonCodeAt;
  // What a scan asks: NonCodeAt, or the names; empty with neither.
  TFoldNonCodeFunc NonCode() const { return NonCodeAt ? NonCodeAt : NonCodeFromAttributeNames(AttributeNameAt); }
  // What a scan of the text with every fold expanded asks, numbered as its
  // lines, hidden lines too; when not assigned, lines in the buffer are
  // asked through NonCode and hidden ones count as code.
  std::function<TFoldNonCodeFunc(const TOndExpandedText& Text)> ExpandedNonCode;
  // Set by an update: some collapsed range in sight no longer pairs with
  // what the scan found on its lines (an edit above it changed how they
  // read), so the ranges it hides are not those a scan finds there.
  bool Unpaired = false;

  TOndEditStringList& Lines() const noexcept { return FLines; }
  TOndEditAllFoldRanges& Ranges() const noexcept { return FRanges; }

  // Moves the hidden lines into the range and marks the header. Refused
  // (false) for a range that is collapsed, hidden, not in this tree, or would
  // hide nothing or lines the buffer does not have.
  bool CollapseFoldRange(TOndEditFoldRange* Range);
  // Puts the hidden lines back below the header. Refused (false) for a range
  // that is not collapsed or is hidden inside another collapsed one.
  bool ExpandFoldRange(TOndEditFoldRange* Range);
  // Expands every collapsed range at every depth. The editor maps its
  // selection through UncollapsedLine before the call.
  void ExpandAll();
  // Expands everything and finds all ranges again.
  void RescanFoldRanges();
  // Finds the ranges again while keeping the collapsed ones.
  void UpdateFoldRanges();
  // The same in two halves, so that the scan can run in pieces: the header
  // lines of the collapsed, visible ranges, which the scan leaves out; and
  // putting the ranges a scan of the other lines found (numbered with real
  // lines) in place of every range that is not collapsed. Fresh ends empty.
  std::vector<std::int32_t> CollapsedHeaderLines() const;
  void ApplyUpdate(TOndEditAllFoldRanges& Fresh);
  // With collapsed ranges: the text an update scans, and putting the ranges
  // its scan found (numbered as its lines) in place of every range that is
  // not collapsed. The collapsed ranges in sight keep their place where the
  // scan found them, each with what it hides; a range whose closing line is
  // hidden ends on the header hiding it. Fresh ends empty.
  TOndExpandedText ExpandedText() const;
  void ApplyExpandedUpdate(TOndEditAllFoldRanges& Fresh, const TOndExpandedText& Text);
  // What the scan of Text asks about its lines, for as long as Text lives.
  TFoldNonCodeFunc ExpandedScanNonCode(const TOndExpandedText& Text) const;
  // The visible, expanded ranges open at the start of Line (header above it,
  // closing line at or below it), outermost first: what a scan stands in
  // there. Asked before lines from Line on change, it stays the state a scan
  // of the changed text stands in at Line.
  std::vector<TOndEditFoldRange*> OpenRangesAt(std::int32_t Line) const;
  // Brings the tree up to the text after changes to lines First .. Last
  // (every line outside them kept its text; the tree was kept in step with
  // inserted and deleted lines, which may move the end of a range on the
  // line before them: First is that line), scanning from First, with Open
  // (from OpenRangesAt(First) before the changes) open there, on until past Last
  // the scan stands where the tree says an earlier scan stood: from there
  // on the old ranges hold. The ranges between are replaced, as an update
  // of the whole text would, in at most MaxLines lines. False, with the tree
  // as it was, when it cannot be bounded so: a collapsed range among the
  // lines, a state that crosses lines beyond the ranges, or no such line
  // within MaxLines. Visited, when given, counts the lines scanned.
  bool UpdateFoldRangesBetween(std::int32_t First, std::int32_t Last, const std::vector<TOndEditFoldRange*>& Open,
                               std::int32_t MaxLines, std::int64_t* Visited = nullptr);

  // These queries go through the tree's index by line.
  TOndEditFoldRange* FoldRangeStartingAt(std::int32_t Line) const;
  // Position, when asked: the number of visible ranges before it in the flat
  // list that start on the same line, plus one.
  TOndEditFoldRange* FoldRangeAtLine(std::int32_t Line, std::int32_t* Position = nullptr) const;
  // The number of Line in the text with every fold expanded.
  std::int32_t UncollapsedLine(std::int32_t Line) const;
  // The first expanded, visible range that ends on Line.
  TOndEditFoldRange* FoldRangeEndingAt(std::int32_t Line) const;
  bool IsRangeEnd(std::int32_t Line) const;
  bool IsInsideRange(std::int32_t Line) const;
  // Width of the line's leading blanks and tabs, a tab counting TabWidth.
  std::int32_t LineIndentColumns(std::int32_t Line) const noexcept;
  // Whether Text holds an opening token (at any depth of the regions), else a
  // closing one.
  TFoldTokenKind FoldTokenKindInLine(std::string_view Text) const;
  bool FoldTokenInLine(std::string_view Text) const { return FoldTokenKindInLine(Text) != TFoldTokenKind::None; }
  // The region (at any depth of the regions) whose opening token stands in
  // Text, the first one found; null when none does.
  TFoldRegionItem* OpeningRegionInLine(std::string_view Text) const;
  // The range the caret line opens (when it holds an opening token) or closes
  // (when it holds a closing token), for the highlighted bracket pair.
  TOndEditFoldRange* CaretFoldRange(std::int32_t Line) const;

  // The whole text with every fold expanded, lines joined by CR LF; the
  // editor's own lines and ranges stay as they are.
  std::string TextWithFoldsExpanded() const;
  // Dest becomes a copy of the lines with every fold expanded.
  void ExpandedLines(TOndEditStringList& Dest) const;
  // Dest becomes a copy of lines First .. Last (from 1 on), and DestRanges
  // a tree of the collapsed, visible ranges whose header is among them,
  // each with every range below it, numbered as Dest numbers the lines: a
  // stretch of the text that can be expanded on its own, without a copy
  // of the whole text and tree.
  void CopyLinesWithFolds(std::int32_t First, std::int32_t Last, TOndEditStringList& Dest,
                          TOndEditAllFoldRanges& DestRanges) const;

  // The code-folding plug-in. Lines were inserted or removed at Line (Delta
  // lines, negative for removal); CaretChar is the caret's 1-based character,
  // from which on the line after Line is examined for tokens.
  void AdjustFoldRanges(std::int32_t Line, std::int32_t Delta, std::int32_t CaretChar);
  void LinesInserted(std::int32_t FirstLine, std::int32_t Count, std::int32_t CaretChar);
  // Lines FirstLine .. FirstLine + Count - 1 were deleted: collapsed visible
  // ranges whose header was among them leave the tree into an undo record
  // of reason urFoldChange on UndoList (when given), then the rest shift.
  void LinesDeleted(std::int32_t FirstLine, std::int32_t Count, TOndEditUndoList* UndoList,
                    TOndSelectionMode SelectionMode, std::int32_t CaretChar);
  // Undo or redo of a reason urFoldChange record: takes the detached range
  // out of the record and puts it back at its former index and into the
  // tree. Call it once the header line is back in the buffer at the range's
  // FromLine. Returns the range, or nullptr when the record holds none.
  TOndEditFoldRange* RestoreFoldRange(TOndEditUndoItem& Item);

 private:
  TOndEditStringList& FLines;
  TOndEditAllFoldRanges& FRanges;
};

// Folder-bar colours: hue 0..360, saturation and lightness 0..100.
void RGBToHSL(TColor Color, std::int32_t& H, std::int32_t& S, std::int32_t& L);
TColor HSLToRGB(std::int32_t H, std::int32_t S, std::int32_t L);

}  // namespace ond
