#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "editor/OndEditTextBuffer.h"
#include "tests/support/TempDir.h"

namespace ond {
namespace {

std::vector<std::string> Lines(const TOndEditStringList& l) {
  std::vector<std::string> r;
  for (int i = 0; i < l.GetCount(); ++i) r.push_back(l.Get(i));
  return r;
}

using V = std::vector<std::string>;

void Load(TOndEditStringList& l, const std::string& bytes) {
  TStringStream s(bytes);
  s.SetPosition(s.GetSize());  // loading reads from position 0 whatever the position
  l.LoadFromStream(s);
}

std::string Save(const TOndEditStringList& l) {
  TStringStream s;
  l.SaveToStream(s);
  return s.DataString();
}

// Records every notification of a list as text.
struct EventLog {
  std::vector<std::string> Events;
  explicit EventLog(TOndEditStringList& l) {
    auto rec = [this](const char* name) {
      return [this, name](TOndEditStringList*, int i, int n) {
        Events.push_back(std::string(name) + "(" + std::to_string(i) + "," + std::to_string(n) + ")");
      };
    };
    l.OnChanging = [this](TOndEditStringList*) { Events.push_back("changing"); };
    l.OnChange = [this](TOndEditStringList*) { Events.push_back("change"); };
    l.OnLinesCleared = [this](TOndEditStringList*) { Events.push_back("cleared"); };
    l.OnBeforeLinesInserted = rec("beforeIns");
    l.OnLinesInserted = rec("ins");
    l.OnBeforeLinesDeleted = rec("beforeDel");
    l.OnLinesDeleted = rec("del");
    l.OnBeforeLineReplaced = rec("beforePut");
    l.OnLineReplaced = rec("put");
  }
};

TEST(TextBuffer, LoadDetectsLineEndsAndSaveRoundTrips) {
  struct Case {
    std::string In;
    V Lines;
    TOndEditFileFormat Format;
    std::string Out;  // SaveToStream afterwards
  };
  const std::vector<Case> cases = {
      {"a\r\nb", {"a", "b"}, sffDos, "a\r\nb"},
      {"a\nb\n", {"a", "b"}, sffUnix, "a\nb"},
      {"a\rb", {"a", "b"}, sffMac, "a\rb"},
      {"a\r\nb\nc", {"a", "b", "c"}, sffDos, "a\r\nb\r\nc"},
      {"a\rb\nc", {"a", "b", "c"}, sffDos, "a\r\nb\r\nc"},
      {"a\n\n  \n", {"a"}, sffUnix, "a"},
      {"a\r\n\r\n\t \x01\r\n\r\n", {"a"}, sffDos, "a"},
      {"a\n\nb\n\n", {"a", "", "b"}, sffUnix, "a\n\nb"},
      {"\n\n \n", {}, sffUnix, ""},
      {"", {}, sffDos, ""},
      {"a\n\rb", {"a", "", "b"}, sffDos, "a\r\n\r\nb"},  // LF CR ends two lines
      {"single", {"single"}, sffDos, "single"},
  };
  for (const auto& c : cases) {
    TOndEditStringList l;
    l.FileFormat = sffMac;
    Load(l, c.In);
    EXPECT_EQ(Lines(l), c.Lines) << c.In;
    EXPECT_EQ(l.FileFormat, c.Format) << c.In;
    EXPECT_EQ(Save(l), c.Out) << c.In;
    for (int i = 0; i < l.GetCount(); ++i) EXPECT_EQ(l.GetLineExtra(i)->ModifiedState, 0) << c.In;
  }

  // Without trimming, the empty line the final break adds is kept and saved
  // as that break again.
  TOndEditStringList keep;
  keep.TrimTrailingBlankLines = false;
  Load(keep, "a\n \n");
  EXPECT_EQ(Lines(keep), (V{"a", " ", ""}));
  EXPECT_EQ(keep.GetLineExtra(1)->ModifiedState, 0);
  EXPECT_EQ(keep.GetLineExtra(2)->ModifiedState, 2);
  EXPECT_EQ(Save(keep), "a\n \n");

  // NUL is an ordinary character.
  TOndEditStringList nul;
  Load(nul, std::string("a\0b\r\n\0x\n\0", 9));
  EXPECT_EQ(Lines(nul), (V{std::string("a\0b", 3), std::string("\0x", 2)}));  // a lone NUL is blank

  // LineBreakAfterLast: loaded final breaks add no empty line, saving ends with one.
  TOndEditStringList lb;
  lb.LineBreakAfterLast = true;
  lb.TrimTrailingBlankLines = false;
  Load(lb, "x\ny\n");
  EXPECT_EQ(Lines(lb), (V{"x", "y"}));
  EXPECT_EQ(Save(lb), "x\ny\n");
}

// A line-by-line split as the rules say it: CR LF, LF and CR each end a line.
V SplitOneByOne(const std::string& text) {
  V lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.push_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  if (!text.empty() && (text.back() == '\r' || text.back() == '\n')) lines.emplace_back();
  return lines;
}

TEST(TextBuffer, SplittingInBlocksMatchesALineByLineSplit) {
  // Line breaks of every kind at every place of the 64-byte blocks the
  // split reads: a CR at a block's end with its LF in the next, empty lines,
  // lines longer than a block, no final break; tabs here and there, which
  // the split notes per line.
  std::mt19937 random(2026);
  const std::string breaks[] = {"\r", "\n", "\r\n"};
  for (int round = 0; round < 500; ++round) {
    std::string text;
    const std::size_t length = random() % 400;
    const int kinds = 1 + static_cast<int>(random() % 3);  // one kind of break, or a mixture
    const int kind = static_cast<int>(random() % 3);
    while (text.size() < length) {
      const std::size_t letters = random() % 3 == 0 ? 0 : random() % 90;
      text.append(letters, static_cast<char>('a' + random() % 26));
      if (random() % 5 == 0) text.insert(text.size() - random() % (letters + 1), "\t");
      text += breaks[kinds == 1 ? kind : static_cast<int>(random() % 3)];
    }
    if (random() % 2) text.append(random() % 70, 'z');
    const V expected = SplitOneByOne(text);
    for (int way = 0; way < 3; ++way) {
      TOndEditStringList l;
      l.TrimTrailingBlankLines = false;
      if (way == 0) l.LoadFromString(std::string(text));
      if (way == 1) Load(l, text);
      if (way == 2) l.SetText(text);
      ASSERT_EQ(Lines(l), expected) << "way " << way << ": " << text;
      for (int i = 0; i < l.GetCount(); ++i)
        ASSERT_EQ(l.LineHasTabs(i), expected[static_cast<std::size_t>(i)].find('\t') != std::string::npos)
            << "way " << way << " line " << i << ": " << text;
    }
    // Unchanged, a text with one kind of line break saves to its own bytes.
    TOndEditStringList l;
    l.TrimTrailingBlankLines = false;
    l.LoadFromString(std::string(text));
    const bool cr = text.find('\r') != std::string::npos, lf = text.find('\n') != std::string::npos;
    EXPECT_EQ(l.FileFormat, cr && !lf ? sffMac : lf && !cr ? sffUnix : sffDos) << text;
    if (kinds == 1 && !text.empty()) {
      EXPECT_EQ(Save(l), text);
    }
  }
}

TEST(TextBuffer, ColoursAndModifiedMarksFollowTheirLines) {
  // Random inserts, deletes, replacements, exchanges and colour changes
  // against a plain list of (text, extra) pairs.
  struct Line {
    std::string Text;
    TOndLineExtra Extra;
  };
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    TOndEditStringList l;
    l.LoadFromString("one\ntwo\nthree\nfour\n");
    std::vector<Line> model;
    for (int i = 0; i < l.GetCount(); ++i) model.push_back({l.Get(i), TOndLineExtra{clNone, clNone, 0, 0}});
    for (int step = 0; step < 300; ++step) {
      const int n = l.GetCount();
      const int at = n > 0 ? static_cast<int>(random() % static_cast<unsigned>(n)) : 0;
      const std::string text = "t" + std::to_string(step);
      switch (random() % 7) {
        case 0:
          l.Insert(at, text);
          model.insert(model.begin() + at, {text, TOndLineExtra{}});
          break;
        case 1:
          if (n == 0) break;
          l.Delete(at);
          model.erase(model.begin() + at);
          break;
        case 2: {
          const int count = std::min(n - at, static_cast<int>(random() % 4));
          l.DeleteLineRange(at, count);
          model.erase(model.begin() + at, model.begin() + at + count);
          break;
        }
        case 3:
          if (n == 0) break;
          l.Put(at, text);
          model[static_cast<std::size_t>(at)].Text = text;
          model[static_cast<std::size_t>(at)].Extra.ModifiedState = 2;
          break;
        case 4:
          if (n < 2) break;
          l.Exchange(at, n - 1);
          std::swap(model[static_cast<std::size_t>(at)], model.back());
          break;
        case 5:
          l.InsertLines(at, {text, text + "b"});
          model.insert(model.begin() + at, {{text, TOndLineExtra{}}, {text + "b", TOndLineExtra{}}});
          break;
        default: {
          if (n == 0) break;
          TOndLineExtra x;
          x.ColorUse = static_cast<std::uint8_t>(random() % 4);
          x.ModifiedState = static_cast<std::uint8_t>(random() % 3);
          x.Foreground = random() % 3 == 0 ? clNone : static_cast<TColor>(random() % 0x1000000);
          x.Background = random() % 3 == 0 ? clNone : static_cast<TColor>(random() % 0x1000000);
          l.SetLineExtra(at, x);
          model[static_cast<std::size_t>(at)].Extra = x;
        }
      }
      ASSERT_EQ(l.GetCount(), static_cast<int>(model.size()));
      for (int i = 0; i < l.GetCount(); ++i) {
        const TOndLineExtra& want = model[static_cast<std::size_t>(i)].Extra;
        const std::optional<TOndLineExtra> got = l.GetLineExtra(i);
        ASSERT_TRUE(got.has_value());
        ASSERT_EQ(l.Get(i), model[static_cast<std::size_t>(i)].Text) << "step " << step;
        ASSERT_EQ(got->Foreground, want.Foreground) << "step " << step << " line " << i;
        ASSERT_EQ(got->Background, want.Background) << "step " << step << " line " << i;
        ASSERT_EQ(got->ColorUse, want.ColorUse) << "step " << step << " line " << i;
        ASSERT_EQ(got->ModifiedState, want.ModifiedState) << "step " << step << " line " << i;
      }
    }
    // Saving marks the changed lines as saved and leaves the others.
    l.MarkChangedLinesSaved();
    for (int i = 0; i < l.GetCount(); ++i) {
      const std::uint8_t was = model[static_cast<std::size_t>(i)].Extra.ModifiedState;
      EXPECT_EQ(l.GetLineExtra(i)->ModifiedState, was == 2 ? 1 : was);
    }
  }
}

TEST(TextBuffer, TextGivenOverLoadsAsTheStreamDoesAndIsNotCopied) {
  const std::string inputs[] = {"a\r\nb",   "a\nb\n",        "a\rb",  "a\rb\nc", "a\n\n  \n", "\n\n \n", "",
                                "a\n\rb",   std::string("a\0b\r\n\0x\n\0", 9), "single line without a break"};
  for (const std::string& in : inputs) {
    for (int settings = 0; settings < 4; ++settings) {
      TOndEditStringList fromStream, fromString;
      for (TOndEditStringList* l : {&fromStream, &fromString}) {
        l->TrimTrailingBlankLines = (settings & 1) != 0;
        l->LineBreakAfterLast = (settings & 2) != 0;
        l->FileFormat = sffMac;
        l->Add("old line");
      }
      Load(fromStream, in);
      fromString.LoadFromString(std::string(in));
      EXPECT_EQ(Lines(fromString), Lines(fromStream)) << in << " / " << settings;
      EXPECT_EQ(fromString.FileFormat, fromStream.FileFormat) << in;
      for (int i = 0; i < fromStream.GetCount(); ++i)
        EXPECT_EQ(fromString.GetLineExtra(i)->ModifiedState, fromStream.GetLineExtra(i)->ModifiedState) << in;
    }
  }
  // The lines point into the text handed over, and stay valid while it lives
  // in the list.
  std::string text = "first line of a text longer than a short string\nsecond";
  const char* at = text.data();
  TOndEditStringList l;
  l.LoadFromString(std::move(text));
  EXPECT_EQ(l.GetView(0).data(), at);
  l.Put(0, "changed");
  EXPECT_EQ(Lines(l), (V{"changed", "second"}));
  // A short text lives inside its string object, which the list keeps in place.
  l.LoadFromString("a\nb");
  l.Add("c");
  EXPECT_EQ(Lines(l), (V{"a", "b", "c"}));
}

// Per-line objects are kept beside the lines; whatever happens to the lines,
// each object stays with its own line.
TEST(TextBuffer, ObjectsStayWithTheirLines) {
  TOndEditStringList l;
  l.SetText("a\nb\nc\nd\ne");
  int o[5] = {};
  for (int i : {1, 3}) l.PutObject(i, &o[i]);
  auto objectOf = [&](const std::string& line) -> void* {
    for (int i = 0; i < l.GetCount(); ++i)
      if (l.Get(i) == line) return l.GetObject(i);
    return &o[4];  // never an answer: the line is gone
  };
  auto expect = [&](const char* step) {
    EXPECT_EQ(objectOf("b"), &o[1]) << step;
    EXPECT_EQ(objectOf("d"), &o[3]) << step;
    for (const char* other : {"a", "c", "e", "new", "x", "y", ""}) {
      if (objectOf(other) != &o[4]) {
        EXPECT_EQ(objectOf(other), nullptr) << step << " " << other;
      }
    }
  };
  l.Insert(0, "new");
  expect("insert");
  l.InsertEmptyLines(2, 2);
  expect("empty lines");
  l.InsertLines(1, {"x", "y"});
  expect("lines");
  l.Exchange(0, l.GetCount() - 1);
  expect("exchange");
  l.Delete(0);
  expect("delete");
  l.DeleteLineRange(0, 2);
  expect("range");
  // A changed line keeps its object.
  for (int i = 0; i < l.GetCount(); ++i) {
    if (l.Get(i) != "d") continue;
    l.Put(i, "D");
    EXPECT_EQ(l.GetObject(i), &o[3]);
  }
  l.PutObject(l.GetCount() - 1, nullptr);
  TOndEditStringList copy;
  copy.AddStrings(l);
  for (int i = 0; i < l.GetCount(); ++i) EXPECT_EQ(copy.GetObject(i), l.GetObject(i)) << i;
  l.Clear();
  l.Add("fresh");
  EXPECT_EQ(l.GetObject(0), nullptr);
}

TEST(TextBuffer, FilesRoundTripThroughTheBufferedWriter) {
  test::TempDir dir;
  const std::string longLine(20000, 'x');
  for (auto fmt : {sffDos, sffUnix, sffMac}) {
    TOndEditStringList l;
    l.Add("first");
    l.Add(longLine);
    for (int i = 0; i < 3000; ++i) l.Add("line " + std::to_string(i));
    l.Add("");
    l.Add("last");
    l.FileFormat = fmt;
    const std::string path = dir / ("f" + std::to_string(fmt) + ".txt");
    l.SaveToFile(path);
    EXPECT_EQ(test::TempDir::Read(path), Save(l));

    TOndEditStringList back;
    back.LoadFromFile(path);
    EXPECT_EQ(Lines(back), Lines(l));
    EXPECT_EQ(back.FileFormat, fmt);
  }

  // A write larger than the buffer goes out whole after one flush.
  {
    TOndEditFileWriter w(dir / "w.txt");
    EXPECT_EQ(w.GetBufferSize(), 16384u);
    EXPECT_EQ(w.GetFileFormat(), sffUnix);
    w.Write("head");
    w.WriteLine(longLine);
    EXPECT_EQ(w.GetBufferSize(), longLine.size() + 1);
    w.Write("tail");
  }
  EXPECT_EQ(test::TempDir::Read(dir / "w.txt"), "head" + longLine + "\ntail");

  // Opening a missing file fails before the list changes.
  TOndEditStringList l;
  l.Add("keep");
  EXPECT_THROW(l.LoadFromFile(dir / "missing.txt"), EFOpenError);
  EXPECT_EQ(Lines(l), V{"keep"});
}

TEST(TextBuffer, TextPropertyJoinsWithCrLfAndSplitsWithoutTrimming) {
  TOndEditStringList l;
  l.Add("a");
  l.Add("b");
  l.FileFormat = sffUnix;
  EXPECT_EQ(l.GetText(), "a\r\nb");
  EXPECT_EQ(Save(l), "a\nb");

  l.SetText("x\r\ny\n\n");
  EXPECT_EQ(Lines(l), (V{"x", "y", "", ""}));
  EXPECT_EQ(l.FileFormat, sffUnix);  // the setter leaves the format alone
  EXPECT_EQ(l.GetLineExtra(0)->ModifiedState, 2);
  l.SetText("");
  EXPECT_EQ(l.GetCount(), 0);
  EXPECT_EQ(l.GetText(), "");
}

TEST(TextBuffer, NotificationOrder) {
  TOndEditStringList l;
  EventLog log(l);
  EXPECT_EQ(l.Add("a"), 0);
  l.Insert(0, "b");
  EXPECT_EQ(log.Events, (V{"changing", "beforeIns(0,1)", "ins(0,1)", "change", "changing", "beforeIns(0,1)",
                           "ins(0,1)", "change"}));
  log.Events.clear();

  l.PutRange(0, 7);
  l.Put(0, "c");
  EXPECT_EQ(log.Events, (V{"changing", "change", "beforePut(0,1)", "changing", "put(0,1)", "change"}));
  EXPECT_EQ(l.GetRange(0), 7);  // kept by Put
  log.Events.clear();

  l.Put(2, "appended");  // Put at Count appends
  EXPECT_EQ(log.Events, (V{"changing", "beforeIns(2,1)", "ins(2,1)", "change"}));
  EXPECT_EQ(Lines(l), (V{"c", "a", "appended"}));
  log.Events.clear();

  l.InsertEmptyLines(1, 2);
  l.InsertEmptyLines(1, 0);
  EXPECT_EQ(log.Events, (V{"changing", "beforeIns(1,2)", "ins(1,2)", "change"}));
  EXPECT_EQ(l.GetCapacity(), 16);  // room enough: inserting never shrinks the array
  log.Events.clear();

  l.Delete(0);
  EXPECT_EQ(log.Events, (V{"changing", "beforeDel(0,1)", "del(0,1)", "change"}));
  log.Events.clear();

  // A range past the end removes up to the end and reports that many.
  l.DeleteLineRange(2, 10);
  EXPECT_EQ(log.Events, (V{"beforeDel(2,2)", "changing", "change", "del(2,2)"}));
  EXPECT_EQ(Lines(l), (V{"", ""}));
  log.Events.clear();
  l.DeleteLineRange(2, 1);  // nothing lies there
  l.DeleteLineRange(0, 0);
  EXPECT_TRUE(log.Events.empty());

  l.Exchange(0, 1);
  EXPECT_EQ(log.Events, (V{"changing", "change"}));
  log.Events.clear();

  TStringList src;
  src.Add("s1");
  src.Add("s2");
  l.AddStrings(src);
  EXPECT_EQ(log.Events, (V{"changing", "ins(2,2)", "change"}));
  log.Events.clear();

  l.Clear();
  l.Clear();
  EXPECT_EQ(log.Events, (V{"changing", "cleared", "change"}));
  log.Events.clear();

  // Nested updates notify once around the outermost bracket.
  l.BeginUpdate();
  l.Add("x");
  l.Add("y");
  l.EndUpdate();
  EXPECT_EQ(log.Events, (V{"changing", "beforeIns(0,1)", "ins(0,1)", "beforeIns(1,1)", "ins(1,1)", "change"}));
  log.Events.clear();

  // Loading: one bracket; cleared, then the read lines as one insertion,
  // the empty line after the last break, trimming deletes.
  Load(l, "p\nq\n\n");
  EXPECT_EQ(log.Events, (V{"changing", "cleared", "beforeIns(0,3)", "ins(0,3)", "beforeIns(3,1)", "ins(3,1)",
                           "beforeDel(3,1)", "del(3,1)", "beforeDel(2,1)", "del(2,1)", "change"}));
}

TEST(TextBuffer, IndexErrorsRaiseBeforeAnyEvent) {
  TOndEditStringList l;
  l.Add("a");
  l.Add("b");
  EventLog log(l);
  auto expectIndexError = [&](const std::function<void()>& f, int index) {
    try {
      f();
      ADD_FAILURE() << "no error for " << index;
    } catch (const EOndEditStringList& e) {
      EXPECT_EQ(e.Message, "Invalid stringlist index " + std::to_string(index));
    }
  };
  expectIndexError([&] { l.Insert(3, "x"); }, 3);
  expectIndexError([&] { l.Insert(-1, "x"); }, -1);
  expectIndexError([&] { l.InsertEmptyLines(5, 1); }, 5);
  expectIndexError([&] { l.Put(3, "x"); }, 3);
  expectIndexError([&] { l.Put(-1, "x"); }, -1);
  expectIndexError([&] { l.Delete(2); }, 2);
  expectIndexError([&] { l.DeleteLineRange(3, 1); }, 3);
  expectIndexError([&] { l.Exchange(0, 2); }, 2);
  expectIndexError([&] { l.Exchange(-1, 0); }, -1);
  expectIndexError([&] { l.PutObject(2, nullptr); }, 2);
  expectIndexError([&] { l.PutRange(2, 0); }, 2);
  EXPECT_TRUE(log.Events.empty());
  EXPECT_EQ(Lines(l), (V{"a", "b"}));

  try {
    l.SetCapacity(1);
    ADD_FAILURE();
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message, "Stringlist capacity cannot be smaller than count");
  }

