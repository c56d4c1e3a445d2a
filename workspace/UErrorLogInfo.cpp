#include "workspace/UErrorLogInfo.h"

#include "platform/core/CodePage.h"
#include "workspace/UWorldOfTanksInfo.h"

namespace ond {

TErrorLogSystemInfo ReadErrorLogSystemInfo() {
  TErrorLogSystemInfo info;
  info.Name = GetWindowsProductName();
  info.Version = GetWindowsVersion();
  info.Language = GetSystemLanguageName();
  info.Keyboard = GetKeyboardLayoutName();
  info.DisplayMode = GetDisplayInfo();
  info.GameInstalled = IsGameInstalled();
  if (info.GameInstalled) {
    info.GameVersion = GetGameVersion();
    info.GamePath = Utf8ToAnsi(GetGameFolder());
    info.ModsPath = Utf8ToAnsi(GetResModsFolder());
    info.QuarnConfig = Utf8ToAnsi(GetActiveConfigFile());
  }
  return info;
}

}  // namespace ond
