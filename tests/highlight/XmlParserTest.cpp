#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "highlight/XmlModel.h"
#include "platform/core/Classes.h"
#include "platform/core/CodePage.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

std::string A(const char* utf8) { return Utf8ToAnsi(utf8); }

using test::ErrorOf;

std::string ParseError(std::string_view text) {
  auto doc = CreateXmlDocument();
  return ErrorOf([&] { doc->LoadXML(text); });
}

IXmlDocument Parse(std::string_view text, bool preserve = false) {
  auto doc = CreateXmlDocument();
  doc->SetPreserveWhiteSpace(preserve);
  doc->LoadXML(text);
  return doc;
}

TEST(XmlParser, RoundTripEveryNodeKindByteExact) {
  const std::string text = A(
      "<?xml version=\"1.0\" encoding=\"windows-1251\"?><!-- начало -->\r\n"
      "<Схема Имя=\"Значение\" q=\"&quot;&amp;&lt;&gt;'\" multi=\"a\r\nb\">\r\n"
      "\t<a>текст &amp; &lt;tag&gt;</a>\r\n"
      "\t<b x=\"1\" y=\"\"/>\r\n"
      "\t<c><![CDATA[<raw> & ]]]]><![CDATA[>]]></c>\r\n"
      "\t<d><?pi some data?>\r\n"
      "\t\t<e/><!--x-->\r\n"
      "\t\t<_f.g-h:i>1</_f.g-h:i>\r\n"
      "\t</d>\r\n"
      "</Схема>");
  auto doc = Parse(text);
  EXPECT_EQ(doc->GetXML(), text);
  auto root = doc->GetDocumentElement();
  ASSERT_TRUE(root);
  EXPECT_EQ(root->GetNodeName(), A("Схема"));
  EXPECT_EQ(root->GetAttr(A("Имя")), A("Значение"));
  EXPECT_EQ(root->GetAttr("q"), "\"&<>'");
  EXPECT_EQ(root->GetAttr("multi"), "a\r\nb");
  EXPECT_EQ(root->GetChildText("a"), A("текст & <tag>"));
  EXPECT_EQ(root->ChildOrError("c")->GetText(), "<raw> & ]]>");
  auto decl = doc->GetChildNodes()->GetItem(0);
  EXPECT_EQ(decl->GetNodeType(), XML_PROCESSING_INSTRUCTION_NODE);
  EXPECT_EQ(decl->GetAttr("encoding"), "windows-1251");
  auto pi = root->ChildOrError("d")->GetChildNodes()->GetItem(0);
  EXPECT_EQ(pi->GetNodeName(), "pi");
  EXPECT_EQ(pi->AsProcessingInstruction()->GetData(), "some data");
  // Written again from the re-read document: still the same bytes.
  EXPECT_EQ(Parse(doc->GetXML())->GetXML(), text);

  // The raw form keeps every blank and mixed content as it is.
  const std::string raw = "<r a=\"1\">  lead <b>x</b>\n\t<c/> <![CDATA[ y ]]> tail </r>\n";
  EXPECT_EQ(Parse(raw, true)->GetXML(), raw);
}

