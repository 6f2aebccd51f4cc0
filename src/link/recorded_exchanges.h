#pragma once
// A traffic log read back as exchanges: each frame sent, the reply read for it and
// the result the exchange came to, with the line of the log each came from. The
// command line turns them into a sequence, the simulated board answers from them.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "traffic_log.h"

namespace tarnwick::link {

// A log that cannot be read back, and the line that says so (0: the file itself).
struct InvalidLog {
  int line = 0;
  std::string reason;
};

// "PATH:LINE: reason", without the line where the file itself is meant.
std::string PlacedReason(const std::string& path, const InvalidLog& invalid);

struct RecordedExchange {
  int line = 0;  // of its tx entry
  std::string port;
  LogTime sent{}, ended{};  // the tx entry's time, and its last entry's
  Bytes request;            // as written: one frame, or several (a live test update)
  std::optional<Bytes> reply;
  // The exchange's result as the log's event gave it ("" for a frame sent without
  // awaiting a reply); none when no event followed (frames nobody answers).
  std::optional<std::string> result;
  int replyLine = 0;         // of its rx entry
  std::string sentSummary;   // the tx entry's summary, which its event repeats
};

// The frames in bytes, each by its length byte; nothing when they do not split
// into whole frames.
std::optional<std::vector<std::span<const std::uint8_t>>> SplitFrames(std::span<const std::uint8_t> bytes);

// Builds exchanges from entries in the log's order. A frame sent whose checksum
// fails, or a reply that fails its checksum though its exchange succeeded, is
// refused (InvalidLog): the log was changed after it was written.
class ExchangeCollector {
 public:
  void Add(const TrafficEntry& entry, int line);
  // The exchanges in the order they were sent; the collector is empty after it.
  std::vector<RecordedExchange> Finish();

 private:
  void Close(std::size_t open);
  std::vector<RecordedExchange> done_;
  std::vector<RecordedExchange> open_;  // one per port at most
};

// The exchanges of the JSON-lines log at path (tarnwick-cli --log). Throws
// InvalidLog for a file that is no such log, a line that is not a whole entry,
// and a frame whose checksum fails.
std::vector<RecordedExchange> ReadRecordedExchanges(const std::string& path);

}  // namespace tarnwick::link
