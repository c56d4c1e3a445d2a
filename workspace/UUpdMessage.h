// The offer of a newer build: which version is out, its release notes, and
// the question whether to update now. Yes answers 6, No and Esc answer 7.
#pragma once

#include <cstdint>
#include <string>

#include "platform/DialogControls.h"
#include "platform/ExtCtrls.h"
#include "platform/Forms.h"
#include "platform/Memo.h"
#include "platform/StdCtrls.h"

namespace ond {

class TUpdMess : public TForm {
 public:
  // Centred on the main window when there is one, else on the screen.
  TUpdMess(TComponent* owner, const std::string& version, const std::string& updateInfo);

  TPanel* pTop;
  TLabel* lMessage;
  TMemo* mInfo;
  TPanel* pBottom;
  TButton* bYes;
  TButton* bNo;

  void FormKeyDown(std::uint16_t& key, TShiftState shift);
};

}  // namespace ond
