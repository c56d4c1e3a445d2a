// The abstract highlighter the editor paints through: named text attributes
// (colours and font style), the word-break and identifier characters, an
// Enabled switch, listeners told when the highlighting changed, and the token
// interface that cuts one line at a time into coloured tokens while carrying
// a range state from line to line. Each highlighter also owns the fold and
// skip regions of its scheme and a default file filter.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "highlight/OndFoldRegions.h"
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

// What a highlighter can do besides tokenizing, as a set of bits.
using TOndHighlighterCapabilities = std::uint8_t;
constexpr TOndHighlighterCapabilities hcUserSettings = 0x01;
constexpr TOndHighlighterCapabilities hcRegistry = 0x02;

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
  // The rule-driven highlighter names its rules' attributes uniquely.
  void SetName(std::string Value) { FName = std::move(Value); }

  // Stream defaults; nothing sets them.
  TColor BackgroundDefault = clBlack;
  TColor ForegroundDefault = clBlack;
  TFontStyles StyleDefault = 0;

  virtual void Assign(const TOndHighlighterAttributes& Source);
  void AssignColorAndStyle(const TOndHighlighterAttributes& Source);
  // Colours and style from a foreign Windows editor's settings in the Wine
  // prefix in use; false when they cannot be read (OndHighlighterSettings.h).
  virtual bool ImportColorSettings(std::uintptr_t RootKey, std::string_view Key, std::string_view ValueName,
                                   bool Compact);
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
  // Characters 33..255.
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
  // Passes over the rest of the line (a highlighter may do it faster than
  // token by token through Next).
  virtual void SkipToEol();
  // The same pass when only the range the line ends in is wanted: where the
  // last token began (GetTokenPos) is left unspecified, which lets a
  // highlighter jump over the stretches that cannot change its range.
  virtual void SkipToEolForRange() { SkipToEol(); }
  // The ranges Count lines end in, in Ends: line i is line FirstIndex + i
  // with Lines[i] its text (tabs expanded), the first starting in the
  // current range and each other one in the range the one before ended in.
  // The same as SetLine, SkipToEolForRange and GetRange line by line, which
  // is what the base does; a highlighter may go faster without a call per
  // line. The caller keeps the texts alive until it returns.
  virtual void RangesOfLines(const std::string_view* Lines, int Count, int FirstIndex, TOndRangeState* Ends);
  // Goes on cutting Text where an earlier cut of the same line stopped: Pos
  // is where the token it stood on ended and Range what GetRange said then.
  // A highlighter shared by several editors is cut elsewhere in between, so
  // a long line can be cut in pieces without starting it again. False when
  // the highlighter cannot: the caller then sets the line again.
  virtual bool ResumeLine(std::string_view Text, int LineIndex, int Pos, TOndRangeState Range);

  bool GetEnabled() const noexcept { return FEnabled; }
  void SetEnabled(bool Value);

  // The open-dialog filter, "Name Files(*.a;*.b)|*.a;*.b;".
  virtual std::string GetDefaultFilter() const { return FDefaultFilter; }
  virtual void SetDefaultFilter(std::string Value) { FDefaultFilter = std::move(Value); }
  virtual bool IsFilterStored() const { return true; }
  virtual std::string GetSampleSource() const { return {}; }
  virtual void SetSampleSource(std::string) {}
  virtual std::string GetLanguageDisplayName() const { return GetLanguageName(); }
  virtual TOndHighlighterCapabilities GetCapabilities() const { return hcRegistry; }
  // The base has no language: raises "<class>.GetLanguageName not implemented".
  virtual std::string GetLanguageName() const;
  // Whether the file's extension is one of the filter's masks.
  virtual bool IsSupportedFile(std::string_view FileName) const;
  virtual bool IsKeyword(std::string_view) const { return false; }
  virtual bool UseSetting(int) { return false; }
  virtual void GetSettingNames(std::vector<std::string>& List) const { List.clear(); }
  virtual const char* ClassName() const { return "TOndCustomHighlighter"; }

  // Attribute colours kept outside a scheme: the registry forms in the
  // program's own registry file (a sub-key per attribute under Key), the
  // file forms in an ini file with a section per attribute.
  virtual bool LoadFromRegistry(std::uintptr_t RootKey, std::string_view Key);
  virtual bool SaveToRegistry(std::uintptr_t RootKey, std::string_view Key);
  virtual bool LoadFromFile(const std::string& FileName);
  virtual bool SaveToFile(const std::string& FileName);

  // Attributes by name, the sample source from the same class, the word
  // breaks, the filter and Enabled.
  virtual void Assign(const TOndCustomHighlighter& Source);

  // The scheme's fold and skip regions; every highlighter has them.
  TFoldRegions& FoldRegions() noexcept { return *FFoldRegions; }
  const TFoldRegions& FoldRegions() const noexcept { return *FFoldRegions; }

  // Adds an attribute under its name. In a sorted list (the base's) a second
  // one of the same name raises EListError; an unsorted list ignores it.
  void AddAttribute(TOndHighlighterAttributes* Attr);
  void AddAttributeChangeHandler(const TOndNotifyEvent& Handler);
  void RemoveAttributeChangeHandler(const TOndNotifyEvent& Handler);
  void NotifyHighlightChange(void* Sender);

  // Told when the highlighter goes (the class library's free notification).
  void FreeNotification(void* Client, std::function<void()> Gone);
  void RemoveFreeNotification(void* Client);

 protected:
  // The attributes, sorted by name unless switched off; the base owns them.
  std::vector<TOndHighlighterAttributes*> FAttributes;
  bool FOwnsAttributes = true;
  bool FSortedAttributes = true;
  // Mutable: a highlighter may build its filter when first asked.
  mutable std::string FDefaultFilter;

 private:
  TOndNotifyEventChain FAttrChangeHooks;
  bool FEnabled = true;
  TSysCharSet FWordBreakChars;
  std::unique_ptr<TFoldRegions> FFoldRegions;
  std::vector<std::pair<void*, std::function<void()>>> FFreeNotifies;
};

// The process-wide list of highlighter classes; nothing reads it yet.
struct TOndHighlighterClass {
  const char* Name;
  std::unique_ptr<TOndCustomHighlighter> (*Create)();
};
class TOndHighlighterList {
 public:
  static TOndHighlighterList& Instance();
  // Appends the class unless it is there; its index either way.
  int RegisterHighlighter(const TOndHighlighterClass& Class);
  int Count() const noexcept { return static_cast<int>(FClasses.size()); }
  const TOndHighlighterClass& Items(int Index) const { return FClasses.at(static_cast<std::size_t>(Index)); }

 private:
  std::vector<TOndHighlighterClass> FClasses;
};

}  // namespace ond
