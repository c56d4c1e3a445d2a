// The XML document model: the name table, node lists, nodes and their typed
// attributes, and the document that loads and saves them. Reading text, writing
// text, the binary form and the value forms live in files of their own.
#include "highlight/XmlModel.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

#include "highlight/XmlModelShared.h"
#include "platform/core/CodePage.h"

namespace ond {

namespace xmlmodel {

const Texts& T() {
  static const Texts t = [] {
    Texts r;
    auto a = [](const char* s) { return Utf8ToAnsi(s); };
    r.ListIndex = a("Ошибка получения элемента списка: индекс выходи?за предел?");
    r.NoChild = a("Ошибка: не найден дочерний элемен?\"%s\".");
    r.NotSupported = a("Данн? возможност?не поддерживает? XmlModel");
    r.AttrNotSet = a("Не зада?атрибу?\"%s\"");
    r.BadEnum = a("Неверное значение атрибута \"%s\" элемента \"%s\".\r\nДопустимые значен?:\r\n%s");
    r.NoAttr = a("Не найден атрибу?\"%s\"");
    r.ElementUnfinished = a("Не завершен?определени?элемента");
    r.BadNameChar = a("Некорретны?символ ?имен?элемента");
    r.AttrValueExpected = a("Ожидается значение атрибута");
    r.StringExpected = a("Ожидается строковая констант?");
    r.LessInAttr = a("Символ \"<\" не може?использовать? ?значен??атрибуто?");
    r.ExpectedS = a("Ожидается \"%s\"");
    r.ExpectedC = a("Ожидается \"%c\"");
    r.NameStart = a("Имя должно начинать? ?букв?ил?\"_\"");
    r.RefExpected = a("Ожидается \"#\" ил?имя упрамляющег?символ?");
    r.NumberExpected = a("Ожидается числ?");
    r.HexExpected = a("Ожидается шестнадцатерично?числ?");
    r.BadEntity = a("Некорректное имя управляющег?символ?");
    r.BinWriteNode = a("Ошибка записи двоичног?XML: некорректный ти?узла");
    r.BinReadNode = a("Ошибка чтен? двоичног?XML: некорректный ти?узла");
    r.BinWriteValue = a("Ошибка записи значен?: некорректный ти?");
    r.BinReadValue = a("Ошибка чтен? значен?: некорректный ти?");
    r.BinReadData = a("Ошибка чтен? данных.");
    r.BinBadNames = a("Ошибка чтения двоичного XML: некорректная таблица имён");
    r.TooDeep = a("Слишком глубокая вложенность элементов (больше 512 уровней)");
    r.NulChar = a("Недопустимый символ с кодом 0");
    r.BadCharCode = a("Недопустимый код символа");
    r.StrayEndTag = a("Закрывающий тег без открывающего");
    r.OwnSubtree = a("Узел нельзя вставить в его собственное поддерево");
    r.BadBase64 = a("Некорректные данные base64");
    r.BadDate = a("Некорректная дата \"%s\"");
    r.BadNumber = a("\"%s\" не является числом");
    return r;
  }();
  return t;
}

std::string Fmt(const std::string& pattern, std::string_view arg) {
  std::string r;
  r.reserve(pattern.size() + arg.size());
  bool done = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (!done && pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'c')) {
      r += arg;
      ++i;
      done = true;
    } else {
      r += pattern[i];
    }
  }
  return r;
}

std::string Fmt2(const std::string& pattern, std::string_view a1, std::string_view a2, std::string_view a3) {
  // Three "%s" in order.
  std::string r;
  const std::string_view args[3] = {a1, a2, a3};
  int k = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (k < 3 && pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's') {
      r += args[k++];
      ++i;
    } else {
      r += pattern[i];
    }
  }
  return r;
}

[[noreturn]] void Fail(const std::string& msg) { throw Exception(msg); }

bool IsPlainName(std::string_view s) {
  if (s.empty() || !IsXmlNameStart(static_cast<unsigned char>(s[0]))) return false;
  for (unsigned char c : s)
    if (!IsXmlNameChar(c)) return false;
  return true;
}

}  // namespace xmlmodel

using namespace xmlmodel;

namespace {

// Name character classes from the code page 1251 letter tables.
struct NameClasses {
  std::array<std::uint8_t, 256> f{};
  NameClasses() {
    for (int c = 1; c < 256; ++c) {
      const auto u = static_cast<unsigned char>(c);
      if (IsAnsiAlpha(u) || c == '_') f[u] |= kNameStartBit;
      if (IsAnsiAlphaNumeric(u) || c == '-' || c == '.' || c == ':' || c == '_') f[u] |= kNameCharBit;
    }
  }
};
const NameClasses& Names() {
  static const NameClasses n;
  return n;
}

}  // namespace

