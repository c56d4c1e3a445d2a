// What printing needs from a printer, in the printer's own pixels: fonts as the
// page asks for them, text measurement, a surface to paint a page on and the
// job control around it. The window layer implements these over its printer;
// the page layout above it and the tests only ever see these few interfaces.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Types.h"

namespace ond {

// A font as the printed page asks for it: point size plus the resolution it is
// realised at, so the window layer can build the device font from it.
struct TOndPrintFont {
  std::string Name = "Courier New";
  int Size = 10;  // points
  TFontStyles Style = 0;
  TColor Color = clBlack;
  int PixelsPerInch = 300;
  friend bool operator==(const TOndPrintFont&, const TOndPrintFont&) = default;
};

// Text measurement on the printer canvas, in printer pixels.
class TOndPrintMeasure {
 public:
  virtual ~TOndPrintMeasure() = default;
  virtual int TextWidth(const TOndPrintFont& font, std::string_view text) const = 0;
  virtual int TextHeight(const TOndPrintFont& font, std::string_view text) const = 0;
  virtual int Descent(const TOndPrintFont& font) const = 0;
  // The font's average character width, and its height plus external leading.
  virtual int AverageCharWidth(const TOndPrintFont& font) const = 0;
  virtual int LineHeight(const TOndPrintFont& font) const = 0;
};

// A page being printed. Text is code page 1251; y is the top of the text
// unless the call says baseline.
class TOndPrintCanvas : public TOndPrintMeasure {
 public:
  virtual void FillRect(const TRect& r, TColor color) = 0;
  virtual void FrameRect(const TRect& r, TColor color) = 0;
  virtual void HorizontalLine(int left, int right, int y, TColor color) = 0;
  // Every character advances by `advance` pixels; the background is left
  // alone when it is clNone.
  virtual void FixedText(int x, int top, std::string_view text, const TOndPrintFont& font,
                         TColor background, int advance) = 0;
  virtual void BaselineText(int x, int baseline, std::string_view text, const TOndPrintFont& font) = 0;
};

// What the platform's printer reports; absent when no printer is installed.
struct TOndPrinterCaps {
  int PhysicalWidth = 0;
  int PhysicalHeight = 0;
  int PageWidth = 0;   // the printable area
  int PageHeight = 0;
  int OffsetX = 0;     // unprintable strip at the left
  int OffsetY = 0;     // unprintable strip at the top
  int PixelsPerInchX = 0;
  int PixelsPerInchY = 0;
};

// What the print dialog offers: the page range to preset and whether
// "selection only" is a choice at all.
struct TOndPrintDialogRequest {
  int MinPage = 1;
  int MaxPage = 1;
  int FromPage = 1;
  int ToPage = 1;
  bool AllowSelection = false;
};

enum class TOndPrintRange { prAllPages, prSelection, prPageNums };

// The user's choice in the print dialog.
struct TOndPrintDialogAnswer {
  int Copies = 1;
  TOndPrintRange Range = TOndPrintRange::prAllPages;
  int FromPage = 1;
  int ToPage = 1;
};

// A printer with its job control. Measuring works before a job begins and
// gives the same figures while it runs, so a layout made for the print dialog
// holds for the printed pages.
class TOndPrinter {
 public:
  virtual ~TOndPrinter() = default;
  virtual std::optional<TOndPrinterCaps> Caps() = 0;
  virtual const TOndPrintMeasure& Measure() = 0;
  // The platform's print dialog for this printer; nothing when cancelled.
  virtual std::optional<TOndPrintDialogAnswer> ShowDialog(const TOndPrintDialogRequest& Request) = 0;
  // False when the job cannot start; FailureText then says why.
  virtual bool BeginDoc(const std::string& title) = 0;
  // Why the last job could not start or be finished, in the system's words
  // (code page 1251).
  virtual std::string FailureText() const { return {}; }
  // Valid between BeginDoc and EndDoc or Abort.
  virtual TOndPrintCanvas& Canvas() = 0;
  virtual void NewPage() = 0;
  // False when the finished job could not be written or handed on;
  // FailureText then says why.
  virtual bool EndDoc() = 0;
  virtual void Abort() = 0;
};

}  // namespace ond
