// The update as the main window runs it, against a local server and a
// program file in a temporary folder: the messages of a loud and a silent
// check, the offer window, the set closed before the download, the progress
// in the status bar, the actions off while it runs, and the new program
// started before the window closes.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QWindow>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "services/UAbout.h"
#include "services/ULocalization.h"
#include "services/UThCheckUpdate.h"
#include "services/USystem.h"
#include "tests/support/ElfBuilder.h"
#include "tests/support/LocalHttpServer.h"
#include "tests/support/TestSigningKeys.h"
#include "tests/support/TempDir.h"
#include "workspace/Compatibility.h"
#include "workspace/StatusPanels.h"
#include "workspace/UMain.h"
#include "workspace/UUpdMessage.h"

namespace ond {
namespace {

using namespace test;  // the local server and its answers

const std::string kOldProgram = "#!/bin/sh\nold program\n";
const std::string kNewer = "101\r\n1.0.0.101\r\n";

// The program of build 101 as the server offers it.
std::string Elf() {
  TElfLayout layout = ElfOfKind(ET_DYN, true, TFileVersion{1, 0, 0, 101});
  layout.Filler = 12000;  // long enough to arrive in several pieces
  return BuildElf(layout).Bytes;
}

class UpdateWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    SetCurrentLanguage(LangEnglish);
    Application()->MessageBoxHook = [this](const std::string& text, const std::string& caption, unsigned flags) {
      EXPECT_EQ(QThread::currentThread(), qApp->thread()) << text;
      EXPECT_EQ(caption, "Ondrel");
      boxes.push_back(text);
      // The save question of a modified set has three buttons; every other box only OK.
      if ((flags & 0x0F) != MB_YESNOCANCEL) {
        EXPECT_EQ(flags, MB_OK) << text;
      }
      return boxAnswer;
    };
    main = std::make_unique<TMain>(nullptr);
    // Closing writes the settings: into the test's folder, not beside the tests.
    main->SettingsFile = dir / "settings.ondrel";
    main->SetBounds(0, 0, 1130, 675);
    main->ShowForm();
    Settle();  // the start-up check meets no server
    boxes.clear();
    program = dir.Write("Ondrel", kOldProgram);
    main->UpdateTarget.ServerUrl = server.Url();
    main->UpdateTarget.ProgramFile = program;
    main->UpdateTarget.Build = 100;
    main->UpdateTarget.Key = keys.Public;
    main->StartNewProgram = [this](const std::string& file, std::string& reason) {
      started.push_back(file);
      settingsBeforeStart = FileExistsEx(dir / "settings.ondrel");
      if (!startWorks) reason = "No such file or directory";
      return startWorks;
    };
    main->ShowUpdateOffer = [this](TUpdMess& offer) {
      EXPECT_EQ(QThread::currentThread(), qApp->thread());
      offers.push_back(offer.lMessage->GetCaption());
      notes = offer.mInfo->GetText();
      return offerAnswer;
    };
    server.Set("/pub/ONDREL/UpdateInfo.txt", Ok("First line\r\nSecond line"));
    server.Set("/pub/ONDREL/Ondrel.exe.sig", Ok(keys.Sign(Elf())));
  }
  void TearDown() override {
    main.reset();
    Settings = saved;
    Application()->MessageBoxHook = nullptr;
  }
  // Runs the window's loop until no check runs and its last calls arrived;
  // watch sees the window after every round.
  void Settle(const std::function<void()>& watch = nullptr) {
    while (main->UpdateCheckRunning()) {
      QApplication::processEvents(QEventLoop::AllEvents, 5);
      if (watch) watch();
    }
    QCoreApplication::sendPostedEvents();
    QApplication::processEvents();
  }
  bool Exists(const std::string& name) const { return FileExistsEx(dir / name); }
  bool Enabled(const char* name) {
    TAction* a = main->Action(name);
    a->Update();
    return a->GetEnabled();
  }
  std::string Status() const { return main->SBar->Panels()->Items(spMessage)->GetText(); }
  std::vector<std::string> ExeRequests() {
    std::vector<std::string> out;
    for (const auto& r : server.Requests())
      if (r.find("Ondrel.exe") != std::string::npos) out.push_back(r);
    return out;
  }

  TSettingsVariables saved = Settings;
  test::TTestKeys keys;
  test::TLocalServer server;
  test::TempDir dir;
  std::string program;
  std::unique_ptr<TMain> main;
  std::vector<std::string> boxes;
  int boxAnswer = IDOK;
  std::vector<std::string> offers;
  std::string notes;
  int offerAnswer = IDYES;
  std::vector<std::string> started;
  bool startWorks = true;
  bool settingsBeforeStart = false;
};

