// The header and the footer of printed pages: lines of text items with their
// own fonts and alignment, macros for page number, page count, title, date and
// time, roman page numbers and a frame. The unit computes where everything
// goes on a page (TOndHeaderFooterPlan); the window layer only paints the plan.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Types.h"
#include "search/OndEditPrintMetrics.h"

namespace ond {

// Roman numerals, every thousand an "M"; 0 and negative numbers give "".
std::string IntToRoman(int value);

enum class THeaderFooterType { hftHeader, hftFooter };
enum class TOndHFAlignment { hfaLeft, hfaCenter, hfaRight };

// Frame bits.
using TFrameTypes = unsigned;
constexpr TFrameTypes ftLine = 1;
constexpr TFrameTypes ftBox = 2;
constexpr TFrameTypes ftShaded = 4;

struct THeaderFooterItem {
  std::string Text;
  TOndPrintFont Font;
  int LineNumber = 1;  // 1-based
  TOndHFAlignment Alignment = TOndHFAlignment::hfaLeft;
};

struct TLineInfo {
  int LineHeight = 0;
  int MaxBaseDist = 0;
};

// Everything a painter needs for one page's header or footer.
struct TOndHeaderFooterPlan {
  struct TText {
    std::string Text;
    TOndPrintFont Font;
    int X = 0;
    int BaselineY = 0;
  };
  bool Visible = false;
  bool FillBand = false;     // shaded: solid fill in ShadedColor
  bool OutlineBand = false;  // box: solid outline in LineColor
  bool DrawBand = false;     // a rectangle is drawn at all (shaded or box)
  TRect Band;
  bool DrawLine = false;
  int LineY = 0;             // along the header or footer position
  TColor ShadedColor = clSilver;
  TColor LineColor = clBlack;
  std::vector<TText> Texts;
};

class THeaderFooter {
 public:
  explicit THeaderFooter(THeaderFooterType kind) : FType(kind) {}

  THeaderFooterType Type() const noexcept { return FType; }
  TFrameTypes FrameTypes = ftLine;
  TColor ShadedColor = clSilver;
  TColor LineColor = clBlack;
  bool RomanNumbers = false;
  bool MirrorPosition = false;

  int Add(std::string text, const TOndPrintFont& font, TOndHFAlignment alignment, int lineNumber);
  void Clear() { FItems.clear(); FLineInfo.clear(); FFrameHeight = 0; }
  const std::vector<THeaderFooterItem>& Items() const noexcept { return FItems; }

  // Every item font is realised at the printer's resolution, keeping its point size.
  void SetPixelsPerInch(int ppi);

  // Prepares for one print job: sorts and renumbers the lines and measures
  // them. dateText and timeText are the job's date and time in the system's
  // formats, supplied by the caller.
  void InitPrint(const TOndPrintMeasure& measure, int numPages, std::string title,
                 TOndEditPrintMargins* margins, std::string dateText, std::string timeText);

  int GetHeight() const noexcept { return FFrameHeight; }
  int LineCount() const noexcept { return static_cast<int>(FLineInfo.size()); }
  const std::vector<TLineInfo>& LineInfo() const noexcept { return FLineInfo; }

  // Replaces the known $MACRO$s (case-insensitive) for page pageNum; any
  // other text between dollar signs stays as it is.
  std::string ExpandMacros(std::string_view text, int pageNum) const;

  // Where the frame and the texts of page pageNum go, using the margins of
  // the current page (InitPage already done).
  TOndHeaderFooterPlan Layout(const TOndPrintMeasure& measure, int pageNum) const;

 private:
  std::string PageText(int n) const { return RomanNumbers ? IntToRoman(n) : std::to_string(n); }

  THeaderFooterType FType;
  std::vector<THeaderFooterItem> FItems;
  std::vector<TLineInfo> FLineInfo;
  std::string FDate, FTime, FTitle;
  int FNumPages = 0;
  int FFrameHeight = 0;
  TOndEditPrintMargins* FMargins = nullptr;
};

}  // namespace ond
