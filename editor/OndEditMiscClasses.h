// Small classes the editor shares with its neighbours.
#pragma once

#include <exception>
#include <functional>
#include <string>

#include "editor/OndEditKbdHandler.h"
#include "platform/core/SysUtils.h"

namespace ond {

// ---------------------------------------------------------------------------
// Method chains: a list of handlers fired oldest first, where one failing
// handler need not stop the others.

OND_DECLARE_EXCEPTION(EOndMethodChain, Exception);

template <class Sig>
class TOndMethodChain {
 public:
  using TEvent = TMethod<Sig>;
  // Told about an exception a handler raised; DoContinue (true on entry)
  // decides whether the remaining handlers still run.
  using THandlerErrorEvent =
      std::function<void(TOndMethodChain* Sender, const std::exception& E, bool& DoContinue)>;

  TOndMethodChain() = default;
  virtual ~TOndMethodChain() = default;
  TOndMethodChain(const TOndMethodChain&) = delete;
  TOndMethodChain& operator=(const TOndMethodChain&) = delete;

  virtual const char* ClassName() const { return "TOndMethodChain"; }

  // Appends the handler; a nil one raises EOndMethodChain.
  void Add(const TEvent& event) {
    if (!event)
      throw EOndMethodChain(std::string(ClassName()) +
                            ".Entry : the parameter `AEvent' must be specified.");
    List_.Add(event);
  }

  // Removes every equal handler; a nil one raises EOndMethodChain.
  void Remove(const TEvent& event) {
    if (!event)
      throw EOndMethodChain(std::string(ClassName()) +
                            ".Remove: the parameter `AEvent' must be specified.");
    List_.RemoveAll(event);
  }

  int Count() const noexcept { return List_.Count(); }

  // Calls every handler, oldest first; handlers added meanwhile run in the
  // same pass, handlers removed before their turn do not run. An exception
  // goes to HandleHandlerError, which decides whether firing goes on.
  void Fire() {
    List_.WalkOldestFirst([this](const TEvent& event) {
      try {
        CallHandler(event);
      } catch (const std::exception& e) {
        return HandleHandlerError(e);
      }
      return true;
    });
  }

  THandlerErrorEvent OnHandlerError;

 protected:
  virtual void CallHandler(const TEvent& event) = 0;

  // Called while the handler's exception is being handled. With
  // OnHandlerError assigned its DoContinue is the answer; without it the
  // exception is raised again.
  virtual bool HandleHandlerError(const std::exception& e) {
    if (!OnHandlerError) throw;
    bool doContinue = true;
    OnHandlerError(this, e, doContinue);
    return doContinue;
  }

 private:
  TMethodList<Sig> List_;
};

// Handler of a notify chain: it gets the chain's Sender.
using TOndNotifyEvent = TMethod<void(void* Sender)>;

// A chain of notify handlers, each called with the chain's Sender.
class TOndNotifyEventChain : public TOndMethodChain<void(void*)> {
 public:
  TOndNotifyEventChain() = default;
  explicit TOndNotifyEventChain(void* sender) : Sender(sender) {}

  const char* ClassName() const override { return "TOndNotifyEventChain"; }

  void* Sender = nullptr;

 protected:
  void CallHandler(const TEvent& event) override { event(Sender); }
};

}  // namespace ond
