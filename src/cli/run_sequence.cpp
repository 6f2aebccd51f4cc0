#include "cli/run_sequence.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>

#include "cli/console.h"
#include "cli/sequence_file.h"
#include "link/json_text.h"
#include "link/network_port.h"
#include "link/record_file.h"

namespace tarnwick::cli {
namespace {

using Json = nlohmann::ordered_json;

struct StepOutcome {
  enum Verdict { Passed, Failed, Skipped } verdict = Skipped;
  std::string result;   // the last exchange's result
  std::string differs;  // why it failed
  std::string hint;     // what to try next, when it failed after "No response data"
  double seconds = 0;
  std::string stopped;  // why the run ended during the step: an error, not a failure
};

// Ctrl+C, or a log that lost an entry, ends the run after the exchange under way: why, or "".
std::string WhyStopping(const TrafficLogOption& log) { return Interrupted() ? "interrupted" : log.Lost(); }

// True when the expected text names the field's value: its typed value as a
// sequence writes it (true, 20000, D-C, null), or the text the window shows.
bool Matches(const ReportField& field, const std::string& want) {
  if (want == field.text) return true;
  if (const auto* flag = std::get_if<bool>(&field.value)) return want == (*flag ? "true" : "false");
  if (const auto* number = std::get_if<std::int64_t>(&field.value)) return want == std::to_string(*number);
  return std::holds_alternative<std::nullptr_t>(field.value) && want == "null";
}

// What differs from the expectations; empty when all hold. Without expectations,
// anything but success differs.
std::string Differences(const Step& step, const TimedExchange& done) {
  if (step.expect.empty()) return done.report.exitStatus == 0 ? "" : "result " + OutcomeText(done);
  std::string differs;
  for (const auto& [key, want] : step.expect) {
    std::string got = "nothing";
    bool same = false;
    if (key == "result") {
      got = OutcomeText(done);
      same = got == want;
    }
    for (const ReportField& field : done.report.fields) {
      if (field.key != key) continue;
      got = link::JsonText(JsonOf(field.value));
      same = Matches(field, want);
    }
    if (same) continue;
    if (!differs.empty()) differs += "; ";
    differs += key + ": expected " + want + ", got " + got;
  }
  return differs;
}

StepOutcome RunStep(const Step& step, const TrafficLogOption& log) {
  const auto start = std::chrono::steady_clock::now();
  StepOutcome outcome;
  outcome.verdict = StepOutcome::Passed;
  if (!step.command) SleepUnlessInterrupted(std::chrono::milliseconds(step.waitMs));
  for (int i = 0; step.command && i < step.repeat && outcome.verdict == StepOutcome::Passed; ++i) {
    outcome.stopped = WhyStopping(log);
    if (!outcome.stopped.empty()) break;
    const TimedExchange done = RunTimedExchange(step.settings, *step.command, step.fields, log.get());
    outcome.result = OutcomeText(done);
    outcome.differs = Differences(step, done);
    if (!outcome.differs.empty()) {
      outcome.verdict = StepOutcome::Failed;
      outcome.hint = done.report.hint;
      if (step.repeat > 1) outcome.differs = "repetition " + std::to_string(i + 1) + ": " + outcome.differs;
    }
  }
  if (!step.command) outcome.stopped = WhyStopping(log);
  if (!outcome.stopped.empty()) {
    outcome.verdict = StepOutcome::Failed;
    outcome.differs = outcome.stopped;
    outcome.hint.clear();
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return outcome;
}

std::string VerdictText(StepOutcome::Verdict verdict) {
  switch (verdict) {
    case StepOutcome::Passed: return "pass";
    case StepOutcome::Failed: return "FAIL";
    default: return "skipped";
  }
}

void PrintStep(std::size_t index, const Step& step, const StepOutcome& outcome) {
  std::cout << "step " << index + 1 << "  " << step.title;
  if (step.repeat > 1) std::cout << " x" << step.repeat;
  if (!outcome.result.empty()) std::cout << "  " << outcome.result;
  std::cout << "  " << VerdictText(outcome.verdict);
  if (!outcome.differs.empty()) std::cout << "  " << outcome.differs;
  std::cout << std::endl;
  if (!outcome.hint.empty()) std::cout << "  Hint: " << outcome.hint << std::endl;
}

std::string Xml(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&': escaped += "&amp;"; break;
      case '<': escaped += "&lt;"; break;
      case '>': escaped += "&gt;"; break;
      case '"': escaped += "&quot;"; break;
      default: escaped += c;
    }
  }
  return escaped;
}

std::string JUnitReport(const std::string& suite, const std::vector<Step>& steps,
                        const std::vector<StepOutcome>& outcomes) {
  const auto count = [&](auto holds) { return std::count_if(outcomes.begin(), outcomes.end(), holds); };
  const auto errors = count([](const StepOutcome& o) { return !o.stopped.empty(); });
  const auto failures = count([](const StepOutcome& o) { return o.verdict == StepOutcome::Failed; }) - errors;
  const auto skipped = count([](const StepOutcome& o) { return o.verdict == StepOutcome::Skipped; });
  double seconds = 0;
  for (const auto& o : outcomes) seconds += o.seconds;
  std::ostringstream xml;
  xml << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<testsuites tests=\"" << steps.size() << "\" failures=\"" << failures << "\" errors=\"" << errors << "\">\n"
      << "  <testsuite name=\"" << Xml(suite) << "\" tests=\"" << steps.size() << "\" failures=\"" << failures
      << "\" errors=\"" << errors << "\" skipped=\"" << skipped << "\" time=\"" << seconds << "\">\n";
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const StepOutcome& o = outcomes[i];
    xml << "    <testcase classname=\"" << Xml(suite) << "\" name=\"step " << i + 1 << ": " << Xml(steps[i].title)
        << "\" time=\"" << o.seconds << "\"";
    if (o.verdict == StepOutcome::Passed) {
      xml << "/>\n";
      continue;
    }
    xml << ">\n";
    if (!o.stopped.empty())
      xml << "      <error message=\"" << Xml(o.stopped) << "\">line " << steps[i].line << ": " << Xml(o.stopped)
          << "</error>\n";
    else if (o.verdict == StepOutcome::Failed)
      xml << "      <failure message=\"" << Xml(o.differs) << "\">line " << steps[i].line << ": " << Xml(o.differs)
          << (o.hint.empty() ? "" : "\nHint: " + Xml(o.hint)) << "</failure>\n";
    else
      xml << "      <skipped message=\"an earlier step failed or the run ended\"/>\n";
    xml << "    </testcase>\n";
  }
  xml << "  </testsuite>\n</testsuites>\n";
  return xml.str();
}