const std::uint8_t* xmlmodel::NameClassTable() noexcept { return Names().f.data(); }

namespace {

bool PreserveDefault = false;

XmlResourceLookup& ResourceLookup() {
  static XmlResourceLookup lookup;
  return lookup;
}

}  // namespace

const char* const XmlDefaultEncoding = "windows-1251";
const char* const XmlIndentUnit = "\t";
bool GetXmlDefaultPreserveWhiteSpace() noexcept { return PreserveDefault; }
void SetXmlDefaultPreserveWhiteSpace(bool v) noexcept { PreserveDefault = v; }
void SetXmlResourceLookup(XmlResourceLookup lookup) { ResourceLookup() = std::move(lookup); }

bool IsXmlNameStart(unsigned char c) noexcept { return (Names().f[c] & kNameStartBit) != 0; }
bool IsXmlNameChar(unsigned char c) noexcept { return (Names().f[c] & kNameCharBit) != 0; }

// ---------------------------------------------------------------------------
// Name table

TXmlNameTable::TXmlNameTable(int bucketCount) : FBuckets(static_cast<std::size_t>(std::max(bucketCount, 1))) {
  for (const char* n : {"#text", "#cdata-section", "#comment", "#document", "xml"}) GetID(n);
}

std::uint32_t TXmlNameTable::Hash(std::string_view name) noexcept {
  std::uint32_t h = 0;
  for (unsigned char c : name) h = h * 33 + c;
  return h;
}

int TXmlNameTable::GetID(std::string_view name) {
  if (name.empty()) return -1;
  auto& bucket = FBuckets[Hash(name) % FBuckets.size()];
  for (int id : bucket)
    if (FNames[static_cast<std::size_t>(id)] == name) return id;
  const int id = static_cast<int>(FNames.size());
  FNames.emplace_back(name);
  bucket.push_back(id);
  return id;
}

const std::string& TXmlNameTable::GetName(int id) const noexcept {
  static const std::string empty;
  if (id < 0 || static_cast<std::size_t>(id) >= FNames.size()) return empty;
  return FNames[static_cast<std::size_t>(id)];
}

IXmlNameTable XmlDefaultNameTable() {
  static const IXmlNameTable table = std::make_shared<TXmlNameTable>(4096);
  return table;
}

// ---------------------------------------------------------------------------
// Node list

IXmlNode TXmlNodeList::GetItem(int index) const {
  if (index < 0 || index >= GetCount()) throw EListError(T().ListIndex);
  return FItems[static_cast<std::size_t>(index)];
}

std::string TXmlNodeList::GetXML() const {
  std::string r;
  for (const auto& n : FItems) r += n->GetXML();
  return r;
}

namespace {
// Takes a node out of its parent's list without the parent's other rules.
void Detach(TXmlNode& node, TXmlNodeList* parentList) {
  if (parentList) parentList->Remove(&node);
}
}  // namespace

void TXmlNodeList::Insert(int index, const IXmlNode& node) {
  OND_ASSERT(node != nullptr);
  const IXmlNode keep = node;  // node may refer into a list we change below
  if (index < -1 || index > GetCount()) throw EListError(T().ListIndex);
  if (FOwner) {
    for (const TXmlNode* p = FOwner; p; p = p->FParent)
      if (p == keep.get()) Fail(T().OwnSubtree);
    if (keep->FParent == FOwner) {
      const int old = IndexOf(keep.get());
      if (old >= 0) {
        FItems.erase(FItems.begin() + old);
        if (index > old) --index;
      }
    } else if (keep->FParent) {
      Detach(*keep, keep->FParent->FChilds.get());
    }
  }
  if (index < 0 || index > GetCount()) index = GetCount();
  FItems.insert(FItems.begin() + index, keep);
  if (FOwner) {
    keep->FParent = FOwner;
    if (keep->FNameTable != FOwner->FNameTable) keep->SetNameTable(FOwner->FNameTable);
  }
}

int TXmlNodeList::Add(const IXmlNode& node) {
  Insert(-1, node);
  return IndexOf(node.get());
}

void TXmlNodeList::Delete(int index) {
  if (index < 0 || index >= GetCount()) throw EListError(T().ListIndex);
  const IXmlNode node = FItems[static_cast<std::size_t>(index)];
  FItems.erase(FItems.begin() + index);
  if (FOwner && node->FParent == FOwner) node->FParent = nullptr;
}

int TXmlNodeList::IndexOf(const TXmlNode* node) const noexcept {
  for (std::size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].get() == node) return static_cast<int>(i);
  return -1;
}

