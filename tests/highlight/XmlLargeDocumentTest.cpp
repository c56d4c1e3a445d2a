// A document large enough for its parse to outgrow the heap blocks reads as
// its pieces read alone (whose parses stay in heap blocks), its nodes and
// attributes change and outlive the document as small ones do, and the
// arena's memory of any size is whole, aligned and apart.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "highlight/XmlModel.h"
#include "platform/core/BlockArena.h"
#include "platform/core/Classes.h"

namespace ond {
namespace {

// One element of a scheme-like document: attributes (some with
// references), text, comments and nested children.
std::string Piece(std::mt19937& Rng, int Depth) {
  static const char* const kNames[] = {"Range", "Token", "Word", "Style", "Rule", "Set"};
  const std::string name = kNames[Rng() % 6];
  std::string s = "<" + name;
  const int attrs = static_cast<int>(Rng() % 6);
  for (int i = 0; i < attrs; ++i)
    s += " a" + std::to_string(i) + "=\"" + (Rng() % 5 == 0 ? "x &amp; y &lt; z" : "v" + std::to_string(Rng() % 999)) +
         "\"";
  if (Depth > 4 || Rng() % 4 == 0) return s + "/>";
  s += ">";
  const int kids = static_cast<int>(Rng() % 5);
  for (int i = 0; i < kids; ++i) {
    if (Rng() % 3 == 0) s += "some text &#65; with a reference that is longer than a short string";
    s += Piece(Rng, Depth + 1);
  }
  if (Rng() % 7 == 0) s += "<!-- note -->";
  return s + "</" + name + ">";
}

IXmlDocument Parse(std::string_view Text) {
  auto doc = CreateXmlDocument("", "1.0", "", std::make_shared<TXmlNameTable>(64));
  doc->LoadXML(Text);
  return doc;
}

// Attributes set (over old ones and new, which grows a parsed list after
// its parse), removed, and a child added, the same on any element.
void Change(const IXmlNode& Node, int Seed) {
  Node->SetAttr("a0", "changed " + std::to_string(Seed));
  for (int i = 0; i < 12; ++i) Node->SetAttr("n" + std::to_string(i), std::string(Seed % 40, 'q'));
  Node->RemoveAttr("a1");
  Node->AppendElement("Added")->SetAttr("k", "v");
}

TEST(XmlLargeDocument, ReadsAndChangesAsItsPiecesAlone) {
  std::mt19937 rng(17);
  std::vector<std::string> pieces;
  std::string text = "<Root>";
  while (text.size() < (6u << 20)) {
    pieces.push_back(Piece(rng, 0));
    text += pieces.back();
  }
  text += "</Root>";
  auto big = Parse(text);
  auto root = big->GetDocumentElement();
  ASSERT_EQ(root->GetChildNodes()->GetCount(), static_cast<int>(pieces.size()));
  // From a stream in blocks the same tree.
  TStringStream stream(text);
  auto streamed = CreateXmlDocument("", "1.0", "", std::make_shared<TXmlNameTable>(64));
  streamed->LoadFromStream(stream);
  EXPECT_EQ(streamed->GetXML(), big->GetXML());
  streamed.reset();

  std::vector<IXmlNode> kept;
  for (std::size_t i = 0; i < pieces.size(); i += 211) {
    SCOPED_TRACE(i);
    auto alone = Parse("<Root>" + pieces[i] + "</Root>");
    const IXmlNode mine = root->GetChildNodes()->GetItem(static_cast<int>(i));
    const IXmlNode theirs = alone->GetDocumentElement()->GetChildNodes()->GetItem(0);
    ASSERT_EQ(mine->GetXML(), theirs->GetXML());
    Change(mine, static_cast<int>(i));
    Change(theirs, static_cast<int>(i));
    ASSERT_EQ(mine->GetXML(), theirs->GetXML());
    const IXmlNode copy = mine->CloneNode(true);
    EXPECT_EQ(copy->GetXML(), theirs->GetXML());
    kept.push_back(mine);
  }
  // The nodes held outlive the document and the other nodes.
  const std::vector<std::string> before = [&] {
    std::vector<std::string> v;
    for (const IXmlNode& n : kept) v.push_back(n->GetXML());
    return v;
  }();
  root.reset();
  big->LoadXML("<Other/>");
  big.reset();
  for (std::size_t k = 0; k < kept.size(); ++k) {
    EXPECT_EQ(kept[k]->GetXML(), before[k]);
    kept[k]->SetAttr("late", std::string(100, 'l'));
  }
}

// Pieces of every size up to past the largest block, from a parse that
// grows into regions: each aligned, writable whole and apart from the
// others, and the reservation grows with what was taken.
TEST(XmlLargeDocument, ArenaMemoryOfEverySizeIsWholeAndApart) {
  std::mt19937 rng(23);
  TBlockArena* arena = TBlockArena::Create();
  struct Taken {
    unsigned char* at;
    std::size_t size;
  };
  std::vector<Taken> taken;
  std::size_t total = 0;
  while (total < (40u << 20)) {
    const unsigned kind = rng() % 100;
    const std::size_t size = kind < 90 ? 1 + rng() % 200 : kind < 99 ? 1 + rng() % 70000 : (3u << 20) + rng() % 1000;
    auto* p = static_cast<unsigned char*>(arena->TakeUnheld(size));
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(p) % alignof(std::max_align_t), 0u);
    std::memset(p, static_cast<int>(taken.size() & 0xFF), size);
    taken.push_back({p, size});
    total += size;
  }
  EXPECT_GE(arena->Reserved(), total);
  for (std::size_t i = 0; i < taken.size(); ++i) {
    const auto fill = static_cast<unsigned char>(i & 0xFF);
    const Taken& t = taken[i];
    ASSERT_EQ(t.at[0], fill) << i;
    ASSERT_EQ(t.at[t.size / 2], fill) << i;
    ASSERT_EQ(t.at[t.size - 1], fill) << i;
  }
  arena->Close();
}

}  // namespace
}  // namespace ond
