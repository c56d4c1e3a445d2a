// Reading XML text into a document, from a string or a stream.
#include "highlight/XmlModel.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <vector>

#include "highlight/XmlModelShared.h"
#include "platform/core/BlockArena.h"
#include "platform/core/ScopeGuard.h"
#include "platform/core/CodePage.h"

namespace ond {

using namespace xmlmodel;

// ---------------------------------------------------------------------------
// Text parser

namespace {

// Input of the parser: a window [P, E) over the bytes, refilled by the stream
// kind. A NUL byte ends the window early and is reported when reached.
class TXmlSource {
 public:
  virtual ~TXmlSource() = default;
  // The current byte, -1 at the end of input.
  int Cur() {
    if (P == E && !Underflow()) return -1;
    return static_cast<unsigned char>(*P);
  }
  bool Underflow() {
    if (FNulHit) Fail(T().NulChar);
    return Fill();
  }
  const char* P = nullptr;
  const char* E = nullptr;

 protected:
  virtual bool Fill() { return false; }
  void SetWindow(const char* b, std::size_t n) {
    P = b;
    const void* z = n ? std::memchr(b, 0, n) : nullptr;
    if (z) {
      E = static_cast<const char*>(z);
      FNulHit = true;
    } else {
      E = b + n;
    }
  }
  bool FNulHit = false;
};

class TXmlStrSource : public TXmlSource {
 public:
  explicit TXmlStrSource(std::string_view s) { SetWindow(s.data(), s.size()); }
};

class TXmlStmSource : public TXmlSource {
 public:
  explicit TXmlStmSource(TStream& s) : FStream(s), FBuf(65536, '\0') {}

 protected:
  bool Fill() override {
    const std::int64_t n = FStream.Read(FBuf.data(), static_cast<std::int64_t>(FBuf.size()));
    if (n <= 0) return false;
    SetWindow(FBuf.data(), static_cast<std::size_t>(n));
    return true;
  }

 private:
  TStream& FStream;
  std::string FBuf;
};

}  // namespace

class TXmlParser {
 public:
  TXmlParser(TXmlSource& src, bool preserve)
      : S(src), FPreserve(preserve), FClass(NameClassTable()), FArena(TBlockArena::Create()) {}
  ~TXmlParser() { FArena->Close(); }
  TXmlParser(const TXmlParser&) = delete;
  TXmlParser& operator=(const TXmlParser&) = delete;

  // Reads nodes into node's children until the input ends or an end tag
  // starts; true when stopped at the "/" of an end tag.
  bool Children(TXmlNode& node, int depth, bool top) {
    // The children gather in a list the parser keeps for this depth and go
    // to the node at the end (also when the text breaks off), so that each
    // node's list is allocated once, at its final size.
    if (FPending.size() <= static_cast<std::size_t>(depth)) FPending.resize(static_cast<std::size_t>(depth) + 1);
    std::vector<IXmlNode>& kids = FPending[static_cast<std::size_t>(depth)];
    std::vector<IXmlNode>* const outer = FOpen;
    FOpen = &kids;
    const TScopeExit hand([&] {
      FOpen = outer;
      HandOver(node, kids);
    });
    std::string text;
    bool blank = true;
    for (;;) {
      int c = S.Cur();
      if (c < 0) {
        FlushText(node, text, blank);
        return false;
      }
      if (c != '<') {
        if (c == '&') {
          Reference(text);
          blank = false;
          continue;
        }
        const char* from = S.P;
        const char* p = from;
        if (blank) {
          while (p < S.E && static_cast<unsigned char>(*p) <= ' ') ++p;
          if (p < S.E && *p == '<' && !FPreserve) {
            // Blanks up to a tag that would be dropped anyway are not kept.
            S.P = p;
            continue;
          }
          if (p < S.E && *p != '<' && *p != '&') blank = false;
        }
        while (p < S.E && *p != '<' && *p != '&') ++p;
        text.append(from, p);
        S.P = p;
        continue;
      }
      FlushText(node, text, blank);
      ++S.P;
      c = S.Cur();
      if (c == '/') {
        if (top) Fail(T().StrayEndTag);
        return true;
      }
      if (c == '?') {
        ++S.P;
        Instruction(node);
      } else if (c == '!') {
        ++S.P;
        Bang(node);
      } else {
        Element(node, depth);
      }
    }
  }

 private:
  // A node of the parse, in the parse's arena.
  template <class Node, class... Args>
  std::shared_ptr<Node> Make(Args&&... args) {
    return std::allocate_shared<Node>(TArenaAllocator<Node>(FArena), std::forward<Args>(args)...);
  }

