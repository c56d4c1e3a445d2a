// An index by line over the visible fold ranges of one fold tree, so that the
// questions asked on every keystroke and every paint (which range starts,
// ends or runs at a line, how many lines the folds above hide) cost a binary
// search instead of a walk over every range. The tree owns its index and
// builds it again after the ranges changed, or, when lines were only
// inserted or deleted and every range followed them, shifts its lines in
// place: the order of the ranges stays, so nothing is sorted again.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace ond {

class TOndEditFoldRange;

class TOndFoldIndex {
 public:
  // Indexes the ranges of Flat (the tree's flat list, in its order) that no
  // collapsed range hides. Ranges on the same line keep their flat order.
  void Build(const std::vector<std::unique_ptr<TOndEditFoldRange>>& Flat);
  // The same build in idle-time pieces, for a tree nothing changes
  // meanwhile: Read goes through the ranges of Flat from where it stopped,
  // then makes the index of them, until Until has passed (true once done);
  // Finish then makes Index what Build would (at once when Read is done),
  // without reading a range again.
  class TPieces {
   public:
    TPieces();
    ~TPieces();
    TPieces(const TPieces&) = delete;
    TPieces& operator=(const TPieces&) = delete;
    bool Read(const std::vector<std::unique_ptr<TOndEditFoldRange>>& Flat,
              std::chrono::steady_clock::time_point Until);
    // Ranges read so far.
    std::size_t RangesRead() const noexcept;
    void Finish(TOndFoldIndex& Index);

   private:
    struct Impl;
    std::unique_ptr<Impl> FImpl;
  };
  // Every line of the index below Line moves by Delta, as the ranges did
  // when Delta lines were inserted after Line (or -Delta deleted there). The
  // caller makes sure that each indexed range moved so, and, for a deletion,
  // that none had a line among the deleted ones.
  void Shift(std::int32_t Line, std::int32_t Delta) noexcept;
  // After the ranges starting on lines First .. Until - 1 were replaced by
  // Added (in flat order, each starting there, visible and expanded) and
  // Changed (ranges above First) may have got new closing lines: the index
  // follows without reading every range (nor the replaced ones, which
  // may be freed already). False, with the index as it was,
  // when it cannot tell the order that a build would give (a collapsed range
  // among the lines, a closing line shared with a range it keeps); the
  // caller builds it again then.
  bool Replace(std::int32_t First, std::int32_t Until, const std::vector<TOndEditFoldRange*>& Added,
               const std::vector<TOndEditFoldRange*>& Changed);

  // After Range was collapsed (Delta < 0: -Delta lines hidden below its
  // header) or expanded (Delta > 0) and the other ranges shifted as a fold
  // shifts them (those after the hidden lines move, the expanded ones
  // reaching past them and Ancestors, the ranges holding Range, widen): the
  // index follows with a pass over its own arrays instead of reading every
  // range. False, with the index as it was, when it cannot tell the order a
  // build would give; the caller builds it again then.
  bool Fold(TOndEditFoldRange* Range, std::int32_t Delta, const std::vector<TOndEditFoldRange*>& Ancestors);

  // The first visible range starting at Line.
  TOndEditFoldRange* StartingAt(std::int32_t Line) const noexcept;
  // The first visible range with lines starting at Line, leaving out Other;
  // Position, when asked: the visible ranges before it on that line, plus one.
  TOndEditFoldRange* WithLinesAt(std::int32_t Line, std::int32_t* Position,
                                 const TOndEditFoldRange* Other = nullptr) const noexcept;
  // The first visible, expanded range ending at Line.
  TOndEditFoldRange* ExpandedEndingAt(std::int32_t Line) const noexcept;
  // Whether a visible, expanded range with lines ends at Line.
  bool ExpandedWithLinesEndsAt(std::int32_t Line) const noexcept;
  // Whether Line lies strictly between the header and the closing line of a
  // visible, expanded range.
  bool InsideExpanded(std::int32_t Line) const noexcept;
  // The lines hidden by the visible collapsed ranges whose header is above
  // Line (each counts its hidden lines plus one).
  std::int64_t HiddenAbove(std::int32_t Line) const noexcept;
  // Whether a visible collapsed range has its header on lines First .. Last.
  bool CollapsedBetween(std::int32_t First, std::int32_t Last) const noexcept;
  // Whether the index holds every range of the tree's flat list, in the
  // flat list's own order: nothing hidden, nothing collapsed, and the flat
  // list in line order. The place of a range in the flat list is then its
  // place here, found by its line instead of by a walk over the list.
  bool IsFlatList() const noexcept { return FIsFlatList; }
  // The number of visible ranges starting above Line.
  std::size_t StartingAbove(std::int32_t Line) const noexcept;
  // The visible ranges starting below Line, by header line.
  std::vector<TOndEditFoldRange*> StartingBelow(std::int32_t Line) const;
  // The visible ranges that reach into lines First .. Last, by header line.
  std::vector<TOndEditFoldRange*> Over(std::int32_t First, std::int32_t Last) const;

 private:
  struct TIndexed;
  // Visible ranges by header line, then flat order, with their lines.
  std::vector<TOndEditFoldRange*> FByFrom;
  std::vector<std::int32_t> FFrom, FTo;
  bool FIsFlatList = false;
  // Per entry of FByFrom: expanded and with lines.
  std::vector<std::uint8_t> FOpenWithLines;
  // Per block of FByFrom, the largest closing line in it.
  std::vector<std::int32_t> FBlockMaxTo;
  // Over the first i entries of FByFrom: the hidden lines of the collapsed
  // ones, and the largest closing line of the expanded ones.
  std::vector<std::int64_t> FHiddenBefore;
  std::vector<std::int32_t> FCollapsedBefore;
  std::vector<std::int32_t> FExpandedMaxTo;
  // Visible, expanded ranges by closing line, then flat order.
  std::vector<TOndEditFoldRange*> FExpandedByTo;
  std::vector<std::int32_t> FExpandedTo;
  std::vector<std::uint8_t> FExpandedWithLines;
};

}  // namespace ond
