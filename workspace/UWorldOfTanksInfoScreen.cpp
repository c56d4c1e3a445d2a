// The keyboard and display texts, which only the window layer can answer.
#include "platform/SysInfo.h"
#include "workspace/UWorldOfTanksInfo.h"

namespace ond {

std::string GetKeyboardLayoutName() { return KeyboardLayoutText(KeyboardLayoutOfLocale(InputMethodLocaleName())); }

std::string GetDisplayInfo() {
  const TDisplayMode mode = PrimaryDisplayMode();
  return DisplayInfoText(mode.Width, mode.Height, mode.BitsPerPixel, mode.Frequency);
}

}  // namespace ond
