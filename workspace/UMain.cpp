#include "workspace/UMain.h"

#include <algorithm>
#include <cstdio>

#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "platform/core/SysUtils.h"
#include "workspace/Compatibility.h"
#include "workspace/Encodings.h"

namespace ond {

// ---- stack arithmetic -------------------------------------------------------

int TStackLayout::VisibleCount() const {
  return static_cast<int>(std::count_if(Panels.begin(), Panels.end(), [](const TPanelBox& p) { return p.Visible; }));
}

int TStackLayout::FirstVisible() const {
  for (std::size_t i = 0; i < Panels.size(); ++i)
    if (Panels[i].Visible) return static_cast<int>(i);
  return -1;
}

int TStackLayout::LastVisible() const {
  for (std::size_t i = Panels.size(); i-- > 0;)
    if (Panels[i].Visible) return static_cast<int>(i);
  return -1;
}

int TStackLayout::TotalHeight() const {
  int h = 0;
  for (const TPanelBox& p : Panels)
    if (p.Visible) h += p.Height;
  return h;
}

bool TStackLayout::ScrolledPastEnd() const {
  const int last = LastVisible();
  if (last < 0) return false;
  const TPanelBox& p = Panels[static_cast<std::size_t>(last)];
  return p.Top + p.Height <= ViewHeight;
}

int TStackLayout::ScrollToShift(int index) const {
  if (VisibleCount() < 2 || index < 0 || index >= static_cast<int>(Panels.size()) ||
      !Panels[static_cast<std::size_t>(index)].Visible)
    return 0;
  int shift = -Panels[static_cast<std::size_t>(index)].Top;
  if (shift > 0) shift = std::min(shift, Position);
  if (shift < 0) shift = std::max(shift, Position - Max);
  return shift;
}

bool TStackLayout::WheelActivates(int method, TShiftState shift) {
  return method == 2 || (method == 0 && (shift & ssShift)) || (method == 1 && (shift & ssCtrl));
}

int TStackLayout::Wheel(bool down) {
  if (VisibleCount() < 2 || Max <= 0) return 0;
  const int step = down ? std::min(WheelStep, Max - Position) : std::min(WheelStep, Position);
  const int scroll = down ? -step : step;
  Position -= scroll;
  for (TPanelBox& p : Panels) p.Top += scroll;
  const TPanelBox& first = Panels[static_cast<std::size_t>(FirstVisible())];
  int drift = 0;
  if (down && Position == Max && first.Top + Max < 0) drift = -(first.Top + Max);
  if (!down && Position == 0 && first.Top < 0) drift = -first.Top;
  if (drift != 0)
    for (TPanelBox& p : Panels)
      if (p.Visible) p.Top += drift;
  return scroll;
}

void TStackLayout::BeforeResize(int newViewHeight) {
  const int lost = ViewHeight - newViewHeight;
  if (VisibleCount() > 1 && lost > 0 && ScrolledPastEnd()) {
    TPanelBox& last = Panels[static_cast<std::size_t>(LastVisible())];
    if (last.Height - lost > last.HeaderHeight) last.Height -= lost;
  }
  ViewHeight = newViewHeight;
}

void TStackLayout::AfterResize() {
  if (VisibleCount() > 1) {
    if (ScrolledPastEnd()) {
      TPanelBox& last = Panels[static_cast<std::size_t>(LastVisible())];
      last.Height = ViewHeight - last.Top;
    }
  }
  Max = std::max(0, TotalHeight() - ViewHeight);
}

// ---- texts ------------------------------------------------------------------

const char* const TMainTexts::Help =
    "To load a config:\n\r\x95 Drag a file \"@quarn.zu\" here\n\r\x95 Or open it by going to the \"File - Open...\"\n\r\n\r"
    "For quick download config from the game:\n\r\x95 Select in the main menu \"File - Load the current config\"";
const char* const TMainTexts::Modified = "Modified";
const char* const TMainTexts::FileNotFound = "File not found";
const char* const TMainTexts::SaveAllChanges = "Save all changes in open the config file?";

namespace {
constexpr int kPanelWidths[6] = {200, 50, 100, 140, 100, 50};
// Panels are loaded as UTF-8 when a set opens.
constexpr const char* kOpenedEncoding = "UTF-8";
}  // namespace

// ---- window -----------------------------------------------------------------

TMain::TMain(TComponent* owner) : TForm(owner) {
  Name = "Main";
  SetBounds(0, 0, 1130, 675);
  SetMinimumSize(800, 300);
  CreateControls();
  CreateActions();
  // What the window does once created.
  SetCaption("Ondrel");
  ApplyLanguage();
  DragAcceptFiles(true);
  OnDropFiles = [this](TObject*, const std::vector<std::string>& files, TPoint) { FilesDropped(files); };
  CenterHelp();
  pScrollBox->SetBounds(0, 0, pMain->Width(), pMain->Height());
  pScrollBox->SetAlign(TAlign::alClient);
  SBar->Panels()->Items(4)->SetPopupMenu(pmSBar);
  tvOpenFiles->SetPopupMenu(pmOpenFiles);
  OnShow = [this](TObject*) { FormShow(); };
  OnCloseQuery = [this](TObject*, bool& canClose) { canClose = !ConfigOpen() || CloseConfig(); };
  CenterOnScreen();
}

TMain::~TMain() {
  BeginDestroy();
  FConfig.reset();
}

void TMain::CreateControls() {
  MainMenu = new TActionMenuBar(this);
  MainMenu->Name = "MainMenu";
  MainMenu->SetParent(this);

  SBar = new TStatusBarEx(this);
  SBar->Name = "SBar";
  for (int i = 0; i < 6; ++i) {
    TStatusPanelEx* p = SBar->Panels()->Add();
    p->SetWidth(kPanelWidths[i]);
    if (i >= 1 && i <= 4) p->SetAlignment(TAlignment::taCenter);
  }
  SBar->SetParent(this);

  tvOpenFiles = new TCheckTreeViewEx(this);
  tvOpenFiles->Name = "tvOpenFiles";
  tvOpenFiles->SetWidth(240);
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
    FStack.BeforeResize(pScrollBox->Height());
    FStack.AfterResize();
    if (ConfigOpen()) VSBMain->SetMax(FStack.Max);
  };
  VMainSplitter->OnCanResize = [this](TObject*, int& newSize, bool& accept) {
    accept = TreeWidthAllowed(newSize, ClientWidth(), VMainSplitter->Width());
  };
  VMainSplitter->OnMoved = [this](TObject*) { Options.FilesListWidth = tvOpenFiles->Width(); };
  VSBMain->OnScroll = [this](TObject*, TScrollCode, int& pos) {
    pScrollBox->ScrollBy(0, VSBMain->GetPosition() - pos);
    FStack.Position = pos;
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
    if (state & cdsSelected) return;  // the selection keeps the tree's own colours
    const int i = node->AbsoluteIndex();
    TFont& font = tvOpenFiles->Canvas()->Font;
    if (FileModified(i)) font.SetStyle(fsBold);
    if (FConfig && i >= 0 && i < FConfig->Count && FConfig->Files[static_cast<std::size_t>(i)]->Missing &&
        !FileModified(i))
      font.SetColor(clRed);
    if (i == FActive) font.SetColor(clBlue);
  };
}

