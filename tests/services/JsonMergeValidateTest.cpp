// Clone, merge, format, compare, enumeration and schema validation.
#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "services/jsonobject.h"

namespace ond {
namespace {

IJsonObject J(std::u16string_view s) {
  IJsonObject v = ParseJson(s);
  EXPECT_TRUE(v);
  return v;
}

TEST(JsonMerge, CloneIsDeepAndSurvivesCycles) {
  IJsonObject o = J(u"{a: [1, {b: 'x'}], c: 2.5, d: 1e3, e: true, f: null}");
  o->GetPathArray(u"a")->Put(3, TJsonObject::Create(7));
  IJsonObject c = o->Clone();
  EXPECT_EQ(c->AsJsonText(), o->AsJsonText());
  EXPECT_NE(c->GetPathValue(u"a"), o->GetPathValue(u"a"));
  EXPECT_EQ(c->GetPathArray(u"a")->Get(2), nullptr);  // nil stays nil
  EXPECT_EQ(JsonDataType(c->GetPathValue(u"c")), jdtCurrency);
  c->SetPathString(u"a[1].b", u"changed");
  EXPECT_EQ(o->GetPathString(u"a[1].b"), u"x");
  // Methods copy their procedure.
  IJsonObject m = TJsonObject::Create(TJsonMethod([](const IJsonObject&, const IJsonObject&, IJsonObject& r) {
    r = TJsonObject::Create(1);
  }));
  ASSERT_TRUE(m->Clone()->AsMethod());
  EXPECT_TRUE(*m->Clone()->AsMethod());
  // A cycle is left out of the copy instead of looping.
  o->AsObject()->Put(u"self", o);
  IJsonObject cc = o->Clone();
  EXPECT_TRUE(cc->AsObject()->Exists(u"self"));
  EXPECT_EQ(cc->GetPathValue(u"self"), nullptr);
  o->Clear(true);
}

TEST(JsonMerge, MergeByTypeAndReference) {
  IJsonObject a = J(u"{keep: 1, num: 1, obj: {x: 1, y: 2}, list: [1, {p: 1}], mixed: 'text'}");
  IJsonObject b = J(u"{num: 5, obj: {y: 3, z: 4}, list: [9, {q: 2}, 3], mixed: 7, added: {deep: true}}");
  a->Merge(b, false);
  EXPECT_EQ(a->GetPathInt(u"keep"), 1);
  EXPECT_EQ(a->GetPathInt(u"num"), 5);
  EXPECT_EQ(a->GetPathValue(u"obj")->AsJsonText(), J(u"{x: 1, y: 3, z: 4}")->AsJsonText());
  EXPECT_EQ(a->GetPathValue(u"list")->AsJsonText(), u"[9,{\"q\":2,\"p\":1},3]");
  // Different types: the other's value is put in place.
  EXPECT_EQ(a->GetPathInt(u"mixed"), 7);
  // Without reference the added member is a copy, with reference the same value.
  EXPECT_NE(a->GetPathValue(u"added"), b->GetPathValue(u"added"));
  IJsonObject c = TJsonObject::Create(jdtObject);
  c->Merge(b, true);
  EXPECT_EQ(c->GetPathValue(u"added"), b->GetPathValue(u"added"));
  // Values of different types are left unchanged; scalars take the other's value.
  IJsonObject s = TJsonObject::Create(u"s");
  s->Merge(TJsonObject::Create(1), true);
  EXPECT_EQ(s->AsString(), u"s");
  s->Merge(TJsonObject::Create(u"t"), true);
  EXPECT_EQ(s->AsString(), u"t");
  IJsonObject n = TJsonObject::Create(2.5);
  n->Merge(TJsonObject::Create(0.5), true);
  EXPECT_EQ(n->AsDouble(), 0.5);
  // Merge from text parses relaxed and merges by reference.
  IJsonObject t = J(u"{a: 1}");
  t->Merge(u"{b: [1], a: 2}");
  EXPECT_EQ(t->AsJsonText(), u"{\"b\":[1],\"a\":2}");
  // Cycles on either side end.
  IJsonObject x = J(u"{k: {v: 1}}");
  IJsonObject y = J(u"{k: {w: 2}}");
  x->GetPathValue(u"k")->AsObject()->Put(u"up", x);
  y->GetPathValue(u"k")->AsObject()->Put(u"up", y);
  x->Merge(y, false);
  x->Merge(x, false);
  EXPECT_EQ(x->GetPathInt(u"k.w"), 2);
  x->Clear(true);
  y->Clear(true);
}

TEST(JsonMerge, FormatAndCompare) {
  IJsonObject o = J(u"{name: 'Ondrel', v: {major: 1, minor: 5}, z: null}");
  EXPECT_EQ(o->Format(u"{name} {v.major}.{v.minor}{missing}!", u'{', u'}'), u"Ondrel 1.5!");
  EXPECT_EQ(o->Format(u"<z> <name", u'<', u'>'), u"null ");
  EXPECT_EQ(o->Format(u"no paths", u'%', u'%'), u"no paths");
  EXPECT_EQ(o->Format(u"%name%%name%", u'%', u'%'), u"OndrelOndrel");

  using O = TJsonObject;
  EXPECT_EQ(O::Create(1)->Compare(O::Create(2)), jcrLess);
  EXPECT_EQ(O::Create(2)->Compare(O::CreateCurrency(20000)), jcrEqual);
  EXPECT_EQ(O::CreateCurrency(15000)->Compare(O::Create(1.5)), jcrEqual);
  EXPECT_EQ(O::Create(true)->Compare(O::Create(1)), jcrEqual);
  EXPECT_EQ(O::Create(false)->Compare(O::Create(0.5)), jcrLess);
  EXPECT_EQ(O::Create(std::int64_t{9007199254740993})->Compare(O::Create(9007199254740992.0)), jcrGreater);
  EXPECT_EQ(O::Create(std::numeric_limits<std::int64_t>::max())->Compare(O::CreateCurrency(1)), jcrGreater);
  EXPECT_EQ(O::Create(std::nan(""))->Compare(O::Create(1)), jcrNotComparable);
  EXPECT_EQ(O::Create(u"abc")->Compare(O::Create(u"abd")), jcrLess);
  EXPECT_EQ(O::Create(u"10")->Compare(O::Create(10)), jcrEqual);
  EXPECT_EQ(O::Create(9)->Compare(O::Create(u"10")), jcrGreater);  // as texts
  EXPECT_EQ(O::Create(true)->Compare(O::Create(u"true")), jcrNotComparable);
  EXPECT_EQ(O::Create(jdtNull)->Compare(O::Create(jdtNull)), jcrNotComparable);
  EXPECT_EQ(O::Create(jdtObject)->Compare(O::Create(jdtObject)), jcrNotComparable);
  EXPECT_EQ(O::Create(1)->Compare(IJsonObject()), jcrNotComparable);
  EXPECT_EQ(O::Create(3)->Compare(u"2.5"), jcrGreater);
  EXPECT_EQ(O::Create(3)->Compare(u"{"), jcrNotComparable);
}

TEST(JsonMerge, Enumerator) {
  IJsonObject o = J(u"{system: 1, interface: 2, search: 3}");
  std::vector<std::int64_t> seen;
  auto e = o->GetEnumerator();
  EXPECT_EQ(e->GetCurrent(), nullptr);
  while (e->MoveNext()) seen.push_back(e->GetCurrent()->AsInteger());
  EXPECT_EQ(seen, (std::vector<std::int64_t>{3, 2, 1}));
  EXPECT_FALSE(e->MoveNext());
  seen.clear();
  auto a = J(u"[4, 5]")->GetEnumerator();
  while (a->MoveNext()) seen.push_back(a->GetCurrent()->AsInteger());
  EXPECT_EQ(seen, (std::vector<std::int64_t>{4, 5}));
  EXPECT_FALSE(TJsonObject::Create(1)->GetEnumerator()->MoveNext());
}

struct Violations {
  std::vector<std::pair<int, std::u16string>> List;
  TJsonOnValidateError Callback() {
    return [this](void* sender, TJsonValidateError code, const std::u16string& path) {
      EXPECT_EQ(sender, this);
      List.emplace_back(code, path);
    };
  }
};

TEST(JsonValidate, SchemaRules) {
  const std::u16string schema =
      u"{type: map, mapping: {"
      u"  name: {type: str, required: true, length: {min: 2, maxex: 8}},"
      u"  age: {type: int, range: {min: 0, max: 150}},"
      u"  ratio: {type: float},"
      u"  kind: {type: str, enum: ['a', 'b']},"
      u"  tags: {type: seq, sequence: [{type: str, unique: true}]},"
      u"  any: {type: any},"
      u"  text: {type: text}"
      u"}}";
  Violations v;
  EXPECT_TRUE(J(u"{name: 'Bob', age: 40, ratio: 0.5, kind: 'a', tags: ['x', 'y'], any: [1], text: 5}")
                  ->Validate(schema, u"", v.Callback(), &v));
  EXPECT_TRUE(v.List.empty());

  EXPECT_FALSE(J(u"{age: 200, ratio: 1, kind: 'c', tags: ['x', 'x', 3], extra: 1, text: true}")
                   ->Validate(schema, u"", v.Callback(), &v));
  const std::vector<std::pair<int, std::u16string>> expected = {
      {jveFieldNotFound, u"extra"},     {jveInvalidDataType, u"text"},   {jveInvalidDataType, u"tags[2]"},
      {jveDuplicateEntry, u"tags[1]"},  {jveInvalidDataType, u"ratio"},  {jveValueNotInEnum, u"kind"},
      {jveInvalidRange, u"age"},        {jveFieldIsRequired, u"name"},
  };
  auto sorted = [](auto list) {
    std::sort(list.begin(), list.end());
    return list;
  };
  EXPECT_EQ(sorted(v.List), sorted(expected));

  v.List.clear();
  EXPECT_FALSE(J(u"{name: 'x'}")->Validate(schema, u"", v.Callback(), &v));
  EXPECT_EQ(v.List, (std::vector<std::pair<int, std::u16string>>{{jveInvalidLength, u"name"}}));
  v.List.clear();
  EXPECT_FALSE(J(u"{name: '12345678'}")->Validate(schema, u"", v.Callback(), &v));
  EXPECT_EQ(v.List.size(), 1u);
  // Malformed rules are reported with code 0 and no path.
  v.List.clear();
  EXPECT_FALSE(TJsonObject::Create(5)->Validate(u"{type: int, enum: 5, range: 1, length: 'x'}", u"", v.Callback(), &v));
  EXPECT_EQ(v.List, (std::vector<std::pair<int, std::u16string>>{{0, u""}, {0, u""}, {0, u""}}));
  // A null written in the text is present: of the wrong type unless the
  // schema's type admits it, never "required" missing.
  v.List.clear();
  EXPECT_FALSE(J(u"{name: null, age: null, any: null}")->Validate(schema, u"", v.Callback(), &v));
  EXPECT_EQ(sorted(v.List), sorted(std::vector<std::pair<int, std::u16string>>{{jveInvalidDataType, u"name"},
                                                                               {jveInvalidDataType, u"age"}}));
  v.List.clear();
  EXPECT_FALSE(J(u"null")->Validate(u"{type: str, required: true}", u"", v.Callback(), &v));
  EXPECT_EQ(v.List, (std::vector<std::pair<int, std::u16string>>{{jveInvalidDataType, u""}}));
  EXPECT_TRUE(J(u"null")->Validate(u"{type: any, required: true}"));
  // Exclusive bounds and a range over currency.
  EXPECT_TRUE(J(u"0.5")->Validate(u"{type: number, range: {minex: 0, maxex: 1}}"));
  EXPECT_FALSE(J(u"1.0")->Validate(u"{type: number, range: {minex: 0, maxex: 1}}"));
  // A schema text that does not parse is no success.
  EXPECT_FALSE(J(u"1")->Validate(u"{type: ", u""));
  EXPECT_TRUE(J(u"1")->Validate(IJsonObject()));
}

TEST(JsonValidate, DefinitionsInheritanceAndCycles) {
  const std::u16string defs =
      u"[{name: person, type: map, mapping: {name: {type: str, required: true}, friend: {inherit: person}}},"
      u" {name: loopA, inherit: loopB}, {name: loopB, inherit: loopA},"
      u" {name: nested, type: seq, sequence: [{name: item, type: int}]}]";
  Violations v;
  EXPECT_TRUE(J(u"{name: 'a', friend: {name: 'b', friend: {name: 'c'}}}")
                  ->Validate(u"{inherit: person}", defs, v.Callback(), &v));
  EXPECT_FALSE(J(u"{name: 'a', friend: {friend: {name: 3}}}")->Validate(u"{inherit: person}", defs, v.Callback(), &v));
  EXPECT_EQ(v.List, (std::vector<std::pair<int, std::u16string>>{{jveInvalidDataType, u"friend.friend.name"},
                                                                  {jveFieldIsRequired, u"friend.name"}}));
  // Registered from inside a sequence.
  EXPECT_TRUE(J(u"5")->Validate(u"{inherit: item}", defs));
  EXPECT_FALSE(J(u"'5'")->Validate(u"{inherit: item}", defs));
  // Cyclic inheritance ends.
  EXPECT_TRUE(J(u"5")->Validate(u"{inherit: loopA}", defs));
  // A cyclic value against a recursive schema ends.
  IJsonObject p = J(u"{name: 'self'}");
  p->AsObject()->Put(u"friend", p);
  EXPECT_TRUE(p->Validate(u"{inherit: person}", defs));
  p->Clear(true);
  // Cyclic definitions given as values end too.
  IJsonObject d = J(u"{name: 'r', type: 'map', mapping: {}}");
  d->GetPathValue(u"mapping")->AsObject()->Put(u"again", d);
  EXPECT_TRUE(J(u"{}")->Validate(J(u"{inherit: r}"), d));
  d->Clear(true);
}

}  // namespace
}  // namespace ond
