#include "support/current_second.h"

#include <chrono>
#include <new>
#include <system_error>
#include <utility>

#include "support/periodic_timer.h"

namespace RavLib {

std::int64_t SystemSeconds() {
  using namespace std::chrono;
  return floor<seconds>(system_clock::now().time_since_epoch()).count();
}

std::optional<std::int64_t> SecondResync::OnTick(
    std::int64_t clockValue, const std::function<std::int64_t()>& systemSeconds) {
  if (++ticks < ticksPerCheck) return std::nullopt;
  const std::int64_t now = systemSeconds();
  // Unsigned, so that no pair of values overflows.
  const std::uint64_t drift = now >= clockValue
                                  ? static_cast<std::uint64_t>(now) - static_cast<std::uint64_t>(clockValue)
                                  : static_cast<std::uint64_t>(clockValue) - static_cast<std::uint64_t>(now);
  if (drift <= static_cast<std::uint64_t>(largestDriftTakenOver)) {
    ticks = 0;
    return now;
  }
  ticks = ticksPerCheck - 1;
  return std::nullopt;
}

SecondSources::TimerHandle SecondSources::StartPeriodicTimer(std::function<void()> tick,
                                                           std::chrono::milliseconds firstTick,
                                                           std::chrono::milliseconds period) {
  return PeriodicTimer::Start(std::move(tick), firstTick, period);
}

CCurrentSecond::CCurrentSecond(SecondSources sources) : CMultiThread(1), sources(std::move(sources)) {
  currentSecond = this->sources.systemSeconds();
  try {
    tickEvent = std::make_unique<AutoResetEvent>();
  } catch (const std::bad_alloc&) {
  } catch (const std::system_error&) {
  }
  // Without its event the loop could never wait for a tick: the clock then keeps
  // the value read above and its thread is released unrun at destruction.
  if (tickEvent) ResumeThread(0);
}

CCurrentSecond::~CCurrentSecond() {
  stopRequested = true;
  if (tickEvent) tickEvent->Set();
  // Also wakes the thread while it polls for the start of a second.
  StopThreads();
}

void CCurrentSecond::ThreadProc0() {
  const std::int64_t t0 = sources.systemSeconds();
  while (sources.systemSeconds() == t0) {
    if (!SleepUnlessStopped(alignmentPollInterval)) return;
  }
  currentSecond = t0 + 1;
  if (stopRequested) return;

  // Destroying the timer cancels it and waits for a tick in progress, so no tick
  // touches this object once the loop has returned.
  const auto timer = sources.startTimer([this] { OnTimerTick(); }, firstTickDelay, tickPeriod);
  if (!timer) return;

  SecondResync resync;
  while (!stopRequested) {
    tickEvent->Wait();
    if (stopRequested) break;
    if (const auto systemValue = resync.OnTick(currentSecond, sources.systemSeconds)) {
      currentSecond = *systemValue;
    }
  }
}

void CCurrentSecond::OnTimerTick() {
  ++currentSecond;
  tickEvent->Set();
}

}  // namespace RavLib
