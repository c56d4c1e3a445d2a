#include "services/jsonobject.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <new>
#include <system_error>
#include <utility>

#include "platform/core/Classes.h"
#include "platform/core/CodePage.h"
#include "platform/core/SysUtils.h"

namespace ond {

namespace {

constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();

// Sets a value's processing flag for a scope, so that a value met again
// inside itself is not entered twice.
class ProcessingGuard {
 public:
  explicit ProcessingGuard(TJsonObject& v) : FValue(v) { FValue.SetProcessing(true); }
  ~ProcessingGuard() { FValue.SetProcessing(false); }
  ProcessingGuard(const ProcessingGuard&) = delete;
  ProcessingGuard& operator=(const ProcessingGuard&) = delete;

 private:
  TJsonObject& FValue;
};

// ---------------------------------------------------------------------------
// Number text.

// The shape of a number: [+-] digits [. digits] [(e|E) [+-] digits], with at
// least one digit before the exponent. Anything else is malformed.
struct NumberShape {
  bool Valid = false;
  bool Point = false;
  bool Exponent = false;
  int FractionDigits = 0;
};

template <typename Ch>
NumberShape ReadNumberShape(const Ch* s, std::size_t n) {
  NumberShape r;
  std::size_t i = 0;
  if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < n && s[i] == '.') {
    r.Point = true;
    ++i;
    while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++digits, ++r.FractionDigits;
  }
  if (digits == 0) return r;
  if (i < n && (s[i] == 'e' || s[i] == 'E')) {
    r.Exponent = true;
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t expDigits = 0;
    while (i < n && s[i] >= '0' && s[i] <= '9') ++i, ++expDigits;
    if (expDigits == 0) return r;
  }
  r.Valid = i == n;
  return r;
}

// Accumulates the digits of s (skipping sign and point) into a 64-bit value
// with the sign applied; false on overflow.
template <typename Ch>
bool DigitsToInt64(const Ch* s, std::size_t n, std::int64_t& out) {
  bool neg = false;
  std::size_t i = 0;
  if (i < n && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  // Accumulate negatively so that the minimum fits.
  std::int64_t v = 0;
  for (; i < n; ++i) {
    if (s[i] == '.') continue;
    const int d = static_cast<int>(s[i] - '0');
    if (v < (kInt64Min + d) / 10) return false;
    v = v * 10 - d;
  }
  if (!neg) {
    if (v == kInt64Min) return false;
    v = -v;
  }
  out = v;
  return true;
}

// A well-formed number text as a double; false when it is too large.
// Underflow gives a zero of the right sign.
template <typename Ch>
bool TextToDouble(const Ch* s, std::size_t n, double& out) {
  char local[128];
  std::string heap;
  char* buf = local;
  if (n >= sizeof local) {
    heap.resize(n + 1);
    buf = heap.data();
  }
  std::size_t k = 0;
  bool neg = false;
  std::size_t i = 0;
  if (i < n && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
  if (neg) buf[k++] = '-';
  for (; i < n; ++i) buf[k++] = static_cast<char>(s[i]);
  double v = 0;
  const auto r = std::from_chars(buf, buf + k, v, std::chars_format::general);
  if (r.ec == std::errc()) {
    if (!std::isfinite(v)) return false;
    out = v;
    return true;
  }
  if (r.ec != std::errc::result_out_of_range) return false;
  // Too large or too small: tell them apart by the decimal magnitude.
  std::int64_t exp = 0;
  std::int64_t lead = 0;  // position of the first significant digit relative to the point
  bool seenPoint = false, seenDigit = false;
  std::int64_t intDigits = 0, zerosAfterPoint = 0;
  for (i = neg ? 1 : 0; i < k; ++i) {
    const char c = buf[i];
    if (c == '.') {
      seenPoint = true;
    } else if (c == 'e' || c == 'E') {
      bool eneg = false;
      ++i;
      if (i < k && (buf[i] == '+' || buf[i] == '-')) eneg = buf[i++] == '-';
      for (; i < k; ++i) exp = std::min<std::int64_t>(exp * 10 + (buf[i] - '0'), 1000000000);
      if (eneg) exp = -exp;
      break;
    } else if (!seenDigit && c == '0') {
      if (seenPoint) ++zerosAfterPoint;
    } else {
      if (!seenPoint) ++intDigits;
      seenDigit = true;
    }
  }
  lead = intDigits > 0 ? intDigits : -zerosAfterPoint;
  if (lead + exp > 0) return false;
  out = neg ? -0.0 : 0.0;
  return true;
}

std::int64_t SaturatingMul(std::int64_t a, std::int64_t b) {
  std::int64_t r = 0;
  if (__builtin_mul_overflow(a, b, &r)) return ((a < 0) != (b < 0)) ? kInt64Min : kInt64Max;
  return r;
}

// v / 10000 rounded to the nearest integer, halves to even.
std::int64_t CurrencyToInt(std::int64_t v) {
  std::int64_t q = v / 10000;
  const std::int64_t r = v % 10000;
  const std::int64_t ar = r < 0 ? -r : r;
  const std::int64_t step = v < 0 ? -1 : 1;
  if (ar > 5000 || (ar == 5000 && (q & 1) != 0)) q += step;
  return q;
}

// The currency text: at least five digits, trailing fraction zeros dropped,
// so 1.5, 0.25 and "2." for a whole value; zero is "0".
std::string CurrencyText(std::int64_t v) {
  if (v == 0) return "0";
  const bool neg = v < 0;
  const std::uint64_t a = neg ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
  std::string d = std::to_string(a);
  if (d.size() < 5) d.insert(0, 5 - d.size(), '0');
  std::string frac = d.substr(d.size() - 4);
  while (!frac.empty() && frac.back() == '0') frac.pop_back();
  std::string r = neg ? "-" : "";
  r += d.substr(0, d.size() - 4);
  r += '.';
  r += frac;
  return r;
}

std::string DoubleText(double d) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
  return std::string(buf, r.ptr);
}

// A whole decimal integer ([+-]digits) or nothing.
bool StringToInt64(std::u16string_view s, std::int64_t& v) {
  std::size_t i = (!s.empty() && (s[0] == '+' || s[0] == '-')) ? 1 : 0;
  if (i == s.size()) return false;
  for (std::size_t k = i; k < s.size(); ++k)
    if (s[k] < '0' || s[k] > '9') return false;
  return DigitsToInt64(s.data(), s.size(), v);
}

bool StringToDouble(std::u16string_view s, double& v) {
  if (!ReadNumberShape(s.data(), s.size()).Valid) return false;
  return TextToDouble(s.data(), s.size(), v);
}


}  // namespace

TJsonText::TJsonText(std::string_view ansi) : FOwned(AnsiToUtf16(ansi)), FView(FOwned) {}

// ---------------------------------------------------------------------------
// AVL tree.

TJsonAvlEntry::TJsonAvlEntry(std::u16string name, IJsonObject value)
    : FHash(Hash(name)), FName(std::move(name)), FValue(std::move(value)) {}

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
  static int& Balance(TJsonAvlEntry* e) { return e->FBalance; }
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

void TJsonTableString::DeleteEntry(TJsonAvlEntry* entry, bool all) {
  IJsonObject v = entry->GetValue();
  entry->SetValue(nullptr);
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

// ---------------------------------------------------------------------------
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

// ---------------------------------------------------------------------------
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

TJsonObject::~TJsonObject() {
  switch (FDataType) {
    case jdtObject: delete FValue.o; break;
    case jdtArray: delete FValue.a; break;
    case jdtMethod: delete FValue.m; break;
    default: break;
  }
}

IJsonObject TJsonObject::Create(TJsonDataType type) {
  if (type > jdtMethod) type = jdtNull;
  return std::make_shared<TJsonObject>(Key{}, type);
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
  ProcessingGuard guard(*this);
  if (FDataType == jdtObject) FValue.o->Pack(all);
  if (FDataType == jdtArray) FValue.a->Pack(all);
}

// ---------------------------------------------------------------------------
// Writing.

namespace {

// Collects the result of a run of Appends: failure is remembered.
struct Out {
  TJsonWriter& W;
  std::int64_t Last = 0;
  bool Failed = false;

  void Put(const char16_t* s, std::size_t n) {
    if (n == 0) return;
    Last = W.Append(s, static_cast<std::int64_t>(n));
    if (Last < 0) Failed = true;
  }
  void Put(std::u16string_view s) { Put(s.data(), s.size()); }
  void PutAscii(std::string_view s) {
    char16_t buf[64];
    while (!s.empty()) {
      const std::size_t n = std::min(s.size(), sizeof buf / sizeof buf[0]);
      for (std::size_t i = 0; i < n; ++i) buf[i] = static_cast<unsigned char>(s[i]);
      Put(buf, n);
      s.remove_prefix(n);
    }
  }
  void LineBreak(int level) {
    static const char16_t spaces[] = u"\r\n                                                              ";
    constexpr int kSpaces = static_cast<int>(sizeof spaces / sizeof spaces[0]) - 3;
    Put(spaces, static_cast<std::size_t>(2 + std::min(level, kSpaces)));
    for (level -= kSpaces; level > 0; level -= kSpaces) Put(spaces + 2, static_cast<std::size_t>(std::min(level, kSpaces)));
  }
};

void PutEscaped(Out& out, std::u16string_view s, bool escape) {
  static const char hex[] = "0123456789abcdef";
  std::size_t run = 0;
  char16_t e[6];
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    std::size_t n = 0;
    if (c == '"' || c == '\\' || c == '/') {
      e[0] = '\\';
      e[1] = c;
      n = 2;
    } else if (escape) {
      if (c >= 32 && c <= 127) continue;
      char16_t k = 0;
      switch (c) {
        case 8: k = 'b'; break;
        case 9: k = 't'; break;
        case 10: k = 'n'; break;
        case 12: k = 'f'; break;
        case 13: k = 'r'; break;
        default: break;
      }
      if (k) {
        e[0] = '\\';
        e[1] = k;
        n = 2;
      } else {
        e[0] = '\\';
        e[1] = 'u';
        e[2] = static_cast<char16_t>(hex[(c >> 12) & 15]);
        e[3] = static_cast<char16_t>(hex[(c >> 8) & 15]);
        e[4] = static_cast<char16_t>(hex[(c >> 4) & 15]);
        e[5] = static_cast<char16_t>(hex[c & 15]);
        n = 6;
      }
    } else if (c == 0) {
      static const char16_t zero[] = u"\\u0000";
      std::copy(zero, zero + 6, e);
      n = 6;
    } else {
      continue;
    }
    out.Put(s.data() + run, i - run);
    out.Put(e, n);
    run = i + 1;
  }
  out.Put(s.data() + run, s.size() - run);
}

void PutQuoted(Out& out, std::u16string_view s, bool escape) {
  out.Put(u"\"", 1);
  PutEscaped(out, s, escape);
  out.Put(u"\"", 1);
}

}  // namespace

struct JsonWriteAccess {
  static void WriteValue(TJsonObject& v, Out& out, bool indent, bool escape, int level);
};

void JsonWriteAccess::WriteValue(TJsonObject& v, Out& out, bool indent, bool escape, int level) {
  if (v.GetProcessing()) {
    out.Put(u"null", 4);
    return;
  }
  ProcessingGuard guard(v);
  switch (v.DataType()) {
    case jdtNull: out.Put(u"null", 4); break;
    case jdtBoolean: v.AsBoolean() ? out.Put(u"true", 4) : out.Put(u"false", 5); break;
    case jdtDouble: {
      const double d = v.AsDouble();
      // JSON has no text for NaN or the infinities.
      if (std::isfinite(d))
        out.PutAscii(DoubleText(d));
      else
        out.Put(u"null", 4);
      break;
    }
    case jdtCurrency: out.PutAscii(CurrencyText(v.AsCurrency())); break;
    case jdtInteger: out.PutAscii(std::to_string(v.AsInteger())); break;
    case jdtString: PutQuoted(out, v.AsString(), escape); break;
    case jdtObject: {
      TJsonTableString* t = v.AsObject();
      if (t->GetCount() == 0) {
        out.Put(u"{}", 2);
        break;
      }
      out.Put(u"{", 1);
      if (indent) ++level;
      bool first = true;
      TJsonAvlIterator it(*t);
      for (it.First(); it.GetCurrent(); it.Next()) {
        const TJsonAvlEntry* e = it.GetCurrent();
        const IJsonObject& m = e->GetValue();
        if (m && (m->DataType() == jdtMethod || m->GetProcessing())) continue;
        if (!first) out.Put(u",", 1);
        first = false;
        if (indent) out.LineBreak(level);
        PutQuoted(out, e->GetName(), escape);
        indent ? out.Put(u": ", 2) : out.Put(u":", 1);
        if (m)
          WriteValue(*m, out, indent, escape, level);
        else
          out.Put(u"null", 4);
      }
      if (indent) {
        --level;
        out.LineBreak(level);
      }
      out.Put(u"}", 1);
      break;
    }
    case jdtArray: {
      TJsonArray* a = v.AsArray();
      if (a->GetLength() == 0) {
        out.Put(u"[]", 2);
        break;
      }
      out.Put(u"[", 1);
      if (indent) {
        ++level;
        out.LineBreak(level);
      }
      bool first = true;
      for (int i = 0; i < a->GetLength(); ++i) {
        const IJsonObject m = a->Get(i);
        if (m && (m->DataType() == jdtMethod || m->GetProcessing())) continue;
        if (!first) out.Put(u",", 1);
        first = false;
        if (m)
          WriteValue(*m, out, indent, escape, level);
        else
          out.Put(u"null", 4);
      }
      out.Put(u"]", 1);
      break;
    }
    case jdtMethod: break;
  }
}

std::int64_t TJsonObject::Write(TJsonWriter& writer, bool indent, bool escape, int level) {
  Out out{writer};
  JsonWriteAccess::WriteValue(*this, out, indent, escape, level);
  return out.Failed ? -1 : out.Last;
}

std::u16string TJsonObject::AsJsonText(bool indent, bool escape) {
  TJsonWriterString w;
  const std::int64_t r = Write(w, indent, escape, 0);
  if (r < 0) return std::u16string();
  return std::move(w.Data());
}

std::int64_t TJsonObject::CalcSize(bool indent, bool escape) {
  TJsonWriterFake w;
  if (Write(w, indent, escape, 0) < 0) return 0;
  return w.GetCount();
}

namespace {

bool WriteToStream(TJsonObject& v, TStream& stream, bool indent, bool escape) {
  std::unique_ptr<TJsonWriterStream> w;
  if (escape)
    w = std::make_unique<TJsonAnsiWriterStream>(stream);
  else
    w = std::make_unique<TJsonUnicodeWriterStream>(stream);
  if (v.Write(*w, indent, escape, 0) < 0) return false;
  return w->Flush() >= 0;
}

// A stream over a file descriptor that stays open after it goes.
class FdStream : public TStream {
 public:
  explicit FdStream(int fd) : FFd(fd) {}
  std::int64_t Read(void* buffer, std::int64_t count) override {
    ssize_t n;
    do n = ::read(FFd, buffer, static_cast<std::size_t>(count));
    while (n < 0 && errno == EINTR);
    return n < 0 ? 0 : n;
  }
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    ssize_t n;
    do n = ::write(FFd, buffer, static_cast<std::size_t>(count));
    while (n < 0 && errno == EINTR);
    return n < 0 ? 0 : n;
  }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET : origin == TSeekOrigin::soCurrent ? SEEK_CUR : SEEK_END;
    return ::lseek(FFd, offset, whence);
  }