void TMain::CreateActions() {
  aOpen = new TAction(this);
  aOpen->Name = "aOpen";
  aOpen->SetShortCut(ShortCut('O', ssCtrl));
  aOpen->OnUpdate = [this](TObject*) { aOpen->SetCaption("Open..."); };
  aOpen->OnExecute = [this](TObject*) {
    if (!CloseConfig()) return;
    if (dlgZuOpen->Execute() && FileExistsEx(dlgZuOpen->FileName)) OpenConfig(dlgZuOpen->FileName);
  };
  aCloseAll = new TAction(this);
  aCloseAll->Name = "aCloseAll";
  aCloseAll->OnUpdate = [this](TObject*) {
    aCloseAll->SetCaption("Close all");
    aCloseAll->SetEnabled(ConfigOpen());
  };
  aCloseAll->OnExecute = [this](TObject*) { CloseConfig(); };
  aExit = new TAction(this);
  aExit->Name = "aExit";
  aExit->SetShortCut(ShortCut('W', ssCtrl));
  aExit->OnUpdate = [this](TObject*) { aExit->SetCaption("Quit"); };
  aExit->OnExecute = [this](TObject*) { Close(); };

  auto* file = new TMenuItem(this);
  file->Caption = "&File";
  MainMenu->Items()->Add(file);
  for (TAction* a : {aOpen, aCloseAll, static_cast<TAction*>(nullptr), aExit}) {
    auto* item = new TMenuItem(this);
    if (a)
      item->SetAction(a);
    else
      item->Caption = "-";
    file->Add(item);
  }
  Application()->UpdateActions();
  MainMenu->Rebuild();
}

std::string TMain::VersionText() const { return TApplication::Version(); }

void TMain::ApplyLanguage() {
  lMainHelp->SetCaption(TMainTexts::Help);
  CenterHelp();
  std::string caption = "Ondrel " + VersionText();
  if (Options.DebugMode) caption += " [Test mod]";
  SetCaption(caption);
}

