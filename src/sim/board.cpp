#include "board.h"

#include <algorithm>

#include "board/codec.h"
#include "link/baud_rates.h"
#include "link/hex_text.h"

namespace tarnwick::sim {
namespace {

using board::Action;
using board::Command;
using board::Field;
using board::Layout;
using link::kBroadcastAddress;
using link::kReplyFlag;

const Bytes kOk = {0};

// The motor type lives in the state's own member, which the options set.
constexpr std::string_view kMotorTypeField = board::action_fields::kMotorType;

const board::SwitchCase* CaseFor(const Layout& layout, std::uint32_t value) {
  for (const board::SwitchCase& branch : layout.cases)
    if (branch.value == value) return &branch;
  return nullptr;
}

// The case a request's data chooses (nullptr: none, or no switch).
const board::SwitchCase* ChosenCase(const Layout& layout, std::span<const std::uint8_t> data) {
  const Field* selector = layout.switchOn.empty() ? nullptr : layout.Find(layout.switchOn);
  return selector && data.size() >= layout.size ? CaseFor(layout, board::Get(*selector, data)) : nullptr;
}

template <typename Visit>
void ForEachOnWire(const Layout& layout, const board::SwitchCase* chosen, Visit visit) {
  const auto each = [&](const std::vector<Field>& fields) {
    for (const Field& field : fields)
      if (field.OnWire() && field.type != board::WireType::Pad) visit(field);
  };
  each(layout.fields);
  if (chosen) each(chosen->fields);
}

bool InRange(const Field& field, std::uint32_t raw) {
  if (field.outOfRange == board::OutOfRange::Cap || field.IsCheck()) return true;
  if (field.values && !field.values->Find(raw)) return false;
  std::int64_t value = board::NumberOf(field, raw);
  if (!field.signFrom.empty()) value = std::abs(value);  // the sign is a direction, the range a size
  return value >= field.min && value <= field.max;
}

}  // namespace

const StoredValue* BoardState::Find(std::string_view name) const {
  const auto found = values.find(name);
  return found == values.end() ? nullptr : &found->second;
}

std::optional<std::uint32_t> BoardState::Value(std::string_view name) const {
  if (name == kMotorTypeField) return motorType;
  if (const StoredValue* stored = Find(name)) return stored->value;
  return std::nullopt;
}

void BoardState::Store(std::string_view name, std::uint32_t value) {
  if (name == kMotorTypeField) {
    motorType = static_cast<link::MotorType>(value);
    return;
  }
  values.insert_or_assign(std::string(name), StoredValue{value, ++stores});
}

Bytes Board::ReplyFrame(std::uint8_t command, Data data) const {
  Bytes body{command};
  body.insert(body.end(), data.begin(), data.end());
  return description_->framing.Make(state_.address, body);
}

Bytes Board::ErrorReply(DeviceError code) const {
  const std::uint8_t data = static_cast<std::uint8_t>(code);
  return ReplyFrame(link::kDeviceErrorCommand, std::span(&data, 1));
}

Board::Result Board::TakeFrame(std::span<const std::uint8_t> bytes, bool atBurstEnd) {
  if (bytes.size() < 2) return {atBurstEnd ? bytes.size() : 0, {}, atBurstEnd};
  const std::uint8_t address = bytes[0];
  const bool forUs = address == state_.address || address == kBroadcastAddress;
  const link::Framing& framing = description_->framing;
  const std::size_t claimed = *link::Framing::AnnouncedSize(bytes);

  if (claimed <= bytes.size()) {
    const auto frame = bytes.first(claimed);
    if (framing.Verify(frame)) return {claimed, forUs ? Execute(frame) : Bytes{}, true};
  }
  // The length byte does not lead to a good frame. Judge the whole burst once the
  // line is quiet: a burst whose own check holds had a wrong length byte.
  if (!atBurstEnd) return {0, {}, false};
  const bool wantsAnswer = bytes.size() > 2 && address == state_.address && (bytes[2] & kReplyFlag);
  Bytes reply;
  if (wantsAnswer) reply = ErrorReply(framing.Verify(bytes) ? DeviceError::Syntax : DeviceError::DataCheck);
  return {bytes.size(), reply, true};
}

Bytes Board::Execute(std::span<const std::uint8_t> frame) {
  const std::uint8_t address = frame[link::kAddressOffset];
  const std::uint8_t n = frame[link::kLengthOffset];
  if (n == 0) return address == state_.address ? ErrorReply(DeviceError::Syntax) : Bytes{};
  const std::uint8_t commandByte = frame[link::kCommandOffset];
  const Command* command = description_->Find(static_cast<std::uint8_t>(commandByte & ~kReplyFlag));
  // Questions are answered even when sent to everyone and without the reply flag.
  const bool answer = (address == state_.address && (commandByte & kReplyFlag)) ||
                      (command && command->reply == board::ReplyRule::Always);
  if (!command) return answer ? ErrorReply(DeviceError::InvalidCommand) : Bytes{};

  const Data data = frame.subspan(link::kFirstDataOffset, n - 1u);
  std::optional<DeviceError> error = Refusal(*command, data);
  Bytes reply;
  if (!error) {
    Outcome outcome = Carry(*command, data);
    error = outcome.error;
    reply = std::move(outcome.data);
  }
  if (!answer) return {};
  return error ? ErrorReply(*error) : ReplyFrame(command->code, reply);
}

// A stored value, else the start value of a request field of that name in any command, else 0.
std::uint32_t Board::Known(std::string_view name) const {
  if (const auto value = state_.Value(name)) return *value;
  for (const Command& command : description_->commands)
    if (const Field* field = command.request.Find(name); field && !field->defaultText.empty())
      return board::StartValue(*field);
  return 0;
}

// Why a well-formed frame of this command cannot be carried out at all.
std::optional<DeviceError> Board::Refusal(const Command& command, Data data) const {
  const board::SwitchCase* chosen = ChosenCase(command.request, data);
  if (data.size() != (chosen ? chosen->size : command.DataLength())) return DeviceError::Syntax;
  if (!command.requiresField.empty() && Known(command.requiresField) != command.requiresValue)
    return DeviceError::MotorType;
  return std::nullopt;
}

Board::Outcome Board::Carry(const Command& command, Data data) {
  switch (command.action) {
    case Action::None: return StoreRequest(command, data);
    case Action::ReportAddress: return {kOk, {}};
    case Action::ChangeAddress: return ChangeAddress(data);
    case Action::ChangeBaudRate: return ChangeBaudRate(data);
    case Action::ResetDefaults:
      state_.values.clear();
      return {kOk, {}};
    case Action::Stop:
      for (std::string_view name : board::action_fields::kStopped) state_.Store(name, 0);
      return {kOk, {}};
    case Action::SetupMotor: return SetupMotor(command, data);
    case Action::ReadSetup: return {Bytes(state_.setup.begin(), state_.setup.end()), {}};
    case Action::DcStatus: return DcStatus(command);
  }
  return {{}, DeviceError::InvalidCommand};
}

// Every request field's value is stored by name, unless one is out of its range;
// the reply is the response filled from what is stored.
Board::Outcome Board::StoreRequest(const Command& command, Data data) {
  const board::SwitchCase* chosen = ChosenCase(command.request, data);
  bool inRange = true;
  ForEachOnWire(command.request, chosen, [&](const Field& field) { inRange &= InRange(field, board::Get(field, data)); });
  if (!inRange) return {{}, DeviceError::Syntax};
  ForEachOnWire(command.request, chosen, [&](const Field& field) { state_.Store(field.name, board::Get(field, data)); });
  return {Response(command), {}};
}

std::uint32_t Board::ResponseValue(const Field& field) const {
  if (field.isStatus) return 0;
  if (const auto value = state_.Value(field.name)) return *value;
  return field.defaultText.empty() ? 0 : board::StartValue(field);
}

Bytes Board::Response(const Command& command) const {
  const Layout& layout = command.response;
  const Field* selector = layout.switchOn.empty() ? nullptr : layout.Find(layout.switchOn);
  const board::SwitchCase* chosen = selector ? CaseFor(layout, ResponseValue(*selector)) : nullptr;
  Bytes data(chosen ? chosen->size : layout.size, 0);
  ForEachOnWire(layout, chosen, [&](const Field& field) { board::Put(field, ResponseValue(field), data); });
  return data;
}

// Each response field (left, right) is a D-C motor's signed duty: its drive mode
// and pulse duty, each from whichever came later, a mode or pulse-duty command, or
// a duty command (its sign and its size).
Board::Outcome Board::DcStatus(const Command& command) const {
  Bytes data(command.response.size, 0);
  for (const Field& motor : command.response.fields) {
    const auto& [dutySuffix, modeSuffix, pulseSuffix] = board::action_fields::kDcStatusSuffixes;
    const StoredValue* duty = state_.Find(motor.name + std::string(dutySuffix));
    const StoredValue* mode = state_.Find(motor.name + std::string(modeSuffix));
    const StoredValue* pulse = state_.Find(motor.name + std::string(pulseSuffix));
    const int signedDuty = duty ? static_cast<std::int8_t>(static_cast<std::uint8_t>(duty->value)) : 0;
    std::uint32_t driveMode = mode ? mode->value : std::uint32_t{link::kDriveStop};
    if (duty && (!mode || duty->order > mode->order))
      driveMode = signedDuty > 0 ? link::kDriveForward : signedDuty < 0 ? link::kDriveReversal : link::kDriveStop;
    int pulseDuty = static_cast<int>(Known(motor.name + std::string(pulseSuffix)));
    if (duty && (!pulse || duty->order > pulse->order)) pulseDuty = std::abs(signedDuty);
    const int shown = driveMode == link::kDriveForward ? pulseDuty : driveMode == link::kDriveReversal ? -pulseDuty : 0;
    board::Put(motor, static_cast<std::uint32_t>(shown), data);
  }
  return {data, {}};
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

// Stores the block as it came, and its fields by name: the motor type chooses
// which motor commands the board takes.
Board::Outcome Board::SetupMotor(const Command& command, Data data) {
  const board::SwitchCase* chosen = ChosenCase(command.request, data);
  if (!command.request.switchOn.empty() && !chosen) return {{}, DeviceError::Syntax};
  std::copy_n(data.begin(), std::min(data.size(), state_.setup.size()), state_.setup.begin());
  ForEachOnWire(command.request, chosen, [&](const Field& field) { state_.Store(field.name, board::Get(field, data)); });
  if (state_.motorType == link::kMotorStepper)
    for (const auto& [setupName, stepperName] : board::action_fields::kStepperSetup)
      if (const auto value = state_.Value(setupName)) state_.Store(stepperName, *value);
  return {kOk, {}};
}

}  // namespace tarnwick::sim
