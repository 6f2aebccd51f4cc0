#include "support/periodic_timer.h"

#include <system_error>

namespace RavLib {

PeriodicTimer::PeriodicTimer(Callback callback, std::chrono::milliseconds period)
    : callback(std::move(callback)), period(period) {}

std::unique_ptr<PeriodicTimer> PeriodicTimer::Start(Callback callback,
                                                    std::chrono::milliseconds firstExpiry,
                                                    std::chrono::milliseconds period) {
  const auto firstExpiryTime = std::chrono::steady_clock::now() + firstExpiry;
  try {
    std::unique_ptr<PeriodicTimer> timer(new PeriodicTimer(std::move(callback), period));
    timer->timerThread = std::thread(&PeriodicTimer::Run, timer.get(), firstExpiryTime);
    return timer;
  } catch (const std::system_error&) {
    return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

PeriodicTimer::~PeriodicTimer() {
  {
    std::lock_guard lock(mutex);
    cancelled = true;
    cancelledChanged.notify_one();
  }
  if (timerThread.joinable()) timerThread.join();
}

void PeriodicTimer::Run(std::chrono::steady_clock::time_point firstExpiry) {
  for (auto expiry = firstExpiry;; expiry += period) {
    {
      std::unique_lock lock(mutex);
      if (cancelledChanged.wait_until(lock, expiry, [&] { return cancelled; })) return;
    }
    callback();
  }
}

}  // namespace RavLib