void TMain::CenterHelp() {
  lMainHelp->SetBounds(static_cast<int>(Round((pMain->Width() - lMainHelp->Width()) / 2.0)),
                       static_cast<int>(Round((pMain->Height() - lMainHelp->Height()) / 2.0)), lMainHelp->Width(),
                       lMainHelp->Height());
}

bool TMain::FileShown(int index) const {
  return index >= 0 && index < static_cast<int>(FShown.size()) && FShown[static_cast<std::size_t>(index)];
}
bool TMain::FileModified(int index) const {
  return index >= 0 && index < static_cast<int>(FModified.size()) && FModified[static_cast<std::size_t>(index)];
}
void TMain::SetFileModified(int index, bool modified) {
  if (index < 0 || index >= static_cast<int>(FModified.size())) return;
  FModified[static_cast<std::size_t>(index)] = modified;
  tvOpenFiles->Invalidate();
}
bool TMain::IsModified() const { return std::find(FModified.begin(), FModified.end(), true) != FModified.end(); }
void TMain::SetActiveIndex(int index) {
  FActive = index;
  tvOpenFiles->Invalidate();
}

bool TMain::IsConfigFileName(const std::string& fileName) {
  const std::string ext = ExtractFileExt(fileName);
  return SameText(ext, ".zu") || SameText(ext, ".quarnconf");
}

void TMain::OpenConfig(const std::string& fileName) {
  FConfig = std::make_unique<TZuConfigInformation>(fileName, true);
  FConfig->LoadInformation();  // a discovery that stopped early still opens what it listed
  const int count = FConfig->Count;
  FShown.assign(static_cast<std::size_t>(count), false);
  FModified.assign(static_cast<std::size_t>(count), false);
  FActive = -1;
  TTreeNodes* nodes = tvOpenFiles->Items();
  nodes->BeginUpdate();
  nodes->Clear();
  if (count > 0) {
    const std::string rootName = Utf8ToAnsi(FConfig->Files[0]->ExtractFileName());
    TTreeNode* root = nodes->Add(nullptr, rootName);
    root->SetStateIndex(-1);  // the root file is always shown
    FShown[0] = FConfig->ExistingCount() < 2 ? true : !FConfig->Files[0]->Missing;
    if (FConfig->ExistingCount() >= 2) {
      for (int i = 1; i < count; ++i) {
        const TZuFileInformation& f = *FConfig->Files[static_cast<std::size_t>(i)];
        TTreeNode* node = nodes->AddChild(root, Utf8ToAnsi(f.ExtractFileName()));
        node->SetStateIndex(f.Missing ? 1 : 2);
        FShown[static_cast<std::size_t>(i)] = !f.Missing;
      }
    }
  }
  nodes->EndUpdate();
  pScrollBox->Show();
  lMainHelp->Hide();
  if (!pScrollBox->Focused() && pScrollBox->CanFocus()) pScrollBox->SetFocus();
  tvOpenFiles->FullExpand();
}

void TMain::HideStack() {
  pScrollBox->Hide();
  VSBMain->Hide();
  tvOpenFiles->Items()->Clear();
  lMainHelp->Show();
  CenterHelp();
}

bool TMain::SaveFile(int index) {
  if (!FConfig || index < 0 || index >= FConfig->Count || index >= 256) return false;
  TZuFileInformation& f = *FConfig->Files[static_cast<std::size_t>(index)];
  // Until the panels hold text, only a missing file marked for saving can need
  // writing, and its panel is empty.
  if (!f.Missing) return true;
  try {
    if (!ForceFolders(ExtractFileDir(f.FileName))) return false;
    SaveTextFile(f.FileName, std::string(), TEncoding::UTF8());
  } catch (const std::exception&) {
    return false;
  }
  f.Missing = false;
  SetFileModified(index, false);
  return true;
}

std::vector<std::string> TMain::SaveAll() {
  std::vector<std::string> failed;
  if (!FConfig) return failed;
  for (int i = 0; i < FConfig->Count; ++i) {
    const TZuFileInformation& f = *FConfig->Files[static_cast<std::size_t>(i)];
    if (f.Missing && !FileModified(i)) continue;
    if (!FileModified(i)) continue;
    if (!SaveFile(i)) failed.push_back(f.FileName);
  }
  return failed;
}

