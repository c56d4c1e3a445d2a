// What a panel tells about the file it read and what a save then may write:
// a panel whose file could not be read writes nothing under any name, and a
// UTF-16 file read one byte to a character is marked as such when it opens,
// and its zero bytes are asked about before a save puts them in the file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <string>
#include <vector>

#include "platform/core/CodePage.h"
#include "services/ULocalization.h"
#include "services/USystem.h"
#include "tests/support/LanguageGuard.h"
#include "tests/support/TempDir.h"
#include "tests/workspace/gui/PanelHost.h"
#include "workspace/Compatibility.h"
#include "workspace/Encodings.h"
#include "workspace/StatusPanels.h"
#include "workspace/UMain.h"
#include "workspace/UZuConfigs.h"

namespace ond {
namespace {

const std::string kBom = "\xEF\xBB\xBF";

void Edit(TEditor* e, const std::string& text) {
  e->Editor->Lines()->Put(0, text);
  e->Editor->UndoList()->AddChange(TOndUndoReason(0), BufferCoord(1, 1), BufferCoord(1, 1), "", smNormal);
  e->EditorChange();
}

// ---- a panel whose file could not be read --------------------------------------

class UnreadPanelSaveAs : public ::testing::Test {
 protected:
  void SetUp() override {
    Application()->MessageBoxHook = [this](const std::string& text, const std::string&, unsigned) {
      boxes.push_back(text);
      return IDYES;
    };
    root = dir.Write("@quarn.zu", "{ \"a\": ${\"a.zu\":\"x\"}, \"b\": ${\"b.zu\":\"y\"} }");
    // Too large to read (sparse: it costs no disk).
    a = dir.Write("a.zu", "{}");
    EXPECT_EQ(::truncate(a.c_str(), static_cast<off_t>(MaxTextFileSize) + 1), 0);
    dir.Write("b.zu", "{ \"b\": 1 }");
    existing = dir.Write("existing.zu", "{ \"keep\": 1 }");
    main = std::make_unique<TMain>(nullptr);
    main->SetBounds(0, 0, 1130, 675);
    main->ShowForm();
    QApplication::processEvents();
    while (main->UpdateCheckRunning()) QApplication::processEvents(QEventLoop::AllEvents, 5);
    main->OpenConfig(root);
    boxes.clear();
  }
  void TearDown() override {
    main.reset();
    Settings = saved;
    Application()->MessageBoxHook = nullptr;
  }
  bool Enabled(const char* name) {
    TAction* action = main->Action(name);
    action->Update();
    return action->GetEnabled();
  }

