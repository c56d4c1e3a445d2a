#include "platform/Dialogs.h"

#include <QApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLayout>
#include <QLocale>
#include <QMimeDatabase>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStringList>
#include <QStyle>
#include <QTreeView>

#include <algorithm>
#include <initializer_list>

#include "platform/QtBridge.h"
#include "platform/ToolkitLanguage.h"
#include "platform/core/SysUtils.h"

namespace ond {

namespace {

int WidestText(const QFontMetrics& fm, std::initializer_list<QString> texts) {
  int widest = 0;
  for (const QString& t : texts) widest = std::max(widest, fm.horizontalAdvance(t));
  return widest;
}

// How the file list names a type, in the interface language.
QString TypeComment(const char* name) { return QMimeDatabase().mimeTypeForName(QLatin1String(name)).comment(); }

}  // namespace

void FitFileDialogColumns(QFileDialog& dialog) {
  auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
  if (!view || !view->model()) return;
  QHeaderView* header = view->header();
  const QFontMetrics cells(view->font()), titles(header->font());
  const QLocale locale;  // the interface language's, as the columns tell
  // The widest texts a column shows: sizes up to the last one before the
  // next unit, a date with two-digit day, month and hour, the types a config
  // set's folder holds (text, JSON, folders, other files), and a long name.
  const QDateTime late(QDate(2026, 12, 28), QTime(22, 58));
  const int texts[4] = {
      cells.horizontalAdvance(QStringLiteral("@quarn_settings_backup_copy.quarnconf")),
      WidestText(cells, {locale.formattedDataSize(1023), locale.formattedDataSize(1023LL * 1024 + 1000),
                         locale.formattedDataSize(1023LL * 1024 * 1024 + 1000 * 1024),
                         locale.formattedDataSize(1023LL * 1024 * 1024 * 1024 + 1000LL * 1024 * 1024)}),
      WidestText(cells, {TypeComment("text/plain"), TypeComment("application/json"), TypeComment("inode/directory"),
                         TypeComment("application/octet-stream")}),
      WidestText(cells, {locale.toString(late, QLocale::ShortFormat)}),
  };
  // Room for the cell's margins, the icon before a name and the sort mark
  // beside a title.
  const int margin = 2 * view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 8;
  const int icon = view->iconSize().width() > 0 ? view->iconSize().width() + 4 : 20;
  const int sortMark = view->style()->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, header) + 8;
  int total = 0;
  for (int column = 0; column < 4 && column < header->count(); ++column) {
    const QString title = view->model()->headerData(column, Qt::Horizontal).toString();
    const int cell = texts[column] + margin + (column == 0 ? icon : 0);
    const int heading = titles.horizontalAdvance(title) + margin + sortMark;
    const int width = std::max({header->sectionSize(column), cell, heading});
    header->resizeSection(column, width);
    total += width;
  }
  // The dialog grows by what the columns want beyond the list's room; the
  // list's room is the dialog's width less the side bar and the frames.
  dialog.ensurePolished();
  if (QLayout* layout = dialog.layout()) layout->activate();
  const QSize hint = dialog.sizeHint();
  auto* splitter = dialog.findChild<QSplitter*>(QStringLiteral("splitter"));
  const bool sides = splitter && splitter->count() > 1 && splitter->widget(0);
  const int sidebar = sides ? splitter->widget(0)->sizeHint().width() + splitter->handleWidth() : 0;
  const int frames = 2 * view->frameWidth() + view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, view) + 2;
  const QMargins around = dialog.layout() ? dialog.layout()->contentsMargins() : QMargins();
  int width = std::max(hint.width(), around.left() + around.right() + sidebar + frames + total + 8);
  int height = std::max(hint.height(), width * 3 / 5);
  // Never past the screen it opens on.
  if (QScreen* screen = QApplication::primaryScreen()) {
    width = std::min(width, screen->availableGeometry().width());
    height = std::min(height, screen->availableGeometry().height());
  }
  dialog.resize(width, height);
  if (sides) splitter->setSizes({sidebar, std::max(0, width - sidebar)});
}

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
  FitFileDialogColumns(dlg);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return false;
  FileName = QStringToPath(dlg.selectedFiles().first());
  const int chosen = static_cast<int>(names.indexOf(dlg.selectedNameFilter()));
  if (chosen >= 0) FilterIndex = chosen + 1;
  return true;
}

}  // namespace ond
