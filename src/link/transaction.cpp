#include "transaction.h"

#include <algorithm>
#include <array>

#include "baud_rates.h"
#include "field_text.h"
#include "hex_text.h"

namespace tarnwick::link {
namespace {

constexpr std::array<std::uint8_t, kTabStepperTest> kCommandCodes = {
    0x00, 0x11, 0x12, 0x13, 0x21, 0x22, 0x23, 0x24, 0x38, 0x3F, 0x40, 0x41, 0x42, 0x43};

bool PanelBuildsCommand(int tab) {
  switch (tab) {
    case kTabCmd11: case kTabCmd12: case kTabCmd21: case kTabCmd23: case kTabCmd40: case kTabCmd42:
      return true;
    default:
      return false;
  }
}

// CMD00, CMD24 and CMD43 ask a question, so their reply is read whatever the flag.
bool AlwaysAwaitsReply(int tab) { return tab == kTabCmd00 || tab == kTabCmd24 || tab == kTabCmd43; }

// Writes the command byte and data for tab from frame byte 2; returns N, 0 for invalid input.
std::uint8_t EncodeCommand(TransactionHost& host, int tab, std::uint8_t replyFlag, FrameBuffer& frame) {
  const auto out = std::span(frame).subspan(kCommandOffset, kMaxCommandLength);
  if (PanelBuildsCommand(tab)) {
    const std::uint8_t n = host.BuildCommand(tab, replyFlag, out);
    return n <= kMaxCommandLength ? n : 0;
  }
  const std::uint8_t flag = replyFlag ? kReplyFlag : 0;
  const std::uint8_t code = kCommandCodes[static_cast<std::size_t>(tab)];
  switch (tab) {
    case kTabCmd00:
      out[0] = code | kReplyFlag;
      return 1;
    case kTabCmd22:
      out[0] = code | flag;
      out[1] = static_cast<std::uint8_t>(((host.RightMode() & 0x0F) << 4) | (host.LeftMode() & 0x0F));
      return 2;
    case kTabCmd41:
      out[0] = code | flag;
      out[1] = static_cast<std::uint8_t>(host.NewBaudIndex());
      return 2;
    default:
      out[0] = code | flag;
      return 1;
  }
}

// Evaluates a reply whose checksum holds. reply ends before the checksum.
std::string EvaluateReply(TransactionHost& host, std::span<const std::uint8_t> reply) {
  if (reply.size() <= kCommandOffset) return std::string(result::kDataError);
  const std::uint8_t command = reply[kCommandOffset];
  const bool hasStatus = reply.size() > kFirstDataOffset;
  const std::uint8_t status = hasStatus ? reply[kFirstDataOffset] : 0;
  const auto dataFrom = [&](std::size_t offset) {
    return offset <= reply.size() ? reply.subspan(offset) : std::span<const std::uint8_t>();
  };

  if (command == kDeviceErrorCommand)
    return hasStatus ? std::string(DeviceErrorText(status)) : std::string(result::kDataError);

  switch (command) {
    case 0x00:
      host.SetAddressText(FormatHexByte(reply[kAddressOffset]));
      break;
    case 0x11: case 0x12: case 0x21: case 0x22: case 0x23: case 0x3F: case 0x42:
      if (!hasStatus) return std::string(result::kDataError);
      if (status == 1) return std::string(result::kFailed);
      break;
    case 0x13:
      if (!hasStatus) return std::string(result::kDataError);
      if (status == 1) return std::string(result::kFailed);
      if (!host.ShowReply(command, dataFrom(kFirstDataOffset + 1))) return std::string(result::kDataError);
      break;
    case 0x24: case 0x43:
      if (!host.ShowReply(command, dataFrom(kFirstDataOffset))) return std::string(result::kDataError);
      break;
    case 0x40:
      if (!hasStatus) return std::string(result::kDataError);
      if (status == 0xFF) return std::string(result::kFailed);
      host.SetAddressText(FormatHexByte(status));
      break;
    case 0x41:
      if (!hasStatus || !BaudRateAt(status)) return std::string(result::kDataError);
      host.SelectBaudIndex(status);
      break;
    default:
      break;
  }
  return std::string(result::kSuccess);
}

}  // namespace

std::optional<std::uint8_t> CommandCodeOfTab(int tab) {
  if (tab < 0 || tab >= kTabStepperTest) return std::nullopt;
  return kCommandCodes[static_cast<std::size_t>(tab)];
}

std::uint8_t ParseAddressText(std::string_view text) {
  const std::string trimmed = TrimFieldText(text);
  if (trimmed.empty()) return kBroadcastAddress;
  return static_cast<std::uint8_t>(ParseHexText(trimmed) & 0xFF);
}

namespace {

struct OpenedPort {
  std::unique_ptr<SerialPort> port;
  int baudRate = 0;
  ExchangeOutcome failure;
};

OpenedPort OpenSelectedPort(TransactionHost& host) {
  host.ClearOutputs();
  const std::string path = host.SelectedPortPath();
  const std::optional<int> baudIndex = host.SelectedBaudIndex();
  const std::optional<int> baudRate = baudIndex ? BaudRateAt(*baudIndex) : std::nullopt;
  if (path.empty() || !baudRate) return {nullptr, 0, {ExchangeStage::NoPortSelected, {}}};
  OpenError openError;
  auto port = OpenPort(path, *baudRate, &openError);
  if (!port) {
    host.PortUnavailable(path, openError);
    return {nullptr, 0, {ExchangeStage::PortUnavailable, {}}};
  }
  return {std::move(port), *baudRate, {}};
}

// Sends the completed frame and, when asked to, reads and evaluates the reply.
ExchangeOutcome Exchange(TransactionHost& host, SerialPort& port, int baudRate, FrameBuffer& frame,
                         std::size_t frameSize, bool awaitReply) {
  const auto sent = std::span(frame).first(frameSize);
  host.ShowFrameBytes(sent, true);
  port.TransmitFrame(sent, baudRate);
  if (!awaitReply) return {ExchangeStage::Sent, {}};

  const ReadResult read = port.ReadReply(frame);
  std::string text;
  if (!read.ok) {
    text = result::kReadFailed;
  } else if (read.count == 0) {
    text = result::kNoResponse;
  } else {
    const auto reply = std::span<const std::uint8_t>(frame).first(read.count);
    host.ShowFrameBytes(reply, false);
    text = VerifyReply(reply) ? EvaluateReply(host, reply.first(reply.size() - 2)) : std::string(result::kDataError);
  }
  host.SetResultText(text);
  return {ExchangeStage::ReplyEvaluated, text};
}

std::uint8_t ReplyFlagFor(const TransactionHost& host, std::uint8_t address) {
  return (address != kBroadcastAddress && host.ReplyWanted()) ? 1 : 0;
}

}  // namespace

ExchangeOutcome SendCommand(TransactionHost& host) {
  OpenedPort opened = OpenSelectedPort(host);
  if (!opened.port) return opened.failure;

  const std::uint8_t address = ParseAddressText(host.AddressText());
  const std::uint8_t replyFlag = ReplyFlagFor(host, address);
  const int tab = host.CurrentTab();
  if (!CommandCodeOfTab(tab)) return {ExchangeStage::NothingToSend, {}};

  FrameBuffer frame{};
  const std::uint8_t n = EncodeCommand(host, tab, replyFlag, frame);
  if (n == 0) {
    host.ShowInvalidParameter();
    return {ExchangeStage::InvalidParameter, {}};
  }
  const std::size_t frameSize = CompleteFrame(frame, address, n);
  return Exchange(host, *opened.port, opened.baudRate, frame, frameSize, replyFlag || AlwaysAwaitsReply(tab));
}

ExchangeOutcome SendRawCommand(TransactionHost& host, std::span<const std::uint8_t> commandAndData) {
  if (commandAndData.empty() || commandAndData.size() > kMaxCommandLength) {
    host.ShowInvalidParameter();
    return {ExchangeStage::InvalidParameter, {}};
  }
  OpenedPort opened = OpenSelectedPort(host);
  if (!opened.port) return opened.failure;

  FrameBuffer frame{};
  std::copy(commandAndData.begin(), commandAndData.end(), frame.begin() + kCommandOffset);
  const std::uint8_t address = ParseAddressText(host.AddressText());
  const std::size_t frameSize = CompleteFrame(frame, address, static_cast<std::uint8_t>(commandAndData.size()));
  return Exchange(host, *opened.port, opened.baudRate, frame, frameSize, (commandAndData[0] & kReplyFlag) != 0);
}

}  // namespace tarnwick::link
