// Runs a piece of a test on a thread of its own with a stack of a given size:
// worker threads of the program get small stacks, and code that must not
// nest native calls per unit of input shows it there.
#pragma once

#include <gtest/gtest.h>
#include <pthread.h>

#include <cstddef>
#include <functional>

namespace ond::test {

// The stack size of the program's worker threads.
constexpr std::size_t kSmallThreadStack = 256 * 1024;

// Runs job on a new thread with the given stack size and waits for it.
inline void RunOnStack(std::size_t stackSize, const std::function<void()>& job) {
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, stackSize), 0);
  pthread_t thread;
  auto run = [](void* arg) -> void* {
    (*static_cast<const std::function<void()>*>(arg))();
    return nullptr;
  };
  ASSERT_EQ(pthread_create(&thread, &attr, run, const_cast<std::function<void()>*>(&job)), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
}

}  // namespace ond::test
