#pragma once
// What the command line prints of an exchange: its report, as text or JSON.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "bench/timed_exchange.h"
#include "board/exchange.h"
#include "link/frame.h"
#include "link/port_list.h"
#include "link/transaction.h"

namespace tarnwick::cli {

// A reply's field as printed: its label, JSON key, shown text and typed value.
using ReportField = board::DecodedField;
using bench::FieldsJson;
using bench::JsonOf;

// What one run produced, in the order it is printed.
struct Report {
  std::optional<link::PortEntry> port;  // the port used, once one was chosen
  std::optional<link::Bytes> sent, received;
  std::optional<std::string> result;
  std::optional<int> deviceErrorCode;
  std::string detail;  // why the result or the error, when there is more to say
  std::string hint;    // what to try next
  std::string replyMismatch;  // how the reply differs from the one asked for (board::ExchangeRecord)
  std::vector<ReportField> fields;
  std::string error;   // for standard error
  int exitStatus = 0;
  std::optional<link::LineReport> line;  // what the driver made of --rs485 kernel
};

// What an exchange's record comes to for printing: the frames, the result, the
// fields the reply filled, and why it stopped short (portPath names the port in
// an open error).
Report ReportOf(const board::ExchangeRecord& record, const std::string& portPath);
// The outcome's part of a report: the detail, the device error's code, the exit status.
void AddOutcome(Report& report, const link::ExchangeOutcome& outcome);
// A timed exchange's whole report: its record's, its hint, its outcome's.
Report ReportOf(const bench::TimedExchange& done, const std::string& portPath);

// Exit status: 0 sent (and, where a reply was awaited, "Success"); 1 any other
// result; 2 invalid or missing parameters; 3 the port cannot be opened (or, here, none was given).
int ExitStatusOf(const link::ExchangeOutcome& outcome);

// Lines for people: "Port: ...", "Send Data: ...", "Result: ...", one per field.
std::string FormatText(const Report& report);
// The error line for standard error, with its detail when there is no result.
std::string FormatError(const Report& report);
// "Line: RS-485 by the driver: ..." for standard error, where the driver's mode was asked for; "" otherwise.
std::string FormatLineNote(const Report& report);
// The driver's RS-485 settings as applied, and what it changed from those asked.
nlohmann::ordered_json LineJson(const link::LineReport& line);
// One JSON object, the same facts; every key is always present.
std::string FormatJson(const Report& report);
// Every JSON the command line prints: one object a run, indented.
std::string JsonText(const nlohmann::ordered_json& json);

}  // namespace tarnwick::cli
