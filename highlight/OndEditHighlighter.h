// The abstract highlighter the editor paints through: named text attributes
// (colours and font style), the word-break and identifier characters, an
// Enabled switch, listeners told when the highlighting changed, and the token
// interface that cuts one line at a time into coloured tokens while carrying
// a range state from line to line.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/MethodChains.h"
#include "platform/core/RangeState.h"
#include "platform/core/SysUtils.h"
#include "platform/core/Types.h"

namespace ond {

// Kinds of GetDefaultAttribute.
enum : int {
  OND_ATTR_COMMENT = 0,
  OND_ATTR_IDENTIFIER = 1,
  OND_ATTR_KEYWORD = 2,
  OND_ATTR_STRING = 3,
  OND_ATTR_WHITESPACE = 4,
};

class TOndHighlighterAttributes {
 public:
  explicit TOndHighlighterAttributes(std::string AttribName);
  virtual ~TOndHighlighterAttributes() = default;
  TOndHighlighterAttributes(const TOndHighlighterAttributes&) = delete;
  TOndHighlighterAttributes& operator=(const TOndHighlighterAttributes&) = delete;

  TColor GetBackground() const noexcept { return FBackground; }
  void SetBackground(TColor Value);
  TColor GetForeground() const noexcept { return FForeground; }
  void SetForeground(TColor Value);
  TFontStyles GetStyle() const noexcept { return FStyle; }
  void SetStyle(TFontStyles Value);
  // Bold 1, italic 2, underline 4, strike-out 8.
  int GetIntegerStyle() const noexcept { return FStyle; }
  void SetIntegerStyle(int Value);
  const std::string& Name() const noexcept { return FName; }

  // Stream defaults; nothing sets them.
  TColor BackgroundDefault = clBlack;
  TColor ForegroundDefault = clBlack;
  TFontStyles StyleDefault = 0;

  virtual void Assign(const TOndHighlighterAttributes& Source);
  void AssignColorAndStyle(const TOndHighlighterAttributes& Source);
  std::function<void(TOndHighlighterAttributes* Sender)> OnChange;

 protected:
  virtual void Changed();

 private:
  TColor FBackground = clNone;
  TColor FForeground = clNone;
  TFontStyles FStyle = 0;
  std::string FName;
};

class TOndCustomHighlighter {
 public:
  TOndCustomHighlighter();
  virtual ~TOndCustomHighlighter();
  TOndCustomHighlighter(const TOndCustomHighlighter&) = delete;
  TOndCustomHighlighter& operator=(const TOndCustomHighlighter&) = delete;

  virtual int GetAttribCount() const;
  // Null for an index out of range.
  virtual TOndHighlighterAttributes* GetAttribute(int Index) const;
  virtual TOndHighlighterAttributes* GetDefaultAttribute(int Kind) const = 0;
  virtual TSysCharSet GetIdentChars() const;
  const TSysCharSet& GetWordBreakChars() const noexcept { return FWordBreakChars; }
  virtual void SetWordBreakChars(const TSysCharSet& Chars) { FWordBreakChars = Chars; }

  // The token interface.
  virtual bool GetEol() const = 0;
  virtual TOndRangeState GetRange() const { return 0; }
  virtual std::string GetToken() const = 0;
  virtual TOndHighlighterAttributes* GetTokenAttribute() const = 0;
  virtual int GetTokenKind() const = 0;
  // 0-based start of the current token.
  virtual int GetTokenPos() const = 0;
  virtual void Next() = 0;
  // The caller keeps Text alive until it is done with the line.
  virtual void SetLine(std::string_view Text, int LineIndex) = 0;
  virtual void SetRange(TOndRangeState) {}
  virtual void ResetRange() {}
  void SkipToEol();

  bool GetEnabled() const noexcept { return FEnabled; }
  void SetEnabled(bool Value);

  // Adds an attribute under its name; a second one of the same name raises
  // EListError.
  void AddAttribute(TOndHighlighterAttributes* Attr);
  void AddAttributeChangeHandler(const TOndNotifyEvent& Handler);
  void RemoveAttributeChangeHandler(const TOndNotifyEvent& Handler);
  void NotifyHighlightChange(void* Sender);

  // Told when the highlighter goes (the class library's free notification).
  void FreeNotification(void* Client, std::function<void()> Gone);
  void RemoveFreeNotification(void* Client);

 protected:
  // The attributes by name, sorted; the base owns them.
  std::vector<TOndHighlighterAttributes*> FAttributes;
  bool FOwnsAttributes = true;

 private:
  TOndNotifyEventChain FAttrChangeHooks;
  bool FEnabled = true;
  TSysCharSet FWordBreakChars;
  std::vector<std::pair<void*, std::function<void()>>> FFreeNotifies;
};

}  // namespace ond
