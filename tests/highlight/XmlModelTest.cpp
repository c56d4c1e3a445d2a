#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "highlight/XmlModel.h"
#include "platform/core/CodePage.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

// Messages are code page 1251; the tests write them in UTF-8.
std::string A(const char* utf8) { return Utf8ToAnsi(utf8); }

using test::ErrorOf;

TEST(XmlNameTable, InternsWithFixedIDsAndCaseSensitiveNames) {
  TXmlNameTable t(16);
  EXPECT_EQ(t.GetName(0), "#text");
  EXPECT_EQ(t.GetName(1), "#cdata-section");
  EXPECT_EQ(t.GetName(2), "#comment");
  EXPECT_EQ(t.GetName(3), "#document");
  EXPECT_EQ(t.GetName(4), "xml");
  EXPECT_EQ(t.GetID("xml"), XmlXmlID);
  EXPECT_EQ(t.GetID(""), -1);
  const int a = t.GetID("Item");
  EXPECT_EQ(a, 5);
  EXPECT_EQ(t.GetID("Item"), a);
  EXPECT_NE(t.GetID("item"), a);
  EXPECT_EQ(t.GetID(A("Элемент")), 7);
  EXPECT_EQ(t.GetName(-1), "");
  EXPECT_EQ(t.GetName(1000), "");  // out of range gives the empty text, not a crash
  // h := h * 33 + byte, modulo 2^32.
  EXPECT_EQ(TXmlNameTable::Hash("ab"), 97u * 33u + 98u);
  std::uint32_t h = 0;
  for (unsigned char c : std::string(40, 'z')) h = h * 33 + c;
  EXPECT_EQ(TXmlNameTable::Hash(std::string(40, 'z')), h);
  // Many names in few buckets still resolve.
  for (int i = 0; i < 200; ++i) EXPECT_EQ(t.GetID("n" + std::to_string(i)), 8 + i);
  for (int i = 0; i < 200; ++i) EXPECT_EQ(t.GetID("n" + std::to_string(i)), 8 + i);
}

TEST(XmlNode, ChildListOwnershipAndParentLinks) {
  auto doc = CreateXmlDocument("root");
  auto root = doc->GetDocumentElement();
  ASSERT_TRUE(root);
  EXPECT_EQ(root->GetNodeName(), "root");
  EXPECT_EQ(root->GetOwnerDocument(), doc);
  auto a = root->AppendElement("a");
  auto b = root->AppendElement("b");
  EXPECT_EQ(a->GetParentNode(), root);
  EXPECT_EQ(root->GetChildNodes()->GetCount(), 2);

  // Moving a node that has a parent detaches it from the old one.
  b->AppendChild(a);
  EXPECT_EQ(root->GetChildNodes()->GetCount(), 1);
  EXPECT_EQ(a->GetParentNode(), b);
  // An ancestor cannot go into its own subtree, nor a node into itself.
  EXPECT_EQ(ErrorOf([&] { a->AppendChild(root); }), A("Узел нельзя вставить в его собственное поддерево"));
  EXPECT_EQ(ErrorOf([&] { a->AppendChild(a); }), A("Узел нельзя вставить в его собственное поддерево"));
  EXPECT_EQ(b->GetParentNode(), root);

  // Reordering inside one list keeps one copy.
  auto c = root->AppendElement("c");
  root->InsertBefore(c, b);
  ASSERT_EQ(root->GetChildNodes()->GetCount(), 2);
  EXPECT_EQ(root->GetChildNodes()->GetItem(0), c);
  root->InsertBefore(c, nullptr);
  EXPECT_EQ(root->GetChildNodes()->GetItem(1), c);

  // Replace and remove clear the parent link of the node that leaves.
  auto d = doc->CreateElement("d");
  EXPECT_EQ(d->GetParentNode(), nullptr);
  root->ReplaceChild(d, c);
  EXPECT_EQ(c->GetParentNode(), nullptr);
  EXPECT_EQ(d->GetParentNode(), root);
  root->ReplaceChild(c, doc->CreateElement("notachild"));  // nothing happens
  EXPECT_EQ(c->GetParentNode(), nullptr);
  root->RemoveChild(b);
  EXPECT_EQ(b->GetParentNode(), nullptr);
  EXPECT_EQ(a->GetParentNode(), b);  // the subtree stays together

  // A free list does not take the parents.
  root->AppendElement("x");
  root->AppendElement("x");
  auto found = root->FindChildElements("x");
  EXPECT_EQ(found->GetCount(), 2);
  EXPECT_EQ(found->GetItem(0)->GetParentNode(), root);
  EXPECT_EQ(ErrorOf([&] { found->GetItem(2); }),
            A("Ошибка получения элемента списка: индекс выходи?за предел?"));
  EXPECT_EQ(ErrorOf([&] { root->FindChildElements("a/b"); }), A("Данн? возможност?не поддерживает? XmlModel"));
  EXPECT_EQ(ErrorOf([&] { root->FindChildElement("@x"); }), A("Данн? возможност?не поддерживает? XmlModel"));
  EXPECT_EQ(root->FindChildElement("x"), found->GetItem(0));

  // A child kept alive after its parent died has no dangling parent.
  IXmlElement orphan;
  IXmlNodeList list;
  {
    auto tmp = CreateXmlDocument("t");
    orphan = tmp->GetDocumentElement()->AppendElement("o");
    list = tmp->GetDocumentElement()->GetChildNodes();
  }
  EXPECT_EQ(orphan->GetParentNode(), nullptr);
  EXPECT_EQ(orphan->GetOwnerDocument(), nullptr);
  EXPECT_EQ(list->GetCount(), 1);
}

