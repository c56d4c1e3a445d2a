#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "editor/OndEditCodeFolding.h"
#include "editor/OndEditTextBuffer.h"

namespace ond {
namespace {

TEST(FoldRegions, CollectionsOwnTheirItems) {
  TFoldRegions regions;
  TFoldRegionItem* braces = regions.Add(frtChar, false, false, false, "{", "}");
  TFoldRegionItem* block = regions.Add(frtText, true, true, true, "BEGIN", "END");
  ASSERT_EQ(regions.Count(), 2);
  EXPECT_EQ(regions.Items(0), braces);
  EXPECT_EQ(block->RegionType, frtText);
  EXPECT_TRUE(block->AddEnding);
  EXPECT_TRUE(block->AllowNoSubs);
  EXPECT_TRUE(block->WholeWords);
  EXPECT_EQ(block->Open, "BEGIN");
  EXPECT_EQ(block->Close, "END");
  EXPECT_FALSE(braces->OpenUseRegex);
  EXPECT_THROW(regions.Items(2), EListError);

  // Sub-regions nest with their own skip regions.
  TFoldRegionItem* sub = block->SubFoldRegions().Add(frtChar, false, false, false, "(", ")");
  block->SubFoldRegions().SkipRegions().Add("\"", "\"", srtCloseChar, "\\");
  EXPECT_EQ(block->SubFoldRegions().Items(0), sub);
  EXPECT_EQ(block->SubFoldRegions().SkipRegions().Count(), 1);

  TSkipRegionItem* comment = regions.SkipRegions().Add("/*", "*/", srtCloseText, "");
  EXPECT_EQ(comment->Open, "/*");
  EXPECT_EQ(comment->Close, "*/");
  EXPECT_EQ(comment->RegionType, srtCloseText);
  EXPECT_EQ(comment->Escape, "");
  EXPECT_EQ(regions.SkipRegions().Items(0), comment);
}

TEST(FoldRegions, WholeWordTokens) {
  // A word token inside a longer word does not count; brackets and blanks do
  // not stop it; every Cyrillic letter is a word character.
  EXPECT_TRUE(FoldTokenAt("begin", 0, "begin", frtText, true));
  EXPECT_TRUE(FoldTokenAt("(begin)", 1, "begin", frtText, true));
  EXPECT_TRUE(FoldTokenAt("x = begin;", 4, "begin", frtText, true));
  EXPECT_FALSE(FoldTokenAt("beginning", 0, "begin", frtText, true));
  EXPECT_FALSE(FoldTokenAt("rebegin", 2, "begin", frtText, true));
  EXPECT_FALSE(FoldTokenAt("_begin", 1, "begin", frtText, true));
  EXPECT_FALSE(FoldTokenAt("begin9", 0, "begin", frtText, true));
  EXPECT_TRUE(FoldTokenAt("beginning", 0, "begin", frtText, false));
  for (char c : {'\xC0', '\xE0', '\xD7', '\xF7', '\xA8', '\xB8', '\xFF'}) {  // А а Ч ч Ё ё я
    EXPECT_FALSE(FoldTokenAt(std::string(1, c) + "begin", 1, "begin", frtText, true)) << int(c);
    EXPECT_FALSE(FoldTokenAt("begin" + std::string(1, c), 0, "begin", frtText, true)) << int(c);
    EXPECT_TRUE(IsFoldWordChar(c));
  }
  EXPECT_FALSE(IsFoldWordChar('\xAB'));  // «
  EXPECT_FALSE(IsFoldWordChar('-'));

  // Character regions compare only the first character of the token.
  EXPECT_TRUE(FoldTokenAt("a{b", 1, "{x", frtChar, false));
  EXPECT_FALSE(FoldTokenAt("a{b", 1, "{x", frtText, false));
  EXPECT_FALSE(FoldTokenAt("abc", 1, "", frtText, false));
  EXPECT_FALSE(FoldTokenAt("abc", 3, "c", frtText, false));
  EXPECT_FALSE(FoldTokenAt("ab", 1, "bc", frtText, false));
}

// 1 { ... { ... } ... } with a second top-level range.
struct Tree {
  TOndEditAllFoldRanges All;
  TFoldRegionItem* Region = nullptr;
  TFoldRegions Regions;
  TOndEditFoldRange *Outer, *Inner, *Deep, *Second;
  Tree() {
    Region = Regions.Add(frtChar, false, false, false, "{", "}");
    Outer = AddFoldRange(&All, &All, 1, 20, Region, 0, 0);
    Inner = AddFoldRange(&Outer->SubFoldRanges, &All, 3, 10, Region, 1, 1);
    Deep = AddFoldRange(&Inner->SubFoldRanges, &All, 4, 6, Region, 2, 2);
    Second = AddFoldRange(&All, &All, 22, 30, Region, 0, 0);
  }
};

TEST(FoldRanges, BuildingAndMoving) {
  Tree t;
  EXPECT_EQ(t.All.Count(), 2);
  EXPECT_EQ(t.All.AllCount(), 4);
  EXPECT_EQ(t.All.AllRanges(2), t.Deep);
  EXPECT_EQ(t.Inner->CollapsingLevel, -1);
  EXPECT_EQ(t.Inner->AllFoldRanges, &t.All);
  EXPECT_EQ(t.Inner->FoldRegion, t.Region);
  EXPECT_EQ(t.Inner->Container(), &t.Outer->SubFoldRanges);
  EXPECT_TRUE(t.Inner->CollapsedLines.GetCount() == 0);

  t.Inner->Move(2);
  EXPECT_EQ(t.Inner->FromLine, 5);
  EXPECT_EQ(t.Inner->ToLine, 12);
  t.Inner->Widen(-2);
  EXPECT_EQ(t.Inner->ToLine, 10);
  EXPECT_TRUE(t.Inner->HasLines());
  t.Deep->ToLine = t.Deep->FromLine;
  EXPECT_FALSE(t.Deep->HasLines());
  EXPECT_THROW(t.All.AllRanges(4), EListError);
}

TEST(FoldRanges, HiddenLineCounts) {
  Tree t;
  EXPECT_EQ(t.Outer->HiddenLineCount(), 0);
  t.Outer->LinesCollapsed = 3;
  t.Inner->Collapsed = true;
  t.Inner->LinesCollapsed = 1;
  EXPECT_EQ(t.Outer->HiddenInSubRanges(), 2);
  EXPECT_EQ(t.Outer->HiddenLineCount(), 5);
  // A collapsed range below a collapsed one counts as well.
  t.Deep->Collapsed = true;
  t.Deep->LinesCollapsed = 4;
  EXPECT_EQ(t.Outer->HiddenLineCount(), 10);
  EXPECT_EQ(t.Inner->HiddenLineCount(), 6);
  EXPECT_EQ(t.Second->HiddenLineCount(), 0);
}

TEST(FoldRanges, ParentCollapsedAndLevels) {
  Tree t;
  // Collapsing Inner (level 1) hides Deep; collapsing Outer then leaves Deep
  // to the nearer ancestor.
  t.Inner->SetParentCollapsed(true, 1);
  EXPECT_TRUE(t.Deep->ParentCollapsed);
  EXPECT_EQ(t.Deep->CollapsingLevel, 1);
  t.Outer->SetParentCollapsed(true, 0);
  EXPECT_TRUE(t.Inner->ParentCollapsed);
  EXPECT_EQ(t.Inner->CollapsingLevel, 0);
  EXPECT_EQ(t.Deep->CollapsingLevel, 1);
  t.Outer->SetParentCollapsed(false, 0);
  EXPECT_FALSE(t.Inner->ParentCollapsed);
  EXPECT_EQ(t.Inner->CollapsingLevel, -1);
  EXPECT_TRUE(t.Deep->ParentCollapsed);
  t.Inner->SetParentCollapsed(false, 1);
  EXPECT_FALSE(t.Deep->ParentCollapsed);
  EXPECT_FALSE(t.Outer->ParentCollapsed);  // only descendants change

  t.Deep->ParentCollapsed = true;
  t.Inner->SetLevel(5);
  EXPECT_EQ(t.Inner->Level, 5);
  EXPECT_EQ(t.Deep->Level, 6);
  EXPECT_EQ(t.Deep->CollapsingLevel, 5);
  EXPECT_EQ(t.Inner->CollapsingLevel, -1);
}

TEST(FoldRanges, DeepCopyIsIndependent) {
  auto src = std::make_unique<Tree>();
  src->Inner->Collapsed = true;
  src->Inner->LinesCollapsed = 6;
  src->Deep->ParentCollapsed = true;
  src->Deep->CollapsingLevel = 1;
  src->Inner->CollapsedLines.AddObject("line 10", reinterpret_cast<void*>(std::intptr_t{2}));
  src->Inner->CollapsedLines.AddObject("line 9", nullptr);

  TOndEditAllFoldRanges copy;
  AddFoldRange(&copy, &copy, 99, 100, nullptr, 0, 0);  // replaced by Assign
  copy.Assign(src->All);
  ASSERT_EQ(copy.Count(), 2);
  ASSERT_EQ(copy.AllCount(), 4);
  TOndEditFoldRange* outer = copy.Items(0);
  ASSERT_EQ(outer->SubFoldRanges.Count(), 1);
  TOndEditFoldRange* inner = outer->SubFoldRanges.Items(0);
  ASSERT_EQ(inner->SubFoldRanges.Count(), 1);
  TOndEditFoldRange* deep = inner->SubFoldRanges.Items(0);
  EXPECT_NE(inner, src->Inner);
  EXPECT_EQ(copy.AllRanges(0), outer);  // flat list in tree order
  EXPECT_EQ(copy.AllRanges(1), inner);
  EXPECT_EQ(copy.AllRanges(2), deep);
  EXPECT_EQ(copy.AllRanges(3), copy.Items(1));
  EXPECT_EQ(inner->FromLine, 3);
  EXPECT_EQ(inner->ToLine, 10);
  EXPECT_EQ(inner->Level, 1);
  EXPECT_EQ(inner->IndentLevel, 1);
  EXPECT_TRUE(inner->Collapsed);
  EXPECT_EQ(inner->LinesCollapsed, 6);
  EXPECT_TRUE(deep->ParentCollapsed);
  EXPECT_EQ(deep->CollapsingLevel, 1);
  EXPECT_EQ(inner->FoldRegion, src->Region);
  EXPECT_EQ(inner->AllFoldRanges, &copy);
  ASSERT_EQ(inner->CollapsedLines.GetCount(), 2);
  EXPECT_EQ(inner->CollapsedLines.Get(0), "line 10");
  EXPECT_EQ(reinterpret_cast<std::intptr_t>(inner->CollapsedLines.GetObject(0)), 2);
  EXPECT_EQ(outer->HiddenLineCount(), 7);

  // Changing or freeing the source leaves the copy intact.
  src->Inner->FromLine = 50;
  src->Inner->CollapsedLines.Clear();
  src.reset();
  EXPECT_EQ(inner->FromLine, 3);
  EXPECT_EQ(inner->CollapsedLines.GetCount(), 2);
  EXPECT_EQ(outer->HiddenLineCount(), 7);
}

TEST(FoldRanges, FlatListOwnershipAndDetaching) {
  Tree t;
  // A range taken out of the flat list stays in its tree list; handing it to
  // an undo record that is then freed takes it out of the tree too.
  const int index = t.All.AllIndexOf(t.Inner);
  ASSERT_EQ(index, 1);
  std::unique_ptr<TOndEditFoldRange> detached = t.All.AllExtract(index);
  EXPECT_EQ(t.All.AllCount(), 3);
  EXPECT_EQ(t.Outer->SubFoldRanges.IndexOf(t.Inner), 0);

  // Put back at its index (undo), extract again (redo).
  t.All.AllInsert(index, std::move(detached));
  EXPECT_EQ(t.All.AllRanges(1), t.Inner);
  detached = t.All.AllExtract(index);

  TOndEditUndoList undo;
  undo.AddChange(urFoldChange, BufferCoord(1, 3), BufferCoord(1, 3), "", smNormal, std::move(detached), index);
  undo.Clear();  // the record frees the range
  EXPECT_EQ(t.Outer->SubFoldRanges.Count(), 0);
  EXPECT_EQ(t.Deep->Container(), nullptr);
  EXPECT_EQ(t.Outer->HiddenLineCount(), 0);

  // Deleting by index frees and unlinks.
  t.All.AllDelete(t.All.AllIndexOf(t.Second));
  EXPECT_EQ(t.All.Count(), 1);
  EXPECT_EQ(t.All.AllCount(), 2);

  // A range moved to another list leaves the first.
  t.All.Add(t.Deep);
  EXPECT_EQ(t.All.Count(), 2);
  t.All.Insert(0, t.Deep);  // moving within one list
  EXPECT_EQ(t.All.Count(), 2);
  EXPECT_EQ(t.All.Items(0), t.Deep);

  // Freeing everything empties both the flat list and the top level, also
  // when a detached range still lives in an undo record.
  std::unique_ptr<TOndEditFoldRange> held = t.All.AllExtract(t.All.AllIndexOf(t.Deep));
  t.All.FreeAllRanges();
  EXPECT_EQ(t.All.AllCount(), 0);
  EXPECT_EQ(t.All.Count(), 0);
  EXPECT_EQ(held->Container(), nullptr);

  // Freeing the tree leaves no freed range in a detached range's sub list.
  Tree u;
  std::unique_ptr<TOndEditFoldRange> inner = u.All.AllExtract(u.All.AllIndexOf(u.Inner));
  ASSERT_EQ(inner->SubFoldRanges.Count(), 1);
  u.All.FreeAllRanges();
  EXPECT_EQ(inner->SubFoldRanges.Count(), 0);
  EXPECT_EQ(inner->HiddenLineCount(), 0);
  EXPECT_THROW(AddFoldRange(nullptr, nullptr, 1, 2, nullptr, 0, 0), EListError);
}

TEST(FoldRanges, DeepNestingNeedsNoDeepStack) {
  TOndEditAllFoldRanges all;
  TOndEditFoldRanges* parent = &all;
  TOndEditFoldRange* top = nullptr;
  const int depth = 200000;
  for (int i = 0; i < depth; ++i) {
    TOndEditFoldRange* r = AddFoldRange(parent, &all, i + 1, 2 * depth - i, nullptr, i, i);
    r->Collapsed = true;
    if (top == nullptr) top = r;
    parent = &r->SubFoldRanges;
  }
  EXPECT_EQ(top->HiddenInSubRanges(), depth - 1);
  top->SetParentCollapsed(true, 0);
  top->SetLevel(0);
  TOndEditAllFoldRanges copy;
  copy.Assign(all);
  EXPECT_EQ(copy.AllCount(), depth);
}

TEST(FoldColours, HueSaturationLightness) {
  std::int32_t h, s, l;
  RGBToHSL(0x0000FF, h, s, l);  // pure red
  EXPECT_EQ(h, 0);
  EXPECT_EQ(s, 100);
  EXPECT_EQ(l, 50);
  RGBToHSL(0xFFFFFF, h, s, l);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(s, 0);
  EXPECT_EQ(l, 100);
  RGBToHSL(0x00FF00, h, s, l);  // green
  EXPECT_EQ(h, 120);
  RGBToHSL(0xFF0000, h, s, l);  // blue
  EXPECT_EQ(h, 240);
  RGBToHSL(0xFF00FF, h, s, l);  // magenta: red is the maximum and blue > green
  EXPECT_EQ(h, 300);
  RGBToHSL(0x8000000F, h, s, l);  // a system colour is resolved first (button face)
  EXPECT_EQ(l, 94);

  EXPECT_EQ(HSLToRGB(0, 0, 100), 0xFFFFFFu);
  EXPECT_EQ(HSLToRGB(0, 0, 0), 0u);
  EXPECT_EQ(HSLToRGB(0, 100, 50), 0x0000FFu);
  EXPECT_EQ(HSLToRGB(120, 100, 50), 0x00FF00u);
  EXPECT_EQ(HSLToRGB(240, 100, 50), 0xFF0000u);
  EXPECT_EQ(HSLToRGB(360, 100, 50), 0x0000FFu);  // above sector 4 counts as 5
  // Components round up and never leave 0..255.
  for (int hue = 0; hue <= 360; hue += 7)
    for (int sat : {1, 50, 100})
      for (int lig : {0, 1, 49, 50, 51, 99, 100}) {
        const TColor c = HSLToRGB(hue, sat, lig);
        EXPECT_EQ(c & 0xFF000000u, 0u);
      }
}

}  // namespace
}  // namespace ond
