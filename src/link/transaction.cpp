#include "transaction.h"

#include <algorithm>
#include <array>
#include <vector>

#include "field_text.h"
#include "frame.h"
#include "hex_text.h"

namespace tarnwick::link {
namespace {

using Span = std::span<const std::uint8_t>;

ExchangeOutcome AtStage(ExchangeStage stage) { return {stage, {}, {}, {}}; }
std::string Text(std::string_view text) { return std::string(text); }

}  // namespace

std::uint8_t ParseAddressText(std::string_view text) {
  const std::string trimmed = TrimFieldText(text);
  if (trimmed.empty()) return kBroadcastAddress;
  return static_cast<std::uint8_t>(ParseHexText(trimmed) & 0xFF);
}

ExchangeOutcome SendFrames(const std::string& portPath, int baudRate, Span bytes, std::string_view source,
                           TrafficLog* log, OpenError* error, const DirectionSettings& direction) {
  TrafficReporter reporter(log, portPath);
  OpenError openError;
  const auto port = OpenLinePort(portPath, baudRate, direction, &openError);
  if (!port) {
    reporter.Event(std::string(source) + ": " + DescribeOpenError(portPath, openError), log_result::kPortNotOpened);
    if (error) *error = openError;
    return AtStage(ExchangeStage::PortUnavailable);
  }
  const std::string sent = std::string(source) + ": " + DescribeSentFrames(bytes);
  reporter.Sent(bytes, sent);
  TransmitResult transmitted = port->TransmitFrame(bytes, baudRate);
  if (transmitted.sent) return AtStage(ExchangeStage::Sent);
  reporter.Event(sent + ": " + transmitted.detail, result::kSendFailed);
  return {ExchangeStage::SendFailed, Text(result::kSendFailed), std::move(transmitted.detail), {}};
}

}  // namespace tarnwick::link