  // Reads never raise.
  EXPECT_EQ(l.Get(-1), "");
  EXPECT_EQ(l.Get(2), "");
  EXPECT_EQ(l.GetObject(2), nullptr);
  EXPECT_EQ(l.GetRange(-1), 0);
  EXPECT_FALSE(l.GetLineExtra(2).has_value());
  EXPECT_EQ(l.GetExpandedText(2), "");
  EXPECT_EQ(l.GetExpandedTextLength(-1), 0);
  EXPECT_TRUE(log.Events.empty());
}

TEST(TextBuffer, HandlersThatChangeTheListCannotCorruptIt) {
  TOndEditStringList l;
  l.Add("a");
  l.Add("b");
  l.OnBeforeLinesInserted = [](TOndEditStringList* s, int, int) {
    if (s->GetCount() > 0) s->DeleteLineRange(0, s->GetCount());
  };
  EXPECT_THROW(l.Insert(2, "c"), EOndEditStringList);
  EXPECT_EQ(l.GetCount(), 0);
  EXPECT_EQ(l.UpdateCount(), 0);  // the bracket was closed on the way out

  l.OnBeforeLinesInserted = nullptr;
  l.Add("x");
  l.OnBeforeLineReplaced = [](TOndEditStringList* s, int, int) { s->Delete(0); };
  EXPECT_THROW(l.Put(0, "y"), EOndEditStringList);
  EXPECT_EQ(l.GetCount(), 0);

  // The list notifies nothing while it is destroyed.
  bool fired = false;
  {
    TOndEditStringList d;
    d.Add("z");
    d.OnChange = [&](TOndEditStringList*) { fired = true; };
    d.OnChanging = [&](TOndEditStringList*) { fired = true; };
  }
  EXPECT_FALSE(fired);
}

