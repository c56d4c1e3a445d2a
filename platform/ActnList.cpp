#include "platform/ActnList.h"

#include <QAction>
#include <QActionGroup>
#include <QKeySequence>
#include <QWidget>

#include "platform/Forms.h"
#include "platform/QtBridge.h"

namespace ond {

QKeySequence ShortCutToKeySequence(TShortCut sc);

struct TAction::Private {
  QAction action;
  // Menus draw the entries of an exclusive group as radio items. The group
  // rule itself is kept by SetChecked (across the actions of one owner), so
  // each grouped action sits alone in a group that never unchecks anything.
  std::unique_ptr<QActionGroup> radio;
};

TAction::TAction(TComponent* owner) : TComponent(owner), p(std::make_unique<Private>()) {
  QObject::connect(&p->action, &QAction::triggered, [this] {
    Guarded([this] { Execute(); });
    p->action.setChecked(FChecked);
  });
  // The window routes the shortcut's key here (TForm::RouteKey), so that no
  // control inside it can take the key first.
  for (TComponent* o = owner; o && !FForm; o = o->GetOwner()) FForm = dynamic_cast<TForm*>(o);
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
  ShowText();
}

void TAction::ShowText() {
  // Menus show what follows a tab as the item's shortcut.
  QString text = AnsiToQString(FCaption);
  if (FShortCut != 0) text += QLatin1Char('\t') + ShortCutToKeySequence(FShortCut).toString(QKeySequence::NativeText);
  p->action.setText(text);
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
  if (group > 0) {
    p->action.setCheckable(true);
    if (!p->radio) {
      p->radio = std::make_unique<QActionGroup>(nullptr);
      p->radio->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
      p->radio->addAction(&p->action);
    }
  } else if (p->radio) {
    p->radio->removeAction(&p->action);
    p->radio.reset();
  }
}

void TAction::SetShortCut(TShortCut shortCut) {
  FShortCut = shortCut;
  ShowText();
}

bool TAction::Update() {
  if (!OnUpdate) return false;
  OnUpdate(this);
  return true;
}

bool TAction::Execute() {
  Update();
  if (!FEnabled) return false;
  // A checked member of a radio group stays checked.
  if (AutoCheck && !(FChecked && FGroupIndex > 0)) SetChecked(!FChecked);
  if (!OnExecute) return false;
  OnExecute(this);
  return true;
}

}  // namespace ond