void TXmlNodeList::Remove(const TXmlNode* node) {
  const int i = IndexOf(node);
  if (i >= 0) Delete(i);
}

void TXmlNodeList::Replace(int index, const IXmlNode& node) {
  OND_ASSERT(node != nullptr);
  const IXmlNode keep = node;
  if (index < 0 || index >= GetCount()) throw EListError(T().ListIndex);
  if (FItems[static_cast<std::size_t>(index)] == keep) return;
  if (FOwner) {
    for (const TXmlNode* p = FOwner; p; p = p->FParent)
      if (p == keep.get()) Fail(T().OwnSubtree);
    if (keep->FParent == FOwner) {
      const int old = IndexOf(keep.get());
      if (old >= 0) {
        FItems.erase(FItems.begin() + old);
        if (index > old) --index;
      }
    } else if (keep->FParent) {
      Detach(*keep, keep->FParent->FChilds.get());
    }
  }
  IXmlNode& slot = FItems[static_cast<std::size_t>(index)];
  if (FOwner && slot->FParent == FOwner) slot->FParent = nullptr;
  slot = keep;
  if (FOwner) {
    keep->FParent = FOwner;
    if (keep->FNameTable != FOwner->FNameTable) keep->SetNameTable(FOwner->FNameTable);
  }
}

void TXmlNodeList::Clear() {
  if (FOwner)
    for (auto& n : FItems)
      if (n->FParent == FOwner) n->FParent = nullptr;
  FItems.clear();
}

// ---------------------------------------------------------------------------
// Nodes

TXmlNode::TXmlNode(IXmlNameTable nameTable)
    : FNameTable(nameTable ? std::move(nameTable) : XmlDefaultNameTable()) {}

TXmlNode::~TXmlNode() {
  if (FChilds) {
    for (auto& n : FChilds->FItems)
      if (n->FParent == this) n->FParent = nullptr;
    FChilds->FOwner = nullptr;
  }
}

std::string TXmlNode::GetNodeName() const { return FNameTable->GetName(GetNodeNameID()); }

std::string TXmlNode::GetText() { return {}; }
void TXmlNode::SetText(std::string_view) {}
XmlVariant TXmlNode::GetValue() { return XmlVariant(GetText()); }
void TXmlNode::SetValue(const XmlVariant& value) { SetText(value.ToText()); }

TXmlNodeList& TXmlNode::MakeChildList() {
  if (!FChilds) FChilds = std::make_shared<TXmlNodeList>(this);
  return *FChilds;
}

IXmlNodeList TXmlNode::GetChildNodes() {
  MakeChildList();
  return FChilds;
}

IXmlNode TXmlNode::GetParentNode() const { return FParent ? FParent->shared_from_this() : nullptr; }

IXmlDocument TXmlNode::GetOwnerDocument() {
  for (TXmlNode* p = this; p; p = p->FParent)
    if (p->GetNodeType() == XML_DOCUMENT_NODE) return std::static_pointer_cast<TXmlDocument>(p->shared_from_this());
  return nullptr;
}

bool TXmlNode::PreservesWhiteSpace() {
  for (TXmlNode* p = this; p; p = p->FParent)
    if (p->GetNodeType() == XML_DOCUMENT_NODE) return static_cast<TXmlDocument*>(p)->GetPreserveWhiteSpace();
  return PreserveDefault;
}

std::string TXmlNode::ConcatChildTexts() {
  std::string r;
  if (FChilds)
    for (auto& n : FChilds->FItems) {
      const int t = n->GetNodeType();
      if (t == XML_ELEMENT_NODE || t == XML_TEXT_NODE || t == XML_CDATA_SECTION_NODE) r += n->GetText();
    }
  return r;
}

void TXmlNode::SetNameTable(const IXmlNameTable& table) {
  if (FNameTable == table) return;
  const int id = GetNodeNameID();
  const int t = GetNodeType();
  if (t == XML_ELEMENT_NODE || t == XML_PROCESSING_INSTRUCTION_NODE) SetNodeNameID(table->GetID(FNameTable->GetName(id)));
  for (auto& a : FAttrs) a.NameID = table->GetID(FNameTable->GetName(a.NameID));
  if (FChilds)
    for (auto& n : FChilds->FItems) n->SetNameTable(table);
  FNameTable = table;
}

void TXmlNode::CopyAttrsAndChildren(TXmlNode& to, bool deep) {
  to.FAttrs = FAttrs;
  if (deep) {
    auto& list = MakeChildList();
    for (std::size_t i = 0; i < list.FItems.size(); ++i) to.AppendChild(list.FItems[i]->CloneNode(true));
  }
}

IXmlNode TXmlNode::CloneNode(bool deep) {
  IXmlNode n = NewSameKind();
  CopyAttrsAndChildren(*n, deep);
  return n;
}

