// The settings file: its exact form, loading (strict, partial, defaults for
// what is missing, ranges, the search options' switch), texts that must come
// back exactly, damaged and UTF-16 files, failed saves and where the file lives.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <filesystem>
#include <map>
#include <vector>

#include "platform/core/CodePage.h"
#include "services/USettings.h"
#include "services/USystem.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

// The variables as one comparable text.
std::u16string Snapshot() { return TOndrelSettings::BuildSettingsJson()->AsJsonText(false, true); }

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override { Settings = TSettingsVariables{}; }
  void TearDown() override { Settings = saved; }

  // Loads bytes written as the settings file into an object made from the
  // defaults; the actions asked for are recorded instead of executed.
  std::map<std::string, bool> LoadRecorded(const std::string& bytes, std::vector<int>* widths = nullptr) {
    std::map<std::string, bool> asked;
    TOndrelSettings s(
        dir.Write("settings.ondrel", bytes), [&](const std::string& a, bool checked) { asked[a] = checked; },
        [&](int w) {
          if (widths) widths->push_back(w);
        });
    s.LoadSettings();
    return asked;
  }
  std::string Golden() const { return test::TempDir::Read(test::SourceDir() + "/tests/services/data/settings-defaults.ondrel"); }

  TSettingsVariables saved = Settings;
  test::TempDir dir;
  std::string file = dir / "settings.ondrel";
};

TEST_F(SettingsFile, SavingTheDefaultsGivesTheReferenceFileByteForByte) {
  TOndrelSettings s(file);
  EXPECT_EQ(s.SaveSettings(), "");
  EXPECT_EQ(test::TempDir::Read(file), Golden());
  EXPECT_NE(s.Current(), nullptr);
  // Saving again replaces it with the same bytes; no temporary file stays.
  EXPECT_EQ(s.SaveSettings(), "");
  EXPECT_EQ(test::TempDir::Read(file), Golden());
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 1u);
}

TEST_F(SettingsFile, MissingKeysAndAnEmptyObjectGiveTheDefaults) {
  const std::u16string defaults = Snapshot();
  for (const char* text : {"{}", "{\"interface\": 5, \"search\": {\"find\": []}}", "{\"system\": null}"}) {
    TOndrelSettings s(dir.Write("settings.ondrel", text));
    Settings.interface.view.editors.wordwrap = false;
    Settings.interface.view.language = 1;
    Settings.interface.view.fileslist.width = 400;
    Settings.search.options.backwards = true;
    Settings.search.find.text = "needle";
    s.LoadSettings();
    EXPECT_FALSE(s.Damaged()) << text;
    EXPECT_EQ(Snapshot(), defaults) << text;
  }
}

TEST_F(SettingsFile, TextsComeBackExactly) {
  const std::string texts[] = {
      "say \"hi\"",
      "\xCF\xF0\xE8\xE2\xE5\xF2 \xEC\xE8\xF0",  // Cyrillic in code page 1251
      "C:\\temp\\new",
      "\\d+\\s*\\\\",
      "ends in \\",
      "\\",
      std::string("\x01\t\r\n\x1F\x7F", 6),
      "a/b \\u0041 \\x41 {\"k\": 1}",
  };
  for (const std::string& t : texts) {
    Settings = TSettingsVariables{};
    Settings.search.find.text = t;
    Settings.search.find.history = t + "1";
    Settings.search.replace.text = "r" + t;
    Settings.search.replace.history = t;
    const std::u16string before = Snapshot();
    TOndrelSettings writer(file);
    ASSERT_EQ(writer.SaveSettings(), "") << t;
    // Every byte of the file is ASCII.
    for (unsigned char c : test::TempDir::Read(file)) ASSERT_LT(c, 0x80) << t;
    Settings = TSettingsVariables{};
    TOndrelSettings reader(file);
    reader.LoadSettings();
    EXPECT_FALSE(reader.Damaged()) << t;
    EXPECT_EQ(Snapshot(), before) << t;
    EXPECT_EQ(Settings.search.find.text, t);
  }
}

