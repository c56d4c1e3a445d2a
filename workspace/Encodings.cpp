#include "workspace/Encodings.h"

#include <algorithm>
#include <cstring>

#include "platform/core/CodePage.h"
#include "platform/core/FileSystem.h"
#include "workspace/Compatibility.h"

namespace ond {

namespace {
[[noreturn]] void Fail(const char* fmt, int value) {
  std::string s(fmt);
  const auto k = s.find("%d");
  if (k != std::string::npos) s.replace(k, 2, std::to_string(value));
  throw EEncodingError(s);
}
}  // namespace

// ---------------------------------------------------------------- range checks

int TEncoding::GetByteCount(std::string_view chars, int charIndex, int charCount) const {
  if (chars.empty() && charCount != 0) Fail("Invalid source array", 0);
  if (charIndex < 1) Fail("Character index out of bounds (%d)", charIndex);
  if (charCount < 0 || static_cast<std::size_t>(charIndex - 1) + static_cast<std::size_t>(charCount) > chars.size())
    Fail("Invalid count (%d)", charCount);
  return GetByteCount(chars.substr(static_cast<std::size_t>(charIndex - 1), static_cast<std::size_t>(charCount)));
}

int TEncoding::GetBytes(std::string_view chars, int charIndex, int charCount, std::string& bytes, int byteIndex) const {
  if (chars.empty() && charCount != 0) Fail("Invalid source array", 0);
  if (charIndex < 1) Fail("Character index out of bounds (%d)", charIndex);
  if (charCount < 0 || static_cast<std::size_t>(charIndex - 1) + static_cast<std::size_t>(charCount) > chars.size())
    Fail("Invalid count (%d)", charCount);
  if (byteIndex < 0 || static_cast<std::size_t>(byteIndex) > bytes.size()) Fail("Invalid destination index (%d)", byteIndex);
  const std::string enc =
      Encode(chars.substr(static_cast<std::size_t>(charIndex - 1), static_cast<std::size_t>(charCount)), nullptr);
  if (bytes.size() - static_cast<std::size_t>(byteIndex) < enc.size()) Fail("Invalid destination array", 0);
  bytes.replace(static_cast<std::size_t>(byteIndex), enc.size(), enc);
  return static_cast<int>(enc.size());
}

namespace {
std::string_view CheckedByteRange(std::string_view bytes, int byteIndex, int byteCount) {
  if (bytes.empty() && byteCount != 0) Fail("Invalid source array", 0);
  if (byteIndex < 0) Fail("Start index out of bounds (%d)", byteIndex);
  if (byteCount < 0 || static_cast<std::size_t>(byteIndex) + static_cast<std::size_t>(byteCount) > bytes.size())
    Fail("Invalid count (%d)", byteCount);
  return bytes.substr(static_cast<std::size_t>(byteIndex), static_cast<std::size_t>(byteCount));
}
}  // namespace

int TEncoding::GetCharCount(std::string_view bytes, int byteIndex, int byteCount) const {
  return GetCharCount(CheckedByteRange(bytes, byteIndex, byteCount));
}

std::string TEncoding::GetChars(std::string_view bytes, int byteIndex, int byteCount) const {
  return Decode(CheckedByteRange(bytes, byteIndex, byteCount), nullptr);
}

// ---------------------------------------------------------------- singletons

TEncoding* TEncoding::Default() {
  static TMBCSEncoding e(CP_ACP);
  return &e;
}
TEncoding* TEncoding::Unicode() {
  static TUnicodeEncoding e;
  return &e;
}
TEncoding* TEncoding::BigEndianUnicode() {
  static TBigEndianUnicodeEncoding e;
  return &e;
}
TEncoding* TEncoding::UTF8() {
  static TUTF8Encoding e;
  return &e;
}
TEncoding* TEncoding::UTF7() {
  static TUTF7Encoding e;
  return &e;
}

// ---------------------------------------------------------------- TMBCSEncoding

TMBCSEncoding::TMBCSEncoding(unsigned codePage, unsigned mbToWcFlags, unsigned wcToMbFlags)
    : CodePage(codePage), MBToWCharFlags(mbToWcFlags), WCharToMBFlags(wcToMbFlags) {
  if (!IsValidCodePage(codePage)) throw EEncodingError("Invalid code page");
  switch (codePage) {
    case CP_UTF7: MaxCharSize = 5; IsSingleByte = false; break;
    case CP_UTF8: MaxCharSize = 4; IsSingleByte = false; break;
    case CP_UTF16LE:
    case CP_UTF16BE: MaxCharSize = 4; IsSingleByte = false; break;
    default: MaxCharSize = 1; IsSingleByte = true; break;
  }
}

std::string TMBCSEncoding::GetEncodingName() const {
  return CodePage == CP_ACP || CodePage == CP_1251 ? "ANSI" : "CP" + std::to_string(CodePage);
}

std::string TMBCSEncoding::Encode(std::string_view chars, std::size_t* replaced) const {
  // The ANSI code page is the text's own: the bytes are the text.
  if (CodePage == CP_ACP || CodePage == CP_1251) return std::string(chars);
  if (CodePage == CP_UTF8) return AnsiToUtf8(chars);
  std::string out;
  WideCharToMultiByte(CodePage, AnsiToUtf16(chars), out, replaced);
  return out;
}

std::string TMBCSEncoding::Decode(std::string_view bytes, std::size_t* replaced) const {
  if (CodePage == CP_ACP || CodePage == CP_1251) return std::string(bytes);
  if (CodePage == CP_UTF8) return Utf8ToAnsi(bytes, replaced);
  std::u16string w;
  MultiByteToWideChar(CodePage, bytes, w);
  return Utf16ToAnsi(w, replaced);
}

// ---------------------------------------------------------------- UTF-16

namespace {
std::string EncodeUtf16(std::string_view chars, bool bigEndian) {
  std::string out(chars.size() * 2, '\0');
  for (std::size_t i = 0; i < chars.size(); ++i) {
    const char16_t w = AnsiToWide(static_cast<unsigned char>(chars[i]));
    const auto hi = static_cast<char>(w >> 8), lo = static_cast<char>(w & 0xFF);
    out[2 * i] = bigEndian ? hi : lo;
    out[2 * i + 1] = bigEndian ? lo : hi;
  }
  return out;
}

std::string DecodeUtf16(std::string_view bytes, bool bigEndian, std::size_t* replaced) {
  std::u16string w;
  MultiByteToWideChar(bigEndian ? CP_UTF16BE : CP_UTF16LE, bytes, w);
  std::string r = Utf16ToAnsi(w, replaced);
  // A lone trailing byte is no character: it becomes '?' and counts as lost.
  if (bytes.size() % 2 != 0) {
    r.push_back(DefaultAnsiChar);
    if (replaced) ++*replaced;
  }
  return r;
}
}  // namespace

std::string TUnicodeEncoding::Encode(std::string_view chars, std::size_t*) const { return EncodeUtf16(chars, false); }
std::string TUnicodeEncoding::Decode(std::string_view bytes, std::size_t* replaced) const {
  return DecodeUtf16(bytes, false, replaced);
}
std::string TBigEndianUnicodeEncoding::Encode(std::string_view chars, std::size_t*) const {
  return EncodeUtf16(chars, true);
}
std::string TBigEndianUnicodeEncoding::Decode(std::string_view bytes, std::size_t* replaced) const {
  return DecodeUtf16(bytes, true, replaced);
}

// ---------------------------------------------------------------- free functions

int GetBufferEncoding(std::string_view bytes, TEncoding*& encoding) {
  auto startsWith = [&](const std::string& pre) {
    return !pre.empty() && bytes.size() >= pre.size() && bytes.substr(0, pre.size()) == pre;
  };
  if (encoding) {
    const std::string pre = encoding->GetPreamble();
    return startsWith(pre) ? static_cast<int>(pre.size()) : 0;
  }
  for (TEncoding* e : {TEncoding::Unicode(), TEncoding::BigEndianUnicode(), TEncoding::UTF8()}) {
    const std::string pre = e->GetPreamble();
    if (startsWith(pre)) {
      encoding = e;
      return static_cast<int>(pre.size());
    }
  }
  encoding = TEncoding::Default();
  return 0;
}

namespace {

// Whether the bytes are well-formed UTF-8: no stray continuation byte, no
// overlong form, no surrogate and nothing beyond U+10FFFF.
bool IsValidUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    const unsigned c = *p;
    if (c < 0x80) {
      ++p;
      continue;
    }
    int more;
    unsigned low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      more = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      more = 2;
      if (c == 0xE0) low = 0xA0;
      if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      more = 3;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (end - p <= more) return false;
    if (p[1] < low || p[1] > high) return false;
    for (int i = 2; i <= more; ++i)
      if (p[i] < 0x80 || p[i] > 0xBF) return false;
    p += more + 1;
  }
  return true;
}

}  // namespace

