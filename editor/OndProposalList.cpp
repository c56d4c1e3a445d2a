#include "editor/OndProposalList.h"

#include <algorithm>

#include "editor/OndProposalFormat.h"
#include "platform/core/CodePage.h"

namespace ond {

TSize HintSize(int ItemCount, int ItemHeight, int WidestItem, int Margin) {
  return TSize{WidestItem + 2 * Margin + 2, ItemCount * ItemHeight + 2 + 2 * Margin};
}

TPoint PlaceOnScreen(TPoint At, TSize Size, const TRect& Screen) {
  TPoint p = At;
  if (p.X + Size.cx > Screen.Right) p.X = std::max(Screen.Left, Screen.Right - Size.cx - 5);
  if (p.Y + Size.cy > Screen.Bottom) p.Y = std::max(Screen.Top, p.Y - Size.cy - 2);
  return p;
}

int CodeListHeight(int Lines, int ItemHeight, int TitleHeight, int Frame) {
  return std::max(1, Lines) * std::max(1, ItemHeight) + std::max(0, TitleHeight) + 2 * std::max(0, Frame);
}

int CodeListLines(int Height, int ItemHeight, int TitleHeight, int Frame) {
  const int item = std::max(1, ItemHeight);
  const int room = Height - std::max(0, TitleHeight) - 2 * std::max(0, Frame);
  return std::max(1, (room + item / 2) / item);
}

std::string FormatParamsItem(std::string_view Item, int Index) {
  std::string out;
  int part = 0;
  for (;;) {
    const std::size_t comma = Item.find(',');
    const std::string_view text = Item.substr(0, comma);
    if (part > 0) out += ' ';
    if (part == Index) out += "\\style{~B}";
    out += text;
    if (part == Index) out += "\\style{~B}";
    if (comma == std::string_view::npos) break;
    Item.remove_prefix(comma + 1);
    ++part;
  }
  return out;
}

bool TProposalList::Matches(int Item, std::string_view Typed) const {
  const std::size_t i = static_cast<std::size_t>(Item);
  std::string text;
  if ((Options & scoUseInsertList) && i < InsertItems.size())
    text = InsertItems[i];
  else if (Options & scoUsePrettyText)
    text = FormatPlainText(Items[i]);
  else
    text = Items[i];
  if (text.size() < Typed.size()) return false;
  const std::string_view head = std::string_view(text).substr(0, Typed.size());
  if (Options & scoCaseSensitive) return head == Typed;
  if (Options & scoAnsiStrings) return AnsiSameText(head, Typed);
  return AsciiUpperCase(head) == AsciiUpperCase(Typed);
}

void TProposalList::Filter(std::string_view Typed) {
  FShown.clear();
  const int count = static_cast<int>(Items.size());
  if (Options & scoLimitToMatchedText) {
    for (int i = 0; i < count; ++i)
      if (Matches(i, Typed)) FShown.push_back(i);
    FTopItem = 0;
    Select(0);
    return;
  }
  for (int i = 0; i < count; ++i) FShown.push_back(i);
  int first = 0;
  while (first < count && !Matches(first, Typed)) ++first;
  Select(first < count ? first : 0);
}

void TProposalList::Select(int Index) {
  const int count = static_cast<int>(FShown.size());
  FPosition = std::clamp(Index, 0, std::max(0, count - 1));
  const int lines = std::max(1, VisibleLines);
  if (FPosition < FTopItem) FTopItem = FPosition;
  if (FPosition >= FTopItem + lines) FTopItem = FPosition - lines + 1;
  ScrollTo(FTopItem);
}

void TProposalList::ScrollTo(int TopItem) {
  const int count = static_cast<int>(FShown.size());
  FTopItem = std::clamp(TopItem, 0, std::max(0, count - std::max(1, VisibleLines)));
}

std::string TProposalList::Completion() const {
  if (FShown.empty()) return {};
  const std::size_t item = static_cast<std::size_t>(FShown[static_cast<std::size_t>(FPosition)]);
  if ((Options & scoUseInsertList) && item < InsertItems.size()) return InsertItems[item];
  return Items[item];
}

}  // namespace ond
