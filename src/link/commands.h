#pragma once
// The board's fourteen commands and the values their data bytes carry. Everything
// that names a command (the exchange, the panels, the command line, the simulated
// board) takes it from this one table.

#include <array>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string_view>

namespace tarnwick::link {

// The command code: the command byte without the reply flag.
enum class CommandCode : std::uint8_t {
  kGetAddress = 0x00,
  kStepperByCount = 0x11,
  kStepperByParameters = 0x12,
  kStepperStatus = 0x13,
  kDcDuty = 0x21,
  kDcDriveModes = 0x22,
  kDcParameters = 0x23,
  kDcStatus = 0x24,
  kResetDefaults = 0x38,
  kStopMotor = 0x3F,
  kChangeAddress = 0x40,
  kChangeBaudRate = 0x41,
  kSetupMotor = 0x42,
  kReadSetup = 0x43,
};

constexpr std::uint8_t CodeByte(CommandCode code) { return static_cast<std::uint8_t>(code); }

// When the exchange reads a reply: questions are read whatever the reply flag says.
enum class ReplyRule : std::uint8_t { kWhenFlagged, kAlways };

struct CommandInfo {
  CommandCode code;
  std::string_view name;    // "CMD13": the tab's label
  std::uint8_t dataLength;  // data bytes after the command byte
  ReplyRule reply;
  std::string_view title;   // the panel's title text
};

inline constexpr std::array<CommandInfo, 14> kCommands = {{
    {CommandCode::kGetAddress, "CMD00", 0, ReplyRule::kAlways, "Get device Address"},
    {CommandCode::kStepperByCount, "CMD11", 4, ReplyRule::kWhenFlagged, "Stepper Motor start by count"},
    {CommandCode::kStepperByParameters, "CMD12", 7, ReplyRule::kWhenFlagged, "Start Stepper Motor by parameters"},
    {CommandCode::kStepperStatus, "CMD13", 0, ReplyRule::kWhenFlagged, "Read Step motor status"},
    {CommandCode::kDcDuty, "CMD21", 2, ReplyRule::kWhenFlagged, "D-C Motor start according special PWM value"},
    {CommandCode::kDcDriveModes, "CMD22", 1, ReplyRule::kWhenFlagged, "D-C Motor fast-starging"},
    {CommandCode::kDcParameters, "CMD23", 6, ReplyRule::kWhenFlagged,
     "Give DC-motor special runing parameters for next-starting"},
    {CommandCode::kDcStatus, "CMD24", 0, ReplyRule::kAlways, "Get DC-motor status"},
    {CommandCode::kResetDefaults, "CMD38", 0, ReplyRule::kWhenFlagged,
     "Reset all parameters to default(D-C or Stepper)"},
    {CommandCode::kStopMotor, "CMD3F", 0, ReplyRule::kWhenFlagged, "Stop motor(D-C or Stepper)"},
    {CommandCode::kChangeAddress, "CMD40", 1, ReplyRule::kWhenFlagged, "Change Address of device"},
    {CommandCode::kChangeBaudRate, "CMD41", 1, ReplyRule::kWhenFlagged, "Change RS485 Baudrate"},
    {CommandCode::kSetupMotor, "CMD42", 7, ReplyRule::kWhenFlagged, "Setup Motor type and default running parameters"},
    {CommandCode::kReadSetup, "CMD43", 0, ReplyRule::kAlways, "Read Setup Data From Device"},
}};

inline std::span<const CommandInfo> AllCommands() { return kCommands; }
// The command with this code byte (without the reply flag); nullptr for a byte
// that names none, such as a reply's command byte that still carries the flag.
constexpr const CommandInfo* FindCommand(std::uint8_t codeByte) {
  for (const CommandInfo& command : kCommands)
    if (CodeByte(command.code) == codeByte) return &command;
  return nullptr;
}

// Every CommandCode has its row; a value cast from some other byte throws.
constexpr const CommandInfo& CommandInfoOf(CommandCode code) {
  const CommandInfo* command = FindCommand(CodeByte(code));
  if (!command) throw std::out_of_range("no command with this code");
  return *command;
}
constexpr std::string_view TitleOf(CommandCode code) { return CommandInfoOf(code).title; }

// By name, ignoring case: "cmd3f" finds CMD3F.
const CommandInfo* FindCommandNamed(std::string_view name);

// The values the data bytes carry.

// A D-C motor's drive mode (four bits of CMD22's data byte).
enum DriveMode : std::uint8_t { kDriveStop = 0, kDriveForward = 1, kDriveReversal = 2, kDriveShortBrake = 3 };

// The motor type of a parameter block.
enum MotorType : std::uint8_t { kMotorStepper = 1, kMotorDc = 2 };

// A pulse duty is a percentage.
inline constexpr int kMaxDutyPercent = 100;

}  // namespace tarnwick::link
