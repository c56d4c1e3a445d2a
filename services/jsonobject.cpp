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
  if (d == 0) return "0";  // also for -0, which would read back as the integer 0
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
    case jdtInteger: {
      char buf[24];
      const auto r = std::to_chars(buf, buf + sizeof buf, v.AsInteger());
      out.PutAscii(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
      break;
    }
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
  const std::size_t at = FPending.size();
  FPending.resize(at + static_cast<std::size_t>(count));
  char* p = FPending.data() + at;
  for (std::int64_t i = 0; i < count; ++i) p[i] = static_cast<char>(buf[i] & 0xFF);
  if (FPending.size() >= 65536 && Flush() < 0) return -1;
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

// ---------------------------------------------------------------------------
// Parser.

namespace {

// States of the machine (stored in the levels).
enum : std::uint8_t {
  sWhite = 0,
  sValue = 1,
  sFinish = 2,
  sNull = 3,
  sCommentStart = 4,
  sComment = 5,
  sLineComment = 6,
  sCommentEnd = 7,
  sString = 8,
  sEscape = 9,
  sWord = 10,
  sEscapeU = 11,
  sEscapeX = 12,
  sBool = 13,
  sNumber = 14,
  sArray = 15,
  sArrayAdded = 16,
  sArraySep = 17,
  sMemberStart = 18,
  sQuotedName = 19,
  sUnquotedName = 20,
  sNameEnd = 21,
  sMemberValue = 22,
  sMemberAdded = 23,
  sObjectSep = 24,
  sPathProperty = 25,
  sPathIndexAdded = 26,
  sPathIndexStart = 28,
  sMethodArgs = 30,
  sMethodArgAdded = 31,
};

// What a path step has selected: the value itself, a member by name or an
// element by index (-1: none given, the last one or a new one).
enum : std::uint8_t { selSelf = 0, selName = 1, selIndex = 2 };

// The end of the input (also a character 0): completes numbers, literals and
// words, and is an error anywhere else inside a value.
constexpr int kEnd = -1;

enum Action { aConsume, aRedo, aStop, aError };

bool IsSpace(int c) { return c == 8 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }

bool IsNumberChar(int c) {
  return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
}

// Characters that end a path name or cannot start an unquoted member name.
bool IsNameStop(int c) {
  switch (c) {
    case kEnd: case 0: case 8: case 9: case 10: case 12: case 13: case 32:
    case '"': case '(': case ')': case ',': case '.': case ':': case '[': case ']': case '{': case '}':
      return true;
    default:
      return false;
  }
}

int HexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The value of a collected number, nil when malformed or too large.
IJsonObject NumberValue(const std::u16string& t) {
  const NumberShape shape = ReadNumberShape(t.data(), t.size());
  if (!shape.Valid) return nullptr;
  std::int64_t v = 0;
  if (!shape.Point && !shape.Exponent) {
    if (DigitsToInt64(t.data(), t.size(), v)) return TJsonObject::Create(v);
  } else if (!shape.Exponent && shape.FractionDigits <= 4) {
    static const std::int64_t scale[] = {10000, 1000, 100, 10, 1};
    if (DigitsToInt64(t.data(), t.size(), v) && !__builtin_mul_overflow(v, scale[shape.FractionDigits], &v))
      return TJsonObject::CreateCurrency(v);
  }
  double d = 0;
  if (!TextToDouble(t.data(), t.size(), d)) return nullptr;
  return TJsonObject::Create(d);
}

}  // namespace

struct TJsonTokenizer::Level {
  std::uint8_t State = sValue;
  std::uint8_t Saved = sValue;
  std::uint8_t Sel = selSelf;  // path: what the last step selected
  IJsonObject Value;           // the value built at this level (the result at the top)
  IJsonObject Step;            // path: call parameters
  std::u16string Name;         // member name, or the last path name
  IJsonObject Parent;          // path: the container of the selection (the value itself for selSelf)
  IJsonObject Method;          // path: the method about to be called
  std::int64_t Index = -1;     // path: the selected index

  void Reset() {
    State = Saved = sValue;
    Sel = selSelf;
    Value.reset();
    Step.reset();
    Name.clear();
    Parent.reset();
    Method.reset();
    Index = -1;
  }
};

TJsonTokenizer::TJsonTokenizer() : FLevels(new Level[MaxDepth]) {}
TJsonTokenizer::~TJsonTokenizer() = default;

void TJsonTokenizer::Reset() {
  for (int i = 0; i < MaxDepth; ++i) FLevels[i].Reset();
  FBuffer.clear();
  FDepth = 0;
  FTokenPos = 0;
  FCharOffset = 0;
  FError = jteSuccess;
  FEscapeChar = 0;
  FQuote = 0;
  FEscapeReturn = 0;
  FLiteral = nullptr;
  FStopped = FStoppedAtEnd = FCalled = false;
  FArgCount = 0;
  FChild.reset();
  FLine = 1;
  FColumn = 0;
}

struct TJsonMachine {
  using Level = TJsonTokenizer::Level;

  TJsonTokenizer& T;
  bool Strict;
  const IJsonObject& Self;
  unsigned Options;
  const IJsonObject& PutValue;
  TJsonDataType Type;

  Level& Cur() { return T.FLevels[T.FDepth]; }
  bool PathMode() const { return Self && T.FDepth == 0; }
  Action Fail(int c, int code) {
    T.FError = c == kEnd ? jteEndOfText : code;
    return aError;
  }
  Action Push(Level& L, std::uint8_t parentState, std::uint8_t childState) {
    if (T.FDepth + 1 >= TJsonTokenizer::MaxDepth) {
      T.FError = jteDepth;
      return aError;
    }
    L.State = parentState;
    Level& child = T.FLevels[++T.FDepth];
    child.Reset();
    child.State = childState;
    return aRedo;
  }
  void Finish(Level& L, IJsonObject v) {
    L.Value = std::move(v);
    L.State = sWhite;
    L.Saved = sFinish;
  }
  // Does c close the container around an unquoted word?
  bool ClosesWord(int c) const {
    if (c == ',' || c == kEnd) return true;
    if (T.FDepth == 0) return false;
    switch (T.FLevels[T.FDepth - 1].State) {
      case sArrayAdded: return c == ']';
      case sMemberAdded: return c == '}';
      case sPathIndexAdded: return c == ']';
      case sMethodArgAdded: return c == ')';
      default: return false;
    }
  }

  Action Step(int c);
  Action PathStep(Level& L, int c);
  Action Literal(Level& L, int c);
  IJsonObject Read(Level& L, int& err);
  bool Store(Level& L, const IJsonObject& v);
  Action Resolve(Level& L, int c, TJsonDataType want);
  Action Final(Level& L, int c);
  Action CallMethod(Level& L, const IJsonObject& method, const IJsonObject& holder, const IJsonObject& params,
                    IJsonObject& result);
};

Action TJsonMachine::Step(int c) {
  Level& L = Cur();
  std::u16string& buf = T.FBuffer;
  switch (L.State) {
    case sWhite:
      if (IsSpace(c)) return aConsume;
      if (c == '/') {
        L.State = sCommentStart;
        return aConsume;
      }
      L.State = L.Saved;
      return aRedo;
    case sCommentStart:
      if (c == '*') {
        L.State = sComment;
        return aConsume;
      }
      if (c == '/') {
        L.State = sLineComment;
        return aConsume;
      }
      return Fail(c, jteComment);
    case sComment:
      if (c == kEnd) return Fail(c, jteEndOfText);
      if (c == '*') L.State = sCommentEnd;
      return aConsume;
    case sCommentEnd:
      if (c == kEnd) return Fail(c, jteEndOfText);
      L.State = c == '/' ? sWhite : sComment;
      return aConsume;
    case sLineComment:
      if (c == kEnd) {
        L.State = sWhite;
        return aRedo;
      }
      if (c == 10) L.State = sWhite;
      return aConsume;

    case sValue:
      if (PathMode()) {
        L.Sel = selSelf;
        L.Parent = Self;
        if (IsNameStop(c) || c == '[') {
          L.State = sPathProperty;
          return aRedo;
        }
        buf.clear();
        L.State = sWord;
        return aRedo;
      }
      switch (c) {
        case '"':
        case '\'':
          T.FQuote = static_cast<char16_t>(c);
          buf.clear();
          L.State = sString;
          return aConsume;
        case '{':
          L.Value = TJsonObject::Create(jdtObject);
          L.State = sWhite;
          L.Saved = sMemberStart;
          return aConsume;
        case '[':
          L.Value = TJsonObject::Create(jdtArray);
          L.State = sWhite;
          L.Saved = sArray;
          return aConsume;
        case 'n':
        case 'N':
          buf.clear();
          T.FLiteral = "null";
          T.FTokenPos = 0;
          L.State = sNull;
          return aRedo;
        case 't':
        case 'T':
        case 'f':
        case 'F':
          buf.clear();
          T.FLiteral = (c == 't' || c == 'T') ? "true" : "false";
          T.FTokenPos = 0;
          L.State = sBool;
          return aRedo;
        case kEnd:
          return Fail(c, jteEndOfText);
        default:
          buf.clear();
          if (c == '-' || (c >= '0' && c <= '9')) {
            L.State = sNumber;
            return aRedo;
          }
          if (Strict) return Fail(c, jteUnquoted);
          L.State = sWord;
          return aRedo;
      }

    case sNull:
    case sBool:
      return Literal(L, c);

    case sString:
      if (c == T.FQuote) {
        Finish(L, TJsonObject::Create(buf));
        buf.clear();
        return aConsume;
      }
      if (c == '\\') {
        T.FEscapeReturn = sString;
        L.State = sEscape;
        return aConsume;
      }
      if (c == kEnd) return Fail(c, jteEndOfText);
      buf += static_cast<char16_t>(c);
      return aConsume;

    case sEscape: {
      char16_t r = 0;
      switch (c) {
        case kEnd: return Fail(c, jteEndOfText);
        case 'b': r = 8; break;
        case 'f': r = 12; break;
        case 'n': r = 10; break;
        case 'r': r = 13; break;
        case 't': r = 9; break;
        case 'u':
        case 'x':
          T.FEscapeChar = 0;
          T.FTokenPos = 0;
          L.State = c == 'u' ? sEscapeU : sEscapeX;
          return aConsume;
        default: r = static_cast<char16_t>(c); break;
      }
      buf += r;
      L.State = T.FEscapeReturn;
      return aConsume;
    }
    case sEscapeU:
    case sEscapeX: {
      const int d = HexValue(c);
      if (d < 0) return Fail(c, jteUnquoted);
      T.FEscapeChar = static_cast<char16_t>(T.FEscapeChar * 16 + d);
      if (++T.FTokenPos == (L.State == sEscapeU ? 4 : 2)) {
        buf += T.FEscapeChar;
        L.State = T.FEscapeReturn;
      }
      return aConsume;
    }

    case sWord:
      if (PathMode()) {
        if (IsNameStop(c)) {
          L.Name = buf;
          buf.clear();
          L.Sel = selName;
          L.State = sPathProperty;
          return aRedo;
        }
      } else if (ClosesWord(c)) {
        std::size_t n = buf.size();
        while (n > 0 && (buf[n - 1] == 10 || buf[n - 1] == 13 || buf[n - 1] == 32)) --n;
        buf.resize(n);
        L.Value = TJsonObject::Create(buf);
        buf.clear();
        L.State = sFinish;
        return aRedo;
      }
      if (c == '\\') {
        T.FEscapeReturn = sWord;
        L.State = sEscape;
        return aConsume;
      }
      buf += static_cast<char16_t>(c);
      return aConsume;

    case sNumber:
      if (IsNumberChar(c)) {
        buf += static_cast<char16_t>(c);
        return aConsume;
      } else {
        IJsonObject v = NumberValue(buf);
        buf.clear();
        if (!v) {
          T.FError = jteNumber;
          return aError;
        }
        Finish(L, std::move(v));
        return aRedo;
      }

    case sFinish:
      if (T.FDepth == 0) return aStop;
      T.FChild = std::move(L.Value);
      L.Reset();
      --T.FDepth;
      return aRedo;

    case sArray:
      if (c == ']') {
        L.State = sWhite;
        L.Saved = sFinish;
        return aConsume;
      }
      return Push(L, sArrayAdded, sValue);
    case sArrayAdded:
      L.Value->AsArray()->Add(std::move(T.FChild));
      L.State = sWhite;
      L.Saved = sArraySep;
      return aRedo;
    case sArraySep:
      if (c == ',') {
        L.State = sWhite;
        L.Saved = sArray;
        return aConsume;
      }
      if (c == ']') {
        L.State = sWhite;
        L.Saved = sFinish;
        return aConsume;
      }
      return Fail(c, jteArraySeparator);

    case sMemberStart:
      if (c == '}') {
        L.State = sWhite;
        L.Saved = sFinish;
        return aConsume;
      }
      if (c == '"' || c == '\'') {
        T.FQuote = static_cast<char16_t>(c);
        buf.clear();
        L.State = sQuotedName;
        return aConsume;
      }
      if (c == kEnd) return Fail(c, jteEndOfText);
      if (Strict || IsNameStop(c)) return Fail(c, jteMemberName);
      buf.clear();
      L.State = sUnquotedName;
      return aRedo;
    case sQuotedName:
      if (c == T.FQuote) {
        L.Name = buf;
        buf.clear();
        L.State = sWhite;
        L.Saved = sNameEnd;
        return aConsume;
      }
      if (c == '\\') {
        T.FEscapeReturn = sQuotedName;
        L.State = sEscape;
        return aConsume;
      }
      if (c == kEnd) return Fail(c, jteEndOfText);
      buf += static_cast<char16_t>(c);
      return aConsume;
    case sUnquotedName:
      if (c == ':') {
        L.Name = buf;
        buf.clear();
        L.State = sNameEnd;
        return aRedo;
      }
      if (c == kEnd) return Fail(c, jteEndOfText);
      buf += static_cast<char16_t>(c);
      return aConsume;
    case sNameEnd:
      if (c == ':') {
        L.State = sWhite;
        L.Saved = sMemberValue;
        return aConsume;
      }
      return Fail(c, jteColon);
    case sMemberValue:
      return Push(L, sMemberAdded, sValue);
    case sMemberAdded:
      L.Value->AsObject()->Put(std::move(L.Name), std::move(T.FChild));
      L.Name.clear();
      L.State = sWhite;
      L.Saved = sObjectSep;
      return aRedo;
    case sObjectSep:
      if (c == ',') {
        L.State = sWhite;
        L.Saved = sMemberStart;
        return aConsume;
      }
      if (c == '}') {
        L.State = sWhite;
        L.Saved = sFinish;
        return aConsume;
      }
      return Fail(c, jteObjectSeparator);

    default:
      return PathStep(L, c);
  }
}

Action TJsonMachine::Literal(Level& L, int c) {
  const char* lit = T.FLiteral;
  const int len = static_cast<int>(std::strlen(lit));
  if (T.FTokenPos < len) {
    if (c == lit[T.FTokenPos]) {
      T.FBuffer += static_cast<char16_t>(c);
      ++T.FTokenPos;
      return aConsume;
    }
  } else if (!(c == '.' || c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c > 255)) {
    T.FBuffer.clear();
    Finish(L, lit[0] == 'n' ? TJsonObject::Create(jdtNull) : TJsonObject::Create(lit[0] == 't'));
    return aRedo;
  }
  // Not the literal after all: the start of an unquoted word.
  if (Strict) {
    T.FError = jteUnquoted;
    return aError;
  }
  L.State = sWord;
  return aRedo;
}

// The value the last path step selected (nil when absent).
IJsonObject TJsonMachine::Read(Level& L, int& err) {
  err = jteSuccess;
  switch (L.Sel) {
    case selSelf:
      return L.Parent;
    case selName:
      if (TJsonTableString* t = L.Parent ? L.Parent->AsObject() : nullptr) return t->Get(L.Name);
      if (TJsonArray* a = L.Parent ? L.Parent->AsArray() : nullptr; a && L.Name.empty())
        return a->Get(a->GetLength() - 1);
      err = jtePathObject;
      return nullptr;
    default: {
      TJsonArray* a = L.Parent->AsArray();
      return a->Get(L.Index < 0 ? a->GetLength() - 1 : L.Index);
    }
  }
}

// Stores v where the last path step points.
bool TJsonMachine::Store(Level& L, const IJsonObject& v) {
  if (L.Sel == selName) {
    if (TJsonTableString* t = L.Parent ? L.Parent->AsObject() : nullptr) {
      t->Put(L.Name, v);
      return true;
    }
    if (TJsonArray* a = L.Parent ? L.Parent->AsArray() : nullptr; a && L.Name.empty()) return a->Add(v) >= 0;
    return false;
  }
  if (L.Sel == selIndex) {
    TJsonArray* a = L.Parent->AsArray();
    return L.Index < 0 ? a->Add(v) >= 0 : a->Put(L.Index, v);
  }
  if (TJsonArray* a = L.Parent ? L.Parent->AsArray() : nullptr) return a->Add(v) >= 0;
  return false;
}

// Steps into the selected value for ".", "[" or "(", creating a missing
// object or array when asked; the selected value becomes L.Parent.
Action TJsonMachine::Resolve(Level& L, int c, TJsonDataType want) {
  const int code = want == jdtObject ? jtePathObject : want == jdtArray ? jtePathArray : jtePathCall;
  int err = jteSuccess;
  IJsonObject v = Read(L, err);
  if (err != jteSuccess) return Fail(c, err);
  if (!v) {
    if (!(Options & jpoCreatePath) || want == jdtMethod) return Fail(c, code);
    v = TJsonObject::Create(want);
    if (!Store(L, v)) return Fail(c, code);
  }
  const TJsonDataType t = v->DataType();
  const bool ok = want == jdtObject ? (t == jdtObject || t == jdtArray) : t == want;
  if (!ok) return Fail(c, code);
  if (want == jdtMethod) {
    L.Method = std::move(v);
  } else {
    L.Parent = std::move(v);
    L.Sel = selSelf;
  }
  return aConsume;
}

Action TJsonMachine::CallMethod(Level&, const IJsonObject& method, const IJsonObject& holder,
                                const IJsonObject& params, IJsonObject& result) {
  const TJsonMethod* m = method ? method->AsMethod() : nullptr;
  if (!m || !*m || !(Options & jpoCallMethod)) {
    T.FError = jtePathCall;
    return aError;
  }
  result.reset();
  (*m)(holder, params, result);
  if (!result) {
    T.FError = jtePathCall;
    return aError;
  }
  T.FCalled = true;
  return aConsume;
}

// The end of the path: put, delete, call, create or read.
Action TJsonMachine::Final(Level& L, int c) {
  IJsonObject result;
  int err = jteSuccess;
  if (Options & jpoPutValue) {
    // Refused: a name on a non-object, or an array that cannot grow.
    if (!Store(L, PutValue)) return Fail(c == kEnd ? 0 : c, L.Sel == selIndex ? jtePathArray : jtePathObject);
    result = PutValue;
  } else if (Options & jpoDelete) {
    if (L.Sel == selName && L.Parent && L.Parent->AsObject()) {
      result = L.Parent->AsObject()->Remove(L.Name);
    } else if (TJsonArray* a = L.Parent ? L.Parent->AsArray() : nullptr;
               a && (L.Sel != selName || L.Name.empty())) {
      result = a->Delete(L.Sel == selIndex && L.Index >= 0 ? L.Index : a->GetLength() - 1);
    } else {
      return Fail(c == kEnd ? 0 : c, jtePathObject);
    }
  } else {
    result = Read(L, err);
    if (err != jteSuccess) return Fail(c == kEnd ? 0 : c, err);
    if ((Options & jpoCallMethod) && !T.FCalled) {
      IJsonObject r;
      const IJsonObject holder = L.Parent;
      if (CallMethod(L, result, holder, PutValue, r) == aError) return aError;
      result = std::move(r);
    } else if (!result && (Options & jpoCreatePath)) {
      result = TJsonObject::Create(Type);
      if (!Store(L, result)) return Fail(c == kEnd ? 0 : c, jtePathObject);
    }
  }
  Finish(L, std::move(result));
  return aRedo;
}

Action TJsonMachine::PathStep(Level& L, int c) {
  switch (L.State) {
    case sPathProperty:
      if (c == '.') {
        const Action a = Resolve(L, c, jdtObject);
        if (a == aError) return a;
        T.FBuffer.clear();
        L.State = sWord;
        return aConsume;
      }
      if (c == '[') {
        const Action a = Resolve(L, c, jdtArray);
        if (a == aError) return a;
        L.State = sWhite;
        L.Saved = sPathIndexStart;
        return aConsume;
      }
      if (c == '(') {
        if (!(Options & jpoCallMethod)) {
          T.FError = jtePathCall;
          return aError;
        }
        const Action a = Resolve(L, c, jdtMethod);
        if (a == aError) return a;
        if (L.Sel == selSelf) L.Parent = L.Method;
        L.Step.reset();
        T.FArgCount = 0;
        L.State = sWhite;
        L.Saved = sMethodArgs;
        return aConsume;
      }
      // A strict path is the whole text: refuse trailing text before acting on it.
      if (Strict && c != kEnd) {
        T.FError = jtePathObject;
        return aError;
      }
      return Final(L, c);
    case sPathIndexStart:
      if (c == ']') {
        L.Sel = selIndex;
        L.Index = -1;
        L.State = sPathProperty;
        return aConsume;
      }
      return Push(L, sPathIndexAdded, sValue);
    case sPathIndexAdded: {
      const IJsonObject idx = std::move(T.FChild);
      if (!JsonIsType(idx, jdtInteger) || idx->AsInteger() < 0 || idx->AsInteger() > TJsonArray::MaxIndex)
        return Fail(c == kEnd ? 0 : c, jtePathIndex);
      if (c != ']') return Fail(c, jtePathArray);
      L.Sel = selIndex;
      L.Index = idx->AsInteger();
      L.State = sPathProperty;
      return aConsume;
    }
    case sMethodArgs:
      if (c == ')') goto call;
      return Push(L, sMethodArgAdded, sValue);
    case sMethodArgAdded:
      if (T.FArgCount == 0) {
        L.Step = std::move(T.FChild);
      } else {
        if (T.FArgCount == 1) {
          IJsonObject list = TJsonObject::Create(jdtArray);
          list->AsArray()->Add(std::move(L.Step));
          L.Step = std::move(list);
        }
        L.Step->AsArray()->Add(std::move(T.FChild));
      }
      ++T.FArgCount;
      if (c == ',') {
        L.State = sWhite;
        L.Saved = sMethodArgs;
        return aConsume;
      }
      if (c == ')') goto call;
      return Fail(c, jtePathCall);
    default:
      T.FError = jteEndOfText;
      return aError;
  }
call : {
  IJsonObject result;
  const IJsonObject method = L.Method;
  const IJsonObject holder = L.Parent;
  if (CallMethod(L, method, holder, L.Step, result) == aError) return aError;
  L.Method.reset();
  L.Step.reset();
  L.Sel = selSelf;
  L.Parent = std::move(result);
  L.State = sPathProperty;
  return aConsume;
}
}

IJsonObject ParseText(TJsonTokenizer& tok, const char16_t* text, std::int64_t length, bool last, bool strict,
                      const IJsonObject& self, unsigned options, const IJsonObject& put, TJsonDataType type) {
  if (tok.FStopped) return tok.FError == jteSuccess ? tok.FLevels[0].Value : nullptr;
  if (tok.FError != jteSuccess && tok.FError != jteMoreInput) return nullptr;
  tok.FError = jteSuccess;
  if (length < 0) {
    length = text ? static_cast<std::int64_t>(std::char_traits<char16_t>::length(text)) : 0;
    last = true;
  }
  TJsonMachine m{tok, strict, self, options, put, type};
  TJsonTokenizer::Level& top = tok.FLevels[0];
  if (!self && tok.FDepth == 0 && top.State == sValue && top.Saved == sValue) {
    // A fresh document may start with whitespace and comments; a path may not.
    top.State = sWhite;
  }
  std::int64_t pos = 0;
  for (;;) {
    int c;
    const bool atEnd = pos >= length;
    if (atEnd) {
      if (!last) break;
      c = kEnd;
    } else {
      c = text[pos];
      if (c == 0) c = kEnd;
      if (c == 0xFEFF && tok.FCharOffset == 0) {
        // A byte-order mark before anything else.
        ++pos;
        ++tok.FCharOffset;
        continue;
      }
      // Runs inside strings and names are appended at once.
      const std::uint8_t st = tok.FLevels[tok.FDepth].State;
      if ((st == sString || st == sQuotedName) && c != tok.FQuote && c != '\\' && c != kEnd) {
        std::int64_t e = pos;
        while (e < length && text[e] != tok.FQuote && text[e] != '\\' && text[e] != 0) {
          if (text[e] == 10) {
            ++tok.FLine;
            tok.FColumn = 0;
          } else {
            tok.FColumn += text[e] == 9 ? 4 : 1;
          }
          ++e;
        }
        tok.FBuffer.append(text + pos, static_cast<std::size_t>(e - pos));
        tok.FCharOffset += e - pos;
        pos = e;
        continue;
      }
    }
    Action a;
    do a = m.Step(c);
    while (a == aRedo);
    if (a == aError) return nullptr;
    if (a == aStop) {
      tok.FStopped = true;
      tok.FStoppedAtEnd = atEnd;
      return tok.FLevels[0].Value;
    }
    if (atEnd) {
      // The end of the input left a value open.
      tok.FError = jteEndOfText;
      return nullptr;
    }
    ++pos;
    ++tok.FCharOffset;
    if (c == 10) {
      ++tok.FLine;
      tok.FColumn = 0;
    } else {
      tok.FColumn += c == 9 ? 4 : 1;
    }
  }
  if (tok.FDepth == 0 && top.State == sWhite && top.Saved == sFinish) return top.Value;
  tok.FError = jteMoreInput;
  return nullptr;
}

IJsonObject ParseString(std::u16string_view text, bool strict, bool partial, const IJsonObject& self,
                        unsigned options, const IJsonObject& put, TJsonDataType type) {
  TJsonTokenizer tok;
  IJsonObject v = ParseText(tok, text.data(), static_cast<std::int64_t>(text.size()), true, strict, self, options,
                            put, type);
  if (tok.GetError() != jteSuccess) return nullptr;
  if (!partial && tok.GetCharOffset() != static_cast<std::int64_t>(text.size())) return nullptr;
  return v;
}

namespace {

std::size_t ReadFull(TStream& s, char* buf, std::size_t n) {
  std::size_t got = 0;
  while (got < n) {
    const std::int64_t r = s.Read(buf + got, static_cast<std::int64_t>(n - got));
    if (r <= 0) break;
    got += static_cast<std::size_t>(r);
  }
  return got;
}

}  // namespace

IJsonObject ParseStream(TStream& stream, bool strict, bool partial, const IJsonObject& self, unsigned options,
                        const IJsonObject& put, TJsonDataType type) {
  TJsonTokenizer tok;
  IJsonObject result;
  try {
    const std::int64_t start = stream.GetPosition();
    char head[3];
    const std::size_t h = ReadFull(stream, head, 2);
    const bool wide = h == 2 && static_cast<unsigned char>(head[0]) == 0xFF && static_cast<unsigned char>(head[1]) == 0xFE;
    if (!wide) {
      stream.Seek(start, TSeekOrigin::soBeginning);
      // A UTF-8 byte-order mark is skipped; the bytes still read one per character.
      const std::size_t b = ReadFull(stream, head, 3);
      if (!(b == 3 && std::memcmp(head, "\xEF\xBB\xBF", 3) == 0)) stream.Seek(start, TSeekOrigin::soBeginning);
    }
    const std::size_t block = wide ? 2048 : 1024;
    std::vector<char> bytes(block + 1);
    std::vector<char16_t> chars(block);
    std::size_t carry = 0;  // an odd byte left from the last wide block
    for (;;) {
      const std::size_t got = ReadFull(stream, bytes.data() + carry, block - carry) + carry;
      std::size_t n = 0;
      if (wide) {
        for (; 2 * n + 1 < got; ++n)
          chars[n] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * n]) |
                                           (static_cast<unsigned char>(bytes[2 * n + 1]) << 8));
        carry = got - 2 * n;
        if (carry) bytes[0] = bytes[2 * n];
      } else {
        for (; n < got; ++n) chars[n] = static_cast<unsigned char>(bytes[n]);
      }
      if (n == 0 && (got == carry || got == 0)) break;
      result = ParseText(tok, chars.data(), static_cast<std::int64_t>(n), false, strict, self, options, put, type);
      if (tok.GetError() != jteSuccess && tok.GetError() != jteMoreInput) return nullptr;
      if (tok.GetStopped()) break;
    }
    if (!tok.GetStopped()) result = ParseText(tok, nullptr, 0, true, strict, self, options, put, type);
  } catch (const Exception&) {
    return nullptr;
  }
  if (tok.GetError() != jteSuccess) return nullptr;
  if (!partial && !tok.GetStoppedAtEnd()) return nullptr;
  return result;
}

