// The settings file: built from relaxed text, written indented and escaped,
// byte for byte, and read back strictly.
#include <gtest/gtest.h>

#include "services/jsonobject.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

const char* const kBuilt =
    "{system: {settingsfile: {version: \"1.0\"}, options: {debugmod: false, autocheckupdate: true, "
    "fullscreendefault: true, searchoptionsremember: true}}, "
    "interface: {view: {language: 0, editors: {gutter: {visible: true, number: true, wwglyph: false, "
    "linemodified: true}, wordwrap: true, specialcharacters: false, freecaretmovement: false}, "
    "fileslist: {visible: true, position: 0, width: 240}, mainscroll: {scrollbar: {visible: true}, "
    "activationmethod: 0}, syntax: {scheme: 0, pairedbrackets: true, codefolding: true}}}, "
    "search: {options: {backwards: false, casesensitive: false, fromcaret: true, selectiononly: false, "
    "wholewords: false, regex: false, inallconfig: false, withouthiddenfiles: true}, "
    "find: {text: \"%FIND%\", history: \"\"}, replace: {text: \"\", history: \"\"}}}";

const char* const kSample[] = {
    "{",
    " \"search\": {",
    "  \"replace\": {",
    "   \"history\": \"\",",
    "   \"text\": \"\"",
    "  },",
    "  \"options\": {",
    "   \"selectiononly\": false,",
    "   \"fromcaret\": true,",
    "   \"casesensitive\": false,",
    "   \"inallconfig\": false,",
    "   \"wholewords\": false,",
    "   \"withouthiddenfiles\": true,",
    "   \"regex\": false,",
    "   \"backwards\": false",
    "  },",
    "  \"find\": {",
    "   \"history\": \"\",",
    "   \"text\": \"%FIND%\"",
    "  }",
    " },",
    " \"interface\": {",
    "  \"view\": {",
    "   \"fileslist\": {",
    "    \"position\": 0,",
    "    \"visible\": true,",
    "    \"width\": 240",
    "   },",
    "   \"editors\": {",
    "    \"gutter\": {",
    "     \"visible\": true,",
    "     \"wwglyph\": false,",
    "     \"linemodified\": true,",
    "     \"number\": true",
    "    },",
    "    \"wordwrap\": true,",
    "    \"freecaretmovement\": false,",
    "    \"specialcharacters\": false",
    "   },",
    "   \"mainscroll\": {",
    "    \"activationmethod\": 0,",
    "    \"scrollbar\": {",
    "     \"visible\": true",
    "    }",
    "   },",
    "   \"language\": 0,",
    "   \"syntax\": {",
    "    \"scheme\": 0,",
    "    \"pairedbrackets\": true,",
    "    \"codefolding\": true",
    "   }",
    "  }",
    " },",
    " \"system\": {",
    "  \"settingsfile\": {",
    "   \"version\": \"1.0\"",
    "  },",
    "  \"options\": {",
    "   \"searchoptionsremember\": true,",
    "   \"fullscreendefault\": true,",
    "   \"autocheckupdate\": true,",
    "   \"debugmod\": false",
    "  }",
    " }",
    "}",
};

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  const auto at = s.find(from);
  if (at != std::string::npos) s.replace(at, from.size(), to);
  return s;
}

std::string Sample(const std::string& find) {
  std::string r;
  for (const char* line : kSample) {
    if (!r.empty()) r += "\r\n";
    r += line;
  }
  return Replace(r, "%FIND%", find);
}

TEST(JsonSettingsFile, MemberOrderAndExactBytes) {
  test::TempDir dir;
  const std::string file = dir / "settings.ondrel";
  IJsonObject tree = ParseJson(Replace(kBuilt, "%FIND%", ""));
  ASSERT_TRUE(tree);
  const std::string expected = Sample("");
  EXPECT_EQ(tree->SaveTo(file, true, true), static_cast<std::int64_t>(expected.size()));
  EXPECT_EQ(test::TempDir::Read(file), expected);
  // Saving again replaces the file.
  EXPECT_EQ(tree->SaveTo(file, true, true), static_cast<std::int64_t>(expected.size()));
  EXPECT_EQ(test::TempDir::Read(file), expected);
  // Read back strictly and partially, as at start-up.
  IJsonObject back = ParseFile(file, true, true);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->AsJsonText(true, true), tree->AsJsonText(true, true));
  EXPECT_EQ(back->GetPathInt("interface.view.fileslist.width"), 240);
  EXPECT_TRUE(back->GetPathBool("system.options.autocheckupdate"));
}

TEST(JsonSettingsFile, SearchTextsSurviveTheRoundTrip) {
  test::TempDir dir;
  const std::string file = dir / "settings.ondrel";
  // A double quote goes in as \u0022, Cyrillic text (code page 1251) as it is,
  // a backslash followed by t becomes a tab.
  struct Case {
    std::string inText;        // as inserted into the built text
    std::string fileText;      // as it appears in the file
    std::u16string readBack;
  } cases[] = {
      {"say \\u0022hi\\u0022", "say \\\"hi\\\"", u"say \"hi\""},
      {"\xCF\xF0\xE8\xE2\xE5\xF2", "\\u041f\\u0440\\u0438\\u0432\\u0435\\u0442", u"\u041f\u0440\u0438\u0432\u0435\u0442"},
      {"\\t", "\\t", u"\t"},
      {"a/b", "a\\/b", u"a/b"},
  };
  for (const auto& c : cases) {
    IJsonObject tree = ParseJson(Replace(kBuilt, "%FIND%", c.inText));
    ASSERT_TRUE(tree) << c.inText;
    ASSERT_GT(tree->SaveTo(file, true, true), 0);
    EXPECT_EQ(test::TempDir::Read(file), Sample(c.fileText));
    IJsonObject back = ParseFile(file, true, true);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->GetPathString("search.find.text"), c.readBack);
  }
  // A text ending in a backslash does not parse, so nothing is written.
  EXPECT_EQ(ParseJson(Replace(kBuilt, "%FIND%", "\\")), nullptr);
  EXPECT_EQ(ParseJson(Replace(kBuilt, "%FIND%", "\\u12")), nullptr);
  // A file that is not strict JSON is refused.
  EXPECT_EQ(ParseFile(dir.Write("loose.ondrel", "{system: {}}"), true, true), nullptr);
  EXPECT_EQ(ParseFile(dir.Write("empty.ondrel", "{}"), true, true)->AsObject()->GetCount(), 0);
}

}  // namespace
}  // namespace ond