TEST_F(UpdateWindow, CheckMessagesLoudAndSilent) {
  const struct {
    const char* Name;
    std::string BuildFile;  // empty: the server has none
    bool Silent;
    std::vector<int> Entries;
  } cases[] = {
      {"equal builds, loud", "100\r\n1.0.0.100\r\n", false, {leLatestVersion}},
      {"equal builds, silent", "100\r\n1.0.0.100\r\n", true, {}},
      {"one line, loud", "101", false, {leUpdateAnswerUnreadable}},
      {"one line, silent", "101", true, {}},
      {"not a number, loud", "build 101\r\n1.0.0.101\r\n", false, {leUpdateAnswerUnreadable}},
      {"not a number, silent", "build 101\r\n1.0.0.101\r\n", true, {}},
      {"no Build.upd, loud", "", false, {leUpdateAnswerUnreadable}},
  };
  EXPECT_EQ(leLatestVersion, 125);
  EXPECT_EQ(leUpdateCheckFailed, 126);
  EXPECT_EQ(leUpdateFailed, 127);
  for (const auto& c : cases) {
    server.Set("/pub/ONDREL/Build.upd", c.BuildFile.empty() ? TAnswer{{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n"}} : Ok(c.BuildFile));
    boxes.clear();
    ASSERT_TRUE(main->CheckForUpdates(c.Silent)) << c.Name;
    Settle();
    std::vector<std::string> expected;
    for (const int e : c.Entries) expected.push_back(Lang(e));
    EXPECT_EQ(boxes, expected) << c.Name;
    EXPECT_TRUE(offers.empty()) << c.Name;
  }
  EXPECT_EQ(test::TempDir::Read(program), kOldProgram);
}

TEST_F(UpdateWindow, TheMenuCheckIsLoudAndOffWhileItRuns) {
  server.Set("/pub/ONDREL/Build.upd", Chunked({"100\r\n", "1.0.0.100\r\n"}, 300));
  ASSERT_TRUE(Enabled("aCheckUpdate"));
  ASSERT_TRUE(main->Action("aCheckUpdate")->Execute());
  EXPECT_TRUE(main->UpdateCheckRunning());
  EXPECT_FALSE(Enabled("aCheckUpdate"));
  EXPECT_FALSE(main->CheckForUpdates(false));  // one at a time
  Settle();
  EXPECT_EQ(boxes, std::vector<std::string>{Lang(leLatestVersion)});
  EXPECT_TRUE(Enabled("aCheckUpdate"));
}

TEST_F(UpdateWindow, OfferShowsTheVersionOnceAndTheNotes) {
  server.Set("/pub/ONDREL/Build.upd", Ok("101\r\nXXX 2\r\n"));
  offerAnswer = IDNO;
  ASSERT_TRUE(main->CheckForUpdates(true));
  Settle();
  EXPECT_EQ(offers, std::vector<std::string>{"A new version of the program available \"XXX 2\". Upgrade now?"});
  EXPECT_EQ(notes, "First line\r\nSecond line");
  // Declined: nothing downloaded, nothing said.
  EXPECT_TRUE(ExeRequests().empty());
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(test::TempDir::Read(program), kOldProgram);
}

TEST_F(UpdateWindow, ACancelledSaveQuestionKeepsTheSetAndDownloadsNothing) {
  server.Set("/pub/ONDREL/Build.upd", Ok(kNewer));
  server.Set("/pub/ONDREL/Ondrel.exe", Ok(Elf()));
  main->OpenConfig(dir.Write("single.zu", "{ \"a\": 1 }"));
  main->SetFileModified(0, true);
  boxAnswer = IDCANCEL;
  ASSERT_TRUE(main->CheckForUpdates(false));
  Settle();
  EXPECT_EQ(boxes, std::vector<std::string>{Lang(leSaveAllChanges)});
  EXPECT_TRUE(main->ConfigOpen());
  EXPECT_TRUE(ExeRequests().empty());
  EXPECT_FALSE(main->UpdateDownloading());
}

// A build made without a release key would refuse the download after the
// set had been closed for it: it says where the build is instead.
TEST_F(UpdateWindow, WithoutAKeyTheNewerBuildIsToldAndTheSetStaysOpen) {
  server.Set("/pub/ONDREL/Build.upd", Ok(kNewer));
  server.Set("/pub/ONDREL/Ondrel.exe", Ok(Elf()));
  main->UpdateTarget.Key.reset();
  main->OpenConfig(dir.Write("single.zu", "{ \"a\": 1 }"));
  main->SetFileModified(0, true);
  for (const bool silent : {true, false}) {
    boxes.clear();
    ASSERT_TRUE(main->CheckForUpdates(silent));
    Settle();
    EXPECT_EQ(boxes, std::vector<std::string>{UpdateNotInstallableText({101, "1.0.0.101"}, AboutSiteAddress)}) << silent;
    EXPECT_TRUE(offers.empty());
    EXPECT_TRUE(main->ConfigOpen());
    EXPECT_TRUE(main->IsModified());
    EXPECT_FALSE(main->UpdateDownloading());
    EXPECT_TRUE(Enabled("aCheckUpdate"));
  }
  EXPECT_TRUE(ExeRequests().empty());
  EXPECT_EQ(test::TempDir::Read(program), kOldProgram);

  // With a key, the same answer is offered as before.
  main->UpdateTarget.Key = keys.Public;
  offerAnswer = IDNO;
  boxes.clear();
  ASSERT_TRUE(main->CheckForUpdates(true));
  Settle();
  EXPECT_EQ(offers.size(), 1u);
  EXPECT_TRUE(boxes.empty());
}

// The build and the version each stand in their own place of the message, in
// both languages: the text as a whole, a build that differs from its version.
TEST_F(UpdateWindow, TheNewerBuildWithoutAKeyIsToldWholeInBothLanguages) {
  server.Set("/pub/ONDREL/Build.upd", Ok("205\r\n3.4.5.6\r\n"));
  main->UpdateTarget.Key.reset();
  const struct {
    int Language;
    const char* Text;
  } cases[] = {
      {LangRussian,
       "Вышла новая сборка программы: 205 (версия 3.4.5.6).\n\rЭта сборка собрана без ключа выпуска и не может "
       "сама устанавливать обновления. Новую сборку можно скачать на сайте программы:\n\rhttps://quarn.ru/"},
      {LangEnglish,
       "A new build of the program is out: 205 (version 3.4.5.6).\n\rThis build was made without a release key "
       "and cannot install updates itself. The new build can be downloaded from the program's website:\n\r"
       "https://quarn.ru/"},
  };
  for (const auto& c : cases) {
    main->Action(c.Language == LangRussian ? "aRUSLang" : "aENGLang")->Execute();
    boxes.clear();
    ASSERT_TRUE(main->CheckForUpdates(false));
    Settle();
    EXPECT_EQ(boxes, std::vector<std::string>{Utf8ToAnsi(c.Text)}) << c.Language;
  }
  main->Action("aENGLang")->Execute();
}

TEST_F(UpdateWindow, BadDownloadsSay127AndRenameNothing) {
  const std::string elf = Elf();
  const std::pair<const char*, TAnswer> cases[] = {
      {"empty", Ok("")},
      {"not found", {{"HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"}}},
      {"truncated", Truncated(elf.substr(0, elf.size() / 2))},
      {"not a program", Ok("MZ" + std::string(300, 'x'))},
      {"signed by nobody known", Ok(elf + "tampered")},
  };
  server.Set("/pub/ONDREL/Build.upd", Ok(kNewer));
  for (const auto& [name, answer] : cases) {
    server.Set("/pub/ONDREL/Ondrel.exe", answer);
    boxes.clear();
    main->SBar->Panels()->Items(spMessage)->SetText("before");
    ASSERT_TRUE(main->CheckForUpdates(false)) << name;
    Settle();
    ASSERT_EQ(boxes.size(), 1u) << name;
    // The entry, then why.
    EXPECT_EQ(boxes[0].rfind(Lang(leUpdateFailed) + "\n\n", 0), 0u) << name << ": " << boxes[0];
    EXPECT_GT(boxes[0].size(), Lang(leUpdateFailed).size() + 2) << name;
    EXPECT_EQ(test::TempDir::Read(program), kOldProgram) << name;
    EXPECT_FALSE(Exists("Ondrel.oldupdate")) << name;
    EXPECT_FALSE(Exists("Ondrel.newupdate")) << name;
    EXPECT_TRUE(started.empty()) << name;
    EXPECT_TRUE(main->GetVisible()) << name;
    EXPECT_FALSE(main->UpdateDownloading()) << name;
    EXPECT_TRUE(Enabled("aOpen")) << name;
    EXPECT_EQ(Status(), "before") << name;
  }
}

TEST_F(UpdateWindow, GoodDownloadReplacesTheProgramStartsItAndCloses) {
  const std::string elf = Elf();
  server.Set("/pub/ONDREL/Build.upd", Ok(kNewer));
  // Moved elsewhere, and sent in chunks without a length.
  server.Set("/pub/ONDREL/Ondrel.exe", Redirect("/files/Ondrel-101"));
  server.Set("/files/Ondrel-101", Chunked({elf.substr(0, 4000), elf.substr(4000, 4000), elf.substr(8000)}, 250));
  const std::string set = dir.Write("single.zu", "{ \"a\": 1 }");
  main->OpenConfig(set);
  ASSERT_TRUE(main->CheckForUpdates(true));
  std::vector<std::string> shown;
  bool actionsOff = true;
  bool watched = false;
  Settle([&] {
    if (!main->UpdateDownloading()) return;
    if (!watched) main->FilesDropped({set});  // refused while the download runs
    watched = true;
    EXPECT_FALSE(main->ConfigOpen());  // closed before the download
    actionsOff = actionsOff && !Enabled("aOpen") && !Enabled("aExit") && !Enabled("aCheckUpdate");
    const std::string status = Status();
    if (status.rfind("Download: ", 0) == 0 && (shown.empty() || shown.back() != status)) shown.push_back(status);
  });
  ASSERT_TRUE(watched);
  EXPECT_TRUE(actionsOff);
  // No size announced: the bytes received, never a share.
  ASSERT_FALSE(shown.empty());
  bool bytes = false;
  for (const auto& s : shown) {
    EXPECT_EQ(s.find('%'), std::string::npos) << s;
    bytes = bytes || (s.find(" bytes") != std::string::npos && s != "Download: 0 bytes");
  }
  EXPECT_TRUE(bytes);

  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(test::TempDir::Read(program), elf);
  EXPECT_EQ(test::TempDir::Read(dir / "Ondrel.oldupdate"), kOldProgram);
  EXPECT_FALSE(Exists("Ondrel.newupdate"));
  struct stat st;
  ASSERT_EQ(::stat(program.c_str(), &st), 0);
  EXPECT_NE(st.st_mode & S_IXUSR, 0u);
  EXPECT_EQ(started, std::vector<std::string>{program});
  EXPECT_TRUE(settingsBeforeStart);  // the new program reads this session's settings
  EXPECT_FALSE(main->GetVisible());  // closed after the start
}

TEST_F(UpdateWindow, AFailedStartKeepsTheWindowAndSaysWhy) {
  server.Set("/pub/ONDREL/Build.upd", Ok(kNewer));
  server.Set("/pub/ONDREL/Ondrel.exe", Ok(Elf()));
  startWorks = false;
  ASSERT_TRUE(main->CheckForUpdates(true));
  Settle();
  EXPECT_EQ(started, std::vector<std::string>{program});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind(Lang(leUpdateFailed), 0), 0u);
  EXPECT_NE(boxes[0].find("No such file or directory"), std::string::npos);
  EXPECT_TRUE(main->GetVisible());
  EXPECT_TRUE(Enabled("aOpen"));
}

TEST_F(UpdateWindow, WhatTheCheckSaysWaitsUntilTheSetIsOpen) {
  server.Set("/pub/ONDREL/Build.upd", Ok("100\r\n1.0.0.100\r\n"));
  ASSERT_TRUE(main->CheckForUpdates(false));
  // The set's own message comes while it opens; the check ends meanwhile and
  // its message arrives, but is held back.
  std::vector<std::string> duringOpening;
  Application()->MessageBoxHook = [&](const std::string& text, const std::string&, unsigned) {
    boxes.push_back(text);
    while (main->UpdateCheckRunning()) QApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::sendPostedEvents();
    QApplication::processEvents();
    duringOpening = boxes;
    return IDOK;
  };
  main->OpenConfig(dir / "missing.zu");
  ASSERT_EQ(duringOpening.size(), 1u);
  EXPECT_NE(duringOpening[0], Lang(leLatestVersion));
  Settle();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1], Lang(leLatestVersion));
}

