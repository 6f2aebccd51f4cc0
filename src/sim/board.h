#pragma once
// A motor-driver board as seen from the line: it takes the frames it hears and
// answers some of them. Pure logic, no I/O.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "link/commands.h"
#include "link/frame.h"

namespace tarnwick::sim {

using link::Bytes;
using link::MakeFrame;

struct DcMotor {
  std::int8_t duty = 0;          // signed percent while driven by a duty command
  std::uint8_t mode = link::kDriveStop;
  std::uint8_t pulseDuty = 100;  // for the next start
  std::uint16_t frequency = 25000;
};

struct BoardState {
  std::uint8_t address = 0x01;
  int baudIndex = 2;  // 9600
  link::MotorType motorType = link::kMotorStepper;
  // The parameter block as a setup command stores it and a setup query returns it.
  std::array<std::uint8_t, 7> setup = {1, 100, 0xC4, 0x09, 0, 0, 0};
  std::uint32_t stepWord = 0;  // bit 31: reverse; bits 0-30: steps to go
  std::uint8_t stepperDuty = 100;
  std::uint16_t stepperFrequency = 2500;
  DcMotor left, right;
};

// Device error codes a board answers with.
enum class DeviceError : std::uint8_t { InvalidCommand = 1, DataCheck = 2, Syntax = 3, MotorType = 4 };

class Board {
 public:
  Board() = default;
  explicit Board(BoardState state) : state_(state) {}

  struct Result {
    std::size_t consumed = 0;  // bytes of the input this frame used
    Bytes reply;               // empty: no answer
    bool complete = true;      // false: more bytes are needed to judge the frame
  };

  // Takes one frame from the front of bytes. atBurstEnd says that no more bytes
  // follow (the line went quiet), so an incomplete frame is judged as it stands.
  Result TakeFrame(std::span<const std::uint8_t> bytes, bool atBurstEnd);

  const BoardState& State() const { return state_; }
  BoardState& MutableState() { return state_; }

  // The rate the board currently listens at (after a speed change has been answered).
  int BaudIndex() const { return state_.baudIndex; }

 private:
  using Data = std::span<const std::uint8_t>;
  // What a command's handler answers: reply data, or a device error.
  struct Outcome {
    Bytes data;
    std::optional<DeviceError> error;
  };

  Bytes Execute(std::span<const std::uint8_t> frame);
  std::optional<DeviceError> Refusal(link::CommandCode code, std::uint8_t n) const;
  Outcome Handle(link::CommandCode code, Data data);
  Outcome RunStepperByCount(Data data);
  Outcome RunStepperByParameters(Data data);
  Outcome StepperStatus() const;
  Outcome RunDcDuty(Data data);
  Outcome SetDriveModes(Data data);
  Outcome SetDcParameters(Data data);
  Outcome DcStatus() const;
  Outcome ResetDefaults();
  Outcome StopMotors();
  Outcome ChangeAddress(Data data);
  Outcome ChangeBaudRate(Data data);
  Outcome SetupMotor(Data data);

  Bytes ReplyFrame(std::uint8_t command, Data data) const;
  Bytes ErrorReply(DeviceError code) const;

  BoardState state_;
};

}  // namespace tarnwick::sim