TEST(XmlParser, WriterLayout) {
  auto doc = CreateXmlDocument("root");
  auto r = doc->GetDocumentElement();
  auto a = r->AppendElement("a");
  a->AppendElement("leaf")->SetText("one line");
  a->AppendElement("empty");
  r->AppendElement("multi")->SetText("l1\r\nl2\r\n");
  r->AppendElement("lf")->SetText("l1\nl2");
  EXPECT_EQ(doc->GetXML(),
            "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
            "<root>\r\n"
            "\t<a>\r\n"
            "\t\t<leaf>one line</leaf>\r\n"
            "\t\t<empty/>\r\n"
            "\t</a>\r\n"
            "\t<multi>l1\r\nl2\r\n\t</multi>\r\n"
            "\t<lf>l1\nl2\r\n\t</lf>\r\n"
            "</root>");
  // A node written alone starts at level 0; the raw form adds no blanks.
  EXPECT_EQ(a->GetXML(), "\r\n<a>\r\n\t<leaf>one line</leaf>\r\n\t<empty/>\r\n</a>");
  doc->SetPreserveWhiteSpace(true);
  EXPECT_EQ(doc->GetXML(),
            "<?xml version=\"1.0\" encoding=\"windows-1251\"?><root><a><leaf>one line</leaf><empty/></a>"
            "<multi>l1\r\nl2\r\n</multi><lf>l1\nl2</lf></root>");
  doc->SetPreserveWhiteSpace(false);
  // Typed values in the text form.
  auto t = CreateXmlDocument("t");
  auto e = t->GetDocumentElement();
  e->SetFloatAttr("f", 3.25);
  e->SetBoolAttr("b", false);
  e->AppendText(XmlVariant(1e-9));
  EXPECT_EQ(t->GetXML(), "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<t f=\"3.25\" b=\"0\">1E-9</t>");

  // Saving to a stream writes exactly GetXML from the stream's position.
  TStringStream s("head");
  s.Seek(0, TSeekOrigin::soEnd);
  t->SaveToStream(s);
  EXPECT_EQ(s.DataString(), "head" + t->GetXML());
}

TEST(XmlParser, ReferencesAndWhiteSpace) {
  auto doc = Parse("<r>&#65;&#x41;&amp;&quot;&apos;&lt;&gt;&#xE9;&#1046;&#x416;</r>");
  EXPECT_EQ(doc->GetDocumentElement()->GetText(), "AA&\"'<>\xE9" + A("ЖЖ"));
  // White space only text between elements is dropped unless preserved.
  auto d1 = Parse("<r>\r\n  <a/>\r\n  <b> </b></r>");
  EXPECT_EQ(d1->GetDocumentElement()->GetChildNodes()->GetCount(), 2);
  EXPECT_EQ(d1->GetDocumentElement()->ChildOrError("b")->GetChildNodes()->GetCount(), 0);
  auto d2 = Parse("<r>\r\n  <a/>\r\n  <b> </b></r>", true);
  EXPECT_EQ(d2->GetDocumentElement()->GetChildNodes()->GetCount(), 4);
  EXPECT_EQ(d2->GetDocumentElement()->ChildOrError("b")->GetText(), " ");
  // Kept text is kept untrimmed.
  EXPECT_EQ(Parse("<r>  x  </r>")->GetDocumentElement()->GetText(), "  x  ");
  // Single quotes, blanks around "=", repeated attributes, the DOCTYPE.
  auto d3 = Parse("<!DOCTYPE r SYSTEM \"r.dtd\"><r a = 'it\"s' a='2' b\t=\t\"&#9;\" ></r >");
  auto r = d3->GetDocumentElement();
  EXPECT_EQ(d3->GetChildNodes()->GetCount(), 1);
  EXPECT_EQ(r->GetAttrCount(), 2);
  EXPECT_EQ(r->GetAttr("a"), "2");
  EXPECT_EQ(r->GetAttr("b"), "\t");
  EXPECT_EQ(r->GetAttrType("a"), XmlVarType::String);
  // Cyrillic letters may start a name; digits may not.
  EXPECT_EQ(Parse(A("<ёж я1=\"1\"/>"))->GetDocumentElement()->GetNodeName(), A("ёж"));
  EXPECT_EQ(ParseError("<1a/>"), A("Имя должно начинать? ?букв?ил?\"_\""));
}