TEST_F(UpdateWindow, ClosingTheWindowAbandonsARunningCheck) {
  server.Set("/pub/ONDREL/Build.upd", Chunked({"100\r\n", "1.0.0.100\r\n"}, 300));
  ASSERT_TRUE(main->CheckForUpdates(false));
  main.reset();
  QCoreApplication::sendPostedEvents();
  QApplication::processEvents();
  EXPECT_TRUE(boxes.empty());
}

// ---- the offer window ----------------------------------------------------------

TEST(UpdateOfferWindow, SizesFontsAndTexts) {
  SetCurrentLanguage(LangEnglish);
  TUpdMess offer(nullptr, "1.0.0.101", "Notes\r\nmore");
  EXPECT_EQ(offer.GetCaption(), "Ondrel");
  EXPECT_EQ(offer.Width(), 750);
  EXPECT_EQ(offer.Height(), 560);
  EXPECT_TRUE(offer.KeyPreview);
  EXPECT_EQ(offer.Widget()->minimumSize(), QSize(520, 340));
  // Only the system menu's button in the title bar.
  const Qt::WindowFlags flags = offer.Widget()->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(offer.lMessage->Width(), 410);
  EXPECT_GE(offer.lMessage->Height(), 32);  // taller when the question wraps
  EXPECT_EQ(offer.lMessage->Font.GetName(), "Segoe UI");
  EXPECT_EQ(offer.lMessage->Font.GetHeight(), -15);
  EXPECT_EQ(offer.mInfo->Font.GetName(), "Segoe UI");
  EXPECT_TRUE(offer.mInfo->GetReadOnly());
  EXPECT_EQ(offer.mInfo->GetText(), "Notes\r\nmore");
  EXPECT_EQ(offer.pTop->GetColor(), clWhite);
  EXPECT_EQ(offer.pBottom->Height(), 48);
  EXPECT_EQ(offer.pBottom->Top(), 560 - 48);
  EXPECT_EQ(offer.bYes->GetCaption(), Lang(leUpdateYes));
  EXPECT_EQ(offer.bNo->GetCaption(), Lang(leUpdateNo));
  for (TButton* b : {offer.bYes, offer.bNo}) {
    EXPECT_EQ(b->Width(), 105);
    EXPECT_EQ(b->Height(), 25);
  }
  EXPECT_EQ(offer.bYes->ModalResult, IDYES);
  EXPECT_EQ(offer.bNo->ModalResult, IDNO);
}

