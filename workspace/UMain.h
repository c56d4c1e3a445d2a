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
#include "workspace/UZuConfigInformation.h"

namespace ond {

// The arithmetic of the stacked panels, free of windows: panel tops and
// heights in the coordinates of the scrolling area, its view height and the
// main scroll bar's position and maximum.
class TStackLayout {
 public:
  struct TPanelBox {
    int Top = 0;
    int Height = 0;
    int HeaderHeight = 0;
    bool Visible = true;
  };
  // Pixels one wheel notch moves the stack at most.
  static constexpr int WheelStep = 25;

  std::vector<TPanelBox> Panels;
  int ViewHeight = 0;
  int Position = 0;
  int Max = 0;

  int VisibleCount() const;
  int FirstVisible() const;
  int LastVisible() const;
  // Height of all visible panels.
  int TotalHeight() const;
  // The bottom of the stack shows in the view.
  bool ScrolledPastEnd() const;
  // The amount the area scrolls to bring panel index to the top of the view
  // (0 when it cannot); the position decreases by it.
  int ScrollToShift(int index) const;
  // Whether a wheel turn may move the stack: activation method 2 (the
  // pointer), 0 with Shift held or 1 with Ctrl held.
  static bool WheelActivates(int method, TShiftState shift);
  // One notch: moves the position by at most WheelStep and returns how far
  // the area scrolls (its content moves by the negated position change);
  // panels that drifted from the scroll bar are lined up with it again.
  int Wheel(bool down);
  // Before the view changes height: with the stack scrolled past its end, the
  // last visible panel gives up the lost height, but never down to its header.
  void BeforeResize(int newViewHeight);
  // After it changed: the last visible panel fills the view when the stack
  // ends inside it; Max becomes the height the view cannot show.
  void AfterResize();
};

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
  int MainScrollActivationMethod = 0;  // interface.view.mainscroll.activationmethod
  bool MainScrollBarVisible = true;    // interface.view.mainscroll.scrollbar.visible
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
  TZuConfigInformation* Config() const { return FConfig.get(); }
  bool ConfigOpen() const { return FConfig != nullptr; }
  // Per file of the open set: whether its panel is shown and modified.
  bool FileShown(int index) const;
  bool FileModified(int index) const;
  void SetFileModified(int index, bool modified);
  bool IsModified() const;
  int ActiveIndex() const { return FActive; }
  void SetActiveIndex(int index);

  void OpenConfig(const std::string& fileName);
  // True when no set stays open; a modified set asks Yes, No or Cancel.
  bool CloseConfig();
  // Saves every file that needs it; the names that failed are returned.
  std::vector<std::string> SaveAll();
  void ScrollToEditor(int index);
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

 protected:
  // Writes one file of the set to disk; false when it failed.
  virtual bool SaveFile(int index);

 private:
  void CreateControls();
  void CreateActions();
  void HideStack();
  void ShowFileStatus(int index);
  void CenterHelp();
  std::unique_ptr<TZuConfigInformation> FConfig;
  std::vector<bool> FShown;
  std::vector<bool> FModified;
  int FActive = -1;
  TStackLayout FStack;
};

}  // namespace ond
