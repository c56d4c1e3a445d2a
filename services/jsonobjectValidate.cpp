// Checking a JSON value against a schema.
#include <cstddef>
#include <map>
#include <utility>
#include <vector>

#include "services/jsonobject.h"

namespace ond {

namespace {

enum SchemaType { stUnknown = 0, stStr, stInt, stFloat, stNumber, stText, stBool, stMap, stSeq, stScalar, stAny };

SchemaType SchemaTypeOf(const IJsonObject& name) {
  if (!JsonIsType(name, jdtString)) return stUnknown;
  static const char16_t* const names[] = {u"str", u"int", u"float", u"number", u"text",
                                          u"bool", u"map", u"seq", u"scalar", u"any"};
  const std::u16string n = name->AsString();
  for (int i = 0; i < 10; ++i)
    if (n == names[i]) return static_cast<SchemaType>(i + 1);
  return stUnknown;
}

bool TypeMatches(SchemaType t, TJsonDataType d) {
  switch (t) {
    case stStr: return d == jdtString;
    case stInt: return d == jdtInteger;
    case stFloat: return d == jdtDouble || d == jdtCurrency;
    case stNumber: return d == jdtInteger || d == jdtDouble || d == jdtCurrency;
    case stText: return d == jdtString || d == jdtInteger || d == jdtDouble || d == jdtCurrency;
    case stBool: return d == jdtBoolean;
    case stMap: return d == jdtObject;
    case stSeq: return d == jdtArray;
    case stScalar: return d != jdtObject && d != jdtArray && d != jdtMethod;
    default: return true;
  }
}

std::u16string IndexText(int i) {
  const std::string s = std::to_string(i);
  return std::u16string(s.begin(), s.end());
}

// The values a walk is inside of, innermost last. Each is marked as
// processing while it is here, so that a value met again inside itself is
// not entered twice; a walk left early (a callback that throws) unmarks what
// is still here. Keeping the walk on the heap lets a tree of any depth be
// checked on a small thread stack.
template <typename Frame>
class WalkStack {
 public:
  WalkStack() = default;
  WalkStack(const WalkStack&) = delete;
  WalkStack& operator=(const WalkStack&) = delete;
  ~WalkStack() {
    while (!FFrames.empty()) Pop();
  }

  bool Empty() const { return FFrames.empty(); }
  Frame& Top() { return FFrames.back(); }
  void Push(Frame frame) {
    FFrames.push_back(std::move(frame));
    FFrames.back().Value->SetProcessing(true);
  }
  void Pop() {
    FFrames.back().Value->SetProcessing(false);
    FFrames.pop_back();
  }

 private:
  std::vector<Frame> FFrames;
};

class Validator {
 public:
  Validator(const TJsonOnValidateError& callback, void* sender) : FCallback(callback), FSender(sender) {}

  // Registers every schema with a string "name", searching maps and
  // sequences, the outer one first.
  void Register(const IJsonObject& root) {
    WalkStack<RegisterFrame> stack;
    EnterDefinitions(stack, root);
    while (!stack.Empty()) {
      RegisterFrame& f = stack.Top();
      if (f.Next == f.Children.size()) {
        stack.Pop();
        continue;
      }
      const IJsonObject child = f.Children[f.Next++];
      EnterDefinitions(stack, child);
    }
  }

  // Checks the value and everything inside it, depth first, in the order of
  // the value's members and elements.
  void Check(const IJsonObject& value, const IJsonObject& schema) {
    WalkStack<CheckFrame> stack;
    FPath.clear();
    Visit(stack, value, schema);
    while (!stack.Empty()) {
      CheckFrame& f = stack.Top();
      FPath.resize(f.PathLen);
      if (TJsonTableString* t = f.Value->AsObject()) {
        TJsonTableString* map = f.Schema->AsObject();
        if (f.Next < f.Names.size()) {
          const std::size_t k = f.Next++;
          const IJsonObject sub = map->Get(f.Names[k]);
          const IJsonObject member = f.Values[k];
          AppendMember(f.Names[k]);
          if (sub && sub->AsObject())
            Visit(stack, member, sub);
          else
            Report(jveFieldNotFound, FPath);
          continue;
        }
        // Members the schema names and the value lacks.
        for (const std::u16string& n : map->GetNames()) {
          if (t->Exists(n)) continue;
          FPath.resize(f.PathLen);
          AppendMember(n);
          Visit(stack, nullptr, map->Get(n));
        }
        stack.Pop();
        continue;
      }
      TJsonArray* a = f.Value->AsArray();
      if (f.ElementChecked) {
        // The element before the next, checked in full, against those before it.
        f.ElementChecked = false;
        const int i = static_cast<int>(f.Next) - 1;
        const IJsonObject e = a->Get(i);
        for (int j = 0; j < i; ++j) {
          if (e->Compare(a->Get(j)) == jcrEqual) {
            AppendIndex(i);
            Report(jveDuplicateEntry, FPath);
            break;
          }
        }
        continue;
      }
      if (f.Next >= static_cast<std::size_t>(a->GetLength())) {
        stack.Pop();
        continue;
      }
      const int i = static_cast<int>(f.Next++);
      const IJsonObject e = a->Get(i);
      const IJsonObject es = f.Schema;
      f.ElementChecked = f.Unique && e;
      AppendIndex(i);
      Visit(stack, e, es);
    }
  }

