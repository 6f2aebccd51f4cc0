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

// The fields a reply filled, in the order the exchange filled them, for the log.
using Filled = std::vector<std::string>;

// reply: a verified reply without its checksum, long enough to hold a command byte.
Verdict EvaluateCommandReply(TransactionHost& host, CommandCode code, Span reply, Filled& filled) {
  const bool hasStatus = reply.size() > kFirstDataOffset;
  const std::uint8_t status = hasStatus ? reply[kFirstDataOffset] : 0;
  const auto dataFrom = [&](std::size_t offset) { return offset <= reply.size() ? reply.subspan(offset) : Span(); };
  const auto shown = [&](Span data) {
    if (!host.ShowReply(code, data)) return TooShort(code, reply);
    const std::vector<std::string> fields = host.DescribeReply(code, data);
    filled.insert(filled.end(), fields.begin(), fields.end());
    return Plain(result::kSuccess);
  };
  const auto addressShown = [&](std::uint8_t address) {
    host.SetAddressText(FormatHexByte(address));
    filled.push_back("Addr " + FormatHexByte(address));
  };

  if (ReadsFirstDataByte(code) && !hasStatus) return TooShort(code, reply);
  if (RepliesWithStatus(code) || (code == CommandCode::kStepperStatus && status == 1) ||
      (code == CommandCode::kChangeAddress && status == 0xFF))
    filled.push_back("status " + FormatHexByte(status));
  if (RepliesWithStatus(code)) return Plain(status == 1 ? result::kFailed : result::kSuccess);
  switch (code) {
    case CommandCode::kGetAddress:
      addressShown(reply[kAddressOffset]);
      break;
    case CommandCode::kStepperStatus:
      return status == 1 ? Plain(result::kFailed) : shown(dataFrom(kFirstDataOffset + 1));
    case CommandCode::kDcStatus:
    case CommandCode::kReadSetup:
      return shown(dataFrom(kFirstDataOffset));
    case CommandCode::kChangeAddress:
      if (status == 0xFF) return Plain(result::kFailed);
      addressShown(status);
      break;
    case CommandCode::kChangeBaudRate:
      if (!BaudRateAt(status))
        return DataError("reply names no baud rate: position " + std::to_string(status) + ", the list has 0 to " +
                         std::to_string(kBaudRates.size() - 1));
      host.SelectBaudIndex(status);
      filled.push_back("Baudrate " + std::to_string(*BaudRateAt(status)));
      break;
    default:
      break;
  }
  return Plain(result::kSuccess);
}

// Evaluates a reply whose checksum holds. reply ends before the checksum.
Verdict EvaluateReply(TransactionHost& host, Span reply, Filled& filled) {
  if (reply.size() <= kCommandOffset) return DataError("reply too short: " + std::to_string(reply.size() + 2) + " bytes");
  const std::uint8_t commandByte = reply[kCommandOffset];
  if (commandByte == kDeviceErrorCommand) {
    if (reply.size() <= kFirstDataOffset) return DataError("device error reply too short to carry its code");
    const std::uint8_t code = reply[kFirstDataOffset];
    filled.emplace_back(DeviceErrorText(code));
    return {Text(DeviceErrorText(code)), {}, code};
  }
  // A command byte that names no command (one that still carries the reply flag)
  // is taken as it stands.
  const CommandInfo* command = FindCommand(commandByte);
  return command ? EvaluateCommandReply(host, command->code, reply, filled) : Plain(result::kSuccess);
}

// "CMD13 from 01: Reverse unchecked, Step count 1000": who answered, and what the
// reply filled. reply: verified, without its checksum.
std::string DescribeReply(Span reply, const Filled& filled) {
  if (reply.size() <= kCommandOffset) return "too short for a reply";
  const std::uint8_t commandByte = reply[kCommandOffset];
  const CommandInfo* command = FindCommand(commandByte);
  std::string text = commandByte == kDeviceErrorCommand ? std::string("device error")
                     : command                          ? std::string(command->name)
                                                        : "command " + FormatHexByte(commandByte);
  text += " from " + FormatHexByte(reply[kAddressOffset]);
  for (std::size_t i = 0; i < filled.size(); ++i) text += (i == 0 ? ": " : ", ") + filled[i];
  return text;
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
  ReadRule read;
  ExchangeOutcome failure;
  EchoHandling echo = EchoHandling::Off;
};

OpenedLine OpenLine(TransactionHost& host, const LineSettings& line, TrafficReporter& log) {
  host.ClearOutputs();
  const std::optional<int> baudRate = BaudRateAt(line.baudIndex);
  if (line.portPath.empty() || !baudRate) {
    log.Event(line.portPath.empty() ? "no port selected" : "no baud rate selected", log_result::kNoPort);
    return {nullptr, 0, {}, AtStage(ExchangeStage::NoPortSelected), {}};
  }
  OpenError openError;
  LineReport lineReport;
  auto port = OpenLinePort(line.portPath, *baudRate, line.direction, &openError, &lineReport);
  if (!port) {
    log.Event(DescribeOpenError(line.portPath, openError), log_result::kPortNotOpened);
    host.PortUnavailable(line.portPath, openError);
    return {nullptr, 0, {}, AtStage(ExchangeStage::PortUnavailable), {}};
  }
  if (lineReport.control == DirectionControl::Kernel) {
    log.Event("Line: " + DescribeLine(lineReport), {});
    host.LineControlled(lineReport);
  }
  return {std::move(port), *baudRate, line.read, {}, line.echo};
}