IXmlNode TXmlNode::AppendChild(const IXmlNode& node) {
  MakeChildList().Insert(-1, node);
  return node;
}

IXmlNode TXmlNode::InsertBefore(const IXmlNode& node, const IXmlNode& before) {
  auto& list = MakeChildList();
  const int i = before ? list.IndexOf(before.get()) : -1;
  list.Insert(i, node);
  return node;
}

IXmlNode TXmlNode::ReplaceChild(const IXmlNode& newNode, const IXmlNode& oldNode) {
  auto& list = MakeChildList();
  const int i = list.IndexOf(oldNode.get());
  if (i >= 0) list.Replace(i, newNode);
  return oldNode;
}

IXmlNode TXmlNode::RemoveChild(const IXmlNode& node) {
  if (FChilds) FChilds->Remove(node.get());
  return node;
}

IXmlElement TXmlNode::AppendElement(int nameID) {
  auto e = std::make_shared<TXmlElement>(FNameTable, nameID);
  AppendChild(e);
  return e;
}

IXmlElement TXmlNode::AppendElement(std::string_view name) { return AppendElement(FNameTable->GetID(name)); }

IXmlText TXmlNode::AppendText(const XmlVariant& value) {
  auto t = std::make_shared<TXmlText>(FNameTable, value);
  AppendChild(t);
  return t;
}

IXmlCDATASection TXmlNode::AppendCDATA(std::string_view text) {
  auto t = std::make_shared<TXmlCDATASection>(FNameTable, std::string(text));
  AppendChild(t);
  return t;
}

IXmlComment TXmlNode::AppendComment(std::string_view text) {
  auto t = std::make_shared<TXmlComment>(FNameTable, std::string(text));
  AppendChild(t);
  return t;
}

IXmlProcessingInstruction TXmlNode::AppendProcessingInstruction(int targetID, std::string_view data) {
  auto t = std::make_shared<TXmlProcessingInstruction>(FNameTable, targetID, std::string(data));
  AppendChild(t);
  return t;
}

IXmlProcessingInstruction TXmlNode::AppendProcessingInstruction(std::string_view target, std::string_view data) {
  return AppendProcessingInstruction(FNameTable->GetID(target), data);
}

namespace {
IXmlElement FirstChildElement(TXmlNode& node, int nameID) {
  const TXmlNodeList* list = node.ChildListOrNull();
  if (!list || nameID < 0) return nullptr;
  for (int i = 0; i < list->GetCount(); ++i) {
    IXmlNode n = list->GetItem(i);
    if (n->GetNodeType() == XML_ELEMENT_NODE && n->GetNodeNameID() == nameID) return n->AsElement();
  }
  return nullptr;
}
}  // namespace

std::string TXmlNode::GetChildText(std::string_view name, std::string_view def) {
  return GetChildText(FNameTable->GetID(name), def);
}

std::string TXmlNode::GetChildText(int nameID, std::string_view def) {
  IXmlElement e = FirstChildElement(*this, nameID);
  return e ? e->GetText() : std::string(def);
}

void TXmlNode::SetChildText(std::string_view name, std::string_view text) { SetChildText(FNameTable->GetID(name), text); }
void TXmlNode::SetChildText(int nameID, std::string_view text) { ChildOrAppend(nameID)->SetText(text); }

IXmlElement TXmlNode::ChildOrError(std::string_view name) { return ChildOrError(FNameTable->GetID(name)); }

IXmlElement TXmlNode::ChildOrError(int nameID) {
  IXmlElement e = FirstChildElement(*this, nameID);
  if (!e) Fail(Fmt(T().NoChild, FNameTable->GetName(nameID)));
  return e;
}

IXmlElement TXmlNode::ChildOrAppend(std::string_view name) { return ChildOrAppend(FNameTable->GetID(name)); }

IXmlElement TXmlNode::ChildOrAppend(int nameID) {
  IXmlElement e = FirstChildElement(*this, nameID);
  return e ? e : AppendElement(nameID);
}

void TXmlNode::ClearChildren() {
  if (FChilds) FChilds->Clear();
}

IXmlNodeList TXmlNode::FindChildElements(std::string_view name) {
  if (!IsPlainName(name)) Fail(T().NotSupported);
  const int id = FNameTable->GetID(name);
  auto result = std::make_shared<TXmlNodeList>();
  if (FChilds)
    for (auto& n : FChilds->FItems)
      if (n->GetNodeType() == XML_ELEMENT_NODE && n->GetNodeNameID() == id) result->Insert(-1, n);
  return result;
}

