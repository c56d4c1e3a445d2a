#include "workspace/UMain.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "highlight/OndBuiltinSchemes.h"
#include "platform/ToolkitLanguage.h"
#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "platform/core/ScopeGuard.h"
#include "platform/core/SysUtils.h"
#include "workspace/Compatibility.h"
#include "services/UErrorHandler.h"
#include "services/ULocalization.h"
#include "services/USystem.h"
#include "workspace/Encodings.h"
#include "workspace/UErrorLogInfo.h"
#include "workspace/StatusPanels.h"
#include "workspace/UWorldOfTanksInfo.h"

namespace ond {

namespace {
constexpr int kPanelWidths[6] = {200, 50, 100, 140, 100, 50};
}  // namespace

// ---- window -----------------------------------------------------------------

TMain::TMain(TComponent* owner) : TForm(owner) {
  Name = "Main";
  SetBounds(0, 0, 1130, 675);
  SetMinimumSize(800, 300);
  CreateControls();
  CreateActions();
  // What the window does once created; the error handler first, so that it
  // sees every failure from here on.
  FErrorHandler = std::make_unique<TErrorHandler>(
      ReadErrorLogSystemInfo,
      TStatusPanelText{[this] { return SBar->Panels()->Items(spMessage)->GetText(); },
                       [this](const std::string& text) { SBar->Panels()->Items(spMessage)->Tell(LangBound(text)); }});
  FErrorHandler->FileVersionText = GetFileVersionText;
  FErrorHandler->FileBuild = GetFileBuild;
  FErrorHandler->SetActive(true);
  InstallBuiltinResourceLookup();
  SetCaption("Ondrel");
  ApplyTreeSettings();
  ApplyLanguage();
  DragAcceptFiles(true);
  OnDropFiles = [this](TObject*, const std::vector<std::string>& files, TPoint) { FilesDropped(files); };
  CenterHelp();
  pScrollBox->SetBounds(0, 0, pMain->Width(), pMain->Height());
  pScrollBox->SetAlign(TAlign::alClient);
  SBar->Panels()->Items(spEncoding)->SetPopupMenu(pmSBar);
  tvOpenFiles->SetPopupMenu(pmOpenFiles);
  OnShow = [this](TObject*) { FormShow(); };
  OnClose = [this](TObject*, TCloseAction&) { FormClose(); };
  SettingsFile = SettingsFileLocation(ProgramFolder());
  OnCloseQuery = [this](TObject*, bool& canClose) { canClose = !FOpening && (!ConfigOpen() || CloseConfig()); };
  // The update replaces this very file, found by its full path: a bare name
  // would be looked up in whatever folder is current.
  UpdateTarget.ServerUrl = UpdateServerUrl();
  UpdateTarget.ProgramFile = Application()->ExeName();
  UpdateTarget.Build = GetFileBuild(UpdateTarget.ProgramFile);
  CenterOnScreen();
}

TMain::~TMain() {
  BeginDestroy();
  // A check still running is abandoned; its thread ends before the window.
  FUpdateCheck.reset();
  FConfig.reset();
  // Stopping writes the log (in debug mode, after an error).
  FErrorHandler.reset();
}

void TMain::CreateControls() {
  MainMenu = new TActionMenuBar(this);
  MainMenu->Name = "MainMenu";
  MainMenu->SetParent(this);

  SBar = new TStatusBarEx(this);
  SBar->Name = "SBar";
  for (int i = 0; i < StatusPanelCount; ++i) {
    TStatusPanelEx* p = SBar->Panels()->Add();
    p->SetWidth(kPanelWidths[i]);
    if (i >= 1 && i <= 4) p->SetAlignment(TAlignment::taCenter);
  }
  SBar->SetParent(this);

  tvOpenFiles = new TCheckTreeViewEx(this);
  tvOpenFiles->Name = "tvOpenFiles";
  tvOpenFiles->SetWidth(Settings.interface.view.fileslist.width);
  tvOpenFiles->SetAlign(TAlign::alRight);
  tvOpenFiles->SetIndent(22);
  tvOpenFiles->CascadeChecks = false;
  tvOpenFiles->SetParent(this);

  VMainSplitter = new TSplitter(this);
  VMainSplitter->Name = "VMainSplitter";
  VMainSplitter->SetAlign(TAlign::alRight);
  VMainSplitter->SetWidth(2);
  VMainSplitter->MinSize = 3;
  VMainSplitter->SetParent(this);
  // From here on a resize of the window fits the list (both controls exist).
  FWantedTreeWidth = Settings.interface.view.fileslist.width;

  pExternal = new TPanel(this);
  pExternal->Name = "pExternal";
  pExternal->BevelOuter = TBevelCut::bvNone;
  pExternal->SetAlign(TAlign::alClient);
  pExternal->SetParent(this);

  VSBMain = new TScrollBar(this, TScrollBarKind::sbVertical);
  VSBMain->Name = "VSBMain";
  VSBMain->SetWidth(21);
  VSBMain->SetAlign(TAlign::alRight);
  VSBMain->SetParams(0, 0, 0);
  VSBMain->SetSmallChange(25);
  VSBMain->SetLargeChange(100);
  VSBMain->SetVisible(false);
  VSBMain->SetParent(pExternal);

  pMain = new TPanel(this);
  pMain->Name = "pMain";
  pMain->BevelOuter = TBevelCut::bvNone;
  pMain->SetColor(clGray);
  pMain->SetAlign(TAlign::alClient);
  pMain->SetParent(pExternal);

  lMainHelp = new TLabel(this);
  lMainHelp->Name = "lMainHelp";
  lMainHelp->SetTransparent(true);
  lMainHelp->SetParent(pMain);

  pScrollBox = new TScrollBox(this);
  pScrollBox->Name = "pScrollBox";
  pScrollBox->SetBorderStyle(TBorderStyle::bsNone);
  pScrollBox->SetColor(clWhite);
  pScrollBox->SetVisible(false);
  pScrollBox->SetParent(pMain);

  dlgZuOpen = new TOpenDialog(this);
  dlgZuOpen->Filter =
      "Quarn-Config All Files (*.zu, *.quarnconf)|*.zu;*.quarnconf|Quarn-Config 4.0.0 Main File (@quarn.zu)|@quarn.zu|"
      "Quarn-Config 4.0.0 Simple File (*.zu)|*.zu|Quarn-Config 3.5.0 (*.quarnconf)|*.quarnconf|All Files (*.*)|*.*";
  dlgZuSave = new TSaveDialog(this);
  dlgZuSave->DefaultExt = "zu";
  dlgZuSave->Filter = "Quarn-Config 4.0.0 Simple File (*.zu)|*.zu|Quarn-Config 3.5.0 (*.quarnconf)|*.quarnconf";
  pmSBar = new TPopupMenu(this);
  pmEditors = new TPopupMenu(this);
  // A right click makes its panel the active one before the menu shows, as a
  // left click does, so the menu's entries speak of the panel clicked.
  pmEditors->OnPopup = [this](TObject*) {
    if (TEditors* editors = Editors())
      for (auto& panel : editors->Items)
        if (panel && panel->Editor == pmEditors->PopupComponent) {
          panel->EditorClick();
          break;
        }
  };
  pmOpenFiles = new TPopupMenu(this);

  trDelUpdate = new TTimer(this);
  trDelUpdate->OnTimer = [this](TObject*) { DeleteOldUpdate(); };
  trCompleteConfigInterface = new TTimer(this);
  trCompleteConfigInterface->SetEnabled(false);
  trCompleteConfigInterface->SetInterval(10);
  trCompleteConfigInterface->OnTimer = [this](TObject*) { CompleteConfigInterface(); };

  // Layout reactions.
  pMain->OnResize = [this](TObject*) { CenterHelp(); };
  pScrollBox->OnResize = [this](TObject*) {
    const int newHeight = pScrollBox->ClientHeight();
    TEditors* editors = Editors();
    if (editors && editors->VisibleCount > 1 && !editors->Resizing) {
      editors->SetWidth(pScrollBox->ClientWidth());
      TStackLayout layout = editors->Layout();
      layout.ViewHeight = FViewHeight;
      layout.BeforeResize(newHeight);
      layout.AfterResize();
      editors->ApplyLayout(layout);
    }
    FViewHeight = newHeight;
  };
  VMainSplitter->OnCanResize = [this](TObject*, int& newSize, bool& accept) {
    accept = TreeWidthAllowed(newSize, ClientWidth(), VMainSplitter->Width());
  };
  VMainSplitter->OnMoved = [this](TObject*) {
    FWantedTreeWidth = tvOpenFiles->Width();
    Settings.interface.view.fileslist.width = FWantedTreeWidth;
  };
  VSBMain->OnScroll = [this](TObject*, TScrollCode, int& pos) {
    if (TEditors* editors = Editors()) {
      TStackLayout layout = editors->Layout();
      layout.ScrollTo(pos);
      editors->ApplyLayout(layout);
    }
    pScrollBox->Invalidate();
  };
  VSBMain->OnChange = [this](TObject*) {
    if (pScrollBox->GetVisible() && !pScrollBox->Focused()) pScrollBox->SetFocus();
  };

  // The files tree.
  tvOpenFiles->OnMouseDown = [this](TObject*, TMouseButton button, TShiftState, int x, int y) {
    TreeMouseDown(button, x, y);
  };
  tvOpenFiles->OnDblClick = [this](TObject*) { TreeDblClick(); };
  tvOpenFiles->OnStateChanging = [this](TObject*, TTreeNode* node, bool& allow) { TreeStateChanging(node, allow); };
  tvOpenFiles->OnStateChange = [this](TObject*, TTreeNode* node) { TreeStateChange(node); };
  tvOpenFiles->OnCustomDrawItem = [this](TObject*, TTreeNode* node, TCustomDrawState state, bool&) {
    const int i = node->AbsoluteIndex();
    TFont& font = tvOpenFiles->Canvas()->Font;
    if (FileModified(i)) font.SetStyle(fsBold);
    if (state & cdsSelected) return;  // the selection keeps the tree's own colours
    const TZuConfigInformation* info = Config();
    if (info && i >= 0 && i < info->Count && info->Files[static_cast<std::size_t>(i)]->Missing && !FileModified(i))
      font.SetColor(clRed);
    if (i == ActiveIndex()) font.SetColor(clBlue);
  };
}

std::string TMain::VersionText() const { return TApplication::Version(); }

void TMain::ApplyLanguage() {
  // The toolkit's own texts (message-box buttons, file dialogs) speak the
  // same language as the program's.
  SetToolkitRussian(CurrentLanguage() == LangRussian);
  lMainHelp->SetCaption(Lang(leMainHelp));
  CenterHelp();
  std::string caption = "Ondrel " + VersionText();
  if (Settings.system.options.debugmod) caption += " [" + Lang(leTestMode) + "]";
  SetCaption(caption);
  // The captions follow at once, the menu bar's titles with them.
  Application()->UpdateActions();
  MainMenu->Rebuild();
  TEditor* active = Editors() ? Editors()->Active() : nullptr;
  if (active)
    SBar->Panels()->Items(spEditMode)->SetText(LangEditMode(active->Editor->GetInsertMode() ? EditModeInsert
                                                                                           : EditModeOverwrite));
  // A message told since is told again in the new language, or cleared when
  // it holds words that cannot be.
  TStatusPanelEx* message = SBar->Panels()->Items(spMessage);
  const bool retold = message->Retell();
  // The active panel's file and marks, while nothing else was told since.
  if (!retold && active && !active->FileStatusTold.empty() && message->GetText() == active->FileStatusTold) {
    active->FileStatusTold = active->FileStatusText();
    message->SetText(active->FileStatusTold);
  }
  // The file state shown stays what it was, told in the new language.
  TStatusPanelEx* fileState = SBar->Panels()->Items(spFileState);
  for (const int entry : {leModified, leFileNotFound})
    for (int language = 0; language < LanguageCount; ++language)
      if (fileState->GetText() == LangText(entry, language)) fileState->SetText(Lang(entry));
  // The marks in the panels' captions (characters lost in reading, a file
  // that could not be read) too.
  if (TEditors* editors = Editors())
    for (auto& panel : editors->Items)
      if (panel) panel->UpdateHeader();
}

void TMain::SetSyntaxScheme(int index) {
  TEditors* editors = Editors();
  if (!editors) return;
  for (auto& panel : editors->Items)
    if (panel) panel->SetSyntaxScheme(index);
}

void TMain::SetCodeFolding(bool enabled) {
  TEditors* editors = Editors();
  if (!editors || Settings.interface.view.syntax.scheme < 0) return;
  for (auto& panel : editors->Items) {
    if (!panel || panel->Editor->CodeFolding().GetEnabled() == enabled) continue;
    panel->Editor->CodeFolding().SetEnabled(enabled);  // off expands and forgets the ranges
    if (enabled) panel->Editor->RescanFoldRanges();
  }
}

void TMain::CenterHelp() {
  lMainHelp->SetBounds(static_cast<int>(Round((pMain->Width() - lMainHelp->Width()) / 2.0)),
                       static_cast<int>(Round((pMain->Height() - lMainHelp->Height()) / 2.0)), lMainHelp->Width(),
                       lMainHelp->Height());
}

bool TMain::FileShown(int index) const {
  const TEditor* e = FConfig ? FConfig->Panel(index) : nullptr;
  return e && e->Shown;
}
bool TMain::FileModified(int index) const {
  const TEditor* e = FConfig ? FConfig->Panel(index) : nullptr;
  return e && e->Modified;
}
void TMain::SetFileModified(int index, bool modified) {
  if (TEditor* e = FConfig ? FConfig->Panel(index) : nullptr) e->SetModified(modified);
  tvOpenFiles->Invalidate();
}
bool TMain::IsModified() const { return Editors() && Editors()->Modified; }
int TMain::ActiveIndex() const { return Editors() ? Editors()->ActiveIndex : -1; }
void TMain::SetActiveIndex(int index) {
  if (TEditors* editors = Editors()) {
    if (TEditor* e = editors->Item(index))
      e->SetActive(true);
    else if (TEditor* a = editors->Active())
      a->SetActive(false);
  }
  tvOpenFiles->Invalidate();
}

bool TMain::IsConfigFileName(const std::string& fileName) {
  const std::string ext = ExtractFileExt(fileName);
  return SameText(ext, ".zu") || SameText(ext, ".quarnconf");
}

void TMain::OpenConfig(const std::string& fileName) {
  FConfig.reset();
  tvOpenFiles->Items()->Clear();
  FViewHeight = pScrollBox->ClientHeight();
  FConfig = std::make_unique<TZuConfig>();
  FConfig->Prompter = &FPrompter;
  FConfig->OnProgress = [this](int done, int count) { ShowOpeningProgress(done, count); };
  // A discovery that stopped early still opens what it listed; a root that
  // cannot be read was told and opens nothing.
  bool rootMissing = false;
  {
    FOpening = true;
    const TScopeExit opened([this] {
      FOpening = false;
      // What the update check held back meanwhile comes once the set is open.
      if (FUpdateCheck) FUpdateCheck->ResumeHeld();
    });
    FConfig->LoadConfig(fileName, pScrollBox, pmEditors, VSBMain, SBar, tvOpenFiles);
    // Discovery lists a root that is not there as missing; a set of nothing
    // is no set to edit, so the user is told why (while the set still counts
    // as opening, like every other message of opening) and nothing opens.
    rootMissing = FConfig->Information && FConfig->Information->Count > 0 && FConfig->Information->Files[0]->Missing;
    if (rootMissing) {
      FConfig.reset();
      tvOpenFiles->Items()->Clear();
      TellRootMissing(fileName);
    }
  }
  if (rootMissing) return;
  FConfig->OnProgress = nullptr;
  if (FConfig->RootUnreadable()) {
    FConfig.reset();
    tvOpenFiles->Items()->Clear();
    return;
  }
  TEditors* editors = FConfig->Editors.get();
  editors->MainForm = this;
  editors->OnScrollToEditor = [this](int index) { ScrollToEditor(index); };
  lMainHelp->Hide();
  editors->Show();
}

void TMain::TellRootMissing(const std::string& fileName) {
  // The system's words for why no file stands under the name.
  int reason = ENOENT;
  struct stat st {};
  if (!PathHasNul(fileName)) {
    if (::stat(fileName.c_str(), &st) != 0)
      reason = errno;
    else if (S_ISDIR(st.st_mode))
      reason = EISDIR;
  }
  auto message = [fileName, reason] {
    return Lang(leReadFailed) + "\n" + Lang(leFileNotFound) + ": " + Utf8ToAnsi(fileName) + "\n" +
           SystemErrorText(reason);
  };
  SBar->Panels()->Items(spMessage)->Tell(message);
  Application()->MessageBox(message(), "Ondrel", MB_OK | MB_ICONERROR);
}

void TMain::ShowOpeningProgress(int done, int count) {
  if (done >= count) {
    // The end: what loading has to tell takes the message panel.
    SBar->Panels()->Items(spMessage)->SetText("");
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  if (done > 1 && now - FProgressShown < OpeningProgressInterval) return;
  // The stack shows from the first panel on; the tree shows every file
  // listed so far.
  lMainHelp->Hide();
  pScrollBox->Show();
  tvOpenFiles->FullExpand();
  SBar->Panels()->Items(spMessage)->SetText(LangFill(leOpeningFiles, {IntToStr(done), IntToStr(count)}));
  // The tree holds its repaints while it fills; it shows what it has now.
  TTreeNodes* nodes = tvOpenFiles->Items();
  nodes->EndUpdate();
  Application()->ProcessMessagesExceptInput();
  nodes->BeginUpdate();
  FProgressShown = std::chrono::steady_clock::now();
}

void TMain::HideStack() {
  if (TEditors* editors = Editors())
    editors->Hide();
  else
    pScrollBox->Hide();
  VSBMain->Hide();
  tvOpenFiles->Items()->Clear();
  lMainHelp->Show();
  CenterHelp();
}

std::vector<std::string> TMain::SaveAll() {
  if (!FConfig) return {};
  FConfig->SaveAll(false);
  return FConfig->FailedFiles;
}

bool TMain::CloseConfig() {
  if (!FConfig) return true;
  if (IsModified()) {
    switch (Application()->MessageBox(Lang(leSaveAllChanges), "Ondrel", MB_YESNOCANCEL | MB_ICONQUESTION)) {
      case IDYES:
        // Nothing is closed over edits that could not be written; each
        // failure was told already.
        if (!SaveAll().empty()) return false;
        break;
      case IDNO:
        break;
      default:
        return false;
    }
  }
  HideStack();
  FConfig.reset();
  VSBMain->SetParams(0, 0, 0);
  SBar->ClearTexts();
  return true;
}

void TMain::ScrollStackBy(int shift) {
  TEditors* editors = Editors();
  if (!editors || shift == 0) return;
  TStackLayout layout = editors->Layout();
  layout.Shift(shift);
  editors->ApplyLayout(layout);
  pScrollBox->Invalidate();
}

void TMain::ScrollToEditor(int index) {
  TEditors* editors = Editors();
  if (!editors) return;
  ScrollStackBy(editors->Layout().ScrollToShift(index));
}

bool TMain::FindNext(bool up) {
  if (!FConfig || Settings.search.find.text.empty()) return false;
  return FConfig->SearchInConfig(false, up) > 0;
}

void TMain::ScrollToSelected() {
  if (TTreeNode* selected = tvOpenFiles->GetSelected()) ScrollToEditor(selected->AbsoluteIndex());
}

void TMain::ScrollToActive() {
  if (ActiveIndex() >= 0) ScrollToEditor(ActiveIndex());
}

void TMain::ScrollToFirst() {
  if (Editors()) ScrollToEditor(Editors()->FirstVisible());
}
void TMain::ScrollToLast() {
  if (Editors()) ScrollToEditor(Editors()->LastVisible());
}

void TMain::FormShow() {
  // The system's language first, so that a language stored in the settings
  // file wins over it.
  TAction* language = Action(IsRussianSystem() ? "aRUSLang" : "aENGLang");
  if (!language->GetChecked()) language->Execute();
  // Every stored value takes effect through its action, exactly as if the
  // user had chosen it.
  FSettings = std::make_unique<TOndrelSettings>(
      SettingsFile,
      [this](const std::string& name, bool checked) {
        TAction* a = Action(name);
        if (a && a->GetChecked() != checked) a->Execute();
      },
      [this](int width) { ApplyFilesListWidth(width); });
  FSettings->LoadSettings();
  ActiveConfigExists = IsActiveConfigAvailable();
  if (Settings.system.options.autocheckupdate) CheckForUpdates(true);
  // The set named on the command line opens once the window shows (it is not
  // on the screen while this runs), so that a big set fills a window the
  // user already sees; a window gone by then opens nothing.
  Application()->Queue([this, alive = std::weak_ptr<int>(FAlive)] {
    if (alive.expired()) return;
    OpenCommandLineFile();
    trCompleteConfigInterface->SetEnabled(true);
  });
}

void TMain::FormClose() {
  if (!FSettings) return;
  const std::string reason = FSettings->SaveSettings();
  // The reason names the file itself.
  if (!reason.empty()) Application()->MessageBox(Lang(leSaveFailed) + "\n" + reason, "Ondrel", MB_OK | MB_ICONERROR);
  FSettings.reset();
}

void TMain::ApplyFilesListWidth(int width) {
  FWantedTreeWidth = std::max(50, width);
  Settings.interface.view.fileslist.width = FWantedTreeWidth;
  FitFilesListWidth();
}

void TMain::FitFilesListWidth() {
  if (!tvOpenFiles || !VMainSplitter || FWantedTreeWidth < 50) return;
  const int widest = std::max(50, ClientWidth() - VMainSplitter->Width() - 500);
  const int width = std::min(FWantedTreeWidth, widest);
  if (width == tvOpenFiles->Width()) return;
  tvOpenFiles->SetWidth(width);
  ApplyTreeSettings();
}

void TMain::Resize() {
  TForm::Resize();
  // Controls going with the window have no width to keep.
  if (!Destroying()) FitFilesListWidth();
}

void TMain::OpenCommandLineFile() {
  if (Application()->ParamCount() < 1) return;
  const std::string name = Application()->ParamStr(1);
  if (IsConfigFileName(name) && !ConfigOpen()) OpenConfig(name);
}

void TMain::FilesDropped(const std::vector<std::string>& files) {
  if (files.empty() || FUpdateDownloading) return;
  const std::string& name = files.front();
  if (!IsConfigFileName(name)) return;
  // A file gone since it was picked up closes nothing.
  if (!FileExistsEx(name)) {
    TellRootMissing(name);
    return;
  }
  if (!CloseConfig()) return;
  OpenConfig(name);
}

void TMain::CompleteConfigInterface() {
  trCompleteConfigInterface->SetEnabled(false);
  SetWindowState(Settings.system.options.fullscreendefault ? TWindowState::wsMaximized : TWindowState::wsNormal);
  Application()->ProcessMessages();
  // The window has its final size now.
  FitFilesListWidth();
  CenterHelp();
}

void TMain::DeleteOldUpdate() {
  trDelUpdate->SetEnabled(false);
  const std::string exe = Application()->ExeName();
  const std::string old = IncludeTrailingPathDelimiter(ExtractFileDir(exe)) + ChangeFileExt(ExtractFileName(exe), ".oldupdate");
  if (FileExistsEx(old)) std::remove(old.c_str());
}

bool TMain::TreeWidthAllowed(int newWidth, int clientWidth, int splitterWidth) {
  return newWidth >= 50 && clientWidth - newWidth - splitterWidth >= 500;
}

void TMain::ShowFileStatus(int index) {
  const TZuConfigInformation* info = Config();
  if (!info || index < 0 || index >= info->Count) return;
  const TZuFileInformation& f = *info->Files[static_cast<std::size_t>(index)];
  const TEditor* panel = FConfig->Panel(index);
  SBar->Panels()->Items(spMessage)->SetText(Utf8ToAnsi(f.FileName));
  SBar->Panels()->Items(spEncoding)->SetText(panel ? panel->EncodingName() : "");
  SBar->Panels()->Items(spFileState)->SetText(FileModified(index) ? Lang(leModified)
                                              : f.Missing         ? Lang(leFileNotFound)
                                                                  : std::string());
}

void TMain::TreeMouseDown(TMouseButton button, int x, int y) {
  TTreeNode* node = tvOpenFiles->GetNodeAt(x, y);
  if (!node) return;
  if (button == TMouseButton::mbRight) tvOpenFiles->SetSelected(node);
  if (button != TMouseButton::mbLeft && button != TMouseButton::mbRight) return;
  const int index = node->AbsoluteIndex();
  ShowFileStatus(index);
  ScrollToEditor(index);
  tvOpenFiles->SetFocus();
}

void TMain::TreeDblClick() {
  TTreeNode* node = tvOpenFiles->GetSelected();
  const TZuConfigInformation* info = Config();
  if (node && info) {
    const int i = node->AbsoluteIndex();
    TEditor* panel = FConfig->Panel(i);
    if (panel && info->Files[static_cast<std::size_t>(i)]->Missing && !panel->Modified) {
      // Marked so that saving writes the file.
      panel->SetModified(true);
      panel->SetShown(true);
      if (node->GetStateIndex() > 0) node->SetStateIndex(2);
      ScrollToEditor(i);
      ShowFileStatus(i);
    }
  }
  tvOpenFiles->SetFocus();
}

void TMain::TreeStateChanging(TTreeNode* node, bool& allow) {
  const int i = node->AbsoluteIndex();
  const TZuConfigInformation* info = Config();
  if (info && i >= 0 && i < info->Count && info->Files[static_cast<std::size_t>(i)]->Missing && !FileModified(i))
    allow = false;
}

void TMain::TreeStateChange(TTreeNode* node) {
  const int i = node->AbsoluteIndex();
  TEditor* panel = FConfig ? FConfig->Panel(i) : nullptr;
  if (!panel) return;
  if (node->GetStateIndex() == 2) {
    panel->SetShown(true);
    ScrollToSelected();
  } else {
    const bool wasActive = panel->Active;
    panel->SetShown(false);
    if (panel->Shown) {
      node->SetStateIndex(2);  // the only visible panel stays
    } else if (wasActive) {
      panel->SetActive(false);
      tvOpenFiles->Invalidate();
      SBar->ClearTexts();
    }
  }
  tvOpenFiles->SetFocus();
}

bool TMain::FormMouseWheel(TShiftState shift, int wheelDelta, TPoint mousePos) {
  const TRect box = Bounds(pScrollBox->ClientToScreen(TPoint{0, 0}).X, pScrollBox->ClientToScreen(TPoint{0, 0}).Y,
                           pScrollBox->Width(), pScrollBox->Height());
  const bool over = pScrollBox->GetVisible() && PtInRect(box, mousePos);
  const bool treeFocused = tvOpenFiles->Focused() && pScrollBox->GetVisible();
  if (!over && !treeFocused) return TForm::FormMouseWheel(shift, wheelDelta, mousePos);
  if (!TStackLayout::WheelActivates(Settings.interface.view.mainscroll.activationmethod, shift)) return false;
  TEditors* editors = Editors();
  if (!editors || editors->VisibleCount < 2) return false;
  TStackLayout layout = editors->Layout();
  if (layout.Wheel(wheelDelta < 0) != 0) {
    editors->ApplyLayout(layout);
    pScrollBox->Invalidate();
  }
  return true;
}

}  // namespace ond
