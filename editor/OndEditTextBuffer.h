// The editor's text model: the line buffer with its per-line records, file
// formats, buffered writer and change notifications, and the undo and redo
// lists with change numbers, blocks, group breaks, cap, lock and saved mark.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "editor/OndEditMiscProcs.h"
#include "editor/OndEditTypes.h"
#include "platform/core/Classes.h"
#include "platform/core/SysUtils.h"

namespace ond {

OND_DECLARE_EXCEPTION(EOndEditStringList, Exception);

enum TOndEditFileFormat : std::uint8_t { sffDos = 0, sffUnix = 1, sffMac = 2 };

// What a line carries beside its text: line colours (used when the ColorUse
// bits say so) and the gutter's modified mark.
struct TOndLineExtra {
  TColor Foreground = clNone;
  TColor Background = clNone;
  std::uint8_t ColorUse = 0;       // bit 0: Background applies, bit 1: Foreground applies
  std::uint8_t ModifiedState = 2;  // 0 unchanged since loaded, 1 changed and saved, 2 changed
};

// One line, held by value in the buffer's array and moved with block moves.
// The text is either a heap copy of its own or a stretch of a block the list
// keeps for all lines read at once (a loaded file), so a line costs no
// allocation of its own until it is changed. A loaded file has millions of
// these: the length shares its word with what the list knows of the line,
// the modified mark and colour use share another with the number of the
// line's colours in a side table (few lines have colours), and the rare
// per-line object lives beside the array.
struct TOndLineRecord {
  static constexpr std::uint32_t MaxLength = (1u << 29) - 1;
  static constexpr std::uint32_t OwnsText = 1u << 29;  // TextData is the line's own heap copy
  static constexpr std::uint32_t HasTabs = 1u << 30;   // with neither tab bit, not looked at yet
  static constexpr std::uint32_t HasNoTabs = 1u << 31;
  // In Marks: the modified state, the colour use and the colour slot (0: no
  // colours; else one more than the slot's place in the list's table).
  static constexpr std::uint32_t ModifiedMask = 3u;
  static constexpr unsigned ColorUseShift = 2;
  static constexpr std::uint32_t ColorUseMask = 3u << ColorUseShift;
  static constexpr unsigned ColorSlotShift = 4;

  const char* TextData;  // nullptr for an empty line
  TOndRangeState RangeState;
  std::uint32_t Bits;  // the length (up to MaxLength) and the flags above
  std::uint32_t Marks;

  std::uint32_t Length() const noexcept { return Bits & MaxLength; }
  std::string_view Text() const noexcept { return std::string_view(TextData, Length()); }
  std::uint8_t ModifiedState() const noexcept { return static_cast<std::uint8_t>(Marks & ModifiedMask); }
  void SetModifiedState(std::uint8_t State) noexcept { Marks = (Marks & ~ModifiedMask) | (State & ModifiedMask); }
  std::uint32_t ColorSlot() const noexcept { return Marks >> ColorSlotShift; }
};

class TOndEditStringList : public TStrings {
 public:
  using TNotifyEvent = std::function<void(TOndEditStringList* Sender)>;
  using TStringListChangeEvent = std::function<void(TOndEditStringList* Sender, int Index, int Count)>;

  TOndEditStringList();
  ~TOndEditStringList() override;
  TOndEditStringList(const TOndEditStringList&) = delete;
  TOndEditStringList& operator=(const TOndEditStringList&) = delete;

  int GetCount() const override { return FCount; }
  // Empty text outside 0..Count-1.
  std::string Get(int Index) const override;
  // The same without a copy; valid until the line or the list changes.
  std::string_view GetView(int Index) const noexcept {
    if (Index < 0 || Index >= FCount) return {};
    return FList[Index].Text();
  }
  void Put(int Index, const std::string& S) override;
  void* GetObject(int Index) const override;
  void PutObject(int Index, void* Obj) override;
  // 0 outside 0..Count-1.
  TOndRangeState GetRange(int Index) const noexcept;
  void PutRange(int Index, TOndRangeState Range);
  // The states of Count lines from Index on, all of them in 0..Count-1, as
  // one change.
  void PutRanges(int Index, const TOndRangeState* Ranges, int Count);

  int Add(const std::string& S) override;
  void Insert(int Index, const std::string& S) override;
  void InsertEmptyLines(int Index, int NumLines);
  // Inserts the lines at Index as one change: one before- and one
  // after-notification for all of them.
  void InsertLines(int Index, const std::vector<std::string>& Lines);
  void AddStrings(const TStrings& Source);
  void Assign(const TStrings& Source) override;
  void Delete(int Index) override;
  void DeleteLineRange(int Index, int NumLines);
  void Clear() override;
  void Exchange(int Index1, int Index2) override;