TEST(XmlNode, MovingBetweenNameTablesTranslatesIDs) {
  auto t1 = std::make_shared<TXmlNameTable>(64);
  auto t2 = std::make_shared<TXmlNameTable>(64);
  t2->GetID("padding");  // shift the IDs of the second table
  auto d1 = CreateXmlDocument("r", "1.0", "", t1);
  auto d2 = CreateXmlDocument("r", "1.0", "", t2);
  auto e = d1->GetDocumentElement()->AppendElement("moved");
  e->SetAttr("attr", "v");
  e->AppendElement("inner")->SetAttr("deep", "1");
  d2->GetDocumentElement()->AppendChild(e);
  EXPECT_EQ(e->GetNameTable(), t2);
  EXPECT_EQ(e->GetNodeNameID(), t2->GetID("moved"));
  EXPECT_EQ(e->GetNodeName(), "moved");
  EXPECT_EQ(e->GetAttr("attr"), "v");
  EXPECT_EQ(e->ChildOrError("inner")->GetAttr("deep"), "1");
  EXPECT_EQ(e->ChildOrError("inner")->GetNameTable(), t2);
}

TEST(XmlNode, ElementTextAndValue) {
  auto doc = CreateXmlDocument("r");
  auto r = doc->GetDocumentElement();
  auto e = r->AppendElement("e");
  e->SetText("hello");
  EXPECT_EQ(e->GetText(), "hello");
  EXPECT_EQ(e->GetXML(), "\r\n<e>hello</e>");
  // Asking for the child list turns the held text into one text child.
  auto kids = e->GetChildNodes();
  ASSERT_EQ(kids->GetCount(), 1);
  EXPECT_EQ(kids->GetItem(0)->GetNodeType(), XML_TEXT_NODE);
  EXPECT_EQ(kids->GetItem(0)->GetText(), "hello");
  EXPECT_EQ(e->GetText(), "hello");
  // Text set after the list exists is not lost behind later children.
  e->SetText("again");
  e->AppendElement("sub")->SetText("s");
  EXPECT_EQ(e->GetText(), "agains");
  EXPECT_EQ(e->GetChildNodes()->GetCount(), 2);
  // Comments and instructions are not part of the text.
  e->AppendComment("c");
  e->AppendProcessingInstruction("pi", "data");
  e->AppendCDATA("<x>");
  EXPECT_EQ(e->GetText(), "agains<x>");
  // Null and typed values.
  auto n = r->AppendElement("n");
  n->SetValue(XmlVariant::Null());
  EXPECT_EQ(n->GetText(), "{{null}}");
  n->SetValue(XmlVariant(2.5));
  EXPECT_EQ(n->GetText(), "2.5");
  EXPECT_EQ(n->GetValue().Type(), XmlVarType::Double);
  // Document text and SetText.
  auto d = CreateXmlDocument();
  d->AppendElement("a")->SetText("1");
  d->AppendComment("skip");
  d->AppendText(XmlVariant("2"));
  EXPECT_EQ(d->GetText(), "12");
  d->SetText("only");
  EXPECT_EQ(d->GetChildNodes()->GetCount(), 1);
  EXPECT_EQ(d->GetText(), "only");
}

