#include "platform/core/DownloadCheck.h"

#include <elf.h>
#include <fcntl.h>
#include <sodium.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <type_traits>
#include <utility>

#include "platform/core/CodePage.h"
#include "platform/core/ProgramTexts.h"
#include "platform/core/ScopeGuard.h"
#include "platform/core/SysUtils.h"

// The release key's 64 hexadecimal digits, chosen when building.
#ifndef ONDREL_RELEASE_KEY_HEX
#define ONDREL_RELEASE_KEY_HEX ""
#endif

namespace ond {

namespace {

// A signature file is read whole; anything much longer is no signature.
constexpr std::int64_t MaxSignatureBytes = 1024;
// Enough program headers for any real program; a hostile count stops here.
constexpr std::size_t MaxProgramHeaders = 1024;

using TEhdr = std::conditional_t<sizeof(void*) == 8, Elf64_Ehdr, Elf32_Ehdr>;
using TPhdr = std::conditional_t<sizeof(void*) == 8, Elf64_Phdr, Elf32_Phdr>;
using TNhdr = std::conditional_t<sizeof(void*) == 8, Elf64_Nhdr, Elf32_Nhdr>;

constexpr unsigned char ThisClass = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr unsigned char ThisByteOrder = ELFDATA2LSB;
#else
constexpr unsigned char ThisByteOrder = ELFDATA2MSB;
#endif
#if defined(__x86_64__)
constexpr int ThisMachine = EM_X86_64;
#elif defined(__aarch64__)
constexpr int ThisMachine = EM_AARCH64;
#elif defined(__i386__)
constexpr int ThisMachine = EM_386;
#elif defined(__arm__)
constexpr int ThisMachine = EM_ARM;
#elif defined(__riscv)
constexpr int ThisMachine = EM_RISCV;
#else
constexpr int ThisMachine = -1;  // no download is accepted on a machine not listed
#endif

bool EnsureSodium() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

// Read-only bytes of a file, mapped, or of a buffer.
class TBytes {
 public:
  explicit TBytes(std::string_view bytes) : FView(bytes) {}
  explicit TBytes(const std::string& path) {
    FFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (FFd < 0) {
      FError = SystemErrorText(errno);
      return;
    }
    struct stat st {};
    if (::fstat(FFd, &st) != 0 || !S_ISREG(st.st_mode)) {
      FError = ProgramText(TProgramText::NotRegularFile);
      return;
    }
    if (st.st_size == 0) return;
    void* map = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, FFd, 0);
    if (map == MAP_FAILED) {
      FError = SystemErrorText(errno);
      return;
    }
    FMap = map;
    FView = std::string_view(static_cast<const char*>(map), static_cast<size_t>(st.st_size));
  }
  ~TBytes() {
    if (FMap) ::munmap(FMap, FView.size());
    if (FFd >= 0) ::close(FFd);
  }
  TBytes(const TBytes&) = delete;
  TBytes& operator=(const TBytes&) = delete;

  const std::string& Error() const { return FError; }
  std::string_view View() const { return FView; }
  // Copies n bytes at offset; false when they are not all there.
  bool Read(std::uint64_t offset, void* out, std::size_t n) const {
    if (offset > FView.size() || n > FView.size() - offset) return false;
    std::memcpy(out, FView.data() + offset, n);
    return true;
  }

