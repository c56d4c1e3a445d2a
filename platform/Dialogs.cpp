#include "platform/Dialogs.h"

#include <QFileDialog>
#include <QStringList>

#include "platform/QtBridge.h"
#include "platform/ToolkitLanguage.h"
#include "platform/core/SysUtils.h"

namespace ond {

TOpenDialog::TOpenDialog(TComponent* owner) : TComponent(owner) {}

std::vector<std::pair<std::string, std::string>> TOpenDialog::ParseFilter(const std::string& filter) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= filter.size()) {
    const std::size_t bar = filter.find('|', start);
    parts.push_back(filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  std::vector<std::pair<std::string, std::string>> result;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) result.emplace_back(parts[i], parts[i + 1]);
  return result;
}

bool TOpenDialog::Execute() { return Run(false); }
bool TSaveDialog::Execute() { return Run(true); }

bool TOpenDialog::Run(bool save) {
  if (ExecuteHook) return ExecuteHook(this);
  QFileDialog dlg;
  dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dlg.setOption(QFileDialog::HideNameFilterDetails);
  FollowInterfaceLocale(dlg);
  if (!Title.empty()) dlg.setWindowTitle(AnsiToQString(Title));
  const auto filters = ParseFilter(Filter);
  QStringList names;
  for (const auto& [name, patterns] : filters) {
    QString p = AnsiToQString(patterns);
    p.replace(';', ' ');
    // Qt takes the patterns from the last parentheses of each entry.
    names << AnsiToQString(name) + " (" + p + ")";
  }
  if (!names.isEmpty()) {
    dlg.setNameFilters(names);
    const int index = FilterIndex >= 1 && FilterIndex <= names.size() ? FilterIndex - 1 : 0;
    dlg.selectNameFilter(names[index]);
  }
  if (!DefaultExt.empty()) dlg.setDefaultSuffix(PathToQString(DefaultExt));
  if (!InitialDir.empty()) dlg.setDirectory(PathToQString(InitialDir));
  else if (!FileName.empty()) dlg.setDirectory(PathToQString(ExtractFileDir(FileName)));
  if (!FileName.empty()) dlg.selectFile(PathToQString(ExtractFileName(FileName)));
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
  FileName = QStringToPath(dlg.selectedFiles().first());
  const int chosen = static_cast<int>(names.indexOf(dlg.selectedNameFilter()));
  if (chosen >= 0) FilterIndex = chosen + 1;
  return true;
}

}  // namespace ond
