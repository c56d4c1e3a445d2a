// Rule trees built in code for the highlighter tests (a JSON-like and a
// script-like language), a scanner that lists a line's tokens and a
// highlighter that counts the lines it scans.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "highlight/OndGenHighlighter.h"

namespace ond::test {

// A highlighter that counts the lines it is given.
class CountingHighlighter : public TOndGenHighlighter {
 public:
  void SetLine(std::string_view Text, int LineIndex) override {
    ++Lines;
    TOndGenHighlighter::SetLine(Text, LineIndex);
  }
  // Lines passed for their states only count too.
  void RangesOfLines(const std::string_view* Texts, int Count, int FirstIndex, TOndRangeState* Ends) override {
    Lines += Count;
    TOndGenHighlighter::RangesOfLines(Texts, Count, FirstIndex, Ends);
  }
  int Lines = 0;
};

struct TTok {
  std::string Text;
  int Pos = 0;
  std::string Attr;  // name of the token's attributes, "" when none
  friend bool operator==(const TTok&, const TTok&) = default;
};

inline std::ostream& operator<<(std::ostream& os, const TTok& t) {
  return os << "{\"" << t.Text << "\"@" << t.Pos << " " << t.Attr << "}";
}

// The tokens of one line scanned from State (the main rules for 0), and the
// state the line ends in.
inline std::vector<TTok> ScanLine(TOndCustomHighlighter& H, std::string_view Line, TOndRangeState State,
                                  TOndRangeState* End = nullptr) {
  if (State == 0)
    H.ResetRange();
  else
    H.SetRange(State);
  H.SetLine(Line, 0);
  std::vector<TTok> out;
  for (int guard = 0; !H.GetEol(); ++guard) {
    if (guard > static_cast<int>(Line.size()) + 2) throw std::runtime_error("scan does not end");
    TOndHighlighterAttributes* a = H.GetTokenAttribute();
    out.push_back({H.GetToken(), H.GetTokenPos(), a ? a->Name() : std::string()});
    H.Next();
  }
  if (End) *End = H.GetRange();
  return out;
}

// The texts of the non-empty tokens joined by "|".
inline std::string Texts(const std::vector<TTok>& Toks) {
  std::string s;
  for (const TTok& t : Toks) {
    if (t.Text.empty()) continue;
    if (!s.empty()) s += "|";
    s += t.Text;
  }
  return s;
}

inline TOndRange* AddRange(TOndRange& Parent, const char* Name, std::string_view Open, std::string_view Close) {
  auto r = std::make_unique<TOndRange>(Open, Close);
  r->Name = Name;
  return Parent.AddRange(std::move(r));
}

inline TOndKeyList* AddKeys(TOndRange& Parent, const char* Name, std::string_view Words) {
  auto k = std::make_unique<TOndKeyList>(Words);
  k->Name = Name;
  return Parent.AddKeyList(std::move(k));
}

inline TOndSet* AddSet(TOndRange& Parent, const char* Name, std::string_view Chars, int Quantity = 0) {
  auto s = std::make_unique<TOndSet>(TSysCharSet(Chars));
  s->Name = Name;
  s->Quantity = Quantity;
  return Parent.AddSet(std::move(s));
}

// JSON with comments: strings may run on to the next line, "//" comments end
// with the line, "/* */" comments span lines.
inline void BuildJsonRules(TOndGenHighlighter& H) {
  H.Clear();
  TOndRange& root = H.MainRules();
  root.Name = "Root";
  root.SetCaseSensitive(true);
  TOndRange* str = AddRange(root, "String", "\"", "\"");
  str->Attribs().SetForeground(clRed);
  str->SetCaseSensitive(true);
  AddKeys(*str, "Escape", "\\\"\n\\\\");
  TOndRange* line = AddRange(root, "Comment", "//", "");
  line->SetCloseOnEol(true);
  line->Attribs().SetForeground(clGreen);
  AddRange(root, "Block comment", "/*", "*/")->Attribs().SetForeground(clGreen);
  TOndKeyList* kw = AddKeys(root, "Keyword", "true\nfalse\nnull");
  kw->Attribs().SetForeground(clBlue);
  kw->Attribs().SetStyle(fsBold);
  AddKeys(root, "Symbol", "{\n}\n[\n]\n:\n,");
  AddSet(root, "Number", "0123456789");
}

// A script language: case-insensitive keywords, operators where a longer one
// extends a shorter one, one string range with two kinds of quotes that ends
// with its line, a triple-quoted string and a block comment that span lines,
// "#" comments, and a "__" symbol that may start inside a word.
inline void BuildScriptRules(TOndGenHighlighter& H) {
  H.Clear();
  TOndRange& root = H.MainRules();
  root.Name = "Root";
  root.SetCaseSensitive(false);
  TOndRange* doc = AddRange(root, "Doc string", "\"\"\"", "\"\"\"");
  doc->OpenToken().AddSymbol("'''");
  doc->CloseToken().AddSymbol("'''");
  doc->Attribs().SetForeground(clMaroon);
  TOndRange* str = AddRange(root, "String", "\"", "\"");
  str->AddCoupleTags("'", "'");
  str->SetCloseOnEol(true);
  str->Attribs().SetForeground(clRed);
  AddKeys(*str, "Escape", "\\\"\n\\'\n\\\\");
  TOndRange* comment = AddRange(root, "Comment", "#", "");
  comment->SetCloseOnEol(true);
  comment->Attribs().SetForeground(clGreen);
  AddRange(root, "Block comment", "/*", "*/")->Attribs().SetForeground(clGreen);
  AddRange(root, "Dunder", "__", "")->SetCloseOnTerm(true);
  TOndKeyList* kw = AddKeys(root, "Keyword", "if\nElse\nfunction\nreturn\nvar\ndef\nclass\nimport\nfrom\nin");
  kw->Attribs().SetForeground(clBlue);
  kw->Attribs().SetStyle(fsBold);
  AddKeys(root, "Operator", "+\n+=\n=\n==\n-\n*\n(\n)\n{\n}\n[\n]\n:\n,\n.\ne");
  AddSet(root, "Number", "0123456789");
}

}  // namespace ond::test
