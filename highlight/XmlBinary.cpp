// The model's binary form: a name table and the nodes with their typed values.
#include "highlight/XmlModel.h"

#include <cstring>

#include "highlight/XmlModelShared.h"
#include "platform/core/CodePage.h"

namespace ond {

using namespace xmlmodel;

// ---------------------------------------------------------------------------
// Binary form

class TXmlBinaryWriter {
 public:
  explicit TXmlBinaryWriter(std::string& out) : FOut(out) {}

  void Int(std::int64_t n) {
    if (n >= 0 && n <= 127) {
      FOut += static_cast<char>(n);
    } else if (n >= 128 && n <= 32511) {
      FOut += static_cast<char>((n >> 8) | 0x80);
      FOut += static_cast<char>(n & 0xFF);
    } else {
      FOut += static_cast<char>(0xFF);
      Raw(static_cast<std::uint32_t>(n), 4);
    }
  }
  void Raw(std::uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) FOut += static_cast<char>((v >> (8 * i)) & 0xFF);
  }
  void Str(std::string_view s) {
    Int(static_cast<std::int64_t>(s.size()));
    FOut += s;
  }
  void Double(double d) {
    std::uint64_t v;
    std::memcpy(&v, &d, 8);
    Raw(v, 8);
  }

  void Value(const XmlVariant& v) {
    Int(static_cast<int>(v.Type()));
    switch (v.Type()) {
      case XmlVarType::Empty:
      case XmlVarType::Null: break;
      case XmlVarType::Smallint:
      case XmlVarType::Word: Raw(static_cast<std::uint64_t>(v.RawInt()), 2); break;
      case XmlVarType::Integer:
      case XmlVarType::LongWord: Raw(static_cast<std::uint64_t>(v.RawInt()), 4); break;
      case XmlVarType::Single: {
        const float f = static_cast<float>(v.RawDouble());
        std::uint32_t u;
        std::memcpy(&u, &f, 4);
        Raw(u, 4);
        break;
      }
      case XmlVarType::Double:
      case XmlVarType::Date: Double(v.RawDouble()); break;
      case XmlVarType::Currency:
      case XmlVarType::Int64: Raw(static_cast<std::uint64_t>(v.RawInt()), 8); break;
      case XmlVarType::OleStr: Str(v.ToText()); break;
      case XmlVarType::Boolean: Raw(v.RawInt() ? 0xFFFF : 0, 2); break;
      case XmlVarType::ShortInt:
      case XmlVarType::Byte: Raw(static_cast<std::uint64_t>(v.RawInt()), 1); break;
      case XmlVarType::String:
      case XmlVarType::ByteArray: Str(v.Bytes()); break;
      default: Fail(T().BinWriteValue);
    }
  }

  void NameTable(const TXmlNameTable& t) {
    Int(t.GetNameCount());
    for (int i = 0; i < t.GetNameCount(); ++i) Str(t.GetName(i));
    Int(t.GetBucketCount());
    int used = 0;
    for (int i = 0; i < t.GetBucketCount(); ++i) used += !t.GetBucket(i).empty();
    Int(used);
    for (int i = 0; i < t.GetBucketCount(); ++i) {
      const auto& b = t.GetBucket(i);
      if (b.empty()) continue;
      Int(i);
      Int(static_cast<std::int64_t>(b.size()));
      for (int id : b) Raw(static_cast<std::uint32_t>(id), 4);
    }
  }

  void Node(TXmlNode& n, int depth) {
    if (depth > XmlMaxDepth) Fail(T().TooDeep);
    Int(n.GetAttrCount());
    for (const auto& a : n.Attrs()) {
      Int(a.NameID);
      Value(a.Value);
    }
    const TXmlNodeList* list = n.ChildListOrNull();
    const int count = list ? list->GetCount() : 0;
    Int(count);
    for (int i = 0; i < count; ++i) {
      IXmlNode c = list->GetItem(i);
      const int type = c->GetNodeType();
      switch (type) {
        case XML_ELEMENT_NODE: {
          auto& e = static_cast<TXmlElement&>(*c);
          FOut += static_cast<char>(type);
          Int(e.GetNodeNameID());
          Value(e.OwnValue());
          Node(e, depth + 1);
          break;
        }
        case XML_TEXT_NODE:
          FOut += static_cast<char>(type);
          Value(static_cast<TXmlText&>(*c).FValue);
          break;
        case XML_CDATA_SECTION_NODE:
        case XML_COMMENT_NODE:
          FOut += static_cast<char>(type);
          Str(static_cast<TXmlCharacterData&>(*c).FData);
          break;
        case XML_PROCESSING_INSTRUCTION_NODE: {
          auto& p = static_cast<TXmlProcessingInstruction&>(*c);
          FOut += static_cast<char>(type);
          Int(p.GetNodeNameID());
          Str(p.FData);
          Node(p, depth + 1);
          break;
        }
        default: Fail(T().BinWriteNode);
      }
    }
  }

