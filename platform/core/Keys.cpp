#include "platform/core/Keys.h"

#include <array>


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
  char own[4] = {};
  const char* name = nullptr;
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
  } else if ((key >= 0x30 && key <= 0x39) || (key >= 0x41 && key <= 0x5A)) {
    own[0] = static_cast<char>(key);
    name = own;
  } else if (key >= 0x60 && key <= 0x69) {  // numeric keypad digits
    own[0] = static_cast<char>('0' + key - 0x60);
    name = own;
  } else if (key >= 0x70 && key <= 0x87) {
    const unsigned n = key - 0x6F;
    own[0] = 'F';
    own[1] = static_cast<char>(n >= 10 ? '0' + n / 10 : '0' + n);
    if (n >= 10) own[2] = static_cast<char>('0' + n % 10);
    name = own;
  }
  if (!name) return {};
  std::string result;
  if (shortCut & scShift) result.append("Shift+");
  if (shortCut & scCtrl) result.append("Ctrl+");
  if (shortCut & scAlt) result.append("Alt+");
  result.append(name);
  return result;
}

}  // namespace ond
