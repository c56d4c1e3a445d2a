#include "platform/core/WineRegistry.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "platform/core/WinePrefix.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

constexpr const char* Header = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n";

std::string Hive(const std::string& body) { return Header + body; }

std::vector<std::uint8_t> Utf16z(std::u16string_view s) {
  std::vector<std::uint8_t> d;
  for (const char16_t u : s) d.push_back(static_cast<std::uint8_t>(u & 0xFF)), d.push_back(static_cast<std::uint8_t>(u >> 8));
  d.push_back(0);
  d.push_back(0);
  return d;
}

struct TValueCase {
  const char* Line;
  std::uint32_t Type;
  std::vector<std::uint8_t> Data;
};

TEST(WineHive, ValueNotations) {
  const TValueCase cases[] = {
      {R"("v"="plain")", REG_SZ, Utf16z(u"plain")},
      {R"("v"=str:"typed")", REG_SZ, Utf16z(u"typed")},
      {R"("v"=str(2):"%SystemRoot%\\x")", REG_EXPAND_SZ, Utf16z(u"%SystemRoot%\\x")},
      {R"("v"=str(7):"a\0b\0")", REG_MULTI_SZ, Utf16z(std::u16string_view(u"a\0b\0", 4))},
      {R"("v"="q\"uote \\ back\n\r\t end")", REG_SZ, Utf16z(u"q\"uote \\ back\n\r\t end")},
      {R"("v"="\x41\x0416\x44f!")", REG_SZ, Utf16z(u"A\u0416\u044f!")},
      {R"("v"="oct\101\7")", REG_SZ, Utf16z(u"octA\a")},
      {"\"v\"=\"\xD0\x96\xD1\x8F raw UTF-8\"", REG_SZ, Utf16z(u"\u0416\u044f raw UTF-8")},
      {R"("v"="")", REG_SZ, Utf16z(u"")},
      {R"("v"=dword:0001e240)", REG_DWORD, {0x40, 0xE2, 0x01, 0x00}},
      {R"("v"=dword:ffffffff)", REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}},
      {R"("v"=hex:01,ab,FF)", REG_BINARY, {0x01, 0xAB, 0xFF}},
      {R"("v"=hex:)", REG_BINARY, {}},
      {"\"v\"=hex:01,02,\\\n  03,04,\\\n  05", REG_BINARY, {1, 2, 3, 4, 5}},
      {"\"v\"=hex(2):41,00,42,00,00,00", REG_EXPAND_SZ, {0x41, 0, 0x42, 0, 0, 0}},
      {"\"v\"=hex(b):01,00,00,00,00,00,00,00", 11, {1, 0, 0, 0, 0, 0, 0, 0}},
      {"\"v\"=\"crlf\"\r", REG_SZ, Utf16z(u"crlf")},
  };
  for (const TValueCase& c : cases) {
    SCOPED_TRACE(c.Line);
    const std::string text = Hive(std::string("[K] 1600000000\n") + c.Line + "\n");
    const TWineHive hive = TWineHive::Parse(text);
    const TRegValue* v = hive.Find(u"K", u"v");
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->Type, c.Type);
    EXPECT_EQ(v->Data, c.Data);
    const auto one = FindHiveValue(text, u"K", u"v");
    ASSERT_TRUE(one.has_value());
    EXPECT_EQ(*one, *v);
  }
}

TEST(WineHive, StringsOfEveryStringNotation) {
  const TWineHive hive = TWineHive::Parse(Hive(
      "[K]\n\"a\"=\"x\"\n\"b\"=str(2):\"y\"\n\"c\"=hex(2):7a,00,00,00\n\"d\"=dword:1\n\"e\"=str(7):\"m\\0\"\n"));
  EXPECT_EQ(hive.Find(u"K", u"a")->AsString(), u"x");
  EXPECT_EQ(hive.Find(u"K", u"b")->AsString(), u"y");
  EXPECT_EQ(hive.Find(u"K", u"c")->AsString(), u"z");
  EXPECT_EQ(hive.Find(u"K", u"d")->AsString(), std::nullopt);
  EXPECT_EQ(hive.Find(u"K", u"e")->AsString(), std::nullopt);
}

