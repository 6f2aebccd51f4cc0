#include "support/multi_thread.h"

#include <array>
#include <exception>

namespace RavLib {

CMultiThread::CMultiThread(std::int32_t threadCount) : threadCount(threadCount) {
  if (threadCount <= 0) return;
  const auto count = static_cast<std::size_t>(threadCount);
  try {
    startRecords.reserve(count);
    threadHandles.reserve(count);
    threadStates.assign(count, ThreadState::suspended);
    for (std::int32_t i = 0; i < threadCount; ++i) startRecords.push_back({this, i});
    // The records no longer move: each thread keeps a pointer to its own.
    for (StartRecord& record : startRecords) threadHandles.emplace_back(ThreadEntry, &record);
  } catch (const std::exception&) {
    // bad_alloc or length_error for the arrays, system_error for a thread: release
    // the threads made so far and hold none.
    StopThreads();
    threadHandles.clear();
    startRecords.clear();
    threadStates.clear();
  }
}

CMultiThread::~CMultiThread() { StopThreads(); }

void CMultiThread::ThreadEntry(StartRecord* record) {
  CMultiThread& owner = *record->owner;
  const std::int32_t index = record->index;
  bool runWorker = false;
  {
    std::unique_lock lock(owner.lifecycleMutex);
    owner.lifecycleChanged.wait(lock, [&] {
      return owner.stopping || owner.threadStates[index] != ThreadState::suspended;
    });
    runWorker = !owner.stopping;
  }
  if (runWorker && index < workerOperationCount) owner.RunWorkerOperation(index);

  std::lock_guard lock(owner.lifecycleMutex);
  owner.threadStates[index] = ThreadState::ended;
  owner.lifecycleChanged.notify_all();
}

void CMultiThread::RunWorkerOperation(std::int32_t index) {
  // Pointers to virtual members: the call reaches the derived class's override.
  static constexpr std::array<void (CMultiThread::*)(), workerOperationCount> operations{
      &CMultiThread::ThreadProc0,  &CMultiThread::ThreadProc1,  &CMultiThread::ThreadProc2,
      &CMultiThread::ThreadProc3,  &CMultiThread::ThreadProc4,  &CMultiThread::ThreadProc5,
      &CMultiThread::ThreadProc6,  &CMultiThread::ThreadProc7,  &CMultiThread::ThreadProc8,
      &CMultiThread::ThreadProc9,  &CMultiThread::ThreadProc10, &CMultiThread::ThreadProc11,
      &CMultiThread::ThreadProc12, &CMultiThread::ThreadProc13, &CMultiThread::ThreadProc14,
      &CMultiThread::ThreadProc15};
  (this->*operations[static_cast<std::size_t>(index)])();
}

bool CMultiThread::ResumeThread(std::int32_t index) {
  std::lock_guard lock(lifecycleMutex);
  if (index < 0 || static_cast<std::size_t>(index) >= threadStates.size() || stopping) return false;
  ThreadState& state = threadStates[static_cast<std::size_t>(index)];
  if (state != ThreadState::suspended) return false;
  state = ThreadState::resumed;
  lifecycleChanged.notify_all();
  return true;
}

bool CMultiThread::WaitForThread(std::int32_t index, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(lifecycleMutex);
  if (index < 0 || static_cast<std::size_t>(index) >= threadStates.size()) return false;
  return lifecycleChanged.wait_for(lock, timeout, [&] {
    return threadStates[static_cast<std::size_t>(index)] == ThreadState::ended;
  });
}

bool CMultiThread::SleepUnlessStopped(std::chrono::milliseconds duration) {
  std::unique_lock lock(lifecycleMutex);
  return !lifecycleChanged.wait_for(lock, duration, [&] { return stopping; });
}

void CMultiThread::StopThreads() {
  {
    std::lock_guard lock(lifecycleMutex);
    stopping = true;
    lifecycleChanged.notify_all();
  }
  for (std::thread& thread : threadHandles) {
    if (thread.joinable()) thread.join();
  }
}

void CMultiThread::ThreadProc0() { SleepUnlessStopped(defaultWorkerSleep); }
void CMultiThread::ThreadProc1() { SleepUnlessStopped(defaultWorkerSleep); }
void CMultiThread::ThreadProc2() { SleepUnlessStopped(defaultWorkerSleep); }
void CMultiThread::ThreadProc3() { SleepUnlessStopped(defaultWorkerSleep); }
void CMultiThread::ThreadProc4() { SleepUnlessStopped(defaultWorkerSleep); }
void CMultiThread::ThreadProc5() { SleepUnlessStopped(defaultWorkerSleep); }
void CMultiThread::ThreadProc6() { SleepUnlessStopped(defaultWorkerSleep); }
void CMultiThread::ThreadProc7() { SleepUnlessStopped(defaultWorkerSleep); }
void CMultiThread::ThreadProc8() { SleepUnlessStopped(defaultWorkerSleep); }
void CMultiThread::ThreadProc9() { SleepUnlessStopped(defaultWorkerSleep); }
void CMultiThread::ThreadProc10() { SleepUnlessStopped(defaultWorkerSleep); }
void CMultiThread::ThreadProc11() { SleepUnlessStopped(defaultWorkerSleep); }
void CMultiThread::ThreadProc12() { SleepUnlessStopped(defaultWorkerSleep); }
void CMultiThread::ThreadProc13() { SleepUnlessStopped(defaultWorkerSleep); }
void CMultiThread::ThreadProc14() { SleepUnlessStopped(defaultWorkerSleep); }
void CMultiThread::ThreadProc15() { SleepUnlessStopped(defaultWorkerSleep); }

}  // namespace RavLib
