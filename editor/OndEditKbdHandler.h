// The editor's six key and mouse chains, built on the handler references and
// lists of platform/core/MethodChains.h. The editor's chains run the newest
// handler first; a key chain stops as soon as a handler has consumed the key by
// setting it to 0.
#pragma once

#include <cstdint>

#include "editor/OndEditKeyCmds.h"
#include "editor/OndEditTypes.h"
#include "platform/core/MethodChains.h"
#include "platform/core/Types.h"

namespace ond {

// Handlers of the editor's chains. Sender is the editor.
using TKeyPressHandler = TMethod<void(void* Sender, char& Key)>;
using TKeyHandler = TMethod<void(void* Sender, std::uint16_t& Key, TShiftState Shift)>;
using TMouseHandler = TMethod<void(void* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseCursorHandler =
    TMethod<void(void* Sender, const TBufferCoord& LineCharPos, TCursor& Cursor)>;

// The editor's key and mouse chains. Running a chain from inside one of its
// own handlers does nothing, so a handler that makes the editor handle a key
// again cannot loop.
class TOndEditKbdHandler {
 public:
  void AddKeyDownHook(const TKeyHandler& handler) { KeyDownChain_.Add(handler); }
  void RemoveKeyDownHook(const TKeyHandler& handler) { KeyDownChain_.Remove(handler); }
  void AddKeyPressHook(const TKeyPressHandler& handler) { KeyPressChain_.Add(handler); }
  void RemoveKeyPressHook(const TKeyPressHandler& handler) { KeyPressChain_.Remove(handler); }

  // Key chains stop after the handler that sets Key to 0.
  void RunKeyPressChain(void* Sender, char& Key);
  void RunKeyDownChain(void* Sender, std::uint16_t& Key, TShiftState Shift);
  void RunKeyUpChain(void* Sender, std::uint16_t& Key, TShiftState Shift);
  // Mouse chains run every handler.
  void RunMouseDownChain(void* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void RunMouseUpChain(void* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void RunMouseCursorChain(void* Sender, const TBufferCoord& LineCharPos, TCursor& Cursor);

 protected:
  // The key-up and mouse chains have no hook operations; they stay empty
  // for everyone but a derived class.
  TMethodList<void(void*, char&)> KeyPressChain_;
  TMethodList<void(void*, std::uint16_t&, TShiftState)> KeyDownChain_;
  TMethodList<void(void*, std::uint16_t&, TShiftState)> KeyUpChain_;
  TMethodList<void(void*, TMouseButton, TShiftState, int, int)> MouseDownChain_;
  TMethodList<void(void*, TMouseButton, TShiftState, int, int)> MouseUpChain_;
  TMethodList<void(void*, const TBufferCoord&, TCursor&)> MouseCursorChain_;

 private:
  bool InKeyPress_ = false;
  bool InKeyDown_ = false;
  bool InKeyUp_ = false;
  bool InMouseDown_ = false;
  bool InMouseUp_ = false;
  bool InMouseCursor_ = false;
};

}  // namespace ond