// A name given twice keeps its place and takes the later value; what a tag
// read before its text broke off stays on its element.
TEST(XmlParser, AttributesOfATag) {
  auto doc = Parse("<a x=\"1\" y=\"2\" x=\"3\" z=\"4\"/>");
  const IXmlElement a = doc->GetDocumentElement();
  ASSERT_EQ(a->GetAttrCount(), 3);
  EXPECT_EQ(a->GetAttrName(0), "x");
  EXPECT_EQ(a->GetAttr("x"), "3");
  EXPECT_EQ(a->GetAttrName(1), "y");
  EXPECT_EQ(a->GetAttr("z"), "4");

  auto broken = CreateXmlDocument();
  EXPECT_FALSE(ErrorOf([&] { broken->LoadXML("<a x=\"1\" y=\"2"); }).empty());
  const IXmlElement b = broken->GetDocumentElement();
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->GetAttr("x"), "1");
  EXPECT_FALSE(b->AttrExists("y"));
}

TEST(XmlParser, ErrorTexts) {
  const std::string expected = A("Ожидается \"%s\"");
  auto exp = [&](std::string_view what) {
    std::string s = expected;
    s.replace(s.find("%s"), 2, what);
    return s;
  };
  struct Case {
    const char* input;
    std::string message;
  };
  const Case cases[] = {
      {"<a", A("Не завершен?определени?элемента")},
      {"<a$>", A("Некорретны?символ ?имен?элемента")},
      {"<a b=", A("Ожидается значение атрибута")},
      {"<a b=1>", A("Ожидается строковая констант?")},
      {"<a b=\"<\"/>", A("Символ \"<\" не може?использовать? ?значен??атрибуто?")},
      {"<a b=\"x", exp("\"")},
      {"<a b='x", exp("'")},
      {"<a b c=\"\"/>", exp("=")},
      {"<?bad", exp("?>")},
      {"<1/>", A("Имя должно начинать? ?букв?ил?\"_\"")},
      {"<a>&", A("Ожидается \"#\" ил?имя упрамляющег?символ?")},
      {"<a>&#;</a>", A("Ожидается числ?")},
      {"<a>&#", A("Ожидается числ?")},
      {"<a>&#x;</a>", A("Ожидается шестнадцатерично?числ?")},
      {"<a>&foo;</a>", A("Некорректное имя управляющег?символ?")},
      {"<a>& </a>", A("Некорректное имя управляющег?символ?")},
      {"<a>&ampx;</a>", A("Некорректное имя управляющег?символ?")},
      {"<a>&amp</a>", exp(";")},
      {"<a>&#65</a>", exp(";")},
      {"<a></b>", exp("a")},
      {"<a>", exp("a")},
      {"<a></a", exp(">")},
      {"<a></ab>", exp(">")},
      {"<a/", exp("/>")},
      {"<a b=\"1\"?>", exp(">")},
      {"<?xml version=\"1.0\"", exp("?>")},
      {"<?xml version=\"1.0\" x?>", exp("=")},
      {"<?pi data", exp("?>")},
      {"<!-x-->", exp("--")},
      {"<!-- x -- >", exp("-->")},
      {"<![CDAT[x]]>", exp("[CDATA[")},
      {"<a><![CDATA[x]]</a>", exp("]]>")},
      {"<!DOCTYP x>", exp("DOCTYPE")},
      {"<!DOCTYPE x", exp(">")},
      // Sound behaviour where the old reader went wrong.
      {"<a/></b>", A("Закрывающий тег без открывающего")},
      {"</a>", A("Закрывающий тег без открывающего")},
      {"<a>&#0;</a>", A("Недопустимый код символа")},
      {"<a>&#123456789;</a>", A("Недопустимый код символа")},
      {"<a>&#x000000041;</a>", A("Недопустимый код символа")},
      {"<a>&#x10000;</a>", A("Недопустимый код символа")},
      {"<a>&#x4E00;</a>", A("Недопустимый код символа")},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseError(c.input), c.message) << c.input;
  // A NUL byte is an error wherever it stands, not a silent end.
  for (std::string s : {std::string("<a>x\0</a>", 9), std::string("<a b=\"\0\"/>", 10),
                        std::string("<a/>\0", 5), std::string("<!--\0-->", 8)})
    EXPECT_EQ(ParseError(s), A("Недопустимый символ с кодом 0"));
  // What was read before an error stays in the document.
  auto doc = CreateXmlDocument();
  EXPECT_THROW(doc->LoadXML("<r><a x=\"1\"/><b>"), Exception);
  ASSERT_TRUE(doc->GetDocumentElement());
  EXPECT_EQ(doc->GetDocumentElement()->ChildOrError("a")->GetAttr("x"), "1");
  // Loading again starts from an empty document.
  doc->LoadXML("<s/>");
  EXPECT_EQ(doc->GetChildNodes()->GetCount(), 1);
  EXPECT_EQ(doc->GetDocumentElement()->GetNodeName(), "s");
}