bool TMain::CloseConfig() {
  if (!FConfig) return true;
  if (IsModified()) {
    switch (Application()->MessageBox(TMainTexts::SaveAllChanges, "Ondrel", MB_YESNOCANCEL | MB_ICONQUESTION)) {
      case IDYES: {
        const std::vector<std::string> failed = SaveAll();
        if (!failed.empty()) {
          // Nothing is closed over edits that could not be written.
          std::string msg = "These files could not be saved:";
          for (const std::string& name : failed) msg += "\n" + Utf8ToAnsi(name);
          Application()->MessageBox(msg, "Ondrel", MB_OK | MB_ICONERROR);
          return false;
        }
        break;
      }
      case IDNO:
        break;
      default:
        return false;
    }
  }
  HideStack();
  FConfig.reset();
  FShown.clear();
  FModified.clear();
  FActive = -1;
  FStack = TStackLayout{};
  FStack.ViewHeight = pScrollBox->Height();
  SBar->ClearTexts();
  return true;
}

void TMain::ScrollToEditor(int index) {
  if (!FConfig) return;
  const int shift = FStack.ScrollToShift(index);
  if (shift == 0) return;
  pScrollBox->ScrollBy(0, shift);
  for (auto& p : FStack.Panels) p.Top += shift;
  FStack.Position -= shift;
  VSBMain->SetPosition(VSBMain->GetPosition() - shift);
}

void TMain::FormShow() {
  // The language, the settings file, the game's active config and the update
  // check join here with their own parts of the program.
  OpenCommandLineFile();
  trCompleteConfigInterface->SetEnabled(true);
}

void TMain::OpenCommandLineFile() {
  if (Application()->ParamCount() < 1) return;
  const std::string name = Application()->ParamStr(1);
  if (IsConfigFileName(name) && FileExistsEx(name) && !ConfigOpen()) OpenConfig(name);
}

void TMain::FilesDropped(const std::vector<std::string>& files) {
  if (files.empty()) return;
  const std::string& name = files.front();
  if (!IsConfigFileName(name) || !FileExistsEx(name)) return;
  if (!CloseConfig()) return;
  OpenConfig(name);
}

void TMain::CompleteConfigInterface() {
  trCompleteConfigInterface->SetEnabled(false);
  SetWindowState(Options.FullScreenDefault ? TWindowState::wsMaximized : TWindowState::wsNormal);
  Application()->ProcessMessages();
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
  if (!FConfig || index < 0 || index >= FConfig->Count) return;
  const TZuFileInformation& f = *FConfig->Files[static_cast<std::size_t>(index)];
  SBar->Panels()->Items(5)->SetText(Utf8ToAnsi(f.FileName));
  SBar->Panels()->Items(4)->SetText(kOpenedEncoding);
  SBar->Panels()->Items(3)->SetText(FileModified(index) ? TMainTexts::Modified
                                    : f.Missing         ? TMainTexts::FileNotFound
                                                        : "");
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
  if (node && FConfig) {
    const int i = node->AbsoluteIndex();
    if (i >= 0 && i < FConfig->Count && FConfig->Files[static_cast<std::size_t>(i)]->Missing && !FileModified(i)) {
      // Marked so that saving writes the file.
      SetFileModified(i, true);
      FShown[static_cast<std::size_t>(i)] = true;
      if (node->GetStateIndex() > 0) node->SetStateIndex(2);
      ScrollToEditor(i);
      ShowFileStatus(i);
    }
  }
  tvOpenFiles->SetFocus();
}

void TMain::TreeStateChanging(TTreeNode* node, bool& allow) {
  const int i = node->AbsoluteIndex();
  if (FConfig && i >= 0 && i < FConfig->Count && FConfig->Files[static_cast<std::size_t>(i)]->Missing &&
      !FileModified(i))
    allow = false;
}

void TMain::TreeStateChange(TTreeNode* node) {
  const int i = node->AbsoluteIndex();
  if (!FConfig || i < 0 || i >= FConfig->Count) return;
  if (node->GetStateIndex() == 2) {
    FShown[static_cast<std::size_t>(i)] = true;
    if (TTreeNode* selected = tvOpenFiles->GetSelected()) ScrollToEditor(selected->AbsoluteIndex());
  } else {
    FShown[static_cast<std::size_t>(i)] = false;
    if (i == FActive) {
      FActive = -1;
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
  if (!TStackLayout::WheelActivates(Options.MainScrollActivationMethod, shift)) return false;
  if (!FConfig || FStack.VisibleCount() < 2) return false;
  const int scroll = FStack.Wheel(wheelDelta < 0);
  if (scroll != 0) {
    pScrollBox->ScrollBy(0, scroll);
    VSBMain->SetPosition(FStack.Position);
  }
  return true;
}

}  // namespace ond
