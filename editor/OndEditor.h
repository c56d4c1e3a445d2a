// The document editor of every panel: the edit-control editor plus a document
// name and format, the caret at the last change, and commands 901 to 913.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "editor/OndMemo.h"

namespace ond {

enum TOndDocumentState : std::uint8_t { smsNormal = 0, smsDocument = 1 };
// Flags a document's load or save is raised with; their meaning is the
// handler's and its caller's.
using TOndDocumentOptions = std::uint8_t;
// A document is loaded from or saved to Stream.
using TOndDocumentEvent = std::function<void(TObject* Sender, TStream* Stream, TOndDocumentOptions Options)>;

// Commands of the document editor; no key binding produces them.
inline constexpr TOndEditorCommand ecGotoLastChange = 901;
inline constexpr TOndEditorCommand ecUpperCaseAuto = 902;
inline constexpr TOndEditorCommand ecLowerCaseAuto = 903;
inline constexpr TOndEditorCommand ecToggleCaseAuto = 904;
inline constexpr TOndEditorCommand ecTitleCaseAuto = 905;
inline constexpr TOndEditorCommand ecPrint = 906;
inline constexpr TOndEditorCommand ecClearBookmarks = 907;
inline constexpr TOndEditorCommand ecDeleteWholeWord = 908;
inline constexpr TOndEditorCommand ecSelectLine = 909;
inline constexpr TOndEditorCommand ecSelectNextWord = 910;
inline constexpr TOndEditorCommand ecSelectPrevWord = 911;
inline constexpr TOndEditorCommand ecSelectNextLine = 912;
inline constexpr TOndEditorCommand ecSelectPrevLine = 913;

class TCustomOndEditor : public TOndMemo {
 public:
  explicit TCustomOndEditor(TComponent* AOwner);
  ~TCustomOndEditor() override;

  const std::string& GetDocumentName() const noexcept { return FDocumentName; }
  void SetDocumentName(const std::string& Value);
  TOndEditFileFormat GetDocumentFormat() const noexcept { return Lines()->FileFormat; }
  void SetDocumentFormat(TOndEditFileFormat Value);
  TOndDocumentState DocumentState = smsNormal;
  // Where the caret stood at the last change; (0, 0) before the first.
  TBufferCoord LastChangePos() const noexcept { return FLastChange; }

  void ExecuteCommand(TOndEditorCommand Command, char AChar, void* Data) override;

  // The document editor that last received the input focus.
  static TCustomOndEditor* LastFocused() noexcept;

  // Raised by DoLoadDocument, DoSaveDocument and DoCloseDocument, which an
  // editor built on this one calls where it loads, saves or closes.
  TOndDocumentEvent OnLoadDocument;
  TOndDocumentEvent OnSaveDocument;
  TNotifyEvent OnCloseDocument;
  // Printing (906): the print object in Data takes the editor; with AChar "1"
  // the print dialog comes first. Assigned by the printing unit.
  std::function<void(TCustomOndEditor* Sender, char AChar, void* Data)> OnPrint;

 protected:
  virtual void DoLoadDocument(TStream* Stream, TOndDocumentOptions Options);
  virtual void DoSaveDocument(TStream* Stream, TOndDocumentOptions Options);
  virtual void DoCloseDocument();
  void DoChange() override;
  void DoEnter() override;

 private:
  void TitleCaseSelection();
  void SelectWordStep(bool Forward);

  std::string FDocumentName;
  TBufferCoord FLastChange{0, 0};
};

class TOndEditor : public TCustomOndEditor {
 public:
  explicit TOndEditor(TComponent* AOwner) : TCustomOndEditor(AOwner) { AfterConstruction(); }
};

}  // namespace ond
