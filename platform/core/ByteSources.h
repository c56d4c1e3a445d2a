// Byte sources for the file readers (PE version resources, ELF notes): a
// buffer in memory and a file read with pread, both checking every read
// against their size, so that a reader only has to handle "not there".
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <string_view>

#include "platform/core/PeVersion.h"

namespace ond {

class TMemorySource final : public TByteSource {
 public:
  explicit TMemorySource(std::string_view bytes) : FBytes(bytes) {}
  std::uint64_t Size() const override { return FBytes.size(); }
  bool Read(std::uint64_t offset, void* out, std::size_t n) const override {
    if (offset > FBytes.size() || n > FBytes.size() - offset) return false;
    std::memcpy(out, FBytes.data() + offset, n);
    return true;
  }

 private:
  std::string_view FBytes;
};

class TFileSource final : public TByteSource {
 public:
  // Opened without blocking: a pipe by the file's name would otherwise wait
  // for a writer for ever; it is then refused as no regular file.
  explicit TFileSource(const std::string& fileName)
      : FFd(::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
    struct stat st {};
    if (FFd >= 0 && ::fstat(FFd, &st) == 0 && S_ISREG(st.st_mode)) FSize = static_cast<std::uint64_t>(st.st_size);
  }
  ~TFileSource() override {
    if (FFd >= 0) ::close(FFd);
  }
  TFileSource(const TFileSource&) = delete;
  TFileSource& operator=(const TFileSource&) = delete;
  bool IsOpen() const { return FFd >= 0 && FSize > 0; }
  std::uint64_t Size() const override { return FSize; }
  bool Read(std::uint64_t offset, void* out, std::size_t n) const override {
    if (offset > FSize || n > FSize - offset) return false;
    return ::pread(FFd, out, n, static_cast<off_t>(offset)) == static_cast<ssize_t>(n);
  }

 private:
  int FFd;
  std::uint64_t FSize = 0;
};

}  // namespace ond
