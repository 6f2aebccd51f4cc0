#pragma once
// tarnwick-cli scan: every board on the line, at every rate.

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "cli/command_line.h"

namespace tarnwick::cli {

struct ScanCommandLine {
  CLI::App* app = nullptr;
  std::string port;
  std::vector<std::string> rates;  // as given; empty: all seven
  std::string addresses = "01-FE";
  int timeoutMs = 50;
  bool full = false;
};

void AddScan(CLI::App& app, ScanCommandLine& scan, CheckedOptions& checked);
int RunScan(const ScanCommandLine& scan, const OutputMode& mode);

}  // namespace tarnwick::cli
