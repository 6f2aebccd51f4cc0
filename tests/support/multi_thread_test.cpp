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

// Records whether thread 0's operation ran (the one operation the product
// overrides). With a linger, it first waits for the stop request and then keeps
// running that long, to show that destruction waits for it.
class RecordingWorkers : public CMultiThread {
 public:
  explicit RecordingWorkers(int count, std::chrono::milliseconds linger = 0ms) : CMultiThread(count), linger(linger) {}
  ~RecordingWorkers() override { StopThreads(); }

  std::atomic<bool> ran{false};
  std::atomic<bool> started{false};

 protected:
  void ThreadProc0() override {
    started = true;
    if (linger > 0ms) {
      while (SleepUnlessStopped(1h)) {
      }
      std::this_thread::sleep_for(linger);
    }
    ran = true;
  }

 private:
  const std::chrono::milliseconds linger;
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
  auto workers = std::make_unique<RecordingWorkers>(1, 100ms);
  ASSERT_TRUE(workers->ResumeThread(0));
  while (!workers->started) std::this_thread::sleep_for(1ms);
  EXPECT_GE(TimeOf([&] { workers.reset(); }), 100ms);
}

}  // namespace