  // A child of the node whose children are being read.
  void Add(TXmlNode& parent, IXmlNode node) {
    node->FParent = &parent;
    FOpen->push_back(std::move(node));
  }

  void HandOver(TXmlNode& node, std::vector<IXmlNode>& kids) {
    if (kids.empty()) return;
    // A parsed element holds no value of its own, so its list can be made
    // here, beside its nodes.
    if (!node.FChilds) node.FChilds = Make<TXmlNodeList>(&node);
    auto& items = node.FChilds->FItems;
    if (items.empty())
      items = std::decay_t<decltype(items)>(std::make_move_iterator(kids.begin()), std::make_move_iterator(kids.end()),
                                            TArenaOrHeapAllocator<IXmlNode>(FArena));
    else
      items.insert(items.end(), std::make_move_iterator(kids.begin()), std::make_move_iterator(kids.end()));
    kids.clear();
  }

  void FlushText(TXmlNode& node, std::string& text, bool& blank) {
    if (text.empty()) return;
    if (FPreserve || !blank) Add(node, Make<TXmlText>(node.FNameTable, XmlVariant(std::move(text))));
    text.clear();
    blank = true;
  }

  void SkipBlanks() {
    for (;;) {
      if (S.P == S.E && !S.Underflow()) return;
      if (!IsBlankOrControl(static_cast<unsigned char>(*S.P))) return;
      ++S.P;
    }
  }

  void ExpectChar(char ch) {
    if (S.Cur() != static_cast<unsigned char>(ch)) Fail(Fmt(T().ExpectedC, std::string(1, ch)));
    ++S.P;
  }

  void ExpectText(std::string_view s) {
    for (char ch : s) {
      if (S.Cur() != static_cast<unsigned char>(ch)) Fail(Fmt(T().ExpectedS, s));
      ++S.P;
    }
  }

  // Reads up to the terminator, which is consumed; out (if given) gets the text.
  void Until(std::string_view term, std::string* out) {
    std::string local;
    std::string& buf = out ? *out : local;
    const char last = term.back();
    for (;;) {
      if (S.Cur() < 0) Fail(Fmt(T().ExpectedS, term));
      const char* from = S.P;
      const void* hit = std::memchr(from, last, static_cast<std::size_t>(S.E - from));
      if (!hit) {
        buf.append(from, S.E);
        S.P = S.E;
        continue;
      }
      const char* p = static_cast<const char*>(hit) + 1;
      buf.append(from, p);
      S.P = p;
      if (buf.size() >= term.size() && std::string_view(buf).substr(buf.size() - term.size()) == term) {
        buf.resize(buf.size() - term.size());
        return;
      }
      if (!out && buf.size() > term.size()) buf.erase(0, buf.size() - term.size());
    }
  }

  bool IsNameChar(char c) const { return (FClass[static_cast<unsigned char>(c)] & kNameCharBit) != 0; }

  void Name(std::string& name) {
    const int c = S.Cur();
    if (c < 0 || !(FClass[c] & kNameStartBit)) Fail(T().NameStart);
    name.clear();
    for (;;) {
      if (S.P == S.E && !S.Underflow()) return;
      const char* from = S.P;
      const char* p = from;
      while (p < S.E && IsNameChar(*p)) ++p;
      name.append(from, p);
      S.P = p;
      if (p < S.E) return;
    }
  }

  // Reads a name and gives its ID in the table. A name that ends inside the
  // window is looked up where it lies, without a copy.
  int InternName(TXmlNameTable& table) {
    const int c = S.Cur();
    if (c >= 0 && (FClass[c] & kNameStartBit)) {
      // The table's hash, taken while scanning.
      std::uint32_t h = static_cast<unsigned char>(*S.P);
      const char* p = S.P + 1;
      for (; p < S.E && IsNameChar(*p); ++p) h = h * 33 + static_cast<unsigned char>(*p);
      if (p < S.E) {
        const std::string_view name(S.P, static_cast<std::size_t>(p - S.P));
        S.P = p;
        return CachedID(table, name, h);
      }
    }
    Name(FName);
    return table.GetID(FName);
  }

  // A document uses few names over and over: the last ID seen for each hash
  // is tried before the table's own search.
  int CachedID(TXmlNameTable& table, std::string_view name, std::uint32_t hash) {
    if (FCacheTable != &table) {
      FCacheTable = &table;
      for (NameSlot& s : FNameCache) s = NameSlot{};
    }
    NameSlot& slot = FNameCache[hash % kNameCacheSize];
    if (slot.ID >= 0 && slot.Hash == hash && table.GetName(slot.ID) == name) return slot.ID;
    slot.ID = table.GetID(name);
    slot.Hash = hash;
    return slot.ID;
  }

