#include "services/UThCheckUpdate.h"

#include <elf.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <type_traits>

#include "services/ULocalization.h"

#ifndef ONDREL_UPDATE_URL
#define ONDREL_UPDATE_URL "http://ondrel.update/pub/ONDREL/"
#endif

namespace ond {

std::string UpdateServerUrl() {
  std::string url = ONDREL_UPDATE_URL;
  if (const char* env = std::getenv("ONDREL_UPDATE_URL"); env && *env) url = env;
  if (url.empty() || url.back() != '/') url += '/';
  return url;
}

namespace {

std::string Line(const std::string& text, size_t& pos) {
  const size_t end = text.find_first_of("\r\n", pos);
  std::string line = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
  if (end == std::string::npos) {
    pos = text.size();
  } else {
    pos = end + 1;
    if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
  }
  return line;
}

}  // namespace

TServerBuild ParseBuildFile(const std::string& text) {
  size_t pos = 0;
  const std::string first = Line(text, pos);
  if (pos >= text.size()) throw EUpdateFormat("Build.upd has fewer than two lines");
  const std::string second = Line(text, pos);
  size_t i = 0;
  bool negative = false;
  if (i < first.size() && (first[i] == '-' || first[i] == '+')) negative = first[i++] == '-';
  if (i == first.size()) throw EUpdateFormat("Build.upd: '" + first + "' is not a number");
  std::uint64_t value = 0;
  for (; i < first.size(); ++i) {
    if (first[i] < '0' || first[i] > '9' || value > 0xFFFFFFFFull)
      throw EUpdateFormat("Build.upd: '" + first + "' is not a number");
    value = value * 10 + static_cast<unsigned>(first[i] - '0');
  }
  if (value > 0x80000000ull || (!negative && value > 0x7FFFFFFFull))
    throw EUpdateFormat("Build.upd: '" + first + "' is not a number");
  const auto number = static_cast<std::uint32_t>(negative ? 0u - value : value);
  return {static_cast<std::uint16_t>(number & 0xFFFFu), second};
}

TCheckOutcome CheckForUpdate(THttpClient& http, const std::string& serverUrl, std::uint16_t localBuild,
                             bool silent) {
  TCheckOutcome out;
  try {
    out.Server = ParseBuildFile(http.Get(serverUrl + "Build.upd"));
    if (localBuild < out.Server.Build) {
      out.UpdateInfo = http.Get(serverUrl + "UpdateInfo.txt");
      out.Result = TCheckResult::Offer;
    } else {
      out.Result = TCheckResult::NoUpdate;
      if (!silent) out.Message = leLatestVersion;
    }
  } catch (const Exception&) {
    out = TCheckOutcome{};
    if (!silent) out.Message = leUpdateCheckFailed;
  }
  return out;
}

bool IsElfForThisMachine(const std::string& bytes) {
  using THeader = std::conditional_t<sizeof(void*) == 8, Elf64_Ehdr, Elf32_Ehdr>;
  if (bytes.size() < sizeof(THeader)) return false;
  THeader h;
  std::memcpy(&h, bytes.data(), sizeof h);
  if (std::memcmp(h.e_ident, ELFMAG, SELFMAG) != 0) return false;
  if (h.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32)) return false;
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if (h.e_ident[EI_DATA] != ELFDATA2LSB) return false;
#else
  if (h.e_ident[EI_DATA] != ELFDATA2MSB) return false;
#endif
  if (h.e_type != ET_EXEC && h.e_type != ET_DYN) return false;
#if defined(__x86_64__)
  return h.e_machine == EM_X86_64;
#elif defined(__aarch64__)
  return h.e_machine == EM_AARCH64;
#elif defined(__i386__)
  return h.e_machine == EM_386;
#elif defined(__arm__)
  return h.e_machine == EM_ARM;
#elif defined(__riscv)
  return h.e_machine == EM_RISCV;
#else
  return false;
#endif
}

TReplaceOps DefaultReplaceOps() {
  return {[](const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }};
}

int DownloadAndReplace(THttpClient& http, const std::string& serverUrl, const std::string& programPath,
                       const TReplaceOps& ops) {
  std::string body;
  try {
    body = http.Get(serverUrl + "Ondrel.exe");
  } catch (const Exception&) {
    return leUpdateFailed;
  }
  if (!IsElfForThisMachine(body)) return leUpdateFailed;
  const std::string newFile = ChangeFileExt(programPath, ".newupdate");
  const std::string oldFile = ChangeFileExt(programPath, ".oldupdate");
  {
    std::ofstream out(newFile, std::ios::binary | std::ios::trunc);
    out.write(body.data(), static_cast<std::streamsize>(body.size()));
    out.close();
    if (!out) {
      std::remove(newFile.c_str());
      return leUpdateFailed;
    }
  }
  if (::chmod(newFile.c_str(), 0755) != 0) {
    std::remove(newFile.c_str());
    return leUpdateFailed;
  }
  if (!ops.Rename(programPath, oldFile)) {
    std::remove(newFile.c_str());
    return leUpdateFailed;
  }
  if (!ops.Rename(newFile, programPath)) {
    // There must always be a program to start: the old one goes back.
    std::rename(oldFile.c_str(), programPath.c_str());
    std::remove(newFile.c_str());
    return leUpdateFailed;
  }
  return -1;
}

}  // namespace ond
