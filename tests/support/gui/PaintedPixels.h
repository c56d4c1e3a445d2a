// Compares what two controls paint, pixel by pixel.
#pragma once

#include <gtest/gtest.h>

#include "platform/Controls.h"
#include "platform/Graphics.h"

namespace ond::test {

// How many pixels of A's painting differ from B's; both must paint the same
// size.
inline int DifferingPixels(TCustomControl& A, TCustomControl& B) {
  TBitmap a, b;
  A.PaintTo(a);
  B.PaintTo(b);
  EXPECT_EQ(a.Width(), b.Width());
  EXPECT_EQ(a.Height(), b.Height());
  if (a.Width() != b.Width() || a.Height() != b.Height()) return -1;
  int differ = 0;
  for (int y = 0; y < a.Height(); ++y)
    for (int x = 0; x < a.Width(); ++x)
      if (a.Canvas()->GetPixel(x, y) != b.Canvas()->GetPixel(x, y)) ++differ;
  return differ;
}

}  // namespace ond::test
