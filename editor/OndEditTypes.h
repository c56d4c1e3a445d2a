// Small value types shared by the editor units: buffer and display positions,
// the selection mode and objects undo records own. Colours, rectangles, byte
// sets and the highlighter's line state live in platform/core, below the
// editor and the highlighters alike; they come along with this header.
#pragma once

#include <cstdint>

#include "platform/core/RangeState.h"
#include "platform/core/Types.h"

namespace ond {

// A position in the text: 1-based character in the line, 1-based line.
struct TBufferCoord {
  std::int32_t Char = 0;
  std::int32_t Line = 0;
  friend bool operator==(const TBufferCoord&, const TBufferCoord&) = default;
};

// A position on screen: 1-based display column after tab expansion, 1-based
// display row (rows differ from lines only under word wrap).
struct TDisplayCoord {
  std::int32_t Column = 0;
  std::int32_t Row = 0;
  friend bool operator==(const TDisplayCoord&, const TDisplayCoord&) = default;
};

constexpr TBufferCoord BufferCoord(std::int32_t AChar, std::int32_t ALine) noexcept {
  return TBufferCoord{AChar, ALine};
}
constexpr TDisplayCoord DisplayCoord(std::int32_t AColumn, std::int32_t ARow) noexcept {
  return TDisplayCoord{AColumn, ARow};
}

enum TOndSelectionMode : std::uint8_t { smNormal = 0, smLine = 1, smColumn = 2 };

// An object an undo record can own (a fold range taken out of the editor's
// fold tree); it is freed with the record unless the editor takes it back.
class TOndEditUndoObject {
 public:
  TOndEditUndoObject() = default;
  TOndEditUndoObject(const TOndEditUndoObject&) = delete;
  TOndEditUndoObject& operator=(const TOndEditUndoObject&) = delete;
  virtual ~TOndEditUndoObject() = default;
};

}  // namespace ond
