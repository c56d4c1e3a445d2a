#include "platform/core/Keys.h"

#include <array>

#include "platform/core/SysUtils.h"

namespace ond {

TShortCut ShortCut(std::uint16_t key, TShiftState shift) noexcept {
  if (key > 0xFF) return 0;
  TShortCut result = key;
  if (shift & ssShift) result |= scShift;
  if (shift & ssCtrl) result |= scCtrl;
  if (shift & ssAlt) result |= scAlt;
  return result;
}

void ShortCutToKey(TShortCut shortCut, std::uint16_t& key, TShiftState& shift) noexcept {
  key = static_cast<std::uint16_t>(shortCut & ~(scShift | scCtrl | scAlt));
  shift = 0;
  if (shortCut & scShift) shift |= ssShift;
  if (shortCut & scCtrl) shift |= ssCtrl;
  if (shortCut & scAlt) shift |= ssAlt;
}

std::string ShortCutToText(TShortCut shortCut) {
  static constexpr std::array<const char*, 9> kNavigation = {"Space", "PgUp", "PgDn", "End", "Home",
                                                             "Left",  "Up",   "Right", "Down"};
  const unsigned key = shortCut & 0xFF;
  std::string name;
  if (key == 0x08) {
    name = "BkSp";
  } else if (key == 0x09) {
    name = "Tab";
  } else if (key == 0x0D) {
    name = "Enter";
  } else if (key == 0x1B) {
    name = "Esc";
  } else if (key >= 0x20 && key <= 0x28) {
    name = kNavigation[key - 0x20];
  } else if (key == 0x2D) {
    name = "Ins";
  } else if (key == 0x2E) {
    name = "Del";
  } else if (key >= 0x30 && key <= 0x39) {
    name = std::string(1, static_cast<char>(key));
  } else if (key >= 0x41 && key <= 0x5A) {
    name = std::string(1, static_cast<char>(key));
  } else if (key >= 0x60 && key <= 0x69) {  // numeric keypad digits
    name = std::string(1, static_cast<char>('0' + key - 0x60));
  } else if (key >= 0x70 && key <= 0x87) {
    name = "F" + IntToStr(key - 0x6F);
  }
  if (name.empty()) return {};
  std::string result;
  if (shortCut & scShift) result += "Shift+";
  if (shortCut & scCtrl) result += "Ctrl+";
  if (shortCut & scAlt) result += "Alt+";
  return result + name;
}

}  // namespace ond
