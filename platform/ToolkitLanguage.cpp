#include "platform/ToolkitLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace ond {

namespace {

// The one translator in force; replaced or removed on every switch.
std::unique_ptr<QTranslator>& Installed() {
  static std::unique_ptr<QTranslator> translator;
  return translator;
}

}  // namespace

bool SetToolkitRussian(bool russian) {
  std::unique_ptr<QTranslator>& installed = Installed();
  if (installed) {
    QCoreApplication::removeTranslator(installed.get());
    installed.reset();
  }
  const QLocale locale = russian ? QLocale(QLocale::Russian, QLocale::Russia)
                                 : QLocale(QLocale::English, QLocale::UnitedStates);
  QLocale::setDefault(locale);
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