namespace {

// UTF-16 without a mark gives itself away by its zero bytes: plain ASCII (the
// punctuation, blanks and line breaks of any config file) has a zero high byte
// in every code unit, which little-endian puts second and big-endian first.
// Zeros that fall (nearly) all on one side tell the byte order; zeros on both
// sides, or an odd number of bytes, tell none.
TEncoding* Utf16ByZeroBytes(std::string_view bytes) {
  if (bytes.size() % 2 != 0) return nullptr;
  std::size_t first = 0, second = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    if (bytes[i] == '\0') ++(i % 2 == 0 ? first : second);
  // A character such as U+0100 has its zero on the other side: a few of
  // those do not hide the order the text's ASCII tells.
  constexpr std::size_t kOtherSideShare = 8;
  if (second > 0 && first * kOtherSideShare <= second) return TEncoding::Unicode();
  if (first > 0 && second * kOtherSideShare <= first) return TEncoding::BigEndianUnicode();
  return nullptr;
}

}  // namespace

TEncoding* DetectBackupEncoding(std::string_view bytes, TEncoding* remembered) {
  TEncoding* found = nullptr;
  if (GetBufferEncoding(bytes, found) > 0) return found;
  if (bytes.find('\0') == std::string_view::npos) {
    if (remembered) return remembered;
    return IsValidUtf8(bytes) ? TEncoding::UTF8() : TEncoding::Default();
  }
  // Zero bytes are no text in a byte-wide encoding: UTF-16 read as one puts
  // a zero after every ASCII character, and saving writes them into the file.
  if (dynamic_cast<const TUnicodeEncoding*>(remembered)) return remembered;
  return Utf16ByZeroBytes(bytes);
}

