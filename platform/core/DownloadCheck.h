// What a file of program code fetched from the update server must pass
// before anything runs it: a detached Ed25519 signature of its exact bytes,
// made with the release key whose public half is compiled into the program,
// and an ELF header for this machine of the kind that is wanted (a program
// or a shared library). DownloadVerifiedFile puts the two together with the
// bounded download: the file goes to a new file of its own, the signature
// comes from the same address with ".sig" appended, and a file that fails
// any step is removed again.
//
// The server is not trusted: every failure names its reason, and nothing
// here reads past the bytes a file has.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/HttpClient.h"
#include "platform/core/PeVersion.h"
#include "platform/core/SysUtils.h"

namespace ond {

// A file that arrived but must not be used (its signature, its kind).
OND_DECLARE_EXCEPTION(EDownloadRejected, Exception);

// The public half of an Ed25519 key.
using TSigningKey = std::array<unsigned char, 32>;
// A detached Ed25519 signature is exactly this many bytes, stored raw.
inline constexpr std::size_t SignatureSize = 64;
// Appended to a file's address for the address of its signature.
inline constexpr std::string_view SignatureSuffix = ".sig";

// The key releases are signed with, as compiled in; nothing for a build made
// without one (such a build accepts no download).
std::optional<TSigningKey> ReleaseSigningKey();
// A key written as 64 hexadecimal digits (blanks around them ignored).
std::optional<TSigningKey> SigningKeyFromHex(std::string_view hex);

// Empty when signature is a valid signature of the file's exact bytes by
// key, else the reason.
std::string CheckFileSignature(const std::string& path, std::string_view signature,
                               const std::optional<TSigningKey>& key);

enum class TElfKind {
  Program,  // an executable: fixed-address, or position-independent with an interpreter
  Library,  // a shared object without an interpreter of its own
};

// Empty when the file is an ELF file for this machine (class, byte order,
// architecture, version) of the kind asked for, else the reason. A
// relocatable object, a core file or anything cut short is refused.
std::string CheckElfForThisMachine(std::string_view bytes, TElfKind kind);
std::string CheckElfFileForThisMachine(const std::string& path, TElfKind kind);

// The program's build mark: an ELF note of this owner and type whose
// description is the four version parts as 16-bit numbers of this machine's
// byte order (major, minor, release, build).
inline constexpr char BuildNoteOwner[] = "Ondrel";
inline constexpr std::uint32_t BuildNoteType = 1;
// The version an ELF file of this machine carries in its build mark; nothing
// when it has none or is no such file.
std::optional<TFileVersion> ReadElfBuildNote(std::string_view bytes);
std::optional<TFileVersion> ReadElfBuildNoteOfFile(const std::string& path);

// Downloads url into the new file path (created exclusively, never through
// an existing name or link, mode 0600, flushed), at most maxBytes, then the
// signature from url + ".sig", and checks the signature against key and the
// file's kind. On any failure the file is gone and the exception says why:
// EHttpError (no answer or an answer that cannot be used, see HttpClient.h),
// EDownloadRejected (signature or kind), EInOutError (the file could not be
// written).
void DownloadVerifiedFile(THttpClient& http, const std::string& url, const std::string& path, TElfKind kind,
                          const std::optional<TSigningKey>& key, std::int64_t maxBytes);

}  // namespace ond
