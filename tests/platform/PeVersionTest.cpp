#include "platform/core/PeVersion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "tests/support/PeBuilder.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

using test::BuildPe;
using test::TPeFile;
using test::TPeLayout;

constexpr TFileVersion V1_10_0_4{1, 10, 0, 4};

TEST(PeVersion, ReadsThirtyTwoAndSixtyFourBitImages) {
  for (const bool plus : {false, true}) {
    SCOPED_TRACE(plus ? "PE32+" : "PE32");
    TPeLayout layout;
    layout.Pe32Plus = plus;
    EXPECT_EQ(ReadPeFileVersion(BuildPe(layout).Bytes), V1_10_0_4);
    layout.WithIcon = false;
    layout.Version[0] = 65535;
    layout.Version[3] = 65534;
    layout.ResourceRva = 0x7FFF0000;
    EXPECT_EQ(ReadPeFileVersion(BuildPe(layout).Bytes), (TFileVersion{65535, 10, 0, 65534}));
  }
}

TEST(PeVersion, ReadsFromAFileOnDisk) {
  test::TempDir dir;
  const std::string exe = dir.Write("game.exe", BuildPe().Bytes);
  EXPECT_EQ(ReadPeFileVersionOfFile(exe), V1_10_0_4);
  EXPECT_EQ(ReadPeFileVersionOfFile(dir / "missing.exe"), std::nullopt);
  EXPECT_EQ(ReadPeFileVersionOfFile(dir.Path()), std::nullopt);
  EXPECT_EQ(ReadPeFileVersionOfFile(dir.Write("empty.exe", "")), std::nullopt);
}

TEST(PeVersion, NoVersionResourceGivesNothing) {
  TPeLayout layout;
  layout.WithVersion = false;
  EXPECT_EQ(ReadPeFileVersion(BuildPe(layout).Bytes), std::nullopt);
  layout.WithIcon = false;  // a resource directory with no entries at all
  EXPECT_EQ(ReadPeFileVersion(BuildPe(layout).Bytes), std::nullopt);
}

// Every prefix of a good file: either the whole version block is there, or
// there is no version; never a read past the end (the sanitizers and the
// memory source's own check watch that).
TEST(PeVersion, EveryTruncationGivesNothingOrTheVersion) {
  for (const bool plus : {false, true}) {
    TPeLayout layout;
    layout.Pe32Plus = plus;
    const TPeFile f = BuildPe(layout);
    const std::size_t needed = f.VersionBlockEnd;
    for (std::size_t n = 0; n < f.Bytes.size(); ++n) {
      const auto v = ReadPeFileVersion(std::string_view(f.Bytes).substr(0, n));
      if (n < needed) EXPECT_EQ(v, std::nullopt) << n;
      else EXPECT_EQ(v, V1_10_0_4) << n;
    }
  }
}

struct TSpoil {
  const char* What;
  std::function<void(TPeFile&)> Apply;
};

void Put32(TPeFile& f, std::size_t at, std::uint32_t v) { test::pe_detail::Put32(f.Bytes, at, v); }
void Put16(TPeFile& f, std::size_t at, std::uint32_t v) { test::pe_detail::Put16(f.Bytes, at, v); }

TEST(PeVersion, GarbageOffsetsAndSignaturesGiveNothing) {
  const TSpoil spoils[] = {
      {"not MZ", [](TPeFile& f) { f.Bytes[0] = 'Z'; }},
      {"PE header past the end", [](TPeFile& f) { Put32(f, 0x3C, 0xFFFFFFF0); }},
      {"PE header inside the DOS stub", [](TPeFile& f) { Put32(f, 0x3C, 0x10); }},
      {"no PE signature", [](TPeFile& f) { f.Bytes[f.PeHeader + 1] = 'X'; }},
      {"unknown optional header", [](TPeFile& f) { Put16(f, f.OptionalHeader, 0x107); }},
      {"optional header too short", [](TPeFile& f) { Put16(f, f.PeHeader + 4 + 16, 96); }},
      {"two data directories", [](TPeFile& f) { Put32(f, f.OptionalHeader + 92, 2); }},
      {"no resource directory", [](TPeFile& f) { Put32(f, f.ResourceDirEntry, 0); }},
      {"resource address in no section", [](TPeFile& f) { Put32(f, f.ResourceDirEntry, 0x900000); }},
      {"resource address at 4 GiB", [](TPeFile& f) { Put32(f, f.ResourceDirEntry, 0xFFFFFFFE); }},
      {"too many sections", [](TPeFile& f) { Put16(f, f.PeHeader + 4 + 2, 0xFFFF); }},
      {"section raw data past the end", [](TPeFile& f) { Put32(f, f.SectionTable + 40 + 20, 0xFFFFFF00); }},
      {"section raw size huge", [](TPeFile& f) {
         Put32(f, f.SectionTable + 40 + 16, 0xFFFFFFFF);
         Put32(f, f.SectionTable + 40 + 8, 0);
         Put32(f, f.VersionDataEntry, 0x3000 + 0x100000);
       }},
      {"entry counts beyond the section", [](TPeFile& f) { Put16(f, f.ResourceSection + 14, 0xFFFF); }},
      {"type entry points outside", [](TPeFile& f) { Put32(f, f.ResourceSection + 16 + 8 + 4, 0xFFFFFFFF); }},
      {"type entry is a leaf", [](TPeFile& f) { Put32(f, f.ResourceSection + 16 + 8 + 4, 0x10); }},
      {"version leaf address outside", [](TPeFile& f) { Put32(f, f.VersionDataEntry, 0xFFFFFFF0); }},
      {"version size beyond the section", [](TPeFile& f) { Put32(f, f.VersionDataEntry + 4, 0x7FFFFFFF); }},
      {"block too short", [](TPeFile& f) { Put16(f, f.VersionBlock, 60); }},
      {"value too short", [](TPeFile& f) { Put16(f, f.VersionBlock + 2, 51); }},
      {"wrong key", [](TPeFile& f) { Put16(f, f.VersionBlock + 6, 'W'); }},
      {"unterminated key", [](TPeFile& f) { Put16(f, f.VersionBlock + 36, 'X'); }},
      {"wrong signature", [](TPeFile& f) { Put32(f, f.FixedInfo, 0xFEEF04BE); }},
  };
  for (const TSpoil& s : spoils) {
    for (const bool plus : {false, true}) {
      TPeLayout layout;
      layout.Pe32Plus = plus;
      TPeFile f = BuildPe(layout);
      if (std::string_view(s.What) == "two data directories" && plus) Put32(f, f.OptionalHeader + 108, 2);
      else s.Apply(f);
      EXPECT_EQ(ReadPeFileVersion(f.Bytes), std::nullopt) << s.What << (plus ? " (PE32+)" : " (PE32)");
    }
  }
}