IJsonObject ParseFile(const std::string& fileName, bool strict, bool partial, const IJsonObject& self,
                      unsigned options, const IJsonObject& put, TJsonDataType type) {
  try {
    TFileStream f(fileName, fmOpenRead);
    return ParseStream(f, strict, partial, self, options, put, type);
  } catch (const Exception&) {
    return nullptr;
  }
}

IJsonObject ParseJson(std::u16string_view text) { return ParseString(text, false, true); }
IJsonObject ParseJson(std::string_view ansi) { return ParseJson(std::u16string_view(AnsiToUtf16(ansi))); }

// ---------------------------------------------------------------------------
// Paths.

IJsonObject TJsonObject::EvalPath(std::u16string_view path, bool strict, bool partial, unsigned options,
                                  const IJsonObject& put, TJsonDataType type) {
  return ParseString(path, strict, partial, shared_from_this(), options, put, type);
}

bool TJsonObject::PutPath(const TJsonText& path, IJsonObject v) {
  TJsonTokenizer tok;
  const std::u16string_view p = path.View();
  ParseText(tok, p.data(), static_cast<std::int64_t>(p.size()), true, true, shared_from_this(),
            jpoCreatePath | jpoPutValue, v, jdtNull);
  return tok.GetError() == jteSuccess && tok.GetCharOffset() == static_cast<std::int64_t>(p.size());
}

