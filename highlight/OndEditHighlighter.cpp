#include "highlight/OndEditHighlighter.h"

#include <algorithm>
#include <typeinfo>

#include "highlight/OndHighlighterSettings.h"
#include "highlight/OndRegistryFile.h"
#include "platform/core/CodePage.h"

namespace ond {

TOndHighlighterAttributes::TOndHighlighterAttributes(std::string AttribName) : FName(std::move(AttribName)) {}

void TOndHighlighterAttributes::Changed() {
  if (OnChange) OnChange(this);
}
void TOndHighlighterAttributes::SetBackground(TColor Value) {
  if (FBackground == Value) return;
  FBackground = Value;
  Changed();
}
void TOndHighlighterAttributes::SetForeground(TColor Value) {
  if (FForeground == Value) return;
  FForeground = Value;
  Changed();
}
void TOndHighlighterAttributes::SetStyle(TFontStyles Value) {
  if (FStyle == Value) return;
  FStyle = Value;
  Changed();
}
void TOndHighlighterAttributes::SetIntegerStyle(int Value) {
  SetStyle((Value & 1) ? fsBold : 0);
  if (Value & 2) SetStyle(FStyle | fsItalic);
  if (Value & 4) SetStyle(FStyle | fsUnderline);
  if (Value & 8) SetStyle(FStyle | fsStrikeOut);
}
void TOndHighlighterAttributes::Assign(const TOndHighlighterAttributes& Source) {
  FName = Source.FName;
  AssignColorAndStyle(Source);
}
void TOndHighlighterAttributes::AssignColorAndStyle(const TOndHighlighterAttributes& Source) {
  const bool changed =
      FBackground != Source.FBackground || FForeground != Source.FForeground || FStyle != Source.FStyle;
  FBackground = Source.FBackground;
  FForeground = Source.FForeground;
  FStyle = Source.FStyle;
  if (changed) Changed();
}

TOndCustomHighlighter::TOndCustomHighlighter()
    : FAttrChangeHooks(this), FFoldRegions(std::make_unique<TFoldRegions>()) {
  for (char c : std::string_view(" !\"'()*+,-./:;=?[\\]^{|}")) FWordBreakChars.Include(c);
}

TOndCustomHighlighter::~TOndCustomHighlighter() {
  auto notifies = std::move(FFreeNotifies);
  for (auto& n : notifies)
    if (n.second) n.second();
  if (FOwnsAttributes)
    for (auto it = FAttributes.rbegin(); it != FAttributes.rend(); ++it) delete *it;
  FAttributes.clear();
}

int TOndCustomHighlighter::GetAttribCount() const { return static_cast<int>(FAttributes.size()); }

TOndHighlighterAttributes* TOndCustomHighlighter::GetAttribute(int Index) const {
  if (Index < 0 || Index >= GetAttribCount()) return nullptr;
  return FAttributes[static_cast<std::size_t>(Index)];
}

TSysCharSet TOndCustomHighlighter::GetIdentChars() const {
  TSysCharSet s;
  s.IncludeRange(33, 255);
  return s;
}

void TOndCustomHighlighter::SkipToEol() {
  while (!GetEol()) Next();
}

void TOndCustomHighlighter::RangesOfLines(const std::string_view* Lines, int Count, int FirstIndex,
                                          TOndRangeState* Ends) {
  for (int i = 0; i < Count; ++i) {
    SetLine(Lines[i], FirstIndex + i);
    SkipToEolForRange();
    Ends[i] = GetRange();
  }
}

bool TOndCustomHighlighter::ResumeLine(std::string_view, int, int, TOndRangeState) { return false; }

void TOndCustomHighlighter::SetEnabled(bool Value) {
  if (FEnabled == Value) return;
  FEnabled = Value;
  NotifyHighlightChange(nullptr);
}

void TOndCustomHighlighter::AddAttribute(TOndHighlighterAttributes* Attr) {
  if (!FSortedAttributes) {
    if (std::none_of(FAttributes.begin(), FAttributes.end(),
                     [Attr](const TOndHighlighterAttributes* a) { return a->Name() == Attr->Name(); }))
      FAttributes.push_back(Attr);
    return;
  }
  auto at = std::lower_bound(FAttributes.begin(), FAttributes.end(), Attr->Name(),
                             [](const TOndHighlighterAttributes* a, const std::string& n) { return a->Name() < n; });
  if (at != FAttributes.end() && (*at)->Name() == Attr->Name())
    throw EListError("String list does not allow duplicates");
  FAttributes.insert(at, Attr);
}

std::string TOndCustomHighlighter::GetLanguageName() const {
  throw Exception(std::string(ClassName()) + ".GetLanguageName not implemented");
}

bool TOndCustomHighlighter::IsSupportedFile(std::string_view FileName) const {
  std::string masks = GetDefaultFilter();
  if (masks.empty()) return false;
  masks = AsciiLowerCase(Trim(masks));
  if (const std::size_t bar = masks.find('|'); bar != std::string::npos) masks.erase(0, bar + 1);
  const std::string ext = AsciiLowerCase(Trim(ExtractFileExt(FileName)));
  if (masks.empty() || ext.empty()) return false;
  if (masks.back() != ';') masks.push_back(';');
  return masks.find("*" + ext + ";") != std::string::npos;
}

bool TOndCustomHighlighter::LoadFromRegistry(std::uintptr_t RootKey, std::string_view Key) {
  TOndFileRegistry registry(DefaultRegistryFileName());
  return LoadHighlighterFromRegistry(*this, registry, RootKey, Key);
}

bool TOndCustomHighlighter::SaveToRegistry(std::uintptr_t RootKey, std::string_view Key) {
  TOndFileRegistry registry(DefaultRegistryFileName());
  const bool ok = SaveHighlighterToRegistry(*this, registry, RootKey, Key);
  return registry.UpdateFile().empty() && ok;
}

bool TOndCustomHighlighter::LoadFromFile(const std::string& FileName) {
  const TOndMemIniFile ini(FileName);
  return LoadHighlighterFromIniFile(*this, ini);
}

bool TOndCustomHighlighter::SaveToFile(const std::string& FileName) {
  TOndMemIniFile ini(FileName);
  const bool ok = SaveHighlighterToIniFile(*this, ini);
  try {
    ini.UpdateFile();
  } catch (const Exception&) {
    return false;
  }
  return ok;
}

void TOndCustomHighlighter::Assign(const TOndCustomHighlighter& Source) {
  for (TOndHighlighterAttributes* own : FAttributes) {
    for (int i = 0; i < Source.GetAttribCount(); ++i) {
      const TOndHighlighterAttributes* other = Source.GetAttribute(i);
      if (other && other->Name() == own->Name()) {
        own->Assign(*other);
        break;
      }
    }
  }
  if (typeid(Source) == typeid(*this)) SetSampleSource(Source.GetSampleSource());
  FWordBreakChars = Source.FWordBreakChars;
  SetDefaultFilter(Source.GetDefaultFilter());
  SetEnabled(Source.GetEnabled());
}

TOndHighlighterList& TOndHighlighterList::Instance() {
  static TOndHighlighterList list;
  return list;
}

int TOndHighlighterList::RegisterHighlighter(const TOndHighlighterClass& Class) {
  for (int i = 0; i < Count(); ++i)
    if (std::string_view(FClasses[static_cast<std::size_t>(i)].Name) == Class.Name) return i;
  FClasses.push_back(Class);
  return Count() - 1;
}

void TOndCustomHighlighter::AddAttributeChangeHandler(const TOndNotifyEvent& Handler) { FAttrChangeHooks.Add(Handler); }
void TOndCustomHighlighter::RemoveAttributeChangeHandler(const TOndNotifyEvent& Handler) {
  FAttrChangeHooks.Remove(Handler);
}

void TOndCustomHighlighter::NotifyHighlightChange(void* Sender) {
  FAttrChangeHooks.Sender = Sender;
  FAttrChangeHooks.Fire();
}

void TOndCustomHighlighter::FreeNotification(void* Client, std::function<void()> Gone) {
  RemoveFreeNotification(Client);
  FFreeNotifies.emplace_back(Client, std::move(Gone));
}

void TOndCustomHighlighter::RemoveFreeNotification(void* Client) {
  std::erase_if(FFreeNotifies, [Client](const auto& n) { return n.first == Client; });
}

}  // namespace ond
