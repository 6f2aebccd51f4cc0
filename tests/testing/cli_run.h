#pragma once
// Runs tarnwick-cli as a script would and keeps what it printed and its exit status.

#include <string>

#include "testing/process.h"

namespace tarnwick::testing {

// withErrors: standard error joins the output; otherwise it is dropped. prefix
// comes before the program: assignments for the shell ("A=1 "), or a command
// that runs it ("timeout -s INT 1 ").
inline CliRun RunCli(const std::string& arguments, bool withErrors = false, const std::string& prefix = "") {
  return RunShell(prefix + std::string(TARNWICK_CLI) + " " + arguments + (withErrors ? " 2>&1" : " 2>/dev/null"));
}

}  // namespace tarnwick::testing