TEST(TextBuffer, RecordsDefaultsAndPerLineState) {
  TOndEditStringList l;
  EXPECT_EQ(l.FileFormat, sffDos);
  EXPECT_FALSE(l.LineBreakAfterLast);
  EXPECT_TRUE(l.TrimTrailingBlankLines);
  EXPECT_EQ(l.GetTabWidth(), 8);
  EXPECT_EQ(l.GetLongestLineIndex(), -1);

  l.Add("a");
  std::optional<TOndLineExtra> x = l.GetLineExtra(0);
  ASSERT_TRUE(x.has_value());
  EXPECT_EQ(x->Foreground, clNone);
  EXPECT_EQ(x->Background, clNone);
  EXPECT_EQ(x->ColorUse, 0);
  EXPECT_EQ(x->ModifiedState, 2);
  EXPECT_EQ(l.GetRange(0), RangeStateUnknown);
  EXPECT_EQ(l.GetObject(0), nullptr);

  int obj = 0;
  l.PutObject(0, &obj);
  EXPECT_EQ(l.GetObject(0), &obj);
  x->ModifiedState = 1;
  x->ColorUse = 3;
  x->Foreground = 0x0000FF;
  l.SetLineExtra(0, *x);
  l.Put(0, "b");
  EXPECT_EQ(l.GetLineExtra(0)->ModifiedState, 2);
  EXPECT_EQ(l.GetLineExtra(0)->Foreground, 0x0000FFu);
  EXPECT_EQ(l.GetObject(0), &obj);

  // AddStrings takes colours and modified marks only from another line buffer.
  TOndEditStringList copy;
  copy.AddStrings(l);
  EXPECT_EQ(copy.GetLineExtra(0)->ColorUse, 3);
  EXPECT_EQ(copy.GetObject(0), &obj);
  EXPECT_EQ(copy.GetRange(0), RangeStateUnknown);
  TStringList plain;
  plain.AddObject("p", &obj);
  copy.AddStrings(plain);
  EXPECT_EQ(copy.GetLineExtra(1)->ColorUse, 0);
  EXPECT_EQ(copy.GetLineExtra(1)->ModifiedState, 2);
  EXPECT_EQ(copy.GetObject(1), &obj);
  EXPECT_EQ(copy.GetCapacity(), 16);  // raised to a multiple of 16

  // Appending a list to itself copies the lines it had.
  copy.AddStrings(copy);
  EXPECT_EQ(Lines(copy), (V{"b", "p", "b", "p"}));

  // Exchange swaps whole records.
  copy.PutRange(0, 11);
  copy.Exchange(0, 1);
  EXPECT_EQ(copy.Get(1), "b");
  EXPECT_EQ(copy.GetRange(1), 11);
  EXPECT_EQ(copy.GetLineExtra(1)->ColorUse, 3);
}