IXmlElement TXmlNode::FindChildElement(std::string_view name) {
  if (!IsPlainName(name)) Fail(T().NotSupported);
  return FirstChildElement(*this, FNameTable->GetID(name));
}

IXmlElement TXmlNode::FindChildByAttr(std::string_view elementName, std::string_view attrName, std::string_view value) {
  const int id = FNameTable->GetID(elementName);
  const int attr = FNameTable->GetID(attrName);
  if (FChilds)
    for (auto& n : FChilds->FItems)
      if (n->GetNodeType() == XML_ELEMENT_NODE && n->GetNodeNameID() == id) {
        const TXmlAttr* a = n->FindAttr(attr);
        if (a && a->Value.ToText() == value) return n->AsElement();
      }
  return nullptr;
}

int TXmlNode::GetAttrNameID(int index) const {
  if (index < 0 || index >= GetAttrCount()) throw EListError(T().ListIndex);
  return FAttrs[static_cast<std::size_t>(index)].NameID;
}

std::string TXmlNode::GetAttrName(int index) const { return FNameTable->GetName(GetAttrNameID(index)); }

const TXmlAttr* TXmlNode::FindAttr(int nameID) const noexcept {
  for (const auto& a : FAttrs)
    if (a.NameID == nameID) return &a;
  return nullptr;
}

TXmlAttr* TXmlNode::FindAttr(int nameID) noexcept {
  for (auto& a : FAttrs)
    if (a.NameID == nameID) return &a;
  return nullptr;
}

void TXmlNode::RemoveAttr(std::string_view name) { RemoveAttr(FNameTable->GetID(name)); }

void TXmlNode::RemoveAttr(int nameID) {
  for (auto it = FAttrs.begin(); it != FAttrs.end(); ++it)
    if (it->NameID == nameID) {
      FAttrs.erase(it);
      return;
    }
}

bool TXmlNode::AttrExists(std::string_view name) { return AttrExists(FNameTable->GetID(name)); }
bool TXmlNode::AttrExists(int nameID) const noexcept { return FindAttr(nameID) != nullptr; }

XmlVarType TXmlNode::GetAttrType(int nameID) const {
  const TXmlAttr* a = FindAttr(nameID);
  return a ? a->Value.Type() : XmlVarType::String;
}
XmlVarType TXmlNode::GetAttrType(std::string_view name) { return GetAttrType(FNameTable->GetID(name)); }

XmlVariant TXmlNode::GetVariantAttr(int nameID, const XmlVariant& def) const {
  const TXmlAttr* a = FindAttr(nameID);
  return a ? a->Value : def;
}
XmlVariant TXmlNode::GetVariantAttr(std::string_view name, const XmlVariant& def) {
  return GetVariantAttr(FNameTable->GetID(name), def);
}

void TXmlNode::SetVariantAttr(int nameID, const XmlVariant& value) {
  if (TXmlAttr* a = FindAttr(nameID)) {
    a->Value = value;
  } else {
    FAttrs.push_back({nameID, value});
  }
}
void TXmlNode::SetVariantAttr(std::string_view name, const XmlVariant& value) {
  SetVariantAttr(FNameTable->GetID(name), value);
}

XmlVariant TXmlNode::AttrOrError(int nameID) const {
  const TXmlAttr* a = FindAttr(nameID);
  if (!a) Fail(Fmt(T().AttrNotSet, FNameTable->GetName(nameID)));
  return a->Value;
}
XmlVariant TXmlNode::AttrOrError(std::string_view name) { return AttrOrError(FNameTable->GetID(name)); }

std::string TXmlNode::GetAttr(int nameID, std::string_view def) const {
  const TXmlAttr* a = FindAttr(nameID);
  return a ? a->Value.ToText() : std::string(def);
}
std::string TXmlNode::GetAttr(std::string_view name, std::string_view def) {
  return GetAttr(FNameTable->GetID(name), def);
}
void TXmlNode::SetAttr(int nameID, std::string_view value) { SetVariantAttr(nameID, XmlVariant(value)); }
void TXmlNode::SetAttr(std::string_view name, std::string_view value) { SetAttr(FNameTable->GetID(name), value); }

bool TXmlNode::GetBoolAttr(int nameID, bool def) const {
  const TXmlAttr* a = FindAttr(nameID);
  return a ? a->Value.ToBool() : def;
}
bool TXmlNode::GetBoolAttr(std::string_view name, bool def) { return GetBoolAttr(FNameTable->GetID(name), def); }
void TXmlNode::SetBoolAttr(int nameID, bool value) { SetVariantAttr(nameID, XmlVariant(value)); }
void TXmlNode::SetBoolAttr(std::string_view name, bool value) { SetBoolAttr(FNameTable->GetID(name), value); }

