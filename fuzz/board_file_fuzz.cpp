// Board files: any text is read without fault and in bounded time, gives a board
// or problems (never both, never neither), and a board it gives places every
// field inside its frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "board/board_file.h"

using namespace tarnwick::board;

namespace {

void CheckFields(const std::vector<Field>& fields, std::size_t size) {
  for (const auto& field : fields) {
    if (field.offset + field.size > size) std::abort();
    if (field.bitCount > 0 && field.bitLow + field.bitCount > static_cast<int>(field.size * 8)) std::abort();
    if (field.min > field.max) std::abort();
  }
}

void CheckLayout(const Layout& layout) {
  CheckFields(layout.fields, layout.size);
  for (const auto& switchCase : layout.cases) {
    if (switchCase.size < layout.size) std::abort();
    CheckFields(switchCase.fields, switchCase.size);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto result = LoadBoardText(text, "fuzz.yaml");
  if (result.board.has_value() == !result.problems.empty()) std::abort();
  if (result.problems.size() > kMaxProblems + 1) std::abort();
  if (!result.board) return 0;
  DumpBoard(*result.board);
  for (const auto& command : result.board->commands) {
    if (command.code > 0x7F) std::abort();
    CheckLayout(command.request);
    CheckLayout(command.response);
    SummaryLine(command);
  }
  return 0;
}
