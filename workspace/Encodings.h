// Conversion between the program's text (code page 1251 bytes) and the byte
// form of a file in one of five encodings, with byte-order-mark detection.
// UTF-16 is the intermediate form of every conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/core/SafeFileWriter.h"
#include "platform/core/SysUtils.h"

namespace ond {

OND_DECLARE_EXCEPTION(EEncodingError, Exception);

class TEncoding {
 public:
  virtual ~TEncoding() = default;
  TEncoding(const TEncoding&) = delete;
  TEncoding& operator=(const TEncoding&) = delete;

  // Range-checked operations over 1-based character runs of the text and
  // 0-based byte runs, with the class library's messages.
  int GetByteCount(std::string_view chars, int charIndex, int charCount) const;
  int GetBytes(std::string_view chars, int charIndex, int charCount, std::string& bytes, int byteIndex) const;
  int GetCharCount(std::string_view bytes, int byteIndex, int byteCount) const;
  std::string GetChars(std::string_view bytes, int byteIndex, int byteCount) const;

  // Whole-run forms. `replaced` (when given) is increased by the number of
  // characters that had no form in the target and became '?'.
  int GetByteCount(std::string_view chars) const { return static_cast<int>(Encode(chars, nullptr).size()); }
  std::string GetBytes(std::string_view chars, std::size_t* replaced = nullptr) const { return Encode(chars, replaced); }
  int GetCharCount(std::string_view bytes) const { return static_cast<int>(Decode(bytes, nullptr).size()); }
  std::string GetString(std::string_view bytes, std::size_t* replaced = nullptr) const { return Decode(bytes, replaced); }

  virtual int GetMaxByteCount(int charCount) const = 0;
  virtual int GetMaxCharCount(int byteCount) const = 0;
  virtual std::string GetPreamble() const = 0;
  // Name shown to the user ("ANSI", "Unicode", "UTF-8", ...).
  virtual std::string GetEncodingName() const = 0;

  // Shared encodings, created on first use and alive for the whole run.
  static TEncoding* Default();  // the ANSI code page: text and bytes are the same
  static TEncoding* Unicode();  // UTF-16 little-endian, preamble FF FE
  static TEncoding* BigEndianUnicode();  // preamble FE FF
  static TEncoding* UTF8();     // preamble EF BB BF
  static TEncoding* UTF7();

 protected:
  TEncoding() = default;
  virtual std::string Encode(std::string_view chars, std::size_t* replaced) const = 0;
  virtual std::string Decode(std::string_view bytes, std::size_t* replaced) const = 0;
};

class TMBCSEncoding : public TEncoding {
 public:
  explicit TMBCSEncoding(unsigned codePage) : TMBCSEncoding(codePage, 0, 0) {}
  TMBCSEncoding(unsigned codePage, unsigned mbToWcFlags, unsigned wcToMbFlags);

  int GetMaxByteCount(int charCount) const override { return (charCount + 1) * MaxCharSize; }
  int GetMaxCharCount(int byteCount) const override { return byteCount; }
  std::string GetPreamble() const override { return {}; }
  std::string GetEncodingName() const override;

  bool IsSingleByte = true;
  int MaxCharSize = 1;
  unsigned CodePage = 0;
  unsigned MBToWCharFlags = 0;
  unsigned WCharToMBFlags = 0;

 protected:
  std::string Encode(std::string_view chars, std::size_t* replaced) const override;
  std::string Decode(std::string_view bytes, std::size_t* replaced) const override;
};

class TUTF7Encoding : public TMBCSEncoding {
 public:
  TUTF7Encoding() : TMBCSEncoding(65000) {}
  int GetMaxByteCount(int charCount) const override { return 3 * charCount + 2; }
  int GetMaxCharCount(int byteCount) const override { return byteCount; }
  std::string GetEncodingName() const override { return "UTF-7"; }

 protected:
  explicit TUTF7Encoding(unsigned codePage) : TMBCSEncoding(codePage) {}
};

class TUTF8Encoding : public TUTF7Encoding {
 public:
  TUTF8Encoding() : TUTF7Encoding(65001) {}
  int GetMaxByteCount(int charCount) const override { return 3 * (charCount + 1); }
  int GetMaxCharCount(int byteCount) const override { return byteCount + 1; }
  std::string GetPreamble() const override { return "\xEF\xBB\xBF"; }
  std::string GetEncodingName() const override { return "UTF-8"; }
};

class TUnicodeEncoding : public TEncoding {
 public:
  TUnicodeEncoding() = default;
  int GetMaxByteCount(int charCount) const override { return 2 * (charCount + 1); }
  int GetMaxCharCount(int byteCount) const override { return byteCount / 2 + byteCount % 2 + 1; }
  std::string GetPreamble() const override { return "\xFF\xFE"; }
  std::string GetEncodingName() const override { return "Unicode"; }
  bool IsSingleByte = false;
  int MaxCharSize = 4;