IJsonObject TJsonObject::GetPathValue(const TJsonText& path) { return EvalPath(path.View(), false, true, 0, nullptr, jdtNull); }
bool TJsonObject::SetPathValue(const TJsonText& path, IJsonObject v) { return PutPath(path, std::move(v)); }
bool TJsonObject::GetPathBool(const TJsonText& path) {
  const IJsonObject v = GetPathValue(path);
  return v && v->AsBoolean();
}
bool TJsonObject::SetPathBool(const TJsonText& path, bool v) { return PutPath(path, Create(v)); }
std::int64_t TJsonObject::GetPathInt(const TJsonText& path) {
  const IJsonObject v = GetPathValue(path);
  return v ? v->AsInteger() : 0;
}
bool TJsonObject::SetPathInt(const TJsonText& path, std::int64_t v) { return PutPath(path, Create(v)); }
double TJsonObject::GetPathDouble(const TJsonText& path) {
  const IJsonObject v = GetPathValue(path);
  return v ? v->AsDouble() : 0;
}
bool TJsonObject::SetPathDouble(const TJsonText& path, double v) { return PutPath(path, Create(v)); }
std::int64_t TJsonObject::GetPathCurrency(const TJsonText& path) {
  const IJsonObject v = GetPathValue(path);
  return v ? v->AsCurrency() : 0;
}
bool TJsonObject::SetPathCurrency(const TJsonText& path, std::int64_t scaled) { return PutPath(path, CreateCurrency(scaled)); }
std::u16string TJsonObject::GetPathString(const TJsonText& path) {
  const IJsonObject v = GetPathValue(path);
  return v ? v->AsString() : std::u16string();
}
bool TJsonObject::SetPathString(const TJsonText& path, std::u16string v) { return PutPath(path, Create(std::move(v))); }
const TJsonMethod* TJsonObject::GetPathMethod(const TJsonText& path) {
  const IJsonObject v = GetPathValue(path);
  // The method lives in its value, which its holder keeps.
  return v ? v->AsMethod() : nullptr;
}
bool TJsonObject::SetPathMethod(const TJsonText& path, TJsonMethod m) {
  return EvalPath(path.View(), false, true, jpoCreatePath | jpoPutValue, Create(std::move(m)), jdtNull) != nullptr;
}
TJsonArray* TJsonObject::GetPathArray(const TJsonText& path) {
  const IJsonObject v = GetPathValue(path);
  return v ? v->AsArray() : nullptr;
}
IJsonObject TJsonObject::GetPathValueOrNull(const TJsonText& path) {
  IJsonObject v = GetPathValue(path);
  return v ? v : Create(jdtNull);
}
bool TJsonObject::SetPathValueOrNull(const TJsonText& path, IJsonObject v) {
  return EvalPath(path.View(), false, true, jpoCreatePath | jpoPutValue, v ? v : Create(jdtNull), jdtNull) != nullptr;
}
IJsonObject TJsonObject::EnsurePath(const TJsonText& path, TJsonDataType type) {
  return EvalPath(path.View(), false, true, jpoCreatePath, nullptr, type);
}
IJsonObject TJsonObject::Delete(const TJsonText& path) { return EvalPath(path.View(), false, true, jpoDelete, nullptr, jdtNull); }

