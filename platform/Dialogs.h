// Open and save dialogs with the original's filter strings
// ("Name|*.a;*.b|Name|*.c") and 1-based filter index.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Controls.h"

class QFileDialog;

namespace ond {

// Widens the file list's name, size, type and date columns of a dialog in the
// toolkit's own look to what their texts take in the interface language at
// the dialog's font, and the dialog so that they all show whole.
void FitFileDialogColumns(QFileDialog& dialog);

class TOpenDialog : public TComponent {
 public:
  explicit TOpenDialog(TComponent* owner);
  std::string Filter;
  int FilterIndex = 1;
  std::string FileName;  // UTF-8 path
  std::string InitialDir;
  std::string DefaultExt;  // without the dot
  std::string Title;
  // Shows the dialog; true when a file was chosen.
  virtual bool Execute();
  // Answers in place of the dialog when set (tests): fills FileName and
  // FilterIndex and returns whether a file was chosen.
  std::function<bool(TOpenDialog*)> ExecuteHook;

  // The filter as name and pattern pairs.
  static std::vector<std::pair<std::string, std::string>> ParseFilter(const std::string& filter);

 protected:
  bool Run(bool save);
};

class TSaveDialog : public TOpenDialog {
 public:
  explicit TSaveDialog(TComponent* owner) : TOpenDialog(owner) {}
  bool Execute() override;
};

}  // namespace ond