  bool Ok() const { return FOk; }

 private:
  // A container being registered from: its children still to go.
  struct RegisterFrame {
    IJsonObject Value;
    std::vector<IJsonObject> Children;
    std::size_t Next = 0;
  };

  // A container being checked: an object with its members and the schema's
  // mapping, or an array with the schema of its elements.
  struct CheckFrame {
    IJsonObject Value;
    IJsonObject Schema;
    std::size_t PathLen = 0;  // of the container's own path
    std::vector<std::u16string> Names;
    std::vector<IJsonObject> Values;
    bool Unique = false;
    bool ElementChecked = false;  // the last element waits for its duplicate test
    std::size_t Next = 0;
  };

  void EnterDefinitions(WalkStack<RegisterFrame>& stack, const IJsonObject& s) {
    if (!s || s->GetProcessing()) return;
    RegisterFrame frame{s, {}, 0};
    if (TJsonArray* a = s->AsArray()) {
      for (int i = 0; i < a->GetLength(); ++i) frame.Children.push_back(a->Get(i));
    } else if (TJsonTableString* t = s->AsObject()) {
      const IJsonObject name = t->Get(u"name");
      if (JsonIsType(name, jdtString)) FDefinitions.emplace(name->AsString(), s);
      const SchemaType type = SchemaTypeOf(t->Get(u"type"));
      if (type == stMap) {
        if (const IJsonObject m = t->Get(u"mapping"); m && m->AsObject()) frame.Children = m->AsObject()->GetValues();
      } else if (type == stSeq) {
        frame.Children.push_back(t->Get(u"sequence"));
      }
    }
    if (!frame.Children.empty()) stack.Push(std::move(frame));
  }

  // Checks one value against its schema at the path in FPath; a container
  // whose members or elements have a schema goes on the stack to be walked.
  void Visit(WalkStack<CheckFrame>& stack, const IJsonObject& value, const IJsonObject& schema) {
    if (!schema || !schema->AsObject()) return;
    // Only an absent value is missing: a null written in the text is a value
    // like any other and must have the schema's type.
    if (!value) {
      const IJsonObject req = Member(schema, u"required");
      if (req && req->AsBoolean()) Report(jveFieldIsRequired, FPath);
      return;
    }
    if (value->GetProcessing()) return;  // met again inside itself
    if (!TypeMatches(SchemaTypeOf(Member(schema, u"type")), value->DataType())) {
      Report(jveInvalidDataType, FPath);
      return;
    }
    CheckEnum(value, schema, FPath);
    CheckLength(value, schema, FPath);
    CheckRange(value, schema, FPath);
    if (TJsonTableString* t = value->AsObject()) {
      const IJsonObject m = Member(schema, u"mapping");
      if (m && m->AsObject()) {
        CheckFrame frame;
        frame.Value = value;
        frame.Schema = m;
        frame.PathLen = FPath.size();
        frame.Names = t->GetNames();
        frame.Values = t->GetValues();
        stack.Push(std::move(frame));
      }
    } else if (value->AsArray()) {
      IJsonObject es = Member(schema, u"sequence");
      if (es && es->AsArray()) es = es->AsArray()->Get(0);
      if (es && es->AsObject()) {
        const IJsonObject unique = Member(es, u"unique");
        CheckFrame frame;
        frame.Value = value;
        frame.Schema = es;
        frame.PathLen = FPath.size();
        frame.Unique = unique && unique->AsBoolean();
        stack.Push(std::move(frame));
      }
    }
  }

  void AppendMember(const std::u16string& name) {
    if (!FPath.empty()) FPath += u'.';
    FPath += name;
  }

  void AppendIndex(int i) { FPath += u"[" + IndexText(i) + u"]"; }