TEST(XmlNode, ChildHelpers) {
  auto doc = CreateXmlDocument("r");
  auto r = doc->GetDocumentElement();
  auto first = r->ChildOrAppend("Opt");
  EXPECT_EQ(r->ChildOrAppend("Opt"), first);
  EXPECT_EQ(r->GetChildNodes()->GetCount(), 1);
  EXPECT_EQ(r->GetChildText("Opt", "def"), "");
  EXPECT_EQ(r->GetChildText("None", "def"), "def");
  r->SetChildText("Opt", A("значение"));
  r->SetChildText("New", "n");
  EXPECT_EQ(r->GetChildText("Opt"), A("значение"));
  EXPECT_EQ(r->GetChildText("New"), "n");
  EXPECT_EQ(ErrorOf([&] { r->ChildOrError("Missing"); }), A("Ошибка: не найден дочерний элемен?\"Missing\"."));
  auto k1 = r->AppendElement("K");
  k1->SetAttr("id", "1");
  auto k2 = r->AppendElement("K");
  k2->SetAttr("id", "2");
  EXPECT_EQ(r->FindChildByAttr("K", "id", "2"), k2);
  EXPECT_EQ(r->FindChildByAttr("K", "id", "3"), nullptr);
  // Paths.
  r->SetValueByPath("@at", XmlVariant(5));
  r->SetValueByPath("Path", XmlVariant("pv"));
  EXPECT_EQ(r->GetValueByPath("@at").ToInt(), 5);
  EXPECT_EQ(r->GetValueByPath("Path").ToText(), "pv");
  EXPECT_TRUE(r->GetValueByPath("Nothing").IsEmpty());
  r->ClearChildren();
  EXPECT_EQ(r->GetChildNodes()->GetCount(), 0);
  // Casts give the node's own kind only.
  auto c = r->AppendComment("x");
  EXPECT_TRUE(c->AsComment());
  EXPECT_FALSE(c->AsElement());
  EXPECT_FALSE(c->AsCDATASection());
  EXPECT_TRUE(r->AsElement());
  EXPECT_FALSE(r->AsText());
}

