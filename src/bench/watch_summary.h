#pragma once
// What `tarnwick-cli watch` and the window's Watch share: the running summary of
// the exchanges (results and round trips) and the CSV a watch writes.

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "bench/round_trips.h"
#include "bench/timed_exchange.h"

namespace tarnwick::bench {

struct WatchSummary {
  int exchanges = 0, successes = 0;
  std::map<std::string, int> failures;  // by result text
  RoundTrips roundTrips;

  void Add(const TimedExchange& done);
  // "12 exchanges, 11 succeeded, 1 No response data"
  std::string CountsText() const;
  // "round trip ms: min 1.0, median 1.2, max 3.4"
  std::string RoundTripsText() const;
};

// An exchange that cannot be made again as it stands (no port, a port that will
// not open, a field refused) ends the watch.
bool EndsTheWatch(link::ExchangeStage stage);

// A time of day to the millisecond, "14:03:07.123", as each watch line starts.
std::string WallClockText(std::chrono::system_clock::time_point when);
// ms to a tenth: "12.3"
std::string MillisecondsText(double ms);

// The CSV's columns: time, round trip, result, then each reply field by its key.
std::string WatchCsvHeader(const std::vector<std::string>& keys);
// One exchange as a CSV row, a field the reply left out empty (no line end).
std::string WatchCsvRow(const std::string& time, const TimedExchange& done, const std::vector<std::string>& keys);

}  // namespace tarnwick::bench
