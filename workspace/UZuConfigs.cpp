#include "workspace/UZuConfigs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <array>
#include <chrono>
#include <cstdlib>

#include "platform/Forms.h"
#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "platform/core/ScopeGuard.h"
#include "platform/core/SysUtils.h"
#include "services/ULocalization.h"
#include "services/USystem.h"
#include "workspace/Compatibility.h"
#include "workspace/Encodings.h"
#include "workspace/StatusPanels.h"

namespace ond {

namespace {

// Fills a panel with the text discovery read for it, or else from the file
// (which also tells the reason when it cannot be read).
void FillPanel(TEditor* panel, TZuFileInformation& file) {
  std::string text;
  std::size_t replaced = 0;
  TDiskCopy copy;
  TByteFacts facts;
  if (file.TakeText(text, replaced, &copy, &facts)) {
    panel->LoadDecodedText(std::move(text), replaced, 2, &facts);
    panel->DiskCopy = copy;
  } else {
    panel->LoadFromFile(file.FileName, 2);
  }
}

// Why no file can stand under the name: EISDIR or ENAMETOOLONG; 0 when the
// name is free for a file to be made.
int NameTakenReason(const std::string& fileName) {
  if (PathHasNul(fileName)) return 0;
  struct stat st {};
  if (::stat(fileName.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? EISDIR : 0;
  return errno == ENAMETOOLONG ? ENAMETOOLONG : 0;
}

}  // namespace

TZuConfig::~TZuConfig() {
  Editors.reset();
  Information.reset();
}

bool TZuConfig::LoadConfig(const std::string& fileName, TScrollBox* scrollBox, TPopupMenu* popupMenu,
                           TScrollBar* scrollBar, TStatusBarEx* statusBar, TCheckTreeViewEx* tree) {
  Information = std::make_unique<TZuConfigInformation>(fileName, true);
  const bool result = Information->LoadInformation();
  Editors = std::make_unique<TEditors>(&Information->Files, popupMenu, scrollBar, statusBar, tree, scrollBox);
  const int count = Information->Count;
  if (count < 1) return result;
  // A referenced name that no file can ever take (a folder stands there, or
  // the name is too long) is no missing file to be made: its panel reads it
  // and says why it cannot, as for any other file that cannot be read.
  for (int i = 1; i < count; ++i) {
    TZuFileInformation& f = *Information->Files[static_cast<std::size_t>(i)];
    if (f.Missing && NameTakenReason(f.FileName) != 0) f.Missing = false;
  }
  if (Information->Files[0]->ReadError) {
    // Nothing of the set can be shown without its root.
    Report(Lang(leReadFailed) + "\n" + Information->Error);
    return result;
  }
  if (tree) tree->Items()->BeginUpdate();
  if (Information->ExistingCount() < 2) {
    TZuFileInformation& f = *Information->Files[0];
    TEditor* e = Editors->AddSingleEditor(0, Utf8ToAnsi(f.ExtractFileName()));
    if (!f.Missing) FillPanel(e, f);
    Editors->AddRootNode(Utf8ToAnsi(f.ExtractFileName()));
  } else {
    for (int i = 0; i < count; ++i) {
      TZuFileInformation& f = *Information->Files[static_cast<std::size_t>(i)];
      const std::string caption = Utf8ToAnsi(f.ExtractFileName());
      TEditor* e = Editors->AddEditor(i, caption, !f.Missing);
      if (!f.Missing) FillPanel(e, f);
      if (i == 0)
        Editors->AddRootNode(caption);
      else
        Editors->AddChildNode(caption, !f.Missing);
      if (OnProgress) OnProgress(i + 1, count);
    }
  }
  if (tree) tree->Items()->EndUpdate();
  // Whatever could not be read is told at once, so that no window stays
  // blank without a word.
  std::string problems = Information->Error;
  for (int i = 0; i < count; ++i) {
    const TEditor* e = Editors->Item(i);
    // A file discovery could not read is told there already.
    const TZuFileInformation& f = *Information->Files[static_cast<std::size_t>(i)];
    if (e && !e->LastError.empty() && !f.ReadError) problems += (problems.empty() ? "" : "\n") + e->LastError;
  }
  if (!problems.empty()) Report(Lang(leReadFailed) + "\n" + problems);
  // A file whose in-place save was interrupted may hold part of the newer
  // text: said when it is opened, not first when it is saved.
  std::vector<std::string> onDisk;
  for (int i = 0; i < count; ++i) {
    const TZuFileInformation& f = *Information->Files[static_cast<std::size_t>(i)];
    // One that could not be read is no less at risk.
    onDisk.push_back(f.Missing ? std::string() : f.FileName);
  }
  const std::vector<std::vector<std::string>> left = LeftSafetyCopies(onDisk);
  for (std::size_t i = 0; i < left.size(); ++i)
    if (!left[i].empty()) TellLeftCopies(onDisk[i], left[i]);
  return result;
}

bool TZuConfig::RootUnreadable() const {
  return !Information || Information->Count < 1 || Information->Files[0]->ReadError;
}

bool TZuConfig::ValidIndex(int index) const {
  return Information && index >= 0 && index < Information->Count;
}

TEditor* TZuConfig::Panel(int index) const {
  return ValidIndex(index) && Editors ? Editors->Item(index) : nullptr;
}

TConfigPrompter& TZuConfig::Ask() {
  static TMessageBoxPrompter boxes;
  return Prompter ? *Prompter : boxes;
}

namespace {

// Which copy a name holds now: the same name made anew is another copy.
std::string CopyIdentity(const std::string& copyName) {
  const TDiskCopy c = DiskCopyOf(copyName);
  return copyName + '\n' + IntToStr(static_cast<long long>(c.Inode)) + ':' + IntToStr(c.ModifiedNs);
}

}  // namespace

void TZuConfig::NoteToldCopy(const std::string& copyName) { FToldCopies.insert(CopyIdentity(copyName)); }

void TZuConfig::TellLeftCopies(const std::string& fileName, const std::vector<std::string>& copies) {
  bool untold = false;
  for (const std::string& c : copies) untold = FToldCopies.insert(CopyIdentity(c)).second || untold;
  if (untold) Ask().TellLeftCopy(fileName, copies.front(), copies.size() - 1);
}

void TZuConfig::Report(const std::string& message) {
  // Words of others (the system's, discovery's) are in it: told until the
  // language changes.
  if (Editors) Editors->TellStatus(spMessage, LangBound(message));
  Ask().ShowError(message);
}

bool TZuConfig::MakeBackup(int index) {
  if (!ValidIndex(index)) return false;
  const TZuFileInformation& f = *Information->Files[static_cast<std::size_t>(index)];
  try {
    return FileExistsEx(f.FileName) && MakeBackupCopy(f.FileName, f.BackupFileName()).empty();
  } catch (const std::exception&) {
    return false;
  }
}

bool TZuConfig::SaveFile(int index, const std::string& newName, bool asCopy, bool withBackup) {
  TEditor* panel = Panel(index);
  if (!panel) return false;
  TZuFileInformation& f = *Information->Files[static_cast<std::size_t>(index)];
  // Only the same file is the file itself: on this system a name in other
  // letter case is another file.
  const bool ownName = newName.empty() || SameFile(newName, f.FileName);
  const std::string target = ownName ? f.FileName : newName;

  if (!ownName) {
    const int other = Information->IndexOfFile(newName);
    if (other >= 0 && other != index) {
      Report(Lang(leNameInSet) + "\n" + Utf8ToAnsi(newName));
      return false;
    }
  }
  // Characters read as "?" would be lost in the file they came from.
  if (ownName && panel->LossyCount > 0 && FileExistsEx(target) && !Ask().SaveLossy(target, panel->LossyCount))
    return false;
  // So would UTF-16 text read one byte to a character: its zeros would go in.
  if (ownName && panel->HoldsZeroBytes() && FileExistsEx(target) && !Ask().SaveZeroBytes(target)) return false;

  const bool copy = ownName ? false : asCopy;
  const auto notSaved = [target] { return Lang(leSaveFailed) + " " + Utf8ToAnsi(target); };
  // The panel's own file is checked against the copy its text came from; a
  // new name was chosen in the save dialog, which asked about replacing.
  const TDiskCopy expected = panel->DiskCopy;
  const TDiskCopy* check = ownName ? &expected : nullptr;
  std::string backup = withBackup && ownName ? f.BackupFileName() : std::string();
  TWriteResult written;
  bool withoutCopy = false;
  for (;;) {
    written = panel->WriteTo(target, backup, check, withoutCopy);
    if (written.Outcome == TWriteOutcome::ChangedOnDisk) {
      // Asked once per file and save: the answer stands for this write.
      if (!Ask().OverwriteChangedFile(target, !DiskCopyOf(target).Exists)) {
        Editors->TellStatus(spMessage, notSaved);
        return false;
      }
      check = nullptr;
      continue;
    }
    if (written.Outcome == TWriteOutcome::BackupFailed) {
      if (!Ask().SaveWithoutBackup(backup, WriteFailureText(written))) {
        Editors->TellStatus(spMessage, notSaved);
        return false;
      }
      backup.clear();
      continue;
    }
    if (written.Outcome == TWriteOutcome::NoSafetyCopy && !withoutCopy) {
      const std::string reason = written.Error ? SystemErrorText(written.Error) : written.Reason;
      if (!Ask().WriteInPlaceWithoutCopy(target, written.SubjectName, reason)) {
        Editors->TellStatus(spMessage, notSaved);
        return false;
      }
      withoutCopy = true;
      continue;
    }
    break;
  }
  // A copy an interrupted save left stays until the user deals with it; it
  // is told once, when it is first seen.
  if (!written.LeftCopies.empty()) TellLeftCopies(target, written.LeftCopies);
  if (!written.Ok()) {
    // A copy the failure message names is told there.
    if (!written.SafetyCopy.empty()) NoteToldCopy(written.SafetyCopy);
    // What our own failed write left is no change by another program.
    if (written.Touched && ownName) panel->DiskCopy = written.Written;
    Report(Lang(leSaveFailed) + "\n" + Utf8ToAnsi(target) + "\n\n" + WriteFailureText(written));
    return false;
  }
  if (copy) return true;
  // The backup now holds the file the panel read, in the encoding it was
  // read in, unless the user chose to write over someone else's change.
  if (!backup.empty() && (check == nullptr || expected.Exists)) panel->RememberBackup(backup, check != nullptr);
  panel->Saved(written.Written);
  if (!ownName) {
    f.FileName = newName;
    f.Name = Utf8ToAnsi(ChangeFileExt(ExtractFileName(newName), ""));
    const std::string caption = Utf8ToAnsi(f.ExtractFileName());
    panel->SetCaption(caption);
    if (Editors->Tree && index < Editors->Tree->Items()->Count())
      Editors->Tree->Items()->Item(index)->SetText(caption);
    Editors->SetStatus(spMessage, Utf8ToAnsi(newName));
  }
  f.Missing = false;
  panel->LossyCount = 0;
  panel->UpdateHeader();
  if (Editors->Tree) Editors->Tree->Invalidate();
  return true;
}

bool TZuConfig::SaveActive(const std::string& newName, bool asCopy, bool withBackup) {
  if (!Editors || Editors->ActiveIndex < 0) return false;
  return SaveFile(Editors->ActiveIndex, newName, asCopy, withBackup);
}

bool TZuConfig::SaveAll(bool withBackup) {
  FailedFiles.clear();
  if (!Information || !Editors) return true;
  for (int i = 0; i < Information->Count; ++i) {
    TEditor* panel = Editors->Item(i);
    if (!panel || !panel->Modified) continue;  // untouched files and their backups stay as they are
    if (!SaveFile(i, "", false, withBackup)) FailedFiles.push_back(Information->Files[static_cast<std::size_t>(i)]->FileName);
  }
  return FailedFiles.empty();
}

bool TZuConfig::ReloadFile(int index, bool fromBackup) {
  TEditor* panel = Panel(index);
  if (!panel) return false;
  const TZuFileInformation& f = *Information->Files[static_cast<std::size_t>(index)];
  bool ok;
  // Whatever stands at the backup's name (a link or a pipe too) is the
  // backup asked for: what cannot be loaded is told, not passed over.
  if (struct stat at {}; fromBackup && ::lstat(f.BackupFileName().c_str(), &at) == 0) {
    // The backup is the file as it was before a save, in whatever encoding
    // that was.
    std::string problem;
    if (!panel->LoadBackup(f.BackupFileName(), problem)) {
      Report(problem);
      return false;
    }
    ok = true;
  } else {
    ok = panel->LoadFromFile(f.FileName, panel->Encoding);
  }
  if (ok && panel->Active) {
    Editors->SetStatus(spEncoding, panel->EncodingName());
    Editors->SetStatus(spFileState, panel->Modified ? Lang(leModified) : std::string());
  }
  if (Editors->Tree) Editors->Tree->Invalidate();
  return ok;
}

bool TZuConfig::ReloadActive(bool fromBackup) {
  if (!Editors || Editors->ActiveIndex < 0) return false;
  return ReloadFile(Editors->ActiveIndex, fromBackup);
}

TOndSearchOptions TZuConfig::SearchOptions(bool replace, bool invert) const {
  const auto& o = Settings.search.options;
  TOndSearchOptions options = 0;
  if (replace) options |= ssoReplace | ssoReplaceAll | ssoPrompt;
  if (o.backwards != invert) options |= ssoBackwards;
  if (o.casesensitive) options |= ssoMatchCase;
  if (!SearchContinues) options |= ssoEntireScope;
  if (o.selectiononly) options |= ssoSelectedOnly;
  if (o.wholewords) options |= ssoWholeWord;
  return options;
}

namespace {

// How often a running replace-all tells its progress.
constexpr std::chrono::milliseconds ReplaceProgressInterval{200};

bool HasText(TOndEditor* editor) {
  const int count = editor->Lines()->GetCount();
  return count > 1 || (count == 1 && !editor->Lines()->GetView(0).empty());
}

// How many panels ahead of the walk are read at once.
constexpr int kPanelsReadAhead = 16;

// Reads the objects a walk asks of panels from..to (to excluded, either way)
// before it gets there: each panel's own, its editor's, its lines' and the
// first and last line's text lie apart in memory, each found through the
// one before. Asked one panel at a time, every fetch waits for the one
// before it; one step at a time for all those panels, the memory fetches
// the same step of every panel side by side.
void ReadAhead(const TEditors& editors, int from, int to) {
  std::array<const TOndEditor*, kPanelsReadAhead> editor{};
  std::array<const TOndEditStringList*, kPanelsReadAhead> lines{};
  const int step = from < to ? 1 : -1;
  const int n = std::min(std::abs(to - from), kPanelsReadAhead);
  for (int k = 0; k < n; ++k) {
    const TEditor* panel = editors.Item(from + k * step);
    editor[static_cast<std::size_t>(k)] = panel ? panel->Editor : nullptr;
    if (panel) __builtin_prefetch(&panel->Shown);
  }
  for (int k = 0; k < n; ++k)
    if (const TOndEditor* e = editor[static_cast<std::size_t>(k)]) {
      lines[static_cast<std::size_t>(k)] = e->Lines();
      __builtin_prefetch(e->GetSearchEngine());
    }
  for (const TOndEditStringList* l : lines)
    if (l) __builtin_prefetch(l->GetView(0).data());
  for (const TOndEditStringList* l : lines)
    if (l) __builtin_prefetch(l->GetView(l->GetCount() - 1).data());
}

// A panel the walk enters is searched from its start going down and from
// its end going up; one it passes without a match is left with its caret
// there, as that search leaves it.
void PlaceWalkCaret(TOndEditor& ed, bool backwards) {
  const int last = ed.Lines()->GetCount();
  ed.SetCaretXY(backwards ? BufferCoord(static_cast<int>(ed.Lines()->GetView(last - 1).size()) + 1, last)
                          : BufferCoord(1, 1));
}

}  // namespace

TOndEditSearchCustom& TZuConfig::WalkEngine(bool regex) {
  if (regex) {
    if (!FWalkRegexSearch) FWalkRegexSearch = std::make_unique<TOndEditRegexSearch>();
    return *FWalkRegexSearch;
  }
  if (!FWalkSearch) FWalkSearch = std::make_unique<TOndEditSearch>();
  return *FWalkSearch;
}

int TZuConfig::SearchPanel(TEditor& panel, bool replace, bool backwards, TOndSearchOptions options) {
  TEditors& editors = *Editors;
  TOndEditor* ed = panel.Editor;
  TOndSearchOptions panelOptions = options;
  if (!panel.Active) {
    PlaceWalkCaret(*ed, backwards);
    // The caret was put there by the walk, not by the user: a match that is
    // empty at the panel's very start (or end) still counts.
    panelOptions |= ssoEntireScope;
  }
  // A long replace-all shows how far it got instead of a frozen window.
  auto shown = std::chrono::steady_clock::now();
  if (replace)
    ed->OnReplaceProgress = [&editors, &shown](TObject*, int done, int lines, int replaced) {
      const auto now = std::chrono::steady_clock::now();
      if (now - shown < ReplaceProgressInterval) return;
      shown = now;
      const long long percent = lines > 0 ? 100LL * done / lines : 100;
      editors.SetStatus(spMessage, Lang(leSubsUsed) + " " + IntToStr(editors.ReplaceCount + replaced) + " (" +
                                       IntToStr(percent) + "%)");
      Application()->ProcessMessagesExceptInput();
    };
  const TScopeExit noProgress([ed] { ed->OnReplaceProgress = nullptr; });
  const int n = ed->SearchReplace(Settings.search.find.text, Settings.search.replace.text, panelOptions);
  if ((replace || n == 0) && ed->SelAvail()) ed->SetCaretXY(backwards ? ed->GetBlockBegin() : ed->GetBlockEnd());
  return n;
}

int TZuConfig::SearchInConfig(bool replace, bool invert) {
  if (!Editors) return 0;
  TEditors& editors = *Editors;
  const auto& o = Settings.search.options;
  const std::string& text = Settings.search.find.text;
  const std::string& replacement = Settings.search.replace.text;
  if (text.empty()) return 0;
  const TOndSearchOptions options = SearchOptions(replace, invert);
  const bool backwards = options & ssoBackwards;
  const bool leaveStart = o.inallconfig && !o.selectiononly;

  auto endReplace = [&editors]() {
    const int count = editors.ReplaceCount;
    editors.ReplaceAnswer = raReplace;
    editors.ReplaceCount = 0;
    Application()->MessageBeep(MB_ICONASTERISK);
    editors.TellStatus(spMessage, [count] { return Lang(leSubsUsed) + " " + IntToStr(static_cast<long long>(count)); });
    return count;
  };
  // A text replaced by itself is no replacement: nothing is touched.
  if (replace && text == replacement) return endReplace();

  TOndEditSearchCustom& walkEngine = WalkEngine(o.regex);
  int start = editors.ActiveIndex;
  if (start < 0) start = backwards ? editors.LastVisible() : editors.FirstVisible();
  TEditor* found = nullptr;
  try {
    for (int i = start; i >= 0 && i < editors.Count; i += backwards ? -1 : 1) {
      if (leaveStart && (i - start) % kPanelsReadAhead == 0)
        ReadAhead(editors, i, backwards ? std::max(i - kPanelsReadAhead, -1)
                                        : std::min(i + kPanelsReadAhead, editors.Count));
      TEditor* panel = editors.Item(i);
      if (panel && panel->Shown && HasText(panel->Editor)) {
        TOndEditor* ed = panel->Editor;
        TOndEditSearchCustom* engine = o.regex ? static_cast<TOndEditSearchCustom*>(panel->RegexSearchEngine.get())
                                               : static_cast<TOndEditSearchCustom*>(panel->SearchEngine.get());
        if (ed->GetSearchEngine() != engine) ed->SetSearchEngine(engine);
        int n = 0;
        // Only a panel with a match is searched through its editor; one
        // without costs the scan and the caret's move to where the search
        // would have started.
        if (panel->Active || ed->HasMatch(walkEngine, text, options))
          n = SearchPanel(*panel, replace, backwards, options);
        else
          PlaceWalkCaret(*ed, backwards);
        if (replace) {
          if (n > 0)
            editors.ReplaceAnswer = panel->ReplaceAnswer;
          else
            panel->ReplaceAnswer = editors.ReplaceAnswer;
          editors.ReplaceCount += n;
        } else if (n > 0) {
          found = panel;
          break;
        }
      }
      if (!leaveStart) break;
      if (replace && editors.ReplaceAnswer == raCancel) break;
    }
  } catch (const std::exception& e) {
    // A pattern the engine cannot take: told, and what was replaced stays
    // (each panel can undo it).
    editors.ReplaceAnswer = raReplace;
    editors.ReplaceCount = 0;
    editors.TellStatus(spMessage, LangBound(e.what()));
    Application()->MessageBox(e.what(), "Ondrel", MB_OK | MB_ICONERROR);
    return 0;
  }

  if (replace) return endReplace();
  if (found) {
    if (found->Collapsed) {
      found->SetCollapsed(false);
      found->Editor->MakeCaretVisibleEx(true);
    }
    if (!found->Active) {
      if (editors.OnScrollToEditor) editors.OnScrollToEditor(found->Index);
      found->EditorClick();
      if (found->Editor->CanFocus()) found->Editor->SetFocus();
    }
    Application()->ProcessMessages();
    return 1;
  }
  Application()->MessageBeep(MB_ICONASTERISK);
  editors.TellStatus(spMessage, [text] { return "\"" + text + "\" " + Lang(leNotFound); });
  return 0;
}

}  // namespace ond
