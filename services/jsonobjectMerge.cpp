// Copies, merges, templates, comparisons and method calls of JSON values.
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

#include "services/jsonobject.h"
#include "services/jsonobjectDetail.h"

namespace ond {

using namespace jsondetail;

IJsonObject TJsonObject::Clone() {
  // A value met again inside itself (a cycle) is left out of the copy.
  if (FProcessing) return nullptr;
  auto copyScalar = [](const TJsonObject& v) {
    if (v.FDataType == jdtString) return Create(v.FString);
    if (v.FDataType == jdtMethod) return Create(*v.FValue.m);
    IJsonObject r = Create(v.FDataType);
    r->FValue = v.FValue;
    return r;
  };
  if (FDataType != jdtObject && FDataType != jdtArray) return copyScalar(*this);

  // Containers are copied from a heap stack of frames rather than by nested
  // calls, so the depth of the tree costs no native stack. A container is
  // marked as processing while its frame is open.
  struct Frame {
    TJsonObject* From;
    TJsonObject* To;
    std::size_t Next = 0;
    std::vector<const TJsonAvlEntry*> Members;  // objects: the entries in table order
  };
  std::vector<Frame> stack;
  struct DropFlags {
    std::vector<Frame>& Stack;
    ~DropFlags() {
      for (Frame& f : Stack) f.From->FProcessing = false;
    }
  } drop{stack};
  auto open = [&stack](TJsonObject& from, TJsonObject& to) {
    Frame f{&from, &to, 0, {}};
    if (from.FDataType == jdtObject) {
      f.Members.reserve(static_cast<std::size_t>(from.FValue.o->GetCount()));
      TJsonAvlIterator it(*from.FValue.o);
      for (it.First(); it.GetCurrent(); it.Next()) f.Members.push_back(it.GetCurrent());
    }
    stack.push_back(std::move(f));
    from.FProcessing = true;
  };

  IJsonObject root = Create(FDataType);
  open(*this, *root);
  while (!stack.empty()) {
    Frame& f = stack.back();
    const bool object = f.From->FDataType == jdtObject;
    const std::size_t count = object ? f.Members.size() : static_cast<std::size_t>(f.From->FValue.a->GetLength());
    if (f.Next == count) {
      f.From->FProcessing = false;
      stack.pop_back();
      continue;
    }
    const std::size_t at = f.Next++;
    const IJsonObject v = object ? f.Members[at]->GetValue() : f.From->FValue.a->Get(static_cast<std::int64_t>(at));
    IJsonObject copy;
    const bool container = v && !v->FProcessing && (v->FDataType == jdtObject || v->FDataType == jdtArray);
    if (container)
      copy = Create(v->FDataType);
    else if (v && !v->FProcessing)
      copy = copyScalar(*v);
    if (object)
      f.To->FValue.o->Put(f.Members[at]->GetName(), copy);
    else
      f.To->FValue.a->Put(static_cast<std::int64_t>(at), copy);
    if (container) open(*v, *copy);  // may grow the stack: f is not used after this
  }
  return root;
}

void TJsonObject::Merge(const IJsonObject& other, bool reference) {
  // Two values merge when both are there, of one type, and neither is being
  // walked already (a value inside itself).
  auto mergeable = [](const TJsonObject& mine, const TJsonObject& theirs) {
    return mine.FDataType == theirs.FDataType && !mine.FProcessing && !theirs.FProcessing;
  };
  if (!other || !mergeable(*this, *other)) return;
  if (FDataType != jdtObject && FDataType != jdtArray) {
    if (FDataType == jdtString)
      FString = other->FString;
    else if (FDataType == jdtMethod)
      *FValue.m = *other->FValue.m;
    else
      FValue = other->FValue;
    return;
  }

  // Containers are merged from a heap stack of frames rather than by nested
  // calls, so the depth of the trees costs no native stack. Both containers
  // of a frame are marked as processing while it is open.
  struct Frame {
    TJsonObject* Mine;
    TJsonObject* Theirs;
    std::vector<std::u16string> Names;  // objects: their member names
    std::vector<IJsonObject> Values;    // their members or elements, taken first:
                                        // merging may change the containers walked
    std::size_t Next = 0;
    IJsonObject Hold;  // keeps Mine alive while its frame is open
  };
  std::vector<Frame> stack;
  struct DropFlags {
    std::vector<Frame>& Stack;
    ~DropFlags() {
      for (Frame& f : Stack) {
        f.Mine->FProcessing = false;
        f.Theirs->FProcessing = false;
      }
    }
  } drop{stack};
  auto open = [&stack](TJsonObject& mine, TJsonObject& theirs, IJsonObject hold) {
    Frame f{&mine, &theirs, {}, {}, 0, std::move(hold)};
    if (theirs.FDataType == jdtObject) {
      f.Names = theirs.FValue.o->GetNames();
      f.Values = theirs.FValue.o->GetValues();
    } else {
      const int n = theirs.FValue.a->GetLength();
      f.Values.reserve(static_cast<std::size_t>(n));
      for (int i = 0; i < n; ++i) f.Values.push_back(theirs.FValue.a->Get(i));
    }
    stack.push_back(std::move(f));
    mine.FProcessing = true;
    theirs.FProcessing = true;
  };

  open(*this, *other, nullptr);
  while (!stack.empty()) {
    Frame& f = stack.back();
    if (f.Next == f.Values.size()) {
      f.Mine->FProcessing = false;
      f.Theirs->FProcessing = false;
      stack.pop_back();
      continue;
    }
    const std::size_t k = f.Next++;
    const bool object = f.Mine->FDataType == jdtObject;
    const IJsonObject& v = f.Values[k];
    const IJsonObject mine = object ? f.Mine->FValue.o->Get(f.Names[k]) : f.Mine->FValue.a->Get(static_cast<std::int64_t>(k));
    if (mine && v && mine->FDataType == v->FDataType) {
      if (mine == v || !mergeable(*mine, *v)) continue;
      if (mine->FDataType == jdtObject || mine->FDataType == jdtArray) {
        open(*mine, *v, mine);  // may grow the stack: f is not used after this
      } else {
        mine->Merge(v, reference);
      }
    } else {
      IJsonObject put = reference || !v ? v : v->Clone();
      if (object)
        f.Mine->FValue.o->Put(f.Names[k], std::move(put));
      else
        f.Mine->FValue.a->Put(static_cast<std::int64_t>(k), std::move(put));
    }
  }
}

void TJsonObject::Merge(const TJsonText& text) { Merge(ParseJson(text.View()), true); }

std::u16string TJsonObject::Format(std::u16string_view text, char16_t beginSep, char16_t endSep) {
  std::u16string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t b = text.find(beginSep, i);
    if (b == std::u16string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, b - i));
    const std::size_t e = text.find(endSep, b + 1);
    if (e == std::u16string_view::npos) break;  // an open path drops the rest
    out += GetPathString(text.substr(b + 1, e - b - 1));
    i = e + 1;
  }
  return out;
}

