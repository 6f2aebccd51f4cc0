#pragma once
// Runs tarnwick-cli as a script would and keeps what it printed and its exit status.

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace tarnwick::testing {

struct CliRun {
  std::string out;
  int status = -1;
};

// What a shell command printed to standard output, and its exit status.
inline CliRun RunShell(const std::string& command) {
  CliRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 512> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe)) run.out += buffer.data();
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

// withErrors: standard error joins the output; otherwise it is dropped. prefix
// comes before the program: assignments for the shell ("A=1 "), or a command
// that runs it ("timeout -s INT 1 ").
inline CliRun RunCli(const std::string& arguments, bool withErrors = false, const std::string& prefix = "") {
  return RunShell(prefix + std::string(TARNWICK_CLI) + " " + arguments + (withErrors ? " 2>&1" : " 2>/dev/null"));
}

}  // namespace tarnwick::testing
