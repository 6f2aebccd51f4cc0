#pragma once
// Several simulated boards on one line. Each board hears only what is sent at its
// own rate, takes frames as a lone board would, and answers with its own fault.
// When more than one answers the same frame their replies collide on the wire.
// Pure logic, no I/O: the board server feeds it bytes and sends what it returns.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "board.h"
#include "faults.h"
#include "replay_board.h"

namespace tarnwick::sim {

// A line speed the tool's port has that none of the boards' rates match, or that
// cannot be told (a real port): every board hears.
inline constexpr int kEveryBoardHears = -1;

class Bus {
 public:
  explicit Bus(std::vector<BoardState> boards);

  std::size_t Size() const { return stations_.size(); }
  const BoardState& State(std::size_t board) const { return stations_.at(board).board.State(); }
  void SetState(std::size_t board, const BoardState& state) { stations_.at(board).board.MutableState() = state; }
  void SetFault(std::size_t board, const Fault& fault) { stations_.at(board).fault = fault; }
  void SetFaultOnEvery(const Fault& fault);
  // The line's first board answers from a recording from now on, at every rate.
  void AnswerFrom(ReplayBoard recording);

  // Bytes heard while the line ran at baudIndex (or kEveryBoardHears).
  void Hear(std::span<const std::uint8_t> bytes, int baudIndex);

  // One frame taken from what the boards heard, and what goes back.
  struct Turn {
    Bytes heard;
    Bytes echo;                          // back on the line at once, before any delay
    std::chrono::milliseconds delay{0};  // before the first chunk
    std::vector<ReplyChunk> reply;       // empty: silence
  };
  // The next frame the boards can judge; nullopt when none is complete yet.
  // atBurstEnd: the line went quiet, so partial frames are judged as they stand.
  std::optional<Turn> TakeTurn(bool atBurstEnd);
  // Bytes heard that no frame has taken yet.
  bool HasPending() const;
  // A board's pending bytes past limit are cut to the newest keep (no frame can
  // begin further back), so a line that never forms a frame grows none of them.
  void KeepNewestPending(std::size_t keep, std::size_t limit);

 private:
  struct Station {
    Board board;
    Fault fault;
    Bytes pending;  // heard, not yet taken as a frame
    std::optional<ReplayBoard> recording;  // answers in the board's place
  };
  // The reply to a frame sent to heardAddress, shaped by the station's fault; spends one of a counted fault.
  std::vector<ReplyChunk> Shape(Station& station, const Bytes& reply, std::uint8_t heardAddress,
                                std::chrono::milliseconds& delay);

  std::vector<Station> stations_;
};

// What a receiver makes of replies that several boards drive onto the line at
// once: each reply's bits (start, eight data bits, stop) start a few bit times
// after the one before, the line is low while any driver is low, and the bytes
// are sampled from the result as a UART would.
Bytes Collide(const std::vector<Bytes>& replies);

// "01@9600:stepper,05@19200:d-c,2A@115200": address in hex, rate (default 9600),
// motor type (default stepper). nullopt, with why, for anything else.
std::optional<std::vector<BoardState>> ParseBoards(std::string_view text, std::string& why);

// A board's own address as --address and --boards take it: hex 01 to FE.
// nullopt, with why ("'00' is not a board's own address: ..."), for anything else.
std::optional<std::uint8_t> ParseBoardAddress(std::string_view text, std::string& why);

// The motor types by their names in the built-in board description, in lower
// case: ("stepper", kMotorStepper), ("d-c", kMotorDc); a name is taken in any case.
std::vector<std::pair<std::string, link::MotorType>> MotorTypeNames();
std::optional<link::MotorType> MotorTypeNamed(std::string_view name);
std::string MotorTypeName(link::MotorType type);

// A fresh board with this address, rate and motor type.
BoardState MakeBoardState(std::uint8_t address, int baudIndex, link::MotorType motorType);

}  // namespace tarnwick::sim
