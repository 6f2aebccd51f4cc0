#pragma once
// Runs a sequence's steps in order and writes their JUnit report. tarnwick-cli run
// and the window's sequence tool both run sequences through here, so a file gives
// the same verdicts and the same report in either.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "bench/sequence_file.h"
#include "link/traffic_log.h"

namespace tarnwick::bench {

struct StepOutcome {
  enum Verdict { Passed, Failed, Skipped } verdict = Skipped;
  std::string result;   // the last exchange's result
  std::string differs;  // why it failed
  std::string hint;     // what to try next, when it failed after "No response data"
  double seconds = 0;
  std::string stopped;  // why the run ended during the step: an error, not a failure
};

std::string VerdictText(StepOutcome::Verdict verdict);  // "pass", "FAIL", "skipped"

struct SequenceRunOptions {
  bool keepGoing = false;  // run the steps after a failed one
  link::TrafficLog* log = nullptr;
  // Why the run ends after the exchange under way (Ctrl+C, a lost log entry, Stop);
  // "" while it goes on. Asked before each exchange and during waits.
  std::function<std::string()> whyStopping = [] { return std::string(); };
  std::function<void(std::size_t step)> stepStarting = [](std::size_t) {};
  // Every step's outcome in order, the skipped ones too.
  std::function<void(std::size_t step, const StepOutcome& outcome)> stepDone = [](std::size_t, const StepOutcome&) {};
};

struct SequenceResult {
  std::vector<StepOutcome> outcomes;  // one per step
  bool failed = false;                // a step failed or the run was stopped
  std::string stopped;                // why the run was stopped, or ""
};

// A network port connects once for the whole run.
SequenceResult RunSteps(const std::vector<Step>& steps, const SequenceRunOptions& options);

// The report's suite: the file's name without its folder and extension.
std::string SuiteName(const std::string& sequencePath);
// One test case per step; a stopped step is an error, a failed one a failure.
std::string JUnitReport(const std::string& suite, const std::vector<Step>& steps,
                        const std::vector<StepOutcome>& outcomes);

}  // namespace tarnwick::bench