  void Report(TJsonValidateError code, const std::u16string& path) {
    FOk = false;
    if (FCallback) FCallback(FSender, code, path);
  }

  // A schema member, or the one an inherited definition gives.
  IJsonObject Member(const IJsonObject& schema, std::u16string_view name) {
    IJsonObject s = schema;
    // A chain longer than the number of definitions is a cycle.
    for (std::size_t hops = 0; s && hops <= FDefinitions.size(); ++hops) {
      TJsonTableString* t = s->AsObject();
      if (!t) return nullptr;
      if (IJsonObject v = t->Get(name)) return v;
      const IJsonObject inherit = t->Get(u"inherit");
      if (!JsonIsType(inherit, jdtString)) return nullptr;
      const auto it = FDefinitions.find(inherit->AsString());
      if (it == FDefinitions.end()) return nullptr;
      s = it->second;
    }
    return nullptr;
  }

  void CheckEnum(const IJsonObject& value, const IJsonObject& schema, const std::u16string& path) {
    const IJsonObject e = Member(schema, u"enum");
    if (!e) return;
    TJsonArray* a = e->AsArray();
    if (!a) {
      Report(jveSchema, u"");
      return;
    }
    for (int i = 0; i < a->GetLength(); ++i)
      if (value->Compare(a->Get(i)) == jcrEqual) return;
    Report(jveValueNotInEnum, path);
  }

  // Checks the bounds min, max (inclusive) and minex, maxex (exclusive).
  template <typename Cmp>
  static bool WithinBounds(TJsonTableString& b, Cmp cmp) {
    if (IJsonObject v = b.Get(u"min"); v && cmp(v) == jcrLess) return false;
    if (IJsonObject v = b.Get(u"max"); v && cmp(v) == jcrGreater) return false;
    if (IJsonObject v = b.Get(u"minex"); v && (cmp(v) == jcrLess || cmp(v) == jcrEqual)) return false;
    if (IJsonObject v = b.Get(u"maxex"); v && (cmp(v) == jcrGreater || cmp(v) == jcrEqual)) return false;
    return true;
  }

  void CheckLength(const IJsonObject& value, const IJsonObject& schema, const std::u16string& path) {
    const IJsonObject l = Member(schema, u"length");
    if (!l) return;
    TJsonTableString* b = l->AsObject();
    if (!b) {
      Report(jveSchema, u"");
      return;
    }
    const TJsonDataType t = value->DataType();
    if (t != jdtString && t != jdtInteger && t != jdtDouble && t != jdtCurrency) return;
    const auto len = static_cast<std::int64_t>(value->AsString().size());
    const bool ok = WithinBounds(*b, [len](const IJsonObject& bound) {
      const std::int64_t n = bound->AsInteger();
      return len < n ? jcrLess : len > n ? jcrGreater : jcrEqual;
    });
    if (!ok) Report(jveInvalidLength, path);
  }

  void CheckRange(const IJsonObject& value, const IJsonObject& schema, const std::u16string& path) {
    const IJsonObject r = Member(schema, u"range");
    if (!r) return;
    TJsonTableString* b = r->AsObject();
    if (!b) {
      Report(jveSchema, u"");
      return;
    }
    // Bounds that cannot be compared with the value are not applied.
    const bool ok = WithinBounds(*b, [&value](const IJsonObject& bound) { return value->Compare(bound); });
    if (!ok) Report(jveInvalidRange, path);
  }

  const TJsonOnValidateError& FCallback;
  void* FSender;
  bool FOk = true;
  std::map<std::u16string, IJsonObject> FDefinitions;
  // The path of the value being checked; one buffer for the whole walk, so
  // a deep tree costs no copy of its path per level.
  std::u16string FPath;
};

}  // namespace

bool TJsonObject::Validate(const IJsonObject& schema, const IJsonObject& definitions,
                           const TJsonOnValidateError& callback, void* sender) {
  Validator v(callback, sender);
  v.Register(definitions);
  v.Check(shared_from_this(), schema);
  return v.Ok();
}

bool TJsonObject::Validate(const TJsonText& schemaText, const TJsonText& definitionsText,
                           const TJsonOnValidateError& callback, void* sender) {
  const IJsonObject schema = ParseJson(schemaText.View());
  // A schema that does not parse cannot be checked against: that is no success.
  if (!schema) return false;
  IJsonObject defs;
  if (!definitionsText.View().empty()) {
    defs = ParseJson(definitionsText.View());
    if (!defs) return false;
  }
  return Validate(schema, defs, callback, sender);
}

}  // namespace ond