TEST(TextBuffer, CapacityGrowth) {
  TOndEditStringList l;
  std::vector<int> caps;
  for (int i = 0; i < 200; ++i) {
    l.Add("");
    if (caps.empty() || caps.back() != l.GetCapacity()) caps.push_back(l.GetCapacity());
  }
  EXPECT_EQ(caps, (std::vector<int>{16, 32, 48, 64, 80, 100, 125, 156, 195, 243}));
  l.SetCapacity(500);
  EXPECT_EQ(l.GetCapacity(), 500);
  l.Clear();
  EXPECT_EQ(l.GetCapacity(), 0);
  // Lines inserted one at a time in the middle grow the array by half again,
  // never by exactly what they need: each growth copies the whole array.
  for (const bool empty : {true, false}) {
    int growths = 0;
    for (int i = 0; i < 1000; ++i) {
      const int before = l.GetCapacity();
      if (empty)
        l.InsertEmptyLines(l.GetCount() / 2, 1);
      else
        l.InsertLines(l.GetCount() / 2, std::vector<std::string>{"x"});
      if (l.GetCapacity() != before) ++growths;
    }
    EXPECT_LE(growths, 20) << (empty ? "empty lines" : "lines of text");
  }
}

TEST(TextBuffer, ALoadedTextTakesItsFirstInsertedLinesWithoutGrowing) {
  // Growing the array of a long text copies all of it: the first lines a
  // user inserts after a load fit in the room it keeps.
  std::string text;
  for (int i = 0; i < 8000; ++i) text += "line\r\n";
  TOndEditStringList l;
  l.LoadFromString(std::string(text));
  ASSERT_EQ(l.GetCount(), 8000);
  const int capacity = l.GetCapacity();
  EXPECT_LE(capacity, 8000 + 8000 / 8 + 1);
  for (int i = 0; i < 900; ++i) l.InsertLines(4000, std::vector<std::string>{"x"});
  EXPECT_EQ(l.GetCapacity(), capacity);
}

