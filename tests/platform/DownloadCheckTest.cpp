// What downloaded program code must pass: the signature of its exact bytes
// by the release key, an ELF file for this machine of the wanted kind, its
// build mark, and the bounded download that puts it in a new file and
// removes it again when anything fails. The tests sign with a key pair of
// their own.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/core/DownloadCheck.h"
#include "platform/core/FileSystem.h"
#include "tests/support/ElfBuilder.h"
#include "tests/support/LocalHttpServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestSigningKeys.h"

namespace ond {
namespace {

using namespace test;

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

// --- signatures ------------------------------------------------------------

TEST(DownloadSignature, OnlyTheReleaseKeysSignatureOfTheExactBytesPasses) {
  const TTestKeys keys;
  const TTestKeys other(9);
  TempDir dir;
  const std::string bytes = BuildElf().Bytes;
  const std::string file = dir.Write("Ondrel", bytes);
  const std::string good = keys.Sign(bytes);
  EXPECT_EQ(CheckFileSignature(file, good, keys.Public), "");

  std::string flipped = bytes;
  flipped[flipped.size() / 2] ^= 0x01;
  const std::string spoiled = dir.Write("spoiled", flipped);
  std::string badSig = good;
  badSig[10] ^= 0x20;
  const struct {
    const char* Name;
    std::string File, Signature;
    std::optional<TSigningKey> Key;
  } refused[] = {
      {"one bit of the file changed", spoiled, good, keys.Public},
      {"one bit of the signature changed", file, badSig, keys.Public},
      {"signed by another key", file, other.Sign(bytes), keys.Public},
      {"checked against another key", file, good, other.Public},
      {"signature cut short", file, good.substr(0, 63), keys.Public},
      {"signature too long", file, good + "\n", keys.Public},
      {"no signature", file, "", keys.Public},
      {"no key in this build", file, good, std::nullopt},
      {"no such file", dir / "missing", good, keys.Public},
  };
  for (const auto& c : refused) EXPECT_NE(CheckFileSignature(c.File, c.Signature, c.Key), "") << c.Name;

  const std::string empty = dir.Write("empty", "");
  EXPECT_EQ(CheckFileSignature(empty, keys.Sign(""), keys.Public), "");
}

TEST(DownloadSignature, KeysAreReadFromHexadecimalDigits) {
  const TTestKeys keys;
  std::string hex;
  for (const unsigned char b : keys.Public) {
    static const char digits[] = "0123456789abcdef";
    hex += digits[b >> 4];
    hex += digits[b & 15];
  }
  EXPECT_EQ(SigningKeyFromHex(hex), keys.Public);
  EXPECT_EQ(SigningKeyFromHex("  " + hex + "\n"), keys.Public);
  std::string upper = hex;
  std::transform(upper.begin(), upper.end(), upper.begin(), [](char c) { return static_cast<char>(std::toupper(c)); });
  EXPECT_EQ(SigningKeyFromHex(upper), keys.Public);
  for (const std::string& bad : std::vector<std::string>{std::string(), hex.substr(1), hex + "0", "g" + hex.substr(1), hex.substr(0, 32) + " " + hex.substr(33)})
    EXPECT_EQ(SigningKeyFromHex(bad), std::nullopt) << bad;
}

// The release tool signs with OpenSSL, the program checks with libsodium:
// two implementations that must agree on every byte.
TEST(DownloadSignature, TheReleaseToolsSignaturesPass) {
  if (std::system("command -v openssl >/dev/null 2>&1") != 0) GTEST_SKIP() << "no openssl to sign with";
  TempDir dir;
  const std::string tool = SourceDir() + "/tools/sign-release.sh";
  const std::string program = dir.Write("Ondrel.exe", BuildElf().Bytes);
  const std::string quiet = " >/dev/null 2>&1";
  ASSERT_EQ(std::system((tool + " keygen " + dir / "keys" + quiet).c_str()), 0);
  ASSERT_EQ(std::system((tool + " sign " + dir / "keys/release-key.pem" + " " + program + quiet).c_str()), 0);
  const auto key = SigningKeyFromHex(TempDir::Read(dir / "keys/release-key.pub"));
  ASSERT_TRUE(key.has_value());
  const std::string signature = TempDir::Read(program + ".sig");
  EXPECT_EQ(CheckFileSignature(program, signature, key), "");
  EXPECT_EQ(std::system((tool + " verify " + dir / "keys/release-key.pub" + " " + program + quiet).c_str()), 0);
  // A second key pair is another key.
  ASSERT_EQ(std::system((tool + " keygen " + dir / "other" + quiet).c_str()), 0);
  EXPECT_NE(CheckFileSignature(program, signature, SigningKeyFromHex(TempDir::Read(dir / "other/release-key.pub"))), "");
  dir.Write("Ondrel.exe", BuildElf().Bytes + "x");
  EXPECT_NE(CheckFileSignature(program, signature, key), "");
  EXPECT_NE(std::system((tool + " verify " + dir / "keys/release-key.pub" + " " + program + quiet).c_str()), 0);
}

// --- the kind of file ---------------------------------------------------------

TElfLayout NoEntry() {
  TElfLayout layout;
  layout.Entry = 0;
  return layout;
}

TEST(DownloadKind, OnlyAProgramOrALibraryForThisMachinePasses) {
  const struct {
    const char* Name;
    TElfLayout Layout;
    bool Program, Library;
  } cases[] = {
      {"position-independent program", ElfOfKind(ET_DYN, true), true, false},
      {"fixed-address program", ElfOfKind(ET_EXEC, true), true, false},
      {"static fixed-address program", ElfOfKind(ET_EXEC, false), true, false},
      {"shared library", ElfOfKind(ET_DYN, false), false, true},
      {"relocatable object", ElfOfKind(ET_REL, false), false, false},
      {"relocatable object with an interpreter", ElfOfKind(ET_REL, true), false, false},
      {"core file", ElfOfKind(ET_CORE, false), false, false},
      {"program without an entry point", NoEntry(), false, false},
  };
  for (const auto& c : cases) {
    const std::string bytes = BuildElf(c.Layout).Bytes;
    EXPECT_EQ(CheckElfForThisMachine(bytes, TElfKind::Program).empty(), c.Program) << c.Name;
    EXPECT_EQ(CheckElfForThisMachine(bytes, TElfKind::Library).empty(), c.Library) << c.Name;
  }
  EXPECT_EQ(CheckElfForThisMachine(ReadRegularFile("/bin/true"), TElfKind::Program), "");
  EXPECT_EQ(CheckElfFileForThisMachine(std::string("/bin/true"), TElfKind::Program), "");
  EXPECT_NE(CheckElfFileForThisMachine(std::string("/bin/true"), TElfKind::Library), "");
}

TEST(DownloadKind, ForeignOrDamagedFilesAreRefused) {
  const TElfFile good = BuildElf();
  const auto spoil = [&](std::size_t at, std::size_t n, unsigned char value) {
    std::string b = good.Bytes;
    for (std::size_t i = 0; i < n; ++i) b[at + i] = static_cast<char>(value);
    return b;
  };
  TElfPhdr load;
  std::memcpy(&load, good.Bytes.data() + good.ProgramHeaders, sizeof load);
  std::string longSegment = good.Bytes;
  load.p_filesz = good.Bytes.size() + 1;
  std::memcpy(longSegment.data() + good.ProgramHeaders, &load, sizeof load);
  const struct {
    const char* Name;
    std::string Bytes;
  } cases[] = {
      {"empty", ""},
      {"header cut short", good.Bytes.substr(0, sizeof(TElfEhdr) - 1)},
      {"program headers cut short", good.Bytes.substr(0, good.ProgramHeaders + 10)},
      {"a Windows program", "MZ" + std::string(500, '\x90')},
      {"another word size", spoil(EI_CLASS, 1, sizeof(void*) == 8 ? ELFCLASS32 : ELFCLASS64)},
      {"another byte order", spoil(EI_DATA, 1, ELFDATA2MSB + ELFDATA2LSB - good.Bytes[EI_DATA])},
      {"another machine", spoil(offsetof(TElfEhdr, e_machine), 1, static_cast<unsigned char>(ThisElfMachine() ^ 0x40))},
      {"unknown version", spoil(EI_VERSION, 1, 2)},
      {"program headers of another size", spoil(offsetof(TElfEhdr, e_phentsize), 1, 17)},
      {"program headers past the end", spoil(offsetof(TElfEhdr, e_phoff), 4, 0x7F)},
      {"a segment past the end", longSegment},
      {"no program headers", spoil(offsetof(TElfEhdr, e_phnum), 2, 0)},
  };
  for (const auto& c : cases)
    for (const TElfKind kind : {TElfKind::Program, TElfKind::Library})
      EXPECT_NE(CheckElfForThisMachine(c.Bytes, kind), "") << c.Name;
}

// --- the build mark ------------------------------------------------------------

TEST(DownloadBuildMark, TheBuildNoteIsReadAndDamageGivesNone) {
  const TFileVersion v{1, 2, 3, 101};
  const TElfFile file = BuildElf(ElfOfKind(ET_DYN, true, v));
  EXPECT_EQ(ReadElfBuildNote(file.Bytes), v);
  TempDir dir;
  EXPECT_EQ(ReadElfBuildNoteOfFile(dir.Write("p", file.Bytes)), v);
  EXPECT_EQ(ReadElfBuildNote(BuildElf().Bytes), std::nullopt);
  EXPECT_EQ(ReadElfBuildNoteOfFile("/bin/true"), std::nullopt);
  EXPECT_EQ(ReadElfBuildNoteOfFile(dir / "missing"), std::nullopt);

  const auto spoiled = [&](std::size_t at, std::uint32_t value) {
    std::string b = file.Bytes;
    std::memcpy(b.data() + at, &value, sizeof value);
    return b;
  };
  const std::size_t note = file.Note;
  for (const std::string& bad : std::vector<std::string>{spoiled(note, 5),            // another owner length
                                 spoiled(note + 4, 0x7FFFFFF0),  // a description past the segment
                                 spoiled(note + 4, 6),           // a description of another size
                                 spoiled(note + 8, 2),           // another note type
                                 spoiled(note + 12, 0x6E6E6E6E)})  // another owner
    EXPECT_EQ(ReadElfBuildNote(bad), std::nullopt);
}

// --- the download ----------------------------------------------------------------

struct TDownloadRig {
  TTestKeys Keys;
  TLocalServer Server;
  TempDir Dir;
  THttpClient Http;
  std::string Target = Dir / "Ondrel.newupdate";
  void Publish(const std::string& bytes, const std::string& signature) {
    Server.Set("/f", Ok(bytes));
    Server.Set("/f.sig", Ok(signature));
  }
  void Download(TElfKind kind = TElfKind::Program, std::int64_t cap = 1 << 20) {
    DownloadVerifiedFile(Http, Server.Url("/f"), Target, kind, Keys.Public, cap);
  }
};

TEST(DownloadVerified, ASignedProgramArrivesInANewFile) {
  TDownloadRig rig;
  const std::string program = BuildElf().Bytes;
  rig.Publish(program, rig.Keys.Sign(program));
  std::int64_t last = 0;
  rig.Http.OnWork = [&](std::int64_t n) { last = n; };
  rig.Download();
  EXPECT_EQ(TempDir::Read(rig.Target), program);
  EXPECT_EQ(last, static_cast<std::int64_t>(program.size()));  // progress is the program's, not the signature's
  struct stat st;
  ASSERT_EQ(::stat(rig.Target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(DownloadVerified, RefusedDownloadsLeaveNoFile) {
  const TTestKeys other(9);
  const std::string program = BuildElf().Bytes;
  const std::string object = BuildElf(ElfOfKind(ET_REL, false)).Bytes;
  const std::string core = BuildElf(ElfOfKind(ET_CORE, false)).Bytes;
  const struct {
    const char* Name;
    std::string Bytes;
    std::optional<std::string> Signature;  // nothing: none on the server
    bool Rejected;  // the file came and was refused, rather than not coming
  } cases[] = {
      {"unsigned", program, std::nullopt, false},
      {"signed by another key", program, other.Sign(program), true},
      {"signature of other bytes", program, TTestKeys().Sign(program + "x"), true},
      {"signed relocatable object", object, TTestKeys().Sign(object), true},
      {"signed core file", core, TTestKeys().Sign(core), true},
  };
  for (const auto& c : cases) {
    TDownloadRig rig;
    rig.Server.Set("/f", Ok(c.Bytes));
    if (c.Signature) rig.Server.Set("/f.sig", Ok(*c.Signature));
    if (c.Rejected)
      EXPECT_THROW(rig.Download(), EDownloadRejected) << c.Name;
    else
      EXPECT_THROW(rig.Download(), EHttpBadAnswer) << c.Name;
    EXPECT_FALSE(Exists(rig.Target)) << c.Name;
  }
  // A signed library is no program, and the other way round.
  const std::string library = BuildElf(ElfOfKind(ET_DYN, false)).Bytes;
  TDownloadRig rig;
  rig.Publish(library, rig.Keys.Sign(library));
  EXPECT_THROW(rig.Download(TElfKind::Program), EDownloadRejected);
  EXPECT_FALSE(Exists(rig.Target));
  rig.Download(TElfKind::Library);
  EXPECT_EQ(TempDir::Read(rig.Target), library);
}

TEST(DownloadVerified, ABuildWithoutAKeyAcceptsNothing) {
  TDownloadRig rig;
  const std::string program = BuildElf().Bytes;
  rig.Publish(program, rig.Keys.Sign(program));
  EXPECT_THROW(DownloadVerifiedFile(rig.Http, rig.Server.Url("/f"), rig.Target, TElfKind::Program, std::nullopt, 1 << 20),
               EDownloadRejected);
  EXPECT_FALSE(Exists(rig.Target));
}

TEST(DownloadVerified, AnExistingNameOrLinkIsNeverWrittenThrough) {
  TDownloadRig rig;
  const std::string program = BuildElf().Bytes;
  rig.Publish(program, rig.Keys.Sign(program));
  const std::string victim = rig.Dir.Write("victim", "keep me");
  ASSERT_EQ(::symlink(victim.c_str(), rig.Target.c_str()), 0);
  EXPECT_THROW(rig.Download(), EInOutError);
  EXPECT_EQ(TempDir::Read(victim), "keep me");
  ::unlink(rig.Target.c_str());
  rig.Dir.Write("Ondrel.newupdate", "already here");
  EXPECT_THROW(rig.Download(), EInOutError);
  EXPECT_EQ(TempDir::Read(rig.Target), "already here");
}

TEST(DownloadVerified, TheCapHoldsWhileTheBodyArrives) {
  constexpr std::int64_t cap = 64 * 1024;
  const struct {
    const char* Name;
    TAnswer Answer;
  } cases[] = {
      {"endless body without a length", Endless(16 * 1024, 64 * 1024)},  // a gigabyte if read whole
      {"announced length over the cap", Ok(std::string(cap + 1, 'x'))},
  };
  for (const auto& c : cases) {
    TDownloadRig rig;
    rig.Server.Set("/f", c.Answer);
    rig.Server.Set("/f.sig", Ok(std::string(SignatureSize, 's')));
    std::int64_t most = 0;
    rig.Http.OnWork = [&](std::int64_t n) { most = std::max(most, n); };
    EXPECT_THROW(rig.Download(TElfKind::Program, cap), EHttpBadAnswer) << c.Name;
    EXPECT_LE(most, cap) << c.Name;
    EXPECT_FALSE(Exists(rig.Target)) << c.Name;
  }
}

}  // namespace
}  // namespace ond
