#include "board/exchange.h"

#include <algorithm>
#include <array>

#include "link/baud_rates.h"
#include "link/hex_text.h"

namespace tarnwick::board {
namespace {

using link::ExchangeStage;
using link::TrafficReporter;
using Span = std::span<const std::uint8_t>;
namespace result = link::result;

std::string Text(std::string_view text) { return std::string(text); }
Verdict Plain(std::string_view text) { return {Text(text), {}, {}}; }
Verdict DataError(std::string detail) { return {Text(result::kDataError), std::move(detail), {}}; }

Verdict TooShort(const Command& command, const FrameView& reply) {
  return DataError("reply too short for " + command.name + ": " + std::to_string(reply.Bytes().size()) + " bytes");
}

DecodedField AddressField(std::uint8_t address) {
  return {nullptr, "Addr", "address", link::FormatHexByte(address), std::int64_t{address}, address};
}

DecodedField BaudrateField(int rate) {
  return {nullptr, "Baudrate", "baudrate", std::to_string(rate), std::int64_t{rate}, static_cast<std::uint32_t>(rate)};
}

std::string StatusText(std::uint32_t status) { return "status " + link::FormatHexByte(static_cast<std::uint8_t>(status)); }

// The replies whose meaning is an action's: the address and rate changes and the
// address question.
std::optional<Verdict> EvaluateAction(const Command& command, const FrameView& reply, ExchangeRecord& record,
                                      std::vector<std::string>& filled) {
  const auto show = [&](DecodedField field) {
    filled.push_back(Describe(field));
    record.fields.push_back(std::move(field));
    return Plain(result::kSuccess);
  };
  const Span data = reply.Data();
  switch (command.action) {
    case Action::ReportAddress:
      record.address = reply.Address();
      return show(AddressField(reply.Address()));
    case Action::ChangeAddress:
      if (data.empty()) return TooShort(command, reply);
      if (data[0] == link::kBroadcastAddress) {
        filled.push_back(StatusText(data[0]));
        return Plain(result::kFailed);
      }
      record.address = data[0];
      return show(AddressField(data[0]));
    case Action::ChangeBaudRate: {
      if (data.empty()) return TooShort(command, reply);
      const auto rate = link::BaudRateAt(data[0]);
      if (!rate)
        return DataError("reply names no baud rate: position " + std::to_string(data[0]) + ", the list has 0 to " +
                         std::to_string(link::kBaudRates.size() - 1));
      record.baudIndex = data[0];
      return show(BaudrateField(*rate));
    }
    default:
      return std::nullopt;
  }
}

Verdict EvaluateCommandReply(const Command& command, const FrameView& reply, ExchangeRecord& record,
                             std::vector<std::string>& filled) {
  if (auto byAction = EvaluateAction(command, reply, record, filled)) return *byAction;
  const Decoded decoded = DecodeReply(command, reply.Data());
  const Field* status = command.Status();
  if (status && decoded.status && (decoded.failed || command.ResponseForm().empty()))
    filled.push_back(StatusText(*decoded.status));
  if (decoded.failed) return Plain(result::kFailed);
  if (decoded.tooShort) return TooShort(command, reply);
  for (const DecodedField& field : decoded.fields) filled.push_back(Describe(field));
  record.fields.insert(record.fields.end(), decoded.fields.begin(), decoded.fields.end());
  return Plain(result::kSuccess);
}

std::string CommandName(std::uint8_t commandByte) {
  const Command* command = Current().Find(commandByte);
  return command ? command->name : "command " + link::FormatHexByte(commandByte);
}

// "CMD13 from 01: Reverse unchecked, Step count 1000": who answered, and what the
// reply filled.
std::string DescribeReply(const FrameView& reply, const std::vector<std::string>& filled) {
  if (!reply.HasCommand()) return "too short for a reply";
  const std::uint8_t commandByte = reply.CommandByte();
  std::string text = commandByte == link::kDeviceErrorCommand ? std::string("device error") : CommandName(commandByte);
  text += " from " + link::FormatHexByte(reply.Address());
  for (std::size_t i = 0; i < filled.size(); ++i) text += (i == 0 ? ": " : ", ") + filled[i];
  return text;
}

std::string SummaryOf(const FrameView& reply, const Verdict& verdict, const std::vector<std::string>& filled) {
  std::string summary = DescribeReply(reply, filled);
  if (!verdict.detail.empty()) summary += " (" + verdict.detail + ")";
  return summary;
}

std::string Hex16(std::uint16_t value) {
  return "0x" + link::FormatHexByte(static_cast<std::uint8_t>(value >> 8)) +
         link::FormatHexByte(static_cast<std::uint8_t>(value));
}

// Why received bytes fail verification.
std::string WhyUnverified(Span received) {
  if (received.size() < 2) return "1 byte arrived, too few to carry a checksum";
  const std::uint16_t computed = link::FramingInUse().CheckOf(received.first(received.size() - 2));
  std::string detail =
      "bad checksum: computed " + Hex16(computed) + ", received " + Hex16(link::Framing::Carried(received));
  if (received.size() == link::kFrameBufferSize)
    detail = "more bytes than a frame holds: the first " + std::to_string(link::kFrameBufferSize) + " were read; " + detail;
  return detail;
}

struct OpenedLine {
  std::unique_ptr<link::SerialPort> port;
  int baudRate = 0;
};

void Fail(ExchangeRecord& record, ExchangeStage stage) { record.outcome = {stage, {}, {}, {}}; }

OpenedLine OpenLine(const link::LineSettings& line, ExchangeRecord& record, TrafficReporter& log) {
  const std::optional<int> baudRate = link::BaudRateAt(line.baudIndex);
  if (line.portPath.empty() || !baudRate) {
    log.Event(line.portPath.empty() ? "no port selected" : "no baud rate selected", link::log_result::kNoPort);
    Fail(record, ExchangeStage::NoPortSelected);
    return {};
  }
  link::LineReport lineReport;
  auto port = link::OpenLinePort(line.portPath, *baudRate, line.direction, &record.openError, &lineReport);
  if (!port) {
    log.Event(link::DescribeOpenError(line.portPath, record.openError), link::log_result::kPortNotOpened);
    Fail(record, ExchangeStage::PortUnavailable);
    return {};
  }
  if (lineReport.control == link::DirectionControl::Kernel) {
    log.Event("Line: " + link::DescribeLine(lineReport), {});
    record.line = lineReport;
  }
  return {std::move(port), *baudRate};
}

bool BeginsWith(Span bytes, Span prefix) {
  return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

// An echoing adapter hears our own frame before the reply: it is read on its own
// (never more bytes than the frame), so the reply's read starts after it. Nothing
// when the echo matched; otherwise what it came to.
std::optional<Verdict> SkipEcho(link::SerialPort& port, Span frame, ExchangeRecord& record, TrafficReporter& log) {
  link::FrameBuffer echo{};
  const link::ReadResult read = port.ReadReply(echo, link::ReadRule{link::ReadEnd::Frame, link::kReadTotalMs, frame.size()});
  if (!read.ok) return Plain(result::kReadFailed);
  if (read.count == 0)
    return Verdict{Text(result::kNoResponse), "nothing arrived, not even the echo of the frame sent", {}};
  const auto heard = Span(echo).first(read.count);
  if (std::equal(heard.begin(), heard.end(), frame.begin(), frame.end())) return std::nullopt;
  record.received = link::Bytes(heard.begin(), heard.end());
  Verdict verdict = DataError("the echo differed from the frame sent (" + link::FormatHexDump(heard) +
                              " heard): a collision on the line");
  log.Received(heard, verdict.detail);
  return verdict;
}

// How a verified reply differs from the frame's question, as ExchangeRecord::replyMismatch
// words it. A board answers an address change from its new address; a device error
// answers any command.
std::string ReplyMismatch(Span frame, const FrameView& reply) {
  const std::uint8_t askedAddress = frame[link::kAddressOffset];
  const auto withoutFlag = [](std::uint8_t commandByte) {
    return static_cast<std::uint8_t>(commandByte & ~link::kReplyFlag);
  };
  const std::uint8_t askedCommand = withoutFlag(frame[link::kCommandOffset]);
  const Command* asked = Current().Find(askedCommand);
  const bool fromNewAddress = asked && asked->action == Action::ChangeAddress &&
                              frame.size() > link::kFirstDataOffset + 2 &&
                              reply.Address() == frame[link::kFirstDataOffset];
  std::string from, to;
  if (askedAddress != link::kBroadcastAddress && reply.Address() != askedAddress && !fromNewAddress)
    from = "from " + link::FormatHexByte(reply.Address()) + " (asked " + link::FormatHexByte(askedAddress) + ")";
  const std::uint8_t replyCommand = withoutFlag(reply.CommandByte());
  if (reply.CommandByte() != link::kDeviceErrorCommand && replyCommand != askedCommand)
    to = "to " + CommandName(replyCommand) + " (asked " + CommandName(askedCommand) + ")";
  if (from.empty() && to.empty()) return {};
  return "Reply " + from + (from.empty() || to.empty() ? "" : " and ") + to;
}

// What a verified reply comes to, noted in the traffic log: under Asked, a reply
// that is not the one asked for fails the exchange and fills nothing.
Verdict JudgeVerifiedReply(const FrameView& reply, Span frame, link::ReplyAcceptance accept, ExchangeRecord& record,
                           TrafficReporter& log) {
  std::vector<std::string> filled;
  Verdict verdict = EvaluateReply(reply, record, filled);
  std::string summary = SummaryOf(reply, verdict, filled);
  if (reply.HasCommand()) record.replyMismatch = ReplyMismatch(frame, reply);
  if (!record.replyMismatch.empty()) {
    summary += "; " + record.replyMismatch;
    if (accept == link::ReplyAcceptance::Asked) {
      verdict = Plain(record.replyMismatch);
      record.fields.clear();
      record.address.reset();
      record.baudIndex.reset();
    }
  }
  log.Received(reply.Bytes(), std::move(summary));
  return verdict;
}

// Reads the reply and says what it means.
Verdict ReceiveReply(link::SerialPort& port, const link::LineSettings& settings, Span frame, ExchangeRecord& record,
                     TrafficReporter& log) {
  link::FrameBuffer buffer{};
  const link::ReadResult read = port.ReadReply(buffer, settings.read);
  if (!read.ok) return Verdict{Text(result::kReadFailed), read.detail, {}};
  if (read.count == 0) return Plain(result::kNoResponse);
  record.received = link::Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(read.count));
  const FrameView reply(*record.received);
  if (BeginsWith(reply.Bytes(), frame)) {
    Verdict verdict = DataError("the reply begins with the frame sent: an echoing adapter? try --echo skip");
    log.Received(reply.Bytes(), verdict.detail);
    return verdict;
  }
  if (!reply.Verified()) {
    Verdict verdict = DataError(WhyUnverified(reply.Bytes()));
    log.Received(reply.Bytes(), verdict.detail);
    return verdict;
  }
  return JudgeVerifiedReply(reply, frame, settings.accept, record, log);
}

// Sends the frame and, when asked to, reads and evaluates the reply.
void Exchange(const link::LineSettings& settings, OpenedLine& line, const link::Bytes& frame, bool awaitReply,
              ExchangeRecord& record, TrafficReporter& log) {
  const std::string sent = link::DescribeSentFrames(frame);
  record.sent = frame;
  log.Sent(frame, sent);
  link::TransmitResult transmitted = line.port->TransmitFrame(frame, line.baudRate);
  if (!transmitted.sent) {
    log.Event(sent + ": " + transmitted.detail, result::kSendFailed);
    record.outcome = {ExchangeStage::SendFailed, Text(result::kSendFailed), std::move(transmitted.detail), {}};
    return;
  }
  if (!awaitReply) {
    log.Event(sent + ", no reply awaited", {});
    return Fail(record, ExchangeStage::Sent);
  }
  std::optional<Verdict> echoed;
  if (settings.echo == link::EchoHandling::Skip) echoed = SkipEcho(*line.port, frame, record, log);
  Verdict verdict = echoed ? std::move(*echoed) : ReceiveReply(*line.port, settings, frame, record, log);
  log.Event(sent, verdict.text);
  record.outcome = {ExchangeStage::ReplyEvaluated, std::move(verdict.text), std::move(verdict.detail),
                    verdict.deviceErrorCode};
}

bool ReplyWanted(const link::LineSettings& line, std::uint8_t address) {
  return address != link::kBroadcastAddress && line.replyWanted;
}

}  // namespace

Verdict EvaluateReply(const FrameView& reply, ExchangeRecord& record, std::vector<std::string>& filled) {
  if (!reply.HasCommand()) return DataError("reply too short: " + std::to_string(reply.Bytes().size()) + " bytes");
  const std::uint8_t commandByte = reply.CommandByte();
  if (commandByte == link::kDeviceErrorCommand) {
    if (reply.Data().empty()) return DataError("device error reply too short to carry its code");
    const std::uint8_t code = reply.Data()[0];
    filled.emplace_back(link::DeviceErrorText(code));
    return {Text(link::DeviceErrorText(code)), {}, code};
  }
  // A command byte that names no command (one that still carries the reply flag)
  // is taken as it stands.
  const Command* command = Current().Find(commandByte);
  return command ? EvaluateCommandReply(*command, reply, record, filled) : Plain(result::kSuccess);
}

std::string DescribeReplyFrame(std::span<const std::uint8_t> bytes) {
  const FrameView reply(bytes);
  if (!reply.Verified()) return WhyUnverified(bytes);
  ExchangeRecord record;
  std::vector<std::string> filled;
  const Verdict verdict = EvaluateReply(reply, record, filled);
  return SummaryOf(reply, verdict, filled);
}

std::vector<std::string> ReplyFieldKeys(const Command& command) {
  switch (command.action) {
    case Action::ReportAddress:
    case Action::ChangeAddress: return {AddressField(0).key};
    case Action::ChangeBaudRate: return {BaudrateField(0).key};
    default: break;
  }
  std::vector<std::string> keys;
  for (const Field* field : command.ResponseForm())
    if (field->OnWire()) keys.push_back(field->Key());
  return keys;
}

ExchangeRecord SendCommand(const link::LineSettings& line, const Command& command, const FieldTexts& texts,
                           link::TrafficLog* log) {
  ExchangeRecord record;
  record.command = command.name;
  TrafficReporter reporter(log, line.portPath);
  OpenedLine opened = OpenLine(line, record, reporter);
  if (!opened.port) return record;

  const std::uint8_t address = link::ParseAddressText(line.addressText);
  const bool flagged = ReplyWanted(line, address);
  const auto commandAndData = Encode(command, texts, flagged, &record.refusal, &record.refusedField);
  if (!commandAndData || commandAndData->size() > link::kMaxCommandLength) {
    reporter.Event(command.name + ": nothing sent", link::kInvalidParameterMessage);
    Fail(record, ExchangeStage::InvalidParameter);
    return record;
  }
  const bool awaitReply = flagged || command.reply == ReplyRule::Always;
  Exchange(line, opened, link::FramingInUse().Make(address, *commandAndData), awaitReply, record, reporter);
  return record;
}

ExchangeRecord SendRawCommand(const link::LineSettings& line, Span commandAndData, link::TrafficLog* log) {
  ExchangeRecord record;
  TrafficReporter reporter(log, line.portPath);
  if (commandAndData.empty() || commandAndData.size() > link::kMaxCommandLength) {
    reporter.Event("raw command: nothing sent", link::kInvalidParameterMessage);
    Fail(record, ExchangeStage::InvalidParameter);
    return record;
  }
  OpenedLine opened = OpenLine(line, record, reporter);
  if (!opened.port) return record;
  const link::Bytes frame = link::FramingInUse().Make(link::ParseAddressText(line.addressText), commandAndData);
  Exchange(line, opened, frame, (commandAndData[0] & link::kReplyFlag) != 0, record, reporter);
  return record;
}

ExchangeRecord SendNothing(const link::LineSettings& line, link::TrafficLog* log) {
  ExchangeRecord record;
  TrafficReporter reporter(log, line.portPath);
  const OpenedLine opened = OpenLine(line, record, reporter);
  if (opened.port) Fail(record, ExchangeStage::NothingToSend);
  return record;
}

}  // namespace tarnwick::board
