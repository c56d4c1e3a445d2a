// The JSON parser: one state machine for documents and for paths into a value,
// and the path accessors built on it.
#include <cstring>
#include <utility>

#include "platform/core/BlockArena.h"
#include "platform/core/Classes.h"
#include "platform/core/CodePage.h"
#include "platform/core/SysUtils.h"
#include "services/jsonobject.h"
#include "services/jsonobjectDetail.h"

namespace ond {

using namespace jsondetail;

namespace {

// States of the machine (stored in the levels).
enum : std::uint8_t {
  sWhite = 0,
  sValue = 1,
  sFinish = 2,
  sNull = 3,
  sCommentStart = 4,
  sComment = 5,
  sLineComment = 6,
  sCommentEnd = 7,
  sString = 8,
  sEscape = 9,
  sWord = 10,
  sEscapeU = 11,
  sEscapeX = 12,
  sBool = 13,
  sNumber = 14,
  sArray = 15,
  sArrayAdded = 16,
  sArraySep = 17,
  sMemberStart = 18,
  sQuotedName = 19,
  sUnquotedName = 20,
  sNameEnd = 21,
  sMemberValue = 22,
  sMemberAdded = 23,
  sObjectSep = 24,
  sPathProperty = 25,
  sPathIndexAdded = 26,
  sPathIndexStart = 28,
  sMethodArgs = 30,
  sMethodArgAdded = 31,
};

// What a path step has selected: the value itself, a member by name or an
// element by index (-1: none given, the last one or a new one).
enum : std::uint8_t { selSelf = 0, selName = 1, selIndex = 2 };

// The end of the input (also a character 0): completes numbers, literals and
// words, and is an error anywhere else inside a value.
constexpr int kEnd = -1;

enum Action { aConsume, aRedo, aStop, aError };

bool IsSpace(int c) { return c == 8 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32; }

bool IsNumberChar(int c) {
  return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
}

// Characters that end a path name or cannot start an unquoted member name.
bool IsNameStop(int c) {
  switch (c) {
    case kEnd: case 0: case 8: case 9: case 10: case 12: case 13: case 32:
    case '"': case '(': case ')': case ',': case '.': case ':': case '[': case ']': case '{': case '}':
      return true;
    default:
      return false;
  }
}

int HexValue(int c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

struct TJsonTokenizer::Level {
  std::uint8_t State = sValue;
  std::uint8_t Saved = sValue;
  std::uint8_t Sel = selSelf;  // path: what the last step selected
  IJsonObject Value;           // the value built at this level (the result at the top)
  IJsonObject Step;            // path: call parameters
  std::u16string Name;         // member name, or the last path name
  IJsonObject Parent;          // path: the container of the selection (the value itself for selSelf)
  IJsonObject Method;          // path: the method about to be called
  std::int64_t Index = -1;     // path: the selected index

  void Reset() {
    State = Saved = sValue;
    Sel = selSelf;
    Value.reset();
    Step.reset();
    Name.clear();
    Parent.reset();
    Method.reset();
    Index = -1;
  }
};

TJsonTokenizer::TJsonTokenizer() : FLevels(new Level[MaxDepth]) {}
TJsonTokenizer::~TJsonTokenizer() {
  if (FArena) FArena->Close();
}

void TJsonTokenizer::Reset() {
  if (FArena) FArena->Close();
  FArena = nullptr;
  for (int i = 0; i < MaxDepth; ++i) FLevels[i].Reset();
  FBuffer.clear();
  FDepth = 0;
  FTokenPos = 0;
  FCharOffset = 0;
  FError = jteSuccess;
  FEscapeChar = 0;
  FQuote = 0;
  FEscapeReturn = 0;
  FLiteral = nullptr;
  FStopped = FStoppedAtEnd = FCalled = false;
  FArgCount = 0;
  FChild.reset();
  FLine = 1;
  FColumn = 0;
}

struct TJsonMachine {
  using Level = TJsonTokenizer::Level;

  TJsonTokenizer& T;
  bool Strict;
  const IJsonObject& Self;
  unsigned Options;
  const IJsonObject& PutValue;
  TJsonDataType Type;

  Level& Cur() { return T.FLevels[T.FDepth]; }

  // A document's values and members come from the tokenizer's arena; those a
  // path makes go into a tree that lives on, and come from the heap.
  TBlockArena* Arena() {
    if (Self) return nullptr;
    if (!T.FArena) T.FArena = TBlockArena::Create();
    return T.FArena;
  }
  IJsonObject New(TJsonDataType type) { return TJsonObject::CreateIn(Arena(), type); }
  IJsonObject NewString(std::u16string s) {
    IJsonObject v = New(jdtString);
    v->FString = std::move(s);
    return v;
  }
  IJsonObject NewBool(bool b) {
    IJsonObject v = New(jdtBoolean);
    v->FValue.b = b;
    return v;
  }
  // A member for a table the parse made.
  TJsonAvlEntry* NewEntry(TJsonTableString& table, std::u16string name, IJsonObject value) {
    TBlockArena* arena = Arena();
    if (!arena || (table.FArena && table.FArena != arena))
      return new TJsonAvlEntry(std::move(name), std::move(value));
    if (!table.FArena) {
      table.FArena = arena;
      arena->Hold();
    }
    auto* e = new (arena->TakeUnheld(sizeof(TJsonAvlEntry))) TJsonAvlEntry(std::move(name), std::move(value));
    e->FInArena = true;
    return e;
  }
  // The value of a collected number, nil when malformed or too large.
  IJsonObject Number(const std::u16string& t) {
    const NumberShape shape = ReadNumberShape(t.data(), t.size());
    if (!shape.Valid) return nullptr;
    std::int64_t i = 0;
    IJsonObject v;
    if (!shape.Point && !shape.Exponent) {
      if (DigitsToInt64(t.data(), t.size(), i)) {
        v = New(jdtInteger);
        v->FValue.i = i;
        return v;
      }
    } else if (!shape.Exponent && shape.FractionDigits <= 4) {
      static const std::int64_t scale[] = {10000, 1000, 100, 10, 1};
      if (DigitsToInt64(t.data(), t.size(), i) && !__builtin_mul_overflow(i, scale[shape.FractionDigits], &i)) {
        v = New(jdtCurrency);
        v->FValue.i = i;
        return v;
      }
    }
    double d = 0;
    if (!TextToDouble(t.data(), t.size(), d)) return nullptr;
    v = New(jdtDouble);
    v->FValue.d = d;
    return v;
  }
  bool PathMode() const { return Self && T.FDepth == 0; }
  Action Fail(int c, int code) {
    T.FError = c == kEnd ? jteEndOfText : code;
    return aError;
  }
  Action Push(Level& L, std::uint8_t parentState, std::uint8_t childState) {
    if (T.FDepth + 1 >= TJsonTokenizer::MaxDepth) {
      T.FError = jteDepth;
      return aError;
    }
    L.State = parentState;
    Level& child = T.FLevels[++T.FDepth];
    child.Reset();
    child.State = childState;
    return aRedo;
  }
  void Finish(Level& L, IJsonObject v) {
    L.Value = std::move(v);
    L.State = sWhite;
    L.Saved = sFinish;
  }
  // Does c close the container around an unquoted word?
  bool ClosesWord(int c) const {
    if (c == ',' || c == kEnd) return true;
    if (T.FDepth == 0) return false;
    switch (T.FLevels[T.FDepth - 1].State) {
      case sArrayAdded: return c == ']';
      case sMemberAdded: return c == '}';
      case sPathIndexAdded: return c == ']';
      case sMethodArgAdded: return c == ')';
      default: return false;
    }
  }

  Action Step(int c);
  Action PathStep(Level& L, int c);
  Action Literal(Level& L, int c);
  IJsonObject Read(Level& L, int& err);
  bool Store(Level& L, const IJsonObject& v);
  Action Resolve(Level& L, int c, TJsonDataType want);
  Action Final(Level& L, int c);
  Action CallMethod(Level& L, const IJsonObject& method, const IJsonObject& holder, const IJsonObject& params,
                    IJsonObject& result);
};

Action TJsonMachine::Step(int c) {
  Level& L = Cur();
  std::u16string& buf = T.FBuffer;
  switch (L.State) {
    case sWhite:
      if (IsSpace(c)) return aConsume;
      if (c == '/') {
        L.State = sCommentStart;
        return aConsume;
      }
      L.State = L.Saved;
      return aRedo;
    case sCommentStart:
      if (c == '*') {
        L.State = sComment;
        return aConsume;
      }
      if (c == '/') {
        L.State = sLineComment;
        return aConsume;
      }
      return Fail(c, jteComment);
    case sComment:
      if (c == kEnd) return Fail(c, jteEndOfText);
      if (c == '*') L.State = sCommentEnd;
      return aConsume;
    case sCommentEnd:
      if (c == kEnd) return Fail(c, jteEndOfText);
      // Any run of stars before the slash ends the comment ("/** a **/").
      if (c != '*') L.State = c == '/' ? sWhite : sComment;
      return aConsume;
    case sLineComment:
      if (c == kEnd) {
        L.State = sWhite;
        return aRedo;
      }
      if (c == 10) L.State = sWhite;
      return aConsume;

    case sValue:
      if (PathMode()) {
        L.Sel = selSelf;
        L.Parent = Self;
        if (IsNameStop(c) || c == '[') {
          L.State = sPathProperty;
          return aRedo;
        }
        buf.clear();
        L.State = sWord;
        return aRedo;
      }
      switch (c) {
        case '"':
        case '\'':
          T.FQuote = static_cast<char16_t>(c);
          buf.clear();
          L.State = sString;
          return aConsume;
        case '{':
          L.Value = New(jdtObject);
          L.State = sWhite;
          L.Saved = sMemberStart;
          return aConsume;
        case '[':
          L.Value = New(jdtArray);
          L.State = sWhite;
          L.Saved = sArray;
          return aConsume;
        case 'n':
        case 'N':
          buf.clear();
          T.FLiteral = "null";
          T.FTokenPos = 0;
          L.State = sNull;
          return aRedo;
        case 't':
        case 'T':
        case 'f':
        case 'F':
          buf.clear();
          T.FLiteral = (c == 't' || c == 'T') ? "true" : "false";
          T.FTokenPos = 0;
          L.State = sBool;
          return aRedo;
        case kEnd:
          return Fail(c, jteEndOfText);
        default:
          buf.clear();
          if (c == '-' || (c >= '0' && c <= '9')) {
            buf += static_cast<char16_t>(c);
            L.State = sNumber;
            return aConsume;
          }
          if (Strict) return Fail(c, jteUnquoted);
          L.State = sWord;
          return aRedo;
      }

    case sNull:
    case sBool:
      return Literal(L, c);

    case sString:
      if (c == T.FQuote) {
        // The token's text moves into the value: a long string is never
        // held twice.
        Finish(L, NewString(std::move(buf)));
        buf.clear();
        return aConsume;
      }
      if (c == '\\') {
        T.FEscapeReturn = sString;
        L.State = sEscape;
        return aConsume;
      }
      if (c == kEnd) return Fail(c, jteEndOfText);
      buf += static_cast<char16_t>(c);
      return aConsume;

    case sEscape: {
      char16_t r = 0;
      switch (c) {
        case kEnd: return Fail(c, jteEndOfText);
        case 'b': r = 8; break;
        case 'f': r = 12; break;
        case 'n': r = 10; break;
        case 'r': r = 13; break;
        case 't': r = 9; break;
        case 'u':
        case 'x':
          T.FEscapeChar = 0;
          T.FTokenPos = 0;
          L.State = c == 'u' ? sEscapeU : sEscapeX;
          return aConsume;
        default: r = static_cast<char16_t>(c); break;
      }
      buf += r;
      L.State = T.FEscapeReturn;
      return aConsume;
    }
    case sEscapeU:
    case sEscapeX: {
      const int d = HexValue(c);
      if (d < 0) return Fail(c, jteUnquoted);
      T.FEscapeChar = static_cast<char16_t>(T.FEscapeChar * 16 + d);
      if (++T.FTokenPos == (L.State == sEscapeU ? 4 : 2)) {
        buf += T.FEscapeChar;
        L.State = T.FEscapeReturn;
      }
      return aConsume;
    }

    case sWord:
      if (PathMode()) {
        if (IsNameStop(c)) {
          L.Name = buf;
          buf.clear();
          L.Sel = selName;
          L.State = sPathProperty;
          return aRedo;
        }
      } else if (ClosesWord(c)) {
        std::size_t n = buf.size();
        while (n > 0 && (buf[n - 1] == 10 || buf[n - 1] == 13 || buf[n - 1] == 32)) --n;
        buf.resize(n);
        L.Value = NewString(std::move(buf));
        buf.clear();
        L.State = sFinish;
        return aRedo;
      }
      if (c == '\\') {
        T.FEscapeReturn = sWord;
        L.State = sEscape;
        return aConsume;
      }
      buf += static_cast<char16_t>(c);
      return aConsume;

    case sNumber:
      if (IsNumberChar(c)) {
        buf += static_cast<char16_t>(c);
        return aConsume;
      } else {
        IJsonObject v = Number(buf);
        buf.clear();
        if (!v) {
          T.FError = jteNumber;
          return aError;
        }
        Finish(L, std::move(v));
        return aRedo;
      }

    case sFinish:
      if (T.FDepth == 0) return aStop;
      T.FChild = std::move(L.Value);
      L.Reset();
      --T.FDepth;
      return aRedo;

    case sArray:
      if (c == ']') {
        L.State = sWhite;
        L.Saved = sFinish;
        return aConsume;
      }
      return Push(L, sArrayAdded, sValue);
    case sArrayAdded:
      L.Value->AsArray()->Add(std::move(T.FChild));
      L.Saved = sArraySep;
      // Blanks and comments may come before the separator.
      L.State = IsSpace(c) || c == '/' ? sWhite : sArraySep;
      return aRedo;
    case sArraySep:
      if (c == ',') {
        L.State = sWhite;
        L.Saved = sArray;
        return aConsume;
      }
      if (c == ']') {
        L.State = sWhite;
        L.Saved = sFinish;
        return aConsume;
      }
      return Fail(c, jteArraySeparator);

    case sMemberStart:
      if (c == '}') {
        L.State = sWhite;
        L.Saved = sFinish;
        return aConsume;
      }
      if (c == '"' || c == '\'') {
        T.FQuote = static_cast<char16_t>(c);
        buf.clear();
        L.State = sQuotedName;
        return aConsume;
      }
      if (c == kEnd) return Fail(c, jteEndOfText);
      if (Strict || IsNameStop(c)) return Fail(c, jteMemberName);
      buf.clear();
      L.State = sUnquotedName;
      return aRedo;
    case sQuotedName:
      if (c == T.FQuote) {
        L.Name = buf;
        buf.clear();
        L.State = sWhite;
        L.Saved = sNameEnd;
        return aConsume;
      }
      if (c == '\\') {
        T.FEscapeReturn = sQuotedName;
        L.State = sEscape;
        return aConsume;
      }
      if (c == kEnd) return Fail(c, jteEndOfText);
      buf += static_cast<char16_t>(c);
      return aConsume;
    case sUnquotedName:
      if (c == ':') {
        L.Name = buf;
        buf.clear();
        L.State = sNameEnd;
        return aRedo;
      }
      if (c == kEnd) return Fail(c, jteEndOfText);
      buf += static_cast<char16_t>(c);
      return aConsume;
    case sNameEnd:
      if (c == ':') {
        L.State = sWhite;
        L.Saved = sMemberValue;
        return aConsume;
      }
      return Fail(c, jteColon);
    case sMemberValue:
      return Push(L, sMemberAdded, sValue);
    case sMemberAdded:
      L.Value->AsObject()->Insert(NewEntry(*L.Value->AsObject(), std::move(L.Name), std::move(T.FChild)));
      L.Name.clear();
      L.Saved = sObjectSep;
      L.State = IsSpace(c) || c == '/' ? sWhite : sObjectSep;
      return aRedo;
    case sObjectSep:
      if (c == ',') {
        L.State = sWhite;
        L.Saved = sMemberStart;
        return aConsume;
      }
      if (c == '}') {
        L.State = sWhite;
        L.Saved = sFinish;
        return aConsume;
      }
      return Fail(c, jteObjectSeparator);

    default:
      return PathStep(L, c);
  }
}

Action TJsonMachine::Literal(Level& L, int c) {
  const char* lit = T.FLiteral;
  const int len = static_cast<int>(std::strlen(lit));
  if (T.FTokenPos < len) {
    if (c == lit[T.FTokenPos]) {
      T.FBuffer += static_cast<char16_t>(c);
      ++T.FTokenPos;
      return aConsume;
    }
  } else if (!(c == '.' || c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c > 255)) {
    T.FBuffer.clear();
    Finish(L, lit[0] == 'n' ? New(jdtNull) : NewBool(lit[0] == 't'));
    return aRedo;
  }
  // Not the literal after all: the start of an unquoted word.
  if (Strict) {
    T.FError = jteUnquoted;
    return aError;
  }
  L.State = sWord;
  return aRedo;
}

// The value the last path step selected (nil when absent).
IJsonObject TJsonMachine::Read(Level& L, int& err) {
  err = jteSuccess;
  switch (L.Sel) {
    case selSelf:
      return L.Parent;
    case selName:
      if (TJsonTableString* t = L.Parent ? L.Parent->AsObject() : nullptr) return t->Get(L.Name);
      if (TJsonArray* a = L.Parent ? L.Parent->AsArray() : nullptr; a && L.Name.empty())
        return a->Get(a->GetLength() - 1);
      err = jtePathObject;
      return nullptr;
    default: {
      TJsonArray* a = L.Parent->AsArray();
      return a->Get(L.Index < 0 ? a->GetLength() - 1 : L.Index);
    }
  }
}

// Stores v where the last path step points.
bool TJsonMachine::Store(Level& L, const IJsonObject& v) {
  if (L.Sel == selName) {
    if (TJsonTableString* t = L.Parent ? L.Parent->AsObject() : nullptr) {
      t->Put(L.Name, v);
      return true;
    }
    if (TJsonArray* a = L.Parent ? L.Parent->AsArray() : nullptr; a && L.Name.empty()) return a->Add(v) >= 0;
    return false;
  }
  if (L.Sel == selIndex) {
    TJsonArray* a = L.Parent->AsArray();
    return L.Index < 0 ? a->Add(v) >= 0 : a->Put(L.Index, v);
  }
  if (TJsonArray* a = L.Parent ? L.Parent->AsArray() : nullptr) return a->Add(v) >= 0;
  return false;
}

// Steps into the selected value for ".", "[" or "(", creating a missing
// object or array when asked; the selected value becomes L.Parent.
Action TJsonMachine::Resolve(Level& L, int c, TJsonDataType want) {
  const int code = want == jdtObject ? jtePathObject : want == jdtArray ? jtePathArray : jtePathCall;
  int err = jteSuccess;
  IJsonObject v = Read(L, err);
  if (err != jteSuccess) return Fail(c, err);
  if (!v) {
    if (!(Options & jpoCreatePath) || want == jdtMethod) return Fail(c, code);
    v = TJsonObject::Create(want);
    if (!Store(L, v)) return Fail(c, code);
  }
  const TJsonDataType t = v->DataType();
  const bool ok = want == jdtObject ? (t == jdtObject || t == jdtArray) : t == want;
  if (!ok) return Fail(c, code);
  if (want == jdtMethod) {
    L.Method = std::move(v);
  } else {
    L.Parent = std::move(v);
    L.Sel = selSelf;
  }
  return aConsume;
}

Action TJsonMachine::CallMethod(Level&, const IJsonObject& method, const IJsonObject& holder,
                                const IJsonObject& params, IJsonObject& result) {
  const TJsonMethod* m = method ? method->AsMethod() : nullptr;
  if (!m || !*m || !(Options & jpoCallMethod)) {
    T.FError = jtePathCall;
    return aError;
  }
  result.reset();
  (*m)(holder, params, result);
  if (!result) {
    T.FError = jtePathCall;
    return aError;
  }
  T.FCalled = true;
  return aConsume;
}

// The end of the path: put, delete, call, create or read.
Action TJsonMachine::Final(Level& L, int c) {
  IJsonObject result;
  int err = jteSuccess;
  if (Options & jpoPutValue) {
    // Refused: a name on a non-object, or an array that cannot grow.
    if (!Store(L, PutValue)) return Fail(c == kEnd ? 0 : c, L.Sel == selIndex ? jtePathArray : jtePathObject);
    result = PutValue;
  } else if (Options & jpoDelete) {
    if (L.Sel == selName && L.Parent && L.Parent->AsObject()) {
      result = L.Parent->AsObject()->Remove(L.Name);
    } else if (TJsonArray* a = L.Parent ? L.Parent->AsArray() : nullptr;
               a && (L.Sel != selName || L.Name.empty())) {
      result = a->Delete(L.Sel == selIndex && L.Index >= 0 ? L.Index : a->GetLength() - 1);
    } else {
      return Fail(c == kEnd ? 0 : c, jtePathObject);
    }
  } else {
    result = Read(L, err);
    if (err != jteSuccess) return Fail(c == kEnd ? 0 : c, err);
    if ((Options & jpoCallMethod) && !T.FCalled) {
      IJsonObject r;
      const IJsonObject holder = L.Parent;
      if (CallMethod(L, result, holder, PutValue, r) == aError) return aError;
      result = std::move(r);
    } else if (!result && (Options & jpoCreatePath)) {
      result = TJsonObject::Create(Type);
      if (!Store(L, result)) return Fail(c == kEnd ? 0 : c, jtePathObject);
    }
  }
  Finish(L, std::move(result));
  return aRedo;
}

Action TJsonMachine::PathStep(Level& L, int c) {
  switch (L.State) {
    case sPathProperty:
      if (c == '.') {
        const Action a = Resolve(L, c, jdtObject);
        if (a == aError) return a;
        T.FBuffer.clear();
        L.State = sWord;
        return aConsume;
      }
      if (c == '[') {
        const Action a = Resolve(L, c, jdtArray);
        if (a == aError) return a;
        L.State = sWhite;
        L.Saved = sPathIndexStart;
        return aConsume;
      }
      if (c == '(') {
        if (!(Options & jpoCallMethod)) {
          T.FError = jtePathCall;
          return aError;
        }
        const Action a = Resolve(L, c, jdtMethod);
        if (a == aError) return a;
        if (L.Sel == selSelf) L.Parent = L.Method;
        L.Step.reset();
        T.FArgCount = 0;
        L.State = sWhite;
        L.Saved = sMethodArgs;
        return aConsume;
      }
      // A strict path is the whole text: refuse trailing text before acting on it.
      if (Strict && c != kEnd) {
        T.FError = jtePathObject;
        return aError;
      }
      return Final(L, c);
    case sPathIndexStart:
      if (c == ']') {
        L.Sel = selIndex;
        L.Index = -1;
        L.State = sPathProperty;
        return aConsume;
      }
      return Push(L, sPathIndexAdded, sValue);
    case sPathIndexAdded: {
      const IJsonObject idx = std::move(T.FChild);
      if (!JsonIsType(idx, jdtInteger) || idx->AsInteger() < 0 || idx->AsInteger() > TJsonArray::MaxIndex)
        return Fail(c == kEnd ? 0 : c, jtePathIndex);
      if (c != ']') return Fail(c, jtePathArray);
      L.Sel = selIndex;
      L.Index = idx->AsInteger();
      L.State = sPathProperty;
      return aConsume;
    }
    case sMethodArgs:
      if (c == ')') goto call;
      return Push(L, sMethodArgAdded, sValue);
    case sMethodArgAdded:
      if (T.FArgCount == 0) {
        L.Step = std::move(T.FChild);
      } else {
        if (T.FArgCount == 1) {
          IJsonObject list = TJsonObject::Create(jdtArray);
          list->AsArray()->Add(std::move(L.Step));
          L.Step = std::move(list);
        }
        L.Step->AsArray()->Add(std::move(T.FChild));
      }
      ++T.FArgCount;
      if (c == ',') {
        L.State = sWhite;
        L.Saved = sMethodArgs;
        return aConsume;
      }
      if (c == ')') goto call;
      return Fail(c, jtePathCall);
    default:
      T.FError = jteEndOfText;
      return aError;
  }
call : {
  IJsonObject result;
  const IJsonObject method = L.Method;
  const IJsonObject holder = L.Parent;
  if (CallMethod(L, method, holder, L.Step, result) == aError) return aError;
  L.Method.reset();
  L.Step.reset();
  L.Sel = selSelf;
  L.Parent = std::move(result);
  L.State = sPathProperty;
  return aConsume;
}
}

IJsonObject ParseText(TJsonTokenizer& tok, const char16_t* text, std::int64_t length, bool last, bool strict,
                      const IJsonObject& self, unsigned options, const IJsonObject& put, TJsonDataType type) {
  if (tok.FStopped) return tok.FError == jteSuccess ? tok.FLevels[0].Value : nullptr;
  if (tok.FError != jteSuccess && tok.FError != jteMoreInput) return nullptr;
  tok.FError = jteSuccess;
  if (length < 0) {
    length = text ? static_cast<std::int64_t>(std::char_traits<char16_t>::length(text)) : 0;
    last = true;
  }
  TJsonMachine m{tok, strict, self, options, put, type};
  TJsonTokenizer::Level& top = tok.FLevels[0];
  if (!self && tok.FDepth == 0 && top.State == sValue && top.Saved == sValue) {
    // A fresh document may start with whitespace and comments; a path may not.
    top.State = sWhite;
  }
  std::int64_t pos = 0;
  for (;;) {
    int c;
    const bool atEnd = pos >= length;
    if (atEnd) {
      if (!last) break;
      c = kEnd;
    } else {
      c = text[pos];
      if (c == 0) c = kEnd;
      if (c == 0xFEFF && tok.FCharOffset == 0) {
        // A byte-order mark before anything else.
        ++pos;
        ++tok.FCharOffset;
        continue;
      }
      // Runs of blanks, of number characters, and inside strings and names
      // are taken at once; blanks are not kept.
      TJsonTokenizer::Level& L = tok.FLevels[tok.FDepth];
      const std::uint8_t st = L.State;
      std::int64_t e = pos;
      bool keep = true;
      // Lines and columns are counted in the same pass that finds the run's end.
      auto advance = [&tok](char16_t ch) {
        if (ch == 10) {
          ++tok.FLine;
          tok.FColumn = 0;
        } else {
          tok.FColumn += ch == 9 ? 4 : 1;
        }
      };
      if (st == sWhite && IsSpace(c)) {
        for (; e < length && IsSpace(text[e]); ++e) advance(text[e]);
        keep = false;
      } else if (st == sNumber && IsNumberChar(c)) {
        while (e < length && IsNumberChar(text[e])) ++e;
        tok.FColumn += static_cast<int>(e - pos);
      } else if ((st == sString || st == sQuotedName) && c != tok.FQuote && c != '\\' && c != kEnd) {
        const char16_t quote = tok.FQuote;
        for (char16_t ch; e < length && (ch = text[e]) != quote && ch != '\\' && ch != 0; ++e) advance(ch);
      }
      if (e > pos) {
        if (keep) tok.FBuffer.append(text + pos, static_cast<std::size_t>(e - pos));
        tok.FCharOffset += e - pos;
        pos = e;
        continue;
      }
      // Past blanks the level goes on as it was before them (a comment
      // aside): taken here rather than by one more step of the machine.
      if (st == sWhite && c != '/') L.State = L.Saved;
    }
    Action a;
    do a = m.Step(c);
    while (a == aRedo);
    if (a == aError) return nullptr;
    if (a == aStop) {
      tok.FStopped = true;
      tok.FStoppedAtEnd = atEnd;
      return tok.FLevels[0].Value;
    }
    if (atEnd) {
      // The end of the input left a value open.
      tok.FError = jteEndOfText;
      return nullptr;
    }
    ++pos;
    ++tok.FCharOffset;
    if (c == 10) {
      ++tok.FLine;
      tok.FColumn = 0;
    } else {
      tok.FColumn += c == 9 ? 4 : 1;
    }
  }
  if (tok.FDepth == 0 && top.State == sWhite && top.Saved == sFinish) return top.Value;
  tok.FError = jteMoreInput;
  return nullptr;
}

IJsonObject ParseString(std::u16string_view text, bool strict, bool partial, const IJsonObject& self,
                        unsigned options, const IJsonObject& put, TJsonDataType type) {
  TJsonTokenizer tok;
  IJsonObject v = ParseText(tok, text.data(), static_cast<std::int64_t>(text.size()), true, strict, self, options,
                            put, type);
  if (tok.GetError() != jteSuccess) return nullptr;
  if (!partial && tok.GetCharOffset() != static_cast<std::int64_t>(text.size())) return nullptr;
  return v;
}

namespace {

std::size_t ReadFull(TStream& s, char* buf, std::size_t n) {
  std::size_t got = 0;
  while (got < n) {
    const std::int64_t r = s.Read(buf + got, static_cast<std::int64_t>(n - got));
    if (r <= 0) break;
    got += static_cast<std::size_t>(r);
  }
  return got;
}

}  // namespace

IJsonObject ParseStream(TStream& stream, bool strict, bool partial, const IJsonObject& self, unsigned options,
                        const IJsonObject& put, TJsonDataType type) {
  TJsonTokenizer tok;
  IJsonObject result;
  try {
    const std::int64_t start = stream.GetPosition();
    char head[3];
    const std::size_t h = ReadFull(stream, head, 2);
    const bool wide = h == 2 && static_cast<unsigned char>(head[0]) == 0xFF && static_cast<unsigned char>(head[1]) == 0xFE;
    if (!wide) {
      stream.Seek(start, TSeekOrigin::soBeginning);
      // A UTF-8 byte-order mark is skipped; the bytes still read one per character.
      const std::size_t b = ReadFull(stream, head, 3);
      if (!(b == 3 && std::memcmp(head, "\xEF\xBB\xBF", 3) == 0)) stream.Seek(start, TSeekOrigin::soBeginning);
    }
    const std::size_t block = wide ? 2048 : 1024;
    std::vector<char> bytes(block + 1);
    std::vector<char16_t> chars(block);
    std::size_t carry = 0;  // an odd byte left from the last wide block
    bool atEnd = false;
    for (;;) {
      const std::size_t got = ReadFull(stream, bytes.data() + carry, block - carry) + carry;
      std::size_t n = 0;
      if (wide) {
        for (; 2 * n + 1 < got; ++n)
          chars[n] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * n]) |
                                           (static_cast<unsigned char>(bytes[2 * n + 1]) << 8));
        carry = got - 2 * n;
        if (carry) bytes[0] = bytes[2 * n];
      } else {
        for (; n < got; ++n) chars[n] = static_cast<unsigned char>(bytes[n]);
      }
      if (n == 0 && (got == carry || got == 0)) {
        atEnd = true;
        break;
      }
      result = ParseText(tok, chars.data(), static_cast<std::int64_t>(n), false, strict, self, options, put, type);
      if (tok.GetError() != jteSuccess && tok.GetError() != jteMoreInput) return nullptr;
      if (tok.GetStopped()) break;
    }
    // Half a character at the end: the input was cut short.
    if (atEnd && carry != 0) return nullptr;
    if (!tok.GetStopped()) result = ParseText(tok, nullptr, 0, true, strict, self, options, put, type);
  } catch (const Exception&) {
    return nullptr;
  }
  if (tok.GetError() != jteSuccess) return nullptr;
  if (!partial && !tok.GetStoppedAtEnd()) return nullptr;
  return result;
}

