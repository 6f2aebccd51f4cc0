#include "cli/watch_command.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>

#include "bench/watch.h"
#include "cli/console.h"
#include "link/json_text.h"
#include "link/network_port.h"

namespace tarnwick::cli {
namespace {

using bench::MillisecondsText;
using bench::OutcomeText;
using bench::TimedExchange;
using bench::WatchCsvHeader;
using bench::WatchCsvRow;
using bench::WatchSummary;
using bench::WallClockText;
using bench::RunTimedExchange;
using bench::EndsTheWatch;

using Json = nlohmann::ordered_json;

std::string WallClock() { return WallClockText(std::chrono::system_clock::now()); }

double TenthsOfMs(double ms) { return std::round(ms * 10) / 10; }

class Printer {
 public:
  Printer(const WatchCommandLine& watch, const OutputMode& mode, const board::Command& command)
      : csv_(watch.csv), json_(mode.json), keys_(board::ReplyFieldKeys(command)) {}

  void Header() const {
    if (csv_) std::cout << WatchCsvHeader(keys_) << std::endl;
  }

  // A line per exchange; the hint of the first exchange that has one follows it.
  void Line(const TimedExchange& done) {
    const std::vector<ReportField>& fields = done.record.fields;
    const std::string hint = hinted_ ? "" : done.hint;
    hinted_ = hinted_ || !hint.empty();
    if (json_) {
      Json line;
      line["time"] = WallClock();
      line["round_trip_ms"] = TenthsOfMs(done.roundTripMs);
      line["result"] = OutcomeText(done);
      line["detail"] = done.Detail().empty() ? Json() : Json(done.Detail());
      line["fields"] = FieldsJson(fields);
      if (!hint.empty()) line["hint"] = hint;
      std::cout << link::JsonText(line) << std::endl;
    } else if (csv_) {
      std::cout << WatchCsvRow(WallClock(), done, keys_) << std::endl;
      if (!hint.empty()) std::cerr << "Hint: " << hint << std::endl;  // the CSV file stays one table
    } else {
      std::cout << WallClock() << "  " << std::setw(7) << MillisecondsText(done.roundTripMs) << " ms  "
                << OutcomeText(done);
      for (const ReportField& field : fields) std::cout << "  " << field.key << '=' << field.text;
      std::cout << std::endl;
      if (!hint.empty()) std::cout << "Hint: " << hint << std::endl;
    }
  }

  void Summarise(const WatchSummary& s) const {
    const double low = s.roundTrips.Min(), median = s.roundTrips.Median(), high = s.roundTrips.Max();
    if (json_) {
      Json summary;
      summary["exchanges"] = s.exchanges;
      summary["successes"] = s.successes;
      summary["failures"] = s.failures;
      summary["round_trip_ms"] = {{"min", TenthsOfMs(low)}, {"median", TenthsOfMs(median)}, {"max", TenthsOfMs(high)}};
      std::cout << link::JsonText(Json{{"summary", summary}}) << std::endl;
      return;
    }
    std::ostream& out = csv_ ? std::cerr : std::cout;  // a CSV file stays one table
    out << "--\n" << s.CountsText() << '\n' << s.RoundTripsText() << std::endl;
  }

