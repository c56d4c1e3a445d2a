// Writing JSON values as text: to a string, a stream, a file or a socket.
#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/ProgramTexts.h"
#include "platform/core/SafeFileWriter.h"
#include "services/jsonobject.h"
#include "services/jsonobjectDetail.h"

namespace ond {

using namespace jsondetail;

namespace {

// Collects the result of a run of Appends: failure is remembered.
struct Out {
  TJsonWriter& W;
  std::int64_t Last = 0;
  bool Failed = false;

  void Put(const char16_t* s, std::size_t n) {
    if (n == 0) return;
    Last = W.Append(s, static_cast<std::int64_t>(n));
    if (Last < 0) Failed = true;
  }
  void Put(std::u16string_view s) { Put(s.data(), s.size()); }
  void PutAscii(std::string_view s) {
    char16_t buf[64];
    while (!s.empty()) {
      const std::size_t n = std::min(s.size(), sizeof buf / sizeof buf[0]);
      for (std::size_t i = 0; i < n; ++i) buf[i] = static_cast<unsigned char>(s[i]);
      Put(buf, n);
      s.remove_prefix(n);
    }
  }
  void LineBreak(int level) {
    static const char16_t spaces[] = u"\r\n                                                              ";
    constexpr int kSpaces = static_cast<int>(sizeof spaces / sizeof spaces[0]) - 3;
    Put(spaces, static_cast<std::size_t>(2 + std::min(level, kSpaces)));
    for (level -= kSpaces; level > 0; level -= kSpaces) Put(spaces + 2, static_cast<std::size_t>(std::min(level, kSpaces)));
  }
};

void PutEscaped(Out& out, std::u16string_view s, bool escape) {
  static const char hex[] = "0123456789abcdef";
  std::size_t run = 0;
  char16_t e[6];
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    std::size_t n = 0;
    if (c == '"' || c == '\\' || c == '/') {
      e[0] = '\\';
      e[1] = c;
      n = 2;
    } else if (escape) {
      if (c >= 32 && c <= 127) continue;
      char16_t k = 0;
      switch (c) {
        case 8: k = 'b'; break;
        case 9: k = 't'; break;
        case 10: k = 'n'; break;
        case 12: k = 'f'; break;
        case 13: k = 'r'; break;
        default: break;
      }
      if (k) {
        e[0] = '\\';
        e[1] = k;
        n = 2;
      } else {
        e[0] = '\\';
        e[1] = 'u';
        e[2] = static_cast<char16_t>(hex[(c >> 12) & 15]);
        e[3] = static_cast<char16_t>(hex[(c >> 8) & 15]);
        e[4] = static_cast<char16_t>(hex[(c >> 4) & 15]);
        e[5] = static_cast<char16_t>(hex[c & 15]);
        n = 6;
      }
    } else if (c == 0) {
      static const char16_t zero[] = u"\\u0000";
      std::copy(zero, zero + 6, e);
      n = 6;
    } else {
      continue;
    }
    out.Put(s.data() + run, i - run);
    out.Put(e, n);
    run = i + 1;
  }
  out.Put(s.data() + run, s.size() - run);
}

void PutQuoted(Out& out, std::u16string_view s, bool escape) {
  out.Put(u"\"", 1);
  PutEscaped(out, s, escape);
  out.Put(u"\"", 1);
}

}  // namespace