TEST(XmlNode, TypedAttributes) {
  auto doc = CreateXmlDocument("r");
  auto e = doc->GetDocumentElement();
  EXPECT_EQ(e->GetAttr("missing", ""), "");
  e->SetAttr("empty", "");
  EXPECT_EQ(e->GetAttr("empty", "x"), "");
  EXPECT_EQ(e->GetAttrType("missing"), XmlVarType::String);

  e->SetBoolAttr("b", true);
  EXPECT_EQ(e->GetAttrType("b"), XmlVarType::Boolean);
  EXPECT_EQ(e->GetAttr("b"), "1");
  e->SetAttr("t", "True");
  e->SetAttr("f", "false");
  e->SetAttr("one", "1");
  EXPECT_TRUE(e->GetBoolAttr("b"));
  EXPECT_TRUE(e->GetBoolAttr("t"));
  EXPECT_FALSE(e->GetBoolAttr("f", true));
  EXPECT_TRUE(e->GetBoolAttr("one"));
  EXPECT_TRUE(e->GetBoolAttr("missing", true));
  e->SetAttr("junk", "maybe");
  EXPECT_THROW(e->GetBoolAttr("junk"), EConvertError);
  EXPECT_THROW(e->GetIntAttr("junk"), EConvertError);

  e->SetIntAttr("i", -42);
  EXPECT_EQ(e->GetIntAttr("i"), -42);
  e->SetAttr("is", " 17 ");
  EXPECT_EQ(e->GetIntAttr("is"), 17);
  EXPECT_EQ(e->GetIntAttr("missing", 9), 9);

  e->SetFloatAttr("fl", 1.0 / 3);
  EXPECT_EQ(e->GetAttr("fl"), "0.333333333333333");
  EXPECT_DOUBLE_EQ(e->GetFloatAttr("fl"), 1.0 / 3);
  e->SetAttr("comma", "2,5");
  e->SetAttr("dot", "2.5");
  EXPECT_DOUBLE_EQ(e->GetFloatAttr("comma"), 2.5);
  EXPECT_DOUBLE_EQ(e->GetFloatAttr("dot"), 2.5);
  e->SetAttr("nofloat", "2.5x");
  EXPECT_THROW(e->GetFloatAttr("nofloat"), EConvertError);

  const TDateTime when = EncodeXmlDateTime(2021, 3, 4, 5, 6, 7);
  e->SetDateTimeAttr("dt", when);
  EXPECT_EQ(e->GetAttr("dt"), "2021-03-04T05-06-07");
  e->SetAttr("ds", "2021-03-04T05-06-07");
  EXPECT_DOUBLE_EQ(e->GetDateTimeAttr("ds"), when);
  e->SetAttr("dshort", "2021-03-04");
  EXPECT_DOUBLE_EQ(e->GetDateTimeAttr("dshort"), EncodeXmlDateTime(2021, 3, 4, 0, 0, 0));
  e->SetAttr("dbad", "2021-02-30");
  EXPECT_THROW(e->GetDateTimeAttr("dbad"), EConvertError);
  e->SetAttr("dbig", "70000-01-01");
  EXPECT_THROW(e->GetDateTimeAttr("dbig"), EConvertError);

  e->SetHexAttr("h", 0xBEEF);
  EXPECT_EQ(e->GetAttr("h"), "BEEF");
  EXPECT_EQ(e->GetHexAttr("h"), 0xBEEF);
  e->SetHexAttr("h8", -1, 8);
  EXPECT_EQ(e->GetAttr("h8"), "FFFFFFFF");
  EXPECT_EQ(e->GetHexAttr("h8"), -1);
  e->SetAttr("hbad", "XYZ");
  EXPECT_THROW(e->GetHexAttr("hbad"), EConvertError);

  e->SetVariantAttr("v", XmlVariant::OfInteger(XmlVarType::Word, 65535));
  EXPECT_EQ(e->GetVariantAttr("v").Type(), XmlVarType::Word);
  EXPECT_EQ(e->GetVariantAttr("v").ToInt(), 65535);
  EXPECT_EQ(e->GetVariantAttr("none", XmlVariant(3)).ToInt(), 3);
  EXPECT_EQ(e->AttrOrError("v").ToInt(), 65535);
  EXPECT_EQ(ErrorOf([&] { e->AttrOrError("unset"); }), A("Не зада?атрибу?\"unset\""));

  // Enumerations compare without letter case, Cyrillic included.
  const std::vector<std::string> kinds = {"Left", A("Право"), "Center"};
  e->SetAttr("k", A("пРАВО"));
  EXPECT_EQ(e->GetEnumAttr("k", kinds, -1), 1);
  EXPECT_EQ(e->GetEnumAttr("nok", kinds, 7), 7);
  e->SetAttr("bad", "Up");
  EXPECT_EQ(ErrorOf([&] { e->GetEnumAttr("bad", kinds, 0); }),
            A("Неверное значение атрибута \"bad\" элемента \"r\".\r\nДопустимые значен?:\r\nLeft\r\nПраво\r\nCenter"));
  EXPECT_EQ(e->EnumAttrOrError("k", kinds), 1);
  EXPECT_EQ(ErrorOf([&] { e->EnumAttrOrError("nok", kinds); }), A("Не найден атрибу?\"nok\""));

  // Attribute records: replace keeps the position, remove shifts.
  const int before = e->GetAttrCount();
  e->SetAttr("empty", "now");
  EXPECT_EQ(e->GetAttrCount(), before);
  EXPECT_EQ(e->GetAttrName(0), "empty");
  EXPECT_EQ(e->GetAttr("empty"), "now");
  e->RemoveAttr("empty");
  EXPECT_EQ(e->GetAttrCount(), before - 1);
  EXPECT_FALSE(e->AttrExists("empty"));
  EXPECT_EQ(e->GetAttrName(0), "b");
  EXPECT_THROW(e->GetAttrName(before), EListError);
  e->RemoveAllAttrs();
  EXPECT_EQ(e->GetAttrCount(), 0);
}