TEST(XmlParser, NestingDepthIsLimited) {
  auto nested = [](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "<e>";
    for (int i = 0; i < n; ++i) s += "</e>";
    return s;
  };
  const std::string tooDeep = A("Слишком глубокая вложенность элементов (больше 512 уровней)");
  EXPECT_NO_THROW(Parse(nested(XmlMaxDepth)));
  EXPECT_EQ(ParseError(nested(XmlMaxDepth + 1)), tooDeep);
  EXPECT_EQ(ParseError(std::string(200000, '<')), A("Имя должно начинать? ?букв?ил?\"_\""));
  EXPECT_EQ(ParseError(nested(100000)), tooDeep);

  // The writers refuse trees built deeper by hand; a failed write leaves
  // nothing behind for the next one.
  auto doc = CreateXmlDocument("r");
  IXmlNode n = doc->GetDocumentElement();
  for (int i = 0; i < XmlMaxDepth + 5; ++i) n = n->AppendElement("e");
  EXPECT_EQ(ErrorOf([&] { doc->GetXML(); }), tooDeep);
  EXPECT_EQ(ErrorOf([&] { doc->SaveBinaryToString(); }), tooDeep);
  auto small = CreateXmlDocument("s");
  small->GetDocumentElement()->AppendElement("x");
  EXPECT_EQ(small->GetXML(), "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n<s>\r\n\t<x/>\r\n</s>");
}

TEST(XmlParser, StreamsFilesAndResources) {
  // A document much larger than one read block, with names, references and
  // comments across the block borders.
  std::string big = "<?xml version=\"1.0\"?><root>";
  for (int i = 0; i < 6000; ++i)
    big += "<item" + std::to_string(i % 7) + " name=\"n&amp;" + std::to_string(i) + "\">v&#x41;" +
           std::to_string(i) + "<!-- c" + std::to_string(i) + " --><![CDATA[" + std::to_string(i) + "]]></item" +
           std::to_string(i % 7) + ">";
  big += "</root>";
  ASSERT_GT(big.size(), 3u * 65536u);
  auto fromString = Parse(big);
  TStringStream s("junk" + big);
  s.Seek(4, TSeekOrigin::soBeginning);
  auto fromStream = CreateXmlDocument();
  fromStream->LoadFromStream(s);
  EXPECT_EQ(fromStream->GetXML(), fromString->GetXML());
  EXPECT_EQ(fromStream->GetDocumentElement()->GetChildNodes()->GetCount(), 6000);

  // A NUL in a later block of a stream is still found.
  std::string withNul = big;
  withNul[200000] = '\0';
  TStringStream sn(withNul);
  auto dn = CreateXmlDocument();
  EXPECT_EQ(ErrorOf([&] { dn->LoadFromStream(sn); }), A("Недопустимый символ с кодом 0"));

  test::TempDir dir;
  const std::string file = dir / A("схема.xml");
  fromString->SaveToFile(file);
  auto fromFile = CreateXmlDocument();
  fromFile->LoadFromFile(file);
  EXPECT_EQ(fromFile->GetXML(), fromString->GetXML());
  const std::string binFile = dir / "b.bin";
  fromString->SaveBinaryToFile(binFile, 7);
  auto fromBin = CreateXmlDocument();
  fromBin->LoadFromFile(binFile);
  EXPECT_EQ(fromBin->GetXML(), fromString->GetXML());
  EXPECT_THROW(fromFile->LoadFromFile(dir / "missing.xml"), EFOpenError);

  // Resources come through the platform's lookup.
  SetXmlResourceLookup([](std::string_view name, std::string_view type) -> std::optional<std::string> {
    if (name == "TESTDEF" && type == "XML") return std::string("<Scheme v=\"1\"/>");
    if (name == "EMPTY") return std::string();
    return std::nullopt;
  });
  auto res = CreateXmlDocument("Keep");
  res->LoadResource("MISSING", "XML");
  EXPECT_EQ(res->GetDocumentElement()->GetNodeName(), "Keep");
  res->LoadResource("EMPTY", "XML");
  EXPECT_EQ(res->GetDocumentElement()->GetNodeName(), "Keep");
  res->LoadResource("TESTDEF", "XML");
  EXPECT_EQ(res->GetDocumentElement()->GetNodeName(), "Scheme");
  EXPECT_EQ(res->GetDocumentElement()->GetIntAttr("v"), 1);
  SetXmlResourceLookup(nullptr);
  res->LoadResource("TESTDEF", "XML");  // no lookup: unchanged
  EXPECT_EQ(res->GetDocumentElement()->GetNodeName(), "Scheme");
}