int TXmlNode::GetIntAttr(int nameID, int def) const {
  const TXmlAttr* a = FindAttr(nameID);
  return a ? a->Value.ToInt() : def;
}
int TXmlNode::GetIntAttr(std::string_view name, int def) { return GetIntAttr(FNameTable->GetID(name), def); }
void TXmlNode::SetIntAttr(int nameID, int value) { SetVariantAttr(nameID, XmlVariant(value)); }
void TXmlNode::SetIntAttr(std::string_view name, int value) { SetIntAttr(FNameTable->GetID(name), value); }

TDateTime TXmlNode::GetDateTimeAttr(int nameID, TDateTime def) const {
  const TXmlAttr* a = FindAttr(nameID);
  return a ? a->Value.ToDate() : def;
}
TDateTime TXmlNode::GetDateTimeAttr(std::string_view name, TDateTime def) {
  return GetDateTimeAttr(FNameTable->GetID(name), def);
}
void TXmlNode::SetDateTimeAttr(int nameID, TDateTime value) { SetVariantAttr(nameID, XmlVariant::OfDate(value)); }
void TXmlNode::SetDateTimeAttr(std::string_view name, TDateTime value) {
  SetDateTimeAttr(FNameTable->GetID(name), value);
}

double TXmlNode::GetFloatAttr(int nameID, double def) const {
  const TXmlAttr* a = FindAttr(nameID);
  if (!a) return def;
  return a->Value.IsNumeric() ? a->Value.ToDouble() : XmlTextToFloat(a->Value.ToText());
}
double TXmlNode::GetFloatAttr(std::string_view name, double def) { return GetFloatAttr(FNameTable->GetID(name), def); }
void TXmlNode::SetFloatAttr(int nameID, double value) { SetVariantAttr(nameID, XmlVariant(value)); }
void TXmlNode::SetFloatAttr(std::string_view name, double value) { SetFloatAttr(FNameTable->GetID(name), value); }

int TXmlNode::GetHexAttr(int nameID, int def) const {
  const TXmlAttr* a = FindAttr(nameID);
  if (!a) return def;
  const std::string s = Trim(a->Value.ToText());
  std::uint64_t v = 0;
  auto res = std::from_chars(s.data(), s.data() + s.size(), v, 16);
  if (s.empty() || res.ec != std::errc() || res.ptr != s.data() + s.size() || v > 0xFFFFFFFFull)
    throw EConvertError("'" + s + "' is not a valid integer value");
  return static_cast<int>(static_cast<std::uint32_t>(v));
}
int TXmlNode::GetHexAttr(std::string_view name, int def) { return GetHexAttr(FNameTable->GetID(name), def); }
void TXmlNode::SetHexAttr(int nameID, int value, int digits) {
  SetAttr(nameID, IntToHex(static_cast<std::uint32_t>(value), digits));
}
void TXmlNode::SetHexAttr(std::string_view name, int value, int digits) {
  SetHexAttr(FNameTable->GetID(name), value, digits);
}

int TXmlNode::GetEnumAttr(std::string_view name, const std::vector<std::string>& values, int def) {
  return GetEnumAttr(FNameTable->GetID(name), values, def);
}

int TXmlNode::GetEnumAttr(int nameID, const std::vector<std::string>& values, int def) const {
  const TXmlAttr* a = FindAttr(nameID);
  if (!a) return def;
  const std::string text = a->Value.ToText();
  for (std::size_t i = 0; i < values.size(); ++i)
    if (AnsiSameText(values[i], text)) return static_cast<int>(i);
  std::string allowed;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) allowed += "\r\n";
    allowed += values[i];
  }
  Fail(Fmt2(T().BadEnum, FNameTable->GetName(nameID), GetNodeName(), allowed));
}

int TXmlNode::EnumAttrOrError(std::string_view name, const std::vector<std::string>& values) {
  return EnumAttrOrError(FNameTable->GetID(name), values);
}

int TXmlNode::EnumAttrOrError(int nameID, const std::vector<std::string>& values) const {
  if (!FindAttr(nameID)) Fail(Fmt(T().NoAttr, FNameTable->GetName(nameID)));
  return GetEnumAttr(nameID, values, -1);
}

XmlVariant TXmlNode::GetValueByPath(std::string_view path) {
  if (path.empty()) return GetValue();
  if (path[0] == '@') return GetVariantAttr(path.substr(1));
  IXmlElement e = FirstChildElement(*this, FNameTable->GetID(path));
  return e ? e->GetValue() : XmlVariant();
}

void TXmlNode::SetValueByPath(std::string_view path, const XmlVariant& value) {
  if (path.empty()) {
    SetValue(value);
  } else if (path[0] == '@') {
    SetVariantAttr(path.substr(1), value);
  } else {
    ChildOrAppend(path)->SetValue(value);
  }
}

