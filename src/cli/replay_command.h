#pragma once
// tarnwick-cli replay: a traffic log turned into a test sequence.

#include <CLI/CLI.hpp>
#include <string>

#include "cli/command_line.h"

namespace tarnwick::cli {

struct ReplayCommandLine {
  CLI::App* app = nullptr;
  std::string log, sequence;
  bool keepTiming = false;
  int baud = 0;  // 0: not given
};

void AddReplay(CLI::App& app, ReplayCommandLine& replay);
int RunReplay(const ReplayCommandLine& replay, const OutputMode& mode);

}  // namespace tarnwick::cli