TEST(UpdateOfferWindow, TheWholeQuestionShowsInBothLanguages) {
  for (const int language : {LangRussian, LangEnglish}) {
    SetCurrentLanguage(language);
    for (const std::string version : {"1.0.0.2", "1.0.0.65535 (release candidate)"}) {
      TUpdMess offer(nullptr, version, "notes");
      auto* label = static_cast<QLabel*>(offer.lMessage->Widget());
      const QString text = label->text();
      ASSERT_TRUE(text.endsWith(language == LangEnglish ? "Upgrade now?" : QString::fromUtf8("Обновить?")));
      const QFontMetrics metrics(label->font());
      const QRect room(0, 0, offer.lMessage->Width(), offer.lMessage->Height());
      // One line that fits, or wrapped lines that all fit.
      const bool oneLine = metrics.horizontalAdvance(text) <= room.width();
      EXPECT_TRUE(oneLine || label->wordWrap()) << version;
      const QRect needed = metrics.boundingRect(room, Qt::TextWordWrap, text);
      EXPECT_LE(needed.height(), room.height()) << version;
      EXPECT_LE(needed.width(), room.width()) << version;
      // The notes begin below the question.
      EXPECT_GT(offer.mInfo->Top(), offer.lMessage->Top() + offer.lMessage->Height()) << version;
    }
  }
  SetCurrentLanguage(LangEnglish);
}