// ---------------------------------------------------------------------------
// Copies, merges, templates, comparisons and calls.

IJsonObject TJsonObject::Clone() {
  // A value met again inside itself (a cycle) is left out of the copy.
  if (FProcessing) return nullptr;
  ProcessingGuard guard(*this);
  switch (FDataType) {
    case jdtObject: {
      IJsonObject r = Create(jdtObject);
      TJsonAvlIterator it(*FValue.o);
      for (it.First(); it.GetCurrent(); it.Next()) {
        const TJsonAvlEntry* e = it.GetCurrent();
        r->FValue.o->Put(e->GetName(), e->GetValue() ? e->GetValue()->Clone() : nullptr);
      }
      return r;
    }
    case jdtArray: {
      IJsonObject r = Create(jdtArray);
      for (int i = 0; i < FValue.a->GetLength(); ++i) {
        const IJsonObject v = FValue.a->Get(i);
        r->FValue.a->Put(i, v ? v->Clone() : nullptr);
      }
      return r;
    }
    case jdtString: return Create(FString);
    case jdtMethod: return Create(*FValue.m);
    default: {
      IJsonObject r = Create(FDataType);
      r->FValue = FValue;
      return r;
    }
  }
}

void TJsonObject::Merge(const IJsonObject& other, bool reference) {
  if (!other || other->FDataType != FDataType || FProcessing || other->FProcessing) return;
  switch (FDataType) {
    case jdtObject: {
      ProcessingGuard guardThis(*this);
      std::unique_ptr<ProcessingGuard> guardOther;
      if (other.get() != this) guardOther = std::make_unique<ProcessingGuard>(*other);
      // Take the members first: merging may change the tables being walked.
      const std::vector<std::u16string> names = other->FValue.o->GetNames();
      const std::vector<IJsonObject> values = other->FValue.o->GetValues();
      for (std::size_t k = 0; k < names.size(); ++k) {
        const IJsonObject& v = values[k];
        const IJsonObject mine = FValue.o->Get(names[k]);
        if (mine && v && mine->FDataType == v->FDataType) {
          if (mine != v) mine->Merge(v, reference);
        } else {
          FValue.o->Put(names[k], reference || !v ? v : v->Clone());
        }
      }
      break;
    }
    case jdtArray: {
      ProcessingGuard guardThis(*this);
      std::unique_ptr<ProcessingGuard> guardOther;
      if (other.get() != this) guardOther = std::make_unique<ProcessingGuard>(*other);
      const int n = other->FValue.a->GetLength();
      for (int i = 0; i < n; ++i) {
        const IJsonObject v = other->FValue.a->Get(i);
        const IJsonObject mine = FValue.a->Get(i);
        if (mine && v && mine->FDataType == v->FDataType) {
          if (mine != v) mine->Merge(v, reference);
        } else {
          FValue.a->Put(i, reference || !v ? v : v->Clone());
        }
      }
      break;
    }
    case jdtString: FString = other->FString; break;
    case jdtMethod: *FValue.m = *other->FValue.m; break;
    default: FValue = other->FValue; break;
  }
}