 private:
  std::string& FOut;
};

class TXmlBinaryReader {
 public:
  explicit TXmlBinaryReader(std::string_view data) : FData(data) {}

  std::uint32_t Options = 0;

  void Need(std::size_t n) {
    if (FData.size() - FPos < n) Fail(T().BinReadData);
  }
  std::size_t Left() const { return FData.size() - FPos; }
  std::uint8_t Byte() {
    Need(1);
    return static_cast<std::uint8_t>(FData[FPos++]);
  }
  std::uint64_t Raw(int bytes) {
    Need(static_cast<std::size_t>(bytes));
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<std::uint64_t>(static_cast<std::uint8_t>(FData[FPos + i])) << (8 * i);
    FPos += static_cast<std::size_t>(bytes);
    return v;
  }
  std::int32_t Int() {
    const std::uint8_t b = Byte();
    if (b < 0x80) return b;
    if (b == 0xFF) return static_cast<std::int32_t>(static_cast<std::uint32_t>(Raw(4)));
    return ((b & 0x7F) << 8) | Byte();
  }
  // A count or length that must fit in what is left, each item taking at least
  // minItemSize bytes.
  std::size_t Count(std::size_t minItemSize) {
    const std::int32_t n = Int();
    if (n < 0 || static_cast<std::size_t>(n) > Left() / minItemSize) Fail(T().BinReadData);
    return static_cast<std::size_t>(n);
  }
  std::string Str() {
    const std::size_t n = Count(1);
    std::string s(FData.substr(FPos, n));
    FPos += n;
    return s;
  }
  double Double() {
    const std::uint64_t v = Raw(8);
    double d;
    std::memcpy(&d, &v, 8);
    return d;
  }

  XmlVariant Value() {
    const std::int32_t code = Int();
    if (code < 0 || code > 0xFFFF) Fail(T().BinReadValue);
    switch (static_cast<XmlVarType>(code)) {
      case XmlVarType::Empty: return {};
      case XmlVarType::Null: return XmlVariant::Null();
      case XmlVarType::Smallint: return XmlVariant::OfInteger(XmlVarType::Smallint, static_cast<std::int16_t>(Raw(2)));
      case XmlVarType::Word: return XmlVariant::OfInteger(XmlVarType::Word, static_cast<std::int64_t>(Raw(2)));
      case XmlVarType::Integer: return XmlVariant::OfInteger(XmlVarType::Integer, static_cast<std::int32_t>(Raw(4)));
      case XmlVarType::LongWord: return XmlVariant::OfInteger(XmlVarType::LongWord, static_cast<std::int64_t>(Raw(4)));
      case XmlVarType::Single: {
        const auto u = static_cast<std::uint32_t>(Raw(4));
        float f;
        std::memcpy(&f, &u, 4);
        return XmlVariant::OfSingle(f);
      }
      case XmlVarType::Double: return XmlVariant(Double());
      case XmlVarType::Date: return XmlVariant::OfDate(Double());
      case XmlVarType::Currency: return XmlVariant::OfCurrency(static_cast<std::int64_t>(Raw(8)));
      case XmlVarType::Int64: return XmlVariant::OfInteger(XmlVarType::Int64, static_cast<std::int64_t>(Raw(8)));
      case XmlVarType::OleStr: return XmlVariant(std::u16string_view(AnsiToUtf16(Str())));
      case XmlVarType::Boolean: return XmlVariant(Raw(2) != 0);
      case XmlVarType::ShortInt: return XmlVariant::OfInteger(XmlVarType::ShortInt, static_cast<std::int8_t>(Raw(1)));
      case XmlVarType::Byte: return XmlVariant::OfInteger(XmlVarType::Byte, static_cast<std::int64_t>(Raw(1)));
      case XmlVarType::String: return XmlVariant(Str());
      case XmlVarType::ByteArray: return XmlVariant::OfBytes(Str());
    }
    Fail(T().BinReadValue);
  }

