// The code page 1251 tables against an independent reference: Python's cp1251
// codec and its Unicode character data, checked in as tests/platform/data/
// cp1251.txt (tools/make-cp1251-reference.py writes it).
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/core/CodePage.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

struct TReferenceByte {
  int Byte = 0;
  bool Defined = false;
  char16_t Unicode = 0;
  int Upper = 0, Lower = 0;
  bool Alpha = false, IsUpper = false, IsLower = false;
};

std::vector<TReferenceByte> ReadReference() {
  std::vector<TReferenceByte> out;
  std::ifstream in(test::SourceDir() + "/tests/platform/data/cp1251.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream f(line);
    std::string byte, uni, up, lo, alpha, isUp, isLo;
    f >> byte >> uni >> up >> lo >> alpha >> isUp >> isLo;
    TReferenceByte r;
    r.Byte = std::stoi(byte, nullptr, 16);
    r.Defined = uni != "-";
    if (r.Defined) {
      r.Unicode = static_cast<char16_t>(std::stoi(uni, nullptr, 16));
      r.Upper = std::stoi(up, nullptr, 16);
      r.Lower = std::stoi(lo, nullptr, 16);
      r.Alpha = alpha == "1";
      r.IsUpper = isUp == "1";
      r.IsLower = isLo == "1";
    }
    out.push_back(r);
  }
  return out;
}

TEST(CodePageReference, EveryByteMapsToThePythonCodecsCharacter) {
  const auto ref = ReadReference();
  ASSERT_EQ(ref.size(), 256u);
  for (const auto& r : ref) {
    const auto b = static_cast<unsigned char>(r.Byte);
    if (!r.Defined) {
      // The codec leaves it undefined; here it stands for U+0098 so that every byte survives.
      EXPECT_EQ(AnsiToWide(b), char16_t{0x98}) << std::hex << r.Byte;
      continue;
    }
    EXPECT_EQ(AnsiToWide(b), r.Unicode) << std::hex << r.Byte;
    EXPECT_EQ(WideToAnsi(r.Unicode), r.Byte) << std::hex << r.Byte;
  }
}

TEST(CodePageReference, CaseFormsAndLetterClassesAgreeWithUnicode) {
  for (const auto& r : ReadReference()) {
    if (!r.Defined) continue;
    const auto b = static_cast<unsigned char>(r.Byte);
    EXPECT_EQ(AnsiUpperChar(b), r.Upper) << std::hex << r.Byte;
    EXPECT_EQ(AnsiLowerChar(b), r.Lower) << std::hex << r.Byte;
    EXPECT_EQ(IsAnsiAlpha(b), r.Alpha) << std::hex << r.Byte;
    EXPECT_EQ(IsAnsiUpper(b), r.IsUpper) << std::hex << r.Byte;
    EXPECT_EQ(IsAnsiLower(b), r.IsLower) << std::hex << r.Byte;
  }
}

TEST(CodePageReference, TextConversionsFollowTheTable) {
  const auto ref = ReadReference();
  std::string all;
  std::u16string wide;
  for (const auto& r : ref) {
    all.push_back(static_cast<char>(r.Byte));
    wide.push_back(r.Defined ? r.Unicode : char16_t{0x98});
  }
  EXPECT_EQ(AnsiToUtf16(all), wide);
  std::u16string viaCodePage;
  ASSERT_TRUE(MultiByteToWideChar(CP_1251, all, viaCodePage));
  EXPECT_EQ(viaCodePage, wide);
  std::string back;
  ASSERT_TRUE(WideCharToMultiByte(CP_ACP, wide, back));
  EXPECT_EQ(back, all);
}

}  // namespace
}  // namespace ond
