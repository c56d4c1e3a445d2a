// Editor commands and keystroke tables: every action of the editor is a
// 16-bit command code; a keystroke table binds one key, or a chord of two
// keys, to a command. Keys are Windows virtual-key codes and modifiers the
// shift byte (bit 0 Shift, bit 1 Alt, bit 2 Ctrl); the window layer turns its
// own key events into these before asking the table.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Keys.h"
#include "platform/core/SysUtils.h"

namespace ond {

// ---------------------------------------------------------------------------
// Command codes

using TOndEditorCommand = std::uint16_t;

inline constexpr TOndEditorCommand ecNone = 0;

// Caret moves; each has a selecting twin 100 higher.
inline constexpr TOndEditorCommand ecLeft = 1;
inline constexpr TOndEditorCommand ecRight = 2;
inline constexpr TOndEditorCommand ecUp = 3;
inline constexpr TOndEditorCommand ecDown = 4;
inline constexpr TOndEditorCommand ecWordLeft = 5;
inline constexpr TOndEditorCommand ecWordRight = 6;
inline constexpr TOndEditorCommand ecLineStart = 7;
inline constexpr TOndEditorCommand ecLineEnd = 8;
inline constexpr TOndEditorCommand ecPageUp = 9;
inline constexpr TOndEditorCommand ecPageDown = 10;
inline constexpr TOndEditorCommand ecPageLeft = 11;
inline constexpr TOndEditorCommand ecPageRight = 12;
inline constexpr TOndEditorCommand ecPageTop = 13;
inline constexpr TOndEditorCommand ecPageBottom = 14;
inline constexpr TOndEditorCommand ecEditorTop = 15;
inline constexpr TOndEditorCommand ecEditorBottom = 16;
inline constexpr TOndEditorCommand ecGotoXY = 17;  // data: the TBufferCoord to go to

inline constexpr TOndEditorCommand ecSelLeft = 101;
inline constexpr TOndEditorCommand ecSelRight = 102;
inline constexpr TOndEditorCommand ecSelUp = 103;
inline constexpr TOndEditorCommand ecSelDown = 104;
inline constexpr TOndEditorCommand ecSelWordLeft = 105;
inline constexpr TOndEditorCommand ecSelWordRight = 106;
inline constexpr TOndEditorCommand ecSelLineStart = 107;
inline constexpr TOndEditorCommand ecSelLineEnd = 108;
inline constexpr TOndEditorCommand ecSelPageUp = 109;
inline constexpr TOndEditorCommand ecSelPageDown = 110;
inline constexpr TOndEditorCommand ecSelPageLeft = 111;
inline constexpr TOndEditorCommand ecSelPageRight = 112;
inline constexpr TOndEditorCommand ecSelPageTop = 113;
inline constexpr TOndEditorCommand ecSelPageBottom = 114;
inline constexpr TOndEditorCommand ecSelEditorTop = 115;
inline constexpr TOndEditorCommand ecSelEditorBottom = 116;
inline constexpr TOndEditorCommand ecSelGotoXY = 117;  // data: the TBufferCoord

inline constexpr TOndEditorCommand ecSelWord = 198;
inline constexpr TOndEditorCommand ecSelectAll = 199;
inline constexpr TOndEditorCommand ecCopy = 201;

inline constexpr TOndEditorCommand ecScrollUp = 211;
inline constexpr TOndEditorCommand ecScrollDown = 212;
inline constexpr TOndEditorCommand ecScrollLeft = 213;
inline constexpr TOndEditorCommand ecScrollRight = 214;

inline constexpr TOndEditorCommand ecInsertMode = 221;
inline constexpr TOndEditorCommand ecOverwriteMode = 222;
inline constexpr TOndEditorCommand ecToggleMode = 223;

inline constexpr TOndEditorCommand ecNormalSelect = 231;
inline constexpr TOndEditorCommand ecColumnSelect = 232;
inline constexpr TOndEditorCommand ecLineSelect = 233;

inline constexpr TOndEditorCommand ecMatchBracket = 250;
inline constexpr TOndEditorCommand ecCommentBlock = 251;

// Bookmarks: 301..310 jump to bookmark 0..9, 351..360 set bookmark 0..9.
inline constexpr TOndEditorCommand ecGotoMarker0 = 301;
inline constexpr TOndEditorCommand ecGotoMarker1 = 302;
inline constexpr TOndEditorCommand ecGotoMarker2 = 303;
inline constexpr TOndEditorCommand ecGotoMarker3 = 304;
inline constexpr TOndEditorCommand ecGotoMarker4 = 305;
inline constexpr TOndEditorCommand ecGotoMarker5 = 306;
inline constexpr TOndEditorCommand ecGotoMarker6 = 307;
inline constexpr TOndEditorCommand ecGotoMarker7 = 308;
inline constexpr TOndEditorCommand ecGotoMarker8 = 309;
inline constexpr TOndEditorCommand ecGotoMarker9 = 310;
inline constexpr TOndEditorCommand ecSetMarker0 = 351;
inline constexpr TOndEditorCommand ecSetMarker1 = 352;
inline constexpr TOndEditorCommand ecSetMarker2 = 353;
inline constexpr TOndEditorCommand ecSetMarker3 = 354;
inline constexpr TOndEditorCommand ecSetMarker4 = 355;
inline constexpr TOndEditorCommand ecSetMarker5 = 356;
inline constexpr TOndEditorCommand ecSetMarker6 = 357;
inline constexpr TOndEditorCommand ecSetMarker7 = 358;
inline constexpr TOndEditorCommand ecSetMarker8 = 359;
inline constexpr TOndEditorCommand ecSetMarker9 = 360;

inline constexpr TOndEditorCommand ecContextHelp = 490;

// Editing commands.
inline constexpr TOndEditorCommand ecDeleteLastChar = 501;
inline constexpr TOndEditorCommand ecDeleteChar = 502;
inline constexpr TOndEditorCommand ecDeleteWord = 503;
inline constexpr TOndEditorCommand ecDeleteLastWord = 504;
inline constexpr TOndEditorCommand ecDeleteBOL = 505;
inline constexpr TOndEditorCommand ecDeleteEOL = 506;
inline constexpr TOndEditorCommand ecDeleteLine = 507;
inline constexpr TOndEditorCommand ecClearAll = 508;
inline constexpr TOndEditorCommand ecLineBreak = 509;
inline constexpr TOndEditorCommand ecInsertLine = 510;
inline constexpr TOndEditorCommand ecChar = 511;     // carries the typed character
inline constexpr TOndEditorCommand ecImeStr = 550;   // data: an input-method string

inline constexpr TOndEditorCommand ecUndo = 601;
inline constexpr TOndEditorCommand ecRedo = 602;
inline constexpr TOndEditorCommand ecCut = 603;
inline constexpr TOndEditorCommand ecPaste = 604;

inline constexpr TOndEditorCommand ecBlockIndent = 610;
inline constexpr TOndEditorCommand ecBlockUnindent = 611;
inline constexpr TOndEditorCommand ecTab = 612;
inline constexpr TOndEditorCommand ecShiftTab = 613;

inline constexpr TOndEditorCommand ecUpperCase = 620;
inline constexpr TOndEditorCommand ecLowerCase = 621;
inline constexpr TOndEditorCommand ecToggleCase = 622;
inline constexpr TOndEditorCommand ecTitleCase = 623;
inline constexpr TOndEditorCommand ecUpperCaseBlock = 625;
inline constexpr TOndEditorCommand ecLowerCaseBlock = 626;
inline constexpr TOndEditorCommand ecToggleCaseBlock = 627;

inline constexpr TOndEditorCommand ecString = 630;   // data: a string
inline constexpr TOndEditorCommand ecAutoCompletion = 650;

// From here up the editor hands commands to its user-command event.
inline constexpr TOndEditorCommand ecUserFirst = 1001;

// Identifier of a command code from the table of named commands; false when
// the code has none.
bool CommandToIdent(TOndEditorCommand command, std::string& ident);
// The code of an identifier (case-insensitive, as stored identifiers are
// read); false when unknown.
bool IdentToCommand(std::string_view ident, TOndEditorCommand& command);
// The identifier, or the decimal number for a code without one.
std::string CommandToCodeText(TOndEditorCommand command);

// One entry of the identifier table.
struct TOndCommandIdent {
  TOndEditorCommand Command;
  const char* Ident;
};
// The whole identifier table, in its fixed order.
const std::vector<TOndCommandIdent>& EditorCommandIdents();

// ---------------------------------------------------------------------------
// Key bindings

OND_DECLARE_EXCEPTION(EOndKeyError, Exception);

class TOndEditKeyStrokes;

// One key, or a chord of two keys, bound to a command.
class TOndEditKeyStroke {
 public:
  // Use TOndEditKeyStrokes::Add; an item always belongs to a collection.
  explicit TOndEditKeyStroke(TOndEditKeyStrokes* collection) : Collection_(collection) {}
  TOndEditKeyStroke(const TOndEditKeyStroke&) = delete;
  TOndEditKeyStroke& operator=(const TOndEditKeyStroke&) = delete;

