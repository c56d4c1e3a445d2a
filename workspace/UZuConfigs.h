// One open config set: its discovered files and their stacked panels, with
// the operations the main window's actions call: save one or all files
// (optionally keeping a backup), reload a file from disk or from its backup
// in the panel's encoding.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "workspace/UConfigPrompter.h"
#include "workspace/UEditors.h"
#include "workspace/UZuConfigInformation.h"

namespace ond {

class TZuConfig {
 public:
  TZuConfig() = default;
  ~TZuConfig();
  TZuConfig(const TZuConfig&) = delete;
  TZuConfig& operator=(const TZuConfig&) = delete;

  std::unique_ptr<TEditors> Editors;
  std::unique_ptr<TZuConfigInformation> Information;
  // While false the next search covers the whole scope of each editor.
  bool SearchContinues = true;
  // The files the last SaveAll could not write (native names).
  std::vector<std::string> FailedFiles;
  // Who the set asks and tells while it saves; null: message boxes.
  TConfigPrompter* Prompter = nullptr;

  // Discovers the set and builds its panels; the result is the discovery's
  // (a set whose discovery stopped early opens with the files listed so far).
  // What could not be read is told to the user, and so is every file of the
  // set whose copy an interrupted save left (the file may hold part of a
  // newer text). A root that cannot be read (missing, a folder, unreadable)
  // gets no panel at all.
  bool LoadConfig(const std::string& fileName, TScrollBox* scrollBox, TPopupMenu* popupMenu, TScrollBar* scrollBar,
                  TStatusBarEx* statusBar, TCheckTreeViewEx* tree);
  // Told after each panel of a set of several files has been built and
  // filled (files done, files listed), so that the window can show the set
  // growing while it opens.
  std::function<void(int done, int count)> OnProgress;
  // Whether the last LoadConfig could not read the root (nothing to show).
  bool RootUnreadable() const;
  bool ValidIndex(int index) const;
  TEditor* Panel(int index) const;
  // Copies the file to its backup name, replacing an older backup; the file
  // stays.
  bool MakeBackup(int index);
  // Saves a panel to its own file (newName empty or naming the same file) or
  // to newName (the set then follows the new name unless asCopy); a backup
  // is made only of the panel's own file. A file that another program
  // changed or deleted since it was read is overwritten only when the
  // prompter says so. Failures are told with the file and the system's
  // reason; a failure or a refusal leaves the panel modified and the files on
  // disk (the previous backup too) as they were. A copy an interrupted save
  // of the file left is told unless it was told already.
  bool SaveFile(int index, const std::string& newName, bool asCopy, bool withBackup);
  bool SaveActive(const std::string& newName, bool asCopy, bool withBackup);
  // Saves every modified panel; true when none failed.
  bool SaveAll(bool withBackup);
  // Reads the file again in the panel's encoding, or its backup in the
  // encoding the backup's bytes are in (the panel then counts as modified).
  bool ReloadFile(int index, bool fromBackup);
  bool ReloadActive(bool fromBackup);
  // One search or replace run across the shown panels with the search
  // settings' text, replacement and options; invert turns the direction
  // round (find up). A search stops at the first panel with a match and
  // gives 1, or 0; a replace gives the number of replacements made.
  int SearchInConfig(bool replace, bool invert);
  // Shows the search dialog (or the replace dialog), filled from the search
  // settings and the active editor; on OK stores what was entered and runs
  // the search.
  void ShowSearchDialog(bool replace);
  // The option bits of a run from the search settings.
  TOndSearchOptions SearchOptions(bool replace, bool invert) const;

 private:
  void Report(const std::string& message);
  TConfigPrompter& Ask();
  // Tells the copies an interrupted save of the file left (the newest
  // first), unless each was told already; they count as told afterwards.
  void TellLeftCopies(const std::string& fileName, const std::vector<std::string>& copies);
  void NoteToldCopy(const std::string& copyName);
  // The engine a walk asks whether a panel holds a match at all: one for
  // every walk, its pattern prepared once, rather than each panel's own.
  TOndEditSearchCustom& WalkEngine(bool regex);
  // Searches (or replaces in) one panel as the walk does with the panel's
  // own engine: a panel the walk enters is searched from its start (or its
  // end, backwards). The number of matches found.
  int SearchPanel(TEditor& panel, bool replace, bool backwards, TOndSearchOptions options);

  // The copies told so far (name, file and time, so that a new copy under
  // an old name is told again): each is told once, not at every save.
  std::set<std::string> FToldCopies;
  std::unique_ptr<TOndEditSearch> FWalkSearch;
  std::unique_ptr<TOndEditRegexSearch> FWalkRegexSearch;
};

}  // namespace ond
