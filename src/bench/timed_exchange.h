#pragma once
// One exchange as the bench's loops run it (watch, sequences, the window's tools):
// timed, with what it came to and what to try next. Front ends read it; the
// command line turns it into its report and exit status.

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "board/codec.h"
#include "board/exchange.h"
#include "link/transaction.h"

namespace tarnwick::bench {

// What to try next after the outcome: after "No response data", the address and
// rate that were asked and how to find the boards; "" otherwise.
std::string HintFor(const link::ExchangeOutcome& outcome, const link::LineSettings& line);

// Why the exchange stopped before the line: the port would not open (portPath
// names it) or a field was refused; "" otherwise.
std::string StopError(const board::ExchangeRecord& record, const std::string& portPath);

// Whether an exchange did what was asked: sent, and where a reply was awaited,
// "Success".
bool Succeeded(const link::ExchangeOutcome& outcome);

// A shown value as a script reads it, and the fields as one JSON object, each
// under its key.
nlohmann::ordered_json JsonOf(const board::FieldValue& value);
nlohmann::ordered_json FieldsJson(const std::vector<board::DecodedField>& fields);

// One exchange of a command and how long it took, port opening to reply. Only the
// reply asked for counts (link::ReplyAcceptance::Asked): a loop's verdicts must not
// rest on another board's late reply.
struct TimedExchange {
  board::ExchangeRecord record;
  std::string error;  // StopError's
  std::string hint;   // HintFor's
  double roundTripMs = 0;

  const link::ExchangeOutcome& Outcome() const { return record.outcome; }
  bool Succeeded() const { return bench::Succeeded(record.outcome); }
  // The error with its detail where no result came: "Invalid parameter: ...".
  std::string ErrorText() const;
  // Why the result or the error, when there is more to say: the outcome's detail,
  // else why a field was refused.
  std::string Detail() const;
};
TimedExchange RunTimedExchange(const link::LineSettings& line, const board::Command& command,
                               const board::FieldTexts& texts, link::TrafficLog* log);

// What an exchange came to in one word or line: the result, "Sent", or the error.
std::string OutcomeText(const TimedExchange& done);

}  // namespace tarnwick::bench
