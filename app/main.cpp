// Program start-up: the application object, the program-wide clipboard, the
// main window and its images; the event loop runs until the window closes.
// A failure that escapes the loop still reaches the application's exception
// hook (the error handler, while the main window keeps it running) before
// the window goes and the handler writes its log.
// A save past the process's file-size limit fails with the usual message
// instead of ending the program, from the first write on (the settings saved
// at exit included).
#include <exception>

#include "platform/Forms.h"
#include "platform/core/SafeFileWriter.h"
#include "platform/core/SysUtils.h"
#include "workspace/UMain.h"
#include "workspace/UMainDataModule.h"
#include "workspace/URusClipboard.h"

int main(int argc, char** argv) {
  ond::IgnoreFileSizeSignal();
  ond::TApplication app(argc, argv);
  ond::TMain* mainForm = nullptr;
  try {
    ond::InstallRusClipboard();
    app.Title = "Ondrel";
    mainForm = new ond::TMain(&app);
    app.MainForm = mainForm;
    ond::DMMain = new ond::TDMMain(&app);
    app.Run();
  } catch (const std::exception& e) {
    app.HandleException(nullptr, e);
  } catch (...) {
    app.HandleException(nullptr, ond::Exception("Unknown exception"));
  }
  delete mainForm;
  return 0;
}
