#include "support/current_second.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <functional>
#include <future>
#include <thread>
#include <tuple>

namespace {

using namespace std::chrono_literals;
using RavLib::CCurrentSecond;
using RavLib::SecondResync;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// ---- Resynchronisation, driven tick by tick with a substituted time source ----

// Before the 600th tick an agreeing system clock would show as a value taken over.
TEST(SecondResync, TakesOverADriftOfAtMostThreeSecondsOnEverySixHundredthTick) {
  constexpr std::int64_t clockValue = 1'700'000'000;
  // Equal low 32 bits must not pass for agreement.
  for (const std::int64_t drift : {0LL, 2LL, 3LL, -3LL, 4LL, -4LL, 3600LL, -3600LL, 1LL << 32}) {
    SCOPED_TRACE(drift);
    SecondResync resync;
    for (int tick = 1; tick < 600; ++tick) ASSERT_EQ(resync.OnTick(0, [] { return 0; }), std::nullopt);
    EXPECT_EQ(resync.OnTick(clockValue, [&] { return clockValue + drift; }),
              std::abs(drift) <= 3 ? std::optional(clockValue + drift) : std::nullopt);
  }
}

// ---- The running clock, its system time and its timer played by the test ----

// Ends the clock on a thread of its own: with the timer and the system time held
// still, a clock that waited for either would never end, so a generous deadline
// tells the two apart.
bool EndsWithoutWaitingForTime(std::unique_ptr<CCurrentSecond> clock) {
  auto ended = std::make_shared<std::promise<void>>();
  std::thread([clock = std::move(clock), ended]() mutable {
    clock.reset();
    ended->set_value();
  }).detach();
  return ended->get_future().wait_for(30s) == std::future_status::ready;
}

// The timer starts as the system second changes, set to fire just before each
// following second begins, and each of its ticks counts one second.
TEST(CurrentSecond, StartsItsTickAtTheSystemSecondsChangeAndEndsWithoutWaiting) {
  struct TimerStart { std::function<void()> tick; std::int64_t systemSecond; milliseconds first, period; };
  std::atomic<std::int64_t> systemNow{1'700'000'000};
  std::atomic<int> reads{0};
  std::promise<TimerStart> timerStarted;
  const RavLib::SecondSources driven{[&] { return ++reads, systemNow.load(); }, [&](auto tick, auto first, auto period) {
                                       timerStarted.set_value({tick, systemNow.load(), first, period});
                                       return std::make_shared<int>(0);
                                     }};
  EXPECT_TRUE(EndsWithoutWaitingForTime(std::make_unique<CCurrentSecond>(driven))) << "aligning";
  reads = 0;
  auto clock = std::make_unique<CCurrentSecond>(driven);
  EXPECT_EQ(clock->Value(), 1'700'000'000);
  // The second changes only once the clock's thread has read the one it starts in.
  for (const auto end = Clock::now() + 30s; reads < 2 && Clock::now() < end;) std::this_thread::sleep_for(1ms);
  systemNow = 1'700'000'001;
  auto started = timerStarted.get_future();
  ASSERT_EQ(started.wait_for(30s), std::future_status::ready);
  const TimerStart timer = started.get();
  EXPECT_EQ(std::tuple(timer.systemSecond, timer.first, timer.period, clock->Value()),
            std::tuple(1'700'000'001, 995ms, 1000ms, 1'700'000'001));
  for (int tick = 0; tick < 3; ++tick) timer.tick();
  EXPECT_EQ(clock->Value(), 1'700'000'004);
  EXPECT_TRUE(EndsWithoutWaitingForTime(std::move(clock))) << "waiting for a tick";
}

// With the real system clock and timer the value keeps moving on.
TEST(CurrentSecond, TicksOnTheRealClock) {
  CCurrentSecond clock;
  const std::int64_t start = clock.Value();
  for (const auto end = Clock::now() + 30s; clock.Value() < start + 2 && Clock::now() < end;)
    std::this_thread::sleep_for(50ms);
  EXPECT_GE(clock.Value(), start + 2);
}

}  // namespace
