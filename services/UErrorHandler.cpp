#include "services/UErrorHandler.h"

#include <cstdio>
#include <cstdlib>

#include "platform/core/CodePage.h"
#include "services/ULocalization.h"

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
}  // namespace

TErrorHandler::TErrorHandler(TSystemInfoProvider systemInfo)
    : LogFileName(ErrorLogFileName(Application()->ExeName())), Halt(EndProcess), FSystemInfo(std::move(systemInfo)) {
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
    program.Version = TApplication::Version();
    program.DebugMode = FDebugMode;
    program.HasDebugInfo = DebugInfoAvailable();
    program.DebugInfoName = program.Name;  // the debug information lives in the program file
    program.DebugInfoVersion = SymbolizerVersion();
    AddLogHeader(FLog, DateText(), FSystemInfo ? FSystemInfo() : TErrorLogSystemInfo{}, program);
  } else {
    app->OnException = nullptr;
    AddLogFooter(FLog, DateText());
    if (FDebugMode && FHasError) SaveLog();
  }
}

void TErrorHandler::SetDebugMode(bool value) {
  if (!value) {
    FDebugMode = false;
  } else if (DebugInfoAvailable()) {
    FDebugMode = true;
  } else {
    FDebugMode = false;
    Application()->MessageBox(Lang(leDebugLibraryFailed), kCaption, MB_OK | MB_ICONERROR);
  }
  if (FActive) {
    FLog.Add("*** Debug Mode " + std::string(BoolText(FDebugMode)) + " " + DateText() + " ***");
    FLog.Add("");
  }
}

TExceptionPlace TErrorHandler::PlaceOf(const std::exception& E) const {
  const auto* own = dynamic_cast<const Exception*>(&E);
  if (!own || !own->CallStack) return {};
  return PlaceOfStack(SymbolizeStack(*own->CallStack));
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
