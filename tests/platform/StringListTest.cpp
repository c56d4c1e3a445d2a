// String lists at their edges: text splitting, indexes just outside the list,
// sorted lists and their duplicates, update nesting, comma text and files.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

std::vector<std::string> Items(const TStrings& l) {
  std::vector<std::string> out;
  for (int i = 0; i < l.GetCount(); ++i) out.push_back(l.Get(i));
  return out;
}

TEST(StringList, TextSplitsAtEveryKindOfLineBreak) {
  struct Case {
    const char* Text;
    std::vector<std::string> Lines;
  };
  const Case cases[] = {
      {"", {}},
      {"\r\n", {""}},
      {"a", {"a"}},
      {"a\r\n\r\n", {"a", ""}},
      {"a\n\rb", {"a", "", "b"}},   // LF then a lone CR: two breaks
      {"a\r\rb\n", {"a", "", "b"}},
      {"\n\n", {"", ""}},
  };
  for (const Case& c : cases) {
    TStringList l;
    l.SetText(c.Text);
    EXPECT_EQ(Items(l), c.Lines) << '"' << c.Text << '"';
  }
  TStringList l;
  l.SetText(std::string("a\0b\nc", 5));  // a NUL byte is text like any other
  EXPECT_EQ(Items(l), (std::vector<std::string>{std::string("a\0b", 3), "c"}));
  EXPECT_EQ(l.GetText(), std::string("a\0b\r\nc\r\n", 8));
}

TEST(StringList, IndexesJustOutsideTheList) {
  TStringList l;
  l.SetText("a\nb\nc");
  l.Insert(3, "d");  // at the end is inside
  EXPECT_EQ(test::ErrorOf([&] { l.Insert(5, "x"); }), "List index out of bounds (5)");
  EXPECT_EQ(test::ErrorOf([&] { l.Insert(-1, "x"); }), "List index out of bounds (-1)");
  EXPECT_EQ(test::ErrorOf([&] { l.Get(4); }), "List index out of bounds (4)");
  EXPECT_EQ(test::ErrorOf([&] { l.Exchange(0, 4); }), "List index out of bounds (4)");
  EXPECT_EQ(test::ErrorOf([&] { l.PutObject(-1, nullptr); }), "List index out of bounds (-1)");
  // A move to nowhere fails before it takes anything out.
  EXPECT_EQ(test::ErrorOf([&] { l.Move(0, 4); }), "List index out of bounds (4)");
  EXPECT_EQ(test::ErrorOf([&] { l.Move(7, 0); }), "List index out of bounds (7)");
  EXPECT_EQ(Items(l), (std::vector<std::string>{"a", "b", "c", "d"}));
  l.Move(0, 3);
  EXPECT_EQ(Items(l), (std::vector<std::string>{"b", "c", "d", "a"}));
  l.Move(2, 2);
  EXPECT_EQ(Items(l), (std::vector<std::string>{"b", "c", "d", "a"}));
}

TEST(StringList, ObjectsTravelWithTheirStrings) {
  TStringList l;
  int a = 0, b = 0;
  l.AddObject("a", &a);
  l.AddObject("b", &b);
  l.Put(0, "A");
  EXPECT_EQ(l.GetObject(0), &a);
  l.Exchange(0, 1);
  EXPECT_EQ(l.GetObject(0), &b);
  l.Move(0, 1);
  EXPECT_EQ(Items(l), (std::vector<std::string>{"A", "b"}));
  EXPECT_EQ(l.GetObject(1), &b);
  EXPECT_EQ(l.IndexOfObject(&a), 0);
  EXPECT_EQ(l.IndexOfObject(nullptr), -1);
}

