// The page geometry of printing: the printer's physical metrics with the
// conversion from millimetres to printer pixels, and the page margins turned
// into pixel positions for one page. Nothing here paints: text is measured
// through the small TOndPrintMeasure interface, which the window layer
// implements over its fonts and tests implement with fixed numbers.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/PrintDevice.h"
#include "platform/core/Types.h"

namespace ond {

// Physical metrics of the printer in printer pixels. Every getter refreshes the
// metrics first when they are stale, so a changed printer is picked up lazily.
class TOndEditPrinterInfo {
 public:
  using TCapsSource = std::function<std::optional<TOndPrinterCaps>()>;

  // Without a source (or when it reports no printer) the defaults of an A4
  // page at 300 dpi are used.
  explicit TOndEditPrinterInfo(TCapsSource source = {}) : FSource(std::move(source)) {}

  void UpdatePrinter();
  void Invalidate() noexcept { FIsUpdated = false; }

  int PhysicalWidth() { return Updated().FPhysicalWidth; }
  int PhysicalHeight() { return Updated().FPhysicalHeight; }
  int PrintableWidth() { return Updated().FPrintableWidth; }
  int PrintableHeight() { return Updated().FPrintableHeight; }
  int LeftGutter() { return Updated().FLeftGutter; }
  int RightGutter() { return Updated().FRightGutter; }
  int TopGutter() { return Updated().FTopGutter; }
  int BottomGutter() { return Updated().FBottomGutter; }
  int XPixPrInch() { return Updated().FXPixPrInch; }
  int YPixPrInch() { return Updated().FYPixPrInch; }
  double XPixPrmm() { return Updated().FXPixPrmm; }
  double YPixPrmm() { return Updated().FYPixPrmm; }

  // Millimetres measured from a paper edge to pixels of the printable area.
  int PixFromLeft(double mm);
  int PixFromRight(double mm);
  int PixFromTop(double mm);
  int PixFromBottom(double mm);

 private:
  TOndEditPrinterInfo& Updated() {
    if (!FIsUpdated) UpdatePrinter();
    return *this;
  }

  TCapsSource FSource;
  int FPhysicalWidth = 0, FPhysicalHeight = 0;
  int FPrintableWidth = 0, FPrintableHeight = 0;
  int FLeftGutter = 0, FRightGutter = 0, FTopGutter = 0, FBottomGutter = 0;
  int FXPixPrInch = 0, FYPixPrInch = 0;
  double FXPixPrmm = 0, FYPixPrmm = 0;
  bool FIsUpdated = false;
};

// Page margins in millimetres, and their pixel positions for the current page.
struct TOndEditPrintMargins {
  double Left = 20, Right = 15, Top = 18, Bottom = 18;
  double Header = 15, Footer = 15;
  double LeftHFTextIndent = 2, RightHFTextIndent = 2, HFInternalMargin = 0.5;
  double Gutter = 0;
  bool MirrorMargins = false;

  int PLeft = 0, PRight = 0, PTop = 0, PBottom = 0, PHeader = 0, PFooter = 0;
  int PLeftHFTextIndent = 0, PRightHFTextIndent = 0, PHFInternalMargin = 0, PGutter = 0;

  // Computes the pixel positions for page pageNum (1-based). font is the body
  // font: line numbers outside the margin are measured in it, and at least one
  // of its characters always fits between the margins.
  void InitPage(const TOndPrintMeasure& measure, const TOndPrintFont& font, int pageNum,
                TOndEditPrinterInfo& printer, bool lineNumbers, bool lineNumbersInMargin,
                int maxLineNum);
};

}  // namespace ond
