// An idle seconds clock: how often its threads wake, and how close each tick
// lands to the start of a system second.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/current_second.h"

namespace {

using namespace std::chrono;

std::set<std::string> TaskIds() {
  std::set<std::string> ids;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
    ids.insert(entry.path().filename().string());
  }
  return ids;
}

// Voluntary context switches: each one is a sleep that ends in a wake-up.
long VoluntarySwitches(const std::set<std::string>& taskIds) {
  long total = 0;
  for (const auto& id : taskIds) {
    std::ifstream status("/proc/self/task/" + id + "/status");
    std::string key;
    long value = 0;
    while (status >> key) {
      if (key == "voluntary_ctxt_switches:" && status >> value) total += value;
    }
  }
  return total;
}

// Signed distance of `time` from the nearest start of a second, in ms.
double OffsetFromSecondBoundaryMs(system_clock::time_point time) {
  const auto sinceEpoch = time.time_since_epoch();
  const auto intoSecond = duration<double, std::milli>(sinceEpoch - floor<seconds>(sinceEpoch)).count();
  return intoSecond < 500.0 ? intoSecond : intoSecond - 1000.0;
}

double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return NAN;
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

void BM_IdleClock(benchmark::State& state) {
  const auto observed = seconds(state.range(0));
  for (auto _ : state) {
    const auto tasksBefore = TaskIds();
    RavLib::CCurrentSecond clock;
    std::this_thread::sleep_for(1500ms);  // aligned and ticking
    std::set<std::string> clockTasks;
    for (const auto& id : TaskIds()) {
      if (!tasksBefore.contains(id)) clockTasks.insert(id);
    }

    const long switchesBefore = VoluntarySwitches(clockTasks);
    std::vector<double> tickOffsetsMs;
    std::int64_t lastValue = clock.Value();
    const auto start = steady_clock::now();
    // Polling every millisecond from this thread, which is not one of the clock's.
    while (steady_clock::now() - start < observed) {
      std::this_thread::sleep_for(1ms);
      if (const auto value = clock.Value(); value != lastValue) {
        tickOffsetsMs.push_back(OffsetFromSecondBoundaryMs(system_clock::now()));
        lastValue = value;
      }
    }
    const double elapsedSeconds = duration<double>(steady_clock::now() - start).count();
    const long wakeUps = VoluntarySwitches(clockTasks) - switchesBefore;

    std::vector<double> absoluteOffsetsMs;
    for (double offset : tickOffsetsMs) absoluteOffsetsMs.push_back(std::abs(offset));
    state.counters["clock_threads"] = static_cast<double>(clockTasks.size());
    state.counters["ticks"] = static_cast<double>(tickOffsetsMs.size());
    state.counters["wakeups_per_s"] = static_cast<double>(wakeUps) / elapsedSeconds;
    state.counters["wakeups_per_tick"] =
        tickOffsetsMs.empty() ? NAN : static_cast<double>(wakeUps) / static_cast<double>(tickOffsetsMs.size());
    state.counters["offset_median_ms"] = Percentile(tickOffsetsMs, 0.5);
    state.counters["offset_min_ms"] = Percentile(tickOffsetsMs, 0.0);
    state.counters["offset_max_ms"] = Percentile(tickOffsetsMs, 1.0);
    state.counters["abs_offset_median_ms"] = Percentile(absoluteOffsetsMs, 0.5);
    state.counters["abs_offset_p90_ms"] = Percentile(absoluteOffsetsMs, 0.9);
  }
}

BENCHMARK(BM_IdleClock)->Arg(30)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
