// Writing values: layout, escaping, outputs and their failures.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "platform/core/Classes.h"
#include "services/ULocalization.h"
#include "services/jsonobject.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

IJsonObject Obj() { return TJsonObject::Create(jdtObject); }

TEST(JsonWriter, IndentationLayout) {
  IJsonObject a = TJsonObject::Create(jdtArray);
  for (int i = 1; i <= 3; ++i) a->AsArray()->Add(TJsonObject::Create(i));
  EXPECT_EQ(a->AsJsonText(true), u"[\r\n 1,2,3]");
  IJsonObject o = Obj();
  o->AsObject()->Put(u"m", TJsonObject::Create(TJsonMethod()));
  EXPECT_EQ(o->AsJsonText(true), u"{\r\n}");
  EXPECT_EQ(o->AsJsonText(false), u"{}");
  EXPECT_EQ(Obj()->AsJsonText(true), u"{}");
  EXPECT_EQ(TJsonObject::Create(jdtArray)->AsJsonText(true), u"[]");
  IJsonObject n = Obj();
  IJsonObject inner = Obj();
  inner->AsObject()->Put(u"x", TJsonObject::Create(true));
  n->AsObject()->Put(u"in", inner);
  n->AsObject()->Put(u"nil", nullptr);
  EXPECT_EQ(n->AsJsonText(true), u"{\r\n \"nil\": null,\r\n \"in\": {\r\n  \"x\": true\r\n }\r\n}");
  // Deep indentation beyond the space table.
  IJsonObject deep = Obj();
  IJsonObject cur = deep;
  for (int i = 0; i < 70; ++i) {
    IJsonObject next = Obj();
    cur->AsObject()->Put(u"d", next);
    cur = next;
  }
  cur->AsObject()->Put(u"v", TJsonObject::Create(1));
  const std::u16string text = deep->AsJsonText(true);
  EXPECT_NE(text.find(u"\r\n" + std::u16string(71, u' ') + u"\"v\": 1"), std::u16string::npos);
  EXPECT_EQ(deep->CalcSize(true, true), static_cast<std::int64_t>(text.size()));
}

TEST(JsonWriter, Escaping) {
  IJsonObject o = Obj();
  o->AsObject()->Put(u"a/b", TJsonObject::Create(std::u16string(u"\"\\/\b\t\n\f\r\u0001\u007f\u00e9\u0416") + u'\0'));
  EXPECT_EQ(o->AsJsonText(false, true),
            u"{\"a\\/b\":\"\\\"\\\\\\/\\b\\t\\n\\f\\r\\u0001\u007f\\u00e9\\u0416\\u0000\"}");
  EXPECT_EQ(o->AsJsonText(false, false),
            u"{\"a\\/b\":\"\\\"\\\\\\/\b\t\n\f\r\u0001\u007f\u00e9\u0416\\u0000\"}");
  const std::u16string lone{char16_t(0xD800), u'x', char16_t(0xDFFF)};
  EXPECT_EQ(TJsonObject::Create(lone)->AsJsonText(), u"\"\\ud800x\\udfff\"");
}

TEST(JsonWriter, CyclesAndSpecialNumbers) {
  IJsonObject o = Obj();
  IJsonObject a = TJsonObject::Create(jdtArray);
  o->AsObject()->Put(u"a", a);
  a->AsArray()->Add(TJsonObject::Create(1));
  a->AsArray()->Add(o);
  a->AsArray()->Add(a);
  a->AsArray()->Add(TJsonObject::Create(HUGE_VAL));
  EXPECT_EQ(o->AsJsonText(), u"{\"a\":[1,null]}");
  // Written from inside itself, a value gives null.
  o->SetProcessing(true);
  EXPECT_EQ(o->AsJsonText(), u"null");
  o->SetProcessing(false);
  o->Clear(true);
  a->Clear(true);
}

// A stream that takes a limited number of bytes, a few at a time.
class ShortStream : public TMemoryStream {
 public:
  explicit ShortStream(std::int64_t limit) : FLimit(limit) {}
  std::int64_t Write(const void* buffer, std::int64_t count) override {
    const std::int64_t n = std::min<std::int64_t>({count, 3, FLimit - GetSize()});
    if (n <= 0) return 0;
    return TMemoryStream::Write(buffer, n);
  }

 private:
  std::int64_t FLimit;
};

