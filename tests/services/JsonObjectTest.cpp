// Values, conversions, the member table and arrays.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <random>

#include "services/jsonobject.h"

namespace ond {
namespace {

std::vector<std::u16string> Names(const TJsonTableString& t) { return t.GetNames(); }

TEST(JsonObject, HashAndMemberOrder) {
  EXPECT_EQ(TJsonAvlEntry::Hash(u""), 0u);
  EXPECT_EQ(TJsonAvlEntry::Hash(u"a"), 97u + 0x9E370001u);
  // Descending unsigned hash.
  IJsonObject o = TJsonObject::Create(jdtObject);
  o->AsObject()->Put(u"system", TJsonObject::Create(1));
  o->AsObject()->Put(u"interface", TJsonObject::Create(2));
  o->AsObject()->Put(u"search", TJsonObject::Create(3));
  EXPECT_EQ(Names(*o->AsObject()), (std::vector<std::u16string>{u"search", u"interface", u"system"}));
  EXPECT_EQ(o->AsJsonText(), u"{\"search\":3,\"interface\":2,\"system\":1}");
}

TEST(JsonObject, CollidingNamesStayApartAndReplaceKeepsCount) {
  const std::u16string a = u"aA", b = u"`\u00C2";
  ASSERT_EQ(TJsonAvlEntry::Hash(a), TJsonAvlEntry::Hash(b));
  TJsonTableString t;
  t.Put(b, TJsonObject::Create(2));
  t.Put(a, TJsonObject::Create(1));
  EXPECT_EQ(t.GetCount(), 2);
  EXPECT_EQ(t.Get(a)->AsInteger(), 1);
  EXPECT_EQ(t.Get(b)->AsInteger(), 2);
  // Equal hashes in ascending name order ("`" < "a").
  EXPECT_EQ(Names(t), (std::vector<std::u16string>{b, a}));
  TJsonAvlEntry* before = t.Search(a);
  t.Put(a, TJsonObject::Create(5));
  EXPECT_EQ(t.GetCount(), 2);
  EXPECT_EQ(t.Search(a), before);  // kept its place
  EXPECT_EQ(t.Get(a)->AsInteger(), 5);
  EXPECT_EQ(t.Remove(b)->AsInteger(), 2);
  EXPECT_EQ(t.GetCount(), 1);
  EXPECT_FALSE(t.Exists(b));
  // A prefix comes before the longer name among equal hashes is not needed:
  // nearest searches follow iteration order.
  TJsonTableString s;
  for (const char16_t* n : {u"k1", u"k2", u"k3"}) s.Put(n, nullptr);
  const auto names = Names(s);
  EXPECT_EQ(s.Search(u"zz", TJsonSearchMode::Exact), nullptr);
  TJsonAvlIterator it(s);
  it.Search(names[1]);
  ASSERT_NE(it.GetCurrent(), nullptr);
  it.Next();
  ASSERT_NE(it.GetCurrent(), nullptr);
  EXPECT_EQ(it.GetCurrent()->GetName(), names[2]);
}

// Iteration order key: descending hash, then ascending name.
struct OrderKey {
  bool operator()(const std::u16string& x, const std::u16string& y) const {
    const auto hx = TJsonAvlEntry::Hash(x), hy = TJsonAvlEntry::Hash(y);
    if (hx != hy) return hx > hy;
    return x < y;
  }
};

TEST(JsonObject, RandomInsertsAndDeletesAgainstMap) {
  std::mt19937 rng(4711);
  TJsonTableString t;
  std::map<std::u16string, std::int64_t, OrderKey> ref;
  auto name = [&] {
    std::u16string s;
    const int len = 1 + static_cast<int>(rng() % 3);
    // A small alphabet makes repeats, deletes of present names and collisions common.
    for (int i = 0; i < len; ++i) s += static_cast<char16_t>(u"aA`\u00C2bz"[rng() % 6]);
    s += static_cast<char16_t>('0' + rng() % 64);
    return s;
  };
  for (int i = 0; i < 100000; ++i) {
    const std::u16string n = name();
    if (rng() % 3 == 0) {
      EXPECT_EQ(t.Delete(n), ref.erase(n) == 1);
    } else {
      t.Put(n, TJsonObject::Create(static_cast<std::int64_t>(i)));
      ref[n] = i;
    }
    if (i % 10000 == 0) {
      ASSERT_EQ(t.GetCount(), static_cast<int>(ref.size()));
    }
  }
  ASSERT_EQ(t.GetCount(), static_cast<int>(ref.size()));
  for (const auto& [k, v] : ref) {
    const IJsonObject x = t.Get(k);
    ASSERT_TRUE(x);
    EXPECT_EQ(x->AsInteger(), v);
  }
  std::vector<std::u16string> expected;
  for (const auto& kv : ref) expected.push_back(kv.first);
  EXPECT_EQ(Names(t), expected);
  const double bound = 1.4405 * std::log2(static_cast<double>(ref.size()) + 2) - 0.3277;
  EXPECT_LE(t.Height(), static_cast<int>(bound));

  // Sequential inserts (worst case for an unbalanced tree) and a full drain.
  TJsonTableString seq;
  for (int i = 0; i < 20000; ++i) seq.Put(u"n" + std::u16string(1, static_cast<char16_t>(0x400 + i % 500)) +
                                              std::u16string(1, static_cast<char16_t>(0x100 + i / 500)), nullptr);
  EXPECT_EQ(seq.GetCount(), 20000);
  EXPECT_LE(seq.Height(), 21);
  for (const auto& n : Names(seq)) ASSERT_TRUE(seq.Delete(n));
  EXPECT_EQ(seq.GetCount(), 0);
  EXPECT_EQ(seq.Height(), 0);
}

TEST(JsonObject, Conversions) {
  using O = TJsonObject;
  // Booleans.
  EXPECT_FALSE(O::Create(jdtNull)->AsBoolean());
  EXPECT_TRUE(O::Create(u"false")->AsBoolean());
  EXPECT_TRUE(O::Create(u"0")->AsBoolean());
  EXPECT_FALSE(O::Create(u"")->AsBoolean());
  EXPECT_FALSE(O::Create(0.0)->AsBoolean());
  EXPECT_TRUE(O::CreateCurrency(1)->AsBoolean());
  EXPECT_TRUE(O::Create(jdtArray)->AsBoolean());
  // Integers, halves to even.
  EXPECT_EQ(O::Create(2.5)->AsInteger(), 2);
  EXPECT_EQ(O::Create(3.5)->AsInteger(), 4);
  EXPECT_EQ(O::Create(-2.5)->AsInteger(), -2);
  EXPECT_EQ(O::CreateCurrency(25000)->AsInteger(), 2);
  EXPECT_EQ(O::CreateCurrency(35000)->AsInteger(), 4);
  EXPECT_EQ(O::CreateCurrency(-35000)->AsInteger(), -4);
  EXPECT_EQ(O::CreateCurrency(-25001)->AsInteger(), -3);
  EXPECT_EQ(O::Create(u"123")->AsInteger(), 123);
  EXPECT_EQ(O::Create(u"-9223372036854775808")->AsInteger(), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(O::Create(u"9223372036854775808")->AsInteger(), 0);
  EXPECT_EQ(O::Create(u"12ab")->AsInteger(), 0);
  EXPECT_EQ(O::Create(u" 12")->AsInteger(), 0);
  EXPECT_EQ(O::Create(true)->AsInteger(), 1);
  // Never undefined: NaN and infinities saturate or give 0.
  EXPECT_EQ(O::Create(std::nan(""))->AsInteger(), 0);
  EXPECT_EQ(O::Create(1e300)->AsInteger(), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(O::Create(-HUGE_VAL)->AsCurrency(), 0);
  EXPECT_EQ(O::Create(-1e300)->AsCurrency(), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(O::Create(std::numeric_limits<std::int64_t>::max())->AsCurrency(), std::numeric_limits<std::int64_t>::max());
  // Doubles and currency.
  EXPECT_DOUBLE_EQ(O::CreateCurrency(15000)->AsDouble(), 1.5);
  EXPECT_DOUBLE_EQ(O::Create(u"1.25e2")->AsDouble(), 125.0);
  EXPECT_DOUBLE_EQ(O::Create(u"1,5")->AsDouble(), 0.0);
  EXPECT_DOUBLE_EQ(O::Create(u"nan")->AsDouble(), 0.0);
  EXPECT_EQ(O::Create(u"1.23456")->AsCurrency(), 12346);
  EXPECT_EQ(O::Create(static_cast<std::int64_t>(7))->AsCurrency(), 70000);
  // Strings: text, or the compact JSON text of other values.
  EXPECT_EQ(O::Create(jdtNull)->AsString(), u"null");
  EXPECT_EQ(O::Create(true)->AsString(), u"true");
  EXPECT_EQ(O::CreateCurrency(15000)->AsString(), u"1.5");
  EXPECT_EQ(O::CreateCurrency(2500)->AsString(), u"0.25");
  EXPECT_EQ(O::CreateCurrency(20000)->AsString(), u"2.");
  EXPECT_EQ(O::CreateCurrency(-5)->AsString(), u"-0.0005");
  EXPECT_EQ(O::CreateCurrency(0)->AsString(), u"0");
  EXPECT_EQ(O::CreateCurrency(std::numeric_limits<std::int64_t>::min())->AsString(), u"-922337203685477.5808");
  EXPECT_EQ(O::Create(0.1)->AsString(), u"0.1");
  EXPECT_EQ(O::Create(1.0 / 3)->AsString(), u"0.333333333333333");
  EXPECT_EQ(O::Create(1e20)->AsString(), u"1e+20");
  EXPECT_EQ(O::Create(std::nan(""))->AsString(), u"null");
  EXPECT_EQ(O::Create(static_cast<std::int64_t>(-42))->AsString(), u"-42");
  EXPECT_EQ(O::Create(jdtMethod)->AsString(), u"");
  // Accessors by type, nil as null.
  EXPECT_EQ(O::Create(1)->AsObject(), nullptr);
  EXPECT_NE(O::Create(jdtArray)->AsArray(), nullptr);
  EXPECT_TRUE(JsonIsType(nullptr, jdtNull));
  EXPECT_FALSE(JsonIsType(nullptr, jdtObject));
  EXPECT_EQ(O::Create(u"\u0416")->AsAnsiString(), "\xC6");
}

TEST(JsonObject, ArrayClearPackAndCycles) {
  IJsonObject a = TJsonObject::Create(jdtArray);
  TJsonArray* arr = a->AsArray();
  EXPECT_TRUE(arr->Put(3, TJsonObject::Create(3)));
  EXPECT_EQ(arr->GetLength(), 4);
  EXPECT_EQ(arr->Get(1), nullptr);
  EXPECT_EQ(arr->Get(-1), nullptr);
  EXPECT_EQ(arr->Get(4), nullptr);
  EXPECT_FALSE(arr->Put(-1, nullptr));
  EXPECT_FALSE(arr->Put(TJsonArray::MaxIndex + 1, nullptr));
  EXPECT_EQ(arr->Add(TJsonObject::Create(4)), 4);
  arr->Put(0, TJsonObject::Create(0));
  EXPECT_EQ(a->AsJsonText(), u"[0,null,null,3,4]");
  a->Pack();
  EXPECT_EQ(a->AsJsonText(), u"[0,3,4]");
  EXPECT_EQ(arr->Delete(1)->AsInteger(), 3);
  EXPECT_EQ(arr->Delete(7), nullptr);
  EXPECT_EQ(a->AsJsonText(), u"[0,4]");

  IJsonObject o = TJsonObject::Create(jdtObject);
  o->AsObject()->Put(u"a", nullptr);
  o->AsObject()->Put(u"b", TJsonObject::Create(jdtArray));
  o->AsObject()->Get(u"b")->AsArray()->Put(2, TJsonObject::Create(1));
  o->Pack(false);
  EXPECT_EQ(o->AsJsonText(), u"{\"b\":[null,null,1]}");
  o->Pack(true);
  EXPECT_EQ(o->AsJsonText(), u"{\"b\":[1]}");

  // A value that holds itself is written without the cycle and freed by Clear(true).
  o->AsObject()->Put(u"self", o);
  arr->Add(a);
  EXPECT_EQ(o->AsJsonText(), u"{\"b\":[1]}");
  EXPECT_EQ(a->AsJsonText(), u"[0,4]");
  std::weak_ptr<TJsonObject> wo = o, wa = a;
  o->Clear(true);
  a->Clear(true);
  EXPECT_EQ(o->AsObject()->GetCount(), 0);
  o.reset();
  a.reset();
  EXPECT_TRUE(wo.expired());
  EXPECT_TRUE(wa.expired());

  IJsonObject s = TJsonObject::Create(u"x");
  s->Clear();
  EXPECT_EQ(s->AsString(), u"");
  IJsonObject d = TJsonObject::Create(2.5);
  d->Clear();
  EXPECT_EQ(d->AsDouble(), 0.0);
}

}  // namespace
}  // namespace ond