IJsonObject ParseFile(const std::string& fileName, bool strict, bool partial, const IJsonObject& self,
                      unsigned options, const IJsonObject& put, TJsonDataType type) {
  try {
    TFileStream f(fileName, fmOpenRead);
    return ParseStream(f, strict, partial, self, options, put, type);
  } catch (const Exception&) {
    return nullptr;
  }
}

IJsonObject ParseJson(std::u16string_view text) { return ParseString(text, false, true); }
IJsonObject ParseJson(std::string_view ansi) { return ParseJson(std::u16string_view(AnsiToUtf16(ansi))); }

// Paths.

IJsonObject TJsonObject::EvalPath(std::u16string_view path, bool strict, bool partial, unsigned options,
                                  const IJsonObject& put, TJsonDataType type) {
  return ParseString(path, strict, partial, shared_from_this(), options, put, type);
}

bool TJsonObject::PutPath(const TJsonText& path, IJsonObject v) {
  TJsonTokenizer tok;
  const std::u16string_view p = path.View();
  ParseText(tok, p.data(), static_cast<std::int64_t>(p.size()), true, true, shared_from_this(),
            jpoCreatePath | jpoPutValue, v, jdtNull);
  return tok.GetError() == jteSuccess && tok.GetCharOffset() == static_cast<std::int64_t>(p.size());
}

