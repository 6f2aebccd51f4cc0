#include "support/current_second.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace {

using namespace std::chrono_literals;
using RavLib::CCurrentSecond;
using RavLib::SecondResync;
using RavLib::SystemSeconds;
using Clock = std::chrono::steady_clock;

// ---- Resynchronisation, driven tick by tick with a substituted time source ----

class DrivenResync {
 public:
  // One tick of a clock whose own count is clockValue while the system shows systemValue.
  std::optional<std::int64_t> Tick(std::int64_t clockValue, std::int64_t systemValue) {
    return resync.OnTick(clockValue, [&] {
      ++timeReads;
      return systemValue;
    });
  }
  // Ticks that the system agrees with but that are not due for a comparison.
  void TickWithoutCheck(int count) {
    for (int i = 0; i < count; ++i) ASSERT_EQ(Tick(0, 0), std::nullopt);
  }

  int timeReads = 0;

 private:
  SecondResync resync;
};

TEST(SecondResync, ReadsTheSystemTimeOnlyOnEverySixHundredthTick) {
  DrivenResync driven;
  driven.TickWithoutCheck(599);
  EXPECT_EQ(driven.timeReads, 0);
  EXPECT_EQ(driven.Tick(1000, 1002), 1002);
  EXPECT_EQ(driven.timeReads, 1);
  driven.TickWithoutCheck(599);
  EXPECT_EQ(driven.timeReads, 1) << "the count of 600 restarts after taking the system time";
  EXPECT_EQ(driven.Tick(5000, 5000), 5000);
  EXPECT_EQ(driven.timeReads, 2);
}

struct DriftCase {
  std::int64_t systemMinusClock;
  bool takenOver;
};

class SecondResyncDrift : public testing::TestWithParam<DriftCase> {};

TEST_P(SecondResyncDrift, TakesOverAtMostThreeSeconds) {
  constexpr std::int64_t clockValue = 1'700'000'000;
  const std::int64_t systemValue = clockValue + GetParam().systemMinusClock;
  DrivenResync driven;
  driven.TickWithoutCheck(599);
  const auto result = driven.Tick(clockValue, systemValue);
  if (GetParam().takenOver) {
    EXPECT_EQ(result, systemValue);
  } else {
    EXPECT_EQ(result, std::nullopt);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Drifts, SecondResyncDrift,
    testing::Values(DriftCase{0, true}, DriftCase{2, true}, DriftCase{3, true},
                    DriftCase{-3, true}, DriftCase{4, false}, DriftCase{-4, false},
                    DriftCase{3600, false}, DriftCase{-3600, false},
                    // Equal low 32 bits must not pass for agreement.
                    DriftCase{std::int64_t{1} << 32, false}));

TEST(SecondResync, AfterALargeDriftComparesOnEveryTickUntilItShrinks) {
  DrivenResync driven;
  driven.TickWithoutCheck(599);
  std::int64_t clockValue = 2000;
  const std::int64_t hourAhead = 3600;
  for (int tick = 0; tick < 5; ++tick, ++clockValue) {
    EXPECT_EQ(driven.Tick(clockValue, clockValue + hourAhead), std::nullopt);
  }
  EXPECT_EQ(driven.timeReads, 5);

  // The system clock is set back to within three seconds: taken at the next tick.
  EXPECT_EQ(driven.Tick(clockValue, clockValue + 3), clockValue + 3);
  EXPECT_EQ(driven.timeReads, 6);
  driven.TickWithoutCheck(599);
  EXPECT_EQ(driven.timeReads, 6);
}

// ---- The running clock, against the real system clock ----

// The system's second and the clock's value read together, or nothing when read
// too close to a second boundary (the tick lands shortly before each one).
std::optional<std::pair<std::int64_t, std::int64_t>> SampleAwayFromBoundary(
    const CCurrentSecond& clock) {
  using namespace std::chrono;
  const auto before = system_clock::now();
  const std::int64_t value = clock.Value();
  const auto after = system_clock::now();
  const auto intoSecond = before.time_since_epoch() - floor<seconds>(before.time_since_epoch());
  if (floor<seconds>(before) != floor<seconds>(after) || intoSecond < 150ms || intoSecond > 850ms) {
    return std::nullopt;
  }
  return std::pair{floor<seconds>(before).time_since_epoch().count(), value};
}

TEST(CurrentSecond, AlignsAndTicksWithTheSystemSecond) {
  CCurrentSecond clock;
  const auto start = Clock::now();
  const std::int64_t firstValue = clock.Value();
  int samples = 0;
  std::int64_t lastValue = firstValue;
  while (Clock::now() - start < 3500ms) {
    if (const auto sample = SampleAwayFromBoundary(clock)) {
      EXPECT_EQ(sample->second, sample->first);
      lastValue = sample->second;
      ++samples;
    }
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_GT(samples, 10);
  EXPECT_GE(lastValue - firstValue, 2);
}

TEST(CurrentSecond, DestructionIsPromptWhileAligningAndWhileWaitingForATick) {
  for (const auto lifetime : {0ms, 1500ms}) {
    auto clock = std::make_unique<CCurrentSecond>();
    std::this_thread::sleep_for(lifetime);
    const auto start = Clock::now();
    clock.reset();
    EXPECT_LT(Clock::now() - start, 100ms) << "after living " << lifetime.count() << " ms";
  }
}

}  // namespace
