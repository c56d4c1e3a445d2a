#include "workspace/UAnsiZuParser.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/support/RandomText.h"

namespace ond {
namespace {

using Names = std::vector<std::string>;

TEST(AnsiZuParser, KeyValueFindsFirstUsableLine) {
  const std::string root =
      "// \"configVersion\": \"0.0.1\" is the old value\r\n"
      "{\r\n"
      "  \"CONFIGVERSION\": \"7.2.0\",\r\n"
      "  \"author\":\r\n"
      "     \"Ondrel\r\n"
      " sample\",\r\n"
      "  \"date\": \"06.12.2026\", \"description\": \"a \\\"quoted\\\" word\"\r\n"
      "}";
  EXPECT_EQ(GetKeyValue(root, "configVersion"), "7.2.0");
  // The value may start on a later line; the line breaks inside it vanish.
  EXPECT_EQ(GetKeyValue(root, "author"), "Ondrel sample");
  EXPECT_EQ(GetKeyValue(root, "Date"), "06.12.2026");
  // An escaped quote ends the value.
  EXPECT_EQ(GetKeyValue(root, "description"), "a \\");
  EXPECT_EQ(GetKeyValue(root, "missing"), "");
  EXPECT_EQ(GetKeyValue(root, ""), "");
  EXPECT_EQ(GetKeyValue("", "author"), "");

  // A key that stands only on "//" lines (after blanks and tabs) has no value.
  EXPECT_EQ(GetKeyValue("  \t// \"author\": \"x\"\n//\"author\":\"y\"\n", "author"), "");
  // No quote after the key, or an unclosed value: empty.
  EXPECT_EQ(GetKeyValue("{\"author\": 12}", "author"), "");
  EXPECT_EQ(GetKeyValue("{\"author\": \"unclosed", "author"), "");
  // Only the quoted key counts, not the word inside another string.
  EXPECT_EQ(GetKeyValue("\"x\": \"the author\",\n\"author\": \"Me\"", "author"), "Me");
  // Lone CR ends lines too: the commented first line is skipped.
  EXPECT_EQ(GetKeyValue("//\"date\": \"1\"\r\"date\": \"2\"\r", "date"), "2");
  // A key holding a line break can stand on no line, a bare CR included,
  // even where the text holds the same bytes across two lines.
  EXPECT_EQ(GetKeyValue("\"a\rb\": \"v\"", "a\rb"), "");
  EXPECT_EQ(GetKeyValue("\"a\nb\": \"v\"", "a\nb"), "");
  EXPECT_EQ(GetKeyValue("\"a\r\nb\": \"v\"", "a\r\nb"), "");
  // Letters beyond ASCII are kept as they are (code page 1251 bytes).
  EXPECT_EQ(GetKeyValue("\"author\": \"\xC8\xE2\xE0\xED\"", "AUTHOR"), "\xC8\xE2\xE0\xED");
}

TEST(AnsiZuParser, SeveralKeyValuesInOneWalk) {
  struct Case {
    std::string Text;
    Names Values;  // configVersion, author, date, description
  };
  const Case cases[] = {
      {"{\r\n \"configVersion\": \"1\",\r\n \"author\": \"A\", \"date\": \"D\",\r\n \"description\": \"x\"\r\n}",
       {"1", "A", "D", "x"}},
      // A comment line hides its key; the first usable one wins.
      {"// \"author\": \"old\"\n\"Author\": \"new\"\n\"author\": \"later\"", {"", "new", "", ""}},
      // A key broken by a line break does not count; the value may span lines.
      {"\"desc\r\nription\": \"broken\"\n\"description\"\n:\n\"next\r\nline\"", {"", "", "", "nextline"}},
      // The value is whatever stands between the next two quotes.
      {"\"date\": 5, \"date\": \"unclosed", {"", "", "date", ""}},
      {"\t  //\"date\":\"c\"\r\"date\":\"r\"\r", {"", "", "r", ""}},
      {"\"author\"\"\"\"author\": \"twice\"", {"", "", "", ""}},
      {"\"configversion\"", {"", "", "", ""}},
      {"no keys at all", {"", "", "", ""}},
      {"", {"", "", "", ""}},
  };
  for (const Case& c : cases) {
    const Names all = GetKeyValues(c.Text, {"configVersion", "author", "date", "description", "", "missing"});
    EXPECT_EQ(all, (Names{c.Values[0], c.Values[1], c.Values[2], c.Values[3], "", ""})) << c.Text;
  }
  // The same key twice gets its value twice.
  EXPECT_EQ(GetKeyValues("\"author\": \"A\"", {"author", "AUTHOR"}), (Names{"A", "A"}));
}

// The rules read literally: split into lines, the first usable line joined
// with the rest, the value between the two quotes after the key.
std::string KeyValueByTheRules(const std::string& text, const std::string& key) {
  auto upper = [](std::string s) {
    for (char& c : s)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
  };
  if (text.empty() || key.empty()) return "";
  std::vector<std::string> lines(1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      lines.emplace_back();
    } else {
      lines.back() += text[i];
    }
  }
  const std::string quoted = "\"" + upper(key) + "\"";
  for (std::size_t l = 0; l < lines.size(); ++l) {
    if (upper(lines[l]).find(quoted) == std::string::npos) continue;
    const std::size_t start = lines[l].find_first_not_of(std::string("\0", 1) + "\x01\x02\t ");
    if (start != std::string::npos && lines[l].compare(start, 2, "//") == 0) continue;
    std::string joined;
    for (std::size_t k = l; k < lines.size(); ++k) joined += lines[k];
    const std::string after = joined.substr(upper(joined).find(quoted) + quoted.size());
    const std::size_t open = after.find('"');
    const std::size_t close = open == std::string::npos ? open : after.find('"', open + 1);
    return close == std::string::npos ? "" : after.substr(open + 1, close - open - 1);
  }
  return "";
}

TEST(AnsiZuParser, KeyValuesAnywhereInLongTextsFollowTheRules) {
  // Keys, near misses and line breaks at every distance from one another,
  // among long runs of quoted words (the search reads sixteen bytes at a
  // time); six keys with six first letters are looked for another way.
  const std::vector<std::string> pieces = {"\"date\"", "\"DATE\"", "\"Dat\"", "\"d\"", "\"author\"", "\"authors\"",
                                "\"configVersion\"", "\"description\"", "\"desc\r\nription\"", "// ", "\t//",
                                ": ", "\"v1\"", "\"\xC2\xE0\"", "\r\n", "\n", "\r", " ", "\"", "\"zz\", ",
                                "\"bold\"", "\"emph\"", "\"fine\""};
  const std::vector<std::string> fourKeys = {"configVersion", "author", "date", "description"};
  const std::vector<std::string> sixKeys = {"author", "bold", "configVersion", "date", "emph", "fine"};
  std::mt19937 random(2024);
  for (int round = 0; round < 400; ++round) {
    const std::string text = test::RandomText(random, pieces, random() % 300, 3, 20);
    for (const auto* keys : {&fourKeys, &sixKeys}) {
      const std::vector<std::string_view> views(keys->begin(), keys->end());
      const Names values = GetKeyValues(text, views);
      for (std::size_t k = 0; k < keys->size(); ++k)
        EXPECT_EQ(values[k], KeyValueByTheRules(text, (*keys)[k])) << "key " << (*keys)[k] << " in: " << text;
    }
  }
}

TEST(AnsiZuParser, InlineReferences) {
  EXPECT_EQ(ScanReferences("\"c\": ${\"sub/Colors.zu\":\"def.colors\"}"), Names{"sub\\colors.zu"});
  // A path only (no colon before the brace) names no file.
  EXPECT_EQ(ScanReferences("\"self\": ${\"macros.font\"},"), Names{});
  // Two on one line, in order; the same file twice is returned twice.
  EXPECT_EQ(ScanReferences("[${\"a.zu\":\"x\"}, ${\"B\\\\C.zu\":\"y\"}, ${\"a.zu\":\"z\"}]"),
            (Names{"a.zu", "b\\\\c.zu", "a.zu"}));
  // The reference may continue on the following lines.
  EXPECT_EQ(ScanReferences("\"m\": ${\r\n  \"../Common/Macros.zu\"\r\n  :\"macros\"\r\n}"),
            Names{"..\\common\\macros.zu"});
  // Letters beyond ASCII keep their case.
  EXPECT_EQ(ScanReferences("${\"\xCF\xE0\xEF\xEA\xE0/A.zu\":\"p\"}"), Names{"\xCF\xE0\xEF\xEA\xE0\\a.zu"});
  // Unclosed forms name nothing and end cleanly.
  EXPECT_EQ(ScanReferences("${\"a.zu\":\"x\""), Names{});
  EXPECT_EQ(ScanReferences("${"), Names{});
  EXPECT_EQ(ScanReferences("${\"a.zu:x}"), Names{});
  EXPECT_EQ(ScanReferences(""), Names{});
  EXPECT_EQ(ScanReferences("{\"no\": \"references\"}"), Names{});
}

TEST(AnsiZuParser, ObjectReferences) {
  EXPECT_EQ(ScanReferences("\"$ref\": { \"file\": \"../Common.zu\", \"path\": \"x\" }"), Names{"..\\common.zu"});
  // Keys on the following lines, in any letter case.
  EXPECT_EQ(ScanReferences("\"p\": {\n  \"$ref\": {\n    \"FILE\": \"Colors/Colors.zu\",\n    \"Path\": \"c\"\n  }\n}"),
            Names{"colors\\colors.zu"});
  // "path" before "file" names nothing.
  EXPECT_EQ(ScanReferences("\"$ref\": { \"path\": \"x\", \"file\": \"a.zu\" }"), Names{});
  // Without any "path" after it, nothing either.
  EXPECT_EQ(ScanReferences("\"$ref\": { \"file\": \"a.zu\" }"), Names{});
  // Both forms on one line keep their text order.
  EXPECT_EQ(ScanReferences("{\"$ref\":{\"file\":\"a.zu\",\"path\":\"p\"}, \"b\": ${\"b.zu\":\"q\"}}"),
            (Names{"a.zu", "b.zu"}));
  EXPECT_EQ(ScanReferences("{\"b\": ${\"b.zu\":\"q\"}, \"$ref\":{\"file\":\"a.zu\",\"path\":\"p\"}}"),
            (Names{"b.zu", "a.zu"}));
}

TEST(AnsiZuParser, CommentsAndLineEnds) {
  const std::string text =
      "{\n"
      "  // \"a\": ${\"skipped.zu\":\"x\"},\n"
      "\t  //${\"skipped2.zu\":\"x\"}\n"
      "  \"b\": 1, // ${\"after-code.zu\":\"x\"}\n"
      "  /* ${\"in-block.zu\":\"x\"}\n"
      "     \"$ref\": {\"file\": \"block2.zu\", \"path\": \"y\"} */\n"
      "}\n";
  EXPECT_EQ(ScanReferences(text), (Names{"after-code.zu", "in-block.zu", "block2.zu"}));

  // Lone CR, LF and CR LF all end lines: the comment stays on its own line.
  EXPECT_EQ(ScanReferences("//${\"c.zu\":\"x\"}\r${\"a.zu\":\"x\"}\n//${\"d.zu\":\"x\"}\r\n${\"b.zu\":\"x\"}"),
            (Names{"a.zu", "b.zu"}));
  // A reference split right after "$" is not on one line, so not one.
  EXPECT_EQ(ScanReferences("x: $\n{\"a.zu\":\"p\"}"), Names{});
}

TEST(AnsiZuParser, ManyReferencesStayLinear) {
  // A large file of references and of unclosed openings: every result is
  // found and the scan ends (a quadratic scan would take minutes here).
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "\"k\": ${\"f" + std::to_string(i % 7) + ".zu\":\"p\"},\n";
  EXPECT_EQ(ScanReferences(text).size(), 20000u);
  const std::string hostile(200000, '$');
  EXPECT_TRUE(ScanReferences(hostile + "{" + hostile).empty());
  std::string opens;
  for (int i = 0; i < 50000; ++i) opens += "${\"";
  EXPECT_TRUE(ScanReferences(opens).empty());
  std::string refs;
  for (int i = 0; i < 50000; ++i) refs += "\"$ref\": \"file\" ";
  EXPECT_TRUE(ScanReferences(refs).empty());
}

}  // namespace
}  // namespace ond
