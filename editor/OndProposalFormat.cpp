#include "editor/OndProposalFormat.h"

#include <algorithm>
#include <charconv>

#include "highlight/OndGenFormat.h"
#include "platform/core/CodePage.h"

namespace ond {
namespace {

// An integer parameter with an optional sign; false for anything else,
// including a number outside 32 bits.
bool ParseInteger(std::string_view Text, std::int32_t& Value) {
  if (!Text.empty() && Text.front() == '+') Text.remove_prefix(1);
  if (Text.empty()) return false;
  const auto [end, ec] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  return ec == std::errc() && end == Text.data() + Text.size();
}

TFontStyles StyleOfLetter(char Letter) {
  switch (AnsiUpperChar(static_cast<unsigned char>(Letter))) {
    case 'B': return fsBold;
    case 'I': return fsItalic;
    case 'U': return fsUnderline;
    case 'S': return fsStrikeOut;
    default: return 0;
  }
}

// Turns one command into a chunk; false when the name or the parameter is
// not one of the language's.
bool MakeCommand(std::string_view Name, std::string_view Param, TFormatChunk& Chunk) {
  const std::string name = AnsiUpperCase(Name);
  if (name == "COLOR") {
    Chunk.Kind = fckColor;
    TColor color = 0;
    if (Param.empty() || !IdentToColor(Param, color)) return false;
    Chunk.Data = color;
    return true;
  }
  if (name == "COLUMN") {
    Chunk.Kind = fckColumn;
    return Param.empty();
  }
  if (name == "HSPACE") {
    Chunk.Kind = fckHSpace;
    if (!ParseInteger(Param, Chunk.Data)) return false;
    // Space never runs back over drawn text, nor far past any screen.
    Chunk.Data = std::clamp(Chunk.Data, 0, MaxFormatHSpace);
    return true;
  }
  if (name == "IMAGE") {
    Chunk.Kind = fckImage;
    return ParseInteger(Param, Chunk.Data);
  }
  if (name == "STYLE") {
    Chunk.Kind = fckStyle;
    if (Param.size() != 2) return false;
    switch (Param[0]) {
      case '+': Chunk.Mode = TFormatStyleMode::Set; break;
      case '-': Chunk.Mode = TFormatStyleMode::Clear; break;
      case '~': Chunk.Mode = TFormatStyleMode::Toggle; break;
      default: return false;
    }
    Chunk.Style = StyleOfLetter(Param[1]);
    return Chunk.Style != 0;
  }
  return false;
}

}  // namespace

bool ParseFormatLine(std::string_view Line, TFormatChunkList& Chunks, TFormatChunkKinds Exclude) {
  Chunks.Clear();
  bool valid = true;
  std::string text;
  const auto flushText = [&] {
    if (!text.empty() && !(Exclude & FormatKind(fckText))) {
      TFormatChunk chunk;
      chunk.Text = std::move(text);
      Chunks.Add(std::move(chunk));
    }
    text.clear();
  };
  std::size_t i = 0;
  while (i < Line.size()) {
    const char c = Line[i];
    if (c != '\\') {
      // Plain characters up to the next backslash are one run.
      const std::size_t next = std::min(Line.find('\\', i), Line.size());
      text.append(Line.substr(i, next - i));
      i = next;
      continue;
    }
    if (i + 1 < Line.size() && Line[i + 1] == '\\') {
      text += '\\';
      i += 2;
      continue;
    }
    const std::size_t open = Line.find('{', i + 1);
    const std::size_t close = open == std::string_view::npos ? open : Line.find('}', open + 1);
    if (close == std::string_view::npos) {
      // A command cut short takes the rest of the line with it.
      valid = false;
      break;
    }
    flushText();
    TFormatChunk chunk;
    if (MakeCommand(Line.substr(i + 1, open - i - 1), Line.substr(open + 1, close - open - 1), chunk)) {
      if (!(Exclude & FormatKind(chunk.Kind))) Chunks.Add(std::move(chunk));
    } else {
      valid = false;
    }
    i = close + 1;
  }
  flushText();
  return valid;
}

std::string FormatPlainText(std::string_view Line) {
  TFormatChunkList chunks;
  ParseFormatLine(Line, chunks, AllFormatCommands);
  std::string out;
  for (const TFormatChunk& c : chunks.Chunks()) out += c.Text;
  return out;
}

std::string EscapeFormatText(std::string_view Text) {
  std::string out;
  out.reserve(Text.size() + static_cast<std::size_t>(std::count(Text.begin(), Text.end(), '\\')));
  for (char c : Text) {
    out += c;
    if (c == '\\') out += '\\';
  }
  return out;
}

namespace {

// Characters measured at a time, so that a very long text stops being
// measured soon after it passes the right edge.
constexpr std::size_t MeasureStep = 256;

// Draws or measures one text from X; returns the x after it, or a value past
// Right once it got there.
int WalkText(std::string_view Text, TFormatSurface& Surface, int X, int Top, int Right, bool Draw) {
  while (!Text.empty()) {
    const std::string_view piece = Text.substr(0, MeasureStep);
    if (Draw) Surface.DrawText(X, Top, piece);
    X += Surface.TextWidth(piece);
    Text.remove_prefix(piece.size());
    if (X > Right) break;
  }
  return X;
}

}  // namespace

int WalkFormatChunks(const TFormatChunkList& Chunks, TFormatSurface& Surface, const std::vector<TFormatColumn>& Columns,
                     int Left, int Top, int Right, bool Draw) {
  const TFontStyles savedStyle = Surface.GetStyle();
  const TColor savedColor = Surface.GetColor();
  int x = Left;
  int columnStart = Left;
  std::size_t column = 0;
  for (const TFormatChunk& c : Chunks.Chunks()) {
    if (x > Right) break;
    switch (c.Kind) {
      case fckText:
        x = WalkText(c.Text, Surface, x, Top, Right, Draw);
        break;
      case fckColor:
        Surface.SetColor(c.Data);
        break;
      case fckStyle: {
        TFontStyles s = Surface.GetStyle();
        if (c.Mode == TFormatStyleMode::Set)
          s |= c.Style;
        else if (c.Mode == TFormatStyleMode::Clear)
          s &= static_cast<TFontStyles>(~c.Style);
        else
          s ^= c.Style;
        Surface.SetStyle(s);
        break;
      }
      case fckColumn:
        // The next column starts where its biggest word and a blank would end,
        // counted from the start of this one; without it nothing moves.
        if (column + 1 < Columns.size()) {
          ++column;
          x = columnStart + Surface.TextWidth(Columns[column].BiggestWord + " ");
          columnStart = x;
          Surface.SetStyle(Columns[column].Style);
        }
        break;
      case fckHSpace:
        x += c.Data;
        break;
      case fckImage:
        if (c.Data >= 0 && c.Data < Surface.ImageCount()) {
          if (Draw) Surface.DrawImage(x, Top, c.Data);
          x += Surface.ImageWidth();
        }
        break;
    }
  }
  Surface.SetStyle(savedStyle);
  Surface.SetColor(savedColor);
  return x;
}

int FormattedLineWidth(std::string_view Line, TFormatSurface& Surface, const std::vector<TFormatColumn>& Columns,
                       int MaxWidth) {
  TFormatChunkList chunks;
  ParseFormatLine(Line, chunks);
  return std::min(WalkFormatChunks(chunks, Surface, Columns, 0, 0, MaxWidth, false), MaxWidth);
}

}  // namespace ond
