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

bool TConfigPrompter::WriteInPlaceWithoutCopy(const std::string&, const std::string&, const std::string&) {
  return false;
}

bool TConfigPrompter::SaveZeroBytes(const std::string&) { return false; }

std::string LeftCopyText(const std::string& fileName, const std::string& copyName, std::size_t olderCopies) {
  std::string text = LangFill(leLeftCopyFound, {Utf8ToAnsi(fileName), Utf8ToAnsi(copyName)});
  if (olderCopies > 0) text += "\n\r" + LangFill(leLeftCopiesOlder, {IntToStr(static_cast<long long>(olderCopies))});
  return text;
}

void TConfigPrompter::TellLeftCopy(const std::string& fileName, const std::string& copyName, std::size_t olderCopies) {
  ShowError(LeftCopyText(fileName, copyName, olderCopies));
}

std::string WriteFailureText(const TWriteResult& r) {
  // A reason of our own making (no system error behind it) is told as it is.
  if (r.Error == 0 && !r.NotRegular) return r.Reason;
  const int entry = r.Subject == TWriteSubject::Backup ? leCannotMakeBackup : leCannotWriteFile;
  std::string text = LangFill(entry, {Utf8ToAnsi(r.SubjectName)}) + " " +
                     (r.NotRegular ? Lang(leNotRegularFile) : SystemErrorText(r.Error));
  const std::string restored = InPlaceRestoreText(r);
  if (!restored.empty()) text += "\n\r" + restored;
  return text;
}

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

bool TMessageBoxPrompter::WriteInPlaceWithoutCopy(const std::string& fileName, const std::string& folder,
                                                  const std::string& reason) {
  // Without a state folder there is no folder to name, nor a system's reason.
  if (folder.empty()) return AskYes(LangFill(leInPlaceNoStateFolder, {Utf8ToAnsi(fileName)}));
  return AskYes(LangFill(leInPlaceWithoutCopy, {Utf8ToAnsi(fileName), Utf8ToAnsi(folder), reason}));
}

void TMessageBoxPrompter::TellLeftCopy(const std::string& fileName, const std::string& copyName,
                                       std::size_t olderCopies) {
  Application()->MessageBox(LeftCopyText(fileName, copyName, olderCopies), "Ondrel", MB_OK | MB_ICONWARNING);
}

bool TMessageBoxPrompter::SaveZeroBytes(const std::string& fileName) {
  const std::string action = LangMenuPath({leView, leCodePage, leFileUnicode});
  return AskYes(LangFill(leZeroBytesSave, {Utf8ToAnsi(fileName), action}));
}

}  // namespace ond
