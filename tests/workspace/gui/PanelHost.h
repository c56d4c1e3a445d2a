// The main window's controls that a set's panels live in, for tests that
// open config sets without the whole main window.
#pragma once

#include "platform/ComCtrls.h"
#include "platform/Forms.h"
#include "platform/Menus.h"
#include "platform/StdCtrls.h"
#include "workspace/CheckTreeViewEx.h"
#include "workspace/StatusBarEx.h"

namespace ond::test {

struct PanelHost {
  TForm form{nullptr};
  TScrollBox* box;
  TScrollBar* bar;
  TStatusBarEx* status;
  TCheckTreeViewEx* tree;
  TPopupMenu* popup;
  explicit PanelHost(int height) {
    form.SetBounds(0, 0, 800, height + 100);
    status = new TStatusBarEx(&form);
    for (int i = 0; i < 6; ++i) status->Panels()->Add();
    status->SetParent(&form);
    tree = new TCheckTreeViewEx(&form);
    tree->SetBounds(600, 0, 190, height);
    tree->SetParent(&form);
    bar = new TScrollBar(&form, TScrollBarKind::sbVertical);
    bar->SetBounds(580, 0, 20, height);
    bar->SetParams(0, 0, 0);
    bar->SetVisible(false);
    bar->SetParent(&form);
    box = new TScrollBox(&form);
    box->SetBorderStyle(TBorderStyle::bsNone);
    box->SetBounds(0, 0, 580, height);
    box->SetParent(&form);
    popup = new TPopupMenu(&form);
  }
};

}  // namespace ond::test
