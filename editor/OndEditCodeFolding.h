// The data of code folding: fold regions (pairs of opening and closing tokens)
// and skip regions (stretches where tokens do not count), the tree of fold
// ranges found in one editor's text, and the colour conversion between RGB
// and hue, saturation and lightness used for the folder bar.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "editor/OndEditTypes.h"
#include "platform/core/Classes.h"

namespace ond {

class TFoldRegions;
class TOndEditAllFoldRanges;

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

// Word characters around a whole-word token: ASCII digits and letters, "_"
// and every letter of code page 1251.
bool IsFoldWordChar(char C) noexcept;

// Whether Token stands at the 0-based Pos of Text: by its first character for
// frtChar, in full for frtText; with WholeWords the characters before and after
// it must not be word characters. An empty token never matches.
bool FoldTokenAt(std::string_view Text, std::size_t Pos, std::string_view Token, TFoldRegionType RegionType,
                 bool WholeWords) noexcept;

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

 private:
  friend class TOndEditFoldRange;
  friend class TOndEditAllFoldRanges;
  void Unlink(TOndEditFoldRange* Range) noexcept;
  void DropAll() noexcept;

  std::vector<TOndEditFoldRange*> FRanges;
};

class TOndEditFoldRange : public TOndEditUndoObject {
 public:
  TOndEditFoldRange() = default;
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

  int AllCount() const noexcept { return static_cast<int>(FAllRanges.size()); }
  TOndEditFoldRange* AllRanges(int Index) const;
  int AllIndexOf(const TOndEditFoldRange* Range) const noexcept;
  TOndEditFoldRange* AllAdd(std::unique_ptr<TOndEditFoldRange> Range);
  TOndEditFoldRange* AllInsert(int Index, std::unique_ptr<TOndEditFoldRange> Range);
  // Takes a range out of the flat list without freeing it; it stays in its
  // tree list until it is freed.
  std::unique_ptr<TOndEditFoldRange> AllExtract(int Index);
  // Takes a range out of the flat list and frees it.
  void AllDelete(int Index);
  // Frees every range; the flat list and the top level end empty.
  void FreeAllRanges() noexcept;
  // Rebuilds this tree as a deep copy of Source's tree (regions shared).
  void Assign(const TOndEditAllFoldRanges& Source);

 private:
  void CheckAllIndex(int Index, bool ForInsert) const;
  std::vector<std::unique_ptr<TOndEditFoldRange>> FAllRanges;
};

// Creates a range, appends it to Parent (when given) and to All's flat list.
TOndEditFoldRange* AddFoldRange(TOndEditFoldRanges* Parent, TOndEditAllFoldRanges* All, std::int32_t FromLine,
                                std::int32_t ToLine, TFoldRegionItem* FoldRegion, std::int32_t Level,
                                std::int32_t IndentLevel);

// Folder-bar colours: hue 0..360, saturation and lightness 0..100.
void RGBToHSL(TColor Color, std::int32_t& H, std::int32_t& S, std::int32_t& L);
TColor HSLToRGB(std::int32_t H, std::int32_t S, std::int32_t L);

}  // namespace ond
