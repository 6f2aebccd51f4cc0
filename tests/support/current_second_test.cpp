#include "support/current_second.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <set>
#include <thread>

namespace {

using namespace std::chrono_literals;
using RavLib::CCurrentSecond;
using RavLib::SecondResync;
using Clock = std::chrono::steady_clock;

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

// ---- The running clock, against the real system clock ----

// Sampled away from second boundaries (the tick lands shortly before each one), in
// two seconds at least, so past its alignment; then it ends promptly, as it does while aligning.
TEST(CurrentSecond, AlignsTicksWithTheSystemSecondAndEndsPromptly) {
  using namespace std::chrono;
  auto clock = std::make_unique<CCurrentSecond>();
  std::set<std::int64_t> secondsSeen;
  for (const auto end = Clock::now() + 2500ms; secondsSeen.size() < 2 && Clock::now() < end;) {
    const auto before = system_clock::now();
    const std::int64_t value = clock->Value();
    const auto intoSecond = before.time_since_epoch() - floor<seconds>(before.time_since_epoch());
    if (floor<seconds>(before) == floor<seconds>(system_clock::now()) && intoSecond > 150ms && intoSecond < 850ms) {
      EXPECT_EQ(value, floor<seconds>(before).time_since_epoch().count());
      secondsSeen.insert(value);
    }
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(secondsSeen.size(), 2u);
  const auto endsPromptly = [](std::unique_ptr<CCurrentSecond> ending) {
    const auto begun = Clock::now();
    ending.reset();
    return Clock::now() - begun < 400ms;
  };
  EXPECT_TRUE(endsPromptly(std::move(clock))) << "waiting for a tick";
  EXPECT_TRUE(endsPromptly(std::make_unique<CCurrentSecond>())) << "aligning";
}

}  // namespace
