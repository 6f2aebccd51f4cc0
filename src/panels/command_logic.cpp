#include "panels/command_logic.h"

#include <algorithm>
#include <string>

#include "link/field_text.h"
#include "link/frame.h"
#include "link/hex_text.h"
#include "link/little_endian.h"

namespace tarnwick::panels {
namespace {

using link::CommandCode;
using link::kMotorDc;
using link::kMotorStepper;
using link::Le16;
using link::Le32;
using link::PutLe16;
using link::PutLe32;

constexpr std::uint32_t kStepCountMask = 0x7FFFFFFF;
constexpr std::uint32_t kReverseBit = 0x80000000;
constexpr std::uint32_t kUnlimitedStepCount = kStepCountMask;
constexpr std::int32_t kMaxDuty = link::kMaxDutyPercent;
constexpr std::int32_t kMaxFrequency = 0xFFFF;

// N, the command byte and data bytes of code's frame.
std::uint8_t LengthOf(CommandCode code) { return static_cast<std::uint8_t>(link::CommandInfoOf(code).dataLength + 1); }

// out can take code's command byte and data.
bool Fits(CommandCode code, std::span<const std::uint8_t> out) { return out.size() >= LengthOf(code); }

// Writes code's command byte, the data being in place, and returns N.
std::uint8_t Finish(CommandCode code, std::uint8_t replyFlag, std::span<std::uint8_t> out) {
  out[0] = replyFlag ? static_cast<std::uint8_t>(link::CodeByte(code) | link::kReplyFlag) : link::CodeByte(code);
  return LengthOf(code);
}

// Records why an encoder refuses its fields, in the panel's words: the first
// field refused is the one named.
class Refusal {
 public:
  explicit Refusal(std::string* reason) : reason_(reason) {}
  std::nullopt_t Say(std::string why) {
    if (reason_ && reason_->empty()) *reason_ = std::move(why);
    return std::nullopt;
  }
  std::nullopt_t Range(std::string_view label, std::string_view range) {
    return Say(std::string(label) + " must be " + std::string(range));
  }