IXmlDocument RichDocument() {
  auto doc = CreateXmlDocument("Root", "1.0", "", std::make_shared<TXmlNameTable>(4096));
  auto r = doc->GetDocumentElement();
  r->SetAttr(A("Имя"), A("Значение"));
  r->SetVariantAttr("null", XmlVariant::Null());
  r->SetVariantAttr("empty", XmlVariant());
  r->SetVariantAttr("si", XmlVariant::OfInteger(XmlVarType::Smallint, -300));
  r->SetVariantAttr("i", XmlVariant(-70000));
  r->SetVariantAttr("sg", XmlVariant::OfSingle(1.5f));
  r->SetVariantAttr("d", XmlVariant(0.1));
  r->SetVariantAttr("cy", XmlVariant::OfCurrency(-123456));
  r->SetVariantAttr("dt", XmlVariant::OfDate(EncodeXmlDateTime(2020, 2, 29, 23, 59, 58)));
  r->SetVariantAttr("w", XmlVariant(std::u16string_view(u"\u0416\u00BB")));
  r->SetVariantAttr("bo", XmlVariant(true));
  r->SetVariantAttr("sh", XmlVariant::OfInteger(XmlVarType::ShortInt, -100));
  r->SetVariantAttr("by", XmlVariant::OfInteger(XmlVarType::Byte, 200));
  r->SetVariantAttr("wo", XmlVariant::OfInteger(XmlVarType::Word, 60000));
  r->SetVariantAttr("lw", XmlVariant::OfInteger(XmlVarType::LongWord, 4000000000LL));
  r->SetVariantAttr("i64", XmlVariant(std::int64_t{-5000000000LL}));
  r->SetVariantAttr("ba", XmlVariant::OfBytes(std::string("\0\1\2", 3)));
  r->AppendElement("text")->SetText("held directly");
  auto m = r->AppendElement("mixed");
  m->AppendText(XmlVariant(42));
  m->AppendCDATA("cdata ]]> here");
  m->AppendComment(A("комментарий"));
  auto pi = m->AppendProcessingInstruction("pi", "data");
  pi->SetAttr("pa", "1");
  m->AppendElement("deep")->AppendElement("deeper")->SetAttr("x", std::string(300, 'x'));
  return doc;
}

