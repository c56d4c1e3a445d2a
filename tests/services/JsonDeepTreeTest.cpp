// Trees far deeper than the parser accepts, built through the value API and
// through paths: releasing, writing, copying, merging, clearing and packing them must
// not nest native calls per level. They run on a thread with a small stack,
// where nesting per level would overflow within a few thousand levels.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "services/jsonobject.h"
#include "tests/support/ThreadStack.h"

namespace ond {
namespace {

constexpr int kDepth = 100'000;

// kDepth containers, each the only member or element of the one above,
// alternating objects and arrays, with a number at the bottom.
IJsonObject DeepTree() {
  IJsonObject root = TJsonObject::Create(jdtObject);
  IJsonObject at = root;
  for (int i = 1; i < kDepth; ++i) {
    IJsonObject child = TJsonObject::Create(i % 2 ? jdtArray : jdtObject);
    if (at->AsObject())
      at->AsObject()->Put(u"a", child);
    else
      at->AsArray()->Add(child);
    at = child;
  }
  if (at->AsObject())
    at->AsObject()->Put(u"a", TJsonObject::Create(7));
  else
    at->AsArray()->Add(TJsonObject::Create(7));
  return root;
}

// The text DeepTree writes, built without the writer.
std::u16string DeepTreeText() {
  std::u16string open, close;
  for (int i = 0; i < kDepth; ++i) {
    open += i % 2 ? u"[" : u"{\"a\":";
    close += i % 2 ? u"]" : u"}";
  }
  return open + u"7" + std::u16string(close.rbegin(), close.rend());
}

TEST(JsonDeepTree, WriteCloneAndReleaseOnASmallStack) {
  const std::u16string expected = DeepTreeText();
  std::u16string text, copyText;
  std::int64_t size = 0;
  test::RunOnStack(test::kSmallThreadStack, [&] {
    IJsonObject tree = DeepTree();
    text = tree->AsJsonText();
    size = tree->CalcSize(false, true);
    IJsonObject copy = tree->Clone();
    tree.reset();  // released while the copy still lives
    copyText = copy->AsJsonText();
  });
  EXPECT_TRUE(text == expected);
  EXPECT_EQ(size, static_cast<std::int64_t>(expected.size()));
  EXPECT_TRUE(copyText == expected);
}

TEST(JsonDeepTree, ClearAndPackEveryLevelOnASmallStack) {
  int cleared = -1;
  std::u16string packed;
  test::RunOnStack(test::kSmallThreadStack, [&] {
    IJsonObject tree = DeepTree();
    tree->Pack(true);
    packed = tree->AsJsonText().substr(0, 6);
    // A value kept from deep inside is emptied by a clear of everything.
    IJsonObject inner = tree;
    for (int i = 0; i < 10; ++i) inner = inner->AsObject() ? inner->AsObject()->Get(u"a") : inner->AsArray()->Get(0);
    tree->Clear(true);
    cleared = inner->AsObject() ? inner->AsObject()->GetCount() : inner->AsArray()->GetLength();
  });
  EXPECT_EQ(packed, u"{\"a\":[");
  EXPECT_EQ(cleared, 0);
}

TEST(JsonDeepTree, APathOfAHundredThousandSegments) {
  std::u16string path = u"a";
  for (int i = 1; i < kDepth; ++i) path += u".a";
  std::u16string start;
  test::RunOnStack(test::kSmallThreadStack, [&] {
    IJsonObject root = TJsonObject::Create(jdtObject);
    ASSERT_TRUE(root->SetPathInt(TJsonText(path), 5));
    EXPECT_EQ(root->GetPathInt(TJsonText(path)), 5);
    start = root->AsJsonText().substr(0, 10);
    IJsonObject copy = root->Clone();
    root.reset();
    EXPECT_EQ(copy->GetPathInt(TJsonText(path)), 5);
  });
  EXPECT_EQ(start, u"{\"a\":{\"a\":");
}

TEST(JsonDeepTree, MergeOnASmallStack) {
  std::u16string merged, added;
  test::RunOnStack(test::kSmallThreadStack, [&] {
    IJsonObject tree = DeepTree();
    // The same shape with another number at the bottom, and one more member
    // at the top.
    IJsonObject other = DeepTree();
    IJsonObject at = other;
    while (at->AsObject() ? at->AsObject()->Get(u"a")->DataType() != jdtInteger
                          : at->AsArray()->Get(0)->DataType() != jdtInteger)
      at = at->AsObject() ? at->AsObject()->Get(u"a") : at->AsArray()->Get(0);
    if (at->AsObject())
      at->AsObject()->Put(u"a", TJsonObject::Create(8));
    else
      at->AsArray()->Put(0, TJsonObject::Create(8));
    other->AsObject()->Put(u"b", DeepTree());
    tree->Merge(other, false);
    other.reset();
    merged = tree->AsJsonText();
    added = tree->AsObject()->Get(u"b")->AsJsonText();
  });
  std::u16string expected = DeepTreeText();
  expected[expected.find(u'7')] = u'8';
  EXPECT_EQ(merged.size(), expected.size() + 5 + DeepTreeText().size());  // "b": and a comma
  EXPECT_NE(merged.find(u'8'), std::u16string::npos);
  EXPECT_EQ(merged.find(u'7'), merged.rfind(u'7'));  // only in the added copy
  EXPECT_TRUE(added == DeepTreeText());
}

// A schema that applies to itself at every level checks the whole deep tree:
// the one value out of range is found at the bottom, with its full path.
TEST(JsonDeepTree, ValidateOnASmallStack) {
  std::vector<std::pair<int, std::u16string>> found;
  bool ok = true;
  test::RunOnStack(test::kSmallThreadStack, [&] {
    const IJsonObject defs = ParseJson(
        u"{name: node, type: any, range: {max: 5}, mapping: {a: {inherit: node}}, sequence: [{inherit: node}]}");
    ok = DeepTree()->Validate(ParseJson(u"{inherit: node}"), defs,
                              [&](void*, TJsonValidateError code, const std::u16string& path) {
                                found.emplace_back(code, path);
                              });
  });
  std::u16string path = u"a[0]";
  for (int i = 2; i < kDepth; i += 2) path += u".a[0]";
  EXPECT_FALSE(ok);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].first, jveInvalidRange);
  EXPECT_TRUE(found[0].second == path);
}