 private:
  std::string* reason_;
};

// A decimal field's value; an empty field is 0 unless the panel requires it.
std::optional<std::int32_t> DecimalField(std::string_view label, std::string_view text, bool required, Refusal& refusal) {
  const std::string trimmed = link::TrimFieldText(text);
  if (trimmed.empty() && required) return refusal.Say(std::string(label) + " is empty");
  return link::DecimalFieldValue(trimmed);
}

// A frequency must fit the frame's 16 bits; cutting it to its low bits would run
// the motor at an unrelated speed.
std::optional<std::uint16_t> FrequencyField(std::string_view label, std::string_view text, bool required,
                                            Refusal& refusal) {
  const auto value = DecimalField(label, text, required, refusal);
  if (!value) return std::nullopt;
  if (*value < 0 || *value > kMaxFrequency) return refusal.Range(label, "0 to 65535");
  return static_cast<std::uint16_t>(*value);
}

// A duty of 0..100; the unsigned view refuses negative entries as well.
std::optional<std::uint8_t> DutyField(std::string_view label, std::string_view text, bool required, Refusal& refusal) {
  const auto value = DecimalField(label, text, required, refusal);
  if (!value) return std::nullopt;
  if (static_cast<std::uint32_t>(*value) > kMaxDuty) return refusal.Range(label, "0 to 100");
  return static_cast<std::uint8_t>(*value);
}

// CMD42 keeps default duties in range by limiting them rather than refusing.
std::optional<std::uint8_t> LimitedDutyField(std::string_view label, std::string_view text, Refusal& refusal) {
  const auto value = DecimalField(label, text, true, refusal);
  if (!value) return std::nullopt;
  return static_cast<std::uint8_t>(std::min<std::uint32_t>(static_cast<std::uint32_t>(*value), kMaxDuty));
}

// Step count and direction in one word. nullopt for a negative decimal count,
// which would otherwise wrap to about two thousand million steps.
std::optional<std::uint32_t> StepWordOf(std::string_view stepCountText, bool reverse, bool notLimit, Refusal& refusal) {
  std::uint32_t count = kUnlimitedStepCount;
  if (!notLimit) {
    const std::string text = link::TrimFieldText(stepCountText);
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
      count = link::ParseHexText(std::string_view(text).substr(2)) & kStepCountMask;
    } else {
      const std::int32_t value = link::DecimalFieldValue(text);
      if (value < 0) return refusal.Say("Step count must not be negative");
      count = static_cast<std::uint32_t>(value);
    }
  }
  return (reverse && count != 0) ? (count | kReverseBit) : count;
}

// The byte a hexadecimal address text names, or nullopt when it names a larger
// number (its low eight bits would address some other device).
std::optional<std::uint8_t> HexByteOf(std::string_view text) {
  constexpr std::string_view kHexDigits = "0123456789abcdefABCDEF";
  std::string_view digits = text;
  if (digits.size() >= 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits.remove_prefix(2);
  digits = digits.substr(std::min(digits.find_first_not_of('0'), digits.size()));
  const std::size_t significant = std::min(digits.find_first_not_of(kHexDigits), digits.size());
  if (significant > 2) return std::nullopt;
  return static_cast<std::uint8_t>(link::ParseHexText(text));
}

std::string Unsigned(std::uint32_t value) { return std::to_string(value); }

std::string SignedStatus(std::uint8_t byte) {
  const int value = static_cast<std::int8_t>(byte);
  std::string text = std::to_string(value);
  if (value > 0) text.insert(text.begin(), '+');
  return text;
}

}  // namespace

std::string_view DriveModeText(std::uint8_t mode) {
  switch (mode) {
    case link::kDriveStop: return "Stop";
    case link::kDriveForward: return "Forward";
    case link::kDriveReversal: return "Reversal";
    case link::kDriveShortBrake: return "ShortBrake";
    default: return "";
  }
}

std::string_view MotorTypeText(std::uint8_t code) {
  switch (code) {
    case kMotorStepper: return "Stepper";
    case kMotorDc: return "D-C";
    default: return "";
  }
}

std::uint8_t BuildCommand(const Cmd11Fields& fields, std::uint8_t replyFlag, std::span<std::uint8_t> out,
                          std::string* reason) {
  Refusal refusal(reason);
  if (!Fits(CommandCode::kStepperByCount, out)) return 0;
  const auto stepWord = StepWordOf(fields.stepCount, fields.reverse, fields.notLimit, refusal);
  if (!stepWord) return 0;
  PutLe32(out, 1, *stepWord);
  return Finish(CommandCode::kStepperByCount, replyFlag, out);
}

std::uint8_t BuildCommand(const Cmd12Fields& fields, std::uint8_t replyFlag, std::span<std::uint8_t> out,
                          std::string* reason) {
  Refusal refusal(reason);
  if (!Fits(CommandCode::kStepperByParameters, out)) return 0;
  const auto stepWord = StepWordOf(fields.stepCount, fields.reverse, fields.notLimit, refusal);
  const auto frequency = FrequencyField("Frequency", fields.frequency, false, refusal);
  const auto duty = DutyField("Pulse Duty", fields.pulseDuty, false, refusal);
  if (!stepWord || !frequency || !duty) return 0;
  PutLe32(out, 1, *stepWord);
  out[5] = *duty;
  PutLe16(out, 6, *frequency);
  return Finish(CommandCode::kStepperByParameters, replyFlag, out);
}

std::uint8_t BuildCommand(const Cmd21Fields& fields, std::uint8_t replyFlag, std::span<std::uint8_t> out,
                          std::string* reason) {
  Refusal refusal(reason);
  if (!Fits(CommandCode::kDcDuty, out)) return 0;
  const auto left = DutyField("Left Duty", fields.leftDuty, true, refusal);
  const auto right = DutyField("Right Duty", fields.rightDuty, true, refusal);
  if (!left || !right) return 0;
  const auto signedDuty = [](std::uint8_t duty, bool reverse) {
    return static_cast<std::uint8_t>(reverse ? -duty : duty);
  };
  out[1] = signedDuty(*left, fields.leftReverse);
  out[2] = signedDuty(*right, fields.rightReverse);
  return Finish(CommandCode::kDcDuty, replyFlag, out);
}

std::uint8_t BuildCommand(const Cmd22Fields& fields, std::uint8_t replyFlag, std::span<std::uint8_t> out,
                          std::string* reason) {
  constexpr CommandCode kCode = CommandCode::kDcDriveModes;
  Refusal refusal(reason);
  const auto isMode = [](std::uint8_t mode) { return mode <= link::kDriveShortBrake; };
  if (!Fits(kCode, out)) return 0;
  if (!isMode(fields.leftMode) || !isMode(fields.rightMode)) {
    refusal.Range("A drive mode", "Stop, Forward, Reversal or ShortBrake");
    return 0;
  }
  out[1] = static_cast<std::uint8_t>((fields.rightMode << 4) | fields.leftMode);  // Right in the high four bits
  return Finish(kCode, replyFlag, out);
}

std::uint8_t BuildCommand(const Cmd23Fields& fields, std::uint8_t replyFlag, std::span<std::uint8_t> out,
                          std::string* reason) {
  Refusal refusal(reason);
  if (!Fits(CommandCode::kDcParameters, out)) return 0;
  const auto leftFrequency = FrequencyField("Left Frequency", fields.leftFrequency, true, refusal);
  const auto leftDuty = DutyField("Left Pulse Duty", fields.leftPulseDuty, true, refusal);
  const auto rightFrequency = FrequencyField("Right Frequency", fields.rightFrequency, true, refusal);
  const auto rightDuty = DutyField("Right Pulse Duty", fields.rightPulseDuty, true, refusal);
  if (!leftFrequency || !rightFrequency || !leftDuty || !rightDuty) return 0;
  out[1] = *leftDuty;
  out[2] = *rightDuty;
  PutLe16(out, 3, *leftFrequency);
  PutLe16(out, 5, *rightFrequency);
  return Finish(CommandCode::kDcParameters, replyFlag, out);
}

std::uint8_t BuildCommand(const Cmd40Fields& fields, std::uint8_t replyFlag, std::span<std::uint8_t> out,
                          std::string* reason) {
  Refusal refusal(reason);
  if (!Fits(CommandCode::kChangeAddress, out)) return 0;
  const std::string text = link::TrimFieldText(fields.newAddress);
  if (text.empty()) return refusal.Say("New Address is empty"), 0;
  const auto address = HexByteOf(text);
  if (!address || *address == 0x00 || *address == link::kBroadcastAddress)
    return refusal.Range("New Address", "01 to FE"), 0;
  out[1] = *address;
  return Finish(CommandCode::kChangeAddress, replyFlag, out);
}

std::uint8_t BuildCommand(const Cmd41Fields& fields, std::uint8_t replyFlag, std::span<std::uint8_t> out,
                          std::string* reason) {
  Refusal refusal(reason);
  if (!Fits(CommandCode::kChangeBaudRate, out)) return 0;
  if (!link::BaudRateAt(fields.baudIndex)) return refusal.Range("Baudrate", "a rate of the list"), 0;
  out[1] = static_cast<std::uint8_t>(fields.baudIndex);
  return Finish(CommandCode::kChangeBaudRate, replyFlag, out);
}

std::uint8_t BuildCommand(const Cmd42Fields& fields, std::uint8_t replyFlag, std::span<std::uint8_t> out,
                          std::string* reason) {
  Refusal refusal(reason);
  const bool knownType = fields.motorType == kMotorStepper || fields.motorType == kMotorDc;
  if (!Fits(CommandCode::kSetupMotor, out)) return 0;
  if (!knownType) return refusal.Range("MotorType", "Stepper or D-C"), 0;
  const auto leftFrequency = FrequencyField("Left Frequency", fields.leftFrequency, true, refusal);
  const auto leftDuty = LimitedDutyField("Left Pulse Duty", fields.leftPulseDuty, refusal);
  if (!leftFrequency || !leftDuty) return 0;
  out[1] = fields.motorType;
  out[2] = *leftDuty;
  if (fields.motorType == kMotorStepper) {
    PutLe16(out, 3, *leftFrequency);
    out[5] = out[6] = out[7] = 0;
    return Finish(CommandCode::kSetupMotor, replyFlag, out);
  }
  const auto rightFrequency = FrequencyField("Right Frequency", fields.rightFrequency, true, refusal);
  const auto rightDuty = LimitedDutyField("Right Pulse Duty", fields.rightPulseDuty, refusal);
  if (!rightFrequency || !rightDuty) return 0;
  out[3] = *rightDuty;
  PutLe16(out, 4, *leftFrequency);
  PutLe16(out, 6, *rightFrequency);
  return Finish(CommandCode::kSetupMotor, replyFlag, out);
}

std::uint8_t BuildParameterlessCommand(CommandCode code, std::uint8_t replyFlag, std::span<std::uint8_t> out) {
  if (link::CommandInfoOf(code).dataLength != 0 || !Fits(code, out)) return 0;
  // The address question is always asked for an answer.
  return Finish(code, code == CommandCode::kGetAddress ? 1 : replyFlag, out);
}

std::optional<Cmd13Display> DecodeCmd13Reply(std::span<const std::uint8_t> data) {
  if (data.size() < 7) return std::nullopt;
  const std::uint32_t stepWord = Le32(data, 0);
  return Cmd13Display{.reverse = (stepWord & kReverseBit) != 0,
                      .stepCount = Unsigned(stepWord & kStepCountMask),
                      .pulseDuty = Unsigned(data[4]),
                      .frequency = Unsigned(Le16(data, 5))};
}

std::optional<Cmd24Display> DecodeCmd24Reply(std::span<const std::uint8_t> data) {
  if (data.size() < 2) return std::nullopt;
  return Cmd24Display{.left = SignedStatus(data[0]), .right = SignedStatus(data[1])};
}

std::optional<Cmd43Display> DecodeCmd43Reply(std::span<const std::uint8_t> data) {
  if (data.empty()) return std::nullopt;
  switch (data[0]) {
    case kMotorStepper:
      if (data.size() < 4) return std::nullopt;
      return Cmd43Display{.motorType = std::string(MotorTypeText(kMotorStepper)),
                          .leftFrequency = Unsigned(Le16(data, 2)),
                          .leftPulseDuty = Unsigned(data[1]),
                          .rightFrequency = {},
                          .rightPulseDuty = {}};
    case kMotorDc:
      if (data.size() < 7) return std::nullopt;
      return Cmd43Display{.motorType = std::string(MotorTypeText(kMotorDc)),
                          .leftFrequency = Unsigned(Le16(data, 3)),
                          .leftPulseDuty = Unsigned(data[1]),
                          .rightFrequency = Unsigned(Le16(data, 5)),
                          .rightPulseDuty = Unsigned(data[2])};
    default:
      return Cmd43Display{};
  }
}

std::uint8_t BuildPanelCommand(const CommandFieldSet& fields, CommandCode command, std::uint8_t replyFlag,
                               std::span<std::uint8_t> out, std::string* reason) {
  switch (command) {
    case CommandCode::kStepperByCount: return BuildCommand(fields.cmd11, replyFlag, out, reason);
    case CommandCode::kStepperByParameters: return BuildCommand(fields.cmd12, replyFlag, out, reason);
    case CommandCode::kDcDuty: return BuildCommand(fields.cmd21, replyFlag, out, reason);
    case CommandCode::kDcDriveModes: return BuildCommand(fields.cmd22, replyFlag, out, reason);
    case CommandCode::kDcParameters: return BuildCommand(fields.cmd23, replyFlag, out, reason);
    case CommandCode::kChangeAddress: return BuildCommand(fields.cmd40, replyFlag, out, reason);
    case CommandCode::kChangeBaudRate: return BuildCommand(fields.cmd41, replyFlag, out, reason);
    case CommandCode::kSetupMotor: return BuildCommand(fields.cmd42, replyFlag, out, reason);
    default: return BuildParameterlessCommand(command, replyFlag, out);
  }
}

std::optional<ShownFields> ReplyFieldsOf(CommandCode command, std::span<const std::uint8_t> data) {
  const auto checked = [](bool on) { return std::string(on ? "checked" : "unchecked"); };
  switch (command) {
    case CommandCode::kStepperStatus:
      if (const auto d = DecodeCmd13Reply(data))
        return ShownFields{{"Reverse", checked(d->reverse)},
                           {"Step count", d->stepCount},
                           {"Pulse Duty", d->pulseDuty},
                           {"Frequency", d->frequency}};
      return std::nullopt;
    case CommandCode::kDcStatus:
      if (const auto d = DecodeCmd24Reply(data)) return ShownFields{{"Left", d->left}, {"Right", d->right}};
      return std::nullopt;
    case CommandCode::kReadSetup:
      if (const auto d = DecodeCmd43Reply(data))
        return ShownFields{{"MotorType", d->motorType},
                           {"Left Frequency", d->leftFrequency},
                           {"Left Pulse Duty", d->leftPulseDuty},
                           {"Right Frequency", d->rightFrequency},
                           {"Right Pulse Duty", d->rightPulseDuty}};
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

std::vector<std::string> DescribeReplyFields(CommandCode command, std::span<const std::uint8_t> data) {
  std::vector<std::string> texts;
  if (const auto fields = ReplyFieldsOf(command, data))
    for (const auto& [label, value] : *fields) texts.push_back(value.empty() ? label : label + " " + value);
  return texts;
}

}  // namespace tarnwick::panels
