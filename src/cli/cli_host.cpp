#include "cli_host.h"

#include <nlohmann/json.hpp>

#include "link/baud_rates.h"
#include "link/hex_text.h"
#include "link/json_text.h"

namespace tarnwick::cli {
namespace {

using Json = nlohmann::ordered_json;

Json BytesJson(const std::optional<link::Bytes>& bytes) { return bytes ? Json(*bytes) : Json(nullptr); }
Json DumpJson(const std::optional<link::Bytes>& bytes) {
  return bytes ? Json(link::FormatHexDump(*bytes)) : Json(nullptr);
}
Json TextOrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

}  // namespace

Report ReportOf(const board::ExchangeRecord& record, const std::string& portPath) {
  using link::ExchangeStage;
  Report report;
  report.sent = record.sent;
  report.received = record.received;
  const ExchangeStage stage = record.outcome.stage;
  if (stage == ExchangeStage::ReplyEvaluated || stage == ExchangeStage::SendFailed) report.result = record.outcome.result;
  report.fields = record.fields;
  report.error = bench::StopError(record, portPath);
  if (stage == ExchangeStage::InvalidParameter) report.detail = record.refusal;
  report.line = record.line;
  report.replyMismatch = record.replyMismatch;
  return report;
}

void AddOutcome(Report& report, const link::ExchangeOutcome& outcome) {
  if (!outcome.detail.empty()) report.detail = outcome.detail;
  report.deviceErrorCode = outcome.deviceErrorCode;
  report.exitStatus = ExitStatusOf(outcome);
}

Report ReportOf(const bench::TimedExchange& done, const std::string& portPath) {
  Report report = ReportOf(done.record, portPath);
  report.hint = done.hint;
  AddOutcome(report, done.record.outcome);
  return report;
}

int ExitStatusOf(const link::ExchangeOutcome& outcome) {
  using link::ExchangeStage;
  switch (outcome.stage) {
    case ExchangeStage::NoPortSelected:
    case ExchangeStage::PortUnavailable: return 3;
    case ExchangeStage::InvalidParameter: return 2;
    case ExchangeStage::SendFailed: return 1;
    case ExchangeStage::NothingToSend:
    case ExchangeStage::Sent: return 0;
    case ExchangeStage::ReplyEvaluated: return outcome.result == link::result::kSuccess ? 0 : 1;
  }
  return 1;
}

std::string FormatText(const Report& report) {
  std::string text;
  const auto line = [&](std::string_view label, const std::string& value) {
    text.append(label).append(":");
    if (!value.empty()) text.append(" ").append(value);
    text += '\n';
  };
  if (report.port) line("Port", report.port->name + " (" + report.port->path + ")");
  if (report.sent) line("Send Data", link::FormatHexDump(*report.sent));
  if (report.received) line("Recv Data", link::FormatHexDump(*report.received));
  if (report.result) {
    const std::string code = report.deviceErrorCode ? " (code " + std::to_string(*report.deviceErrorCode) + ")" : "";
    line("Result", *report.result + code);
    if (!report.detail.empty()) line("Detail", report.detail);
    if (!report.hint.empty()) line("Hint", report.hint);
    if (!report.replyMismatch.empty()) line("Mismatch", report.replyMismatch);
  }
  for (const ReportField& field : report.fields) line(field.label, field.text);
  return text;
}

std::string FormatError(const Report& report) {
  if (report.error.empty()) return {};
  const bool detailed = !report.result && !report.detail.empty();
  return report.error + (detailed ? ": " + report.detail : "");
}

std::string FormatJson(const Report& report) {
  Json json;
  json["port"] = report.port ? Json{{"name", report.port->name}, {"path", report.port->path}} : Json(nullptr);
  json["send_data"] = DumpJson(report.sent);
  json["send_bytes"] = BytesJson(report.sent);
  json["recv_data"] = DumpJson(report.received);
  json["recv_bytes"] = BytesJson(report.received);
  json["result"] = report.result ? Json(*report.result) : Json(nullptr);
  json["device_error_code"] = report.deviceErrorCode ? Json(*report.deviceErrorCode) : Json(nullptr);
  json["detail"] = TextOrNull(report.detail);
  json["reply_mismatch"] = TextOrNull(report.replyMismatch);
  json["hint"] = TextOrNull(report.hint);
  json["fields"] = FieldsJson(report.fields);
  json["error"] = TextOrNull(report.error);
  json["line"] = report.line ? LineJson(*report.line) : Json(nullptr);
  json["exit_status"] = report.exitStatus;
  return JsonText(json);
}

Json LineJson(const link::LineReport& line) {
  namespace flag = link::rs485_flag;
  const link::Rs485Config& applied = line.applied;
  Json json;
  json["rs485"] = std::string(link::NameOf(line.control));
  json["enabled"] = (applied.flags & flag::kEnabled) != 0;
  json["rts_on_send"] = (applied.flags & flag::kRtsOnSend) != 0;
  json["rts_after_send"] = (applied.flags & flag::kRtsAfterSend) != 0;
  json["rx_during_tx"] = (applied.flags & flag::kRxDuringTx) != 0;
  json["delay_before_ms"] = applied.delayBeforeMs;
  json["delay_after_ms"] = applied.delayAfterMs;
  json["changed"] = line.changes;
  return json;
}

std::string FormatLineNote(const Report& report) {
  return report.line ? "Line: " + link::DescribeLine(*report.line) + "\n" : std::string();
}

std::string JsonText(const Json& json) { return link::JsonText(json, 2) + "\n"; }

}  // namespace tarnwick::cli
