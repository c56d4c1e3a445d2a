#include "workspace/URusClipboard.h"

#include <memory>

namespace ond {

void TRusClipboard::Closing() {
  if (Pending(CF_TEXT)) SetMimeData(AnsiTextMimeType, PendingData(CF_TEXT));
}

void InstallRusClipboard() { SetClipboard(std::make_unique<TRusClipboard>()); }

}  // namespace ond