  int GetCapacity() const noexcept { return FCapacity; }
  void SetCapacity(int NewCapacity);

  // All lines joined by CR LF, no line end after the last one.
  std::string GetText() const override;
  // Replaces every line by the lines of Value (split at CR LF, LF or CR).
  void SetText(std::string_view Value) override;

  void LoadFromFile(const std::string& FileName);
  void LoadFromStream(TStream& Stream);
  // The same for text the caller gives up: the lines point into it, so a
  // loaded file is held once, not copied.
  void LoadFromString(std::string&& Text);
  void SaveToStream(TStream& Stream) const;
  void SaveToFile(const std::string& FileName) const;

  // Whether line Index holds a tab (false outside 0..Count-1). The answer
  // is looked for once per line text and kept in the line's record, so the
  // layouts that read a changed line again do not search it again.
  bool LineHasTabs(int Index) noexcept {
    if (Index < 0 || Index >= FCount) return false;
    return LineHasTabs(FList[Index]);
  }

  int GetTabWidth() const noexcept { return FTabWidth; }
  void SetTabWidth(int Value);
  std::string GetExpandedText(int Index);
  int GetExpandedTextLength(int Index);
  // Kept up to date as lines change: after the first call, an edit costs the
  // edited lines, never a walk over the whole text.
  int GetLongestLineLength();
  // One of the longest lines (the first, when looked for afresh); -1 when
  // every line is empty.
  int GetLongestLineIndex();

  // The lines from Index towards Last (0-based, either way, both inside
  // 0..Count-1) whose texts stand one after another in one block of read
  // text, parted by no more than their line breaks, as far as the stretch
  // they make stays within about MaxBytes: returns the farthest of them, and
  // in Text the stretch from the lowest one's text to the highest one's end
  // (empty when all of them are empty). Each line's text lies in it at its
  // own place, so a search can look through many lines at once.
  int GetJoinedLines(int Index, int Last, std::size_t MaxBytes, std::string_view& Text) const noexcept;
  // At most this many lines make one run.
  static constexpr int kJoinedLinesAtOnce = 4096;
  // Looks for the first line from Index towards Last (0-based, either
  // way, both inside 0..Count-1) whose text holds A or B (neither of them a
  // line break), through one run of joined lines of about MaxBytes at
  // most: true with Line that line, else false with Line the line after
  // the run (one past Last when the run reached it).
  bool LineHoldingEither(int Index, int Last, char A, char B, std::size_t MaxBytes, int& Line) const noexcept;

  // A line's colours and modified state; none outside 0..Count-1.
  std::optional<TOndLineExtra> GetLineExtra(int Index) const;
  // Both setters leave lines outside 0..Count-1 alone.
  void SetLineExtra(int Index, const TOndLineExtra& Extra);
  void SetModifiedState(int Index, std::uint8_t State) noexcept {
    if (Index >= 0 && Index < FCount) FList[Index].SetModifiedState(State);
  }
  // Every line changed since the text was saved counts as saved (state 2
  // becomes 1).
  void MarkChangedLinesSaved() noexcept;

  TOndEditFileFormat FileFormat = sffDos;
  bool LineBreakAfterLast = false;

  // Update notifications: OnChanging when the outermost BeginUpdate begins,
  // OnChange when the outermost EndUpdate ends. Each change runs inside such a
  // bracket: the before-event (Put's excepted, which comes first), the change,
  // then the after-event.
  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;
  TNotifyEvent OnLinesCleared;
  TStringListChangeEvent OnLinesDeleted;
  TStringListChangeEvent OnLinesInserted;
  TStringListChangeEvent OnLineReplaced;
  bool TrimTrailingBlankLines = true;
  TStringListChangeEvent OnBeforeLineReplaced;
  TStringListChangeEvent OnBeforeLinesDeleted;
  TStringListChangeEvent OnBeforeLinesInserted;

 protected:
  void SetUpdateState(bool Updating) override;

 private:
  class UpdateScope;

