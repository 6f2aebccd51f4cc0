#pragma once
// One exchange as the command line's loops run it (watch, scan, run) and the
// window's bench tools too: timed, with its report and what to try next.

#include <string>

#include "board/exchange.h"
#include "cli/cli_host.h"
#include "link/transaction.h"

namespace tarnwick::cli {

// What to try next after the outcome: after "No response data", the address and
// rate that were asked and how to find the boards; "" otherwise.
std::string HintFor(const link::ExchangeOutcome& outcome, const link::LineSettings& line);

// What the exchange's outcome adds to its report: the detail, the device error's
// code, the exit status.
void AddOutcome(Report& report, const link::ExchangeOutcome& outcome);

// One exchange of a command and how long it took, port opening to reply, with
// AddOutcome's part of the report. Only the reply asked for counts
// (link::ReplyAcceptance::Asked): a loop's verdicts must not rest on another
// board's late reply.
struct TimedExchange {
  link::ExchangeOutcome outcome;
  Report report;
  double roundTripMs = 0;
};
TimedExchange RunTimedExchange(const link::LineSettings& line, const board::Command& command,
                               const board::FieldTexts& texts, link::TrafficLog* log);

// What an exchange came to in one word or line: the result, "Sent", or the error.
std::string OutcomeText(const TimedExchange& done);

}  // namespace tarnwick::cli
