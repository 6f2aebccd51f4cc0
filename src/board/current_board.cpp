#include "board/board.h"

#include <optional>

#include "link/traffic_log.h"

namespace tarnwick::board {
namespace {

std::string NameInUse(std::uint8_t code);

// A board Use() installed; none while the built-in one is in use, which is then not copied.
std::optional<Board>& Installed() {
  static std::optional<Board> board;
  return board;
}

bool& InstalledIsBuiltIn() {
  static bool builtIn = true;
  return builtIn;
}

// Every program that uses a board names the frames it logs by it, from the start.
[[maybe_unused]] const bool kNamesFramesInLog = (link::NameCommandsWith(&NameInUse), true);

std::string NameInUse(std::uint8_t code) {
  const Command* command = Current().Find(code);
  return command ? command->name : std::string();
}

}  // namespace

const Board& Current() { return Installed() ? *Installed() : BuiltIn(); }

void Use(Board board) {
  InstalledIsBuiltIn() = IsBuiltIn(board);
  link::UseFraming(board.framing);
  Installed() = std::move(board);
}

bool IsBuiltIn(const Board& board) {
  static const Board builtIn = WithoutPositions(BuiltIn());
  return WithoutPositions(board) == builtIn;
}

Board WithoutPositions(Board board) {
  const auto forget = [](std::vector<Field>& fields) {
    for (Field& field : fields) field.line = field.column = 0;
  };
  board.source.clear();
  for (Command& command : board.commands) {
    command.line = command.column = 0;
    for (Layout* layout : {&command.request, &command.response}) {
      forget(layout->fields);
      for (SwitchCase& branch : layout->cases) forget(branch.fields);
    }
  }
  return board;
}

bool BuiltInInUse() { return InstalledIsBuiltIn(); }

}  // namespace tarnwick::board
