#include "board/board.h"
#include "link/traffic_log.h"

namespace tarnwick::board {
namespace {

std::string NameInUse(std::uint8_t code);

Board& Installed() {
  static Board board = BuiltIn();
  return board;
}

// Every program that uses a board names the frames it logs by it, from the start.
[[maybe_unused]] const bool kNamesFramesInLog = (link::NameCommandsWith(&NameInUse), true);

std::string NameInUse(std::uint8_t code) {
  const Command* command = Installed().Find(code);
  return command ? command->name : std::string();
}

}  // namespace

const Board& Current() { return Installed(); }

void Use(Board board) { Installed() = std::move(board); }

}  // namespace tarnwick::board