  [[noreturn]] static void IndexError(int Index);
  void CheckIndex(int Index) const;  // 0..Count-1
  void Grow();
  void Reserve(std::int64_t Need);
  TOndLineRecord& Rec(int Index) noexcept { return FList[Index]; }
  static void InitRecord(TOndLineRecord& R) noexcept;
  static void FreeText(TOndLineRecord& R) noexcept;
  // Gives the line's colour slot back; FreeText leaves it (a replaced text
  // keeps its line's colours).
  void ReleaseColors(TOndLineRecord& R) noexcept;
  void ReleaseLines(int Index, int NumLines) noexcept;
  // Frees the texts lines own, before all records go; the records are left
  // as they are.
  void FreeOwnedTexts() noexcept;
  void SetOwnedText(TOndLineRecord& R, std::string_view S);
  void InsertItem(int Index, std::string_view S);
  void SplitText(const char* P, const char* End, bool Loading, bool& SawCR, bool& SawLF);
  // Replaces the lines by those of the block TakeBlock hands over (and
  // stores among the blocks) once the old lines are gone, as a loaded file.
  void LoadBlock(const std::function<std::string_view()>& TakeBlock);
  void ReleaseBlocksIfEmpty() noexcept;
  // Whether a line holds a tab, looked at once and remembered in its record.
  static bool LineHasTabs(TOndLineRecord& R) noexcept {
    if (!(R.Bits & (TOndLineRecord::HasTabs | TOndLineRecord::HasNoTabs))) LookForTabs(R);
    return (R.Bits & TOndLineRecord::HasTabs) != 0;
  }
  static void LookForTabs(TOndLineRecord& R) noexcept;
  // The length of a line with its tabs expanded.
  std::int32_t ExpandedLength(TOndLineRecord& R) noexcept;
  // The per-line objects follow their lines when lines come or go.
  void ShiftObjects(int Index, int Delta);
  void EraseObjects(int Index, int NumLines);
  // Adds (Delta 1) or removes (Delta -1) the lengths of NumLines lines from
  // Index in the length counts, while those are kept.
  void CountLines(int Index, int NumLines, int Delta) noexcept;
  void CountLength(std::int32_t Length, int Delta);
  void ForgetLengths() noexcept;

  TOndLineRecord* FList = nullptr;
  int FCount = 0;
  int FCapacity = 0;
  // Blocks of text read at once (loads, SetText) that lines point into.
  std::vector<std::unique_ptr<char[]>> FBlocks;
  std::vector<std::unique_ptr<std::string>> FAdoptedBlocks;  // texts given over whole
  std::vector<std::string_view> FBlockTexts;  // the text of each block above
  // No line has a text of its own and none changed places since the last
  // load: the lines' texts stand in the block in the lines' order.
  bool FInReadOrder = true;
  std::map<int, void*> FObjects;  // line index -> the line's object, for the few lines that have one
  // Colours of the few lines that have them (foreground, background), and
  // the places given back.
  std::vector<std::pair<TColor, TColor>> FColors;
  std::vector<std::uint32_t> FFreeColors;
  TConvertTabsProcEx FConvertTabsProc = nullptr;
  int FLongestLineIndex = -1;  // -1 until asked for after a change
  int FTabWidth = 0;
  // How many lines have each expanded length: short lengths in a small
  // table, the rare long ones in a map. Kept from the first question about
  // the longest line until the tab width changes or the list is cleared.
  bool FLengthsKnown = false;
  std::int32_t FLongestLength = 0;
  std::vector<std::int32_t> FShortLengths;
  std::map<std::int32_t, std::int32_t> FLongLengths;
};

// Buffered file output with one line-end style.
class TOndEditFiler {
 public:
  TOndEditFiler(const TOndEditFiler&) = delete;
  TOndEditFiler& operator=(const TOndEditFiler&) = delete;
  virtual ~TOndEditFiler() = default;

  TOndEditFileFormat GetFileFormat() const noexcept { return FFileFormat; }
  void SetFileFormat(TOndEditFileFormat Value) noexcept { FFileFormat = Value; }
  std::size_t GetBufferSize() const noexcept { return FBufferSize; }

 protected:
  TOndEditFiler() = default;

  std::unique_ptr<char[]> FBuffer;
  std::size_t FBufPtr = 0;
  std::size_t FBufferSize = 16384;
  TOndEditFileFormat FFileFormat = sffUnix;
  std::unique_ptr<TFileStream> FStream;
};

class TOndEditFileWriter : public TOndEditFiler {
 public:
  // Creates the file (an existing one is truncated).
  explicit TOndEditFileWriter(const std::string& FileName);
  // Flushes; a failure here is swallowed, so callers flush first to see it.
  ~TOndEditFileWriter() override;

  void Write(std::string_view S);
  void WriteLine(std::string_view S);
  void Flush();