// The offer of the start-up check, shown for real (the window's own modal
// loop, reached from the queued call that waited while the set opened): its
// label and buttons are painted.
TEST(UpdateOfferWindow, TheStartUpOfferPaintsItsQuestionAndButtons) {
  SetCurrentLanguage(LangEnglish);
  const TSettingsVariables saved = Settings;
  Settings.system.options.autocheckupdate = true;
  test::TTestKeys keys;
  test::TLocalServer server;
  server.Set("/pub/ONDREL/Build.upd", Ok(kNewer));
  server.Set("/pub/ONDREL/UpdateInfo.txt", Ok("Notes of the new build"));
  test::TempDir dir;
  Application()->SetParams({dir.Write("single.zu", "{ \"a\": 1 }")});
  auto main = std::make_unique<TMain>(nullptr);
  main->SettingsFile = dir / "settings.ondrel";
  main->UpdateTarget.ServerUrl = server.Url();
  main->UpdateTarget.ProgramFile = dir.Write("Ondrel", kOldProgram);
  main->UpdateTarget.Build = 100;
  main->UpdateTarget.Key = keys.Public;
  main->SetBounds(0, 0, 1130, 675);
  bool configOpenAtOffer = false;
  QImage shot;
  QRect label, yes, no;
  main->ShowUpdateOffer = [&](TUpdMess& offer) {
    configOpenAtOffer = main->ConfigOpen();
    // Once the window is on the screen and its loop has run a while, the
    // screen's picture of it is taken and the offer declined.
    auto* poll = new QTimer(offer.Widget());
    int rounds = 0;
    QObject::connect(poll, &QTimer::timeout, [&, poll] {
      QWidget* w = offer.Widget();
      if (!w->isVisible() || !w->windowHandle() || !w->windowHandle()->isExposed() || ++rounds < 5) return;
      poll->stop();
      shot = QGuiApplication::primaryScreen()->grabWindow(w->winId()).toImage();
      const auto at = [&](TControl* c) { return QRect(c->Widget()->mapTo(w, QPoint(0, 0)), c->Widget()->size()); };
      label = at(offer.lMessage);
      yes = at(offer.bYes);
      no = at(offer.bNo);
      offer.bNo->Press();
    });
    poll->start(10);
    return offer.ShowModal();
  };
  main->ShowForm();
  for (int i = 0; i < 2000 && shot.isNull(); ++i) QApplication::processEvents(QEventLoop::AllEvents, 5);
  for (int i = 0; i < 20000 && main->UpdateCheckRunning(); ++i) QApplication::processEvents(QEventLoop::AllEvents, 5);
  main.reset();
  Application()->SetParams({});
  Settings = saved;

  EXPECT_TRUE(configOpenAtOffer);  // the offer waited for the set
  ASSERT_FALSE(shot.isNull());
  // Text on a white label; light button faces with dark captions.
  const auto count = [&](const QRect& r, auto pred) {
    int n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x <= r.right(); ++x) n += pred(QColor(shot.pixel(x, y))) ? 1 : 0;
    return n;
  };
  const auto light = [](const QColor& c) { return c.lightness() > 200; };
  const auto dark = [](const QColor& c) { return c.lightness() < 100; };
  for (const auto& [name, r] : {std::pair{"label", label}, std::pair{"Yes", yes}, std::pair{"No", no}}) {
    ASSERT_TRUE(shot.rect().contains(r)) << name;
    const int area = r.width() * r.height();
    EXPECT_GT(count(r, light), area / 2) << name;
    EXPECT_GT(count(r, dark), area / 100) << name;
  }
}

