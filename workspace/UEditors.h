// The stacked editor panels of an open config set: one panel per file (header
// line, collapse button and editor) inside the main window's scroll box, whose
// own scrolling is off; the main window's separate scroll bar moves the stack.
// TEditors keeps the active panel, the modified state of the set, the files
// tree and the status bar current.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "editor/OndEdit.h"
#include "editor/OndEditor.h"
#include "highlight/OndGenHighlighter.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/Menus.h"
#include "platform/StdCtrls.h"
#include "search/OndEditRegexSearch.h"
#include "search/OndEditSearch.h"
#include "platform/core/SafeFileWriter.h"
#include "workspace/CheckTreeViewEx.h"
#include "workspace/StatusBarEx.h"
#include "workspace/Encodings.h"
#include "workspace/UZuConfigInformation.h"

namespace ond {

// The arithmetic of the stacked panels, free of windows: panel tops and
// heights in the coordinates of the scrolling area, its view height and the
// main scroll bar's position and maximum.
class TStackLayout {
 public:
  struct TPanelBox {
    int Top = 0;
    int Height = 0;
    int HeaderHeight = 0;
    bool Visible = true;
  };
  // Pixels one wheel notch moves the stack at most.
  static constexpr int WheelStep = 25;

  std::vector<TPanelBox> Panels;
  int ViewHeight = 0;
  int Position = 0;
  int Max = 0;

  int VisibleCount() const;
  int FirstVisible() const;
  int LastVisible() const;
  // Height of all visible panels.
  int TotalHeight() const;
  // The bottom of the stack shows in the view.
  bool ScrolledPastEnd() const;
  // The amount the area scrolls to bring panel index to the top of the view
  // (0 when it cannot); the position decreases by it.
  int ScrollToShift(int index) const;
  // The scroll bar moved to newPosition: returns how far the area scrolls
  // (old position - new position) and moves the panels by it.
  int ScrollTo(int newPosition);
  // Moves every panel by shift and the position by -shift.
  void Shift(int shift);
  // Whether a wheel turn may move the stack: activation method 2 (the
  // pointer), 0 with Shift held or 1 with Ctrl held.
  static bool WheelActivates(int method, TShiftState shift);
  // One notch: moves the position by at most WheelStep and returns how far
  // the area scrolls (its content moves by the negated position change);
  // panels that drifted from the scroll bar are lined up with it again.
  int Wheel(bool down);
  // Before the view changes height: with the stack scrolled past its end, the
  // last visible panel gives up the lost height, but never down to its header.
  void BeforeResize(int newViewHeight);
  // After it changed: the last visible panel fills the view when the stack
  // ends inside it; Max becomes the height the view cannot show.
  void AfterResize();
};

// The panels' colours until the settings file stores them.
struct TEditorColors {
  static TColor EditorFont;    // default: the window-text system colour
  static TColor Header;        // default: black
  static TColor ActiveHeader;  // default: blue
};

// The four-answer question shown next to a match before it is replaced.
class TConfirmReplaceDialog;

class TEditors;
class TEncoding;

// The square flat button at the right end of a panel's header: image 0 of
// the collapse images when expanded, image 1 when collapsed.
class TCollapseButton : public TCustomControl {
 public:
  explicit TCollapseButton(TComponent* owner);
  int ImageIndex = 0;
  void SetImageIndex(int index);

 protected:
  void Paint() override;
};

// One panel of the stack.
class TEditor : public TObject {
 public:
  TEditor(TEditors* owner, bool shown, const std::string& caption, int index, TPopupMenu* popupMenu,
          TWinControl* parent);
  ~TEditor() override;
  TEditor(const TEditor&) = delete;
  TEditor& operator=(const TEditor&) = delete;

  static constexpr int DefaultHeight = 502;

