#include "editor/OndEditKbdHandler.h"

namespace ond {

namespace {

// Marks a chain as running for the duration of one run, also when a handler
// raises; false when it already was running.
class TBusy {
 public:
  explicit TBusy(bool& flag) : Flag_(flag), Entered_(!flag) { Flag_ = true; }
  ~TBusy() {
    if (Entered_) Flag_ = false;
  }
  TBusy(const TBusy&) = delete;
  TBusy& operator=(const TBusy&) = delete;
  bool Entered() const noexcept { return Entered_; }

 private:
  bool& Flag_;
  bool Entered_;
};

}  // namespace

void TOndEditKbdHandler::RunKeyPressChain(void* Sender, char& Key) {
  TBusy busy(InKeyPress_);
  if (!busy.Entered()) return;
  KeyPressChain_.WalkNewestFirst([&](const auto& handler) {
    handler(Sender, Key);
    return Key != '\0';
  });
}

void TOndEditKbdHandler::RunKeyDownChain(void* Sender, std::uint16_t& Key, TShiftState Shift) {
  TBusy busy(InKeyDown_);
  if (!busy.Entered()) return;
  KeyDownChain_.WalkNewestFirst([&](const auto& handler) {
    handler(Sender, Key, Shift);
    return Key != 0;
  });
}

void TOndEditKbdHandler::RunKeyUpChain(void* Sender, std::uint16_t& Key, TShiftState Shift) {
  TBusy busy(InKeyUp_);
  if (!busy.Entered()) return;
  KeyUpChain_.WalkNewestFirst([&](const auto& handler) {
    handler(Sender, Key, Shift);
    return Key != 0;
  });
}

void TOndEditKbdHandler::RunMouseDownChain(void* Sender, TMouseButton Button, TShiftState Shift, int X,
                                           int Y) {
  TBusy busy(InMouseDown_);
  if (!busy.Entered()) return;
  MouseDownChain_.WalkNewestFirst([&](const auto& handler) {
    handler(Sender, Button, Shift, X, Y);
    return true;
  });
}

void TOndEditKbdHandler::RunMouseUpChain(void* Sender, TMouseButton Button, TShiftState Shift, int X,
                                         int Y) {
  TBusy busy(InMouseUp_);
  if (!busy.Entered()) return;
  MouseUpChain_.WalkNewestFirst([&](const auto& handler) {
    handler(Sender, Button, Shift, X, Y);
    return true;
  });
}

void TOndEditKbdHandler::RunMouseCursorChain(void* Sender, const TBufferCoord& LineCharPos,
                                             TCursor& Cursor) {
  TBusy busy(InMouseCursor_);
  if (!busy.Entered()) return;
  MouseCursorChain_.WalkNewestFirst([&](const auto& handler) {
    handler(Sender, LineCharPos, Cursor);
    return true;
  });
}

}  // namespace ond
