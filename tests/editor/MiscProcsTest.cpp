#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/OndEditMiscProcs.h"

namespace ond {
namespace {

TEST(MiscProcs, ClampingAndOrdering) {
  EXPECT_EQ(MinMax(5, 10, 1), 10);
  EXPECT_EQ(MinMax(0, 1, 10), 1);
  EXPECT_EQ(MinMax(11, 1, 10), 10);
  EXPECT_EQ(MinMax(7, 1, 10), 7);

  std::int32_t a = 3, b = -4;
  SwapIntegers(a, b);
  EXPECT_EQ(a, -4);
  EXPECT_EQ(b, 3);

  EXPECT_EQ(MinPosition(BufferCoord(5, 2), BufferCoord(3, 2)), BufferCoord(3, 2));
  EXPECT_EQ(MinPosition(BufferCoord(9, 1), BufferCoord(1, 2)), BufferCoord(9, 1));
  EXPECT_EQ(MinPosition(BufferCoord(1, 2), BufferCoord(9, 1)), BufferCoord(9, 1));
  EXPECT_EQ(DisplayCoord(4, 7).Column, 4);
  EXPECT_EQ(DisplayCoord(4, 7).Row, 7);
}

TEST(MiscProcs, TabDetectionAndPowersOfTwo) {
  std::int32_t n = -1;
  EXPECT_FALSE(LineHasTabs("", n));
  EXPECT_EQ(n, 0);
  EXPECT_TRUE(LineHasTabs("ab\tc", n));
  EXPECT_EQ(n, 2);
  // NUL is an ordinary character: the count covers the whole line.
  EXPECT_FALSE(LineHasTabs(std::string("a\0b", 3), n));
  EXPECT_EQ(n, 3);
  EXPECT_TRUE(LineHasTabs(std::string("a\0\tb", 4), n));
  EXPECT_EQ(n, 2);

  EXPECT_FALSE(IsPowerOfTwo(0));
  EXPECT_FALSE(IsPowerOfTwo(1));
  EXPECT_TRUE(IsPowerOfTwo(2));
  EXPECT_FALSE(IsPowerOfTwo(6));
  EXPECT_TRUE(IsPowerOfTwo(65536));
  EXPECT_FALSE(IsPowerOfTwo(131072));
  EXPECT_FALSE(IsPowerOfTwo(-2));
}

TEST(MiscProcs, TabExpansionRoutines) {
  const std::string t3(3, '\t'), t4(4, '\t');
  bool has = false;
  // Width 4 (masked), 3 (general), 1 (tabs become spaces).
  EXPECT_EQ(GetExpandTabsProc(4)("a\tb", 4, has), "a" + t3 + "b");
  EXPECT_TRUE(has);
  EXPECT_EQ(GetExpandTabsProc(3)("a\tb", 3, has), "a\t\tb");
  EXPECT_EQ(GetExpandTabsProc(1)("a\tb", 1, has), "a b");
  EXPECT_EQ(GetExpandTabsProc(4)("\t", 4, has), t4);
  EXPECT_EQ(GetExpandTabsProc(4)("abcd\tx", 4, has), "abcd" + t4 + "x");
  EXPECT_EQ(GetExpandTabsProc(4)("plain", 4, has), "plain");
  EXPECT_FALSE(has);

  // The routine chosen per width; both forms compute the same text.
  EXPECT_EQ(GetExpandTabsProc(0), &ConvertTabs1Ex);
  EXPECT_EQ(GetExpandTabsProc(1), &ConvertTabs1Ex);
  EXPECT_EQ(GetExpandTabsProc(8), &ConvertTabs2nEx);
  EXPECT_EQ(GetExpandTabsProc(131072), &ConvertTabsEx);
  EXPECT_EQ(SelectTabConverter(1), &ConvertTabs1);
  EXPECT_EQ(SelectTabConverter(16), &ConvertTabs2n);
  EXPECT_EQ(SelectTabConverter(5), &ConvertTabs);
  for (int w : {2, 3, 5, 8}) {
    const std::string line = "x\tyy\t\tzzz\t";
    EXPECT_EQ(SelectTabConverter(w)(line, w), GetExpandTabsProc(w)(line, w, has)) << w;
    EXPECT_EQ(static_cast<std::int32_t>(SelectTabConverter(w)(line, w).size()), GetExpandedLength(line, w));
  }

  // Degenerate widths never divide by zero.
  EXPECT_EQ(ConvertTabs("a\tb", 0), "a\tb");
  EXPECT_EQ(ConvertTabs("a\tb", -3), "a\tb");
  EXPECT_EQ(GetExpandedLength("a\tb", 0), 3);
  EXPECT_EQ(GetExpandedLength("a\tb", 4), 5);
  EXPECT_EQ(GetExpandedLength(std::string("\0\t", 2), 4), 4);
}

TEST(MiscProcs, CharIndexToColumn) {
  EXPECT_EQ(CharIndexToColumn(3, 4, "a\tb"), 5);
  EXPECT_EQ(CharIndexToColumn(10, 4, "a\tb"), 12);
  EXPECT_EQ(CharIndexToColumn(2, 4, "a\tb"), 2);  // the tab itself
  EXPECT_EQ(CharIndexToColumn(0, 4, "a\tb"), 1);
  EXPECT_EQ(CharIndexToColumn(7, 1, "\t\t\t"), 7);
  EXPECT_EQ(CharIndexToColumn(5, 8, "plain"), 5);
  EXPECT_EQ(CharIndexToColumn(4, 3, "\t\tx"), 8);
  EXPECT_EQ(CharIndexToColumn(4, 3, "ab\t\t"), 4);
}

TEST(MiscProcs, CharacterSetScans) {
  const TSysCharSet delims{' ', ',', '.'};
  EXPECT_EQ(FindCharInSet("ab, cd", 1, delims), 3);
  EXPECT_EQ(FindCharInSet("ab, cd", 4, delims), 4);
  EXPECT_EQ(FindCharInSet("ab, cd", 5, delims), 0);
  EXPECT_EQ(FindCharInSet("ab, cd", 0, delims), 0);
  EXPECT_EQ(FindCharInSet("ab, cd", 7, delims), 0);
  EXPECT_EQ(FindCharInSet(std::string("a\0b.", 4), 1, delims), 4);  // NUL does not end the scan
  EXPECT_EQ(FindCharInSetBackward("ab, cd", 6, delims), 4);
  EXPECT_EQ(FindCharInSetBackward("ab, cd", 3, delims), 3);
  EXPECT_EQ(FindCharInSetBackward("ab, cd", 2, delims), 0);
  EXPECT_EQ(FindCharInSetBackward("ab, cd", 9, delims), 0);
  // Code page 1251 has no lead bytes.
  EXPECT_EQ(FindLeadByte("\x81\x40", 1), 0);
  EXPECT_EQ(FindLastLeadByte("\x81\x40", 2), 0);

  // A double-byte code page: 0x81 leads, its trail byte may look like a delimiter.
  TOndDbcsInfo dbcs;
  dbcs.LeadBytes.IncludeRange(0x81, 0x9F);
  dbcs.FarEast = true;
  const std::string t = "a\x81,b,c";  // the first comma is a trail byte
  EXPECT_EQ(FindCharInSet(t, 1, TSysCharSet{','}, dbcs), 5);
  EXPECT_EQ(FindCharInSet(t, 3, TSysCharSet{','}, dbcs), 5);  // starts on a trail byte
  EXPECT_EQ(FindCharInSetBackward(t, 4, TSysCharSet{','}, dbcs), 0);
  EXPECT_EQ(FindCharInSetBackward(t, 6, TSysCharSet{','}, dbcs), 5);
  EXPECT_EQ(FindLeadByte(t, 1, dbcs), 2);
  EXPECT_EQ(FindLeadByte(t, 3, dbcs), 0);
  EXPECT_EQ(FindLastLeadByte(t, 6, dbcs), 2);
  EXPECT_EQ(FindLastLeadByte(t, 1, dbcs), 0);
}

TEST(MiscProcs, EndOfLineScan) {
  const std::string s("ab\0c\r\nd", 7);
  EXPECT_EQ(GetEOL(s.data(), s.data() + s.size()), s.data() + 4);
  EXPECT_EQ(GetEOL(s.data() + 5, s.data() + s.size()), s.data() + 5);
  EXPECT_EQ(GetEOL(s.data() + 6, s.data() + s.size()), s.data() + s.size());
  EXPECT_EQ(GetEOL(nullptr, nullptr), nullptr);
}

TEST(MiscProcs, GradientBandsAndColours) {
  struct Band {
    TRect R;
    TColor C;
  };
  std::vector<Band> bands;
  auto fill = [&](const TRect& r, TColor c) { bands.push_back({r, c}); };

  DrawGradient(fill, 0x000000, 0x0000FF, true, TRect{10, 0, 20, 5}, 1);
  ASSERT_EQ(bands.size(), 2u);
  EXPECT_EQ(bands[0].R, (TRect{10, 0, 15, 5}));
  EXPECT_EQ(bands[1].R, (TRect{15, 0, 20, 5}));
  EXPECT_EQ(bands[0].C, 0x000000);
  EXPECT_EQ(bands[1].C, 0x0000FF);

  bands.clear();
  DrawGradient(fill, 0xFFFFFF, 0x000000, false, TRect{0, 0, 4, 1000}, 1000);
  ASSERT_EQ(bands.size(), 256u);
  EXPECT_EQ(bands.front().R.Top, 0);
  EXPECT_EQ(bands.back().R.Bottom, 1000);
  EXPECT_EQ(bands.back().C, 0);
  for (std::size_t i = 1; i < bands.size(); ++i) EXPECT_EQ(bands[i].R.Top, bands[i - 1].R.Bottom);

  // System colours are resolved through the installed resolver.
  EXPECT_EQ(ColorToRGB(clWindow), 0xFFFFFF);
  EXPECT_EQ(ColorToRGB(0x123456), 0x123456);
  SetSysColorProc([](std::int32_t i) { return static_cast<TColor>(i == 13 ? 0x010203 : 0); });
  EXPECT_EQ(ColorToRGB(clHighlight), 0x010203);
  SetSysColorProc(nullptr);
  EXPECT_EQ(ColorToRGB(clHighlight), 0xD77800);
}

}  // namespace
}  // namespace ond