// Element

TXmlNodeList& TXmlElement::MakeChildList() {
  TXmlNodeList& list = TXmlNode::MakeChildList();
  // A value held directly becomes a text child as soon as children are
  // touched, so it is neither hidden by nor lost behind later children.
  if (FValue && !FValue->IsEmpty() && !FValue->IsNull()) {
    auto t = std::make_shared<TXmlText>(FNameTable, std::move(*FValue));
    FValue.reset();
    list.Insert(0, t);
  }
  return list;
}

const XmlVariant& TXmlElement::OwnValue() const noexcept {
  static const XmlVariant none;
  return FValue ? *FValue : none;
}

void TXmlElement::SetOwnValue(XmlVariant value) {
  if (value.IsEmpty())
    FValue.reset();
  else if (FValue)
    *FValue = std::move(value);
  else
    FValue = std::make_unique<XmlVariant>(std::move(value));
}

std::string TXmlElement::GetText() {
  if (FChilds && FChilds->GetCount() > 0) return ConcatChildTexts();
  return OwnValue().ToText();
}

void TXmlElement::SetText(std::string_view text) {
  ClearChildren();
  SetOwnValue(XmlVariant(text));
}

XmlVariant TXmlElement::GetValue() {
  if (FChilds && FChilds->GetCount() > 0) return XmlVariant(ConcatChildTexts());
  return OwnValue();
}

void TXmlElement::SetValue(const XmlVariant& value) {
  ClearChildren();
  SetOwnValue(value);
}

IXmlElement TXmlElement::AsElement() { return std::static_pointer_cast<TXmlElement>(shared_from_this()); }

IXmlNode TXmlElement::NewSameKind() const { return std::make_shared<TXmlElement>(FNameTable, FNameID); }

void TXmlElement::RemoveTextChildren() {
  if (!FChilds) {
    FValue.reset();
    return;
  }
  MakeChildList();
  auto& items = FChilds->FItems;
  for (int i = static_cast<int>(items.size()) - 1; i >= 0; --i) {
    const int t = items[static_cast<std::size_t>(i)]->GetNodeType();
    if (t == XML_TEXT_NODE || t == XML_CDATA_SECTION_NODE) FChilds->Delete(i);
  }
}

void TXmlElement::SetCDATAText(std::string_view text) {
  RemoveTextChildren();
  for (;;) {
    const std::size_t at = text.find("]]>");
    if (at == std::string_view::npos) break;
    AppendCDATA(text.substr(0, at + 2));
    text.remove_prefix(at + 2);
  }
  AppendCDATA(text);
}

void TXmlElement::SetBinaryData(std::string_view data) {
  RemoveTextChildren();
  AppendText(XmlVariant(XmlEncodeBase64(data)));
}

std::string TXmlElement::GetBinaryData() { return XmlDecodeBase64(GetText()); }

// Text, character data, instructions

IXmlNode TXmlText::NewSameKind() const { return std::make_shared<TXmlText>(FNameTable, XmlVariant()); }
IXmlNode TXmlText::CloneNode(bool deep) {
  IXmlNode n = TXmlNode::CloneNode(deep);
  static_cast<TXmlText&>(*n).FValue = FValue;
  return n;
}
IXmlText TXmlText::AsText() { return std::static_pointer_cast<TXmlText>(shared_from_this()); }

std::string TXmlCharacterData::GetText() { return PreservesWhiteSpace() ? FData : Trim(FData); }
IXmlNode TXmlCharacterData::CloneNode(bool deep) {
  IXmlNode n = TXmlNode::CloneNode(deep);
  static_cast<TXmlCharacterData&>(*n).FData = FData;
  return n;
}

IXmlNode TXmlCDATASection::NewSameKind() const { return std::make_shared<TXmlCDATASection>(FNameTable, std::string()); }
IXmlCDATASection TXmlCDATASection::AsCDATASection() {
  return std::static_pointer_cast<TXmlCDATASection>(shared_from_this());
}
IXmlNode TXmlComment::NewSameKind() const { return std::make_shared<TXmlComment>(FNameTable, std::string()); }
IXmlComment TXmlComment::AsComment() { return std::static_pointer_cast<TXmlComment>(shared_from_this()); }

IXmlNode TXmlProcessingInstruction::NewSameKind() const {
  return std::make_shared<TXmlProcessingInstruction>(FNameTable, FNameID, std::string());
}
IXmlNode TXmlProcessingInstruction::CloneNode(bool deep) {
  IXmlNode n = TXmlNode::CloneNode(deep);
  static_cast<TXmlProcessingInstruction&>(*n).FData = FData;
  return n;
}
IXmlProcessingInstruction TXmlProcessingInstruction::AsProcessingInstruction() {
  return std::static_pointer_cast<TXmlProcessingInstruction>(shared_from_this());
}