void TJsonObject::Merge(const TJsonText& text) { Merge(ParseJson(text.View()), true); }

std::u16string TJsonObject::Format(std::u16string_view text, char16_t beginSep, char16_t endSep) {
  std::u16string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t b = text.find(beginSep, i);
    if (b == std::u16string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, b - i));
    const std::size_t e = text.find(endSep, b + 1);
    if (e == std::u16string_view::npos) break;  // an open path drops the rest
    out += GetPathString(text.substr(b + 1, e - b - 1));
    i = e + 1;
  }
  return out;
}

namespace {

bool IsNumeric(TJsonDataType t) { return t == jdtBoolean || t == jdtDouble || t == jdtCurrency || t == jdtInteger; }

TJsonCompareResult Order(int c) { return c < 0 ? jcrLess : c > 0 ? jcrGreater : jcrEqual; }

}  // namespace

TJsonCompareResult TJsonObject::Compare(const IJsonObject& other) {
  if (!other) return jcrNotComparable;
  const TJsonDataType a = FDataType, b = other->FDataType;
  if (IsNumeric(a) && IsNumeric(b)) {
    if (a != jdtDouble && b != jdtDouble) {
      // Exact: everything as a count of ten-thousandths.
      auto scaled = [](const TJsonObject& v) -> __int128 {
        if (v.FDataType == jdtBoolean) return v.FValue.b ? 10000 : 0;
        if (v.FDataType == jdtCurrency) return v.FValue.i;
        return static_cast<__int128>(v.FValue.i) * 10000;
      };
      const __int128 x = scaled(*this), y = scaled(*other);
      return Order(x < y ? -1 : x > y ? 1 : 0);
    }
    auto wide = [](const TJsonObject& v) -> long double {
      switch (v.FDataType) {
        case jdtBoolean: return v.FValue.b ? 1 : 0;
        case jdtDouble: return v.FValue.d;
        case jdtCurrency: return static_cast<long double>(v.FValue.i) / 10000;
        default: return static_cast<long double>(v.FValue.i);
      }
    };
    const long double x = wide(*this), y = wide(*other);
    if (std::isnan(x) || std::isnan(y)) return jcrNotComparable;
    return Order(x < y ? -1 : x > y ? 1 : 0);
  }
  const bool textA = a == jdtString || (IsNumeric(a) && a != jdtBoolean);
  const bool textB = b == jdtString || (IsNumeric(b) && b != jdtBoolean);
  if (textA && textB && (a == jdtString || b == jdtString)) return Order(AsString().compare(other->AsString()));
  return jcrNotComparable;
}

