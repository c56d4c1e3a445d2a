#include <gtest/gtest.h>

#include <string>

#include "editor/OndEditKbdHandler.h"
#include "editor/OndEditMiscClasses.h"

namespace ond {
namespace {

// A party that hooks the editor's key chains with its own members.
struct TListener {
  std::string Name;
  std::string* Log;
  std::uint16_t Replace = 0xFFFF;  // key to leave behind; 0xFFFF = leave it alone

  void OnKeyDown(void*, std::uint16_t& key, TShiftState) {
    *Log += Name;
    if (Replace != 0xFFFF) key = Replace;
  }
  void OnOtherKeyDown(void*, std::uint16_t&, TShiftState) { *Log += Name + "'"; }
  void OnKeyPress(void*, char& key) {
    *Log += Name;
    if (Replace != 0xFFFF) key = static_cast<char>(Replace);
  }
};

void FreeKeyDown(void*, std::uint16_t& key, TShiftState) { key = 0; }

// A reference with the identity (object, tag), made afresh to unhook a handler.
template <class THandler>
THandler Named(const void* object, std::uintptr_t tag) {
  return THandler(object, tag, [](auto&&...) {});
}

// The key-up and mouse chains are hookable only from a derived class.
class TTestKbdHandler : public TOndEditKbdHandler {
 public:
  using TOndEditKbdHandler::KeyUpChain_;
  using TOndEditKbdHandler::MouseDownChain_;
  using TOndEditKbdHandler::MouseUpChain_;
  using TOndEditKbdHandler::MouseCursorChain_;
};

TEST(Chains, MethodIdentity) {
  std::string log;
  TListener a{"a", &log}, b{"b", &log};
  TKeyHandler aDown(&a, &TListener::OnKeyDown);
  EXPECT_TRUE(aDown == TKeyHandler(&a, &TListener::OnKeyDown));   // made twice, still equal
  EXPECT_FALSE(aDown == TKeyHandler(&b, &TListener::OnKeyDown));  // other object
  EXPECT_FALSE(aDown == TKeyHandler(&a, &TListener::OnOtherKeyDown));  // other member
  EXPECT_TRUE(TKeyHandler(&FreeKeyDown) == TKeyHandler(&FreeKeyDown));
  EXPECT_FALSE(TKeyHandler(&FreeKeyDown) == aDown);
  EXPECT_TRUE(TKeyHandler() == TKeyHandler(nullptr));
  EXPECT_FALSE(static_cast<bool>(TKeyHandler()));
  EXPECT_FALSE(static_cast<bool>(TKeyHandler(static_cast<TListener*>(nullptr), &TListener::OnKeyDown)));
  // Tagged callables: the (object, tag) pair is the identity.
  auto noop = [](void*, std::uint16_t&, TShiftState) {};
  EXPECT_TRUE(TKeyHandler(&a, 1, noop) == TKeyHandler(&a, 1, noop));
  EXPECT_FALSE(TKeyHandler(&a, 1, noop) == TKeyHandler(&a, 2, noop));

  std::uint16_t key = 'K';
  aDown(nullptr, key, 0);
  EXPECT_EQ(log, "a");
}

TEST(Chains, MethodListAddAndRemove) {
  TMethodList<void(void*, std::uint16_t&, TShiftState)> list;
  std::string log;
  auto tagged = [&log](char mark) {
    return TKeyHandler(&log, 7, [&log, mark](void*, std::uint16_t&, TShiftState) { log += mark; });
  };
  list.Add(tagged('1'));
  list.Add(tagged('2'));  // equal to the first
  list.Add(TKeyHandler());  // nil is not added
  ASSERT_EQ(list.Count(), 2);
  list.Remove(tagged('x'));  // only the newest equal one goes
  ASSERT_EQ(list.Count(), 1);
  std::uint16_t key = 0;
  list.Items(0)(nullptr, key, 0);
  EXPECT_EQ(log, "1");
  list.Remove(TKeyHandler(&FreeKeyDown));  // absent: nothing
  EXPECT_EQ(list.Count(), 1);
  EXPECT_THROW(list.Items(1), EListError);
  EXPECT_THROW(list.Items(-1), EListError);
  list.Add(tagged('3'));
  list.Add(tagged('4'));
  EXPECT_EQ(list.RemoveAll(tagged('x')), 3);
  EXPECT_EQ(list.Count(), 0);
}

TEST(Chains, KeyChainsRunNewestFirstAndStopOnZero) {
  TOndEditKbdHandler h;
  std::string log;
  TListener a{"A", &log}, b{"B", &log}, c{"C", &log};
  h.AddKeyDownHook(TKeyHandler(&a, &TListener::OnKeyDown));
  h.AddKeyDownHook(TKeyHandler(&b, &TListener::OnKeyDown));
  h.AddKeyDownHook(TKeyHandler(&c, &TListener::OnKeyDown));

  std::uint16_t key = VK_RETURN;
  h.RunKeyDownChain(nullptr, key, ssShift);
  EXPECT_EQ(log, "CBA");
  EXPECT_EQ(key, VK_RETURN);

  // B consumes the key: A never sees it.
  log.clear();
  b.Replace = 0;
  h.RunKeyDownChain(nullptr, key, 0);
  EXPECT_EQ(log, "CB");
  EXPECT_EQ(key, 0);

  // A handler may also change the key for the older ones.
  log.clear();
  b.Replace = 'Q';
  key = 'W';
  h.RunKeyDownChain(nullptr, key, 0);
  EXPECT_EQ(log, "CBA");
  EXPECT_EQ(key, 'Q');

  // Unhooking B by a freshly made reference works.
  log.clear();
  h.RemoveKeyDownHook(TKeyHandler(&b, &TListener::OnKeyDown));
  h.RunKeyDownChain(nullptr, key, 0);
  EXPECT_EQ(log, "CA");

  // The key-press chain stops on character 0.
  log.clear();
  h.AddKeyPressHook(TKeyPressHandler(&a, &TListener::OnKeyPress));
  h.AddKeyPressHook(TKeyPressHandler(&c, &TListener::OnKeyPress));
  c.Replace = 0;
  char ch = 'x';
  h.RunKeyPressChain(nullptr, ch);
  EXPECT_EQ(log, "C");
  EXPECT_EQ(ch, '\0');
  c.Replace = 0xFFFF;
  log.clear();
  ch = '\xB8';  // a code page 1251 letter, not 0
  h.RunKeyPressChain(nullptr, ch);
  EXPECT_EQ(log, "CA");
  h.RemoveKeyPressHook(TKeyPressHandler(&c, &TListener::OnKeyPress));
  log.clear();
  h.RunKeyPressChain(nullptr, ch);
  EXPECT_EQ(log, "A");

  // The key-up and mouse chains run too; mouse chains never stop early.
  TTestKbdHandler t;
  log.clear();
  t.KeyUpChain_.Add(TKeyHandler(&FreeKeyDown));
  t.KeyUpChain_.Add(TKeyHandler(&a, &TListener::OnKeyDown));
  key = 'U';
  t.RunKeyUpChain(nullptr, key, 0);
  EXPECT_EQ(log, "A");
  EXPECT_EQ(key, 0);
  std::string mouse;
  auto click = [&mouse](char mark) {
    return TMouseHandler(&mouse, static_cast<std::uintptr_t>(mark),
                         [&mouse, mark](void*, TMouseButton button, TShiftState shift, int x, int y) {
                           mouse += mark;
                           EXPECT_EQ(button, TMouseButton::mbRight);
                           EXPECT_EQ(shift, ssCtrl | ssRight);
                           EXPECT_EQ(x, 10);
                           EXPECT_EQ(y, -3);
                         });
  };
  t.MouseDownChain_.Add(click('1'));
  t.MouseDownChain_.Add(click('2'));
  t.MouseUpChain_.Add(click('3'));
  t.RunMouseDownChain(nullptr, TMouseButton::mbRight, ssCtrl | ssRight, 10, -3);
  t.RunMouseUpChain(nullptr, TMouseButton::mbRight, ssCtrl | ssRight, 10, -3);
  EXPECT_EQ(mouse, "213");
  // The cursor chain passes the position and lets every handler change the cursor.
  std::string cursors;
  t.MouseCursorChain_.Add(TMouseCursorHandler(&cursors, 1, [&](void*, const TBufferCoord& pos, TCursor& cursor) {
    cursors += "old";
    EXPECT_EQ(cursor, -4);
    cursor = pos.Char;
  }));
  t.MouseCursorChain_.Add(TMouseCursorHandler(&cursors, 2, [&](void*, const TBufferCoord& pos, TCursor& cursor) {
    cursors += "new";
    EXPECT_EQ(pos, (TBufferCoord{7, 3}));
    cursor = -4;
  }));
  TCursor cursor = 0;
  t.RunMouseCursorChain(nullptr, TBufferCoord{7, 3}, cursor);
  EXPECT_EQ(cursors, "newold");
  EXPECT_EQ(cursor, 7);

  // Empty chains simply do nothing.
  TOndEditKbdHandler empty;
  empty.RunMouseDownChain(nullptr, TMouseButton::mbLeft, 0, 0, 0);
  key = 'K';
  empty.RunKeyUpChain(nullptr, key, 0);
  EXPECT_EQ(key, 'K');
}

TEST(Chains, EditorChainReentranceAndErrors) {
  TOndEditKbdHandler h;
  int outer = 0, nested = 0;
  std::uint16_t nestedKey = 'N';
  h.AddKeyDownHook(TKeyHandler(&h, 1, [&](void* sender, std::uint16_t&, TShiftState) {
    ++outer;
    // The handler makes the editor run the chain again: nothing happens.
    h.RunKeyDownChain(sender, nestedKey, 0);
    ++nested;
  }));
  std::uint16_t key = 'K';
  h.RunKeyDownChain(&h, key, 0);
  EXPECT_EQ(outer, 1);
  EXPECT_EQ(nested, 1);
  EXPECT_EQ(nestedKey, 'N');

  // A raising handler passes the exception on and leaves the chain usable.
  bool raise = true;
  h.AddKeyDownHook(TKeyHandler(&h, 2, [&](void*, std::uint16_t&, TShiftState) {
    if (raise) throw EListError("boom");
  }));
  EXPECT_THROW(h.RunKeyDownChain(&h, key, 0), EListError);
  EXPECT_EQ(outer, 1);  // the older handler did not run
  raise = false;
  h.RunKeyDownChain(&h, key, 0);
  EXPECT_EQ(outer, 2);

  // Busy flags are per chain: a key-down handler may run the key-press chain.
  int pressed = 0;
  h.AddKeyPressHook(TKeyPressHandler(&h, 3, [&](void*, char&) { ++pressed; }));
  h.AddKeyDownHook(TKeyHandler(&h, 4, [&](void*, std::uint16_t&, TShiftState) {
    char c = 'a';
    h.RunKeyPressChain(&h, c);
  }));
  h.RunKeyDownChain(&h, key, 0);
  EXPECT_EQ(pressed, 1);
}

TEST(Chains, EditorChainChangesDuringARun) {
  TOndEditKbdHandler h;
  std::string log;
  auto handler = [&log](char mark) {
    return TKeyHandler(&log, static_cast<std::uintptr_t>(mark),
                       [&log, mark](void*, std::uint16_t&, TShiftState) { log += mark; });
  };
  h.AddKeyDownHook(handler('a'));
  h.AddKeyDownHook(handler('b'));
  // The newest handler unhooks itself, unhooks the oldest (not yet run) and
  // hooks a new one; b still runs, a does not, the new one waits for the next run.
  const TKeyHandler self(&log, 'c', [&](void*, std::uint16_t&, TShiftState) {
    log += 'c';
    h.RemoveKeyDownHook(Named<TKeyHandler>(&log, 'c'));
    h.RemoveKeyDownHook(handler('a'));
    h.AddKeyDownHook(handler('d'));
  });
  h.AddKeyDownHook(self);
  std::uint16_t key = 'K';
  h.RunKeyDownChain(nullptr, key, 0);
  EXPECT_EQ(log, "cb");
  log.clear();
  h.RunKeyDownChain(nullptr, key, 0);
  EXPECT_EQ(log, "db");

  // A handler that unhooks every handler, itself included, ends the run cleanly.
  log.clear();
  h.AddKeyDownHook(TKeyHandler(&log, 'z', [&](void*, std::uint16_t&, TShiftState) {
    log += 'z';
    h.RemoveKeyDownHook(handler('b'));
    h.RemoveKeyDownHook(handler('d'));
    h.RemoveKeyDownHook(Named<TKeyHandler>(&log, 'z'));
  }));
  h.RunKeyDownChain(nullptr, key, 0);
  EXPECT_EQ(log, "z");
  log.clear();
  h.RunKeyDownChain(nullptr, key, 0);
  EXPECT_EQ(log, "");
}

TEST(Chains, NotifyChainOrderAndRemoval) {
  int source = 0;
  TOndNotifyEventChain chain(&source);
  std::string log;
  auto note = [&log, &source](char mark) {
    return TOndNotifyEvent(&log, static_cast<std::uintptr_t>(mark), [&log, &source, mark](void* sender) {
      EXPECT_EQ(sender, &source);
      log += mark;
    });
  };
  chain.Add(note('1'));
  chain.Add(note('2'));
  chain.Add(note('3'));
  chain.Fire();
  EXPECT_EQ(log, "123");

  // Remove takes out every equal handler.
  chain.Add(note('2'));
  EXPECT_EQ(chain.Count(), 4);
  chain.Remove(note('2'));
  EXPECT_EQ(chain.Count(), 2);
  log.clear();
  chain.Fire();
  EXPECT_EQ(log, "13");

  // Handlers added while firing run in the same pass; a handler removed
  // before its turn does not run; a handler may remove itself.
  TOndNotifyEventChain live(&source);
  log.clear();
  live.Add(TOndNotifyEvent(&log, 'a', [&](void*) {
    log += 'a';
    live.Remove(Named<TOndNotifyEvent>(&log, 'a'));
    live.Remove(note('b'));
    live.Add(note('n'));
  }));
  live.Add(note('b'));
  live.Add(note('c'));
  live.Fire();
  EXPECT_EQ(log, "acn");
  log.clear();
  live.Fire();
  EXPECT_EQ(log, "cn");

  // Firing from inside a handler runs the whole chain again within the outer pass.
  TOndNotifyEventChain nested;
  log.clear();
  int depth = 0;
  nested.Add(TOndNotifyEvent(&log, 'x', [&](void* sender) {
    EXPECT_EQ(sender, nullptr);
    log += 'x';
    if (depth++ == 0) nested.Fire();
  }));
  nested.Add(TOndNotifyEvent(&log, 'w', [&](void*) { log += 'w'; }));
  nested.Fire();
  EXPECT_EQ(log, "xxww");
}

TEST(Chains, NotifyChainArgumentErrors) {
  TOndNotifyEventChain chain;
  try {
    chain.Add(TOndNotifyEvent());
    FAIL() << "nil handler accepted";
  } catch (const EOndMethodChain& e) {
    EXPECT_STREQ(e.what(), "TOndNotifyEventChain.Entry : the parameter `AEvent' must be specified.");
  }
  try {
    chain.Remove(nullptr);
    FAIL() << "nil handler accepted";
  } catch (const EOndMethodChain& e) {
    EXPECT_STREQ(e.what(), "TOndNotifyEventChain.Remove: the parameter `AEvent' must be specified.");
  }
  EXPECT_EQ(chain.Count(), 0);
}

TEST(Chains, NotifyChainHandlerErrors) {
  std::string log;
  TOndNotifyEventChain chain;
  chain.Add(TOndNotifyEvent(&log, 1, [&](void*) { log += '1'; }));
  chain.Add(TOndNotifyEvent(&log, 2, [&](void*) {
    log += '2';
    throw EConvertError("bad value");
  }));
  chain.Add(TOndNotifyEvent(&log, 3, [&](void*) { log += '3'; }));

  // Without a hook the exception reaches the caller and the rest does not run.
  try {
    chain.Fire();
    FAIL() << "exception swallowed";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "bad value");
  }
  EXPECT_EQ(log, "12");

