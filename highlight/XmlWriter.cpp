// Writing a node and its subtree as XML text.
#include "highlight/XmlModel.h"

#include "highlight/XmlModelShared.h"

namespace ond {

using namespace xmlmodel;

// ---------------------------------------------------------------------------
// Writer

class TXmlWriter {
 public:
  TXmlWriter(std::string& out, bool preserve) : FOut(out), FPreserve(preserve) {}

  void Escape(std::string_view s) {
    std::size_t from = 0;
    for (;;) {
      const std::size_t at = s.find_first_of("\"&<>", from);
      if (at == std::string_view::npos) {
        FOut.append(s.data() + from, s.size() - from);
        return;
      }
      FOut.append(s.data() + from, at - from);
      switch (s[at]) {
        case '"': FOut += "&quot;"; break;
        case '&': FOut += "&amp;"; break;
        case '<': FOut += "&lt;"; break;
        default: FOut += "&gt;"; break;
      }
      from = at + 1;
    }
  }

  void Attrs(const TXmlNode& n) {
    for (const auto& a : n.FAttrs) {
      FOut += ' ';
      FOut += n.FNameTable->GetName(a.NameID);
      FOut += "=\"";
      if (a.Value.Type() == XmlVarType::String) {
        Escape(a.Value.Bytes());
      } else {
        Escape(a.Value.ToText());
      }
      FOut += '"';
    }
  }

  void Indent(int level) {
    static const std::string_view unit = XmlIndentUnit;
    for (int i = 0; i < level; ++i) FOut += unit;
  }

  void Children(TXmlNode& n, int level, int depth) {
    if (n.FChilds)
      for (auto& c : n.FChilds->FItems) Node(*c, level, depth);
  }

  void Node(TXmlNode& n, int level, int depth) {
    if (depth > XmlMaxDepth) Fail(T().TooDeep);
    switch (n.GetNodeType()) {
      case XML_ELEMENT_NODE: Element(static_cast<TXmlElement&>(n), level, depth); break;
      case XML_TEXT_NODE: {
        const XmlVariant& v = static_cast<TXmlText&>(n).FValue;
        if (v.Type() == XmlVarType::String) {
          Escape(v.Bytes());
        } else {
          Escape(v.ToText());
        }
        break;
      }
      case XML_CDATA_SECTION_NODE: {
        std::string_view text = static_cast<TXmlCDATASection&>(n).FData;
        for (;;) {
          const std::size_t at = text.find("]]>");
          FOut += "<![CDATA[";
          if (at == std::string_view::npos) {
            FOut += text;
            FOut += "]]>";
            break;
          }
          FOut += text.substr(0, at + 2);
          FOut += "]]>";
          text.remove_prefix(at + 2);
        }
        break;
      }
      case XML_COMMENT_NODE:
        FOut += "<!--";
        FOut += static_cast<TXmlComment&>(n).FData;
        FOut += "-->";
        break;
      case XML_PROCESSING_INSTRUCTION_NODE: {
        auto& pi = static_cast<TXmlProcessingInstruction&>(n);
        FOut += "<?";
        FOut += pi.GetNodeName();
        if (!pi.FData.empty()) {
          FOut += ' ';
          FOut += pi.FData;
        } else {
          Attrs(pi);
        }
        FOut += "?>";
        break;
      }
      case XML_DOCUMENT_NODE: Children(n, level, depth + 1); break;
      default: break;
    }
  }

  void Element(TXmlElement& e, int level, int depth) {
    const std::string& name = e.FNameTable->GetName(e.FNameID);
    if (!FPreserve) {
      FOut += "\r\n";
      Indent(level);
    }
    FOut += '<';
    FOut += name;
    Attrs(e);
    const std::size_t mark = FOut.size();
    FOut += '>';
    if (e.FChilds && e.FChilds->GetCount() > 0) {
      Children(e, level + 1, depth + 1);
    } else if (e.OwnValue().Type() == XmlVarType::String) {
      Escape(e.OwnValue().Bytes());
    } else {
      Escape(e.OwnValue().ToText());
    }
    if (FOut.size() == mark + 1) {
      FOut.back() = '/';
      FOut += '>';
      return;
    }
    if (!FPreserve) {
      const std::string_view content(FOut.data() + mark + 1, FOut.size() - mark - 1);
      if (content.find_first_of("\r\n") != std::string_view::npos) {
        if (content.size() < 2 || content.substr(content.size() - 2) != "\r\n") FOut += "\r\n";
        Indent(level);
      }
    }
    FOut += "</";
    FOut += name;
    FOut += '>';
  }

 private:
  std::string& FOut;
  bool FPreserve;
};

std::string TXmlNode::GetXML() {
  std::string out;
  TXmlWriter w(out, PreservesWhiteSpace());
  w.Node(*this, 0, 0);
  return out;
}

}  // namespace ond
