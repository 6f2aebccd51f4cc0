#include "support/multi_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;
using RavLib::CMultiThread;
using Clock = std::chrono::steady_clock;

// Half the default worker's 5000 ms sleep, which a destructor that waited would take whole.
constexpr auto kPrompt = 2500ms;

Clock::duration TimeOf(const auto& action) {
  const auto start = Clock::now();
  action();
  return Clock::now() - start;
}

// Thread 0's operation (the one the product overrides) waits for the stop request
// and then keeps running 100 ms, to show that destruction waits for it.
class LingeringWorker : public CMultiThread {
 public:
  LingeringWorker() : CMultiThread(1) {}
  ~LingeringWorker() override { StopThreads(); }
  std::atomic<bool> started{false};

 protected:
  void ThreadProc0() override {
    started = true;
    while (SleepUnlessStopped(1h)) continue;
    std::this_thread::sleep_for(100ms);
  }
};

// Through the base destructor alone: threads never resumed are released, sleeping
// default workers woken; threads above index fifteen run no operation.
TEST(MultiThread, DestroyingEndsSuspendedAndSleepingThreadsAtOnce) {
  auto workers = std::make_unique<CMultiThread>(18);
  for (int k : {15, 16, 17}) ASSERT_TRUE(workers->ResumeThread(k));
  EXPECT_TRUE(workers->WaitForThread(16, kPrompt));
  EXPECT_TRUE(workers->WaitForThread(17, kPrompt));
  EXPECT_FALSE(workers->WaitForThread(15, 20ms)) << "thread 15 runs the default 5000 ms worker";
  EXPECT_LT(TimeOf([&] { workers.reset(); }), kPrompt);
}

TEST(MultiThread, DestructorReturnsOnlyAfterTheWorkerOperationHasReturned) {
  auto workers = std::make_unique<LingeringWorker>();
  ASSERT_TRUE(workers->ResumeThread(0));
  while (!workers->started) std::this_thread::sleep_for(1ms);
  EXPECT_GE(TimeOf([&] { workers.reset(); }), 100ms);
}

}  // namespace
