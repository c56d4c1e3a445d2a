// Parsing: dialects, number typing, errors, end of input and streaming.
#include <gtest/gtest.h>

#include <string>

#include "platform/core/Classes.h"
#include "services/jsonobject.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

IJsonObject P(std::u16string_view s, bool strict = false, bool partial = true) {
  return ParseString(s, strict, partial);
}

std::u16string Text(std::u16string_view s, bool strict = false) {
  IJsonObject v = P(s, strict);
  return v ? v->AsJsonText() : u"<nil>";
}

int Error(std::u16string_view s, bool strict = false) {
  TJsonTokenizer tok;
  ParseText(tok, s.data(), static_cast<std::int64_t>(s.size()), true, strict);
  return tok.GetError();
}

std::u16string W(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

TEST(JsonParser, RelaxedAndStrictDialects) {
  // Unquoted names and values.
  const std::u16string rel = u"{a: hello world , b: 1}";
  EXPECT_EQ(Text(rel), u"{\"b\":1,\"a\":\"hello world\"}");
  EXPECT_EQ(P(rel, true), nullptr);
  EXPECT_EQ(Error(rel, true), jteMemberName);
  EXPECT_EQ(Error(u"{\"a\": hello}", true), jteUnquoted);
  // Single quotes, comments and trailing commas in both modes.
  for (bool strict : {false, true}) {
    EXPECT_EQ(Text(u"{'a': 'x\"y', \"b\": [1, 2,],}", strict), u"{\"b\":[1,2],\"a\":\"x\\\"y\"}") << strict;
    EXPECT_EQ(Text(u"/* c */ [1, // line\n 2 /**/]", strict), u"[1,2]") << strict;
    EXPECT_EQ(Text(u"[]", strict), u"[]");
    EXPECT_EQ(Text(u"{ }", strict), u"{}");
  }
  // Unquoted name: runs to the colon, spaces included; forbidden first characters.
  IJsonObject o = P(u"{ a b : 1}");
  ASSERT_TRUE(o);
  EXPECT_TRUE(o->AsObject()->Exists(u"a b "));
  EXPECT_EQ(Error(u"{.a: 1}"), jteMemberName);
  EXPECT_EQ(Error(u"{[: 1}"), jteMemberName);
  // Literals and words.
  EXPECT_EQ(Text(u"[nullx, Null, null , true, false, trueish, fals]"),
            u"[\"nullx\",\"Null\",null,true,false,\"trueish\",\"fals\"]");
  EXPECT_EQ(JsonDataType(P(u"null ")), jdtNull);
  EXPECT_EQ(Error(u"Null", true), jteUnquoted);
  EXPECT_EQ(Error(u"[tru]", true), jteUnquoted);
  EXPECT_EQ(Text(u"[a\\,b, c}d]"), u"[\"a,b\",\"c}d\"]");
  EXPECT_EQ(Error(u"{k: [x]y}"), jteObjectSeparator);
}

TEST(JsonParser, StringsAndEscapes) {
  IJsonObject s = P(u"\"\\b\\f\\n\\r\\t\\\"\\\\\\/\\'\\q\\u0416\\u00e9\\x41\"");
  ASSERT_TRUE(s);
  EXPECT_EQ(s->AsString(), u"\b\f\n\r\t\"\\/'q\u0416\u00e9A");
  EXPECT_EQ(Error(u"\"\\u12G4\""), jteUnquoted);
  EXPECT_EQ(Error(u"\"\\x4\""), jteUnquoted);
  EXPECT_EQ(Error(u"\"\\u12"), jteEndOfText);
  EXPECT_EQ(Error(u"\"abc"), jteEndOfText);
  EXPECT_EQ(Error(u"\"abc\\"), jteEndOfText);
  // Raw control characters and line breaks inside strings are kept.
  EXPECT_EQ(P(u"\"a\r\n\tb\"")->AsString(), u"a\r\n\tb");
  // A character 0 ends the text.
  EXPECT_EQ(Error(std::u16string(u"\"ab\0c\"", 6)), jteEndOfText);
  EXPECT_EQ(P(std::u16string(u"[1]\0junk", 8), false, false), nullptr);
  EXPECT_TRUE(P(std::u16string(u"[1]\0junk", 8), false, true));
}

TEST(JsonParser, NumberTyping) {
  auto typeOf = [](std::u16string_view s) { return JsonDataType(P(s)); };
  EXPECT_EQ(typeOf(u"42"), jdtInteger);
  EXPECT_EQ(P(u"-42")->AsInteger(), -42);
  EXPECT_EQ(typeOf(u"1.5"), jdtCurrency);
  EXPECT_EQ(P(u"1.5")->AsCurrency(), 15000);
  EXPECT_EQ(P(u"-0.25")->AsCurrency(), -2500);
  EXPECT_EQ(P(u"2.")->AsCurrency(), 20000);
  EXPECT_EQ(P(u"0.0001")->AsCurrency(), 1);
  EXPECT_EQ(typeOf(u"1.23456"), jdtDouble);
  EXPECT_DOUBLE_EQ(P(u"1.23456")->AsDouble(), 1.23456);
  EXPECT_EQ(typeOf(u"1e3"), jdtDouble);
  EXPECT_DOUBLE_EQ(P(u"1E+3")->AsDouble(), 1000.0);
  EXPECT_DOUBLE_EQ(P(u"-2.5e-3")->AsDouble(), -0.0025);
  // Integers beyond 64 bits become doubles; so does currency that overflows.
  EXPECT_EQ(P(u"-9223372036854775808")->AsInteger(), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(typeOf(u"9223372036854775807"), jdtInteger);
  EXPECT_EQ(typeOf(u"9223372036854775808"), jdtDouble);
  EXPECT_DOUBLE_EQ(P(u"123456789012345678901234567890")->AsDouble(), 1.2345678901234568e29);
  EXPECT_EQ(typeOf(u"922337203685477.5808"), jdtDouble);
  EXPECT_EQ(typeOf(u"922337203685477.5807"), jdtCurrency);
  // Malformed numbers and overflow are errors, underflow is zero.
  for (const char16_t* bad : {u"0.1.2", u"1e3.5", u"-", u"1e", u"1e+", u"--1", u"1-2", u"1e999", u"-1e999", u"[-.]"})
    EXPECT_EQ(Error(bad), jteNumber) << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
  EXPECT_EQ(P(u"1e-999")->AsDouble(), 0.0);
  EXPECT_EQ(P(u"0." + std::u16string(400, u'0') + u"1")->AsDouble(), 0.0);
  EXPECT_EQ(Error(u"1" + std::u16string(400, u'0')), jteNumber);
  // A number ends at any other character; the rest is trailing text.
  EXPECT_EQ(P(u"12abc", false, false), nullptr);
  EXPECT_EQ(P(u"12abc")->AsInteger(), 12);
}

TEST(JsonParser, ErrorsAndDepth) {
  EXPECT_EQ(Error(u"[1 2]"), jteArraySeparator);
  EXPECT_EQ(Error(u"{\"a\" 1}"), jteColon);
  EXPECT_EQ(Error(u"{\"a\":1 \"b\":2}"), jteObjectSeparator);
  EXPECT_EQ(Error(u"/x 1"), jteComment);
  EXPECT_EQ(Error(u""), jteEndOfText);
  EXPECT_EQ(Error(u"   "), jteEndOfText);
  EXPECT_EQ(Error(u"[1,"), jteEndOfText);
  EXPECT_EQ(Error(u"{\"a\":"), jteEndOfText);
  EXPECT_EQ(Error(u"{a"), jteEndOfText);
  // 31 nested arrays parse, 32 do not.
  const std::u16string ok = std::u16string(31, u'[') + u"1" + std::u16string(31, u']');
  EXPECT_EQ(Error(ok), jteSuccess);
  const std::u16string deep = std::u16string(32, u'[') + u"1" + std::u16string(32, u']');
  EXPECT_EQ(Error(deep), jteDepth);
  EXPECT_EQ(Error(std::u16string(100000, u'[')), jteDepth);
  EXPECT_EQ(Error(std::u16string(100000, u'{')), jteMemberName);
  // Block comments end at the first "*/", however many stars come before it.
  EXPECT_EQ(Text(u"/* a **/ 1"), u"1");
  EXPECT_EQ(Text(u"/** settings **/ {\"a\": 1}"), u"{\"a\":1}");
  EXPECT_EQ(Text(u"/*****/ 4"), u"4");
  EXPECT_EQ(Text(u"/**/ 5"), u"5");
  EXPECT_EQ(Text(u"/* a * / b */ 6"), u"6");
  EXPECT_EQ(Error(u"/* a **"), jteEndOfText);
  EXPECT_EQ(Text(u"/* a */ 3"), u"3");
  // Trailing text after the first complete value.
  EXPECT_TRUE(P(u"{} x", false, true));
  EXPECT_EQ(P(u"{} x", false, false), nullptr);
  EXPECT_TRUE(P(u"{}  \r\n // end", false, false));
  // Line and column.
  TJsonTokenizer tok;
  const std::u16string t = u"[1,\n\t2 x";
  ParseText(tok, t.data(), static_cast<std::int64_t>(t.size()), true, false);
  EXPECT_EQ(tok.GetError(), jteArraySeparator);
  EXPECT_EQ(tok.GetLine(), 2);
  EXPECT_EQ(tok.GetColumn(), 6);
}

// Text handed over in two pieces, cut anywhere (inside blanks, numbers and
// strings too), reads as the whole text does, to the same line and column.
TEST(JsonParser, TextInPiecesReadsAsAWhole) {
  const std::u16string texts[] = {u"[12,\n\t  345, \"ab c\",  -6.5e2 ]", u"[12,\n\t  345 x"};
  for (const std::u16string& t : texts) {
    TJsonTokenizer whole;
    const IJsonObject expected = ParseText(whole, t.data(), static_cast<std::int64_t>(t.size()), true, false);
    for (std::size_t cut = 0; cut <= t.size(); ++cut) {
      TJsonTokenizer tok;
      ParseText(tok, t.data(), static_cast<std::int64_t>(cut), false, false);
      const IJsonObject v =
          ParseText(tok, t.data() + cut, static_cast<std::int64_t>(t.size() - cut), true, false);
      EXPECT_EQ(tok.GetError(), whole.GetError()) << cut;
      EXPECT_EQ(tok.GetLine(), whole.GetLine()) << cut;
      EXPECT_EQ(tok.GetColumn(), whole.GetColumn()) << cut;
      ASSERT_EQ(v != nullptr, expected != nullptr) << cut;
      if (v) {
        EXPECT_EQ(v->AsJsonText(), expected->AsJsonText()) << cut;
      }
    }
  }
}

TEST(JsonParser, EndOfInputCompletesTokens) {
  EXPECT_EQ(Text(u"42"), u"42");
  EXPECT_EQ(Text(u"-7.5"), u"-7.5");
  EXPECT_EQ(Text(u"true"), u"true");
  EXPECT_EQ(Text(u"hello"), u"\"hello\"");
  EXPECT_EQ(Text(u"{\"a\": 1} // note"), u"{\"a\":1}");
  EXPECT_EQ(Error(u"{\"a\": 1} /* note"), jteEndOfText);
  EXPECT_TRUE(P(u"[1] // note", true, false));
  // A leading byte-order mark is skipped.
  EXPECT_EQ(Text(u"\uFEFF{\"a\":1}", true), u"{\"a\":1}");
  EXPECT_EQ(Error(u"[\uFEFF1]", true), jteUnquoted);

  // Stream forms: the same from files of bytes, UTF-8 with a mark, and UTF-16 LE.
  test::TempDir dir;
  EXPECT_EQ(ParseFile(dir.Write("a.json", "42"), true, false)->AsInteger(), 42);
  EXPECT_EQ(ParseFile(dir.Write("b.json", "{\"a\": true} // note"), true, false)->AsJsonText(), u"{\"a\":true}");
  EXPECT_EQ(ParseFile(dir.Write("c.json", "\xEF\xBB\xBF{\"a\":1}"), true, false)->AsJsonText(), u"{\"a\":1}");
  EXPECT_EQ(ParseFile(dir.Write("d.json", std::string("\xFF\xFE[\0\x16\x04\0]\0", 8)), true, false), nullptr);
  EXPECT_EQ(ParseFile(dir.Write("e.json", std::string("\xFF\xFE\"\0\x16\x04\"\0", 8)), true, false)->AsString(), u"\u0416");
  // Half a character at the end of UTF-16 input is input cut short.
  EXPECT_EQ(ParseFile(dir.Write("o.json", std::string("\xFF\xFE\"\0\x16\x04\"\0 ", 9)), true, true), nullptr);
  EXPECT_EQ(ParseFile(dir.Write("p.json", std::string("\xFF\xFE" "1", 3)), true, true), nullptr);
  std::string longWide("\xFF\xFE[\0", 4);
  for (int i = 0; i < 3000; ++i) longWide += std::string(" \0", 2);
  longWide += std::string("]\0", 2);
  EXPECT_TRUE(ParseFile(dir.Write("q.json", longWide), true, false));
  EXPECT_EQ(ParseFile(dir.Write("r.json", longWide + "\n"), true, false), nullptr);
  EXPECT_EQ(ParseFile(dir.Write("f.json", "{} x"), true, false), nullptr);
  EXPECT_TRUE(ParseFile(dir.Write("g.json", "{} x"), true, true));
  EXPECT_EQ(ParseFile(dir.Write("h.json", "[1"), true, true), nullptr);
  EXPECT_EQ(ParseFile(dir / "missing.json"), nullptr);
  // Bytes are characters, no code page conversion.
  EXPECT_EQ(ParseFile(dir.Write("i.json", "\"\xC6\""))->AsString(), u"\u00C6");
}

TEST(JsonParser, StreamBlocksDoNotChangeResults) {
  const std::string tail =
      "\"esc\\u0416\\n\", \"num\": -12345.6789, \"lit\": true, \"f\": false, \"n\": null, \"w\": 98765432109} "
      "// trailing";
  for (int pad = 940; pad <= 1030; ++pad) {
    const std::string doc = "{\"pad\": \"" + std::string(static_cast<std::size_t>(pad), 'p') + "\", \"s\": " + tail;
    const IJsonObject whole = ParseString(W(doc), true, false);
    ASSERT_TRUE(whole) << pad;
    TStringStream stream(doc);
    const IJsonObject streamed = ParseStream(stream, true, false);
    ASSERT_TRUE(streamed) << pad;
    EXPECT_EQ(streamed->AsJsonText(), whole->AsJsonText()) << pad;
    // The same with the document in whitespace and a number at the very end.
    const std::string bare = std::string(static_cast<std::size_t>(pad), ' ') + "123456789";
    TStringStream s2(bare);
    const IJsonObject n = ParseStream(s2, true, false);
    ASSERT_TRUE(n) << pad;
    EXPECT_EQ(n->AsInteger(), 123456789);
  }
  EXPECT_EQ(ParseString(W("{\"s\": " + tail))->GetPathString(u"esc"), u"");
  EXPECT_EQ(ParseString(W("{\"s\": " + tail))->GetPathString(u"s"), u"esc\u0416\n");
  // Trailing whitespace in later blocks still counts as the end of the input.
  const std::string spaced = "{}" + std::string(5000, ' ');
  TStringStream s3(spaced);
  EXPECT_TRUE(ParseStream(s3, true, false));
  TStringStream s4(spaced + "x");
  EXPECT_EQ(ParseStream(s4, true, false), nullptr);
}

TEST(JsonParser, WriteParseRoundTripOfTrickyStrings) {
  const std::u16string tricky[] = {
      u"",
      std::u16string(1, u'\0'),
      u"a/b\\c\"d'e",
      std::u16string{char16_t(0xD800)},
      std::u16string{char16_t(0xDC00), u'x', char16_t(0xDBFF)},
      u"\u0001\u001f\u007f\u0080\u00ff\u0100\uffff",
      u"\r\n\t\b\f",
      u"\u041f\u0440\u0438\u0432\u0435\u0442 \U0001F600",
      u"*/ // /* \\u0041",
  };
  for (bool indent : {false, true}) {
    for (bool escape : {false, true}) {
      IJsonObject o = TJsonObject::Create(jdtObject);
      IJsonObject a = TJsonObject::Create(jdtArray);
      for (const auto& s : tricky) {
        o->AsObject()->Put(s, TJsonObject::Create(s));
        a->AsArray()->Add(TJsonObject::Create(s));
      }
      o->AsObject()->Put(u"list", a);
      const std::u16string text = o->AsJsonText(indent, escape);
      const IJsonObject back = ParseString(text, true, false);
      ASSERT_TRUE(back) << indent << escape;
      EXPECT_EQ(back->AsJsonText(indent, escape), text);
      for (const auto& s : tricky) {
        ASSERT_TRUE(back->AsObject()->Get(s));
        EXPECT_EQ(back->AsObject()->Get(s)->AsString(), s);
      }
      // Through a stream too: one byte per character needs the escapes.
      TMemoryStream m;
      ASSERT_GT(o->SaveTo(m, indent, true), 0);
      m.SetPosition(0);
      const IJsonObject fromStream = ParseStream(m, true, false);
      ASSERT_TRUE(fromStream);
      EXPECT_EQ(fromStream->AsJsonText(), o->AsJsonText());
      TMemoryStream u;
      ASSERT_GT(o->SaveTo(u, indent, false), 0);
      // The UTF-16 form has no mark of its own; add one so that it reads back as UTF-16.
      TStringStream marked("\xFF\xFE" + u.Data());
      const IJsonObject fromWide = ParseStream(marked, true, false);
      ASSERT_TRUE(fromWide);
      EXPECT_EQ(fromWide->AsJsonText(), o->AsJsonText());
    }
  }
}

}  // namespace
}  // namespace ond
