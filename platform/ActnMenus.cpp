#include "platform/ActnMenus.h"

#include <QMenu>
#include <QMenuBar>

#include "platform/ActnList.h"
#include "platform/QtBridge.h"

namespace ond {

TActionMenuBar::TActionMenuBar(TComponent* owner) : TWinControl(owner, new QMenuBar), FItems(new TMenuItem(this)) {
  SetAlign(TAlign::alTop);
  SetBounds(0, 0, 100, Widget()->sizeHint().height());
}

void TActionMenuBar::Rebuild() {
  FItems->BuildMenu(Widget());
  SetHeight(Widget()->sizeHint().height());
}

}  // namespace ond
