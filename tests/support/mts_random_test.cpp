#include "support/mts_random.h"

#include <gtest/gtest.h>


namespace {

using RavLib::CMTSRandom;
using Words = CMTSRandom::StateWords;

// Each seeded state below is also a known answer of the regeneration that ends the seeding:
// a word taken out of order, or an old word for a new one, changes every row.
TEST(MtsRandom, SeedingFillsTheStateAndRegeneratesIt) {
  const struct { std::uint32_t seed; Words state; } cases[] = {
      {0, {0xC1EDE, 0x4F440E55, 0xA1368, 0x547D013A}},
      {0x12345678, {0x7B0870DE, 0x5DFD0E55, 0x42017D68, 0x7D44363A}},
      // Bit 0 of the seed is dropped by the seeding's AND mask.
      {0xFFFFFFFF, {0x7FF31EDE, 0x4F440E55, 0x7FF51368, 0x547D813A}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seed);
    EXPECT_EQ(CMTSRandom(c.seed).State(), c.state);
  }
}

}  // namespace
