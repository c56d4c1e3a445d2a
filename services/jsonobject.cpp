// The JSON value model: member tables, arrays, values and their conversions.
#include "services/jsonobject.h"

#include <cmath>
#include <new>
#include <utility>

#include "platform/core/BlockArena.h"
#include "platform/core/CodePage.h"
#include "platform/core/SysUtils.h"
#include "services/jsonobjectDetail.h"

namespace ond {

using namespace jsondetail;

TJsonText::TJsonText(std::string_view ansi) : FOwned(AnsiToUtf16(ansi)), FView(FOwned) {}

// AVL tree.

TJsonAvlEntry::TJsonAvlEntry(std::u16string name, IJsonObject value)
    : FHash(Hash(name)), FName(std::move(name)), FValue(std::move(value)) {}

void TJsonAvlEntry::operator delete(TJsonAvlEntry* entry, std::destroying_delete_t) noexcept {
  const bool inArena = entry->FInArena;
  entry->~TJsonAvlEntry();
  // An entry in an arena goes with its blocks, which its table holds.
  if (!inArena) ::operator delete(entry);
}

std::uint32_t TJsonAvlEntry::Hash(std::u16string_view name) noexcept {
  std::uint32_t h = 0;
  for (const char16_t c : name) h = h * 129u + static_cast<std::uint32_t>(c) + 0x9E370001u;
  return h;
}

TJsonAvlTree::~TJsonAvlTree() { Clear(false); }

int TJsonAvlTree::CompareName(std::uint32_t hash, std::u16string_view name, const TJsonAvlEntry* e) noexcept {
  // Larger hashes come first; equal hashes in ascending name order.
  if (hash != e->FHash) return hash > e->FHash ? -1 : 1;
  const int c = name.compare(e->FName);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

void TJsonAvlTree::DeleteEntry(TJsonAvlEntry* entry, bool) { delete entry; }

namespace {

// Restores the balance of a whose factor is +2 or -2; returns the subtree's
// new root. shorter tells whether the subtree lost height by the rotation.
TJsonAvlEntry* Rotate(TJsonAvlEntry* a, bool& shorter);

}  // namespace

// The rotation needs the private links; a friend-free local helper would not
// see them, so it lives in a small accessor struct.
struct AvlLinks {
  static TJsonAvlEntry*& Child(TJsonAvlEntry* e, int side) { return e->FChild[side]; }
  static std::int8_t& Balance(TJsonAvlEntry* e) { return e->FBalance; }
};

namespace {

TJsonAvlEntry* Rotate(TJsonAvlEntry* a, bool& shorter) {
  const int d = AvlLinks::Balance(a) > 0 ? 1 : 0;
  const int s = d ? 1 : -1;
  TJsonAvlEntry* b = AvlLinks::Child(a, d);
  if (AvlLinks::Balance(b) != -s) {
    // Single rotation.
    AvlLinks::Child(a, d) = AvlLinks::Child(b, 1 - d);
    AvlLinks::Child(b, 1 - d) = a;
    if (AvlLinks::Balance(b) == 0) {
      AvlLinks::Balance(a) = s;
      AvlLinks::Balance(b) = -s;
      shorter = false;
    } else {
      AvlLinks::Balance(a) = 0;
      AvlLinks::Balance(b) = 0;
      shorter = true;
    }
    return b;
  }
  // Double rotation.
  TJsonAvlEntry* c = AvlLinks::Child(b, 1 - d);
  AvlLinks::Child(b, 1 - d) = AvlLinks::Child(c, d);
  AvlLinks::Child(a, d) = AvlLinks::Child(c, 1 - d);
  AvlLinks::Child(c, d) = b;
  AvlLinks::Child(c, 1 - d) = a;
  const int cb = AvlLinks::Balance(c);
  AvlLinks::Balance(a) = cb == s ? -s : 0;
  AvlLinks::Balance(b) = cb == -s ? s : 0;
  AvlLinks::Balance(c) = 0;
  shorter = true;
  return c;
}

}  // namespace

TJsonAvlEntry* TJsonAvlTree::Insert(TJsonAvlEntry* entry) {
  TJsonAvlEntry* path[MaxHeight];
  int side[MaxHeight];
  int n = 0;
  TJsonAvlEntry* p = FRoot;
  while (p) {
    const int c = CompareName(entry->FHash, entry->FName, p);
    if (c == 0) {
      // Same name: the entry in the tree keeps its place and takes the value.
      std::swap(p->FValue, entry->FValue);
      DeleteEntry(entry, false);
      return p;
    }
    OND_ASSERT(n < MaxHeight);
    path[n] = p;
    side[n] = c > 0 ? 1 : 0;
    ++n;
    p = p->FChild[c > 0 ? 1 : 0];
  }
  entry->FChild[0] = entry->FChild[1] = nullptr;
  entry->FBalance = 0;
  if (n == 0)
    FRoot = entry;
  else
    path[n - 1]->FChild[side[n - 1]] = entry;
  ++FCount;
  for (int k = n - 1; k >= 0; --k) {
    TJsonAvlEntry* a = path[k];
    a->FBalance += side[k] ? 1 : -1;
    if (a->FBalance == 0) break;
    if (a->FBalance == 1 || a->FBalance == -1) continue;
    bool shorter = false;
    TJsonAvlEntry* r = Rotate(a, shorter);
    if (k == 0)
      FRoot = r;
    else
      path[k - 1]->FChild[side[k - 1]] = r;
    break;
  }
  return entry;
}

TJsonAvlEntry* TJsonAvlTree::Search(std::u16string_view name, TJsonSearchMode mode) const {
  const std::uint32_t h = TJsonAvlEntry::Hash(name);
  TJsonAvlEntry* before = nullptr;
  TJsonAvlEntry* after = nullptr;
  TJsonAvlEntry* p = FRoot;
  while (p) {
    const int c = CompareName(h, name, p);
    if (c == 0) return p;
    if (c < 0) {
      after = p;
      p = p->FChild[0];
    } else {
      before = p;
      p = p->FChild[1];
    }
  }
  if (mode == TJsonSearchMode::Before) return before;
  if (mode == TJsonSearchMode::After) return after;
  return nullptr;
}

bool TJsonAvlTree::Delete(std::u16string_view name) {
  const std::uint32_t h = TJsonAvlEntry::Hash(name);
  TJsonAvlEntry* path[MaxHeight];
  int side[MaxHeight];
  int n = 0;
  TJsonAvlEntry* p = FRoot;
  while (p) {
    const int c = CompareName(h, name, p);
    if (c == 0) break;
    OND_ASSERT(n < MaxHeight);
    path[n] = p;
    side[n] = c > 0 ? 1 : 0;
    ++n;
    p = p->FChild[c > 0 ? 1 : 0];
  }
  if (!p) return false;
  TJsonAvlEntry* target = p;
  if (p->FChild[0] && p->FChild[1]) {
    // Take the next entry's place: it has no earlier child.
    path[n] = p;
    side[n] = 1;
    ++n;
    TJsonAvlEntry* s = p->FChild[1];
    while (s->FChild[0]) {
      OND_ASSERT(n < MaxHeight);
      path[n] = s;
      side[n] = 0;
      ++n;
      s = s->FChild[0];
    }
    std::swap(p->FHash, s->FHash);
    std::swap(p->FName, s->FName);
    std::swap(p->FValue, s->FValue);
    target = s;
  }
  TJsonAvlEntry* child = target->FChild[0] ? target->FChild[0] : target->FChild[1];
  if (n == 0)
    FRoot = child;
  else
    path[n - 1]->FChild[side[n - 1]] = child;
  for (int k = n - 1; k >= 0; --k) {
    TJsonAvlEntry* a = path[k];
    a->FBalance -= side[k] ? 1 : -1;
    if (a->FBalance == 1 || a->FBalance == -1) break;
    if (a->FBalance == 0) continue;
    bool shorter = false;
    TJsonAvlEntry* r = Rotate(a, shorter);
    if (k == 0)
      FRoot = r;
    else
      path[k - 1]->FChild[side[k - 1]] = r;
    if (!shorter) break;
  }
  --FCount;
  target->FChild[0] = target->FChild[1] = nullptr;
  DeleteEntry(target, false);
  return true;
}

void TJsonAvlTree::Clear(bool all) {
  // Detach first: freeing values may run arbitrary destructors.
  TJsonAvlEntry* p = FRoot;
  FRoot = nullptr;
  FCount = 0;
  while (p) {
    if (TJsonAvlEntry* l = p->FChild[0]) {
      // Rotate the earlier child up, so the walk needs no stack.
      p->FChild[0] = l->FChild[1];
      l->FChild[1] = p;
      p = l;
    } else {
      TJsonAvlEntry* next = p->FChild[1];
      p->FChild[1] = nullptr;
      DeleteEntry(p, all);
      p = next;
    }
  }
}

namespace {
int SubtreeHeight(TJsonAvlEntry* e) {
  if (!e) return 0;
  return 1 + std::max(SubtreeHeight(AvlLinks::Child(e, 0)), SubtreeHeight(AvlLinks::Child(e, 1)));
}
}  // namespace

int TJsonAvlTree::Height() const { return SubtreeHeight(FRoot); }

TJsonTableString::~TJsonTableString() {
  // The entries first: the arena may hold their memory.
  Clear(false);
  if (FArena) FArena->Release();
}

void TJsonTableString::DeleteEntry(TJsonAvlEntry* entry, bool all) {
  // The value goes after its entry; taken without touching its count.
  IJsonObject v;
  v.swap(entry->FValue);
  if (all && v) v->Clear(true);
  delete entry;
}

void TJsonTableString::Put(std::u16string name, IJsonObject value) {
  Insert(new TJsonAvlEntry(std::move(name), std::move(value)));
}

IJsonObject TJsonTableString::Get(std::u16string_view name) const {
  const TJsonAvlEntry* e = Search(name);
  return e ? e->GetValue() : nullptr;
}

IJsonObject TJsonTableString::Remove(std::u16string_view name) {
  TJsonAvlEntry* e = Search(name);
  if (!e) return nullptr;
  IJsonObject v = e->GetValue();
  TJsonAvlTree::Delete(name);
  return v;
}

void TJsonTableString::Pack(bool all) {
  std::vector<std::u16string> empty;
  TJsonAvlIterator it(*this);
  for (it.First(); it.GetCurrent(); it.Next()) {
    const TJsonAvlEntry* e = it.GetCurrent();
    if (!e->GetValue())
      empty.push_back(e->GetName());
    else if (all)
      e->GetValue()->Pack(true);
  }
  for (const auto& n : empty) TJsonAvlTree::Delete(n);
}

std::vector<std::u16string> TJsonTableString::GetNames() const {
  std::vector<std::u16string> r;
  r.reserve(static_cast<std::size_t>(GetCount()));
  TJsonAvlIterator it(*this);
  for (it.First(); it.GetCurrent(); it.Next()) r.push_back(it.GetCurrent()->GetName());
  return r;
}

std::vector<IJsonObject> TJsonTableString::GetValues() const {
  std::vector<IJsonObject> r;
  r.reserve(static_cast<std::size_t>(GetCount()));
  TJsonAvlIterator it(*this);
  for (it.First(); it.GetCurrent(); it.Next()) r.push_back(it.GetCurrent()->GetValue());
  return r;
}

void TJsonAvlIterator::First() {
  FDepth = -1;
  for (TJsonAvlEntry* p = FTree.FRoot; p; p = p->FChild[0]) FPath[++FDepth] = p;
}

void TJsonAvlIterator::Search(std::u16string_view name, TJsonSearchMode mode) {
  FDepth = -1;
  const TJsonAvlEntry* target = FTree.Search(name, mode);
  if (!target) return;
  for (TJsonAvlEntry* p = FTree.FRoot; p;) {
    FPath[++FDepth] = p;
    if (p == target) return;
    p = p->FChild[TJsonAvlTree::CompareName(target->FHash, target->FName, p) > 0 ? 1 : 0];
  }
  FDepth = -1;
}

void TJsonAvlIterator::Next() {
  if (FDepth < 0) return;
  TJsonAvlEntry* cur = FPath[FDepth];
  if (cur->FChild[1]) {
    for (TJsonAvlEntry* p = cur->FChild[1]; p; p = p->FChild[0]) FPath[++FDepth] = p;
    return;
  }
  TJsonAvlEntry* child = nullptr;
  do {
    child = FPath[FDepth--];
  } while (FDepth >= 0 && FPath[FDepth]->FChild[1] == child);
}

// Arrays.

IJsonObject TJsonArray::Get(std::int64_t i) const {
  if (i < 0 || i >= static_cast<std::int64_t>(FItems.size())) return nullptr;
  return FItems[static_cast<std::size_t>(i)];
}

bool TJsonArray::Put(std::int64_t i, IJsonObject v) {
  if (i < 0 || i > MaxIndex) return false;
  const auto at = static_cast<std::size_t>(i);
  if (at >= FItems.size()) {
    try {
      if (at >= FItems.capacity()) FItems.reserve(std::max(at + 1, FItems.capacity() * 2));
      FItems.resize(at + 1);
    } catch (const std::bad_alloc&) {
      return false;
    } catch (const std::length_error&) {
      return false;
    }
  }
  FItems[at] = std::move(v);
  return true;
}

int TJsonArray::Add(IJsonObject v) {
  const auto n = static_cast<std::int64_t>(FItems.size());
  return Put(n, std::move(v)) ? static_cast<int>(n) : -1;
}

IJsonObject TJsonArray::Delete(std::int64_t i) {
  if (i < 0 || i >= static_cast<std::int64_t>(FItems.size())) return nullptr;
  IJsonObject v = std::move(FItems[static_cast<std::size_t>(i)]);
  FItems.erase(FItems.begin() + static_cast<std::ptrdiff_t>(i));
  return v;
}

void TJsonArray::Clear(bool all) {
  std::vector<IJsonObject> items;
  items.swap(FItems);
  if (all)
    for (auto& v : items)
      if (v) v->Clear(true);
}

void TJsonArray::Pack(bool all) {
  std::size_t k = 0;
  for (std::size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i]) FItems[k++] = std::move(FItems[i]);
  FItems.resize(k);
  if (all)
    for (auto& v : FItems) v->Pack(true);
}

// Values.

TJsonObject::TJsonObject(Key, TJsonDataType type) : FDataType(type) {
  FValue.i = 0;
  switch (type) {
    case jdtObject: FValue.o = new TJsonTableString(); break;
    case jdtArray: FValue.a = new TJsonArray(); break;
    case jdtMethod: FValue.m = new TJsonMethod(); break;
    default: break;
  }
}

namespace {

// What a value owns besides itself: a member table, an array or a method.
struct OwnedPart {
  TJsonDataType Type;
  void* Part;

