// Restoring state when a block of code ends, however it ends: the action of a
// TScopeExit runs when its scope is left. On a normal end an exception from the
// action goes on to the caller, as if the action were the block's last
// statement; while another exception unwinds the block, the action's own
// exception is dropped so that the first one arrives.
#pragma once

#include <exception>
#include <utility>

namespace ond {

template <class F>
class TScopeExit {
 public:
  explicit TScopeExit(F Action) : FAction(std::move(Action)), FUnwinding(std::uncaught_exceptions()) {}
  ~TScopeExit() noexcept(false) {
    if (std::uncaught_exceptions() > FUnwinding) {
      try {
        FAction();
      } catch (...) {
      }
    } else {
      FAction();
    }
  }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  F FAction;
  int FUnwinding;
};

}  // namespace ond