TEST_F(SettingsFile, StoredValuesAskForTheirActions) {
  std::vector<int> widths;
  const auto asked = LoadRecorded(
      "{\"interface\": {\"view\": {\"language\": 1, \"editors\": {\"wordwrap\": false}, "
      "\"fileslist\": {\"position\": 1, \"width\": 300}, \"syntax\": {\"scheme\": -1}, "
      "\"mainscroll\": {\"activationmethod\": 2}}}, \"system\": {\"options\": {\"debugmod\": true}}} trailing",
      &widths);
  EXPECT_EQ(asked.at("aWordWrap"), false);
  EXPECT_EQ(asked.at("aDebugMod"), true);
  EXPECT_EQ(asked.at("aGutterVisible"), true);  // missing: the default
  EXPECT_EQ(asked.at("aENGLang"), true);
  EXPECT_EQ(asked.at("aFilesListLeft"), true);
  EXPECT_EQ(asked.at("aSyntaxNone"), true);
  EXPECT_EQ(asked.at("aMainScrollActivationCursor"), true);
  // One action per toggle and per choice.
  EXPECT_EQ(asked.size(), 19u);
  EXPECT_EQ(widths, std::vector<int>{300});
}

TEST_F(SettingsFile, ValuesOutsideTheirRangeChooseNothing) {
  struct Case {
    const char* Key;
    const char* Value;
    const char* Untouched;  // an action that must not be asked for
  } cases[] = {
      {"language", "5", "aRUSLang"},
      {"language", "-1", "aRUSLang"},
      {"language", "4294967297", "aENGLang"},  // its low 32 bits would be 1
      {"syntax\": {\"scheme", "3", "aSyntaxOndrel"},
      {"syntax\": {\"scheme", "-2", "aSyntaxNone"},
      {"fileslist\": {\"position", "2", "aFilesListRight"},
      {"mainscroll\": {\"activationmethod", "4294967296", "aMainScrollActivationShift"},
  };
  for (const Case& c : cases) {
    const std::string key(c.Key);
    const std::string closing = key.find('{') != std::string::npos ? "}" : "";
    const auto asked =
        LoadRecorded("{\"interface\": {\"view\": {\"" + key + "\": " + c.Value + closing + "}}}");
    EXPECT_EQ(asked.count(c.Untouched), 0u) << c.Key << " " << c.Value;
    EXPECT_EQ(asked.size(), 18u) << c.Key << " " << c.Value;
  }
  // A width beyond 32 bits reaches the window limited, not wrapped.
  std::vector<int> widths;
  LoadRecorded("{\"interface\": {\"view\": {\"fileslist\": {\"width\": 4294967536}}}}", &widths);
  EXPECT_EQ(widths, std::vector<int>{INT32_MAX});
}

TEST_F(SettingsFile, SearchOptionsOnlyWhenRemembered) {
  const std::string options =
      "\"options\": {\"backwards\": true, \"regex\": true, \"fromcaret\": false}, \"find\": {\"text\": \"t\"}, "
      "\"replace\": {\"history\": \"h\"}";
  for (bool remember : {false, true}) {
    Settings = TSettingsVariables{};
    TOndrelSettings s(dir.Write("settings.ondrel", std::string("{\"system\": {\"options\": {\"searchoptionsremember\": ") +
                                                       (remember ? "true" : "false") + "}}, \"search\": {" + options +
                                                       "}}"));
    s.LoadSettings();
    EXPECT_EQ(Settings.system.options.searchoptionsremember, remember);
    EXPECT_EQ(Settings.search.options.backwards, remember);
    EXPECT_EQ(Settings.search.options.regex, remember);
    EXPECT_EQ(Settings.search.options.fromcaret, !remember);
    // The texts are read either way.
    EXPECT_EQ(Settings.search.find.text, "t");
    EXPECT_EQ(Settings.search.replace.history, "h");
  }
}

TEST_F(SettingsFile, NullAndOtherTypesReadByTheLibrarysRules) {
  TOndrelSettings s(dir.Write("settings.ondrel",
                              "{\"interface\": {\"view\": {\"editors\": {\"wordwrap\": null, \"gutter\": "
                              "{\"wwglyph\": \"false\"}}}}, \"search\": {\"find\": {\"text\": null}}}"));
  s.LoadSettings();
  EXPECT_FALSE(Settings.interface.view.editors.wordwrap);
  EXPECT_TRUE(Settings.interface.view.editors.gutter.wwglyph);  // a non-empty text is true
  EXPECT_EQ(Settings.search.find.text, "null");
}

