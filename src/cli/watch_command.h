#pragma once
// tarnwick-cli watch: one command again and again, a line per exchange, and a summary.

#include <CLI/CLI.hpp>

#include "cli/command_line.h"

namespace tarnwick::cli {

struct WatchCommandLine {
  CLI::App* app = nullptr;
  LineOptions line;
  CommandChoice command;
  int intervalMs = 1000;
  int count = 0;  // 0: until interrupted
  bool csv = false;
};

void AddWatch(CLI::App& app, WatchCommandLine& watch, OutputMode& mode, CheckedOptions& checked);
int RunWatch(const WatchCommandLine& watch, const OutputMode& mode);

}  // namespace tarnwick::cli
