// The main window: the files tree, the status bar, the menu and the area of
// the stacked editor panels; opening and closing a config set from the menu,
// the command line or a dropped file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ActnList.h"
#include "platform/ActnMenus.h"
#include "platform/Dialogs.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/Menus.h"
#include "platform/StdCtrls.h"
#include "workspace/CheckTreeViewEx.h"
#include "workspace/StatusBarEx.h"
#include "workspace/UZuConfigs.h"

namespace ond {

// The main window's texts until the language table exists.
struct TMainTexts {
  static const char* const Help;
  static const char* const Modified;
  static const char* const FileNotFound;
  static const char* const SaveAllChanges;
};

// The view options the main window reads; their defaults until the settings
// file exists.
struct TMainOptions {
  int FilesListWidth = 240;            // interface.view.fileslist.width
  bool FullScreenDefault = true;       // system.options.fullscreendefault
  bool DebugMode = false;              // system.options.debugmod
};

class TMain : public TForm {
 public:
  explicit TMain(TComponent* owner);
  ~TMain() override;

  TActionMenuBar* MainMenu;
  TStatusBarEx* SBar;
  TCheckTreeViewEx* tvOpenFiles;
  TSplitter* VMainSplitter;
  TPanel* pExternal;
  TPanel* pMain;
  TScrollBar* VSBMain;
  TLabel* lMainHelp;
  TScrollBox* pScrollBox;
  TOpenDialog* dlgZuOpen;
  TSaveDialog* dlgZuSave;
  TPopupMenu* pmSBar;
  TPopupMenu* pmEditors;
  TPopupMenu* pmOpenFiles;
  TTimer* trDelUpdate;
  TTimer* trCompleteConfigInterface;
  TAction* aOpen;
  TAction* aCloseAll;
  TAction* aExit;

  TMainOptions Options;

  // The open set's files (discovery), or null when none is open.
  TZuConfigInformation* Config() const { return FConfig ? FConfig->Information.get() : nullptr; }
  // The open set with its panels, or null.
  TZuConfig* ZuConfig() const { return FConfig.get(); }
  TEditors* Editors() const { return FConfig ? FConfig->Editors.get() : nullptr; }
  bool ConfigOpen() const { return FConfig != nullptr; }
  // Per file of the open set: whether its panel is shown and modified.
  bool FileShown(int index) const;
  bool FileModified(int index) const;
  void SetFileModified(int index, bool modified);
  bool IsModified() const;
  int ActiveIndex() const;
  void SetActiveIndex(int index);

  void OpenConfig(const std::string& fileName);
  // True when no set stays open; a modified set asks Yes, No or Cancel.
  bool CloseConfig();
  // Saves every modified file; the names that failed are returned (each
  // failure was told to the user).
  std::vector<std::string> SaveAll();
  void ScrollToEditor(int index);
  // Finds the stored search text again across the set, down or up (up
  // turns the stored direction round); true when a match was selected.
  bool FindNext(bool up);
  // Short forms: to the panel of the node selected in the tree, to the active
  // panel (when there is one), to the first and to the last visible panel.
  void ScrollToSelected();
  void ScrollToActive();
  void ScrollToFirst();
  void ScrollToLast();
  void ApplyLanguage();
  std::string VersionText() const;

  // The window's reactions, callable as the events call them.
  void FormShow();
  void OpenCommandLineFile();
  void FilesDropped(const std::vector<std::string>& files);
  void TreeMouseDown(TMouseButton button, int x, int y);
  void TreeDblClick();
  void TreeStateChanging(TTreeNode* node, bool& allow);
  void TreeStateChange(TTreeNode* node);
  // The tree may take newWidth when it keeps 50 pixels and leaves 500 to the
  // editors.
  static bool TreeWidthAllowed(int newWidth, int clientWidth, int splitterWidth);
  void CompleteConfigInterface();
  void DeleteOldUpdate();
  bool FormMouseWheel(TShiftState shift, int wheelDelta, TPoint mousePos) override;
  // True when the file name has one of the set's two extensions.
  static bool IsConfigFileName(const std::string& fileName);

 private:
  void CreateControls();
  void CreateActions();
  void HideStack();
  void ShowFileStatus(int index);
  void CenterHelp();
  void ScrollStackBy(int shift);
  std::unique_ptr<TZuConfig> FConfig;
  int FViewHeight = 0;  // the stack's view height before the last resize
};

}  // namespace ond
