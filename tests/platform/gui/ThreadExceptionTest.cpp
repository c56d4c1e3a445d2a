// A failure on a worker thread reaches the application's one exception hook,
// on the GUI thread, like a failure in an event handler.
#include <gtest/gtest.h>

#include <QThread>
#include <string>
#include <thread>
#include <vector>

#include "platform/Forms.h"
#include "platform/core/GuardedThread.h"
#include "platform/core/SysUtils.h"

namespace ond {
namespace {

TEST(ThreadExceptions, ReachTheApplicationsHookOnTheGuiThread) {
  TApplication* app = Application();
  std::vector<std::string> seen;
  std::thread::id hookThread;
  const TExceptionEvent saved = app->OnException;
  app->OnException = [&](TObject*, const std::exception& e) {
    seen.push_back(e.what());
    hookThread = std::this_thread::get_id();
  };
  std::thread worker = StartGuardedThread([] { throw EListError("from a worker"); });
  worker.join();
  for (int i = 0; i < 500 && seen.empty(); ++i) {
    app->ProcessMessages();
    QThread::msleep(1);
  }
  app->OnException = saved;
  EXPECT_EQ(seen, std::vector<std::string>{"from a worker"});
  EXPECT_EQ(hookThread, std::this_thread::get_id());
}

}  // namespace
}  // namespace ond
