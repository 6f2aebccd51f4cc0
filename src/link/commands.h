#pragma once
// The motor driver's command codes by name, and the values its data bytes carry,
// for the code that speaks to that board directly (the live test pages, the
// simulated board's actions). Everything else takes commands from the board
// description (board/board.h).

#include <cstdint>

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

// A D-C motor's drive mode (four bits of CMD22's data byte).
enum DriveMode : std::uint8_t { kDriveStop = 0, kDriveForward = 1, kDriveReversal = 2, kDriveShortBrake = 3 };

// The motor type of a parameter block.
enum MotorType : std::uint8_t { kMotorStepper = 1, kMotorDc = 2 };

}  // namespace tarnwick::link
