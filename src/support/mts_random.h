#pragma once
// A small Mersenne-Twister-style generator: four 32-bit state words, middle
// distance 2, a 15/17-bit split and the matrix constant 0x79361A8C. Every change
// of the state happens under the generator's mutex.

#include <array>
#include <cstdint>
#include <mutex>

namespace RavLib {

class CMTSRandom {
 public:
  using StateWords = std::array<std::uint32_t, 4>;

  // The seed of the process's one generator.
  static constexpr std::uint32_t processSeed = 0x5EED7A4Bu;

  // Seeded with processSeed.
  CMTSRandom();
  explicit CMTSRandom(std::uint32_t seed);
  // Takes the given state as it is, without seeding or regenerating.
  explicit CMTSRandom(const StateWords& initialState);
  virtual ~CMTSRandom() = default;

  CMTSRandom(const CMTSRandom&) = delete;
  CMTSRandom& operator=(const CMTSRandom&) = delete;

  // Fills the state from the seed, then regenerates it.
  void Seed(std::uint32_t seed);
  // Replaces all four state words.
  void Regenerate();

  StateWords State() const;

 private:
  void RegenerateLocked();

  StateWords state{};
  std::int32_t index = 0;  // the seeding step in progress; 0 once seeding is complete
  mutable std::mutex mutex;
};

}  // namespace RavLib
