// The completion pop-up's arithmetic, apart from any window: the size and
// place of a hint on the screen that holds its point, the parameter hint's
// line, and the code list's filter and selection. The pop-up window only
// forwards to these, so they are tested without a screen.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Types.h"

namespace ond {

enum TOndCompletionOption : std::uint16_t {
  scoAnsiStrings = 1u << 0,
  scoCaseSensitive = 1u << 1,
  scoLimitToMatchedText = 1u << 2,
  scoTitleIsCentered = 1u << 3,
  scoUseInsertList = 1u << 4,
  scoUsePrettyText = 1u << 5,
  scoUseBuiltInTimer = 1u << 6,
  scoEndCharCompletion = 1u << 7,
  scoConsiderWordBreakChars = 1u << 8,
  scoCompleteWithTab = 1u << 9,
  scoCompleteWithEnter = 1u << 10,
};
using TOndCompletionOptions = std::uint16_t;
constexpr TOndCompletionOptions DefaultProposalOptions =
    scoLimitToMatchedText | scoEndCharCompletion | scoCompleteWithTab | scoCompleteWithEnter;

// The size of a hint of ItemCount items whose widest formatted item is
// WidestItem pixels.
TSize HintSize(int ItemCount, int ItemHeight, int WidestItem, int Margin);
// Where a pop-up of Size asked for at At goes on the screen Screen: moved
// left to leave 5 pixels at the right edge, or above the point when it would
// pass the bottom, never off the screen's top or left.
TPoint PlaceOnScreen(TPoint At, TSize Size, const TRect& Screen);

// The code list's frame: a border to size the list by when it is
// resizeable, a thin line otherwise (hints draw their own).
constexpr int ProposalSizingFrame = 4;
constexpr int ProposalThinFrame = 1;
// The height of a code list showing Lines items under a title TitleHeight
// high (0: none), with the frame on both sides.
int CodeListHeight(int Lines, int ItemHeight, int TitleHeight, int Frame);
// The whole number of items (at least one) a code list Height high shows:
// the nearest to what fits.
int CodeListLines(int Height, int ItemHeight, int TitleHeight, int Frame);

// The parameter hint's line: the comma-separated parts of Item joined by
// single blanks, part Index shown bold.
std::string FormatParamsItem(std::string_view Item, int Index);

// The code list: which items match the text typed so far and which one is
// selected. Items are compared by their first characters with the typed
// text: the insert text with scoUseInsertList, else the plain text of a
// formatted item with scoUsePrettyText, else the item itself.
class TProposalList {
 public:
  std::vector<std::string> Items;
  std::vector<std::string> InsertItems;
  TOndCompletionOptions Options = DefaultProposalOptions;
  int VisibleLines = 8;

  // Rebuilds the shown list for the typed text and selects its first match.
  void Filter(std::string_view Typed);
  // The items shown, each an index into Items.
  const std::vector<int>& Shown() const { return FShown; }
  int Position() const { return FPosition; }
  int TopItem() const { return FTopItem; }
  // Selects a shown item (clamped) and scrolls it into view.
  void Select(int Index);
  void MoveBy(int Delta) { Select(FPosition + Delta); }
  // Scrolls the first visible item (clamped), the selection staying.
  void ScrollTo(int TopItem);
  // The text completing with the selection: the item, or its insert text
  // with scoUseInsertList; empty when nothing is shown.
  std::string Completion() const;

 private:
  bool Matches(int Item, std::string_view Typed) const;
  std::vector<int> FShown;
  int FPosition = 0;
  int FTopItem = 0;
};

}  // namespace ond
