#include "board.h"

#include <algorithm>

#include "link/frame.h"

namespace tarnwick::sim {
namespace {

using link::kBroadcastAddress;
using link::kReplyFlag;

constexpr std::uint8_t kFirstDataOffset = 3;

// The length byte each command must carry.
int ExpectedLength(std::uint8_t code) {
  switch (code) {
    case 0x00: case 0x13: case 0x24: case 0x38: case 0x3F: case 0x43: return 1;
    case 0x22: case 0x40: case 0x41: return 2;
    case 0x21: return 3;
    case 0x11: return 5;
    case 0x23: return 7;
    case 0x12: case 0x42: return 8;
    default: return -1;
  }
}

bool IsStepperCommand(std::uint8_t code) { return code >= 0x11 && code <= 0x13; }
bool IsDcCommand(std::uint8_t code) { return code >= 0x21 && code <= 0x24; }
// Questions are answered even when sent to everyone and without the reply flag.
bool AlwaysAnswered(std::uint8_t code) { return code == 0x00 || code == 0x24 || code == 0x43; }

std::uint16_t Le16(std::span<const std::uint8_t> b) { return static_cast<std::uint16_t>(b[0] | (b[1] << 8)); }
std::uint32_t Le32(std::span<const std::uint8_t> b) {
  return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

std::int8_t SignedDutyOf(const DcMotor& m) {
  switch (m.mode) {
    case kForward: return static_cast<std::int8_t>(m.pulseDuty);
    case kReversal: return static_cast<std::int8_t>(-m.pulseDuty);
    default: return m.duty;
  }
}

}  // namespace

Bytes MakeFrame(std::uint8_t address, std::span<const std::uint8_t> commandAndData) {
  Bytes frame;
  frame.reserve(commandAndData.size() + 4);
  frame.push_back(address);
  frame.push_back(static_cast<std::uint8_t>(commandAndData.size()));
  for (std::uint8_t b : commandAndData) frame.push_back(b);
  const std::uint16_t sum = link::ComputeChecksum(frame);
  frame.push_back(static_cast<std::uint8_t>(sum & 0xFF));
  frame.push_back(static_cast<std::uint8_t>(sum >> 8));
  return frame;
}

Bytes Board::ReplyFrame(std::uint8_t address, std::uint8_t command, std::span<const std::uint8_t> data) const {
  Bytes body{command};
  body.insert(body.end(), data.begin(), data.end());
  return MakeFrame(address, body);
}

Bytes Board::ErrorReply(DeviceError code) const {
  const std::uint8_t data = static_cast<std::uint8_t>(code);
  return ReplyFrame(state_.address, link::kDeviceErrorCommand, std::span(&data, 1));
}

Board::Result Board::TakeFrame(std::span<const std::uint8_t> bytes, bool atBurstEnd) {
  if (bytes.size() < 2) return {atBurstEnd ? bytes.size() : 0, {}, atBurstEnd};
  const std::uint8_t address = bytes[0];
  const bool forUs = address == state_.address || address == kBroadcastAddress;
  const std::size_t claimed = std::size_t{bytes[1]} + 4;

  if (claimed <= bytes.size()) {
    const auto frame = bytes.first(claimed);
    if (link::VerifyReply(frame)) return {claimed, forUs ? Execute(frame) : Bytes{}, true};
  }
  // The length byte does not lead to a good frame. Judge the whole burst once the
  // line is quiet: a burst whose own checksum holds had a wrong length byte.
  if (!atBurstEnd) return {0, {}, false};
  const bool wantsAnswer = bytes.size() > 2 && address == state_.address && (bytes[2] & kReplyFlag);
  Bytes reply;
  if (wantsAnswer) reply = ErrorReply(link::VerifyReply(bytes) ? DeviceError::Syntax : DeviceError::DataCheck);
  return {bytes.size(), reply, true};
}

Bytes Board::Execute(std::span<const std::uint8_t> frame) {
  const std::uint8_t address = frame[0];
  const std::uint8_t n = frame[1];
  if (n == 0) return address == state_.address ? ErrorReply(DeviceError::Syntax) : Bytes{};
  const std::uint8_t commandByte = frame[2];
  const std::uint8_t code = commandByte & 0x7F;
  const auto data = frame.subspan(kFirstDataOffset, n - 1u);
  const bool answer = (address == state_.address && (commandByte & kReplyFlag)) || AlwaysAnswered(code);
  auto reply = [&](std::span<const std::uint8_t> replyData) { return answer ? ReplyFrame(state_.address, code, replyData) : Bytes{}; };
  auto error = [&](DeviceError e) { return answer ? ErrorReply(e) : Bytes{}; };
  const std::uint8_t ok = 0;
  const auto okReply = [&] { return reply(std::span(&ok, 1)); };

  const int expected = ExpectedLength(code);
  if (expected < 0) return error(DeviceError::InvalidCommand);
  if (expected != n) return error(DeviceError::Syntax);
  if (IsStepperCommand(code) && state_.motorType != MotorType::Stepper) return error(DeviceError::MotorType);
  if (IsDcCommand(code) && state_.motorType != MotorType::DC) return error(DeviceError::MotorType);

  switch (code) {
    case 0x00:
      return okReply();
    case 0x11:
      state_.stepWord = Le32(data);
      return okReply();
    case 0x12:
      if (data[4] > 100) return error(DeviceError::Syntax);
      state_.stepWord = Le32(data);
      state_.stepperDuty = data[4];
      state_.stepperFrequency = Le16(data.subspan(5));
      return okReply();
    case 0x13: {
      const std::uint32_t w = state_.stepWord;
      const std::array<std::uint8_t, 8> status = {
          0, static_cast<std::uint8_t>(w), static_cast<std::uint8_t>(w >> 8), static_cast<std::uint8_t>(w >> 16),
          static_cast<std::uint8_t>(w >> 24), state_.stepperDuty, static_cast<std::uint8_t>(state_.stepperFrequency),
          static_cast<std::uint8_t>(state_.stepperFrequency >> 8)};
      return reply(status);
    }
    case 0x21: {
      for (auto [motor, duty] : {std::pair{&state_.left, data[0]}, std::pair{&state_.right, data[1]}}) {
        motor->duty = static_cast<std::int8_t>(duty);
        motor->mode = motor->duty > 0 ? kForward : motor->duty < 0 ? kReversal : kStop;
        motor->pulseDuty = static_cast<std::uint8_t>(motor->duty < 0 ? -motor->duty : motor->duty);
      }
      return okReply();
    }
    case 0x22:
      if ((data[0] & 0x0F) > kShortBrake || (data[0] >> 4) > kShortBrake) return error(DeviceError::Syntax);
      state_.left.mode = data[0] & 0x0F;
      state_.right.mode = data[0] >> 4;
      for (DcMotor* m : {&state_.left, &state_.right})
        if (m->mode == kStop || m->mode == kShortBrake) m->duty = 0;
      return okReply();
    case 0x23:
      if (data[0] > 100 || data[1] > 100) return error(DeviceError::Syntax);
      state_.left.pulseDuty = data[0];
      state_.right.pulseDuty = data[1];
      state_.left.frequency = Le16(data.subspan(2));
      state_.right.frequency = Le16(data.subspan(4));
      return okReply();
    case 0x24: {
      const std::array<std::uint8_t, 2> values = {static_cast<std::uint8_t>(SignedDutyOf(state_.left)),
                                                  static_cast<std::uint8_t>(SignedDutyOf(state_.right))};
      return reply(values);
    }
    case 0x38: {
      const BoardState factory;
      state_.stepperDuty = factory.stepperDuty;
      state_.stepperFrequency = factory.stepperFrequency;
      state_.left = factory.left;
      state_.right = factory.right;
      state_.stepWord = 0;
      return okReply();
    }
    case 0x3F:
      state_.stepWord = 0;
      state_.left.mode = state_.right.mode = kStop;
      state_.left.duty = state_.right.duty = 0;
      return okReply();
    case 0x40: {
      const std::uint8_t newAddress = data[0];
      if (newAddress == 0x00 || newAddress == kBroadcastAddress) {
        const std::uint8_t failed = 0xFF;
        return reply(std::span(&failed, 1));
      }
      state_.address = newAddress;
      return reply(data);  // from the new address
    }
    case 0x41: {
      if (data[0] > 6) return error(DeviceError::Syntax);
      Bytes answered = reply(data);  // at the old rate; the new one applies afterwards
      state_.baudIndex = data[0];
      return answered;
    }
    case 0x42: {
      const std::uint8_t type = data[0];
      if (type != 1 && type != 2) return error(DeviceError::Syntax);
      std::copy(data.begin(), data.end(), state_.setup.begin());
      state_.motorType = static_cast<MotorType>(type);
      if (state_.motorType == MotorType::Stepper) {
        state_.stepperDuty = data[1];
        state_.stepperFrequency = Le16(data.subspan(2));
      } else {
        state_.left.pulseDuty = data[1];
        state_.right.pulseDuty = data[2];
        state_.left.frequency = Le16(data.subspan(3));
        state_.right.frequency = Le16(data.subspan(5));
      }
      return okReply();
    }
    case 0x43:
      return reply(state_.setup);
    default:
      return error(DeviceError::InvalidCommand);
  }
}

}  // namespace tarnwick::sim
