// What can be folded in a text: fold regions (pairs of opening and closing
// tokens, with regions nested in them) and skip regions (stretches such as
// strings and comments in which tokens do not count). A highlighter's scheme
// brings its own; the editor has its own list too and scans with one of them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace ond {

class TFoldRegions;

using TFoldRegionType = std::uint8_t;
enum : TFoldRegionType {
  frtChar = 0,  // only the first character of each token is compared
  frtText = 1,  // tokens are compared in full
};

using TSkipRegionItemType = std::uint8_t;
enum : TSkipRegionItemType {
  srtCloseChar = 0,  // ends at the first character of Close not preceded by Escape
  srtCloseText = 1,  // ends at the full Close text
  srtEndOfLine = 2,  // ends at the end of the line
};

class TFoldRegionItem {
 public:
  TFoldRegionItem();
  ~TFoldRegionItem();
  TFoldRegionItem(const TFoldRegionItem&) = delete;
  TFoldRegionItem& operator=(const TFoldRegionItem&) = delete;

  TFoldRegionType RegionType = frtChar;
  // A collapsed range of this region shows its closing token after the header.
  bool AddEnding = false;
  // A range of this region holds no nested ranges.
  bool AllowNoSubs = false;
  TFoldRegions& SubFoldRegions() noexcept { return *FSubFoldRegions; }
  const TFoldRegions& SubFoldRegions() const noexcept { return *FSubFoldRegions; }
  std::string Open;
  std::string Close;
  // A token counts only between non-word characters.
  bool WholeWords = false;
  std::string OpenRegex;
  std::string CloseRegex;
  // Kept for the scheme formats, which read and write them.
  std::string Name;
  bool OpenUseRegex = false;
  bool CloseUseRegex = false;

 private:
  std::unique_ptr<TFoldRegions> FSubFoldRegions;
};

class TSkipRegionItem {
 public:
  std::string Close;
  std::string Open;
  std::string Escape;
  TSkipRegionItemType RegionType = srtCloseChar;
};

class TSkipRegions {
 public:
  TSkipRegionItem* Add(std::string_view Open, std::string_view Close, TSkipRegionItemType RegionType,
                       std::string_view Escape);
  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  TSkipRegionItem* Items(int Index) const;
  void Clear() noexcept { FItems.clear(); }

 private:
  std::vector<std::unique_ptr<TSkipRegionItem>> FItems;
};

class TFoldRegions {
 public:
  TFoldRegions() = default;
  TFoldRegions(const TFoldRegions&) = delete;
  TFoldRegions& operator=(const TFoldRegions&) = delete;

  TFoldRegionItem* Add(TFoldRegionType RegionType, bool AddEnding, bool AllowNoSubs, bool WholeWords,
                       std::string_view Open, std::string_view Close);
  int Count() const noexcept { return static_cast<int>(FItems.size()); }
  TFoldRegionItem* Items(int Index) const;
  void Clear() noexcept { FItems.clear(); }
  TSkipRegions& SkipRegions() noexcept { return FSkipRegions; }
  const TSkipRegions& SkipRegions() const noexcept { return FSkipRegions; }

 private:
  std::vector<std::unique_ptr<TFoldRegionItem>> FItems;
  TSkipRegions FSkipRegions;
};

// Word characters around a whole-word token: those of text without a
// highlighter.
bool IsFoldWordChar(char C) noexcept;

// Whether Token stands at the 0-based Pos of Text: by its first character for
// frtChar, in full for frtText; with WholeWords the characters before and after
// it must not be word characters. An empty token never matches.
bool FoldTokenAt(std::string_view Text, std::size_t Pos, std::string_view Token, TFoldRegionType RegionType,
                 bool WholeWords) noexcept;

}  // namespace ond