namespace {

bool IsNumeric(TJsonDataType t) { return t == jdtBoolean || t == jdtDouble || t == jdtCurrency || t == jdtInteger; }

TJsonCompareResult Order(int c) { return c < 0 ? jcrLess : c > 0 ? jcrGreater : jcrEqual; }

}  // namespace

TJsonCompareResult TJsonObject::Compare(const IJsonObject& other) {
  if (!other) return jcrNotComparable;
  const TJsonDataType a = FDataType, b = other->FDataType;
  if (IsNumeric(a) && IsNumeric(b)) {
    if (a != jdtDouble && b != jdtDouble) {
      // Exact: everything as a count of ten-thousandths.
      auto scaled = [](const TJsonObject& v) -> __int128 {
        if (v.FDataType == jdtBoolean) return v.FValue.b ? 10000 : 0;
        if (v.FDataType == jdtCurrency) return v.FValue.i;
        return static_cast<__int128>(v.FValue.i) * 10000;
      };
      const __int128 x = scaled(*this), y = scaled(*other);
      return Order(x < y ? -1 : x > y ? 1 : 0);
    }
    auto wide = [](const TJsonObject& v) -> long double {
      switch (v.FDataType) {
        case jdtBoolean: return v.FValue.b ? 1 : 0;
        case jdtDouble: return v.FValue.d;
        case jdtCurrency: return static_cast<long double>(v.FValue.i) / 10000;
        default: return static_cast<long double>(v.FValue.i);
      }
    };
    const long double x = wide(*this), y = wide(*other);
    if (std::isnan(x) || std::isnan(y)) return jcrNotComparable;
    return Order(x < y ? -1 : x > y ? 1 : 0);
  }
  const bool textA = a == jdtString || (IsNumeric(a) && a != jdtBoolean);
  const bool textB = b == jdtString || (IsNumeric(b) && b != jdtBoolean);
  if (textA && textB && (a == jdtString || b == jdtString)) return Order(AsString().compare(other->AsString()));
  return jcrNotComparable;
}

TJsonCompareResult TJsonObject::Compare(const TJsonText& text) { return Compare(ParseJson(text.View())); }

IJsonObject TJsonObject::Call(const TJsonText& path, const IJsonObject& param) {
  return EvalPath(path.View(), false, true, jpoCallMethod, param, jdtNull);
}

IJsonObject TJsonObject::Call(const TJsonText& path, const TJsonText& paramText) {
  return Call(path, ParseJson(paramText.View()));
}

}  // namespace ond
