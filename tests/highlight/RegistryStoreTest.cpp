// The program's own registry file, where a highlighter keeps its attributes,
// and a foreign editor's colour settings read from a Wine prefix.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "highlight/OndGenHighlighter.h"
#include "highlight/OndRegistryFile.h"
#include "highlight/OndRegistryWine.h"
#include "tests/highlight/HighlightTestRules.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/EnvGuard.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

TOndHighlighterAttributes* Attribute(TOndGenHighlighter& H, std::string_view Name) {
  for (int i = 0; i < H.GetAttribCount(); ++i)
    if (H.GetAttribute(i)->Name() == Name) return H.GetAttribute(i);
  return nullptr;
}

TEST(RegistryFile, HighlighterAttributesRoundTripThroughTheConfigFolder) {
  test::TempDir dir;
  test::TEnvGuard xdg("XDG_CONFIG_HOME", dir.Path().c_str());
  EXPECT_EQ(DefaultRegistryFileName(), dir.Path() + "/ondrel/registry.ondrel");

  TOndGenHighlighter a;
  test::BuildJsonRules(a);
  a.Reset();
  Attribute(a, "String")->SetForeground(0x0000FF);
  Attribute(a, "String")->SetStyle(fsBold | fsUnderline);
  Attribute(a, "Block comment")->SetBackground(clNone);
  // Nothing kept yet.
  EXPECT_FALSE(a.LoadFromRegistry(HKEY_CURRENT_USER, "Software\\Ondrel\\Highlighters\\Json"));
  ASSERT_TRUE(a.SaveToRegistry(HKEY_CURRENT_USER, "Software\\Ondrel\\Highlighters\\Json"));

  // A key per attribute, the three values in each, as a registry holds them.
  const std::string text = test::TempDir::Read(DefaultRegistryFileName());
  EXPECT_EQ(text.rfind("ONDREL REGISTRY 1\n", 0), 0u);
  const std::string stringKey =
      "[HKEY_CURRENT_USER\\Software\\Ondrel\\Highlighters\\Json\\String]\n"
      "\"Background\"=dword:80000005\n\"Foreground\"=dword:000000ff\n\"Style\"=dword:00000005\n";
  EXPECT_NE(text.find(stringKey), std::string::npos) << text;
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Ondrel\\Highlighters\\Json\\Block comment]\n"
                      "\"Background\"=dword:1fffffff\n"),
            std::string::npos);

  TOndGenHighlighter b;
  test::BuildJsonRules(b);
  b.Reset();
  // Keys are found whatever their letter case.
  ASSERT_TRUE(b.LoadFromRegistry(HKEY_CURRENT_USER, "SOFTWARE\\ondrel\\highlighters\\JSON"));
  EXPECT_EQ(Attribute(b, "String")->GetForeground(), 0x0000FF);
  EXPECT_EQ(Attribute(b, "String")->GetStyle(), fsBold | fsUnderline);
  EXPECT_EQ(Attribute(b, "Block comment")->GetBackground(), clNone);
  // Another root holds nothing; a highlighter with one more attribute than
  // was kept loads the others and says it did not load everything.
  EXPECT_FALSE(b.LoadFromRegistry(HKEY_LOCAL_MACHINE, "Software\\Ondrel\\Highlighters\\Json"));
  test::BuildScriptRules(b);
  b.Reset();
  Attribute(b, "String")->SetForeground(clBlack);
  EXPECT_FALSE(b.LoadFromRegistry(HKEY_CURRENT_USER, "Software\\Ondrel\\Highlighters\\Json"));
  EXPECT_EQ(Attribute(b, "String")->GetForeground(), 0x0000FF);

  // Saving again keeps one key per attribute and other keys as they were.
  TOndFileRegistry other(DefaultRegistryFileName());
  other.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(other.OpenKey("Software\\Other", true));
  other.WriteString("Name", "say \"hi\"\\\n");
  EXPECT_EQ(other.UpdateFile(), "");
  ASSERT_TRUE(a.SaveToRegistry(HKEY_CURRENT_USER, "Software\\Ondrel\\Highlighters\\Json"));
  const std::string again = test::TempDir::Read(DefaultRegistryFileName());
  EXPECT_NE(again.find(stringKey), std::string::npos);
  EXPECT_EQ(again.find(stringKey), again.rfind(stringKey));
  TOndFileRegistry reread(DefaultRegistryFileName());
  reread.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(reread.OpenKeyReadOnly("Software\\Other"));
  EXPECT_EQ(reread.ReadString("name"), "say \"hi\"\\\n");
}