  // A hook that keeps DoContinue true lets the third run and swallows it.
  log.clear();
  std::string seen;
  chain.OnHandlerError = [&](TOndMethodChain<void(void*)>* sender, const std::exception& e, bool& doContinue) {
    EXPECT_EQ(sender, &chain);
    EXPECT_TRUE(doContinue);
    seen = e.what();
  };
  EXPECT_NO_THROW(chain.Fire());
  EXPECT_EQ(log, "123");
  EXPECT_EQ(seen, "bad value");

  // A hook that clears DoContinue stops firing without raising.
  log.clear();
  chain.OnHandlerError = [](TOndMethodChain<void(void*)>*, const std::exception&, bool& doContinue) {
    doContinue = false;
  };
  EXPECT_NO_THROW(chain.Fire());
  EXPECT_EQ(log, "12");

  // The chain stays usable after a failed pass (no walk left open).
  chain.OnHandlerError = nullptr;
  chain.Remove(Named<TOndNotifyEvent>(&log, 2));
  EXPECT_EQ(chain.Count(), 2);
  log.clear();
  chain.Fire();
  EXPECT_EQ(log, "13");
}

// A chain that decides on an error outside any handler raises it again
// instead of ending the program.
TEST(MethodChains, HandlerErrorDecidedOutsideACatchIsRaisedAgain) {
  struct Chain : TOndNotifyEventChain {
    bool Decide(const std::exception& e, std::exception_ptr error) { return HandleHandlerError(e, error); }
  } chain;
  const EConvertError error("bad value");
  EXPECT_THROW(chain.Decide(error, std::make_exception_ptr(error)), EConvertError);
  bool called = false;
  chain.OnHandlerError = [&](TOndMethodChain<void(void*)>*, const std::exception&, bool& doContinue) {
    called = true;
    doContinue = false;
  };
  EXPECT_FALSE(chain.Decide(error, std::make_exception_ptr(error)));
  EXPECT_TRUE(called);
}

}  // namespace
}  // namespace ond
