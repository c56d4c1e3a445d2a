// The main window's actions: the menu tree, the pop-up menus, the keys, when
// each action is enabled and what it does. Every caption comes from the
// language table; toggles and radio groups write their settings variable and
// apply it to every open panel.
#include <algorithm>

#include "editor/OndEditKeyCmds.h"
#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "platform/core/SysUtils.h"
#include "services/UAbout.h"
#include "services/UErrorHandler.h"
#include "services/ULocalization.h"
#include "services/USystem.h"
#include "workspace/Compatibility.h"
#include "workspace/StatusPanels.h"
#include "workspace/UWorldOfTanksInfo.h"
#include "workspace/UMain.h"

namespace ond {

namespace {

using TExecute = void (*)(TMain&);
using TBoolSetting = bool& (*)();
using TIntSetting = int& (*)();

// One row of the action tree. A row named "-" is a separator of its parent's
// menu; a row without a parent is a menu of the menu bar.
struct TActionDef {
  const char* Name;
  const char* Parent;
  int Entry;            // language entry of the caption, or -1
  const char* Caption;  // the caption when Entry is -1 (the same in both languages)
  TShortCut Keys = 0;
  TActionRule Rule = TActionRule::Always;
  TExecute Execute = nullptr;
  TBoolSetting Toggle = nullptr;  // an automatically checked toggle of this setting
  TIntSetting Radio = nullptr;    // a radio item setting this variable to RadioValue
  int RadioValue = 0;
  int Group = 0;
};

auto& View() { return Settings.interface.view; }

}  // namespace

TAction* TMain::Action(const std::string& name) const {
  for (TAction* a : FActions)
    if (a->Name == name) return a;
  return nullptr;
}

bool TMain::RuleHolds(TActionRule rule) const {
  const TEditors* editors = Editors();
  const TEditor* active = editors ? editors->Active() : nullptr;
  const TZuFileInformation* file =
      active && FConfig->ValidIndex(active->Index) ? Config()->Files[static_cast<std::size_t>(active->Index)].get()
                                                   : nullptr;
  const auto exists = [](const std::string& name) { return FileExistsEx(name); };
  switch (rule) {
    case TActionRule::Always: return true;
    case TActionRule::Set: return ConfigOpen();
    case TActionRule::Active: return active != nullptr;
    case TActionRule::ActiveModified: return active && active->Modified;
    case TActionRule::ActiveModifiedExists: return active && active->Modified && file && exists(file->FileName);
    case TActionRule::ActiveExists: return file && exists(file->FileName);
    case TActionRule::ActiveBackupExists: return file && exists(file->BackupFileName());
    case TActionRule::SetModified: return editors && editors->Modified;
    case TActionRule::ActiveConfig: return ActiveConfigExists;
    case TActionRule::CanUndo: return active && active->Editor->CanUndo();
    case TActionRule::CanRedo: return active && active->Editor->CanRedo();
    case TActionRule::Selection: return active && active->Editor->SelAvail();
    case TActionRule::WritableSelection:
      return active && active->Editor->SelAvail() && !active->Editor->GetReadOnly();
    case TActionRule::CanPaste: return active && active->Editor->CanPaste();
    case TActionRule::SearchText: return ConfigOpen() && !Settings.search.find.text.empty();
    case TActionRule::Visible2: return editors && editors->VisibleCount > 1;
    case TActionRule::Visible2Active: return editors && editors->VisibleCount > 1 && active;
    case TActionRule::Panels2: return editors && editors->Count > 1;
    case TActionRule::Panels2Active: return editors && editors->Count > 1 && active;
    case TActionRule::ErrorHandler: return ErrorHandler != nullptr;
    case TActionRule::NotBuilt: return false;
    case TActionRule::NoUpdateCheck: return !UpdateCheckRunning();
    case TActionRule::ActiveHoldsFile: return active && active->HoldsItsFile();
  }
  return false;
}

void TMain::CreateActions() {
  using R = TActionRule;
  static const TActionDef defs[] = {
      {"aFile", nullptr, leFile, nullptr},
      {"aOpen", "aFile", leOpen, nullptr, ShortCut('O', ssCtrl), R::Always,
       [](TMain& m) {
         if (!m.CloseConfig()) return;
         if (m.dlgZuOpen->Execute()) m.OpenConfig(m.dlgZuOpen->FileName);
       }},
      {"aSave", "aFile", leSave, nullptr, ShortCut('S', ssCtrl), R::ActiveModified,
       [](TMain& m) { m.FConfig->SaveActive("", false, false); }},
      {"aSaveWithRecovery", "aFile", leSaveWithBackup, nullptr, 0, R::ActiveModifiedExists,
       [](TMain& m) { m.FConfig->SaveActive("", false, true); }},
      // A panel whose file could not be read has nothing of it to write.
      {"aSaveAs", "aFile", leSaveAs, nullptr, 0, R::ActiveHoldsFile, [](TMain& m) { m.SaveActiveAs(false); }},
      {"aSaveAsCopy", "aFile", leSaveAsCopy, nullptr, 0, R::ActiveHoldsFile, [](TMain& m) { m.SaveActiveAs(true); }},
      {"-", "aFile", -1, nullptr},
      {"aReOpen", "aFile", leReopen, nullptr, ShortCut(VK_F1 + 4, 0), R::ActiveExists,
       [](TMain& m) {
         if (m.LoseChanges(m.Editors()->Active()->Modified)) m.FConfig->ReloadActive(false);
       }},
      {"aRecovery", "aFile", leRecovery, nullptr, ShortCut(VK_F1 + 11, 0), R::ActiveBackupExists,
       [](TMain& m) {
         if (m.LoseChanges(m.Editors()->Active()->Modified)) m.FConfig->ReloadActive(true);
       }},
      {"-", "aFile", -1, nullptr},
      {"aSaveAll", "aFile", leSaveAll, nullptr, ShortCut('S', ssCtrl | ssShift), R::SetModified,
       [](TMain& m) { m.FConfig->SaveAll(false); }},
      {"aSaveAllWithRecovery", "aFile", leSaveAllWithBackup, nullptr, 0, R::SetModified,
       [](TMain& m) { m.FConfig->SaveAll(true); }},
      {"aCloseAll", "aFile", leCloseAll, nullptr, 0, R::Set, [](TMain& m) { m.CloseConfig(); }},
      {"-", "aFile", -1, nullptr},
      {"aLoadActiveConfig", "aFile", leLoadActiveConfig, nullptr, 0, R::ActiveConfig,
       [](TMain& m) { m.LoadActiveConfig(); }},
      {"-", "aFile", -1, nullptr},
      {"aExit", "aFile", leQuit, nullptr, ShortCut('W', ssCtrl), R::Always, [](TMain& m) { m.Close(); }},

      {"aEdit", nullptr, leEdit, nullptr},
      {"aUndo", "aEdit", leUndo, nullptr, ShortCut('Z', ssCtrl), R::CanUndo,
       [](TMain& m) { m.EditorCommand(ecUndo); }},
      {"aRedo", "aEdit", leRedo, nullptr, ShortCut('Z', ssCtrl | ssShift), R::CanRedo,
       [](TMain& m) { m.EditorCommand(ecRedo); }},
      {"-", "aEdit", -1, nullptr},
      {"aCut", "aEdit", leCut, nullptr, ShortCut('X', ssCtrl), R::WritableSelection,
       [](TMain& m) { m.EditorCommand(ecCut); }},
      {"aCopy", "aEdit", leCopy, nullptr, ShortCut('C', ssCtrl), R::Selection,
       [](TMain& m) { m.EditorCommand(ecCopy); }},
      {"aPaste", "aEdit", lePaste, nullptr, ShortCut('V', ssCtrl), R::CanPaste,
       [](TMain& m) { m.EditorCommand(ecPaste); }},
      {"aDelete", "aEdit", leDelete, nullptr, 0, R::WritableSelection,
       [](TMain& m) { m.EditorCommand(ecDeleteChar); }},
      {"-", "aEdit", -1, nullptr},
      {"aSelectAll", "aEdit", leSelectAll, nullptr, ShortCut('A', ssCtrl), R::Active,
       [](TMain& m) { m.EditorCommand(ecSelectAll); }},

      {"aSearch", nullptr, leSearchMenu, nullptr},
      {"aFind", "aSearch", leFind, nullptr, ShortCut('F', ssCtrl), R::Set,
       [](TMain& m) { m.FConfig->ShowSearchDialog(false); }},
      {"aFindReplace", "aSearch", leReplaceMenu, nullptr, ShortCut('R', ssCtrl), R::Set,
       [](TMain& m) { m.FConfig->ShowSearchDialog(true); }},
      {"-", "aSearch", -1, nullptr},
      {"aFindDown", "aSearch", leFindDown, nullptr, ShortCut(VK_F1 + 2, 0), R::SearchText,
       [](TMain& m) { m.FindNext(false); }},
      {"aFindUp", "aSearch", leFindUp, nullptr, ShortCut(VK_F1 + 2, ssShift), R::SearchText,
       [](TMain& m) { m.FindNext(true); }},

      {"aView", nullptr, leView, nullptr},
      {"aEditorSetting", "aView", leEditor, nullptr},
      {"aGutter", "aEditorSetting", leGutter, nullptr},
      {"aGutterVisible", "aGutter", leGutterVisible, nullptr, 0, R::Always, nullptr,
       []() -> bool& { return View().editors.gutter.visible; }},
      {"-", "aGutter", -1, nullptr},
      {"aGutterNumber", "aGutter", leGutterNumber, nullptr, 0, R::Always, nullptr,
       []() -> bool& { return View().editors.gutter.number; }},
      {"aGutterWWGlyph", "aGutter", leGutterWWGlyph, nullptr, 0, R::Always, nullptr,
       []() -> bool& { return View().editors.gutter.wwglyph; }},
      {"aLineModVisible", "aGutter", leLineModified, nullptr, 0, R::Always, nullptr,
       []() -> bool& { return View().editors.gutter.linemodified; }},
      {"-", "aEditorSetting", -1, nullptr},
      // What the two fonts would be is not decided: they show and do nothing.
      {"aHeaderFont", "aEditorSetting", leHeaderFont, nullptr, 0, R::NotBuilt},
      {"aEditorFont", "aEditorSetting", leEditorFont, nullptr, 0, R::NotBuilt},
      {"-", "aEditorSetting", -1, nullptr},
      {"aWordWrap", "aEditorSetting", leWordWrap, nullptr, 0, R::Always, nullptr,
       []() -> bool& { return View().editors.wordwrap; }},
      {"aDisplaySpecChar", "aEditorSetting", leSpecialChars, nullptr, 0, R::Always, nullptr,
       []() -> bool& { return View().editors.specialcharacters; }},
      {"aFreeCaretMovement", "aEditorSetting", leFreeCaret, nullptr, 0, R::Always, nullptr,
       []() -> bool& { return View().editors.freecaretmovement; }},
      {"aFilesTree", "aView", leFilesTree, nullptr},
      {"aFilesListVisible", "aFilesTree", leFilesTreeVisible, nullptr, 0, R::Always, nullptr,
       []() -> bool& { return View().fileslist.visible; }},
      {"-", "aFilesTree", -1, nullptr},
      {"aFilesListPosition", "aFilesTree", leFilesTreePosition, nullptr},
      {"aFilesListRight", "aFilesListPosition", leFilesTreeRight, nullptr, 0, R::Always, nullptr, nullptr,
       []() -> int& { return View().fileslist.position; }, 0, 3},
      {"aFilesListLeft", "aFilesListPosition", leFilesTreeLeft, nullptr, 0, R::Always, nullptr, nullptr,
       []() -> int& { return View().fileslist.position; }, 1, 3},
      {"aMainScroll", "aView", leMainScroll, nullptr},
      {"aMainScrollBarVisible", "aMainScroll", leMainScrollBar, nullptr, 0, R::Always, nullptr,
       []() -> bool& { return View().mainscroll.scrollbar.visible; }},
      {"-", "aMainScroll", -1, nullptr},
      {"aMainScrollActivation", "aMainScroll", leActivationMethod, nullptr},
      {"aMainScrollActivationShift", "aMainScrollActivation", leActivationShift, nullptr, 0, R::Always, nullptr,
       nullptr, []() -> int& { return View().mainscroll.activationmethod; }, 0, 4},
      {"aMainScrollActivationCtrl", "aMainScrollActivation", leActivationCtrl, nullptr, 0, R::Always, nullptr,
       nullptr, []() -> int& { return View().mainscroll.activationmethod; }, 1, 4},
      {"aMainScrollActivationCursor", "aMainScrollActivation", leActivationCursor, nullptr, 0, R::Always, nullptr,
       nullptr, []() -> int& { return View().mainscroll.activationmethod; }, 2, 4},
      {"-", "aView", -1, nullptr},
      {"aCodePage", "aView", leCodePage, nullptr},
      {"aLoadFileAsANSI", "aCodePage", leFileAnsi, nullptr, 0, R::Active, [](TMain& m) { m.ReloadActiveAs(0); }},
      {"aLoadFileAsUnicode", "aCodePage", leFileUnicode, nullptr, 0, R::Active,
       [](TMain& m) { m.ReloadActiveAs(1); }},
      {"aLoadFileAsUTF8", "aCodePage", leFileUtf8, nullptr, 0, R::Active, [](TMain& m) { m.ReloadActiveAs(2); }},
      {"-", "aCodePage", -1, nullptr},
      {"aLoadAllFilesAsANSI", "aCodePage", leConfigAnsi, nullptr, 0, R::Set, [](TMain& m) { m.ReloadAllAs(0); }},
      {"aLoadAllFilesAsUnicode", "aCodePage", leConfigUnicode, nullptr, 0, R::Set,
       [](TMain& m) { m.ReloadAllAs(1); }},
      {"aLoadAllFilesAsUTF8", "aCodePage", leConfigUtf8, nullptr, 0, R::Set, [](TMain& m) { m.ReloadAllAs(2); }},
      {"aSyntaxHighlighting", "aView", leSyntaxHighlighting, nullptr},
      {"aOndScheme", "aSyntaxHighlighting", leScheme, nullptr},
      {"aSyntaxNone", "aOndScheme", leSyntaxNone, nullptr, 0, R::Always, nullptr, nullptr,
       []() -> int& { return View().syntax.scheme; }, -1, 2},
      {"-", "aOndScheme", -1, nullptr},
      {"aSyntaxOndrel", "aOndScheme", -1, "&Ondrel", 0, R::Always, nullptr, nullptr,
       []() -> int& { return View().syntax.scheme; }, 0, 2},
      {"aSyntaxJavaScript", "aOndScheme", -1, "&JavaScript", 0, R::Always, nullptr, nullptr,
       []() -> int& { return View().syntax.scheme; }, 1, 2},
      {"aSyntaxPython", "aOndScheme", -1, "&Python", 0, R::Always, nullptr, nullptr,
       []() -> int& { return View().syntax.scheme; }, 2, 2},
      {"-", "aSyntaxHighlighting", -1, nullptr},
      {"aPairedBrackets", "aSyntaxHighlighting", lePairedBrackets, nullptr, 0, R::Always, nullptr,
       []() -> bool& { return View().syntax.pairedbrackets; }},
      {"aCodeFolding", "aSyntaxHighlighting", leCodeFolding, nullptr, 0, R::Always, nullptr,
       []() -> bool& { return View().syntax.codefolding; }},
      {"aLang", "aView", leLanguage, nullptr},
      {"aENGLang", "aLang", -1, "&English", 0, R::Always, nullptr, nullptr,
       []() -> int& { return View().language; }, LangEnglish, 1},
      {"aRUSLang", "aLang", -1, "\xD0\xF3\xF1\xF1\xEA\xE8\xE9", 0, R::Always, nullptr, nullptr,
       []() -> int& { return View().language; }, LangRussian, 1},
      {"-", "aView", -1, nullptr},
      {"aCollapseEditors", "aView", leCollapseEditors, nullptr},
      {"aCollapseAllEditor", "aCollapseEditors", leCollapseAll, nullptr, 0, R::Visible2,
       [](TMain& m) { m.CollapseRange(0, true); }},
      {"aCollapseAboveActiveEditor", "aCollapseEditors", leCollapseAbove, nullptr, 0, R::Visible2Active,
       [](TMain& m) { m.CollapseRange(1, true); }},
      {"aCollapseBelowActiveEditor", "aCollapseEditors", leCollapseBelow, nullptr, 0, R::Visible2Active,
       [](TMain& m) { m.CollapseRange(2, true); }},
      {"aExpandEditors", "aView", leExpandEditors, nullptr},
      {"aExpandAllEditors", "aExpandEditors", leExpandAll, nullptr, 0, R::Visible2,
       [](TMain& m) { m.CollapseRange(0, false); }},
      {"aExpandAboveActiveEditor", "aExpandEditors", leExpandAbove, nullptr, 0, R::Visible2Active,
       [](TMain& m) { m.CollapseRange(1, false); }},
      {"aExpandBelowActiveEditor", "aExpandEditors", leExpandBelow, nullptr, 0, R::Visible2Active,
       [](TMain& m) { m.CollapseRange(2, false); }},
      {"aHideEditors", "aView", leHideEditors, nullptr},
      {"aHideAllEditor", "aHideEditors", leHideAll, nullptr, 0, R::Visible2, [](TMain& m) { m.ShowRange(0, false); }},
      {"aHideAboveActiveEditor", "aHideEditors", leHideAbove, nullptr, 0, R::Visible2Active,
       [](TMain& m) { m.ShowRange(1, false); }},
      {"aHideBelowActiveEditor", "aHideEditors", leHideBelow, nullptr, 0, R::Visible2Active,
       [](TMain& m) { m.ShowRange(2, false); }},
      {"aShowEditors", "aView", leShowEditors, nullptr},
      {"aShowAllEditors", "aShowEditors", leShowAll, nullptr, 0, R::Panels2, [](TMain& m) { m.ShowRange(0, true); }},
      {"aShowAboveActiveEditor", "aShowEditors", leShowAbove, nullptr, 0, R::Panels2Active,
       [](TMain& m) { m.ShowRange(1, true); }},
      {"aShowBelowActiveEditor", "aShowEditors", leShowBelow, nullptr, 0, R::Panels2Active,
       [](TMain& m) { m.ShowRange(2, true); }},
      {"-", "aView", -1, nullptr},
      {"aAlignHeightEditors", "aView", leAlignHeights, nullptr},
      {"aSetHeightAsActiveEditor", "aAlignHeightEditors", leHeightAsActive, nullptr, 0, R::Visible2Active,
       [](TMain& m) { m.AlignHeights(true); }},
      {"aSetHeightAsMain", "aAlignHeightEditors", leHeightAsMain, nullptr, 0, R::Visible2,
       [](TMain& m) { m.AlignHeights(false); }},

      {"aHelp", nullptr, leHelp, nullptr},
      {"aSettings", "aHelp", leSettings, nullptr},
      {"aDebugMod", "aSettings", leTestMode, nullptr, 0, R::ErrorHandler, nullptr,
       []() -> bool& { return Settings.system.options.debugmod; }},
      {"aAutoCheckUpdate", "aSettings", leAutoCheckUpdate, nullptr, 0, R::Always, nullptr,
       []() -> bool& { return Settings.system.options.autocheckupdate; }},
      {"-", "aSettings", -1, nullptr},
      {"aFullScreenDefault", "aSettings", leFullScreenDefault, nullptr, 0, R::Always, nullptr,
       []() -> bool& { return Settings.system.options.fullscreendefault; }},
      {"aSearchOptionsRemember", "aSettings", leRememberSearch, nullptr, 0, R::Always, nullptr,
       []() -> bool& { return Settings.system.options.searchoptionsremember; }},
      {"-", "aSettings", -1, nullptr},
      {"aRestoreDefSettings", "aSettings", leRestoreDefaults, nullptr, 0, R::Always,
       [](TMain& m) {
         if (m.FSettings) m.FSettings->RestoreDefaultSettings();
       }},
      {"-", "aHelp", -1, nullptr},
      {"aWebSite", "aHelp", leWebSite, nullptr, 0, R::Always,
       [](TMain& m) { TAbout::OpenSite(m.OpenUrl); }},
      {"aCheckUpdate", "aHelp", leCheckUpdate, nullptr, 0, R::NoUpdateCheck,
       [](TMain& m) { m.CheckForUpdates(false); }},
      {"-", "aHelp", -1, nullptr},
      {"aAbout", "aHelp", leAbout, nullptr, 0, R::Always, [](TMain& m) {
         TAbout about(&m, m.OpenUrl);
         about.ShowModal();
       }},
  };

  std::vector<std::pair<std::string, TMenuItem*>> menus;
  const auto menuOf = [&](const char* name) -> TMenuItem* {
    for (auto& [n, item] : menus)
      if (n == name) return item;
    return nullptr;
  };
  for (const TActionDef& d : defs) {
    TMenuItem* parent = d.Parent ? menuOf(d.Parent) : MainMenu->Items();
    OND_ASSERT(parent != nullptr);
    auto* item = new TMenuItem(this);
    parent->Add(item);
    if (std::string_view(d.Name) == "-") {
      item->Caption = "-";
      continue;
    }
    auto* a = new TAction(this);
    a->Name = d.Name;
    a->SetShortCut(d.Keys);
    const TActionDef* def = &d;
    a->OnUpdate = [this, a, def](TObject*) {
      a->SetCaption(def->Entry >= 0 ? Lang(def->Entry) : std::string(def->Caption));
      // While the new program downloads, nothing may open or change a set.
      a->SetEnabled(!FUpdateDownloading && RuleHolds(def->Rule));
    };
    if (d.Toggle) {
      a->AutoCheck = true;
      a->SetChecked(d.Toggle());
      a->OnExecute = [this, a, def](TObject*) {
        def->Toggle() = a->GetChecked();
        ApplySetting(def->Name);
      };
    } else if (d.Radio) {
      a->AutoCheck = true;
      a->SetGroupIndex(d.Group);
      a->SetChecked(d.Radio() == d.RadioValue);
      a->OnExecute = [this, def](TObject*) {
        def->Radio() = def->RadioValue;
        ApplySetting(def->Name);
      };
    } else if (d.Execute) {
      a->OnExecute = [this, def](TObject*) { def->Execute(*this); };
    }
    item->SetAction(a);
    menus.emplace_back(d.Name, item);
    FActions.push_back(a);
  }
  aOpen = Action("aOpen");
  aCloseAll = Action("aCloseAll");
  aExit = Action("aExit");

  // The pop-up menus share the actions.
  const auto fill = [this](TPopupMenu* menu, std::initializer_list<const char*> names) {
    for (const char* name : names) {
      auto* item = new TMenuItem(this);
      if (std::string_view(name) == "-")
        item->Caption = "-";
      else
        item->SetAction(Action(name));
      menu->Items()->Add(item);
    }
  };
  fill(pmSBar, {"aLoadFileAsANSI", "aLoadFileAsUnicode", "aLoadFileAsUTF8", "-", "aLoadAllFilesAsANSI",
                "aLoadAllFilesAsUnicode", "aLoadAllFilesAsUTF8"});
  fill(pmEditors, {"aCut", "aCopy", "aPaste", "aDelete", "-", "aSelectAll"});
  // The tree's menu holds the hide and show sub-menus with their items.
  for (const char* parent : {"aHideEditors", "aShowEditors"}) {
    auto* sub = new TMenuItem(this);
    sub->SetAction(Action(parent));
    pmOpenFiles->Items()->Add(sub);
    TMenuItem* source = nullptr;
    for (int i = 0; i < MainMenu->Items()->Count() && !source; ++i) {
      TMenuItem* view = MainMenu->Items()->Items(i);
      for (int j = 0; j < view->Count() && !source; ++j)
        if (view->Items(j)->GetAction() == Action(parent)) source = view->Items(j);
    }
    for (int i = 0; source && i < source->Count(); ++i) {
      auto* item = new TMenuItem(this);
      item->SetAction(source->Items(i)->GetAction());
      sub->Add(item);
    }
  }
  Application()->UpdateActions();
  MainMenu->Rebuild();
}

void TMain::ApplySetting(const std::string& action) {
  const std::string_view n(action);
  if (n == "aFilesListVisible" || n == "aFilesListRight" || n == "aFilesListLeft") {
    ApplyTreeSettings();
  } else if (n == "aMainScrollBarVisible") {
    ApplyScrollBarSetting();
  } else if (n == "aSyntaxNone" || n == "aSyntaxOndrel" || n == "aSyntaxJavaScript" || n == "aSyntaxPython") {
    SetSyntaxScheme(View().syntax.scheme);
  } else if (n == "aCodeFolding") {
    SetCodeFolding(View().syntax.codefolding);
  } else if (n == "aENGLang" || n == "aRUSLang") {
    ApplyLanguage();
  } else if (n == "aDebugMod") {
    // The handler may refuse (no debug information): the setting and the
    // check mark take the state it reports.
    ErrorHandler->SetDebugMode(Settings.system.options.debugmod);
    Settings.system.options.debugmod = ErrorHandler->DebugMode();
    Action("aDebugMod")->SetChecked(ErrorHandler->DebugMode());
    ApplyLanguage();
  } else if (TEditors* editors = Editors()) {
    // Every other toggle of the view is an editor setting.
    editors->ApplySettings();
  }
}

void TMain::ApplyTreeSettings() {
  const auto& list = View().fileslist;
  const bool left = list.position == 1;
  DisableAlign();
  tvOpenFiles->SetAlign(left ? TAlign::alLeft : TAlign::alRight);
  VMainSplitter->SetAlign(left ? TAlign::alLeft : TAlign::alRight);
  // The splitter stays between the tree and the editors.
  if (left)
    VMainSplitter->SetLeft(tvOpenFiles->Left() + tvOpenFiles->Width());
  else
    VMainSplitter->SetLeft(tvOpenFiles->Left() - VMainSplitter->Width());
  VMainSplitter->SetColor(left ? static_cast<TColor>(0x808080) : clBtnFace);
  tvOpenFiles->SetVisible(list.visible);
  VMainSplitter->SetVisible(list.visible);
  EnableAlign();
}

void TMain::ApplyScrollBarSetting() {
  const TEditors* editors = Editors();
  VSBMain->SetVisible(View().mainscroll.scrollbar.visible && editors && editors->VisibleCount > 1);
}

int TMain::SaveFilterIndex(const std::string& fileName) const {
  std::string ext = ExtractFileExt(fileName);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  const std::string& filter = dlgZuSave->Filter;
  int count = 0;
  for (std::size_t at = filter.find("|*."); at != std::string::npos; at = filter.find("|*.", at + 3)) {
    ++count;
    const std::size_t start = at + 3;
    const std::size_t end = filter.find('|', start);
    const std::string candidate = filter.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (SameText(candidate, ext)) return count;
  }
  return 0;
}

void TMain::PrepareSaveDialog() {
  const TEditor* active = Editors()->Active();
  const std::string& name = Config()->Files[static_cast<std::size_t>(active->Index)]->FileName;
  if (const int index = SaveFilterIndex(name); index > 0) {
    dlgZuSave->FilterIndex = index;
    std::string ext = ExtractFileExt(name);
    dlgZuSave->DefaultExt = ext.empty() ? ext : ext.substr(1);
  }
  dlgZuSave->FileName = name;
}

void TMain::SaveActiveAs(bool asCopy) {
  // Refused before the dialog, which would ask about replacing a file that
  // is then not written.
  if (const TEditor* active = Editors()->Active(); !active->HoldsItsFile()) {
    const std::string reason = active->NotHeldText(active->UnreadFile);
    SBar->Panels()->Items(spMessage)->SetText(reason);
    Application()->MessageBox(reason, "Ondrel", MB_OK | MB_ICONWARNING);
    return;
  }
  PrepareSaveDialog();
  if (!dlgZuSave->Execute()) return;
  const std::string name = dlgZuSave->FileName;
  if (asCopy) {
    const std::string& own = Config()->Files[static_cast<std::size_t>(ActiveIndex())]->FileName;
    // The same file as saving decides it: a copy over it would write nothing new.
    if (SameFile(name, own)) {
      Application()->MessageBox(Lang(leCopyOverOriginal), "Ondrel", MB_OK | MB_ICONWARNING);
      return;
    }
  }
  FConfig->SaveActive(name, asCopy, false);
}

bool TMain::LoseChanges(bool modified) {
  return !modified || Application()->MessageBox(Lang(leChangesLost), "Ondrel", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void TMain::ReloadActiveAs(int kind) {
  TEditor* active = Editors()->Active();
  if (!LoseChanges(active->Modified)) return;
  const TZuFileInformation& f = *Config()->Files[static_cast<std::size_t>(active->Index)];
  if (!f.Missing && active->LoadFromFile(f.FileName, kind)) active->SetModified(false);
  SBar->Panels()->Items(spEncoding)->SetText(active->EncodingName());
  tvOpenFiles->Invalidate();
}

void TMain::ReloadAllAs(int kind) {
  if (!LoseChanges(IsModified())) return;
  TEditors* editors = Editors();
  for (int i = 0; i < editors->Count; ++i) {
    TEditor* panel = editors->Item(i);
    const TZuFileInformation& f = *Config()->Files[static_cast<std::size_t>(i)];
    if (panel && !f.Missing && panel->LoadFromFile(f.FileName, kind)) panel->SetModified(false);
  }
  if (const TEditor* active = editors->Active())
    SBar->Panels()->Items(spEncoding)->SetText(active->EncodingName());
  tvOpenFiles->Invalidate();
}

void TMain::LoadActiveConfig() {
  // The game may have changed its config since start-up: it is looked up
  // again, and a config that is gone is said so without closing anything.
  const std::string name = GetActiveConfigFile();
  if (name.empty() || !FileExistsEx(name)) {
    SBar->Panels()->Items(spMessage)->Tell(
        [name] { return Lang(leFileNotFound) + (name.empty() ? "" : ": " + Utf8ToAnsi(name)); });
    return;
  }
  if (!CloseConfig()) return;
  OpenConfig(name);
}

void TMain::EditorCommand(int command) {
  TEditor* active = Editors()->Active();
  active->Editor->CommandProcessor(static_cast<TOndEditorCommand>(command), 0, nullptr);
}

void TMain::CollapseRange(int range, bool collapse) {
  TEditors* editors = Editors();
  const int active = editors->ActiveIndex;
  const int first = range == 2 ? active + 1 : 0;
  const int last = range == 1 ? active - 1 : editors->Count - 1;
  for (int i = first; i <= last; ++i) {
    TEditor* panel = editors->Item(i);
    if (panel && panel->Shown && panel->Collapsed != collapse) panel->SetCollapsed(collapse);
  }
  if (collapse)
    range == 2 ? ScrollToLast() : ScrollToFirst();
  else
    range == 0 ? ScrollToFirst() : ScrollToActive();
}

void TMain::ShowRange(int range, bool show) {
  TEditors* editors = Editors();
  const int active = editors->ActiveIndex;
  // The root file's panel is never hidden, nor shown by these ranges.
  const int first = range == 2 ? std::max(active + 1, 1) : 1;
  const int last = range == 1 ? active - 1 : editors->Count - 1;
  // The panel that fills the view alone, if any, gives that height back.
  const int alone = show && editors->VisibleCount == 1 ? editors->FirstVisible() : -1;
  for (int i = first; i <= last; ++i) {
    TEditor* panel = editors->Item(i);
    if (!panel || panel->Shown == show) continue;
    if (show && Config()->Files[static_cast<std::size_t>(i)]->Missing && !panel->Modified) continue;
    panel->SetShown(show);
    if (i < tvOpenFiles->Items()->Count() && panel->Shown == show)
      tvOpenFiles->Items()->Item(i)->SetStateIndex(show ? 2 : 1);
  }
  if (range != 0) {
    if (TEditor* panel = editors->Active(); panel && !panel->Shown) {
      panel->SetShown(true);
      if (panel->Index < tvOpenFiles->Items()->Count()) tvOpenFiles->Items()->Item(panel->Index)->SetStateIndex(2);
    }
  }
  if (show) LayOutStack(alone);
  if (range == 0)
    ScrollToFirst();
  else
    ScrollToActive();
}

void TMain::LayOutStack(int wasAlone) {
  TEditors* editors = Editors();
  if (!editors || editors->VisibleCount < 2) return;
  // The scroll bar first: showing it narrows the view the panels must fit.
  ApplyScrollBarSetting();
  const int width = pScrollBox->ClientWidth();
  // A panel that filled the view alone takes the height panels get when a
  // set opens; every other panel keeps its own.
  const int view = pScrollBox->ClientHeight();
  const int even = static_cast<int>(Round(static_cast<double>(view) / editors->VisibleCount));
  const int openingHeight = std::max(even, static_cast<int>(TEditor::DefaultHeight));
  int top = -VSBMain->GetPosition();
  for (auto& panel : editors->Items) {
    if (!panel || !panel->Shown) continue;
    TControl* p = panel->Panel;
    const int height = panel->Index == wasAlone ? openingHeight : p->Height();
    if (p->GetAlign() != TAlign::alNone) p->SetAlign(TAlign::alNone);
    if (p->Left() != 0 || p->Top() != top || p->Width() != width || p->Height() != height)
      p->SetBounds(0, top, width, height);
    top += height;
  }
  editors->UpdateScrollMax();
  pScrollBox->Invalidate();
}

void TMain::AlignHeights(bool asActive) {
  TEditors* editors = Editors();
  const int height = asActive ? editors->Active()->Panel->Height() : pScrollBox->ClientHeight();
  for (int i = 0; i < editors->Count; ++i)
    if (TEditor* panel = editors->Item(i); panel && panel->Shown) panel->SetHeight(height);
  if (editors->Active())
    ScrollToActive();
  else
    ScrollToFirst();
}

}  // namespace ond