TEST(WineHive, KeysAndNamesCompareWithoutCase) {
  const std::string text = Hive(
      "[Software\\\\Classes\\\\.WotReplay\\\\DefaultIcon] 1600000000\n#time=1d6\n@=\"icon\"\n"
      "[Software\\\\\xD0\x9A\xD0\xBB\xD1\x8E\xD1\x87] 1\n\"\xD0\x98\xD0\xBC\xD1\x8F\"=\"ru\"\n");
  const TWineHive hive = TWineHive::Parse(text);
  EXPECT_EQ(hive.KeyCount(), 2u);
  EXPECT_TRUE(hive.HasKey(u"software\\classes\\.wotreplay\\defaulticon"));
  EXPECT_EQ(hive.Find(u"SOFTWARE\\CLASSES\\.WOTREPLAY\\DEFAULTICON", u"")->AsString(), u"icon");
  EXPECT_EQ(hive.Find(u"Software\\\u043a\u043b\u044e\u0447", u"\u0438\u043c\u044f")->AsString(), u"ru");
  EXPECT_EQ(FindHiveValue(text, u"software\\\u041a\u041b\u042e\u0427", u"\u0418\u041c\u042f")->AsString(), u"ru");
}

TEST(WineHive, CommentsOptionsAndMalformedLinesAreSkipped) {
  const std::string text = Hive(
      "\"orphan\"=\"before any key\"\n"
      "[K] 1\n"
      ";; a comment\n"
      "#class=\"x\"\n"
      "  \"indented\"=\"ok\"\n"
      "\"unterminated=\"x\"\n"
      "\"noequals\" \"x\"\n"
      "\"badstr\"=\"open\n"
      "\"trailing\"=\"x\" junk\n"
      "\"baddword\"=dword:xyz\n"
      "\"longdword\"=dword:123456789\n"
      "\"badhex\"=hex:01,zz\n"
      "\"badtype\"=str(q):\"x\"\n"
      "[Unterminated\\\\Key\n"
      "\"lost\"=\"x\"\n"
      "[K] 2\n"
      "\"after\"=\"ok\"\n"
      "garbage line\n"
      "\"cut\"=hex:01,\\\n");
  const TWineHive hive = TWineHive::Parse(text);
  EXPECT_EQ(hive.KeyCount(), 1u);
  EXPECT_EQ(hive.Find(u"K", u"indented")->AsString(), u"ok");
  EXPECT_EQ(hive.Find(u"K", u"after")->AsString(), u"ok");
  for (const char16_t* name : {u"orphan", u"unterminated", u"noequals", u"badstr", u"trailing", u"baddword",
                               u"longdword", u"badhex", u"badtype", u"cut", u"lost"})
    EXPECT_EQ(hive.Find(u"K", name), nullptr) << Utf16ToUtf8(name);
  int values = 0;
  hive.ForEach([&](const auto&, const auto&, const auto&) { ++values; });
  EXPECT_EQ(values, 2);
}

// Continuation lines belong to their value whether or not anyone asks for
// it, so a one-question lookup and a full reading see the same key lines.
TEST(WineHive, ContinuationLinesAreNeverKeyLines) {
  const std::string text = Hive("[A]\n\"a\"=hex:01,\\\n[K]\n\"v\"=\"x\"\n\"b\"=hex:02,\\\n  03\n");
  const TWineHive hive = TWineHive::Parse(text);
  EXPECT_FALSE(hive.HasKey(u"K"));
  EXPECT_EQ(hive.Find(u"A", u"a"), nullptr);
  EXPECT_EQ(hive.Find(u"A", u"v")->AsString(), u"x");
  EXPECT_EQ(FindHiveValue(text, u"K", u"v"), std::nullopt);
  EXPECT_EQ(FindHiveValue(text, u"A", u"v")->AsString(), u"x");
  EXPECT_EQ(FindHiveValue(text, u"A", u"b")->Data, (std::vector<std::uint8_t>{2, 3}));
}

TEST(WineHive, LaterValueAndRepeatedKeyWin) {
  const std::string text = Hive("[K]\n\"v\"=\"one\"\n[k]\n\"V\"=\"two\"\n\"w\"=\"kept\"\n");
  EXPECT_EQ(TWineHive::Parse(text).Find(u"K", u"v")->AsString(), u"two");
  EXPECT_EQ(FindHiveValue(text, u"K", u"v")->AsString(), u"two");
  bool keyFound = false;
  EXPECT_EQ(FindHiveValue(text, u"K", u"missing", &keyFound), std::nullopt);
  EXPECT_TRUE(keyFound);
  EXPECT_EQ(FindHiveValue(text, u"Other", u"v", &keyFound), std::nullopt);
  EXPECT_FALSE(keyFound);
}