 private:
  int FFd = -1;
  void* FMap = nullptr;
  std::string_view FView;
  std::string FError;
};

std::string CheckHeader(const TBytes& bytes, TEhdr& h) {
  if (!bytes.Read(0, &h, sizeof h)) return ProgramText(TProgramText::ElfTooShort);
  if (std::memcmp(h.e_ident, ELFMAG, SELFMAG) != 0) return ProgramText(TProgramText::ElfNot);
  if (h.e_ident[EI_CLASS] != ThisClass) return ProgramText(TProgramText::ElfWordSize);
  if (h.e_ident[EI_DATA] != ThisByteOrder) return ProgramText(TProgramText::ElfByteOrder);
  if (h.e_ident[EI_VERSION] != EV_CURRENT || h.e_version != EV_CURRENT) return ProgramText(TProgramText::ElfVersion);
  if (h.e_machine != ThisMachine) return ProgramText(TProgramText::ElfMachine);
  return {};
}

// The program headers, each checked to lie inside the file.
std::string ReadProgramHeaders(const TBytes& bytes, const TEhdr& h, std::vector<TPhdr>& out) {
  if (h.e_phnum == 0) return {};
  if (h.e_phentsize != sizeof(TPhdr)) return ProgramText(TProgramText::ElfHeaderSize);
  if (h.e_phnum >= PN_XNUM || h.e_phnum > MaxProgramHeaders) return ProgramText(TProgramText::ElfTooManyHeaders);
  out.resize(h.e_phnum);
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (!bytes.Read(std::uint64_t{h.e_phoff} + i * sizeof(TPhdr), &out[i], sizeof(TPhdr)))
      return ProgramText(TProgramText::ElfHeadersPastEnd);
    const std::uint64_t end = std::uint64_t{out[i].p_offset} + out[i].p_filesz;
    if (end < out[i].p_offset || end > bytes.View().size()) return ProgramText(TProgramText::ElfSegmentPastEnd);
  }
  return {};
}

std::string CheckElf(const TBytes& bytes, TElfKind kind) {
  if (!bytes.Error().empty()) return bytes.Error();
  TEhdr h;
  if (std::string reason = CheckHeader(bytes, h); !reason.empty()) return reason;
  std::vector<TPhdr> headers;
  if (std::string reason = ReadProgramHeaders(bytes, h, headers); !reason.empty()) return reason;
  bool interpreter = false, loadable = false;
  for (const TPhdr& p : headers) {
    interpreter = interpreter || p.p_type == PT_INTERP;
    loadable = loadable || p.p_type == PT_LOAD;
  }
  if (h.e_type == ET_REL)
    return ProgramText(kind == TElfKind::Program ? TProgramText::ElfObjectNotProgram : TProgramText::ElfObjectNotLibrary);
  if (h.e_type == ET_CORE) return ProgramText(TProgramText::ElfCore);
  if (!loadable) return ProgramText(TProgramText::ElfNothingToLoad);
  switch (kind) {
    case TElfKind::Program:
      if (h.e_entry == 0) return ProgramText(TProgramText::ElfNoEntryPoint);
      // A position-independent program names its interpreter; a shared
      // library does not.
      if (h.e_type == ET_EXEC || (h.e_type == ET_DYN && interpreter)) return {};
      return ProgramText(h.e_type == ET_DYN ? TProgramText::ElfLibraryNotProgram : TProgramText::ElfNotProgram);
    case TElfKind::Library:
      if (h.e_type == ET_DYN && !interpreter) return {};
      return ProgramText(h.e_type == ET_DYN || h.e_type == ET_EXEC ? TProgramText::ElfProgramNotLibrary
                                                                   : TProgramText::ElfNotLibrary);
  }
  return ProgramText(TProgramText::ElfNotProgram);
}

