#pragma once
// The command line's side of an exchange: it holds what the window's panels would
// hold and records what the exchange shows, for printing afterwards.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "link/frame.h"
#include "link/port_list.h"
#include "link/transaction.h"
#include "panels/command_logic.h"

namespace tarnwick::cli {

// A shown value as a script reads it: a number, a check box, a text, or nothing
// (a field the reply leaves empty).
using FieldValue = std::variant<std::nullptr_t, bool, std::int64_t, std::string>;

struct ReportField {
  std::string label;  // the window's label: "Step count"
  std::string key;    // its JSON key: "step_count"
  std::string text;   // as the window shows it: "8000", "checked", "+50"
  FieldValue value;
};

// The fields each reply shows, keyed as in JSON. Scripts that watch or expect
// replies use the same keys.
std::vector<ReportField> FieldsOf(const panels::Cmd13Display& status);
std::vector<ReportField> FieldsOf(const panels::Cmd24Display& status);
std::vector<ReportField> FieldsOf(const panels::Cmd43Display& setup);
ReportField AddressField(const std::string& hexText);
nlohmann::ordered_json JsonOf(const FieldValue& value);
// The fields as one JSON object, each under its key with its typed value.
nlohmann::ordered_json FieldsJson(const std::vector<ReportField>& fields);
ReportField BaudrateField(int rate);

// What one run produced, in the order it is printed.
struct Report {
  std::optional<link::PortEntry> port;  // the port used, once one was chosen
  std::optional<link::Bytes> sent, received;
  std::optional<std::string> result;
  std::optional<int> deviceErrorCode;
  std::string detail;  // why the result or the error, when there is more to say
  std::string hint;    // what to try next
  std::vector<ReportField> fields;
  std::string error;   // for standard error
  int exitStatus = 0;
  std::optional<link::LineReport> line;  // what the driver made of --rs485 kernel
};

class CliHost final : public link::TransactionHost {
 public:
  // log: where the exchange's entries go; none when null.
  explicit CliHost(panels::CommandFieldSet fields, link::TrafficLog* log = nullptr)
      : fields_(std::move(fields)), log_(log) {}

  const Report& GetReport() const { return report_; }
  Report& MutableReport() { return report_; }

  std::uint8_t BuildCommand(link::CommandCode code, std::uint8_t replyFlag, std::span<std::uint8_t> out) override;
  bool ShowReply(link::CommandCode command, std::span<const std::uint8_t> data) override;

  void ClearOutputs() override { report_ = {}; }
  void ShowFrameBytes(std::span<const std::uint8_t> bytes, bool sent) override;
  void SetResultText(std::string_view text) override { report_.result = std::string(text); }
  void SetAddressText(const std::string& text) override { report_.fields.push_back(AddressField(text)); }
  void SelectBaudIndex(int index) override;
  void ShowInvalidParameter() override;
  void PortUnavailable(const std::string& path, const link::OpenError& error) override {
    report_.error = link::DescribeOpenError(path, error);
  }
  void LineControlled(const link::LineReport& report) override { report_.line = report; }
  link::TrafficLog* Traffic() override { return log_; }
  std::vector<std::string> DescribeReply(link::CommandCode command, std::span<const std::uint8_t> data) override;

 private:
  panels::CommandFieldSet fields_;
  std::string refusal_;  // why the panel refused its fields
  link::TrafficLog* log_;
  Report report_;
};

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
