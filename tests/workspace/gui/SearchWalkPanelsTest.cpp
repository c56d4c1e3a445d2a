// A search or replace across many panels against the plain walk, which
// enters every panel it reaches (its caret put at its start, or its end
// going up) and searches it with the panel's own engine: the same result,
// found panel, selection, caret, view, events, replacements, undo and status
// texts, also in the panels it passes without a match; a panel the walk
// does not reach is left exactly as it was.
#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <vector>

#include "platform/Forms.h"
#include "platform/core/SysUtils.h"
#include "services/ULocalization.h"
#include "services/USystem.h"
#include "tests/support/TempDir.h"
#include "tests/workspace/gui/PanelHost.h"
#include "workspace/StatusPanels.h"
#include "workspace/UZuConfigs.h"

namespace ond {
namespace {

bool HasText(TOndEditor* editor) {
  const int count = editor->Lines()->GetCount();
  return count > 1 || (count == 1 && !editor->Lines()->GetView(0).empty());
}

// The plain walk, written out on its own rather than built from the walk it
// checks, so that a fault shared by both cannot hide. Entered[i] is what
// panel i's search gave, -1 for a panel not searched.
int PlainWalk(TZuConfig& config, bool replace, bool invert, std::vector<int>& entered) {
  TEditors& editors = *config.Editors;
  entered.assign(static_cast<std::size_t>(editors.Count), -1);
  const auto& o = Settings.search.options;
  const std::string& text = Settings.search.find.text;
  const TOndSearchOptions options = config.SearchOptions(replace, invert);
  const bool backwards = options & ssoBackwards;
  const bool leaveStart = o.inallconfig && !o.selectiononly;
  int start = editors.ActiveIndex;
  if (start < 0) start = backwards ? editors.LastVisible() : editors.FirstVisible();
  TEditor* found = nullptr;
  for (int i = start; i >= 0 && i < editors.Count; i += backwards ? -1 : 1) {
    TEditor* panel = editors.Item(i);
    if (panel && panel->Shown && HasText(panel->Editor)) {
      TOndEditor* ed = panel->Editor;
      TOndEditSearchCustom* engine = o.regex ? static_cast<TOndEditSearchCustom*>(panel->RegexSearchEngine.get())
                                             : static_cast<TOndEditSearchCustom*>(panel->SearchEngine.get());
      if (ed->GetSearchEngine() != engine) ed->SetSearchEngine(engine);
      TOndSearchOptions panelOptions = options;
      if (!panel->Active) {
        const int last = ed->Lines()->GetCount();
        ed->SetCaretXY(backwards ? BufferCoord(static_cast<int>(ed->Lines()->GetView(last - 1).size()) + 1, last)
                                 : BufferCoord(1, 1));
        panelOptions |= ssoEntireScope;
      }
      const int n = ed->SearchReplace(text, Settings.search.replace.text, panelOptions);
      entered[static_cast<std::size_t>(i)] = n;
      if (replace) {
        if (n > 0)
          editors.ReplaceAnswer = panel->ReplaceAnswer;
        else
          panel->ReplaceAnswer = editors.ReplaceAnswer;
        editors.ReplaceCount += n;
      } else if (n > 0) {
        found = panel;
        break;
      }
      if (ed->SelAvail()) ed->SetCaretXY(backwards ? ed->GetBlockBegin() : ed->GetBlockEnd());
    }
    if (!leaveStart) break;
    if (replace && editors.ReplaceAnswer == raCancel) break;
  }
  if (replace) {
    const int count = editors.ReplaceCount;
    editors.ReplaceAnswer = raReplace;
    editors.ReplaceCount = 0;
    Application()->MessageBeep(MB_ICONASTERISK);
    editors.SetStatus(spMessage, Lang(leSubsUsed) + " " + IntToStr(static_cast<long long>(count)));
    return count;
  }
  if (found) {
    if (found->Collapsed) {
      found->SetCollapsed(false);
      found->Editor->MakeCaretVisibleEx(true);
    }
    if (!found->Active) {
      found->EditorClick();
      if (found->Editor->CanFocus()) found->Editor->SetFocus();
    }
    Application()->ProcessMessages();
    return 1;
  }
  Application()->MessageBeep(MB_ICONASTERISK);
  editors.SetStatus(spMessage, "\"" + text + "\" " + Lang(leNotFound));
  return 0;
}

// The status changes of an event log, without the transient notices.
std::string StatusEvents(const std::string& log) {
  std::string out;
  for (std::size_t at = 0; at < log.size();) {
    const std::size_t end = log.find(' ', at);
    const std::string item = log.substr(at, end - at);
    if (!item.empty() && item[0] == 's') out += item + " ";
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return out;
}

struct PanelState {
  std::string text;
  TBufferCoord caret, begin, end;
  int top = 0;
  bool modified = false;
  int undo = 0;
  std::string events;
  bool operator==(const PanelState&) const = default;
};

std::string Describe(const PanelState& s) {
  return "caret " + IntToStr(s.caret.Line) + ":" + IntToStr(s.caret.Char) + " sel " + IntToStr(s.begin.Line) + ":" +
         IntToStr(s.begin.Char) + "-" + IntToStr(s.end.Line) + ":" + IntToStr(s.end.Char) + " top " +
         IntToStr(s.top) + " modified " + IntToStr(static_cast<int>(s.modified)) + " undo " + IntToStr(s.undo) + " events [" +
         s.events + "]";
}

// One set opened in its own window, each editor's status changes and
// transient notices logged before the panel's own handlers run.
struct OpenSet {
  test::PanelHost host{700};
  TZuConfig config;
  std::vector<std::string> events;
  std::deque<TOndReplaceAction> answers;
  explicit OpenSet(const std::string& root) {
    EXPECT_TRUE(config.LoadConfig(root, host.box, nullptr, host.bar, host.status, host.tree));
    host.form.Show();
    Application()->ProcessMessages();
    events.resize(static_cast<std::size_t>(config.Editors->Count));
    for (int i = 0; i < config.Editors->Count; ++i) {
      TOndEditor* ed = config.Panel(i)->Editor;
      std::string* log = &events[static_cast<std::size_t>(i)];
      auto status = ed->OnStatusChange;
      ed->OnStatusChange = [status, log](TObject* sender, TOndStatusChanges changes) {
        *log += "s" + IntToStr(changes) + " ";
        if (status) status(sender, changes);
      };
      auto transient = ed->OnPaintTransient;
      ed->OnPaintTransient = [transient, log](TObject* sender, TCanvas* canvas, TTransientType type) {
        // Paints come when the window system asks; what the walk itself
        // tells comes without a canvas.
        if (!canvas) *log += type == ttBefore ? "b " : "a ";
        if (transient) transient(sender, canvas, type);
      };
    }
    config.Editors->OnAskReplace = [this](TEditor*, const TRect&) {
      if (answers.empty()) return raCancel;
      const TOndReplaceAction a = answers.front();
      answers.pop_front();
      return a;
    };
  }
  PanelState State(int i) const {
    TOndEditor* ed = config.Panel(i)->Editor;
    return {ed->Lines()->GetText(), ed->GetCaretXY(), ed->GetBlockBegin(), ed->GetBlockEnd(), ed->GetTopLine(),
            config.Panel(i)->Modified, ed->UndoList()->ItemCount(), events[static_cast<std::size_t>(i)]};
  }
  std::string Status(int panel) const { return host.status->Panels()->Items(panel)->GetText(); }
};

// Texts for a pattern "needle": none at all, look-alikes only (another case,
// inside a longer word, one letter off), or matches among them, on lines of
// a config file long enough to scroll.
std::string PanelText(std::mt19937& rng, int kind) {
  const char* decoys[] = {"NEEDLE", "needlework", "xneedle", "needlx", "Needle"};
  std::string text = "{\r\n";
  const int lines = 30 + static_cast<int>(rng() % 90);
  for (int l = 0; l < lines; ++l) {
    std::string value = "value " + IntToStr(static_cast<long long>(rng() % 1000));
    if (kind >= 1 && rng() % 8 == 0) value += std::string(" ") + decoys[rng() % 5];
    if (kind == 2 && rng() % 20 == 0) value += " needle";
    text += "  \"key" + IntToStr(l) + "\": \"" + value + "\",\r\n";
  }
  if (kind == 2) text += "  \"last\": \"a needle\"\r\n";
  return text + "}\r\n";
}

class SearchWalkPanels : public ::testing::Test {
 protected:
  void SetUp() override {
    saved = Settings.search;
    Settings.search = decltype(Settings.search){};
    std::mt19937 rng(7);
    std::string rootText = "{\r\n";
    for (int i = 1; i <= kFiles; ++i) {
      const std::string name = "p" + IntToStr(i) + ".zu";
      rootText += "  \"" + IntToStr(i) + "\": ${\"" + name + "\":\"x\"},\r\n";
      // Mostly panels without a match, as in a large set.
      const int kind = i % 7 == 0 ? 2 : i % 2;
      dir.Write(name, PanelText(rng, kind));
    }
    root = dir.Write("@quarn.zu", rootText + "  \"end\": 0\r\n}\r\n");
    walked = std::make_unique<OpenSet>(root);
    plain = std::make_unique<OpenSet>(root);
    ASSERT_EQ(walked->config.Editors->Count, kFiles + 1);
  }
  void TearDown() override { Settings.search = saved; }

  // The same carets, selections, views and active panel in both sets, and
  // fresh logs.
  void Arrange(std::mt19937& rng) {
    const int active = static_cast<int>(rng() % (kFiles + 4)) - 3;  // often none
    for (OpenSet* s : {walked.get(), plain.get()}) {
      for (auto& e : s->config.Editors->Items) e->SetActive(false);
      if (active >= 0) s->config.Panel(active)->EditorClick();
    }
    for (int i = 0; i <= kFiles; ++i) {
      const int lines = walked->config.Panel(i)->Editor->Lines()->GetCount();
      const int line = 1 + static_cast<int>(rng() % static_cast<unsigned>(lines));
      const int ch = 1 + static_cast<int>(rng() % 12);
      const bool select = rng() % 3 == 0;
      const int top = 1 + static_cast<int>(rng() % static_cast<unsigned>(lines));
      for (OpenSet* s : {walked.get(), plain.get()}) {
        TOndEditor* ed = s->config.Panel(i)->Editor;
        ed->SetCaretXY(BufferCoord(ch, line));
        if (select) {
          ed->SetBlockBegin(BufferCoord(1, line));
          ed->SetBlockEnd(BufferCoord(ch, line));
        }
        ed->SetTopLine(top);
      }
    }
    Application()->ProcessMessages();
    for (OpenSet* s : {walked.get(), plain.get()})
      for (std::string& log : s->events) log.clear();
  }

  static constexpr int kFiles = 40;
  decltype(Settings.search) saved;
  test::TempDir dir;
  std::string root;
  std::unique_ptr<OpenSet> walked, plain;
};

TEST_F(SearchWalkPanels, SameAsThePlainWalk) {
  std::mt19937 rng(2024);
  Settings.search.find.text = "needle";
  for (int round = 0; round < 80; ++round) {
    auto& o = Settings.search.options;
    o.casesensitive = rng() % 2 == 0;
    o.wholewords = rng() % 2 == 0;
    o.backwards = rng() % 3 == 0;
    o.inallconfig = rng() % 6 != 0;
    o.regex = rng() % 4 == 0;
    Settings.search.find.text = o.regex ? "need+le" : "needle";
    const bool replace = rng() % 4 == 0;
    const bool invert = rng() % 2 == 0;
    Settings.search.replace.text = "pin" + IntToStr(round);
    std::deque<TOndReplaceAction> answers;
    for (int k = 0; k < 6; ++k)
      answers.push_back(rng() % 5 == 0 ? raReplaceAll : rng() % 3 == 0 ? raSkip : raReplace);
    walked->answers = plain->answers = answers;
    Arrange(rng);
    const int start = walked->config.Editors->ActiveIndex;
    std::vector<PanelState> before;
    for (int i = 0; i <= kFiles; ++i) before.push_back(walked->State(i));

    std::vector<int> entered;
    const int expected = PlainWalk(plain->config, replace, invert, entered);
    const int got = walked->config.SearchInConfig(replace, invert);
    SCOPED_TRACE("round " + IntToStr(round) + (replace ? " replace" : " find"));
    ASSERT_EQ(got, expected);
    EXPECT_EQ(walked->config.Editors->ActiveIndex, plain->config.Editors->ActiveIndex);
    for (int p : {spMessage, spEncoding, spFileState, spEditMode}) EXPECT_EQ(walked->Status(p), plain->Status(p)) << p;
    if (!replace && got == 1) {
      EXPECT_EQ(walked->Status(spCaret), plain->Status(spCaret));
    }
    for (int i = 0; i <= kFiles; ++i) {
      const bool reached = entered[static_cast<std::size_t>(i)] >= 0;
      PanelState want = reached ? plain->State(i) : before[static_cast<std::size_t>(i)];
      PanelState have = walked->State(i);
      // A panel passed without a match is not searched through its editor,
      // so the bracket marks are not told again of a caret that stayed put;
      // every status change still comes as before.
      if (entered[static_cast<std::size_t>(i)] == 0 && i != start) {
        want.events = StatusEvents(want.events);
        have.events = StatusEvents(have.events);
      }
      EXPECT_EQ(have.text, want.text) << "panel " << i;
      EXPECT_TRUE(have == want) << "panel " << i << (reached ? " reached" : " not reached") << "\n  have "
                                << Describe(have) << "\n  want " << Describe(want);
    }
    // Every replacement undoes in one step per file, in both alike.
    if (replace && rng() % 2 == 0)
      for (int i = 0; i <= kFiles; ++i) {
        for (OpenSet* s : {walked.get(), plain.get()})
          if (s->config.Panel(i)->Editor->CanUndo()) s->config.Panel(i)->Editor->Undo();
        EXPECT_EQ(walked->State(i).text, plain->State(i).text) << "undo, panel " << i;
        EXPECT_EQ(walked->config.Panel(i)->Modified, plain->config.Panel(i)->Modified) << "undo, panel " << i;
      }
    if (HasFailure()) break;
  }
}

// The plain case spelled out: a find down from no active panel passes the
// panels before the match with their carets at their starts, their
// selections gone and their texts, undo lists and modified marks as they were.
TEST_F(SearchWalkPanels, FindDownPutsThePassedPanelsCaretsAtTheirStarts) {
  Settings.search.find.text = "needle";
  Settings.search.options.inallconfig = true;
  Settings.search.options.casesensitive = true;
  Settings.search.options.wholewords = true;
  std::mt19937 rng(5);
  Arrange(rng);
  for (auto& e : walked->config.Editors->Items) e->SetActive(false);
  std::vector<PanelState> before;
  for (int i = 0; i <= kFiles; ++i) before.push_back(walked->State(i));
  ASSERT_EQ(walked->config.SearchInConfig(false, false), 1);
  const int found = walked->config.Editors->ActiveIndex;
  EXPECT_EQ(found, 7);  // the first file with the word as a whole word in its case
  EXPECT_EQ(walked->config.Panel(found)->Editor->GetSelText(), "needle");
  for (int i = 0; i < found; ++i) {
    const PanelState have = walked->State(i);
    const PanelState& was = before[static_cast<std::size_t>(i)];
    EXPECT_EQ(have.caret, BufferCoord(1, 1)) << i;
    EXPECT_FALSE(walked->config.Panel(i)->Editor->SelAvail()) << i;
    EXPECT_EQ(have.text, was.text) << i;
    EXPECT_EQ(have.modified, was.modified) << i;
    EXPECT_EQ(have.undo, was.undo) << i;
  }
  for (int i = found + 1; i <= kFiles; ++i) EXPECT_TRUE(walked->State(i) == before[static_cast<std::size_t>(i)]) << i;
}

}  // namespace
}  // namespace ond
