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
};

void AddRun(CLI::App& app, RunCommandLine& run);
int RunSequence(const RunCommandLine& run, const OutputMode& mode);

}  // namespace tarnwick::cli
