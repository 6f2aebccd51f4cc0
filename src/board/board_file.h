#pragma once
// Board description files (docs/board-file.md): read, checked, and shown.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "board/board.h"

namespace tarnwick::board {

// A board, or nothing when the file has problems; each problem reads
// "FILE:LINE:COLUMN: reason" (or "FILE: reason" for one about the file as a whole),
// in file order, every problem found up to kMaxProblems.
struct LoadResult {
  std::optional<Board> board;
  std::vector<std::string> problems;
};

inline constexpr std::size_t kMaxProblems = 50;
// Board and sequence files alike: parsing YAML takes up to 280 bytes of memory a
// byte of text, so this bounds it to about 64 MB.
inline constexpr std::size_t kMaxYamlFileBytes = 224 * 1024;
inline constexpr std::size_t kMaxBoardFileBytes = kMaxYamlFileBytes;

LoadResult LoadBoardFile(const std::string& path);
// The same from text in hand; sourceName stands for the file in problems.
LoadResult LoadBoardText(std::string_view text, const std::string& sourceName);

// Every member of the board, one element a line, in a fixed form: two boards
// with the same dump are the same board.
std::string DumpBoard(const Board& board);

// One line a command: "CMD44  0x44  Set Acceleration  request 2 bytes:
// acceleration (u16le 0..65535)  reply when flagged: status".
std::string SummaryLine(const Command& command);

}  // namespace tarnwick::board