// Reads of a buffer, each remembered, so that a test sees where the reader looked.
class TWatchedBytes final : public TByteSource {
 public:
  explicit TWatchedBytes(std::string_view bytes) : FBytes(bytes) {}
  std::uint64_t Size() const override { return FBytes.size(); }
  bool Read(std::uint64_t offset, void* out, std::size_t n) const override {
    FFurthest = std::max(FFurthest, offset + n);
    if (offset > FBytes.size() || n > FBytes.size() - offset) return false;
    std::memcpy(out, FBytes.data() + offset, n);
    return true;
  }
  // The end of the furthest read asked for.
  std::uint64_t Furthest() const { return FFurthest; }

 private:
  std::string_view FBytes;
  mutable std::uint64_t FFurthest = 0;
};

std::uint32_t Get32(const TPeFile& f, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(f.Bytes[at + i]);
  return v;
}

// The version data starts inside the resource section and ends past it: the
// file goes on after the section (with a whole version block there, to
// tempt the reader), but nothing past the section's bytes is read.
TEST(PeVersion, VersionDataRunningPastItsSectionGivesNothingAndReadsNothingBeyond) {
  for (const bool plus : {false, true}) {
    SCOPED_TRACE(plus ? "PE32+" : "PE32");
    TPeLayout layout;
    layout.Pe32Plus = plus;
    TPeFile f = BuildPe(layout);
    const std::size_t resourceTable = f.SectionTable + 40;  // the second section
    const std::uint32_t rawSize = Get32(f, resourceTable + 16);
    ASSERT_EQ(Get32(f, resourceTable + 20), f.ResourceSection);
    const std::size_t sectionEnd = f.ResourceSection + rawSize;
    ASSERT_LE(f.VersionBlockEnd, sectionEnd);
    ASSERT_GE(f.Bytes.size(), sectionEnd);
    f.Bytes.resize(sectionEnd);
    f.Bytes += f.Bytes.substr(f.VersionBlock, f.VersionBlockEnd - f.VersionBlock);
    f.Bytes += std::string(4096, '\0');
    // The leaf's size (its address stays) now reaches past the section's last byte.
    for (const std::uint32_t past : {1u, 8u, 200u, 4000u}) {
      TPeFile spoilt = f;
      Put32(spoilt, f.VersionDataEntry + 4, static_cast<std::uint32_t>(sectionEnd - f.VersionBlock + past));
      const TWatchedBytes bytes(spoilt.Bytes);
      EXPECT_EQ(ReadPeFileVersion(bytes), std::nullopt) << past;
      EXPECT_LE(bytes.Furthest(), sectionEnd) << past;
    }
    // Within the section the same file reads as before.
    const TWatchedBytes whole(f.Bytes);
    EXPECT_EQ(ReadPeFileVersion(whole), V1_10_0_4);
    EXPECT_LE(whole.Furthest(), sectionEnd);
  }
}

// A resource tree whose directories point at themselves ends after three levels.
TEST(PeVersion, SelfReferencingDirectoryEnds) {
  TPeFile f = BuildPe();
  Put32(f, f.ResourceSection + 16 + 8 + 4, 0x80000000);  // the version type entry points at the root
  EXPECT_EQ(ReadPeFileVersion(f.Bytes), std::nullopt);
}

}  // namespace
}  // namespace ond