  TPanel* Panel = nullptr;
  TLabel* Header = nullptr;
  TCollapseButton* CollapseButton = nullptr;
  TOndEditor* Editor = nullptr;
  // The panel's rule-driven highlighter; it has no rules until a scheme is
  // loaded into it. The panels of one set share the highlighter of each
  // scheme (see TEditors::SchemeHighlighter).
  std::shared_ptr<TOndGenHighlighter> Highlighter;
  // The built-in scheme the highlighter holds (0 config files, 1 JavaScript,
  // 2 Python); -1 for none.
  int SchemeIndex = -1;
  // Takes the highlighter of the built-in scheme Index (any other value: one
  // without rules) with folding off meanwhile; folding comes back on when the
  // settings want it.
  void SetSyntaxScheme(int Index);
  std::unique_ptr<TOndEditSearch> SearchEngine;
  std::unique_ptr<TOndEditRegexSearch> RegexSearchEngine;

  TEditors* Owner;
  int Index;
  bool Active = false;
  bool Shown = false;
  bool Modified = false;
  bool Collapsed = false;
  int SavedHeight = DefaultHeight;
  bool Busy = false;
  TOndReplaceAction ReplaceAnswer = raReplace;
  std::uint8_t Encoding = 2;  // 0 ANSI, 1 Unicode (UTF-16 LE), 2 UTF-8
  TBufferCoord BracketAt{0, 0};
  TBufferCoord BracketPartner{0, 0};
  // Characters that became "?" when the file was last read (they have no
  // form in code page 1251 or were not valid in the encoding); saving over
  // the file would lose them.
  std::size_t LossyCount = 0;
  // Why the last LoadFromFile or SaveToFile failed (program text naming the
  // file or folder and the system's reason), else "".
  std::string LastError;
  // The file the last load could not read; saving to it is refused and,
  // when it is the panel's own file, the panel is read-only until a load
  // succeeds.
  std::string UnreadFile;
  // Why it could not be read: the reason number of the failure (see
  // LangReadReason), 0 when only LastError tells it.
  int UnreadReason = 0;
  // Makes the panel read-only as one whose file could not be read.
  void MarkUnread(const std::string& fileName, int reason);
  // Whether the panel holds its own file's text: false once the file could
  // not be read (the panel is read-only then), and nothing of it may be
  // written anywhere, under any name.
  bool HoldsItsFile() const;
  // Why a write of such a panel to fileName is refused, in the current
  // language (the caption's reason); "" when the panel holds its file.
  std::string NotHeldText(const std::string& fileName) const;
  // The caption's and status bar's mark of such a panel, in the current language.
  std::string UnreadText() const;
  // The reason alone.
  std::string UnreadReasonText() const;
  // What a click on the panel tells in the status bar's message panel: the
  // file's name and the panel's marks, in the current language.
  std::string FileStatusText() const;
  // The message that click told last, so that a switch of the language can
  // tell it again while it still stands there.
  std::string FileStatusTold;
  // Status panels 0 and 1: the caret's line and column and the code of the
  // character under it.
  void ShowCaretStatus();
  // The disk copy of the panel's own file that its text was read from or
  // last saved to (Exists false for a file that was not there): saving asks
  // before it overwrites another.
  TDiskCopy DiskCopy;
  // The facts of the bytes the text was read from or last saved as.
  TByteFacts ReadFacts;
  // The file was read in a one-byte encoding and held zero bytes, or began
  // with a UTF-16 byte-order mark: UTF-16 text read so. The caption and the
  // status bar say so, and a save over the file asks first while the text
  // still holds zero bytes. Cleared by a save or a read that finds neither.
  bool ZeroBytesRead = false;
  int Utf16MarkRead = 0;  // as TByteFacts::Utf16Mark
  // The mark of such a panel, in the current language; "" for none.
  std::string Utf16ReadText() const;
  // The text still holds zero bytes that came from the file.
  bool HoldsZeroBytes() const;
  // The panel's file keeps its encoding in its backup, but nothing in the
  // backup's bytes may say which (UTF-16 without a mark looks like anything
  // else with zeros in it). A save that makes the backup remembers the
  // encoding the file was read in, for the bytes the panel read: their facts.
  // BackupEncoding gives it for a backup that holds exactly those bytes, else
  // null (a backup of an earlier run or of another program, or one copied
  // from a file another program wrote after the panel read it).
  void RememberBackup(const std::string& backupName, bool holdsTheFileRead);
  TEncoding* BackupEncoding(const std::string& backupName, std::string_view bytes) const;
  // Recovery: loads the backup into the panel in the encoding its bytes are
  // in (see BackupEncoding and DetectBackupEncoding) and marks the panel
  // modified; its own file's encoding, disk copy and facts stay. Only a
  // regular file is read there, never a link (the program makes its backups
  // itself, never as links). False with the reason in `problem` (the
  // message to tell, in the current language); the panel is unchanged then.
  bool LoadBackup(const std::string& backupName, std::string& problem);

