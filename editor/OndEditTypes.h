// Small value types shared by the editor units: buffer and display positions,
// colours and rectangles, byte sets, the selection mode and the opaque
// highlighter state a line carries.
#pragma once

#include "platform/core/Types.h"

#include <bitset>
#include <cstdint>
#include <initializer_list>
#include <string_view>

// Colours (TColor, clNone), rectangles and mouse buttons are the window
// layer's plain value types, which need no window system.
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

// A set of byte values.
class TSysCharSet {
 public:
  TSysCharSet() = default;
  TSysCharSet(std::initializer_list<char> chars) {
    for (char c : chars) Include(c);
  }
  // Every byte of the text is a member.
  explicit TSysCharSet(std::string_view chars) {
    for (char c : chars) Include(c);
  }
  bool Contains(char c) const noexcept { return FBits.test(static_cast<unsigned char>(c)); }
  void Include(char c) noexcept { FBits.set(static_cast<unsigned char>(c)); }
  void IncludeRange(unsigned char first, unsigned char last) noexcept {
    for (unsigned c = first; c <= last; ++c) FBits.set(c);
  }
  void Exclude(char c) noexcept { FBits.reset(static_cast<unsigned char>(c)); }
  bool Empty() const noexcept { return FBits.none(); }
  friend bool operator==(const TSysCharSet&, const TSysCharSet&) = default;

 private:
  std::bitset<256> FBits;
};

// The state a highlighter hands out at the end of a line and takes back before
// the next. Opaque to the editor: a highlighter may store an id or a pointer.
using TOndRangeState = std::intptr_t;
constexpr TOndRangeState RangeStateUnknown = -1;

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
