// The system's texts for the error log: operating system, language, keyboard
// layout and display mode. The parts that ask the screen and the input method
// are in UWorldOfTanksInfoScreen.cpp, which needs the window layer.
#include <sys/utsname.h>

#include <cstdlib>

#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "platform/core/SysUtils.h"
#include "workspace/UWorldOfTanksInfo.h"

namespace ond {

namespace {

struct TLanguage {
  std::string_view Locale;  // "ll" or "ll_CC"
  std::uint16_t Id;
  std::string_view Name;    // UTF-8; given out in code page 1251
};

// The languages a player of the game is likely to have, named in Russian as
// the program's own texts are. A country-specific entry wins over the plain one.
constexpr TLanguage Languages[] = {
    {"ru", 0x0419, "Русский"},
    {"en", 0x0409, "Английский (США)"},
    {"en_GB", 0x0809, "Английский (Великобритания)"},
    {"uk", 0x0422, "Украинский"},
    {"be", 0x0423, "Белорусский"},
    {"kk", 0x043F, "Казахский"},
    {"de", 0x0407, "Немецкий (Германия)"},
    {"fr", 0x040C, "Французский (Франция)"},
    {"pl", 0x0415, "Польский"},
    {"cs", 0x0405, "Чешский"},
};

constexpr std::uint32_t EnglishLayout = 0x04090409;
constexpr std::uint32_t RussianLayout = 0x04190419;

// "ru_RU.UTF-8@x" -> "ru_RU"; the portable locale is American English.
std::string BareLocale(std::string_view locale) {
  const std::size_t cut = locale.find_first_of(".@");
  std::string bare(locale.substr(0, cut));
  if (bare.empty() || bare == "C" || bare == "POSIX") return "en_US";
  return bare;
}

const TLanguage* FindLanguage(std::string_view locale) {
  const std::string bare = BareLocale(locale);
  const std::string language = bare.substr(0, bare.find('_'));
  const TLanguage* plain = nullptr;
  for (const TLanguage& l : Languages) {
    if (l.Locale == bare) return &l;
    if (l.Locale == language) plain = &l;
  }
  return plain;
}

// The locale of messages, as the C library chooses it.
// A value of os-release: shell-like, in double or single quotes or bare.
std::string UnquoteOsReleaseValue(std::string_view v) {
  if (v.empty() || (v.front() != '"' && v.front() != '\'')) return std::string(v);
  const char quote = v.front();
  std::string r;
  for (std::size_t i = 1; i < v.size() && v[i] != quote; ++i) {
    if (quote == '"' && v[i] == '\\' && i + 1 < v.size()) ++i;
    r += v[i];
  }
  return r;
}

}  // namespace

std::string OsReleaseProductName(std::string_view osRelease) {
  std::string pretty, name, version;
  std::size_t at = 0;
  while (at < osRelease.size()) {
    std::size_t end = osRelease.find('\n', at);
    if (end == std::string_view::npos) end = osRelease.size();
    const std::string line = Trim(osRelease.substr(at, end - at));
    at = end + 1;
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos || line[0] == '#') continue;
    const std::string key = line.substr(0, eq);
    const std::string value = UnquoteOsReleaseValue(std::string_view(line).substr(eq + 1));
    if (key == "PRETTY_NAME") pretty = value;
    else if (key == "NAME") name = value;
    else if (key == "VERSION") version = value;
  }
  if (!pretty.empty()) return pretty;
  if (!name.empty()) return version.empty() ? name : name + " " + version;
  return "Linux";
}

std::string GetWindowsProductName() {
  std::string text = ReadRegularFile("/etc/os-release");
  if (text.empty()) text = ReadRegularFile("/usr/lib/os-release");
  return Utf8ToAnsi(OsReleaseProductName(text));
}

std::string GetWindowsVersion() {
  utsname u {};
  if (::uname(&u) != 0) return {};
  return u.release;
}

std::uint16_t LanguageIdOfLocale(std::string_view locale) {
  const TLanguage* l = FindLanguage(locale);
  return l ? l->Id : 0;
}

std::string LanguageNameOfLocale(std::string_view locale) {
  const TLanguage* l = FindLanguage(locale);
  return l ? Utf8ToAnsi(l->Name) : Utf8ToAnsi(BareLocale(locale));
}

std::string GetSystemLanguageName() { return LanguageNameOfLocale(MessagesLocale()); }
std::uint16_t GetSystemDefaultLangID() { return LanguageIdOfLocale(MessagesLocale()); }

std::uint32_t KeyboardLayoutOfLocale(std::string_view locale) {
  const std::uint32_t id = LanguageIdOfLocale(locale);
  return id << 16 | id;
}

std::string KeyboardLayoutText(std::uint32_t layout) {
  if (layout == EnglishLayout) return Utf8ToAnsi("Английская (67699721)");
  if (layout == RussianLayout) return Utf8ToAnsi("Русская (68748313)");
  return IntToStr(layout);
}

std::string DisplayInfoText(int width, int height, int bitsPerPixel, int frequency) {
  return IntToStr(width) + "x" + IntToStr(height) + Utf8ToAnsi(" пик, ") + IntToStr(bitsPerPixel) +
         Utf8ToAnsi(" бит, ") + IntToStr(frequency) + Utf8ToAnsi(" Гц");
}

}  // namespace ond