TEST(StringList, SortedListsAndDuplicates) {
  TStringList l;
  l.SetSorted(true);
  EXPECT_EQ(l.Add("b"), 0);
  EXPECT_EQ(l.Add("a"), 0);
  EXPECT_EQ(l.Add("B"), 1);  // dupIgnore: the existing one's index, nothing added
  EXPECT_EQ(l.GetCount(), 2);
  l.Duplicates = TDuplicates::dupError;
  EXPECT_EQ(test::ErrorOf([&] { l.Add("A"); }), "String list does not allow duplicates");
  l.Duplicates = TDuplicates::dupAccept;
  l.Add("A");
  EXPECT_EQ(l.GetCount(), 3);
  // Operations that would break the order are refused, and leave the list as it was.
  EXPECT_EQ(test::ErrorOf([&] { l.Insert(0, "z"); }), "Operation not allowed on sorted list");
  EXPECT_EQ(test::ErrorOf([&] { l.Put(0, "z"); }), "Operation not allowed on sorted list");
  const auto before = Items(l);
  EXPECT_EQ(test::ErrorOf([&] { l.Move(0, 2); }), "Operation not allowed on sorted list");
  EXPECT_EQ(Items(l), before);
  // Cyrillic compares without regard to case; a case-sensitive list sorts by bytes.
  TStringList c;
  c.SetText("\xB8\xEB\xEA\xE0\n\xC0\n\xE1");  // "ёлка", "А", "б"
  c.SetSorted(true);
  int at = -1;
  EXPECT_TRUE(c.Find("\xA8\xCB\xCA\xC0", at));  // "ЁЛКА"
  EXPECT_EQ(c.IndexOf("\xC1"), c.IndexOf("\xE1"));
  c.SetCaseSensitive(true);
  EXPECT_FALSE(c.Find("\xC1", at));
  EXPECT_EQ(at, 2);  // where it would go: after "\xC0", before "\xE1"
  TStringList empty;
  empty.SetSorted(true);
  EXPECT_FALSE(empty.Find("x", at));
  EXPECT_EQ(at, 0);
}

TEST(StringList, NestedUpdatesNotifyOnce) {
  TStringList l;
  int changing = 0, changed = 0;
  l.OnChanging = [&](TStringList*) { ++changing; };
  l.OnChange = [&](TStringList*) { ++changed; };
  l.BeginUpdate();
  l.BeginUpdate();
  l.Add("a");
  l.Add("b");
  l.EndUpdate();
  EXPECT_EQ(changed, 0);
  l.EndUpdate();
  EXPECT_EQ(changing, 1);
  EXPECT_EQ(changed, 1);
  l.EndUpdate();  // one too many does nothing
  EXPECT_EQ(l.UpdateCount(), 0);
  EXPECT_EQ(changed, 1);
  l.Clear();
  l.Clear();  // clearing an empty list is no change
  EXPECT_EQ(changed, 2);
  l.Assign(l);
  EXPECT_EQ(changed, 2);
}

TEST(StringList, CommaTextQuotesWhatWouldSplit) {
  TStringList l;
  for (const char* s : {"plain", "", "a b", "x,y", "q\"t", "\xCF\xF0\xE8"}) l.Add(s);
  EXPECT_EQ(l.GetCommaText(), "plain,\"\",\"a b\",\"x,y\",\"q\"\"t\",\xCF\xF0\xE8");
  TStringList none;
  EXPECT_EQ(none.GetCommaText(), "");
}

TEST(StringList, FilesKeepBytesAndLineBreaks) {
  test::TempDir dir;
  TStringList l;
  l.SetText("\xCF\xF0\xE8\xEC\xE5\xF0\n\nlast");
  l.SaveToFile(dir / "l.txt");
  EXPECT_EQ(test::TempDir::Read(dir / "l.txt"), "\xCF\xF0\xE8\xEC\xE5\xF0\r\n\r\nlast\r\n");
  TStringList back;
  back.LoadFromFile(dir / "l.txt");
  EXPECT_EQ(Items(back), Items(l));
  EXPECT_THROW(back.LoadFromFile(dir / "none.txt"), EFOpenError);
  EXPECT_EQ(Items(back), Items(l));  // a failed load leaves the list alone
}

// Saving replaces the file whole: a save that cannot finish keeps the old
// text, a link at the name is replaced (never written through), and no
// temporary file is left.
TEST(StringList, SavingAFileKeepsTheOldOneUntilTheNewOneIsWhole) {
  namespace fs = std::filesystem;
  test::TempDir dir;
  const std::string kept = dir.Write("real/l.txt", "old\r\n");
  const std::string link = dir / "l.txt";
  fs::create_symlink("real/l.txt", link);
  TStringList big;
  big.Add(std::string(1 << 16, 'x'));
  const int ended = test::UnderFileSizeLimit(4096, [&] {
    try {
      big.SaveToFile(link);
    } catch (const EFCreateError&) {
      return 0;
    }
    return 3;
  });
  EXPECT_EQ(ended, 0) << "1000 + n: ended by signal n";
  EXPECT_EQ(test::TempDir::Read(kept), "old\r\n");

  TMemoryStream m;
  m.Write("new", 3);
  m.SaveToFile(link);
  EXPECT_FALSE(fs::is_symlink(link));
  EXPECT_EQ(test::TempDir::Read(link), "new");
  EXPECT_EQ(test::TempDir::Read(kept), "old\r\n");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::recursive_directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, 3);  // the file, the folder the link pointed into, its file
}

}  // namespace
}  // namespace ond