  void Reference(std::string& out) {
    ++S.P;  // '&'
    int c = S.Cur();
    if (c < 0) Fail(T().RefExpected);
    if (c == '#') {
      ++S.P;
      c = S.Cur();
      std::uint32_t code = 0;
      int digits = 0;
      if (c == 'x') {
        ++S.P;
        for (;;) {
          c = S.Cur();
          int d;
          if (c >= '0' && c <= '9') d = c - '0';
          else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
          else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
          else break;
          if (++digits > 8) Fail(T().BadCharCode);
          code = code * 16 + static_cast<std::uint32_t>(d);
          ++S.P;
        }
        if (!digits) Fail(T().HexExpected);
      } else {
        while ((c = S.Cur()) >= '0' && c <= '9') {
          if (++digits > 8) Fail(T().BadCharCode);
          code = code * 10 + static_cast<std::uint32_t>(c - '0');
          ++S.P;
        }
        if (!digits) Fail(T().NumberExpected);
      }
      ExpectChar(';');
      if (code == 0) Fail(T().BadCharCode);
      if (code <= 255) {
        out += static_cast<char>(code);
      } else {
        const int b = code <= 0xFFFF ? WideToAnsi(static_cast<char16_t>(code)) : -1;
        if (b < 0) Fail(T().BadCharCode);
        out += static_cast<char>(b);
      }
      return;
    }
    char name[8];
    int n = 0;
    while (n < 5 && (c = S.Cur()) >= 0 && IsXmlNameChar(static_cast<unsigned char>(c))) {
      name[n++] = static_cast<char>(c);
      ++S.P;
    }
    const std::string_view nm(name, static_cast<std::size_t>(n));
    char ch;
    if (nm == "amp") ch = '&';
    else if (nm == "quot") ch = '"';
    else if (nm == "lt") ch = '<';
    else if (nm == "gt") ch = '>';
    else if (nm == "apos") ch = '\'';
    else Fail(T().BadEntity);
    ExpectChar(';');
    out += ch;
  }

  void Attributes(TXmlNode& node) {
    // The attributes collect in a list the parser keeps and go to the node
    // at the end (also when the text breaks off), so that each node holds a
    // list of just its size.
    FAttrs.clear();
    const TScopeExit store([&] {
      if (node.FAttrs.empty()) {
        // The parser's list has no name twice.
        if (!FAttrs.empty())
          node.FAttrs = TXmlAttrList(std::make_move_iterator(FAttrs.begin()), std::make_move_iterator(FAttrs.end()),
                                     TArenaOrHeapAllocator<TXmlAttr>(FArena));
        return;
      }
      node.FAttrs.reserve(node.FAttrs.size() + FAttrs.size());
      for (TXmlAttr& a : FAttrs) {
        if (TXmlAttr* old = node.FindAttr(a.NameID))
          old->Value = std::move(a.Value);
        else
          node.FAttrs.push_back(std::move(a));
      }
    });
    std::string& value = FValue;
    for (;;) {
      SkipBlanks();
      int c = S.Cur();
      if (c < 0 || !(FClass[c] & kNameStartBit)) return;
      const int id = InternName(*node.FNameTable);
      SkipBlanks();
      ExpectChar('=');
      SkipBlanks();
      c = S.Cur();
      if (c < 0) Fail(T().AttrValueExpected);
      if (c != '"' && c != '\'') Fail(T().StringExpected);
      const char quote = static_cast<char>(c);
      ++S.P;
      value.clear();
      {
        // A value without references that ends inside the window is taken
        // where it lies.
        const char* p = S.P;
        while (p < S.E && *p != quote && *p != '<' && *p != '&') ++p;
        if (p < S.E && *p == quote) {
          const std::string_view v(S.P, static_cast<std::size_t>(p - S.P));
          S.P = p + 1;
          StoreAttr(id, v);
          continue;
        }
      }
      for (;;) {
        c = S.Cur();
        if (c < 0) Fail(Fmt(T().ExpectedS, std::string(1, quote)));
        if (c == quote) {
          ++S.P;
          break;
        }
        if (c == '<') Fail(T().LessInAttr);
        if (c == '&') {
          Reference(value);
          continue;
        }
        const char* from = S.P;
        const char* p = from;
        while (p < S.E && *p != quote && *p != '<' && *p != '&') ++p;
        value.append(from, p);
        S.P = p;
      }
      StoreAttr(id, value);
    }
  }

