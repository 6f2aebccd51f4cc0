#pragma once
// tarnwick-cli run: a test sequence written in YAML, step by step, with a JUnit report.

#include <CLI/CLI.hpp>
#include <string>

#include "cli/command_line.h"

namespace tarnwick::cli {

struct RunCommandLine {
  CLI::App* app = nullptr;
  std::string sequence, junit, port;
  bool keepGoing = false;
  LineOptions line;  // --rs485 and --echo given here replace every step's
};

void AddRun(CLI::App& app, RunCommandLine& run, CheckedOptions& checked);
int RunSequence(const RunCommandLine& run, const OutputMode& mode);

}  // namespace tarnwick::cli
