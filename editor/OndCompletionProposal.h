// The completion pop-up: a borderless window next to an editor that shows a
// list of formatted lines, as a code list (ctCode), a hint (ctHint) or a
// parameter hint (ctParams). The editor keeps one per control and shows it as
// a hint of a collapsed fold's hidden lines while the mouse rests on the
// fold's mark; the code list and the parameter hint are complete but nothing
// in the program opens them. The lines' formatting language and the pop-up's
// arithmetic live in OndProposalFormat.h and OndProposalList.h; this unit
// holds the properties, the window and the hooks into the editor's chains.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "editor/OndProposalFormat.h"
#include "editor/OndProposalList.h"
#include "platform/Controls.h"
#include "platform/core/Classes.h"
#include "platform/core/Keys.h"

namespace ond {

class TCustomOndEdit;
class TImageList;
class TTimer;
class TOndBaseCompletionProposalForm;

enum OndCompletionType { ctCode, ctHint, ctParams };

// A column of the code list's formatted items.
using TProposalColumn = TFormatColumn;

// Draws item Index into R instead of the pop-up; true when it did.
using TCompletionPaintItem = std::function<bool(TObject* Sender, int Index, TCanvas& Canvas, const TRect& R)>;
// Asked before the pop-up shows; clearing CanExecute keeps it hidden.
using TCompletionExecute = std::function<void(OndCompletionType Kind, TObject* Sender, std::string& CurrentInput,
                                              int& X, int& Y, bool& CanExecute)>;
// May change the text that completes the word at the caret.
using TCodeCompletionEvent = std::function<void(TObject* Sender, std::string& Value, int Index)>;

class TOndBaseCompletionProposal : public TComponent {
 public:
  explicit TOndBaseCompletionProposal(TComponent* Owner = nullptr);
  ~TOndBaseCompletionProposal() override;

  virtual TStrings& ItemList() { return FItemList; }
  const TStrings& Items() const { return FItemList; }
  TStrings& InsertList() { return FInsertList; }
  const TFont& GetFont() const { return FFont; }
  virtual void SetFont(const TFont& Value);
  TFont& TitleFont() { return FTitleFont; }
  const TFont& TitleFont() const { return FTitleFont; }
  TColor GetClBackground() const { return FClBackground; }
  virtual void SetClBackground(TColor Value);
  TColor ClSelect = clHighlight;
  TColor ClSelectedText = clHighlightText;
  TColor ClTitleBackground = clBtnFace;
  std::string Title;
  int Margin = 2;
  bool Resizeable = true;
  int NbLinesInWindow = 8;
  int Width = 260;
  // 0: as high as the font's sample text.
  int GetItemHeight() const { return FItemHeight; }
  void SetItemHeight(int Value);
  std::vector<TProposalColumn> Columns;
  // Not owned.
  TImageList* Images = nullptr;
  std::string EndOfTokenChr = "()[]. ";
  std::string TriggerChars;

  TOndCompletionOptions GetOptions() const { return FOptions; }
  virtual void SetOptions(TOndCompletionOptions Value) { FOptions = Value; }
  OndCompletionType GetDisplayType() const { return FDisplayType; }
  virtual void SetDisplayType(OndCompletionType Value) { FDisplayType = Value; }
  OndCompletionType GetDefaultType() const { return FDefaultType; }
  void SetDefaultType(OndCompletionType Value);
  // The parameter shown bold by ctParams.
  int ParamIndex = 0;

  // Shows the pop-up for the current string S at screen point (X, Y).
  virtual void ExecuteEx(const std::string& S, int X, int Y, OndCompletionType Kind);
  virtual void CancelCompletion();
  virtual bool Visible() const;
  // The text typed so far, and the code list's items and selection.
  const std::string& CurrentString() const { return FCurrentString; }
  const TProposalList& List() const { return FList; }
  // Scrolls the code list by Lines items (to item Top), the selection staying.
  void ScrollListBy(int Lines);
  void ScrollListTo(int Top);
  // The code list's title bar height; 0 without a title.
  int TitleHeight() const;
  // The code list's frame: sizing when Resizeable, else thin.
  int CodeListFrame() const { return Resizeable ? ProposalSizingFrame : ProposalThinFrame; }
  // The window, made on first showing; null before.
  TOndBaseCompletionProposalForm* Form() const { return FForm.get(); }

  // The sample text's height in the font, and the height of one item.
  int FontHeight() const;
  int EffectiveItemHeight() const;
  // The line item Index shows: ctParams bolds the current parameter.
  std::string DisplayLine(int Index) const;

  TNotifyEvent OnChange;
  TNotifyEvent OnClose;
  TCompletionPaintItem OnPaintItem;
  TCompletionExecute OnExecute;
  TNotifyEvent OnCancel;
  TCodeCompletionEvent OnCodeCompletion;

 protected:
  // The code list's keys; true when the key was the list's own.
  bool CodeListKey(std::uint16_t Key, TShiftState Shift);
  void SetCurrentString(std::string Value);
  // The list scrolled or its selection moved: the window shows it.
  void ListMoved();
  // Replaces the word at the editor's caret by the selected item.
  virtual void Complete() {}

  TProposalList FList;

 private:
  void PlaceAndShow(int X, int Y);
  TStringList FItemList;
  TStringList FInsertList;
  TFont FFont;
  TFont FTitleFont;
  TColor FClBackground = clWindow;
  int FItemHeight = 0;
  TOndCompletionOptions FOptions = 0;
  OndCompletionType FDisplayType = ctCode;
  OndCompletionType FDefaultType = ctCode;
  std::string FCurrentString;
  std::unique_ptr<TOndBaseCompletionProposalForm> FForm;
};

class TOndCompletionProposal : public TOndBaseCompletionProposal {
 public:
  explicit TOndCompletionProposal(TComponent* Owner = nullptr);
  ~TOndCompletionProposal() override;

  TCustomOndEdit* GetEditor() const { return FEditor; }
  // Leaves the previous editor (its key handlers, and the pop-up when it was
  // shown for it) and hooks into the new one's key chains.
  virtual void SetEditor(TCustomOndEdit* Value);
  int GetTimerInterval() const { return FTimerInterval; }
  virtual void SetTimerInterval(int Value);
  void SetOptions(TOndCompletionOptions Value) override;
  TTimer* Timer() const { return FTimer.get(); }
  TShortCut ShortCut = scCtrl | VK_SPACE;

  void ExecuteEx(const std::string& S, int X, int Y, OndCompletionType Kind) override;
  void CancelCompletion() override;

  TNotifyEvent OnAfterCodeCompletion;

  // Makes the editors' fold hint; a test may put a recording one in its place.
  using TFactory = std::function<std::unique_ptr<TOndCompletionProposal>()>;
  static void SetFactory(TFactory Factory) { Factory_() = std::move(Factory); }
  static std::unique_ptr<TOndCompletionProposal> Create();

 protected:
  void Notification(TComponent* Component, TOperation Operation) override;
  void Complete() override;

 private:
  static TFactory& Factory_() {
    static TFactory f;
    return f;
  }
  void Detach();
  void EditorKeyDown(void* Sender, std::uint16_t& Key, TShiftState Shift);
  void EditorKeyPress(void* Sender, char& Key);
  void TimerExpired();
  TCustomOndEdit* FEditor = nullptr;
  int FTimerInterval = 1000;
  std::unique_ptr<TTimer> FTimer;
};

}  // namespace ond
