// The completion pop-up's formatting language on arbitrary bytes: parsing
// and walking a line must end without fault, the walk must stop near the
// right edge however large the spaces, and any text escaped for the
// language must read back as itself.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "editor/OndProposalFormat.h"

namespace {

// Every character 7 pixels wide, 9 in bold; two 16-pixel images.
class CountingSurface : public ond::TFormatSurface {
 public:
  int TextWidth(std::string_view t) override { return static_cast<int>(t.size()) * ((Style & ond::fsBold) ? 9 : 7); }
  ond::TFontStyles GetStyle() const override { return Style; }
  void SetStyle(ond::TFontStyles s) override { Style = s; }
  ond::TColor GetColor() const override { return Color; }
  void SetColor(ond::TColor c) override { Color = c; }
  int ImageCount() const override { return 2; }
  int ImageWidth() const override { return 16; }
  void DrawText(int, int, std::string_view) override {}
  void DrawImage(int, int, int Index) override {
    if (Index < 0 || Index >= 2) std::abort();
  }
  ond::TFontStyles Style = 0;
  ond::TColor Color = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  const std::vector<ond::TFormatColumn> columns = {{"first", 0}, {"second", ond::fsBold}};
  ond::TFormatChunkList chunks;
  ond::ParseFormatLine(line, chunks);
  CountingSurface surface;
  const int right = 1000;
  const int x = ond::WalkFormatChunks(chunks, surface, columns, 0, 0, right, true);
  // One step past the edge at most: a piece of text, a space, an image or a column.
  if (x > right + 256 * 9 + ond::MaxFormatHSpace) std::abort();
  if (surface.Style != 0 || surface.Color != 0) std::abort();
  if (ond::FormatPlainText(ond::EscapeFormatText(line)) != line) std::abort();
  return 0;
}