  // Copies command and both keys with their modifiers, without any check.
  void Assign(const TOndEditKeyStroke& source);

  TOndEditorCommand GetCommand() const noexcept { return Command_; }
  void SetCommand(TOndEditorCommand value) noexcept;

  // The fields set directly are stored without any check.
  std::uint16_t Key = 0;     // first key
  TShiftState Shift = 0;     // modifiers of the first key
  std::uint16_t Key2 = 0;    // second key of a chord; 0 = single key
  TShiftState Shift2 = 0;    // modifiers of the second key

  TShortCut GetShortCut() const noexcept { return ShortCut(Key, Shift); }
  TShortCut GetShortCut2() const noexcept { return ShortCut(Key2, Shift2); }
  // Both raise EOndKeyError "Shortcut already exists" when another binding of
  // the collection already has the resulting pair of short-cuts; the binding
  // then keeps its keys. Setting 0 is never refused.
  void SetShortCut(TShortCut value);
  void SetShortCut2(TShortCut value);

  // Name shown in the binding list: "ecCopy - Ctrl+C", with the second
  // short-cut after a blank when there is one.
  std::string GetDisplayName() const;

  TOndEditKeyStrokes* GetCollection() const noexcept { return Collection_; }
  // Position in the collection.
  int GetIndex() const noexcept;

