#include "cli_host.h"

#include <nlohmann/json.hpp>

#include "link/baud_rates.h"
#include "link/hex_text.h"

namespace tarnwick::cli {

std::uint8_t CliHost::BuildCommand(link::CommandCode code, std::uint8_t replyFlag, std::span<std::uint8_t> out) {
  return panels::BuildPanelCommand(fields_, code, replyFlag, out);
}

void CliHost::ShowFrameBytes(std::span<const std::uint8_t> bytes, bool sent) {
  (sent ? report_.sendData : report_.recvData) = link::FormatHexDump(bytes);
}

void CliHost::SelectBaudIndex(int index) {
  if (const auto rate = link::BaudRateAt(index)) report_.fields.emplace_back("Baudrate", std::to_string(*rate));
}

bool CliHost::ShowReply(link::CommandCode command, std::span<const std::uint8_t> data) {
  auto& f = report_.fields;
  switch (command) {
    case link::CommandCode::kStepperStatus:
      if (const auto d = panels::DecodeCmd13Reply(data)) {
        f.insert(f.end(), {{"Reverse", d->reverse ? "checked" : "unchecked"},
                           {"Step count", d->stepCount},
                           {"Pulse Duty", d->pulseDuty},
                           {"Frequency", d->frequency}});
        return true;
      }
      return false;
    case link::CommandCode::kDcStatus:
      if (const auto d = panels::DecodeCmd24Reply(data)) {
        f.insert(f.end(), {{"Left", d->left}, {"Right", d->right}});
        return true;
      }
      return false;
    case link::CommandCode::kReadSetup:
      if (const auto d = panels::DecodeCmd43Reply(data)) {
        f.insert(f.end(), {{"MotorType", d->motorType},
                           {"Left Frequency", d->leftFrequency},
                           {"Left Pulse Duty", d->leftPulseDuty},
                           {"Right Frequency", d->rightFrequency},
                           {"Right Pulse Duty", d->rightPulseDuty}});
        return true;
      }
      return false;
    default:
      return false;
  }
}

int ExitStatusOf(const link::ExchangeOutcome& outcome) {
  using link::ExchangeStage;
  switch (outcome.stage) {
    case ExchangeStage::NoPortSelected:
    case ExchangeStage::PortUnavailable: return 3;
    case ExchangeStage::InvalidParameter: return 2;
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
  if (report.sendData) line("Send Data", *report.sendData);
  if (report.recvData) line("Recv Data", *report.recvData);
  if (report.result) line("Result", *report.result);
  for (const auto& [label, value] : report.fields) line(label, value);
  return text;
}

std::string FormatJson(const Report& report) {
  nlohmann::ordered_json json;
  const auto optional = [](const std::optional<std::string>& v) { return v ? nlohmann::ordered_json(*v) : nullptr; };
  json["send_data"] = optional(report.sendData);
  json["recv_data"] = optional(report.recvData);
  json["result"] = optional(report.result);
  json["fields"] = nlohmann::ordered_json::object();
  for (const auto& [label, value] : report.fields) json["fields"][label] = value;
  json["error"] = report.error.empty() ? nullptr : nlohmann::ordered_json(report.error);
  json["exit_status"] = report.exitStatus;
  return json.dump(2) + "\n";
}

}  // namespace tarnwick::cli
