#include <gtest/gtest.h>

#include <map>
#include <variant>

#include "highlight/OndGenHighlighter.h"
#include "highlight/OndHighlighterSettings.h"
#include "tests/highlight/HighlightTestRules.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

// A registry held in a map: "key\path" -> values. Keys exist once created or
// written to.
class MapRegistry : public TOndRegistry {
 public:
  using Value = std::variant<int, std::string>;
  std::map<std::string, std::map<std::string, Value>> Keys;
  std::string Current;

  void SetRootKey(std::uintptr_t) override { Current.clear(); }
  bool OpenKey(std::string_view Path, bool CanCreate) override {
    const std::string full = Resolve(Path);
    if (!Keys.count(full) && !CanCreate) return false;
    Keys[full];
    Current = full;
    return true;
  }
  bool OpenKeyReadOnly(std::string_view Path) override { return OpenKey(Path, false); }
  void CloseKey() override { Current.clear(); }
  std::string CurrentPath() const override { return Current; }
  bool ValueExists(std::string_view Name) const override {
    auto k = Keys.find(Current);
    return k != Keys.end() && k->second.count(std::string(Name));
  }
  int ReadInteger(std::string_view Name) const override { return std::get<int>(Keys.at(Current).at(std::string(Name))); }
  std::string ReadString(std::string_view Name) const override {
    return std::get<std::string>(Keys.at(Current).at(std::string(Name)));
  }
  void WriteInteger(std::string_view Name, int V) override { Keys[Current][std::string(Name)] = V; }

 private:
  std::string Resolve(std::string_view Path) const {
    if (!Path.empty() && Path[0] == '\\') return std::string(Path.substr(1));
    return Current.empty() ? std::string(Path) : Current + "\\" + std::string(Path);
  }
};

TEST(HighlighterSettings, AttributesRoundTripThroughTheRegistry) {
  TOndHighlighterAttributes a("Key");
  a.SetForeground(clRed);
  a.SetBackground(clAqua);
  a.SetStyle(fsBold | fsStrikeOut);
  MapRegistry reg;
  ASSERT_TRUE(reg.OpenKey("Soft\\Ondrel", true));
  EXPECT_TRUE(SaveAttributeToRegistry(a, reg));
  EXPECT_EQ(reg.CurrentPath(), "Soft\\Ondrel");  // back where it started
  TOndHighlighterAttributes b("Key");
  EXPECT_TRUE(LoadAttributeFromRegistry(b, reg));
  EXPECT_EQ(b.GetForeground(), clRed);
  EXPECT_EQ(b.GetBackground(), clAqua);
  EXPECT_EQ(b.GetStyle(), fsBold | fsStrikeOut);
  TOndHighlighterAttributes missing("Other");
  EXPECT_FALSE(LoadAttributeFromRegistry(missing, reg));
}

TEST(HighlighterSettings, TheProgramsRegistryHasNothing) {
  TOndNoRegistry reg;
  TOndGenHighlighter h;
  test::BuildJsonRules(h);
  h.Reset();
  EXPECT_FALSE(LoadHighlighterFromRegistry(h, reg, 0x80000001u, "Software\\Ondrel"));
  EXPECT_FALSE(SaveHighlighterToRegistry(h, reg, 0x80000001u, "Software\\Ondrel"));
  TOndHighlighterAttributes a("A");
  EXPECT_FALSE(ImportColorSettings(a, reg, 0, "K", "V", true));
  EXPECT_FALSE(ImportColorSettings(a, reg, 0, "K", "V", false));
}