  // A name given twice keeps its first place and its last value.
  void StoreAttr(int id, std::string_view value) {
    const auto same = std::find_if(FAttrs.begin(), FAttrs.end(), [id](const TXmlAttr& a) { return a.NameID == id; });
    if (same != FAttrs.end())
      same->Value = XmlVariant(value);
    else
      FAttrs.push_back({id, XmlVariant(value)});
  }

  void Element(TXmlNode& parent, int depth) {
    if (depth >= XmlMaxDepth) Fail(T().TooDeep);
    const int id = InternName(*parent.FNameTable);
    const int c = S.Cur();
    if (c < 0) Fail(T().ElementUnfinished);
    if (!(IsBlankOrControl(static_cast<unsigned char>(c)) || c == '/' || c == '>')) Fail(T().BadNameChar);
    auto el = Make<TXmlElement>(parent.FNameTable, id);
    TXmlElement& e = *el;
    Add(parent, std::move(el));
    Attributes(e);
    if (S.Cur() == '/') {
      ExpectText("/>");
      return;
    }
    ExpectChar('>');
    Children(e, depth + 1, false);
    // At the "/" of the end tag, or at the end of input.
    const std::string& name = e.FNameTable->GetName(e.FNameID);
    if (S.Cur() != '/') Fail(Fmt(T().ExpectedS, name));
    ++S.P;
    if (static_cast<std::size_t>(S.E - S.P) > name.size() && std::memcmp(S.P, name.data(), name.size()) == 0)
      S.P += name.size();
    else
      for (char ch : name) {
        if (S.Cur() != static_cast<unsigned char>(ch)) Fail(Fmt(T().ExpectedS, name));
        ++S.P;
      }
    SkipBlanks();
    ExpectChar('>');
  }

  void Instruction(TXmlNode& parent) {
    const int id = InternName(*parent.FNameTable);
    auto pi = Make<TXmlProcessingInstruction>(parent.FNameTable, id, std::string());
    TXmlProcessingInstruction& p = *pi;
    Add(parent, std::move(pi));
    if (id == XmlXmlID) {
      Attributes(p);
      ExpectText("?>");
    } else {
      SkipBlanks();
      Until("?>", &p.FData);
    }
  }

  void Bang(TXmlNode& parent) {
    const int c = S.Cur();
    if (c == '-') {
      ExpectText("--");
      std::string text;
      Until("-->", &text);
      Add(parent, Make<TXmlComment>(parent.FNameTable, std::move(text)));
    } else if (c == '[') {
      ExpectText("[CDATA[");
      std::string text;
      Until("]]>", &text);
      Add(parent, Make<TXmlCDATASection>(parent.FNameTable, std::move(text)));
    } else {
      ExpectText("DOCTYPE");
      Until(">", nullptr);
    }
  }

  TXmlSource& S;
  bool FPreserve;
  std::string FName;
  std::string FValue;            // the attribute value being read
  std::vector<TXmlAttr> FAttrs;  // the attributes of the tag being read
  const std::uint8_t* FClass;    // name classes by code
  TBlockArena* FArena;           // memory of the nodes made, held while parsing
  // The children read so far at each depth; FOpen is the innermost one.
  std::deque<std::vector<IXmlNode>> FPending;
  std::vector<IXmlNode>* FOpen = nullptr;
  struct NameSlot {
    int ID = -1;
    std::uint32_t Hash = 0;
  };
  static constexpr std::size_t kNameCacheSize = 256;
  NameSlot FNameCache[kNameCacheSize];
  const TXmlNameTable* FCacheTable = nullptr;
};

void TXmlDocument::LoadXML(std::string_view text) {
  if (text.substr(0, kBinaryMagic.size()) == kBinaryMagic) {
    LoadBinaryFromString(text);
    return;
  }
  Reset();
  TXmlStrSource src(text);
  TXmlParser(src, FPreserveWhiteSpace).Children(*this, 0, true);
}

void TXmlDocument::LoadFromStream(TStream& stream) {
  Reset();
  const std::int64_t left = stream.GetSize() - stream.GetPosition();
  if (left > static_cast<std::int64_t>(kBinaryMagic.size())) {
    std::string head(kBinaryMagic.size(), '\0');
    stream.ReadBuffer(head.data(), static_cast<std::int64_t>(head.size()));
    if (head == kBinaryMagic) {
      LoadBinaryFromString(head + stream.ReadAll());
      return;
    }
    stream.Seek(-static_cast<std::int64_t>(kBinaryMagic.size()), TSeekOrigin::soCurrent);
  }
  TXmlStmSource src(stream);
  TXmlParser(src, FPreserveWhiteSpace).Children(*this, 0, true);
}

}  // namespace ond
