#include "platform/SysInfo.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QLocale>
#include <QScreen>
#include <cmath>

#include "platform/QtBridge.h"

namespace ond {

TDisplayMode PrimaryDisplayMode() {
  TDisplayMode mode;
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return mode;
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return mode;
  mode.Width = screen->size().width();
  mode.Height = screen->size().height();
  mode.BitsPerPixel = screen->depth();
  mode.Frequency = static_cast<int>(std::lround(screen->refreshRate()));
  return mode;
}

std::string InputMethodLocaleName() {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    if (const QInputMethod* im = QGuiApplication::inputMethod()) return QStringToPath(im->locale().name());
  return QStringToPath(QLocale::system().name());
}

}  // namespace ond
