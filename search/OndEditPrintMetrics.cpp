#include "search/OndEditPrintMetrics.h"

#include <algorithm>
#include <cmath>

namespace ond {
namespace {

// Halves go to the even neighbour, as the default rounding mode does.
int RoundPix(double v) { return static_cast<int>(std::nearbyint(v)); }

// Makes [lo, hi) at least `need` wide, moving it back inside [0, extent) when
// the requested margins leave no room.
void KeepRoom(int& lo, int& hi, int need, int extent) {
  need = std::max(need, 1);
  if (hi - lo >= need) return;
  lo = std::clamp(lo, 0, std::max(0, extent - need));
  hi = lo + need;
}

}  // namespace

void TOndEditPrinterInfo::UpdatePrinter() {
  const std::optional<TOndPrinterCaps> caps = FSource ? FSource() : std::nullopt;
  if (!caps || caps->PixelsPerInchX <= 0 || caps->PixelsPerInchY <= 0) {
    FPhysicalWidth = 2481;
    FPhysicalHeight = 3507;
    FPrintableWidth = 2358;
    FPrintableHeight = 3407;
    FLeftGutter = 65;
    FRightGutter = 58;
    FTopGutter = 50;
    FBottomGutter = 50;
    FXPixPrInch = 300;
    FYPixPrInch = 300;
  } else {
    FPhysicalWidth = caps->PhysicalWidth;
    FPhysicalHeight = caps->PhysicalHeight;
    FPrintableWidth = caps->PageWidth;
    FPrintableHeight = caps->PageHeight;
    FLeftGutter = caps->OffsetX;
    FTopGutter = caps->OffsetY;
    FRightGutter = FPhysicalWidth - FPrintableWidth - FLeftGutter;
    FBottomGutter = FPhysicalHeight - FPrintableHeight - FTopGutter;
    FXPixPrInch = caps->PixelsPerInchX;
    FYPixPrInch = caps->PixelsPerInchY;
  }
  FXPixPrmm = FXPixPrInch / 25.4;
  FYPixPrmm = FYPixPrInch / 25.4;
  FIsUpdated = true;
}

int TOndEditPrinterInfo::PixFromLeft(double mm) { return RoundPix(mm * XPixPrmm() - LeftGutter()); }
int TOndEditPrinterInfo::PixFromRight(double mm) { return RoundPix(mm * XPixPrmm() - RightGutter()); }
int TOndEditPrinterInfo::PixFromTop(double mm) { return RoundPix(mm * YPixPrmm() - TopGutter()); }
int TOndEditPrinterInfo::PixFromBottom(double mm) { return RoundPix(mm * YPixPrmm() - BottomGutter()); }

void TOndEditPrintMargins::InitPage(const TOndPrintMeasure& measure, const TOndPrintFont& font,
                                    int pageNum, TOndEditPrinterInfo& printer, bool lineNumbers,
                                    bool lineNumbersInMargin, int maxLineNum) {
  const int width = printer.PrintableWidth();
  const int height = printer.PrintableHeight();
  // The gutter is on the inner side: left on odd pages, right on mirrored even ones.
  if (!MirrorMargins || pageNum % 2 != 0) {
    PLeft = printer.PixFromLeft(Left + Gutter);
    PRight = width - printer.PixFromRight(Right);
  } else {
    PLeft = printer.PixFromLeft(Right);
    PRight = width - printer.PixFromRight(Left + Gutter);
  }
  if (lineNumbers && !lineNumbersInMargin)
    PLeft += measure.TextWidth(font, std::to_string(maxLineNum) + ": ");
  PTop = printer.PixFromTop(Top);
  PBottom = height - printer.PixFromBottom(Bottom);
  KeepRoom(PLeft, PRight, measure.TextWidth(font, "W"), width);
  KeepRoom(PTop, PBottom, measure.TextHeight(font, "W"), height);
  PHeader = printer.PixFromTop(Header);
  PFooter = height - printer.PixFromBottom(Footer);
  PHFInternalMargin = RoundPix(printer.YPixPrmm() * HFInternalMargin);
  PGutter = RoundPix(printer.XPixPrmm() * Gutter);
  PRightHFTextIndent = PRight - RoundPix(printer.XPixPrmm() * RightHFTextIndent);
  PLeftHFTextIndent = PLeft + RoundPix(printer.XPixPrmm() * LeftHFTextIndent);
}

}  // namespace ond