 private:
  int FFd;
};

std::atomic<unsigned> gTempCounter{0};

}  // namespace

std::int64_t TJsonObject::SaveTo(TStream& stream, bool indent, bool escape) {
  bool ok = false;
  try {
    ok = WriteToStream(*this, stream, indent, escape);
  } catch (const Exception&) {
    ok = false;
  }
  if (!ok) {
    try {
      stream.Seek(0, TSeekOrigin::soBeginning);
    } catch (const Exception&) {
    }
    return 0;
  }
  return stream.GetSize();
}

std::int64_t TJsonObject::SaveTo(const std::string& fileName, bool indent, bool escape) {
  // Write a temporary file beside the target and move it over the old file,
  // so a failed write never leaves the old file truncated.
  std::string tmp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    tmp = fileName + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(gTempCounter++);
    fd = ::open(tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) return 0;
  }
  if (fd < 0) return 0;
  struct stat st {};
  const mode_t mode = ::stat(fileName.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
  bool ok = ::fchmod(fd, mode) == 0;
  std::int64_t size = 0;
  if (ok) {
    FdStream s(fd);
    try {
      ok = WriteToStream(*this, s, indent, escape);
      size = s.GetSize();
    } catch (const Exception&) {
      ok = false;
    }
  }
  if (ok) ok = ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok) ok = ::rename(tmp.c_str(), fileName.c_str()) == 0;
  if (!ok) {
    ::unlink(tmp.c_str());
    return 0;
  }
  return size;
}

