// The settings file: the program-wide settings variables (USystem) stored as
// JSON, and brought back at start-up so that every stored value takes effect
// exactly as if the user had chosen it.
//
// A stored option is applied by asking the main window to bring the action of
// that option to the stored state (the window executes the action when its
// check mark differs), so the effect on every open panel, the menu and the
// window comes from one place. Without such a window (tests, tools) the values
// go straight into the variables. The search options and texts have no action
// and are stored directly.
//
// Values enter the JSON tree as values, never as pieces of JSON text, so any
// search text (quotes, backslashes, control characters, Cyrillic) comes back
// exactly. The file is replaced through a temporary file; a file that could
// not be read as settings is kept beside as "<name>.bad" before a new one is
// written.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "services/jsonobject.h"

namespace ond {

// The file's own name.
inline constexpr const char* SettingsFileName = "settings.ondrel";
// Appended to the name of a file that could not be read as settings when it
// is put aside.
inline constexpr const char* DamagedSettingsSuffix = ".bad";

// Where the settings file lives: beside the program when that folder already
// holds it or is writable, else "$XDG_CONFIG_HOME/ondrel/" (a relative or
// empty value counts as unset: "$HOME/.config/ondrel/"). programFolder may end
// with a "/" or not; null texts count as unset.
std::string SettingsFileLocation(const std::string& programFolder, const char* xdgConfigHome, const char* home);
// The same with the process's environment.
std::string SettingsFileLocation(const std::string& programFolder);

// Brings the action of that name to the check state given; the main window
// executes it when its check mark differs.
using TSettingsActionExecutor = std::function<void(const std::string& action, bool checked)>;
// Applies a stored width of the files list (the window keeps it within the
// splitter's limits) and stores the width applied in its variable.
using TFilesListWidthApplier = std::function<void(int width)>;

class TOndrelSettings {
 public:
  // Builds the defaults from the variables as they are now. Either callback
  // may be empty: the values then go into the variables directly.
  TOndrelSettings(std::string fileName, TSettingsActionExecutor execute = nullptr,
                  TFilesListWidthApplier applyWidth = nullptr);

  const std::string& FileName() const { return FFileName; }
  // The tree built from the variables when the object was created.
  const IJsonObject& Defaults() const { return FDefaults; }
  // The tree last loaded or last built for saving; nil until then, and after
  // a file that could not be read as settings.
  const IJsonObject& Current() const { return FCurrent; }
  // Whether the file found at the last load could not be read as settings;
  // it is put aside at the next save.
  bool Damaged() const { return FDamaged; }

  // Reads the file when it exists and applies it. A file that cannot be read
  // or parsed (strictly; text after the first value is ignored), or whose
  // value is not an object, changes nothing and marks the object damaged.
  void LoadSettings();
  // Applies a tree; nil does nothing. Keys missing from it take the defaults.
  void ApplySettings(const IJsonObject& tree);
  void RestoreDefaultSettings() { ApplySettings(FDefaults); }
  // Writes the variables to the file (a damaged file is first renamed with
  // DamagedSettingsSuffix, the folder is created when missing). Returns "" on
  // success, else the reason as program text naming the file or folder once
  // (code page 1251); the old file then stays.
  std::string SaveSettings();

  // The tree of the variables as they are now.
  static IJsonObject BuildSettingsJson();
  // The file's bytes as settings: UTF-16 LE after FF FE, UTF-8 after EF BB BF,
  // else one character per byte; parsed strictly, text after the first value
  // ignored. Nil when it does not parse or is not an object.
  static IJsonObject ParseSettings(std::string_view bytes);
  // The value at the path in the tree, else in the defaults.
  IJsonObject LookupSetting(const IJsonObject& tree, const char* path) const;

 private:
  std::string FFileName;
  TSettingsActionExecutor FExecute;
  TFilesListWidthApplier FApplyWidth;
  IJsonObject FDefaults;
  IJsonObject FCurrent;
  bool FDamaged = false;
};

}  // namespace ond
