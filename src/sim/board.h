#pragma once
// A board as seen from the line: it takes the frames it hears and answers the
// commands its description names. Pure logic, no I/O.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "board/board.h"
#include "link/commands.h"
#include "link/frame.h"
#include "link/framing.h"

namespace tarnwick::sim {

using link::Bytes;

// A request field's last value, and when it came (a count of stores): a later
// command of one kind overrides an earlier one of another.
struct StoredValue {
  std::uint32_t value = 0;
  std::uint64_t order = 0;
};

struct BoardState {
  std::uint8_t address = 0x01;
  int baudIndex = 2;  // 9600
  link::MotorType motorType = link::kMotorStepper;  // the value of the field named motor-type
  // The parameter block as a setup command stores it and a setup query returns it.
  std::array<std::uint8_t, 7> setup = {1, 100, 0xC4, 0x09, 0, 0, 0};
  // The wire value each request field carried last, by field name, shared by all commands.
  std::map<std::string, StoredValue, std::less<>> values;
  std::uint64_t stores = 0;

  std::optional<std::uint32_t> Value(std::string_view name) const;
  const StoredValue* Find(std::string_view name) const;
  void Store(std::string_view name, std::uint32_t value);
};

// Device error codes a board answers with.
enum class DeviceError : std::uint8_t { InvalidCommand = 1, DataCheck = 2, Syntax = 3, MotorType = 4 };

class Board {
 public:
  // description must outlive the board.
  explicit Board(const board::Board& description = board::Current(), BoardState state = {})
      : description_(&description), state_(std::move(state)) {}
  explicit Board(BoardState state) : Board(board::Current(), std::move(state)) {}

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
  // What a command answers: reply data, or a device error.
  struct Outcome {
    Bytes data;
    std::optional<DeviceError> error;
  };

  Bytes Execute(std::span<const std::uint8_t> frame);
  std::optional<DeviceError> Refusal(const board::Command& command, Data data) const;
  Outcome Carry(const board::Command& command, Data data);
  Outcome StoreRequest(const board::Command& command, Data data);
  Bytes Response(const board::Command& command) const;
  std::uint32_t Known(std::string_view name) const;
  std::uint32_t ResponseValue(const board::Field& field) const;
  Outcome DcStatus(const board::Command& command) const;
  Outcome ChangeAddress(Data data);
  Outcome ChangeBaudRate(Data data);
  Outcome SetupMotor(const board::Command& command, Data data);

  Bytes ReplyFrame(std::uint8_t command, Data data) const;
  Bytes ErrorReply(DeviceError code) const;

  const board::Board* description_;
  BoardState state_;
};

}  // namespace tarnwick::sim
