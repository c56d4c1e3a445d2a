#include "editor/OndEditKeyCmds.h"

#include <algorithm>
#include <array>

namespace ond {

// ---------------------------------------------------------------------------
// Command identifiers

const std::vector<TOndCommandIdent>& EditorCommandIdents() {
  static const std::vector<TOndCommandIdent> table = {
      {ecNone, "ecNone"},
      {ecLeft, "ecLeft"},
      {ecRight, "ecRight"},
      {ecUp, "ecUp"},
      {ecDown, "ecDown"},
      {ecWordLeft, "ecWordLeft"},
      {ecWordRight, "ecWordRight"},
      {ecLineStart, "ecLineStart"},
      {ecLineEnd, "ecLineEnd"},
      {ecPageUp, "ecPageUp"},
      {ecPageDown, "ecPageDown"},
      {ecPageLeft, "ecPageLeft"},
      {ecPageRight, "ecPageRight"},
      {ecPageTop, "ecPageTop"},
      {ecPageBottom, "ecPageBottom"},
      {ecEditorTop, "ecEditorTop"},
      {ecEditorBottom, "ecEditorBottom"},
      {ecGotoXY, "ecGotoXY"},
      {ecSelLeft, "ecSelLeft"},
      {ecSelRight, "ecSelRight"},
      {ecSelUp, "ecSelUp"},
      {ecSelDown, "ecSelDown"},
      {ecSelWordLeft, "ecSelWordLeft"},
      {ecSelWordRight, "ecSelWordRight"},
      {ecSelLineStart, "ecSelLineStart"},
      {ecSelLineEnd, "ecSelLineEnd"},
      {ecSelPageUp, "ecSelPageUp"},
      {ecSelPageDown, "ecSelPageDown"},
      {ecSelPageLeft, "ecSelPageLeft"},
      {ecSelPageRight, "ecSelPageRight"},
      {ecSelPageTop, "ecSelPageTop"},
      {ecSelPageBottom, "ecSelPageBottom"},
      {ecSelEditorTop, "ecSelEditorTop"},
      {ecSelEditorBottom, "ecSelEditorBottom"},
      {ecSelGotoXY, "ecSelGotoXY"},
      {ecSelWord, "ecSelWord"},
      {ecSelectAll, "ecSelectAll"},
      {ecDeleteLastChar, "ecDeleteLastChar"},
      {ecDeleteChar, "ecDeleteChar"},
      {ecDeleteWord, "ecDeleteWord"},
      {ecDeleteLastWord, "ecDeleteLastWord"},
      {ecDeleteBOL, "ecDeleteBOL"},
      {ecDeleteEOL, "ecDeleteEOL"},
      {ecDeleteLine, "ecDeleteLine"},
      {ecClearAll, "ecClearAll"},
      {ecLineBreak, "ecLineBreak"},
      {ecInsertLine, "ecInsertLine"},
      {ecChar, "ecChar"},
      {ecImeStr, "ecImeStr"},
      {ecUndo, "ecUndo"},
      {ecRedo, "ecRedo"},
      {ecCut, "ecCut"},
      {ecCopy, "ecCopy"},
      {ecPaste, "ecPaste"},
      {ecScrollUp, "ecScrollUp"},
      {ecScrollDown, "ecScrollDown"},
      {ecScrollLeft, "ecScrollLeft"},
      {ecScrollRight, "ecScrollRight"},
      {ecInsertMode, "ecInsertMode"},
      {ecOverwriteMode, "ecOverwriteMode"},
      {ecToggleMode, "ecToggleMode"},
      {ecBlockIndent, "ecBlockIndent"},
      {ecBlockUnindent, "ecBlockUnindent"},
      {ecTab, "ecTab"},
      {ecShiftTab, "ecShiftTab"},
      {ecMatchBracket, "ecMatchBracket"},
      {ecCommentBlock, "ecCommentBlock"},
      {ecNormalSelect, "ecNormalSelect"},
      {ecColumnSelect, "ecColumnSelect"},
      {ecLineSelect, "ecLineSelect"},
      {ecAutoCompletion, "ecAutoCompletion"},
      {ecUserFirst, "ecUserFirst"},
      {ecContextHelp, "ecContextHelp"},
      {ecGotoMarker0, "ecGotoMarker0"},
      {ecGotoMarker1, "ecGotoMarker1"},
      {ecGotoMarker2, "ecGotoMarker2"},
      {ecGotoMarker3, "ecGotoMarker3"},
      {ecGotoMarker4, "ecGotoMarker4"},
      {ecGotoMarker5, "ecGotoMarker5"},
      {ecGotoMarker6, "ecGotoMarker6"},
      {ecGotoMarker7, "ecGotoMarker7"},
      {ecGotoMarker8, "ecGotoMarker8"},
      {ecGotoMarker9, "ecGotoMarker9"},
      {ecSetMarker0, "ecSetMarker0"},
      {ecSetMarker1, "ecSetMarker1"},
      {ecSetMarker2, "ecSetMarker2"},
      {ecSetMarker3, "ecSetMarker3"},
      {ecSetMarker4, "ecSetMarker4"},
      {ecSetMarker5, "ecSetMarker5"},
      {ecSetMarker6, "ecSetMarker6"},
      {ecSetMarker7, "ecSetMarker7"},
      {ecSetMarker8, "ecSetMarker8"},
      {ecSetMarker9, "ecSetMarker9"},
      {ecUpperCase, "ecUpperCase"},
      {ecLowerCase, "ecLowerCase"},
      {ecToggleCase, "ecToggleCase"},
      {ecTitleCase, "ecTitleCase"},
      {ecUpperCaseBlock, "ecUpperCaseBlock"},
      {ecLowerCaseBlock, "ecLowerCaseBlock"},
      {ecToggleCaseBlock, "ecToggleCaseBlock"},
      {ecString, "ecString"},
  };
  return table;
}

bool CommandToIdent(TOndEditorCommand command, std::string& ident) {
  for (const TOndCommandIdent& entry : EditorCommandIdents()) {
    if (entry.Command == command) {
      ident = entry.Ident;
      return true;
    }
  }
  return false;
}

bool IdentToCommand(std::string_view ident, TOndEditorCommand& command) {
  for (const TOndCommandIdent& entry : EditorCommandIdents()) {
    if (SameText(entry.Ident, ident)) {
      command = entry.Command;
      return true;
    }
  }
  return false;
}

std::string CommandToCodeText(TOndEditorCommand command) {
  std::string ident;
  if (CommandToIdent(command, ident)) return ident;
  return IntToStr(command);
}

// ---------------------------------------------------------------------------
// TOndEditKeyStroke

void TOndEditKeyStroke::Assign(const TOndEditKeyStroke& source) {
  Command_ = source.Command_;
  Key = source.Key;
  Shift = source.Shift;
  Key2 = source.Key2;
  Shift2 = source.Shift2;
}

void TOndEditKeyStroke::SetCommand(TOndEditorCommand value) noexcept {
  if (value != Command_) Command_ = value;
}

void TOndEditKeyStroke::CheckDuplicate(TShortCut first, TShortCut second) const {
  if (!Collection_) return;
  for (const auto& other : Collection_->Items_) {
    if (other.get() != this && other->GetShortCut() == first && other->GetShortCut2() == second)
      throw EOndKeyError("Shortcut already exists");
  }
}

void TOndEditKeyStroke::SetShortCut(TShortCut value) {
  if (value != 0) CheckDuplicate(value, GetShortCut2());
  ShortCutToKey(value, Key, Shift);
}

void TOndEditKeyStroke::SetShortCut2(TShortCut value) {
  if (value != 0) CheckDuplicate(GetShortCut(), value);
  ShortCutToKey(value, Key2, Shift2);
}

std::string TOndEditKeyStroke::GetDisplayName() const {
  std::string result = CommandToCodeText(Command_) + " - " + ShortCutToText(GetShortCut());
  if (GetShortCut2() != 0) result += " " + ShortCutToText(GetShortCut2());
  if (result.empty()) result = "TOndEditKeyStroke";
  return result;
}

int TOndEditKeyStroke::GetIndex() const noexcept {
  if (!Collection_) return -1;
  const auto& items = Collection_->Items_;
  for (std::size_t i = 0; i < items.size(); ++i)
    if (items[i].get() == this) return static_cast<int>(i);
  return -1;
}

// ---------------------------------------------------------------------------
// TOndEditKeyStrokes

namespace {

// The default bindings. Every editor starts with them, and most (a panel's)
// replace them before a key is ever looked up.
constexpr TShiftState kNoShift = 0;
constexpr TShiftState kCtrlShift = ssCtrl | ssShift;
constexpr TShiftState kAltShift = ssAlt | ssShift;
constexpr TOndKeyBinding kDefaults[] = {
    {ecUp, VK_UP, kNoShift},
    {ecSelUp, VK_UP, ssShift},
    {ecScrollUp, VK_UP, ssCtrl},
    {ecDown, VK_DOWN, kNoShift},
    {ecSelDown, VK_DOWN, ssShift},
    {ecScrollDown, VK_DOWN, ssCtrl},
    {ecLeft, VK_LEFT, kNoShift},
    {ecSelLeft, VK_LEFT, ssShift},
    {ecWordLeft, VK_LEFT, ssCtrl},
    {ecSelWordLeft, VK_LEFT, kCtrlShift},
    {ecRight, VK_RIGHT, kNoShift},
    {ecSelRight, VK_RIGHT, ssShift},
    {ecWordRight, VK_RIGHT, ssCtrl},
    {ecSelWordRight, VK_RIGHT, kCtrlShift},
    {ecPageDown, VK_NEXT, kNoShift},
    {ecSelPageDown, VK_NEXT, ssShift},
    {ecPageBottom, VK_NEXT, ssCtrl},
    {ecSelPageBottom, VK_NEXT, kCtrlShift},
    {ecPageUp, VK_PRIOR, kNoShift},
    {ecSelPageUp, VK_PRIOR, ssShift},
    {ecPageTop, VK_PRIOR, ssCtrl},
    {ecSelPageTop, VK_PRIOR, kCtrlShift},
    {ecLineStart, VK_HOME, kNoShift},
    {ecSelLineStart, VK_HOME, ssShift},
    {ecEditorTop, VK_HOME, ssCtrl},
    {ecSelEditorTop, VK_HOME, kCtrlShift},
    {ecLineEnd, VK_END, kNoShift},
    {ecSelLineEnd, VK_END, ssShift},
    {ecEditorBottom, VK_END, ssCtrl},
    {ecSelEditorBottom, VK_END, kCtrlShift},
    {ecToggleMode, VK_INSERT, kNoShift},
    {ecCopy, VK_INSERT, ssCtrl},
    {ecCut, VK_DELETE, ssShift},
    {ecPaste, VK_INSERT, ssShift},
    {ecDeleteChar, VK_DELETE, kNoShift},
    {ecDeleteLastChar, VK_BACK, kNoShift},
    {ecDeleteLastChar, VK_BACK, ssShift},
    {ecDeleteLastWord, VK_BACK, ssCtrl},
    {ecUndo, VK_BACK, ssAlt},
    {ecRedo, VK_BACK, kAltShift},
    {ecLineBreak, VK_RETURN, kNoShift},
    {ecLineBreak, VK_RETURN, ssShift},
    {ecTab, VK_TAB, kNoShift},
    {ecShiftTab, VK_TAB, ssShift},
    {ecContextHelp, VK_F1, kNoShift},
    {ecSelectAll, 'A', ssCtrl},
    {ecCopy, 'C', ssCtrl},
    {ecPaste, 'V', ssCtrl},
    {ecCut, 'X', ssCtrl},
    {ecBlockIndent, 'I', kCtrlShift},
    {ecBlockUnindent, 'U', kCtrlShift},
    {ecLineBreak, 'M', ssCtrl},
    {ecInsertLine, 'N', ssCtrl},
    {ecDeleteWord, 'T', ssCtrl},
    {ecDeleteLine, 'Y', ssCtrl},
    {ecDeleteEOL, 'Y', kCtrlShift},
    {ecUndo, 'Z', ssCtrl},
    {ecRedo, 'Z', kCtrlShift},
    {ecGotoMarker0, '0', ssCtrl},
    {ecGotoMarker1, '1', ssCtrl},
    {ecGotoMarker2, '2', ssCtrl},
    {ecGotoMarker3, '3', ssCtrl},
    {ecGotoMarker4, '4', ssCtrl},
    {ecGotoMarker5, '5', ssCtrl},
    {ecGotoMarker6, '6', ssCtrl},
    {ecGotoMarker7, '7', ssCtrl},
    {ecGotoMarker8, '8', ssCtrl},
    {ecGotoMarker9, '9', ssCtrl},
    {ecSetMarker0, '0', kCtrlShift},
    {ecSetMarker1, '1', kCtrlShift},
    {ecSetMarker2, '2', kCtrlShift},
    {ecSetMarker3, '3', kCtrlShift},
    {ecSetMarker4, '4', kCtrlShift},
    {ecSetMarker5, '5', kCtrlShift},
    {ecSetMarker6, '6', kCtrlShift},
    {ecSetMarker7, '7', kCtrlShift},
    {ecSetMarker8, '8', kCtrlShift},
    {ecSetMarker9, '9', kCtrlShift},
    {ecNormalSelect, 'N', kCtrlShift},
    {ecColumnSelect, 'C', kCtrlShift},
    {ecLineSelect, 'L', kCtrlShift},
    {ecMatchBracket, 'B', kCtrlShift},
};
static_assert(std::size(kDefaults) == 82);

// Index of the first fixed binding that matches; -1 when none.
template <class Match>
int FindFixed(std::span<const TOndKeyBinding> fixed, Match match) noexcept {
  for (std::size_t i = 0; i < fixed.size(); ++i)
    if (match(fixed[i])) return static_cast<int>(i);
  return -1;
}

}  // namespace

int TOndEditKeyStrokes::Count() const noexcept {
  return static_cast<int>(Fixed_.empty() ? Items_.size() : Fixed_.size());
}

void TOndEditKeyStrokes::MakeItems() const {
  if (Fixed_.empty()) return;
  auto& self = const_cast<TOndEditKeyStrokes&>(*this);
  // Made apart and then put in, so that running out of memory halfway leaves
  // the table as it was.
  std::vector<std::unique_ptr<TOndEditKeyStroke>> items;
  items.reserve(Fixed_.size());
  for (const TOndKeyBinding& b : Fixed_) {
    auto stroke = std::make_unique<TOndEditKeyStroke>(&self);
    stroke->SetCommand(b.Command);
    stroke->Key = b.Key;
    stroke->Shift = b.Shift;
    items.push_back(std::move(stroke));
  }
  self.Items_ = std::move(items);
  Fixed_ = {};
}

void TOndEditKeyStrokes::Clear() noexcept {
  Items_.clear();
  Fixed_ = {};
}

TOndEditKeyStroke& TOndEditKeyStrokes::Add() {
  MakeItems();
  Items_.push_back(std::make_unique<TOndEditKeyStroke>(this));
  return *Items_.back();
}

TOndEditKeyStroke& TOndEditKeyStrokes::AddKey(TOndEditorCommand command, std::uint16_t key,
                                              TShiftState shift) {
  TOndEditKeyStroke& stroke = Add();
  try {
    stroke.SetCommand(command);
    stroke.Key = key;
    stroke.Shift = shift;
  } catch (...) {
    Items_.pop_back();
    throw;
  }
  return stroke;
}

TOndEditKeyStroke& TOndEditKeyStrokes::Items(int index) const {
  if (index < 0 || index >= Count())
    throw EListError("List index out of bounds (" + IntToStr(index) + ")");
  MakeItems();
  return *Items_[static_cast<std::size_t>(index)];
}

void TOndEditKeyStrokes::Delete(int index) {
  if (index < 0 || index >= Count())
    throw EListError("List index out of bounds (" + IntToStr(index) + ")");
  MakeItems();
  Items_.erase(Items_.begin() + index);
}

int TOndEditKeyStrokes::FindKeyBinding(std::uint16_t key, TShiftState shift) const noexcept {
  if (!Fixed_.empty()) return FindFixed(Fixed_, [&](const TOndKeyBinding& b) { return b.Key == key && b.Shift == shift; });
  for (std::size_t i = 0; i < Items_.size(); ++i) {
    const TOndEditKeyStroke& s = *Items_[i];
    if (s.Key == key && s.Shift == shift && s.Key2 == 0) return static_cast<int>(i);
  }
  return -1;
}

int TOndEditKeyStrokes::FindTwoKeyBinding(std::uint16_t key, TShiftState shift, std::uint16_t key2,
                                          TShiftState shift2) const noexcept {
  if (!Fixed_.empty())
    return FindFixed(Fixed_, [&](const TOndKeyBinding& b) {
      return b.Key == key && b.Shift == shift && key2 == 0 && shift2 == 0;
    });
  for (std::size_t i = 0; i < Items_.size(); ++i) {
    const TOndEditKeyStroke& s = *Items_[i];
    if (s.Key == key && s.Shift == shift && s.Key2 == key2 && s.Shift2 == shift2)
      return static_cast<int>(i);
  }
  return -1;
}

int TOndEditKeyStrokes::FindTwoKeyShortcut(TShortCut shortCut, TShortCut shortCut2) const noexcept {
  if (!Fixed_.empty())
    return FindFixed(Fixed_, [&](const TOndKeyBinding& b) {
      return ShortCut(b.Key, b.Shift) == shortCut && ShortCut(0, 0) == shortCut2;
    });
  for (std::size_t i = 0; i < Items_.size(); ++i) {
    const TOndEditKeyStroke& s = *Items_[i];
    if (s.GetShortCut() == shortCut && s.GetShortCut2() == shortCut2) return static_cast<int>(i);
  }
  return -1;
}

void TOndEditKeyStrokes::Assign(const TOndEditKeyStrokes& source) {
  if (&source == this) return;
  Clear();
  if (!source.Fixed_.empty()) {
    Fixed_ = source.Fixed_;
    return;
  }
  for (const auto& item : source.Items_) Add().Assign(*item);
}

void TOndEditKeyStrokes::ResetDefaults() { AssignFixed(kDefaults); }

void TOndEditKeyStrokes::AssignFixed(std::span<const TOndKeyBinding> Fixed) {
  Items_.clear();
  Fixed_ = Fixed;
}

}  // namespace ond
