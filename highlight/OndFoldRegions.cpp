#include "highlight/OndFoldRegions.h"

#include "platform/core/CodePage.h"
#include "platform/core/SysUtils.h"

namespace ond {

namespace {

[[noreturn]] void ListIndexError(int Index) {
  throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
}

}  // namespace

TFoldRegionItem::TFoldRegionItem() : FSubFoldRegions(std::make_unique<TFoldRegions>()) {}

TFoldRegionItem::~TFoldRegionItem() = default;

TSkipRegionItem* TSkipRegions::Add(std::string_view Open, std::string_view Close, TSkipRegionItemType RegionType,
                                   std::string_view Escape) {
  auto item = std::make_unique<TSkipRegionItem>();
  item->Open = std::string(Open);
  item->Close = std::string(Close);
  item->RegionType = RegionType;
  item->Escape = std::string(Escape);
  FItems.push_back(std::move(item));
  return FItems.back().get();
}

TSkipRegionItem* TSkipRegions::Items(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return FItems[static_cast<std::size_t>(Index)].get();
}

TFoldRegionItem* TFoldRegions::Add(TFoldRegionType RegionType, bool AddEnding, bool AllowNoSubs, bool WholeWords,
                                   std::string_view Open, std::string_view Close) {
  auto item = std::make_unique<TFoldRegionItem>();
  item->RegionType = RegionType;
  item->AddEnding = AddEnding;
  item->AllowNoSubs = AllowNoSubs;
  item->WholeWords = WholeWords;
  item->Open = std::string(Open);
  item->Close = std::string(Close);
  FItems.push_back(std::move(item));
  return FItems.back().get();
}

TFoldRegionItem* TFoldRegions::Items(int Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
  return FItems[static_cast<std::size_t>(Index)].get();
}

bool IsFoldWordChar(char C) noexcept { return IsDefaultIdentChar(static_cast<unsigned char>(C)); }

bool FoldTokenAt(std::string_view Text, std::size_t Pos, std::string_view Token, TFoldRegionType RegionType,
                 bool WholeWords) noexcept {
  if (Token.empty() || Pos >= Text.size()) return false;
  const std::size_t len = RegionType == frtChar ? 1 : Token.size();
  if (len > Text.size() - Pos) return false;
  if (Text.compare(Pos, len, Token.substr(0, len)) != 0) return false;
  if (WholeWords) {
    if (Pos > 0 && IsFoldWordChar(Text[Pos - 1])) return false;
    if (Pos + len < Text.size() && IsFoldWordChar(Text[Pos + len])) return false;
  }
  return true;
}

}  // namespace ond
