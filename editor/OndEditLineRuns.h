// The lines that a change of many scattered places (a replace-all) altered,
// kept as they stood before it in runs of neighbouring lines, and the undo
// record that holds them all.
//
// One record restores every line such a change touched, however many places
// it changed, and the lines between the runs are neither copied nor
// compared: what the change and its undo cost follows the lines it changed,
// not the length of the text. A record is a plain text (see EncodeLineRuns),
// so it survives being copied with the undo list.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace ond {

// Lines First..First+Count-1 (1-based) of the text a record applies to, and
// the lines that take their place, joined by CR LF (at least one line).
struct TOndLineRun {
  int First = 1;
  int Count = 1;
  std::string Lines;
  bool operator==(const TOndLineRun&) const = default;
};

// The text of an undo record of runs, and back. The runs stand in text order
// without overlapping; a text that is not such a record decodes to no runs.
std::string EncodeLineRuns(const std::vector<TOndLineRun>& Runs);
std::vector<TOndLineRun> DecodeLineRuns(std::string_view Text);

// Collects the runs while a change walks the text one way (down or up) and
// changes lines as it goes: each line is kept before its first change, and
// a change that breaks a line into several grows the run that holds it.
class TOndLineRunsRecorder {
 public:
  explicit TOndLineRunsRecorder(bool Upwards) : FUpwards(Upwards) {}
  // Before line Line (numbered as the text stands now) changes; Text is its
  // text now. A line already kept is kept once. A line that Closes its run
  // is the last of it: the next line begins a run of its own (a collapsed
  // fold's header, whose hidden lines stand between it and the next line).
  void Keep(int Line, std::string_view Text, bool Closes = false);
  // The line last kept now stands as Added more lines than before.
  void Grew(int Added);
  // The lines the runs so far gained (lost, when negative).
  int Gained() const noexcept;
  // Lines were put above every run so far: they stand Lines lower.
  void Moved(int Lines) noexcept;
  // The runs so far, before Take.
  int RunCount() const noexcept { return static_cast<int>(FRuns.size()); }
  // Whether the change walks the text up.
  bool Upwards() const noexcept { return FUpwards; }
  // The runs in text order, numbered as the text stands now; lines that are
  // as they were (LineNow gives a line's text now) stay out of them, and a
  // run with no line changed is left out.
  std::vector<TOndLineRun> Take(const std::function<std::string_view(int Line)>& LineNow);

 private:
  struct TKept {
    TOndLineRun Run;  // Count: the lines it stands as now
    int OldCount = 1;
    bool Closed = false;  // no line joins it at its end
  };
  bool FUpwards;
  std::vector<TKept> FRuns;  // in the order they were begun
};

}  // namespace ond
