#include "platform/Memo.h"

#include <QPlainTextEdit>
#include <QTextBlock>

#include "platform/QtBridge.h"

namespace ond {

namespace {
QPlainTextEdit* Edit(const TMemo* memo) { return static_cast<QPlainTextEdit*>(memo->Widget()); }
}  // namespace

TMemo::TMemo(TComponent* owner) : TWinControl(owner, new QPlainTextEdit) {
  auto* edit = Edit(this);
  edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  edit->setTabChangesFocus(true);
  TControl::SetColor(clWindow);
  FontChanged();
}

void TMemo::SetText(const std::string& text) {
  std::string lines;
  lines.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      lines += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      lines += text[i];
    }
  }
  Edit(this)->setPlainText(AnsiToQString(lines));
}

std::string TMemo::GetText() const {
  std::string out;
  for (QTextBlock b = Edit(this)->document()->begin(); b.isValid(); b = b.next()) {
    if (b != Edit(this)->document()->begin()) out += "\r\n";
    out += QStringToAnsi(b.text());
  }
  return out;
}

int TMemo::LineCount() const { return Edit(this)->document()->blockCount(); }

void TMemo::SetReadOnly(bool readOnly) { Edit(this)->setReadOnly(readOnly); }
bool TMemo::GetReadOnly() const { return Edit(this)->isReadOnly(); }

void TMemo::SetBorderStyle(TBorderStyle style) {
  Edit(this)->setFrameShape(style == TBorderStyle::bsNone ? QFrame::NoFrame : QFrame::StyledPanel);
}

void TMemo::SetScrollBars(bool horizontal, bool vertical) {
  Edit(this)->setHorizontalScrollBarPolicy(horizontal ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  Edit(this)->setVerticalScrollBarPolicy(vertical ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void TMemo::SetWordWrap(bool wrap) {
  Edit(this)->setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

}  // namespace ond
