#pragma once
// A periodic timer with its own thread, on which the callback runs. Expiries
// follow a fixed schedule (first expiry, then every period after it), so late
// wake-ups do not add up into drift.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace RavLib {

class PeriodicTimer {
 public:
  using Callback = std::function<void()>;

  // Null when the timer's thread cannot be started.
  static std::unique_ptr<PeriodicTimer> Start(Callback callback,
                                              std::chrono::milliseconds firstExpiry,
                                              std::chrono::milliseconds period);

  // Cancels the timer. Waits for a callback in progress, so the callback never
  // runs after this returns.
  ~PeriodicTimer();

  PeriodicTimer(const PeriodicTimer&) = delete;
  PeriodicTimer& operator=(const PeriodicTimer&) = delete;

 private:
  PeriodicTimer(Callback callback, std::chrono::milliseconds period);
  void Run(std::chrono::steady_clock::time_point firstExpiry);

  const Callback callback;
  const std::chrono::milliseconds period;
  std::mutex mutex;
  std::condition_variable cancelledChanged;
  bool cancelled = false;
  std::thread timerThread;
};

}  // namespace RavLib
