#include "services/USettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/core/CodePage.h"
#include "platform/core/SysUtils.h"
#include "services/ULocalization.h"
#include "services/USystem.h"

namespace ond {

namespace {

// What a key of the file is bound to.
enum class TBinding {
  Toggle,        // a boolean applied through its action
  Choice,        // an integer choosing one of several actions
  Width,         // the files list's width
  SearchOption,  // a boolean stored directly, when search options are remembered
  Text,          // a text stored directly, always
};

struct TChoice {
  int Value;
  const char* Action;
};

struct TSettingDef {
  const char* Path;
  TBinding Binding;
  bool& (*Bool)() = nullptr;
  int& (*Int)() = nullptr;
  std::string& (*Str)() = nullptr;
  const char* Action = nullptr;  // of a toggle
  std::initializer_list<TChoice> Choices = {};
};

auto& View() { return Settings.interface.view; }
auto& Search() { return Settings.search; }

#define OND_BOOL(expr) []() -> bool& { return expr; }
#define OND_INT(expr) []() -> int& { return expr; }
#define OND_STR(expr) []() -> std::string& { return expr; }

// Every setting in the order in which it is applied.
const TSettingDef kSettings[] = {
    {"system.options.debugmod", TBinding::Toggle, OND_BOOL(Settings.system.options.debugmod), nullptr, nullptr,
     "aDebugMod"},
    {"system.options.autocheckupdate", TBinding::Toggle, OND_BOOL(Settings.system.options.autocheckupdate), nullptr,
     nullptr, "aAutoCheckUpdate"},
    {"system.options.fullscreendefault", TBinding::Toggle, OND_BOOL(Settings.system.options.fullscreendefault),
     nullptr, nullptr, "aFullScreenDefault"},
    {"system.options.searchoptionsremember", TBinding::Toggle,
     OND_BOOL(Settings.system.options.searchoptionsremember), nullptr, nullptr, "aSearchOptionsRemember"},
    {"interface.view.language", TBinding::Choice, nullptr, OND_INT(View().language), nullptr, nullptr,
     {{0, "aRUSLang"}, {1, "aENGLang"}}},
    {"interface.view.editors.gutter.visible", TBinding::Toggle, OND_BOOL(View().editors.gutter.visible), nullptr,
     nullptr, "aGutterVisible"},
    {"interface.view.editors.gutter.number", TBinding::Toggle, OND_BOOL(View().editors.gutter.number), nullptr,
     nullptr, "aGutterNumber"},
    {"interface.view.editors.gutter.wwglyph", TBinding::Toggle, OND_BOOL(View().editors.gutter.wwglyph), nullptr,
     nullptr, "aGutterWWGlyph"},
    {"interface.view.editors.gutter.linemodified", TBinding::Toggle, OND_BOOL(View().editors.gutter.linemodified),
     nullptr, nullptr, "aLineModVisible"},
    {"interface.view.editors.wordwrap", TBinding::Toggle, OND_BOOL(View().editors.wordwrap), nullptr, nullptr,
     "aWordWrap"},
    {"interface.view.editors.specialcharacters", TBinding::Toggle, OND_BOOL(View().editors.specialcharacters),
     nullptr, nullptr, "aDisplaySpecChar"},
    {"interface.view.editors.freecaretmovement", TBinding::Toggle, OND_BOOL(View().editors.freecaretmovement),
     nullptr, nullptr, "aFreeCaretMovement"},
    {"interface.view.fileslist.visible", TBinding::Toggle, OND_BOOL(View().fileslist.visible), nullptr, nullptr,
     "aFilesListVisible"},
    {"interface.view.fileslist.position", TBinding::Choice, nullptr, OND_INT(View().fileslist.position), nullptr,
     nullptr, {{0, "aFilesListRight"}, {1, "aFilesListLeft"}}},
    {"interface.view.fileslist.width", TBinding::Width, nullptr, OND_INT(View().fileslist.width)},
    {"interface.view.mainscroll.scrollbar.visible", TBinding::Toggle, OND_BOOL(View().mainscroll.scrollbar.visible),
     nullptr, nullptr, "aMainScrollBarVisible"},
    {"interface.view.mainscroll.activationmethod", TBinding::Choice, nullptr,
     OND_INT(View().mainscroll.activationmethod), nullptr, nullptr,
     {{0, "aMainScrollActivationShift"}, {1, "aMainScrollActivationCtrl"}, {2, "aMainScrollActivationCursor"}}},
    {"interface.view.syntax.scheme", TBinding::Choice, nullptr, OND_INT(View().syntax.scheme), nullptr, nullptr,
     {{-1, "aSyntaxNone"}, {0, "aSyntaxOndrel"}, {1, "aSyntaxJavaScript"}, {2, "aSyntaxPython"}}},
    {"interface.view.syntax.pairedbrackets", TBinding::Toggle, OND_BOOL(View().syntax.pairedbrackets), nullptr,
     nullptr, "aPairedBrackets"},
    {"interface.view.syntax.codefolding", TBinding::Toggle, OND_BOOL(View().syntax.codefolding), nullptr, nullptr,
     "aCodeFolding"},
    {"search.options.backwards", TBinding::SearchOption, OND_BOOL(Search().options.backwards)},
    {"search.options.casesensitive", TBinding::SearchOption, OND_BOOL(Search().options.casesensitive)},
    {"search.options.fromcaret", TBinding::SearchOption, OND_BOOL(Search().options.fromcaret)},
    {"search.options.selectiononly", TBinding::SearchOption, OND_BOOL(Search().options.selectiononly)},
    {"search.options.wholewords", TBinding::SearchOption, OND_BOOL(Search().options.wholewords)},
    {"search.options.regex", TBinding::SearchOption, OND_BOOL(Search().options.regex)},
    {"search.options.inallconfig", TBinding::SearchOption, OND_BOOL(Search().options.inallconfig)},
    {"search.options.withouthiddenfiles", TBinding::SearchOption, OND_BOOL(Search().options.withouthiddenfiles)},
    {"search.find.text", TBinding::Text, nullptr, nullptr, OND_STR(Search().find.text)},
    {"search.find.history", TBinding::Text, nullptr, nullptr, OND_STR(Search().find.history)},
    {"search.replace.text", TBinding::Text, nullptr, nullptr, OND_STR(Search().replace.text)},
    {"search.replace.history", TBinding::Text, nullptr, nullptr, OND_STR(Search().replace.history)},
};

#undef OND_BOOL
#undef OND_INT
#undef OND_STR

// Written into every file; nothing reads it back.
constexpr const char* kVersionPath = "system.settingsfile.version";
constexpr const char16_t* kVersion = u"1.0";

std::string ErrorText(int err) { return SystemErrorText(err); }

// Far above any settings file; a larger one is not ours.
constexpr off_t kMaxSettingsSize = 16 << 20;

enum class TRead { Missing, Failed, Read };

// Anything but a regular file (a folder of that name, say) is not read and
// not put aside: the save will say why it cannot write there.
TRead ReadSettingsBytes(const std::string& fileName, std::string& bytes) {
  // Opened without blocking, or a pipe by that name would hold the start
  // until something wrote to it; it is then no regular file.
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? TRead::Missing : TRead::Failed;
  struct stat st {};
  TRead result = TRead::Read;
  if (::fstat(fd, &st) != 0) {
    result = TRead::Failed;
  } else if (!S_ISREG(st.st_mode)) {
    result = TRead::Missing;
  } else if (st.st_size > kMaxSettingsSize) {
    result = TRead::Failed;
  } else {
    char buf[8192];
    for (;;) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 || bytes.size() > static_cast<std::size_t>(kMaxSettingsSize)) result = TRead::Failed;
      if (n <= 0 || result == TRead::Failed) break;
      bytes.append(buf, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return result;
}

}  // namespace

std::string SettingsFileLocation(const std::string& programFolder, const char* xdgConfigHome, const char* home) {
  namespace fs = std::filesystem;
  const fs::path folder(programFolder.empty() ? std::string(".") : programFolder);
  const fs::path beside = folder / SettingsFileName;
  std::error_code ec;
  if (fs::exists(beside, ec) || ::access(folder.c_str(), W_OK | X_OK) == 0) return beside.string();
  fs::path base;
  if (xdgConfigHome && xdgConfigHome[0] == '/')
    base = xdgConfigHome;
  else if (home && home[0] != '\0')
    base = fs::path(home) / ".config";
  else
    return beside.string();  // nowhere better: saving will say why it cannot
  return (base / "ondrel" / SettingsFileName).string();
}

std::string SettingsFileLocation(const std::string& programFolder) {
  return SettingsFileLocation(programFolder, std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

TOndrelSettings::TOndrelSettings(std::string fileName, TSettingsActionExecutor execute,
                                 TFilesListWidthApplier applyWidth)
    : FFileName(std::move(fileName)),
      FExecute(std::move(execute)),
      FApplyWidth(std::move(applyWidth)),
      FDefaults(BuildSettingsJson()) {}

IJsonObject TOndrelSettings::BuildSettingsJson() {
  IJsonObject tree = TJsonObject::Create(jdtObject);
  tree->SetPathString(kVersionPath, kVersion);
  for (const TSettingDef& d : kSettings) {
    switch (d.Binding) {
      case TBinding::Toggle:
      case TBinding::SearchOption: tree->SetPathBool(d.Path, d.Bool()); break;
      case TBinding::Choice:
      case TBinding::Width: tree->SetPathInt(d.Path, d.Int()); break;
      case TBinding::Text: tree->SetPathString(d.Path, AnsiToUtf16(d.Str())); break;
    }
  }
  return tree;
}

IJsonObject TOndrelSettings::ParseSettings(std::string_view bytes) {
  std::u16string text;
  const auto starts = [&](std::string_view mark) { return bytes.substr(0, mark.size()) == mark; };
  if (starts("\xFF\xFE")) {
    // Half a character at the end means the file was cut short.
    if (bytes.size() % 2 != 0) return nullptr;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
      text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                    (static_cast<unsigned char>(bytes[i + 1]) << 8));
  } else if (starts("\xEF\xBB\xBF")) {
    text = Utf8ToUtf16(bytes.substr(3));
  } else {
    text.assign(bytes.begin(), bytes.end());
    for (std::size_t i = 0; i < bytes.size(); ++i) text[i] = static_cast<unsigned char>(bytes[i]);
  }
  IJsonObject tree = ParseString(text, true, true);
  return JsonIsType(tree, jdtObject) ? tree : nullptr;
}

void TOndrelSettings::LoadSettings() {
  std::string bytes;
  switch (ReadSettingsBytes(FFileName, bytes)) {
    case TRead::Missing: return;
    case TRead::Failed: FCurrent = nullptr; break;
    case TRead::Read: FCurrent = ParseSettings(bytes); break;
  }
  FDamaged = FCurrent == nullptr;
  ApplySettings(FCurrent);
}

IJsonObject TOndrelSettings::LookupSetting(const IJsonObject& tree, const char* path) const {
  if (tree)
    if (IJsonObject v = tree->GetPathValue(path)) return v;
  return FDefaults->GetPathValue(path);
}

void TOndrelSettings::ApplySettings(const IJsonObject& tree) {
  if (!tree) return;
  const auto value = [&](const TSettingDef& d) { return LookupSetting(tree, d.Path); };
  // The options and the view first, through their actions.
  for (const TSettingDef& d : kSettings) {
    if (d.Binding == TBinding::Toggle) {
      const bool v = value(d)->AsBoolean();
      if (FExecute)
        FExecute(d.Action, v);
      else
        d.Bool() = v;
    } else if (d.Binding == TBinding::Choice) {
      // A value outside the choices (or beyond 32 bits) chooses nothing.
      const std::int64_t v = value(d)->AsInteger();
      for (const TChoice& c : d.Choices) {
        if (c.Value != v) continue;
        if (FExecute)
          FExecute(c.Action, true);
        else
          d.Int() = c.Value;
      }
    } else if (d.Binding == TBinding::Width) {
      const std::int64_t v = value(d)->AsInteger();
      const int width = static_cast<int>(std::clamp<std::int64_t>(v, INT_MIN, INT_MAX));
      if (FApplyWidth)
        FApplyWidth(width);
      else
        d.Int() = width;
    }
  }
  // The search options only when they are remembered, as the same tree may
  // just have said.
  if (Settings.system.options.searchoptionsremember)
    for (const TSettingDef& d : kSettings)
      if (d.Binding == TBinding::SearchOption) d.Bool() = value(d)->AsBoolean();
  for (const TSettingDef& d : kSettings)
    if (d.Binding == TBinding::Text) d.Str() = Utf16ToAnsi(value(d)->AsString());
}

std::string TOndrelSettings::SaveSettings() {
  namespace fs = std::filesystem;
  FCurrent = BuildSettingsJson();
  const fs::path file(FFileName);
  // Every reason names the file (or folder) once, as the writer's own do.
  const auto shown = [](const std::string& name) { return "\"" + Utf8ToAnsi(name) + "\""; };
  const auto failed = [&](int entry, const std::string& name, const std::error_code& ec) {
    return LangFill(entry, {shown(name), ErrorText(ec.value())});
  };
  std::error_code ec;
  if (file.has_parent_path()) {
    fs::create_directories(file.parent_path(), ec);
    if (ec) return failed(leCannotCreateFolder, file.parent_path().string(), ec);
  }
  if (FDamaged) {
    // The user's own file is never lost to our defaults.
    fs::rename(file, fs::path(FFileName + DamagedSettingsSuffix), ec);
    std::error_code gone;
    if (ec && fs::exists(file, gone)) return failed(leCannotRenameFile, FFileName, ec);
    FDamaged = false;
  }
  // A failure leaves the old file whole and says why.
  std::string reason;
  if (FCurrent->SaveTo(FFileName, true, true, &reason) == 0) {
    if (reason.find(shown(FFileName)) != std::string::npos) return reason;
    return LangFill(leCannotWriteFile, {Utf8ToAnsi(FFileName)}) + " " + (reason.empty() ? ErrorText(EIO) : reason);
  }
  return {};
}

}  // namespace ond
