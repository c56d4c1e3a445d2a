// Handler chains: method references that several parties can hook and
// unhook, and the editor's six key and mouse chains. The editor's chains run
// the newest handler first; a key chain stops as soon as a handler has
// consumed the key by setting it to 0.
#pragma once

#include "platform/core/Types.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

#include "editor/OndEditKeyCmds.h"
#include "editor/OndEditTypes.h"
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