  const test::TLanguageGuard english{LangEnglish};
  TSettingsVariables saved = Settings;
  test::TempDir dir;
  std::string root, a, existing;
  std::unique_ptr<TMain> main;
  std::vector<std::string> boxes;
};

TEST_F(UnreadPanelSaveAs, IsGreyedLikeSaveAndWritesNothingUnderAnyName) {
  main->SetActiveIndex(1);
  TEditor* panel = main->Editors()->Active();
  ASSERT_NE(panel, nullptr);
  ASSERT_FALSE(panel->HoldsItsFile());
  for (const char* action : {"aSave", "aSaveAs", "aSaveAsCopy"}) EXPECT_FALSE(Enabled(action)) << action;
  // The dialog never comes: nobody is asked whether to replace a file.
  bool dialog = false;
  main->dlgZuSave->ExecuteHook = [&](TOpenDialog* d) {
    dialog = true;
    d->FileName = existing;
    return true;
  };
  EXPECT_FALSE(main->Action("aSaveAs")->Execute());
  EXPECT_FALSE(main->Action("aSaveAsCopy")->Execute());
  EXPECT_FALSE(dialog);

  // Reached otherwise, both are refused with the caption's reason, and
  // neither an existing file nor a new one gets the panel's empty text.
  const std::string fresh = dir / "fresh.zu";
  const std::string why = LangFill(leUnreadNotSavedAs, {"\"" + a + "\"", Lang(leUnreadTooLarge), "\"" + existing + "\""});
  for (const bool asCopy : {true, false}) {
    boxes.clear();
    EXPECT_FALSE(main->ZuConfig()->SaveActive(existing, asCopy, false)) << asCopy;
    EXPECT_FALSE(main->ZuConfig()->SaveActive(fresh, asCopy, false)) << asCopy;
    ASSERT_EQ(boxes.size(), 2u) << asCopy;
    EXPECT_NE(boxes[0].find(why), std::string::npos) << boxes[0];
    EXPECT_NE(panel->Header->GetCaption().find(LangFill(leUnreadPanel, {Lang(leUnreadTooLarge)})), std::string::npos);
  }
  EXPECT_EQ(test::TempDir::Read(existing), "{ \"keep\": 1 }");
  EXPECT_FALSE(FileExistsEx(fresh));
  struct stat st {};
  ASSERT_EQ(::stat(a.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, static_cast<off_t>(MaxTextFileSize) + 1);
  // The caption's reason, whatever the language.
  const test::TLanguageGuard russian(LangRussian);
  EXPECT_NE(panel->NotHeldText(existing), LangText(leUnreadNotSavedAs, LangEnglish));
  EXPECT_NE(panel->NotHeldText(existing).find(Lang(leUnreadTooLarge)), std::string::npos);

  // A panel that holds its file saves as before.
  main->SetActiveIndex(2);
  EXPECT_TRUE(Enabled("aSaveAs"));
  EXPECT_TRUE(Enabled("aSaveAsCopy"));
  main->dlgZuSave->ExecuteHook = [&](TOpenDialog* d) {
    d->FileName = fresh;
    return true;
  };
  EXPECT_TRUE(main->Action("aSaveAsCopy")->Execute());
  EXPECT_EQ(test::TempDir::Read(fresh), kBom + "{ \"b\": 1 }");
}

// ---- UTF-16 text read one byte to a character ------------------------------------

struct TAnswers : TConfigPrompter {
  bool Zeros = false;
  std::vector<std::string> Asked;
  bool OverwriteChangedFile(const std::string&, bool) override { return false; }
  bool SaveWithoutBackup(const std::string&, const std::string&) override { return false; }
  bool SaveLossy(const std::string& fileName, std::size_t) override {
    Asked.push_back("lossy " + ExtractFileName(fileName));
    return true;
  }
  void ShowError(const std::string& message) override { Asked.push_back("error " + message); }
  bool SaveZeroBytes(const std::string& fileName) override {
    Asked.push_back("zeros " + ExtractFileName(fileName));
    return Zeros;
  }
};

const std::string kText = "{\r\n  \"name\": \"\xCF\xF0\xE8\xE2\xE5\xF2\"\r\n}";  // "Привет" among ASCII
const std::string kCyrillic = "\xCF\xF0\xE8\xE2\xE5\xF2";                      // no ASCII: no zero in UTF-16

struct TUtf16Case {
  const char* Name;
  std::string Bytes;
  bool ZeroBytes;  // the zeros a byte-wide reading brings into the text
  int Mark;        // the UTF-16 mark it begins with
};

std::vector<TUtf16Case> Utf16Cases() {
  const std::string le = EncodeText(kText, TEncoding::Unicode()).substr(2);
  const std::string be = EncodeText(kText, TEncoding::BigEndianUnicode()).substr(2);
  return {
      {"le-mark.zu", "\xFF\xFE" + le, true, 1},
      {"le.zu", le, true, 0},
      {"be-mark.zu", "\xFE\xFF" + be, true, 2},
      {"be.zu", be, true, 0},
      {"cyrillic-mark.zu", EncodeText(kCyrillic, TEncoding::Unicode()), false, 1},
      {"utf8.zu", AnsiToUtf8(kText), false, 0},
      {"utf8-mark.zu", kBom + AnsiToUtf8(kText), false, 0},
  };
}

class Utf16ReadAsBytes : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string set = "[";
    for (const TUtf16Case& c : Utf16Cases()) {
      set += "${\"" + std::string(c.Name) + "\":\"x\"},";
      dir.Write(c.Name, c.Bytes);
    }
    root = dir.Write("@quarn.zu", set + "]");
    config.Prompter = &answers;
    ASSERT_TRUE(config.LoadConfig(root, host.box, host.popup, host.bar, host.status, host.tree));
  }
  std::string Note(const TUtf16Case& c) const {
    const std::string action = LangMenuPath({leView, leCodePage, leFileUnicode});
    if (c.Mark) return LangFill(leUtf16MarkRead, {action});
    return c.ZeroBytes ? LangFill(leZeroBytesRead, {action}) : std::string();
  }
  void ExpectNote(const TUtf16Case& c, TEditor* panel, const std::string& note, const char* when) {
    const std::string caption = panel->Header->GetCaption();
    const std::string status = panel->FileStatusText();
    EXPECT_EQ(panel->Utf16ReadText(), note) << c.Name << " " << when;
    if (note.empty()) {
      const std::string action = LangMenuPath({leView, leCodePage, leFileUnicode});
      for (const int entry : {leZeroBytesRead, leUtf16MarkRead}) {
        EXPECT_EQ(caption.find(LangFill(entry, {action})), std::string::npos) << c.Name << " " << when;
        EXPECT_EQ(status.find(LangFill(entry, {action})), std::string::npos) << c.Name << " " << when;
      }
    } else {
      EXPECT_NE(caption.find("[" + note + "]"), std::string::npos) << c.Name << " " << when << ": " << caption;
      EXPECT_NE(status.find(": " + note), std::string::npos) << c.Name << " " << when << ": " << status;
    }
  }

