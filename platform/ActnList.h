// Actions: named commands with caption, state and shortcut whose update
// handlers run when the application goes idle, before a menu opens and right
// before the action executes.
#pragma once

#include <memory>
#include <string>

#include "platform/Controls.h"

class QAction;

namespace ond {

class TForm;

class TAction : public TComponent {
 public:
  explicit TAction(TComponent* owner);
  ~TAction() override;

  std::string GetCaption() const { return FCaption; }
  void SetCaption(const std::string& caption);
  bool GetEnabled() const { return FEnabled; }
  void SetEnabled(bool enabled);
  bool GetChecked() const { return FChecked; }
  // Checking an action of a group (GroupIndex above 0) unchecks the others
  // of that group with the same owner.
  void SetChecked(bool checked);
  bool GetVisible() const { return FVisible; }
  void SetVisible(bool visible);
  int GetGroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int group);
  TShortCut GetShortCut() const { return FShortCut; }
  void SetShortCut(TShortCut shortCut);
  bool AutoCheck = false;
  std::string Hint;
  int ImageIndex = -1;

  TNotifyEvent OnExecute;
  TNotifyEvent OnUpdate;

  // Runs the update handler; true when there is one.
  bool Update();
  // Updates, then runs OnExecute when enabled; true when it ran.
  bool Execute();

  // The window whose keys run this action (the first form among its owners).
  TForm* Form() const { return FForm; }

  // Window layer only.
  QAction* Handle() const;

 private:
  struct Private;
  std::unique_ptr<Private> p;
  std::string FCaption;
  bool FEnabled = true;
  bool FChecked = false;
  bool FVisible = true;
  int FGroupIndex = 0;
  TShortCut FShortCut = 0;
  TForm* FForm = nullptr;
  void ShowText();
};

}  // namespace ond