 protected:
  std::string Encode(std::string_view chars, std::size_t* replaced) const override;
  std::string Decode(std::string_view bytes, std::size_t* replaced) const override;
};

class TBigEndianUnicodeEncoding : public TUnicodeEncoding {
 public:
  std::string GetPreamble() const override { return "\xFE\xFF"; }
  std::string GetEncodingName() const override { return "Unicode (big-endian)"; }

 protected:
  std::string Encode(std::string_view chars, std::size_t* replaced) const override;
  std::string Decode(std::string_view bytes, std::size_t* replaced) const override;
};

// Length of the byte-order mark at the start of bytes. With an encoding given,
// only that encoding's mark counts (the encoding is kept); with none, FF FE,
// FE FF and EF BB BF are tried in this order and the match (else Default) is
// stored in `encoding`.
int GetBufferEncoding(std::string_view bytes, TEncoding*& encoding);
// The encoding a backup's bytes are read back in. Its byte-order mark
// decides first; without one, `remembered` (the encoding its file was read in
// when the backup was made; null when nobody knows) decides, else UTF-8 when
// the bytes are valid UTF-8 (plain ASCII among them), else Default (code page
// 1251). Bytes holding zeros are never taken as UTF-8 or code page 1251: they
// are UTF-16 of the byte order their zeros tell, or null when the zeros tell
// none (the text cannot be decoded then).
TEncoding* DetectBackupEncoding(std::string_view bytes, TEncoding* remembered);
// The encoding picked from the first 4096 bytes of a file.
TEncoding* DetectFileEncoding(const std::string& fileName);
// Skips the mark of the encoding and converts the rest to text. `replaced`
// counts characters that became '?' (no form in code page 1251, or bytes that
// are not valid in the encoding).
std::string DecodeText(std::string_view bytes, TEncoding* encoding, std::size_t* replaced = nullptr);
// The same for bytes the caller gives up: code page 1251 and UTF-8 are
// decoded in their own buffer, which becomes the text's.
std::string DecodeBuffer(std::string bytes, TEncoding* encoding, std::size_t* replaced = nullptr);
// The encoding's mark followed by the encoded text (null means Default).
std::string EncodeText(std::string_view text, TEncoding* encoding);
// What the bytes of a file were, as read: how many, a hash of them, whether
// any was zero and whether they began with a UTF-16 byte-order mark. Two runs
// of bytes with equal facts are taken for the same bytes (the hash is 64
// bits wide), which is how a backup is known for the very bytes a panel read.
struct TByteFacts {
  std::int64_t Size = -1;  // -1: nothing was read
  std::uint64_t Hash = 0;
  bool ZeroBytes = false;
  // The mark at the start: 0 none, 1 little-endian (FF FE), 2 big-endian (FE FF).
  int Utf16Mark = 0;
  // The same bytes, as far as size and hash tell.
  bool SameBytes(const TByteFacts& other) const { return Size >= 0 && Size == other.Size && Hash == other.Hash; }
};

// Gathers the facts of bytes given in successive runs (the pieces of a file
// as they are read).
class TByteFactsReader {
 public:
  void Add(std::string_view bytes);
  TByteFacts Facts() const;

 private:
  static constexpr std::size_t kLanes = 4;
  std::uint64_t FLanes[kLanes] = {0x243F6A8885A308D3u, 0x13198A2E03707344u, 0xA4093822299F31D0u,
                                  0x082EFA98EC4E6C89u};
  unsigned char FCarry[kLanes * 8] = {};  // the bytes of an unfinished block
  std::size_t FCarried = 0;
  std::int64_t FSize = 0;
  bool FZero = false;
  unsigned char FHead[2] = {};
};

TByteFacts FactsOfBytes(std::string_view bytes);

// Reads and decodes a file. UTF-8 is decoded piece by piece (of `piece`
// bytes) as it is read, in the buffer it is read into. `copy`, when given,
// receives the disk copy that was read, `facts` the facts of its bytes.
std::string LoadTextFile(const std::string& fileName, TEncoding* encoding, std::size_t* replaced = nullptr,
                         std::size_t piece = std::size_t{1} << 20, TDiskCopy* copy = nullptr,
                         TByteFacts* facts = nullptr);
void SaveTextFile(const std::string& fileName, std::string_view text, TEncoding* encoding, bool append = false);

}  // namespace ond
