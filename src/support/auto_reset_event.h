#pragma once
// An event that releases one wait per Set(); a Set() with nobody waiting stays
// pending until the next Wait(). Several Set()s before one Wait() release it once.

#include <condition_variable>
#include <mutex>

namespace RavLib {

class AutoResetEvent {
 public:
  void Set() {
    std::lock_guard lock(mutex);
    signalled = true;
    signalledChanged.notify_one();
  }

  void Wait() {
    std::unique_lock lock(mutex);
    signalledChanged.wait(lock, [&] { return signalled; });
    signalled = false;
  }

 private:
  std::mutex mutex;
  std::condition_variable signalledChanged;
  bool signalled = false;
};

}  // namespace RavLib