TEST(XmlValue, TextForms) {
  EXPECT_EQ(XmlVariant().ToText(), "");
  EXPECT_EQ(XmlVariant::Null().ToText(), "{{null}}");
  EXPECT_EQ(XmlVariant(false).ToText(), "0");
  EXPECT_EQ(XmlVariant::OfInteger(XmlVarType::ShortInt, -5).ToText(), "-5");
  EXPECT_EQ(XmlVariant::OfInteger(XmlVarType::LongWord, 4000000000LL).ToText(), "4000000000");
  EXPECT_EQ(XmlVariant(std::int64_t{-9000000000LL}).ToText(), "-9000000000");
  EXPECT_EQ(XmlVariant(0.5).ToText(), "0.5");
  EXPECT_EQ(XmlVariant(-1234.5).ToText(), "-1234.5");
  EXPECT_EQ(XmlVariant(100.0).ToText(), "100");
  EXPECT_EQ(XmlVariant(1e20).ToText(), "1E20");
  EXPECT_EQ(XmlVariant(1.5e-7).ToText(), "1.5E-7");
  EXPECT_EQ(XmlVariant(0.00001).ToText(), "0.00001");
  EXPECT_EQ(XmlVariant(0.1 + 0.2).ToText(), "0.3");
  EXPECT_EQ(XmlVariant::OfSingle(0.25f).ToText(), "0.25");
  EXPECT_EQ(XmlVariant::OfCurrency(12345).ToText(), "1.2345");
  EXPECT_EQ(XmlVariant::OfDate(EncodeXmlDateTime(1899, 12, 30, 0, 0, 0)).ToText(), "1899-12-30T00-00-00");
  EXPECT_DOUBLE_EQ(EncodeXmlDateTime(1900, 1, 1, 12, 0, 0), 2.5);
  EXPECT_EQ(XmlVariant(std::u16string_view(u"\u0416x")).ToText(), A("Жx"));
  EXPECT_EQ(XmlVariant::OfBytes(std::string("\x00\xFF\x10", 3)).ToText(), "AP8Q");
  EXPECT_DOUBLE_EQ(XmlTextToFloat("-1,25E2"), -125.0);
  EXPECT_THROW(XmlTextToFloat(""), EConvertError);
}

TEST(XmlValue, Base64) {
  EXPECT_EQ(XmlEncodeBase64(""), "");
  EXPECT_EQ(XmlEncodeBase64("f"), "Zg==");
  EXPECT_EQ(XmlEncodeBase64("fo"), "Zm8=");
  EXPECT_EQ(XmlEncodeBase64("foo"), "Zm9v");
  EXPECT_EQ(XmlEncodeBase64("foobar"), "Zm9vYmFy");
  EXPECT_EQ(XmlDecodeBase64("Zm9v\r\n YmE="), "fooba");
  EXPECT_EQ(XmlDecodeBase64("Zg=="), "f");
  EXPECT_EQ(XmlDecodeBase64("Zg"), "");  // shorter than four characters
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(XmlDecodeBase64(XmlEncodeBase64(all)), all);
  for (const char* bad : {"Zm9v!mFy", "Zm=v", "Zm9vY", "=Zm9"}) {
    EXPECT_EQ(ErrorOf([&] { XmlDecodeBase64(bad); }), A("Некорректные данные base64")) << bad;
  }
  auto doc = CreateXmlDocument("r");
  auto e = doc->GetDocumentElement();
  e->SetBinaryData(all);
  EXPECT_EQ(e->GetBinaryData(), all);
  EXPECT_EQ(e->GetChildNodes()->GetCount(), 1);
}

