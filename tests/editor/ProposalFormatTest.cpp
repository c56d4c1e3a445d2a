// The completion pop-up's formatting language and arithmetic, window-free:
// lines parsed into chunks, walked on a fake surface whose characters are 10
// pixels wide (12 in bold), hints sized and placed on a screen, the parameter
// hint's line and the code list's filter.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "editor/OndProposalFormat.h"
#include "editor/OndProposalList.h"

namespace ond {
namespace {

TFormatChunk Chunk(TFormatChunkKind kind, std::string text = {}, std::int32_t data = 0, TFontStyles style = 0,
                   TFormatStyleMode mode = TFormatStyleMode::Set) {
  TFormatChunk c;
  c.Kind = kind;
  c.Text = std::move(text);
  c.Data = data;
  c.Style = style;
  c.Mode = mode;
  return c;
}
TFormatChunk Text(std::string s) { return Chunk(fckText, std::move(s)); }
TFormatChunk Color(TColor c) { return Chunk(fckColor, {}, c); }
TFormatChunk Style(TFontStyles s, TFormatStyleMode m) { return Chunk(fckStyle, {}, 0, s, m); }
TFormatChunk Column() { return Chunk(fckColumn); }
TFormatChunk Space(int n) { return Chunk(fckHSpace, {}, n); }
TFormatChunk Image(int n) { return Chunk(fckImage, {}, n); }

std::vector<TFormatChunk> Parse(std::string_view line, bool* valid = nullptr, TFormatChunkKinds exclude = 0) {
  TFormatChunkList chunks;
  const bool ok = ParseFormatLine(line, chunks, exclude);
  if (valid) *valid = ok;
  return chunks.Chunks();
}

struct ParseCase {
  const char* Line;
  std::vector<TFormatChunk> Chunks;
  bool Valid;
};

TEST(ProposalFormat, ParsesEachCommandEscapeAndFault) {
  const ParseCase cases[] = {
      {"plain", {Text("plain")}, true},
      {"", {}, true},
      {"a\\style{+B}b\\style{-B}c",
       {Text("a"), Style(fsBold, TFormatStyleMode::Set), Text("b"), Style(fsBold, TFormatStyleMode::Clear), Text("c")},
       true},
      {"\\STYLE{~i}\\Style{+u}\\style{-S}",
       {Style(fsItalic, TFormatStyleMode::Toggle), Style(fsUnderline, TFormatStyleMode::Set),
        Style(fsStrikeOut, TFormatStyleMode::Clear)},
       true},
      {"\\color{clRed}x\\Color{$00FF00}y\\COLOR{255}", {Color(clRed), Text("x"), Color(0x00FF00), Text("y"), Color(255)},
       true},
      {"a\\column{}b", {Text("a"), Column(), Text("b")}, true},
      {"\\hspace{12}\\hspace{-7}\\hspace{+3}\\hspace{99999}",
       {Space(12), Space(0), Space(3), Space(MaxFormatHSpace)},
       true},
      {"\\image{0}\\image{41}\\image{-1}", {Image(0), Image(41), Image(-1)}, true},
      // A doubled backslash is one backslash of text.
      {"C:\\\\dir\\\\n{x}", {Text("C:\\dir\\n{x}")}, true},
      // Unknown commands and bad parameters go, and the line is marked.
      {"x\\foo{1}y", {Text("x"), Text("y")}, false},
      {"\\style{B}\\style{+X}\\style{+BB}\\style{*B}", {}, false},
      {"\\column{1}", {}, false},
      {"\\hspace{}\\hspace{1a}\\hspace{99999999999}\\image{x}", {}, false},
      {"\\color{notacolour}\\color{}", {}, false},
      // A command cut short takes the rest of the line with it.
      {"ab\\style", {Text("ab")}, false},
      {"ab\\", {Text("ab")}, false},
      {"ab\\style{+B cd", {Text("ab")}, false},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.Line);
    bool valid = !c.Valid;
    EXPECT_EQ(Parse(c.Line, &valid), c.Chunks);
    EXPECT_EQ(valid, c.Valid);
  }
}

TEST(ProposalFormat, ExcludedKindsAndPlainText) {
  EXPECT_EQ(Parse("a\\color{clRed}b\\hspace{3}", nullptr, FormatKind(fckColor)), (std::vector{Text("a"), Text("b"), Space(3)}));
  EXPECT_EQ(Parse("a\\image{1}", nullptr, FormatKind(fckText)), (std::vector{Image(1)}));
  EXPECT_EQ(FormatPlainText("a\\style{+B}b\\style{-B}c"), "abc");
  EXPECT_EQ(FormatPlainText("x\\foo{1}y\\\\z"), "xy\\z");
}

TEST(ProposalFormat, EscapedTextReadsBackVerbatim) {
  for (const std::string s : {"C:\\dir\\n{x}", "\\", "\\\\", "\\style{+B}", "no backslash", "end\\"}) {
    SCOPED_TRACE(s);
    EXPECT_EQ(FormatPlainText(EscapeFormatText(s)), s);
    bool valid = false;
    TFormatChunkList chunks;
    valid = ParseFormatLine(EscapeFormatText(s), chunks);
    EXPECT_TRUE(valid);
  }
  EXPECT_EQ(EscapeFormatText("a\\b"), "a\\\\b");
}

// Characters 10 pixels wide, 12 in bold; records what is drawn.
class FakeSurface : public TFormatSurface {
 public:
  int TextWidth(std::string_view t) override {
    Measured += t.size();
    return static_cast<int>(t.size()) * ((FStyle & fsBold) ? 12 : 10);
  }
  TFontStyles GetStyle() const override { return FStyle; }
  void SetStyle(TFontStyles s) override { FStyle = s; }
  TColor GetColor() const override { return FColor; }
  void SetColor(TColor c) override { FColor = c; }
  int ImageCount() const override { return Images; }
  int ImageWidth() const override { return 16; }
  void DrawText(int x, int, std::string_view t) override {
    Drawn.push_back(std::to_string(x) + ":" + std::string(t) + ((FStyle & fsBold) ? "/B" : "") +
                    (FColor != clBlack ? "/c" + std::to_string(FColor) : ""));
  }
  void DrawImage(int x, int, int i) override { Drawn.push_back(std::to_string(x) + ":img" + std::to_string(i)); }