TEST_F(SettingsFile, FilesThatAreNotStrictSettingsApplyNothingAndAreKept) {
  const std::u16string defaults = Snapshot();
  const std::string damaged[] = {
      "{interface: {view: {language: 1}}}",                     // unquoted keys
      "{\"interface\": {\"view\": {\"language\": one}}}",       // an unquoted value
      "{\"interface\": {\"view\": {\"editors\": {\"wordwrap\": false}",  // cut short
      "[1, 2]",                                                 // not an object
      "",
      std::string(40, '[') + std::string(40, ']'),              // too deep
      "\xFF\xFE{",  // half a character
  };
  for (const std::string& bytes : damaged) {
    Settings = TSettingsVariables{};
    std::map<std::string, bool> asked;
    TOndrelSettings s(dir.Write("settings.ondrel", bytes), [&](const std::string& a, bool c) { asked[a] = c; });
    s.LoadSettings();
    EXPECT_TRUE(asked.empty()) << bytes;
    EXPECT_TRUE(s.Damaged()) << bytes;
    EXPECT_EQ(s.Current(), nullptr);
    EXPECT_EQ(Snapshot(), defaults) << bytes;
    // The user's file is put aside before ours is written.
    ASSERT_EQ(s.SaveSettings(), "");
    EXPECT_EQ(test::TempDir::Read(file + ".bad"), bytes);
    EXPECT_EQ(test::TempDir::Read(file), Golden());
    EXPECT_FALSE(s.Damaged());
  }
  // A missing file is no damage: nothing is put aside.
  std::filesystem::remove(file + ".bad");
  std::filesystem::remove(file);
  TOndrelSettings fresh(file);
  fresh.LoadSettings();
  EXPECT_FALSE(fresh.Damaged());
  EXPECT_EQ(fresh.Current(), nullptr);
  ASSERT_EQ(fresh.SaveSettings(), "");
  EXPECT_FALSE(std::filesystem::exists(file + ".bad"));
}

TEST_F(SettingsFile, ByteOrderMarks) {
  const std::u16string text = u"{\"search\": {\"find\": {\"text\": \"\u041f\u0440\u0438\"}}, \"interface\": "
                              u"{\"view\": {\"editors\": {\"wordwrap\": false}}}}";
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : text) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  for (const std::string& bytes : {utf16, "\xEF\xBB\xBF" + Utf16ToUtf8(text)}) {
    Settings = TSettingsVariables{};
    TOndrelSettings s(dir.Write("settings.ondrel", bytes));
    s.LoadSettings();
    EXPECT_FALSE(s.Damaged());
    EXPECT_EQ(Settings.search.find.text, "\xCF\xF0\xE8");
    EXPECT_FALSE(Settings.interface.view.editors.wordwrap);
  }
  // Without a mark a byte is one character, as the file's own escapes are.
  Settings = TSettingsVariables{};
  TOndrelSettings plain(dir.Write("settings.ondrel", "{\"search\": {\"find\": {\"text\": \"\xD0\x9F\"}}}"));
  plain.LoadSettings();
  EXPECT_EQ(Settings.search.find.text.size(), 2u);
  EXPECT_NE(Settings.search.find.text, "\xCF");
}

TEST_F(SettingsFile, AFailedSaveSaysWhyAndLeavesTheOldFile) {
  // The folder cannot be made: a file stands in its place.
  const std::string blocker = dir.Write("blocker", "x");
  TOndrelSettings s(blocker + "/ondrel/settings.ondrel");
  EXPECT_NE(s.SaveSettings(), "");
  EXPECT_EQ(test::TempDir::Read(blocker), "x");
  // The name is a folder: the rename fails and nothing is left behind.
  ASSERT_TRUE(std::filesystem::create_directory(file));
  TOndrelSettings t(file);
  EXPECT_NE(t.SaveSettings(), "");
  EXPECT_TRUE(std::filesystem::is_directory(file));
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 2u);
  // A missing folder of the configuration place is made.
  TOndrelSettings u(dir / "config/ondrel/settings.ondrel");
  EXPECT_EQ(u.SaveSettings(), "");
  EXPECT_EQ(test::TempDir::Read(dir / "config/ondrel/settings.ondrel"), Golden());
}

