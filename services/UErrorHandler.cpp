#include "services/UErrorHandler.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/core/CodePage.h"
#include "platform/core/DownloadCheck.h"
#include "platform/core/FileSystem.h"
#include "services/UAbout.h"
#include "services/UDebugInfoLibrary.h"
#include "services/ULocalization.h"
#include "services/UThCheckUpdate.h"

namespace ond {

TErrorHandler* ErrorHandler = nullptr;

namespace {
const char* const kCaption = "Ondrel";
const char* BoolText(bool v) { return v ? "True" : "False"; }

// The process ends without running the window layer's teardown from inside
// one of its own event handlers; everything worth keeping is written by then.
void EndProcess() {
  std::fflush(nullptr);
  std::_Exit(1);
}

// The program's own version, or the one a library carries in its build
// note; "0.0.0.0" for a file without one (as the main window's reading of
// versions says).
std::string DefaultFileVersionText(const std::string& file) {
  if (SameFile(file, ProgramFileName())) return TApplication::Version();
  const auto v = ReadElfBuildNoteOfFile(file);
  if (!v) return "0.0.0.0";
  return IntToStr(v->Major) + "." + IntToStr(v->Minor) + "." + IntToStr(v->Release) + "." + IntToStr(v->Build);
}

std::uint16_t DefaultFileBuild(const std::string& file) {
  const std::string text = DefaultFileVersionText(file);
  return static_cast<std::uint16_t>(StrToIntDef(text.substr(text.rfind('.') + 1), 0));
}

bool FileExists(const std::string& file) { return !file.empty() && ::access(file.c_str(), F_OK) == 0; }
}  // namespace

TErrorHandler::TErrorHandler(TSystemInfoProvider systemInfo, TStatusPanelText statusPanel)
    : LogFileName(ErrorLogFileName(Application()->ExeName())),
      DebugInfoPath(ProgramFolder() + DebugInfoFileName),
      ServerUrl(UpdateServerUrl()),
      SigningKey(ReleaseSigningKey()),
      DownloadLimits(UpdateTransferLimits),
      FileVersionText(DefaultFileVersionText),
      FileBuild(DefaultFileBuild),
      Halt(EndProcess),
      FSystemInfo(std::move(systemInfo)),
      FStatusPanel(std::move(statusPanel)) {
  if (!ErrorHandler) ErrorHandler = this;
}

TErrorHandler::~TErrorHandler() {
  try {
    if (FActive) SetActive(false);
  } catch (const std::exception& e) {
    // The log could not be written: the user hears why, in the plain box
    // of the application, since the hook is gone.
    try {
      Application()->ShowException(e);
    } catch (...) {
    }
  } catch (...) {
  }
  if (ErrorHandler == this) ErrorHandler = nullptr;
}

void TErrorHandler::SetActive(bool value) {
  if (value == FActive) return;
  FActive = value;
  TApplication* app = Application();
  if (value) {
    app->OnException = [this](TObject* sender, const std::exception& e) { HandleException(sender, e); };
    TErrorLogProgramInfo program;
    program.Name = Utf8ToAnsi(app->ExeName());
    program.Version = FileVersionText(app->ExeName());
    program.DebugMode = FDebugMode;
    const std::string library = GetDebugInfoPath();
    program.HasDebugInfo = FileExists(library);
    if (program.HasDebugInfo) {
      program.DebugInfoName = Utf8ToAnsi(library);
      program.DebugInfoVersion = FileVersionText(library);
    }
    AddLogHeader(FLog, DateText(), FSystemInfo ? FSystemInfo() : TErrorLogSystemInfo{}, program);
  } else {
    app->OnException = nullptr;
    AddLogFooter(FLog, DateText());
    if (FDebugMode && FHasError) SaveLog();
  }
}

bool TErrorHandler::IsDebugInfoCurrent() const {
  const std::string library = GetDebugInfoPath();
  return FileExists(library) && FileVersionText(library) == FileVersionText(Application()->ExeName());
}

void TErrorHandler::SetDebugMode(bool value) {
  if (!value) {
    FDebugMode = false;
  } else if (IsDebugInfoCurrent()) {
    FDebugMode = true;
  } else if (!SigningKey) {
    // The download would be refused: the user hears where to get the
    // library instead of being offered it.
    Application()->MessageBox(LangFill(leDebugLibraryNotInstallable, {AboutSiteAddress}), kCaption,
                              MB_OK | MB_ICONINFORMATION);
    FDebugMode = false;
  } else if (Application()->MessageBox(Lang(leDebugLibraryOffer), kCaption, MB_YESNO | MB_ICONQUESTION) == IDYES) {
    FDebugMode = DownloadDebugInfo();
  } else {
    FDebugMode = false;
  }
  if (FActive) {
    FLog.Add("*** Debug Mode " + std::string(BoolText(FDebugMode)) + " " + DateText() + " ***");
    FLog.Add("");
  }
}

TExceptionPlace TErrorHandler::PlaceOf(const std::exception& E) const {
  const auto* own = dynamic_cast<const Exception*>(&E);
  if (!own || !own->CallStack) return {};
  // Loaded for this exception only: a library replaced meanwhile is the one
  // asked, and none stays in the program between errors.
  const TDebugInfoLibrary library(GetDebugInfoPath());
  return PlaceOfStack(FramesOfStack(*own->CallStack), library);
}

void TErrorHandler::HandleException(TObject*, const std::exception& E) noexcept {
  bool halt = false;
  try {
    const std::string raw = E.what();
    if (raw == HaltMessage) {
      halt = true;
    } else {
      FHasError = true;
      const TExceptionMessage message = SplitExceptionMessage(raw);
      const TExceptionPlace place = PlaceOf(E);
      AddLogRecord(FLog, DateText(), message, ExceptionClassName(E), place);
      // The flag of the message decides nothing; debug mode and the user do.
      if (FDebugMode)
        halt = Application()->MessageBox(ErrorBoxText(message, place), kCaption, MB_YESNO | MB_ICONERROR) == IDYES;
    }
  } catch (...) {
    halt = true;
    try {
      FLog.Add("*** Raise in Error handler ***");
      FLog.Add("");
    } catch (...) {
      // Not even the line fits; the halt still saves what there is.
    }
  }
  if (halt) HaltProgram();
}

void TErrorHandler::HaltProgram() noexcept {
  // The log is written before the program ends, so a halt never loses it.
  try {
    SetActive(false);
  } catch (...) {
  }
  try {
    if (PreHalt) PreHalt();
  } catch (...) {
  }
  if (Halt) Halt();
}

void TErrorHandler::SaveLog() { AppendLogToFile(FLog, LogFileName); }

}  // namespace ond