std::int64_t TJsonObject::SaveTo(int socket, bool indent, bool) {
  // One byte per character would lose the high byte of other characters.
  TJsonWriterSock w(socket);
  if (Write(w, indent, true, 0) < 0) return 0;
  return w.GetTotal();
}

std::int64_t TJsonWriter::Append(const char16_t* text) {
  return Append(text, static_cast<std::int64_t>(std::char_traits<char16_t>::length(text)));
}

std::int64_t TJsonWriterString::Append(const char16_t* buf, std::int64_t count) {
  FData.append(buf, static_cast<std::size_t>(count));
  return count;
}

void TJsonWriterString::TrimRight() {
  std::size_t n = FData.size();
  while (n > 0 && (FData[n - 1] == 10 || FData[n - 1] == 13 || FData[n - 1] == 32)) --n;
  FData.resize(n);
}

TJsonWriterStream::~TJsonWriterStream() {
  try {
    Flush();
  } catch (...) {
  }
}

void TJsonWriterStream::Reset() {
  FPending.clear();
  FFailed = false;
  FStream.Seek(0, TSeekOrigin::soBeginning);
}

std::int64_t TJsonWriterStream::Flush() {
  if (FFailed) return -1;
  std::size_t done = 0;
  while (done < FPending.size()) {
    std::int64_t n = 0;
    try {
      n = FStream.Write(FPending.data() + done, static_cast<std::int64_t>(FPending.size() - done));
    } catch (const Exception&) {
      n = 0;
    }
    if (n <= 0) {
      FFailed = true;
      FPending.clear();
      return -1;
    }
    done += static_cast<std::size_t>(n);
  }
  FPending.clear();
  return 0;
}

