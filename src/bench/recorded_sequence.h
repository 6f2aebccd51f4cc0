#pragma once
// A recorded run turned into a test sequence: each exchange of a traffic log a
// step that sends the same command with the same fields to the same address and
// expects the reply that was recorded. tarnwick-cli replay and the window's
// traffic log both write sequences through here, so the same entries give the
// same file.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "link/recorded_exchanges.h"

namespace tarnwick::bench {

struct ReplayOptions {
  bool keepTiming = false;    // a wait step for each pause between exchanges
  std::optional<int> baud;    // the rate the recording began at, when known
};

struct ReplayedSequence {
  std::string yaml;
  std::size_t steps = 0;
  // Frames that no command of the board in use describes: each stands in the
  // file as a comment with its bytes, and is not sent.
  std::size_t notReplayed = 0;
};

// The sequence of the exchanges under the board in use (board::Current()).
ReplayedSequence SequenceFromExchanges(const std::vector<link::RecordedExchange>& exchanges,
                                       const ReplayOptions& options);

}  // namespace tarnwick::bench
