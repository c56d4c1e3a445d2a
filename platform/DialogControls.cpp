#include "platform/DialogControls.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/Forms.h"
#include "platform/QtBridge.h"

namespace ond {

namespace {
void CloseFormWith(TControl* control, int modalResult) {
  if (modalResult == 0) return;
  for (TControl* c = control; c; c = c->GetParent())
    if (auto* form = dynamic_cast<TForm*>(c)) {
      form->SetModalResult(modalResult);
      return;
    }
}
}  // namespace

// ---- check box -------------------------------------------------------------

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner, new QCheckBox) {
  QObject::connect(static_cast<QCheckBox*>(Widget()), &QCheckBox::clicked, [this] {
    Guarded([this] {
      if (OnClick) OnClick(this);
    });
  });
}

void TCheckBox::SetCaption(const std::string& caption) {
  static_cast<QCheckBox*>(Widget())->setText(AnsiToQString(caption));
}
std::string TCheckBox::GetCaption() const { return QStringToAnsi(static_cast<QCheckBox*>(Widget())->text()); }
bool TCheckBox::GetChecked() const { return static_cast<QCheckBox*>(Widget())->isChecked(); }
void TCheckBox::SetChecked(bool checked) { static_cast<QCheckBox*>(Widget())->setChecked(checked); }
void TCheckBox::Toggle() { static_cast<QCheckBox*>(Widget())->click(); }

// ---- combo box -------------------------------------------------------------

TComboBox::TComboBox(TComponent* owner) : TWinControl(owner, new QComboBox) {
  auto* box = static_cast<QComboBox*>(Widget());
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->setMaxVisibleItems(20);
  WatchWidget(box->lineEdit());
}

QWidget* TComboBox::ClientWidget() const { return static_cast<QComboBox*>(Widget())->lineEdit(); }

std::string TComboBox::GetText() const { return QStringToAnsi(static_cast<QComboBox*>(Widget())->currentText()); }

void TComboBox::SetText(const std::string& text) {
  static_cast<QComboBox*>(Widget())->setEditText(AnsiToQString(text));
}

std::vector<std::string> TComboBox::GetItems() const {
  auto* box = static_cast<QComboBox*>(Widget());
  std::vector<std::string> items;
  for (int i = 0; i < box->count(); ++i) items.push_back(QStringToAnsi(box->itemText(i)));
  return items;
}

void TComboBox::SetItems(const std::vector<std::string>& items) {
  auto* box = static_cast<QComboBox*>(Widget());
  const QString text = box->currentText();
  box->clear();
  for (const std::string& s : items) box->addItem(AnsiToQString(s));
  box->setEditText(text);
}

void TComboBox::InsertItem(int index, const std::string& text) {
  auto* box = static_cast<QComboBox*>(Widget());
  const QString current = box->currentText();
  box->insertItem(index, AnsiToQString(text));
  box->setEditText(current);
}

void TComboBox::DeleteItem(int index) {
  auto* box = static_cast<QComboBox*>(Widget());
  const QString current = box->currentText();
  box->removeItem(index);
  box->setEditText(current);
}

int TComboBox::IndexOf(const std::string& text) const {
  auto* box = static_cast<QComboBox*>(Widget());
  const QString t = AnsiToQString(text);
  for (int i = 0; i < box->count(); ++i)
    if (box->itemText(i) == t) return i;
  return -1;
}

bool TComboBox::GetDroppedDown() const {
  auto* box = static_cast<QComboBox*>(Widget());
  return box->view() && box->view()->isVisible();
}

void TComboBox::SetDroppedDown(bool dropped) {
  auto* box = static_cast<QComboBox*>(Widget());
  if (dropped)
    box->showPopup();
  else
    box->hidePopup();
}

// ---- radio group -----------------------------------------------------------

TRadioGroup::TRadioGroup(TComponent* owner) : TWinControl(owner, new QGroupBox) {
  new QVBoxLayout(Widget());
}

void TRadioGroup::SetCaption(const std::string& caption) {
  static_cast<QGroupBox*>(Widget())->setTitle(AnsiToQString(caption));
}
std::string TRadioGroup::GetCaption() const { return QStringToAnsi(static_cast<QGroupBox*>(Widget())->title()); }

void TRadioGroup::SetItems(const std::vector<std::string>& items) {
  for (QRadioButton* b : Widget()->findChildren<QRadioButton*>()) delete b;
  for (const std::string& s : items) {
    auto* b = new QRadioButton(AnsiToQString(s), Widget());
    Widget()->layout()->addWidget(b);
  }
}

int TRadioGroup::ItemCount() const { return static_cast<int>(Widget()->findChildren<QRadioButton*>().size()); }

std::string TRadioGroup::ItemCaption(int index) const {
  const auto buttons = Widget()->findChildren<QRadioButton*>();
  return index >= 0 && index < buttons.size() ? QStringToAnsi(buttons[index]->text()) : std::string();
}

void TRadioGroup::SetItemCaption(int index, const std::string& caption) {
  const auto buttons = Widget()->findChildren<QRadioButton*>();
  if (index >= 0 && index < buttons.size()) buttons[index]->setText(AnsiToQString(caption));
}

int TRadioGroup::GetItemIndex() const {
  const auto buttons = Widget()->findChildren<QRadioButton*>();
  for (int i = 0; i < buttons.size(); ++i)
    if (buttons[i]->isChecked()) return i;
  return -1;
}

void TRadioGroup::SetItemIndex(int index) {
  const auto buttons = Widget()->findChildren<QRadioButton*>();
  for (int i = 0; i < buttons.size(); ++i) buttons[i]->setChecked(i == index);
}

// ---- button ----------------------------------------------------------------

TButton::TButton(TComponent* owner) : TWinControl(owner, new QPushButton) {
  static_cast<QPushButton*>(Widget())->setAutoDefault(false);
  QObject::connect(static_cast<QPushButton*>(Widget()), &QPushButton::clicked, [this] {
    Guarded([this] {
      if (OnClick) OnClick(this);
      CloseFormWith(this, ModalResult);
    });
  });
}

void TButton::SetCaption(const std::string& caption) {
  static_cast<QPushButton*>(Widget())->setText(AnsiToQString(caption));
}
std::string TButton::GetCaption() const { return QStringToAnsi(static_cast<QPushButton*>(Widget())->text()); }
void TButton::Press() { static_cast<QPushButton*>(Widget())->click(); }
void TButton::SetDefault(bool value) { static_cast<QPushButton*>(Widget())->setDefault(value); }
bool TButton::GetDefault() const { return static_cast<QPushButton*>(Widget())->isDefault(); }

// ---- bevel -----------------------------------------------------------------

TBevel::TBevel(TComponent* owner, TBevelShape shape) : TControl(owner, new QFrame) {
  auto* f = static_cast<QFrame*>(Widget());
  f->setFrameShape(shape == TBevelShape::bsBox ? QFrame::StyledPanel : QFrame::HLine);
  f->setFrameShadow(QFrame::Sunken);
}

}  // namespace ond