TEncoding* DetectFileEncoding(const std::string& fileName) {
  const std::string head = ReadFileHead(fileName, 4096);
  TEncoding* e = nullptr;
  GetBufferEncoding(head, e);
  return e;
}

std::string DecodeText(std::string_view bytes, TEncoding* encoding, std::size_t* replaced) {
  const int skip = GetBufferEncoding(bytes, encoding);
  return encoding->GetString(bytes.substr(static_cast<std::size_t>(skip)), replaced);
}

std::string DecodeBuffer(std::string bytes, TEncoding* encoding, std::size_t* replaced) {
  const int skip = GetBufferEncoding(bytes, encoding);
  // Code page 1251 is the text's own form and UTF-8 only shrinks on the way
  // to it: both are decoded where they lie, without a second buffer.
  if (const auto* mbcs = dynamic_cast<const TMBCSEncoding*>(encoding)) {
    if (mbcs->CodePage == CP_ACP || mbcs->CodePage == CP_1251) {
      bytes.erase(0, static_cast<std::size_t>(skip));
      return bytes;
    }
    if (mbcs->CodePage == CP_UTF8) {
      Utf8ToAnsiInPlace(bytes, static_cast<std::size_t>(skip), replaced);
      // Text beyond ASCII shrinks: the room it left is given back, not copied
      // away from, so the text is never held twice.
      ReleaseSpareCapacity(bytes);
      return bytes;
    }
  }
  return encoding->GetString(std::string_view(bytes).substr(static_cast<std::size_t>(skip)), replaced);
}