namespace {

void WriteScalar(TJsonObject& v, Out& out, bool escape) {
  switch (v.DataType()) {
    case jdtBoolean: v.AsBoolean() ? out.Put(u"true", 4) : out.Put(u"false", 5); break;
    case jdtDouble: {
      const double d = v.AsDouble();
      // JSON has no text for NaN or the infinities.
      if (std::isfinite(d))
        out.PutAscii(DoubleText(d));
      else
        out.Put(u"null", 4);
      break;
    }
    case jdtCurrency: out.PutAscii(CurrencyText(v.AsCurrency())); break;
    case jdtInteger: {
      char buf[24];
      const auto r = std::to_chars(buf, buf + sizeof buf, v.AsInteger());
      out.PutAscii(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
      break;
    }
    case jdtString: PutQuoted(out, v.AsString(), escape); break;
    case jdtMethod: break;
    default: out.Put(u"null", 4); break;
  }
}

// Writes a value and everything inside it. Containers open a frame on a
// heap stack instead of a nested call, so the depth of the tree costs no
// native stack; a container is marked as processing while its frame is open.
void WriteValue(TJsonObject& root, Out& out, bool indent, bool escape, int level) {
  struct Frame {
    TJsonObject* Value;
    int Level;  // the level its members or elements are written at
    std::size_t Next = 0;
    bool First = true;
    std::vector<const TJsonAvlEntry*> Members;  // objects: the entries in table order
  };
  std::vector<Frame> stack;
  struct DropFlags {
    std::vector<Frame>& Stack;
    ~DropFlags() {
      for (Frame& f : Stack) f.Value->SetProcessing(false);
    }
  } drop{stack};

  // Writes a scalar whole, an empty container whole, or the opening of a
  // container whose frame then writes the rest.
  auto open = [&](TJsonObject& v, int at) {
    if (v.GetProcessing()) {
      out.Put(u"null", 4);
      return;
    }
    if (TJsonTableString* t = v.AsObject()) {
      if (t->GetCount() == 0) {
        out.Put(u"{}", 2);
        return;
      }
      out.Put(u"{", 1);
      Frame f{&v, indent ? at + 1 : at, 0, true, {}};
      f.Members.reserve(static_cast<std::size_t>(t->GetCount()));
      TJsonAvlIterator it(*t);
      for (it.First(); it.GetCurrent(); it.Next()) f.Members.push_back(it.GetCurrent());
      stack.push_back(std::move(f));
      v.SetProcessing(true);
    } else if (TJsonArray* a = v.AsArray()) {
      if (a->GetLength() == 0) {
        out.Put(u"[]", 2);
        return;
      }
      out.Put(u"[", 1);
      if (indent) out.LineBreak(++at);
      stack.push_back(Frame{&v, at, 0, true, {}});
      v.SetProcessing(true);
    } else {
      ProcessingGuard guard(v);
      WriteScalar(v, out, escape);
    }
  };
  auto skipped = [](const IJsonObject& m) { return m && (m->DataType() == jdtMethod || m->GetProcessing()); };

  open(root, level);
  while (!stack.empty()) {
    Frame& f = stack.back();
    TJsonObject* child = nullptr;
    bool more = false;
    if (f.Value->AsObject() != nullptr) {
      while (f.Next < f.Members.size()) {
        const TJsonAvlEntry* e = f.Members[f.Next++];
        const IJsonObject& m = e->GetValue();
        if (skipped(m)) continue;
        if (!f.First) out.Put(u",", 1);
        f.First = false;
        if (indent) out.LineBreak(f.Level);
        PutQuoted(out, e->GetName(), escape);
        indent ? out.Put(u": ", 2) : out.Put(u":", 1);
        child = m.get();
        more = true;
        break;
      }
      if (!more) {
        if (indent) out.LineBreak(f.Level - 1);
        out.Put(u"}", 1);
      }
    } else {
      TJsonArray* a = f.Value->AsArray();
      while (f.Next < static_cast<std::size_t>(a->GetLength())) {
        const IJsonObject m = a->Get(static_cast<std::int64_t>(f.Next++));
        if (skipped(m)) continue;
        if (!f.First) out.Put(u",", 1);
        f.First = false;
        child = m.get();
        more = true;
        break;
      }
      if (!more) out.Put(u"]", 1);
    }
    if (!more) {
      f.Value->SetProcessing(false);
      stack.pop_back();
    } else if (child != nullptr) {
      open(*child, f.Level);  // may grow the stack: f is not used after this
    } else {
      out.Put(u"null", 4);
    }
  }
}

}  // namespace

std::int64_t TJsonObject::Write(TJsonWriter& writer, bool indent, bool escape, int level) {
  Out out{writer};
  WriteValue(*this, out, indent, escape, level);
  return out.Failed ? -1 : out.Last;
}

std::u16string TJsonObject::AsJsonText(bool indent, bool escape) {
  TJsonWriterString w;
  const std::int64_t r = Write(w, indent, escape, 0);
  if (r < 0) return std::u16string();
  return std::move(w.Data());
}

std::int64_t TJsonObject::CalcSize(bool indent, bool escape) {
  TJsonWriterFake w;
  if (Write(w, indent, escape, 0) < 0) return 0;
  return w.GetCount();
}

namespace {

bool WriteToStream(TJsonObject& v, TStream& stream, bool indent, bool escape) {
  std::unique_ptr<TJsonWriterStream> w;
  if (escape) {
    w = std::make_unique<TJsonAnsiWriterStream>(stream);
  } else {
    w = std::make_unique<TJsonUnicodeWriterStream>(stream);
    // The byte-order mark is how the reader tells two bytes per character
    // from one, so what is written here reads back.
    if (w->Append(u"\uFEFF", 1) < 0) return false;
  }
  if (v.Write(*w, indent, escape, 0) < 0) return false;
  return w->Flush() >= 0;
}


}  // namespace

std::int64_t TJsonObject::SaveTo(TStream& stream, bool indent, bool escape) {
  bool ok = false;
  try {
    ok = WriteToStream(*this, stream, indent, escape);
  } catch (const Exception&) {
    ok = false;
  }
  if (!ok) {
    try {
      stream.Seek(0, TSeekOrigin::soBeginning);
    } catch (const Exception&) {
    }
    return 0;
  }
  return stream.GetSize();
}

std::int64_t TJsonObject::SaveTo(const std::string& fileName, bool indent, bool escape, std::string* reason) {
  // The whole text first, then one safe replacement of the file.
  TStringStream text;
  bool ok = false;
  try {
    ok = WriteToStream(*this, text, indent, escape);
  } catch (const Exception&) {
    ok = false;
  }
  if (!ok) {
    if (reason) *reason = ProgramText(TProgramText::TextNotMade);
    return 0;
  }
  TFileWrite request;
  request.FileName = fileName;
  request.Data = text.DataString();
  const TWriteResult written = WriteFileSafely(request);
  if (!written.Ok()) {
    if (reason) *reason = written.Reason;
    return 0;
  }
  return static_cast<std::int64_t>(text.DataString().size());
}

std::int64_t TJsonObject::SaveTo(int socket, bool indent, bool) {
  // One byte per character would lose the high byte of other characters.
  TJsonWriterSock w(socket);
  if (Write(w, indent, true, 0) < 0) return 0;
  return w.GetTotal();
}

std::int64_t TJsonWriter::Append(const char16_t* text) {
  return Append(text, static_cast<std::int64_t>(std::char_traits<char16_t>::length(text)));
}

std::int64_t TJsonWriterString::Append(const char16_t* buf, std::int64_t count) {
  FData.append(buf, static_cast<std::size_t>(count));
  return count;
}

void TJsonWriterString::TrimRight() {
  std::size_t n = FData.size();
  while (n > 0 && (FData[n - 1] == 10 || FData[n - 1] == 13 || FData[n - 1] == 32)) --n;
  FData.resize(n);
}

TJsonWriterStream::~TJsonWriterStream() {
  try {
    Flush();
  } catch (...) {
  }
}

void TJsonWriterStream::Reset() {
  FPending.clear();
  FFailed = false;
  FStream.Seek(0, TSeekOrigin::soBeginning);
}

std::int64_t TJsonWriterStream::Flush() {
  if (FFailed) return -1;
  std::size_t done = 0;
  while (done < FPending.size()) {
    std::int64_t n = 0;
    try {
      n = FStream.Write(FPending.data() + done, static_cast<std::int64_t>(FPending.size() - done));
    } catch (const Exception&) {
      n = 0;
    }
    if (n <= 0) {
      FFailed = true;
      FPending.clear();
      return -1;
    }
    done += static_cast<std::size_t>(n);
  }
  FPending.clear();
  return 0;
}

std::int64_t TJsonWriterStream::Put(const void* bytes, std::size_t n) {
  if (FFailed) return -1;
  FPending.append(static_cast<const char*>(bytes), n);
  if (FPending.size() >= 65536 && Flush() < 0) return -1;
  return static_cast<std::int64_t>(n);
}

std::int64_t TJsonAnsiWriterStream::Append(const char16_t* buf, std::int64_t count) {
  if (FFailed) return -1;
  const std::size_t at = FPending.size();
  FPending.resize(at + static_cast<std::size_t>(count));
  char* p = FPending.data() + at;
  for (std::int64_t i = 0; i < count; ++i) p[i] = static_cast<char>(buf[i] & 0xFF);
  if (FPending.size() >= 65536 && Flush() < 0) return -1;
  return count;
}

std::int64_t TJsonUnicodeWriterStream::Append(const char16_t* buf, std::int64_t count) {
  if (FFailed) return -1;
  char local[2048];
  std::int64_t done = 0;
  while (done < count) {
    const std::int64_t n = std::min<std::int64_t>(count - done, sizeof local / 2);
    for (std::int64_t i = 0; i < n; ++i) {
      local[2 * i] = static_cast<char>(buf[done + i] & 0xFF);
      local[2 * i + 1] = static_cast<char>(buf[done + i] >> 8);
    }
    if (Put(local, static_cast<std::size_t>(2 * n)) < 0) return -1;
    done += n;
  }
  return count;
}

std::int64_t TJsonWriterSock::Append(const char16_t* buf, std::int64_t count) {
  if (FFailed) return -1;
  char local[1024];
  std::int64_t done = 0;
  while (done < count) {
    const std::int64_t n = std::min<std::int64_t>(count - done, sizeof local);
    for (std::int64_t i = 0; i < n; ++i) local[i] = static_cast<char>(buf[done + i] & 0xFF);
    std::int64_t sent = 0;
    while (sent < n) {
      const ssize_t r = ::send(FSocket, local + sent, static_cast<std::size_t>(n - sent), MSG_NOSIGNAL);
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) {
        FFailed = true;
        return -1;
      }
      sent += r;
      FTotal += r;
    }
    done += n;
  }
  return count;
}

}  // namespace ond
