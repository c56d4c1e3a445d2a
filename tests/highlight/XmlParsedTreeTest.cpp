// Trees the parser builds: their nodes share memory blocks with the rest of
// their parse, and their child lists are gathered before they are handed to
// the node. None of that may show: parsed nodes live, move and die one by one
// like nodes made by hand, and the text read from a stream in blocks gives
// the same tree as the same text in one piece, wherever a block ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "highlight/XmlModel.h"
#include "platform/core/Classes.h"

namespace ond {
namespace {

IXmlDocument Parse(std::string_view text, bool preserve = false) {
  auto doc = CreateXmlDocument();
  doc->SetPreserveWhiteSpace(preserve);
  doc->LoadXML(text);
  return doc;
}

TEST(XmlParsedTree, NodesOutliveTheirDocumentAndMoveElsewhere) {
  IXmlElement kept;
  IXmlNodeList keptList;
  IXmlNode keptText;
  {
    auto doc = Parse("<r><a k=\"v\"><b>text</b><c/></a><z/></r>");
    kept = doc->GetDocumentElement()->ChildOrError("a");
    keptList = kept->GetChildNodes();
    keptText = kept->ChildOrError("b")->GetChildNodes()->GetItem(0);
    // Loading again drops the old tree but not the nodes still held.
    doc->LoadXML("<s><t/></s>");
    EXPECT_EQ(doc->GetDocumentElement()->GetNodeName(), "s");
    EXPECT_EQ(kept->GetParentNode(), nullptr);
  }
  EXPECT_EQ(kept->GetAttr("k"), "v");
  EXPECT_EQ(kept->GetText(), "text");
  EXPECT_EQ(keptText->GetText(), "text");
  ASSERT_EQ(keptList->GetCount(), 2);
  EXPECT_EQ(keptList->GetItem(1)->GetNodeName(), "c");

  // Into a document of its own name table, and grown by hand afterwards.
  auto other = CreateXmlDocument("o", "1.0", "", std::make_shared<TXmlNameTable>(64));
  other->GetDocumentElement()->AppendChild(kept);
  for (int i = 0; i < 20; ++i) kept->AppendElement("n" + std::to_string(i));
  kept->InsertBefore(other->CreateElement("first"), kept->GetChildNodes()->GetItem(0));
  EXPECT_EQ(kept->GetChildNodes()->GetCount(), 23);
  EXPECT_EQ(kept->GetChildNodes()->GetItem(0)->GetNodeName(), "first");
  EXPECT_EQ(kept->GetNodeName(), "a");
  EXPECT_EQ(kept->GetParentNode(), other->GetDocumentElement());
  auto copy = kept->CloneNode(true);
  keptList.reset();
  keptText.reset();
  kept.reset();
  EXPECT_EQ(other->GetDocumentElement()->ChildOrError("a")->GetAttr("k"), "v");
  EXPECT_EQ(copy->GetChildNodes()->GetCount(), 23);
}

TEST(XmlParsedTree, EachListHoldsJustItsChildren) {
  for (int n = 0; n <= 40; n += (n < 10 ? 1 : 10)) {
    std::string text = "<r>";
    for (int i = 0; i < n; ++i) text += "<c i=\"" + std::to_string(i) + "\"/>";
    text += "</r>";
    auto doc = Parse(text);
    auto r = doc->GetDocumentElement();
    const TXmlNodeList* list = r->ChildListOrNull();
    if (n == 0) {
      EXPECT_TRUE(list == nullptr || list->GetCount() == 0);
      continue;
    }
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->GetCount(), n);
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(list->GetItem(i)->GetIntAttr("i"), i);
      EXPECT_EQ(list->GetItem(i)->GetParentNode(), r);
    }
    // A parsed element takes a value of its own like any other.
    r->SetText("t");
    EXPECT_EQ(r->GetText(), "t");
    EXPECT_EQ(r->GetXML(), "\r\n<r>t</r>");
  }
}

TEST(XmlParsedTree, ABrokenTextKeepsEveryLevelReadSoFar) {
  auto doc = CreateXmlDocument();
  EXPECT_THROW(doc->LoadXML("<r><a><b/><c x=\"1\">t<d/></c><e>x&bad;"), Exception);
  auto r = doc->GetDocumentElement();
  ASSERT_TRUE(r);
  auto a = r->ChildOrError("a");
  ASSERT_EQ(a->GetChildNodes()->GetCount(), 3);
  EXPECT_EQ(a->ChildOrError("c")->GetAttr("x"), "1");
  EXPECT_EQ(a->ChildOrError("c")->GetText(), "t");
  EXPECT_EQ(a->ChildOrError("c")->GetChildNodes()->GetCount(), 2);
  EXPECT_EQ(a->ChildOrError("e")->GetParentNode(), a);
  // The next load starts afresh.
  doc->LoadXML("<s/>");
  EXPECT_EQ(doc->GetChildNodes()->GetCount(), 1);
}

// Pieces whose reading takes a shortcut when they lie inside one block and a
// longer way across a block's end.
TEST(XmlParser, PiecesAcrossReadBlocksReadAsInOne) {
  const std::string longName(40, 'n');
  const std::string longValue(50, 'v');
  const std::vector<std::string> pieces = {
      "<" + longName + " a=\"1\"/>",
      "<e " + longName + "=\"" + longValue + "\" b='x&amp;y'/>",
      "<e a=\"" + longValue + "&lt;" + longValue + "\"/>",
      "<" + longName + ">t</" + longName + " >",
      "<e>\r\n\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t\t<f/>\r\n\t\t\t</e>",
      "<e>  " + longValue + "  &#65;" + longValue + "</e>",
      "<?" + longName + " data?>",
  };
  constexpr std::size_t kBlock = 65536;
  for (bool preserve : {false, true}) {
    for (const std::string& piece : pieces) {
      // The piece starts just before the first block's end and moves over it.
      for (std::size_t before = 1; before < piece.size() + 2; ++before) {
        const std::string head = "<r><!--";
        const std::string tail = "--> ";
        std::string text = head + std::string(kBlock - before - head.size() - tail.size(), 'p') + tail;
        ASSERT_EQ(text.size(), kBlock - before);
        text += piece + "</r>";
        const std::string expected = Parse(text, preserve)->GetXML();
        TStringStream s(text);
        auto doc = CreateXmlDocument();
        doc->SetPreserveWhiteSpace(preserve);
        doc->LoadFromStream(s);
        ASSERT_EQ(doc->GetXML(), expected) << piece << " at " << before;
      }
    }
  }
}

}  // namespace
}  // namespace ond