bool BeginsWith(Span bytes, Span prefix) {
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

// An echoing adapter hears our own frame before the reply: it is read on its own
// (never more bytes than the frame), so the reply's read starts after it. Nothing
// when the echo matched; otherwise what it came to.
std::optional<Verdict> SkipEcho(TransactionHost& host, SerialPort& port, Span frame, TrafficReporter& log) {
  FrameBuffer echo{};
  const ReadResult read = port.ReadReply(echo, ReadRule{ReadEnd::Frame, kReadTotalMs, frame.size()});
  if (!read.ok) return Plain(result::kReadFailed);
  if (read.count == 0) return Verdict{Text(result::kNoResponse), "nothing arrived, not even the echo of the frame sent", {}};
  const auto heard = Span(echo).first(read.count);
  if (std::equal(heard.begin(), heard.end(), frame.begin(), frame.end())) return std::nullopt;
  host.ShowFrameBytes(heard, false);
  Verdict verdict = DataError("the echo differed from the frame sent (" + FormatHexDump(heard) +
                              " heard): a collision on the line");
  log.Received(heard, verdict.detail);
  return verdict;
}

// Reads the reply and says what it means.
Verdict ReceiveReply(TransactionHost& host, SerialPort& port, const ReadRule& rule, Span frame,
                     TrafficReporter& log) {
  FrameBuffer buffer{};
  const ReadResult read = port.ReadReply(buffer, rule);
  if (!read.ok) return Plain(result::kReadFailed);
  if (read.count == 0) return Plain(result::kNoResponse);
  const auto reply = Span(buffer).first(read.count);
  host.ShowFrameBytes(reply, false);
  if (BeginsWith(reply, frame)) {
    Verdict verdict = DataError("the reply begins with the frame sent: an echoing adapter? try --echo skip");
    log.Received(reply, verdict.detail);
    return verdict;
  }
  if (!VerifyReply(reply)) {
    Verdict verdict = DataError(WhyUnverified(reply));
    log.Received(reply, verdict.detail);
    return verdict;
  }
  Filled filled;
  const auto withoutChecksum = reply.first(reply.size() - 2);
  Verdict verdict = EvaluateReply(host, withoutChecksum, filled);
  std::string summary = DescribeReply(withoutChecksum, filled);
  if (!verdict.detail.empty()) summary += " (" + verdict.detail + ")";
  log.Received(reply, std::move(summary));
  return verdict;
}

// Sends the frame and, when asked to, reads and evaluates the reply.
ExchangeOutcome Exchange(TransactionHost& host, OpenedLine& line, const Bytes& frame, bool awaitReply,
                         TrafficReporter& log) {
  const std::string sent = DescribeSentFrames(frame);
  host.ShowFrameBytes(frame, true);
  log.Sent(frame, sent);
  TransmitResult transmitted = line.port->TransmitFrame(frame, line.baudRate);
  if (!transmitted.sent) {
    host.SetResultText(result::kSendFailed);
    log.Event(sent + ": " + transmitted.detail, result::kSendFailed);
    return {ExchangeStage::SendFailed, Text(result::kSendFailed), std::move(transmitted.detail), {}};
  }
  if (!awaitReply) {
    log.Event(sent + ", no reply awaited", {});
    return AtStage(ExchangeStage::Sent);
  }
  std::optional<Verdict> echoed;
  if (line.echo == EchoHandling::Skip) echoed = SkipEcho(host, *line.port, frame, log);
  Verdict verdict = echoed ? std::move(*echoed) : ReceiveReply(host, *line.port, line.read, frame, log);
  host.SetResultText(verdict.text);
  log.Event(sent, verdict.text);
  return {ExchangeStage::ReplyEvaluated, std::move(verdict.text), std::move(verdict.detail), verdict.deviceErrorCode};
}

std::uint8_t ReplyFlagFor(const LineSettings& line, std::uint8_t address) {
  return (address != kBroadcastAddress && line.replyWanted) ? 1 : 0;
}

ExchangeOutcome InvalidParameter(TransactionHost& host, TrafficReporter& log, std::string_view command) {
  log.Event(std::string(command) + ": nothing sent", kInvalidParameterMessage);
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
  TrafficReporter log(host.Traffic(), line.portPath);
  OpenedLine opened = OpenLine(host, line, log);
  if (!opened.port) return opened.failure;

  const std::uint8_t address = ParseAddressText(line.addressText);
  const std::uint8_t replyFlag = ReplyFlagFor(line, address);
  std::array<std::uint8_t, kMaxCommandLength> commandAndData{};
  const std::uint8_t n = host.BuildCommand(command, replyFlag, commandAndData);
  if (n == 0 || n > commandAndData.size()) return InvalidParameter(host, log, CommandInfoOf(command).name);

  const bool awaitReply = replyFlag || CommandInfoOf(command).reply == ReplyRule::kAlways;
  return Exchange(host, opened, MakeFrame(address, std::span(commandAndData).first(n)), awaitReply, log);
}

ExchangeOutcome SendRawCommand(TransactionHost& host, const LineSettings& line, Span commandAndData) {
  TrafficReporter log(host.Traffic(), line.portPath);
  if (commandAndData.empty() || commandAndData.size() > kMaxCommandLength)
    return InvalidParameter(host, log, "raw command");
  OpenedLine opened = OpenLine(host, line, log);
  if (!opened.port) return opened.failure;

  const Bytes frame = MakeFrame(ParseAddressText(line.addressText), commandAndData);
  return Exchange(host, opened, frame, (commandAndData[0] & kReplyFlag) != 0, log);
}

ExchangeOutcome SendNothing(TransactionHost& host, const LineSettings& line) {
  TrafficReporter log(host.Traffic(), line.portPath);
  const OpenedLine opened = OpenLine(host, line, log);
  return opened.port ? AtStage(ExchangeStage::NothingToSend) : opened.failure;
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
