// Values and members a document parse makes share memory blocks with the
// rest of the parse. None of that may show: each value lives, moves and dies
// on its own, members are removed, replaced and packed one by one, and the
// blocks go when the last value of the parse does (the leak checker of the
// sanitizer build watches that).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "services/jsonobject.h"

namespace ond {
namespace {

const char16_t* const kDoc =
    u"{\"a\": {\"x\": 1, \"y\": [1, 2.5, \"three\", true, null], \"aLongerMemberName\": \"a longer string value\"},"
    u" \"b\": [{\"k\": 1}, {\"k\": 2}], \"c\": 1e300, \"d\": false}";

TEST(JsonParsedTree, ValuesOutliveTheParseAndMoveIntoOtherTrees) {
  IJsonObject kept, keptString;
  {
    IJsonObject doc = ParseString(kDoc, true, false);
    ASSERT_TRUE(doc);
    kept = doc->AsObject()->Get(u"a");
    keptString = kept->AsObject()->Get(u"aLongerMemberName");
  }
  EXPECT_EQ(kept->AsObject()->GetCount(), 3);
  EXPECT_EQ(kept->GetPathInt(u"x"), 1);
  EXPECT_EQ(kept->GetPathString(u"y[2]"), u"three");
  EXPECT_EQ(keptString->AsString(), u"a longer string value");

  // Into a tree made by hand, changed there member by member.
  IJsonObject home = TJsonObject::Create(jdtObject);
  home->AsObject()->Put(u"kept", kept);
  EXPECT_TRUE(home->SetPathInt(u"kept.x", 7));                       // replaces a parsed member's value
  EXPECT_TRUE(home->SetPathInt(u"kept.newMemberWithALongName", 8));  // adds beside them
  EXPECT_EQ(kept->AsObject()->Remove(u"y")->AsArray()->GetLength(), 5);
  kept->AsObject()->Put(u"x", nullptr);
  kept->Pack(false);
  EXPECT_FALSE(kept->AsObject()->Exists(u"x"));
  EXPECT_EQ(kept->AsObject()->GetCount(), 2);
  EXPECT_EQ(home->GetPathInt(u"kept.newMemberWithALongName"), 8);
  IJsonObject copy = home->Clone();
  home.reset();
  kept.reset();
  EXPECT_EQ(keptString->AsString(), u"a longer string value");
  EXPECT_EQ(copy->GetPathString(u"kept.aLongerMemberName"), u"a longer string value");
}

TEST(JsonParsedTree, EveryValueOfAParseGoesWithItsLastHolder) {
  std::vector<std::weak_ptr<TJsonObject>> watched;
  auto watch = [&](const IJsonObject& v, auto&& self) -> void {
    watched.push_back(v);
    if (TJsonArray* a = v->AsArray())
      for (int i = 0; i < a->GetLength(); ++i) self(a->Get(i), self);
    if (TJsonTableString* o = v->AsObject())
      for (const IJsonObject& m : o->GetValues()) self(m, self);
  };
  IJsonObject doc = ParseString(kDoc, true, false);
  ASSERT_TRUE(doc);
  watch(doc, watch);
  IJsonObject b = doc->AsObject()->Get(u"b");
  // The same member parsed twice: the later value takes the earlier place.
  IJsonObject twice = ParseString(u"{\"m\": 1, \"n\": 2, \"m\": \"again\"}", true, false);
  ASSERT_TRUE(twice);
  EXPECT_EQ(twice->GetPathString(u"m"), u"again");
  EXPECT_EQ(twice->AsObject()->GetCount(), 2);
  watch(twice, watch);
  doc.reset();
  twice->Clear(true);
  twice.reset();
  EXPECT_EQ(b->AsArray()->GetLength(), 2);
  b.reset();
  for (const auto& w : watched) EXPECT_TRUE(w.expired());
}

TEST(JsonParsedTree, BrokenAndStreamedTextsLeaveNothingBehind) {
  for (const char16_t* broken : {u"{\"a\": [1, 2, {\"b\": \"x\"", u"{\"a\": 1,, }", u"[1, 2, 3] trailing"})
    EXPECT_FALSE(ParseString(broken, true, false));
  // A stream read in blocks builds one tree from one arena across its calls.
  std::string bytes = "{";
  for (int i = 0; i < 3000; ++i) bytes += (i ? "," : "") + std::string("\"member") + std::to_string(i) + "\":[" + std::to_string(i) + "]";
  bytes += "}";
  TStringStream s(bytes);
  IJsonObject v = ParseStream(s, true, false);
  ASSERT_TRUE(v);
  EXPECT_EQ(v->AsObject()->GetCount(), 3000);
  IJsonObject one = v->GetPathValue(u"member2999[0]");
  v.reset();
  EXPECT_EQ(one->AsInteger(), 2999);
}

}  // namespace
}  // namespace ond
