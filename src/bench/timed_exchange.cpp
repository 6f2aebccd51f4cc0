#include "bench/timed_exchange.h"

#include <chrono>

#include "link/baud_rates.h"
#include "link/hex_text.h"

namespace tarnwick::bench {

std::string HintFor(const link::ExchangeOutcome& outcome, const link::LineSettings& line) {
  if (outcome.result != link::result::kNoResponse) return {};
  const std::string address = link::FormatHexByte(link::ParseAddressText(line.addressText));
  return "no reply from address " + address + " at " + std::to_string(*link::BaudRateAt(line.baudIndex)) +
         " baud; 'tarnwick-cli scan' finds the boards on the line, or check the adapter's wiring (A, B, ground)";
}

std::string StopError(const board::ExchangeRecord& record, const std::string& portPath) {
  switch (record.outcome.stage) {
    case link::ExchangeStage::PortUnavailable: return link::DescribeOpenError(portPath, record.openError);
    case link::ExchangeStage::InvalidParameter: return std::string(link::kInvalidParameterMessage);
    default: return {};
  }
}

bool Succeeded(const link::ExchangeOutcome& outcome) {
  using link::ExchangeStage;
  switch (outcome.stage) {
    case ExchangeStage::NothingToSend:
    case ExchangeStage::Sent: return true;
    case ExchangeStage::ReplyEvaluated: return outcome.result == link::result::kSuccess;
    default: return false;
  }
}

nlohmann::ordered_json JsonOf(const board::FieldValue& value) {
  return std::visit([](const auto& v) { return nlohmann::ordered_json(v); }, value);
}

nlohmann::ordered_json FieldsJson(const std::vector<board::DecodedField>& fields) {
  auto json = nlohmann::ordered_json::object();
  for (const board::DecodedField& field : fields) json[field.key] = JsonOf(field.value);
  return json;
}

std::string TimedExchange::Detail() const {
  if (!record.outcome.detail.empty()) return record.outcome.detail;
  return record.outcome.stage == link::ExchangeStage::InvalidParameter ? record.refusal : "";
}

std::string TimedExchange::ErrorText() const {
  const auto stage = record.outcome.stage;
  const bool resulted = stage == link::ExchangeStage::ReplyEvaluated || stage == link::ExchangeStage::SendFailed;
  const std::string detail = Detail();
  return error.empty() || resulted || detail.empty() ? error : error + ": " + detail;
}

TimedExchange RunTimedExchange(const link::LineSettings& line, const board::Command& command,
                               const board::FieldTexts& texts, link::TrafficLog* log) {
  link::LineSettings asked = line;
  asked.accept = link::ReplyAcceptance::Asked;
  const auto start = std::chrono::steady_clock::now();
  board::ExchangeRecord record = board::SendCommand(asked, command, texts, log);
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  std::string error = StopError(record, line.portPath);
  std::string hint = HintFor(record.outcome, line);
  return {std::move(record), std::move(error), std::move(hint), took.count()};
}

std::string OutcomeText(const TimedExchange& done) {
  if (!done.error.empty()) return done.error;
  return done.record.outcome.result.empty() ? "Sent" : done.record.outcome.result;
}

}  // namespace tarnwick::bench
