// Answers about the installed game World of Tanks, the system and file
// versions: where the game is, which version it has, which config of the mod
// Quarn is active, and the texts the error log's header shows. Every function
// is stateless and reads the registry or the disk each time it is called.
//
// The game is a Windows program that runs here under Wine, so "the registry"
// is the text hives of the Wine prefix ($WINEPREFIX, else ~/.wine) and the
// game's Windows paths are mapped into that prefix. File and folder names
// returned here are native UTF-8 paths; display texts are code page 1251.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ond {

// The system.
// The name of the operating system (PRETTY_NAME of os-release, else "Linux").
std::string GetWindowsProductName();
// The kernel's release ("6.1.0-18-amd64").
std::string GetWindowsVersion();
// The name of the system's language, from the locale of messages.
std::string GetSystemLanguageName();
// The Windows language identifier of that language (1049 Russian, 1033
// English, ...); 0 for a language the program has no identifier for.
std::uint16_t GetSystemDefaultLangID();
// The keyboard layout of the input method: "Английская (67699721)",
// "Русская (68748313)" or another layout's decimal value. Needs the window layer.
std::string GetKeyboardLayoutName();
// "1920x1080 пик, 32 бит, 60 Гц" for the primary screen. Needs the window layer.
std::string GetDisplayInfo();

// File versions.
// A name without a folder is looked up as Windows looks up a module: in the
// program's folder first, then in the current folder. The program's own file
// (an ELF file has no version resource) answers with the version it was
// built as; any other file with the fixed version of its PE version resource,
// or a library of the program with the version note it carries.
// "0.0.0.0" for a file without one.
std::string GetFileVersionText(const std::string& fileName);
// The fourth part of that version, 0 without one.
std::uint16_t GetFileBuild(const std::string& fileName);
// The program's own version and build, compiled in.
std::string GetProgramVersionText();
std::uint16_t GetProgramBuild();

// The game.
// The game's executable: the icon of its replay files' association, mapped
// into the prefix; empty when the association is missing.
std::string GetGameExeName();
bool IsGameInstalled();
// The executable's folder with a trailing "/", or empty when it does not exist.
std::string GetGameFolder();
// The first five characters of the executable's version text ("1.10."), or empty.
std::string GetGameVersion();
// Game folder + "res_mods/" + game version + "/", or empty without the game.
std::string GetResModsFolder();
// The root config that the mod's start file res_mods/quarn/quarn.zu names
// on its first "$" line, when that file exists; else empty.
std::string GetActiveConfigFile();
bool IsActiveConfigAvailable();

// The rules above, on given data (for the callers' and the tests' use).
// The executable named by a DefaultIcon value: surrounding quotes and a
// trailing ",<icon index>" removed, whatever the index's length.
std::u16string ExeNameOfDefaultIcon(std::u16string_view value);
// The relative name (UTF-8, "/" separated) on the first "$" line of a start
// file's bytes; empty when there is none. A leading byte-order mark is skipped.
std::string ActiveConfigName(std::string_view startFile);
// The operating system's name in the text of an os-release file (UTF-8).
std::string OsReleaseProductName(std::string_view osRelease);
// The language identifier and name (code page 1251) of a locale name such
// as "ru_RU.UTF-8"; an unknown language gives 0 and the locale's own name.
std::uint16_t LanguageIdOfLocale(std::string_view locale);
std::string LanguageNameOfLocale(std::string_view locale);
// The keyboard layout handle of a locale's default layout (0x04190419 for
// Russian) and its text as GetKeyboardLayoutName gives it.
std::uint32_t KeyboardLayoutOfLocale(std::string_view locale);
std::string KeyboardLayoutText(std::uint32_t layout);
std::string DisplayInfoText(int width, int height, int bitsPerPixel, int frequency);

}  // namespace ond