std::int64_t TJsonWriterStream::Put(const void* bytes, std::size_t n) {
  if (FFailed) return -1;
  FPending.append(static_cast<const char*>(bytes), n);
  if (FPending.size() >= 65536 && Flush() < 0) return -1;
  return static_cast<std::int64_t>(n);
}

std::int64_t TJsonAnsiWriterStream::Append(const char16_t* buf, std::int64_t count) {
  if (FFailed) return -1;
  char local[1024];
  std::int64_t done = 0;
  while (done < count) {
    const std::int64_t n = std::min<std::int64_t>(count - done, sizeof local);
    for (std::int64_t i = 0; i < n; ++i) local[i] = static_cast<char>(buf[done + i] & 0xFF);
    if (Put(local, static_cast<std::size_t>(n)) < 0) return -1;
    done += n;
  }
  return count;
}

std::int64_t TJsonUnicodeWriterStream::Append(const char16_t* buf, std::int64_t count) {
  if (FFailed) return -1;
  char local[2048];
  std::int64_t done = 0;
  while (done < count) {
    const std::int64_t n = std::min<std::int64_t>(count - done, sizeof local / 2);
    for (std::int64_t i = 0; i < n; ++i) {
      local[2 * i] = static_cast<char>(buf[done + i] & 0xFF);
      local[2 * i + 1] = static_cast<char>(buf[done + i] >> 8);
    }
    if (Put(local, static_cast<std::size_t>(2 * n)) < 0) return -1;
    done += n;
  }
  return count;
}

std::int64_t TJsonWriterSock::Append(const char16_t* buf, std::int64_t count) {
  if (FFailed) return -1;
  char local[1024];
  std::int64_t done = 0;
  while (done < count) {
    const std::int64_t n = std::min<std::int64_t>(count - done, sizeof local);
    for (std::int64_t i = 0; i < n; ++i) local[i] = static_cast<char>(buf[done + i] & 0xFF);
    std::int64_t sent = 0;
    while (sent < n) {
      const ssize_t r = ::send(FSocket, local + sent, static_cast<std::size_t>(n - sent), MSG_NOSIGNAL);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        FFailed = true;
        return -1;
      }
      sent += r;
      FTotal += r;
    }
    done += n;
  }
  return count;
}

}  // namespace ond
