// The main window's part of the update: it starts the check, shows what the
// check thread hands over (messages, the offer, the download's progress in
// the status bar) and, once the new program is in place, starts it and
// closes itself.
#include "platform/Forms.h"
#include "platform/core/CodePage.h"
#include "services/UAbout.h"
#include "services/ULocalization.h"
#include "services/UThCheckUpdate.h"
#include "workspace/StatusPanels.h"
#include "workspace/UMain.h"
#include "workspace/UUpdMessage.h"

namespace ond {

bool TMain::CheckForUpdates(bool silent) {
  if (!FUpdateCheck) {
    TThCheckUpd::TEvents events;
    events.Queue = [](std::function<void()> call) { Application()->Queue(std::move(call)); };
    events.OnMessage = [](int entry) { Application()->MessageBox(Lang(entry), "Ondrel", MB_OK); };
    events.OnOffer = [this](const TCheckOutcome& outcome) { return ShowUpdateDialog(outcome); };
    events.OnCannotInstall = [](const TCheckOutcome& outcome) {
      Application()->MessageBox(UpdateNotInstallableText(outcome.Server, AboutSiteAddress), "Ondrel", MB_OK);
    };
    events.OnWorkBegin = [this](std::int64_t expected) { HttpWorkBegin(expected); };
    events.OnWork = [this](std::int64_t received) { HttpWork(received); };
    events.OnWorkEnd = [this] { HttpWorkEnd(); };
    events.OnDownloaded = [this](const TDownloadResult& result) { UpdateDownloaded(result); };
    // A set that opens runs queued calls from inside; the offer would close it
    // half opened.
    events.Busy = [this] { return FOpening; };
    FUpdateCheck = std::make_unique<TThCheckUpd>(std::move(events));
  }
  if (FUpdateCheck->Running()) return false;
  FUpdateFile = UpdateTarget.ProgramFile;
  const bool started = FUpdateCheck->Start(silent, UpdateTarget);
  Application()->UpdateActions();
  return started;
}

bool TMain::UpdateCheckRunning() const { return FUpdateCheck && FUpdateCheck->Running(); }

bool TMain::ShowUpdateDialog(const TCheckOutcome& outcome) {
  TUpdMess offer(Application(), outcome.Server.Version, outcome.UpdateInfo);
  const int answer = ShowUpdateOffer ? ShowUpdateOffer(offer) : offer.ShowModal();
  if (answer != IDYES) return false;
  // The set is closed first, so that nothing unsaved is lost with the program.
  if (ConfigOpen() && !CloseConfig()) return false;
  FUpdateDownloading = true;
  Application()->UpdateActions();
  return true;
}

void TMain::HttpWorkBegin(std::int64_t expected) {
  TStatusPanelEx* panel = SBar->Panels()->Items(spMessage);
  FStatusBeforeDownload = panel->GetText();
  FDownloadExpected = expected;
  panel->SetText(DownloadProgressText(expected, 0));
}

void TMain::HttpWork(std::int64_t received) {
  SBar->Panels()->Items(spMessage)->SetText(DownloadProgressText(FDownloadExpected, received));
}

void TMain::HttpWorkEnd() { SBar->Panels()->Items(spMessage)->SetText(FStatusBeforeDownload); }

void TMain::UpdateDownloaded(const TDownloadResult& result) {
  FUpdateDownloading = false;
  if (result.Entry < 0) {
    // The new program reads the settings as it starts: they are written
    // first, so that it sees this session's choices.
    if (FSettings) FSettings->SaveSettings();
    std::string reason;
    // Closing comes only after the new program runs: a failed start leaves
    // this one open to say so.
    if (StartNewProgram(FUpdateFile, reason)) {
      Close();
      return;
    }
    Application()->UpdateActions();
    Application()->MessageBox(Lang(leUpdateFailed) + "\n\n" + Utf8ToAnsi(FUpdateFile) + "\n" + reason,
                              "Ondrel", MB_OK);
    return;
  }
  Application()->UpdateActions();
  std::string text = Lang(result.Entry);
  if (!result.Reason.empty()) text += "\n\n" + result.Reason;
  Application()->MessageBox(text, "Ondrel", MB_OK);
}

}  // namespace ond