std::string EncodeText(std::string_view text, TEncoding* encoding) {
  if (!encoding) encoding = TEncoding::Default();
  std::string out = encoding->GetPreamble();
  // UTF-8, the form files are saved in, is written behind the mark directly.
  if (const auto* mbcs = dynamic_cast<const TMBCSEncoding*>(encoding); mbcs && mbcs->CodePage == CP_UTF8) {
    AppendAnsiAsUtf8(text, out);
    return out;
  }
  if (out.empty()) return encoding->GetBytes(text);
  return out + encoding->GetBytes(text);
}

// ---------------------------------------------------------------- byte facts

namespace {

constexpr std::uint64_t kHashMultiplier = 0x9E3779B97F4A7C15u;

std::uint64_t MixWord(std::uint64_t lane, std::uint64_t word) {
  lane = (lane ^ word) * kHashMultiplier;
  return lane ^ (lane >> 29);
}

std::uint64_t LoadWord(const unsigned char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

}  // namespace

void TByteFactsReader::Add(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  if (n == 0) return;
  for (std::size_t i = 0; FSize + static_cast<std::int64_t>(i) < 2 && i < n; ++i)
    FHead[static_cast<std::size_t>(FSize) + i] = p[i];
  FSize += static_cast<std::int64_t>(n);
  if (!FZero && std::memchr(p, 0, n)) FZero = true;
  constexpr std::size_t block = sizeof FCarry;
  // Four words side by side: the multiplications do not wait for each other.
  auto mixBlock = [this](const unsigned char* b) {
    for (std::size_t k = 0; k < kLanes; ++k) FLanes[k] = MixWord(FLanes[k], LoadWord(b + 8 * k));
  };
  if (FCarried > 0) {
    const std::size_t take = std::min(block - FCarried, n);
    std::memcpy(FCarry + FCarried, p, take);
    FCarried += take;
    p += take;
    n -= take;
    if (FCarried < block) return;
    mixBlock(FCarry);
    FCarried = 0;
  }
  for (; n >= block; p += block, n -= block) mixBlock(p);
  std::memcpy(FCarry, p, n);
  FCarried = n;
}

TByteFacts TByteFactsReader::Facts() const {
  TByteFacts f;
  f.Size = FSize;
  f.ZeroBytes = FZero;
  if (FSize >= 2 && FHead[0] == 0xFF && FHead[1] == 0xFE) f.Utf16Mark = 1;
  if (FSize >= 2 && FHead[0] == 0xFE && FHead[1] == 0xFF) f.Utf16Mark = 2;
  // The unfinished block, padded with zeros (the size tells those apart).
  unsigned char last[sizeof FCarry] = {};
  std::memcpy(last, FCarry, FCarried);
  std::uint64_t h = static_cast<std::uint64_t>(FSize) * kHashMultiplier;
  for (std::size_t k = 0; k < kLanes; ++k) h = MixWord(h, MixWord(FLanes[k], LoadWord(last + 8 * k)));
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDu;
  h ^= h >> 33;
  h *= 0xC4CEB9FE1A85EC53u;
  f.Hash = h ^ (h >> 33);
  return f;
}

TByteFacts FactsOfBytes(std::string_view bytes) {
  TByteFactsReader reader;
  reader.Add(bytes);
  return reader.Facts();
}

namespace {

bool IsUtf8(TEncoding* encoding) {
  const auto* mbcs = dynamic_cast<const TMBCSEncoding*>(encoding);
  return mbcs != nullptr && mbcs->CodePage == CP_UTF8;
}

// Decodes a UTF-8 file into code page 1251 in the buffer it is read into,
// piece by piece as the pieces come, while each is still in the cache. A
// piece's last few bytes wait for the next when they may begin a character
// that runs on into it.
class TUtf8PieceDecoder {
 public:
  explicit TUtf8PieceDecoder(std::size_t* Replaced) : FReplaced(Replaced) {}

