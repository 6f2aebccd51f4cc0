#pragma once
// How long something takes on a real line, from a few tries. A loaded scheduler can
// only stretch a duration, never shorten it: a lower bound holds on every try, and an
// upper bound that the code keeps on an idle machine must hold on at least one. A
// fault that waits too long misses the bound on every try.
#include <algorithm>
#include <chrono>
#include <climits>

namespace tarnwick::testing {

inline long long MsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

// attempt() runs one try (checking its own outcome) and returns the milliseconds it took.
template <class Attempt>
long long FastestOf(int tries, long long within, Attempt attempt) {
  long long fastest = LLONG_MAX;
  for (int i = 0; i < tries && fastest >= within; ++i) fastest = std::min(fastest, static_cast<long long>(attempt()));
  return fastest;
}

}  // namespace tarnwick::testing