TEST(TextBuffer, TabExpansionCacheAndLongestLine) {
  TOndEditStringList l;
  l.SetTabWidth(4);
  l.Add("a\tb");
  EXPECT_EQ(l.GetExpandedTextLength(0), 5);
  EXPECT_EQ(l.GetExpandedText(0), "a\t\t\tb");
  l.SetTabWidth(8);
  EXPECT_EQ(l.GetExpandedTextLength(0), 9);
  l.SetTabWidth(1);
  EXPECT_EQ(l.GetExpandedText(0), "a b");
  l.SetTabWidth(0);  // never divides by zero
  EXPECT_EQ(l.GetExpandedTextLength(0), 3);
  l.SetTabWidth(3);
  EXPECT_EQ(l.GetExpandedText(0), "a\t\tb");

  TOndEditStringList e;
  e.Add("");
  e.Add("");
  EXPECT_EQ(e.GetLongestLineLength(), 0);
  EXPECT_EQ(e.GetLongestLineIndex(), -1);

  TOndEditStringList m;
  m.SetTabWidth(4);
  m.Add("abc");
  m.Add("\tx");    // 5 columns
  m.Add("abcde");  // 5 columns too: the first one wins
  m.Add("");
  EXPECT_EQ(m.GetLongestLineLength(), 5);
  EXPECT_EQ(m.GetLongestLineIndex(), 1);
  m.Exchange(1, 3);
  EXPECT_EQ(m.GetLongestLineIndex(), 3);
  m.Put(0, "abcdefgh");
  EXPECT_EQ(m.GetLongestLineIndex(), 0);
  EXPECT_EQ(m.GetLongestLineLength(), 8);
  // Removing the longest line never leaves a stale answer.
  m.DeleteLineRange(0, 1);
  EXPECT_EQ(m.GetLongestLineLength(), 5);
  m.InsertEmptyLines(0, 1);
  EXPECT_EQ(m.GetLongestLineLength(), 5);
  EXPECT_EQ(m.GetLongestLineIndex(), 2);
}