// Definitions found at the bottom of arrays nested as deep.
TEST(JsonDeepTree, DefinitionsFromDeepInsideOnASmallStack) {
  bool number = false, text = true;
  test::RunOnStack(test::kSmallThreadStack, [&] {
    IJsonObject defs = TJsonObject::Create(jdtArray);
    IJsonObject at = defs;
    for (int i = 1; i < kDepth; ++i) {
      IJsonObject inner = TJsonObject::Create(jdtArray);
      at->AsArray()->Add(inner);
      at = inner;
    }
    at->AsArray()->Add(ParseJson(u"{name: count, type: int}"));
    const IJsonObject schema = ParseJson(u"{inherit: count}");
    number = ParseJson(u"5")->Validate(schema, defs);
    text = ParseJson(u"'5'")->Validate(schema, defs);
  });
  EXPECT_TRUE(number);
  EXPECT_FALSE(text);
}

// Every level both deep and wide: the first levels are freed by nesting, the
// deeper ones wait their turn; whichever way, every container goes, also one
// released while another release is running (from a method value's holder).
TEST(JsonDeepTree, AWideTreeOfAnyDepthIsReleasedWhole) {
  std::vector<std::weak_ptr<TJsonObject>> watched;
  test::RunOnStack(test::kSmallThreadStack, [&] {
    for (int depth : {1, 47, 48, 49, 200, 5000}) {
      IJsonObject root = TJsonObject::Create(jdtObject);
      IJsonObject at = root;
      for (int i = 0; i < depth; ++i) {
        IJsonObject list = TJsonObject::Create(jdtArray);
        for (int k = 0; k < 3; ++k) {
          IJsonObject leaf = TJsonObject::Create(jdtObject);
          leaf->AsObject()->Put(u"v", TJsonObject::Create(k));
          watched.push_back(leaf);
          list->AsArray()->Add(std::move(leaf));
        }
        IJsonObject next = TJsonObject::Create(i % 2 ? jdtObject : jdtArray);
        watched.push_back(list);
        watched.push_back(next);
        at->AsObject() ? at->AsObject()->Put(u"l" + std::u16string(1, u'a' + i % 26), list)
                       : static_cast<void>(at->AsArray()->Add(list));
        at->AsObject() ? at->AsObject()->Put(u"n", next) : static_cast<void>(at->AsArray()->Add(next));
        at = std::move(next);
      }
      // A value whose release releases a whole other tree on its way.
      IJsonObject other = DeepTree();
      watched.push_back(other);
      at->AsObject() ? at->AsObject()->Put(u"m", TJsonObject::Create(TJsonMethod(
                                                     [other](const IJsonObject&, const IJsonObject&, IJsonObject&) {})))
                     : static_cast<void>(at->AsArray()->Add(TJsonObject::Create(TJsonMethod(
                           [other](const IJsonObject&, const IJsonObject&, IJsonObject&) {}))));
      other.reset();
      watched.push_back(root);
      at.reset();
      root.reset();
    }
  });
  for (const auto& w : watched) EXPECT_TRUE(w.expired());
}

// A cycle made through the API is left out of writes and copies and ends
// the walks of clearing and packing.
TEST(JsonDeepTree, CyclesEndEveryWalk) {
  IJsonObject a = TJsonObject::Create(jdtObject);
  IJsonObject b = TJsonObject::Create(jdtArray);
  a->AsObject()->Put(u"b", b);
  b->AsArray()->Add(a);
  b->AsArray()->Add(TJsonObject::Create(1));
  EXPECT_EQ(a->AsJsonText(), u"{\"b\":[1]}");
  EXPECT_EQ(a->Clone()->AsJsonText(), u"{\"b\":[null,1]}");
  a->Pack(true);
  EXPECT_EQ(a->AsJsonText(), u"{\"b\":[1]}");
  a->Clear(true);
  EXPECT_EQ(a->AsObject()->GetCount(), 0);
  EXPECT_EQ(b->AsArray()->GetLength(), 0);
}

}  // namespace
}  // namespace ond
