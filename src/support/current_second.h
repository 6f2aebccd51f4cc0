#pragma once
// The process-wide seconds clock: whole seconds since 1970-01-01 00:00 UTC,
// counted by a periodic timer and corrected against the system clock now and then.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "support/auto_reset_event.h"
#include "support/multi_thread.h"

namespace RavLib {

// The system time in whole seconds since 1970-01-01 00:00 UTC.
std::int64_t SystemSeconds();

// Decides, tick by tick, when the clock takes over the system time: on every
// 600th tick, if the two are at most 3 seconds apart. A larger difference is
// left alone and compared again on every following tick until it shrinks.
class SecondResync {
 public:
  static constexpr int ticksPerCheck = 600;
  static constexpr std::int64_t largestDriftTakenOver = 3;

  // Counts one tick. Reads the system time only when a comparison is due and
  // returns it when the clock should take it over.
  std::optional<std::int64_t> OnTick(std::int64_t clockValue,
                                     const std::function<std::int64_t()>& systemSeconds);

 private:
  int ticks = 0;
};

// Where the clock reads the system time and what paces its ticks. A started timer
// runs until its handle is destroyed; destroying it waits for a tick in progress.
struct SecondSources {
  using TimerHandle = std::shared_ptr<void>;
  std::function<std::int64_t()> systemSeconds = SystemSeconds;
  std::function<TimerHandle(std::function<void()> tick, std::chrono::milliseconds firstTick,
                            std::chrono::milliseconds period)>
      startTimer = StartPeriodicTimer;

  static TimerHandle StartPeriodicTimer(std::function<void()> tick, std::chrono::milliseconds firstTick,
                                        std::chrono::milliseconds period);
};

class CCurrentSecond : public CMultiThread {
 public:
  static constexpr std::chrono::milliseconds firstTickDelay{995};
  static constexpr std::chrono::milliseconds tickPeriod{1000};
  static constexpr std::chrono::milliseconds alignmentPollInterval{10};

  // Sets the value from the system clock and starts the clock thread, which
  // aligns itself to the start of the next second and then ticks once a second.
  explicit CCurrentSecond(SecondSources sources = {});
  // Stops the clock thread and its timer and waits for both to end.
  ~CCurrentSecond() override;

  // The clock's value: whole seconds since 1970-01-01 00:00 UTC.
  std::int64_t Value() const { return currentSecond.load(); }

 protected:
  void ThreadProc0() override;  // the clock loop

 private:
  void OnTimerTick();

  // Written by the timer thread (each tick) and the clock thread (alignment and
  // resynchronisation), possibly at the same instant.
  const SecondSources sources;
  std::atomic<std::int64_t> currentSecond{0};
  std::atomic<bool> stopRequested{false};
  std::unique_ptr<AutoResetEvent> tickEvent;  // null if it could not be made
};

}  // namespace RavLib
