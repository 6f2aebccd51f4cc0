#include "transaction.h"

#include <array>

#include "field_text.h"
#include "frame.h"
#include "hex_text.h"

namespace tarnwick::link {
namespace {

using Span = std::span<const std::uint8_t>;

std::string Text(std::string_view text) { return std::string(text); }

ExchangeOutcome AtStage(ExchangeStage stage) { return {stage, {}, {}, {}}; }

// The commands whose first reply data byte is a status byte, 1 meaning failure.
bool RepliesWithStatus(CommandCode code) {
  switch (code) {
    case CommandCode::kStepperByCount: case CommandCode::kStepperByParameters: case CommandCode::kDcDuty:
    case CommandCode::kDcDriveModes: case CommandCode::kDcParameters: case CommandCode::kStopMotor:
    case CommandCode::kSetupMotor:
      return true;
    default:
      return false;
  }
}

// The commands whose reply handling reads the first data byte.
bool ReadsFirstDataByte(CommandCode code) {
  return RepliesWithStatus(code) || code == CommandCode::kStepperStatus || code == CommandCode::kChangeAddress ||
         code == CommandCode::kChangeBaudRate;
}

// What a reply came to: the result text and, for "Data recv Error", why.
struct Verdict {
  std::string text;
  std::string detail;
  std::optional<std::uint8_t> deviceErrorCode;
};

Verdict Plain(std::string_view text) { return {Text(text), {}, {}}; }
Verdict DataError(std::string detail) { return {Text(result::kDataError), std::move(detail), {}}; }

Verdict TooShort(CommandCode code, Span reply) {
  return DataError("reply too short for " + std::string(CommandInfoOf(code).name) + ": " +
                   std::to_string(reply.size() + 2) + " bytes");
}

// reply: a verified reply without its checksum, long enough to hold a command byte.
Verdict EvaluateCommandReply(TransactionHost& host, CommandCode code, Span reply) {
  const bool hasStatus = reply.size() > kFirstDataOffset;
  const std::uint8_t status = hasStatus ? reply[kFirstDataOffset] : 0;
  const auto dataFrom = [&](std::size_t offset) { return offset <= reply.size() ? reply.subspan(offset) : Span(); };
  const auto shown = [&](Span data) { return host.ShowReply(code, data) ? Plain(result::kSuccess) : TooShort(code, reply); };

  if (ReadsFirstDataByte(code) && !hasStatus) return TooShort(code, reply);
  if (RepliesWithStatus(code)) return Plain(status == 1 ? result::kFailed : result::kSuccess);
  switch (code) {
    case CommandCode::kGetAddress:
      host.SetAddressText(FormatHexByte(reply[kAddressOffset]));
      break;
    case CommandCode::kStepperStatus:
      return status == 1 ? Plain(result::kFailed) : shown(dataFrom(kFirstDataOffset + 1));
    case CommandCode::kDcStatus:
    case CommandCode::kReadSetup:
      return shown(dataFrom(kFirstDataOffset));
    case CommandCode::kChangeAddress:
      if (status == 0xFF) return Plain(result::kFailed);
      host.SetAddressText(FormatHexByte(status));
      break;
    case CommandCode::kChangeBaudRate:
      if (!BaudRateAt(status))
        return DataError("reply names no baud rate: position " + std::to_string(status) + ", the list has 0 to " +
                         std::to_string(kBaudRates.size() - 1));
      host.SelectBaudIndex(status);
      break;
    default:
      break;
  }
  return Plain(result::kSuccess);
}

// Evaluates a reply whose checksum holds. reply ends before the checksum.
Verdict EvaluateReply(TransactionHost& host, Span reply) {
  if (reply.size() <= kCommandOffset) return DataError("reply too short: " + std::to_string(reply.size() + 2) + " bytes");
  const std::uint8_t commandByte = reply[kCommandOffset];
  if (commandByte == kDeviceErrorCommand) {
    if (reply.size() <= kFirstDataOffset) return DataError("device error reply too short to carry its code");
    const std::uint8_t code = reply[kFirstDataOffset];
    return {Text(DeviceErrorText(code)), {}, code};
  }
  // A command byte that names no command (one that still carries the reply flag)
  // is taken as it stands.
  const CommandInfo* command = FindCommand(commandByte);
  return command ? EvaluateCommandReply(host, command->code, reply) : Plain(result::kSuccess);
}

std::string Hex16(std::uint16_t value) {
  return "0x" + FormatHexByte(static_cast<std::uint8_t>(value >> 8)) + FormatHexByte(static_cast<std::uint8_t>(value));
}

// Why received bytes fail verification.
std::string WhyUnverified(Span received) {
  if (received.size() < 2) return "1 byte arrived, too few to carry a checksum";
  const std::uint16_t computed = ComputeChecksum(received.first(received.size() - 2));
  const auto receivedSum =
      static_cast<std::uint16_t>(received[received.size() - 2] | (received[received.size() - 1] << 8));
  std::string detail = "bad checksum: computed " + Hex16(computed) + ", received " + Hex16(receivedSum);
  if (received.size() == kFrameBufferSize)
    detail = "more bytes than a frame holds: the first " + std::to_string(kFrameBufferSize) + " were read; " + detail;
  return detail;
}

struct OpenedLine {
  std::unique_ptr<SerialPort> port;
  int baudRate = 0;
  ExchangeOutcome failure;
};

OpenedLine OpenLine(TransactionHost& host, const LineSettings& line) {
  host.ClearOutputs();
  const std::optional<int> baudRate = BaudRateAt(line.baudIndex);
  if (line.portPath.empty() || !baudRate) return {nullptr, 0, AtStage(ExchangeStage::NoPortSelected)};
  OpenError openError;
  auto port = OpenPort(line.portPath, *baudRate, &openError);
  if (!port) {
    host.PortUnavailable(line.portPath, openError);
    return {nullptr, 0, AtStage(ExchangeStage::PortUnavailable)};
  }
  return {std::move(port), *baudRate, {}};
}

// Reads the reply and says what it means.
Verdict ReceiveReply(TransactionHost& host, SerialPort& port) {
  FrameBuffer buffer{};
  const ReadResult read = port.ReadReply(buffer);
  if (!read.ok) return Plain(result::kReadFailed);
  if (read.count == 0) return Plain(result::kNoResponse);
  const auto reply = Span(buffer).first(read.count);
  host.ShowFrameBytes(reply, false);
  if (!VerifyReply(reply)) return DataError(WhyUnverified(reply));
  return EvaluateReply(host, reply.first(reply.size() - 2));
}

// Sends the frame and, when asked to, reads and evaluates the reply.
ExchangeOutcome Exchange(TransactionHost& host, OpenedLine& line, const Bytes& frame, bool awaitReply) {
  host.ShowFrameBytes(frame, true);
  line.port->TransmitFrame(frame, line.baudRate);
  if (!awaitReply) return AtStage(ExchangeStage::Sent);
  Verdict verdict = ReceiveReply(host, *line.port);
  host.SetResultText(verdict.text);
  return {ExchangeStage::ReplyEvaluated, std::move(verdict.text), std::move(verdict.detail), verdict.deviceErrorCode};
}

std::uint8_t ReplyFlagFor(const LineSettings& line, std::uint8_t address) {
  return (address != kBroadcastAddress && line.replyWanted) ? 1 : 0;
}

ExchangeOutcome InvalidParameter(TransactionHost& host) {
  host.ShowInvalidParameter();
  return AtStage(ExchangeStage::InvalidParameter);
}

}  // namespace

std::uint8_t ParseAddressText(std::string_view text) {
  const std::string trimmed = TrimFieldText(text);
  if (trimmed.empty()) return kBroadcastAddress;
  return static_cast<std::uint8_t>(ParseHexText(trimmed) & 0xFF);
}

ExchangeOutcome SendCommand(TransactionHost& host, const LineSettings& line, CommandCode command) {
  OpenedLine opened = OpenLine(host, line);
  if (!opened.port) return opened.failure;

  const std::uint8_t address = ParseAddressText(line.addressText);
  const std::uint8_t replyFlag = ReplyFlagFor(line, address);
  std::array<std::uint8_t, kMaxCommandLength> commandAndData{};
  const std::uint8_t n = host.BuildCommand(command, replyFlag, commandAndData);
  if (n == 0 || n > commandAndData.size()) return InvalidParameter(host);

  const bool awaitReply = replyFlag || CommandInfoOf(command).reply == ReplyRule::kAlways;
  return Exchange(host, opened, MakeFrame(address, std::span(commandAndData).first(n)), awaitReply);
}

ExchangeOutcome SendRawCommand(TransactionHost& host, const LineSettings& line, Span commandAndData) {
  if (commandAndData.empty() || commandAndData.size() > kMaxCommandLength) return InvalidParameter(host);
  OpenedLine opened = OpenLine(host, line);
  if (!opened.port) return opened.failure;

  const Bytes frame = MakeFrame(ParseAddressText(line.addressText), commandAndData);
  return Exchange(host, opened, frame, (commandAndData[0] & kReplyFlag) != 0);
}

ExchangeOutcome SendNothing(TransactionHost& host, const LineSettings& line) {
  const OpenedLine opened = OpenLine(host, line);
  return opened.port ? AtStage(ExchangeStage::NothingToSend) : opened.failure;
}

}  // namespace tarnwick::link