TEST(XmlBinary, RoundTripAndIntegerForms) {
  auto doc = RichDocument();
  const std::string bin = doc->SaveBinaryToString(0x01020304);
  ASSERT_EQ(bin.substr(0, 14), "< binary-xml >");
  EXPECT_EQ(bin.substr(14, 4), "\x04\x03\x02\x01");
  auto back = CreateXmlDocument();
  back->LoadXML(bin);
  EXPECT_EQ(back->GetXML(), doc->GetXML());
  EXPECT_EQ(back->SaveBinaryToString(0x01020304), bin);
  // The options word is kept on the document, from a string and a stream.
  EXPECT_EQ(back->GetBinaryOptions(), 0x01020304u);
  auto direct = CreateXmlDocument();
  direct->LoadBinaryFromString(doc->SaveBinaryToString(7));
  EXPECT_EQ(direct->GetBinaryOptions(), 7u);
  direct->LoadXML("<x/>");
  EXPECT_EQ(direct->GetBinaryOptions(), 0u);
  auto r = back->GetDocumentElement();
  for (int i = 0; i < r->GetAttrCount(); ++i) {
    const std::string name = r->GetAttrName(i);
    EXPECT_EQ(r->GetVariantAttr(name), doc->GetDocumentElement()->GetVariantAttr(name)) << name;
  }
  EXPECT_EQ(r->GetVariantAttr("w").Wide(), u"\u0416\u00BB");
  EXPECT_EQ(r->ChildOrError("mixed")->GetChildNodes()->GetItem(0)->GetDataType(), XmlVarType::Integer);
  EXPECT_EQ(r->ChildOrError("text")->GetText(), "held directly");
  // A stream: binary when it starts with the magic, from the current position.
  TStringStream s("xx" + bin);
  s.Seek(2, TSeekOrigin::soBeginning);
  auto fromStream = CreateXmlDocument();
  fromStream->LoadFromStream(s);
  EXPECT_EQ(fromStream->GetXML(), doc->GetXML());
  EXPECT_EQ(fromStream->GetBinaryOptions(), 0x01020304u);
  TStringStream out;
  doc->SaveBinary(out);
  EXPECT_EQ(out.DataString(), doc->SaveBinaryToString());

  // Lengths 200 and 100000 in the variable integer form.
  auto d2 = CreateXmlDocument();
  d2->AppendComment(std::string(200, 'c'));
  d2->AppendComment(std::string(100000, 'd'));
  const std::string b2 = d2->SaveBinaryToString();
  EXPECT_NE(b2.find(std::string("\x80\xC8") + std::string(200, 'c')), std::string::npos);
  EXPECT_NE(b2.find(std::string("\xFF\xA0\x86\x01\x00", 5) + std::string(100000, 'd')), std::string::npos);
}

