// Checking a JSON value against a schema.
#include <utility>
#include <map>

#include "services/jsonobject.h"
#include "services/jsonobjectDetail.h"

namespace ond {

using namespace jsondetail;

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

class Validator {
 public:
  Validator(const TJsonOnValidateError& callback, void* sender) : FCallback(callback), FSender(sender) {}

  // Registers every schema with a string "name", searching maps and sequences.
  void Register(const IJsonObject& s) {
    if (!s || s->GetProcessing()) return;
    if (TJsonArray* a = s->AsArray()) {
      ProcessingGuard guard(*s);
      for (int i = 0; i < a->GetLength(); ++i) Register(a->Get(i));
      return;
    }
    TJsonTableString* t = s->AsObject();
    if (!t) return;
    ProcessingGuard guard(*s);
    const IJsonObject name = t->Get(u"name");
    if (JsonIsType(name, jdtString)) FDefinitions.emplace(name->AsString(), s);
    const SchemaType type = SchemaTypeOf(t->Get(u"type"));
    if (type == stMap) {
      if (const IJsonObject m = t->Get(u"mapping"); m && m->AsObject())
        for (const IJsonObject& v : m->AsObject()->GetValues()) Register(v);
    } else if (type == stSeq) {
      Register(t->Get(u"sequence"));
    }
  }

  void Check(const IJsonObject& value, const IJsonObject& schema, const std::u16string& path) {
    if (!schema || !schema->AsObject()) return;
    if (!value || value->DataType() == jdtNull) {
      const IJsonObject req = Member(schema, u"required");
      if (req && req->AsBoolean()) Report(jveFieldIsRequired, path);
      return;
    }
    if (value->GetProcessing()) return;  // met again inside itself
    ProcessingGuard guard(*value);
    if (!TypeMatches(SchemaTypeOf(Member(schema, u"type")), value->DataType())) {
      Report(jveInvalidDataType, path);
      return;
    }
    CheckEnum(value, schema, path);
    CheckLength(value, schema, path);
    CheckRange(value, schema, path);
    if (TJsonTableString* t = value->AsObject()) {
      const IJsonObject m = Member(schema, u"mapping");
      if (TJsonTableString* map = m ? m->AsObject() : nullptr) {
        const std::vector<std::u16string> names = t->GetNames();
        const std::vector<IJsonObject> values = t->GetValues();
        for (std::size_t k = 0; k < names.size(); ++k) {
          const IJsonObject sub = map->Get(names[k]);
          if (sub && sub->AsObject())
            Check(values[k], sub, MemberPath(path, names[k]));
          else
            Report(jveFieldNotFound, MemberPath(path, names[k]));
        }
        for (const std::u16string& n : map->GetNames())
          if (!t->Exists(n)) Check(nullptr, map->Get(n), MemberPath(path, n));
      }
    }
    if (TJsonArray* a = value->AsArray()) {
      IJsonObject es = Member(schema, u"sequence");
      if (es && es->AsArray()) es = es->AsArray()->Get(0);
      if (es && es->AsObject()) {
        const IJsonObject unique = Member(es, u"unique");
        const bool mustBeUnique = unique && unique->AsBoolean();
        for (int i = 0; i < a->GetLength(); ++i) {
          const std::u16string ep = path + u"[" + IndexText(i) + u"]";
          const IJsonObject e = a->Get(i);
          Check(e, es, ep);
          if (mustBeUnique && e) {
            for (int j = 0; j < i; ++j) {
              if (e->Compare(a->Get(j)) == jcrEqual) {
                Report(jveDuplicateEntry, ep);
                break;
              }
            }
          }
        }
      }
    }
  }

  bool Ok() const { return FOk; }

 private:
  static std::u16string MemberPath(const std::u16string& path, const std::u16string& name) {
    return path.empty() ? name : path + u"." + name;
  }

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
};

}  // namespace

bool TJsonObject::Validate(const IJsonObject& schema, const IJsonObject& definitions,
                           const TJsonOnValidateError& callback, void* sender) {
  Validator v(callback, sender);
  v.Register(definitions);
  v.Check(shared_from_this(), schema, u"");
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
