#include "platform/ActnList.h"

#include <QAction>
#include <QKeySequence>
#include <QWidget>

#include "platform/Forms.h"
#include "platform/QtBridge.h"

namespace ond {

QKeySequence ShortCutToKeySequence(TShortCut sc);

struct TAction::Private {
  QAction action;
};

TAction::TAction(TComponent* owner) : TComponent(owner), p(std::make_unique<Private>()) {
  QObject::connect(&p->action, &QAction::triggered, [this] {
    Guarded([this] { Execute(); });
    p->action.setChecked(FChecked);
  });
  // Shortcuts work while the action's window is active, menus shown or not.
  for (TComponent* o = owner; o; o = o->GetOwner()) {
    if (auto* form = dynamic_cast<TForm*>(o)) {
      form->Widget()->addAction(&p->action);
      break;
    }
  }
  Application()->RegisterAction(this);
}

TAction::~TAction() {
  BeginDestroy();
  Application()->UnregisterAction(this);
}

QAction* TAction::Handle() const { return &p->action; }

void TAction::SetCaption(const std::string& caption) {
  if (caption == FCaption) return;
  FCaption = caption;
  p->action.setText(AnsiToQString(caption));
}

void TAction::SetEnabled(bool enabled) {
  if (enabled == FEnabled) return;
  FEnabled = enabled;
  p->action.setEnabled(enabled);
}

void TAction::SetChecked(bool checked) {
  if (checked == FChecked) return;
  FChecked = checked;
  p->action.setCheckable(true);
  p->action.setChecked(checked);
  if (checked && FGroupIndex > 0 && GetOwner()) {
    TComponent* owner = GetOwner();
    for (int i = 0; i < owner->ComponentCount(); ++i) {
      auto* other = dynamic_cast<TAction*>(owner->GetComponent(i));
      if (other && other != this && other->FGroupIndex == FGroupIndex) other->SetChecked(false);
    }
  }
}

void TAction::SetVisible(bool visible) {
  if (visible == FVisible) return;
  FVisible = visible;
  p->action.setVisible(visible);
}

void TAction::SetGroupIndex(int group) {
  FGroupIndex = group;
  if (group > 0) p->action.setCheckable(true);
}

void TAction::SetShortCut(TShortCut shortCut) {
  FShortCut = shortCut;
  p->action.setShortcut(ShortCutToKeySequence(shortCut));
  p->action.setShortcutContext(Qt::WindowShortcut);
}

bool TAction::Update() {
  if (!OnUpdate) return false;
  OnUpdate(this);
  return true;
}

bool TAction::Execute() {
  Update();
  if (!FEnabled) return false;
  if (AutoCheck) SetChecked(!FChecked);
  if (!OnExecute) return false;
  OnExecute(this);
  return true;
}

}  // namespace ond
