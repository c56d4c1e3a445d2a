#include "platform/ToolkitLanguage.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QWidget>

#include <memory>

namespace ond {

namespace {

// The one translator in force; replaced or removed on every switch.
std::unique_ptr<QTranslator>& Installed() {
  static std::unique_ptr<QTranslator> translator;
  return translator;
}

// The dialog's files with their size and date columns told in the default
// locale; every other column and role as the file system model has them.
class TInterfaceLocaleFiles : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;
  QVariant data(const QModelIndex& index, int role) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (files && role == Qt::DisplayRole && index.isValid()) {
      const QModelIndex source = mapToSource(index);
      constexpr int SizeColumn = 1;
      constexpr int DateColumn = 3;
      if (index.column() == SizeColumn && !files->isDir(source))
        return QLocale().formattedDataSize(files->size(source));
      if (index.column() == DateColumn) return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
    }
    return QIdentityProxyModel::data(index, role);
  }
};

}  // namespace

void FollowInterfaceLocale(QFileDialog& dialog) {
  dialog.setProxyModel(new TInterfaceLocaleFiles(&dialog));
}

bool SetToolkitRussian(bool russian) {
  std::unique_ptr<QTranslator>& installed = Installed();
  if (installed) {
    QCoreApplication::removeTranslator(installed.get());
    installed.reset();
  }
  const QLocale locale = russian ? QLocale(QLocale::Russian, QLocale::Russia)
                                 : QLocale(QLocale::English, QLocale::UnitedStates);
  QLocale::setDefault(locale);
  // Windows made before take the default only when made; they are told too.
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->locale() != locale) window->setLocale(locale);
  if (!russian) return true;
  auto translator = std::make_unique<QTranslator>();
  // "qtbase" holds the texts of the widgets the program uses (message
  // boxes, file dialogs, edit menus).
  if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    return false;
  if (!QCoreApplication::installTranslator(translator.get())) return false;
  installed = std::move(translator);
  return true;
}

}  // namespace ond
