#pragma once
// The round trips a watch has timed, summed up in fixed memory however long it runs:
// a count per tenth of a millisecond up to kRoundTripRangeMs, and one count for all
// that took longer.

#include <cstdint>
#include <vector>

namespace tarnwick::bench {

// Past the longest exchange: the read's 265 ms and the slowest frame's write bound.
inline constexpr int kRoundTripRangeMs = 1000;

class RoundTrips {
 public:
  void Add(double ms);
  std::uint64_t Count() const { return count_; }
  // 0 while none was added. The median is the middle time, or the mean of the two
  // middle ones, each to the tenth of a millisecond and within min and max; a middle
  // time past the range counts as the maximum.
  double Min() const { return count_ ? min_ : 0; }
  double Max() const { return count_ ? max_ : 0; }
  double Median() const;

 private:
  double AtRank(std::uint64_t rank) const;

  std::vector<std::uint64_t> tenths_ = std::vector<std::uint64_t>(kRoundTripRangeMs * 10 + 2);  // last: longer
  std::uint64_t count_ = 0;
  double min_ = 0, max_ = 0;
};

}  // namespace tarnwick::bench