 private:
  bool csv_, json_;
  std::vector<std::string> keys_;
  bool hinted_ = false;
};

int EndWithFailure(const Printer& printer, const WatchSummary& summary, const std::string& why, int status,
                   const OutputMode& mode) {
  if (summary.exchanges > 0) printer.Summarise(summary);
  return ReportFailure(why, status, mode, -1);  // JSON stays one object per line
}

// Ctrl+C ends a network port's waits (connecting, sending, reading): such an
// exchange did not fail, it was stopped, and the watch sums up without it.
bool CutShortByInterrupt(const TimedExchange& done) {
  const auto stage = done.Outcome().stage;
  return Interrupted() && (stage == link::ExchangeStage::PortUnavailable || stage == link::ExchangeStage::SendFailed ||
                           done.Outcome().detail == link::kNetworkWaitInterrupted);
}

}  // namespace

void AddWatch(CLI::App& app, WatchCommandLine& watch, OutputMode& mode, CheckedOptions& checked) {
  watch.app = app.add_subcommand("watch", "Repeat one command, a line per exchange, until Ctrl+C or --count");
  watch.app->fallthrough()->require_subcommand(0, 1);
  AddLineOptions(*watch.app, watch.line, checked);
  AddAddressOptions(*watch.app, watch.line, checked);
  AddAsTyped(*watch.app, mode);
  watch.line.readEnd = link::ReadEnd::Frame;
  AddReadEndOption(*watch.app, watch.line, checked);
  checked.Number(watch.app, "--interval", watch.intervalMs, "From the start of one exchange to the next, in ms",
                 {NumberKind::kDecimal, 0, 3'600'000});
  checked.Number(watch.app, "--count", watch.count, "Stop after this many exchanges (default: until Ctrl+C)",
                 {NumberKind::kDecimal, 1, 1'000'000'000});
  watch.app->add_flag("--csv", watch.csv, "Print comma-separated values with a header (the summary goes to stderr)");
  AddCommandSubcommands(*watch.app, watch.command, checked);
  watch.app->footer(Examples({"watch cmd13 --port sim0 --addr 01 --interval 200",
                              "watch cmd24 --port sim0 --addr 05 --interval 0 --count 100 --csv > status.csv"}) +
                    "\n\nEach line: time, round trip (port opening to the reply's end), result and the reply's "
                    "fields;\nwith --json one object per line, the summary last. Ctrl+C or --count ends it with a "
                    "summary.\nExit status: 0 every exchange succeeded, 1 any failed, 2 invalid options or no port given, 3 the "
                    "port cannot be opened.");
}

int RunWatch(const WatchCommandLine& watch, const OutputMode& mode) {
  const link::KeptNetworkConnections connectOnce;  // a network port: connect and negotiate once
  if (!watch.command.unknownCommand.empty())
    return RefuseInvocation("unknown command " + ShownValue(watch.command.unknownCommand) + "; one of " + CommandNames(), mode);
  const auto command = ChosenCommand(*watch.app, watch.command);
  if (!command) return RefuseInvocation("watch needs a command: one of " + CommandNames(), mode);
  if (watch.csv && mode.json) return RefuseInvocation("--csv and --json exclude each other", mode);
  const TrafficLogOption log = OpenTrafficLog(mode);
  if (!log.error.empty()) return RefuseInvocation(log.error, mode);
  std::string portError;
  const auto port = ChoosePort(watch.line, portError);
  if (!port) return RefuseInvocation(portError, mode);
  const link::LineSettings line = LineSettingsOf(watch.line, port->path);
  CatchInterrupt();
  Printer printer(watch, mode, *command);
  printer.Header();
  WatchSummary summary;
  std::optional<int> failed;
  const auto step = [&](TimedExchange done, double) {
    if (CutShortByInterrupt(done)) return false;
    if (EndsTheWatch(done.Outcome().stage)) {
      const std::string why = done.error.empty() ? "no port selected" : done.ErrorText();
      log.Close();
      failed = EndWithFailure(printer, summary, why, ExitStatusOf(done.Outcome()), mode);
      return false;
    }
    summary.Add(done);
    printer.Line(done);
    if (const std::string lost = log.Lost(); !lost.empty()) {
      failed = EndWithFailure(printer, summary, lost, 1, mode);
      return false;
    }
    return watch.count == 0 || summary.exchanges < watch.count;
  };
  const bench::WatchPacing pacing{[&watch] { return watch.intervalMs; }, [] { return Interrupted(); }};
  bench::RunWatchLoop(line, *command, watch.command.TextsOf(*command), log.get(), pacing, step);
  if (failed) return *failed;
  if (const std::string lost = log.Close(); !lost.empty()) return EndWithFailure(printer, summary, lost, 1, mode);
  printer.Summarise(summary);
  return summary.successes == summary.exchanges ? 0 : 1;
}

}  // namespace tarnwick::cli
