// Program start-up: the application object, the program-wide clipboard, the
// main window and its images; the event loop runs until the window closes.
#include "platform/Forms.h"
#include "workspace/UMain.h"
#include "workspace/UMainDataModule.h"
#include "workspace/URusClipboard.h"

int main(int argc, char** argv) {
  ond::TApplication app(argc, argv);
  ond::InstallRusClipboard();
  app.Title = "Ondrel";
  auto* mainForm = new ond::TMain(&app);
  app.MainForm = mainForm;
  ond::DMMain = new ond::TDMMain(&app);
  app.Run();
  delete mainForm;
  return 0;
}
