#include "cli/run_command.h"

#include <cmath>
#include <iostream>

#include "bench/sequence_file.h"
#include "bench/sequence_run.h"
#include "cli/console.h"
#include "link/json_text.h"
#include "link/record_file.h"

namespace tarnwick::cli {
namespace {

using bench::InvalidSequence;
using bench::SequenceResult;
using bench::SequenceRunOptions;
using bench::Step;
using bench::StepOutcome;
using bench::VerdictText;
using bench::SuiteName;
using bench::JUnitReport;
using bench::RunSteps;
using bench::PlacedReason;

using Json = nlohmann::ordered_json;

// Ctrl+C, or a log that lost an entry, ends the run after the exchange under way: why, or "".
std::string WhyStopping(const TrafficLogOption& log) { return Interrupted() ? "interrupted" : log.Lost(); }

void PrintStep(std::size_t index, const Step& step, const StepOutcome& outcome) {
  std::cout << "step " << index + 1 << "  " << step.title;
  if (step.repeat > 1) std::cout << " x" << step.repeat;
  if (!outcome.result.empty()) std::cout << "  " << outcome.result;
  std::cout << "  " << VerdictText(outcome.verdict);
  if (!outcome.differs.empty()) std::cout << "  " << outcome.differs;
  std::cout << std::endl;
  if (!outcome.hint.empty()) std::cout << "  Hint: " << outcome.hint << std::endl;
}

Json StepJson(std::size_t index, const Step& step, const StepOutcome& outcome) {
  Json json;
  json["step"] = index + 1;
  json["line"] = step.line;
  json["title"] = step.title;
  json["repeat"] = step.repeat;
  json["result"] = outcome.result.empty() ? Json() : Json(outcome.result);
  json["verdict"] = Lowercase(VerdictText(outcome.verdict));
  json["differs"] = outcome.differs.empty() ? Json() : Json(outcome.differs);
  json["hint"] = outcome.hint.empty() ? Json() : Json(outcome.hint);
  json["seconds"] = std::round(outcome.seconds * 1000) / 1000;
  return json;
}

// The report's file, checked before any step runs: a FIFO or a device is refused then.
struct JUnitTarget {
  std::optional<link::RecordFile> file;
  std::string error;
};

JUnitTarget OpenJUnit(const RunCommandLine& run) {
  JUnitTarget target;
  if (!run.junit.empty()) target.file = link::RecordFile::Open(run.junit, "the report", target.error);
  return target;
}

// "" when the report is written whole; why not otherwise.
std::string WriteJUnit(const RunCommandLine& run, JUnitTarget& target, const std::vector<Step>& steps,
                       const std::vector<StepOutcome>& outcomes) {
  if (!target.file) return {};
  const std::string xml = JUnitReport(SuiteName(run.sequence), steps, outcomes);
  return target.file->Replace(xml) && target.file->Close() ? "" : target.file->Error();
}

// --rs485 (with its delays) and --echo, where the command line gives them, for every step.
void ApplyLineOptions(const RunCommandLine& run, std::vector<Step>& steps) {
  const bool direction = run.app->get_option("--rs485")->count() > 0, echo = run.app->get_option("--echo")->count() > 0;
  for (Step& step : steps) {
    if (direction) step.settings.direction = run.line.direction;
    if (echo) step.settings.echo = run.line.echo;
  }
}

}  // namespace

void AddRun(CLI::App& app, RunCommandLine& run, CheckedOptions& checked) {
  run.app = app.add_subcommand("run", "Run a test sequence written in YAML (see examples/)");
  run.app->fallthrough();
  run.app->add_option("SEQUENCE", run.sequence, "The sequence file")->required()->type_name("FILE");
  run.app->add_option("--junit", run.junit, "Also write a JUnit XML report, one test case per step")->type_name("FILE");
  run.app->add_option("--port", run.port, "Port name, device path or network port (rfc2217://HOST:PORT); overrides the file's port");
  run.app->add_flag("--keep-going", run.keepGoing, "Run the remaining steps after one fails");
  AddDirectionOptions(*run.app, run.line, checked);
  run.app->footer(Examples({"run examples/setup_and_status.yaml --port sim0 --junit report.xml"}) +
                  "\n\nA line per step: its number, command, result, pass or FAIL, and what differed.\n"
                  "Exit status: 0 every step passed, 1 a step failed, 2 the sequence is not valid or no port given.");
}

int RunSequence(const RunCommandLine& run, const OutputMode& mode) {
  std::vector<Step> steps;
  try {
    steps = bench::ParseSequence(run.sequence, run.port, ChoosePort);
  } catch (const InvalidSequence& invalid) {
    return RefuseInvocation(PlacedReason(run.sequence, invalid), mode);
  }
  ApplyLineOptions(run, steps);
  const TrafficLogOption log = OpenTrafficLog(mode);
  if (!log.error.empty()) return RefuseInvocation(log.error, mode);
  JUnitTarget junit = OpenJUnit(run);
  if (!junit.error.empty()) return RefuseInvocation(junit.error, mode);
  CatchInterrupt();
  Json stepsJson = Json::array();
  SequenceRunOptions options;
  options.keepGoing = run.keepGoing;
  options.log = log.get();
  options.whyStopping = [&log] { return WhyStopping(log); };
  options.stepDone = [&](std::size_t i, const StepOutcome& outcome) {
    if (mode.json) stepsJson.push_back(StepJson(i, steps[i], outcome));
    else PrintStep(i, steps[i], outcome);
  };
  const SequenceResult result = RunSteps(steps, options);
  std::string error = result.stopped.empty() ? WhyStopping(log) : result.stopped;
  for (const std::string& lost : {log.Close(), WriteJUnit(run, junit, steps, result.outcomes)})
    if (!lost.empty() && lost != error) error += (error.empty() ? "" : "; ") + lost;
  const int status = result.failed || !error.empty() ? 1 : 0;
  if (mode.json) {
    Json summary{{"sequence", run.sequence}, {"steps", stepsJson}, {"exit_status", status}};
    if (!error.empty()) summary["error"] = error;
    std::cout << link::JsonText(summary, 2) << "\n";
  } else if (!error.empty()) {
    std::cerr << kProgram << ": " << error << "\n";
  }
  return status;
}

}  // namespace tarnwick::cli
