// The letter-case resolver with its folder listings, what makes two names
// one file, and the spare room of a read buffer given back.
#include "platform/core/FileSystem.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/CodePage.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

using test::TempDir;

std::string Name(int i) { return "file" + std::to_string(i) + ".zu"; }

TEST(FileSystem, ResolverReadsEachFolderOncePerPass) {
  TempDir td;
  constexpr int kFiles = 5000;
  constexpr int kNames = 4000;
  for (int i = 0; i < kFiles; ++i) td.Write(Name(i), "");
  td.Write("Sub/Inner.zu", "");

  TFolderListings listings;
  for (int i = 0; i < kNames; ++i) {
    // Spelled unlike the disk: only the folder's listing can find it.
    const std::string wanted = td / AsciiUpperCase(Name(i));
    ASSERT_EQ(ResolveFileCase(wanted, &listings), td / Name(i)) << i;
  }
  EXPECT_EQ(listings.FolderReads(), 1);

  // Names spelled as on disk and names of nothing read no more than the
  // folders they stand in.
  EXPECT_EQ(ResolveFileCase(td / Name(7), &listings), td / Name(7));
  EXPECT_EQ(ResolveFileCase(td / "NONE.zu", &listings), td / "NONE.zu");
  EXPECT_EQ(ResolveFileCase(td / "SUB/INNER.ZU", &listings), td / "Sub/Inner.zu");
  EXPECT_EQ(listings.FolderReads(), 2);

  // A listing is what the folder held when it was read; a pass sees no later change.
  td.Write("Later.zu", "");
  EXPECT_EQ(ResolveFileCase(td / "LATER.ZU", &listings), td / "LATER.ZU");
  EXPECT_EQ(ResolveFileCase(td / "LATER.ZU"), td / "Later.zu");  // a fresh pass does
}

TEST(FileSystem, ResolverPicksTheSmallestOfSeveralSpellings) {
  TempDir td;
  for (const char* n : {"b.zu", "B.zu", "\xD0\xAF.zu"}) td.Write(n, "");  // "Я.zu"
  TFolderListings listings;
  EXPECT_EQ(ResolveFileCase(td / "b.ZU", &listings), td / "B.zu");
  EXPECT_EQ(ResolveFileCase(td / "\xD1\x8F.zu", &listings), td / "\xD0\xAF.zu");  // "я.zu"
  EXPECT_EQ(ResolveFileCase(td / ("b.zu" + std::string(1, '\0')), &listings), td / ("b.zu" + std::string(1, '\0')));
}

TEST(FileSystem, SameFileMeansOnePathOrOneInode) {
  TempDir td;
  const std::string a = td.Write("moved.zu", "x");
  ASSERT_EQ(::link(a.c_str(), (td / "hard.zu").c_str()), 0);
  ASSERT_EQ(::symlink(a.c_str(), (td / "soft.zu").c_str()), 0);
  struct Case {
    std::string Other;
    bool Same;
  };
  const Case cases[] = {
      {td / "moved.zu", true},
      {td.Path() + "//sub/../moved.zu", true},
      {td / "hard.zu", true},
      {td / "soft.zu", true},
      {td / "MOVED.zu", false},  // another name on this system, though it does not exist yet
      {td / "other.zu", false},
      {a + std::string(1, '\0') + "x", false},
  };
  for (const Case& c : cases) EXPECT_EQ(SameFile(a, c.Other), c.Same) << c.Other;
  // Two missing names are one file only when they are one path.
  EXPECT_TRUE(SameFile(td / "new/x.zu", td / "new/./x.zu"));
  EXPECT_FALSE(SameFile(td / "new/x.zu", td / "new/X.zu"));
}

}  // namespace
}  // namespace ond

namespace ond {
namespace {

// Pages of [from, from + size) that are in memory.
std::size_t ResidentPages(const char* from, std::size_t size) {
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(from) + page - 1) / page * page;
  const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(from) + size) / page * page;
  if (end <= begin) return 0;
  std::vector<unsigned char> in((end - begin) / page);
  if (::mincore(reinterpret_cast<void*>(begin), end - begin, in.data()) != 0) return 0;
  return static_cast<std::size_t>(std::count_if(in.begin(), in.end(), [](unsigned char c) { return c & 1; }));
}

TEST(SpareCapacity, WholePagesAfterTheTextGoBackAndTheStringStaysWhole) {
  std::string s(4 << 20, 'x');
  const std::string text = "kept text";
  std::copy(text.begin(), text.end(), s.begin());
  s.resize(text.size());
  const char* data = s.data();
  EXPECT_GT(ResidentPages(data + 4096 * 2, s.capacity() - 4096 * 2), 0u);
  ReleaseSpareCapacity(s);
  EXPECT_EQ(s.data(), data);  // not moved
  EXPECT_EQ(s, text);
  EXPECT_EQ(s.c_str()[s.size()], '\0');
  EXPECT_EQ(ResidentPages(data + 4096 * 2, s.capacity() - 4096 * 2), 0u);
  // The room is still the string's.
  s.append(100000, 'y');
  EXPECT_EQ(s.data(), data);
  EXPECT_EQ(s.size(), text.size() + 100000);
  EXPECT_EQ(s.substr(0, text.size()), text);
  EXPECT_EQ(std::count(s.begin(), s.end(), 'y'), 100000);
  // Short strings and full ones are left alone.
  std::string small = "short";
  ReleaseSpareCapacity(small);
  EXPECT_EQ(small, "short");
  std::string full(10000, 'z');
  ReleaseSpareCapacity(full);
  EXPECT_EQ(full, std::string(10000, 'z'));
}

}  // namespace
}  // namespace ond