  IXmlNameTable NameTable() {
    const std::size_t count = Count(1);
    std::vector<std::string> names;
    names.reserve(count);
    for (std::size_t i = 0; i < count; ++i) names.push_back(Str());
    const std::int32_t buckets = Int();
    if (buckets < 1 || buckets > 65536) Fail(T().BinBadNames);
    auto table = std::make_shared<TXmlNameTable>(buckets);
    if (names.size() < 5) Fail(T().BinBadNames);
    for (std::size_t i = 0; i < names.size(); ++i)
      if (table->GetID(names[i]) != static_cast<int>(i)) Fail(T().BinBadNames);  // empty, reordered or repeated
    // The stored buckets must be exactly the ones the names hash to.
    const std::size_t used = Count(1);
    std::vector<bool> seen(names.size(), false);
    std::size_t ids = 0;
    for (std::size_t i = 0; i < used; ++i) {
      const std::int32_t index = Int();
      if (index < 0 || index >= buckets) Fail(T().BinBadNames);
      const std::size_t n = Count(4);
      for (std::size_t k = 0; k < n; ++k) {
        const auto id = static_cast<std::int32_t>(static_cast<std::uint32_t>(Raw(4)));
        if (id < 0 || static_cast<std::size_t>(id) >= names.size() || seen[static_cast<std::size_t>(id)] ||
            TXmlNameTable::Hash(names[static_cast<std::size_t>(id)]) % static_cast<std::uint32_t>(buckets) !=
                static_cast<std::uint32_t>(index))
          Fail(T().BinBadNames);
        seen[static_cast<std::size_t>(id)] = true;
        ++ids;
      }
    }
    if (ids != names.size()) Fail(T().BinBadNames);
    return table;
  }

  int NameID(const TXmlNameTable& table) {
    const std::int32_t id = Int();
    if (id < 0 || id >= table.GetNameCount()) Fail(T().BinBadNames);
    return id;
  }

  void Node(TXmlNode& n, int depth) {
    if (depth > XmlMaxDepth) Fail(T().TooDeep);
    const TXmlNameTable& table = *n.FNameTable;
    const std::size_t attrs = Count(2);
    for (std::size_t i = 0; i < attrs; ++i) {
      const int id = NameID(table);
      XmlVariant v = Value();
      if (TXmlAttr* a = n.FindAttr(id)) {
        a->Value = std::move(v);
      } else {
        n.FAttrs.push_back({id, std::move(v)});
      }
    }
    const std::size_t children = Count(1);
    for (std::size_t i = 0; i < children; ++i) {
      const std::uint8_t type = Byte();
      switch (type) {
        case XML_ELEMENT_NODE: {
          auto e = std::make_shared<TXmlElement>(n.FNameTable, NameID(table));
          e->SetOwnValue(Value());
          Add(n, e);
          Node(*e, depth + 1);
          break;
        }
        case XML_TEXT_NODE: Add(n, std::make_shared<TXmlText>(n.FNameTable, Value())); break;
        case XML_CDATA_SECTION_NODE: Add(n, std::make_shared<TXmlCDATASection>(n.FNameTable, Str())); break;
        case XML_COMMENT_NODE: Add(n, std::make_shared<TXmlComment>(n.FNameTable, Str())); break;
        case XML_PROCESSING_INSTRUCTION_NODE: {
          const int id = NameID(table);
          auto p = std::make_shared<TXmlProcessingInstruction>(n.FNameTable, id, Str());
          Add(n, p);
          Node(*p, depth + 1);
          break;
        }
        default: Fail(T().BinReadNode);
      }
    }
  }

  static void Add(TXmlNode& parent, const IXmlNode& node) { parent.MakeChildList().Insert(-1, node); }

 private:
  std::string_view FData;
  std::size_t FPos = 0;
};

void TXmlDocument::LoadBinaryFromString(std::string_view data) {
  Reset();
  if (data.substr(0, kBinaryMagic.size()) != kBinaryMagic) Fail(T().BinReadData);
  TXmlBinaryReader r(data.substr(kBinaryMagic.size()));
  r.Options = static_cast<std::uint32_t>(r.Raw(4));
  FBinaryOptions = r.Options;
  FNameTable = r.NameTable();
  r.Node(*this, 0);
}

std::string TXmlDocument::SaveBinaryToString(std::uint32_t options) {
  std::string out(kBinaryMagic);
  TXmlBinaryWriter w(out);
  w.Raw(options, 4);
  w.NameTable(*FNameTable);
  w.Node(*this, 0);
  return out;
}

}  // namespace ond
