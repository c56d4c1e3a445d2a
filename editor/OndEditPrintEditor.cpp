#include "editor/OndEditPrintEditor.h"

#include "editor/OndEdit.h"
#include "editor/OndEditMiscProcs.h"
#include "editor/OndEditPrint.h"
#include "platform/Graphics.h"
#include "platform/Printers.h"

namespace ond {

void TOndEditPrint::SetOndEdit(TCustomOndEdit& Editor) {
  SetHighlighter(Editor.GetHighlighter());
  const TFont& font = Editor.DrawingFont();
  TOndPrintFont printFont;
  printFont.Name = font.GetName();
  printFont.Size = font.GetSize();
  printFont.Style = font.GetStyle();
  printFont.Color = font.GetColor();
  SetFont(printFont);
  SetTabWidth(Editor.GetTabWidth());
  const TOndEditStringList& lines = *Editor.Lines();
  std::vector<std::string> copy;
  copy.reserve(static_cast<std::size_t>(lines.GetCount()));
  for (int i = 0; i < lines.GetCount(); ++i) copy.push_back(lines.Get(i));
  SetLines(copy);
  // The printed lines have their tabs expanded, so the selection's ends
  // become display columns of their own lines.
  auto column = [&](TBufferCoord p) {
    return BufferCoord(CharIndexToColumn(p.Char, FTabWidth, lines.Get(p.Line - 1)), p.Line);
  };
  SetSelection(Editor.SelAvail(), column(Editor.GetBlockBegin()), column(Editor.GetBlockEnd()),
               Editor.GetSelectionMode());
}

int PrintEditorCommand(TCustomOndEdit& Editor, char AChar, void* Data, const std::string& Title,
                       std::string* Failure) {
  const bool dialog = AChar == '1';
  auto run = [&](TOndEditPrint& print) {
    const int pages = RunPrintCommand(print, dialog);
    if (Failure) *Failure = print.Failure();
    return pages;
  };
  if (Data) {
    auto& print = *static_cast<TOndEditPrint*>(Data);
    print.SetOndEdit(Editor);
    return run(print);
  }
  TQtPrinter printer;
  TOndEditPrint print(printer);
  print.Title = Title;
  print.DateText = LocalDateText();
  print.TimeText = LocalTimeText();
  SetDefaultHeaderFooter(print);
  print.SetOndEdit(Editor);
  return run(print);
}

}  // namespace ond