TEST(XmlBinary, HostileInputGivesErrors) {
  const std::string bin = RichDocument()->SaveBinaryToString();
  // Every truncation fails cleanly.
  for (std::size_t n = 14; n < bin.size(); ++n) {
    auto d = CreateXmlDocument();
    EXPECT_THROW(d->LoadXML(std::string_view(bin).substr(0, n)), Exception) << n;
  }
  // Random corruption never crashes.
  std::mt19937 rng(7);
  for (int i = 0; i < 3000; ++i) {
    std::string b = bin;
    for (int k = 0; k < 1 + static_cast<int>(rng() % 4); ++k) b[14 + rng() % (b.size() - 14)] = static_cast<char>(rng());
    auto d = CreateXmlDocument();
    try {
      d->LoadXML(b);
      d->GetXML();
    } catch (const Exception&) {
    }
  }
  // Hand-made headers: names, bucket count, lengths, identifiers, types.
  auto head = [](std::string names, std::string rest) {
    return std::string("< binary-xml >\0\0\0\0", 18) + names + rest;
  };
  auto table = [](int buckets) {
    // The five fixed names, each in the bucket its hash gives.
    std::string t = "\x05";
    const char* names[] = {"#text", "#cdata-section", "#comment", "#document", "xml"};
    for (const char* n : names) t += static_cast<char>(std::strlen(n)) + std::string(n);
    std::string b;
    std::map<unsigned, std::vector<int>> used;
    for (int i = 0; i < 5; ++i) used[TXmlNameTable::Hash(names[i]) % static_cast<unsigned>(buckets)].push_back(i);
    t += buckets < 128 ? std::string(1, static_cast<char>(buckets))
                       : std::string{static_cast<char>((buckets >> 8) | 0x80), static_cast<char>(buckets & 0xFF)};
    t += static_cast<char>(used.size());
    for (auto& [index, ids] : used) {
      t += static_cast<char>(index);
      t += static_cast<char>(ids.size());
      for (int id : ids) t += std::string{static_cast<char>(id), 0, 0, 0};
    }
    return t;
  };
  const std::string readData = A("Ошибка чтен? данных.");
  const std::string badNames = A("Ошибка чтения двоичного XML: некорректная таблица имён");
  auto err = [](const std::string& b) { return ParseError(b); };
  EXPECT_EQ(err(head(table(1), std::string("\x00\x00", 2))), "<no error>");  // empty but valid
  EXPECT_EQ(err(head(table(1), std::string("\x00\x01\x01\x04\x00\x00\x00", 7))), "<no error>");  // <xml/>
  EXPECT_EQ(err(head(table(1), std::string("\x00\x01\x01\x04", 4))), readData);  // value missing
  EXPECT_EQ(err(head(table(1), std::string("\x00\x01\x01\x09\x00\x00\x00", 7))), badNames);  // ID out of range
  EXPECT_EQ(err(head(std::string("\x05\x05#text", 7), "")), readData);  // names cut short
  EXPECT_EQ(err(head(std::string("\xFF\xFF\xFF\xFF\x7F", 5), "")), readData);  // huge name count
  EXPECT_EQ(err(head(std::string("\xFF\xFF\xFF\xFF\xFF", 5), "")), readData);  // negative count
  {
    std::string t = "\x05";
    for (const char* n : {"#text", "#cdata-section", "#comment", "#document", "xml"})
      t += static_cast<char>(std::strlen(n)) + std::string(n);
    EXPECT_EQ(err(head(t + std::string("\x00\x00", 2), "")), badNames);  // zero buckets
    EXPECT_EQ(err(head(t + std::string("\xFF\x00\x00\x00\x01\x00", 6), "")), badNames);  // too many buckets
    EXPECT_EQ(err(head(t + std::string("\x01\x01\x00\x01\x09\x00\x00\x00", 8), "")), badNames);  // bad ID
  }
  EXPECT_EQ(err(head(table(1), std::string("\x00\x01\x05", 3))), A("Ошибка чтен? двоичног?XML: некорректный ти?узла"));
  EXPECT_EQ(err(head(table(1), std::string("\x00\x01\x03\x7E", 4))), A("Ошибка чтен? значен?: некорректный ти?"));
  EXPECT_EQ(err(head(table(1), std::string("\x00\x01\x08\xFF\xFF\xFF\xFF\xFF", 8))), readData);  // negative length
  EXPECT_EQ(err(head(table(1), std::string("\x00\x01\x08\x7F", 4))), readData);  // length past the end
  EXPECT_EQ(err(head(table(1), std::string("\x7F\x00", 2))), readData);  // more attributes than bytes
  // Nesting deeper than the limit.
  std::string deep;
  for (int i = 0; i < 600; ++i) deep += std::string("\x00\x01\x01\x04\x00", 5);
  EXPECT_EQ(err(head(table(1), std::string("\x00\x01\x01\x04\x00", 5) + deep)),
            A("Слишком глубокая вложенность элементов (больше 512 уровней)"));
  // Nodes the binary form has no code for cannot be written.
  auto withDoc = CreateXmlDocument("r");
  withDoc->GetDocumentElement()->AppendChild(CreateXmlDocument());
  EXPECT_EQ(ErrorOf([&] { withDoc->SaveBinaryToString(); }), A("Ошибка записи двоичног?XML: некорректный ти?узла"));
}

// Trees the parser builds: their nodes share memory blocks with the rest of
// their parse, and their child lists are gathered before they are handed to
// the node. None of that may show: parsed nodes live, move and die one by one
// like nodes made by hand, and the text read from a stream in blocks gives
// the same tree as the same text in one piece, wherever a block ends.
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