IJsonObject TJsonObject::GetPathValue(const TJsonText& path) { return EvalPath(path.View(), false, true, 0, nullptr, jdtNull); }
bool TJsonObject::SetPathValue(const TJsonText& path, IJsonObject v) { return PutPath(path, std::move(v)); }
bool TJsonObject::GetPathBool(const TJsonText& path) {
  const IJsonObject v = GetPathValue(path);
  return v && v->AsBoolean();
}
bool TJsonObject::SetPathBool(const TJsonText& path, bool v) { return PutPath(path, Create(v)); }
std::int64_t TJsonObject::GetPathInt(const TJsonText& path) {
  const IJsonObject v = GetPathValue(path);
  return v ? v->AsInteger() : 0;
}
bool TJsonObject::SetPathInt(const TJsonText& path, std::int64_t v) { return PutPath(path, Create(v)); }
double TJsonObject::GetPathDouble(const TJsonText& path) {
  const IJsonObject v = GetPathValue(path);
  return v ? v->AsDouble() : 0;
}
bool TJsonObject::SetPathDouble(const TJsonText& path, double v) { return PutPath(path, Create(v)); }
std::int64_t TJsonObject::GetPathCurrency(const TJsonText& path) {
  const IJsonObject v = GetPathValue(path);
  return v ? v->AsCurrency() : 0;
}
bool TJsonObject::SetPathCurrency(const TJsonText& path, std::int64_t scaled) { return PutPath(path, CreateCurrency(scaled)); }
std::u16string TJsonObject::GetPathString(const TJsonText& path) {
  const IJsonObject v = GetPathValue(path);
  return v ? v->AsString() : std::u16string();
}
bool TJsonObject::SetPathString(const TJsonText& path, std::u16string v) { return PutPath(path, Create(std::move(v))); }
const TJsonMethod* TJsonObject::GetPathMethod(const TJsonText& path) {
  const IJsonObject v = GetPathValue(path);
  // The method lives in its value, which its holder keeps.
  return v ? v->AsMethod() : nullptr;
}
bool TJsonObject::SetPathMethod(const TJsonText& path, TJsonMethod m) {
  return EvalPath(path.View(), false, true, jpoCreatePath | jpoPutValue, Create(std::move(m)), jdtNull) != nullptr;
}
TJsonArray* TJsonObject::GetPathArray(const TJsonText& path) {
  const IJsonObject v = GetPathValue(path);
  return v ? v->AsArray() : nullptr;
}
IJsonObject TJsonObject::GetPathValueOrNull(const TJsonText& path) {
  IJsonObject v = GetPathValue(path);
  return v ? v : Create(jdtNull);
}
bool TJsonObject::SetPathValueOrNull(const TJsonText& path, IJsonObject v) {
  return EvalPath(path.View(), false, true, jpoCreatePath | jpoPutValue, v ? v : Create(jdtNull), jdtNull) != nullptr;
}
IJsonObject TJsonObject::EnsurePath(const TJsonText& path, TJsonDataType type) {
  return EvalPath(path.View(), false, true, jpoCreatePath, nullptr, type);
}
IJsonObject TJsonObject::Delete(const TJsonText& path) { return EvalPath(path.View(), false, true, jpoDelete, nullptr, jdtNull); }

}  // namespace ond
