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

void TConfigPrompter::TellLeftCopy(const std::string& fileName, const std::string& copyName) {
  ShowError(LangFill(leLeftCopyFound, {Utf8ToAnsi(fileName), Utf8ToAnsi(copyName)}));
}

std::string WriteFailureText(const TWriteResult& r) {
  // A reason of our own making (no system error behind it) is told as it is.
  if (r.Error == 0 && !r.NotRegular) return r.Reason;
  const int entry = r.Subject == TWriteSubject::Backup ? leCannotMakeBackup : leCannotWriteFile;
  std::string text = LangFill(entry, {Utf8ToAnsi(r.SubjectName)}) + " " +
                     (r.NotRegular ? Lang(leNotRegularFile) : SystemErrorText(r.Error));
  switch (r.Restore) {
    case TInPlaceRestore::None:
      break;
    case TInPlaceRestore::PutBack:
      text += "\n\r" + Lang(leOldTextPutBack);
      break;
    case TInPlaceRestore::KeptInCopy:
      text += "\n\r" + LangFill(leOldTextKeptIn, {Utf8ToAnsi(r.SafetyCopy)});
      break;
    case TInPlaceRestore::Damaged:
      text += "\n\r" + Lang(leFileWrittenInPart);
      break;
  }
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
  return AskYes(LangFill(leInPlaceWithoutCopy, {Utf8ToAnsi(fileName), Utf8ToAnsi(folder), reason}));
}

void TMessageBoxPrompter::TellLeftCopy(const std::string& fileName, const std::string& copyName) {
  Application()->MessageBox(LangFill(leLeftCopyFound, {Utf8ToAnsi(fileName), Utf8ToAnsi(copyName)}), "Ondrel",
                            MB_OK | MB_ICONWARNING);
}

bool TMessageBoxPrompter::SaveZeroBytes(const std::string& fileName) {
  const std::string action = LangMenuPath({leView, leCodePage, leFileUnicode});
  return AskYes(LangFill(leZeroBytesSave, {Utf8ToAnsi(fileName), action}));
}

}  // namespace ond
