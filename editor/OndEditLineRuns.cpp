// Runs of changed lines: recording them during a change and the text of
// their undo record.
#include "editor/OndEditLineRuns.h"

#include <algorithm>
#include <charconv>
#include <cstddef>

namespace ond {

namespace {

constexpr std::string_view kLineBreak = "\r\n";

// The lines of a run's text (joined by CR LF; a line never holds a line break).
std::vector<std::string_view> RunLines(std::string_view Text) {
  std::vector<std::string_view> lines;
  for (;;) {
    const std::size_t at = Text.find(kLineBreak);
    lines.push_back(Text.substr(0, at));
    if (at == std::string_view::npos) return lines;
    Text.remove_prefix(at + kLineBreak.size());
  }
}

bool ReadNumber(std::string_view& Text, char End, std::size_t& Value) {
  const auto [at, ec] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  if (ec != std::errc() || at == Text.data() + Text.size() || *at != End) return false;
  Text.remove_prefix(static_cast<std::size_t>(at - Text.data()) + 1);
  return true;
}

}  // namespace

// Each run is "First Count Bytes\n" and its text of Bytes bytes: the lengths
// say where each text ends, so a line may hold any byte.
std::string EncodeLineRuns(const std::vector<TOndLineRun>& Runs) {
  std::size_t size = 0;
  for (const TOndLineRun& r : Runs) size += r.Lines.size() + 32;
  std::string text;
  text.reserve(size);
  for (const TOndLineRun& r : Runs) {
    text += std::to_string(r.First);
    text += ' ';
    text += std::to_string(r.Count);
    text += ' ';
    text += std::to_string(r.Lines.size());
    text += '\n';
    text += r.Lines;
  }
  return text;
}

std::vector<TOndLineRun> DecodeLineRuns(std::string_view Text) {
  std::vector<TOndLineRun> runs;
  std::size_t next = 1;  // the first line the next run may begin at
  while (!Text.empty()) {
    std::size_t first = 0, count = 0, bytes = 0;
    if (!ReadNumber(Text, ' ', first) || !ReadNumber(Text, ' ', count) || !ReadNumber(Text, '\n', bytes) ||
        first < next || first > 0x7fffffff || count < 1 || count > 0x7fffffff - first || bytes > Text.size())
      return {};
    runs.push_back({static_cast<int>(first), static_cast<int>(count), std::string(Text.substr(0, bytes))});
    Text.remove_prefix(bytes);
    next = first + count;
  }
  return runs;
}

void TOndLineRunsRecorder::Keep(int Line, std::string_view Text, bool Closes) {
  if (!FRuns.empty()) {
    TKept& last = FRuns.back();
    if (Line >= last.Run.First && Line < last.Run.First + last.Run.Count) {
      last.Closed = last.Closed || (Closes && Line == last.Run.First + last.Run.Count - 1);
      return;
    }
    // Going down, the line right after the run joins it. (Going up, a line
    // joining at the front would copy the run each time: it begins its own.)
    if (!FUpwards && !last.Closed && Line == last.Run.First + last.Run.Count) {
      last.Run.Lines += kLineBreak;
      last.Run.Lines += Text;
      ++last.Run.Count;
      ++last.OldCount;
      last.Closed = Closes;
      return;
    }
  }
  FRuns.push_back({TOndLineRun{Line, 1, std::string(Text)}, 1, Closes});
}

void TOndLineRunsRecorder::Grew(int Added) {
  if (!FRuns.empty()) FRuns.back().Run.Count += Added;
}

int TOndLineRunsRecorder::Gained() const noexcept {
  int gained = 0;
  for (const TKept& k : FRuns) gained += k.Run.Count - k.OldCount;
  return gained;
}

void TOndLineRunsRecorder::Moved(int Lines) noexcept {
  for (TKept& k : FRuns) k.Run.First += Lines;
}

std::vector<TOndLineRun> TOndLineRunsRecorder::Take(const std::function<std::string_view(int Line)>& LineNow) {
  // Going up, each run begun later stands above the ones before it, and the
  // lines it gained moved them down.
  if (FUpwards) {
    std::reverse(FRuns.begin(), FRuns.end());
    int moved = 0;
    for (TKept& k : FRuns) {
      k.Run.First += moved;
      moved += k.Run.Count - k.OldCount;
    }
  }
  std::vector<TOndLineRun> runs;
  runs.reserve(FRuns.size());
  for (TKept& k : FRuns) {
    const std::vector<std::string_view> old = RunLines(k.Run.Lines);
    const int oldCount = static_cast<int>(old.size()), newCount = k.Run.Count;
    auto now = [&](int i) { return LineNow(k.Run.First + i); };
    // The lines alike at both ends of the run stay out of the record.
    int head = 0;
    while (head < oldCount && head < newCount && old[static_cast<std::size_t>(head)] == now(head)) ++head;
    int tail = 0;
    while (tail < oldCount - head && tail < newCount - head &&
           old[static_cast<std::size_t>(oldCount - 1 - tail)] == now(newCount - 1 - tail))
      ++tail;
    if (head == oldCount && head == newCount) continue;
    // Each side keeps at least one line, so that a run never stands for no line.
    if (head + tail == oldCount || head + tail == newCount) {
      if (head > 0)
        --head;
      else
        --tail;
    }
    TOndLineRun run{k.Run.First + head, newCount - head - tail, std::string()};
    for (int i = head; i < oldCount - tail; ++i) {
      if (i > head) run.Lines += kLineBreak;
      run.Lines += old[static_cast<std::size_t>(i)];
    }
    runs.push_back(std::move(run));
  }
  FRuns.clear();
  return runs;
}

}  // namespace ond