std::optional<TFileVersion> ReadBuildNote(const TBytes& bytes) {
  if (!bytes.Error().empty()) return std::nullopt;
  TEhdr h;
  std::vector<TPhdr> headers;
  if (!CheckHeader(bytes, h).empty() || !ReadProgramHeaders(bytes, h, headers).empty()) return std::nullopt;
  constexpr std::size_t ownerSize = sizeof BuildNoteOwner;  // with its terminating zero
  for (const TPhdr& p : headers) {
    if (p.p_type != PT_NOTE) continue;
    const std::uint64_t align = p.p_align == 8 ? 8 : 4;
    const auto padded = [align](std::uint64_t n) { return (n + align - 1) / align * align; };
    std::uint64_t at = p.p_offset;
    const std::uint64_t end = std::uint64_t{p.p_offset} + p.p_filesz;  // inside the file, checked above
    while (end - at >= sizeof(TNhdr)) {
      TNhdr n;
      if (!bytes.Read(at, &n, sizeof n)) break;
      const std::uint64_t name = at + sizeof n;
      if (n.n_namesz > end - name) break;
      const std::uint64_t desc = name + padded(n.n_namesz);
      if (desc > end || n.n_descsz > end - desc) break;
      char owner[ownerSize];
      std::uint16_t parts[4];
      if (n.n_type == BuildNoteType && n.n_namesz == ownerSize && n.n_descsz == sizeof parts &&
          bytes.Read(name, owner, ownerSize) && std::memcmp(owner, BuildNoteOwner, ownerSize) == 0 &&
          bytes.Read(desc, parts, sizeof parts))
        return TFileVersion{parts[0], parts[1], parts[2], parts[3]};
      const std::uint64_t next = desc + padded(n.n_descsz);
      if (next >= end) break;
      at = next;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<TSigningKey> SigningKeyFromHex(std::string_view hex) {
  while (!hex.empty() && std::strchr(" \t\r\n", hex.front())) hex.remove_prefix(1);
  while (!hex.empty() && std::strchr(" \t\r\n", hex.back())) hex.remove_suffix(1);
  TSigningKey key{};
  if (hex.size() != 2 * key.size()) return std::nullopt;
  const auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < key.size(); ++i) {
    const int hi = digit(hex[2 * i]), lo = digit(hex[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    key[i] = static_cast<unsigned char>(hi << 4 | lo);
  }
  return key;
}

std::optional<TSigningKey> ReleaseSigningKey() { return SigningKeyFromHex(ONDREL_RELEASE_KEY_HEX); }

std::string CheckFileSignature(const std::string& path, std::string_view signature,
                               const std::optional<TSigningKey>& key) {
  if (!key) return ProgramText(TProgramText::NoReleaseKey);
  if (signature.size() != SignatureSize)
    return ProgramText(TProgramText::SignatureSize, {std::to_string(signature.size()), std::to_string(SignatureSize)});
  if (!EnsureSodium()) return ProgramText(TProgramText::SignatureNotStarted);
  const TBytes bytes(path);
  if (!bytes.Error().empty()) return Utf8ToAnsi(path) + ": " + bytes.Error();
  static const unsigned char none = 0;
  const std::string_view data = bytes.View();
  const auto* message = data.empty() ? &none : reinterpret_cast<const unsigned char*>(data.data());
  if (crypto_sign_verify_detached(reinterpret_cast<const unsigned char*>(signature.data()), message, data.size(),
                                  key->data()) != 0)
    return ProgramText(TProgramText::SignatureMismatch);
  return {};
}

std::string CheckElfFileForThisMachine(const std::string& path, TElfKind kind) { return CheckElf(TBytes(path), kind); }

std::string CheckElfForThisMachine(std::string_view bytes, TElfKind kind) { return CheckElf(TBytes(bytes), kind); }

std::optional<TFileVersion> ReadElfBuildNoteOfFile(const std::string& path) { return ReadBuildNote(TBytes(path)); }

std::optional<TFileVersion> ReadElfBuildNote(std::string_view bytes) { return ReadBuildNote(TBytes(bytes)); }

void DownloadVerifiedFile(THttpClient& http, const std::string& url, const std::string& path, TElfKind kind,
                          const std::optional<TSigningKey>& key, std::int64_t maxBytes) {
  if (!key) throw EDownloadRejected(ProgramText(TProgramText::NoReleaseKey));
  // The signature first: without one the file is not worth its transfer.
  std::string signature;
  {
    auto quiet = std::exchange(http.OnWorkBegin, nullptr);
    auto work = std::exchange(http.OnWork, nullptr);
    auto end = std::exchange(http.OnWorkEnd, nullptr);
    const TScopeExit restore([&] {
      http.OnWorkBegin = std::move(quiet);
      http.OnWork = std::move(work);
      http.OnWorkEnd = std::move(end);
    });
    signature = http.Get(url + std::string(SignatureSuffix), MaxSignatureBytes);
  }
  http.GetToFile(url, path, maxBytes);
  bool kept = false;
  const TScopeExit removeRejected([&] {
    if (!kept) ::unlink(path.c_str());
  });
  if (std::string reason = CheckFileSignature(path, signature, key); !reason.empty())
    throw EDownloadRejected(Utf8ToAnsi(url) + ": " + reason);
  if (std::string reason = CheckElfFileForThisMachine(path, kind); !reason.empty())
    throw EDownloadRejected(Utf8ToAnsi(url) + ": " + reason);
  kept = true;
}

}  // namespace ond