TEST(WineHive, WithoutTheHeaderNothingIsRead) {
  for (const char* text : {"", "[K]\n\"v\"=\"x\"\n", "WINE REGISTRY Version 1\n[K]\n\"v\"=\"x\"\n",
                           "REGEDIT4\n[K]\n\"v\"=\"x\"\n"})
    EXPECT_EQ(TWineHive::Parse(text).KeyCount(), 0u) << text;
  EXPECT_EQ(TWineHive::Parse("WINE REGISTRY Version 2\r\n[K]\r\n\"v\"=\"x\"\r\n").Find(u"K", u"v")->AsString(), u"x");
}

// A prefix folder with the two hives.
struct TPrefix {
  test::TempDir Dir;
  void System(const std::string& body) const { Dir.Write("system.reg", Hive(body)); }
  void User(const std::string& body) const { Dir.Write("user.reg", Hive(body)); }
  TWineRegistry Registry() const { return TWineRegistry(Dir.Path()); }
};

TEST(WineRegistry, RootsReadTheirHives) {
  TPrefix p;
  p.System("[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion]\n\"ProductName\"=\"Microsoft Windows 10 Pro\"\n");
  p.User("[Control Panel\\\\Desktop]\n\"Wallpaper\"=\"\"\n");
  const TWineRegistry r = p.Registry();
  EXPECT_EQ(r.ReadString(THiveRoot::HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\Windows NT\\currentVersion",
                         u"ProductName"),
            u"Microsoft Windows 10 Pro");
  EXPECT_EQ(r.ReadString(THiveRoot::HKEY_CURRENT_USER, u"Control Panel\\Desktop", u"Wallpaper"), u"");
  EXPECT_EQ(r.ReadString(THiveRoot::HKEY_CURRENT_USER, u"Software\\Microsoft\\Windows NT\\CurrentVersion",
                         u"ProductName"),
            std::nullopt);
}

TEST(WineRegistry, ClassesRootPutsTheUserOverTheMachine) {
  TPrefix p;
  p.System(
      "[Software\\\\Classes\\\\.wotreplay\\\\DefaultIcon]\n@=\"machine\"\n"
      "[Software\\\\Classes\\\\.txt]\n@=\"txtfile\"\n"
      "[Software\\\\Classes\\\\.both]\n@=\"machine\"\n\"only\"=\"machine\"\n");
  EXPECT_EQ(p.Registry().ReadString(THiveRoot::HKEY_CLASSES_ROOT, u".wotreplay\\DefaultIcon", u""), u"machine");
  p.User(
      "[Software\\\\Classes\\\\.wotreplay\\\\DefaultIcon]\n@=\"user\"\n"
      "[Software\\\\Classes\\\\.both]\n\"other\"=\"user\"\n");
  const TWineRegistry r = p.Registry();
  EXPECT_EQ(r.ReadString(THiveRoot::HKEY_CLASSES_ROOT, u".WOTREPLAY\\defaulticon", u""), u"user");
  EXPECT_EQ(r.ReadString(THiveRoot::HKEY_CLASSES_ROOT, u".txt", u""), u"txtfile");
  // The user's key hides the machine's whole key, as a merged view does.
  EXPECT_EQ(r.ReadString(THiveRoot::HKEY_CLASSES_ROOT, u".both", u"only"), std::nullopt);
  EXPECT_EQ(r.ReadString(THiveRoot::HKEY_CLASSES_ROOT, u".both", u"other"), u"user");
}

TEST(WineRegistry, MissingPrefixOrHivesGiveNothing) {
  test::TempDir dir;
  EXPECT_EQ(TWineRegistry(dir / "none").ReadValue(THiveRoot::HKEY_CLASSES_ROOT, u".x", u""), std::nullopt);
  dir.Write("system.reg", "");
  EXPECT_EQ(TWineRegistry(dir.Path()).ReadValue(THiveRoot::HKEY_LOCAL_MACHINE, u"K", u""), std::nullopt);
  EXPECT_EQ(TWineHive::Load(dir.Path()).KeyCount(), 0u);  // a folder, not a hive
}

}  // namespace
}  // namespace ond