  const test::TLanguageGuard english{LangEnglish};
  test::TempDir dir;
  std::string root;
  test::PanelHost host{700};
  TAnswers answers;
  TZuConfig config;
};

TEST_F(Utf16ReadAsBytes, IsMarkedWhenReadOneByteToACharacterAndNotInUnicode) {
  const std::vector<TUtf16Case> cases = Utf16Cases();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const TUtf16Case& c = cases[i];
    TEditor* panel = config.Panel(static_cast<int>(i) + 1);
    ASSERT_NE(panel, nullptr) << c.Name;
    const std::string file = dir / c.Name;
    // As the set opens (UTF-8), then read as ANSI: the same note.
    ExpectNote(c, panel, Note(c), "opened");
    EXPECT_EQ(panel->Editor->Lines()->GetText().find('\0') != std::string::npos, c.ZeroBytes) << c.Name;
    ASSERT_TRUE(panel->LoadFromFile(file, 0)) << c.Name;
    ExpectNote(c, panel, Note(c), "as ANSI");
    // Read as UTF-16 there is nothing to say.
    ASSERT_TRUE(panel->LoadFromFile(file, 1)) << c.Name;
    ExpectNote(c, panel, "", "as Unicode");
    ASSERT_TRUE(panel->LoadFromFile(file, 2)) << c.Name;
    ExpectNote(c, panel, Note(c), "as UTF-8");
  }
  // The note follows the interface's language.
  const test::TLanguageGuard russian(LangRussian);
  TEditor* le = config.Panel(2);
  EXPECT_NE(le->Utf16ReadText().find(Lang(leFileUnicode)), std::string::npos);
  EXPECT_NE(Lang(leZeroBytesRead), LangText(leZeroBytesRead, LangEnglish));
  EXPECT_NE(Lang(leUtf16MarkRead), LangText(leUtf16MarkRead, LangEnglish));
}

TEST_F(Utf16ReadAsBytes, ASaveOverTheFileAsksBeforeItWritesTheZeroBytes) {
  const std::vector<TUtf16Case> cases = Utf16Cases();
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const TUtf16Case& c = cases[i];
    const int index = static_cast<int>(i) + 1;
    TEditor* panel = config.Panel(index);
    const std::string file = dir / c.Name;
    Edit(panel, "{");  // the first line only: the zeros of the others stay
    answers.Asked.clear();
    answers.Zeros = false;
    const bool refused = !config.SaveFile(index, "", false, false);
    const bool asked = std::find(answers.Asked.begin(), answers.Asked.end(), "zeros " + std::string(c.Name)) !=
                       answers.Asked.end();
    EXPECT_EQ(asked, c.ZeroBytes) << c.Name;
    EXPECT_EQ(refused, c.ZeroBytes) << c.Name;
    if (!c.ZeroBytes) continue;
    // No keeps the file and the text.
    EXPECT_EQ(test::TempDir::Read(file), c.Bytes) << c.Name;
    EXPECT_TRUE(panel->Modified) << c.Name;
    // Yes writes what the panel holds; the next save asks nothing more.
    answers.Zeros = true;
    EXPECT_TRUE(config.SaveFile(index, "", false, false)) << c.Name;
    EXPECT_NE(test::TempDir::Read(file).find('\0'), std::string::npos) << c.Name;
    answers.Asked.clear();
    Edit(panel, "[");
    EXPECT_TRUE(config.SaveFile(index, "", false, false)) << c.Name;
    EXPECT_TRUE(answers.Asked.empty()) << c.Name;
    EXPECT_EQ(panel->Utf16ReadText(), "") << c.Name;
  }
  // Text whose zeros were taken out is saved without a question.
  TEditor* le = config.Panel(2);
  ASSERT_TRUE(le->LoadFromFile(dir / "le.zu", 2));
  le->Editor->Lines()->SetText("{}");
  le->Editor->UndoList()->AddChange(TOndUndoReason(0), BufferCoord(1, 1), BufferCoord(1, 1), "", smNormal);
  le->EditorChange();
  answers.Asked.clear();
  EXPECT_TRUE(config.SaveFile(2, "", false, false));
  EXPECT_TRUE(answers.Asked.empty());
  EXPECT_EQ(test::TempDir::Read(dir / "le.zu"), kBom + "{}");
}

TEST_F(Utf16ReadAsBytes, TheQuestionNamesTheFileAndTheWayToReadItInBothLanguages) {
  std::vector<std::string> boxes;
  Application()->MessageBoxHook = [&](const std::string& text, const std::string&, unsigned) {
    boxes.push_back(text);
    return IDNO;
  };
  TMessageBoxPrompter prompter;
  const std::string file = dir / "le.zu";
  for (const int language : {LangEnglish, LangRussian}) {
    const test::TLanguageGuard in(language);
    EXPECT_FALSE(prompter.SaveZeroBytes(file));
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back(), LangFill(leZeroBytesSave, {file, LangMenuPath({leView, leCodePage, leFileUnicode})}));
    EXPECT_NE(boxes.back().find(Lang(leFileUnicode)), std::string::npos);
  }
  Application()->MessageBoxHook = nullptr;
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[0], boxes[1]);
  // A prompter that does not know the question keeps the file.
  struct TSilent : TConfigPrompter {
    bool OverwriteChangedFile(const std::string&, bool) override { return true; }
    bool SaveWithoutBackup(const std::string&, const std::string&) override { return true; }
    bool SaveLossy(const std::string&, std::size_t) override { return true; }
    void ShowError(const std::string&) override {}
  } silent;
  EXPECT_FALSE(silent.SaveZeroBytes(file));
}

}  // namespace
}  // namespace ond
