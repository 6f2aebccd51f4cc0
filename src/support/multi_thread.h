#pragma once
// A fixed set of worker threads, created suspended, each running one virtual
// worker operation once resumed.
//
// Threads are never killed: a thread still waiting to be resumed when the object
// goes away is released and ends without running its worker operation, the
// default worker operations wake as soon as a stop is requested, and the
// destructor joins every thread before it returns.
//
// A derived class that overrides a worker operation must call StopThreads() in
// its own destructor, after making its operations return: by the time the base
// destructor runs, the derived part of the object is already gone.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace RavLib {

class CMultiThread {
 public:
  static constexpr int workerOperationCount = 16;
  static constexpr std::chrono::milliseconds defaultWorkerSleep{5000};

  // Creates threadCount suspended threads. If any of them cannot be created (or
  // threadCount is not positive), those already made are released and joined and
  // the object holds no threads; nothing is reported.
  explicit CMultiThread(std::int32_t threadCount);
  virtual ~CMultiThread();

  CMultiThread(const CMultiThread&) = delete;
  CMultiThread& operator=(const CMultiThread&) = delete;

  std::int32_t ThreadCount() const { return threadCount; }
  bool HasThreads() const { return !threadHandles.empty(); }

  // Lets a suspended thread run its worker operation. Returns false when there is
  // no such thread or it was already resumed.
  bool ResumeThread(std::int32_t index);
  // True once thread `index` has ended (waiting at most `timeout`); false also
  // when there is no such thread.
  bool WaitForThread(std::int32_t index, std::chrono::milliseconds timeout) const;

 protected:
  // Worker operation k runs in thread k; threads 16 and above run none.
  virtual void ThreadProc0();
  virtual void ThreadProc1();
  virtual void ThreadProc2();
  virtual void ThreadProc3();
  virtual void ThreadProc4();
  virtual void ThreadProc5();
  virtual void ThreadProc6();
  virtual void ThreadProc7();
  virtual void ThreadProc8();
  virtual void ThreadProc9();
  virtual void ThreadProc10();
  virtual void ThreadProc11();
  virtual void ThreadProc12();
  virtual void ThreadProc13();
  virtual void ThreadProc14();
  virtual void ThreadProc15();

  // Sleeps for `duration` or until a stop is requested; returns false in the
  // latter case.
  bool SleepUnlessStopped(std::chrono::milliseconds duration);
  // Requests a stop (releasing suspended threads and waking sleeping default
  // workers) and joins every thread. Safe to call more than once.
  void StopThreads();

 private:
  struct StartRecord {
    CMultiThread* owner;
    std::int32_t index;
  };
  enum class ThreadState { suspended, resumed, ended };

  static void ThreadEntry(StartRecord* record);
  void RunWorkerOperation(std::int32_t index);

  const std::int32_t threadCount;
  std::vector<StartRecord> startRecords;
  std::vector<ThreadState> threadStates;
  bool stopping = false;
  mutable std::mutex lifecycleMutex;  // guards threadStates and stopping
  mutable std::condition_variable lifecycleChanged;
  std::vector<std::thread> threadHandles;
};

}  // namespace RavLib