TEST(RegistryFile, SavingWhereNoFolderCanBeMadeFails) {
  test::TempDir dir;
  const std::string blocker = dir.Write("file", "not a folder");
  test::TEnvGuard xdg("XDG_CONFIG_HOME", blocker.c_str());
  TOndGenHighlighter h;
  test::BuildJsonRules(h);
  h.Reset();
  EXPECT_FALSE(h.SaveToRegistry(HKEY_CURRENT_USER, "Software\\Ondrel"));
  TOndFileRegistry none("");
  none.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(none.OpenKey("A", true));
  none.WriteInteger("x", 1);
  EXPECT_NE(none.UpdateFile(), "");
}

// Saving replaces a link at the registry's name (the name is the program's
// own: nothing is written through it), leaves no temporary file behind, and
// a save that cannot be finished keeps the old text whole.
TEST(RegistryFile, SavingReplacesTheFileSafely) {
  namespace fs = std::filesystem;
  test::TempDir dir;
  const std::string kept = dir.Write("dotfiles/registry", "");
  const std::string name = dir / "registry.ondrel";
  fs::create_symlink("dotfiles/registry", name);

  TOndFileRegistry reg(name);
  reg.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(reg.OpenKey("Software\\Ondrel", true));
  reg.WriteInteger("Width", 80);
  ASSERT_EQ(reg.UpdateFile(), "");
  EXPECT_FALSE(fs::is_symlink(name));
  EXPECT_EQ(test::TempDir::Read(kept), "");
  const std::string saved = test::TempDir::Read(name);
  EXPECT_NE(saved.find("\"Width\"=dword:00000050"), std::string::npos) << saved;

  // Past the file-size limit the save fails with a reason; the old text
  // stays and no temporary file is left.
  reg.WriteString("Long", std::string(1 << 16, 'x'));
  const int ended = test::UnderFileSizeLimit(4096, [&] { return reg.UpdateFile().empty() ? 3 : 0; });
  EXPECT_EQ(ended, 0) << "1000 + n: ended by signal n";
  EXPECT_EQ(test::TempDir::Read(name), saved);
  int entries = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir.Path())) {
    ++entries;
    (void)e;
  }
  EXPECT_EQ(entries, 3);  // the file, the folder and the file the link named
}