  void Free() const noexcept {
    switch (Type) {
      case jdtObject: delete static_cast<TJsonTableString*>(Part); break;
      case jdtArray: delete static_cast<TJsonArray*>(Part); break;
      case jdtMethod: delete static_cast<TJsonMethod*>(Part); break;
      default: break;
    }
  }
};

// Releasing a value frees its part, which releases the values inside it, and
// so on down. The first levels nest as plain destructor calls: no memory is
// taken while a tree is freed, so the allocator is not asked for a block in
// the middle of handing back thousands of small ones (which would make it sort
// them all each time). Below this depth the parts wait in a queue instead, so
// a tree of any depth is released in a loop rather than by deep recursion.
constexpr int kNestedReleaseDepth = 48;

struct ReleaseState {
  int Depth = 0;                          // nested releases running on this thread
  std::vector<OwnedPart>* Queue = nullptr;  // the outermost release's queue, once needed
};
// Plain thread storage, so it is still there when values in static storage go
// at the end of the program.
thread_local ReleaseState tRelease;

// Frees a part one level deeper, restoring the depth afterwards.
void FreeNested(const OwnedPart& part) noexcept {
  ++tRelease.Depth;
  part.Free();
  --tRelease.Depth;
}

}  // namespace

TJsonObject::~TJsonObject() {
  if (FDataType != jdtObject && FDataType != jdtArray && FDataType != jdtMethod) return;
  const OwnedPart own{FDataType, FDataType == jdtObject  ? static_cast<void*>(FValue.o)
                                 : FDataType == jdtArray ? static_cast<void*>(FValue.a)
                                                         : static_cast<void*>(FValue.m)};
  if (tRelease.Depth > 0 && tRelease.Depth < kNestedReleaseDepth) {
    FreeNested(own);
    return;
  }
  if (tRelease.Depth > 0) {
    if (tRelease.Queue != nullptr) {
      try {
        tRelease.Queue->push_back(own);
        return;
      } catch (...) {
      }
    }
    FreeNested(own);  // no queue to wait in: free it here, nested
    return;
  }
  // The outermost release: frees its part, then whatever had to wait.
  std::vector<OwnedPart> queue;
  tRelease.Queue = &queue;
  FreeNested(own);
  while (!queue.empty()) {
    const OwnedPart next = queue.back();
    queue.pop_back();
    FreeNested(next);
  }
  tRelease.Queue = nullptr;
}

IJsonObject TJsonObject::Create(TJsonDataType type) {
  if (type > jdtMethod) type = jdtNull;
  return std::make_shared<TJsonObject>(Key{}, type);
}

IJsonObject TJsonObject::CreateIn(TBlockArena* arena, TJsonDataType type) {
  if (!arena) return Create(type);
  return std::allocate_shared<TJsonObject>(TArenaAllocator<TJsonObject>(arena), Key{}, type);
}

IJsonObject TJsonObject::Create(bool v) {
  auto r = std::make_shared<TJsonObject>(Key{}, jdtBoolean);
  r->FValue.b = v;
  return r;
}

IJsonObject TJsonObject::Create(std::int64_t v) {
  auto r = std::make_shared<TJsonObject>(Key{}, jdtInteger);
  r->FValue.i = v;
  return r;
}

IJsonObject TJsonObject::Create(double v) {
  auto r = std::make_shared<TJsonObject>(Key{}, jdtDouble);
  r->FValue.d = v;
  return r;
}

IJsonObject TJsonObject::CreateCurrency(std::int64_t scaled) {
  auto r = std::make_shared<TJsonObject>(Key{}, jdtCurrency);
  r->FValue.i = scaled;
  return r;
}

IJsonObject TJsonObject::Create(std::u16string v) {
  auto r = std::make_shared<TJsonObject>(Key{}, jdtString);
  r->FString = std::move(v);
  return r;
}

IJsonObject TJsonObject::Create(TJsonMethod m) {
  auto r = std::make_shared<TJsonObject>(Key{}, jdtMethod);
  *r->FValue.m = std::move(m);
  return r;
}

std::string TJsonObject::ToAnsi(std::u16string_view s) { return Utf16ToAnsi(s); }

bool TJsonObject::AsBoolean() const {
  switch (FDataType) {
    case jdtNull: return false;
    case jdtBoolean: return FValue.b;
    case jdtDouble: return FValue.d != 0;
    case jdtCurrency:
    case jdtInteger: return FValue.i != 0;
    case jdtString: return !FString.empty();
    default: return true;
  }
}

std::int64_t TJsonObject::AsInteger() const {
  switch (FDataType) {
    case jdtBoolean: return FValue.b ? 1 : 0;
    case jdtDouble: return Round(FValue.d);
    case jdtCurrency: return CurrencyToInt(FValue.i);
    case jdtInteger: return FValue.i;
    case jdtString: {
      std::int64_t v = 0;
      return StringToInt64(FString, v) ? v : 0;
    }
    default: return 0;
  }
}

double TJsonObject::AsDouble() const {
  switch (FDataType) {
    case jdtBoolean: return FValue.b ? 1 : 0;
    case jdtDouble: return FValue.d;
    case jdtCurrency: return static_cast<double>(FValue.i) / 10000.0;
    case jdtInteger: return static_cast<double>(FValue.i);
    case jdtString: {
      double v = 0;
      return StringToDouble(FString, v) ? v : 0;
    }
    default: return 0;
  }
}

std::int64_t TJsonObject::AsCurrency() const {
  switch (FDataType) {
    case jdtBoolean: return FValue.b ? 10000 : 0;
    case jdtDouble: return Round(FValue.d * 10000.0);
    case jdtCurrency: return FValue.i;
    case jdtInteger: return SaturatingMul(FValue.i, 10000);
    case jdtString: {
      double v = 0;
      return StringToDouble(FString, v) ? Round(v * 10000.0) : 0;
    }
    default: return 0;
  }
}

std::u16string TJsonObject::AsString() const {
  if (FDataType == jdtString) return FString;
  return const_cast<TJsonObject*>(this)->AsJsonText(false, false);
}

void TJsonObject::Clear(bool all) {
  if (FProcessing) return;
  if (all && (FDataType == jdtObject || FDataType == jdtArray)) {
    // The nested values are cleared from a work list, not by recursion, so
    // the depth of the tree costs no stack. Each container is emptied before
    // its values are visited, so a value inside itself ends the walk.
    std::vector<IJsonObject> work;
    auto empty = [&work](TJsonObject& v) {
      ProcessingGuard guard(v);
      if (v.FDataType == jdtObject) {
        for (IJsonObject& m : v.FValue.o->GetValues())
          if (m) work.push_back(std::move(m));
        v.FValue.o->Clear(false);
      } else if (v.FDataType == jdtArray) {
        const int n = v.FValue.a->GetLength();
        for (int i = 0; i < n; ++i)
          if (IJsonObject m = v.FValue.a->Get(i)) work.push_back(std::move(m));
        v.FValue.a->Clear(false);
      } else {
        v.Clear(false);
      }
    };
    empty(*this);
    while (!work.empty()) {
      const IJsonObject v = std::move(work.back());
      work.pop_back();
      if (!v->FProcessing) empty(*v);
    }
    return;
  }
  ProcessingGuard guard(*this);
  switch (FDataType) {
    case jdtBoolean: FValue.b = false; break;
    case jdtDouble: FValue.d = 0; break;
    case jdtCurrency:
    case jdtInteger: FValue.i = 0; break;
    case jdtObject: FValue.o->Clear(all); break;
    case jdtArray: FValue.a->Clear(all); break;
    case jdtString: FString.clear(); break;
    case jdtMethod: *FValue.m = nullptr; break;
    default: break;
  }
}

void TJsonObject::Pack(bool all) {
  if (FProcessing) return;
  if (!all) {
    ProcessingGuard guard(*this);
    if (FDataType == jdtObject) FValue.o->Pack(false);
    if (FDataType == jdtArray) FValue.a->Pack(false);
    return;
  }
  // Every container below is packed once, from a work list: the processing
  // flag marks those already taken, and all flags drop at the end.
  std::vector<TJsonObject*> seen;
  struct DropFlags {
    std::vector<TJsonObject*>& Seen;
    ~DropFlags() {
      for (TJsonObject* v : Seen) v->FProcessing = false;
    }
  } drop{seen};
  auto take = [&seen](TJsonObject* v) {
    if (v->FProcessing || (v->FDataType != jdtObject && v->FDataType != jdtArray)) return;
    seen.push_back(v);
    v->FProcessing = true;
  };
  take(this);
  for (std::size_t k = 0; k < seen.size(); ++k) {
    TJsonObject* v = seen[k];
    if (v->FDataType == jdtObject) {
      v->FValue.o->Pack(false);
      TJsonAvlIterator it(*v->FValue.o);
      for (it.First(); it.GetCurrent(); it.Next()) take(it.GetCurrent()->GetValue().get());
    } else {
      v->FValue.a->Pack(false);
      const int n = v->FValue.a->GetLength();
      for (int i = 0; i < n; ++i) take(v->FValue.a->Get(i).get());
    }
  }
}

std::unique_ptr<TJsonEnumerator> TJsonObject::GetEnumerator() {
  return std::make_unique<TJsonEnumerator>(shared_from_this());
}

TJsonEnumerator::TJsonEnumerator(IJsonObject value) : FValue(std::move(value)) {
  if (TJsonTableString* t = FValue ? FValue->AsObject() : nullptr) FIterator = std::make_unique<TJsonAvlIterator>(*t);
}

TJsonEnumerator::~TJsonEnumerator() = default;

bool TJsonEnumerator::MoveNext() {
  if (FIterator) {
    if (FIndex < 0)
      FIterator->First();
    else
      FIterator->Next();
    ++FIndex;
    return FIterator->GetCurrent() != nullptr;
  }
  TJsonArray* a = FValue ? FValue->AsArray() : nullptr;
  if (!a || FIndex + 1 >= a->GetLength()) return false;
  ++FIndex;
  return true;
}

IJsonObject TJsonEnumerator::GetCurrent() const {
  if (FIndex < 0) return nullptr;
  if (FIterator) return FIterator->GetCurrent() ? FIterator->GetCurrent()->GetValue() : nullptr;
  TJsonArray* a = FValue ? FValue->AsArray() : nullptr;
  return a ? a->Get(FIndex) : nullptr;
}

}  // namespace ond
