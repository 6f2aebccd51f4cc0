#include "cli/timed_exchange.h"

#include <chrono>

#include "link/baud_rates.h"
#include "link/hex_text.h"

namespace tarnwick::cli {

void AddOutcome(Report& report, const link::ExchangeOutcome& outcome) {
  if (!outcome.detail.empty()) report.detail = outcome.detail;
  report.deviceErrorCode = outcome.deviceErrorCode;
  report.exitStatus = ExitStatusOf(outcome);
}

std::string HintFor(const link::ExchangeOutcome& outcome, const link::LineSettings& line) {
  if (outcome.result != link::result::kNoResponse) return {};
  const std::string address = link::FormatHexByte(link::ParseAddressText(line.addressText));
  return "no reply from address " + address + " at " + std::to_string(*link::BaudRateAt(line.baudIndex)) +
         " baud; 'tarnwick-cli scan' finds the boards on the line, or check the adapter's wiring (A, B, ground)";
}

TimedExchange RunTimedExchange(const link::LineSettings& line, const board::Command& command,
                               const board::FieldTexts& texts, link::TrafficLog* log) {
  link::LineSettings asked = line;
  asked.accept = link::ReplyAcceptance::Asked;
  const auto start = std::chrono::steady_clock::now();
  const board::ExchangeRecord record = board::SendCommand(asked, command, texts, log);
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  TimedExchange done{record.outcome, ReportOf(record, line.portPath), took.count()};
  done.report.hint = HintFor(record.outcome, line);
  AddOutcome(done.report, record.outcome);
  return done;
}

std::string OutcomeText(const TimedExchange& done) {
  if (!done.report.error.empty()) return done.report.error;
  return done.outcome.result.empty() ? "Sent" : done.outcome.result;
}

}  // namespace tarnwick::cli
