// The about box: the program's name with its version, a line about the
// program, and a link line that opens the mod's web site (its English pages
// when the interface is English), with the program's icon at the left.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Controls.h"
#include "platform/Forms.h"
#include "platform/Shell.h"
#include "platform/StdCtrls.h"

namespace ond {

// The mod's web site (Russian pages); the English ones are under "en/".
inline constexpr const char* AboutSiteAddress = "https://quarn.ru/";

class TAbout : public TForm {
 public:
  // Centred on the owner when it is a window, else on the screen.
  explicit TAbout(TComponent* owner, TUrlOpener openUrl = ShellOpenURL);

  TLabel* LabVersion;
  TLabel* LabFor;
  TLabel* LabCopyRight;
  // The area the icon is painted on, under the labels.
  TCustomControl* Surface;

  // The address the link opens in the current interface language.
  static std::string SiteAddress();
  // Opens the site with openUrl; when no browser takes it (no opener on the
  // system), a message tells the user the address instead. True when opened.
  static bool OpenSite(const TUrlOpener& openUrl);
  // The message of a site no browser could open.
  static std::string NoBrowserText(const std::string& address);

  // The window's reactions, callable as the events call them.
  void FormPaint();
  void LabForMouseEnter();
  void LabForMouseLeave();
  void LabForClick();
  void FormKeyDown(std::uint16_t& key, TShiftState shift);

 private:
  TUrlOpener FOpenUrl;
};

}  // namespace ond