// Whether a line holds a tab is remembered once asked; an edit that adds the
// first tab or removes the last one must not leave the old answer behind.
TEST(TextBuffer, TabMarkFollowsEditsOfTheLine) {
  struct Case {
    const char* Before;
    const char* After;
  };
  const Case cases[] = {
      {"plain", "pla\tin"}, {"\tonly tab", "only tab"}, {"a\tb\tc", "a\tbc"}, {"", "\t"}, {"\t", ""},
  };
  for (const Case& c : cases) {
    TOndEditStringList l;
    l.SetText(std::string(c.Before) + "\nnext");
    const bool before = std::string_view(c.Before).find('\t') != std::string_view::npos;
    const bool after = std::string_view(c.After).find('\t') != std::string_view::npos;
    EXPECT_EQ(l.LineHasTabs(0), before) << c.Before;
    l.Put(0, c.After);
    EXPECT_EQ(l.LineHasTabs(0), after) << c.Before << " -> " << c.After;
    // The mark travels with its line when lines move.
    l.Insert(0, "x");
    EXPECT_EQ(l.LineHasTabs(1), after);
    l.Exchange(0, 2);
    EXPECT_EQ(l.LineHasTabs(0), false);
    EXPECT_EQ(l.LineHasTabs(1), after);
    l.Delete(0);
    EXPECT_EQ(l.LineHasTabs(0), after);
  }
  TOndEditStringList l;
  l.Add("\t");
  EXPECT_FALSE(l.LineHasTabs(-1));
  EXPECT_FALSE(l.LineHasTabs(1));
}