  // Kind 0 ANSI, 1 Unicode, 2 UTF-8 (any other value counts as 2). False
  // when the file does not exist or cannot be read; the text stays then.
  // The disk copy read becomes DiskCopy.
  bool LoadFromFile(const std::string& fileName, int kind);
  // Takes over text already read and decoded in that kind (`replaced`
  // characters became "?" in decoding), as LoadFromFile would have read it;
  // `facts` are those of the bytes it was read from (null: not a file's).
  void LoadDecodedText(std::string&& text, std::size_t replaced, int kind, const TByteFacts* facts = nullptr);
  // Writes the whole text as UTF-8 with a byte-order mark, one trailing line
  // break dropped, atomically. False when the folder cannot be made or the
  // write failed; the panel then stays modified.
  bool SaveToFile(const std::string& fileName, bool asCopy);
  // The write itself: the text as SaveToFile writes it, with a backup under
  // backupName (empty: none), and only when the disk copy is still `expected`
  // (null: no check). A failure's reason is also kept in LastError. The
  // panel's state is left to the caller (see Saved). The file is the user's:
  // a link is followed, and inPlaceWithoutCopy passes the user's consent to
  // write in place without a copy of the old bytes.
  TWriteResult WriteTo(const std::string& fileName, const std::string& backupName, const TDiskCopy* expected,
                       bool inPlaceWithoutCopy = false);
  // After a write of the panel's own file: the panel holds what is on disk
  // now, in the encoding it was written in.
  void Saved(const TDiskCopy& written);
  // The text SaveToFile writes (before encoding).
  std::string TextToSave() const;

  void SetShown(bool value);
  void SetModified(bool value);
  void SetActive(bool value);
  void SetCollapsed(bool value);
  void SetHeight(int height);
  std::string EncodingName() const;
  std::string CharCodeText() const;
  void SetCaption(const std::string& name);
  std::string Caption() const { return FCaption; }
  int HeaderHeight() const;
  // The panel counts as modified while the editor's undo list holds records
  // or has dropped some since the last load or save.
  bool UndoSaysModified() const;
  // Repaints the header in the colour and weight of the panel's state.
  void UpdateHeader();
  // Takes the view settings of the editors (gutter, word wrap, special
  // characters, free caret movement) as they are now.
  void ApplyViewSettings();

  // Editor events, callable as the editor calls them.
  void EditorChange();
  void EditorClick();
  void EditorStatusChange(TOndStatusChanges changes);
  void EditorKeyPress(char& key);
  void EditorPaintTransient(TCanvas* canvas, TTransientType type);
  void EditorReplaceText(const std::string& search, const std::string& replace, int line, int column,
                         TOndReplaceAction& action);
  void EditorScroll();

 private:
  void ApplyEditorSettings(TPopupMenu* popupMenu);
  void PanelResized();
  std::string FCaption;
  struct TBackupMemo {
    std::string Name;
    TByteFacts Bytes;
    TEncoding* Encoding = nullptr;
  } FBackup;
  // The facts of the bytes WriteTo wrote last, which Saved takes.
  TByteFacts FWrittenFacts;
};

class TEditors {
 public:
  using TFiles = std::vector<std::unique_ptr<TZuFileInformation>>;

