// The main window: the files tree, the status bar, the menu and the area of
// the stacked editor panels; opening and closing a config set from the menu,
// the command line or a dropped file.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ActnList.h"
#include "platform/ActnMenus.h"
#include "platform/Dialogs.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/Menus.h"
#include "platform/Shell.h"
#include "platform/StdCtrls.h"
#include "services/USettings.h"
#include "services/UThCheckUpdate.h"
#include "workspace/CheckTreeViewEx.h"
#include "workspace/StatusBarEx.h"
#include "workspace/UZuConfigs.h"

namespace ond {

class TErrorHandler;

// When an action of the main window is enabled.
enum class TActionRule {
  Always,
  Set,                   // a set is open
  Active,                // a panel is active
  ActiveModified,        // the active panel is modified
  ActiveModifiedExists,  // ... and its file exists
  ActiveExists,          // the active panel's file exists
  ActiveBackupExists,    // the active panel's backup exists
  SetModified,
  ActiveConfig,          // the game's active config was found at start-up
  CanUndo,
  CanRedo,
  Selection,           // the active editor has a selection
  WritableSelection,   // ... and is not read-only
  ErrorHandler,        // the program's error handler runs
  CanPaste,
  SearchText,          // a set is open and a search text was stored
  Visible2,            // more than one visible panel
  Visible2Active,
  Panels2,             // more than one panel
  Panels2Active,
  NotBuilt,            // the action's target is not part of the program yet
  NoUpdateCheck,       // no update check is running
  ActiveHoldsFile,     // a panel is active and holds its file's text (it could be read)
};

class TUpdMess;

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

  // The actions of the menus in menu order (separators are not actions).
  const std::vector<TAction*>& Actions() const { return FActions; }
  // The action of that name, or null.
  TAction* Action(const std::string& name) const;
  bool RuleHolds(TActionRule rule) const;
  // How the window opens a web address; tests put a recorder here.
  TUrlOpener OpenUrl = ShellOpenURL;
  // The 1-based filter index of the save dialog that matches the
  // extension of fileName, or 0 when none does.
  int SaveFilterIndex(const std::string& fileName) const;

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

  // Opens a set; while a set of many files opens, the window shows it at
  // once and fills the stack and the tree as the panels come, with the count
  // in the status bar.
  void OpenConfig(const std::string& fileName);
  // The least time between two showings of the opening progress (0: after
  // every panel).
  std::chrono::milliseconds OpeningProgressInterval{100};
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
  // The help text, the window caption and every action's caption in the
  // current language.
  void ApplyLanguage();
  // Every panel takes the scheme of index (-1 none) or its folding state.
  void SetSyntaxScheme(int index);
  void SetCodeFolding(bool enabled);
  std::string VersionText() const;

  // Where the settings file is read at start-up and written at close; the
  // location rule's answer unless changed before the window is shown.
  std::string SettingsFile;
  // The settings object, from start-up until the window closes.
  TOndrelSettings* OndrelSettings() const { return FSettings.get(); }
  // Gives the files list a stored width (at least 50), shown within the
  // splitter's limits of the window as it is and again whenever the window
  // changes size, so a width too wide for the first, small window comes
  // back in the final one and is stored as it was.
  void ApplyFilesListWidth(int width);

  // The window's reactions, callable as the events call them.
  void FormShow();
  // Saves the settings file (a failure is told) and lets the settings go.
  void FormClose();
  void OpenCommandLineFile();
  void FilesDropped(const std::vector<std::string>& files);
  // Tells the user that no config file stands under the name (status bar and
  // a message), with the system's reason.
  void TellRootMissing(const std::string& fileName);
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

  // The update: what a check works on (this program's file, its build and
  // the server; tests point it elsewhere), how the new program starts, and
  // how the offer is shown (tests answer it here instead of the user).
  TUpdateTarget UpdateTarget;
  std::function<bool(const std::string& file, std::string& error)> StartNewProgram = StartProgram;
  std::function<int(TUpdMess& offer)> ShowUpdateOffer;
  // Starts a check (silent: says nothing unless there is an offer); false
  // when one is running still.
  bool CheckForUpdates(bool silent);
  bool UpdateCheckRunning() const;
  // From the offer taken until the download ended every action is off.
  bool UpdateDownloading() const { return FUpdateDownloading; }
  // True when the file name has one of the set's two extensions. the file name has one of the set's two extensions.
  static bool IsConfigFileName(const std::string& fileName);

 protected:
  // The files list takes its wanted width again as far as the window allows.
  void Resize() override;

 private:
  void CreateControls();
  // Gives the tree the wanted width within the splitter's limits of the
  // window as it is now; the wanted width itself stays.
  void FitFilesListWidth();
  void CreateActions();
  // Applies the setting the action of that name has just written.
  void ApplySetting(const std::string& action);
  void ApplyTreeSettings();
  void ApplyScrollBarSetting();
  void PrepareSaveDialog();
  void SaveActiveAs(bool asCopy);
  bool LoseChanges(bool modified);
  void ReloadActiveAs(int kind);
  void ReloadAllAs(int kind);
  void EditorCommand(int command);
  void LoadActiveConfig();
  // Ranges of panels: 0 all, 1 above the active one, 2 below it.
  void CollapseRange(int range, bool collapse);
  void ShowRange(int range, bool show);
  // Stacks the visible panels again one below the other, each as wide as
  // the view, with the scroll bar and its range to match; panel wasAlone
  // (which filled the view alone) takes the height of a freshly opened set.
  void LayOutStack(int wasAlone);
  void AlignHeights(bool asActive);
  std::vector<TAction*> FActions;
  void HideStack();
  void ShowFileStatus(int index);
  void CenterHelp();
  void ScrollStackBy(int shift);
  void ShowOpeningProgress(int done, int count);
  // The set's questions and errors while saving, answered by message boxes.
  TMessageBoxPrompter FPrompter;
  std::unique_ptr<TZuConfig> FConfig;
  // While a set opens (nothing may close it then) and when its progress was
  // shown last.
  bool FOpening = false;
  // Lives as long as the window: calls queued for later check it first.
  std::shared_ptr<int> FAlive = std::make_shared<int>(0);
  std::chrono::steady_clock::time_point FProgressShown;
  // Created first and stopped last, so that its log covers the whole run.
  std::unique_ptr<TErrorHandler> FErrorHandler;
  std::unique_ptr<TOndrelSettings> FSettings;
  int FViewHeight = 0;  // the stack's view height before the last resize
  // The files list's width as stored or as the user last set it; a window
  // too narrow for it shows the list narrower without forgetting it.
  int FWantedTreeWidth = 0;

  // The update's reactions on this thread.
  bool ShowUpdateDialog(const TCheckOutcome& outcome);
  void HttpWorkBegin(std::int64_t expected);
  void HttpWork(std::int64_t received);
  void HttpWorkEnd();
  void UpdateDownloaded(const TDownloadResult& result);
  std::unique_ptr<TThCheckUpd> FUpdateCheck;
  std::string FUpdateFile;  // the program file the running check replaces
  bool FUpdateDownloading = false;
  std::string FStatusBeforeDownload;
  std::int64_t FDownloadExpected = -1;
};

}  // namespace ond