TEST(JsonWriter, StreamsFilesAndFailures) {
  IJsonObject o = Obj();
  o->AsObject()->Put(u"k", TJsonObject::Create(u"\u0416/x"));
  TMemoryStream ansi;
  EXPECT_EQ(o->SaveTo(ansi, false, true), 17);
  EXPECT_EQ(ansi.Data(), "{\"k\":\"\\u0416\\/x\"}" + std::string());
  TMemoryStream wide;
  // Two bytes per character after the byte-order mark the reader looks for.
  EXPECT_EQ(o->SaveTo(wide, false, false), 26);
  EXPECT_EQ(wide.Data().substr(0, 6), std::string("\xFF\xFE{\0\"\0", 6));
  EXPECT_EQ(wide.Data().substr(14, 2), std::string("\x16\x04", 2));
  // Short writes are retried until everything is written.
  ShortStream partial(1000);
  EXPECT_EQ(o->SaveTo(partial, false, true), 17);
  EXPECT_EQ(partial.Data(), ansi.Data());
  // A failing stream is reported, never taken for success.
  ShortStream full(10);
  EXPECT_EQ(o->SaveTo(full, false, true), 0);
  EXPECT_EQ(full.GetPosition(), 0);
  EXPECT_EQ(o->CalcSize(false, true), 17);
  EXPECT_EQ(o->CalcSize(false, false), 12);

  test::TempDir dir;
  const std::string file = dir / "s.json";
  dir.Write("s.json", "old content");
  EXPECT_EQ(o->SaveTo(file, true, true), 23);
  EXPECT_EQ(test::TempDir::Read(file), "{\r\n \"k\": \"\\u0416\\/x\"\r\n}");
  EXPECT_EQ(o->SaveTo(dir / "missing/s.json", true, true), 0);
  // Nothing but the file is left in the folder.
  EXPECT_EQ(::access((file + ".tmp").c_str(), F_OK), -1);
}

// Whatever SaveTo writes, to a file or a stream, escaped or not, indented or
// not, the parser reads back as the same value.
TEST(JsonWriter, EverythingWrittenReadsBack) {
  IJsonObject o = Obj();
  o->AsObject()->Put(u"name", TJsonObject::Create(u"\u0416\u00e9 \"/\\ \u20ac"));
  IJsonObject list = TJsonObject::Create(jdtArray);
  list->AsArray()->Add(TJsonObject::Create(1.5));
  list->AsArray()->Add(TJsonObject::Create(u""));
  list->AsArray()->Add(Obj());
  o->AsObject()->Put(u"\u0436list", list);
  test::TempDir dir;
  for (const bool indent : {false, true}) {
    for (const bool escape : {false, true}) {
      SCOPED_TRACE(std::string(indent ? "indent " : "") + (escape ? "escape" : "wide"));
      const std::string file = dir / "r.json";
      ASSERT_GT(o->SaveTo(file, indent, escape), 0);
      const IJsonObject fromFile = ParseFile(file, true, false);
      TMemoryStream stream;
      ASSERT_GT(o->SaveTo(stream, indent, escape), 0);
      stream.Seek(0, TSeekOrigin::soBeginning);
      const IJsonObject fromStream = ParseStream(stream, true, false);
      for (const IJsonObject& back : {fromFile, fromStream}) {
        ASSERT_TRUE(back);
        EXPECT_EQ(back->AsJsonText(), o->AsJsonText());
      }
    }
  }
}

TEST(JsonWriter, SocketAlwaysEscapesAndSurvivesClosedPeer) {
  int sv[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
  IJsonObject s = TJsonObject::Create(u"\u0416");
  EXPECT_EQ(s->SaveTo(sv[0], false, false), 8);
  char buf[16] = {};
  EXPECT_EQ(::read(sv[1], buf, sizeof buf), 8);
  EXPECT_EQ(std::string(buf, 8), "\"\\u0416\"");
  ::close(sv[1]);
  // No SIGPIPE: the failure is a plain 0.
  EXPECT_EQ(s->SaveTo(sv[0], false, false), 0);
  ::close(sv[0]);
}

TEST(JsonWriter, StringWriterBuffer) {
  TJsonWriterString w;
  EXPECT_EQ(w.Append(u"ab \r\n"), 5);
  w.TrimRight();
  EXPECT_EQ(w.Data(), u"ab");
  TJsonWriterFake f;
  f.Append(u"abc", 3);
  EXPECT_EQ(f.Append(u"de"), 5);
  f.Reset();
  EXPECT_EQ(f.GetCount(), 0);
}

// A link at the name is replaced by the file (the file it named is left
// alone); a failed save gives its reason, keeps the old file and leaves
// nothing behind.
TEST(JsonWriter, SavingAFileReplacesItSafely) {
  namespace fs = std::filesystem;
  test::TempDir dir;
  IJsonObject o = Obj();
  o->AsObject()->Put(u"k", TJsonObject::Create(1));
  const std::string kept = dir.Write("real/s.json", "old");
  const std::string link = dir / "s.json";
  fs::create_symlink("real/s.json", link);
  std::string reason = "unchanged";
  EXPECT_EQ(o->SaveTo(link, false, true, &reason), 7);
  EXPECT_EQ(reason, "unchanged");
  EXPECT_FALSE(fs::is_symlink(link));
  EXPECT_EQ(test::TempDir::Read(link), "{\"k\":1}");
  EXPECT_EQ(test::TempDir::Read(kept), "old");

  const std::string folder = dir / "folder.json";
  ASSERT_TRUE(fs::create_directory(folder));
  EXPECT_EQ(o->SaveTo(folder, false, true, &reason), 0);
  EXPECT_EQ(reason.rfind(LangFill(leCannotWriteFile, {folder}) + " ", 0), 0u) << reason;
  EXPECT_TRUE(fs::is_directory(folder));
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::recursive_directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, 4);  // the file, the folder the link pointed into, its file, the folder
}

}  // namespace
}  // namespace ond
