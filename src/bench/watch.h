#pragma once
// What `tarnwick-cli watch` and the window's Watch share: the loop of exchanges at
// an interval, the running summary of them (results and round trips) and the CSV
// a watch writes.

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bench/round_trips.h"
#include "bench/timed_exchange.h"

namespace tarnwick::bench {

// How a watch goes on: the pause from one exchange's start to the next's (read
// before each pause, as the window's may change while it runs), and whether it is
// to end (asked before each exchange and during the pause).
struct WatchPacing {
  std::function<int()> intervalMs;
  std::function<bool()> stopping;
};
// What a watch does with each exchange, given the seconds from the watch's start
// to the exchange's; false ends the watch.
using WatchStep = std::function<bool(TimedExchange done, double secondsSinceStart)>;

// Exchanges of command one after another, each started an interval after the one
// before, or at once when that one ran late (never a burst of catching up).
void RunWatchLoop(const link::LineSettings& line, const board::Command& command, const board::FieldTexts& texts,
                  link::TrafficLog* log, const WatchPacing& pacing, const WatchStep& step);

// Sleeps until due or until stopping() says so, whichever comes first; short slices
// keep the wake-up prompt.
void SleepUntil(std::chrono::steady_clock::time_point due, const std::function<bool()>& stopping);

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
