// A printer of fixed metrics that records what is painted, for tests of the
// print object without a window.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/PrintDevice.h"

namespace ond::test {

// A 1000 x 1000 pixel page at 10 pixels per millimetre with no unprintable
// strips. Characters are CharWidth wide and rows 100 high; "W" is as wide as
// any other character.
class TRecordingPrinter : public TOndPrinter, public TOndPrintCanvas {
 public:
  struct TText {
    int Page, X, Y;
    std::string Text;
    TColor Color, Background;
    TFontStyles Style;
  };
  int CharWidth = 20;
  std::optional<TOndPrintDialogAnswer> Answer;
  std::optional<TOndPrintDialogRequest> Asked;
  int Begun = 0, Ended = 0, Aborted = 0, Pages = 0;
  std::string JobTitle;
  std::vector<TText> Texts;   // body text
  std::vector<TText> Labels;  // header and footer
  std::string Log;            // every call, one a line

  int TextWidth(const TOndPrintFont&, std::string_view text) const override {
    return CharWidth * static_cast<int>(text.size());
  }
  int TextHeight(const TOndPrintFont&, std::string_view) const override { return 100; }
  int Descent(const TOndPrintFont&) const override { return 20; }
  int AverageCharWidth(const TOndPrintFont&) const override { return CharWidth; }
  int LineHeight(const TOndPrintFont&) const override { return 100; }

  void FillRect(const TRect& r, TColor c) override { Record("fill", r.Left, r.Top, r.Right, r.Bottom, c, ""); }
  void FrameRect(const TRect& r, TColor c) override { Record("frame", r.Left, r.Top, r.Right, r.Bottom, c, ""); }
  void HorizontalLine(int left, int right, int y, TColor c) override { Record("line", left, y, right, y, c, ""); }
  void FixedText(int x, int top, std::string_view text, const TOndPrintFont& font, TColor background,
                 int advance) override {
    Texts.push_back({Pages, x, top, std::string(text), font.Color, background, font.Style});
    Record("text", x, top, advance, font.Style, font.Color, text, background);
  }
  void BaselineText(int x, int baseline, std::string_view text, const TOndPrintFont& font) override {
    Labels.push_back({Pages, x, baseline, std::string(text), font.Color, clNone, font.Style});
    Record("label", x, baseline, font.Size, font.Style, font.Color, text);
  }

  std::optional<TOndPrinterCaps> Caps() override { return TOndPrinterCaps{1000, 1000, 1000, 1000, 0, 0, 254, 254}; }
  const TOndPrintMeasure& Measure() override { return *this; }
  std::optional<TOndPrintDialogAnswer> ShowDialog(const TOndPrintDialogRequest& r) override {
    Asked = r;
    return Answer;
  }
  bool BeginDoc(const std::string& title) override {
    if (!Refusal.empty()) return false;
    ++Begun;
    JobTitle = title;
    Pages = 1;
    return true;
  }
  // A printer that refuses every job, with this reason.
  std::string Refusal;
  std::string FailureText() const override { return Refusal.empty() ? EndFailure : Refusal; }
  TOndPrintCanvas& Canvas() override { return *this; }
  void NewPage() override {
    ++Pages;
    Log += "page " + std::to_string(Pages) + "\n";
  }
  // A printer that cannot finish a job, with this reason.
  std::string EndFailure;
  bool EndDoc() override {
    ++Ended;
    return EndFailure.empty();
  }
  void Abort() override { ++Aborted; }

 private:
  void Record(const char* what, int a, int b, int c, int d, TColor color, std::string_view text,
              TColor background = clNone) {
    char head[96];
    std::snprintf(head, sizeof head, "%-5s %5d %5d %5d %2d %08X %08X", what, a, b, c, d,
                  static_cast<unsigned>(color), static_cast<unsigned>(background));
    Log += head;
    if (!text.empty()) Log += " [" + std::string(text) + "]";
    Log += "\n";
  }
};

}  // namespace ond::test