TEST(TextBuffer, EditedLinesOutliveTheLoadedBlock) {
  TOndEditStringList l;
  Load(l, "one\ntwo\nthree");
  l.Put(1, "TWO");
  l.Delete(0);
  l.Delete(1);
  EXPECT_EQ(Lines(l), V{"TWO"});
  l.Delete(0);  // the last loaded line gone: the block is released
  l.Add("new");
  EXPECT_EQ(l.GetView(0), "new");
  Load(l, "a\nb");
  TOndEditStringList other;
  other.AddStrings(l);
  l.Clear();
  EXPECT_EQ(Lines(other), (V{"a", "b"}));
}

}  // namespace
}  // namespace ond

namespace ond {
namespace {

// The longest line is kept up to date through every kind of change; after
// random edits it always equals a walk over all lines, and the index names
// a line of that length.
TEST(TextBuffer, LongestLineFollowsRandomEdits) {
  std::mt19937 rng(2026);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  auto line = [&] {
    // Mostly short lines, some tabbed, a few past the small-length table.
    const int len = pick(10) == 0 ? 250 + pick(300) : pick(40);
    std::string s;
    for (int i = 0; i < len; ++i) s += pick(8) == 0 ? '\t' : static_cast<char>('a' + pick(26));
    return s;
  };
  TOndEditStringList l;
  for (int step = 0; step < 4000; ++step) {
    const int n = l.GetCount();
    switch (pick(12)) {
      case 0: l.Add(line()); break;
      case 1: l.Insert(pick(n + 1), line()); break;
      case 2: l.InsertEmptyLines(pick(n + 1), 1 + pick(3)); break;
      case 3: l.InsertLines(pick(n + 1), {line(), line()}); break;
      case 4:
        if (n > 0) l.Delete(pick(n));
        break;
      case 5:
        if (n > 0) l.DeleteLineRange(pick(n), 1 + pick(4));
        break;
      case 6:
        if (n > 1) l.Exchange(pick(n), pick(n));
        break;
      case 7:
        if (pick(20) == 0) l.SetTabWidth(1 + pick(8));
        break;
      case 8:
        if (pick(50) == 0) l.SetText(line() + "\n" + line());
        if (pick(100) == 0) l.Clear();
        break;
      default:
        // Typing and erasing in an existing line, the common case.
        if (n > 0) {
          const int i = pick(n);
          std::string s = l.Get(i);
          if (pick(2) == 0 || s.empty())
            s.insert(s.begin() + pick(static_cast<int>(s.size()) + 1), 'x');
          else
            s.erase(s.begin() + pick(static_cast<int>(s.size())));
          l.Put(i, s);
        }
    }
    if (pick(4) == 0) continue;  // sometimes change again before asking
    int best = 0;
    for (int i = 0; i < l.GetCount(); ++i) {
      best = std::max(best, l.GetExpandedTextLength(i));
      // The remembered tab mark follows the line's text through every change.
      ASSERT_EQ(l.LineHasTabs(i), l.GetView(i).find('\t') != std::string_view::npos) << "step " << step;
    }
    ASSERT_EQ(l.GetLongestLineLength(), best) << "step " << step;
    const int at = l.GetLongestLineIndex();
    if (best == 0)
      ASSERT_EQ(at, -1) << "step " << step;
    else
      ASSERT_EQ(l.GetExpandedTextLength(at), best) << "step " << step;
  }
}

}  // namespace
}  // namespace ond