TEST(UpdateOfferWindow, NotesAndButtonsFollowTheWindowsEdges) {
  TUpdMess offer(nullptr, "1", "");
  const auto edges = [&] {
    return std::vector<int>{offer.pTop->Width() - offer.mInfo->Left() - offer.mInfo->Width(),
                            offer.pTop->Height() - offer.mInfo->Top() - offer.mInfo->Height(),
                            offer.pBottom->Width() - offer.bNo->Left(), offer.pBottom->Width() - offer.bYes->Left(),
                            offer.mInfo->Left(), offer.mInfo->Top()};
  };
  const std::vector<int> before = edges();
  offer.SetBounds(offer.Left(), offer.Top(), 600, 400);
  EXPECT_EQ(offer.pTop->Width(), 600);
  EXPECT_EQ(edges(), before);
  EXPECT_LT(offer.bYes->Left() + offer.bYes->Width(), offer.bNo->Left());
}

TEST(UpdateOfferWindow, EscapeDeclinesAndYesTakes) {
  {
    TUpdMess offer(nullptr, "1", "notes");
    QTimer::singleShot(0, [&] {
      QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(offer.mInfo->Widget(), &esc);
    });
    EXPECT_EQ(offer.ShowModal(), IDNO);
  }
  {
    TUpdMess offer(nullptr, "1", "notes");
    QTimer::singleShot(0, [&] { offer.bYes->Press(); });
    EXPECT_EQ(offer.ShowModal(), IDYES);
  }
  {
    TUpdMess offer(nullptr, "1", "notes");
    std::uint16_t key = 'A';
    offer.FormKeyDown(key, 0);
    EXPECT_EQ(key, 'A');  // other keys pass
  }
}

}  // namespace
}  // namespace ond
