// The file dialogs open wide enough for their columns: a file's name, size,
// type and date each show whole at the default font, in either interface
// language, and no column is pushed out of view.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QTreeView>
#include <string>

#include "platform/Dialogs.h"
#include "platform/ToolkitLanguage.h"
#include "tests/support/TempDir.h"
#include "tests/support/gui/FileDialogModel.h"

namespace ond {
namespace {

TEST(FileDialogColumns, NameSizeTypeAndDateShowWholeInBothLanguages) {
  test::TempDir dir;
  const std::string file = dir.Write("@quarn_settings.quarnconf", std::string(728, ' '));
  for (const bool russian : {true, false}) {
    SetToolkitRussian(russian);
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    FollowInterfaceLocale(dialog);
    dialog.setDirectory(QString::fromStdString(dir.Path()));
    FitFileDialogColumns(dialog);
    dialog.show();
    auto* files = dialog.findChild<QFileSystemModel*>();
    auto* view = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    ASSERT_NE(files, nullptr);
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(test::WaitForFileSize(*files, file, 728).isValid());
    QApplication::processEvents();
    const QFontMetrics fm(view->font());
    QHeaderView* header = view->header();
    int total = 0;
    for (int column = 0; column < 4; ++column) {
      const QModelIndex cell = view->model()->index(
          view->model()->index(0, 0, view->rootIndex()).row(), column, view->rootIndex());
      // The row of the file: the folder holds nothing else.
      const QString text = cell.data().toString();
      ASSERT_FALSE(text.isEmpty()) << column;
      int room = header->sectionSize(column) - 6;
      if (column == 0) room -= view->iconSize().width();
      EXPECT_GE(room, fm.horizontalAdvance(text)) << russian << " column " << column << ": " << text.toStdString();
      total += header->sectionSize(column);
    }
    // All four show side by side without scrolling sideways.
    EXPECT_LE(total, view->viewport()->width()) << russian;
  }
  SetToolkitRussian(false);
}

}  // namespace
}  // namespace ond
