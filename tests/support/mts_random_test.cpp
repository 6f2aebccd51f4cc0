#include "support/mts_random.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using RavLib::CMTSRandom;
using Words = CMTSRandom::StateWords;

struct RegenerationCase {
  Words before;
  Words after;
};

class RegenerateTest : public testing::TestWithParam<RegenerationCase> {};

TEST_P(RegenerateTest, ReplacesAllFourWordsInOrder) {
  CMTSRandom generator(GetParam().before);
  generator.Regenerate();
  EXPECT_EQ(generator.State(), GetParam().after);
}

INSTANTIATE_TEST_SUITE_P(
    KnownStates, RegenerateTest,
    testing::Values(
        RegenerationCase{{0, 0, 0, 0}, {0, 0, 0, 0}},
        // s[2] takes the new s[0]; s[3] joins the new s[0] and the new s[1].
        RegenerationCase{{0, 1, 0, 0}, {0x79361A8C, 0, 0x79361A8C, 0xD46}},
        // The state that seeding with 0 builds before its regeneration.
        RegenerationCase{{0, 0x36A, 0xC1F6B, 0x36721B6C},
                         {0xC1EDE, 0x4F440E55, 0xA1368, 0x547D013A}}));

struct SeedCase {
  std::uint32_t seed;
  Words state;
};

class SeedTest : public testing::TestWithParam<SeedCase> {};

TEST_P(SeedTest, FillsTheStateAndRegeneratesIt) {
  CMTSRandom generator(GetParam().seed);
  EXPECT_EQ(generator.State(), GetParam().state);

  CMTSRandom reseeded(Words{1, 2, 3, 4});
  reseeded.Seed(GetParam().seed);
  EXPECT_EQ(reseeded.State(), GetParam().state);
}

INSTANTIATE_TEST_SUITE_P(
    KnownSeeds, SeedTest,
    testing::Values(SeedCase{0, {0xC1EDE, 0x4F440E55, 0xA1368, 0x547D013A}},
                    SeedCase{0x12345678, {0x7B0870DE, 0x5DFD0E55, 0x42017D68, 0x7D44363A}},
                    // Bit 0 of the seed is dropped by the seeding's AND mask.
                    SeedCase{0xFFFFFFFF, {0x7FF31EDE, 0x4F440E55, 0x7FF51368, 0x547D813A}}));

TEST(MtsRandomConcurrency, RegenerationsFromTwoThreadsAreNotLost) {
  constexpr int perThread = 2000;
  CMTSRandom shared(7);
  CMTSRandom sequential(7);
  {
    std::jthread first([&] { for (int i = 0; i < perThread; ++i) shared.Regenerate(); });
    std::jthread second([&] { for (int i = 0; i < perThread; ++i) shared.Regenerate(); });
  }
  for (int i = 0; i < 2 * perThread; ++i) sequential.Regenerate();
  EXPECT_EQ(shared.State(), sequential.State());
}

}  // namespace
