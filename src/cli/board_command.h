#pragma once
// --board FILE, which the whole command line depends on (its commands and their
// options come from the board description), and the board subcommand.

#include <CLI/CLI.hpp>
#include <optional>
#include <string>

#include "cli/command_line.h"

namespace tarnwick::cli {

// Loads the description that --board FILE (or --board=FILE) names, before the
// parser is built. The exit status when it is refused (each problem printed as
// FILE:LINE:COLUMN: reason), nothing when it loaded or none was named.
std::optional<int> UseBoardFileGiven(int argc, char** argv, const OutputMode& mode);

struct BoardCommandLine {
  CLI::App* app = nullptr;
  CLI::App* check = nullptr;
  CLI::App* show = nullptr;
  CLI::App* schema = nullptr;
  CLI::App* table = nullptr;
  std::string file;
  bool manual = false;  // board table --manual: the manual page's section
  std::string boardOption;  // --board's value, parsed for the help; loaded before parsing
};
// The --board option, and the board subcommand unless withSubcommand is false.
void AddBoard(CLI::App& app, BoardCommandLine& board, bool withSubcommand = true);
int RunBoard(const BoardCommandLine& board, const OutputMode& mode);

}  // namespace tarnwick::cli