TEST(HighlighterSettings, HighlighterAttributesRoundTripThroughAnIniFile) {
  test::TempDir dir;
  const std::string file = dir.Path() + "/colors.ini";
  TOndGenHighlighter h;
  test::BuildJsonRules(h);
  h.Reset();
  h.GetAttribute(1)->SetForeground(0x123456);
  {
    TOndMemIniFile ini(file);
    EXPECT_TRUE(SaveHighlighterToIniFile(h, ini));
    ini.UpdateFile();
  }
  TOndGenHighlighter g;
  test::BuildJsonRules(g);
  g.Reset();
  TOndMemIniFile ini(file);
  EXPECT_TRUE(LoadHighlighterFromIniFile(g, ini));
  EXPECT_EQ(g.GetAttribute(1)->GetForeground(), 0x123456);
  // An attribute without a section fails, but the others still load.
  TOndMemIniFile partial;
  partial.SetText("[Root]\r\nStyle=3\r\n");
  EXPECT_FALSE(LoadHighlighterFromIniFile(g, partial));
  EXPECT_EQ(g.GetAttribute(0)->GetStyle(), fsBold | fsItalic);
}

struct CompactCase {
  const char* Value;
  bool Ok;
  TColor Fg;
  TColor Bg;
  TFontStyles Style;
};

class CompactImport : public ::testing::TestWithParam<CompactCase> {};

TEST_P(CompactImport, ReadsSevenFieldsWithinTheTable) {
  MapRegistry reg;
  reg.Keys["Ed\\Colors"]["Comment"] = std::string(GetParam().Value);
  TOndHighlighterAttributes a("A");
  a.SetForeground(clPurple);
  a.SetBackground(clTeal);
  EXPECT_EQ(ImportColorSettings(a, reg, 0, "Ed\\Colors", "Comment", true), GetParam().Ok);
  EXPECT_EQ(a.GetForeground(), GetParam().Fg);
  EXPECT_EQ(a.GetBackground(), GetParam().Bg);
  EXPECT_EQ(a.GetStyle(), GetParam().Style);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompactImport,
    ::testing::Values(CompactCase{"x,y,BI,0,0,9,15", true, clRed, clWhite, fsBold | fsItalic},
                      CompactCase{"x,y,U,1,1,9,15", true, clWindowText, clWindow, fsUnderline},
                      CompactCase{",,,0,0,0,0", true, clBlack, clBlack, 0},
                      // Indexes outside the table, negative or empty, and short lists change nothing.
                      CompactCase{"x,y,B,0,0,16,0", false, clPurple, clTeal, 0},
                      CompactCase{"x,y,B,0,0,-1,0", false, clPurple, clTeal, 0},
                      CompactCase{"x,y,B,0,0,,0", false, clPurple, clTeal, 0},
                      CompactCase{"x,y,B,0,0,3", false, clPurple, clTeal, 0},
                      CompactCase{"", false, clPurple, clTeal, 0}));

TEST(HighlighterSettings, KeyFormImportNeedsEveryValue) {
  MapRegistry reg;
  auto& k = reg.Keys["Ed\\String"];
  k["Foreground Color New"] = std::string("clNavy");
  k["Background Color"] = std::string("14");
  k["Bold"] = std::string("False");
  k["Italic"] = std::string("yes");
  k["Underline"] = std::string("0");
  k["Default Foreground"] = std::string("false");
  k["Default Background"] = std::string("FALSE");
  TOndHighlighterAttributes a("A");
  ASSERT_TRUE(ImportColorSettings(a, reg, 0, "Ed", "String", false));
  EXPECT_EQ(a.GetForeground(), clNavy);
  EXPECT_EQ(a.GetBackground(), clAqua);
  EXPECT_EQ(a.GetStyle(), fsItalic);
  k["Default Background"] = std::string("1");
  k["Foreground Color New"] = std::string("$0000FF");
  ASSERT_TRUE(ImportColorSettings(a, reg, 0, "Ed", "String", false));
  EXPECT_EQ(a.GetBackground(), clWindow);
  EXPECT_EQ(a.GetForeground(), clRed);
  k.erase("Underline");
  EXPECT_FALSE(ImportColorSettings(a, reg, 0, "Ed", "String", false));
  k["Underline"] = std::string("1");
  k["Background Color"] = std::string("99");
  EXPECT_FALSE(ImportColorSettings(a, reg, 0, "Ed", "String", false));
}

}  // namespace
}  // namespace ond
