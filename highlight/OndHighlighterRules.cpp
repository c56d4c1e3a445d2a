#include "highlight/OndHighlighterRules.h"

#include <algorithm>

#include "platform/core/CodePage.h"

namespace ond {

namespace {

// Code page 1251 upper case of every byte, so that folding a character while
// tokenizing is one look-up.
const unsigned char* UpperTable() {
  static const std::array<unsigned char, 256> table = [] {
    std::array<unsigned char, 256> t{};
    for (int c = 0; c < 256; ++c) t[static_cast<std::size_t>(c)] = AnsiUpperChar(static_cast<unsigned char>(c));
    return t;
  }();
  return table.data();
}

bool IsBlank(char C) noexcept { return C == ' ' || C == '\t'; }

// Every ASCII punctuation character but the underscore.
constexpr std::string_view kDefaultDelimiters = "!\"#$%&'()*+,-./:;<=>?@[\\]^`{|}~";
// What preparing adds to every range's delimiters: the line end and the blanks.
constexpr char kAlwaysDelimiters[] = {'\0', '\t', '\n', '\r', ' '};

bool AnyLeftBreakTerm(const TTokenNode& Node) {
  if (Node.LeftBreak == bkAny) return true;
  for (int i = 0; i < Node.NextNodes.NodeCount(); ++i)
    if (AnyLeftBreakTerm(*Node.NextNodes.Nodes(i))) return true;
  return false;
}

// The range's own parser in a slot, or null for a shared one.
TParser* OwnParserOf(const TAbstractParser* P, const std::vector<std::unique_ptr<TParser>>& Own) {
  for (const auto& o : Own)
    if (o.get() == P) return o.get();
  return nullptr;
}

void InitRuleAttribs(TOndAttributes& A) {
  A.SetForeground(clWindowText);
  A.SetBackground(clWindow);
}

}  // namespace

TOndRule::TOndRule()
    : FEffective(std::make_unique<TOndHighlighterAttributes>(std::string())),
      FAttribs(std::make_unique<TOndAttributes>()) {
  InitRuleAttribs(*FAttribs);
}

TOndHighlighterAttributes* TOndRule::GetAttribs() {
  FEffective->Assign(*FAttribs);
  // The root is its own parent: its parent flags have nothing to refer to.
  TOndRange* parent = FParent;
  if (parent && static_cast<TOndRule*>(parent) != this) {
    if (FAttribs->ParentForeground) FEffective->SetForeground(parent->GetAttribs()->GetForeground());
    if (FAttribs->ParentBackground) FEffective->SetBackground(parent->GetAttribs()->GetBackground());
  }
  return FEffective.get();
}

TOndKeyList::TOndKeyList(std::string_view WordsText) {
  std::size_t i = 0;
  while (i < WordsText.size()) {
    std::size_t e = i;
    while (e < WordsText.size() && WordsText[e] != '\r' && WordsText[e] != '\n') ++e;
    Words.emplace_back(WordsText.substr(i, e - i));
    if (e < WordsText.size() && WordsText[e] == '\r') ++e;
    if (e < WordsText.size() && WordsText[e] == '\n') ++e;
    i = e;
  }
}

bool TParser::GetToken(const TOndRange& Range, const char* Line, int Len, int& Run, TOndToken*& Token) const {
  const int s = Run;
  if (FRoot) {
    const TTokenNode* node = FRoot.get();
    const TTokenNode* best = nullptr;
    int bestPos = s;
    int p = s;
    if (Range.NodeMatches(*node, Line, Len, p, s)) best = node;
    // The longest symbol wins: walk the tree as far as the text follows it.
    while (node->NextNodes.NodeCount() > 0 && p + 1 < Len) {
      const TTokenNode* next = node->NextNodes.FindNode(Range.FoldChar(Line[p + 1]));
      if (!next) break;
      ++p;
      node = next;
      if (Range.NodeMatches(*node, Line, Len, p, s)) {
        best = node;
        bestPos = p;
      }
    }
    if (best) {
      const int after = bestPos + 1;
      if (best->BreakKind == bkAny || after >= Len || Range.IsDelimiter(Line[after])) {
        Run = after;
        Token = best->Token;
        return true;
      }
    }
  }
  for (TOndSet* set : FSets) {
    int r = s + 1;
    while (r < Len && set->FMatch[static_cast<unsigned char>(Line[r])]) ++r;
    if (set->Quantity != 0 && set->Quantity != r - s) continue;
    if (r >= Len || FAllowed[static_cast<unsigned char>(Line[r])]) {
      Run = r;
      Token = set->FToken.get();
      return true;
    }
  }
  Run = s + 1;
  return false;
}

bool TDefaultParser::GetToken(const TOndRange&, const char*, int Len, int& Run, TOndToken*&) const {
  if (Run < Len) ++Run;
  return false;
}

bool TDelimitersParser::GetToken(const TOndRange&, const char*, int Len, int& Run, TOndToken*& Token) const {
  if (Run < Len) ++Run;
  Token = FToken.get();
  return true;
}

TOndRange::TOndRange(std::string_view OpenText, std::string_view CloseText)
    : Delimiters(kDefaultDelimiters), FUpper(UpperTable()) {
  AddCoupleTags(OpenText, CloseText);
}

TOndRange::~TOndRange() {
  Unprepare();
  Clear();
}

void TOndRange::AddCoupleTags(std::string_view OpenText, std::string_view CloseText) {
  const int o = FOpenToken.AddSymbol(std::string(OpenText));
  const int c = FCloseToken.AddSymbol(std::string(CloseText));
  if (o != c) throw Exception("TOndRange.AddCoupleTags: different multitags count");
}

int TOndRange::Depth() const noexcept {
  int d = 0;
  for (const TOndRange* r = this; r->FParent && r->FParent != r; r = r->FParent) ++d;
  return d;
}

int TOndRange::Height() const noexcept {
  int h = 0;
  for (const auto& r : FRanges) h = std::max(h, r->Height() + 1);
  return h;
}

TOndRange* TOndRange::AddRange(std::unique_ptr<TOndRange> Range) {
  if (Depth() + 1 + Range->Height() > MaxRuleDepth)
    throw Exception("TOndRange.AddRange: ranges nested more than " + std::to_string(MaxRuleDepth) + " deep");
  Range->FParent = this;
  FRanges.push_back(std::move(Range));
  return FRanges.back().get();
}

TOndKeyList* TOndRange::AddKeyList(std::unique_ptr<TOndKeyList> KeyList) {
  KeyList->FParent = this;
  FKeyLists.push_back(std::move(KeyList));
  return FKeyLists.back().get();
}

TOndSet* TOndRange::AddSet(std::unique_ptr<TOndSet> Set) {
  Set->FParent = this;
  FSets.push_back(std::move(Set));
  return FSets.back().get();
}

void TOndRange::Clear() {
  FOpenToken.ClearSymbols();
  FCloseToken.ClearSymbols();
  AddCoupleTags({}, {});
  FAllowPredClose = false;
  FCloseOnTerm = false;
  FCloseOnEol = false;
  Unprepare();
  for (auto& r : FRanges) r->Clear();
  FRanges.clear();
  FTokens.clear();
  FKeyLists.clear();
  FSets.clear();
}

TOndToken* TOndRange::FindToken(std::string_view Symbol) const noexcept {
  for (const auto& t : FTokens)
    if (t->FinishOnEol ? t->GetSymbol() == Symbol : t->Symbol == Symbol) return t.get();
  return nullptr;
}

TOndToken* TOndRange::AddToken(std::unique_ptr<TOndToken> Token) {
  if (TOndToken* t = FindToken(Token->GetSymbol())) return t;
  FTokens.push_back(std::move(Token));
  return FTokens.back().get();
}

void TOndRange::Unprepare() noexcept {
  // Sub-ranges first, whatever this range's state: one prepared on its own
  // must not keep tokens that its parent's next preparing would lose.
  for (auto& r : FRanges) r->Unprepare();
  if (!FPrepared) return;
  FSymbolList.fill(nullptr);
  FSkipsToStateChars = false;
  FParsers.clear();
  FDefaultToken.reset();
  FDelimitersParser.reset();
  FDefaultParser.reset();
  FTokens.clear();
  FPrepared = false;
}

std::string TOndRange::FoldString(std::string_view S) const {
  return FCaseSensitive ? std::string(S) : AnsiUpperCase(S);
}

bool TOndRange::NodeMatches(const TTokenNode& Node, const char* Line, int Len, int P, int Start) const noexcept {
  if (!Node.Token) return false;
  if (Node.BreakKind == bkTerm && P + 1 < Len && !IsDelimiter(Line[P + 1])) return false;
  switch (Node.Token->StartLine) {
    case slFirstColumn: return Start == 0;
    case slFirstNonSpace:
      for (int i = 0; i < Start; ++i)
        if (!IsBlank(Line[i])) return false;
      return true;
    default: return true;
  }
}

void TOndRange::AddRest(TTokenNode& Root, std::string_view Rest, TOndToken* Token, TOndBreakKind BreakKind) {
  TTokenNode* node = &Root;
  for (char c : Rest) {
    TTokenNode* next = node->NextNodes.FindNode(c);
    if (!next) next = node->NextNodes.AddNode(std::make_unique<TTokenNode>(c));
    node = next;
  }
  node->Token = Token;
  node->BreakKind = BreakKind;
  node->LeftBreak = Token->LeftBreak;
}

void TOndRange::BuildTrees() {
  // Symbols sorted by their bytes, so that a one-character symbol comes
  // before the longer ones it begins and makes the root of their tree.
  std::sort(FTokens.begin(), FTokens.end(),
            [](const std::unique_ptr<TOndToken>& a, const std::unique_ptr<TOndToken>& b) {
              return a->Symbol < b->Symbol;
            });
  for (const auto& t : FTokens) {
    const std::string& s = t->Symbol;
    // The line end is no character of a symbol: such a symbol never matches.
    if (s.empty() || s.find('\0') != std::string::npos) continue;
    const TOndBreakKind bk = t->RightBreak != bkUnspecified ? t->RightBreak : IsDelimiter(s.back()) ? bkAny : bkTerm;
    const auto slot = static_cast<unsigned char>(FoldChar(s[0]));
    if (!FSymbolList[slot]) {
      if (s.size() == 1) {
        FParsers.push_back(std::make_unique<TParser>(s[0], bk, t.get()));
      } else {
        FParsers.push_back(std::make_unique<TParser>(s[0], bk, FDefaultToken.get()));
        AddRest(*FParsers.back()->FRoot, FoldString(std::string_view(s).substr(1)), t.get(), bk);
      }
      FSymbolList[slot] = FParsers.back().get();
      continue;
    }
    auto* parser = static_cast<TParser*>(const_cast<TAbstractParser*>(FSymbolList[slot]));
    if (s.size() > 1) {
      AddRest(*parser->FRoot, FoldString(std::string_view(s).substr(1)), t.get(), bk);
    } else if (parser->FRoot->Token == FDefaultToken.get()) {
      // Without case, "e" sorts after "Else" and finds the root already made
      // as a stand-in; it still is a symbol of its own.
      parser->FRoot->Token = t.get();
      parser->FRoot->BreakKind = bk;
      parser->FRoot->LeftBreak = t->LeftBreak;
    }
  }
}

void TOndRange::AddSetsToSlots() {
  for (auto& set : FSets) {
    set->FToken = std::make_unique<TOndToken>(&set->Attribs());
    for (int c = 0; c < 256; ++c) set->FMatch[static_cast<std::size_t>(c)] = c != 0 && set->CharSet.Contains(static_cast<char>(c));
  }
  for (int c = 1; c < 256; ++c) {
    for (auto& set : FSets) {
      if (!set->Enabled || !set->FMatch[static_cast<std::size_t>(c)]) continue;
      const auto slot = static_cast<unsigned char>(FoldChar(static_cast<char>(c)));
      TParser* parser = OwnParserOf(FSymbolList[slot], FParsers);
      if (!parser) {
        FParsers.push_back(std::make_unique<TParser>(set.get()));
        FSymbolList[slot] = FParsers.back().get();
        continue;
      }
      if (std::find(parser->FSets.begin(), parser->FSets.end(), set.get()) == parser->FSets.end())
        parser->FSets.push_back(set.get());
    }
  }
}

void TOndRange::Prepare(TOndRange* ParentRange) {
  Unprepare();
  FDefaultToken = std::make_unique<TOndToken>(GetAttribs());
  FDelimitersParser = std::make_unique<TDelimitersParser>(std::make_unique<TOndToken>(GetAttribs()));
  FDefaultParser = std::make_unique<TDefaultParser>(std::make_unique<TOndToken>(GetAttribs()));
  for (char c : kAlwaysDelimiters) Delimiters.Include(c);
  for (int c = 0; c < 256; ++c) FDelims[static_cast<std::size_t>(c)] = Delimiters.Contains(static_cast<char>(c));
  FTermStart.fill(false);

  // A range prepared on its own ties its close symbols to the tokens its
  // parent already has for them.
  if (!ParentRange && FParent && FParent != this) {
    for (int i = 0; i < FCloseToken.SymbolCount(); ++i) {
      if (FCloseToken.GetSymbol(i).empty()) continue;
      TOndToken* parentToken = FParent->FindToken(FCloseToken.GetSymbol(i));
      if (!parentToken) throw Exception("TOndRange.Prepare: error preparing custom range");
      TOndToken* close = AddToken(std::make_unique<TOndToken>(FCloseToken, i));
      if (!close->Attribs) close->Attribs = GetAttribs();
      parentToken->ClosingToken = close;
    }
  }

  if (Enabled) {
    for (auto& r : FRanges) {
      if (!r->Enabled) continue;
      for (int i = 0; i < r->FOpenToken.SymbolCount(); ++i) {
        TOndToken* open = AddToken(std::make_unique<TOndToken>(r->FOpenToken, i));
        if (!open->Attribs) open->Attribs = r->GetAttribs();
        open->OpenRange = r.get();
        TOndToken* close = r->AddToken(std::make_unique<TOndToken>(r->FCloseToken, i));
        if (!close->Attribs) close->Attribs = r->GetAttribs();
        open->ClosingToken = close;
      }
      r->Prepare(this);
    }
    for (auto& k : FKeyLists) {
      if (!k->Enabled) continue;
      for (const std::string& w : k->Words) {
        if (TOndToken* t = FindToken(w))
          t->Attribs = k->GetAttribs();  // a later key list wins over what came before
        else
          FTokens.push_back(std::make_unique<TOndToken>(k->GetAttribs(), w));
      }
    }
    BuildTrees();
    if (!FSets.empty()) AddSetsToSlots();
    for (int c = 0; c < 256; ++c) {
      const TParser* p = OwnParserOf(FSymbolList[static_cast<std::size_t>(c)], FParsers);
      if (p && p->FRoot) FTermStart[static_cast<std::size_t>(c)] = AnyLeftBreakTerm(*p->FRoot);
    }
    for (auto& p : FParsers) {
      for (int c = 0; c < 256; ++c) p->FAllowed[static_cast<std::size_t>(c)] = FDelims[static_cast<std::size_t>(c)];
      for (TOndSet* set : p->FSets)
        for (int c = 0; c < 256; ++c)
          if (set->CharSet.Contains(static_cast<char>(c))) p->FAllowed[static_cast<std::size_t>(c)] = false;
      p->FAllowed[0] = true;  // the line end always ends a run
    }
  }
  for (int c = 0; c < 256; ++c) {
    auto& slot = FSymbolList[static_cast<std::size_t>(c)];
    if (!slot)
      slot = FDelims[static_cast<std::size_t>(c)] ? static_cast<const TAbstractParser*>(FDelimitersParser.get())
                                                  : FDefaultParser.get();
  }
  FindStateChars();
  FPrepared = true;
}

void TOndRange::FindStateChars() {
  FStateChars.fill(false);
  FSkipsToStateChars = false;
  // Every delimiter may end such a range.
  if (FCloseOnTerm) return;
  // Slots (folded bytes) where a state-changing token may begin: the first
  // byte of each close symbol (whichever of them closes it this time) and
  // every slot whose symbol tree holds a token that enters a range.
  std::array<bool, 256> slots{};
  for (int i = 0; i < FCloseToken.SymbolCount(); ++i) {
    const std::string& s = FCloseToken.GetSymbol(i);
    if (!s.empty()) slots[static_cast<unsigned char>(FoldChar(s[0]))] = true;
  }
  // The characters a symbol of a slot outside those can reach over, past
  // its first one.
  std::array<bool, 256> inner{};
  std::vector<const TTokenNode*> stack;
  for (int c = 0; c < 256; ++c) {
    const TParser* p = OwnParserOf(FSymbolList[static_cast<std::size_t>(c)], FParsers);
    if (!p || !p->FRoot) continue;
    bool enters = false;
    std::vector<char> chars;
    stack.assign(1, p->FRoot.get());
    while (!stack.empty()) {
      const TTokenNode* n = stack.back();
      stack.pop_back();
      if (n->Token && n->Token->OpenRange) enters = true;
      for (int i = 0; i < n->NextNodes.NodeCount(); ++i) {
        chars.push_back(n->NextNodes.Nodes(i)->Char);
        stack.push_back(n->NextNodes.Nodes(i));
      }
    }
    if (enters) {
      slots[static_cast<std::size_t>(c)] = true;
    } else {
      for (char ch : chars) inner[static_cast<unsigned char>(ch)] = true;
    }
  }
  FPlainStops.fill(nullptr);
  FStateStops.fill(nullptr);
  for (int c = 0; c < 256; ++c) {
    const auto slot = static_cast<unsigned char>(FoldChar(static_cast<char>(c)));
    FStateChars[static_cast<std::size_t>(c)] = slots[slot];
    const TParser* p = OwnParserOf(FSymbolList[slot], FParsers);
    if (slots[slot] && p && p->FRoot && p->FRoot->Token && p->FRoot->Token->StartLine == slAnywhere) {
      if (p->FSets.empty()) FStateStops[static_cast<std::size_t>(c)] = p->FRoot.get();
      if (p->FRoot->BreakKind == bkAny || p->FRoot->BreakKind == bkTerm)
        FPlainStops[static_cast<std::size_t>(c)] = p->FRoot.get();
    }
  }
  // A slot that was taken for a state slot after its tree's characters were
  // counted as inner ones keeps them counted: that only makes the check
  // stricter. Each state byte must end whatever token began before it: a
  // plain run (it is a delimiter or begins a term), a set run (no set holds
  // it) and a symbol (none of another slot holds it past its first byte).
  for (int c = 0; c < 256; ++c) {
    if (!FStateChars[static_cast<std::size_t>(c)]) continue;
    const char ch = static_cast<char>(c);
    if (!IsDelimiter(ch) && !IsTermStart(ch)) return;
    if (inner[static_cast<unsigned char>(FoldChar(ch))]) return;
    for (const auto& set : FSets)
      if (c != 0 && set->CharSet.Contains(ch)) return;
  }
  FSkipsToStateChars = true;
  FStateBytes.Build(FStateChars);
}

}  // namespace ond