TJsonCompareResult TJsonObject::Compare(const TJsonText& text) { return Compare(ParseJson(text.View())); }

IJsonObject TJsonObject::Call(const TJsonText& path, const IJsonObject& param) {
  return EvalPath(path.View(), false, true, jpoCallMethod, param, jdtNull);
}

IJsonObject TJsonObject::Call(const TJsonText& path, const TJsonText& paramText) {
  return Call(path, ParseJson(paramText.View()));
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

// ---------------------------------------------------------------------------
// Validation against a schema.

namespace {

enum SchemaType { stUnknown = 0, stStr, stInt, stFloat, stNumber, stText, stBool, stMap, stSeq, stScalar, stAny };

SchemaType SchemaTypeOf(const IJsonObject& name) {
  if (!JsonIsType(name, jdtString)) return stUnknown;
  static const char16_t* const names[] = {u"str", u"int", u"float", u"number", u"text",
                                          u"bool", u"map", u"seq", u"scalar", u"any"};
  const std::u16string n = name->AsString();
  for (int i = 0; i < 10; ++i)
    if (n == names[i]) return static_cast<SchemaType>(i + 1);
  return stUnknown;
}

bool TypeMatches(SchemaType t, TJsonDataType d) {
  switch (t) {
    case stStr: return d == jdtString;
    case stInt: return d == jdtInteger;
    case stFloat: return d == jdtDouble || d == jdtCurrency;
    case stNumber: return d == jdtInteger || d == jdtDouble || d == jdtCurrency;
    case stText: return d == jdtString || d == jdtInteger || d == jdtDouble || d == jdtCurrency;
    case stBool: return d == jdtBoolean;
    case stMap: return d == jdtObject;
    case stSeq: return d == jdtArray;
    case stScalar: return d != jdtObject && d != jdtArray && d != jdtMethod;
    default: return true;
  }
}

std::u16string IndexText(int i) {
  const std::string s = std::to_string(i);
  return std::u16string(s.begin(), s.end());
}

class Validator {
 public:
  Validator(const TJsonOnValidateError& callback, void* sender) : FCallback(callback), FSender(sender) {}

  // Registers every schema with a string "name", searching maps and sequences.
  void Register(const IJsonObject& s) {
    if (!s || s->GetProcessing()) return;
    if (TJsonArray* a = s->AsArray()) {
      ProcessingGuard guard(*s);
      for (int i = 0; i < a->GetLength(); ++i) Register(a->Get(i));
      return;
    }
    TJsonTableString* t = s->AsObject();
    if (!t) return;
    ProcessingGuard guard(*s);
    const IJsonObject name = t->Get(u"name");
    if (JsonIsType(name, jdtString)) FDefinitions.emplace(name->AsString(), s);
    const SchemaType type = SchemaTypeOf(t->Get(u"type"));
    if (type == stMap) {
      if (const IJsonObject m = t->Get(u"mapping"); m && m->AsObject())
        for (const IJsonObject& v : m->AsObject()->GetValues()) Register(v);
    } else if (type == stSeq) {
      Register(t->Get(u"sequence"));
    }
  }

  void Check(const IJsonObject& value, const IJsonObject& schema, const std::u16string& path) {
    if (!schema || !schema->AsObject()) return;
    if (!value || value->DataType() == jdtNull) {
      const IJsonObject req = Member(schema, u"required");
      if (req && req->AsBoolean()) Report(jveFieldIsRequired, path);
      return;
    }
    if (value->GetProcessing()) return;  // met again inside itself
    ProcessingGuard guard(*value);
    if (!TypeMatches(SchemaTypeOf(Member(schema, u"type")), value->DataType())) {
      Report(jveInvalidDataType, path);
      return;
    }
    CheckEnum(value, schema, path);
    CheckLength(value, schema, path);
    CheckRange(value, schema, path);
    if (TJsonTableString* t = value->AsObject()) {
      const IJsonObject m = Member(schema, u"mapping");
      if (TJsonTableString* map = m ? m->AsObject() : nullptr) {
        const std::vector<std::u16string> names = t->GetNames();
        const std::vector<IJsonObject> values = t->GetValues();
        for (std::size_t k = 0; k < names.size(); ++k) {
          const IJsonObject sub = map->Get(names[k]);
          if (sub && sub->AsObject())
            Check(values[k], sub, MemberPath(path, names[k]));
          else
            Report(jveFieldNotFound, MemberPath(path, names[k]));
        }
        for (const std::u16string& n : map->GetNames())
          if (!t->Exists(n)) Check(nullptr, map->Get(n), MemberPath(path, n));
      }
    }
    if (TJsonArray* a = value->AsArray()) {
      IJsonObject es = Member(schema, u"sequence");
      if (es && es->AsArray()) es = es->AsArray()->Get(0);
      if (es && es->AsObject()) {
        const IJsonObject unique = Member(es, u"unique");
        const bool mustBeUnique = unique && unique->AsBoolean();
        for (int i = 0; i < a->GetLength(); ++i) {
          const std::u16string ep = path + u"[" + IndexText(i) + u"]";
          const IJsonObject e = a->Get(i);
          Check(e, es, ep);
          if (mustBeUnique && e) {
            for (int j = 0; j < i; ++j) {
              if (e->Compare(a->Get(j)) == jcrEqual) {
                Report(jveDuplicateEntry, ep);
                break;
              }
            }
          }
        }
      }
    }
  }

  bool Ok() const { return FOk; }

 private:
  static std::u16string MemberPath(const std::u16string& path, const std::u16string& name) {
    return path.empty() ? name : path + u"." + name;
  }

  void Report(TJsonValidateError code, const std::u16string& path) {
    FOk = false;
    if (FCallback) FCallback(FSender, code, path);
  }

  // A schema member, or the one an inherited definition gives.
  IJsonObject Member(const IJsonObject& schema, std::u16string_view name) {
    IJsonObject s = schema;
    // A chain longer than the number of definitions is a cycle.
    for (std::size_t hops = 0; s && hops <= FDefinitions.size(); ++hops) {
      TJsonTableString* t = s->AsObject();
      if (!t) return nullptr;
      if (IJsonObject v = t->Get(name)) return v;
      const IJsonObject inherit = t->Get(u"inherit");
      if (!JsonIsType(inherit, jdtString)) return nullptr;
      const auto it = FDefinitions.find(inherit->AsString());
      if (it == FDefinitions.end()) return nullptr;
      s = it->second;
    }
    return nullptr;
  }

  void CheckEnum(const IJsonObject& value, const IJsonObject& schema, const std::u16string& path) {
    const IJsonObject e = Member(schema, u"enum");
    if (!e) return;
    TJsonArray* a = e->AsArray();
    if (!a) {
      Report(jveSchema, u"");
      return;
    }
    for (int i = 0; i < a->GetLength(); ++i)
      if (value->Compare(a->Get(i)) == jcrEqual) return;
    Report(jveValueNotInEnum, path);
  }

  // Checks the bounds min, max (inclusive) and minex, maxex (exclusive).
  template <typename Cmp>
  static bool WithinBounds(TJsonTableString& b, Cmp cmp) {
    if (IJsonObject v = b.Get(u"min"); v && cmp(v) == jcrLess) return false;
    if (IJsonObject v = b.Get(u"max"); v && cmp(v) == jcrGreater) return false;
    if (IJsonObject v = b.Get(u"minex"); v && (cmp(v) == jcrLess || cmp(v) == jcrEqual)) return false;
    if (IJsonObject v = b.Get(u"maxex"); v && (cmp(v) == jcrGreater || cmp(v) == jcrEqual)) return false;
    return true;
  }

  void CheckLength(const IJsonObject& value, const IJsonObject& schema, const std::u16string& path) {
    const IJsonObject l = Member(schema, u"length");
    if (!l) return;
    TJsonTableString* b = l->AsObject();
    if (!b) {
      Report(jveSchema, u"");
      return;
    }
    const TJsonDataType t = value->DataType();
    if (t != jdtString && t != jdtInteger && t != jdtDouble && t != jdtCurrency) return;
    const auto len = static_cast<std::int64_t>(value->AsString().size());
    const bool ok = WithinBounds(*b, [len](const IJsonObject& bound) {
      const std::int64_t n = bound->AsInteger();
      return len < n ? jcrLess : len > n ? jcrGreater : jcrEqual;
    });
    if (!ok) Report(jveInvalidLength, path);
  }

  void CheckRange(const IJsonObject& value, const IJsonObject& schema, const std::u16string& path) {
    const IJsonObject r = Member(schema, u"range");
    if (!r) return;
    TJsonTableString* b = r->AsObject();
    if (!b) {
      Report(jveSchema, u"");
      return;
    }
    // Bounds that cannot be compared with the value are not applied.
    const bool ok = WithinBounds(*b, [&value](const IJsonObject& bound) { return value->Compare(bound); });
    if (!ok) Report(jveInvalidRange, path);
  }

  const TJsonOnValidateError& FCallback;
  void* FSender;
  bool FOk = true;
  std::map<std::u16string, IJsonObject> FDefinitions;
};

}  // namespace

bool TJsonObject::Validate(const IJsonObject& schema, const IJsonObject& definitions,
                           const TJsonOnValidateError& callback, void* sender) {
  Validator v(callback, sender);
  v.Register(definitions);
  v.Check(shared_from_this(), schema, u"");
  return v.Ok();
}

bool TJsonObject::Validate(const TJsonText& schemaText, const TJsonText& definitionsText,
                           const TJsonOnValidateError& callback, void* sender) {
  const IJsonObject schema = ParseJson(schemaText.View());
  // A schema that does not parse cannot be checked against: that is no success.
  if (!schema) return false;
  IJsonObject defs;
  if (!definitionsText.View().empty()) {
    defs = ParseJson(definitionsText.View());
    if (!defs) return false;
  }
  return Validate(schema, defs, callback, sender);
}

}  // namespace ond
