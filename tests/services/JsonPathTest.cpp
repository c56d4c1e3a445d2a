// Paths: reading, writing with creation, deleting, arrays and method calls.
#include <gtest/gtest.h>

#include "services/jsonobject.h"

namespace ond {
namespace {

IJsonObject Doc() { return ParseJson(u"{a: {b: {c: 7}}, list: [10, 20, 30], s: 'text', n: null, i: 5}"); }

TEST(JsonPath, ReadingAndConversions) {
  IJsonObject d = Doc();
  ASSERT_TRUE(d);
  EXPECT_EQ(d->GetPathInt(u"a.b.c"), 7);
  EXPECT_EQ(d->GetPathInt("a.b.c"), 7);  // single-byte program text
  EXPECT_EQ(d->GetPathString(u"a.b.c"), u"7");
  EXPECT_EQ(d->GetPathString(u"s"), u"text");
  EXPECT_EQ(d->GetPathString(u"n"), u"null");
  EXPECT_EQ(JsonDataType(d->GetPathValue(u"n")), jdtNull);
  EXPECT_TRUE(d->GetPathBool(u"i"));
  EXPECT_DOUBLE_EQ(d->GetPathDouble(u"i"), 5.0);
  EXPECT_EQ(d->GetPathCurrency(u"i"), 50000);
  EXPECT_EQ(d->GetPathInt(u"list[1]"), 20);
  EXPECT_EQ(d->GetPathInt(u"list[ 2 ]"), 30);
  EXPECT_EQ(d->GetPathInt(u"list[]"), 30);  // no index: the last element
  EXPECT_EQ(d->GetPathInt(u"list."), 30);
  EXPECT_EQ(d->GetPathArray(u"list")->GetLength(), 3);
  EXPECT_EQ(d->GetPathArray(u"a"), nullptr);
  EXPECT_EQ(d->GetPathValue(u"a.b")->AsObject()->GetCount(), 1);
  // Missing values read as false, 0, "" or nil; a path through a non-object too.
  EXPECT_FALSE(d->GetPathBool(u"a.x"));
  EXPECT_EQ(d->GetPathInt(u"a.x.y"), 0);
  EXPECT_EQ(d->GetPathString(u"i.x"), u"");
  EXPECT_EQ(d->GetPathValue(u"list[7]"), nullptr);
  EXPECT_EQ(d->GetPathValue(u"list[-1]"), nullptr);
  EXPECT_EQ(d->GetPathValue(u"list[x]"), nullptr);
  EXPECT_EQ(d->GetPathValue(u"list[1.5]"), nullptr);
  EXPECT_EQ(d->GetPathValue(u"list[2147483647]"), nullptr);
  EXPECT_EQ(d->GetPathValue(u"list[1"), nullptr);
  EXPECT_EQ(d->GetPathValue(u"s[0]"), nullptr);
  EXPECT_EQ(JsonDataType(d->GetPathValueOrNull(u"zzz")), jdtNull);
  EXPECT_EQ(d->GetPathValueOrNull(u"i")->AsInteger(), 5);
  // Readers accept trailing text after the path; the empty path is the value itself.
  EXPECT_EQ(d->GetPathInt(u"a.b.c and more"), 7);
  EXPECT_EQ(d->GetPathValue(u""), d);
  // Names with a code page 1251 text, and escapes inside names.
  IJsonObject r = ParseJson(u"{'\u0438\u043c\u044f': 1, 'a.b': 2}");
  EXPECT_EQ(r->GetPathInt("\xE8\xEC\xFF"), 1);
  EXPECT_EQ(r->GetPathInt(u"a\\.b"), 2);
}

TEST(JsonPath, WritingCreatesAndRefuses) {
  IJsonObject d = TJsonObject::Create(jdtObject);
  EXPECT_TRUE(d->SetPathInt(u"x.y.z", 3));
  EXPECT_EQ(d->AsJsonText(), u"{\"x\":{\"y\":{\"z\":3}}}");
  EXPECT_TRUE(d->SetPathBool(u"x.y.b", true));
  EXPECT_TRUE(d->SetPathDouble(u"x.d", 0.5));
  EXPECT_TRUE(d->SetPathCurrency(u"x.c", 15000));
  EXPECT_TRUE(d->SetPathString(u"x.s", u"\u0416"));
  EXPECT_EQ(JsonDataType(d->GetPathValue(u"x.d")), jdtDouble);
  EXPECT_EQ(JsonDataType(d->GetPathValue(u"x.c")), jdtCurrency);
  EXPECT_EQ(d->GetPathString(u"x.s"), u"\u0416");
  // Replacing keeps one member.
  EXPECT_TRUE(d->SetPathInt(u"x.y.z", 4));
  EXPECT_EQ(d->GetPathValue(u"x.y")->AsObject()->GetCount(), 2);
  EXPECT_EQ(d->GetPathInt(u"x.y.z"), 4);
  // Writers parse strictly and completely.
  EXPECT_FALSE(d->SetPathInt(u"x.y.z tail", 5));
  EXPECT_FALSE(d->SetPathInt(u"x.y.z.w", 5));  // through a non-object
  EXPECT_EQ(d->GetPathInt(u"x.y.z"), 4);
  // Arrays: growing, appending, refusing bad indexes.
  EXPECT_TRUE(d->SetPathInt(u"arr[2]", 2));
  EXPECT_EQ(d->GetPathValue(u"arr")->AsJsonText(), u"[null,null,2]");
  EXPECT_TRUE(d->SetPathInt(u"arr[]", 9));
  EXPECT_TRUE(d->SetPathInt(u"arr.", 10));
  EXPECT_EQ(d->GetPathValue(u"arr")->AsJsonText(), u"[null,null,2,9,10]");
  EXPECT_TRUE(d->SetPathInt(u"arr[0].k", 1));  // creates the element object
  EXPECT_EQ(d->GetPathValue(u"arr")->AsJsonText(), u"[{\"k\":1},null,2,9,10]");
  EXPECT_TRUE(d->SetPathInt(u"m[1][0]", 5));
  EXPECT_EQ(d->GetPathValue(u"m")->AsJsonText(), u"[null,[5]]");
  EXPECT_FALSE(d->SetPathInt(u"arr[2147483647]", 1));
  EXPECT_FALSE(d->SetPathInt(u"arr[-1]", 1));
  EXPECT_FALSE(d->SetPathInt(u"arr[99999999999999999999]", 1));
  EXPECT_FALSE(d->SetPathInt(u"x[0]", 1));  // x is an object
  EXPECT_FALSE(d->SetPathInt(u"arr.name", 1));
  EXPECT_EQ(d->GetPathArray(u"arr")->GetLength(), 5);
  // PathValueOrNull puts a null for nil; EnsurePath creates only when missing.
  EXPECT_TRUE(d->SetPathValueOrNull(u"nul", nullptr));
  EXPECT_EQ(JsonDataType(d->GetPathValue(u"nul")), jdtNull);
  EXPECT_TRUE(d->GetPathValue(u"nul"));
  IJsonObject e = d->EnsurePath(u"new.list", jdtArray);
  ASSERT_TRUE(JsonIsType(e, jdtArray));
  EXPECT_EQ(d->EnsurePath(u"new.list", jdtObject), e);
  EXPECT_EQ(d->EnsurePath(u"x.y.z", jdtString)->AsInteger(), 4);
  // Putting nil stores a nil member, which writes as null and packs away.
  EXPECT_TRUE(d->SetPathValue(u"gone", nullptr));
  EXPECT_TRUE(d->AsObject()->Exists(u"gone"));
  EXPECT_EQ(d->GetPathValue(u"gone"), nullptr);
  EXPECT_NE(d->AsJsonText().find(u"\"gone\":null"), std::u16string::npos);
}

TEST(JsonPath, Deleting) {
  IJsonObject d = Doc();
  EXPECT_EQ(d->Delete(u"a.b.c")->AsInteger(), 7);
  EXPECT_EQ(d->GetPathValue(u"a.b")->AsObject()->GetCount(), 0);
  EXPECT_EQ(d->Delete(u"a.b.c"), nullptr);
  EXPECT_EQ(d->Delete(u"list[0]")->AsInteger(), 10);
  EXPECT_EQ(d->Delete(u"list[]")->AsInteger(), 30);
  EXPECT_EQ(d->GetPathValue(u"list")->AsJsonText(), u"[20]");
  EXPECT_EQ(d->Delete(u"list[5]"), nullptr);
  EXPECT_EQ(d->Delete(u"i.x"), nullptr);
  EXPECT_EQ(d->Delete(u"s")->AsString(), u"text");
  EXPECT_FALSE(d->AsObject()->Exists(u"s"));
}

TEST(JsonPath, MethodsAreCalledOnlyWhenAsked) {
  IJsonObject d = TJsonObject::Create(jdtObject);
  int calls = 0;
  IJsonObject seenHolder, seenParams;
  EXPECT_TRUE(d->SetPathMethod(u"tools.sum", [&](const IJsonObject& self, const IJsonObject& params, IJsonObject& result) {
    ++calls;
    seenHolder = self;
    seenParams = params;
    std::int64_t s = 0;
    if (TJsonArray* a = params ? params->AsArray() : nullptr) {
      for (int i = 0; i < a->GetLength(); ++i) s += a->Get(i)->AsInteger();
    } else if (params) {
      s = params->AsInteger();
    }
    result = TJsonObject::Create(s);
  }));
  EXPECT_TRUE(d->SetPathMethod(u"tools.none", [&](const IJsonObject&, const IJsonObject&, IJsonObject&) { ++calls; }));
  ASSERT_NE(d->GetPathMethod(u"tools.sum"), nullptr);
  // Reading never calls.
  EXPECT_EQ(d->GetPathValue(u"tools.sum(1, 2)"), nullptr);
  EXPECT_EQ(d->GetPathInt(u"tools.sum(1)"), 0);
  EXPECT_EQ(calls, 0);
  // Methods are not written.
  EXPECT_EQ(d->AsJsonText(), u"{\"tools\":{}}");
  // Calls: the holder, a single argument alone, several as an array.
  EXPECT_EQ(d->Call(u"tools.sum", TJsonObject::Create(4))->AsInteger(), 4);
  EXPECT_EQ(seenHolder, d->GetPathValue(u"tools"));
  EXPECT_EQ(d->Call(u"tools.sum", u"[1, 2, 3]")->AsInteger(), 6);
  EXPECT_EQ(d->Call(u"tools.sum(5)")->AsInteger(), 5);
  EXPECT_EQ(d->Call(u"tools.sum(1, 2, 40)")->AsInteger(), 43);
  EXPECT_EQ(seenParams->AsJsonText(), u"[1,2,40]");
  EXPECT_EQ(calls, 4);
  // Not a method, a method without a result, a missing one.
  EXPECT_EQ(d->Call(u"tools"), nullptr);
  EXPECT_EQ(d->Call(u"tools.none"), nullptr);
  EXPECT_EQ(d->Call(u"tools.missing"), nullptr);
  EXPECT_EQ(calls, 5);
  // An empty method value is refused, not called.
  EXPECT_TRUE(d->SetPathMethod(u"empty", TJsonMethod()));
  EXPECT_EQ(d->Call(u"empty"), nullptr);
}

}  // namespace
}  // namespace ond
