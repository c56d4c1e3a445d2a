#include "platform/Resources.h"

#include <QtCore/qglobal.h>
#include <QDir>
#include <mutex>

static void InitOndrelResources() { Q_INIT_RESOURCE(ondrel); }

namespace ond {
void InitResources() {
  static std::once_flag once;
  std::call_once(once, [] { InitOndrelResources(); });
}
}  // namespace ond