 private:
  void Append(std::string_view S, bool LineEnd);
};

// ------------------------------------------------------------------ undo

using TOndUndoReason = std::uint8_t;
enum : TOndUndoReason {
  urInsert = 0,
  urPaste = 1,
  urDragDropInsert = 2,
  urDeleteAfterCursor = 3,
  urDelete = 4,
  urLineBreak = 5,
  urIndent = 6,
  urUnindent = 7,
  urSilentDelete = 8,
  urSilentDeleteAfterCursor = 9,
  urCompound1Begin = 10,
  urCompound1End = 11,
  urPasteBegin = 12,
  urPasteEnd = 13,
  urCompound2Begin = 14,
  urCompound2End = 15,
  urCompound3Begin = 16,
  urCompound3End = 17,
  urCaret = 18,
  urSelection = 19,
  urNothing = 20,     // what an empty list reports
  urGroupBreak = 21,  // ends a group of typing
  urDeleteAll = 22,
  urFoldChange = 23,  // a collapsed fold range taken out of the fold tree
  // Runs of lines replaced as a whole, StartPos.Line..EndPos.Line the first
  // and last line they cover: Text holds the runs and the lines they replaced
  // (see OndEditLineRuns.h; a replace-all records all it changed this way).
  urReplaceLines = 24,
};

class TOndEditUndoItem {
 public:
  TOndUndoReason Reason = urInsert;
  TOndSelectionMode SelectionMode = smNormal;
  TBufferCoord StartPos;
  TBufferCoord EndPos;
  std::string Text;
  std::int32_t GroupNumber = 0;
  // Only fold-change records use the extras: the detached fold range, which
  // the record owns, and its former index in the flat fold list.
  std::unique_ptr<TOndEditUndoObject> Extra1;
  std::int32_t Extra2 = 0;

  // Copies everything but the two extra values.
  void Assign(const TOndEditUndoItem& Source);
};

class TOndEditUndoList {
 public:
  using TNotifyEvent = std::function<void(TOndEditUndoList* Sender)>;

  TOndEditUndoList() = default;
  TOndEditUndoList(const TOndEditUndoList&) = delete;
  TOndEditUndoList& operator=(const TOndEditUndoList&) = delete;

  // Records one change; ignored while locked.
  void AddChange(TOndUndoReason Reason, const TBufferCoord& StartPos, const TBufferCoord& EndPos,
                 std::string_view Text, TOndSelectionMode SelectionMode,
                 std::unique_ptr<TOndEditUndoObject> Extra1 = nullptr, std::int32_t Extra2 = 0);
  void BeginBlock();
  void EndBlock();
  void AddGroupBreak();
  void PushItem(std::unique_ptr<TOndEditUndoItem> Item);
  std::unique_ptr<TOndEditUndoItem> PopItem();
  TOndEditUndoItem* PeekItem() const noexcept;
  TOndUndoReason LastChangeReason() const noexcept;
  bool HasRecords() const noexcept { return !FItems.empty(); }
  int ItemCount() const noexcept { return static_cast<int>(FItems.size()); }
  TOndEditUndoItem* Items(int Index) const;
  void Lock() noexcept { ++FLockDepth; }
  void Unlock() noexcept {
    if (FLockDepth > 0) --FLockDepth;
  }
  void Clear();
  void Assign(const TOndEditUndoList& Source);

  // The saved state: MarkTopAsSaved(true) remembers the current top as the
  // state last saved, MarkTopAsSaved(false) forgets it when it is current.
  void MarkTopAsSaved(bool Value);
  bool IsTopMarkedAsSaved() const noexcept;

  std::int32_t GetBlockNumber() const noexcept { return FBlockNumber; }
  void SetBlockNumber(std::int32_t Value) noexcept { FBlockNumber = Value; }
  std::int32_t GetBlockDepth() const noexcept { return FBlockDepth; }
  bool GetRecordsDropped() const noexcept { return FRecordsDropped; }
  std::int32_t GetLockDepth() const noexcept { return FLockDepth; }
  bool IsLocked() const noexcept { return FLockDepth > 0; }
  std::int32_t GetMaxUndo() const noexcept { return FMaxUndo; }
  void SetMaxUndo(std::int32_t Value);
  std::int32_t GetNextGroupNumber() const noexcept { return FNextGroupNumber; }
  std::int32_t GetSavedGroupNumber() const noexcept { return FSavedGroupNumber; }

  TNotifyEvent OnRecordAdded;

 private:
  void AdvanceGroupNumber() noexcept;
  void EnforceMaxEntries();

  std::int32_t FBlockNumber = 0;
  std::int32_t FBlockDepth = 0;
  bool FRecordsDropped = false;
  std::deque<std::unique_ptr<TOndEditUndoItem>> FItems;
  std::int32_t FLockDepth = 0;
  std::int32_t FMaxUndo = 1024;
  std::int32_t FNextGroupNumber = 1;
  std::int32_t FSavedGroupNumber = 0;
};

}  // namespace ond