namespace ond {
namespace {

// Lines looked through at once by a search: every line of the run that has
// a text lies in the stretch, at its own place and in the lines' order.
// Returns the run's far end.
int CheckJoined(const TOndEditStringList& l, int index, int last, std::size_t maxBytes, std::string_view* out = nullptr) {
  std::string_view text;
  const int reached = l.GetJoinedLines(index, last, maxBytes, text);
  const int low = std::min(index, reached), high = std::max(index, reached);
  EXPECT_TRUE(last >= index ? reached >= index && reached <= last : reached <= index && reached >= last);
  const auto begin = reinterpret_cast<std::uintptr_t>(text.data()), end = begin + text.size();
  std::uintptr_t seen = begin;
  for (int i = low; i <= high; ++i) {
    const std::string_view v = l.GetView(i);
    if (v.empty()) continue;
    const auto at = reinterpret_cast<std::uintptr_t>(v.data());
    EXPECT_TRUE(at >= seen && at + v.size() <= end) << "line " << i << " of run " << index << ".." << reached;
    seen = at + v.size();
  }
  if (out) *out = text;
  return reached;
}

TEST(TextBuffer, JoinedLinesOfALoadedText) {
  TOndEditStringList l;
  const std::string text = "one\r\n\r\ntwo\nthree\r\n\r\n\r\nfour\n\nfive";
  Load(l, text);
  ASSERT_EQ(l.GetCount(), 9);
  std::string_view joined;
  // Forward and backward over every line: the stretch is the text as read.
  EXPECT_EQ(CheckJoined(l, 0, 8, 1000, &joined), 8);
  EXPECT_EQ(joined, text);
  EXPECT_EQ(CheckJoined(l, 8, 0, 1000, &joined), 0);
  EXPECT_EQ(joined, text);
  EXPECT_EQ(CheckJoined(l, 3, 5, 1000, &joined), 5);
  EXPECT_EQ(joined, "three");  // the empty lines add nothing
  // Bounded by the bytes, yet never shorter than one line.
  EXPECT_LT(CheckJoined(l, 0, 8, 12, &joined), 8);
  EXPECT_LE(joined.size(), 12u);
  EXPECT_EQ(CheckJoined(l, 3, 8, 1, &joined), 3);
  EXPECT_EQ(joined, "three");

  // A line changed holds a text of its own: runs stop before it and it
  // stands alone.
  l.Put(3, "THREE");
  EXPECT_EQ(CheckJoined(l, 0, 8, 1000), 2);
  EXPECT_EQ(CheckJoined(l, 3, 8, 1000, &joined), 3);
  EXPECT_EQ(joined, "THREE");
  EXPECT_EQ(CheckJoined(l, 8, 0, 1000), 4);
  EXPECT_EQ(CheckJoined(l, 4, 8, 1000), 8);

  // Lines that changed places are not in the text's order.
  Load(l, text);
  l.Exchange(0, 2);
  EXPECT_EQ(CheckJoined(l, 0, 8, 1000), 1);
  EXPECT_EQ(CheckJoined(l, 2, 8, 1000), 2);
  EXPECT_EQ(CheckJoined(l, 3, 8, 1000), 8);
  // A deleted line leaves its text between the others.
  Load(l, text);
  l.Delete(2);
  EXPECT_EQ(CheckJoined(l, 0, 7, 1000), 7);
}

// After random edits every run keeps its lines' texts in order, forward and
// backward, for short and long stretches.
TEST(TextBuffer, JoinedLinesFollowRandomEdits) {
  std::mt19937 rng(5);
  TOndEditStringList l;
  std::string text;
  for (int i = 0; i < 300; ++i) text += std::string(rng() % 6, 'x') + (rng() % 2 ? "\r\n" : "\n");
  for (int round = 0; round < 60; ++round) {
    Load(l, text);
    for (int edit = 0; edit < round % 8; ++edit) {
      const int n = l.GetCount(), at = static_cast<int>(rng() % static_cast<unsigned>(n));
      switch (rng() % 5) {
        case 0: l.Put(at, std::string(rng() % 4, 'p')); break;
        case 1: l.Insert(at, std::string(rng() % 3, 'i')); break;
        case 2: l.Delete(at); break;
        case 3: l.Exchange(at, static_cast<int>(rng() % static_cast<unsigned>(n))); break;
        default: l.InsertEmptyLines(at, 2); break;
      }
    }
    const int n = l.GetCount();
    for (int probe = 0; probe < 40; ++probe) {
      const int a = static_cast<int>(rng() % static_cast<unsigned>(n)), b = static_cast<int>(rng() % static_cast<unsigned>(n));
      CheckJoined(l, a, b, rng() % 2 ? 16 : 100000);
    }
  }
}

}  // namespace
}  // namespace ond

namespace ond {
namespace {

// Looking for the first line holding either of two bytes through one run of
// joined lines: the line found is the first from the start that holds one,
// and a run without one ends right where the next look begins, both ways,
// also when deleted lines' texts (holding the bytes) lie between the lines,
// a changed line holds a text of its own or lines changed places.
TEST(TextBuffer, LineHoldingEitherIsTheFirstSuchLineOfARun) {
  std::mt19937 rng(17);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  for (int round = 0; round < 60; ++round) {
    std::string text;
    const int lines = 1 + pick(300);
    for (int i = 0; i < lines; ++i) {
      for (int n = pick(6); n > 0; --n) text += "aaaaaaabxy{}"[pick(12)];
      text += pick(4) == 0 ? "\n" : "\r\n";
    }
    TOndEditStringList l;
    l.LoadFromString(std::string(text));
    for (int n = pick(4); n > 0 && l.GetCount() > 1; --n) l.DeleteLineRange(pick(l.GetCount()), 1 + pick(3));
    if (round % 5 == 0 && l.GetCount() > 1) l.Put(pick(l.GetCount()), "x{x");
    if (round % 7 == 0 && l.GetCount() > 1) l.Exchange(0, l.GetCount() - 1);
    const int count = l.GetCount();
    auto holds = [&](int i) { return l.GetView(i).find_first_of("{}") != std::string_view::npos; };
    for (int k = 0; k < 40; ++k) {
      const int index = pick(count), last = pick(count);
      const int step = last >= index ? 1 : -1;
      const std::size_t maxBytes = 1 + static_cast<std::size_t>(pick(200));
      int line = -2;
      const bool found = l.LineHoldingEither(index, last, '{', '}', maxBytes, line);
      SCOPED_TRACE("round " + std::to_string(round) + " from " + std::to_string(index) + " to " +
                   std::to_string(last));
      // Every line before the answer holds neither byte.
      for (int i = index; i != line; i += step) {
        ASSERT_TRUE(step > 0 ? i <= last : i >= last);
        ASSERT_FALSE(holds(i)) << "line " << i;
      }
      if (found)
        EXPECT_TRUE(holds(line));
      else
        EXPECT_TRUE(step > 0 ? line > index && line <= last + 1 : line < index && line >= last - 1);
    }
  }
}

}  // namespace
}  // namespace ond