// ---------------------------------------------------------------------------
// Document

TXmlDocument::TXmlDocument(IXmlNameTable nameTable)
    : TXmlNode(std::move(nameTable)), FPreserveWhiteSpace(PreserveDefault) {}

std::string TXmlDocument::GetText() { return ConcatChildTexts(); }

void TXmlDocument::SetText(std::string_view text) {
  ClearChildren();
  AppendText(XmlVariant(text));
}

IXmlNode TXmlDocument::NewSameKind() const {
  auto d = std::make_shared<TXmlDocument>(FNameTable);
  d->FPreserveWhiteSpace = FPreserveWhiteSpace;
  return d;
}

IXmlNode TXmlDocument::CloneNode(bool deep) { return TXmlNode::CloneNode(deep); }

IXmlElement TXmlDocument::GetDocumentElement() {
  if (FChilds)
    for (int i = 0; i < FChilds->GetCount(); ++i) {
      IXmlNode n = FChilds->GetItem(i);
      if (n->GetNodeType() == XML_ELEMENT_NODE) return n->AsElement();
    }
  return nullptr;
}

IXmlElement TXmlDocument::ResetDocument(std::string_view version, std::string_view encoding, int rootID) {
  ClearChildren();
  const std::string enc = encoding.empty() ? std::string(XmlDefaultEncoding) : std::string(encoding);
  AppendProcessingInstruction(XmlXmlID, "version=\"" + std::string(version) + "\" encoding=\"" + enc + "\"");
  return AppendElement(rootID);
}

IXmlElement TXmlDocument::ResetDocument(std::string_view version, std::string_view encoding, std::string_view root) {
  return ResetDocument(version, encoding, FNameTable->GetID(root));
}

IXmlElement TXmlDocument::CreateElement(int nameID) { return std::make_shared<TXmlElement>(FNameTable, nameID); }
IXmlElement TXmlDocument::CreateElement(std::string_view name) { return CreateElement(FNameTable->GetID(name)); }
IXmlText TXmlDocument::CreateText(const XmlVariant& value) { return std::make_shared<TXmlText>(FNameTable, value); }
IXmlCDATASection TXmlDocument::CreateCDATASection(std::string_view text) {
  return std::make_shared<TXmlCDATASection>(FNameTable, std::string(text));
}
IXmlComment TXmlDocument::CreateComment(std::string_view text) {
  return std::make_shared<TXmlComment>(FNameTable, std::string(text));
}
IXmlProcessingInstruction TXmlDocument::CreateProcessingInstruction(std::string_view target, std::string_view data) {
  return CreateProcessingInstruction(FNameTable->GetID(target), data);
}
IXmlProcessingInstruction TXmlDocument::CreateProcessingInstruction(int targetID, std::string_view data) {
  return std::make_shared<TXmlProcessingInstruction>(FNameTable, targetID, std::string(data));
}

void TXmlDocument::Reset() {
  ClearChildren();
  RemoveAllAttrs();
  FBinaryOptions = 0;
}

void TXmlDocument::LoadFromFile(const std::string& fileName) {
  TFileStream f(fileName, fmOpenRead);
  LoadFromStream(f);
}

void TXmlDocument::LoadResource(std::string_view name, std::string_view type) {
  const XmlResourceLookup& lookup = ResourceLookup();
  if (!lookup) return;
  const std::optional<std::string> bytes = lookup(name, type);
  if (!bytes || bytes->empty()) return;
  LoadXML(*bytes);
}

void TXmlDocument::SaveToStream(TStream& stream) {
  const std::string text = GetXML();
  stream.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
}

// The whole document is in memory: one safe replacement of the file.
void TXmlDocument::SaveToFile(const std::string& fileName) { ReplaceFileWith(fileName, GetXML()); }

void TXmlDocument::SaveBinary(TStream& stream, std::uint32_t options) {
  const std::string data = SaveBinaryToString(options);
  stream.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
}

void TXmlDocument::SaveBinaryToFile(const std::string& fileName, std::uint32_t options) {
  ReplaceFileWith(fileName, SaveBinaryToString(options));
}

IXmlDocument CreateXmlDocument(std::string_view rootName, std::string_view version, std::string_view encoding,
                               IXmlNameTable nameTable) {
  auto doc = std::make_shared<TXmlDocument>(nameTable ? std::move(nameTable) : XmlDefaultNameTable());
  if (!rootName.empty()) doc->ResetDocument(version, encoding, rootName);
  return doc;
}

}  // namespace ond
