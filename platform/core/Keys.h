// Keys as the program stores them: Windows virtual-key codes, the shift state
// as bits (bit 0 Shift, bit 1 Alt, bit 2 Ctrl, then the mouse buttons), and
// short-cuts packing a key with its modifiers into 16 bits. The window layer
// turns its own key events into these.
#pragma once

#include <cstdint>
#include <string>

namespace ond {

using TShiftState = std::uint16_t;
inline constexpr TShiftState ssShift = 0x01;
inline constexpr TShiftState ssAlt = 0x02;
inline constexpr TShiftState ssCtrl = 0x04;
inline constexpr TShiftState ssLeft = 0x08;
inline constexpr TShiftState ssRight = 0x10;
inline constexpr TShiftState ssMiddle = 0x20;
inline constexpr TShiftState ssDouble = 0x40;

// A key and its modifiers packed into 16 bits: key code plus 0x2000 for
// Shift, 0x4000 for Ctrl, 0x8000 for Alt; 0 means none.
using TShortCut = std::uint16_t;
inline constexpr TShortCut scShift = 0x2000;
inline constexpr TShortCut scCtrl = 0x4000;
inline constexpr TShortCut scAlt = 0x8000;
inline constexpr TShortCut scNone = 0;

// Packs a key and its modifiers; a key code above 255 gives 0.
TShortCut ShortCut(std::uint16_t key, TShiftState shift) noexcept;
// Splits a short-cut into its key (the low 13 bits) and Shift/Alt/Ctrl.
void ShortCutToKey(TShortCut shortCut, std::uint16_t& key, TShiftState& shift) noexcept;
// Menu text of a short-cut, such as "Ctrl+C" or "Shift+Ins"; "" for 0 and
// for keys without a name.
std::string ShortCutToText(TShortCut shortCut);

// Virtual-key codes of the keys the program binds or translates.
enum : std::uint16_t {
  VK_BACK = 0x08, VK_TAB = 0x09, VK_CLEAR = 0x0C, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11,
  VK_MENU = 0x12, VK_PAUSE = 0x13, VK_CAPITAL = 0x14, VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21,
  VK_NEXT = 0x22, VK_END = 0x23, VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28,
  VK_SNAPSHOT = 0x2C, VK_INSERT = 0x2D, VK_DELETE = 0x2E, VK_HELP = 0x2F, VK_APPS = 0x5D,
  VK_NUMPAD0 = 0x60, VK_MULTIPLY = 0x6A, VK_ADD = 0x6B, VK_SEPARATOR = 0x6C, VK_SUBTRACT = 0x6D,
  VK_DECIMAL = 0x6E, VK_DIVIDE = 0x6F, VK_F1 = 0x70, VK_F24 = 0x87, VK_NUMLOCK = 0x90, VK_SCROLL = 0x91,
  VK_OEM_1 = 0xBA, VK_OEM_PLUS = 0xBB, VK_OEM_COMMA = 0xBC, VK_OEM_MINUS = 0xBD, VK_OEM_PERIOD = 0xBE,
  VK_OEM_2 = 0xBF, VK_OEM_3 = 0xC0, VK_OEM_4 = 0xDB, VK_OEM_5 = 0xDC, VK_OEM_6 = 0xDD, VK_OEM_7 = 0xDE,
};

}  // namespace ond