TEST_F(SettingsFile, RestoringTheDefaultsUndoesEveryChange) {
  Settings.interface.view.language = 1;  // the system's language at start-up
  TOndrelSettings s(file);
  const std::u16string defaults = Snapshot();
  Settings.interface.view.language = 0;
  Settings.interface.view.syntax.scheme = 2;
  Settings.system.options.autocheckupdate = false;
  Settings.search.options.wholewords = true;
  Settings.search.replace.text = "x";
  s.RestoreDefaultSettings();
  EXPECT_EQ(Snapshot(), defaults);
  EXPECT_EQ(Settings.interface.view.language, 1);
}

TEST(SettingsLocation, BesideTheProgramOrInTheUsersConfiguration) {
  test::TempDir dir;
  const std::string program = dir / "program";
  std::filesystem::create_directory(program);
  // A writable program folder.
  EXPECT_EQ(SettingsFileLocation(program, "/xdg", "/home/u"), program + "/settings.ondrel");
  EXPECT_EQ(SettingsFileLocation(program + "/", nullptr, nullptr), program + "/settings.ondrel");
  // A folder the program cannot write to (one that is not there stands in
  // for a read-only one when the tests run with every right).
  const std::string absent = dir / "absent";
  EXPECT_EQ(SettingsFileLocation(absent, "/xdg", "/home/u"), "/xdg/ondrel/settings.ondrel");
  EXPECT_EQ(SettingsFileLocation(absent, "", "/home/u"), "/home/u/.config/ondrel/settings.ondrel");
  EXPECT_EQ(SettingsFileLocation(absent, "relative/xdg", "/home/u"), "/home/u/.config/ondrel/settings.ondrel");
  EXPECT_EQ(SettingsFileLocation(absent, nullptr, "/home/u"), "/home/u/.config/ondrel/settings.ondrel");
  const std::string locked = dir / "locked";
  std::filesystem::create_directory(locked);
  ::chmod(locked.c_str(), 0555);
  if (::access(locked.c_str(), W_OK) != 0) {
    EXPECT_EQ(SettingsFileLocation(locked, "/xdg", "/home/u"), "/xdg/ondrel/settings.ondrel");
    // A file already there is used where it is.
    ::chmod(locked.c_str(), 0755);
    dir.Write("locked/settings.ondrel", "{}");
    ::chmod(locked.c_str(), 0555);
    EXPECT_EQ(SettingsFileLocation(locked, "/xdg", "/home/u"), locked + "/settings.ondrel");
  }
  ::chmod(locked.c_str(), 0755);
  // A file already there wins even where nothing could be written.
  dir.Write("absent/settings.ondrel", "{}");
  ::chmod(absent.c_str(), 0555);
  EXPECT_EQ(SettingsFileLocation(absent, "/xdg", "/home/u"), absent + "/settings.ondrel");
  ::chmod(absent.c_str(), 0755);
}

}  // namespace
}  // namespace ond

namespace ond {
namespace {

// A pipe by the settings file's name once held the start for ever: reading
// waited for a writer. It now means the defaults, at once. Should the read
// block after all, the test opens the pipe for writing after a while, which
// lets the load go on, and fails.
TEST(SettingsFileKinds, APipeByTheSettingsNameMeansTheDefaults) {
  const TSettingsVariables saved = Settings;
  Settings = TSettingsVariables{};
  const std::u16string defaults = Snapshot();
  test::TempDir dir;
  const std::string pipe = dir / "settings.ondrel";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  std::map<std::string, bool> asked;
  auto load = std::async(std::launch::async, [&] {
    TOndrelSettings s(pipe, [&](const std::string& a, bool checked) { asked[a] = checked; });
    s.LoadSettings();
  });
  const bool blocked = load.wait_for(std::chrono::seconds(20)) != std::future_status::ready;
  if (blocked) {
    const int fd = ::open(pipe.c_str(), O_WRONLY);
    if (fd >= 0) ::close(fd);
  }
  load.wait();
  EXPECT_FALSE(blocked) << "loading waited on the pipe";
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(Snapshot(), defaults);
  Settings = saved;
}

}  // namespace
}  // namespace ond
