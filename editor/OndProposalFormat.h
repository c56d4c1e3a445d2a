// The small formatting language of the completion pop-up's lines: plain
// characters, a doubled backslash for one backslash, and the commands
// \color{...}, \style{...}, \column{}, \hspace{...} and \image{...}. A line is
// parsed into chunks once, then walked to measure or draw it. Both steps are
// window-free: the walk reaches a surface only through TFormatSurface, so the
// pop-up paints with it and the tests measure with a fake.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Types.h"

namespace ond {

enum TFormatChunkKind : std::uint8_t {
  fckText = 0,
  fckColor = 1,
  fckStyle = 2,
  fckColumn = 3,
  fckHSpace = 4,
  fckImage = 5,
};

// A set of chunk kinds, one bit per kind; the parser leaves out the kinds a
// caller excludes.
using TFormatChunkKinds = std::uint8_t;
constexpr TFormatChunkKinds FormatKind(TFormatChunkKind Kind) { return static_cast<TFormatChunkKinds>(1u << Kind); }
constexpr TFormatChunkKinds AllFormatCommands = FormatKind(fckColor) | FormatKind(fckStyle) | FormatKind(fckColumn) |
                                                FormatKind(fckHSpace) | FormatKind(fckImage);

// How a style chunk changes its font style bit.
enum class TFormatStyleMode : std::int8_t { Clear = -1, Toggle = 0, Set = 1 };

struct TFormatChunk {
  TFormatChunkKind Kind = fckText;
  std::string Text;  // text chunks only
  // The colour, the pixels of space or the image index.
  std::int32_t Data = 0;
  // Style chunks: the style bit and how it changes.
  TFontStyles Style = 0;
  TFormatStyleMode Mode = TFormatStyleMode::Set;

  friend bool operator==(const TFormatChunk&, const TFormatChunk&) = default;
};

// Horizontal space beyond this is taken as this much: no line is meant to be
// wider than a screen, and the walk stops at its right edge anyway.
constexpr int MaxFormatHSpace = 4096;

class TFormatChunkList {
 public:
  int Count() const { return static_cast<int>(FChunks.size()); }
  const TFormatChunk& operator[](int Index) const { return FChunks.at(static_cast<std::size_t>(Index)); }
  const std::vector<TFormatChunk>& Chunks() const { return FChunks; }
  void Add(TFormatChunk Chunk) { FChunks.push_back(std::move(Chunk)); }
  void Clear() { FChunks.clear(); }

 private:
  std::vector<TFormatChunk> FChunks;
};

// Parses Line into Chunks (cleared first), leaving out the kinds in Exclude.
// False when the line held an unknown command, a bad parameter or a command
// cut short; whatever text it held is still in the chunks.
bool ParseFormatLine(std::string_view Line, TFormatChunkList& Chunks, TFormatChunkKinds Exclude = 0);
// The text a line shows, with every command left out.
std::string FormatPlainText(std::string_view Line);
// Text that the formatting language shows exactly as it is: each backslash
// doubled, so no part of it reads as a command.
std::string EscapeFormatText(std::string_view Text);

// One column of a formatted line: as wide as its biggest word and a blank,
// its text in its own font style.
struct TFormatColumn {
  std::string BiggestWord = "CONSTRUCTOR";
  TFontStyles Style = 0;
};

// What walking a line needs of the surface it measures or draws on. Widths
// are in pixels for the surface's current font style.
class TFormatSurface {
 public:
  virtual ~TFormatSurface() = default;
  virtual int TextWidth(std::string_view Text) = 0;
  virtual TFontStyles GetStyle() const = 0;
  virtual void SetStyle(TFontStyles Style) = 0;
  virtual TColor GetColor() const = 0;
  virtual void SetColor(TColor Color) = 0;
  // The image list's size; 0 images when there is none.
  virtual int ImageCount() const = 0;
  virtual int ImageWidth() const = 0;
  // Drawing; a measuring surface does nothing.
  virtual void DrawText(int X, int Y, std::string_view Text) = 0;
  virtual void DrawImage(int X, int Y, int Index) = 0;
};

// Walks the chunks from Left, drawing at Top when Draw is set, until the end
// or until x passes Right; the surface's style and colour are as before
// afterwards. Returns the x reached. An image the list does not have is
// skipped; a long text is measured only as far as Right.
int WalkFormatChunks(const TFormatChunkList& Chunks, TFormatSurface& Surface, const std::vector<TFormatColumn>& Columns,
                     int Left, int Top, int Right, bool Draw);
// The width of a formatted line, measured no further than MaxWidth.
int FormattedLineWidth(std::string_view Line, TFormatSurface& Surface, const std::vector<TFormatColumn>& Columns,
                       int MaxWidth);

}  // namespace ond
