#include "search/OndEditHeaderFooter.h"

#include <algorithm>
#include <array>
#include <utility>

namespace ond {

std::string IntToRoman(int value) {
  static constexpr std::array<std::pair<int, const char*>, 13> kDigits{{
      {1000, "M"}, {900, "CM"}, {500, "D"}, {400, "CD"}, {100, "C"}, {90, "XC"}, {50, "L"},
      {40, "XL"}, {10, "X"}, {9, "IX"}, {5, "V"}, {4, "IV"}, {1, "I"}}};
  std::string out;
  for (const auto& [n, digits] : kDigits)
    for (; value >= n; value -= n) out += digits;
  return out;
}

int THeaderFooter::Add(std::string text, const TOndPrintFont& font, TOndHFAlignment alignment,
                       int lineNumber) {
  FItems.push_back({std::move(text), font, lineNumber, alignment});
  return static_cast<int>(FItems.size()) - 1;
}

void THeaderFooter::SetPixelsPerInch(int ppi) {
  for (THeaderFooterItem& item : FItems) item.Font.PixelsPerInch = ppi;
}

void THeaderFooter::InitPrint(const TOndPrintMeasure& measure, int numPages, std::string title,
                              TOndEditPrintMargins* margins, std::string dateText,
                              std::string timeText) {
  FNumPages = numPages;
  FTitle = std::move(title);
  FMargins = margins;
  FDate = std::move(dateText);
  FTime = std::move(timeText);
  std::stable_sort(FItems.begin(), FItems.end(),
                   [](const auto& a, const auto& b) { return a.LineNumber < b.LineNumber; });
  FLineInfo.clear();
  int lastLine = 0;
  bool first = true;
  for (THeaderFooterItem& item : FItems) {
    if (first || item.LineNumber != lastLine) {
      lastLine = item.LineNumber;
      FLineInfo.push_back({});
      first = false;
    }
    item.LineNumber = static_cast<int>(FLineInfo.size());
    const int height = measure.TextHeight(item.Font, "W");
    TLineInfo& line = FLineInfo.back();
    line.LineHeight = std::max(line.LineHeight, height);
    line.MaxBaseDist = std::max(line.MaxBaseDist, height - measure.Descent(item.Font));
  }
  // Without items there is nothing to print, not even the frame.
  FFrameHeight = 0;
  if (FItems.empty() || !FMargins) return;
  for (const TLineInfo& line : FLineInfo) FFrameHeight += line.LineHeight;
  FFrameHeight += 2 * FMargins->PHFInternalMargin;
}

std::string THeaderFooter::ExpandMacros(std::string_view text, int pageNum) const {
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find('$', pos);
    const std::size_t close = open == std::string_view::npos ? open : text.find('$', open + 1);
    if (close == std::string_view::npos) break;
    out.append(text, pos, open - pos);
    std::string name(text.substr(open + 1, close - open - 1));
    // Macro names are plain ASCII, so ASCII upper-casing decides a match.
    for (char& c : name)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    std::string value;
    bool known = true;
    if (name == "PAGENUM") value = PageText(pageNum);
    else if (name == "PAGECOUNT") value = PageText(FNumPages);
    else if (name == "TITLE") value = FTitle;
    else if (name == "DATE") value = FDate;
    else if (name == "TIME") value = FTime;
    else if (name == "DATETIME") value = FDate + " " + FTime;
    else if (name == "TIMEDATE") value = FTime + " " + FDate;
    else known = false;
    if (known) {
      out += value;
      pos = close + 1;
    } else {
      // The closing sign may open the next macro ("Cost $5, page $PAGENUM$").
      out.append(text, open, close - open);
      pos = close;
    }
  }
  out.append(text.substr(std::min(pos, text.size())));
  return out;
}

TOndHeaderFooterPlan THeaderFooter::Layout(const TOndPrintMeasure& measure, int pageNum) const {
  TOndHeaderFooterPlan plan;
  if (FFrameHeight < 1 || !FMargins) return plan;
  const TOndEditPrintMargins& m = *FMargins;
  plan.Visible = true;
  plan.ShadedColor = ShadedColor;
  plan.LineColor = LineColor;
  const bool header = FType == THeaderFooterType::hftHeader;
  const int edge = header ? m.PHeader : m.PFooter;
  const int top = header ? edge - FFrameHeight : edge;
  plan.Band = {m.PLeft, top, m.PRight, top + FFrameHeight};
  plan.FillBand = (FrameTypes & ftShaded) != 0;
  plan.OutlineBand = (FrameTypes & ftBox) != 0;
  plan.DrawBand = plan.FillBand || plan.OutlineBand;
  plan.DrawLine = (FrameTypes & ftLine) != 0;
  plan.LineY = edge;

  const bool swap = MirrorPosition && pageNum % 2 == 0;
  int y = top + m.PHFInternalMargin;
  int line = 1;
  for (const THeaderFooterItem& item : FItems) {
    // Items added after InitPrint have no measured line yet.
    if (item.LineNumber < 1 || item.LineNumber > LineCount()) break;
    for (; line < item.LineNumber; ++line) y += FLineInfo[line - 1].LineHeight;
    TOndHeaderFooterPlan::TText t{ExpandMacros(item.Text, pageNum), item.Font, 0,
                                  y + FLineInfo[item.LineNumber - 1].MaxBaseDist};
    TOndHFAlignment align = item.Alignment;
    if (swap && align == TOndHFAlignment::hfaLeft) align = TOndHFAlignment::hfaRight;
    else if (swap && align == TOndHFAlignment::hfaRight) align = TOndHFAlignment::hfaLeft;
    const int width = measure.TextWidth(item.Font, t.Text);
    switch (align) {
      case TOndHFAlignment::hfaLeft: t.X = m.PLeftHFTextIndent; break;
      case TOndHFAlignment::hfaRight: t.X = m.PRightHFTextIndent - width; break;
      case TOndHFAlignment::hfaCenter:
        t.X = (m.PLeftHFTextIndent + m.PRightHFTextIndent - width) / 2;
        break;
    }
    plan.Texts.push_back(std::move(t));
  }
  return plan;
}

}  // namespace ond
