#pragma once
// How long a scan's probe waits for its reply to begin. Until an answer has been
// verified on the line, the full --timeout; after, a little more than twice the
// slowest turnaround measured, plus the time of the reply's first byte, never
// below kShortestProbeWaitMs nor above the --timeout. A reply that begins later
// is still heard during a later probe and looked at again (see board_scan.cpp).

#include <algorithm>
#include <chrono>

#include "link/baud_rates.h"

namespace tarnwick::bench {

inline constexpr int kShortestProbeWaitMs = 5;
// For the scheduling of both ends of the line on a busy machine.
inline constexpr int kProbeWaitSlackMs = 3;

class ProbeWait {
 public:
  explicit ProbeWait(int longestMs) : longestMs_(longestMs) {}

  // turnaround: from the end of the settle delay to the first byte of a verified answer.
  void Verified(std::chrono::microseconds turnaround) {
    slowest_ = std::max(slowest_, std::max(turnaround, std::chrono::microseconds{0}));
  }

  int WaitMs(int baudRate) const {
    if (slowest_ < std::chrono::microseconds{0}) return longestMs_;
    const auto needed = 2 * slowest_ + link::WireTime(1, baudRate) + std::chrono::milliseconds(kProbeWaitSlackMs);
    const int ms = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(needed).count());
    return std::min(std::max(ms, kShortestProbeWaitMs), longestMs_);
  }

 private:
  int longestMs_;
  std::chrono::microseconds slowest_{-1};  // none heard yet
};

}  // namespace tarnwick::bench