TEST(RegistryFile, KeysOpenFromTheRootOrTheOpenKey) {
  TOndFileRegistry r("");
  r.SetRootKey(0x12345u);  // no root this registry knows
  EXPECT_FALSE(r.OpenKey("A", true));
  r.SetRootKey(HKEY_CURRENT_USER);
  EXPECT_FALSE(r.OpenKeyReadOnly("A"));
  ASSERT_TRUE(r.OpenKey("A\\B", true));
  EXPECT_EQ(r.CurrentPath(), "A\\B");
  ASSERT_TRUE(r.OpenKey("C", true));
  EXPECT_EQ(r.CurrentPath(), "A\\B\\C");
  ASSERT_TRUE(r.OpenKeyReadOnly("\\a"));  // every key on the way was made
  EXPECT_EQ(r.CurrentPath(), "A");
  EXPECT_FALSE(r.OpenKey("X\\\\Y", true));
  EXPECT_THROW(r.ReadInteger("v"), Exception);
  r.WriteInteger("v", -1);
  EXPECT_EQ(r.ReadInteger("V"), -1);
  EXPECT_THROW(r.ReadString("v"), Exception);
  EXPECT_TRUE(r.KeyExists("\\A\\B\\C"));
  r.SetRootKey(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(r.KeyExists("A"));
  r.CloseKey();
  EXPECT_THROW(r.WriteInteger("v", 1), Exception);
}

// A damaged file costs the lines that do not read, nothing else.
TEST(RegistryFile, DamagedTextGivesFewerValues) {
  TOndFileRegistry r("");
  r.SetText(
      "ONDREL REGISTRY 1\r\n"
      "[HKEY_CURRENT_USER\\Good]\r\n"
      "\"a\"=dword:0000002a\r\n"
      "\"b\"=dword:xyz\n"
      "\"c\"=\"unterminated\n"
      "\"d\"=\"ok\" trailing\n"
      "\"e\"=\"x\\\"y\"\n"
      "\"\"=dword:1\n"
      "junk line\n"
      "[NOROOT\\Key]\n\"f\"=dword:1\n"
      "[HKEY_CURRENT_USER\\\\Empty]\n\"g\"=dword:1\n"
      "[HKEY_CURRENT_USER\n"
      "[HKEY_CURRENT_USER\\Tail\\]\n");
  r.SetRootKey(HKEY_CURRENT_USER);
  ASSERT_TRUE(r.OpenKeyReadOnly("Good"));
  EXPECT_EQ(r.ReadInteger("a"), 42);
  for (const char* gone : {"b", "c", "d", "f", "g"}) EXPECT_FALSE(r.ValueExists(gone)) << gone;
  EXPECT_EQ(r.ReadString("e"), "x\"y");
  EXPECT_FALSE(r.OpenKeyReadOnly("\\Empty"));
  EXPECT_FALSE(r.OpenKeyReadOnly("\\Tail"));
  // Without the first line it is no registry of this program.
  r.SetText("[HKEY_CURRENT_USER\\Good]\n\"a\"=dword:1\n");
  EXPECT_FALSE(r.OpenKeyReadOnly("\\Good"));
  // The text it writes reads back the same.
  TOndFileRegistry w("");
  w.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(w.OpenKey("K\\L", true));
  w.WriteInteger("n", static_cast<int>(0x80000008u));
  w.WriteString("s", "a\r\nb\\\"");
  ASSERT_TRUE(w.OpenKey("\\", false));  // the root holds values too
  w.WriteInteger("top", 7);
  TOndFileRegistry back("");
  back.SetText(w.GetText());
  EXPECT_EQ(back.GetText(), w.GetText());
  back.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(back.OpenKeyReadOnly("K\\L"));
  EXPECT_EQ(back.ReadString("s"), "a\r\nb\\\"");
  EXPECT_EQ(back.ReadInteger("n"), static_cast<int>(0x80000008u));
  ASSERT_TRUE(back.OpenKeyReadOnly("\\"));
  EXPECT_EQ(back.ReadInteger("top"), 7);
}

// A key whose name holds a line break (an attribute a scheme names so) is
// written so that the key and its values read back from the file; other
// keys keep their plain sections.
TEST(RegistryFile, KeyNamesWithLineBreaksReadBack) {
  TOndFileRegistry w("");
  w.SetRootKey(HKEY_CURRENT_USER);
  const char* const names[] = {"a\nb", "c\r\nd]", "e\r", "\"q\"\n", "Plain"};
  for (const char* name : names) {
    ASSERT_TRUE(w.OpenKey(std::string("\\Soft\\") + name + "\\Sub", true)) << name;
    w.WriteString("v", name);
  }
  const std::string text = w.GetText();
  EXPECT_NE(text.find("\n[HKEY_CURRENT_USER\\Soft\\Plain\\Sub]\n"), std::string::npos) << text;
  TOndFileRegistry back("");
  back.SetText(text);
  EXPECT_EQ(back.GetText(), text);
  back.SetRootKey(HKEY_CURRENT_USER);
  for (const char* name : names) {
    ASSERT_TRUE(back.OpenKeyReadOnly(std::string("\\Soft\\") + name + "\\Sub")) << name;
    EXPECT_EQ(back.ReadString("v"), name);
    EXPECT_TRUE(back.KeyExists(std::string("\\Soft\\") + name));
  }
  // A quoted section that does not close costs its key only.
  back.SetText("ONDREL REGISTRY 1\n[\"HKEY_CURRENT_USER\\\\A\"\n\"v\"=dword:1\n"
               "[\"HKEY_CURRENT_USER\\\\B\"] \n\"v\"=dword:1\n[\"HKEY_CURRENT_USER\\\\C\"]\n\"v\"=dword:2\n");
  EXPECT_FALSE(back.OpenKeyReadOnly("\\A"));
  EXPECT_FALSE(back.OpenKeyReadOnly("\\B"));
  ASSERT_TRUE(back.OpenKeyReadOnly("\\C"));
  EXPECT_EQ(back.ReadInteger("v"), 2);
}

TEST(RegistryFile, AttributesNamedWithLineBreaksRoundTrip) {
  test::TempDir dir;
  test::TEnvGuard xdg("XDG_CONFIG_HOME", dir.Path().c_str());
  TOndGenHighlighter a;
  test::BuildJsonRules(a);
  a.Reset();
  Attribute(a, "String")->SetName("Str\ning");
  Attribute(a, "Str\ning")->SetForeground(0x00FF00);
  ASSERT_TRUE(a.SaveToRegistry(HKEY_CURRENT_USER, "Software\\Ondrel\\Highlighters\\Json"));
  TOndGenHighlighter b;
  test::BuildJsonRules(b);
  b.Reset();
  Attribute(b, "String")->SetName("Str\ning");
  ASSERT_TRUE(b.LoadFromRegistry(HKEY_CURRENT_USER, "Software\\Ondrel\\Highlighters\\Json"));
  EXPECT_EQ(Attribute(b, "Str\ning")->GetForeground(), 0x00FF00);
}

// A user hive of a Wine prefix with a foreign editor's colours in both its
// layouts, and a class key.
constexpr const char* kUserHive =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
    "#arch=win32\n\n"
    "[Software\\\\Foreign\\\\Editor\\\\Highlight] 1700000000\n"
    "#time=1da0000000000000\n"
    "\"Comment\"=\"0,0,IU,0,0,4,14\"\n"
    "\"Number\"=\"0,0,B,1,1,99,99\"\n"
    "\"Short\"=\"0,0,B,0\"\n"
    "\"Wide\"=\"0,0,B,0,0,20,0\"\n\n"
    "[Software\\\\Foreign\\\\Editor\\\\Highlight\\\\String] 1700000000\n"
    "\"Foreground Color\"=\"9\"\n"
    "\"Background Color New\"=\"clYellow\"\n"
    "\"Bold\"=\"True\"\n"
    "\"Italic\"=\"false\"\n"
    "\"Underline\"=\"0\"\n"
    "\"Default Foreground\"=\"False\"\n"
    "\"Default Background\"=\"FALSE\"\n\n"
    "[Software\\\\Foreign\\\\Editor\\\\Highlight\\\\Keyword] 1700000000\n"
    "\"Foreground Color\"=\"1\"\n"
    "\"Background Color\"=\"2\"\n"
    "\"Bold\"=\"1\"\n"
    "\"Italic\"=\"\"\n"
    "\"Underline\"=\"no\"\n"
    "\"Default Foreground\"=\"True\"\n\n"
    "[Software\\\\Classes\\\\.foreign] 1700000000\n"
    "\"Colors\"=\"0,0,,0,0,15,0\"\n";

TEST(WineImport, ForeignColoursComeFromThePrefixInUse) {
  test::TempDir prefix;
  prefix.Write("user.reg", kUserHive);
  test::TEnvGuard wine("WINEPREFIX", prefix.Path().c_str());
  const std::string key = "Software\\Foreign\\Editor\\Highlight";

  TOndHighlighterAttributes comment("Comment");
  ASSERT_TRUE(comment.ImportColorSettings(HKEY_CURRENT_USER, key, "Comment", true));
  EXPECT_EQ(comment.GetForeground(), clNavy);
  EXPECT_EQ(comment.GetBackground(), clAqua);
  EXPECT_EQ(comment.GetStyle(), fsItalic | fsUnderline);
  // Default colours need no index from the table.
  TOndHighlighterAttributes number("Number");
  ASSERT_TRUE(number.ImportColorSettings(HKEY_CURRENT_USER, key, "Number", true));
  EXPECT_EQ(number.GetForeground(), clWindowText);
  EXPECT_EQ(number.GetBackground(), clWindow);
  EXPECT_EQ(number.GetStyle(), fsBold);
  // Short lists, indexes outside the table and missing values change nothing.
  for (const char* value : {"Short", "Wide", "Missing"}) {
    TOndHighlighterAttributes a("A");
    a.SetForeground(clRed);
    EXPECT_FALSE(a.ImportColorSettings(HKEY_CURRENT_USER, key, value, true)) << value;
    EXPECT_EQ(a.GetForeground(), clRed) << value;
  }

  TOndHighlighterAttributes str("String");
  ASSERT_TRUE(str.ImportColorSettings(HKEY_CURRENT_USER, key, "String", false));
  EXPECT_EQ(str.GetForeground(), clRed);
  EXPECT_EQ(str.GetBackground(), clYellow);
  EXPECT_EQ(str.GetStyle(), fsBold);
  // Every flag must be there.
  TOndHighlighterAttributes kw("Keyword");
  EXPECT_FALSE(kw.ImportColorSettings(HKEY_CURRENT_USER, key, "Keyword", false));

  // The classes root is the user's classes laid over the machine's.
  TOndHighlighterAttributes cls("Class");
  ASSERT_TRUE(cls.ImportColorSettings(HKEY_CLASSES_ROOT, ".foreign", "Colors", true));
  EXPECT_EQ(cls.GetForeground(), clWhite);
  // The machine hive is missing: nothing there.
  EXPECT_FALSE(cls.ImportColorSettings(HKEY_LOCAL_MACHINE, key, "Comment", true));
  // Another prefix without the settings.
  test::TempDir empty;
  test::TEnvGuard other("WINEPREFIX", empty.Path().c_str());
  EXPECT_FALSE(cls.ImportColorSettings(HKEY_CURRENT_USER, key, "Comment", true));
}

TEST(WineImport, ThePrefixIsOnlyRead) {
  test::TempDir prefix;
  prefix.Write("user.reg", kUserHive);
  TOndWineRegistry r(prefix.Path());
  r.SetRootKey(HKEY_CURRENT_USER);
  EXPECT_FALSE(r.OpenKey("Software\\New", true));
  ASSERT_TRUE(r.OpenKey("software\\FOREIGN\\editor\\highlight", false));
  ASSERT_TRUE(r.OpenKey("String", false));
  EXPECT_EQ(r.CurrentPath(), "software\\FOREIGN\\editor\\highlight\\String");
  EXPECT_EQ(r.ReadString("foreground color"), "9");
  EXPECT_EQ(r.ReadInteger("Foreground Color"), 9);
  EXPECT_THROW(r.ReadInteger("Bold"), Exception);
  EXPECT_THROW(r.WriteInteger("Bold", 1), Exception);
  ASSERT_TRUE(r.OpenKey("\\Software\\Foreign\\Editor\\Highlight", false));
  TOndHighlighterAttributes a("A");
  EXPECT_FALSE(SaveAttributeToRegistry(a, r));  // no key is made
  TOndHighlighterAttributes s("String");
  EXPECT_THROW(SaveAttributeToRegistry(s, r), Exception);
  EXPECT_EQ(test::TempDir::Read(prefix / "user.reg"), kUserHive);
}

}  // namespace
}  // namespace ond
