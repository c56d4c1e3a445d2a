// Parsing and writing a generated 20 MB document, with expat's parser timed on
// the same bytes for comparison. Expat is loaded at run time through its basic
// documented API, so the benchmark builds without linking it; when it is not
// installed its benchmark reports an error and the others still run.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <random>
#include <string>

#include "highlight/XmlModel.h"

namespace {

// Element names, attribute names and text of a scheme-like document: wide runs
// of siblings, deep chains, attributes with references, text and comments.
class Generator {
 public:
  std::string Make(std::size_t target) {
    FOut = "<?xml version=\"1.0\"?>\r\n<Root version=\"2.0\">";
    while (FOut.size() < target) Element(1);
    FOut += "</Root>";
    return FOut;
  }

 private:
  void Element(int depth) {
    const std::string name = kNames[FRng() % 24];
    FOut += "\r\n";
    FOut.append(static_cast<std::size_t>(depth), '\t');
    FOut += '<';
    FOut += name;
    const int attrs = static_cast<int>(FRng() % 5);
    for (int i = 0; i < attrs; ++i) {
      FOut += ' ';
      FOut += kAttrs[FRng() % 12];
      FOut += std::to_string(i);
      FOut += "=\"";
      FOut += (FRng() % 8 == 0) ? "a &amp; b &lt; c" : "value" + std::to_string(FRng() % 1000);
      FOut += '"';
    }
    const unsigned kind = FRng() % 10;
    if (kind < 3 || depth > 60) {
      FOut += "/>";
    } else if (kind < 6) {
      FOut += '>';
      FOut += kTexts[FRng() % 4];
      FOut += "</" + name + ">";
    } else {
      FOut += '>';
      // Mostly shallow and wide; now and then a long chain goes deep.
      const int children = kind == 9 ? 1 : static_cast<int>(FRng() % 8);
      for (int i = 0; i < children; ++i) Element(depth + 1);
      if (FRng() % 16 == 0) FOut += "<!-- note -->";
      FOut += "\r\n";
      FOut.append(static_cast<std::size_t>(depth), '\t');
      FOut += "</" + name + ">";
    }
  }

  static constexpr const char* kNames[24] = {
      "Range", "KeyList", "Set", "Token", "Attri", "Info", "General", "Author", "Word", "Rule", "Scheme", "Item",
      "Style", "Color", "Font", "Options", "Block", "Text", "Open", "Close", "Parser", "Marker", "Group", "Entry"};
  static constexpr const char* kAttrs[12] = {"Name", "Type", "Style", "Fore", "Back", "Case", "Open", "Close",
                                             "Delim", "Enabled", "Index", "Kind"};
  static constexpr const char* kTexts[4] = {"plain words", "1234567", "a &amp; b &gt; c with &#65; reference",
                                            "somewhat longer text that goes on for a while to give the parser work"};
  std::mt19937 FRng{2024};
  std::string FOut;
};

const std::string& Document() {
  static const std::string doc = Generator().Make(20u << 20);
  return doc;
}

void BM_XmlParse(benchmark::State& state) {
  const std::string& text = Document();
  for (auto _ : state) {
    auto doc = ond::CreateXmlDocument("", "1.0", "", std::make_shared<ond::TXmlNameTable>(4096));
    doc->LoadXML(text);
    benchmark::DoNotOptimize(doc.get());
    // Freeing the tree is timed, as expat's ParserFree is.
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_XmlParse)->Unit(benchmark::kMillisecond);

void BM_XmlWrite(benchmark::State& state) {
  auto doc = ond::CreateXmlDocument();
  doc->LoadXML(Document());
  std::size_t size = 0;
  for (auto _ : state) {
    const std::string out = doc->GetXML();
    size = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}
BENCHMARK(BM_XmlWrite)->Unit(benchmark::kMillisecond);

void BM_XmlBinaryRoundTrip(benchmark::State& state) {
  auto doc = ond::CreateXmlDocument();
  doc->LoadXML(Document());
  for (auto _ : state) {
    const std::string bin = doc->SaveBinaryToString();
    auto back = ond::CreateXmlDocument();
    back->LoadBinaryFromString(bin);
    benchmark::DoNotOptimize(back.get());
  }
}
BENCHMARK(BM_XmlBinaryRoundTrip)->Unit(benchmark::kMillisecond);

// expat's basic API, by its documented signatures.
using XmlParserHandle = void*;
using StartHandler = void (*)(void*, const char*, const char**);
using EndHandler = void (*)(void*, const char*);
using CharHandler = void (*)(void*, const char*, int);
struct Expat {
  XmlParserHandle (*ParserCreate)(const char*) = nullptr;
  void (*SetElementHandler)(XmlParserHandle, StartHandler, EndHandler) = nullptr;
  void (*SetCharacterDataHandler)(XmlParserHandle, CharHandler) = nullptr;
  void (*SetUserData)(XmlParserHandle, void*) = nullptr;
  int (*Parse)(XmlParserHandle, const char*, int, int) = nullptr;
  void (*ParserFree)(XmlParserHandle) = nullptr;
  bool ok = false;
};

const Expat& LoadExpat() {
  static const Expat e = [] {
    Expat x;
    void* lib = dlopen("libexpat.so.1", RTLD_NOW);
    if (!lib) return x;
    x.ParserCreate = reinterpret_cast<decltype(x.ParserCreate)>(dlsym(lib, "XML_ParserCreate"));
    x.SetElementHandler = reinterpret_cast<decltype(x.SetElementHandler)>(dlsym(lib, "XML_SetElementHandler"));
    x.SetCharacterDataHandler =
        reinterpret_cast<decltype(x.SetCharacterDataHandler)>(dlsym(lib, "XML_SetCharacterDataHandler"));
    x.SetUserData = reinterpret_cast<decltype(x.SetUserData)>(dlsym(lib, "XML_SetUserData"));
    x.Parse = reinterpret_cast<decltype(x.Parse)>(dlsym(lib, "XML_Parse"));
    x.ParserFree = reinterpret_cast<decltype(x.ParserFree)>(dlsym(lib, "XML_ParserFree"));
    x.ok = x.ParserCreate && x.SetElementHandler && x.SetCharacterDataHandler && x.SetUserData && x.Parse &&
           x.ParserFree;
    return x;
  }();
  return e;
}

struct Counts {
  std::size_t elements = 0, attrs = 0, chars = 0;
};

void BM_ExpatParse(benchmark::State& state) {
  const Expat& x = LoadExpat();
  if (!x.ok) {
    state.SkipWithError("libexpat.so.1 not found (package libexpat1)");
    return;
  }
  const std::string& text = Document();
  for (auto _ : state) {
    Counts counts;
    XmlParserHandle p = x.ParserCreate(nullptr);
    x.SetUserData(p, &counts);
    x.SetElementHandler(
        p,
        [](void* u, const char*, const char** atts) {
          auto* c = static_cast<Counts*>(u);
          ++c->elements;
          while (*atts) {
            ++c->attrs;
            atts += 2;
          }
        },
        [](void*, const char*) {});
    x.SetCharacterDataHandler(p, [](void* u, const char*, int len) { static_cast<Counts*>(u)->chars += static_cast<std::size_t>(len); });
    if (!x.Parse(p, text.data(), static_cast<int>(text.size()), 1)) state.SkipWithError("expat rejected the document");
    x.ParserFree(p);
    benchmark::DoNotOptimize(counts.elements);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ExpatParse)->Unit(benchmark::kMillisecond);

}  // namespace
