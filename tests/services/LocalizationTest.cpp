// The language table: its size, its two columns, its one placeholder, its
// bytes, and the choice of the starting language from the locale.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/core/CodePage.h"
#include "platform/core/SysUtils.h"
#include "services/ULocalization.h"
#include "services/USystem.h"
#include "tests/support/EnvGuard.h"

namespace ond {
namespace {

std::string Ansi(const char* utf8) { return Utf8ToAnsi(utf8); }

// The English texts of entries 2 to 131 as the program must show them,
// typed errors and double spaces included.
const char* const EnglishFrom2[] = {
    /* 2 */ "Modified",
    /* 3 */ "File not found",
    /* 4 */ "not found",
    /* 5 */ "Subs used:",
    /* 6 */ "File",
    /* 7 */ "Open...",
    /* 8 */ "Save",
    /* 9 */ "Save with backup",
    /* 10 */ "Save as...",
    /* 11 */ "Save as copy...",
    /* 12 */ "Reopen",
    /* 13 */ "Recovery from backup",
    /* 14 */ "Save all",
    /* 15 */ "Save all with backup",
    /* 16 */ "Close all",
    /* 17 */ "Load the current config",
    /* 18 */ "Quit",
    /* 19 */ "Edit",
    /* 20 */ "Undo",
    /* 21 */ "Redo",
    /* 22 */ "Cut",
    /* 23 */ "Copy",
    /* 24 */ "Paste",
    /* 25 */ "Delete",
    /* 26 */ "Select all",
    /* 27 */ "Search",
    /* 28 */ "Find...",
    /* 29 */ "Replace...",
    /* 30 */ "Find down",
    /* 31 */ "Find up",
    /* 32 */ "View",
    /* 33 */ "Editor",
    /* 34 */ "Gutter",
    /* 35 */ "Visible",
    /* 36 */ "Line numbering",
    /* 37 */ "Word wrap glyph",
    /* 38 */ "Mark changed lines",
    /* 39 */ "Font headlines...",
    /* 40 */ "Main text font...",
    /* 41 */ "Word wrap",
    /* 42 */ "Display special characters",
    /* 43 */ "Free caret movement",
    /* 44 */ "Files tree",
    /* 45 */ "Visible",
    /* 46 */ "Panel location",
    /* 47 */ "Right",
    /* 48 */ "Left",
    /* 49 */ "Main scroll",
    /* 50 */ "Show scrollbar",
    /* 51 */ "Activation method",
    /* 52 */ "Shift key",
    /* 53 */ "Ctrl key",
    /* 54 */ "Cursor moving",
    /* 55 */ "Syntax Highlighting",
    /* 56 */ "None",
    /* 57 */ "Scheme",
    /* 58 */ "Paired brackets",
    /* 59 */ "Code folding",
    /* 60 */ "Code page",
    /* 61 */ "Open file in ANSI",
    /* 62 */ "Open file in Unicode",
    /* 63 */ "Open file in UTF-8",
    /* 64 */ "Open config in ANSI",
    /* 65 */ "Open config in Unicode",
    /* 66 */ "Open config in UTF-8",
    /* 67 */ "Language",
    /* 68 */ "Collapse editors",
    /* 69 */ "All",
    /* 70 */ "Above active editor",
    /* 71 */ "Below active editor",
    /* 72 */ "Expand editors",
    /* 73 */ "All",
    /* 74 */ "Above active editor",
    /* 75 */ "Below active editor",
    /* 76 */ "Hide editors",
    /* 77 */ "All",
    /* 78 */ "Above active editor",
    /* 79 */ "Below active editor",
    /* 80 */ "Show editors",
    /* 81 */ "All",
    /* 82 */ "Above active editor",
    /* 83 */ "Below active editor",
    /* 84 */ "Align editors height",
    /* 85 */ "As active editor",
    /* 86 */ "As main window",
    /* 87 */ "Help",
    /* 88 */ "Settings",
    /* 89 */ "Test mod",
    /* 90 */ "Automatically check for updates",
    /* 91 */ "Opening window to fullscreen",
    /* 92 */ "Remember search options",
    /* 93 */ "Restore default settings",
    /* 94 */ "Check of updates...",
    /* 95 */ "Website...",
    /* 96 */ "About",
    /* 97 */ "Search",
    /* 98 */ "Search for:",
    /* 99 */ "OK",
    /* 100 */ "Cancel",
    /* 101 */ " Direction: ",
    /* 102 */ "Down",
    /* 103 */ "Up",
    /* 104 */ "Case sensitivity",
    /* 105 */ "Whole words only",
    /* 106 */ "Search from caret",
    /* 107 */ "Selected text only",
    /* 108 */ "Regular expression",
    /* 109 */ "Entire config",
    /* 110 */ "Without hidden files",
    /* 111 */ "Replace",
    /* 112 */ "Replace with:",
    /* 113 */ "Replace the text?",
    /* 114 */ "Yes",
    /* 115 */ "No",
    /* 116 */ "Yes to all",
    /* 117 */ "Cancel",
    /* 118 */ "A new version of the program available \"XXX\". Upgrade now?",
    /* 119 */ "Yes",
    /* 120 */ "No",
    /* 121 */ "Download",
    /* 122 */ "Save all changes in open the config file?",
    /* 123 */ "The current changes will be lost. Continue?",
    /* 124 */ "You can not save a copy of the file as the original. Select a file to a different name.",
    /* 125 */ "You are using the latest version of the software. Update is not required.",
    /* 126 */ "The check updates is failed. No connection to the server.",
    /* 127 */ "The failed to upgrade the program. No connection to the server  or the target directory is not available.",
    /* 128 */ "To enable the testing program requires the current version DebugInfo.so. Download the library?",
    /* 129 */ "Failed to update the library. No connection to the server.",
    /* 130 */ "Version of the library on the server does not meet the version of your Ondrel. Debug mode is not enabled. Initially, you have to update the Ondrel.",
    /* 131 */ "The failed to upgrade the library. No connection to the server  or the target directory is not available.",
};
static_assert(std::size(EnglishFrom2) == LangEntryCount - 2);

TEST(Localization, EveryEntryHasBothLanguages) {
  for (int entry = 0; entry < LangTextCount; ++entry)
    for (int language : {LangRussian, LangEnglish})
      EXPECT_FALSE(LangText(entry, language).empty()) << entry << "/" << language;
  for (int mode : {EditModeInsert, EditModeOverwrite})
    for (int language : {LangRussian, LangEnglish}) EXPECT_FALSE(LangEditModeText(mode, language).empty());
}

TEST(Localization, EnglishTextsAreTheProgramsOwn) {
  for (int entry = 2; entry < LangEntryCount; ++entry)
    EXPECT_EQ(LangText(entry, LangEnglish), EnglishFrom2[entry - 2]) << "entry " << entry;
  EXPECT_EQ(LangEditModeText(EditModeInsert, LangEnglish), "Insert");
  EXPECT_EQ(LangEditModeText(EditModeOverwrite, LangEnglish), "Overwrite");
}

TEST(Localization, GivenRussianTextsAreCodePage1251) {
  struct Case {
    int Entry;
    const char* Utf8;
  };
  const Case cases[] = {
      {leModified, "Изменён"},
      {leFileNotFound, "Файл не найден"},
      {leSubsUsed, "Произведено замен:"},
      {leTestMode, "Режим тестирования"},
      {leReplaceQuestion, "Заменить?"},
      {leUpdateDownloaded, "Загружено"},
      {leUpdateOffer, "Доступна новая версия программы \"XXX\". Обновить?"},
      {leCopyOverOriginal, "Вы не можете сохранить копию файла под именем оригинала. Выберите другое имя."},
      {leDebugLibraryMismatch,
       "Версия библиотеки на сервере не соответствует текущей версии Ondrel. Необходимо обновить программу."},
  };
  for (const Case& c : cases) EXPECT_EQ(LangText(c.Entry, LangRussian), Ansi(c.Utf8)) << c.Entry;
  EXPECT_EQ(LangText(leModified, LangRussian), "\xC8\xE7\xEC\xE5\xED\xB8\xED");
  EXPECT_EQ(LangEditModeText(EditModeInsert, LangRussian), Ansi("Вставка"));
  EXPECT_EQ(LangEditModeText(EditModeOverwrite, LangRussian), Ansi("Замена"));
}

TEST(Localization, OnlyTheUpdateOfferHoldsThePlaceholder) {
  for (int entry = 0; entry < LangTextCount; ++entry)
    for (int language : {LangRussian, LangEnglish})
      EXPECT_EQ(LangText(entry, language).find(UpdateVersionPlaceholder) != std::string::npos,
                entry == leUpdateOffer)
          << entry << "/" << language;
}

TEST(Localization, HelpHintBreaksLinesWithLfCrAndBulletsWith0x95) {
  for (int language : {LangRussian, LangEnglish}) {
    const std::string& hint = LangText(leMainHelp, language);
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t at; (at = hint.find("\n\r", start)) != std::string::npos; start = at + 2)
      lines.push_back(hint.substr(start, at - start));
    lines.push_back(hint.substr(start));
    ASSERT_EQ(lines.size(), 6u) << language;
    EXPECT_TRUE(lines[3].empty());
    for (int i : {1, 2, 5}) EXPECT_EQ(lines[i].substr(0, 2), "\x95 ") << language << ":" << i;
    // Every LF is followed by CR and every CR follows an LF.
    for (std::size_t i = 0; i < hint.size(); ++i) {
      if (hint[i] == '\n') {
        EXPECT_TRUE(i + 1 < hint.size() && hint[i + 1] == '\r') << language << ":" << i;
      }
      if (hint[i] == '\r') {
        EXPECT_TRUE(i > 0 && hint[i - 1] == '\n') << language << ":" << i;
      }
    }
  }
  EXPECT_EQ(LangText(leMainHelp, LangEnglish).substr(0, 19), "To load a config:\n\r");
}

TEST(Localization, LanguageIndexIsTheSettingsVariable) {
  const int saved = Settings.interface.view.language;
  SetCurrentLanguage(LangEnglish);
  EXPECT_EQ(Settings.interface.view.language, 1);
  EXPECT_EQ(Lang(leFile), "File");
  SetCurrentLanguage(LangRussian);
  EXPECT_EQ(Lang(leFile), Ansi("Файл"));
  EXPECT_EQ(LangEditMode(EditModeOverwrite), Ansi("Замена"));
  Settings.interface.view.language = saved;
}

TEST(Localization, RussianSystemFromTheLocaleName) {
  struct Case {
    const char* Name;
    bool Russian;
  };
  const Case cases[] = {{"ru_RU.UTF-8", true}, {"ru_UA", true}, {"ru", true},   {"RU_ru.cp1251", true},
                        {"ru@latin", true},    {"en_US.UTF-8", false}, {"C", false}, {"", false},
                        {nullptr, false},      {"rus", false},    {"uk_UA.UTF-8", false}};
  for (const Case& c : cases) EXPECT_EQ(IsRussianLocaleName(c.Name), c.Russian) << (c.Name ? c.Name : "null");
}

// Numbers go into a message's "%s" places in order; values holding "%s"
// themselves are not filled again, and missing values leave the place.
TEST(Localization, FillsTheSlotsOfAMessageInOrder) {
  const int saved = CurrentLanguage();
  SetCurrentLanguage(LangEnglish);
  EXPECT_EQ(LangFill(leOpeningFiles, {"12", "400"}), "Opening the config set: 12 of 400 files");
  EXPECT_EQ(LangFill(leOpeningFiles, {"%s", "7"}), "Opening the config set: %s of 7 files");
  EXPECT_EQ(LangFill(leOpeningFiles, {"1"}), "Opening the config set: 1 of %s files");
  EXPECT_EQ(LangFill(leBytesReceived, {"5", "6"}), "5 bytes");
  SetCurrentLanguage(saved);
}

// The language asked of the system follows the messages locale as the system
// information does: LC_ALL over LC_MESSAGES over LANG, empty ones skipped.
TEST(Localization, RussianSystemFollowsTheMessagesLocale) {
  struct Case {
    const char* All;
    const char* Messages;
    const char* Lang;
    bool Russian;
  };
  const Case cases[] = {{nullptr, "ru_RU.UTF-8", "en_US.UTF-8", true},
                        {"en_US.UTF-8", "ru_RU.UTF-8", "ru_RU.UTF-8", false},
                        {"", "", "ru_RU.UTF-8", true},
                        {nullptr, nullptr, nullptr, false}};
  for (const Case& c : cases) {
    test::TEnvGuard all("LC_ALL", c.All);
    test::TEnvGuard messages("LC_MESSAGES", c.Messages);
    test::TEnvGuard lang("LANG", c.Lang);
    EXPECT_EQ(IsRussianSystem(), c.Russian) << (c.All ? c.All : "-") << " " << (c.Messages ? c.Messages : "-");
  }
}

// The reasons of system errors speak the interface language, not the system's
// locale: a Russian text for each error the program reports, the C library's
// English otherwise, and an error the table does not know keeps its number.
TEST(Localization, SystemErrorTextsFollowTheInterfaceLanguage) {
  const int saved = CurrentLanguage();
  const std::vector<int>& known = LangSystemErrors();
  for (int err : {EACCES, EPERM, ENOENT, EISDIR, ENOTDIR, ENOSPC, EDQUOT, EROFS, EFBIG, ENAMETOOLONG, EIO, ELOOP,
                  ETXTBSY, EEXIST}) {
    EXPECT_NE(std::find(known.begin(), known.end(), err), known.end()) << err;
    SetCurrentLanguage(LangRussian);
    const std::string russian = SystemErrorText(err);
    // Cyrillic in code page 1251 is 0xC0 to 0xFF.
    EXPECT_NE(std::find_if(russian.begin(), russian.end(), [](char c) { return static_cast<unsigned char>(c) >= 0xC0; }),
              russian.end())
        << err << ": " << russian;
    SetCurrentLanguage(LangEnglish);
    EXPECT_EQ(SystemErrorText(err), SystemErrorTextOfSystem(err)) << err;
  }
  EXPECT_EQ(SystemErrorText(EACCES), "Permission denied");
  SetCurrentLanguage(LangRussian);
  EXPECT_EQ(SystemErrorText(ENOSPC), Ansi("На устройстве не осталось свободного места"));
  EXPECT_EQ(SystemErrorText(EPROTO), Ansi("Системная ошибка ") + IntToStr(EPROTO) + " (" +
                                         SystemErrorTextOfSystem(EPROTO) + ")");
  // Every text of the table has both languages and no two errors share one.
  for (int language : {LangRussian, LangEnglish}) {
    std::vector<std::string> texts;
    for (int err : known) {
      std::string text;
      ASSERT_TRUE(LangSystemErrorText(err, language, text)) << err;
      EXPECT_FALSE(text.empty());
      EXPECT_EQ(std::count(texts.begin(), texts.end(), text), 0) << text;
      texts.push_back(text);
    }
  }
  SetCurrentLanguage(saved);
}

// A reason for a file that could not be read, told later, follows the
// language chosen then.
TEST(Localization, ReadReasonsInBothLanguages) {
  const int saved = CurrentLanguage();
  struct Case {
    int Reason;
    const char* Russian;
    const char* English;
  };
  const Case cases[] = {{EACCES, "Отказано в доступе", "Permission denied"},
                        {EISDIR, "Это каталог", "Is a directory"},
                        {ErrNotRegularFile, "Это не обычный файл", "Not a regular file"},
                        {ErrFileTooLarge, "слишком большой файл", "the file is too large"},
                        {ErrNulInName, "В имени есть нулевой байт", "The name contains a zero byte"},
                        {0, "", ""}};
  for (const Case& c : cases) {
    SetCurrentLanguage(LangRussian);
    EXPECT_EQ(LangReadReason(c.Reason), Ansi(c.Russian)) << c.Reason;
    SetCurrentLanguage(LangEnglish);
    EXPECT_EQ(LangReadReason(c.Reason), c.English) << c.Reason;
  }
  SetCurrentLanguage(saved);
}

}  // namespace
}  // namespace ond
