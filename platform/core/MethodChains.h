// Handler references and the lists and chains that hold them: a handler is a
// callable with an identity (the object and member it was made from), so a
// party can unhook what it hooked; lists may change while they are walked, and
// a notify chain tells every listener, one failing listener not stopping the
// rest. The editor, the highlighters and the window layer all hook each other
// through these.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/core/SysUtils.h"

namespace ond {

// Who a handler is: the object it is bound to and the member (or plain
// function) it calls. Two references to the same member of the same object
// are equal, however they were made, so a party can unhook what it hooked.
struct TMethodIdentity {
  enum class TKind : std::uint8_t { Nil, Member, Function, Tagged };
  TKind Kind = TKind::Nil;
  const void* Data = nullptr;
  std::array<unsigned char, 2 * sizeof(void*)> Code{};

  friend bool operator==(const TMethodIdentity&, const TMethodIdentity&) = default;
};

template <class Sig>
class TMethod;

// A callable handler with an identity. An empty TMethod is nil.
template <class R, class... Args>
class TMethod<R(Args...)> {
 public:
  TMethod() = default;
  TMethod(std::nullptr_t) {}

  // A member function bound to an object.
  template <class T, class MP>
    requires std::is_member_function_pointer_v<MP> && std::is_invocable_r_v<R, MP, T*, Args...>
  TMethod(T* object, MP member) {
    if (!object || !member) return;
    Id_.Kind = TMethodIdentity::TKind::Member;
    Id_.Data = object;
    StoreCode(member);
    Fn_ = [object, member](Args... args) -> R { return (object->*member)(std::forward<Args>(args)...); };
  }

  // A plain function.
  TMethod(R (*function)(Args...)) {
    if (!function) return;
    Id_.Kind = TMethodIdentity::TKind::Function;
    StoreCode(function);
    Fn_ = function;
  }

  // Any callable under an identity the caller names: an object and a tag that
  // stands for the member. Equal (object, tag) pairs are the same handler.
  template <class F>
    requires std::is_invocable_r_v<R, F&, Args...>
  TMethod(const void* object, std::uintptr_t tag, F&& callable) : Fn_(std::forward<F>(callable)) {
    if (!Fn_) return;
    Id_.Kind = TMethodIdentity::TKind::Tagged;
    Id_.Data = object;
    StoreCode(tag);
  }

  explicit operator bool() const noexcept { return static_cast<bool>(Fn_); }
  const TMethodIdentity& Identity() const noexcept { return Id_; }

  R operator()(Args... args) const { return Fn_(std::forward<Args>(args)...); }

  friend bool operator==(const TMethod& a, const TMethod& b) noexcept { return a.Id_ == b.Id_; }

 private:
  template <class C>
  void StoreCode(const C& code) noexcept {
    static_assert(sizeof(C) <= sizeof(TMethodIdentity::Code), "member pointer wider than expected");
    static_assert(std::is_trivially_copyable_v<C>);
    std::memcpy(Id_.Code.data(), &code, sizeof(C));
  }

  TMethodIdentity Id_;
  std::function<R(Args...)> Fn_;
};

// An ordered list of handlers (0 = oldest). The same handler may be in it
// more than once. Handlers may add and remove handlers, themselves included,
// while the list is being walked: a handler removed before its turn is
// skipped, and the one running stays alive until it returns.
template <class Sig>
class TMethodList {
 public:
  using TItem = TMethod<Sig>;

  // Appends; a nil handler is not added (calling it could only fail).
  void Add(const TItem& method) {
    if (!method) return;
    Slots_.push_back(std::make_shared<const TItem>(method));
    ++Live_;
  }

  // Removes the newest equal handler only; nothing when absent.
  void Remove(const TItem& method) {
    for (std::size_t i = Slots_.size(); i-- > 0;) {
      if (Slots_[i] && *Slots_[i] == method) {
        Drop(i);
        return;
      }
    }
  }

  // Removes every equal handler; gives how many went.
  int RemoveAll(const TItem& method) {
    int removed = 0;
    for (std::size_t i = Slots_.size(); i-- > 0;) {
      if (Slots_[i] && *Slots_[i] == method) {
        Drop(i);
        ++removed;
      }
    }
    return removed;
  }

  int Count() const noexcept { return Live_; }

  // Raises EListError for an index out of range.
  const TItem& Items(int index) const {
    if (index >= 0 && index < Live_) {
      for (const auto& slot : Slots_) {
        if (slot && index-- == 0) return *slot;
      }
    }
    throw EListError("List index out of bounds (" + IntToStr(index) + ")");
  }

  // Calls visit(handler) from the newest to the oldest handler while it
  // returns true. Handlers added during the walk are newer than the walk and
  // do not run in it.
  template <class Visit>
  void WalkNewestFirst(Visit&& visit) {
    TWalk walk(*this);
    for (std::size_t i = Slots_.size(); i-- > 0;) {
      std::shared_ptr<const TItem> item = Slots_[i];  // keeps it alive while it runs
      if (item && !visit(*item)) break;
    }
  }

  // Calls visit(handler) from the oldest to the newest handler while it
  // returns true; handlers added during the walk run in the same walk.
  template <class Visit>
  void WalkOldestFirst(Visit&& visit) {
    TWalk walk(*this);
    for (std::size_t i = 0; i < Slots_.size(); ++i) {
      std::shared_ptr<const TItem> item = Slots_[i];
      if (item && !visit(*item)) break;
    }
  }

 private:
  // While any walk runs, removed slots are only emptied so that the walks'
  // positions stay valid; the outermost walk closes the gaps.
  struct TWalk {
    explicit TWalk(TMethodList& list) : List(list) { ++List.Walking_; }
    ~TWalk() {
      if (--List.Walking_ == 0 && List.Live_ != static_cast<int>(List.Slots_.size())) {
        std::erase(List.Slots_, nullptr);
      }
    }
    TWalk(const TWalk&) = delete;
    TWalk& operator=(const TWalk&) = delete;
    TMethodList& List;
  };

  void Drop(std::size_t i) {
    if (Walking_ > 0) {
      Slots_[i].reset();
    } else {
      Slots_.erase(Slots_.begin() + static_cast<std::ptrdiff_t>(i));
    }
    --Live_;
  }

  std::vector<std::shared_ptr<const TItem>> Slots_;
  int Live_ = 0;
  int Walking_ = 0;
};

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
        return HandleHandlerError(e, std::current_exception());
      }
      return true;
    });
  }

  THandlerErrorEvent OnHandlerError;

 protected:
  virtual void CallHandler(const TEvent& event) = 0;

  // Decides on a handler's exception e (Error holds it). With OnHandlerError
  // assigned its DoContinue is the answer; without it the exception is raised
  // again, from wherever this is called.
  virtual bool HandleHandlerError(const std::exception& e, std::exception_ptr Error) {
    if (!OnHandlerError) std::rethrow_exception(Error);
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
