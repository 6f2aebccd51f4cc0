#include "bench/round_trips.h"

#include <algorithm>
#include <cmath>

namespace tarnwick::bench {

void RoundTrips::Add(double ms) {
  ms = std::max(ms, 0.0);
  min_ = count_ ? std::min(min_, ms) : ms;
  max_ = count_ ? std::max(max_, ms) : ms;
  ++count_;
  const double tenth = std::round(ms * 10);
  const auto longer = tenths_.size() - 1;
  ++tenths_[tenth < static_cast<double>(longer) ? static_cast<std::size_t>(tenth) : longer];
}

double RoundTrips::AtRank(std::uint64_t rank) const {
  std::uint64_t seen = 0;
  for (std::size_t i = 0; i + 1 < tenths_.size(); ++i) {
    seen += tenths_[i];
    if (seen > rank) return std::clamp(static_cast<double>(i) / 10, min_, max_);
  }
  return max_;
}

double RoundTrips::Median() const {
  if (count_ == 0) return 0;
  const std::uint64_t middle = count_ / 2;
  return count_ % 2 ? AtRank(middle) : (AtRank(middle - 1) + AtRank(middle)) / 2;
}

}  // namespace tarnwick::bench