 private:
  void CheckDuplicate(TShortCut first, TShortCut second) const;

  TOndEditKeyStrokes* Collection_;
  TOndEditorCommand Command_ = ecNone;
};

// One single-key binding of a fixed table.
struct TOndKeyBinding {
  TOndEditorCommand Command;
  std::uint16_t Key;
  TShiftState Shift;
};

// The ordered binding table of an editor. Lookups are linear; the first
// match in collection order wins.
class TOndEditKeyStrokes {
 public:
  // Owner: the editor the table belongs to (may be null).
  explicit TOndEditKeyStrokes(void* owner = nullptr) : Owner_(owner) {}
  TOndEditKeyStrokes(const TOndEditKeyStrokes&) = delete;
  TOndEditKeyStrokes& operator=(const TOndEditKeyStrokes&) = delete;

  void* GetOwner() const noexcept { return Owner_; }

  // A new empty binding at the end.
  TOndEditKeyStroke& Add();
  // A single-key binding, without the duplicate check.
  TOndEditKeyStroke& AddKey(TOndEditorCommand command, std::uint16_t key, TShiftState shift);
  int Count() const noexcept;
  // Raises EListError for an index out of range.
  TOndEditKeyStroke& Items(int index) const;
  void Delete(int index);
  void Clear() noexcept;

  // Index of the first single-key binding (Key2 = 0) of key and shift; -1 when none.
  int FindKeyBinding(std::uint16_t key, TShiftState shift) const noexcept;
  // Index of the first binding equal in all four; -1 when none.
  int FindTwoKeyBinding(std::uint16_t key, TShiftState shift, std::uint16_t key2,
                        TShiftState shift2) const noexcept;
  // Index of the first binding whose two short-cuts are the given ones; -1 when none.
  int FindTwoKeyShortcut(TShortCut shortCut, TShortCut shortCut2) const noexcept;

  // Clears, then adds a copy of each binding of source in order.
  void Assign(const TOndEditKeyStrokes& source);
  // Clears and adds the default bindings.
  void ResetDefaults();
  // Clears and adds the bindings of a fixed table, which must live as long
  // as the program (a static one). Editors are made in numbers, and nearly
  // all keep the bindings they were given: the table answers lookups from
  // the fixed one and makes its own items only when one is asked for or a
  // binding is added or deleted.
  void AssignFixed(std::span<const TOndKeyBinding> Fixed);

 private:
  friend class TOndEditKeyStroke;
  // Makes the items of the fixed bindings the table still answers from.
  void MakeItems() const;

  void* Owner_;
  std::vector<std::unique_ptr<TOndEditKeyStroke>> Items_;
  // The bindings the table holds while their items are not made; empty
  // when the items are the table.
  mutable std::span<const TOndKeyBinding> Fixed_;
};

}  // namespace ond
