// The pointer coming over a control and leaving it reaches its handlers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QEvent>
#include <QWidget>
#include <vector>

#include "platform/Forms.h"
#include "platform/StdCtrls.h"

namespace ond {
namespace {

TEST(MouseEnterLeave, ReachTheControlsHandlers) {
  TForm form(nullptr);
  auto* label = new TLabel(&form);
  label->SetParent(&form);
  label->SetCaption("link");
  std::vector<const char*> seen;
  label->OnMouseEnter = [&](TObject* sender) {
    EXPECT_EQ(sender, label);
    seen.push_back("enter");
  };
  label->OnMouseLeave = [&](TObject*) { seen.push_back("leave"); };
  QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  QApplication::sendEvent(label->Widget(), &enter);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(label->Widget(), &leave);
  EXPECT_EQ(seen, (std::vector<const char*>{"enter", "leave"}));
}

}  // namespace
}  // namespace ond