  void Take(char* Bytes, std::size_t Got, bool Last) {
    if (!FStarted) {
      // The mark is known once three bytes are there (or the file ended).
      if (Got < 3 && !Last) return;
      FStarted = true;
      FIn = Got >= 3 && std::memcmp(Bytes, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    }
    std::size_t stop = Got;
    if (!Last) {
      // A character is at most four bytes, so the last four wait. The stop
      // then moves back to the nearest byte that is no continuation byte,
      // three at most: a character beginning before it ends before it. With
      // none that near, no character can begin close enough to run past.
      if (stop < FIn + 4) return;
      stop -= 4;
      auto continues = [&](std::size_t at) { return (static_cast<unsigned char>(Bytes[at]) & 0xC0) == 0x80; };
      std::size_t lead = stop;
      for (int k = 0; k < 3 && lead > FIn && continues(lead); ++k) --lead;
      if (!continues(lead)) stop = lead;
    }
    if (stop <= FIn) return;
    FOut += Utf8ToAnsiInto(Bytes + FIn, stop - FIn, Bytes + FOut, FReplaced);
    FIn = stop;
  }
  std::size_t Length() const noexcept { return FOut; }

 private:
  std::size_t* FReplaced;
  bool FStarted = false;
  std::size_t FIn = 0;   // the next byte to decode
  std::size_t FOut = 0;  // the length of the text decoded so far
};

}  // namespace

std::string LoadTextFile(const std::string& fileName, TEncoding* encoding, std::size_t* replaced, std::size_t piece,
                         TDiskCopy* copy, TByteFacts* facts) {
  if (!IsUtf8(encoding)) {
    std::string bytes = ReadFileText(fileName, MaxTextFileSize, copy);
    if (facts) *facts = FactsOfBytes(bytes);
    return DecodeBuffer(std::move(bytes), encoding, replaced);
  }
  TUtf8PieceDecoder decoder(replaced);
  // The bytes from `seen` on are still as read: the decoder writes no
  // further than it has read.
  TByteFactsReader reader;
  std::size_t seen = 0;
  auto take = [&](char* bytes, std::size_t got, bool last) {
    if (facts && got > seen) reader.Add(std::string_view(bytes + seen, got - seen));
    seen = got;
    decoder.Take(bytes, got, last);
  };
  std::string text = ReadFileText(
      fileName, MaxTextFileSize, piece, [&](char* bytes, std::size_t got) { take(bytes, got, false); }, copy);
  take(text.data(), text.size(), true);
  if (facts) *facts = reader.Facts();
  text.resize(decoder.Length());
  // Text beyond ASCII shrinks: the room it left is given back, not copied
  // away from, so the text is never held twice.
  ReleaseSpareCapacity(text);
  return text;
}

void SaveTextFile(const std::string& fileName, std::string_view text, TEncoding* encoding, bool append) {
  if (append && FileExistsEx(fileName)) {
    const std::string old = ReadFileText(fileName);
    TEncoding* detected = nullptr;
    GetBufferEncoding(old, detected);
    const std::string whole = DecodeText(old, detected) + std::string(text);
    WriteFileText(fileName, EncodeText(whole, detected), false);
    return;
  }
  WriteFileText(fileName, EncodeText(text, encoding), false);
}

}  // namespace ond
