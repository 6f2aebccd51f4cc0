#include "board/board.h"
#include "board/board_file.h"
#include "link/traffic_log.h"

namespace tarnwick::board {
namespace {

std::string NameInUse(std::uint8_t code);

Board& Installed() {
  static Board board = BuiltIn();
  return board;
}

bool& InstalledIsBuiltIn() {
  static bool builtIn = true;
  return builtIn;
}

void ForgetPositions(Layout& layout) {
  for (Field& field : layout.fields) field.line = field.column = 0;
  for (SwitchCase& branch : layout.cases)
    for (Field& field : branch.fields) field.line = field.column = 0;
}

// The board as its file describes it, wherever the file lies and its lines stand.
std::string DescriptionOf(Board board) {
  board.source.clear();
  for (Command& command : board.commands) {
    command.line = command.column = 0;
    ForgetPositions(command.request);
    ForgetPositions(command.response);
  }
  return DumpBoard(board);
}

// Every program that uses a board names the frames it logs by it, from the start.
[[maybe_unused]] const bool kNamesFramesInLog = (link::NameCommandsWith(&NameInUse), true);

std::string NameInUse(std::uint8_t code) {
  const Command* command = Installed().Find(code);
  return command ? command->name : std::string();
}

}  // namespace

const Board& Current() { return Installed(); }

void Use(Board board) {
  InstalledIsBuiltIn() = IsBuiltIn(board);
  link::UseFraming(board.framing);
  Installed() = std::move(board);
}

bool IsBuiltIn(const Board& board) {
  static const std::string builtIn = DescriptionOf(BuiltIn());
  return DescriptionOf(board) == builtIn;
}

bool BuiltInInUse() { return InstalledIsBuiltIn(); }

}  // namespace tarnwick::board
