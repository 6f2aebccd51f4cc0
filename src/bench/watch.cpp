#include "bench/watch.h"

#include <algorithm>
#include <ctime>
#include <iomanip>
#include <sstream>
#include <thread>

namespace tarnwick::bench {
namespace {

// seconds as the local calendar time.
std::tm LocalTime(std::time_t seconds) {
  std::tm local{};
#ifdef _WIN32
  ::localtime_s(&local, &seconds);
#else
  ::localtime_r(&seconds, &local);
#endif
  return local;
}


std::string CsvCell(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

}  // namespace

void SleepUntil(std::chrono::steady_clock::time_point due, const std::function<bool()>& stopping) {
  using Clock = std::chrono::steady_clock;
  for (auto now = Clock::now(); now < due && !stopping(); now = Clock::now())
    std::this_thread::sleep_for(std::min<Clock::duration>(due - now, std::chrono::milliseconds(10)));
}

void RunWatchLoop(const link::LineSettings& line, const board::Command& command, const board::FieldTexts& texts,
                  link::TrafficLog* log, const WatchPacing& pacing, const WatchStep& step) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  auto due = start;
  while (!pacing.stopping()) {
    const std::chrono::duration<double> since = Clock::now() - start;  // when the board was asked
    if (!step(RunTimedExchange(line, command, texts, log), since.count())) return;
    due = std::max(due + std::chrono::milliseconds(pacing.intervalMs()), Clock::now());
    SleepUntil(due, pacing.stopping);
  }
}

void WatchSummary::Add(const TimedExchange& done) {
  ++exchanges;
  roundTrips.Add(done.roundTripMs);
  if (done.Succeeded()) ++successes;
  else ++failures[OutcomeText(done)];
}

std::string WatchSummary::CountsText() const {
  std::string text = std::to_string(exchanges) + " exchanges, " + std::to_string(successes) + " succeeded";
  for (const auto& [result, count] : failures) text += ", " + std::to_string(count) + " " + result;
  return text;
}

std::string WatchSummary::RoundTripsText() const {
  return "round trip ms: min " + MillisecondsText(roundTrips.Min()) + ", median " +
         MillisecondsText(roundTrips.Median()) + ", max " + MillisecondsText(roundTrips.Max());
}

bool EndsTheWatch(link::ExchangeStage stage) {
  return stage == link::ExchangeStage::InvalidParameter || stage == link::ExchangeStage::NoPortSelected ||
         stage == link::ExchangeStage::PortUnavailable;
}

std::string WallClockText(std::chrono::system_clock::time_point when) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() % 1000;
  const std::tm local = LocalTime(seconds);
  std::ostringstream text;
  text << std::put_time(&local, "%H:%M:%S") << '.' << std::setw(3) << std::setfill('0') << ms;
  return text.str();
}

std::string MillisecondsText(double ms) {
  std::ostringstream text;
  text << std::fixed << std::setprecision(1) << ms;
  return text.str();
}

std::string WatchCsvHeader(const std::vector<std::string>& keys) {
  std::string header = "time,round_trip_ms,result";
  for (const auto& key : keys) header += ',' + key;
  return header;
}

std::string WatchCsvRow(const std::string& time, const TimedExchange& done, const std::vector<std::string>& keys) {
  const std::vector<board::DecodedField>& fields = done.record.fields;
  std::string row = time + ',' + MillisecondsText(done.roundTripMs) + ',' + CsvCell(OutcomeText(done));
  for (const auto& key : keys) {
    const auto found = std::find_if(fields.begin(), fields.end(), [&](const board::DecodedField& f) { return f.key == key; });
    row += ',' + (found == fields.end() ? std::string() : CsvCell(found->text));
  }
  return row;
}

}  // namespace tarnwick::bench