  int Images = 0;
  std::size_t Measured = 0;
  std::vector<std::string> Drawn;

 private:
  TFontStyles FStyle = 0;
  TColor FColor = clBlack;
};

int Walk(std::string_view line, FakeSurface& s, int right = 100000, const std::vector<TFormatColumn>& columns = {}) {
  TFormatChunkList chunks;
  ParseFormatLine(line, chunks);
  return WalkFormatChunks(chunks, s, columns, 5, 0, right, true);
}

TEST(ProposalFormat, WalkDrawsStylesColoursSpacesAndImages) {
  FakeSurface s;
  s.Images = 2;
  EXPECT_EQ(Walk("a\\style{+B}b\\style{-B}c", s), 5 + 10 + 12 + 10);
  EXPECT_EQ(s.Drawn, (std::vector<std::string>{"5:a", "15:b/B", "27:c"}));
  s.Drawn.clear();
  EXPECT_EQ(Walk("\\color{clRed}x\\hspace{4}\\image{1}y", s), 5 + 10 + 4 + 16 + 10);
  EXPECT_EQ(s.Drawn, (std::vector<std::string>{"5:x/c255", "19:img1", "35:y/c255"}));
  // The surface's style and colour are as before after each line.
  EXPECT_EQ(s.GetStyle(), 0);
  EXPECT_EQ(s.GetColor(), clBlack);
  // Images the list does not have are skipped.
  s.Drawn.clear();
  EXPECT_EQ(Walk("\\image{2}\\image{-1}\\image{2147483647}z", s), 15);
  EXPECT_EQ(s.Drawn, (std::vector<std::string>{"5:z"}));
  // Toggling twice leaves the style as it was.
  s.Drawn.clear();
  Walk("\\style{~b}x\\style{~B}y", s);
  EXPECT_EQ(s.Drawn, (std::vector<std::string>{"5:x/B", "17:y"}));
}

TEST(ProposalFormat, ColumnsStartAfterTheirBiggestWord) {
  FakeSurface s;
  const std::vector<TFormatColumn> columns = {{"ignored", 0}, {"abc", fsBold}};
  // The second column starts "abc " after the first one's start and draws
  // in its own style; a break with no column after it moves nothing.
  EXPECT_EQ(Walk("x\\column{}y\\column{}z", s, 100000, columns), 5 + 40 + 12 + 12);
  EXPECT_EQ(s.Drawn, (std::vector<std::string>{"5:x", "45:y/B", "57:z/B"}));
}

TEST(ProposalFormat, WalkStopsPastTheRightEdgeAndMeasuresNoFurther) {
  FakeSurface s;
  EXPECT_EQ(Walk("aaaa\\style{+B}bbbb", s, 30), 45);
  EXPECT_EQ(s.Drawn, (std::vector<std::string>{"5:aaaa"}));
  // A very long line is measured only up to the width asked for.
  const std::string huge(1 << 20, 'w');
  s.Measured = 0;
  EXPECT_EQ(FormattedLineWidth(huge, s, {}, 1280), 1280);
  EXPECT_LT(s.Measured, 1000u);
  EXPECT_EQ(FormattedLineWidth("\\hspace{99999999}", s, {}, 1280), 1280);
  EXPECT_EQ(FormattedLineWidth("abc", s, {}, 1280), 30);
}

TEST(ProposalFormat, HostileLinesEndWithoutFault) {
  FakeSurface s;
  const std::string lines[] = {std::string(100000, '\\'), std::string(50000, '{') + "\\", "\\" + std::string(100000, '{'),
                               std::string(30000, '}') + "\\x{" + std::string(30000, '}'),
                               std::string("\\style{+B}\0\\color{", 18), std::string(256, '\xFF') + "\\\xFF{}"};
  for (const std::string& line : lines) {
    TFormatChunkList chunks;
    ParseFormatLine(line, chunks);
    EXPECT_LE(WalkFormatChunks(chunks, s, {}, 0, 0, 2000, true), 2000 + 256 * 12);
  }
}

TEST(ProposalPlacement, SizeAndScreenEdges) {
  EXPECT_EQ(HintSize(3, 13, 100, 2), (TSize{106, 45}));
  const TRect screen{0, 0, 1280, 800};
  struct Case {
    TPoint At;
    TSize Size;
    TPoint Want;
  } cases[] = {
      {{100, 100}, {200, 100}, {100, 100}},
      // Past the right edge: moved left so that 5 pixels stay free.
      {{1200, 100}, {200, 100}, {1075, 100}},
      // Past the bottom: above the point, 2 pixels over it.
      {{100, 700}, {200, 150}, {100, 548}},
      // A 40-line hint of 13-pixel lines near the bottom opens above the point.
      {{10, 790}, HintSize(40, 13, 300, 2), {10, 790 - (40 * 13 + 6) - 2}},
      // Wider or taller than the screen: never off its left or top.
      {{600, 400}, {2000, 900}, {0, 0}},
  };
  for (const Case& c : cases) EXPECT_EQ(PlaceOnScreen(c.At, c.Size, screen), c.Want);
  // A second screen to the right: its own edges count.
  const TRect right{1280, 0, 2560, 1024};
  EXPECT_EQ(PlaceOnScreen({2500, 1000}, {100, 50}, right), (TPoint{2455, 948}));
  EXPECT_EQ(PlaceOnScreen({1300, 10}, {2000, 50}, right), (TPoint{1280, 10}));
}

TEST(ProposalParams, CurrentParameterIsBold) {
  EXPECT_EQ(FormatParamsItem("int a,char b,bool c", 1), "int a \\style{~B}char b\\style{~B} bool c");
  EXPECT_EQ(FormatParamsItem("one", 0), "\\style{~B}one\\style{~B}");
  EXPECT_EQ(FormatParamsItem("a,b", 5), "a b");
  EXPECT_EQ(FormatParamsItem("", 0), "\\style{~B}\\style{~B}");
}

TEST(ProposalList, FiltersByOptionAndKeepsTheSelectionInView) {
  TProposalList list;
  list.Items = {"Apple", "apricot", "\\style{+B}Banana", "\xC0\xE1\xE2"};  // the last in Russian capitals
  list.InsertItems = {"ins_apple", "ins_apricot", "ins_banana", "ins_rus"};
  list.VisibleLines = 2;
  list.Filter("ap");
  EXPECT_EQ(list.Shown(), (std::vector<int>{0, 1}));
  EXPECT_EQ(list.Completion(), "Apple");
  list.Options |= scoCaseSensitive;
  list.Filter("ap");
  EXPECT_EQ(list.Shown(), (std::vector<int>{1}));
  list.Options &= static_cast<TOndCompletionOptions>(~scoCaseSensitive);
  // The formatted item matches by its plain text only with pretty text on.
  list.Filter("Ban");
  EXPECT_TRUE(list.Shown().empty());
  EXPECT_EQ(list.Completion(), "");
  list.Options |= scoUsePrettyText;
  list.Filter("ban");
  EXPECT_EQ(list.Shown(), (std::vector<int>{2}));
  // Russian letters fold case only through the code page's tables.
  list.Filter("\xE0\xC1");
  EXPECT_TRUE(list.Shown().empty());
  list.Options |= scoAnsiStrings;
  list.Filter("\xE0\xC1");
  EXPECT_EQ(list.Shown(), (std::vector<int>{3}));
  list.Options |= scoUseInsertList;
  list.Filter("ins_b");
  EXPECT_EQ(list.Completion(), "ins_banana");
  // Without limiting, every item stays and the first match is selected.
  list.Options = 0;
  list.Filter("apr");
  EXPECT_EQ(list.Shown().size(), 4u);
  EXPECT_EQ(list.Position(), 1);
  list.Select(3);
  EXPECT_EQ(list.TopItem(), 2);
  list.MoveBy(-10);
  EXPECT_EQ(list.Position(), 0);
  EXPECT_EQ(list.TopItem(), 0);
  list.ScrollTo(99);
  EXPECT_EQ(list.TopItem(), 2);
  EXPECT_EQ(list.Position(), 0);
}

}  // namespace
}  // namespace ond
