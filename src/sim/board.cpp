#include "board.h"

#include <algorithm>

#include "link/baud_rates.h"
#include "link/little_endian.h"

namespace tarnwick::sim {
namespace {

using link::CommandCode;
using link::kBroadcastAddress;
using link::kReplyFlag;

const Bytes kOk = {0};

bool IsStepperCommand(CommandCode code) {
  return code == CommandCode::kStepperByCount || code == CommandCode::kStepperByParameters ||
         code == CommandCode::kStepperStatus;
}

bool IsDcCommand(CommandCode code) {
  return code == CommandCode::kDcDuty || code == CommandCode::kDcDriveModes || code == CommandCode::kDcParameters ||
         code == CommandCode::kDcStatus;
}

std::int8_t SignedDutyOf(const DcMotor& m) {
  switch (m.mode) {
    case link::kDriveForward: return static_cast<std::int8_t>(m.pulseDuty);
    case link::kDriveReversal: return static_cast<std::int8_t>(-m.pulseDuty);
    default: return m.duty;
  }
}

bool IsDuty(std::uint8_t value) { return value <= link::kMaxDutyPercent; }

}  // namespace

Bytes Board::ReplyFrame(std::uint8_t command, Data data) const {
  Bytes body{command};
  body.insert(body.end(), data.begin(), data.end());
  return MakeFrame(state_.address, body);
}

Bytes Board::ErrorReply(DeviceError code) const {
  const std::uint8_t data = static_cast<std::uint8_t>(code);
  return ReplyFrame(link::kDeviceErrorCommand, std::span(&data, 1));
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
  const std::uint8_t address = frame[link::kAddressOffset];
  const std::uint8_t n = frame[link::kLengthOffset];
  if (n == 0) return address == state_.address ? ErrorReply(DeviceError::Syntax) : Bytes{};
  const std::uint8_t commandByte = frame[link::kCommandOffset];
  const link::CommandInfo* command = link::FindCommand(static_cast<std::uint8_t>(commandByte & ~kReplyFlag));
  // Questions are answered even when sent to everyone and without the reply flag.
  const bool answer = (address == state_.address && (commandByte & kReplyFlag)) ||
                      (command && command->reply == link::ReplyRule::kAlways);
  if (!command) return answer ? ErrorReply(DeviceError::InvalidCommand) : Bytes{};

  std::optional<DeviceError> error = Refusal(command->code, n);
  Bytes data;
  if (!error) {
    Outcome outcome = Handle(command->code, frame.subspan(link::kFirstDataOffset, n - 1u));
    error = outcome.error;
    data = std::move(outcome.data);
  }
  if (!answer) return {};
  return error ? ErrorReply(*error) : ReplyFrame(link::CodeByte(command->code), data);
}

// Why a well-formed frame of this command cannot be carried out at all.
std::optional<DeviceError> Board::Refusal(CommandCode code, std::uint8_t n) const {
  if (n != link::CommandInfoOf(code).dataLength + 1) return DeviceError::Syntax;
  if (IsStepperCommand(code) && state_.motorType != link::kMotorStepper) return DeviceError::MotorType;
  if (IsDcCommand(code) && state_.motorType != link::kMotorDc) return DeviceError::MotorType;
  return std::nullopt;
}

Board::Outcome Board::Handle(CommandCode code, Data data) {
  switch (code) {
    case CommandCode::kGetAddress: return {kOk, {}};
    case CommandCode::kStepperByCount: return RunStepperByCount(data);
    case CommandCode::kStepperByParameters: return RunStepperByParameters(data);
    case CommandCode::kStepperStatus: return StepperStatus();
    case CommandCode::kDcDuty: return RunDcDuty(data);
    case CommandCode::kDcDriveModes: return SetDriveModes(data);
    case CommandCode::kDcParameters: return SetDcParameters(data);
    case CommandCode::kDcStatus: return DcStatus();
    case CommandCode::kResetDefaults: return ResetDefaults();
    case CommandCode::kStopMotor: return StopMotors();
    case CommandCode::kChangeAddress: return ChangeAddress(data);
    case CommandCode::kChangeBaudRate: return ChangeBaudRate(data);
    case CommandCode::kSetupMotor: return SetupMotor(data);
    case CommandCode::kReadSetup: return {Bytes(state_.setup.begin(), state_.setup.end()), {}};
  }
  return {{}, DeviceError::InvalidCommand};
}

Board::Outcome Board::RunStepperByCount(Data data) {
  state_.stepWord = link::Le32(data, 0);
  return {kOk, {}};
}

Board::Outcome Board::RunStepperByParameters(Data data) {
  if (!IsDuty(data[4])) return {{}, DeviceError::Syntax};
  state_.stepWord = link::Le32(data, 0);
  state_.stepperDuty = data[4];
  state_.stepperFrequency = link::Le16(data, 5);
  return {kOk, {}};
}

Board::Outcome Board::StepperStatus() const {
  Bytes status(8);
  link::PutLe32(status, 1, state_.stepWord);
  status[5] = state_.stepperDuty;
  link::PutLe16(status, 6, state_.stepperFrequency);
  return {status, {}};
}

Board::Outcome Board::RunDcDuty(Data data) {
  for (auto [motor, duty] : {std::pair{&state_.left, data[0]}, std::pair{&state_.right, data[1]}}) {
    motor->duty = static_cast<std::int8_t>(duty);
    motor->mode = motor->duty > 0 ? link::kDriveForward : motor->duty < 0 ? link::kDriveReversal : link::kDriveStop;
    motor->pulseDuty = static_cast<std::uint8_t>(motor->duty < 0 ? -motor->duty : motor->duty);
  }
  return {kOk, {}};
}

Board::Outcome Board::SetDriveModes(Data data) {
  const std::uint8_t leftMode = data[0] & 0x0F;
  const std::uint8_t rightMode = data[0] >> 4;
  if (leftMode > link::kDriveShortBrake || rightMode > link::kDriveShortBrake) return {{}, DeviceError::Syntax};
  state_.left.mode = leftMode;
  state_.right.mode = rightMode;
  for (DcMotor* m : {&state_.left, &state_.right})
    if (m->mode == link::kDriveStop || m->mode == link::kDriveShortBrake) m->duty = 0;
  return {kOk, {}};
}

Board::Outcome Board::SetDcParameters(Data data) {
  if (!IsDuty(data[0]) || !IsDuty(data[1])) return {{}, DeviceError::Syntax};
  state_.left.pulseDuty = data[0];
  state_.right.pulseDuty = data[1];
  state_.left.frequency = link::Le16(data, 2);
  state_.right.frequency = link::Le16(data, 4);
  return {kOk, {}};
}

Board::Outcome Board::DcStatus() const {
  return {{static_cast<std::uint8_t>(SignedDutyOf(state_.left)), static_cast<std::uint8_t>(SignedDutyOf(state_.right))},
          {}};
}

Board::Outcome Board::ResetDefaults() {
  const BoardState factory;
  state_.stepperDuty = factory.stepperDuty;
  state_.stepperFrequency = factory.stepperFrequency;
  state_.left = factory.left;
  state_.right = factory.right;
  state_.stepWord = 0;
  return {kOk, {}};
}

Board::Outcome Board::StopMotors() {
  state_.stepWord = 0;
  state_.left.mode = state_.right.mode = link::kDriveStop;
  state_.left.duty = state_.right.duty = 0;
  return {kOk, {}};
}

// Answered from the new address; a refused address is answered with FF.
Board::Outcome Board::ChangeAddress(Data data) {
  const std::uint8_t newAddress = data[0];
  if (newAddress == 0x00 || newAddress == kBroadcastAddress) return {{0xFF}, {}};
  state_.address = newAddress;
  return {{newAddress}, {}};
}

// The board server applies the new rate after this reply has left at the old one.
Board::Outcome Board::ChangeBaudRate(Data data) {
  if (!link::BaudRateAt(data[0])) return {{}, DeviceError::Syntax};
  state_.baudIndex = data[0];
  return {{data[0]}, {}};
}

Board::Outcome Board::SetupMotor(Data data) {
  const std::uint8_t type = data[0];
  if (type != link::kMotorStepper && type != link::kMotorDc) return {{}, DeviceError::Syntax};
  std::copy(data.begin(), data.end(), state_.setup.begin());
  state_.motorType = static_cast<link::MotorType>(type);
  if (state_.motorType == link::kMotorStepper) {
    state_.stepperDuty = data[1];
    state_.stepperFrequency = link::Le16(data, 2);
  } else {
    state_.left.pulseDuty = data[1];
    state_.right.pulseDuty = data[2];
    state_.left.frequency = link::Le16(data, 3);
    state_.right.frequency = link::Le16(data, 5);
  }
  return {kOk, {}};
}

}  // namespace tarnwick::sim