std::string SuiteName(const std::string& path) {
  const auto slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const auto dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
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

}  // namespace

void AddRun(CLI::App& app, RunCommandLine& run) {
  run.app = app.add_subcommand("run", "Run a test sequence written in YAML (see examples/)");
  run.app->fallthrough();
  run.app->add_option("SEQUENCE", run.sequence, "The sequence file")->required()->type_name("FILE");
  run.app->add_option("--junit", run.junit, "Also write a JUnit XML report, one test case per step")->type_name("FILE");
  run.app->add_option("--port", run.port, "Port name, device path or network port (rfc2217://HOST:PORT); overrides the file's port");
  run.app->add_flag("--keep-going", run.keepGoing, "Run the remaining steps after one fails");
  run.app->footer(Examples({"run examples/setup_and_status.yaml --port sim0 --junit report.xml"}) +
                  "\n\nA line per step: its number, command, result, pass or FAIL, and what differed.\n"
                  "Exit status: 0 every step passed, 1 a step failed, 2 the sequence is not valid or no port given.");
}

int RunSequence(const RunCommandLine& run, const OutputMode& mode) {
  const link::KeptNetworkConnections connectOnce;  // a network port: connect and negotiate once
  std::vector<Step> steps;
  try {
    steps = ParseSequence(run.sequence, run.port);
  } catch (const InvalidSequence& e) {
    std::string place = e.line > 0 ? ":" + std::to_string(e.line) : "";
    if (e.column > 0) place += ":" + std::to_string(e.column);
    return RefuseInvocation(run.sequence + place + ": " + e.reason, mode);
  }
  const TrafficLogOption log = OpenTrafficLog(mode);
  if (!log.error.empty()) return RefuseInvocation(log.error, mode);
  JUnitTarget junit = OpenJUnit(run);
  if (!junit.error.empty()) return RefuseInvocation(junit.error, mode);
  CatchInterrupt();
  std::vector<StepOutcome> outcomes(steps.size());
  Json stepsJson = Json::array();
  bool failed = false;
  std::string stopped;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    if ((!failed || run.keepGoing) && stopped.empty()) outcomes[i] = RunStep(steps[i], log);
    failed = failed || outcomes[i].verdict == StepOutcome::Failed;
    if (stopped.empty()) stopped = outcomes[i].stopped;
    if (mode.json) stepsJson.push_back(StepJson(i, steps[i], outcomes[i]));
    else PrintStep(i, steps[i], outcomes[i]);
  }
  std::string error = stopped.empty() ? WhyStopping(log) : stopped;
  for (const std::string& lost : {log.Close(), WriteJUnit(run, junit, steps, outcomes)})
    if (!lost.empty() && lost != error) error += (error.empty() ? "" : "; ") + lost;
  const int status = failed || !error.empty() ? 1 : 0;
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