TEST(XmlNode, CloneAndCDATA) {
  auto doc = CreateXmlDocument("r");
  auto r = doc->GetDocumentElement();
  r->SetAttr("a", "1");
  auto c = r->AppendElement("c");
  c->SetText("text");
  r->AppendComment("com");
  auto shallow = r->CloneNode(false);
  EXPECT_EQ(shallow->GetAttr("a"), "1");
  EXPECT_EQ(shallow->GetChildNodes()->GetCount(), 0);
  EXPECT_EQ(shallow->GetParentNode(), nullptr);
  auto deep = r->CloneNode(true);
  EXPECT_EQ(deep->GetXML(), r->GetXML());
  EXPECT_EQ(deep->GetNameTable(), r->GetNameTable());
  auto docClone = doc->CloneNode(true);
  EXPECT_EQ(docClone->GetNodeType(), XML_DOCUMENT_NODE);
  EXPECT_EQ(docClone->GetXML(), doc->GetXML());

  auto e = r->AppendElement("cd");
  e->SetText("plain");
  e->SetCDATAText("a]]>b]]>c");
  auto kids = e->GetChildNodes();
  ASSERT_EQ(kids->GetCount(), 3);
  EXPECT_EQ(kids->GetItem(0)->GetText(), "a]]");
  EXPECT_EQ(kids->GetItem(1)->GetText(), ">b]]");
  EXPECT_EQ(kids->GetItem(2)->GetText(), ">c");
  EXPECT_EQ(e->GetText(), "a]]>b]]>c");

  // Character data is trimmed unless white space is preserved.
  auto cd = r->AppendCDATA("  pad  ");
  EXPECT_EQ(cd->GetText(), "pad");
  doc->SetPreserveWhiteSpace(true);
  EXPECT_EQ(cd->GetText(), "  pad  ");
}

TEST(XmlDocument, ResetAndFactory) {
  auto doc = CreateXmlDocument("Root");
  EXPECT_EQ(doc->GetXML(), "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<Root/>");
  EXPECT_EQ(doc->GetNameTable(), XmlDefaultNameTable());
  auto other = CreateXmlDocument("Root");
  EXPECT_EQ(other->GetDocumentElement()->GetNodeNameID(), doc->GetDocumentElement()->GetNodeNameID());
  auto root = doc->ResetDocument("1.1", "utf-8", "New");
  EXPECT_EQ(doc->GetXML(), "<?xml version=\"1.1\" encoding=\"utf-8\"?>\r\n<New/>");
  EXPECT_EQ(doc->GetDocumentElement(), root);
  auto empty = CreateXmlDocument();
  EXPECT_EQ(empty->GetChildNodes()->GetCount(), 0);
  EXPECT_EQ(empty->GetDocumentElement(), nullptr);
  EXPECT_FALSE(empty->GetPreserveWhiteSpace());
  auto own = std::make_shared<TXmlNameTable>(8);
  EXPECT_EQ(CreateXmlDocument("x", "1.0", "", own)->GetNameTable(), own);
}

// A saved document replaces its file whole: a link at the name is replaced
// (never written through), a save that cannot finish keeps the old text, and
// nothing is left behind.
TEST(XmlDocument, SavingToAFileReplacesItSafely) {
  namespace fs = std::filesystem;
  test::TempDir dir;
  auto doc = CreateXmlDocument("root");
  const std::string kept = dir.Write("real/d.xml", "old");
  const std::string link = dir / "d.xml";
  fs::create_symlink("real/d.xml", link);
  doc->SaveToFile(link);
  EXPECT_FALSE(fs::is_symlink(link));
  EXPECT_EQ(test::TempDir::Read(link), doc->GetXML());
  EXPECT_EQ(test::TempDir::Read(kept), "old");

  const std::string before = test::TempDir::Read(link);
  auto big = CreateXmlDocument("root");
  big->GetDocumentElement()->SetText(std::string(1 << 16, 'x'));
  const int ended = test::UnderFileSizeLimit(4096, [&] {
    try {
      big->SaveToFile(link);
    } catch (const EFCreateError&) {
      return 0;
    }
    return 3;
  });
  EXPECT_EQ(ended, 0) << "1000 + n: ended by signal n";
  EXPECT_EQ(test::TempDir::Read(link), before);

  const std::string folder = dir / "folder.xml";
  ASSERT_TRUE(fs::create_directory(folder));
  EXPECT_THROW(doc->SaveToFile(folder), EFCreateError);
  EXPECT_THROW(doc->SaveBinaryToFile(folder, 0), EFCreateError);
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::recursive_directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, 4);  // the file, the folder the link pointed into, its file, the folder
}

}  // namespace
}  // namespace ond
