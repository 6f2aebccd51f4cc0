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

// Generous for a loaded machine, far below the default worker's 5000 ms sleep.
constexpr auto kPrompt = 1000ms;

Clock::duration TimeOf(const auto& action) {
  const auto start = Clock::now();
  action();
  return Clock::now() - start;
}

// Records which of the sixteen worker operations ran, one bit each. With a
// linger, each operation first waits for the stop request and then keeps running
// that long, to show that destruction waits for it.
class RecordingWorkers : public CMultiThread {
 public:
  explicit RecordingWorkers(int count, std::chrono::milliseconds linger = 0ms) : CMultiThread(count), linger(linger) {}
  ~RecordingWorkers() override { StopThreads(); }

  std::atomic<unsigned> ran{0};
  std::atomic<bool> started{false};

 protected:
#define TARNWICK_RECORDING_OPERATION(k) \
  void ThreadProc##k() override { Record(k); }
  TARNWICK_RECORDING_OPERATION(0) TARNWICK_RECORDING_OPERATION(1) TARNWICK_RECORDING_OPERATION(2)
  TARNWICK_RECORDING_OPERATION(3) TARNWICK_RECORDING_OPERATION(4) TARNWICK_RECORDING_OPERATION(5)
  TARNWICK_RECORDING_OPERATION(6) TARNWICK_RECORDING_OPERATION(7) TARNWICK_RECORDING_OPERATION(8)
  TARNWICK_RECORDING_OPERATION(9) TARNWICK_RECORDING_OPERATION(10) TARNWICK_RECORDING_OPERATION(11)
  TARNWICK_RECORDING_OPERATION(12) TARNWICK_RECORDING_OPERATION(13) TARNWICK_RECORDING_OPERATION(14)
  TARNWICK_RECORDING_OPERATION(15)
#undef TARNWICK_RECORDING_OPERATION

 private:
  void Record(int k) {
    started = true;
    if (linger > 0ms) {
      while (SleepUnlessStopped(1h)) {
      }
      std::this_thread::sleep_for(linger);
    }
    ran |= 1u << k;
  }
  const std::chrono::milliseconds linger;
};

TEST(MultiThread, EachThreadRunsTheWorkerOperationOfItsOwnIndex) {
  RecordingWorkers workers(CMultiThread::workerOperationCount);
  for (int k = 0; k < CMultiThread::workerOperationCount; ++k) {
    ASSERT_TRUE(workers.ResumeThread(k));
    ASSERT_TRUE(workers.WaitForThread(k, 5s));
    EXPECT_EQ(workers.ran, (2u << k) - 1) << "after resuming thread " << k;
  }
}

TEST(MultiThread, ThreadsNeverResumedEndWithoutRunningTheirOperation) {
  unsigned ran = 1;
  {
    RecordingWorkers workers(4);
    EXPECT_FALSE(workers.WaitForThread(0, 20ms));
    ran = workers.ran;
  }
  EXPECT_EQ(ran, 0u);
}

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

TEST(MultiThread, ResumeAcceptsEachExistingThreadOnce) {
  CMultiThread workers(2);
  EXPECT_FALSE(workers.ResumeThread(-1));
  EXPECT_FALSE(workers.ResumeThread(2));
  EXPECT_TRUE(workers.ResumeThread(1));
  EXPECT_FALSE(workers.ResumeThread(1));
}

}  // namespace
