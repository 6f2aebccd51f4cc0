#include "support/mts_random.h"

namespace RavLib {

namespace {
constexpr std::uint32_t kMatrix = 0x79361A8Cu;
constexpr std::uint32_t kLowerMask = 0x0001FFFFu;  // the 17 bits taken from the next word
constexpr std::uint32_t kSeedingOrMask = 0x369u;
}  // namespace

CMTSRandom::CMTSRandom() : CMTSRandom(processSeed) {}

CMTSRandom::CMTSRandom(std::uint32_t seed) { Seed(seed); }

CMTSRandom::CMTSRandom(const StateWords& initialState) : state(initialState) {}

void CMTSRandom::Seed(std::uint32_t seed) {
  std::lock_guard lock(mutex);
  state[0] = seed;
  for (index = 1; index < static_cast<std::int32_t>(state.size()); ++index) {
    const std::uint32_t previous = state[static_cast<std::size_t>(index - 1)];
    state[static_cast<std::size_t>(index)] =
        ((((previous << 3) ^ (previous & 0xFFFFFFFEu)) << 7) | kSeedingOrMask) +
        static_cast<std::uint32_t>(index);
  }
  index = 0;
  RegenerateLocked();
}

void CMTSRandom::Regenerate() {
  std::lock_guard lock(mutex);
  RegenerateLocked();
}

void CMTSRandom::RegenerateLocked() {
  constexpr std::size_t n = std::tuple_size_v<StateWords>;
  for (std::size_t k = 0; k < n; ++k) {
    const std::uint32_t y = (state[k] & ~kLowerMask) | (state[(k + 1) % n] & kLowerMask);
    state[k] = state[(k + 2) % n] ^ (y >> 1) ^ ((y & 1u) != 0 ? kMatrix : 0u);
  }
}

CMTSRandom::StateWords CMTSRandom::State() const {
  std::lock_guard lock(mutex);
  return state;
}

}  // namespace RavLib
