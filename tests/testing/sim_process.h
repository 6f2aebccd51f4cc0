#pragma once
// tarnwick-sim started as a person starts it, for the tests that need the program
// itself rather than a board in the test's own process.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

namespace tarnwick::testing {

// A freshly started board process, and the port it announces on its first line.
class SimProcess {
 public:
  // Unlisted, or listed in runtimeDir's registry when one is given. The shell
  // prints its own process id, then becomes the board.
  explicit SimProcess(const std::string& runtimeDir = "", const std::string& extra = "")
      : SimProcess(runtimeDir, "--verbose --baud 115200 " + std::string(runtimeDir.empty() ? "--no-register " : "") + extra,
                   "") {}
  // Exactly these arguments, standard error joined to the output.
  static SimProcess WithArguments(const std::string& arguments) { return SimProcess("", arguments + " 2>&1", ""); }
  SimProcess(SimProcess&& other) noexcept
      : pid_(std::exchange(other.pid_, -1)), output_(std::exchange(other.output_, nullptr)),
        path_(std::move(other.path_)), firstLine_(std::move(other.firstLine_)) {}
  ~SimProcess() {
    Kill(SIGTERM);
    if (output_) ::pclose(output_);
  }
  const std::string& Path() const { return path_; }
  const std::string& FirstLine() const { return firstLine_; }
  // The status it ended with by itself: a refusal's. A board that started is ended first.
  int EndStatus() {
    if (!path_.empty()) ::kill(pid_, SIGTERM);
    int status = 0;
    if (pid_ <= 0 || ::waitpid(std::exchange(pid_, -1), &status, 0) < 0) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  // Blocks until the board has printed count more frames heard (so the exchanges
  // before the last have been answered), or its output ended.
  bool HeardFrames(int count) {
    std::array<char, 256> line{};
    while (count > 0 && output_ && std::fgets(line.data(), line.size(), output_)) {
      if (std::string_view(line.data()).starts_with("heard:")) --count;
    }
    return count == 0;
  }
  // SIGKILL ends the board as a crash would: its registry entry stays behind.
  void Kill(int signal = SIGKILL) {
    if (pid_ > 0) ::kill(pid_, signal), ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  SimProcess(const std::string& runtimeDir, const std::string& arguments, const char*) {
    const std::string environment = runtimeDir.empty() ? "" : "export XDG_RUNTIME_DIR=" + runtimeDir + "; ";
    output_ = ::popen((environment + "echo $$; exec " TARNWICK_SIM " " + arguments).c_str(), "re");
    std::array<char, 256> line{};
    if (!output_ || std::fscanf(output_, "%d\n", &pid_) != 1 || !std::fgets(line.data(), line.size(), output_)) return;
    firstLine_ = line.data();
    const auto on = firstLine_.find(" on ");
    if (on != std::string::npos) path_ = firstLine_.substr(on + 4, firstLine_.find_first_of(",\n", on + 4) - on - 4);
  }

  pid_t pid_ = -1;
  FILE* output_ = nullptr;
  std::string path_, firstLine_;
};

}  // namespace tarnwick::testing
