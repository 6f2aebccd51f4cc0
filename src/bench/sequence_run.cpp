#include "bench/sequence_run.h"

#include <algorithm>
#include <chrono>
#include <sstream>

#include "bench/timed_exchange.h"
#include "bench/watch.h"
#include "link/field_text.h"
#include "link/json_text.h"
#include "link/network_port.h"

namespace tarnwick::bench {
namespace {

// True when the expected text names the field's value: its typed value as a
// sequence writes it (true, 20000, D-C, null), or the text the window shows.
bool Matches(const board::DecodedField& field, const std::string& want) {
  if (want == field.text) return true;
  if (const auto* flag = std::get_if<bool>(&field.value)) return want == (*flag ? "true" : "false");
  if (const auto* number = std::get_if<std::int64_t>(&field.value)) return want == std::to_string(*number);
  if (const auto* physical = std::get_if<double>(&field.value)) {
    const auto wanted = link::ReadFieldDecimal(want, link::Reading::Exact);  // 21.50 names 21.5
    return wanted && *wanted == *physical;
  }
  return std::holds_alternative<std::nullptr_t>(field.value) && want == "null";
}

// What differs from the expectations; empty when all hold. Without expectations,
// anything but success differs.
std::string Differences(const Step& step, const TimedExchange& done) {
  if (step.expect.empty()) return done.Succeeded() ? "" : "result " + OutcomeText(done);
  std::string differs;
  for (const auto& [key, want] : step.expect) {
    std::string got = "nothing";
    bool same = false;
    if (key == "result") {
      got = OutcomeText(done);
      same = got == want;
    }
    for (const board::DecodedField& field : done.record.fields) {
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

StepOutcome RunStep(const Step& step, const SequenceRunOptions& options) {
  const auto start = std::chrono::steady_clock::now();
  StepOutcome outcome;
  outcome.verdict = StepOutcome::Passed;
  if (!step.command)
    SleepUntil(start + std::chrono::milliseconds(step.waitMs), [&options] { return !options.whyStopping().empty(); });
  for (int i = 0; step.command && i < step.repeat && outcome.verdict == StepOutcome::Passed; ++i) {
    outcome.stopped = options.whyStopping();
    if (!outcome.stopped.empty()) break;
    const TimedExchange done = RunTimedExchange(step.settings, *step.command, step.fields, options.log);
    outcome.result = OutcomeText(done);
    outcome.differs = Differences(step, done);
    if (!outcome.differs.empty()) {
      outcome.verdict = StepOutcome::Failed;
      outcome.hint = done.hint;
      if (step.repeat > 1) outcome.differs = "repetition " + std::to_string(i + 1) + ": " + outcome.differs;
    }
  }
  if (!step.command) outcome.stopped = options.whyStopping();
  if (!outcome.stopped.empty()) {
    outcome.verdict = StepOutcome::Failed;
    outcome.differs = outcome.stopped;
    outcome.hint.clear();
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return outcome;
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

}  // namespace

std::string VerdictText(StepOutcome::Verdict verdict) {
  switch (verdict) {
    case StepOutcome::Passed: return "pass";
    case StepOutcome::Failed: return "FAIL";
    default: return "skipped";
  }
}

SequenceResult RunSteps(const std::vector<Step>& steps, const SequenceRunOptions& options) {
  const link::KeptNetworkConnections connectOnce;
  SequenceResult run;
  run.outcomes.resize(steps.size());
  for (std::size_t i = 0; i < steps.size(); ++i) {
    if ((!run.failed || options.keepGoing) && run.stopped.empty()) {
      options.stepStarting(i);
      run.outcomes[i] = RunStep(steps[i], options);
    }
    run.failed = run.failed || run.outcomes[i].verdict == StepOutcome::Failed;
    if (run.stopped.empty()) run.stopped = run.outcomes[i].stopped;
    options.stepDone(i, run.outcomes[i]);
  }
  return run;
}

std::string SuiteName(const std::string& sequencePath) {
  const auto slash = sequencePath.find_last_of('/');
  std::string name = slash == std::string::npos ? sequencePath : sequencePath.substr(slash + 1);
  const auto dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
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

}  // namespace tarnwick::bench
