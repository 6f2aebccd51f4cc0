#pragma once
// tarnwick-sim started as a person starts it, for the tests that need the program
// itself rather than a board in the test's own process.

#include <string>

#include "testing/process.h"

namespace tarnwick::testing {

// A freshly started board process, and the port it announces on its first line.
class SimProcess : public Process {
 public:
  // Unlisted, or listed in runtimeDir's registry when one is given.
  explicit SimProcess(const std::string& runtimeDir = "", const std::string& extra = "")
      : SimProcess((runtimeDir.empty() ? "" : "export XDG_RUNTIME_DIR=" + runtimeDir + "; ") +
                       "exec " TARNWICK_SIM " --verbose --baud 115200 " + (runtimeDir.empty() ? "--no-register " : "") +
                       extra,
                   0) {}
  // Exactly these arguments, standard error joined to the output.
  static SimProcess WithArguments(const std::string& arguments) {
    return SimProcess("exec " TARNWICK_SIM " " + arguments + " 2>&1", 0);
  }
  ~SimProcess() { Kill(SIGTERM); }  // ended so, a board removes its registry entry
  const std::string& Path() const { return path_; }
  const std::string& FirstLine() const { return firstLine_; }
  // The status it ended with by itself: a refusal's. A board that started is ended first.
  int EndStatus() {
    if (!path_.empty()) Signal(SIGTERM);
    return Finish().status;
  }

 private:
  SimProcess(const std::string& command, int) : Process(command) {
    ReadUntil([](const std::string& output) { return output.find('\n') != std::string::npos; });
    firstLine_ = Output().substr(0, Output().find('\n') + 1);
    const auto on = firstLine_.find(" on ");
    if (on != std::string::npos) path_ = firstLine_.substr(on + 4, firstLine_.find_first_of(",\n", on + 4) - on - 4);
  }

  std::string path_, firstLine_;
};

}  // namespace tarnwick::testing