  TEditors(TFiles* files, TPopupMenu* popupMenu, TScrollBar* scrollBar, TStatusBarEx* statusBar,
           TCheckTreeViewEx* tree, TScrollBox* scrollBox);
  ~TEditors();
  TEditors(const TEditors&) = delete;
  TEditors& operator=(const TEditors&) = delete;

  std::vector<std::unique_ptr<TEditor>> Items;
  TScrollBox* ScrollBox;
  TCheckTreeViewEx* Tree;
  TScrollBar* ScrollBar;
  TStatusBarEx* StatusBar;
  TPopupMenu* PopupMenu;
  int Count = 0;
  int VisibleCount = 0;
  bool Modified = false;
  int ActiveIndex = -1;
  TFiles* Files;
  bool Resizing = false;
  int StartY = 0;
  TOndReplaceAction ReplaceAnswer = raReplace;
  int ReplaceCount = 0;

  // The main window's part: bringing a panel to the top of the view, and the
  // rectangle the confirmation dialog is placed against.
  std::function<void(int index)> OnScrollToEditor;
  TForm* MainForm = nullptr;
  // The question before each replacement; the default shows the dialog.
  std::function<TOndReplaceAction(TEditor* editor, const TRect& match)> OnAskReplace;

  TEditor* Item(int index) const;
  // The highlighter holding built-in scheme index (0..2; any other index
  // gives one without rules), read once per set and shared by its panels:
  // panels only read a scheme, each scan sets the highlighter's state before
  // it starts, and every panel of a set follows the same scheme setting.
  std::shared_ptr<TOndGenHighlighter> SchemeHighlighter(int index);
  TEditor* Active() const { return Item(ActiveIndex); }
  TEditor* AddSingleEditor(int index, const std::string& caption);
  TEditor* AddEditor(int index, const std::string& caption, bool shown);
  void AddRootNode(const std::string& caption);
  void AddChildNode(const std::string& caption, bool shown);
  int TotalHeight() const;
  int ScrollRange() const;
  bool Overscrolled() const;
  int FirstVisible() const;
  int LastVisible() const;
  int PreviousVisible(int index) const;
  void SetWidth(int width);
  void Show();
  void Hide();
  // ScrollBar's maximum from the stack's height.
  void UpdateScrollMax();
  // Recomputes the set's modified flag from the panels.
  void UpdateModified();
  // Pulls the stack back when it is scrolled past its end and lets the last
  // visible panel fill the view.
  void CorrectOverscroll();
  void FillLastPanel();
  // Moves every visible panel after index (exclusive) by dy.
  void MoveLater(int index, int dy);
  // The stack as arithmetic, and written back to the panels.
  TStackLayout Layout() const;
  void ApplyLayout(const TStackLayout& layout);
  // Status-bar panel i's text.
  void SetStatus(int panel, const std::string& text);
  // Shows what Compose makes, made again when the interface language changes
  // while it shows (Compose keeps copies, never pointers into the set).
  void TellStatus(int panel, std::function<std::string()> compose);
  // Every panel takes the view settings as they are now.
  void ApplySettings();

  // A header's mouse handlers (coordinates relative to the header).
  void HeaderMouseDown(TEditor* editor, TMouseButton button, int y);
  void HeaderMouseMove(TEditor* editor, int y);
  void HeaderMouseUp(TEditor* editor);

 private:
  TOndReplaceAction AskReplace(TEditor* editor, const TRect& match);
  // The same for a stack of the given height (-1: measured).
  void UpdateScrollMax(int totalHeight);
  std::map<int, std::shared_ptr<TOndGenHighlighter>> FSchemeHighlighters;
  // The panel height of the last full placement in AddEditor, 0 before.
  int FPlacedHeight = 0;
  friend class TEditor;
};

}  // namespace ond
