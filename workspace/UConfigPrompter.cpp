#include "workspace/UConfigPrompter.h"

#include "platform/Forms.h"
#include "platform/core/CodePage.h"
#include "platform/core/SysUtils.h"
#include "services/ULocalization.h"

namespace ond {

namespace {

bool AskYes(const std::string& question) {
  return Application()->MessageBox(question, "Ondrel", MB_YESNO | MB_ICONWARNING) == IDYES;
}

}  // namespace

bool TMessageBoxPrompter::OverwriteChangedFile(const std::string& fileName, bool gone) {
  return AskYes(LangFill(gone ? leDeletedOnDisk : leChangedOnDisk, {Utf8ToAnsi(fileName)}));
}

bool TMessageBoxPrompter::SaveWithoutBackup(const std::string& backupName, const std::string& reason) {
  (void)backupName;  // the reason names it
  return AskYes(LangFill(leBackupFailed, {reason}));
}

bool TMessageBoxPrompter::SaveLossy(const std::string& fileName, std::size_t count) {
  return AskYes(LangFill(leLossySave, {IntToStr(static_cast<long long>(count)), Utf8ToAnsi(fileName)}));
}

void TMessageBoxPrompter::ShowError(const std::string& message) {
  Application()->MessageBox(message, "Ondrel", MB_OK | MB_ICONERROR);
}

}  // namespace ond
