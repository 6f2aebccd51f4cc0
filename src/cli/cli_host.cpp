#include "cli_host.h"

#include <nlohmann/json.hpp>

#include "link/baud_rates.h"
#include "link/hex_text.h"
#include "link/json_text.h"

namespace tarnwick::cli {
namespace {

using Json = nlohmann::ordered_json;

// A decoded number shown as text ("8000", "+50"); an empty text is an empty field.
ReportField NumberField(std::string label, std::string key, const std::string& text) {
  FieldValue value = nullptr;
  if (!text.empty()) value = static_cast<std::int64_t>(std::stoll(text));
  return {std::move(label), std::move(key), text, value};
}

Json BytesJson(const std::optional<link::Bytes>& bytes) { return bytes ? Json(*bytes) : Json(nullptr); }
Json DumpJson(const std::optional<link::Bytes>& bytes) {
  return bytes ? Json(link::FormatHexDump(*bytes)) : Json(nullptr);
}
Json TextOrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

}  // namespace

std::vector<ReportField> FieldsOf(const panels::Cmd13Display& status) {
  return {{"Reverse", "reverse", status.reverse ? "checked" : "unchecked", status.reverse},
          NumberField("Step count", "step_count", status.stepCount),
          NumberField("Pulse Duty", "pulse_duty", status.pulseDuty),
          NumberField("Frequency", "frequency", status.frequency)};
}

std::vector<ReportField> FieldsOf(const panels::Cmd24Display& status) {
  return {NumberField("Left", "left", status.left), NumberField("Right", "right", status.right)};
}

std::vector<ReportField> FieldsOf(const panels::Cmd43Display& setup) {
  FieldValue type = nullptr;
  if (!setup.motorType.empty()) type = setup.motorType;
  return {{"MotorType", "motor_type", setup.motorType, type},
          NumberField("Left Frequency", "left_frequency", setup.leftFrequency),
          NumberField("Left Pulse Duty", "left_pulse_duty", setup.leftPulseDuty),
          NumberField("Right Frequency", "right_frequency", setup.rightFrequency),
          NumberField("Right Pulse Duty", "right_pulse_duty", setup.rightPulseDuty)};
}

nlohmann::ordered_json JsonOf(const FieldValue& value) {
  return std::visit([](const auto& v) { return Json(v); }, value);
}

nlohmann::ordered_json FieldsJson(const std::vector<ReportField>& fields) {
  Json json = Json::object();
  for (const ReportField& field : fields) json[field.key] = JsonOf(field.value);
  return json;
}

ReportField AddressField(const std::string& hexText) {
  return {"Addr", "address", hexText, static_cast<std::int64_t>(link::ParseHexText(hexText))};
}

ReportField BaudrateField(int rate) { return {"Baudrate", "baudrate", std::to_string(rate), std::int64_t{rate}}; }

std::uint8_t CliHost::BuildCommand(link::CommandCode code, std::uint8_t replyFlag, std::span<std::uint8_t> out) {
  refusal_.clear();
  return panels::BuildPanelCommand(fields_, code, replyFlag, out, &refusal_);
}

void CliHost::ShowInvalidParameter() {
  report_.error = std::string(link::kInvalidParameterMessage);
  report_.detail = refusal_;
}

void CliHost::ShowFrameBytes(std::span<const std::uint8_t> bytes, bool sent) {
  (sent ? report_.sent : report_.received) = link::Bytes(bytes.begin(), bytes.end());
}

void CliHost::SelectBaudIndex(int index) {
  if (const auto rate = link::BaudRateAt(index)) report_.fields.push_back(BaudrateField(*rate));
}

bool CliHost::ShowReply(link::CommandCode command, std::span<const std::uint8_t> data) {
  const auto show = [&](const auto& decoded) {
    if (!decoded) return false;
    const auto fields = FieldsOf(*decoded);
    report_.fields.insert(report_.fields.end(), fields.begin(), fields.end());
    return true;
  };
  switch (command) {
    case link::CommandCode::kStepperStatus: return show(panels::DecodeCmd13Reply(data));
    case link::CommandCode::kDcStatus: return show(panels::DecodeCmd24Reply(data));
    case link::CommandCode::kReadSetup: return show(panels::DecodeCmd43Reply(data));
    default: return false;
  }
}

std::vector<std::string> CliHost::DescribeReply(link::CommandCode command, std::span<const std::uint8_t> data) {
  return panels::DescribeReplyFields(command, data);
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
